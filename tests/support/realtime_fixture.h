#pragma once
// The real-time layer for tests: a player on the offline platform's services (its audio device,
// virtual tick count and threads), freed with the test, and its internals for the checks.
#include <memory>

#include "platform/realtime_services.h"
#include "player/realtime/realtime_player.h"
#include "xmplayer_realtime.h"

using RealtimePlayerPtr = std::unique_ptr<RealtimePlayer, void (*)(RealtimePlayer*)>;

inline RealtimePlayerPtr makeTestPlayer() {
    return RealtimePlayerPtr(createRealtimePlayer(platformRealtimeServices()), freeRealtimePlayer);
}

// A module loaded through the C interface, freed with the test.
using ModulePtr = std::unique_ptr<xmplayer_module, void (*)(xmplayer_module*)>;

inline ModulePtr loadTestModule(const void* bytes, size_t size) {
    return ModulePtr(xmplayer_load_memory(bytes, size, nullptr, nullptr, 0), xmplayer_free_module);
}
