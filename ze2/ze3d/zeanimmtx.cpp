// Animated matrices: a node's matrix from its nine channels, and a joint's
// local matrix from one animation, in a rotation-only form, or from two
// blended, each with an optional override; both animation formats. Every
// matrix built here is mirrored in z (the animation tool's handedness).
#include "ze3d.h"
#include "zeanim_local.h"

#include <bit>
#include <cstring>

namespace {

// One node of either format at one time.
struct Node {
  const ZEANIMCURVESET* set;  // old format, or null
  const uint32_t* words;      // new format
  const int8_t* types;
  int flags;
  const ZEANIMTIME* time;
};

Node OldNode(const ZEANIMCURVESET* s, const ZEANIMTIME* t) { return {s, nullptr, nullptr, s->flags, t}; }
Node NewNode(const uint32_t* w, const int8_t* k, int flags, const ZEANIMTIME* t) { return {nullptr, w, k, flags, t}; }

// A slot's value: its curve's when animated, else its constant. Slots past
// an old set's count read 0 rather than past its arrays.
float Slot(const Node& n, int k) {
  if (n.set) {
    if (k >= n.set->nslots) return 0.0f;
    const ZEANIMCURVE* c = n.set->curves[k];
    return c ? ZeAnimCurveCalcVal2(c, n.time) : n.set->consts[k];
  }
  if (n.types[k] == ZEANIMKEYTYPE_NONE) return std::bit_cast<float>(n.words[k]);
  return ZeAnimCurve2CalcValEx(&n.words[k], n.time, n.types[k]);
}

ZEVEC Slots(const Node& n, int first) { return {Slot(n, first), Slot(n, first + 1), Slot(n, first + 2)}; }

// The stored constants of slots 0-2, curves or not (the rotation-only form).
ZEVEC Constants(const Node& n) {
  if (n.set) {
    float v[3];
    for (int k = 0; k < 3; k++) v[k] = k < n.set->nslots ? n.set->consts[k] : 0.0f;
    return {v[0], v[1], v[2]};
  }
  return {std::bit_cast<float>(n.words[0]), std::bit_cast<float>(n.words[1]), std::bit_cast<float>(n.words[2])};
}

int Angle(float r) { return EeFtoi(r * 10430.378f); }

void Add(ZEVEC* a, const ZEVEC& b) {
  a->x += b.x;
  a->y += b.y;
  a->z += b.z;
}

ZEVEC Mul(const ZEVEC& a, const ZEVEC& b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }

// Rotation angles with the override's offsets and clamps. A clamped angle
// wraps into -32768..32767 before its limits apply.
void SetRotation(ZEMTX* m, ZEVEC r, const ZEJOINTANIM* o) {
  const int f = o ? o->flags : 0;
  ZEANGVEC a;
  if (f & ZEJOINTANIM_ROT) {
    Add(&r, o->rot);
    int* axes[3] = {&a.x, &a.y, &a.z};
    const float rv[3] = {r.x, r.y, r.z};
    for (int i = 0; i < 3; i++) {
      int v = Angle(rv[i]);
      if (f & (ZEJOINTANIM_CLAMPX << i)) {
        v = int16_t(uint16_t(uint32_t(v)));
        if (v > o->max[i]) v = o->max[i];
        else if (v < o->min[i]) v = o->min[i];
      }
      *axes[i] = v;
    }
  } else {
    a = {Angle(r.x), Angle(r.y), Angle(r.z)};
  }
  ZeMtxSetRotateXYZVU0(m, &a);
}

void Orient(ZEMTX* m, const ZEJOINT* j) { ZeMtxMulRVU0(m, m, &j->orient); }

void Pivot(ZEMTX* m, const ZEJOINT* j) {
  if (!(j->flags & ZEJOINT_PIVOT)) return;
  const ZEVEC minus = {-j->pivot.x, -j->pivot.y, -j->pivot.z};
  ZeMtxPreTranslate(m, &j->pivot);
  ZeMtxTranslate(m, &minus);
}

void MirrorZ(ZEMTX* m) {
  m->m[0][2] = -m->m[0][2];
  m->m[1][2] = -m->m[1][2];
  m->m[2][0] = -m->m[2][0];
  m->m[2][1] = -m->m[2][1];
  m->m[2][3] = -m->m[2][3];
  m->m[3][2] = -m->m[3][2];
}

ZEVEC Reciprocal(const ZEVEC& p) { return {1.0f / p.x, 1.0f / p.y, 1.0f / p.z}; }

void NodeMatrix(const Node& n, ZEMTX* m) {
  if (n.flags & ZEANIMNODE_ROT) SetRotation(m, Slots(n, 3), nullptr);
  else ZeMtxSetIdentity(m);
  if (n.flags & ZEANIMNODE_SCALE) {
    const ZEVEC s = Slots(n, 6);
    ZeMtxPreScaleVU0(m, &s);
  }
  const ZEVEC t = Slots(n, 0);
  ZeMtxTranslate(m, &t);
  MirrorZ(m);
}

void JointMatrix(const Node& n, const ZEJOINT* j, ZEVEC* S, const ZEVEC* P, ZEMTX* m, const ZEJOINTANIM* o) {
  const int f = o ? o->flags : 0;
  const ZEVEC p = P ? *P : ZEVEC{1, 1, 1};
  if (n.flags & ZEANIMNODE_ROT) SetRotation(m, Slots(n, 3), o);
  else if (f & ZEJOINTANIM_ROT) SetRotation(m, {0, 0, 0}, o);
  else ZeMtxSetIdentity(m);
  if (n.flags & ZEANIMNODE_ORIENT) Orient(m, j);
  ZEVEC out = p;
  if ((n.flags & ZEANIMNODE_SCALE) || (f & ZEJOINTANIM_SCALE)) {
    ZEVEC s = (n.flags & ZEANIMNODE_SCALE) ? Slots(n, 6) : ZEVEC{0, 0, 0};
    if (f & ZEJOINTANIM_SCALE) Add(&s, o->scale);
    ZeMtxPreScaleVU0(m, &s);
    out = Mul(s, p);
  }
  if ((n.flags & ZEANIMNODE_CANCELSCALE) && P) {
    const ZEVEC q = Reciprocal(*P);
    ZeMtxScaleVU0(m, &q);
    out = Mul(out, q);
  }
  ZEVEC t = Slots(n, 0);
  if (f & ZEJOINTANIM_TRANS) Add(&t, o->trans);
  ZeMtxTranslate(m, &t);
  Pivot(m, j);
  MirrorZ(m);
  if (S) *S = out;
}

void JointBasic(const Node& n, const ZEJOINT* j, ZEVEC* S, const ZEVEC* P, ZEMTX* m, const ZEJOINTANIM* o) {
  SetRotation(m, Slots(n, 3), o);
  if (n.flags & ZEANIMNODE_ORIENT) Orient(m, j);
  ZEVEC t = Constants(n);
  if (o && (o->flags & ZEJOINTANIM_TRANS)) Add(&t, o->trans);
  m->m[3][0] = t.x;
  m->m[3][1] = t.y;
  m->m[3][2] = t.z;
  if (S) *S = P ? *P : ZEVEC{1, 1, 1};
  MirrorZ(m);
}

ZEVEC Lerp(const ZEVEC& a, const ZEVEC& b, float x) {
  const float y = 1.0f - x;
  return {a.x * y + b.x * x, a.y * y + b.y * x, a.z * y + b.z * x};
}

// The shorter way between two angles: one of them moves by a turn.
void ShortWay(float* ra, float* rb) {
  if (*ra - *rb > 3.1415927f) *ra -= 6.2831855f;
  if (*rb - *ra > 3.1415927f) *rb -= 6.2831855f;
}

void JointBlend(const Node& a, const Node& b, float x, const ZEJOINT* j, ZEVEC* S, const ZEVEC* P, ZEMTX* m,
                const ZEJOINTANIM* o) {
  const int f = o ? o->flags : 0;
  const int both = a.flags | b.flags;
  const ZEVEC p = P ? *P : ZEVEC{1, 1, 1};
  if ((both & ZEANIMNODE_ROT) || (f & ZEJOINTANIM_ROT)) {
    ZEVEC ra = Slots(a, 3), rb = Slots(b, 3);
    ShortWay(&ra.x, &rb.x);
    ShortWay(&ra.y, &rb.y);
    ShortWay(&ra.z, &rb.z);
    SetRotation(m, Lerp(ra, rb, x), o);
  } else {
    ZeMtxSetIdentity(m);
  }
  if (both & ZEANIMNODE_ORIENT) Orient(m, j);
  ZEVEC out = p;
  if ((both & ZEANIMNODE_SCALE) || (f & ZEJOINTANIM_SCALE)) {
    ZEVEC s = Lerp(Slots(a, 6), Slots(b, 6), x);
    if (f & ZEJOINTANIM_SCALE) Add(&s, o->scale);
    ZeMtxPreScaleVU0(m, &s);
    out = Mul(s, p);
  }
  if (both & ZEANIMNODE_CANCELSCALE) {
    const ZEVEC q = Reciprocal(p);
    ZeMtxScaleVU0(m, &q);
    out = Mul(out, q);
  }
  ZEVEC t = Lerp(Slots(a, 0), Slots(b, 0), x);
  if (f & ZEJOINTANIM_TRANS) Add(&t, o->trans);
  ZeMtxTranslate(m, &t);
  Pivot(m, j);
  MirrorZ(m);
  if (S) *S = out;
}

}  // namespace

void ZeAnimCurveSetApplyToMatrix(const ZEANIMCURVESET* set, const ZEANIMTIME* time, ZEMTX* out) {
  NodeMatrix(OldNode(set, time), out);
}

void ZeAnimCurve2SetApplyToMatrix(const uint32_t* words, const int8_t* keytypes, int flags, const ZEANIMTIME* time,
                                  ZEMTX* out) {
  NodeMatrix(NewNode(words, keytypes, flags, time), out);
}

void ZeAnimCurveSetApplyToJoint2(const ZEANIMCURVESET* set, const ZEANIMTIME* time, const ZEJOINT* joint,
                                 ZEVEC* outscale, const ZEVEC* parentscale, ZEMTX* out, const ZEJOINTANIM* ovr) {
  JointMatrix(OldNode(set, time), joint, outscale, parentscale, out, ovr);
}

void ZeAnimCurve2SetApplyToJoint(const uint32_t* words, const int8_t* keytypes, int8_t flags, const ZEANIMTIME* time,
                                 const ZEJOINT* joint, ZEVEC* outscale, const ZEVEC* parentscale, ZEMTX* out,
                                 const ZEJOINTANIM* ovr) {
  JointMatrix(NewNode(words, keytypes, flags, time), joint, outscale, parentscale, out, ovr);
}

void ZeAnimCurveSetApplyToJointBasic(const ZEANIMCURVESET* set, const ZEANIMTIME* time, const ZEJOINT* joint,
                                     ZEVEC* outscale, const ZEVEC* parentscale, ZEMTX* out, const ZEJOINTANIM* ovr) {
  JointBasic(OldNode(set, time), joint, outscale, parentscale, out, ovr);
}

void ZeAnimCurveSetApplyBlendToJoint2(const ZEANIMCURVESET* a, const ZEANIMTIME* ta, const ZEANIMCURVESET* b,
                                      const ZEANIMTIME* tb, const ZEJOINT* joint, ZEVEC* outscale,
                                      const ZEVEC* parentscale, ZEMTX* out, float blend, const ZEJOINTANIM* ovr) {
  JointBlend(OldNode(a, ta), OldNode(b, tb), blend, joint, outscale, parentscale, out, ovr);
}

void ZeAnimCurve2SetApplyBlendToJoint2(const uint32_t* wa, const int8_t* ka, int fa, const ZEANIMTIME* ta,
                                       const uint32_t* wb, const int8_t* kb, int fb, const ZEANIMTIME* tb, float blend,
                                       const ZEJOINT* joint, ZEVEC* outscale, const ZEVEC* parentscale, ZEMTX* out,
                                       const ZEJOINTANIM* ovr) {
  JointBlend(NewNode(wa, ka, fa, ta), NewNode(wb, kb, fb, tb), blend, joint, outscale, parentscale, out, ovr);
}
