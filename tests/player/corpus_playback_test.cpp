#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/offline/offline_audio.h"
#include "realtime_fixture.h"
#include "shared_data.h"

// Real modules from other trackers, each played for a minute through the render loop the demo
// uses. Under the asan preset any read or write outside a buffer, or undefined arithmetic, on
// the way is a finding.

namespace {

namespace fs = std::filesystem;

constexpr int64_t kBlocks = 3000;  // 60 s of 884-frame blocks at 44100 Hz

TEST(CorpusPlayback, EveryModulePlaysForAMinute) {
    const fs::path folder = sharedDataDir("xm-corpus");
    REQUIRE_SHARED_DATA(folder);
    int played = 0;
    const RealtimePlayerPtr player = makeTestPlayer();
    RealtimePlayer& p = *player;
    for (const fs::path& path : modulesIn(folder)) {
        SCOPED_TRACE(path.filename().string());
        char reason[256] = "";
        xmplayer_module* m = xmplayer_load_file(path.c_str(), nullptr, reason, sizeof reason);
        ASSERT_NE(m, nullptr) << reason;
        resetOfflineAudio();
        ASSERT_EQ(startPlayer(p, m, XMPLAYER_PROFILE_DEFAULT, false), PlayerStart::playing);
        bool sound = false;
        int32_t highestPosition = 0;
        for (int64_t block = 0; block < kBlocks; ++block) {
            // Block `block` is what the device plays now; once it has passed, it is rendered anew.
            const int16_t* frames = p.outputBuffer + size_t(block % p.blockCount) * size_t(p.blockFrames) * 2;
            for (int32_t i = 0; i < 2 * p.blockFrames && !sound; ++i) sound = frames[i] != 0;
            offlineAudio().position.store(uint32_t((block + 1) * p.blockFrames * 4));
            feedPlayer(p);
            highestPosition = std::max(highestPosition, getSongPosition(p));
        }
        EXPECT_TRUE(sound);
        EXPECT_GT(highestPosition, 0) << "the song never left its first order entry";
        stopPlayer(p);
        xmplayer_free_module(m);
        ++played;
    }
    EXPECT_GT(played, 0);
}

}  // namespace
