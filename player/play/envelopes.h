#pragma once
// Envelopes, fadeout and auto-vibrato: stepped once per tick for every channel.
#include <cstdint>

struct Channel;
struct Instrument;
struct PlaybackProfile;

// Whether the instrument's volume (panning) envelope plays: bit 0 of its type, and at least two
// points, or one under the profile's onePointEnvelopes (the note then holds at that point's level).
bool volumeEnvelopeOn(const PlaybackProfile& profile, const Instrument& instrument);
bool panningEnvelopeOn(const PlaybackProfile& profile, const Instrument& instrument);

// One tick of the channel's volume (panning) envelope; called when the envelope is on and not
// done.
void stepVolumeEnvelope(Channel& channel, const Instrument& instrument);
void stepPanningEnvelope(Channel& channel, const Instrument& instrument);

// Lxx: moves the volume envelope to tick xx (onto a point, as the profile says); nothing when the
// volume envelope is off.
void setEnvelopePosition(Channel& channel, const Instrument& instrument, uint8_t xx, const PlaybackProfile& profile);

// What a released note's fadeoutVolume (65536 = full) loses per tick: twice the instrument's
// volumeFadeout, kept in 16 bits (0x8000 and above wrap) unless the profile's fadeoutFullRange.
int32_t fadeStep(const PlaybackProfile& profile, const Instrument& instrument);

// The fadeout of a released note: fadeoutVolume falls by fadeStep, not below 0.
void fadeOut(Channel& channel, const Instrument& instrument, const PlaybackProfile& profile);

// Adds the instrument's auto-vibrato to periodDelta and moves its position; sets the pitch flag.
void autoVibrato(Channel& channel, const Instrument& instrument);
