#include "gfx/blit.h"

static bool inside(const Surface& s, int32_t x, int32_t y) {
    return x >= 0 && y >= 0 && x < s.width && y < s.height;
}

void blit(const Surface& src, Surface& dst, int32_t x, int32_t y, int32_t blend) {
    const bool copy = (blend & 0xFF) == 0;
    const uint8_t srcBits = src.format.bitsPerPixel;
    const uint8_t dstBits = dst.format.bitsPerPixel;
    for (int32_t i = 0; i < src.height; ++i) {
        for (int32_t j = 0; j < src.width; ++j) {
            if (!inside(dst, x + j, y + i)) continue;
            const uint32_t s = readPixel(srcBits, pixelAddress(src, j, i));
            uint8_t* d = pixelAddress(dst, x + j, y + i);
            writePixel(dstBits, d, copy ? s : blendPixel(dst.format, readPixel(dstBits, d), s));
        }
    }
}

// The source value with its alpha scaled by fade / 256 and its colours reduced to their low
// 8 bits, rebuilt at the source format's shifts.
static uint32_t fadeAlpha(const PixelFormat& f, uint32_t s, uint8_t fade) {
    const uint32_t a = ((s & f.alphaMask) >> f.alphaShift) & 0xFF;
    const uint32_t faded = (a * fade) / 256;
    const uint32_t r = ((s & f.redMask) >> f.redShift) & 0xFF;
    const uint32_t g = ((s & f.greenMask) >> f.greenShift) & 0xFF;
    const uint32_t b = ((s & f.blueMask) >> f.blueShift) & 0xFF;
    return r << f.redShift | g << f.greenShift | b << f.blueShift | faded << f.alphaShift;
}

void blitFaded(const Surface& src, Surface& dst, int32_t x, int32_t y, uint8_t fade) {
    const uint8_t srcBits = src.format.bitsPerPixel;
    const uint8_t dstBits = dst.format.bitsPerPixel;
    for (int32_t i = 0; i < src.height; ++i) {
        for (int32_t j = 0; j < src.width; ++j) {
            if (!inside(dst, x + j, y + i)) continue;
            const uint32_t s = fadeAlpha(src.format, readPixel(srcBits, pixelAddress(src, j, i)), fade);
            uint8_t* d = pixelAddress(dst, x + j, y + i);
            writePixel(dstBits, d, blendPixel(dst.format, readPixel(dstBits, d), s));
        }
    }
}

void blitRect(const Surface& font, Surface& glyph, uint32_t srcX, uint32_t srcY, int32_t width,
              int32_t height, int32_t dstX, int32_t dstY) {
    const int32_t sx = int32_t(srcX & 0xFFFF);
    const int32_t sy = int32_t(srcY & 0xFFFF);
    const uint8_t srcBits = font.format.bitsPerPixel;
    const uint8_t dstBits = glyph.format.bitsPerPixel;
    for (int32_t i = 0; i < height; ++i) {
        for (int32_t j = 0; j < width; ++j) {
            if (!inside(glyph, dstX + j, dstY + i) || !inside(font, sx + j, sy + i)) continue;
            const uint32_t s = readPixel(srcBits, pixelAddress(font, sx + j, sy + i));
            uint8_t* d = pixelAddress(glyph, dstX + j, dstY + i);
            writePixel(dstBits, d, blendPixel(glyph.format, readPixel(dstBits, d), s));
        }
    }
}

void upscale2x(const Surface& work, Surface& frame, int32_t x, int32_t y) {
    const uint8_t srcBits = work.format.bitsPerPixel;
    const uint8_t dstBits = frame.format.bitsPerPixel;
    for (int32_t i = 0; i < 2 * work.height; ++i) {
        for (int32_t j = 0; j < 2 * work.width; ++j) {
            if (!inside(frame, x + j, y + i)) continue;
            const uint32_t v = readPixel(srcBits, pixelAddress(work, j / 2, i / 2));
            writePixel(dstBits, pixelAddress(frame, x + j, y + i), v);
        }
    }
}
