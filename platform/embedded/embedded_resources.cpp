// Resource look-up over the table generated from resources/ (Linux and the offline tools).
#include "platform/embedded/embedded_resources.h"
#include "platform/resources.h"

#include <cstring>

ResourceData findResource(const char* type, uint16_t identifier) {
    for (const EmbeddedResource* r = embeddedResources; r->type; ++r)
        if (r->identifier == identifier && std::strcmp(r->type, type) == 0)
            return {r->bytes, r->size};
    return {nullptr, 0};
}

ResourceData findNamedResource(const char* name) {
    for (const EmbeddedResource* r = embeddedResources; r->type; ++r)
        if (std::strcmp(r->name, name) == 0) return {r->bytes, r->size};
    return {nullptr, 0};
}

// The embedded bitmaps are BMP files; the bitmap loader decodes their bytes itself.
bool platformOpenBitmap(uint16_t, PlatformBitmap&) { return false; }
bool platformReadBitmap(PlatformBitmap&, uint8_t*) { return false; }
