// Prelighting, in milliseconds a call: the live relighting of one edited
// point light (ZePrelightSceneUpdateLight: the light over every vertex, then
// the packing of all colours) beside the full lighting of the same scene
// with 8 lights (ZePrelightSceneBegin). Surfaces carry colour and
// brightness noise of 3 octaves.
#include <benchmark/benchmark.h>

#include <cstring>

#include "ze3d.h"

namespace {

constexpr int VERTS = 100000;
constexpr int INSTANCES = 100;  // one object each of 1,000 vertices
constexpr int PER = VERTS / INSTANCES;
constexpr int STRIDE = 2;

struct BenchScene {
  uint8_t* mem = nullptr;
  size_t used = 0;
  ZEPRELIGHTDATA* d = nullptr;

  template <class T>
  T* Take(size_t n) {
    used = (used + 15) & ~size_t(15);
    T* p = reinterpret_cast<T*>(mem + used);
    used += sizeof(T) * n;
    return p;
  }

  BenchScene() {
    mem = static_cast<uint8_t*>(EeMalloc(16 << 20));
    d = Take<ZEPRELIGHTDATA>(1);
    memset(d, 0, sizeof *d);
    d->nverts = VERTS;
    ZEPRELIGHTVERTEX* v = Take<ZEPRELIGHTVERTEX>(VERTS);
    uint32_t s = 2024;
    auto rnd = [&s] {
      s = s * 1664525u + 1013904223u;
      return float(s >> 8) / float(1 << 24);
    };
    for (int i = 0; i < VERTS; i++) {
      v[i] = {};
      v[i].position = {rnd() * 20.0f - 10.0f, rnd() * 4.0f, rnd() * 20.0f - 10.0f};
      ZEVEC n = {rnd() - 0.5f, 1.0f, rnd() - 0.5f};
      ZeVecNorm(&v[i].normal, &n);
      v[i].colour = 0xff808080u ^ (s & 0x0f0f0f);
      v[i].surface = int16_t(i & 1);
    }
    d->verts = v;
    d->nobjects = INSTANCES;
    int32_t* starts = Take<int32_t>(INSTANCES + 1);
    for (int g = 0; g <= INSTANCES; g++) starts[g] = g * PER;
    d->starts = starts;
    auto* blocks = Take<EePtr<ZEPRELIGHTCOLOURBLOCK>>(INSTANCES);
    for (int g = 0; g < INSTANCES; g++) {
      auto* b = reinterpret_cast<ZEPRELIGHTCOLOURBLOCK*>(Take<uint8_t>(8 + 4 * STRIDE * PER + 8));
      b->colours = Take<ZECOLOUR32>(PER);
      b->count = PER;
      int32_t* e = reinterpret_cast<int32_t*>(b + 1);
      for (int k = 0; k < PER; k++) {
        e[STRIDE * k] = 0;
        e[STRIDE * k + 1] = g * PER + k;
      }
      auto* end = reinterpret_cast<ZEPRELIGHTCOLOURBLOCK*>(e + STRIDE * PER);
      end->colours = nullptr;
      end->count = 0;
      blocks[g] = b;
    }
    d->blocks = blocks;
    ZEGSCNINST* inst = Take<ZEGSCNINST>(INSTANCES);
    ZEVEC4* spheres = Take<ZEVEC4>(INSTANCES);
    for (int g = 0; g < INSTANCES; g++) {
      inst[g] = {};
      ZeMtxSetIdentity(&inst[g].mtx);
      inst[g].mtx.m[3][0] = float(g % 10) * 25.0f;
      inst[g].mtx.m[3][2] = float(g / 10) * 25.0f;
      inst[g].object = g;
      spheres[g] = {inst[g].mtx.m[3][0], 2.0f, inst[g].mtx.m[3][2], 15.0f};
    }
    d->ninst = INSTANCES;
    d->insts = inst;
    d->spheres = spheres;
    ZEPRELIGHTSURFACE* surf = Take<ZEPRELIGHTSURFACE>(2);
    for (int k = 0; k < 2; k++) {
      ZEPRELIGHTSURFACE& f = surf[k];
      memset(&f, 0, sizeof f);
      f.diffuse = 1.0f;
      f.base = {0.8f, 0.7f, 0.6f};
      f.ambient = {1, 1, 1};
      f.flags = ZEPRELIGHTSURF_NOISE | (k ? ZEPRELIGHTSURF_SPECULAR : 0);
      f.specular = {0.3f, 0.3f, 0.3f};
      f.specular_power = 1.5f;
      f.cnoise_amount = 0.4f;
      f.cnoise_freq = 0.3f;
      f.cnoise_octaves = 3;
      f.low = {0.2f, 0.3f, 0.1f};
      f.high = {0.9f, 0.8f, 0.5f};
      f.bnoise_amount = 0.2f;
      f.bnoise_freq = 0.7f;
      f.bnoise_octaves = 3;
    }
    d->nsurfaces = 2;
    d->surfaces = surf;
    // Eight lights: an ambient, two directional and five point lights; the
    // edited one is point light 3.
    ZEPRELIGHTLIGHT* l = Take<ZEPRELIGHTLIGHT>(8);
    for (int i = 0; i < 8; i++) {
      l[i] = {};
      l[i].colour = {1.0f, 0.9f, 0.8f};
      l[i].intensity = 0.5f;
      l[i].type = i == 0 ? ZEPRELIGHT_AMBIENT : i < 3 ? ZEPRELIGHT_DIRECTIONAL : ZEPRELIGHT_POINT;
      l[i].direction = {0.3f, 0.9f, 0.3f};
      l[i].position = {float(i) * 30.0f, 8.0f, float(i) * 20.0f};
      l[i].falloff = uint8_t(1 + i % 3);
    }
    d->nsets = 1;
    d->nlights[0] = 8;
    d->lights[0] = l;
    d->gamma = 1.2f;
    d->brightness = 1.0f;
  }
  ~BenchScene() { EeFree(mem); }
};

void BM_PrelightSceneUpdateLight(benchmark::State& state) {
  errmsg_disabled = 1;  // the heap reports every large buffer
  BenchScene sc;
  ZEPRELIGHTSCENE st;
  ZePrelightSceneBegin(&st, sc.d, STRIDE, 0);
  ZePrelightSceneBeginEditLight(&st, 3);
  for (auto _ : state) {
    sc.d->lights[0][3].position.x += 0.01f;  // the designer moves the light
    benchmark::DoNotOptimize(ZePrelightSceneUpdateLight(&st));
  }
  ZePrelightSceneEndEditLight(&st);
  ZePrelightSceneEnd(&st);
  state.SetItemsProcessed(state.iterations() * VERTS);
}
BENCHMARK(BM_PrelightSceneUpdateLight)->Unit(benchmark::kMillisecond);

void BM_PrelightSceneBegin8Lights(benchmark::State& state) {
  errmsg_disabled = 1;
  BenchScene sc;
  for (auto _ : state) {
    ZEPRELIGHTSCENE st;
    ZePrelightSceneBegin(&st, sc.d, STRIDE, 0);
    benchmark::DoNotOptimize(st.total.get()[VERTS / 2]);
    state.PauseTiming();
    ZePrelightSceneEnd(&st);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * VERTS);
}
BENCHMARK(BM_PrelightSceneBegin8Lights)->Unit(benchmark::kMillisecond);

}  // namespace
