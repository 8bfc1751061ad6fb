// Stand-ins for the planet world's entry points until planet rendering is
// built. Init level 2 builds the frames, the cube plate grid ("bin\cube.bin")
// and the planetary system ("bin\system.gb3") from the caller's buffer; level
// 0 takes them down. The planet data of levels 4 and 6 comes with planet
// rendering: here those levels stop at 2. A frame turns the planets and
// passes the asynchronous reads on; nothing is drawn.
#include "standins.h"

#include "globular.h"

#include <cstring>

float gb_lev_time;
int eval_fog_repeat, tex_info, fogshade_enable = 1;

namespace {
int level2_built;
}

int GBSetInitLevel(int level, char** position, char** end, char*, char*) {
  ZEASSERT(!(level & 1));
  // Every step here completes within the call: no change is ever pending.
  if (level > 0) {
    init_level = 1;
    if (!level2_built) {
      FrameInit(position, *end);
      FrCubeInit(position, *end);
      PlanetSysInit(position, *end);
      PlanetSysLoadData(position, *end);
      level2_built = 1;
    }
    init_level = next_init_level = 2;
    return 1;
  }
  init_level = 1;
  if (level2_built) {
    PlanetSysClose();
    FrCubeClose();
    FrameClose();
    level2_built = 0;
  }
  init_level = next_init_level = 0;
  return 1;
}

void GBLevUpdateFrame(const ZEVEC*) {}

// The order of the planet world's frame: the planets turn unless paused,
// the world fade steps, then the asynchronous reads move on.
void GBProcess(int paused) {
  if (!paused) PlanetSysProcess();
  FrPlanetUpdate();
  if (init_level >= 2) AsyncFileProcess();
}

void GBSpecialRender() {}
void GBRender2d(int) {}
void InitWorldFxBlobs() {}
void CloseWorldFxBlobs() {}
void DrawClouds() {}
void DrawSpaceblobs() {}
void Wfx3SetFogType2(float, int, int) {}
void FrSurfaceInfo() {}
void Wfx3Load(const char*, const char*) {}
void InitWorldFx(void*) {}

// Streaming's planet levels: worlds registered by exact planet name, islands
// by plate; the current plate level (g_lev) stays until a test drops it, as
// leaving the capture radius would. No remap; the switches do nothing.
void* g_lev;
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

void GBLevRegisterWorld(const char* planet, const char*, void* world) {
  if (!planet || g_nworlds >= 8) return;
  for (int i = 0; i < g_nworlds; i++)
    if (g_worlds[i].world == world) return;
  g_worlds[g_nworlds++] = {planet, world};
}
int GBLevSetCurrentWorld(const char* planet) {
  g_world = nullptr;
  for (int i = 0; i < g_nworlds && planet; i++)
    if (strcmp(g_worlds[i].planet, planet) == 0) g_world = g_worlds[i].world;
  return g_world != nullptr;
}
void GBLevRegisterLevel(int plate, const ZEVEC*, int, void* island, float) {
  for (int i = 0; i < g_nplates; i++)
    if (g_plates[i].id == plate) {
      g_plates[i].island = island;
      return;
    }
  if (g_nplates < 32) g_plates[g_nplates++] = {plate, island};
}
void GBLevReleaseLevel(int plate) {
  for (int i = 0; i < g_nplates; i++)
    if (g_plates[i].id == plate) {
      if (g_lev == g_plates[i].island) g_lev = nullptr;
      g_plates[i] = g_plates[--g_nplates];
      return;
    }
}
void GBLevSetCurrentLevel(int plate) {
  g_lev = nullptr;
  for (int i = 0; i < g_nplates; i++)
    if (g_plates[i].id == plate) g_lev = g_plates[i].island;
}
void* GBLevGetCurrentWorld() { return g_world; }
void* GBLevGetCurrentLevel() { return g_lev; }
void* GBLevGetRemapMtx() { return nullptr; }
void GBSetFarRender(int) {}
void GBSetPlateRender(int) {}
void GBProcessEnable(int) {}
void GBSetPlanetRender(int) {}
void GBSetTileRender(int, int) {}
void GBHiResTexturesEnabled(int) {}
void GBSetPlanetMeshRender(int) {}
void GBReset() {}
void WorldFXSetSkyVisibility(int) {}
void WorldFXSetSeaVisibility(int) {}
void CloseWorldFx() {}

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
      if (g_lev && g_plates[i].island == g_lev) plate = g_plates[i].id;
    g_plate(plate, plate == -1 ? nullptr : g_lev);
  }
  Call(g_postPlanet);
  Call(g_postSpace);
}
int GBGetPlanetRender() { return 1; }
void DrawStars() {}
void DrawSky() {}
void DrawAtmos() {}
void ProcWorldFx() {}
