#include "player/play/effects.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "maths/portable_math.h"
#include "player/play/channel.h"
#include "player/play/envelopes.h"
#include "player/mix/mixer.h"
#include "player/module.h"
#include "player/play/notes.h"
#include "player/play/pitch.h"
#include "player/playback.h"

namespace {

// Portamentos and fine portamentos have no musical limit; periods are kept within ±2^20 so the
// arithmetic never overflows. Far inside that range the pitch is already inaudible (linear) or
// pinned at the frequency limits.
constexpr int32_t kPeriodLimit = 1 << 20;

uint8_t high(uint8_t v) { return v >> 4; }
uint8_t low(uint8_t v) { return v & 0x0F; }

// ProTracker's portamentos stop at its highest and lowest notes, 113 and 856 on the Amiga.
constexpr int32_t kProtrackerHighest = 113 * 4;
constexpr int32_t kProtrackerLowest = 856 * 4;

// Waveform value for a position −32…31: sine |sin(2πp/64)| × 256 with π as 3.141592, a ramp, or
// a square.
int32_t sineWave(int8_t p) { return int32_t(std::fabs(portableSin(2 * p * 3.141592 / 64)) * 256); }

// ProTracker's (and Scream Tracker 3's) table of that sine, for positions 0…31 and −32…−1 alike.
constexpr uint8_t kProtrackerSine[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212,
                                         224, 235, 244, 250, 253, 255, 253, 250, 244, 235, 224,
                                         212, 197, 180, 161, 141, 120, 97,  74,  49,  24};
int32_t sineOf(int8_t p, bool protracker) { return protracker ? kProtrackerSine[p & 31] : sineWave(p); }
int32_t vibratoRamp(int8_t p) { return p >= 0 ? (p * 8) & 0xFF : 255 - ((p * 8) & 0xFF); }

void volumeSlide(Channel& c, uint8_t param) {
    c.volume = high(param) ? std::min(c.volume + high(param), 64) : std::max(c.volume - low(param), 0);
    c.updateFlags |= kUpdateVolume;
}

// The volume column's panning slides: the stored value keeps counting past 0…255 (the final
// panning is limited instead), but stops at the ends of its 32 bits rather than overflow.
void slidePanning(Channel& c, int32_t by) {
    const int64_t p = int64_t(c.panning) + by;
    setPanning(c, int32_t(std::clamp<int64_t>(p, INT32_MIN, INT32_MAX)));
}

}  // namespace

int32_t retrigVolume(int32_t v, uint8_t action) {
    switch (action) {
    case 1: return v - 1;
    case 2: return v - 2;
    case 3: return v - 4;
    case 4: return v - 8;
    case 5: return v - 16;
    case 6: return v * 2 / 3;
    case 7: return v >> 1;
    case 9: return v + 1;
    case 10: return v + 2;
    case 11: return v + 4;
    case 12: return v + 8;
    case 13: return v + 16;
    case 14: return v * 3 / 2;
    case 15: return v * 2;
    default: return v;  // 0 is not applied; 8 only applies the limits
    }
}

void setPeriod(Channel& c, int64_t period) {
    c.period = int32_t(period < -kPeriodLimit ? -kPeriodLimit : period > kPeriodLimit ? kPeriodLimit : period);
}

int8_t advance(int8_t position, uint8_t speed) {
    int32_t p = int8_t(uint8_t(position) + speed);
    if (p > 31) p -= 64;
    return int8_t(p);
}

void volumeUp(Channel& c, int32_t amount) {
    c.volume = std::min(c.volume + amount, 64);
    c.updateFlags |= kUpdateVolume;
}

void volumeDown(Channel& c, int32_t amount) {
    c.volume = std::max(c.volume - amount, 0);
    c.updateFlags |= kUpdateVolume;
}

void setPanning(Channel& c, int32_t panning) {
    c.panning = panning;
    c.updateFlags |= kUpdatePanning;
}

void slidePeriod(const Playback& p, Channel& c, int32_t by) {
    if (protrackerScale(p)) c.period = std::clamp(c.period + by, kProtrackerHighest, kProtrackerLowest);
    else setPeriod(c, int64_t(c.period) + by);
    c.updateFlags |= kUpdatePitch;
}

namespace {

// --- main column, one function per effect and tick kind ---------------------------------------

using EffectFn = void (*)(const EffectContext&);

void nothing(const EffectContext&) {}

// The arpeggio's phase from the ticks left in the row (tempo − tick; a repetition of the row
// under EEy starts with all of them left). Up to 15 left it is that number mod 3; 16 plays the
// base note and from 17 on the second offset, as a 16-entry table read past its end does.
int32_t arpeggioPhaseCountingDown(const EffectContext& e) {
    const int32_t tempo = e.playback.tempo;
    const int32_t left = tempo > 0 ? tempo - e.tick % tempo : 0;
    return left < 16 ? left % 3 : left == 16 ? 0 : 2;
}

// Under arpeggioClampsAtTop the notes of the arpeggio's two offset phases, a zero offset included,
// play no higher than C-8 at fine-tune 0; the base note's phase is not limited.
constexpr int32_t kArpeggioTopNote = 96;

// `delta` for the channel's period, limited so the pitch stays at or below the top note's. The
// linear scale raises the pitch by a positive offset (period − delta), the Amiga scale by a
// negative one (period + delta).
int32_t arpeggioDeltaBelowTop(const Playback& p, int32_t period, int32_t delta) {
    const int32_t top = notePeriodOf(p, kArpeggioTopNote, 0);
    if (p.module->flags & 1) return period - delta < top ? period - top : delta;
    return period + delta < top ? top - period : delta;
}

void arpeggioTick(const EffectContext& e) {
    const uint8_t xy = e.cell.effectParam;
    if (!xy) return;
    Channel& c = e.channel;
    const int32_t phase = e.playback.profile.arpeggioCountsDown ? arpeggioPhaseCountingDown(e) : e.tick % 3;
    const int32_t n = phase == 0 ? 0 : phase == 1 ? high(xy) : low(xy);
    const int32_t fineTune = e.fineTune ? *e.fineTune : 0;
    c.updateFlags |= kUpdatePitch;
    if (protrackerScale(e.playback)) {
        // Past its table's end ProTracker reads the 0 there: the tick is silent.
        const int32_t period = protrackerArpeggio(c.period, c.fineTune, n);
        c.periodDelta = period - c.period;
        if (period == 0) {
            c.volumeDelta = -c.volume;
            c.updateFlags |= kUpdateVolume;
        }
        return;
    }
    c.periodDelta = (e.playback.module->flags & 1)
                        ? n * 64
                        : amigaPeriod(c.realNote + n, fineTune) - amigaPeriod(c.realNote, fineTune);
    if (phase != 0 && e.playback.profile.arpeggioClampsAtTop)
        c.periodDelta = arpeggioDeltaBelowTop(e.playback, c.period, c.periodDelta);
}

// A parameter the effect remembers: the cell's when it is not 0 (or, for the profile that keeps
// no memory of slides, whatever it is).
void remember(const EffectContext& e, uint8_t& memory, uint8_t value) {
    if (value || e.playback.profile.slidesForgetParameter) memory = value;
}

void portaUpRow(const EffectContext& e) { remember(e, e.channel.portaUpSpeed, e.cell.effectParam); }
void portaUpTick(const EffectContext& e) {
    Channel& c = e.channel;
    if (protrackerScale(e.playback)) return slidePeriod(e.playback, c, -c.portaUpSpeed * 4);
    c.period = std::max(c.period - c.portaUpSpeed * 4, 56);
    c.updateFlags |= kUpdatePitch;
}

void portaDownRow(const EffectContext& e) { remember(e, e.channel.portaDownSpeed, e.cell.effectParam); }
void portaDownTick(const EffectContext& e) { slidePeriod(e.playback, e.channel, e.channel.portaDownSpeed * 4); }

// Under volumeColumnPortaDoubles a 3xx beside the volume column's tone portamento is ignored,
// parameter and slide, and the column's speed counts twice: Fy sets y × 32, F0 keeps the memory.
bool besideVolumeColumnPorta(const EffectContext& e) {
    return e.playback.profile.volumeColumnPortaDoubles && high(e.cell.volume) == 0xF;
}

void tonePortamentoRow(const EffectContext& e) {
    Channel& c = e.channel;
    if (besideVolumeColumnPorta(e)) {
        if (low(e.cell.volume)) c.portaSpeed = uint16_t(low(e.cell.volume) * 32);
        return;
    }
    if (e.cell.effectParam) c.portaSpeed = e.cell.effectParam;
    c.portaTarget = c.notePeriod;
    c.updateFlags &= uint8_t(~(kUpdateTrigger | kUpdatePitch));
}
void tonePortamentoTick(const EffectContext& e) {
    if (!besideVolumeColumnPorta(e)) tonePortamento(e.channel, e.playback.profile);
}

void vibratoRow(const EffectContext& e) {
    Channel& c = e.channel;
    if (high(e.cell.effectParam)) c.vibratoSpeed = high(e.cell.effectParam);
    if (low(e.cell.effectParam)) c.vibratoDepth = low(e.cell.effectParam);
    if (!e.playback.profile.protrackerVibrato) vibrato(c);
}
void vibratoTick(const EffectContext& e) {
    vibrato(e.channel, e.playback.profile.protrackerVibrato ? kProtrackerVibrato : kXmVibrato);
    e.channel.vibratoPosition = advance(e.channel.vibratoPosition, e.channel.vibratoSpeed);
}

void portaVolumeSlideRow(const EffectContext& e) {
    Channel& c = e.channel;
    c.portaTarget = c.notePeriod;
    remember(e, c.volumeSlide, e.cell.effectParam);
    c.updateFlags &= uint8_t(~(kUpdateTrigger | kUpdatePitch));
}
void portaVolumeSlideTick(const EffectContext& e) {
    tonePortamento(e.channel, e.playback.profile);
    volumeSlide(e.channel, e.channel.volumeSlide);
}

void vibratoVolumeSlideRow(const EffectContext& e) {
    remember(e, e.channel.volumeSlide, e.cell.effectParam);
    if (!e.playback.profile.protrackerVibrato) vibrato(e.channel);
}
void vibratoVolumeSlideTick(const EffectContext& e) {
    vibratoTick(e);
    volumeSlide(e.channel, e.channel.volumeSlide);
}

void tremoloRow(const EffectContext& e) {
    if (high(e.cell.effectParam)) e.channel.tremoloSpeed = high(e.cell.effectParam);
    if (low(e.cell.effectParam)) e.channel.tremoloDepth = low(e.cell.effectParam);
}
void tremoloTick(const EffectContext& e) {
    const PlaybackProfile& profile = e.playback.profile;
    tremolo(e.channel, profile.tremoloRampFollowsVibrato, profile.protrackerVibrato);
}

void setPanningRow(const EffectContext& e) { setPanning(e.channel, e.cell.effectParam); }

}  // namespace

void sampleOffsetRow(const EffectContext& e) {
    Channel& c = e.channel;
    if (e.cell.effectParam) c.sampleOffset = e.cell.effectParam;
    const uint32_t offset = uint32_t(c.sampleOffset) * 256;
    const PlaybackProfile& profile = e.playback.profile;
    if (profile.offsetStaysWithChannel) {
        // The channel's start moves (ProTracker: on by the offset, while it stays inside the
        // sample; once past its end it stays there) and a note beside it starts there. ProTracker
        // moves it on once more after the note has started.
        const bool note = c.updateFlags & kUpdateTrigger;
        const uint32_t length = e.sample.length;
        if (!profile.offsetAddsUp) c.startOffset = offset;
        else c.startOffset = c.startOffset < length && offset < length - c.startOffset ? c.startOffset + offset : length;
        if (note) startNoteAt(profile, c, e.sample, c.startOffset);
        if (note && profile.offsetAddsUp)
            c.startOffset = c.startOffset < length && offset < length - c.startOffset ? c.startOffset + offset : length;
        return;
    }
    if (profile.offsetStartsOnlyItsNote) {
        if (!(c.updateFlags & kUpdateTrigger)) return;
        if (offset < e.sample.length) c.voice->startOffset = offset;
        else c.updateFlags |= kUpdateStop;
        return;
    }
    if (offset < e.sample.loopStart + e.sample.loopLength) {
        c.voice->startOffset = offset;
    } else {
        c.updateFlags &= uint8_t(~kUpdateTrigger);
        c.updateFlags |= kUpdateRewind;
    }
}

namespace {

void volumeSlideRow(const EffectContext& e) { remember(e, e.channel.volumeSlide, e.cell.effectParam); }
void volumeSlideTick(const EffectContext& e) { volumeSlide(e.channel, e.channel.volumeSlide); }

void setVolumeRow(const EffectContext& e) {
    // Not limited unless the profile says: a parameter above 64 plays louder.
    e.channel.volume = e.playback.profile.setVolumeLimited ? std::min<int32_t>(e.cell.effectParam, 64)
                                                           : e.cell.effectParam;
    e.channel.updateFlags |= kUpdateVolume;
}

void globalVolumeRow(const EffectContext& e) {
    e.playback.globalVolume = std::min<int32_t>(e.cell.effectParam, 64);
    e.channel.updateFlags |= kUpdateVolume;
}

void globalVolumeSlideRow(const EffectContext& e) {
    if (e.cell.effectParam) e.playback.globalVolumeSlide = e.cell.effectParam;
}
void globalVolumeSlideTick(const EffectContext& e) {
    Playback& m = e.playback;
    const uint8_t xy = uint8_t(m.globalVolumeSlide);
    if (high(xy)) m.globalVolume = std::min(m.globalVolume + high(xy), 64);
    else if (low(xy)) m.globalVolume = std::max(m.globalVolume - low(xy), 0);
}

void envelopePositionRow(const EffectContext& e) {
    setEnvelopePosition(e.channel, e.instrument, e.cell.effectParam, e.playback.profile);
}

void panningSlideRow(const EffectContext& e) {
    if (!e.cell.effectParam) return;
    e.channel.panningSlide = e.cell.effectParam;
    e.channel.updateFlags |= kUpdatePanning;
}
void panningSlideTick(const EffectContext& e) {
    Channel& c = e.channel;
    const uint8_t xy = c.panningSlide;
    if (high(xy)) c.panning = std::min(c.panning + high(xy), 255);
    else if (low(xy)) c.panning = std::max(c.panning - low(xy), 0);
    c.updateFlags |= kUpdatePanning;
}

void retrigTick(const EffectContext& e);

void retrigRow(const EffectContext& e) {
    if (e.playback.profile.retrigCountsAcrossRows) {
        // Each half of the parameter is remembered on its own. The row tick counts as well,
        // and may retrigger, unless the volume column sets a volume above 0 (0x11…0x50); an
        // instrument number has already set the counter back to 0 (resetInstrumentState).
        if (high(e.cell.effectParam)) e.channel.retrigVolumeAction = high(e.cell.effectParam);
        if (low(e.cell.effectParam)) e.channel.retrigInterval = low(e.cell.effectParam);
        const bool setsAudibleVolume = e.cell.volume > 0x10 && e.cell.volume <= 0x50;
        if (!setsAudibleVolume) retrigTick(e);
        return;
    }
    if (!e.cell.effectParam) return;
    e.channel.retrigVolumeAction = high(e.cell.effectParam);
    e.channel.retrigInterval = low(e.cell.effectParam);
}
void retrigTick(const EffectContext& e) {
    Channel& c = e.channel;
    if (e.playback.profile.retrigCountsAcrossRows) {
        if (++c.retrigCounter < c.retrigInterval) return;
        c.retrigCounter = 0;
    } else if (c.retrigInterval == 0 || e.tick % c.retrigInterval != 0) {
        return;
    }
    if (c.retrigVolumeAction) {
        c.volume = std::max(std::min(retrigVolume(c.volume, c.retrigVolumeAction), 64), 0);
        c.updateFlags |= kUpdateVolume;
    }
    c.updateFlags |= kUpdateTrigger;
}

// Kxx with xx > 0 under the profile's timing; the row tick's key-off is the sequencer's.
void keyOffTick(const EffectContext& e) {
    if (e.tick != 0 && e.tick == keyOffEffectTick(e.playback.profile, e.cell))
        releaseNote(e.playback.profile, e.channel, e.instrument);
}

void tremorRow(const EffectContext& e) {
    if (e.cell.effectParam) {
        e.channel.tremorOnTicks = uint8_t(high(e.cell.effectParam) + 1);
        e.channel.tremorOffTicks = uint8_t(low(e.cell.effectParam) + 1);
    }
    if (!e.playback.profile.tremorCountsDown) tremor(e.channel);
}
void tremorTick(const EffectContext& e) {
    if (e.playback.profile.tremorCountsDown) tremorCountdown(e.channel);
    else tremor(e.channel);
}

void extraFinePortaRow(const EffectContext& e) {
    Channel& c = e.channel;
    const uint8_t x = high(e.cell.effectParam), y = low(e.cell.effectParam);
    if (x == 1) {
        if (y) c.extraFinePortaUp = y;
        setPeriod(c, int64_t(c.period) - c.extraFinePortaUp);
    } else if (x == 2) {
        if (y) c.extraFinePortaDown = y;
        setPeriod(c, int64_t(c.period) + c.extraFinePortaDown);
    }
}

// --- extended effects (type 14), by x -----------------------------------------------------------

void finePortaUpRow(const EffectContext& e, uint8_t y) {
    remember(e, e.channel.finePortaUp, y);
    slidePeriod(e.playback, e.channel, -e.channel.finePortaUp * 4);
}

void finePortaDownRow(const EffectContext& e, uint8_t y) {
    remember(e, e.channel.finePortaDown, y);
    slidePeriod(e.playback, e.channel, e.channel.finePortaDown * 4);
}

void setFineTuneRow(const EffectContext& e, uint8_t y) {
    // The change stays with the sample for later notes on any channel, for the rest of this
    // playback. The empty sample keeps its zero.
    if (e.fineTune) *e.fineTune = int8_t(y);
}

void fineVolumeUpRow(const EffectContext& e, uint8_t y) {
    remember(e, e.channel.fineVolumeSlide, y);
    volumeUp(e.channel, e.channel.fineVolumeSlide);
}

void fineVolumeDownRow(const EffectContext& e, uint8_t y) {
    Channel& c = e.channel;
    uint8_t& memory = e.playback.profile.fineVolumeSeparateMemory ? c.fineVolumeDown : c.fineVolumeSlide;
    remember(e, memory, y);
    volumeDown(c, memory);
}

constexpr uint8_t kNoteUpdates = kUpdatePitch | kUpdateVolume | kUpdatePanning | kUpdateTrigger;

void noteDelayRow(const EffectContext& e, uint8_t) {
    Channel& c = e.channel;
    c.period = e.savedPeriod;
    if (e.playback.profile.noteDelayTakesInstrumentAtOnce) {
        c.updateFlags &= uint8_t(~(kUpdateTrigger | kUpdatePitch));
        return;
    }
    c.volume = e.savedVolume;
    c.panning = e.savedPanning;
    c.updateFlags &= uint8_t(~kNoteUpdates);
}

void extendedRow(const EffectContext& e) {
    const uint8_t x = high(e.cell.effectParam), y = low(e.cell.effectParam);
    Channel& c = e.channel;
    switch (x) {
    case 1: finePortaUpRow(e, y); break;
    case 2: finePortaDownRow(e, y); break;
    case 4: c.waveControl = uint8_t((c.waveControl & 0xF0) | y); break;
    case 5:  // the profiles that tune the note beside it have done so
        if (!e.playback.profile.fineTuneOnNote && !e.playback.profile.protrackerPeriods) setFineTuneRow(e, y);
        break;
    case 7: c.waveControl = uint8_t((c.waveControl & 0x0F) | y << 4); break;
    case 8: setPanning(c, y * 16); break;
    case 9:  // ProTracker restarts the note on the row tick too, where none starts
        if (e.playback.profile.retrigOnRowTick && y != 0 && e.cell.note == 0)
            c.updateFlags |= kUpdatePitch | kUpdateVolume | kUpdateTrigger;
        break;
    case 10: fineVolumeUpRow(e, y); break;
    case 11: fineVolumeDownRow(e, y); break;
    case 12:  // EC0 under the profile; other cuts come on their tick
        if (y == 0 && e.playback.profile.noteCutZeroOnRowTick) {
            c.volume = 0;
            c.updateFlags |= kUpdateVolume | kUpdateQuickVolume;
        }
        break;
    case 13: {
        const NoteDelay delay = noteDelayOf(e.playback.profile, e.cell);
        // Late ED0: the row tick played the cell; ProTracker's ED0 is no delay.
        if (delay.tick >= 0 && (!delay.late || delay.tick != 0)) noteDelayRow(e, y);
        break;
    }
    default: break;  // E0y, E3y, EFy do nothing; E6y and EEy are the sequencer's
    }
}

void extendedTick(const EffectContext& e) {
    const uint8_t x = high(e.cell.effectParam), y = low(e.cell.effectParam);
    Channel& c = e.channel;
    const int32_t tick = e.tick;
    if (x == 9 && y != 0 && tick % y == 0) {  // retrigger
        c.updateFlags |= kUpdatePitch | kUpdateVolume | kUpdateTrigger;
    } else if (x == 12 && tick == y) {  // note cut
        c.volume = 0;
        c.updateFlags |= kUpdateVolume;
    } else if (x == 13) {  // note delay: the note starts on tick y, with its instrument state
        if (tick == y && noteDelayOf(e.playback.profile, e.cell).late) {
            applyDelayedCell(e.playback, c, e.cell);
        } else if (tick == y) {
            if (!e.playback.profile.noteDelayTakesInstrumentAtOnce) resetInstrumentState(e.playback.profile, c, e.sample);
            c.period = c.notePeriod;
            c.updateFlags |= kUpdatePitch;
            if (e.cell.volume) applyVolumeColumn(c, e.cell.volume);
            c.updateFlags |= kUpdateTrigger;
        } else if (tick < y) {
            c.updateFlags &= uint8_t(~kNoteUpdates);
        }
    }
}

struct EffectRow {
    EffectFn row;
    EffectFn otherTicks;
};

// Effect types 0…35 by the format's letters; types not listed do nothing on any tick. Bxx, Dxy,
// Fxx and Kxx act in the sequencer.
constexpr EffectRow kEffects[36] = {
    {nothing, arpeggioTick},                        // 0xy arpeggio
    {portaUpRow, portaUpTick},                      // 1xx
    {portaDownRow, portaDownTick},                  // 2xx
    {tonePortamentoRow, tonePortamentoTick},        // 3xx
    {vibratoRow, vibratoTick},                      // 4xy
    {portaVolumeSlideRow, portaVolumeSlideTick},    // 5xy
    {vibratoVolumeSlideRow, vibratoVolumeSlideTick},// 6xy
    {tremoloRow, tremoloTick},                      // 7xy
    {setPanningRow, nothing},                       // 8xx
    {sampleOffsetRow, nothing},                     // 9xx
    {volumeSlideRow, volumeSlideTick},              // Axy
    {nothing, nothing},                             // Bxx position jump
    {setVolumeRow, nothing},                        // Cxx
    {nothing, nothing},                             // Dxy pattern break
    {extendedRow, extendedTick},                    // Exy
    {nothing, nothing},                             // Fxx speed or BPM
    {globalVolumeRow, nothing},                     // Gxx
    {globalVolumeSlideRow, globalVolumeSlideTick},  // Hxy
    {nothing, nothing},                             // I
    {nothing, nothing},                             // J
    {nothing, keyOffTick},                          // Kxx key off
    {envelopePositionRow, nothing},                 // Lxx
    {nothing, nothing},                             // M
    {nothing, nothing},                             // N
    {nothing, nothing},                             // O
    {panningSlideRow, panningSlideTick},            // Pxy
    {nothing, nothing},                             // Q
    {retrigRow, retrigTick},                        // Rxy
    {nothing, nothing},                             // S
    {tremorRow, tremorTick},                        // Txy
    {nothing, nothing},                             // U
    {nothing, nothing},                             // V
    {nothing, nothing},                             // W
    {extraFinePortaRow, nothing},                   // Xxy
    {nothing, nothing},                             // Y
    {nothing, nothing},                             // Z
};

}  // namespace

void tonePortamento(Channel& c, const PlaybackProfile& profile) {
    const int32_t speed = c.portaSpeed * 4;
    if (!profile.tonePortaKeepsDirection) {
        if (c.period < c.portaTarget) c.period = std::min(c.period + speed, c.portaTarget);
        else if (c.period > c.portaTarget) c.period = std::max(c.period - speed, c.portaTarget);
    } else if (c.portaUpward) {
        c.period -= speed;
        if (c.period <= c.portaTarget) {
            c.period = c.portaTarget;
            c.portaUpward = 0;
        }
    } else {
        c.period = std::min(c.period + speed, c.portaTarget);
    }
    c.updateFlags |= kUpdatePitch;
}

void vibrato(Channel& c, const VibratoStyle& style) {
    const uint8_t waveform = c.waveControl & 3;
    const bool protracker = waveform == 0   ? style.protrackerSine
                            : waveform == 1 ? style.protrackerRamp
                                            : style.protrackerSquare;
    const bool sine = waveform == 0;
    const int32_t w = sine            ? sineOf(c.vibratoPosition, protracker)
                      : waveform == 1 ? (protracker ? 255 - vibratoRamp(c.vibratoPosition) : vibratoRamp(c.vibratoPosition))
                                      : 255;
    const int32_t d = ((w * c.vibratoDepth) >> style.depthShift) & style.mask;
    c.periodDelta = (c.vibratoPosition >= 0) != protracker ? -d : d;
    c.updateFlags |= kUpdatePitch;
}

void tremolo(Channel& c, bool rampFollowsVibrato, bool protracker) {
    const uint8_t waveform = (c.waveControl >> 4) & 3;
    int32_t w = waveform == 1   ? (c.tremoloPosition & 31) * 8
                : waveform == 2 ? 255
                                : sineOf(c.tremoloPosition, protracker);
    if (waveform == 1 && c.vibratoPosition < 0 && rampFollowsVibrato) w = 255 - w;
    if (waveform == 1 && protracker) w = 255 - w;  // ProTracker's ramp falls
    int32_t t = (w * c.tremoloDepth) >> 6;
    if (c.tremoloPosition >= 0) {
        c.volumeDelta = c.volume + t > 64 ? 64 - c.volume : t;
    } else {
        if (t > c.volume) t = c.volume;
        c.volumeDelta = -t;
    }
    c.tremoloPosition = advance(c.tremoloPosition, c.tremoloSpeed);
    c.updateFlags |= kUpdateVolume;
}

void tremor(Channel& c) {
    if (c.tremorCounter >= c.tremorOnTicks) c.volumeDelta = -c.volume;
    c.tremorCounter = uint8_t(c.tremorCounter + 1);
    if (c.tremorCounter >= c.tremorOnTicks + c.tremorOffTicks) c.tremorCounter = 0;
    c.updateFlags |= kUpdateVolume;
}

void tremorCountdown(Channel& c) {
    const uint8_t on = c.tremorCounter & 0x80;
    int32_t left = (c.tremorCounter & 0x7F) - 1;
    uint8_t phase = on;
    if (left < 0) {
        phase = on ? 0 : 0x80;
        // The remembered lengths are x + 1 and y + 1; before any Txy both phases last one tick.
        left = std::max((on ? c.tremorOffTicks : c.tremorOnTicks) - 1, 0);
    }
    c.tremorCounter = uint8_t(phase | (left & 0x7F));
    c.tremorMuted = phase ? 0 : 1;
    c.updateFlags |= kUpdateVolume | kUpdateQuickVolume;
}

void effectRowTick(const EffectContext& e) {
    if (e.cell.effectType < 36) kEffects[e.cell.effectType].row(e);
}

void effectOtherTick(const EffectContext& e) {
    if (e.cell.effectType < 36) kEffects[e.cell.effectType].otherTicks(e);
}

void applyVolumeColumn(Channel& c, uint8_t byte) {
    const uint8_t y = low(byte);
    switch (high(byte)) {
    case 0x1: case 0x2: case 0x3: case 0x4:
        c.volume = byte - 0x10;
        c.updateFlags |= kUpdateVolume;
        break;
    case 0x5:
        if (byte == 0x50) {
            c.volume = 64;
            c.updateFlags |= kUpdateVolume;
        }
        break;
    case 0x6: case 0x8: volumeDown(c, y); break;
    case 0x7: case 0x9: volumeUp(c, y); break;
    case 0xA: c.vibratoSpeed = y; break;
    case 0xB: c.vibratoDepth = y; break;
    case 0xC: setPanning(c, y * 16); break;
    case 0xD: slidePanning(c, -y); break;  // not limited: the final panning is
    case 0xE: slidePanning(c, y); break;
    case 0xF:
        if (y) c.portaSpeed = uint8_t(y * 16);
        c.portaTarget = c.notePeriod;
        c.updateFlags &= uint8_t(~kUpdateTrigger);  // the pitch follows the new note at once
        break;
    default: break;  // 0x01–0x0F and 0x51–0x5F do nothing
    }
}

void volumeColumnOtherTick(Channel& c, uint8_t byte, const PlaybackProfile& profile) {
    const uint8_t y = low(byte);
    switch (high(byte)) {
    case 0x6: volumeDown(c, y); break;
    case 0x7: volumeUp(c, y); break;
    case 0xB:
        c.vibratoDepth = y;
        vibrato(c);
        c.vibratoPosition = advance(c.vibratoPosition, c.vibratoSpeed);
        break;
    case 0xD: slidePanning(c, -y); break;
    case 0xE: slidePanning(c, y); break;
    case 0xF: tonePortamento(c, profile); break;
    default: break;
    }
}
