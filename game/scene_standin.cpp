// Stand-ins for the scene and character model's game services: nothing
// is loaded or drawn.
#include "standins.h"

char texanimfilename[256];
int texanimbuffsize;

ZEGSCENE* pickup_gscene;
void InitialisePersistantVehicleCobs() {}
void InitialisePersistantVehicleCobs2() {}
