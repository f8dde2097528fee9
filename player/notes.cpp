#include "player/notes.h"

#include "player/channel.h"
#include "player/module.h"
#include "player/pitch.h"
#include "player/playback.h"

const Instrument emptyInstrument{};

namespace {

constexpr uint8_t kExtendedEffect = 14;
constexpr uint8_t kNoteDelay = 13;  // EDy: x of the extended effect
constexpr uint8_t kKeyOffEffect = 20;

// The fine-tune a note in `cell` plays with: the sample's as this playback has it, or, with the
// profile's fineTuneOnNote, E5y's beside it.
int32_t fineTuneFor(const PlaybackProfile& profile, const Cell& cell, const ChannelSource& source) {
    if (profile.fineTuneOnNote && cell.effectType == kExtendedEffect && (cell.effectParam >> 4) == 5)
        return (cell.effectParam & 0x0F) * 16 - 128;
    return fineTuneOf(source);
}

}  // namespace

ChannelSource lookUpChannel(Playback& p, const Channel& c) {
    const Module& m = *p.module;
    if (c.instrument >= m.instrumentCount) return {&emptyInstrument, &emptySample, nullptr};
    const Instrument& instrument = m.instruments[c.instrument];
    const uint8_t slot = c.note < 96 ? instrument.sampleForNote[c.note] : kMaxSamples;
    if (slot >= kMaxSamples || !instrument.samples[slot] || instrument.samples[slot] == &emptySample)
        return {&instrument, &emptySample, nullptr};
    return {&instrument, instrument.samples[slot], &p.fineTunes[c.instrument][slot]};
}

int32_t notePeriodOf(const Playback& p, int32_t realNote, int32_t fineTune) {
    return (p.module->flags & 1) ? linearPeriod(realNote, fineTune) : amigaPeriod(realNote, fineTune);
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

bool takeNote(const Playback& p, Channel& c, const Cell& cell, uint8_t note, const ChannelSource& source) {
    const int32_t real = note - 1 + source.sample->relativeNote;
    if (p.profile.noteRangeAfterTranspose && (real < 0 || real >= 119)) return false;
    c.realNote = uint8_t(real);
    c.notePeriod = notePeriodOf(p, c.realNote, fineTuneFor(p.profile, cell, source));
    return true;
}

void resetInstrumentState(Channel& c, const Sample& sample) {
    c.volume = sample.volume;
    c.panning = sample.panning;
    c.volumeEnvelopeValue = 64;
    c.volumeEnvelopePoint = c.volumeEnvelopeTick = c.volumeEnvelopeStep = 0;
    c.panningEnvelopeValue = 32;
    c.panningEnvelopePoint = c.panningEnvelopeTick = c.panningEnvelopeStep = 0;
    c.keyOff = 0;
    c.fadeoutVolume = 65536;
    c.volumeEnvelopeDone = c.panningEnvelopeDone = 0;
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
    if (profile.keyOffZeroesVolume && !(instrument.volumeType & 1)) {
        c.volume = 0;
        c.updateFlags |= kUpdateVolume | kUpdateQuickVolume;
    }
    c.keyOff = 1;
}

NoteDelay noteDelayOf(const PlaybackProfile& profile, const Cell& cell) {
    if (cell.effectType != kExtendedEffect || (cell.effectParam >> 4) != kNoteDelay) return {-1, false};
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
    if (cell.note == kKeyOffNote) {
        releaseNote(p.profile, c, *source.instrument);
    } else if (hasNote ? takeNote(p, c, cell, cell.note, source) : c.notePeriod != 0) {
        // Without a note the channel's last note starts again; before any note there is none.
        c.period = c.notePeriod;
        c.updateFlags |= kUpdateTrigger | kUpdatePitch;
    }
    // The envelopes restart in every case, a key-off's release included; volume and panning go
    // back to the sample's only beside an instrument number.
    const int32_t volume = c.volume, panning = c.panning;
    resetInstrumentState(c, *source.sample);
    if (cell.instrument == 0) {
        c.volume = volume;
        c.panning = panning;
    }
    if (cell.volume >= 0x10 && cell.volume <= 0x50) c.volume = cell.volume - 0x10;
    if ((cell.volume >> 4) == 0xC) c.panning = (cell.volume & 0x0F) * 16;
    c.tremorMuted = 0;
}
