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
