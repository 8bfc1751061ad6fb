// Swept-sphere gathering and hit tests: the work record, the gathered list,
// polygon copies for scaled queries and turning platforms, and the face,
// edge, vertex, wall and sphere tests with the normal of a contact.
#include <cstring>

#include "terrain_local.h"
#include "zeps2.h"

TerrScanInfo* TerI;
TerrPolygon ScaleTerrainT1[TERR_COPIES], ScaleTerrainT2[TERR_COPIES];
TerrPolygon* ScaleTerrain = ScaleTerrainT1;
int ScaleTerrainUsed;
ZEVEC* WallSplList[TERR_WALLPTS];
int WallSplCount;
uint8_t* TerrOverRideScan;
uint8_t* TerrRefList;
int TerrNoSpheres;
TerrSphere SphereData[16];
int curSphereter;
TerrPolygon TerrPolyInfo;
TerrPolygon* TerrPoly;
int TerrPolyObj = -1;
ZEVEC ShadNorm = {0, 1, 0};
ZEVEC TerrWallNorm;
int plathitid = -1;
int PlatCrush;
int terrhitflags;
TerrTrack* CurTrackInfo;
int platinrange;

// ------------------------------------------------------------ work record

TerrScanInfo* TerrWorkTake(const ZEVEC* start, const ZEVEC* vec, int mode, float r, float yscale, float backoff,
                           float tol) {
  auto* t = static_cast<TerrScanInfo*>(ZeScratchAlloc32(sizeof(TerrScanInfo)));
  memset(t, 0, offsetof(TerrScanInfo, list));
  t->list[0] = t->list[1] = 0;
  t->startpos = t->pos = *start;
  t->startvec = t->vec = *vec;
  t->mode = uint8_t(mode);
  t->ignore = -1;
  t->r = r, t->r2 = r * r, t->rinv = r != 0 ? 1.0f / r : 0.0f;
  t->ys = yscale, t->ys2 = yscale * yscale, t->ysinv = 1.0f / yscale, t->ysinv2 = t->ysinv * t->ysinv;
  t->hititem = -1;
  t->hittime = 999.9f;
  t->backoff = backoff;
  t->tol = tol;
  TerI = t;
  return t;
}

// The record stays readable after it is given back (until the next query
// takes the scratchpad): the results and the last gathered list are read
// from it by TerrainMoveImpactData, TerrainPolyEdge and the debug drawing.
void TerrWorkGive() { ZeScratchRelease(); }

// ------------------------------------------------------------ gathered list

void TerrListBegin(TerrListWriter* w, uint8_t* base, int cap) {
  w->base = base, w->cap = cap, w->used = 0, w->header = -1, w->full = 0;
  memset(base, 0, 4);
}

int TerrListAdd(TerrListWriter* w, int item, TerrPolygon* poly) {
  auto* h = w->header >= 0 ? reinterpret_cast<TerrListHeader*>(w->base + w->header) : nullptr;
  bool open = h && h->item == item;
  int need = (open ? 4 : 8) + 4;  // the pointer, a header, room for the end header
  if (w->used + need > w->cap) {
    w->full = 1;
    return 0;
  }
  if (!open) {
    w->header = w->used;
    h = reinterpret_cast<TerrListHeader*>(w->base + w->used);
    h->count = 0, h->item = int16_t(item);
    w->used += 4;
  }
  EePtr<TerrPolygon> p = poly;
  memcpy(w->base + w->used, &p, 4);
  w->used += 4;
  h->count++;
  memset(w->base + w->used, 0, 4);
  return 1;
}

void TerrListEnd(TerrListWriter* w) {
  memset(w->base + w->used, 0, 4);
  w->header = -1;
}

// ------------------------------------------------------------ copies

TerrPolygon* TerrCopyPoly(const TerrPolygon* src, float itemy, float yscale, const ZEMTX* rot) {
  if (ScaleTerrainUsed >= TERR_COPIES) return nullptr;
  TerrPolygon* c = ScaleTerrain + ScaleTerrainUsed++;
  *c = *src;
  bool quad = TerrIsQuad(src);
  if (rot) {
    for (int k = 0; k < 4; k++) ZeVecMtxRotate(&c->v[k], &src->v[k], rot);
    if (!quad) c->v[3] = c->v[2];
  }
  if (yscale != 1.0f)
    for (auto& v : c->v) v.y = (v.y + itemy) / yscale - itemy;
  if (rot) {
    ZEVEC a, b;
    ZeVecSub(&a, &c->v[2], &c->v[0]);
    ZeVecSub(&b, &c->v[1], &c->v[0]);
    ZeVecCross(&c->na, &a, &b);
    ZeVecNorm(&c->na, &c->na);
    if (quad) {
      ZeVecSub(&a, &c->v[1], &c->v[3]);
      ZeVecSub(&b, &c->v[2], &c->v[3]);
      ZeVecCross(&c->nb, &a, &b);
      ZeVecNorm(&c->nb, &c->nb);
    }
  } else if (yscale != 1.0f) {
    ZEVEC n = {src->na.x, src->na.y * yscale, src->na.z};
    ZeVecNorm(&c->na, &n);
    if (quad) {
      n = {src->nb.x, src->nb.y * yscale, src->nb.z};
      ZeVecNorm(&c->nb, &n);
    }
  }
  if (!quad) c->nb.y = TERR_NO_TRIANGLE_B;
  EePtr<const TerrPolygon> from = src;
  memcpy(c, &from, 4);
  return c;
}

// ------------------------------------------------------------ gathering

namespace {

bool StrictlyInside(const float box[6], const float cam[6]) {
  for (int k = 0; k < 3; k++)
    if (!(box[k] > cam[k] && box[k + 3] < cam[k + 3])) return false;
  return true;
}

}  // namespace

void TerrGatherItem(TerrListWriter* w, int index, const TerrItem* it, const float rb[6], int mask, int skip,
                    float ys) {
  for (const uint8_t* g = it->groups;;) {
    auto* h = reinterpret_cast<const TerrGroupHeader*>(g);
    if (h->first < 0) return;
    auto* p = reinterpret_cast<TerrPolygon*>(const_cast<uint8_t*>(g) + sizeof(TerrGroupHeader));
    g += sizeof(TerrGroupHeader) + h->count * sizeof(TerrPolygon);
    if (!(h->minx <= rb[3] && rb[0] < h->maxx && h->minz <= rb[5] && rb[2] < h->maxz)) continue;
    for (int k = 0; k < h->count; k++, p++) {
      const float* pb = p->bounds;
      if (!(pb[0] <= rb[3] && rb[0] < pb[1] && pb[4] <= rb[5] && rb[2] < pb[5] && pb[2] <= rb[4] && rb[1] < pb[3]))
        continue;
      if (!TerrPolyPasses(p, mask, skip)) continue;
      TerrPolygon* q = ys == 1.0f ? p : TerrCopyPoly(p, it->pos.y, ys, nullptr);
      if (!q || !TerrListAdd(w, index, q)) return;
    }
  }
}

namespace {

void RelBox(float rb[6], const float b[6], const ZEVEC& pos) {
  rb[0] = b[0] - pos.x, rb[1] = b[1] - pos.y, rb[2] = b[2] - pos.z;
  rb[3] = b[3] - pos.x, rb[4] = b[4] - pos.y, rb[5] = b[5] - pos.z;
}

}  // namespace

int TerrPolyPasses(const TerrPolygon* p, int mask, int skip) {
  if (p->group && !(p->group & mask)) return 0;
  if ((p->flags & 0x40) && skip == 0x40) return 0;
  return 1;
}

int TerrPlatBox(int item, float box[6], float ext) {
  const TerrItem* it = TerrItemAt(item);
  if (it->kind != 1 || it->link < 0 || it->link >= TERR_PLATINSTS) return 0;
  const PlatInst* pi = CurTerr->plat + it->link;
  if (!pi->live) return 0;
  if (pi->sceneflags && !(*pi->sceneflags.get() & 1)) return 0;
  const ZEMTX* m = pi->live;
  float d[3] = {m->m[3][0] - pi->old.m[3][0], (m->m[3][1] - pi->old.m[3][1]) / TerI->ys,
                m->m[3][2] - pi->old.m[3][2]};
  for (int k = 0; k < 3; k++) {
    float e = d[k] * ext;
    if (e > 0) box[k + 3] += e;
    else box[k] += e;
  }
  return 1;
}

void TerrGatherPlatform(TerrListWriter* w, int item, const float box[6], float ext, int mask, int skip,
                        float reachsq, int horizontal) {
  float b[6];
  memcpy(b, box, sizeof b);
  if (!TerrPlatBox(item, b, ext)) return;
  const TerrItem* it = TerrItemAt(item);
  const PlatInst* pi = CurTerr->plat + it->link;
  float rb[6];
  RelBox(rb, b, it->pos);
  float ys = TerI->ys;
  if (!(pi->flags & 1)) {
    if (!TerrItemOverlaps(it->bmin, it->bmax, rb)) return;
    TerrGatherItem(w, item, it, rb, mask, skip, ys);
    return;
  }
  float cx = (b[0] + b[3]) / 2 - it->pos.x, cy = ((b[1] + b[4]) / 2 - it->pos.y) / ys, cz = (b[2] + b[5]) / 2 - it->pos.z;
  if (horizontal) cy = 0;
  if (!TerrTurnNear(cx * cx + cy * cy + cz * cz, it->radsq, reachsq)) return;
  const ZEMTX* m = pi->live;
  for (const uint8_t* g = it->groups;;) {
    auto* h = reinterpret_cast<const TerrGroupHeader*>(g);
    if (h->first < 0) return;
    auto* p = reinterpret_cast<const TerrPolygon*>(g + sizeof(TerrGroupHeader));
    g += sizeof(TerrGroupHeader) + h->count * sizeof(TerrPolygon);
    for (int k = 0; k < h->count; k++, p++) {
      if (!TerrPolyPasses(p, mask, skip)) continue;
      int nv = TerrIsQuad(p) ? 4 : 3;
      ZEVEC v[4];
      float lo[2] = {1e30f, 1e30f}, hi[2] = {-1e30f, -1e30f};
      for (int j = 0; j < nv; j++) {
        ZeVecMtxRotate(&v[j], &p->v[j], m);
        lo[0] = std::min(lo[0], v[j].x), hi[0] = std::max(hi[0], v[j].x);
        lo[1] = std::min(lo[1], v[j].z), hi[1] = std::max(hi[1], v[j].z);
      }
      if (hi[0] < rb[0] || lo[0] > rb[3] || hi[1] < rb[2] || lo[1] > rb[5]) continue;
      TerrPolygon* q = TerrCopyPoly(p, it->pos.y, ys, m);
      if (!q || !TerrListAdd(w, item, q)) return;
      platinrange = 1;
    }
  }
}

void TerrGatherWalls(const float box[6]) {
  WallSplCount = 0;
  float b[4] = {box[0] - 0.02f, box[3] + 0.02f, box[2] - 0.02f, box[5] + 0.02f};
  for (uint8_t* s = CurTerr->splines; s;) {
    uint16_t segs;
    memcpy(&segs, s + 4, 2);
    auto* pt = reinterpret_cast<ZEVEC*>(s + 8);
    for (int i = 0; i < segs; i += 16) {
      int end = i + 16;
      if (pt[i].y == TERR_RUN_UNBOUNDED) {
        end = segs;
      } else if (!(pt[i].y <= b[1] && b[0] <= pt[i + 1].y && pt[i + 2].y <= b[3] && b[2] <= pt[i + 3].y)) {
        continue;
      }
      for (int j = i; j < end && j < segs; j++) {
        const ZEVEC &a = pt[j], &c = pt[j + 1];
        if (std::max(a.x, c.x) < b[0] || std::min(a.x, c.x) > b[1]) continue;
        if (std::max(a.z, c.z) < b[2] || std::min(a.z, c.z) > b[3]) continue;
        if (WallSplCount + 2 > TERR_WALLPTS) return;
        WallSplList[WallSplCount++] = &pt[j];
        WallSplList[WallSplCount++] = &pt[j + 1];
      }
      if (end == segs) break;
    }
    EePtr<uint8_t> next;
    memcpy(&next, s, 4);
    s = next;
  }
}

void ScanTerrain(int plats, int mask, int skip) {
  TerrScanInfo* t = TerI;
  ScaleTerrain = ScaleTerrainT1;
  ScaleTerrainUsed = 0;
  platinrange = 0;
  float box[6];
  float R = 0;
  if (t->mode == 1) {
    const float* s = &t->startpos.x;
    const float* v = &t->startvec.x;
    for (int k = 0; k < 3; k++) {
      float a = s[k] - 0.02f - t->r, b = s[k] + v[k] + 0.02f + t->r;
      if (v[k] < 0) a = s[k] + v[k] - 0.02f - t->r, b = s[k] + 0.02f + t->r;
      box[k] = a, box[k + 3] = b;
    }
  } else {
    R = ZeVecMag(&t->vec) + t->r + 1.0f;
    box[0] = t->startpos.x - 0.05f - R, box[3] = t->startpos.x + 0.05f + R;
    box[1] = t->startpos.y - 0.05f - R * t->ys, box[4] = t->startpos.y + 0.05f + R * t->ys;
    box[2] = t->startpos.z - 0.05f - R, box[5] = t->startpos.z + 0.05f + R;
  }
  TerrListWriter w;
  TerrListBegin(&w, t->list, TERR_LIST_BYTES);
  TerrSet* set = CurTerr;
  bool inside = StrictlyInside(box, set->cambox);
  auto take = [&](int i) {
    const TerrItem* it = TerrItemAt(i);
    float rb[6];
    RelBox(rb, box, it->pos);
    TerrGatherItem(&w, i, it, rb, mask, skip, t->ys);
  };
  // The near-camera list is used only while it is complete.
  if (inside && set->nnearcam <= TERR_NEARCAM) {
    for (int k = 0; k < set->nnearcam; k++) {
      const TerrItem* it = TerrItemAt(set->nearcam[k]);
      if (it->kind != -1 && TerrItemOverlaps(it->bmin, it->bmax, box)) take(set->nearcam[k]);
    }
  } else {
    TerrForGridItems(box, take);
  }
  for (int k = 0; k < curPickInst; k++) {
    const TerrItem* it = TerrItemAt(TERR_ITEMS + k);
    float rb[6];
    RelBox(rb, box, it->pos);
    if (!TerrItemOverlaps(it->bmin, it->bmax, rb)) continue;
    TerrGatherItem(&w, TERR_ITEMS + k, it, rb, mask, skip, t->ys);
  }
  box[0] -= 0.05f, box[1] -= 0.05f, box[2] -= 0.05f, box[3] += 0.05f, box[4] += 0.05f, box[5] += 0.05f;
  t->platlist = t->list + w.used;
  w.header = -1;
  if (plats) {
    float reachsq = R * R;
    if (t->mode == 1) {
      float dx = box[3] - box[0], dy = box[4] - box[1], dz = box[5] - box[2];
      reachsq = dx * dx + dy * dy + dz * dz + 0.02f;
    }
    if (inside && set->ninrange <= TERR_INRANGE) {
      for (int k = 0; k < set->ninrange; k++) TerrGatherPlatform(&w, set->inrange[k], box, 1.0f, mask, skip, reachsq, 0);
    } else {
      const TerrBucket* pb = set->buckets + TERR_PLAT_BUCKET;
      for (int k = 0; k < pb->count; k++)
        TerrGatherPlatform(&w, set->index[pb->first + k], box, 1.0f, mask, skip, reachsq, 0);
    }
  }
  TerrListEnd(&w);
  TerrGatherWalls(box);
}

// ------------------------------------------------------------ move frame

namespace {

void ToFrame(ZEVEC* out, const ZEVEC* v) {
  ZeVecRotateY(out, v, -EeFtoi(TerI->yaw));
  ZeVecRotateX(out, out, -EeFtoi(TerI->pitch));
}

void FromFrame(ZEVEC* out, const ZEVEC* v, const TerrScanInfo* t) {
  ZeVecRotateX(out, v, EeFtoi(t->pitch));
  ZeVecRotateY(out, out, EeFtoi(t->yaw));
}

void Record(int type, float time, const ZEVEC& n, TerrPolygon* p, int item, int steep, int edge) {
  TerrScanInfo* t = TerI;
  t->hittype = uint8_t(type);
  t->hittime = time;
  t->hitnorm = n;
  t->hitpoly = p;
  t->hititem = int16_t(item);
  t->steep = uint8_t(steep);
  t->edgeid = uint8_t(edge);
  if ((type & 16) && p && (p->flags & 0x80)) PlatCrush = p->surface + 1;
}

// Inside the triangle (a, b, c) in the plane that drops n's largest
// component; points on an edge count as inside.
bool InsideTri(const ZEVEC& p, const ZEVEC& a, const ZEVEC& b, const ZEVEC& c, const ZEVEC& n) {
  float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
  auto uv = [&](const ZEVEC& v, float* u, float* w) {
    if (ax >= ay && ax >= az) *u = v.y, *w = v.z;
    else if (ay >= az) *u = v.x, *w = v.z;
    else *u = v.x, *w = v.y;
  };
  float pu, pv, au, av, bu, bv, cu, cv;
  uv(p, &pu, &pv), uv(a, &au, &av), uv(b, &bu, &bv), uv(c, &cu, &cv);
  float d1 = (bu - au) * (pv - av) - (bv - av) * (pu - au);
  float d2 = (cu - bu) * (pv - bv) - (cv - bv) * (pu - bu);
  float d3 = (au - cu) * (pv - cv) - (av - cv) * (pu - cu);
  bool neg = d1 < 0 || d2 < 0 || d3 < 0, pos = d1 > 0 || d2 > 0 || d3 > 0;
  return !(neg && pos);
}

// A point of the move frame against the sweep (radius R); types 3 or 4.
void PointTest(const ZEVEC& q, float R, int type, TerrPolygon* p, int item, int steep) {
  TerrScanInfo* t = TerI;
  float xy = q.x * q.x + q.y * q.y;
  float d2 = xy + q.z * q.z;
  if (d2 < R * R) {
    if (0.0f < t->hittime) {
      float l = std::sqrt(d2);
      ZEVEC n = l > 0 ? ZEVEC{-q.x / l, -q.y / l, -q.z / l} : ZEVEC{0, 0, -1};
      Record(type + 16, 0.0f, n, p, item, steep, 0);
    }
    return;
  }
  if (xy > R * R || !(t->len > 0)) return;
  float h = std::sqrt(R * R - xy);
  float s = q.z - h;
  if (s < 0 || s > t->len) return;
  float time = s / t->len;
  if (time < t->hittime) Record(type, time, {-q.x, -q.y, -h}, p, item, steep, 0);
}

// An edge P-Q of the move frame. Returns 1 when its end vertices are to be
// excluded from the vertex tests.
int EdgeTest(const ZEVEC& P, const ZEVEC& Q, int id, TerrPolygon* p, int item, int steep) {
  TerrScanInfo* t = TerI;
  float r = t->r, L = t->len;
  if ((P.x > r && Q.x > r) || (P.x < -r && Q.x < -r) || (P.y > r && Q.y > r) || (P.y < -r && Q.y < -r) ||
      (P.z < -r && Q.z < -r) || (P.z > L + r && Q.z > L + r))
    return 1;
  ZEVEC e = {Q.x - P.x, Q.y - P.y, Q.z - P.z};
  float A = e.x * e.x + e.y * e.y;
  float E2 = A + e.z * e.z;
  if (A < 1e-12f) {
    float pp = P.x * P.x + P.y * P.y;
    if (std::min(P.z, Q.z) <= 0 && 0 <= std::max(P.z, Q.z) && pp < t->r2 && 0.0f < t->hittime) {
      float l = std::sqrt(pp);
      ZEVEC n = l > 0 ? ZEVEC{-P.x / l, -P.y / l, 0} : ZEVEC{0, 1, 0};
      Record(18, 0.0f, n, p, item, steep, id);
    }
    return 0;
  }
  // Already within the radius of the edge: of the open cylinder between
  // its end points (the ends are the vertex tests').
  float k = -(P.x * e.x + P.y * e.y + P.z * e.z) / E2;
  ZEVEC c = {P.x + e.x * k, P.y + e.y * k, P.z + e.z * k};
  float c2 = c.x * c.x + c.y * c.y + c.z * c.z;
  if (k > 0 && k < 1 && c2 < t->r2) {
    if (0.0f < t->hittime) {
      float l = std::sqrt(c2);
      ZEVEC n = l > 0 ? ZEVEC{-c.x / l, -c.y / l, -c.z / l} : ZEVEC{0, 1, 0};
      Record(18, 0.0f, n, p, item, steep, id);
    }
    return 0;
  }
  if (!(L > 0)) return 0;
  float a0 = -(P.x * e.x + P.y * e.y);
  float B = -2.0f * a0 * e.z;
  float C = E2 * (P.x * P.x + P.y * P.y - t->r2) - a0 * a0;
  float disc = B * B - 4 * A * C;
  if (disc < 0) return 0;
  float u = (-B - std::sqrt(disc)) / (2 * A);
  float s = P.z + u;
  float kk = (a0 + u * e.z) / E2;
  if (!(kk > 0 && kk < 1) || s < 0 || s > L) return 0;
  float time = s / L;
  if (time < t->hittime) Record(2, time, {-P.x - e.x * kk, -P.y - e.y * kk, u - e.z * kk}, p, item, steep, id);
  return 1;
}

}  // namespace

void TerrMoveFrame() {
  TerrScanInfo* t = TerI;
  t->hlen = std::sqrt(t->vec.x * t->vec.x + t->vec.z * t->vec.z);
  t->yaw = float(ZeAtan2DA(t->vec.x, t->vec.z));
  t->pitch = float(ZeAtan2DA(-t->vec.y, t->hlen));
  t->len = ZeVecMag(&t->vec);
}

void HitPoly(TerrPolygon* p, int item) {
  TerrScanInfo* t = TerI;
  const ZEVEC& S = t->relstart;
  const ZEVEC& E = t->relend;
  float r = t->r;
  bool quad = TerrIsQuad(p);
  ZEVEC d;
  ZeVecSub(&d, &S, &p->v[0]);
  float dA0 = ZeVecDot(&p->na, &d) - r;
  ZeVecSub(&d, &E, &p->v[0]);
  float dA1 = ZeVecDot(&p->na, &d) - r - t->tol;
  float dB0 = 0, dB1 = 0;
  if (quad) {
    ZeVecSub(&d, &S, &p->v[3]);
    dB0 = ZeVecDot(&p->nb, &d) - r;
    ZeVecSub(&d, &E, &p->v[3]);
    dB1 = ZeVecDot(&p->nb, &d) - r - t->tol;
  }
  bool candA = dA1 < 0 && dA0 > -r;
  bool candB = quad && dB1 < 0 && dB0 > -r;
  if (!candA && !candB) return;
  auto face = [&](float d0, float d1, const ZEVEC& n, const ZEVEC& a, const ZEVEC& b, const ZEVEC& c, bool tie,
                  int steepbit) {
    float time;
    ZEVEC pt;
    if (d0 > 0 && d1 < 0) {
      time = d0 / (d0 - d1);
      pt = {S.x - r * n.x + t->vec.x * time, S.y - r * n.y + t->vec.y * time, S.z - r * n.z + t->vec.z * time};
    } else if (d0 >= -r && d0 <= 0) {
      // Already touching. (Only while the end also lay within the radius
      // of the plane would let a touching sphere moving in further than
      // its radius pass through the face.)
      time = 1e-9f;
      pt = {S.x - (r + d0) * n.x, S.y - (r + d0) * n.y, S.z - (r + d0) * n.z};
    } else {
      return;
    }
    if (tie ? !(time <= t->hittime) : !(time < t->hittime)) return;
    if (!InsideTri(pt, a, b, c, n)) return;
    Record(d0 <= 0 ? 17 : 1, time, n, p, item, (p->steep >> steepbit) & 1, 0);
  };
  if (candA) face(dA0, dA1, p->na, p->v[0], p->v[1], p->v[2], true, 0);
  if (candB) face(dB0, dB1, p->nb, p->v[3], p->v[2], p->v[1], false, 1);
  if (r == 0) return;
  ZEVEC mv[4];
  int nv = quad ? 4 : 3;
  for (int k = 0; k < nv; k++) {
    ZeVecSub(&d, &p->v[k], &S);
    ToFrame(&mv[k], &d);
  }
  int sa = p->steep & 1, sb = (p->steep >> 1) & 1, se = (p->steep & 3) != 0;
  int excl = 0;
  bool aOk = dA0 >= -r, bOk = quad && dB0 >= -r;
  if (aOk && EdgeTest(mv[0], mv[1], 1, p, item, sa)) excl |= 1 | 2;
  if (EdgeTest(mv[1], mv[2], 2, p, item, se)) excl |= 2 | 4;
  if (aOk && EdgeTest(mv[2], mv[0], 3, p, item, sa)) excl |= 4 | 1;
  if (bOk && EdgeTest(mv[1], mv[3], 4, p, item, sb)) excl |= 2 | 8;
  if (bOk && EdgeTest(mv[3], mv[2], 5, p, item, sb)) excl |= 8 | 4;
  if (aOk && !(excl & 1)) PointTest(mv[0], r, 3, p, item, sa);
  if (aOk && !(excl & 2)) PointTest(mv[1], r, 3, p, item, se);
  if (bOk && !(excl & 8)) PointTest(mv[3], r, 3, p, item, sb);
  if (!(excl & 4)) PointTest(mv[2], r, 3, p, item, se);
}

namespace {

// The start and end relative to an item: the end is position + vector
// first, then made relative, as the start is.
void RelToItem(TerrScanInfo* t, const TerrItem* it) {
  ZEVEC end;
  ZeVecAdd(&end, &t->pos, &t->vec);
  ZeVecSub(&t->relstart, &t->pos, &it->pos);
  ZeVecSub(&t->relend, &end, &it->pos);
}

}  // namespace

int HitTerrainList(const uint8_t* list) {
  TerrScanInfo* t = TerI;
  for (const uint8_t* g = list;;) {
    TerrListHeader h;
    memcpy(&h, g, 4);
    if (h.count == 0) break;
    int n = h.count < 0 ? -h.count : h.count;
    if (h.count > 0) {
      RelToItem(t, TerrItemAt(h.item));
      for (int k = 0; k < n; k++) {
        EePtr<TerrPolygon> p;
        memcpy(&p, g + 4 + 4 * k, 4);
        HitPoly(p, h.item);
      }
    }
    g += 4 + 4 * n;
  }
  return t->hittype != 0;
}

namespace {

void WallSegment(const ZEVEC& a, const ZEVEC& b) {
  TerrScanInfo* t = TerI;
  const ZEVEC& S = t->pos;
  float r = t->r;
  if (!(std::fabs(S.x - a.x) < 64 && std::fabs(S.z - a.z) < 64)) return;
  float nx = b.z - a.z, nz = a.x - b.x;
  float nl = std::sqrt(nx * nx + nz * nz);
  if (nl > 0) {
    nx /= nl, nz /= nl;
    float d0 = nx * (S.x - a.x) + nz * (S.z - a.z) - r;
    float d1 = nx * (S.x + t->vec.x - a.x) + nz * (S.z + t->vec.z - a.z) - r;
    if ((d1 < 0 || d0 < 0) && d0 > -r) {
      float time, cx, cz;
      if (d0 < 0) {
        time = 1e-9f;
        cx = S.x - d0 * nx, cz = S.z - d0 * nz;
      } else {
        time = d0 / (d0 - d1);
        cx = S.x + t->vec.x * time, cz = S.z + t->vec.z * time;
      }
      cx -= r * nx, cz -= r * nz;
      float ux = b.x - a.x, uz = b.z - a.z;
      float proj = ((cx - a.x) * ux + (cz - a.z) * uz) / nl;
      if (proj >= -5e-5f && proj <= nl + 5e-5f && time < t->hittime)
        Record(d0 <= 0 ? 17 : 1, time, {nx, 0, nz}, nullptr, -1, 1, 0);
    }
  }
  // The first point as a vertical post.
  float ax = a.x - S.x, az = a.z - S.z;
  float dist = std::sqrt(ax * ax + az * az);
  if (!(dist <= r + 0.005f + t->hlen)) return;
  bool hit = false;
  if (t->hlen > 0) {
    float dx = t->vec.x / t->hlen, dz = t->vec.z / t->hlen;
    float s = dx * ax + dz * az;
    float perp = std::fabs(dx * az - dz * ax);
    if (s >= 0 && perp < r + 0.0005f) {
      float cd = s - std::sqrt(std::max(0.0f, r * r - perp * perp));
      if (cd >= -0.0005f && cd <= t->hlen) {
        float time = std::max(0.0f, cd / t->hlen);
        hit = true;
        if (time < t->hittime) {
          float cx = S.x + t->vec.x * time - a.x, cz = S.z + t->vec.z * time - a.z;
          float l = std::sqrt(cx * cx + cz * cz);
          ZEVEC n = l > 0 ? ZEVEC{cx / l, 0, cz / l} : ZEVEC{-dx, 0, -dz};
          Record(1, time, n, nullptr, -1, 1, 0);
        }
      }
    }
  }
  if (!hit && dist < r + 0.0005f && 0.0f < t->hittime) {
    ZEVEC n = dist > 0 ? ZEVEC{-ax / dist, 0, -az / dist} : ZEVEC{1, 0, 0};
    Record(17, 0.0f, n, nullptr, -1, 1, 0);
  }
}

}  // namespace

void HitWallSpline() {
  if (TerrRefList) {
    for (uint8_t* s = CurTerr->splines; s;) {
      uint16_t segs;
      memcpy(&segs, s + 4, 2);
      auto* pt = reinterpret_cast<ZEVEC*>(s + 8);
      for (int j = 0; j < segs; j++) WallSegment(pt[j], pt[j + 1]);
      EePtr<uint8_t> next;
      memcpy(&next, s, 4);
      s = next;
    }
    return;
  }
  for (int k = 0; k + 1 < WallSplCount; k += 2) WallSegment(*WallSplList[k], *WallSplList[k + 1]);
}

void HitTerrSpheres() {
  TerrScanInfo* t = TerI;
  for (int k = 0; k < curSphereter; k++) {
    const TerrSphere& s = SphereData[k];
    ZEVEC c = {s.x - t->pos.x, s.y / t->ys - t->r * t->ys - t->pos.y, s.z - t->pos.z};
    ZEVEC q;
    ToFrame(&q, &c);
    PointTest(q, t->r + s.r, 4, nullptr, -1, 0);
  }
}

namespace {

TerrScanInfo* HitBegin() {
  TerrScanInfo* t = TerI;
  TerrMoveFrame();
  // The hit item and polygon stay: after a move whose last pass hit
  // nothing they still name what the move hit.
  t->hittype = 0;
  t->hittime = 999.9f;
  return t;
}

}  // namespace

int HitTerrain() {
  TerrScanInfo* t = HitBegin();
  HitWallSpline();
  HitTerrainList(TerrRefList ? TerrRefList : TerrOverRideScan ? TerrOverRideScan : t->list);
  if (!TerrNoSpheres) HitTerrSpheres();
  if (t->hittype && t->hititem >= 0 && t->hititem < TERR_ITEMS && TerrItemAt(t->hititem)->kind == 1)
    plathitid = TerrItemAt(t->hititem)->link;
  TerrOverRideScan = nullptr;
  return t->hittype != 0;
}

int HitTerrPoly(TerrPolygon* p, int item) {
  TerrScanInfo* t = HitBegin();
  RelToItem(t, TerrItemAt(item));
  HitPoly(p, item);
  return t->hittype;
}

void TerrHitNormWorld(const TerrScanInfo* t, ZEVEC* n) {
  ZEVEC h = t->hitnorm;
  int base = t->hittype & 15;
  if (base >= 2) {
    FromFrame(&h, &h, t);
    // A moving edge or vertex normal has the radius's length; a sphere
    // contact's has the sum of the radii, which is not the query radius
    // (a ray's is 0), so it is made unit by its own length.
    if (!(t->hittype & 16) || base == 4) ZeVecNorm(&h, &h);
  }
  ZEVEC c = {h.x, h.y * t->ysinv, h.z};
  ZeVecNorm(n, &c);
}

void TerrainImpactNorm() {
  TerrScanInfo* t = TerI;
  int base = t->hittype & 15;
  if (!base) return;
  if (t->hititem >= 0 && t->hitpoly) {
    TerrPolyInfo = *t->hitpoly.get();
    TerrPoly = &TerrPolyInfo;
    TerrPolyObj = t->hititem;
  }
  if (base >= 2) {
    FromFrame(&t->hitnorm, &t->hitnorm, t);
    if (!(t->hittype & 16)) {
      if (base == 4) ZeVecNorm(&t->hitnorm, &t->hitnorm);
      else ZeVecScale(&t->hitnorm, &t->hitnorm, t->rinv);
    }
    if (base == 4) terrhitflags |= 4;
  }
  ZEVEC c = {t->hitnorm.x, t->hitnorm.y * t->ysinv, t->hitnorm.z};
  ZeVecNorm(&t->callnorm, &c);
}

void AddCollisionSphere(const ZEVEC* centre, float radius) {
  if (curSphereter >= 16) return;
  SphereData[curSphereter++] = {centre->x, centre->y, centre->z, radius};
}

int TerrainMoveImpactData() {
  TerrScanInfo* t = TerI;
  if (!t || !t->hitpoly || t->hititem < 0) return -1;
  TerrPolyInfo = *t->hitpoly.get();
  TerrPoly = &TerrPolyInfo;
  TerrPolyObj = t->hititem;
  return t->hititem;
}

int InsideLineF(float x, float z, float x0, float z0, float x1, float z1) {
  return (x - x0) * (z1 - z0) + (z - z0) * (x0 - x1) >= 0;
}

void TerCrossProduct(ZEVEC* result, const ZEVEC* a, const ZEVEC* b) { ZeVecCross(result, a, b); }

int TerrRefBuild(uint8_t* buf, int cap, int mask, int skip) {
  TerrListWriter w;
  TerrListBegin(&w, buf, cap);
  auto all = [&](int i) {
    const TerrItem* it = TerrItemAt(i);
    if (it->kind == -1 || (i < TERR_ITEMS && it->kind == 1)) return;
    for (const uint8_t* g = it->groups;;) {
      auto* h = reinterpret_cast<const TerrGroupHeader*>(g);
      if (h->first < 0) return;
      auto* p = reinterpret_cast<TerrPolygon*>(const_cast<uint8_t*>(g) + sizeof(TerrGroupHeader));
      g += sizeof(TerrGroupHeader) + h->count * sizeof(TerrPolygon);
      for (int k = 0; k < h->count; k++)
        if (TerrPolyPasses(p + k, mask, skip)) TerrListAdd(&w, i, p + k);
    }
  };
  // In the order of the gathering (grid buckets, then pickup statics), so
  // that hits at equal times resolve alike.
  for (int b = 0; b < CurTerr->nbuckets; b++)
    for (int k = 0; k < CurTerr->buckets[b].count; k++) all(CurTerr->index[CurTerr->buckets[b].first + k]);
  for (int k = 0; k < curPickInst; k++) all(TERR_ITEMS + k);
  TerrListEnd(&w);
  return !w.full;
}

const uint8_t* TerrListEndOf(const uint8_t* g) {
  for (;;) {
    TerrListHeader h;
    memcpy(&h, g, 4);
    if (h.count == 0) return g;
    g += 4 + 4 * (h.count < 0 ? -h.count : h.count);
  }
}
