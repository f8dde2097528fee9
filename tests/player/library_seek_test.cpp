// Seeking through the C interface: after a seek to a frame, a time or a row, the frames rendered
// are those an unbroken render gives there, bit for bit, for every profile and at other rates;
// where the player says it is afterwards; the song's end and duration around a seek.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "busy_song.h"
#include "mod_writer.h"
#include "shared_data.h"
#include "tracker_songs.h"
#include "xmplayer.h"

namespace {

struct Module {
    xmplayer_module* module;
    explicit Module(const std::vector<uint8_t>& bytes)
        : module(xmplayer_load_memory(bytes.data(), bytes.size(), nullptr, nullptr, 0)) {}
    ~Module() { xmplayer_free_module(module); }
};

struct Player {
    xmplayer* player;
    Player(const xmplayer_module* module, xmplayer_profile profile, int32_t rate = XMPLAYER_RATE)
        : player(xmplayer_create(module, profile)) {
        EXPECT_EQ(xmplayer_set_rate(player, rate), XMPLAYER_OK);
    }
    ~Player() { xmplayer_free(player); }
    operator xmplayer*() const { return player; }
};

// `frames` frames (fewer at the song's end), rendered in pieces of `piece`.
std::vector<int16_t> render(xmplayer* player, int64_t frames, size_t piece = 1000) {
    std::vector<int16_t> out, buffer(2 * piece);
    while (int64_t(out.size() / 2) < frames) {
        const size_t n = xmplayer_render_s16(player, buffer.data(), std::min<size_t>(piece, size_t(frames - int64_t(out.size() / 2))));
        if (n == 0) break;
        out.insert(out.end(), buffer.begin(), buffer.begin() + 2 * n);
    }
    return out;
}

std::vector<int16_t> slice(const std::vector<int16_t>& all, int64_t from, int64_t frames) {
    const size_t a = std::min(all.size(), size_t(2 * from)), b = std::min(all.size(), size_t(2 * (from + frames)));
    return {all.begin() + std::ptrdiff_t(a), all.begin() + std::ptrdiff_t(b)};
}

xmplayer_position positionOf(const xmplayer* player) {
    xmplayer_position at{};
    EXPECT_EQ(xmplayer_get_position(player, &at, sizeof at), XMPLAYER_OK);
    return at;
}

const char* nameOf(xmplayer_profile profile) { return xmplayer_profile_name(profile); }

// Seeks in every direction: from a fresh player, forward past the block at hand, back, inside the
// block at hand, onto block and tick boundaries, and past the song's end. After each, the next
// frames are the unbroken render's and the player says it is there.
void checkSeeks(const xmplayer_module* module, xmplayer_profile profile, int32_t rate) {
    SCOPED_TRACE(std::string(nameOf(profile)) + " at " + std::to_string(rate));
    const int64_t block = xmplayer_block_frames(rate);
    Player whole(module, profile, rate);
    const std::vector<int16_t> unbroken = render(whole, 40 * rate);
    const int64_t end = int64_t(unbroken.size() / 2);
    ASSERT_TRUE(xmplayer_ended(whole)) << "the song ends within 40 s";
    const int64_t tick = rate * 5 / 250;  // roughly one tick at BPM 125
    const int64_t targets[] = {0, 1, block - 1, block, block + 1, 7 * block, tick, 3 * tick + 5, end / 3,
                               end / 2 + 17, end - 2 * block, end - 1};
    constexpr int64_t kCompared = 3000;

    Player p(module, profile, rate);
    for (const int64_t target : targets) {
        SCOPED_TRACE(target);
        for (const int64_t before : {int64_t(0), target / 2, target + 5000}) {  // forward, forward, back
            ASSERT_EQ(xmplayer_seek_frame(p, before), XMPLAYER_OK);
            render(p, 1500);
            ASSERT_EQ(xmplayer_seek_frame(p, target), XMPLAYER_OK);
            const xmplayer_position at = positionOf(p);
            EXPECT_EQ(at.played, target);
            EXPECT_DOUBLE_EQ(at.seconds, double(target) / rate);
            ASSERT_EQ(render(p, kCompared, 777), slice(unbroken, target, kCompared)) << "after a seek from " << before;
            EXPECT_EQ(positionOf(p).played, std::min(end, target + kCompared)) << "the frame count goes on from the seek";
        }
        // Inside the block at hand: the frames just handed out again, and a few further on.
        ASSERT_EQ(xmplayer_seek_frame(p, target), XMPLAYER_OK);
        render(p, 100);
        ASSERT_EQ(xmplayer_seek_frame(p, target + 50), XMPLAYER_OK);
        EXPECT_EQ(render(p, 500), slice(unbroken, target + 50, 500));
    }

    // Past the end: the player is at the end, and a seek back brings the song again.
    ASSERT_EQ(xmplayer_seek_frame(p, end + 100000), XMPLAYER_OK);
    EXPECT_TRUE(xmplayer_ended(p));
    EXPECT_EQ(render(p, 10).size(), 0u);
    ASSERT_EQ(xmplayer_seek_frame(p, end - 10), XMPLAYER_OK);
    EXPECT_FALSE(xmplayer_ended(p));
    EXPECT_EQ(render(p, 100), slice(unbroken, end - 10, 10));
    EXPECT_TRUE(xmplayer_ended(p));
    ASSERT_EQ(xmplayer_seek_frame(p, 0), XMPLAYER_OK);
    EXPECT_EQ(render(p, kCompared), slice(unbroken, 0, kCompared));
}

TEST(LibrarySeek, FramesAfterASeekAreTheUnbrokenRendersForEveryProfileAndRate) {
    const Module song(buildXm(busySong()));
    ASSERT_NE(song.module, nullptr);
    for (int profile = 0; profile < xmplayer_profile_count(); ++profile)
        for (const int32_t rate : {44100, 48000, 8000}) checkSeeks(song.module, xmplayer_profile(profile), rate);
}

// A MOD and an S3M as their trackers play them: ProTracker's sample swaps and offsets, Scream
// Tracker 3's shared memories move on through a seek as through mixing.
TEST(LibrarySeek, ModAndS3mSeekToTheUnbrokenRendersFrames) {
    for (const std::vector<uint8_t>& bytes : {tracker_songs::modSong(), tracker_songs::s3mSong()}) {
        const Module song(bytes);
        ASSERT_NE(song.module, nullptr);
        const xmplayer_profile profile = xmplayer_module_profile(song.module);
        Player whole(song.module, profile);
        const std::vector<int16_t> unbroken = render(whole, 15 * 44100);
        Player p(song.module, profile);
        for (const int64_t target : {int64_t(13 * 44100 + 123), int64_t(2 * 44100), int64_t(9 * 44100 + 884)}) {
            ASSERT_EQ(xmplayer_seek_frame(p, target), XMPLAYER_OK);
            ASSERT_EQ(render(p, 4000), slice(unbroken, target, 4000)) << nameOf(profile) << " " << target;
        }
    }
}

// ProTracker's sample swap: a lone instrument number lets the playing one-shot sample run out, then
// the voice goes on in the new sample's loop. A seek moves a voice through the swap without
// mixing it, and a muted channel does the same: both give the unbroken render's frames, and
// neither mixes into a buffer it does not have.
TEST(LibrarySeek, ASampleSwapIsPassedAsMixingPassesIt) {
    ModLayout layout;
    ModSample oneShot;
    oneShot.data.assign(600, 40);  // 600 frames, no loop
    layout.samples = {oneShot, modTone()};
    ModPattern p;
    p.cells.resize(64 * 4);
    p.cells[0] = ModCell{25, 1, 0, 0};  // C-3 of the one-shot sample
    p.cells[4] = ModCell{0, 2, 0, 0};   // row 1: the looped sample's number alone
    p.cells[4 + 1] = ModCell{37, 2, 0, 0};
    layout.patterns = {p};
    const Module song(buildMod(layout));
    ASSERT_NE(song.module, nullptr);
    Player whole(song.module, XMPLAYER_PROFILE_PT);
    const std::vector<int16_t> unbroken = render(whole, 3 * 44100);
    for (const int64_t target : {int64_t(20000), int64_t(44100), int64_t(2 * 44100 + 3)}) {
        Player p2(song.module, XMPLAYER_PROFILE_PT);
        ASSERT_EQ(xmplayer_seek_frame(p2, target), XMPLAYER_OK);
        ASSERT_EQ(render(p2, 4000), slice(unbroken, target, 4000)) << target;
    }
    Player muted(song.module, XMPLAYER_PROFILE_PT);
    ASSERT_EQ(xmplayer_set_mute(muted, 0, 1), XMPLAYER_OK);
    const std::vector<int16_t> withoutChannel0 = render(muted, 44100);
    EXPECT_EQ(withoutChannel0.size(), size_t(2 * 44100));
}

// Real modules from the corpus, with their long samples and many channels.
TEST(LibrarySeek, CorpusModulesSeekToTheUnbrokenRendersFrames) {
    const std::filesystem::path corpus = sharedDataDir("xm-corpus");
    REQUIRE_SHARED_DATA(corpus);
    for (const char* name : {"dali.xm", "cerror-bobmberclone.xm", "mph.xm"}) {
        SCOPED_TRACE(name);
        std::ifstream in(corpus / name, std::ios::binary);
        const Module song(std::vector<uint8_t>{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
        ASSERT_NE(song.module, nullptr);
        for (const xmplayer_profile profile : {XMPLAYER_PROFILE_DEFAULT, XMPLAYER_PROFILE_FT2}) {
            Player whole(song.module, profile);
            const std::vector<int16_t> unbroken = render(whole, 30 * 44100);
            Player p(song.module, profile);
            for (const int64_t target : {int64_t(29 * 44100 + 123), int64_t(5 * 44100), int64_t(17 * 44100 + 884)}) {
                ASSERT_EQ(xmplayer_seek_frame(p, target), XMPLAYER_OK);
                ASSERT_EQ(render(p, 4000), slice(unbroken, target, 4000)) << nameOf(profile) << " " << target;
            }
        }
    }
}

// Milliseconds are frames at the player's rate; a row is where the song first plays it.
TEST(LibrarySeek, ByTimeAndByRow) {
    const Module song(buildXm(busySong()));
    for (const int32_t rate : {44100, 22050}) {
        SCOPED_TRACE(rate);
        Player whole(song.module, XMPLAYER_PROFILE_FT2, rate);
        const std::vector<int16_t> unbroken = render(whole, 40 * rate);

        Player p(song.module, XMPLAYER_PROFILE_FT2, rate);
        ASSERT_EQ(xmplayer_seek_ms(p, 2500), XMPLAYER_OK);
        EXPECT_EQ(positionOf(p).played, 2500 * rate / 1000);
        EXPECT_EQ(render(p, 2000), slice(unbroken, 2500 * rate / 1000, 2000));

        // Order 2 row 3, reached once: the first frame of its row tick, where the tick report of
        // the unbroken render saw it.
        std::vector<xmplayer_position> ticks;
        Player reporting(song.module, XMPLAYER_PROFILE_FT2, rate);
        xmplayer_set_tick_report(reporting, [](const xmplayer_position* t, void* to) {
            static_cast<std::vector<xmplayer_position>*>(to)->push_back(*t);
        }, &ticks);
        render(reporting, 40 * rate);
        const auto row = std::find_if(ticks.begin(), ticks.end(), [](const xmplayer_position& t) {
            return t.order == 2 && t.row == 3 && t.tick == 0;
        });
        ASSERT_NE(row, ticks.end());
        ASSERT_EQ(xmplayer_seek_row(p, 2, 3), XMPLAYER_OK);
        const xmplayer_position at = positionOf(p);
        EXPECT_EQ(at.played, row->frame);
        EXPECT_EQ(at.order, 2);
        EXPECT_EQ(at.row, 3);
        EXPECT_EQ(at.tick, 0);
        EXPECT_EQ(render(p, 3000), slice(unbroken, row->frame, 3000));

        // Order 1 plays twice: its first time. Rows the song never plays are not found.
        ASSERT_EQ(xmplayer_seek_row(p, 1, 0), XMPLAYER_OK);
        const auto first = std::find_if(ticks.begin(), ticks.end(), [](const xmplayer_position& t) {
            return t.order == 1 && t.row == 0;
        });
        EXPECT_EQ(positionOf(p).played, first->frame);
        ASSERT_EQ(xmplayer_seek_frame(p, 1000), XMPLAYER_OK);
        EXPECT_EQ(xmplayer_seek_row(p, 0, 40), XMPLAYER_ERROR_NOT_FOUND);
        EXPECT_EQ(positionOf(p).played, 1000) << "a row not found moves nothing";
        EXPECT_EQ(xmplayer_seek_row(p, 4, 0), XMPLAYER_ERROR_ARGUMENT) << "past the order list";
        EXPECT_EQ(xmplayer_seek_frame(p, -1), XMPLAYER_ERROR_ARGUMENT);
        EXPECT_EQ(xmplayer_seek_ms(nullptr, 0), XMPLAYER_ERROR_ARGUMENT);
    }
}

// A seek counts the song's plays as an unbroken render counts them: with two loops the song's
// third pass is reached, and it ends where the unbroken render ends.
TEST(LibrarySeek, CountsTheLoopsAndEndsWhereTheUnbrokenRenderEnds) {
    const Module song(buildXm(busySong()));
    const int64_t once = xmplayer_song_frames(song.module, XMPLAYER_PROFILE_DEFAULT, 0, 1 << 30);
    const int64_t thrice = xmplayer_song_frames(song.module, XMPLAYER_PROFILE_DEFAULT, 2, 1 << 30);
    ASSERT_GT(thrice, 2 * once);
    Player whole(song.module, XMPLAYER_PROFILE_DEFAULT);
    xmplayer_set_loops(whole, 2);
    const std::vector<int16_t> unbroken = render(whole, 2 * thrice);
    ASSERT_EQ(int64_t(unbroken.size() / 2), thrice);

    Player p(song.module, XMPLAYER_PROFILE_DEFAULT);
    xmplayer_set_loops(p, 2);
    ASSERT_EQ(xmplayer_seek_frame(p, thrice - 5000), XMPLAYER_OK);
    EXPECT_EQ(render(p, thrice), slice(unbroken, thrice - 5000, 5000));
    EXPECT_TRUE(xmplayer_ended(p));

    // Played for ever, the song goes on past its end.
    Player endless(song.module, XMPLAYER_PROFILE_DEFAULT);
    xmplayer_set_loops(endless, -1);
    ASSERT_EQ(xmplayer_seek_frame(endless, 2 * once + 100), XMPLAYER_OK);
    EXPECT_EQ(render(endless, 5000), slice(unbroken, 2 * once + 100, 5000));
}

// After set_order (a jump) the song plays on from the new entry, its end looked for afresh, and
// a seek goes back to the song as an unbroken render plays it.
TEST(LibrarySeek, AJumpPlaysOnAndASeekAfterItIsExactAgain) {
    const Module song(buildXm(busySong()));
    const int64_t once = xmplayer_song_frames(song.module, XMPLAYER_PROFILE_DEFAULT, 0, 1 << 30);
    Player whole(song.module, XMPLAYER_PROFILE_DEFAULT);
    const std::vector<int16_t> unbroken = render(whole, once);

    Player p(song.module, XMPLAYER_PROFILE_DEFAULT);
    render(p, once - 1000);
    ASSERT_EQ(xmplayer_set_order(p, 0), 1);
    const int64_t after = int64_t(render(p, once).size() / 2);
    EXPECT_GT(after, once / 2) << "the song plays on from order 0 instead of ending at once";
    EXPECT_EQ(positionOf(p).played, once - 1000 + after) << "the frames go on counting across a jump";
    ASSERT_EQ(xmplayer_seek_frame(p, 12345), XMPLAYER_OK);
    EXPECT_EQ(render(p, 3000), slice(unbroken, 12345, 3000));
}

// The duration is the song's frames at 44100 in seconds, and the frames are the same a render
// gives; a song with no end within a day has none.
TEST(LibrarySeek, DurationIsTheSongsLengthInSeconds) {
    const Module song(buildXm(busySong()));
    const int64_t frames = xmplayer_song_frames(song.module, XMPLAYER_PROFILE_FT2, 0, 1 << 30);
    Player p(song.module, XMPLAYER_PROFILE_FT2);
    EXPECT_EQ(int64_t(render(p, 1 << 30, 4096).size() / 2), frames);
    EXPECT_DOUBLE_EQ(xmplayer_song_duration(song.module, XMPLAYER_PROFILE_FT2, 0), double(frames) / 44100);
    EXPECT_DOUBLE_EQ(xmplayer_song_duration(song.module, XMPLAYER_PROFILE_FT2, 3),
                     double(xmplayer_song_frames(song.module, XMPLAYER_PROFILE_FT2, 3, 1 << 30)) / 44100);
    EXPECT_EQ(xmplayer_song_duration(nullptr, XMPLAYER_PROFILE_FT2, 0), -1.0);
}

// A file's BPM may make ticks of a single frame: a song of 256 entries of a 256-row pattern,
// each row delayed 16 times at tempo 31 (32 million ticks), is given up on after 2^22 of them
// instead of being run for hours; its rows are not looked for further either.
TEST(LibrarySeek, AHugeSongOfTinyTicksIsGivenUpOnInTime) {
    XmLayout layout;
    layout.channels = 1;
    layout.tempo = 31;
    layout.bpm = 65535;
    layout.orders.assign(256, 0);
    XmPattern delays = column({}, 256);
    for (XmCell& c : delays.cells) c = XmCell{0, 0, 0, 14, 0xEF};
    layout.patterns = {delays};
    const Module song(buildXm(layout));
    ASSERT_NE(song.module, nullptr);
    EXPECT_EQ(xmplayer_song_duration(song.module, XMPLAYER_PROFILE_DEFAULT, 0), -1.0);
    EXPECT_EQ(xmplayer_song_frames(song.module, XMPLAYER_PROFILE_DEFAULT, 0, int64_t(1) << 40), int64_t(1) << 40);
    Player p(song.module, XMPLAYER_PROFILE_DEFAULT);
    EXPECT_EQ(xmplayer_seek_row(p, 255, 255), XMPLAYER_ERROR_NOT_FOUND);
}

}  // namespace
