// Geometry conversion in vertices a second: a 10,000-triangle object (a
// 100 x 50 grid of shared vertices, two matrices a vertex) through
// ZePs2CreateRenderStream and ZePs2CreateSkin, beside a plain copy of the
// same vertex bytes (every triangle corner's 36 bytes) in the same run.
#include <benchmark/benchmark.h>

#include <cstring>

#include "ze3d.h"

namespace {

constexpr int GX = 100, GY = 50;
constexpr int VERTS = (GX + 1) * (GY + 1);
constexpr int TRIS = GX * GY * 2;
constexpr int CORNERS = TRIS * 3;

ZEMTL* Material(int vtxcol) {
  auto* m = static_cast<ZEMTL*>(ZeMemAllocTagged(sizeof(ZEMTL)));
  memset(static_cast<void*>(m), 0, sizeof *m);
  m->attributes = uint32_t(vtxcol) << ZEMTLATTR_VTXCOL;
  m->alpha = 1.0f;
  return m;
}

// The grid object; skinned: two matrices a vertex from 16 joints.
ZEGOBJ* GridObject(bool skinned) {
  ZEGOBJ* obj = ZeGobjCreate();
  ZEGEOM* g = ZeGeomCreate();
  g->mtl = Material(1);
  auto* v = static_cast<ZEVTX*>(ZeMemAllocTagged(VERTS * int(sizeof(ZEVTX))));
  for (int y = 0; y <= GY; y++)
    for (int x = 0; x <= GX; x++) {
      ZEVTX& p = v[y * (GX + 1) + x];
      p = {};
      p.pos = {x * 0.1f, y * 0.1f, float((x * 7 + y * 3) % 5) * 0.05f};
      p.normal = {0.0f, 0.0f, 1.0f};
      p.colour = 0xff000000u | uint32_t(x * 2) << 8 | uint32_t(y * 4);
      p.u = x / 16.0f;
      p.v = y / 16.0f;
    }
  g->vtx = v;
  g->vtxcount = g->vtxmax = VERTS;
  ZEPRIM* prim = ZePrimCreate(CORNERS, ZEPRIM_IDXLIST);
  int k = 0;
  for (int y = 0; y < GY; y++)
    for (int x = 0; x < GX; x++) {
      const int a = y * (GX + 1) + x, b = a + 1, c = a + GX + 1, d = c + 1;
      for (int i : {a, b, c, c, b, d}) prim->idx[k++] = int16_t(i);
    }
  ZeGeomAddPrim(g, prim);
  if (skinned) {
    // A skin record a row: two joints of 16 by height, weights 3 : 1.
    for (int y = 0; y <= GY; y++) {
      auto* r = static_cast<ZESKIN*>(ZeMemAllocTagged(sizeof(ZESKIN)));
      auto* ids = static_cast<int32_t*>(ZeMemAllocTagged(2 * 4));
      auto* w = static_cast<float*>(ZeMemAllocTagged((GX + 1) * 2 * 4));
      memset(r, 0, sizeof *r);
      r->first = y * (GX + 1);
      r->count = GX + 1;
      r->nmtx = 2;
      ids[0] = y * 16 / (GY + 1);
      ids[1] = (ids[0] + 1) % 16;
      for (int x = 0; x <= GX; x++) w[2 * x] = 0.75f, w[2 * x + 1] = 0.25f;
      r->mtxids = ids;
      r->weights = w;
      ZeGeomAddSkin(g, r);
    }
  }
  ZeGobjAddGeom(obj, g);
  ZeGobjCalcDims(obj);
  return obj;
}

void Setup() {
  static bool done = false;
  if (done) return;
  done = true;
  errmsg_disabled = 1;
  ZeTrigInit();
  GenerateGammaTable(1.0f, 1.0f);
  ZeGobjInit();
}

void BM_CreateRenderStream(benchmark::State& state) {
  Setup();
  ZEGOBJ* obj = GridObject(false);
  for (auto _ : state) {
    ZePs2CreateRenderStream(obj);
    benchmark::DoNotOptimize(obj->geometries->dmastream.get());
    ZePs2DestroyRenderStream(obj);
  }
  state.SetItemsProcessed(state.iterations() * CORNERS);
  ZeGobjDestroy(obj);
}
BENCHMARK(BM_CreateRenderStream)->Unit(benchmark::kMillisecond);

void BM_CreateSkin(benchmark::State& state) {
  Setup();
  ZEGOBJ* obj = GridObject(true);
  InitSkinning(16 << 20);
  for (auto _ : state) {
    ResetSkinning();
    ZePs2CreateSkin(obj);
    benchmark::DoNotOptimize(obj->geometries->skininst.get());
  }
  state.SetItemsProcessed(state.iterations() * CORNERS);
  CloseSkinning();
  ZeGobjDestroy(obj);
}
BENCHMARK(BM_CreateSkin)->Unit(benchmark::kMillisecond);

// The same vertex bytes, every corner's 36, copied plainly.
void BM_PlainCopy(benchmark::State& state) {
  Setup();
  ZEGOBJ* obj = GridObject(false);
  const ZEGEOM* g = obj->geometries;
  auto* src = static_cast<ZEVTX*>(ZeMemAllocTagged(CORNERS * int(sizeof(ZEVTX))));
  auto* dst = static_cast<ZEVTX*>(ZeMemAllocTagged(CORNERS * int(sizeof(ZEVTX))));
  for (int i = 0; i < CORNERS; i++) src[i] = g->vtx[g->prims->idx[i]];
  for (auto _ : state) {
    memcpy(dst, src, CORNERS * sizeof(ZEVTX));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * CORNERS);
  ZeMemFreeTagged(src);
  ZeMemFreeTagged(dst);
  ZeGobjDestroy(obj);
}
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond);

}  // namespace
