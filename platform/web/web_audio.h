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
    bool           held;       // audioDevicePause holds it: the audio side plays nothing
    const uint8_t* ring;       // the player's ring, 16-bit stereo frames
    uint32_t       ringBytes;
    std::vector<uint8_t> posted;  // the ring as the audio side holds it
    char           failure[200];  // why the page gives no sound now, as it said it; UTF-8

    // Where the feeder may have rewritten the ring since the last post: only behind the play
    // position, so between the position two polls ago (less a block) and the one now.
    uint32_t lastBytes;      // the page's 32-bit count at the last poll
    uint64_t polledBytes;    // bytes played at the last poll, summed from the count's steps
    uint64_t polledBefore;   // the same at the poll before it
};

WebAudio& webAudio();

// Bytes of the ring compared and posted as one piece: 1024 frames, more than the feeder's block
// of 884, so a block rewritten behind a position lies in the piece of that position or the one
// before it.
constexpr uint32_t kPostPieceBytes = 4096;

// Posts every piece of the ring that differs from what the audio side holds, among the pieces
// that hold any of the `bytes` bytes from ring byte `from` on (wrapping past the ring's end; the
// whole ring when `bytes` reaches its size); adjacent pieces as one message. Returns how many
// messages went out.
int postRingChanges(uint32_t from, uint32_t bytes);
