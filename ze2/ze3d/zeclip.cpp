// The homogeneous triangle clipper: one triangle in clip space against the
// near plane and the four side planes, on the main processor, into a
// convex polygon of up to eight points held in module-wide buffers.
#include <initializer_list>

#include "ze3d.h"

namespace {

ZECLIPPOINT pnts[2][ZECLIP_MAX_POINTS];
int npnts[2];
int inbuffer;
uint32_t clipflags;  // outcodes shifted in from the right, 6 bits each

uint32_t Outcode(const ZEVEC4& p) {
  uint32_t c = 0;
  if (p.x > p.w) c |= 1;
  if (p.x < -p.w) c |= 2;
  if (p.y > p.w) c |= 4;
  if (p.y < -p.w) c |= 8;
  if (p.z > p.w) c |= 16;
  if (p.z < -p.w) c |= 32;
  return c;
}

// The planes in clipping order: the outcode bit that marks a point outside,
// and t along the edge from b to a where the edge meets the plane.
struct ClipPlane {
  uint32_t bit;
  float (*t)(const ZEVEC4& b, const ZEVEC4& a);
};

constexpr ClipPlane clip_planes[5] = {
    {32, [](const ZEVEC4& b, const ZEVEC4& a) { return (-b.z - b.w) / ((a.z - b.z) + (a.w - b.w)); }},
    {2, [](const ZEVEC4& b, const ZEVEC4& a) { return (-b.x - b.w) / ((a.x - b.x) + (a.w - b.w)); }},
    {1, [](const ZEVEC4& b, const ZEVEC4& a) { return (b.w - b.x) / ((a.x - b.x) - (a.w - b.w)); }},
    {4, [](const ZEVEC4& b, const ZEVEC4& a) { return (b.w - b.y) / ((a.y - b.y) - (a.w - b.w)); }},
    {8, [](const ZEVEC4& b, const ZEVEC4& a) { return (-b.y - b.w) / ((a.y - b.y) + (a.w - b.w)); }},
};

// Every float of the point (attributes and position) at b + (a - b) * t.
void Lerp(ZECLIPPOINT* out, const ZECLIPPOINT& b, const ZECLIPPOINT& a, float t) {
  const float* fb = &b.attr[0].x;
  const float* fa = &a.attr[0].x;
  float* fo = &out->attr[0].x;
  for (int i = 0; i < 16; i++) fo[i] = fb[i] + (fa[i] - fb[i]) * t;
}

// Appends to the output buffer; a polygon never grows past eight points
// for exact arithmetic, and rounding that would make it do so loses the
// extra point rather than writing past the buffer.
void Emit(int out, const ZECLIPPOINT& p) {
  if (npnts[out] < ZECLIP_MAX_POINTS) pnts[out][npnts[out]++] = p;
}

void PlanePass(const ClipPlane& plane) {
  const int in = inbuffer, out = inbuffer ^ 1;
  const int n = npnts[in];
  const ZECLIPPOINT* poly = pnts[in];
  npnts[out] = 0;
  if (n > 0) {
    bool prev_out = (Outcode(poly[0].pos) & plane.bit) != 0;
    if (!prev_out) Emit(out, poly[0]);
    for (int i = 1; i <= n; i++) {
      const ZECLIPPOINT& b = poly[i - 1];
      const ZECLIPPOINT& a = poly[i == n ? 0 : i];
      const bool cur_out = (Outcode(a.pos) & plane.bit) != 0;
      if (cur_out != prev_out) {
        ZECLIPPOINT x;
        Lerp(&x, b, a, plane.t(b.pos, a.pos));
        Emit(out, x);
      }
      if (i < n && !cur_out) Emit(out, a);
      prev_out = cur_out;
    }
  }
  inbuffer = out;
}

}  // namespace

int ClipDrawTriangle(const ZECLIPPOINT* p0, const ZECLIPPOINT* p1, const ZECLIPPOINT* p2) {
  ZECLIPPOINT* poly = pnts[inbuffer];
  poly[0] = *p0;
  poly[1] = *p1;
  poly[2] = *p2;
  npnts[inbuffer] = 3;
  clipflags = (clipflags << 6) | Outcode(p0->pos);
  clipflags = (clipflags << 6) | Outcode(p1->pos);
  clipflags = (clipflags << 6) | Outcode(p2->pos);
  // All three beyond one plane (far excepted): z < -w, y < -w, y > w,
  // x < -w, x > w.
  for (uint32_t mask : {0x20820u, 0x8208u, 0x4104u, 0x2082u, 0x1041u}) {
    if ((clipflags & mask) == mask) {
      npnts[inbuffer] = 0;
      return 0;
    }
  }
  for (const ClipPlane& plane : clip_planes) PlanePass(plane);
  return npnts[inbuffer];
}

const ZECLIPPOINT* ClipDrawPoints() { return pnts[inbuffer]; }
