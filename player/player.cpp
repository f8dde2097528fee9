#include "player/player.h"
