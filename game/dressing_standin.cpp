// Stand-ins for what the particle system, collision and rain do not give
// the game yet: nothing moves and nothing is drawn.
#include "standins.h"

void CloseParticles() {}
void ZeRainProcess(int) {}
void ZeRainSetFall(float) {}
float NewShadow(const ZEVEC*) { return 2000000.0f; }
void AddFiniteShotDebrisEffect(const char*, const ZEVEC*) {}
void terrainpickupinit(const char*, char**) {}
