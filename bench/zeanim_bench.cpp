// Animation curves: ns per channel of ZeAnimCurve2CalcValEx on a 300-frame
// Hermite curve at random frames (the key pair found by counting mask bits),
// beside the same evaluation that finds the key pair by a binary search over
// the key times. "per_channel" is the time of one channel.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "aniwrite.h"
#include "ze3d.h"

namespace {

constexpr int kFrames = 4096;  // random times per run

struct Data {
  ZEANIMDATA2* anim = nullptr;
  std::vector<ZEANIMTIME> times;
  std::vector<float> keytimes;  // the curve's key times, for the search
  const ZEANIMKEY2* keys = nullptr;
};

Data& D() {
  static Data* d = [] {
    static Data data;
    // One node whose tx is a Hermite curve over 300 frames, a key every 3.
    AniDesc desc;
    desc.end = 300;
    AniNode node;
    node.name = "n";
    node.flags = ZEANIMNODE_TRANS;
    node.channels.resize(ZEANIM_SLOTS);
    std::mt19937 gen(11);
    std::uniform_real_distribution<float> u(-10.0f, 10.0f);
    node.channels[0].type = ZEANIMKEYTYPE_HERMITE;
    for (int f = 1; f <= 300; f += 3) node.channels[0].keys.push_back({f, u(gen), u(gen) * 0.1f, true});
    desc.nodes.push_back(node);
    std::string error;
    const std::vector<uint8_t> image = AniBuildV2(desc, &error);
    char* at = static_cast<char*>(EeMalloc(image.size() + 16));
    memcpy(at, image.data(), image.size());
    int record;
    memcpy(&record, at + 8, 4);
    data.anim = ZeAnimData2FixPtrs(uint32_t(record), int(EeAddrOf(at)));
    std::uniform_real_distribution<float> frame(1.0f, 300.0f);
    for (int i = 0; i < kFrames; i++) {
      ZEANIMTIME t;
      ZeAnimData2CalcTime(data.anim, &t, frame(gen));
      data.times.push_back(t);
    }
    const auto* c = static_cast<const ZEANIMCURVE2*>(EeAddrToPtr(data.anim->words[0]));
    data.keys = static_cast<const ZEANIMKEY2*>(c->keydata.get());
    int n = 0;
    for (int k = 0; k < data.anim->nchunks; k++) n += __builtin_popcount(c->masks[k]);
    for (int k = 0; k <= n; k++) data.keytimes.push_back(data.keys[k].time);
    return &data;
  }();
  return *d;
}

void PerChannel(benchmark::State& state) {
  state.counters["per_channel"] =
      benchmark::Counter(double(state.iterations()) * kFrames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_CalcValEx(benchmark::State& state) {
  Data& d = D();
  const uint32_t* word = &d.anim->words[0];
  for (auto _ : state) {
    float sum = 0;
    for (const ZEANIMTIME& t : d.times) sum += ZeAnimCurve2CalcValEx(word, &t, ZEANIMKEYTYPE_HERMITE);
    benchmark::DoNotOptimize(sum);
  }
  PerChannel(state);
}
BENCHMARK(BM_CalcValEx);

// The plain form: the previous key by a binary search over the key times,
// then the same Hermite.
void BM_BinarySearch(benchmark::State& state) {
  Data& d = D();
  const float* begin = d.keytimes.data();
  const float* end = begin + d.keytimes.size() - 1;  // the last key only follows
  for (auto _ : state) {
    float sum = 0;
    for (const ZEANIMTIME& t : d.times) {
      const int i = int(std::upper_bound(begin, end, t.frame) - begin) - 1;
      const ZEANIMKEY2* k = d.keys + i;
      const float dt = k[1].time - k[0].time, s = (t.frame - k[0].time) * k[0].invint;
      const float m0 = k[0].tangent * dt, m1 = k[1].tangent * dt, D = k[0].value - k[1].value;
      sum += k[0].value + s * (m0 + s * (-3.0f * D - 2.0f * m0 - m1 + s * (2.0f * D + m0 + m1)));
    }
    benchmark::DoNotOptimize(sum);
  }
  PerChannel(state);
}
BENCHMARK(BM_BinarySearch);

}  // namespace
