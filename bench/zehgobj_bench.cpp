// Hierarchical objects: microseconds to pose a 40-joint skinned model
// blended from two animations and draw it into the render stream (one
// frame's packets, without the GS), beside the same posing through the
// plain (non-VU0) matrix routines; and the posing alone both ways.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "aniwrite.h"
#include "modelwrite.h"
#include "zehgobjrndr_plain.h"

namespace {

constexpr int kJoints = 40;

struct World {
  ZEHGOBJ* obj = nullptr;
  ZEANIMDATA2* a = nullptr;
  ZEANIMDATA2* b = nullptr;
  ZEMTX at;
};

ZEANIMDATA2* Animation(unsigned seed, const char* name, char** pos, char* end) {
  AniDesc d;
  d.end = 60;
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> u(-0.4f, 0.4f);
  for (int j = 0; j < kJoints; j++) {
    AniNode n;
    n.flags = ZEANIMNODE_ROT | ZEANIMNODE_TRANS;
    n.channels.resize(ZEANIM_SLOTS);
    for (int s = 6; s < 9; s++) n.channels[size_t(s)].constant = 1;
    n.channels[1].constant = j ? 0.1f : 1.0f;  // the bone offset
    for (int s = 3; s < 6; s++) {
      n.channels[size_t(s)].type = ZEANIMKEYTYPE_HERMITE;
      for (int f = 1; f <= 60; f += 6) n.channels[size_t(s)].keys.push_back({f, u(gen), 0, false});
    }
    d.nodes.push_back(n);
  }
  std::string error;
  const std::vector<uint8_t> image = AniBuildV2(d, &error);
  FILE* f = fopen(name, "wb");
  fwrite(image.data(), 1, image.size(), f);
  fclose(f);
  PlatSetHostRoot(".");
  return ZeAnimData2LoadBuff(name, pos, end);
}

World& W() {
  static World* w = [] {
    static World world;
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    errmsg_disabled = 1;
    SceneEngineInit();
    InitSkinning(4 << 20);
    ZECAMERA* cam = ZeCameraCreate();
    cam->mtx.m[3][2] = -10.0f;
    ZeCameraSet(cam);
    ZeCameraDestroy(cam);
    // A chain of 40 joints 0.1 apart and a tube skinned along it, each ring
    // on two joints.
    ModelDesc d;
    d.scene.materials.push_back(SceneMaterial{.vtxcol = 1});
    for (int j = 0; j < kJoints; j++) {
      ModelJoint mj;
      mj.name = "j" + std::to_string(j);
      mj.parent = j ? j - 1 : 255;
      mj.offset = {0, j ? 0.1f : -2.0f, 0};
      d.joints.push_back(mj);
    }
    ModelSkin s;
    constexpr int kSides = 8;
    for (int r = 0; r <= kJoints; r++)
      for (int k = 0; k < kSides; k++) {
        const float a = 6.2831853f * float(k) / kSides;
        ZEVTX v = {};
        v.pos = {0.2f * std::cos(a), -2.0f + 0.1f * float(r), 0.2f * std::sin(a)};
        v.normal = {std::cos(a), 0, std::sin(a)};
        v.colour = 0xff8080ffu;
        s.vtx.push_back(v);
        ModelSkinVertex w;
        w.joint[0] = std::min(r, kJoints - 1), w.weight[0] = 0.5f;
        w.joint[1] = std::max(r - 1, 0), w.weight[1] = 0.5f;
        w.n = 2;
        s.weights.push_back(w);
      }
    for (int r = 0; r < kJoints; r++)
      for (int k = 0; k < kSides; k++) {
        const int16_t p = int16_t(r * kSides + k), q = int16_t(r * kSides + (k + 1) % kSides);
        s.idx.insert(s.idx.end(), {p, int16_t(p + kSides), q, q, int16_t(p + kSides), int16_t(q + kSides)});
      }
    d.skins.push_back(s);
    std::string error;
    PlatSetHostRoot(".");
    if (!ModelWriteHgof(d, "BENCH.HGO", &error)) abort();
    world.obj = ZeHGobjLoad("BENCH.HGO");
    static char* buf = static_cast<char*>(EeMalloc(1 << 20));
    char* pos = buf;
    world.a = Animation(1, "BENCHA.ANI", &pos, buf + (1 << 20));
    world.b = Animation(2, "BENCHB.ANI", &pos, buf + (1 << 20));
    ZeMtxSetIdentity(&world.at);
    return &world;
  }();
  return *w;
}

ZEMTX g_joints[256];

template <bool kPlain>
void PoseAndDraw(benchmark::State& state) {
  World& w = W();
  float f = 1;
  for (auto _ : state) {
    ZeRndrBeginScene(-1);
    if (kPlain) HgoEvalBlend2Plain(w.obj, w.a, w.b, g_joints, f, f + 7, 0.3f);
    else ZeHGobjEvalAnimBlend2(w.obj, w.a, w.b, 0, nullptr, g_joints, f, f + 7, 0.3f);
    benchmark::DoNotOptimize(ZeHGobjRndrMtxDwa(w.obj, &w.at, 1, nullptr, g_joints, nullptr));
    ZeRndrEndScene();
    ZeRndrSwapStreamBuffers();
    f = f >= 50 ? 1 : f + 0.37f;
  }
}

template <bool kPlain>
void Pose(benchmark::State& state) {
  World& w = W();
  float f = 1;
  for (auto _ : state) {
    if (kPlain) HgoEvalBlend2Plain(w.obj, w.a, w.b, g_joints, f, f + 7, 0.3f);
    else ZeHGobjEvalAnimBlend2(w.obj, w.a, w.b, 0, nullptr, g_joints, f, f + 7, 0.3f);
    benchmark::DoNotOptimize(g_joints[kJoints - 1].m[3][0]);
    f = f >= 50 ? 1 : f + 0.37f;
  }
}

BENCHMARK(PoseAndDraw<false>)->Name("pose_and_draw_40_joints")->Unit(benchmark::kMicrosecond);
BENCHMARK(PoseAndDraw<true>)->Name("pose_and_draw_40_joints_plain")->Unit(benchmark::kMicrosecond);
BENCHMARK(Pose<false>)->Name("pose_40_joints")->Unit(benchmark::kMicrosecond);
BENCHMARK(Pose<true>)->Name("pose_40_joints_plain")->Unit(benchmark::kMicrosecond);

}  // namespace
