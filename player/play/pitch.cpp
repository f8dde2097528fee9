#include "player/play/pitch.h"

#include <cmath>
#include <cstdlib>

#include "maths/portable_math.h"
#include "player/play/channel.h"
#include "player/mix/mixer.h"
#include "player/module.h"
#include "player/playback.h"

namespace {

// 255 / 2^35: full scale (64 × 64 × 65536 × 64 = 2^34) becomes 127.
constexpr double kVolumeScale = 7.4214767664670944e-9;
constexpr int32_t kMinimumFrequency = 100;  // Hz; lower pitches step as this

// Fine-tunes 0…7, then −8…−1: 37 entries each.
constexpr int16_t kProtrackerPeriods[16 * (kProtrackerNotes + 1)] = {
    856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453, 428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226, 214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113, 0,
    850, 802, 757, 715, 674, 637, 601, 567, 535, 505, 477, 450, 425, 401, 379, 357, 337, 318, 300, 284, 268, 253, 239, 225, 213, 201, 189, 179, 169, 159, 150, 142, 134, 126, 119, 113, 0,
    844, 796, 752, 709, 670, 632, 597, 563, 532, 502, 474, 447, 422, 398, 376, 355, 335, 316, 298, 282, 266, 251, 237, 224, 211, 199, 188, 177, 167, 158, 149, 141, 133, 125, 118, 112, 0,
    838, 791, 746, 704, 665, 628, 592, 559, 528, 498, 470, 444, 419, 395, 373, 352, 332, 314, 296, 280, 264, 249, 235, 222, 209, 198, 187, 176, 166, 157, 148, 140, 132, 125, 118, 111, 0,
    832, 785, 741, 699, 660, 623, 588, 555, 524, 495, 467, 441, 416, 392, 370, 350, 330, 312, 294, 278, 262, 247, 233, 220, 208, 196, 185, 175, 165, 156, 147, 139, 131, 124, 117, 110, 0,
    826, 779, 736, 694, 655, 619, 584, 551, 520, 491, 463, 437, 413, 390, 368, 347, 328, 309, 292, 276, 260, 245, 232, 219, 206, 195, 184, 174, 164, 155, 146, 138, 130, 123, 116, 109, 0,
    820, 774, 730, 689, 651, 614, 580, 547, 516, 487, 460, 434, 410, 387, 365, 345, 325, 307, 290, 274, 258, 244, 230, 217, 205, 193, 183, 172, 163, 154, 145, 137, 129, 122, 115, 109, 0,
    814, 768, 725, 684, 646, 610, 575, 543, 513, 484, 457, 431, 407, 384, 363, 342, 323, 305, 288, 272, 256, 242, 228, 216, 204, 192, 181, 171, 161, 152, 144, 136, 128, 121, 114, 108, 0,
    907, 856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453, 428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226, 214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 0,
    900, 850, 802, 757, 715, 675, 636, 601, 567, 535, 505, 477, 450, 425, 401, 379, 357, 337, 318, 300, 284, 268, 253, 238, 225, 212, 200, 189, 179, 169, 159, 150, 142, 134, 126, 119, 0,
    894, 844, 796, 752, 709, 670, 632, 597, 563, 532, 502, 474, 447, 422, 398, 376, 355, 335, 316, 298, 282, 266, 251, 237, 223, 211, 199, 188, 177, 167, 158, 149, 141, 133, 125, 118, 0,
    887, 838, 791, 746, 704, 665, 628, 592, 559, 528, 498, 470, 444, 419, 395, 373, 352, 332, 314, 296, 280, 264, 249, 235, 222, 209, 198, 187, 176, 166, 157, 148, 140, 132, 125, 118, 0,
    881, 832, 785, 741, 699, 660, 623, 588, 555, 524, 494, 467, 441, 416, 392, 370, 350, 330, 312, 294, 278, 262, 247, 233, 220, 208, 196, 185, 175, 165, 156, 147, 139, 131, 123, 117, 0,
    875, 826, 779, 736, 694, 655, 619, 584, 551, 520, 491, 463, 437, 413, 390, 368, 347, 328, 309, 292, 276, 260, 245, 232, 219, 206, 195, 184, 174, 164, 155, 146, 138, 130, 123, 116, 0,
    868, 820, 774, 730, 689, 651, 614, 580, 547, 516, 487, 460, 434, 410, 387, 365, 345, 325, 307, 290, 274, 258, 244, 230, 217, 205, 193, 183, 172, 163, 154, 145, 137, 129, 122, 115, 0,
    862, 814, 768, 725, 684, 646, 610, 575, 543, 513, 484, 457, 431, 407, 384, 363, 342, 323, 305, 288, 272, 256, 242, 228, 216, 203, 192, 181, 171, 161, 152, 144, 136, 128, 121, 114, 0,
};

int32_t amigaBase(int32_t note) {
    return static_cast<int32_t>(13.375 * portableExp2((132 - note) / 12.0));
}

}  // namespace

int32_t protrackerPeriod(int32_t fineTune, int32_t index) {
    const int32_t at = (fineTune & 15) * (kProtrackerNotes + 1) + index;
    constexpr int32_t kEntries = int32_t(sizeof kProtrackerPeriods / sizeof kProtrackerPeriods[0]);
    return at >= 0 && at < kEntries ? kProtrackerPeriods[at] : 0;
}

int32_t linearPeriod(int32_t note, int32_t fineTune) { return 7680 - note * 64 - fineTune / 2; }

int32_t amigaPeriod(int32_t note, int32_t fineTune) {
    const int32_t p = amigaBase(note);
    const int32_t d = fineTune < 0 && note != 0 ? (p - amigaBase(note - 1)) * std::abs(fineTune)
                                                : (p - amigaBase(note + 1)) * fineTune;
    return p - d / 128;
}

int32_t protrackerArpeggio(int32_t period, int32_t fineTune, int32_t n) {
    // The 0 after each table is at or below every period: the search ends there at the latest.
    int32_t i = 0;
    while (i < kProtrackerNotes && period < 4 * protrackerPeriod(fineTune / 16, i)) ++i;
    return 4 * protrackerPeriod(fineTune / 16, i + n);
}

int32_t periodFrequency(int32_t period, int32_t periodDelta, bool linear, int32_t amigaClock) {
    if (linear) {
        // 2^((4608 − period + periodDelta) / 768), computed without integer overflow. Beyond
        // 2^31 − 1 Hz no step fits the mixer's 32-bit integer part: such pitches are limited.
        const double f = 8363.0 * portableExp2((4608.0 - double(period) + double(periodDelta)) / 768.0);
        return f >= 2147483647.0 ? 2147483647 : static_cast<int32_t>(f);
    }
    const int64_t q = int64_t(period) + periodDelta;
    if (q == 0) return 0;  // no pitch: updateVoice skips the update
    return static_cast<int32_t>(amigaClock / q);
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
        v.nextSample = nullptr;
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
    // The step is a function of the pitch alone (the module's scale, the profile's clock and the rate
    // are fixed).
    if ((c.updateFlags & kUpdatePitch) &&
        !(v.stepKnown && v.stepPeriod == c.period && v.stepPeriodDelta == c.periodDelta)) {
        setStep(v,
                periodFrequency(c.period, c.periodDelta, p.module->flags & 1,
                                p.profile.protrackerPeriods ? kPalAmigaClock : kAmigaClock),
                p.rate);
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
