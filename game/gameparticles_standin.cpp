// Stand-in for the simple game particles (camera-facing sprites that level
// code adds): there is no pool, so closing it does nothing.
#include "standins.h"

void CloseParticles() {}
