#pragma once
// What the demo needs from the machine it runs on: a millisecond tick count, the start
// question, a display mode, one window with a 640×480 client area, presentation of a frame
// and the events that end the program. One backend per folder (sdl, win32, offline);
// nothing outside platform/ and the entry files includes a platform header.
#include <cstdint>

// Milliseconds since an arbitrary start, unsigned 32-bit, wrapping past 2^32 like GetTickCount.
uint32_t platformTickCount();

// Waits for about `milliseconds`; used only to pace frames where the display gives no vsync.
void platformSleep(uint32_t milliseconds);

// Asks a yes/no question in a modal box with the given text and caption. True for Yes;
// false for No, for a closed box and when no box can be shown.
bool platformAskYesNo(const char* text, const char* caption);

// Asks for a full-screen display mode of exactly width × height at the given depth.
// True when the platform accepts it; the window created next then covers the screen.
bool platformSetFullScreenMode(int width, int height, int bitsPerPixel);

// Hides or shows the mouse cursor over the window.
void platformShowCursor(bool shown);

// Creates the one window, visible, not resizable, with the given title and a client area of
// exactly width × height (full screen when a mode was accepted). False when no window can be
// made; `reason` then says why.
bool platformCreateWindow(const char* title, int width, int height, const char** reason);

// Memory for a width × height frame of 32-bit top-down pixels that platformPresent shows with no
// copy in between (Windows: the bits of a DIB section); nullptr where the platform has none, and
// the caller then makes ordinary memory. Released with platformFreeFrameMemory.
uint8_t* platformCreateFrameMemory(int width, int height);
void platformFreeFrameMemory(uint8_t* pixels);

// Shows a 32-bit top-down frame of width × height pixels, bytes blue, green, red, unused, in
// the window's client area at (0, 0). Paces the caller to the display's refresh.
void platformPresent(const uint8_t* pixels, int width, int height);

// Handles the pending window events. True once the program should end: Escape pressed down
// or the window closed. Other keys do nothing.
bool platformPollQuit();

// Closes the window and returns the display to its own mode.
void platformDestroyWindow();
