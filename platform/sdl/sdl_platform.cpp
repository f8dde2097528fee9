// The platform layer on SDL2: display, window, display mode, question box, presentation (through
// a GPU renderer with vsync, or straight into the window's own surface) with pacing, and events;
// the tick count and the threads are in sdl_system.cpp, the sound in sdl_audio.cpp.
#include <SDL.h>

#include <string>

#if defined(__linux__)
#include <unistd.h>
#endif

#include "platform/frame_pacer.h"
#include "platform/platform.h"
#include "platform/scaled_frame.h"

namespace {

struct SdlPlatform {
    void*           host;           // platformCreateWindow's
    bool            videoReady;
    bool            driversChosen;  // SDL_VIDEODRIVER was unset: the display drivers were offered
    char            reason[256];    // the text of a failure that platformOpenDisplay reports
    bool            fullScreenWanted;
    SDL_DisplayMode fullScreenMode;
    bool            coverWanted;  // the whole screen at the desktop's mode (platformCoverScreen)
    bool            scaled;       // frames go to frameArea, black around; else 1:1 at (0, 0)
    SDL_Rect        frameArea;    // pixels of the window
    SDL_Window*     window;
    SDL_Renderer*   renderer;  // a GPU renderer, or null: then frames go to the window's surface
    SDL_Texture*    texture;   // the renderer's streaming copy of the frame
    FramePacer      pacer;
};

SdlPlatform& sdl() {
    static SdlPlatform state{};
    return state;
}

// SDL's drivers that show nothing to anybody. Left to itself SDL falls back to "offscreen" when no
// display answers, and the demo would run unseen for ever: these are used only when named in
// SDL_VIDEODRIVER.
bool offScreenDriver(const char* name) {
    return SDL_strcasecmp(name, "offscreen") == 0 || SDL_strcasecmp(name, "dummy") == 0 ||
           SDL_strcasecmp(name, "evdev") == 0;
}

// Whether the Wayland client library can look for a compositor at all: without XDG_RUNTIME_DIR it
// needs WAYLAND_SOCKET or an absolute WAYLAND_DISPLAY, and otherwise fails with a line of its own
// on standard error.
bool waylandReachable() {
    const char* display = SDL_getenv("WAYLAND_DISPLAY");
    return SDL_getenv("XDG_RUNTIME_DIR") || SDL_getenv("WAYLAND_SOCKET") || (display && display[0] == '/');
}

// The drivers SDL may choose from when the user names none, in SDL's own order: every one that
// shows a picture to somebody. Empty when there is none.
std::string displayDrivers() {
    std::string list;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const char* name = SDL_GetVideoDriver(i);
        if (!name || offScreenDriver(name) || (SDL_strcasecmp(name, "wayland") == 0 && !waylandReachable())) continue;
        if (!list.empty()) list += ',';
        list += name;
    }
    return list;
}

// Whether SDL_VIDEODRIVER names a driver (set but empty, it names none).
bool driverNamed() {
    const char* named = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    return named && *named;
}

// SDL_VIDEODRIVER as the user set it; unset, the display drivers alone.
bool initVideo() {
    SdlPlatform& s = sdl();
    if (s.videoReady) return true;
    if (!s.driversChosen && !driverNamed()) {
        const std::string drivers = displayDrivers();
        if (drivers.empty()) return SDL_SetError("no display driver"), false;
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, drivers.c_str(), SDL_HINT_OVERRIDE);
        s.driversChosen = true;
    }
    s.videoReady = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    return s.videoReady;
}

// SDL's last error where it is readable text; some failures leave it empty or unset.
const char* readableError(const char* otherwise) {
    const char* error = SDL_GetError();
    if (!error || !*error) return otherwise;
    for (const char* c = error; *c; ++c)
        if (static_cast<unsigned char>(*c) < 0x20 || static_cast<unsigned char>(*c) > 0x7E) return otherwise;
    return error;
}

// GL that the processor draws itself (llvmpipe under Xvfb and in virtual machines) gives no
// vsync, and costs tens of MB and several threads: then the window's own surface does the same
// job for a 640×480 frame.
bool softwareGl() {
    using GetString = const unsigned char* (*)(unsigned int);
    const auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    const unsigned char* name = getString ? getString(0x1F01 /* GL_RENDERER */) : nullptr;
    if (!name) return false;
    const char* text = reinterpret_cast<const char*>(name);
    return SDL_strstr(text, "llvmpipe") || SDL_strstr(text, "softpipe") || SDL_strstr(text, "Software");
}

// Whether a GPU can be reached at all. On Linux every GPU driver makes device nodes (the kernel's
// /dev/dri, or NVIDIA's own); without them (a container, a headless server under Xvfb) GL could
// only be drawn by the processor, and merely loading that driver to find out costs some 70 MB.
bool gpuReachable() {
#if defined(__linux__)
    return access("/dev/dri", F_OK) == 0 || access("/dev/nvidiactl", F_OK) == 0;
#else
    return true;
#endif
}

// Presentation with the display's vsync where a real GPU gives it: a renderer. Null where there
// is none: the frame is then copied into the window's own surface (one copy, where SDL's software
// renderer makes two and clears), and the frame pacer keeps the display's rate. A driver named
// in SDL_RENDER_DRIVER is used as chosen.
SDL_Renderer* createRenderer(SDL_Window* window) {
    // The window's surface is its framebuffer (shared memory with the X server), never GL.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    const bool driverChosen = SDL_GetHint(SDL_HINT_RENDER_DRIVER) != nullptr;
    if (driverChosen) return SDL_CreateRenderer(window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (!gpuReachable()) return nullptr;
    SDL_Renderer* r = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    SDL_RendererInfo info;
    if (r && SDL_GetRendererInfo(r, &info) == 0 && SDL_strncmp(info.name, "opengl", 6) == 0 && softwareGl()) {
        SDL_DestroyRenderer(r);
        r = nullptr;
    }
    return r;
}

// The frame into the window's surface, converted if the surface has another format; a larger
// surface (a full-screen mode the display rounded up) gets a black border. Scaled into `area`
// where one is given: written straight into the surface where it shares the frame's layout (one
// pass over the screen, no copy in between), through SDL's nearest-neighbour blit elsewhere.
void presentToWindowSurface(SDL_Window* window, const uint8_t* pixels, int width, int height, const SDL_Rect* area) {
    SDL_Surface* screen = SDL_GetWindowSurface(window);
    if (!screen) return;
    // 0x00RRGGBB words whose top byte nobody reads, like the frame's own.
    const bool sameLayout = screen->format->format == SDL_PIXELFORMAT_RGB888;
    if (area && sameLayout && SDL_LockSurface(screen) == 0) {
        drawFrameScaled(pixels, width, height, static_cast<uint8_t*>(screen->pixels), screen->w, screen->h,
                        screen->pitch, {area->x, area->y, area->w, area->h});
        SDL_UnlockSurface(screen);
        SDL_UpdateWindowSurface(window);
        return;
    }
    SDL_Surface* frame = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(pixels), width, height, 32,
                                                            width * 4, SDL_PIXELFORMAT_RGB888);
    if (!frame) return;
    if (screen->w != width || screen->h != height) SDL_FillRect(screen, nullptr, 0);
    if (area) {
        SDL_Rect target = *area;
        SDL_BlitScaled(frame, nullptr, screen, &target);
    } else {
        SDL_BlitSurface(frame, nullptr, screen, nullptr);
    }
    SDL_FreeSurface(frame);
    SDL_UpdateWindowSurface(window);
}

}  // namespace

bool platformOpenDisplay(const char** reason) {
    if (initVideo()) return true;
    SdlPlatform& s = sdl();
    if (s.driversChosen || !driverNamed()) {
        *reason = "no display to show the demo on (no X11, Wayland or KMS display could be opened); "
                  "SDL_VIDEODRIVER=offscreen runs it unseen";
    } else {
        SDL_snprintf(s.reason, sizeof s.reason, "the video driver SDL_VIDEODRIVER names cannot be started (%s)",
                     readableError("no reason given"));
        *reason = s.reason;
    }
    return false;
}

Answer platformAskYesNo(const char* text, const char* caption, const char** reason) {
    const SDL_MessageBoxButtonData buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "No"},
    };
    const SDL_MessageBoxData box = {SDL_MESSAGEBOX_INFORMATION, nullptr, caption, text, 2, buttons, nullptr};
    int answer = 0;
    SDL_ClearError();
    if (SDL_ShowMessageBox(&box, &answer) != 0) {
        *reason = readableError("no message box can be shown on this display");
        return Answer::notAsked;
    }
    return answer == 1 ? Answer::yes : Answer::no;
}

bool platformSetFullScreenMode(int width, int height, int bitsPerPixel) {
    if (!initVideo()) return false;
    SdlPlatform& s = sdl();
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(0, i, &mode) != 0) continue;
        if (mode.w == width && mode.h == height && int(SDL_BITSPERPIXEL(mode.format)) == bitsPerPixel) {
            s.fullScreenWanted = true;
            s.fullScreenMode = mode;
            return true;
        }
    }
    return false;
}

// The first display's bounds: the desktop's own mode, in the units of the window's size, which are
// those of its surface and of its renderer's output.
bool platformDesktopSize(int* width, int* height) {
    SDL_Rect bounds;
    if (!initVideo() || SDL_GetDisplayBounds(0, &bounds) != 0) return false;
    *width = bounds.w;
    *height = bounds.h;
    return true;
}

void platformCoverScreen(PresentArea area) {
    SdlPlatform& s = sdl();
    s.coverWanted = true;
    s.frameArea = {area.x, area.y, area.width, area.height};
}

void platformShowCursor(bool shown) {
    initVideo();
    SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

bool platformCreateWindow(const char* title, int width, int height, bool (*startUp)(void* host, const char** reason),
                          void* host, const char** reason) {
    SdlPlatform& s = sdl();
    if (!initVideo()) {
        *reason = SDL_GetError();
        return false;
    }
    // Covering the screen: a borderless window over the whole first display, made full screen at
    // the desktop's own mode. A window manager then keeps its panels off it; without one (Xvfb)
    // the window's own place and size cover the screen all the same.
    SDL_Rect place = {int(SDL_WINDOWPOS_UNDEFINED), int(SDL_WINDOWPOS_UNDEFINED), width, height};
    s.scaled = s.coverWanted && SDL_GetDisplayBounds(0, &place) == 0;
    if (s.coverWanted && !s.scaled) SDL_ShowCursor(SDL_ENABLE);  // the window mode after all
    s.window = SDL_CreateWindow(title, place.x, place.y, place.w, place.h,
                                SDL_WINDOW_HIDDEN | (s.scaled ? SDL_WINDOW_BORDERLESS : 0));
    if (!s.window) {
        *reason = SDL_GetError();
        return false;
    }
    // The mode change can still be refused here; then the window mode, with the cursor back.
    if (s.fullScreenWanted && (SDL_SetWindowDisplayMode(s.window, &s.fullScreenMode) != 0 ||
                               SDL_SetWindowFullscreen(s.window, SDL_WINDOW_FULLSCREEN) != 0)) {
        SDL_SetWindowFullscreen(s.window, 0);
        SDL_ShowCursor(SDL_ENABLE);
    }
    if (s.scaled) SDL_SetWindowFullscreen(s.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    s.renderer = createRenderer(s.window);
    if (s.renderer)
        s.texture = SDL_CreateTexture(s.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height);
    // Sharp pixels: each frame pixel an f × f block.
    if (s.texture && s.scaled) SDL_SetTextureScaleMode(s.texture, SDL_ScaleModeNearest);
    if (s.renderer ? !s.texture : !SDL_GetWindowSurface(s.window)) {
        *reason = SDL_GetError();
        platformDestroyWindow();
        return false;
    }
    SDL_DisplayMode current;
    const int refresh = SDL_GetWindowDisplayMode(s.window, &current) == 0 ? current.refresh_rate : 0;
    s.pacer = makeFramePacer(refresh);
    SDL_ShowWindow(s.window);
    SDL_RaiseWindow(s.window);
    s.host = host;
    if (startUp(host, reason)) return true;
    platformDestroyWindow();
    return false;
}

// The frame is copied at every presentation (into a texture or the window's surface), so it
// lives in ordinary memory: the window's surface can be replaced by SDL at any time.
uint8_t* platformCreateFrameMemory(int, int) { return nullptr; }
void platformFreeFrameMemory(uint8_t*) {}

void platformPresent(const uint8_t* pixels, int width, int height) {
    SdlPlatform& s = sdl();
    if (!s.window) return;
    // SDL_PIXELFORMAT_RGB888 is a 32-bit word 0x00RRGGBB: in little-endian memory the bytes are
    // blue, green, red, unused, the frame's own order.
    if (s.renderer) {
        SDL_UpdateTexture(s.texture, nullptr, pixels, width * 4);
        // Only a larger output has a border to clear; the frame covers the rest.
        const SDL_Rect area = s.scaled ? s.frameArea : SDL_Rect{0, 0, width, height};
        int outputWidth = 0, outputHeight = 0;
        if (SDL_GetRendererOutputSize(s.renderer, &outputWidth, &outputHeight) != 0 || outputWidth != area.w ||
            outputHeight != area.h || area.x != 0 || area.y != 0)
            SDL_RenderClear(s.renderer);
        SDL_RenderCopy(s.renderer, s.texture, nullptr, &area);
        SDL_RenderPresent(s.renderer);
    } else {
        presentToWindowSurface(s.window, pixels, width, height, s.scaled ? &s.frameArea : nullptr);
    }
    const uint32_t wait = framePacerDelay(s.pacer, SDL_GetTicks());
    if (wait) SDL_Delay(wait);
}

bool platformPollQuit() {
    bool quit = false;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) quit = true;
        if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE) quit = true;
        if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE) quit = true;
    }
    return quit;
}

void* platformWindowHost() { return sdl().host; }

void platformDestroyWindow() {
    SdlPlatform& s = sdl();
    if (s.texture) SDL_DestroyTexture(s.texture);
    if (s.renderer) SDL_DestroyRenderer(s.renderer);
    if (s.window) SDL_DestroyWindow(s.window);
    s.texture = nullptr;
    s.renderer = nullptr;
    s.window = nullptr;
    s.fullScreenWanted = false;
    s.coverWanted = false;
    s.scaled = false;
    s.host = nullptr;
    SDL_Quit();  // also forgets the hints, the chosen drivers among them
    s.driversChosen = false;
    s.videoReady = false;
}
