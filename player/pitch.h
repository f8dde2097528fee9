#pragma once
// Pitch, volume and panning of a channel, and the voice update that hands them to the mixer.
#include <cstdint>

struct Channel;
struct Playback;
struct Sample;

// Linear scale: 64 per semitone, 768 per octave; C-4 (note 48) at fine-tune 0 is 4608.
// 7680 − note × 64 − fineTune / 2 (truncating).
int32_t linearPeriod(int32_t note, int32_t fineTune);

// Amiga scale, C-4 = 1712: P(n) = trunc(13.375 × 2^((132 − n) / 12)), moved by fineTune / 128 of
// the distance to the next higher (fineTune > 0) or lower (fineTune < 0) note.
int32_t amigaPeriod(int32_t note, int32_t fineTune);

// Hz for period + periodDelta: linear 8363 × 2^((4608 − period + periodDelta) / 768) truncated;
// Amiga 14317056 / (period + periodDelta). Periods far outside the musical range are limited,
// so the result always fits in 32 bits and a zero divisor never occurs.
int32_t periodFrequency(int32_t period, int32_t periodDelta, bool linear);

// Final voice volume: (volume + volumeDelta) × envelope × fadeout × globalVolume × 255 / 2^35,
// each product rounded to single precision; 127 at full scale.
int32_t finalVolume(const Channel& channel, int32_t globalVolume);

// Final panning 0…255: the envelope moves it by up to (128 − |panning − 128|) / 32 per unit.
int32_t finalPanning(const Channel& channel);

// Applies this tick's updateFlags to the channel's voice: trigger (handing a sounding note over to
// the partner voice, which ramps it out), volume, panning, pitch and rewind. Nothing for a
// playback that counts its timing only.
void updateVoice(Playback& playback, Channel& channel, const Sample& sample);
