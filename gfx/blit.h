#pragma once
// Pixel-copying between surfaces, each pixel through readPixel / writePixel / blendPixel so that
// 16-, 24- and 32-bit surfaces are served alike; between surfaces of the default format, whole
// rows at a time with the same bits. Positions are signed pixels, origin top left.
#include "gfx/surface.h"

// Puts src onto dst with its top-left pixel at (x, y), skipping pixels outside dst. Only the low
// 8 bits of `blend` count: 0 copies values unchanged (alpha included, no format conversion),
// anything else lays each source pixel over the destination with blendPixel in dst's format.
void blit(const Surface& src, Surface& dst, int32_t x, int32_t y, int32_t blend);

// Like a blending blit, with the source's alpha scaled first: a' = (a · fade) / 256, colours
// untouched. fade 0 is fully transparent; fade 255 makes an opaque pixel alpha 254. Callers
// place src wholly inside dst; pixels that would fall outside are skipped.
void blitFaded(const Surface& src, Surface& dst, int32_t x, int32_t y, uint8_t fade);

// Blends the width × height rectangle of `font` at (srcX, srcY) over `glyph` at (dstX, dstY).
// srcX and srcY count as unsigned 16-bit values; rectangle pixels outside either surface are
// skipped.
void blitRect(const Surface& font, Surface& glyph, uint32_t srcX, uint32_t srcY, int32_t width,
              int32_t height, int32_t dstX, int32_t dstY);

// Doubles `work` into `frame` with its top-left pixel at (x, y): every source pixel becomes a
// 2 × 2 block, values unchanged, no filtering. Pixels outside `frame` are skipped.
void upscale2x(const Surface& work, Surface& frame, int32_t x, int32_t y);
