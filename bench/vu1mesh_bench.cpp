// The material programs' cost beside the GS model's, in one run: the mesh
// entry (42-vertex lit batches through tric, mode 1 unclipped and mode 2
// with a third of the triangles crossing the clip volume) and the skin
// entry (42-point packets, two to four weights a point), each drawn into a
// 640 x 224 PSMCT32 target. Beside each, the GS alone replays the register
// writes the same batch produced: the difference is the program's share.
// Figures: vertices (points) per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "gs.h"
#include "platform.h"

namespace {

constexpr int W = 640, H = 224, TOP = 256;
using M4 = float[4][4];
// Camera along +z: clip x, y inside -z..z; screen 1600 units (100 pixels) per
// unit of x / z about the centre of the target.
constexpr M4 CLIP = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 2, 1}, {0, 0, -3, 0}};
constexpr M4 SCREEN = {{1600, 0, 0, 0}, {0, 1600, 0, 0}, {32768, 32768, 1000, 1}, {0, 0, 0, 0}};
constexpr M4 IDENT = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

uint32_t Bits(float f) {
  uint32_t w;
  memcpy(&w, &f, 4);
  return w;
}
void Put(int qw, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  uint32_t* q = Vu1Quad(qw);
  q[0] = a, q[1] = b, q[2] = c, q[3] = d;
}
void PutF(int qw, float a, float b, float c, float d) { Put(qw, Bits(a), Bits(b), Bits(c), Bits(d)); }
void PutMtx(int qw, const M4& m) {
  for (int i = 0; i < 4; i++) PutF(qw + i, m[i][0], m[i][1], m[i][2], m[i][3]);
}
void Load(int at, const char* name, int size) {
  std::vector<uint32_t> w(size_t(size) * 2, 0);
  Vu1Signature sig{VU1_SIG_MAGIC, uint32_t(size), {}};
  strncpy(sig.name, name, VU1_SIG_NAME - 1);
  memcpy(w.data(), &sig, sizeof sig);
  Vu1MicroWrite(at, w.data(), size);
}
void PutTag(int qw, int nloop) {
  const uint64_t lo = uint64_t(nloop) | 1ull << 15 | 1ull << 46 | 4ull << 47 | 3ull << 60;
  Put(qw, uint32_t(lo), uint32_t(lo >> 32), 0x512, 0);
}

// The target, no depth test; VU1 with the resident program latched for
// mode (1: no clipping, 2: clipping) and a lit stream's lights.
void Setup(int mode) {
  GsReset();
  GsWriteReg(GS_FRAME_1, uint64_t(W / 64) << 16);
  GsWriteReg(GS_SCISSOR_1, uint64_t(W - 1) << 16 | uint64_t(H - 1) << 48);
  GsWriteReg(GS_XYOFFSET_1, uint64_t((2048 - W / 2) * 16) | uint64_t((2048 - H / 2) * 16) << 32);
  GsWriteReg(GS_ZBUF_1, 1ull << 32);
  GsWriteReg(GS_TEST_1, 0);
  GsWriteReg(GS_PRMODECONT, 1);
  GifReset();
  Vu1Reset();
  memset(Vu1DataMem(), 0, VU1_MEM_SIZE);
  Load(0, "xform", 0x13f0 / 8);
  Load(0x300, "tric", 0x100);
  PutMtx(0, IDENT);
  PutMtx(4, SCREEN);
  PutMtx(8, CLIP);
  PutF(12, 0, 0, 0, 0);
  PutF(13, 0, 0, 0, 0);
  PutF(14, -1, 0, 0, 0);
  PutF(15, 0.5f, 0.5f, 0.5f, 0);
  PutF(18, 0.25f, 0.25f, 0.25f, 0);
  PutF(0x13, 128, 128, 128, 128);
  Put(23, 1, 0, 0, 0);
  Vu1Start(mode == 2 ? 2 : 0, TOP, 0);
}

// 14 triangles of about 40 pixels a side spread over the target; with
// clipped, every third one reaches past x = w.
void MeshBatch(bool clipped) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-1.5f, 1.5f);
  Put(TOP + 2, 3 * 42, 0, 0, 0);
  PutTag(TOP + 0xd2, 42);
  for (int t = 0; t < 14; t++) {
    const float cx = clipped && t % 3 == 0 ? 3.9f : u(rng), cy = u(rng) * 0.35f;
    const float p[3][2] = {{cx, cy}, {cx + 0.5f, cy}, {cx, cy + 0.25f}};
    for (int k = 0; k < 3; k++) {
      const int i = 3 * t + k;
      Put(TOP + 3 + 3 * i, Bits(p[k][0]), Bits(p[k][1]), Bits(2.0f), k < 2 ? 0x00008001u : 0u);
      Put(TOP + 4 + 3 * i, uint32_t(k * 4096), 0, 0, uint32_t(-4096));
      Put(TOP + 5 + 3 * i, 0x80, 0x60, 0x40, 0x80);
    }
  }
}

// A skin packet of 42 points (strips of 6), four quadwords a point, two to
// four weights over a palette of four matrices.
void SkinPacket() {
  constexpr int N = 42, WQ = 4;
  Put(TOP + 2, N * WQ, 1, 0, 0);
  PutTag(TOP + 0xd2, N);
  for (int m = 0; m < 4; m++)
    for (int r = 0; r < 4; r++) PutF(0x18 + 8 * r + m, IDENT[r][0], IDENT[r][1], IDENT[r][2], IDENT[r][3]);
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(-1.5f, 1.5f);
  for (int i = 0; i < N; i++) {
    const int slot = TOP + 3 + i * WQ, k = i % 6;
    const float x = u(rng), y = u(rng) * 0.35f;
    const int weights = 2 + i % 3;
    PutF(slot, x + 0.2f * float(k / 2), y + 0.2f * float(k & 1), 2.0f, 0);
    Put(slot + 1, 0, uint32_t(weights), 0, (Bits(-1.0f) & ~0xffu) | (k < 2 ? 1u : 0u));
    const float share = 1.0f / float(weights);
    Put(slot + 2, (Bits(share) & ~7u) | 0, (Bits(share) & ~7u) | 1, (Bits(share) & ~7u) | 2, (Bits(share) & ~7u) | 3);
  }
}

// Runs one batch once, recording the GS register writes it produced.
std::vector<std::pair<int, uint64_t>>* g_rec;
std::vector<std::pair<int, uint64_t>> Record(int entry) {
  std::vector<std::pair<int, uint64_t>> rec;
  g_rec = &rec;
  GsSetRegHook([](int reg, uint64_t v) { g_rec->emplace_back(reg, v); });
  Vu1Start(entry, TOP, 0);
  GsSetRegHook(nullptr);
  return rec;
}

void Program(benchmark::State& state, int mode, bool skin) {
  Setup(mode);
  if (skin) SkinPacket();
  else MeshBatch(mode == 2);
  const int entry = skin ? 0x302 : 0x300;
  for (auto _ : state) Vu1Start(entry, TOP, 0);
  state.counters["vertices/s"] = benchmark::Counter(double(state.iterations()) * 42, benchmark::Counter::kIsRate);
  state.counters["pixels/batch"] = double(GsGetStats().pixels) / double(state.iterations());
}

void GsAlone(benchmark::State& state, int mode, bool skin) {
  Setup(mode);
  if (skin) SkinPacket();
  else MeshBatch(mode == 2);
  const auto rec = Record(skin ? 0x302 : 0x300);
  for (auto _ : state)
    for (const auto& [reg, v] : rec) GsWriteReg(reg, v);
  state.counters["vertices/s"] = benchmark::Counter(double(state.iterations()) * 42, benchmark::Counter::kIsRate);
}

void BM_MeshEntryMode1(benchmark::State& s) { Program(s, 1, false); }
void BM_MeshEntryMode1GsAlone(benchmark::State& s) { GsAlone(s, 1, false); }
void BM_MeshEntryMode2Clipped(benchmark::State& s) { Program(s, 2, false); }
void BM_MeshEntryMode2ClippedGsAlone(benchmark::State& s) { GsAlone(s, 2, false); }
void BM_SkinEntry(benchmark::State& s) { Program(s, 1, true); }
void BM_SkinEntryGsAlone(benchmark::State& s) { GsAlone(s, 1, true); }

}  // namespace

BENCHMARK(BM_MeshEntryMode1);
BENCHMARK(BM_MeshEntryMode1GsAlone);
BENCHMARK(BM_MeshEntryMode2Clipped);
BENCHMARK(BM_MeshEntryMode2ClippedGsAlone);
BENCHMARK(BM_SkinEntry);
BENCHMARK(BM_SkinEntryGsAlone);
