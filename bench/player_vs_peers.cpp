// player_vs_peers: our player against libopenmpt and libxmp on the same modules. Each renders
// every module to 16-bit stereo at 44100 Hz for the same length with linear interpolation; the
// three take turns, module by module, over several rounds, and each keeps its least CPU time.
// Prints seconds of audio per second of CPU for each, per module and as a geometric mean, and our
// speed as a ratio to each peer.
//
//     build/release/bench/player_vs_peers [FOLDER] [--seconds S] [--rounds N]
//
// Ours renders as xmrender does: the library's render calls, 884 frames at a time. Loading is not
// timed.
#include <libopenmpt/libopenmpt.h>
#include <xmp.h>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "xmplayer.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kRate = 44100;
constexpr int32_t kChunkFrames = XMPLAYER_BLOCK_FRAMES;  // the peers render in pieces of our block size

struct Options {
    fs::path folder = SKR_CORPUS_DIR;
    double   seconds = 60;
    int      rounds = 3;
};

// CPU seconds of the calling thread: the three players render on it alone.
double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A sink the compiler cannot see through, so no rendered sample is optimised away.
volatile int16_t g_sink;

// Ours: the blocks needed for `frames`, through the library's interface as xmrender renders them.
// Returns CPU seconds, or a negative value when the module does not load.
double renderOurs(const fs::path& file, int64_t frames) {
    xmplayer_module* module = xmplayer_load_file(file.c_str(), nullptr, nullptr, 0);
    if (!module) return -1;
    const double started = cpuSeconds();
    xmplayer* player = xmplayer_create(module, XMPLAYER_PROFILE_DEFAULT);
    xmplayer_set_loops(player, -1);
    std::vector<int16_t> block(2 * size_t(kChunkFrames));
    for (int64_t done = 0; done < frames; done += kChunkFrames) xmplayer_render_s16(player, block.data(), kChunkFrames);
    const double used = cpuSeconds() - started;
    g_sink = block[0];
    xmplayer_free(player);
    xmplayer_free_module(module);
    return used;
}

double renderOpenmpt(const std::vector<uint8_t>& bytes, int64_t frames) {
    openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr,
                                                             nullptr, nullptr, nullptr, nullptr);
    if (!mod) return -1;
    openmpt_module_set_render_param(mod, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, 2);  // linear
    openmpt_module_set_repeat_count(mod, -1);  // loop for ever, as ours does
    std::vector<int16_t> buffer(size_t(kChunkFrames) * 2);
    const double started = cpuSeconds();
    for (int64_t done = 0; done < frames;) {
        const size_t n = size_t(std::min<int64_t>(kChunkFrames, frames - done));
        const size_t got = openmpt_module_read_interleaved_stereo(mod, kRate, n, buffer.data());
        if (got == 0) break;
        done += int64_t(got);
    }
    const double used = cpuSeconds() - started;
    g_sink = buffer[0];
    openmpt_module_destroy(mod);
    return used;
}

double renderXmp(const std::vector<uint8_t>& bytes, int64_t frames) {
    xmp_context ctx = xmp_create_context();
    if (xmp_load_module_from_memory(ctx, bytes.data(), long(bytes.size())) != 0) {
        xmp_free_context(ctx);
        return -1;
    }
    double used = -1;
    if (xmp_start_player(ctx, kRate, 0) == 0) {  // 16-bit signed stereo
        xmp_set_player(ctx, XMP_PLAYER_INTERP, XMP_INTERP_LINEAR);
        std::vector<int16_t> buffer(size_t(kChunkFrames) * 2);
        const double started = cpuSeconds();
        for (int64_t done = 0; done < frames; done += kChunkFrames) {
            const int n = int(std::min<int64_t>(kChunkFrames, frames - done));
            if (xmp_play_buffer(ctx, buffer.data(), n * 4, 0) != 0) break;  // loop 0: for ever
        }
        used = cpuSeconds() - started;
        g_sink = buffer[0];
        xmp_end_player(ctx);
    }
    xmp_release_module(ctx);
    xmp_free_context(ctx);
    return used;
}

bool parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--seconds" || a == "--rounds") && i + 1 < argc) {
            const double v = std::atof(argv[++i]);
            if (!(v > 0)) return false;
            if (a == "--seconds") o.seconds = v;
            else o.rounds = int(v);
        } else if (a == "--help" || a == "-h" || (a.size() > 1 && a[0] == '-')) {
            return false;
        } else {
            o.folder = a;
        }
    }
    return o.rounds > 0;
}

struct Entry {
    std::string          name;
    std::vector<uint8_t> bytes;
    double               best[3] = {1e30, 1e30, 1e30};  // CPU seconds: ours, libopenmpt, libxmp
};

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parseOptions(argc, argv, o)) {
        std::fputs("usage: player_vs_peers [FOLDER] [--seconds S] [--rounds N]\n"
                   "Renders every .xm file of FOLDER (default the shared corpus) for S seconds (60)\n"
                   "with our player, libopenmpt and libxmp in turn, N rounds (3), and prints audio\n"
                   "seconds per CPU second.\n",
                   stderr);
        return 1;
    }
    std::vector<Entry> entries;
    std::error_code error;
    for (const auto& f : fs::directory_iterator(o.folder, error)) {
        if (f.path().extension() != ".xm") continue;
        std::ifstream in(f.path(), std::ios::binary);
        entries.push_back({f.path().string(), {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}});
    }
    if (error || entries.empty()) {
        std::fprintf(stderr, "player_vs_peers: %s: no .xm files\n", o.folder.c_str());
        return 1;
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    const int64_t frames = int64_t(std::llround(o.seconds * kRate));

    // Turns alternate within each module, and the order of the three rotates from round to round,
    // so no player always runs with the caches the previous one left.
    for (int round = 0; round < o.rounds; ++round) {
        for (Entry& e : entries) {
            for (int k = 0; k < 3; ++k) {
                const int who = (k + round) % 3;
                const double used = who == 0   ? renderOurs(e.name, frames)
                                    : who == 1 ? renderOpenmpt(e.bytes, frames)
                                               : renderXmp(e.bytes, frames);
                if (used < 0) e.best[who] = -1;
                else if (e.best[who] >= 0) e.best[who] = std::min(e.best[who], used);
            }
        }
    }

    // Audio seconds per CPU second; geometric means over the modules all three could play.
    const double audio = double(frames) / kRate;
    std::printf("%.0f s of audio per module, best of %d rounds; audio seconds per CPU second\n\n", o.seconds, o.rounds);
    std::printf("%-34s %10s %10s %10s %10s %10s\n", "module", "ours", "libopenmpt", "libxmp", "/openmpt", "/xmp");
    double logSum[3] = {0, 0, 0};
    int counted = 0;
    for (const Entry& e : entries) {
        double speed[3];
        for (int who = 0; who < 3; ++who) speed[who] = e.best[who] > 0 ? audio / e.best[who] : 0;
        const std::string name = fs::path(e.name).filename().string();
        if (speed[0] <= 0 || speed[1] <= 0 || speed[2] <= 0) {
            std::printf("%-34s %10.0f %10.0f %10.0f   (not counted: a player could not play it)\n", name.c_str(),
                        speed[0], speed[1], speed[2]);
            continue;
        }
        std::printf("%-34s %10.0f %10.0f %10.0f %9.2fx %9.2fx\n", name.c_str(), speed[0], speed[1], speed[2],
                    speed[0] / speed[1], speed[0] / speed[2]);
        for (int who = 0; who < 3; ++who) logSum[who] += std::log(speed[who]);
        ++counted;
    }
    if (counted == 0) return 1;
    double mean[3];
    for (int who = 0; who < 3; ++who) mean[who] = std::exp(logSum[who] / counted);
    std::printf("%-34s %10.0f %10.0f %10.0f %9.2fx %9.2fx\n", "geometric mean", mean[0], mean[1], mean[2],
                mean[0] / mean[1], mean[0] / mean[2]);
    std::printf("\nours / faster peer: %.2fx (target 2x)\n", mean[0] / std::max(mean[1], mean[2]));
    return 0;
}
