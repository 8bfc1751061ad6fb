// Fuzz target: a damaged scene file (.gsc image) read whole and fixed up,
// then updated, cross-faded, searched and removed. The renderer is started
// once; the texture table, the material pool and the texture-animation
// lists are started afresh for each input, so that what a refused input
// registered goes with them. The loader takes nothing from the heap.
#include "fuzz.h"
#include "ze3d.h"
#include "zecore_local.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <string>

namespace {

std::string g_dir;
constexpr int BUFFER = 1 << 20;
constexpr int TEXTURES = 512, MATERIALS = 1024;
char* g_buffer;
char* g_texBuf;
char* g_mtlBuf;

void StartTables() {
  char* p = g_texBuf;
  ZeTexInitEx(&p, TEXTURES);
  p = g_mtlBuf;
  ZeMtlInitEx(&p, MATERIALS);
  ZeTexAnimProgSysInit();
}

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  if (g_dir.empty()) {
    char tmpl[] = "/tmp/zegscn_fuzz.XXXXXX";
    g_dir = mkdtemp(tmpl);
    g_buffer = static_cast<char*>(EeMalloc(BUFFER));
    g_texBuf = static_cast<char*>(EeMalloc(size_t(ZeTexGetSysBuffSize(TEXTURES)) + 16));
    g_mtlBuf = static_cast<char*>(EeMalloc(size_t(ZeMtlGetSysBuffSize(MATERIALS)) + 16));
    errmsg_disabled = 1;
    errmsg_to_console = 0;
    PlatSetHostRoot(g_dir.c_str());
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
  StartTables();
  int fd = open((g_dir + "/FUZZ.GSC").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, data, size) != ssize_t(size)) abort();
  close(fd);
  zefile_try_packed = 0;
  char* pos = g_buffer;
  ZEGSCENE* s = ZeGScnRead(&pos, g_buffer + BUFFER, "FUZZ.GSC");
  if (!s) return;
  ZeGScnUpdate(s, 1.0f);
  ZeGSceneSetCrossFade(s, 100, 50);
  ZeGSceneProcessCrossFade(s);
  ZESPECIAL h;
  if (s->nspec) ZeSpecialFind(s, &h, s->specs[0].name);
  ZESPLINE* found[4];
  ZeSplineFindAllSub(s, "a", found, 4);
  ZEVEC p;
  for (int i = 0; i < s->nspline; i++) ZeSplineGetRandomPoint(s->splines + i, &p);
  ZeGScnRemove(s);
}

void FuzzReset() {
  ZeFileBlkReset();
  ZeFileReset();
  errmsg_trap = 0;
}
