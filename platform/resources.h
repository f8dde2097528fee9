#pragma once
// The program's embedded resources: the bitmaps, the song and the scroll text travel inside the
// executable. Read-only bytes that live as long as the process.
#include <cstddef>
#include <cstdint>

struct ResourceData {
    const uint8_t* bytes;  // nullptr when the resource does not exist
    size_t         size;   // bytes
};

// A resource by type ("BITMAP", "XM", "TXT") and number. Bitmaps come as complete BMP files.
ResourceData findResource(const char* type, uint16_t identifier);

// A resource by its file name in resources/, for resources without a number.
ResourceData findNamedResource(const char* name);

// A bitmap resource that the platform converts itself (Windows: LoadBitmapA and GetObjectA, then
// GetDIBits). Where bitmaps travel as BMP bytes instead (the embedded table), opening fails and
// the caller decodes what findResource gives.
struct PlatformBitmap {
    void*   handle;  // the platform's bitmap; nullptr once released
    int32_t width;   // pixels, 1…16384
    int32_t height;  // rows, 1…16384
};

// Opens bitmap `identifier` and reads its size. False where the platform has no converter of its
// own or no bitmap has that number.
bool platformOpenBitmap(uint16_t identifier, PlatformBitmap& bitmap);

// Writes the pixels into width × height × 4 bytes, top row first, each pixel its palette colour
// as blue, green, red, 0; then releases the bitmap. False when the conversion fails.
bool platformReadBitmap(PlatformBitmap& bitmap, uint8_t* pixels);
