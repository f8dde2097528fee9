#pragma once
// The real-time layer: a playback of one song made audible through the platform's audio device.
// The looping ring of 100 blocks of 884 frames is pre-rendered at start and refilled behind the
// device's play position by the feeder thread (or by the caller, where no thread runs), and each
// block's song position is recorded, so the pictures follow the block that is audible now.
// Built on the same playback and render loop as every other output of the player.
#include <atomic>
#include <cstdint>

#include "player/realtime/silent_clock.h"
#include "platform/thread.h"
#include "player/playback.h"
#include "player/profile.h"
#include "xmplayer.h"

struct Module;

// The song position reached when a block's rendering was complete. Written by the feeder while
// the host reads it: each field is read whole, old or new.
struct SyncRecord {
    std::atomic<uint8_t> orderPosition;  // low byte of the playback's orderPosition
    std::atomic<uint8_t> row;            // low byte of the playback's row
    std::atomic<int32_t> playTimeMs;     // the playback's playTimeMs
};

constexpr int32_t kBufferLengthMs = 1000;  // the ring holds twice this

// One song playing through the device. Made once and kept in place (the feeder thread holds its
// address); a new start replaces what played before.
struct RealtimePlayer {
    // Derived by startPlayer.
    int32_t blockFrames;        // kBlockFrames: 884
    int32_t ringFrames;         // 88400 (2.0045 s)
    int32_t blockCount;         // 100

    Playback    playback;       // the song's playback; its module is nullptr while stopped
    int16_t*    outputBuffer;   // ringFrames stereo int16 frames: the looping device buffer
    float*      mixBuffer;      // ringFrames stereo float frames, 16-byte aligned
    float*      mixBufferMemory;
    SyncRecord* syncRecords;    // blockCount, one per block
    bool        deviceOpen;

    // Where the play position comes from: the device, or the silent clock where none opened or
    // the device went away. The feeder switches; the host reads `silent` and then the reason.
    uint64_t          bytesPlayed;         // since the start, summed from the device's steps
    std::atomic<uint64_t> framesHeard;     // frames played at the feeder's last poll
    uint32_t          deviceBytes;         // the device's own count at the last poll
    SilentClock       silentClock;         // frames, once `silent`
    std::atomic<bool> silent;              // no device plays: the silent clock stands in
    char              silenceReason[256];  // why, in the system's words; set before `silent`
    std::atomic<bool>     pauseRequested;  // set by pausePlayer; the feeder's poll applies it
    std::atomic<uint32_t> pauseTick;       // the tick count when it was asked for
    bool              paused;              // the silent clock stands still (feeder's side)
    uint64_t          pausedFrames;        // where it stands

    std::atomic<int32_t> writeBlock;     // next block to render
    std::atomic<int32_t> readBlock;      // block whose record getSongPosition returns
    std::atomic<bool>    stopRequested;  // ends the feeder thread
    std::atomic<bool>    rendering;      // the feeder is inside renderBlock
    std::atomic<bool>    feederEnded;    // no feeder runs its loop
    PlatformThread       feeder;         // no handle while no feeder thread is started
};

// What startPlayer achieved.
enum class PlayerStart {
    refused,        // no module: nothing plays
    playing,        // the ring plays, on the device or the silent clock, and the feeder thread
                    // refills it (or the caller, where it asked for no thread)
    withoutFeeder,  // the ring plays, but no feeder thread could start: the caller must refill it
                    // with feedPlayer, at least once a second (the ring holds 2 s)
};

// Starts playing the module from its beginning: stops what played before, opens the device,
// pre-renders the whole ring on this thread, starts the device and, with `feederThread`, the
// feeder thread at time-critical priority. Without it the caller drives feedPlayer itself (the
// offline tools). `profile` decides how the song is played (the demo's own player by default).
// Where no device opens, the song plays silently on the silent clock (see playerSilenceReason).
// The module must stay loaded until stopPlayer.
PlayerStart startPlayer(RealtimePlayer& player, const Module* module, bool feederThread = true,
                        const PlaybackProfile& profile = defaultProfile);

// The same for a module loaded through the library's C interface, with its profile.
PlayerStart startPlayer(RealtimePlayer& player, const xmplayer_module* module, bool feederThread,
                        xmplayer_profile profile);

// Why the player plays silently (no device opened, or the device went away), or nullptr while
// a device plays or nothing does. Safe to call from any thread.
const char* playerSilenceReason(const RealtimePlayer& player);

// Stops whatever is playing (feeder thread, device, buffers); nothing when nothing plays.
void stopPlayer(RealtimePlayer& player);

// The order position of the block audible now, 0…255; 0 while nothing plays.
int32_t getSongPosition(const RealtimePlayer& player);

// The whole record of the block audible now: order position, row and play time.
struct PlayPosition {
    int32_t orderPosition;  // 0…255
    int32_t row;            // 0…255
    int32_t playTimeMs;
};
PlayPosition getPlayPosition(const RealtimePlayer& player);

// Frames played since the start, as the feeder last polled the device (or the silent clock).
uint64_t getPlayedFrames(const RealtimePlayer& player);

// Holds the sound where it is, or goes on: the device pauses (or the silent clock stands still),
// so the song position stands too. Nothing happens while nothing plays.
void pausePlayer(RealtimePlayer& player, bool paused);

// Renders block writeBlock of the ring: ticks and mixing, its sync record, its 16-bit image.
void renderBlock(RealtimePlayer& player);

// One poll of the feeder: re-renders every block behind the device's play position.
void feedPlayer(RealtimePlayer& player);
