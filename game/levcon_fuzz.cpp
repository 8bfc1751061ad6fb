// Fuzz target: a universe file read as the level controller reads it, then
// looked through by name and for visibility between every pair of levels.
#include "gamefile_fuzz.h"
#include "levcon.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void FuzzOne(const uint8_t* data, size_t size) {
  gamefuzz::Begin();
  FuzzWriteFile("t.uni", data, size);
  strcpy(levcon_uni_name, "t.uni");
  LevConSysInit();
  for (int i = 0; i < levcon_num_levels; i++) {
    LevConLevel& l = levels[i];
    if (l.info.Name && LevConFindByName(l.info.Name) == nullptr) abort();
    for (int j = 0; j < levcon_num_levels; j++) LevConIsVisible(&l.info, &levels[j].info);
    LevConIsInfoInList(&l.info, &levels[0].info);
  }
  for (int i = 0; i < levcon_num_worlds; i++) {
    LevConFindWorldByName(worlds[i].info.Name);
    LevConIsVisible(&worlds[i].info, &GlobalInfo);
  }
  char out[600];
  current_level = levcon_num_levels ? &levels[0] : nullptr;
  LevConGetCurrentFullName(out);
  current_level = nullptr;
}

void FuzzReset() { gamefuzz::Reset(); }
