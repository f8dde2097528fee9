// The program's entry on Windows. Window messages drive everything: creating the window runs the
// start-up, every paint request and every timer message runs a frame, Escape or closing the
// window ends the program.
#include <windows.h>
#include <mmsystem.h>

#include <string>

#include "host/demo.h"
#include "host/frame_driver.h"
#include "host/scaled_area.h"
#include "platform/win32/win32_window.h"

namespace {

constexpr const char* kClassName = "zef";
constexpr const char* kTitle = "Skr4mm3lb0d";
constexpr int kWidth = 640;   // client area, pixels
constexpr int kHeight = 480;

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        // Runs inside CreateWindowExA, before mainWindow and windowDC are set.
        std::string reason;
        if (!demoStartUp(reason)) {
            MessageBoxA(nullptr, reason.c_str(), kTitle, MB_OK | MB_ICONERROR);
            return -1;  // window creation fails; the entry returns 1
        }
        SetTimer(window, 0, 0, nullptr);
        return 0;
    }
    case WM_PAINT:
        // Never validated (no BeginPaint, no EndPaint): the system sends the next paint request
        // as soon as the queue is otherwise empty, so frames run back to back, paced by the
        // presentation.
        renderFrame();
        return 0;
    case WM_TIMER:
        InvalidateRgn(window, nullptr, FALSE);
        UpdateWindow(window);  // runs a frame at once
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) DestroyWindow(window);
        return 0;
    case WM_KEYUP:
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY: {
        // demoShutdown stops the player and deletes the presentation bitmap.
        demoShutdown();
        Win32Window& w = win32Window();
        ReleaseDC(w.mainWindow, w.windowDC);
        w.windowDC = nullptr;
        UnregisterClassA(kClassName, w.instanceHandle);
        PostQuitMessage(0);
        return 0;
    }
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// A 640×480 display mode, 24 bits per pixel first, then 32. True when one was accepted.
bool enterFullScreen() {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;  // 156
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmPelsWidth = kWidth;
    mode.dmPelsHeight = kHeight;
    mode.dmBitsPerPel = 24;
    if (ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL) return true;
    mode.dmBitsPerPel = 32;
    return ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
}

// The primary monitor's rectangle in screen pixels, at its own mode. False when it cannot be told.
bool primaryMonitor(RECT& rect) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info)) return false;
    rect = info.rcMonitor;
    return rect.right > rect.left && rect.bottom > rect.top;
}

// Registers the class, sets the display mode when asked (a real 640×480 mode, or else a popup
// covering the primary monitor at its own mode with the frame scaled up), creates the window
// (which runs the start-up) and runs the first frame. False when no window could be made.
bool createMainWindow(bool fullScreen) {
    Win32Window& w = win32Window();
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = 0;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = w.instanceHandle;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    RegisterClassExA(&windowClass);

    const bool inForce = fullScreen && enterFullScreen();
    RECT monitor{};
    w.coversScreen = fullScreen && !inForce && primaryMonitor(monitor);
    DWORD style = WS_VISIBLE;  // overlapped: title bar and border, no system menu, fixed size
    DWORD exStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
    if (inForce || w.coversScreen) {
        ShowCursor(FALSE);
        style = WS_POPUP | WS_VISIBLE;
        exStyle = WS_EX_APPWINDOW;
    }
    // The system gives every overlapped window a caption, though WS_VISIBLE alone does not say
    // so; adjusting for the style as written would leave the client area a caption short.
    RECT rect{0, 0, kWidth, kHeight};
    AdjustWindowRectEx(&rect, style == WS_VISIBLE ? style | WS_CAPTION : style, FALSE, exStyle);
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
    if (w.coversScreen) {
        // A popup has no frame: its client area is the whole monitor.
        rect = monitor;
        x = monitor.left;
        y = monitor.top;
        w.clientWidth = monitor.right - monitor.left;
        w.clientHeight = monitor.bottom - monitor.top;
        w.frameArea = scaledFrameArea(w.clientWidth, w.clientHeight, kWidth, kHeight);
    }

    const HWND window = CreateWindowExA(exStyle, kClassName, kTitle, style, x, y, rect.right - rect.left,
                                        rect.bottom - rect.top, nullptr, nullptr, w.instanceHandle, nullptr);
    if (!window) return false;
    w.mainWindow = window;
    w.windowDC = GetDC(window);

    SetForegroundWindow(window);
    UpdateWindow(window);  // the first frame, with windowDC in place
    SetForegroundWindow(window);
    ShowWindow(window, SW_SHOW);
    return true;
}

}  // namespace

// Only the instance and the command line are used. An empty command line asks the full-screen
// question; any text at all (even one space) opens the window without asking. Returns 0 after
// Escape or closing the window, 1 when no window could be made.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    win32Window().instanceHandle = instance;
    // 1 ms timer resolution for the whole run: the tick count the frame clock and the pacing
    // read, the pacing's waits and the feeder's 5 ms polls all move in 1 ms steps instead of
    // about 16.
    timeBeginPeriod(1);

    bool fullScreen = false;
    if (commandLine[0] == '\0')
        fullScreen = MessageBoxA(nullptr, "Run in fullscreen?", "Fullscreen", MB_YESNO) == IDYES;
    if (!createMainWindow(fullScreen)) {
        timeEndPeriod(1);
        return 1;
    }

    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    timeEndPeriod(1);
    return int(message.wParam);
}
