// ps2video: the video mode and its double-buffered display, the screen
// swap, the VRAM clear, the interrupt handlers and vertical-blank lists,
// the nested vertical-blank holds, timing sets measured in horizontal
// blanks (timer 1) and the user timer (timer 0).
#include "zeps2.h"
#include "zecore.h"

#include <cstring>

int vblanke_installed = 0, vblanks_installed = 0, handlers_installed = 0;
int vblanke_hold = 0, vblanks_hold = 0;

void ZeDisableVBlankE() {
  if (!vblanke_installed) return;
  if (vblanke_hold == 0) DisableIntc(INTC_VBLANK_E);
  vblanke_hold++;
}

void ZeEnableVBlankE() {
  if (!vblanke_installed) return;
  if (--vblanke_hold == 0) EnableIntc(INTC_VBLANK_E);
}

void ZeDisableVBlankS() {
  if (!vblanks_installed) return;
  if (vblanks_hold == 0) DisableIntc(INTC_VBLANK_S);
  vblanks_hold++;
}

void ZeEnableVBlankS() {
  if (!vblanks_installed) return;
  if (--vblanks_hold == 0) EnableIntc(INTC_VBLANK_S);
}

void ZeDisableVBlank() {
  ZeDisableVBlankE();
  ZeDisableVBlankS();
}

void ZeEnableVBlank() {
  ZeEnableVBlankS();
  ZeEnableVBlankE();
}

// ---- timing sets ---------------------------------------------------------

const uint32_t tb_default_colours[TB_SLOTS] = {
    0x00000040, 0x22222240, 0x00004440, 0x00008840, 0x44000040, 0x88000040, 0x44004440, 0x88008840,
    0x00440040, 0x00880040, 0x00444440, 0x00888840, 0x44440040, 0x88880040, 0x44444440, 0x88888840,
};
TBSET* tb_default_set = nullptr;
int idisplaybackgroundtiming = 0;
int ps2video_last_swap = 0;

namespace {
constexpr uint32_t TIMER1_HBLANK = 0x83;  // horizontal blanks, counting
constexpr uint32_t TIMER0_BUS256 = 0x82;  // bus clock / 256, counting

// A null set is the default set; the slot is taken modulo 16. Null when
// there is no set at all (the default set could not be made).
TBSET* Set(TBSET* set) { return set ? set : tb_default_set; }
}  // namespace

TBSET* tbsetCreate(const uint32_t* colours) {
  auto* set = static_cast<TBSET*>(ZeMemAllocFn(int(sizeof(TBSET)), __FILE__, __LINE__));
  if (!set) return nullptr;
  memset(set, 0, sizeof *set);
  memcpy(set->colour, colours ? colours : tb_default_colours, sizeof set->colour);
  return set;
}

void tbsetDestroy(TBSET* set) { ZeMemFreeFn(set, __FILE__, __LINE__); }

void tbInit() {
  TimerSetMode(1, TIMER1_HBLANK);
  tb_default_set = tbsetCreate(nullptr);
}

void tbslotBeginFn(TBSET* set, int slot) { tbslotBeginExFn(set, slot, nullptr); }

void tbslotBeginExFn(TBSET* set, int slot, const char* label) {
  if (!(set = Set(set))) return;
  slot &= TB_SLOTS - 1;
  set->begin[slot] = int(TimerGetCount(1));
  set->label[slot] = label;
}

int tbslotEndFn(TBSET* set, int slot) {
  if (!(set = Set(set))) return 0;
  slot &= TB_SLOTS - 1;
  // Timer 1 counts in 16 bits: a count below the begin has wrapped.
  int elapsed = (int(TimerGetCount(1)) - set->begin[slot]) & 0xffff;
  return set->acc[slot][set->cur[slot] ^ 1] += elapsed;
}

void tbslotReset(TBSET* set, int slot) {
  if (!(set = Set(set))) return;
  slot &= TB_SLOTS - 1;
  set->cur[slot] ^= 1;
  set->acc[slot][set->cur[slot] ^ 1] = 0;
}

int tbslotLastValue(TBSET* set, int slot) {
  if (!(set = Set(set))) return 0;
  slot &= TB_SLOTS - 1;
  return set->acc[slot][set->cur[slot]];
}

void timeUserReset() {
  TimerSetMode(0, TIMER0_BUS256);
  TimerSetCount(0, 0);
}

int timeUserRead() { return int(TimerGetCount(0)); }

int GetElapsedTime() {
  int t = int(TimerGetCount(1)) - ps2video_last_swap;
  return t < 0 ? t + 0x10000 : t;
}

// ---- video mode ----------------------------------------------------------

int PS2_REZ_W = 640, PS2_REZ_H = 224;
int PS2_VCNTR_X = 2048, PS2_VCNTR_Y = 2048;
int ps2_video_fmt = 2, ps2_zb_fmt = PSMZ24, ps2_video_size = 262;
int zevideo_global_framerate = 60, zevideo_progressive_scan = 0;
alignas(16) sceGsDBuffDc ps2video_display_cfg;
int ps2video_swap_count = 0;
int ps2video_field = 0;
int ps2video_frame_lines = 0;
PS2VIDEOPOS ps2video_display_base[2];
int ps2video_in_interrupt = 0;
int ps2video_auto_swap = 0;
int zerndr_half_offset = 0;
int ps2video_avi_open = 0, ps2video_avi_phase = 0;

namespace {

struct VideoMode {
  short interlace, output, ffmode;
  int scanlines, rate;
  int progressive;  // the height is doubled
};
// Mode 1 passes its own number to the reset as the output mode.
constexpr VideoMode VIDEO_MODES[8] = {
    {0, SCE_GS_NTSC, SCE_GS_FRAME, 480, 60, 0}, {1, 1, SCE_GS_FRAME, 262, 60, 0},
    {1, SCE_GS_NTSC, SCE_GS_FRAME, 262, 60, 0}, {1, SCE_GS_PAL, SCE_GS_FRAME, 312, 50, 0},
    {1, SCE_GS_PAL, SCE_GS_FIELD, 312, 50, 1},  {1, SCE_GS_NTSC, SCE_GS_FIELD, 262, 60, 1},
    {0, SCE_GS_PAL, SCE_GS_FRAME, 312, 50, 0},  {0, SCE_GS_NTSC, SCE_GS_FRAME, 262, 60, 0},
};

uint32_t Timer1() { return EeRegRead(T1_COUNT); }

// Horizontal blanks between two timer 1 counts, the 16-bit wrap undone, as
// a distance either way.
int LineDistance(uint32_t now, uint32_t then) {
  int d = int((now - then) & 0xffff);
  return d > 0x8000 ? 0x10000 - d : d;
}

void WaitVif1Idle() {
  while (VU1_DmaGetStatus()) KernelYield();
}

// The drawing environment the next kicked frame draws with: set 0 (whose
// FRAME_1 is buffer 1) when the swap count is odd.
const sceGsDrawEnv1& BackEnv() {
  return (ps2video_swap_count & 1) ? ps2video_display_cfg.draw01 : ps2video_display_cfg.draw11;
}
const sceGsDrawEnv1& FrontEnv() {
  return (ps2video_swap_count & 1) ? ps2video_display_cfg.draw11 : ps2video_display_cfg.draw01;
}

uint32_t* CopyAd(uint32_t* p, uint64_t value, uint64_t reg) {
  memcpy(p, &value, 8);
  memcpy(p + 2, &reg, 8);
  return p + 4;
}

// The VRAM clear lives in EE memory, not on the caller's stack: the GIF
// channel reads it after the caller has returned.
alignas(16) uint32_t g_flushVRamPacket[12 * 4];
alignas(16) sceGsStoreImage g_grab;

}  // namespace

void ZePs2Init() {
  sceDevVif0Reset();
  sceDevVif1Reset();
  sceDevVu0Reset();
  sceDevVu1Reset();
  sceGsResetPath();
  sceDmaReset(1);
  sceDmaGetChan(1)->chcr |= 0x40;  // tag transfer on VIF1
  EeRegWrite(T1_MODE, 0x83);       // timer 1 counts horizontal blanks
  tb_default_set = tbsetCreate(nullptr);
}

void ZePs2InitVideo(int width, int height, int psm, int zpsm, int mode) {
  if (mode < 0 || mode > 7) ZeError("ZePs2InitVideo: unknown video mode %d", mode);
  const VideoMode& m = VIDEO_MODES[mode];
  ps2_video_fmt = mode;
  ps2_zb_fmt = zpsm;
  ps2_video_size = m.scanlines;
  zevideo_global_framerate = m.rate;
  zevideo_progressive_scan = m.progressive;
  if (m.progressive) height *= 2;
  PS2_REZ_W = width;
  PS2_REZ_H = height;
  PS2_VCNTR_X = PS2_VCNTR_Y = 2048;
  sceGsResetGraph(0, m.interlace, m.output, m.ffmode);
  sceGsSetDefDBuffDc(&ps2video_display_cfg, short(psm), short(width), short(height), SCE_GS_ZGREATER, short(zpsm), 0);
  ps2video_field = sceGsSyncV(0) == 0 ? 1 : 0;
  ps2video_swap_count = 0;
  EeRegWrite(T0_MODE, 0x9f);
  ZeIntAddAllHandlers();
  for (int i = 0; i < 2; i++) {
    ps2video_display_base[i].dx = int(GS_DISPLAY::DX::get(ps2video_display_cfg.disp[i].display));
    ps2video_display_base[i].dy = int(GS_DISPLAY::DY::get(ps2video_display_cfg.disp[i].display));
  }
  ZePs2FlushVRam(0, 0, 0);
  EeRegWrite(GIF_MODE, 2);
}

int ZePs2ScreenSwap(int swap) {
  const int inIrq = ps2video_in_interrupt;
  if (!inIrq) {
    WaitVif1Idle();  // the previous frame's chain has finished
    tbslotEndFn(nullptr, 0);
    sceGsSyncPath(0, 0);
  }
  ps2video_frame_lines = inIrq ? 50 : int((Timer1() - uint32_t(ps2video_last_swap)) & 0xffff);
  if (swap) ps2video_swap_count++;
  else ZeDebugMsg("swap not");
  if (!inIrq) {
    // This is the wait for the vertical blank.
    int dy = int(GS_DISPLAY::DY::get(ps2video_display_cfg.disp[0].display));
    ps2video_field = sceGsSyncV(0) ^ (dy & 1);
  } else {
    ps2video_field = 1 - ps2video_field;
  }
  sceGsDBuffDc& db = ps2video_display_cfg;
  sceGsDrawEnv1& env1 = (ps2video_swap_count & 1) ? db.draw11 : db.draw01;
  sceGsDrawEnv2& env2 = (ps2video_swap_count & 1) ? db.draw12 : db.draw02;
  int result, field;
  if (ps2video_avi_open) {
    ps2video_field = 1 - ps2video_avi_phase;
    field = ps2video_field;
    result = 1;
  } else if (ps2video_frame_lines <= ps2_video_size && !zevideo_progressive_scan) {
    field = ps2video_field;
    result = 1;
  } else {
    field = 0;
    result = 0;
  }
  sceGsSetHalfOffset(&env1, PS2_VCNTR_X, PS2_VCNTR_Y, field);
  sceGsSetHalfOffset2(&env2, PS2_VCNTR_X, PS2_VCNTR_Y, field);
  zerndr_half_offset = field * 8;
  if (inIrq) iFlushCache(0);
  else FlushCache(0);
  if (swap) sceGsSwapDBuffDc(&db, ps2video_swap_count & 1);
  else result = 1;
  ps2video_last_swap = int(Timer1());
  if (!inIrq) sceGsSyncPath(0, 0);
  return result;
}

void ZePs2FlushVRam(int r, int g, int b) {
  // The packet is shared: the previous clear must have been read.
  while (GS_DmaGetStatus()) KernelYield();
  uint32_t* p = g_flushVRamPacket;
  p[0] = 11 | uint32_t(DMATAG_END) << 28;  // GIF tag and ten A+D writes
  p[1] = p[2] = p[3] = 0;
  uint64_t giftag[2] = {10 | uint64_t(1) << 15 | uint64_t(1) << 60, GIF_REG_AD};
  memcpy(p + 4, giftag, 16);
  uint32_t* d = p + 8;
  d = CopyAd(d, 1, GS_PRMODECONT);
  d = CopyAd(d, 0x100000, GS_FRAME_1);               // base 0, 1024 pixels wide, PSMCT32
  d = CopyAd(d, uint64_t(1) << 32, GS_ZBUF_1);      // base 0, no z writes
  d = CopyAd(d, 0, GS_XYOFFSET_1);
  d = CopyAd(d, uint64_t(1024) << 16 | uint64_t(1024) << 48, GS_SCISSOR_1);
  d = CopyAd(d, 0x30000, GS_TEST_1);                 // depth test on, always pass
  d = CopyAd(d, 6, GS_PRIM);                         // sprite
  d = CopyAd(d, uint64_t(r & 0xff) | uint64_t(g & 0xff) << 8 | uint64_t(b & 0xff) << 16 | uint64_t(0x3f800000) << 32,
             GS_RGBAQ);
  d = CopyAd(d, 0, GS_XYZ2);
  // One 1024 x 1024 sprite of 32-bit pixels covers the 4 MB.
  CopyAd(d, uint64_t(1024 << 4) | uint64_t(1024 << 4) << 16, GS_XYZ2);
  FlushCache(0);
  GS_DmaWrite(p);
}

float ZePs2GetRenderWidth() { return float(PS2_REZ_W); }
float ZePs2GetRenderHeight() { return float(PS2_REZ_H); }
float ZePs2GetRenderXCentre() { return float(PS2_VCNTR_X); }
float ZePs2GetRenderYCentre() { return float(PS2_VCNTR_Y); }
float ZePs2GetRenderRange() { return 4096.0f; }

void ZePs2GetViewport(ZEVIEWPORT* vp) {
  memset(vp, 0, sizeof *vp);
  vp->x = (PS2_VCNTR_X - PS2_REZ_W / 2) * 16;
  vp->y = (PS2_VCNTR_Y - PS2_REZ_H / 2) * 16;
  vp->width = PS2_REZ_W * 16;
  vp->height = PS2_REZ_H * 16;
  vp->zmin = 8388607.0f;
  vp->zmax = 0.0f;
}

void ZePs2GetCurrentBackBuffer(uint64_t* out) { *out = BackEnv().frame1; }
void ZePs2GetCurrentFrontBuffer(uint64_t* out) { *out = FrontEnv().frame1; }
void ZePs2GetCurrentZBuffer(uint64_t* out) { *out = BackEnv().zbuf1; }
uint32_t* ZePs2CopyCurrentBackBuffer(uint32_t* p) { return CopyAd(p, BackEnv().frame1, GS_FRAME_1); }
uint32_t* ZePs2CopyCurrentFrontBuffer(uint32_t* p) { return CopyAd(p, FrontEnv().frame1, GS_FRAME_1); }
uint32_t* ZePs2CopyCurrentZBuffer(uint32_t* p) { return CopyAd(p, BackEnv().zbuf1, GS_ZBUF_1); }

void ps2videoGetFreeMem(int* firstblock, int* freebytes) {
  // Three buffers (two frames and the depth) of 8 KB pages, 32 blocks each.
  int pages = ((PS2_REZ_W + 63) / 64) * ((PS2_REZ_H + 31) / 32);
  if (firstblock) *firstblock = pages * 96;
  if (freebytes) *freebytes = GS_MEMORY_SIZE - pages * 96 * 256;
}

void ZePs2VideoSetPos(int dx, int dy) {
  for (int i = 0; i < 2; i++) {
    uint64_t& d = ps2video_display_cfg.disp[i].display;
    d = GS_DISPLAY::DX::set(d, uint64_t(ps2video_display_base[i].dx + dx) & 0xfff);
    d = GS_DISPLAY::DY::set(d, uint64_t(ps2video_display_base[i].dy + dy) & 0x7ff);
  }
}

void ZePs2VideoSetDisplayAddr(int fbp, int fbw, int same) {
  int base = fbp < 0 ? 0 : fbp > 511 ? 511 : fbp;
  int second = same ? base : (base + PS2_REZ_W * PS2_REZ_H / 2048) & 0x1ff;
  uint64_t* a = &ps2video_display_cfg.disp[0].dispfb;
  uint64_t* b = &ps2video_display_cfg.disp[1].dispfb;
  *a = GS_DISPFB::FBW::set(GS_DISPFB::FBP::set(*a, uint64_t(base)), uint64_t(fbw & 0x3f));
  *b = GS_DISPFB::FBW::set(GS_DISPFB::FBP::set(*b, uint64_t(second)), uint64_t(fbw & 0x3f));
}

void ZePs2EnableAutoScreenSwap() {
  if (ps2video_auto_swap) return;
  WaitVif1Idle();
  sceGsSyncPath(0, 0);
  while (LineDistance(Timer1(), uint32_t(ps2video_last_swap)) < 50) KernelYield();
  ps2video_auto_swap = 1;
}

void ZePs2DisableAutoScreenSwap() {
  if (!ps2video_auto_swap) return;
  // Just after an automatic swap, so the switch never lands inside one.
  while (LineDistance(Timer1(), uint32_t(ps2video_last_swap)) >= 100) KernelYield();
  ps2video_auto_swap = 0;
  sceGsSyncPath(0, 0);
}

void* ZePs2GrabScreen(void* buffer, int other, int x, int y, int w, int h) {
  WaitVif1Idle();
  sceGsSyncPath(0, 0);
  int index = ps2video_swap_count & 1;
  if (other) index = 1 - index;
  int base = index ? PS2_REZ_W * PS2_REZ_H / 64 : 0;
  sceGsSetDefStoreImage(&g_grab, short(base), short(PS2_REZ_W / 64), PSMCT24, short(x), short(y), short(w), short(h));
  FlushCache(0);
  if (!buffer) buffer = ZeMemAllocFn(w * h * 4, __FILE__, __LINE__);
  sceGsExecStoreImage(&g_grab, buffer);
  sceGsSyncPath(0, 0);
  FlushCache(0);
  return buffer;
}

// ---- interrupt handlers and vertical-blank lists ---------------------------

ZEVBLANKHANDLER* vblanke_list = nullptr;
ZEVBLANKHANDLER* vblanks_list = nullptr;
int zevideo_global_vbcnt = 0, zevideo_in_vb = 0;
int vif1_waiting = 0, gif_waiting = 0, gif_countdown = 0, gif_countdown_reload = 4;
int zetex_use_path3 = 0;

namespace {

int g_vif1Id, g_vblankeId, g_vif1DmaId, g_gifDmaId;

void RunList(ZEVBLANKHANDLER* h) {
  while (h) {
    ZEVBLANKHANDLER* next = h->next;  // a callback may take itself out
    h->fn();
    h = next;
  }
}

int VBlankStartHandler(int) {
  zevideo_in_vb = 1;
  zevideo_global_vbcnt++;
  ps2video_in_interrupt = 1;
  RunList(vblanks_list);
  ps2video_in_interrupt = 0;
  return 1;
}

int VBlankEndHandler(int) {
  ps2video_in_interrupt = 1;
  if (ps2video_auto_swap) ZePs2ScreenSwap(1);
  RunList(vblanke_list);
  ps2video_in_interrupt = 0;
  zevideo_in_vb = 0;
  return 1;
}

int Vif1Handler(int) { return 0; }

// Sets the start bit of the channels while all DMA is held, so that none
// is caught half-started.
void Restart(bool vif1, bool gif) {
  EeRegWrite(D_ENABLEW, D_ENABLE_SUSPEND);
  if (vif1) EeRegWrite(D1_CHCR, EeRegRead(D1_CHCR) | 0x100);
  if (gif) EeRegWrite(D2_CHCR, EeRegRead(D2_CHCR) | 0x100);
  EeRegWrite(D_ENABLEW, 0);
}

// A word of a chain, read and written through the uncached alias as the
// DMA controller sees it.
uint32_t* ChainWord(uint32_t addr) {
  void* p = DmaMemory(addr | EE_UNCACHED_BIT, 4);
  if (!p) ZeError("DMA end: chain address %08x is outside EE memory", addr);
  return EeUncached(static_cast<uint32_t*>(p));
}

int Vif1DmaHandler(int channel) {
  if (channel != DMAC_VIF1) return 0;
  uint32_t marker = (EeRegRead(D1_CHCR) >> 16) & 0xff;
  if (marker == DMAMK_FREE) {
    // A drawing sync point: stay stopped while the tag still asks to.
    const uint32_t* tag = ChainWord(EeRegRead(D1_MADR) - 16);
    if (tag[0] & 0x80000000u) vif1_waiting = 1;
    else Restart(true, false);
    if (gif_waiting) {
      Restart(false, true);
      gif_waiting = 0;
    }
  } else {
    // The frame chain has ended.
    tbslotEndFn(nullptr, 1);
    vu1_dma_status = 0;
  }
  return 1;
}

int GifDmaHandler(int channel) {
  if (channel != DMAC_GIF) return 1;
  uint32_t chcr = EeRegRead(D2_CHCR);
  uint32_t marker = (chcr >> 16) & 0xff;
  if (((chcr >> 28) & 7) == DMATAG_END) gs_dma_status = 0;
  if (marker != DMAMK_TXTREND) {
    gs_dma_status = 0;
    return 1;
  }
  if (vif1_waiting) {
    Restart(true, true);
    vif1_waiting = 0;
    return 1;
  }
  if (zetex_use_path3) {
    // The packet names the drawing sync tag it frees: VIF1 may pass it.
    uint32_t syncTag = *ChainWord(EeRegRead(D2_MADR));
    *ChainWord(syncTag) &= ~0x80000000u;
  }
  if (gif_countdown > 0) {
    if (gs_dma_status == 1) Restart(false, true);
    gif_countdown--;
  } else {
    gif_waiting = 1;
    gif_countdown = gif_countdown_reload;
  }
  return 1;
}

void Insert(ZEVBLANKHANDLER** list, ZEVBLANKHANDLER* h) {
  ZEVBLANKHANDLER* prev = nullptr;
  ZEVBLANKHANDLER* cur = *list;
  // After every record of lower or equal priority: equal ones keep their order.
  while (cur && cur->priority <= h->priority) {
    prev = cur;
    cur = cur->next;
  }
  h->prev = prev;
  h->next = cur;
  if (prev) prev->next = h;
  else *list = h;
  if (cur) cur->prev = h;
}

void Unlink(ZEVBLANKHANDLER** list, ZEVBLANKHANDLER* h) {
  if (h->prev) h->prev->next = h->next;
  else *list = h->next;
  if (h->next) h->next->prev = h->prev;
}

}  // namespace

void ZeIntAddAllHandlers() {
  if (handlers_installed) return;
  g_vif1Id = AddIntcHandler(INTC_VIF1, Vif1Handler, 0);
  EnableIntc(INTC_VIF1);
  vblanke_list = nullptr;
  g_vblankeId = AddIntcHandler(INTC_VBLANK_E, VBlankEndHandler, -1);
  EnableIntc(INTC_VBLANK_E);
  vblanke_installed = 1;
  vblanks_list = nullptr;
  sceGsSyncVCallback(VBlankStartHandler);
  EnableIntc(INTC_VBLANK_S);
  vblanks_installed = 1;
  g_vif1DmaId = AddDmacHandler(DMAC_VIF1, Vif1DmaHandler, 0);
  EnableDmac(DMAC_VIF1);
  g_gifDmaId = AddDmacHandler(DMAC_GIF, GifDmaHandler, 0);
  EnableDmac(DMAC_GIF);
  handlers_installed = 1;
}

void ZeIntRemoveAllHandlers() {
  if (!handlers_installed) return;
  vblanke_installed = vblanks_installed = 0;
  DisableDmac(DMAC_GIF);
  RemoveDmacHandler(DMAC_GIF, g_gifDmaId);
  DisableDmac(DMAC_VIF1);
  RemoveDmacHandler(DMAC_VIF1, g_vif1DmaId);
  sceGsSyncVCallback(nullptr);
  DisableIntc(INTC_VBLANK_E);
  RemoveIntcHandler(INTC_VBLANK_E, g_vblankeId);
  DisableIntc(INTC_VIF1);
  RemoveIntcHandler(INTC_VIF1, g_vif1Id);
  vblanke_list = vblanks_list = nullptr;
  handlers_installed = 0;
}

void ZeIntAddVBlankE(ZEVBLANKHANDLER* h) {
  DisableIntc(INTC_VBLANK_E);
  Insert(&vblanke_list, h);
  EnableIntc(INTC_VBLANK_E);
}

void ZeIntAddVBlankS(ZEVBLANKHANDLER* h) {
  DisableIntc(INTC_VBLANK_S);
  Insert(&vblanks_list, h);
  EnableIntc(INTC_VBLANK_S);
}

void ZeIntRemVBlankE(ZEVBLANKHANDLER* h) {
  DisableIntc(INTC_VBLANK_E);
  Unlink(&vblanke_list, h);
  EnableIntc(INTC_VBLANK_E);
}

void ZeIntRemVBlankS(ZEVBLANKHANDLER* h) {
  DisableIntc(INTC_VBLANK_S);
  Unlink(&vblanks_list, h);
  EnableIntc(INTC_VBLANK_S);
}
