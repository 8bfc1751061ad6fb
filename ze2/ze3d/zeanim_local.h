// Shared by the animation modules: key counting on the bit-count table.
#pragma once

#include "ze3d.h"

// Counts read from streams and sizes of heap records are kept below this.
constexpr int ZEANIM_MAXCOUNT = 1 << 20;

// Keys a chunk's mask holds.
inline int ZeAnimMaskKeys(const uint8_t* m) {
  return bitCountTable[m[0]] + bitCountTable[m[1]] + bitCountTable[m[2]] + bitCountTable[m[3]];
}

// Keys at or before the time's slot: the previous key is that count - 1.
inline int ZeAnimKeysTo(const uint8_t* m, const ZEANIMTIME* t) {
  int n = bitCountTable[m[t->maskbyte] & t->keymask];
  for (uint32_t b = 0; b < t->maskbyte; b++) n += bitCountTable[m[b]];
  return n;
}
