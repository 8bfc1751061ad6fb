// Fuzz target: a level's collision file with its crash data. Loads it into
// a terrain set, builds the special terrain for a scene of 16 instances and
// runs a few of every query over it.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz.h"
#include "gamelib.h"
#include "zecore.h"
#include "zecore_local.h"
#include "ze3d.h"
#include "zeps2.h"

namespace {

std::string g_dir;
constexpr int BUF = 4 << 20;
uint8_t* g_buf;
ZEGSCENE* g_scene;

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  if (g_dir.empty()) {
    g_dir = FuzzDir();
    g_buf = static_cast<uint8_t*>(EeMalloc(BUF));
    auto* insts = static_cast<ZEGSCNINST*>(EeMalloc(sizeof(ZEGSCNINST) * 16));
    memset(insts, 0, sizeof(ZEGSCNINST) * 16);
    for (int i = 0; i < 16; i++) ZeMtxSetIdentity(&insts[i].mtx), insts[i].flags = 5;
    g_scene = static_cast<ZEGSCENE*>(EeMalloc(sizeof(ZEGSCENE)));
    g_scene->ninst = 16;
    g_scene->insts = insts;
    errmsg_disabled = 1;
    errmsg_to_console = 0;
    ZeTrigInit();
  }
  FuzzWriteFile("FUZZ.TER", data, size);
  PlatSetHostRoot(g_dir.c_str());
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  uint8_t* pos = g_buf;
  TerrSet* set = terraininit(0, &pos, g_buf + BUF, 0, "FUZZ", g_scene, 0);
  if (!set) return;
  TerrainSetCur(set);
  SpecialTerrainSetCur(CreateSpecialTerrainData(g_scene, &pos, g_buf + BUF));
  ZeMtxSetIdentity(&global_camera.mtx);
  TerrainPlatformOldUpdate();
  TerrainPlatformNewUpdate();
  for (int k = 0; k < 4; k++) {
    ZEVEC p = {float(k) - 1.5f, 1.0f, 0.5f * float(k)}, v = {0.3f, -2.0f, 0.2f};
    NewShadow(&p, 0xFF, 0, 0.5f);
    NewRayCast(&p, &v, 0, 0.1f * float(k));
    uint8_t info[2] = {};
    ZEVEC q = p, vel = {0.2f, -0.5f, 0.1f};
    NewTerrain(&q, &vel, info, -1, 0, 0.001f, 0.3f);
    NewTerrainScaleY(&q, &vel, info, -1, 1, 0, 0.001f, 0.3f, 1.5f);
    uint32_t value;
    ZEVEC n;
    SpecialTerrainCollideCheck(&p, &n, &value, 0.5f);
  }
  NewScanInit();
  ZEVEC s = {0, 2, 0}, v = {1, -3, 1};
  if (TerrScanHandle h = NewScanHandel(&s, &v, 1, nullptr, 0.2f)) NewRayCastSetHandel(&s, &v, h, 0xFF, 0.2f, 0.01f, 1e-5f);
}

void FuzzReset() {
  noterraininit();
  SpecialTerrainSetCur(nullptr);
  ZeScratchReset();
  ZeFileReset();
  errmsg_trap = 0;
}
