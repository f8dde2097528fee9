// The worker thread on Win32: CreateThread, and WaitForSingleObject to join it.
#include <windows.h>

#include "platform/thread.h"

namespace {

DWORD WINAPI runBody(LPVOID body) {
    reinterpret_cast<void (*)()>(body)();
    return 0;
}

}  // namespace

bool platformStartThread(PlatformThread& thread, void (*body)()) {
    thread.handle = CreateThread(nullptr, 0, runBody, reinterpret_cast<LPVOID>(body), 0, nullptr);
    return thread.handle != nullptr;
}

void platformJoinThread(PlatformThread& thread) {
    if (!thread.handle) return;
    WaitForSingleObject(thread.handle, INFINITE);
    CloseHandle(thread.handle);
    thread.handle = nullptr;
}
