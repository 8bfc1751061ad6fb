// ps2video: the nested vertical-blank holds, timing sets measured in
// horizontal blanks (timer 1) and the user timer (timer 0).
#include "zeps2.h"
#include "zecore.h"

#include <cstring>

int vblanke_installed = 0, vblanks_installed = 0;
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
