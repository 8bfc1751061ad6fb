// Streamed file access: files registered with the sound module by path,
// byte ranges asked for and waited on, a 32 KB read-ahead cache for small
// reads. Runs in the main thread or the background loader thread; the two
// are kept apart by their callers. Staging holds the vertical-blank
// interrupts, so the other thread never finds a command half-staged, and
// every flush is a background flush.
#include "zesound2.h"
#include "zecore.h"
#include "zeps2.h"

#include <cstring>

ZeSoundFile zesound_files[ZESOUND_FILES];
alignas(64) uint8_t ZeSndCache[ZESOUND_CACHE + 64];
int ZeSndCacheHandel = 0;
int ZeSndCacheStartPos = 0, ZeSndCacheEndPos = 0;
int zesound_file_id = ZESOUND_FIRST_FILE_ID;

namespace {

constexpr int POLL_SPIN = 50000;
constexpr int SMALL_READ = 8192;     // reads up to this go through the cache
constexpr int PACKET_ROOM = 256;     // a poll adds its status request only below this
// Polls without an answer or any progress before the module counts as gone;
// polls while a disc error is reported do not count (the disc may take long).
constexpr int STALL_POLLS = 20000;

volatile int g_spinSink;

ZeSoundFile* Record(int fd) {
  int slot = fd - ZESOUND_FD_FIRST;
  if (slot < 0 || slot >= ZESOUND_FILES || !zesound_files[slot].open) return nullptr;
  return &zesound_files[slot];
}

int NextId() {
  zesound_file_id = (zesound_file_id + 1) & 0x40F;
  return zesound_file_id;
}

// One poll: a pause, the status request when the packet has room, a
// flush. False when the poll was skipped (no status request went).
bool Poll() {
  for (int i = 0; i < POLL_SPIN; i++) g_spinSink = i;
  KernelYield();
  ZeDisableVBlank();
  bool room = IOP_Cnt < PACKET_ROOM;
  if (room) SOUND_GetStatus(SOUND_IOP_REQUEST_LOAD, 0);
  ZeEnableVBlank();
  BGFlushIOPCommand(1);
  return room;
}

bool DiscTrouble() { return SOUND_CD_ERROR || SOUND_CD_IERROR; }

// Reads bytes [start, end) of the file into target through the module;
// returns the bytes that arrived from start on (all of them, or fewer when
// the load was stopped part-way), 0 when the module refused the range.
int Transfer(const ZeSoundFile* f, int start, int end, void* target) {
  int id = NextId();
  bool host = strncmp(f->name, "host0:", 6) == 0;
  ZeDisableVBlank();
  SOUND_FreeFileID(id);
  int ok = SOUND_SetFileInfo(id, f->lsn, end, host ? 0 : 1, start);
  if (ok == 0) {
    if (host) SOUND_StoreHOST0FileName(id, f->name);
    SOUND_SetEEWriteAddress(EeAddrOf(target));
    ok = SOUND_PlayStream(id, ZESOUND_FILE_STREAM, 0, 0, 0, 0, SOUND_LOAD_EE, 0, 0);
  }
  uint32_t loads = SOUND_EE_TRAN_COUNT;
  ZeEnableVBlank();
  if (ok < 0) return 0;
  BGFlushIOPCommand(0);
  // Wait until the stream is no longer busy and the module has reported
  // the load's end: a stop requested meanwhile (the engine stops streams
  // 0-3 when a level is left) makes the stream look idle before its bytes
  // are in, so the count of finished loads decides.
  uint32_t lastAddr = SOUND_STREAM_WADDR[ZESOUND_FILE_STREAM];
  int lastState = SOUND_STREAM_STATE[ZESOUND_FILE_STREAM];
  for (int stalled = 0;;) {
    bool polled = Poll();
    if (polled && IOP_Cnt < PACKET_ROOM) {
      SOUND_STREAM_INFO info;
      SOUND_GetStreamInfo(ZESOUND_FILE_STREAM, &info);
      if (!info.busy && SOUND_EE_TRAN_COUNT != loads) break;
    }
    uint32_t addr = SOUND_STREAM_WADDR[ZESOUND_FILE_STREAM];
    int state = SOUND_STREAM_STATE[ZESOUND_FILE_STREAM];
    if (addr != lastAddr || state != lastState || DiscTrouble()) stalled = 0;
    else if (++stalled == STALL_POLLS)
      ZeError("ZeSoundFRead - the sound module stopped answering while reading %s", f->name);
    lastAddr = addr;
    lastState = state;
  }
  int arrived = int(SOUND_LAST_EE_TRAN_SIZE);
  return arrived < end - start ? arrived : end - start;
}

}  // namespace

int ZeSoundFOpen(const char* path, int flags) {
  int slot = 0;
  while (slot < ZESOUND_FILES && zesound_files[slot].open) slot++;
  if (slot == ZESOUND_FILES) ZeError("to many files open simultaneously in ZeSound");
  ZeSoundFile* f = &zesound_files[slot];
  // A path longer than the record is cut, not written past it.
  strncpy(f->name, path, sizeof f->name - 1);
  f->name[sizeof f->name - 1] = 0;
  int id = NextId();
  ZeDisableVBlank();
  SOUND_FreeFileID(id);
  SOUND_CreateFileInfo(id, f->name, 0);
  ZeEnableVBlank();
  BGFlushIOPCommand(0);
  for (int stalled = 0;;) {
    if (Poll() && SOUND_FILE_COUNTER == uint32_t(id)) break;
    if (DiscTrouble()) stalled = 0;
    else if (++stalled == STALL_POLLS) ZeError("ZeSoundFOpen - the sound module never answered for %s", f->name);
  }
  f->lsn = int(SOUND_FILE_LSN);
  f->size = int(SOUND_FILE_SIZE);
  f->pos = 0;
  if (f->size == 0) return -1;
  f->open = 1;
  return ZESOUND_FD_FIRST + slot;
}

int ZeSoundFRead(int fd, void* dest, int count) {
  ZeSoundFile* f = Record(fd);
  if (!f) ZeError("Attempted to Read ZeSoundFile with a closed file handel");
  if (f->pos >= f->size) return 0;
  if (reinterpret_cast<uintptr_t>(dest) % ZESOUND_ALIGN) ZeError("Data MUST be 64 byte aligned for this function to work");
  // A negative position or count would reach the module as a negative range.
  if (f->pos < 0 || count < 0) {
    ZeDebugMsg("ZeSoundFRead - refused a read of %d bytes at %d", count, f->pos);
    return 0;
  }
  int end = count < f->size - f->pos ? f->pos + count : f->size;
  int length = end - f->pos;
  if (length == 0) return 0;
  uint8_t* out = static_cast<uint8_t*>(dest);

  if (ZeSndCacheHandel == fd && ZeSndCacheStartPos <= f->pos && end < ZeSndCacheEndPos) {
    memcpy(out, ZeSndCache + (f->pos - ZeSndCacheStartPos), size_t(length));
    f->pos = end;
    return length;
  }

  FlushCache(0);
  bool cached = (length <= SMALL_READ && end < f->size) || (length % 64 != 0 && length <= ZESOUND_CACHE);
  if (cached) {
    int rangeEnd = f->size - f->pos > ZESOUND_CACHE ? f->pos + ZESOUND_CACHE : f->size;
    ZeSndCacheHandel = fd;
    ZeSndCacheStartPos = f->pos;
    int arrived = Transfer(f, f->pos, rangeEnd, ZeSndCache);
    ZeSndCacheEndPos = f->pos + arrived;
    if (arrived == 0) ZeSndCacheHandel = 0;
    FlushCache(0);
    // Only what arrived: a cut-short load never passes stale bytes on.
    int got = arrived < length ? arrived : length;
    memcpy(out, ZeSndCache, size_t(got));
    f->pos += got;
    return got;
  }

  int direct = length & ~63;
  int arrived = Transfer(f, f->pos, f->pos + direct, out);
  int got = arrived;
  if (arrived == direct && direct < length) {
    ZeDebugMsg("ZeFileLoadBuffer - memory was going to be damaged");
    int tailStart = f->pos + direct;
    ZeSndCacheHandel = fd;
    ZeSndCacheStartPos = tailStart;
    int tail = Transfer(f, tailStart, end, ZeSndCache);
    ZeSndCacheEndPos = tailStart + tail;
    if (tail == 0) ZeSndCacheHandel = 0;
    FlushCache(0);
    memcpy(out + direct, ZeSndCache, size_t(tail));
    got += tail;
  }
  FlushCache(0);
  f->pos += got;
  return got;
}

int ZeSoundFSeek(int fd, int offset, int whence) {
  ZeSoundFile* f = Record(fd);
  if (!f) ZeError("Attempted to Seek ZeSoundFile with a closed file hnadel");
  if (whence == 1) f->pos += offset;
  else if (whence == 2) f->pos = f->size - offset;
  else f->pos = offset;
  return f->pos;
}

int ZeSoundFOpenSize(int fd) {
  ZeSoundFile* f = Record(fd);
  if (!f) ZeError("Attempted to FOpenSize ZeSoundFile with a closed file handel");
  return f->size;
}

int ZeSoundFClose(int fd) {
  if (ZeSndCacheHandel == fd) ZeSndCacheHandel = 0;
  ZeSoundFile* f = Record(fd);
  if (!f) ZeError("Attempted to close ZeSoundFile without open");
  f->open = 0;
  return 1;
}
