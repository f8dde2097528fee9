#include "player/play/envelopes.h"

#include <cmath>

#include "maths/portable_math.h"
#include "player/play/channel.h"
#include "player/module.h"
#include "player/profile.h"

namespace {

constexpr int32_t kLastPointTick = 65535;  // point x values are 16 bits

// One envelope's state in the channel and its shape in the instrument. Indices the instrument
// names beyond its stored points switch that feature off, so no point past them is ever read.
struct EnvelopeState {
    int32_t& tick;
    int32_t& point;        // the next point to reach
    int32_t& accumulator;  // 16.16
    int32_t& value;
    int32_t& step;         // 16.16 per tick
    uint8_t& done;
};

struct EnvelopeShape {
    const EnvelopePoint* points;
    int32_t              count;      // at most 12
    int32_t              sustain;    // −1: none
    int32_t              loopStart;  // −1: no loop
    int32_t              loopEnd;
};

EnvelopeShape shapeOf(const EnvelopePoint* points, uint8_t count, uint8_t type, uint8_t sustain, uint8_t loopStart,
                      uint8_t loopEnd) {
    const int32_t n = count > 12 ? 12 : count;
    const bool loops = (type & 4) && loopStart < n && loopEnd < n;
    return {points, n, (type & 2) && sustain < n ? int32_t(sustain) : -1, loops ? int32_t(loopStart) : -1,
            loops ? int32_t(loopEnd) : -1};
}

EnvelopeShape volumeShape(const Instrument& i) {
    return shapeOf(i.volumeEnvelope, i.volumePointCount, i.volumeType, i.volumeSustainPoint, i.volumeLoopStart,
                   i.volumeLoopEnd);
}

EnvelopeShape panningShape(const Instrument& i) {
    return shapeOf(i.panningEnvelope, i.panningPointCount, i.panningType, i.panningSustainPoint, i.panningLoopStart,
                   i.panningLoopEnd);
}

// 16.16 slope from point i to point i + 1, truncating; 0 when both lie on the same tick.
int32_t slope(const EnvelopeShape& s, int32_t i) {
    const int64_t dx = int64_t(s.points[i + 1].x) - s.points[i].x;
    if (dx == 0) return 0;
    return int32_t((int64_t(s.points[i + 1].y) * 65536 - int64_t(s.points[i].y) * 65536) / dx);
}

// One tick: loop, last point and sustain are checked in that order when a point is reached;
// between points the value follows the truncated 16.16 slope. An envelope of one point is that
// point's level from the start, wherever the point lies.
void stepEnvelope(Channel& c, EnvelopeState e, const EnvelopeShape& s, uint8_t updateFlag) {
    if (s.count == 1) {
        e.value = s.points[0].y;
        e.done = 1;
        c.updateFlags |= updateFlag;
        return;
    }
    int32_t i = e.point;
    if (i >= 0 && i < s.count) {
        if (e.tick != s.points[i].x) {
            e.accumulator = int32_t(uint32_t(e.accumulator) + uint32_t(e.step));
        } else {
            if (i == s.loopEnd) {
                i = e.point = s.loopStart;
                e.tick = s.points[i].x;
            }
            if (i == s.count - 1) {
                e.value = s.points[i].y;
                e.done = 1;
                c.updateFlags |= updateFlag;
                return;
            }
            if (i == s.sustain && !c.keyOff) {
                e.value = s.points[i].y;
                c.updateFlags |= updateFlag;
                return;
            }
            e.step = slope(s, i);
            e.accumulator = int32_t(int64_t(s.points[i].y) * 65536);
            e.point = i + 1;
        }
    }
    e.value = e.accumulator >> 16;
    // Points lie at ticks 0…65535; an envelope whose next point lies behind its tick never meets
    // it, and its tick stops one past them all instead of running on to overflow.
    if (e.tick <= kLastPointTick) ++e.tick;
    c.updateFlags |= updateFlag;
}

// Auto-vibrato waveforms over a position 0…255, in −64…64.
int32_t autoVibratoWave(uint8_t type, int32_t p) {
    switch (type) {
    case 0: return int32_t(portableSin(2 * p * double(3.141592f) / 256) * 64);
    case 1: return p < 128 ? 64 : -64;
    case 2: return (128 - ((p + 128) % 256)) >> 1;
    case 3: return (128 - ((384 - p) % 256)) >> 1;
    default: return 0;  // undefined types: no vibrato
    }
}

bool envelopeOn(const PlaybackProfile& profile, uint8_t type, uint8_t pointCount) {
    return (type & 1) && pointCount >= (profile.onePointEnvelopes ? 1 : 2);
}

}  // namespace

bool volumeEnvelopeOn(const PlaybackProfile& profile, const Instrument& i) {
    return envelopeOn(profile, i.volumeType, i.volumePointCount);
}

bool panningEnvelopeOn(const PlaybackProfile& profile, const Instrument& i) {
    return envelopeOn(profile, i.panningType, i.panningPointCount);
}

void stepVolumeEnvelope(Channel& c, const Instrument& i) {
    stepEnvelope(c,
                 {c.volumeEnvelopeTick, c.volumeEnvelopePoint, c.volumeEnvelopeAccumulator, c.volumeEnvelopeValue,
                  c.volumeEnvelopeStep, c.volumeEnvelopeDone},
                 volumeShape(i), kUpdateVolume);
}

void stepPanningEnvelope(Channel& c, const Instrument& i) {
    stepEnvelope(c,
                 {c.panningEnvelopeTick, c.panningEnvelopePoint, c.panningEnvelopeAccumulator, c.panningEnvelopeValue,
                  c.panningEnvelopeStep, c.panningEnvelopeDone},
                 panningShape(i), kUpdatePanning);
}

void setEnvelopePosition(Channel& c, const Instrument& instrument, uint8_t xx, const PlaybackProfile& profile) {
    if (!volumeEnvelopeOn(profile, instrument)) return;
    const EnvelopeShape s = volumeShape(instrument);
    if (s.count == 0) return;
    int32_t j = 0;
    while (j + 1 < s.count && xx > s.points[j + 1].x) ++j;
    c.volumeEnvelopePoint = j;
    if (j >= s.count - 1) {
        c.volumeEnvelopeValue = s.points[s.count - 1].y;
        c.volumeEnvelopeDone = 1;
        return;
    }
    c.volumeEnvelopeDone = 0;
    c.volumeEnvelopeTick = xx;
    if (profile.envelopePositionMeetsPoint && xx == s.points[j].x) {
        // On a point: the next step meets it, with its loop and sustain.
        c.volumeEnvelopeAccumulator = int32_t(int64_t(s.points[j].y) * 65536);
        c.volumeEnvelopeValue = s.points[j].y;
        return;
    }
    c.volumeEnvelopeStep = slope(s, j);
    c.volumeEnvelopePoint = j + 1;
    c.volumeEnvelopeAccumulator =
        int32_t(int64_t(s.points[j].y) * 65536 + (int64_t(xx) - s.points[j].x) * c.volumeEnvelopeStep);
    c.volumeEnvelopeValue = c.volumeEnvelopeAccumulator >> 16;
}

int32_t fadeStep(const PlaybackProfile& profile, const Instrument& instrument) {
    const int32_t step = instrument.volumeFadeout * 2;
    return profile.fadeoutFullRange ? step : uint16_t(step);
}

void fadeOut(Channel& c, const Instrument& instrument, const PlaybackProfile& profile) {
    c.fadeoutVolume -= fadeStep(profile, instrument);
    if (c.fadeoutVolume < 0) c.fadeoutVolume = 0;
    c.updateFlags |= kUpdateVolume;
}

void autoVibrato(Channel& c, const Instrument& instrument) {
    int32_t d = instrument.vibratoDepth * autoVibratoWave(instrument.vibratoType, c.autoVibratoPosition);
    if (instrument.vibratoSweep != 0) d = c.autoVibratoSweep * d / instrument.vibratoSweep;
    c.periodDelta += d >> 6;
    if (c.autoVibratoSweep < instrument.vibratoSweep) ++c.autoVibratoSweep;
    c.autoVibratoPosition += instrument.vibratoRate;
    if (c.autoVibratoPosition > 255) c.autoVibratoPosition -= 256;
    c.updateFlags |= kUpdatePitch;
}
