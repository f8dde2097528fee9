#pragma once
// The song's instruments, every one synthesised here: drums from noise, filters and swept sines;
// pitched instruments from band-limited additive waveforms whose loops hold whole periods, so
// they loop without a click.
#include <cstdint>
#include <vector>

#include "tools/xm_writer.h"

// Instrument numbers as the patterns use them (the file counts from 1).
enum SongInstrument : uint8_t {
    kKick = 1,
    kSnare,
    kClap,
    kHats,   // C-0…B-4 closed, C-5 and up open
    kBass,
    kLead,
    kPad,    // soft chords with a wandering panning envelope
    kGate,   // bright chords chopped into sixteenths by a looping volume envelope
    kArp,    // chip pulse for arpeggios
    kBell,
    kCrash,
    kNoise,  // looping noise for risers
    kInstrumentCount = kNoise,
};

// Instrument n is element n − 1.
std::vector<XmInstrument> makeInstruments();
