// The shadow volumes of fx2 (+0x00 cylinders, +0x02 ellipsoids, +0x04 mesh
// polygons, +0x0e the polygons themselves for debugging) and of fx3 (the
// same shapes under the overhead light): each shape's outline is extruded
// into a closed prism and its faces are drawn as flat triangles that count
// in the frame's colour (front faces +1, back faces -1, wrapping) and set
// the alpha bits the frame mask leaves writable (docs/vu1.md, "fx2").
#include <cmath>

#include "vu1mtl.h"

// fx2's quad layout at +0x06 (vu1mesh.cpp).
void Vu1QuadBatch(int top);

namespace {

using vu1mtl::AsFloat;

struct V3 {
  float x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

// Inputs (relative to TOP).
constexpr int OUTLINE = 3;         // template outline points, or the fan: count at 3, directions from 4
constexpr int SHAPE_CAMERA = 0xa5, SHAPE_MATRIX = 0xa6, SHAPE_LIGHT = 0xaa, SHAPE_RECORD = 0xab;
constexpr int MESH_POLYS = 0xa5, MESH_CAMERA = 0xbe, MESH_MATRIX = 0xbf, MESH_LIGHT = 0xc3;
constexpr int STRIP_TAG = 0xd2;
// Output: triangles from relative 0x100, kicked in chunks.
constexpr int OUT = 0x100, CHUNK = 20;
constexpr int MAX_POINTS = 16;

constexpr uint32_t FRONT_RGBA[4] = {1, 1, 1, 0xff};     // +1 a channel, alpha bits set
constexpr uint32_t BACK_RGBA[4] = {0x80, 0x80, 0x80, 0xff};  // +255: -1 wrapping

V3 Q3(int qw) {
  const uint32_t* q = Vu1Quad(qw);
  return {AsFloat(q[0]), AsFloat(q[1]), AsFloat(q[2])};
}

// Row vector (p, 1) times the 4 x 4 matrix at qw.
V3 ByMatrix(V3 p, int qw) {
  float r[3];
  for (int c = 0; c < 3; c++)
    r[c] = p.x * AsFloat(Vu1Quad(qw)[c]) + p.y * AsFloat(Vu1Quad(qw + 1)[c]) + p.z * AsFloat(Vu1Quad(qw + 2)[c]) +
           AsFloat(Vu1Quad(qw + 3)[c]);
  return {r[0], r[1], r[2]};
}

// Triangles collected for one kick.
struct Out {
  int top;
  int n = 0;
  const uint32_t* rgba = FRONT_RGBA;
  void Flush() {
    if (!n) return;
    // EOP, PRE, triangles (flat), REGLIST-free PACKED RGBAQ XYZ2.
    const uint64_t lo = uint64_t(3 * n) | 1ull << 15 | 1ull << 46 | 3ull << 47 | 2ull << 60;
    uint32_t* t = Vu1Quad(top + OUT);
    t[0] = uint32_t(lo), t[1] = uint32_t(lo >> 32), t[2] = 0x51, t[3] = 0;
    Vu1Xgkick(top + OUT);
    n = 0;
  }
  void Tri(const float (*s)[4]) {
    for (int k = 0; k < 3; k++) {
      uint32_t* c = Vu1Quad(top + OUT + 1 + 6 * n + 2 * k);
      for (int i = 0; i < 4; i++) c[i] = rgba[i];
      uint32_t* x = Vu1Quad(top + OUT + 2 + 6 * n + 2 * k);
      const float q = 1.0f / s[k][3];
      auto clamp16 = [](float v) { return v < 0.0f ? 0u : v > 65535.0f ? 65535u : uint32_t(v); };
      const float z = s[k][2] * q;
      x[0] = clamp16(s[k][0] * q), x[1] = clamp16(s[k][1] * q);
      x[2] = z < 0.0f ? 0u : z > 4294967040.0f ? 0xffffffffu : uint32_t(z);
      x[3] = 0;
    }
    if (++n == CHUNK) Flush();
  }
};

// A planar convex face of the prism, drawn as a fan when it faces the
// camera (front) or away (back) as asked.
void Face(Out& o, const V3* pts, int n, V3 centre, V3 camera, bool front) {
  V3 nrm = {0, 0, 0};
  for (int i = 0; i < n; i++) nrm = nrm + Cross(pts[i], pts[(i + 1) % n]);
  if (Dot(nrm, nrm) < 1e-12f) return;
  V3 mid = {0, 0, 0};
  for (int i = 0; i < n; i++) mid = mid + pts[i];
  mid = mid * (1.0f / float(n));
  if (Dot(nrm, mid - centre) < 0.0f) nrm = nrm * -1.0f;  // outward
  if ((Dot(nrm, camera - mid) > 0.0f) != front) return;
  float s[MAX_POINTS][4];
  for (int i = 0; i < n; i++) {
    const float p[4] = {pts[i].x, pts[i].y, pts[i].z, 1.0f};
    vu1mtl::Transform(s[i], p, vu1mtl::VF_SCREEN);
    // A face reaching behind the eye is not drawn.
    if (s[i][3] <= 0.0f) return;
  }
  for (int i = 1; i + 1 < n; i++) {
    const float t[3][4] = {{s[0][0], s[0][1], s[0][2], s[0][3]},
                           {s[i][0], s[i][1], s[i][2], s[i][3]},
                           {s[i + 1][0], s[i + 1][1], s[i + 1][2], s[i + 1][3]}};
    o.Tri(t);
  }
}

// The prism between the outline p (n points, world) and its image q: front
// faces first (they count up and set the alpha bits), then back faces.
void Prism(int top, const V3* p, const V3* q, int n, V3 camera) {
  // Drop repeated neighbours (the capped template doubles its middle points).
  V3 a[MAX_POINTS], b[MAX_POINTS];
  int m = 0;
  for (int i = 0; i < n; i++) {
    const V3 d = p[i] - (m ? a[m - 1] : p[(i + n - 1) % n]);
    if (m && Dot(d, d) < 1e-12f) continue;
    a[m] = p[i], b[m] = q[i], m++;
  }
  if (m > 1 && Dot(a[m - 1] - a[0], a[m - 1] - a[0]) < 1e-12f) m--;  // closed outlines repeat the first point
  if (m < 3) return;
  V3 centre = {0, 0, 0};
  for (int i = 0; i < m; i++) centre = centre + a[i] + b[i];
  centre = centre * (0.5f / float(m));
  Out o{top};
  for (int pass = 0; pass < 2; pass++) {
    const bool front = pass == 0;
    o.rgba = front ? FRONT_RGBA : BACK_RGBA;
    Face(o, a, m, centre, camera, front);
    V3 rev[MAX_POINTS];
    for (int i = 0; i < m; i++) rev[i] = b[m - 1 - i];
    Face(o, rev, m, centre, camera, front);
    for (int i = 0; i < m; i++) {
      const V3 side[4] = {a[i], a[(i + 1) % m], b[(i + 1) % m], b[i]};
      Face(o, side, 4, centre, camera, front);
    }
    o.Flush();
  }
}

// The far end of a point's extrusion: along light' (directional), or
// straight down to the floor height (overhead).
V3 Extrude(V3 p, V3 light, bool overhead, float height) {
  return overhead ? V3{p.x, height, p.z} : p + light;
}

// Cylinders and ellipsoids: the outline in the record's frame, then the
// shape set's matrix.
void Shape(int top, bool ellipsoid, bool overhead) {
  const V3 camera = Q3(top + SHAPE_CAMERA);
  const float height = AsFloat(Vu1Quad(top + SHAPE_CAMERA)[3]);
  const V3 light = Q3(top + SHAPE_LIGHT);
  const V3 c = Q3(top + SHAPE_RECORD), a1 = Q3(top + SHAPE_RECORD + 1), a2 = Q3(top + SHAPE_RECORD + 2),
           a3 = Q3(top + SHAPE_RECORD + 3);
  V3 p[MAX_POINTS], q[MAX_POINTS];
  int n;
  if (ellipsoid) {
    n = int(Vu1Quad(top + OUTLINE)[0]);
    if (n < 3 || n > MAX_POINTS) PlatFatal("fx2: a light fan of %d directions", n);
    // World axes of the ellipsoid; a fan direction d lands on its surface at
    // the sum of (d . unit axis) x axis.
    V3 w[3];
    const V3 ax[3] = {a1, a2, a3};
    const V3 o = ByMatrix({0, 0, 0}, top + SHAPE_MATRIX);
    for (int i = 0; i < 3; i++) w[i] = ByMatrix(ax[i], top + SHAPE_MATRIX) - o;
    const V3 cw = ByMatrix(c, top + SHAPE_MATRIX);
    for (int k = 0; k < n; k++) {
      const V3 d = Q3(top + OUTLINE + 1 + k);
      V3 s = cw;
      for (int i = 0; i < 3; i++) {
        const float l = std::sqrt(Dot(w[i], w[i]));
        if (l > 0.0f) s = s + w[i] * (Dot(d, w[i]) / l);
      }
      p[k] = s;
    }
  } else {
    n = int(Vu1Quad(top + STRIP_TAG)[0] & 0x7fff) / 2;
    if (n < 3 || n > MAX_POINTS) PlatFatal("fx2: a cylinder template of %d points", n);
    for (int k = 0; k < n; k++) {
      const V3 t = Q3(top + OUTLINE + k);
      p[k] = ByMatrix(c + a1 * t.x + a2 * t.y + a3 * t.z, top + SHAPE_MATRIX);
    }
  }
  for (int k = 0; k < n; k++) q[k] = Extrude(p[k], light, overhead, height);
  Prism(top, p, q, n, camera);
}

// Mesh polygons: headers and vertices from 0xa5 until a zero header.
void Mesh(int top, bool overhead, bool debug) {
  const V3 camera = Q3(top + MESH_CAMERA);
  const V3 light = Q3(top + MESH_LIGHT);
  const float height = AsFloat(Vu1Quad(top + 2)[1]);
  const V3 origin = ByMatrix({0, 0, 0}, top + MESH_MATRIX);
  for (int at = top + MESH_POLYS;;) {
    const int n = int(Vu1Quad(at)[3]);
    if (n == 0) break;
    if (n < 3 || n > 14 || at + 1 + n > top + MESH_POLYS + 15)
      PlatFatal("fx2: a shadow polygon of %d vertices at +0x%x", n, at - top);
    const V3 plane = ByMatrix(Q3(at), top + MESH_MATRIX) - origin;
    V3 p[MAX_POINTS], q[MAX_POINTS];
    for (int k = 0; k < n; k++) p[k] = ByMatrix(Q3(at + 1 + k), top + MESH_MATRIX);
    at += 1 + n;
    if (debug) {
      Out o{top};
      o.rgba = BACK_RGBA;
      float s[MAX_POINTS][4];
      bool seen = true;
      for (int k = 0; k < n; k++) {
        const float v[4] = {p[k].x, p[k].y, p[k].z, 1.0f};
        vu1mtl::Transform(s[k], v, vu1mtl::VF_SCREEN);
        seen = seen && s[k][3] > 0.0f;
      }
      for (int k = 1; seen && k + 1 < n; k++) {
        const float t[3][4] = {{s[0][0], s[0][1], s[0][2], s[0][3]},
                               {s[k][0], s[k][1], s[k][2], s[k][3]},
                               {s[k + 1][0], s[k + 1][1], s[k + 1][2], s[k + 1][3]}};
        o.Tri(t);
      }
      o.Flush();
      continue;
    }
    // Only the polygons the light falls on cast.
    const V3 dir = overhead ? V3{0, -1, 0} : light;
    if (Dot(plane, dir) >= 0.0f) continue;
    for (int k = 0; k < n; k++) q[k] = Extrude(p[k], light, overhead, height);
    Prism(top, p, q, n, camera);
  }
}

int Run(Vu1Run& run, bool overhead, const char* name) {
  switch (run.pc - run.base) {
    case 0x00: Shape(run.top, false, overhead); break;
    case 0x02: Shape(run.top, true, overhead); break;
    case 0x04: Mesh(run.top, overhead, false); break;
    case 0x0e: Mesh(run.top, overhead, true); break;
    case 0x06:
      if (!overhead) {
        Vu1QuadBatch(run.top);
        break;
      }
      [[fallthrough]];
    default:
      if (run.pc - run.base == vu1mtl::IDLE) break;
      PlatFatal("%s: no entry at +%d", name, run.pc - run.base);
  }
  return run.base + vu1mtl::IDLE;
}

}  // namespace

int Vu1Fx2Program(Vu1Run& run) { return Run(run, false, "fx2"); }
int Vu1Fx3Program(Vu1Run& run) { return Run(run, true, "fx3"); }
