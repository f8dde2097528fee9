// Every drawing operation with its fast paths on against the plain per-pixel path (fast paths
// off), bit for bit: random surfaces of the default and of other formats (which must keep the
// plain path), random placements including clipped ones, fades, alphas, zooms and lights; and
// whole frames of every scene.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "effects/logo_reflection.h"
#include "effects/logo_wobble.h"
#include "effects/rotozoomer.h"
#include "gfx/blit.h"
#include "host/demo.h"
#include "host/frame_driver.h"
#include "platform/offline/offline_platform.h"
#include "tools/offline_run.h"

namespace {

// The default format, 32 bits with other masks, 24 and 16 bits.
const PixelFormat kFormats[] = {
    kDefaultPixelFormat,
    {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000, 0, 8, 16, 24, 32},
    {0x00FF0000, 0x0000FF00, 0x000000FF, 0, 16, 8, 0, 0, 24},
    {0xF800, 0x07E0, 0x001F, 0, 11, 5, 0, 0, 16},
};

// Random bytes, with a quarter of the alpha bytes 0 and a quarter 255 so that transparent and
// opaque pixels are common.
Surface randomSurface(std::mt19937& rng, int32_t w, int32_t h, const PixelFormat& format) {
    Surface s = createSurface(w, h, format);
    for (size_t i = 0; i < surfaceBytes(s); ++i) s.pixels[i] = uint8_t(rng());
    if (isDefaultFormat(format))
        for (size_t i = 3; i < surfaceBytes(s); i += 4) s.pixels[i] = rng() % 4 == 0 ? 0 : rng() % 3 == 0 ? 255 : s.pixels[i];
    return s;
}

Surface copyOf(const Surface& s) {
    Surface c = createSurface(s.width, s.height, s.format);
    std::memcpy(c.pixels, s.pixels, surfaceBytes(s));
    return c;
}

bool sameBytes(const Surface& a, const Surface& b) {
    return surfaceBytes(a) == surfaceBytes(b) && std::memcmp(a.pixels, b.pixels, surfaceBytes(a)) == 0;
}

// Runs `draw` on a copy of `target` with the fast paths on and on another copy with them off;
// true when both copies end with the same bytes.
bool fastMatchesPlain(const Surface& target, const std::function<void(Surface&)>& draw) {
    Surface fast = copyOf(target), plain = copyOf(target);
    drawPaths().fast = true;
    draw(fast);
    drawPaths().fast = false;
    draw(plain);
    drawPaths().fast = true;
    const bool same = sameBytes(fast, plain);
    freeSurface(fast);
    freeSurface(plain);
    return same;
}

int32_t between(std::mt19937& rng, int32_t low, int32_t high) {
    return std::uniform_int_distribution<int32_t>(low, high)(rng);
}

const PixelFormat& anyFormat(std::mt19937& rng) { return kFormats[rng() % 3 == 0 ? 1 + rng() % 3 : 0]; }

TEST(FastPaths, BlitsMatchThePlainPath) {
    std::mt19937 rng(21);
    for (int trial = 0; trial < 1500; ++trial) {
        SCOPED_TRACE(trial);
        const PixelFormat& format = anyFormat(rng);
        Surface src = randomSurface(rng, between(rng, 0, 40), between(rng, 0, 40), format);
        Surface dst = randomSurface(rng, between(rng, 1, 60), between(rng, 1, 60), rng() % 8 ? format : anyFormat(rng));
        const int32_t x = between(rng, -50, 70), y = between(rng, -50, 70);
        const int32_t blends[] = {0, 1, 0x100, 0x1FF, -1};
        const int32_t blend = blends[rng() % 5];
        const uint8_t fade = uint8_t(rng() % 3 ? rng() : (rng() % 2) * 255);
        EXPECT_TRUE(fastMatchesPlain(dst, [&](Surface& d) { blit(src, d, x, y, blend); })) << "blit " << blend;
        EXPECT_TRUE(fastMatchesPlain(dst, [&](Surface& d) { blitFaded(src, d, x, y, fade); })) << "fade " << int(fade);

        // The glyph cut: a rectangle of the source (as the font), clipped by both surfaces.
        const uint32_t srcX = uint32_t(rng() % 4 ? between(rng, 0, 50) : 65536 + between(rng, 0, 5));
        const uint32_t srcY = uint32_t(between(rng, 0, 50));
        const int32_t w = between(rng, -2, 30), h = between(rng, -2, 30);
        EXPECT_TRUE(fastMatchesPlain(dst, [&](Surface& d) { blitRect(src, d, srcX, srcY, w, h, x, y); })) << "rect";

        // Doubling into a frame that may be smaller or placed off its edges.
        if (src.width > 0 && src.height > 0) {
            EXPECT_TRUE(fastMatchesPlain(dst, [&](Surface& d) { upscale2x(src, d, x / 2, y / 2); })) << "upscale";
        }
        freeSurface(src);
        freeSurface(dst);
    }
}

TEST(FastPaths, RotozoomerMatchesThePlainPath) {
    std::mt19937 rng(22);
    RotozoomerState s{};
    // Where the processor has AVX2, every other trial takes the SSE2 kernel instead.
    const bool processorIsWide = drawPaths().wide;
    for (int trial = 0; trial < 300; ++trial) {
        SCOPED_TRACE(trial);
        drawPaths().wide = processorIsWide && trial % 2 == 0;
        // Texture sizes of powers of two (the fast path) and others (plain); random slopes and
        // light values beyond 255, so P's limit is reached.
        const int32_t sizes[] = {1, 2, 16, 64, 128, 128, 128, 100};
        freeSurface(s.rotoTexture);
        s.rotoTexture = randomSurface(rng, sizes[rng() % 8], sizes[rng() % 8], rng() % 6 ? kDefaultPixelFormat : anyFormat(rng));
        s.bumpGradient.resize(128 * 128);
        for (BumpSlope& g : s.bumpGradient) g = {int16_t(between(rng, -300, 300)), int16_t(between(rng, -300, 300))};
        s.lightTable.resize(512 * 512);
        for (uint16_t& l : s.lightTable) l = uint16_t(rng() % 8 ? rng() % 256 : rng());
        prepareLightLevels(s);
        if (trial % 16 == 15) s.lightLevels.clear();  // not prepared: the plain path must serve
        // Zooms both ways, some too large for the fast path's 32-bit bound (plain path then).
        const int32_t zooms[] = {256, 51, 563, -300, 0, 1, 4000, 7000};
        const int32_t zoom = rng() % 2 ? zooms[rng() % 8] : between(rng, -700, 700);
        // Offsets far below zero mirror the texture; lights anywhere, clamped by the table.
        const int32_t offsetX = rng() % 4 ? between(rng, -1 << 20, 1 << 24) : between(rng, -(1 << 29), 1 << 29);
        const int32_t offsetY = between(rng, -1 << 20, 1 << 24);
        const int32_t angle = between(rng, -(1 << 20), 1 << 20);
        const int32_t lightX = between(rng, -(1 << 18), 1 << 18), lightY = between(rng, -(1 << 18), 1 << 18);
        const int32_t widths[] = {320, 37, 1, 4, 5};
        Surface out = randomSurface(rng, widths[rng() % 5], between(rng, 1, 240), rng() % 6 ? kDefaultPixelFormat : anyFormat(rng));
        EXPECT_TRUE(fastMatchesPlain(out, [&](Surface& o) { drawRotozoomer(s, o, angle, zoom, offsetX, offsetY, lightX, lightY); }))
            << "zoom " << zoom << " offsets " << offsetX << ", " << offsetY << " angle " << angle;
        freeSurface(out);
    }
    drawPaths().wide = processorIsWide;
    freeRotozoomer(s);
}

TEST(FastPaths, LogoWobbleAndReflectionMatchThePlainPath) {
    std::mt19937 rng(23);
    const bool processorIsWide = drawPaths().wide;  // as for the rotozoomer: AVX2 every other trial
    for (int trial = 0; trial < 400; ++trial) {
        SCOPED_TRACE(trial);
        drawPaths().wide = processorIsWide && trial % 2 == 0;
        const PixelFormat& format = anyFormat(rng);
        const bool demoSize = rng() % 3 == 0;
        Surface logo = randomSurface(rng, demoSize ? 336 : between(rng, 1, 90), demoSize ? 112 : between(rng, 1, 60), format);
        const int32_t time = between(rng, 0, 1 << 20);
        const float step = rng() % 4 ? float(rng() % 1000) / 1000.0f : 0.0f;
        EXPECT_TRUE(fastMatchesPlain(logo, [&](Surface& l) {
            LogoWobbleState wobble{time};
            drawLogoWobble(wobble, l, step);
        })) << "wobble";

        // Rows run on into the next row and positions outside the buffer are skipped.
        Surface work = randomSurface(rng, between(rng, 1, 320), between(rng, 1, 240), rng() % 8 ? format : anyFormat(rng));
        const int32_t x = between(rng, -400, 400), y = between(rng, -130, 250);
        EXPECT_TRUE(fastMatchesPlain(work, [&](Surface& w) { drawLogoReflection(logo, w, x, y); })) << "reflection";
        freeSurface(logo);
        freeSurface(work);
    }
    drawPaths().wide = processorIsWide;
}

// The presented frames of each scene, offline at 25 frames per second from the start, and with
// both fades already settled, with the fast paths on and off.
std::vector<std::vector<uint8_t>> sceneFrames(int32_t scene, bool settled, bool fast, int frames) {
    drawPaths().fast = fast;
    OfflineRun run{};
    std::string reason;
    std::vector<std::vector<uint8_t>> presented;
    if (!startOfflineRun(run, 25, reason)) {
        ADD_FAILURE() << reason;
        return presented;
    }
    run.demo->driver.scenePosition = scene;
    if (settled) {
        run.demo->driver.effectFade = 252;
        run.demo->driver.logoFade = 250;
    }
    for (int64_t k = 0; k < frames; ++k) {
        runFrame(run, k, [](int64_t, const int16_t*) {});
        presented.emplace_back(presentedFrame().begin(), presentedFrame().end());
    }
    endOfflineRun(run);
    drawPaths().fast = true;
    return presented;
}

TEST(FastPaths, WholeFramesMatchThePlainPathInEveryScene) {
    for (int32_t scene : {0, 4, 8, 12, 14, 16}) {
        for (bool settled : {false, true}) {
            const auto fast = sceneFrames(scene, settled, true, 12);
            const auto plain = sceneFrames(scene, settled, false, 12);
            ASSERT_EQ(fast.size(), plain.size());
            for (size_t k = 0; k < fast.size(); ++k)
                EXPECT_TRUE(fast[k] == plain[k]) << "scene " << scene << (settled ? " settled" : "") << ", frame " << k;
        }
    }
}

}  // namespace
