// Game support: the frame-phase counters, angle and clamp helpers, the
// ballistic aim, the animation step every game object uses and the one
// call that plays an entry of the game's sound table.
#pragma once

#include <cstdint>

#include "coblib.h"
#include "zemath.h"

// Frame phases: entry n counts modulo n for n = 2..8; 9..12 modulo 16, 32,
// 64 and 128; entries 0 and 1 stay 0.
constexpr int FRAMES_ENTRIES = 13;
extern int8_t frames[FRAMES_ENTRIES];
void IncFrames();  // once a frame unless paused

// The signed shortest turn from b to a, -32768..32767.
int AngDiff(int a, int b);
// out.x = sin(yaw) x length, out.z = cos(yaw) x length; out.y kept.
void FastRotateX(int yaw, ZEVEC* out, float length);
// (sin yaw sin tilt, cos tilt, cos yaw sin tilt) x length; tilt from +y.
void FastRotateXY(int yaw, int tilt, ZEVEC* out, float length);
// Into -limit..limit (the upper bound first).
void Clamp(int* value, int limit);
void ClampF(float* value, float limit);
// The launch velocity that reaches delta in n frames under the gravity:
// n = max(1, trunc(horizontal length / speed)); returns n.
int TargetShot(const ZEVEC* delta, ZEVEC* velocity, float gravity, float speed);
// One frame of a cob's animation (its paused form while the game is paused).
void ProcessAnim(COB* cob);
// Plays entry index of the sound table in 2-D (null position) or at the
// position. Nothing yet: the sound table is not built.
void KaelSFX(int index, const ZEVEC* position);

// Sound-table rows the hero plays.
enum : int {
  SFX_DUCK = 12, SFX_LEDGEGRAB = 17, SFX_GRAB = 18, SFX_JUMP = 20, SFX_PLAYERHIT1 = 22, SFX_PLAYERHIT2 = 23,
  SFX_PLAYERDIE = 24, SFX_EXPLODE = 27, SFX_SLAM = 41, SFX_JUMPLAND = 42, SFX_SHIELDLAND = 43, SFX_MBALLHIT1 = 44,
  SFX_SHIELDON = 45, SFX_SHIELDLOOP = 46, SFX_SHIELDOFF = 47, SFX_SLIDELOOP = 48, SFX_GRIND = 49,
  SFX_MBALLHIT2 = 50, SFX_SPARK = 81, SFX_SPLASH = 83,
};
