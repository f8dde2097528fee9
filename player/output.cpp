#include "player/output.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/audio.h"
#include "platform/platform.h"
#include "player/mixer.h"
#include "player/module.h"
#include "player/sequencer.h"
#include "player/stream.h"

PlayerState& player() {
    static PlayerState state{};
    return state;
}

void setBpm(Module& m, int32_t bpm) {
    m.bpm = bpm;
    const float f = static_cast<float>((bpm < 1 ? 1 : bpm) * 2.0 / 5.0);
    const int32_t frames = static_cast<int32_t>((1000.0 / f) * kMixRate / 1000.0);
    m.framesPerTick = frames < 1 ? 1 : frames;
}

void renderBlock() {
    PlayerState& p = player();
    Module& m = *p.playing;
    const int32_t b = p.writeBlock.load();
    float* slice = p.mixBuffer + size_t(b) * p.blockFrames * 2;
    std::memset(slice, 0, sizeof(float) * 2 * size_t(p.blockFrames));

    // Mix up to the next tick boundary, tick, continue; a tick may straddle two blocks.
    int32_t done = 0;
    int32_t left = m.framesLeftInTick;
    while (done < p.blockFrames) {
        if (left == 0) {
            m.tickCallback(m);
            left = m.framesPerTick;
        }
        const int32_t n = left < p.blockFrames - done ? left : p.blockFrames - done;
        mixVoices(slice + 2 * done, n);
        p.framesMixed += n;
        // Wraps after 2^31 ms (24.8 days of playing) instead of overflowing.
        m.playTimeMs = int32_t(uint32_t(m.playTimeMs) +
                               uint32_t(static_cast<int32_t>(double(n) * double(p.mixRateReciprocal) * 1000.0)));
        done += n;
        left -= n;
    }
    // Release: a reader that sees one of these values also sees that readBlock has moved past b
    // (feedPlayer moves it first), and so knows the record is no longer the audible one.
    SyncRecord& record = p.syncRecords[b];
    record.orderPosition.store(uint8_t(m.orderPosition), std::memory_order_release);
    record.row.store(uint8_t(m.row), std::memory_order_release);
    record.playTimeMs.store(m.playTimeMs, std::memory_order_release);
    m.framesLeftInTick = left;
    floatToPcm16(p.outputBuffer + size_t(b) * p.blockFrames * 2, slice, p.blockFrames);
    p.writeBlock.store(b + 1 == p.blockCount ? 0 : b + 1);
}

// From here on the silent clock plays, from `framesPlayed` on: the song goes on where the device
// left it, with no jump.
static void playSilently(PlayerState& p, const char* reason, uint64_t framesPlayed) {
    std::snprintf(p.silenceReason, sizeof p.silenceReason, "%s", reason);
    p.silentClock = startSilentClock(kMixRate, framesPlayed, platformTickCount());
    p.silent.store(true, std::memory_order_release);
}

// Frames played since the start: the device's, or the silent clock's once the device has
// stopped. The device's 32-bit byte count wraps every 6.8 hours, which is no whole number of
// rings, so only its steps are taken (the unsigned difference since the last poll, far below
// 2^32) and summed in 64 bits.
static uint64_t framesPlayed(PlayerState& p) {
    if (!p.silent.load(std::memory_order_relaxed)) {
        const char* reason = "";
        uint32_t bytes = 0;
        if (audioDevicePosition(bytes, &reason)) {
            p.bytesPlayed += uint32_t(bytes - p.deviceBytes);
            p.deviceBytes = bytes;
            return p.bytesPlayed / 4;
        }
        playSilently(p, reason, p.bytesPlayed / 4);
    }
    return silentClockFrames(p.silentClock, platformTickCount());
}

const char* playerSilenceReason() {
    const PlayerState& p = player();
    return p.silent.load(std::memory_order_acquire) ? p.silenceReason : nullptr;
}

void feedPlayer() {
    PlayerState& p = player();
    const int32_t playingBlock = int32_t(framesPlayed(p) % uint64_t(p.ringFrames)) / p.blockFrames;
    while (p.writeBlock.load() != playingBlock && !p.stopRequested.load()) {
        p.rendering.store(true);
        // The block about to be rewritten has been played: readers move on to the next one before
        // its record is replaced by music a whole ring ahead, which they would otherwise show
        // for a moment and then go back from.
        const int32_t next = p.readBlock.load() + 1;
        p.readBlock.store(next == p.blockCount ? 0 : next);
        renderBlock();
        p.rendering.store(false);
    }
}

static void feederThread() {
    PlayerState& p = player();
    platformRaiseThreadPriority();
    while (!p.stopRequested.load()) {
        feedPlayer();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    p.feederEnded.store(true);
}

bool stopPlayer(Module* module) {
    if (!module) return false;
    PlayerState& p = player();
    p.stopRequested.store(true);
    while (p.rendering.load()) {
    }
    if (p.feeder.joinable()) platformJoinThread(p.feeder);  // returns once the thread has set feederEnded
    p.feederEnded.store(true);
    if (p.deviceOpen) audioDeviceClose();
    p.deviceOpen = false;
    p.silent.store(false);
    delete[] p.mixBufferMemory;
    delete[] p.outputBuffer;
    delete[] p.syncRecords;
    p.mixBufferMemory = nullptr;
    p.mixBuffer = nullptr;
    p.outputBuffer = nullptr;
    p.syncRecords = nullptr;
    p.playing = nullptr;
    p.writeBlock.store(0);
    p.readBlock.store(0);
    return true;
}

void resetPlayback(Module& m, const PlaybackProfile& profile) {
    resetMixer(kMixRate);
    resetChannels();
    sequencer().profile = profile;
    m.nextOrder = -1;
    m.nextRow = -1;
    m.globalVolume = m.initialGlobalVolume;
    m.tempo = m.defaultTempo;
    m.row = 0;
    m.orderPosition = 0;
    m.framesLeftInTick = 0;
    m.tick = 0;
    m.patternDelayTicks = 0;
    m.playTimeMs = 0;
    setBpm(m, m.defaultBpm);
}

PlayerStart startPlayer(Module* module, bool feederThread, const PlaybackProfile& profile) {
    if (!module) return PlayerStart::refused;
    stopPlayer(module);
    if (!streamCallbacksInstalled()) return PlayerStart::refused;

    PlayerState& p = player();
    p.blockFrames = (kMixRate * 20 / 1000 + 3) / 4 * 4;
    p.ringFrames = (kBufferLengthMs / 20) * p.blockFrames * 2;
    p.blockCount = p.ringFrames / p.blockFrames;
    p.mixRateReciprocal = 1.0f / static_cast<float>(kMixRate);
    resetPlayback(*module, profile);

    p.playing = module;
    p.framesMixed = 0;
    p.syncRecords = new SyncRecord[p.blockCount]();
    p.outputBuffer = new int16_t[size_t(p.ringFrames) * 2]();
    const char* reason = "";
    p.deviceOpen = audioDeviceOpen(p.outputBuffer, uint32_t(p.ringFrames) * 4, kMixRate, &reason);

    // 16-byte alignment of the float image: 8 bytes per frame plus 256 spare bytes.
    p.mixBufferMemory = new float[size_t(p.ringFrames) * 2 + 64]();
    const uintptr_t address = reinterpret_cast<uintptr_t>(p.mixBufferMemory);
    p.mixBuffer = reinterpret_cast<float*>((address + 15) & ~uintptr_t(15));

    do renderBlock();
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
    if (platformStartThread(p.feeder, ::feederThread)) return PlayerStart::playing;
    p.feederEnded.store(true);
    return PlayerStart::withoutFeeder;
}

int32_t getSongPosition(const Module* module) {
    const PlayerState& p = player();
    if (!module || !p.syncRecords) return 0;
    // A record read while the feeder got to it (this thread paused between the two reads) is
    // read again from the block that is audible now.
    for (;;) {
        const int32_t block = p.readBlock.load();
        const int32_t position = p.syncRecords[block].orderPosition.load(std::memory_order_acquire);
        if (p.readBlock.load() == block) return position;
    }
}
