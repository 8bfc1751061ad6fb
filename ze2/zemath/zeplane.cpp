// Planes: equations, signed distances, segment and ray crossings, the point
// in a triangle test, the line common to two planes, point-to-segment
// distance, box outcodes and crossings of axis-aligned planes. A plane is
// (n, d) with n . p + d = 0; nothing here normalises a normal it is given.
#include <utility>

#include "zecore.h"
#include "zemath_local.h"

namespace {
inline float Comp(const ZEVEC* v, int i) { return i == 0 ? v->x : i == 1 ? v->y : v->z; }
inline float PlaneDist(const ZEVEC4* pl, const ZEVEC* p) { return pl->x * p->x + pl->y * p->y + pl->z * p->z + pl->w; }

// The triangle test on axes u and v (see ZePtInPolyXY and its siblings).
int PtInTri2D(const ZEVEC* p, const ZEVEC* k0, const ZEVEC* k1, const ZEVEC* k2, int u, int v) {
  float pu = Comp(p, u), pv = Comp(p, v);
  float u0 = Comp(k0, u), v0 = Comp(k0, v);
  float u1 = Comp(k1, u), v1 = Comp(k1, v);
  float u2 = Comp(k2, u), v2 = Comp(k2, v);
  auto cross = [](float eu, float ev, float fu, float fv) { return eu * fv - ev * fu; };
  if (!(cross(u1 - u0, v1 - v0, pu - u1, pv - v1) <= 0.0f)) return 0;
  if (!(cross(u2 - u1, v2 - v1, pu - u2, pv - v2) <= 0.0f)) return 0;
  if (!(cross(u0 - u2, v0 - v2, pu - u0, pv - v0) <= 0.0f)) return 0;
  // A triangle whose corners coincide in the projection holds nothing.
  if ((u0 == u1 && v0 == v1) || (u1 == u2 && v1 == v2) || (u2 == u0 && v2 == v0)) return 0;
  return 1;
}
}  // namespace

void ZePlnEqn(ZEVEC4* plane, const ZEVEC* p0, const ZEVEC* p1, const ZEVEC* p2) {
  ZEVEC n;
  ZeVecCrossRel(&n, p0, p1, p2);
  ZeVecNorm(&n, &n);
  *plane = {n.x, n.y, n.z, -ZeVecDot(&n, p0)};
}

void ZePlnEqnPn(ZEVEC4* plane, const ZEVEC* point, const ZEVEC* normal) {
  *plane = {normal->x, normal->y, normal->z, -ZeVecDot(normal, point)};
}

float ZePlnDist(const ZEVEC4* plane, const ZEVEC* p) { return PlaneDist(plane, p); }

float ZePlnDist2(const ZEVEC4* plane, const ZEVEC* a, const ZEVEC* b) {
  float da = PlaneDist(plane, a), db = PlaneDist(plane, b);
  if (da < 0.0f && db < 0.0f) return da > db ? da : db;
  if (da > 0.0f && db > 0.0f) return da < db ? da : db;
  return 0.0f;
}

// The sides are told apart by the sign bit: +0.0 counts as positive, -0.0
// as negative.
int ZePlnLine(const ZEVEC4* plane, const ZEVEC* a, const ZEVEC* b, ZEVEC* hit) {
  float da = PlaneDist(plane, a), db = PlaneDist(plane, b);
  if (ZeFsign(da) == ZeFsign(db)) return 0;
  // +0.0 against -0.0: both ends lie on the plane and there is no single
  // crossing (the division below would give 0 / 0).
  float diff = db - da;
  if (diff == 0.0f) return 0;
  float t = -da / diff;
  ZEVEC ab;
  ZeVecSub(&ab, b, a);
  *hit = {a->x + ab.x * t, a->y + ab.y * t, a->z + ab.z * t};
  return 1;
}

int ZePlnLine2(const ZEVEC4* plane, const ZEVEC* k0, const ZEVEC* k1, const ZEVEC* k2, const ZEVEC* a,
               const ZEVEC* b, ZEVEC* hit, float* dist, float* frac) {
  if (!ZePlnLine(plane, a, b, hit)) return 0;
  if (!ZePtInPoly(hit, k0, k1, k2, plane)) return 0;
  float len = ZeVecDist(hit, a, nullptr);
  if (dist) *dist = len;
  if (frac) *frac = len / ZeVecDist(b, a, nullptr);
  return 1;
}

float ZePlnLine3(const ZEVEC4* plane, const ZEVEC* p, ZEVEC* dir, ZEVEC* hit) {
  ZeVecNorm(dir, dir);
  ZEVEC n = {plane->x, plane->y, plane->z};
  float t = (-plane->w * ZeVecDot(&n, &n) - ZeVecDot(&n, p)) / ZeVecDot(&n, dir);
  ZEVEC h = *p;
  ZeVecScaleAccum(&h, dir, t);
  *hit = h;
  return t;
}

// The point is found with one coordinate set to 0 (the one along which the
// line runs most steeply) and the two plane equations solved for the other
// two. The plane with the larger coefficient is the pivot, so planes well
// apart never divide by a coefficient near zero.
int ZePlnPlnIntersect(const ZEVEC4* plane1, const ZEVEC4* plane2, ZEVEC* point, ZEVEC* dir) {
  const ZEVEC n1 = {plane1->x, plane1->y, plane1->z}, n2 = {plane2->x, plane2->y, plane2->z};
  ZEVEC d;
  ZeVecCross(&d, &n1, &n2);
  ZeVecNorm(&d, &d);
  *dir = d;

  float ax = ZeFabs(d.x), ay = ZeFabs(d.y), az = ZeFabs(d.z);
  int u, v;  // the coordinates solved for
  if (az >= ax && az >= ay) {
    u = 0, v = 1;
  } else if (ax <= ay && az <= ay) {
    u = 0, v = 2;
  } else {
    u = 1, v = 2;
  }
  const ZEVEC4* P = plane2;
  const ZEVEC4* Q = plane1;
  if (ZeFabs(Comp(&n1, u)) > ZeFabs(Comp(&n2, u))) std::swap(P, Q);
  const ZEVEC np = {P->x, P->y, P->z}, nq = {Q->x, Q->y, Q->z};
  float pu = Comp(&np, u), pv = Comp(&np, v), qu = Comp(&nq, u), qv = Comp(&nq, v);
  float sv = (P->w * qu / pu - Q->w) / (pv * -qu / pu + qv);
  float su = (-P->w - pv * sv) / pu;
  float c[3] = {0.0f, 0.0f, 0.0f};
  c[u] = su;
  c[v] = sv;
  *point = {c[0], c[1], c[2]};

  // The point must lie on both planes, on either side, to within rounding
  // of its own size; parallel planes give no point at all (NaN fails too).
  float tol = 1e-4f * (ZeVecMag(point) > 1.0f ? ZeVecMag(point) : 1.0f);
  if (!(ZeFabs(PlaneDist(plane1, point)) <= tol) || !(ZeFabs(PlaneDist(plane2, point)) <= tol))
    ZeError("Plane intersection test suspect.");
  return 0;
}

// Projects onto the two axes across the normal's largest component; the
// sign of that component picks the order of the axes so that a triangle
// wound as for ZePlnEqn is accepted from either side.
int ZePtInPoly(const ZEVEC* p, const ZEVEC* k0, const ZEVEC* k1, const ZEVEC* k2, const ZEVEC4* plane) {
  float nx = ZeFabs(plane->x), ny = ZeFabs(plane->y), nz = ZeFabs(plane->z);
  if (nx > ny && nz < nx) return plane->x <= 0.0f ? ZePtInPolyYZ(p, k0, k1, k2) : ZePtInPolyZY(p, k0, k1, k2);
  if (nx <= ny && nz < ny) return plane->y <= 0.0f ? ZePtInPolyZX(p, k0, k1, k2) : ZePtInPolyXZ(p, k0, k1, k2);
  return plane->z <= 0.0f ? ZePtInPolyXY(p, k0, k1, k2) : ZePtInPolyYX(p, k0, k1, k2);
}

int ZePtInPolyXY(const ZEVEC* p, const ZEVEC* k0, const ZEVEC* k1, const ZEVEC* k2) { return PtInTri2D(p, k0, k1, k2, 0, 1); }
int ZePtInPolyYX(const ZEVEC* p, const ZEVEC* k0, const ZEVEC* k1, const ZEVEC* k2) { return PtInTri2D(p, k0, k1, k2, 1, 0); }
int ZePtInPolyXZ(const ZEVEC* p, const ZEVEC* k0, const ZEVEC* k1, const ZEVEC* k2) { return PtInTri2D(p, k0, k1, k2, 0, 2); }
int ZePtInPolyZX(const ZEVEC* p, const ZEVEC* k0, const ZEVEC* k1, const ZEVEC* k2) { return PtInTri2D(p, k0, k1, k2, 2, 0); }
int ZePtInPolyYZ(const ZEVEC* p, const ZEVEC* k0, const ZEVEC* k1, const ZEVEC* k2) { return PtInTri2D(p, k0, k1, k2, 1, 2); }
int ZePtInPolyZY(const ZEVEC* p, const ZEVEC* k0, const ZEVEC* k1, const ZEVEC* k2) { return PtInTri2D(p, k0, k1, k2, 2, 1); }

float ZeLineToPointDistSqr(const ZEVEC* a, const ZEVEC* b, const ZEVEC* p) {
  return ZeLineToPointDistSqrEx(a, b, p, nullptr);
}

float ZeLineToPointDistSqrEx(const ZEVEC* a, const ZEVEC* b, const ZEVEC* p, ZEVEC* closest) {
  ZEVEC u, ap, q;
  ZeVecSub(&u, b, a);
  float len = ZeVecMag(&u);
  if (len == 0.0f) {
    q = *a;  // a segment of no length is its one point
  } else {
    ZeVecScale(&u, &u, 1.0f / len);
    ZeVecSub(&ap, p, a);
    float t = ZeVecDot(&u, &ap);
    if (t <= 0.0f) {
      q = *a;
    } else if (len <= t) {
      q = *b;
    } else {
      q = *a;
      ZeVecScaleAccum(&q, &u, t);
    }
  }
  float r = ZeVecDistSqr(&q, p, nullptr);
  if (closest) *closest = q;
  return r;
}

int ZePointRelToBoundingBox(const ZEVEC* p, const ZEVEC* max, const ZEVEC* min) {
  ZEASSERT(p && max && min);
  int code = 0;
  if (p->x >= max->x) code |= 1;
  else if (p->x <= min->x) code |= 8;
  if (p->y >= max->y) code |= 2;
  else if (p->y <= min->y) code |= 16;
  if (p->z >= max->z) code |= 4;
  else if (p->z <= min->z) code |= 32;
  return code;
}

void ZeClipXPlane(ZEVEC* out, const ZEVEC* p, const ZEVEC* d, const float* c) {
  float k = c ? *c : 0.0f;
  float e = k - p->x;
  *out = {k, p->y + e * d->y / d->x, p->z + e * d->z / d->x};
}

void ZeClipYPlane(ZEVEC* out, const ZEVEC* p, const ZEVEC* d, const float* c) {
  float k = c ? *c : 0.0f;
  float e = k - p->y;
  *out = {p->x + e * d->x / d->y, k, p->z + e * d->z / d->y};
}

void ZeClipZPlane(ZEVEC* out, const ZEVEC* p, const ZEVEC* d, const float* c) {
  float k = c ? *c : 0.0f;
  float e = k - p->z;
  *out = {p->x + e * d->x / d->z, p->y + e * d->y / d->z, k};
}
