// The part of the SDL backend that needs no display: the millisecond tick count, sleeping, and
// the player's thread (the C++ runtime's). The live player xmplay uses it with SDL's audio alone.
#include <SDL.h>

#include "platform/platform.h"
#include "platform/std_thread.h"
#include "platform/thread.h"

namespace {

struct SdlSystem {
    bool timerReady;  // SDL's timer subsystem is started (once: its starts are counted)
};

SdlSystem& sdlSystem() {
    static SdlSystem state{};
    return state;
}

}  // namespace

uint32_t platformTickCount() {
    SdlSystem& s = sdlSystem();
    if (!s.timerReady) s.timerReady = SDL_InitSubSystem(SDL_INIT_TIMER) == 0;
    return SDL_GetTicks();
}

void platformSleep(uint32_t milliseconds) { SDL_Delay(milliseconds); }

bool platformStartThread(PlatformThread& thread, void (*body)(void*), void* argument) {
    return startStdThread(thread, body, argument);
}

void platformJoinThread(PlatformThread& thread) { joinStdThread(thread); }
