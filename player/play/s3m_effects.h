#pragma once
// Scream Tracker 3's effects, as an S3M's cells hold them (kS3mEffects + 0…25 for A…Z): most of
// them share one remembered parameter per channel, D, E and F hold fine and extra-fine slides in
// their parameter, and K and L join a vibrato or a tone portamento to a slide of the volume.
#include <cstdint>

#include "player/module.h"

struct Channel;
struct EffectContext;
struct Playback;

// The row's parameter of an S3M effect: the cell's, which the channel then remembers, or the
// remembered one where the cell's is 0 and the effect shares the memory (D, E, F, I, J, K, L, Q, R,
// S, T; G, H and U store into it but keep their own).
uint8_t takeS3mParameter(Channel& channel, const Cell& cell);

// The song's flow on the row tick, channels in ascending order, the cell's parameter being the
// row's (takeS3mParameter): Axx (speed; A00 is none) and SEx (the row repeats x times; the first
// channel that asks decides) here; Bxx, Cxx, SBx and Txx (a BPM of 32 and more) play as XM's Bxx,
// Dxx, E6x and Fxx, the cell s3mFlowAsXm returns (kNoEffect for any other).
void s3mFlowEffect(Playback& playback, const Cell& cell);
Cell s3mFlowAsXm(const Cell& cell);

// The rest of an S3M effect on one tick: its row part on the row tick, and again on the first
// tick of each repetition of a row that SEx delays (`tick` 0 there).
void s3mTick(const EffectContext& context);

// Before the row tick of any S3M cell: a portamento right after an arpeggio slides on from where
// the arpeggio left the pitch.
void s3mRowStarts(Channel& channel, const Cell& cell);

// True where an S3M tone portamento beside a note plays that note instead: on a channel that has
// played no note yet.
bool s3mStartsIdleChannel(const Channel& channel, const Cell& cell);

// A new pattern: S3M's loop start goes back to its first row.
void s3mPatternStarts(Playback& playback);
