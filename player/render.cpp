#include "player/render.h"

#include <cstring>

#include "player/playback.h"
#include "player/sequencer.h"
#include "player/song_end.h"

namespace {

// 1 / 44100 as float32, slightly below the exact value: play time runs slightly behind.
const float kMixRateReciprocal = 1.0f / static_cast<float>(kMixRate);

}  // namespace

int32_t renderFrames(Playback& p, float* out, int32_t frames) {
    if (p.ended) return 0;
    int32_t done = 0;
    int32_t left = p.framesLeftInTick;
    while (done < frames) {
        if (left == 0) {
            if (p.songEnd && songEndsHere(*p.songEnd, p)) {
                p.ended = true;
                break;
            }
            p.tickFrame = p.framesMixed;
            sequencerTick(p);
            if (p.tickReport) p.tickReport(p, p.tickReportUser);
            left = p.framesPerTick;
        }
        const int32_t n = left < frames - done ? left : frames - done;
        mixVoices(p.mixer, out + 2 * done, n);
        p.framesMixed += n;
        // Each run separately truncated. Wraps after 2^31 ms (24.8 days of playing) instead of
        // overflowing.
        p.playTimeMs = int32_t(uint32_t(p.playTimeMs) +
                               uint32_t(static_cast<int32_t>(double(n) * double(kMixRateReciprocal) * 1000.0)));
        done += n;
        left -= n;
    }
    p.framesLeftInTick = left;
    return done;
}

int32_t renderMixBlock(Playback& p, float* mix, int16_t* pcm) {
    std::memset(mix, 0, sizeof(float) * 2 * size_t(kBlockFrames));
    const int32_t frames = renderFrames(p, mix, kBlockFrames);
    floatToPcm16(pcm, mix, kBlockFrames);
    return frames;
}
