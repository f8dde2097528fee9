#pragma once
// Audio output and player control: the looping ring of 100 blocks of 884 frames, pre-rendered at
// start and refilled behind the device's play position by the feeder thread, and the per-block
// song position the pictures follow.
#include <atomic>
#include <cstdint>

#include "platform/silent_clock.h"
#include "platform/thread.h"
#include "player/profile.h"

struct Module;

// The song position reached when a block's rendering was complete. Written by the feeder while
// the host reads it: each field is read whole, old or new.
struct SyncRecord {
    std::atomic<uint8_t> orderPosition;  // low byte of the module's orderPosition
    std::atomic<uint8_t> row;            // low byte of the module's row
    std::atomic<int32_t> playTimeMs;     // the module's playTimeMs
};

constexpr int32_t kMixRate = 44100;        // frames per second, output and mixer
constexpr int32_t kBufferLengthMs = 1000;  // the ring holds twice this

struct PlayerState {
    // Derived by startPlayer from the mix rate.
    int32_t blockFrames;        // 884: 20 ms at 44100 Hz plus 3, down to a multiple of 4, so every
                                // block starts 16-byte aligned in the float mix buffer
    int32_t ringFrames;         // 88400 (2.0045 s)
    int32_t blockCount;         // 100
    float   mixRateReciprocal;  // 1 / 44100 as float32: play time runs slightly behind

    Module*     playing;        // the module renderBlock plays; nullptr when stopped
    int16_t*    outputBuffer;   // ringFrames stereo int16 frames: the looping device buffer
    float*      mixBuffer;      // ringFrames stereo float frames, 16-byte aligned
    float*      mixBufferMemory;
    SyncRecord* syncRecords;    // blockCount, one per block
    bool        deviceOpen;
    int64_t     framesMixed;    // frames rendered since startPlayer: a tick runs at this output frame

    // Where the play position comes from: the device, or the silent clock where none opened or
    // the device went away. The feeder switches; the host reads `silent` and then the reason.
    uint64_t          bytesPlayed;         // since the start, summed from the device's steps
    uint32_t          deviceBytes;         // the device's own count at the last poll
    SilentClock       silentClock;         // frames, once `silent`
    std::atomic<bool> silent;              // no device plays: the silent clock stands in
    char              silenceReason[256];  // why, in the system's words; set before `silent`

    std::atomic<int32_t> writeBlock;     // next block to render
    std::atomic<int32_t> readBlock;      // block whose record getSongPosition returns
    std::atomic<bool>    stopRequested;  // ends the feeder thread
    std::atomic<bool>    rendering;      // the feeder is inside renderBlock
    std::atomic<bool>    feederEnded;    // no feeder runs its loop
    PlatformThread       feeder;         // no handle while no feeder thread is started
};

PlayerState& player();

// What startPlayer achieved.
enum class PlayerStart {
    refused,        // no module, or no stream callbacks: nothing plays
    playing,        // the ring plays, on the device or the silent clock, and the feeder thread
                    // refills it (or the caller, where it asked for no thread)
    withoutFeeder,  // the ring plays, but no feeder thread could start: the caller must refill it
                    // with feedPlayer, at least once a second (the ring holds 2 s)
};

// Starts playing the module from its beginning: stops what played before, opens the device,
// pre-renders the whole ring on this thread, starts the device and, with `feederThread`, the
// feeder thread at time-critical priority. Without it the caller drives feedPlayer itself (the
// offline tools). `profile` decides how the song is played (the demo's own player by default).
// Where no device opens, the song plays silently on the silent clock (see
// playerSilenceReason).
PlayerStart startPlayer(Module* module, bool feederThread = true, const PlaybackProfile& profile = defaultProfile);

// Why the player plays silently (no device opened, or the device went away), or nullptr while
// a device plays or nothing does. Safe to call from any thread.
const char* playerSilenceReason();

// The voices, the channels and the module's playback fields as they stand when a song starts
// from its beginning (order 0, row 0, default tempo and BPM). startPlayer does this; tests that
// drive the sequencer by hand call it themselves. The sequencer plays by `profile` from then on.
void resetPlayback(Module& module, const PlaybackProfile& profile = defaultProfile);

// Stops whatever is playing (feeder thread, device, buffers). False only for a module that is
// nullptr.
bool stopPlayer(Module* module);

// The order position of the block audible now, 0…255; 0 without a module or records.
int32_t getSongPosition(const Module* module);

// Stores the BPM and the frames per tick it gives: (1000 / f) × 44100 / 1000 with f = BPM × 2 / 5
// rounded to single precision first (so BPM 49 gives 2249, not 2250). A BPM below 1 counts as 1,
// and at least one frame per tick is kept, so the render loop always advances.
void setBpm(Module& module, int32_t bpm);

// Renders block writeBlock of the ring: ticks and mixing, its sync record, its 16-bit image.
void renderBlock();

// One poll of the feeder: re-renders every block behind the device's play position.
void feedPlayer();
