// Fuzz target: a ".ltd" file read as an island's load triggers, then asked
// for the level choice at a few points, written back and read again.
#include "gamefile_fuzz.h"
#include "levcon.h"

#include <cstdio>
#include <cstdlib>

void FuzzOne(const uint8_t* data, size_t size) {
  gamefuzz::Begin();
  FuzzWriteFile("t.ltd", data, size);
  LoadTrigInit();
  int key = LoadTrigRead("t.ltd", nullptr);
  const ZEVEC points[] = {{0, 0, 0}, {10, 1, -5}, {-100, 50, 100}};
  for (const ZEVEC& p : points) {
    LevConLevel *level = nullptr, *preload = nullptr, *show = nullptr;
    int label, sem;
    LoadTrigCheckBounds(key, &p, &level, &preload, &show, &label, &sem);
  }
  loadtrig_edit_set = key;
  snprintf(loadtrig_sets[key].filename, sizeof loadtrig_sets[key].filename, "w.ltd");
  if (LoadTrigWrite()) LoadTrigRead(nullptr, nullptr);
}

void FuzzReset() { gamefuzz::Reset(); }
