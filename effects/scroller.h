#pragma once
// Sine scroller: one line of text moves right to left across the lower part of the work
// surface, each character riding its own point of a compound sine wave.
#include <cstdint>
#include <string_view>

#include "effects/font.h"
#include "gfx/surface.h"

struct ScrollerState {
    std::string_view scrollText;      // the message; bytes owned by the embedded resources
    int32_t          scrollPosition;  // 8.8 scroll units, 8 (2048) per second; only grows
};

ScrollerState& scroller();

// The embedded message, resources/scrolltext.txt: one upper-case line. Empty when missing.
std::string_view embeddedScrollText();

// Advances the scroll by frameStep (seconds, truncated to 1/2048 s) and draws the characters
// whose top-left corner lies within (−32, −32)…(work.width, work.height) onto `work`. Each
// character takes 20 pixels; the line moves left by 96 pixels per second and waves by at most
// 25 pixels around row 170.
void drawScroller(Surface& work, float frameStep);
