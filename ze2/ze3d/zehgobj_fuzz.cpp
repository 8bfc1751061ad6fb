// Fuzz target: a damaged model memory image (.ghg) read in place, posed at
// rest, queried, relocated and released. The texture table, the material
// pool and the texture-animation lists are started afresh for each input,
// so that what a refused input registered goes with them.
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
char* g_moved;
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
    char tmpl[] = "/tmp/zehgobj_fuzz.XXXXXX";
    g_dir = mkdtemp(tmpl);
    g_buffer = static_cast<char*>(EeMalloc(BUFFER));
    g_moved = static_cast<char*>(EeMalloc(BUFFER * 2));
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
  int fd = open((g_dir + "/FUZZ.GHG").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, data, size) != ssize_t(size)) abort();
  close(fd);
  zefile_try_packed = 0;
  char* pos = g_buffer;
  ZEHGOBJ* o = ZeGHGRead("FUZZ.GHG", &pos, g_buffer + BUFFER);
  if (!o) return;
  static ZEMTX joints[256];
  ZeHGobjEval(o, 0, nullptr, joints);
  ZEMTX at, out;
  ZeMtxSetIdentity(&at);
  for (int id = 0; id < 256; id++) {
    ZeHGobjJointMtxWithCheck(o, id, &at, joints, &out);
    ZeHGobjPOIMtxWithCheck(o, id, &at, joints, &out);
  }
  const ZEVEC c = {0, 1, 0};
  ZeHGobjCollideSphere(o, &at, joints, &c, nullptr, 0.5f);
  char* to = g_moved;
  ZEHGOBJ* moved = ZeGHGRelocate(o, &to);
  ZeHGobjDestroy(o);
  ZeHGobjEval(moved, 0, nullptr, joints);
  ZeHGobjDestroy(moved);
}

void FuzzReset() {
  ZeFileBlkReset();
  ZeFileReset();
  errmsg_trap = 0;
}
