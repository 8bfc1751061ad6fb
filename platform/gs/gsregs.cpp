// The GS's registers: general registers as the GIF delivers them (one row
// per register address naming its handler), the privileged registers, and
// SIGNAL/FINISH/LABEL with the CSR and IMR bits.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gs_local.h"
#include "platform.h"

GsState g_gs;

namespace {

using RegFn = void (*)(int reg, uint64_t value);

float FloatOf(uint32_t bits) {
  float f;
  memcpy(&f, &bits, 4);
  return f;
}

// Vertex data: current values, taken by the next XYZ write.
void WriteRGBAQ(int reg, uint64_t v) {
  g_gs.reg[reg] = v;
  g_gs.cur.rgba = uint32_t(v);
  g_gs.cur.q = FloatOf(uint32_t(v >> 32));
}
void WriteST(int reg, uint64_t v) {
  g_gs.reg[reg] = v;
  g_gs.cur.s = FloatOf(uint32_t(v));
  g_gs.cur.t = FloatOf(uint32_t(v >> 32));
}
void WriteUV(int reg, uint64_t v) {
  g_gs.reg[reg] = v;
  GsUV uv = GsAs<GsUV>(v);
  g_gs.cur.u = uint32_t(uv.U);
  g_gs.cur.v = uint32_t(uv.V);
}
void WriteXYZ(int reg, uint64_t v) {
  g_gs.reg[reg] = v;
  GsXYZ p = GsAs<GsXYZ>(v);
  g_gs.cur.x = uint32_t(p.X);
  g_gs.cur.y = uint32_t(p.Y);
  g_gs.cur.z = uint32_t(p.Z);
  GsKickVertex(reg == GS_XYZ2);
}
void WriteXYZF(int reg, uint64_t v) {
  g_gs.reg[reg] = v;
  GsXYZF p = GsAs<GsXYZF>(v);
  g_gs.cur.x = uint32_t(p.X);
  g_gs.cur.y = uint32_t(p.Y);
  g_gs.cur.z = uint32_t(p.Z);
  GsKickVertex(reg == GS_XYZF2);
}

// Drawing state: the decoded environment is rebuilt before the next kick.
void WriteState(int reg, uint64_t v) {
  g_gs.reg[reg] = v;
  g_gs.envDirty = true;
}
void WriteStore(int reg, uint64_t v) { g_gs.reg[reg] = v; }

// A PRIM write starts a new primitive: the vertex queue empties.
void WritePRIM(int reg, uint64_t v) {
  WriteState(reg, v);
  g_gs.vqn = 0;
}

void WriteTEX0(int reg, uint64_t v) {
  WriteState(reg, v);
  GsClutLoad(GsAs<GsTEX0>(v));
}

// TEX2 rewrites TEX0's format and CLUT fields (PSM, CBP ... CLD).
void WriteTEX2(int reg, uint64_t v) {
  constexpr uint64_t kMask = (uint64_t(0x3f) << 20) | (~uint64_t(0) << 37);
  g_gs.reg[reg] = v;
  int tex0 = reg == GS_TEX2_1 ? GS_TEX0_1 : GS_TEX0_2;
  WriteTEX0(tex0, (g_gs.reg[tex0] & ~kMask) | (v & kMask));
}

void WriteTRXDIR(int reg, uint64_t v) {
  g_gs.reg[reg] = v;
  GsXferStart(v);
}

void WriteHWREG(int reg, uint64_t v) {
  g_gs.reg[reg] = v;
  GsXferWriteImage(&v, 8);
}

void WriteSIGNAL(int reg, uint64_t v) {
  g_gs.reg[reg] = v;
  GsSIGNAL s = GsAs<GsSIGNAL>(v);
  GsSIGLBLID id = GsAs<GsSIGLBLID>(g_gs.priv[GS_P_SIGLBLID]);
  id.SIGID = (id.SIGID & ~s.IDMSK) | (s.ID & s.IDMSK);
  g_gs.priv[GS_P_SIGLBLID] = GsBits(id);
  GsCsrRaise(0);
}

// Everything before FINISH has been drawn (the queue drained first).
void WriteFINISH(int reg, uint64_t v) {
  g_gs.reg[reg] = v;
  GsCsrRaise(1);
}

void WriteLABEL(int reg, uint64_t v) {
  g_gs.reg[reg] = v;
  GsLABEL l = GsAs<GsLABEL>(v);
  GsSIGLBLID id = GsAs<GsSIGLBLID>(g_gs.priv[GS_P_SIGLBLID]);
  id.LBLID = (id.LBLID & ~l.IDMSK) | (l.ID & l.IDMSK);
  g_gs.priv[GS_P_SIGLBLID] = GsBits(id);
}

struct RegRow {
  int reg;
  RegFn fn;
};

// Registers with a behaviour of their own; every other address only stores.
constexpr RegRow kRegRows[] = {
    {GS_PRIM, WritePRIM},          {GS_RGBAQ, WriteRGBAQ},        {GS_ST, WriteST},
    {GS_UV, WriteUV},              {GS_XYZF2, WriteXYZF},         {GS_XYZ2, WriteXYZ},
    {GS_TEX0_1, WriteTEX0},        {GS_TEX0_2, WriteTEX0},        {GS_CLAMP_1, WriteState},
    {GS_CLAMP_2, WriteState},      {GS_FOG, WriteStore},          {GS_XYZF3, WriteXYZF},
    {GS_XYZ3, WriteXYZ},           {GS_TEX1_1, WriteState},       {GS_TEX1_2, WriteState},
    {GS_TEX2_1, WriteTEX2},        {GS_TEX2_2, WriteTEX2},        {GS_XYOFFSET_1, WriteState},
    {GS_XYOFFSET_2, WriteState},   {GS_PRMODECONT, WriteState},   {GS_PRMODE, WriteState},
    {GS_TEXCLUT, WriteState},      {GS_SCANMSK, WriteState},      {GS_MIPTBP1_1, WriteState},
    {GS_MIPTBP1_2, WriteState},    {GS_MIPTBP2_1, WriteState},    {GS_MIPTBP2_2, WriteState},
    {GS_TEXA, WriteState},         {GS_FOGCOL, WriteState},       {GS_TEXFLUSH, WriteStore},
    {GS_SCISSOR_1, WriteState},    {GS_SCISSOR_2, WriteState},    {GS_ALPHA_1, WriteState},
    {GS_ALPHA_2, WriteState},      {GS_DIMX, WriteState},         {GS_DTHE, WriteState},
    {GS_COLCLAMP, WriteState},     {GS_TEST_1, WriteState},       {GS_TEST_2, WriteState},
    {GS_PABE, WriteState},         {GS_FBA_1, WriteState},        {GS_FBA_2, WriteState},
    {GS_FRAME_1, WriteState},      {GS_FRAME_2, WriteState},      {GS_ZBUF_1, WriteState},
    {GS_ZBUF_2, WriteState},       {GS_BITBLTBUF, WriteStore},    {GS_TRXPOS, WriteStore},
    {GS_TRXREG, WriteStore},       {GS_TRXDIR, WriteTRXDIR},      {GS_HWREG, WriteHWREG},
    {GS_SIGNAL, WriteSIGNAL},      {GS_FINISH, WriteFINISH},      {GS_LABEL, WriteLABEL},
};

struct RegTable {
  RegFn fn[GS_REG_COUNT];
  constexpr RegTable() : fn{} {
    for (RegFn& f : fn) f = WriteStore;
    for (const RegRow& r : kRegRows) fn[r.reg] = r.fn;
  }
};
constexpr RegTable kRegTable;

int PrivSlot(uint32_t addr) {
  switch (addr) {
    case GS_PMODE: return GS_P_PMODE;
    case GS_SMODE1: return GS_P_SMODE1;
    case GS_SMODE2: return GS_P_SMODE2;
    case GS_SRFSH: return GS_P_SRFSH;
    case GS_SYNCH1: return GS_P_SYNCH1;
    case GS_SYNCH2: return GS_P_SYNCH2;
    case GS_SYNCV: return GS_P_SYNCV;
    case GS_DISPFB1: return GS_P_DISPFB1;
    case GS_DISPLAY1: return GS_P_DISPLAY1;
    case GS_DISPFB2: return GS_P_DISPFB2;
    case GS_DISPLAY2: return GS_P_DISPLAY2;
    case GS_EXTBUF: return GS_P_EXTBUF;
    case GS_EXTDATA: return GS_P_EXTDATA;
    case GS_EXTWRITE: return GS_P_EXTWRITE;
    case GS_BGCOLOR: return GS_P_BGCOLOR;
    case GS_CSR: return GS_P_CSR;
    case GS_IMR: return GS_P_IMR;
    case GS_BUSDIR: return GS_P_BUSDIR;
    case GS_SIGLBLID: return GS_P_SIGLBLID;
    default: return -1;
  }
}

constexpr uint64_t kCsrEventBits = 0x1f;  // SIGNAL, FINISH, HSINT, VSINT, EDWINT
constexpr uint64_t kImrReset = 0xff00;    // every event masked

// A pending event whose mask is clear interrupts.
void CheckInterrupt() {
  uint64_t pending = g_gs.priv[GS_P_CSR] & kCsrEventBits;
  uint64_t masked = (g_gs.priv[GS_P_IMR] >> 8) & kCsrEventBits;
  if (pending & ~masked) IntcRaise(INTC_GS);
}

// What CSR RESET clears: the drawing state, not memory or the display.
void ResetDrawing() {
  memset(g_gs.reg, 0, sizeof g_gs.reg);
  memset(&g_gs.cur, 0, sizeof g_gs.cur);
  g_gs.cur.q = 1.0f;
  g_gs.vqn = 0;
  g_gs.envDirty = true;
  GsXferReset();
}

}  // namespace

void GsCsrRaise(int bit) {
  g_gs.priv[GS_P_CSR] |= uint64_t(1) << bit;
  CheckInterrupt();
}

void GsReset() {
  GsThreadsInit();
  GsSync();
  GsMemInitTables();
  memset(g_gsMem, 0, sizeof g_gsMem);
  GsMemInvalidate();
  GsRegHook hook = g_gs.hook;
  memset(&g_gs, 0, sizeof g_gs);
  g_gs.hook = hook;
  ResetDrawing();
  g_gs.priv[GS_P_IMR] = kImrReset;
  const char* path = getenv("ZE_GS_PATH");
  g_gs.path = path && strcmp(path, "reference") == 0 ? GS_PATH_REFERENCE : GS_PATH_FAST;
  GsFastReset();
}

void GsExecReg(int reg, uint64_t value) { kRegTable.fn[reg](reg, value); }

void GsWriteReg(int reg, uint64_t value) {
  if (g_gs.hook) g_gs.hook(reg, value);
  if (reg < 0 || reg >= GS_REG_COUNT) return;  // no such register: the GS ignores it
  if (g_gsQueued) {
    // SIGNAL and FINISH interrupt the CPU: they run here, in order, after
    // everything before them, so the interrupt comes at the same point of
    // the program whatever the drawing takes.
    if (reg != GS_SIGNAL && reg != GS_FINISH) {
      GsQueuePushReg(reg, value);
      return;
    }
    GsSync();
  }
  GsExecReg(reg, value);
}

uint64_t GsGetReg(int reg) {
  GsSync();
  return reg >= 0 && reg < GS_REG_COUNT ? g_gs.reg[reg] : 0;
}

void GsSetRegHook(GsRegHook hook) { g_gs.hook = hook; }

void GsPrivWrite(uint32_t addr, uint64_t value) {
  GsSync();
  int slot = PrivSlot(addr);
  if (slot < 0) return;
  if (slot == GS_P_CSR) {
    GsCSR w = GsAs<GsCSR>(value);
    g_gs.priv[GS_P_CSR] &= ~(value & kCsrEventBits);  // writing 1 clears an event
    if (w.RESET) {
      ResetDrawing();
      g_gs.priv[GS_P_CSR] = 0;
    }
    return;
  }
  g_gs.priv[slot] = value;
  if (slot == GS_P_IMR) CheckInterrupt();
}

uint64_t GsPrivRead(uint32_t addr) {
  GsSync();
  int slot = PrivSlot(addr);
  if (slot < 0) return 0;
  if (slot == GS_P_CSR) {
    GsCSR c = GsAs<GsCSR>(g_gs.priv[GS_P_CSR] & kCsrEventBits);
    c.FIFO = 1;  // empty: drawing is synchronous
    // Field parity: the displayed field in real time, 0 in virtual time
    // so that pictures are stable.
    c.FIELD = KernelGetClock() == KCLOCK_REAL ? (KernelFields() & 1) : 0;
    return GsBits(c);
  }
  return g_gs.priv[slot];
}

void GsSetPath(GsPath path) {
  GsSync();
  g_gs.path = path;
}
GsPath GsGetPath() {
  GsSync();
  return g_gs.path;
}
GsStats GsGetStats() {
  GsSync();
  return g_gs.stats;
}

const char* GsRefReasonName(int reason) {
  static const char* const kNames[] = {
      "reference path chosen",  "point or line",       "frame format",
      "depth format",           "texture format",      "beyond buffer width",
      "frame and depth share pages", "texture being drawn", "region outside texture",
      "Q sign under per-pixel LOD",  "no span functions",
  };
  static_assert(sizeof kNames / sizeof kNames[0] == GS_REF_COUNT);
  return reason >= 0 && reason < GS_REF_COUNT ? kNames[reason] : "?";
}

int GsStatsText(const GsStats& s, char* out, int size) {
  int n = 0;
  auto put = [&](const char* what, uint64_t prims, uint64_t pixels) {
    if (n >= size - 1) return;
    const double share = s.pixels ? 100.0 * double(pixels) / double(s.pixels) : 0.0;
    int k = snprintf(out + n, size_t(size - n), "gs: %-30s %10llu prims %12llu pixels %6.2f %%\n", what,
                     static_cast<unsigned long long>(prims), static_cast<unsigned long long>(pixels),
                     share);
    n = k < 0 ? n : std::min(n + k, size - 1);
  };
  if (size > 0) out[0] = '\0';
  put("all", s.prims, s.pixels);
  put("fast path", s.fastPrims, s.fastPixels);
  put("reference path", s.prims - s.fastPrims, s.refPixels);
  for (int r = 0; r < GS_REF_COUNT; r++)
    if (s.refPrims[r]) put(GsRefReasonName(r), s.refPrims[r], s.refReasonPixels[r]);
  return n;
}
