#pragma once
// The web backend's state: what the page decided before the demo started (the answer to the
// question, full screen), the quit request, and the virtual clock of the capture mode. The page
// sets it through the web entry; the platform calls read it.
#include <cstdint>
#include <vector>

struct WebPlatform {
    void* host;            // platformCreateWindow's: the demo the page's calls step
    // Set by the page before start-up.
    bool answerYes;        // the page's "Run in fullscreen?" was answered Yes
    bool fullScreen;       // the page asked the browser for full screen (in the click)
    bool virtualClock;     // capture mode: the tick count is tickCount, not the browser's clock

    uint32_t tickCount;    // ms; platformTickCount under the virtual clock
    bool     quitRequested;  // Escape, the stop control, or leaving full screen
    bool     windowOpen;     // between platformCreateWindow and platformDestroyWindow
    std::vector<uint8_t> rgba;  // the presented frame, bytes red, green, blue, alpha 255
};

WebPlatform& webPlatform();

// Back to a page that has not started: no answer, real clock, nothing requested.
void resetWebPlatform();

// The 32-bit frame of bytes blue, green, red, unused turned into the canvas's bytes red, green,
// blue, alpha = 255 (so reading the canvas back gives exactly these values).
void bgrxToRgba(const uint8_t* bgrx, uint8_t* rgba, int pixels);
