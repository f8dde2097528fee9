// compare_capture CAPTURE REFERENCE RING_BYTES: checks that a capture of what the Windows build
// played (raw 16-bit stereo) is the reference (raw, from xmrender) from its first byte on, in
// order, with nothing lost or changed. The one thing allowed in between is silence that the
// capture chain inserted: Wine writes a period of zero frames (10 ms) whenever its own buffer
// runs dry, and then goes on where it was. Such a gap adds frames and takes none away, so it
// cannot hide a block the demo failed to render or rendered wrong.
// Prints what matched; exit code 0 when the capture holds at least the first RING_BYTES of the
// reference and every byte it holds is explained, 1 otherwise, 2 on bad arguments.
// Built and run by scripts/checks/windows.sh.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr size_t kFrameBytes = 4;           // 16-bit stereo
constexpr double kFramesPerSecond = 44100;
constexpr size_t kMaxGapFrames = 4410;      // 100 ms: ten of Wine's periods in one go
constexpr size_t kConfirmFrames = 2048;     // 46 ms of the reference must follow a gap exactly

std::vector<uint8_t> readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "compare_capture: cannot read %s\n", path);
        std::exit(2);
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double seconds(size_t bytes) { return double(bytes / kFrameBytes) / kFramesPerSecond; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: compare_capture CAPTURE REFERENCE RING_BYTES\n");
        return 2;
    }
    const std::vector<uint8_t> capture = readFile(argv[1]);
    const std::vector<uint8_t> reference = readFile(argv[2]);
    const size_t ring = std::strtoul(argv[3], nullptr, 10);
    const size_t captureFrames = capture.size() / kFrameBytes;
    const size_t referenceFrames = reference.size() / kFrameBytes;
    auto frameAt = [](const std::vector<uint8_t>& v, size_t frame) { return v.data() + frame * kFrameBytes; };
    auto silent = [&](size_t frame) {
        static const uint8_t zero[kFrameBytes] = {};
        return std::memcmp(frameAt(capture, frame), zero, kFrameBytes) == 0;
    };

    size_t c = 0;  // next capture frame
    size_t r = 0;  // next reference frame
    size_t gaps = 0;
    size_t gapFrames = 0;
    bool explained = true;
    while (c < captureFrames && r < referenceFrames) {
        if (std::memcmp(frameAt(capture, c), frameAt(reference, r), kFrameBytes) == 0) {
            ++c;
            ++r;
            continue;
        }
        // A run of inserted silence: the shortest skip after which the reference goes on exactly.
        size_t zeros = 0;
        while (c + zeros < captureFrames && zeros < kMaxGapFrames && silent(c + zeros)) ++zeros;
        if (c + zeros == captureFrames) {  // silence to the very end: the device was closing
            gapFrames += zeros;
            ++gaps;
            c = captureFrames;
            break;
        }
        size_t skip = 0;
        for (size_t s = 1; s <= zeros && !skip; ++s) {
            const size_t n = std::min({kConfirmFrames, captureFrames - (c + s), referenceFrames - r});
            if (std::memcmp(frameAt(capture, c + s), frameAt(reference, r), n * kFrameBytes) == 0) skip = s;
        }
        if (!skip) {
            explained = false;
            break;
        }
        c += skip;
        gapFrames += skip;
        ++gaps;
    }
    if (explained && c < captureFrames) {
        std::printf("the capture is longer than the reference\n");
        return 1;
    }
    const size_t matched = r * kFrameBytes;
    const double gapMs = gapFrames * 1000 / kFramesPerSecond;
    if (explained)
        std::printf("identical to xmrender for all %.2f s captured, apart from %zu gap(s) of silence that the "
                    "capture inserted (%.0f ms)\n", seconds(matched), gaps, gapMs);
    else
        std::printf("matches xmrender for the first %.2f s of the song (with %zu gap(s) of inserted silence, "
                    "%.0f ms), then differs: capture byte %zu, reference byte %zu\n",
                    seconds(matched), gaps, gapMs, c * kFrameBytes, matched);
    if (matched < ring) std::printf("the pre-filled ring (the first %zu bytes) is not all there\n", ring);
    return explained && matched >= ring ? 0 : 1;
}
