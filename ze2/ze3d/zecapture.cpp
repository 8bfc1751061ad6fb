// Screen capture: the displayed picture as a gamma-corrected 24-bit BMP,
// read line by line from video memory, and an uncompressed AVI recorder
// that weaves two fields into each frame. Both write through the file layer.
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "ze3d.h"

namespace {

// ---- writes that remember a failure -----------------------------------------

bool write_failed;

void Put(ZEFILE f, const void* data, int count) {
  if (count > 0 && ZeFileWrite(f, data, count) != count) write_failed = true;
}
void Put32(ZEFILE f, uint32_t v) {
  const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  Put(f, b, 4);
}
void Put16(ZEFILE f, uint16_t v) {
  const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
  Put(f, b, 2);
}
void PutId(ZEFILE f, const char* id) { Put(f, id, 4); }

void WaitVif1Idle() {
  while (VU1_DmaGetStatus()) KernelYield();
}

// The 40-byte bitmap information header of a 24-bit picture.
void PutBitmapInfo(ZEFILE f, int width, int height, int imagebytes) {
  Put32(f, 40);
  Put32(f, uint32_t(width));
  Put32(f, uint32_t(height));
  Put16(f, 1);
  Put16(f, 24);
  Put32(f, 0);
  Put32(f, uint32_t(imagebytes));
  Put32(f, 1);
  Put32(f, 1);
  Put32(f, 0);
  Put32(f, 0);
}

alignas(16) sceGsStoreImage dump_store;

// One line of a display buffer as 32-bit pixels through the store-image path.
void ReadLine(uint32_t* line, int block, int y) {
  sceGsSetDefStoreImage(&dump_store, short(block), short(PS2_REZ_W / 64), PSMCT32, 0, short(y),
                        short(PS2_REZ_W), 1);
  FlushCache(0);
  sceGsExecStoreImage(&dump_store, line);
  sceGsSyncPath(0, 0);
}

// Gamma-corrected and reordered to blue, green, red.
void ConvertLine(uint8_t* out, const uint32_t* line, int width) {
  for (int x = 0; x < width; x++) {
    uint8_t px[4];
    memcpy(px, &line[x], 4);
    GammaCorrect(px);
    out[3 * x] = px[2];
    out[3 * x + 1] = px[1];
    out[3 * x + 2] = px[0];
  }
}

bool FileExists(const char* name) { return ZeFileSize(name) > 0; }

// ---- RIFF chunk stack ---------------------------------------------------------

int chunk_stack[RIFF_STACK];
int chunk_depth;

}  // namespace

int StartChunk(ZEFILE file, const char* id, const char* type) {
  if (chunk_depth == RIFF_STACK) {
    ZeDebugMsg("StartChunk: more than %d open chunks", RIFF_STACK);
    return -1;
  }
  PutId(file, id);
  chunk_stack[chunk_depth] = ZeFilePos(file);
  Put32(file, 0);
  if (type) PutId(file, type);
  return chunk_depth++;
}

void StartChunkLength(ZEFILE file, const char* id, const char* type, int length) {
  uint8_t head[12];
  memcpy(head, id, 4);
  for (int i = 0; i < 4; i++) head[4 + i] = uint8_t(uint32_t(length) >> (8 * i));
  if (type) memcpy(head + 8, type, 4);
  Put(file, head, type ? 12 : 8);
}

int EndChunk(ZEFILE file) {
  if (chunk_depth == 0) {
    ZeDebugMsg("EndChunk: no chunk open");
    return 0;
  }
  const int at = chunk_stack[--chunk_depth];
  const int end = ZeFilePos(file);
  ZeFileSeek(file, at, SCE_SEEK_SET);
  Put32(file, uint32_t(end - (at + 4)));
  ZeFileSeek(file, end, SCE_SEEK_SET);
  return 1;
}

// ---- screen dump ----------------------------------------------------------------

void ZePs2VideoScreenDump(const char* name, int both, int index, float gamma, float brightness) {
  GenerateGammaTable(gamma, brightness);
  char path[256];
  if (index >= 0) {
    snprintf(path, sizeof path, "%s%d.bmp", name, index);
  } else {
    snprintf(path, sizeof path, "%s.bmp", name);
    for (int n = 0; FileExists(path); n++) {
      if (n > 99999) {
        ZeDebugMsg("Screen dump: no free name for %s", name);
        return;
      }
      snprintf(path, sizeof path, "%s%03d.bmp", name, n);
    }
  }
  ZEFILE f = ZeFileOpen(path, 1);
  if (!f) {
    ZeDebugMsg("Screen dump: cannot open %s", path);
    return;
  }
  const int width = PS2_REZ_W;
  const int lines = (both ? 2 : 1) * PS2_REZ_H;
  const int row = ZeBmpRowBytes(width);
  const int image = row * lines;
  write_failed = false;
  Put(f, "BM", 2);
  Put32(f, uint32_t(54 + image));
  Put32(f, 0);
  Put32(f, 54);
  PutBitmapInfo(f, width, lines, image);

  WaitVif1Idle();
  sceGsSyncPath(0, 0);
  const int block1 = PS2_REZ_W * PS2_REZ_H / 64;
  const int a = ((ps2video_swap_count ^ ps2video_field) & 1) == 0 ? block1 : 0;
  const int b = a ? 0 : block1;
  uint32_t* line = static_cast<uint32_t*>(ZeMemAllocTagged(width * 4));
  uint8_t* out = static_cast<uint8_t*>(ZeMemAllocTagged(width * 4));
  if (!line || !out) {
    ZeDebugMsg("Screen dump: out of memory");
    if (line) ZeMemFreeTagged(line);
    if (out) ZeMemFreeTagged(out);
    ZeFileClose(f);
    return;
  }
  memset(out, 0, size_t(width) * 4);  // the row padding
  for (int y = PS2_REZ_H - 1; y >= 0 && !write_failed; y--) {
    if (both) {
      ReadLine(line, a, y);
      ConvertLine(out, line, width);
      Put(f, out, row);
    }
    ReadLine(line, b, y);
    ConvertLine(out, line, width);
    Put(f, out, row);
  }
  if (write_failed) ZeDebugMsg("Screen dump: write to %s failed", path);
  ZeMemFreeTagged(line);
  ZeMemFreeTagged(out);
  ZeFileClose(f);
}

// ---- AVI recorder -----------------------------------------------------------------

namespace {

struct AviState {
  ZEFILE file;
  int width, height, rate, scale;
  int limit, frames, phase;
  int avih_pos, strh_pos;
  int movi_pos;          // file position of the "movi" type field
  uint32_t* index;       // chunk offsets from movi_pos
  uint8_t* staging[2];   // one displayed picture per field phase, 24-bit
  uint8_t* image;        // the composed frame, bottom-up rows
};
AviState avi;

void PutAvih(const AviState& s) {
  const int64_t fps2 = s.rate / 2;
  const int64_t frame = int64_t(s.width) * s.height * 3;
  Put32(s.file, uint32_t(1000000 * int64_t(s.scale) / fps2));
  Put32(s.file, uint32_t(fps2 * frame / s.scale));
  Put32(s.file, 0);
  Put32(s.file, 0x810);  // has index, trust chunk types
  Put32(s.file, uint32_t(s.frames));
  Put32(s.file, 0);
  Put32(s.file, 1);
  Put32(s.file, uint32_t(s.width * s.height * 4));
  Put32(s.file, uint32_t(s.width));
  Put32(s.file, uint32_t(s.height));
  for (int i = 0; i < 4; i++) Put32(s.file, 0);
}

void PutStrh(const AviState& s) {
  PutId(s.file, "vids");
  PutId(s.file, "DIB ");
  Put32(s.file, 0);  // flags
  Put32(s.file, 0);  // priority, language
  Put32(s.file, 0);  // initial frames
  Put32(s.file, uint32_t(s.scale));
  Put32(s.file, uint32_t(s.rate / 2));
  Put32(s.file, 0);
  Put32(s.file, uint32_t(s.frames));
  Put32(s.file, uint32_t(s.width * s.height * 4));
  Put32(s.file, 1);
  Put32(s.file, 0);
  Put16(s.file, 0);
  Put16(s.file, 0);
  Put16(s.file, uint16_t(s.width));
  Put16(s.file, uint16_t(s.height));
}

void FreeRecording() {
  for (void* p : {static_cast<void*>(avi.index), static_cast<void*>(avi.staging[0]),
                  static_cast<void*>(avi.staging[1]), static_cast<void*>(avi.image)})
    if (p) ZeMemFreeTagged(p);
  avi = {};
  ps2video_avi_open = 0;
  ps2video_avi_phase = 0;
  chunk_depth = 0;
}

// A write failed: the file cannot be finished, so the recording ends here.
void AbandonRecording() {
  ZeDebugMsg("AVI: write failed, recording ended");
  ZeFileClose(avi.file);
  FreeRecording();
}

}  // namespace

int ScreenDumpAviBegin(const char* name, int width, int height, int rate, int scale, float gamma,
                       float brightness) {
  if (ps2video_avi_open) {
    ZeDebugMsg("Cannot open new avi, already writing an AVI file");
    return 0;
  }
  // The picture must fit inside the frame (the borders are never negative),
  // rows must need no padding, and the header's divisions must be defined.
  if (width < PS2_REZ_W || height < 2 * PS2_REZ_H || width % 4 || width > 0xffff || height > 0xffff) {
    ZeDebugMsg("Cannot open avi: frame %d x %d must hold %d x %d, width a multiple of 4", width, height, PS2_REZ_W,
               2 * PS2_REZ_H);
    return 0;
  }
  if (rate < 2 || scale < 1) {
    ZeDebugMsg("Cannot open avi: rate %d below 2 or scale %d below 1", rate, scale);
    return 0;
  }
  char dir[ZEFILE_DIRSIZE];
  ZeFileGetCurrentDirectory(dir);
  ZeFileSetCurrentDirectory("");
  const ZEFILE f = ZeFileOpen(name, 1);
  ZeFileSetCurrentDirectory(dir);
  if (!f) {
    ZeDebugMsg("Cannot open avi %s", name);
    return 0;
  }
  avi = {};
  avi.file = f;
  avi.width = width;
  avi.height = height;
  avi.rate = rate;
  avi.scale = scale;
  const int framebytes = width * height * 3;
  avi.limit = 0x3ffff800 / framebytes;
  if (avi.limit > AVI_INDEX_ENTRIES) avi.limit = AVI_INDEX_ENTRIES;
  GenerateGammaTable(gamma, brightness);
  avi.index = static_cast<uint32_t*>(ZeMemAllocTagged(AVI_INDEX_ENTRIES * 4));
  const int picture = PS2_REZ_W * PS2_REZ_H * 4;
  for (uint8_t*& s : avi.staging) {
    s = static_cast<uint8_t*>(ZeMemAllocTagged(picture));
    memset(s, 0, size_t(picture));
  }
  // The frame image: black borders around the woven picture.
  avi.image = static_cast<uint8_t*>(ZeMemAllocTagged(framebytes));
  if (!avi.index || !avi.staging[0] || !avi.staging[1] || !avi.image) {
    ZeDebugMsg("Cannot open avi: out of memory");
    ZeFileClose(f);
    FreeRecording();
    return 0;
  }
  memset(avi.image, 0, size_t(framebytes));

  write_failed = false;
  chunk_depth = 0;
  StartChunk(f, "RIFF", "AVI ");
  StartChunk(f, "LIST", "hdrl");
  StartChunkLength(f, "avih", nullptr, 56);
  avi.avih_pos = ZeFilePos(f);
  PutAvih(avi);
  StartChunk(f, "LIST", "strl");
  StartChunkLength(f, "strh", nullptr, 56);
  avi.strh_pos = ZeFilePos(f);
  PutStrh(avi);
  StartChunkLength(f, "strf", nullptr, 40);
  PutBitmapInfo(f, width, height, framebytes);
  EndChunk(f);
  EndChunk(f);
  const int junk = AVI_MOVI_START - 12 - (ZeFilePos(f) + 8);
  StartChunkLength(f, "JUNK", nullptr, junk);
  static const uint8_t zeros[256] = {};
  for (int left = junk; left > 0; left -= 256) Put(f, zeros, left < 256 ? left : 256);
  StartChunk(f, "LIST", "movi");
  avi.movi_pos = ZeFilePos(f) - 4;
  if (write_failed) {
    AbandonRecording();
    return 0;
  }
  ps2video_avi_open = 1;
  ps2video_avi_phase = 0;
  return 1;
}

int ScreenDumpAviFrame() {
  if (!ps2video_avi_open || avi.frames >= avi.limit) return 0;
  const int W = PS2_REZ_W, H = PS2_REZ_H;
  // The displayed buffer: buffer 1 after an even number of swaps.
  ZePs2GrabScreen(avi.staging[avi.phase], 1, 0, 0, W, H);
  if (avi.phase == 0) {
    const int left = (avi.width - W) / 2, top = (avi.height - 2 * H) / 2;
    const int row = avi.width * 3;
    // Each render line gives two frame lines, phase 1's then phase 0's;
    // rows are stored bottom-up.
    for (int y = 0; y < 2 * H; y++) {
      const uint8_t* src = avi.staging[(y & 1) ? 0 : 1] + (y >> 1) * W * 3;
      uint8_t* dst = avi.image + (avi.height - 1 - (top + y)) * row + left * 3;
      for (int x = 0; x < W; x++) {
        dst[3 * x] = gamma_table[src[3 * x + 2]];
        dst[3 * x + 1] = gamma_table[src[3 * x + 1]];
        dst[3 * x + 2] = gamma_table[src[3 * x]];
      }
    }
    const int bytes = avi.width * avi.height * 3;
    write_failed = false;
    avi.index[avi.frames] = uint32_t(ZeFilePos(avi.file) - avi.movi_pos);
    StartChunkLength(avi.file, "00db", nullptr, bytes);
    Put(avi.file, avi.image, bytes);
    if (write_failed) {
      AbandonRecording();
      return 0;
    }
    avi.frames++;
  }
  avi.phase ^= 1;
  ps2video_avi_phase = avi.phase;
  return 1;
}

void ScreenDumpAviEnd() {
  if (!ps2video_avi_open) {
    ZeDebugMsg("Cannot end avi, no avi file currently open");
    return;
  }
  ZEFILE f = avi.file;
  write_failed = false;
  EndChunk(f);  // movi
  StartChunkLength(f, "idx1", nullptr, 16 * avi.frames);
  const uint32_t length = uint32_t(avi.width * avi.height * 3);
  for (int i = 0; i < avi.frames; i++) {
    PutId(f, "00db");
    Put32(f, 0x10);  // key frame
    Put32(f, avi.index[i]);
    Put32(f, length);
  }
  EndChunk(f);  // RIFF
  const int end = ZeFilePos(f);
  ZeFileSeek(f, avi.avih_pos, SCE_SEEK_SET);
  PutAvih(avi);
  ZeFileSeek(f, avi.strh_pos, SCE_SEEK_SET);
  PutStrh(avi);
  ZeFileSeek(f, end, SCE_SEEK_SET);
  if (write_failed) ZeDebugMsg("AVI: write failed while closing the recording");
  ZeFileClose(f);
  FreeRecording();
}
