// The xmrender bytes of every module of the shared corpus, 30 s each, against recorded hashes:
// whatever makes the player faster or reorganises it must leave every sample as it was.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "shared_data.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

uint64_t fnv1a(const std::vector<uint8_t>& bytes) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
    return h;
}

// FNV-1a of the whole WAV file, header included, of `xmrender --seconds 30`.
const std::map<std::string, uint64_t> kRecorded = {
    {"2force.xm", 0x9e4ddbb9fcaeff28ull},
    {"arg.xm", 0x1ab70087bcabb884ull},
    {"aster2_sw.xm", 0x4c0b01e6268f28adull},
    {"bgm1.xm", 0xfe37b874b9276e6full},
    {"bgm2.xm", 0xb5ad22ff13da4a07ull},
    {"cerror-bobmberclone.xm", 0x3c7be2327639a82bull},
    {"cerror-bomberclone_numero_2.xm", 0x2ac33f41be24bb3dull},
    {"dali.xm", 0xeda815bd9532f7dcull},
    {"finalman-quickie.xm", 0x75c28b1e88d1bc66ull},
    {"flobopuyo_game1.xm", 0x86009bc0be1a3f43ull},
    {"flobopuyo_game2.xm", 0xec651d7925ac391bull},
    {"flobopuyo_gameover.xm", 0x1dba446b57bbd3a3ull},
    {"flobopuyo_menu.xm", 0x00fff47e9bac3633ull},
    {"hr_suds.xm", 0x63cd4040b9929c17ull},
    {"mario_is_a_weenie.xm", 0xe28020a3d06405a7ull},
    {"mph.xm", 0x85ee75b4c004642full},
    {"satisfy.xm", 0xddda743d47788c48ull},
    {"slice_me_nice.xm", 0x39c33c552f3cf5ccull},
    {"strange_fear.xm", 0xb439933d07496b1dull},
    {"strange_fear2.xm", 0x2da914b9f0e2c8caull},
    {"strange_gameover.xm", 0x8d820190bc1dd99cull},
    {"zb-tnt.xm", 0x00e90169cd0fb394ull},
};

TEST(CorpusRender, EveryModuleRendersTheRecordedBytes) {
    const fs::path corpus = sharedDataDir("xm-corpus");
    REQUIRE_SHARED_DATA(corpus);
    TempDir t("corpus_render_test");
    for (const auto& [name, recorded] : kRecorded) {
        const fs::path module = corpus / name;
        if (!fs::exists(module)) {
            ADD_FAILURE() << module << " is missing from the corpus";
            continue;
        }
        const fs::path wav = t / (name + ".wav");
        const std::string command = std::string(XMRENDER_PATH) + " --seconds 30 '" + module.string() + "' '" +
                                    wav.string() + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        std::ifstream in(wav, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_EQ(bytes.size(), 44u + 1497u * 884u * 4u) << name << ": 30 s are 1497 blocks of 884 frames";
        EXPECT_EQ(fnv1a(bytes), recorded) << name << ": the rendered samples changed";
        fs::remove(wav);
    }
}

// The demo's own song, whole (it loops after 179.3 s) and a little beyond: the capture, the
// audio-under-load and the Windows checks compare the demo with xmrender, and this pins xmrender.
TEST(CorpusRender, TheDemoSongRendersTheRecordedBytes) {
    TempDir t("song_render_test");
    const fs::path wav = t / "song.wav";
    const std::string command =
        std::string(XMRENDER_PATH) + " --seconds 185 '" + SONG_PATH + "' '" + wav.string() + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(wav, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(bytes.size(), 44u + 9230u * 884u * 4u) << "185 s take 9230 blocks of 884 frames";
    EXPECT_EQ(fnv1a(bytes), 0x3d0920555f72bd3full) << "the demo's song renders other samples";
}

}  // namespace
