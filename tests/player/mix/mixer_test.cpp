#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "player/mix/mixer.h"
#include "player/module.h"

namespace {

constexpr uint32_t kHalf = 0x80000000u;  // 0.5 in the 32.32 fraction

// A sample over `frames` values plus the 8 guard frames the loader leaves after the end.
struct TestSample {
    std::vector<int16_t> data;
    Sample               sample{};
    TestSample(std::vector<int16_t> values, uint8_t loopType = 1, uint32_t loopStart = 0, uint32_t loopLength = 0)
        : data(std::move(values)) {
        const uint32_t length = uint32_t(data.size());
        data.resize(length + 8, 0);
        sample.data = data.data();
        sample.length = length;
        sample.loopType = loopType;
        sample.bitsPerSample = 16;
        sample.loopStart = loopType == 1 ? 0 : loopStart;
        sample.loopLength = loopType == 1 ? length : loopLength;
        // The guard frame after the loop end, as the loader writes it.
        const uint32_t end = sample.loopStart + sample.loopLength;
        if (loopType == 2) data[end] = data[sample.loopStart];
        if (loopType == 4) data[end] = data[end - 1];
    }
};

// A voice already settled at `volume` on both sides (no ramp), stepping `step` (32.32).
Voice settledVoice(const Sample& s, int32_t volume, uint64_t step) {
    Voice v{};
    v.sample = &s;
    v.direction = 1;
    v.leftVolume = v.rightVolume = volume;
    v.rampTargetLeft = v.rampTargetRight = volume;
    v.currentLeft = v.currentRight = volume * 256;
    v.stepInteger = uint32_t(step >> 32);
    v.stepFraction = uint32_t(step);
    return v;
}

class VoiceMixer : public testing::Test {
protected:
    ::Mixer mixer{};
    void SetUp() override { resetMixer(mixer, 44100); }
};

TEST_F(VoiceMixer, AnIdleVoiceAddsNothingAndKeepsItsPosition) {
    Voice v{};
    v.position = 17;
    v.positionFraction = 5;
    std::vector<float> out(64, 1.5f);
    mixVoice(mixer, v, out.data(), 32);
    for (float f : out) EXPECT_EQ(f, 1.5f);
    EXPECT_EQ(v.position, 17);
    EXPECT_EQ(v.positionFraction, 5u);
}

TEST_F(VoiceMixer, ANonLoopingSampleAtHalfStepPlaysTwiceItsLengthThenStops) {
    std::vector<int16_t> values(100);
    for (int i = 0; i < 100; ++i) values[i] = int16_t(100 * (i + 1));
    TestSample t(values);
    Voice v = settledVoice(t.sample, 255, kHalf);  // gain exactly 1.0
    std::vector<float> out(2 * 300, 0.0f);
    mixVoice(mixer, v, out.data(), 300);
    for (int k = 0; k < 200; ++k) {
        const int i = k / 2;
        const float expected = k % 2 ? float(values[i] + (i + 1 < 100 ? values[i + 1] : 0)) / 2.0f : float(values[i]);
        ASSERT_EQ(out[2 * k], expected) << k;
        ASSERT_EQ(out[2 * k + 1], expected) << k;
    }
    EXPECT_EQ(out[2 * 199], 5000.0f) << "half of frame 99, towards the zero after the end";
    for (int k = 200; k < 300; ++k) ASSERT_EQ(out[2 * k], 0.0f) << k;
    EXPECT_EQ(v.sample, nullptr);
    EXPECT_EQ(v.position, 0);
    EXPECT_EQ(v.positionFraction, 0u);
}

TEST_F(VoiceMixer, LoopsWrapAndReflectAtTheBoundary) {
    // A loop from 100 of length 50 in a 200-frame sample; one frame at step 0.5 crosses its end.
    struct Case {
        const char* what;
        uint8_t     loopType;
        int32_t     direction, position;
        uint32_t    fraction;
        int32_t     expectedPosition;
        uint32_t    expectedFraction;
        int32_t     expectedDirection;
    };
    const Case cases[] = {
        {"forward loop: 150.25 becomes 100.25", 2, 1, 149, 0xC0000000u, 100, 0x40000000u, 1},
        {"ping-pong, forward: 150.25 becomes 149.75 - 2^-32", 4, 1, 149, 0xC0000000u, 149, 0xBFFFFFFFu, 2},
        {"ping-pong, backward: 99.75 becomes 100.25 - 2^-32", 4, 2, 100, 0x40000000u, 100, 0x3FFFFFFFu, 1},
    };
    for (const Case& c : cases) {
        TestSample t(std::vector<int16_t>(200, 1000), c.loopType, 100, 50);
        Voice v = settledVoice(t.sample, 255, kHalf);
        v.direction = c.direction;
        v.position = c.position;
        v.positionFraction = c.fraction;
        std::vector<float> out(2, 0.0f);
        mixVoice(mixer, v, out.data(), 1);
        EXPECT_EQ(v.position, c.expectedPosition) << c.what;
        EXPECT_EQ(v.positionFraction, c.expectedFraction) << c.what;
        EXPECT_EQ(v.direction, c.expectedDirection) << c.what;
        EXPECT_EQ(v.sample, &t.sample) << c.what;
    }
}

// A step far longer than a ping-pong loop: the position lands where mirroring at one end, then at
// the other, and so on until it lies inside, would put it (the reference below does exactly
// that), in one step however many loop lengths it ran past.
TEST_F(VoiceMixer, APingPongLoopFoldsAStepOfManyLoopLengthsAsRepeatedMirroringWould) {
    constexpr int64_t kOne = int64_t(1) << 32;
    const auto mirror = [](int64_t pos, int32_t& direction, int64_t start, int64_t end) {
        pos = direction == 1 ? 2 * end - pos - 1 : 2 * start - pos - 1;
        direction = direction == 1 ? 2 : 1;
        for (;;) {
            if (direction == 2 && pos < start) pos = 2 * start - pos - 1, direction = 1;
            else if (direction == 1 && pos >= end) pos = 2 * end - pos - 1, direction = 2;
            else return pos;
        }
    };
    struct Case {
        uint32_t loopStart, loopLength;  // frames
        uint64_t step;                   // 32.32
        int32_t  direction;
    };
    const Case cases[] = {
        {10, 1, 48695 * kOne + 0x9A3F0000u, 1},  // the highest pitch on a one-frame loop
        {10, 1, 48695 * kOne + 0x9A3F0000u, 2},
        {3, 7, 1000 * kOne + 0x4000000u, 1},     // an odd number of loop lengths past the end
        {3, 7, 1007 * kOne + 0x4000000u, 1},     // an even number
        {3, 7, 999 * kOne + 0xFFFFFFFFu, 2},
        {0, 2, 77 * kOne + 1, 2},                // mirrored at a start of 0
        {5, 40, 41 * kOne, 1},                   // just over one loop length
        {5, 40, 40 * kOne, 2},
    };
    for (const Case& c : cases) {
        TestSample t(std::vector<int16_t>(c.loopStart + c.loopLength + 4, 500), 4, c.loopStart, c.loopLength);
        Voice v = settledVoice(t.sample, 255, c.step);
        v.direction = c.direction;
        v.position = int32_t(c.loopStart + c.loopLength / 2);
        v.positionFraction = 0x12345678u;
        int32_t direction = c.direction;
        int64_t expected = int64_t(v.position) * kOne + v.positionFraction;
        expected += c.direction == 1 ? int64_t(c.step) : -int64_t(c.step);
        expected = mirror(expected, direction, int64_t(c.loopStart) * kOne, int64_t(c.loopStart + c.loopLength) * kOne);
        if (expected < 0) expected = 0;
        std::vector<float> out(2, 0.0f);
        mixVoice(mixer, v, out.data(), 1);  // one frame: the step crosses the boundary and is folded back
        const std::string what = std::to_string(c.loopStart) + "+" + std::to_string(c.loopLength) + ", step " +
                                 std::to_string(c.step) + ", direction " + std::to_string(c.direction);
        EXPECT_EQ(v.position, int32_t(expected >> 32)) << what;
        EXPECT_EQ(v.positionFraction, uint32_t(expected)) << what;
        EXPECT_EQ(v.direction, direction) << what;
    }
}

TEST_F(VoiceMixer, ALongForwardLoopKeepsPlayingAcrossManyWraps) {
    std::vector<int16_t> values(64);
    for (int i = 0; i < 64; ++i) values[i] = int16_t(i * 10);
    TestSample t(values, 2, 16, 48);
    Voice v = settledVoice(t.sample, 255, uint64_t(3) << 32);  // three frames per output frame
    std::vector<float> out(2 * 1000, 0.0f);
    mixVoice(mixer, v, out.data(), 1000);
    // Frame k plays sample position 3k, folded into the loop [16, 64).
    for (int k = 0; k < 1000; ++k) {
        int64_t p = 3 * int64_t(k);
        while (p >= 64) p -= 48;
        ASSERT_EQ(out[2 * k], float(values[p])) << k;
    }
}

TEST_F(VoiceMixer, ANoteRampsInFromSilenceOver128FramesThenHoldsItsGain) {
    TestSample t(std::vector<int16_t>(1000, 10000));
    Voice v{};
    v.sample = &t.sample;
    v.direction = 1;
    v.stepInteger = 1;
    v.leftVolume = 127;
    v.rightVolume = 0;
    std::vector<float> out(2 * 300, 0.0f);
    mixVoice(mixer, v, out.data(), 300);
    const float step = 127.0f * (1.0f / 255.0f) * (1.0f / 128.0f);
    float g = 0.0f;
    for (int k = 0; k < 128; ++k) {
        ASSERT_EQ(out[2 * k], 10000.0f * g) << k;
        ASSERT_EQ(out[2 * k + 1], 0.0f) << k;
        g += step;
    }
    EXPECT_NEAR(g, 127.0f / 255.0f, 1e-6);
    for (int k = 128; k < 300; ++k) ASSERT_EQ(out[2 * k], 10000.0f * (127.0f / 255.0f)) << k;
    EXPECT_EQ(v.rampFramesLeft, 0);
    EXPECT_EQ(v.currentLeft, 127 * 256);
}

TEST_F(VoiceMixer, AChangeDuringARampStartsAFullRampFromTheGainReached) {
    TestSample t(std::vector<int16_t>(1000, 10000));
    Voice v{};
    v.sample = &t.sample;
    v.direction = 1;
    v.stepInteger = 1;
    v.leftVolume = v.rightVolume = 200;
    std::vector<float> out(2 * 400, 0.0f);
    mixVoice(mixer, v, out.data(), 64);  // half way up
    const int32_t reached = v.currentLeft;
    EXPECT_NEAR(reached, 100 * 256, 256);
    v.leftVolume = 50;  // only the left side changes
    mixVoice(mixer, v, out.data() + 128, 200);
    EXPECT_EQ(v.rampFramesLeft, 0);
    // The left gain falls from the reached value for a full 128 frames, then holds 50/255.
    const float start = float(reached) / 256.0f / 255.0f;
    EXPECT_NEAR(out[2 * 64], 10000.0f * start, 0.5f);
    EXPECT_GT(out[2 * (64 + 127)], 10000.0f * (50.0f / 255.0f));
    EXPECT_EQ(out[2 * (64 + 128)], 10000.0f * (50.0f / 255.0f));
    // The right side's ramp was restarted with the same target and ends at 200/255.
    EXPECT_EQ(out[2 * (64 + 128) + 1], 10000.0f * (200.0f / 255.0f));
}

TEST_F(VoiceMixer, ChangingOneSideRampsOnlyThatSide) {
    TestSample t(std::vector<int16_t>(1000, 10000));
    Voice v = settledVoice(t.sample, 100, uint64_t(1) << 32);
    v.rightVolume = 30;
    std::vector<float> out(2 * 200, 0.0f);
    mixVoice(mixer, v, out.data(), 200);
    for (int k = 0; k < 200; ++k) ASSERT_EQ(out[2 * k], 10000.0f * (100.0f / 255.0f)) << k;
    EXPECT_LT(out[2 * 1 + 1], out[2 * 1]);
    EXPECT_EQ(out[2 * 150 + 1], 10000.0f * (30.0f / 255.0f));
}

TEST_F(VoiceMixer, RunsAcrossCallsGiveTheSameSoundAsOneCall) {
    std::vector<int16_t> values(300);
    for (int i = 0; i < 300; ++i) values[i] = int16_t((i * 7919) % 20000 - 10000);
    TestSample t(values, 4, 40, 200);
    // Settled gains: a ramp re-reads its gain at the end of every run, so only constant gains are
    // indifferent to where the render loop cuts.
    Voice whole = settledVoice(t.sample, 180, (uint64_t(1) << 32) + 0x3456789A);
    whole.rightVolume = whole.rampTargetRight = 90;
    whole.currentRight = 90 * 256;
    Voice pieces = whole;
    std::vector<float> a(2 * 2000, 0.0f), b(2 * 2000, 0.0f);
    mixVoice(mixer, whole, a.data(), 2000);
    for (int done = 0, n = 1; done < 2000; done += n, n = n % 97 + 13) {
        n = std::min(n, 2000 - done);
        mixVoice(mixer, pieces, b.data() + 2 * done, n);
    }
    EXPECT_EQ(a, b);
    EXPECT_EQ(whole.position, pieces.position);
    EXPECT_EQ(whole.positionFraction, pieces.positionFraction);
}

TEST_F(VoiceMixer, AVoiceSetUpOutsideItsSampleEndsInsteadOfReadingPastIt) {
    TestSample t(std::vector<int16_t>(50, 1000), 4, 0, 50);
    struct Case {
        int32_t position, direction;
    };
    for (const Case& c : {Case{-5, 1}, Case{500, 2}, Case{-100000, 2}, Case{100000, 1}}) {
        Voice v = settledVoice(t.sample, 255, uint64_t(1) << 32);
        v.position = c.position;
        v.direction = c.direction;
        std::vector<float> out(2 * 100, 0.0f);
        mixVoice(mixer, v, out.data(), 100);  // ASan reports any read outside the buffer
        // Either the voice ended, or the loop handling brought it back inside its loop.
        if (v.sample) {
            EXPECT_GE(v.position, 0) << c.position;
            EXPECT_LT(v.position, 50) << c.position;
        }
    }
}

TEST_F(VoiceMixer, APingPongLoopFromZeroStaysInsideTheSample) {
    TestSample t(std::vector<int16_t>(16, 1000), 4, 0, 16);
    Voice v = settledVoice(t.sample, 255, uint64_t(2) << 32);
    v.position = 2;  // moving back, it lands exactly on 0, which mirrors to just below it
    v.direction = 2;
    std::vector<float> out(2 * 500, 0.0f);
    mixVoice(mixer, v, out.data(), 500);
    EXPECT_EQ(v.sample, &t.sample);
    for (int k = 0; k < 500; ++k) ASSERT_EQ(out[2 * k], 1000.0f) << k;
}

// ProTracker's sample swap: at the end of its pass (a loop's end, or a one-shot's) the voice goes
// on in the next sample's loop, as far into it as it ran past; a next sample without a loop ends
// it; a next sample waits while the pass goes on, however many frames a call mixes.
TEST_F(VoiceMixer, AVoiceGoesOnInTheNextSamplesLoopOnceItsPassEnds) {
    TestSample looped(std::vector<int16_t>(40, 100), 2, 30, 10);
    TestSample oneShot(std::vector<int16_t>(40, 100));
    TestSample next(std::vector<int16_t>{1, 2, 3, 4, 5, 6, 7, 8, 500, 500, 500, 500}, 2, 8, 4);
    TestSample nextWithoutLoop(std::vector<int16_t>(12, 700));
    struct Case {
        const char*   what;
        const Sample& from;
        const Sample& to;
        int32_t       position;          // at frame 38.5 (step 0.75), two frames before the pass ends
        int32_t       expectedPosition;  // after 8 frames: 4.5 past the next loop's start, wrapped: 8.5
        bool          sounding;
    };
    const Case cases[] = {
        {"from a loop", looped.sample, next.sample, 38, 8, true},
        {"from a one-shot", oneShot.sample, next.sample, 38, 8, true},
        {"to a sample without a loop", looped.sample, nextWithoutLoop.sample, 38, 0, false},
    };
    for (const Case& c : cases) {
        Voice v = settledVoice(c.from, 255, 0xC0000000u);
        v.position = c.position;
        v.positionFraction = kHalf;
        v.nextSample = &c.to;
        std::vector<float> out(16, 0.0f);
        mixVoice(mixer, v, out.data(), 8);
        EXPECT_EQ(v.sample, c.sounding ? &c.to : nullptr) << c.what;
        EXPECT_EQ(v.nextSample, nullptr) << c.what;
        EXPECT_EQ(v.position, c.expectedPosition) << c.what;
        if (c.sounding) EXPECT_EQ(out[2 * 7], 500.0f) << c.what << ": the last frame plays the next loop";
        else EXPECT_EQ(out[2 * 7], 0.0f) << c.what;
    }

    // Many frames inside a long loop: one pass at a time, the swap waiting for the loop's end.
    TestSample longLoop(std::vector<int16_t>(1000, 100), 2, 0, 1000);
    Voice v = settledVoice(longLoop.sample, 255, uint64_t(1) << 32);
    v.nextSample = &next.sample;
    std::vector<float> out(2 * 999, 0.0f);
    mixVoice(mixer, v, out.data(), 999);
    EXPECT_EQ(v.sample, &longLoop.sample);
    EXPECT_EQ(v.position, 999);
    out.assign(4, 0.0f);
    mixVoice(mixer, v, out.data(), 2);
    EXPECT_EQ(v.sample, &next.sample);
    EXPECT_EQ(v.position, 9);
}

TEST(FloatToPcm16, RoundsTiesToEvenAndClips) {
    const float in[] = {2.5f, 3.5f, -2.5f, 40000.0f, -40000.0f, 0.49f, -0.5f, 32767.4f, -32768.6f, 1.5f};
    const int16_t expected[] = {2, 4, -2, 32767, -32768, 0, 0, 32767, -32768, 2};
    int16_t out[10];
    floatToPcm16(out, in, 5);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(out[i], expected[i]) << in[i];
    int16_t untouched[2] = {7, 7};
    floatToPcm16(untouched, in, 0);
    floatToPcm16(nullptr, in, 1);
    EXPECT_EQ(untouched[0], 7);
}

TEST(MixVoices, AddsEveryVoiceOfTheTable) {
    ::Mixer mixer{};
    resetMixer(mixer, 44100);
    EXPECT_EQ(mixer.rampLength, 128);
    TestSample t(std::vector<int16_t>(100, 300), 2, 0, 100);
    for (int i : {0, 31, 32, 63}) mixer.voices[i] = settledVoice(t.sample, 255, uint64_t(1) << 32);
    std::vector<float> out(2 * 10, 0.0f);
    mixVoices(mixer, out.data(), 10);
    for (float f : out) EXPECT_EQ(f, 1200.0f);
    mixVoices(mixer, out.data(), 0);
    mixVoices(mixer, out.data(), -4);
    for (float f : out) EXPECT_EQ(f, 1200.0f);
}

}  // namespace
