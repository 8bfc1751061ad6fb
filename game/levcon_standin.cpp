// Stand-ins for the universe, the level controller, the background loader
// and level drawing: the universe holds no level and nothing is loaded.
#include "standins.h"

int lcoplog_enabled, multithreaded = 1;
void* levcon_remap_mtx;
void* editor_remap_mtx;

void LevConSysInit() {}
void LevConSysClose() {}
void LevConProcess() {}
void LevConReset() {}
void LevConSetName(const char*, int, int) {}
void LevConSaveStartInfo() {}
void LevConUpdateScenes() {}
void LevConRender(const ZEVEC*) {}
void LevConRenderWater() {}
void* LevConFindLevelByName(const char*) { return nullptr; }
int* LevConLevelProgress(void*) {
  static int none;
  return &none;
}
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
