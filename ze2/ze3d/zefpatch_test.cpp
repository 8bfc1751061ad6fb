// Fractal patches: the split against the Hermite function, shared edges of
// neighbouring patches, the three cell extractions against each other, the
// tessellations, collision, the shadow cast and the lighting helpers.
#include "platform_test.h"
#include "ze3d.h"

#include <cmath>
#include <cstring>
#include <random>

namespace {

struct FPatch : testing::Test {
  void SetUp() override { ZeTrigInit(); }
};

// These two run first: the noise table and the remembered buffer are made
// once for the program.
TEST_F(FPatch, TheFirstSplitMakesTheNoiseTableFromSeed17) {
  ZeRandSeed(99);
  ZEFPATCH p, c[4];
  memset(&p, 0, sizeof p);
  ZeFPatchSplit(&p, c, 1.0f);
  const int64_t after = ZeRandReadSeed();
  ZeRandSeed(17);
  for (int i = 0; i < 1024; i++) ZeRandFloat();
  EXPECT_EQ(after, ZeRandReadSeed());  // the shared generator advanced 1,024 draws
}

TEST_F(FPatch, FastCellsBeforeAnyBufferAreFatal) {
  ZEFPATCH p, out;
  memset(&p, 0, sizeof p);
  float heights[ZEFPATCH_HEIGHTS] = {};
  EXPECT_HALT(ZeFPatchHeightFieldIndexFast(&p, heights, 0, &out), "no height-field buffer");
}

// The height function in double.
double Hermite(const ZEFPATCH& p, double s, double t) {
  auto a = [](double x) { return 2 * x * x * x - 3 * x * x + 1; };
  auto b = [](double x) { return x * x * x - 2 * x * x + x; };
  auto c = [](double x) { return -2 * x * x * x + 3 * x * x; };
  auto d = [](double x) { return x * x * x - x * x; };
  const double G[4] = {b(s), a(s), d(s), c(s)}, F[4] = {a(t), b(t), d(t), c(t)};
  double h = 0;
  for (int r = 0; r < 4; r++)
    for (int k = 0; k < 4; k++) h += F[r] * double(p.h[r][k]) * G[k];
  return h;
}

ZEFPATCH RandomPatch(std::mt19937& rng) {
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  ZEFPATCH p;
  memset(&p, 0, sizeof p);
  for (auto& row : p.h)
    for (float& x : row) x = u(rng) * 10;
  for (int k = 0; k < 4; k++) {
    p.base[k] = {float(k & 1) * 100 + u(rng) * 20, float(k >> 1) * 100 + u(rng) * 20, u(rng) * 5, 1};
    p.disp[k] = {u(rng) * 0.1f, u(rng) * 0.1f, 1 + u(rng) * 0.1f, 0};
    p.attr[k] = {float(k & 1), float(k >> 1), 1.0f, 0.25f + u(rng) * 0.2f};
  }
  p.tex[0] = 7;
  p.tex[1] = 9;
  return p;
}

TEST_F(FPatch, ChildrenAreTheParentAtMappedParameters) {
  std::mt19937 rng(5);
  for (int n = 0; n < 50; n++) {
    ZEFPATCH p = RandomPatch(rng), c[4];
    ZeFPatchSplit(&p, c, 0.0f);
    // Child 0 low u low v, 1 low u high v, 2 high u low v, 3 high u high v.
    const double du[4] = {0, 0, 0.5, 0.5}, dv[4] = {0, 0.5, 0, 0.5};
    for (int k = 0; k < 4; k++)
      for (double s = 0; s <= 1.0; s += 0.25)
        for (double t = 0; t <= 1.0; t += 0.25) {
          ASSERT_NEAR(Hermite(c[k], s, t), Hermite(p, du[k] + s / 2, dv[k] + t / 2), 1e-4) << k << " " << s << " " << t;
          ZEVEC a, b;
          getPoint(&a, &c[k], float(s), float(t), 0.0f);
          getPoint(&b, &p, float(du[k] + s / 2), float(dv[k] + t / 2), 0.0f);
          ASSERT_NEAR(a.x, b.x, 1e-3f);
          ASSERT_NEAR(a.y, b.y, 1e-3f);
        }
    EXPECT_EQ(c[3].tex[1], 9);
  }
}

TEST_F(FPatch, TheNoiseTableAndTheSplitDisplacement) {
  const ZEVEC4* noise = ZeFPatchGetNoise();
  for (int i = 0; i < 256; i++) {
    EXPECT_EQ(noise[i].x, 0.0f);
    EXPECT_EQ(noise[i].w, 0.0f);
    EXPECT_EQ(noise[i].y, noise[i].z);
    EXPECT_GE(noise[i].z, -0.35f);
    EXPECT_LT(noise[i].z, 0.35f);
  }
  // A flat patch split with scale 2: each vertex moves by 2 x the noise of
  // its seed's low byte, the same in every child that shares it.
  ZEFPATCH p;
  memset(&p, 0, sizeof p);
  const uint32_t seeds[4] = {0x3e000011, 0x3e000022, 0x3e000033, 0x3e000044};
  for (int k = 0; k < 4; k++) memcpy(&p.attr[k].w, &seeds[k], 4);
  ZEFPATCH c[4];
  ZeFPatchSplit(&p, c, 2.0f);
  EXPECT_EQ(c[0].h[0][1], 2.0f * noise[0x11].z);
  EXPECT_EQ(c[2].h[0][3], 2.0f * noise[0x22].z);
  EXPECT_EQ(c[1].h[3][1], 2.0f * noise[0x33].z);
  float centre = c[0].attr[3].w;
  uint32_t bits;
  memcpy(&bits, &centre, 4);
  EXPECT_EQ(c[0].h[3][3], 2.0f * noise[bits & 0xff].z);
  EXPECT_EQ(c[1].h[0][3], c[0].h[3][3]);
  EXPECT_EQ(c[2].h[3][1], c[0].h[3][3]);
  EXPECT_EQ(c[3].h[0][1], c[0].h[3][3]);
  // Twists are not displaced.
  EXPECT_EQ(c[0].h[1][0], 0.0f);
}

// Two patches of a generated world that share an edge, each moved into a
// frame of its own, split three times there, and moved back: shared grid
// vertices agree in place and height.
TEST_F(FPatch, NeighboursSplitInTheirOwnFramesMatchAtSharedVertices) {
  int count = 0;
  ZEFPATCH* world = ZeFPatchGenerateWorld(2, &count, 1000);
  ASSERT_EQ(count, 24);
  // Child 2 of face 0 and child 1 of face 2 share the cube edge x = z = k, y < 0.
  const ZEFPATCH* pair[2] = {&world[2], &world[9]};
  struct Vtx {
    ZEVEC pos;
    float h;
  };
  std::vector<Vtx> got[2];
  for (int w = 0; w < 2; w++) {
    ZEMTX m;
    ZEANGVEC a = {0x1234 * (w + 1), -0x777 * (w + 2), 0x2000 * w};
    ZeMtxSetRotateXYZ(&m, &a);
    m.m[3][0] = 500.0f * float(w + 1);
    m.m[3][1] = -300.0f;
    m.m[3][2] = 77.0f * float(w);
    ZEFPATCH local = *pair[w];
    for (int k = 0; k < 4; k++) {
      ZEVEC b = {local.base[k].x, local.base[k].y, local.base[k].z}, d = {local.disp[k].x, local.disp[k].y, local.disp[k].z};
      ZeVecMtxTransform(&b, &b, &m);
      ZeVecMtxRotate(&d, &d, &m);
      local.base[k] = {b.x, b.y, b.z, 1};
      local.disp[k] = {d.x, d.y, d.z, 0};
    }
    std::vector<ZEFPATCH> out(64);
    ZEFPATCH* o = out.data();
    ZeFPatchTesselateGrid(4, &local, &o, 1.0f, 40.0f, 1.0f);
    ASSERT_EQ(o, out.data() + 64);
    ZEMTX inv;
    ZeMtxInv(&inv, &m);
    for (const ZEFPATCH& q : out)
      for (int k = 0; k < 4; k++) {
        ZEVEC b = {q.base[k].x, q.base[k].y, q.base[k].z};
        ZeVecMtxTransform(&b, &b, &inv);
        static constexpr int HR[4] = {0, 0, 3, 3}, HC[4] = {1, 3, 1, 3};
        got[w].push_back({b, q.h[HR[k]][HC[k]]});
      }
  }
  int shared = 0;
  for (const Vtx& a : got[0])
    for (const Vtx& b : got[1])
      if (ZeVecDist(&a.pos, &b.pos, nullptr) < 0.01f) {
        shared++;
        ASSERT_NEAR(a.h, b.h, 1e-4f);
      }
  EXPECT_GE(shared, 9 * 2);  // nine vertices along the edge, some seen in two cells
  ZeMemFreeTagged(world);
}

// The fast and index forms against the slow one over every cell of seeded
// patches: corners and seeds agree; u and v are the whole patch's in the
// fast and index forms.
TEST_F(FPatch, TheThreeCellExtractionsAgree) {
  std::mt19937 rng(77);
  std::uniform_real_distribution<float> u(-3.0f, 3.0f);
  alignas(16) static ZEFPATCHHF buffer[81];
  float heights[ZEFPATCH_HEIGHTS];
  for (int n = 0; n < 10; n++) {
    ZEFPATCH p = RandomPatch(rng);
    for (float& h : heights) h = u(rng);
    ZeFPatchMakeHeightFieldBuffer(&p, buffer);
    for (int cell = 0; cell < 64; cell++) {
      ZEFPATCH slow, fast, idx;
      ZeFPatchHeightFieldIndexSlow(&p, heights, cell, &slow);
      ZeFPatchHeightFieldIndexFast(&p, heights, cell, &fast);
      ZeFPatchHeightFieldIndex(&p, heights, cell, &idx);
      ASSERT_EQ(memcmp(slow.h, fast.h, 64), 0);
      ASSERT_EQ(memcmp(idx.h, fast.h, 64), 0);
      ASSERT_EQ(memcmp(slow.base, fast.base, 64), 0) << cell;
      ASSERT_EQ(memcmp(slow.disp, fast.disp, 64), 0) << cell;
      ASSERT_EQ(memcmp(idx.base, fast.base, 128), 0);
      ASSERT_EQ(memcmp(idx.attr, fast.attr, 64), 0);
      ASSERT_EQ(memcmp(fast.tex, p.tex, 16), 0);
      for (int k = 0; k < 4; k++) {
        ASSERT_EQ(memcmp(&slow.attr[k].w, &fast.attr[k].w, 4), 0);
        ASSERT_EQ(fast.attr[k].x, p.attr[k].x);
        ASSERT_EQ(slow.attr[k].x, float((cell & 7) + (k & 1)) / 8.0f);
        ASSERT_EQ(slow.attr[k].y, float((cell >> 3) + (k >> 1)) / 8.0f);
      }
      const int x = cell & 7, y = cell >> 3;
      ASSERT_EQ(fast.h[0][1], heights[y * 9 + x]);
      ASSERT_EQ(fast.h[3][2], heights[81 + (y + 1) * 9 + x + 1]);
      ASSERT_EQ(fast.h[2][3], heights[162 + (y + 1) * 9 + x + 1]);
    }
  }
  // Cells 0, 7 and 56: low u and v, high u, high v.
  ZEFPATCH p = RandomPatch(rng), c;
  ZeFPatchMakeHeightFieldBuffer(&p, buffer);
  ZeFPatchHeightFieldIndexFast(&p, heights, 0, &c);
  EXPECT_EQ(memcmp(&c.base[0], &p.base[0], 16), 0);
  ZeFPatchHeightFieldIndexFast(&p, heights, 7, &c);
  EXPECT_EQ(memcmp(&c.base[1], &p.base[1], 16), 0);
  ZeFPatchHeightFieldIndexFast(&p, heights, 56, &c);
  EXPECT_EQ(memcmp(&c.base[2], &p.base[2], 16), 0);
}

TEST_F(FPatch, TessellationsAndTheWorld) {
  int count = 0;
  ZEFPATCH* w1 = ZeFPatchGenerateWorld(1, &count, 100);
  EXPECT_EQ(count, 6);
  ZeMemFreeTagged(w1);
  ZEFPATCH* w3 = ZeFPatchGenerateWorld(3, &count, 5000);
  EXPECT_EQ(count, 96);
  for (int i = 0; i < count; i++)
    for (int k = 0; k < 4; k++) {
      ZEVEC b = {w3[i].base[k].x, w3[i].base[k].y, w3[i].base[k].z};
      ASSERT_NEAR(ZeVecMag(&b), 5000.0f, 0.05f);
      ZEVEC d = {w3[i].disp[k].x, w3[i].disp[k].y, w3[i].disp[k].z};
      ASSERT_NEAR(ZeVecMag(&d), 5000.0f * 0.25f, 0.05f);  // height scale halves per split
      ASSERT_EQ(w3[i].attr[k].x, float(k & 1));
      ASSERT_EQ(w3[i].base[k].w, 1.0f);
    }
  ZeMemFreeTagged(w3);
  // Positions scaled with w; one level copies the patch.
  std::mt19937 rng(1);
  ZEFPATCH p = RandomPatch(rng), out[2];
  ZEFPATCH* o = out;
  ZeFPatchTesselateGrid(1, &p, &o, 2.0f, 1.0f, 1.0f);
  EXPECT_EQ(o, out + 1);
  EXPECT_EQ(out[0].base[3].w, 2.0f);
  EXPECT_EQ(memcmp(out[0].h, p.h, 64), 0);
}

TEST_F(FPatch, Collision) {
  std::mt19937 rng(3);
  ZEFPATCH p = RandomPatch(rng);
  float su = 123, sv = 456;
  // One level at the centre: the centre vertex (child 0's corner 3).
  ZEFPATCH c[4];
  ZeFPatchSplit(&p, c, 0.47f);
  EXPECT_EQ(ZeFPatchCollide(&p, 1, &su, &sv, 5, 0.5f, 0.5f, 1.0f), c[0].h[3][3]);
  EXPECT_EQ(su, 123);  // slope level beyond the levels: untouched
  EXPECT_EQ(sv, 456);
  // No levels: the nearest corner of the patch.
  EXPECT_EQ(ZeFPatchCollide(&p, 0, &su, &sv, 0, 0.9f, 0.1f, 1.0f), p.h[0][3]);
  EXPECT_EQ(ZeFPatchCollide(&p, 0, &su, &sv, 0, 0.2f, 0.6f, 1.0f), p.h[3][1]);
  // Slopes at level 0 after one split: the nearest corner's tangents x 2.
  ZeFPatchCollide(&p, 1, &su, &sv, 0, 0.1f, 0.2f, 1.0f);
  EXPECT_EQ(su, c[0].h[0][0] * 2);
  EXPECT_EQ(sv, c[0].h[1][1] * 2);
}

TEST_F(FPatch, TheShadowCastFindsTheParameters) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> u(0.05f, 0.95f);
  for (int n = 0; n < 20; n++) {
    ZEFPATCH p = RandomPatch(rng);
    const float s0 = u(rng), t0 = u(rng), h0 = u(rng) * 10;
    ZEVEC pt;
    getPoint(&pt, &p, s0, t0, h0);
    float s, t;
    ZEVEC tu, tv;
    ZeFPatchShadowCastGetUVs(&p, &pt, &s, &t, &tu, &tv);
    EXPECT_NEAR(s, s0, 1e-3f);
    EXPECT_NEAR(t, t0, 1e-3f);
    ZEVEC out, normal;
    float height;
    ZeFPatchShadowCast(&p, &pt, &out, &height, 2, &normal, 1, 1.0f, 1.0f);
    ZEVEC expect;
    getPoint(&expect, &p, s, t, height);
    EXPECT_NEAR(out.x, expect.x, 1e-3f);
    EXPECT_NEAR(ZeVecMag(&normal), 1.0f, 1e-4f);
  }
}

TEST_F(FPatch, Lighting) {
  const ZEVEC light = {0.0f, 0.6f, 0.8f};
  EXPECT_FLOAT_EQ(ZeFPatchLightPoint(&light, 100.0f, 10.0f, 0, 0), 0.8f * 100 + 10);
  EXPECT_EQ(ZeFPatchLightPoint(&light, 1000.0f, 10.0f, 0, 0), 255.0f);
  ZETEX img;
  ZeFPatchLightTexture(&img, 3, &light, 1.0f, 200.0f, 5.0f);
  EXPECT_EQ(img.type, ZETEX_RGBA32);
  // The middle texel: zero slopes.
  EXPECT_EQ(img.texels[(1 * 3 + 1) * 4], uint8_t(EeFtoi(0.8f * 200 + 5)));
  EXPECT_EQ(img.texels[(1 * 3 + 1) * 4 + 3], img.texels[(1 * 3 + 1) * 4]);
  ZeMemFreeTagged(img.texels.get());
  ZeFPatchUpdateLight();
}

TEST_F(FPatch, LevelsBelowOneAndSizeOneAreFatal) {
  std::mt19937 rng(2);
  ZEFPATCH p = RandomPatch(rng), out[4];
  ZEFPATCH* o = out;
  int count;
  ZETEX img;
  const ZEVEC light = {0, 0, 1};
  EXPECT_HALT(ZeFPatchTesselateGrid(0, &p, &o, 1, 1, 1), "0 levels");
  EXPECT_HALT(ZeFPatchTesselateSphere(-1, &p, &o, 1), "-1 levels");
  EXPECT_HALT(ZeFPatchGenerateWorld(0, &count, 10), "0 levels");
  EXPECT_HALT(ZeFPatchLightTexture(&img, 1, &light, 1, 1, 0), "size 1");
}

}  // namespace
