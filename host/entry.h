#pragma once
// The program's run from its command line to its exit code: the full-screen question, the
// display mode, the window, the start-up, frames until Escape or close, the shutdown.

// An empty command line asks "Run in fullscreen?"; any text at all (even one space) runs in a
// window without asking. Returns the exit code: 0 after Escape or closing the window, 1 when
// no window can be opened or the start-up fails (with a message on standard error).
int runDemo(const char* commandLine);
