#pragma once
// The tracker behaviour tests' scoring (../shared/ft2-tests, ../shared/format-tests): a module
// plays a test pattern on one side and a recording of the tracker playing it on the other, and a
// render that plays it as the tracker does makes the two sides sound alike; the modules built to
// cancel out must stay silent.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "channel_similarity.h"

namespace behaviour {

constexpr double kPassingSimilarity = 0.90;
constexpr double kCancelledRms = 0.01;  // full scale 1.0

struct BehaviourTest {
    const char* file;
    bool        cancels;  // built so that the two sides cancel out: silence is the pass
    // A test the profile does not pass yet: its score must not fall below this floor, and it is
    // reported as resisting. 0: the test must pass.
    double      resistingFloor = 0;
};

// Scores the render's interleaved 16-bit stereo `samples` for `t`, prints the score and records it.
inline void expectSidesAlike(const BehaviourTest& t, const std::vector<int16_t>& samples) {
    const similarity::Comparison c = similarity::compareChannels(samples.data(), samples.size() / 2);
    std::printf("%-40s similarity %.4f over %zu windows, RMS left %.5f right %.5f\n", t.file, c.similarity, c.windows,
                c.rmsLeft, c.rmsRight);
    testing::Test::RecordProperty("similarity", std::to_string(c.similarity));
    if (t.cancels) {
        EXPECT_LT(c.rmsLeft, kCancelledRms);
        EXPECT_LT(c.rmsRight, kCancelledRms);
        return;
    }
    EXPECT_GT(c.windows, 0u) << "the render is silent";
    if (t.resistingFloor > 0) {
        std::printf("%-40s resists: %.4f of the %.2f needed\n", t.file, c.similarity, kPassingSimilarity);
        EXPECT_GE(c.similarity, t.resistingFloor) << "worse than it was";
    } else {
        EXPECT_GE(c.similarity, kPassingSimilarity);
    }
}

// A test's name from its file's: letters and digits kept, the rest '_'; `extension` left out.
inline std::string testName(const char* file, const std::string& extension = "") {
    std::string name = file;
    if (!extension.empty() && name.size() > extension.size() && name.ends_with(extension))
        name.resize(name.size() - extension.size());
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

}  // namespace behaviour
