// The GIF: one tag reader per path, turning PACKED, REGLIST and IMAGE data
// into GS register writes and image transfers.
#include "platform.h"

#include <cstring>

namespace {

struct Path {
  bool inTag = false;  // a tag's data is being received
  bool idle = true;    // between packets
  bool eop = false;
  uint32_t flg = 0;
  uint32_t nreg = 0;   // registers per loop (NREG 0 is 16)
  uint32_t nloop = 0;  // loops left (PACKED), quadwords left (IMAGE)
  uint32_t items = 0;  // REGLIST: 64-bit items left
  uint32_t reg = 0;    // register index within the loop
  uint64_t regs = 0;
};

Path g_path[4];
uint32_t g_q = 0x3f800000;  // Q from the last ST, as float bits (1.0)
uint32_t g_mode;

uint32_t Desc(const Path& p) { return uint32_t(p.regs >> (4 * p.reg)) & 15; }

void EndTagData(Path& p) {
  p.inTag = false;
  p.idle = p.eop;
}

void Tag(Path& p, uint64_t lo, uint64_t hi) {
  p.eop = GIF_TAG::EOP::get(lo) != 0;
  p.flg = uint32_t(GIF_TAG::FLG::get(lo));
  p.nreg = uint32_t(GIF_TAG::NREG::get(lo));
  if (p.nreg == 0) p.nreg = 16;
  p.nloop = uint32_t(GIF_TAG::NLOOP::get(lo));
  p.regs = hi;
  p.reg = 0;
  p.idle = false;
  // Q starts at 1.0 with every tag; ST data changes it.
  g_q = 0x3f800000;
  if (p.flg == GIF_PACKED && GIF_TAG::PRE::get(lo)) GsWriteReg(GS_PRIM, GIF_TAG::PRIM::get(lo));
  if (p.flg == GIF_REGLIST) p.items = p.nloop * p.nreg;
  if (p.nloop == 0) EndTagData(p);
  else p.inTag = true;
}

// One PACKED quadword under register descriptor d.
void Packed(uint32_t d, const uint32_t w[4], uint64_t lo, uint64_t hi) {
  switch (d) {
    case 0x0: GsWriteReg(GS_PRIM, lo & 0x7ff); break;
    case 0x1:
      GsWriteReg(GS_RGBAQ, uint64_t(w[0] & 0xff) | uint64_t(w[1] & 0xff) << 8 | uint64_t(w[2] & 0xff) << 16 |
                               uint64_t(w[3] & 0xff) << 24 | uint64_t(g_q) << 32);
      break;
    case 0x2:
      g_q = w[2];  // carried to the next RGBAQ
      GsWriteReg(GS_ST, uint64_t(w[0]) | uint64_t(w[1]) << 32);
      break;
    case 0x3: GsWriteReg(GS_UV, uint64_t(w[0] & 0x3fff) | uint64_t(w[1] & 0x3fff) << 16); break;
    case 0x4: {
      // ADC (bit 111) selects the drawing-kick-free XYZF3.
      uint64_t v = uint64_t(w[0] & 0xffff) | uint64_t(w[1] & 0xffff) << 16 | uint64_t((w[2] >> 4) & 0xffffff) << 32 |
                   uint64_t((w[3] >> 4) & 0xff) << 56;
      GsWriteReg((w[3] >> 15) & 1 ? GS_XYZF3 : GS_XYZF2, v);
      break;
    }
    case 0x5: {
      uint64_t v = uint64_t(w[0] & 0xffff) | uint64_t(w[1] & 0xffff) << 16 | uint64_t(w[2]) << 32;
      GsWriteReg((w[3] >> 15) & 1 ? GS_XYZ3 : GS_XYZ2, v);
      break;
    }
    case 0x6: case 0x7: case 0x8: case 0x9: case 0xc: case 0xd:
      GsWriteReg(int(d), lo);  // the register's own format, in the low 64 bits
      break;
    case GIF_DESC_FOG: GsWriteReg(GS_FOG, uint64_t((w[3] >> 4) & 0xff) << 56); break;
    case GIF_DESC_AD: GsWriteReg(int(hi & 0xff), lo); break;
    default: break;  // 0xb (reserved) and NOP
  }
}

void RegList(uint32_t d, uint64_t v) {
  // A+D, NOP and the reserved descriptor write nothing in REGLIST mode.
  if (d == GIF_DESC_AD || d == GIF_DESC_NOP || d == 0xb) return;
  GsWriteReg(int(d), v);
}

Path& PathOf(int path) {
  if (path < 1 || path > 3) PlatFatal("GIF: there is no path %d", path);
  return g_path[path];
}

}  // namespace

void GifReset() {
  for (Path& p : g_path) p = Path{};
  g_q = 0x3f800000;
}

void GifWrite(int path, const void* qwords, int count) {
  Path& p = PathOf(path);
  const uint8_t* b = static_cast<const uint8_t*>(qwords);
  while (count > 0) {
    if (!p.inTag) {
      uint64_t lo, hi;
      memcpy(&lo, b, 8);
      memcpy(&hi, b + 8, 8);
      Tag(p, lo, hi);
      b += 16;
      count--;
      continue;
    }
    if (p.flg == GIF_IMAGE || p.flg == GIF_DISABLE) {  // FLG 3 works as IMAGE
      uint32_t n = uint32_t(count) < p.nloop ? uint32_t(count) : p.nloop;
      GsWriteImage(b, int(n * 16));
      b += n * 16;
      count -= int(n);
      p.nloop -= n;
      if (p.nloop == 0) EndTagData(p);
      continue;
    }
    uint32_t w[4];
    uint64_t lo, hi;
    memcpy(w, b, 16);
    memcpy(&lo, b, 8);
    memcpy(&hi, b + 8, 8);
    b += 16;
    count--;
    if (p.flg == GIF_PACKED) {
      Packed(Desc(p), w, lo, hi);
      if (++p.reg == p.nreg) {
        p.reg = 0;
        if (--p.nloop == 0) EndTagData(p);
      }
    } else {
      // REGLIST: two 64-bit items a quadword; an odd count leaves the last
      // quadword's upper half as padding.
      const uint64_t items[2] = {lo, hi};
      for (uint64_t v : items) {
        if (p.items == 0) break;
        RegList(Desc(p), v);
        p.items--;
        if (++p.reg == p.nreg) p.reg = 0;
      }
      if (p.items == 0) EndTagData(p);
    }
  }
}

bool GifPathIdle(int path) {
  const Path& p = PathOf(path);
  return !p.inTag && p.idle;
}

uint32_t GifRegRead(uint32_t addr) {
  switch (addr) {
    case GIF_CTRL: return 0;
    case GIF_MODE: return g_mode;
    case GIF_STAT: return g_mode & 5;  // M3R and IMT; no path is ever active between calls
    default: PlatFatal("register %08x is not modelled", addr);
  }
}

void GifRegWrite(uint32_t addr, uint32_t value) {
  switch (addr) {
    case GIF_CTRL:
      if (value & 1) GifReset();
      return;
    case GIF_MODE: g_mode = value & 5; return;
    default: PlatFatal("register %08x is not writable here", addr);
  }
}
