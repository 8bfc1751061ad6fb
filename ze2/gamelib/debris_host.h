// For the particle system's fuzz target and benchmark: the renderer started
// as the program starts it (video, VU1, textures and materials for 64 each)
// and an arena block for the particle pools; the particle texture's file.
#pragma once

#include <cstring>
#include <vector>

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

// The bytes of "gfx\particle.pnt" as the tests and targets use it: native
// data of a small 32-bit texture of texels 1.0 (128 in every channel, alpha
// uploaded unhalved), so that it leaves the particles' colours as they are;
// made and recovered through the texture table (which must be started).
inline std::vector<uint8_t> DebrisParticleTexture() {
  auto* texels = static_cast<uint8_t*>(ZeMemAlloc(16 * 16 * 4));
  memset(texels, 128, 16 * 16 * 4);
  ZETEX img = {ZETEX_RGBA32, 16, 16, 1, texels, nullptr};
  const int was = zetex_force_overbrighten;
  zetex_force_overbrighten = 1;
  ZETEXID id = ZeTexCreate(&img);
  zetex_force_overbrighten = was;
  std::vector<uint8_t> native(8192);
  int n = ZeTexRecoverNativeData(id, native.data(), int(native.size()));
  ZeTexDestroy(id);
  ZeMemFree(texels);
  native.resize(size_t(n > 0 ? n : 0));
  return native;
}
