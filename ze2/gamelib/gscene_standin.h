// Stand-in for the scene runtime, which is not built yet: the loaded
// scene's instance table as collision reads it, and the override matrix of
// an instance, which the scene runtime will set (none yet). The scene
// library replaces this file.
#pragma once

#include <cstdint>

#include "platform.h"
#include "ze3d.h"

struct ZEGSCENE {
  int32_t ninstances;
  EePtr<ZEGSCNINST> instances;
};

// The matrix an instance is drawn and collided with in place of its own:
// none until the scene runtime exists.
inline ZEMTX* ZeGScnInstOverride(const ZEGSCNINST*) { return nullptr; }
