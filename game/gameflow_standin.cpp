// Stand-ins for the game-flow program: none is loaded, none runs.
#include "standins.h"

int gameflowlog_enabled;
void* gameflow_prog;

void InitGameFlow(const char*, char**, char*) {}
void gfcRunProgram(void*) {}
void gfcDisasm(void*, ZEPAD*) {}
