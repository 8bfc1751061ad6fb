// Stand-ins for cut scenes, trigger volumes and dialogue: none exist.
#include "standins.h"

void AppCutSceneSysInit() {}
void ZeTriggerSysInit() {}
void ZeTriggerSysUpdate(const ZEVEC*, int, float) {}
void ZeTriggerSysRender() {}
void ZeGCutSceneSysUpdate(int) {}
void ZeGCutSceneSysRender() {}
void InitDialog(ZEFNT*, char**, char*) {}
void ProcessDialog() {}
void DrawDialog() {}
void instZeGCutSceneStop(void*) {}
void ZeGCutSceneSysPostBackgroundLoad() {}
void ZeTriggerSysPostBackgroundLoad() {}
void ZeGCutSceneSysBackgroundFlush() {}
void ZeTriggerSysBackgroundFlush() {}
void* GetScriptLevel() { return nullptr; }

// A level's trigger volumes, cut-scene list and script: none are loaded.
void* ZeTriggerSysLoad(const char*, char**, char*) { return nullptr; }
void* LoadLevelCutScenes(const char*, const char*, ZEGSCENE*, void*, char**, char*, int, int) { return nullptr; }
void DestroyLevelCutScenes(void*) {}
void* ZeScriptSetLoadBuff(const char*, char**, char*) { return nullptr; }
void* instZeTriggerSysCreate(void*, ZEGSCENE*, void*, char**, char*, int) { return nullptr; }
void instZeTriggerSysDestroy(void*) {}
void instZeGCutSceneServiceLoad() {}
