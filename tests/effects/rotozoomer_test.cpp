#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "effects/rotozoomer.h"

namespace {

uint32_t bgra(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return b << 24 | g << 16 | r << 8 | a; }
uint32_t red(uint32_t v) { return (v >> 8) & 0xFF; }
uint32_t green(uint32_t v) { return (v >> 16) & 0xFF; }
uint32_t blue(uint32_t v) { return v >> 24; }

Surface makeSurface(int32_t w, int32_t h, const std::function<uint32_t(int32_t, int32_t)>& pixel) {
    Surface s = createSurface(w, h, kDefaultPixelFormat);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) writePixel(32, pixelAddress(s, x, y), pixel(x, y));
    return s;
}

// Unlit (P = 0) output is each texture channel >> 2, so a texel's coordinates are stored in
// multiples of 4: x and y modulo 64 in red and green, their top bits in blue.
uint32_t namedTexel(int32_t x, int32_t y) {
    return bgra(uint32_t(x & 63) * 4, uint32_t(y & 63) * 4, uint32_t((x >> 6) | (y >> 6) << 1) * 16 * 4, 255);
}
int32_t texelX(uint32_t out) { return int32_t(red(out) | ((blue(out) / 16) & 1) << 6); }
int32_t texelY(uint32_t out) { return int32_t(green(out) | ((blue(out) / 16) >> 1) << 6); }

// The effect with a texture a test chooses, a flat bump map and the real light table; the output
// is a 320×240 effect surface.
class Rotozoomer : public testing::Test {
protected:
    void SetUp() override {
        RotozoomerState& s = rotozoomer;
        s.rotoTexture = makeSurface(128, 128, namedTexel);
        s.bumpGradient.assign(128 * 128, BumpSlope{0, 0});
        s.lightTable.assign(512 * 512, 0);
        fillLightTable(s.lightTable);
        prepareLightLevels(s);
        out = createSurface(320, 240, kDefaultPixelFormat);
    }
    void TearDown() override {
        freeRotozoomer(rotozoomer);
        freeSurface(out);
    }
    uint32_t at(int32_t x, int32_t y) const { return readPixel(32, pixelAddress(out, x, y)); }

    static constexpr int32_t kFarLight = 256000;  // 1000 pixels: lx and ly clamp to 511
    RotozoomerState rotozoomer{};
    Surface         out{};
};

TEST_F(Rotozoomer, StillTextureUnlitShowsEachTexelAtAQuarter) {
    drawRotozoomer(rotozoomer, out, 0, 256, 0, 0, kFarLight, kFarLight);
    for (int32_t i = 0; i < 240; ++i) {
        for (int32_t j = 0; j < 320; ++j) {
            const uint32_t v = at(j, i);
            ASSERT_EQ(texelX(v), (j + 96) % 128) << j << ", " << i;
            ASSERT_EQ(texelY(v), (i + 8) % 128) << j << ", " << i;
            ASSERT_EQ(v & 0xFF, 255u) << "alpha";
        }
    }
}

// Texel column shown by output pixels of one row, for zooms, scrolls below zero and a quarter turn.
TEST_F(Rotozoomer, MapsPixelsToTexels) {
    struct Case {
        const char* what;
        int32_t zoom, angle, offsetX;
        int32_t j, i;    // output pixel
        int32_t tx, ty;  // texel shown
    };
    const Case cases[] = {
        {"zoom 512: two texels per pixel", 512, 0, 0, 0, 8, 64, 32},
        {"zoom 512", 512, 0, 0, 1, 8, 66, 32},
        {"zoom 512", 512, 0, 0, 0, 9, 64, 34},
        {"zoom 128: half a texel per pixel", 128, 0, 0, 161, 120, 0, 0},
        {"zoom 128", 128, 0, 0, 162, 120, 1, 0},
        {"zoom 128", 128, 0, 0, 159, 121, 127, 0},
        // 1000 texels below zero: |j − 1160| mod 128, mirrored rather than wrapped.
        {"below zero mirrors", 256, 0, -2048 * 128 - 1000 * 256, 0, 120, 1160 % 128, 0},
        {"below zero mirrors", 256, 0, -2048 * 128 - 1000 * 256, 1, 120, 1159 % 128, 0},
        {"below zero mirrors", 256, 0, -2048 * 128 - 1000 * 256, 319, 120, (1160 - 319) % 128, 0},
        // A quarter turn: Sn = 255, Cs = 0; going right moves down the texture, going down moves
        // left.
        {"90 degrees", 256, 90 * 256, 0, 160, 120, 0, 0},
        {"90 degrees", 256, 90 * 256, 0, 161, 120, 0, 0},
        {"90 degrees", 256, 90 * 256, 0, 162, 120, 0, 1},
        {"90 degrees", 256, 90 * 256, 0, 160, 121, 127, 0},
    };
    for (const Case& c : cases) {
        drawRotozoomer(rotozoomer, out, c.angle, c.zoom, c.offsetX, 0, kFarLight, kFarLight);
        const uint32_t v = at(c.j, c.i);
        EXPECT_EQ(texelX(v), c.tx) << c.what << " at " << c.j << ", " << c.i;
        EXPECT_EQ(texelY(v), c.ty) << c.what << " at " << c.j << ", " << c.i;
    }
}

TEST_F(Rotozoomer, WhiteUnderTheLightIsTheBrightest190) {
    freeSurface(rotozoomer.rotoTexture);
    rotozoomer.rotoTexture = makeSurface(128, 128, [](int32_t, int32_t) { return bgra(255, 255, 255, 255); });
    drawRotozoomer(rotozoomer, out, 0, 256, 0, 0, 100 * 256 + 255, 50 * 256);  // whole pixels: (100, 50)
    EXPECT_EQ(at(100, 50), bgra(190, 190, 190, 255));
    uint32_t brightest = 0;
    for (int32_t i = 0; i < 240; ++i)
        for (int32_t j = 0; j < 320; ++j) brightest = std::max(brightest, red(at(j, i)));
    EXPECT_EQ(brightest, 190u);
    // Unlit: 255 >> 2.
    EXPECT_EQ(at(319, 239), bgra(63, 63, 63, 255)) << "more than 256 pixels from the light";
}

// The slopes shift the light by the bump map's slope at the texel shown: with slopes (30, −20)
// the pixel under the light's centre is lit as if 30 pixels left of it and 20 below.
TEST_F(Rotozoomer, SlopesAreLookedUpAtTheTexelShown) {
    freeSurface(rotozoomer.rotoTexture);
    rotozoomer.rotoTexture = makeSurface(128, 128, [](int32_t, int32_t) { return bgra(255, 255, 255, 255); });
    const int32_t tx = (100 + 96) % 128, ty = (50 + 8) % 128;  // shown at (100, 50)
    rotozoomer.bumpGradient[tx * 128 + ty] = BumpSlope{30, -20};
    drawRotozoomer(rotozoomer, out, 0, 256, 0, 0, 100 * 256, 50 * 256);
    // lightTable[286·512 + 236] = 188, P = (188·188) >> 8 = 138, (127 + 138) >> 1 = 132.
    EXPECT_EQ(at(100, 50), bgra(132, 132, 132, 255));
    // A flat neighbour one pixel away: L = 253, P = 250, (127 + 250) >> 1 = 188.
    EXPECT_EQ(at(101, 50), bgra(188, 188, 188, 255));
}

// Nothing may be written past the end of a narrower output: pixels step by the output's size.
TEST_F(Rotozoomer, NarrowOutputsStayInsideTheirBuffer) {
    for (uint8_t bits : {uint8_t(16), uint8_t(24), uint8_t(8)}) {
        PixelFormat f = kDefaultPixelFormat;
        f.bitsPerPixel = bits;
        std::vector<uint8_t> memory(64 * 48 * bits / 8 + 64, 0xA5);
        Surface narrow{memory.data(), 64, 48, f};
        drawRotozoomer(rotozoomer, narrow, 0, 256, 0, 0, kFarLight, kFarLight);
        for (size_t k = memory.size() - 64; k < memory.size(); ++k) ASSERT_EQ(memory[k], 0xA5) << int(bits);
    }
}

TEST_F(Rotozoomer, DrawsNothingWithoutAUsableTexture) {
    for (int32_t size : {0, 129}) {
        freeSurface(rotozoomer.rotoTexture);
        rotozoomer.rotoTexture = makeSurface(size, size, namedTexel);
        drawRotozoomer(rotozoomer, out, 0, 256, 0, 0, kFarLight, kFarLight);
        EXPECT_EQ(at(0, 0), 0u) << size;
    }
}

TEST(RotozoomerTables, LightFallsOffRadially) {
    std::vector<uint16_t> light(512 * 512, 0xFFFF);
    fillLightTable(light);
    struct Case {
        int32_t p, q;
        uint16_t value;
    };
    // 255·(1 − r)² with r in units of 256 entries from (256, 256).
    const Case cases[] = {{256, 256, 255}, {320, 256, 143}, {256, 320, 143}, {256, 384, 63},
                          {128, 256, 63},  {0, 256, 0},     {511, 511, 0},  {256 + 181, 256 + 181, 0}};
    for (const Case& c : cases) EXPECT_EQ(light[c.p * 512 + c.q], c.value) << c.p << ", " << c.q;
    for (int32_t p = 0; p < 512; ++p)
        for (int32_t q = 0; q < p; ++q) ASSERT_EQ(light[p * 512 + q], light[q * 512 + p]) << p << ", " << q;
}

// Heights (red channel) rise by one per column and jump by 128 between rows 63 and 64; green
// holds something else, which must not count.
TEST(RotozoomerTables, SlopesAreOneSidedAtEveryBorderAndColumnMajor) {
    Surface bump = makeSurface(128, 128, [](int32_t x, int32_t y) {
        const uint32_t h = uint32_t(x + (y < 64 ? 0 : 128));
        return bgra(h, 255 - h, uint32_t(y), 255);
    });
    std::vector<BumpSlope> table(128 * 128, BumpSlope{0, 0});
    fillBumpGradient(bump, table);
    struct Case {
        int32_t x, y;
        int16_t gx, gy;
    };
    const Case cases[] = {
        {50, 10, 2, 0},  {0, 10, 1, 0},  {127, 10, 1, 0},  // no wrap-around at either edge
        {50, 63, 2, 128}, {50, 64, 2, 128}, {50, 0, 2, 0}, {50, 127, 2, 0}, {127, 127, 1, 0}, {0, 0, 1, 0},
    };
    for (const Case& c : cases) {
        const BumpSlope g = table[c.x * 128 + c.y];
        EXPECT_EQ(g.gx, c.gx) << c.x << ", " << c.y;
        EXPECT_EQ(g.gy, c.gy) << c.x << ", " << c.y;
    }
    // Horizontal slope in the low half of the 32-bit entry, vertical in the high half.
    uint32_t entry;
    std::memcpy(&entry, &table[50 * 128 + 63], sizeof entry);
    EXPECT_EQ(entry, 2u | 128u << 16);
    freeSurface(bump);
}

TEST(RotozoomerTables, NegativeSlopesKeepTheirSign) {
    Surface bump = makeSurface(4, 4, [](int32_t x, int32_t) { return bgra(x == 2 ? 255u : 0u, 0, 0, 255); });
    std::vector<BumpSlope> table(128 * 128, BumpSlope{0, 0});
    fillBumpGradient(bump, table);
    EXPECT_EQ(table[1 * 128 + 0].gx, 255);
    EXPECT_EQ(table[3 * 128 + 0].gx, -255);
    EXPECT_EQ(table[4 * 128 + 0].gx, 0) << "outside a small map the table is untouched";
    freeSurface(bump);
}

}  // namespace
