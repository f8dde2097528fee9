#pragma once
// Holds the frame loop to the display's refresh rate. Where presentation waits for vsync the
// pacer never has to wait; where it returns at once (Xvfb, vsync switched off) the pacer keeps
// frames at the refresh rate, so the per-frame fades keep their length and the clock sees
// real steps instead of a standing tick count.
#include <cstdint>

struct FramePacer {
    double   periodMs;   // one refresh, 1000 / Hz
    uint32_t baseTick;   // ms, start of the current schedule
    uint32_t frames;     // frames due since baseTick
    bool     started;
};

// A pacer for `refreshHz` frames per second; 0 (unknown) means 60.
FramePacer makeFramePacer(int refreshHz);

// Called after each presentation with the tick count (ms) at that moment: how many ms to wait
// before the next frame starts. Keeps an absolute schedule, so 16 and 17 ms waits alternate to
// 60 frames a second; a loop that falls more than a period behind starts a new schedule
// instead of racing to catch up.
uint32_t framePacerDelay(FramePacer& pacer, uint32_t now);
