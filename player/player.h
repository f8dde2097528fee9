#pragma once
// The module player as the demo host sees it: load the embedded song, start it, ask where it is.
#include <cstdint>

struct Module;  // a loaded song

#include "player/output.h"
