#pragma once
// The XM loader: turns a song read through the stream callbacks into a Module whose samples are
// all 16-bit mono frames with their delta coding removed and a guard frame after each loop, and
// releases it again.
#include <string>

#include "player/module.h"

// Loads the module the installed stream callbacks open under `name`. nullptr when it cannot:
// no callbacks, the stream does not open, the ID text differs, or the module cannot be played
// (no channels or more than 32, an instrument with more than 16 samples, patterns of more than
// 2^24 cells in all); `*reason`, when given, then says why in one line. What can be played
// safely is clamped instead, and a truncated file loads with zeros for what is missing.
// `sampleDataCallback` (may be nullptr) supplies sample data in place of the file's bytes, which
// are then skipped; it is only asked for as many bytes as the file holds.
// The stream must support seeking from the end: the loader measures it once.
// The caller owns the result and releases it with freeModule.
Module* loadModule(const char* name, SampleDataCallback sampleDataCallback, std::string* reason = nullptr);

// Stops the player (whatever it plays), then releases everything the module owns and the module
// itself. False for nullptr.
bool freeModule(Module* module);
