#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "player/play/channel.h"
#include "player/load/loader.h"
#include "player/mix/mixer.h"
#include "player/play/sequencer.h"
#include "player/load/stream.h"
#include "song_fixture.h"

namespace {

std::vector<std::pair<int, int>> rowsOf(int order, std::initializer_list<int> rows) {
    std::vector<std::pair<int, int>> out;
    for (int r : rows) out.emplace_back(order, r);
    return out;
}

TEST(Sequencer, ARowLastsTempoTicksAndF00MakesEveryTickARow) {
    XmLayout layout;
    layout.channels = 1;
    layout.tempo = 6;
    layout.patterns = {pattern(8, 1, {{3, XmCell{0, 0, 0, 15, 0}}})};  // F00 on row 3
    Song song(layout);
    const auto rows = song.rowsPlayed(6 * 3 + 1 + 4);
    EXPECT_EQ(rows, rowsOf(0, {0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(Sequencer, PatternDelayStretchesTheRowAndStartsTheNoteOnce) {
    XmLayout layout;
    layout.channels = 1;
    layout.instruments = {toneInstrument()};
    layout.patterns = {pattern(4, 1, {{0, XmCell{49, 1, 0, 14, 0xE2}}})};  // C-4 with EE2
    Song song(layout);
    int triggers = 0;
    std::vector<std::pair<int, int>> rows;
    for (int i = 0; i < 19; ++i) {
        const bool rowTick = song.p.tick == 0;
        sequencerTick(song.p);
        if (rowTick) rows.emplace_back(song.p.orderPosition, song.p.row);
        triggers += (song.channel(0).updateFlags & kUpdateTrigger) != 0;
    }
    EXPECT_EQ(rows, rowsOf(0, {0, 1})) << "row 0 lasts 6 + 2 × 6 = 18 ticks";
    EXPECT_EQ(triggers, 1);
}

TEST(Sequencer, OrderListWrapsToTheRestartPosition) {
    XmLayout layout;
    layout.channels = 1;
    layout.tempo = 1;
    layout.orders = {0, 1, 2};
    layout.restartPosition = 1;
    layout.patterns = {pattern(2, 1, {}), pattern(2, 1, {}), pattern(2, 1, {})};
    Song song(layout);
    const std::vector<std::pair<int, int>> expected = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}, {1, 0}, {1, 1}};
    EXPECT_EQ(song.rowsPlayed(8), expected);
}

TEST(Sequencer, PatternLoopRepeatsAndCanBeReachedAgain) {
    XmLayout layout;
    layout.channels = 2;
    layout.tempo = 1;
    // E60 on row 4, E62 on row 7 (channel 1); the song is this one pattern, played twice.
    layout.orders = {0, 0};
    layout.patterns = {pattern(10, 2, {{4 * 2 + 1, XmCell{0, 0, 0, 14, 0x60}}, {7 * 2 + 1, XmCell{0, 0, 0, 14, 0x62}}})};
    Song song(layout);
    const auto rows = song.rowsPlayed(2 * 18);
    std::vector<std::pair<int, int>> expected;
    for (int order : {0, 1}) {
        for (int r : {0, 1, 2, 3}) expected.emplace_back(order, r);
        for (int pass = 0; pass < 3; ++pass)
            for (int r : {4, 5, 6, 7}) expected.emplace_back(order, r);
        for (int r : {8, 9}) expected.emplace_back(order, r);
    }
    EXPECT_EQ(rows, expected);
}

TEST(Sequencer, BreaksAndJumpsLandWhereTheyShould) {
    struct Case {
        const char*                      what;
        std::vector<std::pair<int, XmCell>> cells;  // on row 1 of order 0, channels 0 and 1
        std::pair<int, int>              next;   // the row played after row 1
    };
    const Case cases[] = {
        {"D32: row 32 of the next order", {{2, XmCell{0, 0, 0, 13, 0x32}}}, {1, 32}},
        {"D70: row 0", {{2, XmCell{0, 0, 0, 13, 0x70}}}, {1, 0}},
        {"B02", {{2, XmCell{0, 0, 0, 11, 0x02}}}, {2, 0}},
        {"B09 past the end: order 0", {{2, XmCell{0, 0, 0, 11, 0x09}}}, {0, 0}},
        {"Dxy then Bxx: the jump's row 0", {{2, XmCell{0, 0, 0, 13, 0x05}}, {3, XmCell{0, 0, 0, 11, 0x02}}}, {2, 0}},
        {"Bxx then Dxy: the jump's order, the break's row",
         {{2, XmCell{0, 0, 0, 11, 0x02}}, {3, XmCell{0, 0, 0, 13, 0x05}}},
         {2, 5}},
    };
    for (const Case& c : cases) {
        XmLayout layout;
        layout.channels = 2;
        layout.tempo = 1;
        layout.orders = {0, 1, 1};
        layout.patterns = {pattern(64, 2, c.cells), pattern(64, 2, {})};
        Song song(layout);
        const auto rows = song.rowsPlayed(3);
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[2], c.next) << c.what;
    }
}

TEST(Sequencer, RowsOutsideTheLandingPatternPlayItsFirstRow) {
    XmLayout layout;
    layout.channels = 1;
    layout.tempo = 1;
    layout.orders = {0, 1, 2};
    // D20 into a 16-row pattern; then a pattern of 0 rows, which plays as one empty row.
    layout.patterns = {pattern(4, 1, {{0, XmCell{0, 0, 0, 13, 0x20}}}), pattern(16, 1, {}), XmPattern{}};
    layout.patterns[2].rows = 0;
    Song song(layout);
    const auto rows = song.rowsPlayed(2 + 16 + 1);
    EXPECT_EQ(rows[1], std::make_pair(1, 0));
    EXPECT_EQ(rows[17], std::make_pair(2, 0));
    EXPECT_EQ(rows[18], std::make_pair(0, 0));
}

TEST(Sequencer, ToneportamentoKeepsNoteInstrumentAndPeriod) {
    XmLayout layout;
    layout.channels = 1;
    layout.tempo = 1;
    layout.instruments = {toneInstrument(), toneInstrument(20)};
    layout.patterns = {pattern(4, 1, {{0, XmCell{49, 1, 0, 0, 0}}, {1, XmCell{61, 2, 0, 3, 0x10}}})};
    Song song(layout);
    song.rowsPlayed(1);
    const Channel before = song.channel(0);
    EXPECT_EQ(before.period, 4608);
    song.rowsPlayed(1);
    const Channel& after = song.channel(0);
    EXPECT_EQ(after.note, before.note);
    EXPECT_EQ(after.instrument, before.instrument);
    EXPECT_EQ(after.notePeriod, 4608 - 12 * 64) << "the target is the new note";
    EXPECT_EQ(after.updateFlags & kUpdateTrigger, 0) << "no restart";
}

TEST(Sequencer, KeyOffWithAnInstrumentResetsFirstThenReleases) {
    XmLayout layout;
    layout.channels = 1;
    layout.tempo = 2;
    layout.instruments = {toneInstrument()};
    layout.patterns = {pattern(4, 1, {{0, XmCell{49, 1, 0, 0, 0}}, {1, XmCell{255, 1, 0, 0, 0}}})};
    Song song(layout);
    song.rowsPlayed(2);
    EXPECT_EQ(song.channel(0).voice->volume, 127);
    song.rowsPlayed(1);
    const Channel& c = song.channel(0);
    EXPECT_EQ(c.keyOff, 1);
    EXPECT_EQ(c.fadeoutVolume, 65536) << "applied, then released: a fadeout of 0 keeps it";
    EXPECT_EQ(c.volumeEnvelopeValue, 0) << "no volume envelope: silent from the key-off";
    EXPECT_EQ(c.voice->volume, 0);
    song.rowsPlayed(3);
    EXPECT_EQ(song.channel(0).voice->volume, 0) << "and stays silent";
}

TEST(Sequencer, NotesAndInstrumentsPlayWithTheirSampleVolumeAndPanning) {
    XmLayout layout;
    layout.channels = 3;
    layout.tempo = 1;
    layout.instruments = {toneInstrument(32, 255)};
    // C-4 on channel 0; C-5 with C40 on channel 1; note 98 (above the range) on channel 2.
    layout.patterns = {pattern(2, 3, {{0, XmCell{49, 1, 0, 0, 0}}, {1, XmCell{61, 1, 0, 12, 0x40}}, {2, XmCell{98, 1, 0, 0, 0}}})};
    Song song(layout);
    song.rowsPlayed(1);
    const Voice& v0 = *song.channel(0).voice;
    EXPECT_EQ(v0.frequency, 8363);
    EXPECT_EQ(v0.volume, 63);
    EXPECT_EQ(v0.leftVolume, 0);
    EXPECT_EQ(v0.rightVolume, 63) << "panning 255: all of it in the second (right) output channel";
    const Voice& v1 = *song.channel(1).voice;
    EXPECT_EQ(v1.frequency, 16726);
    EXPECT_EQ(v1.volume, 127);
    EXPECT_EQ(song.channel(2).voice->sample, &emptySample) << "a note above 96 selects nothing";
}

TEST(Sequencer, InstrumentNumbersPastTheModulePlaySilently) {
    XmLayout layout;
    layout.channels = 1;
    layout.tempo = 1;
    layout.instruments = {toneInstrument()};
    layout.patterns = {pattern(2, 1, {{0, XmCell{49, 7, 0, 12, 0x30}}})};
    Song song(layout);
    song.rowsPlayed(1);
    EXPECT_EQ(song.channel(0).voice->sample, &emptySample);
    EXPECT_EQ(song.channel(0).volume, 0x30) << "effects still update the channel";
}

}  // namespace
