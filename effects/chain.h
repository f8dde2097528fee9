#pragma once
// Particle chain: twelve particles hanging from an anchor, drawn as balls ending in a spiked ball.
#include "gfx/surface.h"

// Loads the two sprites and lays the chain out. Once, at start-up.
void initChain();

// Advances the anchor's own clock by frameStep (seconds) and places the anchor on its path.
void moveChainAnchor(float frameStep);

// Gravity, link constraints and integration over one frame of frameStep seconds.
void solveChain(float frameStep);

// Draws the chain onto `work`.
void drawChain(Surface& work);
