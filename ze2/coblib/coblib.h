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
// Loaded models (".ghg" memory images) and animations (".ani") shared by
// path and use-counted. An entry is shared only with loads into the same
// buffer (the same position variable and buffer end): a copy in another
// owner's buffer would dangle once that buffer goes.

constexpr int INSTHGO_POOLSIZE = 32;
constexpr int INSTANIM_POOLSIZE = 256;
constexpr int INSTHGO_NAMELEN = 256;
constexpr int INSTANIM_NAMELEN = 32;

struct INSTHGO {
  EePtr<ZEHGOBJ> hgobj;          // the model, in the buffer of whoever loaded or adopted it
  char name[INSTHGO_NAMELEN];    // the path as loaded
  int32_t count;                 // uses; freed at 0
  char** position;               // the buffer it was loaded into: the position variable...
  char* end;                     // ...and the buffer's end
};

struct INSTANIM {
  EePtr<char> image;             // the file image; its first word holds its size in bytes
  EePtr<ZEANIMDATA2> animdata;   // the animation inside the image
  char name[INSTANIM_NAMELEN];
  int32_t count;
  char** position;
  char* end;
};

extern ZELST* insthgo_pool;      // null before InstInit and after InstClose
extern ZELST* instanim_pool;

void InstInit();
void InstClose();
// Null when the pool is full or the file cannot be read; the position
// does not move then.
ZEHGOBJ* InstHgoLoad(const char* path, char** position, char* end);
// Fatal when the model is in no entry or does not fit below end (checked
// before anything is copied).
ZEHGOBJ* InstHgoRelocate(ZEHGOBJ* hgobj, char** position, char* end);
void InstHgoDestroy(ZEHGOBJ* hgobj);
// The image at the position rounded up to 64 bytes.
ZEANIMDATA2* InstAnimData2Load(const char* path, char** position, char* end);
ZEANIMDATA2* InstAnimData2Relocate(ZEANIMDATA2* anim, char** position, char* end);
void InstAnimData2Destroy(ZEANIMDATA2* anim);


// ===================================================================
// Character types (cobtype)
// ===================================================================
// The game's table of COBINFO rows names every character type; a type is
// loaded into the current memory context's buffer by row index, used by up
// to 8 owners, and moved into another owner's buffer when its holder leaves.

struct COB;
struct LOCATORINFO;

constexpr int COBTYPE_MAX = 128;
constexpr int COBTYPE_ANIMS = 64;
constexpr int COBTYPE_OWNERS = 8;

// Per-animation tuning, one row per animation in list order.
struct COBANIMPARAM {
  float rate;        // frames a tick = rate x 24 / 60; negative: -rate x abs(speed)
  float limit;       // 0 none; > 0 the rate's cap; < 0 -limit is its floor
  float blendin;     // seconds, when this replaces one of lower or equal priority
  float blendout;    // seconds, when this is replaced by one of lower priority
  int32_t priority;
  int32_t endaction; // bits 24-31 (signed): loop-back frame, 0 holds; bits 0-23: end value
  int32_t gameflags; // the game's own
};
static_assert(sizeof(COBANIMPARAM) == 28 && offsetof(COBANIMPARAM, endaction) == 20);

using COBANIMEVENTFN = void(LOCATORINFO* info);

// An animation event; a row with a null callback ends the table.
struct COBANIMEVENT {
  EePtr<COBANIMEVENTFN> callback;
  int32_t param1, param2;
  int32_t anim;      // -1: any animation
  float start;
  float end;         // 0: once when the frame passes start; start: every tick; else start <= frame < end
  int32_t locator;   // point-of-interest id; -1: the cob's own matrix
};
static_assert(sizeof(COBANIMEVENT) == 28 && offsetof(COBANIMEVENT, locator) == 24);

// One row of the game's character table.
struct COBINFO {
  EePtr<EePtr<const char>> anm;  // model path, then per animation its path and second path (or null); null ends
  EePtr<COBANIMPARAM> tab;
  float scale;                   // 0 means 1.0
  EePtr<COBANIMEVENT> fx;        // or null
  float radius;                  // size, for the distant images
  float centreheight;
  int16_t orientation;           // distant image: 0 upright, 1 lying
  float shadowdist;              // the shadow fades out from here over 2.0 units
  int32_t flags;                 // bit 0: full smoothed light search
};
static_assert(sizeof(COBINFO) == 36 && offsetof(COBINFO, orientation) == 24 && offsetof(COBINFO, shadowdist) == 28);
constexpr int COBINFO_FULLLIGHTS = 1;

// Adoption callback: writes the address of its buffer's position and its
// end and returns nonzero when it takes the data; 0 refuses.
using COBADOPTFN = int(void* owner, EePtr<char>** position, char** end);

struct COBTYPE {
  EePtr<ZEHGOBJ> hgobj;
  EePtr<ZEANIMDATA2> anims[COBTYPE_ANIMS];   // null where a file failed to load
  EePtr<ZEANIMDATA2> anims2[COBTYPE_ANIMS];  // blend-shape weights, null when none
  EePtr<COBANIMPARAM> tab;
  EePtr<COBANIMEVENT> fx;
  ZEVEC scale;
  int32_t animcount;
  EePtr<COBINFO> info;
  float radius;
  ZEVEC centre;                              // (0, centreheight, 0)
  int16_t orientation;
  int16_t usecount;                          // 0: the slot is free
  EePtr<void> owners[COBTYPE_OWNERS];        // slot 0 holds the data
  EePtr<const char> labels[COBTYPE_OWNERS];
  EePtr<COBADOPTFN> adopt[COBTYPE_OWNERS];
  int32_t counts[COBTYPE_OWNERS];
};
static_assert(offsetof(COBTYPE, anims2) == 260 && offsetof(COBTYPE, scale) == 524 &&
              offsetof(COBTYPE, orientation) == 560 && offsetof(COBTYPE, owners) == 564 && sizeof(COBTYPE) == 692);

struct COBMEMCONTEXT {
  EePtr<char*> position;         // the loads advance the pointer stored here; null: no buffer
  EePtr<char> end;
  EePtr<void> owner;             // null: the global buffer
  EePtr<COBADOPTFN> adopt;
  EePtr<const char> label;       // names who set it; never interpreted
};
static_assert(sizeof(COBMEMCONTEXT) == 20);

extern COBTYPE cobtypes[COBTYPE_MAX];
extern const COBINFO* cobinfo;
extern int active_cobtypes;
extern COBMEMCONTEXT cobmemcontext;

void InitCobs(const COBINFO* table);
void CloseCobs();
void DestroyCobTypes();
// Fatal: a missing model, more than 64 animations, a ninth owner.
void AddCobType(int n);
void RemoveCobType(int n);
void RemoveCobTypeEx(int n, void* owner);
void CobRelocate(int n, char** position, char* end, void* owner);
void AddCobGetMemoryContext(COBMEMCONTEXT* context);
void AddCobSetMemoryContext(const COBMEMCONTEXT* context);
void AddCobTypeSetMemoryPointers(char** position, char* end, void* owner, COBADOPTFN* adopt, const char* label);


// ===================================================================
// Characters (cob)
// ===================================================================
// A cob is one animated character, embedded in a game object: bound to a
// type, cross-blending two animation slots, firing the type's events,
// queued with AddCob during logic and drawn by DrawCobs.

struct COBLIGHTS;
struct LOCATORREQ;

constexpr int COB_MAXDRAW = 256;   // AddCob calls a frame
constexpr int COB_MAXJOINTS = 256;

enum : uint32_t {
  COB_DRAWN = 1u << 0,       // drawn as a model this frame
  COB_OWNMTX = 3u << 1,      // bits 1 and 2: the owner builds mtx
  COB_PERSIST = 1u << 3,     // joint overrides carried from step to step
  COB_TBR = 1u << 4,         // the time-based renderer's
  COB_ANIMATED = 1u << 5,
};
enum : int { SETANIM_FORCE = 1, SETANIM_KEEPPHASE = 2, SETANIM_RESTART = 4 };
constexpr int TBRRESULT_FAR = 2;   // tbrresult value: beyond the image distance

struct COB {
  ZEMTX mtx;                   // world matrix; its translation row places drawing, lights and locators
  ZEVEC pos;
  int16_t rotx, roty, rotz;    // ZEANG in 16 bits
  EePtr<COBTYPE> type;         // null after RemoveCob
  int32_t anim;
  int32_t prevanim;
  float blend;                 // 0 to 1; 1: no blend in progress
  float blendstep;             // added each tick
  float prevframe;             // the current slot's frame before the last advance
  EePtr<float> speed[2];       // per slot, what a negative rate follows
  float frame[2];              // from 1.0
  int32_t slot;                // the slot playing anim
  int32_t endresult;           // end value reported this tick, 0 none
  int32_t slotword[2];
  uint32_t flags;              // COB_*
  int32_t visible;             // 0 not drawn; the time-based renderer's clip result (0, 1, 2)
  int32_t tbr;                 // time-based-render object, 1-based; 0 none
  int32_t tbrresult;
  int16_t layers[2];           // -1 none
  float depth;
  EePtr<LOCATORREQ> locreqs;   // this frame's requests, in order
  int32_t loc;                 // first locator matrix, 1-based; 0 none
  int32_t njointanims;
  EePtr<ZEJOINTANIM> jointanims;
  EePtr<COBLIGHTS> lights;
  EePtr<ZEMTL> slotmtl;
  EePtr<EePtr<ZEMTL>> mtltable;
  EePtr<ZEMTL> mtl;
  EePtr<ZEMTX> xmtx;           // override matrices for posing without animation
  EePtr<int16_t> xids;
  int16_t nx;
};
static_assert(offsetof(COB, pos) == 64 && offsetof(COB, type) == 84 && offsetof(COB, speed) == 108 &&
              offsetof(COB, flags) == 140 && offsetof(COB, layers) == 156 && offsetof(COB, lights) == 180 &&
              offsetof(COB, nx) == 204 && sizeof(COB) == 208);

extern EePtr<COB> coblist[COB_MAXDRAW];
extern int cobpt;
extern COB* cob_effect;          // drawn only by DrawEffectCobs
extern void** cob_array_dwa;     // the weights of the cob being drawn
extern int cobrndr;              // cobs drawn as models since TBRManage reset it
extern float cob_zerospeed;      // where the speed pointers start
extern EePtr<ZEMTL> HackMtl[256];  // entry 1 applies slotmtl

// The particle calls the cob code makes, filled by the program; a null
// entry is skipped.
struct COBDEBRISFNS {
  void (*AddVariableShotDebrisEffect)(int type, const ZEVEC* pos, int count, int16_t anglez, int16_t angley);
};
extern COBDEBRISFNS cob_debris;

void InitCob(COB* cob, int n);
void RemoveCob(COB* cob);
void AddCob(COB* cob);
// 1 when started, 0 when refused (a blend in progress without force, the
// same animation without restart, an index outside 0-63).
int SetAnim(COB* cob, int anim, int flags);
void SetRate(COB* cob, float* speed);
void ProcessAnimCob(COB* cob);
void ProcessAnimCobPaused(COB* cob);
int CheckAnimFrame(const COB* cob, int anim, float frame);
int DrawCobs(const ZEMTX* ref);  // the number drawn
void DrawEffectCobs(void* unused);
int CobHierarchyToSphere(COB* cob, const ZEVEC* centre, float radius);
int CobHierarchyToLine(COB* cob, const ZEVEC* a, const ZEVEC* b, float radius);
int AddCobsDebris(COB* cob, int effect, int count);
int ZeHGobjRndrAddDeb(ZEHGOBJ* hgobj, const ZEMTX* m, const ZEMTX* joints, int count, int effect);
void CobDefaultShadowBrightness(int brightness);
void DumpPos(const ZEVEC* pos);

// Time-based-rendering call (its own module; a stand-in until it lands).
void TimeBasedRenderRelease(int handle);


// ===================================================================
// Locators and joint overrides (cobloc)
// ===================================================================
// 256 matrices shared by every cob, one per point of interest of its model,
// chained through element [0][3] and stored relative to the cob's position;
// requests are served once the cob is posed. Joint overrides come from two
// pools of 64 that switch at each logic step.

constexpr int COBLOC_MATRICES = 256;
constexpr int COBLOC_REQUESTS = 128;
constexpr int COBLOC_LOOKUP = 255;   // a model's points of interest (8-bit count)
constexpr int ZEJOINTANIM_POOLSIZE = 64;

using LOCATORFN = void(LOCATORINFO* info);

struct LOCATORREQ {
  int32_t locator;             // point-of-interest id; -1: the cob's matrix
  EePtr<LOCATORREQ> next;      // the same cob's next request
  EePtr<LOCATORFN> callback;
  EePtr<void> data;
};
static_assert(sizeof(LOCATORREQ) == 16);

enum : int { LOCINFO_LASTDRAW = 1, LOCINFO_MTX2 = 2 };

struct LOCATORINFO {
  ZEMTX mtx;                   // the point's world matrix ([0][3] is 0), or the cob's for -1
  ZEMTX mtx2;                  // under the second object matrix (LOCINFO_MTX2), else a copy of mtx
  EePtr<COB> cob;
  EePtr<void> data;            // for an animation event, its COBANIMEVENT row
  int32_t locator;
  int32_t flags;               // LOCINFO_*
};
static_assert(offsetof(LOCATORINFO, cob) == 128 && offsetof(LOCATORINFO, flags) == 140 && sizeof(LOCATORINFO) == 144);

extern ZEMTX locmtx[COBLOC_MATRICES];
extern int freeloc;                       // 1-based first free matrix; 257 none
extern int loclook[COBLOC_LOOKUP];
extern LOCATORREQ loclist[COBLOC_REQUESTS];
extern int locpt;
extern ZEJOINTANIM jointanim_pool[2][ZEJOINTANIM_POOLSIZE];
extern int jointanim_cnt[2];
extern EePtr<COB> cobjanimllist[2][ZEJOINTANIM_POOLSIZE];
extern int ncobjanims[2];
extern int jointanim_ix;

void RequestLocator(int locator, COB* cob, LOCATORFN* callback, void* data);
void CheckLocators(COB* cob, const ZEMTX* m, const ZEMTX* m2, const ZEMTX* joints);
void ManageLocators(COB* cob);
// A locator id the model does not have gives the cob's own matrix.
void GetCobMatrix(const COB* cob, int locator, ZEMTX* out);
void FreeCobLocs(COB* cob);
int CobAddJointAnims(COB* cob, int count, int persistent);
int CobAddJointAnimsEx(COB* cob, int count, int persistent, int next);
void CobJointAnimStartFrame();


// ===================================================================
// Light sets (coblight)
// ===================================================================
// One shared table of 512 level lights: entry 0 the global ambient, entry
// 1 the global directional light (both rebuilt every frame from the sun
// and the current level's inside lights), entries 2-511 the lights of the
// loaded sets, each under its set's key. Once a frame ProcessFlicker lists
// the lights near the camera and animates the flickering ones; per object
// the searches score the listed lights and set the renderer's lights.
//
// Light-set file ("level.lgt"): exactly 256 LEVLIGHT records (10240 bytes,
// little-endian), no header; free records have type -1.

enum {
  LEVLIGHT_FREE = -1,
  LEVLIGHT_LOCAL_AMBIENT = 0,
  LEVLIGHT_GLOBAL_AMBIENT = 1,
  LEVLIGHT_DIRECTIONAL = 2,
  LEVLIGHT_POINT = 3,
  LEVLIGHT_NEGATIVE = 4,  // kept in the table, used by neither search
  LEVLIGHT_POINT_SHADOW = 5,
  LEVLIGHT_FLICKER = 6,
  LEVLIGHT_FLICKER_SHADOW = 7,
  LEVLIGHT_TYPES = 8,
};

struct LEVLIGHT {
  int8_t type;          // LEVLIGHT_*
  uint8_t col[3];       // current colour R, G, B (faded, flickered; the globals' blend)
  int32_t group;        // the light editor's group number; not used for lighting
  int32_t key;          // the set's key
  float radius;         // reaches objects closer than this
  ZEVEC pos;            // position; the global directional entry: the direction of travel
  uint8_t flickconst;   // phase length: constant part, frames
  uint8_t flickrand;    // phase length: random part (random byte x this / 256)
  uint8_t flickstep;    // level change per frame
  uint8_t basecol[3];   // base colour R, G, B
  uint8_t gradcol[3];   // the colour at full flicker level
  uint8_t flicklevel;   // 0-255
  int16_t flickcount;   // frames left in the phase; negative while the level rises
};
static_assert(sizeof(LEVLIGHT) == 40);
static_assert(offsetof(LEVLIGHT, col) == 1 && offsetof(LEVLIGHT, group) == 4 && offsetof(LEVLIGHT, key) == 8 &&
              offsetof(LEVLIGHT, radius) == 12 && offsetof(LEVLIGHT, pos) == 16 &&
              offsetof(LEVLIGHT, flickconst) == 28 && offsetof(LEVLIGHT, flickrand) == 29 &&
              offsetof(LEVLIGHT, flickstep) == 30 && offsetof(LEVLIGHT, basecol) == 31 &&
              offsetof(LEVLIGHT, gradcol) == 34 && offsetof(LEVLIGHT, flicklevel) == 37 &&
              offsetof(LEVLIGHT, flickcount) == 38);

constexpr int LIGHTS_MAX = 512;
constexpr int LIGHTSET_RECORDS = 256;
constexpr int LIGHTSET_BYTES = LIGHTSET_RECORDS * int(sizeof(LEVLIGHT));  // 10240
constexpr int ACTIVELIGHTS_MAX = 64;
constexpr float LIGHT_ACTIVE_RANGE = 20.0f;  // listed within this of the camera
constexpr float LIGHT_FADE_RANGE = 18.0f;    // faded out beyond this
constexpr float LIGHT_SEARCH_RANGE = 24.0f;  // farther objects get the default lights

// An object's light memory for SearchLights.
struct COBLIGHTS {
  float slotscore[3];   // score of each directional slot's light
  float shadowscore;    // the shadow light's strength (score / 6)
  float ambscore;       // the local ambient light's score
  float shadowmem;      // shadow strength at the start of the fade
  int8_t slotfade[3];   // 100 when the slot's light changed, -5 a draw
  int8_t shadowfade;    // 100 on change, -2 a draw
  int8_t ambfade;       // 100 on change, -2 a draw
  uint8_t shadowbright; // 12
  int16_t slot[3];      // table index of each slot's light, -1 none
  int16_t shadowlight;  // -1 none
  int16_t amblight;     // -1 none
  ZEVEC slotdirmem[3];
  ZEVEC shadowdirmem;
  ZEVEC slotcolmem[3];
  ZEVEC shadowdir;      // the resulting shadow direction; (0, -1, 0) when reset
  ZEVEC ambcolmem;
};

// What SearchLightsBasic writes when given a record: colours are the light
// values x 128, truncated.
struct LIGHTSAMPLE {
  ZEVEC dirs[3];
  uint8_t cols[3][3];
  uint8_t amb[3];
};
static_assert(sizeof(LIGHTSAMPLE) == 48);

extern LEVLIGHT Lights[LIGHTS_MAX];
extern LEVLIGHT templights[LIGHTSET_RECORDS];
extern EePtr<LEVLIGHT> ActiveLights[ACTIVELIGHTS_MAX];
extern int16_t ActiveLightsNum[ACTIVELIGHTS_MAX];
extern int alightcount;
extern int lightkey;   // the next set's key (15 bits); while a set is held back, its key
extern int lighttrap;  // -1, or the parked key counter while a set is held back
extern LEVLIGHT DirInside, AmbInside, DirBlend1, AmbBlend1, DirBlend2, AmbBlend2;
extern float dirblend, ambblend;  // 1 at the start of a fade, 0 when done
// The outside light, written every frame by the world effects while
// outlighton is set.
extern ZEVEC thesun;
extern int16_t thesuncolr, thesuncolg, thesuncolb;
extern int16_t thesunambr, thesunambg, thesunambb;
extern int outlighton;       // 1 while the camera is outdoors
extern float outlightblend;  // 0 outdoors to 1 indoors
extern int shadowwobx, shadowwoby;  // 16-bit angles
extern ZEVEC defamb;
extern ZEVEC defdirs[3];
extern ZEVEC4 defcols[3];
extern ZEVEC4 defblank;
extern COBLIGHTS coblights;  // shared by every cob without its own

void InitLights();
void InitLight(COBLIGHTS* lights);
// The set's key, or -1 while a set is held back or when the file gave no
// whole record. A set that does not fit the table goes in as far as it fits.
int InsertLightSet(const char* path);
int RemoveLightSet(int key);  // 0, or -1 while a set is held back
int DisableLightSet(int key);  // 0, or -1 while another set is held back
int EnableLightSet();          // 0, or -1 when no set is held back
void ProcessFlicker(const ZEMTX* ref, int paused, int outdoors, int editor);
// Lights for a cob at pos (its matrix's translation) with smoothing in its
// record (coblights for a cob without its own).
void SearchLights(const ZEMTX* ref, const ZEVEC* pos, COBLIGHTS* lights, int reset);
// Without memory: sets the renderer's lights, or fills sample when given.
void SearchLightsBasic(const ZEMTX* ref, const ZEVEC* pos, LIGHTSAMPLE* sample);
void SetDefaultLights(int withcolours);
void SetOutsideLights(int on);
// Writes records (LIGHTSET_RECORDS of them) as a light-set file; 1 on
// success, 0 when the file cannot be written whole.
int WriteLightSet(const char* path, const LEVLIGHT* records);
// What the cob drawing reads and sets of a light record: the shadow
// direction and brightness (0: no shadow), and the brightness alone.
int CobLightsShadow(const COBLIGHTS* lights, ZEVEC* dir);
void CobLightsSetShadowBright(COBLIGHTS* lights, int brightness);


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

