// The web build has no threads (they would need SharedArrayBuffer and special headers): no
// feeder thread starts, and the page's frames and the audio side's position messages feed the
// player instead.
#include "platform/thread.h"

bool platformStartThread(PlatformThread& thread, void (*)(void*), void*) {
    thread.handle = nullptr;
    return false;
}

void platformJoinThread(PlatformThread& thread) { thread.handle = nullptr; }
