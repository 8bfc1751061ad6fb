// Streaming: the foreground load of a level (world, island with its load
// triggers, level) from the world archive on the disc, from loose host
// files, and ZeFileLoadBuffer of the same files; and the frames a preloaded
// level takes to stream in with the loader as a thread at three quanta.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "game.h"
#include "levcon.h"
#include "standins.h"
#include "zeps2.h"
#include "zetools.h"

namespace {

const char* const kUni =
    "BeginWorld demo\n"
    "  GBName DemoPlanet planets\\demo\n"
    "  BeginIsland isle\n"
    "    Path isle\n"
    "    PlateID 20\n"
    "    LoadTriggers isle\n"
    "    BeginLevel isletown BUFFER MAIN 65536\n"
    "      Path isle\n"
    "    EndLevel\n"
    "    BeginLevel demo2 BUFFER HIGH 65536\n"
    "      Path isle\n"
    "    EndLevel\n"
    "  EndIsland\n"
    "EndWorld\n";

struct Fixture {
  std::string dir;
  size_t bytes = 0;  // the files the load reads
  ZEDAT* arc = nullptr;

  Fixture() {
    errmsg_disabled = 1;
    char tmpl[] = "/tmp/stream_bench.XXXXXX";
    dir = mkdtemp(tmpl);
    std::filesystem::create_directories(dir + "/tree/ISLE");
    std::filesystem::create_directories(dir + "/disc");
    std::ofstream(dir + "/tree/T.UNI") << kUni;
    PlatSetHostRoot((dir + "/tree").c_str());
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    // The island's load triggers, written by the game's writer.
    LoadTrigInit();
    loadtrig_edit_set = 0;
    TriggerBoundSet& s = loadtrig_sets[0];
    strcpy(s.filename, "isle\\isle.ltd");
    for (int i = 0; i < 3; i++) {
      TriggerBound* b = LoadTrigNewBound(0);
      b->type = LT_LEVEL;
      strcpy(b->name, i ? "demo2" : "isletown");
      b->actions = uint8_t(i == 0 ? LT_LOAD : i == 1 ? LT_PRELOAD : LT_VIEW);
      b->top = 100;
      b->bottom = -100;
      b->radius = 200;
      b->npoints = 4;
      const float h = 100.0f / float(i + 1);
      const float sq[8] = {-h, -h, h, -h, h, h, -h, h};
      memcpy(&s.points[i * 8], sq, sizeof sq);
      b->points = &s.points[i * 8];
    }
    s.npoints = 12;
    if (!LoadTrigWrite()) abort();
    bytes = std::filesystem::file_size(dir + "/tree/ISLE/ISLE.LTD");
    std::string error;
    if (!ArcBuild(dir + "/tree", dir + "/disc/GBLDS.DAT", ArcBuildOptions(), &error)) abort();
    PlatSetDiscRoot((dir + "/disc").c_str());
    MainResetSettings();
    LEVELBUFFERSIZE = 0x100000;
    BuffyInit();
    strcpy(levcon_uni_name, "t.uni");
  }
};

Fixture& F() {
  static Fixture f;
  return f;
}

// One foreground load of isletown, the loader inline.
void LoadOnce() {
  multithreaded = 0;
  BGLoadClose();
  LevConSysInit();
  bigbuffer->world_top = bigbuffer->system_top;
  bgload_inhibit = 0;  // as LevConSetName lifts it
  LevConLoadAll(&worlds[0], &islands[0], LevConFindLevelByName("isletown"));
  LevConSysClose();
  LoadTrigInit();
}

// Time in ms (the benchmark's unit) and the bytes of the files read a second.
void Report(benchmark::State& state) { state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(F().bytes)); }

void BM_ForegroundLoad_Archive(benchmark::State& state) {
  Fixture& f = F();
  ZeFileInitEx(ZEFILE_MEDIA_CD, 0, 0);
  f.arc = ZeDatOpen("gblds.dat", nullptr, nullptr);
  if (!f.arc) {
    state.SkipWithError("no archive");
    return;
  }
  ZeDatSet(f.arc);
  for (auto _ : state) LoadOnce();
  ZeDatSet(nullptr);
  ZeDatClose(f.arc);
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
  Fixture& f = F();
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  char* buffer = static_cast<char*>(EeMalloc(8192));
  for (auto _ : state) {
    int n = ZeFileLoadBuffer("isle\\isle.ltd", buffer, 8192) + ZeFileLoadBuffer("t.uni", buffer, 8192);
    benchmark::DoNotOptimize(n);
  }
  EeFree(buffer);
  (void)f;
  Report(state);
}
BENCHMARK(BM_ZeFileLoadBuffer_SameFiles)->Iterations(1)->Unit(benchmark::kMillisecond);

// Frames from the preload of demo2 until it is loaded, the loader a thread.
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
