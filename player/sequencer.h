#pragma once
// The row and tick sequencer: reads pattern rows, runs the effects and envelopes, and sets the
// voices' pitch, volume and panning once per tick.
struct Module;

// One tick of the module's playback state; the render loop calls it every framesPerTick frames
// through the module's tickCallback.
void sequencerTick(Module& module);
