#include "effects/logo_reflection.h"

#include <algorithm>

#include "gfx/pixel32.h"

int32_t reflectionFade(int32_t height, int32_t r) {
    const int32_t f = ((height - r) * 65536) / (height * 256) - 50;
    return f < 0 ? 0 : f;
}

void drawLogoReflection(const Surface& logo, Surface& work, int32_t x, int32_t y) {
    const PixelFormat& f = logo.format;
    const uint8_t srcBits = f.bitsPerPixel;
    const uint8_t dstBits = work.format.bitsPerPixel;
    const size_t dstBytesPerPixel = dstBits / 8;
    // Linear positions in 64 bits: any placement the caller passes is tested, none can wrap.
    const int64_t bufferPixels = int64_t(work.width) * work.height;
    const int32_t W = logo.width, H = logo.height;
    if (W <= 0 || H <= 0) return;

    if (fastPathFor(logo, work)) {
        // Linear addressing makes each row one run of the destination buffer, cut to the buffer.
        for (int32_t r = 0; r < H; ++r) {
            const int64_t position = (int64_t(y) + r) * work.width + x;
            const int64_t c0 = std::clamp<int64_t>(-position, 0, W);
            const int64_t c1 = std::clamp<int64_t>(bufferPixels - position, 0, W);
            if (c0 >= c1) continue;
            blendRow(work.pixels + size_t(position + c0) * 4, pixelAddress(logo, int32_t(c0), H - 1 - r),
                     int32_t(c1 - c0), uint32_t(reflectionFade(H, r)));
        }
        return;
    }

    for (int32_t r = 0; r < H; ++r) {
        const uint32_t fade = uint32_t(reflectionFade(H, r));
        const uint8_t* src = pixelAddress(logo, 0, H - 1 - r);  // the canvas's bottom row first
        int64_t position = (int64_t(y) + r) * work.width + x;
        for (int32_t c = 0; c < W; ++c, ++position, src += srcBits / 8) {
            if (position < 0 || position >= bufferPixels) continue;
            const uint32_t v = readPixel(srcBits, src);
            const uint32_t a = (((v & f.alphaMask) >> f.alphaShift) * fade) >> 8;
            // Colours keep their channels; the scaled alpha takes the alpha position.
            const uint32_t rgb = (((v & f.redMask) >> f.redShift) << f.redShift) |
                                 (((v & f.greenMask) >> f.greenShift) << f.greenShift) |
                                 (((v & f.blueMask) >> f.blueShift) << f.blueShift);
            uint8_t* dst = work.pixels + size_t(position) * dstBytesPerPixel;
            writePixel(dstBits, dst, blendPixel(work.format, readPixel(dstBits, dst), rgb | (a << f.alphaShift)));
        }
    }
}
