#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "effects/chain.h"
#include "effects/font.h"
#include "effects/logo_wobble.h"
#include "effects/rotozoomer.h"
#include "effects/scroller.h"
#include "demo_fixture.h"
#include "host/demo.h"
#include "host/frame_driver.h"
#include "platform/offline/offline_platform.h"

namespace {

TEST(FrameParameters, FirstFrameAndTheLightForTheSecond) {
    FrameDriver d = startFrameDriver(5000);
    computeFrameParameters(d);
    EXPECT_EQ(d.angle, 0);
    EXPECT_EQ(d.rotoZoom, 563);
    EXPECT_EQ(d.offsetX, 0);
    EXPECT_EQ(d.offsetY, 25600);
    EXPECT_EQ(d.lightX, 0);
    EXPECT_EQ(d.lightY, 0);
    computeLight(d);
    EXPECT_EQ(d.lightX, 40960);
    EXPECT_EQ(d.lightY, 49920);
}

TEST(FrameParameters, FollowTheClock) {
    FrameDriver d = startFrameDriver(0);
    d.clock.demoTime = 1.0f;
    d.clock.frameStep = 0.02f;
    computeFrameParameters(d);
    // r = 1 degree in radians: angle = sin(8°)·360·256, zoom = (cos(100°) + 1.2)·256,
    // offsetX += 0.02·120·256, offsetY = (sin(70°)·200 + 100)·256.
    EXPECT_EQ(d.angle, 12826);
    EXPECT_EQ(d.rotoZoom, 262);
    EXPECT_EQ(d.offsetX, 614);
    EXPECT_EQ(d.offsetY, 73712);
    computeFrameParameters(d);
    EXPECT_EQ(d.offsetX, 1228) << "offsetX accumulates";
}

// offsetX wraps instead of overflowing, without a visible jump: the texture repeats every
// 256·128 of it, and so does the picture.
TEST(FrameParameters, OffsetXWrapsWhereThePictureRepeats) {
    FrameDriver d = startFrameDriver(0);
    d.offsetX = kOffsetXPeriod - 100;
    d.clock.frameStep = 0.02f;  // + 614
    computeFrameParameters(d);
    EXPECT_EQ(d.offsetX, 514);
    d.clock.frameStep = 4294967.295f;  // the largest step the clock can take, 1.3·10^11 in all
    computeFrameParameters(d);
    EXPECT_GE(d.offsetX, 0);
    EXPECT_LT(d.offsetX, kOffsetXPeriod);

    RotozoomerState rotozoomer{};
    initRotozoomer(rotozoomer, loadBitmapSurface(107), loadBitmapSurface(110));
    Surface before = createSurface(320, 240, kDefaultPixelFormat), after = createSurface(320, 240, kDefaultPixelFormat);
    for (const int32_t angle : {0, 12826, -40000}) {
        drawRotozoomer(rotozoomer, before, angle, d.rotoZoom, kOffsetXPeriod + 1000 - 614, 73712, 160 * 256, 120 * 256);
        drawRotozoomer(rotozoomer, after, angle, d.rotoZoom, 1000 - 614, 73712, 160 * 256, 120 * 256);
        EXPECT_EQ(std::memcmp(before.pixels, after.pixels, surfaceBytes(before)), 0) << "angle " << angle;
    }
    freeSurface(before);
    freeSurface(after);
    freeRotozoomer(rotozoomer);
}

// The step is the unsigned 32-bit difference of the tick counts: a counter that wrapped past
// zero (after 49.7 days; on Windows counted from boot) makes an ordinary step.
TEST(FrameClock, AdvancesByTheTicksSinceTheLastStep) {
    struct Case {
        const char* what;
        uint32_t    lastTick, now;
        float       demoTime, frameStep;  // after the step, starting from 2.0 s and a 0.25 s step
        uint32_t    lastTickAfter;
    };
    const Case cases[] = {
        {"16 ms", 1000, 1016, 2.0f + 0.016f, 0.016f, 1016},
        {"unchanged", 1000, 1000, 2.0f, 0.25f, 1000},
        {"the counter wrapped past zero", 0xFFFFFFF0u, 5, 2.0f + 0.021f, 0.021f, 5},
        {"wrapped onto zero", 0xFFFFFFFFu, 0, 2.0f + 0.001f, 0.001f, 0},
        {"the largest step", 0, 0xFFFFFFFFu, 2.0f + 4294967.295f, 4294967.295f, 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        FrameClock clock{2.0f, 0.25f, c.lastTick};
        advanceFrameClock(clock, c.now);
        EXPECT_EQ(clock.demoTime, c.demoTime) << c.what;
        EXPECT_EQ(clock.frameStep, c.frameStep) << c.what;
        EXPECT_EQ(clock.lastTick, c.lastTickAfter) << c.what;
    }
}

TEST(FrameClock, AStandingTickCountStillMovesPerFrameQuantities) {
    FrameDriver d = startFrameDriver(100);
    advanceFrameClock(d.clock, 200);  // a 0.1 s step
    computeFrameParameters(d);
    advanceFrameClock(d.clock, 200);  // no time passes
    computeFrameParameters(d);
    EXPECT_EQ(d.clock.frameStep, 0.1f);
    EXPECT_EQ(d.offsetX, 2 * 3072) << "the old step is added again";
}

TEST(SceneTimeline, FollowsARisingPositionAndFreezesAfterADrop) {
    const int32_t positions[] = {0, 1, 2, 2, 3, 5, 9, 2, 3, 10, 12};
    const int32_t scene[] = {0, 1, 2, 2, 3, 5, 9, 9, 9, 9, 9};
    FrameDriver d = startFrameDriver(0);
    for (size_t i = 0; i < std::size(positions); ++i) {
        followSongPosition(d, positions[i]);
        EXPECT_EQ(d.scenePosition, scene[i]) << "step " << i;
        EXPECT_EQ(d.lastSongPosition, positions[i]);
        EXPECT_EQ(d.songWrapped, i >= 7);
    }
}

// Where the platform has presentation memory of its own (Windows: a DIB section), the frame
// surface draws straight into it, and the shutdown gives it back to the platform.
TEST(StartUp, DrawsIntoThePlatformsFrameMemoryWhereItHasSome) {
    resetOfflinePlatform();
    const std::unique_ptr<Demo> demo = makeTestDemo();
    OfflinePlatform& p = offlinePlatform();
    p.hasFrameMemory = true;
    std::string reason;
    ASSERT_TRUE(demoStartUp(*demo, reason)) << reason;
    const Surface& frame = demo->frameSurface;
    ASSERT_EQ(frame.pixels, p.frameMemory.data());
    EXPECT_EQ(frame.width, 640);
    EXPECT_EQ(frame.height, 480);
    EXPECT_EQ(p.frameMemory.size(), 640u * 480u * 4u);
    renderFrame(*demo);
    EXPECT_EQ(p.presentedFrom, p.frameMemory.data()) << "presented with no copy in between";
    demoShutdown(*demo);
    EXPECT_EQ(p.frameMemoryReleases, 1) << "given back to the platform, not freed as a surface";
    EXPECT_EQ(demo->frameSurface.pixels, nullptr);
}

// A start-up run again in the same process (tools, tests) starts every effect over: the
// pictures handed over again, and each effect's clock back at 0.
TEST(StartUp, StartsEveryEffectFromTheBeginning) {
    resetOfflinePlatform();
    const std::unique_ptr<Demo> demo = makeTestDemo();
    std::string reason;
    ASSERT_TRUE(demoStartUp(*demo, reason)) << reason;
    demo->scroller.scrollPosition = 5000;
    demo->logoWobble.wobbleTime = 77;
    demo->chain.chainTime = 3.0f;
    demoShutdown(*demo);

    ASSERT_TRUE(demoStartUp(*demo, reason)) << reason;
    EXPECT_EQ(demo->scroller.scrollPosition, 0);
    EXPECT_EQ(demo->scroller.scrollText, embeddedScrollText());
    EXPECT_FALSE(demo->scroller.scrollText.empty());
    EXPECT_EQ(demo->logoWobble.wobbleTime, 0);
    EXPECT_EQ(demo->chain.chainTime, 0.0f);
    EXPECT_EQ(demo->driver.rotoZoom, 256);
    const Surface* pictures[] = {&demo->rotozoomer.rotoTexture, &demo->rotozoomer.bumpMap, &demo->chain.linkSprite,
                                 &demo->chain.spikeBallSprite, &demo->font.fontSurface};
    const int32_t sizes[][2] = {{128, 128}, {128, 128}, {9, 9}, {41, 41}, {288, 72}};
    for (size_t i = 0; i < std::size(pictures); ++i) {
        EXPECT_NE(pictures[i]->pixels, nullptr) << i;
        EXPECT_EQ(pictures[i]->width, sizes[i][0]) << i;
        EXPECT_EQ(pictures[i]->height, sizes[i][1]) << i;
    }
    demoShutdown(*demo);
}

// Whole frames through the offline platform: 10 ms pass per presentation.
class Frames : public testing::Test {
protected:
    void SetUp() override {
        resetOfflinePlatform();
        offlinePlatform().tickCount = 1000;
        offlinePlatform().tickPerPresent = 10;
        std::string reason;
        ASSERT_TRUE(demoStartUp(*demo, reason)) << reason;
    }
    void TearDown() override { demoShutdown(*demo); }

    const std::unique_ptr<Demo> demo = makeTestDemo();

    // Work pixel (x, y) as the presented 640×480 frame shows it, as a 32-bit value.
    static uint32_t shown(int x, int y) {
        const std::span<const uint8_t> f = presentedFrame();
        return readPixel(32, &f[(size_t(2 * y) * 640 + 2 * x) * 4]);
    }
};

TEST_F(Frames, TheLogoFadesInOver125FramesThenBlends) {
    FrameDriver& d = demo->driver;
    const Surface& logo = demo->logoBitmap;
    // An opaque logo pixel: its place in the work surface is (8 + 32 + x, 0 + 32 + y).
    int lx = -1, ly = -1;
    for (int y = 0; y < logo.height && lx < 0; ++y)
        for (int x = 0; x < logo.width && lx < 0; ++x)
            if ((readPixel(32, pixelAddress(logo, x, y)) & 0xFF) == 255) lx = x, ly = y;
    ASSERT_GE(lx, 0);
    const uint32_t source = readPixel(32, pixelAddress(logo, lx, ly));

    renderFrame(*demo);
    EXPECT_EQ(d.logoFade, 2);
    EXPECT_EQ(shown(40 + lx, 32 + ly) & 0xFFFFFF00u, 0u) << "the first frame shows no logo";
    for (int frame = 2; frame <= 125; ++frame) {
        renderFrame(*demo);
        ASSERT_EQ(d.logoFade, std::min(2 * frame, 250)) << frame;
    }
    renderFrame(*demo);
    EXPECT_EQ(d.logoFade, 250) << "stays";
    // Blended twice over black, each time with alpha 255: every channel c becomes (c·255) >> 8.
    auto twice = [](uint32_t v, int shift) { return ((((v >> shift) & 0xFF) * 255 >> 8) * 255 >> 8) << shift; };
    EXPECT_EQ(shown(40 + lx, 32 + ly), twice(source, 8) | twice(source, 16) | twice(source, 24) | 0xFF);
    EXPECT_EQ(d.effectFade, 0) << "no background below position 4";
    EXPECT_EQ(shown(0, 239), 0u) << "black background";
}

TEST_F(Frames, TheBackgroundFadesInFromPosition4) {
    FrameDriver& d = demo->driver;
    d.scenePosition = 4;  // the player answers 0, which never moves the scene back
    for (int frame = 1; frame <= 63; ++frame) {
        renderFrame(*demo);
        ASSERT_EQ(d.effectFade, 4 * frame);
    }
    renderFrame(*demo);
    renderFrame(*demo);
    EXPECT_EQ(d.effectFade, 252);
}

TEST_F(Frames, TheClockStartsAtTheEndOfStartUpAndAdvancesAfterEachFrame) {
    const FrameClock& c = demo->driver.clock;
    EXPECT_EQ(c.lastTick, 1000u);
    renderFrame(*demo);
    EXPECT_EQ(c.lastTick, 1010u);
    EXPECT_EQ(c.frameStep, 0.01f);
    EXPECT_EQ(demo->driver.lightX, 40960) << "computed from demoTime 0, before the clock moved";
    renderFrame(*demo);
    EXPECT_EQ(c.demoTime, 0.01f + 0.01f);
}

// A platform that scales the picture itself (a browser's canvas) is handed the 320×240
// composition of every frame; doubled, it is byte for byte the 640×480 frame the other platforms
// are handed. Forty frames of the busiest scene, from the same start both ways.
TEST(PlatformScales, ItIsHandedTheCompositionWhoseDoublingIsTheFrame) {
    std::vector<std::vector<uint8_t>> presented[2];
    for (const bool scales : {false, true}) {
        resetOfflinePlatform();
        offlinePlatform().tickCount = 1000;
        offlinePlatform().tickPerPresent = 16;
        const std::unique_ptr<Demo> demo = makeTestDemo();
        demo->platformScales = scales;
        std::string reason;
        ASSERT_TRUE(demoStartUp(*demo, reason)) << reason;
        demo->driver.scenePosition = 16;
        for (int frame = 0; frame < 40; ++frame) {
            renderFrame(*demo);
            presented[scales].emplace_back(presentedFrame().begin(), presentedFrame().end());
        }
        demoShutdown(*demo);
    }
    for (size_t k = 0; k < presented[0].size(); ++k) {
        const std::vector<uint8_t>&frame = presented[0][k], &work = presented[1][k];
        ASSERT_EQ(frame.size(), size_t(640) * 480 * 4);
        ASSERT_EQ(work.size(), size_t(320) * 240 * 4);
        std::vector<uint8_t> doubled(frame.size());
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                std::memcpy(&doubled[(size_t(y) * 640 + x) * 4], &work[(size_t(y / 2) * 320 + x / 2) * 4], 4);
        EXPECT_TRUE(doubled == frame) << "frame " << k;
    }
}

}  // namespace
