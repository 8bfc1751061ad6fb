// Fuzz target: the grass page loader. Reads the input as a grass page into
// a level buffer, starts it (wind and fade groups), runs a frame of sway and
// clears it.
#include "dressing_fuzz.h"
#include "edtools.h"
#include "fuzz.h"

namespace {

DressFuzz g;

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  g.Start();
  g.File("GRASS.DAT", data, size);
  edgraClumpsReset();
  ZeWindInit();
  ZeFadeObjInit();
  ZeMtxSetIdentity(&global_camera.mtx);
  uint8_t* cursor = g.buf;
  int page = edgraLoadPage("GRASS.DAT", g.scene, &cursor, g.buf + DressFuzz::BUF);
  if (page < 0) return;
  if (cursor > g.buf + DressFuzz::BUF) abort();
  edgraStartPage(page);
  for (ZeWindGrp& w : ZeWindGroup) w.drawn = 1;
  ZEVEC player = {0, 0, 0};
  ZeWindUpdate(&player);
  ZeFadeObjUpdate(&player);
  edgraClearPage(page);
}

void FuzzReset() {
  EdFileClose();
  edgraClumpsReset();
  ZeScratchReset();
  ZeFileReset();
  errmsg_trap = 0;
}
