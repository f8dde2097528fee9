#pragma once
// Where the frame goes on a screen that has no mode of the frame's size: scaled by the largest
// whole factor that fits, centred, so every frame pixel is a sharp factor × factor block.
#include <algorithm>

#include "platform/platform.h"

// The frame of frameWidth × frameHeight on a screen of screenWidth × screenHeight pixels: factor
// f = the largest with f·frameWidth ≤ screenWidth and f·frameHeight ≤ screenHeight, at least 1
// (a screen smaller than the frame cuts its edges), centred with the odd pixel on the right and
// at the bottom.
inline PresentArea scaledFrameArea(int screenWidth, int screenHeight, int frameWidth, int frameHeight) {
    const int factor = std::max(1, std::min(screenWidth / frameWidth, screenHeight / frameHeight));
    const int width = frameWidth * factor;
    const int height = frameHeight * factor;
    // Halving a negative difference truncates toward zero: the frame then sticks out equally,
    // give or take the odd pixel.
    return {(screenWidth - width) / 2, (screenHeight - height) / 2, width, height};
}
