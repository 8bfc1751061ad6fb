// Characters: binding a cob to its type, two animation slots cross-blended
// by priority, the tick and its events, the frame's draw queue and the
// drawing itself, and the queries on a cob's posed model.
#include <cmath>
#include <cstring>

#include "coblib.h"
#include "coblib_local.h"

EePtr<COB> coblist[COB_MAXDRAW];
int cobpt;
COB* cob_effect;
void** cob_array_dwa;
int cobrndr;
float cob_zerospeed;
EePtr<ZEMTL> HackMtl[256];
COBDEBRISFNS cob_debris;

namespace {

constexpr float kTicksPerSecond = 60.0f;
constexpr float kFramesPerTick = 24.0f / 60.0f;
constexpr int kMaxDebrisShapes = 256;
constexpr int kHackSlot = 1;  // the replacement slot slotmtl stands for
constexpr uint32_t kHiddenShape = 2;  // bit 1 of a shadow shape's second word

alignas(16) ZEMTX cob_joints[COB_MAXJOINTS];

ZEANIMDATA2* Anim(const COBTYPE* t, int a) { return a >= 0 && a < COBTYPE_ANIMS ? t->anims[a].get() : nullptr; }
ZEANIMDATA2* Anim2(const COBTYPE* t, int a) { return a >= 0 && a < COBTYPE_ANIMS ? t->anims2[a].get() : nullptr; }

// The row of animation a; null for an index outside the type's list.
const COBANIMPARAM* Row(const COBTYPE* t, int a) {
  return t->tab && a >= 0 && a < t->animcount ? &t->tab[a] : nullptr;
}

// Advances one slot by a tick; the end value when it reached its end, else 0.
int Advance(COB* cob, int s, int a) {
  const COBTYPE* t = cob->type;
  const COBANIMPARAM* r = Row(t, a);
  if (!r) return 0;
  float rate = r->rate;
  if (rate < 0.0f) {
    rate = -rate * std::fabs(*cob->speed[s].get());
    if (rate < 0.0f) rate = 0.0f;
  }
  if (r->limit > 0.0f && rate > r->limit) rate = r->limit;
  if (r->limit < 0.0f && rate < -r->limit) rate = -r->limit;
  float& f = cob->frame[s];
  f += rate * kFramesPerTick;
  const ZEANIMDATA2* anim = Anim(t, a);
  if (!anim || f < anim->end) return 0;
  const int loop = int8_t(uint32_t(r->endaction) >> 24);
  if (loop != 0) {
    f = f - (anim->end - float(loop));
    if (f > anim->end) f = anim->end;
  } else {
    f = anim->end;
  }
  return r->endaction & 0xffffff;
}

void QueueEvents(COB* cob) {
  const COBANIMEVENT* e = cob->type->fx;
  if (!e) return;
  const float f = cob->frame[cob->slot];
  const float prev = cob->prevframe;
  for (; e->callback; e++) {
    if (e->anim != cob->anim && e->anim != -1) continue;
    bool fire;
    if (e->end == 0.0f)
      fire = (prev < e->start && e->start <= f) || (f < prev && e->start <= f);
    else if (e->end == e->start)
      fire = true;
    else
      fire = e->start <= f && f < e->end;
    if (fire) RequestLocator(e->locator, cob, e->callback, const_cast<COBANIMEVENT*>(e));
  }
}

// A frame taken over from the other slot, wrapped into the new animation's
// range. An end at or below frame 1 has no range to wrap into.
float WrapInto(float f, const ZEANIMDATA2* anim) {
  if (!anim || anim->end <= 1.0f) return f;
  const float span = anim->end - 1.0f;
  for (int i = 0; i < 64 && f >= anim->end; i++) f -= span;
  if (f >= anim->end) f = 1.0f + std::fmod(f - 1.0f, span);
  return f;
}

// Not drawable as a model: no type or model, hidden, or shown as an image.
bool Skipped(const COB* cob) {
  return !cob->type || cob->visible == 0 || !cob->type->hgobj || (cob->tbr != 0 && (cob->tbrresult & TBRRESULT_FAR));
}

bool Drawable(const COB* cob) { return cob != cob_effect && !Skipped(cob); }

// Poses the cob's model into cob_joints; the blend-shape weights, or null.
void** Pose(COB* cob, bool useX) {
  const ZEHGOBJ* h = cob->type->hgobj;
  void** weights = nullptr;
  if ((cob->flags & COB_ANIMATED) && CobPoseAnimated(cob, cob_joints, &weights)) return weights;
  if (useX && !(cob->flags & COB_ANIMATED) && cob->xmtx)
    ZeHGobjEvalX(h, cob->xmtx, cob->xids, cob->nx, cob_joints);
  else
    ZeHGobjEval(h, cob->jointanims ? cob->njointanims : 0, cob->jointanims, cob_joints);
  return nullptr;
}

void Draw(COB* cob, void** weights) {
  ZEHGOBJ* h = cob->type->hgobj;
  if (cob->mtltable) {
    zerndr_forced_mtl_table = cob->mtltable;
  } else if (cob->slotmtl) {
    HackMtl[kHackSlot] = cob->slotmtl;
    zerndr_forced_mtl_table = HackMtl;
  } else if (cob->mtl) {
    zerndr_forced_mtl = cob->mtl;
  }
  ZeHGobjRndrMtxDwa(h, &cob->mtx, 2, cob->layers, cob_joints, weights);
  zerndr_forced_mtl_table = nullptr;
  zerndr_forced_mtl = nullptr;
  cobrndr++;
}

// Draws one cob as a model; false when it is skipped.
bool DrawOne(COB* cob, const ZEMTX* ref) {
  if (!Drawable(cob)) return false;
  cob->flags |= COB_DRAWN;
  void** weights = Pose(cob, true);
  cob_array_dwa = weights;
  const COBINFO* info = cob->type->info;
  ZEVEC pos = {cob->mtx.m[3][0], cob->mtx.m[3][1], cob->mtx.m[3][2]};
  if (info && (info->flags & COBINFO_FULLLIGHTS))
    SearchLights(ref, &pos, cob->lights, 0);
  else
    SearchLightsBasic(ref, &pos, nullptr);
  CheckLocators(cob, &cob->mtx, nullptr, cob_joints);
  if (cob->lights) {
    ZEVEC dir;
    const int bright = CobLightsShadow(cob->lights, &dir);
    const float dist = info ? info->shadowdist : 0.0f;
    ZeRndrShadowDirCol(&dir, uint32_t(bright & 0xff) << 24, dist, dist + 2.0f);
  }
  Draw(cob, weights);
  return true;
}

// The model's collision spheres in the cob's current pose, tested by fn.
template <class Test>
int CollideSpheres(COB* cob, Test test) {
  if (!cob->type || !cob->type->hgobj) return 0;
  const ZEHGOBJ* h = cob->type->hgobj;
  const ZEHGOBJCOLL* c = h->collision;
  if (!c) return 1;
  Pose(cob, true);
  for (uint32_t i = 0; i < c->count; i++) {
    const ZEHGOBJCOLLENTRY& e = c->entries[i];
    if (e.type != ZEHGOBJCOLL_SPHERE || !e.shape) continue;
    const ZEHGOBJCOLLSPHERE* s = e.shape;
    if (s->joint >= h->njoint) continue;  // a damaged joint number names no matrix
    ZEMTX m;
    ZeMtxMul(&m, &cob_joints[s->joint], &cob->mtx);
    ZEVEC centre;
    ZeVecMtxTransform(&centre, &s->centre, &m);
    if (test(centre, s->radius)) return 1;
  }
  return 0;
}

}  // namespace

bool CobPoseAnimated(const COB* cob, ZEMTX* joints, void*** weights) {
  const COBTYPE* t = cob->type;
  const ZEHGOBJ* h = t->hgobj;
  const ZEANIMDATA2* a = Anim(t, cob->anim);
  *weights = nullptr;
  if (!a) return false;
  const ZEJOINTANIM* ovr = cob->jointanims;
  const int novr = ovr ? cob->njointanims : 0;
  const int cur = cob->slot & 1, other = cur ^ 1;
  const ZEANIMDATA2* p = Anim(t, cob->prevanim);
  // A missing animation to blend from leaves the current one alone.
  if (cob->blend < 1.0f && p) {
    ZeHGobjEvalAnimBlend2(h, p, a, novr, ovr, joints, cob->frame[other], cob->frame[cur], cob->blend);
    const ZEANIMDATA2* wp = Anim2(t, cob->prevanim);
    const ZEANIMDATA2* wa = Anim2(t, cob->anim);
    if (wp || wa)
      *weights = ZeHGobjEvalDwaBlend2(2, cob->layers, wp, wa, cob->frame[other], cob->frame[cur], cob->blend);
    return true;
  }
  ZeHGobjEvalAnim2(h, a, novr, ovr, joints, cob->frame[cur]);
  if (const ZEANIMDATA2* w = Anim2(t, cob->anim)) *weights = ZeHGobjEvalDwa2(2, cob->layers, w, cob->frame[cur]);
  return true;
}

void CobResetFrame() {
  cobpt = 0;
  cob_effect = nullptr;
  cob_array_dwa = nullptr;
  cobrndr = 0;
}

void InitCob(COB* cob, int n) {
  if (n < 0 || n >= COBTYPE_MAX) ZeError("InitCob: cob type %d out of range", n);
  if (cobtypes[n].usecount == 0) {
    ZeDebugMsg("Warning - InitCob request for uninitialised cobtype");
    AddCobType(n);
  }
  memset(cob, 0, sizeof *cob);
  cob->flags = COB_ANIMATED;
  cob->blend = 1.0f;
  cob->speed[0] = &cob_zerospeed;
  cob->speed[1] = &cob_zerospeed;
  cob->visible = 1;
  cob->layers[0] = 0;
  cob->layers[1] = -1;
  cob->lights = &coblights;
  cob->type = &cobtypes[n];
  CobLocTake(cob);
}

void RemoveCob(COB* cob) {
  FreeCobLocs(cob);
  if (cob->tbr) {
    TimeBasedRenderRelease(cob->tbr);
    cob->tbr = 0;
  }
  if (cob->jointanims) CobJointAnimForget(cob);
  cob->type = nullptr;
}

void AddCob(COB* cob) {
  if (!cob->type || cobpt >= COB_MAXDRAW) return;
  if (!(cob->flags & COB_OWNMTX)) {
    ZEMTX& m = cob->mtx;
    ZeMtxSetTranslation(&m, &cob->pos);
    ZeMtxPreScale(&m, &cob->type->scale);
    ZeMtxPreRotateX(&m, cob->rotx);
    ZeMtxPreRotateZ(&m, cob->rotz);
    ZeMtxPreRotateY(&m, cob->roty + 0x8000);
  }
  coblist[cobpt++] = cob;
}

int SetAnim(COB* cob, int a, int flags) {
  const COBTYPE* t = cob->type;
  // An index outside the type's list would read past its tables.
  if (!t || a < 0 || a >= COBTYPE_ANIMS || a >= t->animcount) {
    ZeDebugMsg("SetAnim: animation %d out of range", a);
    return 0;
  }
  if (cob->blend != 1.0f && !(flags & SETANIM_FORCE)) return 0;
  if (a == cob->anim && !(flags & SETANIM_RESTART)) return 0;
  const int s = cob->slot, n = 1 - s;
  cob->prevframe = 10000.0f;
  cob->slot = n;
  cob->slotword[n] = 0;
  if (cob->blend < 0.5f && cob->prevanim != a) {
    // The pose still looks mostly like prevanim: blend from that instead.
    cob->anim = cob->prevanim;
    cob->frame[s] = cob->frame[n];
    cob->speed[s] = cob->speed[n];
  }
  cob->blend = 0.0f;
  cob->frame[n] = (flags & SETANIM_KEEPPHASE) ? WrapInto(cob->frame[s], Anim(t, a)) : 1.0f;
  cob->prevanim = cob->anim;
  cob->anim = a;
  const COBANIMPARAM* prev = Row(t, cob->prevanim);
  const COBANIMPARAM* next = Row(t, a);
  float time = 0.0f;
  if (prev && next) time = next->priority < prev->priority ? prev->blendout : next->blendin;
  cob->blendstep = time == 0.0f ? 1.0f : (1.0f / kTicksPerSecond) / time;
  return 1;
}

void SetRate(COB* cob, float* speed) { cob->speed[cob->slot] = speed; }

void ProcessAnimCob(COB* cob) {
  if (!cob->type) return;
  cob->prevframe = cob->frame[cob->slot];
  if (cob->blend < 1.0f) {
    cob->blend += cob->blendstep;
    if (cob->blend > 1.0f) cob->blend = 1.0f;
  }
  cob->endresult = Advance(cob, cob->slot, cob->anim);
  if (cob->blend < 1.0f) Advance(cob, 1 - cob->slot, cob->prevanim);
  QueueEvents(cob);
}

void ProcessAnimCobPaused(COB* cob) {
  if (cob->type) QueueEvents(cob);
}

int CheckAnimFrame(const COB* cob, int a, float frame) {
  return cob->anim == a && cob->prevframe < frame && frame <= cob->frame[cob->slot] ? 1 : 0;
}

int DrawCobs(const ZEMTX* ref) {
  int drawn = 0;
  for (int i = 0; i < cobpt; i++) {
    COB* cob = coblist[i];
    if (DrawOne(cob, ref))
      drawn++;
    else
      ManageLocators(cob);  // not drawn: served from its last draw
  }
  cob_array_dwa = nullptr;
  cobpt = 0;
  locpt = 0;
  SetDefaultLights(1);
  return drawn;
}

void DrawEffectCobs(void*) {
  COB* cob = cob_effect;
  if (!cob || Skipped(cob)) return;
  cob->flags |= COB_DRAWN;
  void** weights = Pose(cob, false);
  cob_array_dwa = weights;
  CheckLocators(cob, &cob->mtx, nullptr, cob_joints);
  ZeHGobjRndrMtxDwa(cob->type->hgobj, &cob->mtx, 2, cob->layers, cob_joints, weights);
  cobrndr++;
}

int CobHierarchyToSphere(COB* cob, const ZEVEC* c, float r) {
  return CollideSpheres(cob, [&](const ZEVEC& centre, float radius) {
    const float reach = r + radius;
    return ZeVecDistSqr(&centre, c, nullptr) < reach * reach;
  });
}

int CobHierarchyToLine(COB* cob, const ZEVEC* a, const ZEVEC* b, float r) {
  return CollideSpheres(cob, [&](const ZEVEC& centre, float radius) {
    const float reach = r + radius;
    return ZeLineToPointDistSqr(a, b, &centre) < reach * reach;
  });
}

int AddCobsDebris(COB* cob, int effect, int count) {
  if (!Drawable(cob)) return 0;
  cob->flags |= COB_DRAWN;
  Pose(cob, true);
  return ZeHGobjRndrAddDeb(cob->type->hgobj, &cob->mtx, cob_joints, count, effect);
}

int ZeHGobjRndrAddDeb(ZEHGOBJ* h, const ZEMTX* m, const ZEMTX* joints, int count, int effect) {
  if (ZeCameraClipTestExtents(&h->boxmin, &h->boxmax, m) == 0) return 0;
  if (!h->shadows || h->noshadows) return 1;
  // The visible shapes in order: per shadow record its ellipsoids, then its
  // cylinders. Only the first 256 take a share.
  struct Shape {
    const ZEHGOBJSHADOW* rec;
    const void* shape;
    bool cylinder;
  };
  static Shape shapes[kMaxDebrisShapes];
  static int16_t share[kMaxDebrisShapes];
  int k = 0;
  for (const ZEHGOBJSHADOW* s = h->shadows; s->joint != ZEHGOBJ_NOJOINT && k < kMaxDebrisShapes; s++) {
    for (int i = 0; i < s->nellipsoid && k < kMaxDebrisShapes; i++) {
      const ZESHADELLIPSE* e = &s->ellipsoids[i];
      uint32_t w1;
      memcpy(&w1, &e->centre[1], 4);
      if (!(w1 & kHiddenShape)) shapes[k++] = {s, e, false};
    }
    for (int i = 0; i < s->ncylinder && k < kMaxDebrisShapes; i++) {
      const ZESHADCYL* c = &s->cylinders[i];
      if (!(c->words[1] & kHiddenShape)) shapes[k++] = {s, c, true};
    }
  }
  if (k == 0) return 1;
  memset(share, 0, sizeof share);
  for (int i = 0; i < count; i++) share[(ZeWindRand() >> 8) % k]++;
  const ZEHGOBJSHADOW* last = nullptr;
  ZEMTX world;
  for (int i = 0; i < k; i++) {
    if (share[i] == 0) continue;
    const Shape& sh = shapes[i];
    if (sh.rec != last) {
      last = sh.rec;
      const int j = sh.rec->joint < h->njoint ? sh.rec->joint : 0;
      ZeMtxMul(&world, &joints[j], m);
    }
    for (int p = 0; p < share[i]; p++) {
      ZEVEC4 at;
      if (sh.cylinder)
        ZeRndrCalcRandCylinderPos(&at, &world, static_cast<const ZESHADCYL*>(sh.shape));
      else
        ZeRndrCalcRandEllipsePos(&at, &world, static_cast<const ZESHADELLIPSE*>(sh.shape));
      const ZEVEC point = {at.x, at.y, at.z};
      if (cob_debris.AddVariableShotDebrisEffect) cob_debris.AddVariableShotDebrisEffect(effect, &point, 1, 0, 0);
    }
  }
  return 1;
}

void CobDefaultShadowBrightness(int brightness) { CobLightsSetShadowBright(&coblights, brightness); }

void DumpPos(const ZEVEC* pos) {
  // Appending opens only a file that is there; the first line creates it.
  ZEFILE f = ZeFileOpen("player.pos", 2);
  if (!f) f = ZeFileOpen("player.pos", 1);
  if (!f) return;
  ZeFileWriteStringV(f, "\t{ CMD_GOTOABS, {%.2f,%.2f,%.2f } },\r\n", pos->x, pos->y, pos->z);
  ZeFileClose(f);
}
