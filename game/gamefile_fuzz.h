// Shared by the game's file fuzz targets: errors kept quiet, the engine's
// files started once over the fuzz host directory, and started afresh after
// each input.
#pragma once

#include "fuzz.h"
#include "zecore_local.h"

namespace gamefuzz {

inline bool started;

// Before each input. True the first time, when the target makes what it
// keeps for the whole run.
inline bool Begin() {
  errmsg_disabled = 1;
  errmsg_to_console = 0;
  if (started) return false;
  started = true;
  PlatSetHostRoot(FuzzDir().c_str());
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  return true;
}

// After each input, a fatal end included.
inline void Reset() {
  ZeFileReset();
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  errmsg_trap = 0;
}

}  // namespace gamefuzz
