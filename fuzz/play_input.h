#pragma once
// What the fuzzer does with one input, shared with the test that replays the inputs it found:
// the bytes as a module (XM, MOD or S3M) through the player library's public interface, loaded
// and, when that works, played for three seconds with each profile in 884-frame blocks, asking
// where it is after each, so every tick, effect, envelope and mixer path the file reaches runs; then once
// more at other settings (8000 and 96000 Hz, the other interpolations, channels watched and
// muted), with seeks into the song, to a row and back, so that every path of the skipping voices
// and the other mixing loops runs too.
#include <cstddef>
#include <cstdint>

#include "xmplayer.h"

namespace fuzz {

constexpr int kBlocks = 150;  // 3 s of 884-frame blocks
constexpr size_t kBlockFrames = XMPLAYER_BLOCK_FRAMES;
constexpr int64_t kSearchFrames = int64_t(60) * XMPLAYER_RATE;  // songs that end within a minute

// Plays `blocks` blocks of the player's size, asking where it is after each and, with `watch`,
// what its channels play.
inline void playBlocks(xmplayer* player, int blocks, int channels, bool watch) {
    int16_t block[2 * 3840];  // a block at the highest rate
    const size_t frames = size_t(xmplayer_block_frames(xmplayer_get_rate(player)));
    for (int b = 0; b < blocks; ++b) {
        xmplayer_render_s16(player, block, frames);
        xmplayer_position position;
        xmplayer_get_position(player, &position, sizeof position);
        for (int c = 0; watch && c < channels; ++c) {
            xmplayer_channel state;
            xmplayer_get_channel(player, c, &state, sizeof state);
        }
    }
}

// Loads and plays `size` bytes at `data`, which must stay alive during the call. True when the
// module loaded.
inline bool playInput(const uint8_t* data, size_t size) {
    xmplayer_module* module = xmplayer_load_memory(data, size, nullptr, nullptr, 0);
    if (!module) return false;
    xmplayer_info info;
    xmplayer_get_info(module, &info, sizeof info);
    for (int profile = 0; profile < xmplayer_profile_count(); ++profile) {
        xmplayer* player = xmplayer_create(module, xmplayer_profile(profile));
        xmplayer_set_loops(player, -1);
        playBlocks(player, kBlocks, info.channels, false);

        // Other settings, and seeks: forward past the block at hand, to a row, back to the start.
        xmplayer_set_rate(player, profile == XMPLAYER_PROFILE_FT2 ? 96000 : 8000);
        xmplayer_set_interpolation(player, profile == XMPLAYER_PROFILE_FT2 ? XMPLAYER_INTERPOLATION_CUBIC
                                                                           : XMPLAYER_INTERPOLATION_NONE);
        xmplayer_set_separation(player, 150);
        xmplayer_set_gain(player, 6);
        xmplayer_set_mute(player, 1, 1);
        xmplayer_seek_ms(player, 1000 + size % 4000);
        playBlocks(player, 20, info.channels, true);
        // A row is looked for until the song ends, which a song that never ends makes a search of
        // 2^22 ticks: seconds under the sanitizers, per profile. Such songs are left out here.
        if (xmplayer_song_frames(module, xmplayer_profile(profile), 0, kSearchFrames) < kSearchFrames) {
            xmplayer_seek_row(player, 1 % info.orders, 1);
            playBlocks(player, 10, info.channels, true);
        }
        xmplayer_seek_frame(player, 0);
        playBlocks(player, 10, info.channels, false);
        xmplayer_free(player);
    }
    xmplayer_free_module(module);
    return true;
}

}  // namespace fuzz
