// xmplay: plays an XM, MOD or S3M module through the sound card at the device's own rate, on the player
// library's C interface and SDL's audio callback, with a status line and a line per channel in
// the terminal and its keys: space pauses, ← → go to the previous or next order entry, [ ] 10 s
// back or on, 1–9 and 0 mute channels 1–10, + − change the volume, q quits. No window.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/profile_names.h"
#include "version.h"
#include "xmplayer.h"

namespace {

constexpr double kLongest = 24 * 3600;  // seconds: a song that has not ended by then never does
constexpr double kGainStep = 3;         // dB per + or −
constexpr int    kBarWidth = 24;        // characters of a channel's level

struct Options {
    std::string      file;
    xmplayer_profile profile = XMPLAYER_PROFILE_AUTO;  // as the tracker of the module's format plays it
    int              loops = 0;                        // negative: for ever
};

void printUsage(FILE* to) {
    std::fputs(
        "usage: xmplay [options] FILE\n"
        "\n"
        "Plays an XM, MOD or S3M module (the file's content tells which) through the sound card, at\n"
        "the device's own rate. The terminal shows the\n"
        "order position, the row, the time and the song's length, and a line per channel with its\n"
        "note and level. It stops at the song's end: the first row it is about to play a second time\n"
        "(as xmrender does).\n"
        "\n"
        "keys: space pause and go on   <- -> previous or next order entry   [ ] 10 s back or on\n"
        "      1-9 0 mute channels 1-10   + - volume   q quit\n"
        "\n"
        "options:\n"
        "  --profile NAME  how the module is played (default: auto):\n",
        to);
    printProfiles(to, 20);
    std::fputs(
        "  --loops N       play the song N + 1 times; -1 plays it for ever\n"
        "  --help          this text\n"
        "  --version       the version\n",
        to);
}

int fail(const std::string& what, const std::string& why) {
    std::fprintf(stderr, "xmplay: %s: %s\n", what.c_str(), why.c_str());
    return 1;
}

// 0: run; 1: failed (after a message); 2: help or version printed.
int parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") return printUsage(stdout), 2;
        if (a == "--version") return std::puts("xmplay " SKR_VERSION), 2;
        if (a == "--profile" || a == "--loops") {
            if (i + 1 >= argc) return fail(a, "needs a value");
            const std::string value = argv[++i];
            if (a == "--profile") {
                const int profile = xmplayer_profile_from_name(value.c_str());
                if (profile < 0) return fail(value, "--profile wants " + profileNames());
                o.profile = xmplayer_profile(profile);
            } else {
                char* end = nullptr;
                const long loops = std::strtol(value.c_str(), &end, 10);
                if (end == value.c_str() || *end || loops < -1 || loops > 1000)
                    return fail(value, "--loops wants a whole number from -1 (for ever) to 1000");
                o.loops = int(loops);
            }
        } else if (a.size() > 1 && a[0] == '-') {
            return fail(a, "unknown option (see --help)");
        } else if (o.file.empty()) {
            o.file = a;
        } else {
            return fail(a, "one module at a time (see --help)");
        }
    }
    if (o.file.empty()) return printUsage(stderr), 1;
    return 0;
}

// The terminal in raw mode while the keys are read, and as it was afterwards, also after Ctrl+C.
struct Terminal {
    bool           raw = false;
    struct termios saved{};
};

Terminal& terminal() {
    static Terminal t;
    return t;
}

volatile std::sig_atomic_t g_interrupted = 0;

void interrupted(int) { g_interrupted = 1; }

void enterRawMode() {
    Terminal& t = terminal();
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &t.saved) != 0) return;
    struct termios raw = t.saved;
    raw.c_lflag &= tcflag_t(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    t.raw = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
}

void leaveRawMode() {
    Terminal& t = terminal();
    if (t.raw) tcsetattr(STDIN_FILENO, TCSANOW, &t.saved);
    t.raw = false;
}

enum Key { kNone = 0, kLeft = 1000, kRight };

// The key pressed within `ms` milliseconds (the arrows' escape sequences read whole), or kNone.
int readKey(int ms) {
    struct pollfd in = {STDIN_FILENO, POLLIN, 0};
    if (!terminal().raw || poll(&in, 1, ms) <= 0) {
        if (!terminal().raw) SDL_Delay(Uint32(ms));
        return kNone;
    }
    char c[3] = {};
    const ssize_t n = read(STDIN_FILENO, c, 1);
    if (n != 1) return kNone;
    if (c[0] != 0x1B || poll(&in, 1, 20) <= 0 || read(STDIN_FILENO, c + 1, 2) != 2 || c[1] != '[') return c[0];
    return c[2] == 'D' ? kLeft : c[2] == 'C' ? kRight : kNone;
}

std::string clock(double seconds) {
    const int64_t tenths = int64_t(seconds * 10);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", static_cast<long long>(tenths / 600),
                  static_cast<long long>(tenths / 10 % 60), static_cast<long long>(tenths % 10));
    return text;
}

std::string noteName(int note) {
    if (note <= 0) return "...";
    static const char* const names[] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};
    return names[(note - 1) % 12] + std::to_string((note - 1) / 12);
}

// The level as a bar over 48 dB.
std::string levelBar(float level) {
    const double db = level > 0 ? 20 * std::log10(double(level)) : -100;
    const int filled = std::clamp(int(std::lround((db + 48) / 48 * kBarWidth)), 0, kBarWidth);
    return std::string(size_t(filled), '#') + std::string(size_t(kBarWidth - filled), ' ');
}

// What the audio callback and the main thread share; the main thread holds the device's lock
// while it uses the player.
struct Playing {
    xmplayer* player;
    bool      ended;  // the player has handed out its last frame
};

void fill(void* user, Uint8* stream, int bytes) {
    Playing& p = *static_cast<Playing*>(user);
    const size_t frames = size_t(bytes) / 4;
    const size_t n = p.ended ? 0 : xmplayer_render_s16(p.player, reinterpret_cast<int16_t*>(stream), frames);
    if (n < frames) {
        std::memset(stream + 4 * n, 0, 4 * (frames - n));
        p.ended = xmplayer_ended(p.player) != 0;
    }
}

// The rate the default device plays at by itself; 44100 where it does not say.
int deviceRate() {
    SDL_AudioSpec preferred{};
    char* name = nullptr;
    if (SDL_GetDefaultAudioInfo(&name, &preferred, 0) == 0 && preferred.freq >= XMPLAYER_RATE_MIN &&
        preferred.freq <= XMPLAYER_RATE_MAX) {
        SDL_free(name);
        return preferred.freq;
    }
    return XMPLAYER_RATE;
}

// The status line and a line per channel, drawn over the previous ones.
void draw(xmplayer* player, const xmplayer_module* module, const xmplayer_info& info, double length, bool endless,
          bool paused, double gain, bool again) {
    xmplayer_position at{};
    xmplayer_get_position(player, &at, sizeof at);
    if (again) std::printf("\x1b[%dA", info.channels + 1);
    std::printf("\r  order %3d/%d  row %3d  %s / %s  %+.0f dB%s\x1b[K\n", at.order, info.orders, at.row,
                clock(at.seconds).c_str(), endless ? "endless" : clock(length).c_str(), gain, paused ? "  paused" : "");
    for (int i = 0; i < info.channels; ++i) {
        xmplayer_channel c{};
        xmplayer_get_channel(player, i, &c, sizeof c);
        const char* name = c.instrument > 0 ? xmplayer_instrument_name(module, c.instrument - 1) : "";
        std::printf("  %2d  %s  %-22.22s |%s|%s\x1b[K\n", i + 1, noteName(c.note).c_str(), name, levelBar(c.level).c_str(),
                    c.silenced ? "  muted" : "");
    }
    std::fflush(stdout);
}

// ← and →: the previous or next order entry where the song plays it (or, where it never does, a
// jump there).
void goToOrder(xmplayer* player, int order, int orders) {
    order = std::clamp(order, 0, orders - 1);
    if (xmplayer_seek_row(player, order, 0) == XMPLAYER_ERROR_NOT_FOUND) xmplayer_set_order(player, order);
}

int play(const Options& o) {
    char reason[256] = "";
    xmplayer_module* module = xmplayer_load_file(o.file.c_str(), nullptr, reason, sizeof reason);
    if (!module) return fail(o.file, reason);
    // What the loader warns of (bytes missing, instruments that play silent), a line each.
    for (std::string warnings = xmplayer_module_warnings(module); !warnings.empty();) {
        const size_t end = warnings.find('\n');
        std::fprintf(stderr, "xmplay: %s: warning: %s\n", o.file.c_str(), warnings.substr(0, end).c_str());
        warnings.erase(0, end == std::string::npos ? end : end + 1);
    }
    xmplayer_info info{};
    xmplayer_get_info(module, &info, sizeof info);
    const double length = o.loops < 0 ? -1 : xmplayer_song_duration(module, o.profile, o.loops);
    const bool endless = length < 0 || length >= kLongest;
    Playing playing{xmplayer_create(module, o.profile), false};
    if (!playing.player) {
        xmplayer_free_module(module);
        return fail(o.file, "out of memory");
    }
    xmplayer_set_loops(playing.player, o.loops);

    if (SDL_Init(SDL_INIT_AUDIO) != 0) {
        xmplayer_free(playing.player);
        xmplayer_free_module(module);
        return fail(o.file, std::string("no audio device (") + SDL_GetError() + ")");
    }
    SDL_AudioSpec want{}, have{};
    want.freq = deviceRate();
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = fill;
    want.userdata = &playing;
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (device == 0 || xmplayer_set_rate(playing.player, have.freq) != XMPLAYER_OK) {
        const std::string why = device == 0 ? SDL_GetError() : "the device's rate " + std::to_string(have.freq);
        if (device) SDL_CloseAudioDevice(device);
        SDL_Quit();
        xmplayer_free(playing.player);
        xmplayer_free_module(module);
        return fail(o.file, "no audio device (" + why + ")");
    }

    const bool status = isatty(STDOUT_FILENO);
    if (status)
        std::printf("%s  (%s %s, %d channels, %d orders, as %s, %d Hz)\n", info.title[0] ? info.title : o.file.c_str(),
                    xmplayer_format_name(xmplayer_module_format(module)), info.tracker, info.channels, info.orders,
                    xmplayer_profile_name(o.profile == XMPLAYER_PROFILE_AUTO ? xmplayer_module_profile(module)
                                                                              : o.profile),
                    have.freq);
    std::signal(SIGINT, interrupted);
    std::signal(SIGTERM, interrupted);
    enterRawMode();
    SDL_PauseAudioDevice(device, 0);

    bool paused = false, drawn = false;
    bool muted[10] = {};
    double gain = 0;
    // The device still plays what it was given after the last frame: one buffer and a margin.
    const Uint32 drain = Uint32(2 * have.samples * 1000 / have.freq + 50);
    while (!g_interrupted) {
        SDL_LockAudioDevice(device);
        const bool ended = playing.ended;
        if (status && !ended) draw(playing.player, module, info, length, endless, paused, gain, drawn);
        SDL_UnlockAudioDevice(device);
        drawn = drawn || status;
        if (ended) {
            SDL_Delay(drain);
            break;
        }
        const int key = readKey(100);
        if (key == 'q' || key == 'Q') break;
        SDL_LockAudioDevice(device);
        xmplayer* p = playing.player;
        xmplayer_position at{};
        xmplayer_get_position(p, &at, sizeof at);
        if (key == ' ') SDL_PauseAudioDevice(device, paused = !paused);
        else if (key == kLeft) goToOrder(p, at.order - 1, info.orders);
        else if (key == kRight) goToOrder(p, at.order + 1, info.orders);
        else if (key == '[') xmplayer_seek_frame(p, std::max<int64_t>(0, at.played - 10 * int64_t(have.freq)));
        else if (key == ']') xmplayer_seek_frame(p, at.played + 10 * int64_t(have.freq));
        else if (key == '+' || key == '=' || key == '-') {
            gain = std::clamp(gain + (key == '-' ? -kGainStep : kGainStep), -60.0, 12.0);
            xmplayer_set_gain(p, gain);
        } else if (key >= '0' && key <= '9') {
            const int channel = key == '0' ? 9 : key - '1';
            if (xmplayer_set_mute(p, channel, !muted[channel]) == XMPLAYER_OK) muted[channel] = !muted[channel];
        }
        SDL_UnlockAudioDevice(device);
    }
    leaveRawMode();
    SDL_CloseAudioDevice(device);
    SDL_Quit();
    xmplayer_free(playing.player);
    xmplayer_free_module(module);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    const int parsed = parseOptions(argc, argv, o);
    if (parsed != 0) return parsed == 2 ? 0 : 1;
    return play(o);
}
