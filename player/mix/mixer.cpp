#include "player/mix/mixer.h"

#include <cmath>
#include <cstdint>

#include "player/mix/mix_run.h"
#include "player/module.h"

namespace {

constexpr int64_t kOne = int64_t(1) << 32;  // 1.0 in 32.32
// A step of 0 never moves, but counting frames to a boundary needs a divisor: it stands for
// 0x017C6F8C, which is 256 Hz at 44100 Hz.
constexpr uint64_t kZeroStepStandIn = 0x017C6F8C;
constexpr float kOneOver255 = 1.0f / 255.0f;

// Frames until a position `distance` (32.32) away is reached or passed at `step` per frame; when
// that is more than `limit`, some number above `limit`. Most runs end before the boundary, and
// the product test spares them the 64-bit division.
uint64_t framesToReach(int64_t distance, uint64_t step, uint64_t limit) {
    if (distance <= 0) return 0;
    const uint64_t d = static_cast<uint64_t>(distance);
    const uint64_t s = step ? step : kZeroStepStandIn;
    if (static_cast<unsigned __int128>(limit) * s < d) return limit + 1;
    return d / s + (d % s != 0);
}

// Forward loop: take loopLength off the position once, then as often as it is not below the loop
// end, compared unsigned. The repeated subtraction is done in one step; the result lies in
// [loopStart, loopEnd) whenever more than one subtraction was needed.
uint32_t wrapForward(uint32_t position, const Sample& s) {
    const uint32_t loopEnd = s.loopStart + s.loopLength;
    uint32_t x = position - s.loopLength;
    if (x >= loopEnd) x -= ((x - loopEnd) / s.loopLength + 1) * s.loopLength;
    return x;
}

// Ping-pong loop: mirror the 32.32 position at the end it ran past, and keep mirroring at the
// other end until it lies inside the loop. Mirroring at p gives 2p − position − 2^-32.
// Two mirrorings, one at each end, move a position by 2L (L = loop length in 2^-32 units), so
// the alternation is taken modulo 2L in one step: a one-frame loop played at the highest step
// (about 48700 frames per output frame) would otherwise mirror tens of thousands of times per
// output frame. Only offsets from the loop ends are formed, never 2 × end, so nothing overflows.
int64_t reflect(int64_t pos, int32_t& direction, const Sample& s) {
    const int64_t start = int64_t(s.loopStart) * kOne;
    const int64_t length = int64_t(s.loopLength) * kOne;
    const int64_t end = start + length;
    if (direction == 1) {
        const int64_t past = pos - end;  // how far it ran beyond the end
        if (past < length) {
            pos = end - past - 1;  // one mirroring at the end lands inside
            direction = 2;
        } else {
            const int64_t r = (past - length) % (2 * length);
            pos = r < length ? start + r : start + 2 * length - r - 1;
            direction = r < length ? 1 : 2;
        }
    } else {
        const int64_t before = start - pos;  // how far it ran below the start
        if (before <= length) {
            pos = start + before - 1;  // one mirroring at the start lands inside
            direction = 1;
        } else {
            const int64_t r = (before - 1 - length) % (2 * length);
            pos = r < length ? end - r - 1 : start - length + r;
            direction = r < length ? 2 : 1;
        }
    }
    // A position that lands exactly on a loop start of 0 mirrors to −2^-32; keep the
    // interpolation's reads inside the sample.
    if (pos < 0) pos = 0;
    return pos;
}

void endVoice(Voice& v) {
    v.sample = nullptr;
    v.position = 0;
    v.positionFraction = 0;
}

}  // namespace

void resetMixer(Mixer& m, int32_t mixRate) {
    for (int32_t i = 0; i < kVoiceCount; ++i) {
        m.voices[i] = Voice{};
        m.voices[i].slot = i;
        m.voices[i].stepInteger = 1;
    }
    m.rampLength = mixRate * 128 / 44100;
    m.rampLengthReciprocal = 1.0f / static_cast<float>(m.rampLength);
    m.interpolation = Interpolation::linear;
    m.measurePeaks = false;
    m.silencedChannels = 0;
    m.wide = wideMixAvailable();
}

namespace {

// Where a cubic read past the loop's end continues.
SampleEdge edgeOf(const Sample& s) {
    if ((s.loopType == 2 || s.loopType == 4) && s.loopLength > 0)
        return {int64_t(s.loopStart) + s.loopLength, int64_t(s.loopLength), s.loopType == 4};
    return {INT64_MAX, 0, false};
}

// One voice over `frames` frames: mixed into `out` (Mix), or only moved as mixing would move it
// (out is nullptr then).
template <bool Mix>
void runVoice(const Mixer& m, Voice& v, float* out, int32_t frames) {
    const Sample& s = *v.sample;
    const uint64_t step = uint64_t(v.stepInteger) << 32 | v.stepFraction;
    const int64_t loopStart = int64_t(s.loopStart) * kOne;
    const int64_t loopEnd = (int64_t(s.loopStart) + s.loopLength) * kOne;
    int64_t pos = int64_t(v.position) * kOne + v.positionFraction;
    // Only the linear reading without peaks has the fast loops; the others run frame by frame.
    const bool fast = m.interpolation == Interpolation::linear && !m.measurePeaks;
    float* const peak = Mix && m.measurePeaks ? &v.peak : nullptr;

    int32_t left = frames;
    while (left > 0) {
        // Runs end at the end of the call, at the loop boundary, or at the end of a ramp.
        const bool forward = v.direction == 1;
        const int64_t boundary = forward ? (pos > loopEnd ? int64_t(s.length) * kOne : loopEnd) : loopStart;
        const int64_t distance = forward ? boundary - pos : pos - boundary;
        int32_t n = left;
        bool atBoundary = false;
        const uint64_t needed = framesToReach(distance, step, uint64_t(n));
        if (needed <= uint64_t(n)) {
            n = int32_t(needed);
            atBoundary = true;
        }

        if (!(v.rampFramesLeft > 0 && v.leftVolume == v.rampTargetLeft && v.rightVolume == v.rampTargetRight)) {
            v.rampTargetLeft = v.leftVolume;
            v.rampTargetRight = v.rightVolume;
            const int32_t dL = v.leftVolume - (v.currentLeft >> 8);
            const int32_t dR = v.rightVolume - (v.currentRight >> 8);
            const int32_t length = v.tickRampFrames ? v.tickRampFrames : m.rampLength;
            const float reciprocal = v.tickRampFrames ? 1.0f / float(length) : m.rampLengthReciprocal;
            v.rampStepLeft = dL ? float(dL) * kOneOver255 * reciprocal : 0.0f;
            v.rampStepRight = dR ? float(dR) * kOneOver255 * reciprocal : 0.0f;
            v.rampFramesLeft = (dL || dR) ? length : 0;
        }
        const bool ramping = v.rampFramesLeft > 0;
        bool cutByRamp = false;
        if (ramping && n > v.rampFramesLeft) {
            n = v.rampFramesLeft;
            atBoundary = false;
            cutByRamp = true;
        }

        // A voice set up outside its sample would read past the buffer: it ends instead.
        if (n > 0 && (!s.data || pos < 0 || (!forward && (pos >> 32) > int64_t(s.length)))) {
            endVoice(v);
            return;
        }

        float gL, gR;
        if (ramping) {
            gL = float(v.currentLeft) / 256.0f / 255.0f;
            gR = float(v.currentRight) / 256.0f / 255.0f;
        } else {
            gL = float(v.leftVolume) / 255.0f;
            gR = float(v.rightVolume) / 255.0f;
        }

        // Most of the player's time is spent here: interpolate, weigh, accumulate, step, in
        // mixRun and mixRampRun (player/mix_run.h). A silent voice at constant gains would add
        // only +0 or −0, which changes no sum (and no sum is −0, each starts at +0), so only its
        // position moves, as it does for a voice that is not mixed at all.
        const int16_t* data = s.data;
        const uint64_t delta = forward ? step : uint64_t(0) - step;
        const bool skip = !Mix || (!ramping && gL == 0.0f && gR == 0.0f);
        // Inside a forward loop at constant gains every later run of this call would end at the
        // loop end, wrap by one loop (the step is at most one loop) and keep these gains: all of
        // them in one go, whatever the interpolation. With the loop end below 2^30 frames no
        // position of it leaves 32 bits.
        if (!ramping && forward && s.loopType == 2 && s.loopLength > 0 && step != 0 && !v.nextSample &&
            step <= uint64_t(s.loopLength) << 32 && loopEnd < (int64_t(1) << 62) && pos < loopEnd) {
            const int64_t length = int64_t(s.loopLength) * kOne;
            if (skip) pos = skipLoopRun(pos, step, left, loopEnd, length);
            else if (fast) pos = mixLoopRun(data, pos, step, gL, gR, out, left, loopEnd, length, m.wide);
            else pos = mixAnyRun(m.interpolation, data, edgeOf(s), pos, step, gL, gR, 0.0f, 0.0f, out, left, loopEnd,
                                 length, peak);
            break;
        }
        if (skip) {
            pos = int64_t(uint64_t(pos) + uint64_t(n) * delta);
            // The gains a ramp reaches are summed frame by frame, as the mixing loops sum them.
            if (ramping)
                for (int32_t k = 0; k < n; ++k) {
                    gL += v.rampStepLeft;
                    gR += v.rampStepRight;
                }
        } else if (fast) {
            if (!ramping) pos = mixRun(data, pos, delta, gL, gR, out, n, m.wide);
            else pos = mixRampRun(data, pos, delta, gL, gR, v.rampStepLeft, v.rampStepRight, out, n, m.wide);
        } else {
            pos = mixAnyRun(m.interpolation, data, edgeOf(s), pos, delta, gL, gR, ramping ? v.rampStepLeft : 0.0f,
                            ramping ? v.rampStepRight : 0.0f, out, n, INT64_MAX, 0, peak);
        }

        if (ramping) {
            v.currentLeft = int32_t(std::lrintf(gL * 255.0f * 256.0f));
            v.currentRight = int32_t(std::lrintf(gR * 255.0f * 256.0f));
            v.rampFramesLeft -= n;
            if (v.rampFramesLeft == 0) {
                v.rampStepLeft = v.rampStepRight = 0.0f;
                v.currentLeft = v.leftVolume * 256;
                v.currentRight = v.rightVolume * 256;
            }
        }
        if constexpr (Mix) out += 2 * n;
        left -= n;
        if (cutByRamp || !atBoundary) continue;

        if (v.nextSample && forward) {
            // The pass is over: the voice goes on in the next sample's loop, as far past its start
            // as it ran past this boundary, for the rest of the call.
            const Sample& next = *v.nextSample;
            v.nextSample = nullptr;
            if ((next.loopType != 2 && next.loopType != 4) || next.loopLength == 0 || !next.data) {
                endVoice(v);
                return;
            }
            const int64_t at = int64_t(next.loopStart) * kOne + (pos - boundary) % (int64_t(next.loopLength) * kOne);
            v.sample = &next;
            v.direction = 1;
            v.position = int32_t(at >> 32);
            v.positionFraction = uint32_t(at);
            runVoice<Mix>(m, v, out, left);  // moved only, where this voice is only moved
            return;
        }

        if (s.loopType == 2 && s.loopLength > 0) {
            pos = int64_t(wrapForward(uint32_t(pos >> 32), s)) * kOne + uint32_t(pos);
        } else if (s.loopType == 4 && s.loopLength > 0) {
            pos = reflect(pos, v.direction, s);
        } else {
            endVoice(v);
            return;
        }
    }
    v.position = int32_t(pos >> 32);
    v.positionFraction = uint32_t(pos);
}

}  // namespace

void mixVoice(const Mixer& m, Voice& v, float* out, int32_t frames) {
    if (v.sample) runVoice<true>(m, v, out, frames);
}

void mixVoices(Mixer& mixer, float* buffer, int32_t frames) {
    if (frames <= 0) return;
    for (int32_t i = 0; i < kVoiceCount; ++i) {
        Voice& v = mixer.voices[i];
        if (!v.sample) continue;
        if ((mixer.silencedChannels >> (i & 31)) & 1) runVoice<false>(mixer, v, nullptr, frames);
        else runVoice<true>(mixer, v, buffer, frames);
    }
}

void advanceVoices(Mixer& mixer, int32_t frames) {
    if (frames <= 0) return;
    for (Voice& v : mixer.voices)
        if (v.sample) runVoice<false>(mixer, v, nullptr, frames);
}

void floatToPcm16(int16_t* destination, const float* source, int32_t frames) {
    if (frames <= 0 || !destination || !source) return;
    pcm16Run(destination, source, frames, wideMixAvailable());
}
