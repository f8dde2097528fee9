#pragma once
// The table the build generates from resources/: one entry per file, ended by a null type.
#include <cstddef>
#include <cstdint>

struct EmbeddedResource {
    const char*          type;        // "BITMAP", "XM", "TXT", …
    uint16_t             identifier;  // leading number of the file name, 0 when it has none
    const char*          name;        // file name in resources/
    const unsigned char* bytes;
    size_t               size;        // bytes
};

extern const EmbeddedResource embeddedResources[];
