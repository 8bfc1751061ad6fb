// Benchmark main: runs the benchmarks on the engine's main thread, so that
// their data can live in EE memory and on an EE memory stack.
#include <benchmark/benchmark.h>

#include "platform.h"

namespace {
int RunBenchmarks(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  KernelSetClock(KCLOCK_VIRTUAL);
  DisplaySetBackend("null");
  return PlatformRun(RunBenchmarks, argc, argv);
}
