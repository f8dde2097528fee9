#include "tools/bmp_writer.h"

#include <cstddef>
#include <stdexcept>

#include "gfx/bmp_layout.h"

namespace {

constexpr uint32_t kPixelsPerMetre = 2835;  // 72 dpi; viewers only use it for print size

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

    const uint32_t rowBytes = uint32_t(bmpRowBytes(size_t(width), size_t(bitsPerPixel)));
    const uint32_t imageBytes = rowBytes * uint32_t(height);
    const uint32_t paletteBytes = uint32_t(palette.size()) * kBmpColourEntryBytes;
    const uint32_t infoAt = kBmpFileHeaderBytes;
    const uint32_t pixelOffset = infoAt + kBmpInfoHeaderBytes + paletteBytes;
    const uint32_t fileBytes = pixelOffset + imageBytes;

    std::vector<uint8_t> out(infoAt + kBmpInfoHeaderBytes);
    out.reserve(fileBytes);
    writeBmpField(out.data(), 0, kBmpSignature, 'B' | 'M' << 8);
    writeBmpField(out.data(), 0, kBmpFileBytes, fileBytes);
    writeBmpField(out.data(), 0, kBmpReserved, 0);
    writeBmpField(out.data(), 0, kBmpPixelOffset, pixelOffset);

    // A positive height: rows are stored bottom-up.
    writeBmpField(out.data(), infoAt, kBmpInfoBytes, kBmpInfoHeaderBytes);
    writeBmpField(out.data(), infoAt, kBmpWidth, uint32_t(width));
    writeBmpField(out.data(), infoAt, kBmpHeight, uint32_t(height));
    writeBmpField(out.data(), infoAt, kBmpPlanes, 1);
    writeBmpField(out.data(), infoAt, kBmpBitsPerPixel, uint32_t(bitsPerPixel));
    writeBmpField(out.data(), infoAt, kBmpCompression, kBmpUncompressed);
    writeBmpField(out.data(), infoAt, kBmpImageBytes, imageBytes);
    writeBmpField(out.data(), infoAt, kBmpXPixelsPerMetre, kPixelsPerMetre);
    writeBmpField(out.data(), infoAt, kBmpYPixelsPerMetre, kPixelsPerMetre);
    writeBmpField(out.data(), infoAt, kBmpColoursUsed, uint32_t(palette.size()));
    writeBmpField(out.data(), infoAt, kBmpColoursImportant, 0);  // all

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
