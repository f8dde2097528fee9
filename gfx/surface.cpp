#include "gfx/surface.h"

namespace {

// AVX2 is asked of the processor at run time: the build itself targets the x86-64 baseline.
bool processorHasAvx2() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

}  // namespace

DrawPaths& drawPaths() {
    static DrawPaths paths{true, processorHasAvx2()};
    return paths;
}

bool isDefaultFormat(const PixelFormat& f) {
    const PixelFormat& d = kDefaultPixelFormat;
    return f.redMask == d.redMask && f.greenMask == d.greenMask && f.blueMask == d.blueMask &&
           f.alphaMask == d.alphaMask && f.redShift == d.redShift && f.greenShift == d.greenShift &&
           f.blueShift == d.blueShift && f.alphaShift == d.alphaShift && f.bitsPerPixel == d.bitsPerPixel;
}

bool fastPathFor(const Surface& a, const Surface& b) {
    return drawPaths().fast && isDefaultFormat(a.format) && isDefaultFormat(b.format);
}

Surface createSurface(int32_t width, int32_t height, const PixelFormat& format) {
    Surface s{nullptr, width, height, format};
    const size_t bytes = surfaceBytes(s);
    s.pixels = new uint8_t[bytes > 0 ? bytes : 1]();
    return s;
}

void freeSurface(Surface& surface) {
    delete[] surface.pixels;
    surface.pixels = nullptr;
    surface.width = 0;
    surface.height = 0;
}

size_t surfaceBytes(const Surface& s) {
    if (s.width <= 0 || s.height <= 0) return 0;
    return static_cast<size_t>(s.width) * static_cast<size_t>(s.height) * s.format.bitsPerPixel / 8;
}

uint32_t readPixel(uint8_t bitsPerPixel, const uint8_t* p) {
    switch (bitsPerPixel) {
    case 32: return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    case 24: return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    case 16: return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    default: return 0;
    }
}

void writePixel(uint8_t bitsPerPixel, uint8_t* p, uint32_t v) {
    switch (bitsPerPixel) {
    case 32: p[0] = uint8_t(v >> 24); p[1] = uint8_t(v >> 16); p[2] = uint8_t(v >> 8); p[3] = uint8_t(v); break;
    case 24: p[0] = uint8_t(v >> 16); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v); break;
    case 16: p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); break;
    default: break;
    }
}

static uint32_t blendChannel(uint32_t dst, uint32_t src, uint32_t mask, uint32_t shift, uint32_t a) {
    const uint32_t s = (src & mask) >> shift;
    const uint32_t d = (dst & mask) >> shift;
    return (((s * a) >> 8) + ((d * (255 - a)) >> 8)) << shift;
}

uint32_t blendPixel(const PixelFormat& f, uint32_t dst, uint32_t src) {
    const uint32_t a = (src & f.alphaMask) >> f.alphaShift;
    return blendChannel(dst, src, f.redMask, f.redShift, a) |
           blendChannel(dst, src, f.greenMask, f.greenShift, a) |
           blendChannel(dst, src, f.blueMask, f.blueShift, a) | (a << f.alphaShift);
}
