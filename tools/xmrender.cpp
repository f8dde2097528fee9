// xmrender: renders an XM module to a WAV file through the player's own offline path, block by
// block, exactly as the demo hands its blocks to the audio device.
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
#include <string>
#include <vector>

#include "platform/offline/offline_audio.h"
#include "player/loader.h"
#include "player/module.h"
#include "player/output.h"
#include "player/profile.h"
#include "player/song_end.h"
#include "player/stream.h"
#include "tools/output_file.h"
#include "version.h"

static_assert(std::endian::native == std::endian::little, "the WAV data is written as it lies in memory");

namespace {

constexpr const char* kTool = "xmrender";

constexpr double  kMaxSeconds = 30 * 60;
constexpr int32_t kMaxLoops = 1000;

struct Options {
    std::string input, output, positions, trace;  // output "-": standard output
    double      seconds = -1;                     // < 0: the song's length
    int32_t     loops = 0;                        // passes after the first, for the song's length
    const PlaybackProfile* profile = &defaultProfile;  // the demo's own player
};

struct TickRecord {
    int64_t frame;
    int32_t orderPosition, row, tick, tempo, bpm, globalVolume;
};

// The song's own tick, followed by a note of where it left the module.
struct TraceState {
    TickCallback            songTick;
    std::vector<TickRecord> ticks;
};

TraceState& trace() {
    static TraceState state;
    return state;
}

void tracingTick(Module& m) {
    const int64_t frame = player().framesMixed;
    trace().songTick(m);
    trace().ticks.push_back({frame, m.orderPosition, m.row, m.tick, m.tempo, m.bpm, m.globalVolume});
}

void printUsage(FILE* to) {
    std::fputs(
        "usage: xmrender [options] INPUT.xm OUTPUT.wav\n"
        "\n"
        "Renders an XM module to a 16-bit stereo 44100 Hz WAV file through the demo's own player:\n"
        "the samples are exactly the bytes the demo hands to the audio device, block after block.\n"
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
        "  --profile NAME       how the module is played: default (the demo's player, as the demo\n"
        "                       plays its song) or ft2 (as FastTracker 2 plays it)\n"
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
            o.profile = profileByName(value);
            if (!o.profile) return fail(value, "--profile wants default or ft2"), Parsed::failed;
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
    if (std::filesystem::is_directory(o.input, error)) return fail(o.input, "is a directory, not an XM module");
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

// Writes absolute blocks 0, 1, 2, … as the device would play them, the last one only up to
// `frames`: after block a is written the device moves past it and the feeder renders ring block
// a mod 100 anew, one ring ahead.
bool render(int64_t frames, OutputFile& wav, FILE* positions) {
    const PlayerState& p = player();
    for (int64_t a = 0; a * p.blockFrames < frames; ++a) {
        const int32_t b = int32_t(a % p.blockCount);
        const size_t count = size_t(std::min<int64_t>(p.blockFrames, frames - a * p.blockFrames));
        const int16_t* block = p.outputBuffer + size_t(b) * p.blockFrames * 2;
        if (std::fwrite(block, 4, count, wav.file) != count) return fail(wav.path, std::strerror(errno));
        if (positions) {
            const SyncRecord& record = p.syncRecords[b];
            std::fprintf(positions, "%lld,%d,%d,%d\n", static_cast<long long>(a), record.orderPosition.load(),
                         record.row.load(), record.playTimeMs.load());
        }
        offlineAudio().position.store(uint32_t(uint64_t(a + 1) * uint64_t(p.blockFrames) * 4));
        feedPlayer();
    }
    return true;
}

void writeTrace(FILE* f, int64_t frames) {
    std::fputs("frame,orderPosition,row,tick,tempo,bpm,globalVolume\n", f);
    for (const TickRecord& t : trace().ticks)
        if (t.frame < frames)
            std::fprintf(f, "%lld,%d,%d,%d,%d,%d,%d\n", static_cast<long long>(t.frame), t.orderPosition, t.row,
                         t.tick, t.tempo, t.bpm, t.globalVolume);
}

int run(const Options& o) {
    if (!checkFiles(o)) return 1;
    setStreamCallbacks(fileStreamOpen, fileStreamClose, fileStreamRead, fileStreamSeek, fileStreamTell);
    std::string reason;
    Module* m = loadModule(o.input.c_str(), nullptr, &reason);
    if (!m) {
        fail(o.input, reason);
        return 1;
    }
    if (m->missingBytes > 0)
        fail(o.input, "warning: the file ends " + std::to_string(m->missingBytes) +
                          " bytes short of what its headers declare; they play as silence");

    OutputFile wav, positions, traceFile;
    if (o.output == "-") useStandardOutput(wav);
    bool ok = (o.output == "-" || openOutput(wav, o.output, kTool)) &&
              (o.positions.empty() || openOutput(positions, o.positions, kTool)) &&
              (o.trace.empty() || openOutput(traceFile, o.trace, kTool));
    SongLength song{0, true};
    if (ok && o.seconds < 0) {
        song = measureSongLength(*m, o.loops, int64_t(kMaxSeconds) * kMixRate, *o.profile);
        if (!song.ended) fail(o.input, "the song has not ended after 30 minutes: the WAV stops there");
    }
    trace().songTick = m->tickCallback;
    if (!o.trace.empty()) m->tickCallback = tracingTick;

    const auto started = std::chrono::steady_clock::now();
    if (ok) {
        resetOfflineAudio();
        ok = startPlayer(m, false, *o.profile) == PlayerStart::playing ? true : fail(o.input, "the player could not start");
    }
    // --seconds counts whole blocks; the song's length ends inside one.
    const int64_t blockFrames = player().blockFrames;
    const int64_t frames = !ok ? 0
                           : o.seconds >= 0 ? int64_t(std::ceil(o.seconds * kMixRate / blockFrames)) * blockFrames
                                            : song.frames;
    if (ok) {
        // A file gets its sizes at the end; a stream cannot go back and says "unknown".
        ok = writeWavHeader(wav, wav.file == stdout ? kStreamedWavBytes : 0, kTool);
        if (positions.file) std::fputs("block,orderPosition,row,playTimeMs\n", positions.file);
        ok = ok && render(frames, wav, positions.file);
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (ok && wav.file != stdout) ok = writeWavHeader(wav, uint32_t(frames * 4), kTool);
    if (ok && traceFile.file) writeTrace(traceFile.file, frames);
    ok = closeOutputs({&wav, &positions, &traceFile}, ok, kTool) && ok;
    freeModule(m);
    if (!ok) return 1;

    const double seconds = double(frames) / kMixRate;
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
