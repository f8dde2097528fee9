#pragma once
// Audio output and player control: the looping ring of 100 blocks of 884 frames, pre-rendered at
// start and refilled behind the device's play position by the feeder thread, and the per-block
// song position the pictures follow.
#include <cstdint>

struct Module;

// Stops whatever is playing (feeder thread, device, buffers). False only for a module that is
// nullptr.
bool stopPlayer(Module* module);
