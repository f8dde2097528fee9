#include "effects/scroller.h"

void initFont() {}
void drawScroller(Surface&, float) {}
