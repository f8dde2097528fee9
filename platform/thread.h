#pragma once
// One worker thread as the player needs it: started on a plain function with one argument and
// joined once that function has returned. std::thread where the C++ runtime has it (Linux, the offline platform,
// through std_thread.h); CreateThread on Windows, whose cross-compiled runtime has no std::thread.

struct PlatformThread {
    void* handle;  // the backend's thread; nullptr while none is started

    bool joinable() const { return handle != nullptr; }
};

// Starts body(argument) on a new thread. False, with `thread` left empty, when no thread can be
// made.
bool platformStartThread(PlatformThread& thread, void (*body)(void*), void* argument);

// Waits until the thread's body has returned and releases the thread; nothing when none runs.
void platformJoinThread(PlatformThread& thread);
