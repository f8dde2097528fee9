#include "effects/chain.h"

#include <cmath>

#include "effects/degrees.h"
#include "gfx/blit.h"
#include "maths/portable_math.h"

namespace {

constexpr int32_t kStartY = 30860;  // 8.8: 120 pixels plus 140/256
constexpr int32_t kGravity = 50;    // 8.8 pixels per second, added once per pass
constexpr int kPasses = 10;

}  // namespace

void initChain(ChainState& c, Surface linkSprite, Surface spikeBallSprite) {
    freeSurface(c.linkSprite);
    freeSurface(c.spikeBallSprite);
    c.linkSprite = linkSprite;
    c.spikeBallSprite = spikeBallSprite;
    layOutChain(c, c.linkSprite.width);
}

void freeChain(ChainState& c) {
    freeSurface(c.linkSprite);
    freeSurface(c.spikeBallSprite);
    c = ChainState{};
}

void layOutChain(ChainState& c, int32_t spacing) {
    c.chainTime = 0;
    for (int32_t i = 0; i < kChainLength; ++i) {
        Particle& p = c.chainParticles[i];
        p.anchored = i == 0 ? 1 : 0;
        p.x = 160 * 256 + ((i - 1) * spacing + 20) * 256;
        p.y = kStartY;
        p.vx = p.vy = 0;
        p.linkCount = 0;
        if (i == 0) continue;
        // The rest length is the start distance to the predecessor, its square taken in whole
        // square pixels before the root.
        Particle& prev = c.chainParticles[i - 1];
        const int32_t dx = p.x - prev.x, dy = p.y - prev.y;
        const int32_t q = ((dy * dy) >> 8) + ((dx * dx) >> 8);
        const int32_t restLength = static_cast<int32_t>(256 * std::sqrt(std::abs(double(q / 256))));
        p.links[p.linkCount++] = ParticleLink{&prev, linkConstraint, restLength};
    }
}

void moveChainAnchor(ChainState& c, float frameStep) {
    c.chainTime = c.chainTime + frameStep;
    const double t = double(c.chainTime);
    Particle& anchor = c.chainParticles[0];
    anchor.x = static_cast<int32_t>((portableSin(t * 60 * kDegreesToRadians) * 90 + 160) * 256);
    anchor.y = static_cast<int32_t>((portableCos(t * 80 * kDegreesToRadians) * 65 + 75) * 256);
}

void solveChain(ChainState& c, float frameStep) {
    const int32_t step = static_cast<int32_t>(double(frameStep) * 256);  // 1/256 s
    // Each pass integrates over the whole step; visiting predecessors first lets a correction
    // travel down the whole chain within one pass.
    for (int pass = 0; pass < kPasses; ++pass) {
        for (Particle& p : c.chainParticles) {
            if (!p.anchored) p.vy += kGravity;
            for (int32_t k = 0; k < p.linkCount; ++k) p.links[k].apply(p, p.links[k]);
            p.x += (p.vx * step) >> 8;
            p.y += (p.vy * step) >> 8;
        }
    }
}

void drawChain(const ChainState& c, Surface& work) {
    for (int32_t i = 0; i <= kChainLength - 2; ++i) {
        const Surface& sprite = i == kChainLength - 2 ? c.spikeBallSprite : c.linkSprite;
        const Particle& p = c.chainParticles[i];
        blit(sprite, work, (p.x >> 8) - sprite.width / 2, (p.y >> 8) - sprite.height / 2, 1);
    }
}
