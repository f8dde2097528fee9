#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "effects/chain.h"
#include "demo_fixture.h"
#include "host/demo.h"
#include "host/frame_driver.h"
#include "platform/offline/offline_platform.h"

namespace {

// Whole frames through the offline platform, 40 ms apart, with the scene held at one song
// position (the player answers 0, which never moves the scene back). Pixels are read back at
// work-surface resolution from the presented 640×480 frame.
struct SceneRun {
    std::vector<uint8_t> frame;
    Particle             anchor, spikedBall;  // particles 0 and 10 after the last frame

    SceneRun(int32_t position, int frames) {
        resetOfflinePlatform();
        offlinePlatform().tickCount = 1000;
        offlinePlatform().tickPerPresent = 40;
        const std::unique_ptr<Demo> demo = makeTestDemo();
        std::string reason;
        if (!demoStartUp(*demo, reason)) {
            ADD_FAILURE() << reason;
            return;
        }
        demo->driver.scenePosition = position;
        for (int i = 0; i < frames; ++i) renderFrame(*demo);
        frame.assign(presentedFrame().begin(), presentedFrame().end());
        anchor = demo->chain.chainParticles[0];
        spikedBall = demo->chain.chainParticles[10];
        demoShutdown(*demo);
    }
    uint32_t at(int32_t x, int32_t y) const { return readPixel(32, &frame[(size_t(2 * y) * 640 + 2 * x) * 4]); }
    bool black(int32_t x, int32_t y) const { return (at(x, y) & 0xFFFFFF00u) == 0; }
};

struct Box {
    int32_t left = 320, top = 240, right = -1, bottom = -1;  // inclusive; empty while right < 0
    int32_t count = 0;
};

// Where two runs differ, in work-surface pixels.
Box differences(const SceneRun& a, const SceneRun& b) {
    Box box;
    for (int32_t y = 0; y < 240; ++y) {
        for (int32_t x = 0; x < 320; ++x) {
            if (a.at(x, y) == b.at(x, y)) continue;
            ++box.count;
            box.left = std::min(box.left, x), box.right = std::max(box.right, x);
            box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
        }
    }
    return box;
}

constexpr int kFrames = 50;  // 2 s: the first letter has scrolled in, the chain has fallen

TEST(Scenes, EachLayerJoinsAtItsSongPosition) {
    const SceneRun logoOnly(3, kFrames), still(4, kFrames), turning(8, kFrames), beforeScroller(11, kFrames),
        scroller(12, kFrames), beforeChain(13, kFrames), withChain(14, kFrames), beforeAnchor(15, kFrames),
        anchorMoves(16, kFrames);
    ASSERT_FALSE(logoOnly.frame.empty());

    // Positions 0–3: black below the reflection, the logo above.
    for (int32_t y = 170; y < 240; ++y)
        for (int32_t x = 0; x < 320; ++x) ASSERT_TRUE(logoOnly.black(x, y)) << x << ", " << y;
    int32_t logoPixels = 0;
    for (int32_t y = 32; y < 80; ++y)
        for (int32_t x = 0; x < 320; ++x) logoPixels += !logoOnly.black(x, y);
    EXPECT_GT(logoPixels, 2000);

    // From 4 the lit texture covers the background.
    int32_t lit = 0;
    for (int32_t y = 170; y < 240; ++y)
        for (int32_t x = 0; x < 320; ++x) lit += !still.black(x, y);
    EXPECT_EQ(lit, 70 * 320);

    // From 8 the texture moves: the same clock shows another picture.
    EXPECT_GT(differences(still, turning).count, 320 * 120);

    // From 12 the scroller, only within its band: top edges 145…195, glyphs 24 high.
    const Box text = differences(beforeScroller, scroller);
    EXPECT_GT(text.count, 200);
    EXPECT_GE(text.top, 145);
    EXPECT_LE(text.bottom, 195 + 23);

    // From 14 the chain hangs from the anchor's start (171, 120), the spiked ball at its end.
    const Box hanging = differences(beforeChain, withChain);
    EXPECT_GT(hanging.count, 500);
    EXPECT_EQ(withChain.anchor.x, 171 * 256);
    EXPECT_GT(withChain.spikedBall.y, withChain.anchor.y + 60 * 256) << "fallen below the anchor";
    const int32_t ballX = withChain.spikedBall.x >> 8, ballY = withChain.spikedBall.y >> 8;
    EXPECT_LE(hanging.left, ballX - 10);
    EXPECT_GE(hanging.right, ballX + 10);
    EXPECT_GE(hanging.bottom, std::min(ballY + 10, 239));
    EXPECT_NE(beforeChain.at(ballX, ballY), withChain.at(ballX, ballY));

    // From 16 the anchor travels its path and the chain follows.
    EXPECT_NE(anchorMoves.anchor.x, 171 * 256);
    EXPECT_EQ(beforeAnchor.anchor.x, 171 * 256);
    EXPECT_GT(differences(beforeAnchor, anchorMoves).count, 500);
}

}  // namespace
