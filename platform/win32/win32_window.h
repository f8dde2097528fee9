#pragma once
// The one window as the Windows entry makes it and the Win32 backend presents into it. The entry
// creates the window with its own message handling (start-up on WM_CREATE, a frame on every
// paint request), so of platform.h the backend implements only what the core calls: the tick
// count, the frame memory and the presentation.
#include <windows.h>

struct Win32Window {
    HINSTANCE instanceHandle;  // stored by the entry before anything else
    HWND      mainWindow;      // set when window creation returns
    HDC       windowDC;        // fetched right after creation, held until shutdown; nullptr
                               // until then, and presenting does nothing
};

Win32Window& win32Window();
