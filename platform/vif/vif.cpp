// VIF0 and VIF1: the VIF codes as one table, the one UNPACK (every format,
// write cycles, masks, offset and difference modes, TOPS-relative double
// buffering), MPG uploads, program starts and DIRECT to GIF path 2.
#include "platform.h"

#include <cstring>

namespace {

struct Unpack {
  uint32_t addr;       // first quadword (TOPS added)
  uint32_t num;        // quadwords written in all
  uint32_t written;    // quadwords written so far
  uint32_t elemsLeft;  // input elements still to come
  uint32_t bytesLeft;  // data bytes still to come, padding included
  int vn, vl;          // components - 1; 0 32 bits, 1 16, 2 8, 3 5-bit colour
  int elemBytes;
  bool usn, masked;
  int cl, wl;
  uint8_t buf[16];
  int have;            // bytes of the element being assembled
};

struct Vif {
  int unit;
  uint32_t err, mark, cycle, mode, num, mask, code, itops, base, ofst, tops, itop, top;
  uint32_t row[4], col[4];
  bool dbf, mrk, intr, path3Masked;
  // The command taking data: words still to come (0: the next word is a code).
  uint32_t wordsLeft;
  int argIndex;
  // MPG: the whole command's instructions, written at its end.
  uint32_t mpg[512];
  uint32_t mpgAddr, mpgWords;
  // DIRECT: a quadword being assembled.
  uint32_t qw[4];
  int qwHave;
  Unpack up;
};

Vif g_vif[2];

uint8_t* DataMem(const Vif& v) { return v.unit ? Vu1DataMem() : Vu0DataMem(); }
uint32_t MemQwords(const Vif& v) { return v.unit ? VU1_MEM_QWORDS : VU0_MEM_SIZE / 16; }

void Fatal(const Vif& v, const char* what) {
  PlatFatal("VIF%d: %s (code %08x)", v.unit, what, v.code);
}

// ---- UNPACK ------------------------------------------------------------

constexpr int UNPACK_BITS[4] = {32, 16, 8, 16};

// The quadword of write i: skipping writes (CL >= WL) leave CL - WL
// quadwords untouched per cycle, filling writes (WL > CL) are contiguous.
uint32_t* UnpackTarget(Vif& v, uint32_t i) {
  const Unpack& u = v.up;
  uint32_t off = u.cl >= u.wl ? (i / u.wl) * u.cl + i % u.wl : i;
  uint32_t qa = (u.addr + off) & (MemQwords(v) - 1);
  return reinterpret_cast<uint32_t*>(DataMem(v) + qa * 16);
}

int MaskOf(const Vif& v, int row, int field) { return int((v.mask >> (row * 8 + field * 2)) & 3); }

// A quadword of filling data: ROW, or with the m bit the mask pattern of
// the cycle row (0 and 1 ROW, 2 COL, 3 no write).
void UnpackFill(Vif& v) {
  Unpack& u = v.up;
  uint32_t* q = UnpackTarget(v, u.written);
  int row = int(u.written % uint32_t(u.wl));
  if (row > 3) row = 3;
  for (int f = 0; f < 4; f++) {
    int m = u.masked ? MaskOf(v, row, f) : 1;
    if (m == 3) continue;
    q[f] = m == 2 ? v.col[row] : v.row[f];
  }
  u.written++;
}

void UnpackFillsDue(Vif& v) {
  Unpack& u = v.up;
  while (u.written < u.num && u.wl > u.cl && int(u.written % uint32_t(u.wl)) >= u.cl) UnpackFill(v);
}

// One input element, decoded into up to four fields.
void UnpackElement(Vif& v, const uint8_t* e) {
  Unpack& u = v.up;
  uint32_t d[4] = {0, 0, 0, 0};
  int comps = u.vn + 1;
  if (u.vl == 3) {  // V4-5: RGBA 5:5:5:1
    uint32_t c = uint32_t(e[0]) | uint32_t(e[1]) << 8;
    d[0] = (c & 0x1f) << 3;
    d[1] = ((c >> 5) & 0x1f) << 3;
    d[2] = ((c >> 10) & 0x1f) << 3;
    d[3] = ((c >> 15) & 1) << 7;
    comps = 4;
  } else {
    for (int i = 0; i < comps; i++) {
      switch (u.vl) {
        case 0: memcpy(&d[i], e + i * 4, 4); break;
        case 1: {
          uint16_t h;
          memcpy(&h, e + i * 2, 2);
          d[i] = u.usn ? uint32_t(h) : uint32_t(int32_t(int16_t(h)));
          break;
        }
        default: d[i] = u.usn ? uint32_t(e[i]) : uint32_t(int32_t(int8_t(e[i]))); break;
      }
    }
  }
  // A scalar goes to all four fields; V2 and V3 leave the fields they do
  // not carry untouched.
  if (u.vn == 0) {
    d[1] = d[2] = d[3] = d[0];
    comps = 4;
  }
  uint32_t* q = UnpackTarget(v, u.written);
  int row = int(u.written % uint32_t(u.wl));
  if (row > 3) row = 3;
  for (int f = 0; f < 4; f++) {
    int m = u.masked ? MaskOf(v, row, f) : 0;
    if (m == 1) { q[f] = v.row[f]; continue; }
    if (m == 2) { q[f] = v.col[row]; continue; }
    if (m == 3 || f >= comps) continue;
    switch (v.mode) {
      case 1: q[f] = d[f] + v.row[f]; break;                  // offset
      case 2: q[f] = v.row[f] = d[f] + v.row[f]; break;       // difference
      default: q[f] = d[f]; break;
    }
  }
  u.written++;
}

uint32_t UnpackBegin(Vif& v, uint32_t code) {
  Unpack& u = v.up;
  uint32_t cmd = uint32_t(VIF_CODE::CMD::get(code));
  u.vn = int((cmd >> 2) & 3);
  u.vl = int(cmd & 3);
  if (u.vl == 3 && u.vn != 3) Fatal(v, "UNPACK with a 5-bit format other than V4-5");
  u.masked = (cmd & 0x10) != 0;
  u.usn = VIF_UNPACK::USN::get(code) != 0;
  u.num = uint32_t(VIF_CODE::NUM::get(code));
  if (u.num == 0) u.num = 256;
  u.addr = uint32_t(VIF_UNPACK::ADDR::get(code));
  if (VIF_UNPACK::FLG::get(code) && v.unit == 1) u.addr += v.tops;
  u.cl = int(v.cycle & 0xff);
  u.wl = int((v.cycle >> 8) & 0xff);
  if (u.cl == 0 || u.wl == 0) u.cl = u.wl = 1;  // no cycle set: plain consecutive writes
  u.elemBytes = u.vl == 3 ? 2 : (u.vn + 1) * UNPACK_BITS[u.vl] / 8;
  uint32_t n = u.num;
  uint32_t wl = uint32_t(u.wl), cl = uint32_t(u.cl);
  u.elemsLeft = wl <= cl ? n : cl * (n / wl) + (n % wl < cl ? n % wl : cl);
  u.bytesLeft = (u.elemsLeft * uint32_t(u.elemBytes) + 3) & ~3u;
  u.written = 0;
  u.have = 0;
  v.num = u.num;
  return u.bytesLeft / 4;
}

void UnpackData(Vif& v, const uint32_t* w, int n) {
  Unpack& u = v.up;
  const uint8_t* b = reinterpret_cast<const uint8_t*>(w);
  uint32_t bytes = uint32_t(n) * 4;
  u.bytesLeft -= bytes;
  while (bytes && u.elemsLeft) {
    if (u.have == 0 && bytes >= uint32_t(u.elemBytes)) {
      UnpackFillsDue(v);
      UnpackElement(v, b);
      b += u.elemBytes;
      bytes -= uint32_t(u.elemBytes);
      u.elemsLeft--;
      continue;
    }
    int take = u.elemBytes - u.have;
    if (uint32_t(take) > bytes) take = int(bytes);
    memcpy(u.buf + u.have, b, size_t(take));
    u.have += take;
    b += take;
    bytes -= uint32_t(take);
    if (u.have == u.elemBytes) {
      UnpackFillsDue(v);
      UnpackElement(v, u.buf);
      u.have = 0;
      u.elemsLeft--;
    }
  }
  if (u.elemsLeft == 0) UnpackFillsDue(v);
  v.num = u.num - u.written;
}

// ---- the other codes ---------------------------------------------------

// Program starts: TOP and ITOP take TOPS and ITOPS, and the double buffer
// flips, so the next TOPS-relative UNPACK fills the other buffer.
void StartProgram(Vif& v, uint32_t cmd, uint32_t imm) {
  if (v.unit == 0) Fatal(v, "VU0 microprograms are not modelled");
  v.top = v.tops;
  v.itop = v.itops;
  v.dbf = !v.dbf;
  v.tops = (v.base + (v.dbf ? v.ofst : 0)) & 0x3ff;
  if (cmd == VIF_MSCNT) Vu1Continue(int(v.top), int(v.itop));
  else Vu1Start(int(imm), int(v.top), int(v.itop));
}

uint32_t BeginSimple(Vif& v, uint32_t code) {
  uint32_t cmd = uint32_t(VIF_CODE::CMD::get(code));
  uint32_t imm = uint32_t(VIF_CODE::IMM::get(code));
  switch (cmd) {
    case VIF_NOP: case VIF_FLUSHE: case VIF_FLUSH: case VIF_FLUSHA:
      return 0;  // everything runs to completion as it is fed: nothing to wait for
    case VIF_STCYCL: v.cycle = imm; return 0;
    case VIF_OFFSET:
      v.ofst = imm & 0x3ff;
      v.dbf = false;
      v.tops = v.base;
      return 0;
    case VIF_BASE: v.base = imm & 0x3ff; return 0;
    case VIF_ITOP: v.itops = imm & 0x3ff; return 0;
    case VIF_STMOD: v.mode = imm & 3; return 0;
    case VIF_MSKPATH3: v.path3Masked = (imm & 0x8000) != 0; return 0;
    case VIF_MARK: v.mark = imm; v.mrk = true; return 0;
    case VIF_MSCAL: case VIF_MSCALF: case VIF_MSCNT: StartProgram(v, cmd, imm); return 0;
    case VIF_STMASK: return 1;
    case VIF_STROW: case VIF_STCOL: return 4;
    case VIF_MPG: {
      uint32_t n = uint32_t(VIF_CODE::NUM::get(code));
      v.mpgAddr = imm;
      v.mpgWords = 0;
      return (n ? n : 256) * 2;
    }
    case VIF_DIRECT: case VIF_DIRECTHL:
      v.qwHave = 0;
      return (imm ? imm : 0x10000) * 4;
    default: return 0;
  }
}

void DataSimple(Vif& v, const uint32_t* w, int n) {
  uint32_t cmd = uint32_t(VIF_CODE::CMD::get(v.code));
  switch (cmd) {
    case VIF_STMASK: v.mask = w[0]; return;
    case VIF_STROW:
    case VIF_STCOL:
      for (int i = 0; i < n; i++) (cmd == VIF_STROW ? v.row : v.col)[v.argIndex++] = w[i];
      return;
    case VIF_MPG:
      memcpy(v.mpg + v.mpgWords, w, size_t(n) * 4);
      v.mpgWords += uint32_t(n);
      return;
    default: {  // DIRECT, DIRECTHL: quadwords to GIF path 2
      int i = 0;
      while (i < n) {
        if (v.qwHave == 0 && n - i >= 4) {
          int q = (n - i) / 4;
          GifWrite(GIF_PATH2, w + i, q);
          i += q * 4;
          continue;
        }
        v.qw[v.qwHave++] = w[i++];
        if (v.qwHave == 4) {
          GifWrite(GIF_PATH2, v.qw, 1);
          v.qwHave = 0;
        }
      }
      return;
    }
  }
}

// The command has taken all its data.
void EndCommand(Vif& v) {
  uint32_t cmd = uint32_t(VIF_CODE::CMD::get(v.code));
  if (cmd == VIF_MPG) {
    if (v.unit) Vu1MicroWrite(int(v.mpgAddr), v.mpg, int(v.mpgWords / 2));
    else Vu0MicroWrite(int(v.mpgAddr), v.mpg, int(v.mpgWords / 2));
  }
  if (VIF_CODE::I::get(v.code)) {
    // The interrupt bit: the VIF interrupt is raised; the stall it would
    // cause is cancelled at once (nothing in the system waits on it).
    v.intr = true;
    IntcRaise(v.unit ? INTC_VIF1 : INTC_VIF0);
  }
}

// ---- the code table ----------------------------------------------------

struct VifCodeRow {
  const char* name;
  bool vif0;                                    // VIF0 has it too
  uint32_t (*begin)(Vif& v, uint32_t code);     // data words that follow
  void (*data)(Vif& v, const uint32_t* w, int n);
};

struct CodeTable {  // filled once at start-up
  VifCodeRow row[128];
  CodeTable() : row() {
    struct { uint32_t cmd; const char* name; bool vif0; } simple[] = {
        {VIF_NOP, "NOP", true},         {VIF_STCYCL, "STCYCL", true}, {VIF_OFFSET, "OFFSET", false},
        {VIF_BASE, "BASE", false},      {VIF_ITOP, "ITOP", true},     {VIF_STMOD, "STMOD", true},
        {VIF_MSKPATH3, "MSKPATH3", false}, {VIF_MARK, "MARK", true},  {VIF_FLUSHE, "FLUSHE", true},
        {VIF_FLUSH, "FLUSH", false},    {VIF_FLUSHA, "FLUSHA", false}, {VIF_MSCAL, "MSCAL", true},
        {VIF_MSCALF, "MSCALF", true},   {VIF_MSCNT, "MSCNT", true},   {VIF_STMASK, "STMASK", true},
        {VIF_STROW, "STROW", true},     {VIF_STCOL, "STCOL", true},   {VIF_MPG, "MPG", true},
        {VIF_DIRECT, "DIRECT", false},  {VIF_DIRECTHL, "DIRECTHL", false},
    };
    for (auto& s : simple) row[s.cmd] = {s.name, s.vif0, BeginSimple, DataSimple};
    for (uint32_t c = VIF_UNPACK; c < 0x80; c++) row[c] = {"UNPACK", true, UnpackBegin, UnpackData};
  }
};
const CodeTable VIF_CODES;

void Feed(Vif& v, const uint32_t* w, int count) {
  while (count > 0) {
    if (v.wordsLeft == 0) {
      v.code = *w++;
      count--;
      const VifCodeRow& row = VIF_CODES.row[VIF_CODE::CMD::get(v.code)];
      if (!row.begin) Fatal(v, "unknown VIF code");
      if (v.unit == 0 && !row.vif0) Fatal(v, "a VIF1-only code reached VIF0");
      v.argIndex = 0;
      v.wordsLeft = row.begin(v, v.code);
      if (v.wordsLeft == 0) EndCommand(v);
      continue;
    }
    int n = count < int(v.wordsLeft) ? count : int(v.wordsLeft);
    VIF_CODES.row[VIF_CODE::CMD::get(v.code)].data(v, w, n);
    w += n;
    count -= n;
    v.wordsLeft -= uint32_t(n);
    if (v.wordsLeft == 0) EndCommand(v);
  }
}

Vif& Unit(int unit) {
  if (unit != 0 && unit != 1) PlatFatal("VIF%d does not exist", unit);
  g_vif[unit].unit = unit;
  return g_vif[unit];
}

}  // namespace

void VifReset(int unit) {
  Vif& v = Unit(unit);
  memset(static_cast<void*>(&v), 0, sizeof v);
  v.unit = unit;
}

void VifWrite(int unit, const uint32_t* words, int count) { Feed(Unit(unit), words, count); }

bool VifIdle(int unit) { return Unit(unit).wordsLeft == 0; }

uint32_t VifRegRead(uint32_t addr) {
  const int unit = addr >= VIF1_STAT ? 1 : 0;
  const uint32_t off = addr - (unit ? uint32_t(VIF1_STAT) : uint32_t(VIF0_STAT));
  Vif& v = Unit(unit);
  if (off >= 0x100 && off < 0x180) return ((off & 0x40) ? v.col : v.row)[(off >> 4) & 3];
  switch (off) {
    case 0x00:
      return (v.wordsLeft ? 1u : 0u) | (v.mrk ? 0x40u : 0u) | (v.dbf ? 0x80u : 0u) | (v.intr ? 0x800u : 0u);
    case 0x10: return 0;
    case 0x20: return v.err;
    case 0x30: return v.mark;
    case 0x40: return v.cycle;
    case 0x50: return v.mode;
    case 0x60: return v.num;
    case 0x70: return v.mask;
    case 0x80: return v.code;
    case 0x90: return v.itops;
    case 0xa0: return v.base;
    case 0xb0: return v.ofst;
    case 0xc0: return v.tops;
    case 0xd0: return v.itop;
    case 0xe0: return v.top;
    default: PlatFatal("register %08x is not modelled", addr);
  }
}

void VifRegWrite(uint32_t addr, uint32_t value) {
  const int unit = addr >= VIF1_STAT ? 1 : 0;
  const uint32_t off = addr - (unit ? uint32_t(VIF1_STAT) : uint32_t(VIF0_STAT));
  Vif& v = Unit(unit);
  switch (off) {
    case 0x10:  // FBRST: RST resets the unit, STC cancels stalls and the interrupt
      if (value & 1) VifReset(v.unit);
      if (value & 8) v.intr = false;
      return;
    case 0x20: v.err = value & 7; return;
    case 0x30: v.mark = value & 0xffff; v.mrk = false; return;
    default: PlatFatal("register %08x is not writable here", addr);
  }
}

void sceDevVif0Reset() { VifReset(0); }
void sceDevVif1Reset() { VifReset(1); }
