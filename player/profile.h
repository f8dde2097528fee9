#pragma once
// Playback profiles: named switches for the corners where trackers play the same module
// differently. A profile is chosen when a playback starts (startPlayback, startPlayer,
// xmplayer_create) and read by the sequencer and the effects; with every switch off the player is
// the demo's own.
#include <cstdint>
#include <string_view>

#include "player/module.h"
#include "xmplayer.h"

struct PlaybackProfile {
    // key-off without volume envelope: volume 0, fadeout, the voice plays on
    bool keyOffZeroesVolume = false;
    // Kxx releases on tick xx; K00 keeps the note beside it from starting
    bool keyOffEffectOnItsTick = false;
    // key-off beside an instrument: the playing sample's volume and panning only, the number waits for
    // the next note
    bool keyOffWithInstrumentResetsVolume = false;
    // ED1…EDF: note, instrument and volume wait for the delay tick
    bool noteDelayAppliesCellLate = false;
    // EEy: each repetition of the row counts its ticks from 0 again
    bool patternDelayRepeatsRowTicks = false;
    // Rxy: one tick counter, carried across rows, reset by an instrument; the row tick counts unless
    // the volume column sets a volume above 0
    bool retrigCountsAcrossRows = false;
    // E90 restarts the note on the row tick
    bool retrigZeroOnRowTick = false;
    // 9xx acts only on the note beside it; at or past the end it stops it
    bool offsetStartsOnlyItsNote = false;
    // volume-column tone portamento makes a tone-portamento row
    bool volumeColumnPortaRow = false;
    // only a note beside a tone portamento sets its target
    bool portaTargetFromPortaNote = false;
    // Txy counts on the other ticks only, and a silent phase outlasts it
    bool tremorCountsDown = false;
    // EAy and EBy remember their parameters apart
    bool fineVolumeSeparateMemory = false;
    // E5y sets the fine-tune of the note beside it, not of the sample
    bool fineTuneOnNote = false;
    // a note outside C-0…A#9 after the sample's transpose does not start
    bool noteRangeAfterTranspose = false;
    // the arpeggio's phase follows the ticks left in the row, past 16 as a table's end
    bool arpeggioCountsDown = false;
    // Lxx onto a point: the envelope meets that point next, sustain included
    bool envelopePositionMeetsPoint = false;
    // volume changes glide over the whole tick; a new note and the volume column's set-volume keep the
    // short ramp
    bool volumeRampsOverTick = false;
    // tremolo ramp-down is inverted while the vibrato position is negative
    bool tremoloRampFollowsVibrato = false;
    // the fadeout step is twice the file's 16-bit value, never wrapped
    bool fadeoutFullRange = false;
    // an envelope of one point is on: it holds at that point's level
    bool onePointEnvelopes = false;
    // Cxx above 64 sets 64
    bool setVolumeLimited = false;
    // EC0 cuts the note on the row tick
    bool noteCutZeroOnRowTick = false;
    // EEy's repetitions last the tempo the row ends with (a later Fxx too)
    bool patternDelayAtRowTempo = false;
    // tone portamento slides the way its note set; once there, downwards
    bool tonePortaKeepsDirection = false;
    // volume-column portamento beside 3xx: the 3xx is ignored, the column's speed counts twice
    bool volumeColumnPortaDoubles = false;
    // the arpeggio's other notes play no higher than C-8
    bool arpeggioClampsAtTop = false;
    // left (256 − pan) / 256, right pan / 256: 128 exactly centred
    bool panningSplits256 = false;

    // ProTracker's and Scream Tracker 3's ways (the pt and st3 profiles).
    // a channel keeps the panning the module gives it: instruments leave it
    bool channelPanning = false;
    // no envelopes, fadeout, auto-vibrato or volume-column effects (its set-volume stays); a key-off
    // (S3M's cut) silences the note until the next one, which starts afresh
    bool xmExtrasUnused = false;
    // a sample offset stays for the channel's next notes, until an instrument
    bool offsetStaysWithChannel = false;
    // 9xx moves that start on by its own, even without a note; beside a note twice (once before it
    // starts)
    bool offsetAddsUp = false;
    // Amiga-period notes from ProTracker's table by the channel's own fine-tune (the instrument's, or
    // E5y's), slides held within 113…856, arpeggio read from the table, the PAL Amiga's clock
    bool protrackerPeriods = false;
    // 1xx, 2xx, Axy, E1y, E2y, EAy, EBy and 5xy's and 6xy's slides: 00 is none
    bool slidesForgetParameter = false;
    // an instrument without a note: its volume at once, its sample once the playing sample (or its
    // loop) ends
    bool sampleSwapsAtLoopEnd = false;
    // 4xy and 6xy as ProTracker's: the pitch falls first, and the row tick neither applies nor moves
    // them; 4xy, 6xy and 7xy take its sine table
    bool protrackerVibrato = false;
    // E9y (y > 0) restarts the note on the row tick too, where no note starts there
    bool retrigOnRowTick = false;
    // F00 leaves the speed as it was
    bool speedZeroIgnored = false;
    // ED1…EDF hold back only the note: the instrument's volume, fine-tune and sample take effect on
    // the row tick; ED0 is none
    bool noteDelayTakesInstrumentAtOnce = false;
    // a note's period from its sample's C-4 rate (S3M's C2SPD), as Scream Tracker 3 computes it
    bool middleCRatePeriods = false;
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
    .fadeoutFullRange = true,
    .onePointEnvelopes = true,
    .setVolumeLimited = true,
    .noteCutZeroOnRowTick = true,
    .patternDelayAtRowTempo = true,
    .tonePortaKeepsDirection = true,
    .volumeColumnPortaDoubles = true,
    .arpeggioClampsAtTop = true,
    .panningSplits256 = true,
};

// The module plays as ProTracker plays a MOD.
inline constexpr PlaybackProfile ptProfile{
    .patternDelayRepeatsRowTicks = true,
    .portaTargetFromPortaNote = true,
    .tremoloRampFollowsVibrato = true,
    .setVolumeLimited = true,
    .noteCutZeroOnRowTick = true,
    .channelPanning = true,
    .xmExtrasUnused = true,
    .offsetStaysWithChannel = true,
    .offsetAddsUp = true,
    .protrackerPeriods = true,
    .slidesForgetParameter = true,
    .sampleSwapsAtLoopEnd = true,
    .protrackerVibrato = true,
    .retrigOnRowTick = true,
    .speedZeroIgnored = true,
    .noteDelayTakesInstrumentAtOnce = true,
};

// The module plays as Scream Tracker 3 plays an S3M.
inline constexpr PlaybackProfile st3Profile{
    .noteDelayAppliesCellLate = true,
    .patternDelayRepeatsRowTicks = true,
    .portaTargetFromPortaNote = true,
    .channelPanning = true,
    .xmExtrasUnused = true,
    .offsetStaysWithChannel = true,
    .middleCRatePeriods = true,
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
    {XMPLAYER_PROFILE_PT, "pt", "as ProTracker plays it (MOD)", ptProfile},
    {XMPLAYER_PROFILE_ST3, "st3", "as Scream Tracker 3 plays it (S3M)", st3Profile},
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

// The profile of the tracker that wrote a format: ft2 for XM, pt for MOD, st3 for S3M.
inline xmplayer_profile trackerProfileOf(ModuleFormat format) {
    switch (format) {
    case ModuleFormat::mod: return XMPLAYER_PROFILE_PT;
    case ModuleFormat::s3m: return XMPLAYER_PROFILE_ST3;
    default: return XMPLAYER_PROFILE_FT2;
    }
}

// The entry of profile `number` for `format`, XMPLAYER_PROFILE_AUTO standing for the format's
// tracker; nullptr for a number no profile has.
inline const ProfileEntry* findProfile(int32_t number, ModuleFormat format) {
    return findProfile(number == XMPLAYER_PROFILE_AUTO ? int32_t(trackerProfileOf(format)) : number);
}
