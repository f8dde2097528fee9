#pragma once
// Channel effects: the main effect column (except the flow effects, which the sequencer runs)
// and the volume column, on the row tick and on the other ticks of a row.
#include <cstdint>

struct Cell;
struct Channel;
struct Instrument;
struct Module;
struct Sample;

// What an effect may read and change besides its channel.
struct EffectContext {
    Module&           module;
    Channel&          channel;
    const Cell&       cell;
    Sample&           sample;      // the sample looked up for the channel on this tick
    const Instrument& instrument;  // its instrument, or the empty one
    // Row tick only: period, volume and panning before the row was applied, for the note delay.
    int32_t savedPeriod;
    int32_t savedVolume;
    int32_t savedPanning;
};

// Tone portamento: period towards portaTarget by portaSpeed × 4, never past it; pitch flag.
void tonePortamento(Channel& channel);

// Vibrato offset for the current position (not advanced); pitch flag.
void vibrato(Channel& channel);

// Tremolo offset for the current position, then the position advances; volume flag.
void tremolo(Channel& channel);

// One tick of the tremor cycle: silent from tremorOnTicks on; volume flag.
void tremor(Channel& channel);

// Row part of the cell's main effect. Bxx, Dxy, E6y, EEy and Fxx are the sequencer's.
void effectRowTick(const EffectContext& context);

// The part of the cell's main effect that runs on the other ticks of the row.
void effectOtherTick(const EffectContext& context);

// Row part of the volume column (a non-zero byte); again on the delay tick of EDy.
void applyVolumeColumn(Channel& channel, uint8_t byte);

// The volume column on the other ticks.
void volumeColumnOtherTick(Channel& channel, uint8_t byte);
