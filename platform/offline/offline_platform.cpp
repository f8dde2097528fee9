#include "platform/offline/offline_platform.h"

#include "platform/platform.h"
#include "platform/std_thread.h"

OfflinePlatform& offlinePlatform() {
    static OfflinePlatform state;
    return state;
}

namespace {

void record(std::string call) {
    OfflinePlatform& p = offlinePlatform();
    if (p.recordCalls) p.calls.push_back(std::move(call));
}

}  // namespace

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
    record("openDisplay");
    if (!offlinePlatform().noDisplay) return true;
    *reason = "no display here";
    return false;
}

Answer platformAskYesNo(const char* text, const char* caption, const char** reason) {
    OfflinePlatform& p = offlinePlatform();
    record("askYesNo");
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
    record("setFullScreenMode " + std::to_string(bitsPerPixel));
    p.modesTried.push_back(bitsPerPixel);
    const bool accepted = width == 640 && height == 480 &&
                          ((bitsPerPixel == 24 && p.accepts24Bits) || (bitsPerPixel == 32 && p.accepts32Bits));
    p.fullScreen = p.fullScreen || accepted;
    return accepted;
}

bool platformDesktopSize(int* width, int* height) {
    OfflinePlatform& p = offlinePlatform();
    record("desktopSize");
    *width = p.desktopWidth;
    *height = p.desktopHeight;
    return p.desktopWidth > 0 && p.desktopHeight > 0;
}

void platformCoverScreen(PresentArea area) {
    OfflinePlatform& p = offlinePlatform();
    record("coverScreen");
    p.coversScreen = true;
    p.coverArea = area;
}

void platformShowCursor(bool shown) {
    OfflinePlatform& p = offlinePlatform();
    record(shown ? "showCursor true" : "showCursor false");
    p.cursorShown = shown;
}

bool platformCreateWindow(const char* title, int width, int height, bool (*startUp)(void* host, const char** reason),
                          void* host, const char** reason) {
    OfflinePlatform& p = offlinePlatform();
    record("createWindow");
    if (p.refuseWindow) {
        *reason = "no window here";
        return false;
    }
    p.windowOpen = true;
    p.windowTitle = title;
    p.windowWidth = width;
    p.windowHeight = height;
    p.host = host;
    if (startUp(host, reason)) return true;
    platformDestroyWindow();
    return false;
}

uint8_t* platformCreateFrameMemory(int width, int height) {
    OfflinePlatform& p = offlinePlatform();
    record("createFrameMemory");
    if (!p.hasFrameMemory) return nullptr;
    p.frameMemory.assign(static_cast<size_t>(width) * height * 4, 0);
    return p.frameMemory.data();
}

void platformFreeFrameMemory(uint8_t* pixels) {
    OfflinePlatform& p = offlinePlatform();
    record("freeFrameMemory");
    if (pixels && pixels == p.frameMemory.data()) ++p.frameMemoryReleases;
}

void platformPresent(const uint8_t* pixels, int width, int height) {
    OfflinePlatform& p = offlinePlatform();
    record("present");
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
    OfflinePlatform& p = offlinePlatform();
    record("pollQuit");
    return p.quitAfterFrames >= 0 && p.framesPresented >= p.quitAfterFrames;
}

void platformDestroyWindow() {
    OfflinePlatform& p = offlinePlatform();
    record("destroyWindow");
    p.windowOpen = false;
    p.host = nullptr;
}

void* platformWindowHost() { return offlinePlatform().host; }
