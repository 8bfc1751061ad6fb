// The clipping entries of the material programs (tri, tric, tricu, trica)
// and of the effect program fx2 (docs/vu1.md, "The clipping overlays").
// A batch of up to 42 vertices in the input buffer at TOP is transformed by
// the matrices the resident program latched, lit from the light block and
// the material colour, and sent as the batch's triangle strip with the
// vertices that close no triangle marked ADC; when the local matrix asked
// for clipping, triangles crossing the clip volume leave the strip and are
// clipped against the six planes and drawn as fans.
#include "platform.h"

#include <cmath>
#include <cstring>

namespace {

// Input buffer (relative to TOP).
constexpr int IN_COUNT = 2, IN_VERTS = 3, IN_TAG = 0xd2, OUT_VERTS = 0xd3, FAN = 0x152;
constexpr int MAX_VERTS = 42;
// Data memory (absolute).
constexpr int LIGHT_COLOURS = 15, AMBIENT = 18, MTL = 0x13;
// Entries (instructions from the load address).
constexpr int ENTRY_CLIP = 0x00, ENTRY_QUAD = 0x06, IDLE = 0x08;
// Latches of the resident program.
constexpr int VF_SCREEN = 1, VF_CLIP = 5, VF_LIGHT = 9, VI_CLIPPING = 1;
// Clipped output: the fan template's value (EOP, PRE, triangle fan; ST,
// RGBAQ, XYZ2) with NLOOP 0; the renderer places the same tag at 0x56.
constexpr uint64_t FAN_TAG = (1ull << 15) | (1ull << 46) | (5ull << 47) | (3ull << 60);
constexpr uint64_t FAN_REGS = 0x512;

enum Shade { SHADE_LIT, SHADE_LIT_VERTEX, SHADE_UNLIT, SHADE_LIT_ADD };

struct Vert {
  float p[4];    // object space, w 1 (interpolated when clipped)
  float st[2];   // texture coordinates
  float col[4];  // r, g, b, a, 0..255
};

float AsFloat(uint32_t w) {
  float f;
  memcpy(&f, &w, 4);
  return f;
}
uint32_t AsWord(float f) {
  uint32_t w;
  memcpy(&w, &f, 4);
  return w;
}

// Row vector p (4) times the four latched rows from vf.
void Transform(float out[4], const float p[4], int vf) {
  for (int j = 0; j < 4; j++)
    out[j] = p[0] * Vu1Vf(vf)[j] + p[1] * Vu1Vf(vf + 1)[j] + p[2] * Vu1Vf(vf + 2)[j] + p[3] * Vu1Vf(vf + 3)[j];
}

int Outcode(const float c[4]) {
  const float a = std::fabs(c[3]);
  return (c[0] > a ? 1 : 0) | (c[0] < -a ? 2 : 0) | (c[1] > a ? 4 : 0) | (c[1] < -a ? 8 : 0) |
         (c[2] > a ? 16 : 0) | (c[2] < -a ? 32 : 0);
}

float Clamp255(float v) { return v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v); }

// Colour of one vertex from its colour, its object-space normal, the
// lights (as the resident program turned them into object space) and the
// material's colour (x 128 at MTL).
void ShadeVertex(float out[4], const uint32_t rgba[4], const float n[3], Shade shade, bool lightable) {
  const float* mtl = reinterpret_cast<const float*>(Vu1Quad(MTL));
  float v[4];
  for (int i = 0; i < 4; i++) v[i] = float(rgba[i] & 0xff);
  float light[3] = {1.0f, 1.0f, 1.0f};
  if (shade != SHADE_UNLIT && lightable) {
    const float* amb = reinterpret_cast<const float*>(Vu1Quad(AMBIENT));
    for (int c = 0; c < 3; c++) light[c] = amb[c];
    for (int j = 0; j < 3; j++) {
      float d = n[0] * Vu1Vf(VF_LIGHT)[j] + n[1] * Vu1Vf(VF_LIGHT + 1)[j] + n[2] * Vu1Vf(VF_LIGHT + 2)[j];
      if (d <= 0.0f) continue;
      const float* lc = reinterpret_cast<const float*>(Vu1Quad(LIGHT_COLOURS + j));
      for (int c = 0; c < 3; c++) light[c] += d * lc[c];
    }
  }
  for (int c = 0; c < 3; c++) {
    float r;
    switch (shade) {
      case SHADE_LIT: r = mtl[c] * light[c]; break;
      case SHADE_LIT_VERTEX: r = v[c] * (1.0f / 128.0f) * mtl[c] * light[c]; break;
      case SHADE_LIT_ADD: r = mtl[c] * (v[c] * (1.0f / 128.0f) + (lightable ? light[c] : 0.0f)); break;
      default: r = v[c] * (1.0f / 128.0f) * mtl[c]; break;
    }
    out[c] = Clamp255(r);
  }
  out[3] = shade == SHADE_LIT ? Clamp255(mtl[3]) : Clamp255(v[3] * (1.0f / 128.0f) * mtl[3]);
}

// One output vertex (ST, RGBAQ, XYZ2) at qw, projected by the screen latch.
void Emit(int qw, const Vert& v, bool adc) {
  float s[4];
  Transform(s, v.p, VF_SCREEN);
  const float q = s[3] != 0.0f ? 1.0f / s[3] : 0.0f;
  uint32_t* st = Vu1Quad(qw);
  st[0] = AsWord(v.st[0] * q);
  st[1] = AsWord(v.st[1] * q);
  st[2] = AsWord(q);
  st[3] = 0;
  uint32_t* c = Vu1Quad(qw + 1);
  for (int i = 0; i < 4; i++) c[i] = uint32_t(v.col[i]);
  auto fix = [](float f, double hi) -> uint32_t {
    double d = std::isnan(f) ? 0.0 : double(f);
    return uint32_t(d < 0.0 ? 0.0 : (d > hi ? hi : d));
  };
  uint32_t* xyz = Vu1Quad(qw + 2);
  xyz[0] = fix(s[0] * q, 65535.0);
  xyz[1] = fix(s[1] * q, 65535.0);
  xyz[2] = fix(s[2] * q, 4294967295.0);
  xyz[3] = adc ? 0x8000u : 0u;
}

Vert Lerp(const Vert& a, const Vert& b, float t) {
  Vert r;
  for (int i = 0; i < 4; i++) r.p[i] = a.p[i] + (b.p[i] - a.p[i]) * t;
  for (int i = 0; i < 2; i++) r.st[i] = a.st[i] + (b.st[i] - a.st[i]) * t;
  for (int i = 0; i < 4; i++) r.col[i] = a.col[i] + (b.col[i] - a.col[i]) * t;
  return r;
}

// Distance of a clip-space point inside plane k (x = w, x = -w, y = w,
// y = -w, z = w, z = -w): non-negative inside.
float PlaneDist(const float c[4], int k) {
  const float v = c[k >> 1];
  return (k & 1) ? c[3] + v : c[3] - v;
}

// Clips the triangle against the clip volume and kicks the remaining
// polygon as a triangle fan.
void ClipAndKick(int top, const Vert& a, const Vert& b, const Vert& c) {
  constexpr int MAXP = 12;
  Vert poly[2][MAXP];
  int n = 3;
  poly[0][0] = a;
  poly[0][1] = b;
  poly[0][2] = c;
  int cur = 0;
  for (int k = 0; k < 6 && n >= 3; k++) {
    const Vert* in = poly[cur];
    Vert* out = poly[cur ^ 1];
    int m = 0;
    for (int i = 0; i < n; i++) {
      const Vert& p = in[i];
      const Vert& q = in[(i + 1) % n];
      float cp[4], cq[4];
      Transform(cp, p.p, VF_CLIP);
      Transform(cq, q.p, VF_CLIP);
      const float dp = PlaneDist(cp, k), dq = PlaneDist(cq, k);
      if (dp >= 0.0f && m < MAXP) out[m++] = p;
      if ((dp >= 0.0f) != (dq >= 0.0f) && m < MAXP) out[m++] = Lerp(p, q, dp / (dp - dq));
    }
    n = m;
    cur ^= 1;
  }
  if (n < 3) return;
  uint32_t* tag = Vu1Quad(top + FAN);
  const uint64_t t = FAN_TAG | uint64_t(n);
  tag[0] = uint32_t(t);
  tag[1] = uint32_t(t >> 32);
  tag[2] = uint32_t(FAN_REGS);
  tag[3] = 0;
  for (int i = 0; i < n; i++) Emit(top + FAN + 1 + 3 * i, poly[cur][i], false);
  Vu1Xgkick(top + FAN);
}

// One batch. quad: the quad entry's layout (flag word 0x8000 / 0x7fff, no
// normal); else the clip entry's (flag in bit 0 of the position's w, the
// normal's x there and its y and z in the texture words).
void Batch(int top, Shade shade, bool quad) {
  const int e = int(Vu1Quad(top + IN_COUNT)[0] & 0xffff) / 3;
  if (e > MAX_VERTS) PlatFatal("vu1 clip: batch of %d vertices (at most %d)", e, MAX_VERTS);
  const bool clipping = *Vu1Vi(VI_CLIPPING) != 0;
  // A count quadword with y = 1 marks independent triangles (the ordering
  // table's batches): flags by index, whatever the vertices hold.
  const bool triangles = Vu1Quad(top + IN_COUNT)[1] == 1;
  Vert v[MAX_VERTS];
  bool noClose[MAX_VERTS];
  int code[MAX_VERTS];
  for (int i = 0; i < e; i++) {
    const uint32_t* pos = Vu1Quad(top + IN_VERTS + 3 * i);
    const uint32_t* tex = Vu1Quad(top + IN_VERTS + 3 * i + 1);
    const uint32_t* col = Vu1Quad(top + IN_VERTS + 3 * i + 2);
    Vert& x = v[i];
    for (int k = 0; k < 3; k++) x.p[k] = AsFloat(pos[k]);
    x.p[3] = 1.0f;
    x.st[0] = float(int32_t(tex[0])) * (1.0f / 4096.0f);
    x.st[1] = float(int32_t(tex[1])) * (1.0f / 4096.0f);
    float nrm[3] = {0, 0, 0};
    if (quad) {
      noClose[i] = (pos[3] & 0x8000u) != 0;
    } else {
      noClose[i] = triangles ? i % 3 < 2 : (pos[3] & 1u) != 0;
      nrm[0] = AsFloat(pos[3]);
      nrm[1] = float(int32_t(tex[2])) * (1.0f / 4096.0f);
      nrm[2] = float(int32_t(tex[3])) * (1.0f / 4096.0f);
      if (!std::isfinite(nrm[0])) nrm[0] = 0.0f;
    }
    ShadeVertex(x.col, col, nrm, shade, !quad);
    if (clipping) {
      float c[4];
      Transform(c, x.p, VF_CLIP);
      code[i] = Outcode(c);
    } else {
      code[i] = 0;
    }
  }
  // The strip: the batch's own tag, then the vertices; a closing vertex
  // whose triangle is culled or clipped draws nothing in the strip.
  memcpy(Vu1Quad(top + OUT_VERTS - 1), Vu1Quad(top + IN_TAG), 16);
  for (int i = 0; i < e; i++) {
    bool adc = noClose[i] || i < 2;
    if (!adc && (code[i] | code[i - 1] | code[i - 2]) != 0) adc = true;
    Emit(top + OUT_VERTS + 3 * i, v[i], adc);
  }
  Vu1Xgkick(top + OUT_VERTS - 1);
  if (!clipping) return;
  for (int i = 2; i < e; i++) {
    if (noClose[i]) continue;
    const int all = code[i] | code[i - 1] | code[i - 2];
    const int common = code[i] & code[i - 1] & code[i - 2];
    if (all == 0 || common != 0) continue;
    ClipAndKick(top, v[i - 2], v[i - 1], v[i]);
  }
}

int Run(Vu1Run& run, Shade shade, const char* name) {
  switch (run.pc - run.base) {
    case ENTRY_CLIP: Batch(run.top, shade, false); break;
    case ENTRY_QUAD: Batch(run.top, shade, true); break;
    case IDLE: break;
    default: PlatFatal("%s: no entry at +%d", name, run.pc - run.base);
  }
  return run.base + IDLE;
}

}  // namespace

int Vu1TriProgram(Vu1Run& run) { return Run(run, SHADE_LIT, "tri"); }
int Vu1TricProgram(Vu1Run& run) { return Run(run, SHADE_LIT_VERTEX, "tric"); }
int Vu1TricuProgram(Vu1Run& run) { return Run(run, SHADE_UNLIT, "tricu"); }
int Vu1TricaProgram(Vu1Run& run) { return Run(run, SHADE_LIT_ADD, "trica"); }
int Vu1Fx2Program(Vu1Run& run) { return Run(run, SHADE_UNLIT, "fx2"); }
