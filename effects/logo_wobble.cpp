#include "effects/logo_wobble.h"

void drawLogoWobble(Surface&, float) {}
