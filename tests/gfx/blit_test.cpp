#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gfx/blit.h"

namespace {

constexpr PixelFormat kFormat888 = {0xFF0000, 0x00FF00, 0x0000FF, 0, 16, 8, 0, 0, 24};
constexpr PixelFormat kFormat565 = {0xF800, 0x07E0, 0x001F, 0, 11, 5, 0, 0, 16};

uint32_t bgra(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return b << 24 | g << 16 | r << 8 | a; }

// A surface whose every pixel tells where it came from: value = seed + x + 256·y (alpha 0xFF
// for the default format, so blends are opaque).
struct TestSurface {
    Surface s;
    TestSurface(int w, int h, const PixelFormat& f = kDefaultPixelFormat) : s(createSurface(w, h, f)) {}
    ~TestSurface() { freeSurface(s); }
    uint32_t at(int x, int y) const { return readPixel(s.format.bitsPerPixel, pixelAddress(s, x, y)); }
    void set(int x, int y, uint32_t v) { writePixel(s.format.bitsPerPixel, pixelAddress(s, x, y), v); }
    void fillPattern(uint32_t seed) {
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) set(x, y, seed + uint32_t(x) + 256u * uint32_t(y));
    }
    void fill(uint32_t v) {
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) set(x, y, v);
    }
};

TEST(Blit, CopiesWithClippingAtEveryEdge) {
    struct Case {
        int x, y;
    };
    // Inside, and past the left, top, right and bottom edges, a corner, and wholly outside.
    const Case cases[] = {{3, 2}, {-5, 10}, {4, -3}, {17, 5}, {2, 12}, {-2, -2}, {18, 14}, {-9, 0}, {40, 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "at " << c.x << "," << c.y);
        TestSurface src(6, 4), dst(20, 14);
        src.fillPattern(0x10000000);
        dst.fill(0xDEADBEEF);
        blit(src.s, dst.s, c.x, c.y, 0);
        for (int y = 0; y < 14; ++y) {
            for (int x = 0; x < 20; ++x) {
                const int j = x - c.x, i = y - c.y;
                const bool covered = j >= 0 && j < 6 && i >= 0 && i < 4;
                EXPECT_EQ(dst.at(x, y), covered ? src.at(j, i) : 0xDEADBEEFu) << x << "," << y;
            }
        }
    }
}

TEST(Blit, PlainCopyFillsAnEquallyLargeSurfaceIncludingAlpha) {
    TestSurface src(320, 240), dst(320, 240);
    src.fillPattern(0x01020300);  // alpha bytes vary with x
    blit(src.s, dst.s, 0, 0, 0x100);  // only the low 8 bits of blend count: a copy
    EXPECT_EQ(std::memcmp(src.s.pixels, dst.s.pixels, surfaceBytes(src.s)), 0);
}

TEST(Blit, BlendingATransparentPixelDarkensAndTakesItsAlpha) {
    TestSurface src(1, 1), dst(1, 1);
    src.set(0, 0, bgra(255, 255, 255, 0));
    dst.set(0, 0, bgra(200, 100, 1, 255));
    blit(src.s, dst.s, 0, 0, 1);
    EXPECT_EQ(dst.at(0, 0), bgra(199, 99, 0, 0));
}

TEST(Blit, ServesNarrowerDepthsWithoutConversion) {
    TestSurface src(3, 2, kFormat888), dst(4, 4, kFormat565);
    src.set(0, 0, 0xABCDEF);
    src.set(2, 1, 0x123456);
    blit(src.s, dst.s, 1, 2, 0);
    EXPECT_EQ(dst.at(1, 2), 0xCDEFu);  // the low 16 bits of the value, as stored at 16 bits
    EXPECT_EQ(dst.at(3, 3), 0x3456u);
    EXPECT_EQ(dst.at(0, 0), 0u);
}

TEST(BlitFaded, ScalesOnlyTheSourceAlpha) {
    struct Case {
        uint8_t  fade;
        uint32_t expected;
    };
    // An opaque white source over a (100, 50, 10) destination.
    const Case cases[] = {
        {0, bgra(99, 49, 9, 0)},          // transparent: the destination darkened, alpha 0
        {128, bgra(126 + 50, 126 + 25, 126 + 5, 127)},  // a = 255·128/256 = 127
        {255, bgra(253, 253, 253, 254)},                // a = 254
    };
    for (const Case& c : cases) {
        TestSurface src(2, 2), dst(4, 4);
        src.fill(bgra(255, 255, 255, 255));
        dst.fill(bgra(100, 50, 10, 255));
        blitFaded(src.s, dst.s, 1, 1, c.fade);
        EXPECT_EQ(dst.at(2, 2), c.expected) << int(c.fade);
        EXPECT_EQ(dst.at(0, 0), bgra(100, 50, 10, 255)) << "outside the source";
    }
}

TEST(BlitFaded, NeverWritesOutsideTheDestination) {
    TestSurface src(8, 8), dst(4, 4);
    src.fill(bgra(255, 255, 255, 255));
    blitFaded(src.s, dst.s, -2, 1, 255);  // ASan would catch a stray write
    EXPECT_EQ(dst.at(0, 1), bgra(253, 253, 253, 254));
    EXPECT_EQ(dst.at(0, 0), 0u);
}

TEST(BlitRect, BlendsACellOfTheSourceIntoTheGlyph) {
    TestSurface font(288, 72), glyph(16, 24);
    font.fill(bgra(0, 0, 0, 0));
    for (int y = 24; y < 48; ++y)
        for (int x = 128; x < 144; ++x) font.set(x, y, bgra(255, 128, 0, 255));
    blitRect(font.s, glyph.s, 128 + 0x10000, 24, 16, 24, 0, 0);  // only the low 16 bits of srcX
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(glyph.at(x, y), bgra(254, 127, 0, 255)) << x << "," << y;
}

TEST(BlitRect, SkipsWhatLiesOutsideEitherSurface) {
    TestSurface font(20, 10), glyph(16, 24);
    font.fill(bgra(255, 255, 255, 255));
    blitRect(font.s, glyph.s, 10, 5, 16, 24, 2, 3);
    EXPECT_EQ(glyph.at(2, 3), bgra(254, 254, 254, 255));
    EXPECT_EQ(glyph.at(11, 7), bgra(254, 254, 254, 255));  // font pixel (19, 9), its last
    EXPECT_EQ(glyph.at(12, 3), 0u);                        // past the font's right edge
    EXPECT_EQ(glyph.at(2, 8), 0u);                         // past its bottom edge
}

TEST(Upscale2x, DoublesEveryPixelIntoABlock) {
    TestSurface work(320, 240), frame(640, 480);
    work.fillPattern(0x7F000000);
    upscale2x(work.s, frame.s, 0, 0);
    const uint32_t p = work.at(10, 7);
    for (auto [x, y] : {std::pair{20, 14}, {21, 14}, {20, 15}, {21, 15}}) EXPECT_EQ(frame.at(x, y), p);
    EXPECT_EQ(frame.at(0, 0), work.at(0, 0));
    EXPECT_EQ(frame.at(639, 0), work.at(319, 0));
    EXPECT_EQ(frame.at(0, 479), work.at(0, 239));
    EXPECT_EQ(frame.at(639, 479), work.at(319, 239));
}

}  // namespace
