// Stand-in for the in-game editor host until it is built: never active,
// and the game character's position is not kept.
#include "gamelib.h"

int edbits_editmode = 0;
void edmainRegisterLocVec(const ZEVEC*) {}
