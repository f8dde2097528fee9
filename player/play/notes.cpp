#include "player/play/notes.h"

#include <algorithm>

#include "player/play/channel.h"
#include "player/play/envelopes.h"
#include "player/mix/mixer.h"
#include "player/module.h"
#include "player/play/pitch.h"
#include "player/playback.h"

const Instrument emptyInstrument{};

namespace {

constexpr uint8_t kExtendedEffect = 14;
constexpr uint8_t kNoteDelay = 13;  // EDy: x of the extended effect
constexpr uint8_t kKeyOffEffect = 20;
constexpr uint8_t kFineTune = 5;    // E5y
constexpr uint8_t kTonePortamento = 3;
constexpr uint8_t kTonePortamentoVolumeSlide = 5;

// The fine-tune a note in `cell` plays with: the sample's as this playback has it, or, with the
// profile's fineTuneOnNote, E5y's beside it; under ProTracker's periods the channel's own.
int32_t fineTuneFor(const PlaybackProfile& profile, const Channel& c, const Cell& cell, const ChannelSource& source) {
    if (profile.protrackerPeriods) return c.fineTune;
    if (profile.fineTuneOnNote && cell.effectType == kExtendedEffect && (cell.effectParam >> 4) == kFineTune)
        return (cell.effectParam & 0x0F) * 16 - 128;
    return fineTuneOf(source);
}

// Scream Tracker 3's periods of C…B in octave 0 at a C-4 rate of 8363 Hz: a note's period is
// 8363 × 16 × this / (rate × 2^octave), here as everywhere 4 × the Amiga's.
constexpr int32_t kSt3Periods[12] = {1712 * 16, 1616 * 16, 1524 * 16, 1440 * 16, 1356 * 16, 1280 * 16,
                                     1208 * 16, 1140 * 16, 1076 * 16, 1016 * 16, 960 * 16, 907 * 16};

int32_t st3Period(int32_t note, uint32_t rate) {
    const int32_t n = note < 0 ? 0 : note;
    const int64_t period = int64_t(8363) * kSt3Periods[n % 12] / (int64_t(rate) << (n / 12 < 16 ? n / 12 : 15));
    return int32_t(period < 1 ? 1 : period);
}

}  // namespace

ChannelSource lookUpChannel(Playback& p, const Channel& c) {
    const Module& m = *p.module;
    if (c.instrument >= m.instrumentCount) return {&emptyInstrument, &emptySample, nullptr};
    const Instrument& found = m.instruments[c.instrument];
    const Instrument* instrument = p.profile.xmExtrasUnused ? &emptyInstrument : &found;
    const uint8_t slot = c.note < 96 ? found.sampleForNote[c.note] : kMaxSamples;
    if (slot >= kMaxSamples || !found.samples[slot] || found.samples[slot] == &emptySample)
        return {instrument, &emptySample, nullptr};
    return {instrument, found.samples[slot], &p.fineTunes[c.instrument][slot]};
}

bool protrackerScale(const Playback& p) { return p.profile.protrackerPeriods && !(p.module->flags & 1); }

uint32_t middleCRateOf(const Playback& p, const Sample& sample) {
    return p.profile.middleCRatePeriods ? sample.middleCRate : 0;
}

int32_t notePeriodOf(const Playback& p, int32_t realNote, int32_t fineTune, uint32_t middleCRate) {
    if (middleCRate != 0) return st3Period(realNote, middleCRate);
    // ProTracker's three octaves hold every note: the ones above and below them play its ends.
    if (protrackerScale(p))
        return 4 * protrackerPeriod(fineTune / 16, std::clamp(realNote - kProtrackerFirstNote, 0, kProtrackerNotes - 1));
    return (p.module->flags & 1) ? linearPeriod(realNote, fineTune) : amigaPeriod(realNote, fineTune);
}

bool isTonePortamento(const Cell& cell) {
    if (isS3mEffect(cell)) return s3mLetter(cell) == 'G' || s3mLetter(cell) == 'L';
    return cell.effectType == kTonePortamento || cell.effectType == kTonePortamentoVolumeSlide;
}

void takeInstrumentAndNote(const PlaybackProfile& profile, Channel& c, const Cell& cell) {
    const bool keyOffInstrument = profile.keyOffWithInstrumentResetsVolume && cell.note == kKeyOffNote;
    if (cell.instrument != 0) {
        if (keyOffInstrument) c.nextInstrument = cell.instrument;
        else c.instrument = uint8_t(cell.instrument - 1);
    }
    if (cell.note != 0 && cell.note != kKeyOffNote) {
        c.note = uint8_t(cell.note - 1);
        if (c.nextInstrument != 0 && cell.instrument == 0) c.instrument = uint8_t(c.nextInstrument - 1);
        c.nextInstrument = 0;
    }
}

void takeChannelState(const PlaybackProfile& profile, Channel& c, const Cell& cell, const Sample& sample) {
    if (profile.protrackerPeriods) {
        if (cell.instrument != 0) c.fineTune = sample.finetune;
        // E5y: y as ProTracker's signed nibble, −8…7, in steps of 16.
        if (cell.effectType == kExtendedEffect && (cell.effectParam >> 4) == kFineTune)
            c.fineTune = int8_t(uint8_t(cell.effectParam << 4));
    }
    if (profile.offsetStaysWithChannel && cell.instrument != 0) c.startOffset = 0;
}

void swapSample(Channel& c, const Sample& sample) {
    Voice& v = *c.voice;
    if (v.sample) {
        v.nextSample = v.sample == &sample ? nullptr : &sample;
    } else if (c.notePeriod != 0 && sample.loopType == 2 && sample.length > 0) {
        // The played-out sample's silent loop ends at once.
        v.startOffset = sample.loopStart;
        c.updateFlags |= kUpdateTrigger;
    }
}

void startNoteAt(const PlaybackProfile& profile, Channel& c, const Sample& s, uint32_t offset) {
    const uint32_t loopEnd = s.loopStart + s.loopLength;
    if (offset < s.length && (offset < loopEnd || s.loopType == 1)) {
        c.voice->startOffset = offset;
    } else if (s.loopType == 1 || s.loopLength == 0) {
        c.updateFlags |= kUpdateStop;  // past the end of a sample without a loop: nothing to play
    } else if (profile.offsetAddsUp) {
        c.voice->startOffset = s.loopStart;  // ProTracker plays on from the loop
    } else {
        c.voice->startOffset = s.loopStart + (offset - s.loopStart) % s.loopLength;
    }
}

void startNoteAfresh(Channel& c) {
    c.volumeEnvelopeValue = 64;
    c.volumeEnvelopePoint = c.volumeEnvelopeTick = c.volumeEnvelopeStep = 0;
    c.panningEnvelopeValue = 32;
    c.panningEnvelopePoint = c.panningEnvelopeTick = c.panningEnvelopeStep = 0;
    c.keyOff = 0;
    c.fadeoutVolume = 65536;
    c.volumeEnvelopeDone = c.panningEnvelopeDone = 0;
}

void cutNote(Channel& c, bool keyOff) {
    c.keyOff = 1;
    c.volumeEnvelopeValue = 0;
    if (keyOff) c.volume = 0;
    c.updateFlags |= kUpdateVolume;
}

bool takeNote(const Playback& p, Channel& c, const Cell& cell, uint8_t note, const ChannelSource& source) {
    // A sample with its own C-4 rate plays the pattern's note at that rate: no transpose.
    const uint32_t rate = middleCRateOf(p, *source.sample);
    const int32_t real = note - 1 + (rate != 0 ? 0 : source.sample->relativeNote);
    if (p.profile.noteRangeAfterTranspose && (real < 0 || real >= 119)) return false;
    c.realNote = uint8_t(real);
    c.notePeriod = notePeriodOf(p, c.realNote, fineTuneFor(p.profile, c, cell, source), rate);
    return true;
}

void resetInstrumentState(const PlaybackProfile& profile, Channel& c, const Sample& sample) {
    c.volume = sample.volume;
    if (!profile.channelPanning) c.panning = sample.panning;
    // Without XM's extras nothing of the instrument restarts, and only a note ends a cut.
    if (!profile.xmExtrasUnused) startNoteAfresh(c);
    c.autoVibratoSweep = c.autoVibratoPosition = 0;
    if ((c.waveControl & 0x0F) < 4) c.vibratoPosition = 0;
    if ((c.waveControl >> 4) < 4) c.tremoloPosition = 0;
    c.updateFlags |= kUpdateVolume | kUpdatePanning;
    c.tremorCounter = 0;
    c.retrigCounter = 0;
}

void resetVolumes(Channel& c, const Sample& sample) {
    c.volume = sample.volume;
    c.panning = sample.panning;
    c.updateFlags |= kUpdateVolume | kUpdatePanning;
}

void releaseNote(const PlaybackProfile& profile, Channel& c, const Instrument& instrument) {
    if (profile.keyOffZeroesVolume && !volumeEnvelopeOn(profile, instrument)) {
        c.volume = 0;
        c.updateFlags |= kUpdateVolume | kUpdateQuickVolume;
    }
    c.keyOff = 1;
}

NoteDelay noteDelayOf(const PlaybackProfile& profile, const Cell& cell) {
    if (isS3mEffect(cell)) {
        if (s3mLetter(cell) != 'S' || (cell.effectParam >> 4) != kNoteDelay) return {-1, false};
        return {(cell.effectParam & 0x0F) != 0 ? cell.effectParam & 0x0F : kNeverTick, true};  // SD0: for good
    }
    if (cell.effectType != kExtendedEffect || (cell.effectParam >> 4) != kNoteDelay) return {-1, false};
    if (profile.noteDelayTakesInstrumentAtOnce && (cell.effectParam & 0x0F) == 0) return {-1, false};
    return {cell.effectParam & 0x0F, profile.noteDelayAppliesCellLate};
}

int32_t keyOffEffectTick(const PlaybackProfile& profile, const Cell& cell) {
    if (cell.effectType != kKeyOffEffect) return -1;
    return profile.keyOffEffectOnItsTick ? cell.effectParam : 0;
}

void applyDelayedCell(Playback& p, Channel& c, const Cell& cell) {
    takeInstrumentAndNote(p.profile, c, cell);
    const bool hasNote = cell.note != 0 && cell.note != kKeyOffNote;
    const ChannelSource source = lookUpChannel(p, c);
    takeChannelState(p.profile, c, cell, *source.sample);
    if (cell.note == kKeyOffNote) {
        releaseNote(p.profile, c, *source.instrument);
    } else if (hasNote ? takeNote(p, c, cell, cell.note, source) : c.notePeriod != 0) {
        // Without a note the channel's last note starts again; before any note there is none.
        c.period = c.notePeriod;
        c.updateFlags |= kUpdateTrigger | kUpdatePitch;
        if (p.profile.offsetStaysWithChannel) startNoteAt(p.profile, c, *source.sample, c.startOffset);
        if (p.profile.xmExtrasUnused) startNoteAfresh(c);
    }
    // The envelopes restart in every case, a key-off's release included; volume and panning go
    // back to the sample's only beside an instrument number.
    const int32_t volume = c.volume, panning = c.panning;
    resetInstrumentState(p.profile, c, *source.sample);
    if (cell.instrument == 0) {
        c.volume = volume;
        c.panning = panning;
    }
    if (cell.volume >= 0x10 && cell.volume <= 0x50) c.volume = cell.volume - 0x10;
    if ((cell.volume >> 4) == 0xC) c.panning = (cell.volume & 0x0F) * 16;
    c.tremorMuted = 0;
    if (cell.note == kKeyOffNote && p.profile.xmExtrasUnused) cutNote(c, true);
}
