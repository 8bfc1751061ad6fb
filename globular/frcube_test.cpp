// The cube plate grid: the tool's grid loaded back, the grid's own rules,
// the three locators against each other, the visible-plate list, and
// damaged files.
#include "globular.h"
#include "planettool.h"
#include "platform_test.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

const CubeModel& Model() {
  static const CubeModel m = CubeBuild(CUBE_LEVELS);
  return m;
}

struct Cube : testing::Test {
  static constexpr int SIZE = 1 << 20;
  std::string dir = TestTempDir();
  char* buffer = nullptr;
  void SetUp() override {
    ZeTrigInit();
    errmsg_disabled = 1;
    PlatSetHostRoot(dir.c_str());
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    buffer = static_cast<char*>(EeMalloc(SIZE));
    memset(plate_ref, 0, sizeof plate_ref);
    memset(ndx_tab, 0, sizeof ndx_tab);
  }
  void TearDown() override {
    FrCubeClose();
    EeFree(buffer);
    PlatSetHostRoot(nullptr);
    errmsg_disabled = 0;
    memset(plate_ref, 0, sizeof plate_ref);
    memset(ndx_tab, 0, sizeof ndx_tab);
  }
  void Write(const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(dir + "/bin");
    PlanetToolWrite(dir + "/bin/cube.bin", bytes);
  }
  char* Load(const std::vector<uint8_t>& bytes) {
    Write(bytes);
    char* pos = buffer + 4;
    FrCubeInit(&pos, buffer + SIZE);
    return pos;
  }
};

struct LoadedCube : Cube {
  void SetUp() override {
    Cube::SetUp();
    Load(CubeImage(Model()));
  }
};

float Dot(const ZEVEC& a, const ZEVEC& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

TEST_F(Cube, LoadsAlignedAndAdvancesPastTheFile) {
  auto image = CubeImage(Model());
  char* end = Load(image);
  EXPECT_EQ(end, buffer + 16 + image.size());
  EXPECT_EQ(FrCubeGetNumLevels(), CUBE_LEVELS);
  // Two builds give the same bytes.
  EXPECT_EQ(CubeImage(CubeBuild(CUBE_LEVELS)), image);
}

TEST_F(LoadedCube, TheLoadedGridGivesTheToolsNumbers) {
  const CubeModel& m = Model();
  EXPECT_EQ(m.points.size(), 6u * 256 + 2);  // every vertex of level 4 once
  EXPECT_EQ(m.pairs.size() / 2, 17u * 17);
  for (int l = 0; l < CUBE_LEVELS; l++) {
    ASSERT_EQ(FrCubeGetNumFaces(l), int(m.levels[size_t(l)].size()));
    for (int i = 0; i < FrCubeGetNumFaces(l); i++) {
      const CubeModelPlate& p = m.levels[size_t(l)][size_t(i)];
      ZEVEC c[4];
      float uv[4][2];
      int nb[4];
      FrCubeGetPoints(i, l, &c[0], &c[1], &c[2], &c[3]);
      FrCubeGetUVs(i, l, uv[0], uv[1], uv[2], uv[3]);
      FrCubeGetNeighbours(i, l, nb);
      for (int k = 0; k < 4; k++) {
        ASSERT_EQ(memcmp(&c[k], &m.points[size_t(p.point[k])], 12), 0);
        ASSERT_EQ(uv[k][0], m.pairs[size_t(p.uv[k]) * 2]);
        ASSERT_EQ(uv[k][1], m.pairs[size_t(p.uv[k]) * 2 + 1]);
        ASSERT_EQ(nb[k], p.neighbour[k]);
      }
      const ZEVEC* mid = FrCubeGetMidpoint(i, l);
      ASSERT_EQ(memcmp(mid, &p.centre, 12), 0);
      ASSERT_EQ(reinterpret_cast<const float*>(mid)[3], p.cone);
    }
  }
}

TEST_F(LoadedCube, CornerOrderChildRuleConesAndNeighbours) {
  const CubeModel& m = Model();
  for (int l = 0; l < CUBE_LEVELS; l++) {
    const auto& level = m.levels[size_t(l)];
    for (size_t i = 0; i < level.size(); i++) {
      const CubeModelPlate& p = level[i];
      ZEVEC c[4];
      for (int k = 0; k < 4; k++) c[k] = m.points[size_t(p.point[k])];
      // Counter-clockwise from outside: the corner normal points away.
      ZEVEC n;
      ZeVecCrossRel(&n, &c[0], &c[1], &c[2]);
      ASSERT_GT(Dot(n, p.centre), 0) << l << "." << i;
      ASSERT_GT(Dot({p.plane.x, p.plane.y, p.plane.z}, p.centre), 0.99f);
      for (int k = 0; k < 4; k++) {
        ASSERT_GT(Dot(c[k], p.centre), p.cone);  // the cone holds the corners, strictly
        // Neighbours are mutual and share the edge.
        const CubeModelPlate& q = level[size_t(p.neighbour[k])];
        ASSERT_NE(std::find(q.neighbour, q.neighbour + 4, int(i)), q.neighbour + 4);
        ASSERT_NE(std::find(q.point, q.point + 4, p.point[k]), q.point + 4);
        ASSERT_NE(std::find(q.point, q.point + 4, p.point[(k + 1) & 3]), q.point + 4);
      }
      if (l + 1 == CUBE_LEVELS) continue;
      for (int k = 0; k < 4; k++) {
        const CubeModelPlate& ch = m.levels[size_t(l + 1)][i * 4 + size_t(k)];
        ASSERT_EQ(ch.point[k], p.point[k]);  // child k holds corner k
        for (int j = 0; j < 4; j++) ASSERT_GT(Dot(m.points[size_t(ch.point[j])], p.centre), p.cone);
      }
      // The children's shared corners: the centre, the edge midpoints.
      const auto* ch = &m.levels[size_t(l + 1)][i * 4];
      EXPECT_EQ(ch[0].point[2], ch[1].point[3]);
      EXPECT_EQ(ch[0].point[2], ch[2].point[0]);
      EXPECT_EQ(ch[0].point[2], ch[3].point[1]);
      EXPECT_EQ(ch[0].point[1], ch[1].point[0]);
      EXPECT_EQ(ch[1].point[2], ch[2].point[1]);
      EXPECT_EQ(ch[2].point[3], ch[3].point[2]);
      EXPECT_EQ(ch[3].point[0], ch[0].point[3]);
      EXPECT_EQ(memcmp(&m.points[size_t(ch[0].point[2])], &p.centre, 12), 0);
    }
  }
}

// Seeded directions well inside a plate of level 4 (a quarter of the plate
// from every edge), through a plate-relative blend so that all plates and
// faces are reached.
TEST_F(LoadedCube, TheLocatorsAgreeOnTenThousandDirectionsOffEdges) {
  std::mt19937 rng(20261211);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  int checked = 0;
  while (checked < 10000) {
    ZEVEC d = {unit(rng), unit(rng), unit(rng)};
    float len = ZeVecMag(&d);
    if (len < 0.1f || len > 1.0f) continue;
    ZeVecScale(&d, &d, (0.5f + unit(rng) * 0.4f) * 3000.0f / len);  // any length
    const int depth = checked % CUBE_LEVELS;
    const int exact = FrCubeLocatePlateAccurate(&d, depth);
    // Off edges: the direction is within the plate by a margin on every edge.
    ZEVEC c[4];
    FrCubeGetPoints(exact, depth, &c[0], &c[1], &c[2], &c[3]);
    ZEVEC u;
    ZeVecNorm(&u, &d);
    float least = 1;
    for (int k = 0; k < 4; k++) {
      ZEVEC4 pl;
      ZePlnEqn(&pl, &c[k], &c[(k + 1) & 3], &zevec_zero);
      least = std::min(least, ZePlnDist(&pl, &u));
    }
    const float size = ZeVecDist(&c[0], &c[2], nullptr);
    if (least < 0.15f * size) continue;
    checked++;
    ASSERT_EQ(exact >> (2 * depth), FrCubeLocatePlateAccurate(&d, 0));
    ASSERT_EQ(FrCubeLocate(&d, depth), exact) << "depth " << depth;
    ASSERT_EQ(FrCubeLocatePlate(&d, depth), exact) << "depth " << depth;
    ASSERT_EQ(FrCubeOverPlate(&d, exact, depth), 1);
    for (int k = 0; k < 4; k++) {
      int nb[4];
      FrCubeGetNeighbours(exact, depth, nb);
      ASSERT_EQ(FrCubeOverPlate(&d, nb[k], depth), 0);
    }
  }
}

TEST_F(LoadedCube, LocatorEdgeCases) {
  // Depth 0 gives the face; depth 4 a plate whose top bits are the face.
  const ZEVEC xp = {5, 0.3f, -0.2f};
  EXPECT_EQ(FrCubeLocatePlateAccurate(&xp, 0), 2);
  int p4 = FrCubeLocatePlateAccurate(&xp, 4);
  EXPECT_LT(p4, 1536);
  EXPECT_EQ(p4 >> 8, 2);
  // A point on the edge between faces 0 (+z) and 2 (+x) goes to face 0.
  const ZEVEC edge = {1, 0, 1};
  EXPECT_EQ(FrCubeLocatePlateAccurate(&edge, 0), 0);
  EXPECT_EQ(FrCubeLocate(&xp, -1), -1);
  // The fast form never answers with a plate behind the direction.
  for (int f = 0; f < 6; f++) {
    const ZEVEC* mid = FrCubeGetMidpoint(f, 0);
    int p = FrCubeLocatePlate(mid, 3);
    ASSERT_GE(p, 0);
    EXPECT_GT(Dot(*FrCubeGetMidpoint(p, 3), *mid), 0);
  }
}

TEST_F(LoadedCube, AFrameStandsOnThePlate) {
  FRAME frame{};
  const int plate = 777;
  const float r = 11000.0f;
  FrCubeInitFrame(&frame, plate, 4, r);
  ZEVEC c[4];
  FrCubeGetPoints(plate, 4, &c[0], &c[1], &c[2], &c[3]);
  const ZEMTX& m = frame.mtx;
  for (int a = 0; a < 3; a++)
    EXPECT_NEAR(m.m[3][a], ((&c[0].x)[a] + (&c[1].x)[a] + (&c[2].x)[a]) * r * 0.33333334f, 0.05f);
  const ZEVEC y = {m.m[1][0], m.m[1][1], m.m[1][2]};
  EXPECT_GT(Dot(y, *FrCubeGetMidpoint(plate, 4)), 0.99f);  // the outward normal
  ZEVEC x = {m.m[0][0], m.m[0][1], m.m[0][2]}, e;
  ZeVecSub(&e, &c[2], &c[0]);
  ZeVecNorm(&e, &e);
  EXPECT_NEAR(Dot(x, e), 1.0f, 1e-5f);
  EXPECT_NEAR(Dot(x, y), 0.0f, 1e-5f);
  EXPECT_EQ(m.m[3][3], 1.0f);
}

TEST_F(LoadedCube, VisiblePlatesNearestFirstWithTiesBeforeAndTheOppositeFaceHidden) {
  int out[16];
  int count = 0;
  // On the +z axis far out: face 0 at angle 0, faces 2-5 at a quarter turn
  // (equal keys: each new one goes before the older), face 1 straight
  // opposite, half a turn away and hidden.
  const ZEVEC far = {0, 0, 1e6f};
  FrCubeGetVisiblePlates(out, 0, &count, 16, &far, 0, 1.0f);
  ASSERT_EQ(count, 5);
  EXPECT_EQ(std::vector<int>(out, out + 5), (std::vector<int>{0, 5, 4, 3, 2}));
  // Count already at the capacity: nothing written.
  out[5] = -7;
  FrCubeGetVisiblePlates(out, 0, &count, 5, &far, 0, 1.0f);
  EXPECT_EQ(count, 5);
  // Excluded plates: negative references; with the flag, no texture data.
  plate_ref[0] = -1;
  ndx_tab[2] = 0xffff;
  count = 0;
  FrCubeGetVisiblePlates(out, 0, &count, 16, &far, 1, 1.0f);
  EXPECT_EQ(std::vector<int>(out, out + count), (std::vector<int>{5, 4, 3}));
  count = 0;
  FrCubeGetVisiblePlates(out, 0, &count, 16, &far, 0, 1.0f);
  EXPECT_EQ(std::vector<int>(out, out + count), (std::vector<int>{5, 4, 3, 2}));
}

TEST_F(LoadedCube, TheListKeepsThe128NearestAndTheHorizonHasAFloor) {
  // Far out, about half the plates of level 4 are over the horizon.
  const ZEVEC pos = {3e5f, 1e5f, -2e5f};
  std::vector<int> out(1536);
  int count = 0;
  FrCubeGetVisiblePlates(out.data(), 4, &count, 1536, &pos, 0, 1.0f);
  ASSERT_EQ(count, FRCUBE_LISTNODES);
  ZEVEC dir;
  ZeVecNorm(&dir, &pos);
  auto key = [&](int p) {
    int a = ZeACos(Dot(dir, *FrCubeGetMidpoint(p, 4)));
    return a < 0 ? a + 65536 : a;
  };
  std::vector<int> all;
  for (int p = 0; p < 1536; p++) all.push_back(key(p));
  std::sort(all.begin(), all.end());
  for (int i = 0; i < count; i++) {
    ASSERT_EQ(key(out[size_t(i)]), all[size_t(i)]) << i;
  }
  // At the surface of the horizon sphere the floor of 2048 units applies:
  // only plates whose cones come within 11.25 degrees.
  const ZEVEC* mid = FrCubeGetMidpoint(100, 4);
  ZEVEC on;
  ZeVecScale(&on, mid, 50.0f);
  ZeVecNorm(&dir, &on);
  count = 0;
  FrCubeGetVisiblePlates(out.data(), 4, &count, 1536, &on, 0, 100.0f);
  ASSERT_GT(count, 0);
  EXPECT_EQ(out[0], 100);
  for (int i = 0; i < count; i++) {
    const ZEVEC* c = FrCubeGetMidpoint(out[size_t(i)], 4);
    float cone = reinterpret_cast<const float*>(c)[3];
    float a = float(key(out[size_t(i)]));
    float r = float(ZeACos(cone));
    EXPECT_LT(a, 2048.0f + r);
  }
  EXPECT_LT(count, 40);
}

TEST_F(LoadedCube, PlateIndicesAndLevelsOutOfRangeAreFatal) {
  ZEVEC c[4];
  int nb[4];
  FRAME f{};
  const ZEVEC p = {0, 0, 1};
  EXPECT_HALT(FrCubeGetPoints(1536, 4, &c[0], &c[1], &c[2], &c[3]), "plate 1536 out of range");
  EXPECT_HALT(FrCubeGetNeighbours(-1, 2, nb), "plate -1 out of range");
  EXPECT_HALT(FrCubeGetMidpoint(0, 5), "assert");
  EXPECT_HALT(FrCubeInitFrame(&f, 0, CUBE_LEVELS, 1.0f), "assert");
  EXPECT_HALT(FrCubeOverPlate(&p, 24, 1), "out of range");
  EXPECT_HALT(FrCubeGetNumFaces(-1), "no level -1");
  EXPECT_HALT(FrCubeGetNumFaces(FRCUBE_MAXLEVELS), "no level");
  EXPECT_EQ(FrCubeGetNumFaces(4), 1536);
  EXPECT_HALT(FrCubeLocatePlate(&p, 5), "no level 5");
  EXPECT_HALT(FrCubeLocate(&p, 5), "too short");
  const ZEVEC zero = {0, 0, 0};
  EXPECT_EQ(FrCubeLocatePlate(&zero, 0), -1);
}

// Damaged and missing files: each a clear fatal error naming the file.
TEST_F(Cube, DamagedFiles) {
  const auto good = CubeImage(Model());
  auto word = [&](size_t at) { uint32_t v; memcpy(&v, &good[at], 4); return v; };
  const uint32_t levelOff = word(20), plateOff0 = word(levelOff + 12), plateOff4 = word(levelOff + 4 * 16 + 12);
  struct Case {
    const char* name;
    size_t at;
    uint32_t value;
    int size;  // 16-bit write when 2
    const char* message;
  } cases[] = {
      {"no levels", 16, 0, 4, "damaged file (levels 0)"},
      {"too many levels", 16, 8, 4, "damaged file (levels 8)"},
      {"point offset past the end", 4, uint32_t(good.size()), 4, "point offset"},
      {"pair count past the end", 8, 1u << 16, 4, "pair offset"},
      {"level table inside the header", 20, 8, 4, "level offset"},
      {"wrong plate count", levelOff + 16 + 4, 25, 4, "plate count 25"},
      {"plate offset past the end", levelOff + 4 * 16 + 12, uint32_t(good.size() - 100), 4, "plate offset"},
      {"point index", plateOff0 + 2, 60000, 2, "point index 60000"},
      {"pair index", plateOff4 + 56 * 5 + 8, 4000, 2, "pair index 4000"},
      {"neighbour", plateOff4 + 56 * 1535 + 54, 1536, 2, "neighbour 1536"},
      {"odd offset", 4, word(4) + 2, 4, "point offset"},
      {"a point that is not a number", word(4) + 12 * 7 + 4, 0x7fc00000, 4, "point value"},
      {"an endless cone", plateOff4 + 56 * 9 + 28, 0x7f800000, 4, "plate value 9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto bad = good;
    memcpy(&bad[c.at], &c.value, size_t(c.size));
    Write(bad);
    char* pos = buffer;
    EXPECT_HALT(FrCubeInit(&pos, buffer + SIZE), c.message);
    EXPECT_HALT(FrCubeInit(&pos, buffer + SIZE), "bin\\cube.bin");
  }
  // A short file: its plates run past its end.
  Write(std::vector<uint8_t>(good.begin(), good.end() - 56));
  char* pos = buffer;
  EXPECT_HALT(FrCubeInit(&pos, buffer + SIZE), "plate offset");
  // A file exactly filling the buffer fails; one byte more fits.
  Write(good);
  pos = buffer;
  EXPECT_HALT(FrCubeInit(&pos, buffer + good.size()), "assert");
  pos = buffer;
  FrCubeInit(&pos, buffer + good.size() + 1);
  EXPECT_EQ(pos, buffer + good.size());
  FrCubeClose();
  std::filesystem::remove(dir + "/bin/cube.bin");
  pos = buffer;
  EXPECT_HALT(FrCubeInit(&pos, buffer + SIZE), "bin\\cube.bin: missing");
}

}  // namespace
