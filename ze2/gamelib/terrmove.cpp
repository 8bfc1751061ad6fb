// Swept-sphere moves: the passes of NewTerrain and NewTerrainScaleY, the
// impact response, side steps, wall slides, track back and the slide and
// bounce helpers.
#include <cstring>

#include "terrain_local.h"

float wallover;
float TerrWallDeflectYScale;
TerrShapeRec* TerrShape;
int TerrShapeAdjCnt;

namespace {

bool HitIsPlatform(const TerrScanInfo* t) {
  return t->hititem >= 0 && t->hititem < TERR_ITEMS && TerrItemAt(t->hititem)->kind == 1;
}

bool WallClass1(const TerrScanInfo* t) { return t->hitpoly && ((t->hitpoly->steep >> 2) & 31) == 1; }

// The wall threshold of a hit: the platform or steepness value, then the
// wall-class nudge (response order) or last (the ScaleY hit-flag order).
float Threshold(TerrScanInfo* t, bool nudge) {
  int type = t->hittype, base = type & 15;
  float T;
  if (HitIsPlatform(t)) {
    float dot = t->hitpoly ? ZeVecDot(&t->hitpoly->na, &t->hitnorm) : 0.707f;
    T = (base >= 2 && base <= 4) && dot < 0.95f ? 0.98f : 0.707f;
  } else {
    T = t->steep ? 1.1f : -1.1f;
  }
  bool wc1 = WallClass1(t);
  if (nudge && wc1) {
    t->pos.x += 0.001f * t->hitnorm.x;
    t->pos.z += 0.001f * t->hitnorm.z;
    T = 1.1f;
  }
  if (wallover != 0.0f) T = wallover;
  if (nudge) {
    if ((type == 2 || type == 3 || type == 4) && !wc1) T = 0.707f;
    if (type == 18 || type == 19 || type == 20) T = 0.707f;
  } else {
    if (type != 1 && type != 17) T = 0.707f;
    if (wc1) T = 1.1f;
  }
  return T;
}

void Slide(ZEVEC* v, const ZEVEC& n) {
  float k = -ZeVecDot(&n, v) + 0.0003f;
  ZeVecScaleAccum(v, &n, k);
}

void SlideWallVel(ZEVEC* v, const ZEVEC& m) {
  float k = -ZeVecDot(&m, v) + 0.0003f;
  v->x += m.x * k;
  v->y += m.y * k * TerrWallDeflectYScale;
  v->z += m.z * k;
}

// The mover's track record: the one in use, else the one it owns (a
// push-out that stood it on a platform lets go of the one in use, and a
// second record for one owner would never be found again), else a free
// one taken now.
TerrTrack* TrackFor(uint8_t* info, bool* fresh) {
  *fresh = false;
  if (CurTrackInfo) return CurTrackInfo;
  if (TerrTrack* own = ScanTerrId(info)) return CurTrackInfo = own;
  TerrTrack* t = AllocTerrId();
  if (!t) return nullptr;
  t->owner = info;
  t->plat = 0;
  t->flags = 0;
  t->connect = 0;
  t->wall = 0;
  CurTrackInfo = t;
  *fresh = true;
  return t;
}

void SetUp(uint8_t* info) {
  plathitid = -1;
  TerrPoly = nullptr;
  TerrPolyObj = -1;
  PlatCrush = 0;
  terrhitflags = 0;
  TerrOverRideScan = nullptr;
  CurTrackInfo = ScanTerrId(info);
}

bool Small(const ZEVEC* v, float thr) {
  return std::fabs(v->x) < thr && std::fabs(v->y) < thr && std::fabs(v->z) < thr;
}

void Facing(float yaw, ZEVEC* d) {
  int a = EeFtoi(yaw);  // an angle held as a float, truncated into the table
  float s = ZeTrigSin(a), c = ZeTrigCos(a);
  *d = {c, 0, -s};
}

// The hero's shape slipping sideways past a corner; 1 when it handled the
// hit.
int TerrShapeSideStep(ZEVEC* vel, uint8_t* info) {
  TerrScanInfo* t = TerI;
  TerrShapeRec* sh = TerrShape;
  int type = t->hittype;
  if (!sh || !type) return 0;
  const ZEVEC m = t->callnorm;
  bool edgey = type == 2 || type == 3;
  if (!edgey && (m.y >= 0.707f || m.y < -0.8f)) return 0;
  float L = sh->radius;
  ZEVEC d;
  Facing(sh->yaw, &d);
  bool edgemanner = edgey && m.y >= 0.5f;
  float f = d.x * m.x + d.z * m.z;
  if (!edgemanner && f == 0) {
    f = L != 0 ? (sh->offset.x * d.x + sh->offset.z * d.z) / L : 0;
    if (f == 0) return 0;
  }
  ZEVEC savedvec = t->vec;
  t->startpos = t->pos;
  t->startvec = t->vec;
  t->vec.y = 0;
  const ZEVEC n = t->hitnorm;
  if (edgemanner) {
    t->vec.x = 0.15f * L * n.x, t->vec.z = 0.15f * L * n.z;
    sh->offset.x += 0.05f * L * n.x, sh->offset.z += 0.05f * L * n.z;
  } else {
    float k = (f > 0 ? 1.0f : -1.0f) * std::sqrt(std::fabs(f)) * L;
    t->vec.x = k * d.x + sh->offset.x, t->vec.z = k * d.z + sh->offset.z;
  }
  ZEVEC scratchpos, scratchvel = *vel;
  uint8_t scratchinfo[2] = {info ? info[0] : uint8_t(0), info ? info[1] : uint8_t(0)};
  int hit;
  do {
    hit = HitTerrain();
    TerrShapeAdjCnt--;
    if (hit) {
      TerrainImpactNorm();
      TerrainImpact(&scratchpos, &scratchvel, scratchinfo);
    }
  } while (hit && TerrShapeAdjCnt > 0);
  if (!hit) ZeVecAdd(&t->pos, &t->pos, &t->vec);
  sh->offset.x += t->startpos.x - t->pos.x;
  sh->offset.z += t->startpos.z - t->pos.z;
  t->hittype = 1;
  t->vec = savedvec;
  TerrainSideClamp(&d, &t->pos);
  return 1;
}

}  // namespace

void TerrainImpact(ZEVEC* pos, ZEVEC* vel, uint8_t* info) {
  TerrScanInfo* t = TerI;
  int type = t->hittype;
  if (!type) {
    *pos = {t->pos.x + t->vec.x, (t->pos.y + t->vec.y) * t->ys - t->r * t->ys, t->pos.z + t->vec.z};
    if (info) info[0] = 0;
    return;
  }
  float T = Threshold(t, true);
  const ZEVEC n = t->hitnorm, m = t->callnorm;
  bool plat = HitIsPlatform(t);
  if (type <= 4) {
    float time = std::max(0.0f, t->hittime - t->backoff);
    ZeVecScaleAccum(&t->pos, &t->vec, time);
    ZeVecScale(&t->vec, &t->vec, 1.0f - time);
    if (m.y < T) {
      if (info) info[0] = 0;
      terrhitflags |= 1;
      if (!plat) terrhitflags |= 0x11;
      t->pos.x += 0.0006f * n.x, t->pos.z += 0.0006f * n.z;
      t->vec.x += 0.0006f * n.x, t->vec.z += 0.0006f * n.z;
      vel->x += 0.0009f * n.x, vel->z += 0.0009f * n.z;
      Slide(&t->vec, n);
      SlideWallVel(vel, m);
      bool fresh;
      if (TerrTrack* tr = TrackFor(info, &fresh)) tr->wall = 4, tr->wallnorm = m;
      TerrWallNorm = m;
    } else {
      Slide(&t->vec, n);
      Slide(vel, m);
      terrhitflags |= 2;
      if (info) info[0] = info[1] = 1;
      t->pos.y += 0.0003f * n.y;
      if (plat) CurTerr->plat[TerrItemAt(t->hititem)->link].flags |= 2;
    }
  } else if (m.y < T) {
    ZEVEC push = {0.005f * n.x, 0.002f * n.y, 0.005f * n.z};
    ZeVecAdd(&t->pos, &t->pos, &push);
    ZeVecAdd(&t->vec, &t->vec, &push);
    if (info) info[0] = 1;
    Slide(&t->vec, n);
    SlideWallVel(vel, m);
    bool fresh;
    if (TerrTrack* tr = TrackFor(info, &fresh)) tr->wall = 4, tr->wallnorm = m;
  } else {
    t->pos.y += 0.01f * n.y;
    t->vec.y += 0.01f * n.y;
    Slide(&t->vec, n);
    Slide(vel, m);
  }
  if (type <= 15 && plat && m.y >= T) {
    bool fresh;
    if (TerrTrack* tr = TrackFor(info, &fresh)) {
      if (fresh) t->vec.y = 0, vel->y = 0;
      tr->connect = 4;
      tr->flags |= 1;
      tr->plat = TerrItemAt(t->hititem)->link;
    }
  }
}

void NewTerrain(ZEVEC* pos, ZEVEC* vel, uint8_t* info, int ignore, int flags, float threshold, float r) {
  if (!CurTerr) return;
  SetUp(info);
  ZEVEC start = {pos->x, pos->y + r, pos->z};
  TerrScanInfo* t = TerrWorkTake(&start, vel, 0, r, 1.0f, 0.01f, 1e-5f);
  t->ignore = int16_t(ignore);
  t->threshold = threshold;
  t->info = info;
  ScanTerrain(1, 0, flags);
  if (info && info[1] && Small(vel, threshold) && !platinrange) {
    TerrShapeAdjCnt = 0;
    TerrWorkGive();
    return;
  }
  if (info) info[0] = 0, info[1] = 0;
  bool hit = false;
  for (int pass = 0; pass < 4; pass++) {
    hit = HitTerrain();
    StorePlatImpact();
    if (hit && (t->hittype & 16) && HitIsPlatform(t) && !TerrainPlatformEmbedded(pos, &t->vec, vel)) continue;
    TerrainImpactNorm();
    if (hit) ShadNorm = t->callnorm;
    TerrainImpact(pos, vel, info);
    if (!hit) break;
  }
  if (hit) *pos = {t->pos.x, t->pos.y - r, t->pos.z};
  TerrShapeAdjCnt = 0;
  TerrWorkGive();
}

void NewTerrainScaleY(ZEVEC* pos, ZEVEC* vel, uint8_t* info, int ignore, int settle, int skipflagged,
                      float threshold, float r, float ys) {
  if (!CurTerr) return;
  SetUp(info);
  ZEVEC start = {pos->x, pos->y + r * ys, pos->z};
  TerrScanInfo* t = TerrWorkTake(&start, vel, 0, r, ys, 0.005f, 5e-6f);
  t->ignore = int16_t(ignore);
  t->threshold = threshold;
  t->info = info;
  ScanTerrain(1, 0, skipflagged ? 0x40 : 0);
  if (info && info[1] && Small(vel, threshold) && !platinrange) {
    terrhitflags |= 2;
    ShadNorm = {0, 1, 0};
    TerrShapeAdjCnt = 0;
    TerrWorkGive();
    return;
  }
  t->pos.y *= t->ysinv;
  t->vec.y *= t->ysinv;
  if (info) info[0] = info[1] = 0;
  int budget = TerrainPlatformCarry(5, vel);
  bool carried = budget < 5;
  bool hit = false, firstclear = false, written = false;
  for (int pass = 0; budget > 0; pass++) {
    budget--;
    hit = HitTerrain();
    StorePlatImpact();
    if (!hit) {
      if (pass == 0) firstclear = true;
      TerrainImpact(pos, vel, info);
      written = true;
      break;
    }
    if ((t->hittype & 16) && HitIsPlatform(t) && !TerrainPlatformEmbedded(pos, &t->vec, vel)) continue;
    TerrainImpactNorm();
    if (t->hititem >= 0) {
      ShadNorm = t->callnorm;
      if (WallClass1(t)) t->pos.x += 0.001f * t->hitnorm.x, t->pos.z += 0.001f * t->hitnorm.z;
      if (HitIsPlatform(t) && t->callnorm.y >= Threshold(t, false))
        CurTerr->plat[TerrItemAt(t->hititem)->link].flags |= 2;
    }
    if (!(TerrShapeAdjCnt && TerrShapeSideStep(vel, info))) TerrainImpact(pos, vel, info);
    if (ZeVecMagSqr(&t->hitnorm) > 1.5f) break;
  }
  // Still hitting after the last pass, or no pass left after the carry:
  // the work position.
  if (!written) *pos = {t->pos.x, t->pos.y * ys - r * ys, t->pos.z};
  if (settle && firstclear && !carried && info && !info[0] && !info[1]) {
    t->pos = {pos->x, pos->y * t->ysinv + r + 0.003f, pos->z};
    t->vec = {0, -0.007f, 0};
    if (HitTerrain() && !WallClass1(t)) {
      TerrainImpactNorm();
      ShadNorm = t->callnorm;
      ZEVEC saved = *vel;
      TerrainImpact(pos, vel, info);
      *pos = {t->pos.x, t->pos.y * ys - r * ys, t->pos.z};
      *vel = saved;
    }
  }
  TerrShapeAdjCnt = 0;
  TerrWorkGive();
}

void TerrainSideClamp(const ZEVEC* d, ZEVEC* pos) {
  TerrShapeRec* sh = TerrShape;
  if (!sh) return;
  float L = sh->radius;
  float ox = sh->offset.x, oz = sh->offset.z;
  float g = std::clamp(ox * d->x + oz * d->z, -L, L);
  float s = std::clamp(ox * d->z - oz * d->x, -0.2f * L, 0.2f * L);
  float nx = g * d->x + s * d->z, nz = g * d->z - s * d->x;
  pos->x -= ox - nx;
  pos->z -= oz - nz;
  sh->offset.x = nx, sh->offset.z = nz;
}

void NewTerrAxisFreedom(TerrShapeRec* shape, ZEVEC* pos) {
  TerrShape = shape;
  TerrShapeAdjCnt = 2;
  ZEVEC d;
  Facing(shape->yaw, &d);
  TerrainSideClamp(&d, pos);
}

void NewShapeInit(TerrShapeRec* shape) { shape->offset = {0, 0, 0}; }
void TerrFlush() { TerrShapeAdjCnt = 0; }
void TerrainWallAng(float threshold) { wallover = threshold; }
void TerrainSetWallDeflectYScale(float scale) { TerrWallDeflectYScale = scale; }

void TerrainWallSideSlide(ZEVEC* vel, const void* owner, int yaw, float speed, float yfactor) {
  TerrTrack* tr = ScanTerrId(owner);
  CurTrackInfo = tr;
  if (!tr || !tr->wall) return;
  if (speed != 0) {
    ZEVEC s = {0, 0, speed};
    ZeVecRotateY(&s, &s, yaw);
    Slide(&s, tr->wallnorm);
    s.x += 0.4f * speed * tr->wallnorm.x;
    s.z += 0.4f * speed * tr->wallnorm.z;
    vel->x += s.x, vel->z += s.z;
  }
  if (vel->y > 0) vel->y *= yfactor;
}

int TerrainTrackBack(const ZEVEC* pos, const ZEVEC* dir, ZEVEC* result, float r, float backoff) {
  if (!CurTerr || TerrPolyObj < 0 || !TerrPoly) return 0;
  ZEVEC start, vec;
  ZeVecScale(&start, dir, r + 0.5f);
  ZeVecAdd(&start, &start, pos);
  ZeVecScale(&vec, dir, -(r + 0.8f));
  TerrScanInfo* t = TerrWorkTake(&start, &vec, 0, r, 1.0f, backoff, 1e-5f);
  TerrPolygon poly = TerrPolyInfo;
  int type = HitTerrPoly(&poly, TerrPolyObj);
  *result = start;
  if (type && !(type & 16)) ZeVecScaleAccum(result, &vec, t->hittime - backoff);
  TerrWorkGive();
  return type;
}

void FullDeflect(const ZEVEC* n, const ZEVEC* v, ZEVEC* r) {
  float k = -ZeVecDot(n, v) + 0.0003f;
  *r = {v->x + n->x * k, v->y + n->y * k, v->z + n->z * k};
}

int FullDeflectTest(const ZEVEC* n, const ZEVEC* v, ZEVEC* r) {
  float k = -ZeVecDot(n, v) + 0.0003f;
  *r = {v->x + n->x * k, v->y + n->y * k, v->z + n->z * k};
  return k > 0;
}

void FullDeflectSmallY(const ZEVEC* n, const ZEVEC* v, ZEVEC* r) {
  float k = -ZeVecDot(n, v) + 0.0003f;
  *r = {v->x + n->x * k, v->y + n->y * k * TerrWallDeflectYScale, v->z + n->z * k};
}

void FullDeflectSize(const ZEVEC* n, const ZEVEC* v, ZEVEC* r) {
  float len = ZeVecMag(v);
  float k = ZeVecDot(n, v);
  ZEVEC o = {v->x - n->x * k, v->y - n->y * k, v->z - n->z * k};
  float ol = ZeVecMag(&o);
  if (ol != 0) ZeVecScale(&o, &o, 0.75f * len / ol + 0.25f);
  *r = o;
}

void FullReflect(const ZEVEC* n, const ZEVEC* v, ZEVEC* r) {
  float k = 2 * ZeVecDot(n, v);
  *r = {v->x - n->x * k, v->y - n->y * k, v->z - n->z * k};
}

void FullReflectTest(const ZEVEC* n, const ZEVEC* v, ZEVEC* r) {
  float len = ZeVecMag(v);
  FullReflect(n, v, r);
  float rl = ZeVecMag(r);
  if (rl != 0) ZeVecScale(r, r, len / rl);
}

ZEVEC CubeImpact(const ZEMTX* a, const ZEMTX* b, const ZEVEC* normal, ZEVEC* result, float size) {
  float best = 10000.0f;
  ZEVEC chosen = {0, 0, 0}, q0 = {0, 0, 0};
  bool any = false;
  for (int c = 0; c < 8; c++) {
    ZEVEC corner = {c & 1 ? 1.0f : -1.0f, c & 2 ? 1.0f : -1.0f, c & 4 ? 1.0f : -1.0f};
    ZEVEC p, q;
    ZeVecMtxRotate(&p, &corner, b);
    ZeVecMtxRotate(&q, &corner, a);
    if (c == 0) q0 = q;
    float pn = ZeVecDot(&p, normal), qn = ZeVecDot(&q, normal);
    if (pn < qn && qn < best) best = qn, chosen = q, any = true;
  }
  if (!any) chosen = q0;
  *result = {a->m[3][0] + chosen.x * size, a->m[3][1] + chosen.y * size, a->m[3][2] + chosen.z * size};
  return chosen;
}
