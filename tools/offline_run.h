#pragma once
// The demo run offline: its own start-up and frames, with a virtual clock in place of the real
// one and the offline audio device in place of the sound card, so every frame and every sample
// is what the live demo would show and play at that moment, on every run.
#include <cstdint>
#include <string>

#include "xmplayer.h"

struct Demo;

struct OfflineRun {
    int32_t fps;             // frames per second of the virtual clock
    int64_t nextAudioBlock;  // first ring block (absolute) not yet handed to takeAudio
    Demo*   demo;            // the demo that runs, made by startOfflineRun, freed by endOfflineRun
};

// The embedded song's length in output frames (44100 Hz), by the rule xmrender uses by default,
// at most `maxFrames`. Loads its own copy of the song and runs before startOfflineRun, while the
// player plays nothing. False with a reason when the song cannot be loaded.
bool measureDemoSong(int64_t maxFrames, int64_t& frames, std::string& reason);

// Runs the demo's start-up with the offline platform and a player that the frames feed. The tick
// count reads 0 at its end. False with a reason when the start-up fails (nothing is left to end).
bool startOfflineRun(OfflineRun& run, int32_t fps, std::string& reason);

// Frame k (from 0): the device has played floor(k × 44100 / fps) frames and the feeder has
// refilled every block behind it; then the frame is drawn, and its clock reads
// floor((k + 1) × 1000 / fps) at its end. Blocks about to be refilled are first passed to
// `played` (absolute block number, 884 stereo frames of int16 or nullptr for silence when no
// song plays), in playing order.
template <typename PlayedBlock>
void runFrame(OfflineRun& run, int64_t k, PlayedBlock played);

// Passes every block up to and including the one that holds absolute sample frame `endFrame` − 1
// and has not been passed yet; they are still in the ring.
template <typename PlayedBlock>
void flushAudio(OfflineRun& run, int64_t endFrame, PlayedBlock played);

// Stops the player and releases the demo.
void endOfflineRun(OfflineRun& run);

// --- implementation details used by the templates ---
int64_t deviceFrameAt(const OfflineRun& run, int64_t k);    // floor(k × 44100 / fps)
uint32_t tickAtEndOf(const OfflineRun& run, int64_t k);     // floor((k + 1) × 1000 / fps)
const int16_t* ringBlock(int64_t absoluteBlock);            // its 884 frames; nullptr: silence (no device)
void feedAndDraw(const OfflineRun& run, int64_t k);

template <typename PlayedBlock>
void flushAudio(OfflineRun& run, int64_t endFrame, PlayedBlock played) {
    while (run.nextAudioBlock * XMPLAYER_BLOCK_FRAMES < endFrame) {
        played(run.nextAudioBlock, ringBlock(run.nextAudioBlock));
        ++run.nextAudioBlock;
    }
}

template <typename PlayedBlock>
void runFrame(OfflineRun& run, int64_t k, PlayedBlock played) {
    // Blocks wholly behind the device are refilled by the feeder: hand them over first.
    const int64_t device = deviceFrameAt(run, k);
    while ((run.nextAudioBlock + 1) * XMPLAYER_BLOCK_FRAMES <= device) {
        played(run.nextAudioBlock, ringBlock(run.nextAudioBlock));
        ++run.nextAudioBlock;
    }
    feedAndDraw(run, k);
}
