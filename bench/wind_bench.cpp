// The wind update with 1,024 blades pushed by the player: one interacting
// group of 32 x 32 blades 0.05 apart, the player standing in its middle,
// so that every blade takes the pushed path. Figures are updates a second
// (items: blades a second).
#include <benchmark/benchmark.h>

#include "gamelib.h"
#include "zemath.h"

namespace {

void BM_WindUpdatePushed(benchmark::State& state) {
  ZeTrigInit();
  ZeWindInit();
  ZeMtxSetIdentity(&global_camera.mtx);
  ZEMTX* m = ZeWindAllocMtxs(ZEWIND_MTXS);
  for (int i = 0; i < ZEWIND_MTXS; i++) {
    ZeMtxSetIdentity(&m[i]);
    m[i].m[3][0] = float(i % 32) * 0.05f, m[i].m[3][2] = float(i / 32) * 0.05f;
    m[i].m[3][3] = 0.5f;
  }
  ZeWindGrp* g = ZeWindCreateMtx(0.5f, 1.0f, 10, 20, nullptr, -1, m, ZEWIND_MTXS, 1);
  g->drawn = 1;
  const ZEVEC player = {0.8f, 0.1f, 0.8f};
  for (auto _ : state) {
    ZeWindUpdate(&player);
    benchmark::DoNotOptimize(m[512].m[1][0]);
  }
  state.SetItemsProcessed(state.iterations() * ZEWIND_MTXS);
}
BENCHMARK(BM_WindUpdatePushed);

}  // namespace
