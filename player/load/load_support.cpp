#include "player/load/load_support.h"

#include <algorithm>
#include <cstring>

void seekTo(ModuleStream* stream, int64_t offset) {
    streamSeek(stream, int32_t(std::min<int64_t>(offset, INT32_MAX)), SeekOrigin::start);
}

void skip(ModuleStream* stream, int32_t bytes) { streamSeek(stream, bytes, SeekOrigin::current); }

void readBytes(Loading& l, void* buffer, int32_t count) { streamRead(buffer, count, l.stream); }

void readDeclared(Loading& l, void* buffer, int32_t count) {
    const int32_t got = streamRead(buffer, count, l.stream);
    if (count > got) l.missingBytes += count - got;
}

uint16_t readDeclared16(Loading& l) {
    uint8_t b[2] = {};
    readDeclared(l, b, 2);
    return le16(b);
}

bool holds(const Loading& l, int64_t at, int64_t bytes) { return at + bytes <= l.streamSize; }

void declare(Loading& l, int64_t from, int64_t to) {
    const int64_t absentFrom = std::max<int64_t>(from, l.streamSize);
    if (to > absentFrom) l.missingBytes += to - absentFrom;
}

uint16_t read16(Loading& l) {
    uint8_t b[2] = {};
    readBytes(l, b, 2);
    return le16(b);
}

uint32_t read32(Loading& l) {
    uint8_t b[4] = {};
    readBytes(l, b, 4);
    return le32(b);
}

int64_t bytesLeft(Loading& l) { return std::max(0, l.streamSize - streamTell(l.stream)); }

bool fail(Loading& l, std::string reason) {
    l.reason = std::move(reason);
    return false;
}

void copyName(char* to, const uint8_t* from, size_t size) {
    size_t n = 0;
    while (n < size && from[n] != 0) ++n;
    while (n > 0 && from[n - 1] == ' ') --n;
    std::memcpy(to, from, n);
    to[n] = '\0';
}

bool allocateCells(Loading& l, Pattern& p, int32_t rows, int32_t channels) {
    const int64_t cells = int64_t(rows) * channels;
    if (cells > l.cellsLeft)
        return fail(l, "patterns of more than " + std::to_string(kMaxCells) + " cells in all");
    l.cellsLeft -= cells;
    p.rowCount = rows;
    p.cells = cells ? new Cell[size_t(cells)]{} : nullptr;
    return true;
}

void limitLoop(Sample& s) {
    if (s.loopLength == 0 || s.loopStart >= s.length) {
        s.loopStart = 0;
        s.loopLength = s.length;
        s.loopType = 1;
    } else if (s.loopLength > s.length - s.loopStart) {
        s.loopLength = s.length - s.loopStart;
    }
}

void readSampleData(Loading& l, Sample& s, int32_t instrument, int32_t slot, SampleCoding coding) {
    const int32_t bytes = int32_t(int64_t(s.bitsPerSample) * s.length / 8);
    s.data = new int16_t[size_t(s.length) + kGuardFrames]{};
    uint8_t* raw = reinterpret_cast<uint8_t*>(s.data);
    if (l.sampleData) {
        // The callback hands over signed frames without deltas, whatever the file holds.
        l.sampleData(raw, bytes, s.bitsPerSample, instrument, slot);
        skip(l.stream, bytes);
        coding = SampleCoding::signedPcm;
    } else {
        streamRead(raw, bytes, l.stream);
    }

    // Unsigned frames have their centre at 0x80 (0x8000): flipping the top bit makes them signed.
    const uint16_t flip = coding == SampleCoding::unsignedPcm ? 0x8000 : 0;
    if (s.bitsPerSample == 8) {
        // Backwards, so no byte is overwritten before it is widened: frame j occupies bytes 2j
        // and 2j + 1, at or after byte j.
        for (uint32_t j = s.length; j-- > 0;) s.data[j] = int16_t(uint16_t(raw[j] << 8) ^ flip);
        s.bitsPerSample = 16;
    } else {
        for (uint32_t j = 0; j < s.length; ++j) s.data[j] = int16_t(le16(raw + 2 * size_t(j)) ^ flip);
    }

    if (coding == SampleCoding::xmDeltas) {
        uint16_t sum = 0;  // wraps modulo 65536, as the tracker's own 8- or 16-bit sums do
        for (uint32_t j = 0; j < s.length; ++j) {
            sum = uint16_t(sum + uint16_t(s.data[j]));
            s.data[j] = int16_t(sum);
        }
    }

    // The mixer interpolates one frame past the loop end without a special case.
    const uint32_t guard = s.loopStart + s.loopLength;
    if (s.loopType == 2) s.data[guard] = s.data[s.loopStart];
    if (s.loopType == 4) s.data[guard] = s.data[guard - 1];
}
