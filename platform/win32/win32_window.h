#pragma once
// The one window as the Windows entry makes it and the Win32 backend presents into it. The entry
// creates the window with its own message handling (start-up on WM_CREATE, a frame on every
// paint request), so of platform.h the backend implements only what the core calls: the tick
// count, the frame memory and the presentation.
#include <windows.h>

#include "platform/platform.h"

struct Win32Window {
    HINSTANCE   instanceHandle;  // stored by the entry before anything else
    HWND        mainWindow;      // set when window creation returns
    HDC         windowDC;        // fetched right after creation, held until shutdown; nullptr
                                 // until then, and presenting does nothing
    // Set by the entry when the window covers a monitor that has no 640×480 mode; otherwise
    // frames go 1:1 to the client area's corner.
    bool        coversScreen;
    PresentArea frameArea;       // client pixels the frame is stretched to, black around
    int         clientWidth;     // pixels: the monitor's size
    int         clientHeight;
};

Win32Window& win32Window();
