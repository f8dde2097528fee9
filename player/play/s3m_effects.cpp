#include "player/play/s3m_effects.h"

#include <algorithm>
#include <cstring>

#include "player/play/channel.h"
#include "player/play/effects.h"
#include "player/mix/mixer.h"
#include "player/play/notes.h"
#include "player/playback.h"

namespace {

uint8_t high(uint8_t v) { return v >> 4; }
uint8_t low(uint8_t v) { return v & 0x0F; }

// XM's effect numbers that some S3M effects play as.
constexpr uint8_t kXmTremolo = 7;
constexpr uint8_t kXmPositionJump = 11;
constexpr uint8_t kXmPatternBreak = 13;
constexpr uint8_t kXmExtended = 14;
constexpr uint8_t kXmSpeed = 15;
constexpr uint8_t kXmTremor = 29;

// The Amiga's range, 4 × 113…856, for a module that asks for Amiga limits.
constexpr int32_t kAmigaHighest = 113 * 4;
constexpr int32_t kAmigaLowest = 856 * 4;
constexpr int32_t kSt3LongestPeriod = 0x7FFF;

// Plays the cell as XM's effect `type` plays with the same parameter, on this tick.
void asXm(const EffectContext& e, uint8_t type) {
    Cell cell = e.cell;
    cell.effectType = type;
    const EffectContext xm{e.playback, e.channel,  cell,          e.sample,      e.fineTune,
                           e.instrument, e.tick, e.savedPeriod, e.savedVolume, e.savedPanning};
    if (e.tick == 0) effectRowTick(xm);
    else effectOtherTick(xm);
}

// Dxy, and the slide in Kxy and Lxy: x up or y down (y where both are set) on the ticks after the
// row tick; DxF and DFy are fine slides, x up or y down on the row tick alone. The row tick slides
// as well where the module's volume slides are fast, and for D0F and DF0. Kxy and Lxy make no fine
// slides, and slide on the row tick only where the slides are fast.
void volumeSlide(const EffectContext& e, bool joined) {
    Channel& c = e.channel;
    const uint8_t x = high(e.cell.effectParam), y = low(e.cell.effectParam);
    if ((y == 0xF && x != 0) || (x == 0xF && y != 0)) {
        if (joined || e.tick != 0) return;
        if (y == 0xF) volumeUp(c, x);
        else volumeDown(c, y);
        return;
    }
    const bool onRowTick = e.playback.module->fastVolumeSlides || (!joined && (x == 0xF || y == 0xF));
    if (e.tick == 0 && !onRowTick) return;
    if (y == 0) volumeUp(c, x);
    else volumeDown(c, y);
}

// Exx and Fxx: the period down (E, the pitch falls) or up by xx × 4 on the ticks after the row
// tick; EFx and EEx (FFx, FEx) by x × 4 and by x on the row tick alone. A module with Amiga limits
// keeps the period within the Amiga's range.
void portamento(const EffectContext& e, int32_t sign) {
    const uint8_t xx = e.cell.effectParam;
    const bool fine = xx >= 0xE0;
    if (fine != (e.tick == 0)) return;
    const int32_t by = !fine ? xx * 4 : xx >= 0xF0 ? low(xx) * 4 : low(xx);
    Channel& c = e.channel;
    if (e.playback.module->amigaLimits) {
        c.period = std::clamp(c.period + sign * by, kAmigaHighest, kAmigaLowest);
    } else {
        // Without the Amiga's limits the pitch may rise until the period reaches 0, which ends the
        // note; it falls no further than the longest period.
        c.period = std::min(c.period + sign * by, kSt3LongestPeriod);
        if (c.period <= 0) {
            c.period = 0;
            cutNote(c);
        }
    }
    c.updateFlags |= kUpdatePitch;
}

// Hxy and Uxy: speed x and depth y, each kept where it is 0; the pitch moves on every tick, the
// row tick too (where the position stays); its sine and square fall first as ProTracker's do, its
// ramp is XM's. Uxy's depth is a quarter of Hxy's.
void vibratoRow(const EffectContext& e) {
    Channel& c = e.channel;
    if (high(e.cell.effectParam)) c.vibratoSpeed = high(e.cell.effectParam);
    if (low(e.cell.effectParam)) c.vibratoDepth = low(e.cell.effectParam);
}

void vibratoTick(const EffectContext& e, int32_t depthShift) {
    Channel& c = e.channel;
    vibrato(c, VibratoStyle{depthShift, ~0, true, false, true});
    if (e.tick != 0) c.vibratoPosition = advance(c.vibratoPosition, c.vibratoSpeed);
}

// Gxx's row tick (and Lxy's, as G00): the speed, kept where xx is 0, and the note beside it as the
// target, which the pitch slides to instead of starting it, unless no note has played yet on the
// channel: then it starts.
void tonePortamentoRow(const EffectContext& e, uint8_t speed) {
    Channel& c = e.channel;
    if (speed) c.portaSpeed = speed;
    c.portaTarget = c.notePeriod;
    if (e.savedPeriod != 0) c.updateFlags &= uint8_t(~(kUpdateTrigger | kUpdatePitch));
}

// Jxy: on every tick the note itself, then x and y semitones above it, in turn, whatever the
// slides did to the period (which stays as it was for the rows after).
void arpeggio(const EffectContext& e) {
    Channel& c = e.channel;
    if (c.notePeriod == 0) return;
    const int32_t phase = e.tick % 3;
    const uint8_t xy = e.cell.effectParam;
    const int32_t n = phase == 0 ? 0 : phase == 1 ? high(xy) : low(xy);
    const int32_t fineTune = e.fineTune ? *e.fineTune : 0;
    c.periodDelta = notePeriodOf(e.playback, c.realNote + n, fineTune, middleCRateOf(e.playback, e.sample)) - c.period;
    c.updateFlags |= kUpdatePitch;
}

bool isPortamento(char letter) { return letter == 'E' || letter == 'F'; }

// Qxy: the note starts again on every tick whose count from the note's start (over the rows, row
// ticks included, restarts not) is a multiple of y, with x's volume action (Rxy's).
void retrigger(const EffectContext& e) {
    Channel& c = e.channel;
    const uint8_t x = high(e.cell.effectParam), y = low(e.cell.effectParam);
    if (e.tick == 0 && (c.updateFlags & kUpdateTrigger)) {
        c.s3mRetrigTicks = 0;
        return;
    }
    ++c.s3mRetrigTicks;
    if (y == 0 || c.s3mRetrigTicks % y != 0) return;
    if (x) c.volume = std::clamp(retrigVolume(c.volume, x), 0, 64);
    c.updateFlags |= kUpdateVolume | kUpdatePitch | kUpdateTrigger;
}

// Sxy's row part: waveforms, panning; SCx and SDx act on their ticks; SBx and SEx are the flow's.
void specialRow(const EffectContext& e) {
    Channel& c = e.channel;
    const uint8_t x = high(e.cell.effectParam), y = low(e.cell.effectParam);
    switch (x) {
    case 0x3: c.waveControl = uint8_t((c.waveControl & 0xF0) | y); break;
    case 0x4: c.waveControl = uint8_t((c.waveControl & 0x0F) | y << 4); break;
    case 0x8: setPanning(c, y * 17); break;
    default: break;  // filter, glissando, fine-tune, stereo control, funk repeat: not played
    }
}

void specialTick(const EffectContext& e) {
    const uint8_t x = high(e.cell.effectParam), y = low(e.cell.effectParam);
    if (x == 0xC && e.tick == y) cutNote(e.channel);
    if (x == 0xD && e.tick == noteDelayOf(e.playback.profile, e.cell).tick) applyDelayedCell(e.playback, e.channel, e.cell);
}

// One tick of the cell's effect; on the row tick (and the first of each repetition of a delayed
// row) its row part as well.
void tick(const EffectContext& e) {
    Channel& c = e.channel;
    const uint8_t xx = e.cell.effectParam;
    const bool rowTick = e.tick == 0;
    switch (s3mLetter(e.cell)) {
    case 'D': volumeSlide(e, false); break;
    case 'E': portamento(e, 1); break;
    case 'F': portamento(e, -1); break;
    case 'G':
        if (rowTick) tonePortamentoRow(e, xx);
        else tonePortamento(c, e.playback.profile);
        break;
    case 'H': case 'U':
        if (rowTick) vibratoRow(e);
        vibratoTick(e, s3mLetter(e.cell) == 'H' ? 5 : 7);
        break;
    case 'I': asXm(e, kXmTremor); break;
    case 'J': arpeggio(e); break;
    case 'K':
        vibratoTick(e, 5);
        volumeSlide(e, true);
        break;
    case 'L':
        if (rowTick) tonePortamentoRow(e, 0);  // the tone portamento goes on (G00), at its own speed
        else tonePortamento(c, e.playback.profile);
        volumeSlide(e, true);
        break;
    case 'O':
        if (rowTick) sampleOffsetRow(e);
        break;
    case 'Q': retrigger(e); break;
    case 'R':
        if (rowTick) asXm(e, kXmTremolo);  // speed and depth
        else tremolo(c, false, true);
        break;
    case 'S':
        if (rowTick) specialRow(e);
        else specialTick(e);
        break;
    case 'V':
        if (rowTick && xx <= 64) e.playback.globalVolume = xx;
        c.updateFlags |= kUpdateVolume;
        break;
    case 'X':  // panning 0…0x80, as other trackers write it into S3Ms
        if (rowTick && xx <= 0x80) setPanning(c, std::min(xx * 2, 255));
        break;
    default: break;
    }
}

}  // namespace

uint8_t takeS3mParameter(Channel& c, const Cell& cell) {
    // G, H and U keep their own memories too, but a parameter they are given is the shared one's.
    const char letter = s3mLetter(cell);
    if (!std::strchr("DEFGHIJKLQRSTU", letter)) return cell.effectParam;
    if (cell.effectParam) c.s3mMemory = cell.effectParam;
    return std::strchr("GHU", letter) ? cell.effectParam : c.s3mMemory;
}

void s3mFlowEffect(Playback& p, const Cell& cell) {
    const uint8_t xx = cell.effectParam;
    if (s3mLetter(cell) == 'A' && xx != 0) p.tempo = xx;
    // SEx: the first channel (from the left) that delays the row decides by how much.
    if (s3mLetter(cell) == 'S' && high(xx) == 0xE && low(xx) != 0 && p.patternDelayTicks == 0)
        p.patternDelayTicks = low(xx) * p.tempo;
}

Cell s3mFlowAsXm(const Cell& cell) {
    const uint8_t xx = cell.effectParam;
    switch (s3mLetter(cell)) {
    case 'B': return Cell{0, 0, 0, kXmPositionJump, xx};
    case 'C': return Cell{0, 0, 0, kXmPatternBreak, xx};
    case 'S':
        if (high(xx) == 0xB) return Cell{0, 0, 0, kXmExtended, uint8_t(0x60 | low(xx))};
        break;
    case 'T':
        if (xx >= 0x20) return Cell{0, 0, 0, kXmSpeed, xx};  // BPM; a smaller one is ignored
        break;
    default: break;
    }
    return Cell{0, 0, 0, kNoEffect, 0};
}

void s3mTick(const EffectContext& e) { tick(e); }

void s3mRowStarts(Channel& c, const Cell& cell) {
    // A portamento (E, F; not a tone portamento) right after an arpeggio slides on from the
    // arpeggio's last note.
    const bool afterArpeggio = c.lastEffect == kS3mEffects + ('J' - 'A');
    if (afterArpeggio && isS3mEffect(cell) && isPortamento(s3mLetter(cell))) c.period += c.periodDelta;
}

bool s3mStartsIdleChannel(const Channel& c, const Cell& cell) {
    return isS3mEffect(cell) && (s3mLetter(cell) == 'G' || s3mLetter(cell) == 'L') && c.period == 0;
}

void s3mPatternStarts(Playback& p) {
    for (Channel& c : p.channels) c.loopRow = 0;
}
