#pragma once
// Loading a module in the tests, and what the player may rely on in any module that loaded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "player/load/loader.h"

struct ModuleDeleter {
    void operator()(Module* m) const { freeModule(m); }
};
using ModulePtr = std::unique_ptr<Module, ModuleDeleter>;

// Loads `bytes` through the memory stream. The bytes are copied into a buffer of exactly their
// size, so that ASan sees any read past the end.
inline ModulePtr load(const std::vector<uint8_t>& bytes, std::string* reason = nullptr,
               SampleDataCallback callback = nullptr) {
    const std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    return ModulePtr(loadModuleFromMemory(bytes.empty() ? nullptr : exact.get(), bytes.size(), callback, reason));
}

// What the player may rely on in any loaded module, whatever file it came from.
inline void expectPlayable(const Module& m) {
    EXPECT_LE(m.initialGlobalVolume, 64);
    ASSERT_GE(m.channelCount, 1);
    ASSERT_LE(m.channelCount, 32);
    ASSERT_GE(m.songLength, 1);
    ASSERT_LE(m.songLength, 256);
    EXPECT_LT(m.restartPosition, m.songLength);
    EXPECT_GE(m.restartPosition, 0);
    for (int32_t i = 0; i < m.songLength; ++i) ASSERT_LT(m.orders[i], m.patternCount) << "order " << i;
    for (int32_t i = 0; i < m.patternCount; ++i) {
        const Pattern& p = m.patterns[i];
        ASSERT_EQ(p.cells != nullptr, p.rowCount > 0) << "pattern " << i;
        for (int32_t k = 0; k < p.rowCount * m.channelCount; ++k) {
            ASSERT_NE(p.cells[k].note, 97);
            ASSERT_LE(p.cells[k].instrument, 128);
        }
    }
    ASSERT_GE(m.instrumentCount, 0);
    ASSERT_LE(m.instrumentCount, 128);
    for (int32_t i = 0; i < m.instrumentCount; ++i) {
        SCOPED_TRACE("instrument " + std::to_string(i));
        const Instrument& ins = m.instruments[i];
        ASSERT_GE(ins.sampleCount, 0);
        ASSERT_LE(ins.sampleCount, 16);
        for (int32_t k = ins.sampleCount; k < 16; ++k) EXPECT_EQ(ins.samples[k], &emptySample);
        for (int32_t k = 0; k < ins.sampleCount; ++k) {
            const Sample& s = *ins.samples[k];
            ASSERT_NE(&s, &emptySample);
            EXPECT_EQ(s.bitsPerSample, 16);
            ASSERT_TRUE(s.loopType == 1 || s.loopType == 2 || s.loopType == 4) << int(s.loopType);
            ASSERT_EQ(s.data != nullptr, s.length > 0);
            if (s.loopType == 1) {
                EXPECT_EQ(s.loopStart, 0u);
                EXPECT_EQ(s.loopLength, s.length);
            }
            if (s.length == 0) continue;
            ASSERT_GE(s.loopLength, 1u);
            ASSERT_LE(uint64_t(s.loopStart) + s.loopLength, s.length);
            const uint32_t guard = s.loopStart + s.loopLength;
            if (s.loopType == 2) { EXPECT_EQ(s.data[guard], s.data[s.loopStart]); }
            if (s.loopType == 4) { EXPECT_EQ(s.data[guard], s.data[guard - 1]); }
            for (uint32_t j = s.length; j < s.length + 8; ++j)
                if (j != guard) { ASSERT_EQ(s.data[j], 0) << "frame " << j; }
        }
        for (auto [count, type, sustain, loopStart, loopEnd] :
             {std::make_tuple(ins.volumePointCount, ins.volumeType, ins.volumeSustainPoint, ins.volumeLoopStart,
                              ins.volumeLoopEnd),
              std::make_tuple(ins.panningPointCount, ins.panningType, ins.panningSustainPoint, ins.panningLoopStart,
                              ins.panningLoopEnd)}) {
            EXPECT_LE(count, 12);
            if (type & 2) { EXPECT_LT(sustain, count); }
            if (type & 4) { EXPECT_TRUE(loopStart < count && loopEnd < count); }
        }
    }
}
