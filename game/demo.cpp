// The start-up check's picture: a gradient-cleared screen, a ring of lit
// triangles flying toward the camera and through the near plane (clipped
// by VU1), a spinning 3-D cross and lines, and 2-D panels, lines and
// triangles over it all.
#include "demo.h"

#include <cmath>

#include "ze3d.h"
#include "demoanim.h"
#include "democob.h"
#include "demotbr.h"
#include "demoscene.h"
#include "demoworld.h"

namespace {

ZECAMERA* g_camera = nullptr;
ZEMTL* g_lit = nullptr;
constexpr int RING = 12;
ZEVTX g_tris[RING * 3];

ZEVTX Vtx(float x, float y, float z, float nz, ZECOLOUR32 c) {
  ZEVTX v{};
  v.pos = {x, y, z};
  v.normal = {0, 0, nz};
  v.colour = c;
  return v;
}

// The lights of the ring (the characters leave the default lights set).
void Lights() {
  const ZEVEC d0 = {0.3f, 0.5f, -0.8f}, c0 = {0.9f, 0.8f, 0.7f};
  const ZEVEC d1 = {-0.7f, 0.2f, -0.3f}, c1 = {0.2f, 0.3f, 0.6f};
  const ZEVEC d2 = {0, -1, 0}, c2 = {0, 0, 0}, amb = {0.25f, 0.25f, 0.25f};
  ZeRndrSetDirectionalLights(&d0, &c0, &d1, &c1, &d2, &c2);
  ZeRndrSetAmbientLight(&amb);
}

}  // namespace

int demo_world_only = 0;

void DemoInit() {
  DemoTbrInit();  // its page's video memory before any texture's
  g_camera = ZeCameraCreate();
  ZeCameraSet(g_camera);
  Lights();
  // Lit, coloured by the vertices (the tric program).
  g_lit = ZeMtlCreate(1);
  g_lit->attributes |= 1u << ZEMTLATTR_VTXCOL;
  g_lit->diffuse[0] = g_lit->diffuse[1] = g_lit->diffuse[2] = 1.0f;
  ZeMtlUpdate(g_lit);
  DemoAnimInit();
  DemoSceneInit();  // after the texture-animation script its sign uses
  DemoCobInit();
  DemoWorldInit(DemoSceneGet(), 1);  // after the character system (its light set)
}

void DemoFrame(int f) {
  const float t = float(f) * (1.0f / 60.0f);
  DemoTbrPass();  // the off-screen pass of the far copies
  Lights();       // the copies' characters leave the default lights set
  ZeRndrBeginScene(-1);
  ZeRndrGradClear(0x400, 0x402010, 0x100820, 1.0f);
  DemoWorldBeforeScene(f);
  DemoSceneFrame(f);  // with its own camera
  DemoWorldFrame(f);
  DemoCobFrame(f);    // in the scene, from its camera
  DemoTbrSprites(f);
  Lights();
  if (demo_world_only) {
    ZeRndrLine3dDbgFlush();
    ZeRndrEndScene();
    return;
  }

  // The camera at the origin looking down +z; triangles on a ring fly at it
  // from z = 40 and pass the near plane.
  g_camera->mtx = zemtx_identity;
  ZeCameraSet(g_camera);
  for (int i = 0; i < RING; i++) {
    const float a = float(i) * (6.2831853f / RING) + t * 0.5f;
    const float z = std::fmod(40.0f - t * 8.0f + float(i) * (40.0f / RING), 40.0f) - 1.0f;
    const float x = std::cos(a) * 2.0f, y = std::sin(a) * 1.5f;
    const ZECOLOUR32 c = i % 3 == 0 ? 0x80204080u : (i % 3 == 1 ? 0x80208040u : 0x80802040u);
    g_tris[i * 3 + 0] = Vtx(x - 1.2f, y - 1.0f, z, -1, c);
    g_tris[i * 3 + 1] = Vtx(x + 1.2f, y - 1.0f, z + 1.5f, -1, c);
    g_tris[i * 3 + 2] = Vtx(x, y + 1.2f, z - 1.5f, -1, c | 0x00404040u);
  }
  ZeRndrTri3dClip(g_tris, RING * 3, nullptr, g_lit);

  // A spinning cross and a line in 3-D.
  // The cross is the test object: a node of the demo animation moves it.
  const ZEVEC node = DemoAnimPosition(f);
  const ZEVEC centre = {node.x, node.y, 12.0f + node.z};
  ZeRndrCrossHair(&centre, 1.0f);
  ZEVTX line[2] = {Vtx(-6, -3, 10, 0, 0x8000ff00u), Vtx(6, -3, 30, 0, 0x80ff00ffu)};
  ZeRndrLine3d(line, nullptr, nullptr);

  // 2-D: a panel with an outline, a gradient bar, a triangle in viewport
  // fractions, and a line.
  ZeRndrRect2di(16 * 16, 16 * 8, 200 * 16, 60 * 8, 0x80301808u, nullptr);
  ZeRndrLineRect2di(16 * 16, 16 * 8, 200 * 16, 60 * 8, 0x80f0f0f0u, nullptr);
  const ZECOLOUR32 grad[4] = {0x800000ffu, 0x8000ff00u, 0x80ff0000u, 0x80ffffffu};
  const int bar = int((std::sin(t) * 0.5f + 0.5f) * 300.0f);
  ZeRndrGradRect2di(320 * 16, 400 * 8, (20 + bar) * 16, 24 * 8, grad, nullptr);
  const ZEVTX2D tri[3] = {
      {0.85f, 0.1f, 0, 1, 0x80ffff00u, 0, 0}, {0.95f, 0.3f, 0, 1, 0x8000ffffu, 0, 0}, {0.75f, 0.3f, 0, 1, 0x80ff00ffu, 0, 0}};
  ZeRndrTri2d(tri, nullptr);
  ZeRndrLine2di(0, 440 * 8, 640 * 16, 440 * 8, 0x80ffffffu, nullptr);
  DemoAnimDraw();  // the panel whose material flips its textures

  // Text in several colours: the pen, then colour escapes.
  static bool coloursSet = false;
  if (!coloursSet) {
    const ZECOLOUR32 cols[4] = {0x80ffffffu, 0x804040ffu, 0x8040ff40u, 0x80ffc040u};
    for (int i = 0; i < 4; i++) zefnt_colours[i] = cols[i];
    zefnt_colour_count = 4;
    coloursSet = true;
  }
  ZeFntSet(nullptr);
  ZeFntScale(16, 16);
  ZeFntSetPen(0x80e0e0e0u);
  ZeFntPrintEx(24 * 16, 40 * 8, 0, "ze2 renderer: frame %d", f);
  ZeFntPrintEx(24 * 16, 64 * 8, 0, "#1#red #2#green #3#amber #h3#half");
  ZeFntScale(32, 32);
  ZeFntSetPen(0x80ffffffu);
  ZeFntPrintEx(320 * 16, 360 * 8, 2, "Clipped at the near plane");

  ZeRndrLine3dDbgFlush();
  ZeRndrEndScene();
}

void DemoEnd() {
  DemoWorldEnd();
  DemoTbrEnd();
  DemoCobEnd();
  DemoSceneEnd();
  DemoAnimEnd();
  ZeMtlDestroy(g_lit);
  ZeCameraDestroy(g_camera);
}
