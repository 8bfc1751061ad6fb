// The check program's world round the demo character: the demo level's
// collision (ground, steps, ramp, platforms, wall spline, special shapes,
// the shared pickup shapes), thrown balls, the level's light set.
#pragma once

#include "ze3d.h"

// Shows the collision's debug drawing each frame (a key toggles it).
extern int demo_terrain_debug;

// The level's collision and special terrain (scene may be null: no
// platforms, no special shapes), the pickup shapes and the light set; with
// effects, the particles and dressing too (they need the renderer).
void DemoWorldInit(ZEGSCENE* scene, int effects);
// Before the scene's update: the platforms' old phase and the pickup shape.
void DemoWorldBeforeScene(int frame);
// After the scene's update: the platforms' new phase, the balls, the debug
// drawing.
void DemoWorldFrame(int frame);
void DemoWorldEnd();
// One step of the character from `from` toward `to` (x, z): moved through
// the collision, feet put on the ground below it.
ZEVEC DemoWorldWalk(const ZEVEC& from, const ZEVEC& to);
// The ground's height under (x, z) from `above` downward (TERR_NO_HEIGHT: none).
float DemoWorldGround(float x, float z, float above);

// Effects and dressing (demoworldfx): set up with the scene, the
// character's place before the scene's update, the particles and dressing in
// the scene, the glass pass (and rain) after it; a burst of sparks.
extern int demo_rain_period;  // frames of a cycle: dry, then a shower; 0 dry
// Non-zero: the grass, stones and bridge do not feel the character (no
// parting, no solid stones, no weight on the bridge).
extern int demo_dress_untouched;
void DemoWorldFxInit(ZEGSCENE* scene);
void DemoWorldFxBeforeScene(int frame, const ZEVEC& focus);
void DemoWorldFxFrame(int frame);
void DemoWorldFxLanding(const ZEVEC& at);  // sparks
void DemoWorldFxGlance(const ZEVEC& at);   // glass shards
// After the frame's scene: the glass pass, which draws the rain.
void DemoWorldGlass();
void DemoWorldFxEnd();

// A thrown ball: where it is, its motion a frame, its landings.
struct DemoBall {
  ZEVEC pos, vel;
  unsigned char info[2];
  int landings, glances;
};
constexpr int DEMO_BALLS = 5;
extern DemoBall demo_balls[DEMO_BALLS];
