#pragma once
// Writes MOD module bytes for the tests: ProTracker's layout of 31 samples behind a signature, or
// Soundtracker's of 15 without one, with exactly the patterns and samples a case needs. Notes are
// given as the player's (1-based, 37 for C-1 at ProTracker's period 856) and written as periods.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>


struct ModSample {
    std::string         name = "sample";  // up to 22 characters are written
    std::vector<int8_t> data;             // signed 8-bit frames, an even count
    uint8_t             volume = 64;
    int8_t              fineTune = 0;     // −8…7
    uint32_t            loopStart = 0;    // bytes, even
    uint32_t            loopLength = 2;   // bytes, even; 2 (one word) is no loop
    std::optional<uint16_t> lengthWords;  // the header's length; default data.size() / 2
};

// A sample a note can sound with: a square of 32 frames, looping whole.
inline ModSample modTone() {
    ModSample s;
    for (int i = 0; i < 32; ++i) s.data.push_back(int8_t(i < 16 ? 50 : -50));
    s.loopLength = 32;
    return s;
}

struct ModCell {
    uint8_t note = 0;    // 1-based; 0 none
    uint8_t sample = 0;  // 0…31
    uint8_t effect = 0;  // 0…15
    uint8_t param = 0;
};

struct ModPattern {
    std::vector<ModCell> cells;  // 64 rows × channels, row-major; missing cells are empty
};

struct ModLayout {
    std::string             title = "test module";
    std::string             signature = "M.K.";  // 4 bytes; "" writes Soundtracker's layout of 15 samples
    int32_t                 channels = 4;        // channels of the stored patterns (FLT8: 8, stored as two of 4)
    std::vector<uint8_t>    orders = {0};
    std::optional<uint8_t>  songLength;          // default orders.size()
    std::optional<uint8_t>  storedPatterns;      // default: what the orders name (pairs for FLT8)
    std::vector<ModPattern> patterns;
    std::vector<ModSample>  samples;             // the first 31 (15) are written
};

namespace mod {

inline void put8(std::vector<uint8_t>& out, uint8_t v) { out.push_back(v); }
inline void put16be(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}
inline void putText(std::vector<uint8_t>& out, const std::string& text, size_t size) {
    for (size_t i = 0; i < size; ++i) out.push_back(i < text.size() ? uint8_t(text[i]) : uint8_t(0));
}

// ProTracker's periods of C-1…B-3 at fine-tune 0, as its files hold them.
constexpr uint16_t kPeriods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                   428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                                   214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};

// The period written for a note: the table's for C-1…B-3 (notes 37…72), octaves of it above and below.
inline uint16_t periodOf(uint8_t note) {
    if (note == 0) return 0;
    const int32_t index = note - 37;
    if (index < 0) return uint16_t(kPeriods[(index % 12 + 12) % 12] << ((11 - index) / 12));
    if (index >= 36) return uint16_t(kPeriods[24 + index % 12] >> ((index - 24) / 12));
    return kPeriods[index];
}

inline void putCell(std::vector<uint8_t>& out, const ModCell& c) {
    const uint16_t period = periodOf(c.note);
    out.push_back(uint8_t((c.sample & 0xF0) | (period >> 8)));
    out.push_back(uint8_t(period));
    out.push_back(uint8_t((c.sample & 0x0F) << 4 | (c.effect & 0x0F)));
    out.push_back(c.param);
}

}  // namespace mod

// The module bytes for `layout`.
inline std::vector<uint8_t> buildMod(const ModLayout& layout) {
    using namespace mod;
    const bool soundtracker = layout.signature.empty();
    const bool paired = layout.signature == "FLT8";
    const size_t sampleSlots = soundtracker ? 15 : 31;
    std::vector<uint8_t> out;
    putText(out, layout.title, 20);
    for (size_t i = 0; i < sampleSlots; ++i) {
        const ModSample s = i < layout.samples.size() ? layout.samples[i] : ModSample{"", {}, 0, 0, 0, 2, {}};
        putText(out, s.name, 22);
        put16be(out, s.lengthWords.value_or(uint16_t(s.data.size() / 2)));
        put8(out, uint8_t(s.fineTune & 0x0F));
        put8(out, s.volume);
        put16be(out, uint16_t(s.loopStart / 2));
        put16be(out, uint16_t(s.loopLength / 2));
    }
    put8(out, layout.songLength.value_or(uint8_t(layout.orders.size())));
    put8(out, 127);
    uint8_t highest = 0;
    for (size_t i = 0; i < 128; ++i) {
        const uint8_t entry = i < layout.orders.size() ? layout.orders[i] : 0;
        put8(out, paired ? uint8_t(entry * 2) : entry);
        highest = std::max(highest, entry);
    }
    if (!soundtracker) putText(out, layout.signature, 4);

    // FLT8 stores each pattern as two of 4 channels: channels 0…3, then 4…7.
    const size_t stored = layout.storedPatterns.value_or(uint8_t(highest + 1));
    for (size_t p = 0; p < stored; ++p) {
        const ModPattern empty;
        const ModPattern& pattern = p < layout.patterns.size() ? layout.patterns[p] : empty;
        const auto cellAt = [&](size_t row, size_t channel) {
            const size_t i = row * size_t(layout.channels) + channel;
            return i < pattern.cells.size() ? pattern.cells[i] : ModCell{};
        };
        for (size_t half = 0; half < (paired ? 2u : 1u); ++half)
            for (size_t row = 0; row < 64; ++row)
                for (size_t c = 0; c < (paired ? 4u : size_t(layout.channels)); ++c) putCell(out, cellAt(row, half * 4 + c));
    }
    for (size_t i = 0; i < std::min(sampleSlots, layout.samples.size()); ++i)
        for (int8_t v : layout.samples[i].data) out.push_back(uint8_t(v));
    return out;
}
