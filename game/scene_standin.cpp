// Stand-ins for the scene and character model's game services: nothing
// is loaded or drawn.
#include "standins.h"

char texanimfilename[256];
int texanimbuffsize;

void InitCobs(void*) {}
void CloseCobs() {}
void AddCobType(int) {}
void CobJointAnimStartFrame() {}
int DrawCobs(ZECAMERA*, int) { return 0; }
void CobDefaultShadowBrightness(int) {}
void TimeBasedRenderInit() {}
void TBRDrawCobs(ZEMTL*, int) {}
void DrawTimeBasedObjects(ZEMTL*, int) {}
void TBRManage() {}
void TBRDebug(ZEMTL*, int) {}
ZEGSCENE* pickup_gscene;
void* game_cobinfo;
void AddCobTypeSetMemoryPointers(char**, char*, void*, void*, const char*) {}
void InitialisePersistantVehicleCobs() {}
void InitialisePersistantVehicleCobs2() {}
