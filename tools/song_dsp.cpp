#include "song_dsp.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace dsp {

namespace {

// sin(x) for 0 ≤ x ≤ π/2 by its Taylor series up to x^21 (the next term is below 10^-17): each
// step is one IEEE double operation, with no library call and no fused multiply-add.
double taylorSine(double x) {
    const double x2 = x * x;
    double term = x, sum = x;
    for (int n = 1; n <= 10; ++n) {
        term = -term * x2 / double((2 * n) * (2 * n + 1));
        sum += term;
    }
    return sum;
}

const std::array<int32_t, kSineSize>& sineTable() {
    static const std::array<int32_t, kSineSize> table = [] {
        std::array<int32_t, kSineSize> t{};
        constexpr double kPi = 3.14159265358979323846;
        constexpr int32_t kQuarter = kSineSize / 4;
        for (int32_t i = 0; i <= kQuarter; ++i)
            t[size_t(i)] = int32_t(std::llround(32767.0 * taylorSine(double(i) * (kPi / 2) / kQuarter)));
        for (int32_t i = kQuarter + 1; i < kSineSize / 2; ++i) t[size_t(i)] = t[size_t(kSineSize / 2 - i)];
        for (int32_t i = kSineSize / 2; i < kSineSize; ++i) t[size_t(i)] = -t[size_t(i - kSineSize / 2)];
        return t;
    }();
    return table;
}

}  // namespace

int32_t sineAt(int64_t index) { return sineTable()[size_t(index & kSineMask)]; }

int32_t sine(uint32_t phase) {
    const int32_t i = int32_t(phase >> (32 - kSineBits));
    const int64_t fraction = (phase >> (16 - kSineBits)) & 0xFFFF;  // the next 16 bits
    const int32_t a = sineAt(i), b = sineAt(i + 1);
    return a + int32_t(((b - a) * fraction) >> 16);
}

uint32_t phaseStep(int64_t milliHz, int32_t rate) {
    return uint32_t((uint64_t(milliHz) << 32) / (uint64_t(rate) * 1000));
}

int64_t decayFactor(int64_t halfLifeFrames) {
    constexpr int64_t kLn2Q30 = 744261118;  // ln 2 · 2^30
    return kOne30 - kLn2Q30 / std::max<int64_t>(halfLifeFrames, 1);
}

int32_t Noise::next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return std::clamp(int32_t(state) >> 16, -32767, 32767);
}

Svf::Svf(int64_t cutoffHz, int32_t rate, int64_t dampQ16) : damp(dampQ16) {
    // 2 sin(π fc / (2 rate)): the phase is fc / (4 rate) of a turn; Q15 × 2 × 2 gives Q16.
    f = int64_t(sine(uint32_t((uint64_t(cutoffHz) << 32) / (uint64_t(rate) * 4)))) * 4;
}

Svf::Out Svf::process(int32_t x) {
    const int64_t in = int64_t(x) * 256;
    int64_t high = 0;
    for (int pass = 0; pass < 2; ++pass) {
        low += (f * band) >> 16;
        high = in - low - ((damp * band) >> 16);
        band += (f * high) >> 16;
    }
    return {int32_t(low >> 8), int32_t(band >> 8), int32_t(high >> 8)};
}

int32_t softClip(int32_t q15) {
    const int64_t t = std::clamp(q15, -32768, 32768);
    return int32_t((3 * t) / 2 - (t * t * t >> 30) / 2);
}

std::vector<int16_t> normalise(const std::vector<int64_t>& frames, int64_t peak) {
    int64_t largest = 1;
    for (int64_t v : frames) largest = std::max(largest, std::abs(v));
    std::vector<int16_t> out;
    out.reserve(frames.size());
    for (int64_t v : frames) {
        const int64_t scaled = (std::abs(v) * peak * 2 + largest) / (2 * largest);
        out.push_back(int16_t(v < 0 ? -scaled : scaled));
    }
    return out;
}

std::vector<uint8_t> deltaCode16(const std::vector<int16_t>& frames) {
    std::vector<uint8_t> out;
    out.reserve(frames.size() * 2);
    int16_t previous = 0;
    for (int16_t v : frames) {
        const uint16_t delta = uint16_t(v - previous);
        out.push_back(uint8_t(delta));
        out.push_back(uint8_t(delta >> 8));
        previous = v;
    }
    return out;
}

std::vector<uint8_t> deltaCode8(const std::vector<int16_t>& frames) {
    std::vector<uint8_t> out;
    out.reserve(frames.size());
    int8_t previous = 0;
    for (int16_t v : frames) {
        const int8_t byte = int8_t(std::clamp((int32_t(v) + 128) >> 8, -128, 127));
        out.push_back(uint8_t(byte - previous));
        previous = byte;
    }
    return out;
}

}  // namespace dsp
