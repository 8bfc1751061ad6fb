// fx: the effect program's jobs (docs/vu1.md, "fx"). Each job packet brings
// two GIF tag templates and its data to TOP and starts one entry; the
// program draws in absolute screen coordinates (the renderer sets
// XYOFFSET_1 to 0 around a job).
#include <cmath>

#include "vu1mtl.h"

namespace {

using vu1mtl::AsFloat;
using vu1mtl::AsWord;
using vu1mtl::Field;

constexpr int E_SPRITE = 0x00, E_SPRITE_COPY = 0x02, E_BLUE_GREEN = 0x04, E_SET = 0x06, E_SET2_STRIP = 0x08,
              E_SET2_FAN = 0x0a, IDLE = 0x10;
constexpr int OUT = 0x100;  // output, relative to TOP (past every job's data)

uint32_t Fix(float f, double hi) {
  const double d = std::isnan(f) ? 0.0 : double(f);
  return uint32_t(d < 0.0 ? 0.0 : (d > hi ? hi : d));
}

// The output cursor: quadwords written from top + OUT, each packet kicked
// when it is complete.
struct Out {
  int top, at;
  uint32_t* Q() { return Vu1Quad(top + at++); }
  void Tag(const uint32_t* tmpl, int nloop) {
    uint32_t* t = Q();
    memcpy(t, tmpl, 16);
    t[0] = (t[0] & ~0x7fffu) | uint32_t(nloop) | 0x8000u;
  }
  void Kick(int from) { Vu1Xgkick(top + from); }
};

void Put(uint32_t* q, uint32_t a, uint32_t b, uint32_t c, uint32_t d) { q[0] = a, q[1] = b, q[2] = c, q[3] = d; }

// ST, XYZ2 as REGLIST doublewords: one quadword holds ST and XYZ2.
void StXyz(uint32_t* q, float s, float t, float x, float y, uint32_t z) {
  Put(q, AsWord(s), AsWord(t), Fix(x, 65535.0) | Fix(y, 65535.0) << 16, z);
}

// The colour template, sent with PRE: the sprite template is REGLIST, whose
// PRIM field the GIF does not send, so the colour packet sets PRIM (its own
// field, a sprite) for both.
void ColourTag(Out& o, int top) {
  o.Tag(Vu1Quad(top + 0), 1);
  Vu1Quad(top + o.at - 1)[1] |= 1u << 14;  // PRE: bit 46
}

// One sprite: its colour by the RGBAQ template, its corners by the sprite
// template (ST, XYZ2, ST, XYZ2).
void Sprite(Out& o, int top, const uint32_t rgba[4], const float a[4], const float b[4], uint32_t z) {
  int from = o.at;
  ColourTag(o, top);
  Put(o.Q(), rgba[0], rgba[1], rgba[2], rgba[3]);
  o.Kick(from);
  from = o.at;
  o.Tag(Vu1Quad(top + 1), 1);
  StXyz(o.Q(), a[0], a[1], a[2], a[3], z);
  StXyz(o.Q(), b[0], b[1], b[2], b[3], z);
  o.Kick(from);
  o.at = OUT;
}

// (s, t, x, y) of a set's point.
void Point(float out[4], int qw) {
  for (int i = 0; i < 4; i++) out[i] = Field(qw, i);
}

void SpriteJob(int top, bool copy) {
  Out o{top, OUT};
  const float x0 = Field(top + 2, 0), y0 = Field(top + 2, 1), x1 = Field(top + 2, 2), y1 = Field(top + 2, 3);
  const uint32_t z = Fix(Field(top + 3, 0), 4294967295.0);
  // 0x302 maps the screen copy (1024 x 256 texels) over the place it came from.
  const float a[4] = {copy ? x0 / (16.0f * 1024.0f) : 0.0f, copy ? y0 / (16.0f * 256.0f) : 0.0f, x0, y0};
  const float b[4] = {copy ? x1 / (16.0f * 1024.0f) : 1.0f, copy ? y1 / (16.0f * 256.0f) : 1.0f, x1, y1};
  const uint32_t grey[4] = {128, 128, 128, 128};
  Sprite(o, top, grey, a, b, z);
}

void BlueGreenJob(int top) {
  Out o{top, OUT};
  // The additive fixed blend (the third quadword) for the eight sprites,
  // then the blend of the second quadword again.
  int from = o.at;
  o.Tag(Vu1Quad(top + 1), 1);
  memcpy(o.Q(), Vu1Quad(top + 3), 16);
  o.Kick(from);
  o.at = OUT;
  for (int i = 0; i < 8; i++) {
    float a[4], b[4];
    Point(a, top + 5 + 2 * i);
    Point(b, top + 6 + 2 * i);
    // (s, t, x, y): each sprite is 32 lines high from its y.
    const float pa[4] = {a[0], a[1], a[2], a[3]}, pb[4] = {b[0], b[1], b[2], b[3] + 512.0f};
    const uint32_t blue[4] = {0, 0, 128, 128}, green[4] = {0, 128, 0, 128};
    int f2 = o.at;
    ColourTag(o, top);
    const uint32_t* c = i & 1 ? green : blue;
    Put(o.Q(), c[0], c[1], c[2], c[3]);
    o.Kick(f2);
    f2 = o.at;
    o.Tag(Vu1Quad(top + 4), 1);
    StXyz(o.Q(), pa[0], pa[1], pa[2], pa[3], 0);
    StXyz(o.Q(), pb[0], pb[1], pb[2], pb[3], 0);
    o.Kick(f2);
    o.at = OUT;
  }
  from = o.at;
  o.Tag(Vu1Quad(top + 1), 1);
  memcpy(o.Q(), Vu1Quad(top + 2), 16);
  o.Kick(from);
}

// Sprite sets: header (word 0, 0, word 1, n), (words 5, 6, 3, 4); per
// sprite (0, 0, 0, z), its colour bytes as words, then its points.
void SetJob(int top, int entry) {
  const int n = int(Vu1Quad(top + 2)[3]);
  const int per = entry == E_SET ? 5 : 8;
  const int most = entry == E_SET ? 16 : 8;
  if (n < 0 || n > most) PlatFatal("fx: sprite set of %d (at most %d)", n, most);
  const float dx = Field(top + 3, 2), dy = Field(top + 3, 3);
  Out o{top, OUT};
  for (int i = 0; i < n; i++) {
    const int at = top + 4 + per * i;
    const uint32_t z = Vu1Quad(at)[3];
    uint32_t rgba[4];
    for (int c = 0; c < 4; c++) rgba[c] = Vu1Quad(at + 1)[c] & 0xff;
    if (entry == E_SET) {
      // The rectangle from the first point to the second; the third is not read.
      float a[4], b[4];
      Point(a, at + 2);
      Point(b, at + 3);
      a[2] += dx, a[3] += dy, b[2] += dx, b[3] += dy;
      Sprite(o, top, rgba, a, b, z);
      continue;
    }
    // Six points as a strip (0x308) or a fan (0x30a), textured by ST.
    const int from = o.at;
    const uint64_t tag = 6ull | 1ull << 15 | 1ull << 46 | uint64_t(entry == E_SET2_STRIP ? 4 : 5) << 47 | 3ull << 60;
    Put(o.Q(), uint32_t(tag), uint32_t(tag >> 32), 0x512, 0);
    for (int j = 0; j < 6; j++) {
      float p[4];
      Point(p, at + 2 + j);
      Put(o.Q(), AsWord(p[0]), AsWord(p[1]), AsWord(1.0f), 0);
      Put(o.Q(), rgba[0], rgba[1], rgba[2], rgba[3]);
      Put(o.Q(), Fix(p[2] + dx, 65535.0), Fix(p[3] + dy, 65535.0), z, 0);
    }
    o.Kick(from);
    o.at = OUT;
  }
}

}  // namespace

int Vu1FxProgram(Vu1Run& run) {
  const int at = run.pc - run.base;
  switch (at) {
    case E_SPRITE: SpriteJob(run.top, false); break;
    case E_SPRITE_COPY: SpriteJob(run.top, true); break;
    case E_BLUE_GREEN: BlueGreenJob(run.top); break;
    case E_SET:
    case E_SET2_STRIP:
    case E_SET2_FAN: SetJob(run.top, at); break;
    case IDLE: break;
    default: PlatFatal("fx: no entry at +%d", at);
  }
  return run.base + IDLE;
}
