// Levels on plates: game levels registered on plates of the current planet,
// the current level as the origin of play with the remap handed to the game
// when it changes, transient atmosphere and space levels, conversions
// between levels, the planet and the solar system, the sun and the time of
// day, and the cast onto the planet surface.
#include "globular.h"

#include <cmath>
#include <cstring>

float gb_lev_alt = 0.0f, gb_lev_time = 0.0f;
int gb_lev_inatmos = 0;
ZEVEC gb_lev_pos, gb_lev_up, gb_lev_sun, gb_lev_cntr;
ZEMTX* GBSpecialCameraMtx = nullptr;
int gblev_editmode = 0, gblev_island_logic_disabled = 0;

namespace {

FRLEVEL* g_lev = nullptr;
FRLEVEL* g_lev_nearest = nullptr;
FRLEVEL transient[2];
int transient_next = 0;
ZEMTX remap;
int remap_pending = 0;

constexpr float SPACE_REBASE = 4000.0f;
constexpr float SHADOW_SCALE = 0.103823f;  // 0x3dd4a127
constexpr float SHADOW_SLOPESCALE = 8.0f;
constexpr int SHADOW_LEVELS = 11;
constexpr int SHADOW_SLOPELEVEL = 9;
const ZEVEC zero{0, 0, 0};

void CheckId(int id, const char* who) {
  if (id < 0 || id >= FRCUBE_PLATES) ZeError("%s : Plate %d out of range", who, id);
}

// The level of a resident plate, or null.
FRLEVEL* PlateLevel(int id) {
  if (id < 0 || id >= FRCUBE_PLATES) return nullptr;
  FRPLATE* p = FrPlateFind(id, 0);
  return p ? p->level.get() : nullptr;
}

void Change(FRLEVEL* l) {
  if (g_lev) {
    ZEMTX x;
    FrameXfm(l->frame, g_lev->frame, &x);
    if (remap_pending) ZeMtxMul(&remap, &remap, &x);
    else remap = x;
    remap_pending = 1;
    ZeVecMtxRotate(&gb_lev_up, &gb_lev_up, &x);
    ZeVecMtxRotate(&gb_lev_sun, &gb_lev_sun, &x);
    ZeVecMtxTransform(&gb_lev_cntr, &gb_lev_cntr, &x);
  } else {
    ZeMtxSetIdentity(&remap);
    remap_pending = 0;
  }
  g_lev = l;
  g_lev_nearest = l;
}

// The next transient record, its frame under the parent (made or moved).
FRLEVEL* NextTransient(int plate, FRAME* parent) {
  FRLEVEL* t = &transient[transient_next];
  transient_next ^= 1;
  t->next = t->prev = nullptr;
  t->plate = plate;
  t->radius2 = 0.0f;
  t->data = nullptr;
  if (!t->frame) {
    t->frame = FrameCreate(parent);
  } else {
    FrameDetach(t->frame);
    FrameAttach(t->frame, parent);
  }
  return t;
}

float Wrap01(float t) {
  while (t >= 1.0f) t -= 1.0f;
  while (t <= 0.0f) t += 1.0f;
  return t;
}

float AngleOf(const ZEVEC* position) {
  ZEVEC p;
  FrameRemapPos(gfr_frm, &p, g_lev->frame, position);
  float a = float(ZeAtan2D(p.x, p.z));
  while (a < 0.0f) a += 65536.0f;
  while (a >= 65536.0f) a -= 65536.0f;
  return a;
}

void SunInLevel(ZEVEC* out) { FrameRemapPos(g_lev->frame, out, FrameGetRoot(), &zero); }

// The planet frame turned to a phase while the sun is read.
void SunAtPhase(ZEVEC* out, float phase) {
  FRAME* f = g_current_planet->frame;
  ZEMTX saved = f->mtx;
  int a = int(phase * 65536.0f);
  float s = ZeTrigTable[(a >> 1) & 0x7fff], c = ZeTrigTable[((a >> 1) + 0x2000) & 0x7fff];
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  m.m[0][0] = c;
  m.m[0][2] = -s;
  m.m[2][0] = s;
  m.m[2][2] = c;
  m.m[3][0] = saved.m[3][0];
  m.m[3][1] = saved.m[3][1];
  m.m[3][2] = saved.m[3][2];
  f->mtx = m;
  SunInLevel(out);
  f->mtx = saved;
}

void Track(const ZEVEC* position) {
  gb_lev_pos = *position;
  GBLevGetPlanetCenter(&gb_lev_cntr);
  ZEVEC d, w;
  ZeVecSub(&d, position, &gb_lev_cntr);
  ZeVecNorm(&gb_lev_up, &d);
  GBLevGetWorldPos(&w, position);
  ZEVEC sun;
  GBLevGetSunPos(&sun);
  ZeVecSub(&d, &sun, position);
  ZeVecNorm(&gb_lev_sun, &d);
  gb_lev_alt = ZeVecMag(&w);
  gb_lev_time = GBLevGetTime(position);
  const PLANET* pl = g_current_planet;
  gb_lev_inatmos = gb_lev_alt < pl->radius + 2.0f * pl->height;
}

}  // namespace

FRLEVEL* GBLevGetCurrent() { return g_lev; }

void GBLevInit() {
  memset(static_cast<void*>(transient), 0, sizeof transient);
  g_lev = g_lev_nearest = nullptr;
  transient_next = 0;
  remap_pending = 0;
}

void GBLevClose() {
  for (FRLEVEL& t : transient) {
    if (t.frame) FrameDestroy(t.frame);
    t.frame = nullptr;
  }
  g_lev = g_lev_nearest = nullptr;
  transient_next = 0;
  remap_pending = 0;
}

int GBLevRegisterLevel(int id, const ZEVEC* offset, int align, void* data, float radius) {
  // The id is checked against the plates before it indexes any table.
  CheckId(id, "GBLevRegister");
  if (id >= FrCubeGetNumFaces(gfr_pltdepth)) ZeError("GBLevRegister : Plate %d out of range", id);
  FRPLATE* p = FrPlateFind(id, 1);
  if (!p) ZeError("GBLevRegister : no plate record free for plate %d", id);
  if (p->level) ZeError("GBLevRegister : Plate %d alread has registered level", id);
  FRAME* f = FrameCreate(gfr_frm);
  f->mtx = p->frame->mtx;
  ZeMtxPreTranslate(&f->mtx, offset);
  if (align) {
    ZEVEC c, up, d;
    FrameRemapPos(f, &c, gfr_frm, &zero);
    ZeVecSub(&d, offset, &c);
    ZeVecNorm(&up, &d);
    ZEMTX m;
    ZeMtxSetIdentity(&m);
    ZeMtxAlignY(&m, &up);
    ZeMtxMul(&f->mtx, &m, &f->mtx);
  }
  FRLEVEL* l = FrLevelAlloc();
  if (!l) ZeError("GBLevRegister : no level record free for plate %d", id);
  l->plate = id;
  l->frame = f;
  l->radius2 = radius * radius;
  l->data = data;
  p->level = l;
  return ++p->refs;
}

int GBLevReleaseLevel(int id) {
  CheckId(id, "GBLevRelease");
  FRPLATE* p = FrPlateFind(id, 0);
  ZEASSERT(p);
  FRLEVEL* l = p->level;
  if (!l) ZeError("GBLevRelease : Plate %d has no registered level", id);
  if (g_lev == l) g_lev = nullptr;
  if (g_lev_nearest == l) g_lev_nearest = nullptr;
  FrameDestroy(l->frame);
  FrLevelFree(l);
  p->level = nullptr;
  return --p->refs;
}

void GBLevRegisterWorld(const char* name, const char* path, void* data) { PlanetSysSetData(name, path, data); }
void GBLevSetCurrentWorld(const char* name) { PlanetSysSetByName(name); }
void* GBLevGetCurrentWorld() { return PlanetSysGetData(); }
PLANET* GBLevGetPlanetByName(const char* name) { return PlanetSysGetByName(name); }

void GBLevSetCurrentLevel(int id) {
  CheckId(id, "GBLevSetCurrentLevel");
  FRPLATE* p = FrPlateFind(id, 1);
  ZEASSERT(p && p->level);
  if (p->level.get() != g_lev) Change(p->level);
}

void* GBLevGetCurrentLevel() { return g_lev ? g_lev->data.get() : nullptr; }

ZEMTX* GBLevGetLevelMatrix(int id) {
  CheckId(id, "GBLevGetLevelMatrix");
  FRLEVEL* l = PlateLevel(id);
  ZEASSERT(l && l->frame);
  return &l->frame->mtx;
}

ZEMTX* GBLevGetRemapMtx() {
  if (!remap_pending) return nullptr;
  remap_pending = 0;
  return &remap;
}

void GBLevUpdateFrame(const ZEVEC* position) {
  if (gblev_editmode || !g_lev) return;
  if (GBSpecialCameraMtx) {
    ZEVEC p;
    ZeMtxGetTranslation(GBSpecialCameraMtx, &p);
    if (g_current_planet) Track(&p);
    return;
  }
  PlanetSysSetNearest(g_lev->frame, position);
  ZEVEC w{0, 0, 0};
  if (!g_current_planet) {
    gb_lev_alt = gb_lev_time = 0.0f;
    gb_lev_inatmos = 0;
  } else {
    Track(position);
    GBLevGetWorldPos(&w, position);
    if (gblev_island_logic_disabled) return;
    FRLEVEL* best = nullptr;
    float bestd = 0.0f;
    for (FRLEVEL* l = FrLevelFirst(); l; l = l->next) {
      ZEVEC o;
      ZeMtxGetTranslation(&l->frame->mtx, &o);
      float d = ZeVecDistSqr(&w, &o, nullptr);
      if (d < l->radius2 && (!best || d < bestd)) {
        best = l;
        bestd = d;
      }
    }
    if (best) {
      g_lev_nearest = best;
      if (best != g_lev) Change(best);
      return;
    }
    if (gb_lev_inatmos) {
      int depth = g_current_planet->platedepth - 2;
      if (depth < 1) depth = 1;
      int p = FrCubeLocatePlate(&w, depth);
      if (p == -1 || g_lev->plate == p + 4096) return;
      FRLEVEL* t = NextTransient(p + 4096, gfr_frm);
      FrCubeInitFrame(t->frame, p, depth, g_current_planet->radius);
      Change(t);
      return;
    }
  }
  g_lev_nearest = nullptr;
  FRAME* root = FrameGetRoot();
  if (ZeVecMag(position) > SPACE_REBASE || g_lev->frame->parent.get() != root) {
    FRAME* from = g_lev->frame;
    FRLEVEL* t = NextTransient(-1, root);
    if (from->parent.get() == root) t->frame->mtx = from->mtx;
    else FrameXfm(root, from, &t->frame->mtx);
    ZeMtxPreTranslate(&t->frame->mtx, position);
    Change(t);
  }
}

int GBLevGetWorldOrigin(ZEVEC* out, int id) {
  if (id < 0 || id >= FRCUBE_PLATES) return 0;
  FRPLATE* p = FrPlateFind(id, 1);
  if (!p || !p->level) return 0;
  FrameRemapPos(gfr_frm, out, p->level->frame, &zero);
  return 1;
}

int GBLevGetWorldPos(ZEVEC* out, const ZEVEC* position) {
  if (!g_lev || !gfr_frm) return 0;
  FrameRemapPos(gfr_frm, out, g_lev->frame, position);
  return 1;
}

int GBLevGetWorldPosEx(ZEVEC* out, int id, const ZEVEC* position) {
  FRLEVEL* l = PlateLevel(id);
  if (!l || !l->frame || !gfr_frm) return 0;
  FrameRemapPos(gfr_frm, out, l->frame, position);
  return 1;
}

int GBLevGetSolarMtx(ZEMTX* out) {
  if (!g_lev) return 0;
  FrameXfm(g_lev->frame, FrameGetRoot(), out);
  return 1;
}

void GBLevGetPlanetCenter(ZEVEC* out) {
  if (!g_lev || !gfr_frm) {
    *out = zero;
    return;
  }
  FrameRemapPos(g_lev->frame, out, gfr_frm, &zero);
}

void GBLevGetPlanetPos(PLANET* planet, ZEVEC* out) {
  if (!g_lev || !planet || !planet->frame) return;
  FrameRemapPos(g_lev->frame, out, planet->frame, &zero);
}

void GBLevGetPlanetPosByName(const char* name, ZEVEC* out) { GBLevGetPlanetPos(PlanetSysGetByName(name), out); }

void GBLevGetSunPos(ZEVEC* out) { GBLevGetSunPosEx(out, 0.0f); }

void GBLevGetSunPosEx(ZEVEC* out, float offset) {
  if (!g_lev) return;
  if (offset != 0.0f && g_current_planet) {
    float t = g_current_planet->dayphase + offset;
    while (t >= 1.0f) t -= 1.0f;
    while (t < 0.0f) t += 1.0f;
    SunAtPhase(out, t);
    return;
  }
  SunInLevel(out);
}

void GBLevGetSunPos2(ZEVEC* out, float phase) {
  if (!g_lev || !g_current_planet) return;
  while (phase >= 1.0f) phase -= 1.0f;
  while (phase < 0.0f) phase += 1.0f;
  SunAtPhase(out, phase);
}

void GBLevGetSunDir2(ZEVEC* out, float phase) {
  if (!g_lev || !g_current_planet) return;
  ZEVEC s, d;
  GBLevGetSunPos2(&s, phase);
  ZeVecSub(&d, &s, &gb_lev_pos);
  ZeVecNorm(out, &d);
}

float GBLevGetTime(const ZEVEC* position) { return GBLevGetTimeEx(position, 0.0f); }

float GBLevGetTimeEx(const ZEVEC* position, float offset) {
  if (!g_lev || !g_current_planet) return 0.0f;
  const PLANET* p = g_current_planet;
  return Wrap01(AngleOf(position) / 65536.0f + p->dayphase + offset - p->orbit);
}

void GBLevSetTime(float time, const ZEVEC* position) {
  if (!g_lev || !g_current_planet) return;
  g_current_planet->dayphase = Wrap01(time + g_current_planet->orbit - AngleOf(position) / 65536.0f);
}

int GBLevShadowCast(ZEVEC* point, float* distance, const ZEVEC* position, int* cache, ZEVEC* normal) {
  int local[2] = {-1, -1};
  if (!cache) cache = local;
  cache[0] = -1;
  if (g_lev && g_current_planet) {
    ZEVEC w;
    GBLevGetWorldPos(&w, position);
    cache[0] = FrCubeLocatePlateAccurate(&w, g_current_planet->platedepth);
  }
  FRPLATE* p = nullptr;
  if (cache[0] >= 0 && cache[0] < FRCUBE_PLATES) p = FrPlateFind(cache[0], 0);
  if (!p || !p->patch || !p->heights || !(p->surf & FRSURF_PATCH)) {
    // The sea-level sphere; at the planet's centre the level's up vector.
    const PLANET* pl = g_current_planet;
    float R = pl ? pl->radius + pl->height * pl->seafraction : 0.0f;
    ZEVEC v;
    ZeVecSub(&v, position, &gb_lev_cntr);
    float m = ZeVecMag(&v);
    *distance = m - R;
    if (m > 0.0f) ZeVecScale(normal, &v, 1.0f / m);
    else *normal = gb_lev_up;
    ZeVecScale(point, normal, R);
    ZeVecAdd(point, point, &gb_lev_cntr);
    return cache[0] != -1;
  }
  ZEMTX x, xi;
  FrameXfm(p->frame, g_lev->frame, &x);
  FrameXfm(g_lev->frame, p->frame, &xi);
  ZEVEC q;
  ZeVecMtxTransform(&q, position, &x);
  const auto* patch = reinterpret_cast<const ZEFPATCH*>(p->patch.get());
  float u, v;
  ZEVEC tu, tv;
  ZeFPatchShadowCastGetUVs(patch, &q, &u, &v, &tu, &tv);
  // Parameters the Newton step could not find (a degenerate patch gives
  // NaN) take the first cell, as values below the range do.
  auto cellOf = [](float s) {
    float f = std::floor(8.0f * s);
    return !(f >= 0.0f) ? 0 : f > 7.0f ? 7 : int(f);
  };
  int cell = cellOf(u) + 8 * cellOf(v);
  cache[1] = cell;
  ZEFPATCH c;
  ZeFPatchHeightFieldIndexSlow(patch, p->heights, cell, &c);
  ZEVEC at, n;
  float h;
  ZeFPatchShadowCast(&c, &q, &at, &h, SHADOW_LEVELS, &n, SHADOW_SLOPELEVEL, SHADOW_SCALE, SHADOW_SLOPESCALE);
  float d = ZeVecDist(&q, &at, nullptr);
  *distance = q.y - at.y < 0.0f ? -d : d;
  ZeVecMtxTransform(point, &at, &xi);
  ZeVecMtxRotate(&n, &n, &xi);
  ZeVecNorm(normal, &n);
  return 1;
}

int GBLevVecFromPlate(ZEVEC* out, const ZEVEC* in, int id) {
  FRLEVEL* l = PlateLevel(id);
  if (!l || !l->frame || !g_lev || !g_lev->frame) return 0;
  FrameRemapPos(g_lev->frame, out, l->frame, in);
  return 1;
}

int GBLevVecToPlate(ZEVEC* out, const ZEVEC* in, int id) {
  FRLEVEL* l = PlateLevel(id);
  if (!l || !l->frame || !g_lev || !g_lev->frame) return 0;
  FrameRemapPos(l->frame, out, g_lev->frame, in);
  return 1;
}

int GBLevMtxFromPlate(ZEMTX* out, const ZEMTX* in, int id) {
  FRLEVEL* l = PlateLevel(id);
  if (!l || !l->frame || !g_lev || !g_lev->frame) return 0;
  ZEMTX x;
  FrameXfm(g_lev->frame, l->frame, &x);
  if (in) ZeMtxMul(out, in, &x);
  else *out = x;
  return 1;
}

int GBLevMtxToPlate(const ZEMTX* in, ZEMTX* out, int id) {
  FRLEVEL* l = PlateLevel(id);
  if (!l || !l->frame || !g_lev || !g_lev->frame) return 0;
  ZEMTX x;
  FrameXfm(l->frame, g_lev->frame, &x);
  if (in) ZeMtxMul(out, in, &x);
  else *out = x;
  return 1;
}
