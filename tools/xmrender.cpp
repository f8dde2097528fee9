// xmrender: renders an XM, MOD or S3M module to a WAV file through the player library, exactly the
// samples the demo hands to the audio device, block after block.
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
constexpr int64_t kBlockFrames = XMPLAYER_BLOCK_FRAMES;  // --seconds counts whole ones, --positions one line each

struct Options {
    std::string input, output, positions, trace;  // output "-": standard output
    double      seconds = -1;                     // < 0: the song's length
    int32_t     loops = 0;                        // passes after the first, for the song's length
    // Unless given: the demo's own player for an XM, the tracker of its format for a MOD or S3M.
    std::optional<xmplayer_profile> profile;
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
        "\n"
        "Renders an XM, MOD or S3M module (the file's content tells which) to a 16-bit stereo\n"
        "44100 Hz WAV file through the demo's own player: the samples are exactly the bytes the\n"
        "demo hands to the audio device, block after block.\n"
        "OUTPUT.wav \"-\" writes the WAV to standard output (its sizes then read 0xFFFFFFFF).\n"
        "\n"
        "By default the WAV ends where the song ends: at the first row it is about to play a second\n"
        "time (a jump back, a jump to itself, the end of the order list; not a pattern loop's repeat).\n"
        "It never runs past 30 minutes.\n"
        "\n"
        "options:\n"
        "  --loops N            play the song N + 1 times (default 0)\n"
        "  --seconds S          length in seconds, in whole 884-frame blocks, in place of the\n"
        "                       song's length (at most 1800)\n"
        "  --positions FILE.csv one line per 884-frame block: block,orderPosition,row,playTimeMs\n"
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
        const bool takesValue = a == "--seconds" || a == "--loops" || a == "--positions" || a == "--trace" ||
                               a == "--profile";
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
        } else {
            if (std::strcmp(value, "-") == 0) return fail(a, "only the WAV can go to standard output"), Parsed::failed;
            (a == "--positions" ? o.positions : o.trace) = value;
        }
    }
    if (files.size() != 2) {
        printUsage(stderr);
        return Parsed::failed;
    }
    o.input = files[0];
    o.output = files[1];
    return Parsed::run;
}

// Refuses what would lose or damage a file, before anything is written.
bool checkFiles(const Options& o) {
    std::error_code error;
    if (std::filesystem::is_directory(o.input, error)) return fail(o.input, "is a directory, not a module");
    if (FILE* probe = std::fopen(o.input.c_str(), "rb")) std::fclose(probe);
    else return fail(o.input, std::strerror(errno));
    if (o.output == "-" && isatty(STDOUT_FILENO))
        return fail("standard output", "is a terminal: redirect it, or name a file in place of \"-\"");
    std::vector<PlannedOutput> outputs;
    if (o.output != "-") outputs.push_back({o.output, "the WAV"});
    if (!o.positions.empty()) outputs.push_back({o.positions, "--positions"});
    if (!o.trace.empty()) outputs.push_back({o.trace, "--trace"});
    return checkOutputs({o.input}, outputs, kTool);
}

// Writes the song in 884-frame blocks, as the device would play them, up to `limit` frames or the
// song's end; `frames` is what was written.
bool render(xmplayer* player, int64_t limit, OutputFile& wav, FILE* positions, int64_t& frames) {
    std::vector<int16_t> block(size_t(kBlockFrames) * 2);
    frames = 0;
    for (int64_t a = 0; frames < limit; ++a) {
        const size_t count = xmplayer_render_s16(player, block.data(), size_t(std::min(kBlockFrames, limit - frames)));
        if (count == 0) break;
        if (std::fwrite(block.data(), 4, count, wav.file) != count) return fail(wav.path, std::strerror(errno));
        frames += int64_t(count);
        if (positions) {
            xmplayer_position at{};
            xmplayer_get_position(player, &at);
            std::fprintf(positions, "%lld,%d,%d,%d\n", static_cast<long long>(a), at.order & 0xFF, at.row & 0xFF,
                         at.time_ms);
        }
        if (int64_t(count) < kBlockFrames) break;
    }
    return true;
}

int run(const Options& o) {
    if (!checkFiles(o)) return 1;
    char reason[256] = "";
    xmplayer_module* module = xmplayer_load_file(o.input.c_str(), reason, sizeof reason);
    if (!module) {
        fail(o.input, reason);
        return 1;
    }
    // What the loader warns of (bytes missing, instruments that play silent), a line each.
    for (std::string warnings = xmplayer_module_warnings(module); !warnings.empty();) {
        const size_t end = warnings.find('\n');
        fail(o.input, "warning: " + warnings.substr(0, end));
        warnings.erase(0, end == std::string::npos ? end : end + 1);
    }
    const xmplayer_profile profile =
        o.profile.value_or(xmplayer_module_format(module) == XMPLAYER_FORMAT_XM ? XMPLAYER_PROFILE_DEFAULT
                                                                                : XMPLAYER_PROFILE_AUTO);

    OutputFile wav, positions, traceFile;
    if (o.output == "-") useStandardOutput(wav);
    bool ok = (o.output == "-" || openOutput(wav, o.output, kTool)) &&
              (o.positions.empty() || openOutput(positions, o.positions, kTool)) &&
              (o.trace.empty() || openOutput(traceFile, o.trace, kTool));
    xmplayer* player = ok ? xmplayer_create(module, profile) : nullptr;
    if (ok && !player) ok = fail(o.input, "the player could not start");
    // --seconds counts whole blocks and plays on past the song's end; otherwise the song's end,
    // `loops` passes later, ends the WAV.
    const int64_t cap = int64_t(kMaxSeconds) * XMPLAYER_RATE;
    const int64_t limit = o.seconds >= 0 ? int64_t(std::ceil(o.seconds * XMPLAYER_RATE / kBlockFrames)) * kBlockFrames
                                         : cap;
    if (player) xmplayer_set_loops(player, o.seconds >= 0 ? -1 : o.loops);
    if (player && traceFile.file) {
        std::fputs("frame,orderPosition,row,tick,tempo,bpm,globalVolume\n", traceFile.file);
        xmplayer_set_tick_report(player, traceTick, traceFile.file);
    }

    const auto started = std::chrono::steady_clock::now();
    int64_t frames = 0;
    if (ok) {
        // A file gets its sizes at the end; a stream cannot go back and says "unknown".
        ok = writeWavHeader(wav, wav.file == stdout ? kStreamedWavBytes : 0, kTool);
        if (positions.file) std::fputs("block,orderPosition,row,playTimeMs\n", positions.file);
        ok = ok && render(player, limit, wav, positions.file, frames);
        if (ok && o.seconds < 0 && !xmplayer_ended(player))
            fail(o.input, "the song has not ended after 30 minutes: the WAV stops there");
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (ok && wav.file != stdout) ok = writeWavHeader(wav, uint32_t(frames * 4), kTool);
    ok = closeOutputs({&wav, &positions, &traceFile}, ok, kTool) && ok;
    xmplayer_free(player);
    xmplayer_free_module(module);
    if (!ok) return 1;

    const double seconds = double(frames) / XMPLAYER_RATE;
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
