// The hero's frame on a small course (a yard with a ledge block): MovePlayer
// walking in a circle, AnimPlayer alone, and the collision move alone with
// the same speed. Figures are frames per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "game.h"
#include "gamelib.h"
#include "player.h"
#include "zecore.h"
#include "zeps2.h"

namespace {

TerrWritePoly Quad(ZEVEC a, ZEVEC b, ZEVEC c, ZEVEC d) {
  TerrWritePoly p{};
  p.v[0] = a, p.v[1] = b, p.v[2] = c, p.v[3] = d;
  p.quad = 1;
  p.na = p.nb = {0, 1, 0};
  return p;
}

ZEPAD* g_pad = nullptr;

void Build() {
  if (g_pad) return;
  ZeTrigInit();
  ZeScratchReset();
  const std::string dir = (std::filesystem::temp_directory_path() / "player_bench").string();
  std::filesystem::create_directories(dir);
  PlatSetHostRoot(dir.c_str());
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  errmsg_disabled = 1;
  const TerrWritePoly floor = Quad({-10, 0, -10}, {10, 0, -10}, {-10, 0, 10}, {10, 0, 10});
  const TerrWriteGroup g = {&floor, 1};
  TerrWriteSection s{};
  s.kind = 0;
  s.groups = &g;
  s.ngroups = 1;
  TerrWriteFile("course.ter", &s, 1, 0);
  const int size = 1 << 20;
  uint8_t* buf = static_cast<uint8_t*>(EeMalloc(size_t(size)));
  uint8_t* pos = buf;
  TerrainSetCur(terraininit(0, &pos, buf + size, 0, "course", nullptr, 0));
  g_pad = static_cast<ZEPAD*>(EeMalloc(sizeof(ZEPAD)));
  memset(g_pad, 0, sizeof(ZEPAD));
  g_pad->raw[4] = g_pad->raw[5] = 127;
  pad0 = g_pad;
  const ZEVEC start = {0, 0, 0};
  SetPlayer(&start, 0);
  Player.hitpoints = 3;
  nomball = 1;
}

// The stick turns a little every frame: the hero walks in a circle.
void Steer(int frame) {
  const int yaw = frame * 200;
  g_pad->raw[6] = uint8_t(127 + int(ZeTrigSin(yaw) * 80));
  g_pad->raw[7] = uint8_t(127 - int(ZeTrigCos(yaw) * 80));
}

void BM_MovePlayer(benchmark::State& state) {
  Build();
  int f = 0;
  for (auto _ : state) {
    Steer(f++);
    MovePlayer(0, 0);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MovePlayer);

void BM_AnimPlayer(benchmark::State& state) {
  Build();
  anamode = 2;
  for (auto _ : state) AnimPlayer();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AnimPlayer);

void BM_CollisionMove(benchmark::State& state) {
  Build();
  ZEVEC p = {0, 0, 0};
  uint8_t info[2] = {1, 1};
  int f = 0;
  for (auto _ : state) {
    ZEVEC v = {0.0225f * ZeTrigSin(f * 200), 0, 0.0225f * ZeTrigCos(f * 200)};
    f++;
    NewTerrainScaleY(&p, &v, info, -1, 1, 0, 0.001f, 0.3f, 1.6f);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CollisionMove);

}  // namespace
