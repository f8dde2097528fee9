#include "effects/font.h"

#include <cstring>

#include "gfx/blit.h"

void initFont(FontState& f, Surface fontSurface) {
    freeSurface(f.fontSurface);
    freeSurface(f.glyphSurface);
    f.fontSurface = fontSurface;
    f.glyphWidth = 16;
    f.glyphHeight = 24;
    f.glyphSurface = createSurface(f.glyphWidth, f.glyphHeight, f.fontSurface.format);
}

void freeFont(FontState& f) {
    freeSurface(f.fontSurface);
    freeSurface(f.glyphSurface);
    f = FontState{};
}

void drawGlyph(FontState& f, char character, Surface& destination, int32_t x, int32_t y) {
    const int32_t glyphsPerRow = f.glyphWidth > 0 ? f.fontSurface.width / f.glyphWidth : 0;
    const size_t n = kFontAlphabet.find(character);
    if (n == std::string_view::npos || glyphsPerRow == 0) return;  // no glyph, or no font

    // Cut the cell out over transparent black, so the key-coloured background stays clear.
    std::memset(f.glyphSurface.pixels, 0, surfaceBytes(f.glyphSurface));
    const int32_t cell = int32_t(n);
    blitRect(f.fontSurface, f.glyphSurface, uint32_t((cell % glyphsPerRow) * f.glyphWidth),
             uint32_t((cell / glyphsPerRow) * f.glyphHeight), f.glyphWidth, f.glyphHeight, 0, 0);
    blit(f.glyphSurface, destination, x, y, 1);
}
