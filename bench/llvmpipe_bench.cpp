// The peer for the GS model's fill rates: Mesa's llvmpipe through OSMesa,
// one thread (LP_NUM_THREADS=0) unless LP_NUM_THREADS is set, on the same
// 640 x 224 RGBA target and the same scenes as gs_bench (built only where
// Debian's OSMesa is installed).
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/osmesa.h>

#include <cstdlib>
#include <random>
#include <vector>

namespace {

constexpr int W = 640, H = 224;

struct Gl {
  OSMesaContext ctx = nullptr;
  std::vector<uint8_t> buffer;
  GLuint tex = 0;
  bool Open() {
    if (ctx) return true;
    setenv("LP_NUM_THREADS", "0", 0);
    setenv("GALLIUM_DRIVER", "llvmpipe", 1);
    ctx = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    buffer.resize(size_t(W) * H * 4);
    if (!ctx || !OSMesaMakeCurrent(ctx, buffer.data(), GL_UNSIGNED_BYTE, W, H)) return false;
    glViewport(0, 0, W, H);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, W, H, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    std::mt19937 rng(1);
    std::vector<uint32_t> texels(256 * 256);
    for (uint32_t& v : texels) v = uint32_t(rng()) | 0x80000000u;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 256, 256, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    return true;
  }
};
Gl g_gl;

struct V {
  float x, y, z, w, s, t;
  uint8_t rgba[4];
};

// Triangles tiling the target in cw x ch cells, with a perspective slope.
std::vector<V> Grid(int cw, int ch) {
  std::mt19937 rng(2);
  std::vector<V> v;
  const int nx = W / cw, ny = H / ch;
  auto at = [&](int i, int j) {
    float q = 0.5f + float(i + j) / float(nx + ny);
    uint32_t c = uint32_t(rng());
    V p{float(i * cw) * q, float(j * ch) * q, 0.5f * q, q, float(i) / nx * 1.7f * q,
        float(j) / ny * 1.3f * q, {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0x80}};
    return p;
  };
  for (int j = 0; j < ny; j++)
    for (int i = 0; i < nx; i++) {
      V a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
      v.insert(v.end(), {a, b, c, a, c, d});
    }
  return v;
}

enum Mode { FLAT, GOURAUD, GOURAUD_Z, TEXTURED };

void Draw(const std::vector<V>& v, Mode m) {
  glShadeModel(m == FLAT ? GL_FLAT : GL_SMOOTH);
  bool depth = m == GOURAUD_Z || m == TEXTURED;
  if (depth) {
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_GEQUAL);
    glDepthMask(GL_TRUE);
  } else {
    glDisable(GL_DEPTH_TEST);
  }
  if (m == TEXTURED) {
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  } else {
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
  }
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glVertexPointer(4, GL_FLOAT, sizeof(V), &v[0].x);
  glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(V), v[0].rgba);
  if (m == TEXTURED) {
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, sizeof(V), &v[0].s);
  } else {
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  }
  glDrawArrays(GL_TRIANGLES, 0, GLsizei(v.size()));
}

void Report(benchmark::State& state, double pixelsPerPass, double primsPerPass) {
  double n = double(state.iterations());
  state.counters["pixels/s"] = benchmark::Counter(n * pixelsPerPass, benchmark::Counter::kIsRate,
                                                  benchmark::Counter::kIs1000);
  state.counters["prims/s"] = benchmark::Counter(n * primsPerPass, benchmark::Counter::kIsRate,
                                                 benchmark::Counter::kIs1000);
}

void Triangles(benchmark::State& state, Mode m, int cw, int ch) {
  if (!g_gl.Open()) {
    state.SkipWithError("no OSMesa context");
    return;
  }
  std::vector<V> v = Grid(cw, ch);
  for (auto _ : state) {
    Draw(v, m);
    glFinish();
  }
  Report(state, double(W) * H, double(v.size() / 3));
}

void BM_LlvmpipeFlatTriangles(benchmark::State& s) { Triangles(s, FLAT, 64, 56); }
void BM_LlvmpipeGouraudTriangles(benchmark::State& s) { Triangles(s, GOURAUD, 64, 56); }
void BM_LlvmpipeTextured(benchmark::State& s) { Triangles(s, TEXTURED, 64, 56); }
void BM_LlvmpipeSmallTriangles(benchmark::State& s) { Triangles(s, GOURAUD_Z, 8, 8); }

// Textured, alpha-blended 32 x 32 quads tiling the target.
void BM_LlvmpipeBlendedSprites(benchmark::State& state) {
  if (!g_gl.Open()) {
    state.SkipWithError("no OSMesa context");
    return;
  }
  std::vector<V> v;
  for (int y = 0; y < H; y += 32)
    for (int x = 0; x < W; x += 32) {
      float x1 = float(x + 32), y1 = float(std::min(y + 32, H));
      V a{float(x), float(y), 0, 1, x / 256.0f, y / 256.0f, {0x80, 0x80, 0x80, 0x80}};
      V b = a, c = a, d = a;
      b.x = x1;
      b.s += 0.125f;
      c.x = x1;
      c.y = y1;
      c.s += 0.125f;
      c.t += 0.125f;
      d.y = y1;
      d.t += 0.125f;
      v.insert(v.end(), {a, b, c, a, c, d});
    }
  for (auto _ : state) {
    Draw(v, TEXTURED);
    glFinish();
  }
  Report(state, double(W) * H, double(v.size() / 6));
}

}  // namespace

BENCHMARK(BM_LlvmpipeFlatTriangles)->UseRealTime();
BENCHMARK(BM_LlvmpipeGouraudTriangles)->UseRealTime();
BENCHMARK(BM_LlvmpipeTextured)->UseRealTime();
BENCHMARK(BM_LlvmpipeBlendedSprites)->UseRealTime();
BENCHMARK(BM_LlvmpipeSmallTriangles)->UseRealTime();
