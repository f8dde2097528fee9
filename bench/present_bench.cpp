// Presentation into the window's own surface where the screen has no 640×480 mode: the frame
// scaled by a whole factor with black around it, written straight into a screen of the
// desktop's size. `presentOneToOne` is the reference: the 640×480 frame copied row by row into a
// screen of its own size, which is what the window mode and a real 640×480 mode cost.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "host/scaled_area.h"
#include "platform/scaled_frame.h"

namespace {

constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;

void presentOneToOne(benchmark::State& state) {
    const std::vector<uint8_t> frame(size_t(kFrameWidth) * kFrameHeight * 4, 0x40);
    std::vector<uint8_t> screen(frame.size());
    for (auto _ : state) {
        for (int y = 0; y < kFrameHeight; ++y)
            std::memcpy(screen.data() + size_t(y) * kFrameWidth * 4, frame.data() + size_t(y) * kFrameWidth * 4,
                        size_t(kFrameWidth) * 4);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(screen.size()));
}
BENCHMARK(presentOneToOne)->Unit(benchmark::kMillisecond);

// Arguments: the screen's width and height.
void presentScaled(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1));
    std::vector<uint8_t> frame(size_t(kFrameWidth) * kFrameHeight * 4);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(i * 7);
    std::vector<uint8_t> screen(size_t(width) * height * 4);
    const PresentArea area = scaledFrameArea(width, height, kFrameWidth, kFrameHeight);
    for (auto _ : state) {
        drawFrameScaled(frame.data(), kFrameWidth, kFrameHeight, screen.data(), width, height, width * 4, area);
        benchmark::ClobberMemory();
    }
    state.counters["factor"] = double(area.width / kFrameWidth);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(screen.size()));
}
BENCHMARK(presentScaled)
    ->Args({1280, 1024})
    ->Args({1920, 1080})
    ->Args({2560, 1440})
    ->Args({3840, 2160})
    ->ArgNames({"width", "height"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
