#pragma once
// Writes S3M module bytes for the tests: Scream Tracker 3's header, order list, parapointers,
// packed patterns and samples, with exactly what a case needs. Every count and pointer is derived
// from the contents unless a case overrides it, so a test can also build files that lie.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/xm_writer.h"

struct S3mSample {
    std::string          name = "sample";  // up to 27 characters are written
    uint8_t              type = 1;         // 1 PCM, 2…7 Adlib, 0 empty
    std::vector<int16_t> data;             // signed frames: 8-bit ones as −128…127
    bool                 sixteenBits = false;
    bool                 stereo = false;   // data holds the left frames, then the right ones
    bool                 loop = false;
    uint32_t             loopStart = 0;    // frames
    uint32_t             loopEnd = 0;      // frames, the first past the loop
    uint8_t              volume = 64;
    uint32_t             c2spd = 8363;
    std::optional<uint32_t> length;        // frames; default data.size() (half of it for stereo)
    std::optional<uint32_t> dataAt;        // the data's offset in the file; default: where it is written
    uint8_t              pack = 0;
};

struct S3mCell {
    int32_t row = 0;
    int32_t channel = 0;       // 0…31, as the file numbers them
    uint8_t note = 255;        // octave << 4 | semitone; 255 none, 254 cut
    uint8_t instrument = 0;
    int32_t volume = -1;       // 0…64; −1 none
    char    effect = 0;        // 'A'…'Z'; 0 none
    uint8_t param = 0;
};

// A sample a note can sound with: a square of 32 frames, looping whole.
inline S3mSample s3mTone(uint32_t c2spd = 8363) {
    S3mSample s;
    for (int i = 0; i < 32; ++i) s.data.push_back(int16_t(i < 16 ? 50 : -50));
    s.loop = true;
    s.loopEnd = 32;
    s.c2spd = c2spd;
    return s;
}

// A note as the file writes it: octave and semitone (0 is C).
inline uint8_t s3mNote(int octave, int semitone) { return uint8_t(octave << 4 | semitone); }

struct S3mPattern {
    std::vector<S3mCell>                 cells;
    std::optional<std::vector<uint8_t>>  data;  // written in place of the packed cells
};

struct S3mLayout {
    std::string             title = "test module";
    std::vector<uint8_t>    orders = {0, 255};  // as the file holds them, markers included
    std::array<uint8_t, 32> channels = {0, 8, 1, 9, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
                                        255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
    uint16_t                flags = 0;
    uint16_t                version = 0x1320;
    uint16_t                sampleFormat = 2;   // 1 signed, 2 unsigned
    uint8_t                 globalVolume = 64;
    uint8_t                 speed = 6;
    uint8_t                 tempo = 125;
    uint8_t                 masterVolume = 0xB0;  // bit 7: stereo
    std::optional<std::array<uint8_t, 32>> pannings;  // the default-panning table, when given
    std::vector<S3mPattern> patterns;
    std::vector<S3mSample>  samples;
    std::optional<uint16_t> orderCount, instrumentCount, patternCount;
    std::string             mark = "SCRM";
};

namespace s3m {

using xm::put16;
using xm::put32;
using xm::put8;

inline void poke16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
    out[at] = uint8_t(v);
    out[at + 1] = uint8_t(v >> 8);
}
inline void putText(std::vector<uint8_t>& out, const std::string& text, size_t size) {
    for (size_t i = 0; i < size; ++i) out.push_back(i < text.size() ? uint8_t(text[i]) : uint8_t(0));
}
inline void alignTo16(std::vector<uint8_t>& out) {
    while (out.size() % 16) out.push_back(0);
}

inline std::vector<uint8_t> packCells(const S3mPattern& p) {
    std::vector<uint8_t> out;
    for (int32_t row = 0; row < 64; ++row) {
        for (const S3mCell& c : p.cells) {
            if (c.row != row) continue;
            uint8_t what = uint8_t(c.channel & 31);
            if (c.note != 255 || c.instrument) what |= 0x20;
            if (c.volume >= 0) what |= 0x40;
            if (c.effect) what |= 0x80;
            out.push_back(what);
            if (what & 0x20) out.insert(out.end(), {c.note, c.instrument});
            if (what & 0x40) out.push_back(uint8_t(c.volume));
            if (what & 0x80) out.insert(out.end(), {uint8_t(c.effect - 'A' + 1), c.param});
        }
        out.push_back(0);
    }
    return out;
}

}  // namespace s3m

// The module bytes for `layout`.
inline std::vector<uint8_t> buildS3m(const S3mLayout& layout) {
    using namespace s3m;
    std::vector<uint8_t> out;
    putText(out, layout.title, 28);
    put8(out, 0x1A);
    put8(out, 16);
    put16(out, 0);
    put16(out, layout.orderCount.value_or(uint16_t(layout.orders.size())));
    put16(out, layout.instrumentCount.value_or(uint16_t(layout.samples.size())));
    put16(out, layout.patternCount.value_or(uint16_t(layout.patterns.size())));
    put16(out, layout.flags);
    put16(out, layout.version);
    put16(out, layout.sampleFormat);
    putText(out, layout.mark, 4);
    for (uint8_t v : {layout.globalVolume, layout.speed, layout.tempo, layout.masterVolume, uint8_t(0),
                      uint8_t(layout.pannings ? 252 : 0)})
        put8(out, v);
    out.resize(64, 0);
    out.insert(out.end(), layout.channels.begin(), layout.channels.end());
    out.insert(out.end(), layout.orders.begin(), layout.orders.end());
    const size_t pointers = out.size();
    out.resize(out.size() + 2 * (layout.samples.size() + layout.patterns.size()), 0);
    if (layout.pannings) out.insert(out.end(), layout.pannings->begin(), layout.pannings->end());

    // Each instrument header, then each pattern, then the sample data, on 16-byte boundaries.
    std::vector<size_t> headers;
    for (size_t i = 0; i < layout.samples.size(); ++i) {
        alignTo16(out);
        poke16(out, pointers + 2 * i, uint16_t(out.size() / 16));
        headers.push_back(out.size());
        const S3mSample& s = layout.samples[i];
        const uint32_t frames = s.length.value_or(uint32_t(s.stereo ? s.data.size() / 2 : s.data.size()));
        put8(out, s.type);
        putText(out, "", 12);
        put8(out, 0);
        put16(out, 0);  // memseg: filled once the data's place is known
        put32(out, frames);
        put32(out, s.loopStart);
        put32(out, s.loopEnd);
        put8(out, s.volume);
        put8(out, 0);
        put8(out, s.pack);
        put8(out, uint8_t((s.loop ? 1 : 0) | (s.stereo ? 2 : 0) | (s.sixteenBits ? 4 : 0)));
        put32(out, s.c2spd);
        putText(out, "", 12);
        putText(out, s.name, 28);
        putText(out, "SCRS", 4);
    }
    for (size_t i = 0; i < layout.patterns.size(); ++i) {
        alignTo16(out);
        poke16(out, pointers + 2 * (layout.samples.size() + i), uint16_t(out.size() / 16));
        const std::vector<uint8_t> data = layout.patterns[i].data.value_or(packCells(layout.patterns[i]));
        put16(out, uint16_t(data.size() + 2));
        out.insert(out.end(), data.begin(), data.end());
    }
    for (size_t i = 0; i < layout.samples.size(); ++i) {
        const S3mSample& s = layout.samples[i];
        alignTo16(out);
        const uint32_t at = s.dataAt.value_or(uint32_t(out.size()));
        out[headers[i] + 13] = uint8_t(at >> 20);
        poke16(out, headers[i] + 14, uint16_t(at >> 4));
        const uint16_t flip = layout.sampleFormat == 2 ? 0x8000 : 0;
        for (int16_t v : s.data) {
            if (s.sixteenBits) put16(out, uint16_t(uint16_t(v) ^ flip));
            else put8(out, uint8_t(uint8_t(v) ^ (flip >> 8)));
        }
    }
    return out;
}
