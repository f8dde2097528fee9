#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/entry.h"
#include "platform/offline/offline_platform.h"

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

}  // namespace
