#include "host/entry.h"

#include <cstdio>
#include <string>

#include "host/demo.h"
#include "host/frame_driver.h"
#include "platform/platform.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// A real 640×480 mode: 24 bits first, then 32. Neither: the window mode, cursor shown.
bool enterFullScreen() {
    return platformSetFullScreenMode(kWidth, kHeight, 24) || platformSetFullScreenMode(kWidth, kHeight, 32);
}

}  // namespace

int runDemo(const char* commandLine) {
    const bool wanted = commandLine[0] == '\0' && platformAskYesNo("Run in fullscreen?", "Fullscreen");
    const bool fullScreen = wanted && enterFullScreen();
    if (fullScreen) platformShowCursor(false);

    const char* windowReason = "";
    if (!platformCreateWindow("Skr4mm3lb0d", kWidth, kHeight, &windowReason)) {
        std::fprintf(stderr, "skr4mm3lb0d: cannot open a window: %s\n", windowReason);
        return 1;
    }
    std::string reason;
    if (!demoStartUp(reason)) {
        std::fprintf(stderr, "skr4mm3lb0d: %s\n", reason.c_str());
        platformDestroyWindow();
        return 1;
    }
    while (!platformPollQuit()) renderFrame();
    demoShutdown();
    platformDestroyWindow();
    return 0;
}
