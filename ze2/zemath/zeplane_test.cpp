#include <cmath>

#include "zemath_test.h"

namespace {
double Residual(const ZEVEC4& pl, const ZEVEC& p) {
  return static_cast<double>(pl.x) * p.x + static_cast<double>(pl.y) * p.y + static_cast<double>(pl.z) * p.z + pl.w;
}
}  // namespace

TEST(ZePlane, EquationsAndDistances) {
  ZEVEC p0 = {0, 0, 0}, p1 = {1, 0, 0}, p2 = {0, 1, 0};
  ZEVEC4 pl;
  ZePlnEqn(&pl, &p0, &p1, &p2);
  EXPECT_VEC4_NEAR(pl, (ZEVEC4{0, 0, 1, 0}), 0);
  ZEVEC q0 = {1, 2, 3}, q1 = {2, 2, 3}, q2 = {1, 2, 4};
  ZePlnEqn(&pl, &q0, &q1, &q2);  // counter-clockwise seen from -y
  EXPECT_VEC4_NEAR(pl, (ZEVEC4{0, -1, 0, 2}), 0);
  ZEVEC n = {0, 2, 0}, pt = {5, 3, 1};
  ZePlnEqnPn(&pl, &pt, &n);  // the normal is not normalised
  EXPECT_VEC4_NEAR(pl, (ZEVEC4{0, 2, 0, -6}), 0);
  ZEVEC a = {0, 4, 0};
  EXPECT_EQ(ZePlnDist(&pl, &a), 2.0f);

  ZEVEC4 z = {0, 0, 1, 0};
  struct {
    float za, zb, d;
  } cases[] = {{3, 5, 3}, {5, 3, 3}, {-3, -5, -3}, {-5, -3, -3}, {-1, 2, 0}, {0, 4, 0}, {-2, 0, 0}};
  for (const auto& c : cases) {
    ZEVEC va = {1, 1, c.za}, vb = {2, 2, c.zb};
    EXPECT_EQ(ZePlnDist2(&z, &va, &vb), c.d) << c.za << ", " << c.zb;
  }
}

TEST(ZePlane, SegmentCrossingsBySignBit) {
  ZEVEC4 pl = {0, 0, 1, -0.0f};
  struct {
    ZEVEC a, b;
    int result;
    ZEVEC hit;
    const char* what;
  } cases[] = {
      {{1, 2, 1}, {3, 2, -3}, 1, {1.5f, 2, 0}, "crossing"},
      {{0, 0, 0}, {1, 1, -1}, 1, {0, 0, 0}, "a on the plane (+0.0), b below: hit = a"},
      {{0, 0, 0}, {1, 1, 0}, 0, {}, "both on the plane"},
      {{0, 0, 1}, {1, 1, 4}, 0, {}, "same side"},
      {{-1, -1, -0.0f}, {1, 1, 0}, 0, {}, "-0.0 against +0.0: no single crossing"},
  };
  for (const auto& c : cases) {
    ZEVEC hit = {7, 7, 7};
    EXPECT_EQ(ZePlnLine(&pl, &c.a, &c.b, &hit), c.result) << c.what;
    if (c.result) {
      EXPECT_VEC_NEAR(hit, c.hit, 1e-6);
    } else {
      SCOPED_TRACE(c.what);
      EXPECT_VEC_NEAR(hit, (ZEVEC{7, 7, 7}), 0);  // hit not written
    }
  }
}

TEST(ZePlane, SegmentThroughATriangle) {
  ZEVEC k0 = {0, 0, 0}, k1 = {4, 0, 0}, k2 = {0, 4, 0};
  ZEVEC4 pl;
  ZePlnEqn(&pl, &k0, &k1, &k2);
  ZEVEC a = {1, 1, 3}, b = {1, 1, -1}, hit;
  float dist = 0, frac = 0;
  EXPECT_EQ(ZePlnLine2(&pl, &k0, &k1, &k2, &a, &b, &hit, &dist, &frac), 1);
  EXPECT_VEC_NEAR(hit, (ZEVEC{1, 1, 0}), 1e-6);
  EXPECT_FLOAT_EQ(dist, 3.0f);
  EXPECT_FLOAT_EQ(frac, 0.75f);
  EXPECT_EQ(ZePlnLine2(&pl, &k0, &k1, &k2, &a, &b, &hit, nullptr, nullptr), 1);
  a = {3, 3, 3}, b = {3, 3, -1};  // crosses the plane outside the triangle
  EXPECT_EQ(ZePlnLine2(&pl, &k0, &k1, &k2, &a, &b, &hit, &dist, &frac), 0);
  EXPECT_VEC_NEAR(hit, (ZEVEC{3, 3, 0}), 1e-6);
  b = {3, 3, 1};
  EXPECT_EQ(ZePlnLine2(&pl, &k0, &k1, &k2, &a, &b, &hit, &dist, &frac), 0);
}

TEST(ZePlane, RayAgainstPlaneNormalisesTheDirection) {
  ZEVEC4 pl = {0, 1, 0, -2};  // y = 2
  ZEVEC p = {1, 0, 1}, dir = {0, 3, 4}, hit;
  float t = ZePlnLine3(&pl, &p, &dir, &hit);
  EXPECT_VEC_NEAR(dir, (ZEVEC{0, 0.6f, 0.8f}), 1e-7);
  EXPECT_FLOAT_EQ(t, 2 / 0.6f);
  EXPECT_VEC_NEAR(hit, (ZEVEC{1, 2, 1 + 0.8f * 2 / 0.6f}), 1e-5);
}

TEST(ZePlane, PointInTriangleFromEitherSide) {
  ZEVEC k0 = {0, 0, 0}, k1 = {1, 0, 0}, k2 = {0, 1, 0};
  ZEVEC4 pl;
  ZePlnEqn(&pl, &k0, &k1, &k2);
  ZEVEC in = {0.2f, 0.2f, 0}, out = {0.6f, 0.6f, 0};
  EXPECT_EQ(ZePtInPoly(&in, &k0, &k1, &k2, &pl), 1);  // normal +z: member YX
  EXPECT_EQ(ZePtInPolyYX(&in, &k0, &k1, &k2), 1);
  EXPECT_EQ(ZePtInPolyXY(&in, &k0, &k1, &k2), 0);
  EXPECT_EQ(ZePtInPoly(&out, &k0, &k1, &k2, &pl), 0);
  ZePlnEqn(&pl, &k0, &k2, &k1);  // the other winding, normal -z: member XY
  EXPECT_VEC4_NEAR(pl, (ZEVEC4{0, 0, -1, 0}), 0);
  EXPECT_EQ(ZePtInPoly(&in, &k0, &k2, &k1, &pl), 1);
  EXPECT_EQ(ZePtInPoly(&out, &k0, &k2, &k1, &pl), 0);
  // Edges and corners count as inside.
  ZEVEC edge = {0.5f, 0.5f, 0}, corner = {1, 0, 0};
  EXPECT_EQ(ZePtInPoly(&edge, &k0, &k2, &k1, &pl), 1);
  EXPECT_EQ(ZePtInPoly(&corner, &k0, &k2, &k1, &pl), 1);
  // A triangle with two coinciding corners holds nothing, not even them.
  EXPECT_EQ(ZePtInPolyXY(&k0, &k0, &k0, &k1), 0);
  EXPECT_EQ(ZePtInPolyYX(&k0, &k0, &k0, &k1), 0);
}

TEST(ZePlane, PointInTriangleOnEveryDominantAxis) {
  // The same triangle turned so that each axis dominates its normal, with
  // both windings: the centre is inside and a far point is not.
  const ZEVEC base[3] = {{0, 0, 0}, {2, 0.1f, 0.2f}, {0.1f, 2, -0.3f}};
  for (int axis = 0; axis < 3; axis++)
    for (int wind = 0; wind < 2; wind++) {
      ZEVEC k[3];
      for (int i = 0; i < 3; i++) {
        const ZEVEC& b = base[wind ? 2 - i : i];
        // Rotate the coordinates so base's z becomes the chosen axis.
        k[i] = axis == 2 ? b : axis == 0 ? ZEVEC{b.z, b.x, b.y} : ZEVEC{b.y, b.z, b.x};
      }
      ZEVEC4 pl;
      ZePlnEqn(&pl, &k[0], &k[1], &k[2]);
      ZEVEC c = {(k[0].x + k[1].x + k[2].x) / 3, (k[0].y + k[1].y + k[2].y) / 3, (k[0].z + k[1].z + k[2].z) / 3};
      ZEVEC far = k[1];
      ZeVecScale(&far, &far, 2);
      EXPECT_EQ(ZePtInPoly(&c, &k[0], &k[1], &k[2], &pl), 1) << axis << " " << wind;
      EXPECT_EQ(ZePtInPoly(&far, &k[0], &k[1], &k[2], &pl), 0) << axis << " " << wind;
    }
  // The six members on their own.
  ZEVEC p = {0.25f, 0.25f, 0.25f}, a = {0, 0, 0}, b = {1, 1, 1};
  ZEVEC cxy = {1, 0, 0}, cyz = {0, 1, 0}, cxz = {0, 0, 1};
  EXPECT_EQ(ZePtInPolyXY(&p, &a, &cyz, &cxy), 1);
  EXPECT_EQ(ZePtInPolyYX(&p, &a, &cxy, &cyz), 1);
  EXPECT_EQ(ZePtInPolyXZ(&p, &a, &cxz, &cxy), 1);
  EXPECT_EQ(ZePtInPolyZX(&p, &a, &cxy, &cxz), 1);
  EXPECT_EQ(ZePtInPolyYZ(&p, &a, &cxz, &cyz), 1);
  EXPECT_EQ(ZePtInPolyZY(&p, &a, &cyz, &cxz), 1);
  EXPECT_EQ(ZePtInPolyZY(&b, &a, &cyz, &cxz), 0);
}

TEST(ZePlane, TwoPlanesMeetOnALineThatLiesOnBoth) {
  ZEVEC point, dir;
  // 45 degrees apart, one with an x coefficient of 2e-4: pivoting on that
  // coefficient would give a point 8e-4 off the first plane.
  ZEVEC4 a = {0.70710677f, 0.70710677f, 0, -3.7f}, b = {2e-4f, 1, 0, 13.7f};
  EXPECT_EQ(ZePlnPlnIntersect(&a, &b, &point, &dir), 0);
  EXPECT_NEAR(Residual(a, point), 0, 1e-5);
  EXPECT_NEAR(Residual(b, point), 0, 1e-5);
  EXPECT_EQ(point.z, 0.0f);
  EXPECT_NEAR(std::fabs(dir.z), 1.0f, 1e-6);

  ZeTestRandom rnd;
  for (int k = 0; k < 200; k++) {
    ZEVEC n1 = rnd.Vec(1), n2 = rnd.Vec(1), c;
    ZeVecNorm(&n1, &n1);
    ZeVecNorm(&n2, &n2);
    ZeVecCross(&c, &n1, &n2);
    if (ZeVecMag(&c) < 0.1f) continue;
    float scale = k < 100 ? 10.0f : 1000.0f;
    a = {n1.x, n1.y, n1.z, rnd.Uniform(-scale, scale)};
    b = {n2.x, n2.y, n2.z, rnd.Uniform(-scale, scale)};
    ZePlnPlnIntersect(&a, &b, &point, &dir);
    double tol = 1e-5 * std::max(1.0f, ZeVecMag(&point));
    EXPECT_NEAR(Residual(a, point), 0, tol);
    EXPECT_NEAR(Residual(b, point), 0, tol);
    EXPECT_NEAR(ZeVecDot(&dir, &n1), 0, 1e-6);
    EXPECT_NEAR(ZeVecDot(&dir, &n2), 0, 1e-6);
    EXPECT_NEAR(ZeVecMag(&dir), 1, 1e-6);
  }
  // Parallel planes have no common line.
  a = {0, 1, 0, -1}, b = {0, 1, 0, -2};
  EXPECT_HALT(ZePlnPlnIntersect(&a, &b, &point, &dir), "Plane intersection test suspect.");
  errmsg_trap = 0;
}

TEST(ZePlane, DistanceFromPointToSegment) {
  ZEVEC a = {0, 0, 0}, b = {4, 0, 0}, c;
  struct {
    ZEVEC p, q;
  } cases[] = {
      {{6, 3, 0}, {4, 0, 0}},   // beyond b
      {{-2, 0, 1}, {0, 0, 0}},  // behind a
      {{1, 2, 2}, {1, 0, 0}},   // beside the middle
      {{4, 0, 5}, {4, 0, 0}},
  };
  for (const auto& k : cases) {
    float want = ZeVecDistSqr(&k.p, &k.q, nullptr);
    EXPECT_FLOAT_EQ(ZeLineToPointDistSqr(&a, &b, &k.p), want);
    EXPECT_FLOAT_EQ(ZeLineToPointDistSqrEx(&a, &b, &k.p, &c), want);
    EXPECT_VEC_NEAR(c, k.q, 1e-6);
  }
  ZEVEC p = {3, 4, 0};
  EXPECT_FLOAT_EQ(ZeLineToPointDistSqrEx(&a, &a, &p, &c), 25.0f);  // a segment of no length
  EXPECT_VEC_NEAR(c, a, 0);
}

TEST(ZePlane, BoxOutcodes) {
  ZEVEC lo = {-1, -2, -3}, hi = {1, 2, 3};
  struct {
    ZEVEC p;
    int code;
  } cases[] = {
      {{0, 0, 0}, 0},  {{1, 0, 0}, 1},       {{-1, 0, 0}, 8},  {{0, 2, 0}, 2},
      {{0, -5, 0}, 16}, {{0, 0, 3}, 4},      {{0, 0, -3}, 32}, {{5, 5, -5}, 1 | 2 | 32},
  };
  for (const auto& c : cases) EXPECT_EQ(ZePointRelToBoundingBox(&c.p, &hi, &lo), c.code);
  // The maximum is tested first: a flat box gives one bit of each pair.
  ZEVEC flat = {0, 0, 0};
  EXPECT_EQ(ZePointRelToBoundingBox(&flat, &flat, &flat), 1 | 2 | 4);
  EXPECT_HALT(ZePointRelToBoundingBox(nullptr, &hi, &lo), "assert");
  EXPECT_HALT(ZePointRelToBoundingBox(&flat, nullptr, &lo), "assert");
  EXPECT_HALT(ZePointRelToBoundingBox(&flat, &hi, nullptr), "assert");
  errmsg_trap = 0;
}

TEST(ZePlane, ClipAgainstAxisPlanes) {
  ZEVEC p = {1, 2, 3}, d = {2, 4, -1}, out;
  float c = 5;
  ZeClipXPlane(&out, &p, &d, &c);
  EXPECT_VEC_NEAR(out, (ZEVEC{5, 10, 1}), 1e-6);
  ZeClipXPlane(&out, &p, &d, nullptr);
  EXPECT_VEC_NEAR(out, (ZEVEC{0, 0, 3.5f}), 1e-6);
  ZeClipYPlane(&out, &p, &d, nullptr);  // null: y = 0
  EXPECT_VEC_NEAR(out, (ZEVEC{0, 0, 3.5f}), 1e-6);
  ZeClipZPlane(&out, &p, &d, &c);
  EXPECT_VEC_NEAR(out, (ZEVEC{-3, -6, 5}), 1e-6);
  out = p;
  ZeClipYPlane(&out, &out, &d, &c);  // the output may be the point
  EXPECT_VEC_NEAR(out, (ZEVEC{2.5f, 5, 2.25f}), 1e-6);
}
