#pragma once

#include <cstdint>
#include <vector>

// One palette entry, 8 bits per channel.
struct Rgb {
    uint8_t r, g, b;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Encodes a palette image as a BMP file in the layout of gfx/bmp_layout.h: uncompressed, one
// colour table entry per palette colour (the colours-used field says how many), rows stored
// bottom row first. `indices` holds width × height palette indices, top row first. bitsPerPixel
// is 4 or 8.
//
// For 4 bits per pixel the high nibble of each byte is the left pixel. Throws
// std::invalid_argument if the sizes, depth or palette do not fit together, or if an index
// points past the end of the palette.
std::vector<uint8_t> encodeBmp(int width, int height, int bitsPerPixel,
                               const std::vector<Rgb>& palette, const std::vector<uint8_t>& indices);
