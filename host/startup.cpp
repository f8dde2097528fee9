#include "effects/chain.h"
#include "effects/rotozoomer.h"
#include "effects/scroller.h"
#include "gfx/bitmap.h"
#include "host/demo.h"
#include "host/frame_driver.h"
#include "platform/platform.h"
#include "player/player.h"

DemoState& demo() {
    static DemoState state{};
    return state;
}

bool demoStartUp(std::string& reason) {
    DemoState& d = demo();
    d.presentationHeader = {40, 640, -480, 1, 32, 0, 0, 0, 0, 256, 0};

    // The frame surface owns ordinary memory in the presentation's byte order; presenting copies
    // it to the window.
    d.frameSurface = createSurface(640, 480, defaultPixelFormat);
    d.workSurface = createSurface(d.frameSurface.width / 2, d.frameSurface.height / 2, defaultPixelFormat);
    d.effectSurface = createSurface(d.frameSurface.width / 2, d.frameSurface.height / 2, defaultPixelFormat);

    d.logoBitmap = loadBitmapSurface(102, &reason);
    if (!d.logoBitmap.pixels) return false;
    d.logoSurface = createSurface(d.logoBitmap.width + 64, d.logoBitmap.height + 64, d.logoBitmap.format);

    initRotozoomer();
    initChain();
    initFont();

    d.song = loadModule("IDR_BSTG");
    startPlayer(d.song);

    resetFrameDriver(platformTickCount());
    return true;
}

void demoShutdown() {
    DemoState& d = demo();
    for (Surface* s : {&d.frameSurface, &d.workSurface, &d.effectSurface, &d.logoBitmap, &d.logoSurface})
        freeSurface(*s);
}
