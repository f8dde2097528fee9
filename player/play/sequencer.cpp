#include "player/play/sequencer.h"

#include "player/play/effects.h"
#include "player/play/envelopes.h"
#include "player/mix/mixer.h"
#include "player/module.h"
#include "player/play/notes.h"
#include "player/play/pitch.h"
#include "player/playback.h"
#include "player/play/s3m_effects.h"

namespace {

constexpr uint8_t kTremolo = 7;
constexpr uint8_t kPositionJump = 11;
constexpr uint8_t kPatternBreak = 13;
constexpr uint8_t kExtended = 14;
constexpr uint8_t kSpeed = 15;

// The pattern order entry `order` names, or nullptr when it names none.
const Pattern* patternAt(const Module& m, int32_t order) {
    if (order < 0 || order > 255) return nullptr;
    const uint8_t number = m.orders[order];
    return number < m.patternCount ? &m.patterns[number] : nullptr;
}

// The cells of the current row, or nullptr when there is nothing to read: no pattern, no cell data
// or no channels. Rows outside the pattern are never read.
const Cell* currentRow(const Playback& p) {
    const Module& m = *p.module;
    const Pattern* pattern = patternAt(m, p.orderPosition);
    if (!pattern || !pattern->cells || m.channelCount <= 0 || p.row < 0 || p.row >= pattern->rowCount) return nullptr;
    return pattern->cells + size_t(p.row) * size_t(m.channelCount);
}

// A pattern of 0 rows (or a missing one) plays as one empty row.
int32_t rowsAt(const Module& m, int32_t order) {
    const Pattern* p = patternAt(m, order);
    return p && p->rowCount > 0 ? p->rowCount : 1;
}

int32_t channelsOf(const Module& m) { return m.channelCount < kMaxChannels ? m.channelCount : kMaxChannels; }

void stepEnvelopes(Channel& c, const Instrument& instrument, const PlaybackProfile& profile) {
    if (volumeEnvelopeOn(profile, instrument) && !c.volumeEnvelopeDone) stepVolumeEnvelope(c, instrument);
    if (panningEnvelopeOn(profile, instrument) && !c.panningEnvelopeDone) stepPanningEnvelope(c, instrument);
}

// What the flow effects of one row have set so far, across its channels.
struct RowFlow {
    bool    jumped = false;   // a Bxx came first: a later Dxy keeps its order
    int32_t delayRows = -1;   // the last EEy's y; −1: none
};

// Bxx, Dxy, E6y, EEy and Fxx: channels run in ascending order, and a later channel overwrites
// what an earlier one set.
void flowEffect(Playback& m, Channel& c, const Cell& cell, RowFlow& flow) {
    const int16_t songLength = m.module->songLength;
    const uint8_t xx = cell.effectParam;
    const uint8_t x = xx >> 4, y = xx & 0x0F;
    switch (cell.effectType) {
    case kPositionJump:
        m.nextRow = 0;
        m.nextOrder = xx < songLength ? xx : 0;
        flow.jumped = true;
        break;
    case kPatternBreak: {
        const int32_t r = x * 10 + y;  // the parameter read as two decimal digits
        m.nextRow = r > 63 ? 0 : r;
        if (!flow.jumped) m.nextOrder = m.orderPosition + 1;
        if (m.nextOrder >= songLength) m.nextOrder = 0;
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
            flow.delayRows = y;
        }
        break;
    case kSpeed:
        if (xx >= 32) setBpm(m, xx);
        else if (xx != 0 || !m.profile.speedZeroIgnored) m.tempo = xx;
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

// The cell's main effect on the row tick and on the others: an S3M letter is Scream Tracker 3's
// (its row part on a row tick, s3mTick tells them apart), any other XM's.
void rowTickEffect(const EffectContext& e) {
    if (isS3mEffect(e.cell)) s3mTick(e);
    else effectRowTick(e);
}

void otherTickEffect(const EffectContext& e) {
    if (isS3mEffect(e.cell)) s3mTick(e);
    else effectOtherTick(e);
}

// The cell as its effects read it: an S3M effect with the row's parameter (takeS3mParameter).
Cell cellAsPlayed(const Channel& c, const Cell& cell) {
    Cell played = cell;
    if (isS3mEffect(cell)) played.effectParam = c.s3mParameter;
    return played;
}

void rowTickChannel(Playback& p, Channel& c, const Cell& rowCell, RowFlow& flow) {
    const PlaybackProfile& profile = p.profile;
    // What the row tick applies of the cell: a late note delay leaves note, instrument and volume
    // to the delay tick; K00 beside a note releases instead of starting it.
    if (isS3mEffect(rowCell)) c.s3mParameter = takeS3mParameter(c, rowCell);
    Cell cell = cellAsPlayed(c, rowCell);
    if (p.module->format == ModuleFormat::s3m) s3mRowStarts(c, cell);
    const NoteDelay delay = noteDelayOf(profile, cell);
    if (delay.late && delay.tick > 0) cell.note = cell.instrument = cell.volume = 0;
    const bool keyOffEffect = keyOffEffectTick(profile, cell) == 0;
    if (profile.keyOffEffectOnItsTick && keyOffEffect && cell.note != 0) cell.note = kKeyOffNote;

    const bool tonePortamentoRow = (isTonePortamento(cell) && !s3mStartsIdleChannel(c, cell)) ||
                                   (profile.volumeColumnPortaRow && (cell.volume >> 4) == 0xF);
    const bool hasNote = cell.note != 0 && cell.note != kKeyOffNote;
    if (!tonePortamentoRow) takeInstrumentAndNote(profile, c, cell);
    // ProTracker's portamento takes the instrument too: its sample follows the playing one.
    else if (profile.sampleSwapsAtLoopEnd && cell.instrument != 0) c.instrument = uint8_t(cell.instrument - 1);
    const ChannelSource source = lookUpChannel(p, c);
    const Instrument& instrument = *source.instrument;
    const Sample& sample = *source.sample;
    takeChannelState(profile, c, cell, sample);

    const int32_t savedPeriod = c.period, savedVolume = c.volume, savedPanning = c.panning;
    const int32_t savedTarget = c.portaTarget;
    // A tremolo that stops leaves the volume where its last offset had it.
    if (c.lastEffect == kTremolo && cell.effectType != kTremolo) c.volume += c.volumeDelta;
    c.volumeDelta = 0;
    c.lastEffect = cell.effectType;
    c.updateFlags = 0;

    const bool noteTaken = hasNote && takeNote(p, c, cell, cell.note, source);
    if (noteTaken) {
        if (!tonePortamentoRow) c.period = c.notePeriod;
        c.updateFlags = kUpdateTrigger;
    }
    // A tone portamento's note does not start: its effect takes the trigger back.
    const bool noteStarts = (c.updateFlags & kUpdateTrigger) && !tonePortamentoRow;
    if (profile.xmExtrasUnused && noteStarts) startNoteAfresh(c);
    if (profile.offsetStaysWithChannel && noteStarts) startNoteAt(profile, c, sample, c.startOffset);
    c.periodDelta = 0;
    c.updateFlags |= kUpdatePitch | kUpdateVolume;
    const bool keyOff = cell.note == kKeyOffNote || keyOffEffect;
    if (keyOff && profile.keyOffZeroesVolume) releaseNote(profile, c, instrument);
    if (cell.instrument != 0) {
        if (keyOff && profile.keyOffWithInstrumentResetsVolume) resetVolumes(c, sample);
        else resetInstrumentState(profile, c, sample);
    }
    if (profile.sampleSwapsAtLoopEnd && cell.instrument != 0 && !noteStarts) swapSample(c, sample);
    if (profile.tremorCountsDown && (cell.instrument != 0 || cell.volume != 0)) c.tremorMuted = 0;
    // Without XM's extras the volume column only sets the volume (0x10…0x50).
    if (cell.volume != 0 && (!profile.xmExtrasUnused || (cell.volume >= 0x10 && cell.volume <= 0x50)))
        applyVolumeColumn(c, cell.volume);
    // A volume set by the volume column takes the short ramp even where changes glide over the tick.
    if (profile.volumeRampsOverTick && cell.volume >= 0x10 && cell.volume <= 0x50) c.updateFlags |= kUpdateQuickVolume;
    if (keyOff) c.keyOff = 1;
    if (cell.note == kKeyOffNote && profile.xmExtrasUnused) cutNote(c, true);
    if (profile.retrigZeroOnRowTick && cell.effectType == kExtended && cell.effectParam == 0x90 && c.notePeriod != 0) {
        c.period = c.notePeriod;
        c.updateFlags |= kUpdateTrigger | kUpdatePitch;
    }

    if (volumeEnvelopeOn(profile, instrument)) {
        if (!c.volumeEnvelopeDone) stepVolumeEnvelope(c, instrument);
    } else if (c.keyOff && !profile.keyOffZeroesVolume) {
        c.volumeEnvelopeValue = 0;  // a released note without volume envelope falls silent at once
    }
    if (panningEnvelopeOn(profile, instrument) && !c.panningEnvelopeDone) stepPanningEnvelope(c, instrument);
    if (c.keyOff) fadeOut(c, instrument, profile);

    if (isS3mEffect(cell)) s3mFlowEffect(p, cell);
    flowEffect(p, c, isS3mEffect(cell) ? s3mFlowAsXm(cell) : cell, flow);
    rowTickEffect(
        EffectContext{p, c, cell, sample, source.fineTune, instrument, p.tick, savedPeriod, savedVolume, savedPanning});
    // Before any target was set the portamento has nowhere to go: it holds the period.
    if (profile.portaTargetFromPortaNote && tonePortamentoRow && !hasNote)
        c.portaTarget = savedTarget != 0 ? savedTarget : c.period;
    // The note that sets a tone portamento's target sets the way it slides: up (the period falls)
    // where the target's period lies below the one the row found.
    if (profile.tonePortaKeepsDirection && tonePortamentoRow && noteTaken) c.portaUpward = c.portaTarget < savedPeriod;
    if (c.tremorMuted) silenceForTremor(c);
    autoVibrato(c, instrument);
    updateVoice(p, c, sample);
}

}  // namespace

void processRow(Playback& p) {
    p.nextOrder = -1;
    p.nextRow = -1;
    const Cell* row = currentRow(p);
    if (!row) return;
    RowFlow flow;
    const int32_t channels = channelsOf(*p.module);
    for (int32_t i = 0; i < channels; ++i) rowTickChannel(p, p.channels[i], row[i], flow);
    // Each repetition lasts the row's tempo, an Fxx right of the EEy included.
    if (p.profile.patternDelayAtRowTempo && flow.delayRows >= 0) p.patternDelayTicks = flow.delayRows * p.tempo;
}

void processTick(Playback& p) {
    const Cell* row = currentRow(p);
    if (!row) return;
    const PlaybackProfile& profile = p.profile;
    // The tick within the row as the effects count it; with the profile's repetitions every
    // repetition of a delayed row starts again at 0.
    const int32_t tick = profile.patternDelayRepeatsRowTicks && p.tempo > 0 ? p.tick % p.tempo : p.tick;
    const int32_t channels = channelsOf(*p.module);
    for (int32_t i = 0; i < channels; ++i) {
        Channel& c = p.channels[i];
        const Cell cell = cellAsPlayed(c, row[i]);
        const ChannelSource source = lookUpChannel(p, c);
        c.volumeDelta = c.periodDelta = 0;
        c.updateFlags = 0;
        stepEnvelopes(c, *source.instrument, profile);
        if (c.keyOff) fadeOut(c, *source.instrument, profile);
        if (cell.volume != 0 && !profile.xmExtrasUnused) volumeColumnOtherTick(c, cell.volume, profile);
        otherTickEffect(EffectContext{p, c, cell, *source.sample, source.fineTune, *source.instrument, tick, 0, 0, 0});
        // A late note delay may have changed the note, and with it the sample, on this tick.
        const ChannelSource played = noteDelayOf(profile, cell).late ? lookUpChannel(p, c) : source;
        if (c.tremorMuted) silenceForTremor(c);
        autoVibrato(c, *played.instrument);
        updateVoice(p, c, *played.sample);
    }
}

SongRow nextRowToPlay(const Playback& p) {
    SongRow next{p.nextOrder >= 0 ? p.nextOrder : p.orderPosition, p.nextRow >= 0 ? p.nextRow : p.row};
    // A break, jump or loop that lands past the pattern's last row plays its row 0.
    if (next.row >= rowsAt(*p.module, next.orderPosition)) next.row = 0;
    return next;
}

void sequencerTick(Playback& p) {
    p.tickPlayed = p.tick;
    if (p.tick != 0) {
        processTick(p);
    } else {
        const SongRow next = nextRowToPlay(p);
        if (p.nextOrder >= 0 && p.module->format == ModuleFormat::s3m) s3mPatternStarts(p);
        p.orderPosition = next.orderPosition;
        p.row = next.row;
        processRow(p);
        if (p.nextRow < 0) {
            const Module& m = *p.module;
            p.nextRow = p.row + 1;
            if (p.nextRow >= rowsAt(m, p.orderPosition)) {
                p.nextOrder = p.orderPosition + 1;
                // The order to continue at after the last entry; a restart position outside the
                // order list would index past it, so it counts as 0.
                if (p.nextOrder >= m.songLength)
                    p.nextOrder = m.restartPosition >= 0 && m.restartPosition < m.songLength ? m.restartPosition : 0;
                p.nextRow = 0;
            }
        }
    }
    ++p.tick;
    p.rowTicks = p.tempo + p.patternDelayTicks;
    if (p.tick >= p.rowTicks) {
        p.patternDelayTicks = 0;
        p.tick = 0;
    }
}

void setBpm(Playback& p, int32_t bpm) {
    p.bpm = bpm;
    const float f = static_cast<float>((bpm < 1 ? 1 : bpm) * 2.0 / 5.0);
    const int32_t frames = static_cast<int32_t>((1000.0 / double(f)) * p.rate / 1000.0);
    p.framesPerTick = frames < 1 ? 1 : frames;
}

void startPlayback(Playback& p, const Module& m, const PlaybackProfile& profile, int32_t rate) {
    p = Playback{};
    p.module = &m;
    p.profile = profile;
    p.rate = rate;
    p.rateReciprocal = 1.0f / float(rate);
    resetMixer(p.mixer, rate);
    for (int32_t i = 0; i < kMaxChannels; ++i) {
        p.channels[i].voice = &p.mixer.voices[i];
        p.channels[i].panning = m.channelPanning[i];
    }
    for (int32_t i = 0; i < m.instrumentCount; ++i)
        for (int32_t k = 0; k < m.instruments[i].sampleCount; ++k) p.fineTunes[i][k] = m.instruments[i].samples[k]->finetune;
    p.nextOrder = -1;
    p.nextRow = -1;
    p.globalVolume = m.initialGlobalVolume;
    p.tempo = m.defaultTempo;
    setBpm(p, m.defaultBpm);
}
