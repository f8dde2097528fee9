// The player's settings through the C interface (rate, interpolation, stereo separation, gain),
// what it says of its channels (state, levels, mute and solo), and the song data it exposes
// (sample names, pattern rows).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "busy_song.h"
#include "xmplayer.h"

namespace {

struct Module {
    xmplayer_module* module;
    explicit Module(const XmLayout& layout) {
        const std::vector<uint8_t> bytes = buildXm(layout);
        module = xmplayer_load_memory(bytes.data(), bytes.size(), nullptr, nullptr, 0);
        EXPECT_NE(module, nullptr);
    }
    ~Module() { xmplayer_free_module(module); }
};

struct Player {
    xmplayer* player;
    explicit Player(const xmplayer_module* module, xmplayer_profile profile = XMPLAYER_PROFILE_DEFAULT)
        : player(xmplayer_create(module, profile)) {}
    ~Player() { xmplayer_free(player); }
    operator xmplayer*() const { return player; }
};

template <typename Sample, typename Render>
std::vector<Sample> renderWith(xmplayer* player, size_t frames, Render render) {
    std::vector<Sample> out(2 * frames);
    size_t done = 0;
    while (done < frames) {
        const size_t n = render(player, out.data() + 2 * done, std::min<size_t>(1000, frames - done));
        if (n == 0) break;
        done += n;
    }
    out.resize(2 * done);
    return out;
}

std::vector<int16_t> render(xmplayer* player, size_t frames) {
    return renderWith<int16_t>(player, frames, xmplayer_render_s16);
}

std::vector<float> renderFloat(xmplayer* player, size_t frames) {
    return renderWith<float>(player, frames, xmplayer_render_float);
}

// One channel playing one long note of a looping 8-frame wave: a tone of the sample's rate / 8.
XmLayout oneTone(uint8_t note = 49, uint16_t rows = 32) {
    XmLayout layout;
    layout.channels = 1;
    layout.instruments = {toneInstrument()};
    layout.patterns = {pattern(rows, 1, {{0, XmCell{note, 1, 0, 0, 0}}})};
    return layout;
}

// Rising zero crossings of the left side per second.
double frequencyOf(const std::vector<int16_t>& frames, int32_t rate) {
    int crossings = 0;
    for (size_t i = 2; i < frames.size(); i += 2) crossings += frames[i - 2] < 0 && frames[i] >= 0;
    return crossings * double(rate) / double(frames.size() / 2);
}

// At any rate a tick lasts the same time and a note has the same pitch; the song ends after the
// same time, within a frame per tick.
TEST(LibraryMixing, AnyRatePlaysTheSameSongInTheSameTime) {
    const Module tone(oneTone());
    Player reference(tone.module);
    const double pitch = frequencyOf(render(reference, 44100), 44100);
    EXPECT_NEAR(pitch, 8363.0 / 8, 3);  // C-4 plays the sample at 8363 Hz; 8 frames a period
    const double seconds = double(xmplayer_song_frames(tone.module, XMPLAYER_PROFILE_DEFAULT, 0, 1 << 30)) / 44100;
    for (const int32_t rate : {8000, 22050, 48000, 96000, 192000}) {
        SCOPED_TRACE(rate);
        Player p(tone.module);
        ASSERT_EQ(xmplayer_set_rate(p, rate), XMPLAYER_OK);
        EXPECT_EQ(xmplayer_get_rate(p), rate);
        const std::vector<int16_t> frames = render(p, size_t(rate) * 60);
        EXPECT_NEAR(double(frames.size() / 2) / rate, seconds, 32 * 6 / double(rate)) << "the same length";
        EXPECT_NEAR(frequencyOf(std::vector<int16_t>(frames.begin(), frames.begin() + 2 * rate), rate), pitch, 3);
        xmplayer_position at{};
        xmplayer_get_position(p, &at, sizeof at);
        EXPECT_EQ(at.played, int64_t(frames.size() / 2));
        EXPECT_DOUBLE_EQ(at.seconds, double(at.played) / rate);
    }
    EXPECT_EQ(xmplayer_block_frames(48000), 960);
    EXPECT_EQ(xmplayer_block_frames(8000), 160);
    EXPECT_EQ(xmplayer_block_frames(44100), XMPLAYER_BLOCK_FRAMES);
    EXPECT_EQ(xmplayer_block_frames(7999), 0);
    Player p(tone.module);
    EXPECT_EQ(xmplayer_set_rate(p, 7999), XMPLAYER_ERROR_ARGUMENT);
    EXPECT_EQ(xmplayer_set_rate(p, 192001), XMPLAYER_ERROR_ARGUMENT);
    EXPECT_EQ(xmplayer_get_rate(p), 44100) << "a refused rate changes nothing";
}

// A change of rate while playing goes on at the same time: what follows is what a player at the
// new rate gives from there.
TEST(LibraryMixing, ARateChangeGoesOnAtTheSameTime) {
    const Module song(busySong());
    Player fresh(song.module);
    ASSERT_EQ(xmplayer_set_rate(fresh, 48000), XMPLAYER_OK);
    const std::vector<int16_t> at48000 = render(fresh, 48000 * 3);
    Player p(song.module);
    render(p, 44100);  // one second at 44100
    ASSERT_EQ(xmplayer_set_rate(p, 48000), XMPLAYER_OK);
    xmplayer_position at{};
    xmplayer_get_position(p, &at, sizeof at);
    EXPECT_EQ(at.played, 48000);
    EXPECT_EQ(render(p, 48000), std::vector<int16_t>(at48000.begin() + 2 * 48000, at48000.begin() + 4 * 48000));
}

// None holds each frame; linear is the demo's sound; cubic follows a sine closer than linear does.
TEST(LibraryMixing, InterpolationsReadTheSampleAsTheySay) {
    // A sample played at 1/16 of its rate: 16 output frames between two of its frames.
    XmLayout layout = oneTone(1);  // C-0: four octaves below C-4
    XmSample& sine = layout.instruments[0].samples[0];
    std::vector<int> period;  // one period of a 16-bit sine of amplitude 20000
    for (int i = 0; i < 64; ++i) period.push_back(int(std::lround(20000 * std::sin(6.2831853 * i / 64))));
    sine.data = deltas16(period);
    sine.type = 1 | 0x10;
    sine.loopLength = 128;
    const Module slow(layout);
    const double step = 522.0 / 44100;  // sample frames per output frame: 8363 / 16 Hz, in whole Hz
    std::vector<std::vector<int16_t>> frames;
    for (const char* name : {"none", "linear", "cubic"}) {
        Player p(slow.module);
        const int interpolation = xmplayer_interpolation_by_name(name);
        ASSERT_GE(interpolation, 0) << name;
        ASSERT_EQ(xmplayer_set_interpolation(p, xmplayer_interpolation(interpolation)), XMPLAYER_OK);
        frames.push_back(render(p, 20000));
    }
    EXPECT_EQ(xmplayer_interpolation_by_name("sinc"), -1);
    EXPECT_EQ(xmplayer_interpolation_by_name(nullptr), -1);
    Player plain(slow.module);
    EXPECT_EQ(frames[1], render(plain, 20000)) << "linear is the default";

    // Past the first ramp: none changes value only where a sample frame begins; the error against
    // the sine the frames sample (at the gain 63 / 255 of volume 64 in the centre) shrinks from
    // none to linear to cubic.
    int changes = 0;
    double error[3] = {};
    for (size_t k = 2000; k < 20000; ++k) {
        changes += frames[0][2 * k] != frames[0][2 * k - 2];
        const double exact = 20000 * std::sin(6.2831853 * double(k) * step / 64) * 63 / 255;
        for (size_t i = 0; i < 3; ++i) error[i] += std::fabs(frames[i][2 * k] - exact);
    }
    EXPECT_LE(changes, int(18000 * step) + 2);
    EXPECT_GT(error[0], error[1]);
    EXPECT_GT(error[1], 2 * error[2]) << error[1] << " " << error[2];
    Player p(slow.module);
    EXPECT_EQ(xmplayer_set_interpolation(p, xmplayer_interpolation(3)), XMPLAYER_ERROR_ARGUMENT);
}

// Separation 0 is mono, 200 doubles the difference of the sides; gain scales every value; both
// reach the float output as they reach the 16-bit one, and 100 % with 0 dB change no bit.
TEST(LibraryMixing, SeparationAndGainShapeTheOutput) {
    const Module song(busySong());
    Player plain(song.module);
    const std::vector<float> reference = renderFloat(plain, 30000);
    struct Case {
        int32_t separation;
        double  gain;
    };
    for (const Case c : {Case{0, 0}, Case{200, 0}, Case{100, 6}, Case{50, -12.5}, Case{100, 0}}) {
        SCOPED_TRACE(std::to_string(c.separation) + " % " + std::to_string(c.gain) + " dB");
        Player f(song.module), s(song.module);
        for (xmplayer* p : {f.player, s.player}) {
            ASSERT_EQ(xmplayer_set_separation(p, c.separation), XMPLAYER_OK);
            ASSERT_EQ(xmplayer_set_gain(p, c.gain), XMPLAYER_OK);
        }
        const std::vector<float> shaped = renderFloat(f, 30000);
        const std::vector<int16_t> shaped16 = render(s, 30000);
        ASSERT_EQ(shaped.size(), reference.size());
        const float gain = float(std::pow(10.0, c.gain / 20));
        const float width = float(c.separation) / 100;
        for (size_t i = 0; i < shaped.size(); i += 2) {
            const float l = reference[i], r = reference[i + 1];
            const float mid = (l + r) / 2, side = (l - r) / 2 * width;
            ASSERT_NEAR(shaped[i], (mid + side) * gain, 1e-6) << i;
            ASSERT_NEAR(shaped[i + 1], (mid - side) * gain, 1e-6) << i;
            const float limited = std::fmin(std::fmax(std::nearbyint(shaped[i] * 32768.0f), -32768.0f), 32767.0f);
            ASSERT_EQ(shaped16[i], int16_t(limited)) << i;
        }
        if (c.separation == 0) {
            EXPECT_EQ(shaped[1001], shaped[1000]);
        }
        if (c.separation == 100 && c.gain == 0) {
            EXPECT_EQ(std::memcmp(shaped.data(), reference.data(), 4 * shaped.size()), 0);
        }
    }
    Player p(song.module);
    EXPECT_EQ(xmplayer_set_separation(p, 201), XMPLAYER_ERROR_ARGUMENT);
    EXPECT_EQ(xmplayer_set_separation(p, -1), XMPLAYER_ERROR_ARGUMENT);
    EXPECT_EQ(xmplayer_set_gain(p, 40.5), XMPLAYER_ERROR_ARGUMENT);
    EXPECT_EQ(xmplayer_set_gain(p, std::nan("")), XMPLAYER_ERROR_ARGUMENT);
}

// A loud module (four channels of full-scale square waves at full volume): the float output goes
// beyond ±1, the 16-bit output is limited.
TEST(LibraryMixing, TheFloatOutputIsNotLimited) {
    XmLayout layout;
    layout.channels = 4;
    XmInstrument loud;
    XmSample square;
    square.data = square16(64, 64);
    square.type = 1 | 0x10;
    square.loopLength = 128;
    square.panning = 0;
    loud.samples = {square};
    layout.instruments = {loud};
    layout.patterns = {pattern(8, 4, {{0, XmCell{49, 1, 0, 0, 0}}, {1, XmCell{49, 1, 0, 0, 0}},
                                      {2, XmCell{49, 1, 0, 0, 0}}, {3, XmCell{49, 1, 0, 0, 0}}})};
    const Module song(layout);
    Player f(song.module), s(song.module);
    const std::vector<float> floats = renderFloat(f, 8000);
    const std::vector<int16_t> shorts = render(s, 8000);
    const float loudest = std::fabs(*std::max_element(floats.begin(), floats.end(), [](float a, float b) {
        return std::fabs(a) < std::fabs(b);
    }));
    EXPECT_GT(loudest, 1.1f) << "values beyond full scale come through";
    for (size_t i = 0; i < floats.size(); ++i) {
        if (floats[i] >= 1.0f) {
            ASSERT_EQ(shorts[i], 32767) << i;
        }
    }
}

// What a channel plays, and its level since the last call; levels and a changed interpolation
// in between do not change a bit of what is mixed.
TEST(LibraryMixing, ChannelStateSaysWhatEachChannelPlays) {
    const Module song(busySong());
    Player p(song.module), reference(song.module);
    xmplayer_channel c{};
    ASSERT_EQ(xmplayer_get_channel(p, 2, &c, sizeof c), XMPLAYER_OK);
    EXPECT_EQ(c.size, sizeof c);
    EXPECT_EQ(c.note, 0) << "nothing plays before the first row";
    EXPECT_EQ(c.sample, -1);
    EXPECT_EQ(c.level, 0.0f);

    std::vector<int16_t> watched = render(p, 2000);
    // Row 0: channel 0 plays C-4 (49) of "lead" with volume 0x30 - 0x10 = 32 of 64, lowered by its
    // envelope on the way from 64 to 40; channel 2 C-5 of "hit".
    ASSERT_EQ(xmplayer_get_channel(p, 0, &c, sizeof c), XMPLAYER_OK);
    EXPECT_EQ(c.note, 49);
    EXPECT_EQ(c.instrument, 1);
    EXPECT_EQ(c.sample, 0);
    EXPECT_GT(c.frequency, 8000);
    EXPECT_LT(c.frequency, 8800) << "C-4 with the auto-vibrato";
    EXPECT_LT(c.volume, 0.5f);
    EXPECT_GT(c.volume, 0.5f * 40 / 64);
    EXPECT_GT(c.level, 0.0f);
    EXPECT_EQ(c.silenced, 0);
    ASSERT_EQ(xmplayer_get_channel(p, 2, &c, sizeof c), XMPLAYER_OK);
    EXPECT_EQ(c.note, 61);
    EXPECT_EQ(c.instrument, 3);
    EXPECT_EQ(c.panning, 40);
    const float level = c.level;
    EXPECT_GT(level, 0.05f);
    EXPECT_LT(level, 0.5f);
    ASSERT_EQ(xmplayer_get_channel(p, 2, &c, sizeof c), XMPLAYER_OK);
    EXPECT_EQ(c.level, 0.0f) << "the level since the last call: nothing mixed in between";
    ASSERT_EQ(xmplayer_get_channel(p, 3, &c, sizeof c), XMPLAYER_OK);
    EXPECT_EQ(c.note, 0) << "channel 3 plays no note";

    for (int k = 0; k < 200; ++k) {
        const std::vector<int16_t> more = render(p, 1000);
        watched.insert(watched.end(), more.begin(), more.end());
        for (int i = 0; i < 4; ++i) ASSERT_EQ(xmplayer_get_channel(p, i, &c, sizeof c), XMPLAYER_OK);
    }
    EXPECT_EQ(watched, render(reference, watched.size() / 2)) << "measuring levels changes nothing";

    // A record of an older, shorter layout gets only its fields; a channel past the song's none.
    struct Older {
        size_t  size;
        int32_t note;
    } older{};
    ASSERT_EQ(xmplayer_get_channel(p, 0, reinterpret_cast<xmplayer_channel*>(&older), sizeof older), XMPLAYER_OK);
    EXPECT_EQ(older.size, sizeof older);
    EXPECT_EQ(xmplayer_get_channel(p, 4, &c, sizeof c), XMPLAYER_ERROR_ARGUMENT);
    EXPECT_EQ(xmplayer_get_channel(p, -1, &c, sizeof c), XMPLAYER_ERROR_ARGUMENT);
    EXPECT_EQ(xmplayer_get_channel(p, 0, &c, 4), XMPLAYER_ERROR_ARGUMENT);
}

// A muted channel is left out: the song sounds as the same song without that channel's notes.
// Solo channels alone sound; muting and solo take effect from the next block.
TEST(LibraryMixing, MuteAndSoloLeaveChannelsOut) {
    XmLayout layout = busySong();
    const Module song(layout);
    XmLayout withoutTwo = layout;
    for (XmPattern& pattern : withoutTwo.patterns)
        for (size_t i = 2; i < pattern.cells.size(); i += 4) {
            // Channel 2's notes go; its effects that change the song (tempo 3) stay.
            XmCell& cell = pattern.cells[i];
            cell.note = cell.instrument = cell.volume = 0;
            if (cell.effectType != 15) cell.effectType = cell.effectParam = 0;
        }
    const Module without(withoutTwo);
    XmLayout onlyTwo = layout;
    for (XmPattern& pattern : onlyTwo.patterns)
        for (size_t i = 0; i < pattern.cells.size(); ++i)
            if (i % 4 != 2) {
                // Tempo, global volume, pattern loop and pattern delay stay.
                XmCell& cell = pattern.cells[i];
                const bool songWide = cell.effectType == 15 || cell.effectType == 16 ||
                                      (cell.effectType == 14 && ((cell.effectParam >> 4) == 6 || (cell.effectParam >> 4) == 14));
                cell.note = cell.instrument = cell.volume = 0;
                if (!songWide) cell.effectType = cell.effectParam = 0;
            }
    const Module only(onlyTwo);

    Player muted(song.module), soloed(song.module), a(without.module), b(only.module);
    ASSERT_EQ(xmplayer_set_mute(muted, 2, 1), XMPLAYER_OK);
    ASSERT_EQ(xmplayer_set_solo(soloed, 2, 1), XMPLAYER_OK);
    EXPECT_EQ(render(muted, 100000), render(a, 100000));
    EXPECT_EQ(render(soloed, 100000), render(b, 100000));
    xmplayer_channel c{};
    xmplayer_get_channel(muted, 2, &c, sizeof c);
    EXPECT_EQ(c.silenced, 1);
    xmplayer_get_channel(soloed, 0, &c, sizeof c);
    EXPECT_EQ(c.silenced, 1);

    // Unmuted, the channel's notes are where they would have been.
    Player whole(song.module), back(song.module);
    const std::vector<int16_t> unbroken = render(whole, 200 * 884);
    ASSERT_EQ(xmplayer_set_mute(back, 2, 1), XMPLAYER_OK);
    render(back, 100 * 884);
    ASSERT_EQ(xmplayer_set_mute(back, 2, 0), XMPLAYER_OK);
    EXPECT_EQ(render(back, 100 * 884), std::vector<int16_t>(unbroken.begin() + 200 * 884, unbroken.end()));
    EXPECT_EQ(xmplayer_set_mute(back, 4, 1), XMPLAYER_ERROR_ARGUMENT);
    EXPECT_EQ(xmplayer_set_solo(nullptr, 0, 1), XMPLAYER_ERROR_ARGUMENT);
}

TEST(LibraryMixing, TheSongsDataForVisualisers) {
    const Module song(busySong());
    xmplayer_info info{};
    ASSERT_EQ(xmplayer_get_info(song.module, &info, sizeof info), XMPLAYER_OK);
    EXPECT_EQ(info.size, sizeof info);
    EXPECT_STREQ(info.format, "XM");
    EXPECT_EQ(info.samples, 3);
    EXPECT_EQ(info.tempo, 5);
    EXPECT_EQ(info.bpm, 125);
    EXPECT_EQ(xmplayer_instrument_samples(song.module, 1), 1);
    EXPECT_EQ(xmplayer_instrument_samples(song.module, 3), 0);
    EXPECT_STREQ(xmplayer_sample_name(song.module, 1, 0), "pingpong");
    EXPECT_STREQ(xmplayer_sample_name(song.module, 2, 0), "one shot");
    EXPECT_STREQ(xmplayer_sample_name(song.module, 2, 1), "");
    EXPECT_STREQ(xmplayer_sample_name(song.module, -1, 0), "");
    EXPECT_EQ(xmplayer_order_pattern(song.module, 2), 2);
    EXPECT_EQ(xmplayer_order_pattern(song.module, 4), -1);
    EXPECT_EQ(xmplayer_pattern_rows(song.module, 1), 12);
    EXPECT_EQ(xmplayer_pattern_rows(song.module, 3), 0);

    xmplayer_cell cells[8] = {};
    ASSERT_EQ(xmplayer_get_row(song.module, 0, 6, cells, 8), 4);
    EXPECT_EQ(cells[1].note, 97) << "key off as the file has it";
    EXPECT_EQ(cells[0].effect, 7);
    EXPECT_EQ(cells[0].parameter, 0x38);
    ASSERT_EQ(xmplayer_get_row(song.module, 0, 0, cells, 2), 4) << "two copied, four channels";
    EXPECT_EQ(cells[0].note, 49);
    EXPECT_EQ(cells[0].volume, 0x30);
    EXPECT_EQ(cells[1].instrument, 2);
    EXPECT_EQ(xmplayer_get_row(song.module, 0, 16, cells, 8), 0);
    EXPECT_EQ(xmplayer_get_row(song.module, 3, 0, cells, 8), 0);
    EXPECT_EQ(xmplayer_get_row(song.module, 0, 0, nullptr, 0), 4) << "the channel count alone";
    EXPECT_EQ(xmplayer_get_info(nullptr, &info, sizeof info), XMPLAYER_ERROR_ARGUMENT);
}

}  // namespace
