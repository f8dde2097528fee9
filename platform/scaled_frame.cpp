#include "platform/scaled_frame.h"

#include <algorithm>
#include <cstring>

namespace {

// One screen row inside the area: black, the frame row's pixels each repeated `factor` times
// from screen column x0 to x1, black. Most of the presentation's time is spent here.
void scaleRow(const uint8_t* frameRow, uint8_t* screenRow, int screenWidth, int areaX, int factor, int x0, int x1) {
    std::memset(screenRow, 0, size_t(x0) * 4);
    int source = (x0 - areaX) / factor;
    int left = factor - (x0 - areaX) % factor;  // copies of `source` still due at x0
    uint8_t* out = screenRow + size_t(x0) * 4;
    for (int x = x0; x < x1; x += left, left = factor, ++source) {
        uint32_t pixel;
        std::memcpy(&pixel, frameRow + size_t(source) * 4, 4);
        const int copies = std::min(left, x1 - x);
        for (int k = 0; k < copies; ++k, out += 4) std::memcpy(out, &pixel, 4);
    }
    std::memset(screenRow + size_t(x1) * 4, 0, size_t(screenWidth - x1) * 4);
}

}  // namespace

void drawFrameScaled(const uint8_t* frame, int frameWidth, int frameHeight, uint8_t* screen, int screenWidth,
                     int screenHeight, int screenPitch, PresentArea area) {
    const int factor = std::max(1, area.width / frameWidth);
    const int height = std::min(area.height, frameHeight * factor);
    const int width = std::min(area.width, frameWidth * factor);
    const int x0 = std::clamp(area.x, 0, screenWidth);
    const int x1 = std::clamp(area.x + width, x0, screenWidth);
    const uint8_t* previousRow = nullptr;  // the screen row drawn from the same frame row just above
    int previousSource = -1;
    for (int y = 0; y < screenHeight; ++y) {
        uint8_t* row = screen + size_t(y) * screenPitch;
        const int fy = y - area.y;
        if (fy < 0 || fy >= height || x0 == x1) {
            std::memset(row, 0, size_t(screenWidth) * 4);
            previousRow = nullptr;
            continue;
        }
        // The f rows of one frame row are alike: the first is scaled, the rest copied from it.
        const int source = fy / factor;
        if (previousRow && source == previousSource)
            std::memcpy(row, previousRow, size_t(screenWidth) * 4);
        else
            scaleRow(frame + size_t(source) * frameWidth * 4, row, screenWidth, area.x, factor, x0, x1);
        previousRow = row;
        previousSource = source;
    }
}
