#include "player/load/loader.h"

#include <algorithm>
#include <cstring>

#include "player/load/load_support.h"
#include "player/load/mod_loader.h"
#include "player/load/s3m_loader.h"
#include "player/load/stream.h"

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
constexpr int32_t kMissingPatternRows = 64;
constexpr int32_t kFormatHeadBytes = kModHeadBytes;  // what the formats are told by: MOD's signature ends last

// The 5-byte cells of one pattern, `count` of them in file order. The file's note 97 (key off)
// becomes 255; instruments above 128 become 0, effect types above 35 kNoEffect. Every cell takes
// at least one byte, so only the one pattern that runs into the end of the file decodes more
// cells than the file has bytes.
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
        if (c.effectType >= kS3mEffects) c.effectType = kNoEffect;
    }
}

bool readHeader(Loading& l, Module& m) {
    // The ID text, the module's name, 0x1A and the tracker's name.
    uint8_t id[kHeaderFieldsOffset] = {};
    seekTo(l.stream, 0);
    streamRead(id, kHeaderFieldsOffset, l.stream);
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
    // written past the data.
    limitLoop(*s);
    return s;
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
    int64_t left = bytesLeft(l);
    Sample* made[kMaxSamples] = {};
    for (int32_t k = 0; k < sampleCount; ++k) {
        const uint32_t lengthBytes = uint32_t(std::min<int64_t>(headers[k].lengthBytes, left));
        made[k] = makeSample(headers[k], lengthBytes);
        left -= int64_t(made[k]->bitsPerSample) * made[k]->length / 8;
        ins.samples[k] = made[k];
        ins.sampleCount = k + 1;
    }
    // Samples without frames have no data to read; they count as 16-bit like every other.
    for (int32_t k = 0; k < sampleCount; ++k) {
        Sample& s = *made[k];
        if (s.length > 0)
            readSampleData(l, s, index, k, SampleCoding::xmDeltas);
        else
            s.bitsPerSample = 16;
    }
    return true;
}

// What a file that is none of the three formats seems to be, for the refusal.
std::string refusalOf(const uint8_t* head, int32_t size) {
    struct Mark {
        const char* bytes;  // at the start of the file
        size_t      length;
        const char* what;
    };
    static constexpr Mark kMarks[] = {
        {"IMPM", 4, "an Impulse Tracker module (IT)"},
        {"Extended Instrument: ", 21, "an XM instrument (XI)"},
        {"MTM", 3, "a MultiTracker module (MTM)"},
        {"MMD0", 4, "an OctaMED module (MED)"},
        {"MMD1", 4, "an OctaMED module (MED)"},
        {"MMD2", 4, "an OctaMED module (MED)"},
        {"MMD3", 4, "an OctaMED module (MED)"},
        {"OKTASONG", 8, "an Oktalyzer module (OKT)"},
        {"FAR\xFE", 4, "a Farandole module (FAR)"},
        {"DBM0", 4, "a DigiBooster module (DBM)"},
        {"MO3", 3, "a compressed module (MO3)"},
        {"ziRCONia", 8, "an MMCMP-packed module (unpack it first)"},
        {"PP20", 4, "a PowerPacker-packed file (unpack it first)"},
        {"PK\x03\x04", 4, "a ZIP archive (unpack it first)"},
        {"\x1F\x8B", 2, "a gzip file (unpack it first)"},
        {"MThd", 4, "a MIDI file"},
        {"RIFF", 4, "a RIFF file (a WAV, for one)"},
        {"OggS", 4, "an Ogg file"},
        {"fLaC", 4, "a FLAC file"},
        {"ID3", 3, "an MP3 file"},
    };
    for (const Mark& mark : kMarks)
        if (size_t(size) >= mark.length && std::memcmp(head, mark.bytes, mark.length) == 0)
            return std::string(mark.what) + ", not an XM, MOD or S3M module";
    if (const std::string signature = unknownModSignature(head, size); !signature.empty())
        return "a MOD with the signature \"" + signature + "\", which the player does not know";
    return std::string("not an XM, MOD or S3M module: no \"") + kIdText +
           "\" at its start, no \"SCRM\" at byte 44, no MOD signature at byte 1080";
}

bool parseXm(Loading& l, Module& m) {
    if (!readHeader(l, m)) return false;
    if (!readPatterns(l, m)) return false;

    m.instruments = m.instrumentCount ? new Instrument[size_t(m.instrumentCount)]{} : nullptr;
    for (int32_t i = 0; i < m.instrumentCount; ++i)
        if (!readInstrument(l, m, i)) return false;
    return true;
}

// The module the file's content says it is: XM by its ID text, S3M by its mark at byte 44, MOD by
// its signature at byte 1080, or, without any of them, a Soundtracker module of 15 samples when
// every part of it fits; anything else is refused, naming what it seems to be.
bool parse(Loading& l, Module& m) {
    // The stream's size bounds what the file can hold; measured once, from the end.
    streamSeek(l.stream, 0, SeekOrigin::end);
    l.streamSize = streamTell(l.stream);
    l.cellsLeft = kMaxCells;

    uint8_t head[kFormatHeadBytes] = {};
    seekTo(l.stream, 0);
    const int32_t size = streamRead(head, kFormatHeadBytes, l.stream);
    bool ok = false;
    if (size >= kIdLength && std::memcmp(head, kIdText, kIdLength) == 0) {
        m.format = ModuleFormat::xm;
        ok = parseXm(l, m);
    } else if (isS3m(head, size)) {
        m.format = ModuleFormat::s3m;
        ok = parseS3m(l, m);
    } else if (const ModLayout layout = modLayoutOf(head, size); layout.channels > 0 || isSoundtracker(l)) {
        m.format = ModuleFormat::mod;
        ok = parseMod(l, m, layout);
    } else {
        l.notAModule = true;
        ok = fail(l, refusalOf(head, size));
    }
    m.missingBytes = l.missingBytes;
    if (ok && m.missingBytes > 0)
        m.warnings += "the file ends " + std::to_string(m.missingBytes) +
                      " bytes short of what its headers declare; they play as silence\n";
    return ok;
}

}  // namespace

Module* loadModuleFromStream(ModuleStream* stream, SampleDataCallback sampleDataCallback, std::string* reason,
                             bool* notAModule) {
    if (!stream) {
        if (reason) *reason = "no stream";
        return nullptr;
    }
    // Memory running out on the way leaves nothing behind: the stream is closed and what was made
    // of the module released before the failure goes on to the caller.
    Module* m = nullptr;
    Loading l{stream, 0, 0, 0, 0, sampleDataCallback, {}, false};
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
    if (notAModule) *notAModule = l.notAModule;
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
