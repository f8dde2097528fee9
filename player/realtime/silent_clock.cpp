#include "player/realtime/silent_clock.h"

SilentClock startSilentClock(int32_t rate, uint64_t framesPlayed, uint32_t tickNow) {
    return SilentClock{rate, tickNow, 0, framesPlayed};
}

uint64_t silentClockFrames(SilentClock& c, uint32_t tickNow) {
    c.elapsedMs += uint32_t(tickNow - c.lastTick);
    c.lastTick = tickNow;
    // 64 bits: ms × 44100 stays exact for 13 million years.
    return c.startFrame + c.elapsedMs * uint64_t(c.rate) / 1000;
}
