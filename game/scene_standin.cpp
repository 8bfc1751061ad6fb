// Stand-ins for the scene and character model's game services: nothing
// is loaded or drawn.
#include "standins.h"

char texanimfilename[256];
int texanimbuffsize;

void TimeBasedRenderInit() {}
void TBRDrawCobs(ZEMTL*, int) {}
void DrawTimeBasedObjects(ZEMTL*, int) {}
void TBRManage() {}
void TBRDebug(ZEMTL*, int) {}
ZEGSCENE* pickup_gscene;
void InitialisePersistantVehicleCobs() {}
void InitialisePersistantVehicleCobs2() {}
