#include "player/load/mod_loader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "player/play/pitch.h"

namespace {

constexpr int32_t kTitleBytes = 20;
constexpr int32_t kSampleHeaderBytes = 30;
constexpr int32_t kRows = 64;
constexpr int32_t kCellBytes = 4;
constexpr int32_t kOrderEntries = 128;
constexpr int32_t kSignatureOffset = 1080;

// Where the parts of the header lie, for 31 samples (with a signature) or 15 (without).
struct Header {
    int32_t samples;
    int32_t songLengthAt;  // then the restart byte and the 128 orders
    int32_t patternsAt;
};
constexpr Header kProtracker{31, kTitleBytes + 31 * kSampleHeaderBytes, kModHeadBytes};
constexpr Header kSoundtracker{15, kTitleBytes + 15 * kSampleHeaderBytes, kTitleBytes + 15 * kSampleHeaderBytes + 130};

// 0-based notes 36…71 are ProTracker's C-1…B-3; periods above and below its three octaves (other
// trackers write them) take the note whose period lies nearest, an octave's period being twice the
// next one's.
int32_t periodOfNote(int32_t note) {
    const int32_t index = note - kProtrackerFirstNote;
    if (index < 0) return protrackerPeriod(0, (index % 12 + 12) % 12) << ((11 - index) / 12);
    if (index >= 36) return protrackerPeriod(0, 24 + index % 12) >> ((index - 24) / 12);
    return protrackerPeriod(0, index);
}

// The 1-based note for a period in the pattern, 0 for none: the highest note whose period is at
// least the given one, or the next higher when the period lies nearer to that (by ratio).
uint8_t noteOfPeriod(int32_t period) {
    if (period == 0) return 0;
    int32_t n = 0;
    while (n + 1 < 96 && periodOfNote(n + 1) >= period) ++n;
    if (n + 1 < 96 && int64_t(period) * period < int64_t(periodOfNote(n)) * periodOfNote(n + 1)) ++n;
    return uint8_t(n + 1);
}

bool isText(const uint8_t* b, int32_t size) {
    for (int32_t i = 0; i < size; ++i)
        if (b[i] != 0 && (b[i] < 32 || b[i] > 126)) return false;
    return true;
}

bool isSignatureByte(uint8_t b) { return b >= 32 && b <= 126; }

int32_t digit(uint8_t b) { return b >= '0' && b <= '9' ? b - '0' : -1; }

// The patterns the orders name: one past the highest of all 128 entries, as ProTracker counts.
int32_t storedPatterns(const uint8_t* orders) {
    return *std::max_element(orders, orders + kOrderEntries) + 1;
}

// Soundtracker's periods: its three octaves, C-1…B-3, with room for a fine-tune either way.
bool soundtrackerPeriod(int32_t period) { return period == 0 || (period >= 108 && period <= 907); }

Cell cellOf(const uint8_t* b) {
    const int32_t period = (b[0] & 0x0F) << 8 | b[1];
    return Cell{noteOfPeriod(period), uint8_t((b[0] & 0xF0) | b[2] >> 4), 0, uint8_t(b[2] & 0x0F), b[3]};
}

// The patterns of `channels` channels, 64 rows each; FLT8 pairs two stored 4-channel patterns into
// one: the first gives channels 0…3, the second 4…7.
bool readPatterns(Loading& l, Module& m, int32_t stored, bool paired) {
    const int32_t channels = m.channelCount;
    const int32_t storedChannels = paired ? 4 : channels;
    std::vector<uint8_t> bytes(size_t(kRows) * size_t(storedChannels) * kCellBytes);
    for (int32_t s = 0; s < stored; ++s) {
        readDeclared(l, bytes.data(), int32_t(bytes.size()));
        const int32_t number = paired ? s / 2 : s;
        const int32_t firstChannel = paired ? (s % 2) * 4 : 0;
        Pattern& p = m.patterns[number];
        if (!p.cells && !allocateCells(l, p, kRows, channels)) return false;
        for (int32_t row = 0; row < kRows; ++row)
            for (int32_t c = 0; c < storedChannels; ++c)
                p.cells[size_t(row) * size_t(channels) + size_t(firstChannel + c)] =
                    cellOf(&bytes[(size_t(row) * size_t(storedChannels) + size_t(c)) * kCellBytes]);
    }
    return true;
}

// One sample header: name, length, fine-tune, volume, loop (lengths in 16-bit words, big-endian).
struct SampleHeader {
    uint8_t  name[22];
    uint32_t lengthBytes;
    int8_t   fineTune;  // −8…7
    uint8_t  volume;
    uint32_t loopStartBytes;
    uint32_t loopLengthBytes;
};

SampleHeader sampleHeaderAt(const uint8_t* b) {
    SampleHeader h{};
    std::memcpy(h.name, b, 22);
    h.lengthBytes = uint32_t(be16(b + 22)) * 2;
    h.fineTune = int8_t(int8_t(uint8_t(b[24] << 4)) >> 4);
    h.volume = b[25];
    h.loopStartBytes = uint32_t(be16(b + 26)) * 2;
    h.loopLengthBytes = uint32_t(be16(b + 28)) * 2;
    return h;
}

// A sample of 8-bit frames, `lengthBytes` of which the file holds. A loop of one word (2 bytes) is
// how the trackers write none. Soundtracker counted the loop start in bytes, not words: a loop
// that only fits that way is read so.
Sample* makeSample(const SampleHeader& h, uint32_t lengthBytes, bool soundtracker) {
    Sample* s = new Sample{};
    s->volume = std::min<uint8_t>(h.volume, 64);
    s->finetune = int8_t(h.fineTune * 16);  // XM's 1/128 semitone: ProTracker's steps are 1/8
    s->panning = 128;
    s->bitsPerSample = 8;
    s->length = lengthBytes;
    s->loopType = h.loopLengthBytes > 2 ? 2 : 1;
    s->loopStart = h.loopStartBytes;
    s->loopLength = s->loopType == 2 ? h.loopLengthBytes : 0;
    if (soundtracker && s->loopStart + s->loopLength > h.lengthBytes &&
        s->loopStart / 2 + s->loopLength <= h.lengthBytes)
        s->loopStart /= 2;
    limitLoop(*s);
    return s;
}

void setChannelPannings(Module& m) {
    // The Amiga's sides: channels 0 and 3 left, 1 and 2 right, and so on for every four; as most
    // players place them, a quarter of the way in from the edges rather than at them, which tire
    // the ears in headphones.
    for (int32_t c = 0; c < kMaxChannels; ++c) m.channelPanning[c] = (c % 4 == 0 || c % 4 == 3) ? 64 : 192;
}

}  // namespace

ModLayout modLayoutOf(const uint8_t* head, int32_t size) {
    if (size < kModHeadBytes) return {};
    const uint8_t* s = head + kSignatureOffset;
    const auto is = [s](const char* text) { return std::memcmp(s, text, 4) == 0; };
    if (is("M.K.") || is("M!K!")) return {4, false, "ProTracker"};
    if (is("FLT4")) return {4, false, "StarTrekker"};
    if (is("FLT8")) return {8, true, "StarTrekker"};
    if (is("OCTA") || is("CD81")) return {8, false, "Octalyser"};
    // xCHN: 1…9 channels; xxCH: 10…32.
    if (digit(s[0]) > 0 && std::memcmp(s + 1, "CHN", 3) == 0) return {digit(s[0]), false, "FastTracker"};
    const int32_t tens = digit(s[0]), ones = digit(s[1]);
    if (tens > 0 && ones >= 0 && s[2] == 'C' && s[3] == 'H' && tens * 10 + ones >= 10 &&
        tens * 10 + ones <= kMaxChannels)
        return {tens * 10 + ones, false, "FastTracker"};
    return {};
}

std::string unknownModSignature(const uint8_t* head, int32_t size) {
    if (size < kModHeadBytes) return "";
    const uint8_t* s = head + kSignatureOffset;
    for (int32_t i = 0; i < 4; ++i)
        if (!isSignatureByte(s[i]) || s[i] == ' ') return "";
    // A text-like signature beside sample headers, a song length and orders a MOD can have.
    if (head[kProtracker.songLengthAt] == 0 || head[kProtracker.songLengthAt] > kOrderEntries) return "";
    for (int32_t i = 0; i < kProtracker.samples; ++i) {
        const uint8_t* b = head + kTitleBytes + i * kSampleHeaderBytes;
        if (b[24] > 15 || b[25] > 64) return "";
    }
    const uint8_t* orders = head + kProtracker.songLengthAt + 2;
    if (std::any_of(orders, orders + kOrderEntries, [](uint8_t o) { return o >= kOrderEntries; })) return "";
    return std::string(reinterpret_cast<const char*>(s), 4);
}

bool isSoundtracker(Loading& l) {
    uint8_t h[kSoundtracker.patternsAt] = {};
    seekTo(l.stream, 0);
    if (streamRead(h, int32_t(sizeof h), l.stream) != int32_t(sizeof h)) return false;
    if (!isText(h, kTitleBytes)) return false;
    bool anySample = false;
    for (int32_t i = 0; i < kSoundtracker.samples; ++i) {
        const uint8_t* b = h + kTitleBytes + i * kSampleHeaderBytes;
        if (!isText(b, 22) || b[24] > 15 || b[25] > 64) return false;
        anySample = anySample || be16(b + 22) != 0;
    }
    const uint8_t songLength = h[kSoundtracker.songLengthAt];
    const uint8_t* orders = h + kSoundtracker.songLengthAt + 2;
    if (!anySample || songLength == 0 || songLength > kOrderEntries) return false;
    for (int32_t i = 0; i < kOrderEntries; ++i)
        if (orders[i] >= 64) return false;  // Soundtracker kept 64 patterns at most
    const int32_t patterns = storedPatterns(orders);
    if (int64_t(l.streamSize) < kSoundtracker.patternsAt + int64_t(patterns) * kRows * 4 * kCellBytes) return false;
    std::vector<uint8_t> cells(size_t(kRows) * 4 * kCellBytes);
    for (int32_t p = 0; p < patterns; ++p) {
        streamRead(cells.data(), int32_t(cells.size()), l.stream);
        for (size_t c = 0; c < cells.size(); c += kCellBytes)
            if ((cells[c] & 0xF0) != 0 || !soundtrackerPeriod((cells[c] & 0x0F) << 8 | cells[c + 1])) return false;
    }
    return true;
}

bool parseMod(Loading& l, Module& m, const ModLayout& layout) {
    const bool soundtracker = layout.channels == 0;
    const Header& header = soundtracker ? kSoundtracker : kProtracker;
    uint8_t h[kModHeadBytes] = {};
    seekTo(l.stream, 0);
    readDeclared(l, h, header.patternsAt);
    copyName(m.title, h, kTitleBytes);
    std::snprintf(m.trackerName, sizeof m.trackerName, "%s", soundtracker ? "Soundtracker" : layout.tracker);

    m.format = ModuleFormat::mod;
    m.flags = 0;  // Amiga periods
    m.defaultTempo = 6;
    m.defaultBpm = 125;
    m.initialGlobalVolume = 64;
    m.channelCount = int16_t(soundtracker ? 4 : layout.channels);
    setChannelPannings(m);

    // ProTracker starts the song over from its first entry: the restart byte is not read.
    const uint8_t* orders = h + header.songLengthAt + 2;
    m.songLength = int16_t(std::clamp<int32_t>(h[header.songLengthAt], 1, kOrderEntries));
    int32_t stored = storedPatterns(orders);
    for (int32_t i = 0; i < kOrderEntries; ++i) m.orders[i] = layout.pairedPatterns ? orders[i] / 2 : orders[i];
    if (layout.pairedPatterns) stored = (stored + 1) / 2 * 2;
    m.patternCount = layout.pairedPatterns ? stored / 2 : stored;
    for (int32_t i = 0; i < m.songLength; ++i) m.patternsUsed = std::max<int32_t>(m.patternsUsed, m.orders[i] + 1);
    m.patterns = new Pattern[size_t(m.patternCount)]{};
    if (!readPatterns(l, m, stored, layout.pairedPatterns)) return false;

    // One instrument of one sample for each sample slot, named for it.
    m.instrumentCount = int16_t(header.samples);
    m.instruments = new Instrument[size_t(header.samples)]{};
    int64_t left = bytesLeft(l);
    for (int32_t i = 0; i < header.samples; ++i) {
        const SampleHeader sh = sampleHeaderAt(h + kTitleBytes + i * kSampleHeaderBytes);
        Instrument& ins = m.instruments[i];
        std::fill(std::begin(ins.samples), std::end(ins.samples), &emptySample);
        copyName(ins.name, sh.name, 22);
        const uint32_t lengthBytes = uint32_t(std::min<int64_t>(sh.lengthBytes, left));
        l.missingBytes += int64_t(sh.lengthBytes) - lengthBytes;
        left -= lengthBytes;
        Sample* s = makeSample(sh, lengthBytes, soundtracker);
        ins.samples[0] = s;
        ins.sampleCount = 1;
        if (s->length > 0) readSampleData(l, *s, i, 0, SampleCoding::signedPcm);
        else s->bitsPerSample = 16;
    }
    return true;
}
