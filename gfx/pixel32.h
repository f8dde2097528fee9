#pragma once
// Rows of pixels of kDefaultPixelFormat, for the fast paths. Such a pixel is four bytes in memory,
// blue, green, red, alpha; loaded as one little-endian 32-bit word it is
// blue | green << 8 | red << 16 | alpha << 24, so every channel is one byte of the word, and the
// operations below work byte by byte exactly as blendPixel works channel by channel. Each gives
// the bits of the plain per-pixel path it stands for.
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

inline uint32_t loadWord(const uint8_t* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

inline void storeWord(uint8_t* p, uint32_t w) { std::memcpy(p, &w, 4); }

// blendPixel in the default format on words: colours ((s·a) >> 8) + ((d·(255 − a)) >> 8), the
// source's alpha a kept.
inline uint32_t blendWord(uint32_t d, uint32_t s) {
    const uint32_t a = s >> 24;
    uint32_t r = a << 24;
    for (uint32_t shift = 0; shift < 24; shift += 8) {
        const uint32_t sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
        r |= (((sc * a) >> 8) + ((dc * (255 - a)) >> 8)) << shift;
    }
    return r;
}

// The source word with its alpha a replaced by (a · scale) >> 8, colours untouched: the fade of
// blitFaded and of the logo reflection.
inline uint32_t scaleAlphaWord(uint32_t s, uint32_t scale) {
    return (s & 0x00FFFFFFu) | ((((s >> 24) * scale) >> 8) << 24);
}

#if defined(__SSE2__)
// Four blends at once in 16-bit lanes: s·a ≤ 255·255 fits, and each colour result is at most 254.
// `a16` holds each pixel's alpha in all four lanes of that pixel.
inline __m128i blendHalf(__m128i d16, __m128i s16, __m128i a16) {
    const __m128i inverse = _mm_sub_epi16(_mm_set1_epi16(255), a16);
    return _mm_add_epi16(_mm_srli_epi16(_mm_mullo_epi16(s16, a16), 8),
                         _mm_srli_epi16(_mm_mullo_epi16(d16, inverse), 8));
}

inline __m128i broadcastAlpha(__m128i s16) {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(s16, 0xFF), 0xFF);
}

// Blends four source pixels over four destination pixels; with `scale` below 256 the source
// alpha is first scaled to (a · scale) >> 8.
inline __m128i blendFour(__m128i d, __m128i s, __m128i scale16, bool scaled) {
    const __m128i zero = _mm_setzero_si128();
    // Four transparent sources (common: most of the logo canvas) leave each colour c as
    // (c · 255) >> 8 = c − 1 (0 stays 0) with alpha 0; four opaque unscaled ones give the source's
    // colours the same way, with alpha 255.
    const __m128i alphaByte = _mm_set1_epi32(int32_t(0xFF000000u));
    const __m128i one = _mm_set1_epi32(0x00010101);
    const int alphaZero = _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(s, alphaByte), zero));
    if (alphaZero == 0xFFFF) return _mm_andnot_si128(alphaByte, _mm_subs_epu8(d, one));
    if (!scaled && _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(s, alphaByte), alphaByte)) == 0xFFFF)
        return _mm_or_si128(alphaByte, _mm_subs_epu8(s, one));
    const __m128i sLo = _mm_unpacklo_epi8(s, zero), sHi = _mm_unpackhi_epi8(s, zero);
    __m128i aLo = broadcastAlpha(sLo), aHi = broadcastAlpha(sHi);
    if (scaled) {
        aLo = _mm_srli_epi16(_mm_mullo_epi16(aLo, scale16), 8);
        aHi = _mm_srli_epi16(_mm_mullo_epi16(aHi, scale16), 8);
    }
    const __m128i lo = blendHalf(_mm_unpacklo_epi8(d, zero), sLo, aLo);
    const __m128i hi = blendHalf(_mm_unpackhi_epi8(d, zero), sHi, aHi);
    const __m128i colours = _mm_andnot_si128(alphaByte, _mm_packus_epi16(lo, hi));
    return _mm_or_si128(colours, _mm_and_si128(alphaByte, _mm_packus_epi16(aLo, aHi)));
}
#endif

// dst[k] = blend(dst[k], src[k]) for n pixels; with `scale` (0…255, or 256 for none) the source
// alpha is scaled first. The rows may not overlap.
inline void blendRow(uint8_t* dst, const uint8_t* src, int32_t n, uint32_t scale = 256) {
    int32_t k = 0;
#if defined(__SSE2__)
    const __m128i scale16 = _mm_set1_epi16(int16_t(scale));
    const bool scaled = scale < 256;
    for (; k + 4 <= n; k += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * k));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + 4 * k));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * k), blendFour(d, s, scale16, scaled));
    }
#endif
    for (; k < n; ++k) {
        const uint32_t s = loadWord(src + 4 * k);
        storeWord(dst + 4 * k, blendWord(loadWord(dst + 4 * k), scale < 256 ? scaleAlphaWord(s, scale) : s));
    }
}
