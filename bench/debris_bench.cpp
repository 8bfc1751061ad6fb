// The particle system's cost, in one run: a frame with every chunk full
// (304 chunks of 32 particles and 32 glass chunks of 12, drawn through the
// particle program on the GS model into the 640 x 224 target) beside the
// same frame without particles; and the particle frame (Debris) with all
// 512 keys live. Figures: frames (or particle frames) per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>

#include "debris_host.h"

namespace {

char* g_pool;
int g_type, g_glassType;

// The renderer as the program starts it, a camera 10 back looking along +z,
// and the particle system with two types that live long.
void Start() {
  if (g_pool) return;
  g_pool = DebrisHostStart();
  ZECAMERA* cam = ZeCameraCreate();
  cam->mtx.m[3][2] = -10.0f;
  ZeCameraSet(cam);
  ZeCameraDestroy(cam);
  char* cursor = g_pool;
  DebrisSetup(&cursor, "gfx\\particle.pnt", 304);
  ParticleReset();
  edppDestroyAllEffects();
  DebrisGlassInit();
  for (int i = 0; i < 2; i++) {
    DebrisEffectType* t = &effecttypes[1 + i];
    DebrisDefaultEffectType(t);
    strcpy(t->name, i ? "GLASS" : "SPARK");
    t->gen_rate = 1;
    t->life = 100.0f;
    t->start = {3, 2, 1};
    t->var = {0.1f, 0.1f, 0.1f};
    t->cut_off = 0;
    for (int k = 0; k < 2; k++) {
      t->width[k] = t->height[k] = {float(k), 0.08f};
      t->alpha[k] = {float(k), 96};
      t->colour[k] = {float(k), 255, 128, 64};
    }
    t->blend = int8_t(i ? DEB_BLEND_GLASS : 0);
    debtab[1 + i] = t;
    GenericDebinfoDmaTypeUpdate(t);
  }
  g_type = 1, g_glassType = 2;
  edpp_types_used = 3;
}

// Keys holding every chunk, each slot a live particle.
void FillChunks() {
  const int sizes[] = {1024, 1024, 1024, 1024, 1024, 1024, 1024, 1024, 1024, 512};
  for (int n : sizes) {
    int key = -1;
    AddDebrisEffect(&key, g_type, 0, 0, 0);
    DebReAlloc(key, n);
    for (int i = 0; i < n; i++) debkeydata[key].gen(&debkeydata[key], debtab[g_type], 0);
  }
  int key = -1;
  AddDebrisEffect(&key, g_glassType, 0, 0, 0);
  DebReAlloc(key, 384);
  // Glass takes kind 0's box of starts: 384 shards.
  for (int i = 0; i < 384; i++) debkeydata[key].gen(&debkeydata[key], debtab[g_glassType], 0);
}

void EmptyAll() {
  for (int k = 0; k < DEB_KEYS; k++) {
    int key = k;
    if (debkeydata[k].type) DebFreeInstantly(&key);
  }
  for (int i = 0; i < 8; i++) Debris(0);  // the chunks come back
}

void Frame(bool particles) {
  ZeRndrBeginScene(-1);
  ZeRndrClear(0x700, 0x00202020, 1.0f);
  if (particles) DebrisDraw(0, 0);
  ZeRndrEndScene();
  if (particles) DebrisDrawGlass();
  ZePs2ScreenSwap(1);
  ZeRndrVu1Draw();
  KernelYield();
  ZeRndrSwapStreamBuffers();
}

void BM_FrameWithAllChunksFull(benchmark::State& state) {
  Start();
  globaltime = 1.0f;
  FillChunks();
  if (freedebchkptr != debrischunks || freedebchkptrg != debrischunksglass) state.SkipWithError("chunks not all full");
  globaltime = 2.0f;
  for (auto _ : state) Frame(true);
  state.counters["particles"] = double(debrischunks * 32 + debrischunksglass * 12);
  // The ring holds the last 60 draw calls: two a frame (the main and the glass pass).
  state.counters["drawn"] = double(debris_drawn_total) / 30.0;
  EmptyAll();
}
BENCHMARK(BM_FrameWithAllChunksFull)->Unit(benchmark::kMillisecond);

void BM_FrameWithoutParticles(benchmark::State& state) {
  Start();
  for (auto _ : state) Frame(false);
}
BENCHMARK(BM_FrameWithoutParticles)->Unit(benchmark::kMillisecond);

void BM_DebrisWith512LiveKeys(benchmark::State& state) {
  Start();
  for (int k = 0; k < DEB_KEYS; k++) {
    int key = -1;
    AddDebrisEffect(&key, g_type, float(k % 32), 0, float(k / 32));
    DebrisStatusAlwaysOn(&key);
  }
  debtab[g_type]->life = 0.5f;  // 30 particles a key: one chunk for as many keys as there are chunks
  edppCalcEffectParticleCount(debtab[g_type]);
  for (int i = 0; i < 64; i++) Debris(0);
  for (auto _ : state) Debris(0);
  state.counters["keys"] = double(freedebkeyptr);
  debtab[g_type]->life = 100.0f;
  EmptyAll();
}
BENCHMARK(BM_DebrisWith512LiveKeys)->Unit(benchmark::kMicrosecond);

}  // namespace
