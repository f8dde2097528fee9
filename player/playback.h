#pragma once
// One playback of one song: everything that plays (the song position and timing, the channels,
// the voices, the fine-tunes that E5y changes) in one record, so a program plays any number of
// songs at once and a fresh start is a fresh record. The module itself is only read.
// One playback is used by one thread at a time; different playbacks may run on different threads.
#include <cstdint>

#include "player/play/channel.h"
#include "player/mix/mixer.h"
#include "player/module.h"
#include "player/profile.h"

struct Playback;
struct SongEnd;

// Called after every tick the render loop runs, with the playback as that tick left it.
using TickReport = void (*)(const Playback& playback, void* user);

struct Playback {
    // Set when playing starts.
    const Module*   module;
    PlaybackProfile profile;
    int32_t         rate;            // frames per second of the mixer: 8000…192000
    float           rateReciprocal;  // 1 / rate as float32, as the render loop counts play time

    // Song position and timing: the sequencer's, except where the render loop keeps them.
    int32_t framesLeftInTick;   // frames still to mix before the next tick (render loop)
    int32_t framesPerTick;      // from the BPM (setBpm); at least 1
    int32_t globalVolume;       // 0…64
    int32_t globalVolumeSlide;  // last non-zero Hxy parameter
    int32_t tick;               // within the current row; 0 is the row tick
    int32_t tempo;              // ticks per row
    int32_t bpm;
    int32_t row;
    int32_t orderPosition;      // what the pictures follow
    int32_t patternDelayTicks;  // extra ticks of the current row (EEy)
    int32_t nextRow;            // −1: none
    int32_t nextOrder;          // −1: none
    int32_t playTimeMs;         // advanced by the render loop, slightly behind real time
    int64_t framesMixed;        // frames rendered since playing started (render loop)
    int64_t tickFrame;          // the frame at which the last tick began (render loop)
    int32_t tickPlayed;         // the last tick's place in its row (tick is the next one's)
    int32_t rowTicks;           // ticks the last tick's row lasts: tempo plus pattern delay

    Channel channels[kMaxChannels];  // the first channelCount are in use; channel i on voice i
    Mixer   mixer;

    // Fine-tune of every sample as notes use it: the module's, until E5y changes it for the rest
    // of this playback (the module stays as loaded).
    int8_t fineTunes[kMaxInstruments][kMaxSamples];

    // Optional, set by the caller after playing starts.
    TickReport tickReport;      // nullptr: none
    void*      tickReportUser;
    SongEnd*   songEnd;         // where rendering stops; nullptr: it never does
    bool       ended;           // rendering reached songEnd's end
    bool       timingOnly;      // the voices are left alone: only where the song goes and when
                                // counts (measuring it, looking for a row); nothing is mixed
};
