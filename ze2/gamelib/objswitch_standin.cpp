// Stand-in for the world objects' switch bytes until they are built: every
// switch off.
#include "gamelib.h"

uint8_t object_switches[256];
