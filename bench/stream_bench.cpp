// Streaming on the demo disc: the foreground load of the level isletown
// (world, island with its load triggers, the level's scene, collision,
// effect, grass and bridge pages) from the world archive "gblds.dat" by
// disc sectors, from the loose files, and ZeFileLoadBuffer of the same
// files; and the frames demo2 takes to stream in with the loader as a
// thread at three quanta.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "game.h"
#include "levcon.h"
#include "scenewrite.h"
#include "standins.h"
#include "zeps2.h"

namespace {

// The files isletown's load reads, as the game names them.
const char* const kFiles[] = {"islands\\isle\\isle.ltd",      "levels\\isletown\\town.gsc",
                              "levels\\isletown\\town.ter",    "levels\\isletown\\fx.dat",
                              "levels\\isletown\\grass.dat",   "levels\\isletown\\bridges.dat"};

struct Fixture {
  size_t bytes = 0;  // the files the load reads

  Fixture() {
    errmsg_disabled = 1;
    const std::string data = std::string(TORVA_DISC) + "/DATA";
    for (const char* f : {"ISLANDS/ISLE/ISLE.LTD", "LEVELS/ISLETOWN/TOWN.GSC", "LEVELS/ISLETOWN/TOWN.TER",
                          "LEVELS/ISLETOWN/FX.DAT", "LEVELS/ISLETOWN/GRASS.DAT", "LEVELS/ISLETOWN/BRIDGES.DAT"})
      bytes += std::filesystem::file_size(data + "/" + f);
    PlatSetHostRoot(data.c_str());
    PlatSetDiscRoot(data.c_str());  // the archive at the disc's root
    SceneEngineInit();
    LoadTrigInit();
    MainResetSettings();
    BuffyInit();
    strcpy(levcon_uni_name, "new.uni");
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  }
};

Fixture& F() {
  static Fixture f;
  return f;
}

LevConWorld* World(const char* name) { return LevConFindWorldByName(name); }

// One foreground load of isletown, the loader inline.
void LoadOnce() {
  multithreaded = 0;
  BGLoadClose();
  LevConSysInit();
  bigbuffer->world_top = bigbuffer->system_top;
  bgload_inhibit = 0;  // as LevConSetName lifts it
  LevConLevel* town = LevConFindLevelByName("isletown");
  LevConLoadAll(World("demo"), LevConFindIslandByName("isle"), town);
  if (!town->scene || !town->terrain) abort();
  LevConSysClose();
  LoadTrigInit();
}

// Time in ms (the benchmark's unit) and the bytes of the files read a second.
void Report(benchmark::State& state) { state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(F().bytes)); }

void BM_ForegroundLoad_Archive(benchmark::State& state) {
  F();
  ZeFileInitEx(ZEFILE_MEDIA_CD, 0, 0);
  ZEDAT* arc = ZeDatOpen("gblds.dat", nullptr, nullptr);
  if (!arc) {
    state.SkipWithError("no archive");
    return;
  }
  ZeDatSet(arc);
  for (auto _ : state) LoadOnce();
  ZeDatSet(nullptr);
  ZeDatClose(arc);
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  Report(state);
}
BENCHMARK(BM_ForegroundLoad_Archive)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ForegroundLoad_Loose(benchmark::State& state) {
  F();
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  for (auto _ : state) LoadOnce();
  Report(state);
}
BENCHMARK(BM_ForegroundLoad_Loose)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ZeFileLoadBuffer_SameFiles(benchmark::State& state) {
  F();
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  constexpr int kSize = 1 << 20;
  char* buffer = static_cast<char*>(EeMalloc(kSize));
  for (auto _ : state) {
    int n = 0;
    for (const char* f : kFiles) n += ZeFileLoadBuffer(f, buffer, kSize);
    benchmark::DoNotOptimize(n);
  }
  EeFree(buffer);
  Report(state);
}
BENCHMARK(BM_ZeFileLoadBuffer_SameFiles)->Iterations(1)->Unit(benchmark::kMillisecond);

// Frames from the preload of demo2 until it is loaded, the loader a thread
// reading the loose files.
void BM_Demo2StreamFrames(benchmark::State& state) {
  F();
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  KernelSetVirtualQuantum(int(state.range(0)));
  int frames = 0;
  for (auto _ : state) {
    // The loader thread is made once and lives on, as in the game.
    if (multithreaded == 0) BGLoadClose();
    multithreaded = 1;
    ZeIntAddAllHandlers();
    LevConSysInit();
    bigbuffer->world_top = bigbuffer->system_top;
    bgload_inhibit = 0;
    LevConLevel* demo2 = LevConFindLevelByName("demo2");
    lcopPostPreLoadLevel(demo2);
    for (frames = 0; frames < 600 && !demo2->info.loaded; frames++) {
      LevConProcess();
      BGSuspendMain();
    }
    if (!demo2->scene) abort();
    // The preload completes; the level is not of a current island, so it is
    // dumped here before the close.
    for (int i = 0; i < 60 && lcopQueued(); i++) {
      LevConProcess();
      BGSuspendMain();
    }
    LevConDumpLevel(demo2);
    BGLoadInhibit(1, 1);
    LevConSysClose();
    LoadTrigInit();
  }
  KernelSetVirtualQuantum(64);
  state.counters["frames"] = frames;
}
BENCHMARK(BM_Demo2StreamFrames)->Arg(1)->Arg(64)->Arg(1024)->Iterations(1);

}  // namespace
