// Golden frames: hashes of the presented frame at moments spread over every scene of the demo,
// run offline at 10 frames per second. A change of hash means the picture changed: look at the
// frames (demo-capture) before accepting it. To record the hashes anew:
//
//     SKR_UPDATE_GOLDEN=1 build/release/tests/skr_tests --gtest_filter='GoldenFrames.*'
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "host/demo.h"
#include "host/frame_driver.h"
#include "platform/offline/offline_platform.h"
#include "tools/offline_run.h"

namespace {

constexpr int32_t kFps = 10;
constexpr int64_t kMaxFrames = 200 * kFps;

uint64_t fnv1a(std::span<const uint8_t> bytes) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
    return h;
}

std::map<std::string, std::string> readGolden() {
    std::map<std::string, std::string> golden;
    std::ifstream in(GOLDEN_FRAMES_PATH);
    for (std::string label, hash; std::getline(in, label, '\t') && std::getline(in, hash);) golden[label] = hash;
    return golden;
}

std::string hex(uint64_t v) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
    return text;
}

// Runs the demo until every scene has been seen for a while (or the song has looped), hashing
// the frames picked on the way, and checks the timeline's rule on every frame.
TEST(GoldenFrames, EveryScenePresentsTheRecordedPicture) {
    OfflineRun run{};
    std::string reason;
    ASSERT_TRUE(startOfflineRun(run, kFps, reason)) << reason;
    // Fixed moments of the logo's fade, and moments after each scene's first frame.
    const std::map<int64_t, std::string> fixed = {{0, "first frame"}, {6, "logo fading"}, {40, "logo shown"}};
    const int32_t scenes[] = {4, 8, 12, 14, 16};
    const int64_t afterScene[] = {3, 30};  // frames after the scene begins: fading in, settled
    std::map<int32_t, int64_t> sceneStart;
    std::map<std::string, std::string> hashes;

    int32_t expectedScene = 0, lastSong = 0;
    bool wrapped = false;
    for (int64_t k = 0; k < kMaxFrames; ++k) {
        runFrame(run, k, [](int64_t, const int16_t*) {});
        const FrameDriver& d = run.demo->driver;
        // The timeline follows a rising song position and freezes at its first drop.
        const int32_t song = d.lastSongPosition;
        if (song > lastSong && !wrapped) expectedScene = song;
        if (song < lastSong) wrapped = true;
        lastSong = song;
        ASSERT_EQ(d.scenePosition, expectedScene) << "frame " << k;
        if (wrapped) break;

        for (int32_t s : scenes)
            if (d.scenePosition >= s && !sceneStart.count(s)) sceneStart[s] = k;
        const std::span<const uint8_t> frame = presentedFrame();
        if (fixed.count(k)) hashes[fixed.at(k)] = hex(fnv1a(frame));
        for (const auto& [scene, start] : sceneStart)
            for (int64_t after : afterScene)
                if (k == start + after)
                    hashes["position " + std::to_string(scene) + " + " + std::to_string(after)] = hex(fnv1a(frame));
        if (hashes.size() == fixed.size() + std::size(scenes) * std::size(afterScene)) break;
    }
    endOfflineRun(run);

    if (std::getenv("SKR_UPDATE_GOLDEN")) {
        std::ofstream out(GOLDEN_FRAMES_PATH);
        for (const auto& [label, hash] : hashes) out << label << '\t' << hash << '\n';
        GTEST_SKIP() << "recorded " << hashes.size() << " hashes in " << GOLDEN_FRAMES_PATH;
    }
    EXPECT_EQ(hashes, readGolden()) << "a frame changed: look at it with demo-capture, then record anew";
}

}  // namespace
