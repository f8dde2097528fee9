#pragma once
// What the fuzzer does with one input, shared with the test that replays the inputs it found:
// the bytes as an XM module through the memory stream, loaded once with a sample-data callback
// and once from the stream; what loads plays for three seconds through the offline device (the
// two-second ring filled at start, then one more second block by block), so every tick, effect,
// envelope and mixer path the file reaches runs.
#include <cstddef>
#include <cstdint>

#include "platform/offline/offline_audio.h"
#include "player/loader.h"
#include "player/module.h"
#include "player/output.h"
#include "player/stream.h"

namespace fuzz {

constexpr int64_t kBlocksAfterStart = 50;  // 1 s of 884-frame blocks after the 2-s ring

// Fills the sample buffer with a ramp, so samples given by callback are not all silent.
inline int rampSampleData(uint8_t* buffer, int32_t bytes, int32_t, int32_t, int32_t) {
    for (int32_t i = 0; i < bytes; ++i) buffer[i] = uint8_t(i * 7);
    return 0;
}

// Loads and plays `size` bytes at `data`, which must stay alive during the call. True when the
// module loaded.
inline bool playInput(const uint8_t* data, size_t size) {
    useMemoryStream(data, size);
    freeModule(loadModule("fuzz", rampSampleData));

    Module* m = loadModule("fuzz", nullptr);
    if (!m) return false;
    resetOfflineAudio();
    if (startPlayer(m, false) == PlayerStart::playing) {
        const PlayerState& p = player();
        for (int64_t block = 1; block <= kBlocksAfterStart; ++block) {
            offlineAudio().position.store(uint32_t(block * p.blockFrames * 4));
            feedPlayer();
            (void)getSongPosition(m);
        }
    }
    freeModule(m);
    return true;
}

}  // namespace fuzz
