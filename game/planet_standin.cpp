// Stand-ins for the planet world's entry points until planet rendering is
// built. Init level 2 builds the frames, the cube plate grid ("bin\cube.bin")
// and the planetary system ("bin\system.gb3") from the caller's buffer; level
// 0 takes them down. The planet data of levels 4 and 6 comes with planet
// rendering: here those levels stop at 2. A frame turns the planets and
// passes the asynchronous reads on; nothing is drawn.
#include "standins.h"

#include "globular.h"

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
