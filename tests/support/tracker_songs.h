#pragma once
// Two songs as their trackers' users write them, for whole-song checks: a four-channel MOD (lead
// with vibrato and arpeggio, bass with slides, drums from noise, echo with volume slides, a
// pattern loop and a break) and an eight-channel S3M of the same kind (C2SPD rates, fine slides,
// retriggers, tremolo, pannings, global volume and tempo changes).
#include <cstdint>
#include <vector>

#include "mod_writer.h"
#include "s3m_writer.h"

namespace tracker_songs {

// Samples: a saw, a square, a kick falling in pitch, noise bursts.
inline std::vector<int16_t> saw(int frames, int amplitude) {
    std::vector<int16_t> v;
    for (int i = 0; i < frames; ++i) v.push_back(int16_t(amplitude * (2 * i - frames) / frames));
    return v;
}
inline std::vector<int16_t> square(int frames, int amplitude) {
    std::vector<int16_t> v;
    for (int i = 0; i < frames; ++i) v.push_back(int16_t(i < frames / 2 ? amplitude : -amplitude));
    return v;
}
inline std::vector<int16_t> kick(int frames, int amplitude) {
    std::vector<int16_t> v;
    uint32_t phase = 0;
    for (int i = 0; i < frames; ++i) {
        phase += uint32_t(40000 - i * 30000 / frames);
        const int envelope = amplitude * (frames - i) / frames;
        v.push_back(int16_t((phase >> 15) & 1 ? envelope : -envelope));
    }
    return v;
}
inline std::vector<int16_t> noise(int frames, int amplitude) {
    std::vector<int16_t> v;
    uint32_t x = 12345;
    for (int i = 0; i < frames; ++i) {
        x = x * 1103515245u + 12345u;
        v.push_back(int16_t((int(x >> 16 & 0xFF) - 128) * amplitude / 128 * (frames - i) / frames));
    }
    return v;
}

constexpr uint8_t kMinor[7] = {0, 2, 3, 5, 7, 8, 10};

inline std::vector<uint8_t> modSong() {
    ModLayout l;
    l.title = "tracker song";
    const auto sample = [](std::vector<int16_t> data, uint32_t loopStart, uint32_t loopLength, uint8_t volume) {
        ModSample s;
        for (int16_t v : data) s.data.push_back(int8_t(v));
        s.loopStart = loopStart;
        s.loopLength = loopLength;
        s.volume = volume;
        return s;
    };
    l.samples = {sample(saw(64, 100), 0, 64, 56), sample(square(32, 90), 0, 32, 64), sample(kick(1200, 120), 0, 2, 64),
                 sample(noise(800, 80), 0, 2, 40)};
    l.samples[1].fineTune = -2;
    for (int p = 0; p < 3; ++p) {
        ModPattern pattern;
        pattern.cells.resize(64 * 4);
        for (int row = 0; row < 64; ++row) {
            ModCell* cells = &pattern.cells[size_t(row * 4)];
            if (row % 4 == 0) cells[0] = ModCell{uint8_t(37 + (row % 16 == 0 ? 0 : 12)), 3, 0, 0};
            if (row % 8 == 4) cells[0] = ModCell{61, 4, 0xC, 0x30};
            if (row % 8 == 0) cells[1] = ModCell{uint8_t(37 + kMinor[(row / 8 + p) % 7]), 2, uint8_t(row % 16 ? 0 : 3), 0x08};
            else if (row % 8 == 4) cells[1] = ModCell{0, 0, 1, 0x02};
            if (row % 2 == 0)
                cells[2] = ModCell{uint8_t(49 + kMinor[(row * 3 + p * 2) % 7] + (row % 32 < 16 ? 0 : 12)), 1,
                                   row % 6 == 0 ? uint8_t(4) : uint8_t(0), row % 6 == 0 ? uint8_t(0x46) : uint8_t(0)};
            if (row % 12 == 6) cells[2].effect = 0, cells[2].param = 0x37;
            if (row % 2 == 1) cells[3] = ModCell{0, 0, 0xA, 0x03};
            if (row % 4 == 2) cells[3] = ModCell{uint8_t(61 + kMinor[(row / 4) % 7]), 1, 0xC, 0x18};
        }
        if (p == 1) {
            pattern.cells[16 * 4 + 3].effect = 0xE, pattern.cells[16 * 4 + 3].param = 0x60;
            pattern.cells[31 * 4 + 3].effect = 0xE, pattern.cells[31 * 4 + 3].param = 0x61;
        }
        if (p == 2) pattern.cells[48 * 4 + 3] = ModCell{0, 0, 0xD, 0x00};
        l.patterns.push_back(pattern);
    }
    l.orders = {0, 1, 0, 2, 1};
    return buildMod(l);
}

inline std::vector<uint8_t> s3mSong() {
    S3mLayout l;
    l.title = "tracker song";
    l.channels = {0, 8, 1, 9, 2, 10, 3, 11, 255, 255, 255, 255, 255, 255, 255, 255,
                  255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
    l.speed = 5;
    l.tempo = 132;
    l.globalVolume = 56;
    const auto sample = [](std::vector<int16_t> data, bool loop, uint32_t c2spd, uint8_t volume) {
        S3mSample s;
        s.data = std::move(data);
        s.loop = loop;
        s.loopEnd = uint32_t(s.data.size());
        s.c2spd = c2spd;
        s.volume = volume;
        return s;
    };
    l.samples = {sample(saw(64, 100), true, 8363, 50), sample(square(32, 90), true, 8000, 60),
                 sample(kick(1500, 120), false, 11025, 64), sample(noise(900, 80), false, 16000, 36)};
    for (int p = 0; p < 2; ++p) {
        S3mPattern pattern;
        for (int row = 0; row < 64; ++row) {
            const auto put = [&](int channel, S3mCell c) {
                c.row = row;
                c.channel = l.channels[size_t(channel)];
                pattern.cells.push_back(c);
            };
            if (row % 4 == 0) put(0, S3mCell{0, 0, s3mNote(row % 16 ? 3 : 2, 0), 3, -1, 0, 0});
            if (row % 8 == 4) put(1, S3mCell{0, 0, s3mNote(4, 0), 4, 40, 'Q', uint8_t(row % 16 == 4 ? 0x03 : 0)});
            if (row % 8 == 0) put(2, S3mCell{0, 0, s3mNote(2, kMinor[(row / 8 + p) % 7]), 2, -1, 'E', 0xF2});
            if (row % 8 == 4) put(2, S3mCell{0, 0, 255, 0, -1, 'F', 0x02});
            if (row % 2 == 0)
                put(3, S3mCell{0, 0, s3mNote(4 + (row % 32 >= 16), kMinor[(row * 3 + p) % 7]), 1, -1, row % 6 ? 'D' : 'H',
                               row % 6 ? uint8_t(0x01) : uint8_t(0x46)});
            if (row % 12 == 6) put(4, S3mCell{0, 0, s3mNote(5, kMinor[row % 7]), 1, 24, 'J', 0x37});
            if (row % 4 == 2) put(5, S3mCell{0, 0, s3mNote(5, kMinor[(row / 4) % 7]), 2, 20, 'R', 0x44});
            if (row % 16 == 8) put(6, S3mCell{0, 0, s3mNote(3, 7), 2, -1, 'G', 0x08});
            if (row == 32) put(7, S3mCell{0, 0, 255, 0, -1, p ? 'T' : 'V', p ? uint8_t(0x90) : uint8_t(0x30)});
            if (row == 48) put(7, S3mCell{0, 0, 255, 0, -1, 'S', 0x8C});
        }
        l.patterns.push_back(pattern);
    }
    l.orders = {0, 254, 1, 0, 255};
    std::array<uint8_t, 32> pannings{};
    for (size_t i = 0; i < 8; ++i) pannings[i] = uint8_t(0x20 | (i % 2 ? 11 : 4));
    l.pannings = pannings;
    return buildS3m(l);
}

}  // namespace tracker_songs
