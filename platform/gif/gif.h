// The GIF model: GIF packets from path 1 (VU1 XGKICK), path 2 (VIF1 DIRECT)
// and path 3 (the GIF DMA channel), decoded into GS register writes and
// image data. Included from platform.h.
#pragma once

#include <cstdint>

// GIF tag, lower 64 bits; REGS is the upper 64 bits (4 bits a register).
struct GIF_TAG {
  using NLOOP = HwField<0, 15>;
  using EOP = HwField<15, 1>;
  using PRE = HwField<46, 1>;
  using PRIM = HwField<47, 11>;
  using FLG = HwField<58, 2>;
  using NREG = HwField<60, 4>;
};
enum GifFlg { GIF_PACKED = 0, GIF_REGLIST = 1, GIF_IMAGE = 2, GIF_DISABLE = 3 };
// PACKED register descriptors that are not plain registers.
enum GifDesc { GIF_DESC_FOG = 0x0a, GIF_DESC_AD = 0x0e, GIF_DESC_NOP = 0x0f };
enum GifPath { GIF_PATH1 = 1, GIF_PATH2 = 2, GIF_PATH3 = 3 };

void GifReset();  // every path back to expecting a tag; Q = 1.0
// Whole quadwords on a path (a packet may span calls).
void GifWrite(int path, const void* qwords, int count);
// True when the path is between packets (after a tag with EOP, or unused).
bool GifPathIdle(int path);
// Register reads and writes by EE address (GIF_CTRL, GIF_MODE, GIF_STAT).
uint32_t GifRegRead(uint32_t addr);
void GifRegWrite(uint32_t addr, uint32_t value);
