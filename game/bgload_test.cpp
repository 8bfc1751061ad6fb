// The background loader: request order, the inline wait for a buffer, the
// callback ring, inhibition, foreground loads, and the thread form on the
// one-CPU kernel in virtual time giving the inline form's results.
#include "coblib.h"
#include "game.h"
#include "gameflow_testutil.h"
#include "globular.h"
#include "zeps2.h"

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_calls;
void Record(void* argument, int handle) {
  g_calls.push_back(std::string(static_cast<const char*>(argument)) + ":" + std::to_string(handle));
}

struct BgLoadTest : FlowTest {
  void SetUp() override {
    FlowTest::SetUp();
    MainResetSettings();
    LEVELBUFFERSIZE = 0x100000;
    BuffyInit();
    bigbuffer->world_top = bigbuffer->system_top.get() + 0x10000;
    Uni("BeginWorld demo\n"
        "  BeginIsland isle\n"
        "    BeginLevel hometown\n    EndLevel\n"
        "    BeginLevel demo2\n    EndLevel\n"
        "  EndIsland\n"
        "EndWorld\n");
    LoadTrigInit();
    g_calls.clear();
  }
  void TearDown() override {
    BGLoadClose();
    ZeIntRemoveAllHandlers();
    multithreaded = 1;
    bgload_inhibit = 1;
    levcon_frame_delay = 0;
    BuffyClose();
    FlowTest::TearDown();
  }
  // The loader afresh (the universe's start already began one).
  void Start(int threaded) {
    BGLoadClose();
    multithreaded = threaded;
    if (threaded) ZeIntAddAllHandlers();
    BGLoadInit();
    bgload_inhibit = 0;
  }
  // A level with a locked LOW sub-buffer.
  BuffyDesc* Buffer(LevConLevel* l, int type = BUFFY_LOW) {
    auto* d = BuffyAllocate(0x1000, type, nullptr, nullptr);
    l->buffer = d;
    return d;
  }
};

LevConLevel* Level(const char* n) { return LevConFindLevelByName(n); }

TEST_F(BgLoadTest, OneRequestATurnInTheFixedOrder) {
  Start(0);
  LevConLevel* home = Level("hometown");
  Buffer(home);
  static char cb[] = "cb";
  BGLoadPostCallback(Record, cb);
  BGSetLevel(home, 1);
  BGSetIsland(&islands[0], 1);
  EXPECT_EQ(bgload_next_level, nullptr) << "an island request drops the level request";
  BGSetLevel(home, 1);
  BGSetWorld(&worlds[0], 1);
  EXPECT_EQ(bgload_next_level, nullptr) << "a world request drops the level request";
  BGSetIsland(&islands[0], 1);
  BGSetLevel(home, 1);
  EXPECT_EQ(BGLoadPending(), 1);
  BGSuspendMain();
  EXPECT_EQ(worlds[0].info.loaded, 1);
  EXPECT_EQ(islands[0].info.loaded, 0);
  EXPECT_EQ(bgload_pending, 1);
  BGSuspendMain();
  EXPECT_EQ(islands[0].info.loaded, 1);
  EXPECT_EQ(home->info.loaded, 0);
  BGSuspendMain();
  EXPECT_EQ(home->info.loaded, 1);
  EXPECT_TRUE(g_calls.empty());
  BGSuspendMain();
  EXPECT_EQ(g_calls, std::vector<std::string>{"cb:0"});
  EXPECT_EQ(BGLoadPending(), 1) << "the turn that ran a job leaves the loader busy";
  BGSuspendMain();
  EXPECT_EQ(bgload_pending, 0);
  EXPECT_EQ(BGLoadPending(), 0);
}

TEST_F(BgLoadTest, InlineLevelWaitsForItsBufferBeforeAnyOtherRequest) {
  Start(0);
  LevConLevel *home = Level("hometown"), *demo2 = Level("demo2");
  // Both LOW: the second waits until the first is released.
  BuffyDesc* first = Buffer(home);
  BuffyAllocate(0x1000, BUFFY_LOW, nullptr, nullptr);  // the same slot, asked again
  EXPECT_EQ(first->lockstate, BUFFY_LOCKED);
  BuffyUnlock(first);
  first->lockstate = BUFFY_UNLOCKED;
  demo2->buffer = first;  // not locked: demo2 must wait
  BGSetLevel(demo2, 1);
  static char cb[] = "cb";
  BGLoadPostCallback(Record, cb);
  for (int i = 0; i < 3; i++) BGSuspendMain();
  EXPECT_EQ(demo2->info.loaded, 0);
  EXPECT_TRUE(g_calls.empty()) << "every turn resumes the wait";
  first->lockstate = BUFFY_LOCKED;
  BGSuspendMain();
  EXPECT_EQ(demo2->info.loaded, 1);
  BGSuspendMain();
  EXPECT_EQ(g_calls.size(), 1u);
  (void)home;
}

TEST_F(BgLoadTest, CallbackRing) {
  Start(0);
  static char a[] = "a";
  int h = BGLoadPostCallback(Record, a);
  EXPECT_EQ(BGLoadGetCallbackStatus(h), BG_CB_QUEUED);
  BGSuspendMain();
  EXPECT_EQ(BGLoadGetCallbackStatus(h), BG_CB_TAKEN);
  EXPECT_EQ(BGLoadCancelCallback(h), BG_CB_TAKEN) << "cancelling after the take changes nothing";
  // 32 later posts reuse its entry; a full ring refuses the 33rd.
  std::vector<int> handles;
  for (int i = 0; i < BGLOAD_RING; i++) handles.push_back(BGLoadPostCallback(Record, a));
  EXPECT_EQ(handles.front(), h + 1);
  EXPECT_EQ(BGLoadGetCallbackStatus(h), BG_CB_GONE);
  EXPECT_EQ(BGLoadPostCallback(Record, a), BG_CB_FULL);
  // A cancelled entry is taken in its turn but not called.
  EXPECT_EQ(BGLoadCancelCallback(handles[0]), BG_CB_CANCELLED);
  EXPECT_EQ(BGLoadGetCallbackStatus(handles[0]), BG_CB_CANCELLED);
  g_calls.clear();
  BGSuspendMain();
  BGSuspendMain();
  EXPECT_EQ(g_calls, std::vector<std::string>{"a:" + std::to_string(handles[1])});
  // Negative handles name no entry.
  for (int bad : {-1, -5, -32, int(0x80000000)}) {
    EXPECT_EQ(BGLoadGetCallbackStatus(bad), BG_CB_GONE);
    EXPECT_EQ(BGLoadCancelCallback(bad), BG_CB_GONE);
  }
  BGLoadAbortAllRequests();
  EXPECT_EQ(bgload_ring_count, 0);
  BGSuspendMain();
  EXPECT_EQ(BGLoadPending(), 0);
}

TEST_F(BgLoadTest, InhibitionAndFrameDelayHoldTheLoaderIdle) {
  Start(0);
  static char a[] = "a";
  BGLoadPostCallback(Record, a);
  BGLoadInhibit(1, 0);
  BGSuspendMain();
  levcon_frame_delay = 1;
  BGLoadInhibit(0, 0);
  BGSuspendMain();
  EXPECT_TRUE(g_calls.empty());
  levcon_frame_delay = 0;
  BGSuspendMain();
  EXPECT_EQ(g_calls.size(), 1u);
  // Inhibit and wait drains the job under way.
  BGLoadPostCallback(Record, a);
  BGSuspendMain();
  EXPECT_EQ(bgload_pending, 1);
  EXPECT_EQ(BGLoadInhibit(1, 1), 1);
  EXPECT_EQ(bgload_pending, 0);
}

TEST_F(BgLoadTest, ForegroundLoadsAreFatalWhileBackgroundWorkWaits) {
  Start(0);
  LevConLevel* home = Level("hometown");
  Buffer(home);
  BGSetLevel(home, 0);
  EXPECT_EQ(home->info.loaded, 1);
  home->info.loaded = 0;
  BGSetLevel(home, 1);
  EXPECT_FLOW_HALT(BGSetLevel(home, 0), "Attempted to foreground load a level with background operation pending");
  EXPECT_FLOW_HALT(BGSetIsland(&islands[0], 0),
                   "Attempted to foreground load an island with background operation pending");
}

TEST_F(BgLoadTest, WorldNeedsRoomBelowTheSubBuffers) {
  Start(0);
  BGLoadWorld(&worlds[0]);
  EXPECT_EQ(worlds[0].info.loaded, 1);
  EXPECT_EQ(bigbuffer->world_top.get(), bigbuffer->system_top.get()) << "nothing read: the world top is the system top";
  BuffyAllocate(0x1000, BUFFY_LOW, nullptr, nullptr);
  bigbuffer->system_top = bigbuffer->desc[0].start.get();
  EXPECT_FLOW_HALT(BGLoadWorld(&worlds[0]), "BGLoadWorld failed! level buffer in the way");
}

TEST_F(BgLoadTest, AbortedLevelIsStillMarkedLoaded) {
  Start(0);
  LevConLevel* home = Level("hometown");
  Buffer(home);
  BGSetLevel(home, 1);
  BGLoadAbortPendingLevelLoad();
  EXPECT_EQ(bgload_level_abort, 1);
  BGSetLevel(home, 1);
  EXPECT_EQ(bgload_level_abort, 0) << "a level request clears the abort";
  BGLoadAbortPendingLevelLoad();
  const int sequence = bgload_load_sequence;
  BGSuspendMain();
  EXPECT_EQ(home->info.loaded, 1);
  EXPECT_EQ(home->loadstamp, sequence);
  EXPECT_EQ(bgload_load_sequence, sequence + 1);
}

// The thread runs callbacks only between the hand-over and the vertical
// blank's end, in the same order as the inline form.
TEST_F(BgLoadTest, ThreadFormGivesTheInlineResults) {
  for (int quantum : {1, 64, 1024}) {
    SCOPED_TRACE(quantum);
    KernelSetVirtualQuantum(quantum);
    Start(1);
    static char a[] = "a", b[] = "b";
    LevConLevel* home = Level("hometown");
    home->info.loaded = 0;
    Buffer(home);
    g_calls.clear();
    BGLoadPostCallback(Record, a);
    BGSetLevel(home, 1);
    BGLoadPostCallback(Record, b);
    EXPECT_TRUE(g_calls.empty()) << "nothing runs before the hand-over";
    for (int i = 0; i < 8 && BGLoadPending(); i++) BGSuspendMain();
    EXPECT_EQ(home->info.loaded, 1);
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].substr(0, 2), "a:");
    EXPECT_EQ(g_calls[1].substr(0, 2), "b:");
    BGLoadInhibit(1, 1);
    EXPECT_EQ(bgload_pending, 0);
    BGLoadClose();
    ZeIntRemoveAllHandlers();
    BuffyReset();
    home->buffer = nullptr;
  }
  KernelSetVirtualQuantum(64);
}

}  // namespace

// A level that names a light set: loading inserts it under a key the level
// keeps; dumping the level takes its lights out of the table again.
TEST_F(BgLoadTest, LevelLightSetInsertedOnLoadAndRemovedOnDump) {
  Uni("BeginWorld demo\n"
      "  BeginIsland isle\n"
      "    BeginLevel lit\n      Path levels\\lit\n      Lights level\n    EndLevel\n"
      "  EndIsland\n"
      "EndWorld\n");
  InitLights();
  std::vector<LEVLIGHT> set(LIGHTSET_RECORDS);
  for (LEVLIGHT& l : set) {
    memset(&l, 0, sizeof l);
    l.type = LEVLIGHT_FREE;
  }
  set[0].type = LEVLIGHT_POINT;
  set[0].radius = 5;
  set[1].type = LEVLIGHT_FLICKER;
  set[1].radius = 3;
  Make("levels/lit/level.lgt", "");
  ASSERT_EQ(WriteLightSet("levels\\lit\\level.lgt", set.data()), 1);
  Start(0);
  LevConLevel* lit = Level("lit");
  Buffer(lit);
  BGSetLevel(lit, 1);
  for (int i = 0; i < 4 && !lit->info.loaded; i++) BGSuspendMain();
  ASSERT_EQ(lit->info.loaded, 1);
  const int key = lit->setkeys[6];
  ASSERT_GE(key, 0);
  EXPECT_EQ(Lights[2].type, LEVLIGHT_POINT);
  EXPECT_EQ(Lights[2].key, key);
  EXPECT_EQ(Lights[3].type, LEVLIGHT_FLICKER);
  LevConDumpLevel(lit);
  EXPECT_EQ(lit->setkeys[6], -1);
  EXPECT_EQ(Lights[2].type, LEVLIGHT_FREE);
  EXPECT_EQ(Lights[3].type, LEVLIGHT_FREE);
  InitLights();
}
