// The check program's frame: set-up, one frame, release.
#include "checkframe.h"

#include "demo.h"
#include "demofx.h"
#include "demoworld.h"
#include "platform.h"
#include "ze3d.h"
#include "zecore.h"
#include "zeps2.h"

namespace {
char* g_texBuf;
char* g_mtlBuf;
}  // namespace

void CheckVideoStart() {
  // Converted packet colours pass through the gamma table: identity first.
  GenerateGammaTable(1.0f, 1.0f);
  ZePs2Init();
  ZePs2InitVideo(640, 224, PSMCT32, PSMZ24, 2);
  ZePs2InitVU();
}

void CheckSceneStart() {
  // The texture table and the material pool take one heap buffer each.
  g_texBuf = static_cast<char*>(ZeMemAllocFn(ZeTexGetSysBuffSize(3072) + 16, __FILE__, __LINE__));
  g_mtlBuf = static_cast<char*>(ZeMemAllocFn(ZeMtlGetSysBuffSize(1024) + 16, __FILE__, __LINE__));
  ZeTrigInit();
  ZeVpInit();
  char* p = g_texBuf;
  ZeTexInitEx(&p, 3072);
  no_default_font = 1;  // the materials do not exist yet
  ZeRndrInitEx(ZERNDRSTREAM_DEFAULT_BUFFER);
  no_default_font = 0;
  ZeLightInit();
  p = g_mtlBuf;
  ZeMtlInitEx(&p, 1024);
  ZeFntInit();
  DemoInit();
  DemoFxInit();
}

void CheckFrameDraw(int frame) {
  ZeMtlAnimate(1.0f / 60.0f, 0xffffff);
  ZeTexAnimProcess();  // texture animations: one pass a frame
  DemoFrame(frame);
  if (!demo_world_only) DemoFxFrame(frame);  // the effects pass covers the world
  DemoWorldGlass();  // the glass pass over the whole frame, with the rain
}

void CheckSceneEnd() {
  DemoFxEnd();
  DemoEnd();
  ZeFntClose();
  ZeMtlClose();
  ZeRndrClose();
  ZeTexClose();
  ZeMemFreeFn(g_mtlBuf, __FILE__, __LINE__);
  ZeMemFreeFn(g_texBuf, __FILE__, __LINE__);
  g_mtlBuf = g_texBuf = nullptr;
}
