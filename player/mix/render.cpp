#include "player/mix/render.h"

#include <cstring>

#include "player/playback.h"
#include "player/play/sequencer.h"
#include "player/play/song_end.h"

namespace {

template <bool Mix>
int32_t runFrames(Playback& p, float* out, int32_t frames) {
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
        if constexpr (Mix) mixVoices(p.mixer, out + 2 * done, n);
        else advanceVoices(p.mixer, n);
        p.framesMixed += n;
        // Each run separately truncated, with the float32 reciprocal of the rate (slightly below
        // the exact value at 44100): play time runs behind. Wraps after 2^31 ms (24.8 days of
        // playing) instead of overflowing.
        p.playTimeMs = int32_t(uint32_t(p.playTimeMs) +
                               uint32_t(static_cast<int32_t>(double(n) * double(p.rateReciprocal) * 1000.0)));
        done += n;
        left -= n;
    }
    p.framesLeftInTick = left;
    return done;
}

}  // namespace

int32_t renderFrames(Playback& p, float* out, int32_t frames) { return runFrames<true>(p, out, frames); }

int32_t skipFrames(Playback& p, int32_t frames) { return runFrames<false>(p, nullptr, frames); }

int32_t renderMixBlock(Playback& p, float* mix, int16_t* pcm) {
    std::memset(mix, 0, sizeof(float) * 2 * size_t(kBlockFrames));
    const int32_t frames = renderFrames(p, mix, kBlockFrames);
    floatToPcm16(pcm, mix, kBlockFrames);
    return frames;
}
