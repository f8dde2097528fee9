#pragma once
// Playback profiles: named switches for the corners where trackers play the same module
// differently. A profile is chosen when playing starts and read by the sequencer and the effects;
// every switch off is the demo's own player.
#include <string_view>

struct PlaybackProfile {
    bool keyOffZeroesVolume;       // key-off without volume envelope: volume 0 and fadeout, the voice plays on
    bool noteDelayReadsRowLate;    // EDx: the whole cell (note, instrument, volume, key-off) waits for tick x
    bool noteDelayNeedsNote;       // EDx on a row without a note retriggers only the note it holds
    bool patternDelayRepeatsRow;   // EEx: every repetition of the row is read again (note delays retrigger)
    bool retrigCountsAcrossRows;   // Rxy: one counter carried across rows, reset by a note or instrument
    bool retrigZeroOnRowTick;      // E90: retriggers on the row tick only
    bool offsetPastEndStopsNote;   // 9xx at or past the sample's end stops the note
    bool offsetRememberedUnused;   // 9xx remembered even where no note takes it
    bool volumeColumnPortaRow;     // volume-column tone portamento makes its row a tone-portamento row
    bool portaKeepsTarget;         // an instrument number without a note keeps the tone-portamento target
    bool tremorCountsDown;         // Txy counts down on the other ticks; the phase it ends in is kept
    bool fineVolumeSeparateMemory; // EAx and EBx remember their parameters apart
    bool fineTuneOnNote;           // E5x sets the fine-tune of the note in its cell, not of the sample
    bool arpeggioTickTable;        // arpeggio past 16 ticks per row follows the fixed tick table, clamped
    bool noteRangeAfterTranspose;  // notes outside the playable range after the sample's transpose stay silent
    bool tremoloRampFollowsVibrato;  // tremolo ramp-down is inverted by the vibrato position
};

// The demo's player: every switch off.
inline constexpr PlaybackProfile defaultProfile{};

// Every switch on: the module plays as FastTracker 2 plays it.
inline constexpr PlaybackProfile ft2Profile{true, true, true, true, true, true, true, true,
                                           true, true, true, true, true, true, true, true};

// The profile called `name` ("default" or "ft2"), or nullptr.
inline const PlaybackProfile* profileByName(std::string_view name) {
    if (name == "default") return &defaultProfile;
    if (name == "ft2") return &ft2Profile;
    return nullptr;
}
