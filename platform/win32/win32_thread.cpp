// The worker thread on Win32: CreateThread, and WaitForSingleObject to join it.
#include <windows.h>

#include "platform/thread.h"

namespace {

// What the new thread runs; owned by the thread, which frees it before it runs the body.
struct ThreadStart {
    void (*body)(void*);
    void* argument;
};

DWORD WINAPI runBody(LPVOID start) {
    const ThreadStart s = *static_cast<ThreadStart*>(start);
    delete static_cast<ThreadStart*>(start);
    s.body(s.argument);
    return 0;
}

}  // namespace

bool platformStartThread(PlatformThread& thread, void (*body)(void*), void* argument) {
    ThreadStart* start = new ThreadStart{body, argument};
    thread.handle = CreateThread(nullptr, 0, runBody, start, 0, nullptr);
    if (!thread.handle) delete start;
    return thread.handle != nullptr;
}

void platformJoinThread(PlatformThread& thread) {
    if (!thread.handle) return;
    WaitForSingleObject(thread.handle, INFINITE);
    CloseHandle(thread.handle);
    thread.handle = nullptr;
}
