#pragma once
// Where a song ends: the first time the player is about to play a row it has already played, at
// the same order position and row with the same pattern loops running. A jump back, a jump to its
// own row, a break to the row it is on and the end of the order list all end a song this way; the
// repeats of a pattern loop (E6y) do not, since its loop count differs on every pass.
#include <cstdint>
#include <set>
#include <vector>

#include "player/profile.h"

struct Module;
struct Playback;

// The rows played since the song, or its latest pass, began.
struct SongEnd {
    // Order position and row, then channel, loop row and loop count of every channel whose
    // pattern loop runs (loop count not 0), as they stood when the row was about to be played. A
    // loop row without a running loop is left out: the next E60 sets it anew, and keeping it would
    // make a whole song after an E60 look unplayed on its second pass.
    std::set<std::vector<int32_t>> playedRows;
    int32_t                        passesLeft;  // passes still to come after this one
};

// A record for a song played `loops` + 1 times, from its first row.
SongEnd startSongEnd(int32_t loops);

// Call just before each tick of the playback (the render loop does, where a playback has a
// songEnd). True when this is the row tick at which the song ends for the last time: playing
// stops at the first frame of this tick. At an earlier pass's end the record starts again from
// this row.
bool songEndsHere(SongEnd& end, const Playback& playback);

struct SongLength {
    int64_t frames;  // output frames (at the rate asked for) before the row tick that ends the song
    bool    ended;   // false: the limit came first, and `frames` is the limit
};

// At most this many ticks are run to measure a song or find a row in it: 23 hours at BPM 125.
constexpr int64_t kMaxTicks = int64_t(1) << 22;

// How long the module plays, from its beginning, `loops` + 1 times, as a playback of `profile`
// at `rate` plays it: the ticks of a playback of its own run without mixing and their frames are
// counted as the render loop counts them, up to `maxFrames` (or kMaxTicks ticks: then
// `maxFrames` too, not ended).
SongLength measureSongLength(const Module& module, int32_t loops, int64_t maxFrames,
                             const PlaybackProfile& profile = defaultProfile, int32_t rate = 44100);

// The frame at which a playback of `profile` at `rate`, played from the module's beginning
// `loops` + 1 times, first plays row `row` of order-list entry `order` (the first frame of its
// row tick), counted as measureSongLength counts; −1 when the song ends first or `maxFrames` (or
// kMaxTicks) is passed.
int64_t findRowFrame(const Module& module, int32_t order, int32_t row, int32_t loops, int64_t maxFrames,
                     const PlaybackProfile& profile, int32_t rate);
