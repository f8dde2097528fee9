#include "gfx/bitmap.h"

#include "gfx/bmp_layout.h"

namespace {

constexpr int32_t kMaxSide = 16384;  // far beyond any picture of the demo; keeps sizes in int32

bool fail(std::string& reason, std::string text) {
    reason = std::move(text);
    return false;
}

}  // namespace

bool decodeBitmap(const uint8_t* bytes, size_t size, Surface& out, std::string& reason) {
    // Fields read past the end come out 0, so a short header is checked before it is used.
    auto field = [&](size_t header, BmpField f) { return readBmpField(bytes, size, header, f); };
    size_t infoAt = 0;
    size_t bitsAt = 0;  // 0: pixel data follows the colour table
    if (field(0, kBmpSignature) == ('B' | 'M' << 8)) {
        if (size < kBmpFileHeaderBytes) return fail(reason, "truncated file header");
        infoAt = kBmpFileHeaderBytes;
        bitsAt = field(0, kBmpPixelOffset);
    }
    const uint32_t headerSize = field(infoAt, kBmpInfoBytes);
    if (size < infoAt + kBmpInfoHeaderBytes || headerSize < kBmpInfoHeaderBytes || headerSize > size - infoAt)
        return fail(reason, "truncated or unknown bitmap header");
    const int32_t width = static_cast<int32_t>(field(infoAt, kBmpWidth));
    const int32_t rawHeight = static_cast<int32_t>(field(infoAt, kBmpHeight));
    const uint32_t bitsPerPixel = field(infoAt, kBmpBitsPerPixel);
    const uint32_t compression = field(infoAt, kBmpCompression);
    const uint32_t coloursUsed = field(infoAt, kBmpColoursUsed);
    if (bitsPerPixel != 4 && bitsPerPixel != 8)
        return fail(reason, std::to_string(bitsPerPixel) + " bits per pixel, only 4 and 8 are read");
    if (compression != kBmpUncompressed)
        return fail(reason, "compressed bitmap, only uncompressed (BI_RGB) is read");
    if (width <= 0 || width > kMaxSide || rawHeight == 0 || rawHeight < -kMaxSide || rawHeight > kMaxSide)
        return fail(reason, "absurd size " + std::to_string(width) + "x" + std::to_string(rawHeight));
    const bool bottomUp = rawHeight > 0;
    const int32_t height = bottomUp ? rawHeight : -rawHeight;

    const size_t maxColours = size_t(1) << bitsPerPixel;
    const size_t colours = coloursUsed == 0 ? maxColours : coloursUsed;
    if (colours > maxColours) return fail(reason, std::to_string(colours) + " palette entries for " +
                                                      std::to_string(bitsPerPixel) + " bits per pixel");
    const size_t tableAt = infoAt + headerSize;
    const size_t tableEnd = tableAt + colours * kBmpColourEntryBytes;
    if (tableEnd > size) return fail(reason, "truncated colour table");
    if (bitsAt == 0) bitsAt = tableEnd;
    const size_t rowBytes = bmpRowBytes(size_t(width), bitsPerPixel);
    if (bitsAt < tableEnd || bitsAt > size || rowBytes * height > size - bitsAt)
        return fail(reason, "truncated pixel data");

    Surface s = createSurface(width, height, kDefaultPixelFormat);
    for (int32_t y = 0; y < height; ++y) {
        const size_t storedRow = bottomUp ? size_t(height - 1 - y) : size_t(y);
        const uint8_t* row = bytes + bitsAt + storedRow * rowBytes;
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t index = bitsPerPixel == 8 ? row[x] : (row[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F;
            uint8_t* p = pixelAddress(s, x, y);
            if (index < colours) {
                const uint8_t* entry = bytes + tableAt + index * kBmpColourEntryBytes;  // blue, green, red, reserved
                p[0] = entry[0];
                p[1] = entry[1];
                p[2] = entry[2];
            } else {
                p[0] = p[1] = p[2] = 0;
            }
            p[3] = 0;
        }
    }
    out = s;
    return true;
}

void applyColourKey(Surface& s) {
    const PixelFormat& f = s.format;
    const uint8_t bits = f.bitsPerPixel;
    const size_t count = static_cast<size_t>(s.width) * static_cast<size_t>(s.height);
    for (size_t i = 0; i < count; ++i) {
        uint8_t* p = s.pixels + i * bits / 8;
        const uint32_t v = readPixel(bits, p);
        const uint32_t r = ((v & f.redMask) >> f.redShift) & 0xFF;
        const uint32_t g = ((v & f.greenMask) >> f.greenShift) & 0xFF;
        const uint32_t b = ((v & f.blueMask) >> f.blueShift) & 0xFF;
        const uint32_t alpha = (r == 255 && g == 0 && b == 255) ? 0 : 255;
        writePixel(bits, p, (v & ~f.alphaMask) | (alpha << f.alphaShift));
    }
}
