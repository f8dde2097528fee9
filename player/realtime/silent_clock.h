#pragma once
// The play position of a device that plays nothing: it advances with the platform's millisecond
// tick count at the mix rate, exactly as a device that plays without pause would. The player
// falls back to it where no audio device opens or where the device goes away, so the song, and
// with it the scenes, go on.
#include <cstdint>

struct SilentClock {
    int32_t  rate;        // frames per second
    uint32_t lastTick;    // ms, the tick count at the last reading
    uint64_t elapsedMs;   // ms since the clock started, summed from unsigned 32-bit steps
    uint64_t startFrame;  // frames already played when the clock started
};

// A clock that reads `framesPlayed` at tick count `tickNow` and goes on from there.
SilentClock startSilentClock(int32_t rate, uint64_t framesPlayed, uint32_t tickNow);

// Frames played by tick count `tickNow`: startFrame + elapsed ms × rate / 1000, rounded down.
// Each step is the unsigned 32-bit difference of the tick counts, so the counter's wrap past
// zero is an ordinary step; the clock must therefore be read at least once every 49.7 days.
uint64_t silentClockFrames(SilentClock& clock, uint32_t tickNow);
