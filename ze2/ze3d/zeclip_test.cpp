// The homogeneous triangle clipper: rejection, each plane, attributes.
#include "ze3d_test.h"

#include <random>

namespace {

// A clip point whose attributes are affine in its position, so that every
// point the clipper makes must keep them so: attr0 = pos, attr1 = 2 pos +
// (1, 2, 3, 4), attr2 = (x + y, z - w, 7, x).
ZECLIPPOINT Pt(float x, float y, float z, float w) {
  ZECLIPPOINT p;
  p.pos = {x, y, z, w};
  p.attr[0] = p.pos;
  p.attr[1] = {2 * x + 1, 2 * y + 2, 2 * z + 3, 2 * w + 4};
  p.attr[2] = {x + y, z - w, 7.0f, x};
  return p;
}

void ExpectAttributesFollow(const ZECLIPPOINT& p, float tol) {
  const ZECLIPPOINT want = Pt(p.pos.x, p.pos.y, p.pos.z, p.pos.w);
  const float* a = &p.attr[0].x;
  const float* b = &want.attr[0].x;
  for (int i = 0; i < 12; i++) EXPECT_NEAR(a[i], b[i], tol) << "attribute float " << i;
}

// Inside the five clipping planes (the far plane is not one of them).
void ExpectInside(const ZEVEC4& p, float tol) {
  EXPECT_GE(p.z, -p.w - tol);
  EXPECT_GE(p.x, -p.w - tol);
  EXPECT_LE(p.x, p.w + tol);
  EXPECT_LE(p.y, p.w + tol);
  EXPECT_GE(p.y, -p.w - tol);
}

}  // namespace

TEST(Clipper, TrianglesWhollyBeyondOnePlaneAreRejected) {
  struct Case {
    const char* name;
    ZECLIPPOINT a, b, c;
  } cases[] = {
      {"x > w", Pt(2, 0, 0, 1), Pt(3, 1, 0, 1), Pt(5, -1, 0, 2)},
      {"x < -w", Pt(-2, 0, 0, 1), Pt(-3, 1, 0, 1), Pt(-5, -1, 0, 2)},
      {"y > w", Pt(0, 2, 0, 1), Pt(1, 3, 0, 1), Pt(-1, 5, 0, 2)},
      {"y < -w", Pt(0, -2, 0, 1), Pt(1, -3, 0, 1), Pt(-1, -5, 0, 2)},
      {"z < -w", Pt(0, 0, -2, 1), Pt(0.5f, 0, -3, 1), Pt(0, 0.5f, -5, 2)},
      // Beyond different planes: rejected by none, clipped to nothing.
  };
  for (const Case& c : cases) EXPECT_EQ(ClipDrawTriangle(&c.a, &c.b, &c.c), 0) << c.name;
}

TEST(Clipper, BeyondTheFarPlaneIsNeitherRejectedNorClipped) {
  const ZECLIPPOINT a = Pt(0, 0, 5, 1), b = Pt(0.5f, 0, 6, 1), c = Pt(0, 0.5f, 9, 2);
  ASSERT_EQ(ClipDrawTriangle(&a, &b, &c), 3);
  const ZECLIPPOINT* out = ClipDrawPoints();
  EXPECT_EQ(0, memcmp(&out[0], &a, sizeof a));
  EXPECT_EQ(0, memcmp(&out[1], &b, sizeof b));
  EXPECT_EQ(0, memcmp(&out[2], &c, sizeof c));
}

TEST(Clipper, OneVertexBehindTheNearPlaneMakesAQuadrilateral) {
  // Point 1 lies behind z = -w; the others are well inside.
  const ZECLIPPOINT a = Pt(0, 0, 0, 1), b = Pt(0, 0.5f, -3, 1), c = Pt(0.5f, 0, 0, 1);
  ASSERT_EQ(ClipDrawTriangle(&a, &b, &c), 4);
  const ZECLIPPOINT* out = ClipDrawPoints();
  // a, the cut on a-b (t = 1/3), the cut on b-c (t = 2/3 from b), c.
  EXPECT_EQ(0, memcmp(&out[0], &a, sizeof a));
  EXPECT_NEAR(out[1].pos.y, 0.5f / 3.0f, 1e-6f);
  EXPECT_NEAR(out[1].pos.z, -1.0f, 1e-6f);
  EXPECT_NEAR(out[2].pos.x, 0.5f * 2.0f / 3.0f, 1e-6f);
  EXPECT_NEAR(out[2].pos.z, -1.0f, 1e-6f);
  EXPECT_EQ(0, memcmp(&out[3], &c, sizeof c));
  for (int i = 0; i < 4; i++) ExpectAttributesFollow(out[i], 1e-5f);
}

TEST(Clipper, ATriangleCutByEveryPlaneKeepsItsAttributesOnThePositionsT) {
  // A large triangle reaching past the near plane and all four sides.
  const ZECLIPPOINT a = Pt(-0.5f, 1.5f, 0.5f, 1), b = Pt(-2, 1.5f, -1.5f, 1), c = Pt(2, -2, 0.5f, 1);
  const int n = ClipDrawTriangle(&a, &b, &c);
  ASSERT_EQ(n, 7);
  ASSERT_LE(n, ZECLIP_MAX_POINTS);
  const ZECLIPPOINT* out = ClipDrawPoints();
  bool onPlane[5] = {};
  for (int i = 0; i < n; i++) {
    ExpectInside(out[i].pos, 1e-5f);
    ExpectAttributesFollow(out[i], 1e-4f);
    const ZEVEC4& p = out[i].pos;
    onPlane[0] |= std::fabs(p.z + p.w) < 1e-5f;
    onPlane[1] |= std::fabs(p.x + p.w) < 1e-5f;
    onPlane[2] |= std::fabs(p.x - p.w) < 1e-5f;
    onPlane[3] |= std::fabs(p.y - p.w) < 1e-5f;
    onPlane[4] |= std::fabs(p.y + p.w) < 1e-5f;
  }
  for (int k = 0; k < 5; k++) EXPECT_TRUE(onPlane[k]) << "no point on plane " << k;
}

TEST(Clipper, SeededTrianglesStayInsideWithAttributesOnTheirT) {
  std::mt19937 rng(2817);
  std::uniform_real_distribution<float> u(-3.0f, 3.0f), w(0.2f, 2.0f);
  int clipped = 0, rejected = 0;
  for (int t = 0; t < 2000; t++) {
    ZECLIPPOINT p[3];
    for (auto& q : p) q = Pt(u(rng), u(rng), u(rng), w(rng));
    const int n = ClipDrawTriangle(&p[0], &p[1], &p[2]);
    ASSERT_LE(n, ZECLIP_MAX_POINTS);
    if (n == 0) rejected++;
    if (n > 3) clipped++;
    const ZECLIPPOINT* out = ClipDrawPoints();
    for (int i = 0; i < n; i++) {
      ExpectInside(out[i].pos, 1e-4f);
      ExpectAttributesFollow(out[i], 1e-3f);
    }
  }
  EXPECT_GT(clipped, 100);
  EXPECT_GT(rejected, 100);
}
