// Prints how many pixels of the mouse cursor now shown on the X display are not fully
// transparent: 0 when the cursor is hidden. Exit 1 when the display or XFixes is missing.
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <cstdio>

int main() {
    Display* display = XOpenDisplay(nullptr);
    int eventBase = 0, errorBase = 0;
    if (!display || !XFixesQueryExtension(display, &eventBase, &errorBase)) return 1;
    XFixesCursorImage* cursor = XFixesGetCursorImage(display);
    if (!cursor) return 1;
    long visible = 0;
    for (long i = 0; i < long(cursor->width) * cursor->height; ++i)
        if (cursor->pixels[i] >> 24) ++visible;  // ARGB, one pixel per unsigned long
    std::printf("%ld\n", visible);
    XFree(cursor);
    XCloseDisplay(display);
    return 0;
}
