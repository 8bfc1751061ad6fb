// Stand-ins for the planet world's entry points until planet rendering is
// built. Init level 2 builds the frames, the cube plate grid ("bin\cube.bin"),
// the planetary system ("bin\system.gb3"), the plates and the levels from the
// caller's buffer; level 0 takes them down. Levels 4 and 6 load the current
// planet's surface data (surface pools and files, plate geometry, noise) into
// the planet-data buffer; without a current planet they stop at 2. A frame
// turns the planets, keeps the resident plates, the plates and the surface
// streaming up to date and passes the asynchronous reads on; nothing is
// drawn.
#include "standins.h"

#include "globular.h"

#include <cstring>

int eval_fog_repeat;

namespace {
int level2_built;
int planet_data;
int hires = 1;  // the next planet-data load keeps high-detail surface pools

// The planet-data job of levels 4 and 6.
void LoadPlanetData(char** position, char* end) {
  FrSurfaceInit(position, end, hires);
  FrSurfaceOpenFiles("bin");
  FrPlateLoadPatchData(position, end);
  FrSurfaceLoadNoise(position, end);
  planet_data = 1;
}

// Everything the surface holds goes back; reads in flight are waited for.
void FreePlanetData() {
  FrPlanetClose();
  for (int frames = 0; !FrSurfaceClose(); frames++) {
    if (frames == 1000) ZeError("GBSetInitLevel: the surface data is not released");
    AsyncFileProcess();
    BGLoadServeGbData();
    FrSurfaceProcessReleased();
  }
  FrSurfaceCloseFiles();
  FrSurfaceFreeNoise();
  FrPlateFreePatchData();
  planet_data = 0;
}
}  // namespace

int GBSetInitLevel(int level, char** position, char** end, char* fractal_start, char* fractal_end) {
  ZEASSERT(!(level & 1));
  // Every step here completes within the call: no change is ever pending.
  if (level > 0) {
    if (level < 4 && planet_data) FreePlanetData();
    init_level = 1;
    if (!level2_built) {
      FrameInit(position, *end);
      FrCubeInit(position, *end);
      PlanetSysInit(position, *end);
      PlanetSysLoadData(position, *end);
      FrPlateInit(position, *end);
      GBLevInit();
      level2_built = 1;
    }
    init_level = next_init_level = 2;
    if (level >= 4 && g_current_planet) {
      init_level = 3;
      // The planet data goes into the planet-data buffer the caller names.
      char* data = fractal_start;
      if (!planet_data) LoadPlanetData(&data, fractal_end);
      init_level = next_init_level = level;
    }
    return 1;
  }
  if (planet_data) FreePlanetData();
  init_level = 1;
  if (level2_built) {
    GBLevClose();
    FrPlateClose();
    PlanetSysClose();
    FrCubeClose();
    FrameClose();
    level2_built = 0;
  }
  init_level = next_init_level = 0;
  return 1;
}

// The order of the planet world's frame: the planets turn unless paused,
// the world fade steps, at level 6 the resident plates, the plates and the
// surface streaming follow the camera, then the asynchronous reads move on.
void GBProcess(int paused) {
  if (!paused) PlanetSysProcess();
  FrPlanetUpdate();
  if (init_level >= 6) {
    ZEVEC camera;
    ZeMtxGetTranslation(&g_cam_mtx, &camera);
    FrPlanetUpdatePlates(g_cam_frm ? g_cam_frm : FrameGetRoot(), &camera);
    FrPlateUpdate(0);
    FrSurfaceUpdate();
  }
  if (init_level >= 2) AsyncFileProcess();
}

void GBSpecialRender() {}
void GBRender2d(int) { FrSurfaceInfo(); }
void InitWorldFxBlobs() {}
void CloseWorldFxBlobs() {}
void DrawClouds() {}
void DrawSpaceblobs() {}
void Wfx3SetFogType2(float, int, int) {}
void Wfx3Load(const char*, const char*) {}
void InitWorldFx(void*) {}

// Streaming's planet levels: worlds registered by exact planet name, islands
// by plate; the current plate level (planet_lev) stays until a test drops it, as
// leaving the capture radius would. No remap; the switches do nothing.
void* planet_lev;
namespace {
struct PlanetWorld {
  const char* planet;
  void* world;
};
PlanetWorld g_worlds[8];
int g_nworlds;
void* g_world;
struct Plate {
  int id;
  void* island;
};
Plate g_plates[32];
int g_nplates;
}  // namespace

void PlanetLevRegisterWorld(const char* planet, const char*, void* world) {
  if (!planet || g_nworlds >= 8) return;
  for (int i = 0; i < g_nworlds; i++)
    if (g_worlds[i].world == world) return;
  g_worlds[g_nworlds++] = {planet, world};
}
int PlanetLevSetCurrentWorld(const char* planet) {
  g_world = nullptr;
  for (int i = 0; i < g_nworlds && planet; i++)
    if (strcmp(g_worlds[i].planet, planet) == 0) g_world = g_worlds[i].world;
  return g_world != nullptr;
}
void PlanetLevRegisterLevel(int plate, const ZEVEC*, int, void* island, float) {
  for (int i = 0; i < g_nplates; i++)
    if (g_plates[i].id == plate) {
      g_plates[i].island = island;
      return;
    }
  if (g_nplates < 32) g_plates[g_nplates++] = {plate, island};
}
void PlanetLevReleaseLevel(int plate) {
  for (int i = 0; i < g_nplates; i++)
    if (g_plates[i].id == plate) {
      if (planet_lev == g_plates[i].island) planet_lev = nullptr;
      g_plates[i] = g_plates[--g_nplates];
      return;
    }
}
void PlanetLevSetCurrentLevel(int plate) {
  planet_lev = nullptr;
  for (int i = 0; i < g_nplates; i++)
    if (g_plates[i].id == plate) planet_lev = g_plates[i].island;
}
void* PlanetLevGetCurrentWorld() { return g_world; }
void* PlanetLevGetCurrentLevel() { return planet_lev; }
ZEMTX* PlanetLevGetRemapMtx() { return nullptr; }
void GBSetFarRender(int) {}
void GBSetPlateRender(int) {}
void GBProcessEnable(int) {}
void GBSetPlanetRender(int) {}
void GBSetTileRender(int, int) {}
void GBHiResTexturesEnabled(int on) { hires = on; }
void GBSetPlanetMeshRender(int) {}
void GBReset() {}
void WorldFXSetSkyVisibility(int) {}
void WorldFXSetSeaVisibility(int) {}
void CloseWorldFx() {}
int WorldFXSeaVisibility() { return 0; }

// The planet world's render: the five hooks in their order, the plate hook
// with the current plate and its island, or -1 and null.
namespace {
GBRenderFn g_preSpace, g_prePlanet, g_postPlanet, g_postSpace;
GBPlateRenderFn g_plate;
void Call(GBRenderFn f) {
  if (f) f();
}
}  // namespace
void GBSetPreSpaceRenderFunc(GBRenderFn fn) { g_preSpace = fn; }
void GBSetPrePlanetRenderFunc(GBRenderFn fn) { g_prePlanet = fn; }
void GBSetPlateRenderFunc(GBPlateRenderFn fn) { g_plate = fn; }
void GBSetPostPlanetRenderFunc(GBRenderFn fn) { g_postPlanet = fn; }
void GBSetPostSpaceRenderFunc(GBRenderFn fn) { g_postSpace = fn; }
void GBRender() {
  Call(g_preSpace);
  Call(g_prePlanet);
  if (g_plate) {
    int plate = -1;
    for (int i = 0; i < g_nplates; i++)
      if (planet_lev && g_plates[i].island == planet_lev) plate = g_plates[i].id;
    g_plate(plate, plate == -1 ? nullptr : planet_lev);
  }
  Call(g_postPlanet);
  Call(g_postSpace);
}
int GBGetPlanetRender() { return 1; }
void DrawStars() {}
void DrawSky() {}
void DrawAtmos() {}
void ProcWorldFx() {}
