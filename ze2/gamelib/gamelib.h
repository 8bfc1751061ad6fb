// gamelib: helpers the game code shares. For now the random table.
#pragma once

#include <cstdint>

#include "platform.h"
#include "ze3d.h"

// ===================================================================
// Random table (randtab)
// ===================================================================
// A file of random bytes loaded at start-up ("data\rand.dat", 2048 bytes,
// margin 1500). Callers take a byte with *randtab_ptr++; no more than
// size - margin bytes between two CheckRandomTable calls (the main loop makes
// one a frame), so that the pointer stays inside the table.

extern uint8_t* randtab_base;  // the table, null when there is none
extern uint8_t* randtab_ptr;   // the next byte to take
extern int randtab_size;
extern int randtab_margin;

// Loads the table (a missing file leaves it all zero bytes).
void InitRandomTable(const char* name, int size, int margin);
// Moves the pointer back by the margin once it is past base + margin.
void CheckRandomTable();
void CloseRandomTable();

// ===================================================================
// Collision terrain: sets and the collision file (terrain)
// ===================================================================
// Collision file ".ter" (little-endian, used in place):
//   u32 T                      section table at byte 2*T
//   section data               one after another in table order, from byte 4
//   TerrSection[n]             at 2*T; entry 0 holds n and the flags word
// Polygon item data (kinds 0, 1): { TerrGroupHeader, TerrPolygon[count] }*,
//   ended by an int16 < 0. Wall spline (kind 2): u32 0x12345678, u16 points,
//   u16, points * 3 floats. Crash data (kind 3): see special terrain below.
// Every section starts on a 4-byte boundary (the loader refuses others).

#include "zemath.h"
#include "ze3d.h"

struct TerrSection {
  int16_t count;       // entry 0: number of entries
  uint16_t flagsword;  // entry 0: 0 = the loader computes the steepness bits
  uint32_t length;     // data length in 16-bit units
  float pos[3];
  int16_t kind;        // 0 static, 1 platform, 2 wall spline, 3 crash data, else skipped
  uint16_t instance;   // platforms: scene instance id
  uint8_t unused[20];
  uint32_t platword;   // bit 0: turns riders
  uint16_t unused2;
  uint16_t shapeid;    // pickup set: shape type id 0..127
};
static_assert(sizeof(TerrSection) == 52 && offsetof(TerrSection, kind) == 20);
static_assert(offsetof(TerrSection, platword) == 44 && offsetof(TerrSection, shapeid) == 50);

struct TerrGroupHeader {
  int16_t first;  // < 0 ends the list
  int16_t count;  // polygons in the group
  float minx, maxx, minz, maxz;  // relative to the item
};
static_assert(sizeof(TerrGroupHeader) == 20);

constexpr float TERR_NO_TRIANGLE_B = 65536.0f;  // normal B's y for a triangle
struct TerrPolygon {
  float bounds[6];     // min x, max x, min y, max y, min z, max z (item-relative)
  ZEVEC v[4];          // vertices 0..3 (3 only for quads); triangle B = (3, 2, 1)
  ZEVEC na, nb;        // unit normals of A and B; nb.y >= 65535: no B
  uint8_t surface;     // surface type
  uint8_t group;       // collision group (0 solid for everything)
  uint8_t flags;       // 0x80 surface from the group byte; 0x40 flagged (skippable)
  uint8_t steep;       // bit 0 A steep, bit 1 B steep, bits 2-6 wall class
};
static_assert(sizeof(TerrPolygon) == 100 && offsetof(TerrPolygon, na) == 72);
static_assert(offsetof(TerrPolygon, surface) == 96 && offsetof(TerrPolygon, steep) == 99);
inline bool TerrIsQuad(const TerrPolygon* p) { return p->nb.y < 65535.0f; }

struct TerrItem {
  ZEVEC pos;
  EePtr<uint8_t> groups;
  ZEVEC bmin, bmax;     // statics: world; platforms and pickup shapes: relative
  uint32_t platword;
  int32_t kind;         // -1 off, 0 static, 1 platform
  int16_t link;         // scene instance id, platform instance, or own index
  uint16_t shapeid;
  float radsq;
};
static_assert(sizeof(TerrItem) == 56);

constexpr int TERR_ITEMS = 2048;       // level items
constexpr int TERR_PICK_STATICS = 128; // pickup statics a frame
constexpr int TERR_SLOTS = TERR_ITEMS + TERR_PICK_STATICS;
constexpr int TERR_PLATINSTS = 180;
constexpr int TERR_NEARCAM = 48;
constexpr int TERR_INRANGE = 72;
constexpr int TERR_INDEX = 4096;
constexpr int TERR_BUCKETS = 257;      // 0..255 grid, 256 the platform bucket
constexpr int TERR_PLAT_BUCKET = 256;
constexpr int TERR_GRID = 7;
constexpr int TERR_TRACKS = 4;
constexpr int TERR_PICKUP_PLATS = 16;
constexpr int TERR_PICKUP_SHAPES = 32;
constexpr int TERR_SHAPE_IDS = 128;
constexpr int TERR_LIST_BYTES = 2036;  // gathered list: 508 4-byte pointers
constexpr int TERR_COLUMN_CACHES = 17;
constexpr float TERR_NO_HEIGHT = 2000000.0f;
constexpr uint32_t TERR_SPLINE_MARKER = 0x12345678;
constexpr float TERR_RUN_UNBOUNDED = 2147483648.0f;

// Per-frame moving platform instance.
struct alignas(16) PlatInst {
  ZEMTX old;                 // live matrix copied by the old phase
  EePtr<ZEMTX> live;         // null: free
  uint32_t frameword;
  int16_t item;
  int16_t sceneid;
  uint32_t flags;            // bit 0 turns riders, bit 1 hit since the last new phase
  int16_t btimer;
  int16_t pad;
  float bstrength, boffset, bspeed, btension, bdamping;
  EePtr<uint32_t> sceneflags;  // bit 0 enabled; null for run-time instances
};

// A mover's wall and platform contact.
struct TerrTrack {
  EePtr<uint8_t> owner;  // the mover's impact-info record; null free
  int16_t plat;
  uint16_t flags;        // bit 0 connected
  int16_t connect;       // frames
  int16_t wall;          // frames
  ZEVEC wallnorm;
};
static_assert(sizeof(TerrTrack) == 24);

struct TerrBucket {
  uint16_t first, count;
  float minx, minz, maxx, maxz;
};
static_assert(sizeof(TerrBucket) == 20);

struct TerrColumnCache {
  float x, z;
  int16_t life, pad;
  uint8_t list[TERR_LIST_BYTES];
};

struct TerrSet {
  EePtr<TerrItem> items;            // TERR_SLOTS slots
  int16_t nearcam[TERR_NEARCAM];
  int32_t nnearcam;                 // > 48: overflowed, queries use the buckets
  PlatInst plat[TERR_PLATINSTS];
  int16_t inrange[TERR_INRANGE];
  int32_t ninrange;                 // > 72: overflowed, queries use the bucket
  float cambox[6];                  // min x, y, z, max x, y, z
  EePtr<uint8_t> splines;           // the spline read last
  int16_t nitems;
  uint16_t flagsword;
  int32_t nindex;
  int32_t npickplats;
  int16_t pickplats[TERR_PICKUP_PLATS];
  TerrTrack track[TERR_TRACKS];
  TerrBucket buckets[TERR_BUCKETS];
  int32_t nbuckets;
  int16_t index[TERR_INDEX];
  TerrColumnCache columns[TERR_COLUMN_CACHES];
};

struct PickupTerrSet {
  EePtr<TerrItem> items;     // 32 slots
  EePtr<TerrItem> instarea;  // 128 slots, reserved
  int32_t nitems;
  int16_t map[TERR_SHAPE_IDS];  // shape id -> item, -1 none
  EePtr<ZEMTX> platmtx[TERR_PICKUP_SHAPES];
  EePtr<uint8_t> splines;
};

extern TerrSet* CurTerr;
extern PickupTerrSet* PickupTerr;
extern int curPickInst;
extern uint8_t* crashdata;
extern int crashdata_size;  // bytes of the crash-data section (0: none)

// Builds a set in the buffer at *bufpos (the set, then the file). Null when
// the file is missing (bufpos unchanged); a file that does not fit before
// bufend is the fatal "Terrain (%s) has overflowed the level buffer", and a
// damaged one a fatal error naming it.
TerrSet* terraininit(int unused1, uint8_t** bufpos, uint8_t* bufend, int unused2, const char* name,
                     ZEGSCENE* scene, int unused3);
// Loads the file at *bufpos (before bufend) and reads its sections into the
// item slots; the number of polygon items, or -1 when it is missing.
int ReadTerrain(const char* name, TerrItem* items, uint8_t** bufpos, uint8_t* bufend, TerrSet* set);
// The shared pickup shapes ("generic\pickups"); a missing file gives an
// empty set and a debug message.
void terrainpickupinit(const char* name, uint8_t** bufpos, uint8_t* bufend);
int ReadTerrainPickup(const char* name, uint8_t** bufpos, uint8_t* bufend, PickupTerrSet* set);
void noterraininit();
void TerrainSetCur(TerrSet* set);
TerrSet* TerrainGetCur();
uint8_t* CrashDataPtr();
void AddPickupTerr(int shapeid, const ZEVEC* pos);
int AddPickupTerrRot(int shapeid, ZEMTX* live, const ZEMTX* old, int rotating);
void ReassignPickupInst(int inst, int shapeid);
TerrTrack* ScanTerrId(const void* owner);
TerrTrack* AllocTerrId();
void TerrainTrackFlush();

// ===================================================================
// Collision file writer (terrwrite)
// ===================================================================
// Items are written in the order given; polygons of a static item are split
// by the caller into groups. Vertices are item-relative. The writer computes
// bounds; normals are taken as given (unit). Returns 1, 0 when the file
// cannot be written or the description is out of range (with a message).

struct TerrWritePoly {
  ZEVEC v[4];
  int quad;
  ZEVEC na, nb;
  uint8_t surface, group, flags, steep;
};
struct TerrWriteGroup {
  const TerrWritePoly* polys;
  int count;
};
struct TerrWriteSection {
  int kind;              // 0 static, 1 platform, 2 wall spline, 3 crash data
  ZEVEC pos;
  int instance;          // platforms
  uint32_t platword;
  int shapeid;           // pickup sets
  const TerrWriteGroup* groups;  // kinds 0, 1
  int ngroups;
  const ZEVEC* points;   // kind 2
  int npoints;
  const uint8_t* data;   // kind 3: the crash-data block
  int datasize;
};
// The file image in memory (buffer of cap bytes); the size, or -1 when it
// does not fit or a count is out of range.
int TerrWriteImage(uint8_t* out, int cap, const TerrWriteSection* sections, int count, int flagsword);
int TerrWriteFile(const char* name, const TerrWriteSection* sections, int count, int flagsword);

// ===================================================================
// Gathering and hit tests (terrhit)
// ===================================================================

struct TerrSphere {
  float x, y, z, r;
};
extern TerrSphere SphereData[16];
extern int curSphereter;
extern TerrPolygon TerrPolyInfo;
extern TerrPolygon* TerrPoly;
extern int TerrPolyObj;
extern ZEVEC ShadNorm;
extern ZEVEC TerrWallNorm;
extern int plathitid;
extern int PlatCrush;
extern int terrhitflags;
extern TerrTrack* CurTrackInfo;
extern int platinrange;

void AddCollisionSphere(const ZEVEC* centre, float radius);
int TerrainMoveImpactData();
int InsideLineF(float x, float z, float x0, float z0, float x1, float z1);
void TerCrossProduct(ZEVEC* result, const ZEVEC* a, const ZEVEC* b);

// ===================================================================
// Ray casts, scan handles, ground queries (terrcast)
// ===================================================================
// Casts return the hit type: 0 nothing; 1 face or wall spline, 2 edge,
// 3 vertex, 4 collision sphere; +16 when touching at the start. The vector
// is cut to the contact (zero for a touching hit). Nothing without a set.

using TerrScanHandle = uint8_t*;
constexpr int TERR_SCAN_STACK = 8192;
constexpr int TERR_HANDLE_MIN = 404;  // bytes a new handle needs left

extern ZEVEC ShadRoofNorm, EShadNorm, EShadRoofNorm;
extern TerrPolygon *ShadPoly, *ShadRoofPoly, *EShadPoly, *EShadRoofPoly;
extern float ShadRoofY, EShadY, EShadRoofY;
extern int16_t shadhit, castnum, castroofnum, shadroofhit;
extern int16_t eshadhit, ecastnum, ecastroofnum, eshadroofhit;
extern int16_t ZeTerrPlatsOff;
extern int TerrPlatDis;

int NewRayCast(const ZEVEC* start, ZEVEC* vec, int skip, float r);
int NewRayCastMask(const ZEVEC* start, ZEVEC* vec, int mask, int skip, float r);
int NewRayCastSet(const ZEVEC* start, ZEVEC* vec, int plats, int skip, float r, float backoff, float tol);
int NewRayCastSetMask(const ZEVEC* start, ZEVEC* vec, int plats, int mask, int skip, float r, float backoff,
                      float tol);
int NewRayCastSetHandel(const ZEVEC* start, ZEVEC* vec, TerrScanHandle handle, int mask, float r, float backoff,
                        float tol);
int NewRayCastPlatForm(const ZEVEC* start, ZEVEC* vec, int inst, int mask, float r, float backoff);
int TerrainPolyEdge(ZEVEC* p1, ZEVEC* p2);
void NewScanInit();
TerrScanHandle NewScanHandel(const ZEVEC* start, const ZEVEC* vec, int plats, TerrScanHandle parent, float r);
void NewRaySetDisablePalt(int id);
float NewShadow(const ZEVEC* point, int mask, float unused, float reach);
float NewShadowEx(const ZEVEC* point, int mask, float unused, float floorreach, float roofreach);
void NewTerrPlatformsOff();
void NewScan(const ZEVEC* point, int mask, int plats);
int TerrainInfo();
int TerrainInfoExtra();
int ShadowInfo();
int ShadowRoofInfo();
int EShadowInfo();
int EShadowRoofInfo();
void ShadowDir(ZEVEC* result);

// ===================================================================
// Moving platforms (terrplat)
// ===================================================================

extern int PlatImpactId;
extern ZEVEC PlatImpactNorm;
extern TerrPolygon PlatImpactTer;

void TerrainPlatformOldUpdate();
// The new phase; the camera box comes from the current camera (global_camera).
void TerrainPlatformNewUpdate();
int NewPlatInst(ZEMTX* live, int sceneid);
int NewPlatPickupInst(ZEMTX* live, int shapeid);
int DeletePlatinst(int inst);  // 1 done; 0 bad index, free slot or a file instance
void UpdatePlatinst(int inst, ZEMTX* live);
void PlatOnOff(int inst, int on);
void PlatInstRotate(int inst, int turn);
void PlatInstBounce(int inst, float strength, float tension, float damping);
int PlatInstGetHit(int inst);
void PlatInstCenter(int inst, ZEVEC* result);
int FindPlatInst(int sceneid);
int CheckForPlatInst(int sceneid);
void TerrainPlatGetMtx(int inst, ZEMTX** old, ZEMTX** live);
int TerrainPlatId();
int PlatformCrush();
int PlatImpactInfo(ZEVEC* normal, int* surface, int* group);
void PlatformUpdateCallback(void (*fn)(void*), void* arg);
void PlatformConnect(const void* owner, ZEVEC* vec, ZEVEC* vel, int inst);
void OffPlat();

// ===================================================================
// Moves and impact responses (terrmove)
// ===================================================================

// A mover's impact-info record: two bytes, [0] on ground, [1] touched ground
// during this move; its address names the mover's track record.
using TerrHitInfo = uint8_t;

struct TerrShapeRec {
  ZEVEC offset;  // side-step offset (x, z used)
  float yaw;     // ZEANG held as a float
  float radius;  // side-step limit
};
extern float wallover;
extern float TerrWallDeflectYScale;
extern TerrShapeRec* TerrShape;
extern int TerrShapeAdjCnt;

void NewTerrain(ZEVEC* pos, ZEVEC* vel, TerrHitInfo* info, int ignore, int flags, float threshold, float r);
void NewTerrainScaleY(ZEVEC* pos, ZEVEC* vel, TerrHitInfo* info, int ignore, int settle, int skipflagged,
                      float threshold, float r, float yscale);
void NewTerrAxisFreedom(TerrShapeRec* shape, ZEVEC* pos);
void NewShapeInit(TerrShapeRec* shape);
void TerrFlush();
void TerrainWallAng(float threshold);
void TerrainSetWallDeflectYScale(float scale);
void TerrainWallSideSlide(ZEVEC* vel, const void* owner, int yaw, float speed, float yfactor);
int TerrainTrackBack(const ZEVEC* pos, const ZEVEC* dir, ZEVEC* result, float r, float backoff);
void FullDeflect(const ZEVEC* n, const ZEVEC* v, ZEVEC* r);
int FullDeflectTest(const ZEVEC* n, const ZEVEC* v, ZEVEC* r);
void FullDeflectSmallY(const ZEVEC* n, const ZEVEC* v, ZEVEC* r);
void FullDeflectSize(const ZEVEC* n, const ZEVEC* v, ZEVEC* r);
void FullReflect(const ZEVEC* n, const ZEVEC* v, ZEVEC* r);
void FullReflectTest(const ZEVEC* n, const ZEVEC* v, ZEVEC* r);
ZEVEC CubeImpact(const ZEMTX* a, const ZEMTX* b, const ZEVEC* normal, ZEVEC* result, float size);

// ===================================================================
// Special terrain and debug drawing (specialterr)
// ===================================================================
// Crash data (kind-3 section): u32 entries, then entries of
//   { u32 instance, i16 shapes, u16 flags (bit 0 boxes), f32 radius,
//     u32 entry bytes, shapes }; shape = { u32 type, u32 value, data }:
//   1 sphere (centre, radius) 24 bytes; 2 box (ZEMTX, min, max) 96 bytes;
//   3 cylinder (base, height, radius) 28 bytes.

struct SpecialTerrainData {
  EePtr<uint8_t> crash;
  EePtr<ZEGSCENE> scene;
  EePtr<EePtr<uint8_t>> entries;  // one per scene instance, null none
};
extern SpecialTerrainData* current_sterrdata;
extern int sterr_drawbounds;
extern int sterr_selected;

SpecialTerrainData* CreateSpecialTerrainData(ZEGSCENE* scene, uint8_t** bufpos, uint8_t* bufend);
void SpecialTerrainSetCur(SpecialTerrainData* data);
SpecialTerrainData* SpecialTerrainGetCur();
int SpecialTerrainCollideCheck(const ZEVEC* p, ZEVEC* normal, uint32_t* value, float r);
int SpecialTerrainInstanceCollideCheck(const ZEVEC* p, const uint8_t* entry, const ZEMTX* m, ZEVEC* normal,
                                       uint32_t* value, float r);
// Structural check of a crash-data block of size bytes; null when sound,
// else what is wrong.
const char* CrashDataCheck(const uint8_t* data, int size);
// Every debug line goes through this row (default: the renderer's debug
// line queue, ZeRndrLine3dDbg).
extern void (*TerrDebugLine)(uint32_t colour, const ZEVEC* a, const ZEVEC* b);
void SpecialTerrainTestRender();
void SphereDraw(const ZEVEC* centre, float r, float yscale);
void TerrDraw(const TerrPolygon* poly, int item);
void TerrDrawSitu(const TerrPolygon* poly, const ZEVEC* pos);
void TerrDrawPlat(const TerrPolygon* poly, int item);
void TerrDrawPlatCol(const TerrPolygon* poly, int item, uint32_t colour);
void DrawMSitu(int item);
void DrawPlatform(int inst);
void DrawHitTerrain();
void DrawWallSpline();
void TerrShowCamTerr();

// ===================================================================
// Rope bridges and bridge pages (bridge, edbri)
// ===================================================================
// A bridge is a row of plank instances of the level scene strung between two
// anchors; each plank is a moving-platform instance driven by its matrix.
// Two rope lines of point pairs are a damped spring system that sags under
// the player and settles 180 frames after the last touch. Pages of bridge
// placements come from bridge page files through the editor file layer
// (host medium); the grammar is in docs/dressing.md.

#include "edbits_standin.h"

constexpr int BRIDGE_MAX = 8;
constexpr int BRIDGE_PLANKS = 24;
constexpr int BRIDGE_SETTLE = 180;
constexpr int EDBRI_PAGES = 8;
constexpr int EDBRI_PLACEMENTS = 64;
constexpr int EDBRI_RECORD = 94;  // one placement in the page file
constexpr int EDBRI_NAME = 20;

struct ZeBridge {
  char inuse;
  int16_t settle;
  EePtr<ZEGSCENE> scene;
  EePtr<TerrSet> terr;
  ZEVEC rope[BRIDGE_PLANKS][2];   // [i][0] rope A, [i][1] rope B
  ZEVEC vel[BRIDGE_PLANKS][2];
  ZEMTX plank[BRIDGE_PLANKS];
  EePtr<ZEGSCNINST> plankobj[BRIDGE_PLANKS];
  EePtr<ZEGSCNINST> postobj;
  ZEVEC centre;
  float radsq;
  int16_t plat[BRIDGE_PLANKS];
  char nearcam;
  char visible;
  char nplanks;
  char postint;
  uint32_t colour;
  int16_t touched;
  int16_t yaw;
  float stability, tension, gravity, damp, weight, postoff, ropeheight;
};

extern ZeBridge* Bridges;  // BRIDGE_MAX records in EE memory
extern int ZeBridgeProc;

// Returns the bridge 0..7, or -1 when all are used, fewer than 2 planks are
// asked for or the span is zero. More than 24 planks: a message, and 24.
int ZeBridgeCreate(float stability, float tension, float damp, float gravity, float weight, float postoff,
                   float ropeheight, ZEGSCENE* scene, ZEGSCNINST* const* planks, ZEGSCNINST* post,
                   const ZEVEC* start, const ZEVEC* end, int yaw, int nplanks, int postint, uint32_t colour);
void ZeBridgeUpdate(const ZEVEC* player);
void ZeBridgeDraw(ZEMTL* ropemtl);
void ZeBridgeInit();
void ZeBridgeRemove(int index);
void ZeBridgeOn(int flag);
int ZeBridgeAlloc();
int ZeBridgeLookupInstanceIndex(const ZEGSCNINST* object, const ZEGSCENE* scene);
// Streams one rope (count anchor points) as two crossed ribbons through the
// stream's material, at most 42 points a batch.
void ZeBridgeStreamRope(ZERNDRSTREAM* stream, const ZEVEC* points, int count, uint32_t colour);
void ZeBrdigeDrawRope(ZEMTL* mtl, const ZEVEC* a, int na, const ZEVEC* b, int nb, uint32_t colour);

// One placement of a bridge page.
struct EdBridge {
  int32_t bridge;  // live bridge, -1 none
  ZEVEC start;
  float length, postoff;
  int16_t tilt, yaw;
  int8_t page;     // -1 free
  int8_t nplanks, postint;
  int32_t plankobj, postobj;  // scene instance indices, -1 none
  float tension, damp, gravity, weight, ropeheight, stability;
  uint8_t red, green, blue, fourth;
};

extern EdBridge edBridges[EDBRI_PLACEMENTS];
extern int edbri_page_used[EDBRI_PAGES];
extern ZEGSCENE* edbri_page_scene[EDBRI_PAGES];
extern int edbri_bridges_used;
extern int edbri_nearest;

// Page 0..7, or -1: no free page, the file cannot be opened, or its version
// is not 0 or 1.
int edbriLoadPage(const char* name, ZEGSCENE* scene);
void edbriStartPage(int page);
void edbriClearPage(int page);
void edbriBridgeUpdate(int placement, ZEGSCENE* scene);
void edbriDetermineNearest(float limit);
void edbriReset();  // all placements and pages free (no bridges are touched)

// A placement as the page file holds it (names instead of indices).
struct EdBridgeFileRec {
  ZEVEC start;
  float length, postoff;
  int16_t tilt, yaw;
  int8_t nplanks, postint;
  char plank[EDBRI_NAME], post[EDBRI_NAME];
  float tension, damp, gravity, weight, ropeheight, stability;
  uint8_t rgba[4];
};
// Writes a bridge page file on the host medium: 1 done, 0 the open failed.
int edbriWritePage(const char* name, int version, const EdBridgeFileRec* recs, int count);

// ===================================================================
// Wind-swayed scenery and fade objects (wind, fadeobj)
// ===================================================================
// Groups of one scene object drawn at many instance matrices as one burst
// through the fade-and-sway program ("tricuf"). Each instance's callback
// writes the fade block (1, 1, 1, alpha) to VU1 quadword ZEVU1_FADE_BLOCK.
// Instance matrices carry extra data in their last column: [3][3] the
// instance's sway height (wind), [2][3] the inverse of the last sway
// shortening (wind) or, while drawing, the fade marker (0 solid). The draw
// sets [3][3] to 1 and [2][3] to the marker around each add.

constexpr int ZEWIND_GROUPS = 256;
constexpr int ZEWIND_MTXS = 1024;
constexpr int ZEFADE_GROUPS = 64;
constexpr int ZEFADE_MTXS = 1024;
constexpr int ZEVU1_FADE_BLOCK = 0x18;  // the skin palette's first quadword (unskinned draws only)
constexpr float ZEFADE_MARKER = 1.0e-10f;

struct ZeWindGrp {
  int16_t inuse;
  int16_t interact;
  EePtr<ZEGOBJ> object;
  EePtr<ZEMTX> mtxs;
  ZEVEC centre;
  char drawn;
  char inrange;
  int16_t count;
  float height, pushheight, radsq, radius, fadestart, drawrange, rangesq, fadelen, pushstep, pushstep2, pushrate;
};

struct ZeFadeObjGrp {
  int16_t inuse;
  int16_t solid;
  EePtr<ZEGOBJ> object;
  EePtr<TerrSet> terr;
  int16_t instance;
  EePtr<ZEMTX> mtxs;
  EePtr<int16_t> plat;
  ZEVEC centre;
  char drawn;
  char inrange;
  int16_t count;
  float radsq, fadestart, drawrange, rangesq, fadelen;
};

extern ZeWindGrp ZeWindGroup[ZEWIND_GROUPS];
extern ZEMTX* ZeWindMtxs;  // ZEWIND_MTXS matrices in EE memory
extern int ZeWindMtxIndex;
extern ZeWindGrp* ZeWindCurGrp;
extern int ZeWindDir, ZeWindDir2, ZeWindWave;

void ZeWindInit();
// object: the scene instance whose object the group repeats.
ZeWindGrp* ZeWindCreateMtx(float height, float pushheight, float fadestart, float drawrange, ZEGSCENE* scene,
                           int object, ZEMTX* mtxs, int count, int interact);
ZeWindGrp* ZeWindAllocateGrp();
void ZeWindFreeGrp(ZeWindGrp* grp);
ZEMTX* ZeWindAllocMtxs(int n);
void ZeWindFreeMtxs(ZEMTX* mtxs, int n);
void ZeWindUpdate(const ZEVEC* position);
void ZeWindDraw();
void ZeWindCallBack(ZERNDRSTREAM* stream, const ZEMTX* m, int word);

extern ZeFadeObjGrp ZeFadeObjGroup[ZEFADE_GROUPS];
extern ZEMTX* ZeFadeObjMtxs;   // ZEFADE_MTXS matrices in EE memory
extern int16_t* ZeFadeData;    // ZEFADE_MTXS platform ids in EE memory
extern int ZeFadeObjMtxIndex, ZeFadeObjDataIndex;
extern ZeFadeObjGrp* ZeFadeObjCurGrp;
extern int ZeFadeObjWave, ZeFadeObjDir, ZeFadeObjDir2;
extern int stopfadeup;

struct ZeFadePlacement {
  float x, y, z, scale;
};

void ZeFadeObjInit();
ZeFadeObjGrp* ZeFadeObjCreate(float fadestart, float heightoff, float drawrange, ZEGSCENE* scene, int object,
                              const ZeFadePlacement* placements, int count, int solid, int followground);
ZeFadeObjGrp* ZeFadeObjCreateMtx(float fadestart, float drawrange, ZEGSCENE* scene, int object, ZEMTX* mtxs,
                                 int count, int solid);
void ZeFadeObjUpdate(const ZEVEC* position);
void ZeFadeObjDraw();
void ZeFadeObjCallBack(ZERNDRSTREAM* stream, const ZEMTX* m, int word);
void ZeFadeObjAngleTerrain(ZEMTX* m);
void ZeFadeObjGetAngleTerrainValues(float* out, const ZEVEC* point);  // {pitch, height, roll}
ZeFadeObjGrp* ZeFadeObjAllocateGrp();
void ZeFadeObjFreeGrp(ZeFadeObjGrp* grp);
int16_t* ZeFadeObjAllocData(int n);
ZEMTX* ZeFadeObjAllocMtxs(int n);
void ZeFadeObjFreeMtxs(ZEMTX* mtxs, int n);
// Sets the program of every material of the object's geometries; returns
// the count + 1.
int ZeFadeSetFxCodeMtls(ZEGOBJ* object, uint32_t* program);
// Writes the fade block (1, 1, 1, alpha) into the stream.
void ZeFadeWriteBlock(ZERNDRSTREAM* stream, float alpha);

// ===================================================================
// Grass pages (edgra)
// ===================================================================
// Clumps that repeat one scene object many times around a point, read from
// grass page files (versions 1-8) through the editor file layer (host
// medium); their blade matrices are built from a seed and handed to wind
// groups (kind 1 and others) or fade groups (kinds 2 and 3). The grammar is
// in docs/dressing.md.

constexpr int EDGRA_PAGES = 8;
constexpr int EDGRA_CLUMPS = 256;
constexpr int EDGRA_IND_BLOCKS = 32;
constexpr int EDGRA_IND_BLADES = 64;
constexpr int EDGRA_UNITS = 1024;
constexpr int EDGRA_NAME = 20;
constexpr int EDGRA_EDIT_VECTORS = 256;  // vectors a clump in the edit mode's buffer

struct GrassClump {
  int32_t object;       // scene instance, -1 none
  int32_t count;        // blades; 0 free
  ZEVEC pos;
  float radius;
  float sway;
  int32_t group;
  float sway2;
  int8_t page;
  int8_t dist;          // 1 disc with spread, 2 disc, 3 square, 4 grid
  int8_t sizemode;      // 1 centre-heavy, 2 uniform, 3 linear, 4 cosine, else the distance
  int8_t kind;          // 2, 3 fade (3 individual blades), else wind
  int32_t seed;
  float minsize, maxsize;
  int16_t angz, angy;
  float nearr, farr;
  int16_t ind;          // kind 3: individual block, -1 none
  int8_t follow, tilt;
  float hoff;
  EePtr<ZEMTX> mtxs;
  EePtr<ZEVEC> vectors; // per blade (tilt x, height, tilt z)
};

struct GrassBlade {
  ZEVEC offset;
  float size;
  int16_t angz, angy;
};
static_assert(sizeof(GrassBlade) == 20);

extern GrassClump GrassClumps[EDGRA_CLUMPS];
extern GrassBlade IndGrassClumps[EDGRA_IND_BLOCKS][EDGRA_IND_BLADES];
extern int IndGrassClumpsUsed[EDGRA_IND_BLOCKS];
extern int edgra_clumps_used, edgra_ind_clumps_used, edgra_units_used;
extern int edgra_page_used[EDGRA_PAGES], edgra_page_on[EDGRA_PAGES], edgra_page_vectors_valid[EDGRA_PAGES];
extern ZEGSCENE* edgra_page_scene[EDGRA_PAGES];
extern uint8_t* edgra_page_matrix_stack[EDGRA_PAGES];
extern uint8_t* edgra_mtxbuffer;  // edit mode: EDGRA_UNITS matrices
extern uint8_t* edgra_vecbuffer;  // edit mode: EDGRA_EDIT_VECTORS vectors for each clump
extern int edgra_nearest;
extern ZEVEC edgra_cam_pos;

// Page 0..7, or -1: no free page, the file cannot be opened, a version
// outside 1..8 or a negative blade total. Fatal when the page's matrices
// and vectors do not fit below end: "Insufficient buffer space to load
// grass data".
int edgraLoadPage(const char* name, ZEGSCENE* scene, uint8_t** cursor, uint8_t* end);
void edgraCalculatePage(int page, int withterrain);
void edgraStartPage(int page);
void edgraClearPage(int page);
void edgraClumpsReset();
void edgraDetermineNearestClump(float limit);

// A clump as the page file holds it.
struct EdGrassFileRec {
  char name[EDGRA_NAME];
  int32_t count;
  ZEVEC pos;
  float radius, sway;
  int32_t group;
  float sway2;
  int8_t dist, sizemode, kind;
  int32_t seed;
  float minsize, maxsize;
  int16_t angz, angy;
  float nearr, farr;
  int8_t follow, tilt;
  float hoff;
  const GrassBlade* blades;  // kind 3, version 6 on: count records
  const ZEVEC* vectors;      // version 8: count vectors
};
// Writes a grass page of the version's layout: 1 done, 0 the open failed.
int edgraWritePage(const char* name, int version, const EdGrassFileRec* recs, int count, int total);

// ===================================================================
// Procedural blend textures (glutils)
// ===================================================================
// Ready blended materials from texture files: a native image (".pnt")
// loaded into the caller's memory, ".raw" images converted in a shared
// 524,288-byte work buffer (16-bit 256 x 256; 32-bit in several layouts,
// with alpha noise or a two-times downscale with refinement), or a bitmap
// made into a subtractive material. Type-3 texels are bytes A, B, G, R.

constexpr int GLUTILS_RAW_BYTES = 524288;

extern uint8_t* glutils_raw_buffer;
extern int glutils_raw_disabled;
extern int glutils_high_count;

// Fatal when the file cannot be loaded ("... can't be loaded").
ZEMTL* CreateAlphaBlendTexture(char** cursor, const char* name, int uv, int blend, int pri, int zmode);
ZEMTL* CreateAlphaBlendTexture256(const char* name, int uv, int blend);
ZEMTL* CreateAlphaBlendTexture256_32(const char* name, int uv, int blend, int pri, int zmode);
ZEMTL* CreateAlphaBlendTexture64(const char* name, int uv, int blend, int pri);
// Fatal when width x height lies outside 1..65,536 (the work regions).
ZEMTL* CreateAlphaBlendTexturewh_32(const char* name, int uv, int blend, int pri, int zmode, int w, int h);
ZEMTL* CreateAlphaBlendTexturewhNoise_32(const char* name, int uv, int blend, int pri, int zmode, int w, int h);
// Fatal unless width is a power of two and width x height is 1..16,384.
ZEMTL* CreateAlphaBlendTexturewhHigh_32(const char* name, int uv, int blend, int pri, int zmode, int w, int h);
ZEMTL* CreateSubtractiveTexture(const char* name);
void SetBalls(char** cursor);
uint8_t* GetRawBuffer();
// Particle effect types and the effect file (debtype)
// ===================================================================
// Types live in slots 1..255 of debtab (slot 0 and null mean no type).
// Effect file, little-endian, through the editor file layer on the host:
//   file    = int32 version (5..22), int32 type count, type * count,
//             [lists 1, 2: int32 emitter count, emitter * count]
//   type    = 832 bytes in version 22; older versions leave fields out
//             (docs/particles.md); 18 and 19 store half the radial spread
//   emitter = 68 bytes in version 22 (effect pages below)

constexpr int DEB_TYPES = 256, DEB_KEYS = 512, DEB_KEY_CHUNKS = 32, DEB_GLASS_CHUNKS = 32;
constexpr int DEB_CHUNK_PARTS = 32, DEB_GLASS_PARTS = 12, DEB_SPHERES = 8, DEB_WHEEL = 32;
constexpr int DEBRIS_FILE_VERSION = 22, DEBRIS_FILE_OLDEST = 5, DEB_TYPE_RECORD = 832;
constexpr int DEB_BLEND_GLASS = 7, DEB_GENERATORS = 12, DEB_MOMENTUMS = 7, DEB_MATERIALS = 8;
constexpr int DEB_COUNT_MAX = 32767;  // the derived count saturates here


struct DebEnvKey {
  float time;   // 0..1 ascending; the key at exactly 1.0 ends the envelope
  float value;
};
struct DebColKey {
  float time;
  float r, g, b;  // 0..255
};
struct DebSound {
  int32_t id;       // -1 none
  int32_t control;  // 0 none, 1 on edge, 2 off edge, 3 per particle, 4 regular
  int32_t delay;    // 0..50
};

struct DebrisEffectType {
  char name[16];                 // zero-padded, possibly without a terminator
  int8_t list, page;             // the load's kind; effect page 0..7
  int16_t gen_rate;              // n > 0: n a frame; n < 0: one every -n frames
  int16_t particle_count;        // derived, 1..32767
  int16_t start_offset;          // frames
  int16_t on_time, rand_on_time, off_time, rand_off_time;  // frames
  int8_t gen_kind, mom_kind;     // generator 0..11, momentum adjuster 0..6
  int8_t blend;                  // DebMat index 0..7 (7 glass)
  int8_t byte4;                  // stored only
  float reserved0;               // stored only
  float cut_on, cut_off, draw_cut_off;
  float base_speed;
  ZEVEC var, start;              // variation and start half-extents
  ZEVEC pos_scale, pos_base, vel_scale, vel_base;
  float gravity;                 // y = y0 + vy t + gravity t^2
  float life;                    // seconds
  int16_t res_short;             // stored only
  int8_t res_byte0, res_byte1;
  float res_float;
  float jib_xf, jib_xa, jib_yf, jib_ya;  // jibber frequencies and amplitudes
  DebColKey colour[8];
  DebEnvKey alpha[8];            // 0..255
  float rparam[2];               // renderer parameters
  float min_size, max_size;
  DebEnvKey width[8], height[8];
  float min_rot, max_rot;
  DebEnvKey rotation[8];         // 65536 to a turn
  DebEnvKey reserved_env[2][8];
  float umin, vmin, umax, vmax;  // texels of the particle texture
  EePtr<DebrisDmaTypeInfo> info; // renderer block, null until built
  DebEnvKey collision[8];        // sphere radius over a sphere's life
  int8_t spheres;                // 0..8
  int8_t draw_flag;              // 0 after fog, 1 before fog, 3 super early
  int16_t shared_keys[4];        // burst keys, -1 none
  DebSound sounds[4];
  int16_t ghosts;                // copies of every particle
  float ghost_sep;               // seconds between copies
};

extern DebrisEffectType effecttypes[DEB_TYPES];
extern EePtr<DebrisEffectType> debtab[DEB_TYPES];
extern int edpp_types_used;            // 1 + filled slots
extern DebrisDmaTypeInfo* DmaDebTypes; // DEB_TYPES blocks
extern int freeDmaDebType;
extern ZEMTL* DebMat[DEB_MATERIALS];
extern float timeincrement;            // seconds a frame
extern int debris_initialised;

// Carves the pools, packets and materials from *cursor and advances it.
void DebrisSetup(char** cursor, const char* texture, int chunks);
// One type record of the open effect file (the list stored, not the page).
void FileLoadSingleEffectType(DebrisEffectType* t, int version, int list);
// The writer's side: one record of the given version (fields the version
// lacks left out).
void FileSaveSingleEffectType(const DebrisEffectType* t, int version);
// Refuses (fatal, naming the file) a type whose table indices are out of range.
void DebrisCheckEffectType(const DebrisEffectType* t, const char* file);
void edppCalcEffectParticleCount(DebrisEffectType* t);
int DebrisCalcParticleCount(const DebrisEffectType* t);  // the count alone
void GenericDebinfoDmaTypeUpdate(DebrisEffectType* t);
// The value of an envelope at s (0..1), and of a colour envelope's channel.
float DebrisEnvelope(const DebEnvKey* env, float s);
float DebrisColourEnvelope(const DebColKey* env, int channel, float s);
int LookupDebrisEffectPage(const char* name, int page);  // type or -1
int LookupDebrisEffectPageOnly(const char* name, int page);
int LookupDebrisEffect(const char* name);
void edppDestroyAllEffects();
// Clears a type to the defaults an old file leaves (cut-off 25, renderer
// parameters 0.125, no sounds, shared keys -1).
void DebrisDefaultEffectType(DebrisEffectType* t);
// Returns a type's renderer block to DmaDebTypes.
void DebrisReleaseTypeInfo(DebrisEffectType* t);

// ===================================================================
// Live effects and emission (debkey)
// ===================================================================
// 512 keys; chunks of 32 particles (12 glass) are DMA packets (a 32-byte
// head, then DebrisParticle records) handed to the particle program.

struct DebrisKey;
struct DebrisChunkControl;
using DebGenFn = void(DebrisKey* key, DebrisEffectType* t, int extra);
using DebMomFn = void(DebrisKey* key, DebrisEffectType* t, DebrisParticle* p);

struct DebrisSphere {
  ZEVEC vel;
  float age;  // -1 not in use
};

struct DebrisChunkRenderEntry {
  uint8_t* chunk;         // null: free entry
  DebrisEffectType* type;
  DebrisKey* key;         // null: orphan (a released effect fading out)
  ZEMTX mtx;              // orphans: the effect orientation
  ZEVEC pos;              // orphans: the emitter position
};

struct DebrisKey {
  uint8_t* chunks[DEB_KEY_CHUNKS];
  ZEMTX effect;           // the effect's frame (gravity along its Y)
  ZEMTX emitter;          // generated positions and velocities, no translation
  int16_t nchunks, type, active, capacity, controlled, cursor, want_chunks, want_capacity;
  ZEVEC pos, origin, velocity;
  DebGenFn* gen;
  DebMomFn* mom;
  DebrisKey* next;        // emitter-wheel list
  int16_t rotor_y, rotor_z;
  int32_t finite;         // bursts left, 0 unlimited
  int16_t on_counter, phase;
  DebrisSphere sphere[DEB_SPHERES];
  int16_t next_sphere, sphere_countdown;
  int32_t trigger_kind, switch_id;
  float switch_value;
  int16_t refl_a, refl_b;
  float plane_offset, bounce;
  int16_t sound_count[4];
  int16_t group, room;
  int8_t status, has_sounds;  // status 0 off, 1 normal, 2 on
  const ZEPORTALSET* portal;
  float cull_radius;      // 0: recompute the box
  ZEVEC cull_min, cull_max;
  DebrisChunkRenderEntry* entry;  // the render entry of the first chunk
};

extern DebrisKey debkeydata[DEB_KEYS];
extern int16_t freedebkeys[DEB_KEYS];
extern int freedebkeyptr;
extern uint8_t** freedebchunks;
extern int freedebchkptr;       // chunks in use
extern uint8_t** freedebchunksglass;
extern int freedebchkptrg;
extern int debrischunks, debrischunksglass;
extern DebrisChunkRenderEntry* ParticleChunkRenderStack;
extern DebGenFn* const gensorttab[DEB_GENERATORS];
extern DebMomFn* const gencodetab[DEB_MOMENTUMS];
extern const ZEVEC* CutoffCameraVec;
extern int debris_render_group;
extern int64_t debris_seed;
extern float globaltime;        // the particle clock, seconds
extern int globalframes;

inline DebrisParticle* DebrisChunkParticles(uint8_t* chunk) { return reinterpret_cast<DebrisParticle*>(chunk + 32); }

int AddDebrisEffect(int* key, int type, float x, float y, float z);  // the key or -1
int AddFiniteShotDebrisEffect(int* key, int type, const ZEVEC* pos, int count);
void AddVariableShotDebrisEffectMtx3(int type, const ZEVEC* pos, const ZEVEC* vel, int count, const ZEMTX* emit,
                                     const ZEMTX* frame);
void AddVariableShotDebrisEffect(int type, const ZEVEC* pos, int count, int16_t z, int16_t y);
void AddVariableShotDebrisEffectMtx(int type, const ZEVEC* pos, int count, int16_t z, int16_t y, const ZEMTX* frame);
void AddVariableShotDebrisEffectMtx2(int type, const ZEVEC* pos, int count, const ZEMTX* emit, const ZEMTX* frame);
void AddDebEff(int key, int extra, int count);
int DebAlloc();
void DebReAlloc(int key, int particles);
void DebReAlloc2(int key);
void DebFree(int* key);
void DebFreeInstantly(int* key);
void DebFreeOrphansInstantly(int type);
void DebFreeWithoutKey(DebrisKey* k);
void RemoveAnyChunkControls(uint8_t* chunk);
void DebrisStartOffset(int key, int frames);
void DebrisOrientation(int key, int16_t z, int16_t y);
void DebrisOrientationMtx(int key, const ZEMTX* m);
void DebrisPosOrientationMtx(int key, const ZEMTX* m);
void DebrisEmitterOrientation(int key, int16_t a, int16_t b, int16_t c);
void DebrisEmitterOrientationMtx(int key, const ZEMTX* m);
void DebrisEmiterPos(int key, float x, float y, float z);
void DebrisReflectionOrientation(int key, int16_t a, int16_t b, float offset, float factor);
void DebrisSetTrigger(int key, int kind, int id, float value);
void DebrisSetGroupID(int key, int16_t group);
void DebrisSetRoomID(int key, const ZEGSCENE* scene);
void DebrisStatusAlwaysOff(int* key);
void DebrisStatusNormal(int* key);
void DebrisStatusAlwaysOn(int* key);
void DebrisSetRenderGroup(int group);
void DebrisSetSeed(int64_t seed);
void DebrisRegisterCutoffCameraVec(const ZEVEC* pos);
float CameraEmitterDistance(const ZEVEC* pos);
int DebrisFindAllOfType(int type, ZEVEC* pos, int* keys, int max, int first, int withChunks);
int DebrisGetRingProperties(int key, ZEVEC* centre, ZEVEC* axis, float* radius);
int SolveQuadratic(float a, float b, float c, float* t1, float* t2);
ZEMTL* CreateCopyMat(const ZEMTL* source, int uv, int blend, int zmode, int bits45);

void GenDebIndex(DebrisKey* k, DebrisEffectType* t, int extra);
void GenDebIndexSort(DebrisKey* k, DebrisEffectType* t, int extra);
void GenDebIndexPos(DebrisKey* k, DebrisEffectType* t, int extra);
void GenDebIndexWaterFall(DebrisKey* k, DebrisEffectType* t, int extra);
void GenDebIndexWaterFallSplash(DebrisKey* k, DebrisEffectType* t, int extra);
void GenDebIndexPosRandTime(DebrisKey* k, DebrisEffectType* t, int extra);
void GenDebIndexRadial(DebrisKey* k, DebrisEffectType* t, int extra);
void GenDebIndexRadialRotor(DebrisKey* k, DebrisEffectType* t, int extra);
void GenDebIndexSpheroid(DebrisKey* k, DebrisEffectType* t, int extra);
void GenDebIndexBounceY(DebrisKey* k, DebrisEffectType* t, int extra);
void GenDebIndexBounceXZ(DebrisKey* k, DebrisEffectType* t, int extra);
void GenDebIndexImprovedRadial(DebrisKey* k, DebrisEffectType* t, int extra);
void GenDebMomAdjFromPos(DebrisKey* k, DebrisEffectType* t, DebrisParticle* p);
void GenDebMomAdjFromPosRev(DebrisKey* k, DebrisEffectType* t, DebrisParticle* p);
void GenDebMomAdjFromSplash(DebrisKey* k, DebrisEffectType* t, DebrisParticle* p);
void GenDebMomAdjFromAshRock(DebrisKey* k, DebrisEffectType* t, DebrisParticle* p);
void GenDebMomAdjFromPosRevTree(DebrisKey* k, DebrisEffectType* t, DebrisParticle* p);
void GenDebMomAdjFromPosAll(DebrisKey* k, DebrisEffectType* t, DebrisParticle* p);

// ===================================================================
// Particle frame update and drawing (debframe)
// ===================================================================

enum {
  DEBCTL_FADE = 0, DEBCTL_SHOT = 1, DEBCTL_CUT = 2, DEBCTL_RETURN = 3, DEBCTL_FLOOR = 5, DEBCTL_WALL = 6,
  DEBCTL_FADE_GLASS = 7, DEBCTL_RETURN_GLASS = 8, DEBCTL_CUT_GLASS = 9,
};

struct DebrisChunkControl {
  uint8_t* chunk;
  int32_t timer;          // frames; below 32 a wheel distance
  int32_t kind;
  DebrisKey* key;         // kind 1
  DebrisChunkControl* next;
  int32_t slot;           // particle within the chunk
  float t;                // seconds since the particle's birth
  int16_t type, zero, wall_angle;
  float plane_offset, bounce;
};

extern DebrisKey* debris_emitter_stack[DEB_WHEEL];
extern int debris_emitter_stack_index;
extern DebrisChunkControl* debris_chunk_control_stack[DEB_WHEEL];
extern int debris_chunk_control_stack_index;
extern DebrisChunkControl* debris_chunk_controls;
extern DebrisChunkControl** freechunkcontrols;
extern int freechunkcontrolsptr;
extern int debris_generated_total, debris_drawn_total;  // 60-frame sums
extern ZEVEC debris_collide_pt;
extern ZETEXID debris_glass_tid;
extern ZEMTL* debris_glass_mtl;
extern int debris_glass_ready;
extern float debris_glass_scale_u, debris_glass_scale_v;
extern uint8_t object_switches[256];  // the game's switch bytes

void Debris(int paused);
void DebrisDraw(int ignored, int pass);
void DebrisShift(const ZEMTX* m);
int DebrisCollisionCheck(const ZEVEC* p, float r);
void DebrisGlassInit();
void DebrisDrawGlass();
void DebrisGlassClose();
int DebrisGlassParticlesActive();
void DebrisProcessTriggers();
void DebrisProcessSpheres();
void DebrisProcessAllocation();
void DebrisProcessGeneration();
void DebrisProcessTimings();
void DebrisProcessStackUpdate();
void DebrisProcessControlChunks();
void DebrisDoSounds();
void AddDebrisEffectToStack(DebrisKey* key, DebrisKey** list);
void RemoveDebrisEffectFromStack(DebrisKey* key, DebrisKey** list);
DebrisKey** FindDebrisEffectStack(DebrisKey* key);
void AddChunkControlToStack(DebrisChunkControl* c, DebrisChunkControl** list);
void RemoveChunkControlFromStack(DebrisChunkControl* c, DebrisChunkControl** list);

// ===================================================================
// Effect pages (ptlpage)
// ===================================================================
// Emitter record of the effect file, version 22 (68 bytes): position 3 x
// float, int16 orientation Z, Y, int16 emitter angles 1, 2, 3, int32 start
// offset, name 16, int32 trigger kind, int32 switch id, float value, int16
// reflection angles 1, 2, float plane offset, float bounce factor, int16
// group id (older versions: docs/particles.md).

constexpr int EDPP_PAGES = 8, EDPP_EMITTERS = 1024, EDPP_STOPPED = 99999, EDPP_EMITTER_RECORD = 68;

struct PlacedEmitter {
  ZEVEC pos;
  int32_t type;
  int32_t key;              // -1 free, 99999 stopped, else the running effect
  int16_t orient_z, orient_y;
  int16_t emit_a, emit_b, emit_c;
  int32_t start_offset;
  char name[16];
  int32_t trigger_kind, switch_id;
  float switch_value;
  int16_t refl_a, refl_b;
  float plane_offset, bounce;
  int16_t group;
  int8_t page;
};

extern int edpp_page_used[EDPP_PAGES];
extern const ZEGSCENE* edpp_page_scene[EDPP_PAGES];
extern PlacedEmitter edpp_ptls[EDPP_EMITTERS];
extern int edpp_instances_used, edpp_num_orphans, edpp_nearest, edpp_create_type;
extern ZEVEC edpp_cam_pos;

int edppLoadPage(const char* name, int kind, const ZEGSCENE* scene);  // page or -1
void edppStartPage(int page);
void edppStopPage(int page);
void edppClearPage(int page);
void edppRestartAllEffectsInLevel();
void ParticleReset();
void edppDestroyAllParticles();
int edppDetermineNearest(float limit);  // 1 when one was found
void edppRegisterPointerToGameCharLocation(const ZEVEC* p);
// The writer's side: one emitter record, and a whole effect file (types,
// then for lists 1 and 2 the emitters). 1 when written.
void FileSaveSingleEmitter(const PlacedEmitter* e, int version);
int edppSaveFile(const char* name, int version, const DebrisEffectType* types, int ntypes,
                 const PlacedEmitter* emitters, int nemitters);
void FileLoadSingleEmitter(PlacedEmitter* e, int version);

// Services the particle system calls in other subsystems.
ZEMTL* CreateAlphaBlendTexture(char** cursor, const char* name, int uv, int blend, int priority, int zmode);
void edmainRegisterLocVec(const ZEVEC* p);
extern int edbits_editmode;

// ===================================================================
// Rain (rain)
// ===================================================================
// One effect of the general page's type "FENN_RAIN", its drops seeded round
// the camera every frame and moved with it when it jumps; off the emitter
// wheels, drawn by the glass pass with a 64 x 32 streak texture redrawn in
// the glass pass's reserved video memory.

constexpr int ZERAIN_DROPS = 640;              // 20 chunks of 32
constexpr float ZERAIN_NOT_TAKEN = 123456.0f;  // ZeRainOld not yet taken

extern int ZeRainKey;        // the rain's key, -1 while there is no rain
extern float ZeRainFall;     // intensity 0..1
extern ZEMTX ZeRainOld;      // the camera matrix of the previous frame
extern int ZeCamAngx, ZeCamAngy;  // camera pitch and heading, 16-bit angles
extern int ZeCamAngxEx;      // pitch x 15 / 8, clamped to -16384..16384
extern int ZeRainTwist, ZeRainWob;  // phases advanced 887 and 731 a frame
extern int ZeRainInactive;   // frames with intensity 0 while the key is held
extern int testrain;         // 0: no drops made or drawn
extern ZETEXID ZeRainTex;    // the streak texture (with the glass pass)
extern ZEMTL* ZeRainMtl;     // the drops' material, textured by the streaks

void ZeRainSetFall(float fall);
void ZeRainProcess(int paused);
// From the glass pass, after the glass particles, with the reserved memory.
void ZeRainDraw(int addr);
void ZeRainDrawShape(float f);
void ZeRainDrawDrop(int x, int y, int alpha, float l, float b);
