#pragma once
// A demo record for tests, on the offline platform's services (its audio device, virtual tick
// count and threads), ready for demoStartUp.
#include <memory>

#include "host/demo.h"
#include "platform/realtime_services.h"

inline std::unique_ptr<Demo> makeTestDemo(PlayerFeeding feeding = PlayerFeeding::thread) {
    auto demo = std::make_unique<Demo>();
    demo->services = platformRealtimeServices();
    demo->feeding = feeding;
    return demo;
}
