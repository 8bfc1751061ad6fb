// zecvtsprite: sprite packets (face-on, entry 0x304; face-Y, 0x306), the
// quadratic Bezier-triangle packet (0x308) and the 160-byte triangle
// records of the renderer's triangle sorter.
#include "zecvtgeo_local.h"

#include <bit>
#include <cstring>

namespace {

inline uint32_t* Put(uint32_t* p, uint32_t w) {
  *p = w;
  return p + 1;
}

inline uint32_t* PutF(uint32_t* p, float f) { return Put(p, std::bit_cast<uint32_t>(f)); }

inline uint32_t* PutQuad(uint32_t* p, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  p[0] = a, p[1] = b, p[2] = c, p[3] = d;
  return p + 4;
}

// The clipper's fan template at absolute 0x56.
uint32_t* FanTemplate(uint32_t* p) {
  p = Put(p, 0x6c010056u);
  return PutQuad(p, 0x00008000u, 0x3002c000u, 0x00000512u, 0);
}

// Sprite colour word B, G, R, A to the packet's R, G, B, A with alpha
// halved; R, G, B through the gamma step.
uint32_t SpriteColour(uint32_t c) {
  const uint32_t rgb = (c >> 16 & 0xff) | (c >> 8 & 0xff) << 8 | (c & 0xff) << 16;
  return ZeCvtGammaWord(rgb | (c >> 25) << 24);
}

uint32_t SpriteRefColour(uint32_t c) { return (c >> 16 & 0xff) | (c >> 8 & 0xff) << 8 | (c & 0xff) << 16 | (c & 0xff000000u); }

int SpriteBytes(int header, int batch, int count, int* colourrefSize) {
  int bytes = header, refs = 8;
  for (int left = count; left > 0; left -= batch) {
    const int n = left < batch ? left : batch;
    bytes += 40 + 12 * n + 4 + 8 * n + 4 + 4 * n + 8;
    refs += 8 + 8 * n;
  }
  if (colourrefSize) *colourrefSize = refs;
  return (bytes + 15) & ~15;
}

uint32_t* Sprites(uint32_t** cursor, const ZEFACEON* s, int count, int words, const uint32_t* colourB, int facey) {
  uint32_t* start = *cursor;
  uint32_t* p = vpDmaTag_Cnt(start);
  uint32_t* tag = start;
  if (facey) {
    start[0] |= uint32_t(DMAMK_GOBJDATA) << 16;
    zecvtgeo_lasttag = start;
    p = FanTemplate(p);
  }
  const int batch = facey ? ZECVT_FACEY_BATCH : ZECVT_FACEON_BATCH;
  for (int first = 0; first < count; first += batch) {
    const int n = count - first < batch ? count - first : batch;
    const uint32_t nn = uint32_t(n) << 16;
    p = Put(p, 0x6c018000u);
    if (facey)
      p = PutQuad(p, 0x8000u + uint32_t(n), 0xc0024000u, 0x12512512u, 0x00005125u);
    else
      p = PutQuad(p, 0x8000u + uint32_t(n), 0x50034000u, 0x00052521u, 0);
    p = Put(p, 0x6d018001u);
    p = Put(p, uint32_t(3 * n));
    p = Put(p, 0);
    p = Put(p, 0x01000103u);
    p = Put(p, 0x68008004u + nn);
    for (int i = 0; i < n; i++) {
      p = PutF(p, s[first + i].pos.x);
      p = PutF(p, s[first + i].pos.y);
      p = PutF(p, s[first + i].pos.z);
    }
    p = Put(p, 0x64008005u + nn);
    for (int i = 0; i < n; i++) {
      const ZEFACEON& f = s[first + i];
      if (facey) {
        p = PutF(p, f.width * 0.5f);
        p = PutF(p, f.height * 0.5f);
      } else {
        // The screen factors, multiplied in this order in single precision.
        float w = -f.width * 1960.0f;
        w = w * 640.0f;
        w = w * 0.00390625f;
        p = PutF(p, w);
        p = PutF(p, -f.height * 2300.0f);
      }
    }
    p = Put(p, 0x6e00c006u + nn);
    ZeCvtGeoStartColourRef(p, words);
    for (int i = 0; i < n; i++) {
      const uint32_t c = s[first + i].colour;
      p = Put(p, SpriteColour(c));
      ZeCvtGeoAddColourRef(SpriteRefColour(c), colourB ? colourB[first + i] : 0, 0, first + i, g_vertex_count, words);
    }
    p = Put(p, 0x01000101u);
    p = Put(p, facey ? 0x14000306u : 0x14000304u);
  }
  ps2dma_dt_curr = tag;
  *cursor = vpDmaTag_Close(p);
  return start;
}

}  // namespace

uint32_t* ZeCvtDmaFaceOn(uint32_t** cursor, const ZEFACEON* sprites, int count, int words, const uint32_t* colourB) {
  return Sprites(cursor, sprites, count, words, colourB, 0);
}

uint32_t* ZeCvtDmaFaceY(uint32_t** cursor, const ZEFACEON* sprites, int count, int words, const uint32_t* colourB) {
  return Sprites(cursor, sprites, count, words, colourB, 1);
}

int ZeCvtSizeDmaFaceOn(const ZEFACEON*, int count, int, int* colourrefSize) {
  return SpriteBytes(16, ZECVT_FACEON_BATCH, count, colourrefSize);
}

int ZeCvtSizeDmaFaceY(const ZEFACEON*, int count, int, int* colourrefSize) {
  return SpriteBytes(36, ZECVT_FACEY_BATCH, count, colourrefSize);
}

// ---- Bezier triangles -----------------------------------------------------

namespace {

void CheckCorners(int corners) {
  if (corners < 0 || corners % 3) ZeError("%d Bezier corners: three a patch", corners);
}

int BezBatchBytes(int n) { return 20 + 20 + 12 + 4 + (4 + 16 * n) + (4 + 8 * n) + (4 + 4 * n) + 4 + 20 + (4 + 12 * n) + 4; }

uint8_t Scaled(uint8_t c, int k) { return uint8_t(c * k > 255 ? 255 : c * k); }

}  // namespace

int ZeCvtSizeDmaBezTriCFromIdx(const int16_t*, int corners) {
  CheckCorners(corners);
  int bytes = 16;
  for (int left = corners; left > 0; left -= ZECVT_BEZ_BATCH) bytes += BezBatchBytes(left < ZECVT_BEZ_BATCH ? left : ZECVT_BEZ_BATCH);
  return (bytes + 15) & ~15;
}

uint32_t* ZeCvtDmaBezTriCFromIdx(uint32_t** cursor, const ZEVTX* vtx, const int16_t* idx, int corners) {
  CheckCorners(corners);
  static constexpr int kCorner[3] = {0, 3, 5}, kEdge[3] = {1, 2, 4};
  uint32_t* start = *cursor;
  uint32_t* p = vpDmaTag_Cnt(start);
  start[0] |= uint32_t(DMAMK_GOBJDATA) << 16;
  zecvtgeo_lasttag = start;
  for (int first = 0; first < corners; first += ZECVT_BEZ_BATCH) {
    const int n = corners - first < ZECVT_BEZ_BATCH ? corners - first : ZECVT_BEZ_BATCH;
    const uint32_t nn = uint32_t(n) << 16;
    const int16_t* patch0 = idx + first / 3 * 6;
    auto corner = [&](int i) -> const ZEVTX& { return vtx[patch0[i / 3 * 6 + kCorner[i % 3]]]; };
    p = Put(p, 0x6c0180d2u);
    p = PutQuad(p, 0x8000u + uint32_t(n), 0x3001c000u, 0x512, 0);
    p = Put(p, 0x6c018001u);
    p = PutQuad(p, 0x00008003u, 0x3001c000u, 0x512, 0);
    p = Put(p, 0x6d018002u);
    p = Put(p, uint32_t(3 * n));
    p = Put(p, 0);
    p = Put(p, 0x01000103u);
    p = Put(p, 0x6c008003u + nn);
    for (int i = 0; i < n; i++) {
      const ZEVTX& v = corner(i);
      p = PutF(p, v.pos.x), p = PutF(p, v.pos.y), p = PutF(p, v.pos.z), p = PutF(p, v.normal.x);
    }
    p = Put(p, 0x6d008004u + nn);
    for (int i = 0; i < n; i++) {
      const int base = i - i % 3;
      float mu = corner(base).u, mv = corner(base).v;
      for (int k = 1; k < 3; k++) {
        if (corner(base + k).u < mu) mu = corner(base + k).u;
        if (corner(base + k).v < mv) mv = corner(base + k).v;
      }
      const ZEVTX& v = corner(i);
      const float bu = ZeFloor(mu), bv = ZeFloor(mv);
      auto fix = [](float f) { return uint32_t(uint16_t(int16_t(EeFtoi(f * 4096.0f)))); };
      p = Put(p, fix(v.u - bu) | fix(v.v - bv) << 16);
      p = Put(p, fix(v.normal.y) | fix(v.normal.z) << 16);
    }
    p = Put(p, 0x6e00c005u + nn);
    for (int i = 0; i < n; i++) {
      uint8_t c[4];
      memcpy(c, &corner(i).colour, 4);
      p = Put(p, uint32_t(Scaled(c[0], 16)) | uint32_t(Scaled(c[1], 16)) << 8 | uint32_t(Scaled(c[2], 16)) << 16 |
                     uint32_t(Scaled(c[3], 128)) << 24);
    }
    p = Put(p, 0x01000101u);
    p = Put(p, 0x6c018000u + uint32_t(3 * n + 3));
    p = PutQuad(p, 0x8000u + uint32_t(4 * n), 0x3001c000u, 0x512, 0);
    p = Put(p, 0x68008000u + uint32_t(3 * n + 4) + nn);
    for (int i = 0; i < n; i++) {
      const ZEVTX& e = vtx[patch0[i / 3 * 6 + kEdge[i % 3]]];
      p = PutF(p, e.pos.x), p = PutF(p, e.pos.y), p = PutF(p, e.pos.z);
    }
    p = Put(p, 0x14000308u);
  }
  ps2dma_dt_curr = start;
  *cursor = vpDmaTag_Close(p);
  return start;
}

// ---- triangle-sorter records ----------------------------------------------

namespace {

// One 160-byte record: a ref tag that unpacks the nine quadwords after it
// to +3, then per corner position, texture and colour.
void TriRecord(uint32_t* r, const ZEVTX* vtx, const int v[3], const ZEMTL* mtl) {
  const int lighting = mtl ? int(mtl->attributes >> ZEMTLATTR_LIGHTING & 3) : 0;
  const int vtxcol = mtl ? ZeCvtMtlVtxCol(mtl) : 0;
  const float alpha = mtl ? mtl->alpha : 1.0f;
  r[0] = 9u | uint32_t(DMATAG_REF) << 28;
  r[1] = EeAddrOf(r + 4);
  r[2] = 0;
  r[3] = 0x6c098003u;
  if (vtxcol && colourref_enabled) ZeCvtGeoStartColourRef(r, nprelight_sets);
  for (int k = 0; k < 3; k++) {
    const ZEVTX& p = vtx[v[k]];
    uint32_t* q = r + 4 + 12 * k;
    uint32_t w = std::bit_cast<uint32_t>(p.normal.x);
    if (lighting == 2)
      w = (w & 0xffff0000u) | (k < 2 ? ZECVT_NOCLOSE : 0);
    else
      w = (w & 0xffffff00u) | (k < 2 ? 1 : 0);
    q[0] = std::bit_cast<uint32_t>(p.pos.x);
    q[1] = std::bit_cast<uint32_t>(p.pos.y);
    q[2] = std::bit_cast<uint32_t>(p.pos.z);
    q[3] = w;
    q[4] = uint32_t(EeFtoi(p.u * 4096.0f));
    q[5] = uint32_t(EeFtoi(p.v * 4096.0f));
    q[6] = uint32_t(EeFtoi(p.normal.y * 4096.0f));
    q[7] = uint32_t(EeFtoi(p.normal.z * 4096.0f));
    uint8_t c[4];
    if (vtxcol) {
      memcpy(c, &p.colour, 4);
      c[3] >>= 1;
    } else if (lighting == 2) {
      for (int i = 0; i < 3; i++) c[i] = uint8_t(EeFtoi(mtl->diffuse[i] * 255.0f));
      c[3] = uint8_t(EeFtoi(alpha * 127.0f));
    } else {
      c[0] = c[1] = c[2] = 0;
      c[3] = uint8_t(EeFtoi(alpha * 127.0f));
    }
    GammaCorrect(c);
    for (int i = 0; i < 4; i++) q[8 + i] = c[i];
    if (vtxcol && colourref_enabled) {
      uint8_t b[4];
      memcpy(b, &p.colour, 4);
      for (int i = 0; i < 3; i++) b[i] = uint8_t(EeFtoi(float(b[i]) * 0.3f));
      uint32_t cb;
      memcpy(&cb, b, 4);
      ZeCvtGeoAddColourRef(p.colour, cb, 0, v[k], g_vertex_count, nprelight_sets);
    }
  }
}

int Finish(uint32_t** cursor, uint32_t* r, int tris) {
  if (reinterpret_cast<uintptr_t>(r) & 15) ZeError("Blaaargh");
  *cursor = r;
  return tris;
}

}  // namespace

int ZeCvtTriStreamCFromIdx(uint32_t** cursor, const ZEVTX* vtx, const int16_t* idx, int count, ZEMTL* mtl) {
  uint32_t* r = *cursor;
  int tris = 0;
  for (int i = 0; i + 3 <= count; i += 3, tris++, r += ZECVT_TRISTREAM_RECORD / 4) {
    const int v[3] = {idx[i], idx[i + 1], idx[i + 2]};
    TriRecord(r, vtx, v, mtl);
  }
  return Finish(cursor, r, tris);
}

int ZeCvtTriStripStreamCFromIdx(uint32_t** cursor, const ZEVTX* vtx, const int16_t* idx, int count, ZEMTL* mtl) {
  uint32_t* r = *cursor;
  int tris = 0;
  for (int pos = 0; pos < count;) {
    const int len = idx[pos];
    if (len < 0 || pos + 1 + len > count) ZeError("strip of %d vertices runs past its %d-halfword list", len, count);
    const int16_t* s = idx + pos + 1;
    // Each index after the first two makes (previous two, new), without
    // alternating the winding.
    for (int k = 2; k < len; k++, tris++, r += ZECVT_TRISTREAM_RECORD / 4) {
      const int v[3] = {s[k - 2], s[k - 1], s[k]};
      TriRecord(r, vtx, v, mtl);
    }
    pos += 1 + len;
  }
  return Finish(cursor, r, tris);
}
