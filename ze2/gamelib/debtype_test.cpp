// Effect types: the file's versions, the derived count, look-up order, the
// renderer block, and damaged files.
#include <cmath>

#include "debris_test.h"

namespace {

using Types = DebrisFiles;

TEST_F(Types, AVersion5FileGivesTheDefaultsOfTheFieldsItLacks) {
  DebrisEffectType t = TestType("OLD");
  t.cut_on = 3, t.cut_off = 7, t.draw_cut_off = 9, t.rparam[0] = 1, t.draw_flag = 3, t.ghosts = 2, t.ghost_sep = 1;
  t.sounds[0] = {5, 1, 2};
  t.spheres = 2;
  t.base_speed = 4, t.life = 2;
  Write("OLD.DAT", 5, {t});
  ASSERT_EQ(edppLoadPage("OLD.DAT", 0, nullptr), 0);
  const DebrisEffectType* r = debtab[1];
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->cut_on, 0.0f);
  EXPECT_EQ(r->cut_off, 25.0f);
  EXPECT_EQ(r->draw_cut_off, 0.0f);
  EXPECT_EQ(r->draw_flag, 0);
  EXPECT_EQ(r->ghosts, 0);
  EXPECT_EQ(r->ghost_sep, 0.0f);
  EXPECT_EQ(r->rparam[0], 0.125f);
  EXPECT_EQ(r->rparam[1], 0.125f);
  for (const DebSound& s : r->sounds) EXPECT_EQ(s.id, -1);
  EXPECT_EQ(r->spheres, 2) << "spheres are stored from version 3";
  EXPECT_EQ(r->base_speed, 4.0f);
  EXPECT_EQ(r->life, 2.0f);
  EXPECT_EQ(r->list, 0);
  EXPECT_EQ(edpp_types_used, 2);
}

TEST_F(Types, TheRecordOfEachVersionHasItsSize) {
  // Version 22 records are 832 bytes; the header is 8.
  const struct {
    int version, bytes;
  } cases[] = {{22, 832}, {21, 832}, {20, 824}, {18, 824}, {17, 848}, {16, 847}, {15, 839},
               {11, 839}, {10, 791}, {7, 787}, {6, 795}, {5, 787}};
  for (const auto& c : cases) {
    Write("SIZE.DAT", c.version, {TestType("A")});
    std::vector<uint8_t> b;
    ASSERT_TRUE(ReadTestFile(host + "/SIZE.DAT", &b));
    EXPECT_EQ(int(b.size()), 8 + c.bytes) << "version " << c.version;
  }
}

TEST_F(Types, ParticleCountsByTable) {
  const struct {
    float life;
    int rate, on, randOn, off, ghosts, count;
    const char* what;
  } cases[] = {
      {1.0f, 2, 0, 0, 0, 0, 120, "two a frame for a second"},
      {1.0f, 2, 0, 0, 0, 1, 240, "a ghost doubles it"},
      {1.0f, 0, 0, 0, 0, 0, 1, "no rate still one"},
      {1.0f, -3, 0, 0, 0, 0, 20, "one every third frame"},
      {1.0f, 2, 10, 0, 20, 0, 40, "on 10, off 20: two on-periods"},
      {1.0f, 1, 10, 5, 20, 0, 30, "the random on time counts whole"},
      {1000.0f, 100, 0, 0, 0, 0, DEB_COUNT_MAX, "a long fast type saturates"},
      {600.0f, 1, 0, 0, 0, 10, DEB_COUNT_MAX, "ghosts past the limit saturate"},
      {-1.0f, 5, 0, 0, 0, 0, 1, "a negative life"},
      {1.0f, 5, 10, 0, -1, 0, 50, "an off period that never ends"},
      {1e30f, -1, 0, 0, 0, 0, DEB_COUNT_MAX, "an endless life saturates"},
  };
  for (const auto& c : cases) {
    DebrisEffectType t = TestType("C", c.life, c.rate);
    t.on_time = int16_t(c.on), t.rand_on_time = int16_t(c.randOn), t.off_time = int16_t(c.off);
    t.ghosts = int16_t(c.ghosts);
    EXPECT_EQ(DebrisCalcParticleCount(&t), c.count) << c.what;
  }
}

TEST_F(Types, TheSurplusOfAFullTableIsReadAndDropped) {
  std::vector<DebrisEffectType> many;
  for (int i = 0; i < 250; i++) many.push_back(TestType(("T" + std::to_string(i)).c_str()));
  Write("MANY.DAT", 22, many);
  ASSERT_EQ(edppLoadPage("MANY.DAT", 0, nullptr), 0);
  EXPECT_EQ(edpp_types_used, 251);
  std::vector<DebrisEffectType> ten;
  for (int i = 0; i < 10; i++) ten.push_back(TestType(("X" + std::to_string(i)).c_str()));
  std::vector<PlacedEmitter> em = {TestEmitter("X9", 1, 2, 3)};
  Write("TEN.DAT", 22, ten, &em);
  const int page = edppLoadPage("TEN.DAT", 1, nullptr);
  EXPECT_EQ(page, 1);
  EXPECT_EQ(edpp_types_used, 256);
  EXPECT_GE(LookupDebrisEffect("X4"), 0) << "the fifth type is the last kept";
  EXPECT_EQ(LookupDebrisEffect("X5"), -1) << "the sixth is dropped";
  // The emitters after the dropped records are still read in place.
  EXPECT_EQ(edpp_instances_used, 1);
  EXPECT_EQ(edpp_ptls[0].pos.y, 2.0f);
  EXPECT_EQ(edpp_num_orphans, 1);
}

TEST_F(Types, LookUpTriesThePageThenPage0ThenAny) {
  std::vector<DebrisEffectType> general = {TestType("SMOKE"), TestType("ONLY0")};
  Write("GEN.DAT", 22, general);
  std::vector<DebrisEffectType> level = {TestType("SMOKE"), TestType("ONLY3")};
  Write("LEV.DAT", 22, level);
  ASSERT_EQ(edppLoadPage("GEN.DAT", 0, nullptr), 0);
  ASSERT_EQ(edppLoadPage("LEV.DAT", 5, nullptr), 1);
  ASSERT_EQ(edppLoadPage("LEV.DAT", 5, nullptr), 2);
  ASSERT_EQ(edppLoadPage("LEV.DAT", 5, nullptr), 3);
  const int page3 = LookupDebrisEffectPageOnly("SMOKE", 3);
  ASSERT_GT(page3, 0);
  EXPECT_EQ(debtab[page3]->page, 3);
  EXPECT_EQ(debtab[LookupDebrisEffectPage("SMOKE", 5)]->page, 0) << "page 5 empty: page 0";
  EXPECT_EQ(LookupDebrisEffectPageOnly("ONLY3", 5), -1);
  EXPECT_EQ(debtab[LookupDebrisEffectPage("ONLY3", 5)]->page, 1) << "any page, in slot order";
  EXPECT_EQ(debtab[LookupDebrisEffect("SMOKE")]->page, 1);
  EXPECT_EQ(LookupDebrisEffect("NONE"), -1);
  EXPECT_EQ(LookupDebrisEffect(""), -1);
}

TEST_F(Types, NamesOfSixteenCharactersAreComparedWithinTheirField) {
  // A full 16-byte name has no terminator; the record goes on with the list
  // and page bytes.
  DebrisEffectType t = TestType("ABCDEFGHIJKLMNOP");
  Write("LONG.DAT", 22, {t});
  ASSERT_EQ(edppLoadPage("LONG.DAT", 0, nullptr), 0);
  EXPECT_EQ(LookupDebrisEffect("ABCDEFGHIJKLMNOP"), 1);
  EXPECT_EQ(LookupDebrisEffect("ABCDEFGHIJKLMNO"), -1);
  std::vector<PlacedEmitter> em = {TestEmitter("ABCDEFGHIJKLMNOP", 0, 0, 0)};
  Write("LONGE.DAT", 22, {}, &em);
  ASSERT_EQ(edppLoadPage("LONGE.DAT", 1, nullptr), 1);
  EXPECT_EQ(edpp_ptls[0].type, 1);
  EXPECT_EQ(edpp_num_orphans, 0);
}

TEST_F(Types, OutOfRangeTableIndicesAreFatalNamingFileAndType) {
  const struct {
    void (*spoil)(DebrisEffectType*);
    const char* message;
  } cases[] = {
      {[](DebrisEffectType* t) { t->gen_kind = 12; }, "generator kind 12"},
      {[](DebrisEffectType* t) { t->gen_kind = -1; }, "generator kind -1"},
      {[](DebrisEffectType* t) { t->mom_kind = 7; }, "momentum kind 7"},
      {[](DebrisEffectType* t) { t->blend = 8; }, "blend mode 8"},
      {[](DebrisEffectType* t) { t->spheres = 9; }, "sphere count 9"},
      {[](DebrisEffectType* t) { t->spheres = -2; }, "sphere count -2"},
  };
  for (const auto& c : cases) {
    DebrisEffectType t = TestType("BAD");
    c.spoil(&t);
    Write("BAD.DAT", 22, {TestType("GOOD"), t});
    EXPECT_HALT(edppLoadPage("BAD.DAT", 0, nullptr), c.message);
    EdFileClose();
    EXPECT_HALT(edppLoadPage("BAD.DAT", 0, nullptr), "BAD.DAT: effect type \"BAD\"");
    EdFileClose();
  }
}

TEST_F(Types, BadVersionsLoadNothing) {
  for (int v : {4, 23, -1}) {
    Write("V.DAT", 22, {TestType("A")});
    std::vector<uint8_t> b;
    ASSERT_TRUE(ReadTestFile(host + "/V.DAT", &b));
    memcpy(b.data(), &v, 4);
    ASSERT_TRUE(WriteTestFile(host + "/V.DAT", b));
    EXPECT_EQ(edppLoadPage("V.DAT", 0, nullptr), -1) << v;
    EXPECT_EQ(edpp_types_used, 1);
  }
  EXPECT_EQ(edppLoadPage("MISSING.DAT", 0, nullptr), -1);
}

TEST_F(Types, TheRendererBlockCarriesColoursCornersAndSteps) {
  static DebrisDmaTypeInfo blocks[2];
  for (DebrisDmaTypeInfo& b : blocks) CreateDmaPartEffectList(&b, nullptr);
  DmaDebTypes = blocks;
  freeDmaDebType = 0;
  DebrisEffectType t = TestType("R");
  t.gravity = -2;
  t.umin = 1, t.vmin = 2, t.umax = 3.5f, t.vmax = 4;
  t.colour[0] = {0, 255, 0, 10};
  t.colour[1] = {1, 0, 255, 10};
  t.alpha[0] = {0, 128};
  t.alpha[1] = {1, 0};
  t.width[0] = {0, 2}, t.width[1] = {1, 2};
  t.height[0] = {0, 4}, t.height[1] = {1, 4};
  GenericDebinfoDmaTypeUpdate(&t);
  ASSERT_EQ(t.info.get(), &blocks[0]);
  EXPECT_EQ(freeDmaDebType, 1);
  const DebrisDmaTypeInfo& d = blocks[0];
  EXPECT_EQ(d.gravity, -2.0f);
  const int32_t corners[8] = {16, 32, 56, 32, 16, 64, 56, 64};
  for (int i = 0; i < 8; i++) EXPECT_EQ(d.corners[i], corners[i]) << i;
  auto word = [&](int step, int k) {
    uint32_t w;
    memcpy(&w, &d.steps[step].corner[k], 4);
    return w;
  };
  EXPECT_EQ(word(0, 0) & 0xff, 255u);
  EXPECT_EQ(word(0, 1) & 0xff, 0u);
  EXPECT_EQ(word(32, 0) & 0xff, 127u) << "half way: 127.5 truncated";
  EXPECT_EQ(word(32, 1) & 0xff, 127u);
  EXPECT_EQ(word(32, 2) & 0xff, 10u);
  EXPECT_EQ(word(32, 3) & 0xff, 64u);
  // No rotation: corner 0 (-p x 2.5, -q), edge (0, h), corner 2 (p x 2.5, q).
  EXPECT_NEAR(d.steps[10].corner[0], -2.5f, 1e-4f);
  EXPECT_NEAR(d.steps[10].corner[1], -2.0f, 1e-4f);
  EXPECT_NEAR(d.steps[10].corner[3], 4.0f, 1e-4f);
  EXPECT_NEAR(d.steps[10].corner[4], 2.5f, 1e-4f);
  EXPECT_NEAR(d.steps[10].corner[5], 2.0f, 1e-4f);
  EXPECT_EQ(d.steps[10].spare[0], 0u) << "the last two words are the program's";
  // A glass type's corner words hold its hexagon.
  DebrisEffectType g = TestType("G");
  g.blend = DEB_BLEND_GLASS;
  GenericDebinfoDmaTypeUpdate(&g);
  float hex[8];
  memcpy(hex, blocks[1].corners, sizeof hex);
  EXPECT_NEAR(hex[0], 0.5f, 1e-4f);
  EXPECT_NEAR(hex[2], 0.25f, 1e-4f);
  EXPECT_NEAR(hex[3], 0.4330127f, 1e-4f);
  EXPECT_NEAR(hex[6], -0.5f, 1e-4f);
  // Returned blocks are reused.
  DebrisReleaseTypeInfo(&g);
  EXPECT_EQ(freeDmaDebType, 1);
  EXPECT_EQ(g.info.get(), nullptr);
  DebrisReleaseTypeInfo(&t);
  EXPECT_EQ(freeDmaDebType, 0);
  DmaDebTypes = nullptr;
}

TEST_F(Types, EnvelopesInterpolateBetweenEnclosingKeys) {
  DebEnvKey e[8] = {{0, 0}, {0.5f, 10}, {0.5f, 20}, {1, 0}};
  const struct {
    float s, v;
  } cases[] = {{0, 0}, {0.25f, 5}, {0.5f, 10}, {0.75f, 10}, {1, 0}, {1.5f, 0}, {-0.1f, 0}};
  for (const auto& c : cases) EXPECT_FLOAT_EQ(DebrisEnvelope(e, c.s), c.v) << c.s;
}

}  // namespace
