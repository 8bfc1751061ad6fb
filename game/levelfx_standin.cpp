// Stand-ins for the level-effect table and the conflict core: no level
// effects, no conflicts.
#include "standins.h"

void InitLevelFx() {}
void LevelFxReset() {}
void LevelFxPlatMove(int) {}
void LevelFxProcess(int, int) {}
void LevelFxRender(int) {}
void ConCoreInit() {}
void ConCoreClose() {}
void ConCoreProcess(int) {}
void ConCoreRender3D() {}
void ConCoreRender2D() {}
void ConCoreBGLoad(void*, int) {}
void LevelFxInit(void*) {}
void LevelFxCloseLevel(void*) {}
void LevelFxBGInit(void*, char**, char*) {}
void LevelFxLifeLost() {}
int PLAYER_USING_POD;
