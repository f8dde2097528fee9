#include <gtest/gtest.h>

#include "gfx/surface.h"

namespace {

// 16-bit 5-6-5 with no alpha and 24-bit 8-8-8 with no alpha: the narrower depths the same code
// serves.
constexpr PixelFormat kFormat565 = {0xF800, 0x07E0, 0x001F, 0, 11, 5, 0, 0, 16};
constexpr PixelFormat kFormat888 = {0xFF0000, 0x00FF00, 0x0000FF, 0, 16, 8, 0, 0, 24};

TEST(PixelAccess, ReadsAndWritesEveryDepth) {
    struct Case {
        uint8_t  bits;
        uint8_t  bytes[4];
        uint32_t value;
        int      width;  // bytes that belong to the pixel
    };
    const Case cases[] = {
        {32, {0x11, 0x22, 0x33, 0x44}, 0x11223344, 4},  // most significant byte first
        {24, {0x11, 0x22, 0x33, 0x00}, 0x112233, 3},
        {16, {0x34, 0x12, 0x00, 0x00}, 0x1234, 2},      // little-endian word
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.bits));
        EXPECT_EQ(readPixel(c.bits, c.bytes), c.value);
        uint8_t written[5] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
        writePixel(c.bits, written, c.value);
        for (int i = 0; i < c.width; ++i) EXPECT_EQ(written[i], c.bytes[i]) << i;
        for (int i = c.width; i < 5; ++i) EXPECT_EQ(written[i], 0xAA) << "wrote past the pixel at " << i;
    }
}

TEST(PixelAccess, OtherDepthsReadZeroAndWriteNothing) {
    for (const uint8_t bits : {uint8_t(0), uint8_t(1), uint8_t(8), uint8_t(15), uint8_t(31), uint8_t(64)}) {
        uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        EXPECT_EQ(readPixel(bits, bytes), 0u);
        writePixel(bits, bytes, 0xFFFFFFFF);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(bytes[i], i + 1);
    }
}

TEST(PixelAccess, DefaultFormatIsBlueGreenRedAlphaInMemory) {
    const uint8_t bytes[4] = {0x11, 0x22, 0x33, 0x44};
    const uint32_t v = readPixel(32, bytes);
    const PixelFormat& f = kDefaultPixelFormat;
    EXPECT_EQ((v & f.blueMask) >> f.blueShift, 0x11u);
    EXPECT_EQ((v & f.greenMask) >> f.greenShift, 0x22u);
    EXPECT_EQ((v & f.redMask) >> f.redShift, 0x33u);
    EXPECT_EQ((v & f.alphaMask) >> f.alphaShift, 0x44u);
}

uint32_t bgra(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return b << 24 | g << 16 | r << 8 | a; }

TEST(BlendPixel, WeighsBySourceAlphaWithSeparateShifts) {
    struct Case {
        const char* what;
        uint32_t    dst, src, expected;
    };
    const Case cases[] = {
        {"opaque 255 comes out as 254", bgra(0, 0, 0, 0), bgra(255, 255, 255, 255), bgra(254, 254, 254, 255)},
        {"transparent source darkens", bgra(255, 100, 1, 77), bgra(9, 9, 9, 0), bgra(254, 99, 0, 0)},
        {"half alpha mixes", bgra(100, 100, 100, 255), bgra(200, 200, 200, 128), bgra(149, 149, 149, 128)},
        {"channels stay apart", bgra(10, 20, 30, 0), bgra(200, 100, 50, 255), bgra(199, 99, 49, 255)},
    };
    for (const Case& c : cases) EXPECT_EQ(blendPixel(kDefaultPixelFormat, c.dst, c.src), c.expected) << c.what;
}

TEST(BlendPixel, NarrowFormatsWithoutAlphaKeepTheDarkenedDestination) {
    // No alpha bits: a = 0, so every channel becomes (d · 255) >> 8 and alpha stays 0.
    EXPECT_EQ(blendPixel(kFormat565, 0xFFFF, 0x0000), (30u << 11) | (62u << 5) | 30u);
    EXPECT_EQ(blendPixel(kFormat888, 0x64C801, 0xFFFFFF), 0x63C700u);
}

TEST(CreateSurface, SizesMemoryByDepth) {
    for (const PixelFormat& f : {kDefaultPixelFormat, kFormat888, kFormat565}) {
        Surface s = createSurface(7, 3, f);
        EXPECT_EQ(surfaceBytes(s), 7u * 3u * f.bitsPerPixel / 8);
        EXPECT_EQ(pixelAddress(s, 2, 1) - s.pixels, (2 + 7) * f.bitsPerPixel / 8);
        freeSurface(s);
        EXPECT_EQ(s.pixels, nullptr);
    }
}

}  // namespace
