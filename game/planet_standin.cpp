// Stand-ins for the planet world: init level 1 answered, no memory taken,
// nothing updated or drawn.
#include "standins.h"

float gb_time, gb_time_step, gb_lev_time;
int gb_renderplane_level, eval_fog_repeat, tex_info, fogshade_enable = 1;

int GBSetInitLevel(int, char**, char**, char*, char*) { return 1; }
void GBLevUpdateFrame(const ZEVEC*) {}
void GBProcess(int) {}
void GBSpecialRender() {}
void GBRender2d(int) {}
void InitWorldFxBlobs() {}
void CloseWorldFxBlobs() {}
void DrawClouds() {}
void DrawSpaceblobs() {}
void Wfx3SetFogType2(float, int, int) {}
void FrSurfaceInfo() {}
