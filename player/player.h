#pragma once
// The module player as the demo host sees it: load the embedded song, start it, ask where it is.
#include <cstdint>

struct Module;  // a loaded song

// Loads the song through the installed stream callbacks; nullptr when it cannot be loaded.
Module* loadModule(const char* name);

// Starts playback on the audio device; false when there is no song or no device.
bool startPlayer(Module* module);

// Position in the order list of the music audible now (0…255); 0 without a song.
int32_t getSongPosition(const Module* module);
