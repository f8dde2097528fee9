#include "platform/offline/offline_audio.h"

#include "platform/audio.h"

OfflineAudio& offlineAudio() {
    static OfflineAudio state{};
    return state;
}

void resetOfflineAudio() {
    OfflineAudio& a = offlineAudio();
    a.refuseOpen = false;
    a.startPosition = 0;
    a.open = false;
    a.started = false;
    a.ring = nullptr;
    a.ringBytes = 0;
    a.position.store(0);
    a.removed.store(false);
    a.paused.store(false);
}

bool audioDeviceOpen(const int16_t* ring, uint32_t bytes, int32_t, const char** reason) {
    OfflineAudio& a = offlineAudio();
    if (a.refuseOpen || a.open) {
        *reason = a.open ? "already open" : "the offline device refuses to open";
        return false;
    }
    a.open = true;
    a.started = false;
    a.ring = ring;
    a.ringBytes = bytes;
    a.position.store(a.startPosition);
    a.removed.store(false);
    return true;
}

void audioDeviceStart() { offlineAudio().started = true; }

void audioDevicePause(bool paused) { offlineAudio().paused.store(paused); }

bool audioDevicePosition(uint32_t& bytes, const char** reason) {
    const OfflineAudio& a = offlineAudio();
    bytes = a.position.load();
    if (a.removed.load()) {
        *reason = "the offline device was removed";
        return false;
    }
    return true;
}

void audioDeviceClose() {
    OfflineAudio& a = offlineAudio();
    a.open = false;
    a.started = false;
    a.ring = nullptr;
}

void platformRaiseThreadPriority() {}
