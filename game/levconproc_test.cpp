// The operation queue and the per-frame control: the ring, sequences and
// status; preload, activation and dumps through the loader; the choice of
// world, island and level; events; release; and one script of frames run
// threaded at three quanta and inline with the same end state and events.
#include "game.h"
#include "gameflow_testutil.h"
#include "player.h"
#include "standins.h"

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

int g_calls;
int CountDone(LcopOp*) {
  g_calls++;
  return 1;
}
int g_waits;
int WaitTwice(LcopOp*) { return ++g_waits >= 3; }

LcopOp Op(LcopFn fn) {
  LcopOp op{};
  op.callback = fn;
  return op;
}

const char* const kUni =
    "BeginWorld demo\n"
    "  GBName demoplanet planets\\demo\n"
    "  Path demo\n"
    "  BeginIsland isle\n"
    "    Path demo\n"
    "    PlateID 1\n"
    "    LoadTriggers isle\n"
    "    BeginLevel hometown BUFFER MAIN 65536\n"
    "      Path demo\n"
    "      OnActivate HomeOn\n"
    "      OnDeactivate HomeOff\n"
    "      StartPos 0 0 0 0\n"
    "    EndLevel\n"
    "    BeginLevel demo2 BUFFER HIGH 65536\n"
    "      Path demo\n"
    "      OnActivate Demo2On\n"
    "      Particles fx\n"
    "      Grass grass\n"
    "      Bridges bridges\n"
    "    EndLevel\n"
    "  EndIsland\n"
    "  BeginIsland isle2\n"
    "    PlateID 2\n"
    "    BeginLevel far BUFFER MAIN 65536\n"
    "      LoadScript FarScript\n"
    "    EndLevel\n"
    "  EndIsland\n"
    "EndWorld\n";

// Bounds of "isle.ltd": LOAD hometown within 100 of the start; PRELOAD
// demo2 within 60; VIEW demo2 within 20.
std::string IsleLtd() {
  LoadTrigInit();
  loadtrig_edit_set = 0;
  TriggerBoundSet& s = loadtrig_sets[0];
  strcpy(s.filename, "demo\\isle.ltd");
  struct B {
    const char* name;
    int actions;
    float half;
  } const bounds[] = {{"demo2", LT_VIEW, 20}, {"demo2", LT_PRELOAD, 60}, {"hometown", LT_LOAD, 100}};
  int used = 0;
  for (const B& b : bounds) {
    TriggerBound* t = LoadTrigNewBound(0);
    t->type = LT_LEVEL;
    strcpy(t->name, b.name);
    t->actions = uint8_t(b.actions);
    t->top = 100;
    t->bottom = -100;
    t->radius = b.half * 1.5f;
    t->npoints = 4;
    float* p = &s.points[used * 2];
    const float h = b.half;
    const float sq[8] = {-h, -h, h, -h, h, h, -h, h};
    memcpy(p, sq, sizeof sq);
    t->points = p;
    used += 4;
  }
  s.npoints = used;
  EXPECT_EQ(LoadTrigWrite(), 1);
  LoadTrigInit();
  return "";
}

// demo2's effect, grass and bridge pages, written by the engine's writers.
void LevelPages() {
  ASSERT_EQ(edppSaveFile("demo\\fx.dat", DEBRIS_FILE_VERSION, nullptr, 0, nullptr, 0), 1);
  static const ZEVEC kVectors[4] = {};
  EdGrassFileRec grass{};
  strcpy(grass.name, "tuft");
  grass.count = 4;
  grass.radius = 1;
  grass.vectors = kVectors;
  ASSERT_EQ(edgraWritePage("demo\\grass.dat", 8, &grass, 1, 4), 1);
  EdBridgeFileRec bridge{};
  bridge.length = 10;
  bridge.nplanks = 4;
  ASSERT_EQ(edbriWritePage("demo\\bridges.dat", 1, &bridge, 1), 1);
}

struct LevConTest : FlowTest {
  void SetUp() override {
    FlowTest::SetUp();
    MainResetSettings();
    LEVELBUFFERSIZE = 0x100000;
    BuffyInit();
    bigbuffer->world_top = bigbuffer->system_top;
    Make("demo/.keep", "");
    IsleLtd();
    LevelPages();
    ParticleReset();
    edgraClumpsReset();
    edbriReset();
    multithreaded = 0;
    BGLoadClose();
    Uni(kUni);
    LoadTrigInit();
    bgload_inhibit = 0;
    Player.cob.pos = {0, 0, 0};
    Player.hitpoints = 100;
    exitgame = 0;
    paused = 0;
    planet_lev = nullptr;
    PlanetLevSetCurrentWorld(nullptr);
    levcon_override_enabled = 0;
    levcon_force_world = nullptr;
    levcon_force_island = nullptr;
    levcon_force_level = nullptr;
    start_hold_world = start_hold_island = start_hold_level = 0;
    levcon_edit = 0;
    lcoplog_enabled = 0;
    errmsg_trap = 0;  // a fatal path of an earlier test
  }
  void TearDown() override {
    BGLoadClose();
    ZeIntRemoveAllHandlers();
    multithreaded = 1;
    bgload_inhibit = 1;
    for (int i = 0; i < levcon_num_levels; i++) levels[i].buffer = nullptr;
    current_world = nullptr;
    current_island = nullptr;
    current_level = nullptr;
    gameflow_prog = nullptr;
    BuffyClose();
    FlowTest::TearDown();
  }
  void Frame() {
    LevConProcess();
    BGSuspendMain();
    ZeErrorCheck("Main Thread");
  }
  void Frames(int n) {
    for (int i = 0; i < n; i++) Frame();
  }
};

LevConLevel* Level(const char* n) { return LevConFindLevelByName(n); }

TEST_F(LevConTest, RingHolds127AndOverflowIsFatal) {
  LcopOp op = Op(CountDone);
  for (int i = 0; i < LCOP_RING - 1; i++) LevConOpPost(&op);
  EXPECT_EQ(lcopQueued(), 127);
  EXPECT_FLOW_HALT(LevConOpPost(&op), "LevConOpPost - Op overflow");
  g_calls = 0;
  LevConOpProcess();
  EXPECT_EQ(g_calls, 127) << "operations that complete run on in the same frame";
}

TEST_F(LevConTest, SequencesWrapPastZeroToTwoAndStatusReadsDoneQueuedRunning) {
  EXPECT_EQ(lcopGetStatus(-1), LCOP_UNUSED);
  LcopOp done = Op(CountDone);
  int h = LevConOpPost(&done);
  EXPECT_EQ(lcopGetStatus(h), LCOP_RUNNING) << "the head is running";
  EXPECT_EQ(lcopGetStatus((h & 0xffff0000) | 77), LCOP_UNUSED) << "a slot never used";
  LevConOpProcess();
  EXPECT_EQ(lcopGetStatus(h), LCOP_DONE);
  // Run the sequence up to 65,532.
  while ((unsigned(h) >> 16) != 65532) {
    h = LevConOpPost(&done);
    LevConOpProcess();
  }
  int a = LevConOpPost(&done), b = LevConOpPost(&done);
  EXPECT_EQ(unsigned(a) >> 16, 65535u);
  EXPECT_EQ(unsigned(b) >> 16, 5u);
  EXPECT_EQ(lcopGetStatus(b), LCOP_QUEUED);
  LevConOpProcess();
  // A handle whose slot was reused still reads done.
  for (int i = 0; i < LCOP_RING; i++) {
    LevConOpPost(&done);
    LevConOpProcess();
  }
  EXPECT_EQ(lcopGetStatus(a), LCOP_DONE);
  // A waiting head stops the queue for the frame.
  g_waits = 0;
  LcopOp wait = Op(WaitTwice);
  int w = LevConOpPost(&wait);
  int after = LevConOpPost(&done);
  g_calls = 0;
  LevConOpProcess();
  EXPECT_EQ(lcopGetStatus(w), LCOP_RUNNING);
  EXPECT_EQ(g_calls, 0);
  LevConOpProcess();
  LevConOpProcess();
  EXPECT_EQ(lcopGetStatus(after), LCOP_DONE);
  EXPECT_EQ(g_calls, 1);
}

TEST_F(LevConTest, PostersCheckTheirNodes) {
  EXPECT_EQ(lcopPostPreLoadLevel(nullptr), -1);
  EXPECT_EQ(lcopQueued(), 0);
  lcopPostLoadLevel(nullptr);
  EXPECT_EQ(lcopQueued(), 1) << "only the activation";
  EXPECT_FLOW_HALT(lcopPostShowLevel(nullptr), "Invalid level in post");
  EXPECT_FLOW_HALT(lcopPostHideLevel(nullptr), "Invalid level in post");
  EXPECT_FLOW_HALT(lcopPostPreLoadIsland(nullptr), "Invalid island in post");
  EXPECT_FLOW_HALT(lcopPostActivateIsland(nullptr), "Invalid island in post");
  EXPECT_FLOW_HALT(lcopPostLoadWorld(nullptr), "Invalid world in post");
}

TEST_F(LevConTest, LoadLevelPreloadsItsIslandThenActivates) {
  LevConLevel* home = Level("hometown");
  int h = lcopPostLoadLevel(home);
  for (int i = 0; i < 10 && lcopGetStatus(h) >= LCOP_QUEUED; i++) Frame();
  EXPECT_EQ(lcopGetStatus(h), LCOP_DONE);
  EXPECT_EQ(current_island, &islands[0]);
  EXPECT_EQ(current_level, home);
  EXPECT_EQ(home->info.loaded, 1);
  EXPECT_EQ(home->visible, 1);
  EXPECT_EQ(islands[0].ltset, 0) << "the island's load triggers were read";
  auto* d = static_cast<BuffyDesc*>(home->buffer);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->lockstate, BUFFY_UNLOCKED) << "the preload unlocks the buffer";
  EXPECT_STREQ(d->username, "hometown");
}

TEST_F(LevConTest, TheCurrentLevelByNameAndWhetherALevelIsShown) {
  LevConLevel* home = Level("hometown");
  EXPECT_EQ(LevConIsCurrent("hometown"), 0) << "no level current";
  EXPECT_EQ(LevConLevelShown(home), 0) << "not loaded";
  const int h = lcopPostLoadLevel(home);
  for (int i = 0; i < 10 && lcopGetStatus(h) >= LCOP_QUEUED; i++) Frame();
  const struct {
    const char* name;
    int current;
  } cases[] = {{"hometown", 1}, {"HomeTown", 1}, {"home", 0}, {"caves", 0}, {nullptr, 0}};
  for (const auto& c : cases) EXPECT_EQ(LevConIsCurrent(c.name), c.current) << (c.name ? c.name : "null");
  EXPECT_EQ(LevConLevelShown(home), 1);
  LevConShowLevel(home, 0);
  EXPECT_EQ(LevConLevelShown(home), 0) << "loaded but hidden";
  EXPECT_EQ(LevConLevelShown(nullptr), 0);
}

TEST_F(LevConTest, OwnerNameIsCutToItsField) {
  LevConLevel* home = Level("hometown");
  const char* saved = home->info.Name;
  static const char kLong[] = "a_level_name_far_longer_than_thirty_two_characters";
  home->info.Name = kLong;
  BuffyDesc* d = BuffyAllocate(128, BUFFY_LOW, LevConLevelBufferNotify, home);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(strlen(d->username), sizeof d->username - 1);
  EXPECT_EQ(memcmp(d->username, kLong, 31), 0);
  home->info.Name = saved;
  BuffyUnlock(d);
  BuffyRelease(d);
}

TEST_F(LevConTest, DumpQueuesTheBufferAndTheThirdProcessReleasesIt) {
  LevConLevel* home = Level("hometown");
  lcopPostLoadLevel(home);
  Frames(6);
  ASSERT_EQ(current_level, home);
  auto* d = static_cast<BuffyDesc*>(home->buffer);
  levcon_edit = 2;  // keep the choice from acting
  LevConDumpLevel(home);
  EXPECT_EQ(current_level, nullptr);
  EXPECT_EQ(home->buffer, nullptr);
  EXPECT_EQ(home->info.loaded, 0);
  LevConProcess();
  LevConProcess();
  EXPECT_EQ(d->lockstate, BUFFY_UNLOCKED);
  LevConProcess();
  EXPECT_EQ(d->lockstate, BUFFY_FREE);
}

// A level dumped while its load waits or runs: the request is dropped or
// the load abandoned and waited out; the buffer goes back only after the
// loader let go; the preload ends without touching the level.
TEST_F(LevConTest, DumpWhileLoadingLetsTheLoaderGoFirst) {
  LevConLevel* demo2 = Level("demo2");
  current_island = &islands[0];
  islands[0].info.loaded = 1;
  int h = lcopPostPreLoadLevel(demo2);
  LevConOpProcess();  // the load begins: buffer allocated, request posted
  ASSERT_EQ(bgload_next_level, demo2);
  auto* d = static_cast<BuffyDesc*>(demo2->buffer);
  ASSERT_NE(d, nullptr);
  LevConDumpLevel(demo2);
  EXPECT_EQ(bgload_next_level, nullptr) << "the waiting request is dropped";
  EXPECT_EQ(demo2->buffer, nullptr);
  LevConOpProcess();
  EXPECT_EQ(lcopGetStatus(h), LCOP_DONE) << "the preload ends";
  EXPECT_EQ(demo2->info.loaded, 0);
  for (int i = 0; i < 3; i++) LevConProcess();
  EXPECT_EQ(d->lockstate, BUFFY_FREE);
  // The same with the job under way: a level waiting for a locked buffer
  // is the loader's job until the dump waits it out.
  h = lcopPostPreLoadLevel(demo2);
  LevConOpProcess();
  auto* d2 = static_cast<BuffyDesc*>(demo2->buffer);
  d2->lockstate = BUFFY_UNLOCKED;  // not locked yet: the loader waits
  BGSuspendMain();
  ASSERT_TRUE(BGLoadIsLoading(demo2));
  d2->lockstate = BUFFY_LOCKED;
  LevConDumpLevel(demo2);
  EXPECT_FALSE(BGLoadIsLoading(demo2));
  EXPECT_EQ(demo2->buffer, nullptr);
  EXPECT_EQ(demo2->info.loaded, 0) << "the loader's mark is cleared by the dump after it";
  LevConOpProcess();
  EXPECT_EQ(lcopGetStatus(h), LCOP_DONE);
}

// The host level's low-detail specials that stand for a level are kept in
// an array taken from the level's own buffer (rounded up to 4, 8 bytes a
// special): only as many as fit are taken, never a byte past its end.
TEST_F(LevConTest, LowDetailArrayTakesOnlyTheRoomItsBufferHas) {
  LevConLevel *home = Level("hometown"), *demo2 = Level("demo2");
  static const char* const kNames[] = {"pillar_lo1", "other", "pillar_lo2", "pillar_lo3", "x_pillar_lo4"};
  struct Case {
    int room;           // bytes from the rounded cursor to the end
    int expected;       // specials taken
    const char* shown;  // each special's instance while the level shows
  } const cases[] = {{2 * 8 + 3, 2, "01011"}, {100, 4, "01000"}, {7, 0, "11111"}, {0, 0, "11111"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.room);
    memset(buffer, 0, BUFFER);
    auto* scene = reinterpret_cast<ZEGSCENE*>(buffer);
    auto* specs = reinterpret_cast<ZESPECIALOBJ*>(buffer + 1024);
    auto* insts = reinterpret_cast<ZEGSCNINST*>(buffer + 2048);
    char* names = buffer + 4096;
    scene->nspec = 5;
    scene->specs = specs;
    for (int i = 0; i < 5; i++) {
      strcpy(names + 32 * i, kNames[i]);
      specs[i].name = names + 32 * i;
      specs[i].inst = &insts[i];
      insts[i].flags = ZEGSCNINST_SHOWN;
    }
    auto* d = reinterpret_cast<BuffyDesc*>(buffer + 8192);
    char* area = buffer + 9001;  // rounded up to 9004
    d->start = area;
    d->current = area;
    d->end = buffer + 9004 + c.room;
    memset(d->end.get(), 0xAA, 64);
    home->scene = scene;
    demo2->host = home;
    demo2->lopattern = "pillar_lo";
    demo2->buffer = d;
    demo2->info.loaded = 1;
    LevConShowLevel(demo2, 1);
    EXPECT_EQ(demo2->nlospecials, c.expected);
    EXPECT_LE(d->current.get(), d->end.get());
    for (int i = 0; i < 64; i++) ASSERT_EQ(uint8_t(d->end.get()[i]), 0xAA) << "a byte past the end";
    std::string shown;
    for (int i = 0; i < 5; i++) shown += (insts[i].flags & ZEGSCNINST_SHOWN) ? '1' : '0';
    EXPECT_EQ(shown, c.shown);
    LevConShowLevel(demo2, 0);
    shown.clear();
    for (int i = 0; i < 5; i++) shown += (insts[i].flags & ZEGSCNINST_SHOWN) ? '1' : '0';
    EXPECT_EQ(shown, "11111") << "hidden again, the stand-ins show";
    demo2->lospecials = nullptr;
    demo2->nlospecials = 0;
  }
  home->scene = nullptr;
  demo2->buffer = nullptr;
  demo2->info.loaded = 0;
}

TEST_F(LevConTest, ChoiceOrder) {
  LevConLevel *home = Level("hometown"), *far = Level("far");
  LevConLevel *c, *p, *s;
  // A forced level wins and the hold count is kept.
  start_hold_level = 5;
  start_level = far;
  levcon_force_level = home;
  LevConChooseLevel(nullptr, &c, &p, &s);
  EXPECT_EQ(c, home);
  EXPECT_EQ(start_hold_level, 5);
  levcon_force_level = nullptr;
  LevConChooseLevel(nullptr, &c, &p, &s);
  EXPECT_EQ(c, far);
  EXPECT_EQ(start_hold_level, 4);
  // No hit points left while exiting: the current level, even against the override.
  start_hold_level = 0;
  levcon_override_enabled = 1;
  levcon_level_override = far;
  exitgame = 2;
  Player.hitpoints = 0;
  LevConChooseLevel(home, &c, &p, &s);
  EXPECT_EQ(c, home);
  exitgame = 0;
  LevConChooseLevel(home, &c, &p, &s);
  EXPECT_EQ(c, far);
  levcon_override_enabled = 0;
  // An island change passes through a frame with none.
  planet_lev = &islands[1];
  EXPECT_EQ(LevConChooseIsland(&islands[0]), nullptr);
  EXPECT_EQ(LevConChooseIsland(nullptr), &islands[1]);
  planet_lev = nullptr;
}

TEST_F(LevConTest, LoadScriptLevelPostsNothing) {
  GfcProgram* prog = Compile("Halt\nFarScript: Halt\n");
  gameflow_prog = prog;
  current_world = logic_current_world = nullptr;
  LevConLevel* far = Level("far");
  current_island = logic_current_island = &islands[1];
  levcon_override_enabled = 1;
  levcon_island_override = &islands[1];
  levcon_level_override = far;
  planet_lev = nullptr;
  LevConProcess();
  EXPECT_EQ(lcopQueued(), 0);
  EXPECT_EQ(logic_current_level, far);
  LevConProcess();
  EXPECT_EQ(lcopQueued(), 0) << "the choice waits for the label to load it";
  levcon_override_enabled = 0;
}

TEST_F(LevConTest, DumpInEditModeStillCallsOnDeactivate) {
  GfcProgram* prog = Compile("Halt\nHomeOn: Halt\nHomeOff: Halt\n");
  gameflow_prog = prog;
  LevConLevel* home = Level("hometown");
  lcopPostLoadLevel(home);
  Frames(6);
  ASSERT_EQ(current_level, home);
  levcon_edit = 1;
  testing::internal::CaptureStdout();
  LevConDumpLevel(home);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("(LEVEL:hometown OnDeactivate->HomeOff"), std::string::npos) << out;
}

// The new level's activation label is queued before the old level's
// deactivation label; in edit mode neither is called.
TEST_F(LevConTest, NewOnActivateBeforeOldOnDeactivate) {
  gameflow_prog = Compile("Halt\nHomeOn: Halt\nHomeOff: Halt\nDemo2On: Halt\n");
  LevConLevel *home = Level("hometown"), *demo2 = Level("demo2");
  LevConSetCurrentLevel(home);
  testing::internal::CaptureStdout();
  LevConSetCurrentLevel(demo2);
  std::string out = testing::internal::GetCapturedStdout();
  size_t on = out.find("(LEVEL:demo2 OnActivate->Demo2On"), off = out.find("(LEVEL:hometown OnDeactivate->HomeOff");
  ASSERT_NE(on, std::string::npos) << out;
  ASSERT_NE(off, std::string::npos) << out;
  EXPECT_LT(on, off);
  EXPECT_EQ(previous_level, home);
  levcon_edit = 1;
  testing::internal::CaptureStdout();
  LevConSetCurrentLevel(home);
  out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.find("OnActivate"), std::string::npos) << out;
  EXPECT_EQ(out.find("OnDeactivate"), std::string::npos) << out;
}

TEST_F(LevConTest, EventsAndTheirTexts) {
  LevConLevel* home = Level("hometown");
  EXPECT_EQ(LevConEvalEvent(LEVCON_EV_PRELOAD, ""), 5);
  EXPECT_EQ(LevConEvalEvent(LEVCON_EV_PRELOAD, "nowhere 3"), 0);
  // A text longer than the copy is cut, never copied past it.
  std::string longText = "hometown " + std::string(600, '7');
  EXPECT_EQ(LevConEvalEvent(LEVCON_EV_PRELOAD, longText.c_str()), 1);
  // Past 511 characters the text is cut: the HIDE after the spaces is lost.
  EXPECT_EQ(LevConEvalEvents(("SHOW hometown 2" + std::string(700, ' ') + "BOGUS").c_str()), 1);
  EXPECT_FLOW_HALT(LevConEvalEvents("BOGUS hometown"), "Unknown event type BOGUS");
  // Eight slots; the GBLEVEL event keeps its slot once due.
  EXPECT_EQ(LevConEvalEvents("gblevel 4 1"), 1);
  for (int i = 0; i < 10; i++) LevConScheduleEvent(LEVCON_EV_HIDE, home, 50);
  EXPECT_EQ(LevConScheduleEvent(LEVCON_EV_HIDE, home, 50), 0);
  levcon_force_level = home;
  LevConProcess();
  EXPECT_EQ(levcon_force_gblevel, 4);
  levcon_force_gblevel = 0;
  LevConProcess();
  EXPECT_EQ(levcon_force_gblevel, 4) << "it acts again every frame";
  levcon_force_level = nullptr;
  levcon_edit = 1;
  EXPECT_EQ(LevConScheduleEvent(LEVCON_EV_SHOW, home, 0), 0) << "edit mode schedules nothing";
}

// ---------------------------------------------------------------------------
// One script of frames: the world from the planet world, the start level
// held, demo2 preloaded and shown by the load triggers, out of the LOAD
// bound and back, an override to "isle2" and back.

struct Trace {
  std::string state;
  std::vector<std::string> events;
};

std::string Describe() {
  std::ostringstream s;
  s << "world " << (current_world ? current_world->info.Name : "-") << " island "
    << (current_island ? current_island->info.Name : "-") << " level "
    << (current_level ? current_level->info.Name : "-") << "\n";
  for (int i = 0; i < levcon_num_levels; i++) {
    const LevConLevel& l = levels[i];
    auto* d = static_cast<const BuffyDesc*>(l.buffer);
    s << l.info.Name << " loaded " << l.info.loaded << " visible " << l.visible << " held "
      << ((l.levflags & LEVCON_HELD) != 0) << " buffer ";
    if (d) s << d->index << ":" << (d->start.get() - bigbuffer->block_start.get()) << "+" << d->size << " lock " << d->lockstate;
    else s << "-";
    s << " keys";
    for (int k : l.setkeys) s << " " << k;
    s << "\n";
  }
  s << "pending " << BGLoadPending() << " queued " << lcopQueued();
  return s.str();
}

struct ScriptTest : LevConTest {
  Trace Run(int threaded, int quantum) {
    KernelSetVirtualQuantum(quantum);
    BGLoadClose();
    multithreaded = threaded;
    if (threaded) ZeIntAddAllHandlers();
    BGLoadInit();
    bgload_inhibit = 0;
    Trace t;
    auto seen = [&](const char* what) {
      std::string e = what;
      e += current_level ? current_level->info.Name : "-";
      if (t.events.empty() || t.events.back() != e) t.events.push_back(e);
    };
    planet_lev = nullptr;
    PlanetLevSetCurrentWorld("demoplanet");
    PlanetLevRegisterLevel(1, &islands[0].PlatePos, 0, &islands[0], 0);
    PlanetLevRegisterLevel(2, &islands[1].PlatePos, 0, &islands[1], 0);
    planet_lev = &islands[0];
    for (int f = 0; f < 60; f++) {
      Frame();
      seen("A ");
    }
    Player.cob.pos = {80, 0, 0};  // outside the preload ring, inside LOAD
    for (int f = 0; f < 20; f++) {
      Frame();
      seen("B ");
    }
    Player.cob.pos = {10, 0, 0};  // inside VIEW
    for (int f = 0; f < 60; f++) {
      Frame();
      seen("C ");
    }
    Player.cob.pos = {150, 0, 0};  // out of the LOAD bound
    for (int f = 0; f < 20; f++) {
      Frame();
      seen("D ");
    }
    Player.cob.pos = {0, 0, 0};
    for (int f = 0; f < 40; f++) {
      Frame();
      seen("E ");
    }
    levcon_override_enabled = 1;  // over to isle2 while things load
    levcon_island_override = &islands[1];
    levcon_level_override = nullptr;
    for (int f = 0; f < 40; f++) {
      Frame();
      seen("F ");
    }
    levcon_override_enabled = 0;  // and back: the planet's plate is isle's again
    planet_lev = &islands[0];
    for (int f = 0; f < 60; f++) {
      Frame();
      seen("G ");
    }
    t.state = Describe();
    // The pages go back, so that the next run numbers them alike.
    for (int i = 0; i < levcon_num_levels; i++) LevConDumpLevel(&levels[i]);
    KernelSetVirtualQuantum(64);
    return t;
  }
};

TEST_F(ScriptTest, ThreadedAtThreeQuantaAndInlineEndTheSame) {
  Trace inlineRun = Run(0, 64);
  EXPECT_NE(inlineRun.state.find("level hometown"), std::string::npos) << inlineRun.state;
  // demo2 ends shown with its effect, grass and bridge pages.
  EXPECT_NE(inlineRun.state.find("demo2 loaded 1 visible 1"), std::string::npos) << inlineRun.state;
  EXPECT_NE(inlineRun.state.find("keys -1 1 0 0 -1 -1 -1 -1"), std::string::npos) << inlineRun.state;
  for (int quantum : {1, 64, 1024}) {
    SCOPED_TRACE(quantum);
    // A fresh controller and buffer for each run.
    BuffyClose();
    BuffyInit();
    bigbuffer->world_top = bigbuffer->system_top;
    for (int i = 0; i < levcon_num_levels; i++) levels[i].buffer = nullptr;
    Uni(kUni);
    LoadTrigInit();
    Player.cob.pos = {0, 0, 0};
    Trace threaded = Run(1, quantum);
    EXPECT_EQ(threaded.state, inlineRun.state);
    EXPECT_EQ(threaded.events, inlineRun.events);
    BGLoadInhibit(1, 1);
    BGLoadClose();
    ZeIntRemoveAllHandlers();
  }
}

}  // namespace

namespace {

HaltHook g_mainHalt;
int g_mainThreadId;
// In the loader the halt returns (the kernel parks the thread); in the main
// thread it is the test's.
void ParkLoaderHalt() {
  if (GetThreadId() != g_mainThreadId) return;
  g_mainHalt();
}

}  // namespace

// A damaged island or level file stops the program with the same message
// whether the loader runs inline or as a thread (raised by the main
// thread's check after the hand-over).
TEST_F(LevConTest, DamagedIslandOrLevelFileIsTheSameFatalBothWays) {
  g_mainThreadId = GetThreadId();
  struct Case {
    const char* what;
    void (*damage)(LevConTest*);
    const char* message;
  } const cases[] = {
      {"island triggers",
       [](LevConTest* t) { t->Make("DEMO/ISLE.LTD", std::string("\3\0\0\0\377\377\0\0", 8)); },
       "Trigger Data file demo\\isle.ltd is damaged"},
      {"grass page larger than the level's buffer",
       [](LevConTest*) {
         IsleLtd();  // the island's file sound again
         ASSERT_EQ(edgraWritePage("demo\\grass.dat", 8, nullptr, 0, 100000), 1);
       },
       "Insufficient buffer space to load grass data"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.damage(this);
    for (int threaded : {0, 1}) {
      SCOPED_TRACE(threaded);
      BGLoadClose();
      multithreaded = threaded;
      if (threaded) ZeIntAddAllHandlers();
      BGLoadInit();
      bgload_inhibit = 0;
      errmsg_trap = 0;
      for (int i = 0; i < levcon_num_levels; i++) levels[i].buffer = nullptr;
      BuffyClose();
      BuffyInit();
      bigbuffer->world_top = bigbuffer->system_top;
      LoadTrigInit();
      edgraClumpsReset();
      current_island = nullptr;
      lcopPostLoadLevel(Level("demo2"));
      EXPECT_FLOW_HALT(
          {
            g_mainHalt = KernelGetHaltHook();
            KernelSetHaltHook(ParkLoaderHalt);
            for (int i = 0; i < 10; i++) Frame();
          },
          c.message);
      LevConOpReset();
      BGLoadAbortAllRequests();
      errmsg_trap = 0;
    }
  }
}
