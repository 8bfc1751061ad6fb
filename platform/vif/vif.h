// The VIF model: VIF0 feeds vector unit 0, VIF1 vector unit 1 and GIF path 2.
// Included from platform.h.
#pragma once

#include <cstdint>

// A VIF code: immediate, count and command (with the interrupt bit).
struct VIF_CODE {
  using IMM = HwField<0, 16>;
  using NUM = HwField<16, 8>;
  using CMD = HwField<24, 7>;
  using I = HwField<31, 1>;
};
// UNPACK immediate: address, unsigned, TOPS-relative.
struct VIF_UNPACK {
  using ADDR = HwField<0, 10>;
  using USN = HwField<14, 1>;
  using FLG = HwField<15, 1>;
};

enum VifCmd {
  VIF_NOP = 0x00, VIF_STCYCL = 0x01, VIF_OFFSET = 0x02, VIF_BASE = 0x03, VIF_ITOP = 0x04,
  VIF_STMOD = 0x05, VIF_MSKPATH3 = 0x06, VIF_MARK = 0x07, VIF_FLUSHE = 0x10, VIF_FLUSH = 0x11,
  VIF_FLUSHA = 0x13, VIF_MSCAL = 0x14, VIF_MSCALF = 0x15, VIF_MSCNT = 0x17, VIF_STMASK = 0x20,
  VIF_STROW = 0x30, VIF_STCOL = 0x31, VIF_MPG = 0x4a, VIF_DIRECT = 0x50, VIF_DIRECTHL = 0x51,
  VIF_UNPACK = 0x60,  // 0x60-0x7f: 0x60 | m << 4 | vn << 2 | vl
};

// Resets unit 0 or 1: registers cleared, any command in progress dropped.
void VifReset(int unit);
// Data from the DMA channel, in 32-bit words. Commands may span calls.
void VifWrite(int unit, const uint32_t* words, int count);
// True when the unit waits for a VIF code (no command is taking data).
bool VifIdle(int unit);
// Register reads and writes by EE address (VIFn_STAT .. VIFn_Cn).
uint32_t VifRegRead(uint32_t addr);
void VifRegWrite(uint32_t addr, uint32_t value);

// libdev resets.
void sceDevVif0Reset();
void sceDevVif1Reset();
