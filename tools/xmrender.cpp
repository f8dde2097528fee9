// xmrender: renders an XM module to a WAV file through the player's own offline path, block by
// block, exactly as the demo hands its blocks to the audio device.
#include <bit>
#include <chrono>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/offline/offline_audio.h"
#include "player/loader.h"
#include "player/module.h"
#include "player/output.h"
#include "player/profile.h"
#include "tools/output_file.h"
#include "player/stream.h"

static_assert(std::endian::native == std::endian::little, "the WAV data is written as it lies in memory");

namespace {

constexpr const char* kTool = "xmrender";

constexpr double kMaxSeconds = 30 * 60;

struct Options {
    std::string input, output, positions, trace;
    double      seconds = -1;  // < 0: until the order position first goes back
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
        "\n"
        "options:\n"
        "  --seconds S          length in seconds (default: until the song's order position first\n"
        "                       goes back, at most 30 minutes)\n"
        "  --positions FILE.csv one line per 884-frame block: block,orderPosition,row,playTimeMs\n"
        "  --trace FILE.csv     one line per sequencer tick:\n"
        "                       frame,orderPosition,row,tick,tempo,bpm,globalVolume\n"
        "  --profile NAME       how the module is played: default (the demo's player, as the demo\n"
        "                       plays its song) or ft2 (as FastTracker 2 plays it)\n"
        "  --help               this text\n",
        to);
}

bool fail(const std::string& file, const std::string& reason) {
    std::fprintf(stderr, "xmrender: %s: %s\n", file.c_str(), reason.c_str());
    return false;
}

// Parses the command line; false (after a message) when it is unusable.
bool parseOptions(int argc, char** argv, Options& o, bool& help) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--help" || a == "-h") {
            help = true;
            return true;
        } else if (a == "--seconds" && hasValue) {
            char* end = nullptr;
            o.seconds = std::strtod(argv[++i], &end);
            if (*end || !(o.seconds >= 0) || o.seconds > kMaxSeconds)
                return fail(argv[i], "--seconds wants a number from 0 to 1800");
        } else if (a == "--positions" && hasValue) {
            o.positions = argv[++i];
        } else if (a == "--trace" && hasValue) {
            o.trace = argv[++i];
        } else if (a == "--profile" && hasValue) {
            o.profile = profileByName(argv[++i]);
            if (!o.profile) return fail(argv[i], "--profile wants default or ft2");
        } else if (a.size() > 1 && a[0] == '-') {
            return fail(a, hasValue || a.rfind("--", 0) != 0 ? "unknown option (see --help)" : "needs a value");
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) {
        printUsage(stderr);
        return false;
    }
    o.input = files[0];
    o.output = files[1];
    return true;
}



struct Render {
    int64_t blocks = 0;
};

// Writes absolute blocks 0, 1, 2, … as the device would play them: after block a is written the
// device moves past it and the feeder renders ring block a mod 100 anew, one ring ahead.
bool render(const Options& o, OutputFile& wav, FILE* positions, Render& r) {
    const PlayerState& p = player();
    const int64_t limit = o.seconds >= 0 ? int64_t(std::ceil(o.seconds * kMixRate / p.blockFrames))
                                         : int64_t(kMaxSeconds * kMixRate / p.blockFrames);
    int32_t lastPosition = 0;
    for (int64_t a = 0; a < limit; ++a) {
        const int32_t b = int32_t(a % p.blockCount);
        const SyncRecord& record = p.syncRecords[b];
        const int32_t position = record.orderPosition.load();
        if (o.seconds < 0 && position < lastPosition) break;  // the song went back: it has looped
        lastPosition = position;
        const int16_t* block = p.outputBuffer + size_t(b) * p.blockFrames * 2;
        if (std::fwrite(block, 4, size_t(p.blockFrames), wav.file) != size_t(p.blockFrames))
            return fail(wav.path, std::strerror(errno));
        if (positions)
            std::fprintf(positions, "%lld,%d,%d,%d\n", static_cast<long long>(a), position, record.row.load(),
                         record.playTimeMs.load());
        ++r.blocks;
        offlineAudio().position.store(uint32_t(uint64_t(a + 1) * uint64_t(p.blockFrames) * 4));
        feedPlayer();
    }
    return true;
}

bool writeTrace(const std::string& path, int64_t frames) {
    OutputFile f;
    if (!openOutput(f, path, kTool)) return false;
    std::fputs("frame,orderPosition,row,tick,tempo,bpm,globalVolume\n", f.file);
    for (const TickRecord& t : trace().ticks)
        if (t.frame < frames)
            std::fprintf(f.file, "%lld,%d,%d,%d,%d,%d,%d\n", static_cast<long long>(t.frame), t.orderPosition, t.row,
                         t.tick, t.tempo, t.bpm, t.globalVolume);
    return closeOutput(f, true, kTool);
}

int run(const Options& o) {
    if (FILE* probe = std::fopen(o.input.c_str(), "rb")) {
        std::fclose(probe);
    } else {
        fail(o.input, std::strerror(errno));
        return 1;
    }
    setStreamCallbacks(fileStreamOpen, fileStreamClose, fileStreamRead, fileStreamSeek, fileStreamTell);
    std::string reason;
    Module* m = loadModule(o.input.c_str(), nullptr, &reason);
    if (!m) {
        fail(o.input, reason);
        return 1;
    }
    trace().songTick = m->tickCallback;
    if (!o.trace.empty()) m->tickCallback = tracingTick;

    OutputFile wav, positions;
    bool ok = openOutput(wav, o.output, kTool) && (o.positions.empty() || openOutput(positions, o.positions, kTool));
    const auto started = std::chrono::steady_clock::now();
    Render r;
    if (ok) {
        resetOfflineAudio();
        ok = startPlayer(m, false, *o.profile) ? true : fail(o.input, "the player could not start");
    }
    if (ok) {
        ok = writeWavHeader(wav, 0, kTool);  // the sizes are filled in at the end
        if (positions.file) std::fputs("block,orderPosition,row,playTimeMs\n", positions.file);
        ok = ok && render(o, wav, positions.file, r);
    }
    const int64_t frames = r.blocks * player().blockFrames;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (ok) ok = writeWavHeader(wav, uint32_t(frames * 4), kTool);
    ok = closeOutput(wav, ok, kTool) && ok;
    ok = closeOutput(positions, ok, kTool) && ok;
    if (ok && !o.trace.empty()) ok = writeTrace(o.trace, frames);
    freeModule(m);
    if (!ok) return 1;

    const double seconds = double(frames) / kMixRate;
    std::printf("%s: %.3f s of audio (%lld blocks) in %.1f ms, %.1fx real time\n", o.output.c_str(), seconds,
                static_cast<long long>(r.blocks), elapsed * 1000, elapsed > 0 ? seconds / elapsed : 0.0);
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
