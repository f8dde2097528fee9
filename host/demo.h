#pragma once
// Everything the one-time start-up builds and the frames use: the surfaces of the composition,
// the logo and the song. Lives until the process ends.
#include <cstdint>
#include <string>
#include <string_view>

#include "gfx/surface.h"

struct Module;
struct RealtimePlayer;

struct DemoState {
    Surface frameSurface;   // 640×480, what the window shows
    Surface workSurface;    // 320×240, the composition
    Surface effectSurface;  // 320×240, the rotozoomer's output
    Surface logoBitmap;     // 272×48, colour key as alpha
    Surface logoSurface;    // logo + 32 pixels of margin each way: 336×112
    Module* song;           // nullptr: the demo runs silently with the timeline at position 0
    RealtimePlayer* player; // plays the song through the audio device; made by the start-up
    bool    manualFeeding;  // set before start-up where no feeder thread may run: offline tools
                            // call feedPlayer themselves, the web entry's frame steps feed it
    bool    feedFromFrames;   // the player's thread could not start: every frame feeds it
    bool    frameOnPlatform;  // frameSurface's pixels are the platform's presentation memory
    bool    platformScales;   // set before start-up where the platform shows the 320×240
                              // composition scaled itself (a browser's canvas): it gets
                              // workSurface, and frameSurface is not drawn
    bool    silenceReported;  // the one line about playing without a sound device is out
};

DemoState& demo();

// Builds the surfaces, the logo, the effects with their pictures and tables, and the song, starts
// the player, then starts the demo clock, so the pre-rendering of the music is not counted as
// demo time. False when a picture the demo needs cannot be loaded; `reason` then says which and
// why. A song that cannot be loaded is reported on stderr and the demo runs silently.
bool demoStartUp(std::string& reason);

// Says once, on standard error, that the demo plays silently and why, as soon as the player
// has no sound device: none opened at start-up, or it went away later. Every frame asks.
void reportSilence();

// Stops the player and releases what the start-up made. The process ends right after.
void demoShutdown();

// The embedded bitmap with this number, through the platform's own converter where it has one,
// else decoded from its BMP bytes; colour-keyed. The caller owns the surface. When the bitmap is
// missing or malformed: an empty 0×0 surface and the reason in `reason`.
Surface loadBitmapSurface(uint16_t identifier, std::string* reason = nullptr);

// The embedded scroll text, resources/scrolltext.txt: one upper-case line whose bytes live as
// long as the process. Empty when missing.
std::string_view embeddedScrollText();
