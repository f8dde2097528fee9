#pragma once
// The frame driver: one picture per call, composed at 320×240 from the layers the song's
// position allows, doubled to 640×480 and presented; then the demo clock advances.
#include <cstdint>

struct Demo;

// Demo time, advanced at the end of each frame by the milliseconds that passed. Effects read
// frameStep for their own clocks.
struct FrameClock {
    float    demoTime;   // seconds since start-up, the sum of all measured steps
    float    frameStep;  // seconds, the last measured step; kept while the tick count stands
    uint32_t lastTick;   // ms, the tick count at the last measured step
};

// offsetX grows by 120 texels a second, so it wraps to 0 at this many 1/256 texels (about 4.9
// hours) instead of overflowing 32 bits after 19. The period is 256 × a multiple of every
// power-of-two texture width up to 128, so the rotozoomer shows the same picture either side.
inline constexpr int32_t kOffsetXPeriod = int32_t(1) << 29;

struct FrameDriver {
    FrameClock clock;

    // Scene timeline: follows the song's order position while it rises, freezes once it drops.
    int32_t scenePosition;
    int32_t lastSongPosition;
    bool    songWrapped;
    uint8_t effectFade;  // rotozoomer fade-in, +4 per frame up to 252
    uint8_t logoFade;    // logo fade-in, +2 per frame up to 250

    // Animation parameters, 8.8 fixed point.
    int32_t angle;     // 1/256 degree
    int32_t rotoZoom;  // 1/256 texel per output pixel: 51 … 563, and 256 before the first frame
    int32_t offsetX;  // 1/256 texel, accumulated per frame, kept in 0 … kOffsetXPeriod − 1
    int32_t offsetY;  // 1/256 texel
    int32_t lightX;   // 1/256 pixel; computed after the effects, so used one frame late
    int32_t lightY;   // 1/256 pixel
};

// The driver at its start-up values, with the clock's last tick at `tickNow`.
FrameDriver startFrameDriver(uint32_t tickNow);

// Step 1 of a frame: angle, zoom and texture offsets from the clock.
void computeFrameParameters(FrameDriver& driver);

// Step 2: follow the song position p while it rises; freeze for good once it goes back.
void followSongPosition(FrameDriver& driver, int32_t p);

// The light for the next frame, from demoTime in degrees (not reduced modulo 360).
void computeLight(FrameDriver& driver);

// The clock's rule: a tick count equal to lastTick changes nothing; otherwise the step is
// (now − lastTick) / 1000 s, the difference taken in unsigned 32 bits (so the counter's wrap past
// zero is an ordinary step), rounded to single precision, and is added to demoTime.
void advanceFrameClock(FrameClock& clock, uint32_t now);

// One whole frame of `demo`: parameters, the player fed where the frames feed it, timeline,
// composition, presentation, clock.
void renderFrame(Demo& demo);

// Says once, on standard error, that the demo plays silently and why, as soon as the player has
// no sound device: none opened at start-up, or it went away later. Every frame asks.
void reportSilence(Demo& demo);
