// Collision queries on a generated level of about 50,000 polygons (a bumpy
// height field of triangles with boxes standing on it): ground queries, a
// short cast, a cast through a scan handle and a move, each beside the
// brute-force reference (every polygon through the same tests) in the same
// run. Arg 0 is the engine's query, arg 1 the reference. Figures are
// queries per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "gamelib.h"
#include "terrain_local.h"
#include "zecore.h"
#include "zeps2.h"

namespace {

constexpr int kCells = 158;  // 158 x 158 x 2 = 49,928 triangles
constexpr float kItem = 16;

float Height(float x, float z) { return 0.6f * std::sin(x * 0.37f) * std::cos(z * 0.23f) + 0.1f * std::sin(x * 2.1f + z); }

struct Level {
  uint8_t* buf = nullptr;
  uint8_t* ref = nullptr;
  bool ready = false;
};
Level g_level;

TerrWritePoly Tri(ZEVEC a, ZEVEC b, ZEVEC c, ZEVEC origin) {
  TerrWritePoly p{};
  ZEVEC v[3] = {a, b, c};
  for (int k = 0; k < 3; k++) p.v[k] = {v[k].x - origin.x, v[k].y - origin.y, v[k].z - origin.z};
  p.v[3] = p.v[2];
  ZEVEC e1, e2;
  ZeVecSub(&e1, &c, &a);
  ZeVecSub(&e2, &b, &a);
  ZeVecCross(&p.na, &e1, &e2);
  ZeVecNorm(&p.na, &p.na);
  p.surface = 1;
  return p;
}

void Build() {
  if (g_level.ready) return;
  ZeTrigInit();
  ZeScratchReset();
  std::string dir = (std::filesystem::temp_directory_path() / "terrain_bench").string();
  std::filesystem::create_directories(dir);
  PlatSetHostRoot(dir.c_str());
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  errmsg_disabled = 1;
  int per = int(kCells / kItem) + 1;
  std::vector<std::vector<std::vector<TerrWritePoly>>> groups(size_t(per * per));
  std::vector<ZEVEC> origin(size_t(per * per));
  for (int i = 0; i < per * per; i++) origin[size_t(i)] = {float(i % per) * kItem, 0, float(i / per) * kItem};
  for (int z = 0; z < kCells; z++)
    for (int x = 0; x < kCells; x++) {
      int item = (x / int(kItem)) + per * (z / int(kItem));
      auto& g = groups[size_t(item)];
      if (g.empty()) g.resize(16);
      auto& grp = g[size_t(((x % 16) / 4) + 4 * ((z % 16) / 4))];
      float fx = float(x), fz = float(z);
      ZEVEC a = {fx, Height(fx, fz), fz}, b = {fx + 1, Height(fx + 1, fz), fz}, c = {fx, Height(fx, fz + 1), fz + 1},
            d = {fx + 1, Height(fx + 1, fz + 1), fz + 1};
      grp.push_back(Tri(a, b, c, origin[size_t(item)]));
      grp.push_back(Tri(d, c, b, origin[size_t(item)]));
    }
  std::vector<std::vector<TerrWriteGroup>> wg(groups.size());
  std::vector<TerrWriteSection> sec;
  for (size_t i = 0; i < groups.size(); i++) {
    for (auto& g : groups[i])
      if (!g.empty()) wg[i].push_back({g.data(), int(g.size())});
    if (wg[i].empty()) continue;
    TerrWriteSection s{};
    s.kind = 0, s.pos = origin[i], s.groups = wg[i].data(), s.ngroups = int(wg[i].size());
    sec.push_back(s);
  }
  TerrWriteFile("bench.ter", sec.data(), int(sec.size()), 0);
  int size = 32 << 20;
  g_level.buf = static_cast<uint8_t*>(EeMalloc(size_t(size)));
  uint8_t* pos = g_level.buf;
  TerrainSetCur(terraininit(0, &pos, g_level.buf + size, 0, "bench", nullptr, 0));
  g_level.ref = static_cast<uint8_t*>(EeMalloc(1 << 20));
  TerrRefBuild(g_level.ref, 1 << 20, 0xFF, 0);
  g_level.ready = true;
}

struct Rng {
  std::mt19937 g{1234};
  float U(float a, float b) { return std::uniform_real_distribution<float>(a, b)(g); }
};

void Mode(benchmark::State& st) {
  Build();
  TerrRefList = st.range(0) ? g_level.ref : nullptr;
  st.SetLabel(st.range(0) ? "brute-force reference" : "engine");
}

void BM_NewShadow(benchmark::State& st) {
  Mode(st);
  Rng r;
  for (auto _ : st) {
    ZEVEC p = {r.U(1, kCells - 1), 1.5f, r.U(1, kCells - 1)};
    benchmark::DoNotOptimize(NewShadow(&p, 0, 0, 0.5f));
  }
  st.SetItemsProcessed(st.iterations());
  TerrRefList = nullptr;
}

void BM_ShortCast(benchmark::State& st) {
  Mode(st);
  Rng r;
  for (auto _ : st) {
    ZEVEC s = {r.U(2, kCells - 2), 1.0f, r.U(2, kCells - 2)}, v = {r.U(-1, 1), -1.0f, r.U(-1, 1)};
    benchmark::DoNotOptimize(NewRayCast(&s, &v, 0, 0.3f));
  }
  st.SetItemsProcessed(st.iterations());
  TerrRefList = nullptr;
}

void BM_HandleCast(benchmark::State& st) {
  Mode(st);
  Rng r;
  TerrScanHandle h = nullptr;
  ZEVEC s{}, sweep{};
  int n = 0;
  for (auto _ : st) {
    if (n++ % 16 == 0) {  // a new handle every 16 casts, as a vehicle's frame
      st.PauseTiming();
      NewScanInit();
      s = {r.U(5, kCells - 5), 1.0f, r.U(5, kCells - 5)}, sweep = {r.U(-3, 3), -1.5f, r.U(-3, 3)};
      h = NewScanHandel(&s, &sweep, 0, nullptr, 0.2f);
      st.ResumeTiming();
    }
    float f = r.U(0.2f, 1);
    ZEVEC v = {sweep.x * f, sweep.y * f, sweep.z * f};
    if (st.range(0)) benchmark::DoNotOptimize(NewRayCastSet(&s, &v, 0, 0, 0.2f, 0.01f, 1e-5f));
    else benchmark::DoNotOptimize(NewRayCastSetHandel(&s, &v, h, 0, 0.2f, 0.01f, 1e-5f));
  }
  st.SetItemsProcessed(st.iterations());
  TerrRefList = nullptr;
}

void BM_Move(benchmark::State& st) {
  Mode(st);
  Rng r;
  uint8_t info[2] = {};
  for (auto _ : st) {
    ZEVEC p = {r.U(2, kCells - 2), 0, r.U(2, kCells - 2)};
    p.y = Height(p.x, p.z) + 0.2f;
    ZEVEC v = {r.U(-0.3f, 0.3f), -0.1f, r.U(-0.3f, 0.3f)};
    info[0] = info[1] = 0;
    NewTerrain(&p, &v, info, -1, 0, 0.001f, 0.4f);
    benchmark::DoNotOptimize(p);
  }
  st.SetItemsProcessed(st.iterations());
  TerrRefList = nullptr;
}

BENCHMARK(BM_NewShadow)->Arg(0)->Arg(1);
BENCHMARK(BM_ShortCast)->Arg(0)->Arg(1);
BENCHMARK(BM_HandleCast)->Arg(0)->Arg(1);
BENCHMARK(BM_Move)->Arg(0)->Arg(1);

}  // namespace
