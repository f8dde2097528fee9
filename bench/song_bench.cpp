// The embedded song at its busiest: one 884-frame block rendered to 16-bit stereo from order
// position 16 on (the whole theme with the moving chain), through the library's C interface.
// It is the music's share of the demo's work; the browser benchmark (web_frame.mjs) sets its
// share of one animation frame beside the busiest frame.
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/resources.h"
#include "xmplayer.h"

namespace {

void songBlock(benchmark::State& state) {
    const ResourceData song = findResource("XM", 118);
    char why[200] = "";
    xmplayer_module* module = song.bytes ? xmplayer_load_memory(song.bytes, song.size, nullptr, why, sizeof why) : nullptr;
    if (!module) {
        state.SkipWithError(song.bytes ? why : "the song (XM 118) is not embedded");
        return;
    }
    xmplayer* player = xmplayer_create(module, XMPLAYER_PROFILE_DEFAULT);
    xmplayer_set_loops(player, -1);
    xmplayer_set_order(player, 16);
    std::vector<int16_t> block(2 * 884);
    for (auto _ : state) {
        xmplayer_render_s16(player, block.data(), 884);
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(state.iterations() * 884);  // frames
    xmplayer_free(player);
    xmplayer_free_module(module);
}
BENCHMARK(songBlock)->Unit(benchmark::kMillisecond);

}  // namespace
