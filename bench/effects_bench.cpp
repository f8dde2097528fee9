// The five effects one call at a time, and one whole frame in each scene, in milliseconds per
// frame. The effects draw into surfaces of the demo's sizes with the embedded bitmaps.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "effects/chain.h"
#include "effects/logo_reflection.h"
#include "effects/logo_wobble.h"
#include "effects/rotozoomer.h"
#include "effects/scroller.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "host/demo.h"
#include "host/frame_driver.h"
#include "platform/offline/offline_platform.h"

namespace {

// The logo canvas as the frame driver leaves it before the wobble: the logo at (32, 32).
struct LogoCanvas {
    Surface logo = loadBitmapSurface(102);
    Surface canvas = createSurface(logo.width + 64, logo.height + 64, logo.format);
    Surface work = createSurface(320, 240, defaultPixelFormat);
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
    initRotozoomer();
    rotozoomer().rotoZoom = 300;
    Surface out = createSurface(320, 240, defaultPixelFormat);
    int32_t angle = 0;
    for (auto _ : state) {
        drawRotozoomer(out, angle, 5000, 7000, 160 * 256, 120 * 256);
        angle += 97;
        benchmark::DoNotOptimize(out.pixels);
    }
    freeSurface(out);
}
BENCHMARK(rotozoomerDraw)->Unit(benchmark::kMillisecond);

void logoWobbleDraw(benchmark::State& state) {
    LogoCanvas& c = logoCanvas();
    for (auto _ : state) {
        c.redraw();
        drawLogoWobble(c.canvas, 1.0f / 60);
        benchmark::DoNotOptimize(c.canvas.pixels);
    }
}
BENCHMARK(logoWobbleDraw)->Unit(benchmark::kMillisecond);

void logoReflectionDraw(benchmark::State& state) {
    LogoCanvas& c = logoCanvas();
    c.redraw();
    for (auto _ : state) {
        drawLogoReflection(c.canvas, c.work, 8, 52);
        benchmark::DoNotOptimize(c.work.pixels);
    }
}
BENCHMARK(logoReflectionDraw)->Unit(benchmark::kMillisecond);

// Anchor, ten solver passes and eleven sprites: the chain's whole work in one frame.
void chainFrame(benchmark::State& state) {
    initChain();
    Surface work = createSurface(320, 240, defaultPixelFormat);
    for (auto _ : state) {
        moveChainAnchor(1.0f / 60);
        solveChain(1.0f / 60);
        drawChain(work);
        benchmark::DoNotOptimize(work.pixels);
    }
    freeSurface(work);
}
BENCHMARK(chainFrame)->Unit(benchmark::kMillisecond);

// Held 20 s into the text, so that every call draws a screen full of glyphs.
void scrollerDraw(benchmark::State& state) {
    initFont();
    Surface work = createSurface(320, 240, defaultPixelFormat);
    for (auto _ : state) {
        scroller().scrollPosition = 20 * 2048;
        drawScroller(work, 1.0f / 60);
        benchmark::DoNotOptimize(work.pixels);
    }
    freeSurface(work);
}
BENCHMARK(scrollerDraw)->Unit(benchmark::kMillisecond);

// renderFrame at a held song position: 0 the logo alone, 8 the moving rotozoomer under the logo,
// 16 everything. 16 ms pass per frame; the scroller is held 20 s into its text.
void wholeFrame(benchmark::State& state) {
    resetOfflinePlatform();
    offlinePlatform().tickPerPresent = 16;
    std::string reason;
    if (!demoStartUp(reason)) {
        state.SkipWithError(reason.c_str());
        return;
    }
    frameDriver().scenePosition = int32_t(state.range(0));
    for (auto _ : state) {
        scroller().scrollPosition = 20 * 2048;
        renderFrame();
    }
    demoShutdown();
}
BENCHMARK(wholeFrame)->Arg(0)->Arg(8)->Arg(16)->ArgName("scene")->Unit(benchmark::kMillisecond);

}  // namespace
