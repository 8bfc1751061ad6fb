// Special terrain: building from the crash data, the sphere, box and
// cylinder tests with their edge cases, the instance flags; and a snapshot
// of the debug line drawing.
#include <cmath>
#include <map>

#include "terrain_local.h"
#include "terrain_test.h"

namespace {

template <class T>
void Put(std::vector<uint8_t>* out, const T& v) {
  const auto* b = reinterpret_cast<const uint8_t*>(&v);
  out->insert(out->end(), b, b + sizeof v);
}

struct Shapes {
  std::vector<uint8_t> bytes;
  int n = 0;
  void Sphere(uint32_t value, ZEVEC c, float r) {
    Put(&bytes, uint32_t(1)), Put(&bytes, value), Put(&bytes, c), Put(&bytes, r);
    n++;
  }
  void Box(uint32_t value, const ZEMTX& m, ZEVEC lo, ZEVEC hi) {
    Put(&bytes, uint32_t(2)), Put(&bytes, value), Put(&bytes, m), Put(&bytes, lo), Put(&bytes, hi);
    n++;
  }
  void Cylinder(uint32_t value, ZEVEC base, float h, float r) {
    Put(&bytes, uint32_t(3)), Put(&bytes, value), Put(&bytes, base), Put(&bytes, h), Put(&bytes, r);
    n++;
  }
};

std::vector<uint8_t> Crash(const std::vector<std::tuple<uint32_t, uint16_t, float, Shapes>>& entries) {
  std::vector<uint8_t> out;
  Put(&out, uint32_t(entries.size()));
  for (auto& [inst, flags, radius, s] : entries) {
    Put(&out, inst), Put(&out, int16_t(s.n)), Put(&out, flags), Put(&out, radius);
    Put(&out, uint32_t(16 + s.bytes.size()));
    out.insert(out.end(), s.bytes.begin(), s.bytes.end());
  }
  return out;
}

struct Special : TerrainTest {
  SpecialTerrainData* Build(const std::vector<uint8_t>& crash) {
    TestItem c;
    c.kind = 3;
    c.data = crash;
    Write("sp", {StaticItem({}, {Floor(0, 0, 1)}), c});
    bufpos = buf;
    EXPECT_NE(Load("sp"), nullptr);
    SpecialTerrainData* d = CreateSpecialTerrainData(scene, &bufpos, buf + bufsize);
    SpecialTerrainSetCur(d);
    return d;
  }
};

// Instances: 1 a sphere (value 7, radius 0.5 at the origin, bounding 0.5);
// 2 a box (value 9, 2 x 2 x 2 around its origin, turned by the box matrix)
// and a cylinder (value 11, base at 0, height 2, radius 0.5).
std::vector<uint8_t> Level() {
  Shapes a, b;
  a.Sphere(7, {0, 0, 0}, 0.5f);
  ZEMTX bm;
  ZeMtxSetIdentity(&bm);
  b.Box(9, bm, {-1, -1, -1}, {1, 1, 1});
  b.Cylinder(11, {4, 0, 0}, 2, 0.5f);
  return Crash({{1, 0, 0.5f, a}, {2, 1, 6, b}});
}

}  // namespace

TEST_F(Special, BuildAndEdgeCases) {
  insts[1].mtx.m[3][0] = 10;
  insts[2].mtx.m[3][0] = 20;
  SpecialTerrainData* d = Build(Level());
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->entries.get()[1]);
  EXPECT_FALSE(d->entries.get()[0]);
  struct Case {
    const char* what;
    ZEVEC p;
    float r;
    int kind;
    uint32_t value;
    ZEVEC n;
  } cases[] = {
      {"outside the bounding radius (0.36 > 0.3025)", {10.6f, 0, 0}, 0.05f, 0, 0, {}},
      {"sphere", {10.5f, 0, 0}, 0.05f, 1, 7, {1, 0, 0}},
      {"box face", {21.05f, 0, 0}, 0.1f, 2, 9, {1, 0, 0}},
      {"box centre: its up axis", {20, 0, 0}, 0.1f, 2, 9, {0, 1, 0}},
      {"cylinder top, 0.1 above with r 0.2", {24.2f, 2.1f, 0}, 0.2f, 1, 11, {1, 0, 0}},
      {"cylinder top, 0.3 above", {24.2f, 2.3f, 0}, 0.2f, 0, 0, {}},
      {"beside the cylinder", {24.6f, 1, 0}, 0.2f, 1, 11, {1, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ZEVEC n = {9, 9, 9};
    uint32_t value = 0;
    EXPECT_EQ(SpecialTerrainCollideCheck(&c.p, &n, &value, c.r), c.kind);
    if (c.kind) {
      EXPECT_EQ(value, c.value);
      EXPECT_NEAR(n.x, c.n.x, 1e-5f);
      EXPECT_NEAR(n.y, c.n.y, 1e-5f);
      EXPECT_NEAR(n.z, c.n.z, 1e-5f);
    }
    EXPECT_EQ(SpecialTerrainCollideCheck(&c.p, nullptr, nullptr, c.r), c.kind) << "null outputs";
  }
  // Bit 0 without bit 2: never tested. The instance's matrix places it.
  ZEVEC p = {10.5f, 0, 0};
  insts[1].flags = 1;
  EXPECT_EQ(SpecialTerrainCollideCheck(&p, nullptr, nullptr, 0.05f), 0);
  insts[1].flags = 5;
  insts[1].mtx.m[3][0] = 30;
  EXPECT_EQ(SpecialTerrainCollideCheck(&p, nullptr, nullptr, 0.05f), 0);
  p.x = 30.5f;
  EXPECT_EQ(SpecialTerrainCollideCheck(&p, nullptr, nullptr, 0.05f), 1);
  insts[1].mtx.m[3][0] = 10;
  // One instance with a given matrix.
  ZEMTX m;
  ZeMtxSetRotationY(&m, 0x4000);
  m.m[3][0] = 0;
  ZEVEC q = {0, 0, -4.5f}, n;
  EXPECT_EQ(SpecialTerrainInstanceCollideCheck(&q, d->entries.get()[2], &m, &n, nullptr, 0.1f), 1)
      << "the cylinder turned a quarter turn";
  SpecialTerrainSetCur(nullptr);
  EXPECT_EQ(SpecialTerrainCollideCheck(&q, nullptr, nullptr, 1), 0);
}

TEST_F(Special, RefusalsAndFaults) {
  // No scene, an empty scene or no crash data: none.
  Write("none", {StaticItem({}, {Floor(0, 0, 1)})});
  ASSERT_NE(Load("none"), nullptr);
  EXPECT_EQ(CreateSpecialTerrainData(scene, &bufpos, buf + bufsize), nullptr);
  Build(Level());
  EXPECT_EQ(CreateSpecialTerrainData(nullptr, &bufpos, buf + bufsize), nullptr);
  scene->ninst = 0;
  EXPECT_EQ(CreateSpecialTerrainData(scene, &bufpos, buf + bufsize), nullptr);
  scene->ninst = 2;
  EXPECT_HALT(CreateSpecialTerrainData(scene, &bufpos, buf + bufsize), "invalid instance ix in special terrain object");
  scene->ninst = 8;
  EXPECT_HALT(CreateSpecialTerrainData(scene, &bufpos, bufpos + 8), "level buffer is full");
}

TEST_F(Special, DebugDrawingSnapshot) {
  static std::vector<std::array<float, 7>> lines;
  lines.clear();
  auto* saved = TerrDebugLine;
  TerrDebugLine = [](uint32_t c, const ZEVEC* a, const ZEVEC* b) {
    lines.push_back({float(c & 0xFFFFFF), a->x, a->y, a->z, b->x, b->y, b->z});
  };
  insts[2].mtx.m[3][0] = 20;
  Build(Level());
  // A level with a static item, a turning platform and a wall spline.
  TestItem st = StaticItem({1, 0, 0}, {Floor(0, 0, 1), TPoly({0, 0, 0}, {0, 1, 0}, {0, 0, 1})});
  TestItem pl = StaticItem({}, {Floor(2, 0, 0.5f, 0, 1, 0)});
  pl.kind = 1, pl.instance = 3, pl.platword = 1;
  TestItem sp;
  sp.kind = 2;
  sp.points = {{-2, 0, -2}, {2, 0, -2}, {2, 0, 2}};
  Write("draw", {st, pl, sp});
  bufpos = buf + (4 << 20);
  ASSERT_NE(Load("draw"), nullptr);
  ZeMtxSetRotationY(&insts[3].mtx, 0x4000);
  DrawMSitu(0);
  DrawPlatform(0);
  DrawPlatform(-1);
  ZEVEC s = {0, 1, -1.8f}, v = {0, -2, 0};
  NewRayCast(&s, &v, 0, 0.3f);
  DrawHitTerrain();
  DrawWallSpline();
  ZEVEC c = {5, 5, 5};
  SphereDraw(&c, 1, 0.5f);
  sterr_selected = -1;
  SpecialTerrainTestRender();
  TerrShowCamTerr();
  TerrDebugLine = saved;
  // The snapshot: lines per colour and a sum over their coordinates.
  std::map<uint32_t, std::pair<int, double>> byColour;
  for (auto& l : lines) {
    auto& e = byColour[uint32_t(l[0])];
    e.first++;
    for (int k = 1; k < 7; k++) e.second += std::round(double(l[size_t(k)]) * 1000) * (k + 0.5);
  }
  std::string got;
  for (auto& [colour, e] : byColour) {
    char b[96];
    snprintf(b, sizeof b, "%06x %d %.0f\n", colour, e.first, e.second);
    got += b;
  }
  // Steep (3 edges), floors (static 5, platform 5 + normal, gathered 5),
  // two bounding cubes, one gathered wall segment, the box's 12 edges, and
  // the wire sphere (256), the sphere shape (19) and the cylinder (35).
  const char* expected =
      "00c0ff 3 36000\n00ff00 16 -182782\n404040 24 1674000\n808080 1 -14000\nff00ff 12 1476000\n"
      "ffff00 310 36025000\n";
  EXPECT_EQ(got, expected);
}
