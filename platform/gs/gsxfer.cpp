// Transfers between host and local memory (BITBLTBUF, TRXPOS, TRXREG,
// TRXDIR): host-to-local data in the destination format's bits per pixel,
// local-to-host reads in the source format's, and local-to-local copies in
// the order TRXPOS.DIR asks. Coordinates wrap at 2048.
#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "gs_local.h"

namespace {

constexpr int kIdle = 3;

int XferBits(const GsPsmRow& r) { return r.bits ? r.bits : 32; }

// Pages of the rectangle at (x, y), w x h, wrapping at 2048.
void RectPagesWrapped(const GsPsmRow& r, uint32_t bp, uint32_t bw, int x, int y, int w, int h,
                      GsPageSet* set) {
  if (w <= 0 || h <= 0) return;
  int xs[2][2] = {{x, std::min(x + w, 2048) - 1}, {0, x + w - 2048 - 1}};
  int ys[2][2] = {{y, std::min(y + h, 2048) - 1}, {0, y + h - 2048 - 1}};
  for (auto& xr : xs)
    for (auto& yr : ys)
      if (xr[1] >= xr[0] && yr[1] >= yr[0])
        GsMemRectPages(r, bp, bw, xr[0], yr[0], std::min(xr[1], 2047), std::min(yr[1], 2047), set);
}

void StampDestination() {
  GsXfer& t = g_gs.xfer;
  const GsPsmRow& r = GsPsm(uint32_t(t.buf.DPSM));
  GsPageSet set;
  set.Clear();
  RectPagesWrapped(r, uint32_t(t.buf.DBP), uint32_t(t.buf.DBW), int(t.pos.DSAX), int(t.pos.DSAY),
                   int(t.reg.RRW), int(t.reg.RRH), &set);
  GsMemStampPages(set);
}

// Host to local: one pixel's bits to the next position.
inline void PutPixel(const GsPsmRow& r, uint32_t value) {
  GsXfer& t = g_gs.xfer;
  int x = (int(t.pos.DSAX) + t.x) & 2047;
  int y = (int(t.pos.DSAY) + t.y) & 2047;
  r.write(GsAddrFast(r, uint32_t(t.buf.DBP), uint32_t(t.buf.DBW), x, y), value);
  if (++t.x == int(t.reg.RRW)) {
    t.x = 0;
    if (++t.y == int(t.reg.RRH)) t.dir = kIdle;
  }
}

// Local to host: the next position's bits.
inline uint32_t GetPixel(const GsPsmRow& r) {
  GsXfer& t = g_gs.xfer;
  int x = (int(t.pos.SSAX) + t.x) & 2047;
  int y = (int(t.pos.SSAY) + t.y) & 2047;
  uint32_t v = r.read(GsAddrFast(r, uint32_t(t.buf.SBP), uint32_t(t.buf.SBW), x, y));
  if (++t.x == int(t.reg.RRW)) {
    t.x = 0;
    if (++t.y == int(t.reg.RRH)) t.dir = kIdle;
  }
  return v;
}

// Two rows of a 32-bit layout from the data, the first row even: each
// eight pixels of the pair are one column's 16 words in memory, stored
// together (pairs of neighbours alternate between the rows).
void PutRowPair32(const GsPsmRow& r, const uint8_t* row0, const uint8_t* row1) {
  GsXfer& t = g_gs.xfer;
  const uint32_t bp = uint32_t(t.buf.DBP), bw = uint32_t(t.buf.DBW);
  const int w = int(t.reg.RRW), y = (int(t.pos.DSAY) + t.y) & 2047;
  uint32_t* mem = GsMem32();
  // The address of (x, y) is the row's base, 2048 words a page across, and
  // the page table's offset.
  const uint32_t rowBase = (bp + uint32_t(y >> 5) * GsPagesPerRow(r, bw) * 32) * 64;
  const uint16_t* intra = r.intra + (y & 31) * 64;
  int i = 0;
  for (; i + 8 <= w; i += 8) {
    const int x = (int(t.pos.DSAX) + i) & 2047;
    uint32_t* d = mem + ((rowBase + (uint32_t(x >> 6) << 11) + intra[x & 63]) & r.elemMask);
#if defined(__SSE2__)
    const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row0 + i * 4));
    const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row0 + i * 4 + 16));
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row1 + i * 4));
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row1 + i * 4 + 16));
    __m128i* o = reinterpret_cast<__m128i*>(d);
    _mm_store_si128(o, _mm_unpacklo_epi64(a0, b0));
    _mm_store_si128(o + 1, _mm_unpackhi_epi64(a0, b0));
    _mm_store_si128(o + 2, _mm_unpacklo_epi64(a1, b1));
    _mm_store_si128(o + 3, _mm_unpackhi_epi64(a1, b1));
#else
    uint64_t a[4], b[4], out[8];
    memcpy(a, row0 + i * 4, 32);
    memcpy(b, row1 + i * 4, 32);
    for (int k = 0; k < 4; k++) {
      out[2 * k] = a[k];
      out[2 * k + 1] = b[k];
    }
    memcpy(d, out, 64);
#endif
  }
  for (; i < w; i++) {
    const int x = (int(t.pos.DSAX) + i) & 2047;
    uint32_t v0, v1;
    memcpy(&v0, row0 + i * 4, 4);
    memcpy(&v1, row1 + i * 4, 4);
    mem[GsAddrFast(r, bp, bw, x, y)] = v0;
    mem[GsAddrFast(r, bp, bw, x, (y + 1) & 2047)] = v1;
  }
}

void CopyLocal() {
  GsXfer& t = g_gs.xfer;
  const GsPsmRow& src = GsPsm(uint32_t(t.buf.SPSM));
  const GsPsmRow& dst = GsPsm(uint32_t(t.buf.DPSM));
  int w = int(t.reg.RRW), h = int(t.reg.RRH);
  // DIR: bit 0 walks rows from the bottom, bit 1 walks columns from the
  // right, so that an overlapping copy reads each pixel before it is
  // overwritten.
  bool up = t.pos.DIR & 1, left = t.pos.DIR & 2;
  for (int j = 0; j < h; j++) {
    int yy = up ? h - 1 - j : j;
    int sy = (int(t.pos.SSAY) + yy) & 2047, dy = (int(t.pos.DSAY) + yy) & 2047;
    for (int i = 0; i < w; i++) {
      int xx = left ? w - 1 - i : i;
      int sx = (int(t.pos.SSAX) + xx) & 2047, dx = (int(t.pos.DSAX) + xx) & 2047;
      uint32_t v = src.read(GsAddrFast(src, uint32_t(t.buf.SBP), uint32_t(t.buf.SBW), sx, sy));
      dst.write(GsAddrFast(dst, uint32_t(t.buf.DBP), uint32_t(t.buf.DBW), dx, dy), v);
    }
  }
  StampDestination();
  t.dir = kIdle;
}

}  // namespace

void GsXferReset() {
  memset(&g_gs.xfer, 0, sizeof g_gs.xfer);
  g_gs.xfer.dir = kIdle;
}

void GsXferStart(uint64_t trxdir) {
  GsXfer& t = g_gs.xfer;
  t.dir = int(GsAs<GsTRXDIR>(trxdir).XDIR);
  t.buf = GsAs<GsBITBLTBUF>(g_gs.reg[GS_BITBLTBUF]);
  t.pos = GsAs<GsTRXPOS>(g_gs.reg[GS_TRXPOS]);
  t.reg = GsAs<GsTRXREG>(g_gs.reg[GS_TRXREG]);
  t.x = t.y = 0;
  t.pending = 0;
  t.pendingBits = 0;
  t.bytesOut = 0;
  if (t.reg.RRW == 0 || t.reg.RRH == 0) t.dir = kIdle;
  if (t.dir == 2) CopyLocal();
}

void GsWriteImage(const void* data, int bytes) {
  if (g_gsQueued) GsQueuePushImage(data, bytes);
  else GsXferWriteImage(data, bytes);
}

void GsXferWriteImage(const void* data, int bytes) {
  GsXfer& t = g_gs.xfer;
  if (t.dir != 0 || bytes <= 0) return;  // no host-to-local transfer: the data is dropped
  const GsPsmRow& r = GsPsm(uint32_t(t.buf.DPSM));
  const int bits = XferBits(r);
  const uint8_t* p = static_cast<const uint8_t*>(data);
  const uint8_t* end = p + bytes;
  // 32-bit layouts: whole pairs of rows from an even row when the
  // rectangle starts on a column.
  const bool pairs = r.store == GS_ST_32 && (t.pos.DSAX & 7) == 0;
  const size_t rowBytes = size_t(t.reg.RRW) * 4;
  while (p < end && t.dir == 0) {
    if (pairs && t.x == 0 && t.pendingBits == 0 && t.y + 1 < int(t.reg.RRH) &&
        ((int(t.pos.DSAY) + t.y) & 1) == 0 && size_t(end - p) >= 2 * rowBytes) {
      PutRowPair32(r, p, p + rowBytes);
      p += 2 * rowBytes;
      t.y += 2;
      if (t.y == int(t.reg.RRH)) t.dir = kIdle;
      continue;
    }
    // Whole pixels straight from the data while no bits are carried over.
    if (t.pendingBits == 0 && bits >= 8 && end - p >= bits / 8) {
      uint32_t v = p[0];
      if (bits >= 16) v |= uint32_t(p[1]) << 8;
      if (bits >= 24) v |= uint32_t(p[2]) << 16;
      if (bits == 32) v |= uint32_t(p[3]) << 24;
      PutPixel(r, v);
      p += bits / 8;
      continue;
    }
    // Otherwise a byte at a time: 4-bit pixels (low nibble first) and
    // pixels split between data chunks.
    t.pending |= uint64_t(*p++) << t.pendingBits;
    t.pendingBits += 8;
    while (t.pendingBits >= bits && t.dir == 0) {
      PutPixel(r, uint32_t(t.pending & ((uint64_t(1) << bits) - 1)));
      t.pending >>= bits;
      t.pendingBits -= bits;
    }
  }
  StampDestination();
}

int GsReadImage(void* data, int bytes) {
  GsSync();
  GsXfer& t = g_gs.xfer;
  if (t.dir != 1 || bytes <= 0) return 0;
  const GsPsmRow& r = GsPsm(uint32_t(t.buf.SPSM));
  const int bits = XferBits(r);
  uint8_t* p = static_cast<uint8_t*>(data);
  int n = 0;
  while (n < bytes) {
    while (t.pendingBits < 8 && t.dir == 1) {
      t.pending |= uint64_t(GetPixel(r)) << t.pendingBits;
      t.pendingBits += bits;
    }
    if (t.pendingBits <= 0) {
      // The rectangle is done: pad to the end of the 64-bit unit.
      if (t.bytesOut % 8 == 0) break;
      p[n++] = 0;
      t.bytesOut++;
      continue;
    }
    p[n++] = uint8_t(t.pending);
    t.bytesOut++;
    t.pending >>= 8;
    t.pendingBits -= 8;
    if (t.pendingBits < 0) t.pendingBits = 0;
  }
  return n;
}
