// Stand-in for the scene runtime, which is not built yet: the few fields of
// a loaded scene and its instances that collision reads (instance count,
// world matrix, flags, override matrix). The scene library replaces this
// file with its own records of the same names.
#pragma once

#include <cstdint>

#include "platform.h"
#include "zemath.h"

struct ZEGSCNINST {
  ZEMTX matrix;                 // world matrix
  uint32_t flags;               // bit 0 enabled; bit 2 special terrain tested
  EePtr<ZEMTX> override_matrix; // when set: drawn and collided with this matrix
  uint32_t pad[2];
};

struct ZEGSCENE {
  int32_t ninstances;
  EePtr<ZEGSCNINST> instances;
};
