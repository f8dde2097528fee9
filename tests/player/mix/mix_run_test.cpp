// The mixer's fast inner loops against their plain forms, bit for bit, on random samples,
// positions, steps, gains and buffers; and the 16-bit conversion on random and special values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "player/mix/mix_run.h"

namespace {

constexpr int64_t kOne = int64_t(1) << 32;

struct Case {
    std::vector<int16_t> data;
    int64_t              position;
    uint64_t             delta;
    float                gainLeft, gainRight, stepLeft, stepRight;
    std::vector<float>   out;
    int32_t              frames;
};

// A random run that stays inside its sample: forward or backward, steps from nearly 0 to about
// 3 frames with fractions of all 32 bits, run lengths that exercise the four-frame blocks and
// the leftovers.
Case randomCase(std::mt19937& rng) {
    std::uniform_int_distribution<int32_t> sample(-32768, 32767);
    Case c;
    c.frames = std::uniform_int_distribution<int32_t>(0, 41)(rng);
    const uint64_t step = (uint64_t(rng() % 3) << 32) | rng();
    const bool forward = rng() % 2;
    const int64_t span = int64_t((step * uint64_t(c.frames)) >> 32) + 2;
    c.data.resize(size_t(span) * 2 + 16);
    for (int16_t& d : c.data) d = int16_t(sample(rng));
    const int64_t start = forward ? 1 : span + 1;
    c.position = start * kOne + rng();
    c.delta = forward ? step : uint64_t(0) - step;
    const float gains[] = {0.0f, 1.0f, 127.0f / 255.0f, 0.3f, 2.5f};
    c.gainLeft = gains[rng() % 5];
    c.gainRight = gains[rng() % 5];
    c.stepLeft = std::uniform_real_distribution<float>(-0.01f, 0.01f)(rng);
    c.stepRight = std::uniform_real_distribution<float>(-0.01f, 0.01f)(rng);
    c.out.resize(size_t(c.frames) * 2 + 8);
    for (float& o : c.out) o = std::uniform_real_distribution<float>(-40000.0f, 40000.0f)(rng);
    return c;
}

// The fast forms with and without the wide (AVX2) kernels, where the processor has them.
std::vector<bool> widths() { return wideMixAvailable() ? std::vector<bool>{false, true} : std::vector<bool>{false}; }

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST(MixRun, FastRunsGiveThePlainBits) {
    for (const bool wide : widths()) {
        SCOPED_TRACE(wide ? "AVX2" : "SSE2");
        std::mt19937 rng(11);
        for (int trial = 0; trial < 3000; ++trial) {
            SCOPED_TRACE(trial);
            const Case c = randomCase(rng);
            std::vector<float> plain = c.out, fast = c.out;
            const int16_t* d = c.data.data();
            EXPECT_EQ(mixRun(d, c.position, c.delta, c.gainLeft, c.gainRight, fast.data(), c.frames, wide),
                      mixRunPlain(d, c.position, c.delta, c.gainLeft, c.gainRight, plain.data(), c.frames));
            EXPECT_TRUE(sameBits(plain, fast));

            // A volume ramp: gains move by their steps after every frame.
            float plainLeft = c.gainLeft, plainRight = c.gainRight, fastLeft = c.gainLeft, fastRight = c.gainRight;
            EXPECT_EQ(mixRampRun(d, c.position, c.delta, fastLeft, fastRight, c.stepLeft, c.stepRight, fast.data(),
                                 c.frames, wide),
                      mixRampRunPlain(d, c.position, c.delta, plainLeft, plainRight, c.stepLeft, c.stepRight,
                                      plain.data(), c.frames));
            EXPECT_TRUE(sameBits(plain, fast));
            EXPECT_EQ(std::memcmp(&plainLeft, &fastLeft, 4), 0);
            EXPECT_EQ(std::memcmp(&plainRight, &fastRight, 4), 0);
        }
    }
}

// The loop of every interpolation, read linearly, adds the plain loops' values: what the mixer
// relies on when it measures peaks (and the peak is the largest value added to either side).
TEST(MixRun, AnyRunReadLinearlyGivesThePlainBits) {
    std::mt19937 rng(14);
    const SampleEdge noLoop{INT64_MAX, 0, false};
    for (int trial = 0; trial < 2000; ++trial) {
        SCOPED_TRACE(trial);
        const Case c = randomCase(rng);
        const int16_t* d = c.data.data();
        std::vector<float> plain = c.out, any = c.out;
        float plainLeft = c.gainLeft, plainRight = c.gainRight, anyLeft = c.gainLeft, anyRight = c.gainRight;
        EXPECT_EQ(mixAnyRun(Interpolation::linear, d, noLoop, c.position, c.delta, anyLeft, anyRight, c.stepLeft,
                            c.stepRight, any.data(), c.frames, INT64_MAX, 0, nullptr),
                  mixRampRunPlain(d, c.position, c.delta, plainLeft, plainRight, c.stepLeft, c.stepRight, plain.data(),
                                  c.frames));
        EXPECT_TRUE(sameBits(plain, any));
        EXPECT_EQ(std::memcmp(&plainLeft, &anyLeft, 4), 0);
        // Added to zeros, the values stand alone: the peak is the largest of them.
        std::vector<float> zeros(c.out.size(), 0.0f);
        float left = c.gainLeft, right = c.gainRight, peak = 0.0f, loudest = 0.0f;
        mixAnyRun(Interpolation::linear, d, noLoop, c.position, c.delta, left, right, c.stepLeft, c.stepRight,
                  zeros.data(), c.frames, INT64_MAX, 0, &peak);
        for (const float z : zeros) loudest = std::fmax(loudest, std::fabs(z));
        EXPECT_EQ(peak, loudest);
    }
}

// Forward loops short enough to wrap several times within one run, steps up to one loop.
TEST(MixRun, LoopRunsGiveThePlainBitsAndSkipToTheSamePosition) {
    std::mt19937 rng(12);
    std::uniform_int_distribution<int32_t> sample(-32768, 32767);
    for (int trial = 0; trial < 3000; ++trial) {
        SCOPED_TRACE(trial);
        const int64_t loopStart = rng() % 6, loopLength = 1 + rng() % 9;
        const int64_t loopEnd = (loopStart + loopLength) * kOne;
        std::vector<int16_t> data(size_t(loopStart + loopLength) + 2);
        for (int16_t& d : data) d = int16_t(sample(rng));
        uint64_t delta = 1 + (uint64_t(rng()) << 32 | rng()) % uint64_t(loopLength * kOne);
        int64_t position = int64_t((uint64_t(rng()) << 32 | rng()) % uint64_t(loopEnd));
        if (trial % 2) {  // whole frames: positions land exactly on the loop end
            delta = uint64_t(1 + rng() % uint64_t(loopLength)) << 32;
            position &= ~(kOne - 1);
        }
        const int32_t frames = int32_t(rng() % 40);
        std::vector<float> plain(size_t(frames) * 2 + 4), fast;
        for (float& o : plain) o = std::uniform_real_distribution<float>(-1000.0f, 1000.0f)(rng);
        fast = plain;
        const float gainLeft = 0.75f, gainRight = float(rng() % 256) / 255.0f;
        const int64_t expected = mixLoopRunPlain(data.data(), position, delta, gainLeft, gainRight, plain.data(),
                                                 frames, loopEnd, loopLength * kOne);
        for (const bool wide : widths()) {
            std::vector<float> out = fast;
            EXPECT_EQ(mixLoopRun(data.data(), position, delta, gainLeft, gainRight, out.data(), frames, loopEnd,
                                 loopLength * kOne, wide),
                      expected);
            EXPECT_TRUE(sameBits(plain, out)) << (wide ? "AVX2" : "SSE2");
        }
        EXPECT_EQ(skipLoopRun(position, delta, frames, loopEnd, loopLength * kOne), expected);
        std::vector<float> any = fast;
        float left = gainLeft, right = gainRight;
        const SampleEdge edge{loopEnd >> 32, loopLength, false};
        EXPECT_EQ(mixAnyRun(Interpolation::linear, data.data(), edge, position, delta, left, right, 0.0f, 0.0f,
                            any.data(), frames, loopEnd, loopLength * kOne, nullptr),
                  expected);
        EXPECT_TRUE(sameBits(plain, any)) << "the loop of any interpolation";
    }
}

TEST(MixRun, Pcm16GivesThePlainValues) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    std::vector<float> values = {0.0f,     -0.0f,    0.5f,     1.5f,     2.5f,      -2.5f,     3.5f,    32766.5f,
                                 32767.0f, 32767.5f, 32768.0f, 40000.0f, -32768.0f, -32768.5f, -32769.f, -40000.0f,
                                 2.2e9f,   -2.2e9f,  1e30f,    -1e30f,   inf,       -inf,      nan,     -nan};
    std::mt19937 rng(13);
    std::uniform_real_distribution<float> range(-50000.0f, 50000.0f);
    while (values.size() < 2 * 1001) values.push_back(rng() % 4 ? range(rng) : std::round(range(rng)) + 0.5f);
    // Every start offset, so the leftovers after the eight- and sixteen-value blocks are covered too.
    for (const bool wide : widths())
        for (size_t first = 0; first < 32; first += 2) {
            const int32_t frames = int32_t((values.size() - first) / 2);
            std::vector<int16_t> plain(size_t(frames) * 2), fast(size_t(frames) * 2);
            pcm16RunPlain(plain.data(), values.data() + first, frames);
            pcm16Run(fast.data(), values.data() + first, frames, wide);
            EXPECT_EQ(plain, fast) << "from value " << first << (wide ? " (AVX2)" : "");
        }
}

}  // namespace
