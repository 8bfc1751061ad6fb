// Records and helpers shared by the collision modules only: the query work
// record, the polygon copy buffers and the internal steps of gathering, hit
// tests and platforms.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "gamelib.h"
#include "zecore.h"

struct TerrScanInfo {
  ZEVEC startpos, startvec;
  ZEVEC pos, vec;
  uint8_t mode;    // 0 move, 1 cast
  uint8_t steep;
  int16_t ignore;
  float threshold;
  EePtr<uint8_t> info;
  float hlen, pitch, yaw, len;
  float r, r2, rinv;
  float ys, ys2, ysinv, ysinv2;
  int16_t hititem;
  int16_t pad;
  ZEVEC relstart, relend;
  uint8_t hittype, edgeid, pad2[2];
  EePtr<uint8_t> platlist;
  EePtr<TerrPolygon> hitpoly;
  float hittime;
  float backoff;
  float tol;
  ZEVEC hitnorm;
  ZEVEC callnorm;
  ZEVEC probepos, probenorm;
  ZEVEC mv[4];
  uint8_t list[TERR_LIST_BYTES];
};

// Gathered-list group header.
struct TerrListHeader {
  int16_t count;  // 0 ends; negative: skipped
  int16_t item;
};
static_assert(sizeof(TerrListHeader) == 4);

constexpr int TERR_COPIES = 512;
constexpr int TERR_WALLPTS = 64;

extern TerrScanInfo* TerI;
extern TerrPolygon ScaleTerrainT1[TERR_COPIES], ScaleTerrainT2[TERR_COPIES];
extern TerrPolygon* ScaleTerrain;
extern int ScaleTerrainUsed;
extern ZEVEC* WallSplList[TERR_WALLPTS];
extern int WallSplCount;
extern uint8_t* TerrOverRideScan;
// When set, hit tests use this list of every polygon and every wall segment
// of the set (the brute-force reference of the tests and the benchmark).
extern uint8_t* TerrRefList;
// Builds that list (every polygon passing mask and skip); 0 when it does
// not fit in cap bytes.
int TerrRefBuild(uint8_t* buf, int cap, int mask, int skip);
extern int TerrNoSpheres;
extern int PlatCodeCallback;

// A work record from the scratchpad, cleared and set up with defaults.
TerrScanInfo* TerrWorkTake(const ZEVEC* start, const ZEVEC* vec, int mode, float r, float yscale, float backoff,
                           float tol);
void TerrWorkGive();

// The item of an index: level slots and pickup statics (2048 + slot).
inline TerrItem* TerrItemAt(int i) { return CurTerr->items.get() + i; }

// Gathered-list writer over a byte area.
struct TerrListWriter {
  uint8_t* base;
  int cap;         // bytes
  int used;        // bytes, the end header not included
  int header;      // offset of the open group header, -1 none
  int full;
};
void TerrListBegin(TerrListWriter* w, uint8_t* base, int cap);
int TerrListAdd(TerrListWriter* w, int item, TerrPolygon* poly);  // 0 when full
void TerrListEnd(TerrListWriter* w);

// Item bounds against a box (min x, y, z, max x, y, z): min <= box max on
// every axis, box min <= max in x and box min < max in y and z.
inline bool TerrItemOverlaps(const ZEVEC& mn, const ZEVEC& mx, const float b[6]) {
  return mn.x <= b[3] && mn.y <= b[4] && mn.z <= b[5] && b[0] <= mx.x && b[1] < mx.y && b[2] < mx.z;
}
// Calls f(index) for each live static item of the grid buckets that reach
// the box in x and z and whose bounds overlap it.
template <class F>
void TerrForGridItems(const float box[6], F f) {
  TerrSet* set = CurTerr;
  for (int b = 0; b < set->nbuckets; b++) {
    const TerrBucket* bk = set->buckets + b;
    if (!(bk->minx <= box[3] && box[0] <= bk->maxx && bk->minz <= box[5] && box[2] <= bk->maxz)) continue;
    for (int k = 0; k < bk->count; k++) {
      int i = set->index[bk->first + k];
      const TerrItem* it = TerrItemAt(i);
      if (it->kind != -1 && TerrItemOverlaps(it->bmin, it->bmax, box)) f(i);
    }
  }
}
// A turning platform's item is near a query when the query's centre lies
// within the item's radius plus the query's reach (squared distance d2):
// the sum of the two squares would miss a mover standing on the far corner
// of a tall platform.
inline bool TerrTurnNear(float d2, float radsq, float reachsq) {
  float r = std::sqrt(radsq) + std::sqrt(reachsq);
  return d2 < r * r;
}
// The end header of a gathered list (a handle's wall points follow it).
const uint8_t* TerrListEndOf(const uint8_t* list);
// The polygons of one item against a box relative to it (copies for y scale).
void TerrGatherItem(TerrListWriter* w, int index, const TerrItem* it, const float rb[6], int mask, int skip, float ys);

// Copies a polygon into the copy buffer in use: y scaled (yscale != 1) and/or
// turned by a matrix (rot non-null, normals recomputed). Null when full.
TerrPolygon* TerrCopyPoly(const TerrPolygon* src, float itemy, float yscale, const ZEMTX* rot);
// Gathering against a box (min x, y, z, max x, y, z): the statics, pickup
// statics and platforms as the work record's mode says.
void ScanTerrain(int plats, int mask, int skip);
// Platform polygons for one item against a box relative to the world; with
// ext the box is extended by ext times the displacement since the old phase.
void TerrGatherPlatform(TerrListWriter* w, int item, const float box[6], float ext, int mask, int skip,
                        float reachsq, int horizontal);
void TerrGatherWalls(const float box[6]);
int TerrPolyPasses(const TerrPolygon* p, int mask, int skip);

// Hit tests on the work record's list (or TerrOverRideScan). 1 on a hit.
void TerrMoveFrame();
int HitTerrain();
int HitTerrainList(const uint8_t* list);
void HitPoly(TerrPolygon* p, int item);
void HitTerrSpheres();
void HitWallSpline();
int HitTerrPoly(TerrPolygon* p, int item);
void TerrainImpactNorm();
// The hit normal in world space, unit, without touching the work record.
void TerrHitNormWorld(const TerrScanInfo* t, ZEVEC* n);

// Platforms (terrplat).
void StorePlatImpact();
int TerrainImpactPlatform();
int TerrainPlatformEmbedded(ZEVEC* pos, ZEVEC* vec, ZEVEC* vel);
int TerrainPlatformCarry(int passes, ZEVEC* vel);
int TerrPlatBox(int item, float box[6], float ext);  // 0 when the instance is disabled

// Moves (terrmove).
void TerrainImpact(ZEVEC* pos, ZEVEC* vel, uint8_t* info);
void TerrainSideClamp(const ZEVEC* d, ZEVEC* pos);
