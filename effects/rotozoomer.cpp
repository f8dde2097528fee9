#include "effects/rotozoomer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "effects/degrees.h"
#include "gfx/pixel32.h"
#include "maths/portable_math.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SKR_ROTO_AVX2 1
#endif

namespace {

// The height is the byte in bits 8–15 of the pixel value, taken directly: the red channel of
// the default format, whatever the surface's own masks say.
int32_t height(const Surface& map, int32_t x, int32_t y) {
    return int32_t((readPixel(map.format.bitsPerPixel, pixelAddress(map, x, y)) >> 8) & 0xFF);
}

uint32_t channel(uint32_t v, uint32_t mask, uint32_t shift) { return (v & mask) >> shift; }

// What one frame of the draw works with: the output size and centre, zoom, rotation (8.8), the
// light in whole pixels and the texture offsets with their eight texture sizes added (8.8).
struct RotoFrame {
    int32_t W, H, halfW, halfH, Z, Sn, Cs, LX, LY, BX, BY;
};

// The fast path's pixels j0 … W − 1 of row i, on default-format words. The texture coordinate
// ((((u·Cs − v·Sn) >> 8) + BX) >> 8) equals (u·Cs − v·Sn + 256·BX) >> 16 (nested floor
// divisions), which grows by Z·Cs per column: one 64-bit addition per pixel. `Mirror` takes the
// absolute value for coordinates that can fall below zero.
template <bool Mirror>
void rotoPixels(uint8_t* row, const RotozoomerState& s, const RotoFrame& f, int32_t i, int32_t j0) {
    const Surface& tex = s.rotoTexture;
    const int32_t wrapX = tex.width - 1, wrapY = tex.height - 1;  // powers of two
    const int64_t v = int64_t(i - f.halfH) * f.Z;
    const int64_t u = int64_t(j0 - f.halfW) * f.Z;
    int64_t A = u * f.Cs - v * f.Sn + 256 * int64_t(f.BX);
    int64_t B = u * f.Sn + v * f.Cs + 256 * int64_t(f.BY);
    const int64_t dA = int64_t(f.Z) * f.Cs, dB = int64_t(f.Z) * f.Sn;
    const BumpSlope* gradient = s.bumpGradient.data();
    const uint8_t* levels = s.lightLevels.data();
    const int32_t lightRow = f.LY + 256 - i;     // ly = gy + lightRow
    int32_t lightColumn = f.LX + 256 - j0;       // lx = gx + lightColumn, one less per column
    uint8_t* dst = row + 4 * size_t(j0);
    for (int32_t j = j0; j < f.W; ++j, dst += 4, A += dA, B += dB, --lightColumn) {
        int32_t x = int32_t(A >> 16), y = int32_t(B >> 16);
        if (Mirror) {
            x = std::abs(x);
            y = std::abs(y);
        }
        const int32_t tx = x & wrapX, ty = y & wrapY;
        const uint32_t t = loadWord(tex.pixels + 4 * (size_t(ty) * size_t(tex.width) + size_t(tx)));
        const BumpSlope g = gradient[tx * kBumpGradientSize + ty];
        const int32_t lx = std::clamp(g.gx + lightColumn, 0, kLightTableSize - 1);
        const int32_t ly = std::clamp(g.gy + lightRow, 0, kLightTableSize - 1);
        const uint32_t P = levels[ly * kLightTableSize + lx] * 0x010101u;
        // Per colour byte ((t >> 1) + P) >> 1 as (a & b) + ((a ^ b) >> 1): at most
        // (127 + 255) >> 1 = 191, so no byte carries into the next and the plain path's limit of
        // 255 never applies.
        const uint32_t half = (t >> 1) & 0x007F7F7Fu;
        storeWord(dst, ((half & P) + (((half ^ P) & 0x00FEFEFEu) >> 1)) | 0xFF000000u);
    }
}

// Where the lane kernels start row i, at column 0. Without mirroring only bits 16 … 22 of the
// coordinate sums count (the texture is at most 128 wide), so they run modulo 2^32 in 32-bit
// lanes: A and B, and their steps per column dA and dB. texShift is log2 of the texture width.
struct LaneRow {
    uint32_t A, B, dA, dB;
    int32_t  texShift;
};

LaneRow laneRow(const Surface& tex, const RotoFrame& f, int32_t i) {
    int32_t texShift = 0;
    while ((1 << texShift) < tex.width) ++texShift;
    const int64_t v = int64_t(i - f.halfH) * f.Z;
    const int64_t u = int64_t(-f.halfW) * f.Z;
    return LaneRow{uint32_t(u * f.Cs - v * f.Sn + 256 * int64_t(f.BX)), uint32_t(u * f.Sn + v * f.Cs + 256 * int64_t(f.BY)),
                   uint32_t(f.Z) * uint32_t(f.Cs), uint32_t(f.Z) * uint32_t(f.Sn), texShift};
}

#if defined(__SSE2__)
// Four 32-bit words from byte offsets of a table, one per lane.
inline __m128i gatherWords(const uint8_t* table, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const __m128i ab = _mm_unpacklo_epi32(_mm_cvtsi32_si128(int32_t(loadWord(table + a))),
                                          _mm_cvtsi32_si128(int32_t(loadWord(table + b))));
    const __m128i cd = _mm_unpacklo_epi32(_mm_cvtsi32_si128(int32_t(loadWord(table + c))),
                                          _mm_cvtsi32_si128(int32_t(loadWord(table + d))));
    return _mm_unpacklo_epi64(ab, cd);
}

// Four bytes of a table, widened to 32-bit lanes.
inline __m128i gatherBytes(const uint8_t* table, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return _mm_set_epi32(table[d], table[c], table[b], table[a]);
}

// Four pixels at a time of a row whose coordinates are all non-negative, from column 0; returns
// the first column left for rotoPixels. The three table reads stay scalar (SSE2 has no gather);
// everything between them is done in lanes.
int32_t rotoFours(uint8_t* row, const RotozoomerState& s, const RotoFrame& f, int32_t i) {
    const Surface& tex = s.rotoTexture;
    const auto [A, B, dA, dB, texShift] = laneRow(tex, f, i);
    __m128i a = _mm_set_epi32(int32_t(A + 3 * dA), int32_t(A + 2 * dA), int32_t(A + dA), int32_t(A));
    __m128i b = _mm_set_epi32(int32_t(B + 3 * dB), int32_t(B + 2 * dB), int32_t(B + dB), int32_t(B));
    const __m128i stepA = _mm_set1_epi32(int32_t(4 * dA)), stepB = _mm_set1_epi32(int32_t(4 * dB));
    const __m128i wrapX = _mm_set1_epi32(tex.width - 1), wrapY = _mm_set1_epi32(tex.height - 1);
    const __m128i texShiftCount = _mm_cvtsi32_si128(texShift);
    const int32_t c = f.LX + 256;
    __m128i lightColumn = _mm_set_epi32(c - 3, c - 2, c - 1, c);
    const __m128i four = _mm_set1_epi32(4);
    const __m128i lightRow = _mm_set1_epi32(f.LY + 256 - i);
    const __m128i zero = _mm_setzero_si128();
    const __m128i lightMax = _mm_set1_epi16(kLightTableSize - 1);
    const __m128i lightOffsetWeights = _mm_set1_epi32((1 << 16) | kLightTableSize);  // ly·512 + lx
    const __m128i halfMask = _mm_set1_epi32(0x007F7F7F);
    const __m128i lowBits = _mm_set1_epi8(1);
    const __m128i alpha = _mm_set1_epi32(int32_t(0xFF000000u));
    const uint8_t* texels = tex.pixels;
    const uint8_t* slopes = reinterpret_cast<const uint8_t*>(s.bumpGradient.data());
    const uint8_t* levels = s.lightLevels.data();

    int32_t j = 0;
    for (; j + 4 <= f.W; j += 4) {
        const __m128i tx = _mm_and_si128(_mm_srli_epi32(a, 16), wrapX);
        const __m128i ty = _mm_and_si128(_mm_srli_epi32(b, 16), wrapY);
        // Byte offsets of the texel (ty·TW + tx) · 4 and the slope (tx·128 + ty) · 4: both below
        // 2^16, so the low 16 bits of each lane are the whole offset.
        const __m128i texelAt = _mm_slli_epi32(_mm_or_si128(_mm_sll_epi32(ty, texShiftCount), tx), 2);
        const __m128i slopeAt = _mm_slli_epi32(_mm_or_si128(_mm_slli_epi32(tx, 7), ty), 2);
        const __m128i t = gatherWords(texels, uint32_t(_mm_extract_epi16(texelAt, 0)), uint32_t(_mm_extract_epi16(texelAt, 2)),
                                      uint32_t(_mm_extract_epi16(texelAt, 4)), uint32_t(_mm_extract_epi16(texelAt, 6)));
        const __m128i g = gatherWords(slopes, uint32_t(_mm_extract_epi16(slopeAt, 0)), uint32_t(_mm_extract_epi16(slopeAt, 2)),
                                      uint32_t(_mm_extract_epi16(slopeAt, 4)), uint32_t(_mm_extract_epi16(slopeAt, 6)));
        // lx = gx + lightColumn, ly = gy + lightRow; saturating to 16 bits before the clamp to
        // 0 … 511 gives the same clamp. The light level's offset is ly · 512 + lx.
        const __m128i lx = _mm_add_epi32(_mm_srai_epi32(_mm_slli_epi32(g, 16), 16), lightColumn);
        const __m128i ly = _mm_add_epi32(_mm_srai_epi32(g, 16), lightRow);
        __m128i l = _mm_packs_epi32(ly, lx);
        l = _mm_min_epi16(_mm_max_epi16(l, zero), lightMax);
        const __m128i lightAt = _mm_madd_epi16(_mm_unpacklo_epi16(l, _mm_unpackhi_epi64(l, l)), lightOffsetWeights);
        const __m128i P = gatherBytes(levels, uint32_t(_mm_cvtsi128_si32(lightAt)),
                                      uint32_t(_mm_cvtsi128_si32(_mm_shuffle_epi32(lightAt, 1))),
                                      uint32_t(_mm_cvtsi128_si32(_mm_shuffle_epi32(lightAt, 2))),
                                      uint32_t(_mm_cvtsi128_si32(_mm_shuffle_epi32(lightAt, 3))));
        const __m128i P3 = _mm_or_si128(P, _mm_or_si128(_mm_slli_epi32(P, 8), _mm_slli_epi32(P, 16)));
        // floor((h + P) / 2) per byte: the rounded-up average less the lost low bit.
        const __m128i half = _mm_and_si128(_mm_srli_epi32(t, 1), halfMask);
        const __m128i mean = _mm_sub_epi8(_mm_avg_epu8(half, P3), _mm_and_si128(_mm_xor_si128(half, P3), lowBits));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 4 * size_t(j)), _mm_or_si128(mean, alpha));
        a = _mm_add_epi32(a, stepA);
        b = _mm_add_epi32(b, stepB);
        lightColumn = _mm_sub_epi32(lightColumn, four);
    }
    return j;
}
#endif

#if defined(SKR_ROTO_AVX2)
// Eight pixels at a time with AVX2, where the processor has it (compiled for it alone, chosen at
// run time), from column 0: the same lanes as rotoFours, twice as wide, and the three table reads
// are gathers.
// The light level is gathered as the word starting at its byte (the padding keeps the last one
// inside the table), whose low byte one shuffle spreads over the three colours.
__attribute__((target("avx2"))) int32_t rotoEights(uint8_t* row, const RotozoomerState& s, const RotoFrame& f,
                                                   int32_t i) {
    const Surface& tex = s.rotoTexture;
    const auto [A, B, dA, dB, texShift] = laneRow(tex, f, i);
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256i a = _mm256_add_epi32(_mm256_set1_epi32(int32_t(A)), _mm256_mullo_epi32(lane, _mm256_set1_epi32(int32_t(dA))));
    __m256i b = _mm256_add_epi32(_mm256_set1_epi32(int32_t(B)), _mm256_mullo_epi32(lane, _mm256_set1_epi32(int32_t(dB))));
    const __m256i stepA = _mm256_set1_epi32(int32_t(8 * dA)), stepB = _mm256_set1_epi32(int32_t(8 * dB));
    const __m256i wrapX = _mm256_set1_epi32(tex.width - 1), wrapY = _mm256_set1_epi32(tex.height - 1);
    const __m128i texShiftCount = _mm_cvtsi32_si128(texShift);
    __m256i lightColumn = _mm256_sub_epi32(_mm256_set1_epi32(f.LX + 256), lane);
    const __m256i eight = _mm256_set1_epi32(8);
    const __m256i lightRow = _mm256_set1_epi32(f.LY + 256 - i);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lightMax = _mm256_set1_epi32(kLightTableSize - 1);
    const __m256i spread = _mm256_setr_epi8(0, 0, 0, -128, 4, 4, 4, -128, 8, 8, 8, -128, 12, 12, 12, -128,  //
                                            0, 0, 0, -128, 4, 4, 4, -128, 8, 8, 8, -128, 12, 12, 12, -128);
    const __m256i halfMask = _mm256_set1_epi32(0x007F7F7F);
    const __m256i lowBits = _mm256_set1_epi8(1);
    const __m256i alpha = _mm256_set1_epi32(int32_t(0xFF000000u));
    const int* texels = reinterpret_cast<const int*>(tex.pixels);
    const int* slopes = reinterpret_cast<const int*>(s.bumpGradient.data());
    const int* levels = reinterpret_cast<const int*>(s.lightLevels.data());

    int32_t j = 0;
    for (; j + 8 <= f.W; j += 8) {
        const __m256i tx = _mm256_and_si256(_mm256_srli_epi32(a, 16), wrapX);
        const __m256i ty = _mm256_and_si256(_mm256_srli_epi32(b, 16), wrapY);
        const __m256i t = _mm256_i32gather_epi32(texels, _mm256_or_si256(_mm256_sll_epi32(ty, texShiftCount), tx), 4);
        const __m256i g = _mm256_i32gather_epi32(slopes, _mm256_or_si256(_mm256_slli_epi32(tx, 7), ty), 4);
        __m256i lx = _mm256_add_epi32(_mm256_srai_epi32(_mm256_slli_epi32(g, 16), 16), lightColumn);
        __m256i ly = _mm256_add_epi32(_mm256_srai_epi32(g, 16), lightRow);
        lx = _mm256_min_epi32(_mm256_max_epi32(lx, zero), lightMax);
        ly = _mm256_min_epi32(_mm256_max_epi32(ly, zero), lightMax);
        const __m256i entry = _mm256_or_si256(_mm256_slli_epi32(ly, 9), lx);
        const __m256i P3 = _mm256_shuffle_epi8(_mm256_i32gather_epi32(levels, entry, 1), spread);
        const __m256i half = _mm256_and_si256(_mm256_srli_epi32(t, 1), halfMask);
        const __m256i mean = _mm256_sub_epi8(_mm256_avg_epu8(half, P3), _mm256_and_si256(_mm256_xor_si256(half, P3), lowBits));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + 4 * size_t(j)), _mm256_or_si256(mean, alpha));
        a = _mm256_add_epi32(a, stepA);
        b = _mm256_add_epi32(b, stepB);
        lightColumn = _mm256_sub_epi32(lightColumn, eight);
    }
    return j;
}
#endif

// The draw for a texture and an output of kDefaultPixelFormat. False (nothing drawn) where the
// plain path must serve: a texture size that is not a power of two, or a zoom or offsets so large
// that the plain path's 32-bit coordinates would overflow.
bool drawRotozoomerFast(const RotozoomerState& s, Surface& out, const RotoFrame& f) {
    const int32_t TW = s.rotoTexture.width, TH = s.rotoTexture.height;
    if ((TW & (TW - 1)) != 0 || (TH & (TH - 1)) != 0) return false;
    if (s.lightLevels.size() != size_t(kLightTableSize) * kLightTableSize + kLightLevelPadding) return false;
    // The largest |u·Cs − v·Sn| of the frame; below 2^30, with offsets below 2^30, nothing of
    // the plain path's arithmetic leaves 32 bits.
    const int64_t Z = std::abs(int64_t(f.Z));
    const int64_t maxU = std::max<int64_t>(f.halfW, int64_t(f.W) - 1 - f.halfW) * Z;
    const int64_t maxV = std::max<int64_t>(f.halfH, int64_t(f.H) - 1 - f.halfH) * Z;
    const int64_t maxA = (maxU + maxV) * 256;
    constexpr int64_t kLimit = int64_t(1) << 30;
    if (maxA >= kLimit || std::abs(int64_t(f.BX)) >= kLimit || std::abs(int64_t(f.BY)) >= kLimit) return false;
    // Offsets this far above zero keep every coordinate of the frame non-negative.
    const bool mirror = 256 * int64_t(f.BX) < maxA || 256 * int64_t(f.BY) < maxA;
    for (int32_t i = 0; i < f.H; ++i) {
        uint8_t* row = out.pixels + size_t(i) * size_t(f.W) * 4;
        if (mirror) {
            rotoPixels<true>(row, s, f, i, 0);
            continue;
        }
        int32_t j = 0;
#if defined(SKR_ROTO_AVX2)
        if (drawPaths().wide) j = rotoEights(row, s, f, i);
#endif
#if defined(__SSE2__)
        if (j == 0) j = rotoFours(row, s, f, i);  // without AVX2, or a row narrower than eight
#endif
        rotoPixels<false>(row, s, f, i, j);
    }
    return true;
}

}  // namespace

void fillBumpGradient(const Surface& map, std::vector<BumpSlope>& table) {
    const int32_t W = std::min(map.width, kBumpGradientSize);
    const int32_t H = std::min(map.height, kBumpGradientSize);
    for (int32_t y = 0; y < H; ++y) {
        for (int32_t x = 0; x < W; ++x) {
            const int32_t gx = height(map, std::min(x + 1, W - 1), y) - height(map, std::max(x - 1, 0), y);
            const int32_t gy = height(map, x, std::min(y + 1, H - 1)) - height(map, x, std::max(y - 1, 0));
            table[size_t(x) * kBumpGradientSize + size_t(y)] = {int16_t(gx), int16_t(gy)};
        }
    }
}

void fillLightTable(std::vector<uint16_t>& table) {
    for (int32_t p = 0; p < kLightTableSize; ++p) {
        for (int32_t q = 0; q < kLightTableSize; ++q) {
            const float dx = static_cast<float>((p - 256) / 256.0);
            const float dy = static_cast<float>((q - 256) / 256.0);
            const double r = std::sqrt(double(dx) * double(dx) + double(dy) * double(dy));
            float f = static_cast<float>(1 - r);
            if (f < 0) f = 0;
            table[size_t(p) * kLightTableSize + size_t(q)] = uint16_t(255 * (double(f) * double(f)));
        }
    }
}

void prepareLightLevels(RotozoomerState& s) {
    s.lightLevels.clear();
    if (s.lightTable.size() != size_t(kLightTableSize) * kLightTableSize) return;  // nothing to draw with
    s.lightLevels.assign(size_t(kLightTableSize) * kLightTableSize + kLightLevelPadding, 0);
    for (int32_t q = 0; q < kLightTableSize; ++q) {
        for (int32_t p = 0; p < kLightTableSize; ++p) {
            const uint32_t L = s.lightTable[size_t(p) * kLightTableSize + size_t(q)];
            s.lightLevels[size_t(q) * kLightTableSize + size_t(p)] = uint8_t(std::min(255u, (L * L) >> 8));
        }
    }
}

void initRotozoomer(RotozoomerState& s, Surface texture, Surface bumpMap) {
    freeSurface(s.rotoTexture);
    freeSurface(s.bumpMap);
    s.rotoTexture = texture;
    s.bumpMap = bumpMap;
    s.bumpGradient.assign(size_t(kBumpGradientSize) * kBumpGradientSize, BumpSlope{0, 0});
    s.lightTable.assign(size_t(kLightTableSize) * kLightTableSize, 0);
    fillBumpGradient(s.bumpMap, s.bumpGradient);
    fillLightTable(s.lightTable);
    prepareLightLevels(s);
}

void freeRotozoomer(RotozoomerState& s) {
    freeSurface(s.rotoTexture);
    freeSurface(s.bumpMap);
    s = RotozoomerState{};
}

void drawRotozoomer(const RotozoomerState& s, Surface& out, int32_t angle, int32_t zoom, int32_t offsetX,
                    int32_t offsetY, int32_t lightX, int32_t lightY) {
    const Surface& tex = s.rotoTexture;
    const int32_t TW = tex.width, TH = tex.height;
    if (TW <= 0 || TH <= 0 || TW > kBumpGradientSize || TH > kBumpGradientSize) return;
    if (s.bumpGradient.size() != size_t(kBumpGradientSize) * kBumpGradientSize) return;
    if (s.lightTable.size() != size_t(kLightTableSize) * kLightTableSize) return;

    // Rotation as 8.8 sine and cosine: 256 stands for 1.0.
    const double theta = angle / 256.0 * kDegreesToRadians;
    const int32_t Sn = static_cast<int32_t>(256 * portableSin(theta));
    const int32_t Cs = static_cast<int32_t>(256 * portableCos(theta));

    const int32_t W = out.width, H = out.height, Z = zoom;
    const int32_t halfW = W / 2, halfH = H / 2;
    const int32_t LX = lightX >> 8, LY = lightY >> 8;  // whole pixels
    // Eight texture widths (heights) in 8.8 keep the coordinates positive over a wide range;
    // below zero they mirror (|−x| mod TW), they do not wrap.
    const int32_t BX = offsetX + 2048 * TW;
    const int32_t BY = offsetY + 2048 * TH;
    if (fastPathFor(tex, out) && drawRotozoomerFast(s, out, RotoFrame{W, H, halfW, halfH, Z, Sn, Cs, LX, LY, BX, BY}))
        return;

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

            const BumpSlope g = gradient[tx * kBumpGradientSize + ty];
            const int32_t lx = std::clamp(g.gx - j + LX + 256, 0, kLightTableSize - 1);
            const int32_t ly = std::clamp(g.gy - i + LY + 256, 0, kLightTableSize - 1);
            const uint32_t L = light[lx * kLightTableSize + ly];
            const uint32_t P = std::min(255u, (L * L) >> 8);

            // Half the texture plus the light, halved: at most (127 + 254) >> 1 = 190.
            const uint32_t r = std::min(255u, ((channel(t, tf.redMask, tf.redShift) >> 1) + P) >> 1);
            const uint32_t gr = std::min(255u, ((channel(t, tf.greenMask, tf.greenShift) >> 1) + P) >> 1);
            const uint32_t b = std::min(255u, ((channel(t, tf.blueMask, tf.blueShift) >> 1) + P) >> 1);
            writePixel(outBits, dst, r << of.redShift | gr << of.greenShift | b << of.blueShift | alpha);
        }
    }
}
