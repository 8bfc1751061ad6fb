// Stand-in for the start-up settings the game-flow set-up reads (not built
// yet): edit mode off.
#include "gameflow.h"

int game_editmode;
