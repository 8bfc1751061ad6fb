// Stand-ins for level help: no level has help.
#include "standins.h"

int LoadLevelHelp(const char*, char**, char*, int) { return -1; }
void RemoveLevelHelp(int) {}
void SetLevelHelp(int) {}
