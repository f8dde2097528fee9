#include "player/sequencer.h"

#include "player/effects.h"
#include "player/envelopes.h"
#include "player/mixer.h"
#include "player/module.h"
#include "player/output.h"
#include "player/pitch.h"

const Instrument emptyInstrument{};

namespace {

constexpr uint8_t kKeyOffNote = 255;
constexpr uint8_t kTonePortamento = 3;
constexpr uint8_t kTonePortamentoVolumeSlide = 5;
constexpr uint8_t kTremolo = 7;
constexpr uint8_t kPositionJump = 11;
constexpr uint8_t kPatternBreak = 13;
constexpr uint8_t kExtended = 14;
constexpr uint8_t kSpeed = 15;
constexpr uint8_t kKeyOff = 20;

// The pattern order entry `order` names, or nullptr when it names none.
const Pattern* patternAt(const Module& m, int32_t order) {
    if (order < 0 || order > 255) return nullptr;
    const uint8_t number = m.orders[order];
    return number < m.patternCount ? &m.patterns[number] : nullptr;
}

const Pattern* currentPattern(const Module& m) { return patternAt(m, m.orderPosition); }

// The cells of the current row, or nullptr when there is nothing to read: no pattern, no cell data
// or no channels. Rows outside the pattern are never read.
const Cell* currentRow(const Module& m) {
    const Pattern* p = currentPattern(m);
    if (!p || !p->cells || m.channelCount <= 0 || m.row < 0 || m.row >= p->rowCount) return nullptr;
    return p->cells + size_t(m.row) * size_t(m.channelCount);
}

// A pattern of 0 rows (or a missing one) plays as one empty row.
int32_t rowsAt(const Module& m, int32_t order) {
    const Pattern* p = patternAt(m, order);
    return p && p->rowCount > 0 ? p->rowCount : 1;
}

int32_t rowsOfCurrentPattern(const Module& m) { return rowsAt(m, m.orderPosition); }

// The order to continue at after the last entry; a restart position outside the order list
// would index past it, so it counts as 0.
int32_t restartOrder(const Module& m) {
    return m.restartPosition >= 0 && m.restartPosition < m.songLength ? m.restartPosition : 0;
}

void stepEnvelopes(Channel& c, const Instrument& instrument) {
    if ((instrument.volumeType & 1) && !c.volumeEnvelopeDone) stepVolumeEnvelope(c, instrument);
    if ((instrument.panningType & 1) && !c.panningEnvelopeDone) stepPanningEnvelope(c, instrument);
}

// Bxx, Dxy, E6y, EEy and Fxx: channels run in ascending order, and a later channel overwrites
// what an earlier one set.
void flowEffect(Module& m, Channel& c, const Cell& cell, bool& jumped) {
    const uint8_t xx = cell.effectParam;
    const uint8_t x = xx >> 4, y = xx & 0x0F;
    switch (cell.effectType) {
    case kPositionJump:
        m.nextRow = 0;
        m.nextOrder = xx < m.songLength ? xx : 0;
        jumped = true;
        break;
    case kPatternBreak: {
        const int32_t r = x * 10 + y;  // the parameter read as two decimal digits
        m.nextRow = r > 63 ? 0 : r;
        if (!jumped) m.nextOrder = m.orderPosition + 1;
        if (m.nextOrder >= m.songLength) m.nextOrder = 0;
        break;
    }
    case kExtended:
        if (x == 6) {  // pattern loop
            if (y == 0) {
                c.loopRow = m.row;
            } else {
                c.loopCount = c.loopCount == 0 ? y : c.loopCount - 1;
                if (c.loopCount != 0) m.nextRow = c.loopRow;
            }
        } else if (x == 14) {  // pattern delay, by the tempo in force now
            m.patternDelayTicks = y * m.tempo;
        }
        break;
    case kSpeed:
        if (xx < 32) m.tempo = xx;
        else setBpm(m, xx);
        break;
    default:
        break;
    }
}

// A tremor that ended silent keeps the channel silent until its volume is set again.
void silenceForTremor(Channel& c) {
    c.volumeDelta = -c.volume;
    c.updateFlags |= kUpdateVolume | kUpdateQuickVolume;
}

// ED1…EDF: a delayed note under the profile's late reading.
bool isLateNoteDelay(const Cell& cell) {
    return cell.effectType == kExtended && (cell.effectParam >> 4) == 13 && (cell.effectParam & 0x0F) != 0;
}

// The period of a note (0-based real note) by the module's scale.
int32_t notePeriodOf(const Module& m, int32_t realNote, int32_t fineTune) {
    return (m.flags & 1) ? linearPeriod(realNote, fineTune) : amigaPeriod(realNote, fineTune);
}

// The fine-tune a note in `cell` plays with: the sample's, or E5y's beside it.
int32_t fineTuneFor(const Cell& cell, const Sample& sample) {
    if (sequencer().profile.fineTuneOnNote && cell.effectType == kExtended && (cell.effectParam >> 4) == 5)
        return (cell.effectParam & 0x0F) * 16 - 128;
    return sample.finetune;
}

// Sets realNote and notePeriod for a 1-based pattern note; false when the profile keeps a note
// outside the playable range after the transpose from starting.
bool takeNote(const Module& m, Channel& c, const Cell& cell, uint8_t note, const Sample& sample) {
    const int32_t real = note - 1 + sample.relativeNote;
    if (sequencer().profile.noteRangeAfterTranspose && (real < 0 || real >= 119)) return false;
    c.realNote = uint8_t(real);
    c.notePeriod = notePeriodOf(m, c.realNote, fineTuneFor(cell, sample));
    c.retrigCounter = 0;
    return true;
}

// An instrument number beside a key-off: the sample's volume and panning, nothing restarted.
void resetVolumes(Channel& c, const Sample& sample) {
    c.volume = sample.volume;
    c.panning = sample.panning;
    c.updateFlags |= kUpdateVolume | kUpdatePanning;
}

// The cell's instrument and note become the channel's. Beside a key-off the profile keeps the
// playing instrument and saves the number for the next note.
void takeInstrumentAndNote(Channel& c, const Cell& cell) {
    const bool keyOffInstrument = sequencer().profile.keyOffWithInstrumentResetsVolume && cell.note == kKeyOffNote;
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

void rowTickChannel(Module& m, Channel& c, const Cell& rowCell, bool& jumped) {
    const PlaybackProfile& profile = sequencer().profile;
    // What the row tick applies of the cell: a late note delay leaves note, instrument and volume
    // to the delay tick; K00 beside a note releases instead of starting it.
    Cell cell = rowCell;
    if (profile.noteDelayAppliesCellLate && isLateNoteDelay(rowCell)) cell.note = cell.instrument = cell.volume = 0;
    const bool keyOffEffect =
        cell.effectType == kKeyOff && (!profile.keyOffEffectOnItsTick || cell.effectParam == 0);
    if (profile.keyOffEffectOnItsTick && keyOffEffect && cell.note != 0) cell.note = kKeyOffNote;

    const bool tonePortamentoRow = cell.effectType == kTonePortamento || cell.effectType == kTonePortamentoVolumeSlide ||
                                   (profile.volumeColumnPortaRow && (cell.volume >> 4) == 0xF);
    const bool hasNote = cell.note != 0 && cell.note != kKeyOffNote;
    if (!tonePortamentoRow) takeInstrumentAndNote(c, cell);
    const ChannelSource source = lookUpChannel(m, c);
    const Instrument& instrument = *source.instrument;
    Sample& sample = *source.sample;

    const int32_t savedPeriod = c.period, savedVolume = c.volume, savedPanning = c.panning;
    const int32_t savedTarget = c.portaTarget;
    // A tremolo that stops leaves the volume where its last offset had it.
    if (c.lastEffect == kTremolo && cell.effectType != kTremolo) c.volume += c.volumeDelta;
    c.volumeDelta = 0;
    c.lastEffect = cell.effectType;
    c.updateFlags = 0;

    if (hasNote && takeNote(m, c, cell, cell.note, sample)) {
        if (!tonePortamentoRow) c.period = c.notePeriod;
        c.updateFlags = kUpdateTrigger;
    }
    c.periodDelta = 0;
    c.updateFlags |= kUpdatePitch | kUpdateVolume;
    const bool keyOff = cell.note == kKeyOffNote || keyOffEffect;
    if (keyOff && profile.keyOffZeroesVolume) releaseNote(c, instrument);
    if (cell.instrument != 0) {
        if (keyOff && profile.keyOffWithInstrumentResetsVolume) resetVolumes(c, sample);
        else resetInstrumentState(c, sample);
    }
    if (profile.tremorCountsDown && (cell.instrument != 0 || cell.volume != 0)) c.tremorMuted = 0;
    if (cell.volume != 0) applyVolumeColumn(c, cell.volume);
    if (keyOff) c.keyOff = 1;
    if (profile.retrigZeroOnRowTick && cell.effectType == kExtended && cell.effectParam == 0x90 && c.notePeriod != 0) {
        c.period = c.notePeriod;
        c.updateFlags |= kUpdateTrigger | kUpdatePitch;
    }

    if (instrument.volumeType & 1) {
        if (!c.volumeEnvelopeDone) stepVolumeEnvelope(c, instrument);
    } else if (c.keyOff && !profile.keyOffZeroesVolume) {
        c.volumeEnvelopeValue = 0;  // a released note without volume envelope falls silent at once
    }
    if ((instrument.panningType & 1) && !c.panningEnvelopeDone) stepPanningEnvelope(c, instrument);
    if (c.keyOff) fadeOut(c, instrument);

    flowEffect(m, c, cell, jumped);
    effectRowTick(EffectContext{m, c, cell, sample, instrument, m.tick, savedPeriod, savedVolume, savedPanning});
    // Before any target was set the portamento has nowhere to go: it holds the period.
    if (profile.portaTargetFromPortaNote && tonePortamentoRow && !hasNote)
        c.portaTarget = savedTarget != 0 ? savedTarget : c.period;
    if (c.tremorMuted) silenceForTremor(c);
    autoVibrato(c, instrument);
    updateVoice(c, sample, m);
}

}  // namespace

SequencerState& sequencer() {
    static SequencerState state{};
    return state;
}

void resetChannels() {
    SequencerState& s = sequencer();
    for (int32_t i = 0; i < kMaxChannels; ++i) {
        s.channels[i] = Channel{};
        s.channels[i].voice = &mixer().voices[i];
    }
}

ChannelSource lookUpChannel(const Module& m, const Channel& c) {
    if (c.instrument >= m.instrumentCount) return {&emptyInstrument, &emptySample};
    const Instrument& instrument = m.instruments[c.instrument];
    const uint8_t slot = c.note < 96 ? instrument.sampleForNote[c.note] : 16;
    if (slot >= 16 || !instrument.samples[slot]) return {&instrument, &emptySample};
    return {&instrument, instrument.samples[slot]};
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

void processRow(Module& m) {
    m.nextOrder = -1;
    m.nextRow = -1;
    const Cell* row = currentRow(m);
    if (!row) return;
    bool jumped = false;
    const int32_t channels = m.channelCount < kMaxChannels ? m.channelCount : kMaxChannels;
    for (int32_t i = 0; i < channels; ++i) rowTickChannel(m, sequencer().channels[i], row[i], jumped);
}

void processTick(Module& m) {
    const Cell* row = currentRow(m);
    if (!row) return;
    const PlaybackProfile& profile = sequencer().profile;
    // The tick within the row as the effects count it; with the profile's repetitions every
    // repetition of a delayed row starts again at 0.
    const int32_t tick = profile.patternDelayRepeatsRowTicks && m.tempo > 0 ? m.tick % m.tempo : m.tick;
    const int32_t channels = m.channelCount < kMaxChannels ? m.channelCount : kMaxChannels;
    for (int32_t i = 0; i < channels; ++i) {
        Channel& c = sequencer().channels[i];
        const Cell& cell = row[i];
        const ChannelSource source = lookUpChannel(m, c);
        c.volumeDelta = c.periodDelta = 0;
        c.updateFlags = 0;
        stepEnvelopes(c, *source.instrument);
        if (c.keyOff) fadeOut(c, *source.instrument);
        if (cell.volume != 0) volumeColumnOtherTick(c, cell.volume);
        effectOtherTick(EffectContext{m, c, cell, *source.sample, *source.instrument, tick, 0, 0, 0});
        // A late note delay may have changed the note, and with it the sample, on this tick.
        const ChannelSource played = profile.noteDelayAppliesCellLate ? lookUpChannel(m, c) : source;
        if (c.tremorMuted) silenceForTremor(c);
        autoVibrato(c, *played.instrument);
        updateVoice(c, *played.sample, m);
    }
}

SongRow nextRowToPlay(const Module& m) {
    SongRow next{m.nextOrder >= 0 ? m.nextOrder : m.orderPosition, m.nextRow >= 0 ? m.nextRow : m.row};
    // A break, jump or loop that lands past the pattern's last row plays its row 0.
    if (next.row >= rowsAt(m, next.orderPosition)) next.row = 0;
    return next;
}

void releaseNote(Channel& c, const Instrument& instrument) {
    if (sequencer().profile.keyOffZeroesVolume && !(instrument.volumeType & 1)) {
        c.volume = 0;
        c.updateFlags |= kUpdateVolume | kUpdateQuickVolume;
    }
    c.keyOff = 1;
}

void applyDelayedCell(Module& m, Channel& c, const Cell& cell) {
    takeInstrumentAndNote(c, cell);
    const bool hasNote = cell.note != 0 && cell.note != kKeyOffNote;
    const ChannelSource source = lookUpChannel(m, c);
    if (cell.note == kKeyOffNote) {
        releaseNote(c, *source.instrument);
    } else if (hasNote ? takeNote(m, c, cell, cell.note, *source.sample) : c.notePeriod != 0) {
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

void sequencerTick(Module& m) {
    if (m.tick != 0) {
        processTick(m);
    } else {
        const SongRow next = nextRowToPlay(m);
        m.orderPosition = next.orderPosition;
        m.row = next.row;
        processRow(m);
        if (m.nextRow < 0) {
            m.nextRow = m.row + 1;
            if (m.nextRow >= rowsOfCurrentPattern(m)) {
                m.nextOrder = m.orderPosition + 1;
                if (m.nextOrder >= m.songLength) m.nextOrder = restartOrder(m);
                m.nextRow = 0;
            }
        }
    }
    ++m.tick;
    if (m.tick >= m.tempo + m.patternDelayTicks) {
        m.patternDelayTicks = 0;
        m.tick = 0;
    }
}
