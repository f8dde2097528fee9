#pragma once
// The one window on Win32, shared by the backend and the Windows entry. The backend makes it
// (the class "zef", the display mode or the popup over the primary monitor, the window) as
// platform.h asks; the entry's window procedure, registered with the class, drives the host's
// steps from the window's messages: the start-up on WM_CREATE, a frame on every paint request
// and timer message, the end on WM_DESTROY.
#include <windows.h>

#include "platform/platform.h"

struct Win32Window {
    // Set by the entry before anything else.
    HINSTANCE   instanceHandle;
    WNDPROC     windowProc;      // the entry's message handling, registered with the class

    // Set by platformCreateWindow for the entry's WM_CREATE, which runs the start-up.
    bool (*startUp)(void* host, const char** reason);
    void*       host;            // the entry's, for startUp and the window's messages
    const char* title;           // the window's title, also the caption of a failed start-up's box
    const char* startUpReason;   // what a failed start-up said; nullptr while none failed

    HWND        mainWindow;      // set when window creation returns
    HDC         windowDC;        // fetched right after creation, held until shutdown; nullptr
                                 // until then, and presenting does nothing
    bool        classRegistered;
    bool        modeInForce;     // a 640×480 display mode was accepted
    RECT        monitor;         // the primary monitor in screen pixels, as platformDesktopSize read it
    // Set by platformCoverScreen where the monitor has no 640×480 mode: a popup over the whole
    // monitor; otherwise frames go 1:1 to the client area's corner.
    bool        coversScreen;
    PresentArea frameArea;       // client pixels the frame is stretched to, black around
    int         clientWidth;     // pixels: the monitor's size
    int         clientHeight;
};

Win32Window& win32Window();
