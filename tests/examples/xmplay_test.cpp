// The live player through SDL's "disk" audio driver, which writes what the device plays to a file
// at the pace of a sound card, and through a pseudo-terminal for its keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "run_tool.h"
#include "song_fixture.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A second of music: two rows of tempo 6 at BPM 125 (10584 frames), four times over.
std::string writeSong(const TempDir& t) {
    XmLayout layout;
    layout.channels = 2;
    layout.orders = {0, 0, 0, 0};
    layout.instruments = {toneInstrument()};
    layout.patterns = {pattern(2, 2, {{0, XmCell{49, 1, 0, 0, 0}}, {3, XmCell{56, 1, 0, 0, 0}}})};
    const std::vector<uint8_t> bytes = buildXm(layout);
    const std::string path = (t / "song.xm").string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

// The bytes from the first that is not zero.
std::vector<uint8_t> fromFirstSound(const std::vector<uint8_t>& bytes) {
    const auto first = std::find_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0; });
    return {first, bytes.end()};
}

TEST(Xmplay, PlaysTheSongToItsEndAsXmrenderRendersIt) {
    TempDir t("xmplay_test");
    const std::string song = writeSong(t);
    for (const char* profile : {"default", "ft2"}) {
        SCOPED_TRACE(profile);
        const fs::path played = t / (std::string(profile) + ".raw"), wav = t / (std::string(profile) + ".wav");
        const ToolRun r = runTool("SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + played.string() + " timeout 30 " +
                                  XMPLAY_PATH + " --profile " + profile + " " + song);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "") << "no status line where standard output is no terminal";
        ASSERT_EQ(runTool(std::string(XMRENDER_PATH) + " --profile " + profile + " " + song + " " + wav.string()).status, 0);
        const std::vector<uint8_t> heard = fromFirstSound(readBytes(played));
        const std::vector<uint8_t> file = readBytes(wav);
        const std::vector<uint8_t> rendered = fromFirstSound(std::vector<uint8_t>(file.begin() + 44, file.end()));
        ASSERT_GT(rendered.size(), 100000u);
        ASSERT_GE(heard.size(), rendered.size()) << "the whole song was played";
        EXPECT_TRUE(std::equal(rendered.begin(), rendered.end(), heard.begin())) << "what was played is xmrender's song";
        EXPECT_LT(heard.size(), rendered.size() + 44100 * 4 / 2) << "and it stopped at the song's end";
    }
}

// Keys from a pseudo-terminal: space pauses (the status line says so), q quits at once.
TEST(Xmplay, SpacePausesAndQQuits) {
    TempDir t("xmplay_test");
    const std::string command = std::string("SDL_AUDIODRIVER=dummy ") + XMPLAY_PATH + " " + SONG_PATH;
    const std::string typed = "{ (sleep 1; printf ' '; sleep 1; printf q) | timeout 20 script -qfec '" + command + "' " +
                              (t / "screen").string() + "; }";
    const ToolRun r = runTool(typed);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string screen = readText(t / "screen");
    EXPECT_NE(screen.find("order   0/"), std::string::npos) << screen;
    EXPECT_NE(screen.find(" / 2:59.2"), std::string::npos) << "the song's length: " << screen;
    EXPECT_NE(screen.find("paused"), std::string::npos) << screen;
}

// True when `text` holds any of `candidates`.
bool containsAny(const std::string& text, const std::vector<std::string>& candidates) {
    return std::any_of(candidates.begin(), candidates.end(),
                       [&](const std::string& c) { return text.find(c) != std::string::npos; });
}

// The other keys, a second into the demo's song (order 0, whose entries last 3.84 s): → goes to
// the next order entry, ] twice 20 s on, 1 mutes channel 1, + is 3 dB louder; the status line
// and the channels' lines show each.
TEST(Xmplay, KeysSeekMuteAndChangeTheVolume) {
    TempDir t("xmplay_test");
    const std::string command = std::string("SDL_AUDIODRIVER=dummy ") + XMPLAY_PATH + " " + SONG_PATH;
    const std::string typed = "{ (sleep 1; printf '\\033[C'; sleep 0.5; printf ']]'; sleep 0.5; printf '1+'; "
                              "sleep 0.5; printf q) | timeout 20 script -qfec '" + command + "' " +
                              (t / "screen").string() + "; }";
    const ToolRun r = runTool(typed);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string screen = readText(t / "screen");
    // Drawn every 0.1 s: the first line after a key may be that much later.
    std::vector<std::string> orderOneStarts, twentySecondsOn;
    for (char row = '0'; row <= '9'; ++row)
        for (const char* time : {"3.8", "3.9", "4.0"})
            orderOneStarts.push_back(std::string("order   1/25  row   ") + row + "  0:0" + time);
    for (char second = '3'; second <= '6'; ++second)
        for (char tenth = '0'; tenth <= '9'; ++tenth) twentySecondsOn.push_back(std::string(" 0:2") + second + '.' + tenth + " /");
    EXPECT_TRUE(containsAny(screen, orderOneStarts)) << "order 1 from its start: " << screen;
    EXPECT_TRUE(containsAny(screen, twentySecondsOn)) << "20 s on: " << screen;
    EXPECT_NE(screen.find("+3 dB"), std::string::npos) << screen;
    EXPECT_NE(screen.find("   1  "), std::string::npos) << "a line per channel: " << screen;
    EXPECT_NE(screen.find("  muted"), std::string::npos) << screen;
}

TEST(Xmplay, RefusesWhatItCannotPlayInOneLine) {
    TempDir t("xmplay_test");
    std::ofstream(t / "text.xm") << "not a module";
    const std::string song = writeSong(t);
    struct Case {
        std::string arguments;
        const char* says;
    };
    const Case cases[] = {
        {(t / "missing.xm").string(), "cannot open"},
        {(t / "text.xm").string(), "not an XM, MOD or S3M module"},
        {"--profile it2 " + song, "--profile wants default, ft2, pt, st3 or auto"},
        {"--loops many " + song, "--loops wants"},
        {"--loops -2 " + song, "--loops wants"},
        {"--bogus " + song, "--bogus: unknown option"},
        {song + " " + song, "one module at a time"},
    };
    for (const Case& c : cases) {
        const ToolRun r = runTool("SDL_AUDIODRIVER=dummy " + std::string(XMPLAY_PATH) + " " + c.arguments);
        EXPECT_EQ(r.status, 1) << c.arguments;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.arguments << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    const ToolRun silent = runTool("SDL_AUDIODRIVER=no-such-driver " + std::string(XMPLAY_PATH) + " " + song);
    EXPECT_EQ(silent.status, 1);
    EXPECT_NE(silent.err.find("no audio device"), std::string::npos) << silent.err;
    EXPECT_EQ(runTool(std::string(XMPLAY_PATH) + " --help").status, 0);
}

}  // namespace
