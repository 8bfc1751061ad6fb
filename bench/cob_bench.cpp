// Characters: the character pass of one frame with 60 "torva" cobs in view
// (tick, queue, pose, locators and draw into the render stream, without
// the GS), every cob drawn as a model; reported as frames a second.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "aniwrite.h"
#include "coblib.h"
#include "modelwrite.h"

namespace {

constexpr int kCobs = 60;

EePtr<const char> g_anm[] = {"torva\\rest.ghg", "torva\\walk.ani", nullptr, nullptr};
COBANIMPARAM g_tab[] = {{1.0f, 0, 0.3f, 0.3f, 0, 1 << 24, 0}};
COBINFO g_info[] = {{g_anm, g_tab, 1.0f, nullptr, 1.0f, 1.0f, 0, 6.0f, 0}};
COB g_cobs[kCobs];
char* g_pos;

void Start() {
  static bool started = false;
  if (started) return;
  started = true;
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  errmsg_disabled = 1;
  SceneEngineInit();
  InitSkinning(4 << 20);
  ZECAMERA* cam = ZeCameraCreate();
  cam->mtx.m[3][1] = 1.0f;
  cam->mtx.m[3][2] = -14.0f;
  ZeCameraSet(cam);
  ZeCameraDestroy(cam);
  ModelDesc d;
  std::string error;
  if (!ModelReadDescription(ZE_DEMO_DIR "/torva.txt", &d, &error)) abort();
  std::filesystem::create_directories("CHARS/TORVA");
  PlatSetHostRoot(".");
  if (!ModelWriteHgof(d, "COBBENCH.HGO", &error)) abort();
  ModelDescFree(&d);
  ZEHGOBJ* heap = ZeHGobjLoad("COBBENCH.HGO");
  ZeGHGWrite(heap, "CHARS\\TORVA\\REST.GHG", 8 << 20);
  ZeHGobjDestroy(heap);
  AniDesc walk;
  PlatSetHostRoot(ZE_DEMO_DIR);
  if (!AniParse("torva_walk.txt", &walk, &error)) abort();
  PlatSetHostRoot(".");
  const std::vector<uint8_t> image = AniBuildV2(walk, &error);
  FILE* f = fopen("CHARS/TORVA/WALK.ANI", "wb");
  fwrite(image.data(), 1, image.size(), f);
  fclose(f);
  InstInit();
  InitCobs(g_info);
  static char* buf = static_cast<char*>(EeMalloc(1 << 20));
  g_pos = buf;
  AddCobTypeSetMemoryPointers(&g_pos, buf + (1 << 20), nullptr, nullptr, "bench");
  AddCobType(0);
  // Six rows of ten, each a little further into the animation.
  for (int i = 0; i < kCobs; i++) {
    InitCob(&g_cobs[i], 0);
    g_cobs[i].pos = {float(i % 10) - 4.5f, 0.0f, float(i / 10) * 1.5f};
    g_cobs[i].frame[0] = 1.0f + float(i) * 0.5f;
  }
}

void CharacterPass(benchmark::State& state) {
  Start();
  int drawn = 0;
  for (auto _ : state) {
    ZeRndrBeginScene(-1);
    CobJointAnimStartFrame();
    for (COB& c : g_cobs) {
      ProcessAnimCob(&c);
      AddCob(&c);
    }
    drawn = DrawCobs(&zemtx_identity);
    ZeRndrEndScene();
    ZeRndrSwapStreamBuffers();
  }
  state.counters["cobs_drawn"] = drawn;
  state.counters["models_drawn"] = cobrndr / double(state.iterations());
  cobrndr = 0;
  state.counters["frames_per_second"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(CharacterPass)->Name("character_pass_60_cobs_models")->Unit(benchmark::kMicrosecond);

}  // namespace
