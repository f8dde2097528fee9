// The platform layer on Win32: a 1 ms tick count, the presentation bitmap whose memory is the
// frame surface, and presentation with StretchDIBits (1:1, or scaled onto a monitor without a
// 640×480 mode) paced to the display's refresh rate.
#include <windows.h>
#include <mmsystem.h>

#include "platform/frame_pacer.h"
#include "platform/platform.h"
#include "platform/win32/win32_window.h"

namespace {

// The presentation header followed by room for the 256 colour-table entries that biClrUsed
// announces. No colour table applies to 32-bit pixels, but GDI may still read that many
// entries behind the header; here they exist, all zero.
struct PresentationInfo {
    BITMAPINFOHEADER header;
    RGBQUAD          colours[256];
};

struct Win32Platform {
    PresentationInfo info;
    HBITMAP          presentationBitmap;  // a DIB section; its bits are the frame surface
    FramePacer       pacer;
    bool             pacerReady;          // the refresh rate is read at the first presentation
};

Win32Platform& win32() {
    static Win32Platform state{};
    return state;
}

// The presentation header: width × height, top-down, 32 bits per pixel, BI_RGB.
void fillPresentationInfo(PresentationInfo& info, int width, int height) {
    info = PresentationInfo{};
    BITMAPINFOHEADER& h = info.header;
    h.biSize = sizeof(BITMAPINFOHEADER);  // 40
    h.biWidth = width;
    h.biHeight = -height;                 // rows top to bottom
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biCompression = BI_RGB;
    h.biClrUsed = 256;
}

// Black around the scaled frame: the bands above, below, left and right of the area. A band of
// no width or height is skipped (PatBlt would paint a negative extent the other way).
void paintBands(HDC dc, const Win32Window& w) {
    const PresentArea& a = w.frameArea;
    const auto band = [dc](int x, int y, int width, int height) {
        if (width > 0 && height > 0) PatBlt(dc, x, y, width, height, BLACKNESS);
    };
    band(0, 0, w.clientWidth, a.y);
    band(0, a.y + a.height, w.clientWidth, w.clientHeight - (a.y + a.height));
    band(0, a.y, a.x, a.height);
    band(a.x + a.width, a.y, w.clientWidth - (a.x + a.width), a.height);
}

}  // namespace

// timeGetTime moves in 1 ms steps once the entry has asked for timeBeginPeriod(1); GetTickCount
// moves in steps of about 16 ms, too coarse for the clock at high frame rates. Both are unsigned
// 32-bit milliseconds that wrap after 49.7 days.
uint32_t platformTickCount() { return timeGetTime(); }

void platformSleep(uint32_t milliseconds) { Sleep(milliseconds); }

uint8_t* platformCreateFrameMemory(int width, int height) {
    Win32Platform& w = win32();
    fillPresentationInfo(w.info, width, height);
    void* bits = nullptr;
    w.presentationBitmap =
        CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&w.info), DIB_RGB_COLORS, &bits, nullptr, 0);
    return w.presentationBitmap ? static_cast<uint8_t*>(bits) : nullptr;
}

void platformFreeFrameMemory(uint8_t*) {
    Win32Platform& w = win32();
    if (w.presentationBitmap) DeleteObject(w.presentationBitmap);
    w.presentationBitmap = nullptr;
}

void platformPresent(const uint8_t* pixels, int width, int height) {
    Win32Platform& w = win32();
    const Win32Window& window = win32Window();
    const HDC dc = window.windowDC;
    if (!dc) return;
    if (w.info.header.biWidth != width || w.info.header.biHeight != -height)
        fillPresentationInfo(w.info, width, height);
    // GDI does not wait for the display, so the pacer holds frames to its refresh rate (0 or 1
    // from VREFRESH: the hardware default, taken as 60).
    if (!w.pacerReady) {
        const int hz = GetDeviceCaps(dc, VREFRESH);
        w.pacer = makeFramePacer(hz > 1 ? hz : 0);
        w.pacerReady = true;
        SetStretchBltMode(dc, COLORONCOLOR);  // whole pixels only: sharp blocks when scaled up
    }
    if (window.coversScreen) {
        // Each frame pixel a sharp f × f block in the frame area, black around it.
        const PresentArea& a = window.frameArea;
        StretchDIBits(dc, a.x, a.y, a.width, a.height, 0, 0, width, height, pixels,
                      reinterpret_cast<const BITMAPINFO*>(&w.info), DIB_RGB_COLORS, SRCCOPY);
        paintBands(dc, window);
    } else {
        // A one-to-one copy of the frame to the client area's top-left corner.
        StretchDIBits(dc, 0, 0, width, height, 0, 0, width, height, pixels,
                      reinterpret_cast<const BITMAPINFO*>(&w.info), DIB_RGB_COLORS, SRCCOPY);
    }
    const uint32_t wait = framePacerDelay(w.pacer, platformTickCount());
    if (wait) Sleep(wait);
}
