// Shared by the renderer's fuzz targets (textures, fonts).
#pragma once

#include "fuzz.h"
#include "ze3d.h"
#include "zecore.h"
#include "zecore_local.h"

// The start of every input: messages off, files on the host and a texture
// table of a few slots (its memory kept from the first input on); what the
// input allocates later and abandons is freed after it.
inline void FuzzTexStart() {
  constexpr int SLOTS = 8;
  static char* table;
  errmsg_disabled = 1;
  errmsg_to_console = 0;
  if (!table) {
    table = static_cast<char*>(ZeMemAlloc(ZeTexGetSysBuffSize(SLOTS) + 16));
    FuzzDir();
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  }
  FuzzFreeAbandoned();
  char* t = table;
  ZeTexInitEx(&t, SLOTS);
}

// The BMP memory reader takes a whole file from a caller that knows its
// size: its header, palette and rows must lie inside the bytes given (a
// header the reader refuses passes).
inline bool FuzzBmpInside(const uint8_t* d, size_t size) {
  auto u32 = [&](int at) { return uint32_t(d[at]) | uint32_t(d[at + 1]) << 8 | uint32_t(d[at + 2]) << 16 | uint32_t(d[at + 3]) << 24; };
  if (size < 54) return false;
  const int bits = d[28] | d[29] << 8;
  const int64_t w = int32_t(u32(18)), h = int32_t(u32(22));
  if (w <= 0 || h <= 0 || w > 4096 || h > 4096) return true;
  const int64_t row = (w * bits + 31) / 32 * 4;
  const int64_t pal = bits == 4 ? 64 : bits == 8 ? 1024 : 0;
  return 54 + pal <= int64_t(size) && int64_t(u32(10)) + row * h <= int64_t(size);
}
