// The material programs' mesh entries (docs/vu1.md): +0x00 batches of the
// converted meshes, the clipped primitives and the ordering table, with
// compressed positions rebuilt; +0x0a one independent triangle; +0x08
// quadratic Bezier triangles subdivided once into four; and fx2's quad
// layout at +0x06.
#include <cmath>

#include "vu1mtl.h"

namespace vu1mtl {

namespace {

constexpr int IN_COUNT = 2, IN_VERTS = 3, IN_TAG = 0xd2;

int Count(int top) { return int(Vu1Quad(top + IN_COUNT)[0] & 0xffff) / 3; }

// The strip tag at 0xd2 with NLOOP set to the vertices drawn.
void BatchTag(int top, int e, uint64_t* lo, uint64_t* hi) {
  const uint32_t* t = Vu1Quad(top + IN_TAG);
  *lo = (uint64_t(t[0]) | uint64_t(t[1]) << 32) & ~0x7fffull;
  *lo |= uint64_t(e);
  *hi = uint64_t(t[2]) | uint64_t(t[3]) << 32;
}

// One vertex of the three-quadword layout: position (w the flag word),
// texture u, v (4.12) and the normal's y and z (4.12), colour bytes.
void ReadVert(Vert& x, int qw, const float off[3]) {
  const uint32_t* pos = Vu1Quad(qw);
  const uint32_t* tex = Vu1Quad(qw + 1);
  const uint32_t* col = Vu1Quad(qw + 2);
  for (int k = 0; k < 3; k++) x.p[k] = AsFloat(pos[k]) - off[k];
  x.p[3] = 1.0f;
  x.st[0] = float(int32_t(tex[0])) * (1.0f / 4096.0f);
  x.st[1] = float(int32_t(tex[1])) * (1.0f / 4096.0f);
  x.n[0] = AsFloat(pos[3]);
  if (!std::isfinite(x.n[0])) x.n[0] = 0.0f;
  x.n[1] = float(int32_t(tex[2])) * (1.0f / 4096.0f);
  x.n[2] = float(int32_t(tex[3])) * (1.0f / 4096.0f);
  for (int i = 0; i < 4; i++) x.rgba[i] = float(col[i] & 0xff);
  x.lightable = true;
  x.noClose = (pos[3] & 1u) != 0;
}

Vert Mid(const Vert& a, const Vert& b, const float p[3]) {
  Vert r = a;
  for (int k = 0; k < 3; k++) r.p[k] = p[k];
  float len = 0.0f;
  for (int k = 0; k < 3; k++) {
    r.n[k] = (a.n[k] + b.n[k]) * 0.5f;
    len += r.n[k] * r.n[k];
  }
  if (len > 0.0f)
    for (float& c : r.n) c /= std::sqrt(len);
  for (int k = 0; k < 2; k++) r.st[k] = (a.st[k] + b.st[k]) * 0.5f;
  for (int k = 0; k < 4; k++) r.rgba[k] = (a.rgba[k] + b.rgba[k]) * 0.5f;
  return r;
}

}  // namespace

void MeshBatch(int top, Shade shade, bool oneTriangle) {
  const uint32_t* cnt = Vu1Quad(top + IN_COUNT);
  const int e = oneTriangle ? 3 : Count(top);
  if (e > MAX_VERTS) PlatFatal("vu1 clip: batch of %d vertices (at most %d)", e, MAX_VERTS);
  // y = 1 marks the ordering table's independent triangles. Compressed
  // positions arrive as bits(S) + d through the row registers: the count's
  // y, z, w hold S - mid, which the program subtracts (0.0 otherwise).
  const bool triangles = oneTriangle || cnt[1] == 1;
  const float off[3] = {AsFloat(cnt[1]), AsFloat(cnt[2]), AsFloat(cnt[3])};
  Vert v[MAX_VERTS];
  for (int i = 0; i < e; i++) {
    ReadVert(v[i], top + IN_VERTS + 3 * i, off);
    if (triangles) v[i].noClose = i % 3 < 2;
  }
  uint64_t lo, hi;
  BatchTag(top, e, &lo, &hi);
  Draw(top, shade, v, e, lo, hi);
}

void BezierBatch(int top, Shade shade) {
  const int n = Count(top);
  if (n % 3 != 0 || n > 9) PlatFatal("vu1 Bezier: %d corners (three a patch, at most 9)", n);
  const float none[3] = {0, 0, 0};
  Vert out[MAX_VERTS];
  int e = 0;
  for (int k = 0; k < n / 3; k++) {
    Vert c[3];
    for (int j = 0; j < 3; j++) ReadVert(c[j], top + IN_VERTS + 3 * (3 * k + j), none);
    // Edge control points: corners 0-1, 0-2, 1-2 (the patch's indices 1, 2, 4).
    float q[3][3];
    for (int j = 0; j < 3; j++) memcpy(q[j], Vu1Quad(top + 3 * n + 4 + 3 * k + j), 12);
    // The quadratic patch at the middle of an edge: a quarter of each
    // corner and half the edge's control point.
    auto edge = [&](int a, int b, const float* ctl) {
      float p[3];
      for (int i = 0; i < 3; i++) p[i] = 0.25f * c[a].p[i] + 0.5f * ctl[i] + 0.25f * c[b].p[i];
      return Mid(c[a], c[b], p);
    };
    const Vert ab = edge(0, 1, q[0]), ac = edge(0, 2, q[1]), bc = edge(1, 2, q[2]);
    const Vert* tris[4][3] = {{&c[0], &ab, &ac}, {&ab, &c[1], &bc}, {&ac, &bc, &c[2]}, {&ab, &bc, &ac}};
    for (auto& t : tris)
      for (int j = 0; j < 3; j++) {
        out[e] = *t[j];
        out[e].noClose = j < 2;
        e++;
      }
  }
  Draw(top, shade, out, e, StripTag(e), REGS_ST_RGBAQ_XYZ2);
}

}  // namespace vu1mtl

// fx2's quad layout (the clipped quads): bit 15 of the position's w marks a
// vertex that closes no triangle; no normal, shaded unlit.
void Vu1QuadBatch(int top) {
  using namespace vu1mtl;
  const int e = int(Vu1Quad(top + 2)[0] & 0xffff) / 3;
  if (e > MAX_VERTS) PlatFatal("vu1 clip: batch of %d vertices (at most %d)", e, MAX_VERTS);
  const float none[3] = {0, 0, 0};
  Vert v[MAX_VERTS];
  for (int i = 0; i < e; i++) {
    const int qw = top + 3 + 3 * i;
    ReadVert(v[i], qw, none);
    v[i].noClose = (Vu1Quad(qw)[3] & 0x8000u) != 0;
    v[i].lightable = false;
  }
  uint64_t lo, hi;
  BatchTag(top, e, &lo, &hi);
  Draw(top, SHADE_UNLIT, v, e, lo, hi);
}
