#pragma once

#include <cstdint>
#include <vector>

// One palette entry, 8 bits per channel.
struct Rgb {
    uint8_t r, g, b;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Encodes a palette image as a BMP file: BITMAPFILEHEADER (14 bytes) + BITMAPINFOHEADER (40 bytes,
// BI_RGB, biClrUsed = palette size) + colour table (blue, green, red, 0 per entry) + rows stored
// bottom row first, each row padded to a multiple of 4 bytes. `indices` holds width × height
// palette indices, top row first. bitsPerPixel is 4 or 8.
//
// For 4 bits per pixel the high nibble of each byte is the left pixel. Throws
// std::invalid_argument if the sizes, depth or palette do not fit together, or if an index
// points past the end of the palette.
std::vector<uint8_t> encodeBmp(int width, int height, int bitsPerPixel,
                               const std::vector<Rgb>& palette, const std::vector<uint8_t>& indices);
