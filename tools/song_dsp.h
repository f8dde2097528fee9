#pragma once
// Sound synthesis primitives for the song generator. Everything that decides a sample value is
// integer or fixed-point arithmetic, so the generated module is the same byte for byte on every
// machine; the one floating-point step (building the sine table) uses only the basic IEEE
// operations and is rounded once per entry.
#include <cstdint>
#include <vector>

namespace dsp {

// The sine table: 8192 entries per turn, Q15 (±32767). Additive oscillators address it directly
// with an integer index (8192 per turn), so harmonics of loop-length-periodic oscillators land
// exactly on entries.
constexpr int     kSineBits = 13;
constexpr int32_t kSineSize = 1 << kSineBits;
constexpr int32_t kSineMask = kSineSize - 1;

// Entry `index` mod 8192, Q15.
int32_t sineAt(int64_t index);

// sin(2π · phase / 2^32), Q15, interpolated between table entries.
int32_t sine(uint32_t phase);

// Phase step per frame for `milliHz` at `rate` frames per second (2^32 per turn).
uint32_t phaseStep(int64_t milliHz, int32_t rate);

// Q30 per-frame factor of an exponential decay that halves every `halfLifeFrames` frames
// (first-order: 1 − ln 2 / h, close enough for h of ten frames and more).
int64_t decayFactor(int64_t halfLifeFrames);

constexpr int64_t kOne30 = int64_t(1) << 30;  // 1.0 in Q30

// An exponential decay in Q30, starting at 1.
struct Decay {
    int64_t value = kOne30;  // Q30
    int64_t factor;          // Q30 per frame

    explicit Decay(int64_t halfLifeFrames) : factor(decayFactor(halfLifeFrames)) {}
    int64_t next() {  // the value, then one frame on
        const int64_t v = value;
        value = value * factor >> 30;
        return v;
    }
};

// White noise from a 32-bit xorshift: ±32767, the same sequence for the same seed.
struct Noise {
    uint32_t state;
    explicit Noise(uint32_t seed) : state(seed ? seed : 1) {}
    int32_t next();
};

// State-variable filter (two poles), run twice per input frame so that cut-offs up to a third of
// the frame rate stay stable. Coefficients in Q16; the state keeps 8 extra fraction bits.
struct Svf {
    int64_t low = 0, band = 0;  // sample units × 256
    int64_t f;                  // Q16: 2 sin(π fc / (2 rate))
    int64_t damp;               // Q16: 1 / Q

    Svf(int64_t cutoffHz, int32_t rate, int64_t dampQ16);
    struct Out {
        int32_t low, band, high;
    };
    Out process(int32_t x);
};

// One-pole low-pass: y += (x − y) · a, a in Q16.
struct OnePole {
    int64_t y = 0;  // sample units × 256
    int64_t a;      // Q16
    int32_t process(int32_t x) {
        y += ((int64_t(x) * 256 - y) * a) >> 16;
        return int32_t(y >> 8);
    }
};

// Gentle saturation of a Q15 value (may exceed ±32767): 1.5t − 0.5t³, flat beyond ±1.
int32_t softClip(int32_t q15);

// Scales `frames` so that its largest magnitude becomes `peak`, rounding half away from zero.
std::vector<int16_t> normalise(const std::vector<int64_t>& frames, int64_t peak);

// The file's delta coding: each value minus the previous one, 16-bit little-endian or 8-bit
// (the high byte of each frame, rounded).
std::vector<uint8_t> deltaCode16(const std::vector<int16_t>& frames);
std::vector<uint8_t> deltaCode8(const std::vector<int16_t>& frames);

}  // namespace dsp
