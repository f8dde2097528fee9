#pragma once
// Pixel memory with its size and channel layout. Every drawing operation has a plain path that
// reads and writes pixels through readPixel / writePixel / blendPixel, so one code path serves
// 16-, 24- and 32-bit surfaces; surfaces of the default format take fast paths with the same bits.
#include <cstddef>
#include <cstdint>

// How the bits of a pixel value divide into channels: channel = (value & mask) >> shift, and a
// channel c goes back into a value as c << shift.
struct PixelFormat {
    uint32_t redMask;
    uint32_t greenMask;
    uint32_t blueMask;
    uint32_t alphaMask;
    uint32_t redShift;
    uint32_t greenShift;
    uint32_t blueShift;
    uint32_t alphaShift;
    uint8_t  bitsPerPixel;  // 16, 24 or 32; other depths read as 0 and write nothing
};

// 32-bit pixels read most significant byte first, so bytes in memory are blue, green, red,
// alpha: the byte order of the platform's 32-bit bitmaps, which pass through unconverted.
inline constexpr PixelFormat kDefaultPixelFormat = {
    0x0000FF00, 0x00FF0000, 0xFF000000, 0x000000FF, 8, 16, 24, 0, 32};

struct Surface {
    uint8_t*    pixels;  // height rows of width pixels, top row first, rows packed; owned
    int32_t     width;   // pixels per row
    int32_t     height;  // rows
    PixelFormat format;  // copy of the format the surface was made with
};

// Drawing has two paths. The plain one goes pixel by pixel through readPixel / writePixel /
// blendPixel and serves every format; it is the reference. Where every surface an operation
// touches has kDefaultPixelFormat, a fast path takes over that gives the same bits. Tests and
// benchmarks switch the fast paths off to run the reference.
struct DrawPaths {
    bool fast;  // true (the default): default-format surfaces take the fast paths
    bool wide;  // fast paths may use AVX2; the default is whether the processor has it
};

DrawPaths& drawPaths();

// Every field equal to kDefaultPixelFormat's.
bool isDefaultFormat(const PixelFormat& format);

// Whether an operation on these surfaces takes its fast path: fast paths on and both formats
// the default one.
bool fastPathFor(const Surface& a, const Surface& b);

// A surface of width × height × bitsPerPixel / 8 bytes, cleared to 0 (the demo never relies
// on the clearing; it only keeps a never-drawn surface from showing stale memory).
Surface createSurface(int32_t width, int32_t height, const PixelFormat& format);

// Releases the pixel memory and leaves an empty 0×0 surface. The demo keeps its surfaces for the
// whole run; tools and tests free theirs.
void freeSurface(Surface& surface);

// Bytes of pixel memory: width × height × bitsPerPixel / 8.
size_t surfaceBytes(const Surface& surface);

// Address of the pixel at column x, row y; no bounds check.
inline uint8_t* pixelAddress(const Surface& s, int32_t x, int32_t y) {
    return s.pixels + (static_cast<size_t>(x) + static_cast<size_t>(y) * static_cast<size_t>(s.width)) *
                          s.format.bitsPerPixel / 8;
}

// 32 bits: b0·2^24 + b1·2^16 + b2·2^8 + b3 (most significant byte first); 24 bits:
// b0·2^16 + b1·2^8 + b2; 16 bits: b0 + b1·2^8 (little-endian word). Any other depth: 0.
uint32_t readPixel(uint8_t bitsPerPixel, const uint8_t* address);

// The exact inverse of readPixel; any other depth writes nothing.
void writePixel(uint8_t bitsPerPixel, uint8_t* address, uint32_t value);

// src laid over dst by src's alpha a, both values of `format`: each colour channel becomes
// ((s·a) >> 8) + ((d·(255 − a)) >> 8). The terms are shifted separately, so opaque 255 gives
// 254 and a transparent source still darkens d to (d·255) >> 8. The result carries src's alpha.
uint32_t blendPixel(const PixelFormat& format, uint32_t dst, uint32_t src);
