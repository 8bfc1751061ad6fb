// Stand-in for the rain until it is built: nothing to draw.
#include "gamelib.h"

void ZeRainDraw(int) {}
