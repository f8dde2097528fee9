// The tracker behaviour tests in ../shared/ft2-tests: each module plays a test pattern on one
// side and a recording of FastTracker 2 playing it on the other. xmrender with the ft2 profile
// must make the two sides sound alike.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "behaviour_test.h"
#include "shared_data.h"
#include "temp_dir.h"
#include "wav_frames.h"

namespace {

using behaviour::BehaviourTest;

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
    behaviour::expectSidesAlike(t, wavFrames(wav));
}

std::string testName(const testing::TestParamInfo<BehaviourTest>& info) {
    return behaviour::testName(info.param.file, ".xm");
}

INSTANTIATE_TEST_SUITE_P(SharedTests, Ft2Behaviour, testing::ValuesIn(kTests), testName);

}  // namespace
