// The light unit's share of a frame on the GS model, one core: a frame of a
// cleared 640 x 224 target with a wall, beside the same frame with the
// effects set-up (the depth copy) and ten spot glows (the index passes and
// ellipses). The counter "reference" is the primitives of the frame that
// fell to the reference rasteriser.
#include <benchmark/benchmark.h>

#include <cstring>

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
  g_wall = ZeMtlCreate(1);
  g_wall->attributes &= ~(3u << ZEMTLATTR_DEPTH);
  ZeMtlUpdate(g_wall);
  for (int i = 0; i < ZELGT_SPOTS_DRAWN; i++) g_pos[i] = {float(i - 5) * 0.8f, float(i % 3 - 1) * 0.6f, 0.0f};
}

void Frame(bool light) {
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
  if (light) {
    for (int i = 0; i < ZELGT_SPOTS_DRAWN; i++) ZeLightAddSpot(&g_pos[i], 0x80204080u, i % 3, 0, 0, 0.7f);
    ZeLightFxSetup();
    ZeLightProcessSpot(0);
  }
  ZePs2ScreenSwap(1);
  ZeRndrVu1Draw();
  KernelYield();
  ZeRndrSwapStreamBuffers();
}

void Run(benchmark::State& state, bool light) {
  Start();
  const GsStats before = GsGetStats();
  uint64_t frames = 0;
  for (auto _ : state) {
    Frame(light);
    frames++;
  }
  const GsStats after = GsGetStats();
  const double prims = double(after.prims - before.prims) / double(frames);
  state.counters["prims"] = prims;
  state.counters["reference"] = prims - double(after.fastPrims - before.fastPrims) / double(frames);
}

void BM_FrameWithoutLightUnit(benchmark::State& state) { Run(state, false); }
void BM_FrameWithGlows(benchmark::State& state) { Run(state, true); }
BENCHMARK(BM_FrameWithoutLightUnit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameWithGlows)->Unit(benchmark::kMillisecond);

}  // namespace
