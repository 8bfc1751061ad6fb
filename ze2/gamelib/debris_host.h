// For the particle system's fuzz target and benchmark: the renderer started
// as the program starts it (video, VU1, textures and materials for 64 each)
// and an arena block for the particle pools.
#pragma once

#include "gamelib.h"

inline char* DebrisHostStart() {
  ZePs2Init();
  ZePs2InitVideo(640, 224, PSMCT32, PSMZ24, 2);
  ZePs2InitVU();
  ZeTrigInit();
  ZeVpInit();
  char* p = static_cast<char*>(ZeMemAlloc(ZeTexGetSysBuffSize(64) + 16));
  ZeTexInitEx(&p, 64);
  no_default_font = 1;
  ZeRndrInitEx(ZERNDRSTREAM_DEFAULT_BUFFER);
  p = static_cast<char*>(ZeMemAlloc(ZeMtlGetSysBuffSize(64) + 16));
  ZeMtlInitEx(&p, 64);
  return static_cast<char*>(ZeMemAlloc(2 << 20));
}
