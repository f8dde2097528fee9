// The MOD loader: the signatures and the layouts they stand for, Soundtracker's 15 samples where
// every part fits, periods as notes, samples as ProTracker keeps them.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "load_checks.h"
#include "mod_writer.h"
#include "player/play/pitch.h"

namespace {

constexpr uint8_t C1 = 37, B3 = 72;  // ProTracker's lowest and highest notes

ModSample loopedSample() {
    ModSample s;
    s.data = {0, 10, 20, 30, 40, 50, 60, 70};
    s.loopStart = 2;
    s.loopLength = 4;
    s.volume = 48;
    s.fineTune = -3;
    return s;
}

// One pattern whose first row has a note on every channel (C-1 upwards) and an effect on the last.
ModLayout layoutFor(const std::string& signature, int32_t channels) {
    ModLayout layout;
    layout.signature = signature;
    layout.channels = channels;
    layout.title = "mod test";
    ModPattern p;
    p.cells.resize(size_t(64 * channels));
    for (int32_t ch = 0; ch < channels; ++ch) p.cells[size_t(ch)] = ModCell{uint8_t(C1 + ch), 1, 0, 0};
    p.cells[size_t(channels - 1)].effect = 0xE;
    p.cells[size_t(channels - 1)].param = 0xC3;
    p.cells[size_t(63 * channels)] = ModCell{B3, 31, 0xF, 0x7D};
    layout.patterns = {p};
    layout.samples = {loopedSample()};
    layout.samples.resize(31, ModSample{"", {}, 0, 0, 0, 2, {}});
    layout.samples[30] = loopedSample();
    return layout;
}

TEST(ModLoader, EachSignatureGivesItsChannelsAndTracker) {
    struct Case {
        const char* signature;
        int32_t     channels;
        const char* tracker;
    };
    const Case cases[] = {
        {"M.K.", 4, "ProTracker"},   {"M!K!", 4, "ProTracker"},  {"FLT4", 4, "StarTrekker"},
        {"FLT8", 8, "StarTrekker"},  {"OCTA", 8, "Octalyser"},   {"CD81", 8, "Octalyser"},
        {"1CHN", 1, "FastTracker"},  {"4CHN", 4, "FastTracker"}, {"6CHN", 6, "FastTracker"},
        {"8CHN", 8, "FastTracker"},  {"10CH", 10, "FastTracker"}, {"32CH", 32, "FastTracker"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.signature);
        std::string reason;
        const ModulePtr m = load(buildMod(layoutFor(c.signature, c.channels)), &reason);
        ASSERT_TRUE(m) << reason;
        expectPlayable(*m);
        EXPECT_EQ(m->format, ModuleFormat::mod);
        EXPECT_EQ(m->channelCount, c.channels);
        EXPECT_EQ(std::string(m->trackerName), c.tracker);
        EXPECT_STREQ(m->title, "mod test");
        EXPECT_EQ(m->flags & 1, 0) << "Amiga periods";
        EXPECT_EQ(m->defaultTempo, 6);
        EXPECT_EQ(m->defaultBpm, 125);
        ASSERT_EQ(m->patternCount, 1);
        // Every channel's note of row 0 in its place: FLT8's second half comes from the second
        // stored pattern.
        for (int32_t ch = 0; ch < c.channels; ++ch) EXPECT_EQ(m->patterns[0].cells[ch].note, C1 + ch) << ch;
        EXPECT_EQ(m->patterns[0].cells[c.channels - 1].effectType, 0xE);
        EXPECT_EQ(m->patterns[0].cells[c.channels - 1].effectParam, 0xC3);
        const Cell& last = m->patterns[0].cells[63 * c.channels];
        EXPECT_EQ(last.note, B3);
        EXPECT_EQ(last.instrument, 31) << "the sample number's high bit from the first byte";
        EXPECT_EQ(last.effectType, 0xF);
        EXPECT_EQ(last.effectParam, 0x7D);
        // The Amiga's sides, a quarter of the way in: left, right, right, left.
        EXPECT_EQ(m->channelPanning[0], 64);
        EXPECT_EQ(m->channelPanning[1], 192);
        EXPECT_EQ(m->channelPanning[2], 192);
        EXPECT_EQ(m->channelPanning[3], 64);
    }
}

TEST(ModLoader, SignaturesItDoesNotKnowAreRefusedByName) {
    struct Case {
        const char* signature;
        const char* reason;
    };
    const Case cases[] = {
        {"33CH", "a MOD with the signature \"33CH\", which the player does not know"},
        {"TDZ4", "a MOD with the signature \"TDZ4\", which the player does not know"},
        {"0CHN", "a MOD with the signature \"0CHN\", which the player does not know"},
    };
    for (const Case& c : cases) {
        std::string reason;
        EXPECT_FALSE(load(buildMod(layoutFor(c.signature, 4)), &reason)) << c.signature;
        EXPECT_EQ(reason, c.reason);
    }
}

TEST(ModLoader, PeriodsBecomeTheNotesNearestThem) {
    struct Case {
        uint16_t period;
        uint8_t  note;  // 1-based; 37 is C-1
    };
    const Case cases[] = {
        {856, 37}, {808, 38}, {453, 48}, {428, 49}, {113, 72},  // ProTracker's own, fine-tune 0
        {850, 37}, {862, 37}, {832, 37}, {831, 38},             // fine-tuned ones: the nearest, by ratio
        {1712, 25}, {907, 36}, {107, 73}, {57, 84},             // an octave and a note beyond its three
        {3424, 13}, {4095, 10}, {1, 96},                         // to the ends of the field and the player
    };
    for (const Case& c : cases) {
        ModLayout layout = layoutFor("M.K.", 4);
        std::vector<uint8_t> bytes = buildMod(layout);
        // The first cell's period, in place (sample 1, no effect).
        bytes[1084] = uint8_t(c.period >> 8);
        bytes[1085] = uint8_t(c.period);
        const ModulePtr m = load(bytes);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->patterns[0].cells[0].note, c.note) << c.period;
    }
    for (int32_t i = 0; i < kProtrackerNotes; ++i) {
        std::vector<uint8_t> bytes = buildMod(layoutFor("M.K.", 4));
        bytes[1084] = uint8_t(protrackerPeriod(0, i) >> 8);
        bytes[1085] = uint8_t(protrackerPeriod(0, i));
        const ModulePtr m = load(bytes);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->patterns[0].cells[0].note, kProtrackerFirstNote + 1 + i) << "entry " << i;
    }
}

TEST(ModLoader, SamplesAreReadAsProTrackerKeepsThem) {
    ModLayout layout = layoutFor("M.K.", 4);
    ModSample oneWordLoop;  // a loop of one word is how the trackers write none
    oneWordLoop.data = {1, 2, 3, 4};
    oneWordLoop.loopStart = 2;
    oneWordLoop.loopLength = 2;
    ModSample loud;  // volume 80 is held at 64
    loud.data = {5, 6};
    loud.volume = 80;
    loud.fineTune = 7;
    ModSample pastTheEnd;  // a loop reaching past the end is cut to it
    pastTheEnd.data = {1, 2, 3, 4, 5, 6};
    pastTheEnd.loopStart = 2;
    pastTheEnd.loopLength = 40;
    layout.samples[1] = oneWordLoop;
    layout.samples[2] = loud;
    layout.samples[3] = pastTheEnd;
    std::string reason;
    const ModulePtr m = load(buildMod(layout), &reason);
    ASSERT_TRUE(m) << reason;
    expectPlayable(*m);
    ASSERT_EQ(m->instrumentCount, 31);
    const Sample& s = *m->instruments[0].samples[0];
    EXPECT_EQ(s.length, 8u);
    EXPECT_EQ(s.loopType, 2);
    EXPECT_EQ(s.loopStart, 2u);
    EXPECT_EQ(s.loopLength, 4u);
    EXPECT_EQ(s.volume, 48);
    EXPECT_EQ(s.finetune, -48) << "ProTracker's −3 in XM's sixteenths";
    EXPECT_EQ(s.panning, 128);
    EXPECT_EQ(s.middleCRate, 0u);
    EXPECT_EQ(std::vector<int16_t>(s.data, s.data + 9),
              (std::vector<int16_t>{0, 2560, 5120, 7680, 10240, 12800, 5120, 17920, 0}))
        << "signed bytes × 256, no deltas; the guard frame after the loop copies its start";
    EXPECT_EQ(m->instruments[1].samples[0]->loopType, 1);
    EXPECT_EQ(m->instruments[1].samples[0]->loopLength, 4u);
    EXPECT_EQ(m->instruments[2].samples[0]->volume, 64);
    EXPECT_EQ(m->instruments[2].samples[0]->finetune, 112);
    EXPECT_EQ(m->instruments[3].samples[0]->loopStart, 2u);
    EXPECT_EQ(m->instruments[3].samples[0]->loopLength, 4u);
    // An empty slot is an instrument with one sample of no frames.
    EXPECT_EQ(m->instruments[4].sampleCount, 1);
    EXPECT_EQ(m->instruments[4].samples[0]->length, 0u);
    EXPECT_EQ(m->instruments[30].samples[0]->length, 8u) << "the 31st sample's data follows the others'";
}

TEST(ModLoader, OrdersCountThePatternsAsProTrackerDoes) {
    ModLayout layout = layoutFor("M.K.", 4);
    layout.orders = {0, 2, 1};
    layout.songLength = 2;  // order 2 lies past the song, yet its pattern is stored
    layout.patterns.resize(3, layout.patterns[0]);
    layout.patterns[2].cells[0].note = 50;
    std::string reason;
    const ModulePtr m = load(buildMod(layout), &reason);
    ASSERT_TRUE(m) << reason;
    EXPECT_EQ(m->songLength, 2);
    EXPECT_EQ(m->patternCount, 3);
    EXPECT_EQ(m->patternsUsed, 3);
    EXPECT_EQ(m->patterns[2].cells[0].note, 50);
    EXPECT_EQ(m->restartPosition, 0) << "ProTracker starts the song over from its start";
    EXPECT_EQ(m->instruments[30].samples[0]->length, 8u) << "the samples follow the third pattern";

    // FLT8 orders name the first of two stored patterns: entry 2 is the module's pattern 1.
    ModLayout flt8 = layoutFor("FLT8", 8);
    flt8.orders = {0, 1};
    flt8.patterns.resize(2, flt8.patterns[0]);
    flt8.patterns[1].cells[5].note = 60;
    const ModulePtr paired = load(buildMod(flt8), &reason);
    ASSERT_TRUE(paired) << reason;
    EXPECT_EQ(paired->patternCount, 2);
    EXPECT_EQ(paired->orders[1], 1);
    EXPECT_EQ(paired->patterns[1].cells[5].note, 60);
}

// Without a signature only a file whose every part fits Soundtracker's layout of 15 samples is one.
TEST(ModLoader, SoundtrackerModulesAreToldByEveryPartFitting) {
    ModLayout layout;
    layout.signature = "";
    layout.title = "soundtracker";
    ModPattern p;
    p.cells = {{C1, 1, 0xC, 0x20}, {B3, 15, 0, 0}};
    layout.patterns = {p};
    ModSample byteLoop = loopedSample();
    byteLoop.fineTune = 0;
    byteLoop.data.resize(16);
    byteLoop.loopStart = 12;  // 6 words would not fit before a loop of 8 bytes: Soundtracker counted bytes
    byteLoop.loopLength = 8;
    layout.samples = {byteLoop};
    layout.samples.resize(15, ModSample{"", {}, 0, 0, 0, 2, {}});
    layout.samples[14] = loopedSample();
    layout.samples[14].fineTune = 0;
    std::string reason;
    const ModulePtr m = load(buildMod(layout), &reason);
    ASSERT_TRUE(m) << reason;
    expectPlayable(*m);
    EXPECT_EQ(std::string(m->trackerName), "Soundtracker");
    EXPECT_EQ(m->instrumentCount, 15);
    EXPECT_EQ(m->channelCount, 4);
    EXPECT_EQ(m->patterns[0].cells[1].instrument, 15);
    EXPECT_EQ(m->instruments[0].samples[0]->loopStart, 6u);
    EXPECT_EQ(m->instruments[0].samples[0]->loopLength, 8u);
    EXPECT_EQ(m->instruments[14].samples[0]->length, 8u);

    // One part that does not fit, and the file is no module.
    struct Case {
        const char*                                name;
        std::function<void(std::vector<uint8_t>&)> damage;
    };
    const std::vector<uint8_t> good = buildMod(layout);
    const Case cases[] = {
        {"a control character in the title", [](std::vector<uint8_t>& b) { b[3] = 7; }},
        {"a sample's name", [](std::vector<uint8_t>& b) { b[20 + 30 * 4] = 200; }},
        {"a volume above 64", [](std::vector<uint8_t>& b) { b[20 + 30 * 2 + 25] = 65; }},
        {"no song", [](std::vector<uint8_t>& b) { b[470] = 0; }},
        {"an order of pattern 64", [](std::vector<uint8_t>& b) { b[472 + 100] = 64; }},
        {"a sample number above 15", [](std::vector<uint8_t>& b) { b[600 + 4 * 9] = 0x10; }},
        {"a period beyond its octaves", [](std::vector<uint8_t>& b) { b[600 + 4 * 9] = 0x06; }},
        {"a pattern cut short", [](std::vector<uint8_t>& b) { b.resize(600 + 1000); }},
        {"no sample at all", [](std::vector<uint8_t>& b) {
             for (int i = 0; i < 15; ++i) b[20 + 30 * i + 22] = b[20 + 30 * i + 23] = 0;
         }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good;
        c.damage(bytes);
        EXPECT_FALSE(load(bytes, &reason)) << c.name;
        EXPECT_NE(reason.find("not an XM, MOD or S3M module"), std::string::npos) << c.name << ": " << reason;
    }
}

TEST(ModLoader, AFileCutShortLoadsWithZerosAndSaysHowMuchIsMissing) {
    const std::vector<uint8_t> whole = buildMod(layoutFor("M.K.", 4));
    for (size_t cut : {size_t(1084), size_t(1084 + 600), whole.size() - 3}) {
        std::string reason;
        const ModulePtr m = load(std::vector<uint8_t>(whole.begin(), whole.begin() + ptrdiff_t(cut)), &reason);
        ASSERT_TRUE(m) << cut << ": " << reason;
        expectPlayable(*m);
        EXPECT_EQ(m->missingBytes, int64_t(whole.size() - cut));
        EXPECT_EQ(m->warnings, "the file ends " + std::to_string(whole.size() - cut) +
                                   " bytes short of what its headers declare; they play as silence\n");
    }
    const ModulePtr complete = load(whole);
    ASSERT_TRUE(complete);
    EXPECT_EQ(complete->warnings, "");
}

}  // namespace
