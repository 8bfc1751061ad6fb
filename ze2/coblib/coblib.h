// coblib: characters. Shared pools of loaded models and animations,
// character types, the cobs the game objects embed, their locators and
// joint overrides, the light sets that light them, and the time-based
// rendering that draws distant cobs as images.
#pragma once

#include <cstdint>

#include "platform.h"
#include "zecore.h"
#include "zemath.h"
#include "ze3d.h"

// ===================================================================
// Shared instance pools (inst)
// ===================================================================


// ===================================================================
// Character types (cobtype)
// ===================================================================


// ===================================================================
// Characters (cob)
// ===================================================================


// ===================================================================
// Locators and joint overrides (cobloc)
// ===================================================================


// ===================================================================
// Light sets (coblight)
// ===================================================================


// ===================================================================
// Time-based rendering of distant characters (tbr)
// ===================================================================
// Distant cobs are drawn once into a slot of one off-screen page (256 x 512
// pixels, made with its material by the program before TimeBasedRenderInit)
// and shown as camera-facing sprites; a budget of images is re-rendered each
// frame. Slots come in three classes: 8 of 64 x 64 (rows 0-127), 32 of
// 32 x 32 (rows 128-255), 256 of 16 x 16 (rows 256-511).

struct COB;
struct TBRSLOT;

constexpr int TBR_OBJECTS = 256;
constexpr int TBR_CLASSES = 3;
constexpr int TBR_SLOTS = 8 + 32 + 256;
constexpr int TBR_PAGE_W = 256, TBR_PAGE_H = 512;
constexpr float tbr_minz = 8.5f;        // distant beyond 8.5 x radius
constexpr float tbr_drawscale = 0.05375f;
extern const float zmaxs[2];            // class 0 below 12.53 x radius, class 1 below 35.0
extern const float tbr_zdist[TBR_CLASSES];  // rendering distance per class, radii

// TBRDrawCob's result bits.
enum : int32_t {
  TBR_NOTSHOWN = 1,  // near, or not wholly inside the view
  TBR_DISTANT = 2,   // beyond the image distance: DrawCobs leaves the cob out
  TBR_CLASS0 = 4,
  TBR_CLASS1 = 8,
  TBR_CLASS2 = 16,
};

// One character's image: where it lives and how its sprite is placed.
struct TBROBJ {
  ZEMTX mtx;              // the sprite: camera orientation at the last rendering x 0.43 x radius, at the cob's centre
  float depth;            // view depth last frame
  int32_t inuse;
  int32_t request;        // 1: (re)render the image this frame
  int16_t slotclass;      // class of the slot held, -1 none
  int16_t orientation;    // 0 upright, 1 lying
  int32_t shown;          // 1: the image is shown this frame
  int32_t rendered;       // 1 while a rendering of the image is open
  TBRSLOT* slot;          // the slot holding the image, or null
  TBRSLOT* ownslot;       // object i owns class-2 slot i
  TBRSLOT* newslot;       // the slot assigned this frame
};

// One image slot of the page and the packet that draws its sprite.
struct TBRSLOT {
  uint32_t* packet;       // DMA call target ending in a ret tag: one textured quad
  int16_t x, y, w, h;     // the rectangle in the page, pixels
  TBROBJ* owner;          // whose image is in the slot
  TBROBJ* claim;          // who claimed it this frame
  int16_t cls;            // 0, 1 or 2
  int16_t orientation;    // what the packet's corners are set for
  int32_t index;          // position in its class
  uint32_t* corners;      // the corner positions inside the packet
};

// A queued distant cob of this frame, in its class's depth-sorted list.
struct TBRNODE {
  TBRNODE* next;
  TBRNODE* prev;
  COB* cob;
  float x, y, z;          // view-space position
  TBROBJ* obj;            // the cob's object
};

struct TBRLISTDEF {
  TBRNODE* head;
  TBRNODE* tail;
  int32_t count;
  int32_t capacity;       // 8, 32, 256
};

extern TBROBJ tbrobjs[TBR_OBJECTS];
extern TBRSLOT tbrslots[TBR_SLOTS];     // class 0 first, then 1, then 2
extern TBRNODE* free_cobs[TBR_OBJECTS];
extern int free_cobs_cnt;
extern TBRLISTDEF listdefs[TBR_CLASSES];
extern TBRNODE* tbr_chain;              // the lists joined, class 0 first
extern int dbg_tbrset, dbg_tbrrndr, dbgtop;

void TimeBasedRenderInit();
void TBRDrawCobs(ZEMTL* mtl, int budget);
void TBRBeginFrame(int budget);
void TBRDrawBegin(ZEMTL* mtl);
int TBRDrawCob(COB* cob);
void TBRDrawEnd();
void TBRAssignDmaSlots(int cls);
void MigrateImage(TBROBJ* obj, TBRSLOT* newslot, TBRSLOT* oldslot);
void DrawTimeBasedObjects(ZEMTL* mtl, int flags);
int TimeBasedRenderAlloc(int orientation);  // 1-based handle, 0 when none is free
void TimeBasedRenderRelease(int handle);
int TimeBasedRenderBegin(int handle, const ZEMTX* camera, const ZEMTX* objmtx, int unused, const ZEVEC* centre,
                         float unused2, float radius);
void TimeBasedRenderEnd(int handle);
void SetTBRDMAOrientation(TBRSLOT* slot, int orientation);
void TBRManage();
void TBRDebug(ZEMTL* font, int flags);
void TimeBasedRenderEnable();
void TimeBasedRenderDisabled();
// The frame loop's budget: 6 - (3 x cobs drawn as models last frame) / 4,
// at least 3.
int TBRBudget(int models);

