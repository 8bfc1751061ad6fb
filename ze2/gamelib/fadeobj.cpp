// Fade objects: groups of one object at many matrices drawn as one burst
// that fades with camera distance; objects with collision are solid only
// near the player, through platform instances made and deleted by distance.
#include <cmath>
#include <cstring>

#include "dressing_local.h"
#include "gamelib.h"
#include "dressing_local.h"
#include "zeps2.h"

ZeFadeObjGrp ZeFadeObjGroup[ZEFADE_GROUPS];
ZEMTX* ZeFadeObjMtxs;
int16_t* ZeFadeData;
int ZeFadeObjMtxIndex, ZeFadeObjDataIndex;
ZeFadeObjGrp* ZeFadeObjCurGrp;
int ZeFadeObjWave, ZeFadeObjDir, ZeFadeObjDir2;
int stopfadeup;

namespace {

void Pools() {
  if (!ZeFadeObjMtxs) ZeFadeObjMtxs = static_cast<ZEMTX*>(EeMalloc(sizeof(ZEMTX) * ZEFADE_MTXS));
  if (!ZeFadeData) ZeFadeData = static_cast<int16_t*>(EeMalloc(sizeof(int16_t) * ZEFADE_MTXS));
}

// Fills what both creations share: program, object, pools, terrain set,
// instance index, ranges; solid as given.
void Setup(ZeFadeObjGrp* g, ZEGSCENE* scene, int object, ZEMTX* mtxs, int16_t* ids, int count, int solid,
           float fadestart, float drawrange) {
  const ZEGSCNINST* inst =
      scene && scene->insts && object >= 0 && object < scene->ninst ? scene->insts.get() + object : nullptr;
  ZEGOBJ* obj = ZeGScnInstObject(scene, inst);
  ZeFadeSetFxCodeMtls(obj, vu_load_tricuf_mpg);
  g->object = obj;
  g->mtxs = mtxs;
  g->plat = ids;
  g->terr = TerrainGetCur();
  g->instance = int16_t(ZeBridgeLookupInstanceIndex(inst, scene));
  g->solid = int16_t(solid);
  g->count = int16_t(count);
  g->fadestart = fadestart, g->drawrange = drawrange, g->fadelen = drawrange - fadestart;
  for (int i = 0; i < count; i++) ids[i] = -1;
}

void Finish(ZeFadeObjGrp* g) {
  DressGroupBounds(&g->centre, &g->radsq, g->mtxs, g->count, 1.0f);
  g->rangesq = g->drawrange * g->drawrange + g->radsq;
}

void DeletePlats(ZeFadeObjGrp& g) {
  int16_t* ids = g.plat;
  for (int i = 0; ids && i < g.count; i++)
    if (ids[i] >= 0) DeletePlatinst(ids[i]), ids[i] = -1;
}

}  // namespace

void ZeFadeObjInit() {
  Pools();
  TerrSet* was = TerrainGetCur();
  for (ZeFadeObjGrp& g : ZeFadeObjGroup) {
    if (!g.inuse) continue;
    TerrainSetCur(g.terr);
    DeletePlats(g);
  }
  TerrainSetCur(was);
  memset(ZeFadeObjGroup, 0, sizeof ZeFadeObjGroup);
  ZeFadeObjMtxIndex = ZeFadeObjDataIndex = 0;
  ZeFadeObjWave = ZeFadeObjDir = ZeFadeObjDir2 = 0;
  ZeFadeObjCurGrp = nullptr;
}

ZeFadeObjGrp* ZeFadeObjAllocateGrp() { return DressGroupAlloc(ZeFadeObjGroup); }

void ZeFadeObjFreeGrp(ZeFadeObjGrp* g) {
  if (g) g->inuse = 0;
}

int16_t* ZeFadeObjAllocData(int n) {
  Pools();
  return DressPoolAlloc(ZeFadeData, ZEFADE_MTXS, &ZeFadeObjDataIndex, n);
}

ZEMTX* ZeFadeObjAllocMtxs(int n) {
  Pools();
  return DressPoolAlloc(ZeFadeObjMtxs, ZEFADE_MTXS, &ZeFadeObjMtxIndex, n);
}

void ZeFadeObjFreeMtxs(ZEMTX* mtxs, int n) { DressPoolFree(ZeFadeObjMtxs, &ZeFadeObjMtxIndex, mtxs, n); }

ZeFadeObjGrp* ZeFadeObjCreate(float fadestart, float heightoff, float drawrange, ZEGSCENE* scene, int object,
                              const ZeFadePlacement* pl, int count, int solid, int followground) {
  ZeFadeObjGrp* g = ZeFadeObjAllocateGrp();
  if (!g) return nullptr;
  ZEMTX* mtxs = ZeFadeObjAllocMtxs(count);
  if (!mtxs) {
    ZeFadeObjFreeGrp(g);
    return nullptr;
  }
  int16_t* ids = ZeFadeObjAllocData(count);
  if (!ids) {
    ZeFadeObjFreeGrp(g);
    ZeFadeObjFreeMtxs(mtxs, count);
    return nullptr;
  }
  Setup(g, scene, object, mtxs, ids, count, 0, fadestart, drawrange);
  g->solid = int16_t(solid && CheckForPlatInst(g->instance));
  for (int i = 0; i < count; i++) {
    ZEMTX& m = mtxs[i];
    ZeMtxSetRotationY(&m, ZeRandInt());
    for (int c = 0; c < 3; c++) m.m[0][c] *= pl[i].scale, m.m[2][c] *= pl[i].scale;
    m.m[1][0] = 0, m.m[1][1] = pl[i].scale, m.m[1][2] = 0;
    m.m[3][0] = pl[i].x, m.m[3][1] = pl[i].y, m.m[3][2] = pl[i].z;
    if (heightoff != 0) {
      followground = 1;
      ZeFadeObjAngleTerrain(&m);
    } else {
      ZEVEC at = {pl[i].x, pl[i].y, pl[i].z};
      m.m[3][1] = NewShadow(&at, 0, 0, 5.0f);
    }
    m.m[3][1] += heightoff;
  }
  (void)followground;
  Finish(g);
  return g;
}

ZeFadeObjGrp* ZeFadeObjCreateMtx(float fadestart, float drawrange, ZEGSCENE* scene, int object, ZEMTX* mtxs,
                                 int count, int solid) {
  ZeFadeObjGrp* g = mtxs ? ZeFadeObjAllocateGrp() : nullptr;
  int16_t* ids = g ? ZeFadeObjAllocData(count) : nullptr;
  if (!ids) {
    ZeFadeObjFreeGrp(g);
    if (mtxs) ZeFadeObjFreeMtxs(mtxs, count);
    return nullptr;
  }
  Setup(g, scene, object, mtxs, ids, count, solid, fadestart, drawrange);
  Finish(g);
  return g;
}

void ZeFadeObjUpdate(const ZEVEC* p) {
  ZeFadeObjWave = (ZeFadeObjWave + 0x1f5) & 0xffff, ZeFadeObjDir = (ZeFadeObjDir + 0x85) & 0xffff;
  ZeFadeObjDir2 = (ZeFadeObjDir2 + 0x179) & 0xffff;
  if (stopfadeup) return;
  const ZEVEC cam = DressCamPos();
  TerrSet* was = TerrainGetCur();
  for (ZeFadeObjGrp& g : ZeFadeObjGroup) {
    if (!g.inuse) continue;
    g.inrange = ZeVecDistSqr(&cam, &g.centre, nullptr) < g.rangesq;
    if (!g.inrange || !g.solid) continue;
    TerrainSetCur(g.terr);
    ZEMTX* mtxs = g.mtxs;
    int16_t* ids = g.plat;
    for (int i = 0; i < g.count; i++) {
      const ZEVEC at = {mtxs[i].m[3][0], mtxs[i].m[3][1], mtxs[i].m[3][2]};
      bool near = ZeVecDistSqr(&at, p, nullptr) < 4.0f;
      if (near && ids[i] < 0) {
        ids[i] = int16_t(NewPlatInst(&mtxs[i], g.instance));
        PlatInstRotate(ids[i], 1);
      } else if (!near && ids[i] >= 0) {
        DeletePlatinst(ids[i]);
        ids[i] = -1;
      }
    }
  }
  TerrainSetCur(was);
}

void ZeFadeObjCallBack(ZERNDRSTREAM* s, const ZEMTX* m, int) {
  const ZeFadeObjGrp* g = ZeFadeObjCurGrp;
  ZeFadeWriteBlock(s, g ? DressFadeAlpha(m, g->drawrange, g->fadelen) : 1);
}

void ZeFadeObjDraw() { DressDrawGroups(ZeFadeObjGroup, &ZeFadeObjCurGrp, ZeFadeObjCallBack); }

void ZeFadeObjGetAngleTerrainValues(float* out, const ZEVEC* point) {
  ZEVEC at = *point;
  float h = NewShadow(&at, 0, 0, 5.0f);
  ZEVEC n = {0, 1, 0};
  if (h < TERR_NO_HEIGHT) ShadowDir(&n);
  out[0] = float(ZeAtan2D(n.z, n.y));
  out[1] = h;
  out[2] = float(-ZeAtan2D(n.x, sqrtf(n.y * n.y + n.z * n.z)));
}

void ZeFadeObjAngleTerrain(ZEMTX* m) {
  const ZEVEC at = {m->m[3][0], m->m[3][1], m->m[3][2]};
  float v[3];
  ZeFadeObjGetAngleTerrainValues(v, &at);
  ZEMTX r, turn;
  r = *m;
  r.m[3][0] = r.m[3][1] = r.m[3][2] = 0;
  ZeMtxSetRotationZ(&turn, EeFtoi(v[2]));
  ZeMtxMul(&r, &r, &turn);
  ZeMtxSetRotationX(&turn, EeFtoi(v[0]));
  ZeMtxMul(&r, &r, &turn);
  r.m[3][0] = at.x, r.m[3][1] = v[1], r.m[3][2] = at.z, r.m[3][3] = m->m[3][3];
  *m = r;
}
