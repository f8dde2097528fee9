#pragma once
// The offline audio device: plays nothing; its play position is whatever the caller sets. Tools
// render through it block by block with the same code path as the live demo, and tests move its
// position from another thread to drive a real feeder.
#include <atomic>
#include <cstdint>

struct OfflineAudio {
    bool                  refuseOpen;  // set by a test: the next open fails
    bool                  open;
    bool                  started;
    const int16_t*        ring;
    uint32_t              ringBytes;
    std::atomic<uint32_t> position;    // bytes "played"; set by the caller
};

OfflineAudio& offlineAudio();

// Closed, position 0, opening allowed.
void resetOfflineAudio();
