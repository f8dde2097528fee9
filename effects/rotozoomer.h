#pragma once
// Bump-mapped rotozoomer: the background effect, drawn into the 320×240 effect surface. A
// 128×128 tiling texture is rotated, scrolled and zoomed; each pixel is lit by a spotlight
// whose position is displaced by the bump map's slopes at the same texel.
#include <cstdint>
#include <vector>

#include "gfx/surface.h"

// The slope table is indexed with texture coordinates, so neither bitmap may exceed this.
inline constexpr int32_t kBumpGradientSize = 128;
// The light table covers offsets of −256…255 pixels from the light in each direction.
inline constexpr int32_t kLightTableSize = 512;

// Slopes of the bump map at one texel, differences of red channels: −255…255.
struct BumpSlope {
    int16_t gx;  // horizontal slope (low half of the 32-bit entry)
    int16_t gy;  // vertical slope (high half)
};

struct RotozoomerState {
    // Built once by initRotozoomer.
    Surface                rotoTexture;   // the tiling texture, at most 128×128
    Surface                bumpMap;       // height in the red channel, at most 128×128
    std::vector<BumpSlope> bumpGradient;  // 128×128, entry x·128 + y (column-major)
    std::vector<uint16_t>  lightTable;    // 512×512, entry p·512 + q: 0…255, 255 at (256, 256)

    // Made from lightTable by prepareLightLevels for the fast paths: the light each entry gives
    // a pixel, min(255, (L·L) >> 8), row-major (entry q·512 + p, so that neighbouring pixels of
    // a row read neighbouring bytes), then kLightLevelPadding bytes of 0 that let a kernel read a
    // whole word at any entry.
    std::vector<uint8_t>   lightLevels;
};

inline constexpr size_t kLightLevelPadding = 3;

// Takes over the texture and the bump map (both at most 128×128; the effect frees them when set
// up again) and builds the slope and light tables. Once, at start-up; calling it again replaces
// what the previous call made.
void initRotozoomer(RotozoomerState& rotozoomer, Surface texture, Surface bumpMap);

// Frees the texture, the bump map and the tables; the state is as before initRotozoomer.
void freeRotozoomer(RotozoomerState& rotozoomer);

// Slopes of `bumpMap` (its top-left 128×128 at most) into `table` (128×128 entries, column-
// major): at the borders the missing neighbour is the border pixel itself. Entries outside the
// map stay as they were.
void fillBumpGradient(const Surface& bumpMap, std::vector<BumpSlope>& table);

// The radial falloff 255·(1 − r)², r the distance from (256, 256) in units of 256 entries.
void fillLightTable(std::vector<uint16_t>& table);

// Makes lightLevels from lightTable. initRotozoomer calls it; whoever changes lightTable after
// that calls it again, or the fast paths draw with the old light. Without lightLevels of the
// right size the plain path draws.
void prepareLightLevels(RotozoomerState& state);

// Fills every pixel of `out` with alpha 255. All arguments 8.8: angle in 1/256 degree, zoom in
// 1/256 texel advanced per output pixel (256: one texel per pixel), offsets in 1/256 texel,
// light position in 1/256 pixel of `out`. Draws nothing when the texture is missing or larger
// than 128×128.
void drawRotozoomer(const RotozoomerState& rotozoomer, Surface& out, int32_t angle, int32_t zoom, int32_t offsetX,
                    int32_t offsetY, int32_t lightX, int32_t lightY);
