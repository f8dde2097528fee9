#pragma once
// Logo wobble: three travelling sine waves displace the logo canvas in place.
#include "gfx/surface.h"

void drawLogoWobble(Surface& logoSurface, float frameStep);
