// The looping ring: made and rendered at the start, each block rendered again one ring later
// when the device has played it, each with the sync record of the song position it reached.
#include <cstring>
#include <new>

#include "player/realtime/realtime_player.h"

RealtimePlayer* createRealtimePlayer(const RealtimeServices& services) {
    RealtimePlayer* p = new (std::nothrow) RealtimePlayer{};
    if (p) p->services = services;
    return p;
}

void freeRealtimePlayer(RealtimePlayer* player) {
    if (!player) return;
    stopPlayer(*player);
    delete player;
}

void renderBlock(RealtimePlayer& p) {
    const int32_t b = p.writeBlock.load();
    xmplayer_render_s16(p.song, p.outputBuffer + size_t(b) * size_t(p.blockFrames) * 2, size_t(p.blockFrames));
    xmplayer_position reached{};
    xmplayer_get_position(p.song, &reached);
    // Release: a reader that sees one of these values also sees that readBlock has moved past b
    // (feedPlayer moves it first), and so knows the record is no longer the audible one.
    SyncRecord& record = p.syncRecords[b];
    record.orderPosition.store(uint8_t(reached.order), std::memory_order_release);
    record.row.store(uint8_t(reached.row), std::memory_order_release);
    record.playTimeMs.store(reached.time_ms, std::memory_order_release);
    p.framesRendered += p.blockFrames;
    p.writeBlock.store(b + 1 == p.blockCount ? 0 : b + 1);
}

void stopPlayer(RealtimePlayer& p) {
    p.stopRequested.store(true);
    while (p.rendering.load()) {
    }
    if (p.feeder) p.services.joinThread(p.feeder);  // returns once the thread has set feederEnded
    p.feeder = nullptr;
    p.feederEnded.store(true);
    if (p.device) p.services.closeDevice(p.device);
    p.device = nullptr;
    p.silent.store(false);
    p.pauseRequested.store(false);
    p.paused = false;
    xmplayer_free(p.song);
    p.song = nullptr;
    delete[] p.outputBuffer;
    delete[] p.syncRecords;
    p.outputBuffer = nullptr;
    p.syncRecords = nullptr;
    p.framesRendered = 0;
    p.writeBlock.store(0);
    p.readBlock.store(0);
    p.framesHeard.store(0);
}

PlayerStart startPlayer(RealtimePlayer& p, const xmplayer_module* module, xmplayer_profile profile, bool feederThread) {
    stopPlayer(p);
    p.song = xmplayer_create(module, profile);
    if (!p.song) return PlayerStart::refused;
    xmplayer_set_loops(p.song, -1);

    p.blockFrames = XMPLAYER_BLOCK_FRAMES;
    p.ringFrames = (kBufferLengthMs / 20) * p.blockFrames * 2;
    p.blockCount = p.ringFrames / p.blockFrames;
    p.syncRecords = new SyncRecord[size_t(p.blockCount)]();
    p.outputBuffer = new int16_t[size_t(p.ringFrames) * 2]();
    const char* reason = "";
    p.device = p.services.openDevice(p.outputBuffer, uint32_t(p.ringFrames) * 4, XMPLAYER_RATE, &reason);

    do renderBlock(p);
    while (p.writeBlock.load() != 0);

    // The device starts, or the silent clock in its place, at the same moment: the ring's first
    // block plays now. The device's count before it starts is its zero.
    p.bytesPlayed = 0;
    if (p.device && p.services.devicePosition(p.device, &p.deviceBytes, &reason))
        p.services.startDevice(p.device);
    else
        playSilently(p, reason, 0);
    p.stopRequested.store(false);
    if (!feederThread) return PlayerStart::playing;
    p.feederEnded.store(false);
    p.feeder = p.services.startThread(runFeeder, &p);
    if (p.feeder) return PlayerStart::playing;
    p.feederEnded.store(true);
    return PlayerStart::withoutFeeder;
}

void pausePlayer(RealtimePlayer& p, bool paused) {
    if (!p.syncRecords) return;
    p.pauseTick.store(p.services.tickCount(), std::memory_order_relaxed);
    p.pauseRequested.store(paused, std::memory_order_release);
    if (p.device) p.services.pauseDevice(p.device, paused);
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
