#pragma once
// Bump-mapped rotozoomer: the background effect, drawn into the 320×240 effect surface.
#include <cstdint>

#include "gfx/surface.h"

struct RotozoomerState {
    int32_t rotoZoom;  // 8.8: texels (1/256) advanced per output pixel; 256 = one texel per pixel
};

RotozoomerState& rotozoomer();

// Loads the texture and the bump map and builds the slope and light tables. Once, at start-up.
void initRotozoomer();

// Fills every pixel of `out`. All arguments 8.8: angle in 1/256 degree, offsets in 1/256 texel,
// light position in 1/256 pixel of `out`.
void drawRotozoomer(Surface& out, int32_t angle, int32_t offsetX, int32_t offsetY, int32_t lightX,
                    int32_t lightY);
