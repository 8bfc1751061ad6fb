// The screen-copy programs (docs/vu1.md, "water, wateruv, nrmmap,
// triglass"): the material programs' mesh entries with other texture
// coordinates. water reads the screen copy where each vertex lies on the
// screen, moved by a wave; wateruv moves its own coordinates by the wave;
// triglass reads the screen copy where the vertex would lie pushed along its
// normal; nrmmap first kicks its material's palette block (the GS redraws
// the palette into its CLUT block), then draws its own coordinates. The
// tables they read (waves at 0x1b2, the palette block at 0x1c0) lie in input
// buffer 0 where skin points reach, so these programs take no skins.
#include <algorithm>
#include <cmath>

#include "vu1mtl.h"

namespace vu1mtl {

namespace {

// NaN reads as the low end.
float Clamp(float v, float lo, float hi) { return v >= lo ? (v <= hi ? v : hi) : lo; }

int Cell(float f) { return std::isfinite(f) ? int(std::floor(std::clamp(f, -1.0e6f, 1.0e6f))) : 0; }

}  // namespace

const float* WaterWave(const float p[4]) {
  // One wave a unit cell of the object's x-z plane, so that a vertex shared
  // by two batches takes the same wave.
  const int k = (Cell(p[0]) + 4 * Cell(p[2])) & (WAVE_COUNT - 1);
  return reinterpret_cast<const float*>(Vu1Quad(WAVES + k));
}

void ScreenSt(Shade shade, const Vert& v, float x, float y, float st[2]) {
  const float e0 = Field(MTL + 1, 0), e1 = Field(MTL + 1, 1), e2 = Field(MTL + 1, 2);
  const float e4 = Field(MTL + 2, 0), e5 = Field(MTL + 2, 1), e6 = Field(MTL + 2, 2), e7 = Field(MTL + 2, 3);
  switch (shade) {
    case SHADE_WATER: {
      // Entries 6, 7 hold the screen's width and height: pixel (0, 0) lies
      // at 32768 - 8 W, 32768 - 8 H; entries 4, 5 turn 1/16 pixel into the
      // copy's coordinates; entries 0, 1 the material's offsets; entry 2
      // scales the wave. Kept inside the part of the copy the screen fills.
      const float* w = WaterWave(v.p);
      st[0] = Clamp((x - 32768.0f + 8.0f * e6) * e4 + e0 + w[0] * e2, 0.0f, (e6 - 1.0f) * 16.0f * e4);
      st[1] = Clamp((y - 32768.0f + 8.0f * e7) * e5 + e1 + w[1] * e2, 0.0f, (e7 - 1.0f) * 16.0f * e5);
      return;
    }
    case SHADE_GLASS: {
      // Entries 0, 1 and 4, 5 map 1/16 pixel to the copy, 6 and 7 are its
      // last texel; entry 2 (the material's first effect value) pushes the
      // point read along the vertex's normal, object units.
      float px = x, py = y;
      if (e2 != 0.0f) {
        const float q[4] = {v.p[0] + e2 * v.n[0], v.p[1] + e2 * v.n[1], v.p[2] + e2 * v.n[2], 1.0f};
        float s[4];
        Transform(s, q, VF_SCREEN);
        if (s[3] > 0.0f) px = s[0] / s[3], py = s[1] / s[3];
      }
      st[0] = Clamp(e0 + px * e4, 0.0f, e6);
      st[1] = Clamp(e1 + py * e5, 0.0f, e7);
      return;
    }
    default: FogScreenSt(x, y, st); return;
  }
}

namespace {

// The palette block starts with its sprite's GIF tag: NLOOP 1, EOP, twelve
// registers. Anything else (no normal-map callback sent one) is not kicked.
bool PaletteBlockThere() {
  const uint32_t* t = Vu1Quad(PALETTE_BLOCK);
  return (t[0] & 0xffffu) == (0x8000u | 1u) && (t[1] >> 28) == 12u;
}

int RunScreenCopy(Vu1Run& run, Shade shade, const char* name) {
  const int entry = run.pc - run.base;
  if (shade == SHADE_NRMMAP && (entry == ENTRY_MESH || entry == ENTRY_BEZIER || entry == ENTRY_TRIANGLE) &&
      PaletteBlockThere())
    Vu1Xgkick(PALETTE_BLOCK);
  switch (entry) {
    case ENTRY_MESH: MeshBatch(run.top, shade, false); break;
    case ENTRY_BEZIER: BezierBatch(run.top, shade); break;
    case ENTRY_TRIANGLE: MeshBatch(run.top, shade, true); break;
    case IDLE: break;
    case ENTRY_SKIN: PlatFatal("%s: skinned geometry cannot be drawn with this program", name);
    case ENTRY_FACEON:
    case ENTRY_FACEY: PlatFatal("%s: sprites cannot be drawn with this program", name);
    default: PlatFatal("%s: no entry at +%d", name, entry);
  }
  return run.base + IDLE;
}

}  // namespace

}  // namespace vu1mtl

int Vu1WaterProgram(Vu1Run& run) { return vu1mtl::RunScreenCopy(run, vu1mtl::SHADE_WATER, "water"); }
int Vu1WateruvProgram(Vu1Run& run) { return vu1mtl::RunScreenCopy(run, vu1mtl::SHADE_WATERUV, "wateruv"); }
int Vu1TriglassProgram(Vu1Run& run) { return vu1mtl::RunScreenCopy(run, vu1mtl::SHADE_GLASS, "triglass"); }
int Vu1NrmmapProgram(Vu1Run& run) { return vu1mtl::RunScreenCopy(run, vu1mtl::SHADE_NRMMAP, "nrmmap"); }
