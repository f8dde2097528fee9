#include "tools/offline_run.h"

#include "host/demo.h"
#include "host/frame_driver.h"
#include "platform/offline/offline_audio.h"
#include "platform/offline/offline_platform.h"
#include "player/loader.h"
#include "player/output.h"
#include "player/song_end.h"
#include "player/stream.h"

bool measureDemoSong(int64_t maxFrames, int64_t& frames, std::string& reason) {
    setStreamCallbacks(resourceStreamOpen, resourceStreamClose, resourceStreamRead, resourceStreamSeek,
                       resourceStreamTell);
    Module* song = loadModule("IDR_BSTG", nullptr, &reason);  // the resource stream opens the song whatever the name
    if (!song) return false;
    frames = measureSongLength(*song, 0, maxFrames).frames;
    freeModule(song);
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

int64_t deviceFrameAt(const OfflineRun& run, int64_t k) { return k * kMixRate / run.fps; }

uint32_t tickAtEndOf(const OfflineRun& run, int64_t k) { return uint32_t((k + 1) * 1000 / run.fps); }

// Without a song the player never derived its block size: the silent blocks keep the live size.
int32_t blockFrames() { return player().blockFrames ? player().blockFrames : (kMixRate * 20 / 1000 + 3) / 4 * 4; }

const int16_t* ringBlock(int64_t absoluteBlock) {
    const PlayerState& p = player();
    if (!p.outputBuffer) return nullptr;
    return p.outputBuffer + size_t(absoluteBlock % p.blockCount) * size_t(p.blockFrames) * 2;
}

void feedAndDraw(const OfflineRun& run, int64_t k) {
    if (player().outputBuffer) {
        offlineAudio().position.store(uint32_t(uint64_t(deviceFrameAt(run, k)) * 4));  // bytes, wrapping
        feedPlayer();
    }
    offlinePlatform().tickCount = tickAtEndOf(run, k);  // read by the frame at its end
    renderFrame();
}

void endOfflineRun() {
    demoShutdown();
    demo() = DemoState{};
}
