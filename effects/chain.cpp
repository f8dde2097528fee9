#include "effects/chain.h"

void initChain() {}
void moveChainAnchor(float) {}
void solveChain(float) {}
void drawChain(Surface&) {}
