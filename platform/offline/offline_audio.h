#pragma once
// The offline audio device: plays nothing; its play position is whatever the caller sets. Tools
// render through it block by block with the same code path as the live demo, and tests move its
// position from another thread to drive a real feeder, or make it refuse to open or stop.
#include <atomic>
#include <cstdint>

struct OfflineAudio {
    bool                  refuseOpen;     // set by a test: the next open fails
    uint32_t              startPosition;  // bytes; the count the device reports when it opens
    bool                  open;
    bool                  started;
    const int16_t*        ring;
    uint32_t              ringBytes;
    std::atomic<uint32_t> position;       // bytes "played"; set by the caller, wraps at 2^32
    std::atomic<bool>     removed;        // set by the caller: the device does not play (for good,
                                          // or until the caller clears it again)
    std::atomic<bool>     paused;         // audioDevicePause's last word
};

OfflineAudio& offlineAudio();

// Closed, position 0, opening allowed.
void resetOfflineAudio();
