#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "effects/font.h"
#include "effects/scroller.h"
#include "host/demo.h"

namespace {

uint32_t bgra(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return b << 24 | g << 16 | r << 8 | a; }

Surface makeSurface(int32_t w, int32_t h, const std::function<uint32_t(int32_t, int32_t)>& pixel) {
    Surface s = createSurface(w, h, kDefaultPixelFormat);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) writePixel(32, pixelAddress(s, x, y), pixel(x, y));
    return s;
}

// The font and the scroller with a 288×72 font the test paints and a text it chooses.
class Scroller : public testing::Test {
protected:
    void SetUp() override {
        useFont([](int32_t, int32_t) { return bgra(255, 255, 255, 255); });
        scroller.scrollPosition = 0;
    }
    void TearDown() override {
        freeFont(font);
        freeSurface(work);
    }
    void useFont(const std::function<uint32_t(int32_t, int32_t)>& pixel) {
        FontState& f = font;
        freeFont(f);
        f.fontSurface = makeSurface(288, 72, pixel);
        f.glyphWidth = 16;
        f.glyphHeight = 24;
        f.glyphSurface = createSurface(16, 24, f.fontSurface.format);
    }
    uint32_t at(int32_t x, int32_t y) const { return readPixel(32, pixelAddress(work, x, y)); }
    // Top row of the first drawn pixel in column x, or −1.
    int32_t topEdge(int32_t x) const {
        for (int32_t y = 0; y < work.height; ++y)
            if (at(x, y) != 0) return y;
        return -1;
    }
    bool columnEmpty(int32_t x) const { return topEdge(x) < 0; }

    // Wider than the work surface, so that ten characters from x = 256 fit.
    Surface       work = createSurface(640, 240, kDefaultPixelFormat);
    FontState     font{};
    ScrollerState scroller{};
};

// Each font pixel names its place: x / 2 in red, x odd in blue, y in green, all offset by 2,
// which the two blends (into the scratch glyph, then onto the work surface) take off again.
TEST_F(Scroller, GlyphsComeFromTheirCells) {
    useFont([](int32_t x, int32_t y) { return bgra(2 + uint32_t(x / 2), 2 + uint32_t(y), 2 + uint32_t(x % 2) * 100, 255); });
    struct Case {
        char    character;
        int32_t cellX, cellY;
    };
    const Case cases[] = {{'A', 0, 0}, {'R', 272, 0}, {'S', 0, 24}, {'0', 128, 24}, {'9', 272, 24},
                          {'-', 0, 48}, {'(', 144, 48}, {')', 160, 48}};
    for (const Case& c : cases) {
        std::memset(work.pixels, 0, surfaceBytes(work));
        drawGlyph(font, c.character, work, 30, 40);
        for (int32_t dy = 0; dy < 24; ++dy) {
            for (int32_t dx = 0; dx < 16; ++dx) {
                const uint32_t v = at(30 + dx, 40 + dy);
                const int32_t fontX = int32_t((v >> 8) & 0xFF) * 2 + int32_t(v >> 24) / 100;
                const int32_t fontY = int32_t((v >> 16) & 0xFF);
                ASSERT_EQ(fontX, c.cellX + dx) << c.character;
                ASSERT_EQ(fontY, c.cellY + dy) << c.character;
            }
        }
        EXPECT_TRUE(columnEmpty(29) && columnEmpty(46)) << c.character;
    }
}

// Glyph cells are cut out over transparent black and blended on: the font's key-coloured
// background (alpha 0) brings no colour, the destination only darkens by the blend's 255/256.
TEST_F(Scroller, TransparentFontPixelsLeaveTheDestination) {
    useFont([](int32_t x, int32_t) { return x % 16 < 8 ? bgra(255, 0, 255, 0) : bgra(200, 200, 200, 255); });
    for (int32_t y = 0; y < 24; ++y)
        for (int32_t x = 0; x < 16; ++x) writePixel(32, pixelAddress(work, x, y), bgra(100, 100, 100, 255));
    drawGlyph(font, 'B', work, 0, 0);
    EXPECT_EQ(at(3, 3), bgra(99, 99, 99, 0));
    EXPECT_EQ(at(12, 3), bgra(198, 198, 198, 255));
}

TEST_F(Scroller, CharactersWithoutAGlyphDrawNothing) {
    for (char c : {' ', '\'', 'a', 'z', '\0', '\n', char(0xC4)}) {
        drawGlyph(font, c, work, 30, 40);
        for (int32_t x = 0; x < work.width; ++x) ASSERT_TRUE(columnEmpty(x)) << int(c);
    }
}

// Characters 20 pixels apart from x = 256 − 3/64 of the scroll position, their top edges on the
// wave; characters without a glyph leave their gap.
TEST_F(Scroller, CharactersRideTheWave) {
    struct Case {
        const char*          text;
        float                frameStep;  // from scrollPosition 0
        int32_t              firstX;
        std::vector<int32_t> topEdges;   // −1: nothing drawn
    };
    const Case cases[] = {
        {"ABCDEFGHIJ", 0.0f, 256, {190, 189, 185, 177, 171, 169, 164, 154, 147, 151}},
        {"ABCDE", 1.0f, 160, {160, 150, 147, 153, 157}},
        {"A C'EaG", 0.0f, 256, {190, -1, 185, -1, 171, -1, 164}},
    };
    for (const Case& c : cases) {
        std::memset(work.pixels, 0, surfaceBytes(work));
        scroller.scrollText = c.text;
        scroller.scrollPosition = 0;
        drawScroller(scroller, font, work, c.frameStep);
        for (size_t i = 0; i < c.topEdges.size(); ++i) {
            const int32_t x = c.firstX + 20 * int32_t(i);
            EXPECT_EQ(topEdge(x), c.topEdges[i]) << c.text << ", character " << i;
            EXPECT_EQ(topEdge(x + 15), c.topEdges[i]) << c.text << ", character " << i;
            EXPECT_TRUE(columnEmpty(x - 1) && columnEmpty(x + 16)) << c.text << ", character " << i;
        }
    }
}

// Only characters whose corner lies within (−32, −32)…(width, height) are cut out and drawn. At
// x = −31 the glyph is cut out but none of its columns shows; at −15 only its last one does.
TEST_F(Scroller, VisibilityWindow) {
    struct Case {
        int32_t scrollPosition;  // (position · 3072) >> 16 = 256 − x
        int32_t x;
        bool    cutOut;
    };
    const Case cases[] = {{6123, -31, true}, {6144, -32, false}, {5782, -15, true}};
    scroller.scrollText = "A";
    for (const Case& c : cases) {
        std::memset(work.pixels, 0, surfaceBytes(work));
        std::memset(font.glyphSurface.pixels, 0x5A, surfaceBytes(font.glyphSurface));
        scroller.scrollPosition = c.scrollPosition;
        drawScroller(scroller, font, work, 0.0f);
        EXPECT_EQ(font.glyphSurface.pixels[0] != 0x5A, c.cutOut) << c.x;
        EXPECT_EQ(columnEmpty(0), c.x + 15 < 0) << c.x;
        EXPECT_TRUE(columnEmpty(1)) << c.x;
    }
}

TEST_F(Scroller, ScrollAdvancesInWhole2048thsOfASecond) {
    struct Case {
        float   frameStep;
        int32_t added;  // 8.8 scroll units
    };
    const Case cases[] = {{1.0f, 2048}, {0.1f, 204}, {1.0f / 60, 34}, {1.0f / 4096, 0}, {0.0f, 0}};
    for (const Case& c : cases) {
        scroller.scrollText = "";  // an empty text still scrolls
        scroller.scrollPosition = 1000;
        drawScroller(scroller, font, work, c.frameStep);
        EXPECT_EQ(scroller.scrollPosition, 1000 + c.added) << c.frameStep;
    }
    scroller.scrollPosition = 0x7FFFFF00;
    drawScroller(scroller, font, work, 1.0f);
    EXPECT_EQ(scroller.scrollPosition, 0x7FFFFFFF) << "held at the top, never wrapping back";
}

TEST(ScrollText, KeepsTheMessageRules) {
    const std::string_view text = embeddedScrollText();
    ASSERT_EQ(text.size(), 825u);
    EXPECT_EQ(text.substr(0, 8), "        ");
    EXPECT_NE(text[8], ' ');
    EXPECT_NE(text.back(), ' ');
    int apostrophes = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\'') ++apostrophes;
        const bool glyph = kFontAlphabet.find(c) != std::string_view::npos;
        EXPECT_TRUE((glyph && !(c >= '0' && c <= '9')) || c == ' ' || c == '\'')
            << "character " << i << ": '" << c << "' (" << int(c) << ")";
    }
    EXPECT_EQ(apostrophes, 1);
    EXPECT_EQ(text.find("  ", 8), std::string_view::npos) << "one space between words";
}

}  // namespace
