// The tracker behaviour tests in ../shared/format-tests: MODs that play a test pattern on one side
// and a recording of ProTracker playing it on the other (or the notes that sound like it), and
// S3Ms likewise for Scream Tracker 3. xmrender plays a MOD or an S3M as its tracker does unless
// told otherwise, and must make the two sides sound alike.
#include <gtest/gtest.h>

#include <string>

#include "behaviour_test.h"
#include "run_tool.h"
#include "shared_data.h"
#include "temp_dir.h"
#include "wav_frames.h"

namespace {

using behaviour::BehaviourTest;

const BehaviourTest kTests[] = {
    {"ArpWraparound.mod", false},         {"finetune.mod", false},
    {"InstrSwapRetrigger.mod", false},    {"PatLoop-Break.mod", false},
    {"PatternJump.mod", false},           {"PortaSwapPT.mod", false},
    {"PTInstrSwap.mod", false},           {"ptoffset.mod", false},
    {"PTStoppedSwap.mod", false},         {"PTSwapNoLoop.mod", false},
    {"VibratoReset.mod", false},          {"AmigaLimits.s3m", false},
    {"LoopReset.s3m", false},             {"NoCombinedSlidesOnFirstTick-Normal.s3m", false},
    {"OffsetLoopWraparound.s3m", false},  {"OxxMemory.s3m", true},
    {"ParamMemory.s3m", true},            {"PatternDelaysRetrig.s3m", false},
    {"PortaAfterArp.s3m", false},         {"RetrigAfterNoteCut.s3m", false},
    {"weirdloop.s3m", false},
};

class FormatBehaviour : public testing::TestWithParam<BehaviourTest> {};

TEST_P(FormatBehaviour, BothSidesSoundAlikeAsTheTrackerPlaysIt) {
    const std::filesystem::path folder = sharedDataDir("format-tests");
    REQUIRE_SHARED_DATA(folder);
    const BehaviourTest& t = GetParam();
    TempDir work("format_behaviour");
    const std::filesystem::path wav = work / "render.wav";
    // No --profile: a MOD plays as ProTracker, an S3M as Scream Tracker 3 plays it, to the song's end.
    const ToolRun run = runTool(std::string(XMRENDER_PATH) + " \"" + (folder / t.file).string() + "\" \"" +
                                wav.string() + "\"");
    ASSERT_EQ(run.status, 0) << run.err;
    behaviour::expectSidesAlike(t, wavFrames(wav));
}

std::string testName(const testing::TestParamInfo<BehaviourTest>& info) { return behaviour::testName(info.param.file); }

INSTANTIATE_TEST_SUITE_P(SharedTests, FormatBehaviour, testing::ValuesIn(kTests), testName);

}  // namespace
