#pragma once
// The module loader: turns a song read through stream callbacks into a Module whose samples are
// all 16-bit mono frames with a guard frame after each loop, and releases it again. What the
// file holds decides how it is read: XM (here), MOD (mod_loader) or S3M (s3m_loader).
#include <cstddef>
#include <cstdint>
#include <string>

#include "player/module.h"
#include "player/load/stream.h"

// Optional source of sample data in place of the stream: fills `buffer` (zeroed) with `bytes`
// bytes of the sample's raw frames, already decoded (no delta coding): signed 8-bit values, or
// 16-bit little-endian ones. `instrument` and `sample` count from 0. The result is not used.
using SampleDataCallback = int (*)(uint8_t* buffer, int32_t bytes, int32_t bitsPerSample, int32_t instrument,
                                   int32_t sample);

// Loads the module that `callbacks` open under `name`. nullptr when it cannot: an incomplete set
// of callbacks, the stream does not open, it is no XM, MOD or S3M module, or the module cannot be
// played (no channels or more than 32, an instrument with more than 16 samples, patterns of more
// than 2^24 cells in all); `*reason`, when given, then says why in one line (naming what the file
// seems to be where that is known). What can be played safely is clamped instead, and a
// truncated file loads with zeros for what is missing (missingBytes, and a line in warnings).
// `sampleDataCallback` (may be nullptr) supplies sample data in place of the file's bytes, which
// are then skipped; it is only asked for as many bytes as the file holds.
// The stream must support seeking from the end: the loader measures it once.
// The caller owns the result and releases it with freeModule.
Module* loadModule(const StreamCallbacks& callbacks, const char* name, SampleDataCallback sampleDataCallback,
                   std::string* reason = nullptr);

// The same from `size` bytes at `bytes`, read through a memory stream (the module copies what it
// keeps: the bytes may go once it returns).
Module* loadModuleFromMemory(const uint8_t* bytes, size_t size, SampleDataCallback sampleDataCallback,
                             std::string* reason = nullptr);

// The same from a stream opened by other means (the record and its handle are the caller's
// making); the loader takes it over and closes it. `*notAModule`, when given, says whether a
// failure was the file's format (of none the player reads) rather than a limit of the player.
Module* loadModuleFromStream(ModuleStream* stream, SampleDataCallback sampleDataCallback,
                             std::string* reason = nullptr, bool* notAModule = nullptr);

// Releases everything the module owns and the module itself. No playback of it may run any more.
// False for nullptr.
bool freeModule(Module* module);
