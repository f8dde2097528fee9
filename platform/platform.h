#pragma once
// What the demo needs from the machine it runs on: a millisecond tick count, a display, the start
// question, a display mode, one window with a 640×480 client area, presentation of a frame
// and the events that end the program. One backend per folder (sdl, win32, web, offline);
// nothing outside platform/ and the entry files includes a platform header.
#include <cstdint>

// Milliseconds since an arbitrary start, unsigned 32-bit, wrapping past 2^32 like GetTickCount.
uint32_t platformTickCount();

// Waits for about `milliseconds`; used only to pace frames where the display gives no vsync.
void platformSleep(uint32_t milliseconds);

// Where frames appear in the window, in its pixels: the frame scaled by a whole factor to
// width × height (multiples of the frame's size), its top-left corner at (x, y), black around.
struct PresentArea {
    int x, y;           // negative where the screen is smaller than the frame: the edges are cut
    int width, height;  // pixels
};

// Connects to a display a person can see. False when there is none (an off-screen driver that
// the user did not ask for counts as none); `reason` then says why in one line.
bool platformOpenDisplay(const char** reason);

enum class Answer { yes, no, notAsked };

// Asks a yes/no question in a modal box with the given text and caption. A closed box answers
// no; notAsked when no box can be shown, and `reason` then says why.
Answer platformAskYesNo(const char* text, const char* caption, const char** reason);

// Asks for a full-screen display mode of exactly width × height at the given depth.
// True when the platform accepts it; the window created next then covers the screen.
bool platformSetFullScreenMode(int width, int height, int bitsPerPixel);

// The size in pixels of the desktop's own mode on the screen the window will open on. False
// when it cannot be told.
bool platformDesktopSize(int* width, int* height);

// Asks for the whole screen at the desktop's own mode, without changing the mode: the window
// created next is borderless, covers the screen and shows each frame in `area`. Where the
// window system refuses, the window mode with the cursor shown instead.
void platformCoverScreen(PresentArea area);

// Hides or shows the mouse cursor over the window.
void platformShowCursor(bool shown);

// Creates the one window, visible, not resizable, with the given title and a client area of
// exactly width × height (full screen when a mode was accepted), and runs `startUp(host)` once
// while making it: on Windows inside the window's creation message, before the window is shown and
// before its device context is fetched; elsewhere right after the window exists. Where the
// window system asks for paint, the first frame follows before this returns. False when no
// window can be made, or when `startUp` returned false: no window is left then, and `reason`
// says why (the start-up's own reason in the second case).
bool platformCreateWindow(const char* title, int width, int height, bool (*startUp)(void* host, const char** reason),
                          void* host, const char** reason);

// The `host` given to platformCreateWindow, for entries whose steps the platform calls (the
// window's messages on Windows, the page on the web); nullptr before it and after
// platformDestroyWindow.
void* platformWindowHost();

// Memory for a width × height frame of 32-bit top-down pixels that platformPresent shows with no
// copy in between (Windows: the bits of a DIB section); nullptr where the platform has none, and
// the caller then makes ordinary memory. Released with platformFreeFrameMemory.
uint8_t* platformCreateFrameMemory(int width, int height);
void platformFreeFrameMemory(uint8_t* pixels);

// Shows a 32-bit top-down frame of width × height pixels, bytes blue, green, red, unused, in
// the window's client area at (0, 0), or scaled into the area of platformCoverScreen. Paces the
// caller to the display's refresh.
void platformPresent(const uint8_t* pixels, int width, int height);

// Handles the pending window events. True once the program should end: Escape pressed down
// or the window closed. Other keys do nothing. On Windows the window's own messages end the
// program (Escape and closing destroy the window), so this is always false there.
bool platformPollQuit();

// Closes the window and returns the display to its own mode. On Windows the window has been
// destroyed already (its WM_DESTROY calls this): what it held is released.
void platformDestroyWindow();
