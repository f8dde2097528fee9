#include "platform/std_thread.h"

#include <system_error>
#include <thread>

bool startStdThread(PlatformThread& thread, void (*body)(void*), void* argument) {
    try {
        thread.handle = new std::thread(body, argument);
    } catch (const std::system_error&) {
        thread.handle = nullptr;
    }
    return thread.handle != nullptr;
}

void joinStdThread(PlatformThread& thread) {
    auto* t = static_cast<std::thread*>(thread.handle);
    if (!t) return;
    t->join();
    delete t;
    thread.handle = nullptr;
}
