// demo-capture: the whole demo rendered offline to PNG frames, a WAV file and a CSV of the clock
// and the timeline, optionally an H.264 video, exactly as the live demo would show and play it.
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "host/demo.h"
#include "host/frame_driver.h"
#include "platform/offline/offline_platform.h"
#include "xmplayer.h"
#include "tools/output_file.h"
#include "tools/offline_run.h"
#include "version.h"

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

enum class Parsed { run, help, version, failed };

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
        "  --seconds S       length (default: the embedded song's length, as xmrender measures it;\n"
        "                    at most 10 minutes)\n"
        "  --frames N        length in frames, in place of --seconds\n"
        "  --from K --to L   write only frames K to L-1 (the frames before K are still run)\n"
        "  --video FILE.mp4  also write an H.264 video with the audio (needs ffmpeg)\n"
        "  --quiet           no progress bar (it is drawn only where stderr is a terminal)\n"
        "  --help            this text\n"
        "  --version         the version\n",
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

Parsed parseOptions(int argc, char** argv, Options& o) {
    const auto failed = [](const std::string& what, const std::string& reason) {
        fail(what, reason);
        return Parsed::failed;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") return Parsed::help;
        if (a == "--version") return Parsed::version;
        if (a == "--quiet") {
            o.quiet = true;
            continue;
        }
        const bool takesValue = a == "--out" || a == "--video" || a == "--fps" || a == "--seconds" || a == "--frames" ||
                                a == "--from" || a == "--to";
        if (!takesValue)
            return failed(a, a.rfind("-", 0) == 0 ? "unknown option (see --help)" : "unexpected argument (see --help)");
        if (i + 1 >= argc) return failed(a, "needs a value");
        const char* value = argv[++i];
        double v = 0;
        if (a == "--out") o.out = value;
        else if (a == "--video") o.video = value;
        else if (a == "--fps") {
            if (!parseNumber(value, 1, 1000, v) || v != std::floor(v)) return failed(a, "wants a whole number from 1 to 1000");
            o.fps = int32_t(v);
        } else if (a == "--seconds") {
            if (!parseNumber(value, 0, kMaxSeconds * 10, v)) return failed(a, "wants a number of seconds from 0 to 6000");
            o.seconds = v;
        } else {
            if (!parseNumber(value, 0, 1e9, v) || v != std::floor(v)) return failed(a, "wants a whole number of frames");
            (a == "--frames" ? o.frames : a == "--from" ? o.from : o.to) = int64_t(v);
        }
    }
    if (o.out.empty()) return failed("--out", "is required (see --help)");
    if (o.seconds >= 0 && o.frames >= 0) return failed("--frames", "give either --seconds or --frames");
    if (o.to >= 0 && o.to <= o.from) return failed("--to", "must be above --from");
    return Parsed::run;
}

// The frame as an 8-bit RGB PNG (the window shows blue, green, red and ignores the fourth byte).
// libpng reports an error by a long jump back to the setjmp; nothing set after it is read there.
bool encodePng(FILE* file, std::span<const uint8_t> bgrx) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<uint8_t> row(kWidth * 3);
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_compression_level(png, 3);  // frames are many: speed over the last few per cent
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
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
    png_destroy_write_struct(&png, &info);
    return true;
}

// The PNG under its temporary name, renamed into place once complete.
bool writePng(const std::string& path, std::span<const uint8_t> bgrx) {
    if (bgrx.size() != size_t(kWidth) * kHeight * 4) return fail(path, "no 640×480 frame was presented");
    OutputFile f;
    if (!openOutput(f, path, kTool)) return false;
    const bool ok = encodePng(f.file, bgrx) || fail(path, "cannot write the PNG");
    return closeOutput(f, ok, kTool) && ok;
}

bool haveFfmpeg() { return std::system("command -v ffmpeg >/dev/null 2>&1") == 0; }

std::string shellQuoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The video goes through ffmpeg twice: the frames into a silent H.264 file while they are
// rendered, then that and audio.wav into the file asked for. Both are written under temporary
// names, and ffmpeg's own messages go to a log, of which a failure reports the last line.
struct Video {
    std::string path;    // what --video names
    std::string silent;  // the frames alone
    std::string muxed;   // the finished video before it is renamed; keeps the extension for ffmpeg
    std::string log;     // ffmpeg's messages
    FILE*       frames = nullptr;  // ffmpeg's standard input while the frames are encoded
    bool        stopped = false;   // ffmpeg stopped taking frames
};

// The last line ffmpeg wrote, for a one-line message.
std::string lastLogLine(const std::string& log) {
    FILE* f = std::fopen(log.c_str(), "r");
    if (!f) return "";
    std::string last;
    char line[512];
    while (std::fgets(line, sizeof line, f)) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        if (!text.empty()) last = text;
    }
    std::fclose(f);
    return last;
}

bool ffmpegFailed(const Video& v, const char* step) {
    const std::string said = lastLogLine(v.log);
    return fail(v.path, std::string("ffmpeg failed ") + step + (said.empty() ? "" : ": " + said));
}

// Checks before anything is rendered that the video can be written where it is asked for.
bool prepareVideo(Video& v, const std::string& path) {
    v.path = path;
    v.silent = path + ".frames.partial.mp4";
    v.muxed = path + ".partial" + fs::path(path).extension().string();
    if (!haveFfmpeg()) return fail(path, "ffmpeg is not installed; install it to write video");
    FILE* probe = std::fopen(v.muxed.c_str(), "wb");
    if (!probe) return fail(path, std::strerror(errno));
    std::fclose(probe);
    std::remove(v.muxed.c_str());
    v.log = (fs::temp_directory_path() / ("demo-capture-ffmpeg-" + std::to_string(getpid()) + ".log")).string();
    return true;
}

bool startVideo(Video& v, int32_t fps) {
    const std::string command = "ffmpeg -y -nostdin -loglevel error -f rawvideo -pix_fmt bgr0 -s 640x480 -r " +
                                std::to_string(fps) + " -i - -c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p " +
                                shellQuoted(v.silent) + " 2>" + shellQuoted(v.log);
    v.frames = popen(command.c_str(), "w");
    return v.frames ? true : fail(v.path, "cannot start ffmpeg");
}

// Ends the encoding; with `keep`, adds the audio and renames the video into place. Leaves no
// temporary file behind either way.
bool finishVideo(Video& v, bool keep, const std::string& audio) {
    bool ok = keep;
    if (v.frames) {
        const bool encoded = pclose(v.frames) == 0;
        v.frames = nullptr;
        if (!encoded) ok = ffmpegFailed(v, "to encode the frames");
        else if (v.stopped) ok = fail(v.path, "ffmpeg stopped taking frames");
    }
    if (ok) {
        const std::string mux = "ffmpeg -y -nostdin -loglevel error -i " + shellQuoted(v.silent) + " -i " +
                                shellQuoted(audio) + " -c:v copy -c:a aac -b:a 192k -shortest " + shellQuoted(v.muxed) +
                                " 2>" + shellQuoted(v.log);
        if (std::system(mux.c_str()) != 0) ok = ffmpegFailed(v, "to add the audio");
        else if (std::rename(v.muxed.c_str(), v.path.c_str()) != 0) ok = fail(v.path, std::strerror(errno));
    }
    for (const std::string& temporary : {v.silent, v.muxed, v.log}) std::remove(temporary.c_str());
    return ok;
}

// A progress bar on stderr, drawn only where stderr is a terminal.
struct Progress {
    bool                                  shown = false;
    int64_t                               total = 0;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point drawn{};

    void show(int64_t done, bool last = false) {
        if (!shown) return;
        const auto now = std::chrono::steady_clock::now();
        if (!last && now - drawn < std::chrono::milliseconds(250)) return;
        drawn = now;
        const double elapsed = std::chrono::duration<double>(now - started).count();
        const double rate = elapsed > 0 ? double(done) / elapsed : 0;
        const int width = 30, filled = total > 0 ? int(width * done / total) : width;
        const double left = rate > 0 ? double(total - done) / rate : 0;
        std::fprintf(stderr, "\r[%s%s] %lld/%lld frames, %.0f fps, %d:%02d left ", std::string(filled, '#').c_str(),
                     std::string(width - filled, '.').c_str(), static_cast<long long>(done),
                     static_cast<long long>(total), rate, int(left) / 60, int(left) % 60);
        if (last) std::fputc('\n', stderr);
    }
};

// Frames to run: --frames, --seconds, --to, or the embedded song's length; at most 10 minutes
// unless given in frames. -1 after a message when the song cannot be measured.
int64_t captureLength(const Options& o) {
    if (o.frames >= 0) return o.frames;
    if (o.seconds >= 0) return int64_t(std::ceil(o.seconds * o.fps));
    if (o.to >= 0) return o.to;
    int64_t songFrames = 0;
    std::string reason;
    if (!measureDemoSong(int64_t(kMaxSeconds) * XMPLAYER_RATE, songFrames, reason))
        return fail("the embedded song", reason + " (give --seconds or --frames)"), -1;
    // Every frame that shows part of the song: the last one may run a little past its end.
    return (songFrames * o.fps + XMPLAYER_RATE - 1) / XMPLAYER_RATE;
}

int run(const Options& o) {
    std::error_code error;
    fs::create_directories(o.out, error);
    if (error || !fs::is_directory(o.out)) return fail(o.out, "cannot create the directory"), 1;
    const std::string audioPath = (fs::path(o.out) / "audio.wav").string();
    const std::string csvPath = (fs::path(o.out) / "frames.csv").string();
    std::vector<PlannedOutput> outputs{{audioPath, "audio.wav"}, {csvPath, "frames.csv"}};
    if (!o.video.empty()) outputs.push_back({o.video, "--video"});
    if (!checkOutputs({}, outputs, kTool)) return 1;
    Video video;
    if (!o.video.empty() && !prepareVideo(video, o.video)) return 1;

    const int64_t total = captureLength(o);
    if (total < 0) return 1;
    const int64_t last = o.to >= 0 ? std::min(o.to, total) : total;  // frames < last are written
    if (o.from >= last) {
        return fail("--from", std::to_string(o.from) + " is past the end: the capture has " + std::to_string(last) +
                                  " frames"),
               1;
    }
    const int64_t audioStart = o.from * XMPLAYER_RATE / o.fps;

    OfflineRun capture{};
    std::string reason;
    if (!startOfflineRun(capture, o.fps, reason)) return fail("start-up", reason), 1;

    OutputFile wav, csv;
    bool ok = openOutput(wav, audioPath, kTool) && openOutput(csv, csvPath, kTool);
    if (ok && !o.video.empty()) ok = startVideo(video, o.fps);
    if (ok) ok = writeWavHeader(wav, 0, kTool);  // the sizes are filled in at the end
    if (ok) std::fputs("frame,tick,songPosition,scenePosition,demoTime,frameStep\n", csv.file);

    int64_t audioFrames = 0;
    int64_t audioLimit = INT64_MAX;  // the end of the audio, known once the frames are done
    const std::vector<int16_t> silence(size_t(XMPLAYER_BLOCK_FRAMES) * 2, 0);
    auto played = [&](int64_t block, const int16_t* frames) {
        // Only the part of the block inside the captured range.
        const int64_t first = block * XMPLAYER_BLOCK_FRAMES;
        const int64_t begin = std::max(first, audioStart), end = std::min(first + XMPLAYER_BLOCK_FRAMES, audioLimit);
        if (begin >= end || !ok) return;
        const int16_t* source = (frames ? frames : silence.data()) + (begin - first) * 2;
        const size_t count = size_t(end - begin);
        if (std::fwrite(source, 4, count, wav.file) != count) ok = fail(wav.path, std::strerror(errno));
        audioFrames += int64_t(count);
    };

    Progress progress;
    progress.shown = !o.quiet && isatty(STDERR_FILENO);
    progress.total = last;
    int64_t frames = 0;  // frames run
    const OfflinePlatform& screen = offlinePlatform();
    for (int64_t k = 0; ok && k < last; ++k) {
        runFrame(capture, k, played);
        const FrameDriver& d = capture.demo->driver;
        std::fprintf(csv.file, "%lld,%u,%d,%d,%.9g,%.9g\n", static_cast<long long>(k), screen.tickCount,
                     d.lastSongPosition, d.scenePosition, double(d.clock.demoTime), double(d.clock.frameStep));
        if (k >= o.from) {
            char name[32];
            std::snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(k));
            const std::span<const uint8_t> frame = presentedFrame();
            ok = writePng((fs::path(o.out) / name).string(), frame);
            if (ok && video.frames && std::fwrite(frame.data(), 1, frame.size(), video.frames) != frame.size())
                ok = false, video.stopped = true;  // finishVideo says why
        }
        frames = k + 1;
        progress.show(frames);
    }
    progress.show(frames, true);

    // The audio as long as the frames: the rest still lies in the ring.
    audioLimit = frames * XMPLAYER_RATE / o.fps;
    if (ok) flushAudio(capture, audioLimit, played);
    if (ok) ok = writeWavHeader(wav, uint32_t(audioFrames * 4), kTool);
    ok = closeOutputs({&wav, &csv}, ok, kTool) && ok;
    if (!o.video.empty()) ok = finishVideo(video, ok, audioPath) && ok;
    endOfflineRun(capture);
    if (!ok) return 1;
    if (!o.quiet)
        std::fprintf(stderr, "demo-capture: %lld frames (%.2f s) written to %s\n", static_cast<long long>(frames - o.from),
                     double(frames - o.from) / o.fps, o.out.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // When ffmpeg ends early, writing it more frames fails instead of ending this program.
    std::signal(SIGPIPE, SIG_IGN);
    Options o;
    switch (parseOptions(argc, argv, o)) {
    case Parsed::help:
        printUsage(stdout);
        return 0;
    case Parsed::version:
        std::puts("demo-capture " SKR_VERSION);
        return 0;
    case Parsed::failed:
        return 1;
    case Parsed::run:
        break;
    }
    return run(o);
}
