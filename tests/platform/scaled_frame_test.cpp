#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/scaled_area.h"
#include "platform/scaled_frame.h"

namespace {

TEST(ScaledFrameArea, LargestWholeFactorCentred) {
    struct Case {
        int screenWidth, screenHeight;
        int x, y, width, height;
    };
    const Case cases[] = {
        {1280, 1024, 0, 32, 1280, 960},      // factor 2, bands above and below
        {1920, 1080, 320, 60, 1280, 960},    // the height decides: 3 × 480 > 1080
        {2560, 1440, 320, 0, 1920, 1440},    // factor 3, bands left and right
        {3840, 2160, 640, 120, 2560, 1920},  // factor 4
        {1366, 768, 363, 144, 640, 480},     // factor 1
        {1279, 959, 319, 239, 640, 480},     // one short of factor 2 both ways
        {640, 480, 0, 0, 640, 480},          // a 640×480 desktop at a depth other than 24 or 32
        {600, 400, -20, -40, 640, 480},      // smaller than the frame: factor 1, its edges cut
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.screenWidth) + "x" + std::to_string(c.screenHeight));
        const PresentArea a = scaledFrameArea(c.screenWidth, c.screenHeight, 640, 480);
        EXPECT_EQ(a.x, c.x);
        EXPECT_EQ(a.y, c.y);
        EXPECT_EQ(a.width, c.width);
        EXPECT_EQ(a.height, c.height);
    }
}

// A frame whose every pixel is different: 0xAA000000 | row << 8 | column.
std::vector<uint32_t> numberedFrame(int width, int height) {
    std::vector<uint32_t> frame(size_t(width) * height);
    for (int i = 0; i < height; ++i)
        for (int j = 0; j < width; ++j) frame[size_t(i) * width + j] = 0xAA000000u | uint32_t(i) << 8 | uint32_t(j);
    return frame;
}

// What each screen pixel must show, worked out pixel by pixel from the definition.
uint32_t expectedPixel(const std::vector<uint32_t>& frame, int frameWidth, int frameHeight, PresentArea a, int x,
                       int y) {
    const int factor = a.width / frameWidth;
    if (x < a.x || y < a.y || x >= a.x + frameWidth * factor || y >= a.y + frameHeight * factor) return 0;
    return frame[size_t((y - a.y) / factor) * frameWidth + (x - a.x) / factor];
}

TEST(DrawFrameScaled, EveryFramePixelIsABlockAndTheRestIsBlack) {
    struct Case {
        const char* what;
        int         screenWidth, screenHeight, pitchPixels;
        PresentArea area;
    };
    // A 7×5 frame, so blocks and bands of every kind are small enough to check every pixel.
    const Case cases[] = {
        {"factor 1 filling the screen", 7, 5, 7, {0, 0, 7, 5}},
        {"factor 2, bands above and below", 14, 13, 14, {0, 1, 14, 10}},
        {"factor 3, bands on all sides, the odd pixel right", 24, 17, 24, {1, 1, 21, 15}},
        {"factor 2, rows padded beyond the screen's width", 16, 10, 20, {1, 0, 14, 10}},
        {"factor 1, screen smaller than the frame", 5, 3, 5, {-1, -1, 7, 5}},
        {"factor 3, cut on the left and at the bottom", 12, 10, 12, {-4, 2, 21, 15}},
        {"entirely off the screen", 8, 8, 8, {9, 0, 7, 5}},
    };
    const int frameWidth = 7, frameHeight = 5;
    const std::vector<uint32_t> frame = numberedFrame(frameWidth, frameHeight);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The screen starts out full of a colour that is neither black nor any frame pixel, so
        // a pixel left unwritten shows; padding past the screen's width must stay untouched.
        std::vector<uint32_t> screen(size_t(c.pitchPixels) * c.screenHeight, 0x55555555u);
        drawFrameScaled(reinterpret_cast<const uint8_t*>(frame.data()), frameWidth, frameHeight,
                        reinterpret_cast<uint8_t*>(screen.data()), c.screenWidth, c.screenHeight, c.pitchPixels * 4,
                        c.area);
        int wrong = 0;
        for (int y = 0; y < c.screenHeight; ++y) {
            for (int x = 0; x < c.pitchPixels; ++x) {
                const uint32_t want = x < c.screenWidth
                                          ? expectedPixel(frame, frameWidth, frameHeight, c.area, x, y)
                                          : 0x55555555u;
                const uint32_t got = screen[size_t(y) * c.pitchPixels + x];
                if (got != want && wrong++ < 5) ADD_FAILURE() << "(" << x << ", " << y << "): " << std::hex << got
                                                              << ", expected " << want;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

}  // namespace
