// Fuzz target: the surface loaders on damaged files. The first byte chooses
// the file: 0 "heights.gb3" (the plate geometry table), 1 "patches.gb3" (its
// rebuild), 2 "tex004.gb3" (a patch block: patch, heights, tree table and
// the plate's three images), 3 "tex032.gb3" (a tile block and its images),
// 4 "texndx.gb3" (then a patch block read through it). The rest is the file,
// padded with zeros to one record. The planet has plate depth 2 (96 plates).
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "fuzz.h"
#include "globular.h"
#include "planettool.h"

namespace {

constexpr int SIZE = 16 << 20;
char* buffer = nullptr;
char* texslots = nullptr;
std::string root;
PLANET planet;
int plates_up = 0;  // the plate module is initialised

void Up() {
  if (buffer) return;
  errmsg_disabled = 1;
  errmsg_to_console = getenv("FRSURF_FUZZ_TRACE") ? 1 : 0;  // the fatal messages, when tracing
  root = (std::filesystem::current_path() / ("frsurf_fuzz." + std::to_string(getpid()))).string();
  std::filesystem::create_directories(root + "/bin/terra");
  PlatSetHostRoot(root.c_str());
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  PlanetToolEngineInit();
  texslots = static_cast<char*>(EeMalloc(ZeTexGetSysBuffSize(200) + 16));
  char* t = texslots;
  ZeTexInitEx(&t, 200);
  PlanetToolWrite(root + "/bin/cube.bin", CubeImage(CubeBuild(CUBE_LEVELS)));
  buffer = static_cast<char*>(EeMalloc(SIZE));
}

void Write(const char* name, const uint8_t* data, size_t size, size_t pad) {
  std::vector<uint8_t> bytes(data, data + size);
  if (bytes.size() < pad) bytes.resize(pad, 0);
  FuzzWriteFile(std::string("bin/terra/") + name, bytes.data(), bytes.size());
}

void Down() {
  FrPlanetClose();
  for (int i = 0; i < 100 && FrSurfaceIsInit() && !FrSurfaceClose(); i++) {
    AsyncFileProcessAll();
    FrSurfaceProcessReleased();
  }
  FrSurfaceAbandon();
  FrSurfaceCloseFiles();
  FrSurfaceFreeNoise();
  if (plates_up) {
    FrPlateFreePatchData();
    FrPlateClose();
  }
  plates_up = 0;
  FrPlanetSetNextPlanet(nullptr);
  FrCubeClose();
  FrameClose();
  for (const char* n : {"HEIGHTS.GB3", "PATCHES.GB3", "TEX004.GB3", "TEX032.GB3", "TEXNDX.GB3"})
    PlatHostMemFile((std::string("bin/terra/") + n).c_str(), nullptr, 0);
}

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  Up();
  if (size < 1 || size > 2 * FRCUBE_PLATES * FRPLATE_PATCHRECORD) return;
  const int which = data[0] % 5;
  data++;
  size--;
  char* pos = buffer;
  FrameInit(&pos, buffer + SIZE);
  FrCubeInit(&pos, buffer + SIZE);
  memset(&planet, 0, sizeof planet);
  planet.radius = 11000;
  planet.height = 300;
  planet.platedepth = 2;  // 96 plates: whole tables stay small
  planet.frame = FrameCreate(FrameGetRoot());
  FrPlanetSetNextPlanet(&planet);
  strcpy(g_planet_path, "terra");
  FrPlateInit(&pos, buffer + SIZE);
  plates_up = 1;
  asyncfileload = 0;
  memset(ndx_tab, 0, sizeof ndx_tab);
  switch (which) {
    case 0: Write("HEIGHTS.GB3", data, size, 0); break;
    case 1: Write("PATCHES.GB3", data, size, 0); break;
    case 2: Write("TEX004.GB3", data, size, FRSURF_PATCHBLOCK); break;
    case 3: Write("TEX032.GB3", data, size, 163840); break;
    default: Write("TEXNDX.GB3", data, size, 0); break;
  }
  FrPlateLoadPatchData(&pos, buffer + SIZE);
  if (which >= 2) {
    FrSurfaceInit(&pos, buffer + SIZE, 1);
    FrSurfaceOpenFiles("bin");
    if (which == 4) Write("TEX004.GB3", nullptr, 0, FRSURF_PATCHBLOCK * 2);
    FRPLATE* p = FrPlateFind(5, 1);
    p->refs = 1;
    if (which == 3) {
      FRSURFTEX rec{};
      FrSurfaceInitColourTexture(&rec);
      ZEVEC near{0, 0, 0};
      FrSurfaceUpdateTexture(&rec, FrSurfaceKey(5, 2, 3), 3, 3, &near);
      while (auto* n = static_cast<FRSURFNODE*>(ZeListGetHead(&rec.chain))) {
        ZeListRemove(&rec.chain, n);
        FrSurfaceReleaseTexNode(n);
      }
      ZeTexDestroy(rec.tid);
    } else if (gplt_data || which == 2) {
      FrSurfaceInitPlateData(p);
      FrSurfaceInitPatchData(p);
    }
    p->refs = 0;
  }
  Down();
}

void FuzzReset() {
  // What an abandoned load made goes with the engine parts it lives in.
  Down();
  char* t = texslots;
  ZeTexInitEx(&t, 200);
  errmsg_trap = 0;
}
