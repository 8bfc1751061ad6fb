// Distant characters in the start-up check: the off-screen page with a
// depth buffer of its own and the game's two materials on it, and a row of
// far copies of "torva" standing on the ground across the view at the
// depths of each image class, drawn as images by the time-based renderer:
// each figure cut out of its slot, the scene round it.
#include "demotbr.h"

#include <algorithm>

#include "coblib.h"
#include "demoworld.h"
#include "gamecobs.h"
#include "gamelib.h"

namespace {

// Depths (units ahead of the camera) and sideways places of the copies:
// two of each class for the character's radius of 0.5333 (models to 8.5
// radii, classes to 12.53 and 35 radii and beyond: all beyond the model
// distance, so that the demo character stays the only model; the nearest
// far enough for the model's box, which holds every turn of its joints, to
// stay inside the view; aside from the middle of the view, where the
// nearest copies changed the scene's picture outside their quads).
constexpr int COPIES = 6;
constexpr float kAhead[COPIES] = {6.2f, 6.5333f, 9.3333f, 14.6667f, 20.6667f, 26.6667f};
constexpr float kSide[COPIES] = {-1.6f, 1.6f, -2.3333f, 3.0f, -4.0f, 5.0f};
constexpr int WALK = 1;

ZETEXID g_page = 0, g_depth = 0;
ZEMTL* g_mtl[2] = {};  // the image copies' and the sprites'
COB g_copies[COPIES];
int g_ready = 0;
bool g_haveCamera = false;
ZEMTX g_camera;        // the scene's camera of the last frame
int g_images = 0;

// The game's page materials (unlit, coloured by their vertices, textured
// by the page, sort priority 128): the copies' unblended without depth in
// the off-screen pass's stream, the sprites' blended, alpha tested against
// 126 and depth tested.
ZEMTL* PageMaterial(uint32_t keep, uint32_t set, uint32_t flags) {
  ZEMTL* m = ZeMtlCreate(1);
  m->diffuse[0] = m->diffuse[1] = m->diffuse[2] = 1.0f;
  m->alpha = 0.999f;
  m->sort_priority = 128;
  m->attributes = (m->attributes & keep) | set;
  m->texture = g_page;
  m->render_flags |= flags;
  ZeMtlUpdate(m);
  return m;
}

// A render target of the page's size with its own video memory; 0 when
// there is no room.
ZETEXID Target(int type) {
  ZETEX image{type, TBR_PAGE_W, TBR_PAGE_H, 1, nullptr, nullptr};
  const ZETEXID id = ZeTexCreate(&image);
  const int size = id ? ZeTexGetReqSize(id, 0) : 0;
  const int addr = size > 0 ? ZeTexReserve(size) : 0;
  if (!addr) return 0;
  ZeTexAssignAddr(id, addr);
  return id;
}

// Where each image's quad shows (the view's units: 16 a pixel, the
// screen's centre at 32768), for the pictures' checks: the sprite's
// corners through its matrix and the view.
void PrintQuads(int frame) {
  static constexpr float kCorners[2][4][2] = {{{-1, 2}, {1, 2}, {-1, -2}, {1, -2}}, {{-2, -1}, {-2, 1}, {2, -1}, {2, 1}}};
  const ZEMTX* view = ZeCameraGetVPCSMtx();
  for (int i = 0; i < COPIES; i++) {
    const COB& c = g_copies[i];
    if (!(c.tbrresult & TBR_DISTANT) || (c.tbrresult & TBR_NOTSHOWN) || !c.tbr) continue;
    const TBROBJ& o = tbrobjs[c.tbr - 1];
    if (!o.shown || !o.slot) continue;
    float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
    for (const auto& k : kCorners[o.slot->orientation]) {
      float w[3], s[4];
      for (int j = 0; j < 3; j++) w[j] = k[0] * o.mtx.m[0][j] + k[1] * o.mtx.m[1][j] + o.mtx.m[3][j];
      for (int j = 0; j < 4; j++) s[j] = w[0] * view->m[0][j] + w[1] * view->m[1][j] + w[2] * view->m[2][j] + view->m[3][j];
      if (!(s[3] > 0.0f)) return;
      x0 = std::min(x0, s[0] / s[3]), x1 = std::max(x1, s[0] / s[3]);
      y0 = std::min(y0, s[1] / s[3]), y1 = std::max(y1, s[1] / s[3]);
    }
    scePrintf("demotbr: frame %d copy %d class %d quad (%.1f, %.1f)-(%.1f, %.1f)\n", frame, i, o.slot->cls, x0, y0, x1, y1);
  }
}

}  // namespace

void DemoTbrInit() {
  // The page and a depth buffer of its own, so that the images' depth
  // never lands in the display's.
  g_page = Target(ZETEX_RT_CT32);
  g_depth = Target(ZETEX_RT_Z32);
  if (!g_page || !g_depth) {
    scePrintf("demotbr: no room for the image page\n");
    return;
  }
  g_mtl[0] = PageMaterial(0xFFFCCFC0u, 0x0006E000u, 4);
  g_mtl[1] = PageMaterial(0x807C0FC0u, 0x3F062011u, 0);
  TimeBasedRenderInit();
  g_ready = 1;
}

int demo_tbr_shown = 1;

void DemoTbrPass() {
  if (!g_ready || !g_haveCamera || !demo_tbr_shown) return;
  if (!g_copies[0].type) {
    if (!cobtypes[0].usecount) return;  // no character loaded
    for (COB& c : g_copies) {
      InitCob(&c, 0);
      SetAnim(&c, WALK, 0);
    }
  }
  // The copies across the view, on the ground (beyond the level at the
  // ground's height), walking on the spot; a near copy whose ground lies
  // below the view stands no lower than a quarter of its depth below the
  // eye (the hero's size puts the nearest classes within the camera's
  // height of it).
  const ZEVEC fwd = {g_camera.m[2][0], 0.0f, g_camera.m[2][2]}, side = {g_camera.m[0][0], 0.0f, g_camera.m[0][2]};
  for (int i = 0; i < COPIES; i++) {
    COB& c = g_copies[i];
    const float x = g_camera.m[3][0] + fwd.x * kAhead[i] + side.x * kSide[i];
    const float z = g_camera.m[3][2] + fwd.z * kAhead[i] + side.z * kSide[i];
    const float ground = DemoWorldGround(x, z, g_camera.m[3][1]);
    const float lowest = g_camera.m[3][1] - game_cobinfo[0].centreheight;
    c.pos = {x, std::max(ground < TERR_NO_HEIGHT ? ground : 0.0f, lowest), z};
    c.roty = int16_t(i * 0x2400);
    ProcessAnimCob(&c);
    AddCob(&c);
  }
  // The off-screen pass, from the scene's camera, under the budget that
  // the models drawn last frame leave.
  const ZECAMERA saved = global_camera;
  ZECAMERA cam = saved;
  cam.mtx = g_camera;
  ZeCameraSet(&cam);
  if (ZeRndrBeginSceneEx(g_page, g_depth, 0)) {
    TBRDrawCobs(g_mtl[0], TBRBudget(cobrndr));
    ZeRndrEndScene();
  }
  TBRManage();
  ZeCameraSet(&saved);
  for (const COB& c : g_copies) g_images += (c.tbrresult & TBR_DISTANT) && !(c.tbrresult & TBR_NOTSHOWN);
}

void DemoTbrSprites(int frame) {
  if (!g_ready) return;
  DrawTimeBasedObjects(g_mtl[1], 0);
  g_camera = *ZeCameraGetMtx();  // the next images face this camera
  g_haveCamera = true;
  if (frame % 50 == 0 && g_copies[0].type && demo_tbr_shown) PrintQuads(frame);
}

void DemoTbrEnd() {
  if (g_copies[0].type) {
    scePrintf("demotbr: %d far copies shown as images over the run (%d sprites, %d rendered)\n", g_images, dbg_tbrrndr, dbg_tbrset);
    for (COB& c : g_copies) RemoveCob(&c);
  }
  for (ZEMTL*& m : g_mtl)
    if (m) ZeMtlDestroy(m), m = nullptr;
  for (ZETEXID* t : {&g_page, &g_depth})
    if (*t) ZeTexDestroy(*t), *t = 0;
  g_ready = 0;
  g_haveCamera = false;
}
