// The program's entry on Windows: WinMain and the window's messages, which drive the host's
// steps. The start asks the question, sets the display mode and creates the window; creating it
// runs the start-up (WM_CREATE), every paint request and every timer message runs a frame step,
// Escape or closing the window destroys it, and its WM_DESTROY runs the end.
#include <windows.h>
#include <mmsystem.h>

#include <memory>

#include "host/demo.h"
#include "host/entry.h"
#include "platform/platform.h"
#include "platform/realtime_services.h"
#include "platform/win32/win32_window.h"

namespace {

// The demo this window shows; nullptr before the window's creation and after its end.
Demo* windowDemo() { return static_cast<Demo*>(platformWindowHost()); }

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        // Runs inside CreateWindowExA, before mainWindow and windowDC are set.
        Win32Window& w = win32Window();
        if (!w.startUp(w.host, &w.startUpReason)) {
            MessageBoxA(nullptr, w.startUpReason, w.title, MB_OK | MB_ICONERROR);
            return -1;  // window creation fails; the entry returns 1
        }
        SetTimer(window, 0, 0, nullptr);
        return 0;
    }
    case WM_PAINT:
        // Never validated (no BeginPaint, no EndPaint): the system sends the next paint request
        // as soon as the queue is otherwise empty, so frames run back to back, paced by the
        // presentation.
        if (Demo* demo = windowDemo()) stepDemo(*demo);
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
    case WM_DESTROY:
        // The end stops the player, deletes the presentation bitmap, releases the device context
        // and unregisters the class; its exit code (0) is the one WinMain returns.
        PostQuitMessage(windowDemo() ? endDemo(*windowDemo()) : 0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

// Only the instance and the command line are used. An empty command line asks the full-screen
// question; any text at all (even one space) opens the window without asking. Returns 0 after
// Escape or closing the window, 1 when no window could be made or the start-up failed.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    Win32Window& w = win32Window();
    w.instanceHandle = instance;
    w.windowProc = windowProc;
    // 1 ms timer resolution for the whole run: the tick count the frame clock and the pacing
    // read, the pacing's waits and the feeder's 5 ms polls all move in 1 ms steps instead of
    // about 16.
    timeBeginPeriod(1);

    const std::unique_ptr<Demo> demo = std::make_unique<Demo>();
    demo->services = platformRealtimeServices();
    demo->feeding = PlayerFeeding::thread;
    const DemoStart start = startDemo(*demo, commandLine);
    int exitCode = start.exitCode;
    if (start.running) {
        MSG message{};
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        exitCode = int(message.wParam);
    }
    timeEndPeriod(1);
    return exitCode;
}
