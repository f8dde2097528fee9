#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "mod_writer.h"
#include "run_tool.h"
#include "s3m_writer.h"
#include "song_fixture.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

// Two patterns of four rows at tempo 6, BPM 125: 8 rows × 6 ticks × 882 frames = 42336 frames,
// then the order list wraps to the start, where the song ends.
XmLayout twoPatternSong() {
    XmLayout layout;
    layout.channels = 2;
    layout.tempo = 6;
    layout.orders = {0, 1};
    layout.instruments = {toneInstrument()};
    layout.patterns = {pattern(4, 2, {{0, XmCell{49, 1, 0, 0, 0}}, {3, XmCell{61, 1, 0, 0, 0}}}),
                     pattern(4, 2, {{0, XmCell{56, 1, 0, 4, 0x48}}})};
    return layout;
}

constexpr size_t kSongFrames = 42336;

std::vector<uint8_t> readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<std::string> lines(const fs::path& p) {
    std::ifstream in(p);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

ToolRun xmrender(const std::string& arguments) { return runTool(std::string(XMRENDER_PATH) + " " + arguments); }

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

// The song written to `dir`/song.xm; returns its path.
std::string writeSong(const TempDir& dir) {
    writeAll(dir / "song.xm", buildXm(twoPatternSong()));
    return (dir / "song.xm").string();
}

TEST(Xmrender, RendersUntilTheSongEndsWithPositionsAndTrace) {
    TempDir files("xmrender_test");
    const std::string in = writeSong(files), wav = (files / "song.wav").string();
    ASSERT_EQ(xmrender("--positions " + (files / "p.csv").string() + " --trace " + (files / "t.csv").string() + " " +
                       in + " " + wav).status,
              0);

    // The song ends at frame 42336, inside block 47 (frames 41548…42431).
    const std::vector<uint8_t> bytes = readAll(wav);
    ASSERT_EQ(bytes.size(), 44u + kSongFrames * 4);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(le32(bytes, 4), 36u + kSongFrames * 4);
    EXPECT_EQ(le32(bytes, 24), 44100u);
    EXPECT_EQ(le32(bytes, 40), kSongFrames * 4);
    int loud = 0;
    for (size_t i = 44; i + 1 < bytes.size(); i += 2) loud += std::abs(int16_t(bytes[i] | bytes[i + 1] << 8)) > 1000;
    EXPECT_GT(loud, 10000) << "the notes sound";

    const auto positions = lines(files / "p.csv");
    ASSERT_EQ(positions.size(), 1u + 48u) << "every block written, the last one in part";
    EXPECT_EQ(positions[0], "block,orderPosition,row,playTimeMs");
    EXPECT_EQ(positions[1], "0,0,0,19");
    EXPECT_EQ(positions[47].substr(0, 5), "46,1,");
    EXPECT_EQ(positions[48].substr(0, 5), "47,1,") << "block 47, written in part, stops where the song ends";

    const auto trace = lines(files / "t.csv");
    ASSERT_GE(trace.size(), 3u);
    EXPECT_EQ(trace[0], "frame,orderPosition,row,tick,tempo,bpm,globalVolume");
    EXPECT_EQ(trace[1], "0,0,0,1,6,125,64");
    EXPECT_EQ(trace[2], "882,0,0,2,6,125,64");
    EXPECT_EQ(trace.size() - 1, 48u) << "ticks at 0, 882, …, 47 × 882: the row at 48 × 882 is not played";
}

TEST(Xmrender, LoopsPlayTheSongAgainAndSecondsOverrideBoth) {
    TempDir files("xmrender_test");
    const std::string in = writeSong(files);
    ASSERT_EQ(xmrender(in + " " + (files / "once.wav").string()).status, 0);
    ASSERT_EQ(xmrender("--loops 2 " + in + " " + (files / "thrice.wav").string()).status, 0);
    ASSERT_EQ(xmrender("--loops 2 --seconds 1 " + in + " " + (files / "second.wav").string()).status, 0);
    const std::vector<uint8_t> once = readAll(files / "once.wav"), thrice = readAll(files / "thrice.wav");
    ASSERT_EQ(thrice.size(), 44u + 3 * kSongFrames * 4);
    EXPECT_TRUE(std::equal(once.begin() + 44, once.end(), thrice.begin() + 44));
    EXPECT_EQ(readAll(files / "second.wav").size(), 44u + 50u * 884u * 4u) << "1 s is 50 blocks of 884 frames";
}

TEST(Xmrender, AShorterRenderIsAPrefixOfALongerOne) {
    TempDir files("xmrender_test");
    const std::string in = writeSong(files);
    ASSERT_EQ(xmrender("--seconds 1 " + in + " " + (files / "a.wav").string()).status, 0);
    ASSERT_EQ(xmrender("--seconds 3.5 " + in + " " + (files / "b.wav").string()).status, 0);
    const std::vector<uint8_t> a = readAll(files / "a.wav"), b = readAll(files / "b.wav");
    ASSERT_EQ(a.size(), 44u + 50u * 884u * 4u) << "1 s is 50 blocks of 884 frames";
    ASSERT_EQ(b.size(), 44u + 175u * 884u * 4u);
    EXPECT_TRUE(std::equal(a.begin() + 44, a.end(), b.begin() + 44)) << "blocks re-rendered behind the device continue the song";
}

// A key-off on an instrument without volume envelope, then a volume: silent for the demo's
// player, sounding again as FastTracker 2 plays it.
TEST(Xmrender, TheProfileDecidesHowTheModuleIsPlayed) {
    TempDir files("xmrender_test");
    XmLayout layout;
    layout.channels = 1;
    layout.instruments = {toneInstrument()};
    layout.patterns = {pattern(4, 1, {{0, XmCell{49, 1, 0, 0, 0}}, {1, XmCell{97, 0, 0, 0, 0}}, {2, XmCell{0, 0, 0x50, 0, 0}}})};
    const std::vector<uint8_t> module = buildXm(layout);
    std::ofstream(files / "song.xm", std::ios::binary).write(reinterpret_cast<const char*>(module.data()), module.size());
    const std::string in = (files / "song.xm").string();
    ASSERT_EQ(xmrender(in + " " + (files / "plain.wav").string()).status, 0);
    ASSERT_EQ(xmrender("--profile default " + in + " " + (files / "default.wav").string()).status, 0);
    ASSERT_EQ(xmrender("--profile ft2 " + in + " " + (files / "ft2.wav").string()).status, 0);
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

TEST(Xmrender, StreamsTheWavToStandardOutput) {
    TempDir files("xmrender_test");
    const std::string in = writeSong(files);
    ASSERT_EQ(xmrender("--seconds 1 " + in + " " + (files / "file.wav").string()).status, 0);
    const ToolRun streamed = xmrender("--seconds 1 " + in + " -");
    ASSERT_EQ(streamed.status, 0) << streamed.err;
    const std::vector<uint8_t> file = readAll(files / "file.wav");
    const std::vector<uint8_t> stream(streamed.out.begin(), streamed.out.end());
    ASSERT_EQ(stream.size(), file.size());
    EXPECT_EQ(le32(stream, 4), 0xFFFFFFFFu) << "the RIFF size is not known while streaming";
    EXPECT_EQ(le32(stream, 40), 0xFFFFFFFFu) << "nor the data size";
    EXPECT_TRUE(std::equal(file.begin() + 44, file.end(), stream.begin() + 44));
    EXPECT_NE(streamed.err.find("1.002 s of audio"), std::string::npos) << "the summary goes to stderr: "
                                                                         << streamed.err;
}

TEST(Xmrender, RefusalsSayWhyAndLeaveEveryFileAsItWas) {
    TempDir files("xmrender_test");
    const std::string song = writeSong(files);
    const std::vector<uint8_t> songBytes = readAll(song);
    std::ofstream(files / "text.xm") << "not a module at all";
    writeAll(files / "x.wav.partial", songBytes);
    fs::create_directory(files / "dir");
    fs::create_hard_link(song, files / "hard.wav");
    fs::create_symlink(song, files / "soft.wav");
    const auto at = [&](const std::string& name) { return (files / name).string(); };
    const std::string out = at("out.wav");
    struct Case {
        const char* what;
        std::string arguments;
        const char* says;
    };
    const Case cases[] = {
        {"the output is the input", song + " " + song, "would overwrite the input"},
        {"the input by another name", song + " " + at("dir/../song.xm"), "would overwrite the input"},
        {"a hard link to the input", song + " " + at("hard.wav"), "would overwrite the input"},
        {"a symbolic link to the input", song + " " + at("soft.wav"), "would overwrite the input"},
        {"--trace is the input", "--trace " + song + " " + song + " " + out, "would overwrite the input"},
        {"the WAV's temporary name is the input", at("x.wav.partial") + " " + at("x.wav"), "would overwrite the input"},
        {"--positions and --trace are one file",
         "--positions " + at("p.csv") + " --trace " + at("./p.csv") + " " + song + " " + out,
         "--positions and --trace name the same file"},
        {"the WAV and --positions are one file", "--positions " + out + " " + song + " " + out, "name the same file"},
        {"the output is a directory", song + " " + at("dir"), "the WAV is a directory"},
        {"the input is a directory", at("dir") + " " + out, "is a directory, not a module"},
        {"no such file", at("missing.xm") + " " + out, "No such file"},
        {"no module", at("text.xm") + " " + out,
         "not an XM, MOD or S3M module: no \"Extended Module: \" at its start, no \"SCRM\" at byte 44, no MOD "
         "signature at byte 1080"},
        {"an unwritable WAV", song + " " + at("no/such/dir/x.wav"), "No such file"},
        {"an unwritable --positions", "--positions " + at("no/such/p.csv") + " " + song + " " + out, "No such file"},
        {"an unwritable --trace", "--trace " + at("no/such/t.csv") + " " + song + " " + out, "No such file"},
        {"an unknown option last", song + " " + out + " --bogus", "--bogus: unknown option"},
        {"an unknown option first", "--bogus " + song + " " + out, "--bogus: unknown option"},
        {"an option without its value", song + " " + out + " --trace", "--trace: needs a value"},
        {"a bad --seconds", "--seconds many " + song + " " + out, "--seconds wants"},
        {"a bad --loops", "--loops -1 " + song + " " + out, "--loops wants"},
        {"--trace to standard output", "--trace - " + song + " " + out, "only the WAV"},
        {"one file only", song, "usage:"},
        {"an unknown profile", "--profile it2 " + song + " " + out, "--profile wants default, ft2, pt, st3 or auto"},
        {"a rate too low", "--rate 7999 " + song + " " + out, "--rate wants a whole number from 8000 to 192000"},
        {"a rate not whole", "--rate 44100.5 " + song + " " + out, "--rate wants"},
        {"an unknown interpolation", "--interpolation sinc " + song + " " + out, "--interpolation wants none, linear or cubic"},
        {"a separation too wide", "--separation 201 " + song + " " + out, "--separation wants"},
        {"a gain too loud", "--gain 41 " + song + " " + out, "--gain wants"},
        {"a start before the song", "--start -1 " + song + " " + out, "--start wants"},
        {"a row without its order", "--start-row 3 " + song + " " + out, "--start-row wants ORDER:ROW"},
        {"both starts", "--start 1 --start-row 1:0 " + song + " " + out, "cannot both be given"},
        {"a row the song never plays", "--start-row 1:5 " + song + " " + out, "the song never plays that row"},
        {"a start past the song's end", "--start 2 " + song + " " + out, "the song has ended before"},
        {"--info with an output", "--info " + song + " " + out, "usage:"},
    };
    std::set<fs::path> before;
    for (const auto& entry : fs::recursive_directory_iterator(files.dir)) before.insert(entry.path());
    for (const Case& c : cases) {
        const ToolRun r = xmrender(c.arguments);
        EXPECT_EQ(r.status, 1) << c.what;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.what << ": " << r.err;
        std::set<fs::path> after;
        for (const auto& entry : fs::recursive_directory_iterator(files.dir)) after.insert(entry.path());
        EXPECT_EQ(after, before) << c.what << ": no file made or removed";
        EXPECT_EQ(readAll(song), songBytes) << c.what;
    }
}

// --info: one "name: value" a line, the duration for the profile and loop count asked for, from
// a file or from standard input; nothing rendered.
TEST(Xmrender, InfoSaysWhatTheModuleIs) {
    TempDir files("xmrender_test");
    const std::string in = writeSong(files);
    const ToolRun info = xmrender("--info " + in);
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out,
              "title: test module\ntracker: xm_writer\nformat: XM\nchannels: 2\norders: 2\npatterns: 2\n"
              "instruments: 1\nsamples: 1\nduration: 0.960 s\n");
    EXPECT_NE(xmrender("--loops 2 --info " + in).out.find("duration: 2.880 s"), std::string::npos);
    const ToolRun piped = runTool("sh -c '" + std::string(XMRENDER_PATH) + " --info - < " + in + "'");
    EXPECT_EQ(piped.out, info.out);
    const ToolRun demo = xmrender(std::string("--info ") + SONG_PATH);
    EXPECT_NE(demo.out.find("title: Skr4mm3lb0d\n"), std::string::npos) << demo.out;
    EXPECT_NE(demo.out.find("channels: 14\n"), std::string::npos) << demo.out;
    EXPECT_NE(demo.out.find("duration: 179.286 s\n"), std::string::npos) << demo.out;
    EXPECT_EQ(std::distance(fs::directory_iterator(files.dir), fs::directory_iterator()), 1) << "nothing written";
}

// The library's settings and starting points on the command line: a rate in the WAV's header and
// its ticks, a start in seconds or at a row giving the frames a whole render has there, and the
// module from standard input.
TEST(Xmrender, RateStartInterpolationSeparationAndGain) {
    TempDir files("xmrender_test");
    const std::string in = writeSong(files);
    const auto wav = [&](const std::string& name) { return (files / name).string(); };
    ASSERT_EQ(xmrender(in + " " + wav("whole.wav")).status, 0);
    const std::vector<uint8_t> whole = readAll(wav("whole.wav"));
    const auto tail = [&](size_t frame) { return std::vector<uint8_t>(whole.begin() + 44 + std::ptrdiff_t(4 * frame), whole.end()); };
    const auto data = [&](const std::string& name) {
        const std::vector<uint8_t> bytes = readAll(wav(name));
        return std::vector<uint8_t>(bytes.begin() + 44, bytes.end());
    };

    ASSERT_EQ(xmrender("--rate 48000 " + in + " " + wav("48k.wav")).status, 0);
    const std::vector<uint8_t> at48 = readAll(wav("48k.wav"));
    EXPECT_EQ(le32(at48, 24), 48000u);
    EXPECT_EQ(le32(at48, 28), 48000u * 4);
    EXPECT_EQ(at48.size(), 44u + 48 * 960 * 4) << "48 ticks of 960 frames at BPM 125";

    ASSERT_EQ(xmrender("--start 0.5 " + in + " " + wav("half.wav")).status, 0);
    EXPECT_EQ(data("half.wav"), tail(22050));
    ASSERT_EQ(xmrender("--start-row 1:0 " + in + " " + wav("row.wav")).status, 0);
    EXPECT_EQ(data("row.wav"), tail(4 * 6 * 882)) << "order 1 starts after four rows of six ticks";
    ASSERT_EQ(xmrender("--start 0.25 --seconds 0.1 " + in + " " + wav("piece.wav")).status, 0);
    EXPECT_EQ(data("piece.wav"), std::vector<uint8_t>(whole.begin() + 44 + 4 * 11025, whole.begin() + 44 + 4 * (11025 + 5 * 884)))
        << "--seconds counts whole blocks from the start";
    ASSERT_EQ(runTool("sh -c '" + std::string(XMRENDER_PATH) + " - " + wav("stdin.wav") + " < " + in + "'").status, 0);
    EXPECT_EQ(readAll(wav("stdin.wav")), whole);

    ASSERT_EQ(xmrender("--separation 0 --gain -6 --interpolation cubic " + in + " " + wav("mono.wav")).status, 0);
    const std::vector<uint8_t> mono = data("mono.wav");
    ASSERT_EQ(mono.size(), whole.size() - 44);
    int loud = 0;
    for (size_t i = 0; i + 3 < mono.size(); i += 4) {
        ASSERT_EQ(mono[i], mono[i + 2]) << "left and right alike at separation 0";
        ASSERT_EQ(mono[i + 1], mono[i + 3]);
        loud += std::abs(int16_t(mono[i] | mono[i + 1] << 8)) > 1000;
    }
    EXPECT_GT(loud, 1000);
}

// A MOD plays as ProTracker and an S3M as Scream Tracker 3 plays it unless --profile says
// otherwise; what the loader warns of comes on stderr, a line each.
TEST(Xmrender, PlaysModAndS3mAsTheirTrackersDo) {
    TempDir files("xmrender_test");
    ModLayout mod;
    mod.samples = {modTone()};
    ModPattern notes;
    notes.cells = {ModCell{49, 1, 4, 0x44}, ModCell{56, 1, 0, 0}};
    notes.cells.resize(64 * 4);
    notes.cells[32 * 4] = ModCell{0, 0, 0xD, 0};
    mod.patterns = {notes};
    writeAll(files / "song.mod", buildMod(mod));
    S3mLayout s3m;
    S3mSample adlib, alsoAdlib;
    adlib.type = 2;
    alsoAdlib.type = 3;
    s3m.samples = {s3mTone(10000), adlib, alsoAdlib};
    s3m.patterns = {S3mPattern{{S3mCell{0, 0, s3mNote(1, 0), 1, -1, 'H', 0x44}, S3mCell{32, 0, 255, 0, -1, 'C', 0}}, {}}};
    writeAll(files / "song.s3m", buildS3m(s3m));
    struct Case {
        const char* file;
        const char* tracker;
        const char* warnings;
    };
    const Case cases[] = {
        {"song.mod", "pt", ""},
        {"song.s3m", "st3", "warning: 2 Adlib instruments not synthesised: they play silent\n"},
    };
    for (const Case& c : cases) {
        const std::string in = (files / c.file).string();
        const ToolRun plain = xmrender(in + " " + (files / "plain.wav").string());
        ASSERT_EQ(plain.status, 0) << plain.err;
        EXPECT_EQ(plain.err, c.warnings[0] ? "xmrender: " + in + ": " + c.warnings : "") << c.file;
        ASSERT_EQ(xmrender("--profile " + std::string(c.tracker) + " " + in + " " + (files / "tracker.wav").string()).status, 0);
        ASSERT_EQ(xmrender("--profile auto " + in + " " + (files / "auto.wav").string()).status, 0);
        ASSERT_EQ(xmrender("--profile default " + in + " " + (files / "default.wav").string()).status, 0);
        const std::vector<uint8_t> rendered = readAll(files / "plain.wav");
        EXPECT_EQ(rendered.size(), 44u + 33u * 6u * 882u * 4u) << c.file << ": rows 0 to the break on 32, then the song repeats";
        EXPECT_EQ(rendered, readAll(files / "tracker.wav")) << c.file;
        EXPECT_EQ(rendered, readAll(files / "auto.wav")) << c.file;
        EXPECT_NE(rendered, readAll(files / "default.wav")) << c.file;
    }
}

TEST(Xmrender, WarnsOfAFileCutShortAndPlaysIt) {
    TempDir files("xmrender_test");
    XmLayout layout = twoPatternSong();
    layout.instruments[0].samples[0].data.assign(1000, 1);
    layout.instruments[0].samples[0].loopLength = 1000;
    std::vector<uint8_t> bytes = buildXm(layout);
    writeAll(files / "whole.xm", bytes);
    bytes.resize(bytes.size() - 300);
    writeAll(files / "cut.xm", bytes);

    const ToolRun whole = xmrender((files / "whole.xm").string() + " " + (files / "whole.wav").string());
    EXPECT_EQ(whole.status, 0);
    EXPECT_EQ(whole.err, "");
    const ToolRun cut = xmrender((files / "cut.xm").string() + " " + (files / "cut.wav").string());
    EXPECT_EQ(cut.status, 0);
    EXPECT_NE(cut.err.find("warning: the file ends 300 bytes short"), std::string::npos) << cut.err;
    EXPECT_EQ(std::count(cut.err.begin(), cut.err.end(), '\n'), 1) << cut.err;
    EXPECT_EQ(readAll(files / "cut.wav").size(), 44u + kSongFrames * 4);
}

}  // namespace
