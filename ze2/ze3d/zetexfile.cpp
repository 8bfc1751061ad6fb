// zetexfile: bitmap files (Windows BMP, uncompressed, 4, 8, 24 or 32 bits)
// read into images, and native texture data (the header and prebuilt
// upload packets of a texture, as .pnt files and inside font, scene and
// model files) made into textures in place and written from live ones.
#include "ze3d.h"
#include "zecore.h"
#include "zetex_local.h"

#include <cstring>

namespace {

constexpr int BMP_FILE_HEADER = 14;
constexpr int BMP_INFO_HEADER = 40;
// Textures are at most 1024 texels wide and high; a header asking for more
// than this is damaged.
constexpr int BMP_MAX_SIZE = 4096;

uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

struct BmpInfo {
  int type, bits, width, height, palbytes;
  uint32_t dataOffset;
  int rowBytes;   // a row in the image: (width x bits + 7) / 8
  int fileRow;    // a row in the file: padded to 4 bytes
};

// Checks the two headers; false (with the reason in *why) for anything the
// reader cannot take: no "BM", another information header, compression,
// sizes out of range, a bad bit count.
bool ParseBmp(const uint8_t* h, BmpInfo* b, const char** why) {
  b->bits = U16(h + 28);
  switch (b->bits) {
    case 4: b->type = ZETEX_PAL4, b->palbytes = 64; break;
    case 8: b->type = ZETEX_PAL8, b->palbytes = 1024; break;
    case 24: b->type = ZETEX_RGB24, b->palbytes = 0; break;
    case 32: b->type = ZETEX_RGBA32, b->palbytes = 0; break;
    default: *why = "bitcount"; return false;
  }
  b->width = int(U32(h + 18));
  b->height = int(U32(h + 22));
  b->dataOffset = U32(h + 10);
  *why = "header";
  if (h[0] != 'B' || h[1] != 'M' || U32(h + 14) != BMP_INFO_HEADER || U32(h + 30) != 0) return false;
  if (b->width <= 0 || b->height <= 0 || b->width > BMP_MAX_SIZE || b->height > BMP_MAX_SIZE) return false;
  if (b->dataOffset < uint32_t(BMP_FILE_HEADER + BMP_INFO_HEADER + b->palbytes)) return false;
  b->rowBytes = (b->width * b->bits + 7) / 8;
  b->fileRow = (b->width * b->bits + 31) / 32 * 4;
  return true;
}

// BMP palette entries B, G, R, reserved become R, G, B, reserved, in the
// file reader and the memory reader alike.
void CopyPalette(uint8_t* dst, const uint8_t* src, int bytes) {
  for (int i = 0; i < bytes; i += 4) {
    dst[i] = src[i + 2];
    dst[i + 1] = src[i + 1];
    dst[i + 2] = src[i];
    dst[i + 3] = src[i + 3];
  }
}

// Memory for the reader: from the caller's buffer (16-aligned, the
// pointer advanced; past the end is fatal) or from the heap.
void* Take(char** buffer, char* end, int bytes) {
  if (!buffer) return ZeMemAlloc(bytes);
  uintptr_t p = (reinterpret_cast<uintptr_t>(*buffer) + 15) & ~uintptr_t(15);
  if (p > reinterpret_cast<uintptr_t>(end) || reinterpret_cast<uintptr_t>(end) - p < uintptr_t(bytes)) {
    ZeError("Buffer overflow");
    return nullptr;
  }
  *buffer = reinterpret_cast<char*>(p + uintptr_t(bytes));
  return reinterpret_cast<void*>(p);
}

// Turns level 0 upside down, exchanging rows from the outside in.
void FlipRows(uint8_t* t, int rowBytes, int height, uint8_t* row) {
  for (int y = 0; y < height / 2; y++) {
    uint8_t* a = t + size_t(y) * size_t(rowBytes);
    uint8_t* b = t + size_t(height - 1 - y) * size_t(rowBytes);
    memcpy(row, a, size_t(rowBytes));
    memcpy(a, b, size_t(rowBytes));
    memcpy(b, row, size_t(rowBytes));
  }
}

// Bytes of level 0 in the image: a whole number of bytes per row.
int Level0Bytes(const BmpInfo& b) { return b.rowBytes * b.height; }

}  // namespace

ZETEX* ZeTexReadBitmap(const char* name) { return ZeTexReadBitmapMMEx(name, 0, nullptr, nullptr); }

ZETEX* ZeTexReadBitmapMM(const char* name, int n) { return ZeTexReadBitmapMMEx(name, n, nullptr, nullptr); }

ZETEX* ZeTexReadBitmapMMEx(const char* name, int n, char** buffer, char* end) {
  if (!name) {
    ZeError("assert");
    return nullptr;
  }
  ZEFILE f = ZeFileOpen(name, 0);
  if (!f) return nullptr;
  auto* img = static_cast<ZETEX*>(Take(buffer, end, int(sizeof(ZETEX))));
  memset(img, 0, sizeof *img);
  uint8_t h[BMP_FILE_HEADER + BMP_INFO_HEADER];
  BmpInfo b;
  const char* why;
  if (ZeFileRead(f, h, int(sizeof h)) != int(sizeof h)) {
    ZeFileClose(f);
    ZeError("ZeTexLoadBitmap: bitmap <%s> is too short", name);
    return nullptr;
  }
  if (!ParseBmp(h, &b, &why)) {
    ZeFileClose(f);
    if (why[0] == 'b') ZeError("ZeTexLoadBitmap:Bad BitCount <%d> on loading bitmap <%s>", U16(h + 28), name);
    ZeError("ZeTexLoadBitmap: bad header in bitmap <%s>", name);
    return nullptr;
  }
  uint8_t pal[1024];
  if (b.palbytes && ZeFileRead(f, pal, b.palbytes) != b.palbytes) {
    ZeFileClose(f);
    ZeError("ZeTexLoadBitmap: bitmap <%s> is too short", name);
    return nullptr;
  }
  if (n > 0 && b.type != ZETEX_RGB24) {
    ZeFileClose(f);
    ZeError("Doh");
    return nullptr;
  }
  img->type = b.type;
  img->width = b.width;
  img->height = b.height;
  img->mipcount = n + 1;
  int total = Level0Bytes(b);
  for (int i = 1; i <= n; i++) total += ZeTexImgSize(b.type, b.width >> i, b.height >> i);
  auto* t = static_cast<uint8_t*>(Take(buffer, end, total + b.palbytes));
  img->texels = t;

  FlushCache(0);
  ZeFileSeek(f, int(b.dataOffset), SCE_SEEK_SET);
  // Rows in the file are padded to 4 bytes; the image keeps whole bytes
  // only (the last row's padding may be missing).
  for (int y = 0; y < b.height; y++) {
    uint8_t pad[4];
    const int skip = y + 1 < b.height ? b.fileRow - b.rowBytes : 0;
    if (ZeFileRead(f, t + size_t(y) * size_t(b.rowBytes), b.rowBytes) != b.rowBytes ||
        (skip && ZeFileRead(f, pad, skip) != skip)) {
      ZeFileClose(f);
      ZeError("ZeTexLoadBitmap: bitmap <%s> is too short", name);
      return nullptr;
    }
  }
  uint8_t* row = static_cast<uint8_t*>(buffer ? Take(buffer, end, b.rowBytes) : ZeMemAlloc(b.rowBytes));
  FlipRows(t, b.rowBytes, b.height, row);
  if (!buffer) ZeMemFree(row);

  // Further levels (24-bit only): every 2^i-th texel of every 2^i-th row.
  uint8_t* d = t + Level0Bytes(b);
  for (int i = 1; i <= n; i++) {
    const int w = b.width >> i, hh = b.height >> i;
    for (int y = 0; y < hh; y++)
      for (int x = 0; x < w; x++) {
        memcpy(d, t + (size_t(y << i) * size_t(b.width) + size_t(x << i)) * 3, 3);
        d += 3;
      }
  }
  if (b.palbytes) {
    CopyPalette(d, pal, b.palbytes);
    img->palette = d;
  }
  ZeFileClose(f);
  return img;
}

ZETEX* ZeTexReadBitmapMem(const void* data) {
  const auto* m = static_cast<const uint8_t*>(data);
  BmpInfo b;
  const char* why;
  if (!ParseBmp(m, &b, &why)) {
    if (why[0] == 'b') ZeError("ZeTexLoadBitmap:Bad BitCount <%d> on loading memory bitmap", U16(m + 28));
    ZeError("ZeTexLoadBitmap: bad header in memory bitmap");
    return nullptr;
  }
  auto* img = static_cast<ZETEX*>(ZeMemAlloc(int(sizeof(ZETEX))));
  memset(img, 0, sizeof *img);
  img->type = b.type;
  img->width = b.width;
  img->height = b.height;
  auto* t = static_cast<uint8_t*>(ZeMemAlloc(Level0Bytes(b) + b.palbytes));
  img->texels = t;
  for (int y = 0; y < b.height; y++)
    memcpy(t + size_t(b.height - 1 - y) * size_t(b.rowBytes), m + b.dataOffset + size_t(y) * size_t(b.fileRow),
           size_t(b.rowBytes));
  if (b.palbytes) {
    CopyPalette(t + Level0Bytes(b), m + BMP_FILE_HEADER + BMP_INFO_HEADER, b.palbytes);
    img->palette = t + Level0Bytes(b);
  }
  return img;
}

// ---- native data ---------------------------------------------------------------

namespace {

// A level packet of a 1024 x 1024 32-bit level with its chunk tags is
// about 4 MB; a block size beyond this is damaged.
constexpr uint32_t NATIVE_MAX_LEVEL = 8 * 1024 * 1024;

bool HasPaletteBlock(int type) { return type >= ZETEX_PAL4 && type <= ZETEX_PAL8_SWZ; }

int FloorLog2(int v) {
  int n = 0;
  while (n < 30 && (2 << n) <= v) n++;
  return n;
}

// A prebuilt packet of len bytes is DMA-called where it lies: it must be
// chunks of CNT tags ending with a RET tag, every chunk inside the packet,
// so that the transfer neither runs past the data nor goes elsewhere.
bool PacketSound(const uint8_t* p, uint32_t len) {
  for (uint32_t at = 0; len - at >= 16;) {
    const uint32_t tag = U32(p + at);
    const uint32_t id = (tag >> 28) & 7, next = at + 16 + (tag & 0xffff) * 16;
    if (next > len || (id != DMATAG_CNT && id != DMATAG_RET)) return false;
    if (id == DMATAG_RET) return true;
    at = next;
  }
  return false;
}

}  // namespace

ZETEXID ZeTexCreateNative(const void* data) { return ZeTexCreateNativeEx(data, 0x7fffffff); }

ZETEXID ZeTexCreateNativeEx(const void* data, int size) {
  const auto* h = static_cast<const uint8_t*>(data);
  // Every block must lie inside the size bytes of data.
  const uint32_t limit = size > 0 ? uint32_t(size) : 0;
  auto inside = [&](const uint8_t* from, uint32_t bytes) {
    const uint32_t at = uint32_t(from - h);
    return at <= limit && bytes <= limit - at;
  };
  if (!inside(h, 16)) return 0;
  const int version = U16(h + 2);
  if (version != 0 && version != 1) return 0;
  const int width = version ? U16(h) : int(U32(h));
  const int height = version ? U16(h + 4) : int(U32(h + 4));
  const int type = h[12];
  const int levels = version ? (h[15] & 0x7f) : h[14];
  // A damaged header must not index past the record's level tables.
  if (levels > ZEPS2TEX_LEVELS || type >= ZETEX_TYPE_COUNT || type == ZETEX_NRMMAP_SRC) return 0;
  ZEPS2TEX rec;
  memset(&rec, 0, sizeof rec);
  ZEPS2TEX* r = &rec;
  r->levels = uint8_t(levels);
  r->psm = h[13];
  r->xfer_psm = version ? h[14] : h[13];
  r->tcc = uint8_t(version ? h[15] >> 7 : h[15] & 1);
  r->texa_mode = type <= ZETEX_PAL8_SWZ ? zetex_fmt[type].texa : 0;
  r->vram_size = uint16_t(U32(h + 8));
  // Packets are DMA-called where they lie: they must be whole quadwords
  // of plausible size on 16-byte boundaries.
  auto aligned = [](const uint8_t* p) { return (reinterpret_cast<uintptr_t>(p) & 15) == 0; };
  const uint8_t* block = h + 16;
  if (!aligned(h)) return 0;
  if (HasPaletteBlock(type)) {
    if (!inside(block, 16)) return 0;
    const uint32_t size = U32(block);
    if (size < 32 || size > 0x10000 || (size & 15) || !inside(block, size)) return 0;
    // The palette's entries are rewritten in place (ZeTexPalChange).
    if (size - 16 < uint32_t(ZEPS2_PAL_HEADER + 4 * ZeTexPalEntries(r)) || !PacketSound(block + 16, size - 16))
      return 0;
    r->pal_packet = const_cast<uint32_t*>(reinterpret_cast<const uint32_t*>(block + 16));
    r->pal_size = uint16_t(size - 16);
    r->clut_vram = uint16_t(U32(block + 4));
    r->cbw = uint16_t(U32(block + 8));
    r->cpsm = uint16_t(U32(block + 12));
    block += size;
  }
  const uint32_t head = version ? 20 : 16;
  for (int i = 0; i < levels; i++) {
    if (!inside(block, head)) return 0;
    const uint32_t size = U32(block);
    const uint32_t pad = U32(block + head - 4);
    if (size <= head || size > NATIVE_MAX_LEVEL || pad >= 128 || !inside(block, size + pad)) return 0;
    const uint8_t* packet = block + head + pad;
    if (!aligned(packet) || !PacketSound(packet, size - head)) return 0;
    r->level_packet[i] = const_cast<uint32_t*>(reinterpret_cast<const uint32_t*>(packet));
    r->level_size[i] = size - head;
    r->level_vram[i] = U32(block + 4);
    r->level_tbw[i] = uint16_t(U32(block + 8));
    r->level_dbw[i] = uint16_t(U32(block + (version ? 12 : 8)));
    block += size + pad;
  }
  r->tw = uint16_t(FloorLog2(width));
  r->th = uint16_t(FloorLog2(height));
  ZeDisableVBlank();
  ZETEXSLOT* s = ZeTexTakeSlot();
  if (!s) {
    ZeEnableVBlank();
    return 0;
  }
  s->tex.type = type;
  s->tex.width = width;
  s->tex.height = height;
  s->tex.mipcount = levels - 1;
  s->ps2 = rec;
  ZeTexCommitSlot(s, ZETEXSLOT_NOTOWNED);
  ZeEnableVBlank();
  return int(s - zetex_slots) + 1;
}

ZETEXID ZeTexReadNative(const char* name, void* buffer, int size, int* used) {
  uintptr_t a = (reinterpret_cast<uintptr_t>(buffer) + 15) & ~uintptr_t(15);
  const int pad = int(a - reinterpret_cast<uintptr_t>(buffer));
  if (size <= pad) return 0;
  const int loaded = ZeFileLoadBuffer(name, reinterpret_cast<void*>(a), size - pad);
  if (loaded <= 0) return 0;
  if (used) *used = pad + loaded;
  return ZeTexCreateNativeEx(reinterpret_cast<void*>(a), loaded);
}

int ZeTexRecoverNativeData(ZETEXID id, void* buffer, int size) {
  return ZeTexRecoverNativeDataEx(id, buffer, size, 1, 1, 1);
}

int ZeTexRecoverNativeDataEx(ZETEXID id, void* buffer, int size, int header, int palette, int levels) {
  ZETEXSLOT* s = ZeTexLiveSlot(id);
  if (!s) return 0;
  const ZEPS2TEX* r = &s->ps2;
  auto* base = static_cast<uint8_t*>(buffer);
  const uintptr_t end = reinterpret_cast<uintptr_t>(base) + uintptr_t(size);
  // Every block must end before the end of the buffer.
  auto fits = [&](const uint8_t* from, uint32_t bytes) {
    if (reinterpret_cast<uintptr_t>(from) + bytes >= end) ZeError("Recovery buffer overflow");
  };
  if (header) {
    fits(base, 16);
    Put16(base, uint16_t(s->tex.width));
    Put16(base + 2, 1);
    Put16(base + 4, uint16_t(s->tex.height));
    Put16(base + 6, 0);
    Put32(base + 8, r->vram_size);
    base[12] = uint8_t(s->tex.type);
    base[13] = r->psm;
    base[14] = r->xfer_psm;
    base[15] = uint8_t((r->levels & 0x7f) | (r->tcc ? 0x80 : 0));
  }
  uint8_t* p = base + 16;
  if (palette && HasPaletteBlock(s->tex.type) && r->pal_packet) {
    const uint32_t bytes = (uint32_t(r->pal_size) + 15) & ~15u;
    fits(p, bytes + 16);
    Put32(p, bytes + 16);
    Put32(p + 4, r->clut_vram);
    Put32(p + 8, r->cbw);
    Put32(p + 12, r->cpsm);
    memset(p + 16, 0, bytes);
    memcpy(p + 16, r->pal_packet.get(), r->pal_size);
    p += 16 + bytes;
  }
  if (levels) {
    for (int i = 0; i < r->levels; i++) {
      const uint32_t bytes = (r->level_size[i] + 15) & ~15u;
      // The packet starts on a 128-byte boundary of the data (16 bytes
      // before one when textures go up on path 3).
      const uint32_t at = uint32_t(p - base) + 20;
      uint32_t pad = (128 - at % 128) % 128;
      if (zetex_use_path3) pad = (128 - (at + 16) % 128) % 128;
      fits(p, 20 + pad + bytes);
      Put32(p, bytes + 20);
      Put32(p + 4, r->level_vram[i]);
      Put32(p + 8, r->level_tbw[i]);
      Put32(p + 12, r->level_dbw[i]);
      Put32(p + 16, pad);
      memset(p + 20, 0, pad + bytes);
      memcpy(p + 20 + pad, r->level_packet[i].get(), r->level_size[i]);
      p += 20 + pad + bytes;
    }
  }
  return int(p - base);
}
