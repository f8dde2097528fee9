#pragma once
// Sine scroller: one line of text moves right to left across the lower part of the work
// surface, each character riding its own point of a compound sine wave.
#include <cstdint>
#include <string_view>

#include "gfx/surface.h"

struct FontState;

struct ScrollerState {
    std::string_view scrollText;      // the message; not owned, its bytes outlive the scroller
    int32_t          scrollPosition;  // 8.8 scroll units, 8 (2048) per second; only grows
};

// Sets the message (one upper-case line whose bytes live as long as the scroller draws it; empty
// draws nothing) and puts the scroll back to its start. Once, at start-up, after the font.
void initScroller(ScrollerState& scroller, std::string_view text);

// Advances the scroll by frameStep (seconds, truncated to 1/2048 s) and draws, with `font`, the characters whose top-left corner lies within (−32, −32)…(work.width,
// work.height) onto `work`. Each character takes 20 pixels; the line moves left by 96 pixels per
// second and waves by at most 25 pixels around row 170.
void drawScroller(ScrollerState& scroller, FontState& font, Surface& work, float frameStep);
