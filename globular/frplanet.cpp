// The planet state the renderer keeps: the planets' frames and face
// materials, the current planet and the world fade between planets.
#include "globular.h"

#include <cstring>

PLANET* g_current_planet = nullptr;
FRAME* gfr_frm = nullptr;
int gfr_pltdepth = 0;
float wld_fade = 1.0f;
float wld_fadestep = 0.0f;
int wld_wait = 0;
void* g_planet_mesh = nullptr;

namespace {
int planet_count = 0;
}

int FrPlanetGetCount() { return planet_count; }

void FrPlanetCreate(PLANET* planet) {
  planet_count++;
  FRAME* f = FrameCreate(FrameGetRoot());
  ZEVEC t;
  ZeVecScale(&t, &planet->position, 0.25f);
  ZeMtxSetTranslation(&f->mtx, &t);
  planet->frame = f;
  float orbit = float(ZeAtan2D(-planet->position.x, -planet->position.z)) / 65536.0f;
  while (orbit < 0.0f) orbit += 1.0f;
  while (orbit >= 1.0f) orbit -= 1.0f;
  planet->orbit = orbit;
}

void FrPlanetDestroy(PLANET* planet) {
  for (int k = 0; k < 6; k++) {
    if (planet->texture[k]) ZeTexDestroy(planet->texture[k]);
    planet->texture[k] = 0;
    if (planet->mtl[k]) ZeMtlDestroy(planet->mtl[k]);
    planet->mtl[k] = nullptr;
  }
  if (planet->frame) FrameDestroy(planet->frame);
  planet->frame = nullptr;
  if (g_current_planet == planet) FrPlanetSetNextPlanet(nullptr);
  planet_count--;
}

void FrPlanetSetNextPlanet(PLANET* planet) {
  g_current_planet = planet;
  gfr_frm = planet ? planet->frame.get() : nullptr;
  gfr_pltdepth = planet ? planet->platedepth : 0;
}

void FrPlanetSetWldFade(float step) { wld_fadestep = step; }

void FrPlanetUpdate() {
  if (!g_planet_mesh) return;
  if (wld_fadestep > 0.0f) {
    wld_fade += wld_fadestep;
    if (wld_fade >= 0.99f) {
      wld_fade = 0.99f;
      wld_fadestep = 0.0f;
    }
  } else if (wld_fadestep < 0.0f) {
    wld_fade += wld_fadestep;
    if (wld_fade <= 0.0f) {
      wld_fade = 0.0f;
      wld_fadestep = 0.0f;
    }
  }
  if (wld_wait > 0) wld_wait--;
}
