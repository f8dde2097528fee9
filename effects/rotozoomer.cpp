#include "effects/rotozoomer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "gfx/bitmap.h"

namespace {

// Degrees to radians, the single-precision constant 0.017453292f.
constexpr double kDegreesToRadians = double(0.017453292f);

// The height is the byte in bits 8–15 of the pixel value, taken directly: the red channel of
// the default format, whatever the surface's own masks say.
int32_t height(const Surface& map, int32_t x, int32_t y) {
    return int32_t((readPixel(map.format.bitsPerPixel, pixelAddress(map, x, y)) >> 8) & 0xFF);
}

uint32_t channel(uint32_t v, uint32_t mask, uint32_t shift) { return (v & mask) >> shift; }

}  // namespace

RotozoomerState& rotozoomer() {
    static RotozoomerState state{256, {}, {}, {}, {}};
    return state;
}

void fillBumpGradient(const Surface& map, std::vector<BumpSlope>& table) {
    const int32_t W = std::min(map.width, bumpGradientSize);
    const int32_t H = std::min(map.height, bumpGradientSize);
    for (int32_t y = 0; y < H; ++y) {
        for (int32_t x = 0; x < W; ++x) {
            const int32_t gx = height(map, std::min(x + 1, W - 1), y) - height(map, std::max(x - 1, 0), y);
            const int32_t gy = height(map, x, std::min(y + 1, H - 1)) - height(map, x, std::max(y - 1, 0));
            table[size_t(x) * bumpGradientSize + size_t(y)] = {int16_t(gx), int16_t(gy)};
        }
    }
}

void fillLightTable(std::vector<uint16_t>& table) {
    for (int32_t p = 0; p < lightTableSize; ++p) {
        for (int32_t q = 0; q < lightTableSize; ++q) {
            const float dx = static_cast<float>((p - 256) / 256.0);
            const float dy = static_cast<float>((q - 256) / 256.0);
            const double r = std::sqrt(double(dx) * dx + double(dy) * dy);
            float f = static_cast<float>(1 - r);
            if (f < 0) f = 0;
            table[size_t(p) * lightTableSize + size_t(q)] = uint16_t(255 * std::pow(double(f), 2.0));
        }
    }
}

void initRotozoomer() {
    RotozoomerState& s = rotozoomer();
    freeSurface(s.rotoTexture);
    freeSurface(s.bumpMap);
    s.rotoTexture = loadBitmapSurface(107);
    s.bumpMap = loadBitmapSurface(110);
    s.bumpGradient.assign(size_t(bumpGradientSize) * bumpGradientSize, BumpSlope{0, 0});
    s.lightTable.assign(size_t(lightTableSize) * lightTableSize, 0);
    fillBumpGradient(s.bumpMap, s.bumpGradient);
    fillLightTable(s.lightTable);
}

void drawRotozoomer(Surface& out, int32_t angle, int32_t offsetX, int32_t offsetY, int32_t lightX,
                    int32_t lightY) {
    const RotozoomerState& s = rotozoomer();
    const Surface& tex = s.rotoTexture;
    const int32_t TW = tex.width, TH = tex.height;
    if (TW <= 0 || TH <= 0 || TW > bumpGradientSize || TH > bumpGradientSize) return;
    if (s.bumpGradient.size() != size_t(bumpGradientSize) * bumpGradientSize) return;
    if (s.lightTable.size() != size_t(lightTableSize) * lightTableSize) return;

    // Rotation as 8.8 sine and cosine: 256 stands for 1.0.
    const double theta = angle / 256.0 * kDegreesToRadians;
    const int32_t Sn = static_cast<int32_t>(256 * std::sin(theta));
    const int32_t Cs = static_cast<int32_t>(256 * std::cos(theta));

    const int32_t W = out.width, H = out.height, Z = s.rotoZoom;
    const int32_t halfW = W / 2, halfH = H / 2;
    const int32_t LX = lightX >> 8, LY = lightY >> 8;  // whole pixels
    // Eight texture widths (heights) in 8.8 keep the coordinates positive over a wide range;
    // below zero they mirror (|−x| mod TW), they do not wrap.
    const int32_t BX = offsetX + 2048 * TW;
    const int32_t BY = offsetY + 2048 * TH;

    const PixelFormat& tf = tex.format;
    const PixelFormat& of = out.format;
    const uint8_t texBits = tf.bitsPerPixel, outBits = of.bitsPerPixel;
    const uint32_t alpha = 255u << of.alphaShift;
    const BumpSlope* gradient = s.bumpGradient.data();
    const uint16_t* light = s.lightTable.data();
    uint8_t* dst = out.pixels;
    const size_t outBytesPerPixel = outBits / 8;

    // Most of the time is spent here: one texture, slope and light read per pixel.
    for (int32_t i = 0; i < H; ++i) {
        const int32_t v = (i - halfH) * Z;  // 1/256 texel from the centre
        for (int32_t j = 0; j < W; ++j, dst += outBytesPerPixel) {
            const int32_t u = (j - halfW) * Z;
            const int32_t tx = std::abs((((u * Cs - v * Sn) >> 8) + BX) >> 8) % TW;
            const int32_t ty = std::abs((((u * Sn + v * Cs) >> 8) + BY) >> 8) % TH;
            const uint32_t t = readPixel(texBits, pixelAddress(tex, tx, ty));

            const BumpSlope g = gradient[tx * bumpGradientSize + ty];
            const int32_t lx = std::clamp(g.gx - j + LX + 256, 0, lightTableSize - 1);
            const int32_t ly = std::clamp(g.gy - i + LY + 256, 0, lightTableSize - 1);
            const uint32_t L = light[lx * lightTableSize + ly];
            const uint32_t P = std::min(255u, (L * L) >> 8);

            // Half the texture plus the light, halved: at most (127 + 254) >> 1 = 190.
            const uint32_t r = std::min(255u, ((channel(t, tf.redMask, tf.redShift) >> 1) + P) >> 1);
            const uint32_t gr = std::min(255u, ((channel(t, tf.greenMask, tf.greenShift) >> 1) + P) >> 1);
            const uint32_t b = std::min(255u, ((channel(t, tf.blueMask, tf.blueShift) >> 1) + P) >> 1);
            writePixel(outBits, dst, r << of.redShift | gr << of.greenShift | b << of.blueShift | alpha);
        }
    }
}
