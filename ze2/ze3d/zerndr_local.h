// Shared by the zerndr module's files: the 2-D stream protocol, packet
// writers and the screen offsets of the two coordinate bases.
#pragma once

#include <cstring>

#include "ze3d.h"

constexpr uint32_t VIFCODE_NOP = 0x00000000;
constexpr uint32_t VIFCODE_FLUSHE = 0x10000000;
constexpr uint32_t VIFCODE_MSCAL = 0x14000000;
constexpr uint32_t VIFCODE_STCYCL = 0x01000000;

enum { GS_PRIM_POINT = 0, GS_PRIM_LINE = 1, GS_PRIM_LINESTRIP = 2, GS_PRIM_TRI = 3, GS_PRIM_TRISTRIP = 4,
       GS_PRIM_TRIFAN = 5, GS_PRIM_SPRITE = 6 };
enum { GSR_PRIM = 0, GSR_RGBAQ = 1, GSR_ST = 2, GSR_XYZ2 = 5 };

// The material a 2-D or a 3-D call draws with (a null one: the default).
ZEMTL* ZeRndrMtl2d(ZEMTL* mtl);
ZEMTL* ZeRndrMtl3d(ZEMTL* mtl);
// The material's embedded stream; fatal for none.
ZERNDRSTREAM* ZeRndrMtlStream(ZEMTL* mtl);

// Links the 2-D stream, brings its state up to date and makes the material
// current; returns the stream's write position.
uint32_t* ZeRndrBegin2d(ZEMTL* mtl);
// The packet ended at end (DMA tag closed): it becomes the stream's write
// position and an open next tag ends the segment.
void ZeRndrEndSegment(ZERNDRSTREAM* s, uint32_t* end);

// A cnt tag with VIF codes vif0 and DIRECT (its marker in byte 2) opening
// an A+D GIF packet; ZeRndrCloseAd closes all three.
uint32_t* ZeRndrOpenAd(uint32_t* p, uint32_t vif0, uint32_t marker);
uint32_t* ZeRndrCloseAd(uint32_t* p);

// Builds zerndr_skin_reset_packet (the renderer's start-up).
void ZeRndrBuildSkinResetPacket();

// Offsets that move the top-left corner to its GS position: the display's
// and the current render target's.
int ZeRndrDisplayOffsetX();
int ZeRndrDisplayOffsetY();
int ZeRndrTargetOffsetX();
int ZeRndrTargetOffsetY();

inline uint32_t ZeRndrFloatBits(float f) {
  uint32_t w;
  memcpy(&w, &f, 4);
  return w;
}
inline uint32_t* ZeRndrPutQ(uint32_t* p, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  p[0] = a;
  p[1] = b;
  p[2] = c;
  p[3] = d;
  return p + 4;
}
// Packed register data.
inline uint32_t* ZeRndrPutRgba(uint32_t* p, ZECOLOUR32 c) {
  return ZeRndrPutQ(p, c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff, c >> 24);
}
inline uint32_t* ZeRndrPutSt(uint32_t* p, float s, float t, float q) {
  return ZeRndrPutQ(p, ZeRndrFloatBits(s), ZeRndrFloatBits(t), ZeRndrFloatBits(q), 0);
}
inline uint32_t* ZeRndrPutXyz(uint32_t* p, int x, int y, int z) {
  return ZeRndrPutQ(p, uint32_t(x) & 0xffff, uint32_t(y) & 0xffff, uint32_t(z), 0);
}
// A+D data.
inline uint32_t* ZeRndrPutAd(uint32_t* p, int reg, uint64_t value) {
  return ZeRndrPutQ(p, uint32_t(value), uint32_t(value >> 32), uint32_t(reg), 0);
}
// REGLIST doublewords.
inline uint32_t* ZeRndrPutD(uint32_t* p, uint64_t v) {
  p[0] = uint32_t(v);
  p[1] = uint32_t(v >> 32);
  return p + 2;
}
