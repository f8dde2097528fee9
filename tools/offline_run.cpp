#include "tools/offline_run.h"

#include "host/demo.h"
#include "host/frame_driver.h"
#include "platform/offline/offline_audio.h"
#include "platform/offline/offline_platform.h"
#include "platform/resources.h"
#include "player/output.h"
#include "xmplayer.h"

bool measureDemoSong(int64_t maxFrames, int64_t& frames, std::string& reason) {
    const ResourceData song = findResource("XM", 118);
    char why[256] = "the song (XM 118) is not among the embedded resources";
    xmplayer_module* module = song.bytes ? xmplayer_load_memory(song.bytes, song.size, nullptr, why, sizeof why) : nullptr;
    if (!module) {
        reason = why;
        return false;
    }
    frames = xmplayer_song_frames(module, XMPLAYER_PROFILE_DEFAULT, 0, maxFrames);
    xmplayer_free_module(module);
    return true;
}

bool startOfflineRun(OfflineRun& run, int32_t fps, std::string& reason) {
    run = OfflineRun{fps, 0};
    resetOfflinePlatform();
    resetOfflineAudio();
    offlinePlatform().tickCount = 0;
    offlinePlatform().tickPerPresent = 0;
    demo().manualFeeding = true;
    return demoStartUp(reason);
}

int64_t deviceFrameAt(const OfflineRun& run, int64_t k) { return k * XMPLAYER_RATE / run.fps; }

uint32_t tickAtEndOf(const OfflineRun& run, int64_t k) { return uint32_t((k + 1) * 1000 / run.fps); }

const int16_t* ringBlock(int64_t absoluteBlock) {
    const RealtimePlayer* p = demo().player;
    if (!p || !p->outputBuffer) return nullptr;
    return p->outputBuffer + size_t(absoluteBlock % p->blockCount) * size_t(p->blockFrames) * 2;
}

void feedAndDraw(const OfflineRun& run, int64_t k) {
    RealtimePlayer* p = demo().player;
    if (p && p->outputBuffer) {
        offlineAudio().position.store(uint32_t(uint64_t(deviceFrameAt(run, k)) * 4));  // bytes, wrapping
        feedPlayer(*p);
    }
    offlinePlatform().tickCount = tickAtEndOf(run, k);  // read by the frame at its end
    renderFrame();
}

void endOfflineRun() {
    demoShutdown();
    demo() = DemoState{};
}
