// The fast rasteriser (placeholder until written): every primitive takes
// the reference path.
#include "gs_local.h"

bool GsFastTriangle(const GsDrawEnv&, const GsTri&, const GsSetup&) { return false; }
bool GsFastSprite(const GsDrawEnv&, int, int, int, int, const GsSetup&) { return false; }
void GsFastReset() {}
