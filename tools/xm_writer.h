#pragma once
// Writes XM module bytes: the song generator's output, and in the tests exactly the header,
// patterns and instruments a case needs. Every count and size the file stores is derived from the
// contents unless a case overrides it, so a test can also build files that lie about themselves.
#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>


// One pattern cell as the file's fields hold it: note 1…96, 97 key-off (the writer passes any byte
// through, so a test can also write the ones a file should not hold).
struct XmCell {
    uint8_t note;
    uint8_t instrument;
    uint8_t volume;       // the volume column's byte
    uint8_t effectType;   // 0…35: the effect letter's number
    uint8_t effectParam;
};

// One envelope point as the file stores it.
struct XmEnvelopePoint {
    uint16_t x;  // ticks
    uint16_t y;  // 0…64
};

struct XmSample {
    std::string name = "sample";     // up to 22 characters are written
    std::optional<uint32_t> length;  // bytes; default data.size()
    uint32_t loopStart = 0;          // bytes
    uint32_t loopLength = 0;         // bytes
    uint8_t  volume = 64;
    int8_t   finetune = 0;
    uint8_t  type = 0;               // bit 0 forward loop, bit 1 ping-pong, bit 4 16-bit
    uint8_t  panning = 128;
    int8_t   relativeNote = 0;
    std::vector<uint8_t> data;       // written after the headers as is: delta-coded bytes
};

struct XmInstrument {
    std::string name = "instrument";      // up to 22 characters are written
    std::optional<uint32_t> headerSize;   // default 29 without samples, 263 with
    std::optional<uint16_t> sampleCount;  // default samples.size()
    uint32_t sampleHeaderSize = 40;       // bytes of each sample header; past the 40 used, zeros
    std::array<uint8_t, 96> sampleForNote{};
    std::array<XmEnvelopePoint, 12> volumeEnvelope{};
    std::array<XmEnvelopePoint, 12> panningEnvelope{};
    uint8_t  volumePointCount = 0;
    uint8_t  panningPointCount = 0;
    uint8_t  volumeSustainPoint = 0;
    uint8_t  volumeLoopStart = 0;
    uint8_t  volumeLoopEnd = 0;
    uint8_t  panningSustainPoint = 0;
    uint8_t  panningLoopStart = 0;
    uint8_t  panningLoopEnd = 0;
    uint8_t  volumeType = 0;
    uint8_t  panningType = 0;
    uint8_t  vibratoType = 0;
    uint8_t  vibratoSweep = 0;
    uint8_t  vibratoDepth = 0;
    uint8_t  vibratoRate = 0;
    uint16_t volumeFadeout = 0;  // as the file stores it (a released note loses twice it per tick)
    std::vector<XmSample> samples;
};

enum class XmPacking : uint8_t {
    packed,    // every cell as 0x80 | mask, then the non-zero fields
    unpacked,  // every cell as five bytes (notes below 128 only)
};

struct XmPattern {
    uint16_t rows = 64;
    std::vector<XmCell> cells;          // row-major, rows × channels; missing cells are empty
    XmPacking packing = XmPacking::packed;
    std::optional<std::vector<uint8_t>> data;  // written in place of the encoded cells
    std::optional<uint16_t> packedSize;        // default: bytes written; 0 when there are none
    uint32_t headerSize = 9;                   // bytes; past the 9 used ones, zeros
};

struct XmLayout {
    std::string name = "test module";          // up to 20 characters are written
    std::string trackerName = "xm_writer";     // up to 20 characters are written
    std::string idText = "Extended Module: ";  // the first 17 bytes, padded with spaces
    uint16_t version = 0x0104;
    uint32_t headerSize = 276;                 // counted from offset 60; at least 20 + 256
    std::optional<uint16_t> songLength;        // default orders.size()
    uint16_t restartPosition = 0;
    uint16_t channels = 4;
    std::optional<uint16_t> patternCount;      // default patterns.size()
    std::optional<uint16_t> instrumentCount;   // default instruments.size()
    uint16_t flags = 1;
    uint16_t tempo = 6;
    uint16_t bpm = 125;
    std::vector<uint8_t> orders = {0};         // up to 256 entries; the rest are 0
    std::vector<XmPattern> patterns;
    std::vector<XmInstrument> instruments;
};

namespace xm {

inline void put8(std::vector<uint8_t>& out, uint8_t v) { out.push_back(v); }
inline void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
inline void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, uint16_t(v));
    put16(out, uint16_t(v >> 16));
}
inline void putText(std::vector<uint8_t>& out, const std::string& text, size_t size) {
    for (size_t i = 0; i < size; ++i) out.push_back(i < text.size() ? uint8_t(text[i]) : uint8_t(' '));
}
inline void padTo(std::vector<uint8_t>& out, size_t size) {
    if (out.size() < size) out.resize(size, 0);
}

inline std::vector<uint8_t> encodeCells(const XmPattern& p, uint16_t channels) {
    std::vector<uint8_t> out;
    const size_t count = size_t(p.rows) * channels;
    for (size_t i = 0; i < count; ++i) {
        const XmCell c = i < p.cells.size() ? p.cells[i] : XmCell{};
        const uint8_t fields[5] = {c.note, c.instrument, c.volume, c.effectType, c.effectParam};
        if (p.packing == XmPacking::unpacked) {
            out.insert(out.end(), fields, fields + 5);
            continue;
        }
        uint8_t mask = 0x80;
        for (int k = 0; k < 5; ++k)
            if (fields[k]) mask |= uint8_t(1 << k);
        out.push_back(mask);
        for (int k = 0; k < 5; ++k)
            if (fields[k]) out.push_back(fields[k]);
    }
    return out;
}

}  // namespace xm

// The module bytes for `layout`.
inline std::vector<uint8_t> buildXm(const XmLayout& layout) {
    using namespace xm;
    std::vector<uint8_t> out;
    putText(out, layout.idText, 17);
    putText(out, layout.name, 20);
    put8(out, 0x1A);
    putText(out, layout.trackerName, 20);
    put16(out, layout.version);
    put32(out, layout.headerSize);
    put16(out, layout.songLength.value_or(uint16_t(layout.orders.size())));
    put16(out, layout.restartPosition);
    put16(out, layout.channels);
    put16(out, layout.patternCount.value_or(uint16_t(layout.patterns.size())));
    put16(out, layout.instrumentCount.value_or(uint16_t(layout.instruments.size())));
    put16(out, layout.flags);
    put16(out, layout.tempo);
    put16(out, layout.bpm);
    for (size_t i = 0; i < 256; ++i) put8(out, i < layout.orders.size() ? layout.orders[i] : 0);
    padTo(out, 60 + size_t(layout.headerSize));

    for (const XmPattern& p : layout.patterns) {
        const std::vector<uint8_t> data = p.data ? *p.data : p.cells.empty() ? std::vector<uint8_t>{}
                                                                            : encodeCells(p, layout.channels);
        const size_t headerStart = out.size();
        put32(out, p.headerSize);
        put8(out, 0);
        put16(out, p.rows);
        put16(out, p.packedSize.value_or(uint16_t(data.size())));
        padTo(out, headerStart + p.headerSize);
        out.insert(out.end(), data.begin(), data.end());
    }

    for (const XmInstrument& ins : layout.instruments) {
        const size_t start = out.size();
        const uint32_t headerSize = ins.headerSize.value_or(ins.samples.empty() ? 29 : 263);
        put32(out, headerSize);
        putText(out, ins.name, 22);
        put8(out, 0);
        put16(out, ins.sampleCount.value_or(uint16_t(ins.samples.size())));
        if (!ins.samples.empty()) {
            put32(out, ins.sampleHeaderSize);
            out.insert(out.end(), ins.sampleForNote.begin(), ins.sampleForNote.end());
            for (const auto* envelope : {&ins.volumeEnvelope, &ins.panningEnvelope})
                for (const XmEnvelopePoint& point : *envelope) {
                    put16(out, point.x);
                    put16(out, point.y);
                }
            for (uint8_t v : {ins.volumePointCount, ins.panningPointCount, ins.volumeSustainPoint, ins.volumeLoopStart,
                              ins.volumeLoopEnd, ins.panningSustainPoint, ins.panningLoopStart, ins.panningLoopEnd,
                              ins.volumeType, ins.panningType, ins.vibratoType, ins.vibratoSweep, ins.vibratoDepth,
                              ins.vibratoRate})
                put8(out, v);
            put16(out, ins.volumeFadeout);
        }
        padTo(out, start + headerSize);
        out.resize(start + headerSize);  // a short header size cuts the fields written
        for (const XmSample& s : ins.samples) {
            const size_t headerStart = out.size();
            put32(out, s.length.value_or(uint32_t(s.data.size())));
            put32(out, s.loopStart);
            put32(out, s.loopLength);
            put8(out, s.volume);
            put8(out, uint8_t(s.finetune));
            put8(out, s.type);
            put8(out, s.panning);
            put8(out, uint8_t(s.relativeNote));
            put8(out, 0);
            putText(out, s.name, 22);
            padTo(out, headerStart + ins.sampleHeaderSize);
        }
        for (const XmSample& s : ins.samples) out.insert(out.end(), s.data.begin(), s.data.end());
    }
    return out;
}

// Delta coding as the file stores sample data: each value minus the previous one.
inline std::vector<uint8_t> deltas8(const std::vector<int>& values) {
    std::vector<uint8_t> out;
    int previous = 0;
    for (int v : values) {
        out.push_back(uint8_t(v - previous));
        previous = v;
    }
    return out;
}
inline std::vector<uint8_t> deltas8(std::initializer_list<int> values) { return deltas8(std::vector<int>(values)); }

inline std::vector<uint8_t> deltas16(const std::vector<int>& values) {
    std::vector<uint8_t> out;
    int previous = 0;
    for (int v : values) {
        xm::put16(out, uint16_t(v - previous));
        previous = v;
    }
    return out;
}
inline std::vector<uint8_t> deltas16(std::initializer_list<int> values) { return deltas16(std::vector<int>(values)); }
