// Local memory: one addressing function per pixel-format layout, built on
// the tables of gstables.cpp, the read and write functions of each storage
// class, and one row per PSM code naming them. Page versions record writes
// for the caches of decoded texels.
#include "gs_local.h"

alignas(64) uint8_t g_gsMem[GS_MEMORY_SIZE];
uint64_t g_gsPageVersion[GS_PAGES];
uint64_t g_gsSerial = 1;
GsPageSet g_gsDecoded;
uint64_t g_gsDecodedGen;

namespace {

constexpr uint32_t BLOCK_MASK = GS_BLOCKS - 1;

// ---- addressing: element index of pixel (x, y) of a buffer ----
// page = x / page width + (y / page height) x pages per row; the block
// number is BP + page x 32 + the block table's entry (added, so an
// unaligned BP carries into the next page), modulo the memory's blocks.

uint32_t AddrCT32(uint32_t bp, uint32_t bw, int x, int y) {
  uint32_t page = uint32_t(x >> 6) + uint32_t(y >> 5) * bw;
  uint32_t block = (bp + page * 32 + kGsBlock32[(y >> 3) & 3][(x >> 3) & 7]) & BLOCK_MASK;
  return block * 64 + kGsColumn32[y & 7][x & 7];
}

uint32_t AddrZ32(uint32_t bp, uint32_t bw, int x, int y) {
  uint32_t page = uint32_t(x >> 6) + uint32_t(y >> 5) * bw;
  uint32_t block = (bp + page * 32 + kGsBlock32Z[(y >> 3) & 3][(x >> 3) & 7]) & BLOCK_MASK;
  return block * 64 + kGsColumn32[y & 7][x & 7];
}

template <const uint8_t (&kBlock)[8][4]>
uint32_t Addr16(uint32_t bp, uint32_t bw, int x, int y) {
  uint32_t page = uint32_t(x >> 6) + uint32_t(y >> 6) * bw;
  uint32_t block = (bp + page * 32 + kBlock[(y >> 3) & 7][(x >> 4) & 3]) & BLOCK_MASK;
  return block * 128 + kGsColumn16[y & 7][x & 15];
}

// 8-bit pages are 128 x 64 pixels: half as many per buffer row.
uint32_t AddrT8(uint32_t bp, uint32_t bw, int x, int y) {
  uint32_t page = uint32_t(x >> 7) + uint32_t(y >> 6) * (bw / 2);
  uint32_t block = (bp + page * 32 + kGsBlock32[(y >> 4) & 3][(x >> 4) & 7]) & BLOCK_MASK;
  return block * 256 + kGsColumn8[y & 15][x & 15];
}

uint32_t AddrT4(uint32_t bp, uint32_t bw, int x, int y) {
  uint32_t page = uint32_t(x >> 7) + uint32_t(y >> 7) * (bw / 2);
  uint32_t block = (bp + page * 32 + kGsBlock16[(y >> 4) & 7][(x >> 5) & 3]) & BLOCK_MASK;
  return block * 512 + kGsColumn4[y & 15][x & 31];
}

uint32_t AddrNone(uint32_t, uint32_t, int, int) { return 0; }

// ---- reading and writing one element's pixel bits ----

uint32_t& Word(uint32_t e) { return GsMem32()[e & 0xfffff]; }

uint32_t Read32(uint32_t e) { return Word(e); }
uint32_t Read24(uint32_t e) { return Word(e) & 0xffffff; }
uint32_t Read16(uint32_t e) { return GsMem16()[e & 0x1fffff]; }
uint32_t Read8(uint32_t e) { return g_gsMem[e & 0x3fffff]; }
uint32_t Read4(uint32_t e) { return (g_gsMem[(e >> 1) & 0x3fffff] >> ((e & 1) * 4)) & 15; }
uint32_t Read8H(uint32_t e) { return Word(e) >> 24; }
uint32_t Read4HL(uint32_t e) { return (Word(e) >> 24) & 15; }
uint32_t Read4HH(uint32_t e) { return Word(e) >> 28; }
uint32_t ReadNone(uint32_t) { return 0; }

void Write32(uint32_t e, uint32_t v) { Word(e) = v; }
void Write24(uint32_t e, uint32_t v) { Word(e) = (Word(e) & 0xff000000) | (v & 0xffffff); }
void Write16(uint32_t e, uint32_t v) { GsMem16()[e & 0x1fffff] = uint16_t(v); }
void Write8(uint32_t e, uint32_t v) { g_gsMem[e & 0x3fffff] = uint8_t(v); }
void Write4(uint32_t e, uint32_t v) {
  uint8_t& b = g_gsMem[(e >> 1) & 0x3fffff];
  int sh = (e & 1) * 4;
  b = uint8_t((b & ~(15 << sh)) | ((v & 15) << sh));
}
void Write8H(uint32_t e, uint32_t v) { Word(e) = (Word(e) & 0x00ffffff) | (v << 24); }
void Write4HL(uint32_t e, uint32_t v) { Word(e) = (Word(e) & 0xf0ffffff) | ((v & 15) << 24); }
void Write4HH(uint32_t e, uint32_t v) { Word(e) = (Word(e) & 0x0fffffff) | ((v & 15) << 28); }
void WriteNone(uint32_t, uint32_t) {}

// ---- the PSM rows ----

struct RowDef {
  const char* name;
  uint8_t psm;
  GsStore store;
  uint8_t bits, elemShift, pageW, pageH, blockW, blockH;
  bool isZ;
  uint32_t (*addr)(uint32_t, uint32_t, int, int);
};

constexpr RowDef kRowDefs[] = {
    {"PSMCT32", PSMCT32, GS_ST_32, 32, 5, 64, 32, 8, 8, false, AddrCT32},
    {"PSMCT24", PSMCT24, GS_ST_24, 24, 5, 64, 32, 8, 8, false, AddrCT32},
    {"PSMCT16", PSMCT16, GS_ST_16, 16, 4, 64, 64, 16, 8, false, Addr16<kGsBlock16>},
    {"PSMCT16S", PSMCT16S, GS_ST_16, 16, 4, 64, 64, 16, 8, false, Addr16<kGsBlock16S>},
    {"PSMT8", PSMT8, GS_ST_8, 8, 3, 128, 64, 16, 16, false, AddrT8},
    {"PSMT4", PSMT4, GS_ST_4, 4, 2, 128, 128, 32, 16, false, AddrT4},
    {"PSMT8H", PSMT8H, GS_ST_8H, 8, 5, 64, 32, 8, 8, false, AddrCT32},
    {"PSMT4HL", PSMT4HL, GS_ST_4HL, 4, 5, 64, 32, 8, 8, false, AddrCT32},
    {"PSMT4HH", PSMT4HH, GS_ST_4HH, 4, 5, 64, 32, 8, 8, false, AddrCT32},
    {"PSMZ32", PSMZ32, GS_ST_32, 32, 5, 64, 32, 8, 8, true, AddrZ32},
    {"PSMZ24", PSMZ24, GS_ST_24, 24, 5, 64, 32, 8, 8, true, AddrZ32},
    {"PSMZ16", PSMZ16, GS_ST_16, 16, 4, 64, 64, 16, 8, true, Addr16<kGsBlock16Z>},
    {"PSMZ16S", PSMZ16S, GS_ST_16, 16, 4, 64, 64, 16, 8, true, Addr16<kGsBlock16SZ>},
};

struct StoreFns {
  uint32_t (*read)(uint32_t);
  void (*write)(uint32_t, uint32_t);
};
constexpr StoreFns kStoreFns[] = {
    {ReadNone, WriteNone}, {Read32, Write32},   {Read24, Write24},   {Read16, Write16},
    {Read8, Write8},       {Read4, Write4},     {Read8H, Write8H},   {Read4HL, Write4HL},
    {Read4HH, Write4HH},
};

GsPsmRow g_rows[64];
// Page tables derived from the addressing functions, one per layout.
uint16_t g_intra[sizeof kRowDefs / sizeof kRowDefs[0]][128 * 128];
bool g_tablesReady = false;

int Log2(uint32_t v) {
  int n = 0;
  while ((1u << n) < v) n++;
  return n;
}

}  // namespace

void GsMemInitTables() {
  if (g_tablesReady) return;
  static const uint16_t kNoIntra[64 * 32] = {};  // never used by a fast path
  for (int i = 0; i < 64; i++) {
    GsPsmRow& r = g_rows[i];
    r = GsPsmRow{"invalid", uint8_t(i), GS_ST_NONE, 0, 5, 64, 32, 8, 8, 6, 5, false,
                 AddrNone, ReadNone, WriteNone, kNoIntra, 0, 0};
  }
  int n = 0;
  for (const RowDef& d : kRowDefs) {
    GsPsmRow& r = g_rows[d.psm];
    r.name = d.name;
    r.psm = d.psm;
    r.store = d.store;
    r.bits = d.bits;
    r.elemShift = d.elemShift;
    r.pageW = d.pageW;
    r.pageH = d.pageH;
    r.blockW = d.blockW;
    r.blockH = d.blockH;
    r.pwShift = uint8_t(Log2(d.pageW));
    r.phShift = uint8_t(Log2(d.pageH));
    r.isZ = d.isZ;
    r.addr = d.addr;
    r.read = kStoreFns[d.store].read;
    r.write = kStoreFns[d.store].write;
    r.elemsPerBlock = 2048u >> d.elemShift;
    r.elemMask = r.elemsPerBlock * GS_BLOCKS - 1;
    // Page 0 of a buffer at BP 0: its element offsets are the page's own.
    uint16_t* t = g_intra[n++];
    for (int y = 0; y < d.pageH; y++)
      for (int x = 0; x < d.pageW; x++) t[y * d.pageW + x] = uint16_t(d.addr(0, 2, x, y));
    r.intra = t;
  }
  g_tablesReady = true;
}

const GsPsmRow& GsPsm(uint32_t psm) {
  if (!g_tablesReady) GsMemInitTables();
  return g_rows[psm & 63];
}

void GsMemRectPages(const GsPsmRow& r, uint32_t bp, uint32_t bw, int x0, int y0, int x1, int y1,
                    GsPageSet* set) {
  if (x1 < x0 || y1 < y0) return;
  uint32_t ppr = GsPagesPerRow(r, bw);
  for (int py = y0 >> r.phShift; py <= (y1 >> r.phShift); py++) {
    for (int px = x0 >> r.pwShift; px <= (x1 >> r.pwShift); px++) {
      uint32_t block = (bp + (uint32_t(px) + uint32_t(py) * ppr) * 32) & BLOCK_MASK;
      set->Add(block >> 5);
      if (block & 31) set->Add((block >> 5) + 1);  // an unaligned base straddles two pages
    }
  }
}

void GsMemStampPages(const GsPageSet& set) {
  uint64_t serial = GsMemNewSerial();
  for (uint32_t i = 0; i < GS_PAGES / 64; i++) {
    uint64_t w = set.w[i];
    while (w) {
      int b = __builtin_ctzll(w);
      w &= w - 1;
      g_gsPageVersion[i * 64 + b] = serial;
    }
  }
}

uint8_t* GsMemory() {
  GsSync();
  return g_gsMem;
}

void GsMemInvalidate() {
  GsSync();
  uint64_t serial = GsMemNewSerial();
  for (uint64_t& v : g_gsPageVersion) v = serial;
}

uint32_t GsMemReadPixel(int psm, uint32_t bp, uint32_t bw, int x, int y) {
  GsSync();
  const GsPsmRow& r = GsPsm(uint32_t(psm));
  return r.read(r.addr(bp & BLOCK_MASK, bw & 63, x & 2047, y & 2047));
}

void GsMemWritePixel(int psm, uint32_t bp, uint32_t bw, int x, int y, uint32_t value) {
  GsSync();
  const GsPsmRow& r = GsPsm(uint32_t(psm));
  uint32_t e = r.addr(bp & BLOCK_MASK, bw & 63, x & 2047, y & 2047);
  g_gsPageVersion[((uint64_t(e) << r.elemShift) >> 16) & (GS_PAGES - 1)] = GsMemNewSerial();
  r.write(e, value);
}
