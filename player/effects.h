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
};

// Row part of the cell's main effect. Bxx, Dxy, E6y, EEy and Fxx are the sequencer's.
void effectRowTick(const EffectContext& context);

// The part of the cell's main effect that runs on the other ticks of the row.
void effectOtherTick(const EffectContext& context);

// Row part of the volume column (a non-zero byte); again on the delay tick of EDy.
void applyVolumeColumn(Channel& channel, uint8_t byte);

// The volume column on the other ticks.
void volumeColumnOtherTick(Channel& channel, uint8_t byte);
