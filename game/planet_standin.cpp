// Stand-ins for the planet world's entry points until planet rendering is
// built. Init level 2 builds the frames, the cube plate grid ("bin\cube.bin"),
// the planetary system ("bin\system.gb3"), the plates and the levels from the
// caller's buffer; level 0 takes them down. Levels 4 and 6 load the current
// planet's surface data (surface pools and files, plate geometry, noise);
// without a current planet they stop at 2. A frame turns the planets, keeps
// the resident plates, the plates and the surface streaming up to date and
// passes the asynchronous reads on; nothing is drawn.
#include "standins.h"

#include "globular.h"

int eval_fog_repeat;

namespace {
int level2_built;
int planet_data;

// The planet-data job of levels 4 and 6.
void LoadPlanetData(char** position, char* end) {
  FrSurfaceInit(position, end, 1);
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

int GBSetInitLevel(int level, char** position, char** end, char*, char*) {
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
      if (!planet_data) LoadPlanetData(position, *end);
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
