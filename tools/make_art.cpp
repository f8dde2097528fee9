// make-art: generates the demo's six bitmap resources.
//
// Every pixel is decided with integer arithmetic and a fixed-seed PRNG, so the output is the same
// byte for byte on every machine and every run; the build can regenerate and compare it.
//
// The four sprite-like pictures (logo, chain link, font, spiked ball) are 4-bit with palette
// entry 0 = magenta as the colour key: such pixels are background and never drawn, so nothing
// may be antialiased against the background and no other entry may be magenta. The two 8-bit
// maps (texture, bump map) are drawn without a key and tile seamlessly.

#include "bmp_writer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr Rgb kMagenta{255, 0, 255};

// ---------------------------------------------------------------------------------------------
// Deterministic maths
// ---------------------------------------------------------------------------------------------

// SplitMix64: tiny, well mixed, and defined purely by 64-bit wrap-around arithmetic.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}

    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Integer in [lo, hi]. The modulo bias is far below anything visible.
    int range(int lo, int hi) { return lo + int(next() % uint64_t(hi - lo + 1)); }

private:
    uint64_t state_;
};

// Stateless lattice hash: noise can then be sampled in any order and wrapped for tiling.
uint32_t hash3(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

// floor(sqrt(v)), exact for every 64-bit input.
uint32_t isqrt(uint64_t v) {
    uint64_t result = 0;
    uint64_t bit = uint64_t(1) << 62;
    while (bit > v) bit >>= 2;
    while (bit != 0) {
        if (v >= result + bit) {
            v -= result + bit;
            result = (result >> 1) + bit;
        } else {
            result >>= 1;
        }
        bit >>= 2;
    }
    return uint32_t(result);
}

int clampInt(int v, int lo, int hi) { return std::min(std::max(v, lo), hi); }

// Maps a value into [0, period) even when it is negative.
int wrap(int v, int period) { return ((v % period) + period) % period; }

// Cosine and sine of k × 7.5° scaled by 4096, from a quarter-wave table so that directions
// never depend on the platform's libm.
struct Direction {
    int c, s;
};

Direction direction48(int k) {
    static constexpr std::array<int, 13> kQuarter = {4096, 4061, 3956, 3784, 3547, 3250, 2896,
                                                     2493, 2048, 1567, 1060, 535,  0};
    k = wrap(k, 48);
    const int quadrant = k / 12;
    const int i = k % 12;
    const int c = kQuarter[size_t(i)];
    const int s = kQuarter[size_t(12 - i)];
    switch (quadrant) {
        case 0: return {c, s};
        case 1: return {-s, c};
        case 2: return {-c, -s};
        default: return {s, -c};
    }
}

// Smooth, tileable value noise in [0, 255]. `cell` is the lattice spacing in pixels and must
// divide `period`; lattice coordinates wrap at period / cell so opposite edges match.
int valueNoise(int x, int y, int cell, int period, uint32_t seed) {
    const int cells = period / cell;
    const int gx = x / cell, gy = y / cell;
    // Smoothstep weight in 1/256 units avoids visible lattice creases.
    auto smooth = [](int t) { return t * t * (768 - 2 * t) / 65536; };
    const int fx = smooth((x % cell) * 256 / cell);
    const int fy = smooth((y % cell) * 256 / cell);
    auto lattice = [&](int ix, int iy) {
        return int(hash3(uint32_t(wrap(ix, cells)), uint32_t(wrap(iy, cells)), seed) & 0xFF);
    };
    const int top = lattice(gx, gy) * (256 - fx) + lattice(gx + 1, gy) * fx;
    const int bottom = lattice(gx, gy + 1) * (256 - fx) + lattice(gx + 1, gy + 1) * fx;
    return (top * (256 - fy) + bottom * fy) / 65536;
}

// ---------------------------------------------------------------------------------------------
// Palettes
// ---------------------------------------------------------------------------------------------

struct ColourStop {
    int at;  // position along the ramp, 0..1000
    Rgb colour;
};

// Samples `count` evenly spaced colours along a piecewise-linear ramp.
std::vector<Rgb> ramp(const std::vector<ColourStop>& stops, int count) {
    std::vector<Rgb> out;
    for (int i = 0; i < count; ++i) {
        const int pos = count > 1 ? i * 1000 / (count - 1) : 0;
        size_t seg = 0;
        while (seg + 2 < stops.size() && pos > stops[seg + 1].at) ++seg;
        const ColourStop& a = stops[seg];
        const ColourStop& b = stops[seg + 1];
        const int span = std::max(1, b.at - a.at);
        const int t = clampInt(pos - a.at, 0, span);
        auto mix = [&](int ca, int cb) { return uint8_t((ca * (span - t) + cb * t + span / 2) / span); };
        out.push_back({mix(a.colour.r, b.colour.r), mix(a.colour.g, b.colour.g),
                       mix(a.colour.b, b.colour.b)});
    }
    return out;
}

// Colour-keyed sprite palette: 0 = magenta key, 1 = outline, 2..15 = 14-step shading ramp.
constexpr int kSpriteShades = 14;
constexpr uint8_t kOutline = 1;
constexpr uint8_t kFirstShade = 2;

std::vector<Rgb> spritePalette(Rgb outline, const std::vector<ColourStop>& stops) {
    std::vector<Rgb> palette = {kMagenta, outline};
    for (const Rgb& c : ramp(stops, kSpriteShades)) palette.push_back(c);
    return palette;
}

uint8_t shadeIndex(int level) { return uint8_t(kFirstShade + clampInt(level, 0, kSpriteShades - 1)); }

// ---------------------------------------------------------------------------------------------
// Pixel grids
// ---------------------------------------------------------------------------------------------

struct Picture {
    std::string file;
    int width = 0, height = 0, bitsPerPixel = 0;
    std::vector<Rgb> palette;
    std::vector<uint8_t> indices;

    Picture(std::string name, int w, int h, int bpp, std::vector<Rgb> pal)
        : file(std::move(name)), width(w), height(h), bitsPerPixel(bpp), palette(std::move(pal)),
          indices(size_t(w) * size_t(h), 0) {}

    uint8_t& at(int x, int y) { return indices[size_t(y) * size_t(width) + size_t(x)]; }
};

// A set of pixels; reads outside the grid are "off", so neighbour tests need no bounds checks.
struct Mask {
    int width, height;
    std::vector<uint8_t> on;

    Mask(int w, int h) : width(w), height(h), on(size_t(w) * size_t(h), 0) {}

    bool get(int x, int y) const {
        return x >= 0 && y >= 0 && x < width && y < height && on[size_t(y) * size_t(width) + size_t(x)];
    }
    void set(int x, int y) {
        if (x >= 0 && y >= 0 && x < width && y < height) on[size_t(y) * size_t(width) + size_t(x)] = 1;
    }
    void fill(int x0, int y0, int w, int h) {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x) set(x, y);
    }
};

// Pixels off the mask that touch it, diagonals included: a closed one-pixel outline.
Mask ringAround(const Mask& m) {
    Mask ring(m.width, m.height);
    for (int y = 0; y < m.height; ++y)
        for (int x = 0; x < m.width; ++x) {
            if (m.get(x, y)) continue;
            bool touches = false;
            for (int dy = -1; dy <= 1 && !touches; ++dy)
                for (int dx = -1; dx <= 1; ++dx) touches = touches || m.get(x + dx, y + dy);
            if (touches) ring.set(x, y);
        }
    return ring;
}

// Rounds off the staircase of an upscaled pixel design: a pixel is kept when at least
// `threshold` of the (2r+1)² window around it is set. Just under half keeps diagonal strokes
// joined while convex corners round off and concave ones fill in.
Mask smoothed(const Mask& m, int r, int threshold) {
    Mask out(m.width, m.height);
    for (int y = 0; y < m.height; ++y)
        for (int x = 0; x < m.width; ++x) {
            int count = 0;
            for (int dy = -r; dy <= r; ++dy)
                for (int dx = -r; dx <= r; ++dx) count += m.get(x + dx, y + dy) ? 1 : 0;
            if (count >= threshold) out.set(x, y);
        }
    return out;
}

// How far (up to `reach`) one can walk from (x, y) in direction (dx, dy) and stay on the mask.
int runLength(const Mask& m, int x, int y, int dx, int dy, int reach) {
    int n = 0;
    while (n < reach && m.get(x + dx * (n + 1), y + dy * (n + 1))) ++n;
    return n;
}

// Light-from-top-left bevel term for a mask pixel: positive just inside the top and left
// edges, negative just inside the bottom and right edges, zero in the interior.
int bevel(const Mask& m, int x, int y, int width, int strength) {
    const int up = runLength(m, x, y, 0, -1, width);
    const int left = runLength(m, x, y, -1, 0, width);
    const int down = runLength(m, x, y, 0, 1, width);
    const int right = runLength(m, x, y, 1, 0, width);
    int b = 0;
    if (up < width) b += (width - up) * strength;
    if (left < width) b += (width - left) * strength / 2;
    if (down < width) b -= (width - down) * strength;
    if (right < width) b -= (width - right) * strength / 2;
    return b;
}

// Writes the outline and the key colour; `shade` fills the pixels of the mask itself.
template <typename ShadeFn>
void paintSprite(Picture& pic, const Mask& shape, ShadeFn shade) {
    const Mask ring = ringAround(shape);
    for (int y = 0; y < pic.height; ++y)
        for (int x = 0; x < pic.width; ++x) {
            if (shape.get(x, y))
                pic.at(x, y) = shade(x, y);
            else
                pic.at(x, y) = ring.get(x, y) ? kOutline : 0;
        }
}

// Scales a '#'-drawn design into `mask` at (x0, y0). Columns and rows may have different pixel
// sizes, which lets the logo have stems and bars of equal visual weight.
void stampDesign(Mask& mask, const std::vector<std::string_view>& rows, int x0, int y0,
                 const std::vector<int>& colWidths, const std::vector<int>& rowHeights) {
    int y = y0;
    for (size_t r = 0; r < rows.size(); ++r) {
        int x = x0;
        for (size_t c = 0; c < rows[r].size(); ++c) {
            if (rows[r][c] == '#') mask.fill(x, y, colWidths[c], rowHeights[r]);
            x += colWidths[c];
        }
        y += rowHeights[r];
    }
}

// Sets every pixel whose centre lies within sqrt(radius2) of the segment (x0, y0)-(x1, y1).
// Exact integer test: squared distances are compared multiplied by the squared segment length.
void strokeSegment(Mask& mask, int x0, int y0, int x1, int y1, int radius2) {
    const int64_t vx = x1 - x0, vy = y1 - y0;
    const int64_t vv = std::max<int64_t>(vx * vx + vy * vy, 1);
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x) {
            const int64_t wx = x - x0, wy = y - y0;
            const int64_t t = std::clamp<int64_t>(wx * vx + wy * vy, 0, vv);
            // |w·vv - t·v|² ≤ r²·vv² is the distance test scaled by vv², free of division.
            const int64_t ex = wx * vv - t * vx, ey = wy * vv - t * vy;
            if (ex * ex + ey * ey <= int64_t(radius2) * vv * vv) mask.set(x, y);
        }
}

// ---------------------------------------------------------------------------------------------
// Logo: "SKR4MM3LB0D" in polished gold
// ---------------------------------------------------------------------------------------------

// 7 × 9 designs with two-unit stems, scaled to 21 × 42 pixels (3-pixel columns, rows of 4 or 5
// pixels) so that stems and bars come out about equally heavy.
struct LogoGlyph {
    char ch;
    std::array<std::string_view, 9> rows;
};

constexpr std::array<LogoGlyph, 10> kLogoGlyphs = {{
    {'S', {".#####.", "##...##", "##.....", "##.....", ".#####.", ".....##", ".....##", "##...##", ".#####."}},
    {'K', {"##...##", "##..##.", "##.##..", "####...", "###....", "####...", "##.##..", "##..##.", "##...##"}},
    {'R', {"######.", "##...##", "##...##", "##...##", "######.", "##.##..", "##..##.", "##...##", "##...##"}},
    {'4', {"....##.", "...###.", "..####.", ".##.##.", "##..##.", "#######", "....##.", "....##.", "....##."}},
    {'M', {"##...##", "###.###", "#######", "##.#.##", "##...##", "##...##", "##...##", "##...##", "##...##"}},
    {'3', {".#####.", "##...##", ".....##", ".....##", "..####.", ".....##", ".....##", "##...##", ".#####."}},
    {'L', {"##.....", "##.....", "##.....", "##.....", "##.....", "##.....", "##.....", "##.....", "#######"}},
    {'B', {"######.", "##...##", "##...##", "##...##", "######.", "##...##", "##...##", "##...##", "######."}},
    {'0', {".#####.", "##...##", "##...##", "##...##", "##...##", "##...##", "##...##", "##...##", ".#####."}},
    {'D', {"#####..", "##..##.", "##...##", "##...##", "##...##", "##...##", "##...##", "##..##.", "#####.."}},
}};

const LogoGlyph& logoGlyph(char ch) {
    for (const LogoGlyph& g : kLogoGlyphs)
        if (g.ch == ch) return g;
    throw std::logic_error(std::string("no logo glyph for ") + ch);
}

Mask logoShape(int width, int height) {
    constexpr std::string_view kText = "SKR4MM3LB0D";
    const std::vector<int> colWidths(7, 3);
    const std::vector<int> rowHeights = {5, 5, 4, 5, 4, 5, 4, 5, 5};  // 42 pixels
    constexpr int kGlyphWidth = 21, kGap = 3, kGlyphHeight = 42;
    const int total = int(kText.size()) * kGlyphWidth + int(kText.size() - 1) * kGap;
    const int x0 = (width - total) / 2;
    const int y0 = (height - kGlyphHeight) / 2;

    Mask blocks(width, height);
    for (size_t i = 0; i < kText.size(); ++i) {
        const LogoGlyph& g = logoGlyph(kText[i]);
        const int gx = x0 + int(i) * (kGlyphWidth + kGap);
        stampDesign(blocks, {g.rows.begin(), g.rows.end()}, gx, y0, colWidths, rowHeights);
    }
    Mask shape = smoothed(blocks, 2, 12);
    // The zero gets a diagonal slash from stem to stem so it never reads as the letter O.
    const int zeroX = x0 + int(kText.find('0')) * (kGlyphWidth + kGap);
    strokeSegment(shape, zeroX + 15, y0 + 9, zeroX + 5, y0 + 32, 5);
    return shape;
}

// Polished-metal look as a shade level for row y of letters spanning rows top..bottom: a bright
// sky reflection fading down to a dark horizon just below the middle, then warm ground light
// rising again towards the bottom.
int logoGradient(int y, int top, int bottom) {
    const int horizon = top + (bottom - top) * 11 / 20;
    if (y < horizon) return 12 - (y - top) * 7 / std::max(1, horizon - top);
    return 3 + (y - horizon) * 6 / std::max(1, bottom - horizon);
}

// The shape plus copies of it pushed `depth` pixels down and to the right.
Mask extruded(const Mask& shape, int depth) {
    Mask solid = shape;
    for (int y = 0; y < shape.height; ++y)
        for (int x = 0; x < shape.width; ++x)
            for (int k = 1; k <= depth; ++k)
                if (shape.get(x - k, y - k)) solid.set(x, y);
    return solid;
}

Picture makeLogo() {
    constexpr int W = 272, H = 48;
    Picture pic("102-logo.bmp", W, H, 4,
                spritePalette({28, 8, 16}, {{0, {70, 16, 8}},
                                            {250, {150, 50, 10}},
                                            {550, {235, 140, 30}},
                                            {800, {255, 214, 90}},
                                            {1000, {255, 250, 220}}}));
    const Mask shape = logoShape(W, H);
    int top = H, bottom = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (shape.get(x, y)) top = std::min(top, y), bottom = std::max(bottom, y);

    // A dark extrusion towards the bottom right makes the letters read as solid blocks; the
    // letters keep their own outline so they stay crisp against it. Two pixels of depth plus
    // the outer outline still fit below and right of the lettering.
    const Mask letterRing = ringAround(shape);
    paintSprite(pic, extruded(shape, 2), [&](int x, int y) {
        if (shape.get(x, y)) return shadeIndex(logoGradient(y, top, bottom) + bevel(shape, x, y, 3, 2));
        return letterRing.get(x, y) ? kOutline : shadeIndex(0);
    });
    return pic;
}

// ---------------------------------------------------------------------------------------------
// Font: 47 glyphs in 16 × 24 cells
// ---------------------------------------------------------------------------------------------

constexpr std::string_view kFontOrder = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.,:;!?/()";
constexpr int kCellW = 16, kCellH = 24, kCellsPerRow = 18;
constexpr int kFontUnit = 2;                       // pixels per design unit
constexpr int kGlyphX = 1, kGlyphY = 2;            // design origin inside a cell
constexpr int kCapRows = 9;                        // rows 0..8 sit on the baseline; row 9 descends

// 6 × 10 designs: capitals occupy rows 0..8, row 9 is for descenders. Each design unit becomes
// 2 × 2 pixels and stems are then emboldened by one pixel, so a glyph plus its outline spans
// cell columns 0..14 and rows 1..22: the last column and the first and last rows stay empty,
// which keeps neighbouring glyphs apart in the scroller.
using FontGlyph = std::array<std::string_view, 10>;

constexpr std::array<FontGlyph, 47> kFontGlyphs = {{
    // A
    {".####.", "#....#", "#....#", "#....#", "######", "#....#", "#....#", "#....#", "#....#", "......"},
    // B
    {"#####.", "#....#", "#....#", "#....#", "#####.", "#....#", "#....#", "#....#", "#####.", "......"},
    // C
    {".####.", "#....#", "#.....", "#.....", "#.....", "#.....", "#.....", "#....#", ".####.", "......"},
    // D
    {"####..", "#...#.", "#....#", "#....#", "#....#", "#....#", "#....#", "#...#.", "####..", "......"},
    // E
    {"######", "#.....", "#.....", "#.....", "####..", "#.....", "#.....", "#.....", "######", "......"},
    // F
    {"######", "#.....", "#.....", "#.....", "####..", "#.....", "#.....", "#.....", "#.....", "......"},
    // G
    {".####.", "#....#", "#.....", "#.....", "#..###", "#....#", "#....#", "#....#", ".####.", "......"},
    // H
    {"#....#", "#....#", "#....#", "#....#", "######", "#....#", "#....#", "#....#", "#....#", "......"},
    // I
    {".####.", "..##..", "..##..", "..##..", "..##..", "..##..", "..##..", "..##..", ".####.", "......"},
    // J
    {"...###", ".....#", ".....#", ".....#", ".....#", ".....#", "#....#", "#....#", ".####.", "......"},
    // K
    {"#....#", "#...##", "#..##.", "#.##..", "###...", "#.##..", "#..##.", "#...##", "#....#", "......"},
    // L
    {"#.....", "#.....", "#.....", "#.....", "#.....", "#.....", "#.....", "#.....", "######", "......"},
    // M
    {"#....#", "##..##", "#.##.#", "#.##.#", "#....#", "#....#", "#....#", "#....#", "#....#", "......"},
    // N
    {"#....#", "#....#", "##...#", "###..#", "#.##.#", "#..###", "#...##", "#....#", "#....#", "......"},
    // O
    {".####.", "#....#", "#....#", "#....#", "#....#", "#....#", "#....#", "#....#", ".####.", "......"},
    // P
    {"#####.", "#....#", "#....#", "#....#", "#####.", "#.....", "#.....", "#.....", "#.....", "......"},
    // Q
    {".####.", "#....#", "#....#", "#....#", "#....#", "#....#", "#..#.#", "#...#.", ".###.#", "......"},
    // R
    {"#####.", "#....#", "#....#", "#....#", "#####.", "#.##..", "#..##.", "#...##", "#....#", "......"},
    // S
    {".####.", "#....#", "#.....", "#.....", ".####.", ".....#", ".....#", "#....#", ".####.", "......"},
    // T
    {"######", "..##..", "..##..", "..##..", "..##..", "..##..", "..##..", "..##..", "..##..", "......"},
    // U
    {"#....#", "#....#", "#....#", "#....#", "#....#", "#....#", "#....#", "#....#", ".####.", "......"},
    // V
    {"#....#", "#....#", "#....#", "#....#", "#....#", "##..##", ".#..#.", ".####.", "..##..", "......"},
    // W
    {"#....#", "#....#", "#....#", "#....#", "#.##.#", "#.##.#", "#.##.#", "##..##", "#....#", "......"},
    // X
    {"#....#", "#....#", "##..##", ".####.", "..##..", ".####.", "##..##", "#....#", "#....#", "......"},
    // Y
    {"#....#", "#....#", "##..##", ".####.", "..##..", "..##..", "..##..", "..##..", "..##..", "......"},
    // Z
    {"######", ".....#", "....##", "...##.", "..##..", ".##...", "##....", "#.....", "######", "......"},
    // 0 (slashed so it never reads as O)
    {".####.", "#....#", "#...##", "#..#.#", "#.##.#", "#.#..#", "##...#", "#....#", ".####.", "......"},
    // 1
    {"..##..", ".###..", "..##..", "..##..", "..##..", "..##..", "..##..", "..##..", ".####.", "......"},
    // 2
    {".####.", "#....#", ".....#", ".....#", ".####.", "#.....", "#.....", "#.....", "######", "......"},
    // 3
    {".####.", "#....#", ".....#", ".....#", "..###.", ".....#", ".....#", "#....#", ".####.", "......"},
    // 4
    {"...##.", "..###.", ".##.#.", "##..#.", "#...#.", "######", "....#.", "....#.", "....#.", "......"},
    // 5
    {"######", "#.....", "#.....", "#####.", ".....#", ".....#", ".....#", "#....#", ".####.", "......"},
    // 6
    {".####.", "#....#", "#.....", "#####.", "#....#", "#....#", "#....#", "#....#", ".####.", "......"},
    // 7
    {"######", ".....#", "....##", "...##.", "..##..", "..##..", "..##..", "..##..", "..##..", "......"},
    // 8
    {".####.", "#....#", "#....#", "#....#", ".####.", "#....#", "#....#", "#....#", ".####.", "......"},
    // 9
    {".####.", "#....#", "#....#", "#....#", ".#####", ".....#", ".....#", "#....#", ".####.", "......"},
    // -
    {"......", "......", "......", "......", ".####.", "......", "......", "......", "......", "......"},
    // _
    {"......", "......", "......", "......", "......", "......", "......", "......", "......", "######"},
    // .
    {"......", "......", "......", "......", "......", "......", "......", "..##..", "..##..", "......"},
    // ,
    {"......", "......", "......", "......", "......", "......", "......", "..##..", "..##..", ".##..."},
    // :
    {"......", "......", "..##..", "..##..", "......", "......", "......", "..##..", "..##..", "......"},
    // ;
    {"......", "......", "..##..", "..##..", "......", "......", "......", "..##..", "..##..", ".##..."},
    // !
    {"..##..", "..##..", "..##..", "..##..", "..##..", "..##..", "......", "..##..", "..##..", "......"},
    // ?
    {".####.", "#....#", ".....#", "....##", "...##.", "..##..", "......", "..##..", "..##..", "......"},
    // /
    {".....#", "....##", "....#.", "...##.", "..##..", ".##...", ".#....", "##....", "#.....", "......"},
    // (
    {"...##.", "..##..", ".##...", ".##...", ".##...", ".##...", ".##...", "..##..", "...##.", "......"},
    // )
    {".##...", "..##..", "...##.", "...##.", "...##.", "...##.", "...##.", "..##..", ".##...", "......"},
}};

constexpr bool fontDesignsWellFormed() {
    for (const FontGlyph& g : kFontGlyphs)
        for (std::string_view row : g)
            if (row.size() != 6) return false;
    return kFontGlyphs.size() == kFontOrder.size();
}
static_assert(fontDesignsWellFormed(), "one 6-wide design per character of kFontOrder");

constexpr bool logoDesignsWellFormed() {
    for (const LogoGlyph& g : kLogoGlyphs)
        for (std::string_view row : g.rows)
            if (row.size() != 7) return false;
    return true;
}
static_assert(logoDesignsWellFormed(), "logo designs are 7 units wide");

Mask fontShape() {
    Mask mask(kCellW * kCellsPerRow, kCellH * 3);
    const std::vector<int> unitW(6, kFontUnit), unitH(10, kFontUnit);
    for (size_t i = 0; i < kFontGlyphs.size(); ++i) {
        const int cellX = int(i % kCellsPerRow) * kCellW;
        const int cellY = int(i / kCellsPerRow) * kCellH;
        const FontGlyph& g = kFontGlyphs[i];
        stampDesign(mask, {g.begin(), g.end()}, cellX + kGlyphX, cellY + kGlyphY, unitW, unitH);
    }
    // Smearing one pixel to the right turns 2-pixel stems into bolder 3-pixel ones while
    // horizontal bars stay 2 pixels, which keeps counters open at this size.
    Mask bold = mask;
    for (int y = 0; y < mask.height; ++y)
        for (int x = 1; x < mask.width; ++x)
            if (mask.get(x - 1, y)) bold.set(x, y);
    return bold;
}

Picture makeFont() {
    Picture pic("115-font.bmp", kCellW * kCellsPerRow, kCellH * 3, 4,
                spritePalette({8, 12, 40}, {{0, {14, 30, 90}},
                                            {300, {30, 90, 190}},
                                            {600, {70, 180, 240}},
                                            {850, {170, 235, 255}},
                                            {1000, {255, 255, 255}}}));
    const Mask shape = fontShape();
    constexpr int kCapPixels = kCapRows * kFontUnit;
    paintSprite(pic, shape, [&](int x, int y) {
        // Top-to-bottom fade measured from the cap line, identical in every cell.
        const int t = clampInt(y % kCellH - kGlyphY, 0, kCapPixels + kFontUnit - 1);
        const int level = 12 - t * 9 / kCapPixels;
        return shadeIndex(level + bevel(shape, x, y, 1, 2));
    });
    return pic;
}

// ---------------------------------------------------------------------------------------------
// Sphere shading shared by the chain link and the spiked ball
// ---------------------------------------------------------------------------------------------

// Light from the top left and slightly in front, |L| ≈ 256.
constexpr int kLightX = -115, kLightY = -141, kLightZ = 179;

// Lambert plus a small hard glint, as a shade level in [0, kSpriteShades - 1]. The normal
// (nx, ny, nz) may have any length `len` > 0. The darkest shade is reserved for the rim facing
// away from the light, the brightest for the glint.
int litLevel(int64_t nx, int64_t ny, int64_t nz, int64_t len) {
    const int64_t diffuse = (nx * kLightX + ny * kLightY + nz * kLightZ) / len;  // -256..256
    constexpr int64_t kGlint = 244, kShadow = -170;
    if (diffuse >= kGlint) return kSpriteShades - 1;
    // Squaring the lit fraction keeps the mid-tones of metal dark, so the glint stands out.
    constexpr int64_t kRange = kGlint - kShadow;
    const int64_t t = std::max<int64_t>(diffuse - kShadow, 0);
    return int(std::min<int64_t>(t * t * (kSpriteShades - 1) / (kRange * kRange), kSpriteShades - 2));
}

// Shade level at offset (x2, y2) from a sphere centre, in half-pixel units, for a sphere of
// squared radius r2 (also in half-pixel units).
int sphereLevel(int x2, int y2, int r2) {
    const int z2 = int(isqrt(uint64_t(std::max(0, r2 - x2 * x2 - y2 * y2))));
    return litLevel(x2, y2, z2, isqrt(uint64_t(r2)));
}

std::vector<Rgb> steelPalette() {
    return spritePalette({10, 10, 20}, {{0, {24, 26, 40}},
                                        {400, {72, 80, 106}},
                                        {750, {140, 152, 180}},
                                        {930, {206, 216, 234}},
                                        {1000, {255, 255, 255}}});
}

// ---------------------------------------------------------------------------------------------
// Chain link: a 9 × 9 polished ball
// ---------------------------------------------------------------------------------------------

Picture makeLink() {
    constexpr int N = 9, kCentre = 4;
    constexpr int kRadius2 = 55;  // half-pixel units: a 7-pixel disc, leaving room for the outline
    Picture pic("114-link.bmp", N, N, 4, steelPalette());
    Mask shape(N, N);
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            const int x2 = 2 * (x - kCentre), y2 = 2 * (y - kCentre);
            if (x2 * x2 + y2 * y2 <= kRadius2) shape.set(x, y);
        }
    paintSprite(pic, shape, [&](int x, int y) {
        return shadeIndex(sphereLevel(2 * (x - kCentre), 2 * (y - kCentre), kRadius2 + 8));
    });
    return pic;
}

// ---------------------------------------------------------------------------------------------
// Spiked ball: 41 × 41
// ---------------------------------------------------------------------------------------------

struct Spike {
    Direction dir;
    int length;     // tip distance from the centre, pixels
    int baseHalf;   // half width where the spike leaves the ball, in 1/4096 pixel
};

constexpr int kSpikeCentre = 20;
constexpr int kBallRadius = 9;
constexpr int kSpikeRoot = kBallRadius - 3;  // spikes start inside the ball so no gap shows

// Shade level if (dx, dy) lies on the spike, or -1. The spike is a cone: across its width the
// normal swings from one side to the other, tilted a little towards the tip.
int spikeLevel(const Spike& s, int dx, int dy) {
    const int64_t along = int64_t(dx) * s.dir.c + int64_t(dy) * s.dir.s;   // 1/4096 px
    const int64_t across = int64_t(dy) * s.dir.c - int64_t(dx) * s.dir.s;  // 1/4096 px
    const int64_t root = int64_t(kSpikeRoot) * 4096, tip = int64_t(s.length) * 4096;
    if (along < root || along > tip) return -1;
    const int64_t half = int64_t(s.baseHalf) * (tip - along) / (tip - root);
    if (half <= 0 || std::abs(across) > half) return -1;
    const int64_t u = across * 256 / half;  // -256..256 across the cone
    const int64_t nz = isqrt(uint64_t(65536 - u * u));
    constexpr int64_t kTilt = 90;  // cone slope: how much the surface faces the tip
    const int64_t nx = (-int64_t(s.dir.s) * u + int64_t(s.dir.c) * kTilt) / 4096;
    const int64_t ny = (int64_t(s.dir.c) * u + int64_t(s.dir.s) * kTilt) / 4096;
    return litLevel(nx, ny, nz, 272);
}

std::vector<Spike> spikes() {
    std::vector<Spike> out;
    for (int k = 0; k < 48; k += 3) {
        const bool major = (k % 6) == 0;  // long spikes on the axes and diagonals
        out.push_back({direction48(k), major ? 19 : 15, major ? 7 * 4096 / 2 : 5 * 4096 / 2});
    }
    return out;
}

Picture makeSpikeball() {
    constexpr int N = 41;
    constexpr int kRadius2 = (2 * kBallRadius + 1) * (2 * kBallRadius + 1);  // half-pixel units
    Picture pic("119-spikeball.bmp", N, N, 4, steelPalette());
    const std::vector<Spike> all = spikes();

    std::vector<int> level(size_t(N) * N, -1);
    Mask shape(N, N);
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            const int dx = x - kSpikeCentre, dy = y - kSpikeCentre;
            int l = -1;
            if (4 * (dx * dx + dy * dy) <= kRadius2) {
                l = sphereLevel(2 * dx, 2 * dy, kRadius2);
            } else {
                for (const Spike& s : all) l = std::max(l, spikeLevel(s, dx, dy));
                // Contact shadow where a spike leaves the ball keeps the two shapes apart.
                if (l >= 0 && 4 * (dx * dx + dy * dy) <= kRadius2 + 8 * kBallRadius) l = std::max(0, l - 4);
            }
            if (l >= 0) {
                shape.set(x, y);
                level[size_t(y) * N + size_t(x)] = l;
            }
        }
    paintSprite(pic, shape, [&](int x, int y) { return shadeIndex(level[size_t(y) * N + size_t(x)]); });
    return pic;
}

// ---------------------------------------------------------------------------------------------
// Rotozoomer texture: 128 × 128 brushed metal checkerboard
// ---------------------------------------------------------------------------------------------

constexpr int kMapSize = 128;
constexpr int kSquare = 64;

// Bevel of the square plates: +1 near top/left edges, -1 near bottom/right, scaled by depth.
int plateBevel(int x, int y) {
    constexpr int kWidth = 3;
    const int u = x % kSquare, v = y % kSquare;
    const int left = u, top = v, right = kSquare - 1 - u, bottom = kSquare - 1 - v;
    const int nearest = std::min(std::min(left, top), std::min(right, bottom));
    if (nearest >= kWidth) return 0;
    const int depth = kWidth - nearest;
    return (nearest == left || nearest == top) ? depth : -depth;
}

// Brushing streaks along x on dark plates and along y on light plates, so neighbouring plates
// catch the light differently, as real brushed panels do. Each streak blends its own noise
// line with its neighbour's so the grooves look drawn rather than printed line by line.
int brushStreak(int x, int y, bool light) {
    const int along = light ? y : x;
    const int across = light ? x : y;
    auto line = [&](int i) {
        const uint32_t seed = hash3(uint32_t(wrap(i, kMapSize)), light ? 1u : 2u, 0x5EEDu);
        return valueNoise(along, 0, 32, kMapSize, seed) - 128;
    };
    return (2 * line(across) + line(across + 1)) / 3;
}

// Domed rivet heads near each plate corner, lit from the top left: brightness offset, or 0
// away from a rivet.
int plateRivet(int x, int y) {
    constexpr int kInset = 6;
    constexpr int kRadius2 = 20;  // in half pixels: a 5-pixel disc without its corners
    const int u = x % kSquare, v = y % kSquare;
    const int cu = u < kSquare / 2 ? kInset : kSquare - 1 - kInset;
    const int cv = v < kSquare / 2 ? kInset : kSquare - 1 - kInset;
    const int dx = 2 * (u - cu), dy = 2 * (v - cv);
    const int d2 = dx * dx + dy * dy;
    if (d2 <= kRadius2) return 20 - 6 * (dx + dy);
    // The head casts a short shadow towards the bottom right.
    return (d2 <= 2 * kRadius2 && dx + dy > 2) ? -30 : 0;
}

void scratch(std::vector<int>& value, Rng& rng) {
    int x = rng.range(0, kMapSize - 1), y = rng.range(0, kMapSize - 1);
    const Direction d = direction48(rng.range(0, 47));
    const int length = rng.range(5, 18);
    const int depth = rng.range(14, 30);
    // Sub-pixel walk (1/4096 px) along the direction; wrapping keeps the texture tileable.
    int64_t fx = int64_t(x) * 4096, fy = int64_t(y) * 4096;
    for (int i = 0; i < length; ++i) {
        const int px = wrap(int(fx >> 12), kMapSize), py = wrap(int(fy >> 12), kMapSize);
        value[size_t(py) * kMapSize + size_t(px)] += depth;  // bright scratch bottom
        const int sy = wrap(py + 1, kMapSize);
        value[size_t(sy) * kMapSize + size_t(px)] -= depth / 2;  // its shaded lower lip
        fx += d.c;
        fy += d.s;
    }
}

Picture makeTexture() {
    Picture pic("107-texture.bmp", kMapSize, kMapSize, 8,
                ramp({{0, {6, 8, 20}},
                      {300, {40, 52, 96}},
                      {600, {110, 132, 176}},
                      {850, {196, 210, 226}},
                      {1000, {250, 246, 236}}},
                     256));
    std::vector<int> value(size_t(kMapSize) * kMapSize);
    for (int y = 0; y < kMapSize; ++y)
        for (int x = 0; x < kMapSize; ++x) {
            const bool light = ((x / kSquare) ^ (y / kSquare)) & 1;
            int v = light ? 172 : 70;
            v += (valueNoise(x, y, 32, kMapSize, 11) - 128) / 8;  // broad cloudiness
            v += (valueNoise(x, y, 8, kMapSize, 12) - 128) / 16;  // finer mottling
            v += brushStreak(x, y, light) / 12;
            v += plateRivet(x, y);
            v += int(hash3(uint32_t(x), uint32_t(y), 13) % 9) - 4;  // grain
            v += plateBevel(x, y) * 14;
            value[size_t(y) * kMapSize + size_t(x)] = v;
        }
    Rng rng(0x5C2A7C4E5ull);
    for (int i = 0; i < 36; ++i) scratch(value, rng);
    for (size_t i = 0; i < value.size(); ++i) pic.indices[i] = uint8_t(clampInt(value[i], 0, 255));
    return pic;
}

// ---------------------------------------------------------------------------------------------
// Bump map: 128 × 128 riveted medallion, heights in grey
// ---------------------------------------------------------------------------------------------

constexpr int kSub = 32;  // sub-pixel resolution of bump-map distances

// Distance in 1/kSub pixels from the centre of pixel (x, y) to point (cx, cy) given in pixels,
// measured across the tile wrap so features crossing an edge continue on the other side.
int wrappedDistance(int x, int y, int cx, int cy) {
    constexpr int kPeriod = kMapSize * kSub;
    auto delta = [&](int p, int c) {
        const int d = wrap(p * kSub + kSub / 2 - c * kSub, kPeriod);
        return d >= kPeriod / 2 ? d - kPeriod : d;
    };
    const int64_t dx = delta(x, cx), dy = delta(y, cy);
    return int(isqrt(uint64_t(dx * dx + dy * dy)));
}

// A smooth ridge of height `amp` at radius r, half width w (all in 1/kSub px): (1 - (e/w)²)²,
// which has gentle slopes on both sides and a rounded crest, so lighting shows a clear relief.
int ridge(int d, int r, int w, int amp) {
    const int64_t e = d - r;
    const int64_t w2 = int64_t(w) * w;
    if (e * e >= w2) return 0;
    const int64_t q = w2 - e * e;
    return int(int64_t(amp) * q / w2 * q / w2);
}

// A rounded rivet head: a parabolic dome of radius `radius`, rising from the plate.
int rivet(int d, int radius, int amp) {
    const int64_t r2 = int64_t(radius) * radius;
    const int64_t d2 = int64_t(d) * d;
    if (d2 >= r2) return 0;
    return int(int64_t(amp) * (r2 - d2) / r2);
}

// Height of a smooth step from 0 (d ≤ from) to amp (d ≥ to), eased at both ends.
int smoothStep(int d, int from, int to, int amp) {
    if (d <= from) return 0;
    if (d >= to) return amp;
    const int64_t t = int64_t(d - from) * 1024 / (to - from);  // 0..1024
    return int(int64_t(amp) * t * t * (3072 - 2 * t) / (1024LL * 1024 * 1024));
}

// Distance from pixel (x, y) to the point at `radius` pixels from the tile centre in
// direction k of 48 (rounded to whole pixels so the ornament stays mirror symmetric).
int distanceToSatellite(int x, int y, int k, int radius) {
    const Direction dir = direction48(k);
    const int px = 64 + (dir.c * radius + (dir.c >= 0 ? 2048 : -2048)) / 4096;
    const int py = 64 + (dir.s * radius + (dir.s >= 0 ? 2048 : -2048)) / 4096;
    return wrappedDistance(x, y, px, py);
}

// The medallion in the middle of the tile, from the centre outwards: a boss, a thin ring, a
// ring of beads, a thick torus, a raised band carrying twelve rivets, and a rim.
int medallionHeight(int x, int y) {
    constexpr int S = kSub;
    const int d = wrappedDistance(x, y, 64, 64);
    int h = ridge(d, 0, 8 * S, 220);
    h = std::max(h, ridge(d, 13 * S, 3 * S, 170));
    for (int k = 0; k < 48; k += 3) h = std::max(h, ridge(distanceToSatellite(x, y, k, 21), 0, 4 * S, 180));
    h = std::max(h, ridge(d, 31 * S, 5 * S, 210));
    // Raised band: ramps up from 37 px, back down at 49 px.
    const int band = std::min(smoothStep(d, 37 * S, 40 * S, 70), 70 - smoothStep(d, 46 * S, 49 * S, 70));
    int rivets = 0;
    for (int k = 0; k < 48; k += 4) rivets = std::max(rivets, rivet(distanceToSatellite(x, y, k, 43), 4 * S, 130));
    h = std::max(h, band + rivets);
    h = std::max(h, ridge(d, 55 * S, 4 * S, 170));
    return h;
}

// The four tile corners meet at one point, so circles around (0, 0) join across the seams
// into a second, smaller boss between medallions.
int cornerHeight(int x, int y) {
    constexpr int S = kSub;
    const int d = wrappedDistance(x, y, 0, 0);
    int h = std::max(ridge(d, 0, 7 * S, 190), ridge(d, 13 * S, 3 * S, 160));
    h = std::max(h, ridge(d, 21 * S, 3 * S, 140));
    // Small rivets where the rims of neighbouring medallions come closest.
    h = std::max(h, rivet(wrappedDistance(x, y, 64, 0), 3 * S, 150));
    h = std::max(h, rivet(wrappedDistance(x, y, 0, 64), 3 * S, 150));
    return h;
}

Picture makeBumpmap() {
    std::vector<Rgb> greys;
    for (int i = 0; i < 256; ++i) greys.push_back({uint8_t(i), uint8_t(i), uint8_t(i)});
    Picture pic("110-bumpmap.bmp", kMapSize, kMapSize, 8, greys);
    for (int y = 0; y < kMapSize; ++y)
        for (int x = 0; x < kMapSize; ++x) {
            // A faintly hammered plate underneath the ornament.
            const int plate = 40 + (valueNoise(x, y, 16, kMapSize, 21) - 128) / 12;
            const int relief = std::max(medallionHeight(x, y), cornerHeight(x, y));
            pic.at(x, y) = uint8_t(clampInt(plate + relief, 0, 255));
        }
    return pic;
}

// ---------------------------------------------------------------------------------------------
// Output
// ---------------------------------------------------------------------------------------------

// Guards the colour-key contract the player relies on.
void checkPalette(const Picture& pic) {
    const bool keyed = pic.bitsPerPixel == 4;
    for (size_t i = 0; i < pic.palette.size(); ++i) {
        const bool isMagenta = pic.palette[i] == kMagenta;
        if (isMagenta != (keyed && i == 0))
            throw std::logic_error(pic.file + ": magenta must be exactly palette entry 0 of keyed images");
    }
}

void writePicture(const std::filesystem::path& dir, const Picture& pic) {
    checkPalette(pic);
    const std::vector<uint8_t> bytes =
        encodeBmp(pic.width, pic.height, pic.bitsPerPixel, pic.palette, pic.indices);
    const std::filesystem::path path = dir / pic.file;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void printUsage(std::ostream& os) {
    os << "usage: make-art OUTDIR\n"
          "\n"
          "Writes the demo's bitmaps into OUTDIR (created if missing):\n"
          "  102-logo.bmp       272x48   4-bit  title logo\n"
          "  107-texture.bmp    128x128  8-bit  rotozoomer texture (tiles)\n"
          "  110-bumpmap.bmp    128x128  8-bit  bump map, height in grey (tiles)\n"
          "  114-link.bmp       9x9      4-bit  chain link ball\n"
          "  115-font.bmp       288x72   4-bit  scroller font, 16x24 cells\n"
          "  119-spikeball.bmp  41x41    4-bit  spiked ball\n"
          "\n"
          "Output is identical on every run. In 4-bit images palette entry 0 (magenta) is the\n"
          "transparent background.\n";
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        printUsage(std::cout);
        return 0;
    }
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-') {
        printUsage(std::cerr);
        return 2;
    }
    try {
        const std::filesystem::path dir{std::string(args[0])};
        std::filesystem::create_directories(dir);
        for (const Picture& pic : {makeLogo(), makeTexture(), makeBumpmap(), makeLink(), makeFont(),
                                   makeSpikeball()})
            writePicture(dir, pic);
    } catch (const std::exception& e) {
        std::cerr << "make-art: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
