// The song's end: generated modules whose ends are known row by row, measured by a run of their
// ticks and found again by a tick wrapper inside a real render.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/play/song_end.h"
#include "song_fixture.h"
#include "xmplayer.h"

namespace {

constexpr int64_t kRow = 6 * 882;  // frames of one row at tempo 6, BPM 125

XmCell effect(uint8_t type, uint8_t parameter) { return XmCell{0, 0, 0, type, parameter}; }
const uint8_t kJump = 11, kBreak = 13, kExtended = 14, kSpeed = 15;

// One channel; `patterns` as columns of cells; tempo 6, BPM 125.
XmLayout song(std::vector<uint8_t> orders, std::vector<XmPattern> patterns, uint16_t restart = 0) {
    XmLayout layout;
    layout.channels = 1;
    layout.orders = std::move(orders);
    layout.patterns = std::move(patterns);
    layout.restartPosition = restart;
    return layout;
}

XmPattern plain(uint16_t rows) { return column({}, rows); }

// Two channels: row 0 sets tempo 3 and BPM 150 (735 frames a tick), row 1 adds a delay of one row.
XmLayout tempoAndDelay() {
    XmLayout layout;
    layout.channels = 2;
    layout.orders = {0};
    layout.patterns = {pattern(2, 2, {{0, effect(kSpeed, 3)}, {1, effect(kSpeed, 150)}, {2, effect(kExtended, 0xE1)}})};
    return layout;
}

struct Case {
    const char* what;
    XmLayout      layout;
    int32_t     loops;
    int64_t     frames;  // where the song ends
};

std::vector<Case> cases() {
    const XmPattern loopRows2To5 = column({{}, {}, effect(kExtended, 0x60), {}, {}, effect(kExtended, 0x62)}, 8);
    return {
        {"the end of the order list", song({0, 1}, {plain(4), plain(4)}), 0, 8 * kRow},
        {"the end of the order list, played twice", song({0, 1}, {plain(4), plain(4)}), 1, 16 * kRow},
        {"back to the restart position", song({0, 1, 2}, {plain(4), plain(4), plain(4)}, 1), 0, 12 * kRow},
        {"back to the restart position, twice more", song({0, 1, 2}, {plain(4), plain(4), plain(4)}, 1), 2,
         (12 + 8 + 8) * kRow},
        {"a jump back", song({0, 1, 2}, {plain(4), plain(4), column({{}, effect(kJump, 1)}, 4)}), 0, 10 * kRow},
        {"a jump to its own order", song({0}, {column({{}, {}, effect(kJump, 0)}, 4)}), 0, 3 * kRow},
        {"a one-row pattern that jumps to itself", song({0}, {column({effect(kJump, 0)}, 1)}), 0, kRow},
        {"a break to the row it is on", song({0}, {column({{}, {}, effect(kBreak, 0x02)}, 4)}), 0, 3 * kRow},
        // Rows 0-5, 2-5 twice more, 6-7: a loop's repeats are no end, nor is its loop row left
        // at 2 when the song comes round to row 0 again.
        {"a pattern loop", song({0}, {loopRows2To5}), 0, 16 * kRow},
        {"a pattern loop at two order entries", song({0, 0}, {loopRows2To5}), 0, 32 * kRow},
        {"tempo, BPM and pattern delay", tempoAndDelay(), 0, (3 + 6) * 735},
    };
}

TEST(SongEnd, EndsAtTheFirstRowPlayedASecondTime) {
    for (const Case& c : cases()) {
        Song s(c.layout);
        ASSERT_NE(s.m, nullptr) << c.what;
        const SongLength length = measureSongLength(*s.m, c.loops, 1'000'000);
        EXPECT_TRUE(length.ended) << c.what;
        EXPECT_EQ(length.frames, c.frames) << c.what;
    }
}

TEST(SongEnd, ALimitBeforeTheEndIsReportedAsSuch) {
    Song s(song({0, 1}, {plain(4), plain(4)}));
    const SongLength cut = measureSongLength(*s.m, 0, 8 * kRow - 1);
    EXPECT_FALSE(cut.ended);
    EXPECT_EQ(cut.frames, 8 * kRow - 1);
    const SongLength exact = measureSongLength(*s.m, 0, 8 * kRow);
    EXPECT_TRUE(exact.ended);
    EXPECT_EQ(exact.frames, 8 * kRow);
}

// The library's render stops at the same frame, in pieces of any size, and --loops plays on.
TEST(SongEnd, ARealRenderReachesTheEndAtTheMeasuredFrame) {
    for (const Case& c : cases()) {
        Song s(c.layout);
        ASSERT_NE(s.m, nullptr) << c.what;
        const SongLength length = measureSongLength(*s.m, c.loops, 1'000'000);
        xmplayer_module* module = xmplayer_load_memory(s.bytes.data(), s.bytes.size(), nullptr, nullptr, 0);
        ASSERT_NE(module, nullptr) << c.what;
        for (const size_t piece : {size_t(884), size_t(1000), size_t(7)}) {
            xmplayer* player = xmplayer_create(module, XMPLAYER_PROFILE_DEFAULT);
            xmplayer_set_loops(player, c.loops);
            std::vector<int16_t> frames(2 * piece);
            int64_t rendered = 0;
            while (size_t n = xmplayer_render_s16(player, frames.data(), piece)) rendered += int64_t(n);
            EXPECT_TRUE(xmplayer_ended(player)) << c.what;
            EXPECT_EQ(rendered, length.frames) << c.what << ", in pieces of " << piece;
            xmplayer_free(player);
        }
        EXPECT_EQ(xmplayer_song_frames(module, XMPLAYER_PROFILE_DEFAULT, c.loops, 1'000'000), length.frames);
        xmplayer_free_module(module);
    }
}

}  // namespace
