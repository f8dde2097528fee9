#pragma once
// The loaded song: patterns, instruments and 16-bit sample data as read from an XM file. Read-only
// once loaded: every playback of it keeps its own state (player/playback.h), so one module can
// feed any number of them, on any threads.
#include <cstdint>

// Limits of what a loaded module holds.
constexpr int32_t kMaxChannels = 32;     // tracks per row; channel i plays on voice i or i + 32
constexpr int32_t kMaxInstruments = 128; // cells name instruments 1…128 only
constexpr int32_t kMaxSamples = 16;      // sample slots per instrument

struct Sample {
    int16_t* data;          // length frames + 8 zero guard frames; nullptr when length is 0
    uint32_t length;        // frames
    uint32_t loopStart;     // frames
    uint32_t loopLength;    // frames; without a loop: loopStart 0, loopLength = length;
                            // a loop: at least 1, loopStart + loopLength ≤ length (the guard frame)
    uint8_t  volume;        // 0…64
    int8_t   finetune;      // −128…127, 1/128 semitone
    int32_t  panning;       // 0…255
    uint8_t  bitsPerSample; // 16 once loaded
    uint8_t  loopType;      // 1 none, 2 forward, 4 ping-pong; 0 only for emptySample
    int8_t   relativeNote;  // semitones
    char     name[23];      // as the file has it, without trailing spaces
};

// The one shared all-zero sample: unused instrument slots refer to it; a voice playing it stops.
extern const Sample emptySample;

struct EnvelopePoint {
    uint16_t x;  // ticks
    uint16_t y;  // value: 0…64 volume, 0…64 panning (32 centre)
};

struct Instrument {
    int32_t        sampleCount;        // 0…16
    const Sample*  samples[kMaxSamples]; // slots past sampleCount refer to emptySample
    uint8_t        sampleForNote[96];  // sample slot per note
    EnvelopePoint  volumeEnvelope[12];
    EnvelopePoint  panningEnvelope[12];
    uint8_t        volumePointCount;   // 0…12
    uint8_t        panningPointCount;  // 0…12
    uint8_t        volumeSustainPoint;
    uint8_t        volumeLoopStart;
    uint8_t        volumeLoopEnd;
    uint8_t        panningSustainPoint;
    uint8_t        panningLoopStart;
    uint8_t        panningLoopEnd;
    uint8_t        volumeType;         // bit 0 on, bit 1 sustain, bit 2 loop, as the file has them;
                                       // sustain and loop bits only when their points exist
    uint8_t        panningType;        // the same bits
    uint8_t        vibratoType;        // auto-vibrato waveform
    uint8_t        vibratoSweep;       // ticks to full depth
    uint8_t        vibratoDepth;
    uint8_t        vibratoRate;
    uint16_t       volumeFadeout;      // as the file has it: per tick of a released note, in 1/32768
                                       // of full volume (fadeStep)
    char           name[23];           // as the file has it, without trailing spaces
};

// One pattern cell, five bytes as in memory.
struct Cell {
    uint8_t note;         // 0 none, 1…96 note, 255 key off
    uint8_t instrument;   // 0 none, 1…128
    uint8_t volume;       // volume-column byte
    uint8_t effectType;   // 0…35: the effect letter's number
    uint8_t effectParam;
};

struct Pattern {
    int32_t rowCount;
    Cell*   cells;  // rowCount × channelCount, row-major
};

struct Module {
    Pattern*    patterns;          // patternCount records
    Instrument* instruments;       // instrumentCount records

    int16_t songLength;            // valid entries in orders, 1…256
    int16_t restartPosition;       // order index after the last one, below songLength
    int16_t channelCount;          // 1…32
    int32_t patternsUsed;          // highest pattern in orders[0 … songLength−1], plus 1
    int32_t patternCount;          // max(file's pattern count, patternsUsed)
    int16_t instrumentCount;       // 0…128
    int16_t flags;                 // bit 0: linear frequency table
    int16_t defaultTempo;          // ticks per row
    int16_t defaultBpm;
    uint8_t orders[256];
    uint8_t initialGlobalVolume;   // 64

    char    title[21];             // the module's name, without trailing spaces
    char    trackerName[21];       // the tracker that wrote it, without trailing spaces

    // Bytes the file lacked: it ended before or inside what its headers declare (usually its
    // sample data), and the module plays with zeros in their place. 0 for a complete file.
    int64_t missingBytes;
};
