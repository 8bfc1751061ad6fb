// Stand-in for the game's own game-flow commands (not built yet): none are
// registered, so a program may use only the built-in commands.
#include "gameflow.h"

void InitGameFlowCommands() {}
