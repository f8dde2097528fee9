#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demo_fixture.h"
#include "host/demo.h"
#include "host/entry.h"
#include "platform/offline/offline_audio.h"
#include "platform/offline/offline_platform.h"
#include "player/realtime/realtime_player.h"

namespace {

// A machine that presents three frames at 20 ms each and then asks to quit.
OfflinePlatform& freshMachine() {
    resetOfflinePlatform();
    OfflinePlatform& p = offlinePlatform();
    p.quitAfterFrames = 3;
    p.tickPerPresent = 20;
    return p;
}

TEST(Entry, AsksOnlyWithAnEmptyCommandLineAndFallsBackToTheWindow) {
    struct Case {
        const char*      what;
        const char*      commandLine;
        bool             answerYes, accepts24, accepts32;
        int              desktopWidth, desktopHeight;  // 0: the size cannot be told
        int              questions;
        std::vector<int> modesTried;
        bool             fullScreen, coversScreen, cursorShown;
    };
    const Case cases[] = {
        {"any argument, even a space", " ", true, true, true, 1280, 1024, 0, {}, false, false, true},
        {"an argument", "x", true, true, true, 1280, 1024, 0, {}, false, false, true},
        {"answered No", "", false, true, true, 1280, 1024, 1, {}, false, false, true},
        {"Yes, 24 bits accepted", "", true, true, true, 1280, 1024, 1, {24}, true, false, false},
        {"Yes, 24 refused, 32 accepted", "", true, false, true, 1280, 1024, 1, {24, 32}, true, false, false},
        {"Yes, no 640x480 mode: the desktop covered", "", true, false, false, 1280, 1024, 1, {24, 32}, false, true,
         false},
        {"Yes, no mode and no desktop size", "", true, false, false, 0, 0, 1, {24, 32}, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OfflinePlatform& p = freshMachine();
        p.answerYes = c.answerYes;
        p.accepts24Bits = c.accepts24;
        p.accepts32Bits = c.accepts32;
        p.desktopWidth = c.desktopWidth;
        p.desktopHeight = c.desktopHeight;
        EXPECT_EQ(runDemo(c.commandLine), 0);
        EXPECT_EQ(p.questionsAsked, c.questions);
        if (c.questions) {
            EXPECT_EQ(p.questionText, "Run in fullscreen?");
            EXPECT_EQ(p.questionCaption, "Fullscreen");
        }
        EXPECT_EQ(p.modesTried, c.modesTried);
        EXPECT_EQ(p.fullScreen, c.fullScreen);
        EXPECT_EQ(p.coversScreen, c.coversScreen);
        if (c.coversScreen) {  // factor 2 on 1280×1024: black bands above and below
            EXPECT_EQ(p.coverArea.x, 0);
            EXPECT_EQ(p.coverArea.y, 32);
            EXPECT_EQ(p.coverArea.width, 1280);
            EXPECT_EQ(p.coverArea.height, 960);
        }
        EXPECT_EQ(p.cursorShown, c.cursorShown);
        EXPECT_EQ(p.windowTitle, "Skr4mm3lb0d");
        EXPECT_EQ(p.windowWidth, 640);
        EXPECT_EQ(p.windowHeight, 480);
        EXPECT_EQ(p.framesPresented, 3) << "frames run until the quit event";
        EXPECT_EQ(p.presentedBytes, 640u * 480u * 4u);
        EXPECT_FALSE(p.windowOpen) << "closed at the end";
    }
}

TEST(Entry, WithoutADisplayEndsAtOnceWithOneLine) {
    for (const char* commandLine : {"", "x"}) {
        SCOPED_TRACE(commandLine);
        OfflinePlatform& p = freshMachine();
        p.noDisplay = true;
        p.answerYes = true;
        testing::internal::CaptureStderr();
        EXPECT_EQ(runDemo(commandLine), 1);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err, "skr4mm3lb0d: no display here\n");
        EXPECT_EQ(p.questionsAsked, 0);
        EXPECT_TRUE(p.windowTitle.empty()) << "no window was made";
        EXPECT_EQ(p.framesPresented, 0);
    }
}

TEST(Entry, AQuestionThatCannotBeShownRunsInAWindowAndSaysSoInOneLine) {
    OfflinePlatform& p = freshMachine();
    p.noQuestionBox = true;
    p.accepts24Bits = true;
    testing::internal::CaptureStderr();
    EXPECT_EQ(runDemo(""), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "skr4mm3lb0d: could not ask whether to run in fullscreen (no message box here); "
                   "running in a window\n");
    EXPECT_TRUE(p.modesTried.empty());
    EXPECT_FALSE(p.fullScreen);
    EXPECT_FALSE(p.coversScreen);
    EXPECT_TRUE(p.cursorShown);
    EXPECT_EQ(p.framesPresented, 3);
}

// The steps as an entry drives them, one at a time: what each asks of the platform, in order.
// The start makes everything before the first frame and presents nothing; each step polls, then
// presents one frame; the step that sees the quit draws nothing; the end frees the platform's
// frame memory and closes the window; a step after the end touches nothing.
TEST(EntrySteps, EachStepAsksThePlatformInTheOrderOfTheWholeRun) {
    const std::unique_ptr<Demo> demo = makeTestDemo();
    using Calls = std::vector<std::string>;
    struct Case {
        const char* what;
        const char* commandLine;
        bool        answerYes, accepts24;
        int         desktopWidth;  // 0: the size cannot be told
        Calls       start;
    };
    const Case cases[] = {
        {"an argument", "x", true, true, 1280, {"openDisplay", "createWindow", "createFrameMemory"}},
        {"answered No", "", false, true, 1280, {"openDisplay", "askYesNo", "createWindow", "createFrameMemory"}},
        {"Yes, 24 bits accepted", "", true, true, 1280,
         {"openDisplay", "askYesNo", "setFullScreenMode 24", "showCursor false", "createWindow", "createFrameMemory"}},
        {"Yes, no mode: the desktop covered", "", true, false, 1280,
         {"openDisplay", "askYesNo", "setFullScreenMode 24", "setFullScreenMode 32", "desktopSize", "coverScreen",
          "showCursor false", "createWindow", "createFrameMemory"}},
        {"Yes, no mode and no desktop size", "", true, false, 0,
         {"openDisplay", "askYesNo", "setFullScreenMode 24", "setFullScreenMode 32", "desktopSize", "createWindow",
          "createFrameMemory"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OfflinePlatform& p = freshMachine();
        p.quitAfterFrames = -1;
        p.recordCalls = true;
        p.hasFrameMemory = true;
        p.answerYes = c.answerYes;
        p.accepts24Bits = c.accepts24;
        p.desktopWidth = c.desktopWidth;
        p.desktopHeight = c.desktopWidth * 4 / 5;

        const DemoStart start = startDemo(*demo, c.commandLine);
        EXPECT_TRUE(start.running);
        EXPECT_TRUE(demo->running);
        EXPECT_EQ(p.calls, c.start);
        EXPECT_EQ(p.framesPresented, 0) << "the start draws nothing";

        for (int frame = 0; frame < 2; ++frame) {
            p.calls.clear();
            EXPECT_TRUE(stepDemo(*demo));
            EXPECT_EQ(p.calls, (Calls{"pollQuit", "present"}));
        }
        EXPECT_EQ(p.presentedFrom, p.frameMemory.data()) << "drawn into the platform's frame memory";

        p.quitAfterFrames = 2;
        p.calls.clear();
        EXPECT_FALSE(stepDemo(*demo));
        EXPECT_EQ(p.calls, (Calls{"pollQuit"}));
        EXPECT_EQ(p.framesPresented, 2);
        EXPECT_TRUE(p.windowOpen) << "the step leaves the closing to the end";

        p.calls.clear();
        EXPECT_EQ(endDemo(*demo), 0);
        EXPECT_EQ(p.calls, (Calls{"freeFrameMemory", "destroyWindow"}));
        EXPECT_EQ(p.frameMemoryReleases, 1);
        EXPECT_FALSE(p.windowOpen);
        EXPECT_FALSE(demo->running);

        p.calls.clear();
        EXPECT_FALSE(stepDemo(*demo));
        EXPECT_TRUE(p.calls.empty()) << "a step after the end does nothing";
    }
}

// A start that cannot go on says why in one line, leaves no window and tells the entry to
// return 1 without stepping.
TEST(EntrySteps, AStartThatCannotGoOnLeavesNoWindowAndExitCode1) {
    const std::unique_ptr<Demo> demo = makeTestDemo();
    struct Case {
        const char*              what;
        bool                     noDisplay, refuseWindow;
        std::vector<std::string> calls;
        const char*              line;
    };
    const Case cases[] = {
        {"no display", true, false, {"openDisplay"}, "skr4mm3lb0d: no display here\n"},
        {"no window", false, true, {"openDisplay", "createWindow"},
         "skr4mm3lb0d: cannot open a window: no window here\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OfflinePlatform& p = freshMachine();
        p.recordCalls = true;
        p.noDisplay = c.noDisplay;
        p.refuseWindow = c.refuseWindow;
        testing::internal::CaptureStderr();
        const DemoStart start = startDemo(*demo, "x");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
        EXPECT_FALSE(start.running);
        EXPECT_EQ(start.exitCode, 1);
        EXPECT_EQ(p.calls, c.calls);
        EXPECT_FALSE(p.windowOpen);
        EXPECT_FALSE(stepDemo(*demo));
        EXPECT_EQ(p.calls, c.calls) << "nothing to step";
    }
}

// Where the entry feeds the player itself (the web page: no thread), the step refills the ring
// behind the play position before drawing, so the frame shows the block being heard; after the
// end, feeding does nothing.
TEST(EntrySteps, TheStepFeedsThePlayerWhereTheEntryFeedsIt) {
    const std::unique_ptr<Demo> demo = makeTestDemo();
    freshMachine();
    resetOfflineAudio();
    demo->feeding = PlayerFeeding::frames;
    ASSERT_TRUE(startDemo(*demo, "x").running);
    const RealtimePlayer* const player = demo->player;
    if (!player || !player->song) {
        endDemo(*demo);
        GTEST_SKIP() << "no song is embedded";
    }
    EXPECT_EQ(player->readBlock.load(), 0);
    offlineAudio().position.store(30 * 884 * 4);  // bytes: block 30 playing
    EXPECT_TRUE(stepDemo(*demo));
    EXPECT_EQ(player->readBlock.load(), 30);
    offlineAudio().position.store(45 * 884 * 4);
    feedFrameFedPlayer(*demo);  // the page's audio messages, between frames
    EXPECT_EQ(player->readBlock.load(), 45);
    EXPECT_EQ(endDemo(*demo), 0);
    feedFrameFedPlayer(*demo);  // an audio message after the end finds nothing to feed
    EXPECT_EQ(demo->player, nullptr);
}

}  // namespace
