#pragma once
// The layout of a BMP file, for the decoder that reads it and the art generator that writes it.
// Every field is little-endian. A file is the 14-byte file header, the 40-byte info header, the
// colour table (blue, green, red, 0 per entry) and the rows, each padded to a whole 32-bit word.
// A packed DIB, as a resource section keeps a bitmap, starts directly with the info header.
#include <cstddef>
#include <cstdint>
#include <initializer_list>

// One header field: where it starts, counted from its header's first byte, and its size.
struct BmpField {
    uint32_t at;     // bytes from the start of its header
    uint32_t bytes;  // 2 or 4
};

// The file header.
inline constexpr uint32_t kBmpFileHeaderBytes = 14;
inline constexpr BmpField kBmpSignature{0, 2};     // "BM"
inline constexpr BmpField kBmpFileBytes{2, 4};     // size of the whole file
inline constexpr BmpField kBmpReserved{6, 4};      // two 16-bit fields, 0
inline constexpr BmpField kBmpPixelOffset{10, 4};  // where the rows start, from the file's start

// The info header (BITMAPINFOHEADER). A longer header (a later version) begins the same way.
inline constexpr uint32_t kBmpInfoHeaderBytes = 40;
inline constexpr BmpField kBmpInfoBytes{0, 4};          // this header's size, 40 or more
inline constexpr BmpField kBmpWidth{4, 4};              // pixels, signed
inline constexpr BmpField kBmpHeight{8, 4};             // rows, signed; positive: bottom row stored first
inline constexpr BmpField kBmpPlanes{12, 2};            // 1
inline constexpr BmpField kBmpBitsPerPixel{14, 2};      // 1, 4, 8, 16, 24 or 32
inline constexpr BmpField kBmpCompression{16, 4};       // kBmpUncompressed, or a run-length code
inline constexpr BmpField kBmpImageBytes{20, 4};        // size of the rows; may be 0 when uncompressed
inline constexpr BmpField kBmpXPixelsPerMetre{24, 4};   // print resolution
inline constexpr BmpField kBmpYPixelsPerMetre{28, 4};
inline constexpr BmpField kBmpColoursUsed{32, 4};       // colour table entries; 0: 2^bitsPerPixel
inline constexpr BmpField kBmpColoursImportant{36, 4};  // 0: all

// Each header's fields follow one another without a gap and fill it exactly.
constexpr bool bmpFieldsTile(std::initializer_list<BmpField> fields, uint32_t headerBytes) {
    uint32_t next = 0;
    for (const BmpField& f : fields) {
        if (f.at != next) return false;
        next += f.bytes;
    }
    return next == headerBytes;
}
static_assert(bmpFieldsTile({kBmpSignature, kBmpFileBytes, kBmpReserved, kBmpPixelOffset}, kBmpFileHeaderBytes));
static_assert(bmpFieldsTile({kBmpInfoBytes, kBmpWidth, kBmpHeight, kBmpPlanes, kBmpBitsPerPixel, kBmpCompression,
                             kBmpImageBytes, kBmpXPixelsPerMetre, kBmpYPixelsPerMetre, kBmpColoursUsed,
                             kBmpColoursImportant},
                            kBmpInfoHeaderBytes));

inline constexpr uint32_t kBmpUncompressed = 0;      // BI_RGB
inline constexpr uint32_t kBmpColourEntryBytes = 4;  // blue, green, red, reserved (0)

// Bytes of one stored row: width × bitsPerPixel bits taken up to a whole 32-bit word.
constexpr size_t bmpRowBytes(size_t width, size_t bitsPerPixel) { return (width * bitsPerPixel + 31) / 32 * 4; }

// The field of the header at `header`, from `bytes` of `size`; every byte past the end reads 0.
inline uint32_t readBmpField(const uint8_t* bytes, size_t size, size_t header, BmpField field) {
    uint32_t value = 0;
    for (uint32_t i = field.bytes; i-- > 0;) {
        const size_t at = header + field.at + i;
        value = value << 8 | (at < size ? bytes[at] : 0u);
    }
    return value;
}

// Writes `value` into the field of the header at `header`, which must lie wholly inside `bytes`.
inline void writeBmpField(uint8_t* bytes, size_t header, BmpField field, uint32_t value) {
    for (uint32_t i = 0; i < field.bytes; ++i) bytes[header + field.at + i] = uint8_t(value >> (8 * i));
}
