// Fractal patch height fields: the Hermite split with seeded noise, the
// tessellations, the 9 x 9 height-field buffer and the three cell
// extractions, surface points, collision and the shadow cast, and the
// slope-lighting helpers.
#include "ze3d.h"

#include <cstring>

namespace {

ZEVEC4* noise = nullptr;       // 256 entries; made once, kept for the program's life
ZEFPATCHHF* hfbuffer = nullptr;  // the height-field buffer made last

// Exact Hermite subdivision: columns along u, rows along v.
constexpr float LU[4][4] = {{0.5f, 0, -0.125f, 0.125f}, {0, 1, -0.75f, 0.5f}, {0, 0, -0.125f, -0.125f}, {0, 0, 0.75f, 0.5f}};
constexpr float RU[4][4] = {{-0.125f, 0.125f, 0, 0}, {-0.75f, 0.5f, 0, 0}, {-0.125f, -0.125f, 0.5f, 0}, {0.75f, 0.5f, 0, 1}};
constexpr float LV[4][4] = {{1, 0, 0, 0}, {0, 0.5f, 0, 0}, {-0.75f, -0.125f, -0.125f, 0.75f}, {0.5f, 0.125f, -0.125f, 0.5f}};
constexpr float RV[4][4] = {{0.5f, 0.125f, -0.125f, 0.5f}, {-0.75f, -0.125f, -0.125f, 0.75f}, {0, 0, 0.5f, 0}, {0, 0, 0, 1}};

void Mul(float (*d)[4], const float (*a)[4], const float (*b)[4]) {
  float r[4][4];
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) {
      float s = 0;
      for (int k = 0; k < 4; k++) s += a[i][k] * b[k][j];
      r[i][j] = s;
    }
  memcpy(d, r, sizeof r);
}

ZEVEC4 Mid(const ZEVEC4& a, const ZEVEC4& b) {
  return {a.x * 0.5f + b.x * 0.5f, a.y * 0.5f + b.y * 0.5f, a.z * 0.5f + b.z * 0.5f, a.w * 0.5f + b.w * 0.5f};
}

// Where the height, u tangent and v tangent of each corner sit in H.
constexpr int HROW[4] = {0, 0, 3, 3}, HCOL[4] = {1, 3, 1, 3};
constexpr int UROW[4] = {0, 0, 3, 3}, UCOL[4] = {0, 2, 0, 2};
constexpr int VROW[4] = {1, 1, 2, 2}, VCOL[4] = {1, 3, 1, 3};

int NoiseIndex(float seed) {
  uint32_t bits;
  memcpy(&bits, &seed, 4);
  return int(bits & 0xff);
}

void MakeNoise() {
  if (noise) return;
  noise = static_cast<ZEVEC4*>(ZeMemAllocTagged(ZEFPATCH_NOISE * int(sizeof(ZEVEC4))));
  ZeRandSeed(17);
  for (int i = 0; i < ZEFPATCH_NOISE; i++) {
    float r1 = ZeRandFloat();
    ZeRandFloat();  // the second draw is not used
    float r3 = ZeRandFloat();
    float r4 = ZeRandFloat();
    float v = (r3 - 0.5f) * 0.7f;
    noise[i] = {(r1 - 0.5f) * 0.0f, v, v, (r4 - 0.5f) * 0.0f};
  }
}

void Bilinear(ZEVEC* out, const ZEVEC4* c, float s, float t) {
  const float* f[4] = {&c[0].x, &c[1].x, &c[2].x, &c[3].x};
  float* o = &out->x;
  for (int a = 0; a < 3; a++) o[a] = (f[0][a] * (1 - s) + f[1][a] * s) * (1 - t) + (f[2][a] * (1 - s) + f[3][a] * s) * t;
}

void Levels(int levels, const char* what) {
  // Below one level the recursion would never end.
  if (levels < 1) ZeError("%s: %d levels", what, levels);
}

// The height matrix of a cell from the height table at its corners.
void CellHeights(const float* heights, int cell, ZEFPATCH* out) {
  const int x = cell & 7, y = (cell >> 3) & 7;
  const int g[4] = {y * 9 + x, y * 9 + x + 1, (y + 1) * 9 + x, (y + 1) * 9 + x + 1};
  memset(out->h, 0, sizeof out->h);
  for (int k = 0; k < 4; k++) {
    out->h[HROW[k]][HCOL[k]] = heights[g[k]];
    out->h[UROW[k]][UCOL[k]] = heights[81 + g[k]];
    out->h[VROW[k]][VCOL[k]] = heights[162 + g[k]];
  }
}

// The quadrant of corners c holding corner k.
void Quarter(ZEVEC4* c, int k) {
  ZEVEC4 q[4][4];
  ZeFPatchSplitCorners(c, q[0], q[1], q[2], q[3]);
  memcpy(c, q[k], sizeof q[k]);
}

// Child of a split holding the cell's bits at one level: (y, x) = (0, 0)
// child 0, (0, 1) child 2, (1, 0) child 1, (1, 1) child 3.
int CellChild(int cell, int level) {
  int shift = 2 - level;
  return ((cell >> (3 + shift)) & 1) + 2 * ((cell >> shift) & 1);
}

// The corner of the followed square nearest (s, t): ties go to the high side.
int Nearest(const ZEFPATCH* p, float s, float t) {
  float ua = p->attr[0].x, va = p->attr[0].y, ub = p->attr[1].x, vb = p->attr[2].y;
  return (s - ua < ub - s ? 0 : 1) + (t - va < vb - t ? 0 : 2);
}

}  // namespace

const ZEVEC4* ZeFPatchGetNoise() {
  MakeNoise();
  return noise;
}

void ZeFPatchSplitCorners(const ZEVEC4* q, ZEVEC4* c0, ZEVEC4* c1, ZEVEC4* c2, ZEVEC4* c3) {
  const ZEVEC4 m01 = Mid(q[0], q[1]), m02 = Mid(q[0], q[2]), m13 = Mid(q[1], q[3]), m23 = Mid(q[2], q[3]);
  const ZEVEC4 c = Mid(m01, m23), q0 = q[0], q1 = q[1], q2 = q[2], q3 = q[3];
  c0[0] = q0, c0[1] = m01, c0[2] = m02, c0[3] = c;
  c1[0] = m02, c1[1] = c, c1[2] = q2, c1[3] = m23;
  c2[0] = m01, c2[1] = q1, c2[2] = c, c2[3] = m13;
  c3[0] = c, c3[1] = m13, c3[2] = m23, c3[3] = q3;
}

void ZeFPatchSplit(const ZEFPATCH* patch, ZEFPATCH* out, float scale) {
  MakeNoise();
  ZEFPATCH in = *patch;  // out may overlap the patch
  float l[4][4], r[4][4];
  Mul(l, in.h, LU);
  Mul(r, in.h, RU);
  for (int k = 0; k < 4; k++) {
    out[k].tex[0] = in.tex[0];
    out[k].tex[1] = in.tex[1];
    out[k].mtl[0] = in.mtl[0];
    out[k].mtl[1] = in.mtl[1];
  }
  Mul(out[0].h, LV, l);
  Mul(out[1].h, RV, l);
  Mul(out[2].h, LV, r);
  Mul(out[3].h, RV, r);
  ZeFPatchSplitCorners(in.base, out[0].base, out[1].base, out[2].base, out[3].base);
  ZeFPatchSplitCorners(in.disp, out[0].disp, out[1].disp, out[2].disp, out[3].disp);
  ZeFPatchSplitCorners(in.attr, out[0].attr, out[1].attr, out[2].attr, out[3].attr);
  // The nine vertices of the new grid, each with the children (and corners)
  // that share it: every copy gets the same displacement.
  static constexpr int SHARE[9][4][2] = {
      {{0, 0}, {-1, 0}, {-1, 0}, {-1, 0}},  // q0
      {{2, 1}, {-1, 0}, {-1, 0}, {-1, 0}},  // q1
      {{1, 2}, {-1, 0}, {-1, 0}, {-1, 0}},  // q2
      {{3, 3}, {-1, 0}, {-1, 0}, {-1, 0}},  // q3
      {{0, 1}, {2, 0}, {-1, 0}, {-1, 0}},   // m01
      {{0, 2}, {1, 0}, {-1, 0}, {-1, 0}},   // m02
      {{2, 3}, {3, 1}, {-1, 0}, {-1, 0}},   // m13
      {{1, 3}, {3, 2}, {-1, 0}, {-1, 0}},   // m23
      {{0, 3}, {1, 1}, {2, 2}, {3, 0}},     // centre
  };
  for (const auto& v : SHARE) {
    const float amount = scale * noise[NoiseIndex(out[v[0][0]].attr[v[0][1]].w)].z;
    for (const auto& c : v) {
      if (c[0] < 0) break;
      out[c[0]].h[HROW[c[1]]][HCOL[c[1]]] += amount;
    }
  }
}

void ZeFPatchTesselateGrid(int levels, const ZEFPATCH* patch, ZEFPATCH** out, float positionScale,
                           float displacement, float factor) {
  Levels(levels, "ZeFPatchTesselateGrid");
  if (levels != 1) {
    const float d = displacement * factor;
    ZEFPATCH child[4];
    ZeFPatchSplit(patch, child, d);
    for (const ZEFPATCH& c : child) ZeFPatchTesselateGrid(levels - 1, &c, out, positionScale, d, 0.5f);
    return;
  }
  ZEFPATCH p = *patch;
  for (int k = 0; k < 4; k++) {
    ZeVec4Scale(&p.base[k], &p.base[k], positionScale);
    ZeVec4Scale(&p.disp[k], &p.disp[k], positionScale);
  }
  **out = p;
  (*out)++;
}

void ZeFPatchTesselateSphere(int levels, const ZEFPATCH* patch, ZEFPATCH** out, float radius) {
  ZeFPatchSphereRecurse(levels, patch, out, radius, 1.0f);
}

void ZeFPatchSphereRecurse(int levels, const ZEFPATCH* patch, ZEFPATCH** out, float radius, float heightScale) {
  Levels(levels, "ZeFPatchSphereRecurse");
  if (levels != 1) {
    ZEFPATCH child[4];
    ZeFPatchSplit(patch, child, 0.0f);
    for (const ZEFPATCH& c : child) ZeFPatchSphereRecurse(levels - 1, &c, out, radius, heightScale * 0.5f);
    return;
  }
  ZEFPATCH p = *patch;
  for (int k = 0; k < 4; k++) {
    ZEVEC v = {p.base[k].x, p.base[k].y, p.base[k].z};
    ZeVecNorm(&v, &v);
    p.base[k].x = v.x * radius, p.base[k].y = v.y * radius, p.base[k].z = v.z * radius;
    v = {p.disp[k].x, p.disp[k].y, p.disp[k].z};
    ZeVecNorm(&v, &v);
    const float r = radius * heightScale;
    p.disp[k].x = v.x * r, p.disp[k].y = v.y * r, p.disp[k].z = v.z * r;
    p.attr[k].x = float(k & 1);
    p.attr[k].y = float(k >> 1);
  }
  **out = p;
  (*out)++;
}

ZEFPATCH* ZeFPatchGenerateWorld(int levels, int* count, int radius) {
  Levels(levels, "ZeFPatchGenerateWorld");
  constexpr float K = 0.57735026f;
  static constexpr float FACE[6][4][3] = {
      {{-K, -K, K}, {K, -K, K}, {-K, K, K}, {K, K, K}},     {{-K, -K, -K}, {K, -K, -K}, {-K, K, -K}, {K, K, -K}},
      {{K, -K, -K}, {K, K, -K}, {K, -K, K}, {K, K, K}},     {{-K, -K, -K}, {-K, K, -K}, {-K, -K, K}, {-K, K, K}},
      {{-K, K, -K}, {K, K, -K}, {-K, K, K}, {K, K, K}},     {{-K, -K, -K}, {K, -K, -K}, {-K, -K, K}, {K, -K, K}},
  };
  // One seed per cube corner, by the signs of x, y and z.
  auto seed = [](const float* c) {
    static constexpr uint32_t SEED[8] = {0x3f1eb024, 0x3f3845e2, 0x3ef9ae25, 0x3f0e3afe,   // z < 0
                                         0x3d597dca, 0x3e4b8a45, 0x3e56e997, 0x3ead88f4};  // z > 0
    uint32_t bits = SEED[(c[0] > 0) + 2 * (c[1] > 0) + 4 * (c[2] > 0)];
    float f;
    memcpy(&f, &bits, 4);
    return f;
  };
  int n = 1;
  for (int l = 1; l < levels; l++) n *= 4;
  *count = 6 * n;
  auto* all = static_cast<ZEFPATCH*>(ZeMemAllocTagged(6 * n * int(sizeof(ZEFPATCH))));
  ZEFPATCH* out = all;
  for (const auto& face : FACE) {
    ZEFPATCH p;
    memset(&p, 0, sizeof p);
    for (int k = 0; k < 4; k++) {
      const float* c = face[k];
      p.base[k] = {c[0], c[1], c[2], 1};
      p.disp[k] = {c[0], c[1], c[2], 0};
      p.attr[k] = {float(k & 1), float(k >> 1), 1.0f, seed(c)};
    }
    ZeFPatchSphereRecurse(levels, &p, &out, float(radius), 1.0f);
  }
  return all;
}

void ZeFPatchHeightFieldCentre(int a, int b, int c, int d, int centre) {
  ZEFPATCHHF* e = hfbuffer;
  e[centre].base = Mid(Mid(e[a].base, e[b].base), Mid(e[c].base, e[d].base));
  e[centre].disp = Mid(Mid(e[a].disp, e[b].disp), Mid(e[c].disp, e[d].disp));
  e[centre].attr = Mid(Mid(e[a].attr, e[b].attr), Mid(e[c].attr, e[d].attr));
}

void ZeFPatchMakeHeightFieldBuffer(const ZEFPATCH* patch, ZEFPATCHHF* buffer) {
  hfbuffer = buffer;
  bool known[81] = {};
  static constexpr int CORNER[4] = {0, 8, 72, 80};
  for (int k = 0; k < 4; k++) {
    buffer[CORNER[k]] = {patch->base[k], patch->disp[k], patch->attr[k]};
    known[CORNER[k]] = true;
  }
  auto edge = [&](int a, int b, int m) {
    if (known[m]) return;
    buffer[m] = {Mid(buffer[a].base, buffer[b].base), Mid(buffer[a].disp, buffer[b].disp),
                 Mid(buffer[a].attr, buffer[b].attr)};
    known[m] = true;
  };
  for (int side = 8; side >= 2; side /= 2) {
    const int h = side / 2;
    for (int y = 0; y < 8; y += side)
      for (int x = 0; x < 8; x += side) {
        const int a = y * 9 + x, b = a + side, c = a + side * 9, d = c + side;
        edge(a, b, a + h);
        edge(a, c, a + h * 9);
        edge(b, d, b + h * 9);
        edge(c, d, c + h);
        ZeFPatchHeightFieldCentre(a, b, c, d, a + h * 9 + h);
        known[a + h * 9 + h] = true;
      }
  }
}

void ZeFPatchHeightFieldIndexSlow(const ZEFPATCH* patch, const float* heights, int cell, ZEFPATCH* out) {
  ZEFPATCH p = *patch;
  for (int level = 0; level < 3; level++) {
    ZEFPATCH child[4];
    ZeFPatchSplit(&p, child, 1.0f);
    p = child[CellChild(cell, level)];
  }
  p.tex[0] = patch->tex[0], p.tex[1] = patch->tex[1], p.mtl[0] = patch->mtl[0], p.mtl[1] = patch->mtl[1];
  CellHeights(heights, cell, &p);
  *out = p;
}

void ZeFPatchHeightFieldIndex(const ZEFPATCH* patch, const float* heights, int cell, ZEFPATCH* out) {
  ZEFPATCH p = *patch;
  for (int level = 0; level < 3; level++) {
    const int k = CellChild(cell, level);
    Quarter(p.base, k);
    Quarter(p.disp, k);
    Quarter(p.attr, k);  // the seeds follow as scalars; u, v and the third value are restored below
  }
  for (int k = 0; k < 4; k++) {
    const float s = p.attr[k].w;
    p.attr[k] = patch->attr[k];
    p.attr[k].w = s;
  }
  CellHeights(heights, cell, &p);
  *out = p;
}

void ZeFPatchHeightFieldIndexFast(const ZEFPATCH* patch, const float* heights, int cell, ZEFPATCH* out) {
  // Nothing to read before a buffer is made.
  if (!hfbuffer) ZeError("ZeFPatchHeightFieldIndexFast: no height-field buffer");
  const int g = ((cell >> 3) & 7) * 9 + (cell & 7);
  const int e[4] = {g, g + 1, g + 9, g + 10};
  ZEFPATCH p = *patch;
  for (int k = 0; k < 4; k++) {
    p.base[k] = hfbuffer[e[k]].base;
    p.disp[k] = hfbuffer[e[k]].disp;
    p.attr[k].w = hfbuffer[e[k]].attr.w;
  }
  CellHeights(heights, cell, &p);
  *out = p;
}

void getPoint(ZEVEC* out, const ZEFPATCH* patch, float s, float t, float h) {
  ZEVEC b, d;
  Bilinear(&b, patch->base, s, t);
  Bilinear(&d, patch->disp, s, t);
  ZeVecScaleAccum(&b, &d, h);
  *out = b;
}

float ZeFPatchCollide(const ZEFPATCH* patch, int levels, float* uslope, float* vslope, int slopeLevel, float s,
                      float t, float scale) {
  const float k = float(1 << (levels > 0 ? (levels < 30 ? levels : 30) : 0));
  ZEFPATCH p = *patch;
  for (int c = 0; c < 4; c++) {
    p.attr[c].x = float(c & 1);
    p.attr[c].y = float(c >> 1);
  }
  for (int i = 0; i < levels; i++) {
    scale *= 0.47f;
    ZEFPATCH child[4];
    ZeFPatchSplit(&p, child, scale);
    const float uc = child[0].attr[3].x, vc = child[0].attr[3].y;
    p = child[2 * (uc < s) + (vc < t)];
    if (i == slopeLevel) {
      const int n = Nearest(&p, s, t);
      *uslope = p.h[UROW[n]][UCOL[n]] * k;
      *vslope = p.h[VROW[n]][VCOL[n]] * k;
    }
  }
  const int n = Nearest(&p, s, t);
  return p.h[HROW[n]][HCOL[n]];
}

void ZeFPatchShadowCastGetUVs(const ZEFPATCH* patch, const ZEVEC* point, float* s, float* t, ZEVEC* tu, ZEVEC* tv) {
  float ss = 0.5f, tt = 0.5f, h = 0.0f;
  ZEVEC u{}, v{};
  for (int it = 0; it < 5; it++) {
    ZEVEC4 q[4];
    for (int k = 0; k < 4; k++) {
      q[k] = patch->base[k];
      ZeVec4ScaleAccum(&q[k], &patch->disp[k], h);
    }
    for (int a = 0; a < 3; a++) {
      const float* q0 = &q[0].x;
      const float* q1 = &q[1].x;
      const float* q2 = &q[2].x;
      const float* q3 = &q[3].x;
      (&u.x)[a] = (q1[a] - q0[a]) * (1 - tt) + (q3[a] - q2[a]) * tt;
      (&v.x)[a] = (q2[a] - q0[a]) * (1 - ss) + (q3[a] - q1[a]) * ss;
    }
    ZEVEC th, qp, d;
    Bilinear(&th, patch->disp, ss, tt);
    Bilinear(&qp, q, ss, tt);
    ZEMTX m = {{{u.x, u.y, u.z, 0}, {v.x, v.y, v.z, 0}, {th.x, th.y, th.z, 0}, {0, 0, 0, 1}}}, inv;
    ZeMtxInvRSS(&inv, &m);
    ZeVecSub(&d, point, &qp);
    ZeVecMtxRotate(&d, &d, &inv);
    ss += d.x;
    tt += d.y;
    h += d.z;
  }
  *s = ss;
  *t = tt;
  *tu = u;
  *tv = v;
}

void ZeFPatchShadowCastUV(const ZEFPATCH* patch, const ZEVEC* tu, const ZEVEC* tv, ZEVEC* out, ZEVEC* normal,
                          float* height, int levels, int slopeLevel, float s, float t, float scale, float slopeScale) {
  float su = 0.0f, sv = 0.0f;  // flat when the slopes are not taken
  const float h = ZeFPatchCollide(patch, levels, &su, &sv, slopeLevel, s, t, scale);
  *height = h;
  ZEVEC n = {-su * slopeScale, -sv * slopeScale, 1}, d, nn;
  ZeVecNorm(&n, &n);
  Bilinear(&d, patch->disp, s, t);
  ZeVecScale(&nn, tu, n.x);
  ZeVecScaleAccum(&nn, tv, n.y);
  ZeVecScaleAccum(&nn, &d, n.z);
  ZeVecNorm(normal, &nn);
  getPoint(out, patch, s, t, h);
}

void ZeFPatchShadowCast(const ZEFPATCH* patch, const ZEVEC* point, ZEVEC* out, float* height, int levels,
                        ZEVEC* normal, int slopeLevel, float scale, float slopeScale) {
  float s, t;
  ZEVEC tu, tv;
  ZeFPatchShadowCastGetUVs(patch, point, &s, &t, &tu, &tv);
  ZeFPatchShadowCastUV(patch, &tu, &tv, out, normal, height, levels, slopeLevel, s, t, scale, slopeScale);
}

void ZeFPatchLightTexture(ZETEX* image, int size, const ZEVEC* light, float range, float scale, float ambient) {
  // The slope steps divide by size - 1.
  if (size < 2) ZeError("ZeFPatchLightTexture: size %d", size);
  image->type = ZETEX_RGBA32;
  image->width = size;
  image->height = size;
  image->mipcount = 0;
  image->palette = nullptr;
  auto* texels = static_cast<uint8_t*>(ZeMemAllocTagged(size * size * 4));
  image->texels = texels;
  for (int i = 0; i < size; i++)
    for (int j = 0; j < size; j++) {
      ZEVEC n = {range - 2 * range * float(j) / float(size - 1), range - 2 * range * float(i) / float(size - 1), 1};
      ZeVecNorm(&n, &n);
      float d = ZeVecDot(&n, light);
      float v = (d > 0 ? d : 0) * scale + ambient;
      v = v < 0 ? 0 : v > 255 ? 255 : v;
      memset(texels + (i * size + j) * 4, EeFtoi(v), 4);
    }
}

float ZeFPatchLightPoint(const ZEVEC* light, float scale, float ambient, float uslope, float vslope) {
  ZEVEC n = {-uslope, -vslope, 1};
  ZeVecNorm(&n, &n);
  float d = ZeVecDot(&n, light);
  float v = (d > 0 ? d : 0) * scale + ambient;
  return v < 0 ? 0 : v > 255 ? 255 : v;
}

void ZeFPatchUpdateLight() {}
