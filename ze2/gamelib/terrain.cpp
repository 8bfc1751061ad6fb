// Terrain sets: the collision file loaded in place, its checks and fix-ups,
// the grid of buckets, the pickup shape set, pickup statics and the
// per-mover track records.
#include <cstring>

#include "terrain_local.h"
#include "zecore.h"

TerrSet* CurTerr;
PickupTerrSet* PickupTerr;
int curPickInst;
uint8_t* crashdata;
int crashdata_size;

namespace {

struct WalkOut {
  int nitems;
  EePtr<uint8_t> splines;
  uint16_t flagsword;
};

[[noreturn]] void Damaged(const char* file, const char* what) {
  ZeError("Terrain (%s) is damaged: %s", file, what);
  KernelHalt();
}

// Checks the polygon groups of an item section of len bytes.
void CheckGroups(const char* file, const uint8_t* data, uint32_t len) {
  uint32_t at = 0;
  for (;;) {
    if (at + 2 > len) Damaged(file, "polygon groups run past their section");
    int16_t first;
    memcpy(&first, data + at, 2);
    if (first < 0) return;
    if (at + sizeof(TerrGroupHeader) > len) Damaged(file, "polygon groups run past their section");
    auto* g = reinterpret_cast<const TerrGroupHeader*>(data + at);
    if (g->count < 0) Damaged(file, "negative polygon count");
    at += sizeof(TerrGroupHeader);
    if (uint64_t(g->count) * sizeof(TerrPolygon) > len - at) Damaged(file, "polygons run past their section");
    at += uint32_t(g->count) * sizeof(TerrPolygon);
  }
}

// The section walk shared by the level and the pickup files. The file lies
// at *bufpos; items go to slots 0..maxitems-1.
int WalkSections(const char* file, uint8_t** bufpos, uint8_t* bufend, TerrItem* items, int maxitems, bool pickup,
                 WalkOut* out) {
  uint8_t* base = *bufpos;
  if (bufend < base) ZeError("Terrain (%s) has overflowed the level buffer", file);
  int size = ZeFileLoadBuffer(file, base, int(bufend - base));
  if (size <= 0) {
    int onDisc = ZeFileSize(file);
    if (onDisc < 0) return -1;
    if (onDisc == 0) Damaged(file, "empty file");
    ZeError("Terrain (%s) has overflowed the level buffer", file);
  }
  // Everything the file says about itself is checked against its size
  // before it is used: counts and offsets must not reach outside it.
  if (size < 4) Damaged(file, "too short");
  uint32_t t;
  memcpy(&t, base, 4);
  uint64_t table = uint64_t(t) * 2;
  if (table < 4 || table % 4 || table + sizeof(TerrSection) > uint64_t(size)) Damaged(file, "bad section table");
  auto* sec = reinterpret_cast<TerrSection*>(base + table);
  int n = sec[0].count;
  if (n < 1 || table + uint64_t(n) * sizeof(TerrSection) > uint64_t(size)) Damaged(file, "bad section count");
  out->flagsword = sec[0].flagsword;
  out->splines = nullptr;
  out->nitems = 0;
  uint64_t at = 4;
  for (int i = 0; i < n; i++) {
    uint64_t len = uint64_t(sec[i].length) * 2;
    if (at + len > table) Damaged(file, "section runs past the section table");
    uint8_t* data = base + at;
    int kind = sec[i].kind;
    if (kind >= 0 && kind <= 3 && at % 4) Damaged(file, "section not on a 4-byte boundary");
    if (kind == 0 || kind == 1) {
      if (out->nitems >= maxitems) {
        ZeError("Terrain (%s) holds more than %d items", file, maxitems);
      }
      CheckGroups(file, data, uint32_t(len));
      TerrItem* it = items + out->nitems++;
      it->pos = {sec[i].pos[0], sec[i].pos[1], sec[i].pos[2]};
      it->kind = kind;
      it->link = int16_t(sec[i].instance);
      it->shapeid = sec[i].shapeid;
      it->platword = sec[i].platword;
      it->groups = data;
    } else if (kind == 2) {
      uint32_t marker = 0;
      if (len >= 4) memcpy(&marker, data, 4);
      if (marker == TERR_SPLINE_MARKER) {
        if (len < 8) Damaged(file, "wall spline header past its section");
        uint16_t points;
        memcpy(&points, data + 4, 2);
        // 0 points would wrap to 65,535 segments.
        if (points < 1) Damaged(file, "wall spline without points");
        if (8 + uint64_t(points) * 12 > len) Damaged(file, "wall spline points run past their section");
        memcpy(data, &out->splines, 4);
        out->splines = data;
        points--;
        memcpy(data + 4, &points, 2);
      }
    } else if (kind == 3 && !pickup) {
      if (const char* what = CrashDataCheck(data, int(len))) Damaged(file, what);
      crashdata = data;
      crashdata_size = int(len);
    }
    at += len;
  }
  *bufpos = base + at;
  return out->nitems;
}

void SplineRuns(uint8_t* head) {
  for (uint8_t* s = head; s;) {
    uint16_t segs;
    memcpy(&segs, s + 4, 2);
    auto* pt = reinterpret_cast<ZEVEC*>(s + 8);
    for (int i = 0; i < segs; i += 16) {
      if (pt[i].y == TERR_RUN_UNBOUNDED) continue;
      if (i + 15 < segs) {
        float b[4] = {pt[i].x, pt[i].x, pt[i].z, pt[i].z};
        for (int k = i; k <= i + 16; k++) {
          b[0] = std::min(b[0], pt[k].x), b[1] = std::max(b[1], pt[k].x);
          b[2] = std::min(b[2], pt[k].z), b[3] = std::max(b[3], pt[k].z);
        }
        for (int k = 0; k < 4; k++) pt[i + k].y = b[k];
      } else {
        pt[i].y = TERR_RUN_UNBOUNDED;
      }
    }
    EePtr<uint8_t> next;
    memcpy(&next, s, 4);
    s = next;
  }
}

template <class F>
void ForPolys(const TerrItem* it, F f) {
  const uint8_t* g = it->groups;
  for (;;) {
    auto* h = reinterpret_cast<const TerrGroupHeader*>(g);
    if (h->first < 0) return;
    auto* p = reinterpret_cast<TerrPolygon*>(const_cast<uint8_t*>(g) + sizeof(TerrGroupHeader));
    for (int k = 0; k < h->count; k++) f(p + k);
    g += sizeof(TerrGroupHeader) + h->count * sizeof(TerrPolygon);
  }
}

void ItemBoundsAndRadius(TerrItem* it) {
  ZEVEC mn = {2e8f, 2e8f, 2e8f}, mx = {-2e8f, -2e8f, -2e8f};
  float rs = 0;
  ForPolys(it, [&](TerrPolygon* p) {
    mn.x = std::min(mn.x, p->bounds[0]), mx.x = std::max(mx.x, p->bounds[1]);
    mn.y = std::min(mn.y, p->bounds[2]), mx.y = std::max(mx.y, p->bounds[3]);
    mn.z = std::min(mn.z, p->bounds[4]), mx.z = std::max(mx.z, p->bounds[5]);
    for (auto& v : p->v) rs = std::max(rs, v.x * v.x + v.y * v.y + v.z * v.z);
  });
  it->bmin = mn, it->bmax = mx, it->radsq = rs;
}

// World x-z extent of an item's groups: min x, max x, min z, max z.
void GroupExtent(const TerrItem* it, float e[4]) {
  e[0] = e[2] = 2e8f, e[1] = e[3] = -2e8f;
  for (const uint8_t* g = it->groups;;) {
    auto* h = reinterpret_cast<const TerrGroupHeader*>(g);
    if (h->first < 0) return;
    e[0] = std::min(e[0], h->minx + it->pos.x), e[1] = std::max(e[1], h->maxx + it->pos.x);
    e[2] = std::min(e[2], h->minz + it->pos.z), e[3] = std::max(e[3], h->maxz + it->pos.z);
    g += sizeof(TerrGroupHeader) + h->count * sizeof(TerrPolygon);
  }
}

int GridCell(float c, float lo, float width) {
  // A zero-wide extent (all items in a line) puts everything in cell 0.
  if (!(width > 0)) return 0;
  int k = EeFtoi(float(EeFtoi(c - lo)) * 7.0f / width);
  return std::clamp(k, 0, TERR_GRID - 1);
}

void ResetGlobals() {
  // A new set's pickup-static slots are empty: a count left from the last
  // set would read them.
  curPickInst = 0;
  PlatImpactId = -1;
  curSphereter = 0;
  platinrange = 0;
  ShadPoly = nullptr;
  TerrPoly = nullptr;
}

}  // namespace

int ReadTerrain(const char* name, TerrItem* items, uint8_t** bufpos, uint8_t* bufend, TerrSet* set) {
  char file[256];
  snprintf(file, sizeof file, "%s.ter", name);
  ZeDebugMsg("store adv (%d)", int(bufend - *bufpos));
  // Cleared first, so that a level without a file never finds the last
  // level's crash data.
  crashdata = nullptr;
  crashdata_size = 0;
  set->splines = nullptr;
  WalkOut out;
  int n = WalkSections(file, bufpos, bufend, items, TERR_ITEMS, false, &out);
  if (n < 0) return -1;
  set->splines = out.splines;
  set->flagsword = out.flagsword;
  SplineRuns(out.splines);
  return n;
}

TerrSet* terraininit(int, uint8_t** bufpos, uint8_t* bufend, int, const char* name, ZEGSCENE* scene, int) {
  uint8_t* start = *bufpos;
  auto* set = reinterpret_cast<TerrSet*>((uintptr_t(start) + 15) & ~uintptr_t(15));
  auto* items = reinterpret_cast<TerrItem*>(set + 1);
  uint8_t* pos = reinterpret_cast<uint8_t*>(items + TERR_SLOTS);
  if (pos > bufend) ZeError("Terrain (%s) has overflowed the level buffer", name);
  crashdata = nullptr;
  crashdata_size = 0;
  memset(set, 0, sizeof *set);
  set->items = items;
  for (int i = 0; i < TERR_SLOTS; i++) items[i].kind = -1;
  ResetGlobals();
  int n = ReadTerrain(name, items, &pos, bufend, set);
  if (n < 0) {
    *bufpos = start;
    return nullptr;
  }
  set->nitems = int16_t(n);
  for (int i = 0; i < n; i++) {
    TerrItem* it = items + i;
    ForPolys(it, [&](TerrPolygon* p) {
      if (p->group >= 0xF0) {
        p->steep |= uint8_t((p->group + 0x11) << 2);
        p->group = 0;
      }
      if (p->surface == 0xFF) {
        p->surface = p->group;
        p->group = 0;
        p->flags |= 0x80;
      } else if (p->surface & 0x80) {
        p->surface &= 0x7F;
        p->flags |= 0x40;
      }
      if (set->flagsword == 0) {
        p->steep &= ~3;
        if (p->na.y <= 0.707f) p->steep |= 1;
        if (p->nb.y <= 0.707f) p->steep |= 2;
      }
    });
    ItemBoundsAndRadius(it);
    if (it->kind == 0) {
      ZeVecAdd(&it->bmin, &it->bmin, &it->pos);
      ZeVecAdd(&it->bmax, &it->bmax, &it->pos);
    }
  }
  float ext[4] = {2e8f, -2e8f, 2e8f, -2e8f};
  for (int i = 0; i < n; i++) {
    float e[4];
    GroupExtent(items + i, e);
    ext[0] = std::min(ext[0], e[0]), ext[1] = std::max(ext[1], e[1]);
    ext[2] = std::min(ext[2], e[2]), ext[3] = std::max(ext[3], e[3]);
  }
  uint8_t cell[TERR_ITEMS];
  for (int i = 0; i < n; i++) {
    float e[4];
    GroupExtent(items + i, e);
    int col = GridCell((e[0] + e[1]) / 2, ext[0], ext[1] - ext[0]);
    int row = GridCell((e[2] + e[3]) / 2, ext[2], ext[3] - ext[2]);
    cell[i] = uint8_t(col + TERR_GRID * row);
  }
  for (int c = 0; c < TERR_GRID * TERR_GRID; c++) {
    TerrBucket* b = set->buckets + set->nbuckets;
    b->first = uint16_t(set->nindex);
    b->count = 0;
    b->minx = b->minz = 2e8f, b->maxx = b->maxz = -2e8f;
    for (int i = 0; i < n; i++) {
      if (items[i].kind != 0 || cell[i] != c) continue;
      float e[4];
      GroupExtent(items + i, e);
      b->minx = std::min(b->minx, e[0]), b->maxx = std::max(b->maxx, e[1]);
      b->minz = std::min(b->minz, e[2]), b->maxz = std::max(b->maxz, e[3]);
      set->index[set->nindex++] = int16_t(i);
      b->count++;
    }
    if (b->count) set->nbuckets++;
  }
  TerrBucket* pb = set->buckets + TERR_PLAT_BUCKET;
  pb->first = uint16_t(set->nindex);
  pb->count = 0;
  int bound = 0;
  for (int i = 0; i < n; i++) {
    TerrItem* it = items + i;
    if (it->kind != 1) continue;
    set->index[set->nindex++] = int16_t(i);
    pb->count++;
    int id = uint16_t(it->link);
    if (bound >= TERR_PLATINSTS || !scene || id >= scene->ninst) {
      it->kind = -1;
      continue;
    }
    ZEGSCNINST* si = scene->insts.get() + id;
    PlatInst* pi = set->plat + bound;
    pi->item = int16_t(i);
    pi->sceneid = int16_t(id);
    pi->flags = it->platword & 1;
    ZEMTX* ov = ZeGScnInstOverride(si);
    pi->live = ov ? ov : &si->mtx;
    pi->old = *pi->live.get();
    pi->sceneflags = &si->flags;
    it->link = int16_t(bound++);
  }
  TerrShapeAdjCnt = 0;
  *bufpos = pos;
  return set;
}

int ReadTerrainPickup(const char* name, uint8_t** bufpos, uint8_t* bufend, PickupTerrSet* set) {
  char file[256];
  snprintf(file, sizeof file, "%s.ter", name);
  WalkOut out;
  int n = WalkSections(file, bufpos, bufend, set->items, TERR_PICKUP_SHAPES, true, &out);
  if (n < 0) {
    // Sound behaviour for a missing file: an empty set.
    ZeDebugMsg("ReadTerrainPickup: no pickup collision file %s", file);
    return 0;
  }
  set->splines = out.splines;
  for (int i = 0; i < n; i++)
    if (set->items[i].shapeid < TERR_SHAPE_IDS) set->map[set->items[i].shapeid] = int16_t(i);
  return n;
}

void terrainpickupinit(const char* name, uint8_t** bufpos, uint8_t* bufend) {
  auto* set = reinterpret_cast<PickupTerrSet*>((uintptr_t(*bufpos) + 15) & ~uintptr_t(15));
  auto* items = reinterpret_cast<TerrItem*>((uintptr_t(set + 1) + 15) & ~uintptr_t(15));
  uint8_t* pos = reinterpret_cast<uint8_t*>(items + TERR_PICKUP_SHAPES + TERR_SHAPE_IDS);
  if (pos > bufend) ZeError("Terrain (%s) has overflowed the level buffer", name);
  memset(set, 0, sizeof *set);
  set->items = items;
  set->instarea = items + TERR_PICKUP_SHAPES;
  for (int i = 0; i < TERR_PICKUP_SHAPES; i++) items[i].kind = -1;
  for (auto& m : set->map) m = -1;
  ResetGlobals();
  int n = ReadTerrainPickup(name, &pos, bufend, set);
  set->nitems = n;
  for (int i = 0; i < n; i++) {
    TerrItem* it = items + i;
    ForPolys(it, [&](TerrPolygon* p) {
      if (p->surface == 0xFF) {
        p->surface = p->group;
        p->group = 0;
        p->flags |= 0x80;
      }
    });
    ItemBoundsAndRadius(it);
    it->kind = 0;
    it->link = int16_t(i);
  }
  PickupTerr = set;
  *bufpos = pos;
}

void noterraininit() {
  CurTerr = nullptr;
  curPickInst = 0;
  ShadPoly = nullptr;
  TerrPoly = nullptr;
  TerrPolyObj = -1;
  curSphereter = 0;
  platinrange = 0;
}

void TerrainSetCur(TerrSet* set) { CurTerr = set; }
TerrSet* TerrainGetCur() { return CurTerr; }
uint8_t* CrashDataPtr() { return crashdata; }

void AddPickupTerr(int shapeid, const ZEVEC* pos) {
  if (!CurTerr || !PickupTerr || shapeid < 0 || shapeid >= TERR_SHAPE_IDS) return;
  int k = PickupTerr->map[shapeid];
  if (k < 0 || curPickInst >= TERR_PICK_STATICS) return;
  TerrItem* dst = TerrItemAt(TERR_ITEMS + curPickInst++);
  *dst = PickupTerr->items.get()[k];
  dst->pos = *pos;
}

void ReassignPickupInst(int inst, int shapeid) {
  if (!CurTerr || !PickupTerr || inst < 0 || inst >= TERR_PLATINSTS || shapeid < 0 || shapeid >= TERR_SHAPE_IDS)
    return;
  int k = PickupTerr->map[shapeid];
  PlatInst* pi = CurTerr->plat + inst;
  if (k < 0 || !pi->live) return;
  const TerrItem* src = PickupTerr->items.get() + k;
  TerrItem* it = TerrItemAt(pi->item);
  it->groups = src->groups;
  it->bmin = src->bmin, it->bmax = src->bmax;
  it->radsq = src->radsq;
}

TerrTrack* ScanTerrId(const void* owner) {
  if (!CurTerr || !owner) return nullptr;
  for (auto& t : CurTerr->track)
    if (t.owner.get() == owner) return &t;
  return nullptr;
}

TerrTrack* AllocTerrId() {
  if (!CurTerr) return nullptr;
  for (auto& t : CurTerr->track)
    if (!t.owner) return &t;
  return nullptr;
}

void TerrainTrackFlush() {
  if (!CurTerr) return;
  for (auto& t : CurTerr->track) t.owner = nullptr;
}
