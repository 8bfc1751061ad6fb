// Stand-ins for the level controller, the background loader and level
// drawing: nothing is loaded and no level becomes current.
#include "standins.h"

int lcoplog_enabled, multithreaded = 1;
void* levcon_remap_mtx;
void* editor_remap_mtx;

void LevConSysClose() {}
void LevConProcess() {}
void LevConReset() {}
void LevConSetName(const char*, int, int) {}
void LevConSaveStartInfo() {}
void LevConUpdateScenes() {}
void LevConRender(const ZEVEC*) {}
void LevConRenderWater() {}
void BGLoadInhibit(int, int) {}
void BGSuspendMain() {}
void PlacementSysInit() {}
void PlacementSysClose() {}
void LoadTrigInit() {}
void LoadTelepads() {}
void ProcessTeleport() {}
void RenderTeleport() {}
int LevConIsCurrent(const char*) { return 0; }
int LevConLevelShown(void*) { return 0; }
int LevConCurrentOutdoor() { return 1; }
