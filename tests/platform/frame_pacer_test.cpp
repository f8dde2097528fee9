#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/frame_pacer.h"

namespace {

// Runs `frames` presentations; each frame's own work takes `workMs`, and presenting blocks until
// the next multiple of `vsyncMs` when that is non-zero. Returns the ticks at which frames ended.
std::vector<uint32_t> run(FramePacer& pacer, uint32_t start, int frames, uint32_t workMs, double vsyncMs) {
    std::vector<uint32_t> presented;
    double now = start;
    for (int i = 0; i < frames; ++i) {
        now += workMs;
        if (vsyncMs > 0) now = std::ceil((now - start) / vsyncMs) * vsyncMs + start;
        presented.push_back(uint32_t(uint64_t(now)));
        now += framePacerDelay(pacer, uint32_t(uint64_t(now)));
    }
    return presented;
}

TEST(FramePacer, HoldsUnsyncedPresentationTo60FramesASecond) {
    FramePacer pacer = makeFramePacer(0);
    // The schedule starts at the first presentation, so only the second frame comes early.
    const std::vector<uint32_t> ticks = run(pacer, 1000, 602, 2, 0);
    EXPECT_NEAR(double(ticks.back() - ticks[1]), 10000.0, 20.0) << "600 intervals of 1/60 s";
    for (size_t i = 2; i < ticks.size(); ++i) {
        const uint32_t gap = ticks[i] - ticks[i - 1];
        EXPECT_GE(gap, 15u);
        EXPECT_LE(gap, 18u);
    }
}

TEST(FramePacer, KeepsEveryVsyncWhenTheDisplayPaces) {
    // Presentation blocks until the next 1/60 s; waiting a moment too long would miss a vsync
    // and halve the frame rate.
    FramePacer pacer = makeFramePacer(60);
    const std::vector<uint32_t> ticks = run(pacer, 0, 300, 3, 1000.0 / 60);
    for (size_t i = 1; i < ticks.size(); ++i) EXPECT_LE(ticks[i] - ticks[i - 1], 17u) << i;
}

TEST(FramePacer, StartsANewScheduleAfterASlowFrameInsteadOfRacing) {
    FramePacer pacer = makeFramePacer(60);
    framePacerDelay(pacer, 0);
    framePacerDelay(pacer, 17);
    EXPECT_EQ(framePacerDelay(pacer, 500), 0u);  // a long stall
    EXPECT_GE(framePacerDelay(pacer, 502), 14u) << "the next frame waits a full period again";
}

TEST(FramePacer, SurvivesTheTickCountWrapping) {
    FramePacer pacer = makeFramePacer(50);
    uint32_t now = 0xFFFFFF00u;
    framePacerDelay(pacer, now);
    for (int i = 0; i < 30; ++i) {
        now += 1;
        const uint32_t wait = framePacerDelay(pacer, now);
        EXPECT_GE(wait, 18u) << i;
        EXPECT_LE(wait, 19u) << i;
        now += wait;
    }
}

}  // namespace
