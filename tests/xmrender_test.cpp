#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "song_fixture.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

// Two patterns of four rows at tempo 6, BPM 125: 8 rows × 6 ticks × 882 frames = 42336 frames,
// then the order list wraps to the start.
XmSpec twoPatternSong() {
    XmSpec xmSpec;
    xmSpec.channels = 2;
    xmSpec.tempo = 6;
    xmSpec.orders = {0, 1};
    xmSpec.instruments = {toneInstrument()};
    xmSpec.patterns = {pattern(4, 2, {{0, Cell{49, 1, 0, 0, 0}}, {3, Cell{61, 1, 0, 0, 0}}}),
                     pattern(4, 2, {{0, Cell{56, 1, 0, 4, 0x48}}})};
    return xmSpec;
}

std::vector<uint8_t> readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> lines(const fs::path& p) {
    std::ifstream in(p);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

int xmrender(const std::string& arguments) {
    const std::string command = std::string(XMRENDER_PATH) + " " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

TEST(Xmrender, RendersUntilTheSongLoopsWithPositionsAndTrace) {
    TempDir files("xmrender_test");
    const std::vector<uint8_t> module = buildXm(twoPatternSong());
    std::ofstream(files / "song.xm", std::ios::binary).write(reinterpret_cast<const char*>(module.data()), module.size());
    const std::string in = (files / "song.xm").string(), wav = (files / "song.wav").string();
    ASSERT_EQ(xmrender("--positions " + (files / "p.csv").string() + " --trace " + (files / "t.csv").string() + " " +
                       in + " " + wav),
              0);

    // Block 47 (frames 41548…42431) holds the wrap at frame 42336: the 47 blocks before it.
    const std::vector<uint8_t> bytes = readAll(wav);
    ASSERT_EQ(bytes.size(), 44u + 47u * 884u * 4u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(le32(bytes, 24), 44100u);
    EXPECT_EQ(le32(bytes, 40), 47u * 884u * 4u);
    int loud = 0;
    for (size_t i = 44; i + 1 < bytes.size(); i += 2) loud += std::abs(int16_t(bytes[i] | bytes[i + 1] << 8)) > 1000;
    EXPECT_GT(loud, 10000) << "the notes sound";

    const auto positions = lines(files / "p.csv");
    ASSERT_EQ(positions.size(), 48u);
    EXPECT_EQ(positions[0], "block,orderPosition,row,playTimeMs");
    EXPECT_EQ(positions[1], "0,0,0,19");
    EXPECT_EQ(positions[47].substr(0, 5), "46,1,");

    const auto trace = lines(files / "t.csv");
    ASSERT_GE(trace.size(), 3u);
    EXPECT_EQ(trace[0], "frame,orderPosition,row,tick,tempo,bpm,globalVolume");
    EXPECT_EQ(trace[1], "0,0,0,1,6,125,64");
    EXPECT_EQ(trace[2], "882,0,0,2,6,125,64");
    EXPECT_EQ(trace.size() - 1, 48u) << "ticks at 0, 882, …, 47 × 882, all below 47 × 884 frames";
}

TEST(Xmrender, AShorterRenderIsAPrefixOfALongerOne) {
    TempDir files("xmrender_test");
    const std::vector<uint8_t> module = buildXm(twoPatternSong());
    std::ofstream(files / "song.xm", std::ios::binary).write(reinterpret_cast<const char*>(module.data()), module.size());
    const std::string in = (files / "song.xm").string();
    ASSERT_EQ(xmrender("--seconds 1 " + in + " " + (files / "a.wav").string()), 0);
    ASSERT_EQ(xmrender("--seconds 3.5 " + in + " " + (files / "b.wav").string()), 0);
    const std::vector<uint8_t> a = readAll(files / "a.wav"), b = readAll(files / "b.wav");
    ASSERT_EQ(a.size(), 44u + 50u * 884u * 4u) << "1 s is 50 blocks of 884 frames";
    ASSERT_EQ(b.size(), 44u + 175u * 884u * 4u);
    EXPECT_TRUE(std::equal(a.begin() + 44, a.end(), b.begin() + 44)) << "blocks re-rendered behind the device continue the song";
}

// A key-off on an instrument without volume envelope, then a volume: silent for the demo's
// player, sounding again as FastTracker 2 plays it.
TEST(Xmrender, TheProfileDecidesHowTheModuleIsPlayed) {
    TempDir files("xmrender_test");
    XmSpec xmSpec;
    xmSpec.channels = 1;
    xmSpec.instruments = {toneInstrument()};
    xmSpec.patterns = {pattern(4, 1, {{0, Cell{49, 1, 0, 0, 0}}, {1, Cell{97, 0, 0, 0, 0}}, {2, Cell{0, 0, 0x50, 0, 0}}})};
    const std::vector<uint8_t> module = buildXm(xmSpec);
    std::ofstream(files / "song.xm", std::ios::binary).write(reinterpret_cast<const char*>(module.data()), module.size());
    const std::string in = (files / "song.xm").string();
    ASSERT_EQ(xmrender(in + " " + (files / "plain.wav").string()), 0);
    ASSERT_EQ(xmrender("--profile default " + in + " " + (files / "default.wav").string()), 0);
    ASSERT_EQ(xmrender("--profile ft2 " + in + " " + (files / "ft2.wav").string()), 0);
    const std::vector<uint8_t> plain = readAll(files / "plain.wav"), ft2 = readAll(files / "ft2.wav");
    EXPECT_EQ(readAll(files / "default.wav"), plain) << "the demo's profile is the default";
    ASSERT_EQ(ft2.size(), plain.size());
    EXPECT_NE(ft2, plain);
    // Row 2 (from 0.24 s): silence for the demo's player, the tone again with the ft2 profile.
    const size_t row2 = 44 + size_t(0.25 * 44100) * 4;
    const auto silent = [&](const std::vector<uint8_t>& wav) {
        return std::all_of(wav.begin() + row2, wav.begin() + row2 + 4000, [](uint8_t b) { return b == 0; });
    };
    EXPECT_TRUE(silent(plain));
    EXPECT_FALSE(silent(ft2));
}

TEST(Xmrender, FailuresLeaveNoOutputBehind) {
    TempDir files("xmrender_test");
    std::ofstream(files / "text.xm") << "not a module at all";
    const std::string out = (files / "out.wav").string();
    struct Case {
        const char* what;
        std::string arguments;
    };
    const Case cases[] = {
        {"no such file", (files / "missing.xm").string() + " " + out},
        {"not an XM module", (files / "text.xm").string() + " " + out},
        {"an unwritable output", (files / "text.xm").string() + " " + (files / "no/such/dir/x.wav").string()},
        {"a bad option", "--seconds many " + (files / "text.xm").string() + " " + out},
        {"one file only", (files / "text.xm").string()},
        {"an unknown profile", "--profile it2 " + (files / "text.xm").string() + " " + out},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(xmrender(c.arguments), 1) << c.what;
        EXPECT_FALSE(fs::exists(out)) << c.what;
        EXPECT_FALSE(fs::exists(out + ".partial")) << c.what;
    }
    EXPECT_EQ(xmrender("--help"), 0);
}

}  // namespace
