// Resource look-up on Win32: the resources are compiled into the executable by the resource
// compiler. Bitmaps come through LoadBitmapA and GetDIBits; everything else as raw bytes through
// FindResourceA, LoadResource, LockResource and SizeofResource.
#include <windows.h>

#include <cstring>

#include "platform/resources.h"

namespace {

constexpr LONG kMaxSide = 16384;  // as the BMP decoder: keeps width × height × 4 far inside size_t

ResourceData lockResource(HRSRC info) {
    if (!info) return {nullptr, 0};
    const HGLOBAL loaded = LoadResource(nullptr, info);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return {nullptr, 0};
    // Resources are mapped with the executable and stay until the process ends.
    return {static_cast<const uint8_t*>(bytes), size_t(SizeofResource(nullptr, info))};
}

}  // namespace

ResourceData findResource(const char* type, uint16_t identifier) {
    const char* resourceType = std::strcmp(type, "BITMAP") == 0 ? RT_BITMAP : type;
    return lockResource(FindResourceA(nullptr, MAKEINTRESOURCEA(identifier), resourceType));
}

ResourceData findNamedResource(const char* name) { return lockResource(FindResourceA(nullptr, name, RT_RCDATA)); }

bool platformOpenBitmap(uint16_t identifier, PlatformBitmap& bitmap) {
    bitmap = PlatformBitmap{};
    const HBITMAP loaded = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(identifier));
    if (!loaded) return false;
    BITMAP size{};
    if (!GetObjectA(loaded, sizeof size, &size) || size.bmWidth <= 0 || size.bmWidth > kMaxSide ||
        size.bmHeight <= 0 || size.bmHeight > kMaxSide) {
        DeleteObject(loaded);
        return false;
    }
    bitmap = PlatformBitmap{loaded, int32_t(size.bmWidth), int32_t(size.bmHeight)};
    return true;
}

bool platformReadBitmap(PlatformBitmap& bitmap, uint8_t* pixels) {
    // A 32-bit top-down request: each pixel comes out as its palette colour, blue, green, red, 0.
    // The colour table that follows the header is room GetDIBits may write into; 32-bit BI_RGB
    // pixels use none.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD          colours[256];
    } info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = bitmap.width;
    info.header.biHeight = -bitmap.height;
    info.header.biPlanes = 1;
    info.header.biBitCount = 32;
    info.header.biCompression = BI_RGB;
    const HBITMAP handle = static_cast<HBITMAP>(bitmap.handle);
    const HDC dc = CreateCompatibleDC(nullptr);
    const int lines = dc ? GetDIBits(dc, handle, 0, UINT(bitmap.height), pixels,
                                     reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS)
                         : 0;
    if (dc) DeleteDC(dc);
    DeleteObject(handle);
    bitmap.handle = nullptr;
    return lines == bitmap.height;
}
