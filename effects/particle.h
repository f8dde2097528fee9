#pragma once
// A tiny fixed-point particle system: particles carry their constraints as links, and each link
// carries the operation that enforces it.
//
// 8.8 fixed point: value × 256. Positions stay within a few thousand pixels and velocities
// within a few thousand pixels per second, so the products below (velocity × a step of at most
// a few hundred 1/256 s, unit vector × rest length) fit in 32 bits before their >> 8.
#include <cstdint>

struct Particle;

struct ParticleLink {
    Particle* other;                                     // the particle this one hangs from
    void (*apply)(Particle& particle, ParticleLink& link);  // the constraint's behaviour
    int32_t restLength;                                  // 8.8 pixels to keep from `other`
};

inline constexpr int32_t kMaxParticleLinks = 100;

struct Particle {
    uint8_t      anchored;   // 1: placed from outside, no gravity
    int32_t      x;          // 8.8 pixels of the work surface
    int32_t      y;          // 8.8 pixels, downwards
    int32_t      vx;         // 8.8 pixels per second
    int32_t      vy;         // 8.8 pixels per second
    int32_t      linkCount;  // used entries of `links`; the rest are never read
    ParticleLink links[kMaxParticleLinks];
};

// Puts `particle` at link.restLength from link.other along the line between them, adds the
// correction to its velocity and damps the velocity by 255/256. Moves only `particle`. When the
// two particles coincide there is no direction: the particle stays and nothing changes.
void linkConstraint(Particle& particle, ParticleLink& link);
