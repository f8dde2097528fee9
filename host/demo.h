#pragma once
// Everything the one-time start-up builds and the frames use: the surfaces of the composition,
// the logo and the song. Lives until the process ends.
#include <cstdint>
#include <string>

#include "gfx/surface.h"

struct Module;

// The header every presentation passes with the frame: 640 wide, 480 high top-down, 32 bits.
struct PresentationHeader {
    uint32_t biSize;          // 40
    int32_t  biWidth;         // 640
    int32_t  biHeight;        // −480: rows top to bottom
    uint16_t biPlanes;        // 1
    uint16_t biBitCount;      // 32
    uint32_t biCompression;   // BI_RGB (0)
    uint32_t biSizeImage;     // 0
    int32_t  biXPelsPerMeter; // 0
    int32_t  biYPelsPerMeter; // 0
    uint32_t biClrUsed;       // 256; no colour table applies to 32-bit pixels
    uint32_t biClrImportant;  // 0
};

struct DemoState {
    PresentationHeader presentationHeader;
    Surface frameSurface;   // 640×480, what the window shows
    Surface workSurface;    // 320×240, the composition
    Surface effectSurface;  // 320×240, the rotozoomer's output
    Surface logoBitmap;     // 272×48, colour key as alpha
    Surface logoSurface;    // logo + 32 pixels of margin each way: 336×112
    Module* song;           // nullptr: the demo runs silently with the timeline at position 0
    bool    manualFeeding;  // set before start-up by offline tools, which call feedPlayer
                            // themselves in place of the feeder thread
    bool    feedFromFrames;   // the player's thread could not start: every frame feeds it
    bool    frameOnPlatform;  // frameSurface's pixels are the platform's presentation memory
    bool    silenceReported;  // the one line about playing without a sound device is out
};

DemoState& demo();

// Builds the surfaces, the logo, the effects' tables and the song, starts the player, then starts
// the demo clock, so the pre-rendering of the music is not counted as demo time. False when a
// picture the demo needs cannot be loaded; `reason` then says which and why.
bool demoStartUp(std::string& reason);

// Says once, on standard error, that the demo plays silently and why, as soon as the player
// has no sound device: none opened at start-up, or it went away later. Every frame asks.
void reportSilence();

// Stops the player and releases what the start-up made. The process ends right after.
void demoShutdown();
