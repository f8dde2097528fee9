// demo-capture: the whole demo rendered offline to PNG frames, a WAV file and a CSV of the clock
// and the timeline, optionally an H.264 video, exactly as the live demo would show and play it.
#include <png.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "host/frame_driver.h"
#include "platform/offline/offline_platform.h"
#include "player/output.h"
#include "tools/output_file.h"
#include "tools/offline_run.h"

namespace {

constexpr const char* kTool = "demo-capture";

namespace fs = std::filesystem;

constexpr int kWidth = 640, kHeight = 480;
constexpr double kMaxSeconds = 600;

struct Options {
    std::string out, video;
    int32_t     fps = 50;
    double      seconds = -1;  // < 0: not given
    int64_t     frames = -1;   // < 0: not given
    int64_t     from = 0;
    int64_t     to = -1;       // < 0: to the end
    bool        quiet = false;
};

void printUsage(FILE* to) {
    std::fputs(
        "usage: demo-capture [options] --out DIR\n"
        "\n"
        "Renders the demo offline with a virtual clock: DIR/frame_NNNNNN.png (640x480), DIR/audio.wav\n"
        "(16-bit stereo 44100 Hz) and DIR/frames.csv, exactly what the live demo shows and plays.\n"
        "\n"
        "options:\n"
        "  --out DIR         where to write (created if missing)\n"
        "  --fps N           frames per second of the virtual clock (default 50)\n"
        "  --seconds S       length (default: until the song first jumps back, at most 10 minutes)\n"
        "  --frames N        length in frames, in place of --seconds\n"
        "  --from K --to L   write only frames K to L-1 (the frames before K are still run)\n"
        "  --video FILE.mp4  also write an H.264 video with the audio (needs ffmpeg)\n"
        "  --quiet           no progress bar\n"
        "  --help            this text\n",
        to);
}

bool fail(const std::string& what, const std::string& reason) {
    std::fprintf(stderr, "demo-capture: %s: %s\n", what.c_str(), reason.c_str());
    return false;
}

bool parseNumber(const char* text, double low, double high, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && errno == 0 && value >= low && value <= high;
}

bool parseOptions(int argc, char** argv, Options& o, bool& help) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            help = true;
            return true;
        }
        if (a == "--quiet") {
            o.quiet = true;
            continue;
        }
        if (i + 1 >= argc) return fail(a, a.rfind("--", 0) == 0 ? "needs a value" : "unexpected argument (see --help)");
        const char* value = argv[++i];
        double v = 0;
        if (a == "--out") o.out = value;
        else if (a == "--video") o.video = value;
        else if (a == "--fps") {
            if (!parseNumber(value, 1, 1000, v) || v != std::floor(v)) return fail(a, "wants a whole number from 1 to 1000");
            o.fps = int32_t(v);
        } else if (a == "--seconds") {
            if (!parseNumber(value, 0, kMaxSeconds * 10, v)) return fail(a, "wants a number of seconds from 0 to 6000");
            o.seconds = v;
        } else if (a == "--frames" || a == "--from" || a == "--to") {
            if (!parseNumber(value, 0, 1e9, v) || v != std::floor(v)) return fail(a, "wants a whole number of frames");
            (a == "--frames" ? o.frames : a == "--from" ? o.from : o.to) = int64_t(v);
        } else {
            return fail(a, "unknown option (see --help)");
        }
    }
    if (o.out.empty()) return fail("--out", "is required (see --help)");
    if (o.seconds >= 0 && o.frames >= 0) return fail("--frames", "give either --seconds or --frames");
    if (o.to >= 0 && o.to <= o.from) return fail("--to", "must be above --from");
    return true;
}



// The frame as an 8-bit RGB PNG (the window shows blue, green, red and ignores the fourth byte).
bool writePng(const std::string& path, std::span<const uint8_t> bgrx) {
    if (bgrx.size() != size_t(kWidth) * kHeight * 4) return fail(path, "no 640×480 frame was presented");
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return fail(path, std::strerror(errno));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<uint8_t> row(kWidth * 3);
    bool ok = png && info;
    if (ok && setjmp(png_jmpbuf(png))) ok = false;
    if (ok) {
        png_init_io(png, f);
        png_set_compression_level(png, 3);  // frames are many: speed over the last few per cent
        png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < kHeight; ++y) {
            const uint8_t* p = &bgrx[size_t(y) * kWidth * 4];
            for (int x = 0; x < kWidth; ++x) {
                row[x * 3 + 0] = p[x * 4 + 2];
                row[x * 3 + 1] = p[x * 4 + 1];
                row[x * 3 + 2] = p[x * 4 + 0];
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    ok = (std::fclose(f) == 0) && ok;
    return ok ? true : fail(path, "cannot write the PNG");
}

bool haveFfmpeg() { return std::system("command -v ffmpeg >/dev/null 2>&1") == 0; }

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Progress {
    bool                                  quiet = false;
    int64_t                               total = -1;  // unknown until the song loops
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point shown{};

    void show(int64_t done, bool last = false) {
        if (quiet) return;
        const auto now = std::chrono::steady_clock::now();
        if (!last && now - shown < std::chrono::milliseconds(250)) return;
        shown = now;
        const double elapsed = std::chrono::duration<double>(now - started).count();
        const double rate = elapsed > 0 ? done / elapsed : 0;
        if (total > 0) {
            const int width = 30, filled = int(width * done / total);
            const double left = rate > 0 ? (total - done) / rate : 0;
            std::fprintf(stderr, "\r[%s%s] %lld/%lld frames, %.0f fps, %d:%02d left ", std::string(filled, '#').c_str(),
                         std::string(width - filled, '.').c_str(), static_cast<long long>(done),
                         static_cast<long long>(total), rate, int(left) / 60, int(left) % 60);
        } else {
            std::fprintf(stderr, "\r%lld frames, %.0f fps (until the song loops) ", static_cast<long long>(done), rate);
        }
        if (last) std::fputc('\n', stderr);
    }
};

int run(const Options& o) {
    std::error_code error;
    fs::create_directories(o.out, error);
    if (error || !fs::is_directory(o.out)) return fail(o.out, "cannot create the directory"), 1;
    if (!o.video.empty() && !haveFfmpeg()) return fail(o.video, "ffmpeg is not installed; install it to write video"), 1;

    OfflineRun capture{};
    std::string reason;
    if (!startOfflineRun(capture, o.fps, reason)) return fail("start-up", reason), 1;

    const int64_t untilLoop = int64_t(kMaxSeconds * o.fps);
    const int64_t total = o.frames >= 0 ? o.frames : o.seconds >= 0 ? int64_t(std::ceil(o.seconds * o.fps)) : -1;
    const int64_t last = o.to >= 0 ? (total >= 0 ? std::min(o.to, total) : o.to) : total;  // frames < last
    const int64_t audioStart = o.from * kMixRate / o.fps;

    OutputFile wav, csv;
    bool ok = openOutput(wav, (fs::path(o.out) / "audio.wav").string(), kTool) &&
              openOutput(csv, (fs::path(o.out) / "frames.csv").string(), kTool);
    FILE* encoder = nullptr;
    const std::string silentVideo = o.video + ".partial.mp4";
    if (ok && !o.video.empty()) {
        const std::string command = "ffmpeg -y -loglevel error -f rawvideo -pix_fmt bgr0 -s 640x480 -r " +
                                    std::to_string(o.fps) + " -i - -c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p " +
                                    quoted(silentVideo);
        encoder = popen(command.c_str(), "w");
        if (!encoder) ok = fail(o.video, "cannot start ffmpeg");
    }
    if (ok) ok = writeWavHeader(wav, 0, kTool);  // the sizes are filled in at the end
    if (ok) std::fputs("frame,tick,songPosition,scenePosition,demoTime,frameStep\n", csv.file);

    int64_t audioFrames = 0;
    int64_t audioLimit = INT64_MAX;  // the end of the audio, known once the frames are done
    const std::vector<int16_t> silence(size_t(blockFrames()) * 2, 0);
    auto played = [&](int64_t block, const int16_t* frames) {
        // Only the part of the block inside the captured range.
        const int64_t first = block * blockFrames();
        const int64_t begin = std::max(first, audioStart), end = std::min(first + blockFrames(), audioLimit);
        if (begin >= end || !ok) return;
        const int16_t* source = (frames ? frames : silence.data()) + (begin - first) * 2;
        const size_t count = size_t(end - begin);
        if (std::fwrite(source, 4, count, wav.file) != count) ok = fail(wav.path, std::strerror(errno));
        audioFrames += int64_t(count);
    };

    Progress progress;
    progress.quiet = o.quiet;
    progress.total = last;
    int64_t frames = 0;  // frames run
    const OfflinePlatform& screen = offlinePlatform();
    for (int64_t k = 0; ok && (last < 0 ? k < untilLoop : k < last); ++k) {
        runFrame(capture, k, played);
        const FrameDriver& d = frameDriver();
        if (last < 0 && d.songWrapped) break;  // the song went back: the capture ends before this frame
        std::fprintf(csv.file, "%lld,%u,%d,%d,%.9g,%.9g\n", static_cast<long long>(k), screen.tickCount,
                     d.lastSongPosition, d.scenePosition, double(d.clock.demoTime), double(d.clock.frameStep));
        if (k >= o.from) {
            char name[32];
            std::snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(k));
            const std::span<const uint8_t> frame = presentedFrame();
            ok = writePng((fs::path(o.out) / name).string(), frame);
            if (ok && encoder && std::fwrite(frame.data(), 1, frame.size(), encoder) != frame.size())
                ok = fail(o.video, "ffmpeg stopped reading frames");
        }
        frames = k + 1;
        progress.show(frames);
    }
    progress.show(frames, true);

    // The audio as long as the frames: the rest still lies in the ring.
    audioLimit = frames * kMixRate / o.fps;
    if (ok) flushAudio(capture, audioLimit, played);
    if (ok) ok = writeWavHeader(wav, uint32_t(audioFrames * 4), kTool);
    ok = closeOutput(wav, ok, kTool) && ok;
    ok = closeOutput(csv, ok, kTool) && ok;
    if (encoder) {
        const bool encoded = pclose(encoder) == 0;
        if (ok && !encoded) ok = fail(o.video, "ffmpeg failed to encode the frames");
        if (ok) {
            const std::string mux = "ffmpeg -y -loglevel error -i " + quoted(silentVideo) + " -i " +
                                    quoted((fs::path(o.out) / "audio.wav").string()) +
                                    " -c:v copy -c:a aac -b:a 192k -shortest " + quoted(o.video);
            if (std::system(mux.c_str()) != 0) ok = fail(o.video, "ffmpeg failed to add the audio");
        }
        fs::remove(silentVideo, error);
    }
    endOfflineRun();
    if (!ok) return 1;
    if (!o.quiet)
        std::fprintf(stderr, "demo-capture: %lld frames (%.2f s) written to %s\n", static_cast<long long>(frames - o.from),
                     double(frames - o.from) / o.fps, o.out.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    bool help = false;
    if (!parseOptions(argc, argv, o, help)) return 1;
    if (help) {
        printUsage(stdout);
        return 0;
    }
    return run(o);
}
