#pragma once
// The audio device as the player needs it: one looping buffer of 16-bit stereo frames, played
// over and over from its start, and the play position as a growing byte count.
#include <cstdint>

// Opens the default output for 16-bit stereo at `rate` frames per second over `bytes` bytes
// of `ring` (which stays owned by the caller and alive until audioDeviceClose). Nothing is
// played before audioDeviceStart. False when no device can be opened; `reason` then says why,
// in the system's words, valid until the next call into the device.
bool audioDeviceOpen(const int16_t* ring, uint32_t bytes, int32_t rate, const char** reason);

// Starts playing the ring from its first byte, looping for ever.
void audioDeviceStart();

// Holds playing where it is (its position stands still) or goes on from there.
void audioDevicePause(bool paused);

// Bytes played since the device opened, into `bytes`: a 32-bit count that keeps growing across
// loops and wraps at 2^32 (it need not start at 0). False while the device does not play
// (unplugged, removed, failing, or suspended by the system); `reason` then says why. A device
// that plays again (a browser's audio context running again) answers again, its count going on
// from where it stood. Safe to call from the feeder thread.
bool audioDevicePosition(uint32_t& bytes, const char** reason);

// Stops playing and closes the device; nothing happens when none is open.
void audioDeviceClose();

// Raises the calling thread to time-critical priority where the system allows it; quietly does
// nothing where it does not.
void platformRaiseThreadPriority();
