// The audio device on Win32: the wave mapper plays the whole ring as one prepared header that
// loops for ever (WHDR_BEGINLOOP | WHDR_ENDLOOP, 0xFFFFFFFF loops), and the play position is the
// device's byte count. A position query that fails means the device has gone (unplugged, its
// driver reset): it has stopped for good.
#include <windows.h>
#include <mmsystem.h>

#include "platform/audio.h"

namespace {

struct WaveOutput {
    HWAVEOUT device;  // nullptr while closed
    WAVEHDR  header;  // the one header over the whole ring
    int32_t  rate;    // frames per second
    char     reason[MAXERRORLENGTH];  // the system's words for the last failure
};

WaveOutput& wave() {
    static WaveOutput state{};
    return state;
}

constexpr uint32_t kFrameBytes = 4;  // 16-bit stereo

// The wave-out error text for `result`, with its number where the system has no text for it.
const char* describe(WaveOutput& w, MMRESULT result) {
    if (waveOutGetErrorTextA(result, w.reason, sizeof w.reason) != MMSYSERR_NOERROR || !w.reason[0])
        wsprintfA(w.reason, "wave-out error %u", unsigned(result));
    return w.reason;
}

}  // namespace

bool audioDeviceOpen(const int16_t* ring, uint32_t bytes, int32_t rate, const char** reason) {
    WaveOutput& w = wave();
    if (w.device || bytes == 0) {
        *reason = w.device ? "already open" : "empty buffer";
        return false;
    }
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = DWORD(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = kFrameBytes;
    format.nAvgBytesPerSec = DWORD(rate) * kFrameBytes;
    const MMRESULT opened = waveOutOpen(&w.device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    if (opened != MMSYSERR_NOERROR) {
        w.device = nullptr;
        *reason = describe(w, opened);
        return false;
    }
    w.rate = rate;
    w.header = WAVEHDR{};
    w.header.lpData = reinterpret_cast<LPSTR>(const_cast<int16_t*>(ring));  // only read by the device
    w.header.dwBufferLength = bytes;
    w.header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    w.header.dwLoops = 0xFFFFFFFF;
    const MMRESULT prepared = waveOutPrepareHeader(w.device, &w.header, sizeof w.header);
    if (prepared != MMSYSERR_NOERROR) {
        *reason = describe(w, prepared);
        waveOutClose(w.device);
        w.device = nullptr;
        return false;
    }
    return true;
}

void audioDeviceStart() {
    WaveOutput& w = wave();
    if (w.device) waveOutWrite(w.device, &w.header, sizeof w.header);
}

void audioDevicePause(bool paused) {
    WaveOutput& w = wave();
    if (!w.device) return;
    if (paused) waveOutPause(w.device);
    else waveOutRestart(w.device);
}

bool audioDevicePosition(uint32_t& bytes, const char** reason) {
    WaveOutput& w = wave();
    bytes = 0;
    if (!w.device) {
        *reason = "no device is open";
        return false;
    }
    MMTIME time{};
    time.wType = TIME_BYTES;
    const MMRESULT result = waveOutGetPosition(w.device, &time, sizeof time);
    if (result != MMSYSERR_NOERROR) {
        *reason = describe(w, result);
        return false;
    }
    // A driver that cannot count bytes answers in another unit of its choice.
    switch (time.wType) {
    case TIME_BYTES: bytes = time.u.cb; return true;
    case TIME_SAMPLES: bytes = time.u.sample * kFrameBytes; return true;
    case TIME_MS: bytes = uint32_t(uint64_t(time.u.ms) * uint32_t(w.rate) / 1000 * kFrameBytes); return true;
    default: *reason = "the device reports its position in no usable unit"; return false;
    }
}

void audioDeviceClose() {
    WaveOutput& w = wave();
    if (!w.device) return;
    waveOutReset(w.device);  // stops playback and gives the header back
    waveOutUnprepareHeader(w.device, &w.header, sizeof w.header);
    waveOutClose(w.device);
    w.device = nullptr;
}

void platformRaiseThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL); }
