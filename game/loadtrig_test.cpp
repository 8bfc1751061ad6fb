// Load triggers: the ".ltd" versions, damaged files, the inside test, the
// level choice with its ties, holds and inhibitions, and the three sets.
#include "gameflow_testutil.h"

#include <cstring>
#include <vector>

namespace {

struct Rec {
  int offset = 0, count = 0;
  float top = 10, bottom = -10, cx = 0, cy = 0, cz = 0, radius = 100;
  std::string name{};
  int type = LT_LEVEL, actions = LT_LOAD, priority = 128, inhibitions = 0;
};

void Put(std::string& s, size_t at, const void* p, size_t n) { memcpy(&s[at], p, n); }
template <class T>
void Put(std::string& s, size_t at, T v) {
  Put(s, at, &v, sizeof v);
}

// A file of the given version made byte by byte.
std::string Ltd(int version, const std::vector<Rec>& recs, const std::vector<float>& pts) {
  const size_t size = version == 3 ? 92 : version == 2 ? 76 : 72;
  std::string s(8 + recs.size() * size + 4 + pts.size() * 4, '\0');
  Put(s, 0, int32_t(version));
  Put(s, 4, int32_t(recs.size()));
  for (size_t i = 0; i < recs.size(); i++) {
    const Rec& r = recs[i];
    size_t at = 8 + i * size;
    s[at + 16] = 1;
    Put(s, at + 20, int32_t(r.offset));
    Put(s, at + 24, int32_t(r.count));
    float f[6] = {r.top, r.bottom, r.cx, r.cy, r.cz, r.radius};
    Put(s, at + 28, f, sizeof f);
    size_t name = version == 3 ? 32 : version == 2 ? 16 : 20;
    memcpy(&s[at + 52], r.name.c_str(), std::min(name, r.name.size()));
    if (version >= 2) {
      size_t t = at + 52 + name;
      s[t] = char(r.type);
      s[t + 1] = char(0x55);  // the stored index is re-resolved
      s[t + 2] = char(r.actions);
      s[t + 3] = char(r.priority);
      s[t + 4] = char(r.inhibitions);
    }
  }
  size_t at = 8 + recs.size() * size;
  Put(s, at, int32_t(pts.size() / 2));
  if (!pts.empty()) Put(s, at + 4, pts.data(), pts.size() * 4);
  return s;
}

// A square of half-width h around the centre.
std::vector<float> Square(float h) { return {-h, -h, h, -h, h, h, -h, h}; }

struct LoadTrigTest : FlowTest {
  void SetUp() override {
    FlowTest::SetUp();
    Uni("BeginWorld demo\n"
        "  BeginIsland isle\n"
        "    LoadTriggers isle\n"
        "    BeginLevel hometown\n    EndLevel\n"
        "    BeginLevel demo2\n    EndLevel\n"
        "  EndIsland\n"
        "  BeginIsland isle2\n    BeginLevel far\n    EndLevel\n  EndIsland\n"
        "  BeginIsland isle3\n  EndIsland\n"
        "  BeginIsland isle4\n  EndIsland\n"
        "EndWorld\n");
    LoadTrigInit();
    loadtrig_inhibitions = 0;
    current_island = nullptr;
  }
  void TearDown() override {
    current_island = nullptr;
    FlowTest::TearDown();
  }
  // Reads bytes as "t.ltd"; fresh gives back every set first.
  int Read(const std::string& bytes, LevConIsland* island = &islands[0], bool fresh = true) {
    if (fresh)
      for (int k = 0; k < LOADTRIG_SETS; k++) {
        LoadTrigDump(k);
        loadtrig_sets[k].owner = nullptr;
      }
    Make("t.ltd", bytes);
    return LoadTrigRead("t.ltd", island);
  }
  std::vector<TriggerBound*> List(int key) {
    std::vector<TriggerBound*> v;
    for (TriggerBound* b = loadtrig_sets[key].first; b; b = b->next) v.push_back(b);
    return v;
  }
  // The level choice at a point, starting from the incoming level.
  LevConLevel* Choose(int key, ZEVEC p, LevConLevel* incoming, int* result = nullptr,
                      LevConLevel** preload = nullptr, LevConLevel** show = nullptr) {
    LevConLevel* l = incoming;
    int r = LoadTrigCheckBounds(key, &p, &l, preload, show, nullptr, nullptr);
    if (result) *result = r;
    return l;
  }
};

LevConLevel* Level(const char* name) { return LevConFindLevelByName(name); }

TEST_F(LoadTrigTest, VersionThreeRoundTripsThroughTheWriter) {
  std::vector<float> pts = Square(5);
  pts.insert(pts.end(), {0, 0, 3, 0, 0, 3});
  Rec a{.offset = 0, .count = 4, .cx = 1, .cy = 2, .cz = 3, .radius = 7.5f, .name = "hometown",
        .actions = LT_LOAD | LT_HOLD, .priority = 7, .inhibitions = LT_NOGLIDER};
  Rec b{.offset = 32, .count = 3, .name = "Demo2", .actions = LT_PRELOAD};
  int key = Read(Ltd(3, {a, b}, pts));
  auto bounds = List(key);
  ASSERT_EQ(bounds.size(), 2u);
  // Read puts each bound at the front: the list runs in reverse file order.
  TriggerBound* first = bounds[1];
  EXPECT_EQ(first->index, 0);
  EXPECT_STREQ(first->name, "hometown");
  EXPECT_EQ(first->priority, 7);
  EXPECT_EQ(first->inhibitions, LT_NOGLIDER);
  EXPECT_FLOAT_EQ(first->centre.z, 3);
  EXPECT_FLOAT_EQ(first->radius, 7.5f);
  EXPECT_EQ(first->points.get(), &loadtrig_sets[key].points[0]);
  EXPECT_EQ(bounds[0]->index, 1) << "names are matched without regard to case";
  EXPECT_EQ(bounds[0]->points.get(), &loadtrig_sets[key].points[8]);
  EXPECT_EQ(loadtrig_sets[key].npoints, 7);

  // Written back in list order: the file's bounds come out reversed.
  loadtrig_edit_set = key;
  strcpy(loadtrig_sets[key].filename, "w.ltd");
  ASSERT_EQ(LoadTrigWrite(), 1);
  std::string w = HostFile("W.LTD");
  ASSERT_EQ(w.size(), 8u + 2 * 92 + 4 + 7 * 8);
  int32_t v, offset0, offset1;
  memcpy(&v, &w[0], 4);
  memcpy(&offset0, &w[8 + 20], 4);
  memcpy(&offset1, &w[8 + 92 + 20], 4);
  EXPECT_EQ(v, 3);
  EXPECT_EQ(offset0, 32);
  EXPECT_EQ(offset1, 0);
  EXPECT_EQ(w[8 + 85], 1) << "the index is written as resolved";
  EXPECT_EQ(w.substr(8, 8), std::string(8, '\0')) << "links written as 0";
  // Read again, the order turns back.
  int again = LoadTrigRead(nullptr, nullptr);
  EXPECT_EQ(again, key);
  EXPECT_STREQ(List(key)[0]->name, "hometown");
}

TEST_F(LoadTrigTest, WriterWritesNothingForAnEmptySet) {
  loadtrig_edit_set = 0;
  strcpy(loadtrig_sets[0].filename, "empty.ltd");
  EXPECT_EQ(LoadTrigWrite(), 0);
  EXPECT_FALSE(std::filesystem::exists(dir + "/empty.ltd"));
}

TEST_F(LoadTrigTest, OlderVersionsAndTheirNames) {
  // Version 2: a 16-byte name, read up to its zero; the fields after it.
  Rec r{.count = 4, .name = "hometown", .actions = LT_VIEW, .priority = 3};
  int key = Read(Ltd(2, {r}, Square(5)));
  TriggerBound* b = List(key).at(0);
  EXPECT_STREQ(b->name, "hometown");
  EXPECT_EQ(b->index, 0);
  EXPECT_EQ(b->actions, LT_VIEW);
  EXPECT_EQ(b->priority, 3);
  // Version 1: a 20-byte name and no association; the defaults stay.
  LoadTrigDump(key);
  key = Read(Ltd(1, {r}, Square(5)));
  b = List(key).at(0);
  EXPECT_EQ(b->type, LT_NONE);
  EXPECT_EQ(b->index, -1);
  EXPECT_EQ(b->name[0], 0);
  EXPECT_EQ(b->priority, 128);
  EXPECT_EQ(b->actions, 0);
  // Such a bound changes nothing but the outputs.
  LevConLevel* show = nullptr;
  int result = 9;
  EXPECT_EQ(Choose(key, {0, 0, 0}, Level("demo2"), &result, nullptr, &show), nullptr);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(show, nullptr);
}

TEST_F(LoadTrigTest, VersionsAndDamagedFilesAreFatalNamingTheFile) {
  Rec ok{.count = 4, .name = "hometown"};
  std::string newer = Ltd(3, {ok}, Square(1));
  newer[0] = 4;
  EXPECT_FLOW_HALT(Read(newer), "Trigger Data file t.ltd needs a newer game");
  std::string minus = newer;
  Put(minus, 0, int32_t(-1));
  EXPECT_FLOW_HALT(Read(minus), "needs a newer game");
  std::string zero = newer;
  zero[0] = 0;
  EXPECT_FLOW_HALT(Read(zero), "Unknown triggerbound filetype 0");

  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string hugeCount = Ltd(3, {ok}, Square(1));
  Put(hugeCount, 4, int32_t(1000000));
  std::string negCount = Ltd(3, {ok}, Square(1));
  Put(negCount, 4, int32_t(-3));
  std::string shortPoints = Ltd(3, {ok}, Square(1));
  shortPoints.resize(shortPoints.size() - 4);
  const Case cases[] = {
      {"a count past the file", hugeCount},
      {"a negative count", negCount},
      {"points past the file", shortPoints},
      {"an offset not a multiple of 8", Ltd(3, {Rec{.offset = 4, .count = 1}}, Square(1))},
      {"an offset past the points", Ltd(3, {Rec{.offset = 32, .count = 1}}, Square(1))},
      {"a count past the points", Ltd(3, {Rec{.offset = 8, .count = 4}}, Square(1))},
      {"a negative offset", Ltd(3, {Rec{.offset = -8, .count = 1}}, Square(1))},
      {"a header alone", std::string(5, '\3')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FLOW_HALT(Read(c.bytes), "Trigger Data file t.ltd is damaged");
  }
  // A name filling its field is cut at 31 characters, never read past.
  Rec longName{.count = 4, .name = std::string(40, 'x')};
  int key = Read(Ltd(3, {longName}, Square(1)));
  EXPECT_EQ(List(key).at(0)->index, -1);
  EXPECT_EQ(List(key).at(0)->name[0], 0);
}

TEST_F(LoadTrigTest, MissingOrOversizedFileGivesAnEmptySet) {
  EXPECT_EQ(LoadTrigRead("none.ltd", &islands[0]), 0);
  EXPECT_EQ(loadtrig_sets[0].first, nullptr);
  EXPECT_EQ(loadtrig_sets[0].owner, &islands[0]);
  LevConLevel* l = Level("hometown");
  int r = 5;
  EXPECT_EQ(Choose(0, {0, 0, 0}, l, &r), nullptr) << "a set without points leaves no level";
  EXPECT_EQ(r, 0);
}

// The 256 bounds are shared by the three sets.
TEST_F(LoadTrigTest, TooManyBoundsIsFatal) {
  std::string bytes = Ltd(1, std::vector<Rec>(100, Rec{.count = 1}), {0, 0});
  for (int i = 0; i < 2; i++) islands[i].ltset = Read(bytes, &islands[i], false);
  EXPECT_FLOW_HALT(Read(bytes, &islands[2], false), "too many triggerbounds");
}

TEST_F(LoadTrigTest, InsideTestBoundaries) {
  // An L-shaped (concave) prism: centre (10, 5, 20), height -2..3, points
  // relative to the centre.
  TriggerBound b{};
  float pts[] = {0, 0, 4, 0, 4, 1, 1, 1, 1, 4, 0, 4};
  b.points = pts;
  b.npoints = 6;
  b.top = 3;
  b.bottom = -2;
  b.centre = {10, 5, 20};
  b.radius = 4;
  struct Case {
    ZEVEC p;
    int ignoreHeight, inside;
  } const cases[] = {
      {{10.5f, 5, 20.5f}, 0, 1},   // the corner square
      {{13, 5, 20.5f}, 0, 1},      // the long arm in x
      {{10.5f, 5, 23}, 0, 1},      // the long arm in z
      {{13, 5, 23}, 0, 0},         // the notch: an even number of crossings
      {{10.5f, 8, 20.5f}, 0, 1},   // exactly at the top
      {{10.5f, 3, 20.5f}, 0, 1},   // exactly at the bottom
      {{10.5f, 8.01f, 20.5f}, 0, 0},
      {{10.5f, 2.99f, 20.5f}, 0, 0},
      {{10.5f, 100, 20.5f}, 1, 1},  // height ignored
      {{9.5f, 5, 20.5f}, 0, 0},     // outside in x
  };
  for (const Case& c : cases) {
    ltPtInsideTriggerBoundInit(&c.p);
    EXPECT_EQ(ltPtInsideTriggerBound(&b, c.ignoreHeight), c.inside) << c.p.x << "," << c.p.y << "," << c.p.z;
  }
  // The radius test allows equality; beyond it the polygon is not asked.
  float wide[] = {-10, -10, 10, -10, 10, 10, -10, 10};
  b.points = wide;
  b.npoints = 4;
  b.radius = 3;
  ZEVEC onCircle = {13, 5, 20}, beyond = {13.01f, 5, 20};
  ltPtInsideTriggerBoundInit(&onCircle);
  EXPECT_EQ(ltPtInsideTriggerBound(&b, 0), 1);
  ltPtInsideTriggerBoundInit(&beyond);
  EXPECT_EQ(ltPtInsideTriggerBound(&b, 0), 0);
  // No points: never entered.
  b.npoints = 0;
  ltPtInsideTriggerBoundInit(&onCircle);
  EXPECT_EQ(ltPtInsideTriggerBound(&b, 0), 0);
}

TEST_F(LoadTrigTest, TiesGoToTheBoundReadFirstAndPriorityZeroCanWin) {
  std::vector<float> pts = Square(5);
  Rec home{.count = 4, .name = "hometown"}, demo{.count = 4, .name = "demo2"};
  int key = Read(Ltd(3, {home, demo}, pts));
  EXPECT_EQ(Choose(key, {0, 0, 0}, nullptr), Level("hometown"));
  LoadTrigDump(key);
  key = Read(Ltd(3, {demo, home}, pts));
  EXPECT_EQ(Choose(key, {0, 0, 0}, nullptr), Level("demo2"));
  // A higher priority wins wherever it stands; priority 0 alone still wins.
  LoadTrigDump(key);
  home.priority = 200;
  key = Read(Ltd(3, {demo, home}, pts));
  EXPECT_EQ(Choose(key, {0, 0, 0}, nullptr), Level("hometown"));
  LoadTrigDump(key);
  home.priority = 0;
  int r = 0;
  key = Read(Ltd(3, {home}, pts));
  EXPECT_EQ(Choose(key, {0, 0, 0}, nullptr, &r), Level("hometown"));
  EXPECT_EQ(r, 1);
  // Outside every bound: no level.
  EXPECT_EQ(Choose(key, {50, 0, 0}, Level("hometown"), &r), nullptr);
  EXPECT_EQ(r, 0);
}

TEST_F(LoadTrigTest, HoldPreloadViewAndInhibitions) {
  std::vector<float> pts = Square(5);
  Rec hold{.count = 4, .name = "hometown", .actions = LT_HOLD, .inhibitions = LT_NOTRIKE};
  Rec pre{.count = 4, .cx = 3, .name = "demo2", .actions = LT_PRELOAD};
  Rec view{.count = 4, .cx = -3, .name = "demo2", .actions = LT_VIEW};
  Rec trike{.count = 4, .name = "demo2", .actions = LT_LOAD, .priority = 1, .inhibitions = LT_NOTRIKE};
  int key = Read(Ltd(3, {hold, pre, view, trike}, pts));
  LevConLevel *home = Level("hometown"), *demo2 = Level("demo2");
  struct Case {
    const char* what;
    ZEVEC p;
    int inhibitions;
    LevConLevel *incoming, *level, *preload, *show;
    int result;
  } const cases[] = {
      {"hold keeps the incoming level", {0, 0, 0}, 0, home, home, demo2, demo2, 1},
      {"hold of another level is ignored", {0, 0, 0}, 0, demo2, demo2, demo2, demo2, 1},
      {"preload only, east of the view bound", {7, 0, 0}, 0, nullptr, nullptr, demo2, nullptr, 0},
      {"trike skips NO TRIKE but not HOLD", {0, 0, 0}, LT_NOTRIKE, home, home, demo2, demo2, 1},
      {"trike without a hold: nothing", {0, 0, 0}, LT_NOTRIKE, demo2, nullptr, demo2, demo2, 0},
      {"the craft skips every level bound", {0, 0, 0}, LT_NOCRAFT, home, nullptr, nullptr, nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    loadtrig_inhibitions = c.inhibitions;
    LevConLevel *preload = nullptr, *show = nullptr;
    int r = -1;
    EXPECT_EQ(Choose(key, c.p, c.incoming, &r, &preload, &show), c.level);
    EXPECT_EQ(preload, c.preload);
    EXPECT_EQ(show, c.show);
    EXPECT_EQ(r, c.result);
  }
}

TEST_F(LoadTrigTest, LabelsAndSemaphores) {
  GfcProgram* prog = Compile("AddSem door 0 1\nAddSem bell 0 1\nHere: Halt\nThere: Halt\n");
  ASSERT_NE(prog, nullptr);
  gameflow_prog = prog;
  int there = gfcFindLabel(prog, "There"), bell = gfcFindSem("bell");
  ASSERT_GE(there, 0);
  ASSERT_GE(bell, 0);
  std::vector<float> pts = Square(5);
  Rec l1{.count = 4, .name = "Here", .type = LT_FLOWLABEL, .priority = 5};
  Rec l2{.count = 4, .name = "There", .type = LT_FLOWLABEL, .priority = 9};
  Rec s1{.count = 4, .name = "bell", .type = LT_SEMAPHORE, .priority = 0};
  Rec lost{.count = 4, .name = "Nowhere", .type = LT_FLOWLABEL, .priority = 1};
  int key = Read(Ltd(3, {l1, l2, s1, lost}, pts));
  gameflow_prog = nullptr;
  EXPECT_EQ(List(key).at(0)->index, -1) << "an unknown label leaves the bound without one";
  ZEVEC p = {0, 0, 0};
  int label = 0, sem = 0;
  LevConLevel* l = Level("hometown");
  EXPECT_EQ(LoadTrigCheckBounds(key, &p, &l, nullptr, nullptr, &label, &sem), 0);
  EXPECT_EQ(label, there);
  EXPECT_EQ(sem, bell);
  EXPECT_EQ(l, nullptr);
  p.x = 50;
  LoadTrigCheckBounds(key, &p, nullptr, nullptr, nullptr, &label, &sem);
  EXPECT_EQ(label, -1);
  EXPECT_EQ(sem, -1);
}

// Bounds naming a world, an island or nothing take no part in the level
// choice, whatever their index: a world or island index is not a level's.
TEST_F(LoadTrigTest, WorldIslandAndNoneBoundsAreIgnoredInTheLevelChoice) {
  std::vector<float> pts = Square(5);
  Rec island{.count = 4, .name = "isle4", .type = LT_ISLAND, .priority = 255};
  Rec world{.count = 4, .name = "demo", .type = LT_WORLD, .priority = 255};
  Rec none{.count = 4, .name = "x", .type = LT_NONE, .priority = 255};
  Rec home{.count = 4, .name = "hometown", .priority = 1};
  int key = Read(Ltd(3, {island, world, none, home}, pts));
  auto bounds = List(key);
  EXPECT_EQ(bounds[3]->index, 3) << "isle4 is island 3, past the 3 levels";
  EXPECT_EQ(bounds[2]->index, 0);
  EXPECT_EQ(Choose(key, {0, 0, 0}, nullptr), Level("hometown"));
  // A hand-made index past the level table chooses nothing.
  bounds[1]->index = 100;
  bounds[1]->type = LT_LEVEL;
  EXPECT_EQ(Choose(key, {0, 0, 0}, nullptr), nullptr);
  bounds[1]->actions = LT_HOLD;
  EXPECT_EQ(Choose(key, {0, 0, 0}, nullptr), Level("hometown")) << "a hold naming no level holds nothing";
}

TEST_F(LoadTrigTest, AFourthIslandTakesTheSetOfOneNotCurrent) {
  std::string bytes = Ltd(3, {Rec{.count = 4, .name = "hometown"}}, Square(5));
  for (int i = 0; i < 3; i++) {
    islands[i].ltset = Read(bytes, &islands[i], false);
    islands[i].info.loaded = 1;
    EXPECT_EQ(islands[i].ltset, i);
  }
  current_island = &islands[0];
  int key = Read(bytes, &islands[3], false);
  EXPECT_EQ(key, 1);
  EXPECT_EQ(islands[1].ltset, -1);
  EXPECT_EQ(islands[1].info.loaded, 0);
  EXPECT_EQ(islands[2].info.loaded, 1);
  EXPECT_EQ(loadtrig_sets[1].owner, &islands[3]);
  EXPECT_EQ(List(1).size(), 1u) << "the old bounds went back to the free list";
  // An owner whose key does not name its set.
  islands[2].ltset = 0;
  EXPECT_FLOW_HALT(Read(bytes, &islands[1], false), "Er, owner's ltid does not match this ltid");
  // Every set held by the current island.
  for (TriggerBoundSet& s : loadtrig_sets) s.owner = &islands[0];
  EXPECT_FLOW_HALT(Read(bytes, &islands[1], false), "No free loadtrigger buffers - parp!");
}

TEST_F(LoadTrigTest, DumpGivesEveryBoundBack) {
  std::vector<Rec> recs(100, Rec{.count = 1});
  for (int round = 0; round < 6; round++) {
    int key = Read(Ltd(1, recs, {0, 0}), &islands[0], false);
    EXPECT_EQ(List(key).size(), 100u);
    LoadTrigDump(key);
    EXPECT_EQ(loadtrig_sets[key].first, nullptr);
    EXPECT_EQ(loadtrig_sets[key].npoints, 0);
    EXPECT_EQ(loadtrig_sets[key].owner, &islands[0]) << "owner and name stay";
    loadtrig_sets[key].owner = nullptr;
  }
}

}  // namespace
