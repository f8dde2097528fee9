#pragma once
// What the XM, MOD and S3M loaders share: reads through the stream that give zeros past its end
// and count what was missing, the budget of pattern cells, names, and sample data turned into
// 16-bit frames with the loop's guard frame.
#include <cstddef>
#include <cstdint>
#include <string>

#include "player/load/loader.h"
#include "player/module.h"
#include "player/load/stream.h"

constexpr int32_t kGuardFrames = 8;  // zero frames after every sample's end
// Every tracker's own limits stay below 2^23 cells (256 patterns of 1024 rows of 32 channels);
// past 2^24 (80 MiB of cells) a file only asks for memory, since 9 bytes declare an XM pattern.
constexpr int64_t kMaxCells = int64_t(1) << 24;

// One load in progress.
struct Loading {
    ModuleStream*      stream;
    int32_t            streamSize;    // bytes, measured once
    int32_t            filePatterns;  // patterns stored in the file; patternCount may name more
    int64_t            cellsLeft;     // of kMaxCells
    int64_t            missingBytes;  // declared by the file's headers, past its end
    SampleDataCallback sampleData;    // nullptr: sample data comes from the stream
    std::string        reason;        // why the load failed
    bool               notAModule;    // it failed because the file is of no format the player reads
};

// Little- and big-endian numbers in place.
inline uint16_t le16(const uint8_t* b) { return uint16_t(b[0] | b[1] << 8); }
inline uint32_t le32(const uint8_t* b) {
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
inline uint16_t be16(const uint8_t* b) { return uint16_t(b[0] << 8 | b[1]); }

// Offsets computed from the file's 32-bit sizes can pass 2^31; the stream stops at its end
// anyway, so the largest offset stands for all of them.
void seekTo(ModuleStream* stream, int64_t offset);
void skip(ModuleStream* stream, int32_t bytes);

// Every read of the loaders: what the file does not hold reads as zeros.
void     readBytes(Loading& l, void* buffer, int32_t count);
uint16_t read16(Loading& l);  // little-endian
uint32_t read32(Loading& l);

// A read of a structure whose size the file's layout fixes (MOD's and S3M's headers, parapointers
// and patterns): what the file does not hold reads as zeros and is counted as missing.
void     readDeclared(Loading& l, void* buffer, int32_t count);
uint16_t readDeclared16(Loading& l);

// True when the file holds the `bytes` bytes at offset `at`: a field it declares something with.
bool holds(const Loading& l, int64_t at, int64_t bytes);

// A header the file holds declares bytes [from, to): the part past the file's end is missing. Of
// a pattern or instrument that the counts promise but whose header's size the file does not
// hold, only the fixed fields are declared (9 or 29 bytes): how much more it had is unknown.
void declare(Loading& l, int64_t from, int64_t to);

// The bytes the file holds from the stream's position on.
int64_t bytesLeft(Loading& l);

// Sets the reason; false, for `return fail(l, …)`.
bool fail(Loading& l, std::string reason);

// A name field of `size` bytes as text: up to the first zero byte, trailing spaces dropped.
void copyName(char* to, const uint8_t* from, size_t size);

// Zeroed cells for `rows` rows of `channels`, counted against the module's budget of kMaxCells.
bool allocateCells(Loading& l, Pattern& p, int32_t rows, int32_t channels);

// How a file stores its sample frames.
enum class SampleCoding : uint8_t {
    xmDeltas,  // each value the difference to the one before (XM)
    signedPcm,
    unsignedPcm,  // 0x80 (0x8000) the centre
};

// A loop that the mixer can play: one starting at or past the end (or of no frames) is no loop;
// one reaching past the end is cut back to it. Afterwards loopStart + loopLength ≤ length, so the
// guard frame at that index lies inside the data's 8 spare frames.
void limitLoop(Sample& s);

// Reads the sample's data (bitsPerSample × length / 8 bytes, length already limited to what the
// file holds) from the stream's position or the callback, widens it to 16-bit frames as `coding`
// says, and writes the loop's guard frame. `instrument` and `slot` count from 0, for the callback.
void readSampleData(Loading& l, Sample& s, int32_t instrument, int32_t slot, SampleCoding coding);
