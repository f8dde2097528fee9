#include "player/load/s3m_loader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "maths/portable_math.h"

namespace {

constexpr int32_t kHeaderBytes = 96;         // up to the order list
constexpr int32_t kInstrumentBytes = 80;
constexpr int32_t kChannelSettings = 32;
constexpr int32_t kRows = 64;
constexpr int32_t kMaxPatterns = 256;
constexpr uint8_t kSkipOrder = 254;          // "+++": passed over
constexpr uint8_t kEndOrder = 255;           // "---": the song ends (and starts over)
constexpr uint8_t kHasPanningTable = 252;    // the default-panning byte when 32 pannings follow
constexpr uint16_t kFastSlidesFlag = 64;
constexpr uint16_t kAmigaLimitsFlag = 16;
constexpr uint16_t kFastSlidesVersion = 0x1300;  // ST3.00 slid volumes on every tick, whatever the flag
constexpr uint32_t kDefaultRate = 8363;      // Hz of C-4 for a sample that names none
constexpr uint8_t kPositionJump = kS3mEffects + 1;  // Bxx

// S3M's little-endian "parapointers" count 16-byte paragraphs.
int64_t paragraphs(uint32_t value) { return int64_t(value) * 16; }

std::string trackerOf(uint16_t version) {
    const char* names[] = {"", "Scream Tracker", "Imago Orpheus", "Impulse Tracker", "Schism Tracker", "OpenMPT"};
    const int32_t maker = version >> 12;
    if (maker < 1 || maker > 5) return "";
    char text[32];
    if (maker == 1 || maker == 3)
        std::snprintf(text, sizeof text, "%s %x.%02x", names[maker], (version >> 8) & 0x0F, version & 0xFF);
    else
        std::snprintf(text, sizeof text, "%s", names[maker]);
    return text;
}

// A channel setting: 0…7 left, 8…15 right (PCM), 16…31 Adlib; bit 7 or anything else: off.
bool channelOn(uint8_t setting) { return setting < 32; }

// The nearest XM transpose for a C-4 rate: relativeNote semitones and finetune 1/128 semitones
// (−64…64) such that 8363 × 2^((128 × relativeNote + finetune) / 1536) comes nearest the rate.
void transposeFor(Sample& s, uint32_t rate) {
    int32_t low = -128 * 128, high = 127 * 128;  // the steps, in 1/128 semitone
    while (low < high) {
        const int32_t mid = low + (high - low + 1) / 2;
        if (8363.0 * portableExp2(mid / 1536.0) <= double(rate)) low = mid;
        else high = mid - 1;
    }
    // low: the last step at or below the rate; low + 1 may lie nearer.
    const double below = 8363.0 * portableExp2(low / 1536.0), above = 8363.0 * portableExp2((low + 1) / 1536.0);
    const int32_t steps = double(rate) - below <= above - double(rate) ? low : low + 1;
    const int32_t note = std::clamp((steps + (steps >= 0 ? 64 : -64)) / 128, -128, 127);
    s.relativeNote = int8_t(note);
    s.finetune = int8_t(std::clamp(steps - note * 128, -128, 127));
}

// One packed row after another: a byte with the channel (bits 0…4) and what follows: note and
// instrument (bit 5), volume (bit 6), effect and parameter (bit 7); 0 ends the row.
void decodePattern(const std::vector<uint8_t>& data, Cell* cells, const int8_t* channelOf, int32_t channels) {
    size_t at = 0;
    const auto next = [&]() -> uint8_t { return at < data.size() ? data[at++] : 0; };
    for (int32_t row = 0; row < kRows && at < data.size(); ++row) {
        for (uint8_t what = next(); what != 0; what = next()) {
            Cell c{};
            if (what & 0x20) {
                const uint8_t note = next();
                c.instrument = next();
                if (note == 254) c.note = 255;  // ^^^, the note cut
                else if (note >> 4 <= 7 && (note & 0x0F) < 12) c.note = uint8_t((note >> 4) * 12 + (note & 0x0F) + 1);
            }
            if (what & 0x40) c.volume = uint8_t(0x10 + std::min<uint8_t>(next(), 64));
            if (what & 0x80) {
                const uint8_t command = next(), parameter = next();
                if (command >= 1 && command <= 26) {
                    c.effectType = uint8_t(kS3mEffects + command - 1);
                    c.effectParam = parameter;
                }
            }
            const int8_t channel = channelOf[what & 0x1F];
            if (channel >= 0 && channel < channels) cells[size_t(row) * size_t(channels) + size_t(channel)] = c;
        }
    }
}

bool readPatterns(Loading& l, Module& m, const std::vector<uint16_t>& pointers, const int8_t* channelOf) {
    m.patterns = new Pattern[size_t(m.patternCount)]{};
    for (int32_t i = 0; i < m.patternCount; ++i) {
        if (!allocateCells(l, m.patterns[i], kRows, m.channelCount)) return false;
        if (size_t(i) >= pointers.size() || pointers[size_t(i)] == 0) continue;  // an empty pattern
        seekTo(l.stream, paragraphs(pointers[size_t(i)]));
        // The packed length counts its own two bytes; what the file lacks of it reads as rows' ends.
        const uint16_t packed = readDeclared16(l);
        std::vector<uint8_t> data(packed > 2 ? packed - 2 : 0);
        readDeclared(l, data.data(), int32_t(data.size()));
        decodePattern(data, m.patterns[i].cells, channelOf, m.channelCount);
    }
    return true;
}

// The order list without its skip markers, up to its end marker. Bxx names an entry of the file's
// list; it is made to name the entry that plays there.
void readOrders(Module& m, const std::vector<uint8_t>& file, std::vector<uint8_t>& entryFor) {
    int32_t n = 0;
    entryFor.assign(256, 0);
    bool ended = false;
    for (size_t i = 0; i < file.size(); ++i) {
        if (i < 256) entryFor[i] = uint8_t(std::min(n, 255));
        if (ended || file[i] == kSkipOrder) continue;
        if (file[i] == kEndOrder || n == 256) {
            ended = true;
            continue;
        }
        m.orders[n++] = file[i];
    }
    // Entries past the file's list lead past the end: the song starts over.
    for (size_t i = file.size(); i < 256; ++i) entryFor[i] = uint8_t(std::min(n, 255));
    // An empty list still plays entry 0, as XM's does.
    m.songLength = int16_t(std::max(n, 1));
    for (int32_t i = 0; i < m.songLength; ++i) m.patternsUsed = std::max<int32_t>(m.patternsUsed, m.orders[i] + 1);
}

bool readSample(Loading& l, Module& m, int32_t index, bool unsignedData, int32_t& adlib) {
    Instrument& ins = m.instruments[index];
    std::fill(std::begin(ins.samples), std::end(ins.samples), &emptySample);
    uint8_t h[kInstrumentBytes] = {};
    readDeclared(l, h, kInstrumentBytes);
    copyName(ins.name, h + 48, 22);
    const uint8_t type = h[0];
    if (type >= 2 && type <= 7) ++adlib;
    if (type != 1) return true;  // empty, or an Adlib instrument: silent

    Sample* s = new Sample{};
    ins.samples[0] = s;
    ins.sampleCount = 1;
    const uint8_t flags = h[31];
    const uint32_t rate = le32(h + 32) ? le32(h + 32) : kDefaultRate;
    s->volume = std::min<uint8_t>(h[28], 64);
    s->panning = 128;
    s->middleCRate = rate;
    transposeFor(*s, rate);
    s->bitsPerSample = (flags & 4) ? 16 : 8;
    // The loop's end is its first frame past it.
    s->loopType = (flags & 1) ? 2 : 1;
    s->loopStart = (flags & 1) ? le32(h + 20) : 0;
    s->loopLength = (flags & 1) && le32(h + 24) > s->loopStart ? le32(h + 24) - s->loopStart : 0;
    if (h[30] != 0) m.warnings += "sample " + std::to_string(index + 1) + " is packed, which the player does not unpack: it plays silent\n";
    // Lengths count frames; a stereo sample's right frames follow its left ones, and only those are
    // played. What the file does not hold is left out.
    const int64_t at = paragraphs(uint32_t(h[13]) << 16 | le16(h + 14));
    const int64_t frameBytes = s->bitsPerSample / 8;
    const int64_t held = std::max<int64_t>(0, l.streamSize - at) / frameBytes;
    const uint32_t length = h[30] != 0 ? 0 : le32(h + 16);
    s->length = uint32_t(std::min<int64_t>(length, held));
    l.missingBytes += (int64_t(length) - s->length) * frameBytes;
    limitLoop(*s);
    if (s->length == 0) {
        s->bitsPerSample = 16;
        return true;
    }
    seekTo(l.stream, at);
    readSampleData(l, *s, index, 0, unsignedData ? SampleCoding::unsignedPcm : SampleCoding::signedPcm);
    return true;
}

}  // namespace

bool isS3m(const uint8_t* head, int32_t size) { return size >= 48 && std::memcmp(head + 44, "SCRM", 4) == 0; }

bool parseS3m(Loading& l, Module& m) {
    uint8_t h[kHeaderBytes] = {};
    seekTo(l.stream, 0);
    readDeclared(l, h, kHeaderBytes);
    copyName(m.title, h, 20);  // of its 28 bytes, the 20 a title holds here
    const uint16_t orderCount = le16(h + 32), instrumentCount = le16(h + 34), patternCount = le16(h + 36);
    const uint16_t flags = le16(h + 38), version = le16(h + 40), sampleFormat = le16(h + 42);
    std::snprintf(m.trackerName, sizeof m.trackerName, "%s", trackerOf(version).c_str());

    // The enabled channels, in their order.
    int8_t channelOf[kChannelSettings];
    int32_t channels = 0;
    for (int32_t i = 0; i < kChannelSettings; ++i) channelOf[i] = channelOn(h[64 + i]) ? int8_t(channels++) : int8_t(-1);
    if (channels == 0) return fail(l, "no channels: every channel of the S3M is off");
    m.channelCount = int16_t(channels);

    m.format = ModuleFormat::s3m;
    m.flags = 0;  // Amiga periods
    m.initialGlobalVolume = std::min<uint8_t>(h[48], 64);
    // A speed of 0 or 255 and a tempo below 33 cannot be played: the tracker's own 6 and 125.
    m.defaultTempo = h[49] == 0 || h[49] == 255 ? 6 : h[49];
    m.defaultBpm = h[50] < 33 ? 125 : h[50];
    m.fastVolumeSlides = (flags & kFastSlidesFlag) || version == kFastSlidesVersion;
    m.amigaLimits = flags & kAmigaLimitsFlag;

    std::vector<uint8_t> orders(orderCount);
    readDeclared(l, orders.data(), int32_t(orders.size()));
    std::vector<uint16_t> instrumentAt(instrumentCount), patternAt(patternCount);
    for (uint16_t& p : instrumentAt) p = readDeclared16(l);
    for (uint16_t& p : patternAt) p = readDeclared16(l);
    uint8_t pannings[kChannelSettings] = {};
    if (h[53] == kHasPanningTable) readDeclared(l, pannings, kChannelSettings);

    // Left channels at 3 and right ones at 12 (of 0…15) unless the table names another place; a
    // module without the stereo bit (7 of the master volume) plays every channel in the centre.
    const bool stereo = h[51] & 0x80;
    for (int32_t i = 0; i < kChannelSettings; ++i) {
        if (channelOf[i] < 0) continue;
        int32_t place = (h[64 + i] & 0x0F) < 8 ? 3 : 12;
        if (h[64 + i] >= 16) place = 8;  // Adlib channels
        if (pannings[i] & 0x20) place = pannings[i] & 0x0F;
        m.channelPanning[channelOf[i]] = uint8_t(stereo ? place * 17 : 128);
    }

    std::vector<uint8_t> entryFor;
    readOrders(m, orders, entryFor);
    // The orders name patterns by a byte: further ones could never play.
    m.patternCount = std::max<int32_t>(std::min<int32_t>(patternCount, kMaxPatterns), m.patternsUsed);
    if (!readPatterns(l, m, patternAt, channelOf)) return false;
    for (int32_t p = 0; p < m.patternCount; ++p)
        for (int32_t i = 0; i < m.patterns[p].rowCount * m.channelCount; ++i)
            if (Cell& c = m.patterns[p].cells[i]; c.effectType == kPositionJump) c.effectParam = entryFor[c.effectParam];

    // Further instruments could never be played: cells name 1…128.
    m.instrumentCount = int16_t(std::min<int32_t>(instrumentCount, kMaxInstruments));
    m.instruments = m.instrumentCount ? new Instrument[size_t(m.instrumentCount)]{} : nullptr;
    int32_t adlib = 0;
    for (int32_t i = 0; i < m.instrumentCount; ++i) {
        seekTo(l.stream, paragraphs(instrumentAt[size_t(i)]));
        if (!readSample(l, m, i, sampleFormat != 1, adlib)) return false;
    }
    if (adlib > 0)
        m.warnings += std::to_string(adlib) + (adlib == 1 ? " Adlib instrument" : " Adlib instruments") +
                      " not synthesised: " + (adlib == 1 ? "it plays" : "they play") + " silent\n";
    return true;
}
