#include "effects/logo_wobble.h"

#include <cmath>

namespace {

// Degrees to radians, the single-precision constant 0.017453292f.
constexpr double kDegreesToRadians = double(0.017453292f);

// 10·sin or 10·cos of an angle in degrees, shifted to 0…20 and truncated.
int32_t waveSin(double degrees) { return static_cast<int32_t>(10 * std::sin(degrees * kDegreesToRadians) + 10); }
int32_t waveCos(double degrees) { return static_cast<int32_t>(10 * std::cos(degrees * kDegreesToRadians) + 10); }

}  // namespace

LogoWobbleState& logoWobble() {
    static LogoWobbleState state{};
    return state;
}

void drawLogoWobble(Surface& logo, float frameStep) {
    LogoWobbleState& w = logoWobble();
    w.wobbleTime += static_cast<int32_t>(static_cast<double>(frameStep) * 256);

    // The three phases in degrees, each rounded to single precision: the waves travel at 240,
    // 150 and 100 degrees per second, one degree per pixel.
    const double seconds = w.wobbleTime / 256.0;
    const float pA = static_cast<float>(seconds * 240);
    const float pB = static_cast<float>(seconds * 150);
    const float pC = static_cast<float>(seconds * 100);

    // In place: every source lies right of or below its target, and targets are visited column
    // by column from the left, each column from the top, so every read meets a pixel this call
    // has not overwritten yet. Do not change the visiting order.
    const int32_t W = logo.width, H = logo.height;
    const uint8_t bits = logo.format.bitsPerPixel;
    for (int32_t i = 0; i < W; ++i) {
        const int32_t l = waveSin(i + static_cast<double>(pA));
        const int32_t m = waveSin(i + static_cast<double>(pB));
        for (int32_t j = 0; j < H; ++j) {
            const int32_t o = waveCos(j + static_cast<double>(pC));
            const int32_t sx = i + l + o, sy = j + m;
            const uint32_t v = (sx < W && sy < H) ? readPixel(bits, pixelAddress(logo, sx, sy)) : 0;
            writePixel(bits, pixelAddress(logo, i, j), v);
        }
    }
}
