#pragma once
// Sine, cosine and powers of two that give the same bits on every platform. The C libraries
// differ in the last bit of sin, cos and pow on inputs the demo meets (glibc and the web build's
// musl do; glibc even takes other code on processors with FMA, and Windows has a library of its
// own), and a truncation or a rounding to single precision downstream can turn that bit into
// another pixel or another sample. These use only IEEE additions, multiplications, divisions
// and exact operations (floor, fmod, ldexp), so with -ffp-contract=off they agree everywhere.
// Accuracy: within about one unit in the last place of the true value.
#include <cstdint>

// sin(x) and cos(x), x in radians. Reduced by π/2 taken in three parts below 2^20·π/2 (about
// 1.6·10^6); beyond that x is first taken modulo 2π as a double, which costs accuracy but not
// agreement.
// Not finite: NaN.
double portableSin(double x);
double portableCos(double x);

// 2^y. Overflows to infinity from y = 1024 on and reaches 0 below −1075; NaN stays NaN.
double portableExp2(double y);

// The bits of every function above over a fixed set of inputs that covers the shapes of the
// arguments the demo passes (effects' degrees turned to radians, the player's periods), folded
// into one 64-bit FNV-1a hash: equal on two platforms when they compute alike.
uint64_t portableMathDigest();
