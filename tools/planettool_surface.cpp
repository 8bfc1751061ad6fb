// The planet surface generator: one height function of the direction gives
// every plate's fractal patch and height table (neighbours share their edge
// values bit for bit), the plate geometry table, trees, and colour images of
// plates and tiles made native through the engine's textures and quantiser.
#include "planettool.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "zetex_local.h"

namespace {

constexpr int G = ZEFPATCH_GRID;
constexpr int LEVEL = 4;  // plate depth of the surface files
// Image byte counts and file strides of classes 0, 3, 4 and 5.
constexpr int IMAGE_BYTES[3] = {2560, 4480, 16768};

struct Ctx {
  const SystemPlanetDesc* planet;
  const CubeModel* cube;
};

uint32_t Hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352du;
  x ^= x >> 15;
  x *= 0x846ca68bu;
  x ^= x >> 16;
  return x;
}

// The terrain fraction (0-1) of a unit direction.
float Terrain(const ZEVEC& d) {
  float t = 0.5f + 0.22f * std::sin(3.1f * d.x + 1.3f * d.y) * std::sin(2.7f * d.z + 0.5f) +
            0.14f * std::sin(7.3f * d.x + 5.1f * d.z + 1.0f) + 0.08f * std::sin(17.0f * d.y - 13.0f * d.x) +
            0.04f * std::sin(41.0f * d.z + 37.0f * d.y);
  return t < 0.0f ? 0.0f : t > 1.0f ? 1.0f : t;
}

float Radius(const Ctx& c, const ZEVEC& p) {
  ZEVEC d;
  ZeVecNorm(&d, &p);
  return c.planet->radius + c.planet->height * Terrain(d);
}

// h with |Q + h D| on the terrain.
float Solve(const Ctx& c, const ZEVEC& q, const ZEVEC& dv) {
  float h = 0.0f;
  for (int it = 0; it < 3; it++) {
    ZEVEC p = q;
    ZeVecScaleAccum(&p, &dv, h);
    float r = Radius(c, p);
    float a = ZeVecDot(&dv, &dv), b = ZeVecDot(&q, &dv), k = ZeVecDot(&q, &q) - r * r;
    h = (-b + std::sqrt(b * b - a * k)) / a;
  }
  return h;
}

ZEVEC Point(const Ctx& c, int id) {
  ZEVEC p;
  ZeVecScale(&p, &c.cube->points[id], c.planet->radius);
  return p;
}

// Heights along the edge from point a to point b at step k of 8 (k may
// reach one step past either end), always evaluated from the lower id.
float EdgeH(const Ctx& c, int a, int b, int k) {
  if (a > b) return EdgeH(c, b, a, 8 - k);
  if (k == 0) return Solve(c, Point(c, a), c.cube->points[a]);
  const float t = float(k) / 8.0f;
  ZEVEC pa = Point(c, a), pb = Point(c, b), q, dv, e;
  ZeVecSub(&e, &pb, &pa);
  q = pa;
  ZeVecScaleAccum(&q, &e, t);
  ZeVecSub(&e, &c.cube->points[b], &c.cube->points[a]);
  dv = c.cube->points[a];
  ZeVecScaleAccum(&dv, &e, t);
  return Solve(c, q, dv);
}

// Slope along the edge a to b, per step, at step k.
float EdgeSlope(const Ctx& c, int a, int b, int k) {
  if (a > b) return -EdgeSlope(c, b, a, 8 - k);
  return (EdgeH(c, a, b, k + 1) - EdgeH(c, a, b, k - 1)) * 0.5f;
}

struct Plate {
  int pc[4];      // point ids of patch corners (0, 0), (1, 0), (0, 1), (1, 1)
  ZEVEC B[4], D[4];  // planet space
  int face;
  int gu[4], gv[4];  // the corners on the face's seed grid
};

// Grid steps along a cube face at the plates' depth.
constexpr int STEPS = 1 << LEVEL;

// A point's place on its face's grid: its (u, v) pair in whole steps.
void GridOf(const CubeModel& cube, int uv, int* gu, int* gv) {
  *gu = int(cube.pairs[size_t(2 * uv)] * float(STEPS));
  *gv = int(cube.pairs[size_t(2 * uv + 1)] * float(STEPS));
}

Plate PlateOf(const Ctx& c, int id) {
  const CubeModelPlate& p = c.cube->levels[LEVEL][size_t(id)];
  Plate out;
  out.face = id / int(c.cube->levels[LEVEL].size() / 6);
  const int order[4] = {0, 1, 3, 2};
  for (int k = 0; k < 4; k++) {
    out.pc[k] = p.point[order[k]];
    out.B[k] = Point(c, out.pc[k]);
    out.D[k] = c.cube->points[size_t(out.pc[k])];
    GridOf(*c.cube, p.uv[order[k]], &out.gu[k], &out.gv[k]);
  }
  return out;
}

// ---- seeds ----
// The eight cube corners carry the seeds the engine's sphere generator
// gives them (read from its faces); every other grid point of a face takes
// the midpoint
// m(a, b) = a * 0.5 + b * 0.5 of its square's corners as the patch split
// makes it (a square's centre is m(m(low v pair), m(high v pair))), so the
// plates' seeds are those that splitting a face down to the plates' depth
// gives. A face's edges come from the edge's two ends alone, once, so the
// faces that meet on an edge hold the same bits.

float Mid(float a, float b) { return a * 0.5f + b * 0.5f; }

int Octant(float x, float y, float z) { return (x > 0) + 2 * (y > 0) + 4 * (z > 0); }

float CornerSeed(const ZEVEC& p) {
  static const std::array<float, 8> seeds = [] {
    std::array<float, 8> s{};
    int count = 0;
    ZEFPATCH* faces = ZeFPatchGenerateWorld(1, &count, 1);
    for (int i = 0; i < count; i++)
      for (int k = 0; k < 4; k++) {
        const ZEVEC4& c = faces[i].base[k];
        s[size_t(Octant(c.x, c.y, c.z))] = faces[i].attr[k].w;
      }
    ZeMemFreeTagged(faces);
    return s;
  }();
  return seeds[size_t(Octant(p.x, p.y, p.z))];
}

using SeedLine = std::array<float, STEPS + 1>;

// The seeds along the cube edge between corner points a and b, from a.
SeedLine EdgeSeeds(const CubeModel& cube, int a, int b) {
  if (a > b) {
    SeedLine r = EdgeSeeds(cube, b, a);
    std::reverse(r.begin(), r.end());
    return r;
  }
  SeedLine s{};
  s[0] = CornerSeed(cube.points[size_t(a)]);
  s[STEPS] = CornerSeed(cube.points[size_t(b)]);
  for (int side = STEPS; side > 1; side /= 2)
    for (int i = 0; i < STEPS; i += side) s[size_t(i + side / 2)] = Mid(s[size_t(i)], s[size_t(i + side)]);
  return s;
}

// The seeds of one face's grid, [v][u].
using SeedGrid = std::array<SeedLine, STEPS + 1>;

SeedGrid FaceSeeds(const CubeModel& cube, int face) {
  const CubeModelPlate& f = cube.levels[0][size_t(face)];
  int corner[2][2];  // point ids by [v][u]
  for (int k = 0; k < 4; k++) {
    int u, v;
    GridOf(cube, f.uv[k], &u, &v);
    corner[v / STEPS][u / STEPS] = f.point[k];
  }
  SeedGrid g{};
  const SeedLine low = EdgeSeeds(cube, corner[0][0], corner[0][1]), high = EdgeSeeds(cube, corner[1][0], corner[1][1]);
  const SeedLine left = EdgeSeeds(cube, corner[0][0], corner[1][0]), right = EdgeSeeds(cube, corner[0][1], corner[1][1]);
  for (int i = 0; i <= STEPS; i++) {
    g[0][size_t(i)] = low[size_t(i)];
    g[STEPS][size_t(i)] = high[size_t(i)];
    g[size_t(i)][0] = left[size_t(i)];
    g[size_t(i)][STEPS] = right[size_t(i)];
  }
  // Squares of side 16, 8, 4, 2 in rows, then columns: edge points inside
  // the face, then the centre.
  auto inside = [](int u, int v) { return u > 0 && u < STEPS && v > 0 && v < STEPS; };
  for (int side = STEPS; side > 1; side /= 2) {
    const int h = side / 2;
    for (int v = 0; v < STEPS; v += side)
      for (int u = 0; u < STEPS; u += side) {
        auto at = [&](int du, int dv) -> float& { return g[size_t(v + dv)][size_t(u + du)]; };
        if (inside(u + h, v)) at(h, 0) = Mid(at(0, 0), at(side, 0));
        if (inside(u + h, v + side)) at(h, side) = Mid(at(0, side), at(side, side));
        if (inside(u, v + h)) at(0, h) = Mid(at(0, 0), at(0, side));
        if (inside(u + side, v + h)) at(side, h) = Mid(at(side, 0), at(side, side));
        at(h, h) = Mid(Mid(at(0, 0), at(side, 0)), Mid(at(0, side), at(side, side)));
      }
  }
  return g;
}

ZEVEC Bilinear(const ZEVEC v[4], float u, float w) {
  ZEVEC r{0, 0, 0};
  ZeVecScaleAccum(&r, &v[0], (1 - u) * (1 - w));
  ZeVecScaleAccum(&r, &v[1], u * (1 - w));
  ZeVecScaleAccum(&r, &v[2], (1 - u) * w);
  ZeVecScaleAccum(&r, &v[3], u * w);
  return r;
}

float Inner(const Ctx& c, const Plate& p, int i, int j) {
  const float u = float(i) / 8.0f, v = float(j) / 8.0f;
  return Solve(c, Bilinear(p.B, u, v), Bilinear(p.D, u, v));
}

// Grid height at (i, j), 0-8 (edges and corners shared with the neighbours).
float GridH(const Ctx& c, const Plate& p, int i, int j) {
  if (j == 0 && i >= 0 && i <= 8) return EdgeH(c, p.pc[0], p.pc[1], i);
  if (j == 8 && i >= 0 && i <= 8) return EdgeH(c, p.pc[2], p.pc[3], i);
  if (i == 0 && j >= 0 && j <= 8) return EdgeH(c, p.pc[0], p.pc[2], j);
  if (i == 8 && j >= 0 && j <= 8) return EdgeH(c, p.pc[1], p.pc[3], j);
  return Inner(c, p, i, j);
}

float SlopeU(const Ctx& c, const Plate& p, int i, int j) {
  if (j == 0) return EdgeSlope(c, p.pc[0], p.pc[1], i);
  if (j == 8) return EdgeSlope(c, p.pc[2], p.pc[3], i);
  return (GridH(c, p, i + 1, j) - GridH(c, p, i - 1, j)) * 0.5f;
}

float SlopeV(const Ctx& c, const Plate& p, int i, int j) {
  if (i == 0) return EdgeSlope(c, p.pc[0], p.pc[2], j);
  if (i == 8) return EdgeSlope(c, p.pc[1], p.pc[3], j);
  return (GridH(c, p, i, j + 1) - GridH(c, p, i, j - 1)) * 0.5f;
}

uint32_t Colour(const Ctx& c, const ZEVEC& dir) {
  float t = Terrain(dir), sea = c.planet->seafraction;
  float n = float(Hash(uint32_t(int(dir.x * 40000.0f)) * 73856093u ^ uint32_t(int(dir.z * 40000.0f)) * 19349663u) & 15) / 15.0f;
  int r, g, b;
  if (t < sea) {
    r = 20;
    g = int(60 + 80 * t / (sea > 0 ? sea : 1));
    b = 150 + int(40 * n);
  } else if (t < 0.7f) {
    r = int(50 + 60 * t + 20 * n);
    g = int(120 + 50 * t);
    b = 40;
  } else if (t < 0.85f) {
    r = 120 + int(20 * n);
    g = 100;
    b = 70;
  } else {
    r = g = b = 230 + int(20 * n);
  }
  return uint32_t(r > 255 ? 255 : r) | uint32_t(g > 255 ? 255 : g) << 8 | uint32_t(b > 255 ? 255 : b) << 16 |
         0xffu << 24;
}

// A copy in EE memory, where the engine's images must live (ZeMemFree after).
uint8_t* EeCopy(const void* data, size_t n) {
  auto* p = static_cast<uint8_t*>(ZeMemAlloc(int(n)));
  memcpy(p, data, n);
  return p;
}

// The native data of one 8-bit level (palette block when asked), padded.
std::vector<uint8_t> Native(const SurfacePicture& pic, bool palette, int bytes) {
  uint8_t* texels = EeCopy(pic.index.data(), pic.index.size());
  uint8_t* pal = EeCopy(pic.palette, sizeof pic.palette);
  ZETEX img{ZETEX_PAL8, pic.width, pic.width, 1, texels, pal};
  ZETEXID id = ZeTexCreate(&img);
  const size_t size = size_t(bytes) + 4096;
  uint8_t* out = static_cast<uint8_t*>(ZeMemAlloc(int(size)));
  memset(out, 0, size);
  const int n = ZeTexRecoverNativeDataEx(id, out, int(size), 1, palette ? 1 : 0, 1);
  ZeTexDestroy(id);
  std::vector<uint8_t> buf(out, out + size);
  ZeMemFree(out);
  ZeMemFree(texels);
  ZeMemFree(pal);
  if (n > bytes) ZeError("planettool: a %d-texel image takes %d of %d bytes", pic.width, n, bytes);
  buf.resize(size_t(bytes));
  return buf;
}

void Put(std::vector<uint8_t>& out, size_t at, const void* data, size_t n) {
  if (out.size() < at + n) out.resize(at + n);
  memcpy(&out[at], data, n);
}

}  // namespace

ZEMTX SurfacePlateFrame(const CubeModel& cube, int plate, int level, float radius) {
  const CubeModelPlate& p = cube.levels[size_t(level)][size_t(plate)];
  ZEMTX m;
  FrCubeFrameMatrix(&cube.points[size_t(p.point[0])], &cube.points[size_t(p.point[1])],
                    &cube.points[size_t(p.point[2])], radius, &m);
  return m;
}

void SurfacePatch(const SystemPlanetDesc& planet, const CubeModel& cube, int id, ZEFPATCH* out,
                  float heights[ZEFPATCH_HEIGHTS]) {
  Ctx c{&planet, &cube};
  Plate p = PlateOf(c, id);
  ZEMTX m = SurfacePlateFrame(cube, id, LEVEL, planet.radius);
  memset(out, 0, sizeof *out);
  static constexpr float UV[4][2] = {{1 / 32.0f, 1 / 32.0f}, {31 / 32.0f, 1 / 32.0f}, {1 / 32.0f, 31 / 32.0f},
                                     {31 / 32.0f, 31 / 32.0f}};
  const SeedGrid seeds = FaceSeeds(cube, p.face);
  for (int k = 0; k < 4; k++) {
    ZEVEC b, d;
    ZeVecInvMtxTransform(&b, &p.B[k], &m);
    ZeVecInvMtxRotate(&d, &p.D[k], &m);
    out->base[k] = {b.x, b.y, b.z, 1.0f};
    out->disp[k] = {d.x, d.y, d.z, 0.0f};
    out->attr[k] = {UV[k][0], UV[k][1], 0.0f, seeds[size_t(p.gv[k])][size_t(p.gu[k])]};
  }
  for (int j = 0; j < G; j++)
    for (int i = 0; i < G; i++) {
      heights[j * G + i] = GridH(c, p, i, j);
      heights[81 + j * G + i] = SlopeU(c, p, i, j);
      heights[162 + j * G + i] = SlopeV(c, p, i, j);
    }
  // Corner values and tangents per unit of patch; twists 0.
  auto at = [&](int plane, int i, int j) { return heights[plane * 81 + j * G + i]; };
  out->h[0][1] = at(0, 0, 0);
  out->h[0][3] = at(0, 8, 0);
  out->h[3][1] = at(0, 0, 8);
  out->h[3][3] = at(0, 8, 8);
  out->h[0][0] = 8 * at(1, 0, 0);
  out->h[0][2] = 8 * at(1, 8, 0);
  out->h[3][0] = 8 * at(1, 0, 8);
  out->h[3][2] = 8 * at(1, 8, 8);
  out->h[1][1] = 8 * at(2, 0, 0);
  out->h[1][3] = 8 * at(2, 8, 0);
  out->h[2][1] = 8 * at(2, 0, 8);
  out->h[2][3] = 8 * at(2, 8, 8);
}

void SurfaceChain(const SystemPlanetDesc& planet, const CubeModel& cube, int id, int tile, SurfacePicture out[3]) {
  Ctx c{&planet, &cube};
  Plate p = PlateOf(c, id);
  // RGB24 levels 128, 64, 32 one after another, quantised together.
  std::vector<uint8_t> rgb;
  for (int l = 0; l < 3; l++) {
    const int w = 128 >> l;
    for (int y = 0; y < w; y++)
      for (int x = 0; x < w; x++) {
        // An image covers its area and 1/30 of its width past each edge.
        float s = ((float(x) + 0.5f) / float(w) - 1 / 32.0f) * (32.0f / 30.0f);
        float t = ((float(y) + 0.5f) / float(w) - 1 / 32.0f) * (32.0f / 30.0f);
        if (tile >= 0) {
          s = (float(tile % 8) + s) / 8.0f;
          t = (float(tile / 8) + t) / 8.0f;
        }
        ZEVEC q = Bilinear(p.B, s, t), d;
        ZeVecNorm(&d, &q);
        uint32_t col = Colour(c, d);
        rgb.push_back(uint8_t(col >> 16));
        rgb.push_back(uint8_t(col >> 8));
        rgb.push_back(uint8_t(col));
      }
  }
  uint8_t* ee = EeCopy(rgb.data(), rgb.size());
  ZETEX img{ZETEX_RGB24, 128, 128, 3, ee, nullptr};
  memset(zetex_quant_palette, 0, sizeof zetex_quant_palette);  // entries past the colours are stale
  QuantizeTexture(&img);
  ZeMemFree(ee);
  if (!zetex_quant_colours) ZeError("planettool: the quantiser gave up on plate %d", id);
  size_t at = 0;
  for (int l = 0; l < 3; l++) {
    const int w = 128 >> l;
    out[l].width = w;
    out[l].index.assign(zetex_quant_index + at, zetex_quant_index + at + size_t(w * w));
    memcpy(out[l].palette, zetex_quant_palette, sizeof out[l].palette);
    at += size_t(w * w);
  }
}

SurfaceFiles SurfaceBuild(const SystemPlanetDesc& planet, const CubeModel& cube, const std::vector<int>& own,
                          const std::vector<int>& tiled) {
  Ctx c{&planet, &cube};
  SurfaceFiles f;
  const int n = int(cube.levels[LEVEL].size());
  // patches.gb3 and the geometry table derived from it.
  f.patches.assign(size_t(n) * FRPLATE_PATCHRECORD, 0);
  f.heights.assign(size_t(n) * FRPLATE_RECORD, 0);
  std::vector<ZEFPATCH> patch(static_cast<size_t>(n));
  std::vector<std::array<float, ZEFPATCH_HEIGHTS>> table(static_cast<size_t>(n));
  for (int i = 0; i < n; i++) {
    SurfacePatch(planet, cube, i, &patch[size_t(i)], table[size_t(i)].data());
    uint8_t* r = &f.patches[size_t(i) * FRPLATE_PATCHRECORD];
    memcpy(r, &patch[size_t(i)], sizeof(ZEFPATCH));
    memcpy(r + sizeof(ZEFPATCH), table[size_t(i)].data(), ZEFPATCH_HEIGHTS * 4);
    uint8_t* o = &f.heights[size_t(i) * FRPLATE_RECORD];
    memcpy(o, r + 64, 64);
    for (int k = 0; k < 4; k++) memcpy(o + 16 * k + 12, r + 128 + 16 * k + 12, 4);
    memcpy(o + 64, r + 192, 64);
    memcpy(o + 128, r + 272, 324);
  }
  // Records: tiled plates first, then the other own plates.
  for (int p : tiled) f.records.push_back(p);
  f.tiled = int(f.records.size());
  for (int p : own)
    if (std::find(f.records.begin(), f.records.end(), p) == f.records.end()) f.records.push_back(p);
  std::vector<uint16_t> ndx(FRSURF_NDXTAB, 0xffff);
  for (size_t r = 0; r < f.records.size(); r++)
    ndx[size_t(f.records[r])] = uint16_t(r | (int(r) < f.tiled ? 0 : FRSURF_NOTILES));
  ndx[FRSURF_DEFAULT] = uint16_t(0 | (f.tiled ? 0 : FRSURF_NOTILES));
  for (uint16_t e : ndx) {
    f.texndx.push_back(uint8_t(e));
    f.texndx.push_back(uint8_t(e >> 8));
  }
  // tex004: patch blocks.
  for (size_t r = 0; r < f.records.size(); r++) {
    const int id = f.records[r];
    std::vector<uint8_t> blk(FRSURF_PATCHBLOCK, 0);
    memcpy(&blk[0], &patch[size_t(id)], sizeof(ZEFPATCH));
    memcpy(&blk[FRSURF_HEIGHTS], table[size_t(id)].data(), ZEFPATCH_HEIGHTS * 4);
    // Trees above the sea on gentle slopes, 16-aligned per tile.
    ZEMTX m = SurfacePlateFrame(cube, id, LEVEL, planet.radius);
    Plate pl = PlateOf(c, id);
    uint32_t cursor = 0, rng = Hash(uint32_t(id) + 99u);
    for (int t = 0; t < FRPLATE_TILES; t++) {
      std::vector<float> pos;
      for (int k = 0; k < 20; k++) {
        rng = Hash(rng);
        float s = (float(t % 8) + float(rng & 1023) / 1024.0f) / 8.0f;
        float v = (float(t / 8) + float(rng >> 10 & 1023) / 1024.0f) / 8.0f;
        ZEVEC q = Bilinear(pl.B, s, v), dv = Bilinear(pl.D, s, v), d, d2, q2 = Bilinear(pl.B, s + 0.002f, v);
        ZeVecNorm(&d, &q);
        ZeVecNorm(&d2, &q2);
        float h = Terrain(d);
        if (h < planet.seafraction + 0.02f || std::fabs(Terrain(d2) - h) > 0.01f) continue;
        ZEVEC w = q, local;
        ZeVecScaleAccum(&w, &dv, Solve(c, q, dv));
        ZeVecInvMtxTransform(&local, &w, &m);
        pos.insert(pos.end(), {local.x, local.y, local.z});
      }
      const uint32_t bytes = uint32_t(pos.size()) * 4;
      const uint32_t off = uint32_t(FRSURF_POSITIONS - FRSURF_TREES) + cursor;
      int32_t count = int32_t(pos.size() / 3);
      memcpy(&blk[FRSURF_TREES + 8 * t], &off, 4);
      memcpy(&blk[FRSURF_TREES + 8 * t + 4], &count, 4);
      if (bytes) memcpy(&blk[FRSURF_POSITIONS + cursor], pos.data(), bytes);
      cursor += (bytes + 15) & ~15u;
    }
    SurfacePicture chain[3];
    SurfaceChain(planet, cube, id, -1, chain);
    static constexpr int AT[3] = {FRSURF_IMAGE2, FRSURF_IMAGE1, FRSURF_IMAGE0};
    for (int l = 0; l < 3; l++) {
      auto img = Native(chain[l], l == 2, IMAGE_BYTES[2 - l]);
      memcpy(&blk[size_t(AT[l])], img.data(), img.size());
    }
    Put(f.tex[0], r * FRSURF_PATCHBLOCK, blk.data(), blk.size());
  }
  // Tile files: tex032 one block, tex064 2 x 2 blocks, tex128 4 x 4 blocks a record.
  static constexpr int STRIDE[3] = {163840, 286720, 1081344}, BLOCK[3] = {163840, 71680, 67584}, TPBS[3] = {8, 4, 2};
  for (int r = 0; r < f.tiled; r++) {
    const int id = f.records[size_t(r)];
    for (int t = 0; t < FRPLATE_TILES; t++) {
      SurfacePicture chain[3];
      SurfaceChain(planet, cube, id, t, chain);
      const int row = t / 8, col = t % 8;
      for (int l = 0; l < 3; l++) {
        const int k = 2 - l;  // file 0: tex032 (32 texels) ... file 2: tex128
        const int bps = 8 / TPBS[k], tp = TPBS[k];
        const int block = (row / tp) * bps + col / tp;
        const int within = (row % tp) * tp + col % tp;
        auto img = Native(chain[l], k == 0, IMAGE_BYTES[k]);
        size_t at = size_t(r) * size_t(STRIDE[k]) + size_t(block) * size_t(BLOCK[k]) + size_t(within) * img.size();
        Put(f.tex[1 + k], at, img.data(), img.size());
      }
    }
    for (int k = 0; k < 3; k++) f.tex[1 + k].resize(size_t(r + 1) * size_t(STRIDE[k]), 0);
  }
  // noise.pnt: a 4-bit 64 x 64 detail image, grey levels.
  {
    std::vector<uint8_t> idx(64 * 32);
    uint32_t rng = 12345;
    for (auto& b : idx) {
      rng = Hash(rng);
      b = uint8_t(rng);
    }
    uint32_t pal[16];
    for (int i = 0; i < 16; i++) pal[i] = uint32_t(0x60 + 6 * i) * 0x010101u | 0x80000000u;
    uint8_t* texels = EeCopy(idx.data(), idx.size());
    uint8_t* palette = EeCopy(pal, sizeof pal);
    ZETEX img{ZETEX_PAL4, 64, 64, 1, texels, palette};
    ZETEXID tid = ZeTexCreate(&img);
    auto* buf = static_cast<uint8_t*>(ZeMemAlloc(8192));
    int nb = ZeTexRecoverNativeData(tid, buf, 8192);
    ZeTexDestroy(tid);
    f.noise.assign(buf, buf + nb);
    ZeMemFree(buf);
    ZeMemFree(texels);
    ZeMemFree(palette);
  }
  // Face images: each cube face's colours at 64 x 64.
  for (int face = 0; face < 6; face++) {
    // The face's level-0 plate has corners on the cube's corners.
    const CubeModelPlate& p0 = cube.levels[0][size_t(face)];
    ZEVEC B[4];
    const int order[4] = {0, 1, 3, 2};
    for (int k = 0; k < 4; k++) B[k] = cube.points[size_t(p0.point[order[k]])];
    std::vector<uint8_t> rgb;
    for (int y = 0; y < 64; y++)
      for (int x = 0; x < 64; x++) {
        ZEVEC q = Bilinear(B, (float(x) + 0.5f) / 64.0f, (float(y) + 0.5f) / 64.0f), d;
        ZeVecNorm(&d, &q);
        uint32_t col = Colour(c, d);
        rgb.insert(rgb.end(), {uint8_t(col >> 16), uint8_t(col >> 8), uint8_t(col)});
      }
    uint8_t* ee = EeCopy(rgb.data(), rgb.size());
    ZETEX img{ZETEX_RGB24, 64, 64, 1, ee, nullptr};
    memset(zetex_quant_palette, 0, sizeof zetex_quant_palette);  // entries past the colours are stale
  QuantizeTexture(&img);
    ZeMemFree(ee);
    SurfacePicture pic;
    pic.width = 64;
    pic.index.assign(zetex_quant_index, zetex_quant_index + 64 * 64);
    memcpy(pic.palette, zetex_quant_palette, sizeof pic.palette);
    f.face[face] = Native(pic, true, 16 + 16 + 1200 + 20 + 128 + 4096 + 256);
  }
  return f;
}

bool SurfaceWriteAll(const std::string& dir, const SurfaceFiles& f) {
  std::filesystem::create_directories(dir);
  bool ok = PlanetToolWrite(dir + "/HEIGHTS.GB3", f.heights) && PlanetToolWrite(dir + "/PATCHES.GB3", f.patches) &&
            PlanetToolWrite(dir + "/TEXNDX.GB3", f.texndx) && PlanetToolWrite(dir + "/NOISE.PNT", f.noise);
  static const char* TEX[4] = {"TEX004.GB3", "TEX032.GB3", "TEX064.GB3", "TEX128.GB3"};
  for (int k = 0; k < 4; k++) ok = ok && PlanetToolWrite(dir + "/" + TEX[k], f.tex[k]);
  for (int k = 0; k < 6; k++) ok = ok && PlanetToolWrite(dir + "/FACE" + std::to_string(k) + ".PNT", f.face[k]);
  return ok;
}
