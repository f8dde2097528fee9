#pragma once
// The audio device in a web browser. The player's ring lives in the program's memory, which the
// audio side (an AudioWorklet on its own thread, or a ScriptProcessorNode) cannot read without
// SharedArrayBuffer, and plain static hosting gives none. So the audio side keeps a copy of the
// ring: every part of the ring that the feeder has rewritten is posted to it, and the frames it
// has played are posted back.
#include <cstdint>
#include <vector>

struct WebAudio {
    bool           open;
    bool           started;
    const uint8_t* ring;       // the player's ring, 16-bit stereo frames
    uint32_t       ringBytes;
    std::vector<uint8_t> posted;  // the ring as the audio side holds it
    char           failure[200];  // why the page gives no sound, as it said it; UTF-8
};

WebAudio& webAudio();

// Bytes of the ring compared and posted as one piece: 1024 frames. The feeder rewrites whole
// blocks of 884 frames behind the play position, so a few pieces change between two polls.
constexpr uint32_t kPostPieceBytes = 4096;

// Posts every piece of the ring that differs from what the audio side holds, adjacent pieces as
// one message. Returns how many messages went out.
int postRingChanges();
