#include "maths/portable_math.h"

#include <cmath>
#include <cstring>

namespace {

// π/2 in three parts: the first two have 33 significant bits, so n × part is exact for
// n < 2^20, and x − n × kPiOver2First is exact as well (the two lie within a factor of 2).
constexpr double kPiOver2First = 0x1.921fb544p+0;
constexpr double kPiOver2Second = 0x1.0b4611a6p-34;
constexpr double kPiOver2Third = 0x1.3198a2e037073p-69;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
constexpr double kPiOver4 = 0x1.921fb54442d18p-1;
constexpr double kReduceLimit = 0x1p20 * 0x1.921fb54442d18p+0;  // 2^20 · π/2
constexpr double kTwoPi = 0x1.921fb54442d18p+2;
constexpr double kLn2 = 0x1.62e42fefa39efp-1;

// Taylor series on |r| ≤ π/4, z = r²: the first term left out is below 10^-19 of the result.
double sinKernel(double r) {
    if (r == 0) return r;  // keeps the sign of −0
    const double z = r * r;
    const double p = -1.0 / 6 +
        z * (1.0 / 120 + z * (-1.0 / 5040 + z * (1.0 / 362880 + z * (-1.0 / 39916800 +
        z * (1.0 / 6227020800 + z * (-1.0 / 1307674368000 + z * (1.0 / 355687428096000)))))));
    return r + r * z * p;  // the small part added last keeps the error near half a unit
}

double cosKernel(double r) {
    const double z = r * r;
    const double q = 1.0 / 24 +
        z * (-1.0 / 720 + z * (1.0 / 40320 + z * (-1.0 / 3628800 + z * (1.0 / 479001600 +
        z * (-1.0 / 87178291200 + z * (1.0 / 20922789888000 + z * (-1.0 / 6402373705728000)))))));
    // 1 − z/2 rounded, plus exactly what that rounding lost, plus the rest of the series.
    const double half = 0.5 * z;
    const double w = 1.0 - half;
    return w + (((1.0 - w) - half) + z * z * q);
}

// x − n·π/2 with |result| ≤ about π/4; n modulo 4 in `quadrant`.
double reduce(double x, int32_t& quadrant) {
    if (std::fabs(x) <= kPiOver4) {
        quadrant = 0;
        return x;
    }
    if (std::fabs(x) > kReduceLimit) x = std::fmod(x, kTwoPi);
    const double n = std::floor(x * kTwoOverPi + 0.5);
    quadrant = int32_t(int64_t(n) & 3);
    return ((x - n * kPiOver2First) - n * kPiOver2Second) - n * kPiOver2Third;
}

uint64_t mix(uint64_t h, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int i = 0; i < 8; ++i) h = (h ^ ((bits >> (8 * i)) & 0xFF)) * 1099511628211ull;
    return h;
}

}  // namespace

double portableSin(double x) {
    if (!std::isfinite(x)) return x - x;
    int32_t quadrant = 0;
    const double r = reduce(x, quadrant);
    switch (quadrant) {
    case 0: return sinKernel(r);
    case 1: return cosKernel(r);
    case 2: return -sinKernel(r);
    default: return -cosKernel(r);
    }
}

double portableCos(double x) {
    if (!std::isfinite(x)) return x - x;
    int32_t quadrant = 0;
    const double r = reduce(x, quadrant);
    switch (quadrant) {
    case 0: return cosKernel(r);
    case 1: return -sinKernel(r);
    case 2: return -cosKernel(r);
    default: return sinKernel(r);
    }
}

double portableExp2(double y) {
    if (std::isnan(y)) return y;
    if (y >= 1024) return double(INFINITY);
    if (y < -1100) return 0;
    // y = k + f with f in [−1/2, 1/2], both exact; 2^f = e^t with t = f·ln 2, |t| ≤ 0.35, by its
    // Taylor series (the first term left out is below 10^-19).
    double k = std::floor(y);
    double f = y - k;
    if (f > 0.5) {
        f -= 1;
        k += 1;
    }
    const double t = f * kLn2;
    const double p = 1 + t * (1.0 / 2 + t * (1.0 / 6 + t * (1.0 / 24 + t * (1.0 / 120 + t * (1.0 / 720 +
        t * (1.0 / 5040 + t * (1.0 / 40320 + t * (1.0 / 362880 + t * (1.0 / 3628800 + t * (1.0 / 39916800 +
        t * (1.0 / 479001600 + t * (1.0 / 6227020800 + t * (1.0 / 87178291200)))))))))))));
    return std::ldexp(1 + t * p, int(k));
}

uint64_t portableMathDigest() {
    uint64_t h = 1469598103934665603ull;
    const double degreesToRadians = double(0.017453292f);
    // Degrees turned to radians, as the effects do: every 1/64 degree up to ten turns, then
    // every 23 degrees up to a day of demo time at the fastest wave (86400 s · 240 °/s).
    for (int32_t i = 0; i < 3600 * 64; ++i) {
        const double r = i / 64.0 * degreesToRadians;
        h = mix(mix(h, portableSin(r)), portableCos(r));
    }
    for (double d = 3600; d < 86400.0 * 240; d += 23) {
        const double r = d * degreesToRadians;
        h = mix(mix(h, portableSin(r)), portableCos(r));
    }
    // Single-precision demo times, as the frame driver and the chain pass them.
    for (uint32_t bits = 0x3A800000; bits < 0x47800000; bits += 4099) {
        float t;
        std::memcpy(&t, &bits, sizeof t);
        h = mix(mix(h, portableSin(double(t) * 60 * degreesToRadians)), portableCos(double(t) * 100 * degreesToRadians));
    }
    // The player's pitches: 2^((4608 − period) / 768) over every period, and the note table.
    for (int32_t period = -70000; period <= 70000; ++period) h = mix(h, portableExp2((4608.0 - period) / 768.0));
    for (int32_t note = -200; note < 400; ++note) h = mix(h, portableExp2((132 - note) / 12.0));
    return h;
}
