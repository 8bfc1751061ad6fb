// The check program's world round the demo character. The demo level's
// collision ("levels\demo.ter", made by tertool on the demo scene), its
// special terrain and the shared pickup shapes ("generic\pickups.ter") are
// loaded into a buffer of their own; each frame the platforms' old phase
// runs before the scene's update and the new one after it. The character
// moves through the collision and keeps to the ground; a few thrown balls
// bounce, roll, ride the lift and the turning pillar, stop at the wall
// spline and glance off the special shapes. A crate's pickup shape is
// stamped each frame. The level's light set ("levels\demo.lgt", lighttool)
// lights the character.
#include "demoworld.h"

#include <cmath>

#include "coblib.h"
#include "gamelib.h"

int demo_terrain_debug = 0;
DemoBall demo_balls[DEMO_BALLS];

namespace {

constexpr int TERRAIN_BUFFER = 1 << 20;
constexpr float BALL_RADIUS = 0.2f;
constexpr float GRAVITY = 0.01f;        // units a frame, each frame
constexpr float BOUNCE = 0.55f;         // the speed kept by a landing
constexpr float ROLL = 0.99f;           // the speed kept a frame on the ground
constexpr float LANDING = 0.04f;        // a fall faster than this bounces
constexpr float CHAR_RADIUS = 0.3f, CHAR_YSCALE = 2.0f;
constexpr float STEP_UP = 0.6f;         // the character's reach up a step
constexpr float PRESS = 0.02f;          // the fall that presses on the ground
constexpr int RETHROW = 600;            // frames between a ball's throws
constexpr int CRATE_SHAPE = 0;
const ZEVEC kCrate = {-3.0f, 0.0f, 6.0f};

uint8_t* g_buffer = nullptr;
TerrSet* g_terrain = nullptr;
SpecialTerrainData* g_special = nullptr;
int g_lightkey = -1;
ZEVEC g_character = {};  // where the character was put last

// Where each ball is thrown from and how: onto the ground to roll, onto the
// lift pad, onto the turning pillar, at the wall spline, at the tree. The
// pillar's top (1 x 1, 4 above its foot) swings 1.2 either way once a
// second: the ball is let go just above the top at the start of a swing
// (throws fall on whole seconds) and lands on it; dropped from higher up it
// would miss the top.
struct Throw {
  ZEVEC pos, vel;
};
constexpr Throw kThrows[DEMO_BALLS] = {
    {{0.0f, 3.0f, 4.0f}, {0.03f, 0.0f, 0.02f}},  {{8.0f, 2.0f, 14.0f}, {0.0f, 0.0f, 0.0f}},
    {{6.6f, 4.2f, 14.0f}, {0.0f, 0.0f, 0.0f}},   {{0.0f, 1.0f, 33.0f}, {0.0f, 0.05f, 0.15f}},
    {{3.0f, 6.5f, 19.0f}, {0.0f, 0.0f, 0.08f}}};

void ThrowBall(int i) {
  DemoBall& b = demo_balls[i];
  b.pos = kThrows[i].pos;
  b.vel = kThrows[i].vel;
  b.info[0] = b.info[1] = 0;
}

void BallFrame(DemoBall& b) {
  b.vel.y -= GRAVITY;
  const ZEVEC in = b.vel;
  NewTerrainScaleY(&b.pos, &b.vel, b.info, -1, 1, 0, 0.001f, BALL_RADIUS, 1.0f);
  if (b.info[1]) {
    if (in.y < -LANDING) {
      b.vel.y = -in.y * BOUNCE;
      b.landings++;
      DemoWorldFxLanding(b.pos);
    } else if (b.vel.y < 0.0f) {
      b.vel.y = 0.0f;
    }
    b.vel.x *= ROLL, b.vel.z *= ROLL;
  }
  // The special shapes: reflected off the surface it entered, set outside.
  ZEVEC n;
  uint32_t value;
  const ZEVEC centre = {b.pos.x, b.pos.y + BALL_RADIUS, b.pos.z};
  if (SpecialTerrainCollideCheck(&centre, &n, &value, BALL_RADIUS) && ZeVecDot(&n, &b.vel) < 0.0f) {
    FullReflect(&n, &b.vel, &b.vel);
    b.glances++;
    DemoWorldFxGlance(centre);
  }
}

int CountPlatforms() {
  int n = 0;
  for (const PlatInst& p : g_terrain->plat) n += p.live != nullptr;
  return n;
}

void DebugDrawing() {
  if (!g_terrain) return;
  for (int i = 0; i < g_terrain->nitems; i++)
    if (g_terrain->items.get()[i].kind == 0) DrawMSitu(i);
  for (int i = 0; i < TERR_PLATINSTS; i++) DrawPlatform(i);
  DrawWallSpline();
  SpecialTerrainTestRender();
  for (const DemoBall& b : demo_balls) {
    const ZEVEC c = {b.pos.x, b.pos.y + BALL_RADIUS, b.pos.z};
    SphereDraw(&c, BALL_RADIUS, 1.0f);
  }
  ZeRndrLine3dDbgFlush();  // under the scene's camera
}

}  // namespace

void DemoWorldInit(ZEGSCENE* scene, int effects) {
  g_buffer = static_cast<uint8_t*>(ZeMemAllocFn(TERRAIN_BUFFER, __FILE__, __LINE__));
  uint8_t* pos = g_buffer;
  uint8_t* const end = g_buffer + TERRAIN_BUFFER;
  g_terrain = terraininit(0, &pos, end, 0, "levels\\demo", scene, 0);
  TerrainSetCur(g_terrain);
  if (!g_terrain) scePrintf("demoworld: no collision (levels\\demo.ter; build the demo data)\n");
  g_special = scene ? CreateSpecialTerrainData(scene, &pos, end) : nullptr;
  SpecialTerrainSetCur(g_special);
  terrainpickupinit("generic\\pickups", &pos, end);
  for (int i = 0; i < DEMO_BALLS; i++) {
    demo_balls[i] = {};
    ThrowBall(i);
  }
  // The light set goes after the character system's InitLights.
  g_lightkey = InsertLightSet("levels\\demo.lgt");
  if (effects) DemoWorldFxInit(scene);
  scePrintf("demoworld: %d collision items, %d platforms bound, special terrain %s, light set %d, %d bytes\n",
            g_terrain ? g_terrain->nitems : 0, g_terrain ? CountPlatforms() : 0, g_special ? "on" : "off", g_lightkey,
            int(pos - g_buffer));
}

void DemoWorldBeforeScene(int frame) {
  DemoWorldFxBeforeScene(frame, g_character);
  if (!g_terrain) return;
  TerrainPlatformOldUpdate();
  AddPickupTerr(CRATE_SHAPE, &kCrate);
  for (int i = 0; i < DEMO_BALLS; i++)
    if (frame > 0 && (frame + i * (RETHROW / DEMO_BALLS)) % RETHROW == 0) ThrowBall(i);
}

void DemoWorldFrame(int frame) {
  if (!g_terrain) return;
  TerrainPlatformNewUpdate();
  for (DemoBall& b : demo_balls) BallFrame(b);
  DemoWorldFxFrame(frame);
  if (demo_terrain_debug) DebugDrawing();
  if (frame == 100) {
    for (int i = 0; i < DEMO_BALLS; i++)
      scePrintf("demoworld: frame 100 ball %d at (%.2f, %.2f, %.2f), %d landings, %d glances\n", i,
                demo_balls[i].pos.x, demo_balls[i].pos.y, demo_balls[i].pos.z, demo_balls[i].landings,
                demo_balls[i].glances);
  }
}

float DemoWorldGround(float x, float z, float above) {
  const ZEVEC p = {x, above, z};
  return NewShadow(&p, 0, 0.0f, 0.0f);
}

ZEVEC DemoWorldWalk(const ZEVEC& from, const ZEVEC& to) {
  if (!g_terrain) return to;
  // Moved a step's height up, so that a step's face does not stop it (a
  // wall still does), then put down on the highest ground below; off the
  // collision the feet keep their height.
  const float feet = from.y;
  ZEVEC pos = {from.x, from.y + STEP_UP, from.z}, vel = {to.x - from.x, 0.0f, to.z - from.z};
  uint8_t info[2] = {};
  NewTerrainScaleY(&pos, &vel, info, -1, 0, 0, 0.001f, CHAR_RADIUS, CHAR_YSCALE);
  const float ground = DemoWorldGround(pos.x, pos.z, pos.y);
  pos.y = ground < TERR_NO_HEIGHT ? ground : feet;
  // Standing presses on what is below: a short fall onto it marks a
  // platform (a bridge's plank) as touched. The feet stay where they are.
  if (ground < TERR_NO_HEIGHT) {
    ZEVEC probe = {pos.x, pos.y + PRESS, pos.z}, down = {0.0f, -2.0f * PRESS, 0.0f};
    uint8_t pressed[2] = {};
    NewTerrainScaleY(&probe, &down, pressed, -1, 1, 0, 0.001f, CHAR_RADIUS, CHAR_YSCALE);
  }
  g_character = pos;
  return pos;
}

void DemoWorldEnd() {
  DemoWorldFxEnd();
  if (g_lightkey >= 0) RemoveLightSet(g_lightkey);
  g_lightkey = -1;
  SpecialTerrainSetCur(nullptr);
  noterraininit();
  PickupTerr = nullptr;
  g_terrain = nullptr;
  g_special = nullptr;
  ZeMemFreeFn(g_buffer, __FILE__, __LINE__);
  g_buffer = nullptr;
}
