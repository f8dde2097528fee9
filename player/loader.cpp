#include "player/loader.h"

#include <algorithm>
#include <cstring>

#include "player/stream.h"

// The one shared all-zero sample: no data, length 0, loopType 0. Never released.
const Sample emptySample{};

namespace {

constexpr char    kIdText[] = "Extended Module: ";  // 17 bytes, no terminator in the file
constexpr int32_t kIdLength = 17;
constexpr int32_t kHeaderFieldsOffset = 60;         // header size, then counts and orders
// The fields the loader reads from a pattern header and a sample header. A file may declare
// longer headers (its stored size); what lies beyond these fields is skipped. A smaller declared
// size cannot hold the fields, so it counts as this size.
constexpr int32_t kPatternHeaderBytes = 9;
constexpr int32_t kSampleHeaderBytes = 40;
// An instrument header's fields up to its sample headers' size: size, name, type, sample count,
// sample header size (4 + 22 + 1 + 2 + 4 bytes).
constexpr int32_t kInstrumentCountsBytes = 33;
constexpr int32_t kInstrumentFixedBytes = 29;  // without samples: size, name, type, sample count
constexpr int32_t kMaxEnvelopePoints = 12;
constexpr int32_t kMaxOrders = 256;
constexpr int32_t kGuardFrames = 8;                 // zero frames after every sample's end
constexpr int32_t kMissingPatternRows = 64;
// Every tracker's own limits stay below 2^23 cells (256 patterns of 1024 rows of 32 channels);
// past 2^24 (80 MiB of cells) a file only asks for memory, since 9 bytes declare a pattern.
constexpr int64_t kMaxCells = int64_t(1) << 24;

// Little-endian readers. A read past the end leaves the zeros the buffer started with.
uint16_t le16(const uint8_t* b) { return uint16_t(b[0] | b[1] << 8); }
uint32_t le32(const uint8_t* b) {
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}


// Offsets computed from the file's 32-bit sizes can pass 2^31; the stream stops at its end
// anyway, so the largest offset stands for all of them.
void seekTo(ModuleStream* stream, int64_t offset) {
    streamSeek(stream, int32_t(std::min<int64_t>(offset, INT32_MAX)), SeekOrigin::start);
}

void skip(ModuleStream* stream, int32_t bytes) { streamSeek(stream, bytes, SeekOrigin::current); }

struct Loading {
    ModuleStream* stream;
    int32_t       streamSize;    // bytes, measured once
    int32_t       filePatterns;  // patterns stored in the file; patternCount may name more
    int64_t       cellsLeft;     // of kMaxCells
    int64_t       missingBytes;  // declared by the file's headers, past its end
    SampleDataCallback sampleData;  // nullptr: sample data comes from the stream
    std::string   reason;
};

// A name field of `size` bytes as text: up to the first zero byte, trailing spaces dropped.
void copyName(char* to, const uint8_t* from, size_t size) {
    size_t n = 0;
    while (n < size && from[n] != 0) ++n;
    while (n > 0 && from[n - 1] == ' ') --n;
    std::memcpy(to, from, n);
    to[n] = '\0';
}

// Every read of the loader: what the file does not hold reads as zeros.
void readBytes(Loading& l, void* buffer, int32_t count) { streamRead(buffer, count, l.stream); }

// True when the file holds the `bytes` bytes at offset `at`: a field it declares something with.
bool holds(const Loading& l, int64_t at, int64_t bytes) { return at + bytes <= l.streamSize; }

// A header the file holds declares bytes [from, to): the part past the file's end is missing. Of
// a pattern or instrument that the counts promise but whose header's size the file does not
// hold, only the fixed fields are declared (9 or 29 bytes): how much more it had is unknown.
void declare(Loading& l, int64_t from, int64_t to) {
    const int64_t absentFrom = std::max<int64_t>(from, l.streamSize);
    if (to > absentFrom) l.missingBytes += to - absentFrom;
}

uint16_t read16(Loading& l) {
    uint8_t b[2] = {};
    readBytes(l, b, 2);
    return le16(b);
}

uint32_t read32(Loading& l) {
    uint8_t b[4] = {};
    readBytes(l, b, 4);
    return le32(b);
}

bool fail(Loading& l, std::string reason) {
    l.reason = std::move(reason);
    return false;
}

// The 5-byte cells of one pattern, `count` of them in file order. The file's note 97 (key off)
// becomes 255; instruments above 128 become 0. Every cell takes at least one byte, so only the
// one pattern that runs into the end of the file decodes more cells than the file has bytes.
void decodeCells(Loading& l, Cell* cells, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        uint8_t b = 0;
        readBytes(l, &b, 1);
        uint8_t bytes[5] = {};
        if (b & 0x80) {
            // Packed: bits 0…4 say which of note, instrument, volume, effect, parameter follow.
            uint8_t present[5] = {};
            int32_t n = 0;
            for (int32_t k = 0; k < 5; ++k)
                if (b & (1 << k)) ++n;
            readBytes(l, present, n);
            for (int32_t k = 0, next = 0; k < 5; ++k)
                if (b & (1 << k)) bytes[k] = present[next++];
        } else {
            bytes[0] = b;
            readBytes(l, bytes + 1, 4);
        }
        Cell& c = cells[i];
        c = {bytes[0], bytes[1], bytes[2], bytes[3], bytes[4]};
        if (c.note == 97) c.note = 255;
        if (c.instrument > 128) c.instrument = 0;
    }
}

bool allocateCells(Loading& l, Pattern& p, int32_t rows, int32_t channels) {
    const int64_t cells = int64_t(rows) * channels;
    if (cells > l.cellsLeft)
        return fail(l, "patterns of more than " + std::to_string(kMaxCells) + " cells in all");
    l.cellsLeft -= cells;
    p.rowCount = rows;
    p.cells = cells ? new Cell[size_t(cells)]{} : nullptr;
    return true;
}

bool readHeader(Loading& l, Module& m) {
    // The ID text, the module's name, 0x1A and the tracker's name.
    uint8_t id[kHeaderFieldsOffset] = {};
    seekTo(l.stream, 0);
    streamRead(id, kHeaderFieldsOffset, l.stream);
    if (std::memcmp(id, kIdText, kIdLength) != 0)
        return fail(l, std::string("not an XM module: it does not start with \"") + kIdText + "\"");
    copyName(m.title, id + 17, 20);
    copyName(m.trackerName, id + 38, 20);
    m.initialGlobalVolume = 64;

    seekTo(l.stream, kHeaderFieldsOffset);
    uint8_t h[4 + 8 + 264] = {};
    readBytes(l, h, int32_t(sizeof h));
    const uint32_t headerSize = le32(h);
    if (holds(l, kHeaderFieldsOffset, 4)) declare(l, 0, int64_t(kHeaderFieldsOffset) + headerSize);
    const uint16_t songLength = le16(h + 4);
    const uint16_t restartPosition = le16(h + 6);
    const uint16_t channels = le16(h + 8);
    const uint16_t filePatterns = le16(h + 10);
    const uint16_t instruments = le16(h + 12);
    m.flags = int16_t(le16(h + 14));
    m.defaultTempo = int16_t(le16(h + 16));
    m.defaultBpm = int16_t(le16(h + 18));
    std::memcpy(m.orders, h + 20, kMaxOrders);

    if (channels == 0) return fail(l, "no channels");
    if (channels > kMaxChannels)
        return fail(l, std::to_string(channels) + " channels, at most " + std::to_string(kMaxChannels));
    m.channelCount = int16_t(channels);

    // The order table has 256 entries. An empty list still plays entry 0, so it counts as one
    // entry: the pattern it names then exists.
    m.songLength = int16_t(std::clamp<int32_t>(songLength, 1, kMaxOrders));
    // Continuing past the list's end must land on an entry of the list.
    m.restartPosition = int16_t(restartPosition < m.songLength ? restartPosition : 0);
    // Further instruments could never be played, and stopping at 128 keeps the table small.
    m.instrumentCount = int16_t(std::min<int32_t>(instruments, kMaxInstruments));

    for (int32_t i = 0; i < m.songLength; ++i) m.patternsUsed = std::max<int32_t>(m.patternsUsed, m.orders[i] + 1);
    m.patternCount = std::max<int32_t>(filePatterns, m.patternsUsed);
    l.filePatterns = filePatterns;

    seekTo(l.stream, int64_t(kHeaderFieldsOffset) + headerSize);
    return true;
}

// The file's patterns, then empty 64-row ones for pattern numbers the orders name beyond them.
bool readPatterns(Loading& l, Module& m) {
    m.patterns = m.patternCount ? new Pattern[size_t(m.patternCount)]{} : nullptr;
    for (int32_t i = 0; i < l.filePatterns; ++i) {
        const int32_t start = streamTell(l.stream);
        uint8_t h[kPatternHeaderBytes] = {};
        readBytes(l, h, kPatternHeaderBytes);
        const uint32_t headerSize = le32(h);
        const uint16_t rows = le16(h + 5);
        const uint16_t packedSize = le16(h + 7);
        const int64_t dataStart = int64_t(start) + std::max<uint32_t>(headerSize, kPatternHeaderBytes);
        declare(l, start, holds(l, start, 4) ? dataStart : int64_t(start) + kPatternHeaderBytes);
        if (holds(l, start, kPatternHeaderBytes)) declare(l, dataStart, dataStart + packedSize);
        if (headerSize > uint32_t(kPatternHeaderBytes)) seekTo(l.stream, int64_t(start) + headerSize);
        Pattern& p = m.patterns[i];
        if (!allocateCells(l, p, rows, m.channelCount)) return false;
        if (packedSize != 0) decodeCells(l, p.cells, int64_t(rows) * m.channelCount);
    }
    for (int32_t i = l.filePatterns; i < m.patternCount; ++i)
        if (!allocateCells(l, m.patterns[i], kMissingPatternRows, m.channelCount)) return false;
    return true;
}

// The fields of a 40-byte sample header the loader uses.
struct SampleHeader {
    uint32_t lengthBytes;
    uint32_t loopStartBytes;
    uint32_t loopLengthBytes;
    uint8_t  volume;
    int8_t   finetune;
    uint8_t  type;  // bit 0 forward loop, bit 1 ping-pong loop, bit 4 16-bit data
    uint8_t  panning;
    int8_t   relativeNote;
    uint8_t  name[22];
};

SampleHeader readSampleHeader(Loading& l) {
    uint8_t b[kSampleHeaderBytes] = {};
    readBytes(l, b, kSampleHeaderBytes);
    SampleHeader h{le32(b), le32(b + 4), le32(b + 8), b[12], int8_t(b[13]), b[14], b[15], int8_t(b[16]), {}};
    std::memcpy(h.name, b + 18, sizeof h.name);
    return h;
}

// Lengths and loop in frames, from a header whose length is already limited to what the file
// holds. Afterwards a looping sample has 1 ≤ loopLength and loopStart + loopLength ≤ length, so
// the guard frame at that index lies inside the buffer's 8 spare frames.
Sample* makeSample(const SampleHeader& h, uint32_t lengthBytes) {
    Sample* s = new Sample{};
    s->volume = h.volume;
    s->finetune = h.finetune;
    s->panning = h.panning;
    s->relativeNote = h.relativeNote;
    copyName(s->name, h.name, sizeof h.name);
    s->loopType = 1;
    if (h.type & 1) s->loopType = 2;
    if (h.type & 2) s->loopType = 4;
    s->bitsPerSample = (h.type & 0x10) ? 16 : 8;

    s->length = lengthBytes;
    s->loopStart = h.loopStartBytes;
    s->loopLength = h.loopLengthBytes;
    if (s->loopType == 1) {
        s->loopStart = 0;
        s->loopLength = s->length;
    }
    if (s->bitsPerSample == 16) {
        s->length /= 2;
        s->loopStart /= 2;
        s->loopLength /= 2;
    }
    // A loop must lie inside the sample, or the mixer would read and the guard frame would be
    // written past the data: one starting at or past the end is no loop; one reaching past the
    // end is cut back to it.
    if (s->loopLength == 0 || s->loopStart >= s->length) {
        s->loopStart = 0;
        s->loopLength = s->length;
        s->loopType = 1;
    } else if (s->loopLength > s->length - s->loopStart) {
        s->loopLength = s->length - s->loopStart;
    }
    return s;
}

// Fills `s->data` from the stream or the callback, widens it to 16-bit frames, removes the delta
// coding of stream data and writes the loop's guard frame.
void readSampleData(Loading& l, Sample& s, int32_t instrument, int32_t slot) {
    const int32_t bytes = int32_t(int64_t(s.bitsPerSample) * s.length / 8);
    s.data = new int16_t[size_t(s.length) + kGuardFrames]{};
    uint8_t* raw = reinterpret_cast<uint8_t*>(s.data);
    if (l.sampleData) {
        l.sampleData(raw, bytes, s.bitsPerSample, instrument, slot);
        skip(l.stream, bytes);
    } else {
        streamRead(raw, bytes, l.stream);
    }

    if (s.bitsPerSample == 8) {
        // Backwards, so no byte is overwritten before it is widened: frame j occupies bytes 2j
        // and 2j + 1, at or after byte j.
        for (uint32_t j = s.length; j-- > 0;) s.data[j] = int16_t(int8_t(raw[j]) * 256);
        s.bitsPerSample = 16;
    } else {
        for (uint32_t j = 0; j < s.length; ++j) s.data[j] = int16_t(le16(raw + 2 * size_t(j)));
    }

    if (!l.sampleData) {
        uint16_t sum = 0;  // wraps modulo 65536, as the tracker's own 8- or 16-bit sums do
        for (uint32_t j = 0; j < s.length; ++j) {
            sum = uint16_t(sum + uint16_t(s.data[j]));
            s.data[j] = int16_t(sum);
        }
    }

    // The mixer interpolates one frame past the loop end without a special case.
    const uint32_t guard = s.loopStart + s.loopLength;
    if (s.loopType == 2) s.data[guard] = s.data[s.loopStart];
    if (s.loopType == 4) s.data[guard] = s.data[guard - 1];
}

bool readInstrument(Loading& l, Module& m, int32_t index) {
    Instrument& ins = m.instruments[index];
    std::fill(std::begin(ins.samples), std::end(ins.samples), &emptySample);

    const int32_t start = streamTell(l.stream);
    const uint32_t headerSize = read32(l);
    declare(l, start, int64_t(start) + (holds(l, start, 4) ? headerSize : uint32_t(kInstrumentFixedBytes)));
    uint8_t name[22] = {};
    readBytes(l, name, 22);
    copyName(ins.name, name, 22);
    skip(l.stream, 1);  // type
    const uint16_t sampleCount = read16(l);
    if (sampleCount > kMaxSamples)
        return fail(l, "instrument " + std::to_string(index + 1) + " has " + std::to_string(sampleCount) +
                           " samples, at most " + std::to_string(kMaxSamples));
    if (sampleCount == 0) {
        seekTo(l.stream, int64_t(start) + headerSize);
        return true;
    }

    const uint32_t sampleHeaderSize = std::max<uint32_t>(read32(l), kSampleHeaderBytes);
    readBytes(l, ins.sampleForNote, sizeof ins.sampleForNote);
    uint8_t b[2 * 48 + 16] = {};
    readBytes(l, b, int32_t(sizeof b));
    for (int32_t k = 0; k < kMaxEnvelopePoints; ++k) {
        ins.volumeEnvelope[k] = {le16(b + 4 * k), le16(b + 4 * k + 2)};
        ins.panningEnvelope[k] = {le16(b + 48 + 4 * k), le16(b + 48 + 4 * k + 2)};
    }
    const uint8_t* f = b + 96;
    ins.volumePointCount = f[0];
    ins.panningPointCount = f[1];
    ins.volumeSustainPoint = f[2];
    ins.volumeLoopStart = f[3];
    ins.volumeLoopEnd = f[4];
    ins.panningSustainPoint = f[5];
    ins.panningLoopStart = f[6];
    ins.panningLoopEnd = f[7];
    ins.volumeType = f[8];
    ins.panningType = f[9];
    ins.vibratoType = f[10];
    ins.vibratoSweep = f[11];
    ins.vibratoDepth = f[12];
    ins.vibratoRate = f[13];
    ins.volumeFadeout = le16(f + 14);

    // The envelope code indexes the 12 stored points by the count, the sustain point and the loop
    // points: a count beyond them is cut to 12, and a sustain or loop naming a point past the
    // count is switched off. An envelope of fewer than two points stays as the file has it: the
    // profile decides whether it plays (envelopeOn).
    auto limitEnvelope = [](uint8_t& count, uint8_t& type, uint8_t sustain, uint8_t loopStart, uint8_t loopEnd) {
        count = uint8_t(std::min<int32_t>(count, kMaxEnvelopePoints));
        if (sustain >= count) type &= uint8_t(~2);
        if (loopStart >= count || loopEnd >= count) type &= uint8_t(~4);
    };
    limitEnvelope(ins.volumePointCount, ins.volumeType, ins.volumeSustainPoint, ins.volumeLoopStart,
                  ins.volumeLoopEnd);
    limitEnvelope(ins.panningPointCount, ins.panningType, ins.panningSustainPoint, ins.panningLoopStart,
                  ins.panningLoopEnd);
    seekTo(l.stream, int64_t(start) + headerSize);

    // The sample headers, declared by the count and their size; each declares its data by its
    // length, all the data after the last header.
    const int64_t headersStart = int64_t(start) + headerSize;
    const int64_t dataStart = headersStart + int64_t(sampleCount) * sampleHeaderSize;
    if (holds(l, start, kInstrumentCountsBytes)) declare(l, headersStart, dataStart);
    SampleHeader headers[kMaxSamples];
    int64_t declaredData = 0;
    for (int32_t k = 0; k < sampleCount; ++k) {
        const int64_t at = headersStart + int64_t(k) * sampleHeaderSize;
        seekTo(l.stream, at);
        headers[k] = readSampleHeader(l);
        if (holds(l, at, 4)) declaredData += headers[k].lengthBytes;
    }
    declare(l, dataStart, dataStart + declaredData);
    seekTo(l.stream, dataStart);

    // Sample lengths are limited to the bytes the file still holds after the headers: past them
    // the data would be zeros anyway, and a length of 4 GiB must not become an allocation. Each
    // instrument starts after the previous one's data, so in all the samples get at most as many
    // bytes as the file has.
    int64_t bytesLeft = std::max(0, l.streamSize - streamTell(l.stream));
    Sample* made[kMaxSamples] = {};
    for (int32_t k = 0; k < sampleCount; ++k) {
        const uint32_t lengthBytes = uint32_t(std::min<int64_t>(headers[k].lengthBytes, bytesLeft));
        made[k] = makeSample(headers[k], lengthBytes);
        bytesLeft -= int64_t(made[k]->bitsPerSample) * made[k]->length / 8;
        ins.samples[k] = made[k];
        ins.sampleCount = k + 1;
    }
    // Samples without frames have no data to read; they count as 16-bit like every other.
    for (int32_t k = 0; k < sampleCount; ++k) {
        Sample& s = *made[k];
        if (s.length > 0)
            readSampleData(l, s, index, k);
        else
            s.bitsPerSample = 16;
    }
    return true;
}

bool parse(Loading& l, Module& m) {
    // The stream's size bounds what the file can hold; measured once, from the end.
    streamSeek(l.stream, 0, SeekOrigin::end);
    l.streamSize = streamTell(l.stream);
    l.cellsLeft = kMaxCells;

    if (!readHeader(l, m)) return false;
    if (!readPatterns(l, m)) return false;

    m.instruments = m.instrumentCount ? new Instrument[size_t(m.instrumentCount)]{} : nullptr;
    for (int32_t i = 0; i < m.instrumentCount; ++i)
        if (!readInstrument(l, m, i)) return false;
    m.missingBytes = l.missingBytes;
    return true;
}

}  // namespace

Module* loadModuleFromStream(ModuleStream* stream, SampleDataCallback sampleDataCallback, std::string* reason) {
    if (!stream) {
        if (reason) *reason = "no stream";
        return nullptr;
    }
    // Memory running out on the way leaves nothing behind: the stream is closed and what was made
    // of the module released before the failure goes on to the caller.
    Module* m = nullptr;
    Loading l{stream, 0, 0, 0, 0, sampleDataCallback, {}};
    bool ok = false;
    try {
        m = new Module{};
        ok = parse(l, *m);
    } catch (...) {
        streamClose(stream);
        freeModule(m);
        throw;
    }
    streamClose(stream);
    if (ok) return m;
    freeModule(m);
    if (reason) *reason = l.reason;
    return nullptr;
}

Module* loadModule(const StreamCallbacks& callbacks, const char* name, SampleDataCallback sampleDataCallback,
                   std::string* reason) {
    std::string why;
    Module* m = nullptr;
    if (!streamCallbacksComplete(callbacks)) {
        why = "the stream callbacks are incomplete";
    } else if (ModuleStream* stream = streamOpen(callbacks, name)) {
        m = loadModuleFromStream(stream, sampleDataCallback, &why);
    } else {
        why = std::string("cannot open \"") + (name ? name : "") + "\"";
    }
    if (!m && reason) *reason = why;
    return m;
}

Module* loadModuleFromMemory(const uint8_t* bytes, size_t size, SampleDataCallback sampleDataCallback,
                             std::string* reason) {
    return loadModuleFromStream(new ModuleStream{&memoryStreamCallbacks, memoryStreamOpen(bytes, size)},
                                sampleDataCallback, reason);
}

bool freeModule(Module* module) {
    if (!module) return false;
    if (module->instruments) {
        for (int32_t i = 0; i < module->instrumentCount; ++i) {
            const Instrument& ins = module->instruments[i];
            for (int32_t k = 0; k < ins.sampleCount; ++k) {
                if (ins.samples[k] == &emptySample) continue;
                delete[] ins.samples[k]->data;
                delete ins.samples[k];
            }
        }
        delete[] module->instruments;
    }
    if (module->patterns) {
        for (int32_t i = 0; i < module->patternCount; ++i) delete[] module->patterns[i].cells;
        delete[] module->patterns;
    }
    delete module;
    return true;
}
