// The audio device in a web browser: an AudioContext at 44100 Hz that plays a copy of the ring
// (web_audio.h says why a copy), kept up to date at every poll of the play position.
#include "platform/web/web_audio.h"

#include <cstring>

#include "platform/audio.h"

extern "C" {
int      skrWebAudioOpen(uint32_t ringBytes, int32_t rate);
void     skrWebAudioPost(uint32_t offset, const uint8_t* bytes, uint32_t count);
void     skrWebAudioStart();
uint32_t skrWebAudioPlayedBytes();
int      skrWebAudioFailure(char* buffer, uint32_t size);
void     skrWebAudioClose();
}

WebAudio& webAudio() {
    static WebAudio state{};
    return state;
}

// True, with the page's reason in `reason`, once the page has no sound to give: no Web Audio, a
// context refused, or one that would not start (which may be said after the device opened).
static bool pageGivesNoSound(const char** reason) {
    WebAudio& a = webAudio();
    if (!skrWebAudioFailure(a.failure, sizeof a.failure)) return false;
    *reason = a.failure;
    return true;
}

int postRingChanges() {
    WebAudio& a = webAudio();
    int messages = 0;
    uint32_t offset = 0;
    while (offset < a.ringBytes) {
        // Skip the pieces the audio side already holds, then take every changed piece after them.
        auto pieceAt = [&](uint32_t o) { return o + kPostPieceBytes < a.ringBytes ? kPostPieceBytes : a.ringBytes - o; };
        auto differs = [&](uint32_t o) { return std::memcmp(a.ring + o, a.posted.data() + o, pieceAt(o)) != 0; };
        if (!differs(offset)) {
            offset += pieceAt(offset);
            continue;
        }
        const uint32_t start = offset;
        while (offset < a.ringBytes && differs(offset)) offset += pieceAt(offset);
        std::memcpy(a.posted.data() + start, a.ring + start, offset - start);
        skrWebAudioPost(start, a.ring + start, offset - start);
        ++messages;
    }
    return messages;
}

bool audioDeviceOpen(const int16_t* ring, uint32_t bytes, int32_t rate, const char** reason) {
    WebAudio& a = webAudio();
    if (a.open || bytes == 0 || !skrWebAudioOpen(bytes, rate)) {
        if (!pageGivesNoSound(reason)) *reason = "the browser gave no audio context";
        return false;
    }
    a.open = true;
    a.started = false;
    a.ring = reinterpret_cast<const uint8_t*>(ring);
    a.ringBytes = bytes;
    a.posted.assign(bytes, 0);  // the audio side starts with a silent ring
    return true;
}

void audioDeviceStart() {
    WebAudio& a = webAudio();
    if (!a.open) return;
    postRingChanges();
    a.started = true;
    skrWebAudioStart();
}

// The page never pauses the demo: it ends it.
void audioDevicePause(bool) {}

// The frames the audio side has played, as bytes; the feeder polls this just before it rewrites
// the blocks behind it, so what it rewrote at the last poll goes out now, a whole ring (2 s)
// before it is due.
bool audioDevicePosition(uint32_t& bytes, const char** reason) {
    WebAudio& a = webAudio();
    if (!a.open) {
        *reason = "the audio context is closed";
        return false;
    }
    if (pageGivesNoSound(reason)) return false;
    if (a.started) postRingChanges();
    bytes = skrWebAudioPlayedBytes();
    return true;
}

void audioDeviceClose() {
    WebAudio& a = webAudio();
    if (!a.open) return;
    skrWebAudioClose();
    a = WebAudio{};
}

// The audio side runs on the browser's own audio thread; nothing to raise.
void platformRaiseThreadPriority() {}
