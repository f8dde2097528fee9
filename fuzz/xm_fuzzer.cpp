// libFuzzer target: any bytes as an XM module, loaded and played as play_input.h describes.
#include <cstddef>
#include <cstdint>

#include "fuzz/play_input.h"
#include "platform/embedded/embedded_resources.h"

// The fuzzer embeds no resources: the resource stream is never opened here.
const EmbeddedResource embeddedResources[] = {{nullptr, 0, nullptr, nullptr, 0}};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::playInput(data, size);
    return 0;
}
