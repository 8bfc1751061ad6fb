// The DMA controller model and the hardware register accessors.
// Included from platform.h; system code writes the console's registers by
// their EE addresses through EeRegWrite/EeRegRead.
#pragma once

#include <cstdint>

// ===================================================================
// Register fields: one definition for reading and writing
// ===================================================================
template <int Shift, int Width>
struct HwField {
  static_assert(Shift >= 0 && Width > 0 && Width < 64 && Shift + Width <= 64);
  static constexpr uint64_t ONES = (uint64_t(1) << Width) - 1;
  static constexpr uint64_t MASK = ONES << Shift;
  static constexpr uint64_t get(uint64_t reg) { return (reg >> Shift) & ONES; }
  static constexpr uint64_t set(uint64_t reg, uint64_t v) { return (reg & ~MASK) | ((v << Shift) & MASK); }
  static constexpr uint64_t make(uint64_t v) { return (v << Shift) & MASK; }
};

// Channel control register.
struct DMA_CHCR {
  using DIR = HwField<0, 1>;   // 1: from memory
  using MOD = HwField<2, 2>;   // 0 normal, 1 source chain, 2 interleave
  using ASP = HwField<4, 2>;   // call stack depth
  using TTE = HwField<6, 1>;   // transfer the tag's upper 64 bits (the VIF words)
  using TIE = HwField<7, 1>;   // stop and interrupt on a tag with IRQ
  using STR = HwField<8, 1>;   // start / busy
  using TAG = HwField<16, 16>; // bits 16-31 of the last tag read
};

// Source-chain tag (first 64 bits of the tag quadword).
struct DMA_TAG {
  using QWC = HwField<0, 16>;
  using PCE = HwField<26, 2>;
  using ID = HwField<28, 3>;
  using IRQ = HwField<31, 1>;
  using ADDR = HwField<32, 31>;
  using SPR = HwField<63, 1>;  // ADDR is in the scratchpad
};
enum DmaTagId { DMA_REFE = 0, DMA_CNT = 1, DMA_NEXT = 2, DMA_REF = 3, DMA_REFS = 4, DMA_CALL = 5,
                DMA_RET = 6, DMA_END = 7 };

// ===================================================================
// Hardware registers by EE address
// ===================================================================
// Timers, the GIF and VIF registers and the DMA controller, 32 bits each.
// A write of CHCR with STR set starts the channel at once (unless DMA is
// suspended through D_ENABLEW or disabled in D_CTRL); the transfer runs to
// its end (or to a tag interrupt) before the write returns. An address
// that is not modelled is a platform fatal error.
uint32_t EeRegRead(uint32_t addr);
void EeRegWrite(uint32_t addr, uint32_t value);

enum EeRegAddr : uint32_t {
  T0_COUNT = 0x10000000, T0_MODE = 0x10000010, T0_COMP = 0x10000020, T0_HOLD = 0x10000030,
  T1_COUNT = 0x10000800, T1_MODE = 0x10000810, T1_COMP = 0x10000820, T1_HOLD = 0x10000830,
  T2_COUNT = 0x10001000, T2_MODE = 0x10001010, T2_COMP = 0x10001020,
  T3_COUNT = 0x10001800, T3_MODE = 0x10001810, T3_COMP = 0x10001820,

  GIF_CTRL = 0x10003000, GIF_MODE = 0x10003010, GIF_STAT = 0x10003020,

  VIF0_STAT = 0x10003800, VIF0_FBRST = 0x10003810, VIF0_ERR = 0x10003820, VIF0_MARK = 0x10003830,
  VIF0_CYCLE = 0x10003840, VIF0_MODE = 0x10003850, VIF0_NUM = 0x10003860, VIF0_MASK = 0x10003870,
  VIF0_CODE = 0x10003880, VIF0_ITOPS = 0x10003890, VIF0_ITOP = 0x100038d0,
  VIF0_R0 = 0x10003900, VIF0_C0 = 0x10003940,
  VIF1_STAT = 0x10003c00, VIF1_FBRST = 0x10003c10, VIF1_ERR = 0x10003c20, VIF1_MARK = 0x10003c30,
  VIF1_CYCLE = 0x10003c40, VIF1_MODE = 0x10003c50, VIF1_NUM = 0x10003c60, VIF1_MASK = 0x10003c70,
  VIF1_CODE = 0x10003c80, VIF1_ITOPS = 0x10003c90, VIF1_BASE = 0x10003ca0, VIF1_OFST = 0x10003cb0,
  VIF1_TOPS = 0x10003cc0, VIF1_ITOP = 0x10003cd0, VIF1_TOP = 0x10003ce0,
  VIF1_R0 = 0x10003d00, VIF1_C0 = 0x10003d40,  // R0-R3 and C0-C3 every 0x10

  D0_CHCR = 0x10008000, D0_MADR = 0x10008010, D0_QWC = 0x10008020, D0_TADR = 0x10008030,
  D0_ASR0 = 0x10008040, D0_ASR1 = 0x10008050,
  D1_CHCR = 0x10009000, D1_MADR = 0x10009010, D1_QWC = 0x10009020, D1_TADR = 0x10009030,
  D1_ASR0 = 0x10009040, D1_ASR1 = 0x10009050,
  D2_CHCR = 0x1000a000, D2_MADR = 0x1000a010, D2_QWC = 0x1000a020, D2_TADR = 0x1000a030,
  D2_ASR0 = 0x1000a040, D2_ASR1 = 0x1000a050,
  D8_CHCR = 0x1000d000, D8_MADR = 0x1000d010, D8_QWC = 0x1000d020, D8_SADR = 0x1000d080,
  D9_CHCR = 0x1000d400, D9_MADR = 0x1000d410, D9_QWC = 0x1000d420, D9_TADR = 0x1000d430,
  D9_SADR = 0x1000d480,
  D_CTRL = 0x1000e000, D_STAT = 0x1000e010, D_PCR = 0x1000e020, D_SQWC = 0x1000e030,
  D_RBSR = 0x1000e040, D_RBOR = 0x1000e050, D_STADR = 0x1000e060,
  D_ENABLER = 0x1000f520, D_ENABLEW = 0x1000f590,
};
constexpr uint32_t D_ENABLE_SUSPEND = 0x10000;  // D_ENABLEW/R bit 16: all channels held

// ===================================================================
// DMA controller model
// ===================================================================
// Channels 0 (VIF0), 1 (VIF1), 2 (GIF), 8 (from scratchpad) and 9 (to
// scratchpad). Normal and source-chain modes; every transfer is processed
// synchronously, then D_STAT's channel bit is set and the DMA-end interrupt
// raised (delivered by the kernel at the next safe point).

// One channel's registers as the console lays them out (0x10 apart).
struct sceDmaChan {
  uint32_t chcr; uint32_t p0[3];
  uint32_t madr; uint32_t p1[3];
  uint32_t qwc;  uint32_t p2[3];
  uint32_t tadr; uint32_t p3[3];
  uint32_t asr0; uint32_t p4[3];
  uint32_t asr1; uint32_t p5[3];
  uint32_t p6[8];
  uint32_t sadr; uint32_t p7[3];
};
static_assert(sizeof(sceDmaChan) == 0x90);

void DmaReset();  // every register to its reset state, D_CTRL enabled
// The memory a channel would read for bytes at addr (bit 31: the
// scratchpad), or null when a transfer there would be refused. For chain
// walkers that must not follow a bad address.
void* DmaMemory(uint32_t addr, uint32_t bytes);
// Tests: count of quadwords read from memory since the reset (tags included).
uint64_t DmaQwordsMoved();

// libdma: the channel's register record (writes of STR through it do not
// start anything: starts go through EeRegWrite).
sceDmaChan* sceDmaGetChan(int id);
void sceDmaReset(int mode);  // mode 1: enable the controller
