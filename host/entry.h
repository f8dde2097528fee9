#pragma once
// The program's run from its command line to its exit code: the display, the full-screen
// question, the display mode, the window, the start-up, frames until Escape or close, the
// shutdown.

// An empty command line asks "Run in fullscreen?"; any text at all (even one space) runs in a
// window without asking, and so does a question that cannot be shown (with one line on standard
// error). Yes takes a real 640×480 mode, or else covers the whole screen at the desktop's own
// mode with the frame scaled by a whole factor. Returns the exit code: 0 after Escape or closing
// the window, 1 when there is no display, no window can be opened or the start-up fails (with
// one line on standard error).
int runDemo(const char* commandLine);
