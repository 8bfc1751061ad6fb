// gamelib: helpers the game code shares. For now the random table.
#pragma once

#include <cstdint>

#include "platform.h"

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
// Special terrain and debug drawing (specterr)
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
