// libFuzzer target: any bytes as a module (XM, MOD or S3M), loaded and played as play_input.h describes.
#include <cstddef>
#include <cstdint>

#include "fuzz/play_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::playInput(data, size);
    return 0;
}
