#include "effects/scroller.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "effects/degrees.h"
#include "effects/font.h"
#include "maths/portable_math.h"

void initScroller(ScrollerState& scroller, std::string_view text) { scroller = ScrollerState{text, 0}; }

void drawScroller(ScrollerState& s, FontState& font, Surface& work, float frameStep) {
    // In 64 bits and held at the top of the range: after twelve days (or one absurdly long
    // step) the text is long gone, and the position must not wrap around to bring it back.
    const int64_t advanced = int64_t(s.scrollPosition) + static_cast<int64_t>(double(frameStep) * 8 * 256);
    s.scrollPosition = int32_t(std::min<int64_t>(advanced, std::numeric_limits<int32_t>::max()));
    if (s.scrollText.empty()) return;

    // Left edge of the first character: 256 minus 3/64 of the scroll position, 96 pixels per
    // second. In 64 bits, since scrollPosition · 3072 leaves 32 bits after 341 s of scrolling.
    int32_t x = 256 - int32_t((int64_t(s.scrollPosition) * 3072) >> 16);
    const double phase = s.scrollPosition / 256.0 * 32;  // degrees, 256 per second
    const int32_t advance = font.glyphWidth + 4;

    for (size_t i = 0; i < s.scrollText.size(); ++i, x += advance) {
        // The wave is needed only where the character can show; skipping it elsewhere changes
        // nothing drawn, and saves three sines and cosines for all but a few of the 825.
        if (!(x > -32 && x < work.width)) continue;
        // Neighbours lie 40 degrees apart on the wave.
        const float a = static_cast<float>((40.0 * double(i) + phase) * kDegreesToRadians);
        const double ad = double(a);
        const float wave = static_cast<float>(20 * portableCos(ad / 2) + 5 * portableSin(ad / 4) * portableSin(2 * ad));
        const int32_t y = static_cast<int32_t>(wave) + 170;
        if (y > -32 && y < work.height) drawGlyph(font, s.scrollText[i], work, x, y);
    }
}
