// Fuzz target: a damaged scene file (.gsc image) read whole and fixed up,
// then updated, cross-faded, searched and removed. The texture table, the
// material pool and the texture-animation lists are started afresh for
// each input, so that what a refused input registered goes with it.
#include "fuzz.h"
#include "scenewrite.h"
#include "ze3d.h"
#include "zecore_local.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <string>

namespace {

std::string g_dir;
constexpr int BUFFER = 1 << 20;
char* g_buffer;
bool g_started = false;

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  if (g_dir.empty()) {
    char tmpl[] = "/tmp/zegscn_fuzz.XXXXXX";
    g_dir = mkdtemp(tmpl);
    g_buffer = static_cast<char*>(EeMalloc(BUFFER));
    errmsg_disabled = 1;
    errmsg_to_console = 0;
    PlatSetHostRoot(g_dir.c_str());
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  }
  if (g_started) SceneEngineClose();
  SceneEngineInit();
  ZeTexAnimProgSysInit();
  g_started = true;
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
  ZeMemFlushFn();  // records a fatal error abandoned
  errmsg_trap = 0;
}
