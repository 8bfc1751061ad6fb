// The file layer: one handle type over platform files, files of the sound
// module's file service, memory files and archive members; opening by name,
// buffered and unbuffered reading, seeking, writing, whole-file loads.
#include "zecore.h"
#include "zecore_local.h"
#include "zesound2.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

int zefile_validate_name = 0;
int zefile_buffering_enabled = 0;
int zefile_try_packed = 1;

ZEFILEREC zefile_rec[ZEFILE_RECORDS];
ZEFILEBUF zefile_buf[ZEFILE_BUFFERS];
ZEMEMFILE zefile_mem[ZEFILE_MEMFILES];

namespace {

// Platform open flags of the four modes.
constexpr int OPEN_FLAGS[4] = {SCE_RDONLY, SCE_WRONLY | SCE_CREAT | SCE_TRUNC, SCE_RDWR | SCE_APPEND,
                               SCE_RDONLY | SCE_NOWAIT};
constexpr int SCE_WRITE_BIT = 2;

int g_bufStamp = 0;
alignas(ZESOUND_ALIGN) uint8_t g_bounce[ZESOUND_ALIGN];  // sound-module reads into unaligned memory

bool IsSoundFd(int fd) { return zesound_enabled && fd >= ZESOUND_FD_FIRST; }

ZEMEMFILE* MemFileOf(ZEFILE h, const char* what) {
  int slot = h - ZEFILE_MEMFILE_BASE;
  if (slot < 0 || slot >= ZEFILE_MEMFILES || !zefile_mem[slot].inuse) ZeError("%s - bad memory file handle %d", what, h);
  return &zefile_mem[slot];
}

// Sound-module reads need 64-byte aligned destinations: the unaligned head
// goes through the bounce buffer, the rest straight into the destination.
int SoundRead(int fd, uint8_t* dst, int count) {
  if (count <= 0) return 0;
  int mis = int(reinterpret_cast<uintptr_t>(dst) % ZESOUND_ALIGN);
  if (mis == 0) return ZeSoundFRead(fd, dst, count);
  int first = ZESOUND_ALIGN - mis < count ? ZESOUND_ALIGN - mis : count;
  int n = ZeSoundFRead(fd, g_bounce, first);
  if (n <= 0) return n;
  memcpy(dst, g_bounce, size_t(n));
  if (n == first && count > first) {
    int rest = ZeSoundFRead(fd, dst + first, count - first);
    if (rest > 0) n += rest;
  }
  return n;
}

// A read on the descriptor itself, without the layer's buffering.
int RawRead(int fd, void* dst, int count) {
  if (IsSoundFd(fd)) return SoundRead(fd, static_cast<uint8_t*>(dst), count);
  return sceRead(fd, dst, count);
}

int RawSeek(int fd, int offset, int whence) {
  if (IsSoundFd(fd)) return ZeSoundFSeek(fd, offset, whence);
  return sceLseek(fd, offset, whence);
}

int BufferedRead(ZEFILEREC* r, uint8_t* dst, int count) {
  if (!r->buf) ZeFileRefillBuffer(r);
  int done = 0;
  while (done < count && r->pos < r->size) {
    if (r->pos < r->bufstart || r->pos >= r->bufstart + r->buflen) {
      if (r->platpos != r->pos) {
        if (RawSeek(r->fd, r->pos, SCE_SEEK_SET) < 0) break;
        r->platpos = r->pos;
      }
      int n = RawRead(r->fd, r->buf->data, ZEFILE_BUFSIZE);
      if (n <= 0) {
        // A failure or a file that shrank: end with what was copied.
        r->buflen = 0;
        break;
      }
      r->bufstart = r->pos;
      r->buflen = n;
      r->platpos += n;
    }
    int off = r->pos - r->bufstart;
    int take = r->buflen - off < count - done ? r->buflen - off : count - done;
    memcpy(dst + done, r->buf->data + off, size_t(take));
    done += take;
    r->pos += take;
  }
  return done;
}

// Waits for a no-wait open or read to finish.
void WaitIdle(ZEFILE h) {
  while (ZeFileStatus(h) != 0) KernelYield();
}

}  // namespace

ZEFILEREC* ZeFileRecOf(ZEFILE h) {
  int fd = h - 1;
  return fd >= 0 && fd < ZEFILE_RECORDS ? &zefile_rec[fd] : nullptr;
}

void ZeFileRefillBuffer(ZEFILEREC* r) {
  ZEFILEBUF* b = &zefile_buf[0];
  for (ZEFILEBUF& c : zefile_buf)
    if (c.stamp < b->stamp) b = &c;
  if (b->owner && b->owner.get() != r) b->owner->buf = nullptr;  // it keeps its start and length
  b->owner = r;
  b->stamp = g_bufStamp++;
  r->buf = b;
  if (r->buflen) {
    // Restore the block this file held when its buffer was taken.
    RawSeek(r->fd, r->bufstart, SCE_SEEK_SET);
    int n = RawRead(r->fd, b->data, r->buflen);
    ZEASSERT(n == r->buflen);
    r->platpos = r->bufstart + n;
  }
}

int ZeFileReadRetry(ZEFILE h, void* data, int count, const char* msg) {
  for (int tries = 1;; tries++) {
    int n = ZeFileRead(h, data, count);
    if (n >= 0) return n;
    ZeDebugMsg("%s", msg);
    if (tries == ZEFILE_RETRIES) ZeError("%s - giving up after %d failures (%d)", msg, tries, n);
  }
}

int ZeFileSeekRetry(ZEFILE h, int offset, int whence, const char* msg) {
  for (int tries = 1;; tries++) {
    int n = ZeFileSeek(h, offset, whence);
    if (n >= 0) return n;
    ZeDebugMsg("%s", msg);
    if (tries == ZEFILE_RETRIES) ZeError("%s - giving up after %d failures (%d)", msg, tries, n);
  }
}

// ---- opening and closing ---------------------------------------------------

ZEFILE ZeFileOpen(const char* name, int mode) {
  ZEASSERT(mode >= 0 && mode < 4);
  // Writes always go to the host: an archive is looked in only for reading.
  if (zedat_current && mode != 1 && mode != 2) return ZeDatFileOpen(zedat_current, name, mode);
  char path[2 * ZEFILE_DIRSIZE + 64];
  if (!name || !ZeFileBuildPath(path, int(sizeof path), name, mode)) return 0;
  int flags = OPEN_FLAGS[mode];
  int fd;
  if (zesound_enabled && !(flags & SCE_WRITE_BIT)) {
    fd = ZeSoundFOpen(path, flags);
    if (fd >= 0 && (fd < ZESOUND_FD_FIRST || fd >= ZESOUND_FD_FIRST + ZESOUND_FILES))
      ZeError("ZeFileOpen - bad descriptor %d from ZeSound", fd);
  } else {
    fd = sceOpen(path, flags);
    if (fd >= SCE_MAX_FILES) ZeError("To many SCE files open");
  }
  if (fd < 0) {
    ZeDebugMsg("!!!!!!!!!!!!!!!!!!! opening file %s failed!!!!!!!!!!!!!!!!!!!!1", path);
    return 0;
  }
  ZEFILE h = fd + 1;
  ZeDebugMsg("opening file %s ok!(%d)", path, h);
  ZEFILEREC* r = &zefile_rec[fd];
  *r = {};
  r->fd = fd;
  if (mode != 1) {
    if (fd >= ZESOUND_FD_FIRST) {
      r->size = ZeSoundFOpenSize(fd);
    } else {
      r->size = ZeFileSeekRetry(h, 0, SCE_SEEK_END, "ZeFileOpen - size seek failed - retrying");
      if (mode == 3) WaitIdle(h);
      ZeFileSeekRetry(h, 0, SCE_SEEK_SET, "ZeFileOpen - size seek restore failed - retrying");
      if (mode == 3) WaitIdle(h);
    }
  }
  if (mode == 0) r->buffered = zefile_buffering_enabled;
  if (!zesound_enabled && ZeFileIsDisc()) {
    // The disc's own directory, for reads by sector; the path after "cdrom0:".
    sceCdlFILE info;
    const char* rel = strchr(path, ':');
    r->sector = rel && sceCdSearchFile(&info, rel + 1) ? int(info.lsn) : 0;
  }
  return h;
}

void ZeFileClose(ZEFILE h) {
  if (h == 0) return;  // callers close the result of a failed open
  ZeDebugMsg("closing file (%d)", h);
  if (h >= ZEFILE_MEMFILE_BASE) {
    ZeMemFileClose(h);
    return;
  }
  int fd = h - 1;
  int ok = IsSoundFd(fd) ? ZeSoundFClose(fd) == 1 : sceClose(fd) >= 0;
  if (!ok) {
    ZeDebugMsg("ZeFileClose - close failed, retrying");
    ZeError("ZeFileClose - close failed, retrying");
  }
  if (ZEFILEREC* r = ZeFileRecOf(h)) {
    if (r->buf) r->buf->owner = nullptr;
    *r = {};
  }
}

int ZeFileStatus(ZEFILE h) {
  if (h < 1 || h > SCE_MAX_FILES) return 0;
  int status = sceIoctl(h - 1, SCE_FS_EXECUTING, nullptr);
  ZEASSERT(status >= 0);
  return status;
}

int ZeFileOpenSize(ZEFILE h) {
  if (h >= ZEFILE_DATFILE_BASE) return ZeDatFileOpenSize(h);
  if (h >= ZEFILE_MEMFILE_BASE) return ZeMemFileOpenSize(h);
  ZEFILEREC* r = ZeFileRecOf(h);
  return r ? r->size : 0;
}

int ZeFileSize(const char* name) {
  if (!name || !*name) return -1;
  if (zedat_current) {
    int idx = ZeDatFind(zedat_current, name);
    if (idx >= 0) return zedat_current->files[idx].unpacked;
  }
  int buffering = zefile_buffering_enabled;
  zefile_buffering_enabled = 0;
  int size = -1;
  if (ZEFILE h = ZeFileOpen(name, 0)) {
    ZeFileSeekRetry(h, 0, SCE_SEEK_END, "ZeFileSize - seek failed - retrying");
    size = ZeFilePos(h);
    ZeFileClose(h);
  }
  zefile_buffering_enabled = buffering;
  return size;
}

// ---- reading and seeking ---------------------------------------------------

int ZeFileRead(ZEFILE h, void* data, int count) {
  if (h >= ZEFILE_DATFILE_BASE) return ZeDatFileRead(h, data, count);
  if (h >= ZEFILE_MEMFILE_BASE) return ZeMemFileRead(h, data, count);
  ZEFILEREC* r = ZeFileRecOf(h);
  if (r && r->buffered) return count > 0 ? BufferedRead(r, static_cast<uint8_t*>(data), count) : 0;
  return RawRead(h - 1, data, count);
}

int ZeFileSeek(ZEFILE h, int offset, int whence) {
  if (h >= ZEFILE_DATFILE_BASE) return ZeDatFileSeek(h, offset, whence);
  if (h >= ZEFILE_MEMFILE_BASE) return ZeMemFileSeek(h, offset, whence);
  ZEFILEREC* r = ZeFileRecOf(h);
  if (r && r->buffered) {
    // Only the logical position moves; a position before the start is refused as the platform would.
    int64_t pos = whence == SCE_SEEK_CUR ? int64_t(r->pos) + offset
                : whence == SCE_SEEK_END ? int64_t(r->size) - offset : offset;
    if (pos < 0 || pos > 0x7fffffff) return -22;
    r->pos = int(pos);
    return r->pos;
  }
  return RawSeek(h - 1, offset, whence);
}

int ZeFilePos(ZEFILE h) {
  if (h >= ZEFILE_DATFILE_BASE) return ZeDatFilePos(h);
  if (h >= ZEFILE_MEMFILE_BASE) return ZeMemFilePos(h);
  ZEFILEREC* r = ZeFileRecOf(h);
  if (r && r->buffered) return r->pos;
  for (int tries = 1;; tries++) {
    int pos = RawSeek(h - 1, 0, SCE_SEEK_CUR);
    if (pos >= 0) return pos;
    ZeDebugMsg("ZeFilePos - seek failed %d - retrying", pos);
    if (tries == ZEFILE_RETRIES) ZeError("ZeFilePos - seek failed %d - giving up after %d failures", pos, tries);
  }
}

int ZeFileReadFrom(ZEFILE h, void* data, int size, int position) {
  ZEFILEREC* r = h >= 1 && h <= SCE_MAX_FILES ? ZeFileRecOf(h) : nullptr;
  if (!zesound_enabled && r && r->sector && size >= 0 && position >= 0 && size % ZEFILE_SECTOR == 0 &&
      position % ZEFILE_SECTOR == 0) {
    // Whole sectors straight from the disc, bypassing the file system.
    sceCdRMode rm = {255, 0, 0, 0};
    int ok = sceCdRead(uint32_t(r->sector + position / ZEFILE_SECTOR), uint32_t(size / ZEFILE_SECTOR), data, &rm);
    sceCdSync(0);
    return ok ? size : 0;
  }
  ZeFileSeek(h, position, SCE_SEEK_SET);
  return ZeFileRead(h, data, size);
}

namespace {
// Little-endian values of n bytes; what a short read leaves is zero.
uint32_t ReadLE(ZEFILE h, int n) {
  uint8_t b[4] = {0, 0, 0, 0};
  ZeFileRead(h, b, n);
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
int WriteLE(ZEFILE h, uint32_t v, int n) {
  uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  return ZeFileWrite(h, b, n);
}
}  // namespace

int ZeFileReadInt(ZEFILE h) { return int(ReadLE(h, 4)); }
unsigned ZeFileReadUnsignedInt(ZEFILE h) { return ReadLE(h, 4); }
float ZeFileReadFloat(ZEFILE h) {
  uint32_t v = ReadLE(h, 4);
  float f;
  memcpy(&f, &v, 4);
  return f;
}
int16_t ZeFileReadShort(ZEFILE h) { return int16_t(ReadLE(h, 2)); }
int8_t ZeFileReadChar(ZEFILE h) { return int8_t(ReadLE(h, 1)); }

// ---- writing ---------------------------------------------------------------

int ZeFileWrite(ZEFILE h, const void* data, int count) {
  // Memory files and archive members are read-only.
  if (h >= ZEFILE_MEMFILE_BASE) ZeError("ZeFileWrite - cannot write to a memory file or archive member (%d)", h);
  int fd = h - 1;
  if (zesound_enabled && fd >= ZESOUND_FD_FIRST) ZeError("Cannot write to a ZESOUND file");
  return sceWrite(fd, data, count);
}

int ZeFileWriteInt(ZEFILE h, int value) { return WriteLE(h, uint32_t(value), 4); }
int ZeFileWriteUnsignedInt(ZEFILE h, unsigned value) { return WriteLE(h, value, 4); }
int ZeFileWriteFloat(ZEFILE h, float value) {
  uint32_t v;
  memcpy(&v, &value, 4);
  return WriteLE(h, v, 4);
}
int ZeFileWriteShort(ZEFILE h, int16_t value) { return WriteLE(h, uint16_t(value), 2); }
int ZeFileWriteChar(ZEFILE h, int8_t value) { return WriteLE(h, uint8_t(value), 1); }
int ZeFileWriteString(ZEFILE h, const char* text) { return ZeFileWrite(h, text, int(strlen(text))); }

int ZeFileWriteStringV(ZEFILE h, const char* format, ...) {
  char text[1104];
  va_list ap;
  va_start(ap, format);
  vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  return ZeFileWrite(h, text, int(strlen(text)));
}

// ---- whole files -----------------------------------------------------------

int ZeFileLoadBuffer(const char* name, void* buffer, int size) {
  int loaded = 0;
  if (zedat_current) loaded = ZeDatFileLoadBuffer(zedat_current, name, buffer, size);
  if (!loaded) {
    ZEFILE h = ZeFileOpen(name, 0);
    if (!h) return 0;
    if (zefile_try_packed) {
      loaded = ZePPLoad(h, buffer, size, 0);
    } else if (ZeFileOpenSize(h) <= size) {
      ZeFileSeekRetry(h, 0, SCE_SEEK_SET, "ZeFileLoadBuffer - recoverable seek failure - retrying");
      loaded = ZeFileReadRetry(h, buffer, ZeFileOpenSize(h), "ZeFileLoadBuffer - recoverable read failure - retrying");
    } else {
      loaded = -1;
    }
    ZeFileClose(h);
    if (loaded < 0) {
      // Too large for the caller's buffer: nothing is loaded.
      ZeDebugMsg("ZeFileLoadBuffer \"%s\" does not fit in %d bytes", name, size);
      return 0;
    }
  }
  if (loaded) ZeDebugMsg("ZeFileLoadBuffer \"%s\" to %08x size %08x", name, EeAddrOf(buffer), loaded);
  return loaded;
}

void* ZeFileLoad(const char* name) {
  int buffering = zefile_buffering_enabled;
  zefile_buffering_enabled = 0;
  void* block = nullptr;
  if (ZEFILE h = ZeFileOpen(name, 0)) {
    int size = ZeFileOpenSize(h);
    block = ZeMemAllocFn(size, __FILE__, __LINE__);
    ZeFileReadRetry(h, block, size, "ZeFileLoad - recoverable read failure - retrying");
    ZeFileClose(h);
  }
  zefile_buffering_enabled = buffering;
  return block;
}

// ---- memory files ----------------------------------------------------------

ZEFILE ZeMemFileOpen(void* address, int size, int mode) {
  if (size <= 0 || mode != 0) return 0;
  for (int slot = 0; slot < ZEFILE_MEMFILES; slot++) {
    ZEMEMFILE& m = zefile_mem[slot];
    if (m.inuse) continue;
    uint8_t* start = static_cast<uint8_t*>(address);
    m.start = start;
    m.last = start + size - 1;
    m.current = start;
    m.mode = mode;
    m.inuse = 1;
    return ZEFILE_MEMFILE_BASE + slot;
  }
  return 0;
}

void ZeMemFileClose(ZEFILE h) {
  if (h >= ZEFILE_DATFILE_BASE) {
    ZeDatFileClose(h);
    return;
  }
  int slot = h - ZEFILE_MEMFILE_BASE;
  if (slot >= 0 && slot < ZEFILE_MEMFILES) zefile_mem[slot] = {};
}

int ZeMemFileRead(ZEFILE h, void* data, int count) {
  if (h >= ZEFILE_DATFILE_BASE) return ZeDatFileRead(h, data, count);
  ZEMEMFILE* m = MemFileOf(h, "ZeMemFileRead");
  int64_t left = int64_t(m->last.addr) - m->current.addr + 1;
  if (left <= 0 || count <= 0) return 0;
  int n = count < left ? count : int(left);
  memcpy(data, m->current.get(), size_t(n));
  m->current = m->current.get() + n;
  return n;
}

int ZeMemFileSeek(ZEFILE h, int offset, int whence) {
  if (h >= ZEFILE_DATFILE_BASE) return ZeDatFileSeek(h, offset, whence);
  ZEMEMFILE* m = MemFileOf(h, "ZeMemFileSeek");
  int64_t size = int64_t(m->last.addr) - m->start.addr + 1;
  int64_t pos = whence == SCE_SEEK_CUR ? int64_t(m->current.addr) - m->start.addr + offset
              : whence == SCE_SEEK_END ? size - offset : offset;
  // Kept between the start and the end, so reads never leave the block.
  if (pos < 0) pos = 0;
  if (pos > size) pos = size;
  m->current.addr = m->start.addr + uint32_t(pos);
  return int(pos);
}

int ZeMemFilePos(ZEFILE h) {
  if (h >= ZEFILE_DATFILE_BASE) return ZeDatFilePos(h);
  ZEMEMFILE* m = MemFileOf(h, "ZeMemFilePos");
  return int(m->current.addr - m->start.addr);
}

void* ZeMemFileAddr(ZEFILE h) { return MemFileOf(h, "ZeMemFileAddr")->current.get(); }

int ZeMemFileOpenSize(ZEFILE h) {
  ZEMEMFILE* m = MemFileOf(h, "ZeMemFileOpenSize");
  return int(m->last.addr - m->start.addr + 1);
}

// ---- raw platform calls ----------------------------------------------------

int fsOpen(const char* name, int flags) {
  int fd = sceOpen(name, flags);
  if (fd >= SCE_MAX_FILES) ZeError("To many SCE files open");
  return fd;
}
int fsClose(int fd) { return sceClose(fd); }
int fsRead(int fd, void* data, int count) { return sceRead(fd, data, count); }
int fsWrite(int fd, const void* data, int count) { return sceWrite(fd, data, count); }
int fsLseek(int fd, int offset, int whence) { return sceLseek(fd, offset, whence); }

// ---- reset -----------------------------------------------------------------

void ZeFileReset() {
  for (int fd = 0; fd < ZEFILE_RECORDS; fd++) {
    if (fd < SCE_MAX_FILES) sceClose(fd);
    else if (zefile_rec[fd].fd == fd) ZeSoundFClose(fd);
    zefile_rec[fd] = {};
  }
  for (ZEFILEBUF& b : zefile_buf) b.owner = nullptr;
  for (ZEMEMFILE& m : zefile_mem) m = {};
  for (ZEDATMEMBER& m : zedat_member) m = {};
  zedat_current = nullptr;
  ZeFileBlkReset();
}
