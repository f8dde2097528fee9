#include "effects/particle.h"

#include <cmath>

void linkConstraint(Particle& p, ParticleLink& k) {
    const Particle& q = *k.other;
    const int32_t dx = p.x - q.x, dy = p.y - q.y;
    if (dx == 0 && dy == 0) return;  // no direction to pull along

    // The unit direction from q to p in 8.8, through single-precision pixels.
    const float fx = static_cast<float>(dx / 256.0);
    const float fy = static_cast<float>(dy / 256.0);
    const double d = std::sqrt(double(fx) * double(fx) + double(fy) * double(fy));
    const float inv = static_cast<float>(1 / d);
    const int32_t ux = static_cast<int32_t>(double(fx) * double(inv) * 256);
    const int32_t uy = static_cast<int32_t>(double(fy) * double(inv) * 256);

    const int32_t nx = q.x + ((ux * k.restLength) >> 8);
    const int32_t ny = q.y + ((uy * k.restLength) >> 8);
    p.vx = ((p.vx + (nx - p.x)) * 255) >> 8;
    p.vy = ((p.vy + (ny - p.y)) * 255) >> 8;
    p.x = nx;
    p.y = ny;
}
