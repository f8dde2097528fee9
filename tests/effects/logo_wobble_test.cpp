#include <gtest/gtest.h>

#include "effects/logo_wobble.h"

namespace {

// A 336×112 canvas, the logo surface's size, whose every pixel names its own place:
// x in the high 16 bits, y in bits 8–15, and alpha 255, so no pixel is 0.
struct Canvas {
    Surface s = createSurface(336, 112, kDefaultPixelFormat);
    Canvas() {
        for (int32_t y = 0; y < s.height; ++y)
            for (int32_t x = 0; x < s.width; ++x) writePixel(32, pixelAddress(s, x, y), place(x, y));
    }
    ~Canvas() { freeSurface(s); }
    static uint32_t place(int32_t x, int32_t y) { return uint32_t(x) << 16 | uint32_t(y) << 8 | 0xFF; }
    uint32_t at(int32_t x, int32_t y) const { return readPixel(32, pixelAddress(s, x, y)); }
};

TEST(LogoWobble, TakesEachPixelFromItsSource) {
    LogoWobbleState wobble{};
    struct Case {
        int32_t wobbleTime;  // 8.8 seconds
        int32_t x, y;        // target
        int32_t sx, sy;      // source, or −1 for transparent black
    };
    const Case cases[] = {
        {0, 0, 0, 30, 10},       // l = 10, m = 10, o = 20
        {256, 0, 0, 9, 15},      // one second: l = trunc(10·sin 240° + 10) = 1, m = 15, o = 8
        {0, 335, 0, -1, -1},     // the source lies beyond the right edge
        {0, 0, 111, -1, -1},     // … beyond the bottom edge
        {0, 0, 101, 18, 111},    // o = trunc(10·cos 101° + 10) = 8; the bottom row is still inside
        {0, 0, 102, -1, -1},
        {0, 320, 100, 331, 103}, // l = m = trunc(10·sin 320° + 10) = 3, o = 8
    };
    for (const Case& c : cases) {
        Canvas canvas;
        wobble.wobbleTime = c.wobbleTime;
        drawLogoWobble(wobble, canvas.s, 0.0f);
        const uint32_t expected = c.sx < 0 ? 0u : Canvas::place(c.sx, c.sy);
        EXPECT_EQ(canvas.at(c.x, c.y), expected) << "time " << c.wobbleTime << ", (" << c.x << ", " << c.y << ")";
    }
}

// Working in place must give what a second buffer would: every target shows an original pixel
// at most 40 columns right and 20 rows below it, the same rows down for a whole column. Reading
// a pixel already displaced would show a place further away than that.
TEST(LogoWobble, InPlaceReadsOnlyOriginalPixels) {
    LogoWobbleState wobble{};
    for (int32_t time : {0, 77, 1000, 23456}) {
        Canvas canvas;
        wobble.wobbleTime = time;
        drawLogoWobble(wobble, canvas.s, 0.0f);
        for (int32_t x = 0; x < canvas.s.width; ++x) {
            int32_t columnShift = -1;
            for (int32_t y = 0; y < canvas.s.height; ++y) {
                const uint32_t v = canvas.at(x, y);
                if (v == 0) continue;
                const int32_t dx = int32_t(v >> 16) - x, dy = int32_t((v >> 8) & 0xFF) - y;
                ASSERT_TRUE(dx >= 0 && dx <= 40 && dy >= 0 && dy <= 20)
                    << "time " << time << ": (" << x << ", " << y << ") shows (" << dx << ", " << dy << ") away";
                if (columnShift < 0) columnShift = dy;
                ASSERT_EQ(dy, columnShift) << "time " << time << ", column " << x;
            }
        }
    }
}

TEST(LogoWobble, ClockAdvancesInWhole256thsOfASecond) {
    LogoWobbleState wobble{};
    struct Case {
        float   frameStep;  // seconds
        int32_t added;      // 8.8 seconds
    };
    const Case cases[] = {{0.1f, 25}, {1.0f / 60, 4}, {1.0f / 512, 0}, {0.0039f, 0}, {0.004f, 1}};
    Surface empty = createSurface(0, 0, kDefaultPixelFormat);
    for (const Case& c : cases) {
        wobble.wobbleTime = 1000;
        drawLogoWobble(wobble, empty, c.frameStep);
        EXPECT_EQ(wobble.wobbleTime, 1000 + c.added) << c.frameStep;
    }
    freeSurface(empty);
}

}  // namespace
