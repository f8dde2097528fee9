// xmrender: renders an XM, MOD or S3M module to a WAV file through the player library, exactly the
// samples the demo hands to the audio device, block after block; or says what the module is
// (--info).
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/output_file.h"
#include "tools/profile_names.h"
#include "version.h"
#include "xmplayer.h"

static_assert(std::endian::native == std::endian::little, "the WAV data is written as it lies in memory");

namespace {

constexpr const char* kTool = "xmrender";

constexpr double  kMaxSeconds = 30 * 60;
constexpr int32_t kMaxLoops = 1000;

struct Options {
    std::string input, output, positions, trace;  // input and output "-": standard input and output
    bool        info = false;                     // --info: what the module is, no WAV
    double      seconds = -1;                     // < 0: the song's length
    int32_t     loops = 0;                        // passes after the first, for the song's length
    // Unless given: the demo's own player for an XM, the tracker of its format for a MOD or S3M.
    std::optional<xmplayer_profile> profile;
    int32_t     rate = XMPLAYER_RATE;
    xmplayer_interpolation interpolation = XMPLAYER_INTERPOLATION_LINEAR;
    int32_t     separation = 100;                 // percent
    double      gain = 0;                         // dB
    double      start = 0;                        // --start: seconds into the song
    int32_t     startOrder = -1, startRow = 0;    // --start-row ORDER:ROW; order −1: none
};

// --trace: one line per tick, as the sequencer leaves it (its tick counter already on the next
// tick: 0 after a row's last).
void traceTick(const xmplayer_position* t, void* file) {
    const int nextTick = t->tick + 1 < t->row_ticks ? t->tick + 1 : 0;
    std::fprintf(static_cast<FILE*>(file), "%lld,%d,%d,%d,%d,%d,%d\n", static_cast<long long>(t->frame), t->order,
                 t->row, nextTick, t->tempo, t->bpm, t->global_volume);
}

void printUsage(FILE* to) {
    std::fputs(
        "usage: xmrender [options] INPUT OUTPUT.wav\n"
        "       xmrender [--profile NAME] [--loops N] --info INPUT\n"
        "\n"
        "Renders an XM, MOD or S3M module (the file's content tells which) to a 16-bit stereo WAV\n"
        "file (44100 Hz unless --rate says otherwise) through the demo's own player: the samples\n"
        "are exactly the bytes the demo hands to the audio device, block after block. INPUT \"-\"\n"
        "reads the module from standard input;\n"
        "OUTPUT.wav \"-\" writes the WAV to standard output (its sizes then read 0xFFFFFFFF).\n"
        "--info prints what the module is, one \"name: value\" a line, and renders nothing.\n"
        "\n"
        "By default the WAV ends where the song ends: at the first row it is about to play a second\n"
        "time (a jump back, a jump to itself, the end of the order list; not a pattern loop's repeat).\n"
        "It never runs past 30 minutes.\n"
        "\n"
        "options:\n"
        "  --loops N            play the song N + 1 times (default 0)\n"
        "  --seconds S          length in seconds, in whole blocks of about 20 ms (884 frames at\n"
        "                       44100 Hz), in place of the song's length (at most 1800)\n"
        "  --start S            start S seconds into the song (e.g. 90.5); --seconds counts from there\n"
        "  --start-row O:R      start at row R of order-list entry O, where the song first plays it\n"
        "  --rate HZ            frames per second, 8000 to 192000 (default 44100)\n"
        "  --interpolation NAME none, linear (the default: the demo's sound) or cubic\n"
        "  --separation P       stereo separation in percent, 0 (mono) to 200 (default 100)\n"
        "  --gain DB            gain in dB, -100 to 40 (default 0)\n"
        "  --positions FILE.csv one line per block: block,orderPosition,row,playTimeMs\n"
        "  --trace FILE.csv     one line per sequencer tick:\n"
        "                       frame,orderPosition,row,tick,tempo,bpm,globalVolume\n"
        "  --profile NAME       how the module is played (default: default for an XM, auto for\n"
        "                       a MOD or S3M):\n",
        to);
    printProfiles(to, 25);
    std::fputs(
        "  --help               this text\n"
        "  --version            the version\n",
        to);
}

bool fail(const std::string& what, const std::string& reason) {
    std::fprintf(stderr, "xmrender: %s: %s\n", what.c_str(), reason.c_str());
    return false;
}

enum class Parsed { run, help, version, failed };

// Parses the command line; `failed` after a message when it is unusable.
Parsed parseOptions(int argc, char** argv, Options& o) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") return Parsed::help;
        if (a == "--version") return Parsed::version;
        if (a == "--info") {
            o.info = true;
            continue;
        }
        const bool takesValue = a == "--seconds" || a == "--loops" || a == "--positions" || a == "--trace" ||
                               a == "--profile" || a == "--rate" || a == "--interpolation" || a == "--separation" ||
                               a == "--gain" || a == "--start" || a == "--start-row";
        if (!takesValue) {
            if (a.size() > 1 && a[0] == '-') return fail(a, "unknown option (see --help)"), Parsed::failed;
            files.push_back(a);
            continue;
        }
        if (i + 1 >= argc) return fail(a, "needs a value"), Parsed::failed;
        const char* value = argv[++i];
        char* end = nullptr;
        if (a == "--seconds") {
            o.seconds = std::strtod(value, &end);
            if (end == value || *end || !(o.seconds >= 0) || o.seconds > kMaxSeconds)
                return fail(value, "--seconds wants a number from 0 to 1800"), Parsed::failed;
        } else if (a == "--loops") {
            const long loops = std::strtol(value, &end, 10);
            if (end == value || *end || loops < 0 || loops > kMaxLoops)
                return fail(value, "--loops wants a whole number from 0 to 1000"), Parsed::failed;
            o.loops = int32_t(loops);
        } else if (a == "--profile") {
            const int profile = xmplayer_profile_from_name(value);
            if (profile < 0) return fail(value, "--profile wants " + profileNames()), Parsed::failed;
            o.profile = xmplayer_profile(profile);
        } else if (a == "--rate") {
            const long rate = std::strtol(value, &end, 10);
            if (end == value || *end || rate < XMPLAYER_RATE_MIN || rate > XMPLAYER_RATE_MAX)
                return fail(value, "--rate wants a whole number from 8000 to 192000"), Parsed::failed;
            o.rate = int32_t(rate);
        } else if (a == "--interpolation") {
            const int interpolation = xmplayer_interpolation_by_name(value);
            if (interpolation < 0) return fail(value, "--interpolation wants none, linear or cubic"), Parsed::failed;
            o.interpolation = xmplayer_interpolation(interpolation);
        } else if (a == "--separation") {
            const long percent = std::strtol(value, &end, 10);
            if (end == value || *end || percent < 0 || percent > 200)
                return fail(value, "--separation wants a whole number from 0 to 200"), Parsed::failed;
            o.separation = int32_t(percent);
        } else if (a == "--gain") {
            o.gain = std::strtod(value, &end);
            if (end == value || *end || !(o.gain >= -100 && o.gain <= 40))
                return fail(value, "--gain wants a number of dB from -100 to 40"), Parsed::failed;
        } else if (a == "--start") {
            o.start = std::strtod(value, &end);
            if (end == value || *end || !(o.start >= 0) || o.start > 24 * 3600)
                return fail(value, "--start wants a number of seconds from 0 to 86400"), Parsed::failed;
        } else if (a == "--start-row") {
            const long order = std::strtol(value, &end, 10);
            const char* rowText = *end == ':' ? end + 1 : nullptr;
            const long row = rowText ? std::strtol(rowText, &end, 10) : -1;
            if (!rowText || end == rowText || *end || order < 0 || order > 255 || row < 0 || row > 1023)
                return fail(value, "--start-row wants ORDER:ROW, e.g. 4:0"), Parsed::failed;
            o.startOrder = int32_t(order);
            o.startRow = int32_t(row);
        } else {
            if (std::strcmp(value, "-") == 0) return fail(a, "only the WAV can go to standard output"), Parsed::failed;
            (a == "--positions" ? o.positions : o.trace) = value;
        }
    }
    if (files.size() != (o.info ? 1u : 2u)) {
        printUsage(stderr);
        return Parsed::failed;
    }
    if (o.start > 0 && o.startOrder >= 0) return fail("--start", "and --start-row cannot both be given"), Parsed::failed;
    o.input = files[0];
    if (!o.info) o.output = files[1];
    return Parsed::run;
}

// Refuses what would lose or damage a file, before anything is written.
bool checkFiles(const Options& o) {
    const bool fromStdin = o.input == "-";
    std::error_code error;
    if (!fromStdin && std::filesystem::is_directory(o.input, error)) return fail(o.input, "is a directory, not a module");
    if (fromStdin) {
        if (isatty(STDIN_FILENO)) return fail("standard input", "is a terminal: pipe a module into it, or name a file");
    } else if (FILE* probe = std::fopen(o.input.c_str(), "rb")) {
        std::fclose(probe);
    } else {
        return fail(o.input, std::strerror(errno));
    }
    if (o.info) return true;
    if (o.output == "-" && isatty(STDOUT_FILENO))
        return fail("standard output", "is a terminal: redirect it, or name a file in place of \"-\"");
    std::vector<PlannedOutput> outputs;
    if (o.output != "-") outputs.push_back({o.output, "the WAV"});
    if (!o.positions.empty()) outputs.push_back({o.positions, "--positions"});
    if (!o.trace.empty()) outputs.push_back({o.trace, "--trace"});
    return checkOutputs(fromStdin ? std::vector<std::string>{} : std::vector<std::string>{o.input}, outputs, kTool);
}

// The module named on the command line, standard input's for "-"; nullptr after a message.
xmplayer_module* load(const std::string& input) {
    char reason[256] = "";
    xmplayer_module* module = nullptr;
    if (input == "-") {
        std::vector<uint8_t> bytes;
        uint8_t chunk[65536];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
        if (std::ferror(stdin)) return fail("standard input", std::strerror(errno)), nullptr;
        module = xmplayer_load_memory(bytes.data(), bytes.size(), nullptr, reason, sizeof reason);
    } else {
        module = xmplayer_load_file(input.c_str(), nullptr, reason, sizeof reason);
    }
    if (!module) fail(input == "-" ? "standard input" : input, reason);
    return module;
}

// The profile the module plays with: --profile's, else the demo's own player for an XM and the
// tracker of its format (auto) for a MOD or S3M.
xmplayer_profile profileFor(const Options& o, const xmplayer_module* module) {
    return o.profile.value_or(xmplayer_module_format(module) == XMPLAYER_FORMAT_XM ? XMPLAYER_PROFILE_DEFAULT
                                                                                    : XMPLAYER_PROFILE_AUTO);
}

// --info: one "name: value" a line on standard output.
int printInfo(const Options& o, const xmplayer_module* module) {
    xmplayer_info info{};
    xmplayer_get_info(module, &info, sizeof info);
    const double duration = xmplayer_song_duration(module, profileFor(o, module), o.loops);
    std::printf("title: %s\ntracker: %s\nformat: %s\nchannels: %d\norders: %d\npatterns: %d\ninstruments: %d\n"
                "samples: %d\n",
                info.title, info.tracker, info.format, info.channels, info.orders, info.patterns, info.instruments,
                info.samples);
    if (duration >= 0) std::printf("duration: %.3f s\n", duration);
    else std::printf("duration: unknown: the song plays on past 24 hours or 4194304 ticks\n");
    return 0;
}

// Writes the song in blocks, as the device would play them, up to `limit` frames or the song's
// end; `frames` is what was written.
bool render(xmplayer* player, int64_t limit, OutputFile& wav, FILE* positions, int64_t& frames) {
    const int64_t blockFrames = xmplayer_block_frames(xmplayer_get_rate(player));
    std::vector<int16_t> block(size_t(blockFrames) * 2);
    frames = 0;
    for (int64_t a = 0; frames < limit; ++a) {
        const size_t count = xmplayer_render_s16(player, block.data(), size_t(std::min(blockFrames, limit - frames)));
        if (count == 0) break;
        if (std::fwrite(block.data(), 4, count, wav.file) != count) return fail(wav.path, std::strerror(errno));
        frames += int64_t(count);
        if (positions) {
            xmplayer_position at{};
            xmplayer_get_position(player, &at, sizeof at);
            std::fprintf(positions, "%lld,%d,%d,%d\n", static_cast<long long>(a), at.order & 0xFF, at.row & 0xFF,
                         at.time_ms);
        }
        if (int64_t(count) < blockFrames) break;
    }
    return true;
}

// The player as the options set it up, at its starting point; nullptr after a message.
xmplayer* startPlayer(const Options& o, const xmplayer_module* module) {
    xmplayer* player = xmplayer_create(module, profileFor(o, module));
    if (!player) return fail(o.input, "the player could not start"), nullptr;
    // --seconds plays on past the song's end; otherwise the song's end, `loops` passes later,
    // ends the WAV.
    xmplayer_set_loops(player, o.seconds >= 0 ? -1 : o.loops);
    xmplayer_set_interpolation(player, o.interpolation);
    xmplayer_set_separation(player, o.separation);
    xmplayer_set_gain(player, o.gain);
    xmplayer_error error = xmplayer_set_rate(player, o.rate);
    if (error == XMPLAYER_OK && o.startOrder >= 0) {
        error = xmplayer_seek_row(player, o.startOrder, o.startRow);
        if (error == XMPLAYER_ERROR_NOT_FOUND) {
            fail(o.input, "--start-row " + std::to_string(o.startOrder) + ":" + std::to_string(o.startRow) +
                              ": the song never plays that row");
            xmplayer_free(player);
            return nullptr;
        }
    } else if (error == XMPLAYER_OK && o.start > 0) {
        error = xmplayer_seek_frame(player, int64_t(o.start * o.rate));
        if (error == XMPLAYER_OK && xmplayer_ended(player)) {
            fail(o.input, "--start " + std::to_string(o.start) + ": the song has ended before (see --info)");
            xmplayer_free(player);
            return nullptr;
        }
    }
    if (error != XMPLAYER_OK) {
        fail(o.input, xmplayer_error_text(error));
        xmplayer_free(player);
        return nullptr;
    }
    return player;
}

int run(const Options& o) {
    if (!checkFiles(o)) return 1;
    xmplayer_module* module = load(o.input);
    if (!module) return 1;
    const std::string name = o.input == "-" ? "standard input" : o.input;
    xmplayer_info info{};
    xmplayer_get_info(module, &info, sizeof info);
    // What the loader warns of (bytes missing, instruments that play silent), a line each.
    for (std::string warnings = xmplayer_module_warnings(module); !warnings.empty();) {
        const size_t end = warnings.find('\n');
        fail(name, "warning: " + warnings.substr(0, end));
        warnings.erase(0, end == std::string::npos ? end : end + 1);
    }
    if (o.info) {
        const int status = printInfo(o, module);
        xmplayer_free_module(module);
        return status;
    }

    OutputFile wav, positions, traceFile;
    if (o.output == "-") useStandardOutput(wav);
    bool ok = (o.output == "-" || openOutput(wav, o.output, kTool)) &&
              (o.positions.empty() || openOutput(positions, o.positions, kTool)) &&
              (o.trace.empty() || openOutput(traceFile, o.trace, kTool));
    xmplayer* player = ok ? startPlayer(o, module) : nullptr;
    ok = ok && player;
    // --seconds counts whole blocks from the start point.
    const int64_t blockFrames = xmplayer_block_frames(o.rate);
    const int64_t cap = int64_t(kMaxSeconds) * o.rate;
    const int64_t limit =
        o.seconds >= 0 ? int64_t(std::ceil(o.seconds * o.rate / double(blockFrames))) * blockFrames : cap;
    if (player && traceFile.file) {
        std::fputs("frame,orderPosition,row,tick,tempo,bpm,globalVolume\n", traceFile.file);
        xmplayer_set_tick_report(player, traceTick, traceFile.file);
    }

    const auto started = std::chrono::steady_clock::now();
    int64_t frames = 0;
    if (ok) {
        // A file gets its sizes at the end; a stream cannot go back and says "unknown".
        ok = writeWavHeader(wav, wav.file == stdout ? kStreamedWavBytes : 0, kTool, uint32_t(o.rate));
        if (positions.file) std::fputs("block,orderPosition,row,playTimeMs\n", positions.file);
        ok = ok && render(player, limit, wav, positions.file, frames);
        if (ok && o.seconds < 0 && !xmplayer_ended(player))
            fail(name, "the song has not ended after 30 minutes: the WAV stops there");
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (ok && wav.file != stdout) ok = writeWavHeader(wav, uint32_t(frames * 4), kTool, uint32_t(o.rate));
    ok = closeOutputs({&wav, &positions, &traceFile}, ok, kTool) && ok;
    xmplayer_free(player);
    xmplayer_free_module(module);
    if (!ok) return 1;

    const double seconds = double(frames) / o.rate;
    // Standard output carries the WAV itself: the summary goes to stderr then.
    std::fprintf(o.output == "-" ? stderr : stdout, "%s: %.3f s of audio (%lld frames) in %.1f ms, %.1fx real time\n",
                 wav.path.c_str(), seconds, static_cast<long long>(frames), elapsed * 1000,
                 elapsed > 0 ? seconds / elapsed : 0.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // A reader that goes away makes a write fail, which is reported and cleaned up after.
    std::signal(SIGPIPE, SIG_IGN);
    Options o;
    switch (parseOptions(argc, argv, o)) {
    case Parsed::help:
        printUsage(stdout);
        return 0;
    case Parsed::version:
        std::puts("xmrender " SKR_VERSION);
        return 0;
    case Parsed::failed:
        return 1;
    case Parsed::run:
        break;
    }
    return run(o);
}
