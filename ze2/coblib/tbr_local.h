// Shared by the time-based renderer's files: the per-frame state the
// off-screen pass keeps between classifying the cobs and rendering them.
#pragma once

#include "coblib.h"

struct TBRFRAME {
  ZEMTL* mtl;      // the page material of this frame's image copies
  int budget;      // images that may still be re-rendered this frame
  int cursor[4];   // refresh cursors over the chain
  int nodes;       // nodes in the chain
};
extern TBRFRAME tbr_frame;
extern const int tbr_cursor_period[4];  // 4, 8, 52, 36
extern TBRNODE tbr_nodes[TBR_OBJECTS];

// The object of a 1-based handle; an id outside the table is fatal.
TBROBJ* TBRObj(int handle);
// Classifies a distant object into its list (cascading the deepest node of
// a full list into the next class); returns the class chosen, or -1 when the
// node pool is empty.
int TBRInsert(COB* cob, TBROBJ* obj, float x, float y, float z, float radius);
// Allocates as TimeBasedRenderAlloc does; 0 when none is free.
int TBRAllocObj(int orientation);
// Step a of the rendering: clears the slot and points the view at it; the
// object's sprite takes the camera's orientation scaled to the radius.
void TBRPrepareSlot(TBROBJ* obj, const ZEMTX* camera, float radius);
// The rendering of the requested images and the sprites' positions, node
// by node along the chain (cob-side file).
void TBRRenderImages();
// The image matrix: the cob's matrix with its translation replaced by minus
// centre, turned to face the camera along the view ray through the cob's
// view-space position v (lying objects rolled a quarter turn back), placed
// at distance ahead of the camera.
void TBRImageMtx(ZEMTX* out, const ZEMTX* cobmtx, const ZEVEC* centre, const ZEMTX* camera, const ZEVEC* v,
                 int orientation, float distance);
