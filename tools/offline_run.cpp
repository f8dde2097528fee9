#include "tools/offline_run.h"

#include "host/demo.h"
#include "host/frame_driver.h"
#include "platform/offline/offline_audio.h"
#include "platform/offline/offline_platform.h"
#include "platform/realtime_services.h"
#include "platform/resources.h"
#include "xmplayer.h"

bool measureDemoSong(int64_t maxFrames, int64_t& frames, std::string& reason) {
    const ResourceData song = findResource("XM", 118);
    char why[256] = "the song (XM 118) is not among the embedded resources";
    xmplayer_module* module = song.bytes ? xmplayer_load_memory(song.bytes, song.size, why, sizeof why) : nullptr;
    if (!module) {
        reason = why;
        return false;
    }
    frames = xmplayer_song_frames(module, XMPLAYER_PROFILE_DEFAULT, 0, maxFrames);
    xmplayer_free_module(module);
    return true;
}

bool startOfflineRun(OfflineRun& run, int32_t fps, std::string& reason) {
    run = OfflineRun{fps, 0, new Demo{}};
    resetOfflinePlatform();
    resetOfflineAudio();
    offlinePlatform().tickCount = 0;
    offlinePlatform().tickPerPresent = 0;
    run.demo->services = platformRealtimeServices();
    run.demo->feeding = PlayerFeeding::frames;
    if (demoStartUp(*run.demo, reason)) return true;
    demoShutdown(*run.demo);
    delete run.demo;
    run.demo = nullptr;
    return false;
}

int64_t deviceFrameAt(const OfflineRun& run, int64_t k) { return k * XMPLAYER_RATE / run.fps; }

uint32_t tickAtEndOf(const OfflineRun& run, int64_t k) { return uint32_t((k + 1) * 1000 / run.fps); }

// The ring as the offline device holds it: the blocks the device is playing.
const int16_t* ringBlock(int64_t absoluteBlock) {
    const OfflineAudio& device = offlineAudio();
    if (!device.open || !device.ring) return nullptr;
    const int64_t blocks = int64_t(device.ringBytes / 4) / XMPLAYER_BLOCK_FRAMES;
    return device.ring + size_t(absoluteBlock % blocks) * XMPLAYER_BLOCK_FRAMES * 2;
}

void feedAndDraw(const OfflineRun& run, int64_t k) {
    // The device has played this far when the frame starts; the frame feeds the player first.
    offlineAudio().position.store(uint32_t(uint64_t(deviceFrameAt(run, k)) * 4));  // bytes, wrapping
    offlinePlatform().tickCount = tickAtEndOf(run, k);  // read by the frame at its end
    renderFrame(*run.demo);
}

void endOfflineRun(OfflineRun& run) {
    if (!run.demo) return;
    demoShutdown(*run.demo);
    delete run.demo;
    run.demo = nullptr;
}
