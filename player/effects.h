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

// Vibrato offset for the current position (not advanced); pitch flag.
void vibrato(Channel& channel);

// Tremolo offset for the current position, then the position advances; volume flag.
void tremolo(Channel& channel, const PlaybackProfile& profile);

// One tick of the tremor cycle: silent from tremorOnTicks on; volume flag.
void tremor(Channel& channel);

// Tremor counted down on the other ticks only: tremorCounter holds the phase (0x80 sounding) and
// the ticks left in it; at 0 the phase turns and takes its length from the remembered parameter.
// A silent phase is kept in tremorMuted, which outlasts the effect's rows.
void tremorCountdown(Channel& channel);

// Row part of the cell's main effect. Bxx, Dxy, E6y, EEy and Fxx are the sequencer's.
void effectRowTick(const EffectContext& context);

// The part of the cell's main effect that runs on the other ticks of the row.
void effectOtherTick(const EffectContext& context);

// Row part of the volume column (a non-zero byte); again on the delay tick of EDy.
void applyVolumeColumn(Channel& channel, uint8_t byte);

// The volume column on the other ticks.
void volumeColumnOtherTick(Channel& channel, uint8_t byte, const PlaybackProfile& profile);
