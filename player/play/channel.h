#pragma once
// The playback state of one track, bound to a mixer voice.
#include <cstdint>

#include "player/module.h"

struct Voice;

// Requests to this tick's voice update.
constexpr uint8_t kUpdatePitch = 0x01;
constexpr uint8_t kUpdateVolume = 0x02;
constexpr uint8_t kUpdatePanning = 0x04;
constexpr uint8_t kUpdateTrigger = 0x08;  // start the note
constexpr uint8_t kUpdateQuickVolume = 0x10;  // the volume change takes the mixer's short ramp
constexpr uint8_t kUpdateRewind = 0x20;   // sample offset past the end: restart the voice
constexpr uint8_t kUpdateStop = 0x40;     // the note just started has nothing to play: the voice falls idle

struct Channel {
    uint8_t note;         // last note, 0-based (pattern note − 1): 0…95
    uint8_t updateFlags;  // kUpdate… bits for this tick
    Voice*  voice;        // the mixer voice that plays this channel now: voice i or i + 32
    int32_t period;       // 64 per semitone (linear) or Amiga units
    int32_t volume;       // normally 0…64; Cxx may set more
    int32_t panning;      // normally 0 hard left … 255 hard right, 128 centre
    int32_t volumeDelta;  // tremolo or tremor offset, this tick only
    int32_t periodDelta;  // vibrato, arpeggio and auto-vibrato offset, this tick only

    // Volume envelope: tick, next point, 16.16 value and slope, integer value.
    int32_t volumeEnvelopeTick;
    int32_t volumeEnvelopePoint;
    int32_t volumeEnvelopeAccumulator;
    int32_t volumeEnvelopeValue;  // 0…64
    int32_t volumeEnvelopeStep;
    uint8_t volumeEnvelopeDone;   // the last point was reached

    int32_t panningEnvelopeTick;
    int32_t panningEnvelopePoint;
    int32_t panningEnvelopeAccumulator;
    int32_t panningEnvelopeValue;  // 0…64, 32 centre
    int32_t panningEnvelopeStep;
    uint8_t panningEnvelopeDone;

    int32_t fadeoutVolume;        // 0…65536
    int32_t autoVibratoPosition;  // 0…255
    int32_t autoVibratoSweep;     // ticks since the instrument was applied, up to its vibratoSweep
    uint8_t keyOff;               // the note has been released
    uint8_t instrument;           // 0-based
    uint8_t realNote;             // note + the sample's relativeNote, wrapping at 8 bits
    int32_t notePeriod;           // period of the last note: the tone portamento's target
    uint8_t lastEffect;           // effect type of the current row's cell
    int32_t sampleOffset;         // remembered 9xx parameter

    // Remembered effect parameters.
    uint8_t portaDownSpeed;
    uint8_t portaUpSpeed;
    uint8_t extraFinePortaDown;
    uint8_t extraFinePortaUp;
    uint8_t volumeSlide;          // shared by Axy, 5xy and 6xy
    uint8_t panningSlide;
    uint8_t retrigVolumeAction;
    uint8_t retrigInterval;
    int32_t portaTarget;          // tone-portamento target period
    uint16_t portaSpeed;          // 3xx units (× 4 per tick); past 255 only as volumeColumnPortaDoubles sets it
    int8_t  vibratoPosition;      // −32…31
    uint8_t vibratoSpeed;
    uint8_t vibratoDepth;
    int8_t  tremoloPosition;      // −32…31
    uint8_t tremoloSpeed;
    uint8_t tremoloDepth;
    uint8_t tremorCounter;
    uint8_t tremorOnTicks;
    uint8_t tremorOffTicks;
    int32_t loopRow;              // E6y: pattern-loop start row
    int32_t loopCount;            // E6y: repeats left
    uint8_t waveControl;          // low nibble vibrato waveform (E4y), high nibble tremolo (E7y)
    uint8_t fineVolumeSlide;      // shared by EAy and EBy
    uint8_t finePortaUp;
    uint8_t finePortaDown;

    // Used only by profile switches (player/profile.h).
    uint8_t fineVolumeDown;       // EBy's own memory
    uint8_t retrigCounter;        // Rxy: ticks counted towards the next retrigger
    uint8_t tremorMuted;          // Txy ended its last tick in the silent phase
    uint8_t nextInstrument;       // 1-based instrument named beside a key-off, for the next note; 0: none
    uint8_t portaUpward;          // tone portamento lowers the period towards its target until it meets it

    // Used only by the pt and st3 profiles' switches and by S3M's effects.
    int8_t   fineTune;            // the channel's own fine-tune (ProTracker's), 1/128 semitone in steps of 16
    uint32_t startOffset;         // frames into the sample where the channel's notes start (9xx, Oxx)
    uint8_t  s3mMemory;           // the last non-zero parameter of the S3M effects that share one
    uint8_t  s3mParameter;        // this row's S3M parameter: the cell's, or the memory's for a 0
    uint32_t s3mRetrigTicks;      // Qxy: ticks counted since the note started
};
