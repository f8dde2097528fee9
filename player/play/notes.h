#pragma once
// What a channel plays and how a note or an instrument takes it over: the look-up of instrument
// and sample, a note's period, applying an instrument, releasing a note. Shared by the row tick
// and by the effects that act on a later tick (note delay, retrigger).
#include <cstdint>

struct Cell;
struct Channel;
struct Instrument;
struct Playback;
struct PlaybackProfile;
struct Sample;

constexpr uint8_t kKeyOffNote = 255;  // a cell's note byte for key-off (the file's 97)

// The shared all-zero instrument: no envelopes, no auto-vibrato.
extern const Instrument emptyInstrument;

// What a channel plays on this tick: its instrument, or the empty instrument and the empty
// sample when the number is past the module's instruments; the instrument's sample for the
// channel's note, or the empty sample when there is none (notes above 96 included); and where
// the playback keeps that sample's fine-tune (nullptr for the empty sample, whose is 0). Where the
// profile leaves XM's instrument extras unused, the instrument given is the empty one (its samples
// still play).
struct ChannelSource {
    const Instrument* instrument;
    const Sample*     sample;
    int8_t*           fineTune;
};
ChannelSource lookUpChannel(Playback& playback, const Channel& channel);

// The fine-tune notes of `source` play with: −128…127, 1/128 semitone.
inline int32_t fineTuneOf(const ChannelSource& source) { return source.fineTune ? *source.fineTune : 0; }

// True where notes take ProTracker's periods: its profile, on a module of Amiga periods.
bool protrackerScale(const Playback& playback);

// The C-4 rate a note of `sample` plays by: its own (S3M's C2SPD) where the profile plays those,
// otherwise 0 (relativeNote and fineTune decide).
uint32_t middleCRateOf(const Playback& playback, const Sample& sample);

// The period of a note (0-based real note) on the module's scale: by `middleCRate` where it is
// not 0 (the note then is the pattern's, untransposed), by ProTracker's table and the fine-tune's
// step of 16 on its scale, linear or Amiga otherwise.
int32_t notePeriodOf(const Playback& playback, int32_t realNote, int32_t fineTune, uint32_t middleCRate = 0);

// True for the effects that make a tone-portamento row: XM's 3xx and 5xy, S3M's Gxx and Lxy.
bool isTonePortamento(const Cell& cell);

// The cell's instrument and note become the channel's. Beside a key-off the profile may keep the
// playing instrument and save the number for the next note.
void takeInstrumentAndNote(const PlaybackProfile& profile, Channel& channel, const Cell& cell);

// What an instrument number and the cell set in the channel before its note, for the pt and st3
// profiles: the sample's fine-tune, then E5y's (protrackerPeriods); the start offset back to the
// sample's start (offsetStaysWithChannel).
void takeChannelState(const PlaybackProfile& profile, Channel& channel, const Cell& cell, const Sample& sample);

// ProTracker's sample swap: an instrument without a note makes the channel's voice go on in
// `sample` once its pass is over; a voice that has played its sample out (a note has played)
// starts the loop of a looping `sample` at once.
void swapSample(Channel& channel, const Sample& sample);

// The note starting on this tick starts `offset` frames into `s`. At or past the loop's end a
// looping sample plays its loop (ProTracker from its start, others as far into it as the offset
// runs past); past the end of a sample without a loop nothing plays.
void startNoteAt(const PlaybackProfile& profile, Channel& channel, const Sample& s, uint32_t offset);

// What a new note resets where XM's instrument extras are unused (and an instrument does where
// they are not): envelopes at their start, the key-off and fadeout undone.
void startNoteAfresh(Channel& channel);

// S3M's note cut (SCx, and ^^^, a key-off where XM's instrument extras are unused, which also sets
// the volume to 0): the note is silent until the next one starts, whatever retriggers it or sets
// its volume or instrument.
void cutNote(Channel& channel, bool keyOff = false);

// Sets realNote and notePeriod for a 1-based pattern note; false when the profile keeps a note
// outside the playable range after the sample's transpose from starting.
bool takeNote(const Playback& playback, Channel& channel, const Cell& cell, uint8_t note, const ChannelSource& source);

// Applies an instrument to a channel: the sample's volume and panning (unless the profile keeps the
// channel's), envelopes restarted, key-off cleared, fadeout full, auto-vibrato and (unless the
// waveform keeps its phase) vibrato and tremolo positions back to their start, tremor and
// retrigger counters 0.
void resetInstrumentState(const PlaybackProfile& profile, Channel& channel, const Sample& sample);

// An instrument number beside a key-off (the profile's reading): the sample's volume and panning,
// nothing restarted.
void resetVolumes(Channel& channel, const Sample& sample);

// Releases the channel's note (key-off); without a volume envelope the profile's
// keyOffZeroesVolume sets the volume to 0 instead of leaving the silencing to the row tick.
void releaseNote(const PlaybackProfile& profile, Channel& channel, const Instrument& instrument);

// The cell's note delay, EDy, as the profile plays it. The demo's player holds back only the note
// (ED0: for good); under noteDelayAppliesCellLate the whole cell (note, instrument, volume,
// key-off) waits for tick y, and ED0's tick is the row tick itself. S3M's SDy always holds back the
// whole cell, and SD0 for good.
struct NoteDelay {
    int32_t tick;  // y, 0…15, or kNeverTick; −1: the cell has no note delay
    bool    late;  // the whole cell waits for `tick`
};
constexpr int32_t kNeverTick = 256;  // past every row's last tick (speeds reach 255)
NoteDelay noteDelayOf(const PlaybackProfile& profile, const Cell& cell);

// The tick on which the cell's key-off effect (Kxx) releases the note: 0, the row tick, or xx
// under keyOffEffectOnItsTick; −1 where the cell has no key-off effect.
int32_t keyOffEffectTick(const PlaybackProfile& profile, const Cell& cell);

// The late note delay's tick: the cell's note (or the channel's last one when it has none) starts
// with its instrument's volume and panning when it names one, the envelopes restart, and the
// volume column's set-volume and set-panning apply; a key-off releases instead.
void applyDelayedCell(Playback& playback, Channel& channel, const Cell& cell);
