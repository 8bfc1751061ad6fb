// The check program's effects and dressing round the demo character: the
// particle system on the demo data's effect pages (the general page and
// the level's, with its fountain, smoke and sparks), sparks where a ball
// lands, glass shards where one glances off a special shape, rain passing
// over, and the level's grass and bridge pages with their wind, fade and
// bridge updates at the character.
#include "demoworld.h"

#include <cstring>

#include "gamelib.h"

int demo_rain_period = 1200;  // frames of a rain cycle: dry for half, then a shower
int demo_dress_untouched = 0;

namespace {

constexpr int POOL_BYTES = 2 << 20;    // the particle pools and materials
constexpr int DRESS_BYTES = 1 << 20;   // the grass page's matrices and vectors
constexpr int CHUNKS = 304;
constexpr int SPARKS_PER_LANDING = 12;
constexpr int SHARDS_PER_GLANCE = 8;

char* g_pool = nullptr;
uint8_t* g_dress = nullptr;
ZEVEC g_focus = {};  // the character: cut-off distances, wind and fade
int g_levelpage = -1, g_sparks = -1, g_glass = -1;
int g_grasspage = -1, g_bridgepage = -1;
int g_bursts = 0;
int g_solid = 0;     // stones solid last frame
ZECAMERA g_view;     // the scene's camera, for the glass pass after the frame

// The level's dressing names scene objects by their specials: the name
// (its first 19 characters, in any case) gives the special's instance.
int LookUp(const char* name, const ZEGSCENE* scene) {
  if (!scene || !scene->specs || !name) return -1;
  char want[20] = {};
  strncpy(want, name, 19);
  for (int i = 0; i < scene->nspec; i++) {
    const ZESPECIALOBJ& s = scene->specs.get()[i];
    if (!s.name) continue;
    char have[20] = {};
    strncpy(have, s.name, 19);
    if (ZeStrICmp(have, want) == 0) return ZeBridgeLookupInstanceIndex(s.inst, scene);
  }
  return -1;
}

// Fade objects with a platform instance (solid near the character).
int SolidStones() {
  int n = 0;
  for (const ZeFadeObjGrp& g : ZeFadeObjGroup)
    for (int i = 0; g.inuse && g.plat && i < g.count; i++) n += g.plat.get()[i] >= 0;
  return n;
}

// Where a world point shows on the screen (VU units), through the view.
ZEVEC OnScreen(const ZEVEC& w) {
  const ZEMTX* m = ZeCameraGetVPCSMtx();
  float o[4];
  for (int j = 0; j < 4; j++) o[j] = w.x * m->m[0][j] + w.y * m->m[1][j] + w.z * m->m[2][j] + m->m[3][j];
  return o[3] > 0.0f ? ZEVEC{o[0] / o[3], o[1] / o[3], o[2] / o[3]} : ZEVEC{-1.0f, -1.0f, -1.0f};
}

}  // namespace

void DemoWorldFxInit(ZEGSCENE* scene) {
  if (ZeFileSize("gfx\\particle.pnt") <= 0) {
    scePrintf("demoworld: no effects (gfx\\particle.pnt; build the demo data)\n");
    return;
  }
  ParticleReset();
  edppDestroyAllEffects();
  g_pool = static_cast<char*>(ZeMemAllocFn(POOL_BYTES, __FILE__, __LINE__));
  char* cursor = g_pool;
  DebrisSetup(&cursor, "gfx\\particle.pnt", CHUNKS);
  if (cursor > g_pool + POOL_BYTES) ZeError("demoworld: the particle pools overran their buffer");
  DebrisRegisterCutoffCameraVec(&g_focus);
  edppRegisterPointerToGameCharLocation(&g_focus);
  DebrisGlassInit();
  const int general =
      ZeFileSize("generic\\particle.dat") > 0 ? edppLoadPage("generic\\particle.dat", 0, nullptr) : -1;
  g_glass = general >= 0 ? LookupDebrisEffectPage("GLASS", general) : -1;
  g_levelpage = edppLoadPage("levels\\isletown\\fx.dat", 1, scene);
  edppRestartAllEffectsInLevel();
  g_sparks = LookupDebrisEffectPage("SPARKS", g_levelpage);
  // The dressing.
  edbits_lookup_hook = LookUp;
  edgraClumpsReset();
  edbriReset();
  ZeBridgeInit();
  ZeWindInit();
  ZeFadeObjInit();
  if (scene) {
    g_dress = static_cast<uint8_t*>(ZeMemAllocFn(DRESS_BYTES, __FILE__, __LINE__));
    uint8_t* pos = g_dress;
    g_grasspage = edgraLoadPage("levels\\demo.gra", scene, &pos, g_dress + DRESS_BYTES);
    g_bridgepage = edbriLoadPage("levels\\demo.bri", scene);
    // Started as the level controller starts them when the level becomes active.
    if (g_grasspage >= 0) edgraStartPage(g_grasspage);
    if (g_bridgepage >= 0) edbriStartPage(g_bridgepage);
  }
  scePrintf("demoworld: effect page %d (sparks type %d, glass type %d), grass page %d, bridge page %d\n",
            g_levelpage, g_sparks, g_glass, g_grasspage, g_bridgepage);
}

void DemoWorldFxLanding(const ZEVEC& at) {
  if (!g_pool || g_sparks < 1) return;
  AddVariableShotDebrisEffect(g_sparks, &at, SPARKS_PER_LANDING, 0, 0);
  g_bursts++;
}

void DemoWorldFxGlance(const ZEVEC& at) {
  if (!g_pool || g_glass < 1) return;
  AddVariableShotDebrisEffect(g_glass, &at, SHARDS_PER_GLANCE, 0, 0);
  g_bursts++;
}

// Before the scene's update, with the character where it was drawn last.
void DemoWorldFxBeforeScene(int frame, const ZEVEC& focus) {
  if (!g_pool) return;
  g_focus = focus;
  // Untouched, the dressing feels the character nowhere near: a place far
  // below the level.
  const ZEVEC at = demo_dress_untouched ? ZEVEC{0.0f, -1000.0f, 0.0f} : g_focus;
  ZeBridgeUpdate(&at);
  ZeWindUpdate(&at);
  ZeFadeObjUpdate(&at);
  if (const int solid = SolidStones(); solid != g_solid) {
    scePrintf("demoworld: frame %d: %d stones solid\n", frame, solid);
    g_solid = solid;
  }
  // A shower in the second half of each cycle (none without a cycle).
  const bool wet = demo_rain_period > 0 && frame % demo_rain_period >= demo_rain_period / 2;
  ZeRainSetFall(wet ? 1.0f : 0.0f);
}

// In the scene: the particles' frame and their passes, the dressing.
void DemoWorldFxFrame(int frame) {
  if (!g_pool) return;
  g_view = global_camera;
  if (frame % 25 == 0 && Bridges && Bridges[0].inuse) {
    // Where the first bridge's plank nearest the character shows, for the
    // pictures' checks.
    const ZeBridge& b = Bridges[0];
    int near = 0;
    float best = 1e30f;
    for (int i = 0; i < b.nplanks; i++) {
      const float dx = b.plank[i].m[3][0] - g_focus.x, dz = b.plank[i].m[3][2] - g_focus.z;
      if (dx * dx + dz * dz < best) best = dx * dx + dz * dz, near = i;
    }
    const ZEMTX& m = b.plank[near];
    const ZEVEC at = OnScreen({m.m[3][0], m.m[3][1], m.m[3][2]});
    scePrintf("demoworld: frame %d on screen: plank %d at (%.1f, %.1f), height %.3f\n", frame, near, at.x, at.y,
              m.m[3][1]);
  }
  Debris(0);
  ZeBridgeDraw(DebMat[6]);  // the ropes in the particles' material 6
  ZeWindDraw();
  ZeFadeObjDraw();
  ZeRainProcess(0);
  DebrisDraw(0, 1);
  DebrisDraw(0, 0);
}

void DemoWorldGlass() {
  if (!g_pool) return;
  // The rain round the scene's camera, seen through it.
  ZECAMERA* was = ZeCameraGetCam();
  ZeCameraSet(&g_view);
  DebrisDrawGlass();
  if (was) ZeCameraSet(was);
}

void DemoWorldFxEnd() {
  if (!g_pool) return;
  scePrintf("demoworld: %d spark and shard bursts, %d particles made in the last second\n", g_bursts, debris_generated_total);
  ZeRainSetFall(0.0f);
  ParticleReset();
  edppDestroyAllEffects();
  DebrisGlassClose();
  ZeBridgeInit();  // the live bridges and their planks' platform instances
  edbriReset();
  edgraClumpsReset();
  ZeWindInit();
  ZeFadeObjInit();
  edbits_lookup_hook = nullptr;
  g_grasspage = g_bridgepage = -1;
  if (g_dress) ZeMemFreeFn(g_dress, __FILE__, __LINE__);
  ZeMemFreeFn(g_pool, __FILE__, __LINE__);
  g_dress = nullptr;
  g_pool = nullptr;
  g_solid = 0;
}
