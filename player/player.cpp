#include "player/player.h"

Module* loadModule(const char*) { return nullptr; }
