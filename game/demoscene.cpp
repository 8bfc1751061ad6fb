// The demo scene (SCENE/DEMO.GSC, made by scenetool from demo/): the level
// buffer holds it; each frame its instances animate, its colours fade with
// a slow day cycle, and it is drawn from a camera flying along the
// "camera" spline. The demo model (MODEL/DEMO.GHG, modeltool) stands in it,
// posed every frame by its walk (MODEL/MODEL.ANI): read into the level
// buffer and relocated once into a buffer of its own.
#include "demoscene.h"

#include <cmath>
#include <cstring>

#include "ze3d.h"

namespace {

constexpr int LEVEL_BUFFER = 2 << 20;
char* g_level = nullptr;
ZEGSCENE* g_scene = nullptr;
ZESPLINE* g_path = nullptr;
ZECAMERA* g_camera = nullptr;
int g_drawn = 0;

constexpr int MODEL_BUFFER = 256 << 10;
char* g_modelbuf = nullptr;
ZEHGOBJ* g_model = nullptr;
ZEANIMDATA2* g_walk = nullptr;
int g_posed = 0;

void ModelInit(char** pos, char* end) {
  ZEHGOBJ* read = ZeGHGRead("model\\demo.ghg", pos, end);
  g_walk = ZeAnimData2LoadBuff("model\\model.ani", pos, end);
  if (!read || !g_walk) {
    scePrintf("demo: no model (model\\demo.ghg, model\\model.ani; build the demo data)\n");
    if (read) ZeHGobjDestroy(read);
    return;
  }
  g_modelbuf = static_cast<char*>(ZeMemAllocFn(MODEL_BUFFER, __FILE__, __LINE__));
  char* at = g_modelbuf;
  g_model = ZeGHGRelocate(read, &at);
  // The copy in the level buffer is released; its bytes stay unused there.
  ZeHGobjDestroy(read);
  scePrintf("demo: model of %d joints, %d bytes relocated\n", g_model->njoint, int(at - g_modelbuf));
}

void ModelFrame(int frame) {
  if (!g_model) return;
  static ZEMTX joints[256];
  ZeHGobjEvalAnim2(g_model, g_walk, 0, nullptr, joints, float(frame % 60 + 1));
  ZEMTX at;
  ZeMtxSetIdentity(&at);
  at.m[3][2] = 2.0f;
  if (ZeHGobjRndrMtxDwa(g_model, &at, 1, nullptr, joints, nullptr)) g_posed++;
}

ZEVEC Point(const ZESPLINE* s, int i) {
  ZEVEC p;
  memcpy(&p, s->points.get() + (i % s->count) * s->ptsize, 12);
  return p;
}

// The camera at a point of the path looking at a point further on.
void FlyCamera(int frame) {
  constexpr int STEP = 120;  // frames from one point to the next
  const int n = g_path->count;
  const int seg = (frame / STEP) % n;
  const float t = float(frame % STEP) / STEP;
  const ZEVEC a = Point(g_path, seg), b = Point(g_path, seg + 1), c = Point(g_path, seg + 2);
  const ZEVEC pos = {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
  const ZEVEC look = {b.x + (c.x - b.x) * t, b.y + (c.y - b.y) * t, b.z + (c.z - b.z) * t};
  ZEVEC f = {look.x - pos.x, look.y - pos.y, look.z - pos.z};
  const float len = std::sqrt(f.x * f.x + f.y * f.y + f.z * f.z);
  if (len > 0) f = {f.x / len, f.y / len, f.z / len};
  // x = up x forward, y = forward x x.
  ZEVEC x = {f.z, 0, -f.x};
  const float lx = std::sqrt(x.x * x.x + x.z * x.z);
  x = lx > 0 ? ZEVEC{x.x / lx, 0, x.z / lx} : ZEVEC{1, 0, 0};
  const ZEVEC y = {f.y * x.z - f.z * x.y, f.z * x.x - f.x * x.z, f.x * x.y - f.y * x.x};
  ZEMTX& m = g_camera->mtx;
  m = {{{x.x, x.y, x.z, 0}, {y.x, y.y, y.z, 0}, {f.x, f.y, f.z, 0}, {pos.x, pos.y, pos.z, 1}}};
  ZeCameraSet(g_camera);
}

}  // namespace

void DemoSceneInit() {
  g_level = static_cast<char*>(ZeMemAllocFn(LEVEL_BUFFER, __FILE__, __LINE__));
  char* pos = g_level;
  g_scene = ZeGScnRead(&pos, g_level + LEVEL_BUFFER, "scene\\demo.gsc");
  if (!g_scene) {
    scePrintf("demo: no scene (scene\\demo.gsc; build the demo data)\n");
    return;
  }
  g_path = ZeSplineFind(g_scene, "camera");
  ModelInit(&pos, g_level + LEVEL_BUFFER);
  g_camera = ZeCameraCreate();
  scePrintf("demo: scene of %d objects, %d instances, %d specials, %d bytes of the level buffer\n", g_scene->ngobj,
            g_scene->ninst, g_scene->nspec, int(pos - g_level));
}

void DemoSceneFrame(int frame) {
  if (!g_scene) return;
  ZeGScnUpdate(g_scene, 1.0f);
  // A day every 20 seconds: the colours fade toward black and back (the
  // scene has no second prelight set, so the far end of the fade is black).
  const float day = std::cos(float(frame) * (6.2831853f / 1200.0f));
  ZeGSceneSetCrossFade(g_scene, int16_t(96 - int(day * 96.0f)), 256);
  if (g_path && g_path->count >= 2) FlyCamera(frame);
  ZeGScnRndr3(g_scene);
  ModelFrame(frame);
  for (int i = 0; i < g_scene->ninst; i++) g_drawn += (g_scene->insts[i].flags & ZEGSCNINST_DRAWN) != 0;
}

const ZESPLINE* DemoScenePath() { return g_scene ? g_path : nullptr; }

ZEGSCENE* DemoSceneGet() { return g_scene; }

void DemoSceneEnd() {
  if (g_scene) {
    scePrintf("demo: scene drawn %d instance times\n", g_drawn);
    if (g_model) {
      scePrintf("demo: model drawn %d frames\n", g_posed);
      // Its materials go before its buffer.
      ZeHGobjDestroy(g_model);
      ZeMemFreeFn(g_modelbuf, __FILE__, __LINE__);
      g_model = nullptr;
    }
    ZeGScnRemove(g_scene);
    ZeCameraDestroy(g_camera);
  }
  ZeMemFreeFn(g_level, __FILE__, __LINE__);
  g_scene = nullptr;
}
