// ps2dma, chain inspection: a walker that follows a DMA chain as the DMA
// controller does and prints or decodes its packets, the VIF and GIF
// decoders it uses, and a checksum over a chain.
#include "zeps2.h"
#include "zecore.h"

#include <cstdio>
#include <cstring>

int debug_dma_level = 0;

namespace {

constexpr int MAX_DEPTH = 2;                       // the controller's call stack
constexpr uint64_t MAX_TAGS = uint64_t(1) << 22;  // a chain longer than this loops

const char* const TAG_NAMES[8] = {"REFE", "CNT ", "NEXT", "REF ", "REFS", "CALL", "RET ", "END "};

uint32_t Id(const uint32_t* tag) { return (tag[0] >> 28) & 7; }
uint32_t Qwc(const uint32_t* tag) { return tag[0] & 0xffff; }
uint32_t Marker(const uint32_t* tag) {
  uint32_t m = (tag[0] >> 16) & 0xff;
  return m < DMAMK_COUNT ? m : 0;
}
uint32_t Decimal(const void* p) { return EeAddrOf(p); }

// The chain memory at addr, or a fatal error: a debugging aid must not
// follow a bad address out of memory.
const uint32_t* At(uint32_t addr, uint32_t bytes, const char* what) {
  const void* p = DmaMemory(addr, bytes);
  if (!p) ZeError("%s at %08x is outside EE memory", what, addr);
  return static_cast<const uint32_t*>(p);
}

// ---- GS register names, ten characters wide ----

const char* GsRegName(uint32_t reg) {
  static const struct {
    uint32_t reg;
    const char* name;
  } names[] = {
      {0x00, "PRIM      "}, {0x01, "RGBAQ     "}, {0x02, "ST        "}, {0x03, "UV        "},
      {0x04, "XYZF2     "}, {0x05, "XYZ2      "}, {0x06, "TEX0_1    "}, {0x07, "TEX0_2    "},
      {0x08, "CLAMP_1   "}, {0x09, "CLAMP_2   "}, {0x0a, "FOG       "}, {0x0c, "XYZF3     "},
      {0x0d, "XYZ3      "}, {0x0f, "NOP       "}, {0x14, "TEX1_1    "}, {0x15, "TEX1_2    "},
      {0x16, "TEX2_1    "}, {0x17, "TEX2_2    "}, {0x18, "XYOFFSET_1"}, {0x19, "XYOFFSET_2"},
      {0x1a, "PRMODECONT"}, {0x1b, "PRMODE    "}, {0x1c, "TEXCLUT   "}, {0x22, "SCANMSK   "},
      {0x34, "MIPTBP1_1 "}, {0x35, "MIPTBP1_2 "}, {0x36, "MIPTBP2_1 "}, {0x37, "MIPTBP2_2 "},
      {0x3b, "TEXA      "}, {0x3d, "FOGCOL    "}, {0x3f, "TEXFLUSH  "}, {0x40, "SCISSOR_1 "},
      {0x41, "SCISSOR_2 "}, {0x42, "ALPHA_1   "}, {0x43, "ALPHA_2   "}, {0x44, "DIMX      "},
      {0x45, "DTHE      "}, {0x46, "COLCLAMP  "}, {0x47, "TEST_1    "}, {0x48, "TEST_2    "},
      {0x49, "PABE      "}, {0x4a, "FBA_1     "}, {0x4b, "FBA_2     "}, {0x4c, "FRAME_1   "},
      {0x4d, "FRAME_2   "}, {0x4e, "ZBUF_1    "}, {0x4f, "ZBUF_2    "}, {0x50, "BITBLTBUF "},
      {0x51, "TRXPOS    "}, {0x52, "TRXREG    "}, {0x53, "TRXDIR    "}, {0x54, "HWREG     "},
      {0x60, "SIGNAL    "}, {0x61, "FINISH    "}, {0x62, "LABEL     "},
  };
  for (auto& n : names)
    if (n.reg == reg) return n.name;
  return "**UNKNOWN**";
}

// Prints the GIF packets of count quadwords of DIRECT data.
void DecodeGif(const uint32_t* q, uint32_t count, const char* indent) {
  char in2[64];
  snprintf(in2, sizeof in2, "%s    ", indent);
  uint32_t i = 0;
  while (i < count) {
    uint64_t lo, regs;
    memcpy(&lo, q + i * 4, 8);
    memcpy(&regs, q + i * 4 + 2, 8);
    i++;
    uint32_t nloop = uint32_t(lo & 0x7fff);
    uint32_t flg = uint32_t(lo >> 58) & 3;
    uint32_t nreg = uint32_t(lo >> 60);
    if (nreg == 0) nreg = 16;
    if (flg == GIF_FLG_PACKED) {
      char prim[24] = "";
      if ((lo >> 46) & 1) snprintf(prim, sizeof prim, ",PRIM %08x", uint32_t(lo >> 47) & 0x7ff);
      ZeDebugMsg("%sGiftag(PACKED,QWC=%d%s%s)", indent, int(nloop * nreg), prim, (lo >> 15) & 1 ? ",EOP" : "");
      for (uint32_t n = 0; n < nloop * nreg && i < count; n++, i++) {
        const uint32_t* d = q + i * 4;
        uint32_t desc = uint32_t(regs >> (4 * (n % nreg))) & 15;
        if (desc == GIF_REG_AD) ZeDebugMsg("%s[r]GS %s %08x %08x", in2, GsRegName(d[2] & 0xff), d[1], d[0]);
        else ZeDebugMsg("%s[p]GS %s %08x %08x %08x %08x", in2, GsRegName(desc == 0xb ? 0x100 : desc), d[3], d[2], d[1], d[0]);
      }
    } else if (flg == GIF_FLG_REGLIST) {
      uint32_t items = nloop * nreg;
      ZeDebugMsg("%sGiftag(REGLIST,QWC=%d)", indent, int((items + 1) / 2));
      for (uint32_t n = 0; n < items && i + n / 2 < count; n++) {
        const uint32_t* d = q + i * 4 + n * 2;
        uint32_t desc = uint32_t(regs >> (4 * (n % nreg))) & 15;
        ZeDebugMsg("%s[r]GS %s %08x %08x", in2, GsRegName(desc), d[1], d[0]);
      }
      i += (items + 1) / 2;
    } else {
      ZeDebugMsg("%sGiftag(IMAGE,QWC=%d)", indent, int(nloop));
      i += nloop;
    }
  }
}

// Element sizes of UNPACK formats in bytes, by vn * 4 + vl (0: no format).
constexpr int UNPACK_SIZE[16] = {4, 2, 1, 0, 8, 4, 2, 0, 12, 6, 3, 0, 16, 8, 4, 2};
const char* const UNPACK_NAME[16] = {"S-32", "S-16", "S-8", "", "V2-32", "V2-16", "V2-8", "",
                                     "V3-32", "V3-16", "V3-8", "", "V4-32", "V4-16", "V4-8", "V4-5"};

// Decodes the VIF code at w[0] (print unless quiet); returns its length in
// words, or 0 for a code that is not in the VIF command set.
uint32_t DecodeVif(const uint32_t* w, const char* indent, bool quiet) {
  uint32_t code = w[0];
  uint32_t cmd = (code >> 24) & 0x7f;
  uint32_t imm = code & 0xffff;
  uint32_t num = (code >> 16) & 0xff;
  int lv = quiet ? 0 : debug_dma_level;
  uint32_t at = Decimal(w);
  auto say = [&](const char* what) {
    if (lv > 0) ZeDebugMsg("%s%08d VT %s", indent, at, what);
  };
  switch (cmd) {
    case 0x00: say("NOP"); return 1;
    case 0x01: if (lv > 0) ZeDebugMsg("%s%08d VT STCYCL(%d,%d)", indent, at, int((imm >> 8) & 0xff), int(imm & 0xff)); return 1;
    case 0x02: say("OFFSET"); return 1;
    case 0x03: say("BASE"); return 1;
    case 0x04: say("ITOP"); return 1;
    case 0x05: say("STMOD"); return 1;
    case 0x06: say("MSKPATH3"); return 1;
    case 0x07: say("MARK"); return 1;
    case 0x10: say("FLUSHE"); return 1;
    case 0x11: say("FLUSH"); return 1;
    case 0x13: say("FLUSHA"); return 1;
    case 0x14: if (lv > 0) ZeDebugMsg("%s%08d VT MSCAL(%08x)", indent, at, imm); return 1;
    case 0x15: if (lv > 0) ZeDebugMsg("%s%08d VT MSCALF(%08x)", indent, at, imm); return 1;
    case 0x17: say("MSCNT"); return 1;
    case 0x20: if (lv > 0) ZeDebugMsg("%s%08d VT STMASK %08x", indent, at, w[1]); return 2;
    case 0x30: if (lv > 0) ZeDebugMsg("%s%08d VT STROW %08x %08x %08x %08x", indent, at, w[1], w[2], w[3], w[4]); return 5;
    case 0x31: if (lv > 0) ZeDebugMsg("%s%08d VT STCOL %08d %08d %08d %08d", indent, at, w[1], w[2], w[3], w[4]); return 5;
    case 0x4a: {
      uint32_t n = num ? num : 256;
      if (lv > 0) ZeDebugMsg("%s%08d VT MPG(%d,%d)", indent, at, int(n), int(imm));
      return 1 + n * 2;
    }
    case 0x50:
    case 0x51: {
      uint32_t n = imm ? imm : 0x10000;
      if (lv > 0) ZeDebugMsg(cmd == 0x50 ? "%s%08d VT DIRECT %d" : "%s%08d VT DIRECT HL %d", indent, at, int(n));
      return 1 + n * 4;
    }
    default:
      if (cmd >= 0x60) {
        uint32_t f = cmd & 15;
        if (!UNPACK_SIZE[f]) return 0;
        uint32_t n = num ? num : 256;
        if (lv > 0) {
          char what[32];
          snprintf(what, sizeof what, "VT UNPACK%s%s", (code & 0x8000) ? "R" : "", (code & 0x4000) ? "(U)" : "");
          ZeDebugMsg("%s%08d %s %s %d to %d", indent, at, what, UNPACK_NAME[f], int(n), int(code & 0x3ff));
        }
        return 1 + (n * uint32_t(UNPACK_SIZE[f]) + 3) / 4;
      }
      return 0;
  }
}

// Prints a DIRECT's data as the level asks.
void DirectData(const uint32_t* w, uint32_t qwords, const char* indent) {
  if (debug_dma_level >= 7) {
    DecodeGif(w, qwords, indent);
  } else if (debug_dma_level >= 5) {
    for (uint32_t i = 0; i < qwords && i < 10; i++)
      ZeDebugMsg("%s  %d - %08x %08x %08x %08x", indent, int(i), w[i * 4 + 3], w[i * 4 + 2], w[i * 4 + 1], w[i * 4]);
  }
}

}  // namespace

const uint32_t* VifTagWalk(const uint32_t* tag, const char* indent) {
  uint32_t id = Id(tag);
  if (id == DMATAG_REFE || id == DMATAG_REF || id == DMATAG_REFS) {
    // The data lies elsewhere: only the tag's own two codes are decoded.
    for (int i = 2; i < 4; i++)
      if (!DecodeVif(tag + i, indent, false))
        ZeError("%s%08d Unknown Viftag (%08d)- stopping decode", indent, Decimal(tag + i), tag[i]);
    return tag + 4;
  }
  const uint32_t* end = tag + 4 + Qwc(tag) * 4;
  const uint32_t* w = tag + 2;
  while (w < end) {
    uint32_t len = DecodeVif(w, indent, false);
    if (!len) ZeError("%s%08d Unknown Viftag (%08d)- stopping decode", indent, Decimal(w), w[0]);
    uint32_t cmd = (w[0] >> 24) & 0x7f;
    if ((cmd == 0x50 || cmd == 0x51) && debug_dma_level >= 5 && w + len <= end) DirectData(w + 1, (len - 1) / 4, indent);
    w += len;
  }
  if (w != end) ZeError("VIF code decoded length does not match dmatag length");
  return end;
}

void TagWalk(const void* chain, ZETAGDECODER decoder) {
  if (!chain) {
    ZeDebugMsg("Duff frame pointer");
    return;
  }
  struct Level {
    uint32_t ret;
    int skip;  // the skip state of the caller
  } stack[MAX_DEPTH];
  int depth = 0;
  int inherited = 0;  // skipped because a caller is skipped
  char indent[4 * MAX_DEPTH + 1] = "";
  uint32_t addr = EeAddrOf(chain);
  for (uint64_t n = 0;; n++) {
    if (n == MAX_TAGS) ZeError("** DMA chain does not end **");
    if (addr & 15) ZeError("** Misaligned DMATAG **");
    const uint32_t* tag = At(addr, 16, "DMATAG");
    uint32_t id = Id(tag), qwc = Qwc(tag), mk = Marker(tag);
    int skip = ps2dma_marker_skip[mk] | inherited;
    if (debug_dma_level > 0) {
      ZeDebugMsg("%s%08d TAG %s: QWC %d NEXT %08d MK %d (%s)%s", indent, addr, TAG_NAMES[id], int(qwc), tag[1], int(mk),
                 ps2dma_marker_name[mk], skip ? "<suppressed>" : "");
      // A tag interrupt stops the channel there; the chain goes on when it
      // is restarted, and so does the walk.
      if (tag[0] & 0x80000000u) ZeDebugMsg("%s%08d TAG IRQ", indent, addr);
    }
    if (!skip) decoder(tag, indent);
    switch (id) {
      case DMATAG_REFE:
        return;  // the data is sent and the chain ends
      case DMATAG_CNT:
        addr += (qwc + 1) * 16;
        break;
      case DMATAG_NEXT:
        addr = tag[1];
        break;
      case DMATAG_REF:
      case DMATAG_REFS:
        if (tag[1] & 15) ZeDebugMsg("** Misaligned DMATAG reference **");
        addr += 16;
        break;
      case DMATAG_CALL:
        if (depth == MAX_DEPTH) {
          ZeDebugMsg("***** Stack overflow ******");
          return;
        }
        stack[depth++] = {addr + (qwc + 1) * 16, inherited};
        inherited = skip;
        memset(indent, ' ', size_t(depth) * 4);
        indent[depth * 4] = 0;
        addr = tag[1];
        break;
      case DMATAG_RET:
        if (depth == 0) {
          ZeDebugMsg("***** Stack underflow ******");
          return;
        }
        depth--;
        addr = stack[depth].ret;
        inherited = stack[depth].skip;
        indent[depth * 4] = 0;
        break;
      default:
        return;  // end
    }
  }
}

uint64_t CrcChain(const void* chain, int uncached) {
  uint32_t addr = EeAddrOf(chain);
  if (uncached) addr |= EE_UNCACHED_BIT;
  uint32_t stack[MAX_DEPTH];
  int depth = 0;
  uint64_t sum = 0;
  for (uint64_t n = 0;; n++) {
    if (n == MAX_TAGS) ZeError("CrcChain: the DMA chain does not end");
    const uint32_t* tag = At(addr & ~15u, 16, "CrcChain: DMA tag");
    uint32_t id = Id(tag), qwc = Qwc(tag);
    uint64_t d[2];
    memcpy(d, tag, 16);
    sum += d[0] + d[1];
    // The packet's data: after the tag, or at ADDR for the ref kinds.
    bool ref = id == DMATAG_REFE || id == DMATAG_REF || id == DMATAG_REFS;
    const uint32_t* data = qwc ? At(ref ? tag[1] : (addr & ~15u) + 16, qwc * 16, "CrcChain: DMA data") : tag;
    for (uint32_t i = 0; i < qwc * 2; i++) {
      uint64_t v;
      memcpy(&v, data + i * 2, 8);
      sum += v;
    }
    uint32_t after = (addr & ~15u) + (ref ? 16 : (qwc + 1) * 16);
    switch (id) {
      case DMATAG_CNT: case DMATAG_REF: case DMATAG_REFS: addr = after; break;
      case DMATAG_NEXT: addr = tag[1]; break;
      case DMATAG_CALL:
        if (depth == MAX_DEPTH) ZeError("CrcChain: call stack overflow");
        stack[depth++] = after;
        addr = tag[1];
        break;
      case DMATAG_RET:
        if (depth == 0) return sum;
        addr = stack[--depth];
        break;
      default: return sum;  // refe, end
    }
  }
}
