// The material programs' sprite entries (docs/vu1.md): +0x04 face-on
// sprites, screen-aligned rectangles sized by the converter's factors at
// the depth of their centre; +0x06 face-Y sprites, rectangles in the
// object's own x-y plane (turned toward the camera by the resident
// program's face-on entry) drawn as strips through the common stage.
#include <cmath>

#include "vu1mtl.h"

namespace vu1mtl {

namespace {

constexpr int IN_TAG = 0, IN_COUNT = 1, IN_POS = 4, IN_SIZE = 5, IN_COL = 6;
constexpr int OUT_SPRITES = 0x48;
constexpr int MAX_FACEON = 20, MAX_FACEY = 10;

int Sprites(int top, int most, const char* what) {
  const int n = int(Vu1Quad(top + IN_COUNT)[0] & 0xffff) / 3;
  if (n > most) PlatFatal("vu1 %s: batch of %d sprites (at most %d)", what, n, most);
  return n;
}

void ReadColour(float rgba[4], int qw) {
  for (int c = 0; c < 4; c++) rgba[c] = float(Vu1Quad(qw)[c] & 0xff);
}

uint32_t* Put(uint32_t* q, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  q[0] = a;
  q[1] = b;
  q[2] = c;
  q[3] = d;
  return q;
}

uint32_t Fix(float f, double hi) {
  const double d = std::isnan(f) ? 0.0 : double(f);
  return uint32_t(d < 0.0 ? 0.0 : (d > hi ? hi : d));
}

}  // namespace

void FaceOnBatch(int top, Shade) {
  const int n = Sprites(top, MAX_FACEON, "face-on");
  const float* mtl = reinterpret_cast<const float*>(Vu1Quad(MTL));
  const float sx = Field(YAW, 1) * 0.5f, sy = Field(YAW, 3) * 0.5f;
  const bool clipping = *Vu1Vi(VI_CLIPPING) != 0;
  int out = OUT_SPRITES + 1, kept = 0;
  for (int i = 0; i < n; i++) {
    float p[4] = {0, 0, 0, 1};
    memcpy(p, Vu1Quad(top + IN_POS + 3 * i), 12);
    float s[4];
    Transform(s, p, VF_SCREEN);
    if (!(s[3] > 0.0f)) continue;  // behind the eye
    if (clipping) {
      float c[4];
      Transform(c, p, VF_CLIP);
      if (c[2] > std::fabs(c[3]) || c[2] < -std::fabs(c[3])) continue;  // before the near or past the far plane
    }
    const float q = 1.0f / s[3];
    const float x = s[0] * q, y = s[1] * q, z = s[2] * q;
    // The factors are the sprite's full size in screen units at depth 1
    // for a 640 x 224 viewport (negative: the first corner is the upper left).
    const float hx = Field(top + IN_SIZE + 3 * i, 0) * q * sx, hy = Field(top + IN_SIZE + 3 * i, 1) * q * sy;
    float rgba[4];
    ReadColour(rgba, top + IN_COL + 3 * i);
    uint32_t col[4];
    for (int c = 0; c < 4; c++) {
      const float r = rgba[c] * (1.0f / 128.0f) * mtl[c];
      col[c] = uint32_t(r < 0.0f ? 0.0f : (r > 255.0f ? 255.0f : r));
    }
    Put(Vu1Quad(top + out), col[0], col[1], col[2], col[3]);
    Put(Vu1Quad(top + out + 1), AsWord(0.0f), AsWord(0.0f), AsWord(1.0f), 0);
    Put(Vu1Quad(top + out + 2), Fix(x + hx, 65535.0), Fix(y + hy, 65535.0), Fix(z, 4294967295.0), 0);
    Put(Vu1Quad(top + out + 3), AsWord(1.0f), AsWord(1.0f), AsWord(1.0f), 0);
    Put(Vu1Quad(top + out + 4), Fix(x - hx, 65535.0), Fix(y - hy, 65535.0), Fix(z, 4294967295.0), 0);
    out += 5;
    kept++;
  }
  if (kept == 0) return;
  uint32_t* tag = Vu1Quad(top + OUT_SPRITES);
  memcpy(tag, Vu1Quad(top + IN_TAG), 16);
  tag[0] = (tag[0] & ~0x7fffu) | uint32_t(kept) | 0x8000u;
  Vu1Xgkick(top + OUT_SPRITES);
}

void FaceYBatch(int top, Shade) {
  const int n = Sprites(top, MAX_FACEY, "face-Y");
  Vert v[MAX_VERTS];
  static const float CORNER[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
  for (int i = 0; i < n; i++) {
    float c[3];
    memcpy(c, Vu1Quad(top + IN_POS + 3 * i), 12);
    const float hx = Field(top + IN_SIZE + 3 * i, 0), hy = Field(top + IN_SIZE + 3 * i, 1);
    for (int k = 0; k < 4; k++) {
      Vert& x = v[4 * i + k];
      x = Vert{};
      x.p[0] = c[0] + CORNER[k][0] * hx;
      x.p[1] = c[1] + CORNER[k][1] * hy;
      x.p[2] = c[2];
      x.p[3] = 1.0f;
      x.st[0] = CORNER[k][0] > 0 ? 1.0f : 0.0f;
      x.st[1] = CORNER[k][1] > 0 ? 0.0f : 1.0f;
      ReadColour(x.rgba, top + IN_COL + 3 * i);
      x.lightable = false;
      x.noClose = k < 2;
    }
  }
  // Sprites carry no normal: every program shades them as unlit.
  Draw(top, SHADE_UNLIT, v, 4 * n, StripTag(4 * n), REGS_ST_RGBAQ_XYZ2);
}

}  // namespace vu1mtl
