// The audio device on SDL2: a callback that copies the looping ring at its own cursor and counts
// the bytes it has handed over, which is the play position the feeder polls. A device that SDL
// reports stopped while it should play (unplugged, its server gone) has stopped for good.
#include <SDL.h>

#include <atomic>
#include <cstring>

#include "platform/audio.h"

namespace {

struct SdlAudio {
    SDL_AudioDeviceID     device;
    const uint8_t*        ring;
    uint32_t              ringBytes;
    uint32_t              cursor;       // next byte of the ring to hand over; audio thread only
    std::atomic<uint32_t> bytesPlayed;  // grows across loops, wraps at 2^32
    std::atomic<bool>     started;      // unpaused: from then on a stopped device is a lost one
    char                  reason[256];  // why the device could not be opened
};

SdlAudio& audio() {
    static SdlAudio state{};
    return state;
}

void SDLCALL copyFromRing(void*, Uint8* stream, int length) {
    SdlAudio& a = audio();
    uint32_t left = uint32_t(length);
    while (left > 0) {
        const uint32_t n = left < a.ringBytes - a.cursor ? left : a.ringBytes - a.cursor;
        std::memcpy(stream, a.ring + a.cursor, n);
        stream += n;
        left -= n;
        a.cursor = a.cursor + n == a.ringBytes ? 0 : a.cursor + n;
    }
    a.bytesPlayed.fetch_add(uint32_t(length));
}

// SDL's error text, kept: SDL may overwrite its own before the caller reads it.
const char* keepError(SdlAudio& a) {
    SDL_strlcpy(a.reason, SDL_GetError(), sizeof a.reason);
    if (!a.reason[0]) SDL_strlcpy(a.reason, "unknown error", sizeof a.reason);
    return a.reason;
}

}  // namespace

bool audioDeviceOpen(const int16_t* ring, uint32_t bytes, int32_t rate, const char** reason) {
    SdlAudio& a = audio();
    if (a.device || bytes == 0) {
        *reason = a.device ? "already open" : "empty buffer";
        return false;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        *reason = keepError(a);
        return false;
    }
    a.ring = reinterpret_cast<const uint8_t*>(ring);
    a.ringBytes = bytes;
    a.cursor = 0;
    a.bytesPlayed.store(0);
    a.started.store(false);
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = 1024;  // 23 ms: a tenth of what the ring holds ahead
    want.callback = copyFromRing;
    a.device = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (!a.device) {
        *reason = keepError(a);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    return true;
}

void audioDeviceStart() {
    SdlAudio& a = audio();
    if (!a.device) return;
    SDL_PauseAudioDevice(a.device, 0);
    a.started.store(true);
}

void audioDevicePause(bool paused) {
    SdlAudio& a = audio();
    if (a.device && a.started.load()) SDL_PauseAudioDevice(a.device, paused ? 1 : 0);
}

bool audioDevicePosition(uint32_t& bytes, const char** reason) {
    SdlAudio& a = audio();
    bytes = a.bytesPlayed.load();
    if (a.started.load() && SDL_GetAudioDeviceStatus(a.device) == SDL_AUDIO_STOPPED) {
        *reason = "the device was removed";
        return false;
    }
    return true;
}

void audioDeviceClose() {
    SdlAudio& a = audio();
    if (!a.device) return;
    SDL_CloseAudioDevice(a.device);  // waits for a running callback to return
    a.device = 0;
    a.started.store(false);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void platformRaiseThreadPriority() { SDL_SetThreadPriority(SDL_THREAD_PRIORITY_TIME_CRITICAL); }
