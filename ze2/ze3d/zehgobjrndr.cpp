// Posing and drawing hierarchical objects: joint matrices from the rest
// pose, joint overrides, one or two animations of either format; deformer
// weights from weight animations; drawing with the view test, shadow-store
// entries, rigid per-joint objects and a skin palette in stream memory.
// Working tables live on the caller's stack; per-frame data comes from the
// render stream.
#include <cstring>
#include <initializer_list>

#include "ze3d.h"

ZEMTX hgobj_rndrmtx[256];
ZEMTX hgobj_animmtx[256];
int checkchecksum = -1;
int shadplayer = 1;

namespace {

struct Tables {
  const ZEJOINTANIM* ovr[256];
  ZEVEC scale[256];
};

constexpr float kRadToAng = 10430.378f;
constexpr int kFull = 0x02 | 0x08 | 0x10;  // translation, scale, parent-scale cancel
constexpr int kResetScale = 0x40;

void Start(const ZEHGOBJ* obj, int novr, const ZEJOINTANIM* ovr, Tables* t) {
  memset(t->ovr, 0, sizeof t->ovr);
  for (int k = 0; k < novr && k < 255; k++) {
    const int id = ovr[k].joint;
    if (id < obj->jointmapsize && obj->jointmap[id] != ZEHGOBJ_NOJOINT) t->ovr[obj->jointmap[id]] = &ovr[k];
  }
  t->scale[255] = {1, 1, 1};
}

// out[i] = L, or L x out[parent].
void Place(const ZEHGOBJ* obj, int i, const ZEMTX* local, ZEMTX* out) {
  const int p = obj->joints[i].parent;
  if (p == ZEHGOBJ_NOJOINT) out[i] = *local;
  else ZeMtxMulVU0(&out[i], local, &out[p]);
}

const ZEVEC* ParentScale(const ZEHGOBJ* obj, const Tables& t, int i) { return &t.scale[obj->joints[i].parent]; }

const ZEANIMCURVESET* OldSet(const ZEANIMCHUNK* c, int node) {
  return c && node < c->nnodes ? c->sets[node].get() : nullptr;
}

const ZEANIMCHUNK* OldChunk(const ZEANIMDATA* anim, const ZEANIMTIME& t) {
  return t.chunk >= 0 && t.chunk < anim->nchunks ? anim->chunks[t.chunk].get() : nullptr;
}

void EvalOld(const ZEHGOBJ* obj, const ZEANIMDATA* anim, Tables* t, ZEMTX* out, float frame) {
  ZEANIMTIME tm;
  ZeAnimDataCalcTime(anim, &tm, frame);
  const ZEANIMCHUNK* chunk = OldChunk(anim, tm);
  for (int i = 0; i < obj->njoint; i++) {
    const ZEJOINT* j = &obj->joints[i];
    ZEMTX local;
    if (const ZEANIMCURVESET* set = OldSet(chunk, i)) {
      if ((set->flags & kFull) || (j->flags & ZEJOINT_PIVOT))
        ZeAnimCurveSetApplyToJoint2(set, &tm, j, &t->scale[i], ParentScale(obj, *t, i), &local, t->ovr[i]);
      else
        ZeAnimCurveSetApplyToJointBasic(set, &tm, j, &t->scale[i], ParentScale(obj, *t, i), &local, t->ovr[i]);
    } else {
      local = obj->restmtx[i];
    }
    Place(obj, i, &local, out);
  }
}

void EvalOldBlend(const ZEHGOBJ* obj, const ZEANIMDATA* a, const ZEANIMDATA* b, Tables* t, ZEMTX* out, float fa,
                  float fb, float blend) {
  ZEANIMTIME ta, tb;
  ZeAnimDataCalcTime(a, &ta, fa);
  ZeAnimDataCalcTime(b, &tb, fb);
  const ZEANIMCHUNK* ca = OldChunk(a, ta);
  const ZEANIMCHUNK* cb = OldChunk(b, tb);
  for (int i = 0; i < obj->njoint; i++) {
    ZEMTX local;
    const ZEANIMCURVESET* sa = OldSet(ca, i);
    const ZEANIMCURVESET* sb = OldSet(cb, i);
    if (sa && sb)
      ZeAnimCurveSetApplyBlendToJoint2(sa, &ta, sb, &tb, &obj->joints[i], &t->scale[i], ParentScale(obj, *t, i), &local,
                                       blend, t->ovr[i]);
    else
      local = obj->restmtx[i];
    Place(obj, i, &local, out);
  }
}

void RestPose(const ZEHGOBJ* obj, ZEMTX* out) {
  for (int i = 0; i < obj->njoint; i++) Place(obj, i, &obj->restmtx[i], out);
}

float OldSlot(const ZEANIMCURVESET* set, int j, const ZEANIMTIME* t) {
  return set->curves && set->curves[j] ? ZeAnimCurveCalcVal2(set->curves[j], t) : set->consts[j];
}

float NewWord(const ZEANIMDATA2* anim, int node, int j, const ZEANIMTIME* t) {
  const int at = node * anim->ncurves + j;
  const uint32_t* w = &anim->words[at];
  const int kind = anim->keytypes[at];
  if (kind == 0) {
    float f;
    memcpy(&f, w, 4);
    return f;
  }
  return ZeAnimCurve2CalcValEx(w, t, kind);
}

// Stream memory of this frame, or null when too little is left (the
// stream allocator itself stops the program).
bool StreamHas(int quadwords) {
  const uint8_t* end = rndrstream_buffer[rndrstream_frame_index] + rndrstream_buffer_size;
  return end - reinterpret_cast<const uint8_t*>(rndrstream_free) >= int64_t(quadwords) * 16;
}

void* StreamTake(int quadwords) { return StreamHas(quadwords) ? ZeRndrStreamAlloc(quadwords) : nullptr; }

// The weight-array list: one cleared pointer per position, or null.
void** WeightList(int n, const int16_t* layers, int* count) {
  *count = layers ? n : 1;
  auto** list = static_cast<void**>(StreamTake((*count * 4 + 15) / 16));
  if (list) memset(static_cast<void*>(list), 0, size_t(*count) * 4);
  return list;
}

float* Packet(void** entry, int n) {
  if (!StreamHas((n + 10) / 4)) return nullptr;
  auto* p = static_cast<uint32_t*>(ZeRndrCreateBlendShapeDeformerWeightsArray(n));
  *entry = p;
  return p ? reinterpret_cast<float*>(p + 6) : nullptr;
}

// Slot counts of node k: 0 when the animation is absent or lacks it.
int OldSlots(const ZEANIMDATA* anim, const ZEANIMTIME& t, int k, const ZEANIMCURVESET** set) {
  *set = anim ? OldSet(OldChunk(anim, t), k) : nullptr;
  return *set ? (*set)->nslots : 0;
}

int NewSlots(const ZEANIMDATA2* anim, int k) { return anim && k < anim->nnodes ? anim->ncurves : 0; }

// The second animation's value weighs blend against the first's.
float Mix(float a, float b, float blend) { return b * blend + a * (1.0f - blend); }

// The weight arrays of a layer list: for each position with a layer k >= 0,
// a packet of slots(k) weights, weight j = value(k, j).
template <class Slots, class Value>
void** Weights(int n, const int16_t* layers, Slots slots, Value value) {
  int count;
  void** list = WeightList(n, layers, &count);
  if (!list) return nullptr;
  for (int p = 0; p < count; p++) {
    const int k = layers ? layers[p] : 0;
    if (k < 0) continue;
    const int ns = slots(k);
    float* w = Packet(&list[p], ns);
    for (int j = 0; w && j < ns; j++) w[j] = value(k, j);
  }
  return list;
}

int DrawLayerObjects(ZEHGOBJ* obj, const ZEMTX* objmtx, int layer, const ZEMTX* joints, void* w1, void* w2, int v) {
  const ZEHGOBJLAYER& l = obj->layers[layer];
  int r = 0;
  for (const EePtr<ZEGOBJ>* objs : {l.objects.get(), l.objects2.get()}) {
    for (int j = 0; objs && j < obj->njoint; j++) {
      if (!objs[j]) continue;
      ZEMTX m;
      ZeMtxMulVU0(&m, &joints[j], objmtx);
      r |= ZeRndrGobj(objs[j], &m);
    }
  }
  if (l.skin || l.skin2) {
    // With no stream memory left the skins are not drawn this frame.
    auto* palette = static_cast<ZEMTX*>(StreamTake(obj->njoint * 4));
    if (!palette) return r;
    zerndr_skinpalette = palette;
    ZeMtxMulArrayVU0(palette, obj->skinmtx, joints, obj->njoint);
    if (l.skin) r |= ZeRndrGobjSkin(l.skin, objmtx, obj->njoint, joints, w1, v);
    if (l.skin2) r |= ZeRndrGobjSkin(l.skin2, objmtx, obj->njoint, joints, w2, v);
  }
  return r;
}

int DrawLayer(ZEHGOBJ* obj, const ZEMTX* objmtx, int layer, const ZEMTX* joints, void* w1, void* w2, int v) {
  zerndr_image_gobjs = (obj->imagetag & ZEHGOBJ_TAG_MASK) == ZEHGOBJ_TAG_IMAGE;
  const int r = DrawLayerObjects(obj, objmtx, layer, joints, w1, w2, v);
  zerndr_image_gobjs = 0;
  return r;
}

void QueueShadows(const ZEHGOBJ* obj, const ZEMTX* objmtx, const ZEMTX* joints) {
  if (!obj->shadows || obj->noshadows) return;
  for (const ZEHGOBJSHADOW* s = obj->shadows; s->joint != ZEHGOBJ_NOJOINT; s++) {
    if (shadstorecnt >= ZESHAD_STORE || !shadplayer) continue;
    ZESHADSTORE& e = shadstore[shadstorecnt++];
    ZeMtxMulVU0(&e.matrix, &joints[s->joint], objmtx);
    e.ellipsoids = s->ellipsoids;
    e.cylinders = s->cylinders;
    e.mesh = s->nmesh ? s->meshes.get() : nullptr;
    e.light = curlight;
    e.alpha = int32_t(curlightcol >> 24);
    e.fade = curlightfade;
    e.fadefar = curlightfadefar;
    e.nellipsoids = s->nellipsoid;
    e.ncylinders = s->ncylinder;
    e.meshflag = s->nmesh;
    e.group = uint8_t(shadidcounter);
  }
}

}  // namespace

// ---- joint matrices -------------------------------------------------------------------

void ZeHGobjEval(const ZEHGOBJ* obj, int novr, const ZEJOINTANIM* ovr, ZEMTX* out) {
  Tables t;
  Start(obj, novr, ovr, &t);
  for (int i = 0; i < obj->njoint; i++) {
    const ZEJOINTANIM* o = t.ovr[i];
    if (!o) {
      Place(obj, i, &obj->restmtx[i], out);
      continue;
    }
    const ZEANGVEC a = {EeFtoi(o->rot.x * kRadToAng), EeFtoi(o->rot.y * kRadToAng), EeFtoi(o->rot.z * kRadToAng)};
    ZEMTX r, local;
    ZeMtxSetRotateXYZVU0(&r, &a);
    ZeMtxTranslate(&r, &o->trans);
    ZeMtxMulVU0(&local, &r, &obj->restmtx[i]);
    Place(obj, i, &local, out);
  }
}

void ZeHGobjEvalX(const ZEHGOBJ* obj, const ZEMTX* mtx, const int16_t* ids, int n, ZEMTX* out) {
  const ZEMTX* by[256] = {};
  for (int k = 0; mtx && k < n; k++)
    if (ids[k] >= 0 && ids[k] < obj->jointmapsize && obj->jointmap[ids[k]] != ZEHGOBJ_NOJOINT)
      by[obj->jointmap[ids[k]]] = &mtx[k];
  for (int i = 0; i < obj->njoint; i++) {
    if (!by[i]) {
      Place(obj, i, &obj->restmtx[i], out);
      continue;
    }
    ZEMTX local;
    ZeMtxMulVU0(&local, by[i], &obj->restmtx[i]);
    Place(obj, i, &local, out);
  }
}

void ZeHGobjEvalAnim(const ZEHGOBJ* obj, const ZEANIMDATA* anim, int novr, const ZEJOINTANIM* ovr, ZEMTX* out,
                     float frame) {
  Tables t;
  Start(obj, novr, ovr, &t);
  EvalOld(obj, anim, &t, out, frame);
}

void ZeHGobjEvalAnim2(const ZEHGOBJ* obj, const ZEANIMDATA2* anim, int novr, const ZEJOINTANIM* ovr, ZEMTX* out,
                      float frame) {
  Tables t;
  Start(obj, novr, ovr, &t);
  ZEANIMTIME tm;
  ZeAnimData2CalcTime(anim, &tm, frame);
  for (int i = 0; i < obj->njoint; i++) {
    if (i >= anim->nnodes) {
      ZeMtxSetIdentity(&out[i]);
      continue;
    }
    const int at = i * anim->ncurves;
    const int flags = anim->nodeflags[i];
    ZEMTX local;
    ZeAnimCurve2SetApplyToJoint(&anim->words[at], &anim->keytypes[at], int8_t(flags), &tm, &obj->joints[i],
                                &t.scale[i], ParentScale(obj, t, i), &local, t.ovr[i]);
    if (obj->joints[i].parent == ZEHGOBJ_NOJOINT && (flags & kResetScale)) t.scale[i] = {1, 1, 1};
    Place(obj, i, &local, out);
  }
}

void ZeHGobjEvalAnimBlend(const ZEHGOBJ* obj, const ZEANIMDATA* a, const ZEANIMDATA* b, int novr,
                          const ZEJOINTANIM* ovr, ZEMTX* out, float fa, float fb, float blend) {
  Tables t;
  Start(obj, novr, ovr, &t);
  EvalOldBlend(obj, a, b, &t, out, fa, fb, blend);
}

void ZeHGobjEvalAnimBlend2(const ZEHGOBJ* obj, const ZEANIMDATA2* a, const ZEANIMDATA2* b, int novr,
                           const ZEJOINTANIM* ovr, ZEMTX* out, float fa, float fb, float blend) {
  Tables t;
  Start(obj, novr, ovr, &t);
  ZEANIMTIME ta, tb;
  ZeAnimData2CalcTime(a, &ta, fa);
  ZeAnimData2CalcTime(b, &tb, fb);
  for (int i = 0; i < obj->njoint; i++) {
    if (i >= a->nnodes || i >= b->nnodes) {
      ZeMtxSetIdentity(&out[i]);
      continue;
    }
    const int pa = i * a->ncurves, pb = i * b->ncurves;
    ZEMTX local;
    ZeAnimCurve2SetApplyBlendToJoint2(&a->words[pa], &a->keytypes[pa], a->nodeflags[i], &ta, &b->words[pb],
                                      &b->keytypes[pb], b->nodeflags[i], &tb, blend, &obj->joints[i], &t.scale[i],
                                      ParentScale(obj, t, i), &local, t.ovr[i]);
    if (obj->joints[i].parent == ZEHGOBJ_NOJOINT && (a->nodeflags[i] & kResetScale)) t.scale[i] = {1, 1, 1};
    Place(obj, i, &local, out);
  }
}

// ---- deformer weights ------------------------------------------------------------------

void** ZeHGobjEvalDwa(int n, const int16_t* layers, const ZEANIMDATA* anim, float frame) {
  if (!anim || n == 0) return nullptr;
  ZEANIMTIME t;
  ZeAnimDataCalcTime(anim, &t, frame);
  const ZEANIMCURVESET* set = nullptr;
  return Weights(
      n, layers, [&](int k) { return OldSlots(anim, t, k, &set); },
      [&](int, int j) { return OldSlot(set, j, &t); });
}

void** ZeHGobjEvalDwa2(int n, const int16_t* layers, const ZEANIMDATA2* anim, float frame) {
  if (!anim || n == 0) return nullptr;
  ZEANIMTIME t;
  ZeAnimData2CalcTime(anim, &t, frame);
  return Weights(
      n, layers, [&](int k) { return NewSlots(anim, k); }, [&](int k, int j) { return NewWord(anim, k, j, &t); });
}

void** ZeHGobjEvalDwaBlend(int n, const int16_t* layers, const ZEANIMDATA* a, const ZEANIMDATA* b, float fa,
                           float fb, float blend) {
  if ((!a && !b) || n == 0) return nullptr;
  ZEANIMTIME ta = {}, tb = {};
  if (a) ZeAnimDataCalcTime(a, &ta, fa);
  if (b) ZeAnimDataCalcTime(b, &tb, fb);
  const ZEANIMCURVESET *sa = nullptr, *sb = nullptr;
  int na = 0, nb = 0;
  return Weights(
      n, layers,
      [&](int k) {
        na = OldSlots(a, ta, k, &sa), nb = OldSlots(b, tb, k, &sb);
        return na > nb ? na : nb;
      },
      [&](int, int j) {
        return Mix(j < na ? OldSlot(sa, j, &ta) : 0.0f, j < nb ? OldSlot(sb, j, &tb) : 0.0f, blend);
      });
}

void** ZeHGobjEvalDwaBlend2(int n, const int16_t* layers, const ZEANIMDATA2* a, const ZEANIMDATA2* b, float fa,
                            float fb, float blend) {
  if ((!a && !b) || n == 0) return nullptr;
  ZEANIMTIME ta = {}, tb = {};
  if (a) ZeAnimData2CalcTime(a, &ta, fa);
  if (b) ZeAnimData2CalcTime(b, &tb, fb);
  int na = 0, nb = 0;
  return Weights(
      n, layers,
      [&](int k) {
        na = NewSlots(a, k), nb = NewSlots(b, k);
        return na > nb ? na : nb;
      },
      [&](int k, int j) {
        return Mix(j < na ? NewWord(a, k, j, &ta) : 0.0f, j < nb ? NewWord(b, k, j, &tb) : 0.0f, blend);
      });
}

// ---- drawing ----------------------------------------------------------------------------

int ZeHGobjRndrMtxDwa(ZEHGOBJ* obj, const ZEMTX* objmtx, int n, const int16_t* layers, const ZEMTX* joints,
                      void** weights) {
  if (checkchecksum >= 0) HGobjFindChange(obj, checkchecksum);
  const int v = ZeCameraClipTestExtents(&obj->boxmin, &obj->boxmax, objmtx);
  if (v == 0) return 0;
  shadidcounter++;
  QueueShadows(obj, objmtx, joints);
  int r = 0;
  const int count = layers ? n : 1;
  for (int p = 0; p < count; p++) {
    const int layer = layers ? layers[p] : 0;
    if (layer < 0 || layer >= obj->nlayer) continue;
    // The weight evaluations make one entry per list position.
    void* w = weights ? weights[p] : nullptr;
    r |= DrawLayer(obj, objmtx, layer, joints, w, w, v);
  }
  return r;
}

int ZeHGobjRndrMtx(ZEHGOBJ* obj, const ZEMTX* objmtx, int n, const int16_t* layers, const ZEMTX* joints) {
  return ZeHGobjRndrMtxDwa(obj, objmtx, n, layers, joints, nullptr);
}

int ZeHGobjRndr(ZEHGOBJ* obj, const ZEMTX* objmtx, int n, const int16_t* layers) {
  ZeHGobjEval(obj, 0, nullptr, hgobj_rndrmtx);
  return ZeHGobjRndrMtx(obj, objmtx, n, layers, hgobj_rndrmtx);
}

int ZeHGobjRndrAnim(ZEHGOBJ* obj, const ZEMTX* objmtx, int layer, const ZEANIMDATA* anim, const ZEANIMDATA* wanim,
                    float frame, float wframe) {
  const int v = ZeCameraClipTestExtents(&obj->boxmin, &obj->boxmax, objmtx);
  if (v == 0) return 0;
  if (anim) {
    Tables t;
    Start(obj, 0, nullptr, &t);
    EvalOld(obj, anim, &t, hgobj_animmtx, frame);
  } else {
    RestPose(obj, hgobj_animmtx);
  }
  void* weights = nullptr;
  if (wanim) {
    ZEANIMTIME t;
    ZeAnimDataCalcTime(wanim, &t, wframe);
    const ZEANIMCURVESET* set;
    const int slots = OldSlots(wanim, t, layer, &set);
    // A weight animation without a set for the layer gives no weights.
    if (set) {
      float* w = Packet(&weights, slots);
      for (int j = 0; w && j < slots; j++) w[j] = OldSlot(set, j, &t);
    }
  }
  if (layer < 0 || layer >= obj->nlayer) return 0;
  return DrawLayer(obj, objmtx, layer, hgobj_animmtx, nullptr, weights, v);
}

int ZeHGobjRndrAnimBlend(ZEHGOBJ* obj, const ZEMTX* objmtx, int layer, const ZEANIMDATA* a, const ZEANIMDATA* b,
                         float fa, float fb, float blend) {
  const int v = ZeCameraClipTestExtents(&obj->boxmin, &obj->boxmax, objmtx);
  if (v == 0) return 0;
  Tables t;
  Start(obj, 0, nullptr, &t);
  EvalOldBlend(obj, a, b, &t, hgobj_animmtx, fa, fb, blend);
  if (layer < 0 || layer >= obj->nlayer) return 0;
  return DrawLayer(obj, objmtx, layer, hgobj_animmtx, nullptr, nullptr, v);
}
