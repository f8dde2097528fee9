#pragma once
// The row and tick sequencer: reads pattern rows, runs the effects and envelopes, and sets the
// voices' pitch, volume and panning once per tick.
#include <cstdint>

#include "player/channel.h"
#include "player/profile.h"

struct Module;
struct Instrument;
struct Sample;
struct Cell;

struct SequencerState {
    Channel         channels[kMaxChannels];  // the first channelCount are in use
    PlaybackProfile profile;                 // chosen when playing starts (resetPlayback)
};

SequencerState& sequencer();

// Every channel zeroed and bound to its own voice (channel i to voice i); called when playing
// starts, after the voice table was cleared.
void resetChannels();

// One tick of the module's playback state; the render loop calls it every framesPerTick frames
// through the module's tickCallback. The row tick (tick 0) reads the row and moves the song
// position; the other ticks run the continuous part of the effects.
void sequencerTick(Module& module);

// Where the next row tick plays: the pending jump, break or loop applied, and row 0 of the
// pattern when that lands past its last row.
struct SongRow {
    int32_t orderPosition;  // index into the order list
    int32_t row;
};
SongRow nextRowToPlay(const Module& module);

// The row-tick and other-tick passes over all channels; called only by sequencerTick.
void processRow(Module& module);
void processTick(Module& module);

// The shared all-zero instrument: no envelopes, no auto-vibrato.
extern const Instrument emptyInstrument;

// What a channel plays on this tick: its instrument, or the empty instrument and the empty
// sample when the number is past the module's instruments; the instrument's sample for the
// channel's note, or the empty sample when there is none (notes above 96 included).
struct ChannelSource {
    const Instrument* instrument;
    Sample*           sample;
};
ChannelSource lookUpChannel(const Module& module, const Channel& channel);

// Releases the channel's note (key-off); without a volume envelope the profile's
// keyOffZeroesVolume sets the volume to 0 instead of leaving the silencing to the row tick.
void releaseNote(Channel& channel, const Instrument& instrument);

// The late note delay's tick: the cell's note (or the channel's last one when it has none) starts
// with its instrument's volume and panning when it names one, the envelopes restart, and the
// volume column's set-volume and set-panning apply; a key-off releases instead.
void applyDelayedCell(Module& module, Channel& channel, const Cell& cell);

// Applies an instrument to a channel: the sample's volume and panning, envelopes restarted,
// key-off cleared, fadeout full, auto-vibrato and (unless the waveform keeps its phase) vibrato
// and tremolo positions back to their start, tremor counter 0.
void resetInstrumentState(Channel& channel, const Sample& sample);
