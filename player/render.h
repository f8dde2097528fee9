#pragma once
// The render loop: mix up to the next tick boundary, tick, continue. Every output of the player
// (the real-time ring, the library's render calls, the tools) renders the song in blocks of
// kBlockFrames frames from its first frame, so all of them give the same samples: a volume ramp
// or a tick that straddles two blocks continues in the next one exactly as the demo's ring has
// it.
#include <cstdint>

#include "player/mixer.h"

struct Playback;

// 20 ms at 44100 Hz plus 3, down to a multiple of 4 (884 frames): every block starts 16-byte
// aligned in a float mix buffer.
constexpr int32_t kBlockFrames = (kMixRate * 20 / 1000 + 3) / 4 * 4;

// Renders up to `frames` frames into `out` (interleaved stereo floats, added to what is there):
// ticks at their frames, the voices mixed in between, play time advanced per run. Returns the
// frames rendered: `frames`, or fewer once the playback's songEnd says the song ends (then
// `ended` is set and every later call renders 0).
int32_t renderFrames(Playback& playback, float* out, int32_t frames);

// One block: clears `mix` (kBlockFrames stereo floats), renders into it and converts it to
// 16-bit stereo in `pcm`. Returns the frames of the song in it; past the song's end the block is
// silent.
int32_t renderMixBlock(Playback& playback, float* mix, int16_t* pcm);
