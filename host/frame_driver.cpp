#include "host/frame_driver.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "effects/chain.h"
#include "effects/degrees.h"
#include "effects/logo_reflection.h"
#include "effects/logo_wobble.h"
#include "effects/rotozoomer.h"
#include "effects/scroller.h"
#include "gfx/blit.h"
#include "host/demo.h"
#include "maths/portable_math.h"
#include "platform/platform.h"

namespace {

// The zoom's offset, 1.2 rounded to single precision (1.2000000476837158).
constexpr double kZoomBias = double(1.2f);

// Song positions at which the layers join the picture.
constexpr int32_t kBackgroundPosition = 4;
constexpr int32_t kRotationPosition = 8;
constexpr int32_t kScrollerPosition = 12;
constexpr int32_t kChainPosition = 14;
constexpr int32_t kAnchorPosition = 16;

int32_t trunc32(double v) { return static_cast<int32_t>(v); }

}  // namespace

FrameDriver startFrameDriver(uint32_t tickNow) {
    FrameDriver d{};
    d.clock.lastTick = tickNow;
    d.rotoZoom = 256;
    return d;
}

void computeFrameParameters(FrameDriver& d) {
    // demoTime read as degrees, reduced to one turn and rounded to single precision.
    const float turn = static_cast<float>(std::fmod(static_cast<double>(d.clock.demoTime), 360.0));
    const double r = kDegreesToRadians * double(turn);
    d.angle = trunc32(portableSin(8 * r) * 360 * 256);
    d.rotoZoom = trunc32((portableCos(100 * r) + kZoomBias) * 256);  // 51 … 563
    // The step in 64 bits: a pause of a day (86 400 s) is 2.7·10^9, beyond int32.
    const int64_t step = static_cast<int64_t>(static_cast<double>(d.clock.frameStep) * 120 * 256);
    d.offsetX = static_cast<int32_t>((d.offsetX + step) % kOffsetXPeriod);
    d.offsetY = trunc32((portableSin(70 * r) * 200 + 100) * 256);
}

void followSongPosition(FrameDriver& d, int32_t p) {
    if (p > d.lastSongPosition && !d.songWrapped) d.scenePosition = p;
    if (p < d.lastSongPosition) d.songWrapped = true;
    d.lastSongPosition = p;
}

void computeLight(FrameDriver& d) {
    const double degrees = static_cast<double>(d.clock.demoTime);
    d.lightX = trunc32((portableSin(kDegreesToRadians * degrees * 20) * 60 + 160) * 256);
    d.lightY = trunc32((portableCos(kDegreesToRadians * degrees * 30) * 75 + 120) * 256);
}

void advanceFrameClock(FrameClock& c, uint32_t now) {
    // ms; unsigned, so a counter that wrapped past zero makes an ordinary step.
    const uint32_t elapsed = now - c.lastTick;
    if (elapsed == 0) return;  // the counter stands still
    const float step = static_cast<float>(static_cast<double>(elapsed) / 1000.0);
    c.demoTime = c.demoTime + step;
    c.frameStep = step;
    c.lastTick = now;
}

// The background layer: the rotozoomer, still before position 8, faded in over 63 frames.
static void drawBackground(FrameDriver& d, Demo& s) {
    if (d.scenePosition >= kRotationPosition)
        drawRotozoomer(s.rotozoomer, s.effectSurface, d.angle, d.rotoZoom, d.offsetX, d.offsetY, d.lightX, d.lightY);
    else
        drawRotozoomer(s.rotozoomer, s.effectSurface, 0, d.rotoZoom, 0, 0, d.lightX, d.lightY);  // the zoom still moves
    if (d.effectFade < 250) {
        d.effectFade += 4;
        blitFaded(s.effectSurface, s.workSurface, 0, 0, d.effectFade);
    } else {
        blit(s.effectSurface, s.workSurface, 0, 0, 0);
    }
}

// The logo into its canvas: faded in over 125 frames (the first shows nothing), then blended.
static void drawLogo(FrameDriver& d, Demo& s) {
    std::memset(s.logoSurface.pixels, 0, surfaceBytes(s.logoSurface));
    if (d.logoFade < 250) {
        blitFaded(s.logoBitmap, s.logoSurface, 32, 32, d.logoFade);
        d.logoFade += 2;
    } else {
        blit(s.logoBitmap, s.logoSurface, 32, 32, d.logoFade);
    }
}

void reportSilence(Demo& s) {
    if (s.silenceReported) return;
    const char* reason = s.player ? playerSilenceReason(*s.player) : nullptr;
    if (!reason) return;
    std::fprintf(stderr, "skr4mm3lb0d: no audio device (%s); the demo plays silently\n", reason);
    s.silenceReported = true;
}

void renderFrame(Demo& s) {
    FrameDriver& d = s.driver;
    const float frameStep = d.clock.frameStep;

    computeFrameParameters(d);
    if (s.feeding == PlayerFeeding::frames && s.player) feedPlayer(*s.player);
    followSongPosition(d, s.player ? getSongPosition(*s.player) : 0);
    reportSilence(s);

    std::memset(s.workSurface.pixels, 0, surfaceBytes(s.workSurface));
    if (d.scenePosition >= kBackgroundPosition) drawBackground(d, s);

    drawLogo(d, s);
    drawLogoWobble(s.logoWobble, s.logoSurface, frameStep);
    const int32_t logoX = s.workSurface.width / 2 - s.logoSurface.width / 2 + 16;
    drawLogoReflection(s.logoSurface, s.workSurface, logoX, s.logoSurface.height - 60);

    if (d.scenePosition >= kAnchorPosition) moveChainAnchor(s.chain, frameStep);
    if (d.scenePosition >= kChainPosition) {
        solveChain(s.chain, frameStep);
        drawChain(s.chain, s.workSurface);
    }
    computeLight(d);

    blit(s.logoSurface, s.workSurface, logoX, 0, 1);
    if (d.scenePosition >= kScrollerPosition) drawScroller(s.scroller, s.font, s.workSurface, frameStep);

    upscale2x(s.workSurface, s.frameSurface, 0, 0);
    platformPresent(s.frameSurface.pixels, s.frameSurface.width, s.frameSurface.height);
    advanceFrameClock(d.clock, platformTickCount());
}
