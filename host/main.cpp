// The program's entry on Linux: the arguments joined into one command line, as the platform's
// own entry would receive it.
#include <cstdio>
#include <cstring>
#include <string>

#include "host/entry.h"
#include "version.h"

static void printUsage() {
    std::puts(
        "usage: skr4mm3lb0d [anything]\n"
        "\n"
        "Plays the demo. Without arguments it asks whether to run in fullscreen (a real\n"
        "640x480 mode, or else the whole screen with the picture scaled up); with any\n"
        "argument it runs in a 640x480 window. Escape or closing the window ends it.\n"
        "Without a display it exits with code 1; SDL_VIDEODRIVER=offscreen runs it unseen.\n"
        "\n"
        "  --help     this text\n"
        "  --version  the version");
}

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printUsage();
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("skr4mm3lb0d " SKR_VERSION);
        return 0;
    }
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i][0] ? argv[i] : "\"\"";  // an empty argument still is one
    }
    return runDemo(commandLine.c_str());
}
