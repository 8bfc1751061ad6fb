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
