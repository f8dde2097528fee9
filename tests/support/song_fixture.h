#pragma once
// A module built with the XM writer (or the MOD and S3M writers), loaded and reset as for playing,
// and driven tick by tick: the fixture of the sequencer, effect and envelope tests.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "player/play/channel.h"
#include "player/load/loader.h"
#include "player/mix/mixer.h"
#include "player/playback.h"
#include "player/play/sequencer.h"
#include "xm_writer.h"

// Cells of one channel, row by row: `rows[r]` is the cell on row r.
inline XmPattern column(std::vector<XmCell> rows, uint16_t length = 16) {
    XmPattern p;
    p.rows = length;
    p.cells = std::move(rows);
    p.cells.resize(length);
    return p;
}

// One instrument with one looping 8-bit sample: an instrument a note can actually sound with.
inline XmInstrument toneInstrument(uint8_t volume = 64, uint8_t panning = 128) {
    XmInstrument ins;
    XmSample s;
    s.data = deltas8({0, 40, 80, 40, 0, -40, -80, -40});
    s.type = 1;
    s.loopLength = 8;
    s.volume = volume;
    s.panning = panning;
    ins.samples.push_back(s);
    return ins;
}

// A pattern of `rows` rows over `channels` channels with the given cells placed.
inline XmPattern pattern(uint16_t rows, uint16_t channels, std::vector<std::pair<int, XmCell>> placed) {
    XmPattern p;
    p.rows = rows;
    p.cells.assign(size_t(rows) * channels, XmCell{});
    for (const auto& [index, cell] : placed) p.cells[size_t(index)] = cell;
    return p;
}

// The module loaded from `layout` and a playback of it started, driven tick by tick.
struct Song {
    std::vector<uint8_t>      bytes;
    Module*                   m = nullptr;
    std::unique_ptr<Playback> playback = std::make_unique<Playback>();
    Playback&                 p = *playback;

    explicit Song(const XmLayout& layout, const PlaybackProfile& profile = defaultProfile)
        : Song(buildXm(layout), profile) {}
    // A module of any format, from its bytes.
    explicit Song(std::vector<uint8_t> file, const PlaybackProfile& profile = defaultProfile) : bytes(std::move(file)) {
        std::string reason;
        m = loadModuleFromMemory(bytes.data(), bytes.size(), nullptr, &reason);
        EXPECT_NE(m, nullptr) << reason;
        if (m) startPlayback(p, *m, profile);
    }
    ~Song() { freeModule(m); }

    Channel& channel(int i) { return p.channels[i]; }

    void tick() { sequencerTick(p); }

    // Runs `ticks` ticks and returns the (order, row) of every row tick among them.
    std::vector<std::pair<int, int>> rowsPlayed(int ticks) {
        std::vector<std::pair<int, int>> rows;
        for (int i = 0; i < ticks; ++i) {
            const bool rowTick = p.tick == 0;
            sequencerTick(p);
            if (rowTick) rows.emplace_back(p.orderPosition, p.row);
        }
        return rows;
    }
};

// Observations of channel 0 over the ticks, for the tests' tables of cases.
inline void run(Song& s, int ticks) {
    for (int i = 0; i < ticks; ++i) s.tick();
}

// After `ticks` ticks: one of channel 0's fields.
inline std::function<int64_t(Song&)> after(int ticks, std::function<int64_t(const Channel&)> field) {
    return [ticks, field](Song& s) {
        run(s, ticks);
        return field(s.channel(0));
    };
}

// Channel 0's note starts within `ticks` ticks.
inline std::function<int64_t(Song&)> starts(int ticks) {
    return [ticks](Song& s) {
        int64_t count = 0;
        for (int i = 0; i < ticks; ++i) {
            s.tick();
            count += (s.channel(0).updateFlags & kUpdateTrigger) != 0;
        }
        return count;
    };
}

// Bit i set when channel 0's note starts on tick i.
inline std::function<int64_t(Song&)> startTicks(int ticks) {
    return [ticks](Song& s) {
        int64_t mask = 0;
        for (int i = 0; i < ticks; ++i) {
            s.tick();
            if (s.channel(0).updateFlags & kUpdateTrigger) mask |= int64_t(1) << i;
        }
        return mask;
    };
}
