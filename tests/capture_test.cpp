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
#include "temp_dir.h"
#include "platform/offline/offline_platform.h"
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
    const std::string cases[] = {
        "--fps 0 --out " + t.dir.string(),
        "--fps abc --out " + t.dir.string(),
        "--seconds -1 --out " + t.dir.string(),
        "--frames 10 --seconds 1 --out " + t.dir.string(),
        "--from 9 --to 3 --out " + t.dir.string(),
        "--frames 3",
        "--frames 3 --out " + (t / "file" / "sub").string(),
        "--bogus --out " + t.dir.string(),
    };
    for (const std::string& c : cases) EXPECT_EQ(capture(c), 1) << c;
    EXPECT_EQ(run(std::string(DEMO_CAPTURE_PATH) + " --help"), 0);
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
    EXPECT_FALSE(fs::exists(t / "v.mp4.partial.mp4"));
}

}  // namespace
