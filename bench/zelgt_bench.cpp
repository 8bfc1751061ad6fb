// The effects pass's share of a frame on the GS model, one core: a frame of
// a cleared 640 x 224 target with a wall, beside the same frame with
// ZeRndrFx drawing a glow, a laser, a flare, fog and a cylinder shadow, and
// beside one with ten spot glows. The counter "reference" is the frame's
// primitives that fell to the reference rasteriser (by reason on stderr).
#include <benchmark/benchmark.h>

#include <cstring>

#include "gsstats_bench.h"
#include "ptldraw.h"
#include "ze3d.h"
#include "zelgt_local.h"

namespace {

bool g_started = false;
ZEMTL* g_wall = nullptr;
ZEVEC g_pos[ZELGT_SPOTS_DRAWN];

void Start() {
  if (g_started) return;
  g_started = true;
  ZePs2Init();
  ZePs2InitVideo(640, 224, PSMCT32, PSMZ24, 2);
  ZePs2InitVU();
  KernelYield();
  ZeTrigInit();
  ZeVpInit();
  char* p = static_cast<char*>(ZeMemAlloc(ZeTexGetSysBuffSize(128) + 16));
  ZeTexInitEx(&p, 128);
  no_default_font = 1;
  ZeRndrInitEx(ZERNDRSTREAM_DEFAULT_BUFFER);
  p = static_cast<char*>(ZeMemAlloc(ZeMtlGetSysBuffSize(128) + 16));
  ZeMtlInitEx(&p, 128);
  ZeLightInit();
  ZeLightMatInit();
  ZECAMERA* cam = ZeCameraCreate();
  cam->mtx.m[3][2] = -10.0f;
  ZeCameraSet(cam);
  ZeCameraDestroy(cam);
  // The effects material on the effects texture the tools draw.
  auto* texels = static_cast<uint8_t*>(ZeMemAlloc(PTLTEX_SIZE * PTLTEX_SIZE * 4));
  PtlDrawParticleTexels(texels);
  ZETEX img{ZETEX_RGBA32, PTLTEX_SIZE, PTLTEX_SIZE, 1, texels, nullptr};
  ZEMTL* fx = ZeMtlCreate(1);
  fx->texture = ZeTexCreate(&img);
  fx->diffuse[0] = fx->diffuse[1] = fx->diffuse[2] = 1.0f;
  fx->attributes = (fx->attributes & ~(15u << ZEMTLATTR_BLEND)) | 2u << ZEMTLATTR_BLEND;
  fx->attributes = (fx->attributes & ~(3u << ZEMTLATTR_DEPTH)) | 1u << ZEMTLATTR_DEPTH;
  fx->attributes &= ~(7u << ZEMTLATTR_ATST);
  ZeMtlUpdate(fx);
  ZeLgtSetArcMat(fx, PTLTEX_BEAM_U0 / 256.0f, PTLTEX_BEAM_V0 / 256.0f, PTLTEX_BEAM_U1 / 256.0f,
                 PTLTEX_BEAM_V1 / 256.0f);
  g_wall = ZeMtlCreate(1);
  g_wall->attributes &= ~(3u << ZEMTLATTR_DEPTH);
  ZeMtlUpdate(g_wall);
  for (int i = 0; i < ZELGT_SPOTS_DRAWN; i++) g_pos[i] = {float(i - 5) * 0.8f, float(i % 3 - 1) * 0.6f, 0.0f};
}

ZESHADCYL g_cyl;

// The effects of the program's check: one of each.
void QueueEffects() {
  static ZEVEC glow = {-2.0f, -1.0f, 0.0f};
  ZeLightAddSpot(&glow, 0x8020a0ff, 2, 0, 0, 2.0f);
  const ZEVEC a = {-3.0f, 1.0f, 0.0f}, v = {6.0f, 0.0f, 0.0f}, flare = {2.0f, -1.0f, 0.0f};
  ZeLgtLaser(0, &a, &v, 0x80ffc080, 0.15f, 1.0f, 0.3f, 0.05f, 2.0f);
  ZeLgtFlare(&flare, 0x80406080, 0x80ffffff, 0.6f, 2.0f);
  ZeLightFog(5.0f, 40.0f, 0x40403020, 0, 0);
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  const float w[13] = {0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 1, 0};
  memcpy(g_cyl.words, w, sizeof w);
  g_cyl.words[0] &= ~1u, g_cyl.words[1] &= ~2u;
  if (ZESHADSTORE* e = ZeRndrAddShadowCylinder(&g_cyl, &m, 1))
    e->light = {0, 0, 1}, e->alpha = 0x40, e->fade = 20.0f, e->fadefar = 30.0f, e->group = 1;
}

enum Mode { PLAIN, FX, GLOWS };

void Frame(Mode mode) {
  ZeRndrBeginScene(-1);
  ZeRndrClear(0x300, 0x404040, 1.0f);
  ZERNDRSTREAM* s = rndrstream_3d_u;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeLgtUseMtl(s, g_wall, ~0ull);
  uint32_t* p = ZeLgtOpenSprites(s);
  ZEVEC4 q;
  const ZEVEC v = {0, 0, 10.0f};
  ZeVec4MtxTransform(&q, &v, ZeCameraGetPCSMtx());
  p = ZeLgtSpriteRegs(p, 0, 0, ZeLgtX0(), ZeLgtY0(), ZeLgtX0() + 640 * 16, ZeLgtY0() + 224 * 16, 0x404040,
                      uint32_t(q.z / q.w), 0, 0);
  ZeLgtCloseSprites(s, p);
  ZeRndrEndScene();
  if (mode == GLOWS) {
    for (int i = 0; i < ZELGT_SPOTS_DRAWN; i++) ZeLightAddSpot(&g_pos[i], 0x80204080u, i % 3, 0, 0, 0.7f);
    ZeLightFxSetup();
    ZeLightProcessSpot(0);
  } else if (mode == FX) {
    QueueEffects();
    const ZEVEC player = {0, 0, 0};
    ZeRndrFx(0, &player);
  }
  ZePs2ScreenSwap(1);
  ZeRndrVu1Draw();
  KernelYield();
  ZeRndrSwapStreamBuffers();
}

void Run(benchmark::State& state, Mode mode) {
  Start();
  const GsStats before = GsGetStats();
  uint64_t frames = 0;
  for (auto _ : state) {
    Frame(mode);
    frames++;
  }
  static const char* const kNames[] = {"frame without effects", "frame with effects", "ten glows"};
  GsBenchReport(state, kNames[mode], before, GsGetStats(), frames);
}

void BM_FrameWithoutFx(benchmark::State& state) { Run(state, PLAIN); }
void BM_FrameWithFx(benchmark::State& state) { Run(state, FX); }
void BM_FrameWithTenGlows(benchmark::State& state) { Run(state, GLOWS); }
BENCHMARK(BM_FrameWithoutFx)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameWithFx)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameWithTenGlows)->Unit(benchmark::kMillisecond);

}  // namespace
