#pragma once
// A song in which much happens at once, for the tests that must see every kind of state survive
// a seek or a change of settings: forward, ping-pong and one-shot samples, 16-bit data, envelopes
// with sustain and fadeout, key-offs, volume and panning slides, vibrato, tremolo, portamento,
// retrigger, tremor, sample offsets, note cuts and delays, a pattern loop and a pattern delay,
// tempo and BPM changes, and a jump back to the start at the end. About 12 s at 44100.
#include <cmath>
#include <cstdint>
#include <vector>

#include "song_fixture.h"

// Delta-coded 8-bit sample bytes of a sine with `period` frames and a slow decay, `frames` long.
inline std::vector<uint8_t> decayingSine(int frames, double period, double decay) {
    std::vector<int> values;
    for (int i = 0; i < frames; ++i)
        values.push_back(int(std::lround(100.0 * std::exp(-decay * i) * std::sin(6.2831853 * i / period))));
    return deltas8(values);
}

// Delta-coded 16-bit little-endian bytes of a square-ish wave, `frames` long.
inline std::vector<uint8_t> square16(int frames, int period) {
    std::vector<int> values;
    for (int i = 0; i < frames; ++i) values.push_back((i % period) < period / 2 ? 20000 : -18000);
    return deltas16(values);
}

inline XmLayout busySong() {
    XmLayout layout;
    layout.name = "busy";
    layout.channels = 4;
    layout.tempo = 5;
    layout.bpm = 125;
    layout.orders = {0, 1, 2, 1};

    XmInstrument lead = toneInstrument(56, 96);  // forward loop of 8 frames
    lead.name = "lead";
    lead.volumeEnvelope[0] = {0, 64};
    lead.volumeEnvelope[1] = {8, 40};
    lead.volumeEnvelope[2] = {30, 20};
    lead.volumeEnvelope[3] = {60, 0};
    lead.volumePointCount = 4;
    lead.volumeSustainPoint = 1;
    lead.volumeType = 1 | 2;
    lead.volumeFadeout = 800;
    lead.vibratoType = 1;
    lead.vibratoDepth = 6;
    lead.vibratoRate = 20;
    lead.vibratoSweep = 10;

    XmInstrument pad;  // ping-pong loop in 16-bit data, with a panning envelope
    pad.name = "pad";
    XmSample padSample;
    padSample.name = "pingpong";
    padSample.data = square16(600, 37);
    padSample.type = 2 | 0x10;
    padSample.loopStart = 2 * 100;
    padSample.loopLength = 2 * 420;
    padSample.volume = 48;
    padSample.panning = 200;
    padSample.relativeNote = -12;
    pad.samples = {padSample};
    pad.panningEnvelope[0] = {0, 10};
    pad.panningEnvelope[1] = {20, 54};
    pad.panningEnvelope[2] = {40, 10};
    pad.panningPointCount = 3;
    pad.panningLoopStart = 0;
    pad.panningLoopEnd = 2;
    pad.panningType = 1 | 4;

    XmInstrument hit;  // one shot, no loop
    hit.name = "hit";
    XmSample hitSample;
    hitSample.name = "one shot";
    hitSample.data = decayingSine(3000, 23.7, 0.0015);
    hitSample.volume = 64;
    hitSample.panning = 40;
    hit.samples = {hitSample};

    layout.instruments = {lead, pad, hit};

    const auto at = [](int row, int channel) { return row * 4 + channel; };
    layout.patterns = {
        pattern(16, 4,
                {{at(0, 0), XmCell{49, 1, 0x30, 0, 0}},
                 {at(0, 1), XmCell{37, 2, 0, 0, 0}},
                 {at(0, 2), XmCell{61, 3, 0, 9, 0x04}},    // 9xx sample offset
                 {at(0, 3), XmCell{0, 0, 0, 15, 140}},     // BPM 140
                 {at(1, 0), XmCell{0, 0, 0x6A, 4, 0x46}},  // volume column slide, vibrato
                 {at(2, 2), XmCell{66, 3, 0, 14, 0xC3}},   // note cut on tick 3
                 {at(3, 1), XmCell{0, 0, 0xC2, 10, 0x0F}}, // panning column, volume slide down
                 {at(4, 0), XmCell{56, 1, 0, 3, 0x10}},    // tone portamento
                 {at(4, 2), XmCell{49, 3, 0, 27, 0x82}},   // retrigger
                 {at(5, 3), XmCell{0, 0, 0, 14, 0x60}},    // loop start
                 {at(6, 1), XmCell{97, 0, 0, 0, 0}},       // key off
                 {at(6, 0), XmCell{0, 0, 0, 7, 0x38}},     // tremolo
                 {at(7, 2), XmCell{54, 3, 0x40, 29, 0x21}},// tremor
                 {at(8, 3), XmCell{0, 0, 0, 14, 0x62}},    // loop twice
                 {at(9, 0), XmCell{61, 1, 0, 14, 0xD2}},   // note delay
                 {at(10, 1), XmCell{44, 2, 0, 8, 0x30}},   // panning
                 {at(11, 3), XmCell{0, 0, 0, 14, 0xE1}},   // pattern delay
                 {at(12, 0), XmCell{97, 0, 0, 0, 0}},
                 {at(13, 2), XmCell{37, 3, 0, 15, 3}},     // tempo 3
                 {at(14, 1), XmCell{49, 2, 0x20, 1, 0x08}}}),
        pattern(12, 4,
                {{at(0, 0), XmCell{44, 1, 0, 0, 0x47}},    // arpeggio
                 {at(0, 3), XmCell{0, 0, 0, 15, 96}},      // BPM 96
                 {at(1, 1), XmCell{25, 2, 0, 0, 0}},
                 {at(2, 2), XmCell{68, 3, 0, 2, 0x20}},    // portamento down
                 {at(4, 0), XmCell{0, 0, 0, 12, 0x10}},    // volume 16
                 {at(5, 3), XmCell{0, 0, 0, 16, 0x20}},    // global volume
                 {at(6, 1), XmCell{97, 0, 0, 0, 0}},
                 {at(8, 2), XmCell{56, 3, 0, 17, 0x0F}},   // global volume slide
                 {at(10, 0), XmCell{97, 0, 0, 0, 0}},
                 {at(11, 3), XmCell{0, 0, 0, 15, 6}}}),
        pattern(8, 4,
                {{at(0, 0), XmCell{30, 1, 0, 0, 0}},
                 {at(0, 1), XmCell{62, 2, 0, 0, 0}},
                 {at(0, 3), XmCell{0, 0, 0, 15, 125}},
                 {at(3, 2), XmCell{40, 3, 0x50, 0, 0}},
                 {at(5, 0), XmCell{0, 0, 0, 14, 0x1F}},    // fine portamento up
                 {at(7, 3), XmCell{0, 0, 0, 16, 0x40}}}),
    };
    return layout;
}
