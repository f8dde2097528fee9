// mixVoices throughput: frames per second for 1, 8 and 32 sounding voices on a forward loop, with
// settled gains and with a volume change (a ramp) every 884-frame block.
#include <benchmark/benchmark.h>

#include <vector>

#include "player/mix/mixer.h"
#include "player/module.h"

namespace {

struct LoopedSample {
    std::vector<int16_t> data;
    Sample               sample{};
    LoopedSample() : data(4096 + 8) {
        for (size_t i = 0; i < 4096; ++i) data[i] = int16_t((i * 2654435761u) >> 17);
        data[4096] = data[1024];  // guard frame: the loop start
        sample.data = data.data();
        sample.length = 4096;
        sample.loopStart = 1024;
        sample.loopLength = 3072;
        sample.loopType = 2;
        sample.bitsPerSample = 16;
    }
};

void mixBlocks(benchmark::State& state) {
    const int voices = int(state.range(0));
    const bool ramping = state.range(1) != 0;
    static LoopedSample looped;
    static Mixer mixer;
    resetMixer(mixer, 44100);
    for (int i = 0; i < voices; ++i) {
        Voice& v = mixer.voices[i];
        v.sample = &looped.sample;
        v.direction = 1;
        v.stepInteger = 0;
        v.stepFraction = 0x9F3A1234u + uint32_t(i) * 0x01000000u;  // about 0.62 to 0.74 frames per frame
        v.leftVolume = v.rampTargetLeft = 100 + i;
        v.rightVolume = v.rampTargetRight = 150 - i;
        v.currentLeft = v.leftVolume * 256;
        v.currentRight = v.rightVolume * 256;
    }
    std::vector<float> block(2 * 884);
    int32_t flip = 0;
    for (auto _ : state) {
        if (ramping) {
            flip ^= 1;
            for (int i = 0; i < voices; ++i) mixer.voices[i].leftVolume = flip ? 40 : 200;
        }
        std::fill(block.begin(), block.end(), 0.0f);
        mixVoices(mixer, block.data(), 884);
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(state.iterations() * 884);  // frames
}

BENCHMARK(mixBlocks)
    ->ArgNames({"voices", "ramp"})
    ->Args({1, 0})
    ->Args({8, 0})
    ->Args({32, 0})
    ->Args({1, 1})
    ->Args({8, 1})
    ->Args({32, 1});

}  // namespace
