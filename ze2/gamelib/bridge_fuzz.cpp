// Fuzz target: the bridge page loader. Reads the input as a bridge page,
// starts its bridges on a level with a plank platform, runs a few frames
// with the player on the span and clears the page.
#include "dressing_fuzz.h"
#include "edtools.h"
#include "fuzz.h"

namespace {

DressFuzz g;

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  g.Start();
  // A level with one plank platform (scene instance 3).
  TerrWritePoly quad{};
  quad.quad = 1;
  quad.v[0] = {-1, 0, -1}, quad.v[1] = {1, 0, -1}, quad.v[2] = {-1, 0, 1}, quad.v[3] = {1, 0, 1};
  quad.na = quad.nb = {0, 1, 0};
  TerrWriteGroup group = {&quad, 1};
  TerrWriteSection sec{};
  sec.kind = 1, sec.instance = 3, sec.groups = &group, sec.ngroups = 1;
  if (TerrWriteFile("LEVEL.TER", &sec, 1, 0) != 1) abort();
  g.File("BRIDGE.DAT", data, size);
  uint8_t* pos = g.buf;
  TerrSet* set = terraininit(0, &pos, g.buf + DressFuzz::BUF, 0, "LEVEL", g.scene, 0);
  if (!set) return;
  TerrainSetCur(set);
  ZeBridgeInit();
  ZeMtxSetIdentity(&global_camera.mtx);
  global_camera.farclip = 1000;
  int page = edbriLoadPage("BRIDGE.DAT", g.scene);
  if (page < 0) return;
  edbriStartPage(page);
  for (int k = 0; k < BRIDGE_MAX; k++) Bridges[k].visible = 1, Bridges[k].touched = 5;
  ZEVEC player = {1, 0, 0};
  for (int f = 0; f < 4; f++) ZeBridgeUpdate(&player);
  edbriClearPage(page);
}

void FuzzReset() {
  EdFileClose();
  ZeBridgeInit();
  edbriReset();
  noterraininit();
  ZeScratchReset();
  ZeFileReset();
  errmsg_trap = 0;
}
