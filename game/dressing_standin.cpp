// Stand-ins for the particle system, platforms and world dressing: nothing
// moves and nothing is drawn.
#include "standins.h"

void CloseParticles() {}
void TerrainPlatformOldUpdate() {}
void TerrainPlatformNewUpdate() {}
void ZeBridgeUpdate(const ZEVEC*) {}
void ZeBridgeDraw(ZEMTL*) {}
void ZeWindInit() {}
void ZeWindUpdate(const ZEVEC*) {}
void ZeWindDraw() {}
void ZeFadeObjInit() {}
void ZeFadeObjUpdate(const ZEVEC*) {}
void ZeFadeObjDraw() {}
void ZeRainProcess(int) {}
void ZeRainSetFall(float) {}
float NewShadow(const ZEVEC*) { return 2000000.0f; }
void AddFiniteShotDebrisEffect(const char*, const ZEVEC*) {}
void terrainpickupinit(const char*, char**) {}
void edgraClumpsReset() {}
