#include "song_instruments.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>

#include "song_dsp.h"

namespace {

using dsp::Decay;
using dsp::kOne30;

// Drums and noises are made at 33452 Hz, the rate a sample with relative note +24 plays at C-4
// (8363 Hz × 4), so a drum written as C-4 plays exactly as made.
constexpr int32_t kDrumRate = 33452;
constexpr int8_t  kDrumRelative = 24;

// Pitched samples hold periods of P frames with relative note +12 (P = 64) or +36 (P = 256): a
// note then sounds at its written pitch, 8363 · 2^(rel/12) / P = 261.34 Hz at C-4. Fine-tune 2
// adds one period unit (1/64 semitone) towards concert C-4 (261.63 Hz).
constexpr int8_t kFinetune = 2;

// The loop of the chorused waveforms: 8192 frames = 128 periods of 64, so oscillators with 127,
// 128 and 129 cycles per loop beat against each other once per loop (2 Hz at C-4) and the loop
// still closes exactly.
constexpr int32_t kChorusLoop = 8192;

int32_t frames(int32_t ms, int32_t rate = kDrumRate) { return int32_t(int64_t(ms) * rate / 1000); }

// A Q15 value times a Q30 gain.
int64_t gain(int64_t q15, int64_t q30) { return q15 * q30 >> 30; }

// ---------------------------------------------------------------------------------------------
// Harmonic waveforms
// ---------------------------------------------------------------------------------------------

// Harmonic amplitudes in Q16, index k = harmonic number (index 0 unused).
using Harmonics = std::vector<int64_t>;

// Σ amp[k] · sin(k · index), index in sine-table units (8192 per turn): Q31 when the amplitudes
// are Q16.
int64_t harmonicSum(const Harmonics& amps, int64_t index) {
    int64_t sum = 0;
    for (size_t k = 1; k < amps.size(); ++k) sum += amps[k] * dsp::sineAt(int64_t(k) * index);
    return sum;
}

// Factor (Q16) of a gentle low-pass at harmonic kc (in 1/256 harmonics): kc² / (kc² + k²).
int64_t lowpass(int64_t k, int64_t kcQ8) {
    const int64_t c2 = kcQ8 * kcQ8, k2 = (k * 256) * (k * 256);
    return (c2 << 16) / (c2 + k2);
}

// Fades the top quarter of the harmonics out linearly, so band-limiting does not ring.
int64_t taper(int64_t k, int64_t count) {
    const int64_t start = count - count / 4;
    return k <= start ? 65536 : 65536 * (count + 1 - k) / (count + 1 - start);
}

// A sawtooth of `count` harmonics, low-passed at harmonic `kc` (0: not at all).
Harmonics saw(int count, int kc) {
    Harmonics amps(size_t(count) + 1, 0);
    for (int k = 1; k <= count; ++k) {
        int64_t a = 65536 / k * taper(k, count) >> 16;
        if (kc) a = a * lowpass(k, kc * 256) >> 16;
        amps[size_t(k)] = a;
    }
    return amps;
}

// A square wave: odd harmonics only.
Harmonics square(int count) {
    Harmonics amps(size_t(count) + 1, 0);
    for (int k = 1; k <= count; k += 2) amps[size_t(k)] = 65536 / k * taper(k, count) >> 16;
    return amps;
}

// A pulse of a quarter duty cycle: sin(π k / 4) / k.
Harmonics quarterPulse(int count) {
    Harmonics amps(size_t(count) + 1, 0);
    for (int k = 1; k <= count; ++k)
        amps[size_t(k)] = int64_t(dsp::sineAt(int64_t(k) * dsp::kSineSize / 8)) * 2 / k * taper(k, count) >> 16;
    return amps;
}

// ---------------------------------------------------------------------------------------------
// Instrument records
// ---------------------------------------------------------------------------------------------

struct SampleLayout {
    const char* name;
    int         bits;        // 8 or 16 in the file
    int32_t     loopStart;   // frames
    int32_t     loopLength;  // frames; 0: no loop
    uint8_t     volume;      // 0…64
    uint8_t     panning;     // 0…255
    int8_t      relativeNote;
    int8_t      finetune;
};

XmSample makeSample(const SampleLayout& layout, const std::vector<int16_t>& frames) {
    XmSample s;
    s.name = layout.name;
    const uint32_t bytesPerFrame = uint32_t(layout.bits / 8);
    s.data = layout.bits == 16 ? dsp::deltaCode16(frames) : dsp::deltaCode8(frames);
    s.loopStart = uint32_t(layout.loopStart) * bytesPerFrame;
    s.loopLength = uint32_t(layout.loopLength) * bytesPerFrame;
    s.type = uint8_t((layout.loopLength ? 0x01 : 0) | (layout.bits == 16 ? 0x10 : 0));
    s.volume = layout.volume;
    s.panning = layout.panning;
    s.relativeNote = layout.relativeNote;
    s.finetune = layout.finetune;
    return s;
}

struct Envelope {
    std::initializer_list<XmEnvelopePoint> points;  // x in ticks (50 per second at 125 BPM)
    int sustain = -1;                             // point index, −1: none
    int loopStart = -1, loopEnd = -1;             // point indices, −1: no loop
};

struct EnvelopeFields {
    std::array<XmEnvelopePoint, 12>* points;
    uint8_t *count, *sustain, *loopStart, *loopEnd, *type;
};

void setEnvelope(const EnvelopeFields& to, const Envelope& e) {
    size_t i = 0;
    for (const XmEnvelopePoint& p : e.points) (*to.points)[i++] = p;
    *to.count = uint8_t(e.points.size());
    *to.sustain = uint8_t(std::max(e.sustain, 0));
    *to.loopStart = uint8_t(std::max(e.loopStart, 0));
    *to.loopEnd = uint8_t(std::max(e.loopEnd, 0));
    *to.type = uint8_t(0x01 | (e.sustain >= 0 ? 0x02 : 0) | (e.loopStart >= 0 ? 0x04 : 0));
}

void setVolumeEnvelope(XmInstrument& ins, const Envelope& e) {
    setEnvelope({&ins.volumeEnvelope, &ins.volumePointCount, &ins.volumeSustainPoint, &ins.volumeLoopStart,
                 &ins.volumeLoopEnd, &ins.volumeType},
                e);
}

void setPanningEnvelope(XmInstrument& ins, const Envelope& e) {
    setEnvelope({&ins.panningEnvelope, &ins.panningPointCount, &ins.panningSustainPoint, &ins.panningLoopStart,
                 &ins.panningLoopEnd, &ins.panningType},
                e);
}

XmInstrument oneSample(const SampleLayout& layout, const std::vector<int16_t>& frames) {
    XmInstrument ins;
    ins.name = layout.name;
    ins.samples.push_back(makeSample(layout, frames));
    return ins;
}

// Fades the last `tail` frames linearly to zero, so a sample never ends on a step.
void fadeTail(std::vector<int64_t>& v, int32_t tail) {
    const int32_t n = int32_t(v.size());
    for (int32_t i = std::max(0, n - tail); i < n; ++i) v[size_t(i)] = v[size_t(i)] * (n - i) / tail;
}

// ---------------------------------------------------------------------------------------------
// Drums
// ---------------------------------------------------------------------------------------------

// A sine swept from about 600 Hz down to 47 Hz, a breath of noise for the beater, driven into
// soft saturation. Played higher it serves as the toms of the fills.
XmInstrument kick() {
    std::vector<int64_t> v(size_t(frames(320)));
    Decay fast(frames(4)), slow(frames(28)), body(frames(130)), click(frames(2));
    dsp::Noise noise(0x4B1C);
    uint32_t phase = 0;
    for (int64_t& out : v) {
        const int64_t milliHz = 47000 + (130000 * slow.next() >> 30) + (420000 * fast.next() >> 30);
        const int64_t tone = gain(dsp::sine(phase), body.next());
        const int64_t breath = gain(noise.next(), click.next()) / 3;
        out = dsp::softClip(int32_t((tone + breath) * 3 / 2));
        phase += dsp::phaseStep(milliHz, kDrumRate);
    }
    fadeTail(v, frames(30));
    return oneSample({"kick", 16, 0, 0, 54, 128, kDrumRelative, 0}, dsp::normalise(v, 30000));
}

// Two damped drum-head modes under a burst of high-passed noise: the snares.
XmInstrument snare() {
    std::vector<int64_t> v(size_t(frames(300)));
    Decay head(frames(40)), snares(frames(65)), drop(frames(3));
    dsp::Noise noise(0x5EA1);
    dsp::Svf highPass(1600, kDrumRate, 80000);
    dsp::OnePole soften{0, 50000};
    uint32_t low = 0, high = 0;
    for (int64_t& out : v) {
        const int64_t bend = drop.next();
        const int64_t h = head.next();
        const int64_t tone = gain(dsp::sine(low), h) * 5 / 10 + gain(dsp::sine(high), h) * 2 / 10;
        const int32_t hiss = soften.process(highPass.process(noise.next()).high);
        out = tone + gain(hiss, snares.next()) * 12 / 10;
        low += dsp::phaseStep(185000 + (90000 * bend >> 30), kDrumRate);
        high += dsp::phaseStep(330000 + (120000 * bend >> 30), kDrumRate);
    }
    fadeTail(v, frames(40));
    return oneSample({"snare", 16, 0, 0, 48, 124, kDrumRelative, 0}, dsp::normalise(v, 30000));
}

// Band-passed noise struck four times in quick succession, the last one ringing out.
XmInstrument clap() {
    std::vector<int64_t> v(size_t(frames(320)));
    dsp::Noise noise(0xC1A9);
    dsp::Svf body(1150, kDrumRate, 50000), air(2600, kDrumRate, 70000);
    const int32_t strikes[] = {0, frames(9), frames(19), frames(30)};
    Decay hit(frames(4));
    for (int32_t i = 0; i < int32_t(v.size()); ++i) {
        for (int32_t s : strikes)
            if (i == s) hit = Decay(s == strikes[3] ? frames(55) : frames(4));
        const int32_t n = noise.next();
        const int64_t band = body.process(n).band + air.process(n).band / 2;
        v[size_t(i)] = gain(band, hit.next());
    }
    fadeTail(v, frames(40));
    return oneSample({"clap", 16, 0, 0, 40, 136, kDrumRelative, 0}, dsp::normalise(v, 30000));
}

// Six square waves at unrelated pitches plus noise, high-passed twice: the metal of a cymbal.
// `brightness` multiplies the square pitches.
std::vector<int64_t> metal(int32_t lengthMs, int32_t halfLifeMs, int64_t cutoffHz, int32_t brightness,
                           uint32_t seed) {
    std::vector<int64_t> v(size_t(frames(lengthMs)));
    static constexpr int64_t kPitches[] = {263000, 400000, 421000, 474000, 587000, 845000};  // mHz
    uint32_t phases[6] = {};
    dsp::Noise noise(seed);
    dsp::Svf first(cutoffHz, kDrumRate, 90000), second(cutoffHz + 1000, kDrumRate, 90000);
    Decay decay(frames(halfLifeMs));
    for (int64_t& out : v) {
        int32_t sum = 0;
        for (int j = 0; j < 6; ++j) {
            sum += (phases[j] >> 31) ? -2700 : 2700;
            phases[j] += dsp::phaseStep(kPitches[j] * brightness, kDrumRate);
        }
        const int32_t x = sum + noise.next() / 2;
        out = gain(second.process(first.process(x).high).high, decay.next());
    }
    fadeTail(v, std::min(frames(30), int32_t(v.size()) / 3));
    return v;
}

// Closed hats below C-5, open hats from C-5 up: both play at their own pitch where they start.
XmInstrument hats() {
    XmInstrument ins;
    ins.name = "hats";
    ins.samples.push_back(makeSample({"closed hat", 16, 0, 0, 34, 156, kDrumRelative, 0},
                                     dsp::normalise(metal(70, 13, 7000, 2, 0x4A75), 28000)));
    ins.samples.push_back(makeSample({"open hat", 16, 0, 0, 30, 156, kDrumRelative - 12, 0},
                                     dsp::normalise(metal(450, 110, 6500, 2, 0x0FE7), 28000)));
    for (int n = 60; n < 96; ++n) ins.sampleForNote[size_t(n)] = 1;
    return ins;
}

XmInstrument crash() {
    return oneSample({"crash", 8, 0, 0, 36, 100, kDrumRelative, 0},
                     dsp::normalise(metal(1100, 300, 4200, 7, 0xC4A5), 30000));
}

// Band-passed noise, looped: pitched up by portamento it rises like a jet.
XmInstrument noiseRiser() {
    std::vector<int64_t> v(kChorusLoop);
    dsp::Noise noise(0x7153);
    dsp::Svf band(2600, kDrumRate / 2, 45000);
    for (int64_t& out : v) out = band.process(noise.next()).band;
    return oneSample({"noise", 8, 0, kChorusLoop, 30, 128, 12, 0}, dsp::normalise(v, 14000));
}

// ---------------------------------------------------------------------------------------------
// Pitched instruments
// ---------------------------------------------------------------------------------------------

// ((end − i) / end)^power in Q16 for i < end, then 0: how much of an attack is left.
int64_t remaining(int32_t i, int32_t end, int power) {
    if (i >= end) return 0;
    int64_t w = 65536;
    for (int p = 0; p < power; ++p) w = w * (end - i) / end;
    return w;
}

// A plucked sawtooth with a sub sine: bright for its first 16 periods, then steady and looped
// over one period of 256 frames (notes sound as written).
XmInstrument bass() {
    constexpr int32_t kPeriod = 256, kAttack = 16 * kPeriod, kHarmonics = 96;
    std::vector<int64_t> v(size_t(kAttack + kPeriod));
    Harmonics amps(kHarmonics + 1);
    for (int32_t i = 0; i < int32_t(v.size()); ++i) {
        const int64_t left = remaining(i, kAttack, 3);
        const int64_t cutoffQ8 = 5 * 256 + (28 * 256 * left >> 16);
        for (int k = 1; k <= kHarmonics; ++k)
            amps[size_t(k)] = (65536 / k * lowpass(k, cutoffQ8) >> 16) * taper(k, kHarmonics) >> 16;
        amps[1] += 32768;  // the sub: half again of the fundamental
        const int64_t index = int64_t(i) * (dsp::kSineSize / kPeriod);
        v[size_t(i)] = (harmonicSum(amps, index) >> 16) * (65536 + 20000 * left / 65536) >> 16;
    }
    XmInstrument ins = oneSample({"bass", 16, kAttack, kPeriod, 44, 128, 36, kFinetune}, dsp::normalise(v, 30000));
    setVolumeEnvelope(ins, {{{0, 64}, {2, 60}, {10, 46}, {24, 38}}, 3});
    ins.volumeFadeout = 0x600;
    return ins;
}

// Two sawtooths a cycle per loop apart, a little square for hollowness and a sub-octave sine.
XmInstrument lead() {
    std::vector<int64_t> v(kChorusLoop);
    const Harmonics a = saw(18, 0), sq = square(17);
    for (int32_t i = 0; i < kChorusLoop; ++i) {
        const int64_t sum = harmonicSum(a, 128 * int64_t(i)) + harmonicSum(a, 129 * int64_t(i)) * 85 / 100 +
                            harmonicSum(sq, 128 * int64_t(i)) * 30 / 100 +
                            int64_t(dsp::sineAt(64 * int64_t(i))) * 65536 / 4;
        v[size_t(i)] = sum >> 16;
    }
    XmInstrument ins = oneSample({"lead", 16, 0, kChorusLoop, 64, 128, 12, kFinetune}, dsp::normalise(v, 30000));
    setVolumeEnvelope(ins, {{{0, 30}, {2, 64}, {12, 52}, {40, 46}}, 3});
    ins.volumeFadeout = 0x280;
    // A delayed vibrato: 4.7 Hz (24/256 of a cycle per tick), ±5/64 semitone after 28 ticks.
    ins.vibratoType = 0;
    ins.vibratoSweep = 28;
    ins.vibratoDepth = 5;
    ins.vibratoRate = 24;
    return ins;
}

// Three sawtooths, one cycle per loop apart (and apart from the middle one), darkened.
std::vector<int64_t> chorus(int kc, int64_t squareWeight) {
    std::vector<int64_t> v(kChorusLoop);
    const Harmonics a = saw(24, kc), sq = square(15);
    for (int32_t i = 0; i < kChorusLoop; ++i) {
        int64_t sum = 0;
        for (int64_t cycles : {127, 128, 129}) sum += harmonicSum(a, cycles * i);
        sum += harmonicSum(sq, 256 * int64_t(i)) * squareWeight / 100;
        v[size_t(i)] = sum >> 16;
    }
    return v;
}

XmInstrument pad() {
    XmInstrument ins = oneSample({"pad", 16, 0, kChorusLoop, 26, 128, 12, kFinetune},
                                 dsp::normalise(chorus(4, 10), 30000));
    setVolumeEnvelope(ins, {{{0, 0}, {10, 64}, {40, 52}}, 2});
    ins.volumeFadeout = 0x0C0;
    // Wanders ±48 around the note's panning and back every 200 ticks (4 s), for as long as the
    // note lasts.
    setPanningEnvelope(ins, {{{0, 32}, {50, 44}, {100, 32}, {150, 20}, {200, 32}}, -1, 0, 4});
    return ins;
}

XmInstrument gate() {
    XmInstrument ins = oneSample({"gate", 16, 0, kChorusLoop, 32, 128, 12, kFinetune},
                                 dsp::normalise(chorus(11, 35), 30000));
    // One cycle every 6 ticks, a row at speed 6: open, a short dip, nearly shut, open again.
    setVolumeEnvelope(ins, {{{0, 64}, {2, 56}, {3, 16}, {5, 6}, {6, 64}}, -1, 0, 4});
    ins.volumeFadeout = 0x200;
    return ins;
}

// One period of a quarter-duty pulse: the arpeggios' chip voice.
XmInstrument arp() {
    constexpr int32_t kPeriod = 64;
    std::vector<int64_t> v(kPeriod);
    const Harmonics amps = quarterPulse(12);
    for (int32_t i = 0; i < kPeriod; ++i) v[size_t(i)] = harmonicSum(amps, int64_t(i) * (dsp::kSineSize / kPeriod)) >> 16;
    XmInstrument ins = oneSample({"arp", 16, 0, kPeriod, 30, 128, 12, kFinetune}, dsp::normalise(v, 30000));
    setVolumeEnvelope(ins, {{{0, 64}, {3, 50}, {12, 32}, {40, 14}, {80, 0}}});
    ins.volumeFadeout = 0x500;
    return ins;
}

// Phase modulation: a steady modulator at the carrier's pitch for warmth and a fading one at 3.5
// times it for the strike. Once the strike has gone the wave repeats every 64 frames and loops.
XmInstrument bell() {
    constexpr int32_t kPeriod = 64, kStrike = 100 * kPeriod;
    constexpr int64_t kRadian = 1304;  // sine-table units per radian (8192 / 2π)
    std::vector<int64_t> v(size_t(kStrike + kPeriod));
    for (int32_t i = 0; i < int32_t(v.size()); ++i) {
        const int64_t carrier = int64_t(i) * (dsp::kSineSize / kPeriod);
        const int64_t strike = 2 * kRadian * remaining(i, kStrike, 4) >> 16;
        const int64_t index = carrier + (55 * kRadian / 100 * dsp::sineAt(carrier) >> 15) +
                              (strike * dsp::sineAt(carrier * 7 / 2) >> 15);
        v[size_t(i)] = dsp::sineAt(index);
    }
    XmInstrument ins = oneSample({"bell", 16, kStrike, kPeriod, 34, 128, 12, kFinetune}, dsp::normalise(v, 30000));
    setVolumeEnvelope(ins, {{{0, 64}, {4, 50}, {24, 30}, {90, 12}, {200, 0}}});
    ins.volumeFadeout = 0x300;
    return ins;
}

}  // namespace

std::vector<XmInstrument> makeInstruments() {
    std::vector<XmInstrument> all = {kick(), snare(), clap(),  hats(), bass(),  lead(),
                                     pad(),  gate(),  arp(),   bell(), crash(), noiseRiser()};
    return all;
}
