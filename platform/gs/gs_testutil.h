// Helpers for the GS model's tests: transfers, small targets, register
// set-up by field names, and images compared as small hex pictures.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "gs_local.h"

inline int GsTestBits(int psm) {
  int b = GsPsm(uint32_t(psm)).bits;
  return b ? b : 32;
}

// Starts a transfer of a w x h rectangle at (x, y): direction 0 host to
// local (destination fields), 1 local to host (source fields).
inline void GsTestStartTransfer(int dir, int psm, uint32_t bp, uint32_t bw, int x, int y, int w, int h) {
  GsBITBLTBUF b{};
  GsTRXPOS p{};
  if (dir == 0) {
    b.DBP = bp;
    b.DBW = bw;
    b.DPSM = uint32_t(psm);
    p.DSAX = uint32_t(x);
    p.DSAY = uint32_t(y);
  } else {
    b.SBP = bp;
    b.SBW = bw;
    b.SPSM = uint32_t(psm);
    p.SSAX = uint32_t(x);
    p.SSAY = uint32_t(y);
  }
  GsTRXREG r{};
  r.RRW = uint32_t(w);
  r.RRH = uint32_t(h);
  GsWriteReg(GS_BITBLTBUF, GsBits(b));
  GsWriteReg(GS_TRXPOS, GsBits(p));
  GsWriteReg(GS_TRXREG, GsBits(r));
  GsWriteReg(GS_TRXDIR, uint64_t(dir));
}

// Host to local through BITBLTBUF/TRXPOS/TRXREG/TRXDIR and IMAGE data.
inline void GsTestUpload(int psm, uint32_t bp, uint32_t bw, int x, int y, int w, int h,
                         const uint32_t* pixels, int chunk = 0) {
  GsTestStartTransfer(0, psm, bp, bw, x, y, w, h);
  int bits = GsTestBits(psm);
  std::vector<uint8_t> data;
  uint64_t acc = 0;
  int n = 0;
  for (int i = 0; i < w * h; i++) {
    acc |= uint64_t(pixels[i] & (bits == 32 ? 0xffffffffu : (1u << bits) - 1)) << n;
    n += bits;
    while (n >= 8) {
      data.push_back(uint8_t(acc));
      acc >>= 8;
      n -= 8;
    }
  }
  if (n) data.push_back(uint8_t(acc));
  while (data.size() % 8) data.push_back(0);
  if (chunk <= 0) chunk = int(data.size());
  for (size_t i = 0; i < data.size(); i += size_t(chunk))
    GsWriteImage(data.data() + i, int(std::min(data.size() - i, size_t(chunk))));
}

// Local to host; the pixels in their format's bits.
inline std::vector<uint32_t> GsTestDownload(int psm, uint32_t bp, uint32_t bw, int x, int y, int w,
                                            int h) {
  GsTestStartTransfer(1, psm, bp, bw, x, y, w, h);
  int bits = GsTestBits(psm);
  std::vector<uint8_t> data((size_t(w) * h * bits / 8 + 16) & ~size_t(7));
  int got = GsReadImage(data.data(), int(data.size()));
  data.resize(size_t(got));
  std::vector<uint32_t> out;
  uint64_t acc = 0;
  int n = 0;
  size_t i = 0;
  while (int(out.size()) < w * h) {
    while (n < bits && i < data.size()) {
      acc |= uint64_t(data[i++]) << n;
      n += 8;
    }
    if (n < bits) break;
    out.push_back(uint32_t(acc & (bits == 32 ? 0xffffffffu : (1u << bits) - 1)));
    acc >>= bits;
    n -= bits;
  }
  return out;
}

// Equal images, or a failure showing both as hex pictures around the
// first difference (at most 16 x 16 pixels).
inline testing::AssertionResult GsTestSameImage(const std::vector<uint32_t>& want,
                                                const std::vector<uint32_t>& got, int w, int h) {
  if (want.size() != got.size())
    return testing::AssertionFailure() << "sizes " << want.size() << " and " << got.size();
  int first = -1;
  int count = 0;
  for (size_t i = 0; i < want.size(); i++)
    if (want[i] != got[i]) {
      if (first < 0) first = int(i);
      count++;
    }
  if (first < 0) return testing::AssertionSuccess();
  int fx = first % w, fy = first / w;
  int x0 = std::max(0, std::min(fx - 4, w - 16)), y0 = std::max(0, std::min(fy - 4, h - 16));
  std::string s = std::to_string(count) + " pixels differ, first at (" + std::to_string(fx) +
                  ", " + std::to_string(fy) + "); from (" + std::to_string(x0) + ", " +
                  std::to_string(y0) + ") wanted / got:\n";
  char buf[16];
  for (int y = y0; y < std::min(h, y0 + 16); y++) {
    for (int pass = 0; pass < 2; pass++) {
      for (int x = x0; x < std::min(w, x0 + 16); x++) {
        uint32_t v = (pass ? got : want)[size_t(y) * w + x];
        snprintf(buf, sizeof buf, "%8x%c", v, (pass && v != want[size_t(y) * w + x]) ? '*' : ' ');
        s += buf;
      }
      s += pass ? "\n" : " | ";
    }
  }
  return testing::AssertionFailure() << s;
}

// A w x h region of a buffer read through a format.
inline std::vector<uint32_t> GsTestRead(int psm, uint32_t bp, uint32_t bw, int w, int h, int x0 = 0,
                                        int y0 = 0) {
  std::vector<uint32_t> v;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) v.push_back(GsMemReadPixel(psm, bp, bw, x0 + x, y0 + y));
  return v;
}

// ---- drawing set-up by field names ----

inline void GsTestFrame(int ctxt, uint32_t fbp, uint32_t fbw, int psm, uint32_t fbmsk = 0) {
  GsFRAME f{};
  f.FBP = fbp;
  f.FBW = fbw;
  f.PSM = uint32_t(psm);
  f.FBMSK = fbmsk;
  GsWriteReg(GS_FRAME_1 + ctxt, GsBits(f));
}
inline void GsTestZbuf(int ctxt, uint32_t zbp, int psm, bool zmsk) {
  GsZBUF z{};
  z.ZBP = zbp;
  z.PSM = uint32_t(psm) & 15;
  z.ZMSK = zmsk;
  GsWriteReg(GS_ZBUF_1 + ctxt, GsBits(z));
}
inline void GsTestScissor(int ctxt, int x0, int x1, int y0, int y1) {
  GsSCISSOR s{};
  s.SCAX0 = uint32_t(x0);
  s.SCAX1 = uint32_t(x1);
  s.SCAY0 = uint32_t(y0);
  s.SCAY1 = uint32_t(y1);
  GsWriteReg(GS_SCISSOR_1 + ctxt, GsBits(s));
}
inline GsTEST GsTestAlways() {
  GsTEST t{};
  t.ZTE = 1;
  t.ZTST = 1;
  return t;
}
// A plain target: frame at page `fbp`, w pixels wide (multiple of 64 by
// FBW), scissor w x h, no offset, depth test always, depth writes off.
inline void GsTestTarget(int ctxt, uint32_t fbp, int psm, int w, int h) {
  GsTestFrame(ctxt, fbp, uint32_t((w + 63) / 64), psm);
  GsTestZbuf(ctxt, 0, PSMZ32, true);
  GsTestScissor(ctxt, 0, w - 1, 0, h - 1);
  GsWriteReg(GS_XYOFFSET_1 + ctxt, 0);
  GsWriteReg(GS_TEST_1 + ctxt, GsBits(GsTestAlways()));
  GsWriteReg(GS_PRMODECONT, 1);
}

inline uint64_t GsTestPrim(int type, bool iip = false, bool tme = false, bool abe = false,
                           bool fst = false, int ctxt = 0) {
  GsPRIM p{};
  p.PRIM = uint32_t(type);
  p.IIP = iip;
  p.TME = tme;
  p.ABE = abe;
  p.FST = fst;
  p.CTXT = uint32_t(ctxt);
  return GsBits(p);
}
inline uint64_t GsTestRgbaq(uint32_t rgba, float q = 1.0f) {
  uint32_t qb;
  memcpy(&qb, &q, 4);
  return rgba | uint64_t(qb) << 32;
}
inline uint64_t GsTestSt(float s, float t) {
  uint32_t sb, tb;
  memcpy(&sb, &s, 4);
  memcpy(&tb, &t, 4);
  return sb | uint64_t(tb) << 32;
}
inline uint64_t GsTestUv(int u, int v) { return uint64_t(u) | uint64_t(v) << 16; }
// XYZ2 with X, Y in 1/16 pixel.
inline uint64_t GsTestXyz(int x16, int y16, uint32_t z = 0) {
  return uint64_t(uint16_t(x16)) | uint64_t(uint16_t(y16)) << 16 | uint64_t(z) << 32;
}
inline void GsTestVertex(int x16, int y16, uint32_t z = 0, bool kick = true) {
  GsWriteReg(kick ? GS_XYZ2 : GS_XYZ3, GsTestXyz(x16, y16, z));
}
// A flat sprite in whole pixels [x0, x1) x [y0, y1).
inline void GsTestSprite(int x0, int y0, int x1, int y1, uint32_t rgba, uint32_t z = 0) {
  GsWriteReg(GS_PRIM, GsTestPrim(6));
  GsWriteReg(GS_RGBAQ, GsTestRgbaq(rgba));
  GsTestVertex(x0 * 16, y0 * 16, z);
  GsTestVertex(x1 * 16, y1 * 16, z);
}
