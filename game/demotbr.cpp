// Distant characters in the start-up check: the off-screen page with a
// depth buffer of its own and two materials on it, and a row of far copies
// of "torva" standing across the view at the depths of each image class,
// drawn as images by the time-based renderer.
#include "demotbr.h"

#include "coblib.h"

namespace {

// Depths (units ahead of the camera) and sideways places of the copies:
// two of each class for a character of radius 1 (all beyond the model
// distance, so that the demo character stays the only model).
constexpr int COPIES = 6;
constexpr float kAhead[COPIES] = {10.0f, 12.0f, 18.0f, 28.0f, 40.0f, 60.0f};
constexpr float kSide[COPIES] = {-3.0f, 3.0f, -5.0f, 6.0f, -9.0f, 12.0f};
constexpr int WALK = 1;

ZETEXID g_page = 0, g_depth = 0;
ZEMTL* g_mtl[2] = {};  // the image copies' and the sprites'
COB g_copies[COPIES];
int g_ready = 0;
bool g_haveCamera = false;
ZEMTX g_camera;        // the scene's camera of the last frame
int g_images = 0;

// Unlit, coloured by their vertices, textured by the page.
ZEMTL* PageMaterial(uint32_t keep, uint32_t set) {
  ZEMTL* m = ZeMtlCreate(1);
  m->diffuse[0] = m->diffuse[1] = m->diffuse[2] = 1.0f;
  m->alpha = 0.999f;
  m->attributes = (m->attributes & keep) | set;
  m->texture = g_page;
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
  g_mtl[0] = PageMaterial(0xFFFCCFC0u, 0x0006E000u);
  // The sprites opaque and depth tested: the models drawn into the page
  // keep its alpha (their materials mask it), so it cannot cut them out.
  const uint32_t fields = 0xfu << ZEMTLATTR_BLEND | 3u << ZEMTLATTR_DEPTH | 3u << ZEMTLATTR_LIGHTING | 1u << ZEMTLATTR_VTXCOL;
  g_mtl[1] = PageMaterial(~fields, 1u << ZEMTLATTR_DEPTH | 2u << ZEMTLATTR_LIGHTING | 1u << ZEMTLATTR_VTXCOL);
  TimeBasedRenderInit();
  g_ready = 1;
}

void DemoTbrPass() {
  if (!g_ready || !g_haveCamera) return;
  if (!g_copies[0].type) {
    if (!cobtypes[0].usecount) return;  // no character loaded
    for (COB& c : g_copies) {
      InitCob(&c, 0);
      SetAnim(&c, WALK, 0);
    }
  }
  // The copies across the view, on the ground, walking on the spot.
  const ZEVEC fwd = {g_camera.m[2][0], 0.0f, g_camera.m[2][2]}, side = {g_camera.m[0][0], 0.0f, g_camera.m[0][2]};
  for (int i = 0; i < COPIES; i++) {
    COB& c = g_copies[i];
    c.pos = {g_camera.m[3][0] + fwd.x * kAhead[i] + side.x * kSide[i], 0.0f,
             g_camera.m[3][2] + fwd.z * kAhead[i] + side.z * kSide[i]};
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

void DemoTbrSprites() {
  if (!g_ready) return;
  DrawTimeBasedObjects(g_mtl[1], 0);
  g_camera = *ZeCameraGetMtx();  // the next images face this camera
  g_haveCamera = true;
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
