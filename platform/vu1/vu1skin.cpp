// The material programs' skin entry (+0x02, docs/vu1.md): a packet of up to
// 42 points of four or five quadwords, each new point blended from up to
// eight palette matrices by its weights, each reuse marker standing for an
// earlier point of the same packet; the points form a strip (or independent
// triangles) drawn through the common stage.
#include <cmath>

#include "vu1mtl.h"

namespace vu1mtl {

namespace {

constexpr int IN_COUNT = 2, IN_POINTS = 3, IN_TAG = 0xd2, PALETTE = 0x18;

// Row r of palette slot m lies at 0x18 + 8r + m.
float Palette(int m, int r, int c) { return Field(PALETTE + 8 * r + m, c); }

}  // namespace

void SkinPacket(int top, Shade shade, const char* name) {
  const uint32_t* cnt = Vu1Quad(top + IN_COUNT);
  const int total = int(cnt[0] & 0xffff);
  const bool triangles = (cnt[1] & 0xffff) != 1;
  // Points take four quadwords, five with vertex colours. The strip tag at
  // 0xd2 tells the point count, unless 42 five-quadword points have run
  // over it: the count quadword then holds 210.
  const int nloop = int(Vu1Quad(top + IN_TAG)[0] & 0x7fff);
  int w, count;
  if (nloop > 0 && nloop * 4 == total) w = 4, count = nloop;
  else if (nloop > 0 && nloop * 5 == total) w = 5, count = nloop;
  else if (total == 42 * 5) w = 5, count = 42;
  else PlatFatal("%s: skin packet of %d point quadwords does not match its %d points", name, total, nloop);
  if (count > MAX_VERTS) PlatFatal("%s: skin packet of %d points (at most %d)", name, count, MAX_VERTS);
  Vert v[MAX_VERTS];
  bool dead[MAX_VERTS];
  for (int i = 0; i < count; i++) {
    const int slot = top + IN_POINTS + i * w;
    const uint32_t* q0 = Vu1Quad(slot);
    const uint32_t* q1 = Vu1Quad(slot + 1);
    const int reuse = int(q0[3] & 0xff);
    // Strip flag: the low byte of the second quadword's w (a marker's
    // second value fills the whole quadword).
    const bool flag = (q1[3] & 0xff) != 0;
    if (reuse != 0) {
      if (reuse - 1 >= i) PlatFatal("%s: skin point %d reuses point %d", name, i, reuse - 1);
      v[i] = v[reuse - 1];
      dead[i] = dead[reuse - 1];
      v[i].noClose = flag;
      continue;
    }
    const float p[4] = {AsFloat(q0[0]), AsFloat(q0[1]), AsFloat(q0[2]), 1.0f};
    const float n[3] = {AsFloat(q0[3]), AsFloat(q1[2]), AsFloat(q1[3])};
    const int first = int(q1[1] & 0xff), further = int(q1[2] & 0xff);
    if (first > 4 || further > 4) PlatFatal("%s: skin point %d has %d + %d weights", name, i, first, further);
    Vert& x = v[i];
    x = Vert{};
    x.p[3] = 1.0f;
    x.lightable = true;
    x.noClose = flag;
    x.st[0] = AsFloat(q1[0]);
    x.st[1] = AsFloat(q1[1]);
    for (int c = 0; c < 4; c++) x.rgba[c] = w == 5 ? AsFloat(Vu1Quad(slot + 2)[c]) : 128.0f;
    // Weights: the first four at slot + w - 2, the rest at slot + w - 1;
    // each a float whose low 3 bits name its palette slot.
    dead[i] = first + further == 0;
    for (int k = 0; k < first + further; k++) {
      const uint32_t word = Vu1Quad(slot + w - 2 + k / 4)[k % 4];
      const int m = int(word & 7);
      const float wt = AsFloat(word);
      for (int c = 0; c < 3; c++) {
        x.p[c] += wt * (p[0] * Palette(m, 0, c) + p[1] * Palette(m, 1, c) + p[2] * Palette(m, 2, c) +
                        Palette(m, 3, c));
        x.n[c] += wt * (n[0] * Palette(m, 0, c) + n[1] * Palette(m, 1, c) + n[2] * Palette(m, 2, c));
      }
    }
    const float len = std::sqrt(x.n[0] * x.n[0] + x.n[1] * x.n[1] + x.n[2] * x.n[2]);
    if (len > 0.0f && std::isfinite(len))
      for (float& c : x.n) c /= len;
    else
      x.n[0] = x.n[1] = x.n[2] = 0.0f;
  }
  // A point without weights has no place: no triangle through it is drawn.
  for (int i = 0; i < count; i++) {
    if (triangles) v[i].noClose = i % 3 < 2;
    for (int j = i - 2; j <= i; j++)
      if (j >= 0 && dead[j]) v[i].noClose = true;
  }
  Draw(top, shade, v, count, StripTag(count), REGS_ST_RGBAQ_XYZ2);
}

}  // namespace vu1mtl
