// The audio device on Win32: the wave mapper plays the whole ring as one prepared header that
// loops for ever (WHDR_BEGINLOOP | WHDR_ENDLOOP, 0xFFFFFFFF loops), and the play position is the
// device's byte count.
#include <windows.h>
#include <mmsystem.h>

#include "platform/audio.h"

namespace {

struct WaveOutput {
    HWAVEOUT device;  // nullptr while closed
    WAVEHDR  header;  // the one header over the whole ring
    int32_t  rate;    // frames per second
};

WaveOutput& wave() {
    static WaveOutput state{};
    return state;
}

constexpr uint32_t kFrameBytes = 4;  // 16-bit stereo

}  // namespace

bool audioDeviceOpen(const int16_t* ring, uint32_t bytes, int32_t rate) {
    WaveOutput& w = wave();
    if (w.device || bytes == 0) return false;
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = DWORD(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = kFrameBytes;
    format.nAvgBytesPerSec = DWORD(rate) * kFrameBytes;
    if (waveOutOpen(&w.device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        w.device = nullptr;
        return false;
    }
    w.rate = rate;
    w.header = WAVEHDR{};
    w.header.lpData = reinterpret_cast<LPSTR>(const_cast<int16_t*>(ring));  // only read by the device
    w.header.dwBufferLength = bytes;
    w.header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    w.header.dwLoops = 0xFFFFFFFF;
    if (waveOutPrepareHeader(w.device, &w.header, sizeof w.header) != MMSYSERR_NOERROR) {
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

uint32_t audioDevicePosition() {
    WaveOutput& w = wave();
    if (!w.device) return 0;
    MMTIME time{};
    time.wType = TIME_BYTES;
    if (waveOutGetPosition(w.device, &time, sizeof time) != MMSYSERR_NOERROR) return 0;
    // A driver that cannot count bytes answers in another unit of its choice.
    switch (time.wType) {
    case TIME_BYTES: return time.u.cb;
    case TIME_SAMPLES: return time.u.sample * kFrameBytes;
    case TIME_MS: return uint32_t(uint64_t(time.u.ms) * uint32_t(w.rate) / 1000 * kFrameBytes);
    default: return 0;
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
