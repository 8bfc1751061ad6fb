// Fuzz target: the light-set loader. The input is a light-set file; it is
// inserted twice (so that the second set meets a fuller table), the active
// list is built for a few frames with the input's bytes as the random
// table, both searches run at a few places, and the sets are removed.
#include <cstring>

#include "coblib.h"
#include "fuzz.h"
#include "gamelib.h"
#include "zecore_local.h"

namespace {

std::string g_dir;
uint8_t g_random[256];

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  if (g_dir.empty()) {
    g_dir = FuzzDir();
    errmsg_disabled = 1;
    errmsg_to_console = 0;
    ZeTrigInit();
  }
  FuzzWriteFile("LEVEL.LGT", data, size);
  PlatSetHostRoot(g_dir.c_str());
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  InitLights();
  memset(g_random, 0, sizeof g_random);
  memcpy(g_random, data, size < sizeof g_random ? size : sizeof g_random);
  const int a = InsertLightSet("LEVEL.LGT");
  const int b = InsertLightSet("LEVEL.LGT");
  ZEMTX ref;
  ZeMtxSetIdentity(&ref);
  COBLIGHTS rec;
  InitLight(&rec);
  LIGHTSAMPLE sample;
  for (int frame = 0; frame < 4; frame++) {
    randtab_ptr = g_random + frame * 8;
    ProcessFlicker(&ref, 0, frame & 1, 0);
    for (int k = 0; k < 4; k++) {
      // Places around the camera, the lights themselves among them.
      ZEVEC at = {float(k * 3 - 4), 0, float(frame - 2)};
      if (k == 3 && alightcount > 2) at = ActiveLights[2]->pos;
      SearchLights(&ref, &at, &rec, frame == 0 && k == 0);
      SearchLightsBasic(&ref, &at, &sample);
      SearchLightsBasic(&ref, &at, nullptr);
    }
    if (frame == 1) DisableLightSet(a);
    if (frame == 2) EnableLightSet();
  }
  RemoveLightSet(a);
  RemoveLightSet(b);
}

void FuzzReset() {
  randtab_ptr = nullptr;
  ZeFileReset();
  errmsg_trap = 0;
}
