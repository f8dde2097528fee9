// The S3M loader: header, channels and their pannings, the order list without its markers,
// packed patterns, and samples of every kind with their C-4 rates kept exactly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "load_checks.h"
#include "maths/portable_math.h"
#include "s3m_writer.h"

namespace {

S3mSample tone() {
    S3mSample s;
    s.data = {0, 40, 80, 40, 0, -40, -80, -40};
    s.loop = true;
    s.loopStart = 2;
    s.loopEnd = 6;
    s.volume = 50;
    s.c2spd = 22050;
    return s;
}

uint8_t effectOf(char letter) { return uint8_t(kS3mEffects + (letter - 'A')); }

S3mLayout smallS3m() {
    S3mLayout l;
    l.title = "a title of twenty-eight bytes";
    l.channels = {0, 8, 255, 0x81, 9, 16, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
                  255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 3};
    l.speed = 4;
    l.tempo = 140;
    l.globalVolume = 48;
    l.samples = {tone()};
    S3mPattern p;
    p.cells = {
        {0, 0, s3mNote(4, 0), 1, 32, 'D', 0x0F},  // channel 0 → 0
        {0, 1, 254, 0, -1, 0, 0},                 // channel 1 → 1: the note cut
        {0, 4, s3mNote(7, 11), 99, 80, 'Z', 1},   // channel 4 → 2: B-7, volume held at 64
        {1, 5, s3mNote(0, 0), 0, -1, 'B', 3},     // channel 5 (Adlib) → 3
        {1, 2, s3mNote(4, 0), 1, -1, 0, 0},       // channel 2 is off: left out
        {1, 3, s3mNote(4, 0), 1, -1, 0, 0},       // channel 3 is muted (bit 7): left out
        {2, 31, s3mNote(3, 12), 1, 0, 'A', 2},    // channel 31 → 4; semitone 12 is no note
        {63, 0, 255, 2, -1, '[', 1},              // no such effect letter
    };
    l.patterns = {p};
    l.orders = {0, 0, 255};
    return l;
}

TEST(S3mLoader, ReadsTheHeaderChannelsAndPatterns) {
    std::string reason;
    const ModulePtr m = load(buildS3m(smallS3m()), &reason);
    ASSERT_TRUE(m) << reason;
    expectPlayable(*m);
    EXPECT_EQ(m->format, ModuleFormat::s3m);
    EXPECT_STREQ(m->title, "a title of twenty-ei") << "the first 20 of its 28 bytes";
    EXPECT_STREQ(m->trackerName, "Scream Tracker 3.20");
    EXPECT_EQ(m->defaultTempo, 4);
    EXPECT_EQ(m->defaultBpm, 140);
    EXPECT_EQ(m->initialGlobalVolume, 48);
    EXPECT_EQ(m->flags & 1, 0) << "Amiga periods";
    EXPECT_FALSE(m->fastVolumeSlides);
    EXPECT_FALSE(m->amigaLimits);
    ASSERT_EQ(m->channelCount, 5) << "the channels that are on, in their order";
    ASSERT_EQ(m->songLength, 2);
    const Cell* row0 = m->patterns[0].cells;
    EXPECT_EQ(row0[0].note, 49);
    EXPECT_EQ(row0[0].instrument, 1);
    EXPECT_EQ(row0[0].volume, 0x10 + 32);
    EXPECT_EQ(row0[0].effectType, effectOf('D'));
    EXPECT_EQ(row0[0].effectParam, 0x0F);
    EXPECT_EQ(row0[1].note, 255) << "the note cut, as a key-off";
    EXPECT_EQ(row0[2].note, 96);
    EXPECT_EQ(row0[2].instrument, 99);
    EXPECT_EQ(row0[2].volume, 0x50);
    EXPECT_EQ(row0[2].effectType, effectOf('Z'));
    const Cell* row1 = m->patterns[0].cells + 5;
    EXPECT_EQ(row1[3].note, 1);
    EXPECT_EQ(row1[3].effectType, effectOf('B'));
    for (int ch : {0, 1, 2, 4}) EXPECT_EQ(row1[ch].note, 0) << ch;
    const Cell* row2 = m->patterns[0].cells + 10;
    EXPECT_EQ(row2[4].note, 0);
    EXPECT_EQ(row2[4].instrument, 1);
    EXPECT_EQ(row2[4].volume, 0x10) << "volume 0 is a volume";
    EXPECT_EQ(row2[4].effectType, effectOf('A'));
    const Cell& last = m->patterns[0].cells[63 * 5];
    EXPECT_EQ(last.effectType, 0);
    EXPECT_EQ(last.effectParam, 0);
}

TEST(S3mLoader, ChannelsSitWhereTheModuleSays) {
    S3mLayout l = smallS3m();
    const ModulePtr sides = load(buildS3m(l));
    ASSERT_TRUE(sides);
    // Left channels at 3 of 0…15, right ones at 12, Adlib ones in the centre.
    EXPECT_EQ(sides->channelPanning[0], 3 * 17);
    EXPECT_EQ(sides->channelPanning[1], 12 * 17);
    EXPECT_EQ(sides->channelPanning[2], 12 * 17);
    EXPECT_EQ(sides->channelPanning[3], 8 * 17);
    EXPECT_EQ(sides->channelPanning[4], 3 * 17);

    std::array<uint8_t, 32> table{};
    table[0] = 0x20;  // hard left
    table[1] = 0x2F;  // hard right
    table[4] = 0x0F;  // bit 5 clear: the default stays
    l.pannings = table;
    const ModulePtr given = load(buildS3m(l));
    ASSERT_TRUE(given);
    EXPECT_EQ(given->channelPanning[0], 0);
    EXPECT_EQ(given->channelPanning[1], 255);
    EXPECT_EQ(given->channelPanning[2], 12 * 17);

    l.masterVolume = 0x30;  // no stereo bit: every channel in the centre
    const ModulePtr mono = load(buildS3m(l));
    ASSERT_TRUE(mono);
    for (int ch = 0; ch < 5; ++ch) EXPECT_EQ(mono->channelPanning[ch], 128) << ch;
}

TEST(S3mLoader, TheOrderListLeavesOutItsMarkersAndJumpsFollowIt) {
    S3mLayout l = smallS3m();
    S3mPattern jumps;
    // Bxx names entries of the file's list: 2 is a skip marker, 3 plays pattern 1, 6 lies past its end.
    jumps.cells = {{0, 0, 255, 0, -1, 'B', 2}, {1, 0, 255, 0, -1, 'B', 3}, {2, 0, 255, 0, -1, 'B', 6},
                   {3, 0, 255, 0, -1, 'B', 0}};
    l.patterns = {smallS3m().patterns[0], jumps};
    l.orders = {0, 1, 254, 1, 254, 255, 0, 1};
    std::string reason;
    const ModulePtr m = load(buildS3m(l), &reason);
    ASSERT_TRUE(m) << reason;
    ASSERT_EQ(m->songLength, 3) << "0, 1, 1: up to the end marker, the skips left out";
    EXPECT_EQ(m->orders[0], 0);
    EXPECT_EQ(m->orders[1], 1);
    EXPECT_EQ(m->orders[2], 1);
    const Cell* cells = m->patterns[1].cells;
    EXPECT_EQ(cells[0 * 5].effectParam, 2) << "the skip marker's place: the entry after it";
    EXPECT_EQ(cells[1 * 5].effectParam, 2);
    EXPECT_EQ(cells[2 * 5].effectParam, 3) << "past the end: the song starts over";
    EXPECT_EQ(cells[3 * 5].effectParam, 0);

    // A list of nothing but markers plays pattern 0, once.
    l.orders = {254, 255};
    const ModulePtr empty = load(buildS3m(l), &reason);
    ASSERT_TRUE(empty) << reason;
    EXPECT_EQ(empty->songLength, 1);
    EXPECT_EQ(empty->orders[0], 0);
}

TEST(S3mLoader, FlagsAndHeaderValuesOutOfRange) {
    struct Case {
        const char*                    name;
        std::function<void(S3mLayout&)> change;
        std::function<void(const Module&)> expect;
    };
    const Case cases[] = {
        {"fast slides by flag", [](S3mLayout& l) { l.flags = 64; },
         [](const Module& m) { EXPECT_TRUE(m.fastVolumeSlides); }},
        {"fast slides by ST3.00", [](S3mLayout& l) { l.version = 0x1300; },
         [](const Module& m) { EXPECT_TRUE(m.fastVolumeSlides); }},
        {"Amiga limits", [](S3mLayout& l) { l.flags = 16; }, [](const Module& m) { EXPECT_TRUE(m.amigaLimits); }},
        {"speed 0", [](S3mLayout& l) { l.speed = 0; }, [](const Module& m) { EXPECT_EQ(m.defaultTempo, 6); }},
        {"speed 255", [](S3mLayout& l) { l.speed = 255; }, [](const Module& m) { EXPECT_EQ(m.defaultTempo, 6); }},
        {"tempo 32", [](S3mLayout& l) { l.tempo = 32; }, [](const Module& m) { EXPECT_EQ(m.defaultBpm, 125); }},
        {"tempo 33", [](S3mLayout& l) { l.tempo = 33; }, [](const Module& m) { EXPECT_EQ(m.defaultBpm, 33); }},
        {"global volume 200", [](S3mLayout& l) { l.globalVolume = 200; },
         [](const Module& m) { EXPECT_EQ(m.initialGlobalVolume, 64); }},
        {"Impulse Tracker wrote it", [](S3mLayout& l) { l.version = 0x3214; },
         [](const Module& m) { EXPECT_STREQ(m.trackerName, "Impulse Tracker 2.14"); }},
        {"a tracker of no known number", [](S3mLayout& l) { l.version = 0x9123; },
         [](const Module& m) { EXPECT_STREQ(m.trackerName, ""); }},
    };
    for (const Case& c : cases) {
        S3mLayout l = smallS3m();
        c.change(l);
        std::string reason;
        const ModulePtr m = load(buildS3m(l), &reason);
        ASSERT_TRUE(m) << c.name << ": " << reason;
        SCOPED_TRACE(c.name);
        c.expect(*m);
    }
    S3mLayout off = smallS3m();
    off.channels.fill(0x80);
    std::string reason;
    EXPECT_FALSE(load(buildS3m(off), &reason));
    EXPECT_EQ(reason, "no channels: every channel of the S3M is off");
}

TEST(S3mLoader, SamplesOfEveryKind) {
    S3mLayout l = smallS3m();
    S3mSample sixteen;  // 16-bit, unsigned in the file
    sixteen.data = {0, 1000, -1000, 32767, -32768};
    sixteen.sixteenBits = true;
    S3mSample stereo;  // the left frames are played, the right ones skipped
    stereo.data = {1, 2, 3, 4, -1, -2, -3, -4};
    stereo.stereo = true;
    S3mSample adlib;
    adlib.type = 2;
    S3mSample pastTheEnd = tone();  // a loop ending past the data is cut to it; a rate of 0 is 8363
    pastTheEnd.loopEnd = 100;
    pastTheEnd.c2spd = 0;
    S3mSample noLoop = tone();
    noLoop.loop = false;
    S3mSample packed = tone();
    packed.pack = 1;
    l.samples = {tone(), sixteen, stereo, adlib, pastTheEnd, noLoop, packed};
    std::string reason;
    const ModulePtr m = load(buildS3m(l), &reason);
    ASSERT_TRUE(m) << reason;
    expectPlayable(*m);
    ASSERT_EQ(m->instrumentCount, 7);
    const Sample& t = *m->instruments[0].samples[0];
    EXPECT_EQ(t.length, 8u);
    EXPECT_EQ(t.loopType, 2);
    EXPECT_EQ(t.loopStart, 2u);
    EXPECT_EQ(t.loopLength, 4u);
    EXPECT_EQ(t.volume, 50);
    EXPECT_EQ(t.middleCRate, 22050u);
    EXPECT_EQ(std::vector<int16_t>(t.data, t.data + 4), (std::vector<int16_t>{0, 40 * 256, 80 * 256, 40 * 256}));
    EXPECT_EQ(std::vector<int16_t>(m->instruments[1].samples[0]->data, m->instruments[1].samples[0]->data + 5),
              (std::vector<int16_t>{0, 1000, -1000, 32767, -32768}));
    EXPECT_EQ(m->instruments[2].samples[0]->length, 4u);
    EXPECT_EQ(std::vector<int16_t>(m->instruments[2].samples[0]->data, m->instruments[2].samples[0]->data + 5),
              (std::vector<int16_t>{256, 512, 768, 1024, 0}));
    EXPECT_EQ(m->instruments[3].sampleCount, 0) << "the Adlib instrument has nothing to play";
    EXPECT_EQ(m->instruments[4].samples[0]->loopLength, 6u);
    EXPECT_EQ(m->instruments[4].samples[0]->middleCRate, 8363u);
    EXPECT_EQ(m->instruments[5].samples[0]->loopType, 1);
    EXPECT_EQ(m->instruments[5].samples[0]->loopLength, 8u);
    EXPECT_EQ(m->instruments[6].samples[0]->length, 0u) << "packed data is not unpacked";
    EXPECT_EQ(m->warnings,
              "sample 7 is packed, which the player does not unpack: it plays silent\n"
              "1 Adlib instrument not synthesised: it plays silent\n");

    l.sampleFormat = 1;  // signed data
    l.samples = {tone()};
    const ModulePtr signedData = load(buildS3m(l));
    ASSERT_TRUE(signedData);
    EXPECT_EQ(signedData->instruments[0].samples[0]->data[1], 40 * 256);
}

// The exact rate is kept for st3; the other profiles play the XM transpose nearest it.
TEST(S3mLoader, TheRateBecomesTheNearestTranspose) {
    for (uint32_t rate : {8363u, 16726u, 4181u, 8000u, 22050u, 44100u, 1000u, 65535u}) {
        S3mLayout l = smallS3m();
        l.samples[0].c2spd = rate;
        const ModulePtr m = load(buildS3m(l));
        ASSERT_TRUE(m);
        const Sample& s = *m->instruments[0].samples[0];
        EXPECT_EQ(s.middleCRate, rate);
        EXPECT_LE(std::abs(s.finetune), 64) << rate;
        const double transposed = 8363.0 * portableExp2((s.relativeNote * 128 + s.finetune) / 1536.0);
        EXPECT_LT(std::abs(transposed / rate - 1), 0.0003) << rate;  // within half a step of 1/128 semitone
    }
}

TEST(S3mLoader, PointersPastTheFileLoadWithZerosAndSayHowMuchIsMissing) {
    S3mLayout l = smallS3m();
    l.samples[0].dataAt = 1 << 20;  // a sample's data far past the end
    std::string reason;
    const ModulePtr far = load(buildS3m(l), &reason);
    ASSERT_TRUE(far) << reason;
    expectPlayable(*far);
    EXPECT_EQ(far->instruments[0].samples[0]->length, 0u);
    EXPECT_EQ(far->missingBytes, 8);
    EXPECT_EQ(far->warnings, "the file ends 8 bytes short of what its headers declare; they play as silence\n");

    const std::vector<uint8_t> whole = buildS3m(smallS3m());
    const ModulePtr cut = load(std::vector<uint8_t>(whole.begin(), whole.end() - 3));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->instruments[0].samples[0]->length, 5u) << "what the file holds of it";
    EXPECT_EQ(cut->missingBytes, 3);
}

}  // namespace
