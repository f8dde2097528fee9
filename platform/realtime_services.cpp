#include "platform/realtime_services.h"

#include "platform/audio.h"
#include "platform/platform.h"
#include "platform/thread.h"

namespace {

// The backend has one device; its handle is only a token that says it is open.
int openDevice;

void* deviceOpen(const int16_t* ring, uint32_t bytes, int32_t rate, const char** reason) {
    return audioDeviceOpen(ring, bytes, rate, reason) ? &openDevice : nullptr;
}
void deviceStart(void*) { audioDeviceStart(); }
void devicePause(void*, bool paused) { audioDevicePause(paused); }
bool devicePosition(void*, uint32_t* bytes, const char** reason) { return audioDevicePosition(*bytes, reason); }
void deviceClose(void*) { audioDeviceClose(); }

void* threadStart(void (*body)(void*), void* argument) {
    PlatformThread thread{nullptr};
    return platformStartThread(thread, body, argument) ? thread.handle : nullptr;
}
void threadJoin(void* handle) {
    PlatformThread thread{handle};
    platformJoinThread(thread);
}

}  // namespace

RealtimeServices platformRealtimeServices() {
    return {deviceOpen,        deviceStart, devicePause, devicePosition,           deviceClose,
            platformTickCount, threadStart, threadJoin,  platformRaiseThreadPriority};
}
