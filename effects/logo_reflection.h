#pragma once
// Logo reflection: the logo canvas mirrored upside down below the logo, fading out downwards.
#include <cstdint>

#include "gfx/surface.h"

void drawLogoReflection(const Surface& logoSurface, Surface& work, int32_t x, int32_t y);
