#pragma once
// The offline platform: a virtual tick count, an in-memory window and real threads that a test
// can refuse. Tools render the demo with it deterministically; tests drive the host through it
// and read what it was asked to do.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct OfflinePlatform {
    // Set by the caller before the run.
    bool     answerYes;             // the answer to the start question
    bool     accepts24Bits;         // whether a 640×480 mode at 24 bits exists
    bool     accepts32Bits;         // the same at 32 bits
    uint32_t tickCount;             // ms; what platformTickCount returns
    uint32_t tickPerPresent;        // ms added to tickCount by every presentation
    int      quitAfterFrames;       // platformPollQuit answers true once this many were presented
    bool     hasFrameMemory;        // hands out frame memory of its own, as Windows does
    bool     refuseThreads;         // platformStartThread fails, as where no thread can be made

    // Recorded during the run.
    int         questionsAsked;
    std::string questionText;
    std::string questionCaption;
    std::vector<int> modesTried;    // bits per pixel of every full-screen request, in order
    bool        fullScreen;         // a mode was accepted
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

// Back to a fresh machine: question answered No, no full-screen modes, tick count 0.
void resetOfflinePlatform();

// The last presented frame, read where it was presented from: like a window over its frame
// memory, the offline screen shows that memory as it is now, so presenting costs no copy and
// this holds until the demo draws again or frees the memory. Empty before the first presentation.
std::span<const uint8_t> presentedFrame();
