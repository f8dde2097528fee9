#pragma once
// Particle chain: twelve particles hanging from an anchor, drawn as balls ending in a spiked ball.
#include <array>
#include <cstdint>

#include "effects/particle.h"
#include "gfx/surface.h"

inline constexpr int32_t kChainLength = 12;

struct ChainState {
    // In chain order: 0 is the anchor, 11 the free end. Each link points at the previous
    // element, so the array never moves after initChain.
    std::array<Particle, kChainLength> chainParticles;
    Surface linkSprite;       // 9×9 ball, key colour transparent
    Surface spikeBallSprite;  // 41×41, key colour transparent
    float   chainTime;        // seconds; the anchor's clock, advanced only by moveChainAnchor
};

// Takes over the two sprites (the effect frees them when set up again) and lays the chain out
// with layOutChain, one link-sprite width apart. Once, at start-up; calling it again starts over.
void initChain(ChainState& chain, Surface linkSprite, Surface spikeBallSprite);

// Frees the sprites; the state is as before initChain.
void freeChain(ChainState& chain);

// The start layout: particle i at (180 + (i − 1)·spacing, 120 + 140/256) pixels, at rest, each
// linked to its predecessor at their start distance; the anchor's clock back to 0.
void layOutChain(ChainState& chain, int32_t spacing);

// Advances the anchor's own clock by frameStep (seconds) and places the anchor on its path, a
// Lissajous figure around (160, 75) pixels. Velocities are not touched.
void moveChainAnchor(ChainState& chain, float frameStep);

// Ten passes of gravity, link constraints and integration over frameStep (seconds, truncated to
// 1/256 s).
void solveChain(ChainState& chain, float frameStep);

// Draws particles 0…10 onto `work`, blended and centred: link balls, the spiked ball at 10.
// Particle 11 is simulated but never drawn.
void drawChain(const ChainState& chain, Surface& work);
