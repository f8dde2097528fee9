#pragma once
// A frame shown on a larger screen without a mode of its size: each frame pixel becomes a sharp
// f × f block (nearest neighbour, f whole), black everywhere around. Used where the backend
// writes the screen's pixels itself.
#include <cstdint>

#include "platform/platform.h"

// Writes every pixel of a screen of screenWidth × screenHeight 32-bit pixels, rows screenPitch
// bytes apart: the frame (frameWidth × frameHeight 32-bit pixels, rows packed) scaled by
// f = area.width / frameWidth into `area`, 0 (black) outside it. Frame words are copied as they
// are, so both sides must share one 32-bit layout. Parts of `area` off the screen are cut.
void drawFrameScaled(const uint8_t* frame, int frameWidth, int frameHeight, uint8_t* screen, int screenWidth,
                     int screenHeight, int screenPitch, PresentArea area);
