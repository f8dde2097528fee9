#pragma once
// Logo wobble: three travelling sine waves displace the logo canvas in place.
#include <cstdint>

#include "gfx/surface.h"

// The wobble has no pictures or tables to set up: a fresh record starts its clock from 0.
struct LogoWobbleState {
    int32_t wobbleTime;  // 8.8 seconds; the wobble's own clock, advanced only by drawLogoWobble
};

// Advances wobbleTime by frameStep (seconds, truncated to 1/256 s) and displaces every pixel of
// `logoSurface` in place: pixel (i, j) takes the old pixel (i + l + o, j + m), l, m and o being
// 0…20, or transparent black (0) where that lies beyond the right or bottom edge.
void drawLogoWobble(LogoWobbleState& wobble, Surface& logoSurface, float frameStep);
