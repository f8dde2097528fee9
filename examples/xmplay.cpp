// xmplay: plays an XM, MOD or S3M module through the sound card with the player library's
// real-time layer, with one status line in the terminal and its keys: space pauses and goes on, q
// quits. No window.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <SDL.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/realtime_services.h"
#include "tools/profile_names.h"
#include "version.h"
#include "xmplayer.h"
#include "xmplayer_realtime.h"

namespace {

constexpr int64_t kEndless = int64_t(24) * 3600 * XMPLAYER_RATE;  // a song that has not ended by then never does

struct Options {
    std::string      file;
    xmplayer_profile profile = XMPLAYER_PROFILE_AUTO;  // as the tracker of the module's format plays it
    int              loops = 0;
};

void printUsage(FILE* to) {
    std::fputs(
        "usage: xmplay [options] FILE\n"
        "\n"
        "Plays an XM, MOD or S3M module (the file's content tells which) through the sound card.\n"
        "One status line shows the order position, the row, the time and the song's length; space\n"
        "pauses and goes on, q quits. It stops at the song's end: the first row it is about to play\n"
        "a second time (as xmrender does).\n"
        "\n"
        "options:\n"
        "  --profile NAME  how the module is played (default: auto):\n",
        to);
    printProfiles(to, 20);
    std::fputs(
        "  --loops N       play the song N + 1 times\n"
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
                if (end == value.c_str() || *end || loops < 0 || loops > 1000)
                    return fail(value, "--loops wants a whole number from 0 to 1000");
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

// The key pressed within `ms` milliseconds, or 0.
char readKey(int ms) {
    struct pollfd in = {STDIN_FILENO, POLLIN, 0};
    if (!terminal().raw || poll(&in, 1, ms) <= 0) {
        if (!terminal().raw) SDL_Delay(Uint32(ms));
        return 0;
    }
    char c = 0;
    return read(STDIN_FILENO, &c, 1) == 1 ? c : 0;
}

std::string clock(int64_t frames) {
    const int64_t tenths = frames * 10 / XMPLAYER_RATE;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", static_cast<long long>(tenths / 600),
                  static_cast<long long>(tenths / 10 % 60), static_cast<long long>(tenths % 10));
    return text;
}

int play(const Options& o) {
    char reason[256] = "";
    xmplayer_module* module = xmplayer_load_file(o.file.c_str(), reason, sizeof reason);
    if (!module) return fail(o.file, reason);
    // What the loader warns of (bytes missing, instruments that play silent), a line each.
    for (std::string warnings = xmplayer_module_warnings(module); !warnings.empty();) {
        const size_t end = warnings.find('\n');
        std::fprintf(stderr, "xmplay: %s: warning: %s\n", o.file.c_str(), warnings.substr(0, end).c_str());
        warnings.erase(0, end == std::string::npos ? end : end + 1);
    }
    xmplayer_info info{};
    xmplayer_get_info(module, &info);
    const int64_t length = xmplayer_song_frames(module, o.profile, o.loops, kEndless);
    const bool endless = length >= kEndless;

    const std::unique_ptr<RealtimePlayer, void (*)(RealtimePlayer*)> player(
        createRealtimePlayer(platformRealtimeServices()), freeRealtimePlayer);
    if (!player) return fail(o.file, "out of memory");
    const PlayerStart start = startPlayer(*player, module, o.profile);
    if (start == PlayerStart::refused) {
        xmplayer_free_module(module);
        return fail(o.file, "out of memory");
    }
    if (const char* silent = playerSilenceReason(*player)) {
        stopPlayer(*player);
        xmplayer_free_module(module);
        return fail(o.file, std::string("no audio device (") + silent + ")");
    }
    const bool status = isatty(STDOUT_FILENO);
    if (status)
        std::printf("%s  (%s %s, %d channels, %d orders, as %s)\n", info.title[0] ? info.title : o.file.c_str(),
                    xmplayer_format_name(xmplayer_module_format(module)), info.tracker, info.channels, info.orders,
                    xmplayer_profile_name(o.profile == XMPLAYER_PROFILE_AUTO ? xmplayer_module_profile(module)
                                                                              : o.profile));
    std::signal(SIGINT, interrupted);
    std::signal(SIGTERM, interrupted);
    enterRawMode();

    bool paused = false;
    while (!g_interrupted) {
        if (start == PlayerStart::withoutFeeder) feedPlayer(*player);  // the ring holds 2 s; polled 10 times a second
        const int64_t played = int64_t(getPlayedFrames(*player));
        if (!endless && played >= length) break;
        if (status) {
            const PlayPosition at = getPlayPosition(*player);
            std::printf("\r  order %3d/%d  row %3d  %s / %s%s   ", at.orderPosition, info.orders, at.row,
                        clock(played).c_str(), endless ? "endless" : clock(length).c_str(), paused ? "  paused" : "");
            std::fflush(stdout);
        }
        const char key = readKey(100);
        if (key == 'q' || key == 'Q') break;
        if (key == ' ') pausePlayer(*player, paused = !paused);
    }
    leaveRawMode();
    if (status) std::putchar('\n');
    stopPlayer(*player);
    xmplayer_free_module(module);
    SDL_Quit();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    const int parsed = parseOptions(argc, argv, o);
    if (parsed != 0) return parsed == 2 ? 0 : 1;
    return play(o);
}
