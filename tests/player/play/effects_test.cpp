#include <gtest/gtest.h>

#include <vector>

#include "player/play/pitch.h"
#include "song_fixture.h"

namespace {

constexpr uint8_t C4 = 49, E4 = 53, KEY_OFF = 255;

XmCell note(uint8_t n, uint8_t instrument = 1, uint8_t type = 0, uint8_t param = 0, uint8_t volume = 0) {
    return XmCell{n, instrument, volume, type, param};
}
XmCell effect(uint8_t type, uint8_t param, uint8_t volume = 0) { return XmCell{0, 0, volume, type, param}; }

// A one-channel song of the given rows at `tempo`, with the tone instrument.
XmLayout oneChannel(std::vector<XmCell> rows, uint16_t tempo, std::vector<XmInstrument> instruments = {toneInstrument()}) {
    XmLayout layout;
    layout.channels = 1;
    layout.tempo = tempo;
    layout.instruments = std::move(instruments);
    layout.patterns = {column(std::move(rows))};
    return layout;
}

// Runs whole rows and records a channel field after every tick.
template <typename Field>
std::vector<int32_t> perTick(Song& song, int ticks, Field field) {
    std::vector<int32_t> values;
    for (int i = 0; i < ticks; ++i) {
        song.tick();
        values.push_back(field(song.channel(0)));
    }
    return values;
}

TEST(Effects, PortamentosRememberTheirOwnSpeeds) {
    Song song(oneChannel({note(C4, 1, 1, 0x05), effect(1, 0), effect(2, 0x03), effect(1, 0), effect(2, 0)}, 2));
    const auto periods = perTick(song, 10, [](const Channel& c) { return c.period; });
    EXPECT_EQ(periods, (std::vector<int32_t>{4608, 4588, 4588, 4568, 4568, 4580, 4580, 4560, 4560, 4572}));
}

TEST(Effects, PortamentoUpStopsAt56) {
    Song song(oneChannel({note(C4, 1, 1, 0xFF)}, 31));
    perTick(song, 30, [](const Channel& c) { return c.period; });
    EXPECT_EQ(song.channel(0).period, 56);
}

TEST(Effects, TonePortamentoSlidesToTheNoteWithoutRestarting) {
    Song song(oneChannel({note(C4), note(E4, 1, 3, 0x08), effect(3, 0), effect(3, 0)}, 3));
    song.rowsPlayed(3);
    const Voice* voice = song.channel(0).voice;
    const auto periods = perTick(song, 6, [](const Channel& c) { return c.period; });
    // E-4 is 4 semitones up: 4608 − 256; 32 per tick, the second row without a note continues.
    EXPECT_EQ(periods, (std::vector<int32_t>{4608, 4576, 4544, 4544, 4512, 4480}));
    EXPECT_EQ(song.channel(0).portaTarget, 4352);
    EXPECT_EQ(song.channel(0).note, C4 - 1) << "the note stays";
    EXPECT_EQ(song.channel(0).voice, voice) << "no new note was started";
}

TEST(Effects, VolumeSetAboveTheRangeIsSlidBackInto) {
    Song song(oneChannel({note(C4, 1, 12, 0x50), effect(10, 0x10)}, 2));
    const auto volumes = perTick(song, 4, [](const Channel& c) { return c.volume; });
    EXPECT_EQ(volumes, (std::vector<int32_t>{80, 80, 80, 64}));
    EXPECT_EQ(song.channel(0).voice->volume, 127);
}

TEST(Effects, VolumeColumnSlideActsOnEveryTickOfTheRow) {
    Song song(oneChannel({note(C4, 1, 0, 0, 0x65)}, 6));
    const auto volumes = perTick(song, 6, [](const Channel& c) { return c.volume; });
    EXPECT_EQ(volumes, (std::vector<int32_t>{59, 54, 49, 44, 39, 34}));
}

TEST(Effects, ArpeggioCyclesBaseAndBothIntervals) {
    Song song(oneChannel({note(C4, 1, 0, 0x47), note(C4, 1, 0, 0x00)}, 3));
    const auto deltas = perTick(song, 6, [](const Channel& c) { return c.periodDelta; });
    EXPECT_EQ(deltas, (std::vector<int32_t>{0, 4 * 64, 7 * 64, 0, 0, 0}));
}

// The arpeggio's phase is the row's tick modulo 3, however long the row.
TEST(Effects, ArpeggioKeepsCyclingPastItsThirdTick) {
    Song song(oneChannel({note(C4, 1, 0, 0x47)}, 8));
    const auto deltas = perTick(song, 8, [](const Channel& c) { return c.periodDelta; });
    EXPECT_EQ(deltas, (std::vector<int32_t>{0, 4 * 64, 7 * 64, 0, 4 * 64, 7 * 64, 0, 4 * 64}));
}

// On the Amiga scale the arpeggio rises too: C-4 (period 1712) plays at 14317056 / 1712 = 8362 Hz,
// +4 semitones at 14317056 / P(52) = 14317056 / 1358 = 10542 Hz, +7 at 14317056 / P(55) =
// 14317056 / 1142 = 12536 Hz, with P(k) = trunc(13.375 × 2^((132 − k) / 12)).
TEST(Effects, ArpeggioOnTheAmigaScaleRises) {
    XmLayout layout = oneChannel({note(C4, 1, 0, 0x47)}, 3);
    layout.flags = 0;
    Song song(layout);
    const auto frequencies = perTick(song, 4, [](const Channel& c) { return c.voice->frequency; });
    EXPECT_EQ(frequencies, (std::vector<int32_t>{8362, 10542, 12536, 8362}));
}

TEST(Effects, VibratoAndTremoloPositionsOverARow) {
    Song vib(oneChannel({note(C4, 1, 4, 0x48)}, 4));
    EXPECT_EQ(perTick(vib, 4, [](const Channel& c) { return c.periodDelta; }),
              (std::vector<int32_t>{0, 0, -24, -44}));
    EXPECT_EQ(vib.channel(0).vibratoPosition, 12);

    Song trem(oneChannel({note(C4, 1, 7, 0x48, 0x30)}, 4));  // volume 32 leaves room to rise
    EXPECT_EQ(perTick(trem, 4, [](const Channel& c) { return c.volumeDelta; }), (std::vector<int32_t>{0, 0, 12, 22}));
    EXPECT_EQ(trem.channel(0).tremoloPosition, 12);
}

TEST(Effects, RetrigFollowsTheTickAcrossAPatternDelay) {
    XmLayout layout;
    layout.channels = 2;
    layout.tempo = 6;
    layout.instruments = {toneInstrument(40)};
    layout.patterns = {pattern(2, 2, {{0, note(C4, 1, 27, 0x93)}, {1, effect(14, 0xE2)}})};
    Song song(layout);
    int triggers = 0;
    for (int t = 0; t < 18; ++t) {
        song.tick();
        if (t > 0) triggers += (song.channel(0).updateFlags & kUpdateTrigger) != 0;
    }
    EXPECT_EQ(triggers, 5) << "ticks 3, 6, 9, 12 and 15 of the 18";
    EXPECT_EQ(song.channel(0).volume, 45);
}

TEST(Effects, TremorCountsTicksAcrossRows) {
    Song song(oneChannel({note(C4, 1, 29, 0x12), effect(29, 0), effect(29, 0)}, 6));
    const auto deltas = perTick(song, 15, [](const Channel& c) { return c.volumeDelta; });
    for (int t = 0; t < 15; ++t) EXPECT_EQ(deltas[t], t % 5 >= 2 ? -64 : 0) << "tick " << t;
}

TEST(Effects, NoteCutAndNoteDelay) {
    struct Case {
        const char* what;
        XmCell        cell;
        int         triggerTick;  // −1: never
        int         cutTick;      // −1: never
    };
    const Case cases[] = {
        {"EC2 cuts on tick 2", note(C4, 1, 14, 0xC2), 0, 2},
        {"EC0 does nothing", note(C4, 1, 14, 0xC0), 0, -1},
        {"ED3 starts on tick 3", note(C4, 1, 14, 0xD3), 3, -1},
        {"ED0 never starts", note(C4, 1, 14, 0xD0), -1, -1},
        {"ED9 is beyond the row", note(C4, 1, 14, 0xD9), -1, -1},
    };
    for (const Case& c : cases) {
        Song song(oneChannel({c.cell}, 6));
        int triggerTick = -1, cutTick = -1, lastVolume = 0;
        for (int t = 0; t < 6; ++t) {
            song.tick();
            const Channel& ch = song.channel(0);
            if ((ch.updateFlags & kUpdateTrigger) && triggerTick < 0) triggerTick = t;
            if (ch.volume == 0 && lastVolume > 0 && cutTick < 0) cutTick = t;
            lastVolume = ch.volume;
        }
        EXPECT_EQ(triggerTick, c.triggerTick) << c.what;
        EXPECT_EQ(cutTick, c.cutTick) << c.what;
        if (c.triggerTick < 0) {
            EXPECT_EQ(song.channel(0).voice->sample, nullptr) << c.what;
        }
    }
}

TEST(Effects, SampleOffsetInsideAndBeyondTheSample) {
    XmInstrument ins;
    XmSample s;
    s.data.assign(1024, 1);  // 1024 frames, no loop
    ins.samples.push_back(s);
    {
        Song song(oneChannel({note(C4, 1, 9, 0x02)}, 1, {ins}));
        song.tick();
        EXPECT_EQ(song.channel(0).voice->position, 512);
        EXPECT_EQ(song.channel(0).voice->startOffset, 0u) << "the trigger clears it";
    }
    {
        // The same note again with 904: 1024 is the end, so no new note; the voice restarts.
        Song song(oneChannel({note(C4), note(C4, 1, 9, 0x04)}, 1, {ins}));
        song.tick();
        Voice* voice = song.channel(0).voice;
        voice->position = 300;
        song.tick();
        EXPECT_EQ(song.channel(0).voice, voice) << "not handed over";
        EXPECT_EQ(voice->position, 0);
    }
}

TEST(Effects, FineTuneChangesTheSampleForLaterNotesOnAnyChannel) {
    XmLayout layout;
    layout.channels = 2;
    layout.tempo = 1;
    layout.instruments = {toneInstrument()};
    layout.patterns = {pattern(2, 2, {{0, note(C4, 1, 14, 0x57)}, {3, note(C4)}})};
    Song song(layout);
    song.tick();
    EXPECT_EQ(song.channel(0).notePeriod, 4608) << "this note was computed before the change";
    song.tick();
    EXPECT_EQ(song.channel(1).notePeriod, linearPeriod(48, 7));
}

TEST(Effects, FineTuneNeverTouchesTheSharedEmptySample) {
    Song song(oneChannel({note(C4, 9, 14, 0x57)}, 1));  // instrument 9 does not exist
    song.tick();
    EXPECT_EQ(emptySample.finetune, 0);
}

// The tone instrument with a volume envelope from 64 at tick 0 to `end` at tick 10.
XmInstrument rampInstrument(uint16_t end) {
    XmInstrument ins = toneInstrument();
    ins.volumeEnvelope[0] = {0, 64};
    ins.volumeEnvelope[1] = {10, end};
    ins.volumePointCount = 2;
    ins.volumeType = 1;
    return ins;
}

TEST(Envelopes, ALinearRampWithoutSustain) {
    XmInstrument ins = rampInstrument(0);
    Song song(oneChannel({note(C4)}, 31, {ins}));
    const auto values = perTick(song, 13, [](const Channel& c) { return c.volumeEnvelopeValue; });
    EXPECT_EQ(values, (std::vector<int32_t>{64, 57, 51, 44, 38, 32, 25, 19, 12, 6, 0, 0, 0}));
    EXPECT_EQ(song.channel(0).volumeEnvelopeStep, -419430);
    EXPECT_EQ(song.channel(0).volumeEnvelopeDone, 1);
}

TEST(Envelopes, SustainHoldsUntilTheRelease) {
    XmInstrument ins = rampInstrument(0);
    ins.volumeType |= 2;
    ins.volumeSustainPoint = 0;
    Song song(oneChannel({note(C4), note(KEY_OFF, 0)}, 4, {ins}));
    const auto values = perTick(song, 7, [](const Channel& c) { return c.volumeEnvelopeValue; });
    EXPECT_EQ(values, (std::vector<int32_t>{64, 64, 64, 64, 64, 57, 51})) << "released on tick 4";
}

TEST(Envelopes, LxxJumpsIntoTheRampAndRunsOneTickAhead) {
    XmInstrument ins = rampInstrument(0);
    Song song(oneChannel({note(C4), effect(21, 5)}, 2, {ins}));
    song.rowsPlayed(2);
    song.tick();
    EXPECT_EQ(song.channel(0).volumeEnvelopeTick, 5);
    EXPECT_EQ(song.channel(0).volumeEnvelopeValue, 32);
    song.tick();
    EXPECT_EQ(song.channel(0).volumeEnvelopeValue, 25);
}

TEST(Envelopes, FadeoutOf0x200EndsAReleasedNoteIn128Ticks) {
    XmInstrument ins = rampInstrument(64);
    ins.volumeFadeout = 0x100;  // a released note loses twice it per tick
    Song song(oneChannel({note(C4), note(KEY_OFF, 0)}, 200, {ins}));
    song.rowsPlayed(200);
    const auto fade = perTick(song, 129, [](const Channel& c) { return c.fadeoutVolume; });
    EXPECT_EQ(fade[0], 65536 - 512);
    EXPECT_EQ(fade[126], 512);
    EXPECT_EQ(fade[127], 0);
    EXPECT_EQ(fade[128], 0);
    EXPECT_EQ(song.channel(0).voice->volume, 0);
}

TEST(Envelopes, AutoVibratoSweepsIn) {
    XmInstrument ins = toneInstrument();
    ins.vibratoType = 1;  // square: +64 while the position is below 128
    ins.vibratoDepth = 8;
    ins.vibratoSweep = 4;
    ins.vibratoRate = 0;
    Song song(oneChannel({note(C4)}, 31, {ins}));
    const auto deltas = perTick(song, 6, [](const Channel& c) { return c.periodDelta; });
    EXPECT_EQ(deltas, (std::vector<int32_t>{0, 2, 4, 6, 8, 8}));
}

// Depth 64 adds the waveform's value itself ((64 × v) >> 6 = v); rate 32 visits every eighth of
// the cycle, rate 1 its first steps. Sine: 64 × sin(2πp / 256) truncated, with π as the
// single-precision 3.141592025…, so the crest is 63.99999… → 63. Ramp down: 0, falling to −48,
// jumping to 64, falling back; halved by an arithmetic shift, so −1 >> 1 is −1. Ramp up: the
// mirror image.
TEST(Envelopes, AutoVibratoWaveforms) {
    struct Case {
        uint8_t              type;
        uint8_t              rate;
        std::vector<int32_t> deltas;  // at p = 0, rate, 2 × rate, … (mod 256)
    };
    const Case cases[] = {
        {0, 32, {0, 45, 63, 45, 0, -45, -63, -45, 0}},
        {1, 32, {64, 64, 64, 64, -64, -64, -64, -64, 64}},
        {2, 32, {0, -16, -32, -48, 64, 48, 32, 16, 0}},
        {2, 1, {0, -1, -1, -2, -2, -3, -3, -4, -4}},
        {3, 32, {0, 16, 32, 48, 64, -48, -32, -16, 0}},
        {3, 1, {0, 0, 1, 1, 2, 2, 3, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type) + ", rate " + std::to_string(c.rate));
        XmInstrument ins = toneInstrument();
        ins.vibratoType = c.type;
        ins.vibratoDepth = 64;
        ins.vibratoRate = c.rate;
        Song song(oneChannel({note(C4)}, 31, {ins}));
        EXPECT_EQ(perTick(song, 9, [](const Channel& ch) { return ch.periodDelta; }), c.deltas);
    }
}

// A loop from point 1 (tick 4, 64) to point 2 (tick 8, 32): the tick that reaches the loop end
// jumps back at once, so it shows the loop start's 64, never the end's 32, and the loop repeats
// every 4 ticks.
TEST(Envelopes, ALoopReentersOnTheTickItReachesItsEnd) {
    XmInstrument ins = toneInstrument();
    ins.volumeEnvelope[0] = {0, 0};
    ins.volumeEnvelope[1] = {4, 64};
    ins.volumeEnvelope[2] = {8, 32};
    ins.volumePointCount = 3;
    ins.volumeType = 1 | 4;
    ins.volumeLoopStart = 1;
    ins.volumeLoopEnd = 2;
    Song song(oneChannel({note(C4)}, 31, {ins}));
    const auto values = perTick(song, 13, [](const Channel& c) { return c.volumeEnvelopeValue; });
    EXPECT_EQ(values, (std::vector<int32_t>{0, 16, 32, 48, 64, 56, 48, 40, 64, 56, 48, 40, 64}));
    EXPECT_EQ(song.channel(0).volumeEnvelopeDone, 0) << "a loop ending at the last point never finishes";
}

TEST(Envelopes, IndicesBeyondThePointsAreNeverRead) {
    XmInstrument ins = toneInstrument();
    ins.volumeEnvelope[0] = {0, 64};
    ins.volumeEnvelope[1] = {4, 0};
    ins.volumePointCount = 2;
    ins.volumeType = 1 | 2 | 4;
    ins.volumeSustainPoint = 200;
    ins.volumeLoopStart = 1;
    ins.volumeLoopEnd = 150;
    Song song(oneChannel({note(C4), effect(21, 0xFF)}, 8, {ins}));
    const auto values = perTick(song, 16, [](const Channel& c) { return c.volumeEnvelopeValue; });
    EXPECT_EQ(values[4], 0) << "no loop and no sustain: the ramp runs to its end";
    EXPECT_EQ(song.channel(0).volumeEnvelopeDone, 1);
}

}  // namespace
