// Playback profiles: every switch on its own changes what it names and nothing else, shown on a
// small module played once with the default profile and once with only that switch on.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "player/profile.h"
#include "s3m_writer.h"
#include "song_fixture.h"

namespace {

constexpr uint8_t kKeyOff = 97;  // the file's key-off note
constexpr uint8_t C4 = 49, D4 = 51, E4 = 53, C5 = 61, B6 = 84, A7 = 94, B7 = 96;

// Effect letters as the file numbers them.
constexpr uint8_t kArpeggio = 0x0, kPortaUp = 0x1, kPortaDown = 0x2, kPorta = 0x3, kVibrato = 0x4, kTremolo = 0x7,
                  kOffset = 0x9, kVolumeSlide = 0xA, kSetVolume = 0xC, kExtended = 0xE, kSpeed = 0xF,
                  kGlobalVolume = 16, kKeyOffEffect = 20, kEnvelopePosition = 21, kRetrig = 27, kTremor = 29;
constexpr uint8_t B5 = 72;  // ProTracker's highest note, B-3 there

// A volume envelope (0,64) (10,0), optionally holding at its first point until key-off.
XmInstrument envelopeInstrument(bool sustain) {
    XmInstrument ins = toneInstrument();
    ins.volumeEnvelope[0] = {0, 64};
    ins.volumeEnvelope[1] = {10, 0};
    ins.volumePointCount = 2;
    ins.volumeType = sustain ? 3 : 1;
    return ins;
}

// A volume envelope of one point at level 32, and the instrument's fadeout as the file has it.
XmInstrument onePointInstrument(uint16_t fadeout) {
    XmInstrument ins = toneInstrument();
    ins.volumeEnvelope[0] = {0, 32};
    ins.volumePointCount = 1;
    ins.volumeType = 1;
    ins.volumeFadeout = fadeout;
    return ins;
}

XmLayout song(std::vector<XmCell> rows, XmInstrument ins = toneInstrument(), uint16_t tempo = 6) {
    XmLayout layout;
    layout.channels = 1;
    layout.tempo = tempo;
    layout.instruments = {ins};
    layout.patterns = {column(std::move(rows))};
    return layout;
}

// The same on Amiga periods, with a second instrument whose one-shot sample is 1024 frames long
// and plays at volume 16.
XmLayout amigaSong(std::vector<XmCell> rows) {
    XmLayout layout = song(std::move(rows));
    layout.flags = 0;
    XmInstrument longOne;
    XmSample s;
    s.data.assign(1024, 1);
    s.volume = 16;
    longOne.samples = {s};
    layout.instruments.push_back(longOne);
    return layout;
}

// Bit i set when channel 0 is silenced by tremor on tick i.
std::function<int64_t(Song&)> tremorSilences(int ticks) {
    return [ticks](Song& s) {
        int64_t mask = 0;
        for (int i = 0; i < ticks; ++i) {
            s.tick();
            const Channel& c = s.channel(0);
            if (c.volume + c.volumeDelta == 0) mask |= int64_t(1) << i;
        }
        return mask;
    };
}

// A module's bytes, from any writer.
struct ModuleBytes {
    std::vector<uint8_t> bytes;
    ModuleBytes(const XmLayout& layout) : bytes(buildXm(layout)) {}
    ModuleBytes(const S3mLayout& layout) : bytes(buildS3m(layout)) {}
};

struct SwitchCase {
    const char*                     name;
    bool PlaybackProfile::*         flag;
    ModuleBytes                     module;
    std::function<int64_t(Song&)>   observe;
    int64_t                         withDefault;  // with `base`
    int64_t                         withSwitch;   // with `base` and the switch
    PlaybackProfile                 base = defaultProfile;
};

std::vector<SwitchCase> switchCases() {
    const auto volume = [](const Channel& c) { return int64_t(c.volume); };
    const auto period = [](const Channel& c) { return int64_t(c.period); };
    const auto voiceVolume = [](const Channel& c) { return int64_t(c.voice->volume); };
    const auto sounding = [](const Channel& c) { return int64_t(c.voice->sample != nullptr); };
    const auto keyOff = [](const Channel& c) { return int64_t(c.keyOff); };
    const auto periodDelta = [](const Channel& c) { return int64_t(c.periodDelta); };
    const auto transposedBy = [](int8_t semitones) {
        XmInstrument ins = toneInstrument();
        ins.samples[0].relativeNote = semitones;
        return ins;
    };
    const XmInstrument transposed = transposedBy(30);
    const XmInstrument twoOctavesUp = transposedBy(24);
    XmInstrument fastFadeout = toneInstrument();
    fastFadeout.volumeFadeout = 0x8000;
    // One-shot samples of exactly 256 and 257 frames: 901 lands on the end of the first and the
    // last frame of the second.
    const auto framesLong = [](size_t frames) {
        XmInstrument ins = toneInstrument();
        ins.samples[0].data.assign(frames, 1);
        ins.samples[0].type = 0;
        ins.samples[0].loopLength = 0;
        return ins;
    };
    // Two instruments whose samples differ in length (8 and 16 frames).
    const auto twoInstruments = [](std::vector<XmCell> rows) {
        XmLayout x = song(std::move(rows));
        XmInstrument longer = toneInstrument();
        longer.samples[0].data.resize(16, 0);
        longer.samples[0].loopLength = 16;
        x.instruments.push_back(longer);
        return x;
    };
    const auto sampleLength = [](const Channel& c) { return int64_t(c.voice->sample ? c.voice->sample->length : 0); };
    const auto startFrame = [](const Channel& c) { return int64_t(c.voice->position); };
    const auto tempo = [](Song& s) {
        s.tick();
        return int64_t(s.p.tempo);
    };
    PlaybackProfile staysWithChannel = defaultProfile;
    staysWithChannel.offsetStaysWithChannel = true;
    // An S3M note C-1 of a sample at 10000 Hz: Scream Tracker 3's period 8363 × 16 × 1712 /
    // (10000 × 2), or the nearest XM transpose's (3 semitones, fine-tune 12) on the Amiga scale.
    S3mLayout rated;
    rated.samples = {S3mSample{}};
    rated.samples[0].data.assign(64, 10);
    rated.samples[0].c2spd = 10000;
    rated.patterns = {S3mPattern{{{0, 0, s3mNote(1, 0), 1}}, {}}};
    std::vector<SwitchCase> cases = {
        // A released note without volume envelope: silent at once, or volume 0 that the next
        // row's volume column brings back (no fadeout in this instrument).
        {"keyOffZeroesVolume", &PlaybackProfile::keyOffZeroesVolume,
         song({{C4, 1, 0, 0, 0}, {kKeyOff, 0, 0, 0, 0}, {0, 0, 0x50, 0, 0}}), after(13, voiceVolume), 0, 127},
        // K03 releases on the row tick, or on tick 3.
        {"keyOffEffectOnItsTick row tick", &PlaybackProfile::keyOffEffectOnItsTick,
         song({{C4, 1, 0, 0, 0}, {0, 0, 0, kKeyOffEffect, 3}}), after(8, keyOff), 1, 0},
        {"keyOffEffectOnItsTick tick 3", &PlaybackProfile::keyOffEffectOnItsTick,
         song({{C4, 1, 0, 0, 0}, {0, 0, 0, kKeyOffEffect, 3}}), after(10, keyOff), 1, 1},
        // K00 beside a note: the note starts, or is released without starting.
        {"keyOffEffectOnItsTick K00 and note", &PlaybackProfile::keyOffEffectOnItsTick,
         song({{C4, 1, 0, kKeyOffEffect, 0}}), starts(6), 1, 0},
        // Key-off beside an instrument number: the envelope restarts, or runs on (tick 8).
        {"keyOffWithInstrumentResetsVolume", &PlaybackProfile::keyOffWithInstrumentResetsVolume,
         song({{C4, 1, 0, 0, 0}, {kKeyOff, 1, 0, 0, 0}}, envelopeInstrument(false)),
         after(7, [](const Channel& c) { return int64_t(c.volumeEnvelopeTick); }), 1, 7},
        // A delayed note without instrument: volume back to the sample's 64, or kept at 16.
        {"noteDelayAppliesCellLate", &PlaybackProfile::noteDelayAppliesCellLate,
         song({{C4, 1, 0x20, 0, 0}, {C4, 0, 0, kExtended, 0xD2}}), after(9, volume), 64, 16},
        // The instrument number waits for the delay tick too: on the row tick the channel still
        // has instrument 1 (0 counted from 0), or already the new one.
        {"noteDelayAppliesCellLate instrument on the row tick", &PlaybackProfile::noteDelayAppliesCellLate,
         twoInstruments({{C4, 1, 0, 0, 0}, {D4, 2, 0, kExtended, 0xD2}}),
         after(7, [](const Channel& c) { return int64_t(c.instrument); }), 1, 0},
        // ED0 is no delay: the note plays on the row tick, or (the demo's reading) never.
        {"noteDelayAppliesCellLate ED0", &PlaybackProfile::noteDelayAppliesCellLate,
         song({{C4, 1, 0, kExtended, 0xD0}}), starts(6), 0, 1},
        // A delayed note of another instrument: on the delay tick the voice takes that
        // instrument's sample (16 frames, not the 8 of the one playing) in both readings.
        {"noteDelayAppliesCellLate instrument", &PlaybackProfile::noteDelayAppliesCellLate,
         twoInstruments({{C4, 1, 0, 0, 0}, {D4, 2, 0, kExtended, 0xD2}}), after(9, sampleLength), 16, 16},
        // ED2 in a row that EE1 plays twice: the note starts once, or in each repetition.
        {"patternDelayRepeatsRowTicks", &PlaybackProfile::patternDelayRepeatsRowTicks,
         [] {
             XmLayout x = song({});
             x.channels = 2;
             x.patterns = {pattern(4, 2, {{0, XmCell{C4, 1, 0, kExtended, 0xD2}}, {1, XmCell{0, 0, 0, kExtended, 0xE1}}})};
             return x;
         }(),
         starts(12), 1, 2},
        // R03 at tempo 5 over two rows: tick 3 of each row, or every third tick across them,
        // the row ticks counted (the note's own row tick too).
        {"retrigCountsAcrossRows", &PlaybackProfile::retrigCountsAcrossRows,
         song({{C4, 1, 0, kRetrig, 0x03}, {0, 0, 0, kRetrig, 0x03}}, toneInstrument(), 5), startTicks(10), 0b100001001,
         0b100100101},
        // R03 at tempo 4 beside volume-column bytes: 0x50 keeps its row tick from counting (the
        // retrigger comes on tick 6, not 5); volume 0 (0x10) and panning (0xC0) do not.
        {"retrigCountsAcrossRows volume column", &PlaybackProfile::retrigCountsAcrossRows,
         song({{C4, 1, 0, kRetrig, 0x03}, {0, 0, 0x50, kRetrig, 0x03}, {0, 0, 0x10, kRetrig, 0x03},
               {0, 0, 0xC0, kRetrig, 0x03}},
              toneInstrument(), 4),
         startTicks(16), 0b1000100010001001, 0b1001001001000101},
        // An instrument number alone sets the counter back (retrigger on tick 6, not 5); a note
        // without one does not (tick 9, not 10).
        {"retrigCountsAcrossRows instrument and note", &PlaybackProfile::retrigCountsAcrossRows,
         song({{C4, 1, 0, kRetrig, 0x03}, {0, 1, 0, kRetrig, 0x03}, {C4, 0, 0, kRetrig, 0x03}}, toneInstrument(), 4),
         startTicks(12), 0b100110001001, 0b001101000101},
        {"retrigZeroOnRowTick", &PlaybackProfile::retrigZeroOnRowTick,
         song({{C4, 1, 0, 0, 0}, {0, 0, 0, kExtended, 0x90}}), starts(12), 1, 2},
        // 901 past the end of an 8-frame sample beside a note: the old note restarts, or the
        // new one stops.
        {"offsetStartsOnlyItsNote", &PlaybackProfile::offsetStartsOnlyItsNote,
         song({{C4, 1, 0, 0, 0}, {C4, 1, 0, kOffset, 0x01}}), after(7, sounding), 1, 0},
        // Exactly at the end of a 256-frame sample the note stops too; on its last frame it plays.
        {"offsetStartsOnlyItsNote at the end", &PlaybackProfile::offsetStartsOnlyItsNote,
         song({{C4, 1, 0, 0, 0}, {C4, 1, 0, kOffset, 0x01}}, framesLong(256)), after(7, sounding), 1, 0},
        {"offsetStartsOnlyItsNote on the last frame", &PlaybackProfile::offsetStartsOnlyItsNote,
         song({{C4, 1, 0, 0, 0}, {C4, 1, 0, kOffset, 0x01}}, framesLong(257)), after(7, sounding), 1, 1},
        // D-4 with volume-column portamento: the pitch jumps to D-4, or starts sliding from C-4.
        {"volumeColumnPortaRow", &PlaybackProfile::volumeColumnPortaRow,
         song({{C4, 1, 0, 0, 0}, {D4, 0, 0xF1, 0, 0}}), after(7, period), 4480, 4608},
        // A plain E-4 after a portamento to D-4, then 305 without a note: it slides towards
        // E-4 (already there) or back towards D-4.
        {"portaTargetFromPortaNote", &PlaybackProfile::portaTargetFromPortaNote,
         song({{C4, 1, 0, 0, 0}, {D4, 0, 0, kPorta, 0x05}, {E4, 0, 0, 0, 0}, {0, 0, 0, kPorta, 0x05}}), after(24, period),
         4352, 4452},
        // T11 on one row of tempo 6: on 2, off 2 counting the row tick, or counted on the other
        // ticks only, starting with a phase change; the row after it sounds in both.
        {"tremorCountsDown", &PlaybackProfile::tremorCountsDown, song({{C4, 1, 0, kTremor, 0x11}}), tremorSilences(12),
         0b001100, 0b011000},
        // A silent phase at the end of the row lasts into the next one until a volume is set.
        {"tremorCountsDown silent phase kept", &PlaybackProfile::tremorCountsDown,
         song({{C4, 1, 0, kTremor, 0x13}, {}, {0, 0, 0x40, 0, 0}}), tremorSilences(18), 0b000000111100,
         0b111111111000},
        // An instrument number ends it as a volume does.
        {"tremorCountsDown silent phase ended by an instrument", &PlaybackProfile::tremorCountsDown,
         song({{C4, 1, 0, kTremor, 0x13}, {}, {0, 1, 0, 0, 0}}), tremorSilences(18), 0b000000111100,
         0b111111111000},
        // EA4 then EB0: EB0 repeats the 4, or has no memory of its own yet.
        {"fineVolumeSeparateMemory", &PlaybackProfile::fineVolumeSeparateMemory,
         song({{C4, 1, 0x30, 0, 0}, {0, 0, 0, kExtended, 0xA4}, {0, 0, 0, kExtended, 0xB0}}), after(13, volume), 32, 36},
        // E5F beside a note: the sample's fine-tune for later notes, or this note's +112.
        {"fineTuneOnNote", &PlaybackProfile::fineTuneOnNote, song({{C4, 1, 0, kExtended, 0x5F}}), after(1, period), 4608,
         4552},
        // B-7 with a transpose of +30 semitones lies past the playable range.
        {"noteRangeAfterTranspose", &PlaybackProfile::noteRangeAfterTranspose, song({{B7, 1, 0, 0, 0}}, transposed),
         after(1, sounding), 1, 0},
        // The range ends below real note 119 (B-7 + 24), and starts at C-0 (C-0 − 1 lies below).
        {"noteRangeAfterTranspose 119", &PlaybackProfile::noteRangeAfterTranspose,
         song({{B7, 1, 0, 0, 0}}, transposedBy(24)), after(1, sounding), 1, 0},
        {"noteRangeAfterTranspose 118", &PlaybackProfile::noteRangeAfterTranspose,
         song({{B7, 1, 0, 0, 0}}, transposedBy(23)), after(1, sounding), 1, 1},
        {"noteRangeAfterTranspose -1", &PlaybackProfile::noteRangeAfterTranspose,
         song({{1, 1, 0, 0, 0}}, transposedBy(-1)), after(1, sounding), 1, 0},
        // A volume slide's change: the mixer's short ramp, or the whole tick (882 frames).
        {"volumeRampsOverTick", &PlaybackProfile::volumeRampsOverTick, song({{C4, 1, 0x30, kVolumeSlide, 0x01}}),
         after(2, [](const Channel& c) { return int64_t(c.voice->tickRampFrames); }), 0, 882},
        // Tremolo ramp-down (E71) while the vibrato (speed 8) has left its position at −24:
        // the ramp starts at 0, or inverted at 255 (a volume offset of 31).
        {"tremoloRampFollowsVibrato", &PlaybackProfile::tremoloRampFollowsVibrato,
         song({{C4, 1, 0x30, kExtended, 0x71}, {0, 0, 0, kVibrato, 0x81}, {0, 0, 0, kTremolo, 0x88}}),
         after(14, [](const Channel& c) { return int64_t(c.volumeDelta); }), 0, 31},
        // 037 on tick 1 of a tempo-6 row: +3 semitones, or +7 (five ticks left).
        {"arpeggioCountsDown", &PlaybackProfile::arpeggioCountsDown, song({{C4, 1, 0, kArpeggio, 0x37}}),
         after(2, [](const Channel& c) { return int64_t(c.periodDelta); }), 3 * 64, 7 * 64},
        // At tempo 17 tick 1 has 16 ticks left: the base note; at tempo 18, 17 left: +7.
        {"arpeggioCountsDown at speed 17", &PlaybackProfile::arpeggioCountsDown,
         song({{C4, 1, 0, kArpeggio, 0x37}}, toneInstrument(), 17),
         after(2, [](const Channel& c) { return int64_t(c.periodDelta); }), 3 * 64, 0},
        {"arpeggioCountsDown at speed 18", &PlaybackProfile::arpeggioCountsDown,
         song({{C4, 1, 0, kArpeggio, 0x37}}, toneInstrument(), 18),
         after(2, [](const Channel& c) { return int64_t(c.periodDelta); }), 3 * 64, 7 * 64},
        // L00 on an envelope that holds at its first point: it runs on, or holds at 64.
        {"envelopePositionMeetsPoint", &PlaybackProfile::envelopePositionMeetsPoint,
         song({{C4, 1, 0, kEnvelopePosition, 0x00}}, envelopeInstrument(true)),
         after(4, [](const Channel& c) { return int64_t(c.volumeEnvelopeValue); }), 44, 64},
        // Fadeout 0x8000: twice it wraps to no fadeout at all in 16 bits, or empties the 65536 of
        // a released note on the key-off's own tick.
        {"fadeoutFullRange", &PlaybackProfile::fadeoutFullRange, song({{C4, 1, 0, 0, 0}, {kKeyOff, 0, 0, 0, 0}}, fastFadeout),
         after(7, [](const Channel& c) { return int64_t(c.fadeoutVolume); }), 65536, 0},
        // A one-point envelope at 32, fadeout 0, released on row 1: off, so the key-off silences
        // the note; or on, holding at half volume (127 × 32 / 64, truncated) through the key-off.
        {"onePointEnvelopes held", &PlaybackProfile::onePointEnvelopes,
         song({{C4, 1, 0, 0, 0}, {kKeyOff, 0, 0, 0, 0}}, onePointInstrument(0)), after(13, voiceVolume), 0, 63},
        // The same with fadeout 0x100: seven ticks since the key-off leave 65536 − 7 × 512, so
        // 64 × 32 × 61952 × 64 × 255 / 2^35 = 60.26.
        {"onePointEnvelopes fading", &PlaybackProfile::onePointEnvelopes,
         song({{C4, 1, 0, 0, 0}, {kKeyOff, 0, 0, 0, 0}}, onePointInstrument(0x100)), after(13, voiceVolume), 0, 60},
        {"setVolumeLimited", &PlaybackProfile::setVolumeLimited, song({{C4, 1, 0, 0, 0}, {0, 0, 0, kSetVolume, 0x7F}}),
         after(7, volume), 127, 64},
        {"noteCutZeroOnRowTick", &PlaybackProfile::noteCutZeroOnRowTick,
         song({{C4, 1, 0, 0, 0}, {0, 0, 0, kExtended, 0xC0}}), after(7, volume), 64, 0},
        // EE1 on channel 0 and F03 on channel 1 of the first row (tempo 6): the repetition
        // lasts the 6 ticks in force at the EE1, or the row's final 3.
        {"patternDelayAtRowTempo", &PlaybackProfile::patternDelayAtRowTempo,
         [] {
             XmLayout x = song({});
             x.channels = 2;
             x.patterns = {pattern(4, 2, {{0, XmCell{C4, 1, 0, kExtended, 0xE1}}, {1, XmCell{0, 0, 0, kSpeed, 0x03}}})};
             return x;
         }(),
         [](Song& s) {
             s.tick();
             return int64_t(s.p.rowTicks);
         },
         9, 6},
        // C-4 (4608) slides up to D-4 (4480) with 320 and meets it; 208 takes it down to 4640;
        // 301 then slides back by 4, or keeps the direction the target left it (down) and meets
        // the target at once.
        {"tonePortaKeepsDirection met, then pushed below", &PlaybackProfile::tonePortaKeepsDirection,
         song({{C4, 1, 0, 0, 0}, {D4, 0, 0, kPorta, 0x20}, {0, 0, 0, kPortaDown, 0x08}, {0, 0, 0, kPorta, 0x01}}),
         after(20, period), 4636, 4480},
        // 301 towards D-4 has come 20 of the way when 120 takes it 640 past: 300 then slides back
        // down by 4, or goes on up as its note set and meets the target at once.
        {"tonePortaKeepsDirection passed while going up", &PlaybackProfile::tonePortaKeepsDirection,
         song({{C4, 1, 0, 0, 0}, {D4, 0, 0, kPorta, 0x01}, {0, 0, 0, kPortaUp, 0x20}, {0, 0, 0, kPorta, 0x00}}),
         after(20, period), 3952, 4480},
        // F2 beside 301 towards C-5: both slide by 4 (the 301 sets the speed last), or the 301 is
        // ignored and the column's speed 0x20 counts twice: 256 on the first tick.
        {"volumeColumnPortaDoubles", &PlaybackProfile::volumeColumnPortaDoubles,
         song({{C4, 1, 0, 0, 0}, {C5, 0, 0xF2, kPorta, 0x01}}), after(8, period), 4600, 4352},
        // 308 towards C-5 leaves the period at 4608 − 5 × 32; F0 beside 301 then slides twice by
        // 4, or once by the remembered 32.
        {"volumeColumnPortaDoubles F0 keeps the memory", &PlaybackProfile::volumeColumnPortaDoubles,
         song({{C4, 1, 0, 0, 0}, {C5, 0, 0, kPorta, 0x08}, {0, 0, 0xF0, kPorta, 0x01}}), after(14, period), 4440, 4416},
        // 050 on A-7 (period 1728), tick 1: +5 semitones (320), or only up to C-8 (1536): 192.
        {"arpeggioClampsAtTop", &PlaybackProfile::arpeggioClampsAtTop, song({{A7, 1, 0, kArpeggio, 0x50}}),
         after(2, periodDelta), 320, 192},
        // 030 on B-6 two octaves up (B-8, 832), tick 2: the zero offset stays there, or comes down
        // to C-8 (1536) too.
        {"arpeggioClampsAtTop zero offset above C-8", &PlaybackProfile::arpeggioClampsAtTop,
         song({{B6, 1, 0, kArpeggio, 0x30}}, twoOctavesUp), after(3, periodDelta), 0, 832 - 1536},
        // Panning 128, final volume 2 (volume 2, global volume 40): 127 and 128 parts of 255 give
        // 0 left and 1 right, or 128 parts of 256 give 1 and 1.
        {"panningSplits256", &PlaybackProfile::panningSplits256, song({{C4, 1, 0x12, kGlobalVolume, 40}}),
         after(1, [](const Channel& c) { return int64_t(c.voice->rightVolume - c.voice->leftVolume); }), 1, 0},
        // An instrument of panning 200 on a channel that starts at 0: the panning follows it, or stays.
        {"channelPanning", &PlaybackProfile::channelPanning, song({{C4, 1, 0, 0, 0}}, toneInstrument(64, 200)),
         after(1, [](const Channel& c) { return int64_t(c.panning); }), 200, 0},
        // A volume envelope falling from 64: it plays, or is not there.
        {"xmExtrasUnused envelope", &PlaybackProfile::xmExtrasUnused,
         song({{C4, 1, 0, 0, 0}}, envelopeInstrument(false)),
         after(4, [](const Channel& c) { return int64_t(c.volumeEnvelopeValue); }), 44, 64},
        // A key-off, then a note without instrument at volume 32: it stays released, or starts afresh.
        {"xmExtrasUnused key-off", &PlaybackProfile::xmExtrasUnused,
         song({{C4, 1, 0, 0, 0}, {kKeyOff, 0, 0, 0, 0}, {C4, 0, 0x30, 0, 0}}), after(13, voiceVolume), 0, 63},
        // 901 beside a note, then a note alone: it starts at the sample's start, or where 901 put it.
        {"offsetStaysWithChannel", &PlaybackProfile::offsetStaysWithChannel,
         amigaSong({{C4, 2, 0, kOffset, 0x01}, {C4, 0, 0, 0, 0}}), after(7, startFrame), 0, 256},
        // The same where offsets add up: 901 beside the note moves the start twice, the first note
        // starting after the first move.
        {"offsetAddsUp", &PlaybackProfile::offsetAddsUp, amigaSong({{C4, 2, 0, kOffset, 0x01}, {C4, 0, 0, 0, 0}}),
         after(7, startFrame), 256, 512, staysWithChannel},
        // 1FF from ProTracker's highest note: the period stops at 56, or at its 113 (452 here).
        {"protrackerPeriods", &PlaybackProfile::protrackerPeriods, amigaSong({{B5, 1, 0, kPortaUp, 0xFF}}),
         after(2, period), 56, 452},
        // A04 then A00 from volume 32: the slide goes on to 0, or stops at 12.
        {"slidesForgetParameter", &PlaybackProfile::slidesForgetParameter,
         song({{C4, 1, 0x30, kVolumeSlide, 0x04}, {0, 0, 0, kVolumeSlide, 0x00}}), after(13, volume), 0, 12},
        // An instrument alone beside a playing note: nothing waits, or its sample waits for the loop's end.
        {"sampleSwapsAtLoopEnd", &PlaybackProfile::sampleSwapsAtLoopEnd, amigaSong({{C4, 1, 0, 0, 0}, {0, 2, 0, 0, 0}}),
         after(7, [](const Channel& c) { return int64_t(c.voice->nextSample != nullptr); }), 0, 1},
        // 444 on tick 2, position 4: the pitch rises (period −12), or falls (+12).
        {"protrackerVibrato", &PlaybackProfile::protrackerVibrato, song({{C4, 1, 0, kVibrato, 0x44}}),
         after(3, [](const Channel& c) { return int64_t(c.periodDelta); }), -12, 12},
        // E93 without a note: restarts on tick 3 of the row, or on its row tick too.
        {"retrigOnRowTick", &PlaybackProfile::retrigOnRowTick,
         song({{C4, 1, 0, 0, 0}, {0, 0, 0, kExtended, 0x93}}), startTicks(12), 0b1000000001, 0b1001000001},
        {"speedZeroIgnored", &PlaybackProfile::speedZeroIgnored, song({{C4, 1, 0, kSpeed, 0x00}}), tempo, 0, 6},
        // ED3 beside an instrument of volume 16: the volume stays 64 until tick 3, or is 16 at once.
        {"noteDelayTakesInstrumentAtOnce", &PlaybackProfile::noteDelayTakesInstrumentAtOnce,
         amigaSong({{C4, 1, 0, 0, 0}, {C4, 2, 0, kExtended, 0xD3}}), after(7, volume), 64, 16},
        {"middleCRatePeriods", &PlaybackProfile::middleCRatePeriods, rated, after(1, period), 11456, 11453},
    };
    return cases;
}

PlaybackProfile only(bool PlaybackProfile::*flag) {
    PlaybackProfile p = defaultProfile;
    p.*flag = true;
    return p;
}

TEST(PlaybackProfile, EachSwitchAloneChangesItsBehaviour) {
    for (const SwitchCase& t : switchCases()) {
        Song withDefault(t.module.bytes, t.base);
        EXPECT_EQ(t.observe(withDefault), t.withDefault) << t.name << ", default profile";
        PlaybackProfile switched = t.base;
        switched.*t.flag = true;
        Song withSwitch(t.module.bytes, switched);
        EXPECT_EQ(t.observe(withSwitch), t.withSwitch) << t.name << ", switch on";
    }
}

// Under volumeRampsOverTick a set volume still takes the mixer's short ramp (0 frames of tick
// ramp) while slides glide over the tick's 882 frames: the change on row 1 of a note at volume 48.
TEST(PlaybackProfile, VolumeRampsOverTickKeepsTheShortRampForASetVolume) {
    struct Case {
        const char* name;
        XmCell        row1;
        int         ticks;  // up to and including the tick that makes the change
        int32_t     rampFrames;
    };
    const Case cases[] = {
        {"volume column 0x20 on the row tick", {0, 0, 0x20, 0, 0}, 7, 0},
        {"volume column 0x10 (volume 0) on the row tick", {0, 0, 0x10, 0, 0}, 7, 0},
        {"volume column 0x50 (volume 64) on the row tick", {0, 0, 0x50, 0, 0}, 7, 0},
        {"volume column slide 0x61 on the row tick", {0, 0, 0x61, 0, 0}, 7, 882},
        {"A01 on tick 1", {0, 0, 0, kVolumeSlide, 0x01}, 8, 882},
    };
    for (const Case& t : cases) {
        Song s(song({{C4, 1, 0x30, 0, 0}, t.row1}), only(&PlaybackProfile::volumeRampsOverTick));
        run(s, t.ticks);
        EXPECT_EQ(s.channel(0).voice->tickRampFrames, t.rampFrames) << t.name;
    }
}

// Every switch of the record has a case above (a switch added later needs one too), and every
// one is on in some tracker's profile.
TEST(PlaybackProfile, EverySwitchIsCoveredAndSomeTrackerPlaysIt) {
    const std::vector<SwitchCase> cases = switchCases();
    PlaybackProfile covered = defaultProfile;
    for (const SwitchCase& t : cases) covered.*t.flag = true;
    const auto* bytes = reinterpret_cast<const bool*>(&covered);
    const auto* ft2 = reinterpret_cast<const bool*>(&ft2Profile);
    const auto* pt = reinterpret_cast<const bool*>(&ptProfile);
    const auto* st3 = reinterpret_cast<const bool*>(&st3Profile);
    for (size_t i = 0; i < sizeof(PlaybackProfile); ++i) {
        EXPECT_TRUE(bytes[i]) << "switch " << i << " has no case";
        EXPECT_TRUE(ft2[i] || pt[i] || st3[i]) << "switch " << i << " is off in every tracker's profile";
    }
}

}  // namespace
