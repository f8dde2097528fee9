#include <gtest/gtest.h>

#include <vector>

#include "host/entry.h"
#include "platform/offline/offline_platform.h"

namespace {

TEST(Entry, AsksOnlyWithAnEmptyCommandLineAndFallsBackToTheWindow) {
    struct Case {
        const char*      what;
        const char*      commandLine;
        bool             answerYes, accepts24, accepts32;
        int              questions;
        std::vector<int> modesTried;
        bool             fullScreen, cursorShown;
    };
    const Case cases[] = {
        {"any argument, even a space", " ", true, true, true, 0, {}, false, true},
        {"an argument", "x", true, true, true, 0, {}, false, true},
        {"answered No", "", false, true, true, 1, {}, false, true},
        {"Yes, 24 bits accepted", "", true, true, true, 1, {24}, true, false},
        {"Yes, 24 refused, 32 accepted", "", true, false, true, 1, {24, 32}, true, false},
        {"Yes, both refused", "", true, false, false, 1, {24, 32}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        resetOfflinePlatform();
        OfflinePlatform& p = offlinePlatform();
        p.answerYes = c.answerYes;
        p.accepts24Bits = c.accepts24;
        p.accepts32Bits = c.accepts32;
        p.quitAfterFrames = 3;
        p.tickPerPresent = 20;
        EXPECT_EQ(runDemo(c.commandLine), 0);
        EXPECT_EQ(p.questionsAsked, c.questions);
        if (c.questions) {
            EXPECT_EQ(p.questionText, "Run in fullscreen?");
            EXPECT_EQ(p.questionCaption, "Fullscreen");
        }
        EXPECT_EQ(p.modesTried, c.modesTried);
        EXPECT_EQ(p.fullScreen, c.fullScreen);
        EXPECT_EQ(p.cursorShown, c.cursorShown);
        EXPECT_EQ(p.windowTitle, "Skr4mm3lb0d");
        EXPECT_EQ(p.windowWidth, 640);
        EXPECT_EQ(p.windowHeight, 480);
        EXPECT_EQ(p.framesPresented, 3) << "frames run until the quit event";
        EXPECT_EQ(p.presentedBytes, 640u * 480u * 4u);
        EXPECT_FALSE(p.windowOpen) << "closed at the end";
    }
}

}  // namespace
