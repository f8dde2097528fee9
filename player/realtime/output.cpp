#include "player/realtime/output.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/audio.h"
#include "platform/platform.h"
#include "player/render.h"
#include "player/sequencer.h"
#include "player/xmplayer_module.h"

void renderBlock(RealtimePlayer& p) {
    const int32_t b = p.writeBlock.load();
    const size_t first = size_t(b) * size_t(p.blockFrames) * 2;
    renderMixBlock(p.playback, p.mixBuffer + first, p.outputBuffer + first);
    // Release: a reader that sees one of these values also sees that readBlock has moved past b
    // (feedPlayer moves it first), and so knows the record is no longer the audible one.
    SyncRecord& record = p.syncRecords[b];
    record.orderPosition.store(uint8_t(p.playback.orderPosition), std::memory_order_release);
    record.row.store(uint8_t(p.playback.row), std::memory_order_release);
    record.playTimeMs.store(p.playback.playTimeMs, std::memory_order_release);
    p.writeBlock.store(b + 1 == p.blockCount ? 0 : b + 1);
}

// From here on the silent clock plays, from `framesPlayed` on: the song goes on where the device
// left it, with no jump.
static void playSilently(RealtimePlayer& p, const char* reason, uint64_t framesPlayed) {
    std::snprintf(p.silenceReason, sizeof p.silenceReason, "%s", reason);
    p.silentClock = startSilentClock(kMixRate, framesPlayed, platformTickCount());
    p.silent.store(true, std::memory_order_release);
}

// Frames played since the start: the device's, or the silent clock's once the device has
// stopped. The device's 32-bit byte count wraps every 6.8 hours, which is no whole number of
// rings, so only its steps are taken (the unsigned difference since the last poll, far below
// 2^32) and summed in 64 bits.
static uint64_t framesPlayed(RealtimePlayer& p) {
    // A pause of the silent clock, applied on the thread that reads it.
    const bool pause = p.pauseRequested.load(std::memory_order_acquire);
    if (pause != p.paused && p.silent.load(std::memory_order_relaxed)) {
        const uint32_t asked = p.pauseTick.load(std::memory_order_relaxed);
        if (pause) p.pausedFrames = silentClockFrames(p.silentClock, asked);
        else p.silentClock = startSilentClock(kMixRate, p.pausedFrames, asked);
    }
    p.paused = pause;
    if (p.paused && p.silent.load(std::memory_order_relaxed)) return p.pausedFrames;
    if (!p.silent.load(std::memory_order_relaxed)) {
        const char* reason = "";
        uint32_t bytes = 0;
        if (audioDevicePosition(bytes, &reason)) {
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
    return silentClockFrames(p.silentClock, platformTickCount());
}

const char* playerSilenceReason(const RealtimePlayer& p) {
    return p.silent.load(std::memory_order_acquire) ? p.silenceReason : nullptr;
}

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

static void runFeeder(void* player) {
    RealtimePlayer& p = *static_cast<RealtimePlayer*>(player);
    platformRaiseThreadPriority();
    while (!p.stopRequested.load()) {
        feedPlayer(p);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    p.feederEnded.store(true);
}

void stopPlayer(RealtimePlayer& p) {
    p.stopRequested.store(true);
    while (p.rendering.load()) {
    }
    if (p.feeder.joinable()) platformJoinThread(p.feeder);  // returns once the thread has set feederEnded
    p.feederEnded.store(true);
    if (p.deviceOpen) audioDeviceClose();
    p.deviceOpen = false;
    p.silent.store(false);
    p.pauseRequested.store(false);
    p.paused = false;
    delete[] p.mixBufferMemory;
    delete[] p.outputBuffer;
    delete[] p.syncRecords;
    p.mixBufferMemory = nullptr;
    p.mixBuffer = nullptr;
    p.outputBuffer = nullptr;
    p.syncRecords = nullptr;
    p.playback.module = nullptr;
    p.writeBlock.store(0);
    p.readBlock.store(0);
    p.framesHeard.store(0);
}

PlayerStart startPlayer(RealtimePlayer& p, const Module* module, bool feederThread, const PlaybackProfile& profile) {
    stopPlayer(p);
    if (!module) return PlayerStart::refused;

    p.blockFrames = kBlockFrames;
    p.ringFrames = (kBufferLengthMs / 20) * p.blockFrames * 2;
    p.blockCount = p.ringFrames / p.blockFrames;
    startPlayback(p.playback, *module, profile);

    p.syncRecords = new SyncRecord[p.blockCount]();
    p.outputBuffer = new int16_t[size_t(p.ringFrames) * 2]();
    const char* reason = "";
    p.deviceOpen = audioDeviceOpen(p.outputBuffer, uint32_t(p.ringFrames) * 4, kMixRate, &reason);

    // 16-byte alignment of the float image: 8 bytes per frame plus 256 spare bytes.
    p.mixBufferMemory = new float[size_t(p.ringFrames) * 2 + 64]();
    const uintptr_t address = reinterpret_cast<uintptr_t>(p.mixBufferMemory);
    p.mixBuffer = reinterpret_cast<float*>((address + 15) & ~uintptr_t(15));

    do renderBlock(p);
    while (p.writeBlock.load() != 0);

    // The device starts, or the silent clock in its place, at the same moment: the ring's first
    // block plays now. The device's count before it starts is its zero.
    p.bytesPlayed = 0;
    if (p.deviceOpen && audioDevicePosition(p.deviceBytes, &reason))
        audioDeviceStart();
    else
        playSilently(p, reason, 0);
    p.stopRequested.store(false);
    if (!feederThread) return PlayerStart::playing;
    p.feederEnded.store(false);
    if (platformStartThread(p.feeder, runFeeder, &p)) return PlayerStart::playing;
    p.feederEnded.store(true);
    return PlayerStart::withoutFeeder;
}

uint64_t getPlayedFrames(const RealtimePlayer& p) { return p.framesHeard.load(std::memory_order_relaxed); }

PlayerStart startPlayer(RealtimePlayer& p, const xmplayer_module* module, bool feederThread, xmplayer_profile profile) {
    const Module* m = xmplayerModule(module);
    const ProfileEntry* entry = m ? findProfile(int32_t(profile), m->format) : nullptr;
    return startPlayer(p, m, feederThread, entry ? entry->switches : defaultProfile);
}

void pausePlayer(RealtimePlayer& p, bool paused) {
    if (!p.syncRecords) return;
    p.pauseTick.store(platformTickCount(), std::memory_order_relaxed);
    p.pauseRequested.store(paused, std::memory_order_release);
    if (p.deviceOpen) audioDevicePause(paused);
}


PlayPosition getPlayPosition(const RealtimePlayer& p) {
    if (!p.syncRecords) return {0, 0, 0};
    // A record read while the feeder got to it (this thread paused between the reads) is read
    // again from the block that is audible now.
    for (;;) {
        const int32_t block = p.readBlock.load();
        const SyncRecord& r = p.syncRecords[block];
        const PlayPosition position{r.orderPosition.load(std::memory_order_acquire), r.row.load(std::memory_order_acquire),
                                    r.playTimeMs.load(std::memory_order_acquire)};
        if (p.readBlock.load() == block) return position;
    }
}

int32_t getSongPosition(const RealtimePlayer& p) { return getPlayPosition(p).orderPosition; }
