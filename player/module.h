#pragma once
// The loaded song: patterns, instruments and 16-bit sample data as read from an XM, MOD or S3M
// file. Read-only once loaded: every playback of it keeps its own state (player/playback.h), so
// one module can feed any number of them, on any threads.
#include <cstdint>
#include <string>

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
    // S3M's C2SPD: Hz of C-4, as exact as the file has it. relativeNote and finetune hold it to the
    // nearest 1/128 semitone, for the profiles that play every module as an XM; st3 takes this.
    // 0: the sample has no rate of its own (XM, MOD).
    uint32_t middleCRate;
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
    uint8_t note;         // 0 none, 1…96 note, 255 key off (S3M's note cut, ^^^, too)
    uint8_t instrument;   // 0 none, 1…128
    uint8_t volume;       // volume-column byte; S3M's volume v (0…64) as 0x10 + v, XM's set-volume
    uint8_t effectType;   // 0…35: the XM (and MOD) effect letter's number; kS3mEffects + 0…25: S3M's
                          // A…Z; kNoEffect: none (an XM file's types above 35)
    uint8_t effectParam;
};

// Effect numbers of the cells beside XM's 0…35: S3M's letters have their own meanings (one shared
// parameter memory, fine slides inside D, E and F), so they keep their own numbers.
constexpr uint8_t kS3mEffects = 36;     // S3M's A; its Z is kS3mEffects + 25
constexpr uint8_t kNoEffect = 0xFF;

// True for a cell whose effect is one of S3M's.
inline bool isS3mEffect(const Cell& cell) {
    return cell.effectType >= kS3mEffects && cell.effectType < kS3mEffects + 26;
}

// The cell's S3M effect letter, 'A'…'Z'.
inline char s3mLetter(const Cell& cell) { return char('A' + (cell.effectType - kS3mEffects)); }

// The file format a module came from: which tracker wrote it and which plays it as written.
enum class ModuleFormat : uint8_t { xm, mod, s3m };

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
    uint8_t initialGlobalVolume;   // 0…64; 64 for XM and MOD

    char    title[21];             // the module's name, without trailing spaces
    char    trackerName[21];       // the tracker that wrote it, without trailing spaces

    // Bytes the file lacked: it ended before or inside what its headers declare (usually its
    // sample data), and the module plays with zeros in their place. 0 for a complete file.
    int64_t missingBytes;

    ModuleFormat format;
    // Where each channel's panning starts, 0…255: MOD's Amiga sides, S3M's channel settings.
    // XM's channels start at 0, until an instrument sets their panning.
    uint8_t channelPanning[kMaxChannels];
    // S3M's header flags: volume slides on the row tick too (ST3.00's "fast slides"), and periods
    // held within the Amiga's range.
    bool    fastVolumeSlides;
    bool    amigaLimits;
    // What the loader warns of, one line each ending in '\n' (Adlib instruments not played, bytes
    // missing); empty when nothing.
    std::string warnings;
};
