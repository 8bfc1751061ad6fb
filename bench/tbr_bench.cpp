// Time-based rendering: frames a second of a headless frame (the
// off-screen pass, the main pass with DrawCobs and the sprites, the swap
// and the GS drawing it) with 60 walking demo characters in view, 16 to 66
// units away; once with distant ones shown as images under the budget,
// once with every cob forced to a model (flags bit 4).
#include <benchmark/benchmark.h>

#include "aniwrite.h"
#include "coblib.h"
#include "modelwrite.h"
#include "scenewrite.h"

namespace {

constexpr int kCobs = 60;

struct World {
  ZETEXID page = 0;
  ZEMTL* copy = nullptr;
  ZEMTL* sprite = nullptr;
  COBINFO* info = nullptr;
  COBTYPE* type = nullptr;
  COB* cobs = nullptr;
};

ZEMTL* PageMaterial(ZETEXID page) {
  ZEMTL* m = ZeMtlCreate(1);
  m->attributes = (m->attributes & ~(3u << ZEMTLATTR_LIGHTING)) | 2u << ZEMTLATTR_LIGHTING | 1u << ZEMTLATTR_VTXCOL;
  m->diffuse[0] = m->diffuse[1] = m->diffuse[2] = 1.0f;
  m->alpha = 1.0f;
  m->texture = page;
  ZeMtlUpdate(m);
  return m;
}

World& W() {
  static World* w = [] {
    static World world;
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    errmsg_disabled = 1;
    SceneEngineInit();
    InitSkinning(4 << 20);
    ZECAMERA* cam = ZeCameraCreate();
    ZeCameraSet(cam);
    ZeCameraDestroy(cam);
    // The demo character and its walk, written by the tools' writers.
    std::string error;
    ModelDesc d;
    auto fail = [&] {
      fprintf(stderr, "tbr_bench: %s\n", error.c_str());
      abort();
    };
    AniDesc walk;
    if (!ModelReadDescription(ZE_DEMO_DIR "/torva.txt", &d, &error)) fail();
    PlatSetHostRoot(ZE_DEMO_DIR);  // the parser reads through the engine's files
    if (!AniParse("torva_walk.txt", &walk, &error)) fail();
    PlatSetHostRoot(".");
    if (!ModelWriteHgof(d, "TBRBENCH.HGO", &error)) fail();
    ModelDescFree(&d);
    ZEHGOBJ* model = ZeHGobjLoad("TBRBENCH.HGO");
    if (!model) fail();
    const std::vector<uint8_t> img = AniBuildV2(walk, &error);
    FILE* f = fopen("TBRBENCH.ANI", "wb");
    fwrite(img.data(), 1, img.size(), f);
    fclose(f);
    static char* buf = static_cast<char*>(EeMalloc(1 << 20));
    char* pos = buf;
    ZEANIMDATA2* anim = ZeAnimData2LoadBuff("TBRBENCH.ANI", &pos, buf + (1 << 20));
    // The page and its materials, as the program makes them.
    ZETEX image{ZETEX_RT_CT32, TBR_PAGE_W, TBR_PAGE_H, 1, nullptr, nullptr};
    world.page = ZeTexCreate(&image);
    ZeTexAssignAddr(world.page, ZeTexReserve(ZeTexGetReqSize(world.page, 0)));
    world.copy = PageMaterial(world.page);
    world.sprite = PageMaterial(world.page);
    TimeBasedRenderInit();
    // EE memory: the records hold 4-byte pointers.
    world.info = static_cast<COBINFO*>(EeMalloc(sizeof(COBINFO)));
    world.type = static_cast<COBTYPE*>(EeMalloc(sizeof(COBTYPE)));
    world.cobs = static_cast<COB*>(EeMalloc(sizeof(COB) * kCobs));
    *world.info = COBINFO{};
    *world.type = COBTYPE{};
    world.info->radius = 1.0f;
    world.info->centreheight = 1.0f;
    COBTYPE* t = world.type;
    t->hgobj = model;
    t->anims[0] = anim;
    t->info = world.info;
    t->radius = 1.0f;
    t->centre = {0.0f, 1.0f, 0.0f};
    t->scale = {1.0f, 1.0f, 1.0f};
    t->usecount = 1;
    // Six rows of ten, 16 to 66 units ahead, within the view.
    for (int i = 0; i < kCobs; i++) {
      COB* c = &world.cobs[i];
      *c = COB{};
      c->type = t;
      c->visible = 1;
      c->layers[0] = 0, c->layers[1] = -1;
      c->anim = c->prevanim = 0;
      c->blend = 1.0f;
      c->frame[0] = c->frame[1] = 1.0f + float(i % 20);
      c->flags = COB_ANIMATED;
      c->lights = &coblights;
      const float z = 16.0f + float(i / 10) * 10.0f;
      c->pos = {(float(i % 10) - 4.5f) * z * 0.04f, -1.0f, z};
      c->roty = int16_t(i * 0x1000);
    }
    return &world;
  }();
  return *w;
}

void Frame(World& w, uint32_t forced, int* models) {
  for (int i = 0; i < kCobs; i++) {
    COB* c = &w.cobs[i];
    c->flags = (c->flags & ~uint32_t(COB_TBR)) | forced;
    c->frame[0] = c->frame[0] >= 30.0f ? 1.0f : c->frame[0] + 0.4f;
    AddCob(c);
  }
  if (ZeRndrBeginScene(w.page)) {
    TBRDrawCobs(w.copy, TBRBudget(*models));
    ZeRndrEndScene();
  }
  ZeRndrBeginScene(-1);
  ZeRndrClear(0x700, 0x00402010, 1.0f);
  *models = DrawCobs(ZeCameraGetMtx());
  DrawTimeBasedObjects(w.sprite, 0);
  ZeRndrEndScene();
  TBRManage();
  ZePs2ScreenSwap(1);
  ZeRndrVu1Draw();
  KernelYield();
  ZeRndrSwapStreamBuffers();
}

void Frames(benchmark::State& state, uint32_t forced) {
  World& w = W();
  int models = 0;
  for (int i = 0; i < 3; i++) Frame(w, forced, &models);  // images made, slots settled
  for (auto _ : state) Frame(w, forced, &models);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  int images = 0;
  for (const TBROBJ& o : tbrobjs) images += o.inuse && o.shown;
  state.counters["models"] = models;
  state.counters["images"] = images;
}

void TimeBased(benchmark::State& state) { Frames(state, 0); }
void AllModels(benchmark::State& state) { Frames(state, COB_TBR); }

BENCHMARK(TimeBased)->Name("frame_60_cobs_time_based")->Unit(benchmark::kMillisecond);
BENCHMARK(AllModels)->Name("frame_60_cobs_all_models")->Unit(benchmark::kMillisecond);

}  // namespace
