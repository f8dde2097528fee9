#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "player/load/loader.h"
#include "player/load/stream.h"
#include "xm_writer.h"

namespace {

class StreamTest : public testing::Test {};

std::vector<uint8_t> numberedBytes(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(i * 7 + 3);
    return bytes;
}

// A file in the temporary folder, removed again when the test ends.
struct TempFile {
    std::string path;
    explicit TempFile(const std::vector<uint8_t>& bytes) {
        path = (std::filesystem::temp_directory_path() /
                ("skr_stream_" + std::to_string(std::random_device{}()) + ".bin"))
                   .string();
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    ~TempFile() { std::remove(path.c_str()); }
};

// The memory and file streams share the read and seek rules; each test runs on both.
struct OpenStream {
    const char* kind;
    void*       handle;
    StreamCallbacks callbacks;
};

constexpr int32_t kSize = 100;

std::vector<OpenStream> openBoth(const std::vector<uint8_t>& bytes, const TempFile& file) {
    return {
        {"memory", memoryStreamOpen(bytes.data(), bytes.size()), memoryStreamCallbacks},
        {"file", fileStreamOpen(file.path.c_str()), fileStreamCallbacks},
    };
}

TEST_F(StreamTest, ReadCopiesAtMostWhatRemains) {
    struct Case {
        int32_t from;
        int32_t count;
        int32_t copied;
    };
    const Case cases[] = {
        {0, 17, 17},
        {kSize - 5, 17, 5},        // reaches past the end: only what remains
        {kSize - 17, 17, 17},      // exactly what remains
        {kSize, 17, 0},            // at the end
        {10, 0, 0},
        {10, -5, 0},
        {10, std::numeric_limits<int32_t>::max(), kSize - 10},  // no overflow in position + count
    };
    const std::vector<uint8_t> bytes = numberedBytes(kSize);
    TempFile file(bytes);
    for (const OpenStream& s : openBoth(bytes, file)) {
        ASSERT_NE(s.handle, nullptr) << s.kind;
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(s.kind) + " from " + std::to_string(c.from) + " count " + std::to_string(c.count));
            std::vector<uint8_t> buffer(kSize + 1, 0xEE);
            s.callbacks.seek(s.handle, c.from, SeekOrigin::start);
            const int32_t copied = s.callbacks.read(buffer.data(), c.count, s.handle);
            EXPECT_EQ(copied, c.copied);
            EXPECT_EQ(s.callbacks.tell(s.handle), c.from + c.copied);
            for (int32_t i = 0; i < c.copied; ++i) ASSERT_EQ(buffer[i], bytes[c.from + i]) << i;
            EXPECT_EQ(buffer[c.copied], 0xEE);  // nothing beyond what was counted
        }
        s.callbacks.close(s.handle);
    }
}

TEST_F(StreamTest, SeekLandsInsideTheStream) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();
    struct Case {
        int32_t    from;
        int32_t    offset;
        SeekOrigin origin;
        int32_t    position;
    };
    const Case cases[] = {
        {50, 20, SeekOrigin::start, 20},
        {50, kSize, SeekOrigin::start, kSize},
        {50, kSize + 100, SeekOrigin::start, kSize},
        {50, -1, SeekOrigin::start, 0},
        {50, 20, SeekOrigin::current, 70},
        {50, -20, SeekOrigin::current, 30},
        {50, -51, SeekOrigin::current, 0},
        {50, kMax, SeekOrigin::current, kSize},
        {50, kMin, SeekOrigin::current, 0},
        {50, -60, SeekOrigin::end, kSize - 60},
        {50, 0, SeekOrigin::end, kSize},
        {50, 1, SeekOrigin::end, kSize},
        {50, kMin, SeekOrigin::end, 0},
        {50, 20, SeekOrigin(3), 50},  // unknown origin: unchanged
    };
    const std::vector<uint8_t> bytes = numberedBytes(kSize);
    TempFile file(bytes);
    for (const OpenStream& s : openBoth(bytes, file)) {
        ASSERT_NE(s.handle, nullptr) << s.kind;
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(s.kind) + " offset " + std::to_string(c.offset) + " origin " +
                         std::to_string(int(c.origin)));
            s.callbacks.seek(s.handle, c.from, SeekOrigin::start);
            s.callbacks.seek(s.handle, c.offset, c.origin);
            EXPECT_EQ(s.callbacks.tell(s.handle), c.position);
            // The next read starts where the seek landed.
            uint8_t b = 0;
            EXPECT_EQ(s.callbacks.read(&b, 1, s.handle), c.position < kSize ? 1 : 0);
            if (c.position < kSize) { EXPECT_EQ(b, bytes[c.position]); }
        }
        s.callbacks.close(s.handle);
    }
}

void* openNothing(const char*) { return nullptr; }

TEST_F(StreamTest, OnlyACompleteSetOfCallbacksOpens) {
    for (int missing = 0; missing < 5; ++missing) {
        SCOPED_TRACE(missing);
        StreamCallbacks c = fileStreamCallbacks;
        if (missing == 0) c.open = nullptr;
        if (missing == 1) c.close = nullptr;
        if (missing == 2) c.read = nullptr;
        if (missing == 3) c.seek = nullptr;
        if (missing == 4) c.tell = nullptr;
        EXPECT_FALSE(streamCallbacksComplete(c));
        EXPECT_EQ(streamOpen(c, "/dev/null"), nullptr);
    }
    EXPECT_TRUE(streamCallbacksComplete(fileStreamCallbacks));
}

TEST_F(StreamTest, LoaderSideStreamDoesNothingWithoutAStream) {
    const std::vector<uint8_t> bytes = numberedBytes(kSize);
    uint8_t b = 0xEE;
    EXPECT_EQ(streamRead(&b, 1, nullptr), 0);
    EXPECT_EQ(b, 0xEE);
    EXPECT_EQ(streamTell(nullptr), 0);
    streamSeek(nullptr, 5, SeekOrigin::start);
    streamClose(nullptr);

    // An open callback that fails gives no stream (and nothing stays allocated: ASan checks).
    const StreamCallbacks opensNothing = {openNothing, memoryStreamClose, memoryStreamRead, memoryStreamSeek,
                                          memoryStreamTell};
    EXPECT_EQ(streamOpen(opensNothing, "song"), nullptr);
    EXPECT_EQ(streamOpen(memoryStreamCallbacks, "song"), nullptr) << "a memory stream opens nothing by name";

    // Through a working set, the loader-side calls reach the handle.
    TempFile file(bytes);
    ModuleStream* stream = streamOpen(fileStreamCallbacks, file.path.c_str());
    ASSERT_NE(stream, nullptr);
    streamSeek(stream, -3, SeekOrigin::end);
    uint8_t tail[5] = {};
    EXPECT_EQ(streamRead(tail, 5, stream), 3);
    EXPECT_EQ(tail[2], bytes[kSize - 1]);
    EXPECT_EQ(streamTell(stream), kSize);
    streamClose(stream);
}

TEST_F(StreamTest, FileStreamLoadsWhatTheMemoryStreamLoads) {
    XmLayout layout;
    layout.patterns = {XmPattern{}};
    layout.patterns[0].cells = {{49, 1, 0x40, 0x0F, 3}};
    XmSample sample;
    sample.data = deltas8({1, 2, 3, -4});
    XmInstrument instrument;
    instrument.samples = {sample};
    layout.instruments = {instrument};
    const std::vector<uint8_t> bytes = buildXm(layout);
    TempFile file(bytes);

    EXPECT_EQ(fileStreamOpen("/nonexistent/skr/song.xm"), nullptr);

    std::string reason;
    Module* fromFile = loadModule(fileStreamCallbacks, file.path.c_str(), nullptr, &reason);
    ASSERT_NE(fromFile, nullptr) << reason;
    EXPECT_EQ(loadModule(fileStreamCallbacks, "/nonexistent/skr/song.xm", nullptr, &reason), nullptr);
    EXPECT_EQ(reason, "cannot open \"/nonexistent/skr/song.xm\"");

    Module* fromMemory = loadModuleFromMemory(bytes.data(), bytes.size(), nullptr, &reason);
    ASSERT_NE(fromMemory, nullptr) << reason;
    EXPECT_EQ(std::memcmp(&fromFile->patterns[0].cells[0], &fromMemory->patterns[0].cells[0], sizeof(Cell)), 0);
    const Sample& a = *fromFile->instruments[0].samples[0];
    const Sample& b = *fromMemory->instruments[0].samples[0];
    ASSERT_EQ(a.length, 4u);
    ASSERT_EQ(b.length, 4u);
    EXPECT_EQ(std::memcmp(a.data, b.data, 4 * sizeof(int16_t)), 0);
    EXPECT_EQ(a.data[3], -4 * 256);
    freeModule(fromFile);
    freeModule(fromMemory);
}

}  // namespace
