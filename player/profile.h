#pragma once
// Playback profiles: named switches for the corners where trackers play the same module
// differently. A profile is chosen when a playback starts (startPlayback, startPlayer,
// xmplayer_create) and read by the sequencer and the effects; with every switch off the player is
// the demo's own.
#include <cstdint>
#include <string_view>

#include "xmplayer.h"

struct PlaybackProfile {
    bool keyOffZeroesVolume;              // key-off without volume envelope: volume 0, fadeout, the voice plays on
    bool keyOffEffectOnItsTick;           // Kxx releases on tick xx; K00 keeps the note beside it from starting
    bool keyOffWithInstrumentResetsVolume;  // key-off beside an instrument: the playing sample's volume and panning
                                            // only, the number waits for the next note
    bool noteDelayAppliesCellLate;        // ED1…EDF: note, instrument and volume wait for the delay tick
    bool patternDelayRepeatsRowTicks;     // EEy: each repetition of the row counts its ticks from 0 again
    bool retrigCountsAcrossRows;          // Rxy: one tick counter, carried across rows, reset by an instrument;
                                          // the row tick counts unless the volume column sets a volume above 0
    bool retrigZeroOnRowTick;             // E90 restarts the note on the row tick
    bool offsetStartsOnlyItsNote;         // 9xx acts only on the note beside it; at or past the end it stops it
    bool volumeColumnPortaRow;            // volume-column tone portamento makes a tone-portamento row
    bool portaTargetFromPortaNote;        // only a note beside a tone portamento sets its target
    bool tremorCountsDown;                // Txy counts on the other ticks only, and a silent phase outlasts it
    bool fineVolumeSeparateMemory;        // EAy and EBy remember their parameters apart
    bool fineTuneOnNote;                  // E5y sets the fine-tune of the note beside it, not of the sample
    bool noteRangeAfterTranspose;         // a note outside C-0…A#9 after the sample's transpose does not start
    bool arpeggioCountsDown;              // the arpeggio's phase follows the ticks left in the row, past 16 as a table's end
    bool envelopePositionMeetsPoint;      // Lxx onto a point: the envelope meets that point next, sustain included
    bool volumeRampsOverTick;             // volume changes glide over the whole tick; a new note and the volume
                                          // column's set-volume keep the short ramp
    bool tremoloRampFollowsVibrato;       // tremolo ramp-down is inverted while the vibrato position is negative
};

// The demo's player: every switch off.
inline constexpr PlaybackProfile defaultProfile{};

// The module plays as FastTracker 2 plays it.
inline constexpr PlaybackProfile ft2Profile{
    .keyOffZeroesVolume = true,
    .keyOffEffectOnItsTick = true,
    .keyOffWithInstrumentResetsVolume = true,
    .noteDelayAppliesCellLate = true,
    .patternDelayRepeatsRowTicks = true,
    .retrigCountsAcrossRows = true,
    .retrigZeroOnRowTick = true,
    .offsetStartsOnlyItsNote = true,
    .volumeColumnPortaRow = true,
    .portaTargetFromPortaNote = true,
    .tremorCountsDown = true,
    .fineVolumeSeparateMemory = true,
    .fineTuneOnNote = true,
    .noteRangeAfterTranspose = true,
    .arpeggioCountsDown = true,
    .envelopePositionMeetsPoint = true,
    .volumeRampsOverTick = true,
    .tremoloRampFollowsVibrato = true,
};

// Every profile, in one table: its number in the C interface, its name (for --profile and
// xmplayer_profile_from_name), one line for --help, and its switches. A new profile is one more
// entry here (and its number in xmplayer.h).
struct ProfileEntry {
    xmplayer_profile number;       // its index in kProfiles
    const char*      name;
    const char*      description;
    PlaybackProfile  switches;
};

inline constexpr ProfileEntry kProfiles[] = {
    {XMPLAYER_PROFILE_DEFAULT, "default", "the demo's own player, as the demo plays its song", defaultProfile},
    {XMPLAYER_PROFILE_FT2, "ft2", "as FastTracker 2 plays it", ft2Profile},
};
inline constexpr int32_t kProfileCount = int32_t(sizeof kProfiles / sizeof kProfiles[0]);

constexpr bool profilesNumberedInOrder() {
    for (int32_t i = 0; i < kProfileCount; ++i)
        if (kProfiles[i].number != i) return false;
    return true;
}
static_assert(profilesNumberedInOrder(), "a profile's number is its place in kProfiles");

// The entry of profile `number`, or nullptr for a number no profile has.
inline const ProfileEntry* findProfile(int32_t number) {
    return number >= 0 && number < kProfileCount ? &kProfiles[number] : nullptr;
}

// The entry named `name` (exactly, case included), or nullptr.
inline const ProfileEntry* findProfile(std::string_view name) {
    for (const ProfileEntry& entry : kProfiles)
        if (name == entry.name) return &entry;
    return nullptr;
}
