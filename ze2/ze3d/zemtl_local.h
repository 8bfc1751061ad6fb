// Shared by the material modules (zemtl, zemtlrl) only.
#pragma once

#include "ze3d.h"
#include "zetex_local.h"

// The four words of a material's STROW data (U and V offsets x 4096, 0, 0),
// right after its effect block in the state packet.
uint32_t* ZeMtlStrowData(ZEMTL* mtl);

// Render planes: identity draw order, empty lists, zero clocks, no callbacks.
void ZeMtlPlanesInit();
// Every plane list emptied (the materials' links are left as they are).
void ZeMtlPlanesEmpty();
ZEMTL* ZeMtlPlaneHead(int plane);
void ZeMtlAnimListClear();
