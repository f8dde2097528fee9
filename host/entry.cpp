#include "host/entry.h"

#include <cstdio>
#include <memory>

#include "host/demo.h"
#include "host/frame_driver.h"
#include "host/scaled_area.h"
#include "platform/platform.h"
#include "platform/realtime_services.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// A real 640×480 mode: 24 bits first, then 32. Neither (many laptop panels, Wayland): the whole
// screen at the desktop's own mode with the frame scaled up. False when not even the desktop's
// size can be told: the window mode, cursor shown.
bool enterFullScreen() {
    if (platformSetFullScreenMode(kWidth, kHeight, 24) || platformSetFullScreenMode(kWidth, kHeight, 32)) return true;
    int screenWidth = 0, screenHeight = 0;
    if (!platformDesktopSize(&screenWidth, &screenHeight) || screenWidth <= 0 || screenHeight <= 0) return false;
    platformCoverScreen(scaledFrameArea(screenWidth, screenHeight, kWidth, kHeight));
    return true;
}

// The start question; with no box to ask in, the window mode and one line saying so.
bool fullScreenWanted() {
    const char* reason = "";
    const Answer answer = platformAskYesNo("Run in fullscreen?", "Fullscreen", &reason);
    if (answer == Answer::notAsked)
        std::fprintf(stderr, "skr4mm3lb0d: could not ask whether to run in fullscreen (%s); running in a window\n",
                     reason);
    return answer == Answer::yes;
}

// Run by the platform while it makes the window (on Windows from WM_CREATE): everything the
// frames need, then the demo clock starts.
bool startUpInWindow(void* host, const char** reason) {
    Demo& d = *static_cast<Demo*>(host);
    d.running = demoStartUp(d, d.startUpReason);
    d.startUpFailed = !d.running;
    *reason = d.startUpReason.c_str();
    return d.running;
}

}  // namespace

DemoStart startDemo(Demo& d, const char* commandLine) {
    d.running = d.startUpFailed = false;
    d.startUpReason.clear();
    const char* reason = "";
    if (!platformOpenDisplay(&reason)) {
        std::fprintf(stderr, "skr4mm3lb0d: %s\n", reason);
        return {false, 1};
    }
    const bool wanted = commandLine[0] == '\0' && fullScreenWanted();
    const bool fullScreen = wanted && enterFullScreen();
    if (fullScreen) platformShowCursor(false);

    if (!platformCreateWindow("Skr4mm3lb0d", kWidth, kHeight, startUpInWindow, &d, &reason)) {
        if (d.startUpFailed)
            std::fprintf(stderr, "skr4mm3lb0d: %s\n", d.startUpReason.c_str());
        else
            std::fprintf(stderr, "skr4mm3lb0d: cannot open a window: %s\n", reason);
        return {false, 1};
    }
    return {true, 0};
}

void feedFrameFedPlayer(Demo& d) {
    if (d.running && d.feeding == PlayerFeeding::frames && d.player) feedPlayer(*d.player);
}

bool stepDemo(Demo& d) {
    if (!d.running || platformPollQuit()) return false;
    renderFrame(d);
    return true;
}

int endDemo(Demo& d) {
    if (d.running) demoShutdown(d);
    d.running = false;
    platformDestroyWindow();
    return 0;
}

int runDemo(const char* commandLine) {
    const std::unique_ptr<Demo> demo = std::make_unique<Demo>();
    demo->services = platformRealtimeServices();
    demo->feeding = PlayerFeeding::thread;
    const DemoStart start = startDemo(*demo, commandLine);
    if (!start.running) return start.exitCode;
    while (stepDemo(*demo)) {
    }
    return endDemo(*demo);
}
