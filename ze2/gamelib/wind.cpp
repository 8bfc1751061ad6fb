// Wind-swayed scenery: groups of one object at many instance matrices whose
// up axes lean in a slowly turning wind with a travelling wave, bend away
// from the player and fade out with distance.
#include <cmath>
#include <cstring>

#include "dressing_local.h"
#include "gamelib.h"
#include "dressing_local.h"
#include "zeps2.h"

ZeWindGrp ZeWindGroup[ZEWIND_GROUPS];
ZEMTX* ZeWindMtxs;
int ZeWindMtxIndex;
ZeWindGrp* ZeWindCurGrp;
int ZeWindDir, ZeWindDir2, ZeWindWave;

namespace {


float WindX, WindZ;

// Where the up axis's x and z lean to in the wind.
void WindTarget(const ZEMTX& m, float h, float* tx, float* tz) {
  // Angles wrap: summed as unsigned.
  int w = int(uint32_t(ZeWindWave) + uint32_t(EeFtoi((m.m[3][0] + m.m[3][2]) * 8192.0f)));
  *tx = h * WindX * (ZeTrigSin(w) / 2 + 1);
  *tz = h * WindZ * (ZeTrigCos(w) / 2 + 1);
}

// Moves (x, z) by d limited to length lim.
void Limited(float* x, float* z, float dx, float dz, float lim) {
  float l2 = dx * dx + dz * dz;
  if (l2 > lim * lim) {
    float k = lim / sqrtf(l2);
    dx *= k, dz *= k;
  }
  *x += dx, *z += dz;
}

void Pushed(const ZeWindGrp& g, ZEMTX& m, float h, const ZEVEC* p) {
  float* up = m.m[1];
  if (m.m[2][3] != 0) up[0] *= m.m[2][3], up[2] *= m.m[2][3];
  float dy = p->y - m.m[3][1];
  float pushr = 0, strength = 0.2f * h;
  if (dy >= 0 && dy <= g.pushheight * h / g.height) pushr = 0.45f, strength = (dy / 2 + 0.2f) * h;
  strength /= g.height;
  float tx, tz;
  WindTarget(m, h, &tx, &tz);
  float topx = m.m[3][0] + up[0] * strength, topz = m.m[3][2] + up[2] * strength;
  float ox = topx - p->x, oz = topz - p->z;
  float d2 = ox * ox + oz * oz;
  if (d2 >= pushr * pushr) {
    Limited(&up[0], &up[2], (tx - up[0]) * 0.2f, (tz - up[2]) * 0.2f, 0.012f);
    return;
  }
  // The top goes to the push radius away from the player.
  float d = sqrtf(d2);
  float nx = d > 0 ? ox / d : 1.0f, nz = d > 0 ? oz / d : 0.0f;
  float k = strength != 0 ? 0.3f / strength : 0.0f;
  float wx = (p->x + nx * pushr - m.m[3][0]) * k, wz = (p->z + nz * pushr - m.m[3][2]) * k;
  float wl = sqrtf(wx * wx + wz * wz);
  if (wl > 0.5f) wx *= 0.5f / wl, wz *= 0.5f / wl;
  Limited(&up[0], &up[2], (wx - up[0]) * g.pushrate, (wz - up[2]) * g.pushrate, g.pushstep);
  up[0] += (tx - up[0]) * 0.05f;
  up[2] += (tz - up[2]) * 0.05f;
}

}  // namespace

void DressGroupBounds(ZEVEC* centre, float* radsq, const ZEMTX* m, int count, float extra) {
  ZEVEC lo = {1e30f, 1e30f, 1e30f}, hi = {-1e30f, -1e30f, -1e30f};
  for (int i = 0; i < count; i++) {
    const float* t = m[i].m[3];
    if (t[1] >= TERR_NO_HEIGHT) continue;
    lo = {fminf(lo.x, t[0]), fminf(lo.y, t[1]), fminf(lo.z, t[2])};
    hi = {fmaxf(hi.x, t[0]), fmaxf(hi.y, t[1]), fmaxf(hi.z, t[2])};
  }
  if (lo.x > hi.x) lo = hi = {0, 0, 0};
  *centre = {(lo.x + hi.x) / 2, (lo.y + hi.y) / 2, (lo.z + hi.z) / 2};
  float hx = (hi.x - lo.x) / 2, hy = (hi.y - lo.y) / 2, hz = (hi.z - lo.z) / 2;
  *radsq = hx * hx + hy * hy + hz * hz + extra;
}


ZEVEC DressCamPos() { return {global_camera.mtx.m[3][0], global_camera.mtx.m[3][1], global_camera.mtx.m[3][2]}; }

float DressFadeAlpha(const ZEMTX* m, float drawrange, float fadelen) {
  if (m->m[2][3] == 0) return 1;
  const ZEVEC cam = DressCamPos(), at = {m->m[3][0], m->m[3][1], m->m[3][2]};
  return fadelen > 0 ? (drawrange - ZeVecDist(&cam, &at, nullptr)) / fadelen : 0;
}

int DressBurst(ZEGOBJ* obj, ZEBURSTFN* cb, ZEMTX* mtxs, int count, float fadestart, float drawrange) {
  if (!obj || !ZeRndrBurstObjBegin(obj, cb)) return 0;
  const ZEVEC cam = DressCamPos();
  int drawn = 0;
  for (int i = 0; i < count; i++) {
    ZEMTX& m = mtxs[i];
    const ZEVEC at = {m.m[3][0], m.m[3][1], m.m[3][2]};
    float d2 = ZeVecDistSqr(&cam, &at, nullptr);
    if (d2 >= drawrange * drawrange) continue;
    float h = m.m[3][3], inv = m.m[2][3];
    m.m[3][3] = 1;
    m.m[2][3] = d2 < fadestart * fadestart ? 0 : ZEFADE_MARKER;
    if (ZeRndrBurstObjAdd(&m)) drawn = 1;
    m.m[3][3] = h, m.m[2][3] = inv;
  }
  ZeRndrBurstObjEnd();
  return drawn;
}

void ZeFadeWriteBlock(ZERNDRSTREAM* s, float alpha) {
  uint32_t* p = s->write;
  p[0] = 1u | 1u << 28;  // cnt, one quadword
  p[1] = 0;
  p[2] = 0;
  p[3] = 0x6c000000u | 1u << 16 | uint32_t(ZEVU1_FADE_BLOCK);  // UNPACK V4-32
  const float block[4] = {1, 1, 1, alpha};
  memcpy(p + 4, block, 16);
  s->write = p + 8;
}

int ZeFadeSetFxCodeMtls(ZEGOBJ* object, uint32_t* program) {
  int n = 0;
  for (ZEGEOM* g = object ? object->geometries.get() : nullptr; g; g = g->next.get())
    for (ZEMTL* m = g->mtl.get(); m; m = m->chain.get()) m->stream.program = program, n++;
  return n + 1;
}

void ZeWindInit() {
  if (!ZeWindMtxs) ZeWindMtxs = static_cast<ZEMTX*>(EeMalloc(sizeof(ZEMTX) * ZEWIND_MTXS));
  ZeWindDir = ZeWindDir2 = ZeWindWave = 0;
  ZeWindMtxIndex = 0;
  ZeWindCurGrp = nullptr;
  memset(ZeWindGroup, 0, sizeof ZeWindGroup);
}

ZEMTX* ZeWindAllocMtxs(int n) { return DressPoolAlloc(ZeWindMtxs, ZEWIND_MTXS, &ZeWindMtxIndex, n); }

void ZeWindFreeMtxs(ZEMTX* mtxs, int n) { DressPoolFree(ZeWindMtxs, &ZeWindMtxIndex, mtxs, n); }

ZeWindGrp* ZeWindAllocateGrp() { return DressGroupAlloc(ZeWindGroup); }

void ZeWindFreeGrp(ZeWindGrp* g) {
  if (g) g->inuse = 0;
}

ZeWindGrp* ZeWindCreateMtx(float height, float pushheight, float fadestart, float drawrange, ZEGSCENE* scene,
                           int object, ZEMTX* mtxs, int count, int interact) {
  ZeWindGrp* g = mtxs ? ZeWindAllocateGrp() : nullptr;
  if (!g) {
    if (mtxs) ZeWindFreeMtxs(mtxs, count);
    return nullptr;
  }
  const ZEGSCNINST* inst =
      scene && scene->insts && object >= 0 && object < scene->ninst ? scene->insts.get() + object : nullptr;
  ZEGOBJ* obj = ZeGScnInstObject(scene, inst);
  ZeFadeSetFxCodeMtls(obj, vu_load_tricuf_mpg);
  g->object = obj;
  g->mtxs = mtxs;
  g->height = height, g->pushheight = pushheight, g->interact = int16_t(interact), g->count = int16_t(count);
  g->fadestart = fadestart, g->drawrange = drawrange, g->fadelen = drawrange - fadestart;
  g->pushstep = 0.025f, g->pushstep2 = 0.000625f, g->pushrate = 0.2f;
  DressGroupBounds(&g->centre, &g->radsq, mtxs, count, 1.5f);
  g->radius = sqrtf(g->radsq);
  g->rangesq = drawrange * drawrange + g->radsq;
  return g;
}

void ZeWindUpdate(const ZEVEC* p) {
  ZeWindDir = (ZeWindDir + 0x85) & 0xffff, ZeWindDir2 = (ZeWindDir2 + 0x179) & 0xffff;
  ZeWindWave = (ZeWindWave + 0x1f5) & 0xffff;
  int a = EeFtoi(ZeTrigSin(ZeWindDir) * 8192.0f);
  WindX = ZeTrigCos(a) * 0.75f + ZeTrigCos(ZeWindDir2) * 0.15f;
  WindZ = ZeTrigSin(a) * 0.75f - ZeTrigSin(ZeWindDir2) * 0.15f;
  const ZEVEC cam = DressCamPos();
  for (ZeWindGrp& g : ZeWindGroup) {
    if (!g.inuse) continue;
    g.inrange = ZeVecDistSqr(&cam, &g.centre, nullptr) < g.rangesq;
    if (!g.inrange || !g.drawn || g.height <= 0) continue;
    bool pushed = g.interact && ZeVecDistSqr(p, &g.centre, nullptr) < g.radsq;
    ZEMTX* mtxs = g.mtxs;
    for (int i = 0; i < g.count; i++) {
      ZEMTX& m = mtxs[i];
      float h = m.m[3][3];
      float* up = m.m[1];
      if (pushed) {
        Pushed(g, m, h, p);
      } else {
        float tx, tz;
        WindTarget(m, h, &tx, &tz);
        up[0] += (tx - up[0]) * 0.2f;
        up[2] += (tz - up[2]) * 0.2f;
      }
      // The lean shortens the axis so that the instance does not grow.
      float l = sqrtf(up[0] * up[0] + up[2] * up[2]);
      float k = fmaxf(1 - 0.35f * l, 0.05f);
      up[0] *= k, up[2] *= k;
      m.m[2][3] = 1 / k;
      up[1] = h / g.height * fmaxf(k, 0.19f);
    }
  }
}

void ZeWindCallBack(ZERNDRSTREAM* s, const ZEMTX* m, int) {
  const ZeWindGrp* g = ZeWindCurGrp;
  ZeFadeWriteBlock(s, g ? DressFadeAlpha(m, g->drawrange, g->fadelen) : 1);
}

void ZeWindDraw() { DressDrawGroups(ZeWindGroup, &ZeWindCurGrp, ZeWindCallBack); }
