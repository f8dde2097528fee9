#include "player/effects.h"

#include "player/channel.h"
#include "player/module.h"

void effectRowTick(const EffectContext& e) {
    Channel& c = e.channel;
    if (e.cell.effectType == 12) {  // Cxx: not limited, a parameter above 64 plays louder
        c.volume = e.cell.effectParam;
        c.updateFlags |= kUpdateVolume;
    }
}

void effectOtherTick(const EffectContext&) {}

void applyVolumeColumn(Channel&, uint8_t) {}

void volumeColumnOtherTick(Channel&, uint8_t) {}
