// The planet world's shared state: the init level, the render-plane
// indices and the pending time of day. The entry points that drive them
// belong to program flow's planet stand-in until the planet-world main is
// built.
#include "globular.h"

int init_level = 0;
int next_init_level = 0;

int gb_renderplane_level = 0, gb_renderplane_space = 1, gb_renderplane_otplanet1 = 2, gb_renderplane_otplanet2 = 3,
    gb_renderplane_otplanet3 = 4, gb_renderplane_otplanet4 = 5, gb_renderplane_otplanet5 = 6,
    gb_renderplane_otplanet6 = 7, gb_renderplane_water = 8, gb_renderplane_sea = 9, gb_renderplane_sky = 10,
    gb_renderplane_planet = 11, gb_renderplane_fractal = 12, gb_renderplane_planetlevel = 13,
    gb_renderplane_atmos = 14, gb_renderplane_spacelevel = 15, gb_renderplane_instrumentation = 16;

float gb_time = 0.0f;
float gb_time_step = 0.0f;

FRAME* g_cam_frm = nullptr;
ZEMTX g_cam_mtx = zemtx_identity;
