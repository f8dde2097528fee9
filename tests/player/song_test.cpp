// The demo's own song, as the program embeds it: it loads, and rendered offline exactly as the
// demo plays it, it conducts the scene timeline (rising order positions up to the moving chain at
// 16, reached in time), never clips and never falls silent once the beat has started.
#include <gtest/gtest.h>

#include <memory>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/offline/offline_audio.h"
#include "platform/resources.h"
#include "player/load/loader.h"
#include "player/module.h"
#include "realtime_fixture.h"
#include "player/mix/render.h"

namespace {

constexpr int32_t kChainMoves = 16;           // the scene position where the chain's anchor travels
constexpr int32_t kBeatStarts = 4;            // the end of the intro
constexpr int32_t kSilence = 33;              // a block quieter than this (−60 dBFS) counts as silent
constexpr int64_t kMaxBlocks = 10 * 60 * 50;  // about ten minutes: a song that never loops back fails

// What one render of the embedded song shows, from its start until its order position first
// goes back: the moment the demo's timeline freezes.
struct SongRender {
    std::string reason;              // why the song did not load; empty when it did
    int32_t     channels = 0;
    int32_t     songLength = 0;
    bool        linear = false;      // linear frequency table
    bool        loopedBack = false;  // the position went back within kMaxBlocks
    bool        skipped = false;     // an order position was passed over
    int32_t     highest = 0;         // highest order position before the jump back
    double      seconds = 0;         // rendered until the jump back
    double      chainSeconds = -1;   // when position kChainMoves was first heard
    int64_t     clipped = 0;         // samples at −32768 or 32767
    int32_t     peak = 0;            // largest magnitude
    double      longestSilence = 0;  // seconds, counted from the first block at kBeatStarts
};

double blockSeconds(int64_t blocks) { return double(blocks) * kBlockFrames / kMixRate; }

SongRender renderSong() {
    SongRender r;
    const ResourceData song = findResource("XM", 118);
    Module* m = loadModuleFromMemory(song.bytes, song.size, nullptr, &r.reason);
    if (!m) return r;
    r.channels = m->channelCount;
    r.songLength = m->songLength;
    r.linear = (m->flags & 1) != 0;

    resetOfflineAudio();
    const RealtimePlayerPtr player = makeTestPlayer();
    const RealtimePlayer& p = *player;
    const ModulePtr module = loadTestModule(song.bytes, song.size);
    if (!module || startPlayer(*player, module.get(), XMPLAYER_PROFILE_DEFAULT, false) != PlayerStart::playing) {
        r.reason = "the player did not start";
        freeModule(m);
        return r;
    }
    // Block a is what the device plays after blocks 0 … a − 1, as xmrender writes it.
    int32_t last = 0;
    int64_t silentRun = 0;
    bool beat = false;
    for (int64_t a = 0; a < kMaxBlocks; ++a) {
        const int32_t b = int32_t(a % p.blockCount);
        const int32_t position = p.syncRecords[b].orderPosition.load();
        if (position < last) {
            r.loopedBack = true;
            break;
        }
        r.skipped = r.skipped || position > last + 1;
        last = position;
        r.highest = std::max(r.highest, position);
        if (position >= kChainMoves && r.chainSeconds < 0) r.chainSeconds = blockSeconds(a);
        beat = beat || position >= kBeatStarts;

        const int16_t* frames = p.outputBuffer + size_t(b) * size_t(p.blockFrames) * 2;
        int32_t blockPeak = 0;
        for (int32_t i = 0; i < p.blockFrames * 2; ++i) {
            const int32_t v = frames[i];
            if (v == 32767 || v == -32768) ++r.clipped;
            blockPeak = std::max(blockPeak, std::abs(v));
        }
        r.peak = std::max(r.peak, blockPeak);
        silentRun = beat && blockPeak < kSilence ? silentRun + 1 : 0;
        r.longestSilence = std::max(r.longestSilence, blockSeconds(silentRun));

        r.seconds = blockSeconds(a + 1);
        offlineAudio().position.store(uint32_t(uint64_t(a + 1) * uint64_t(p.blockFrames) * 4));
        feedPlayer(*player);
    }
    stopPlayer(*player);
    freeModule(m);
    return r;
}

// Rendered once for all the checks below (three minutes of music).
const SongRender& song() {
    static const SongRender rendered = renderSong();
    return rendered;
}

TEST(DemoSong, IsEmbeddedAndLoads) {
    ASSERT_TRUE(findResource("XM", 118).bytes) << "resources/118-song.xm is missing";
    EXPECT_EQ(song().reason, "");
    EXPECT_GE(song().channels, 8);
    EXPECT_TRUE(song().linear);
    EXPECT_GE(song().songLength, 17);
}

TEST(DemoSong, ConductsTheTimelineToTheMovingChainBeforeLoopingBack) {
    const SongRender& s = song();
    ASSERT_EQ(s.reason, "");
    EXPECT_TRUE(s.loopedBack) << "no jump back within ten minutes";
    EXPECT_FALSE(s.skipped) << "every scene position is played, one after the other";
    EXPECT_GE(s.highest, kChainMoves);
    EXPECT_GE(s.chainSeconds, 0);
    EXPECT_LE(s.chainSeconds, 120.0) << "the chain starts moving within two minutes";
    EXPECT_GE(s.seconds, 150.0) << "about three minutes before the song goes back";
    EXPECT_LE(s.seconds, 240.0);
}

TEST(DemoSong, PeaksJustBelowFullScaleWithoutClipping) {
    const SongRender& s = song();
    ASSERT_EQ(s.reason, "");
    EXPECT_EQ(s.clipped, 0);
    EXPECT_GE(s.peak, 23197) << "−3 dBFS";
    EXPECT_LE(s.peak, 32000) << "−0.2 dBFS";
}

TEST(DemoSong, NeverFallsSilentOnceTheBeatHasStarted) {
    ASSERT_EQ(song().reason, "");
    EXPECT_LE(song().longestSilence, 2.0);
}

}  // namespace
