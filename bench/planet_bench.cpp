// The planet world's hot queries: the plate under a point by the fast cone
// descent beside the exact edge-plane descent and the ray form (depth 4),
// and the 64 cells of a fractal patch by one height-field buffer and fast
// extraction beside 64 slow (three-split) extractions. "per_op" is one
// location or one cell.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "globular.h"
#include "planettool.h"

namespace {

constexpr int kDirs = 4096;

struct Data {
  ZEVEC dirs[kDirs];
};

Data& D() {
  static Data* d = [] {
    ZeTrigInit();
    errmsg_disabled = 1;
    static std::string root = (std::filesystem::temp_directory_path() / "planet_bench").string();
    std::filesystem::create_directories(root + "/bin");
    PlanetToolWrite(root + "/bin/cube.bin", CubeImage(CubeBuild(CUBE_LEVELS)));
    PlatSetHostRoot(root.c_str());
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    constexpr int size = 1 << 20;
    char* buf = static_cast<char*>(EeMalloc(size));
    char* pos = buf;
    FrCubeInit(&pos, buf + size);
    auto* data = static_cast<Data*>(EeMalloc(sizeof(Data)));
    std::mt19937 gen(11);
    std::normal_distribution<float> n(0.0f, 1.0f);
    for (ZEVEC& v : data->dirs) v = {n(gen) * 1000, n(gen) * 1000, n(gen) * 1000};
    return data;
  }();
  return *d;
}

template <int (*Locate)(const ZEVEC*, int)>
void BM_Locate(benchmark::State& state) {
  Data& d = D();
  int i = 0, sum = 0;
  for (auto _ : state) {
    sum += Locate(&d.dirs[i], 4);
    i = (i + 1) & (kDirs - 1);
  }
  benchmark::DoNotOptimize(sum);
  state.counters["per_op"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate |
                                                                                benchmark::Counter::kInvert);
}
BENCHMARK(BM_Locate<FrCubeLocatePlate>)->Name("locate/fast_cones");
BENCHMARK(BM_Locate<FrCubeLocatePlateAccurate>)->Name("locate/exact_planes");
BENCHMARK(BM_Locate<FrCubeLocate>)->Name("locate/ray");

struct Patch {
  ZEFPATCH p;
  ZEFPATCHHF hf[81];
  float heights[ZEFPATCH_HEIGHTS];
  ZEFPATCH out[64];
};

Patch& P() {
  static Patch* p = [] {
    auto* x = static_cast<Patch*>(EeMalloc(sizeof(Patch)));
    std::mt19937 gen(3);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    memset(&x->p, 0, sizeof x->p);
    for (int k = 0; k < 4; k++) {
      x->p.base[k] = {float(k & 1) * 100, float(k >> 1) * 100, 0, 1};
      x->p.disp[k] = {0, 0, 1, 0};
      x->p.attr[k] = {float(k & 1), float(k >> 1), 1, 0.3f + 0.1f * float(k)};
    }
    for (float& h : x->heights) h = u(gen);
    return x;
  }();
  return *p;
}

void BM_CellsFast(benchmark::State& state) {
  Patch& p = P();
  for (auto _ : state) {
    ZeFPatchMakeHeightFieldBuffer(&p.p, p.hf);
    for (int c = 0; c < 64; c++) ZeFPatchHeightFieldIndexFast(&p.p, p.heights, c, &p.out[c]);
    benchmark::ClobberMemory();
  }
  state.counters["per_op"] = benchmark::Counter(double(state.iterations()) * 64, benchmark::Counter::kIsRate |
                                                                                     benchmark::Counter::kInvert);
}
BENCHMARK(BM_CellsFast)->Name("cells64/buffer_and_fast");

void BM_CellsSlow(benchmark::State& state) {
  Patch& p = P();
  for (auto _ : state) {
    for (int c = 0; c < 64; c++) ZeFPatchHeightFieldIndexSlow(&p.p, p.heights, c, &p.out[c]);
    benchmark::ClobberMemory();
  }
  state.counters["per_op"] = benchmark::Counter(double(state.iterations()) * 64, benchmark::Counter::kIsRate |
                                                                                     benchmark::Counter::kInvert);
}
BENCHMARK(BM_CellsSlow)->Name("cells64/slow");

}  // namespace
