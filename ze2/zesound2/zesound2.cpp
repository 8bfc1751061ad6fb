// The client side of the sound module's file service: 16 file slots, each
// with the start sector and size the module found and the client's
// position. Every request waits for the module's answer.
#include "zesound2.h"
#include "zecore.h"
#include "zeps2.h"

int zesound_enabled = 0;

namespace {

struct SoundFile {
  int open;
  int sector;
  int size;
  int pos;
};

SoundFile g_files[ZESOUND_FILES];
const ZESOUNDFILESERVICE* g_service = nullptr;

// The slot of a descriptor, or null when it names none.
SoundFile* Slot(int fd) {
  int slot = fd - ZESOUND_FD_FIRST;
  if (slot < 0 || slot >= ZESOUND_FILES || !g_files[slot].open) return nullptr;
  return &g_files[slot];
}

const ZESOUNDFILESERVICE* Service() {
  if (!g_service) ZeError("ZeSound - no file service");
  return g_service;
}

}  // namespace

const ZESOUNDFILESERVICE* ZeSoundSetFileService(const ZESOUNDFILESERVICE* service) {
  const ZESOUNDFILESERVICE* old = g_service;
  g_service = service;
  return old;
}

int ZeSoundFOpen(const char* path, int flags) {
  int slot = 0;
  while (slot < ZESOUND_FILES && g_files[slot].open) slot++;
  if (slot == ZESOUND_FILES) ZeError("to many files open simultaneously in ZeSound");
  int sector = 0, size = 0;
  ZeDisableVBlank();  // the command packet
  Service()->find(path, &sector, &size);
  ZeEnableVBlank();
  if (size <= 0) return -1;
  g_files[slot] = {1, sector, size, 0};
  return ZESOUND_FD_FIRST + slot;
}

int ZeSoundFOpenSize(int fd) {
  SoundFile* f = Slot(fd);
  if (!f) ZeError("Attempted to FOpenSize ZeSoundFile with a closed file handel");
  return f->size;
}

int ZeSoundFRead(int fd, void* dest, int count) {
  if (reinterpret_cast<uintptr_t>(dest) % ZESOUND_ALIGN != 0)
    ZeError("Data MUST be 64 byte aligned for this function to work");
  SoundFile* f = Slot(fd);
  if (!f) ZeError("Attempted to Read ZeSoundFile with a closed file handel");
  // Never past the recorded size; a position before the start reads nothing.
  if (count <= 0 || f->pos < 0 || f->pos >= f->size) return 0;
  if (count > f->size - f->pos) count = f->size - f->pos;
  ZeDisableVBlank();
  int n = Service()->read(f->sector, f->pos, dest, count);
  ZeEnableVBlank();
  if (n < 0) n = 0;
  if (n > count) n = count;
  f->pos += n;
  return n;
}

int ZeSoundFSeek(int fd, int offset, int whence) {
  SoundFile* f = Slot(fd);
  if (!f) ZeError("Attempted to Seek ZeSoundFile with a closed file hnadel");
  if (whence == 1) f->pos += offset;
  else if (whence == 2) f->pos = f->size - offset;
  else f->pos = offset;
  return f->pos;
}

int ZeSoundFClose(int fd) {
  SoundFile* f = Slot(fd);
  if (!f) ZeError("Attempted to close ZeSoundFile without open");
  *f = {};
  return 1;
}
