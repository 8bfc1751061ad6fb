// The start-up check's effects pass: a wall for the effects to fall on,
// then the queued effects and ZeRndrFx.
#include "demofx.h"

#include <cmath>
#include <cstring>

#include "ptldraw.h"
#include "ze3d.h"

namespace {

ZEMTL* g_wall = nullptr;
ZEMTL* g_fx = nullptr;
uint8_t* g_texels = nullptr;
ZEVEC g_glow = {-2.0f, -1.0f, 12.0f};
ZESHADCYL g_cyl;
uint8_t g_bytes[2048];

ZEVTX Vtx(float x, float y, float z) {
  ZEVTX v{};
  v.pos = {x, y, z};
  v.normal = {0, 0, -1};
  v.colour = 0x80606060u;
  return v;
}

}  // namespace

void DemoFxInit() {
  // The replay pass's set-ups before the level: the shadows, then the light
  // unit's surfaces (the unit itself was started after the renderer).
  for (int i = 0; i < 2048; i++) g_bytes[i] = uint8_t(i * 73 + 19);
  ZeRndrShadowInit(g_bytes);
  ZeLightMatInit();
  // The effects texture as the tools draw it, and its material: additive,
  // depth tested.
  g_texels = static_cast<uint8_t*>(ZeMemAlloc(PTLTEX_SIZE * PTLTEX_SIZE * 4));
  PtlDrawParticleTexels(g_texels);
  ZETEX img{ZETEX_RGBA32, PTLTEX_SIZE, PTLTEX_SIZE, 1, g_texels, nullptr};
  g_fx = ZeMtlCreate(1);
  g_fx->texture = ZeTexCreate(&img);
  g_fx->diffuse[0] = g_fx->diffuse[1] = g_fx->diffuse[2] = 1.0f;
  g_fx->attributes = (g_fx->attributes & ~(15u << ZEMTLATTR_BLEND)) | 2u << ZEMTLATTR_BLEND;
  g_fx->attributes = (g_fx->attributes & ~(3u << ZEMTLATTR_DEPTH)) | 1u << ZEMTLATTR_DEPTH;
  g_fx->attributes &= ~(7u << ZEMTLATTR_ATST);
  ZeMtlUpdate(g_fx);
  ZeLgtSetArcMat(g_fx, PTLTEX_BEAM_U0 / 256.0f, PTLTEX_BEAM_V0 / 256.0f, PTLTEX_BEAM_U1 / 256.0f,
                 PTLTEX_BEAM_V1 / 256.0f);
  // The wall: unlit, writes depth.
  g_wall = ZeMtlCreate(1);
  g_wall->diffuse[0] = g_wall->diffuse[1] = g_wall->diffuse[2] = 1.0f;
  g_wall->attributes = (g_wall->attributes & ~(3u << ZEMTLATTR_LIGHTING)) | 3u << ZEMTLATTR_LIGHTING;
  g_wall->attributes |= 1u << ZEMTLATTR_VTXCOL;
  ZeMtlUpdate(g_wall);
  // A cylinder record: a square of side 2 facing the camera.
  const float w[13] = {2.0f, 1.5f, 10.0f, 0.6f, 0, 0, 0, 0, 0.6f, 0, 0, 0.6f, 0};
  memcpy(g_cyl.words, w, sizeof w);
  g_cyl.words[0] &= ~1u, g_cyl.words[1] &= ~2u;
}

void DemoFxFrame(int f) {
  const float t = float(f) * (1.0f / 60.0f);
  // The wall across the back of the scene, in depth.
  ZeRndrBeginScene(-1);
  const ZEVTX wall[6] = {Vtx(-8, -5, 13), Vtx(8, -5, 13), Vtx(-8, 5, 13),
                         Vtx(8, -5, 13),  Vtx(8, 5, 13),  Vtx(-8, 5, 13)};
  ZeRndrTri3dClip(wall, 6, nullptr, g_wall);
  ZeRndrEndScene();
  // The effects of this frame.
  ZeLightAddSpot(&g_glow, 0x8020a0ff, 2, 0x400, 0x400, 2.0f);
  const ZEVEC a = {-6.0f, 2.5f + std::sin(t) * 0.5f, 11.0f}, v = {12.0f, 0.0f, 0.0f};
  ZeLgtLaser(0, &a, &v, 0x80ffc080, 0.15f, 1.0f, 0.3f, 0.05f, 2.0f);
  const ZEVEC flare = {4.0f, -2.0f, 11.0f};
  ZeLgtFlare(&flare, 0x80406080, 0x80ffffff, 0.6f, 2.0f);
  ZeLightFog(8.0f, 40.0f, 0x40403020, 0, 0);
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  if (ZESHADSTORE* e = ZeRndrAddShadowCylinder(&g_cyl, &m, 1)) {
    e->light = {0.0f, -0.5f, 1.0f};
    e->alpha = 0x40, e->fade = 20.0f, e->fadefar = 30.0f, e->group = 1;
  }
  // The water level rises past the camera and falls again.
  ZeRndrWaterLevelTint(-std::cos(t * 0.7f) * 1.5f, 0x80c08040);
  const ZEVEC player = {0, 0, 0};
  ZeRndrFx(0, &player);
}

void DemoFxEnd() {
  ZeMtlDestroy(g_wall);
  ZeTexDestroy(g_fx->texture);
  ZeMtlDestroy(g_fx);
  ZeMemFree(g_texels);
}
