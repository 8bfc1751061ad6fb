// Fuzz target: the bridge page loader. Reads the input as a bridge page,
// starts its bridges on a level with a plank platform, runs a few frames
// with the player on the span and clears the page.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "edtools.h"
#include "fuzz.h"
#include "gamelib.h"
#include "zecore.h"
#include "zecore_local.h"
#include "zeps2.h"

namespace {

std::string g_dir;
constexpr int BUF = 1 << 20;
uint8_t* g_buf;
ZEGSCENE* g_scene;

int Lookup(const char* name, const ZEGSCENE*) { return name[0] ? (name[0] & 7) : -1; }

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  if (g_dir.empty()) {
    char tmpl[] = "/tmp/bridge_fuzz.XXXXXX";
    g_dir = mkdtemp(tmpl);
    g_buf = static_cast<uint8_t*>(EeMalloc(BUF));
    g_scene = static_cast<ZEGSCENE*>(EeMalloc(sizeof(ZEGSCENE)));
    auto* insts = static_cast<ZEGSCNINST*>(EeMalloc(sizeof(ZEGSCNINST) * 8));
    memset(insts, 0, sizeof(ZEGSCNINST) * 8);
    g_scene->ninst = 8;
    g_scene->insts = insts;
    errmsg_disabled = 1;
    errmsg_to_console = 0;
    ZeTrigInit();
    edbits_lookup_hook = Lookup;
  }
  PlatSetHostRoot(g_dir.c_str());
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  // A level with one plank platform (scene instance 3).
  TerrWritePoly quad{};
  quad.quad = 1;
  quad.v[0] = {-1, 0, -1}, quad.v[1] = {1, 0, -1}, quad.v[2] = {-1, 0, 1}, quad.v[3] = {1, 0, 1};
  quad.na = quad.nb = {0, 1, 0};
  TerrWriteGroup group = {&quad, 1};
  TerrWriteSection sec{};
  sec.kind = 1, sec.instance = 3, sec.groups = &group, sec.ngroups = 1;
  if (TerrWriteFile("LEVEL.TER", &sec, 1, 0) != 1) abort();
  int fd = open((g_dir + "/BRIDGE.DAT").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, data, size) != ssize_t(size)) abort();
  close(fd);
  uint8_t* pos = g_buf;
  TerrSet* set = terraininit(0, &pos, g_buf + BUF, 0, "LEVEL", g_scene, 0);
  if (!set) return;
  TerrainSetCur(set);
  ZeBridgeInit();
  ZeMtxSetIdentity(&global_camera.mtx);
  global_camera.farclip = 1000;
  int page = edbriLoadPage("BRIDGE.DAT", g_scene);
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
