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

// ---- the resident plate set ----

int gpltid[FRPLATE_POOL];
FRPLATE* gpltptr[FRPLATE_POOL];
int gpltcnt = 0;

namespace {
struct PlateRequest {
  ZEVEC position;  // planet frame
  int depth;
  float horizon;
  int count;
  int list[FRPLATE_POOL];
};
PlateRequest plate_req[2];
int plate_req_cur = 0;        // the list the loader fills next
int plate_cb = -1;            // handle of the posted search, -1 when none
volatile int plate_cb_done = 0;

void ReleaseSet() {
  for (int i = 0; i < gpltcnt; i++)
    if (gpltptr[i] && gpltptr[i]->refs) gpltptr[i]->refs--;
  gpltcnt = 0;
}
}  // namespace

void FrPlanetUpdatePlatesBG(void* arg, int) {
  auto* r = static_cast<PlateRequest*>(arg);
  r->count = 0;
  FrCubeGetVisiblePlates(r->list, r->depth, &r->count, FRPLANET_VISIBLE, &r->position, 1, r->horizon);
  plate_cb_done = 1;
}

void FrPlanetUpdatePlates(FRAME* frame, const ZEVEC* position) {
  PLANET* pl = g_current_planet;
  if (plate_cb < 0) {
    if (!pl || !gfr_frm || FrCubeGetNumLevels() <= gfr_pltdepth) return;
    PlateRequest& r = plate_req[plate_req_cur];
    FrameRemapPos(gfr_frm, &r.position, frame, position);
    r.depth = gfr_pltdepth;
    float sea = pl->radius + pl->height * pl->seafraction;
    r.horizon = 2.0f * sea - (pl->radius + pl->height);
    r.count = 0;
    plate_cb_done = 0;
    plate_cb = BGLoadPostCallback(FrPlanetUpdatePlatesBG, &r);  // -1: the ring is full, try next frame
    return;
  }
  if (!plate_cb_done) return;
  ReleaseSet();
  PlateRequest& r = plate_req[plate_req_cur];
  plate_req_cur ^= 1;
  for (int i = 0; i < r.count && gpltcnt < FRPLATE_POOL; i++) {
    if (r.list[i] < 0 || r.list[i] >= FRCUBE_PLATES) continue;
    FRPLATE* p = FrPlateFind(r.list[i], 1);
    if (!p) continue;
    p->refs++;
    p->flags |= FRPLATE_RESIDENT;
    gpltid[gpltcnt] = r.list[i];
    gpltptr[gpltcnt++] = p;
  }
  plate_cb = -1;
}

void FrPlanetClose() {
  if (plate_cb >= 0) BGLoadCancelCallback(plate_cb);
  plate_cb = -1;
  plate_cb_done = 0;
  ReleaseSet();
}

int FrPlanetGetPlate(FRAME* frame, const ZEVEC* position) {
  if (!g_current_planet || !gfr_frm || FrCubeGetNumLevels() <= gfr_pltdepth) return -1;
  ZEVEC p;
  FrameRemapPos(gfr_frm, &p, frame, position);
  return FrCubeLocate(&p, gfr_pltdepth);
}

// Shows or hides the plate's piece of the world mesh. The world mesh comes
// with planet rendering: until it loads there is no piece, and the answer is 0.
int FrPlanetEnablePlate(int plate, int enable) { return 0; }
