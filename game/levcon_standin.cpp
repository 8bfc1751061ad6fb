// Stand-ins for the level controller, the background loader and level
// drawing: nothing is loaded and no level becomes current.
#include "standins.h"

void* editor_remap_mtx;

void PlacementSysInit() {}
void PlacementSysClose() {}
void LoadTelepads() {}
void ProcessTeleport() {}
void RenderTeleport() {}
int LevConCurrentOutdoor() { return 1; }
void* GetTeleportWorld() { return nullptr; }
void* GetTeleportIsland() { return nullptr; }
void* GetTeleportLevel() { return nullptr; }
