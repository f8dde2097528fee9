#include <gtest/gtest.h>

#include <vector>

#include "effects/logo_reflection.h"

namespace {

uint32_t bgra(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return b << 24 | g << 16 | r << 8 | a; }

// A work surface of 320×240 inside a larger buffer, so writes outside it can be seen: the guard
// bytes before and after must keep their pattern.
struct GuardedWork {
    static constexpr size_t kGuard = 4096;
    std::vector<uint8_t> memory;
    Surface s;
    GuardedWork(uint32_t fill) : memory(kGuard + 320 * 240 * 4 + kGuard, 0xA5) {
        s = Surface{memory.data() + kGuard, 320, 240, kDefaultPixelFormat};
        for (int32_t y = 0; y < s.height; ++y)
            for (int32_t x = 0; x < s.width; ++x) writePixel(32, pixelAddress(s, x, y), fill);
    }
    uint32_t at(int32_t x, int32_t y) const { return readPixel(32, pixelAddress(s, x, y)); }
    bool guardsIntact() const {
        for (size_t i = 0; i < kGuard; ++i)
            if (memory[i] != 0xA5 || memory[memory.size() - 1 - i] != 0xA5) return false;
        return true;
    }
};

// The 336×112 logo canvas, transparent black but for the pixels a test sets.
struct Canvas {
    Surface s = createSurface(336, 112, kDefaultPixelFormat);
    ~Canvas() { freeSurface(s); }
    void set(int32_t x, int32_t y, uint32_t v) { writePixel(32, pixelAddress(s, x, y), v); }
};

TEST(LogoReflection, RowFades) {
    struct Case {
        int32_t height, row, fade;
    };
    const Case cases[] = {
        {112, 0, 206}, {112, 1, 203}, {112, 2, 201}, {112, 50, 91}, {112, 89, 2}, {112, 90, 0}, {112, 111, 0},
        {1, 0, 206},   {7, 0, 206},   {240, 0, 206},
    };
    for (const Case& c : cases) EXPECT_EQ(reflectionFade(c.height, c.row), c.fade) << c.height << " rows, row " << c.row;
}

TEST(LogoReflection, MirrorsAndFadesThroughEachPixelsAlpha) {
    Canvas logo;
    logo.set(5, 111, bgra(200, 100, 50, 255));  // bottom row: the reflection's top row
    logo.set(6, 111, bgra(200, 100, 50, 0));    // transparent: no colour, the destination darkens
    logo.set(30, 110, bgra(200, 100, 50, 128)); // one row up, fade 203: alpha (128·203) >> 8 = 101
    logo.set(5, 0, bgra(255, 255, 255, 255));   // top row: the reflection's row 111, fade 0
    GuardedWork work(bgra(100, 100, 100, 255));
    drawLogoReflection(logo.s, work.s, 8, 52);

    // Opaque at fade 206: alpha 205; each channel (c·205 >> 8) + (100·50 >> 8).
    EXPECT_EQ(work.at(13, 52), bgra(160 + 19, 80 + 19, 40 + 19, 205));
    EXPECT_EQ(work.at(14, 52), bgra(99, 99, 99, 0));
    EXPECT_EQ(work.at(38, 53), bgra((200 * 101 >> 8) + (100 * 154 >> 8), (100 * 101 >> 8) + 60, (50 * 101 >> 8) + 60, 101));
    EXPECT_EQ(work.at(30, 163), bgra(99, 99, 99, 0)) << "rows from 90 on are fully transparent";
    EXPECT_EQ(work.at(13, 51), bgra(100, 100, 100, 255)) << "above the reflection";
    EXPECT_TRUE(work.guardsIntact());
}

// The frame driver's placement: the 336-pixel rows run 24 pixels past the right edge of the
// 320-pixel surface and continue on the next row; the last ends at column 23 of row 164.
// Columns 8…23 of a row thus get two blends: the previous row's tail, then the row's own start.
TEST(LogoReflection, RowsPastTheRightEdgeContinueOnTheNextRow) {
    Canvas logo;
    logo.set(315, 111, bgra(200, 100, 50, 255));
    logo.set(330, 111, bgra(200, 100, 50, 255));
    GuardedWork work(bgra(100, 100, 100, 255));
    drawLogoReflection(logo.s, work.s, 8, 52);
    EXPECT_EQ(work.at(3, 53), bgra(179, 99, 59, 205)) << "column 315 + 8 − 320 of the next row";
    EXPECT_EQ(work.at(18, 53), bgra(178, 98, 58, 0)) << "then blended under reflection row 1's transparent column 10";
    EXPECT_EQ(work.at(23, 164), bgra(99, 99, 99, 0)) << "the last position written";
    EXPECT_EQ(work.at(24, 164), bgra(100, 100, 100, 255));
    EXPECT_EQ(work.at(7, 52), bgra(100, 100, 100, 255));
    EXPECT_TRUE(work.guardsIntact());
}

// Other placements address the same way but skip every position outside the buffer.
TEST(LogoReflection, PlacementsReachingOutsideTheBufferSkipThoseRows) {
    struct Case {
        int32_t x, y;
    };
    const Case cases[] = {{8, 200}, {100, 239}, {0, -50}, {-40, 10}, {400, 300}, {-400, -500}, {8, 129}};
    for (const Case& c : cases) {
        Canvas logo;
        for (int32_t y = 0; y < 112; ++y)
            for (int32_t x = 0; x < 336; ++x) logo.set(x, y, bgra(255, 255, 255, 255));
        GuardedWork work(bgra(100, 100, 100, 255));
        drawLogoReflection(logo.s, work.s, c.x, c.y);
        EXPECT_TRUE(work.guardsIntact()) << c.x << ", " << c.y;
    }
    // Partly inside: the rows that fit are drawn where the linear addressing puts them.
    Canvas logo;
    logo.set(0, 111, bgra(200, 100, 50, 255));
    logo.set(0, 72, bgra(200, 100, 50, 255));  // reflection row 39
    GuardedWork work(bgra(100, 100, 100, 255));
    drawLogoReflection(logo.s, work.s, 8, 200);
    EXPECT_EQ(work.at(8, 200), bgra(179, 99, 59, 205));
    EXPECT_EQ(work.at(8, 239) & 0xFF, uint32_t((255 * reflectionFade(112, 39)) >> 8));
    EXPECT_TRUE(work.guardsIntact());
}

}  // namespace
