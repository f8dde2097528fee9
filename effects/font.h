#pragma once
// The bitmap font: fixed 16×24 cells of the font picture, 18 to a row, one cell per character of
// kFontAlphabet, numbered row by row.
#include <cstdint>
#include <string_view>

#include "gfx/surface.h"

// Character n of this string is the glyph in cell n.
inline constexpr std::string_view kFontAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.,:;!?/()";

struct FontState {
    Surface fontSurface;   // 288×72: three rows of 18 cells, key colour transparent
    int32_t glyphWidth;    // pixels, 16
    int32_t glyphHeight;   // pixels, 24
    Surface glyphSurface;  // glyphWidth × glyphHeight scratch in fontSurface's format
};

// Takes over the font picture (288×72, 16×24 cells; the font frees it when set up again) and
// makes the one-glyph scratch surface in its format. Once, at start-up; calling it again
// replaces what the previous call made.
void initFont(FontState& font, Surface fontSurface);

// Frees the font picture and the scratch surface; the state is as before initFont.
void freeFont(FontState& font);

// Draws `character` onto `destination` with its top-left corner at (x, y), blended, through the
// scratch surface (nothing is allocated). Characters outside kFontAlphabet draw nothing.
void drawGlyph(FontState& font, char character, Surface& destination, int32_t x, int32_t y);
