#include "platform/frame_pacer.h"

FramePacer makeFramePacer(int refreshHz) {
    return FramePacer{1000.0 / (refreshHz > 0 ? refreshHz : 60), 0, 0, false};
}

uint32_t framePacerDelay(FramePacer& p, uint32_t now) {
    if (!p.started) {
        p.started = true;
        p.baseTick = now;
        p.frames = 0;
        return 0;
    }
    ++p.frames;
    const double due = p.frames * p.periodMs;
    const double elapsed = static_cast<double>(static_cast<uint32_t>(now - p.baseTick));  // wrap-safe
    if (elapsed >= due) {
        if (elapsed > due + p.periodMs) {
            p.baseTick = now;
            p.frames = 0;
        }
        return 0;
    }
    return static_cast<uint32_t>(due - elapsed);
}
