#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "effects/chain.h"

namespace {

uint32_t bgra(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return b << 24 | g << 16 | r << 8 | a; }

Surface solid(int32_t w, int32_t h, uint32_t v) {
    Surface s = createSurface(w, h, kDefaultPixelFormat);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) writePixel(32, pixelAddress(s, x, y), v);
    return s;
}

TEST(ParticleChain, StartLayout) {
    ChainState chain{};
    layOutChain(chain, 9);
    const ChainState& c = chain;
    EXPECT_EQ(c.chainTime, 0.0f);
    for (int32_t i = 0; i < kChainLength; ++i) {
        const Particle& p = c.chainParticles[i];
        EXPECT_EQ(p.x, (171 + 9 * i) * 256) << i;
        EXPECT_EQ(p.y, 30860) << i;
        EXPECT_EQ(p.vx, 0);
        EXPECT_EQ(p.vy, 0);
        EXPECT_EQ(p.anchored, i == 0 ? 1 : 0) << i;
        ASSERT_EQ(p.linkCount, i == 0 ? 0 : 1) << i;
        if (i == 0) continue;
        EXPECT_EQ(p.links[0].other, &c.chainParticles[i - 1]) << i;
        EXPECT_EQ(p.links[0].apply, &linkConstraint) << i;
        EXPECT_EQ(p.links[0].restLength, 2304) << i;
    }
}

TEST(ParticleChain, LinkConstraintPullsToTheRestLengthAndDamps) {
    struct Case {
        const char* what;
        int32_t px, py, vx, vy;              // the particle before
        int32_t nx, ny, nvx, nvy;            // after
    };
    // The predecessor sits at (100, 50) pixels; rest length 9 pixels.
    const Case cases[] = {
        {"18 pixels straight below", 25600, 17408, 0, 0, 25600, 15104, 0, -2295},
        {"(30, 40) away: unit (153, 204) / 256", 33280, 23040, 0, 0, 26977, 14636, -6279, -8372},
        {"(−3, 4) away, moving", 24832, 13824, 1000, -500, 24223, 14636, 389, 310},
        {"coinciding: stays, velocity kept", 25600, 12800, 700, -300, 25600, 12800, 700, -300},
    };
    for (const Case& c : cases) {
        Particle q{};
        q.x = 25600;
        q.y = 12800;
        Particle p{};
        p.x = c.px, p.y = c.py, p.vx = c.vx, p.vy = c.vy;
        ParticleLink link{&q, linkConstraint, 2304};
        link.apply(p, link);
        EXPECT_EQ(p.x, c.nx) << c.what;
        EXPECT_EQ(p.y, c.ny) << c.what;
        EXPECT_EQ(p.vx, c.nvx) << c.what;
        EXPECT_EQ(p.vy, c.nvy) << c.what;
        EXPECT_EQ(q.x, 25600) << "the predecessor never moves";
        EXPECT_EQ(q.y, 12800);
        EXPECT_EQ(q.vx | q.vy, 0);
    }
}

// The anchor has no gravity and no link, so with a speed of 1 pixel per second it moves ten
// whole steps per frame: the step is frameStep truncated to 1/256 s.
TEST(ParticleChain, SolverStepsInWhole256thsOfASecond) {
    ChainState chain{};
    struct Case {
        float   frameStep;
        int32_t step;  // 1/256 s
    };
    const Case cases[] = {{0.1f, 25}, {1.0f / 60, 4}, {1.0f / 256, 1}, {0.003f, 0}};
    for (const Case& c : cases) {
        layOutChain(chain, 9);
        Particle& anchor = chain.chainParticles[0];
        anchor.vx = 256;
        solveChain(chain, c.frameStep);
        EXPECT_EQ(anchor.x, 171 * 256 + 10 * c.step) << c.frameStep;
        EXPECT_EQ(anchor.y, 30860) << c.frameStep;
        EXPECT_EQ(anchor.vy, 0) << "no gravity on the anchor";
    }
    // A step of 0 moves nothing, while gravity still adds to the velocities.
    for (int32_t i = 1; i < kChainLength; ++i) {
        EXPECT_EQ(chain.chainParticles[i].x, (171 + 9 * i) * 256) << i;
        EXPECT_EQ(chain.chainParticles[i].y, 30860) << i;
        EXPECT_GT(chain.chainParticles[i].vy, 0) << i;
    }
}

TEST(ParticleChain, HangsAndSwingsUnderGravity) {
    ChainState chain{};
    layOutChain(chain, 9);
    for (int frame = 0; frame < 600; ++frame) solveChain(chain, 1.0f / 60);  // 10 s at 60 frames per second
    const auto& p = chain.chainParticles;
    EXPECT_EQ(p[0].x, 171 * 256);
    EXPECT_EQ(p[0].y, 30860);
    for (int32_t i = 1; i < kChainLength; ++i) {
        const double dx = (p[i].x - p[i - 1].x) / 256.0, dy = (p[i].y - p[i - 1].y) / 256.0;
        // 9 pixels, plus what the last integration of a pass adds after the constraint.
        EXPECT_NEAR(std::sqrt(dx * dx + dy * dy), 9.0, 0.2) << "link " << i;
        EXPECT_GT(p[i].y, p[i - 1].y) << "hangs down: " << i;
    }
    EXPECT_GT(p[11].y - p[0].y, 90 * 256) << "eleven links of 9 pixels, nearly straight down";
}

TEST(ParticleChain, AnchorTravelsItsPathOnItsOwnClock) {
    ChainState chain{};
    layOutChain(chain, 9);
    moveChainAnchor(chain, 0.1f);
    const Particle& anchor = chain.chainParticles[0];
    EXPECT_EQ(chain.chainTime, 0.1f);
    EXPECT_EQ(anchor.x, 43368) << "(sin 6° · 90 + 160) · 256";
    EXPECT_EQ(anchor.y, 35678) << "(cos 8° · 65 + 75) · 256";
    moveChainAnchor(chain, 1.0f / 60);
    EXPECT_EQ(chain.chainTime, 0.1f + 1.0f / 60);
    EXPECT_EQ(anchor.x, 43767);
    EXPECT_EQ(anchor.y, 35619);
    EXPECT_EQ(anchor.vx | anchor.vy, 0) << "placed, not moved";
}

// Sprites centred on particles 0…10, the spiked ball on 10; particle 11 is never drawn.
TEST(ParticleChain, DrawsBallsAndTheSpikedBallCentred) {
    ChainState c{};
    layOutChain(c, 9);
    c.linkSprite = solid(9, 9, bgra(255, 0, 0, 255));
    c.spikeBallSprite = solid(41, 41, bgra(0, 0, 255, 255));
    for (int32_t i = 0; i < kChainLength; ++i) {
        c.chainParticles[i].x = (20 + 10 * i) * 256 + 200;  // fractions are dropped
        c.chainParticles[i].y = 30 * 256;
    }
    c.chainParticles[10].x = 100 * 256;
    c.chainParticles[10].y = 100 * 256;
    c.chainParticles[11].x = 200 * 256;
    c.chainParticles[11].y = 200 * 256;
    Surface work = createSurface(320, 240, kDefaultPixelFormat);
    drawChain(c, work);
    auto at = [&](int32_t x, int32_t y) { return readPixel(32, pixelAddress(work, x, y)); };
    const uint32_t ball = bgra(254, 0, 0, 255), spike = bgra(0, 0, 254, 255);  // blended over black
    for (int32_t i = 0; i < 10; ++i) {
        const int32_t x = 20 + 10 * i;
        EXPECT_EQ(at(x - 4, 26), ball) << i;
        EXPECT_EQ(at(x + 4, 34), ball) << i;
        EXPECT_EQ(at(x + 5, 30), 0u) << i;
    }
    EXPECT_EQ(at(80, 80), spike);
    EXPECT_EQ(at(120, 120), spike);
    EXPECT_EQ(at(79, 100), 0u);
    EXPECT_EQ(at(121, 100), 0u);
    EXPECT_EQ(at(200, 200), 0u) << "particle 11";
    freeSurface(work);
    freeSurface(c.linkSprite);
    freeSurface(c.spikeBallSprite);
}

}  // namespace
