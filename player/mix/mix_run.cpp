#include "player/mix/mix_run.h"

#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SKR_MIX_AVX2 1
#endif

namespace {

constexpr float kFractionScale = 1.0f / 4294967296.0f;  // 2^-32, exact

}  // namespace

int64_t mixRunPlain(const int16_t* data, int64_t pos, uint64_t delta, float gL, float gR, float* out,
                    int32_t frames) {
    for (int32_t k = 0; k < frames; ++k) {
        const int64_t i = pos >> 32;
        const float s0 = float(data[i]);
        const float sample = s0 + float(uint32_t(pos)) * kFractionScale * float(int32_t(data[i + 1]) - data[i]);
        out[2 * k] += sample * gL;
        out[2 * k + 1] += sample * gR;
        pos = int64_t(uint64_t(pos) + delta);
    }
    return pos;
}

int64_t mixRampRunPlain(const int16_t* data, int64_t pos, uint64_t delta, float& gL, float& gR, float stepLeft,
                        float stepRight, float* out, int32_t frames) {
    for (int32_t k = 0; k < frames; ++k) {
        const int64_t i = pos >> 32;
        const float s0 = float(data[i]);
        const float sample = s0 + float(uint32_t(pos)) * kFractionScale * float(int32_t(data[i + 1]) - data[i]);
        out[2 * k] += sample * gL;
        out[2 * k + 1] += sample * gR;
        gL += stepLeft;
        gR += stepRight;
        pos = int64_t(uint64_t(pos) + delta);
    }
    return pos;
}

namespace {

// Four frames per pass while at least four are left; returns how many frames it mixed. The
// integer parts index the sample in scalar registers; the fractions, the low 32 bits of the
// positions, advance in lanes modulo 2^32 just as they do inside the 64-bit sums. A fraction u
// becomes float(u >> 16) · 65536 + float(u & 0xFFFF): both terms are exact, so the one rounding
// of the sum is that of float(u). A ramp's gains are summed frame by frame, in the plain loop's
// order.
#if defined(__SSE2__)
// The frames at four positions, s0 in the low and s1 in the high half of each lane: the two
// frames read as one word, straight into a register (a round trip through memory would stall
// store forwarding). The position steps on, and in a loop wraps, after each.
template <bool Loop>
inline __m128i nextFourPairs(const int16_t* data, int64_t& pos, uint64_t delta, int64_t loopEnd, int64_t loopLength) {
    __m128i pair[4];
    for (int32_t m = 0; m < 4; ++m) {
        int32_t word;
        std::memcpy(&word, data + (pos >> 32), 4);
        pair[m] = _mm_cvtsi32_si128(word);
        pos = int64_t(uint64_t(pos) + delta);
        if (Loop && pos >= loopEnd) pos -= loopLength;
    }
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(pair[0], pair[1]), _mm_unpacklo_epi32(pair[2], pair[3]));
}
#endif

template <bool Ramp, bool Loop>
int32_t mixFours(const int16_t* data, int64_t& position, uint64_t delta, float& gL, float& gR, float stepLeft,
                 float stepRight, float* out, int32_t frames, int64_t loopEnd = 0, int64_t loopLength = 0) {
    int32_t k = 0;
    int64_t pos = position;  // in a register: the output's stores could otherwise be taken to touch it
#if defined(__SSE2__)
    const uint32_t d = uint32_t(delta);
    __m128i fraction = _mm_set_epi32(int32_t(uint32_t(pos) + 3 * d), int32_t(uint32_t(pos) + 2 * d),
                                     int32_t(uint32_t(pos) + d), int32_t(uint32_t(pos)));
    const __m128i fractionStep = _mm_set1_epi32(int32_t(4 * d));
    const __m128i lowHalf = _mm_set1_epi32(0xFFFF);
    const __m128 twoTo16 = _mm_set1_ps(65536.0f), scale = _mm_set1_ps(kFractionScale);
    __m128 gainsLo = _mm_setr_ps(gL, gR, gL, gR), gainsHi = gainsLo;
    __m128 ramp = _mm_setr_ps(gL, gR, 0.0f, 0.0f);
    const __m128 rampStep = _mm_setr_ps(stepLeft, stepRight, 0.0f, 0.0f);
    for (; k + 4 <= frames; k += 4) {
        const __m128i pairs = nextFourPairs<Loop>(data, pos, delta, loopEnd, loopLength);
        if (Ramp) {
            // Lanes 0 and 1 hold the left and right gain; each frame adds the steps, lane by lane
            // the plain loop's single-precision sums.
            const __m128 next1 = _mm_add_ps(ramp, rampStep), next2 = _mm_add_ps(next1, rampStep);
            const __m128 next3 = _mm_add_ps(next2, rampStep);
            gainsLo = _mm_movelh_ps(ramp, next1);
            gainsHi = _mm_movelh_ps(next2, next3);
            ramp = _mm_add_ps(next3, rampStep);
        }
        const __m128i s0 = _mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16);
        const __m128i s1 = _mm_srai_epi32(pairs, 16);
        const __m128 u = _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(_mm_srli_epi32(fraction, 16)), twoTo16),
                                    _mm_cvtepi32_ps(_mm_and_si128(fraction, lowHalf)));
        const __m128 weighed = _mm_mul_ps(_mm_mul_ps(u, scale), _mm_cvtepi32_ps(_mm_sub_epi32(s1, s0)));
        const __m128 sample = _mm_add_ps(_mm_cvtepi32_ps(s0), weighed);
        float* o = out + 2 * k;
        _mm_storeu_ps(o, _mm_add_ps(_mm_loadu_ps(o), _mm_mul_ps(_mm_unpacklo_ps(sample, sample), gainsLo)));
        _mm_storeu_ps(o + 4, _mm_add_ps(_mm_loadu_ps(o + 4), _mm_mul_ps(_mm_unpackhi_ps(sample, sample), gainsHi)));
        fraction = _mm_add_epi32(fraction, fractionStep);
    }
    if (Ramp) {
        gL = _mm_cvtss_f32(ramp);
        gR = _mm_cvtss_f32(_mm_shuffle_ps(ramp, ramp, 1));
    }
#endif
    position = pos;
    return k;
}

#if defined(SKR_MIX_AVX2)
// mixFours eight frames at a time in AVX2 lanes, the same operations lane by lane. The sample
// pairs are read as mixFours reads them (a gather instruction is slower on the processors
// measured).
template <bool Ramp, bool Loop>
__attribute__((target("avx2"))) int32_t mixEights(const int16_t* data, int64_t& position, uint64_t delta, float& gL,
                                                  float& gR, float stepLeft, float stepRight, float* out,
                                                  int32_t frames, int64_t loopEnd = 0, int64_t loopLength = 0) {
    if (frames < 8) return 0;
    int64_t pos = position;
    const uint32_t d = uint32_t(delta);
    const uint32_t f = uint32_t(pos);
    __m256i fraction = _mm256_setr_epi32(int32_t(f), int32_t(f + d), int32_t(f + 2 * d), int32_t(f + 3 * d),
                                         int32_t(f + 4 * d), int32_t(f + 5 * d), int32_t(f + 6 * d), int32_t(f + 7 * d));
    const __m256i fractionStep = _mm256_set1_epi32(int32_t(8 * d));
    const __m256i lowHalf = _mm256_set1_epi32(0xFFFF);
    const __m256 twoTo16 = _mm256_set1_ps(65536.0f), scale = _mm256_set1_ps(kFractionScale);
    __m256 gainsLo = _mm256_setr_ps(gL, gR, gL, gR, gL, gR, gL, gR), gainsHi = gainsLo;
    __m128 ramp = _mm_setr_ps(gL, gR, 0.0f, 0.0f);
    const __m128 rampStep = _mm_setr_ps(stepLeft, stepRight, 0.0f, 0.0f);
    int32_t k = 0;
    for (; k + 8 <= frames; k += 8) {
        const __m128i first = nextFourPairs<Loop>(data, pos, delta, loopEnd, loopLength);
        const __m128i second = nextFourPairs<Loop>(data, pos, delta, loopEnd, loopLength);
        const __m256i pairs = _mm256_set_m128i(second, first);
        if (Ramp) {
            const __m128 n1 = _mm_add_ps(ramp, rampStep), n2 = _mm_add_ps(n1, rampStep);
            const __m128 n3 = _mm_add_ps(n2, rampStep), n4 = _mm_add_ps(n3, rampStep);
            const __m128 n5 = _mm_add_ps(n4, rampStep), n6 = _mm_add_ps(n5, rampStep);
            const __m128 n7 = _mm_add_ps(n6, rampStep);
            gainsLo = _mm256_set_m128(_mm_movelh_ps(n2, n3), _mm_movelh_ps(ramp, n1));
            gainsHi = _mm256_set_m128(_mm_movelh_ps(n6, n7), _mm_movelh_ps(n4, n5));
            ramp = _mm_add_ps(n7, rampStep);
        }
        const __m256i s0 = _mm256_srai_epi32(_mm256_slli_epi32(pairs, 16), 16);
        const __m256i s1 = _mm256_srai_epi32(pairs, 16);
        const __m256 u = _mm256_add_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_srli_epi32(fraction, 16)), twoTo16),
                                       _mm256_cvtepi32_ps(_mm256_and_si256(fraction, lowHalf)));
        const __m256 weighed = _mm256_mul_ps(_mm256_mul_ps(u, scale), _mm256_cvtepi32_ps(_mm256_sub_epi32(s1, s0)));
        const __m256 sample = _mm256_add_ps(_mm256_cvtepi32_ps(s0), weighed);
        // Frames 0…3 and 4…7, each value twice (left and right), in order.
        const __m256 a = _mm256_unpacklo_ps(sample, sample), b = _mm256_unpackhi_ps(sample, sample);
        const __m256 lo = _mm256_permute2f128_ps(a, b, 0x20), hi = _mm256_permute2f128_ps(a, b, 0x31);
        float* o = out + 2 * k;
        _mm256_storeu_ps(o, _mm256_add_ps(_mm256_loadu_ps(o), _mm256_mul_ps(lo, gainsLo)));
        _mm256_storeu_ps(o + 8, _mm256_add_ps(_mm256_loadu_ps(o + 8), _mm256_mul_ps(hi, gainsHi)));
        fraction = _mm256_add_epi32(fraction, fractionStep);
    }
    if (Ramp) {
        gL = _mm_cvtss_f32(ramp);
        gR = _mm_cvtss_f32(_mm_shuffle_ps(ramp, ramp, 1));
    }
    position = pos;
    return k;
}
#endif

// The frames the wide form mixes first, where it may.
template <bool Ramp, bool Loop>
int32_t mixWide(bool wide, const int16_t* data, int64_t& pos, uint64_t delta, float& gL, float& gR, float stepLeft,
                float stepRight, float* out, int32_t frames, int64_t loopEnd = 0, int64_t loopLength = 0) {
#if defined(SKR_MIX_AVX2)
    if (wide)
        return mixEights<Ramp, Loop>(data, pos, delta, gL, gR, stepLeft, stepRight, out, frames, loopEnd, loopLength);
#else
    (void)wide, (void)data, (void)pos, (void)delta, (void)gL, (void)gR, (void)stepLeft, (void)stepRight, (void)out,
        (void)frames, (void)loopEnd, (void)loopLength;
#endif
    return 0;
}

}  // namespace

bool wideMixAvailable() {
#if defined(SKR_MIX_AVX2)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

int64_t mixRun(const int16_t* data, int64_t pos, uint64_t delta, float gL, float gR, float* out, int32_t frames,
               bool wide) {
    int32_t k = mixWide<false, false>(wide, data, pos, delta, gL, gR, 0, 0, out, frames);
    k += mixFours<false, false>(data, pos, delta, gL, gR, 0, 0, out + 2 * k, frames - k);
    return mixRunPlain(data, pos, delta, gL, gR, out + 2 * k, frames - k);
}

int64_t mixLoopRunPlain(const int16_t* data, int64_t pos, uint64_t delta, float gL, float gR, float* out,
                        int32_t frames, int64_t loopEnd, int64_t loopLength) {
    for (int32_t k = 0; k < frames; ++k) {
        pos = mixRunPlain(data, pos, delta, gL, gR, out + 2 * k, 1);
        if (pos >= loopEnd) pos -= loopLength;
    }
    return pos;
}

int64_t mixLoopRun(const int16_t* data, int64_t pos, uint64_t delta, float gL, float gR, float* out, int32_t frames,
                   int64_t loopEnd, int64_t loopLength, bool wide) {
    int32_t k = mixWide<false, true>(wide, data, pos, delta, gL, gR, 0, 0, out, frames, loopEnd, loopLength);
    k += mixFours<false, true>(data, pos, delta, gL, gR, 0, 0, out + 2 * k, frames - k, loopEnd, loopLength);
    return mixLoopRunPlain(data, pos, delta, gL, gR, out + 2 * k, frames - k, loopEnd, loopLength);
}

int64_t skipLoopRun(int64_t pos, uint64_t delta, int32_t frames, int64_t loopEnd, int64_t loopLength) {
    const __int128 end = __int128(pos) + __int128(frames) * __int128(delta);
    if (end < loopEnd) return int64_t(end);
    // Wrapped at least once: the one position of the loop that differs from `end` by whole loops.
    const __int128 loopStart = loopEnd - loopLength;
    return int64_t(loopStart + (end - loopStart) % loopLength);
}

namespace {

// Frame j of a sample read around the frame i the position is on (see SampleEdge).
int32_t frameAround(const int16_t* data, const SampleEdge& edge, int64_t i, int64_t j) {
    if (j < 0) return data[0];
    if (j >= edge.loopEnd && i < edge.loopEnd) j = edge.pingPong ? 2 * edge.loopEnd - 1 - j : j - edge.loopLength;
    return data[j];
}

template <Interpolation I>
float interpolate(const int16_t* data, const SampleEdge& edge, int64_t pos) {
    const int64_t i = pos >> 32;
    if constexpr (I == Interpolation::none) {
        return float(data[i]);
    } else if constexpr (I == Interpolation::linear) {
        return float(data[i]) + float(uint32_t(pos)) * kFractionScale * float(int32_t(data[i + 1]) - data[i]);
    } else {
        const float t = float(uint32_t(pos)) * kFractionScale;
        const float a = float(frameAround(data, edge, i, i - 1)), b = float(data[i]);
        const float c = float(frameAround(data, edge, i, i + 1)), d = float(frameAround(data, edge, i, i + 2));
        return b + 0.5f * t * (c - a + t * (2.0f * a - 5.0f * b + 4.0f * c - d + t * (3.0f * (b - c) + d - a)));
    }
}

// The arguments of one mixAnyRun, passed down to the loop of its interpolation.
struct AnyRun {
    const int16_t*    data;
    const SampleEdge& edge;
    uint64_t          delta;
    float             stepLeft, stepRight;
    float*            out;
    int32_t           frames;
    int64_t           wrapEnd, wrapLength;
};

template <Interpolation I, bool Peak>
int64_t mixAny(const AnyRun& r, int64_t pos, float& gL, float& gR, float* peak) {
    float loudest = Peak ? *peak : 0.0f;
    for (int32_t k = 0; k < r.frames; ++k) {
        const float sample = interpolate<I>(r.data, r.edge, pos);
        const float left = sample * gL, right = sample * gR;
        r.out[2 * k] += left;
        r.out[2 * k + 1] += right;
        if (Peak) loudest = std::fmax(loudest, std::fmax(std::fabs(left), std::fabs(right)));
        gL += r.stepLeft;
        gR += r.stepRight;
        pos = int64_t(uint64_t(pos) + r.delta);
        if (pos >= r.wrapEnd) pos -= r.wrapLength;
    }
    if (Peak) *peak = loudest;
    return pos;
}

template <Interpolation I>
int64_t mixAnyPeak(const AnyRun& r, int64_t pos, float& gL, float& gR, float* peak) {
    return peak ? mixAny<I, true>(r, pos, gL, gR, peak) : mixAny<I, false>(r, pos, gL, gR, peak);
}

}  // namespace

int64_t mixAnyRun(Interpolation interpolation, const int16_t* data, const SampleEdge& edge, int64_t pos,
                  uint64_t delta, float& gL, float& gR, float stepLeft, float stepRight, float* out, int32_t frames,
                  int64_t wrapEnd, int64_t wrapLength, float* peak) {
    const AnyRun r{data, edge, delta, stepLeft, stepRight, out, frames, wrapEnd, wrapLength};
    switch (interpolation) {
    case Interpolation::none: return mixAnyPeak<Interpolation::none>(r, pos, gL, gR, peak);
    case Interpolation::linear: return mixAnyPeak<Interpolation::linear>(r, pos, gL, gR, peak);
    case Interpolation::cubic: break;
    }
    return mixAnyPeak<Interpolation::cubic>(r, pos, gL, gR, peak);
}

int64_t mixRampRun(const int16_t* data, int64_t pos, uint64_t delta, float& gL, float& gR, float stepLeft,
                   float stepRight, float* out, int32_t frames, bool wide) {
    int32_t k = mixWide<true, false>(wide, data, pos, delta, gL, gR, stepLeft, stepRight, out, frames);
    k += mixFours<true, false>(data, pos, delta, gL, gR, stepLeft, stepRight, out + 2 * k, frames - k);
    return mixRampRunPlain(data, pos, delta, gL, gR, stepLeft, stepRight, out + 2 * k, frames - k);
}

void pcm16RunPlain(int16_t* destination, const float* source, int32_t frames) {
    for (int32_t i = 0; i < 2 * frames; ++i) {
        const float x = std::nearbyint(source[i]);  // ties to even in the default rounding mode
        int16_t v;
        if (x >= 32767.0f) v = 32767;
        else if (x <= -32768.0f) v = -32768;
        else if (x == x) v = int16_t(x);
        else v = 0;  // NaN cannot come from finite samples and gains; silence rather than noise
        destination[i] = v;
    }
}

#if defined(SKR_MIX_AVX2)
namespace {

// pcm16Run's SSE2 loop sixteen values at a time; the pack works within 128-bit halves, so the
// four 64-bit quarters are put back in order after it.
__attribute__((target("avx2"))) int32_t pcm16Sixteens(int16_t* destination, const float* source, int32_t values) {
    const __m256 top = _mm256_set1_ps(32767.0f);
    int32_t i = 0;
    for (; i + 16 <= values; i += 16) {
        __m256 a = _mm256_loadu_ps(source + i), b = _mm256_loadu_ps(source + i + 8);
        a = _mm256_min_ps(_mm256_and_ps(a, _mm256_cmp_ps(a, a, _CMP_ORD_Q)), top);
        b = _mm256_min_ps(_mm256_and_ps(b, _mm256_cmp_ps(b, b, _CMP_ORD_Q)), top);
        const __m256i packed = _mm256_packs_epi32(_mm256_cvtps_epi32(a), _mm256_cvtps_epi32(b));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + i), _mm256_permute4x64_epi64(packed, 0xD8));
    }
    return i;
}

}  // namespace
#endif

void pcm16Run(int16_t* destination, const float* source, int32_t frames, bool wide) {
    int32_t i = 0;
#if defined(SKR_MIX_AVX2)
    if (wide) i = pcm16Sixteens(destination, source, 2 * frames);
#else
    (void)wide;
#endif
#if defined(__SSE2__)
    // NaN is zeroed (min and max would pass it on) and values are held within −32768…32767,
    // the plain path's clipping. Adding 1.5 · 2^23 then rounds each to an integer in the current
    // mode, as nearbyint does: the sum lies in [2^23, 2^24), where a float's last place is 1, and
    // its low mantissa bits are the integer plus 2^22. No conversion instruction: built for
    // WebAssembly, SSE2's conversions become a call of the C library per value.
    const __m128 top = _mm_set1_ps(32767.0f), bottom = _mm_set1_ps(-32768.0f), magic = _mm_set1_ps(12582912.0f);
    const __m128i magicBits = _mm_set1_epi32(0x4B400000);  // 12582912.0f
    auto rounded = [&](__m128 v) {
        v = _mm_min_ps(_mm_max_ps(_mm_and_ps(v, _mm_cmpord_ps(v, v)), bottom), top);
        return _mm_sub_epi32(_mm_castps_si128(_mm_add_ps(v, magic)), magicBits);
    };
    for (; i + 8 <= 2 * frames; i += 8) {
        const __m128i a = rounded(_mm_loadu_ps(source + i)), b = rounded(_mm_loadu_ps(source + i + 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), _mm_packs_epi32(a, b));
    }
#endif
    pcm16RunPlain(destination + i, source + i, frames - i / 2);
}
