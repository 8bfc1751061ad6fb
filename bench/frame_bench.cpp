// The check program's frame on one core, in virtual time: the whole frame
// (world, characters, effects, 2-D) and the world alone (as torva_check
// --world), each with its swap. CPU time is the process's, so drawing on
// other threads counts; the GS's counters per frame follow each.
#include <benchmark/benchmark.h>

#include "checkframe.h"
#include "demo.h"
#include "gsstats_bench.h"
#include "platform.h"
#include "ze3d.h"

namespace {

int g_frame = 0;

void Start() {
  static bool started = false;
  if (started) return;
  started = true;
  PlatSetHostRoot(ZE_DATA_DIR);
  CheckVideoStart();
  CheckSceneStart();
  // The first frames load and settle; they are not measured.
  for (int i = 0; i < 10; i++) {
    CheckFrameDraw(g_frame++);
    ZeRndrSwapScreen(-1);
  }
}

void Run(benchmark::State& state, bool worldOnly) {
  Start();
  demo_world_only = worldOnly;
  const GsStats before = GsGetStats();
  uint64_t frames = 0;
  for (auto _ : state) {
    CheckFrameDraw(g_frame++);
    ZeRndrSwapScreen(-1);
    frames++;
  }
  GsBenchReport(state, worldOnly ? "world frame" : "check frame", before, GsGetStats(), frames);
}

void BM_CheckFrame(benchmark::State& state) { Run(state, false); }
void BM_WorldFrame(benchmark::State& state) { Run(state, true); }
BENCHMARK(BM_CheckFrame)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->MinTime(3.0);
BENCHMARK(BM_WorldFrame)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->MinTime(3.0);

}  // namespace
