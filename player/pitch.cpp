#include "player/pitch.h"

#include <cmath>
#include <cstdlib>

#include "maths/portable_math.h"
#include "player/channel.h"
#include "player/mixer.h"
#include "player/module.h"
#include "player/playback.h"

namespace {

// 255 / 2^35: full scale (64 × 64 × 65536 × 64 = 2^34) becomes 127.
constexpr double kVolumeScale = 7.4214767664670944e-9;
constexpr int32_t kMinimumFrequency = 100;  // Hz; lower pitches step as this

int32_t amigaBase(int32_t note) {
    return static_cast<int32_t>(13.375 * portableExp2((132 - note) / 12.0));
}

}  // namespace

int32_t linearPeriod(int32_t note, int32_t fineTune) { return 7680 - note * 64 - fineTune / 2; }

int32_t amigaPeriod(int32_t note, int32_t fineTune) {
    const int32_t p = amigaBase(note);
    const int32_t d = fineTune < 0 && note != 0 ? (p - amigaBase(note - 1)) * std::abs(fineTune)
                                                : (p - amigaBase(note + 1)) * fineTune;
    return p - d / 128;
}

int32_t periodFrequency(int32_t period, int32_t periodDelta, bool linear) {
    if (linear) {
        // 2^((4608 − period + periodDelta) / 768), computed without integer overflow. Beyond
        // 2^31 − 1 Hz no step fits the mixer's 32-bit integer part: such pitches are limited.
        const double f = 8363.0 * portableExp2((4608.0 - double(period) + double(periodDelta)) / 768.0);
        return f >= 2147483647.0 ? 2147483647 : static_cast<int32_t>(f);
    }
    const int64_t q = int64_t(period) + periodDelta;
    if (q == 0) return 0;  // no pitch: updateVoice skips the update
    return static_cast<int32_t>(14317056 / q);
}

int32_t finalVolume(const Channel& c, int32_t globalVolume) {
    float v = static_cast<float>(double(c.volume + c.volumeDelta) * c.volumeEnvelopeValue);
    v = static_cast<float>(double(v) * c.fadeoutVolume);
    v = static_cast<float>(double(v) * globalVolume);
    v = static_cast<float>(double(v) * kVolumeScale);
    return static_cast<int32_t>(v);
}

// In 64 bits: volume-column slides carry the stored panning anywhere in the 32-bit range, and
// envelope values reach 65535, so reach × (envelope − 32) passes 2^31 once the panning is a
// million away from the centre.
int32_t finalPanning(const Channel& c) {
    const int64_t reach = (128 - std::abs(int64_t(c.panning) - 128)) / 32;
    const int64_t p = c.panning + reach * (int64_t(c.panningEnvelopeValue) - 32);
    return p < 0 ? 0 : p > 255 ? 255 : int32_t(p);
}

// A sounding note stays on its voice and ramps out there (its targets go to 0); a copy of the voice
// on the partner slot becomes the channel's voice and takes the new note. An idle voice is reused.
static void takeOverVoice(Mixer& mixer, Channel& c) {
    Voice& current = *c.voice;
    if (!current.sample) return;
    const int32_t b = current.slot < kMaxChannels ? current.slot + kMaxChannels : current.slot - kMaxChannels;
    Voice& partner = mixer.voices[b];
    partner = current;
    partner.slot = b;
    current.volume = current.leftVolume = current.rightVolume = 0;
    c.voice = &partner;
}

// The voice's two gains from its volume and panning: 255 − panning and panning parts of 255, so
// 128 leans right by one part; under the profile's panningSplits256, parts of 256, so 128 is exactly
// centred (and 255 keeps 1/256 on the left).
static void splitPanning(Voice& v, bool splits256) {
    const int32_t whole = splits256 ? 256 : 255;
    v.leftVolume = (whole - v.panning) * v.volume / whole;
    v.rightVolume = v.panning * v.volume / whole;
}

// Step = frequency / rate in 32.32.
static void setStep(Voice& v, int32_t frequency, int32_t rate) {
    const uint32_t f = uint32_t(frequency < kMinimumFrequency ? kMinimumFrequency : frequency);
    const uint32_t r = uint32_t(rate);
    v.frequency = frequency;
    v.stepInteger = f / r;
    v.stepFraction = uint32_t((uint64_t(f % r) << 32) / r);
}

void updateVoice(Playback& p, Channel& c, const Sample& sample) {
    if (p.timingOnly) return;  // no effect reads a voice back: the song's timing is in the channels
    if (int64_t(c.period) + c.periodDelta == 0) c.updateFlags &= uint8_t(~kUpdatePitch);
    if (c.updateFlags & kUpdateTrigger) {
        takeOverVoice(p.mixer, c);
        Voice& v = *c.voice;
        v.sample = &sample;
        if (v.startOffset >= sample.loopStart + sample.loopLength) v.startOffset = 0;
        v.position = int32_t(v.startOffset);
        v.positionFraction = 0;
        v.direction = 1;
        v.startOffset = 0;
        v.currentLeft = v.currentRight = 0;  // the new note ramps in from silence
        v.rampFramesLeft = 0;
        if (c.updateFlags & kUpdateStop) v.sample = nullptr;
    }
    Voice& v = *c.voice;
    // A note starts with the mixer's short ramp, and so do the sudden changes that ask for it;
    // other changes glide over the whole tick.
    if (p.profile.volumeRampsOverTick)
        v.tickRampFrames = (c.updateFlags & (kUpdateTrigger | kUpdateQuickVolume)) ? 0 : p.framesPerTick;
    if (c.updateFlags & kUpdateVolume) {
        v.volume = v.volumeCopy = finalVolume(c, p.globalVolume);
        splitPanning(v, p.profile.panningSplits256);
    }
    if (c.updateFlags & kUpdatePanning) {
        v.panning = v.panningCopy = finalPanning(c);
        splitPanning(v, p.profile.panningSplits256);
    }
    // The step is a function of the pitch alone (the module's scale and the rate are fixed).
    if ((c.updateFlags & kUpdatePitch) &&
        !(v.stepKnown && v.stepPeriod == c.period && v.stepPeriodDelta == c.periodDelta)) {
        setStep(v, periodFrequency(c.period, c.periodDelta, p.module->flags & 1), p.rate);
        v.stepKnown = true;
        v.stepPeriod = c.period;
        v.stepPeriodDelta = c.periodDelta;
    }
    if (c.updateFlags & kUpdateRewind) {
        v.position = 0;
        v.positionFraction = 0;
        v.startOffset = 0;
    }
}
