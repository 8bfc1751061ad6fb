// Stand-ins for what the particle system and collision do not give
// the game yet: nothing moves and nothing is drawn.
#include "standins.h"

void CloseParticles() {}
float NewShadow(const ZEVEC*) { return 2000000.0f; }
void AddFiniteShotDebrisEffect(const char*, const ZEVEC*) {}
void terrainpickupinit(const char*, char**) {}
