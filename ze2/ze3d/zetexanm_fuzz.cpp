// Fuzz target: a compiled texture-animation program read from its file and
// run for a number of passes by two environments on the active list, with
// signals changing as it runs. Alerts are fatal ends; a pass must never run
// off the code or loop for ever.
#include "fuzz.h"
#include "ze3d.h"
#include "zecore_local.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <string>

namespace {

std::string g_dir;
ZEMTL* g_mtl;
int16_t* g_ids;

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  if (g_dir.empty()) {
    g_dir = FuzzDir();
    g_mtl = static_cast<ZEMTL*>(EeMalloc(sizeof(ZEMTL)));
    g_ids = static_cast<int16_t*>(EeMalloc(16));
    errmsg_disabled = 1;
    errmsg_to_console = 0;
  }
  FuzzWriteFile("FUZZ.TAP", data, size);
  PlatSetHostRoot(g_dir.c_str());
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  ZeTexAnimProgSysInit();
  memset(g_mtl, 0, sizeof(ZEMTL));
  for (int i = 0; i < 8; i++) g_ids[i] = int16_t(i + 1);
  ZETEXANIMPROG* p = ZeTexAnimProgRead(nullptr, "FUZZ.TAP");
  if (!p) return;
  ZETEXANIM* a = ZeTexAnimCreate(nullptr, p, g_mtl, g_ids, 8);
  ZETEXANIM* b = ZeTexAnimCreate(nullptr, p, g_mtl, g_ids, 8);
  a->next = b;
  ZeTexAnimAddList(a);
  for (int pass = 0; pass < 64; pass++) {
    if (pass % 8 == 0) ZeTexAnimSetSignals(uint32_t(pass * 0x9e3779b9u));
    ZeTexAnimProcess();
  }
  ZeTexAnimRemoveList(a);
  ZeTexAnimDestroy(a);
  ZeTexAnimDestroy(b);
  ZeTexAnimProgDestroy(p);
}

void FuzzReset() {
  ZeFileReset();
  ZeMemFlushFn();  // records a fatal error abandoned
  ZeTexAnimProgSysInit();
  errmsg_trap = 0;
}
