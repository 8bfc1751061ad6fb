// The file layer (the part the error log needs): files of the host file
// system opened by name in the current directory.
#include "zecore.h"

#include <cstdio>
#include <cstring>

namespace {

// Platform open flags of the four modes.
constexpr int OPEN_FLAGS[4] = {SCE_RDONLY, SCE_WRONLY | SCE_CREAT | SCE_TRUNC, SCE_RDWR | SCE_APPEND,
                               SCE_RDONLY | SCE_NOWAIT};

bool PlatformHandle(ZEFILE h) { return h >= 1 && h <= SCE_MAX_FILES; }

}  // namespace

ZEFILE ZeFileOpen(const char* name, int mode) {
  ZEASSERT(mode >= 0 && mode < 4);
  char path[300];
  snprintf(path, sizeof path, "host0:%s", name);
  int fd = sceOpen(path, OPEN_FLAGS[mode]);
  if (fd < 0) return 0;
  if (fd >= SCE_MAX_FILES) ZeError("To many SCE files open");
  return fd + 1;
}

void ZeFileClose(ZEFILE h) {
  if (!PlatformHandle(h)) return;
  if (sceClose(h - 1) < 0) {
    ZeDebugMsg("ZeFileClose - close failed, retrying");
    ZeError("ZeFileClose - close failed, retrying");
  }
}

int ZeFileRead(ZEFILE h, void* data, int count) { return PlatformHandle(h) ? sceRead(h - 1, data, count) : -1; }

int ZeFileWrite(ZEFILE h, const void* data, int count) {
  return PlatformHandle(h) ? sceWrite(h - 1, data, count) : -1;
}

int ZeFileSeek(ZEFILE h, int offset, int whence) {
  return PlatformHandle(h) ? sceLseek(h - 1, offset, whence) : -1;
}
