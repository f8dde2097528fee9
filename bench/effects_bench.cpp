// The five effects and the blits one call at a time, and one whole frame in each scene, in
// milliseconds per frame. The effects draw into surfaces of the demo's sizes with the embedded
// bitmaps. "path:0" runs the plain per-pixel path, "path:1" the fast paths for the default format
// with SSE2 alone, "path:2" with AVX2 where it has a kernel (skipped on a processor without it).
// The busiest frame, on the same three paths, is also set against the plain path and against the
// floor of the memory one frame must touch, as ratios measured in the same run.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "effects/chain.h"
#include "effects/font.h"
#include "effects/logo_reflection.h"
#include "effects/logo_wobble.h"
#include "effects/rotozoomer.h"
#include "effects/scroller.h"
#include "gfx/blit.h"
#include "host/demo.h"
#include "host/frame_driver.h"
#include "platform/offline/offline_platform.h"
#include "tests/support/demo_fixture.h"

namespace {

// The paths the benchmark's first argument names, for as long as it runs: 0 plain, 1 fast with
// SSE2, 2 fast with AVX2 (only where the processor has it: `usable` is false otherwise).
struct DrawPathsFor {
    DrawPaths before = drawPaths();
    bool usable = true;
    explicit DrawPathsFor(benchmark::State& state) {
        drawPaths().fast = state.range(0) != 0;
        drawPaths().wide = state.range(0) == 2;
        if (state.range(0) == 2 && !before.wide) {
            usable = false;
            state.SkipWithError("this processor has no AVX2");
        }
    }
    ~DrawPathsFor() { drawPaths() = before; }
};

// The benchmarks of single operations run all three paths.
void threePaths(benchmark::internal::Benchmark* b) { b->Arg(0)->Arg(1)->Arg(2)->ArgName("path")->Unit(benchmark::kMillisecond); }

// The logo canvas as the frame driver leaves it before the wobble: the logo at (32, 32).
struct LogoCanvas {
    Surface logo = loadBitmapSurface(102);
    Surface canvas = createSurface(logo.width + 64, logo.height + 64, logo.format);
    Surface work = createSurface(320, 240, kDefaultPixelFormat);
    void redraw() {
        std::memset(canvas.pixels, 0, surfaceBytes(canvas));
        blit(logo, canvas, 32, 32, 1);
    }
};

LogoCanvas& logoCanvas() {
    static LogoCanvas canvas;
    return canvas;
}

void rotozoomerDraw(benchmark::State& state) {
    const DrawPathsFor paths(state);
    if (!paths.usable) return;
    RotozoomerState rotozoomer{};
    initRotozoomer(rotozoomer, loadBitmapSurface(107), loadBitmapSurface(110));
    Surface out = createSurface(320, 240, kDefaultPixelFormat);
    int32_t angle = 0;
    for (auto _ : state) {
        drawRotozoomer(rotozoomer, out, angle, 300, 5000, 7000, 160 * 256, 120 * 256);
        angle += 97;
        benchmark::DoNotOptimize(out.pixels);
    }
    freeSurface(out);
    freeRotozoomer(rotozoomer);
}
BENCHMARK(rotozoomerDraw)->Apply(threePaths);

void logoWobbleDraw(benchmark::State& state) {
    const DrawPathsFor paths(state);
    if (!paths.usable) return;
    LogoCanvas& c = logoCanvas();
    LogoWobbleState wobble{};
    for (auto _ : state) {
        c.redraw();
        drawLogoWobble(wobble, c.canvas, 1.0f / 60);
        benchmark::DoNotOptimize(c.canvas.pixels);
    }
}
BENCHMARK(logoWobbleDraw)->Apply(threePaths);

void logoReflectionDraw(benchmark::State& state) {
    const DrawPathsFor paths(state);
    if (!paths.usable) return;
    LogoCanvas& c = logoCanvas();
    c.redraw();
    for (auto _ : state) {
        drawLogoReflection(c.canvas, c.work, 8, 52);
        benchmark::DoNotOptimize(c.work.pixels);
    }
}
BENCHMARK(logoReflectionDraw)->Apply(threePaths);

// Anchor, ten solver passes and eleven sprites: the chain's whole work in one frame.
void chainFrame(benchmark::State& state) {
    const DrawPathsFor paths(state);
    if (!paths.usable) return;
    const std::unique_ptr<ChainState> chain = std::make_unique<ChainState>();
    initChain(*chain, loadBitmapSurface(114), loadBitmapSurface(119));
    Surface work = createSurface(320, 240, kDefaultPixelFormat);
    for (auto _ : state) {
        moveChainAnchor(*chain, 1.0f / 60);
        solveChain(*chain, 1.0f / 60);
        drawChain(*chain, work);
        benchmark::DoNotOptimize(work.pixels);
    }
    freeSurface(work);
    freeChain(*chain);
}
BENCHMARK(chainFrame)->Apply(threePaths);

// Held 20 s into the text, so that every call draws a screen full of glyphs.
void scrollerDraw(benchmark::State& state) {
    const DrawPathsFor paths(state);
    if (!paths.usable) return;
    FontState font{};
    ScrollerState scroller{};
    initFont(font, loadBitmapSurface(115));
    initScroller(scroller, embeddedScrollText());
    Surface work = createSurface(320, 240, kDefaultPixelFormat);
    for (auto _ : state) {
        scroller.scrollPosition = 20 * 2048;
        drawScroller(scroller, font, work, 1.0f / 60);
        benchmark::DoNotOptimize(work.pixels);
    }
    freeSurface(work);
    freeFont(font);
}
BENCHMARK(scrollerDraw)->Apply(threePaths);

// The logo canvas blended onto the work surface, as the frame driver does it every frame.
void logoBlend(benchmark::State& state) {
    const DrawPathsFor paths(state);
    if (!paths.usable) return;
    LogoCanvas& c = logoCanvas();
    c.redraw();
    for (auto _ : state) {
        blit(c.canvas, c.work, -8, 0, 1);
        benchmark::DoNotOptimize(c.work.pixels);
    }
}
BENCHMARK(logoBlend)->Apply(threePaths);

// The work surface doubled into the 640×480 frame.
void upscale2xDraw(benchmark::State& state) {
    const DrawPathsFor paths(state);
    if (!paths.usable) return;
    LogoCanvas& c = logoCanvas();
    Surface frame = createSurface(640, 480, kDefaultPixelFormat);
    for (auto _ : state) {
        upscale2x(c.work, frame, 0, 0);
        benchmark::DoNotOptimize(frame.pixels);
    }
    freeSurface(frame);
}
BENCHMARK(upscale2xDraw)->Apply(threePaths);

// renderFrame at a held song position: 0 the logo alone, 8 the moving rotozoomer under the logo,
// 16 everything. 16 ms pass per frame; the scroller is held 20 s into its text.
void wholeFrame(benchmark::State& state) {
    resetOfflinePlatform();
    offlinePlatform().tickPerPresent = 16;
    const std::unique_ptr<Demo> demo = makeTestDemo();
    std::string reason;
    if (!demoStartUp(*demo, reason)) {
        state.SkipWithError(reason.c_str());
        return;
    }
    demo->driver.scenePosition = int32_t(state.range(0));
    for (auto _ : state) {
        demo->scroller.scrollPosition = 20 * 2048;
        renderFrame(*demo);
    }
    demoShutdown(*demo);
}
BENCHMARK(wholeFrame)->Arg(0)->Arg(8)->Arg(16)->ArgName("scene")->Unit(benchmark::kMillisecond);

// From nothing to the first presented frame, as the program does it once the window exists:
// demoStartUp (bitmaps, tables, the song loaded and its first 2 s rendered, the feeder started)
// and the first renderFrame. Target: under 50 ms.
void startUpToFirstFrame(benchmark::State& state) {
    const std::unique_ptr<Demo> demo = makeTestDemo();
    for (auto _ : state) {
        resetOfflinePlatform();
        std::string reason;
        if (!demoStartUp(*demo, reason)) {
            state.SkipWithError(reason.c_str());
            return;
        }
        renderFrame(*demo);
        state.PauseTiming();
        demoShutdown(*demo);
        state.ResumeTiming();
    }
}
BENCHMARK(startUpToFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// CPU seconds per iteration of the benchmarks below, by name, from their last (reported) run.
std::map<std::string, double>& secondsPerIteration() {
    static std::map<std::string, double> seconds;
    return seconds;
}

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The floor: the least memory one frame touches. renderFrame clears the work and logo surfaces
// and writes the effect surface (the rotozoomer), the work surface (the background copy), the
// logo surface (the logo and its wobble) and the frame surface (the doubled picture), each at
// least once; here each of those is one memset or memcpy of the surface's bytes.
void frameFloor(benchmark::State& state) {
    std::vector<uint8_t> work(320 * 240 * 4), effect(320 * 240 * 4), logo(336 * 112 * 4), logoBitmap(336 * 112 * 4, 7),
        frame(640 * 480 * 4);
    const double started = threadSeconds();
    for (auto _ : state) {
        std::memset(work.data(), 0, work.size());
        std::memset(logo.data(), 0, logo.size());
        benchmark::ClobberMemory();
        std::memset(effect.data(), int(state.iterations() & 0xFF), effect.size());
        benchmark::ClobberMemory();
        std::memcpy(work.data(), effect.data(), work.size());
        std::memcpy(logo.data(), logoBitmap.data(), logo.size());
        std::memset(frame.data(), 0x40, frame.size());
        benchmark::ClobberMemory();
    }
    secondsPerIteration()["floor"] = (threadSeconds() - started) / double(state.iterations());
    state.SetBytesProcessed(int64_t(state.iterations()) *
                            int64_t(2 * work.size() + effect.size() + 2 * logo.size() + frame.size()));
}
BENCHMARK(frameFloor)->Unit(benchmark::kMillisecond);

// The busiest frame: every layer (the rotozoomer, the reflection, the chain with its moving
// anchor, the logo, the scroller 20 s into its text) with both fades settled, so the background
// is copied and the logo blended, as in every frame after the first seconds of the last scene.
// The fast runs also report themselves against the plain run and the floor measured before them:
// plain_over_fast (target at least 3) and fast_over_floor (target at most 5). The demo takes
// path 2 where the processor has AVX2, path 1 elsewhere.
void busiestFrame(benchmark::State& state) {
    const DrawPathsFor paths(state);
    if (!paths.usable) return;
    resetOfflinePlatform();
    offlinePlatform().tickPerPresent = 16;
    const std::unique_ptr<Demo> demo = makeTestDemo();
    std::string reason;
    if (!demoStartUp(*demo, reason)) {
        state.SkipWithError(reason.c_str());
        return;
    }
    FrameDriver& d = demo->driver;
    d.scenePosition = 16;
    d.effectFade = 252;
    d.logoFade = 250;
    const double started = threadSeconds();
    for (auto _ : state) {
        demo->scroller.scrollPosition = 20 * 2048;
        renderFrame(*demo);
    }
    const double seconds = (threadSeconds() - started) / double(state.iterations());
    demoShutdown(*demo);
    std::map<std::string, double>& measured = secondsPerIteration();
    if (state.range(0) == 0) measured["plain"] = seconds;
    if (state.range(0) && measured.count("plain")) state.counters["plain_over_fast"] = measured["plain"] / seconds;
    if (state.range(0) && measured.count("floor")) state.counters["fast_over_floor"] = seconds / measured["floor"];
}
BENCHMARK(busiestFrame)->Apply(threePaths);

}  // namespace
