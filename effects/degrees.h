#pragma once
// Angles in the effects and the frame driver's animation are degrees. They become radians
// through the single-precision factor 0.017453292f, whose value 0.01745329238474369 enters every
// product in double precision.
inline constexpr double kDegreesToRadians = double(0.017453292f);
