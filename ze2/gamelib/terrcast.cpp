// Ray casts, scan handles, the cached column gathering and the ground and
// roof query.
#include <cstring>

#include "terrain_local.h"

ZEVEC ShadRoofNorm, EShadNorm = {0, 1, 0}, EShadRoofNorm;
TerrPolygon *ShadPoly, *ShadRoofPoly, *EShadPoly, *EShadRoofPoly;
float ShadRoofY = TERR_NO_HEIGHT, EShadY = TERR_NO_HEIGHT, EShadRoofY = TERR_NO_HEIGHT;
int16_t shadhit, castnum = -1, castroofnum = -1, shadroofhit;
int16_t eshadhit, ecastnum = -1, ecastroofnum = -1, eshadroofhit;
int16_t ZeTerrPlatsOff;
int TerrPlatDis = -1;

alignas(16) uint8_t TempScanStack[TERR_SCAN_STACK];
uint8_t* TempStackPtr = TempScanStack;

namespace {

int lastcasttype;
int lastcastedge;

void CastBox(float box[6], const ZEVEC* s, const ZEVEC* v, float r) {
  const float* sp = &s->x;
  const float* vp = &v->x;
  for (int k = 0; k < 3; k++) {
    float lo = std::min(sp[k], sp[k] + vp[k]), hi = std::max(sp[k], sp[k] + vp[k]);
    box[k] = lo - 0.02f - r, box[k + 3] = hi + 0.02f + r;
  }
}

float DiagSq(const float b[6]) {
  float dx = b[3] - b[0], dy = b[4] - b[1], dz = b[5] - b[2];
  return dx * dx + dy * dy + dz * dz;
}

void CastBegin() {
  TerrPolyObj = -1;
  TerrPoly = nullptr;
  plathitid = -1;
  TerrOverRideScan = nullptr;
}

// One pass of hit tests and the result of a cast.
int CastFinish(ZEVEC* vec) {
  TerrScanInfo* t = TerI;
  HitTerrain();
  int type = t->hittype;
  if (type) {
    if (type & 16) *vec = {0, 0, 0};
    else ZeVecScale(vec, vec, std::max(0.0f, t->hittime - t->backoff));
    TerrainImpactNorm();
    ShadNorm = t->callnorm;
  }
  lastcasttype = type;
  lastcastedge = t->edgeid;
  TerrWorkGive();
  return type;
}

bool BoxHits(const float* pb, const float rb[6]) {
  return pb[0] <= rb[3] && rb[0] < pb[1] && pb[4] <= rb[5] && rb[2] < pb[5] && pb[2] <= rb[4] && rb[1] < pb[3];
}

// The entries of a list that a box still reaches, into a writer: statics by
// polygon bounds, platforms by their box extended by ext times their
// displacement, turning platforms' copies by their vertices' extents.
void FilterList(const uint8_t* src, TerrListWriter* w, const float box[6], int mask, float ext, float extra) {
  for (const uint8_t* g = src;;) {
    TerrListHeader h;
    memcpy(&h, g, 4);
    if (h.count == 0) return;
    int n = h.count < 0 ? -h.count : h.count;
    const uint8_t* ptrs = g + 4;
    g += 4 + 4 * n;
    if (h.count < 0) continue;
    const TerrItem* it = TerrItemAt(h.item);
    float b[6];
    memcpy(b, box, sizeof b);
    bool plat = h.item < TERR_ITEMS && it->kind == 1;
    bool turning = false;
    if (plat) {
      if (!TerrPlatBox(h.item, b, ext)) continue;
      turning = CurTerr->plat[it->link].flags & 1;
      if (turning) {
        float cx = (b[0] + b[3]) / 2 - it->pos.x, cy = (b[1] + b[4]) / 2 - it->pos.y, cz = (b[2] + b[5]) / 2 - it->pos.z;
        if (!TerrTurnNear(cx * cx + cy * cy + cz * cz, it->radsq, DiagSq(b) + extra)) continue;
      }
    }
    float rb[6] = {b[0] - it->pos.x, b[1] - it->pos.y, b[2] - it->pos.z, b[3] - it->pos.x, b[4] - it->pos.y,
                   b[5] - it->pos.z};
    for (int k = 0; k < n; k++) {
      EePtr<TerrPolygon> pp;
      memcpy(&pp, ptrs + 4 * k, 4);
      TerrPolygon* p = pp;
      if (p->group && !(p->group & mask)) continue;
      if (turning) {
        float lo[2] = {1e30f, 1e30f}, hi[2] = {-1e30f, -1e30f};
        for (const ZEVEC& v : p->v) {
          lo[0] = std::min(lo[0], v.x), hi[0] = std::max(hi[0], v.x);
          lo[1] = std::min(lo[1], v.z), hi[1] = std::max(hi[1], v.z);
        }
        if (hi[0] < rb[0] || lo[0] > rb[3] || hi[1] < rb[2] || lo[1] > rb[5]) continue;
      } else if (!BoxHits(p->bounds, rb)) {
        continue;
      }
      if (!TerrListAdd(w, h.item, p)) return;
    }
  }
}

// The wall points stored after a handle's end header that reach the box
// widened by 0.02, into the wall-segment list.
void HandleWalls(const uint8_t* handle, const float box[6]) {
  WallSplCount = 0;
  for (const uint8_t* g = TerrListEndOf(handle) + 4;; g += 8) {
    EePtr<ZEVEC> a, b;
    memcpy(&a, g, 4);
    if (!a) return;
    memcpy(&b, g + 4, 4);
    if (std::max(a->x, b->x) < box[0] - 0.02f || std::min(a->x, b->x) > box[3] + 0.02f) continue;
    if (std::max(a->z, b->z) < box[2] - 0.02f || std::min(a->z, b->z) > box[5] + 0.02f) continue;
    if (WallSplCount + 2 > TERR_WALLPTS) return;
    WallSplList[WallSplCount++] = a;
    WallSplList[WallSplCount++] = b;
  }
}

int Cast(const ZEVEC* start, ZEVEC* vec, int plats, int mask, int skip, float r, float backoff, float tol) {
  if (!CurTerr) return 0;
  CastBegin();
  TerrWorkTake(start, vec, 1, r, 1.0f, backoff, tol);
  ScanTerrain(plats, mask, skip);
  return CastFinish(vec);
}

}  // namespace

int NewRayCast(const ZEVEC* start, ZEVEC* vec, int skip, float r) {
  return Cast(start, vec, 1, 0, skip ? 0x40 : 0, r, 0.01f, 1e-5f);
}
int NewRayCastMask(const ZEVEC* start, ZEVEC* vec, int mask, int skip, float r) {
  return Cast(start, vec, 0, mask, skip ? 0x40 : 0, r, 0.01f, 1e-5f);
}
int NewRayCastSet(const ZEVEC* start, ZEVEC* vec, int plats, int skip, float r, float backoff, float tol) {
  return Cast(start, vec, plats, 0, skip ? 0x40 : 0, r, backoff, tol);
}
int NewRayCastSetMask(const ZEVEC* start, ZEVEC* vec, int plats, int mask, int skip, float r, float backoff,
                      float tol) {
  return Cast(start, vec, plats, mask, skip ? 0x40 : 0, r, backoff, tol);
}

int NewRayCastSetHandel(const ZEVEC* start, ZEVEC* vec, TerrScanHandle handle, int mask, float r, float backoff,
                        float tol) {
  TerrPlatDis = -1;
  if (!CurTerr || !handle) return 0;
  CastBegin();
  TerrScanInfo* t = TerrWorkTake(start, vec, 1, r, 1.0f, backoff, tol);
  float box[6];
  CastBox(box, start, vec, r);
  TerrListWriter w;
  TerrListBegin(&w, t->list, TERR_LIST_BYTES);
  FilterList(handle, &w, box, mask, 1.5f, 1.02f);
  TerrListEnd(&w);
  HandleWalls(handle, box);
  return CastFinish(vec);
}

int NewRayCastPlatForm(const ZEVEC* start, ZEVEC* vec, int inst, int mask, float r, float backoff) {
  if (!CurTerr || inst < 0 || inst >= TERR_PLATINSTS || !CurTerr->plat[inst].live) return 0;
  CastBegin();
  TerrScanInfo* t = TerrWorkTake(start, vec, 1, r, 1.0f, backoff, 0.0f);
  ScaleTerrain = ScaleTerrainT1;
  ScaleTerrainUsed = 0;
  float box[6];
  CastBox(box, start, vec, r);
  TerrListWriter w;
  TerrListBegin(&w, t->list, TERR_LIST_BYTES);
  TerrGatherPlatform(&w, CurTerr->plat[inst].item, box, 1.5f, mask, 0, DiagSq(box) + r + 1.02f, 0);
  TerrListEnd(&w);
  WallSplCount = 0;
  TerrNoSpheres = 1;
  int type = CastFinish(vec);
  TerrNoSpheres = 0;
  return type;
}

int TerrainPolyEdge(ZEVEC* p1, ZEVEC* p2) {
  int type = lastcasttype & ~16;
  if (type != 2 || !TerrPoly || TerrPolyObj < 0) return type;
  static const int ends[6][2] = {{0, 0}, {0, 1}, {1, 2}, {2, 0}, {1, 3}, {3, 2}};
  int e = lastcastedge >= 1 && lastcastedge <= 5 ? lastcastedge : 0;
  if (!e) return type;
  const ZEVEC& at = TerrItemAt(TerrPolyObj)->pos;
  ZeVecAdd(p1, &TerrPolyInfo.v[ends[e][0]], &at);
  ZeVecAdd(p2, &TerrPolyInfo.v[ends[e][1]], &at);
  return type;
}

void NewScanInit() {
  TempStackPtr = TempScanStack;
  TerrPlatDis = -1;
}

void NewRaySetDisablePalt(int id) { TerrPlatDis = id; }

TerrScanHandle NewScanHandel(const ZEVEC* start, const ZEVEC* vec, int plats, TerrScanHandle parent, float r) {
  if (!CurTerr) return nullptr;
  TerrPlatDis = -1;
  int room = int(TempScanStack + TERR_SCAN_STACK - TempStackPtr);
  if (room < TERR_HANDLE_MIN) return nullptr;
  // Entries, then up to 64 wall points and their terminator.
  int walls = 4 * TERR_WALLPTS + 4;
  int cap = std::min(TERR_LIST_BYTES, room - walls);
  uint8_t* h = TempStackPtr;
  TerrScanInfo* t = TerrWorkTake(start, vec, 1, r, 1.0f, 0.01f, 1e-5f);
  (void)t;
  float box[6];
  CastBox(box, start, vec, r);
  TerrListWriter w;
  TerrListBegin(&w, h, cap);
  if (parent) {
    FilterList(parent, &w, box, 0xFF, 1.5f, 1.02f);
  } else {
    ScaleTerrain = ScaleTerrainT1;
    ScaleTerrainUsed = 0;
    TerrSet* set = CurTerr;
    // The grid alone (not the near-camera list), every grouped polygon.
    TerrForGridItems(box, [&](int i) {
      const TerrItem* it = TerrItemAt(i);
      float rb[6] = {box[0] - it->pos.x, box[1] - it->pos.y, box[2] - it->pos.z,
                     box[3] - it->pos.x, box[4] - it->pos.y, box[5] - it->pos.z};
      TerrGatherItem(&w, i, it, rb, 0xFF, 0, 1.0f);
    });
    if (plats) {
      float reach = DiagSq(box) + 1.02f;
      const TerrBucket* pb = set->buckets + TERR_PLAT_BUCKET;
      for (int k = 0; k < pb->count; k++)
        TerrGatherPlatform(&w, set->index[pb->first + k], box, 1.5f, 0xFF, 0, reach, 0);
    }
  }
  TerrListEnd(&w);
  uint8_t* wp = h + w.used + 4;
  float wb[6] = {box[0] - 0.05f, box[1] - 0.05f, box[2] - 0.05f, box[3] + 0.05f, box[4] + 0.05f, box[5] + 0.05f};
  if (parent) HandleWalls(parent, wb);
  else TerrGatherWalls(wb);
  for (int k = 0; k < WallSplCount; k++) {
    EePtr<ZEVEC> p = WallSplList[k];
    memcpy(wp, &p, 4);
    wp += 4;
  }
  memset(wp, 0, 4);
  wp += 4;
  TempStackPtr = wp;
  TerrWorkGive();
  return h;
}

// ------------------------------------------------------------ ground query

namespace {

// The polygons of a vertical column (half-width hw) around x, z: grid
// buckets, items, groups and polygons in x and z only.
void NewScanRot(TerrListWriter* w, float x, float z, float hw, int mask, int plats) {
  TerrSet* set = CurTerr;
  float box[6] = {x - hw, -1e30f, z - hw, x + hw, 1e30f, z + hw};
  // Grouped polygons of static items are always taken (they feed the
  // second result set).
  TerrForGridItems(box, [&](int i) {
    const TerrItem* it = TerrItemAt(i);
    float rb[6] = {box[0] - it->pos.x, box[1], box[2] - it->pos.z, box[3] - it->pos.x, box[4], box[5] - it->pos.z};
    TerrGatherItem(w, i, it, rb, 0xFF, 0, 1.0f);
  });
  if (plats) {
    float pbx[6] = {box[0] - 0.05f, box[1], box[2] - 0.05f, box[3] + 0.05f, box[4], box[5] + 0.05f};
    const TerrBucket* pb = set->buckets + TERR_PLAT_BUCKET;
    for (int k = 0; k < pb->count; k++)
      TerrGatherPlatform(w, set->index[pb->first + k], pbx, 1.5f, mask, 0, 1e-5f, 1);
  }
}

// A work record for a column query at the point, its list open for writing.
TerrScanInfo* ColumnRecord(const ZEVEC* point, TerrListWriter* w) {
  ZEVEC zero = {0, 0, 0};
  TerrScanInfo* t = TerrWorkTake(point, &zero, 1, 0.0f, 1.0f, 0.01f, 1e-5f);
  ScaleTerrain = ScaleTerrainT1;
  ScaleTerrainUsed = 0;
  TerrListBegin(w, t->list, TERR_LIST_BYTES);
  return t;
}

struct Best {
  float y;
  TerrPolygon* poly;
  ZEVEC n;
  int item;
};

void Consider(Best* floor, Best* roof, TerrPolygon* p, int item, const ZEVEC* pt) {
  const TerrItem* it = TerrItemAt(item);
  float dx = pt->x - it->pos.x, dz = pt->z - it->pos.z;
  const ZEVEC* n = &p->na;
  if (n->y == 0) return;
  float s = n->y > 0 ? 1.0f : -1.0f;
  auto f = [&](const ZEVEC& a, const ZEVEC& b) { return s * ((dx - a.x) * (b.z - a.z) + (dz - a.z) * (a.x - b.x)); };
  const ZEVEC* v = p->v;
  const ZEVEC* base = &v[0];
  if (TerrIsQuad(p)) {
    if (f(v[0], v[1]) > 0 || f(v[1], v[3]) > 0 || f(v[3], v[2]) > 0 || f(v[2], v[0]) > 0) return;
    if (f(v[1], v[2]) > 0 && p->nb.y != 0) n = &p->nb, base = &v[3];
  } else if (f(v[0], v[1]) > 0 || f(v[1], v[2]) > 0 || f(v[2], v[0]) > 0) {
    return;
  }
  float h = base->y + it->pos.y - (n->x * (dx - base->x) + n->z * (dz - base->z)) / n->y;
  if (h <= pt->y) {
    if (n->y > 0 && (!floor->poly || h > floor->y)) *floor = {h, p, *n, item};
  } else if (!roof->poly || h < roof->y || (h == roof->y && n->y < roof->n.y)) {
    *roof = {h, p, *n, item};
  }
}

}  // namespace

float NewShadowEx(const ZEVEC* point, int mask, float, float a, float b) {
  castnum = ecastnum = -1;
  ShadNorm.y = 1.0f;
  EShadNorm.y = 1.0f;
  ShadPoly = EShadPoly = ShadRoofPoly = EShadRoofPoly = nullptr;
  ShadRoofY = EShadY = EShadRoofY = TERR_NO_HEIGHT;
  shadhit = eshadhit = 0;
  if (!CurTerr) {
    ZeTerrPlatsOff = 0;
    return TERR_NO_HEIGHT;
  }
  TerrListWriter w;
  TerrScanInfo* t = ColumnRecord(point, &w);
  NewScanRot(&w, point->x, point->z, 0.1f, mask, !ZeTerrPlatsOff);
  TerrListEnd(&w);
  Best fl[2] = {}, rf[2] = {};
  const uint8_t* list = TerrRefList ? TerrRefList : t->list;
  for (const uint8_t* g = list;;) {
    TerrListHeader h;
    memcpy(&h, g, 4);
    if (h.count == 0) break;
    int n = h.count < 0 ? -h.count : h.count;
    for (int k = 0; h.count > 0 && k < n; k++) {
      EePtr<TerrPolygon> p;
      memcpy(&p, g + 4 + 4 * k, 4);
      int set = p->group != 0;
      Consider(&fl[set], &rf[set], p, h.item, point);
    }
    g += 4 + 4 * n;
  }
  float height = TERR_NO_HEIGHT;
  for (int s = 0; s < 2; s++) {
    float fa = s ? b : a;
    bool roof = rf[s].poly && rf[s].n.y < 0 && rf[s].y < point->y + b;
    const Best* fb = rf[s].poly && rf[s].n.y > 0 && rf[s].y < point->y + fa ? &rf[s] : fl[s].poly ? &fl[s] : nullptr;
    int16_t hit = fb == &rf[s] ? 1 : fb ? 2 : 3;
    if (s == 0) {
      if (roof) shadroofhit = 1, ShadRoofY = rf[0].y, ShadRoofNorm = rf[0].n, ShadRoofPoly = rf[0].poly, castroofnum = int16_t(rf[0].item);
      shadhit = hit;
      if (fb) height = fb->y, ShadNorm = fb->n, ShadPoly = fb->poly, castnum = int16_t(fb->item);
    } else {
      if (roof) eshadroofhit = 1, EShadRoofY = rf[1].y, EShadRoofNorm = rf[1].n, EShadRoofPoly = rf[1].poly, ecastroofnum = int16_t(rf[1].item);
      eshadhit = hit;
      if (fb) EShadY = fb->y, EShadNorm = fb->n, EShadPoly = fb->poly, ecastnum = int16_t(fb->item);
    }
  }
  TerrWorkGive();
  ZeTerrPlatsOff = 0;
  return height;
}

float NewShadow(const ZEVEC* point, int mask, float unused, float reach) {
  return NewShadowEx(point, mask, unused, reach, reach);
}

void NewTerrPlatformsOff() { ZeTerrPlatsOff = 1; }

void NewScan(const ZEVEC* point, int mask, int plats) {
  if (!CurTerr) return;
  TerrSet* set = CurTerr;
  TerrColumnCache* c = nullptr;
  for (auto& k : set->columns)
    if (k.life > 0 && std::fabs(k.x - point->x) < 1 && std::fabs(k.z - point->z) < 1) {
      c = &k;
      break;
    }
  if (!c) {
    c = set->columns;
    for (auto& k : set->columns)
      if (k.life < c->life) c = &k;
    TerrListWriter w;
    TerrListBegin(&w, c->list, TERR_LIST_BYTES);
    NewScanRot(&w, point->x, point->z, 1.0f, 0xFF, 0);
    TerrListEnd(&w);
    c->x = point->x, c->z = point->z;
  }
  c->life = 8;
  TerrListWriter w;
  ColumnRecord(point, &w);
  float box[6] = {point->x - 0.1f, -1e30f, point->z - 0.1f, point->x + 0.1f, 1e30f, point->z + 0.1f};
  FilterList(c->list, &w, box, mask, 1.5f, 1.02f);
  if (plats) {
    float pbx[6] = {box[0] - 0.05f, box[1], box[2] - 0.05f, box[3] + 0.05f, box[4], box[5] + 0.05f};
    const TerrBucket* pb = set->buckets + TERR_PLAT_BUCKET;
    for (int k = 0; k < pb->count; k++)
      TerrGatherPlatform(&w, set->index[pb->first + k], pbx, 1.5f, mask, 0, 1e-5f, 1);
  }
  TerrListEnd(&w);
  TerrWorkGive();
}

int TerrainInfo() { return TerrPoly ? TerrPoly->surface : -1; }
int TerrainInfoExtra() { return TerrPoly ? TerrPoly->group : -1; }
int ShadowInfo() { return ShadPoly ? ShadPoly->surface : -1; }
int ShadowRoofInfo() { return ShadRoofPoly ? ShadRoofPoly->surface : -1; }
int EShadowInfo() { return EShadPoly ? EShadPoly->group : -1; }
int EShadowRoofInfo() { return EShadRoofPoly ? EShadRoofPoly->group : -1; }

void ShadowDir(ZEVEC* result) {
  if (ShadPoly) ZeVecSub(result, &ShadPoly->v[1], &ShadPoly->v[0]);
}
