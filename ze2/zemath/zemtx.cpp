// Matrices: building, combining, inverting and re-orienting ZEMTX values.
// Operations that allow aliasing form their result in a local matrix first.
#include <utility>

#include "zemath_local.h"

alignas(16) const ZEMTX zemtx_identity = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
alignas(16) const ZEMTX zemtx_zero = {};

namespace {
inline ZEVEC Row(const ZEMTX* m, int r) { return {m->m[r][0], m->m[r][1], m->m[r][2]}; }
inline void SetRow(ZEMTX* m, int r, const ZEVEC& v) {
  m->m[r][0] = v.x;
  m->m[r][1] = v.y;
  m->m[r][2] = v.z;
}
// Sets the 3x3 part from three rows, with column 3 (0, 0, 0, 1) and no translation.
inline void SetRotation(ZEMTX* m, const ZEVEC& r0, const ZEVEC& r1, const ZEVEC& r2) {
  *m = {{{r0.x, r0.y, r0.z, 0}, {r1.x, r1.y, r1.z, 0}, {r2.x, r2.y, r2.z, 0}, {0, 0, 0, 1}}};
}
// Rescales v to the squared length len2.
inline void Rescale(ZEVEC* v, float len2) { ZeVecScale(v, v, ZeFsqrt(len2 / ZeVecMagSqr(v))); }
inline ZEVEC Unit(const ZEVEC& v) {
  ZEVEC u;
  ZeVecNorm(&u, &v);
  return u;
}
inline ZEVEC Cross(const ZEVEC& a, const ZEVEC& b) {
  ZEVEC c;
  ZeVecCross(&c, &a, &b);
  return c;
}
}  // namespace

// ---- Setting ----

void ZeMtxSetZero(ZEMTX* m) { *m = zemtx_zero; }

void ZeMtxSetIdentity(ZEMTX* m) { *m = zemtx_identity; }

void ZeMtxSetTranslation(ZEMTX* m, const ZEVEC* v) {
  *m = zemtx_identity;
  SetRow(m, 3, *v);
}

void ZeMtxSetScale(ZEMTX* m, const ZEVEC* v) {
  *m = zemtx_zero;
  m->m[0][0] = v->x;
  m->m[1][1] = v->y;
  m->m[2][2] = v->z;
  m->m[3][3] = 1.0f;
}

void ZeMtxSetRotationX(ZEMTX* m, int a) {
  float c = ZeTrigCos(a), s = ZeTrigSin(a);
  SetRotation(m, {1, 0, 0}, {0, c, s}, {0, -s, c});
}

void ZeMtxSetRotationY(ZEMTX* m, int a) {
  float c = ZeTrigCos(a), s = ZeTrigSin(a);
  SetRotation(m, {c, 0, -s}, {0, 1, 0}, {s, 0, c});
}

void ZeMtxSetRotationZ(ZEMTX* m, int a) {
  float c = ZeTrigCos(a), s = ZeTrigSin(a);
  SetRotation(m, {c, s, 0}, {-s, c, 0}, {0, 0, 1});
}

void ZeMtxSetRotateXYZ(ZEMTX* m, const ZEANGVEC* angles) {
  float cx = ZeTrigCos(angles->x), sx = ZeTrigSin(angles->x);
  float cy = ZeTrigCos(angles->y), sy = ZeTrigSin(angles->y);
  float cz = ZeTrigCos(angles->z), sz = ZeTrigSin(angles->z);
  SetRotation(m, {cy * cz, cy * sz, -sy}, {sx * sy * cz - cx * sz, sx * sy * sz + cx * cz, sx * cy},
              {cx * sy * cz + sx * sz, cx * sy * sz - sx * cz, cx * cy});
}

void ZeMtxSetRotationAxis(ZEMTX* m, int a, const ZEVEC* axis) {
  // The half angle: sine index a >> 2, cosine index ((a >> 1) + 0x4000) >> 1.
  uint32_t u = static_cast<uint32_t>(a);
  float s = ZeTrigTable[(u >> 2) & 0x7fff];
  float w = ZeTrigTable[(((u >> 1) + 0x4000u) >> 1) & 0x7fff];
  float x = axis->x * s, y = axis->y * s, z = axis->z * s;
  SetRotation(m, {1.0f - 2.0f * (y * y + z * z), 2.0f * (x * y + w * z), 2.0f * (x * z - w * y)},
              {2.0f * (x * y - w * z), 1.0f - 2.0f * (x * x + z * z), 2.0f * (y * z + w * x)},
              {2.0f * (x * z + w * y), 2.0f * (y * z - w * x), 1.0f - 2.0f * (x * x + y * y)});
}

// ---- Combining ----

void ZeMtxMul(ZEMTX* dst, const ZEMTX* a, const ZEMTX* b) {
  ZeV4Mtx B = ZeV4LoadMtx(b);
  const auto& A = a->m;
  ZeV4 r0 = ZeV4XformDir(B, A[0][0], A[0][1], A[0][2]);
  ZeV4 r1 = ZeV4XformDir(B, A[1][0], A[1][1], A[1][2]);
  ZeV4 r2 = ZeV4XformDir(B, A[2][0], A[2][1], A[2][2]);
  ZeV4 r3 = ZeV4XformPoint(B, A[3][0], A[3][1], A[3][2]);
  r0[3] = 0.0f;
  r1[3] = 0.0f;
  r2[3] = 0.0f;
  r3[3] = 1.0f;
  ZeV4Store(dst->m[0], r0);
  ZeV4Store(dst->m[1], r1);
  ZeV4Store(dst->m[2], r2);
  ZeV4Store(dst->m[3], r3);
}

void ZeMtxMulH(ZEMTX* dst, const ZEMTX* a, const ZEMTX* b) {
  ZeV4Mtx B = ZeV4LoadMtx(b);
  const auto& A = a->m;
  ZeV4 r[4];
  for (int i = 0; i < 4; i++) r[i] = ZeV4Xform(B, A[i][0], A[i][1], A[i][2], A[i][3]);
  for (int i = 0; i < 4; i++) ZeV4Store(dst->m[i], r[i]);
}

void ZeMtxMulR(ZEMTX* dst, const ZEMTX* a, const ZEMTX* b) {
  ZeV4Mtx B = ZeV4LoadMtx(b);
  const auto& A = a->m;
  ZeV4 r[3];
  for (int i = 0; i < 3; i++) {
    r[i] = ZeV4XformDir(B, A[i][0], A[i][1], A[i][2]);
    r[i][3] = 0.0f;
  }
  for (int i = 0; i < 3; i++) ZeV4Store(dst->m[i], r[i]);
  ZeV4Store(dst->m[3], ZeV4{0, 0, 0, 1});
}

void ZeMtxAddR(ZEMTX* dst, const ZEMTX* a, const ZEMTX* b) {
  ZEMTX r = zemtx_identity;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 4; j++) r.m[i][j] = j < 3 ? a->m[i][j] + b->m[i][j] : 0.0f;
  *dst = r;
}

void ZeMtxSubR(ZEMTX* dst, const ZEMTX* a, const ZEMTX* b) {
  ZEMTX r = zemtx_identity;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 4; j++) r.m[i][j] = j < 3 ? a->m[i][j] - b->m[i][j] : 0.0f;
  *dst = r;
}

void ZeMtxTranslate(ZEMTX* m, const ZEVEC* v) {
  m->m[3][0] += v->x;
  m->m[3][1] += v->y;
  m->m[3][2] += v->z;
}

void ZeMtxPreTranslate(ZEMTX* m, const ZEVEC* v) {
  ZEVEC d;
  ZeVecMtxRotate(&d, v, m);
  ZeMtxTranslate(m, &d);
}

void ZeMtxScale(ZEMTX* m, const ZEVEC* v) {
  for (int i = 0; i < 4; i++) {
    m->m[i][0] *= v->x;
    m->m[i][1] *= v->y;
    m->m[i][2] *= v->z;
  }
}

void ZeMtxPreScale(ZEMTX* m, const ZEVEC* v) {
  const float s[3] = {v->x, v->y, v->z};
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) m->m[i][j] *= s[i];
}

void ZeMtxRotateX(ZEMTX* m, int a) {
  float c = ZeTrigCos(a), s = ZeTrigSin(a);
  for (auto& r : m->m) {
    float y = r[1], z = r[2];
    r[1] = y * c - z * s;
    r[2] = y * s + z * c;
  }
}

void ZeMtxRotateY(ZEMTX* m, int a) {
  float c = ZeTrigCos(a), s = ZeTrigSin(a);
  for (auto& r : m->m) {
    float x = r[0], z = r[2];
    r[0] = x * c + z * s;
    r[2] = z * c - x * s;
  }
}

void ZeMtxRotateZ(ZEMTX* m, int a) {
  float c = ZeTrigCos(a), s = ZeTrigSin(a);
  for (auto& r : m->m) {
    float x = r[0], y = r[1];
    r[0] = x * c - y * s;
    r[1] = x * s + y * c;
  }
}

namespace {
// Rows p and q (x, y, z) become c p + s q and c q - s p.
void PreRotate(ZEMTX* m, int p, int q, int a) {
  float c = ZeTrigCos(a), s = ZeTrigSin(a);
  for (int j = 0; j < 3; j++) {
    float u = m->m[p][j], v = m->m[q][j];
    m->m[p][j] = c * u + s * v;
    m->m[q][j] = c * v - s * u;
  }
}
}  // namespace

void ZeMtxPreRotateX(ZEMTX* m, int a) { PreRotate(m, 1, 2, a); }

// Row 0 becomes c row0 - s row2, row 2 becomes s row0 + c row2.
void ZeMtxPreRotateY(ZEMTX* m, int a) {
  float c = ZeTrigCos(a), s = ZeTrigSin(a);
  for (int j = 0; j < 3; j++) {
    float u = m->m[0][j], v = m->m[2][j];
    m->m[0][j] = c * u - s * v;
    m->m[2][j] = s * u + c * v;
  }
}

void ZeMtxPreRotateZ(ZEMTX* m, int a) { PreRotate(m, 0, 1, a); }

// ---- Inverting and transposing ----

void ZeMtxInv(ZEMTX* dst, const ZEMTX* src) {
  const auto& S = src->m;
  float tx = S[3][0], ty = S[3][1], tz = S[3][2];
  ZEMTX r = {{{S[0][0], S[1][0], S[2][0], 0},
              {S[0][1], S[1][1], S[2][1], 0},
              {S[0][2], S[1][2], S[2][2], 0},
              {-(tx * S[0][0] + ty * S[0][1] + tz * S[0][2]), -(tx * S[1][0] + ty * S[1][1] + tz * S[1][2]),
               -(tx * S[2][0] + ty * S[2][1] + tz * S[2][2]), 1}}};
  *dst = r;
}

void ZeMtxInvR(ZEMTX* dst, const ZEMTX* src) {
  const auto& S = src->m;
  ZEMTX r = {{{S[0][0], S[1][0], S[2][0], 0},
              {S[0][1], S[1][1], S[2][1], 0},
              {S[0][2], S[1][2], S[2][2], 0},
              {0, 0, 0, 1}}};
  *dst = r;
}

void ZeMtxInvRSS(ZEMTX* dst, const ZEMTX* src) {
  const auto& S = src->m;
  // Cofactors of row 0 give the determinant; the adjugate is the transposed
  // cofactor matrix.
  float c00 = S[1][1] * S[2][2] - S[1][2] * S[2][1];
  float c01 = S[1][2] * S[2][0] - S[1][0] * S[2][2];
  float c02 = S[1][0] * S[2][1] - S[1][1] * S[2][0];
  float c10 = S[0][2] * S[2][1] - S[0][1] * S[2][2];
  float c11 = S[0][0] * S[2][2] - S[0][2] * S[2][0];
  float c12 = S[0][1] * S[2][0] - S[0][0] * S[2][1];
  float c20 = S[0][1] * S[1][2] - S[0][2] * S[1][1];
  float c21 = S[0][2] * S[1][0] - S[0][0] * S[1][2];
  float c22 = S[0][0] * S[1][1] - S[0][1] * S[1][0];
  float r = 1.0f / (S[0][0] * c00 + S[0][1] * c01 + S[0][2] * c02);
  ZEMTX m = {{{c00 * r, c10 * r, c20 * r, 0},
              {c01 * r, c11 * r, c21 * r, 0},
              {c02 * r, c12 * r, c22 * r, 0},
              {0, 0, 0, 1}}};
  *dst = m;
}

void ZeMtxInvRSSH(ZEMTX* dst, const ZEMTX* src) {
  ZEVEC t = Row(src, 3), n;
  ZeMtxInvRSS(dst, src);
  ZeVecMtxRotate(&n, &t, dst);
  SetRow(dst, 3, {-n.x, -n.y, -n.z});
}

// Gauss-Jordan exchange with scaled partial pivoting on a local copy.
// Each step works on whole rows: the pivot row becomes -row / p, every other
// row k gains A[k][i] times it, then column i is divided by p and the pivot
// becomes 1 / p. Element by element these are the same operations, in the
// same order, as the scalar form of the exchange.
void ZeMtxInvH(ZEMTX* dst, const ZEMTX* src) {
  ZeV4 A[4] = {ZeV4Load(src->m[0]), ZeV4Load(src->m[1]), ZeV4Load(src->m[2]), ZeV4Load(src->m[3])};
  int perm[4];
  for (int i = 0; i < 4; i++) {
    // The row whose pivot is largest against the rest of the row; the
    // earlier row wins a tie, and a row with nothing left never wins.
    float best = 0.0f;
    int bestrow = i;
    for (int j = i; j < 4; j++) {
      float scale = 0.0f;
      for (int k = i; k < 4; k++) scale += ZeFabs(A[j][k]);
      if (!(scale > 0.0f)) continue;
      float ratio = ZeFabs(A[j][i]) / scale;
      if (ratio > best) {
        best = ratio;
        bestrow = j;
      }
    }
    if (best == 0.0f) return;  // singular: dst is not written
    perm[i] = bestrow;
    if (bestrow != i) std::swap(A[i], A[bestrow]);
    float p = A[i][i];
    ZeV4 pivot = -A[i] / p;
    for (int k = 0; k < 4; k++) {
      if (k == i) continue;
      float c = A[k][i];
      A[k] = A[k] + pivot * c;
      A[k][i] = c / p;
    }
    pivot[i] = 1.0f / p;
    A[i] = pivot;
  }
  float R[4][4];
  for (int k = 0; k < 4; k++) ZeV4Store(R[k], A[k]);
  for (int i = 3; i >= 0; i--)
    if (perm[i] != i)
      for (int k = 0; k < 4; k++) std::swap(R[k][i], R[k][perm[i]]);
  std::memcpy(dst->m, R, sizeof R);
}

void ZeMtxTranspose(ZEMTX* dst, const ZEMTX* src) {
  ZEMTX r;
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) r.m[i][j] = src->m[j][i];
  *dst = r;
}

void ZeMtxTransposeR(ZEMTX* dst, const ZEMTX* src) {
  ZEVEC c0 = {src->m[0][0], src->m[1][0], src->m[2][0]};
  ZEVEC c1 = {src->m[0][1], src->m[1][1], src->m[2][1]};
  ZEVEC c2 = {src->m[0][2], src->m[1][2], src->m[2][2]};
  ZEVEC t = Row(src, 3);
  SetRow(dst, 0, c0);
  SetRow(dst, 1, c1);
  SetRow(dst, 2, c2);
  SetRow(dst, 3, t);
  dst->m[3][3] = src->m[3][3];
}

float ZeMtxDet3(const ZEMTX* m) {
  const auto& M = m->m;
  return M[0][0] * (M[1][1] * M[2][2] - M[1][2] * M[2][1]) - M[0][1] * (M[1][0] * M[2][2] - M[1][2] * M[2][0]) +
         M[0][2] * (M[1][0] * M[2][1] - M[1][1] * M[2][0]);
}

// ---- Orienting ----

void ZeMtxAlignZ(ZEMTX* m, const ZEVEC* dir) {
  ZEVEC X = Row(m, 0), Y = Row(m, 1), Z = Row(m, 2);
  float lx2 = ZeVecMagSqr(&X), ly2 = ZeVecMagSqr(&Y);
  ZeVecScale(&Z, dir, ZeFsqrt(ZeVecMagSqr(&Z) / ZeVecMagSqr(dir)));
  if (ZeFabs(ZeVecDot(&Y, &Z)) > 0.8660254f) {
    // Y nearly along the new Z: rebuild Y from the old X first.
    Y = Cross(Z, X);
    Rescale(&Y, ly2);
    X = Cross(Y, Z);
    Rescale(&X, lx2);
  } else {
    X = Cross(Y, Z);
    Rescale(&X, lx2);
    Y = Cross(Z, X);
    Rescale(&Y, ly2);
  }
  SetRow(m, 0, X);
  SetRow(m, 1, Y);
  SetRow(m, 2, Z);
}

void ZeMtxLookAtZ(ZEMTX* m, const ZEVEC* target) {
  ZEVEC d, t = Row(m, 3);
  ZeVecSub(&d, target, &t);
  ZeVecNorm(&d, &d);
  ZeMtxAlignZ(m, &d);
}

void ZeMtxLookAtX(ZEMTX* m, const ZEVEC* target) {
  ZEVEC d, t = Row(m, 3);
  ZeVecSub(&d, target, &t);
  ZEVEC X = Unit(d);
  ZEVEC Z = Unit(Cross(X, Row(m, 1)));
  SetRow(m, 0, X);
  SetRow(m, 1, Cross(Z, X));
  SetRow(m, 2, Z);
}

void ZeMtxLookAtY(ZEMTX* m, const ZEVEC* target) {
  ZEVEC d, t = Row(m, 3);
  ZeVecSub(&d, target, &t);
  ZEVEC Y = Unit(d);
  ZEVEC X = Unit(Cross(Y, Row(m, 2)));
  SetRow(m, 0, X);
  SetRow(m, 1, Y);
  SetRow(m, 2, Cross(X, Y));
}

void ZeMtxAlignX(ZEMTX* m, const ZEVEC* dir) {
  ZEVEC X = *dir;
  ZEVEC Z = Unit(Cross(X, Row(m, 1)));
  SetRow(m, 0, X);
  SetRow(m, 1, Cross(Z, X));
  SetRow(m, 2, Z);
}

void ZeMtxAlignY(ZEMTX* m, const ZEVEC* dir) {
  ZEVEC Y = *dir;
  ZEVEC X = Unit(Cross(Y, Row(m, 2)));
  SetRow(m, 0, X);
  SetRow(m, 1, Y);
  SetRow(m, 2, Cross(X, Y));
}

void ZeMtxOrth(ZEMTX* m) {
  ZEVEC X = Unit(Row(m, 0));
  ZEVEC Z = Cross(X, Unit(Row(m, 1)));
  SetRow(m, 0, X);
  SetRow(m, 1, Cross(Z, X));
  SetRow(m, 2, Z);
}

void ZeMtxSkewSymmetric(ZEMTX* dst, const ZEVEC* v) {
  SetRotation(dst, {0, -v->z, v->y}, {v->z, 0, -v->x}, {-v->y, v->x, 0});
}

// ---- Reading ----

void ZeMtxGetXAxis(const ZEMTX* m, ZEVEC* out) { *out = Row(m, 0); }
void ZeMtxGetYAxis(const ZEMTX* m, ZEVEC* out) { *out = Row(m, 1); }
void ZeMtxGetZAxis(const ZEMTX* m, ZEVEC* out) { *out = Row(m, 2); }
void ZeMtxGetTranslation(const ZEMTX* m, ZEVEC* out) { *out = Row(m, 3); }

ZEVEC ZeMtxGetScale(const ZEMTX* m) {
  ZEVEC x = Row(m, 0), y = Row(m, 1), z = Row(m, 2);
  return {ZeVecMag(&x), ZeVecMag(&y), ZeVecMag(&z)};
}
