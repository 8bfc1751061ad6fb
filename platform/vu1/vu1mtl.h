// Shared by the material programs (tri, tric, tricu, trica, xformuv) and
// fx2: one batch of vertices, already read from the input buffer, is
// shaded, transformed by the resident program's latches and sent as a
// triangle strip, clipping what crosses the clip volume (docs/vu1.md).
#pragma once

#include <cstdint>
#include <cstring>

#include "platform.h"

namespace vu1mtl {

// How a program colours its vertices (docs/vu1.md, "The material programs").
enum Shade {
  SHADE_LIT,
  SHADE_LIT_VERTEX,
  SHADE_UNLIT,
  SHADE_LIT_ADD,
  SHADE_XFORMUV,
  SHADE_FOG,
  SHADE_FADE,
  // The screen-copy programs (vu1water.cpp): coloured as unlit; water and
  // glass take screen-space texture coordinates, wateruv its own moved by a
  // wave, nrmmap its own.
  SHADE_WATER,
  SHADE_WATERUV,
  SHADE_GLASS,
  SHADE_NRMMAP,
};
// Programs whose texture coordinates are screen positions (Q 1).
constexpr bool ScreenSpaceSt(Shade s) { return s == SHADE_FOG || s == SHADE_WATER || s == SHADE_GLASS; }

constexpr int MAX_VERTS = 42;
// Output (relative to TOP): the strip's tag at 0xd2, vertices after it; the
// clipped fans from 0x152.
constexpr int OUT_TAG = 0xd2, OUT_FAN = 0x152;

struct Vert {
  float p[4];        // object space, w 1
  float n[3];        // object-space normal (0: none)
  float st[2];       // texture coordinates
  float rgba[4];     // the vertex colour as sent, 0..255 a channel
  bool lightable;    // false: shaded as unlit whatever the program
  bool noClose;      // closes no triangle
  float col[4];      // the shaded colour (filled by Draw)
};

// The strip tag of n vertices: EOP, PRE, triangle strip; ST, RGBAQ, XYZ2.
constexpr uint64_t StripTag(int n) {
  return uint64_t(n & 0x7fff) | 1ull << 15 | 1ull << 46 | 4ull << 47 | 3ull << 60;
}
constexpr uint64_t REGS_ST_RGBAQ_XYZ2 = 0x512;

inline float AsFloat(uint32_t w) {
  float f;
  memcpy(&f, &w, 4);
  return f;
}
inline uint32_t AsWord(float f) {
  uint32_t w;
  memcpy(&w, &f, 4);
  return w;
}
inline float Field(int qw, int i) { return AsFloat(Vu1Quad(qw)[i]); }

// Row vector p (4) times the four latched rows from vf.
void Transform(float out[4], const float p[4], int vf);

// Shades, transforms and kicks e vertices as one strip (tag: the low and
// high doublewords of its GIF tag; its NLOOP must be e), then, when the
// resident program latched clipping, the clipped triangles as fans. A
// vertex that closes a triangle draws (i - 2, i - 1, i).
void Draw(int top, Shade shade, Vert* v, int e, uint64_t tagLo, uint64_t tagHi);

// The entries every material program shares (+0x00 meshes, +0x02 skins,
// +0x04 and +0x06 sprites, +0x08 Bezier triangles, +0x0a one triangle).
// Returns where the program stops.
int Run(Vu1Run& run, Shade shade, const char* name);

// The entries' readers (vu1mesh.cpp, vu1skin.cpp, vu1sprite.cpp).
void MeshBatch(int top, Shade shade, bool oneTriangle);
void SkinPacket(int top, Shade shade, const char* name);
void FaceOnBatch(int top, Shade shade);
void FaceYBatch(int top, Shade shade);
void BezierBatch(int top, Shade shade);

// The fog dome's colour of a vertex (vu1fog.cpp): from its longitude and
// the fog tables; its texture coordinates are screen positions (Q 1).
void FogShade(Vert& x);
// Screen-space texture coordinates of a screen position (X, Y in 1/16 pixel)
// through the material's effect block.
void FogScreenSt(float x, float y, float st[2]);

// The screen-copy programs (vu1water.cpp). WaterWave: the wave vector a
// vertex takes (x', y', 1, a_x) by its object-space position. ScreenSt:
// the texture coordinates of a vertex of a water or glass batch projected
// to (X, Y) in 1/16 pixel.
const float* WaterWave(const float p[4]);
void ScreenSt(Shade shade, const Vert& v, float x, float y, float st[2]);

// Entries (instructions from the load address) and the idle point.
constexpr int ENTRY_MESH = 0x00, ENTRY_SKIN = 0x02, ENTRY_FACEON = 0x04, ENTRY_FACEY = 0x06, ENTRY_BEZIER = 0x08,
              ENTRY_TRIANGLE = 0x0a, IDLE = 0x10;

// Latches of the resident program.
constexpr int VF_SCREEN = 1, VF_CLIP = 5, VF_LIGHT = 9, VF_BLOCK = 12, VI_CLIPPING = 1, VI_MODE = 2;
// Data memory (absolute).
constexpr int LOCAL = 0, STATE = 12, LIGHT_COLOURS = 15, AMBIENT = 18, MTL = 0x13, YAW = 22;
// tricuf: the instance's fade block (r, g, b, a factors), written before each instance.
constexpr int FADE_BLOCK = 0x18;
// Water materials' wave vectors (32) and normal-map materials' palette
// block (18 quadwords), both in input buffer 0 below its strip tag.
constexpr int WAVES = 0x1b2, WAVE_COUNT = 32, PALETTE_BLOCK = 0x1c0;

}  // namespace vu1mtl
