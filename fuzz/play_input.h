#pragma once
// What the fuzzer does with one input, shared with the test that replays the inputs it found:
// the bytes as a module (XM, MOD or S3M) through the player library's public interface, loaded
// and, when that works, played for three seconds with each profile in 884-frame blocks, asking
// where it is after each, so every tick, effect, envelope and mixer path the file reaches runs.
#include <cstddef>
#include <cstdint>

#include "xmplayer.h"

namespace fuzz {

constexpr int kBlocks = 150;  // 3 s of 884-frame blocks
constexpr size_t kBlockFrames = XMPLAYER_BLOCK_FRAMES;

// Loads and plays `size` bytes at `data`, which must stay alive during the call. True when the
// module loaded.
inline bool playInput(const uint8_t* data, size_t size) {
    xmplayer_module* module = xmplayer_load_memory(data, size, nullptr, 0);
    if (!module) return false;
    xmplayer_info info;
    xmplayer_get_info(module, &info);
    int16_t block[2 * kBlockFrames];
    for (int profile = 0; profile < xmplayer_profile_count(); ++profile) {
        xmplayer* player = xmplayer_create(module, xmplayer_profile(profile));
        xmplayer_set_loops(player, -1);
        for (int b = 0; b < kBlocks; ++b) {
            xmplayer_render_s16(player, block, kBlockFrames);
            xmplayer_position position;
            xmplayer_get_position(player, &position);
        }
        xmplayer_free(player);
    }
    xmplayer_free_module(module);
    return true;
}

}  // namespace fuzz
