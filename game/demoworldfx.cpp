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
ZECAMERA g_view;     // the scene's camera, for the glass pass after the frame

// The level's dressing names scene objects; until the editors exist, names
// are looked up here: each name stands for one of the demo scene's
// instances (its object drawn for the name).
int LookUp(const char* name, const ZEGSCENE* scene) {
  struct Name {
    const char* name;
    int instance;
  };
  static constexpr Name kNames[] = {{"GRASS_TUFT", 5}, {"REEDS", 5}, {"STONE", 1},
                                    {"FLOWER", 5},     {"BRIDGE_PLANK", 6}, {"BRIDGE_POST", 1}};
  for (const Name& n : kNames)
    if (strcmp(n.name, name) == 0 && scene && n.instance < scene->ninst) return n.instance;
  return -1;
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
  ZeWindInit();
  ZeFadeObjInit();
  if (scene) {
    g_dress = static_cast<uint8_t*>(ZeMemAllocFn(DRESS_BYTES, __FILE__, __LINE__));
    uint8_t* pos = g_dress;
    g_grasspage = edgraLoadPage("levels\\demo.gra", scene, &pos, g_dress + DRESS_BYTES);
    g_bridgepage = edbriLoadPage("levels\\demo.bri", scene);
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
  ZeBridgeUpdate(&g_focus);
  ZeWindUpdate(&g_focus);
  ZeFadeObjUpdate(&g_focus);
  // A shower in the second half of each cycle (none without a cycle).
  const bool wet = demo_rain_period > 0 && frame % demo_rain_period >= demo_rain_period / 2;
  ZeRainSetFall(wet ? 1.0f : 0.0f);
}

// In the scene: the particles' frame and their passes, the dressing.
void DemoWorldFxFrame() {
  if (!g_pool) return;
  g_view = global_camera;
  Debris(0);
  ZeBridgeDraw(nullptr);
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
  edbriReset();
  edgraClumpsReset();
  ZeWindInit();
  ZeFadeObjInit();
  edbits_lookup_hook = nullptr;
  if (g_dress) ZeMemFreeFn(g_dress, __FILE__, __LINE__);
  ZeMemFreeFn(g_pool, __FILE__, __LINE__);
  g_dress = nullptr;
  g_pool = nullptr;
}
