// player_vs_peers: our player against libopenmpt and libxmp on the same modules. Each renders
// every module to 16-bit stereo at 44100 Hz for the same length with linear interpolation; the
// three take turns, module by module, over several rounds, and each keeps its least CPU time.
// Prints seconds of audio per second of CPU for each, per module and as a geometric mean, and our
// speed as a ratio to each peer. Then, in the same rounds, ours with each of the library's
// settings against its default; and the cost of finding the song's duration and of a seek to
// its end on the longest module, with each player's own calls for them.
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

// One of the library's settings for ours; the first is the default.
struct Setting {
    const char*            name;
    int32_t                rate;
    xmplayer_interpolation interpolation;
    int32_t                separation;
    double                 gain;
    bool                   watched;  // every channel's state asked for after every block
    bool                   halfMuted;
};
const Setting kSettings[] = {
    {"default (linear)", 44100, XMPLAYER_INTERPOLATION_LINEAR, 100, 0, false, false},
    {"cubic", 44100, XMPLAYER_INTERPOLATION_CUBIC, 100, 0, false, false},
    {"none", 44100, XMPLAYER_INTERPOLATION_NONE, 100, 0, false, false},
    {"separation 50 %, gain -6 dB", 44100, XMPLAYER_INTERPOLATION_LINEAR, 50, -6, false, false},
    {"channels watched", 44100, XMPLAYER_INTERPOLATION_LINEAR, 100, 0, true, false},
    {"half the channels muted", 44100, XMPLAYER_INTERPOLATION_LINEAR, 100, 0, false, true},
    {"48000 Hz", 48000, XMPLAYER_INTERPOLATION_LINEAR, 100, 0, false, false},
};
constexpr int kSettingCount = int(sizeof kSettings / sizeof kSettings[0]);

// Ours: the blocks needed for `frames` seconds' worth at 44100, through the library's interface
// as xmrender renders them, with `setting`. Returns CPU seconds, or a negative value when the
// module does not load.
double renderOurs(const fs::path& file, int64_t frames, const Setting& setting = kSettings[0]) {
    xmplayer_module* module = xmplayer_load_file(file.c_str(), nullptr, nullptr, 0);
    if (!module) return -1;
    const double started = cpuSeconds();
    xmplayer* player = xmplayer_create(module, XMPLAYER_PROFILE_DEFAULT);
    xmplayer_set_loops(player, -1);
    xmplayer_set_rate(player, setting.rate);
    xmplayer_set_interpolation(player, setting.interpolation);
    xmplayer_set_separation(player, setting.separation);
    xmplayer_set_gain(player, setting.gain);
    xmplayer_info info{};
    xmplayer_get_info(module, &info, sizeof info);
    for (int c = 0; setting.halfMuted && c < info.channels; c += 2) xmplayer_set_mute(player, c, 1);
    const int64_t block = xmplayer_block_frames(setting.rate);
    const int64_t total = frames * setting.rate / kRate;
    std::vector<int16_t> out(2 * size_t(block));
    for (int64_t done = 0; done < total; done += block) {
        xmplayer_render_s16(player, out.data(), size_t(block));
        for (int c = 0; setting.watched && c < info.channels; ++c) {
            xmplayer_channel state{};
            xmplayer_get_channel(player, c, &state, sizeof state);
        }
    }
    const double used = cpuSeconds() - started;
    g_sink = out[0];
    xmplayer_free(player);
    xmplayer_free_module(module);
    return used;
}

// CPU seconds of `work`, the least of `rounds` runs.
template <typename Work>
double leastOf(int rounds, Work work) {
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const double started = cpuSeconds();
        work();
        best = std::min(best, cpuSeconds() - started);
    }
    return best;
}

// The duration and a seek to the end of one module, with each player's own calls: ours
// xmplayer_song_duration and xmplayer_seek_frame; libopenmpt's duration comes with loading the
// module (it scans the song then), its seek is openmpt_module_set_position_seconds; libxmp scans
// the song when it loads it too, its seek is xmp_seek_time. Ours also renders the whole song, for
// scale. Milliseconds of CPU.
void measureSeeking(const fs::path& file, const std::vector<uint8_t>& bytes, int rounds) {
    xmplayer_module* module = xmplayer_load_file(file.c_str(), nullptr, nullptr, 0);
    if (!module) return;
    const double duration = xmplayer_song_duration(module, XMPLAYER_PROFILE_DEFAULT, 0);
    const int64_t end = int64_t(duration * kRate);
    const double ourDuration = leastOf(rounds, [&] { g_sink = int16_t(xmplayer_song_duration(module, XMPLAYER_PROFILE_DEFAULT, 0)); });
    const double ourSeek = leastOf(rounds, [&] {
        xmplayer* p = xmplayer_create(module, XMPLAYER_PROFILE_DEFAULT);
        xmplayer_seek_frame(p, end - 1);
        xmplayer_free(p);
    });
    const double ourRender = leastOf(rounds, [&] {
        xmplayer* p = xmplayer_create(module, XMPLAYER_PROFILE_DEFAULT);
        std::vector<int16_t> out(2 * size_t(kChunkFrames));
        while (xmplayer_render_s16(p, out.data(), size_t(kChunkFrames)) > 0) {
        }
        g_sink = out[0];
        xmplayer_free(p);
    });
    xmplayer_free_module(module);

    double openmptDuration = 0;
    const double openmptLoad = leastOf(rounds, [&] {
        openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr,
                                                                 nullptr, nullptr, nullptr, nullptr);
        if (mod) openmptDuration = openmpt_module_get_duration_seconds(mod);
        openmpt_module_destroy(mod);
    });
    openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr,
                                                             nullptr, nullptr, nullptr, nullptr);
    const double openmptSeek = mod ? leastOf(rounds, [&] {
        openmpt_module_set_position_seconds(mod, 0);
        openmpt_module_set_position_seconds(mod, duration - 1.0 / kRate);
    }) : -1;
    openmpt_module_destroy(mod);

    int xmpTotalMs = 0;
    const double xmpLoad = leastOf(rounds, [&] {
        xmp_context ctx = xmp_create_context();
        if (xmp_load_module_from_memory(ctx, bytes.data(), long(bytes.size())) == 0) {
            xmp_frame_info fi{};
            xmp_start_player(ctx, kRate, 0);
            xmp_get_frame_info(ctx, &fi);
            xmpTotalMs = fi.total_time;
            xmp_end_player(ctx);
            xmp_release_module(ctx);
        }
        xmp_free_context(ctx);
    });
    double xmpSeek = -1;
    xmp_context ctx = xmp_create_context();
    if (xmp_load_module_from_memory(ctx, bytes.data(), long(bytes.size())) == 0 && xmp_start_player(ctx, kRate, 0) == 0) {
        xmpSeek = leastOf(rounds, [&] {
            xmp_seek_time(ctx, 0);
            xmp_seek_time(ctx, xmpTotalMs - 1);
        });
        xmp_end_player(ctx);
        xmp_release_module(ctx);
    }
    xmp_free_context(ctx);

    std::printf("\n%s: duration and a seek to its end, ms of CPU (least of %d)\n", file.filename().c_str(), rounds);
    std::printf("  ours        duration %.3f s in %7.3f ms, seek to its last frame %7.3f ms, "
                "whole song rendered %7.1f ms\n", duration, ourDuration * 1e3, ourSeek * 1e3, ourRender * 1e3);
    std::printf("  libopenmpt  duration %.3f s with loading in %7.3f ms, seek to the end %7.3f ms\n", openmptDuration,
                openmptLoad * 1e3, openmptSeek * 1e3);
    std::printf("  libxmp      duration %.3f s with loading in %7.3f ms, seek to the end %7.3f ms\n",
                xmpTotalMs / 1000.0, xmpLoad * 1e3, xmpSeek * 1e3);
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
    double               settings[kSettingCount] = {1e30, 1e30, 1e30, 1e30, 1e30, 1e30, 1e30};  // ours with each setting
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
        Entry& e = entries.emplace_back();
        e.name = f.path().string();
        e.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
            for (int s = 0; s < kSettingCount; ++s)
                e.settings[s] = std::min(e.settings[s], renderOurs(e.name, frames, kSettings[s]));
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
    std::printf("\nours / faster peer: %.2fx (target 3x)\n", mean[0] / std::max(mean[1], mean[2]));

    // Ours with each setting: geometric means over the same modules, against the default.
    std::printf("\nours with the library's settings (the same rounds), audio seconds per CPU second\n");
    double defaultMean = 0;
    for (int s = 0; s < kSettingCount; ++s) {
        double sum = 0;
        int n = 0;
        for (const Entry& e : entries)
            if (e.settings[s] > 0 && e.settings[s] < 1e30) sum += std::log(audio / e.settings[s]), ++n;
        const double speed = n ? std::exp(sum / n) : 0;
        if (s == 0) defaultMean = speed;
        std::printf("  %-30s %8.0f  %5.2fx the default\n", kSettings[s].name, speed, defaultMean > 0 ? speed / defaultMean : 0);
    }

    // The duration and a seek to the end of the longest module.
    const Entry* longest = nullptr;
    double longestSeconds = 0;
    for (const Entry& e : entries) {
        xmplayer_module* m = xmplayer_load_memory(e.bytes.data(), e.bytes.size(), nullptr, nullptr, 0);
        const double seconds = xmplayer_song_duration(m, XMPLAYER_PROFILE_DEFAULT, 0);
        xmplayer_free_module(m);
        if (seconds > longestSeconds) longestSeconds = seconds, longest = &e;
    }
    if (longest) measureSeeking(longest->name, longest->bytes, 2 * o.rounds + 1);
    return 0;
}
