// GS fill rate, 640 x 224 PSMCT32 targets: register writes as the GIF
// delivers them, primitives covering the whole target each pass. Figures
// are pixels (or triangles) per second; a memset of the same frame buffer
// runs beside them for scale, and a memcpy of the same bytes beside the
// clears and uploads. Arg 1 runs the reference rasteriser. One drawing
// thread unless ZE_GS_THREADS says more (each pass then waits for the GS);
// times are wall-clock.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "gs.h"
#include "gs_local.h"

namespace {

constexpr int W = 640, H = 224;
constexpr uint32_t kZbp = 70;           // pages: the frame takes 10 x 7
constexpr uint32_t kTexBp = 140 * 32;   // blocks
constexpr uint32_t kClutBp = 180 * 32;

uint64_t Rgbaq(uint32_t rgba, float q = 1.0f) {
  uint32_t qb;
  memcpy(&qb, &q, 4);
  return rgba | uint64_t(qb) << 32;
}
uint64_t St(float s, float t) {
  uint32_t a, b;
  memcpy(&a, &s, 4);
  memcpy(&b, &t, 4);
  return a | uint64_t(b) << 32;
}
uint64_t Xyz(int x, int y, uint32_t z) {
  return uint64_t(uint16_t(x)) | uint64_t(uint16_t(y)) << 16 | uint64_t(z) << 32;
}

void Upload(int psm, uint32_t bp, uint32_t bw, int w, int h, const void* data, int bytes) {
  GsBITBLTBUF b{};
  b.DBP = bp;
  b.DBW = bw;
  b.DPSM = uint32_t(psm);
  GsTRXREG r{};
  r.RRW = uint32_t(w);
  r.RRH = uint32_t(h);
  GsWriteReg(GS_BITBLTBUF, GsBits(b));
  GsWriteReg(GS_TRXPOS, 0);
  GsWriteReg(GS_TRXREG, GsBits(r));
  GsWriteReg(GS_TRXDIR, 0);
  GsWriteImage(data, bytes);
}

enum Mode { FLAT, GOURAUD, GOURAUD_Z, TEX_CT32, TEX_T8, TEX_MIP, SPRITE, SPRITE_FLAT, SPRITE_MASKED };

// The state of a benchmark: target, depth, texture, blending.
void Setup(Mode m, bool reference) {
  GsReset();
  GsSetPath(reference ? GS_PATH_REFERENCE : GS_PATH_FAST);
  GsFRAME f{};
  f.FBW = W / 64;
  f.PSM = PSMCT32;
  if (m == SPRITE_MASKED) f.FBMSK = 0xff808080;  // the shadow composite's mask
  GsWriteReg(GS_FRAME_1, GsBits(f));
  GsSCISSOR sc{};
  sc.SCAX1 = W - 1;
  sc.SCAY1 = H - 1;
  GsWriteReg(GS_SCISSOR_1, GsBits(sc));
  GsWriteReg(GS_PRMODECONT, 1);
  bool textured = m == TEX_CT32 || m == TEX_T8 || m == TEX_MIP || m == SPRITE;
  bool depth = m == TEX_CT32 || m == TEX_T8 || m == TEX_MIP || m == GOURAUD_Z;
  GsZBUF z{};
  z.ZBP = kZbp;
  z.PSM = PSMZ24 & 15;
  z.ZMSK = !depth;
  GsWriteReg(GS_ZBUF_1, GsBits(z));
  GsTEST t{};
  t.ZTE = 1;
  t.ZTST = depth ? 2 : 1;  // GEQUAL
  GsWriteReg(GS_TEST_1, GsBits(t));
  GsALPHA a{};  // (Cs - Cd) x As >> 7 + Cd
  a.A = 0;
  a.B = 1;
  a.C = 0;
  a.D = 1;
  GsWriteReg(GS_ALPHA_1, GsBits(a));
  GsWriteReg(GS_COLCLAMP, 1);
  if (!textured) return;
  std::mt19937 rng(1);
  const int tw = 256;
  GsTEX0 t0{};
  t0.TBP0 = kTexBp;
  t0.TBW = tw / 64;
  t0.TW = 8;
  t0.TH = 8;
  t0.TCC = 1;
  t0.TFX = 0;
  if (m == TEX_T8) {
    std::vector<uint8_t> idx(tw * tw);
    for (uint8_t& v : idx) v = uint8_t(rng());
    Upload(PSMT8, kTexBp, tw / 64, tw, tw, idx.data(), int(idx.size()));
    std::vector<uint32_t> pal(256);
    for (uint32_t& v : pal) v = rng() | 0x40000000;
    Upload(PSMCT32, kClutBp, 1, 16, 16, pal.data(), 1024);
    t0.PSM = PSMT8;
    t0.CBP = kClutBp;
    t0.CLD = 1;
  } else {
    // Levels 256 down to 16 one after another (each in pages of its own).
    uint32_t bp = kTexBp, tbp[5];
    for (int l = 0; l < (m == TEX_MIP ? 5 : 1); l++) {
      int w = tw >> l;
      std::vector<uint32_t> tex(size_t(w) * w);
      for (uint32_t& v : tex) v = rng() | 0x40000000;
      Upload(PSMCT32, bp, uint32_t(std::max(1, w / 64)), w, w, tex.data(), int(tex.size() * 4));
      tbp[l] = bp;
      bp += uint32_t(std::max(32, w * w * 4 / 256));
    }
    t0.PSM = PSMCT32;
    if (m == TEX_MIP) {
      GsMIPTBP1 m1{};
      m1.TBP1 = tbp[1];
      m1.TBW1 = 2;
      m1.TBP2 = tbp[2];
      m1.TBW2 = 1;
      m1.TBP3 = tbp[3];
      m1.TBW3 = 1;
      GsWriteReg(GS_MIPTBP1_1, GsBits(m1));
      GsMIPTBP2 m2{};
      m2.TBP4 = tbp[4];
      m2.TBW4 = 1;
      GsWriteReg(GS_MIPTBP2_1, GsBits(m2));
    }
  }
  GsWriteReg(GS_TEX0_1, GsBits(t0));
  GsTEX1 t1{};
  t1.MMAG = 1;
  t1.MMIN = m == TEX_MIP ? 5 : 1;  // LINEAR_MIPMAP_LINEAR: trilinear
  t1.MXL = m == TEX_MIP ? 4 : 0;
  GsWriteReg(GS_TEX1_1, GsBits(t1));
}

// Triangles tiling the target in cells of cw x ch pixels.
struct Vtx {
  int x, y;
  uint32_t rgba, z;
  float s, t, q;
};
std::vector<Vtx> Grid(int cw, int ch) {
  std::mt19937 rng(2);
  std::vector<Vtx> tris;
  const int nx = W / cw, ny = H / ch;
  auto v = [&](int i, int j) {
    float q = 0.5f + float(i + j) / float(nx + ny);  // a perspective slope
    return Vtx{i * cw * 16, j * ch * 16, uint32_t(rng() & 0x00ffffff) | 0x80000000u, 0x800000,
               float(i) / nx * 1.7f * q, float(j) / ny * 1.3f * q, q};
  };
  for (int j = 0; j < ny; j++)
    for (int i = 0; i < nx; i++) {
      Vtx a = v(i, j), b = v(i + 1, j), c = v(i + 1, j + 1), d = v(i, j + 1);
      tris.insert(tris.end(), {a, b, c, a, c, d});
    }
  return tris;
}

void DrawTriangles(const std::vector<Vtx>& tris, bool iip, bool tme) {
  GsPRIM p{};
  p.PRIM = 3;
  p.IIP = iip;
  p.TME = tme;
  p.ABE = tme;
  GsWriteReg(GS_PRIM, GsBits(p));
  for (const Vtx& v : tris) {
    if (tme) GsWriteReg(GS_ST, St(v.s, v.t));
    GsWriteReg(GS_RGBAQ, Rgbaq(v.rgba, v.q));
    GsWriteReg(GS_XYZ2, Xyz(v.x, v.y, v.z));
  }
}

// The end of a pass: everything drawn (the queue drained).
void Sync() { benchmark::DoNotOptimize(GsGetStats()); }

void Report(benchmark::State& state, uint64_t pixels, uint64_t prims) {
  state.counters["pixels/s"] =
      benchmark::Counter(double(pixels), benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
  state.counters["prims/s"] =
      benchmark::Counter(double(prims), benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
}

void Triangles(benchmark::State& state, Mode m, int cw, int ch) {
  Setup(m, state.range(0) != 0);
  std::vector<Vtx> tris = Grid(cw, ch);
  bool tme = m == TEX_CT32 || m == TEX_T8 || m == TEX_MIP;
  for (auto _ : state) {
    DrawTriangles(tris, m != FLAT, tme);
    Sync();
  }
  GsStats s = GsGetStats();
  Report(state, s.pixels, s.prims);
  if (s.pixels != s.prims / (tris.size() / 3) * uint64_t(W * H))
    state.SkipWithError("the grid did not cover the target exactly once per pass");
}

void BM_GsFlatTriangles(benchmark::State& s) { Triangles(s, FLAT, 64, 56); }
void BM_GsGouraudTriangles(benchmark::State& s) { Triangles(s, GOURAUD, 64, 56); }
void BM_GsGouraudDepthTriangles(benchmark::State& s) { Triangles(s, GOURAUD_Z, 64, 56); }
void BM_GsTexturedCt32(benchmark::State& s) { Triangles(s, TEX_CT32, 64, 56); }
void BM_GsTexturedT8Clut(benchmark::State& s) { Triangles(s, TEX_T8, 64, 56); }
void BM_GsTexturedTrilinear(benchmark::State& s) { Triangles(s, TEX_MIP, 64, 56); }
// 8 x 8 cells of two triangles: 32 pixels each, Gouraud and depth-tested.
void BM_GsSmallTriangles(benchmark::State& s) { Triangles(s, GOURAUD_Z, 8, 8); }

// Textured (UV, bilinear), alpha-blended 32 x 32 sprites tiling the target.
void BM_GsBlendedSprites(benchmark::State& state) {
  Setup(SPRITE, state.range(0) != 0);
  for (auto _ : state) {
    GsPRIM p{};
    p.PRIM = 6;
    p.TME = 1;
    p.ABE = 1;
    p.FST = 1;
    GsWriteReg(GS_PRIM, GsBits(p));
    GsWriteReg(GS_RGBAQ, Rgbaq(0x80808080));
    for (int y = 0; y < H; y += 32)
      for (int x = 0; x < W; x += 32) {
        GsWriteReg(GS_UV, uint64_t(x * 4) | uint64_t(y * 4) << 16);
        GsWriteReg(GS_XYZ2, Xyz(x * 16, y * 16, 0));
        GsWriteReg(GS_UV, uint64_t(x * 4 + 32 * 16) | uint64_t(y * 4 + 32 * 16) << 16);
        GsWriteReg(GS_XYZ2, Xyz((x + 32) * 16, std::min(y + 32, H) * 16, 0));
      }
    Sync();
  }
  GsStats s = GsGetStats();
  Report(state, s.pixels, s.prims);
}

// Full-screen flat sprites in 64-pixel strips.
void Strips(benchmark::State& state, Mode m) {
  Setup(m, state.range(0) != 0);
  for (auto _ : state) {
    GsWriteReg(GS_PRIM, 6);
    GsWriteReg(GS_RGBAQ, Rgbaq(0x80402010));
    for (int x = 0; x < W; x += 64) {
      GsWriteReg(GS_XYZ2, Xyz(x * 16, 0, 0));
      GsWriteReg(GS_XYZ2, Xyz((x + 64) * 16, H * 16, 0));
    }
    Sync();
  }
  GsStats s = GsGetStats();
  Report(state, s.pixels, s.prims);
}

// A clear, as the system does it.
void BM_GsClearSprites(benchmark::State& s) { Strips(s, SPRITE_FLAT); }
// The same under a frame mask that keeps alpha and each colour's top bit
// (the shadow composite): every pixel read, merged and written.
void BM_GsMaskedSprites(benchmark::State& s) { Strips(s, SPRITE_MASKED); }

// One sprite over the whole target as libgraph's clear draws it: depth
// test ALWAYS; arg 1 writes the (24-bit) depth buffer too.
void BM_GsClearFrame(benchmark::State& state) {
  Setup(SPRITE_FLAT, false);
  const bool depth = state.range(0) != 0;
  GsZBUF z{};
  z.ZBP = kZbp;
  z.PSM = PSMZ24 & 15;
  z.ZMSK = !depth;
  GsWriteReg(GS_ZBUF_1, GsBits(z));
  for (auto _ : state) {
    GsWriteReg(GS_PRIM, 6);
    GsWriteReg(GS_RGBAQ, Rgbaq(0x80402010));
    GsWriteReg(GS_XYZ2, Xyz(0, 0, 0x1234));
    GsWriteReg(GS_XYZ2, Xyz(W * 16, H * 16, 0x1234));
    Sync();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * W * H * 4 * (depth ? 2 : 1));
  GsStats s = GsGetStats();
  Report(state, s.pixels, s.prims);
}

// Host to local: a w x h PSMCT32 image per pass (a texture, a whole frame).
void Uploads(benchmark::State& state, int w, int h) {
  GsReset();
  std::vector<uint32_t> tex(size_t(w) * h);
  std::mt19937 rng(3);
  for (uint32_t& v : tex) v = uint32_t(rng());
  for (auto _ : state) {
    Upload(PSMCT32, kTexBp, uint32_t(w / 64), w, h, tex.data(), int(tex.size() * 4));
    Sync();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(tex.size() * 4));
}
void BM_GsUploadCt32(benchmark::State& state) { Uploads(state, 256, 256); }
void BM_GsUploadFrame(benchmark::State& state) { Uploads(state, W, H); }

// memcpy of `arg` bytes into local memory, for the clears and uploads.
void BM_MemcpyBytes(benchmark::State& state) {
  const size_t n = size_t(state.range(0));
  std::vector<uint8_t> src(n, 0x5a);
  uint8_t* dst = GsMemory();
  for (auto _ : state) {
    memcpy(dst, src.data(), n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

void BM_MemsetFrame(benchmark::State& state) {
  uint8_t* fb = GsMemory();
  int v = 0;
  for (auto _ : state) {
    memset(fb, v++, W * H * 4);
    benchmark::ClobberMemory();
  }
  state.counters["pixels/s"] =
      benchmark::Counter(double(state.iterations()) * W * H, benchmark::Counter::kIsRate,
                         benchmark::Counter::kIs1000);
}

}  // namespace

BENCHMARK(BM_MemsetFrame)->UseRealTime();
BENCHMARK(BM_GsFlatTriangles)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_GsGouraudTriangles)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_GsGouraudDepthTriangles)->Arg(0)->UseRealTime();
BENCHMARK(BM_GsTexturedCt32)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_GsTexturedT8Clut)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_GsTexturedTrilinear)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_GsBlendedSprites)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_GsClearSprites)->Arg(0)->UseRealTime();
BENCHMARK(BM_GsMaskedSprites)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_GsSmallTriangles)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_GsClearFrame)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_GsUploadCt32)->UseRealTime();
BENCHMARK(BM_GsUploadFrame)->UseRealTime();
BENCHMARK(BM_MemcpyBytes)->Arg(256 * 256 * 4)->Arg(W * H * 4)->Arg(W * H * 8)->UseRealTime();
