#pragma once
// Logo reflection: the logo canvas mirrored upside down below the logo, fading out downwards.
#include <cstdint>

#include "gfx/surface.h"

// Fade of reflection row r (0 = top) for a canvas of `height` > 0 rows: 256·(height − r)/height
// minus 50, at least 0. The top row gets 206 for any height; the alpha of each pixel of row r
// is scaled by fade / 256.
int32_t reflectionFade(int32_t height, int32_t r);

// Blends `logoSurface` upside down onto `work` with its top-left corner at (x, y), pixel by
// pixel through each pixel's own alpha scaled by its row's fade. Pixels are addressed linearly,
// without clipping: pixel (c, r) goes to position (y + r)·work.width + x + c of work's buffer, so
// a row reaching past the right edge continues on the next row. Positions outside the buffer
// are skipped; the frame driver's placement (8, 52) has none.
void drawLogoReflection(const Surface& logoSurface, Surface& work, int32_t x, int32_t y);
