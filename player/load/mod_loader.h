#pragma once
// The MOD loader: ProTracker's layout of 31 samples with its signatures, and the Soundtracker
// layout of 15 samples before it. Each sample becomes an instrument of one sample; periods in
// the patterns become notes, effects keep their numbers (XM's are MOD's).
#include <cstdint>

#include "player/load/load_support.h"

// Bytes at the start of a file that tell a MOD: its header up to the signature at 1080.
constexpr int32_t kModHeadBytes = 1084;

// How a signature at byte 1080 lays the module out.
struct ModLayout {
    int32_t     channels;       // 0: no signature this loader knows
    bool        pairedPatterns;  // FLT8: each pattern stored as two of 4 channels, the orders naming the first
    const char* tracker;        // the tracker that writes the signature
};

// The layout that the `size` bytes at `head` (the file's first ones) sign for, if any.
ModLayout modLayoutOf(const uint8_t* head, int32_t size);

// The four bytes at 1080 when they read like a signature (letters, digits and punctuation) that
// modLayoutOf does not know; "" otherwise.
std::string unknownModSignature(const uint8_t* head, int32_t size);

// True when the file is a Soundtracker module of 15 samples: without a signature that can only
// be told from every part fitting, so every name must be text, every volume and order in range,
// every pattern present, and every cell name a sample below 16 and a period Soundtracker plays.
bool isSoundtracker(Loading& l);

// Reads the module as `layout` says; a layout of 0 channels is Soundtracker's.
bool parseMod(Loading& l, Module& m, const ModLayout& layout);
