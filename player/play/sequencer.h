#pragma once
// The row and tick sequencer: reads pattern rows, runs the effects and envelopes, and sets the
// voices' pitch, volume and panning once per tick.
#include <cstdint>

#include "player/mix/mixer.h"

struct Module;
struct Playback;
struct PlaybackProfile;

// A fresh playback of `module` from its beginning (order 0, row 0, default tempo and BPM) at
// `rate` frames per second: every channel zeroed and bound to its own voice (channel i to voice
// i), every voice idle, the samples' fine-tunes as loaded; the effects behave as `profile` says.
// The module must outlive the playback.
void startPlayback(Playback& playback, const Module& module, const PlaybackProfile& profile, int32_t rate = kMixRate);

// One tick; the render loop calls it every framesPerTick frames. The row tick (tick 0) reads the
// row and moves the song position; the other ticks run the continuous part of the effects.
void sequencerTick(Playback& playback);

// Where the next row tick plays: the pending jump, break or loop applied, and row 0 of the
// pattern when that lands past its last row.
struct SongRow {
    int32_t orderPosition;  // index into the order list
    int32_t row;
};
SongRow nextRowToPlay(const Playback& playback);

// The row-tick and other-tick passes over all channels; called only by sequencerTick.
void processRow(Playback& playback);
void processTick(Playback& playback);

// Stores the BPM and the frames per tick it gives: (1000 / f) × rate / 1000 with f = BPM × 2 / 5
// rounded to single precision first (so BPM 49 gives 2249, not 2250, at 44100). A BPM below 1 counts as 1,
// and at least one frame per tick is kept, so the render loop always advances.
void setBpm(Playback& playback, int32_t bpm);
