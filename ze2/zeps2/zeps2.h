// zeps2: the console layer of the engine: video, interrupts, timing.
#pragma once

#include <cstdint>

#include "platform.h"

// ===================================================================
// Interrupt handlers and vertical-blank holds (ps2video)
// ===================================================================
// Nested holds on the two vertical-blank interrupts, the engine's only
// critical section: each interrupt has its own count and only the
// outermost release unmasks it.

extern int vblanke_installed, vblanks_installed;
extern int vblanke_hold, vblanks_hold;

void ZeDisableVBlankE();
void ZeEnableVBlankE();
void ZeDisableVBlankS();
void ZeEnableVBlankS();
void ZeDisableVBlank();
void ZeEnableVBlank();

// ===================================================================
// Timing sets and the user timer (ps2video)
// ===================================================================

constexpr int TB_SLOTS = 16;

struct TBSET {
  int acc[TB_SLOTS][2];          // [cur]: last finished value; [cur ^ 1]: running sum
  int begin[TB_SLOTS];           // timer 1 count at the last begin
  int peak[TB_SLOTS];            // highest shown value since the last peak reset
  uint32_t colour[TB_SLOTS];     // bar colour
  int cur[TB_SLOTS];             // 0 or 1
  EePtr<const char> label[TB_SLOTS];  // shown under the bar (null: none)
};
static_assert(sizeof(TBSET) == 112 * 4);

extern const uint32_t tb_default_colours[TB_SLOTS];
extern TBSET* tb_default_set;
extern int idisplaybackgroundtiming;
extern int ps2video_last_swap;  // timer 1 count at the last screen swap

TBSET* tbsetCreate(const uint32_t* colours);
void tbsetDestroy(TBSET* set);
void tbInit();
void tbslotBeginFn(TBSET* set, int slot);
void tbslotBeginExFn(TBSET* set, int slot, const char* label);
int tbslotEndFn(TBSET* set, int slot);
void tbslotReset(TBSET* set, int slot);
int tbslotLastValue(TBSET* set, int slot);

void timeUserReset();
int timeUserRead();
int GetElapsedTime();
