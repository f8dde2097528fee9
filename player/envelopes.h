#pragma once
// Envelopes, fadeout and auto-vibrato: stepped once per tick for every channel.
#include <cstdint>

struct Channel;
struct Instrument;
struct PlaybackProfile;

// One tick of the channel's volume (panning) envelope; called when the instrument's type has
// bit 0 set and the envelope is not done.
void stepVolumeEnvelope(Channel& channel, const Instrument& instrument);
void stepPanningEnvelope(Channel& channel, const Instrument& instrument);

// Lxx: moves the volume envelope to tick xx (onto a point, as the profile says).
void setEnvelopePosition(Channel& channel, const Instrument& instrument, uint8_t xx, const PlaybackProfile& profile);

// The fadeout of a released note: fadeoutVolume falls by the instrument's volumeFadeout.
void fadeOut(Channel& channel, const Instrument& instrument);

// Adds the instrument's auto-vibrato to periodDelta and moves its position; sets the pitch flag.
void autoVibrato(Channel& channel, const Instrument& instrument);
