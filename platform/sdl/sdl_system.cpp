// The part of the SDL backend that needs no display: the millisecond tick count, sleeping, and
// the player's thread (the C++ runtime's). The live player xmplay uses it with SDL's audio alone.
#include <SDL.h>

#include "platform/platform.h"
#include "platform/std_thread.h"
#include "platform/thread.h"

// SDL starts its tick count on the first call; its timer subsystem (a thread) is not needed for
// it, and is not started: a thread alive when a message box forks its child can leave the child
// stuck on a lock that thread held.
uint32_t platformTickCount() { return SDL_GetTicks(); }

void platformSleep(uint32_t milliseconds) { SDL_Delay(milliseconds); }

bool platformStartThread(PlatformThread& thread, void (*body)(void*), void* argument) {
    return startStdThread(thread, body, argument);
}

void platformJoinThread(PlatformThread& thread) { joinStdThread(thread); }
