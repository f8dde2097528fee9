#include "effects/rotozoomer.h"

RotozoomerState& rotozoomer() {
    static RotozoomerState state{256};
    return state;
}

void initRotozoomer() {}

void drawRotozoomer(Surface&, int32_t, int32_t, int32_t, int32_t, int32_t) {}
