// Shared by ze3d's file fuzz targets: the renderer is started once over the
// fuzz host directory; the texture table, the material pool and the
// texture-animation lists are started afresh for each input, so that what a
// refused input registered goes with them; the input becomes the host file
// the loader reads.
#pragma once

#include "fuzz.h"
#include "ze3d.h"
#include "zecore_local.h"

namespace ze3dfuzz {

inline bool started;
inline char* texBuf;
inline char* mtlBuf;
constexpr int TEXTURES = 512, MATERIALS = 1024;

// Starts what the loaders need (once) and writes the input as the host
// file NAME.
inline void Begin(const char* name, const uint8_t* data, size_t size) {
  if (!started) {
    started = true;
    texBuf = static_cast<char*>(EeMalloc(size_t(ZeTexGetSysBuffSize(TEXTURES)) + 16));
    mtlBuf = static_cast<char*>(EeMalloc(size_t(ZeMtlGetSysBuffSize(MATERIALS)) + 16));
    errmsg_disabled = 1;
    errmsg_to_console = 0;
    FuzzDir();
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    ZePs2Init();
    ZePs2InitVideo(640, 224, PSMCT32, PSMZ24, 2);
    ZePs2InitVU();
    ZeTrigInit();
    ZeVpInit();
    GenerateGammaTable(1.0f, 1.0f);
  } else {
    ZeMtlClose();
    ZeTexClose();
  }
  char* p = texBuf;
  ZeTexInitEx(&p, TEXTURES);
  p = mtlBuf;
  ZeMtlInitEx(&p, MATERIALS);
  ZeTexAnimProgSysInit();
  FuzzWriteFile(name, data, size);
  zefile_try_packed = 0;
}

// After each input, a fatal end included.
inline void Reset() {
  ZeFileBlkReset();
  ZeFileReset();
  errmsg_trap = 0;
}

}  // namespace ze3dfuzz
