#include "bmp_writer.h"

#include <cstddef>
#include <stdexcept>

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kPixelsPerMetre = 2835;  // 72 dpi; viewers only use it for print size

// BMP stores every multi-byte field little-endian regardless of the host.
void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v & 0xFF));
    out.push_back(uint8_t((v >> 8) & 0xFF));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void validate(int width, int height, int bitsPerPixel, const std::vector<Rgb>& palette,
              const std::vector<uint8_t>& indices) {
    if (width <= 0 || height <= 0)
        throw std::invalid_argument("encodeBmp: width and height must be positive");
    // Keeps every header field, including the total file size, well inside 32 bits.
    if (width > 65536 || height > 65536 || uint64_t(width) * uint64_t(height) > (1u << 28))
        throw std::invalid_argument("encodeBmp: image too large");
    if (bitsPerPixel != 4 && bitsPerPixel != 8)
        throw std::invalid_argument("encodeBmp: bitsPerPixel must be 4 or 8");
    const std::size_t maxColours = std::size_t(1) << bitsPerPixel;
    if (palette.empty() || palette.size() > maxColours)
        throw std::invalid_argument("encodeBmp: palette size does not fit the bit depth");
    if (indices.size() != std::size_t(width) * std::size_t(height))
        throw std::invalid_argument("encodeBmp: indices must hold width * height entries");
    for (uint8_t index : indices)
        if (index >= palette.size())
            throw std::invalid_argument("encodeBmp: palette index out of range");
}

// Packs one top-first source row into `out`, padded with zero bytes to `rowBytes`.
void packRow(std::vector<uint8_t>& out, const uint8_t* row, int width, int bitsPerPixel,
             uint32_t rowBytes) {
    const std::size_t start = out.size();
    if (bitsPerPixel == 8) {
        out.insert(out.end(), row, row + width);
    } else {
        for (int x = 0; x < width; x += 2) {
            const uint8_t left = row[x];
            const uint8_t right = (x + 1 < width) ? row[x + 1] : 0;
            out.push_back(uint8_t((left << 4) | right));
        }
    }
    out.resize(start + rowBytes, 0);
}

}  // namespace

std::vector<uint8_t> encodeBmp(int width, int height, int bitsPerPixel,
                               const std::vector<Rgb>& palette, const std::vector<uint8_t>& indices) {
    validate(width, height, bitsPerPixel, palette, indices);

    // Rows are padded to whole 32-bit words.
    const uint32_t rowBytes = ((uint32_t(width) * uint32_t(bitsPerPixel) + 31) / 32) * 4;
    const uint32_t imageBytes = rowBytes * uint32_t(height);
    const uint32_t paletteBytes = uint32_t(palette.size()) * 4;
    const uint32_t pixelOffset = kFileHeaderSize + kInfoHeaderSize + paletteBytes;
    const uint32_t fileBytes = pixelOffset + imageBytes;

    std::vector<uint8_t> out;
    out.reserve(fileBytes);

    // BITMAPFILEHEADER
    out.push_back('B');
    out.push_back('M');
    put32(out, fileBytes);
    put32(out, 0);  // two reserved 16-bit fields
    put32(out, pixelOffset);

    // BITMAPINFOHEADER; a positive height means rows are stored bottom-up.
    put32(out, kInfoHeaderSize);
    put32(out, uint32_t(width));
    put32(out, uint32_t(height));
    put16(out, 1);  // planes
    put16(out, uint32_t(bitsPerPixel));
    put32(out, 0);  // BI_RGB: uncompressed
    put32(out, imageBytes);
    put32(out, kPixelsPerMetre);
    put32(out, kPixelsPerMetre);
    put32(out, uint32_t(palette.size()));  // colours used
    put32(out, 0);                         // all colours important

    for (const Rgb& c : palette) {
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }

    for (int row = height - 1; row >= 0; --row)
        packRow(out, indices.data() + std::size_t(row) * std::size_t(width), width, bitsPerPixel,
                rowBytes);
    return out;
}
