// The demo's animation: at start-up a texture-animation script is assembled
// and put on the active list with a material of three small textures (the
// program's frame loop runs ZeTexAnimProcess), and the demo's version 2
// animation image is loaded; its first node moves the test object.
#include "demoanim.h"

#include <cstring>

namespace {

constexpr int TEXTURES = 3;
constexpr int SIZE = 8;  // texels a side
ZEMTL* g_mtl = nullptr;
ZETEXID g_tex[TEXTURES];
int16_t g_ids[TEXTURES];
ZETEX g_images[TEXTURES];
uint32_t* g_texels = nullptr;
ZETEXANIM* g_anim = nullptr;
char* g_animBuffer = nullptr;
ZEANIMDATA2* g_data = nullptr;
ZETEXID g_lastTexture = 0;
int g_flips = 0;

// Two-colour checks, one pair a texture (RGBA32 texels read as A, B, G, R
// from the top byte down).
void MakeTextures() {
  static const uint32_t colours[TEXTURES][2] = {
      {0x800000ffu, 0x8000ffffu}, {0x80ff0000u, 0x80ffffffu}, {0x8000ff00u, 0x80000000u}};
  g_texels = static_cast<uint32_t*>(ZeMemAllocFn(TEXTURES * SIZE * SIZE * 4, __FILE__, __LINE__));
  for (int t = 0; t < TEXTURES; t++) {
    uint32_t* texels = g_texels + t * SIZE * SIZE;
    for (int y = 0; y < SIZE; y++)
      for (int x = 0; x < SIZE; x++) texels[y * SIZE + x] = colours[t][((x >> 1) ^ (y >> 1)) & 1];
    g_images[t] = {ZETEX_RGBA32, SIZE, SIZE, 1, reinterpret_cast<uint8_t*>(texels), nullptr};
    g_tex[t] = ZeTexCreate(&g_images[t]);
    g_ids[t] = int16_t(g_tex[t]);
  }
}

}  // namespace

void DemoAnimInit() {
  ZeTexAnimProgSysInit();
  MakeTextures();
  g_mtl = ZeMtlCreate(1);
  g_mtl->texture = g_tex[0];
  ZeMtlUpdate(g_mtl);
  if (ZETEXANIMPROG* prog = ZeTexAnimProgReadScript(nullptr, "anim\\flicker.tas")) {
    g_anim = ZeTexAnimCreate(nullptr, prog, g_mtl, g_ids, TEXTURES);
    ZeTexAnimAddList(g_anim);
  } else {
    scePrintf("demo: no texture-animation script (anim\\flicker.tas; build the demo data)\n");
  }
  const int size = ZeFileSize("anim\\demo.ani");
  if (size > 0) {
    g_animBuffer = static_cast<char*>(ZeMemAllocFn(size + 16, __FILE__, __LINE__));
    char* pos = g_animBuffer;
    g_data = ZeAnimData2LoadBuff("anim\\demo.ani", &pos, g_animBuffer + size + 16);
  } else {
    scePrintf("demo: no animation (anim\\demo.ani; build the demo data)\n");
  }
  g_lastTexture = g_mtl->texture;
}

ZEVEC DemoAnimPosition(int frame) {
  if (!g_data) return {0, 0, 0};
  ZEANIMTIME t;
  ZeAnimData2CalcTime(g_data, &t, float(1 + frame % 120));
  ZEMTX m;
  ZeAnimCurve2SetApplyToMatrix(g_data->words, g_data->keytypes, g_data->nodeflags[0], &t, &m);
  return {m.m[3][0], m.m[3][1], m.m[3][2]};
}

void DemoAnimDraw() {
  if (g_mtl->texture != g_lastTexture) {
    g_lastTexture = g_mtl->texture;
    g_flips++;
  }
  ZeRndrRectUV2di(540 * 16, 160 * 8, 80 * 16, 80 * 8, 0x80808080u, g_mtl, 0, 0, 1, 1);
}

void DemoAnimEnd() {
  scePrintf("demo: texture animation: %d flips; animation %s\n", g_flips, g_data ? "loaded" : "missing");
  if (g_anim) {
    ZeTexAnimRemoveList(g_anim);
    ZeTexAnimProgDestroy(g_anim->env->prog);
    ZeTexAnimDestroy(g_anim);
  }
  ZeMtlDestroy(g_mtl);
  for (ZETEXID t : g_tex) ZeTexDestroy(t);
  ZeMemFreeFn(g_texels, __FILE__, __LINE__);
  if (g_animBuffer) ZeMemFreeFn(g_animBuffer, __FILE__, __LINE__);
}
