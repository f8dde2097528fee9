#pragma once
// Inside the real-time layer: the record behind RealtimePlayer, shared by the ring, the feeder
// and their tests.
#include <atomic>
#include <cstdint>

#include "player/realtime/silent_clock.h"
#include "xmplayer_realtime.h"

// The song position reached when a block's rendering was complete. Written by the feeder while
// the host reads it: each field is read whole, old or new.
struct SyncRecord {
    std::atomic<uint8_t> orderPosition;  // low byte of the order-list entry
    std::atomic<uint8_t> row;            // low byte of the row
    std::atomic<int32_t> playTimeMs;     // the player's time_ms
};

inline constexpr int32_t kBufferLengthMs = 1000;  // the ring holds twice this

struct RealtimePlayer {
    RealtimeServices services;

    // Set by startPlayer; the song is nullptr while nothing plays.
    xmplayer*   song;           // renders the ring, looping for ever
    int32_t     blockFrames;    // XMPLAYER_BLOCK_FRAMES: 884
    int32_t     ringFrames;     // 88400 (2.0045 s)
    int32_t     blockCount;     // 100
    int16_t*    outputBuffer;   // ringFrames stereo int16 frames: the looping device buffer
    SyncRecord* syncRecords;    // blockCount, one per block
    void*       device;         // nullptr: none opened

    // Where the play position comes from: the device, or the silent clock where none opened or
    // the device went away. The feeder switches; the host reads `silent` and then the reason.
    uint64_t              bytesPlayed;         // since the start, summed from the device's steps
    std::atomic<uint64_t> framesHeard;         // frames played at the feeder's last poll
    uint32_t              deviceBytes;         // the device's own count at the last poll
    SilentClock           silentClock;         // frames, once `silent`
    std::atomic<bool>     silent;              // no device plays: the silent clock stands in
    char                  silenceReason[256];  // why, in the system's words; set before `silent`
    std::atomic<bool>     pauseRequested;      // set by pausePlayer; the feeder's poll applies it
    std::atomic<uint32_t> pauseTick;           // the tick count when it was asked for
    bool                  paused;              // the silent clock stands still (feeder's side)
    uint64_t              pausedFrames;        // where it stands

    int64_t              framesRendered;  // since the start: blocks rendered × blockFrames
    std::atomic<int32_t> writeBlock;     // next block to render
    std::atomic<int32_t> readBlock;      // block whose record getSongPosition returns
    std::atomic<bool>    stopRequested;  // ends the feeder thread
    std::atomic<bool>    rendering;      // the feeder is inside renderBlock
    std::atomic<bool>    feederEnded;    // no feeder runs its loop
    void*                feeder;         // the feeder thread; nullptr while none is started
};

// Renders block writeBlock of the ring: its frames, its sync record, then writeBlock moves on.
void renderBlock(RealtimePlayer& player);

// Frames played since the start: the device's, or the silent clock's where no device plays. The
// feeder's side of the play position (feeder.cpp).
uint64_t framesPlayed(RealtimePlayer& player);

// The feeder thread's body: feedPlayer every 5 ms until stopRequested.
void runFeeder(void* player);

// From here on the silent clock plays, from `framesPlayed` on: the song goes on where the device
// left it, with no jump.
void playSilently(RealtimePlayer& player, const char* reason, uint64_t framesPlayed);
