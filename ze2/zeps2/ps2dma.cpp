// ps2dma: the writers of DMA tags, VIF DIRECT codes and GIF tags, the
// channel starts and their busy flags, the scratchpad stack, and the chain
// inspector and checksum.
#include "zeps2.h"
#include "zecore.h"

#include <cstdarg>
#include <cstring>

// ---- packet-kind markers ------------------------------------------------

const char* const ps2dma_marker_name[DMAMK_COUNT] = {
    "unknown", "MTL", "TXTRSET", "TXTRLOAD", "GEOMCALL", "GOBJDATA", "SKINDATA", "SKINHDR", "SKINMTX",
    "BEGINSCENE FB", "BEGINSCENE FBT", "BEGINSCENE ZB", "BEGINSCENE ZBS", "STREAMFLUSHLNK", "TEXTPRINT",
    "CLEARSCREEN", "GRADCLEARSCREEN", "CLIPTRI3D", "CLIPQUAD3D", "CLIPTRISTRIP3D", "MTXLOAD", "LIGHTLOAD",
    "FXMTXLOAD", "SPECLOAD", "FREE", "TXTREND",
};
const uint8_t ps2dma_marker_skip[DMAMK_COUNT] = {0, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0,
                                                 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};

// ---- DMA tags, DIRECT codes and GIF tags -------------------------------

uint32_t* ps2dma_dt_curr = nullptr;
uint32_t* ps2dma_gt_curr = nullptr;
uint32_t* ps2dma_vt_curr = nullptr;

namespace {

uint32_t Addr(const void* p) { return p ? EeAddrOf(p) : 0; }

// One whole tag quadword; opening tags become the open DMA tag.
uint32_t* Tag(uint32_t* p, uint32_t word0, const void* addr, uint32_t vif0, uint32_t vif1, bool open) {
  p[0] = word0;
  p[1] = Addr(addr);
  p[2] = vif0;
  p[3] = vif1;
  if (open) ps2dma_dt_curr = p;
  return p + 4;
}

constexpr uint32_t Id(uint32_t id) { return id << 28; }

// Zero words (VIF NOPs) up to the next quadword boundary.
uint32_t* PadTo16(uint32_t* p) {
  while (reinterpret_cast<uintptr_t>(p) & 15) *p++ = 0;
  return p;
}

}  // namespace

uint32_t* vpDmaTag_Cnt(uint32_t* p) { return Tag(p, Id(DMATAG_CNT), nullptr, 0, 0, true); }
uint32_t* vpDmaTag_CntEx(uint32_t* p, uint32_t vif0, uint32_t vif1) { return Tag(p, Id(DMATAG_CNT), nullptr, vif0, vif1, true); }
uint32_t* vpDmaTag_Next(uint32_t* p, const void* addr) { return Tag(p, Id(DMATAG_NEXT), addr, 0, 0, true); }
uint32_t* vpDmaTag_NextEx(uint32_t* p, const void* addr, uint32_t vif0, uint32_t vif1) {
  return Tag(p, Id(DMATAG_NEXT), addr, vif0, vif1, true);
}
uint32_t* vpDmaTag_Ref(uint32_t* p, const void* addr) { return Tag(p, Id(DMATAG_REF), addr, 0, 0, true); }
uint32_t* vpDmaTag_RefEx(uint32_t* p, const void* addr, uint32_t vif0, uint32_t vif1) {
  return Tag(p, Id(DMATAG_REF), addr, vif0, vif1, true);
}
uint32_t* vpDmaTag_Call(uint32_t* p, const void* addr) { return Tag(p, Id(DMATAG_CALL), addr, 0, 0, true); }
uint32_t* vpDmaTag_CallEx(uint32_t* p, const void* addr, uint32_t vif0, uint32_t vif1) {
  return Tag(p, Id(DMATAG_CALL), addr, vif0, vif1, true);
}
uint32_t* vpDmaTag_Ret(uint32_t* p) { return Tag(p, Id(DMATAG_RET), nullptr, 0, 0, true); }
uint32_t* vpDmaTag_RetEx(uint32_t* p, uint32_t vif0, uint32_t vif1) { return Tag(p, Id(DMATAG_RET), nullptr, vif0, vif1, true); }
uint32_t* vpDmaTag_End(uint32_t* p) { return Tag(p, Id(DMATAG_END), nullptr, 0, 0, true); }
uint32_t* vpDmaTag_EndEx(uint32_t* p, uint32_t vif0, uint32_t vif1) { return Tag(p, Id(DMATAG_END), nullptr, vif0, vif1, true); }

uint32_t* vpDmaTag_Set(uint32_t* p, int qwc, int id, const void* addr) {
  return Tag(p, uint32_t(qwc & 0xffff) | uint32_t(id) << 28, addr, 0, 0, false);
}

uint32_t* vpDmaTag_Copy(uint32_t* p, const uint32_t* src) {
  memmove(p, src, 16);
  return p + 4;
}

uint32_t* vpDmaTag_RepointCopy(uint32_t* p, const uint32_t* src, const void* addr) {
  return Tag(p, src[0], addr, src[2], src[3], false);
}

uint32_t* vpDmaTag_ChangeCopy(uint32_t* p, const uint32_t* src, uint32_t tag, const void* addr) {
  return Tag(p, tag, addr, src[2], src[3], false);
}

uint32_t* vpDmaTag_Close(uint32_t* end) {
  end = PadTo16(end);
  uint32_t* t = ps2dma_dt_curr;
  uint32_t qwc = uint32_t((end - t) / 4 - 1) & 0xffff;
  t[0] = (t[0] & 0xffff0000u) | qwc;  // the marker, ID and ADDR stay
  return end;
}

uint32_t* vtBeginDirect(uint32_t* p, int irq) {
  *p = VIFCODE_DIRECT | (irq == 1 ? 0x80000000u : 0);
  ps2dma_vt_curr = p;
  return p + 1;
}

uint32_t* vtCloseDirect(uint32_t* end) {
  uint32_t* code = ps2dma_vt_curr;
  *code |= uint32_t((end - code - 1) / 4) & 0xffff;
  return end;
}

uint32_t* gsBeginGifPacket(uint32_t* p, int nloop, int eop, int pre, int prim, int flg, int nreg, ...) {
  uint64_t regs = 0;
  va_list ap;
  va_start(ap, nreg);
  for (int i = 0; i < nreg && i < 16; i++) regs |= uint64_t(va_arg(ap, int) & 15) << (4 * i);
  va_end(ap);
  uint64_t tag = uint64_t(nloop & 0x7fff) | uint64_t(eop & 1) << 15 | uint64_t(pre & 1) << 46 |
                 uint64_t(prim & 0x7ff) << 47 | uint64_t(flg & 3) << 58 | uint64_t(nreg & 15) << 60;
  memcpy(p, &tag, 8);
  memcpy(p + 2, &regs, 8);
  ps2dma_gt_curr = p;
  return p + 4;
}

uint32_t* gsCloseGifPacket(uint32_t* end) {
  uint32_t* t = ps2dma_gt_curr;
  uint64_t tag;
  memcpy(&tag, t, 8);
  uint32_t bytes = uint32_t((end - t) * 4) - 16;
  uint32_t flg = uint32_t(tag >> 58) & 3;
  // NREG 0 is the format's sixteen registers.
  uint32_t nreg = uint32_t(tag >> 60);
  if (nreg == 0) nreg = 16;
  uint32_t nloop;
  switch (flg) {
    case GIF_FLG_PACKED: nloop = bytes / 16 / nreg; break;
    case GIF_FLG_REGLIST: nloop = bytes / 8 / nreg; break;
    case GIF_FLG_IMAGE: nloop = bytes / 16; break;
    default: return end;
  }
  tag = (tag & ~uint64_t(0x7fff)) | (nloop & 0x7fff);
  memcpy(t, &tag, 8);
  return end;
}

uint32_t* vpVifAlign128(uint32_t* p) { return PadTo16(p); }

uint32_t* vpVifAlign64(uint32_t* p) {
  while (reinterpret_cast<uintptr_t>(p) & 7) *p++ = 0;
  return p;
}

uint32_t* VifTagDummy(uint32_t* p) { return p; }

void ZeThreadPreserveAPIState(ZEAPISTATE* state) {
  state->vt = ps2dma_vt_curr;
  state->dt = ps2dma_dt_curr;
  state->gt = ps2dma_gt_curr;
}

void ZeThreadRestoreAPIState(const ZEAPISTATE* state) {
  ps2dma_vt_curr = state->vt;
  ps2dma_dt_curr = state->dt;
  ps2dma_gt_curr = state->gt;
}

// ---- channel starts ------------------------------------------------------

int vu1_dma_status = 0;
int gs_dma_status = 0;

namespace {

constexpr uint32_t STR = 0x100;
constexpr uint32_t PHYS = 0x0fffffff;

// Polls until busy() is 0, letting time and interrupts pass. Inside an
// interrupt handler nothing could clear it: fail rather than hang.
void WaitIdle(int (*busy)(), const char* channel) {
  while (busy()) {
    if (KernelInInterrupt()) ZeError("%s busy inside an interrupt handler", channel);
    KernelYield();
  }
}

int Vif0Busy() { return VU0_DmaGetStatus(); }
int GifStarted() { return GS_DmaGetWriteStatus(); }
int ToSprStarted() { return SPR_DmaGetWriteStatus(); }
int FromSprStarted() { return SPR_DmaGetReadStatus(); }

// The register writes of every start: QWC, the address, D_STAT, CHCR last.
void StartChain(uint32_t chcrReg, uint32_t qwcReg, uint32_t tadrReg, uint32_t stat, const void* chain, uint32_t chcr) {
  EeRegWrite(qwcReg, 0);
  EeRegWrite(tadrReg, Addr(chain));
  EeRegWrite(D_STAT, stat);
  EeRegWrite(chcrReg, chcr);
}

}  // namespace

void VU1_DmaWrite(const void* chain) {
  WaitIdle(VU1_DmaGetStatus, "VIF1");
  vu1_dma_status = 1;
  StartChain(D1_CHCR, D1_QWC, D1_TADR, 2, chain, 0x1c5);
}

void GS_DmaWrite(const void* chain) {
  WaitIdle(GS_DmaGetStatus, "GIF");
  gs_dma_status = 1;
  StartChain(D2_CHCR, D2_QWC, D2_TADR, 4, chain, 0x185);
}

void VU0_DmaWrite(const void* chain) {
  WaitIdle(Vif0Busy, "VIF0");
  StartChain(D0_CHCR, D0_QWC, D0_TADR, 1, chain, 0x145);
}

void VU1_DmaWriteN(const void* addr, int qwc) {
  WaitIdle(VU1_DmaGetStatus, "VIF1");
  EeRegWrite(D1_QWC, uint32_t(qwc));
  EeRegWrite(D1_MADR, Addr(addr) & PHYS);
  EeRegWrite(D_STAT, 2);
  EeRegWrite(D1_CHCR, 0x141);
}

void GS_DmaWriteN(const void* addr, int qwc) {
  WaitIdle(GifStarted, "GIF");
  EeRegWrite(D2_QWC, uint32_t(qwc));
  EeRegWrite(D2_MADR, Addr(addr) & PHYS);
  EeRegWrite(D_STAT, 4);
  EeRegWrite(D2_CHCR, 0x101);
}

void SPR_DmaWriteN(const void* spr, const void* mem, int qwc) {
  WaitIdle(ToSprStarted, "toSPR");
  EeRegWrite(D9_QWC, uint32_t(qwc));
  EeRegWrite(D9_MADR, Addr(mem) & PHYS);
  EeRegWrite(D9_SADR, Addr(spr) & PHYS);
  EeRegWrite(D_STAT, 0x200);
  EeRegWrite(D9_CHCR, 0x101);
}

void SPR_DmaReadN(void* mem, const void* spr, int qwc) {
  WaitIdle(FromSprStarted, "fromSPR");
  EeRegWrite(D8_QWC, uint32_t(qwc));
  EeRegWrite(D8_MADR, Addr(mem) & PHYS);
  EeRegWrite(D8_SADR, Addr(spr) & PHYS);
  EeRegWrite(D_STAT, 0x100);
  EeRegWrite(D8_CHCR, 0x100);
}

int VU1_DmaGetStatus() {
  if (!vu1_dma_status && (EeRegRead(D1_CHCR) & STR)) ZeError("bad status");
  return vu1_dma_status;
}

int GS_DmaGetStatus() {
  if (!gs_dma_status && (EeRegRead(D2_CHCR) & STR)) ZeError("bad status");
  return gs_dma_status;
}

int VU0_DmaGetStatus() { return int(EeRegRead(D0_CHCR) & STR); }
int VU1_DmaGetStatusI() { return int(EeRegRead(D1_CHCR) & STR); }
int GS_DmaGetWriteStatus() { return (EeRegRead(D2_CHCR) & STR) ? 1 : 0; }
int SPR_DmaGetWriteStatus() { return (EeRegRead(D9_CHCR) & STR) ? 1 : 0; }
int SPR_DmaGetReadStatus() { return (EeRegRead(D8_CHCR) & STR) ? 1 : 0; }

// ---- the scratchpad stack ------------------------------------------------

uint8_t* ps2dma_scratch_top = static_cast<uint8_t*>(EeAddrToPtr(EE_SCRATCHPAD));

namespace {

uint8_t* ScratchBase() { return static_cast<uint8_t*>(EeAddrToPtr(EE_SCRATCHPAD)); }

void* ScratchAlloc(int size, uintptr_t align) {
  uint8_t* base = ScratchBase();
  uintptr_t top = reinterpret_cast<uintptr_t>(ps2dma_scratch_top);
  uintptr_t start = (top + align - 1) & ~(align - 1);
  // Refuse a block that would run past the 16 KB: the callers' data would
  // land outside the scratchpad.
  uintptr_t limit = reinterpret_cast<uintptr_t>(base) + EE_SCRATCHPAD_SIZE;
  if (size < 0 || start + ((uintptr_t(size) + 3) & ~uintptr_t(3)) + 4 > limit)
    ZeError("Scratchpad stack overflow: %d bytes asked with %d bytes free", size, int(limit - top));
  uintptr_t end = start + ((uintptr_t(size) + 3) & ~uintptr_t(3));
  uint32_t link = EeAddrOf(ps2dma_scratch_top);
  memcpy(reinterpret_cast<void*>(end), &link, 4);
  ps2dma_scratch_top = reinterpret_cast<uint8_t*>(end + 4);
  return reinterpret_cast<void*>(start);
}

}  // namespace

void ZeScratchReset() { ps2dma_scratch_top = ScratchBase(); }
void* ZeScratchAlloc32(int size) { return ScratchAlloc(size, 4); }
void* ZeScratchAlloc64(int size) { return ScratchAlloc(size, 8); }
void* ZeScratchAlloc128(int size) { return ScratchAlloc(size, 16); }

void ZeScratchRelease() {
  uint8_t* base = ScratchBase();
  if (ps2dma_scratch_top < base + 4) ZeError("Scratchpad stack underflow: nothing to release");
  uint32_t link;
  memcpy(&link, ps2dma_scratch_top - 4, 4);
  uint8_t* prev = static_cast<uint8_t*>(EeAddrToPtr(link));
  if (prev < base || prev > ps2dma_scratch_top - 4) ZeError("Scratchpad stack damaged: back link %08x", link);
  ps2dma_scratch_top = prev;
}
