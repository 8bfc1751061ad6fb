// Stand-in for the game's sound-effect table: no sound files.
#include "standins.h"

void* sfx_fileinfo;

void InitSFXTab() {}
