#include "effects/logo_wobble.h"

#include <cmath>
#include <cstring>

#include "effects/degrees.h"
#include "gfx/pixel32.h"
#include "maths/portable_math.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SKR_WOBBLE_AVX2 1
#endif

namespace {

// 10·sin or 10·cos of an angle in degrees, shifted to 0…20 and truncated.
int32_t waveSin(double degrees) { return static_cast<int32_t>(10 * portableSin(degrees * kDegreesToRadians) + 10); }
int32_t waveCos(double degrees) { return static_cast<int32_t>(10 * portableCos(degrees * kDegreesToRadians) + 10); }

// Largest canvas the fast path keeps its per-column and per-row waves for on the stack.
constexpr int32_t kFastMaxSide = 1024;

#if defined(SKR_WOBBLE_AVX2)
// Eight targets of a row at a time with AVX2 (chosen at run time): one masked gather of their
// sources, then one store. Gathering all eight before storing any is as safe as the row order:
// every source lies at or right of its own target, so none of them is a target already written.
// Returns the first column left over.
__attribute__((target("avx2"))) int32_t wobbleRowWide(uint8_t* row, const int32_t* reach, const int32_t* drop,
                                                      const int32_t* offset, int32_t W, int32_t o, int32_t rowsLeft) {
    const __m256i columnsLeft = _mm256_set1_epi32(W - o), rows = _mm256_set1_epi32(rowsLeft);
    const __m256i shift = _mm256_set1_epi32(o), zero = _mm256_setzero_si256();
    const int* pixels = reinterpret_cast<const int*>(row);
    int32_t i = 0;
    for (; i + 8 <= W; i += 8) {
        const __m256i r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(reach + i));
        const __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(drop + i));
        const __m256i at = _mm256_add_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(offset + i)), shift);
        // reach + o < W and m < rowsLeft; lanes outside read nothing and give 0.
        const __m256i inside = _mm256_and_si256(_mm256_cmpgt_epi32(columnsLeft, r), _mm256_cmpgt_epi32(rows, m));
        const __m256i v = _mm256_mask_i32gather_epi32(zero, pixels, at, inside, 4);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + 4 * size_t(i)), v);
    }
    return i;
}
#endif

// The fast path for 32-bit pixels, copied as whole words. It visits the targets row by row,
// which is just as safe in place as the plain path's column order: a source lies below its
// target (a later row) or in the same row at or right of it (a later or the same column), so
// every read still meets an unwritten pixel. The waves are the plain path's expressions, the
// per-row cosine computed once per row instead of once per pixel.
void wobbleFast(Surface& logo, float pA, float pB, float pC) {
    const int32_t W = logo.width, H = logo.height;
    int32_t reach[kFastMaxSide];   // i + l: the source column before the row's o
    int32_t drop[kFastMaxSide];    // m: rows down to the source
    int32_t offset[kFastMaxSide];  // (m · W + i + l) pixels from the row's start to the source
    for (int32_t i = 0; i < W; ++i) {
        reach[i] = i + waveSin(i + static_cast<double>(pA));
        drop[i] = waveSin(i + static_cast<double>(pB));
        offset[i] = drop[i] * W + reach[i];
    }
    for (int32_t j = 0; j < H; ++j) {
        const int32_t o = waveCos(j + static_cast<double>(pC));
        uint8_t* row = logo.pixels + size_t(j) * size_t(W) * 4;
        const int32_t rowsLeft = H - j;  // m must stay below this
        int32_t i = 0;
#if defined(SKR_WOBBLE_AVX2)
        if (drawPaths().wide) i = wobbleRowWide(row, reach, drop, offset, W, o, rowsLeft);
#endif
        for (; i < W; ++i) {
            const bool inside = reach[i] + o < W && drop[i] < rowsLeft;
            storeWord(row + 4 * size_t(i), inside ? loadWord(row + 4 * (size_t(offset[i]) + size_t(o))) : 0);
        }
    }
}

}  // namespace

void drawLogoWobble(LogoWobbleState& w, Surface& logo, float frameStep) {
    w.wobbleTime += static_cast<int32_t>(static_cast<double>(frameStep) * 256);

    // The three phases in degrees, each rounded to single precision: the waves travel at 240,
    // 150 and 100 degrees per second, one degree per pixel.
    const double seconds = w.wobbleTime / 256.0;
    const float pA = static_cast<float>(seconds * 240);
    const float pB = static_cast<float>(seconds * 150);
    const float pC = static_cast<float>(seconds * 100);

    // In place: every source lies right of or below its target, and targets are visited column
    // by column from the left, each column from the top, so every read meets a pixel this call
    // has not overwritten yet. Visiting from the right or from the bottom would not.
    const int32_t W = logo.width, H = logo.height;
    if (drawPaths().fast && logo.format.bitsPerPixel == 32 && W <= kFastMaxSide && H <= kFastMaxSide) {
        wobbleFast(logo, pA, pB, pC);
        return;
    }
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
