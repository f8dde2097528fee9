// The platform layer in a web browser: the frame drawn into the page's canvas, the tick count
// from performance.now(), the question and full screen decided by the page before start-up.
// The page (index.html) calls in through the web entry; the calls out are in web_library.js.
#include "platform/web/web_platform.h"

#include <emscripten.h>

#include "platform/platform.h"

extern "C" {
void skrWebPresent(const uint8_t* rgba, int width, int height);
void skrWebShowCursor(int shown);
void skrWebWindowClosed();
}

WebPlatform& webPlatform() {
    static WebPlatform state{};
    return state;
}

void resetWebPlatform() { webPlatform() = WebPlatform{}; }

void bgrxToRgba(const uint8_t* bgrx, uint8_t* rgba, int pixels) {
    for (int i = 0; i < pixels; ++i, bgrx += 4, rgba += 4) {
        rgba[0] = bgrx[2];
        rgba[1] = bgrx[1];
        rgba[2] = bgrx[0];
        rgba[3] = 255;
    }
}

uint32_t platformTickCount() {
    const WebPlatform& w = webPlatform();
    if (w.virtualClock) return w.tickCount;
    // performance.now() in ms, wrapped to 32 bits as the tick count of the other platforms.
    return uint32_t(uint64_t(emscripten_get_now()));
}

// Never called: the browser paces frames with requestAnimationFrame, and nothing may block.
void platformSleep(uint32_t) {}

// The page is the display.
bool platformOpenDisplay(const char**) { return true; }

// The page asked the question itself, in its own buttons: the click on the answer is what lets
// the browser start the sound.
Answer platformAskYesNo(const char*, const char*, const char**) {
    return webPlatform().answerYes ? Answer::yes : Answer::no;
}

// The canvas goes to full screen in the click on Yes (a browser grants it only there), scaled by
// whole factors: any depth is accepted once it was asked for.
bool platformSetFullScreenMode(int, int, int) { return webPlatform().fullScreen; }

// The page scales the canvas in full screen itself; where the browser refused full screen the
// demo runs in the page, so there is no desktop to cover.
bool platformDesktopSize(int*, int*) { return false; }
void platformCoverScreen(PresentArea) {}

void platformShowCursor(bool shown) { skrWebShowCursor(shown); }

// The window is the page's 640×480 canvas, always there.
bool platformCreateWindow(const char*, int width, int height, bool (*startUp)(void* host, const char** reason),
                          void* host, const char** reason) {
    if (width != 640 || height != 480) {
        *reason = "the page's canvas is 640x480";
        return false;
    }
    webPlatform().windowOpen = true;
    webPlatform().host = host;
    if (startUp(host, reason)) return true;
    platformDestroyWindow();
    return false;
}

// The canvas takes its own byte order, so the frame lives in ordinary memory and is converted
// at every presentation.
uint8_t* platformCreateFrameMemory(int, int) { return nullptr; }
void platformFreeFrameMemory(uint8_t*) {}

void platformPresent(const uint8_t* pixels, int width, int height) {
    WebPlatform& w = webPlatform();
    if (!w.windowOpen) return;
    w.rgba.resize(size_t(width) * height * 4);
    bgrxToRgba(pixels, w.rgba.data(), width * height);
    skrWebPresent(w.rgba.data(), width, height);
}

bool platformPollQuit() { return webPlatform().quitRequested; }

void platformDestroyWindow() {
    WebPlatform& w = webPlatform();
    if (!w.windowOpen) return;
    w.windowOpen = false;
    w.host = nullptr;
    skrWebWindowClosed();
}

void* platformWindowHost() { return webPlatform().host; }
