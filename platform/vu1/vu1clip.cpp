// The material programs' common stage (tri, tric, tricu, trica, xformuv)
// and the effect program fx2 (docs/vu1.md, "The material programs"). A
// batch of vertices, read from the input buffer by the entry that owns its
// layout, is shaded from the lights and the material colour, transformed by
// the matrices the resident program latched and sent as one triangle strip
// with the vertices that close no triangle marked ADC; when the local
// matrix asked for clipping, triangles crossing the clip volume leave the
// strip, are clipped against the six planes and drawn as fans.
#include "vu1mtl.h"

#include <cmath>

namespace vu1mtl {

namespace {

// Clipped output: the fan template's value (EOP, PRE, triangle fan; ST,
// RGBAQ, XYZ2) with NLOOP 0; the renderer places the same tag at 0x56.
constexpr uint64_t FAN_TAG = (1ull << 15) | (1ull << 46) | (5ull << 47) | (3ull << 60);

int Outcode(const float c[4]) {
  const float a = std::fabs(c[3]);
  return (c[0] > a ? 1 : 0) | (c[0] < -a ? 2 : 0) | (c[1] > a ? 4 : 0) | (c[1] < -a ? 8 : 0) |
         (c[2] > a ? 16 : 0) | (c[2] < -a ? 32 : 0);
}

float Clamp255(float v) { return v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v); }

// Colour of one vertex from its colour, its object-space normal, the
// lights (as the resident program turned them into object space) and the
// material's colour (x 128 at MTL).
void ShadeVertex(Vert& x, Shade shade) {
  const float* mtl = reinterpret_cast<const float*>(Vu1Quad(MTL));
  const float* v = x.rgba;
  float light[3] = {1.0f, 1.0f, 1.0f};
  const bool lit = (shade == SHADE_LIT || shade == SHADE_LIT_VERTEX || shade == SHADE_LIT_ADD) && x.lightable;
  if (lit) {
    const float* amb = reinterpret_cast<const float*>(Vu1Quad(AMBIENT));
    for (int c = 0; c < 3; c++) light[c] = amb[c];
    for (int j = 0; j < 3; j++) {
      float d = x.n[0] * Vu1Vf(VF_LIGHT)[j] + x.n[1] * Vu1Vf(VF_LIGHT + 1)[j] + x.n[2] * Vu1Vf(VF_LIGHT + 2)[j];
      if (!(d > 0.0f)) continue;
      const float* lc = reinterpret_cast<const float*>(Vu1Quad(LIGHT_COLOURS + j));
      for (int c = 0; c < 3; c++) light[c] += d * lc[c];
    }
  }
  for (int c = 0; c < 3; c++) {
    float r;
    switch (shade) {
      case SHADE_LIT: r = mtl[c] * light[c]; break;
      case SHADE_LIT_VERTEX: r = v[c] * (1.0f / 128.0f) * mtl[c] * light[c]; break;
      case SHADE_LIT_ADD: r = mtl[c] * (v[c] * (1.0f / 128.0f) + (lit ? light[c] : 0.0f)); break;
      default: r = v[c] * (1.0f / 128.0f) * mtl[c]; break;
    }
    x.col[c] = Clamp255(r);
  }
  x.col[3] = shade == SHADE_LIT && x.lightable ? Clamp255(mtl[3]) : Clamp255(v[3] * (1.0f / 128.0f) * mtl[3]);
  if (shade == SHADE_FOG) FogShade(x);
  if (shade == SHADE_FADE) {
    // tricu's colour scaled by the instance's fade block.
    const float* f = reinterpret_cast<const float*>(Vu1Quad(FADE_BLOCK));
    for (int c = 0; c < 4; c++) x.col[c] = Clamp255(v[c] * (1.0f / 128.0f) * mtl[c] * f[c]);
  }
  if (shade == SHADE_XFORMUV) {
    // Texture coordinates from the block latched for mode 4: the normal
    // through the block's rotation, made unit length, halved, plus the
    // block's last row (the specular block's is (0.5, 0.5, 0, 1)).
    float d[3];
    for (int j = 0; j < 3; j++)
      d[j] = x.n[0] * Vu1Vf(VF_BLOCK)[j] + x.n[1] * Vu1Vf(VF_BLOCK + 1)[j] + x.n[2] * Vu1Vf(VF_BLOCK + 2)[j];
    const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    const float k = len > 0.0f ? 0.5f / len : 0.0f;
    x.st[0] = d[0] * k + Field(STATE + 3, 0);
    x.st[1] = d[1] * k + Field(STATE + 3, 1);
  }
  if (shade == SHADE_WATERUV) {
    // Its own coordinates moved by the vertex's wave times effect entry 2.
    const float* w = WaterWave(x.p);
    x.st[0] += w[0] * Field(MTL + 1, 2);
    x.st[1] += w[1] * Field(MTL + 1, 2);
  }
}

// How the batch being drawn is shaded: fog, water and glass batches take
// screen-space texture coordinates (the fog dome also the effect block's
// depth).
Shade g_shade = SHADE_UNLIT;

// One output vertex (ST, RGBAQ, XYZ2) at qw, projected by the screen latch.
void Emit(int qw, const Vert& v, bool adc) {
  float s[4];
  Transform(s, v.p, VF_SCREEN);
  const float q = s[3] != 0.0f ? 1.0f / s[3] : 0.0f;
  uint32_t* st = Vu1Quad(qw);
  if (ScreenSpaceSt(g_shade)) {
    float fs[2];
    ScreenSt(g_shade, v, s[0] * q, s[1] * q, fs);
    st[0] = AsWord(fs[0]), st[1] = AsWord(fs[1]), st[2] = AsWord(1.0f);
    if (g_shade == SHADE_FOG) s[2] = Field(MTL + 1, 3) * s[3];
  } else {
    st[0] = AsWord(v.st[0] * q);
    st[1] = AsWord(v.st[1] * q);
    st[2] = AsWord(q);
  }
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
  Vert r = a;
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
  uint32_t* tag = Vu1Quad(top + OUT_FAN);
  const uint64_t t = FAN_TAG | uint64_t(n);
  tag[0] = uint32_t(t);
  tag[1] = uint32_t(t >> 32);
  tag[2] = uint32_t(REGS_ST_RGBAQ_XYZ2);
  tag[3] = 0;
  for (int i = 0; i < n; i++) Emit(top + OUT_FAN + 1 + 3 * i, poly[cur][i], false);
  Vu1Xgkick(top + OUT_FAN);
}

}  // namespace

void Transform(float out[4], const float p[4], int vf) {
  for (int j = 0; j < 4; j++)
    out[j] = p[0] * Vu1Vf(vf)[j] + p[1] * Vu1Vf(vf + 1)[j] + p[2] * Vu1Vf(vf + 2)[j] + p[3] * Vu1Vf(vf + 3)[j];
}

void Draw(int top, Shade shade, Vert* v, int e, uint64_t tagLo, uint64_t tagHi) {
  if (e > MAX_VERTS) PlatFatal("vu1 clip: batch of %d vertices (at most %d)", e, MAX_VERTS);
  if (e <= 0) return;
  g_shade = shade;
  const bool clipping = *Vu1Vi(VI_CLIPPING) != 0;
  int code[MAX_VERTS];
  for (int i = 0; i < e; i++) {
    ShadeVertex(v[i], shade);
    if (clipping) {
      float c[4];
      Transform(c, v[i].p, VF_CLIP);
      code[i] = Outcode(c);
    } else {
      code[i] = 0;
    }
  }
  // The strip: its tag, then the vertices; a closing vertex whose triangle
  // is culled or clipped draws nothing in the strip.
  uint32_t* tag = Vu1Quad(top + OUT_TAG);
  tag[0] = uint32_t(tagLo);
  tag[1] = uint32_t(tagLo >> 32);
  tag[2] = uint32_t(tagHi);
  tag[3] = uint32_t(tagHi >> 32);
  for (int i = 0; i < e; i++) {
    bool adc = v[i].noClose || i < 2;
    if (!adc && (code[i] | code[i - 1] | code[i - 2]) != 0) adc = true;
    Emit(top + OUT_TAG + 1 + 3 * i, v[i], adc);
  }
  Vu1Xgkick(top + OUT_TAG);
  if (!clipping) return;
  for (int i = 2; i < e; i++) {
    if (v[i].noClose) continue;
    const int all = code[i] | code[i - 1] | code[i - 2];
    const int common = code[i] & code[i - 1] & code[i - 2];
    if (all == 0 || common != 0) continue;
    ClipAndKick(top, v[i - 2], v[i - 1], v[i]);
  }
}

int Run(Vu1Run& run, Shade shade, const char* name) {
  switch (run.pc - run.base) {
    case ENTRY_MESH: MeshBatch(run.top, shade, false); break;
    case ENTRY_SKIN:
      // Skin packets after the first continue with MSCNT: stop here.
      SkinPacket(run.top, shade, name);
      return run.base + ENTRY_SKIN;
    case ENTRY_FACEON: FaceOnBatch(run.top, shade); break;
    case ENTRY_FACEY: FaceYBatch(run.top, shade); break;
    case ENTRY_BEZIER: BezierBatch(run.top, shade); break;
    case ENTRY_TRIANGLE: MeshBatch(run.top, shade, true); break;
    case IDLE: break;
    default: PlatFatal("%s: no entry at +%d", name, run.pc - run.base);
  }
  return run.base + IDLE;
}

}  // namespace vu1mtl

int Vu1TriProgram(Vu1Run& run) { return vu1mtl::Run(run, vu1mtl::SHADE_LIT, "tri"); }
int Vu1TricProgram(Vu1Run& run) { return vu1mtl::Run(run, vu1mtl::SHADE_LIT_VERTEX, "tric"); }
int Vu1TricuProgram(Vu1Run& run) { return vu1mtl::Run(run, vu1mtl::SHADE_UNLIT, "tricu"); }
int Vu1TricufProgram(Vu1Run& run) { return vu1mtl::Run(run, vu1mtl::SHADE_FADE, "tricuf"); }
int Vu1TricaProgram(Vu1Run& run) { return vu1mtl::Run(run, vu1mtl::SHADE_LIT_ADD, "trica"); }
int Vu1XformuvProgram(Vu1Run& run) { return vu1mtl::Run(run, vu1mtl::SHADE_XFORMUV, "xformuv"); }
