// The window and its display on Win32: the start question in a message box, a real 640×480 mode
// through ChangeDisplaySettingsA, or a borderless popup over the primary monitor at its own mode,
// and the window of the class "zef" whose procedure is the entry's.
#include "platform/win32/win32_window.h"

namespace {

constexpr const char* kClassName = "zef";

// The primary monitor's rectangle in screen pixels, at its own mode. False when it cannot be told.
bool primaryMonitor(RECT& rect) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info)) return false;
    rect = info.rcMonitor;
    return rect.right > rect.left && rect.bottom > rect.top;
}

}  // namespace

Win32Window& win32Window() {
    static Win32Window state{};
    return state;
}

// Windows always has its desktop to show the window on.
bool platformOpenDisplay(const char**) { return true; }

Answer platformAskYesNo(const char* text, const char* caption, const char** reason) {
    switch (MessageBoxA(nullptr, text, caption, MB_YESNO)) {
    case IDYES: return Answer::yes;
    case 0: *reason = "MessageBoxA failed"; return Answer::notAsked;
    default: return Answer::no;
    }
}

// A DEVMODEA of zeros with only the size and the depth asked for; no refresh rate or other field.
bool platformSetFullScreenMode(int width, int height, int bitsPerPixel) {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;  // 156
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmPelsWidth = DWORD(width);
    mode.dmPelsHeight = DWORD(height);
    mode.dmBitsPerPel = DWORD(bitsPerPixel);
    const bool accepted = ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
    Win32Window& w = win32Window();
    w.modeInForce = w.modeInForce || accepted;
    return accepted;
}

bool platformDesktopSize(int* width, int* height) {
    Win32Window& w = win32Window();
    if (!primaryMonitor(w.monitor)) return false;
    *width = w.monitor.right - w.monitor.left;
    *height = w.monitor.bottom - w.monitor.top;
    return true;
}

// The popup covers the monitor that platformDesktopSize measured.
void platformCoverScreen(PresentArea area) {
    Win32Window& w = win32Window();
    if (w.monitor.right <= w.monitor.left || w.monitor.bottom <= w.monitor.top) return;
    w.coversScreen = true;
    w.frameArea = area;
    w.clientWidth = w.monitor.right - w.monitor.left;
    w.clientHeight = w.monitor.bottom - w.monitor.top;
}

void platformShowCursor(bool shown) { ShowCursor(shown ? TRUE : FALSE); }

// Registers the class, creates the window (its WM_CREATE runs the start-up), fetches the device
// context and runs the first frame.
bool platformCreateWindow(const char* title, int width, int height, bool (*startUp)(void* host, const char** reason),
                          void* host, const char** reason) {
    Win32Window& w = win32Window();
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = 0;
    windowClass.lpfnWndProc = w.windowProc;
    windowClass.hInstance = w.instanceHandle;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    w.classRegistered = RegisterClassExA(&windowClass) != 0;

    DWORD style = WS_VISIBLE;  // overlapped: title bar and border, no system menu, fixed size
    DWORD exStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
    if (w.modeInForce || w.coversScreen) {
        style = WS_POPUP | WS_VISIBLE;
        exStyle = WS_EX_APPWINDOW;
    }
    // The system gives every overlapped window a caption, though WS_VISIBLE alone does not say
    // so; adjusting for the style as written would leave the client area a caption short.
    RECT rect{0, 0, width, height};
    AdjustWindowRectEx(&rect, style == WS_VISIBLE ? style | WS_CAPTION : style, FALSE, exStyle);
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
    if (w.coversScreen) {
        // A popup has no frame: its client area is the whole monitor.
        rect = w.monitor;
        x = w.monitor.left;
        y = w.monitor.top;
    }

    w.startUp = startUp;
    w.host = host;
    w.title = title;
    w.startUpReason = nullptr;
    const HWND window = CreateWindowExA(exStyle, kClassName, title, style, x, y, rect.right - rect.left,
                                        rect.bottom - rect.top, nullptr, nullptr, w.instanceHandle, nullptr);
    if (!window) {
        *reason = w.startUpReason ? w.startUpReason : "CreateWindowExA failed";
        platformDestroyWindow();
        return false;
    }
    w.mainWindow = window;
    w.windowDC = GetDC(window);

    SetForegroundWindow(window);
    UpdateWindow(window);  // the first frame, with windowDC in place
    SetForegroundWindow(window);
    ShowWindow(window, SW_SHOW);
    return true;
}

// Quit events are window messages here: Escape and closing the window destroy it.
bool platformPollQuit() { return false; }

// Called from the window's WM_DESTROY (or after a creation that failed): the window is going
// already. The display mode was set with CDS_FULLSCREEN, which the system takes back when the
// process ends.
void platformDestroyWindow() {
    Win32Window& w = win32Window();
    if (w.windowDC) ReleaseDC(w.mainWindow, w.windowDC);
    w.windowDC = nullptr;
    if (w.classRegistered) UnregisterClassA(kClassName, w.instanceHandle);
    w.classRegistered = false;
    w.host = nullptr;
}

void* platformWindowHost() { return win32Window().host; }
