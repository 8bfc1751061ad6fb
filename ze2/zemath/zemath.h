// zemath: the engine's maths: angles and the sine table, vectors, matrices,
// the vector-unit-0 forms of the hot routines, quaternions, planes and
// clipping, Bezier patches and curves.
//
// Conventions: the destination comes first, then the sources, then scalars.
// Points are row vectors (p' = p * M); plain matrix operations apply after
// the matrix (m = m * op), Pre forms before it (m = op * m); R forms use the
// 3x3 part only, H forms the whole 4x4. Nothing checks for zero lengths or
// singular input unless stated. Float-to-int conversions truncate toward zero.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "platform.h"

// ===================================================================
// Shared types
// ===================================================================

struct ZEVEC {
  float x, y, z;  // not padded: arrays of ZEVEC are tightly packed
};
static_assert(sizeof(ZEVEC) == 12 && alignof(ZEVEC) == 4);
static_assert(offsetof(ZEVEC, y) == 4 && offsetof(ZEVEC, z) == 8);

// A plane is a ZEVEC4 holding the normal and d: normal . p + d = 0.
struct ZEVEC4 {
  float x, y, z, w;
};
static_assert(sizeof(ZEVEC4) == 16);
static_assert(offsetof(ZEVEC4, z) == 8 && offsetof(ZEVEC4, w) == 12);

// 4x4 floats, row-major m[row][column]; rows 0-2 are the X, Y and Z axes,
// row 3 the translation.
struct alignas(16) ZEMTX {
  float m[4][4];
};
static_assert(sizeof(ZEMTX) == 64 && alignof(ZEMTX) == 16);

struct ZEQUAT {
  float x, y, z, w;  // w last
};
static_assert(sizeof(ZEQUAT) == 16 && offsetof(ZEQUAT, w) == 12);

using ZEANG = int;  // low 16 bits: 0x10000 is one turn, 0x4000 a quarter

// Three angles for X, Y and Z (ZEANG values).
struct ZEANGVEC {
  int x, y, z;
};
static_assert(sizeof(ZEANGVEC) == 12);

// A ZEVEC constant in its own 16-byte slot whose fourth float is 0, so it
// can also be read as a quadword. Converts to const ZEVEC*.
struct alignas(16) ZEVECSLOT : ZEVEC {
  float pad;
};
static_assert(sizeof(ZEVECSLOT) == 16 && alignof(ZEVECSLOT) == 16);

// ===================================================================
// Angles, sine table and float helpers (zeangle)
// ===================================================================

constexpr int ZETRIG_ENTRIES = 32768;  // one turn; entry i = sin(i * 2pi / 32768)
constexpr int ZEATAN_ENTRIES = 513;    // atan(i / 512) in angle units, 0..0x2000

// Sine of a is entry (a >> 1) & 0x7fff; cosine is 0x2000 entries further on.
// Zero until ZeTrigInit has run.
extern float ZeTrigTable[ZETRIG_ENTRIES];
extern const uint16_t ZeAtanTable[ZEATAN_ENTRIES];

// The table's sine and cosine of any angle: only the low 16 bits count and
// the lowest is dropped. Unsigned, so any int (a random one too) is an angle.
inline float ZeTrigSin(int a) { return ZeTrigTable[(uint32_t(a) >> 1) & 0x7fff]; }
inline float ZeTrigCos(int a) { return ZeTrigTable[((uint32_t(a) + 0x4000u) >> 1) & 0x7fff]; }

void ZeTrigInit();
// Angle of the direction (x, z) measured from +z towards +x: 0 along +z,
// 0x4000 along +x, 0x8000 along -z, 0xc000 along -x; not reduced to 16 bits,
// so x < 0 with z > 0 gives -0x4000..0.
int ZeAtan2D(float x, float z);
int ZeAtan2DA(float x, float z);  // as ZeAtan2D, interpolating the table
float ZeAtan2(float x, float z);  // ZeAtan2D in radians
int ZeAtani(int x, int z);        // ZeAtan2D on ints (magnitudes below 2^23)
float ZeAtanf(int x, int z);      // radians from int components

// Signed 16-bit angle results, -0x8000..0x7fff.
int ZeAngAdd(int a, int b);
int ZeAngSub(int a, int b);
int ZeAngDiff(int a, int b);  // shortest signed turn from b to a
int ZeASin(float x);
int ZeACos(float x);

inline float ZeFabs(float x) { return std::fabs(x); }
inline float ZeFnabs(float x) { return -std::fabs(x); }
inline float ZeFneg(float x) { return -x; }
inline float ZeFsign(float x) { return std::signbit(x) ? -1.0f : 1.0f; }  // -0.0 gives -1
inline float ZeFsqrt(float x) { return std::sqrt(x); }
inline float ZeFrsqrt(float a, float b) { return a / std::sqrt(b); }
float ZeFloor(float x);
float ZeFmod(float a, float b);  // the remainder takes the sign of a
int ZeEquiv(float a, float b);   // 1 when |a - b| < tolerance (strictly)
void ZeEquivTollerance(float tol);  // default 0.01
int ZePower2(int n);  // smallest power of two not below n (1 for n <= 1); n <= 2^30

// The float accumulator: one value shared by every caller.
void ZeFadda(float a, float b);   // acc = a + b
void ZeFsuba(float a, float b);   // acc = a - b
void ZeFmula(float a, float b);   // acc = a * b
void ZeFmadda(float a, float b);  // acc += a * b
void ZeFmsuba(float a, float b);  // acc -= a * b
float ZeFmadd(float a, float b);  // acc + a * b; acc unchanged

// ===================================================================
// Vectors (zevec)
// ===================================================================
// A destination may be the same vector as any input.

extern const ZEVECSLOT zevec_zero, zevec_one, zevec_minus_one, zevec_x, zevec_y, zevec_z;
alignas(16) extern const ZEVEC4 zevec4_zero;
alignas(16) extern const ZEVEC4 zevec4_one;
alignas(16) extern const ZEVEC4 zevec4_x;
alignas(16) extern const ZEVEC4 zevec4_y;
alignas(16) extern const ZEVEC4 zevec4_z;
alignas(16) extern const ZEVEC4 zevec4_w;

void ZeVecAdd(ZEVEC* dst, const ZEVEC* a, const ZEVEC* b);
void ZeVecSub(ZEVEC* dst, const ZEVEC* a, const ZEVEC* b);
void ZeVecScale(ZEVEC* dst, const ZEVEC* v, float s);
void ZeVecInvScale(ZEVEC* dst, const ZEVEC* v, float s);  // v * (1 / s)
void ZeVecScaleAccum(ZEVEC* dst, const ZEVEC* v, float s);  // dst += v * s
void ZeVecCross(ZEVEC* dst, const ZEVEC* a, const ZEVEC* b);
void ZeVecCrossRel(ZEVEC* dst, const ZEVEC* a, const ZEVEC* b, const ZEVEC* c);  // (b - a) x (c - a)
void ZeVecSurfaceNormal(ZEVEC* dst, const ZEVEC* a, const ZEVEC* b, const ZEVEC* c);  // unit (a - c) x (a - b)
float ZeVecDot(const ZEVEC* a, const ZEVEC* b);
void ZeVecMax(ZEVEC* dst, const ZEVEC* a, const ZEVEC* b);
void ZeVecMin(ZEVEC* dst, const ZEVEC* a, const ZEVEC* b);
float ZeVecMag(const ZEVEC* v);
float ZeVecMagSqr(const ZEVEC* v);
float ZeVecNorm(ZEVEC* dst, const ZEVEC* v);  // returns the length before normalising
// Distances of a - b; out (may be null) receives a - b.
float ZeVecDist(const ZEVEC* a, const ZEVEC* b, ZEVEC* out);
float ZeVecDistSqr(const ZEVEC* a, const ZEVEC* b, ZEVEC* out);
// In the XZ plane; out (may be null) receives (a.x - b.x, 0, a.z - b.z).
float ZeVecXZDist(const ZEVEC* a, const ZEVEC* b, ZEVEC* out);
float ZeVecXZDistSqr(const ZEVEC* a, const ZEVEC* b, ZEVEC* out);
void ZeVecLerp(ZEVEC* dst, const ZEVEC* a, const ZEVEC* b, float t);  // t = 1 gives a, t = 0 gives b

void ZeVec4Add(ZEVEC4* dst, const ZEVEC4* a, const ZEVEC4* b);
void ZeVec4Sub(ZEVEC4* dst, const ZEVEC4* a, const ZEVEC4* b);
void ZeVec4Scale(ZEVEC4* dst, const ZEVEC4* v, float s);
void ZeVec4ScaleAccum(ZEVEC4* dst, const ZEVEC4* v, float s);
float ZeVec4Dot(const ZEVEC4* a, const ZEVEC4* b);
float ZeVec4Mag(const ZEVEC4* v);
float ZeVec4MagSqr(const ZEVEC4* v);
void ZeVec4Max(ZEVEC4* dst, const ZEVEC4* a, const ZEVEC4* b);
void ZeVec4Min(ZEVEC4* dst, const ZEVEC4* a, const ZEVEC4* b);
void ZeVec4Lerp(ZEVEC4* dst, const ZEVEC4* a, const ZEVEC4* b, float t);  // b + (a - b) * t

void ZeVecMtxTransform(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m);   // (src, 1) * m
void ZeVecMtxTransformH(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m);  // full 4x4, divided by w
void ZeVecMtxRotate(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m);      // 3x3 part
void ZeVecMtxRotateH(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m);     // (src, 0) * m, divided by w
void ZeVecMtxTranslate(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m);
void ZeVecMtxScale(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m);       // by the diagonal
void ZeVecMtxRotateValX(ZEVEC* dst, const ZEMTX* m, float s);           // s * row 0
void ZeVecMtxRotateValY(ZEVEC* dst, const ZEMTX* m, float s);
void ZeVecMtxRotateValZ(ZEVEC* dst, const ZEMTX* m, float s);
void ZeVecInvMtxTransform(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m);  // (src - t) * transposed 3x3
void ZeVecInvMtxTranslate(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m);
void ZeVecInvMtxRotate(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m);
void ZeVecInvMtxScale(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m);
void ZeVecInvMtxRotateValX(ZEVEC* v, const ZEMTX* m);  // in place: v.x * column 0
void ZeVecInvMtxRotateValY(ZEVEC* v, const ZEMTX* m);
void ZeVecInvMtxRotateValZ(ZEVEC* v, const ZEMTX* m);
void ZeVec4MtxTransform(ZEVEC4* dst, const ZEVEC* src, const ZEMTX* m);    // (src, 1) * whole m
void ZeVec4MtxTransformH(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m);  // src * whole m

void ZeVecRotateX(ZEVEC* dst, const ZEVEC* src, int a);
void ZeVecRotateY(ZEVEC* dst, const ZEVEC* src, int a);
void ZeVecRotateZ(ZEVEC* dst, const ZEVEC* src, int a);
// About X, then Y, then Z by the angles held as floats in angles; the third
// argument is not read.
void ZeVecRotateAxis(ZEVEC* dst, const ZEVEC* src, const void* unused, const ZEVEC* angles);

// 1 when the segment start-end (world space) meets the box [min, max] of
// m's space grown by margin, or either end lies inside it.
int BoundingBoxToLine(const ZEVEC* min, const ZEVEC* max, const ZEMTX* m, const ZEVEC* start,
                      const ZEVEC* end, float margin);
// Parameters of the closest points of p1 + t1 d1 and p2 + t2 d2.
void ZeLineLineIntersect(const ZEVEC* p1, const ZEVEC* d1, const ZEVEC* p2, const ZEVEC* d2, float* t1,
                         float* t2);

// ===================================================================
// Matrices (zemtx)
// ===================================================================

extern const ZEMTX zemtx_identity;
extern const ZEMTX zemtx_zero;

void ZeMtxSetZero(ZEMTX* m);
void ZeMtxSetIdentity(ZEMTX* m);
void ZeMtxSetTranslation(ZEMTX* m, const ZEVEC* v);
void ZeMtxSetScale(ZEMTX* m, const ZEVEC* v);
void ZeMtxSetRotationX(ZEMTX* m, int a);
void ZeMtxSetRotationY(ZEMTX* m, int a);
void ZeMtxSetRotationZ(ZEMTX* m, int a);
void ZeMtxSetRotateXYZ(ZEMTX* m, const ZEANGVEC* angles);  // Rx * Ry * Rz
void ZeMtxSetRotationAxis(ZEMTX* m, int a, const ZEVEC* axis);  // axis of unit length

// Products: a point transformed by dst is transformed by a, then by b. The
// destination may be a or b.
void ZeMtxMul(ZEMTX* dst, const ZEMTX* a, const ZEMTX* b);   // affine: column 3 not read, set (0,0,0,1)
void ZeMtxMulH(ZEMTX* dst, const ZEMTX* a, const ZEMTX* b);  // full 4x4
void ZeMtxMulR(ZEMTX* dst, const ZEMTX* a, const ZEMTX* b);  // 3x3 parts
void ZeMtxAddR(ZEMTX* dst, const ZEMTX* a, const ZEMTX* b);
void ZeMtxSubR(ZEMTX* dst, const ZEMTX* a, const ZEMTX* b);
void ZeMtxTranslate(ZEMTX* m, const ZEVEC* v);
void ZeMtxPreTranslate(ZEMTX* m, const ZEVEC* v);
void ZeMtxScale(ZEMTX* m, const ZEVEC* v);
void ZeMtxPreScale(ZEMTX* m, const ZEVEC* v);
void ZeMtxRotateX(ZEMTX* m, int a);
void ZeMtxRotateY(ZEMTX* m, int a);
void ZeMtxRotateZ(ZEMTX* m, int a);
void ZeMtxPreRotateX(ZEMTX* m, int a);
void ZeMtxPreRotateY(ZEMTX* m, int a);
void ZeMtxPreRotateZ(ZEMTX* m, int a);

void ZeMtxInv(ZEMTX* dst, const ZEMTX* src);      // rigid: transposed 3x3, translation undone
void ZeMtxInvR(ZEMTX* dst, const ZEMTX* src);     // transposed 3x3, no translation
void ZeMtxInvRSS(ZEMTX* dst, const ZEMTX* src);   // 3x3 inverse by cofactors, no translation
void ZeMtxInvRSSH(ZEMTX* dst, const ZEMTX* src);  // affine inverse by cofactors
void ZeMtxInvH(ZEMTX* dst, const ZEMTX* src);     // 4x4 inverse; dst untouched when singular
void ZeMtxTranspose(ZEMTX* dst, const ZEMTX* src);
void ZeMtxTransposeR(ZEMTX* dst, const ZEMTX* src);  // 3x3 transposed, row 3 copied
float ZeMtxDet3(const ZEMTX* m);

void ZeMtxAlignZ(ZEMTX* m, const ZEVEC* dir);
void ZeMtxLookAtZ(ZEMTX* m, const ZEVEC* target);
void ZeMtxLookAtX(ZEMTX* m, const ZEVEC* target);
void ZeMtxLookAtY(ZEMTX* m, const ZEVEC* target);
void ZeMtxAlignX(ZEMTX* m, const ZEVEC* dir);
void ZeMtxAlignY(ZEMTX* m, const ZEVEC* dir);
void ZeMtxOrth(ZEMTX* m);
void ZeMtxSkewSymmetric(ZEMTX* dst, const ZEVEC* v);  // p * dst = p x v

void ZeMtxGetXAxis(const ZEMTX* m, ZEVEC* out);
void ZeMtxGetYAxis(const ZEMTX* m, ZEVEC* out);
void ZeMtxGetZAxis(const ZEMTX* m, ZEVEC* out);
void ZeMtxGetTranslation(const ZEMTX* m, ZEVEC* out);
ZEVEC ZeMtxGetScale(const ZEMTX* m);  // lengths of rows 0-2

// ===================================================================
// Vector-unit-0 routines (zevu0)
// ===================================================================
// Matrices and "q" arguments (ZEVEC4, or a ZEVEC in a 16-byte slot) are
// whole 16-byte quadwords; ZEVEC arguments are read and written by floats,
// and enter with w = 0.

extern float ottri_scale;  // XFormVuTriZ's factor on a triangle's vertex sum (3.0)

// Argument of the NS batch routines.
struct ZEVU0BATCH {
  EePtr<void> dst;
  EePtr<const void> src;  // q vectors
  EePtr<const ZEMTX> mtx;
  int count;      // at least 2
  int dststride;  // bytes
  int srcstride;  // bytes
};
static_assert(sizeof(ZEVU0BATCH) == 24 && offsetof(ZEVU0BATCH, count) == 12);
static_assert(offsetof(ZEVU0BATCH, srcstride) == 20);

// XFormVuTriZ reads triangle records 160 bytes apart with their vertex
// positions as quadwords at these offsets.
constexpr int ZEVU0_TRI_STRIDE = 160;
constexpr int ZEVU0_TRI_VERTEX[3] = {16, 64, 112};

void* ZeMtxCopy34VU0(ZEMTX* dst, const ZEMTX* src);  // rows 0-2; returns &dst->m[3]
void* ZeMtxCopy44VU0(ZEMTX* dst, const ZEMTX* src);  // returns dst + 1
void ZeMtxMulVU0(ZEMTX* dst, const ZEMTX* a, const ZEMTX* b);   // full 4x4, as ZeMtxMulH
void ZeMtxMulRVU0(ZEMTX* dst, const ZEMTX* a, const ZEMTX* b);  // as ZeMtxMulR
void ZeMtxMulArrayVU0(ZEMTX* dst, const ZEMTX* a, const ZEMTX* b, int n);       // dst[k] = a[k] * b[k]
void ZeMtxMulnVU0(ZEMTX* dst, const ZEMTX* a, const ZEMTX* const* bp, int n);  // dst[k] = a[k] * *bp[k]
void ZeMtxInvVU0(ZEMTX* dst, const ZEMTX* src);  // as ZeMtxInv, w of rows 0-2 copied from src
void ZeMtxScaleVU0(ZEMTX* m, const ZEVEC* s);
void ZeMtxPreScaleVU0(ZEMTX* m, const ZEVEC* s);
void ZeMtxPreScaleUVU0(ZEMTX* m, float s);
void ZeMtxSetRotateXYZVU0(ZEMTX* m, const ZEANGVEC* angles);
void ZeMtxSetRotateXYZVU0Obri(ZEMTX* m, const ZEANGVEC* angles);
void ZeMtxSetRotateXYZVU0ORIG(ZEMTX* m, const ZEANGVEC* angles);
void ZeMtxSetRotationXYVU0(ZEMTX* m, const ZEANGVEC* angles);  // ZeMtxSetRotateXYZ(-x, y, 0)
void ZeMtxRotateYVU0(ZEMTX* m, int a);

void ZeVecMtxTransformVU0(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m);
void ZeVecMtxRotateVU0(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m);
void ZeVecInvMtxTransformVU0(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m);
// Bits 0-5: x > |w|, x < -|w|, y > |w|, y < -|w|, z > |w|, z < -|w| of (p, 1) * m.
int ZeVecClipTestPointVU0(const ZEVEC* p, const ZEMTX* m);
float ZeVecMagVU0(const ZEVEC* v);
float ZeVecMagSqrVU0(const ZEVEC* v);
float ZeVecDiffVU0(const ZEVEC* a, const ZEVEC* b);
float ZeVecDiffSqrVU0(const ZEVEC* a, const ZEVEC* b);
void ZeVecNormVU0(ZEVEC* dst, const ZEVEC* src);
void ZeVecLerpVU0(ZEVEC* dst, const ZEVEC* a, const ZEVEC* b, float t);  // a t + b (1 - t)
void ZeVecConvertToIntVU0(int* dst, const ZEVEC* src);
void ZeVec4MtxTransformVU0(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m);
void ZeVec4MtxTransformVU0x2(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m);
void ZeVec4MtxTransformVU0x3(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m);
void ZeVec4MtxTransformVU0x4(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m);
void ZeVec4MtxTransformVU0N(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m, int n);
void ZeVec4MtxTransformHVU0(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m);  // (xyz, 1) * m; xyz / w, w kept
void ZeVec4MtxInvTransformVU0(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m);
void ZeVec4MtxRotateVU0(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m);
float ZeVec4MagVU0(const ZEVEC4* v);  // over x, y, z
float ZeVec4MagSqrVU0(const ZEVEC4* v);
float ZeVec4DiffVU0(const ZEVEC4* a, const ZEVEC4* b);
float ZeVec4DiffSqrVU0(const ZEVEC4* a, const ZEVEC4* b);
void ZeVec4NormVU0(ZEVEC4* dst, const ZEVEC4* src);
void ZeVec4AddVU0(ZEVEC4* dst, const ZEVEC4* a, const ZEVEC4* b);
void ZeVec4LerpVU0(ZEVEC4* dst, const ZEVEC4* a, const ZEVEC4* b, const float* t);
void ZeVec4ConvertToIntVU0(int* dst, const ZEVEC4* src);
void ZeVec4ScaleVU0(ZEVEC4* dst, const ZEVEC4* src, float s);
void ZeVec4ScaleXYZVU0(ZEVEC4* dst, const ZEVEC4* src, float s);
void ZeVec4PersXYZVU0(ZEVEC4* dst, const ZEVEC4* src);
void ZeVecTestVU0(const ZEVEC4* a, const ZEVEC4* b);

void ZeVecMtxTransformVU0NS(const ZEVU0BATCH* batch);   // stores (x, y, z, w)
void ZeVecMtxTransformZVU0NS(const ZEVU0BATCH* batch);  // stores z
void ZeVecMtxTransformWVU0NS(const ZEVU0BATCH* batch);  // stores w

void ZePlnEqnVU0(ZEVEC4* plane, const ZEVEC* p0, const ZEVEC* p1, const ZEVEC* p2);
int ZePlnLineVU0(const ZEVEC4* plane, const ZEVEC* a, const ZEVEC* b, ZEVEC* hit);

// Sort depths of count triangle records, walking down from tri; each z goes
// to dst, then dst - 1, and so on. Returns the smallest.
float XFormVuTriZ(float* dst, const void* tri, const ZEMTX* m, int count);

// ===================================================================
// Quaternions (zequat)
// ===================================================================

void ZeMtxToQuat(const ZEMTX* m, ZEQUAT* q);
void ZeQuatToMtx(const ZEQUAT* q, ZEMTX* m);
void ZeQuatAdd(ZEQUAT* dst, const ZEQUAT* a, const ZEQUAT* b);
void ZeQuatSub(ZEQUAT* dst, const ZEQUAT* a, const ZEQUAT* b);
void ZeQuatMul(ZEQUAT* dst, const ZEQUAT* a, const ZEQUAT* b);  // a (x) b: b applied first
void ZeQuatInv(ZEQUAT* dst, const ZEQUAT* src);
void ZeQuatNormalise(ZEQUAT* dst, const ZEQUAT* src);
float ZeQuatMagnitude(const ZEQUAT* q);  // squared length
void ZeQuatLerp(ZEQUAT* dst, const ZEQUAT* a, const ZEQUAT* b, float t);   // t = 0 gives a
void ZeQuatSlerp(ZEQUAT* dst, const ZEQUAT* a, const ZEQUAT* b, float t);  // t = 0 gives a

// ===================================================================
// Random numbers (zerand)
// ===================================================================
// Three independent generators: a minimal-standard one whose state the
// caller may own (null: the shared state), a linear congruential one with a
// shared 64-bit seed (only its low 32 bits matter), and a 16-bit one.

int ZeRand(int* state);             // one step; the result is the new state
float ZeFloatRand(int* state);      // the same step scaled by 2^-31: 0..1
void ZeRandSetSeed(int* state, int value);
int ZeRandInt();                    // seed = seed * 1664525 + 1013904223; the low 32 bits
float ZeRandFloat();                // [0, 1): the low 23 bits of the new seed as the fraction
void ZeRandSeed(int64_t seed);
int64_t ZeRandReadSeed();
int ZeWindRand();                   // 0..65535

extern int ZeWindQS;                // the 16-bit generator's state (initially 4965)

// ===================================================================
// Planes, polygons and clipping (zeplane)
// ===================================================================

void ZePlnEqn(ZEVEC4* plane, const ZEVEC* p0, const ZEVEC* p1, const ZEVEC* p2);
void ZePlnEqnPn(ZEVEC4* plane, const ZEVEC* point, const ZEVEC* normal);
float ZePlnDist(const ZEVEC4* plane, const ZEVEC* p);
float ZePlnDist2(const ZEVEC4* plane, const ZEVEC* a, const ZEVEC* b);
// 1 and hit when a and b lie on opposite sides (by sign bit); else 0.
int ZePlnLine(const ZEVEC4* plane, const ZEVEC* a, const ZEVEC* b, ZEVEC* hit);
int ZePlnLine2(const ZEVEC4* plane, const ZEVEC* k0, const ZEVEC* k1, const ZEVEC* k2, const ZEVEC* a,
               const ZEVEC* b, ZEVEC* hit, float* dist, float* frac);
float ZePlnLine3(const ZEVEC4* plane, const ZEVEC* p, ZEVEC* dir, ZEVEC* hit);  // normalises dir in place
int ZePlnPlnIntersect(const ZEVEC4* plane1, const ZEVEC4* plane2, ZEVEC* point, ZEVEC* dir);
int ZePtInPoly(const ZEVEC* p, const ZEVEC* k0, const ZEVEC* k1, const ZEVEC* k2, const ZEVEC4* plane);
int ZePtInPolyXY(const ZEVEC* p, const ZEVEC* k0, const ZEVEC* k1, const ZEVEC* k2);
int ZePtInPolyYX(const ZEVEC* p, const ZEVEC* k0, const ZEVEC* k1, const ZEVEC* k2);
int ZePtInPolyXZ(const ZEVEC* p, const ZEVEC* k0, const ZEVEC* k1, const ZEVEC* k2);
int ZePtInPolyZX(const ZEVEC* p, const ZEVEC* k0, const ZEVEC* k1, const ZEVEC* k2);
int ZePtInPolyYZ(const ZEVEC* p, const ZEVEC* k0, const ZEVEC* k1, const ZEVEC* k2);
int ZePtInPolyZY(const ZEVEC* p, const ZEVEC* k0, const ZEVEC* k1, const ZEVEC* k2);
float ZeLineToPointDistSqr(const ZEVEC* a, const ZEVEC* b, const ZEVEC* p);
float ZeLineToPointDistSqrEx(const ZEVEC* a, const ZEVEC* b, const ZEVEC* p, ZEVEC* closest);
// Outcode: 1/8 x at or above max / at or below min, 2/16 for y, 4/32 for z.
int ZePointRelToBoundingBox(const ZEVEC* p, const ZEVEC* max, const ZEVEC* min);
// Where p + t d meets the plane x = *c (0 when c is null); likewise y, z.
void ZeClipXPlane(ZEVEC* out, const ZEVEC* p, const ZEVEC* d, const float* c);
void ZeClipYPlane(ZEVEC* out, const ZEVEC* p, const ZEVEC* d, const float* c);
void ZeClipZPlane(ZEVEC* out, const ZEVEC* p, const ZEVEC* d, const float* c);

// ===================================================================
// Bezier patches and curves (zepatch)
// ===================================================================
// A bicubic patch is 16 points P[i + 4j], i along u, j along v. Corner
// derivatives fill four vectors for (u, v) = (0, 0), (0, 1), (1, 0), (1, 1).

ZEVEC ZeBezierCubicPatchEvaluate(const ZEVEC* P, float u, float v);
ZEVEC ZeBezierCubicPatchEvaluatePartials(const ZEVEC* P, float u, float v, int uorder, int vorder);
void ZeBezierCubicPatchPartialsU(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11);
void ZeBezierCubicPatchPartialsV(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11);
void ZeBezierCubicPatchPartialsUU(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11);
void ZeBezierCubicPatchPartialsVV(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11);
void ZeBezierCubicPatchPartialsUUU(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11);
void ZeBezierCubicPatchPartialsVVV(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11);
void ZeBezierCubicPatchPartialsUUV(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11);
void ZeBezierCubicPatchPartialsUVV(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11);
void ZeBezierCubicPatchPartialsUUVV(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11);
void ZeBezierCubicPatchPartialsUUVVV(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11);

// A quadratic triangle is six points: corners Q0, Q3, Q5, edge middles Q1
// (Q0-Q3), Q2 (Q0-Q5), Q4 (Q3-Q5). Parametric (u, v) is (a, b, c) = (v, 1 - u - v, u).
ZEVEC ZeBezierQuadraticTriangleEvaluateBarycentric(const ZEVEC* Q, float a, float b, float c);
ZEVEC ZeBezierQuadraticTriangleEvaluateParametric(const ZEVEC* Q, float u, float v);
ZEVEC ZeBezierQuadraticTrianglePartialsUU(const ZEVEC* Q);
ZEVEC ZeBezierQuadraticTrianglePartialsVV(const ZEVEC* Q);
ZEVEC ZeBezierQuadraticTrianglePartialsUeV(const ZEVEC* Q);

// One-dimensional cubics: Bezier control values (p0, p1, p2, p3), power
// form coefficients (a3, a2, a1, a0).
void ZeBez3ToCubic(const float* bez, float* cubic);
void ZeCubicToBez3(const float* cubic, float* bez);
void ZeBez3Subdiv(const float* bez, float* left, float* right, float t);
float ZeBez3EvaluateX(const ZEVEC4* bez, float x);
