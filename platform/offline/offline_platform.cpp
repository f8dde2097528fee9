#include "platform/offline/offline_platform.h"

#include "platform/platform.h"
#include "platform/std_thread.h"

OfflinePlatform& offlinePlatform() {
    static OfflinePlatform state;
    return state;
}

void resetOfflinePlatform() {
    OfflinePlatform& p = offlinePlatform();
    p = OfflinePlatform{};
    p.cursorShown = true;
    p.quitAfterFrames = -1;
}

uint32_t platformTickCount() { return offlinePlatform().tickCount; }

void platformSleep(uint32_t milliseconds) { offlinePlatform().tickCount += milliseconds; }

bool platformStartThread(PlatformThread& thread, void (*body)(void*), void* argument) {
    if (offlinePlatform().refuseThreads) {
        thread.handle = nullptr;
        return false;
    }
    return startStdThread(thread, body, argument);
}

void platformJoinThread(PlatformThread& thread) { joinStdThread(thread); }

bool platformOpenDisplay(const char** reason) {
    if (!offlinePlatform().noDisplay) return true;
    *reason = "no display here";
    return false;
}

Answer platformAskYesNo(const char* text, const char* caption, const char** reason) {
    OfflinePlatform& p = offlinePlatform();
    if (p.noQuestionBox) {
        *reason = "no message box here";
        return Answer::notAsked;
    }
    ++p.questionsAsked;
    p.questionText = text;
    p.questionCaption = caption;
    return p.answerYes ? Answer::yes : Answer::no;
}

bool platformSetFullScreenMode(int width, int height, int bitsPerPixel) {
    OfflinePlatform& p = offlinePlatform();
    p.modesTried.push_back(bitsPerPixel);
    const bool accepted = width == 640 && height == 480 &&
                          ((bitsPerPixel == 24 && p.accepts24Bits) || (bitsPerPixel == 32 && p.accepts32Bits));
    p.fullScreen = p.fullScreen || accepted;
    return accepted;
}

bool platformDesktopSize(int* width, int* height) {
    const OfflinePlatform& p = offlinePlatform();
    *width = p.desktopWidth;
    *height = p.desktopHeight;
    return p.desktopWidth > 0 && p.desktopHeight > 0;
}

void platformCoverScreen(PresentArea area) {
    OfflinePlatform& p = offlinePlatform();
    p.coversScreen = true;
    p.coverArea = area;
}

void platformShowCursor(bool shown) { offlinePlatform().cursorShown = shown; }

bool platformCreateWindow(const char* title, int width, int height, const char**) {
    OfflinePlatform& p = offlinePlatform();
    p.windowOpen = true;
    p.windowTitle = title;
    p.windowWidth = width;
    p.windowHeight = height;
    return true;
}

uint8_t* platformCreateFrameMemory(int width, int height) {
    OfflinePlatform& p = offlinePlatform();
    if (!p.hasFrameMemory) return nullptr;
    p.frameMemory.assign(static_cast<size_t>(width) * height * 4, 0);
    return p.frameMemory.data();
}

void platformFreeFrameMemory(uint8_t* pixels) {
    OfflinePlatform& p = offlinePlatform();
    if (pixels && pixels == p.frameMemory.data()) ++p.frameMemoryReleases;
}

void platformPresent(const uint8_t* pixels, int width, int height) {
    OfflinePlatform& p = offlinePlatform();
    p.presentedFrom = pixels;
    p.presentedBytes = static_cast<size_t>(width) * height * 4;
    ++p.framesPresented;
    p.tickCount += p.tickPerPresent;
}

std::span<const uint8_t> presentedFrame() {
    const OfflinePlatform& p = offlinePlatform();
    return {p.presentedFrom, p.presentedFrom ? p.presentedBytes : 0};
}

bool platformPollQuit() {
    const OfflinePlatform& p = offlinePlatform();
    return p.quitAfterFrames >= 0 && p.framesPresented >= p.quitAfterFrames;
}

void platformDestroyWindow() { offlinePlatform().windowOpen = false; }
