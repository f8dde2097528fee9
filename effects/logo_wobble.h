#pragma once
// Logo wobble: three travelling sine waves displace the logo canvas in place.
#include <cstdint>

#include "gfx/surface.h"

struct LogoWobbleState {
    int32_t wobbleTime;  // 8.8 seconds; the wobble's own clock, advanced only by drawLogoWobble
};

LogoWobbleState& logoWobble();

// Starts the wobble's clock from 0. The wobble has no pictures or tables to set up.
void resetLogoWobble();

// Advances wobbleTime by frameStep (seconds, truncated to 1/256 s) and displaces every pixel of
// `logoSurface` in place: pixel (i, j) takes the old pixel (i + l + o, j + m), l, m and o being
// 0…20, or transparent black (0) where that lies beyond the right or bottom edge.
void drawLogoWobble(Surface& logoSurface, float frameStep);
