// The water surface: the water-level pass.
#include "zelgt_local.h"

void ZeRndrWater(int) {}
