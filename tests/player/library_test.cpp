// The player library through its public C interface (xmplayer.h): several songs at once, one
// module feeding several players, the song's information, where a player is, and its errors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "mod_writer.h"
#include "s3m_writer.h"
#include "song_fixture.h"
#include "temp_dir.h"
#include "xmplayer.h"

namespace {

// Two songs that differ in everything that plays: channels, tempo, instruments, effects.
std::vector<uint8_t> songA() {
    XmLayout layout;
    layout.name = "song A";
    layout.channels = 2;
    layout.tempo = 6;
    layout.orders = {0, 1};
    XmInstrument lead = toneInstrument(48, 40);
    lead.name = "lead";
    layout.instruments = {lead, toneInstrument(64, 220)};
    layout.patterns = {pattern(8, 2, {{0, XmCell{49, 1, 0, 0, 0}}, {1, XmCell{37, 2, 0, 4, 0x46}}, {6, XmCell{61, 1, 0, 1, 3}}}),
                       pattern(8, 2, {{0, XmCell{56, 2, 0, 0, 0x37}}, {5, XmCell{0, 0, 0, 0x0A, 0x04}}})};
    return buildXm(layout);
}

std::vector<uint8_t> songB() {
    XmLayout layout;
    layout.name = "song B";
    layout.trackerName = "another tracker";
    layout.flags = 0;  // Amiga periods
    layout.channels = 3;
    layout.tempo = 3;
    layout.bpm = 140;
    layout.orders = {0, 0, 0};
    layout.instruments = {toneInstrument(32, 128)};
    // E51 on row 4 changes the sample's fine-tune for the notes after it.
    layout.patterns = {pattern(8, 3, {{0, XmCell{50, 1, 0, 0, 0}},
                                      {4, XmCell{57, 1, 0, 0, 0x47}},
                                      {12, XmCell{0, 0, 0, 14, 0x51}},
                                      {15, XmCell{52, 1, 0, 0, 0}}})};
    return buildXm(layout);
}

struct LoadedSong {
    xmplayer_module* module;
    explicit LoadedSong(const std::vector<uint8_t>& bytes) : module(xmplayer_load_memory(bytes.data(), bytes.size(), nullptr, nullptr, 0)) {}
    ~LoadedSong() { xmplayer_free_module(module); }
};

// The whole song, rendered in pieces of `piece` frames.
std::vector<int16_t> renderAlone(const xmplayer_module* module, size_t piece) {
    xmplayer* player = xmplayer_create(module, XMPLAYER_PROFILE_DEFAULT);
    std::vector<int16_t> out;
    std::vector<int16_t> buffer(2 * piece);
    while (size_t n = xmplayer_render_s16(player, buffer.data(), piece)) out.insert(out.end(), buffer.begin(), buffer.begin() + 2 * n);
    xmplayer_free(player);
    return out;
}

TEST(Library, TwoSongsAtOnceSoundAsEachAlone) {
    const LoadedSong a(songA()), b(songB());
    ASSERT_NE(a.module, nullptr);
    ASSERT_NE(b.module, nullptr);
    const std::vector<int16_t> aloneA = renderAlone(a.module, 884), aloneB = renderAlone(b.module, 884);
    ASSERT_GT(aloneA.size(), 0u);
    ASSERT_GT(aloneB.size(), 0u);

    // Interleaved, block by block, in pieces of other sizes too: the same bytes.
    for (const size_t piece : {size_t(884), size_t(300), size_t(1031)}) {
        SCOPED_TRACE(piece);
        xmplayer* x = xmplayer_create(a.module, XMPLAYER_PROFILE_DEFAULT);
        xmplayer* y = xmplayer_create(b.module, XMPLAYER_PROFILE_DEFAULT);
        std::vector<int16_t> gotA, gotB, buffer(2 * piece);
        for (bool more = true; more;) {
            const size_t n = xmplayer_render_s16(x, buffer.data(), piece);
            gotA.insert(gotA.end(), buffer.begin(), buffer.begin() + 2 * n);
            const size_t m = xmplayer_render_s16(y, buffer.data(), piece);
            gotB.insert(gotB.end(), buffer.begin(), buffer.begin() + 2 * m);
            more = n > 0 || m > 0;
        }
        EXPECT_EQ(gotA, aloneA);
        EXPECT_EQ(gotB, aloneB);
        xmplayer_free(x);
        xmplayer_free(y);
    }

    // On two threads at once (ThreadSanitizer checks what they might share).
    std::vector<int16_t> threadA, threadB;
    std::thread t([&] { threadA = renderAlone(a.module, 512); });
    threadB = renderAlone(b.module, 700);
    t.join();
    EXPECT_EQ(threadA, aloneA);
    EXPECT_EQ(threadB, aloneB);
}

// Song B changes a sample's fine-tune with E51 as it plays. The module stays as loaded: a second
// player made from it, at once or after the first has played, plays the same from the start.
TEST(Library, OneModuleFeedsSeveralPlayers) {
    const LoadedSong b(songB());
    const std::vector<int16_t> first = renderAlone(b.module, 884);
    EXPECT_EQ(renderAlone(b.module, 884), first);
    xmplayer* x = xmplayer_create(b.module, XMPLAYER_PROFILE_DEFAULT);
    xmplayer* y = xmplayer_create(b.module, XMPLAYER_PROFILE_DEFAULT);
    std::vector<int16_t> gotX, gotY, buffer(2 * 884);
    for (size_t n; (n = xmplayer_render_s16(x, buffer.data(), 884)) > 0;) gotX.insert(gotX.end(), buffer.begin(), buffer.begin() + 2 * n);
    for (size_t n; (n = xmplayer_render_s16(y, buffer.data(), 884)) > 0;) gotY.insert(gotY.end(), buffer.begin(), buffer.begin() + 2 * n);
    EXPECT_EQ(gotX, first);
    EXPECT_EQ(gotY, first);
    xmplayer_free(x);
    xmplayer_free(y);
}

TEST(Library, FloatFramesAreWhatTheSixteenBitOnesAreRoundedFrom) {
    const LoadedSong a(songA());
    xmplayer* x = xmplayer_create(a.module, XMPLAYER_PROFILE_DEFAULT);
    xmplayer* y = xmplayer_create(a.module, XMPLAYER_PROFILE_DEFAULT);
    std::vector<int16_t> s16(2 * 5000);
    std::vector<float> f(2 * 5000);
    ASSERT_EQ(xmplayer_render_s16(x, s16.data(), 5000), 5000u);
    ASSERT_EQ(xmplayer_render_float(y, f.data(), 5000), 5000u);
    int loud = 0;
    for (size_t i = 0; i < s16.size(); ++i) {
        const float v = f[i] * 32768.0f;
        const float limited = std::fmin(std::fmax(std::nearbyint(v), -32768.0f), 32767.0f);
        ASSERT_EQ(s16[i], int16_t(limited)) << i;
        loud += std::abs(s16[i]) > 1000;
    }
    EXPECT_GT(loud, 1000);
    xmplayer_free(x);
    xmplayer_free(y);
}

TEST(Library, TellsWhatTheSongIs) {
    const LoadedSong a(songA()), b(songB());
    xmplayer_info info{};
    xmplayer_get_info(a.module, &info, sizeof info);
    EXPECT_STREQ(info.title, "song A");
    EXPECT_STREQ(info.tracker, "xm_writer");
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.orders, 2);
    EXPECT_EQ(info.patterns, 2);
    EXPECT_EQ(info.instruments, 2);
    EXPECT_EQ(info.linear_periods, 1);
    EXPECT_EQ(info.missing_bytes, 0);
    EXPECT_STREQ(xmplayer_instrument_name(a.module, 0), "lead");
    EXPECT_STREQ(xmplayer_instrument_name(a.module, 1), "instrument");
    EXPECT_STREQ(xmplayer_instrument_name(a.module, 2), "");
    EXPECT_STREQ(xmplayer_instrument_name(a.module, -1), "");
    xmplayer_get_info(b.module, &info, sizeof info);
    EXPECT_STREQ(info.tracker, "another tracker");
    EXPECT_EQ(info.linear_periods, 0);
    EXPECT_EQ(info.channels, 3);
    const std::string compiled = std::to_string(XMPLAYER_VERSION_MAJOR) + "." + std::to_string(XMPLAYER_VERSION_MINOR) +
                                 "." + std::to_string(XMPLAYER_VERSION_PATCH);
    EXPECT_EQ(xmplayer_version(), compiled);
}

// Every profile is found by its name and only by it.
TEST(Library, ProfilesAreFoundByNameAndNumber) {
    ASSERT_GE(xmplayer_profile_count(), 2);
    EXPECT_STREQ(xmplayer_profile_name(XMPLAYER_PROFILE_DEFAULT), "default");
    EXPECT_STREQ(xmplayer_profile_name(XMPLAYER_PROFILE_FT2), "ft2");
    for (int i = 0; i < xmplayer_profile_count(); ++i) {
        ASSERT_NE(xmplayer_profile_name(i), nullptr);
        EXPECT_EQ(xmplayer_profile_from_name(xmplayer_profile_name(i)), i);
        ASSERT_NE(xmplayer_profile_description(i), nullptr);
        EXPECT_NE(xmplayer_profile_description(i)[0], '\0');
    }
    for (int none : {-1, xmplayer_profile_count()}) {
        EXPECT_EQ(xmplayer_profile_name(none), nullptr);
        EXPECT_EQ(xmplayer_profile_description(none), nullptr);
    }
    for (const char* name : {"FT2", "", "ft", "ft2 ", "default2", "Auto"}) EXPECT_EQ(xmplayer_profile_from_name(name), -1) << name;
    EXPECT_EQ(xmplayer_profile_from_name(nullptr), -1);
    // "auto" is no profile of its own: its number lies outside theirs.
    EXPECT_EQ(xmplayer_profile_from_name("auto"), XMPLAYER_PROFILE_AUTO);
    EXPECT_STREQ(xmplayer_profile_name(XMPLAYER_PROFILE_AUTO), "auto");
    EXPECT_NE(xmplayer_profile_description(XMPLAYER_PROFILE_AUTO), nullptr);
    EXPECT_GE(XMPLAYER_PROFILE_AUTO, xmplayer_profile_count());
}

// The format comes from the content; AUTO plays each as its tracker does, and the loader's
// warnings come with the module.
TEST(Library, EachFormatIsToldAndPlaysAsItsTrackerDoes) {
    ModLayout mod;
    mod.samples = {modTone()};
    ModPattern modPattern;
    modPattern.cells = {ModCell{49, 1, 4, 0x44}};  // C-2 with a vibrato: ProTracker's falls first
    mod.patterns = {modPattern};
    S3mLayout s3m;
    S3mSample adlib;
    adlib.type = 2;
    s3m.samples = {s3mTone(10000), adlib};  // a rate between transposes: st3 plays it exactly
    s3m.patterns = {S3mPattern{{S3mCell{0, 0, s3mNote(1, 0), 1}}, {}}};
    struct Case {
        std::vector<uint8_t> bytes;
        xmplayer_format      format;
        const char*          name;
        xmplayer_profile     tracker;
        const char*          warnings;
    };
    const Case cases[] = {
        {songA(), XMPLAYER_FORMAT_XM, "XM", XMPLAYER_PROFILE_FT2, ""},
        {buildMod(mod), XMPLAYER_FORMAT_MOD, "MOD", XMPLAYER_PROFILE_PT, ""},
        {buildS3m(s3m), XMPLAYER_FORMAT_S3M, "S3M", XMPLAYER_PROFILE_ST3,
         "1 Adlib instrument not synthesised: it plays silent\n"},
    };
    for (const Case& c : cases) {
        const LoadedSong song(c.bytes);
        ASSERT_NE(song.module, nullptr) << c.name;
        EXPECT_EQ(xmplayer_module_format(song.module), c.format);
        EXPECT_STREQ(xmplayer_format_name(xmplayer_module_format(song.module)), c.name);
        EXPECT_EQ(xmplayer_module_profile(song.module), c.tracker) << c.name;
        EXPECT_STREQ(xmplayer_module_warnings(song.module), c.warnings) << c.name;
        // AUTO renders what the tracker's own profile renders, and differs from the demo's player.
        std::vector<int16_t> rendered[3];
        int i = 0;
        for (xmplayer_profile profile : {XMPLAYER_PROFILE_AUTO, c.tracker, XMPLAYER_PROFILE_DEFAULT}) {
            xmplayer* player = xmplayer_create(song.module, profile);
            ASSERT_NE(player, nullptr);
            rendered[i].resize(2 * 100 * XMPLAYER_BLOCK_FRAMES);
            rendered[i].resize(2 * xmplayer_render_s16(player, rendered[i].data(), 100 * XMPLAYER_BLOCK_FRAMES));
            xmplayer_free(player);
            ++i;
        }
        EXPECT_EQ(rendered[0], rendered[1]) << c.name;
        EXPECT_NE(rendered[0], rendered[2]) << c.name;
        EXPECT_EQ(xmplayer_song_frames(song.module, XMPLAYER_PROFILE_AUTO, 0, 1 << 20),
                  xmplayer_song_frames(song.module, c.tracker, 0, 1 << 20));
    }
    EXPECT_EQ(xmplayer_module_format(nullptr), XMPLAYER_FORMAT_XM);
    EXPECT_STREQ(xmplayer_module_warnings(nullptr), "");
    EXPECT_EQ(xmplayer_format_name(3), nullptr);
    EXPECT_EQ(xmplayer_create(nullptr, XMPLAYER_PROFILE_AUTO), nullptr);
    const LoadedSong a(songA());
    EXPECT_EQ(xmplayer_create(a.module, xmplayer_profile(XMPLAYER_PROFILE_AUTO + 1)), nullptr);
}

// A file cut short says so in its warnings, as well as in missing_bytes.
TEST(Library, WarnsOfBytesMissing) {
    std::vector<uint8_t> bytes = songA();
    bytes.resize(bytes.size() - 5);
    const LoadedSong cut(bytes);
    ASSERT_NE(cut.module, nullptr);
    EXPECT_STREQ(xmplayer_module_warnings(cut.module),
                 "the file ends 5 bytes short of what its headers declare; they play as silence\n");
}

// Song A at tempo 6, BPM 125: a tick every 882 frames, a row every 5292.
TEST(Library, SaysWhereItIsAndReportsEveryTick) {
    const LoadedSong a(songA());
    xmplayer* x = xmplayer_create(a.module, XMPLAYER_PROFILE_DEFAULT);
    std::vector<xmplayer_position> ticks;
    xmplayer_set_tick_report(x, [](const xmplayer_position* t, void* to) {
        static_cast<std::vector<xmplayer_position>*>(to)->push_back(*t);
    }, &ticks);
    xmplayer_position at{};
    xmplayer_get_position(x, &at, sizeof at);
    EXPECT_EQ(at.order, 0);
    EXPECT_EQ(at.row, 0);
    EXPECT_EQ(at.tempo, 6);
    EXPECT_EQ(at.bpm, 125);

    std::vector<int16_t> buffer(2 * 7000);
    ASSERT_EQ(xmplayer_render_s16(x, buffer.data(), 882 * 7 + 1), size_t(882 * 7 + 1));
    ASSERT_EQ(ticks.size(), 8u) << "ticks at 0, 882, …, 6174: each reported once its first frame is out";
    for (size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_EQ(ticks[i].frame, int64_t(882 * i));
        EXPECT_EQ(ticks[i].row, int(i / 6));
        EXPECT_EQ(ticks[i].tick, int(i % 6));
        EXPECT_EQ(ticks[i].row_ticks, 6);
    }
    xmplayer_get_position(x, &at, sizeof at);
    EXPECT_EQ(at.row, 1);
    EXPECT_EQ(at.tick, 1);
    EXPECT_EQ(at.frame, 882 * 7);
    // Play time: 19 ms for each tick of 882 frames (the float32 reciprocal of 44100 truncates),
    // the frame of the eighth tick adds nothing.
    EXPECT_EQ(at.time_ms, 7 * 19);

    // On to the second order entry, with the next frame.
    EXPECT_EQ(xmplayer_set_order(x, 2), 0) << "past the order list";
    EXPECT_EQ(xmplayer_set_order(x, 1), 1);
    ASSERT_EQ(xmplayer_render_s16(x, buffer.data(), 10), 10u);
    xmplayer_get_position(x, &at, sizeof at);
    EXPECT_EQ(at.order, 1);
    EXPECT_EQ(at.pattern, 1);
    EXPECT_EQ(at.row, 0);
    EXPECT_EQ(at.tick, 0);
    EXPECT_EQ(ticks.back().order, 1);
    xmplayer_free(x);
}

// Pieces that end exactly on a tick or a block boundary: each tick is reported by the call that
// hands out its first frame, and the position is the tick of the last frame handed out. Song A
// ticks every 882 frames; its blocks are 884 frames long.
TEST(Library, TickBoundariesAndBlockBoundariesInThePieces) {
    const LoadedSong a(songA());
    xmplayer* x = xmplayer_create(a.module, XMPLAYER_PROFILE_DEFAULT);
    int reports = 0;
    xmplayer_set_tick_report(x, [](const xmplayer_position*, void* count) { ++*static_cast<int*>(count); }, &reports);
    struct Step {
        size_t  frames;   // handed out by this call
        int     reports;  // ticks reported so far
        int64_t tickFrame;
        int     tick;
    };
    const Step steps[] = {
        {882, 1, 0, 0},      // frames 0…881: the first tick only, and it still sounds
        {1, 2, 882, 1},      // frame 882 starts the second tick
        {1, 2, 882, 1},      // frame 883, the block's last
        {1, 2, 882, 1},      // frame 884, the next block's first
        {879, 2, 882, 1},    // up to frame 1763, the second tick's last
        {1, 3, 1764, 2},     // 1764: the third tick
        {2646 - 1765, 3, 1764, 2},
        {1, 4, 2646, 3},
    };
    std::vector<int16_t> buffer(2 * 3000);
    for (const Step& s : steps) {
        ASSERT_EQ(xmplayer_render_s16(x, buffer.data(), s.frames), s.frames);
        xmplayer_position at{};
        xmplayer_get_position(x, &at, sizeof at);
        EXPECT_EQ(reports, s.reports) << at.played;
        EXPECT_EQ(at.frame, s.tickFrame) << at.played;
        EXPECT_EQ(at.tick, s.tick) << at.played;
    }
    xmplayer_free(x);
}

// A pattern delay lengthens its row: the row's ticks say so in the report and in the position.
TEST(Library, RowTicksCountThePatternDelay) {
    XmLayout layout;
    layout.channels = 1;
    layout.tempo = 4;
    layout.patterns = {pattern(4, 1, {{1, XmCell{0, 0, 0, 14, 0xE2}}})};  // row 1: EE2, three times 4 ticks
    const LoadedSong song(buildXm(layout));
    xmplayer* x = xmplayer_create(song.module, XMPLAYER_PROFILE_DEFAULT);
    std::vector<xmplayer_position> ticks;
    xmplayer_set_tick_report(x, [](const xmplayer_position* t, void* to) {
        static_cast<std::vector<xmplayer_position>*>(to)->push_back(*t);
    }, &ticks);
    std::vector<int16_t> buffer(2 * 882 * 20);
    ASSERT_EQ(xmplayer_render_s16(x, buffer.data(), 882 * 6), size_t(882 * 6));
    ASSERT_EQ(ticks.size(), 6u);
    EXPECT_EQ(ticks[3].row_ticks, 4);
    EXPECT_EQ(ticks[4].row, 1);
    EXPECT_EQ(ticks[4].row_ticks, 12);
    xmplayer_position at{};
    xmplayer_get_position(x, &at, sizeof at);
    EXPECT_EQ(at.row, 1);
    EXPECT_EQ(at.row_ticks, 12);
    ASSERT_EQ(xmplayer_render_s16(x, buffer.data(), 882 * 10), size_t(882 * 10));
    EXPECT_EQ(ticks.back().row, 1);
    EXPECT_EQ(ticks.back().tick, 11) << "the row's twelfth tick";
    ASSERT_EQ(xmplayer_render_s16(x, buffer.data(), 1), 1u);
    EXPECT_EQ(ticks.back().row, 2);
    EXPECT_EQ(ticks.back().row_ticks, 4);
    xmplayer_free(x);
}

// The song ends where xmrender ends it; a loop count plays it again; a negative one for ever.
TEST(Library, EndsAtTheSongsEndAfterItsLoops) {
    const LoadedSong a(songA());
    const int64_t once = xmplayer_song_frames(a.module, XMPLAYER_PROFILE_DEFAULT, 0, 1 << 30);
    EXPECT_EQ(once, 2 * 8 * 6 * 882);
    EXPECT_EQ(xmplayer_song_frames(a.module, XMPLAYER_PROFILE_DEFAULT, 2, 1 << 30), 3 * once);
    EXPECT_EQ(xmplayer_song_frames(a.module, XMPLAYER_PROFILE_DEFAULT, 0, 1000), 1000);
    for (const int loops : {0, 1, -1}) {
        SCOPED_TRACE(loops);
        xmplayer* x = xmplayer_create(a.module, XMPLAYER_PROFILE_DEFAULT);
        xmplayer_set_loops(x, loops);
        std::vector<int16_t> buffer(2 * 4096);
        int64_t frames = 0;
        while (frames < 10 * once) {
            const size_t n = xmplayer_render_s16(x, buffer.data(), 4096);
            if (n == 0) break;
            frames += int64_t(n);
        }
        EXPECT_EQ(frames, loops < 0 ? 10 * once - 10 * once % 4096 + 4096 : (loops + 1) * once);
        EXPECT_EQ(xmplayer_ended(x), loops < 0 ? 0 : 1);
        xmplayer_free(x);
    }
    // The last block is rendered, its frames not all handed out: the song has not ended yet.
    xmplayer* x = xmplayer_create(a.module, XMPLAYER_PROFILE_DEFAULT);
    std::vector<int16_t> buffer(2 * size_t(once));
    ASSERT_EQ(xmplayer_render_s16(x, buffer.data(), size_t(once - 10)), size_t(once - 10));
    EXPECT_EQ(xmplayer_ended(x), 0);
    EXPECT_EQ(xmplayer_render_s16(x, buffer.data(), 100), 10u);
    EXPECT_EQ(xmplayer_ended(x), 1);
    xmplayer_free(x);
}

void* openNothing(const char*, void*) { return nullptr; }

// The caller's own stream: stdio behind the five callbacks; the user pointer counts the opens.
void* stdioOpen(const char* name, void* opens) {
    ++*static_cast<int*>(opens);
    return std::fopen(name, "rb");
}
void stdioClose(void* f) { std::fclose(static_cast<FILE*>(f)); }
int64_t stdioRead(void* f, void* buffer, int64_t count) {
    return int64_t(std::fread(buffer, 1, size_t(count), static_cast<FILE*>(f)));
}
int stdioSeek(void* f, int64_t offset, int origin) {
    return std::fseek(static_cast<FILE*>(f), long(offset), origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END);
}
int64_t stdioTell(void* f) { return std::ftell(static_cast<FILE*>(f)); }
int refuseSeek(void*, int64_t, int) { return -1; }
int64_t failRead(void*, void*, int64_t) { return -1; }

TEST(Library, LoadsFromMemoryFilesAndCallbacksOrSaysWhy) {
    const std::vector<uint8_t> bytes = songA();
    TempDir t("library_test");
    const std::string path = (t / "a.xm").string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));

    char reason[128] = "";
    xmplayer_error error = XMPLAYER_ERROR_INTERNAL;
    xmplayer_module* fromFile = xmplayer_load_file(path.c_str(), &error, reason, sizeof reason);
    ASSERT_NE(fromFile, nullptr) << reason;
    EXPECT_EQ(error, XMPLAYER_OK);
    EXPECT_EQ(renderAlone(fromFile, 884), renderAlone(LoadedSong(bytes).module, 884));
    xmplayer_free_module(fromFile);

    const xmplayer_stream_callbacks stdio = {stdioOpen, stdioClose, stdioRead, stdioSeek, stdioTell};
    int opens = 0;
    xmplayer_module* fromStream = xmplayer_load_stream(&stdio, path.c_str(), &opens, &error, reason, sizeof reason);
    ASSERT_NE(fromStream, nullptr) << reason;
    EXPECT_EQ(opens, 1) << "open got the user pointer";
    xmplayer_info info{};
    xmplayer_get_info(fromStream, &info, sizeof info);
    EXPECT_STREQ(info.title, "song A");
    xmplayer_free_module(fromStream);

    struct Case {
        const char*      what;
        xmplayer_module* module;
        xmplayer_error   error;
        const char*      says;
    };
    xmplayer_stream_callbacks incomplete = stdio, opensNothing = stdio, cannotSeek = stdio, cannotRead = stdio;
    incomplete.tell = nullptr;
    opensNothing.open = openNothing;
    cannotSeek.seek = refuseSeek;
    cannotRead.read = failRead;
    const std::string text = "not a module";
    std::vector<uint8_t> tooWide = bytes;
    tooWide[60 + 8] = 33;  // channels
    Case cases[8] = {};
    char reasons[8][128] = {};
    xmplayer_error errors[8] = {};
    const auto load = [&](size_t i, const char* what, xmplayer_module* m, xmplayer_error e, const char* says) {
        cases[i] = {what, m, e, says};
    };
    load(0, "no such file", xmplayer_load_file((t / "missing.xm").string().c_str(), &errors[0], reasons[0], 128),
         XMPLAYER_ERROR_OPEN, "cannot open");
    load(1, "no module", xmplayer_load_memory(text.data(), text.size(), &errors[1], reasons[1], 128),
         XMPLAYER_ERROR_FORMAT, "not an XM, MOD or S3M module");
    load(2, "33 channels", xmplayer_load_memory(tooWide.data(), tooWide.size(), &errors[2], reasons[2], 128),
         XMPLAYER_ERROR_UNPLAYABLE, "33 channels, at most 32");
    load(3, "incomplete callbacks", xmplayer_load_stream(&incomplete, path.c_str(), nullptr, &errors[3], reasons[3], 128),
         XMPLAYER_ERROR_ARGUMENT, "incomplete");
    load(4, "a stream that does not open", xmplayer_load_stream(&opensNothing, "x", nullptr, &errors[4], reasons[4], 128),
         XMPLAYER_ERROR_OPEN, "cannot open \"x\"");
    load(5, "no callbacks", xmplayer_load_stream(nullptr, "x", nullptr, &errors[5], reasons[5], 128),
         XMPLAYER_ERROR_ARGUMENT, "incomplete");
    load(6, "a seek that fails", xmplayer_load_stream(&cannotSeek, path.c_str(), &opens, &errors[6], reasons[6], 128),
         XMPLAYER_ERROR_READ, "failed");
    load(7, "a read that fails", xmplayer_load_stream(&cannotRead, path.c_str(), &opens, &errors[7], reasons[7], 128),
         XMPLAYER_ERROR_READ, "failed");
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].module, nullptr) << cases[i].what;
        EXPECT_EQ(errors[i], cases[i].error) << cases[i].what;
        EXPECT_NE(std::string(reasons[i]).find(cases[i].says), std::string::npos) << cases[i].what << ": " << reasons[i];
    }
    // A reason cut to the room given, and none asked for.
    char small[8];
    EXPECT_EQ(xmplayer_load_memory(text.data(), text.size(), nullptr, small, sizeof small), nullptr);
    EXPECT_STREQ(small, "not an ");
    EXPECT_EQ(xmplayer_load_memory(text.data(), text.size(), nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(xmplayer_load_memory(nullptr, 10, &error, nullptr, 0), nullptr);
    EXPECT_EQ(error, XMPLAYER_ERROR_ARGUMENT);
    EXPECT_STREQ(xmplayer_error_text(XMPLAYER_ERROR_OUT_OF_MEMORY), "out of memory");
    EXPECT_STREQ(xmplayer_error_text(xmplayer_error(15)), "unknown error");
    // Calls with nothing to work on do nothing.
    EXPECT_EQ(xmplayer_create(nullptr, XMPLAYER_PROFILE_DEFAULT), nullptr);
    EXPECT_EQ(xmplayer_render_s16(nullptr, nullptr, 10), 0u);
    xmplayer_free(nullptr);
    xmplayer_free_module(nullptr);
}

}  // namespace
