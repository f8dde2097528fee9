#include "gfx/blit.h"

#include <algorithm>
#include <cstring>

#include "gfx/pixel32.h"

static bool inside(const Surface& s, int32_t x, int32_t y) {
    return x >= 0 && y >= 0 && x < s.width && y < s.height;
}

namespace {

// The part of a w × h source placed at (x, y) that lies inside a dstW × dstH destination: source
// columns j0 … j1 − 1 and rows i0 … i1 − 1 (empty when j0 ≥ j1 or i0 ≥ i1). In 64 bits, so no
// placement can overflow.
struct Clip {
    int32_t j0, j1, i0, i1;
};

Clip clip(int32_t w, int32_t h, int64_t x, int64_t y, int32_t dstW, int32_t dstH) {
    if (w <= 0 || h <= 0) return Clip{0, 0, 0, 0};
    return Clip{int32_t(std::clamp<int64_t>(-x, 0, w)), int32_t(std::clamp<int64_t>(dstW - x, 0, w)),
                int32_t(std::clamp<int64_t>(-y, 0, h)), int32_t(std::clamp<int64_t>(dstH - y, 0, h))};
}

// Fast path of blit, blitFaded and blitRect: the clipped rows of src at (srcX, srcY), w × h,
// onto dst at (x, y); copied, blended, or blended with the alpha scaled by `scale` (256: none).
enum class RowOp { copy, blend };
void blitRows(const Surface& src, int32_t srcX, int32_t srcY, int32_t w, int32_t h, Surface& dst, int32_t x,
              int32_t y, RowOp op, uint32_t scale) {
    const Clip c = clip(w, h, x, y, dst.width, dst.height);
    if (c.j0 >= c.j1) return;
    for (int32_t i = c.i0; i < c.i1; ++i) {
        const uint8_t* s = pixelAddress(src, srcX + c.j0, srcY + i);
        uint8_t* d = pixelAddress(dst, x + c.j0, y + i);
        if (op == RowOp::copy) std::memcpy(d, s, size_t(c.j1 - c.j0) * 4);
        else blendRow(d, s, c.j1 - c.j0, scale);
    }
}

}  // namespace

void blit(const Surface& src, Surface& dst, int32_t x, int32_t y, int32_t blend) {
    const bool copy = (blend & 0xFF) == 0;
    if (fastPathFor(src, dst) && src.pixels != dst.pixels) {
        blitRows(src, 0, 0, src.width, src.height, dst, x, y, copy ? RowOp::copy : RowOp::blend, 256);
        return;
    }
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
    if (fastPathFor(src, dst) && src.pixels != dst.pixels) {
        blitRows(src, 0, 0, src.width, src.height, dst, x, y, RowOp::blend, fade);
        return;
    }
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
    if (fastPathFor(font, glyph)) {
        // The rectangle's pixels inside the font, then those of them that land inside the glyph.
        const Clip inFont = clip(std::max(width, 0), std::max(height, 0), sx, sy, font.width, font.height);
        const int32_t w = inFont.j1, h = inFont.i1;  // the font clips only on the right and bottom
        blitRows(font, sx, sy, w, h, glyph, dstX, dstY, RowOp::blend, 256);
        return;
    }
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

// One row of the doubled picture: pixels j0 … j1 − 1 of the doubled source row go to `out`
// (the frame pixel of doubled pixel j0), pixel j from source pixel j / 2; and the same to
// `twin` (the row below) unless it is null.
static void doubleRow(uint8_t* out, uint8_t* twin, const uint8_t* in, int32_t j0, int32_t j1) {
    const size_t twinOffset = twin ? size_t(twin - out) : 0;
    auto put = [&](uint8_t* at, const void* bytes, size_t n) {
        std::memcpy(at, bytes, n);
        if (twin) std::memcpy(at + twinOffset, bytes, n);
    };
    int32_t j = j0;
    if (j < j1 && (j & 1)) {
        put(out, in + 4 * (j / 2), 4);
        out += 4;
        ++j;
    }
#if defined(__SSE2__)
    for (; j + 8 <= j1; j += 8, out += 32) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * (j / 2)));
        const __m128i lo = _mm_unpacklo_epi32(v, v), hi = _mm_unpackhi_epi32(v, v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), hi);
        if (twin) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + twinOffset), lo);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + twinOffset + 16), hi);
        }
    }
#endif
    for (; j < j1; ++j, out += 4) put(out, in + 4 * (j / 2), 4);
}

void upscale2x(const Surface& work, Surface& frame, int32_t x, int32_t y) {
    if (fastPathFor(work, frame) && work.pixels != frame.pixels) {
        // Words are copied whole; each doubled row is written together with its twin below.
        const Clip c = clip(2 * work.width, 2 * work.height, x, y, frame.width, frame.height);
        for (int32_t i = c.i0; i < c.i1 && c.j0 < c.j1; ++i) {
            uint8_t* out = pixelAddress(frame, x + c.j0, y + i);
            const bool twin = !(i & 1) && i + 1 < c.i1;  // the odd row below shows the same pixels
            doubleRow(out, twin ? out + size_t(frame.width) * 4 : nullptr, pixelAddress(work, 0, i / 2), c.j0, c.j1);
            if (twin) ++i;
        }
        return;
    }
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
