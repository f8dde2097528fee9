// Scream Tracker 3's effects as an S3M's cells hold them, played with the st3 profile: one shared
// parameter memory, the slides hidden in D, E and F, the song's flow, cuts that only a note ends.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "player/profile.h"
#include "s3m_writer.h"
#include "song_fixture.h"

namespace {

const uint8_t C4 = s3mNote(4, 0), C5 = s3mNote(5, 0), B5 = s3mNote(5, 11);
constexpr uint8_t kCut = 254;
constexpr int32_t kC4 = 1712;  // C-4's period at 8363 Hz

// One channel; instrument 1 a tone of 64 frames looping from frame 10 at volume 32, instrument 2 a
// one-shot of 1024 frames; both at 8363 Hz.
S3mLayout s3mSong(std::vector<S3mCell> cells, uint8_t speed = 6, uint16_t flags = 0) {
    S3mLayout l;
    l.channels.fill(255);
    l.channels[0] = 0;
    l.speed = speed;
    l.flags = flags;
    S3mSample tone, oneShot;
    tone.data.assign(64, 0);
    for (size_t i = 0; i < 64; ++i) tone.data[i] = int16_t(i < 32 ? 60 : -60);
    tone.loop = true;
    tone.loopStart = 10;
    tone.loopEnd = 64;
    tone.volume = 32;
    oneShot.data.assign(1024, 30);
    l.samples = {tone, oneShot};
    l.patterns = {S3mPattern{std::move(cells), {}}};
    return l;
}

S3mCell at(int32_t row, uint8_t note, uint8_t instrument, char effect = 0, uint8_t param = 0, int32_t volume = -1) {
    return S3mCell{row, 0, note, instrument, volume, effect, param};
}

struct Case {
    const char*                   name;
    S3mLayout                     module;
    std::function<int64_t(Song&)> observe;
    int64_t                       expected;
};

void expectCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        Song song(buildS3m(c.module), st3Profile);
        EXPECT_EQ(c.observe(song), c.expected) << c.name;
    }
}

const auto volume = [](const Channel& c) { return int64_t(c.volume); };
const auto period = [](const Channel& c) { return int64_t(c.period); };
const auto heard = [](const Channel& c) { return int64_t(c.voice->volume); };

TEST(S3mEffects, MostEffectsShareOneMemory) {
    expectCases({
        // H82 leaves 82 in the memory: D00 slides as D82, down by 2 on the row's 5 other ticks.
        {"D00 after H82", s3mSong({at(0, C4, 1, 'H', 0x82), at(1, 255, 0, 'D', 0)}), after(13, volume), 32 - 10},
        // D04 leaves 04: E00 slides the period down by 4 × 4 on 5 ticks.
        {"E00 after D04", s3mSong({at(0, C4, 1, 'D', 0x04), at(1, 255, 0, 'E', 0)}), after(13, period), kC4 + 80},
        // G02 stores into it too, though G keeps its own speed.
        {"E00 after G02", s3mSong({at(0, C4, 1, 'G', 0x02), at(1, 255, 0, 'E', 0)}), after(13, period), kC4 + 40},
        // E08 leaves 08, but G00 takes G's own speed, none yet: C-5 slid by E08 stays.
        {"G00 after E08 slides not", s3mSong({at(0, C4, 1), at(1, C5, 0, 'E', 0x08), at(2, C4, 0, 'G', 0)}),
         after(19, period), kC4 / 2 + 160},
        // QC4 leaves C4: S00 cuts on tick 4 (SC4), T00 sets 196 BPM (TC4).
        {"S00 after QC4", s3mSong({at(0, C4, 1, 'Q', 0xC4), at(1, 255, 0, 'S', 0)}),
         after(11, [](const Channel& c) { return int64_t(c.keyOff); }), 1},
        {"T00 after QC4", s3mSong({at(0, C4, 1, 'Q', 0xC4), at(1, 255, 0, 'T', 0)}),
         [](Song& s) {
             run(s, 7);
             return int64_t(s.p.bpm);
         },
         0xC4},
        // Effects with a meaning for 00 keep it: A00 leaves the speed, V00 silences.
        {"V00 after D04", s3mSong({at(0, C4, 1, 'D', 0x04), at(1, 255, 0, 'V', 0)}),
         [](Song& s) {
             run(s, 7);
             return int64_t(s.p.globalVolume);
         },
         0},
    });
}

TEST(S3mEffects, VolumeSlidesAndTheirFineForms) {
    struct Slide {
        char     effect;
        uint8_t  param;
        uint16_t flags;
        int64_t  volume;  // from 32 after the row's 6 ticks
    };
    const Slide slides[] = {
        {'D', 0x01, 0, 27},   {'D', 0x10, 0, 37},  {'D', 0x23, 0, 17},  // both nibbles: down
        {'D', 0x1F, 0, 33},   {'D', 0xF1, 0, 31},  {'D', 0xFF, 0, 47},  // fine: the row tick only
        {'D', 0x0F, 0, 0},    {'D', 0xF0, 0, 64},                       // on the row tick as well
        {'D', 0x01, 64, 26},  {'D', 0x1F, 64, 33},                      // fast slides: every tick
        {'K', 0x01, 0, 27},   {'K', 0xF1, 0, 32},  {'K', 0x0F, 0, 0},   // K and L: no fine slides,
        {'L', 0x1F, 0, 32},   {'K', 0x01, 64, 26},                      // nor a row tick's unless fast
    };
    std::vector<Case> cases;
    std::vector<std::string> names;
    for (const Slide& s : slides)
        names.push_back(std::string(1, s.effect) + "0123456789ABCDEF"[s.param >> 4] + "0123456789ABCDEF"[s.param & 15] +
                        (s.flags ? " fast" : ""));
    for (size_t i = 0; i < std::size(slides); ++i)
        cases.push_back({names[i].c_str(), s3mSong({at(0, C4, 1, slides[i].effect, slides[i].param)}, 6, slides[i].flags),
                         after(6, volume), slides[i].volume});
    expectCases(cases);
}

TEST(S3mEffects, PortamentosFineExtraFineAndTheirLimits) {
    expectCases({
        {"E10: 5 ticks of 64", s3mSong({at(0, C4, 1, 'E', 0x10)}), after(6, period), kC4 + 320},
        {"EF3: 12 on the row tick", s3mSong({at(0, C4, 1, 'E', 0xF3)}), after(6, period), kC4 + 12},
        {"FE3: 3 on the row tick", s3mSong({at(0, C4, 1, 'F', 0xE3)}), after(6, period), kC4 - 3},
        // With Amiga limits the period stops at 4 × 113; without them the note ends at period 0.
        {"F7F with Amiga limits", s3mSong({at(0, B5, 1, 'F', 0x7F)}, 6, 16), after(6, period), 452},
        {"E7F with Amiga limits", s3mSong({at(0, C4, 1, 'E', 0x7F)}, 6, 16), after(6, period), 3424},
        {"F7F without them", s3mSong({at(0, B5, 1, 'F', 0x7F)}), after(6, [](const Channel& c) { return int64_t(c.keyOff); }),
         1},
    });
}

// Jxy plays note, x and y semitones above it in turn on every tick, whatever slid the period; a
// portamento right after it goes on from its last note.
TEST(S3mEffects, ArpeggioAndThePortamentoAfterIt) {
    std::vector<int64_t> outputs;
    Song song(buildS3m(s3mSong({at(0, C4, 1, 'J', 0xC7), at(1, 255, 0, 'F', 0x01), at(2, 255, 0, 'J', 0xC7),
                                at(3, 255, 0, 0, 0)})),
              st3Profile);
    for (int t = 0; t < 24; ++t) {
        song.tick();
        outputs.push_back(song.channel(0).period + song.channel(0).periodDelta);
    }
    const std::vector<int64_t> expected = {
        kC4, kC4 / 2, 1140, kC4, kC4 / 2, 1140,           // J: C-4, C-5, G-4
        1140, 1136, 1132, 1128, 1124, 1120,               // F01 from G-4, J's last note
        kC4, kC4 / 2, 1140, kC4, kC4 / 2, 1140,           // J again: from the notes
        1120, 1120, 1120, 1120, 1120, 1120,               // the period F01 left
    };
    EXPECT_EQ(outputs, expected);
}

TEST(S3mEffects, RetriggerCountsTicksFromTheNote) {
    // The probe of the note's starts: tick 0 and every multiple of y since, over rows and
    // whatever y the row asks for (Q05 on row 2 restarts on tick 15, not 9 + 5).
    Song song(buildS3m(s3mSong({at(0, C4, 2, 'Q', 0x03), at(1, 255, 0, 'Q', 0x03), at(2, 255, 0, 'Q', 0x05),
                                at(3, C4, 0, 'Q', 0x05)})),
              st3Profile);
    EXPECT_EQ(startTicks(24)(song), (1 << 0) | (1 << 3) | (1 << 6) | (1 << 9) | (1 << 15) | (1 << 18) | (1 << 23));
}

TEST(S3mEffects, ACutLastsUntilTheNextNote) {
    expectCases({
        // ^^^, then a volume and a retrigger: still silent.
        {"^^^ then v32 Q01", s3mSong({at(0, C4, 1), at(1, kCut, 0), at(2, 255, 0, 'Q', 0x01, 32)}), after(14, heard), 0},
        // ^^^ sets the volume to 0: a note without instrument starts silent, a volume brings it back.
        {"^^^ then a note", s3mSong({at(0, C4, 1), at(1, kCut, 0), at(2, C4, 0)}), after(13, heard), 0},
        {"^^^, a note, v40", s3mSong({at(0, C4, 1), at(1, kCut, 0), at(2, C4, 0), at(3, 255, 0, 0, 0, 40)}),
         after(19, heard), 79},
        // An instrument alone does not end the cut.
        {"^^^ then an instrument", s3mSong({at(0, C4, 1), at(1, kCut, 0), at(2, 255, 1)}), after(13, heard), 0},
        // SCx cuts on its tick, leaving the volume: the next note sounds at once.
        {"SC3 on tick 3", s3mSong({at(0, C4, 1, 'S', 0xC3)}), after(4, heard), 0},
        {"SC3 then a note", s3mSong({at(0, C4, 1, 'S', 0xC3), at(1, C4, 0)}), after(7, heard), 63},
        {"SC9 past the row", s3mSong({at(0, C4, 1, 'S', 0xC9)}), after(6, heard), 63},
    });
}

TEST(S3mEffects, NoteDelayAndRowDelay) {
    expectCases({
        {"SD3 starts on tick 3", s3mSong({at(0, C4, 1, 'S', 0xD3)}), startTicks(6), 1 << 3},
        {"SD0 never starts", s3mSong({at(0, C4, 1, 'S', 0xD0)}), startTicks(6), 0},
        // SD0 holds back the cell's volume too.
        {"SD0 volume", s3mSong({at(0, C4, 1), at(1, 255, 0, 'S', 0xD0, 10)}), after(7, volume), 32},
    });
    // SEx: the first channel from the left that asks decides; SE0 does not ask.
    S3mLayout delays = s3mSong({at(0, C4, 1)});
    delays.channels[1] = 8;
    delays.channels[2] = 1;
    delays.patterns[0].cells.push_back(S3mCell{0, 1, 255, 0, -1, 'S', 0xE0});
    delays.patterns[0].cells.push_back(S3mCell{0, 2, 255, 0, -1, 'S', 0xE2});
    delays.patterns[0].cells.push_back(S3mCell{1, 0, 255, 0, -1, 'S', 0xE1});
    delays.patterns[0].cells.push_back(S3mCell{1, 2, 255, 0, -1, 'S', 0xE3});
    Song song(buildS3m(delays), st3Profile);
    std::vector<std::pair<int, int>> rows = song.rowsPlayed(6 * 3 + 6 * 2 + 6);
    EXPECT_EQ(rows, (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {0, 2}})) << "row 0 lasts 3 rows' ticks, row 1 two";
}

TEST(S3mEffects, SpeedTempoAndGlobalVolume) {
    const auto song = [](std::vector<S3mCell> cells) {
        return std::make_unique<Song>(buildS3m(s3mSong(std::move(cells))), st3Profile);
    };
    const auto s1 = song({at(0, C4, 1, 'A', 0x00), at(1, 255, 0, 'A', 0x40)});
    s1->tick();
    EXPECT_EQ(s1->p.tempo, 6) << "A00 leaves the speed";
    run(*s1, 6);
    EXPECT_EQ(s1->p.tempo, 0x40) << "any other speed up to 255";
    const auto s2 = song({at(0, C4, 1, 'T', 0x1F), at(1, 255, 0, 'T', 0x20)});
    s2->tick();
    EXPECT_EQ(s2->p.bpm, 125) << "a tempo below 32 is ignored";
    run(*s2, 6);
    EXPECT_EQ(s2->p.bpm, 0x20);
    const auto s3 = song({at(0, C4, 1, 'V', 0x41), at(1, 255, 0, 'V', 0x20)});
    s3->tick();
    EXPECT_EQ(s3->p.globalVolume, 64) << "above 64 is ignored";
    run(*s3, 6);
    EXPECT_EQ(s3->p.globalVolume, 0x20);
}

TEST(S3mEffects, LoopsStartAgainInEveryPattern) {
    // Pattern 0 loops its rows 1…2 once; pattern 1's SB1 on row 1 goes back to its own row 0, not
    // to row 1 where the loop of pattern 0 started.
    S3mLayout l = s3mSong({at(1, 255, 0, 'S', 0xB0), at(2, 255, 0, 'S', 0xB1), at(3, 255, 0, 'C', 0x00)});
    l.patterns.push_back(S3mPattern{{at(1, 255, 0, 'S', 0xB1), at(2, 255, 0, 'C', 0x00)}, {}});
    l.orders = {0, 1, 255};
    Song song(buildS3m(l), st3Profile);
    EXPECT_EQ(song.rowsPlayed(6 * 11), (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {0, 2}, {0, 1}, {0, 2}, {0, 3},
                                                                          {1, 0}, {1, 1}, {1, 0}, {1, 1}, {1, 2}}));
}

TEST(S3mEffects, ToneVibratoOffsetAndPanning) {
    expectCases({
        // G beside a note on a channel that has played none starts the note.
        {"G on a silent channel", s3mSong({at(0, C4, 1, 'G', 0x10)}), starts(1), 1},
        {"G on a playing one", s3mSong({at(0, C4, 1), at(1, C5, 0, 'G', 0x10)}), startTicks(12), 1},
        // H44: the row tick applies the position without moving it; tick 2 applies position 4,
        // the sine falling first (the period rises): 97 × 4 >> 5.
        {"H44 on tick 2", s3mSong({at(0, C4, 1, 'H', 0x44)}), after(3, [](const Channel& c) { return int64_t(c.periodDelta); }),
         12},
        {"U44 a quarter of it", s3mSong({at(0, C4, 1, 'U', 0x44)}),
         after(3, [](const Channel& c) { return int64_t(c.periodDelta); }), 3},
        // O02 stays for the next note without instrument, and past a loop's end wraps into it.
        {"O02 stays", s3mSong({at(0, C4, 2, 'O', 0x02), at(1, C4, 0)}),
         after(7, [](const Channel& c) { return int64_t(c.voice->position); }), 512},
        {"O01 wraps", s3mSong({at(0, C4, 1, 'O', 0x01)}),
         after(1, [](const Channel& c) { return int64_t(c.voice->position); }), 10 + (256 - 10) % 54},
        {"S8F", s3mSong({at(0, C4, 1, 'S', 0x8F)}), after(1, [](const Channel& c) { return int64_t(c.panning); }), 255},
        {"X40", s3mSong({at(0, C4, 1, 'X', 0x40)}), after(1, [](const Channel& c) { return int64_t(c.panning); }), 128},
    });
}

}  // namespace
