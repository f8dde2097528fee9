#pragma once
// The render loop: mix up to the next tick boundary, tick, continue. Every output of the player
// (the real-time ring, the library's render calls, the tools) renders the song in blocks of
// about 20 ms from its first frame, so all of them give the same samples: a volume ramp or a tick
// that straddles two blocks continues in the next one exactly as the demo's ring has it.
#include <cstdint>

#include "player/mix/mixer.h"

struct Playback;

// Frames of one block at `rate`: 20 ms plus 3, down to a multiple of 4, so every block starts
// 16-byte aligned in a float mix buffer. 884 at 44100, 960 at 48000, 160 at 8000.
constexpr int32_t blockFramesAt(int32_t rate) { return (rate * 20 / 1000 + 3) / 4 * 4; }

// The demo's block: 884 frames at 44100.
constexpr int32_t kBlockFrames = blockFramesAt(kMixRate);

// Renders up to `frames` frames into `out` (interleaved stereo floats, added to what is there):
// ticks at their frames, the voices mixed in between, play time advanced per run. Returns the
// frames rendered: `frames`, or fewer once the playback's songEnd says the song ends (then
// `ended` is set and every later call renders 0).
int32_t renderFrames(Playback& playback, float* out, int32_t frames);

// The same without mixing: the ticks run and the voices move exactly as renderFrames would run
// and move them (split into the same runs), but nothing is summed. A render that goes on from
// here gives the frames an unbroken render gives.
int32_t skipFrames(Playback& playback, int32_t frames);

// One block of kBlockFrames frames: clears `mix`, renders into it and converts it to 16-bit
// stereo in `pcm`. Returns the frames of the song in it; past the song's end the block is silent.
int32_t renderMixBlock(Playback& playback, float* mix, int16_t* pcm);
