#pragma once
// xmplayer's real-time layer (C++): one song made audible through an audio device, on the
// library's C interface. A looping ring of 100 blocks of 884 frames (2.0045 s at 44100 Hz) is
// rendered at the start and refilled behind the device's play position by a feeder thread (or
// by the caller), and each block's song position is recorded when it is rendered, so that a
// program reads the position of the music that is heard now, not of what is being rendered two
// seconds ahead.
//
// The platform's services (the device, a millisecond clock, one thread) are handed in; the layer
// has no globals. Where no device opens, or the device stops for good, the song plays on
// silently at its real pace on a clock of the millisecond count, and the positions go on.
#include <cstdint>

#include "xmplayer.h"

// What the layer needs of the platform it runs on. Every function must be set.
struct RealtimeServices {
    // The audio device: one looping ring of 16-bit stereo frames, played over and over from its
    // start. `openDevice` opens the default output at `rate` frames per second over `bytes` bytes
    // of `ring` (which stays alive until `closeDevice`) and plays nothing yet; it returns the
    // device, or nullptr with `reason` saying why in the system's words.
    void* (*openDevice)(const int16_t* ring, uint32_t bytes, int32_t rate, const char** reason);
    void (*startDevice)(void* device);               // plays the ring from its first byte, for ever
    void (*pauseDevice)(void* device, bool paused);  // holds the play position, or goes on
    // Bytes played since the device opened: a 32-bit count that grows across loops and wraps at
    // 2^32 (it need not start at 0). False once the device has stopped for good (unplugged,
    // removed, failing), with `reason` saying why. Called from the feeder thread.
    bool (*devicePosition)(void* device, uint32_t* bytes, const char** reason);
    void (*closeDevice)(void* device);  // stops playing; the ring may be freed afterwards

    // Milliseconds since any start, wrapping past 2^32.
    uint32_t (*tickCount)();

    // One worker thread: started on body(argument), nullptr where none can start; joined once
    // the body has returned. The feeder asks for time-critical priority for itself.
    void* (*startThread)(void (*body)(void*), void* argument);
    void (*joinThread)(void* thread);
    void (*raiseThreadPriority)();
};

// One song playing through the device. Made once, used from one thread (the feeder thread aside).
struct RealtimePlayer;

// A player that plays nothing yet; nullptr when memory is short. `services` is copied.
RealtimePlayer* createRealtimePlayer(const RealtimeServices& services);

// Stops the player and frees it; nullptr does nothing.
void freeRealtimePlayer(RealtimePlayer* player);

// What startPlayer achieved.
enum class PlayerStart {
    refused,        // no module, or no player could be made of it: nothing plays
    playing,        // the ring plays, on the device or the silent clock, and the feeder thread
                    // refills it (or the caller, where it asked for no thread)
    withoutFeeder,  // the ring plays, but no feeder thread could start: the caller must refill it
                    // with feedPlayer, at least once a second (the ring holds 2 s)
};

// Starts playing `module` from its beginning with `profile`, looping for ever: stops what played
// before, opens the device, renders the whole ring on this thread, starts the device and, with
// `feederThread`, the feeder thread. Without it the caller drives feedPlayer itself. Where no
// device opens the song plays silently on the silent clock (see playerSilenceReason). The module
// must stay loaded until stopPlayer.
PlayerStart startPlayer(RealtimePlayer& player, const xmplayer_module* module, xmplayer_profile profile,
                        bool feederThread = true);

// Why the player plays silently (no device opened, or the device went away), or nullptr while a
// device plays or nothing does. Safe to call from any thread.
const char* playerSilenceReason(const RealtimePlayer& player);

// Stops whatever is playing (feeder thread, device, ring); nothing when nothing plays.
void stopPlayer(RealtimePlayer& player);

// The position of the block audible now, as its sync record holds it: where the song was when
// the block's rendering was complete.
struct PlayPosition {
    int32_t orderPosition;  // 0…255: the low byte of the order-list entry
    int32_t row;            // 0…255
    int32_t playTimeMs;     // the player's play time (xmplayer_position's time_ms)
};
PlayPosition getPlayPosition(const RealtimePlayer& player);  // all 0 while nothing plays

// The order position of the block audible now, 0…255; 0 while nothing plays.
int32_t getSongPosition(const RealtimePlayer& player);

// Frames played since the start, as the feeder last polled the device (or the silent clock).
uint64_t getPlayedFrames(const RealtimePlayer& player);

// Holds the sound where it is, or goes on: the device pauses (or the silent clock stands still),
// so the song position stands too. Nothing happens while nothing plays.
void pausePlayer(RealtimePlayer& player, bool paused);

// One poll of the feeder: renders again every block behind the device's play position. The
// feeder thread calls it every 5 ms; without the thread the caller does.
void feedPlayer(RealtimePlayer& player);
