#include "gfx/bitmap.h"

#include "platform/resources.h"

namespace {

// Little-endian reads that return 0 past the end, so a short header can be checked before use.
struct ByteReader {
    const uint8_t* bytes;
    size_t         size;

    uint32_t u8(size_t at) const { return at < size ? bytes[at] : 0; }
    uint32_t u16(size_t at) const { return u8(at) | u8(at + 1) << 8; }
    uint32_t u32(size_t at) const { return u16(at) | u16(at + 2) << 16; }
    int32_t  s32(size_t at) const { return static_cast<int32_t>(u32(at)); }
};

constexpr int32_t kMaxSide = 16384;  // far beyond any picture of the demo; keeps sizes in int32
constexpr size_t  kFileHeaderBytes = 14;

bool fail(std::string& reason, std::string text) {
    reason = std::move(text);
    return false;
}

}  // namespace

bool decodeBitmap(const uint8_t* bytes, size_t size, Surface& out, std::string& reason) {
    const ByteReader file{bytes, size};
    size_t infoAt = 0;
    size_t bitsAt = 0;  // 0: pixel data follows the colour table
    if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
        if (size < kFileHeaderBytes) return fail(reason, "truncated file header");
        infoAt = kFileHeaderBytes;
        bitsAt = file.u32(10);
    }
    const uint32_t headerSize = file.u32(infoAt);
    if (size < infoAt + 40 || headerSize < 40 || headerSize > size - infoAt)
        return fail(reason, "truncated or unknown bitmap header");
    const int32_t width = file.s32(infoAt + 4);
    const int32_t rawHeight = file.s32(infoAt + 8);
    const uint32_t bitsPerPixel = file.u16(infoAt + 14);
    const uint32_t compression = file.u32(infoAt + 16);
    const uint32_t coloursUsed = file.u32(infoAt + 32);
    if (bitsPerPixel != 4 && bitsPerPixel != 8)
        return fail(reason, std::to_string(bitsPerPixel) + " bits per pixel, only 4 and 8 are read");
    if (compression != 0) return fail(reason, "compressed bitmap, only uncompressed (BI_RGB) is read");
    if (width <= 0 || width > kMaxSide || rawHeight == 0 || rawHeight < -kMaxSide || rawHeight > kMaxSide)
        return fail(reason, "absurd size " + std::to_string(width) + "x" + std::to_string(rawHeight));
    const bool bottomUp = rawHeight > 0;
    const int32_t height = bottomUp ? rawHeight : -rawHeight;

    const size_t maxColours = size_t(1) << bitsPerPixel;
    const size_t colours = coloursUsed == 0 ? maxColours : coloursUsed;
    if (colours > maxColours) return fail(reason, std::to_string(colours) + " palette entries for " +
                                                      std::to_string(bitsPerPixel) + " bits per pixel");
    const size_t tableAt = infoAt + headerSize;
    if (tableAt + colours * 4 > size) return fail(reason, "truncated colour table");
    if (bitsAt == 0) bitsAt = tableAt + colours * 4;
    const size_t rowBytes = (static_cast<size_t>(width) * bitsPerPixel + 31) / 32 * 4;
    if (bitsAt < tableAt + colours * 4 || bitsAt > size || rowBytes * height > size - bitsAt)
        return fail(reason, "truncated pixel data");

    Surface s = createSurface(width, height, defaultPixelFormat);
    for (int32_t y = 0; y < height; ++y) {
        const size_t storedRow = bottomUp ? size_t(height - 1 - y) : size_t(y);
        const uint8_t* row = bytes + bitsAt + storedRow * rowBytes;
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t index = bitsPerPixel == 8 ? row[x] : (row[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F;
            uint8_t* p = pixelAddress(s, x, y);
            if (index < colours) {
                const uint8_t* entry = bytes + tableAt + index * 4;  // blue, green, red, reserved
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

Surface loadBitmapSurface(uint16_t identifier, std::string* reason) {
    Surface s{nullptr, 0, 0, defaultPixelFormat};
    std::string why;
    PlatformBitmap converted{};
    if (platformOpenBitmap(identifier, converted)) {
        // The platform converts its own bitmaps straight into the surface's memory.
        s = createSurface(converted.width, converted.height, defaultPixelFormat);
        if (!platformReadBitmap(converted, s.pixels)) {
            freeSurface(s);
            why = "bitmap " + std::to_string(identifier) + ": the platform cannot convert it";
        }
    } else {
        const ResourceData data = findResource("BITMAP", identifier);
        if (!data.bytes)
            why = "bitmap " + std::to_string(identifier) + ": not among the embedded resources";
        else if (!decodeBitmap(data.bytes, data.size, s, why))
            why = "bitmap " + std::to_string(identifier) + ": " + why;
    }
    if (s.pixels) applyColourKey(s);
    if (reason) *reason = why;
    return s;
}
