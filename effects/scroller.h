#pragma once
// Sine scroller with the bitmap font.
#include "gfx/surface.h"

// Loads the font and makes the one-glyph scratch surface. Once, at start-up.
void initFont();

// Advances the scroll by frameStep (seconds) and draws the visible characters onto `work`.
void drawScroller(Surface& work, float frameStep);
