#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gfx/bitmap.h"
#include "gfx/bmp_layout.h"
#include "host/demo.h"
#include "tools/bmp_writer.h"

namespace {

constexpr size_t kInfoAt = kBmpFileHeaderBytes;  // the info header's place in a file

uint32_t bgra(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return b << 24 | g << 16 | r << 8 | a; }

uint32_t pixelAt(const Surface& s, int x, int y) { return readPixel(32, pixelAddress(s, x, y)); }

// 3×2 at 4 bits: top row red, green, blue; bottom row magenta, black, white.
std::vector<uint8_t> smallBitmap(int bits = 4) {
    const std::vector<Rgb> palette = {{255, 0, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {0, 0, 0}, {255, 255, 255}};
    return encodeBmp(3, 2, bits, palette, {1, 2, 3, 0, 4, 5});
}

TEST(DecodeBitmap, GivesTopRowFirstInBlueGreenRedOrder) {
    for (int bits : {4, 8}) {
        SCOPED_TRACE(bits);
        const std::vector<uint8_t> file = smallBitmap(bits);
        Surface s{};
        std::string reason;
        ASSERT_TRUE(decodeBitmap(file.data(), file.size(), s, reason)) << reason;
        ASSERT_EQ(s.width, 3);
        ASSERT_EQ(s.height, 2);
        EXPECT_EQ(pixelAt(s, 0, 0), bgra(255, 0, 0, 0));  // fourth byte 0 until the colour key
        EXPECT_EQ(pixelAt(s, 1, 0), bgra(0, 255, 0, 0));
        EXPECT_EQ(pixelAt(s, 2, 0), bgra(0, 0, 255, 0));
        EXPECT_EQ(pixelAt(s, 0, 1), bgra(255, 0, 255, 0));
        EXPECT_EQ(pixelAt(s, 2, 1), bgra(255, 255, 255, 0));
        freeSurface(s);
    }
}

TEST(DecodeBitmap, ReadsTopDownFilesAndPackedDibs) {
    std::vector<uint8_t> file = smallBitmap();
    // Top-down: the same rows stored in the other order under a negative height.
    std::vector<uint8_t> topDown = file;
    const size_t bits = readBmpField(file.data(), file.size(), 0, kBmpPixelOffset);
    std::memcpy(&topDown[bits], &file[bits + 4], 4);
    std::memcpy(&topDown[bits + 4], &file[bits], 4);
    writeBmpField(topDown.data(), kInfoAt, kBmpHeight, uint32_t(-2));
    // A packed DIB, as a resource section stores it: no file header.
    const std::vector<uint8_t> dib(file.begin() + kInfoAt, file.end());
    const std::vector<uint8_t>* variants[] = {&topDown, &dib};
    for (const std::vector<uint8_t>* bytes : variants) {
        Surface s{};
        std::string reason;
        ASSERT_TRUE(decodeBitmap(bytes->data(), bytes->size(), s, reason)) << reason;
        EXPECT_EQ(pixelAt(s, 0, 0), bgra(255, 0, 0, 0));
        EXPECT_EQ(pixelAt(s, 0, 1), bgra(255, 0, 255, 0));
        freeSurface(s);
    }
}

TEST(DecodeBitmap, IndexPastTheColourTableIsBlack) {
    std::vector<uint8_t> file = smallBitmap(8);
    file[readBmpField(file.data(), file.size(), 0, kBmpPixelOffset)] = 200;  // bottom-left pixel: index 200 of a 6-entry table
    Surface s{};
    std::string reason;
    ASSERT_TRUE(decodeBitmap(file.data(), file.size(), s, reason)) << reason;
    EXPECT_EQ(pixelAt(s, 0, 1), 0u);
    freeSurface(s);
}

TEST(DecodeBitmap, RefusesBrokenFilesWithAReason) {
    const std::vector<uint8_t> good = smallBitmap();
    struct Case {
        const char* what;
        size_t      header;  // 0: the file header
        BmpField    field;
        uint32_t    value;
        const char* reasonPart;
    };
    const Case cases[] = {
        {"24 bits per pixel", kInfoAt, kBmpBitsPerPixel, 24, "bits per pixel"},
        {"1 bit per pixel", kInfoAt, kBmpBitsPerPixel, 1, "bits per pixel"},
        {"run-length compressed", kInfoAt, kBmpCompression, 2, "compressed"},
        {"zero width", kInfoAt, kBmpWidth, 0, "size"},
        {"negative width", kInfoAt, kBmpWidth, uint32_t(-3), "size"},
        {"zero height", kInfoAt, kBmpHeight, 0, "size"},
        {"absurd width", kInfoAt, kBmpWidth, 1u << 30, "size"},
        {"absurd top-down height", kInfoAt, kBmpHeight, uint32_t(-(1 << 30)), "size"},
        {"more colours than the depth holds", kInfoAt, kBmpColoursUsed, 17, "palette"},
        {"pixel data past the end", 0, kBmpPixelOffset, 4000, "truncated"},
        {"wider than the data", kInfoAt, kBmpWidth, 4000, "truncated"},
        {"header size past the end", kInfoAt, kBmpInfoBytes, 100000, "header"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file = good;
        writeBmpField(file.data(), c.header, c.field, c.value);
        Surface s{};
        std::string reason;
        EXPECT_FALSE(decodeBitmap(file.data(), file.size(), s, reason)) << c.what;
        EXPECT_NE(reason.find(c.reasonPart), std::string::npos) << c.what << ": " << reason;
        EXPECT_EQ(s.pixels, nullptr) << c.what;
    }
}

TEST(DecodeBitmap, EveryTruncationFailsCleanly) {
    const std::vector<uint8_t> file = smallBitmap(8);
    for (size_t length = 0; length < file.size(); ++length) {
        // A fresh heap copy of exactly `length` bytes, so ASan sees any read past it.
        std::vector<uint8_t> cut(file.begin(), file.begin() + length);
        Surface s{};
        std::string reason;
        EXPECT_FALSE(decodeBitmap(cut.data(), cut.size(), s, reason)) << length;
        EXPECT_FALSE(reason.empty()) << length;
    }
}

TEST(ColourKey, OnlyPureMagentaBecomesTransparent) {
    struct Case {
        uint32_t r, g, b, alpha;
    };
    const Case cases[] = {
        {255, 0, 255, 0}, {255, 0, 254, 255}, {254, 0, 255, 255}, {255, 1, 255, 255}, {0, 0, 0, 255}, {255, 255, 255, 255},
    };
    Surface s = createSurface(6, 1, kDefaultPixelFormat);
    for (int i = 0; i < 6; ++i) writePixel(32, pixelAddress(s, i, 0), bgra(cases[i].r, cases[i].g, cases[i].b, 0x5A));
    applyColourKey(s);
    for (int i = 0; i < 6; ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(pixelAt(s, i, 0), bgra(c.r, c.g, c.b, c.alpha)) << c.r << "," << c.g << "," << c.b;
    }
    freeSurface(s);
}

TEST(EmbeddedBitmaps, HaveTheirSizesAndTheirKeys) {
    struct Case {
        uint16_t id;
        int      width, height;
        bool     keyed;  // background in magenta
    };
    const Case cases[] = {{102, 272, 48, true},  {107, 128, 128, false}, {110, 128, 128, false},
                          {114, 9, 9, true},     {115, 288, 72, true},   {119, 41, 41, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        std::string reason;
        Surface s = loadBitmapSurface(c.id, &reason);
        ASSERT_NE(s.pixels, nullptr) << reason;
        EXPECT_EQ(s.width, c.width);
        EXPECT_EQ(s.height, c.height);
        int transparent = 0, opaque = 0;
        for (int y = 0; y < s.height; ++y) {
            for (int x = 0; x < s.width; ++x) {
                const uint32_t a = pixelAt(s, x, y) & 0xFF;
                ASSERT_TRUE(a == 0 || a == 255);
                (a ? opaque : transparent)++;
            }
        }
        EXPECT_GT(opaque, 0);
        if (c.keyed) {
            EXPECT_GT(transparent, 0);
            EXPECT_EQ(pixelAt(s, 0, 0) & 0xFF, 0u) << "the top-left corner is background";
        } else {
            EXPECT_EQ(transparent, 0) << "no magenta in the texture or the bump map";
        }
        freeSurface(s);
    }
}

TEST(EmbeddedBitmaps, AMissingNumberGivesAnEmptySurfaceAndAReason) {
    std::string reason;
    Surface s = loadBitmapSurface(999, &reason);
    EXPECT_EQ(s.pixels, nullptr);
    EXPECT_EQ(s.width, 0);
    EXPECT_NE(reason.find("999"), std::string::npos);
}

}  // namespace
