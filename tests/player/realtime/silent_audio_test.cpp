#include <gtest/gtest.h>

#include <string>

#include "demo_fixture.h"
#include "host/demo.h"
#include "host/frame_driver.h"
#include "platform/offline/offline_audio.h"
#include "platform/offline/offline_platform.h"
#include "player/realtime/silent_clock.h"

namespace {

TEST(SilentClock, CountsFramesAt44100PerSecondAcrossTheTickWrapAndPast2To32Bytes) {
    struct Reading {
        uint32_t tick;    // ms
        uint64_t frames;  // expected
    };
    // Starts 2 ms before the tick count wraps, with 1000 frames already played; 9 h later the
    // frames passed 2^30 (the 2^32-byte point of a 16-bit stereo device).
    const Reading readings[] = {
        {0xFFFFFFFEu, 1000},
        {0xFFFFFFFEu, 1000},                        // a standing tick count adds nothing
        {0xFFFFFFFFu, 1000 + 44},                   // 44.1 frames, rounded down
        {3, 1000 + 220},                            // 5 ms: across the wrap
        {1003, 1000 + 44320},                       // 1.005 s
        {32400003, 1000 + uint64_t(32400005) * 441 / 10},  // 9 h and 5 ms
    };
    SilentClock clock = startSilentClock(44100, 1000, readings[0].tick);
    for (const Reading& r : readings) EXPECT_EQ(silentClockFrames(clock, r.tick), r.frames) << r.tick;
    EXPECT_GT(silentClockFrames(clock, 32400003), uint64_t(1) << 30);
}

// Read every millisecond, the clock counts whole seconds exactly and each reading cuts its frames
// down from the total time, never summing cut steps (44 a ms would lose 100 frames a second).
TEST(SilentClock, ManyOneMillisecondStepsAddUpToTheRate) {
    for (const int32_t rate : {44100, 48000, 22050}) {
        SilentClock clock = startSilentClock(rate, 777, 100);
        for (uint32_t ms = 1; ms <= 3000; ++ms)
            ASSERT_EQ(silentClockFrames(clock, 100 + ms), 777 + uint64_t(ms) * uint64_t(rate) / 1000) << rate << " " << ms;
    }
}

// The whole demo through the offline platform with no sound device: the scenes follow the song
// on the silent clock, and one line on standard error says why it is silent. The device either
// refuses to open or plays 5 s and is then removed; the position it reached is carried on.
TEST(DemoWithoutSound, TheScenesFollowTheSongOnTheTickCount) {
    struct Case {
        const char* what;
        bool        refuses;
        const char* message;
    };
    const Case cases[] = {
        {"no device opens", true,
         "skr4mm3lb0d: no audio device (the offline device refuses to open); the demo plays silently\n"},
        {"the device goes away after 5 s", false,
         "skr4mm3lb0d: no audio device (the offline device was removed); the demo plays silently\n"},
    };
    for (const Case& c : cases) {
        resetOfflinePlatform();
        resetOfflineAudio();
        offlinePlatform().tickCount = 0xFFFFFFFFu - 9000;  // the tick count wraps on the way
        offlinePlatform().tickPerPresent = 50;
        offlineAudio().refuseOpen = c.refuses;
        // Fed by the frames, one poll per frame, as the feeder would.
        const std::unique_ptr<Demo> demo = makeTestDemo(PlayerFeeding::frames);
        testing::internal::CaptureStderr();
        std::string reason;
        ASSERT_TRUE(demoStartUp(*demo, reason)) << reason;
        const uint32_t start = offlinePlatform().tickCount;

        // The song reaches position 4 after 15.35 s and 8 after 46.06 s (blocks 766 and 2298 of
        // 884 frames): the first frame that shows each comes within two frames of it (one frame
        // of 50 ms, and the 50 ms between the device's last poll and its removal).
        uint32_t reached4 = 0, reached8 = 0;
        while (reached8 == 0 && offlinePlatform().tickCount - start < 60000) {
            const uint32_t ms = offlinePlatform().tickCount - start;
            if (ms < 5000) offlineAudio().position.store(uint32_t(uint64_t(ms) * 44100 / 1000 * 4));
            if (ms >= 5000) offlineAudio().removed.store(true);
            renderFrame(*demo);
            const int32_t scene = demo->driver.scenePosition;
            if (scene >= 4 && reached4 == 0) reached4 = ms;
            if (scene >= 8 && reached8 == 0) reached8 = ms;
        }
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(printed, c.message) << c.what;
        for (const auto& [reached, block] : {std::pair{reached4, 766}, {reached8, 2298}}) {
            const uint32_t due = uint32_t(block * 884 * 1000 / 44100);
            EXPECT_GE(reached, due) << c.what << ", block " << block;
            EXPECT_LT(reached, due + 100) << c.what << ", block " << block;
        }
        demoShutdown(*demo);
    }
    resetOfflineAudio();
}

}  // namespace
