#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "player/load/loader.h"
#include "player/play/sequencer.h"
#include "player/load/stream.h"
#include "load_checks.h"
#include "shared_data.h"
#include "song_fixture.h"
#include "xm_writer.h"

namespace {

// The refusal of bytes that are no module of the three formats.
const std::string kNoModule = "not an XM, MOD or S3M module: no \"Extended Module: \" at its start, no \"SCRM\" at "
                              "byte 44, no MOD signature at byte 1080";

class LoaderTest : public testing::Test {};

// Two channels, three orders, two patterns (one packed, one not), three instruments: one with a
// forward-looping 8-bit and a ping-pong 16-bit sample, one without samples, one with a plain
// 8-bit sample.
XmLayout smallLayout() {
    XmLayout layout;
    layout.version = 0x0102;  // not 0x0104: any version is accepted
    layout.channels = 2;
    layout.orders = {0, 1, 0};
    layout.restartPosition = 1;
    layout.tempo = 5;
    layout.bpm = 140;

    XmPattern p0;
    p0.rows = 2;
    p0.cells = {{49, 1, 0x40, 0x0C, 0x20}, {97, 0, 0, 0, 0}, {0, 3, 0, 0x0F, 3}, {}};
    XmPattern p1;
    p1.rows = 1;
    p1.packing = XmPacking::unpacked;
    p1.cells = {{60, 1, 0x10, 0x01, 0x02}, {12, 129, 0, 0, 0}};
    layout.patterns = {p0, p1};

    XmInstrument twoSamples;
    std::fill(twoSamples.sampleForNote.begin() + 48, twoSamples.sampleForNote.end(), 1);
    twoSamples.volumeEnvelope[0] = {0, 64};
    twoSamples.volumeEnvelope[1] = {10, 32};
    twoSamples.volumeEnvelope[2] = {20, 0};
    twoSamples.panningEnvelope[1] = {5, 60};
    twoSamples.volumePointCount = 3;
    twoSamples.panningPointCount = 2;
    twoSamples.volumeSustainPoint = 1;
    twoSamples.volumeLoopEnd = 2;
    twoSamples.volumeType = 7;
    twoSamples.panningType = 1;
    twoSamples.vibratoType = 1;
    twoSamples.vibratoSweep = 2;
    twoSamples.vibratoDepth = 3;
    twoSamples.vibratoRate = 4;
    twoSamples.volumeFadeout = 0x100;
    XmSample looped8;
    looped8.data = deltas8({10, 20, 30, 40, 50, 60});
    looped8.type = 1;
    looped8.loopStart = 2;
    looped8.loopLength = 3;
    looped8.volume = 48;
    looped8.finetune = -16;
    looped8.panning = 200;
    looped8.relativeNote = -12;
    XmSample pingPong16;
    pingPong16.data = deltas16({1000, -1000, 2000, -2000});
    pingPong16.type = 0x12;
    pingPong16.loopStart = 2;
    pingPong16.loopLength = 4;
    twoSamples.samples = {looped8, pingPong16};

    XmInstrument plain;
    XmSample plain8;
    plain8.data = deltas8({-1, -2, -3});
    plain.samples = {plain8};
    layout.instruments = {twoSamples, XmInstrument{}, plain};
    return layout;
}

std::vector<int16_t> frames(const Sample& s, size_t count) { return std::vector<int16_t>(s.data, s.data + count); }

TEST_F(LoaderTest, LoadsEveryFieldOfASmallModule) {
    std::string reason;
    const ModulePtr m = load(buildXm(smallLayout()), &reason);
    ASSERT_TRUE(m) << reason;
    expectPlayable(*m);
    EXPECT_EQ(m->songLength, 3);
    EXPECT_EQ(m->restartPosition, 1);
    EXPECT_EQ(m->channelCount, 2);
    EXPECT_EQ(m->patternsUsed, 2);
    EXPECT_EQ(m->patternCount, 2);
    EXPECT_EQ(m->instrumentCount, 3);
    EXPECT_EQ(m->flags, 1);
    EXPECT_EQ(m->defaultTempo, 5);
    EXPECT_EQ(m->defaultBpm, 140);
    EXPECT_EQ(m->orders[1], 1);
    EXPECT_STREQ(m->title, "test module");
    EXPECT_STREQ(m->trackerName, "xm_writer");

    const auto cell = [&](int32_t pattern, int32_t index) {
        const Cell c = m->patterns[pattern].cells[index];
        return std::vector<int>{c.note, c.instrument, c.volume, c.effectType, c.effectParam};
    };
    ASSERT_EQ(m->patterns[0].rowCount, 2);
    EXPECT_EQ(cell(0, 0), (std::vector<int>{49, 1, 0x40, 0x0C, 0x20}));
    EXPECT_EQ(cell(0, 1), (std::vector<int>{255, 0, 0, 0, 0}));  // key off
    EXPECT_EQ(cell(0, 2), (std::vector<int>{0, 3, 0, 0x0F, 3}));
    EXPECT_EQ(cell(0, 3), (std::vector<int>{0, 0, 0, 0, 0}));
    ASSERT_EQ(m->patterns[1].rowCount, 1);
    EXPECT_EQ(cell(1, 0), (std::vector<int>{60, 1, 0x10, 0x01, 0x02}));
    EXPECT_EQ(cell(1, 1), (std::vector<int>{12, 0, 0, 0, 0}));  // instrument 129 does not exist

    const Instrument& a = m->instruments[0];
    EXPECT_STREQ(a.name, "instrument") << "the name without its padding";
    ASSERT_EQ(a.sampleCount, 2);
    EXPECT_EQ(a.sampleForNote[47], 0);
    EXPECT_EQ(a.sampleForNote[48], 1);
    EXPECT_EQ(a.volumeEnvelope[1].x, 10);
    EXPECT_EQ(a.volumeEnvelope[1].y, 32);
    EXPECT_EQ(a.panningEnvelope[1].y, 60);
    EXPECT_EQ(a.volumePointCount, 3);
    EXPECT_EQ(a.volumeSustainPoint, 1);
    EXPECT_EQ(a.volumeLoopEnd, 2);
    EXPECT_EQ(a.volumeType, 7);
    EXPECT_EQ(a.panningType, 1);
    EXPECT_EQ(std::vector<int>({a.vibratoType, a.vibratoSweep, a.vibratoDepth, a.vibratoRate}),
              std::vector<int>({1, 2, 3, 4}));
    EXPECT_EQ(a.volumeFadeout, 0x100);  // as the file has it; the profile steps it (fadeStep)

    const Sample& looped = *a.samples[0];
    EXPECT_EQ(looped.length, 6u);
    EXPECT_EQ(looped.loopType, 2);
    EXPECT_EQ(looped.loopStart, 2u);
    EXPECT_EQ(looped.loopLength, 3u);
    EXPECT_EQ(looped.volume, 48);
    EXPECT_EQ(looped.finetune, -16);
    EXPECT_EQ(looped.panning, 200);
    EXPECT_EQ(looped.relativeNote, -12);
    // The guard at loopStart + loopLength = 5 overwrites the last frame with the loop's first.
    EXPECT_EQ(frames(looped, 7), (std::vector<int16_t>{2560, 5120, 7680, 10240, 12800, 7680, 0}));

    const Sample& pingPong = *a.samples[1];
    EXPECT_EQ(pingPong.length, 4u);
    EXPECT_EQ(pingPong.loopType, 4);
    EXPECT_EQ(pingPong.loopStart, 1u);
    EXPECT_EQ(pingPong.loopLength, 2u);
    EXPECT_EQ(frames(pingPong, 5), (std::vector<int16_t>{1000, -1000, 2000, 2000, 0}));

    const Instrument& empty = m->instruments[1];
    EXPECT_EQ(empty.sampleCount, 0);
    for (const Sample* s : empty.samples) EXPECT_EQ(s, &emptySample);
    EXPECT_EQ(empty.volumeFadeout, 0);

    const Sample& plain = *m->instruments[2].samples[0];
    EXPECT_EQ(plain.loopType, 1);
    EXPECT_EQ(frames(plain, 4), (std::vector<int16_t>{-256, -512, -768, 0}));
}

void* openNothing(const char*) { return nullptr; }

TEST_F(LoaderTest, RefusesWhatCannotBePlayedWithAReason) {
    struct Case {
        const char* name;
        std::function<void(XmLayout&)> change;
        std::string reason;
    };
    const Case cases[] = {
        {"ID text", [](XmLayout& s) { s.idText = "Extended module: "; }, kNoModule},
        {"ID text", [](XmLayout& s) { s.idText = "Extended Module; "; }, kNoModule},
        {"no channels", [](XmLayout& s) { s.channels = 0; }, "no channels"},
        {"33 channels", [](XmLayout& s) { s.channels = 33; }, "33 channels, at most 32"},
        {"65535 channels", [](XmLayout& s) { s.channels = 65535; }, "65535 channels, at most 32"},
        {"17 samples", [](XmLayout& s) { s.instruments[2].sampleCount = 17; }, "instrument 3 has 17 samples, at most 16"},
        {"65535 samples", [](XmLayout& s) { s.instruments[1].sampleCount = 65535; },
         "instrument 2 has 65535 samples, at most 16"},
        // 9 bytes declare 65535 rows × 32 channels, 2^21 cells; nine of them pass 2^24.
        {"cells", [](XmLayout& s) {
             s.channels = 32;
             s.patterns.assign(9, XmPattern{});
             for (XmPattern& p : s.patterns) p.rows = 65535;
         },
         "patterns of more than 16777216 cells in all"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        XmLayout layout = smallLayout();
        c.change(layout);
        std::string reason;
        EXPECT_FALSE(load(buildXm(layout), &reason));  // what was built so far is released: ASan checks
        EXPECT_EQ(reason, c.reason);
    }

    std::string reason;
    EXPECT_FALSE(load({}, &reason));
    EXPECT_EQ(reason, kNoModule);
    EXPECT_FALSE(load({}));  // without a place for the reason

    StreamCallbacks incomplete = fileStreamCallbacks;
    incomplete.tell = nullptr;
    EXPECT_EQ(loadModule(incomplete, "test", nullptr, &reason), nullptr);
    EXPECT_EQ(reason, "the stream callbacks are incomplete");
    const StreamCallbacks opensNothing = {openNothing, memoryStreamClose, memoryStreamRead, memoryStreamSeek,
                                          memoryStreamTell};
    EXPECT_EQ(loadModule(opensNothing, "song.xm", nullptr, &reason), nullptr);
    EXPECT_EQ(reason, "cannot open \"song.xm\"");

    EXPECT_FALSE(freeModule(nullptr));
}

// Whatever is no XM, MOD or S3M is refused in one line that names what it seems to be.
TEST_F(LoaderTest, OtherFormatsAreRefusedByName) {
    struct Case {
        std::string start;
        std::string reason;
    };
    const Case cases[] = {
        {"IMPM", "an Impulse Tracker module (IT), not an XM, MOD or S3M module"},
        {"Extended Instrument: ", "an XM instrument (XI), not an XM, MOD or S3M module"},
        {"MTM\x10", "a MultiTracker module (MTM), not an XM, MOD or S3M module"},
        {"MMD1", "an OctaMED module (MED), not an XM, MOD or S3M module"},
        {"OKTASONG", "an Oktalyzer module (OKT), not an XM, MOD or S3M module"},
        {"FAR\xFE", "a Farandole module (FAR), not an XM, MOD or S3M module"},
        {"ziRCONia", "an MMCMP-packed module (unpack it first), not an XM, MOD or S3M module"},
        {"PK\x03\x04", "a ZIP archive (unpack it first), not an XM, MOD or S3M module"},
        {"\x1F\x8B\x08", "a gzip file (unpack it first), not an XM, MOD or S3M module"},
        {"RIFF\x10\x00\x00\x00WAVE", "a RIFF file (a WAV, for one), not an XM, MOD or S3M module"},
        {"MThd", "a MIDI file, not an XM, MOD or S3M module"},
        {"Extended Module", kNoModule},  // the ID text cut short
        {"", kNoModule},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes(c.start.begin(), c.start.end());
        bytes.resize(c.start.empty() ? 0 : 2048, 0);
        std::string reason;
        EXPECT_FALSE(load(bytes, &reason)) << c.start;
        EXPECT_EQ(reason, c.reason) << c.start;
    }
}

TEST_F(LoaderTest, OrderListAndCountsAreReadOrClamped) {
    struct Case {
        const char* name;
        std::function<void(XmLayout&)> change;
        int songLength, restartPosition, instrumentCount, patternsUsed, patternCount;
    };
    const Case cases[] = {
        {"as written", [](XmLayout&) {}, 3, 1, 3, 2, 2},
        {"longer header", [](XmLayout& s) { s.headerSize = 400; }, 3, 1, 3, 2, 2},
        {"order names a missing pattern",
         [](XmLayout& s) {
             s.patterns.resize(59);
             s.orders = {0, 60, 1};
         },
         3, 1, 3, 61, 61},
        {"entries past the song length do not count",
         [](XmLayout& s) {
             s.orders = {1, 0, 60};
             s.songLength = 2;
         },
         2, 1, 3, 2, 2},
        {"more patterns than used", [](XmLayout& s) { s.patterns.resize(5); }, 3, 1, 3, 2, 5},
        {"song length 300", [](XmLayout& s) { s.songLength = 300; }, 256, 1, 3, 2, 2},
        {"song length 0 plays entry 0", [](XmLayout& s) {
             s.songLength = 0;
             s.orders = {4};
         },
         1, 0, 3, 5, 5},
        {"restart past the end", [](XmLayout& s) { s.restartPosition = 3; }, 3, 0, 3, 2, 2},
        {"restart at the last entry", [](XmLayout& s) { s.restartPosition = 2; }, 3, 2, 3, 2, 2},
        {"200 instruments", [](XmLayout& s) { s.instrumentCount = 200; }, 3, 1, 128, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        XmLayout layout = smallLayout();
        c.change(layout);
        std::string reason;
        const ModulePtr m = load(buildXm(layout), &reason);
        ASSERT_TRUE(m) << reason;
        expectPlayable(*m);
        EXPECT_EQ(m->songLength, c.songLength);
        EXPECT_EQ(m->restartPosition, c.restartPosition);
        EXPECT_EQ(m->instrumentCount, c.instrumentCount);
        EXPECT_EQ(m->patternsUsed, c.patternsUsed);
        EXPECT_EQ(m->patternCount, c.patternCount);
        // Patterns the orders name beyond the file's are 64 empty rows.
        for (int32_t i = int32_t(layout.patterns.size()); i < m->patternCount; ++i) {
            ASSERT_EQ(m->patterns[i].rowCount, 64);
            for (int32_t k = 0; k < 64 * m->channelCount; ++k) ASSERT_EQ(m->patterns[i].cells[k].note, 0);
        }
        // The instruments still start where the patterns end.
        if (m->instrumentCount >= 3) { EXPECT_EQ(m->instruments[2].samples[0]->data[2], -768); }
    }
}

TEST_F(LoaderTest, DecodesPackedAndUnpackedCells) {
    using Bytes = std::vector<uint8_t>;
    struct Case {
        const char* name;
        uint16_t rows;
        Bytes data;
        uint16_t packedSize;  // 0xFFFF: the data's size
        std::vector<Cell> cells;
    };
    const Case cases[] = {
        {"0x80 is an empty cell of one byte", 1, {0x80, 0x9F, 1, 2, 3, 4, 5}, 0xFFFF, {{}, {1, 2, 3, 4, 5}}},
        {"unpacked note 0: five bytes", 1, {0, 1, 2, 3, 4, 0x81, 7}, 0xFFFF, {{0, 1, 2, 3, 4}, {7, 0, 0, 0, 0}}},
        {"only flagged fields follow", 1, {0x8A, 9, 12, 0x94, 33, 44}, 0xFFFF, {{0, 9, 0, 12, 0}, {0, 0, 33, 0, 44}}},
        {"note 97 is key off", 1, {0x81, 97, 97, 0, 0, 0, 0}, 0xFFFF, {{255, 0, 0, 0, 0}, {255, 0, 0, 0, 0}}},
        {"instruments above 128 do not exist", 1, {0x82, 128, 0x82, 129}, 0xFFFF, {{0, 128, 0, 0, 0}, {}}},
        {"packed size 0 decodes nothing", 64, {}, 0, {{}, {}}},
        {"any other packed size only says data follows", 1, {0x81, 5, 0x81, 6}, 1, {{5, 0, 0, 0, 0}, {6, 0, 0, 0, 0}}},
        {"no rows", 0, {}, 0, {}},
        {"no rows but a packed size", 0, {}, 9, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        XmLayout layout;
        layout.channels = 2;
        layout.orders = {0, 1};
        XmPattern tested;
        tested.rows = c.rows;
        tested.data = c.data;
        tested.packedSize = c.packedSize == 0xFFFF ? uint16_t(c.data.size()) : c.packedSize;
        // The pattern after it shows how many bytes the tested one took.
        XmPattern marker;
        marker.rows = 1;
        marker.packing = XmPacking::unpacked;
        marker.cells = {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}};
        layout.patterns = {tested, marker};

        std::string reason;
        const ModulePtr m = load(buildXm(layout), &reason);
        ASSERT_TRUE(m) << reason;
        expectPlayable(*m);
        const Pattern& p = m->patterns[0];
        ASSERT_EQ(p.rowCount, c.rows);
        for (size_t k = 0; k < c.cells.size(); ++k)
            EXPECT_EQ(std::memcmp(&p.cells[k], &c.cells[k], sizeof(Cell)), 0) << "cell " << k;
        for (int32_t k = int32_t(c.cells.size()); k < p.rowCount * 2; ++k) ASSERT_EQ(p.cells[k].note, 0);
        const Cell expectedMarker[2] = {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}};
        EXPECT_EQ(std::memcmp(m->patterns[1].cells, expectedMarker, sizeof expectedMarker), 0);
    }
}

TEST_F(LoaderTest, ConvertsSampleDataAndLoops) {
    using Frames = std::vector<int16_t>;
    struct Case {
        const char* name;
        XmSample sample;
        uint32_t length, loopStart, loopLength;
        uint8_t loopType;
        Frames frames;  // from frame 0, past the end
    };
    const auto make = [](std::vector<uint8_t> data, uint8_t type = 0, uint32_t loopStart = 0, uint32_t loopLength = 0) {
        XmSample s;
        s.data = std::move(data);
        s.type = type;
        s.loopStart = loopStart;
        s.loopLength = loopLength;
        return s;
    };
    const std::vector<uint8_t> six = deltas8({1, 2, 3, 4, 5, 6});
    XmSample longerThanFile = make(deltas8({5, 6, 7, 8}));
    longerThanFile.length = 1000;
    XmSample lengthFourGiB = make(deltas8({5, 6}), 1, 0, 0xFFFFFFFF);
    lengthFourGiB.length = 0xFFFFFFFF;
    const Case cases[] = {
        {"8-bit deltas", make({10, 10, uint8_t(-30)}), 3, 0, 3, 1, {2560, 5120, -2560, 0}},
        {"8-bit sums wrap", make({100, 100}), 2, 0, 2, 1, {25600, -14336, 0}},
        {"16-bit deltas", make(deltas16({1000, -1000, 32767}), 0x10), 3, 0, 3, 1, {1000, -1000, 32767, 0}},
        {"16-bit sums wrap", make({0xFF, 0x7F, 0x01, 0x00}, 0x10), 2, 0, 2, 1, {32767, -32768, 0}},
        {"a loop of half a frame is no loop", make(std::vector<uint8_t>(1000), 0x11, 200, 1), 500, 0, 500, 1, {0}},
        {"16-bit loop in bytes", make(deltas16({1, 2, 3, 4, 5}), 0x11, 3, 5), 5, 1, 2, 2, {1, 2, 3, 2, 5, 0}},
        {"forward loop guard", make(six, 1, 2, 2), 6, 2, 2, 2, {256, 512, 768, 1024, 768, 1536, 0}},
        {"ping-pong loop guard", make(six, 2, 2, 2), 6, 2, 2, 4, {256, 512, 768, 1024, 1024, 1536, 0}},
        {"both loop bits: ping-pong", make(six, 3, 2, 2), 6, 2, 2, 4, {256, 512, 768, 1024, 1024, 1536, 0}},
        {"loop to the end: guard after it", make(six, 1, 4, 2), 6, 4, 2, 2, {256, 512, 768, 1024, 1280, 1536, 1280, 0}},
        {"loop past the end is cut", make(six, 1, 4, 10), 6, 4, 2, 2, {256, 512, 768, 1024, 1280, 1536, 1280, 0}},
        {"ping-pong past the end", make(six, 2, 3, 0xFFFFFFFF), 6, 3, 3, 4, {256, 512, 768, 1024, 1280, 1536, 1536, 0}},
        {"loop starting at the end is none", make(six, 1, 6, 2), 6, 0, 6, 1, {256, 512, 768, 1024, 1280, 1536, 0}},
        {"loop far past the end", make(six, 2, 0xFFFFFFF0, 0x20), 6, 0, 6, 1, {256, 512, 768, 1024, 1280, 1536, 0}},
        {"loop of length 0 is none", make(six, 1, 2, 0), 6, 0, 6, 1, {256, 512, 768, 1024, 1280, 1536, 0}},
        {"no loop ignores the loop fields", make(six, 0, 2, 2), 6, 0, 6, 1, {256, 512, 768, 1024, 1280, 1536, 0}},
        {"longer than the file", longerThanFile, 4, 0, 4, 1, {1280, 1536, 1792, 2048, 0}},
        {"4 GiB long", lengthFourGiB, 2, 0, 2, 2, {1280, 1536, 1280, 0}},
        {"empty", make({}), 0, 0, 0, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        XmLayout layout;
        layout.patterns = {XmPattern{}};
        XmInstrument ins;
        ins.samples = {c.sample};
        layout.instruments = {ins};
        std::string reason;
        const ModulePtr m = load(buildXm(layout), &reason);
        ASSERT_TRUE(m) << reason;
        expectPlayable(*m);
        const Sample& s = *m->instruments[0].samples[0];
        EXPECT_EQ(s.length, c.length);
        EXPECT_EQ(s.loopStart, c.loopStart);
        EXPECT_EQ(s.loopLength, c.loopLength);
        EXPECT_EQ(s.loopType, c.loopType);
        if (!c.frames.empty()) { EXPECT_EQ(frames(s, c.frames.size()), c.frames); }
    }
}

TEST_F(LoaderTest, SamplesOfAnInstrumentShareTheBytesTheFileHolds) {
    // Two samples each claiming 100 bytes, with 30 left in the file: the first gets 30, the
    // second none.
    XmLayout layout;
    layout.patterns = {XmPattern{}};
    XmSample first, second;
    first.length = 100;
    first.data = std::vector<uint8_t>(30, 1);
    second.length = 100;
    XmInstrument ins;
    ins.samples = {first, second};
    layout.instruments = {ins};
    std::string reason;
    const ModulePtr m = load(buildXm(layout), &reason);
    ASSERT_TRUE(m) << reason;
    expectPlayable(*m);
    EXPECT_EQ(m->instruments[0].samples[0]->length, 30u);
    EXPECT_EQ(m->instruments[0].samples[0]->data[29], 30 * 256);
    EXPECT_EQ(m->instruments[0].samples[1]->length, 0u);
}

TEST_F(LoaderTest, LimitsEnvelopesToTheirPoints) {
    struct Case {
        uint8_t count, sustain, loopStart, loopEnd, type;
        uint8_t expectedCount, expectedType;
    };
    const Case cases[] = {
        {3, 1, 0, 2, 7, 3, 7},
        {12, 11, 10, 11, 7, 12, 7},
        {200, 11, 0, 11, 7, 12, 7},     // count cut to the 12 stored points
        {200, 12, 0, 11, 7, 12, 5},     // sustain past the points: sustain off
        {4, 1, 4, 3, 7, 4, 3},          // loop start past the points: loop off
        {4, 1, 0, 200, 7, 4, 3},        // loop end past the points: loop off
        {4, 9, 9, 9, 7, 4, 1},
        {1, 0, 0, 0, 7, 1, 7},          // one point: kept, the profile decides whether it plays
        {0, 0, 0, 0, 7, 0, 1},          // no point: only the on bit is left for the profile
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.count) << " points, type " << int(c.type));
        XmLayout layout;
        layout.patterns = {XmPattern{}};
        XmInstrument ins;
        ins.samples = {XmSample{}};
        ins.volumePointCount = ins.panningPointCount = c.count;
        ins.volumeSustainPoint = ins.panningSustainPoint = c.sustain;
        ins.volumeLoopStart = ins.panningLoopStart = c.loopStart;
        ins.volumeLoopEnd = ins.panningLoopEnd = c.loopEnd;
        ins.volumeType = ins.panningType = c.type;
        layout.instruments = {ins};
        const ModulePtr m = load(buildXm(layout));
        ASSERT_TRUE(m);
        expectPlayable(*m);
        const Instrument& i = m->instruments[0];
        EXPECT_EQ(i.volumePointCount, c.expectedCount);
        EXPECT_EQ(i.panningPointCount, c.expectedCount);
        EXPECT_EQ(i.volumeType, c.expectedType);
        EXPECT_EQ(i.panningType, c.expectedType);
        EXPECT_EQ(i.volumeSustainPoint, c.sustain);  // the points themselves stay as read
    }
}

TEST_F(LoaderTest, InstrumentsEndWhereTheirHeaderSizeSays) {
    // The instrument after the tested one loads its sample only if the tested one took exactly
    // its header size plus its sample data.
    struct Case {
        const char* name;
        uint32_t headerSize;
        bool withSample;
    };
    const Case cases[] = {
        {"no samples, 29 bytes", 29, false},
        {"no samples, 263 bytes", 263, false},
        {"no samples, 40 bytes", 40, false},
        {"a sample, 263 bytes", 263, true},
        {"a sample, 300 bytes", 300, true},
        {"a sample, 241 bytes", 241, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        XmLayout layout;
        layout.patterns = {XmPattern{}};
        XmInstrument tested;
        tested.headerSize = c.headerSize;
        tested.volumeFadeout = 7;
        if (c.withSample) {
            XmSample s;
            s.data = deltas8({9, 9, 9});
            tested.samples = {s};
        }
        XmInstrument after;
        XmSample s;
        s.data = deltas8({1, 2, 3, 4});
        after.samples = {s};
        layout.instruments = {tested, after};
        const ModulePtr m = load(buildXm(layout));
        ASSERT_TRUE(m);
        expectPlayable(*m);
        const Instrument& t = m->instruments[0];
        EXPECT_EQ(t.sampleCount, c.withSample ? 1 : 0);
        EXPECT_EQ(t.volumeFadeout, c.withSample ? 7 : 0);  // without samples nothing else is read
        if (!c.withSample) {
            for (const Sample* slot : t.samples) EXPECT_EQ(slot, &emptySample);
        }
        const Sample& next = *m->instruments[1].samples[0];
        ASSERT_EQ(next.length, 4u);
        EXPECT_EQ(frames(next, 4), (std::vector<int16_t>{256, 512, 768, 1024}));
    }
}

// Pattern and sample headers longer than usual (the bytes past the used fields are zeros, which
// read as cells or sample fields would shift everything after them) load exactly as the usual
// sizes do; sizes too small to hold the fields count as the usual ones.
TEST_F(LoaderTest, PatternAndSampleHeadersTakeTheSizesTheFileGives) {
    const auto withSizes = [](uint32_t patternHeader, uint32_t sampleHeader) {
        XmLayout layout = smallLayout();
        for (XmPattern& p : layout.patterns) p.headerSize = patternHeader;
        for (XmInstrument& i : layout.instruments) i.sampleHeaderSize = sampleHeader;
        return buildXm(layout);
    };
    const ModulePtr usual = load(withSizes(9, 40));
    ASSERT_TRUE(usual);
    const std::pair<uint32_t, uint32_t> sizes[] = {{13, 40}, {9, 44}, {64, 1000}, {4, 40}, {9, 0}};
    for (const auto& [patternHeader, sampleHeader] : sizes) {
        SCOPED_TRACE("pattern header " + std::to_string(patternHeader) + ", sample header " +
                     std::to_string(sampleHeader));
        std::string reason;
        const ModulePtr m = load(withSizes(patternHeader, sampleHeader), &reason);
        ASSERT_TRUE(m) << reason;
        EXPECT_EQ(m->missingBytes, 0);
        ASSERT_EQ(m->patternCount, usual->patternCount);
        for (int32_t i = 0; i < m->patternCount; ++i) {
            const Pattern &p = m->patterns[i], &q = usual->patterns[i];
            ASSERT_EQ(p.rowCount, q.rowCount);
            EXPECT_EQ(std::memcmp(p.cells, q.cells, sizeof(Cell) * size_t(p.rowCount) * m->channelCount), 0)
                << "pattern " << i;
        }
        ASSERT_EQ(m->instrumentCount, usual->instrumentCount);
        for (int32_t i = 0; i < m->instrumentCount; ++i) {
            const Instrument &a = m->instruments[i], &b = usual->instruments[i];
            ASSERT_EQ(a.sampleCount, b.sampleCount);
            for (int32_t k = 0; k < a.sampleCount; ++k) {
                const Sample &x = *a.samples[k], &y = *b.samples[k];
                SCOPED_TRACE("instrument " + std::to_string(i) + " sample " + std::to_string(k));
                EXPECT_EQ(std::vector<int>({int(x.length), int(x.loopStart), int(x.loopLength), x.volume, x.finetune,
                                            x.panning, x.loopType, x.relativeNote}),
                          std::vector<int>({int(y.length), int(y.loopStart), int(y.loopLength), y.volume, y.finetune,
                                            y.panning, y.loopType, y.relativeNote}));
                EXPECT_EQ(frames(x, x.length + 8), frames(y, y.length + 8));
            }
        }
    }
}

struct CallbackCall {
    int32_t bytes, bitsPerSample, instrument, sample;
    bool    zeroed;
};

std::vector<CallbackCall>& callbackCalls() {
    static std::vector<CallbackCall> calls;
    return calls;
}

// Writes 1, 2, 3, … as the sample's bytes: data that is not delta-coded.
int countingSampleData(uint8_t* buffer, int32_t bytes, int32_t bitsPerSample, int32_t instrument, int32_t sample) {
    const bool zeroed = std::all_of(buffer, buffer + bytes, [](uint8_t b) { return b == 0; });
    callbackCalls().push_back({bytes, bitsPerSample, instrument, sample, zeroed});
    for (int32_t i = 0; i < bytes; ++i) buffer[i] = uint8_t(i + 1);
    return 0;
}

TEST_F(LoaderTest, SampleDataCallbackReplacesTheFileBytes) {
    callbackCalls().clear();
    std::string reason;
    const ModulePtr m = load(buildXm(smallLayout()), &reason, countingSampleData);
    ASSERT_TRUE(m) << reason;
    expectPlayable(*m);
    const std::vector<CallbackCall>& calls = callbackCalls();
    ASSERT_EQ(calls.size(), 3u);
    const CallbackCall expected[] = {{6, 8, 0, 0, true}, {8, 16, 0, 1, true}, {3, 8, 2, 0, true}};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(calls[i].bytes, expected[i].bytes);
        EXPECT_EQ(calls[i].bitsPerSample, expected[i].bitsPerSample);
        EXPECT_EQ(calls[i].instrument, expected[i].instrument);
        EXPECT_EQ(calls[i].sample, expected[i].sample);
        EXPECT_TRUE(calls[i].zeroed);
    }
    // Taken as they come, widened, not summed; the guard frames still follow the loops.
    EXPECT_EQ(frames(*m->instruments[0].samples[0], 6), (std::vector<int16_t>{256, 512, 768, 1024, 1280, 768}));
    EXPECT_EQ(frames(*m->instruments[0].samples[1], 4), (std::vector<int16_t>{0x0201, 0x0403, 0x0605, 0x0605}));
    EXPECT_EQ(frames(*m->instruments[2].samples[0], 4), (std::vector<int16_t>{256, 512, 768, 0}));
}

// The small module cut at every length: short files fail at the ID text or the channel count;
// every longer one loads, with zeros for what is missing, and says that bytes are missing.
TEST_F(LoaderTest, EveryPrefixLoadsOrFailsCleanly) {
    const std::vector<uint8_t> whole = buildXm(smallLayout());
    for (size_t n = 0; n <= whole.size(); ++n) {
        SCOPED_TRACE(n);
        std::string reason;
        const ModulePtr m = load(std::vector<uint8_t>(whole.begin(), whole.begin() + n), &reason);
        if (n < 17) {
            EXPECT_EQ(reason, kNoModule);
        } else if (n < 69) {
            EXPECT_EQ(reason, "no channels");
        } else {
            ASSERT_TRUE(m) << reason;
            expectPlayable(*m);
            // The file ends with the plain sample's 3 data bytes: cut there, exactly the cut.
            if (n + 3 >= whole.size()) EXPECT_EQ(m->missingBytes, int64_t(whole.size() - n));
            else EXPECT_GT(m->missingBytes, 0);
        }
        if (HasFatalFailure()) return;
    }
}

// A file cut short: the missing bytes are those its own headers declare past the cut (a pattern
// header's size, its packed data's size, an instrument header's size, the sample headers' count
// and size, each sample's length), nothing more and nothing less; a pattern or instrument whose
// header the file does not hold counts its fixed fields only (9 and 29 bytes). Pattern 0 and the
// sample headers are declared longer than the fields read from them.
TEST_F(LoaderTest, AFileCutShortMissesTheBytesItsHeadersDeclare) {
    XmLayout layout;
    layout.channels = 2;
    layout.orders = {0, 1};
    XmPattern p0 = pattern(4, 2, {{0, XmCell{49, 1, 0, 0, 0}}, {5, XmCell{50, 2, 0x30, 0, 0}}});
    p0.headerSize = 12;
    layout.patterns = {p0, pattern(2, 2, {{1, XmCell{52, 1, 0, 0, 0}}})};
    XmInstrument two = toneInstrument();
    two.sampleHeaderSize = 44;
    XmSample more;
    more.data.assign(100, 3);
    two.samples.push_back(more);
    XmInstrument one = toneInstrument();
    one.samples[0].data.assign(50, 1);
    one.samples[0].loopLength = 50;
    layout.instruments = {two, one};
    const std::vector<uint8_t> whole = buildXm(layout);

    // The layout as the writer lays it out.
    const auto le16 = [&](size_t at) { return size_t(whole[at] | whole[at + 1] << 8); };
    const size_t p0Start = 336, p0Data = p0Start + 12, p1Start = p0Data + le16(p0Start + 7);
    const size_t i0Start = p1Start + 9 + le16(p1Start + 7), i0Headers = i0Start + 263, i0Data = i0Headers + 2 * 44;
    const size_t i1Start = i0Data + 8 + 100, i1Data = i1Start + 263 + 40;
    ASSERT_EQ(whole.size(), i1Data + 50);
    struct Case {
        const char* what;
        size_t      cut;
        int64_t     missing;
    };
    const Case cases[] = {
        {"in the header's orders", 200, 336 - 200 + 2 * 9 + 2 * 29},
        {"in pattern 0's header, before its packed size", p0Start + 6, 6 + 9 + 2 * 29},
        {"in pattern 0's data", p0Data + 2, int64_t(p1Start - p0Data - 2) + 9 + 2 * 29},
        {"at pattern 1's start", p1Start, 9 + 2 * 29},
        {"in instrument 0's header, its sample headers absent", i0Start + 100, 163 + 2 * 44 + 29},
        {"in the second sample header's length", i0Headers + 44 + 2, 42 + 8 + 29},
        {"in instrument 0's first sample's data", i0Data + 3, 5 + 100 + 29},
        {"in the last sample's data", whole.size() - 7, 7},
        {"nowhere", whole.size(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string reason;
        const ModulePtr m = load(std::vector<uint8_t>(whole.begin(), whole.begin() + std::ptrdiff_t(c.cut)), &reason);
        ASSERT_TRUE(m) << reason;
        EXPECT_EQ(m->missingBytes, c.missing);
    }
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

TEST_F(LoaderTest, HostileFieldsLoadOrFailCleanly) {
    const XmLayout layout = smallLayout();
    const std::vector<uint8_t> whole = buildXm(layout);
    XmLayout patternsOnly = layout;
    patternsOnly.instruments.clear();
    const size_t pattern = 60 + layout.headerSize;
    const size_t instrument = buildXm(patternsOnly).size();
    const size_t sampleHeader = instrument + 263;
    struct Case {
        const char* name;
        size_t at;
        int width;
        uint32_t value;
    };
    const Case cases[] = {
        {"header size 2^32 - 1", 60, 4, 0xFFFFFFFF},
        {"header size 0", 60, 4, 0},
        {"header size 2^31", 60, 4, 0x80000000},
        {"song length 65535", 64, 2, 65535},
        {"restart 65535", 66, 2, 65535},
        {"pattern count 65535", 70, 2, 65535},
        {"instrument count 65535", 72, 2, 65535},
        {"BPM 0, tempo 0", 76, 4, 0},
        {"pattern of 65535 rows", pattern + 5, 2, 65535},
        {"instrument header size 0", instrument, 4, 0},
        {"instrument header size 2^32 - 1", instrument, 4, 0xFFFFFFFF},
        {"instrument header size 2^31", instrument, 4, 0x80000000},
        {"sample length 2^32 - 1", sampleHeader, 4, 0xFFFFFFFF},
        {"sample length 2^31", sampleHeader, 4, 0x80000000},
        {"loop start 2^32 - 1", sampleHeader + 4, 4, 0xFFFFFFFF},
        {"loop length 2^32 - 1", sampleHeader + 8, 4, 0xFFFFFFFF},
        {"loop start and length 2^31", sampleHeader + 4, 4, 0x80000000},
        {"sample type 0xFF", sampleHeader + 14, 1, 0xFF},
        {"envelope points 255", instrument + 225, 2, 0xFFFF},
        {"sustain and loop points 255", instrument + 227, 4, 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = whole;
        if (c.width == 4) put32(bytes, c.at, c.value);
        if (c.width == 2) put16(bytes, c.at, uint16_t(c.value));
        if (c.width == 1) bytes[c.at] = uint8_t(c.value);
        std::string reason;
        const ModulePtr m = load(bytes, &reason);
        if (m) {
            expectPlayable(*m);
        } else {
            EXPECT_FALSE(reason.empty());
        }
    }

    // Random damage to a few bytes anywhere, the same every run.
    uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = whole;
        const int changes = 1 + int(next() >> 30);
        for (int k = 0; k < changes; ++k) {
            const size_t at = 17 + (next() >> 8) % (bytes.size() - 17);  // keep the ID text
            bytes[at] = (next() >> 16) & 1 ? uint8_t(next() >> 24) : 0xFF;
        }
        SCOPED_TRACE(round);
        std::string reason;
        const ModulePtr m = load(bytes, &reason);
        if (m) {
            expectPlayable(*m);
        } else {
            EXPECT_FALSE(reason.empty());
        }
        if (HasFailure()) return;
    }
}

// Where the loader left the file stream when it closed it, and the file's size.
struct StreamEnd {
    int32_t position, size;
};

StreamEnd& lastStreamEnd() {
    static StreamEnd end;
    return end;
}

void recordEndAndClose(void* handle) {
    lastStreamEnd().position = fileStreamTell(handle);
    fileStreamSeek(handle, 0, SeekOrigin::end);
    lastStreamEnd().size = fileStreamTell(handle);
    fileStreamClose(handle);
}

// Real modules from other trackers, when the shared corpus is present. Each is read exactly to
// its last sample byte, which shows every header size and sample length was followed.
TEST_F(LoaderTest, LoadsEveryModuleOfTheCorpus) {
    const std::filesystem::path folder = sharedDataDir("xm-corpus");
    REQUIRE_SHARED_DATA(folder);
    const StreamCallbacks recordingEnd = {fileStreamOpen, recordEndAndClose, fileStreamRead, fileStreamSeek,
                                          fileStreamTell};
    int loaded = 0;
    for (const std::filesystem::path& path : modulesIn(folder)) {
        SCOPED_TRACE(path.filename().string());
        std::string reason;
        const ModulePtr m(loadModule(recordingEnd, path.c_str(), nullptr, &reason));
        ASSERT_TRUE(m) << reason;
        expectPlayable(*m);
        EXPECT_GE(m->channelCount, 4);
        EXPECT_LE(m->channelCount, 16);
        EXPECT_GE(m->instrumentCount, 1);
        EXPECT_GE(m->defaultTempo, 1);
        EXPECT_GE(m->defaultBpm, 32);
        int32_t samples = 0;
        for (int32_t i = 0; i < m->instrumentCount; ++i) samples += m->instruments[i].sampleCount;
        EXPECT_GE(samples, 1);
        // Some trackers append a chunk of text after the last sample.
        const StreamEnd end = lastStreamEnd();
        if (end.position != end.size) {
            char tail[4] = {};
            std::FILE* f = std::fopen(path.c_str(), "rb");
            ASSERT_NE(f, nullptr);
            std::fseek(f, end.position, SEEK_SET);
            EXPECT_EQ(std::fread(tail, 1, 4, f), 4u);
            std::fclose(f);
            EXPECT_EQ(std::string(tail, 4), "text") << "stopped at " << end.position << " of " << end.size;
        }
        ++loaded;
    }
    EXPECT_GT(loaded, 0);
}

}  // namespace
