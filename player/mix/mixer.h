#pragma once
// The voice mixer: adds every active voice into a stereo float buffer with linear (or another)
// interpolation, click-free volume ramps and loop handling, and turns finished blocks into 16-bit
// PCM. A voice can also be moved without being mixed, exactly as mixing would move it.
#include <cstdint>

#include "player/mix/mix_run.h"

struct Sample;

// The demo's rate, and a new library player's: frames per second of the mixer and its output.
// A playback may run at any other (Playback::rate).
constexpr int32_t kMixRate = 44100;

// One sounding note. Positions and steps are 32.32 fixed point in frames of the sample.
struct Voice {
    int32_t       slot;              // own index in the voice table
    int32_t       volumeCopy;        // same as volume; not read by the mixer
    int32_t       frequency;         // Hz, as the voice update computed it; not read by the mixer
    int32_t       panningCopy;       // same as panning; not read by the mixer
    int32_t       volume;            // final note volume, 127 at full scale
    int32_t       panning;           // 0 hard left … 255 hard right
    uint32_t      startOffset;       // start frame for the next note; not read by the mixer
    const Sample* sample;            // nullptr: idle, skipped by the mixer
    int32_t       leftVolume;        // target gain of output channel 0 (left), 255 = unity:
                                     // (255 − panning) × volume / 255
    int32_t       rightVolume;       // target gain of output channel 1 (right): panning × volume / 255
    int32_t       position;          // frames, integer part
    uint32_t      positionFraction;  // 2^-32 frame
    uint32_t      stepFraction;      // 2^-32 frame per output frame
    uint32_t      stepInteger;       // frames per output frame; step = frequency / mix rate
    int32_t       direction;         // 1 forward, anything else backward (ping-pong writes 2)
    int32_t       rampTargetLeft;    // leftVolume the running ramp was set up for
    int32_t       rampTargetRight;
    int32_t       currentLeft;       // gain applied to channel 0, × 256 (leftVolume × 256 when settled)
    int32_t       currentRight;
    float         rampStepLeft;      // gain change per frame, 1.0 = volume 255
    float         rampStepRight;
    int32_t       rampFramesLeft;    // 0 = no ramp running
    int32_t       tickRampFrames;    // frames of the next volume ramp; 0: the mixer's rampLength
    float         peak;              // largest |value| added to either side since it was last
                                     // read (only while the mixer measures peaks)
    // The pitch the step was last computed from, so an unchanged one costs no power of two.
    bool          stepKnown;         // false: none yet
    int32_t       stepPeriod;        // the channel's period …
    int32_t       stepPeriodDelta;   // … and its offset, as updateVoice had them
    const Sample* nextSample;        // once this sample's pass (to its loop end or its end) is over, the
                                     // voice goes on in this one's loop (ProTracker's sample swap);
                                     // nullptr: its own loop
};

// Voice i (i < 32) belongs to channel i; voice i + 32 is its partner, which takes over a note
// while the previous one fades out. No other voices exist.
constexpr int32_t kVoiceCount = 64;

// The voice table of one playback, its ramp length, and how it mixes.
struct Mixer {
    Voice         voices[kVoiceCount];
    int32_t       rampLength;            // frames of one volume ramp: 128 at 44100 Hz
    float         rampLengthReciprocal;  // 1 / rampLength
    Interpolation interpolation;         // linear after a reset
    bool          measurePeaks;          // keep each voice's peak while mixing (slower)
    uint32_t      silencedChannels;      // bit i: voices i and i + 32 are moved, never mixed
    bool          wide;                  // the AVX2 kernels (same bits): the processor has them
};

// Every voice idle, with its slot and a step of exactly 1.0; ramps of mixRate × 128 / 44100
// frames; linear interpolation, no peaks measured, no channel silenced; the AVX2 kernels where
// the processor has them.
void resetMixer(Mixer& mixer, int32_t mixRate);

// Adds voices 0 to 63, in slot order, into the first `frames` stereo frames of `buffer`
// (interleaved float pairs, channel 0 first); silenced ones only move. Nothing happens for
// frames ≤ 0.
void mixVoices(Mixer& mixer, float* buffer, int32_t frames);

// Adds one voice of `mixer`; the same as mixVoices for a single voice that is not silenced.
void mixVoice(const Mixer& mixer, Voice& voice, float* buffer, int32_t frames);

// Moves every voice (position, direction, ramp, end) exactly as mixVoices would over `frames`
// frames, without reading a sample or summing anything.
void advanceVoices(Mixer& mixer, int32_t frames);

// 2 × frames floats to as many int16: rounded to nearest, ties to even, limited to
// −32768…32767. Nothing happens for frames ≤ 0 or a null buffer.
void floatToPcm16(int16_t* destination, const float* source, int32_t frames);
