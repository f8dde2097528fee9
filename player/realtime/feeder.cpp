// The feeder: where the device has got to (or the silent clock, where no device plays), and the
// blocks behind it rendered again, every 5 ms on its own thread or whenever the caller polls.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "player/realtime/realtime_player.h"

void playSilently(RealtimePlayer& p, const char* reason, uint64_t framesPlayed) {
    std::snprintf(p.silenceReason, sizeof p.silenceReason, "%s", reason);
    p.silentClock = startSilentClock(XMPLAYER_RATE, framesPlayed, p.services.tickCount());
    p.silent.store(true, std::memory_order_release);
}

// The song frames the device has played: its own frames and the lead of the last hand-back.
static uint64_t deviceFrames(const RealtimePlayer& p) { return uint64_t(int64_t(p.bytesPlayed / 4) + p.deviceLead); }

uint64_t handBackToDevice(RealtimePlayer& p, uint64_t heard, uint32_t deviceBytes) {
    p.bytesPlayed += uint32_t(deviceBytes - p.deviceBytes);
    p.deviceBytes = deviceBytes;
    const uint64_t frames = uint64_t(p.blockFrames), blocks = uint64_t(p.blockCount);
    const uint64_t device = p.bytesPlayed / 4;
    const uint64_t next = device % uint64_t(p.ringFrames);  // the ring frame the device plays next
    // The song's block the device takes over in: the one the silent clock is in, or the next one
    // where the device stood earlier in its block than the clock is in its own.
    const uint64_t block = heard / frames + (next % frames < heard % frames ? 1 : 0);
    const uint64_t position = block * frames + next % frames;
    const int32_t turn = int32_t((next / frames + blocks - block % blocks) % blocks);
    // Block j of the device's ring moves to block j + (turn − ringTurn): the music stays in the
    // song's order, now starting at the block the device plays next.
    const size_t shift = size_t((turn - p.ringTurn + p.blockCount) % p.blockCount) * size_t(p.blockFrames) * 2;
    const size_t ring = size_t(p.ringFrames) * 2;
    std::rotate(p.outputBuffer, p.outputBuffer + (ring - shift) % ring, p.outputBuffer + ring);
    p.ringTurn = turn;
    p.deviceLead = int64_t(position) - int64_t(device);
    p.silent.store(false, std::memory_order_release);
    p.services.pauseDevice(p.device, false);
    return position;
}

// Frames played since the start: the device's, or the silent clock's while the device is quiet
// (until it plays again and takes the song back). The device's 32-bit byte count wraps every 6.8
// hours, which is no whole number of rings, so only its steps are taken (the unsigned difference
// since the last poll, far below 2^32) and summed in 64 bits.
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
    const char* reason = "";
    uint32_t bytes = 0;
    if (!p.silent.load(std::memory_order_relaxed)) {
        if (p.services.devicePosition(p.device, &bytes, &reason)) {
            p.bytesPlayed += uint32_t(bytes - p.deviceBytes);
            p.deviceBytes = bytes;
            return deviceFrames(p);
        }
        // Held where it went quiet, so that it plays nothing stale should it come back.
        p.services.pauseDevice(p.device, true);
        playSilently(p, reason, deviceFrames(p));
        if (p.paused) {
            p.pausedFrames = deviceFrames(p);
            return p.pausedFrames;
        }
        return silentClockFrames(p.silentClock, p.services.tickCount());
    }
    const uint64_t heard = silentClockFrames(p.silentClock, p.services.tickCount());
    // A device that went quiet is asked at every poll: once it answers again, it takes over.
    if (p.deviceStarted && p.services.devicePosition(p.device, &bytes, &reason)) return handBackToDevice(p, heard, bytes);
    return heard;
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
