#include "platform_test.h"

#include <string>
#include <vector>

namespace {

// Creates and starts a thread; the caller keeps the id to delete it.
int Spawn(void (*fn)(void*), int prio, void* arg = nullptr) {
  ThreadParam tp{};
  tp.func = fn;
  tp.initPriority = prio;
  tp.stackSize = 64 * 1024;
  int id = CreateThread(&tp);
  EXPECT_GT(id, 0);
  StartThread(id, arg);
  return id;
}

// Lets finished threads reach their end, then deletes them.
void Reap(std::initializer_list<int> ids) {
  KernelWaitVSync();
  for (int id : ids) EXPECT_EQ(DeleteThread(id), 0);
}

int MakeSema(int init, int max = 0) {
  SemaParam sp{};
  sp.initCount = init;
  sp.maxCount = max;
  return CreateSema(&sp);
}

// ---- two threads never run engine code at once ----

int g_counter, g_inside, g_overlaps;
constexpr int ROUNDS = 2000;

void Racer(void* arg) {
  int sema = *static_cast<int*>(arg);
  for (int i = 0; i < ROUNDS; i++) {
    if (++g_inside != 1) g_overlaps++;
    int v = g_counter;  // an unguarded read-modify-write: loses counts if two run at once
    volatile int spin = 0;
    while (spin < 50) spin = spin + 1;
    g_counter = v + 1;
    g_inside--;
    RotateThreadReadyQueue(1);  // hand the CPU to the other racer
  }
  SignalSema(sema);
}

}  // namespace

TEST(Kernel, TwoThreadsNeverRunEngineCodeAtOnce) {
  g_counter = g_inside = g_overlaps = 0;
  int done = MakeSema(0);
  int a = Spawn(Racer, 1, &done);
  int b = Spawn(Racer, 1, &done);
  WaitSema(done);
  WaitSema(done);
  EXPECT_EQ(g_counter, 2 * ROUNDS);
  EXPECT_EQ(g_overlaps, 0);
  Reap({a, b});
  DeleteSema(done);
}

namespace {
std::vector<std::string> g_order;
int g_orderSema;
void Named(void* arg) {
  g_order.push_back(static_cast<const char*>(arg));
  SignalSema(g_orderSema);
}
}  // namespace

TEST(Kernel, HigherPriorityRunsFirstAndPreemptsOnSignal) {
  g_order.clear();
  g_orderSema = MakeSema(0);
  // Main (priority 0) keeps the CPU while it creates them; then it waits.
  int low = Spawn(Named, 5, const_cast<char*>("low"));
  int high = Spawn(Named, 2, const_cast<char*>("high"));
  int mid = Spawn(Named, 3, const_cast<char*>("mid"));
  EXPECT_TRUE(g_order.empty());
  for (int i = 0; i < 3; i++) WaitSema(g_orderSema);
  // Each signal wakes main (priority 0) at once, so order follows priority.
  EXPECT_EQ(g_order, (std::vector<std::string>{"high", "mid", "low"}));
  Reap({low, high, mid});
  DeleteSema(g_orderSema);
}

TEST(Kernel, SemaphoresCountAndPoll) {
  int s = MakeSema(1, 2);
  EXPECT_EQ(PollSema(s), s);
  EXPECT_EQ(PollSema(s), KE_ERROR);
  EXPECT_EQ(SignalSema(s), s);
  EXPECT_EQ(SignalSema(s), s);
  EXPECT_EQ(SignalSema(s), KE_ERROR) << "beyond the maximum count";
  SemaParam st{};
  ReferSemaStatus(s, &st);
  EXPECT_EQ(st.count, 2);
  EXPECT_EQ(WaitSema(s), s);
  DeleteSema(s);
  EXPECT_EQ(PollSema(s), KE_ERROR);
}

namespace {
int g_sleeperWoke;
void Sleeper(void*) {
  SleepThread();
  g_sleeperWoke++;
  SleepThread();  // a wake-up sent earlier is counted and consumed here
  g_sleeperWoke++;
}
}  // namespace

TEST(Kernel, SleepAndWakeupCountWakeups) {
  g_sleeperWoke = 0;
  int t = Spawn(Sleeper, 1);
  KernelWaitVSync();  // the sleeper runs and sleeps
  EXPECT_EQ(g_sleeperWoke, 0);
  WakeupThread(t);
  KernelWaitVSync();
  EXPECT_EQ(g_sleeperWoke, 2 - 1);
  WakeupThread(t);
  KernelWaitVSync();
  EXPECT_EQ(g_sleeperWoke, 2);
  Reap({t});
}

// ---- interrupts ----

namespace {
int g_irqCount;
bool g_sawInInterrupt;
int CountIrq(int) {
  g_irqCount++;
  g_sawInInterrupt = KernelInInterrupt();
  return 0;
}
}  // namespace

TEST(Kernel, MaskedInterruptIsDeliveredWhenUnmaskedNotBefore) {
  g_irqCount = 0;
  int id = AddIntcHandler(INTC_GS, CountIrq, 0);
  EnableIntc(INTC_GS);
  IntcRaise(INTC_GS);
  EXPECT_EQ(g_irqCount, 0) << "delivery waits for a safe point";
  KernelYield();
  EXPECT_EQ(g_irqCount, 1);
  EXPECT_TRUE(g_sawInInterrupt);
  EXPECT_FALSE(KernelInInterrupt());

  EXPECT_EQ(DisableIntc(INTC_GS), 1);
  EXPECT_EQ(DisableIntc(INTC_GS), 0);
  IntcRaise(INTC_GS);
  IntcRaise(INTC_GS);  // one latch: two raises while masked deliver once
  KernelYield();
  KernelYield();
  EXPECT_EQ(g_irqCount, 1);
  EXPECT_EQ(EnableIntc(INTC_GS), 1);
  EXPECT_EQ(g_irqCount, 2) << "the release delivers what is pending";
  DisableIntc(INTC_GS);
  RemoveIntcHandler(INTC_GS, id);
}

TEST(Kernel, DmaChannelInterruptsRunTheirHandlers) {
  g_irqCount = 0;
  int id = AddDmacHandler(DMAC_GIF, CountIrq, 0);
  DmacRaise(DMAC_GIF);
  KernelYield();
  EXPECT_EQ(g_irqCount, 0) << "masked at start";
  EnableDmac(DMAC_GIF);
  EXPECT_EQ(g_irqCount, 1);
  DisableDmac(DMAC_GIF);
  RemoveDmacHandler(DMAC_GIF, id);
}

namespace {
std::string g_delivered;
int NoteGs(int) { g_delivered += "G"; return 1; }
int NoteDma(int) { g_delivered += "D"; return 1; }
}  // namespace

TEST(Kernel, InterruptsAreDeliveredInTheOrderRaised) {
  g_delivered.clear();
  int g = AddIntcHandler(INTC_GS, NoteGs, 0);
  int d = AddDmacHandler(DMAC_VIF1, NoteDma, 0);
  EnableIntc(INTC_GS);
  EnableDmac(DMAC_VIF1);
  DmacRaise(DMAC_VIF1);
  IntcRaise(INTC_GS);
  KernelYield();
  IntcRaise(INTC_GS);
  DmacRaise(DMAC_VIF1);
  KernelYield();
  EXPECT_EQ(g_delivered, "DGGD");
  DisableIntc(INTC_GS);
  DisableDmac(DMAC_VIF1);
  RemoveIntcHandler(INTC_GS, g);
  RemoveDmacHandler(DMAC_VIF1, d);
}

// ---- the loader pattern: a low-priority thread runs between the swap and
// the vertical-blank end, which suspends it and wakes the main thread ----

namespace {
int g_loaderId, g_frameSema;
volatile int g_flag, g_loaderRunning;
int g_spins, g_spinsWhenSet;
std::vector<std::string> g_trace;

int VBlankEnd(int) {
  if (g_loaderRunning) {
    g_loaderRunning = 0;
    iSuspendThread(g_loaderId);
    iSignalSema(g_frameSema);
  }
  return 1;
}

void SpinningLoader(void*) {
  while (!g_flag) {
    g_spins++;
    KernelYield();  // without it the flag could never be seen set
  }
  g_trace.push_back("loader sees flag after " + std::to_string(g_spins - g_spinsWhenSet) + " spins");
  ExitThread();
}

// Runs a fixed script of frames; returns a trace of what happened when.
std::vector<std::string> RunFrames(int frames, int setFlagAt) {
  g_trace.clear();
  g_flag = 0;
  g_spins = 0;
  KernelWaitVSync();  // start on a field boundary so runs compare
  uint64_t start = KernelLines();
  g_frameSema = MakeSema(0);
  ThreadParam tp{};
  tp.func = SpinningLoader;
  tp.initPriority = 1;
  tp.stackSize = 64 * 1024;
  g_loaderId = CreateThread(&tp);
  StartThread(g_loaderId, nullptr);
  SuspendThread(g_loaderId);
  int h = AddIntcHandler(INTC_VBLANK_E, VBlankEnd, 0);
  EnableIntc(INTC_VBLANK_E);
  for (int f = 0; f < frames; f++) {
    if (f == setFlagAt) {
      g_flag = 1;
      g_spinsWhenSet = g_spins;
    }
    KernelWaitVSync();  // the swap
    g_loaderRunning = 1;
    ResumeThread(g_loaderId);
    WaitSema(g_frameSema);  // the loader runs until the vertical-blank end
    g_trace.push_back("frame " + std::to_string(f) + " at line " + std::to_string(KernelLines() - start) +
                      " spins " + std::to_string(g_spins));
  }
  DisableIntc(INTC_VBLANK_E);
  RemoveIntcHandler(INTC_VBLANK_E, h);
  ThreadParam st{};
  ReferThreadStatus(g_loaderId, &st);
  if (st.status != THS_DORMANT) TerminateThread(g_loaderId);
  DeleteThread(g_loaderId);
  DeleteSema(g_frameSema);
  return g_trace;
}

}  // namespace

TEST(Kernel, SpinningLoaderProgressesOnlyThroughItsYield) {
  KernelSetVirtualQuantum(8);
  std::vector<std::string> trace = RunFrames(4, 2);
  // Frames 0 and 1: the loader spins its quantum each frame; it sees the
  // flag in frame 2, the first slice after main set it.
  ASSERT_EQ(trace.size(), 5u);
  EXPECT_EQ(trace[0], "frame 0 at line 284 spins 8");
  EXPECT_EQ(trace[1], "frame 1 at line 546 spins 16");
  EXPECT_EQ(trace[2], "loader sees flag after 0 spins");
  EXPECT_EQ(trace[3], "frame 2 at line 808 spins 16");
  KernelSetVirtualQuantum(64);
}

TEST(Kernel, VirtualTimeRunsTheSameScriptTheSameWayTwice) {
  std::vector<std::string> first = RunFrames(6, 3);
  std::vector<std::string> second = RunFrames(6, 3);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first.size(), 7u);
}

// ---- timers ----

TEST(Kernel, Timer1CountsHorizontalBlanksAndWraps) {
  KernelWaitVSync();
  TimerSetMode(1, 0x83);
  TimerSetCount(1, 0xfff0);
  EXPECT_EQ(TimerGetCount(1), 0xfff0u);
  KernelWaitVSync();
  EXPECT_EQ(TimerGetCount(1), (0xfff0u + FIELD_LINES) & 0xffff);
  TimerSetMode(0, 0x82);  // bus clock / 256
  TimerSetCount(0, 0);
  for (int i = 0; i < 64; i++) KernelYield();  // 22 lines of virtual time
  uint32_t t0 = TimerGetCount(0);
  EXPECT_GT(t0, 790u);
  EXPECT_LT(t0, 820u);  // 576 kHz over 22 lines of 15.7 kHz
}

// ---- halting ----

namespace {
int g_afterHalt;
void Halter(void*) {
  PlatFatal("loader gives up");
  g_afterHalt = 1;  // never reached
}
}  // namespace

TEST(Kernel, FatalErrorInAnotherThreadParksItAndHandsTheCpuBack) {
  g_afterHalt = 0;
  ConsoleCaptureScope capture;
  int t = Spawn(Halter, 1);
  KernelWaitVSync();  // the thread runs, halts, and main gets the CPU back
  EXPECT_EQ(g_afterHalt, 0);
  EXPECT_NE(capture.text().find("platform: loader gives up"), std::string::npos);
  ThreadParam st{};
  ReferThreadStatus(t, &st);
  EXPECT_EQ(st.status, THS_DORMANT);
  KernelWaitVSync();
  EXPECT_EQ(g_afterHalt, 0);
}

TEST(Kernel, WaitingInsideAnInterruptHandlerIsFatal) {
  static int sema;
  sema = MakeSema(0);
  int id = AddIntcHandler(INTC_GS, [](int) { return WaitSema(sema); }, 0);
  IntcRaise(INTC_GS);
  EXPECT_HALT(EnableIntc(INTC_GS), "called from an interrupt handler");
  EXPECT_FALSE(KernelInInterrupt());
  DisableIntc(INTC_GS);
  RemoveIntcHandler(INTC_GS, id);
  DeleteSema(sema);
}
