// The xmrender bytes of every module of the shared corpus, 30 s each, against the hashes recorded
// before the mixer's fast paths existed: whatever makes the player faster must leave every sample
// as it was.
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
    {"2force.xm", 0x7acaa0c7b90ea208ull},
    {"arg.xm", 0x1ab70087bcabb884ull},
    {"aster2_sw.xm", 0xd812040b545c8db9ull},
    {"bgm1.xm", 0x4d83dff58633c8d3ull},
    {"bgm2.xm", 0x0aa5a8bd26a480a7ull},
    {"cerror-bobmberclone.xm", 0xe8fda013634db48bull},
    {"cerror-bomberclone_numero_2.xm", 0xb67d11353d58c9f9ull},
    {"dali.xm", 0xeda815bd9532f7dcull},
    {"finalman-quickie.xm", 0xd3ff1d9e639f036aull},
    {"flobopuyo_game1.xm", 0x59336e2de61bdc73ull},
    {"flobopuyo_game2.xm", 0x5b8071ddb96d378full},
    {"flobopuyo_gameover.xm", 0x86ce9f5a0b106dbbull},
    {"flobopuyo_menu.xm", 0xe825855d893e8c8bull},
    {"hr_suds.xm", 0x2e24ac5466cddc83ull},
    {"mario_is_a_weenie.xm", 0x61d1d79da8c1aa7bull},
    {"mph.xm", 0x462ba3d7b0c138b7ull},
    {"satisfy.xm", 0xddda743d47788c48ull},
    {"slice_me_nice.xm", 0x39c33c552f3cf5ccull},
    {"strange_fear.xm", 0x50be988cc35ae221ull},
    {"strange_fear2.xm", 0xf5e1cdee85ab156eull},
    {"strange_gameover.xm", 0x2ab3fb85209d9a6cull},
    {"zb-tnt.xm", 0x6615e2520ef21784ull},
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

}  // namespace
