// The feeder: where the device has got to (or the silent clock, where no device plays), and the
// blocks behind it rendered again, every 5 ms on its own thread or whenever the caller polls.
#include <chrono>
#include <cstdio>
#include <thread>

#include "player/realtime/realtime_player.h"

void playSilently(RealtimePlayer& p, const char* reason, uint64_t framesPlayed) {
    std::snprintf(p.silenceReason, sizeof p.silenceReason, "%s", reason);
    p.silentClock = startSilentClock(XMPLAYER_RATE, framesPlayed, p.services.tickCount());
    p.silent.store(true, std::memory_order_release);
}

// The device's 32-bit byte count wraps every 6.8 hours, which is no whole number of rings, so
// only its steps are taken (the unsigned difference since the last poll, far below 2^32) and
// summed in 64 bits.
uint64_t framesPlayed(RealtimePlayer& p) {
    // A pause of the silent clock, applied on the thread that reads it.
    const bool pause = p.pauseRequested.load(std::memory_order_acquire);
    if (pause != p.paused && p.silent.load(std::memory_order_relaxed)) {
        const uint32_t asked = p.pauseTick.load(std::memory_order_relaxed);
        if (pause) p.pausedFrames = silentClockFrames(p.silentClock, asked);
        else p.silentClock = startSilentClock(XMPLAYER_RATE, p.pausedFrames, asked);
    }
    p.paused = pause;
    if (p.paused && p.silent.load(std::memory_order_relaxed)) return p.pausedFrames;
    if (!p.silent.load(std::memory_order_relaxed)) {
        const char* reason = "";
        uint32_t bytes = 0;
        if (p.services.devicePosition(p.device, &bytes, &reason)) {
            p.bytesPlayed += uint32_t(bytes - p.deviceBytes);
            p.deviceBytes = bytes;
            return p.bytesPlayed / 4;
        }
        playSilently(p, reason, p.bytesPlayed / 4);
        if (p.paused) {
            p.pausedFrames = p.bytesPlayed / 4;
            return p.pausedFrames;
        }
    }
    return silentClockFrames(p.silentClock, p.services.tickCount());
}

const char* playerSilenceReason(const RealtimePlayer& p) {
    return p.silent.load(std::memory_order_acquire) ? p.silenceReason : nullptr;
}

uint64_t getPlayedFrames(const RealtimePlayer& p) { return p.framesHeard.load(std::memory_order_relaxed); }

void feedPlayer(RealtimePlayer& p) {
    if (!p.syncRecords) return;
    const uint64_t frames = framesPlayed(p);
    p.framesHeard.store(frames, std::memory_order_relaxed);
    const int32_t playingBlock = int32_t(frames % uint64_t(p.ringFrames)) / p.blockFrames;
    while (p.writeBlock.load() != playingBlock && !p.stopRequested.load()) {
        p.rendering.store(true);
        // The block about to be rewritten has been played: readers move on to the next one before
        // its record is replaced by music a whole ring ahead, which they would otherwise show
        // for a moment and then go back from.
        const int32_t next = p.readBlock.load() + 1;
        p.readBlock.store(next == p.blockCount ? 0 : next);
        renderBlock(p);
        p.rendering.store(false);
    }
}

void runFeeder(void* player) {
    RealtimePlayer& p = *static_cast<RealtimePlayer*>(player);
    p.services.raiseThreadPriority();
    while (!p.stopRequested.load()) {
        feedPlayer(p);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    p.feederEnded.store(true);
}
