#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "player/load/loader.h"
#include "player/module.h"
#include "player/playback.h"
#include "player/mix/render.h"
#include "player/play/sequencer.h"
#include "mod_writer.h"
#include "s3m_writer.h"
#include "song_fixture.h"

// Modules built to break a player, each with what the player promises to do with it: refuse it
// with a reason, or load it (clamped where a value cannot be played) and play it. Every case runs
// from a buffer of exactly the file's size, so AddressSanitizer sees any read past the file, and
// plays through the real render loop while its ticks are counted.

namespace {

// Bytes as the file stores them, little-endian, in place.
void poke32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// Four channels, tempo 6, BPM 125: instrument 1 a forward-looping 8-bit tone, instrument 2 a
// ping-pong 16-bit one; notes on row 0 of every channel and on row 8 of channel 0.
XmLayout baseSong() {
    XmLayout layout;
    layout.channels = 4;
    XmInstrument pingPong;
    XmSample s;
    s.data = deltas16({0, 6000, 12000, 18000, 12000, 6000, 0, -6000, -12000, -18000, -12000, -6000, 0, 3000, 0, -3000});
    s.type = 0x12;
    s.loopStart = 8;    // bytes: frame 4
    s.loopLength = 16;  // bytes: frames 4…11
    pingPong.samples = {s};
    layout.instruments = {toneInstrument(), pingPong};
    layout.patterns = {pattern(16, 4, {{0, XmCell{49, 1, 0, 0, 0}},
                                     {1, XmCell{53, 2, 0, 0, 0}},
                                     {2, XmCell{56, 1, 0, 0, 0}},
                                     {3, XmCell{61, 2, 0, 0, 0}},
                                     {8 * 4, XmCell{51, 1, 0, 0, 0}}})};
    return layout;
}

// The base song with every cell of channel `channel` on `rows` rows of pattern 0 set to `cell`.
void fillChannel(XmLayout& layout, int channel, XmCell cell, int rows = 16) {
    for (int row = 0; row < rows; ++row) {
        XmCell& c = layout.patterns[0].cells[size_t(row) * layout.channels + size_t(channel)];
        const uint8_t note = c.note, instrument = c.instrument;
        c = cell;
        if (note && !cell.note) c.note = note, c.instrument = instrument;  // keep the notes that start
    }
}

// Orders 0, 1, 1, 1, …: pattern 0 starts the notes, pattern 1 holds `effect(channel)` on every
// row of every channel and repeats for as long as the song plays.
void slideForever(XmLayout& layout, XmCell (*effect)(int channel)) {
    layout.patterns[0].cells[8 * 4] = XmCell{};
    layout.patterns.push_back(pattern(16, 4, {}));
    for (int ch = 0; ch < 4; ++ch) {
        fillChannel(layout, ch, effect(ch));
        for (int row = 0; row < 16; ++row) layout.patterns[1].cells[size_t(row) * 4 + size_t(ch)] = effect(ch);
    }
    layout.orders = {0, 1};
    layout.restartPosition = 1;
}

// F frames hold at most F / shortestTick + 1 ticks. Fxx sets BPMs of 32 to 255 only, so no tick
// is shorter than the file's own BPM makes it, or than the 432 frames of BPM 255.
int64_t tickBound(int64_t frames, int32_t shortestTick) { return frames / shortestTick + 1; }

int32_t shortestTick(const Module& m) {
    const std::unique_ptr<Playback> probe = std::make_unique<Playback>();
    setBpm(*probe, m.defaultBpm);
    return std::min(probe->framesPerTick, 432);
}

enum class Outcome {
    refused,  // loadModule says no, with `reason`
    plays,    // loads and makes sound
    silent,   // loads and plays, but nothing in it can sound
    loads,    // loads and plays; what it sounds like is not promised
};

struct Case {
    const char*                                name;
    std::function<void(XmLayout&)>               change;    // to the base song
    std::function<void(std::vector<uint8_t>&)> damage;    // then to its bytes
    Outcome                                    outcome;
    std::string                                reason;    // refused: the loader's words
    std::function<void(const Module&)>         promise;   // loaded: what was clamped, and how
    int                                        seconds;   // played after the two-second ring
};

// Plays `m` from its start through the render loop, block by block: two seconds (the demo's ring),
// then `seconds` more, one second at a time. Every stretch is checked against the tick bound; a
// module that made the mixer hang would run into the test's time limit (tests/CMakeLists.txt).
void playAndCheck(const Module& m, int seconds, Outcome outcome, const PlaybackProfile& profile = defaultProfile) {
    const int32_t shortest = shortestTick(m);
    const std::unique_ptr<Playback> playback = std::make_unique<Playback>();
    Playback& p = *playback;
    startPlayback(p, m, profile);
    int64_t ticks = 0;
    p.tickReport = [](const Playback&, void* counter) { ++*static_cast<int64_t*>(counter); };
    p.tickReportUser = &ticks;
    std::vector<float> mix(2 * size_t(kBlockFrames));
    std::vector<int16_t> pcm(2 * size_t(kBlockFrames));
    bool sound = false;
    const auto play = [&](int blocks) {
        for (int b = 0; b < blocks; ++b) {
            renderMixBlock(p, mix.data(), pcm.data());
            sound = sound || std::any_of(pcm.begin(), pcm.end(), [](int16_t v) { return v != 0; });
        }
    };
    play(100);
    EXPECT_LE(ticks, tickBound(100 * kBlockFrames, shortest)) << "ticks in the first two seconds";
    for (int second = 0; second < seconds; ++second) {
        const int64_t ticksBefore = ticks;
        play(50);  // 50 blocks of 884 frames: one second of audio
        ASSERT_LE(ticks - ticksBefore, tickBound(50 * kBlockFrames, shortest)) << "second " << second;
    }
    if (outcome == Outcome::plays) { EXPECT_TRUE(sound) << "nothing sounded"; }
    if (outcome == Outcome::silent) { EXPECT_FALSE(sound) << "something sounded"; }
}

// Loads `bytes` from a buffer of exactly their size, so a read past the file's end is a sanitizer
// finding, and holds a case's promise: refused with `reason`, or loaded, clamped as `promise` checks
// and played `seconds` seconds past the ring with each of `profiles`.
void expectPromise(const std::vector<uint8_t>& bytes, Outcome outcome, const std::string& reason,
                   const std::function<void(const Module&)>& promise, int seconds,
                   const std::vector<PlaybackProfile>& profiles) {
    const std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
    std::memcpy(exact.get(), bytes.data(), bytes.size());
    std::string why;
    Module* m = loadModuleFromMemory(exact.get(), bytes.size(), nullptr, &why);
    if (outcome == Outcome::refused) {
        EXPECT_EQ(m, nullptr);
        EXPECT_EQ(why, reason);
        freeModule(m);
        return;
    }
    ASSERT_NE(m, nullptr) << why;
    if (promise) promise(*m);
    for (const PlaybackProfile& profile : profiles) playAndCheck(*m, seconds, outcome, profile);
    freeModule(m);
}

TEST(HostileModules, AreRefusedOrClampedAndPlayedWithinBoundedTicks) {
    using B = std::vector<uint8_t>;
    const Case cases[] = {
        // The header.
        {"header size pointing past the end", nullptr, [](B& b) { poke32(b, 60, 0x7FFFFFF0); }, Outcome::silent, "",
         [](const Module& m) {
             EXPECT_EQ(m.patterns[0].rowCount, 0) << "nothing left to read: no rows";
             EXPECT_EQ(m.instruments[0].sampleCount, 0);
         },
         1},
        {"header size 2^32 - 1", nullptr, [](B& b) { poke32(b, 60, 0xFFFFFFFF); }, Outcome::silent, "", nullptr, 1},
        {"header size 0: the patterns are read from the header's own bytes", nullptr, [](B& b) { poke32(b, 60, 0); },
         Outcome::loads, "", nullptr, 1},
        {"song length 0 plays entry 0", [](XmLayout& s) { s.songLength = 0; }, nullptr, Outcome::plays, "",
         [](const Module& m) { EXPECT_EQ(m.songLength, 1); }, 1},
        {"song length 300 is cut to the 256 entries of the order table", [](XmLayout& s) { s.songLength = 300; },
         nullptr, Outcome::plays, "", [](const Module& m) { EXPECT_EQ(m.songLength, 256); }, 1},
        {"song length 65535", [](XmLayout& s) { s.songLength = 65535; }, nullptr, Outcome::plays, "",
         [](const Module& m) { EXPECT_EQ(m.songLength, 256); }, 1},
        {"restart position past the song", [](XmLayout& s) { s.restartPosition = 40000; }, nullptr, Outcome::plays, "",
         [](const Module& m) { EXPECT_EQ(m.restartPosition, 0); }, 1},
        {"no channels", [](XmLayout& s) { s.channels = 0; }, nullptr, Outcome::refused, "no channels", nullptr, 0},
        {"33 channels", [](XmLayout& s) { s.channels = 33; }, nullptr, Outcome::refused, "33 channels, at most 32",
         nullptr, 0},
        {"65535 channels", [](XmLayout& s) { s.channels = 65535; }, nullptr, Outcome::refused,
         "65535 channels, at most 32", nullptr, 0},

        // Patterns.
        {"no patterns: those the orders name are 64 empty rows",
         [](XmLayout& s) {
             s.patterns.clear();
             s.orders = {0, 3};
         },
         nullptr, Outcome::silent, "",
         [](const Module& m) {
             ASSERT_EQ(m.patternCount, 4);
             EXPECT_EQ(m.patterns[3].rowCount, 64);
         },
         1},
        {"65535 patterns declared, one stored", [](XmLayout& s) { s.patternCount = 65535; }, nullptr, Outcome::loads,
         "", [](const Module& m) { EXPECT_EQ(m.patternCount, 65535); }, 1},
        {"a pattern of 0 rows plays as one empty row",
         [](XmLayout& s) {
             s.patterns.insert(s.patterns.begin(), XmPattern{0, {}, XmPacking::packed, std::nullopt, std::nullopt});
             s.orders = {0, 1, 0};
         },
         nullptr, Outcome::plays, "", [](const Module& m) { EXPECT_EQ(m.patterns[0].cells, nullptr); }, 2},
        {"a pattern of 65535 empty rows",
         [](XmLayout& s) {
             s.patterns.push_back(XmPattern{65535, {}, XmPacking::packed, std::nullopt, std::nullopt});
             s.orders = {0, 1};
         },
         nullptr, Outcome::plays, "", [](const Module& m) { EXPECT_EQ(m.patterns[1].rowCount, 65535); }, 1},
        {"65535 rows whose packed data runs past the file's end",
         [](XmLayout& s) {
             s.instruments.clear();
             s.patterns[0].rows = 65535;
         },
         [](B& b) { b.erase(b.end() - 3, b.end()); }, Outcome::silent, "",
         [](const Module& m) {
             const Pattern& p = m.patterns[0];
             ASSERT_EQ(p.rowCount, 65535);
             EXPECT_EQ(p.cells[0].note, 49) << "what the file holds is decoded";
             EXPECT_EQ(p.cells[size_t(p.rowCount) * 4 - 1].note, 0) << "what it does not hold is empty";
         },
         2},
        {"notes above 97 select no sample",
         [](XmLayout& s) {
             s.patterns[0].cells[0].note = 98;
             s.patterns[0].cells[1].note = 150;
             s.patterns[0].cells[2].note = 254;
             s.patterns[0].cells[3].note = 128;
             s.patterns[0].cells[8 * 4].note = 200;
         },
         nullptr, Outcome::silent, "", [](const Module& m) { EXPECT_EQ(m.patterns[0].cells[1].note, 150); }, 1},
        {"instrument numbers above the instrument count play nothing",
         [](XmLayout& s) {
             for (int ch = 0; ch < 4; ++ch) s.patterns[0].cells[size_t(ch)].instrument = uint8_t(3 + 60 * ch);
             s.patterns[0].cells[8 * 4].instrument = 0;
         },
         nullptr, Outcome::silent, "",
         [](const Module& m) {
             EXPECT_EQ(m.patterns[0].cells[1].instrument, 63);
             EXPECT_EQ(m.patterns[0].cells[3].instrument, 0) << "183 is no instrument number";
         },
         1},

        // Instruments and samples.
        {"an instrument with 17 samples", [](XmLayout& s) { s.instruments[1].sampleCount = 17; }, nullptr,
         Outcome::refused, "instrument 2 has 17 samples, at most 16", nullptr, 0},
        {"an instrument with 300 samples", [](XmLayout& s) { s.instruments[0].sampleCount = 300; }, nullptr,
         Outcome::refused, "instrument 1 has 300 samples, at most 16", nullptr, 0},
        {"a sample length of 2^31 gets the bytes the file holds",
         [](XmLayout& s) { s.instruments[1].samples[0].length = 0x80000000u; }, nullptr, Outcome::plays, "",
         [](const Module& m) { EXPECT_EQ(m.instruments[1].samples[0]->length, 16u); }, 1},
        {"an odd 16-bit length drops its last byte",
         [](XmLayout& s) {
             XmSample& smp = s.instruments[1].samples[0];
             smp.data.push_back(0x7F);
             smp.type = 0x10;
         },
         nullptr, Outcome::plays, "",
         [](const Module& m) {
             EXPECT_EQ(m.instruments[1].samples[0]->length, 16u);
             EXPECT_EQ(m.instruments[1].samples[0]->loopLength, 16u);
         },
         1},
        {"a loop starting beyond the sample is no loop",
         [](XmLayout& s) { s.instruments[1].samples[0].loopStart = 4000; }, nullptr, Outcome::plays, "",
         [](const Module& m) {
             const Sample& smp = *m.instruments[1].samples[0];
             EXPECT_EQ(smp.loopType, 1);
             EXPECT_EQ(smp.loopStart, 0u);
             EXPECT_EQ(smp.loopLength, 16u);
         },
         1},
        {"a loop reaching beyond the sample ends with it",
         [](XmLayout& s) { s.instruments[1].samples[0].loopLength = 0xFFFFFFF0u; }, nullptr, Outcome::plays, "",
         [](const Module& m) {
             const Sample& smp = *m.instruments[1].samples[0];
             EXPECT_EQ(smp.loopType, 4);
             EXPECT_EQ(smp.loopStart + smp.loopLength, 16u);
         },
         1},
        {"envelopes of 13 and 255 points keep 12, and indices past them switch off",
         [](XmLayout& s) {
             XmInstrument& ins = s.instruments[0];
             for (int k = 0; k < 12; ++k) ins.volumeEnvelope[size_t(k)] = {uint16_t(3 * k), uint16_t(64 - 5 * k)};
             for (int k = 0; k < 12; ++k) ins.panningEnvelope[size_t(k)] = {uint16_t(2 * k), uint16_t(k * 5)};
             ins.volumePointCount = 13;
             ins.panningPointCount = 255;
             ins.volumeSustainPoint = 12;
             ins.volumeLoopStart = 2;
             ins.volumeLoopEnd = 200;
             ins.panningSustainPoint = 3;
             ins.panningLoopStart = 12;
             ins.panningLoopEnd = 5;
             ins.volumeType = ins.panningType = 7;
         },
         nullptr, Outcome::plays, "",
         [](const Module& m) {
             const Instrument& ins = m.instruments[0];
             EXPECT_EQ(ins.volumePointCount, 12);
             EXPECT_EQ(ins.panningPointCount, 12);
             EXPECT_EQ(ins.volumeType, 1) << "sustain 12 and loop end 200 name no point";
             EXPECT_EQ(ins.panningType, 3) << "loop start 12 names no point";
         },
         1},

        // Timing.
        {"BPM 0 plays as BPM 1: one tick per 2.5 s", [](XmLayout& s) { s.bpm = 0; }, nullptr, Outcome::plays, "",
         [](const Module& m) { EXPECT_EQ(m.defaultBpm, 0); }, 3},
        {"BPM 255", [](XmLayout& s) { s.bpm = 255; }, nullptr, Outcome::plays, "", nullptr, 2},
        {"BPM 32767 in the header: a tick every 3 frames", [](XmLayout& s) { s.bpm = 32767; }, nullptr,
         Outcome::plays, "", nullptr, 2},
        {"BPM 65535 in the header reads as -1 and plays as BPM 1", [](XmLayout& s) { s.bpm = 65535; }, nullptr,
         Outcome::plays, "", [](const Module& m) { EXPECT_EQ(m.defaultBpm, -1); }, 3},
        {"tempo 0 makes every tick a row tick", [](XmLayout& s) { s.tempo = 0; }, nullptr, Outcome::plays, "", nullptr,
         2},
        {"tempo 255", [](XmLayout& s) { s.tempo = 255; }, nullptr, Outcome::plays, "", nullptr, 2},
        {"F01 and F20 on every row of every channel",
         [](XmLayout& s) {
             for (int ch = 0; ch < 4; ++ch) fillChannel(s, ch, XmCell{0, 0, 0, 15, uint8_t(ch % 2 ? 0x20 : 0x01)});
         },
         nullptr, Outcome::plays, "", nullptr, 2},

        // Effects pushed to their limits.
        {"9xx far beyond the sample's end does not start the note",
         [](XmLayout& s) {
             for (int ch = 0; ch < 4; ++ch) s.patterns[0].cells[size_t(ch)].effectType = 9, s.patterns[0].cells[size_t(ch)].effectParam = 0xFF;
             s.patterns[0].cells[8 * 4].effectType = 9;  // 9xx with 00 repeats FF
         },
         nullptr, Outcome::silent, "", nullptr, 1},
        // E1F and X1F have no limit of their own: the period runs far below 0 within seconds, up to
        // the highest pitch the mixer can step, where a one-frame ping-pong loop is reflected at
        // every output frame.
        {"fine portamentos up for a minute on one-frame ping-pong loops",
         [](XmLayout& s) {
             s.tempo = 1;
             s.bpm = 255;
             XmSample& smp = s.instruments[1].samples[0];
             smp.loopStart = 10;
             smp.loopLength = 2;
             for (int ch = 0; ch < 4; ++ch) s.patterns[0].cells[size_t(ch)].instrument = 2;
             slideForever(s, [](int ch) { return ch % 2 ? XmCell{0, 0, 0, 33, 0x1F} : XmCell{0, 0, 0, 14, 0x1F}; });
         },
         nullptr, Outcome::plays, "", nullptr, 60},
        {"the same in Amiga periods",
         [](XmLayout& s) {
             s.flags = 0;
             s.tempo = 1;
             slideForever(s, [](int) { return XmCell{0, 0, 0, 14, 0x1F}; });
         },
         nullptr, Outcome::plays, "", nullptr, 20},
        {"portamentos down and up at full speed for a minute",
         [](XmLayout& s) {
             s.tempo = 31;
             slideForever(s, [](int ch) { return XmCell{0, 0, 0, uint8_t(ch % 2 ? 2 : 1), 0xFF}; });
         },
         nullptr, Outcome::plays, "", nullptr, 60},
        // The volume column's panning slides have no limit; at a tick every 3 frames they pass
        // a million within seconds, and a panning envelope may hold values up to 65535.
        {"panning slides for minutes under a panning envelope at 65535",
         [](XmLayout& s) {
             s.bpm = 32767;
             XmInstrument& ins = s.instruments[0];
             ins.panningEnvelope[0] = {0, 65535};
             ins.panningEnvelope[1] = {1, 65535};
             ins.panningPointCount = 2;
             ins.panningType = 1;
             for (int ch = 0; ch < 4; ++ch) s.patterns[0].cells[size_t(ch)].instrument = 1;
             slideForever(s, [](int ch) { return XmCell{0, 0, uint8_t(ch % 2 ? 0xEF : 0xDF), 0, 0}; });
         },
         nullptr, Outcome::loads, "", nullptr, 10},
        {"tone portamento towards a note far away",
         [](XmLayout& s) {
             fillChannel(s, 0, XmCell{0, 0, 0, 3, 0});
             s.patterns[0].cells[1 * 4] = XmCell{1, 0, 0, 3, 0xFF};   // C-0 from C-4, then on from B-7
             s.patterns[0].cells[2 * 4] = XmCell{96, 0, 0, 3, 0xFF};
         },
         nullptr, Outcome::plays, "", nullptr, 2},

        // The song position.
        {"a jump to its own order on every row",
         [](XmLayout& s) { fillChannel(s, 0, XmCell{0, 0, 0, 11, 0}); }, nullptr, Outcome::plays, "", nullptr, 2},
        {"pattern breaks to rows past the end, jumps past the song",
         [](XmLayout& s) {
             s.orders = {0, 0};
             fillChannel(s, 1, XmCell{0, 0, 0, 13, 0x63}, 4);  // row 63 of a 16-row pattern
             s.patterns[0].cells[2 * 4 + 3] = XmCell{0, 0, 0, 13, 0x99};  // row 99: not a row at all
             s.patterns[0].cells[4 * 4 + 2] = XmCell{0, 0, 0, 11, 0xFF};
         },
         nullptr, Outcome::plays, "", nullptr, 2},
        {"pattern loops in every channel that never end together",
         [](XmLayout& s) {
             for (int ch = 0; ch < 4; ++ch) {
                 s.patterns[0].cells[size_t(ch)].effectType = 14;
                 s.patterns[0].cells[size_t(ch)].effectParam = 0x60;
                 s.patterns[0].cells[size_t(ch + 1) * 4 + size_t(ch)] = XmCell{0, 0, 0, 14, uint8_t(0x6F - ch)};
             }
         },
         nullptr, Outcome::plays, "", nullptr, 3},
        {"a loop back to a row that the next pattern does not have",
         [](XmLayout& s) {
             s.patterns[0].cells[12 * 4] = XmCell{0, 0, 0, 14, 0x60};  // loop start at row 12
             s.patterns.push_back(pattern(4, 4, {{1 * 4, XmCell{0, 0, 0, 14, 0x62}}}));
             s.orders = {0, 1};
         },
         nullptr, Outcome::plays, "", nullptr, 2},
        {"pattern delays of 15 rows at tempo 31 with note delays and cuts past them",
         [](XmLayout& s) {
             s.tempo = 31;
             fillChannel(s, 0, XmCell{0, 0, 0, 14, 0xEF});
             fillChannel(s, 1, XmCell{0, 0, 0, 14, 0xDF});
             fillChannel(s, 2, XmCell{0, 0, 0, 14, 0xCF});
         },
         nullptr, Outcome::plays, "", nullptr, 3},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        XmLayout layout = baseSong();
        if (c.change) c.change(layout);
        std::vector<uint8_t> bytes = buildXm(layout);
        if (c.damage) c.damage(bytes);
        expectPromise(bytes, c.outcome, c.reason, c.promise, c.seconds, {defaultProfile});
        if (HasFatalFailure()) return;
    }
}

// The same promise for MOD and S3M headers: every count and offset pushed to its limits, the file
// cut anywhere, each module played with every profile.
struct HeaderCase {
    const char*                                name;
    std::function<void(std::vector<uint8_t>&)> damage;
    Outcome                                    outcome;
    std::string                                reason;   // refused: the loader's words
    std::function<void(const Module&)>         promise;  // loaded: what was clamped, and how
};

void poke16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

void loadAndPlay(const std::vector<uint8_t>& bytes, const HeaderCase& c) {
    SCOPED_TRACE(c.name);
    std::vector<PlaybackProfile> every;
    for (const ProfileEntry& profile : kProfiles) every.push_back(profile.switches);
    expectPromise(bytes, c.outcome, c.reason, c.promise, 1, every);
}

// Four channels: a looping and a one-shot sample, notes with effects on the rows of two patterns.
std::vector<uint8_t> baseMod() {
    ModLayout layout;
    ModSample looped, oneShot;
    for (int i = 0; i < 64; ++i) looped.data.push_back(int8_t(i < 32 ? 60 : -60));
    looped.loopStart = 16;
    looped.loopLength = 48;
    oneShot.data.assign(256, 40);
    layout.samples = {looped, oneShot};
    layout.orders = {0, 1, 0};
    ModPattern p;
    p.cells.resize(64 * 4);
    for (int row = 0; row < 64; row += 4)
        for (int ch = 0; ch < 4; ++ch)
            p.cells[size_t(row * 4 + ch)] = ModCell{uint8_t(37 + (row + ch * 5) % 36), uint8_t(1 + ch % 2),
                                                    uint8_t((row / 4 + ch) % 16), uint8_t(row * 7)};
    layout.patterns = {p, p};
    return buildMod(layout);
}

// Four channels, a looping 8-bit and a 16-bit sample, notes with every effect letter over two
// patterns of the order list (a skip marker between them).
std::vector<uint8_t> baseS3m() {
    S3mLayout layout;
    S3mSample looped, sixteen;
    for (int i = 0; i < 64; ++i) looped.data.push_back(int16_t(i < 32 ? 60 : -60));
    looped.loop = true;
    looped.loopStart = 8;
    looped.loopEnd = 64;
    for (int i = 0; i < 128; ++i) sixteen.data.push_back(int16_t(i * 200 - 12800));
    sixteen.sixteenBits = true;
    layout.samples = {looped, sixteen};
    S3mPattern p;
    for (int row = 0; row < 64; row += 2)
        p.cells.push_back(S3mCell{row, layout.channels[size_t(row / 2 % 4)], s3mNote(2 + row % 5, row % 12),
                                  uint8_t(1 + row % 2), row % 3 ? -1 : row, char('A' + row / 2 % 26), uint8_t(row * 9)});
    layout.patterns = {p, p};
    layout.orders = {0, 254, 1, 255};
    return buildS3m(layout);
}

TEST(HostileModules, ModHeadersAreRefusedOrClampedAndPlayed) {
    using B = std::vector<uint8_t>;
    const auto sampleHeader = [](size_t i) { return size_t(20 + 30 * i); };
    const auto be16 = [](B& b, size_t at, uint16_t v) {
        b[at] = uint8_t(v >> 8);
        b[at + 1] = uint8_t(v);
    };
    const HeaderCase cases[] = {
        {"every sample 128 KiB long", [&](B& b) { for (size_t i = 0; i < 31; ++i) be16(b, sampleHeader(i) + 22, 0xFFFF); },
         Outcome::plays, "", [](const Module& m) { EXPECT_GT(m.missingBytes, 31 * 100000); }},
        {"loops of 128 KiB from 128 KiB on",
         [&](B& b) {
             for (size_t i = 0; i < 31; ++i) be16(b, sampleHeader(i) + 26, 0xFFFF), be16(b, sampleHeader(i) + 28, 0xFFFF);
         },
         Outcome::plays, "", [](const Module& m) { EXPECT_EQ(m.instruments[0].samples[0]->loopType, 1); }},
        {"a loop beyond the end", [&](B& b) { be16(b, sampleHeader(0) + 28, 0xFFFF); }, Outcome::plays, "",
         [](const Module& m) { EXPECT_EQ(m.instruments[0].samples[0]->loopLength, 48u); }},
        {"volume and fine-tune bytes of 255", [&](B& b) { b[sampleHeader(0) + 24] = b[sampleHeader(0) + 25] = 255; },
         Outcome::plays, "", [](const Module& m) {
             EXPECT_EQ(m.instruments[0].samples[0]->volume, 64);
             EXPECT_EQ(m.instruments[0].samples[0]->finetune, -16);
         }},
        {"song length 0", [](B& b) { b[950] = 0; }, Outcome::plays, "", [](const Module& m) { EXPECT_EQ(m.songLength, 1); }},
        {"song length 255", [](B& b) { b[950] = 255; }, Outcome::plays, "", [](const Module& m) { EXPECT_EQ(m.songLength, 128); }},
        {"every order names pattern 255: 256 patterns the file lacks", [](B& b) { std::fill(b.begin() + 952, b.begin() + 1080, 255); },
         Outcome::silent, "", [](const Module& m) { EXPECT_EQ(m.patternCount, 256); }},
        {"32 channels", [](B& b) { std::copy_n("32CH", 4, b.begin() + 1080); }, Outcome::loads, "",
         [](const Module& m) { EXPECT_EQ(m.channelCount, 32); }},
        {"FLT8 with odd orders", [](B& b) { std::copy_n("FLT8", 4, b.begin() + 1080), b[953] = 3; }, Outcome::loads, "",
         [](const Module& m) { EXPECT_EQ(m.patternCount, 2); }},
        {"99 channels", [](B& b) { std::copy_n("99CH", 4, b.begin() + 1080); }, Outcome::refused,
         "a MOD with the signature \"99CH\", which the player does not know", nullptr},
        {"every cell the highest period and sample 31 with F00",
         [](B& b) {
             for (size_t at = 1084; at + 4 <= 1084 + 2 * 1024; at += 4) b[at] = 0x1F, b[at + 1] = 0xFF, b[at + 2] = 0xFF, b[at + 3] = 0;
         },
         Outcome::silent, "", nullptr},
    };
    for (const HeaderCase& c : cases) {
        B bytes = baseMod();
        c.damage(bytes);
        loadAndPlay(bytes, c);
        if (HasFatalFailure()) return;
    }
}

TEST(HostileModules, S3mHeadersAreRefusedOrClampedAndPlayed) {
    using B = std::vector<uint8_t>;
    const B base = baseS3m();
    // Where the parapointers lie: after the header and the orders.
    const size_t orders = base[32], instrumentPointers = 96 + orders, patternPointers = instrumentPointers + 2 * 2;
    const size_t instrument0 = size_t(base[instrumentPointers] | base[instrumentPointers + 1] << 8) * 16;
    const HeaderCase cases[] = {
        {"65535 orders, instruments and patterns the file lacks",
         [](B& b) { poke16(b, 32, 0xFFFF), poke16(b, 34, 0xFFFF), poke16(b, 36, 0xFFFF); }, Outcome::loads, "",
         [](const Module& m) {
             EXPECT_LE(m.patternCount, 256);
             EXPECT_EQ(m.instrumentCount, 128);
         }},
        {"parapointers past the end", [&](B& b) { poke16(b, instrumentPointers, 0xFFFF), poke16(b, patternPointers, 0xFFFF); },
         Outcome::loads, "", [](const Module& m) { EXPECT_EQ(m.instruments[0].sampleCount, 0); }},
        {"parapointers into the header", [&](B& b) { poke16(b, instrumentPointers, 0), poke16(b, patternPointers + 2, 1); },
         Outcome::loads, "", nullptr},
        {"a sample of 4 Gi frames from a memory segment past the end",
         [&](B& b) {
             std::fill_n(b.begin() + ptrdiff_t(instrument0) + 13, 3, 0xFF);
             std::fill_n(b.begin() + ptrdiff_t(instrument0) + 16, 4, 0xFF);
         },
         Outcome::loads, "", [](const Module& m) { EXPECT_EQ(m.instruments[0].samples[0]->length, 0u); }},
        {"a sample of 4 Gi frames, loop and rate", [&](B& b) { std::fill_n(b.begin() + ptrdiff_t(instrument0) + 16, 20, 0xFF); },
         Outcome::loads, "", [](const Module& m) {
             const Sample& s = *m.instruments[0].samples[0];
             EXPECT_LE(s.length, 1u << 16);
             EXPECT_EQ(s.middleCRate, 0xFFFFFFFFu);
         }},
        {"a rate of 1 Hz", [&](B& b) { b[instrument0 + 32] = 1, b[instrument0 + 33] = b[instrument0 + 34] = b[instrument0 + 35] = 0; },
         Outcome::loads, "", nullptr},
        {"every channel Adlib's", [](B& b) { for (size_t i = 0; i < 32; ++i) b[64 + i] = uint8_t(16 + i % 16); }, Outcome::loads, "",
         [](const Module& m) { EXPECT_EQ(m.channelCount, 32); }},
        {"every channel off", [](B& b) { std::fill_n(b.begin() + 64, 32, 0xFF); }, Outcome::refused,
         "no channels: every channel of the S3M is off", nullptr},
        {"speed, tempo, volumes and flags all 255", [](B& b) { std::fill_n(b.begin() + 48, 6, 0xFF), poke16(b, 38, 0xFFFF); },
         Outcome::loads, "", [](const Module& m) { EXPECT_EQ(m.initialGlobalVolume, 64); }},
        {"orders of nothing but markers", [&](B& b) { std::fill_n(b.begin() + 96, orders, 0xFE); }, Outcome::loads, "",
         [](const Module& m) { EXPECT_EQ(m.songLength, 1); }},
    };
    for (const HeaderCase& c : cases) {
        B bytes = base;
        c.damage(bytes);
        loadAndPlay(bytes, c);
        if (HasFatalFailure()) return;
    }
}

// Cut at every length: too short to be told, refused; otherwise loaded with zeros for the rest.
TEST(HostileModules, ModAndS3mFilesCutAnywhereLoadOrAreRefused) {
    for (const std::vector<uint8_t>& whole : {baseMod(), baseS3m()}) {
        for (size_t n = 0; n <= whole.size(); n += n < 1200 ? 1 : 7) {
            SCOPED_TRACE(n);
            const std::vector<uint8_t> cut(whole.begin(), whole.begin() + ptrdiff_t(n));
            const std::unique_ptr<uint8_t[]> exact(new uint8_t[std::max<size_t>(n, 1)]);
            if (n > 0) std::memcpy(exact.get(), cut.data(), n);
            std::string reason;
            Module* m = loadModuleFromMemory(exact.get(), n, nullptr, &reason);
            if (m) {
                if (n < whole.size()) EXPECT_GT(m->missingBytes, 0);
                else EXPECT_EQ(m->missingBytes, 0);
                playAndCheck(*m, 0, Outcome::loads, ptProfile);
                playAndCheck(*m, 0, Outcome::loads, st3Profile);
            } else {
                EXPECT_FALSE(reason.empty());
            }
            freeModule(m);
            if (HasFatalFailure()) return;
        }
    }
}

}  // namespace
