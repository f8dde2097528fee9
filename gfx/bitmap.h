#pragma once
// Palette bitmaps (4 or 8 bits per pixel, uncompressed, with a colour table) turned into 32-bit
// top-down surfaces of kDefaultPixelFormat, with pure magenta made transparent.
#include <cstdint>
#include <string>

#include "gfx/surface.h"

// Decodes a BMP file (or a packed DIB without the file header) into a new top-down surface of
// kDefaultPixelFormat, each pixel the palette colour as blue, green, red, 0. Indices past the
// colour table give black. Returns false, with `reason` set and `out` untouched, for anything
// it cannot read safely: truncated data, other depths, compression, absurd sizes.
bool decodeBitmap(const uint8_t* bytes, size_t size, Surface& out, std::string& reason);

// Colour key: alpha 0 for pure magenta (255, 0, 255), 255 for every other colour; colours stay.
void applyColourKey(Surface& surface);
