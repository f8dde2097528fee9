#pragma once
// The worker thread on the C++ runtime's own std::thread, for the backends that have it (SDL on
// Linux, the offline platform); each backend's platformStartThread and platformJoinThread call
// these.
#include "platform/thread.h"

bool startStdThread(PlatformThread& thread, void (*body)(void*), void* argument);
void joinStdThread(PlatformThread& thread);
