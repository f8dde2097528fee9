#pragma once
// The program's run from its command line to its exit code, as three steps that every entry
// drives on one Demo record: the start (the display, the full-screen question, the display
// mode, the window and, inside its creation, the start-up), one frame step at a time until
// Escape or close, and the end (the shutdown, the window closed). Linux loops over the frame
// step (runDemo); the browser calls it once per animation frame; Windows calls it from the
// window's paint and timer messages and runs the end from WM_DESTROY. Those entries find their
// Demo again through platformWindowHost().
struct Demo;

// What the start leaves the entry to do.
struct DemoStart {
    bool running;   // true: drive stepDemo, then endDemo
    int  exitCode;  // when not running: the program's exit code (1), the reason already on stderr
};

// An empty command line asks "Run in fullscreen?"; any text at all (even one space) runs in a
// window without asking, and so does a question that cannot be shown (with one line on standard
// error). Yes takes a real 640×480 mode, or else covers the whole screen at the desktop's own
// mode with the frame scaled by a whole factor. Not running, exit code 1, when there is no
// display, no window can be opened or the start-up fails (with one line on standard error).
// `demo` holds what its entry set (services, feeding) and stays in place until endDemo.
DemoStart startDemo(Demo& demo, const char* commandLine);

// One frame: false, and nothing drawn, once the program should end (Escape, the window closed,
// the page's stop); otherwise one frame rendered and presented (the player fed first where the
// frames feed it).
bool stepDemo(Demo& demo);

// Stops the player, releases what the start-up made, closes the window. Returns the exit code:
// 0. Does only the closing where the start-up never completed.
int endDemo(Demo& demo);

// Refills the player's ring behind the play position where the frames feed it and a song plays:
// for the web page, whenever its audio side reports how far it has played.
void feedFrameFedPlayer(Demo& demo);

// The three steps in one loop on a Demo of its own, with the platform's services: the start,
// frame steps until one returns false, the end. Returns the exit code.
int runDemo(const char* commandLine);
