// Shared by the texture-animation modules.
#pragma once

#include "ze3d.h"

// Assembler state: local labels (cleared at the start of every script;
// offsets kept), global labels shared by every script since the last
// ZeTexAnimProgSysInit.
extern char zta_labelnames[ZETEXANIM_LABELS][ZETEXANIM_LABELLEN + 1];
extern int zta_labels[ZETEXANIM_LABELS];
extern char zta_globalnames[ZETEXANIM_GLOBALS][ZETEXANIM_LABELLEN + 1];
extern int zta_globalcount;

// All 64 anim-list nodes free, none active.
void ZeTexAnimListInit();
