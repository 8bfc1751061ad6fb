// The demo character: the character system started as the program starts
// it (the pools, the game's character table, a global memory context), and
// "torva", type 0 of the table, walking along the demo scene's spline ahead
// of its camera, cross-blending idle and walk. A marker follows its right
// hand's locator; its walk's footstep event fires at its left foot.
#include "democob.h"

#include <cmath>
#include <cstring>

#include "demoscene.h"
#include "demoworld.h"
#include "gamecobs.h"

namespace {

constexpr int GLOBAL_BUFFER = 512 << 10;
constexpr int STEP = 120;          // the camera's frames from one spline point to the next
constexpr float AHEAD = 1.0f;      // torva's lead on the camera, in spline segments
constexpr int WALKING = 240, STANDING = 60;  // a cycle: walking faster than the camera, then standing
char* g_global = nullptr;
char* g_globalpos = nullptr;
COB g_torva;
float g_speed = 0.0f;              // the walk's speed source (frames scale with it)
float g_along = AHEAD;             // position along the spline, in segments
int g_drawn = 0;
bool g_marker = false;
ZEVEC g_hand = {};

void Hand(LOCATORINFO* info) {
  g_hand = {info->mtx.m[3][0], info->mtx.m[3][1], info->mtx.m[3][2]};
  g_marker = true;
}

ZEVEC At(const ZESPLINE* s, float along) {
  const int n = s->count;
  const int i = int(std::floor(along));
  const float t = along - float(i);
  ZEVEC a, b;
  memcpy(&a, s->points.get() + ((i % n + n) % n) * s->ptsize, 12);
  memcpy(&b, s->points.get() + (((i + 1) % n + n) % n) * s->ptsize, 12);
  return {a.x + (b.x - a.x) * t, 0.0f, a.z + (b.z - a.z) * t};
}

// Where a world point shows on the screen (VU units), through the view.
ZEVEC OnScreen(const ZEVEC& w) {
  const ZEMTX* m = ZeCameraGetVPCSMtx();
  float o[4];
  for (int j = 0; j < 4; j++) o[j] = w.x * m->m[0][j] + w.y * m->m[1][j] + w.z * m->m[2][j] + m->m[3][j];
  return o[3] > 0.0f ? ZEVEC{o[0] / o[3], o[1] / o[3], o[2] / o[3]} : ZEVEC{-1.0f, -1.0f, -1.0f};
}

}  // namespace

int demo_cob_shown = 1, demo_marker_shown = 1;

void DemoCobInit() {
  InstInit();
  InitCobs(game_cobinfo);
  InitLights();
  g_global = static_cast<char*>(ZeMemAllocFn(GLOBAL_BUFFER, __FILE__, __LINE__));
  g_globalpos = g_global;
  AddCobTypeSetMemoryPointers(&g_globalpos, g_global + GLOBAL_BUFFER, nullptr, nullptr, "democob");
  if (ZeFileSize("chars\\torva\\rest.ghg") <= 0) {
    scePrintf("democob: no character (chars\\torva; build the demo data)\n");
    return;
  }
  AddCobType(COBTYPE_PLAYER);
  InitCob(&g_torva, COBTYPE_PLAYER);
  SetRate(&g_torva, &g_speed);
  scePrintf("democob: torva of %d joints, %d animations, %d bytes of the global buffer\n",
            cobtypes[0].hgobj->njoint, cobtypes[0].animcount, int(g_globalpos - g_global));
}

void DemoCobFrame(int frame) {
  const ZESPLINE* path = DemoScenePath();
  if (!g_torva.type || !path || path->count < 2) return;
  // Walk, then stand: the walk's speed source drives its frames.
  const bool walking = frame % (WALKING + STANDING) < WALKING;
  g_speed = walking ? float(WALKING + STANDING) / float(WALKING) : 0.0f;
  SetAnim(&g_torva, walking ? PLAYER_WALK : PLAYER_IDLE, 0);
  SetRate(&g_torva, &g_speed);
  const ZEVEC from = At(path, g_along);
  g_along += g_speed / float(STEP);
  const ZEVEC to = At(path, g_along);
  if (walking) g_torva.roty = int16_t(std::atan2(to.x - from.x, to.z - from.z) * (65536.0f / 6.2831853f));
  g_torva.pos = frame == 0 ? DemoWorldWalk(to, to) : DemoWorldWalk(g_torva.pos, to);
  ProcessAnimCob(&g_torva);
  RequestLocator(PLAYER_WEAPON_HAND, &g_torva, Hand, nullptr);
  AddCob(&g_torva);
  CobJointAnimStartFrame();
  g_marker = false;
  ZECAMERA* camera = ZeCameraGetCam();
  const ZEMTX* ref = camera ? &camera->mtx : &zemtx_identity;
  ProcessFlicker(ref, 0, 1, 0);
  if (demo_cob_shown) g_drawn += DrawCobs(ref);
  if (g_marker && demo_cob_shown && demo_marker_shown) ZeRndrCrossHair(&g_hand, 0.15f);
  if (frame % 50 == 0 && g_marker) {
    // Where the character's middle and its hand show, for the pictures' checks.
    const ZEVEC body = OnScreen({g_torva.pos.x, g_torva.pos.y + 0.4f, g_torva.pos.z}), hand = OnScreen(g_hand);
    scePrintf("democob: frame %d on screen: torva at (%.1f, %.1f), hand at (%.1f, %.1f)\n", frame, body.x, body.y,
              hand.x, hand.y);
  }
  if (frame == 20) scePrintf("democob: frame 20 torva at (%.2f, %.2f), hand at (%.2f, %.2f, %.2f)\n", to.x, to.z,
                             g_hand.x, g_hand.y, g_hand.z);
}

void DemoCobEnd() {
  if (g_torva.type) {
    scePrintf("democob: torva drawn %d frames, %d footsteps (the last at %.2f, %.2f, %.2f)\n", g_drawn, player_footsteps,
              player_footstep.x, player_footstep.y, player_footstep.z);
    RemoveCob(&g_torva);
  }
  CloseCobs();
  InstClose();
  ZeMemFreeFn(g_global, __FILE__, __LINE__);
  g_global = nullptr;
}
