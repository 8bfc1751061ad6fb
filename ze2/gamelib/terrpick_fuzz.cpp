// Fuzz target: the pickup shape file. Reads it into the pickup set and
// stamps and queries every shape it maps.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz.h"
#include "gamelib.h"
#include "zecore.h"
#include "zecore_local.h"
#include "zeps2.h"

namespace {

std::string g_dir;
constexpr int BUF = 4 << 20;
uint8_t* g_buf;

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  if (g_dir.empty()) {
    g_dir = FuzzDir();
    g_buf = static_cast<uint8_t*>(EeMalloc(BUF));
    errmsg_disabled = 1;
    errmsg_to_console = 0;
    ZeTrigInit();
  }
  FuzzWriteFile("PICKUPS.TER", data, size);
  PlatSetHostRoot(g_dir.c_str());
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  uint8_t* pos = g_buf;
  terrainpickupinit("PICKUPS", &pos, g_buf + BUF);
  // A level of one (skipped) section, made by the writer, to stamp into.
  TerrWriteSection sec{};
  sec.kind = 5;
  uint8_t image[128];
  int n = TerrWriteImage(image, sizeof image, &sec, 1, 0);
  if (n <= 0) return;
  FuzzWriteFile("LEVEL.TER", image, size_t(n));
  TerrSet* set = terraininit(0, &pos, g_buf + BUF, 0, "LEVEL", nullptr, 0);
  if (!set) return;
  TerrainSetCur(set);
  ZEMTX live, old;
  ZeMtxSetIdentity(&live);
  ZeMtxSetIdentity(&old);
  for (int id = 0; id < TERR_SHAPE_IDS; id++) {
    if (PickupTerr->map[id] < 0) continue;
    ZEVEC at = {float(id % 8), 0, float(id / 8)};
    AddPickupTerr(id, &at);
    int k = AddPickupTerrRot(id, &live, &old, id & 1);
    ReassignPickupInst(k, id);
    ZEVEC s = {at.x, 2, at.z}, v = {0.1f, -4, 0};
    NewRayCast(&s, &v, 0, 0.2f);
    uint8_t info[2] = {};
    ZEVEC q = s, vel = {0, -3, 0};
    NewTerrain(&q, &vel, info, -1, 0, 0.001f, 0.25f);
  }
  TerrainPlatformOldUpdate();
}

void FuzzReset() {
  noterraininit();
  PickupTerr = nullptr;
  ZeScratchReset();
  ZeFileReset();
  errmsg_trap = 0;
}
