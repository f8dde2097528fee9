#pragma once
// The offline platform: a virtual tick count, an in-memory window and real threads that a test
// can refuse. Tools render the demo with it deterministically; tests drive the host through it
// and read what it was asked to do.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/platform.h"

struct OfflinePlatform {
    void*    host;                  // platformCreateWindow's
    // Set by the caller before the run.
    bool     noDisplay;             // platformOpenDisplay finds none
    bool     noQuestionBox;         // the start question cannot be shown
    bool     answerYes;             // the answer to the start question
    bool     accepts24Bits;         // whether a 640×480 mode at 24 bits exists
    bool     accepts32Bits;         // the same at 32 bits
    int      desktopWidth;          // pixels of the desktop's own mode; 0: cannot be told
    int      desktopHeight;
    uint32_t tickCount;             // ms; what platformTickCount returns
    uint32_t tickPerPresent;        // ms added to tickCount by every presentation
    int      quitAfterFrames;       // platformPollQuit answers true once this many were presented
    bool     hasFrameMemory;        // hands out frame memory of its own, as Windows does
    bool     refuseThreads;         // platformStartThread fails, as where no thread can be made
    bool     refuseWindow;          // platformCreateWindow fails before making a window
    bool     recordCalls;           // list the calls in `calls` (tests; a long run would grow it)

    // Recorded during the run.
    // With recordCalls, every call of the display, window and frame interface in order, by name
    // without its "platform" prefix ("createWindow", "present"); a mode request with its depth
    // ("setFullScreenMode 24"), the cursor with its state ("showCursor false"). The tick count,
    // sleeps, threads, resources and audio are not listed.
    std::vector<std::string> calls;
    int         questionsAsked;
    std::string questionText;
    std::string questionCaption;
    std::vector<int> modesTried;    // bits per pixel of every full-screen request, in order
    bool        fullScreen;         // a mode was accepted
    bool        coversScreen;       // platformCoverScreen was asked
    PresentArea coverArea;          // with this area
    bool        cursorShown;
    bool        windowOpen;
    std::string windowTitle;
    int         windowWidth;
    int         windowHeight;
    int         framesPresented;
    const uint8_t* presentedFrom;   // the pixels the last presentation was given
    size_t      presentedBytes;     // their size: width × height × 4
    std::vector<uint8_t> frameMemory; // the frame memory handed out (hasFrameMemory)
    int         frameMemoryReleases; // platformFreeFrameMemory calls with that memory
};

OfflinePlatform& offlinePlatform();

// Back to a fresh machine: a display, question answered No, no full-screen modes, no desktop
// size, tick count 0.
void resetOfflinePlatform();

// The last presented frame, read where it was presented from: like a window over its frame
// memory, the offline screen shows that memory as it is now, so presenting costs no copy and
// this holds until the demo draws again or frees the memory. Empty before the first presentation.
std::span<const uint8_t> presentedFrame();
