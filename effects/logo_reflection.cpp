#include "effects/logo_reflection.h"

void drawLogoReflection(const Surface&, Surface&, int32_t, int32_t) {}
