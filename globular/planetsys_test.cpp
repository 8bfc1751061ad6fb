// The planetary system: the tool's file loaded back, planets turning, the
// nearest planet and names, the planet state, and damaged files.
#include "globular.h"
#include "planettool.h"
#include "platform_test.h"

#include <cmath>
#include <cstring>
#include <filesystem>

namespace {

SystemDesc TwoPlanets() {
  SystemDesc d;
  d.meshlevels = 1;
  SystemPlanetDesc a;
  a.name = "Terra";
  a.position[2] = -40000;
  a.daylength = 24;
  a.height = 300;
  a.radius = 11000;
  a.seafraction = 0.25f;
  a.platedepth = 4;
  SystemPlanetDesc b;
  b.name = "Luna";
  b.position[0] = 40000;
  b.radius = 3000;
  b.platedepth = 3;
  d.planets = {a, b};
  return d;
}

struct System : testing::Test {
  static constexpr int SIZE = 1 << 20;
  std::string dir = TestTempDir();
  char* buffer = nullptr;
  char* pos = nullptr;
  void SetUp() override {
    errmsg_disabled = 1;
    PlatSetHostRoot(dir.c_str());
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    PlanetToolEngineInit();
    buffer = static_cast<char*>(EeMalloc(SIZE));
    pos = buffer;
    FrameInit(&pos, buffer + SIZE);
    init_level = 0;
    wld_wait = 0;
    gb_time = gb_time_step = 0;
  }
  void TearDown() override {
    PlanetSysClose();
    FrCubeClose();
    FrameClose();
    g_planet_mesh = nullptr;
    EeFree(buffer);
    PlanetToolEngineClose();
    PlatSetHostRoot(nullptr);
    errmsg_disabled = 0;
    init_level = 0;
  }
  void Write(const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(dir + "/bin");
    PlanetToolWrite(dir + "/bin/system.gb3", bytes);
  }
  void Load(const std::vector<uint8_t>& bytes) {
    Write(bytes);
    PlanetSysInit(&pos, buffer + SIZE);
    PlanetSysLoadData(&pos, buffer + SIZE);
  }
};

TEST_F(System, TheLoadedSystemGivesTheToolsNumbers) {
  SystemDesc d = TwoPlanets();
  const auto image = SystemImage(d);
  EXPECT_EQ(SystemImage(d), image);  // two runs, the same bytes
  char* before = pos;
  Load(image);
  EXPECT_EQ(pos, before + 16 + image.size());
  ASSERT_EQ(PlanetSysGetCount(), 2);
  PLANET* t = PlanetSysGetPlanet(0);
  EXPECT_STREQ(t->name, "Terra");
  EXPECT_EQ(t->position.z, -40000);
  EXPECT_EQ(t->daylength, 24);
  EXPECT_EQ(t->height, 300);
  EXPECT_EQ(t->radius, 11000);
  EXPECT_EQ(t->seafraction, 0.25f);
  EXPECT_EQ(t->platedepth, 4);
  EXPECT_EQ(PlanetSysGetPlanet(1)->platedepth, 3);
  // Frames under the root at a quarter of the position; orbit angles.
  EXPECT_EQ(t->frame->parent, FrameGetRoot());
  EXPECT_EQ(t->frame->mtx.m[3][2], -10000);
  EXPECT_EQ(t->orbit, 0.0f);
  EXPECT_EQ(PlanetSysGetPlanet(1)->orbit, 0.75f);
  EXPECT_EQ(FrPlanetGetCount(), 2);
  // Placeholder materials: forced-material index k + 1 in the space plane.
  PLANETSYS* root = PlanetSysGetRoot();
  for (int k = 0; k < 6; k++) {
    ZEMTL* m = root->mtl[k];
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->table_index, k + 1);
    EXPECT_EQ(m->frame_mask, 0xff000000u);
    EXPECT_EQ((m->flags & ZEMTL_PLANE_MASK) >> ZEMTL_PLANE_SHIFT, uint32_t(gb_renderplane_space));
    EXPECT_EQ(m->attributes & 0xf, 0u);
    EXPECT_EQ(m->attributes >> 8 & 0xf, 5u);
    EXPECT_EQ(m->attributes >> 14 & 0x3f, 0x10u);  // depth 0, lighting 0, vertex colours on, frame alpha off
    EXPECT_EQ(m->texture, 0);
  }
  // Face materials: the planet's plane, alpha 0.99, the tricma program.
  for (int i = 0; i < 2; i++)
    for (int k = 0; k < 6; k++) {
      ZEMTL* m = PlanetSysGetPlanet(i)->mtl[k];
      EXPECT_EQ((m->flags & ZEMTL_PLANE_MASK) >> ZEMTL_PLANE_SHIFT, uint32_t(gb_renderplane_otplanet1 + i));
      EXPECT_EQ(m->alpha, 0.99f);
      EXPECT_EQ(m->frame_mask, 0u);
      EXPECT_EQ(m->attributes & 0xf, 1u);
      EXPECT_EQ(m->attributes >> 14 & 0x3f, 0x30u);
      EXPECT_EQ(m->attributes >> 23 & 0xff, 0u);
      EXPECT_EQ(m->stream.program.get(), vu_load_tricma_mpg);
      EXPECT_EQ(m->texture, 0);  // no face image: untextured
      EXPECT_EQ(PlanetSysGetPlanet(i)->texture[k], 0);
    }
  EXPECT_EQ(t->nomtl.get(), nullptr);
  // Six mesh nodes with the placeholders, each a chain of blocks that is
  // also the DMA walk of its packets: cnt tags in order, a ret at the end.
  auto* mesh = static_cast<uint8_t*>(EeAddrToPtr(uint32_t(root->mesh)));
  auto* node = static_cast<PLANETMESHNODE*>(EeAddrToPtr(*reinterpret_cast<uint32_t*>(mesh + 12)));
  int nodes = 0;
  for (; node; node = static_cast<PLANETMESHNODE*>(EeAddrToPtr(uint32_t(node->next))), nodes++) {
    ASSERT_LT(nodes, 6);
    EXPECT_EQ(node->mtl.get(), root->mtl[nodes].get());
    auto* tag = static_cast<const uint32_t*>(EeAddrToPtr(uint32_t(node->blocks)));
    int blocks = 0;
    for (;;) {
      blocks++;
      ASSERT_EQ(EeAddrOf(tag) & 15, 0u);
      const uint32_t id = tag[0] >> 28 & 7;
      if (id == DMATAG_RET) {
        EXPECT_EQ(tag[1], 0u);
        break;
      }
      ASSERT_EQ(id, uint32_t(DMATAG_CNT));
      const uint32_t* next = tag + 4 + (tag[0] & 0xffff) * 4;
      ASSERT_EQ(tag[1], EeAddrOf(next));
      tag = next;
    }
    EXPECT_GE(blocks, 2);
  }
  EXPECT_EQ(nodes, 6);
}

TEST_F(System, FaceTexturesBecomeIdsAndTheirMaterialsUseThem) {
  std::string error;
  const std::string desc = dir + "/s.txt";
  {
    FILE* f = fopen(desc.c_str(), "w");
    fputs("planet Terra\nface 2 pattern 16\nface 5 pattern 8\n", f);
    fclose(f);
  }
  SystemDesc parsed;
  ASSERT_TRUE(SystemParse(desc.c_str(), &parsed, &error)) << error;
  PlatSetHostRoot(dir.c_str());
  Load(SystemImage(parsed));
  PLANET* t = PlanetSysGetPlanet(0);
  ASSERT_NE(t->texture[2], 0);
  EXPECT_EQ(ZeTexWidth(t->texture[2]), 16);
  EXPECT_EQ(ZeTexWidth(t->texture[5]), 8);
  EXPECT_EQ(t->texture[0], 0);
  EXPECT_EQ(t->mtl[2]->texture, t->texture[2]);
  EXPECT_EQ(t->mtl[0]->texture, 0);
}

TEST_F(System, PlanetsTurnOnceLoadedAndAPhaseOfOneBecomesZero) {
  Load(SystemImage(TwoPlanets()));
  PLANET* t = PlanetSysGetPlanet(0);
  PlanetSysProcess();
  EXPECT_EQ(t->dayphase, 1.0f / (24.0f * 3600.0f));
  // The full position, and a turn about Y.
  EXPECT_EQ(t->frame->mtx.m[3][2], -40000);
  t->dayphase = 0.25f - 1.0f / (24.0f * 3600.0f);
  PlanetSysProcess();
  EXPECT_NEAR(t->frame->mtx.m[0][2], -1.0f, 1e-4f);
  t->dayphase = 0.99999f;
  PlanetSysProcess();
  EXPECT_EQ(t->dayphase, 0.0f);
}

TEST_F(System, NearestPlanetNamesAndWorldData) {
  Load(SystemImage(TwoPlanets()));
  PLANET* terra = PlanetSysGetPlanet(0);
  PLANET* luna = PlanetSysGetPlanet(1);
  static int world1, world2;
  EXPECT_EQ(PlanetSysGetByName("TERRA"), terra);
  EXPECT_EQ(PlanetSysGetByName("luna"), luna);
  EXPECT_EQ(PlanetSysGetByName(nullptr), nullptr);
  EXPECT_EQ(PlanetSysGetByName("Mars"), nullptr);
  // Exact names only for registrations and the current world.
  PlanetSysSetData("terra", "worlds\\terra", &world1);
  PlanetSysSetByName("Terra");
  EXPECT_EQ(g_current_planet, nullptr);  // no world data: not chosen
  PlanetSysSetData("Terra", "worlds\\terra", &world1);
  gb_time = 0.5f;
  gb_time_step = 12.0f;
  PlanetSysSetByName("TERRA");
  EXPECT_EQ(g_current_planet, nullptr);
  PlanetSysSetByName("Terra");
  EXPECT_EQ(g_current_planet, terra);
  EXPECT_EQ(gfr_frm, terra->frame.get());
  EXPECT_EQ(gfr_pltdepth, 4);
  EXPECT_STREQ(g_planet_path, "worlds\\terra");
  EXPECT_EQ(wld_fadestep, 1.0f / 300.0f);
  EXPECT_EQ(terra->dayphase, 0.5f);
  EXPECT_EQ(terra->daylength, 12.0f);
  EXPECT_EQ(gb_time, 0.0f);
  EXPECT_EQ(gb_time_step, 0.0f);
  // Nearest: only planets with world data; equal distances keep the first.
  const ZEVEC nearLuna = {40000, 0, 0};
  PlanetSysSetNearest(FrameGetRoot(), &nearLuna);
  EXPECT_EQ(PlanetSysGetNearest(), terra);
  EXPECT_EQ(wld_fadestep, 1.0f / 300.0f);
  PlanetSysSetData("Luna", "worlds\\luna", &world2);
  PlanetSysSetNearest(FrameGetRoot(), &nearLuna);
  EXPECT_EQ(PlanetSysGetNearest(), luna);
  EXPECT_EQ(wld_fadestep, -1.0f / 300.0f);
  EXPECT_EQ(PlanetSysGetData(), &world2);
  wld_wait = 2;  // a world change waiting: the current planet's data
  EXPECT_EQ(PlanetSysGetData(), &world1);
  wld_wait = 0;
  // In a planet's own frame the position is used as it stands.
  const ZEVEC up = {0, 100, 0};
  PlanetSysSetNearest(luna->frame, &up);
  EXPECT_EQ(PlanetSysGetNearest(), luna);
  // Equidistant: the first in the array.
  terra->frame->mtx.m[3][2] = 0;
  luna->frame->mtx.m[3][0] = 0;
  const ZEVEC origin = {0, 0, 0};
  PlanetSysSetNearest(FrameGetRoot(), &origin);
  EXPECT_EQ(PlanetSysGetNearest(), terra);
  // The current world cannot change once the planet data is loaded.
  init_level = 4;
  EXPECT_HALT(PlanetSysSetByName("Luna"), "assert");
}

TEST_F(System, WorldPathsLongerThanTheSlotAreFatal) {
  Load(SystemImage(TwoPlanets()));
  static int w;
  const std::string ok(63, 'a'), tooLong(64, 'b');
  PlanetSysSetData("Terra", ok.c_str(), &w);
  PlanetSysSetByName("Terra");
  EXPECT_EQ(std::string(g_planet_path), ok);
  EXPECT_HALT(PlanetSysSetData("Terra", tooLong.c_str(), &w), "world path too long");
}

TEST_F(System, CloseGivesBackEveryMaterialAndResetKeepsRegistrations) {
  const auto image = SystemImage(TwoPlanets());
  Write(image);
  // 64 materials in the pool, 18 a load: a leak would run out by the fourth.
  for (int i = 0; i < 10; i++) {
    char* p = pos;
    PlanetSysInit(&p, buffer + SIZE);
    PlanetSysLoadData(&p, buffer + SIZE);
    EXPECT_EQ(FrPlanetGetCount(), 2);
    PlanetSysClose();
    EXPECT_EQ(FrPlanetGetCount(), 0);
  }
  EXPECT_HALT(PlanetSysReset(), "assert");
  EXPECT_HALT(PlanetSysDestroy(), "assert");
  Load(image);
  static int w;
  PlanetSysSetData("Luna", "l", &w);
  PlanetSysSetByName("Luna");
  PlanetSysReset();
  EXPECT_EQ(PlanetSysGetCount(), 0);
  EXPECT_EQ(g_current_planet, nullptr);  // its frame went with it
  PlanetSysDestroy();
}

TEST_F(System, TheWorldFadeStopsAtItsEnds) {
  static int mesh;
  FrPlanetSetWldFade(0.3f);
  wld_fade = 0.5f;
  FrPlanetUpdate();
  EXPECT_EQ(wld_fade, 0.5f);  // no world mesh: nothing moves
  g_planet_mesh = &mesh;
  wld_wait = 2;
  FrPlanetUpdate();
  EXPECT_EQ(wld_fade, 0.8f);
  EXPECT_EQ(wld_wait, 1);
  FrPlanetUpdate();
  EXPECT_EQ(wld_fade, 0.99f);
  EXPECT_EQ(wld_fadestep, 0.0f);
  FrPlanetSetWldFade(-0.5f);
  FrPlanetUpdate();
  FrPlanetUpdate();
  EXPECT_EQ(wld_fade, 0.0f);
  EXPECT_EQ(wld_fadestep, 0.0f);
  EXPECT_EQ(wld_wait, 0);
}

// Damaged files: each refused with the file named, nothing read or
// written outside the image.
TEST_F(System, DamagedFiles) {
  const auto good = SystemImage(TwoPlanets());
  auto word = [&](size_t at) {
    int32_t v;
    memcpy(&v, &good[at], 4);
    return v;
  };
  const size_t root = 16, planet0 = root + 36 + word(root + 36);
  const size_t mesh = root + size_t(word(root));
  const size_t node0 = mesh + 12 + size_t(word(mesh + 12));
  const size_t block0 = node0 + 8 + size_t(word(node0 + 8));
  size_t node5 = node0;
  for (int k = 0; k < 5; k++) node5 = node5 + size_t(word(node5));
  struct Case {
    const char* name;
    size_t at;
    int32_t value;
    const char* message;
  } cases[] = {
      {"version", 0, 0x00010002, "Incorrect file version in system.bin"},
      {"no planets", root + 32, 0, "planet count 0"},
      {"seven planets", root + 32, 7, "planet count 7"},
      {"planet past the end", root + 36, int32_t(good.size()), "planet offset"},
      {"planet before the file", root + 36, -100, "planet offset"},
      {"plate depth 5", planet0 + 72, 5, "plate depth 5"},
      {"radius not a number", planet0 + 64, 0x7fc00000, "planet value 0"},
      {"plate depth -1", planet0 + 72, -1, "plate depth -1"},
      {"name without an end", planet0 + 28, 0x41414141, "unterminated planet name"},
      {"texture past the end", planet0 + 76, int32_t(good.size()), "texture offset"},
      {"mesh past the end", root, int32_t(good.size()), "mesh offset"},
      {"no mesh", root, 0, "mesh offset 0"},
      {"five mesh nodes", node5 - 0, 0, "mesh nodes"},
      {"seven mesh nodes", node5, int32_t(node0 - node5), "mesh nodes"},
      {"block link backwards", block0 + 4, -64, "primitive block link -64"},
      {"block misaligned", node0 + 8, word(node0 + 8) + 4, "assert"},
      {"block past the end", block0 + 4, int32_t(good.size()), "primitive block"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto bad = good;
    if (!strcmp(c.name, "name without an end")) {
      memset(&bad[planet0], 'A', 32);
    } else if (!strcmp(c.name, "five mesh nodes")) {
      // The fifth node ends the chain.
      size_t n4 = node0;
      for (int k = 0; k < 4; k++) n4 += size_t(word(n4));
      memset(&bad[n4], 0, 4);
    } else {
      memcpy(&bad[c.at], &c.value, 4);
    }
    Write(bad);
    char* p = pos;
    PlanetSysInit(&p, buffer + SIZE);
    EXPECT_HALT(PlanetSysLoadData(&p, buffer + SIZE), c.message);
    PlanetSysClose();
  }
  // Plate depth beyond the levels of the loaded cube grid.
  std::filesystem::create_directories(dir + "/bin");
  PlanetToolWrite(dir + "/bin/cube.bin", CubeImage(CubeBuild(4)));
  char* p = pos;
  FrCubeInit(&p, buffer + SIZE);
  Write(good);
  PlanetSysInit(&p, buffer + SIZE);
  EXPECT_HALT(PlanetSysLoadData(&p, buffer + SIZE), "plate depth 4");
  PlanetSysClose();
  FrCubeClose();
  // A buffer the exact size of the file fails; a missing file too.
  p = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(pos) + 15) & ~uintptr_t(15));
  PlanetSysInit(&p, buffer + SIZE);
  EXPECT_HALT(PlanetSysLoadData(&p, p + good.size()), "assert");
  PlanetSysClose();
  std::filesystem::remove(dir + "/bin/system.gb3");
  PlanetSysInit(&p, buffer + SIZE);
  EXPECT_HALT(PlanetSysLoadData(&p, buffer + SIZE), "bin\\system.gb3: missing");
}

// Face images are read where they lie: their header and blocks must fit.
TEST_F(System, FaceImagesThatDoNotFitAreRefused) {
  const std::string desc = dir + "/t.txt";
  FILE* f = fopen(desc.c_str(), "w");
  fputs("planet Terra\nface 4 pattern 8\n", f);
  fclose(f);
  SystemDesc d;
  std::string error;
  ASSERT_TRUE(SystemParse(desc.c_str(), &d, &error)) << error;
  PlatSetHostRoot(dir.c_str());
  const auto good = SystemImage(d);
  int32_t link;
  const size_t planet0 = 16 + 36 + size_t([&] { int32_t v; memcpy(&v, &good[52], 4); return v; }());
  memcpy(&link, &good[planet0 + 76 + 16], 4);
  const size_t tex = planet0 + 76 + 16 + size_t(link);
  struct Case {
    const char* name;
    size_t at;
    uint32_t value;
  } cases[] = {
      {"width 4096", tex, 0x00011000},
      {"a level block past the end", tex + 16, 0x7fffff00},
      {"an image cut short", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto bad = good;
    if (c.at)
      memcpy(&bad[c.at], &c.value, 4);
    else
      bad.resize(tex + 40);
    Write(bad);
    char* p = pos;
    PlanetSysInit(&p, buffer + SIZE);
    EXPECT_HALT(PlanetSysLoadData(&p, buffer + SIZE), "planet 0 face 4: damaged texture");
    PlanetSysClose();
  }
  Load(good);
  EXPECT_EQ(ZeTexWidth(PlanetSysGetPlanet(0)->texture[4]), 8);
}

}  // namespace
