#include "player/envelopes.h"

#include "player/channel.h"
#include "player/module.h"

void stepVolumeEnvelope(Channel&, const Instrument&) {}
void stepPanningEnvelope(Channel&, const Instrument&) {}
void setEnvelopePosition(Channel&, const Instrument&, uint8_t) {}

void fadeOut(Channel& c, const Instrument& instrument) {
    c.fadeoutVolume -= instrument.volumeFadeout;
    if (c.fadeoutVolume < 0) c.fadeoutVolume = 0;
    c.updateFlags |= kUpdateVolume;
}

void autoVibrato(Channel& c, const Instrument&) { c.updateFlags |= kUpdatePitch; }
