// Shadows: the store, the light and its bend near the camera, the fans and
// grids, the stencil choice, and volumes drawn on the GS model.
#include "zelgt_test.h"

namespace {

using Shadow = Light;

constexpr uint32_t FLOOR = 0x80808080;  // alpha 0x80: the composite's destination-alpha test passes

ZESHADCYL Cylinder(ZEVEC c, ZEVEC a1, ZEVEC a2, ZEVEC a3, bool capped) {
  ZESHADCYL r{};
  const float f[16] = {c.x, c.y, c.z, a1.x, a1.y, a1.z, a2.x, a2.y, a2.z, 0, a3.x, a3.y, a3.z, 0, 0, 0};
  memcpy(r.words, f, sizeof f);
  r.words[0] = (r.words[0] & ~1u) | (capped ? 1u : 0u);
  r.words[1] &= ~2u;
  return r;
}

ZESHADSTORE* Entry(ZESHADCYL* c, const ZEMTX* m, ZEVEC light, int alpha, int group) {
  ZESHADSTORE* e = ZeRndrAddShadowCylinder(c, m, 1);
  e->light = light;
  e->alpha = alpha;
  e->fade = 20.0f, e->fadefar = 30.0f;
  e->group = uint8_t(group);
  return e;
}

TEST_F(Shadow, LightColourAndTheStore) {
  // R, G, B halved; alpha doubled, its top bit dropped.
  struct {
    uint32_t in, out;
  } cases[] = {{0x10808080, 0x20404040}, {0x80ffffff, 0x007f7f7f}, {0xc0020406, 0x80010203}};
  const ZEVEC d = {0, -1, 0};
  for (auto& c : cases) {
    ZeRndrShadowDirCol(&d, c.in, 1, 2);
    EXPECT_EQ(curlightcol, c.out) << std::hex << c.in;
  }
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  ZESHADCYL cyl{};
  for (int i = 0; i < ZESHAD_STORE; i++) ASSERT_NE(ZeRndrAddShadowCylinder(&cyl, &m, 1), nullptr);
  EXPECT_EQ(ZeRndrAddShadowEllips(nullptr, &m, 1), nullptr) << "the 257th entry is dropped";
  EXPECT_EQ(shadstorecnt, ZESHAD_STORE);
}

TEST_F(Shadow, TheLightBendsDownNearTheCamera) {
  const ZEVEC camz = {0, 0, 1};
  struct Case {
    float dist;
    ZEVEC light, want;
    int alpha, on;
  } cases[] = {
      {5.0f, {1, 0, 0}, {1, 0, 0}, 100, 1},  // beyond 4.75: unchanged
      // Within 2.75: straight down, then s = (0 - 0.25) x 2.25 + 1 = 0.4375
      // scales it and the alpha (x 2s).
      {2.5f, {1, 0, 0}, {0, -0.4375f, 0}, 87, 1},
      // c = -1: f = (4 - 2.75) / 2 = 0.625 towards down, (0, -0.375, -0.625);
      // s = (-0.625 - 0.25) x 0.75 + 1 = 0.34375.
      {4.0f, {0, 0, -1}, {0, -0.375f * 0.34375f, -0.625f * 0.34375f}, 68, 1},
      {4.0f, {0, 0, 1}, {0, 0, 1}, 100, 1},  // c = 1: s = 1.5625, limited to 1
      // A strong light against the view: (0, -0.375, -1.25), s < 0: off.
      {4.0f, {0, 0, -2}, {0, -0.375f, -1.25f}, 100, 0},
  };
  for (const Case& c : cases) {
    ZEVEC l = c.light;
    int alpha = 100;
    EXPECT_EQ(ZeRndrShadowBend(&l, &alpha, c.dist * c.dist, &camz), c.on) << c.dist;
    if (!c.on) continue;
    EXPECT_NEAR(l.x, c.want.x, 1e-5f) << c.dist;
    EXPECT_NEAR(l.y, c.want.y, 1e-5f) << c.dist;
    EXPECT_NEAR(l.z, c.want.z, 1e-5f) << c.dist;
    EXPECT_EQ(alpha, c.alpha) << c.dist;
  }
}

TEST_F(Shadow, LightFanIsARingAtRightAnglesToTheLight) {
  alignas(16) uint32_t buf[32 * 4];
  struct {
    ZEVEC in;
    float wantY;
  } cases[] = {{{0, 0, 1}, -0.70710678f}, {{0, -1, 0}, -1.0f}, {{1, -0.2f, 0}, -0.70710678f}};
  for (auto& c : cases) {
    ZEVEC l = c.in;
    EXPECT_EQ(ZeRndrShadowLightFanAddr(&l, buf), buf);
    EXPECT_NEAR(l.y, c.wantY, 1e-4f) << "pitch at least 45 degrees";
    EXPECT_NEAR(l.x * l.x + l.y * l.y + l.z * l.z, 1.0f, 1e-4f);
    for (int k = 0; k < 9; k++) {
      const ZEVEC& d = lightfan[k];
      EXPECT_NEAR(d.x * d.x + d.y * d.y + d.z * d.z, 1.0f, 1e-4f);
      EXPECT_NEAR(d.x * l.x + d.y * l.y + d.z * l.z, 0.0f, 1e-4f);
    }
    EXPECT_EQ(lightfan[8].x, lightfan[0].x);
  }
  // The packet: ret tag, the header, then 10 quadwords to relative 3.
  EXPECT_EQ(buf[0] >> 28 & 7, 6u);
  EXPECT_EQ(buf[4], 0x6C010056u);
}

TEST_F(Shadow, DistortionGridsFromTheRandomBytes) {
  std::vector<uint8_t> bytes(20 + 4 * 21 * 33, 0);
  for (size_t i = 0; i < bytes.size(); i++) bytes[i] = uint8_t(i * 7);
  ZeRndrShadowInit(bytes.data());
  // Column by column: entry (row r, column c) takes bytes 20 + 2 (c x rows + r).
  const int rows = (ZePower2(224) >> 4) + 1;
  for (int c : {0, 5, 20})
    for (int r : {0, 7, rows - 1}) {
      const size_t at = 20 + 2 * size_t(c * rows + r);
      EXPECT_EQ(watertab[r * 21 + c][2], bytes[at] * 5 + 256);
      EXPECT_EQ(watertab[r * 21 + c][3], bytes[at + 1] * 5 + 256);
      const size_t hz = at + 2 * size_t(21 * rows);
      EXPECT_EQ(Hazetab[r * 21 + c][2], bytes[hz] * 8 + 128);
      EXPECT_EQ(Hazetab[r * 21 + c][0], 0);
    }
}

TEST_F(Shadow, StencilChoice) {
  const ZEVEC player = {0, 0, 0};
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  ZESHADCYL cyl{};
  ZeRndrAddShadowCylinder(&cyl, &m, 1);
  // No masks: the whole frame.
  ZeRndrShadowStencil(0, &player);
  EXPECT_EQ(ZeRndrShadBox[1].x, 640.0f * 16);
  EXPECT_EQ(shadstorecnt, 1);
  // A mask far from the player empties the store.
  ZEVEC pts[6] = {{30, 0, 0}, {31, 0, 0}, {29, 1, 1}, {31, 1, 1}, {31, -1, 1}, {29, -1, 1}};
  ZESPLINE sp{};
  sp.count = 6;
  sp.ptsize = 12;
  sp.points = reinterpret_cast<uint8_t*>(pts);
  ZeRndrShadMasks[0] = &sp;
  ZeRndrShadMaskCount = 1;
  ZeRndrShadowStencil(0, &player);
  EXPECT_EQ(shadstorecnt, 0);
  // Near: the box bounds the outline's projection and the light leans away.
  for (ZEVEC& p : pts) p.x -= 28.0f;
  ZeRndrAddShadowCylinder(&cyl, &m, 1);
  ZeRndrShadowStencil(0, &player);
  EXPECT_EQ(shadstorecnt, 1);
  EXPECT_LT(ZeRndrShadBox[0].x, ZeRndrShadBox[1].x);
  EXPECT_GT(ZeRndrShadBox[0].x, 320.0f * 16) << "the outline lies right of the centre";
  EXPECT_FLOAT_EQ(curlight.y, -0.2f);
  EXPECT_EQ(curlightcol, 0x101010u);
}

// Pictures. A wall 1.5 behind a shape's square (view distance 11.5); the
// square's volume reaches the wall and darkens it where the wall lies
// inside. Catches: colour counting that clamps under COLCLAMP 0 (the back
// faces' -1 is +255 wrapping), per-bit FBMSK (only the group's alpha bits
// and the colours' top bits are kept), the depth test against the reduced
// depth copy.
TEST_F(Shadow, CylinderShadowOnAWall) {
  shadows = true;
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  // The square x, y in -1..1 at z 0, extruded along the fan's light: 45
  // degrees down, away from the camera, times 4.
  ZESHADCYL cyl = Cylinder({0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 1, 0}, false);
  Entry(&cyl, &m, {0, 0, 1}, 0x40, 1);
  const uint32_t zw = DepthAt(11.5f);
  const uint64_t f = Frame([&] { Wall(0, 0, 640, 224, FLOOR, zw); }, FLOOR);
  Grab(f, 240, 40, 160, 144, "shadow_cylinder");
  int x, y;
  Screen({0.0f, -1.5f, 1.5f}, &x, &y);
  EXPECT_EQ(Px(f, x, y), 0x606060u) << "inside: 0x80 less (0x40 x alpha 0x40) / 128";
  Screen({0.0f, 0.6f, 1.5f}, &x, &y);
  EXPECT_EQ(Px(f, x, y), 0x808080u) << "behind the square's front, but outside its volume";
  Screen({3.0f, -1.5f, 1.5f}, &x, &y);
  EXPECT_EQ(Px(f, x, y), 0x808080u);
  EXPECT_EQ(shadstorecnt, 0) << "the pass empties the store";
}

TEST_F(Shadow, TwoOverlappingGroupsOfDifferentAlpha) {
  shadows = true;
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  ZEMTX m2 = m;
  m2.m[3][0] = 1.0f;
  ZESHADCYL a = Cylinder({0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 1, 0}, true);
  ZESHADCYL b = a;
  Entry(&a, &m, {0, 0, 1}, 0x40, 1);
  Entry(&b, &m2, {0, 0, 1}, 0x20, 2);
  const uint64_t f = Frame([&] { Wall(0, 0, 640, 224, FLOOR, DepthAt(11.5f)); }, FLOOR);
  Grab(f, 240, 40, 160, 144, "shadow_two_groups");
  int x, y;
  Screen({-0.6f, -1.5f, 1.5f}, &x, &y);
  EXPECT_EQ(Px(f, x, y), 0x606060u) << "group 1 alone";
  Screen({1.6f, -1.5f, 1.5f}, &x, &y);
  EXPECT_EQ(Px(f, x, y), 0x707070u) << "group 2 alone";
  Screen({0.5f, -1.5f, 1.5f}, &x, &y);
  EXPECT_EQ(Px(f, x, y), 0x505050u) << "both: alpha bits 0x60";
}

TEST_F(Shadow, OverheadLightCastsStraightDownToTheFloorHeight) {
  shadows = true;
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  // A flat square x, z in -1..1 at y 0; the overhead volume reaches y = -1.
  ZESHADCYL cyl = Cylinder({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, false);
  Entry(&cyl, &m, {65536.0f, -1.0f, 0}, 0x40, 1);
  const uint64_t f = Frame([&] { Wall(0, 0, 640, 224, FLOOR, DepthAt(10.5f)); }, FLOOR);
  Grab(f, 240, 40, 160, 144, "shadow_overhead");
  int x, y;
  Screen({0.0f, -0.5f, 0.5f}, &x, &y);
  EXPECT_EQ(Px(f, x, y), 0x606060u) << "inside the volume";
  Screen({0.0f, -1.5f, 0.5f}, &x, &y);
  EXPECT_EQ(Px(f, x, y), 0x808080u) << "below the floor height";
}

TEST_F(Shadow, DamagedMeshRecordsAreRefused) {
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  ZESHADPOLY polys[1] = {{{0, 1, 0}, 20}};
  ZESHADVTX verts[20] = {};
  verts[0].w = 1;
  const ZEVEC light = {0, -1, 0};
  ZeRndrBeginScene(-1);
  ZeRndrStreamLink(rndrstream_fx);
  EXPECT_HALT(ZeRndrShadowPols(0, &m, polys, verts, &light), "polygon 0 has 20 vertices");
  verts[0].w = -3;
  EXPECT_HALT(ZeRndrShadowPols(0, &m, polys, verts, &light), "-3 polygons");
}

}  // namespace

// A removed scene's stencil splines leave the shadow pass's list: the
// scene's buffer may be reused while the list is still read each frame.
TEST_F(Shadow, RemovingASceneTakesItsStencilSplinesOut) {
  static char stencil[] = "stencil_a", path[] = "path";
  static ZESPLINE splines[2], other;
  splines[0].name = stencil;
  splines[1].name = path;
  static ZEGSCENE scene;
  scene = ZEGSCENE{};
  scene.splines = splines;
  scene.nspline = 2;
  ZeRndrShadMaskCount = 0;
  ZeRndrShadMasks[ZeRndrShadMaskCount++] = &other;
  ZeRndrSplineSearch(&scene);
  ASSERT_EQ(ZeRndrShadMaskCount, 2);
  EXPECT_EQ(ZeRndrShadMasks[1], &splines[0]);
  ZeGScnRemove(&scene);
  ASSERT_EQ(ZeRndrShadMaskCount, 1);
  EXPECT_EQ(ZeRndrShadMasks[0], &other);
  ZeRndrShadMaskCount = 0;
}
