#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "demo_fixture.h"
#include "host/demo.h"
#include "host/frame_driver.h"
#include "platform/offline/offline_audio.h"
#include "platform/offline/offline_platform.h"
#include "player/load/loader.h"
#include "player/mix/mixer.h"
#include "player/module.h"
#include "player/playback.h"
#include "player/play/sequencer.h"
#include "realtime_fixture.h"
#include "xm_writer.h"

namespace {

TEST(SetBpm, FramesPerTickRoundTheTempoToSinglePrecisionFirst) {
    struct Case {
        int32_t bpm, framesPerTick;
    };
    const Case cases[] = {{125, 882}, {140, 787}, {150, 735}, {49, 2249}, {63, 1749}, {98, 1124},
                          {126, 874}, {32, 3445}, {255, 432}, {0, 110249}, {-7, 110249}, {1000000, 1}};
    const std::unique_ptr<Playback> p = std::make_unique<Playback>();
    p->rate = kMixRate;
    for (const Case& c : cases) {
        setBpm(*p, c.bpm);
        EXPECT_EQ(p->bpm, c.bpm);
        EXPECT_EQ(p->framesPerTick, c.framesPerTick) << c.bpm;
    }
}

// 256 order entries of one one-row pattern at one tick per row: every tick moves the order
// position on by one, so a block's record counts the ticks up to it (its order position is the
// number of ticks run, less one).
std::vector<uint8_t> countingSong(uint16_t bpm = 125) {
    XmLayout layout;
    layout.channels = 1;
    layout.tempo = 1;
    layout.bpm = bpm;
    layout.orders.assign(256, 0);
    XmPattern pattern;
    pattern.rows = 1;
    layout.patterns = {pattern};
    return buildXm(layout);
}

// The block the device plays `ms` after the start, at 44100 frames a second.
int32_t blockAfterMs(uint64_t ms) { return int32_t(ms * 44100 / 1000 / 884 % 100); }

class Player : public testing::Test {
protected:
    std::vector<uint8_t> bytes;
    ModulePtr            song{nullptr, xmplayer_free_module};
    xmplayer_module*     module = nullptr;
    RealtimePlayerPtr    realtime = makeTestPlayer();
    RealtimePlayer&      player = *realtime;

    void SetUp() override {
        resetOfflineAudio();
        useSong(125);
    }
    void TearDown() override {
        stopPlayer(player);
        resetOfflineAudio();  // a refusing or removed device stays with these tests
    }

    void useSong(uint16_t bpm) { useModule(countingSong(bpm)); }
    void useModule(std::vector<uint8_t> xm) {
        bytes = std::move(xm);
        song = loadTestModule(bytes.data(), bytes.size());
        module = song.get();
        ASSERT_NE(module, nullptr);
    }

    PlayerStart startSong(bool feederThread = false) {
        return startPlayer(player, module, XMPLAYER_PROFILE_DEFAULT, feederThread);
    }

    // Where the player's song is: the tick of the last frame it rendered.
    xmplayer_position rendered() const {
        xmplayer_position at{};
        xmplayer_get_position(player.song, &at, sizeof at);
        return at;
    }

    // Ticks the player has run since it started.
    int ticksRun() const { return player.song ? rendered().order + 1 : 0; }

    // Moves the device to the start of block k of the ring's first loop, or later loops.
    static void playBlock(int64_t k) { offlineAudio().position.store(uint32_t(k * 884 * 4)); }
};

TEST_F(Player, TheRingIsAHundredBlocksOf884FramesPrefilledAtStart) {
    ASSERT_EQ(startSong(), PlayerStart::playing);
    const RealtimePlayer& p = player;
    EXPECT_EQ(p.blockFrames, 884);
    EXPECT_EQ(p.ringFrames, 88400);
    EXPECT_EQ(p.blockCount, 100);
    EXPECT_EQ(offlineAudio().ringBytes, 353600u);
    EXPECT_TRUE(offlineAudio().started);
    EXPECT_EQ(p.writeBlock.load(), 0) << "every block rendered once";
    EXPECT_EQ(p.readBlock.load(), 0);
    EXPECT_EQ(p.framesRendered, 88400);
    // 882 frames per tick: ticks at frames 0, 882, 1764, …; 101 of them fit in 88400 frames, the
    // last going on into the ring's next rendering.
    EXPECT_EQ(ticksRun(), 101);
    EXPECT_EQ(rendered().frame, 100 * 882);
}

TEST_F(Player, ATickStraddlingTwoBlocksContinuesInTheNext) {
    ASSERT_EQ(startSong(), PlayerStart::playing);
    // Block 0: a tick of 882 frames and 2 of the next; block 1 starts with the 880 left, so the
    // records show 2 ticks after block 0 and 3 after block 1 (the third at frame 1764).
    EXPECT_EQ(player.syncRecords[0].orderPosition.load(), 2 - 1);
    EXPECT_EQ(player.syncRecords[1].orderPosition.load(), 3 - 1);
    EXPECT_EQ(player.syncRecords[2].orderPosition.load(), 4 - 1);
    // Play time: 19 for a run of 882, 0 for a run of 2; then 19 for 880 and 0 for 4.
    EXPECT_EQ(player.syncRecords[0].playTimeMs.load(), 19);
    EXPECT_EQ(player.syncRecords[1].playTimeMs.load(), 38);
}

TEST_F(Player, PlayTimeGrows20MsPerUnbrokenBlock) {
    useSong(1);  // 110250 frames per tick: no block is split
    ASSERT_EQ(startSong(), PlayerStart::playing);
    for (int b = 0; b < 100; ++b) ASSERT_EQ(player.syncRecords[b].playTimeMs.load(), 20 * (b + 1)) << b;
}

TEST_F(Player, TheSongPositionFollowsTheBlockBeingPlayed) {
    ASSERT_EQ(startSong(), PlayerStart::playing);
    EXPECT_EQ(getSongPosition(player), 2 - 1) << "block 0's record right after the start";
    playBlock(1);
    feedPlayer(player);  // block 0 was played: it is rendered again, one ring later
    EXPECT_EQ(player.readBlock.load(), 1);
    EXPECT_EQ(getSongPosition(player), 3 - 1);
    playBlock(57);
    feedPlayer(player);
    EXPECT_EQ(player.writeBlock.load(), 57);
    EXPECT_EQ(getSongPosition(player), player.syncRecords[57].orderPosition.load());
    playBlock(100 + 3);  // the second loop of the ring
    feedPlayer(player);
    EXPECT_EQ(player.readBlock.load(), 3);
    // The device plays its second loop; block 2 now holds the music of its third: the 203rd
    // block rendered, whose last tick is the one at or before frame 203 × 884 − 1.
    const int ticksByEndOfBlock202 = (203 * 884 - 1) / 882 + 1;
    EXPECT_EQ(player.syncRecords[2].orderPosition.load(), (ticksByEndOfBlock202 - 1) & 0xFF);
}

// The device's byte count is 32 bits wide and wraps every 6.8 hours, at 2^30 frames, which is no
// whole number of rings (2^30 mod 88400 = 35424). Here it starts just below 2^32 and wraps twice:
// across each wrap the device plays one block after another, and the feeder must refill exactly
// the block just played, keeping its whole ring of lead.
TEST_F(Player, TheDevicesByteCountWrapsWithoutASkip) {
    constexpr uint64_t kBlockBytes = 884 * 4;
    offlineAudio().startPosition = uint32_t(0x100000000ull - 5 * kBlockBytes - 100);
    ASSERT_EQ(startSong(), PlayerStart::playing);
    uint64_t played = 0;  // bytes since the start, as a count that never wraps would say
    auto playTo = [&](uint64_t to) {
        played = to;
        offlineAudio().position.store(uint32_t(offlineAudio().startPosition + played));
        feedPlayer(player);
    };
    auto expectEachBlockOnce = [&](const char* where) {
        for (int step = 0; step < 12; ++step) {
            const int64_t mixed = player.framesRendered;
            playTo(played + kBlockBytes);
            ASSERT_EQ(player.readBlock.load(), int32_t(played / kBlockBytes % 100)) << where << ", step " << step;
            ASSERT_EQ(player.framesRendered - mixed, 884) << where << ", step " << step << ": one block refilled";
        }
    };
    expectEachBlockOnce("the first wrap");
    // On to just before the second wrap, in steps of under 2^32 bytes (polls are 5 ms apart).
    const uint64_t secondWrap = 0x100000000ull * 2 - offlineAudio().startPosition;
    playTo(played + 0x80000000ull);
    playTo(secondWrap - 6 * kBlockBytes - 1000);
    ASSERT_EQ(player.readBlock.load(), int32_t(played / kBlockBytes % 100));
    expectEachBlockOnce("the second wrap");
}

TEST_F(Player, StopForgetsThePositionAndStartRestartsTheSong) {
    ASSERT_EQ(startSong(), PlayerStart::playing);
    playBlock(40);
    feedPlayer(player);
    EXPECT_NE(getSongPosition(player), 0);
    stopPlayer(player);
    EXPECT_EQ(getSongPosition(player), 0);
    EXPECT_FALSE(offlineAudio().open);
    ASSERT_EQ(startSong(), PlayerStart::playing);
    ASSERT_EQ(startSong(), PlayerStart::playing);  // twice in a row: one fresh start
    EXPECT_EQ(ticksRun(), 101) << "one ring rendered from the song's start";
    EXPECT_EQ(getSongPosition(player), 2 - 1);
}

TEST_F(Player, RefusesWithoutAModule) {
    EXPECT_EQ(startPlayer(player, nullptr, XMPLAYER_PROFILE_DEFAULT, false), PlayerStart::refused);
    EXPECT_FALSE(offlineAudio().open);
    EXPECT_EQ(ticksRun(), 0) << "nothing rendered";
    EXPECT_EQ(playerSilenceReason(player), nullptr);
}


// Where no device opens, the song plays on the silent clock: its position advances with the tick
// count exactly as a device's would, also where the tick count wraps past zero.
TEST_F(Player, WithoutADeviceTheSongPlaysOnTheTickCount) {
    resetOfflinePlatform();
    const uint32_t start = 0xFFFFFFFFu - 5000;  // the tick count wraps 5 s into the song
    offlinePlatform().tickCount = start;
    offlineAudio().refuseOpen = true;
    ASSERT_EQ(startSong(), PlayerStart::playing);
    ASSERT_NE(playerSilenceReason(player), nullptr);
    EXPECT_STREQ(playerSilenceReason(player), "the offline device refuses to open");
    EXPECT_EQ(ticksRun(), 101) << "the ring is pre-rendered as for a device";
    for (uint64_t ms = 0; ms <= 12000; ms += 20) {
        offlinePlatform().tickCount = start + uint32_t(ms);
        feedPlayer(player);
        ASSERT_EQ(player.readBlock.load(), blockAfterMs(ms)) << ms << " ms";
    }
    EXPECT_EQ(player.framesRendered, 88400 + int64_t(12000 * 44100 / 1000 / 884) * 884) << "no block skipped or redone";
    stopPlayer(player);
    EXPECT_EQ(playerSilenceReason(player), nullptr) << "a stop forgets it";
}

// A device that goes away (unplugged) hands over to the silent clock where it stopped: the song
// position neither jumps back nor forward, and then moves on with the tick count.
TEST_F(Player, ADeviceThatStopsHandsOverWithoutAJump) {
    resetOfflinePlatform();
    offlinePlatform().tickCount = 70000;
    ASSERT_EQ(startSong(), PlayerStart::playing);
    const uint32_t stoppedAt = (137 * 884 + 500) * 4;  // block 37 of the second loop, part played
    offlineAudio().position.store(stoppedAt);
    feedPlayer(player);
    ASSERT_EQ(player.readBlock.load(), 37);
    const int64_t mixed = player.framesRendered;
    const int32_t heard = getSongPosition(player);
    EXPECT_EQ(playerSilenceReason(player), nullptr);

    offlineAudio().removed.store(true);
    offlinePlatform().tickCount += 3;  // the last poll was 3 ms ago
    feedPlayer(player);
    ASSERT_NE(playerSilenceReason(player), nullptr);
    EXPECT_STREQ(playerSilenceReason(player), "the offline device was removed");
    EXPECT_EQ(player.readBlock.load(), 37) << "no jump";
    EXPECT_EQ(player.framesRendered, mixed) << "nothing rendered again";
    EXPECT_EQ(getSongPosition(player), heard);
    // 384 frames were left of block 37: at 44.1 frames a ms, block 38 starts 8.7 ms later.
    for (const auto& [ms, block] : {std::pair{8, 37}, {9, 38}, {29, 39}, {1009, 87}}) {
        offlinePlatform().tickCount = 70003 + ms;
        feedPlayer(player);
        EXPECT_EQ(player.readBlock.load(), block) << ms << " ms after the device stopped";
    }
}

// A sawtooth whose pitch changes on every row, one tick (882 frames) each, in a 64-row pattern:
// no two 884-frame blocks of it are alike, so the music in a block of the device's ring tells
// which moment of the song it is.
std::vector<uint8_t> changingTone() {
    XmLayout layout;
    layout.channels = 1;
    layout.tempo = 1;
    layout.orders.assign(256, 0);
    XmSample saw;
    saw.data = deltas8({0,    8,    16,   24,   32,  40,  48,  56,  64,  72,  80,  88,  96,  104, 112, 120,
                        -128, -120, -112, -104, -96, -88, -80, -72, -64, -56, -48, -40, -32, -24, -16, -8});
    saw.type = 1;
    saw.loopLength = 32;
    XmInstrument instrument;
    instrument.samples = {saw};
    layout.instruments = {instrument};
    XmPattern pattern;
    pattern.rows = 64;
    for (int row = 0; row < 64; ++row) pattern.cells.push_back(XmCell{uint8_t(25 + row * 37 % 59), 1, 0, 0, 0});
    layout.patterns = {pattern};
    return buildXm(layout);
}

// The song's 16-bit frames from its start, looping, as the ring renders them.
std::vector<int16_t> songFrames(const xmplayer_module* module, int32_t blocks) {
    xmplayer* song = xmplayer_create(module, XMPLAYER_PROFILE_DEFAULT);
    xmplayer_set_loops(song, -1);
    std::vector<int16_t> frames(size_t(blocks) * 884 * 2);
    for (int32_t b = 0; b < blocks; ++b) xmplayer_render_s16(song, frames.data() + size_t(b) * 884 * 2, 884);
    xmplayer_free(song);
    return frames;
}

// A device that goes quiet (an audio context suspended by the system) and plays again later,
// standing where it stopped. The silent clock carries the song meanwhile; then the device takes
// it back where the clock has got to: the song position moves on by less than a block and never
// back, nothing is rendered twice, and the ring the device plays from where it stood is the song
// from that position on, then and while it plays on. Quiet for less than a ring (2 s), for more
// and for many, the device standing earlier and later in its block than the clock.
TEST_F(Player, ADeviceThatPlaysAgainTakesTheSongBackWhereTheSilentClockGotTo) {
    struct Case {
        int64_t  stoppedAt;  // frames the device had played when it went quiet
        uint32_t quietMs;
        bool     nextBlock;  // the device stands earlier in its block than the clock in its own
    };
    const Case cases[] = {
        {137 * 884 + 500, 465, true},   // 500 + 20506 frames = 23 · 884 + 674
        {137 * 884 + 500, 470, false},  // 500 + 20727 frames = 24 · 884 + 11
        {42 * 884 + 10, 2700, true},
        {250 * 884 + 883, 9013, false},
        {3 * 884, 20, true},
    };
    useModule(changingTone());
    const std::vector<int16_t> music = songFrames(module, 1200);
    constexpr uint64_t kRing = 88400;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.stoppedAt) + " frames, quiet " + std::to_string(c.quietMs) + " ms");
        resetOfflinePlatform();
        resetOfflineAudio();
        offlinePlatform().tickCount = 70000;
        ASSERT_EQ(startSong(), PlayerStart::playing);
        auto playTo = [&](int64_t frames) {
            offlineAudio().position.store(uint32_t(frames * 4));
            feedPlayer(player);
        };
        for (int64_t f = 0; f < c.stoppedAt; f += 3000) playTo(f);
        playTo(c.stoppedAt);
        ASSERT_EQ(getPlayedFrames(player), uint64_t(c.stoppedAt));

        offlineAudio().removed.store(true);
        feedPlayer(player);
        ASSERT_NE(playerSilenceReason(player), nullptr);
        EXPECT_TRUE(offlineAudio().paused.load()) << "held where it went quiet";
        const uint32_t quietAt = offlinePlatform().tickCount;
        for (uint32_t ms = 0; ms < c.quietMs; ms = std::min(ms + 20, c.quietMs)) {
            offlinePlatform().tickCount = quietAt + ms;
            feedPlayer(player);
            ASSERT_EQ(getPlayedFrames(player), uint64_t(c.stoppedAt) + ms * 44100ull / 1000) << ms << " ms";
        }
        offlinePlatform().tickCount = quietAt + c.quietMs;
        feedPlayer(player);
        const uint64_t heard = getPlayedFrames(player);
        ASSERT_EQ(heard, uint64_t(c.stoppedAt) + c.quietMs * 44100ull / 1000);
        const int32_t seen = getSongPosition(player);
        const int64_t rendered = player.framesRendered;

        offlineAudio().removed.store(false);  // it plays again, from where it stood
        feedPlayer(player);
        EXPECT_EQ(playerSilenceReason(player), nullptr);
        EXPECT_FALSE(offlineAudio().paused.load()) << "let go";
        const uint64_t now = getPlayedFrames(player);
        EXPECT_GE(now, heard);
        EXPECT_LT(now, heard + 884);
        EXPECT_EQ(now / 884 != heard / 884, c.nextBlock);
        EXPECT_GE(getSongPosition(player), seen);
        EXPECT_EQ(player.framesRendered - rendered, c.nextBlock ? 884 : 0) << "only the block the clock has left";

        // What the device plays from its own position on: the song from `now`, for all the ring
        // holds ahead of it (the block it is in holds music from the block's start).
        auto expectRingAhead = [&](uint64_t deviceFrame, uint64_t songFrame) {
            const int16_t* ring = offlineAudio().ring;
            int64_t differing = 0;
            for (uint64_t i = 0; i < kRing - 884; ++i) {
                const uint64_t at = (deviceFrame + i) % kRing;
                differing += ring[2 * at] != music[2 * (songFrame + i)] || ring[2 * at + 1] != music[2 * (songFrame + i) + 1];
            }
            EXPECT_EQ(differing, 0) << "device frame " << deviceFrame << ", song frame " << songFrame;
        };
        expectRingAhead(uint64_t(c.stoppedAt), now);
        // And on for 3 s, the device's frames and the song's in step.
        for (int64_t f = 2205; f <= 3 * 44100; f += 2205) playTo(c.stoppedAt + f);
        EXPECT_EQ(getPlayedFrames(player), now + 3 * 44100);
        expectRingAhead(uint64_t(c.stoppedAt) + 3 * 44100, now + 3 * 44100);
        stopPlayer(player);
    }
}

// A device whose count does not start at 0 (it played before): the ring's first block is still
// the first heard, and where the device goes away the silent clock goes on from the frames it
// played since the start, not from its own count.
TEST_F(Player, ADeviceCountingFromElsewhereHandsOverFromWhatItPlayed) {
    resetOfflinePlatform();
    offlinePlatform().tickCount = 5000;
    const uint32_t deviceStart = 1234567u * 4;
    offlineAudio().startPosition = deviceStart;
    ASSERT_EQ(startSong(), PlayerStart::playing);
    feedPlayer(player);
    EXPECT_EQ(player.readBlock.load(), 0);
    offlineAudio().position.store(deviceStart + (37 * 884 + 500) * 4);
    feedPlayer(player);
    ASSERT_EQ(player.readBlock.load(), 37);
    EXPECT_EQ(getPlayedFrames(player), uint64_t(37 * 884 + 500));
    offlineAudio().removed.store(true);
    feedPlayer(player);
    ASSERT_NE(playerSilenceReason(player), nullptr);
    EXPECT_EQ(getPlayedFrames(player), uint64_t(37 * 884 + 500)) << "on from the frames played";
    offlinePlatform().tickCount = 5000 + 9;  // 384 frames were left of block 37: 8.7 ms
    feedPlayer(player);
    EXPECT_EQ(player.readBlock.load(), 38);
}

// A device that goes away while the song is paused: the song stays where the pause held it, and
// goes on from there on the silent clock once the pause ends.
TEST_F(Player, ADeviceLostWhilePausedKeepsTheSongWhereItStood) {
    resetOfflinePlatform();
    offlinePlatform().tickCount = 2000;
    ASSERT_EQ(startSong(), PlayerStart::playing);
    offlineAudio().position.store((20 * 884 + 100) * 4);
    feedPlayer(player);
    ASSERT_EQ(player.readBlock.load(), 20);
    pausePlayer(player, true);
    offlineAudio().removed.store(true);
    offlinePlatform().tickCount = 2000 + 3000;
    feedPlayer(player);
    ASSERT_NE(playerSilenceReason(player), nullptr);
    EXPECT_EQ(getPlayedFrames(player), uint64_t(20 * 884 + 100)) << "the pause holds it";
    offlinePlatform().tickCount = 2000 + 6000;
    feedPlayer(player);
    EXPECT_EQ(player.readBlock.load(), 20);
    pausePlayer(player, false);
    offlinePlatform().tickCount = 2000 + 6000 + 100;
    feedPlayer(player);
    EXPECT_EQ(getPlayedFrames(player), uint64_t(20 * 884 + 100 + 4410)) << "on from where it stood";
}

// A pause holds the device, or the silent clock, where it is; the song goes on from there.
TEST_F(Player, APauseHoldsTheSongWhereItIs) {
    ASSERT_EQ(startSong(), PlayerStart::playing);
    pausePlayer(player, true);
    EXPECT_TRUE(offlineAudio().paused.load()) << "the device is told";
    pausePlayer(player, false);
    EXPECT_FALSE(offlineAudio().paused.load());
    stopPlayer(player);

    resetOfflinePlatform();
    offlinePlatform().tickCount = 1000;
    offlineAudio().refuseOpen = true;
    ASSERT_EQ(startSong(), PlayerStart::playing);
    offlinePlatform().tickCount = 1000 + 500;
    feedPlayer(player);
    const int32_t before = player.readBlock.load();
    EXPECT_EQ(before, blockAfterMs(500));
    pausePlayer(player, true);
    offlinePlatform().tickCount = 1000 + 500 + 3000;
    feedPlayer(player);
    EXPECT_EQ(player.readBlock.load(), before) << "3 s of pause move nothing";
    pausePlayer(player, false);
    offlinePlatform().tickCount = 1000 + 500 + 3000 + 400;
    feedPlayer(player);
    EXPECT_EQ(player.readBlock.load(), blockAfterMs(900)) << "on from where it stood";
    EXPECT_EQ(getPlayPosition(player).orderPosition, getSongPosition(player));
}

TEST_F(Player, TheFeederThreadKeepsUpWithTheDeviceAndStops) {
    for (int run = 0; run < 2; ++run) {  // start, stop, and start again
        ASSERT_EQ(startSong(true), PlayerStart::playing);
        for (int64_t block = 1; block <= 250; block += 7) {
            playBlock(block);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (player.readBlock.load() != block % 100 && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ASSERT_EQ(player.readBlock.load(), block % 100) << "run " << run << ", block " << block;
        }
        stopPlayer(player);
        EXPECT_TRUE(player.feederEnded.load());
        EXPECT_EQ(player.feeder, nullptr);
    }
}

// A feeder thread that cannot start is its own failure: the device plays all the same, and
// whoever started the player refills the ring with feedPlayer.
TEST_F(Player, AFeederThreadThatCannotStartIsReported) {
    resetOfflinePlatform();
    offlinePlatform().refuseThreads = true;
    ASSERT_EQ(startSong(true), PlayerStart::withoutFeeder);
    EXPECT_TRUE(offlineAudio().started) << "the device plays";
    EXPECT_EQ(player.feeder, nullptr);
    EXPECT_TRUE(player.feederEnded.load());
    playBlock(30);
    feedPlayer(player);
    EXPECT_EQ(player.readBlock.load(), 30);
    stopPlayer(player);
    offlinePlatform().refuseThreads = false;
}

// The demo without the player's thread: one line on standard error, and every frame feeds the
// player, so the song position follows the device as it would with the thread.
TEST(DemoWithoutFeederThread, TheFramesFeedThePlayer) {
    resetOfflinePlatform();
    resetOfflineAudio();
    offlinePlatform().refuseThreads = true;
    offlinePlatform().tickPerPresent = 17;
    const std::unique_ptr<Demo> demo = makeTestDemo();
    testing::internal::CaptureStderr();
    std::string reason;
    ASSERT_TRUE(demoStartUp(*demo, reason)) << reason;
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "skr4mm3lb0d: the music's thread could not start; the frames feed the music\n");
    ASSERT_EQ(demo->feeding, PlayerFeeding::frames);
    // 10 s of frames at about 60 a second, the device playing in step with the tick count.
    const uint32_t start = offlinePlatform().tickCount;
    while (offlinePlatform().tickCount - start < 10000) {
        const uint64_t ms = offlinePlatform().tickCount - start;
        offlineAudio().position.store(uint32_t(ms * 44100 / 1000 * 4));
        renderFrame(*demo);
        const int32_t playing = int32_t(ms * 44100 / 1000 / 884 % 100);
        ASSERT_EQ(demo->player->readBlock.load(), playing) << ms << " ms";
    }
    EXPECT_EQ(demo->driver.scenePosition, 2) << "the song's position 2 starts at 7.68 s";
    demoShutdown(*demo);
    offlinePlatform().refuseThreads = false;
}

// The position the frames read never goes back while the song goes forward: the feeder rewrites
// a block's record with music a whole ring (2 s) ahead, and no reader may see that record as the
// one being played and then the older one after it. Here the device races through 150 blocks (the
// records count ticks, about one per block, and stay below 256) while this thread reads the
// position as fast as it can.
TEST_F(Player, TheSongPositionNeverGoesBackWhileTheFeederRenders) {
    ASSERT_EQ(startSong(true), PlayerStart::playing);
    std::atomic<bool> played{false};
    std::thread device([&] {
        for (int64_t block = 1; block <= 150; ++block) {
            playBlock(block);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (player.readBlock.load() != block % 100 && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
        }
        played.store(true);
    });
    int32_t last = getSongPosition(player), drops = 0, reads = 0;
    while (!played.load()) {
        const int32_t now = getSongPosition(player);
        if (now < last) ++drops;
        last = now;
        ++reads;
    }
    device.join();
    EXPECT_EQ(drops, 0) << "in " << reads << " reads";
    EXPECT_EQ(player.readBlock.load(), 50);
}

// The demo's two threads as they run: the real sequencer and mixer on the feeder thread, and the
// frame loop on this one, reading the song position every frame while blocks are rendered behind
// the device; then a stop and a restart of the song under the running frames. ThreadSanitizer
// (the tsan preset) checks what the threads share.
TEST(ThreadedPlayback, FramesFollowTheSongPositionWhileTheFeederRendersAcrossARestart) {
    // Twenty order entries of a 4-row pattern at one tick per row: the position rises by one
    // every 3528 frames, four blocks.
    XmLayout layout;
    layout.channels = 2;
    layout.tempo = 1;
    layout.orders.assign(20, 0);
    XmSample tone;
    tone.data = deltas8({0, 50, 100, 50, 0, -50, -100, -50});
    tone.type = 1;
    tone.loopLength = 8;
    XmInstrument instrument;
    instrument.samples = {tone};
    layout.instruments = {instrument};
    XmPattern p;
    p.rows = 4;
    p.cells = {{49, 1, 0, 0, 0}, {56, 1, 0, 0, 0}};
    layout.patterns = {p};
    const std::vector<uint8_t> bytes = buildXm(layout);

    resetOfflinePlatform();
    offlinePlatform().tickCount = 1000;
    offlinePlatform().tickPerPresent = 20;
    resetOfflineAudio();
    // The embedded song, if any, is not fed; ours gets the thread and the frames only read.
    const std::unique_ptr<Demo> demo = makeTestDemo(PlayerFeeding::frames);
    std::string reason;
    ASSERT_TRUE(demoStartUp(*demo, reason)) << reason;
    const ModulePtr song = loadTestModule(bytes.data(), bytes.size());
    ASSERT_NE(song, nullptr);
    demo->feeding = PlayerFeeding::thread;
    RealtimePlayer& player = *demo->player;

    for (int run = 0; run < 2; ++run) {  // start, play, then restart from the top and play again
        ASSERT_EQ(startPlayer(player, song.get(), XMPLAYER_PROFILE_DEFAULT, true), PlayerStart::playing);
        // The device plays one block per frame; the feeder refills behind it while frames run.
        for (int64_t block = 1; block <= 60; ++block) {
            offlineAudio().position.store(uint32_t(block * 884 * 4));
            renderFrame(*demo);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (player.readBlock.load() != 60 && std::chrono::steady_clock::now() < deadline) renderFrame(*demo);
        ASSERT_EQ(player.readBlock.load(), 60) << "run " << run;
        // Block 60 is still the ring's first rendering: its last tick is tick (61 × 884 − 1) / 882,
        // row 61 of the song, in order 61 / 4.
        const int32_t order = (61 * 884 - 1) / 882 / 4;
        EXPECT_EQ(getSongPosition(player), order) << "run " << run;
        renderFrame(*demo);
        // The restart takes the position back to 0, which freezes the scene where it was.
        EXPECT_EQ(demo->driver.scenePosition, order) << "run " << run;
    }
    stopPlayer(player);
    EXPECT_EQ(player.feeder, nullptr);
    demoShutdown(*demo);
}

}  // namespace

namespace {

// One channel playing a constant sample at full volume, panned by the sample's own panning byte;
// on row 1 a C20 halves the volume, so the gains come once from a panning update and once from a
// volume update.
std::vector<uint8_t> pannedDcModule(uint8_t panning) {
    XmLayout layout;
    layout.channels = 1;
    layout.tempo = 1;  // a row every 882 frames
    XmPattern p;
    p.rows = 2;
    p.cells = {XmCell{49, 1, 0, 0, 0}, XmCell{0, 0, 0, 12, 0x20}};
    layout.patterns = {p};
    XmInstrument ins;
    XmSample s;
    s.data = deltas8({64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64});  // 16384 as 16 bits
    s.type = 1;
    s.loopLength = 16;
    s.panning = panning;
    ins.samples = {s};
    layout.instruments = {ins};
    return buildXm(layout);
}

// Panning 0 is hard left, the first value of every output frame; 255 hard right. The gains are
// (255 − panning) × volume / 255 on the left and panning × volume / 255 on the right, truncated.
TEST(Stereo, PanningRunsFromHardLeftToHardRight) {
    struct Case {
        uint8_t panning;
        int32_t left, right;            // gains at voice volume 127 (full)
        int16_t leftOut, rightOut;      // 16384 × gain / 255, rounded
        int32_t halfLeft, halfRight;    // gains at voice volume 63 (C20)
        int16_t halfLeftOut, halfRightOut;
    };
    const Case cases[] = {
        {0, 127, 0, 8160, 0, 63, 0, 4048, 0},
        {64, 95, 31, 6104, 1992, 47, 15, 3020, 964},
        {128, 63, 63, 4048, 4048, 31, 31, 1992, 1992},
        {192, 31, 95, 1992, 6104, 15, 47, 964, 3020},
        {255, 0, 127, 0, 8160, 0, 63, 0, 4048},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("panning " + std::to_string(c.panning));
        resetOfflineAudio();
        const std::vector<uint8_t> bytes = pannedDcModule(c.panning);
        Module* m = loadModuleFromMemory(bytes.data(), bytes.size(), nullptr);
        ASSERT_NE(m, nullptr);

        // The gains, tick by tick: row 0 (panning update), row 1 (volume update).
        const std::unique_ptr<Playback> playback = std::make_unique<Playback>();
        startPlayback(*playback, *m, defaultProfile);
        const Voice& v = *playback->channels[0].voice;
        sequencerTick(*playback);
        EXPECT_EQ(v.leftVolume, c.left);
        EXPECT_EQ(v.rightVolume, c.right);
        sequencerTick(*playback);
        EXPECT_EQ(v.leftVolume, c.halfLeft);
        EXPECT_EQ(v.rightVolume, c.halfRight);

        // What the device gets: frame 600 lies after row 0's 128-frame ramp, frame 1500 after
        // row 1's.
        const RealtimePlayerPtr player = makeTestPlayer();
        const ModulePtr song = loadTestModule(bytes.data(), bytes.size());
        ASSERT_EQ(startPlayer(*player, song.get(), XMPLAYER_PROFILE_DEFAULT, false), PlayerStart::playing);
        const int16_t* out = player->outputBuffer;
        EXPECT_EQ(out[2 * 600], c.leftOut);
        EXPECT_EQ(out[2 * 600 + 1], c.rightOut);
        EXPECT_EQ(out[2 * 1500], c.halfLeftOut);
        EXPECT_EQ(out[2 * 1500 + 1], c.halfRightOut);
        stopPlayer(*player);
        freeModule(m);
    }
}

}  // namespace
