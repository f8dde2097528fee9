#pragma once
// The module player as the demo host sees it: load the embedded song, start it, ask where it is.
#include <cstdint>

struct Module;  // a loaded song

// Loads the song through the installed stream callbacks; nullptr when it cannot be loaded.
Module* loadModule(const char* name);

#include "player/output.h"
