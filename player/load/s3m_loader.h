#pragma once
// The S3M loader: Scream Tracker 3's header, order list, packed patterns and PCM samples. Its
// enabled channels become the module's, in their order; its effects keep their letters
// (kS3mEffects); Adlib instruments load as silent ones, with one warning.
#include <cstdint>

#include "player/load/load_support.h"

// True when the `size` bytes at `head` (the file's first ones) carry S3M's mark "SCRM" at byte 44.
bool isS3m(const uint8_t* head, int32_t size);

bool parseS3m(Loading& l, Module& m);
