// Run inside the same Wine session as the demo, on its window (class "zef", title "Skr4mm3lb0d"):
// without arguments prints the client area as Windows itself reports it, "WIDTHxHEIGHT"; with
// "close" posts WM_CLOSE to it, as the system does when the user closes a window. Exit code 1
// and "no window" when there is none. Built and used by scripts/checks/windows.sh.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    const HWND window = FindWindowA("zef", "Skr4mm3lb0d");
    RECT client;
    if (!window || !GetClientRect(window, &client)) {
        std::puts("no window");
        return 1;
    }
    if (argc > 1 && std::strcmp(argv[1], "close") == 0) return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
    std::printf("%ldx%ld\n", client.right - client.left, client.bottom - client.top);
    return 0;
}
