// Shared by the bridge and grass page fuzz targets: the fuzz host
// directory, a level buffer, and a scene of 8 instances whose objects the
// page names by their first letter.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz.h"
#include "gamelib.h"
#include "zecore.h"
#include "zecore_local.h"
#include "zeps2.h"

struct DressFuzz {
  std::string dir;
  uint8_t* buf = nullptr;
  ZEGSCENE* scene = nullptr;
  static constexpr int BUF = 1 << 20;

  // Once: the directory, buffer and scene; every input: the host root.
  void Start() {
    if (dir.empty()) {
      dir = FuzzDir();
      buf = static_cast<uint8_t*>(EeMalloc(BUF));
      scene = static_cast<ZEGSCENE*>(EeMalloc(sizeof(ZEGSCENE)));
      memset(scene, 0, sizeof *scene);
      auto* insts = static_cast<ZEGSCNINST*>(EeMalloc(sizeof(ZEGSCNINST) * 8));
      memset(insts, 0, sizeof(ZEGSCNINST) * 8);
      scene->ninst = 8;
      scene->insts = insts;
      errmsg_disabled = 1;
      errmsg_to_console = 0;
      ZeTrigInit();
      edbits_lookup_hook = [](const char* n, const ZEGSCENE*) { return n[0] ? (n[0] & 7) : -1; };
    }
    PlatSetHostRoot(dir.c_str());
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  }
  // Writes the input as a host file.
  void File(const char* name, const uint8_t* data, size_t size) {
    FuzzWriteFile(name, data, size);
  }
};
