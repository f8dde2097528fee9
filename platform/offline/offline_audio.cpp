#include "platform/offline/offline_audio.h"

#include "platform/audio.h"

OfflineAudio& offlineAudio() {
    static OfflineAudio state{};
    return state;
}

void resetOfflineAudio() {
    OfflineAudio& a = offlineAudio();
    a.refuseOpen = false;
    a.open = false;
    a.started = false;
    a.ring = nullptr;
    a.ringBytes = 0;
    a.position.store(0);
}

bool audioDeviceOpen(const int16_t* ring, uint32_t bytes, int32_t) {
    OfflineAudio& a = offlineAudio();
    if (a.refuseOpen || a.open) return false;
    a.open = true;
    a.started = false;
    a.ring = ring;
    a.ringBytes = bytes;
    a.position.store(0);
    return true;
}

void audioDeviceStart() { offlineAudio().started = true; }

uint32_t audioDevicePosition() { return offlineAudio().position.load(); }

void audioDeviceClose() {
    OfflineAudio& a = offlineAudio();
    a.open = false;
    a.started = false;
    a.ring = nullptr;
}

void platformRaiseThreadPriority() {}
