// Fuzz target: the grass page loader. Reads the input as a grass page into
// a level buffer, starts it (wind and fade groups), runs a frame of sway and
// clears it.
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
    char tmpl[] = "/tmp/grass_fuzz.XXXXXX";
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
  int fd = open((g_dir + "/GRASS.DAT").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, data, size) != ssize_t(size)) abort();
  close(fd);
  edgraClumpsReset();
  ZeWindInit();
  ZeFadeObjInit();
  ZeMtxSetIdentity(&global_camera.mtx);
  uint8_t* cursor = g_buf;
  int page = edgraLoadPage("GRASS.DAT", g_scene, &cursor, g_buf + BUF);
  if (page < 0) return;
  if (cursor > g_buf + BUF) abort();
  edgraStartPage(page);
  for (ZeWindGrp& g : ZeWindGroup) g.drawn = 1;
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
