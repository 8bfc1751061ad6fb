// Editor file I/O: one buffered file for the editors and page loaders, on
// the host (through the file layer) or on the memory card (port 0, slot 0).
#include "edtools.h"
#include "zecore.h"
#include "zeps2.h"

#include <cstring>

int edfile_media = EDFILE_MEDIA_NONE;
int edfile_handle = -1;
int edfile_write_flag = 0;
unsigned char edfile_buffer[EDFILE_BUFSIZE];
int edfile_buffer_pointer = 0;
int edfile_mcresult = 0;
int edfile_past_end = 0;

namespace {

// A card file opened for writing is created and truncated: a shorter file
// must not keep the tail of a longer one it replaces.
constexpr int MC_WRITE_MODE = SCE_WRONLY | SCE_CREAT | SCE_TRUNC;

bool FileOpen() { return edfile_handle != -1; }

// Bytes of the buffer the last read of a host file filled; the rest lies
// past the file's end.
int g_filled = EDFILE_BUFSIZE;

void HostRead() {
  const int got = ZeFileRead(edfile_handle, edfile_buffer, EDFILE_BUFSIZE);
  g_filled = got > 0 ? got : 0;
}

void MediumWrite(int count) {
  if (edfile_media == EDFILE_MEDIA_HOST) ZeFileWrite(edfile_handle, edfile_buffer, count);
  else if (edfile_media == EDFILE_MEDIA_MEMCARD) ZeMcWrite(edfile_handle, edfile_buffer, count, 0);
}

void MediumRead() {
  if (edfile_media == EDFILE_MEDIA_HOST) HostRead();
  else if (edfile_media == EDFILE_MEDIA_MEMCARD) ZeMcRead(edfile_handle, edfile_buffer, EDFILE_BUFSIZE, 0);
}

// Opens a card file (port 0, slot 0) and waits: the descriptor, or a
// negative result. A refused request is a failed open.
int CardOpen(const char* name, int mode) {
  int r = sceMcOpen(0, 0, name, mode);
  if (r < 0) return r;
  edfile_mcresult = r;
  sceMcSync(0, nullptr, &edfile_mcresult);
  return edfile_mcresult;
}

}  // namespace

void EdFileSetMedia(int medium) {
  // The open file's medium is where its pending bytes go.
  if (FileOpen()) return;
  edfile_media = medium;
}

int EdFileOpen(const char* name, int mode) {
  if (FileOpen()) return 0;
  memset(edfile_buffer, 0, sizeof edfile_buffer);
  edfile_buffer_pointer = 0;
  edfile_handle = -1;
  edfile_write_flag = 0;
  edfile_past_end = 0;
  g_filled = EDFILE_BUFSIZE;
  if (mode != 0 && mode != 1) return 0;
  if (edfile_media == EDFILE_MEDIA_HOST) {
    ZEFILE h = ZeFileOpen(name, mode);
    if (h <= 0) return 0;
    edfile_handle = h;
    edfile_write_flag = mode;
    if (mode == 0) HostRead();
    return 1;
  }
  if (edfile_media == EDFILE_MEDIA_MEMCARD) {
    int fd = CardOpen(name, mode == 0 ? SCE_RDONLY : MC_WRITE_MODE);
    if (fd < 0) return 0;
    edfile_handle = fd;
    edfile_write_flag = mode;
    if (mode == 0) ZeMcRead(fd, edfile_buffer, EDFILE_BUFSIZE, 0);
    return 1;
  }
  return 0;
}

int EdFileClose() {
  if (!FileOpen()) return 0;
  if (edfile_media != EDFILE_MEDIA_HOST && edfile_media != EDFILE_MEDIA_MEMCARD) return 0;
  if (edfile_write_flag) EdFileFlushBuffer();
  if (edfile_media == EDFILE_MEDIA_HOST) ZeFileClose(edfile_handle);
  else ZeMcClose(edfile_handle, 0);
  edfile_media = EDFILE_MEDIA_NONE;
  edfile_handle = -1;
  edfile_write_flag = 0;
  return 1;
}

void EdFileWrite(const void* source, int count) {
  const unsigned char* src = static_cast<const unsigned char*>(source);
  while (count > 0) {
    int room = EDFILE_BUFSIZE - edfile_buffer_pointer;
    if (room == 0) break;  // full with no file to take it: the rest is dropped
    int n = count < room ? count : room;
    memcpy(edfile_buffer + edfile_buffer_pointer, src, size_t(n));
    src += n;
    count -= n;
    edfile_buffer_pointer += n;
    if (edfile_buffer_pointer == EDFILE_BUFSIZE && FileOpen()) EdFileFlushBuffer();
  }
}

void EdFileRead(void* destination, int count) {
  unsigned char* dst = static_cast<unsigned char*>(destination);
  while (count > 0) {
    int left = EDFILE_BUFSIZE - edfile_buffer_pointer;
    if (left == 0) {
      memset(dst, 0, size_t(count));  // used up with no file to refill it
      break;
    }
    int n = count < left ? count : left;
    if (FileOpen() && edfile_buffer_pointer + n > g_filled) edfile_past_end = 1;
    memcpy(dst, edfile_buffer + edfile_buffer_pointer, size_t(n));
    dst += n;
    count -= n;
    edfile_buffer_pointer += n;
    if (edfile_buffer_pointer == EDFILE_BUFSIZE && FileOpen()) EdFileFillBuffer();
  }
}

void EdFileWriteFloat(float value) { EdFileWrite(&value, 4); }
void EdFileWriteInt(int value) { EdFileWrite(&value, 4); }
void EdFileWriteUnsignedInt(unsigned value) { EdFileWrite(&value, 4); }

void EdFileWriteShort(int value) {
  int16_t v = int16_t(value);
  EdFileWrite(&v, 2);
}

void EdFileWriteChar(int value) {
  int8_t v = int8_t(value);
  EdFileWrite(&v, 1);
}

float EdFileReadFloat() {
  float v;
  EdFileRead(&v, 4);
  return v;
}

int EdFileReadInt() {
  int v;
  EdFileRead(&v, 4);
  return v;
}

unsigned EdFileReadUnsignedInt() {
  unsigned v;
  EdFileRead(&v, 4);
  return v;
}

int EdFileReadShort() {
  int16_t v;
  EdFileRead(&v, 2);
  return v;
}

int EdFileReadChar() {
  int8_t v;
  EdFileRead(&v, 1);
  return v;
}

int EdFileWriteMemCard(const char* name, int size, const void* data) {
  // An open file stays as it is: switching it to the card would send its
  // pending bytes there and lose its host handle.
  if (FileOpen()) return 0;
  EdFileSetMedia(EDFILE_MEDIA_MEMCARD);
  if (!EdFileOpen(name, 1)) return 0;
  EdFileWrite(data, size);
  return EdFileClose();
}

int EdFileReadMemCard(const char* name, int size, void* destination) {
  if (FileOpen()) return 0;
  EdFileSetMedia(EDFILE_MEDIA_MEMCARD);
  if (!EdFileOpen(name, 0)) return 0;
  EdFileRead(destination, size);
  return EdFileClose();
}

int EdFileBackup(const char* source, const char* destination) {
  // The copy goes through the editor buffer, which an open file owns; and a
  // file copied onto itself would be truncated before it is read.
  if (FileOpen() || ZeStrICmp(source, destination) == 0) return 0;
  int size = ZeFileSize(source);
  if (size <= 0) return 0;
  ZEFILE in = ZeFileOpen(source, 0);
  if (in <= 0) return 0;
  ZEFILE out = ZeFileOpen(destination, 1);
  if (out <= 0) {
    ZeFileClose(in);
    return 0;
  }
  do {
    int n = size <= EDFILE_BUFSIZE ? size : EDFILE_BUFSIZE;
    int got = ZeFileRead(in, edfile_buffer, n);
    if (got <= 0) break;  // the file is shorter than its size said
    ZeFileWrite(out, edfile_buffer, got);
    size -= EDFILE_BUFSIZE;
  } while (size > 0);
  ZeFileClose(in);
  ZeFileClose(out);
  return 1;
}

void EdFileResetBuffers() {
  memset(edfile_buffer, 0, sizeof edfile_buffer);
  edfile_buffer_pointer = 0;
}

void EdFileFillBuffer() {
  if (!FileOpen()) return;
  MediumRead();
  edfile_buffer_pointer = 0;
}

void EdFileFlushBuffer() {
  if (!FileOpen() || edfile_buffer_pointer == 0) return;
  MediumWrite(edfile_buffer_pointer);
  edfile_buffer_pointer = 0;
}
