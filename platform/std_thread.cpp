// The worker thread on the C++ runtime's own threads (Linux and the offline tools).
#include <system_error>
#include <thread>

#include "platform/thread.h"

bool platformStartThread(PlatformThread& thread, void (*body)()) {
    try {
        thread.handle = new std::thread(body);
    } catch (const std::system_error&) {
        thread.handle = nullptr;
    }
    return thread.handle != nullptr;
}

void platformJoinThread(PlatformThread& thread) {
    auto* t = static_cast<std::thread*>(thread.handle);
    if (!t) return;
    t->join();
    delete t;
    thread.handle = nullptr;
}
