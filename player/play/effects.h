#pragma once
// Channel effects: the main effect column (except the flow effects, which the sequencer runs)
// and the volume column, on the row tick and on the other ticks of a row.
#include <cstdint>

struct Cell;
struct Channel;
struct Instrument;
struct Playback;
struct PlaybackProfile;
struct Sample;

// What an effect may read and change besides its channel.
struct EffectContext {
    Playback&         playback;
    Channel&          channel;
    const Cell&       cell;
    const Sample&     sample;      // the sample looked up for the channel on this tick
    int8_t*           fineTune;    // its fine-tune in this playback (E5y); nullptr: the empty sample
    const Instrument& instrument;  // its instrument, or the empty one
    int32_t           tick;        // tick within the row as the effects count it (0: row tick)
    // Row tick only: period, volume and panning before the row was applied, for the note delay.
    int32_t savedPeriod;
    int32_t savedVolume;
    int32_t savedPanning;
};

// Tone portamento: period towards portaTarget by portaSpeed × 4, never past it; pitch flag. Under
// the profile's tonePortaKeepsDirection it moves the way portaUpward says instead: up (the period
// falls) until it meets the target, and otherwise down, where a period at or past the target meets
// it at once.
void tonePortamento(Channel& channel, const PlaybackProfile& profile);

// How a vibrato moves the pitch: the waveform's 0…255 times the depth, shifted right and masked
// (whole steps of 4 here are the Amiga's steps). XM's pitch rises first in every waveform;
// ProTracker's falls first (the period rises in the waveform's first half), its sine from its
// table, its ramp half a cycle on from XM's; each waveform may be either.
struct VibratoStyle {
    int32_t depthShift;
    int32_t mask;
    bool    protrackerSine;
    bool    protrackerRamp;
    bool    protrackerSquare;
};
inline constexpr VibratoStyle kXmVibrato{5, ~3, false, false, false};
inline constexpr VibratoStyle kProtrackerVibrato{5, ~3, true, true, true};

// Vibrato offset for the current position (not advanced); pitch flag.
void vibrato(Channel& channel, const VibratoStyle& style = kXmVibrato);

// Tremolo offset for the current position, then the position advances; volume flag. ProTracker's
// ramp falls where XM's rises, and its sine is ProTracker's table; FastTracker 2's and ProTracker's
// ramps turn with the vibrato's position (rampFollowsVibrato).
void tremolo(Channel& channel, bool rampFollowsVibrato, bool protracker);

// One tick of the tremor cycle: silent from tremorOnTicks on; volume flag.
void tremor(Channel& channel);

// Tremor counted down on the other ticks only: tremorCounter holds the phase (0x80 sounding) and
// the ticks left in it; at 0 the phase turns and takes its length from the remembered parameter.
// A silent phase is kept in tremorMuted, which outlasts the effect's rows.
void tremorCountdown(Channel& channel);

// Row part of the cell's main effect, an XM (or MOD) one. Bxx, Dxy, E6y, EEy and Fxx are the
// sequencer's; S3M's letters are s3mTick's.
void effectRowTick(const EffectContext& context);

// The part of the cell's main effect that runs on the other ticks of the row.
void effectOtherTick(const EffectContext& context);

// --- shared with S3M's effects -------------------------------------------------------------------

// Periods are kept within ±2^20 so the arithmetic never overflows.
void setPeriod(Channel& channel, int64_t period);

// A portamento's step: within ProTracker's range on its scale (protrackerScale), within ±2^20
// otherwise; pitch flag.
void slidePeriod(const Playback& playback, Channel& channel, int32_t by);

// Vibrato and tremolo positions move by the speed as 8-bit values and fold back into −32…31.
int8_t advance(int8_t position, uint8_t speed);

// The volume up or down by `amount`, held within 0…64; volume flag.
void volumeUp(Channel& channel, int32_t amount);
void volumeDown(Channel& channel, int32_t amount);

void setPanning(Channel& channel, int32_t panning);

// Rxy's (and S3M's Qxy's) volume actions by x.
int32_t retrigVolume(int32_t volume, uint8_t action);

// 9xx (and S3M's Oxx): the sample offset, as the profile plays it.
void sampleOffsetRow(const EffectContext& context);

// Row part of the volume column (a non-zero byte); again on the delay tick of EDy.
void applyVolumeColumn(Channel& channel, uint8_t byte);

// The volume column on the other ticks.
void volumeColumnOtherTick(Channel& channel, uint8_t byte, const PlaybackProfile& profile);
