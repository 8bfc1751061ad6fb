// ptl: the particle program (docs/vu1.md, "ptl"). A start code (MSCAL
// 0x300-0x30e, 0x310) takes the effect type's output template and stops at
// the batch point; every MSCNT after it draws one batch of 32 particles (12
// glass shards) from their birth time, velocity and rate, the particle
// clock and the type block: 64 steps of corner offsets and colours over a
// particle's life, its gravity and its texture corners.
#include <cmath>

#include "vu1mtl.h"

namespace {

using vu1mtl::AsFloat;
using vu1mtl::AsWord;
using vu1mtl::Field;

// Data memory (absolute): the group header and the type block.
constexpr int HEADER = 0x3b, PARAMS = 0x3c, TYPE = 0x3d, CORNERS = 0x3e, STEPS = 0x40;
constexpr int STEP_COUNT = 64;
constexpr int YAW = 22;
// Entries (instructions from the load address) and the batch point.
constexpr int E_RGBAQ_FIRST = 0x00, E_QUADS = 0x02, E_SPRITES3 = 0x04, E_SPRITES = 0x06, E_OWN = 0x08,
              E_GLASS = 0x0a, E_QUADS6 = 0x0c, E_SPRITES7 = 0x0e, E_DEBUG = 0x10, BATCH = 0x20;
// Registers kept between MSCAL and MSCNT: the template and the entry.
constexpr int VF_TEMPLATE = 16, VI_ENTRY = 4;
// Output (relative to TOP), after the 65 input quadwords.
constexpr int OUT = 0x48;
// Screen units a corner offset of 1 makes at depth 1.
constexpr float CORNER_SCALE = 2300.0f;

constexpr uint32_t REG_RGBAQ = 1, REG_ST = 2, REG_UV = 3, REG_XYZ2 = 5;

uint32_t Fix(float f, double hi) {
  const double d = std::isnan(f) ? 0.0 : double(f);
  return uint32_t(d < 0.0 ? 0.0 : (d > hi ? hi : d));
}

struct Corner {
  float x, y;       // screen units
  uint32_t u, v;    // UV (10.4 texels)
  float s, t;       // ST of glass (the screen copy)
};

// One batch at top. tagLo/tagHi: the output template.
void Batch(int top, uint64_t tagLo, uint64_t tagHi, int entry) {
  const bool glass = entry == E_GLASS, debug = entry == E_DEBUG;
  const int count = glass ? 12 : 32;
  const float now = Field(HEADER, 3), cutoff = Field(PARAMS, 2), gravity = Field(TYPE, 0);
  const float kx = Field(YAW, 1) * CORNER_SCALE, ky = Field(YAW, 3) * CORNER_SCALE;
  // The target's top-left corner in screen units, for the glass's screen copy.
  const float x0 = (2048.0f - 320.0f * Field(YAW, 1)) * 16.0f, y0 = (2048.0f - 112.0f * Field(YAW, 3)) * 16.0f;
  int nreg = int(tagLo >> 60);
  if (nreg == 0) nreg = 16;
  if (debug) {
    tagLo = (1ull << 15) | (1ull << 46) | (6ull << 47) | (3ull << 60);
    tagHi = REG_RGBAQ | REG_XYZ2 << 4 | REG_XYZ2 << 8;
    nreg = 3;
  }
  // The output must stay inside the batch's buffer.
  if (OUT + 1 + count * nreg > 384) PlatFatal("ptl: a template of %d registers does not fit %d particles", nreg, count);
  int perLoop = 0;
  for (int r = 0; r < nreg; r++) perLoop += ((tagHi >> (4 * r)) & 15) == REG_XYZ2;
  const int prim = int((tagLo >> 47) & 7);
  int out = OUT + 1, loops = 0;
  for (int k = 0; k < count; k++) {
    const uint32_t* a = Vu1Quad(top + 1 + 2 * k);
    const uint32_t* b = Vu1Quad(top + 2 + 2 * k);
    const float age = now - AsFloat(a[3]);
    const float stepf = std::floor(age * AsFloat(b[3]));
    // Unborn, expired at step 64, or a dead slot (birth 1e10, or rate 32768).
    if (!(age >= 0.0f) || !(stepf >= 0.0f) || !(stepf < float(STEP_COUNT))) continue;
    const int step = int(stepf);
    float p[4];
    for (int c = 0; c < 3; c++) p[c] = AsFloat(a[c]) + AsFloat(b[c]) * age;
    p[1] += gravity * age * age;
    p[3] = 1.0f;
    float s[4];
    vu1mtl::Transform(s, p, vu1mtl::VF_SCREEN);
    if (!(s[3] > 0.0f) || (cutoff > 0.0f && s[3] > cutoff)) continue;
    const float q = 1.0f / s[3];
    const float cx = s[0] * q, cy = s[1] * q, z = s[2] * q;
    const uint32_t* st0 = Vu1Quad(STEPS + 2 * step);
    const uint32_t* st1 = Vu1Quad(STEPS + 2 * step + 1);
    float f[6];
    for (int i = 0; i < 4; i++) f[i] = AsFloat(st0[i]);
    f[4] = AsFloat(st1[0]);
    f[5] = AsFloat(st1[1]);
    const uint32_t rgba[4] = {st0[0] & 0xff, st0[1] & 0xff, st0[2] & 0xff, st0[3] & 0xff};
    const uint32_t* uv = Vu1Quad(CORNERS);  // (umin, vmin), (umax, vmin) / (umin, vmax), (umax, vmax)
    Corner c[6];
    int nc;
    if (glass) {
      // A shard: a strip round the hexagon of the step's height, corners at
      // 0, 60, 300, 120, 240 (and 180) degrees, as many as the template has.
      const float h = std::sqrt(f[2] * f[2] / 6.25f + f[3] * f[3]);
      static const int ORDER[6] = {0, 1, 5, 2, 4, 3};
      nc = perLoop < 6 ? perLoop : 6;
      for (int i = 0; i < nc; i++) {
        const float th = float(ORDER[i]) * 3.14159265f / 3.0f;
        c[i].x = cx + 0.5f * h * std::cos(th) * 2.5f * kx * q;
        c[i].y = cy + 0.5f * h * std::sin(th) * ky * q;
        c[i].u = c[i].v = 0;
      }
    } else if (perLoop == 2 || debug) {
      const float dx = debug ? 16.0f : 0.0f;
      c[0] = {cx + (debug ? -dx : f[0] * kx * q), cy + (debug ? -dx : f[1] * ky * q), uv[0], uv[1], 0, 0};
      c[1] = {cx + (debug ? dx : f[4] * kx * q), cy + (debug ? dx : f[5] * ky * q), Vu1Quad(CORNERS + 1)[2],
              Vu1Quad(CORNERS + 1)[3], 0, 0};
      nc = 2;
    } else {
      // Corner 0, corner 0 + edge, corner 2 - edge, corner 2: a quad as a strip.
      const float ex = f[2], ey = f[3];
      const float off[4][2] = {{f[0], f[1]}, {f[0] + ex, f[1] + ey}, {f[4] - ex, f[5] - ey}, {f[4], f[5]}};
      const uint32_t* uvs[4] = {uv, Vu1Quad(CORNERS + 1), uv + 2, Vu1Quad(CORNERS + 1) + 2};
      for (int i = 0; i < 4; i++) c[i] = {cx + off[i][0] * kx * q, cy + off[i][1] * ky * q, uvs[i][0], uvs[i][1], 0, 0};
      nc = 4;
    }
    for (int i = 0; i < nc; i++) {
      c[i].s = (c[i].x - x0) / (16.0f * 1024.0f);
      c[i].t = (c[i].y - y0) / (16.0f * 256.0f);
    }
    // The template's registers, one loop per particle; a vertex is
    // complete at each XYZ2. Strips start again at every particle.
    int vtx = 0;
    for (int r = 0; r < nreg; r++) {
      uint32_t* o = Vu1Quad(top + out++);
      const Corner& cc = c[vtx < nc ? vtx : nc - 1];
      switch ((tagHi >> (4 * r)) & 15) {
        case REG_RGBAQ: o[0] = rgba[0], o[1] = rgba[1], o[2] = rgba[2], o[3] = rgba[3]; break;
        case REG_ST: o[0] = AsWord(cc.s), o[1] = AsWord(cc.t), o[2] = AsWord(1.0f), o[3] = 0; break;
        case REG_UV: o[0] = cc.u, o[1] = cc.v, o[2] = 0, o[3] = 0; break;
        case REG_XYZ2:
          o[0] = Fix(cc.x, 65535.0), o[1] = Fix(cc.y, 65535.0), o[2] = Fix(z, 4294967295.0);
          o[3] = prim == 4 && vtx < 2 ? 0x8000u : 0u;
          vtx++;
          break;
        default: o[0] = o[1] = o[2] = o[3] = 0; break;
      }
    }
    loops++;
  }
  if (loops == 0) return;
  uint32_t* t = Vu1Quad(top + OUT);
  tagLo = (tagLo & ~0x7fffull) | uint64_t(loops) | 1ull << 15;
  t[0] = uint32_t(tagLo), t[1] = uint32_t(tagLo >> 32), t[2] = uint32_t(tagHi), t[3] = uint32_t(tagHi >> 32);
  Vu1Xgkick(top + OUT);
}

}  // namespace

int Vu1PtlProgram(Vu1Run& run) {
  const int at = run.pc - run.base;
  switch (at) {
    case E_RGBAQ_FIRST:
    case E_QUADS:
    case E_SPRITES3:
    case E_SPRITES:
    case E_QUADS6:
    case E_SPRITES7:
      // The type's header quadword (its output template) lies at TOP.
      memcpy(Vu1Vf(VF_TEMPLATE), Vu1Quad(run.top), 16);
      *Vu1Vi(VI_ENTRY) = uint16_t(at);
      return run.base + BATCH;
    case E_OWN:
    case E_GLASS:
    case E_DEBUG:
      *Vu1Vi(VI_ENTRY) = uint16_t(at);
      return run.base + BATCH;
    case BATCH: {
      const int entry = *Vu1Vi(VI_ENTRY);
      uint32_t t[4];
      // Types without a header draw with each batch's own tag.
      const bool own = entry == E_OWN || entry == E_GLASS || entry == E_DEBUG;
      memcpy(t, own ? static_cast<const void*>(Vu1Quad(run.top)) : static_cast<const void*>(Vu1Vf(VF_TEMPLATE)), 16);
      Batch(run.top, uint64_t(t[0]) | uint64_t(t[1]) << 32, uint64_t(t[2]) | uint64_t(t[3]) << 32, entry);
      return run.base + BATCH;
    }
    default: PlatFatal("ptl: no entry at +%d", at);
  }
}
