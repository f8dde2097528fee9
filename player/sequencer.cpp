#include "player/sequencer.h"

#include "player/module.h"

void sequencerTick(Module&) {}
