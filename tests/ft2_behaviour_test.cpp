// The tracker behaviour tests in ../shared/ft2-tests: each module plays a test pattern on one
// side and a recording of FastTracker 2 playing it on the other. xmrender with the ft2 profile
// must make the two sides sound alike.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "shared_data.h"
#include "channel_similarity.h"
#include "temp_dir.h"

namespace {

constexpr double kPassingSimilarity = 0.90;
constexpr double kCancelledRms = 0.01;  // full scale 1.0

struct BehaviourTest {
    const char* file;
    bool        cancels;  // built so that the two sides cancel out: silence is the pass
    // A test the ft2 profile does not pass yet: its score must not fall below this floor, and it
    // is reported as resisting. 0: the test must pass.
    double      resistingFloor = 0;
};

const BehaviourTest kTests[] = {
    {"3xx-no-old-samp.xm", false},    {"ArpSlide.xm", false},
    {"Arpeggio.xm", false},           {"AutoVibratoSweepKeyOff.xm", false},
    {"DelayCombination.xm", true},    {"DelayVolume.xm", true},
    {"EnvLoops.xm", false},           {"FineVol-LinkMem.xm", true},
    {"NoteLimit2.xm", false},         {"NoteOff2.xm", false},
    {"NoteOffFadeNoEnv.xm", false},   {"NoteOffVolume.xm", false},
    {"OffDelay.xm", false},           {"PanMemory.xm", false},
    {"PanSlideMem.xm", true},         {"PatLoop-Break.xm", false},
    {"PatLoop-Jumps.xm", false},      {"PatLoop-Various.xm", false},
    {"PatternDelay-NoteDelay.xm", false}, {"PatternDelaysRetrig.xm", false},
    {"Porta-LinkMem_old.xm", false},  {"Porta-Pickup.xm", false},
    {"PortaJustStoppedNote.xm", false}, {"RetrigTick0.xm", false},
    {"SetEnvPos.xm", false},          {"TremoloVibrato.xm", false},
    {"Tremor.xm", false},             {"VibratoCombinations.xm", false},
    {"VibratoWaveforms.xm", false},   {"delay2.xm", false},
    {"finetune.xm", false},           {"key_off.xm", false},
    {"keyoff+instr.xm", false},       {"porta-delay.xm", false},
    {"retrig.xm", false},
};

// The 16-bit stereo frames of the WAV file xmrender wrote (a plain 44-byte header).
std::vector<int16_t> readFrames(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.size() < 44) return {};
    std::vector<int16_t> samples((bytes.size() - 44) / 2);
    std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
    return samples;
}

class Ft2Behaviour : public testing::TestWithParam<BehaviourTest> {};

TEST_P(Ft2Behaviour, BothSidesSoundAlikeWithTheFt2Profile) {
    const std::filesystem::path folder = sharedDataDir("ft2-tests");
    REQUIRE_SHARED_DATA(folder);
    const BehaviourTest& t = GetParam();
    TempDir work("ft2_behaviour");
    const std::filesystem::path wav = work / "render.wav";
    // xmrender renders to the song's end: the first row the player is about to play again.
    const std::string command = std::string(XMRENDER_PATH) + " --profile ft2 \"" + (folder / t.file).string() +
                                "\" \"" + wav.string() + "\" >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::vector<int16_t> samples = readFrames(wav);
    const similarity::Comparison c = similarity::compareChannels(samples.data(), samples.size() / 2);
    std::printf("%-28s similarity %.4f over %zu windows, RMS left %.5f right %.5f\n", t.file, c.similarity,
                c.windows, c.rmsLeft, c.rmsRight);
    RecordProperty("similarity", std::to_string(c.similarity));
    if (t.cancels) {
        EXPECT_LT(c.rmsLeft, kCancelledRms);
        EXPECT_LT(c.rmsRight, kCancelledRms);
    } else {
        EXPECT_GT(c.windows, 0u) << "the render is silent";
        if (t.resistingFloor > 0) {
            std::printf("%-28s resists: %.4f of the %.2f needed\n", t.file, c.similarity, kPassingSimilarity);
            EXPECT_GE(c.similarity, t.resistingFloor) << "worse than it was";
        } else {
            EXPECT_GE(c.similarity, kPassingSimilarity);
        }
    }
}

std::string testName(const testing::TestParamInfo<BehaviourTest>& info) {
    std::string name;
    for (const char* p = info.param.file; *p && std::string(p) != ".xm"; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(SharedTests, Ft2Behaviour, testing::ValuesIn(kTests), testName);

}  // namespace
