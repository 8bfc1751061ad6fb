// The I/O processor's start-up and the thin layer over the memory-card
// library: one request per call, waited for unless the caller asks not to.
#include "zeps2.h"
#include "zecore.h"

#include <cstring>

int zesound_irx_loaded = 0;
int ps2iop_started = 0;

namespace {

struct IopModule {
  const char* file;
  const char* failed;
  const char* loaded;
};
const IopModule REQUIRED[] = {
    {"SIO2MAN.IRX", "Can't load module sio2man\n", "Loaded module sio2man\n"},
    {"PADMAN.IRX", "Can't load module padman\n", "Loaded module padman\n"},
    {"MCMAN.IRX", "Can't load module mcman\n", "Loaded module mcman\n"},
    {"MCSERV.IRX", "Can't load module mcserv\n", "Loaded module mcserv\n"},
    {"LIBSD.IRX", "Can't load module libsd\n", "Loaded module libsd\n"},
    {"SDRDRV.IRX", "Can't load module sdrdrv\n", "Loaded module sdrdrv\n"},
};
const IopModule SOUND = {"ZESOUND2.IRX", "Can't load module zesound - sound services will be denied\n",
                         "Loaded module zesound2\n"};
constexpr int IOP_MODULE_MISSING = 1;  // the program's exit status without a required module

// Waits for the request just made, unless async. A refused request (a
// negative return) started nothing: its refusal is the result.
int Finish(int request, int async) {
  if (async || request < 0) return request;
  int result = request;
  if (sceMcSync(0, nullptr, &result) != sceMcExecFinish) return request;
  return result;
}

// The library takes a write's bytes with the request, so a local copy
// serves an unwaited write too.
int WriteTyped(int fd, const void* value, int size, int async) {
  return Finish(sceMcWrite(fd, value, size), async);
}

// A waited read of size bytes into value (left 0 when the read fails).
void ReadTyped(int fd, void* value, int size) {
  unsigned char bytes[4] = {};
  if (Finish(sceMcRead(fd, bytes, size), 0) != size) memset(bytes, 0, sizeof bytes);
  memcpy(value, bytes, size_t(size));
}

}  // namespace

void ZePs2InitIOP() {
  if (ps2iop_started) return;
  ps2iop_started = 1;
  for (const IopModule& m : REQUIRED) {
    if (ZeFileSifLoadModule(m.file, 0, nullptr) < 0) {
      scePrintf("%s", m.failed);
      // Without its drivers the program cannot run: a failure, not a normal end.
      Exit(IOP_MODULE_MISSING);
    }
    scePrintf("%s", m.loaded);
  }
  zesound_irx_loaded = 1;
  if (ZeFileSifLoadModule(SOUND.file, 0, nullptr) < 0) {
    scePrintf("%s", SOUND.failed);
    zesound_irx_loaded = 0;
  } else {
    scePrintf("%s", SOUND.loaded);
  }
  int r = sceMcInit();
  scePrintf("sceMcInit result %d\n", r);
  scePadInit(0);
  sceSifInitIopHeap();
  sceSdRemoteInit();
}

int ZeMcOpen(int port, int slot, const char* name, int mode, int async) {
  return Finish(sceMcOpen(port, slot, name, mode), async);
}

int ZeMcRead(int fd, void* buffer, int size, int async) { return Finish(sceMcRead(fd, buffer, size), async); }

int ZeMcWrite(int fd, const void* buffer, int size, int async) {
  return Finish(sceMcWrite(fd, buffer, size), async);
}

int ZeMcClose(int fd, int async) { return Finish(sceMcClose(fd), async); }

int ZeMcDelete(int port, int slot, const char* name, int async) {
  return Finish(sceMcDelete(port, slot, name), async);
}

int ZeMcSeek(int fd, int offset, int origin, int async) { return Finish(sceMcSeek(fd, offset, origin), async); }

int ZeMcWriteFloat(int fd, float value, int async) { return WriteTyped(fd, &value, 4, async); }
int ZeMcWriteInt(int fd, int value, int async) { return WriteTyped(fd, &value, 4, async); }
int ZeMcWriteUnsignedInt(int fd, unsigned value, int async) { return WriteTyped(fd, &value, 4, async); }

int ZeMcWriteShort(int fd, int value, int async) {
  int16_t v = int16_t(value);
  return WriteTyped(fd, &v, 2, async);
}

int ZeMcWriteChar(int fd, int value, int async) {
  int8_t v = int8_t(value);
  return WriteTyped(fd, &v, 1, async);
}

float ZeMcReadFloat(int fd) {
  float v;
  ReadTyped(fd, &v, 4);
  return v;
}

int ZeMcReadInt(int fd) {
  int v;
  ReadTyped(fd, &v, 4);
  return v;
}

unsigned ZeMcReadUnsignedInt(int fd) {
  unsigned v;
  ReadTyped(fd, &v, 4);
  return v;
}

int ZeMcReadShort(int fd) {
  int16_t v;
  ReadTyped(fd, &v, 2);
  return v;
}

int ZeMcReadChar(int fd) {
  int8_t v;
  ReadTyped(fd, &v, 1);
  return v;
}
