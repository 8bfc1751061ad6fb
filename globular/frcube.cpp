// The cube plate grid: "bin\cube.bin" loaded in place and checked, and the
// questions the planet world asks of it: the plate under a point (exact,
// by ray and by cones), the corners, pairs, centre and neighbours of a
// plate, a frame standing on a plate, and the plates seen from a position.
#include "globular.h"

#include <cmath>
#include <cstring>

int plate_ref[FRCUBE_PLATES];
uint16_t ndx_tab[FRSURF_NDXTAB];

namespace {

constexpr const char* CUBE_NAME = "bin\\cube.bin";

FRCUBE* cube = nullptr;
ZEVEC* cube_points = nullptr;
float* cube_uvs = nullptr;
FRCUBELEVEL* cube_levels = nullptr;
int cube_npoints = 0, cube_npairs = 0, cube_nlevels = 0;

// The visible-plate search: it runs on the loader thread only, and its
// candidate list lives until the next search.
struct VISNODE {
  VISNODE* next;
  VISNODE* prev;
  int plate;
  float key;
};
struct {
  ZEVEC dir;
  int depth;
  int flag;
  float horizon;
  float distance;
  VISNODE pool[FRCUBE_LISTNODES];
  int used;
  VISNODE* head;
  VISNODE* tail;
} vis;

const FRCUBEPLATE* Plate(int plate, int level) {
  ZEASSERT(cube && level >= 0 && level < cube_nlevels);
  // Callers pass plate numbers of their own: one past the level is refused.
  if (plate < 0 || uint32_t(plate) >= cube_levels[level].count)
    ZeError("%s: plate %d out of range on level %d (%u plates)", CUBE_NAME, plate, level,
            cube_levels[level].count);
  return &cube_levels[level].plates[plate];
}

const ZEVEC* Corner(const FRCUBEPLATE* p, int k) { return &cube_points[p->point[k]]; }

// The four edge planes hold the direction (on a plane counts as inside).
int Over(const ZEVEC* point, const FRCUBEPLATE* p) {
  for (int k = 0; k < 4; k++) {
    ZEVEC4 pl;
    ZePlnEqn(&pl, Corner(p, k), Corner(p, (k + 1) & 3), &zevec_zero);
    if (ZePlnDist(&pl, point) < 0.0f) return 0;
  }
  return 1;
}

// An angle in units of 65536 a turn, read as 0-32768: the opposite
// direction is half a turn away, not the most negative angle.
float Angle(float cosine) {
  if (!(cosine > -1.0f)) return 32768.0f;  // also a value that is not a number
  int a = ZeACos(cosine);
  return float(a < 0 ? a + 65536 : a);
}

[[noreturn]] void Damaged(const char* what, unsigned value) {
  ZeError("%s: damaged file (%s %u)", CUBE_NAME, what, value);
  __builtin_unreachable();
}

// Every offset, count and index of the image is checked before anything
// reads through it: the file is data from the disc, not trusted.
void Check(uint8_t* base, uint32_t size) {
  auto* h = reinterpret_cast<FRCUBE*>(base);
  if (size < sizeof(FRCUBE)) Damaged("size", size);
  auto span = [&](uint32_t off, uint64_t n, uint32_t elsize, const char* what) {
    if ((off & 3) || off < sizeof(FRCUBE) || off > size || n * elsize > size - off) Damaged(what, off);
  };
  if (h->nlevels < 1 || h->nlevels > FRCUBE_MAXLEVELS) Damaged("levels", h->nlevels);
  if (h->npoints < 3 || h->npoints > 65536) Damaged("points", h->npoints);
  if (h->npairs > 65536) Damaged("pairs", h->npairs);
  span(h->points.addr, h->npoints, sizeof(ZEVEC), "point offset");
  span(h->uvs.addr, h->npairs, 8, "pair offset");
  span(h->levels.addr, h->nlevels, sizeof(FRCUBELEVEL), "level offset");
  auto finite = [](const float* f, size_t n) {
    for (size_t i = 0; i < n; i++)
      if (!std::isfinite(f[i])) return false;
    return true;
  };
  if (!finite(reinterpret_cast<float*>(base + h->points.addr), size_t(h->npoints) * 3))
    Damaged("point value", 0);
  auto* lv = reinterpret_cast<FRCUBELEVEL*>(base + h->levels.addr);
  for (uint32_t l = 0; l < h->nlevels; l++) {
    if (lv[l].count != 6u << (2 * l)) Damaged("plate count", lv[l].count);
    span(lv[l].plates.addr, lv[l].count, sizeof(FRCUBEPLATE), "plate offset");
    auto* p = reinterpret_cast<FRCUBEPLATE*>(base + lv[l].plates.addr);
    for (uint32_t i = 0; i < lv[l].count; i++) {
      if (!finite(&p[i].centre.x, 8)) Damaged("plate value", i);
      for (int k = 0; k < 4; k++) {
        if (p[i].point[k] >= h->npoints) Damaged("point index", p[i].point[k]);
        if (p[i].uv[k] >= h->npairs) Damaged("pair index", p[i].uv[k]);
        if (p[i].neighbour[k] >= lv[l].count) Damaged("neighbour", p[i].neighbour[k]);
      }
    }
  }
}

void Locate(FRCUBESEARCH* s, const FRCUBEPLATE* p, int plate) {
  float dot = ZeVecDot(&s->dir, &p->centre);
  if (dot > p->cone && dot > s->bestdot) {
    s->bestdot = dot;
    s->best = plate;
  }
}

// Angle from the camera direction to the plate's centre, and whether the
// plate's cone reaches over the horizon.
bool Visible(const FRCUBEPLATE* p, float* key) {
  float a = Angle(ZeVecDot(&vis.dir, &p->centre));
  float r = Angle(p->cone);
  *key = a;
  return a < vis.horizon + r * FRCUBE_CONE_SCALE;
}

}  // namespace

void FrCubeInit(char** position, char* end) {
  ZEDAT* previous = ZeDatSet(nullptr);
  char* pos = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(*position) + 15) & ~uintptr_t(15));
  int size = ZeFileSize(CUBE_NAME);
  if (size < 0) ZeError("%s: missing", CUBE_NAME);
  ZEASSERT(pos + size < end);
  int loaded = ZeFileLoadBuffer(CUBE_NAME, pos, int(end - pos));
  if (loaded != size) ZeError("%s: read %d of %d bytes", CUBE_NAME, loaded, size);
  Check(reinterpret_cast<uint8_t*>(pos), uint32_t(size));
  *position = pos + size;
  cube = reinterpret_cast<FRCUBE*>(pos);
  cube_npoints = int(cube->npoints);
  cube_npairs = int(cube->npairs);
  cube_nlevels = int(cube->nlevels);
  cube_points = reinterpret_cast<ZEVEC*>(pos + cube->points.addr);
  cube_uvs = reinterpret_cast<float*>(pos + cube->uvs.addr);
  cube_levels = reinterpret_cast<FRCUBELEVEL*>(pos + cube->levels.addr);
  cube->points = cube_points;
  cube->uvs = cube_uvs;
  cube->levels = cube_levels;
  for (int l = 0; l < cube_nlevels; l++)
    cube_levels[l].plates = reinterpret_cast<FRCUBEPLATE*>(pos + cube_levels[l].plates.addr);
  ZeDatSet(previous);
}

void FrCubeClose() {
  cube = nullptr;
  cube_points = nullptr;
  cube_uvs = nullptr;
  cube_levels = nullptr;
  cube_npoints = cube_npairs = cube_nlevels = 0;
}

int FrCubeGetNumLevels() { return cube_nlevels; }

int FrCubeGetNumFaces(int level) {
  // 6 x 4^level overflows past level 14; levels the grid cannot hold are refused.
  if (level < 0 || level >= FRCUBE_MAXLEVELS) ZeError("%s: no level %d", CUBE_NAME, level);
  return 6 << (2 * level);
}

void FrCubeGetPoints(int plate, int level, ZEVEC* p0, ZEVEC* p1, ZEVEC* p2, ZEVEC* p3) {
  const FRCUBEPLATE* p = Plate(plate, level);
  *p0 = *Corner(p, 0);
  *p1 = *Corner(p, 1);
  *p2 = *Corner(p, 2);
  *p3 = *Corner(p, 3);
}

void FrCubeGetUVs(int plate, int level, float* uv0, float* uv1, float* uv2, float* uv3) {
  const FRCUBEPLATE* p = Plate(plate, level);
  float* out[4] = {uv0, uv1, uv2, uv3};
  for (int k = 0; k < 4; k++) {
    out[k][0] = cube_uvs[p->uv[k] * 2];
    out[k][1] = cube_uvs[p->uv[k] * 2 + 1];
  }
}

const ZEVEC* FrCubeGetMidpoint(int plate, int level) { return &Plate(plate, level)->centre; }

void FrCubeGetNeighbours(int plate, int level, int* out) {
  const FRCUBEPLATE* p = Plate(plate, level);
  for (int k = 0; k < 4; k++) out[k] = p->neighbour[k];
}

void FrCubeFrameMatrix(const ZEVEC* p0, const ZEVEC* p1, const ZEVEC* p2, float radius, ZEMTX* out) {
  ZEVEC c0, c1, c2, o, x, y, z, e;
  ZeVecScale(&c0, p0, radius);
  ZeVecScale(&c1, p1, radius);
  ZeVecScale(&c2, p2, radius);
  ZeVecAdd(&o, &c0, &c1);
  ZeVecAdd(&o, &o, &c2);
  ZeVecScale(&o, &o, 0.33333334f);
  ZeVecSub(&x, &c2, &c0);
  ZeVecNorm(&x, &x);
  ZeVecSub(&e, &c1, &c0);
  ZeVecNorm(&e, &e);
  ZEVEC d;
  ZeVecSub(&d, &c2, &c0);
  ZeVecCross(&y, &e, &d);
  ZeVecNorm(&y, &y);
  ZeVecCross(&z, &x, &y);
  ZeVecNorm(&z, &z);
  *out = {{{x.x, x.y, x.z, 0}, {y.x, y.y, y.z, 0}, {z.x, z.y, z.z, 0}, {o.x, o.y, o.z, 1}}};
}

void FrCubeInitFrame(FRAME* frame, int plate, int level, float radius) {
  const FRCUBEPLATE* p = Plate(plate, level);
  FrCubeFrameMatrix(Corner(p, 0), Corner(p, 1), Corner(p, 2), radius, &frame->mtx);
}

int FrCubeOverPlate(const ZEVEC* point, int plate, int level) { return Over(point, Plate(plate, level)); }

int FrCubeLocatePlateAccurate(const ZEVEC* point, int depth) {
  ZEASSERT(cube);
  if (depth >= cube_nlevels) ZeError("%s: no level %d", CUBE_NAME, depth);
  int result = -1;
  for (int f = 0; f < 6 && result < 0; f++)
    if (Over(point, Plate(f, 0))) result = f;
  if (result < 0) ZeError("FrCubeLocate point gone AWOL");
  static constexpr int child_of_code[4] = {0, 1, 3, 2};
  for (int l = 1; l <= depth; l++) {
    int f = 4 * result;
    const FRCUBEPLATE* c0 = Plate(f, l);
    ZEVEC4 a, b;
    ZePlnEqn(&a, Corner(c0, 3), Corner(Plate(f + 1, l), 2), &zevec_zero);
    ZePlnEqn(&b, Corner(Plate(f + 3, l), 2), Corner(c0, 1), &zevec_zero);
    int code = (ZePlnDist(&a, point) >= 0.0f ? 2 : 0) + (ZePlnDist(&b, point) >= 0.0f ? 1 : 0);
    result = f + child_of_code[code];
  }
  return result;
}

int FrCubeLocate(const ZEVEC* point, int depth) {
  ZEASSERT(cube);
  if (depth < 0) return -1;
  ZEVEC a;
  ZeVecNorm(&a, point);
  ZeVecScale(&a, &a, 2.0f);
  int first = 0, hit = -1;
  for (int l = 0; l <= depth; l++) {
    int n = l == 0 ? 6 : 4;
    if (l >= cube_nlevels || uint32_t(first + n) > cube_levels[l].count)
      ZeError("%s: level %d too short for plate %d", CUBE_NAME, l, first + n - 1);
    hit = -1;
    for (int i = first; i < first + n && hit < 0; i++) {
      const FRCUBEPLATE* p = &cube_levels[l].plates[i];
      ZEVEC h;
      if (ZePlnLine2(&p->plane, Corner(p, 0), Corner(p, 1), Corner(p, 2), &a, &zevec_zero, &h, nullptr, nullptr) ||
          ZePlnLine2(&p->plane, Corner(p, 2), Corner(p, 3), Corner(p, 0), &a, &zevec_zero, &h, nullptr, nullptr))
        hit = i;
    }
    if (hit < 0) return -1;
    first = 4 * hit;
  }
  return hit;
}

int FrCubeLocatePlate(const ZEVEC* point, int depth) {
  ZEASSERT(cube);
  FRCUBESEARCH s;
  s.depth = depth;
  s.best = -1;
  s.bestdot = 0.0f;
  ZeVecNormVU0(&s.dir, point);
  if (depth < 1) {
    for (int f = 0; f < 6; f++) Locate(&s, Plate(f, 0), f);
  } else {
    if (depth >= cube_nlevels) ZeError("%s: no level %d", CUBE_NAME, depth);
    for (int f = 0; f < 6; f++) {
      const FRCUBEPLATE* p = Plate(f, 0);
      if (ZeVecDot(&s.dir, &p->centre) > p->cone) FrCubeLocatePlateRecurse(&s, 4 * f, 1);
    }
  }
  return s.best;
}

void FrCubeLocatePlateRecurse(FRCUBESEARCH* s, int first, int level) {
  for (int i = first; i < first + 4; i++) {
    const FRCUBEPLATE* p = Plate(i, level);
    if (level == s->depth) {
      Locate(s, p, i);
    } else if (ZeVecDot(&s->dir, &p->centre) > p->cone) {
      FrCubeLocatePlateRecurse(s, 4 * i, level + 1);
    }
  }
}

void FrCubeGetVisiblePlates(int* out, int depth, int* count, int capacity, const ZEVEC* position, int flag,
                            float radius) {
  ZEASSERT(cube);
  if (depth >= cube_nlevels) ZeError("%s: no level %d", CUBE_NAME, depth);
  vis.depth = depth;
  vis.flag = flag;
  ZeVecNormVU0(&vis.dir, position);
  vis.distance = ZeVecMagVU0(position);
  vis.horizon = Angle(radius / vis.distance);
  if (vis.horizon < FRCUBE_HORIZON_FLOOR) vis.horizon = FRCUBE_HORIZON_FLOOR;
  vis.used = 0;
  vis.head = vis.tail = nullptr;
  for (int f = 0; f < 6; f++) {
    float key;
    if (!Visible(Plate(f, 0), &key)) continue;
    if (depth > 0)
      FrCubeGetVisiblePlatesRecurse(4 * f, 1);
    else
      FrCubeAddVisiblePlate(f, key);
  }
  for (VISNODE* n = vis.head; n && *count < capacity; n = n->next) out[(*count)++] = n->plate;
}

void FrCubeGetVisiblePlatesRecurse(int first, int level) {
  for (int i = first; i < first + 4; i++) {
    float key;
    if (!Visible(Plate(i, level), &key)) continue;
    if (level < vis.depth)
      FrCubeGetVisiblePlatesRecurse(4 * i, level + 1);
    else
      FrCubeAddVisiblePlate(i, key);
  }
}

void FrCubeAddVisiblePlate(int plate, float key) {
  // The tables cover the plates of level 4; other numbers are not in them.
  if (plate < FRCUBE_PLATES && plate_ref[plate] < 0) return;
  if (vis.flag && plate < FRSURF_NDXTAB && ndx_tab[plate] == 0xffff) return;
  VISNODE* at = vis.head;
  while (at && at->key < key) at = at->next;
  VISNODE* n;
  if (vis.used < FRCUBE_LISTNODES) {
    n = &vis.pool[vis.used++];
  } else {
    if (!at) return;  // the largest key of a full list: dropped
    n = vis.tail;
    vis.tail = n->prev;
    if (vis.tail) vis.tail->next = nullptr; else vis.head = nullptr;
    if (n == at) at = nullptr;
  }
  n->plate = plate;
  n->key = key;
  n->next = n->prev = nullptr;
  if (at) {
    n->next = at;
    n->prev = at->prev;
    if (at->prev) at->prev->next = n; else vis.head = n;
    at->prev = n;
  } else {
    n->prev = vis.tail;
    if (vis.tail) vis.tail->next = n; else vis.head = n;
    vis.tail = n;
  }
}
