// Writes the fuzzer's starting corpus: small modules built with the tests' writers, each with
// notes that sound under one effect type: XMs (looping 8- and 16-bit samples, envelopes,
// auto-vibrato, or one volume-column command, in both period scales), MODs (every signature's
// layout, and Soundtracker's) and S3Ms (8- and 16-bit, signed and unsigned, stereo and Adlib
// samples, fast slides and Amiga limits).
// Usage: make_seeds DIR
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/mod_writer.h"
#include "tests/support/s3m_writer.h"
#include "tests/support/xm_writer.h"

namespace {

XmSample loopedSample(uint8_t type, bool sixteenBits) {
    XmSample s;
    s.data = sixteenBits ? deltas16({0, 9000, 18000, 9000, 0, -9000, -18000, -9000})
                         : deltas8({0, 40, 80, 40, 0, -40, -80, -40});
    s.type = uint8_t(type | (sixteenBits ? 0x10 : 0));
    s.loopStart = sixteenBits ? 4 : 2;
    s.loopLength = sixteenBits ? 8 : 4;
    s.relativeNote = 3;
    s.finetune = -20;
    return s;
}

// Instrument 1: forward loop with a looping, sustained volume envelope and auto-vibrato.
// Instrument 2: ping-pong 16-bit loop with a panning envelope and fadeout.
// Instrument 3: one-shot sample; instrument 4: no samples.
std::vector<XmInstrument> instruments(uint8_t vibratoType) {
    XmInstrument a;
    a.samples = {loopedSample(1, false), loopedSample(0, false)};
    for (size_t n = 48; n < 96; ++n) a.sampleForNote[n] = 1;
    a.volumeEnvelope[0] = {0, 64};
    a.volumeEnvelope[1] = {4, 20};
    a.volumeEnvelope[2] = {8, 50};
    a.volumeEnvelope[3] = {12, 0};
    a.volumePointCount = 4;
    a.volumeSustainPoint = 1;
    a.volumeLoopStart = 1;
    a.volumeLoopEnd = 2;
    a.volumeType = 7;
    a.vibratoType = vibratoType;
    a.vibratoSweep = 3;
    a.vibratoDepth = 8;
    a.vibratoRate = 40;
    a.volumeFadeout = 0x400;

    XmInstrument b;
    b.samples = {loopedSample(2, true)};
    b.panningEnvelope[0] = {0, 0};
    b.panningEnvelope[1] = {6, 64};
    b.panningEnvelope[2] = {9, 32};
    b.panningPointCount = 3;
    b.panningType = 5;
    b.panningLoopStart = 0;
    b.panningLoopEnd = 2;
    b.volumeFadeout = 0x800;

    XmInstrument c;
    XmSample oneShot;
    oneShot.data = deltas8({0, 100, -100, 50, -50, 25, -25, 0, 10, -10, 5, -5});
    c.samples = {oneShot};

    return {a, b, c, XmInstrument{}};
}

// Four channels, 16 rows: notes with instruments and the given effect or volume byte on most
// rows, a key-off and a note change on the way.
XmPattern effectPattern(uint8_t effect, const std::vector<uint8_t>& params, uint8_t volume) {
    XmPattern p;
    p.rows = 16;
    p.cells.assign(16 * 4, XmCell{});
    for (int row = 0; row < 16; ++row) {
        for (int ch = 0; ch < 4; ++ch) {
            XmCell& c = p.cells[size_t(row) * 4 + ch];
            if ((row + ch) % 4 == 0) {
                c.note = uint8_t(37 + (row * 5 + ch * 7) % 48);
                c.instrument = uint8_t(1 + (row + ch) % 4);
            }
            if (row == 10 && ch == 1) c.note = 97;
            c.effectType = effect;
            c.effectParam = params[size_t(row + ch) % params.size()];
            if (volume) c.volume = uint8_t(volume + (row % 16));
        }
    }
    return p;
}

// MOD cells: notes with samples on some rows (within ProTracker's three octaves for Soundtracker,
// which knew no others), the effect on every row.
ModPattern modPattern(uint8_t effect, const std::vector<uint8_t>& params, int32_t channels, bool soundtracker) {
    ModPattern p;
    p.cells.resize(size_t(64 * channels));
    for (int row = 0; row < 64; ++row)
        for (int ch = 0; ch < channels; ++ch) {
            ModCell& c = p.cells[size_t(row * channels + ch)];
            if ((row + ch) % 4 == 0) {
                c.note = uint8_t(soundtracker ? 37 + (row * 5 + ch * 7) % 36 : 25 + (row * 5 + ch * 7) % 60);
                c.sample = uint8_t(1 + (row + ch) % 3);
            }
            c.effect = effect;
            c.param = params[size_t(row + ch) % params.size()];
        }
    return p;
}

std::vector<ModSample> modSamples() {
    ModSample looped, oneShot, empty;
    looped.data = {0, 40, 80, 40, 0, -40, -80, -40};
    looped.loopStart = 2;
    looped.loopLength = 6;
    looped.fineTune = -3;
    for (int i = 0; i < 64; ++i) oneShot.data.push_back(int8_t(i * 3 - 96));
    oneShot.volume = 40;
    return {looped, oneShot, empty};
}

// Four S3M channels like the MOD's, the effect a letter A…Z; instrument 3 is an Adlib one.
S3mLayout s3mSong(char effect, const std::vector<uint8_t>& params) {
    S3mLayout l;
    S3mPattern p;
    for (int row = 0; row < 64; ++row)
        for (int ch = 0; ch < 4; ++ch) {
            S3mCell c;
            c.row = row;
            c.channel = l.channels[size_t(ch)];
            if ((row + ch) % 4 == 0) {
                c.note = row % 16 == 12 ? 254 : s3mNote(1 + (row + ch) % 7, (row * 5 + ch) % 12);
                c.instrument = uint8_t(1 + (row + ch) % 4);
            }
            if (row % 3 == 1) c.volume = (row * 7) % 70;
            c.effect = effect;
            c.param = params[size_t(row + ch) % params.size()];
            p.cells.push_back(c);
        }
    l.patterns = {p, p};
    l.orders = {0, 254, 1, 0, 255};
    S3mSample looped, sixteen, adlib, stereo;
    looped.data = {0, 40, 80, 40, 0, -40, -80, -40};
    looped.loop = true;
    looped.loopStart = 2;
    looped.loopEnd = 8;
    looped.c2spd = 22050;
    sixteen.data = {0, 9000, 18000, 9000, 0, -9000, -18000, -9000};
    sixteen.sixteenBits = true;
    adlib.type = 2;
    stereo.data = {0, 50, 100, 50, 0, -50, -100, -50};
    stereo.stereo = true;
    l.samples = {looped, sixteen, adlib, stereo};
    return l;
}

bool write(const std::string& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_seeds DIR\n", stderr);
        return 1;
    }
    const std::string dir = argv[1];
    // Parameters that reach the remembered-value, nibble and limit cases of most effects.
    const std::vector<uint8_t> params = {0x00, 0x01, 0x37, 0xF0, 0x0F, 0x91, 0xFF, 0x40, 0x62, 0xD3, 0xE4, 0x5A, 0x1F, 0x2F};
    int written = 0;
    struct Variant {
        const char* name;
        uint16_t    flags, tempo, bpm;
    };
    // The fast variant runs 255 rows a second, so slides reach their limits within the few
    // seconds the fuzzer plays.
    const Variant variants[] = {{"linear", 1, 4, 150}, {"amiga", 0, 4, 150}, {"fast", 1, 1, 255}};
    for (uint8_t effect = 0; effect < 36; ++effect) {
        for (const Variant& v : variants) {
            XmLayout layout;
            layout.flags = v.flags;
            layout.tempo = v.tempo;
            layout.bpm = v.bpm;
            layout.orders = {0, 1, 0};
            layout.restartPosition = 1;
            layout.instruments = instruments(uint8_t(effect % 4));
            layout.patterns = {effectPattern(effect, params, 0), effectPattern(0, {0x00, 0x47}, 0)};
            if (!write(dir, "effect" + std::to_string(effect) + "-" + v.name + ".xm", buildXm(layout))) return 1;
            ++written;
        }
    }
    for (uint8_t volume = 0x10; volume != 0; volume = uint8_t(volume + 0x10)) {
        XmLayout layout;
        layout.tempo = 5;
        layout.instruments = instruments(0);
        layout.patterns = {effectPattern(0, {0x00}, volume)};
        if (!write(dir, "volume" + std::to_string(volume >> 4) + ".xm", buildXm(layout))) return 1;
        ++written;
    }
    // MODs: every effect, its extended ones by their parameters, in each signature's layout.
    struct ModVariant {
        const char* signature;
        int32_t     channels;
    };
    const ModVariant modVariants[] = {{"M.K.", 4}, {"8CHN", 8}, {"FLT8", 8}, {"12CH", 12}, {"", 4}};
    for (uint8_t effect = 0; effect < 16; ++effect) {
        for (const ModVariant& v : modVariants) {
            ModLayout layout;
            layout.signature = v.signature;
            layout.channels = v.channels;
            layout.orders = {0, 1, 0};
            layout.samples = modSamples();
            const bool soundtracker = v.signature[0] == '\0';
            layout.patterns = {modPattern(effect, params, v.channels, soundtracker),
                               modPattern(0, {0x00, 0x47}, v.channels, soundtracker)};
            const std::string name = "mod" + std::to_string(effect) + "-" + (v.signature[0] ? v.signature : "15");
            if (!write(dir, name + ".mod", buildMod(layout))) return 1;
            ++written;
        }
    }
    // S3Ms: every letter, with fast slides, Amiga limits or neither, signed or unsigned samples.
    for (char effect = 'A'; effect <= 'Z'; ++effect) {
        for (const uint16_t flags : {uint16_t(0), uint16_t(64), uint16_t(16)}) {
            S3mLayout layout = s3mSong(effect, params);
            layout.flags = flags;
            layout.sampleFormat = flags == 16 ? 1 : 2;
            if (!write(dir, std::string("s3m") + effect + "-" + std::to_string(flags) + ".s3m", buildS3m(layout)))
                return 1;
            ++written;
        }
    }
    std::printf("%d seed modules in %s\n", written, dir.c_str());
    return 0;
}
