#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/frame_driver.h"
#include "run_tool.h"
#include "temp_dir.h"
#include "platform/offline/offline_platform.h"
#include "player/load/loader.h"
#include "player/play/song_end.h"
#include "player/load/stream.h"
#include "tools/offline_run.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int run(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int capture(const std::string& arguments) { return run(std::string(DEMO_CAPTURE_PATH) + " --quiet " + arguments); }

std::vector<std::vector<std::string>> csv(const fs::path& p) {
    std::ifstream in(p);
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::stringstream s(line);
        for (std::string f; std::getline(s, f, ',');) fields.push_back(f);
        rows.push_back(fields);
    }
    return rows;
}

TEST(DemoCapture, TwoRunsGiveTheSameBytes) {
    TempDir t("capture_test");
    ASSERT_EQ(capture("--fps 25 --frames 30 --out " + (t / "a").string()), 0);
    ASSERT_EQ(capture("--fps 25 --frames 30 --out " + (t / "b").string()), 0);
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(t / "a")) {
        const fs::path other = t / "b" / entry.path().filename();
        ASSERT_TRUE(fs::exists(other)) << other;
        EXPECT_EQ(readAll(entry.path()), readAll(other)) << entry.path().filename();
        ++files;
    }
    EXPECT_EQ(files, 30u + 2u) << "30 frames, audio.wav and frames.csv";
}

TEST(DemoCapture, ClockAndLengthsFollowTheVirtualFrameRate) {
    TempDir t("capture_test");
    ASSERT_EQ(capture("--fps 30 --seconds 1 --out " + t.dir.string()), 0);
    const auto rows = csv(t / "frames.csv");
    ASSERT_EQ(rows.size(), 31u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"frame", "tick", "songPosition", "scenePosition", "demoTime", "frameStep"}));
    for (int k = 0; k < 30; ++k) EXPECT_EQ(std::stoi(rows[k + 1][1]), (k + 1) * 1000 / 30) << k;
    EXPECT_EQ(rows[1][4], "0.0329999998") << "demoTime after the first frame: 33 ms";
    const std::vector<uint8_t> wav = readAll(t / "audio.wav");
    EXPECT_EQ(wav.size(), 44u + 44100u * 4u);
}

TEST(DemoCapture, TheSoundIsWhatXmrenderMakesOfTheEmbeddedSong) {
    TempDir t("capture_test");
    ASSERT_EQ(capture("--fps 50 --frames 150 --out " + t.dir.string()), 0);
    ASSERT_EQ(run(std::string(XMRENDER_PATH) + " --seconds 3 " + SONG_PATH + " " + (t / "song.wav").string()), 0);
    const std::vector<uint8_t> captured = readAll(t / "audio.wav"), rendered = readAll(t / "song.wav");
    ASSERT_EQ(captured.size(), 44u + 3u * 44100u * 4u);
    ASSERT_GE(rendered.size(), captured.size());
    EXPECT_TRUE(std::equal(captured.begin() + 44, captured.end(), rendered.begin() + 44));
}

TEST(DemoCapture, FromAndToWriteOnlyTheirFramesAndTheirAudio) {
    TempDir t("capture_test");
    ASSERT_EQ(capture("--fps 20 --from 5 --to 9 --out " + t.dir.string()), 0);
    for (int k = 0; k < 12; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%06d.png", k);
        EXPECT_EQ(fs::exists(t / name), k >= 5 && k < 9) << name;
    }
    EXPECT_EQ(readAll(t / "audio.wav").size(), 44u + 4u * 2205u * 4u) << "four frames of 1/20 s";
}

TEST(DemoCapture, BadArgumentsFailWithOneLine) {
    TempDir t("capture_test");
    std::ofstream(t / "file") << "x";
    const std::string out = " --out " + t.dir.string();
    struct Case {
        std::string arguments;
        const char* says;
    };
    const Case cases[] = {
        {"--fps 0" + out, "--fps: wants a whole number"},
        {"--fps abc" + out, "--fps: wants a whole number"},
        {"--seconds -1" + out, "--seconds: wants a number"},
        {"--frames 10 --seconds 1" + out, "give either --seconds or --frames"},
        {"--from 9 --to 3" + out, "--to: must be above --from"},
        {"--frames 3", "--out: is required"},
        {"--frames 3 --out " + (t / "file" / "sub").string(), "cannot create the directory"},
        {"--bogus" + out, "--bogus: unknown option"},
        {out + " --bogus", "--bogus: unknown option"},
        {out + " --fps", "--fps: needs a value"},
        {"--frames 10 --from 10" + out, "--from: 10 is past the end: the capture has 10 frames"},
        {"--fps 1 --from 100000" + out, "--from: 100000 is past the end"},
    };
    for (const Case& c : cases) {
        const ToolRun r = runTool(std::string(DEMO_CAPTURE_PATH) + " --quiet " + c.arguments);
        EXPECT_EQ(r.status, 1) << c.arguments;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.arguments << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.arguments << ": " << r.err;
    }
    EXPECT_FALSE(fs::exists(t / "frame_000000.png"));
    EXPECT_EQ(run(std::string(DEMO_CAPTURE_PATH) + " --help"), 0);
}

// The song lasts as long as xmrender's WAV of it, and the capture shows every frame that the
// song has begun. At 7 frames a second a frame lasts 6300 sound frames, and the song's last few
// fall into a frame of their own.
TEST(DemoCapture, TheDefaultLengthIsTheSongsLength) {
    Module* m = loadModule(fileStreamCallbacks, SONG_PATH, nullptr);
    ASSERT_NE(m, nullptr);
    const SongLength length = measureSongLength(*m, 0, 600 * 44100);
    freeModule(m);
    ASSERT_TRUE(length.ended);
    ASSERT_GT(length.frames, 60 * 44100) << "the song lasts minutes";
    const size_t songFrames = size_t(length.frames), frames = (songFrames * 7 + 44099) / 44100, from = frames - 6;

    TempDir t("capture_test");
    ASSERT_EQ(run(std::string(XMRENDER_PATH) + " " + SONG_PATH + " " + (t / "song.wav").string()), 0);
    const std::vector<uint8_t> song = readAll(t / "song.wav");
    ASSERT_EQ(song.size(), 44 + songFrames * 4);

    ASSERT_EQ(capture("--fps 7 --from " + std::to_string(from) + " --out " + t.dir.string()), 0);
    EXPECT_EQ(csv(t / "frames.csv").size(), 1 + frames);
    const std::vector<uint8_t> audio = readAll(t / "audio.wav");
    ASSERT_EQ(audio.size(), 44u + (frames - from) * 6300u * 4u);
    ASSERT_GT(audio.size(), song.size() - from * 6300u * 4u) << "the capture's sound goes on past the song's end";
    EXPECT_TRUE(std::equal(song.begin() + 44 + from * 6300u * 4u, song.end(), audio.begin() + 44));
}

TEST(DemoCapture, TheProgressBarIsDrawnOnlyOnATerminal) {
    TempDir t("capture_test");
    const std::string command = std::string(DEMO_CAPTURE_PATH) + " --frames 3 --out " + t.dir.string();
    const ToolRun toFile = runTool(command);
    EXPECT_EQ(toFile.status, 0);
    EXPECT_EQ(toFile.err, "demo-capture: 3 frames (0.06 s) written to " + t.dir.string() + "\n");
    const ToolRun onTerminal = runTool("script -qec '" + command + "' /dev/null");
    EXPECT_EQ(onTerminal.status, 0);
    EXPECT_NE(onTerminal.out.find("\r[##########"), std::string::npos) << onTerminal.out;
}

// Files whose names say they are unfinished, anywhere under `dir`.
std::vector<std::string> partialFiles(const fs::path& dir) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.path().filename().string().find(".partial") != std::string::npos) found.push_back(entry.path());
    return found;
}

TEST(DemoCapture, AVideoThatCannotBeWrittenIsRefusedBeforeRendering) {
    TempDir t("capture_test");
    const ToolRun r = runTool(std::string(DEMO_CAPTURE_PATH) + " --quiet --frames 3 --video " +
                              (t / "no" / "such" / "v.mp4").string() + " --out " + (t / "cap").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(fs::exists(t / "cap" / "frame_000000.png"));
    EXPECT_EQ(partialFiles(t.dir), std::vector<std::string>{});
}

// An ffmpeg that fails at once: its last words are the message, and nothing unfinished stays.
TEST(DemoCapture, AFailingFfmpegIsReportedInOneLine) {
    TempDir t("capture_test");
    fs::create_directories(t / "bin");
    std::ofstream(t / "bin" / "ffmpeg") << "#!/bin/sh\n"
                                           "echo 'first words' >&2\n"
                                           "echo 'the encoder is broken' >&2\n"
                                           "exit 1\n";
    fs::permissions(t / "bin" / "ffmpeg", fs::perms::owner_all);
    const ToolRun r = runTool("PATH=" + (t / "bin").string() + ":$PATH " + DEMO_CAPTURE_PATH +
                              " --quiet --frames 20 --video " + (t / "v.mp4").string() + " --out " + (t / "cap").string());
    EXPECT_EQ(r.status, 1) << "not ended by a broken pipe";
    EXPECT_EQ(r.err, "demo-capture: " + (t / "v.mp4").string() +
                         ": ffmpeg failed to encode the frames: the encoder is broken\n");
    EXPECT_FALSE(fs::exists(t / "v.mp4"));
    EXPECT_EQ(partialFiles(t.dir), std::vector<std::string>{});
}

TEST(DemoCapture, VideoHasPictureAndSound) {
    if (run("command -v ffprobe") != 0) GTEST_SKIP() << "ffmpeg is not installed";
    TempDir t("capture_test");
    ASSERT_EQ(capture("--fps 25 --frames 25 --video " + (t / "v.mp4").string() + " --out " + t.dir.string()), 0);
    const std::string probe = "ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " + (t / "v.mp4").string() +
                              " > " + (t / "streams.txt").string();
    ASSERT_EQ(std::system(probe.c_str()), 0);
    std::ifstream in(t / "streams.txt");
    const std::string streams((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(streams.find("h264"), std::string::npos) << streams;
    EXPECT_NE(streams.find("aac"), std::string::npos) << streams;
    EXPECT_EQ(partialFiles(t.dir), std::vector<std::string>{});
}

}  // namespace
