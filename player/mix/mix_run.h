#pragma once
// The mixer's inner loop for a run of frames at constant or ramping gains, in forms that give the
// same bits: the plain loop, one frame at a time (the reference), and the fast one that mixVoice
// uses, four frames at a time in SSE2 lanes where the processor has them and, with `wide`, eight
// at a time in AVX2 lanes (the build targets the x86-64 baseline; AVX2 is chosen at run time).
#include <cstdint>

// True when the processor has AVX2, so the fast forms may take `wide`.
bool wideMixAvailable();

// For each of `frames` frames k: S = s0 + (fraction · 2^-32) · (s1 − s0), with s0 and s1 the
// frames of `data` at the position's integer part and the one after it, all in single precision
// in that order; out[2k] += S · gainLeft and out[2k + 1] += S · gainRight; then the 32.32
// position moves by `delta` (the step, negated when playing backwards; arithmetic modulo 2^64).
// Returns the position after the run. Every frame read must lie inside `data`.
int64_t mixRunPlain(const int16_t* data, int64_t position, uint64_t delta, float gainLeft, float gainRight,
                    float* out, int32_t frames);
int64_t mixRun(const int16_t* data, int64_t position, uint64_t delta, float gainLeft, float gainRight, float* out,
               int32_t frames, bool wide);

// The same during a volume ramp: after each frame stepLeft is added to gainLeft and stepRight to
// gainRight, one frame at a time in single precision; the gains reached are left in them.
int64_t mixRampRunPlain(const int16_t* data, int64_t position, uint64_t delta, float& gainLeft, float& gainRight,
                        float stepLeft, float stepRight, float* out, int32_t frames);
int64_t mixRampRun(const int16_t* data, int64_t position, uint64_t delta, float& gainLeft, float& gainRight,
                   float stepLeft, float stepRight, float* out, int32_t frames, bool wide);

// mixRun over a forward loop that ends at `loopEnd` (32.32, below 2^63): after each frame's
// step, a position at or past loopEnd goes back by loopLength (whole frames, at least the step).
// That is what the mixer's runs do at the loop boundary in that case, frame for frame.
int64_t mixLoopRunPlain(const int16_t* data, int64_t position, uint64_t delta, float gainLeft, float gainRight,
                        float* out, int32_t frames, int64_t loopEnd, int64_t loopLength);
int64_t mixLoopRun(const int16_t* data, int64_t position, uint64_t delta, float gainLeft, float gainRight, float* out,
                   int32_t frames, int64_t loopEnd, int64_t loopLength, bool wide);

// Where mixLoopRun would leave the position after `frames` frames, without mixing: for a voice
// whose gains are both 0, or one that is skipped.
int64_t skipLoopRun(int64_t position, uint64_t delta, int32_t frames, int64_t loopEnd, int64_t loopLength);

// How a sample is read between two of its frames.
enum class Interpolation : uint8_t {
    none,    // S = s0: the frame at the position's integer part
    linear,  // S = s0 + t · (s1 − s0), t the fraction: the form above, the demo's sound
    cubic,   // 4-point Catmull-Rom through s−1, s0, s1, s2
};

// Where a cubic read runs past a loop's end, the frames after it are the loop's continuation
// (the start of a forward loop, the frames before the end of a ping-pong one) rather than what
// the sample holds there; frames before the sample's start read as its first frame.
struct SampleEdge {
    int64_t loopEnd;     // frame index; INT64_MAX: no loop
    int64_t loopLength;  // frames
    bool    pingPong;
};

// The run of mixRampRunPlain with any interpolation, one frame at a time; a constant-gain run
// has both steps 0. After each frame's step a position at or past `wrapEnd` goes back by
// `wrapLength`, as in mixLoopRunPlain (INT64_MAX: never). With `peak` given, the largest
// |S · gain| added to either side is kept in it. With the linear interpolation the values added
// are those of mixRunPlain, mixRampRunPlain and mixLoopRunPlain, bit for bit. Reads s−1 … s2
// around each frame: every frame up to two past the position's integer part must lie inside
// `data` (the guard frames cover them).
int64_t mixAnyRun(Interpolation interpolation, const int16_t* data, const SampleEdge& edge, int64_t position,
                  uint64_t delta, float& gainLeft, float& gainRight, float stepLeft, float stepRight, float* out,
                  int32_t frames, int64_t wrapEnd, int64_t wrapLength, float* peak);

// 2 × frames floats to int16: rounded to nearest, ties to even (the default rounding mode),
// limited to −32768…32767, NaN to 0. The plain form one value at a time; the fast one eight at a
// time where SSE2 is there, sixteen with `wide`.
void pcm16RunPlain(int16_t* destination, const float* source, int32_t frames);
void pcm16Run(int16_t* destination, const float* source, int32_t frames, bool wide);
