#pragma once
// The demo: everything the one-time start-up builds and the frames use, in one record that the
// entry makes and passes down (the surfaces of the composition, the effects, the song and its
// player, the frame driver), and the start-up and shutdown that fill and empty it.
#include <cstdint>
#include <string>
#include <string_view>

#include "effects/chain.h"
#include "effects/font.h"
#include "effects/logo_wobble.h"
#include "effects/rotozoomer.h"
#include "effects/scroller.h"
#include "gfx/surface.h"
#include "host/frame_driver.h"
#include "xmplayer.h"
#include "xmplayer_realtime.h"

// Who refills the player's ring behind the device.
enum class PlayerFeeding {
    thread,  // the real-time layer's feeder thread
    frames,  // every frame step (and the web page's audio reports): no thread may run (the
             // offline tools, the browser), or none could start
};

struct Demo {
    // Set by the entry before the start.
    RealtimeServices services;  // the platform's audio device, clock and thread for the player
    PlayerFeeding    feeding;   // asked for; the start-up turns `thread` into `frames` where the
                                // thread cannot start

    // The run, between the entry's steps.
    bool        running;        // the start-up completed and the end has not run
    bool        startUpFailed;  // the start-up ran inside window creation and failed
    std::string startUpReason;  // its reason; lives here for the platform's reason pointer

    // Built by the start-up, freed by the shutdown.
    Surface frameSurface;     // 640×480, what the window shows
    Surface workSurface;      // 320×240, the composition
    Surface effectSurface;    // 320×240, the rotozoomer's output
    Surface logoBitmap;       // 272×48, colour key as alpha
    Surface logoSurface;      // logo + 32 pixels of margin each way: 336×112
    bool    frameOnPlatform;  // frameSurface's pixels are the platform's presentation memory

    RotozoomerState rotozoomer;
    ChainState      chain;
    FontState       font;
    ScrollerState   scroller;
    LogoWobbleState logoWobble;

    xmplayer_module* song;             // nullptr: the demo runs silently, the timeline at position 0
    RealtimePlayer*  player;           // plays the song through the audio device
    bool             silenceReported;  // the one line about playing without a sound device is out

    FrameDriver driver;  // the clock, the scene timeline and the animation parameters
};

// Builds the surfaces, the logo, the effects with their pictures and tables, and the song, starts
// the player, then starts the demo clock, so the pre-rendering of the music is not counted as
// demo time. False when a picture the demo needs cannot be loaded; `reason` then says which and
// why. A song that cannot be loaded is reported on stderr and the demo runs silently.
bool demoStartUp(Demo& demo, std::string& reason);

// Stops the player and releases what the start-up made; the record can be started up again.
void demoShutdown(Demo& demo);

// The embedded bitmap with this number, through the platform's own converter where it has one,
// else decoded from its BMP bytes; colour-keyed. The caller owns the surface. When the bitmap is
// missing or malformed: an empty 0×0 surface and the reason in `reason`.
Surface loadBitmapSurface(uint16_t identifier, std::string* reason = nullptr);

// The embedded scroll text, resources/scrolltext.txt: one upper-case line whose bytes live as
// long as the process. Empty when missing.
std::string_view embeddedScrollText();
