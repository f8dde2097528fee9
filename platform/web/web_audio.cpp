// The audio device in a web browser: an AudioContext at 44100 Hz that plays a copy of the ring
// (web_audio.h says why a copy), kept up to date at every poll of the play position. A context
// that the browser or the system suspends is a device gone quiet: the position polls say so
// until it runs again, and the player carries the song on its silent clock meanwhile.
#include "platform/web/web_audio.h"

#include <algorithm>
#include <cstring>

#include "platform/audio.h"

extern "C" {
int      skrWebAudioOpen(uint32_t ringBytes, int32_t rate);
void     skrWebAudioPost(uint32_t offset, const uint8_t* bytes, uint32_t count);
void     skrWebAudioStart();
void     skrWebAudioHold(int held);
uint32_t skrWebAudioPlayedBytes();
int      skrWebAudioQuiet(char* buffer, uint32_t size);
void     skrWebAudioClose();
}

WebAudio& webAudio() {
    static WebAudio state{};
    return state;
}

namespace {

// What the page says of its sound, with its reason in WebAudio::failure where it gives none.
enum class PageSound {
    plays,  // the context runs, or is starting in the click that made it
    quiet,  // suspended, interrupted, or not allowed to run yet: it may run again
    none,   // no Web Audio, a context refused, no output made: for good
};

PageSound pageSound() {
    WebAudio& a = webAudio();
    switch (skrWebAudioQuiet(a.failure, sizeof a.failure)) {
    case 0: return PageSound::plays;
    case 1: return PageSound::quiet;
    default: return PageSound::none;
    }
}

}  // namespace

int postRingChanges(uint32_t from, uint32_t bytes) {
    WebAudio& a = webAudio();
    const uint32_t pieces = (a.ringBytes + kPostPieceBytes - 1) / kPostPieceBytes;
    from %= a.ringBytes;
    // The pieces the bytes span, and one more: the ring's last piece is shorter than the others.
    const uint32_t spanned = (from % kPostPieceBytes + bytes + kPostPieceBytes - 1) / kPostPieceBytes + 1;
    const uint32_t count = bytes >= a.ringBytes ? pieces : std::min(pieces, spanned);
    auto start = [&](uint32_t piece) { return std::min(piece * kPostPieceBytes, a.ringBytes); };
    auto differs = [&](uint32_t piece) {
        return std::memcmp(a.ring + start(piece), a.posted.data() + start(piece), start(piece + 1) - start(piece)) != 0;
    };
    int messages = 0;
    for (uint32_t k = 0; k < count;) {
        const uint32_t first = (from / kPostPieceBytes + k) % pieces;
        ++k;
        if (!differs(first)) continue;
        // This piece and every changed one after it, up to the ring's end.
        uint32_t end = first + 1;
        for (; k < count && end < pieces && differs(end); ++k) ++end;
        const uint32_t at = start(first), length = start(end) - at;
        std::memcpy(a.posted.data() + at, a.ring + at, length);
        skrWebAudioPost(at, a.ring + at, length);
        ++messages;
    }
    return messages;
}

bool audioDeviceOpen(const int16_t* ring, uint32_t bytes, int32_t rate, const char** reason) {
    WebAudio& a = webAudio();
    const bool opened = !a.open && bytes != 0 && pageSound() != PageSound::none && skrWebAudioOpen(bytes, rate);
    if (!opened) {
        *reason = pageSound() == PageSound::plays ? "the browser gave no audio context" : a.failure;
        return false;
    }
    a = WebAudio{};
    a.open = true;
    a.ring = reinterpret_cast<const uint8_t*>(ring);
    a.ringBytes = bytes;
    a.posted.assign(bytes, 0);  // the audio side starts with a silent ring
    return true;
}

void audioDeviceStart() {
    WebAudio& a = webAudio();
    if (!a.open) return;
    postRingChanges(0, a.ringBytes);
    a.started = true;
    skrWebAudioStart();
}

// Held, the audio side plays nothing and its position stands; let go, it plays on from there,
// with the whole ring as it is now (a hand-back has turned it).
void audioDevicePause(bool paused) {
    WebAudio& a = webAudio();
    if (!a.open || !a.started) return;
    if (!paused) postRingChanges(0, a.ringBytes);
    a.held = paused;
    skrWebAudioHold(paused ? 1 : 0);
}

// The frames the audio side has played (heard: the page takes its output latency off), as bytes;
// the feeder polls this just before it rewrites the blocks behind it, so what it rewrote at the
// last poll goes out now, a whole ring (2 s) before it is due. False while the page gives no
// sound, once started: before, the count stands at its start whatever the context does, so a
// context that is quiet at the start is started all the same, and taken up once it runs.
bool audioDevicePosition(uint32_t& bytes, const char** reason) {
    WebAudio& a = webAudio();
    if (!a.open) {
        *reason = "the audio context is closed";
        return false;
    }
    if (a.started && pageSound() != PageSound::plays) {
        *reason = a.failure;
        return false;
    }
    bytes = skrWebAudioPlayedBytes();
    const uint64_t now = a.polledBytes + uint32_t(bytes - a.lastBytes);
    if (a.started && !a.held) {
        const uint64_t from = a.polledBefore > kPostPieceBytes ? a.polledBefore - kPostPieceBytes : 0;
        postRingChanges(uint32_t(from % a.ringBytes), uint32_t(std::min<uint64_t>(now - from, a.ringBytes)));
    }
    a.lastBytes = bytes;
    a.polledBefore = a.polledBytes;
    a.polledBytes = now;
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
