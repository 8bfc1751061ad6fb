// Shared by the light unit's files: REGLIST sprite words and the surface
// numbers the passes name.
#pragma once

#include "zerndr_local.h"
#include "zestream_local.h"
#include "zetex_local.h"

// Surfaces by role.
enum {
  ZELGT_DEPTHCOPY = 1,   // Z24: the reduced depth copy (first temporary block)
  ZELGT_SECOND = 2,      // CT32: the second temporary block
  ZELGT_Z32VIEW = 3,     // Z32 view of block 1
  ZELGT_CT32VIEW1 = 8,   // CT32 view of block 1
  ZELGT_FADECOPY = 26,   // CT32 view of block 2: the untinted frame
};

inline uint64_t ZeLgtRgbaq(uint32_t c) { return uint64_t(c) | uint64_t(0x3f800000u) << 32; }
inline uint64_t ZeLgtSt(float s, float t) {
  return uint64_t(ZeRndrFloatBits(s)) | uint64_t(ZeRndrFloatBits(t)) << 32;
}
inline uint64_t ZeLgtXyz(int x, int y, uint32_t z) {
  return (uint64_t(uint32_t(x)) & 0xffff) | (uint64_t(uint32_t(y)) & 0xffff) << 16 | uint64_t(z) << 32;
}

// One REGLIST sprite {PRIM 6, RGBAQ, ST, XYZ2, ST, XYZ2} in GS coordinates.
uint32_t* ZeLgtSpriteRegs(uint32_t* p, float s0, float t0, int x0, int y0, int x1, int y1, uint32_t colour, uint32_t z,
                          float s1, float t1);
// A cnt packet of one A+D GIF tag: FRAME_1 of the texture's memory in its
// format with the mask, and ZBUF_1 when zpsm >= 0.
uint32_t* ZeLgtModePacket(uint32_t* p, ZETEXID frameTex, uint32_t framemask, ZETEXID zTex, int zpsm, int zmask);
// Draws through mtl into the stream: the material made current afresh, then
// ALPHA_1 when alpha is not ~0.
void ZeLgtUseMtl(ZERNDRSTREAM* s, ZEMTL* mtl, uint64_t alpha);
// Sprites of REGLIST words in one DIRECT packet; returns where the sprites go.
uint32_t* ZeLgtOpenSprites(ZERNDRSTREAM* s);
void ZeLgtCloseSprites(ZERNDRSTREAM* s, uint32_t* end);
// Column blocks of at most 64 pixels ending on multiples of 64, from x0 to
// x1 (pixels) in rows y0 to y1 of the current target: one sprite each.
uint32_t* ZeLgtColumnSprites(uint32_t* p, int x0, int x1, int y0, int y1, uint32_t colour, uint32_t z, float su,
                             float tv);
// The target's top-left corner in GS units.
int ZeLgtX0();
int ZeLgtY0();

// The index bits: with block 1 (surface 8's memory) as a 24-bit depth
// buffer (writes masked), the top byte of each pixel of target index in
// columns x0..x1, rows y0..y1 becomes 255 - ((Z - base) >> k) for its depth
// Z in the window (255 below it, 0 above). The depth bits are cleared
// through surface 1's Z24 view, or surface 8 when the rectangle is whole;
// clearPacket, when not null, draws every clear.
void ZeLgtIndexBits(ZERNDRSTREAM* s, ZETEXID index, bool whole, ZELGTWINDOW w, int x0, int x1, int y0, int y1,
                    const uint32_t* clearPacket);
// The effect stream linked with a material (null: keep the current one),
// ALPHA_1 when alpha is not ~0, an identity local matrix with clipping, the
// view and effect program 1.
ZERNDRSTREAM* ZeLgtBeginFx(ZEMTL* mtl, uint64_t alpha);

// Quadwords of a normal-map material's palette block at VU 0x1c0: it ends at
// 0x1d1, below input buffer 0's strip tag (0x1d2).
constexpr int ZENRMMAP_BLOCK = 18;
static_assert(0x1c0 + ZENRMMAP_BLOCK <= 0x100 + 0xd2);

// A trail's quads (ZeRndrTrail): two of four vertices for each segment
// between valid entries of the ring, coloured to fade at the strips' ends.
// Returns the vertices written (at most ZERNDR_TRAIL_VERTS).
constexpr int ZERNDR_TRAIL_VERTS = 8 * 256;
int ZeRndrTrailVerts(int head, const ZERNDRTRAIL* ring, int size, ZEVTX* v);
