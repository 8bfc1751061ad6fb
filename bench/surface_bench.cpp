// The planet surface: one frame of FrPlateUpdate + FrSurfaceUpdate on a
// scripted flight (ground, up to space, back) with tile images on and off,
// and the surface generator (one planet's files; "bytes" their total size).
// The loader's reads are not timed.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "globular.h"
#include "planet_terra.h"
#include "planettool.h"

namespace {

constexpr int kFlight = 240;  // frames of one flight
constexpr int kSize = 16 << 20;

using terra::Desc;
using terra::Model;
using terra::Own;
using terra::TILED;

struct World {
  char* buffer;
  PLANET planet;
};

World& Up() {
  static World* w = [] {
    ZeTrigInit();
    errmsg_disabled = 1;
    static std::string root = (std::filesystem::temp_directory_path() / "surface_bench").string();
    std::filesystem::create_directories(root + "/bin/terra");
    PlatSetHostRoot(root.c_str());
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    PlanetToolEngineInit();
    char* slots = static_cast<char*>(EeMalloc(ZeTexGetSysBuffSize(2200) + 16));
    ZeTexInitEx(&slots, 2200);
    PlanetToolWrite(root + "/bin/cube.bin", CubeImage(CubeBuild(CUBE_LEVELS)));
    SurfaceWriteAll(root + "/bin/terra", SurfaceBuild(Desc(), Model(), Own(), {TILED}));
    auto* world = static_cast<World*>(EeMalloc(sizeof(World)));
    memset(world, 0, sizeof *world);
    world->buffer = static_cast<char*>(EeMalloc(kSize));
    return world;
  }();
  return *w;
}

// One flight with the surface module set up for it; the time of each frame's
// plate and surface updates is the benchmark's.
void Flight(benchmark::State& state, int hidetail) {
  World& w = Up();
  char* pos = w.buffer;
  char* end = w.buffer + kSize;
  FrameInit(&pos, end);
  FrCubeInit(&pos, end);
  PLANET& pl = w.planet;
  memset(&pl, 0, sizeof pl);
  pl.radius = 11000;
  pl.height = 300;
  pl.seafraction = 0.25f;
  pl.platedepth = 4;
  pl.frame = FrameCreate(FrameGetRoot());
  FrPlanetSetNextPlanet(&pl);
  strcpy(g_planet_path, "terra");
  FrPlateInit(&pos, end);
  FrPlateLoadPatchData(&pos, end);
  FrSurfaceInit(&pos, end, hidetail);
  FrSurfaceOpenFiles("bin");
  asyncfileload = 1;
  g_cam_frm = pl.frame;
  int frame = 0;
  for (auto _ : state) {
    // Altitude: a cosine from the ground (300 up) to 40,000 and back.
    const float t = float(frame % kFlight) / float(kFlight);
    const float alt = 11000 + 300 + 20000 * (1 - std::cos(t * 6.2831853f));
    ZEVEC at;
    ZeVecScale(&at, FrCubeGetMidpoint(TILED, 4), alt);
    ZeMtxSetIdentity(&g_cam_mtx);
    ZeMtxSetTranslation(&g_cam_mtx, &at);
    FrPlanetUpdatePlates(pl.frame, &at);
    frsurf_frame = ++frame;
    FrPlateUpdate(0);
    FrSurfaceUpdate();
    state.PauseTiming();
    AsyncFileProcess();
    BGLoadServeGbData();
    BGLoadServeCallbacks();
    state.ResumeTiming();
  }
  FrPlanetClose();
  while (!FrSurfaceClose()) {
    AsyncFileProcess();
    BGLoadServeGbData();
    FrSurfaceProcessReleased();
  }
  FrSurfaceCloseFiles();
  FrPlateFreePatchData();
  FrPlateClose();
  FrPlanetSetNextPlanet(nullptr);
  FrCubeClose();
  FrameClose();
  g_cam_frm = nullptr;
}

void BM_SurfaceFrame(benchmark::State& state) { Flight(state, 1); }
void BM_SurfaceFrameTilesOff(benchmark::State& state) { Flight(state, 0); }

void BM_SurfaceGenerator(benchmark::State& state) {
  Up();
  size_t bytes = 0;
  for (auto _ : state) {
    SurfaceFiles f = SurfaceBuild(Desc(), Model(), Own(), {TILED});
    bytes = f.heights.size() + f.patches.size() + f.texndx.size() + f.noise.size();
    for (auto& t : f.tex) bytes += t.size();
    for (auto& t : f.face) bytes += t.size();
    benchmark::DoNotOptimize(f.heights.data());
  }
  state.counters["bytes"] = double(bytes);
}

BENCHMARK(BM_SurfaceFrame)->Iterations(kFlight * 4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SurfaceFrameTilesOff)->Iterations(kFlight * 4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SurfaceGenerator)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
