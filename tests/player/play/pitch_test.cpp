#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "player/play/channel.h"
#include "player/mix/mixer.h"
#include "player/module.h"
#include "player/play/pitch.h"
#include "player/playback.h"
#include "player/play/sequencer.h"

namespace {

TEST(Periods, BothScales) {
    struct Case {
        int32_t note, fineTune, linear, amiga;
    };
    const Case cases[] = {
        {48, 0, 4608, 1712},  // C-4
        {0, 0, 7680, 27392},
        {48, -128, 4672, 1813},
        {48, 127, 4545, 1616},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(linearPeriod(c.note, c.fineTune), c.linear) << c.note << " " << c.fineTune;
        EXPECT_EQ(amigaPeriod(c.note, c.fineTune), c.amiga) << c.note << " " << c.fineTune;
    }
    // Fine-tune −128 is exactly one semitone down on both scales; 127 almost one up.
    EXPECT_EQ(linearPeriod(48, -128), linearPeriod(47, 0));
    EXPECT_EQ(amigaPeriod(48, -128), amigaPeriod(47, 0));
    EXPECT_GT(amigaPeriod(48, 127), amigaPeriod(49, 0));
    // Note 0 has no lower neighbour: a negative fine-tune is scaled by the distance to note 1.
    EXPECT_EQ(amigaPeriod(0, -64), 27392 + (27392 - amigaPeriod(1, 0)) * 64 / 128);
}

TEST(Periods, FrequencyOnBothScales) {
    EXPECT_EQ(periodFrequency(4608, 0, true), 8363);
    EXPECT_EQ(periodFrequency(4608 - 768, 0, true), 16726);
    EXPECT_EQ(periodFrequency(4608, 768, true), 16726) << "a positive offset raises a linear pitch";
    EXPECT_EQ(periodFrequency(1712, 0, false), 8362);
    EXPECT_EQ(periodFrequency(1712, 1712, false), 4181) << "and lowers an Amiga pitch";
    // Periods run away by endless portamento stay representable.
    EXPECT_EQ(periodFrequency(-100000000, 0, true), 2147483647);
    EXPECT_EQ(periodFrequency(100000000, 0, true), 0);
    EXPECT_EQ(periodFrequency(-5, 5, false), 0);
}

// ProTracker's table: C-1 856 … B-3 113 at fine-tune 0, each fine-tune's table an eighth of a
// semitone from the next (within the table's own roundings), −8 a semitone below 0, and the 0
// after every table that its arpeggio reads past the end.
TEST(Periods, ProTrackersTable) {
    EXPECT_EQ(protrackerPeriod(0, 0), 856);
    EXPECT_EQ(protrackerPeriod(0, 35), 113);
    EXPECT_EQ(protrackerPeriod(7, 35), 108);
    EXPECT_EQ(protrackerPeriod(-1, 0), 862);
    EXPECT_EQ(protrackerPeriod(0, 36), 0);
    EXPECT_EQ(protrackerPeriod(0, 37), 850) << "past the end of fine-tune 0's table lies fine-tune 1's";
    EXPECT_EQ(protrackerPeriod(-1, 37), 0) << "past the last table: 0";
    for (int32_t note = 1; note < kProtrackerNotes; ++note) EXPECT_EQ(protrackerPeriod(-8, note), protrackerPeriod(0, note - 1));
    for (int32_t fineTune = -8; fineTune < 8; ++fineTune)
        for (int32_t note = 0; note < kProtrackerNotes; ++note) {
            const double ideal = 856.0 * std::pow(2.0, -(note + fineTune / 8.0) / 12.0);
            EXPECT_LE(std::abs(protrackerPeriod(fineTune, note) - ideal), 1.5) << fineTune << " " << note;
            if (note > 0) { EXPECT_LT(protrackerPeriod(fineTune, note), protrackerPeriod(fineTune, note - 1)); }
        }
}

TEST(Periods, ProTrackersArpeggioReadsItsTable) {
    struct Case {
        int32_t period, fineTune, n, expected;
    };
    const Case cases[] = {
        {4 * 428, 0, 0, 4 * 428},  {4 * 428, 0, 7, 4 * 285},    // C-2 and the G-2 above it
        {4 * 430, 0, 12, 4 * 214},                              // a period between entries takes the next one at or below it
        {4 * 113, 0, 1, 0},        {4 * 113, 0, 2, 4 * 850},    // past B-3: the table's 0, then fine-tune 1's C-1
        {4 * 425, 16, 12, 4 * 213},                             // fine-tune 1's own table
        {4 * 50, 0, 3, 4 * 757},                                // below every entry: the search stops at the 0
    };
    for (const Case& c : cases)
        EXPECT_EQ(protrackerArpeggio(c.period, c.fineTune, c.n), c.expected) << c.period << " +" << c.n;
}

TEST(Periods, TheAmigaClockOfProTracker) {
    EXPECT_EQ(periodFrequency(1712, 0, false, kPalAmigaClock), 8287);  // C-2 on a PAL Amiga
    EXPECT_EQ(periodFrequency(4608, 0, true, kPalAmigaClock), 8363) << "linear periods know no clock";
}

// A channel at full scale on voice 0 of a playback, with a sample to play.
struct VoiceFixture {
    Sample                    sample{};
    Module                    module{};
    std::unique_ptr<Playback> playback = std::make_unique<Playback>();
    Playback&                 p = *playback;
    Channel&                  channel = p.channels[0];
    VoiceFixture() {
        module.flags = 1;
        module.initialGlobalVolume = 64;
        startPlayback(p, module, defaultProfile);
        sample.length = 1000;
        sample.loopLength = 1000;
        sample.loopType = 1;
        channel.volume = 64;
        channel.panning = 128;
        channel.volumeEnvelopeValue = 64;
        channel.panningEnvelopeValue = 32;
        channel.fadeoutVolume = 65536;
        channel.period = 4608;
    }
};

TEST(UpdateVoice, FullScaleNoteAtC4) {
    VoiceFixture f;
    f.channel.updateFlags = kUpdateTrigger | kUpdatePitch | kUpdateVolume | kUpdatePanning;
    updateVoice(f.p, f.channel, f.sample);
    const Voice& v = *f.channel.voice;
    EXPECT_EQ(v.slot, 0);
    EXPECT_EQ(v.sample, &f.sample);
    EXPECT_EQ(v.volume, 127);
    EXPECT_EQ(v.panning, 128);
    EXPECT_EQ(v.leftVolume, 63);
    EXPECT_EQ(v.rightVolume, 63);
    EXPECT_EQ(v.frequency, 8363);
    EXPECT_EQ(v.stepInteger, 0u);
    EXPECT_EQ(v.stepFraction, uint32_t((uint64_t(8363) << 32) / 44100));
    EXPECT_EQ(v.currentLeft, 0) << "ramps in from silence";
}

TEST(UpdateVoice, VeryLowPitchesStepAt100Hz) {
    VoiceFixture f;
    f.channel.period = 20000;  // about 2.5 Hz
    f.channel.updateFlags = kUpdatePitch;
    updateVoice(f.p, f.channel, f.sample);
    EXPECT_LT(f.channel.voice->frequency, 100);
    EXPECT_EQ(f.channel.voice->stepFraction, uint32_t((uint64_t(100) << 32) / 44100));
}

TEST(UpdateVoice, ZeroPeriodSkipsThePitch) {
    VoiceFixture f;
    f.channel.period = 0;
    f.channel.voice->frequency = 1234;
    f.channel.updateFlags = kUpdatePitch;
    updateVoice(f.p, f.channel, f.sample);
    EXPECT_EQ(f.channel.voice->frequency, 1234);
}

TEST(FinalPanning, TheEnvelopeReachDependsOnTheDistanceFromTheEdge) {
    struct Case {
        int32_t panning, envelope, expected;
    };
    const Case cases[] = {{128, 64, 255}, {128, 0, 0}, {128, 32, 128}, {250, 64, 250}, {200, 40, 208}, {0, 64, 0}};
    for (const Case& c : cases) {
        Channel ch{};
        ch.panning = c.panning;
        ch.panningEnvelopeValue = c.envelope;
        EXPECT_EQ(finalPanning(ch), c.expected) << c.panning << " " << c.envelope;
    }
}

TEST(FinalVolume, RoundsEachProductToSinglePrecision) {
    struct Case {
        int32_t volume, delta, envelope, fadeout, global, expected;
    };
    const Case cases[] = {
        {64, 0, 64, 65536, 64, 127}, {80, 0, 64, 65536, 64, 159}, {64, -64, 64, 65536, 64, 0},
        {32, 0, 64, 65536, 64, 63},  {64, 0, 32, 32768, 64, 31},  {255, 0, 64, 65536, 64, 508},
    };
    for (const Case& c : cases) {
        Channel ch{};
        ch.volume = c.volume;
        ch.volumeDelta = c.delta;
        ch.volumeEnvelopeValue = c.envelope;
        ch.fadeoutVolume = c.fadeout;
        EXPECT_EQ(finalVolume(ch, c.global), c.expected) << c.volume;
    }
}

TEST(UpdateVoice, ThreeNotesInARowAlternateBetweenPartnerVoices) {
    VoiceFixture f;
    const int32_t expected[] = {0, 32, 0};
    for (int n = 0; n < 3; ++n) {
        f.channel.updateFlags = kUpdateTrigger | kUpdatePitch | kUpdateVolume;
        updateVoice(f.p, f.channel, f.sample);
        EXPECT_EQ(f.channel.voice->slot, expected[n]) << n;
        EXPECT_EQ(f.channel.voice->volume, 127);
        if (n > 0) {
            const Voice& old = f.p.mixer.voices[expected[n - 1]];
            EXPECT_EQ(old.sample, &f.sample) << "the old note still sounds";
            EXPECT_EQ(old.leftVolume, 0) << "and ramps out";
            EXPECT_EQ(old.rightVolume, 0);
        }
    }
}

TEST(UpdateVoice, ATriggerPastTheLoopEndStartsAtZeroAndRewindRestarts) {
    VoiceFixture f;
    f.channel.voice->startOffset = 1000;  // at the end: not below loopStart + loopLength
    f.channel.updateFlags = kUpdateTrigger;
    updateVoice(f.p, f.channel, f.sample);
    EXPECT_EQ(f.channel.voice->position, 0);
    f.channel.voice->startOffset = 500;
    f.channel.updateFlags = kUpdateTrigger;
    updateVoice(f.p, f.channel, f.sample);
    EXPECT_EQ(f.channel.voice->position, 500);
    EXPECT_EQ(f.channel.voice->startOffset, 0u);
    f.channel.voice->position = 700;
    f.channel.updateFlags = kUpdateRewind;
    updateVoice(f.p, f.channel, f.sample);
    EXPECT_EQ(f.channel.voice->position, 0);
}

}  // namespace
