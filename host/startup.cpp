#include <cstdio>

#include "gfx/bitmap.h"
#include "host/demo.h"
#include "host/frame_driver.h"
#include "platform/platform.h"
#include "platform/resources.h"

Surface loadBitmapSurface(uint16_t identifier, std::string* reason) {
    Surface s{nullptr, 0, 0, kDefaultPixelFormat};
    std::string why;
    PlatformBitmap converted{};
    if (platformOpenBitmap(identifier, converted)) {
        // The platform converts its own bitmaps straight into the surface's memory.
        s = createSurface(converted.width, converted.height, kDefaultPixelFormat);
        if (!platformReadBitmap(converted, s.pixels)) {
            freeSurface(s);
            why = "bitmap " + std::to_string(identifier) + ": the platform cannot convert it";
        }
    } else {
        const ResourceData data = findResource("BITMAP", identifier);
        if (!data.bytes)
            why = "bitmap " + std::to_string(identifier) + ": not among the embedded resources";
        else if (!decodeBitmap(data.bytes, data.size, s, why))
            why = "bitmap " + std::to_string(identifier) + ": " + why;
    }
    if (s.pixels) applyColourKey(s);
    if (reason) *reason = why;
    return s;
}

std::string_view embeddedScrollText() {
    const ResourceData r = findNamedResource("scrolltext.txt");
    if (!r.bytes) return {};
    return {reinterpret_cast<const char*>(r.bytes), r.size};
}

bool demoStartUp(Demo& d, std::string& reason) {
    d.frameSurface = Surface{nullptr, 640, 480, kDefaultPixelFormat};
    d.workSurface = createSurface(d.frameSurface.width / 2, d.frameSurface.height / 2, kDefaultPixelFormat);
    d.effectSurface = createSurface(d.frameSurface.width / 2, d.frameSurface.height / 2, kDefaultPixelFormat);
    // Where the platform has a presentation bitmap, the frame surface's pixels are its memory and
    // what is drawn is what is shown; elsewhere ordinary memory in the same byte order, which
    // presenting copies to the window.
    d.frameSurface.pixels = platformCreateFrameMemory(d.frameSurface.width, d.frameSurface.height);
    d.frameOnPlatform = d.frameSurface.pixels != nullptr;
    if (!d.frameOnPlatform)
        d.frameSurface = createSurface(d.frameSurface.width, d.frameSurface.height, kDefaultPixelFormat);

    // Every picture travels inside the program, so one that cannot be loaded means a broken
    // build: the first one missing is the reason the demo does not start.
    bool complete = true;
    auto picture = [&](uint16_t identifier) {
        std::string why;
        Surface s = loadBitmapSurface(identifier, &why);
        if (!s.pixels && complete) {
            complete = false;
            reason = why;
        }
        return s;
    };
    d.logoBitmap = picture(102);
    if (!complete) return false;
    d.logoSurface = createSurface(d.logoBitmap.width + 64, d.logoBitmap.height + 64, d.logoBitmap.format);

    // The effects' set-ups in their order: rotozoomer, chain, font with its scroller.
    Surface texture = picture(107);
    Surface bumpMap = picture(110);
    initRotozoomer(d.rotozoomer, texture, bumpMap);
    Surface linkSprite = picture(114);
    Surface spikeBallSprite = picture(119);
    initChain(d.chain, linkSprite, spikeBallSprite);
    initFont(d.font, picture(115));
    initScroller(d.scroller, embeddedScrollText());
    d.logoWobble = LogoWobbleState{};
    if (!complete) return false;

    // The song is embedded as resource XM 118, and the player reads its bytes from memory. Without
    // it (or when it cannot be played) the demo runs on silently with its timeline at position 0.
    const ResourceData songBytes = findResource("XM", 118);
    char songReason[256] = "the song (XM 118) is not among the embedded resources";
    d.song = songBytes.bytes ? xmplayer_load_memory(songBytes.bytes, songBytes.size, songReason, sizeof songReason)
                             : nullptr;
    if (!d.song) std::fprintf(stderr, "skr4mm3lb0d: no music: %s\n", songReason);
    // Without its thread the player is fed by the frames: 60 a second keep its 2-s ring full.
    d.player = createRealtimePlayer(d.services);
    const bool thread = d.feeding == PlayerFeeding::thread;
    if (d.player && startPlayer(*d.player, d.song, XMPLAYER_PROFILE_DEFAULT, thread) == PlayerStart::withoutFeeder) {
        d.feeding = PlayerFeeding::frames;
        std::fprintf(stderr, "skr4mm3lb0d: the music's thread could not start; the frames feed the music\n");
    }
    d.silenceReported = false;
    reportSilence(d);

    d.driver = startFrameDriver(platformTickCount());
    return true;
}

void demoShutdown(Demo& d) {
    // The feeder thread must end before the process does (on Linux a running std::thread at exit
    // aborts), and a start-up run again (tools, tests) loads the song again.
    freeRealtimePlayer(d.player);
    d.player = nullptr;
    xmplayer_free_module(d.song);
    d.song = nullptr;
    if (d.frameOnPlatform) {
        platformFreeFrameMemory(d.frameSurface.pixels);
        d.frameSurface = Surface{nullptr, 0, 0, kDefaultPixelFormat};
        d.frameOnPlatform = false;
    }
    for (Surface* s : {&d.frameSurface, &d.workSurface, &d.effectSurface, &d.logoBitmap, &d.logoSurface})
        freeSurface(*s);
    freeRotozoomer(d.rotozoomer);
    freeChain(d.chain);
    freeFont(d.font);
    d.scroller = ScrollerState{};
}
