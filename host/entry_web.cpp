// The program's entry in a web browser. The browser calls in and never lets a loop block: the
// page (platform/web/index.html) asks the question in its own buttons, then starts the demo
// here (the host's start, as on every platform), calls the host's frame step once per animation
// frame, feeds the player whenever the audio side reports its position, and asks to quit on
// Escape, on leaving full screen or on its stop control. No feeder thread runs: the player is
// fed on this, the page's only thread.
#include <emscripten.h>

#include "host/demo.h"
#include "host/entry.h"
#include "host/frame_driver.h"
#include "maths/portable_math.h"
#include "platform/platform.h"
#include "platform/realtime_services.h"
#include "platform/web/web_platform.h"

namespace {

// The demo the page runs, from its start until its end: the canvas's host.
Demo* pageDemo() { return static_cast<Demo*>(platformWindowHost()); }

}  // namespace

extern "C" {

// Starts the demo as the page decided: `windowMode` (the address holds ?window) skips the
// question; otherwise `answerYes` is the answer given in the page and `fullScreen` says the
// canvas was sent to full screen in that click. `virtualClock`: the capture mode, whose tick
// count the page sets frame by frame. Returns 0, or 1 with a message on the console.
EMSCRIPTEN_KEEPALIVE int webStart(int windowMode, int answerYes, int fullScreen, int virtualClock) {
    WebPlatform& w = webPlatform();
    w.answerYes = answerYes != 0;
    w.fullScreen = fullScreen != 0;
    w.virtualClock = virtualClock != 0;
    w.tickCount = 0;
    w.quitRequested = false;
    Demo* demo = new Demo{};
    demo->services = platformRealtimeServices();
    // The player is fed from here, by the frames and the audio side's position messages.
    demo->feeding = PlayerFeeding::frames;
    // ?window stands for the command line's argument: no question.
    const DemoStart start = startDemo(*demo, windowMode ? "?window" : "");
    if (start.running) return 0;
    delete demo;
    return start.exitCode;
}

// One frame step: the player fed, one frame drawn and shown. Returns 1 while the demo runs; 0
// once it has ended (Escape, the stop control, full screen left): the sound is stopped and the
// page says so.
EMSCRIPTEN_KEEPALIVE int webFrame() {
    Demo* demo = pageDemo();
    if (!demo) return 0;
    if (stepDemo(*demo)) return 1;
    endDemo(*demo);
    delete demo;
    return 0;
}

// The capture mode's frame k at `fps` frames a second: the clock reads floor((k + 1) × 1000 / fps)
// at the frame's end, as demo-capture's virtual clock does. The page has moved the audio side to
// floor(k × 44100 / fps) frames played before.
EMSCRIPTEN_KEEPALIVE int webCaptureFrame(int k, int fps) {
    webPlatform().tickCount = uint32_t(int64_t(k + 1) * 1000 / fps);
    return webFrame();
}

// The audio side reported its position: refill what it has played (a background tab gets no
// animation frames, but its audio keeps asking).
EMSCRIPTEN_KEEPALIVE void webFeed() {
    if (Demo* demo = pageDemo()) feedFrameFedPlayer(*demo);
}

// Escape, the stop control or leaving full screen: the next frame step ends the demo.
EMSCRIPTEN_KEEPALIVE void webQuit() { webPlatform().quitRequested = true; }

// What the page shows the tests: the song's audible order position and the scene's position.
EMSCRIPTEN_KEEPALIVE int webSongPosition() {
    const Demo* demo = pageDemo();
    return demo && demo->player ? getSongPosition(*demo->player) : 0;
}
EMSCRIPTEN_KEEPALIVE int webScenePosition() {
    const Demo* demo = pageDemo();
    return demo ? demo->driver.scenePosition : 0;
}

// The high (half 1) or low (half 0) 32 bits of portableMathDigest, which the tests compare with
// the native build's.
EMSCRIPTEN_KEEPALIVE uint32_t webMathDigest(int half) {
    const uint64_t digest = portableMathDigest();
    return uint32_t(half ? digest >> 32 : digest);
}

}  // extern "C"

// Nothing happens until the page calls webStart.
int main() { return 0; }
