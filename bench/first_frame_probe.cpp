// Start-up of the real program, measured from inside it: a library preloaded into the demo
//
//   LD_PRELOAD=build/release/bench/libfirst_frame_probe.so build/release/skr4mm3lb0d x
//
// that times the SDL calls which wait on the window system (connecting to the display, making
// the window and its renderer or surface, showing it) and the first presentation, and prints once
// the first frame is on screen:
//
//   first frame: 49.1 ms after start, 33.6 ms of it in the window system, 15.5 ms our own
//
// "After start" counts from this library's constructor, which runs once the dynamic loader has
// mapped the program and its libraries, before main. Nothing else of the program changes.
#include <dlfcn.h>
#include <time.h>

#include <cstdio>

namespace {

double nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

struct Probe {
    double started;        // ms, at the constructor
    double windowSystem;   // ms spent inside the timed SDL calls so far
    bool   reported;
};

Probe& probe() {
    static Probe p{};
    return p;
}

__attribute__((constructor)) void startClock() { probe().started = nowMs(); }

// The function this library stands in for, as the next library in the search order has it.
template <typename Function>
Function* realFunction(const char* name) {
    return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

// Calls `real` with `args`, adding the time it takes to the window system's unless `counted` is
// false.
template <typename Function, typename... Args>
auto timed(Function* real, bool counted, Args... args) {
    struct AddTime {
        bool   counted;
        double before;
        ~AddTime() {
            if (counted) probe().windowSystem += nowMs() - before;
        }
    } add{counted, nowMs()};
    return real(args...);
}

void reportFirstFrame() {
    Probe& p = probe();
    if (p.reported) return;
    p.reported = true;
    const double total = nowMs() - p.started;
    std::fprintf(stderr, "first frame: %.1f ms after start, %.1f ms of it in the window system, %.1f ms our own\n",
                 total, p.windowSystem, total - p.windowSystem);
}

}  // namespace

// SDL's own declarations are not needed: the pointers stay opaque and the flags are plain words.
extern "C" {

// Only the video subsystem's start (the connection to the display) is the window system's; the
// audio and timer subsystems count as the program's own.
constexpr unsigned kInitVideo = 0x20;  // SDL_INIT_VIDEO

int SDL_InitSubSystem(unsigned flags) {
    static auto* const real = realFunction<int(unsigned)>("SDL_InitSubSystem");
    return timed(real, (flags & kInitVideo) != 0, flags);
}

void* SDL_CreateWindow(const char* title, int x, int y, int w, int h, unsigned flags) {
    static auto* const real = realFunction<void*(const char*, int, int, int, int, unsigned)>("SDL_CreateWindow");
    return timed(real, true, title, x, y, w, h, flags);
}

void* SDL_CreateRenderer(void* window, int index, unsigned flags) {
    static auto* const real = realFunction<void*(void*, int, unsigned)>("SDL_CreateRenderer");
    return timed(real, true, window, index, flags);
}

void* SDL_GetWindowSurface(void* window) {
    static auto* const real = realFunction<void*(void*)>("SDL_GetWindowSurface");
    return timed(real, true, window);
}

int SDL_SetWindowFullscreen(void* window, unsigned flags) {
    static auto* const real = realFunction<int(void*, unsigned)>("SDL_SetWindowFullscreen");
    return timed(real, true, window, flags);
}

void SDL_ShowWindow(void* window) {
    static auto* const real = realFunction<void(void*)>("SDL_ShowWindow");
    timed(real, true, window);
}

void SDL_RaiseWindow(void* window) {
    static auto* const real = realFunction<void(void*)>("SDL_RaiseWindow");
    timed(real, true, window);
}

// The two ways a frame reaches the screen: a GPU renderer, or the window's own surface.
void SDL_RenderPresent(void* renderer) {
    static auto* const real = realFunction<void(void*)>("SDL_RenderPresent");
    timed(real, true, renderer);
    reportFirstFrame();
}

int SDL_UpdateWindowSurface(void* window) {
    static auto* const real = realFunction<int(void*)>("SDL_UpdateWindowSurface");
    const int result = timed(real, true, window);
    reportFirstFrame();
    return result;
}

}  // extern "C"
