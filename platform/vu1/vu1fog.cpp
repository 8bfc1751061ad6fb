// The fog program: the fog dome's strips in the clipped mesh layout
// (docs/vu1.md, "fog"), coloured by direction from the fog tables and drawn
// at the fog window's top depth with screen-space texture coordinates, so
// that the fog view's indices line up with the pixels they came from.
#include <cmath>

#include "vu1mtl.h"

namespace vu1mtl {

namespace {

// The fog block the renderer uploads before the dome (absolute).
constexpr int FOG_TAXIS = 0x38, FOG_TABLE1 = 0x39, FOG_TABLE2 = 0x43;

uint32_t Fade(float t, uint32_t a, uint32_t b) {
  if (t <= 0.0f) return a;
  if (t >= 1.0f) return b;
  uint32_t r = 0;
  for (int c = 0; c < 4; c++) {
    const int ca = int(a >> (8 * c) & 0xff), cb = int(b >> (8 * c) & 0xff);
    r |= uint32_t(ca + int(float(cb - ca) * t)) << (8 * c) & (0xffu << (8 * c));
  }
  return r;
}

}  // namespace

void FogShade(Vert& x) {
  // The colour word is 0x80800000 + the vertex's longitude L: red and
  // green carry L. Its direction is L turned by an eighth of a turn, as the
  // dome places it.
  const float l = (x.rgba[0] + x.rgba[1] * 256.0f) * (6.28318531f / 65536.0f);
  const float c = std::cos(l), n = std::sin(l);
  const float dx = (c - n) * 0.70710678f, dz = (n + c) * 0.70710678f;
  const float s = Field(FOG_TAXIS, 0) * dx + Field(FOG_TAXIS, 2) * dz;
  float t = 5.0f * s + 5.0f;
  t = t < 0.0f ? 0.0f : (t > 10.0f ? 10.0f : t);
  const int i = int(t);
  const float f = t - float(i);
  auto entry = [](int table, int k) { return Vu1Quad(table + k % 10)[0]; };
  const uint32_t a = Fade(f, entry(FOG_TABLE2, i), entry(FOG_TABLE2, i + 1));
  const uint32_t b = Fade(f, entry(FOG_TABLE1, i), entry(FOG_TABLE1, i + 1));
  const uint32_t col = Fade(s, a, b);
  for (int k = 0; k < 4; k++) x.col[k] = float(col >> (8 * k) & 0xff);
}

void FogScreenSt(float x, float y, float st[2]) {
  // Effect block: entries 0, 1 the offsets, 4, 5 the scales.
  st[0] = Field(MTL + 1, 0) + x * Field(MTL + 2, 0);
  st[1] = Field(MTL + 1, 1) + y * Field(MTL + 2, 1);
}

}  // namespace vu1mtl

int Vu1FogProgram(Vu1Run& run) {
  switch (run.pc - run.base) {
    case vu1mtl::ENTRY_MESH: vu1mtl::MeshBatch(run.top, vu1mtl::SHADE_FOG, false); break;
    case vu1mtl::IDLE: break;
    default: PlatFatal("fog: no entry at +%d", run.pc - run.base);
  }
  return run.base + vu1mtl::IDLE;
}
