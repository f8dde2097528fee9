#include <cstdio>

#include "effects/chain.h"
#include "effects/rotozoomer.h"
#include "effects/scroller.h"
#include "gfx/bitmap.h"
#include "host/demo.h"
#include "host/frame_driver.h"
#include "platform/platform.h"
#include "player/loader.h"
#include "player/player.h"
#include "player/stream.h"

DemoState& demo() {
    static DemoState state{};
    return state;
}

bool demoStartUp(std::string& reason) {
    DemoState& d = demo();
    d.presentationHeader = {40, 640, -480, 1, 32, 0, 0, 0, 0, 256, 0};

    d.frameSurface = Surface{nullptr, 640, 480, defaultPixelFormat};
    d.workSurface = createSurface(d.frameSurface.width / 2, d.frameSurface.height / 2, defaultPixelFormat);
    d.effectSurface = createSurface(d.frameSurface.width / 2, d.frameSurface.height / 2, defaultPixelFormat);
    // Where the platform has a presentation bitmap, the frame surface's pixels are its memory and
    // what is drawn is what is shown; elsewhere ordinary memory in the same byte order, which
    // presenting copies to the window.
    d.frameSurface.pixels = platformCreateFrameMemory(d.frameSurface.width, d.frameSurface.height);
    d.frameOnPlatform = d.frameSurface.pixels != nullptr;
    if (!d.frameOnPlatform)
        d.frameSurface = createSurface(d.frameSurface.width, d.frameSurface.height, defaultPixelFormat);

    d.logoBitmap = loadBitmapSurface(102, &reason);
    if (!d.logoBitmap.pixels) return false;
    d.logoSurface = createSurface(d.logoBitmap.width + 64, d.logoBitmap.height + 64, d.logoBitmap.format);

    initRotozoomer();
    initChain();
    initFont();

    // The song is embedded as resource XM 118; without it (or when it cannot be played) the demo
    // runs on silently with its timeline at position 0.
    setStreamCallbacks(resourceStreamOpen, resourceStreamClose, resourceStreamRead, resourceStreamSeek,
                       resourceStreamTell);
    std::string songReason;
    d.song = loadModule("IDR_BSTG", nullptr, &songReason);
    if (!d.song) std::fprintf(stderr, "skr4mm3lb0d: no music: %s\n", songReason.c_str());
    // Without its thread the player is fed by the frames: 60 a second keep its 2-s ring full.
    d.feedFromFrames = startPlayer(d.song, !d.manualFeeding) == PlayerStart::withoutFeeder;
    if (d.feedFromFrames)
        std::fprintf(stderr, "skr4mm3lb0d: the music's thread could not start; the frames feed the music\n");
    d.silenceReported = false;
    reportSilence();

    resetFrameDriver(platformTickCount());
    return true;
}

void reportSilence() {
    DemoState& d = demo();
    if (d.silenceReported) return;
    const char* reason = playerSilenceReason();
    if (!reason) return;
    std::fprintf(stderr, "skr4mm3lb0d: no audio device (%s); the demo plays silently\n", reason);
    d.silenceReported = true;
}

void demoShutdown() {
    DemoState& d = demo();
    // The feeder thread must end before the process does (on Linux a running std::thread at exit
    // aborts), and a start-up run again (tools, tests) loads the song again.
    freeModule(d.song);
    d.song = nullptr;
    d.feedFromFrames = false;
    if (d.frameOnPlatform) {
        platformFreeFrameMemory(d.frameSurface.pixels);
        d.frameSurface = Surface{nullptr, 0, 0, defaultPixelFormat};
        d.frameOnPlatform = false;
    }
    for (Surface* s : {&d.frameSurface, &d.workSurface, &d.effectSurface, &d.logoBitmap, &d.logoSurface})
        freeSurface(*s);
}
