#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/play_input.h"

// Every input that once crashed the player or made it hang is kept in fuzz_regressions/ and played
// again here exactly as the fuzzer plays an input; under the asan preset a relapse is a sanitizer
// finding, and a relapsed hang runs into the test's time limit (tests/CMakeLists.txt).

namespace {

namespace fs = std::filesystem;

TEST(FuzzRegressions, EveryKeptInputPlaysAgain) {
    const fs::path folder = FUZZ_REGRESSIONS_DIR;
    std::vector<fs::path> inputs;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().filename() != "README.md") inputs.push_back(entry.path());
    ASSERT_FALSE(inputs.empty()) << "no inputs in " << folder;
    for (const fs::path& path : inputs) {
        SCOPED_TRACE(path.filename().string());
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        // Exactly the input's size, so a read past its end is a sanitizer finding.
        const std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), exact.get());
        fuzz::playInput(exact.get(), bytes.size());
    }
}

}  // namespace
