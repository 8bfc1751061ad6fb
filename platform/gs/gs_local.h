// Records and functions shared by the GS model's files (not by its users).
#pragma once

#include <cstdint>
#include <cstring>

#include "gs.h"
#include "gsregs.h"

// ===================================================================
// Layout tables (gstables.cpp)
// ===================================================================
extern const uint8_t kGsBlock32[4][8];
extern const uint8_t kGsBlock32Z[4][8];
extern const uint8_t kGsBlock16[8][4];
extern const uint8_t kGsBlock16S[8][4];
extern const uint8_t kGsBlock16Z[8][4];
extern const uint8_t kGsBlock16SZ[8][4];
extern const uint8_t kGsColumn32[8][8];
extern const uint8_t kGsColumn16[8][16];
extern const uint8_t kGsColumn8[16][16];
extern const uint16_t kGsColumn4[16][32];

// ===================================================================
// Local memory and pixel formats (gsmem.cpp)
// ===================================================================
constexpr uint32_t GS_BLOCKS = 16384;  // 256-byte blocks
constexpr uint32_t GS_PAGES = 512;     // 8 KB pages

extern uint8_t g_gsMem[GS_MEMORY_SIZE];

inline uint32_t* GsMem32() { return reinterpret_cast<uint32_t*>(g_gsMem); }
inline uint16_t* GsMem16() { return reinterpret_cast<uint16_t*>(g_gsMem); }

// Storage classes of the pixel formats: how a pixel's bits sit in its element.
enum GsStore : uint8_t {
  GS_ST_NONE,   // not a format: reads 0, writes nothing
  GS_ST_32,     // whole word
  GS_ST_24,     // word bits 0-23, bits 24-31 kept on write
  GS_ST_16,     // halfword
  GS_ST_8,      // byte
  GS_ST_4,      // nibble
  GS_ST_8H,     // word bits 24-31
  GS_ST_4HL,    // word bits 24-27
  GS_ST_4HH,    // word bits 28-31
};

// One row per PSM code: its geometry, its addressing function and its read
// and write functions. Elements are words, halfwords, bytes or nibbles, by
// elemShift (log2 of the element's bits); an element index counts those
// units from the start of local memory.
struct GsPsmRow {
  const char* name;
  uint8_t psm;
  GsStore store;
  uint8_t bits;       // pixel bits (32, 24, 16, 8, 4)
  uint8_t elemShift;  // 5 word, 4 halfword, 3 byte, 2 nibble
  uint8_t pageW, pageH, blockW, blockH;
  uint8_t pwShift, phShift;
  bool isZ;
  uint32_t (*addr)(uint32_t bp, uint32_t bw, int x, int y);
  uint32_t (*read)(uint32_t elem);
  void (*write)(uint32_t elem, uint32_t value);
  // Derived from addr at start-up: the element offset of (x mod pageW,
  // y mod pageH) within a page, pageH rows of pageW. Fast paths add
  // (bp + page * 32) * elemsPerBlock and wrap with elemMask.
  const uint16_t* intra;
  uint32_t elemsPerBlock;
  uint32_t elemMask;  // element count of local memory - 1
};

const GsPsmRow& GsPsm(uint32_t psm);  // any code; invalid ones are a "nothing" row
void GsMemInitTables();               // once, before use (idempotent)

inline uint32_t GsPagesPerRow(const GsPsmRow& r, uint32_t bw) {
  return r.pageW == 128 ? bw / 2 : bw;
}
// The fast form of r.addr, from the derived page table.
inline uint32_t GsAddrFast(const GsPsmRow& r, uint32_t bp, uint32_t bw, int x, int y) {
  uint32_t page = uint32_t(x >> r.pwShift) + uint32_t(y >> r.phShift) * GsPagesPerRow(r, bw);
  uint32_t off = r.intra[(uint32_t(y) & (r.pageH - 1u)) * r.pageW + (uint32_t(x) & (r.pageW - 1u))];
  return ((bp + page * 32) * r.elemsPerBlock + off) & r.elemMask;
}

// Page versions: every write to local memory stamps the pages it touches
// with a new serial, so caches of decoded texels can tell stale pages.
extern uint64_t g_gsPageVersion[GS_PAGES];
extern uint64_t g_gsSerial;
inline uint64_t GsMemNewSerial() { return ++g_gsSerial; }

// A set of pages (one bit each).
struct GsPageSet {
  uint64_t w[GS_PAGES / 64];
  void Clear() { memset(w, 0, sizeof w); }
  void Add(uint32_t p) { p &= GS_PAGES - 1; w[p >> 6] |= uint64_t(1) << (p & 63); }
  bool Has(uint32_t p) const { p &= GS_PAGES - 1; return (w[p >> 6] >> (p & 63)) & 1; }
  bool Intersects(const GsPageSet& o) const {
    uint64_t any = 0;
    for (int i = 0; i < int(GS_PAGES / 64); i++) any |= w[i] & o.w[i];
    return any != 0;
  }
};
// Adds the pages holding the pixels [x0, x1] x [y0, y1] of a buffer.
void GsMemRectPages(const GsPsmRow& r, uint32_t bp, uint32_t bw, int x0, int y0, int x1, int y1,
                    GsPageSet* set);
// Stamps every page of a set with a new serial.
void GsMemStampPages(const GsPageSet& set);
// Pages some decoded texels came from: only writes to these need stamps
// (a tile decoded later reads the memory as it is then). `gen` moves when
// the set grows.
extern GsPageSet g_gsDecoded;
extern uint64_t g_gsDecodedGen;
inline void GsMemNoteDecoded(uint32_t page) {
  if (!g_gsDecoded.Has(page)) {
    g_gsDecoded.Add(page);
    g_gsDecodedGen++;
  }
}

// Colour helpers (RGBA words are 0xAABBGGRR).
inline uint32_t GsExpand16(uint32_t c, uint32_t alpha) {
  return ((c & 0x1f) << 3) | ((c & 0x3e0) << 6) | ((c & 0x7c00) << 9) | (alpha << 24);
}
inline uint32_t GsPack16(uint32_t c) {
  return ((c >> 3) & 0x1f) | ((c >> 6) & 0x3e0) | ((c >> 9) & 0x7c00) | ((c >> 16) & 0x8000);
}

// ===================================================================
// State (gsregs.cpp)
// ===================================================================
struct GsVertex {
  uint32_t x, y;  // 12.4, before XYOFFSET
  uint32_t z;
  uint32_t rgba;
  float q;
  float s, t;
  uint32_t u, v;  // 10.4 texels
};

struct GsXfer {
  int dir;  // TRXDIR of the transfer in progress, 3 when none
  GsBITBLTBUF buf;
  GsTRXPOS pos;
  GsTRXREG reg;
  int x, y;          // next pixel, relative to the rectangle
  uint64_t pending;  // bits carried between data chunks
  int pendingBits;
  uint64_t bytesOut;  // local to host: bytes delivered so far
};

struct GsDrawEnv;

struct GsState {
  uint64_t reg[GS_REG_COUNT];
  GsVertex cur;     // RGBAQ, ST, UV as last written
  GsVertex vq[3];   // the vertex queue
  int vqn;
  bool envDirty;
  uint64_t envSerial;  // counts rebuilds of the drawing environment
  // The CLUT buffer: 512 halfwords. A PSMCT32 entry k keeps its low half
  // in [k] and its high half in [k + 256].
  uint16_t clut[512];
  uint32_t cbp0, cbp1;
  uint64_t clutSerial;  // moves when the CLUT buffer's contents change
  GsXfer xfer;
  uint64_t priv[32];  // privileged registers by GsPrivIndex
  GsPath path;
  GsRegHook hook;
  GsStats stats;
  GsRefReason declined;  // why the fast path last declined a primitive
};
extern GsState g_gs;

// Privileged register slots.
enum GsPrivSlot {
  GS_P_PMODE, GS_P_SMODE1, GS_P_SMODE2, GS_P_SRFSH, GS_P_SYNCH1, GS_P_SYNCH2, GS_P_SYNCV,
  GS_P_DISPFB1, GS_P_DISPLAY1, GS_P_DISPFB2, GS_P_DISPLAY2, GS_P_EXTBUF, GS_P_EXTDATA,
  GS_P_EXTWRITE, GS_P_BGCOLOR, GS_P_CSR, GS_P_IMR, GS_P_BUSDIR, GS_P_SIGLBLID, GS_P_COUNT,
};

// ===================================================================
// Transfers (gsxfer.cpp)
// ===================================================================
void GsXferStart(uint64_t trxdir);
void GsXferReset();

// ===================================================================
// Textures (gstex.cpp)
// ===================================================================
struct GsTexLevel {
  uint32_t tbp, tbw;
  int tw, th;  // log2 of the level's size (at most 10)
};

// A texture as the registers describe it at a drawing kick.
struct GsTexEnv {
  const GsPsmRow* psm;
  bool indexed;   // T8, T4, T8H, T4HL, T4HH: colours from the CLUT
  int tfx, tcc;
  GsTexLevel lv[7];
  int mxl;
  int lcm, mmag, mmin, l, k;  // k: signed, 1/16
  int wms, wmt, minu, maxu, minv, maxv;
  uint32_t ta0, ta1, aem;
  int cpsm;       // CLUT format: PSMCT32, PSMCT16 or PSMCT16S
  int clutBase;   // first CLUT buffer entry of this texture's palette
};

void GsTexEnvBuild(GsTexEnv* t, const GsTEX0& tex0, const GsTEX1& tex1, const GsCLAMP& clamp,
                   uint64_t miptbp1, uint64_t miptbp2, const GsTEXA& texa);
void GsClutLoad(const GsTEX0& tex0);  // the CLD rules, at a TEX0/TEX2 write
// A texel's colour from its stored bits (TEXA, CLUT).
uint32_t GsTexelColour(const GsTexEnv& t, uint32_t bits);
uint32_t GsClutColour(const GsTexEnv& t, uint32_t index);
int GsWrapCoord(int i, int mode, int size, int rmin, int rmax);
// LOD in 1/16 from Q (or K alone with LCM).
int GsTexLod(const GsTexEnv& t, float q);
// STQ to texture coordinates in 1/16 texel of level 0.
int GsStqToCoord(float st, float rq, int log2size);
// The texture's colour at (u, v) (1/16 texel of level 0), reading local
// memory through the format's row: the reference sampler.
uint32_t GsSampleRef(const GsTexEnv& t, int u, int v, float q);
// Texture function: fragment colour f and texel t to the source colour.
uint32_t GsTfx(int tfx, int tcc, uint32_t f, uint32_t t);

// ===================================================================
// Drawing (gsdraw.cpp, gsref.cpp, gsfast.cpp)
// ===================================================================
enum GsFbFmt : uint8_t { GS_FB_NONE, GS_FB_32, GS_FB_24, GS_FB_16 };

// Everything a primitive needs from the registers, decoded once per change.
struct GsDrawEnv {
  int ctxt;
  bool iip, tme, abe, fst;
  int ofx, ofy;
  int scx0, scx1, scy0, scy1;
  // frame buffer
  const GsPsmRow* fpsm;
  GsFbFmt ffmt;
  uint32_t fbp, fbw;  // fbp in blocks
  uint32_t fbmsk;
  // depth buffer (always a Z layout)
  const GsPsmRow* zpsm;
  uint32_t zbp;
  uint32_t zmax;
  bool zmsk;
  // tests
  bool ate, date, datm, zte;
  int atst, aref, afail, ztst;
  // blending
  int ba, bb, bc, bd;
  uint32_t bfix;
  bool colclamp;
  GsTexEnv tex;
  bool drawsNothing;  // nothing can be written (no frame and no depth)
  // Pages of the frame and depth buffer under the whole scissor rectangle
  // (no primitive reaches beyond), and whether the two share one.
  GsPageSet area;
  bool areaAlias;
};

// Interpolants of a primitive, as plane equations from an origin pixel
// (xo, yo). Both rasterisers evaluate exactly these, so they agree bit for bit:
//   colour, u, v: 16.16, wrapping uint32: c + dcdx * (x - xo) + dcdy * (y - yo)
//   z: 32.16 in int64, the same form
//   s, t, q: float, row value first: (s + dsdy * (y - yo)) + dsdx * (x - xo)
struct GsSetup {
  int xo, yo;
  uint32_t c[4], dcdx[4], dcdy[4];
  int64_t z, dzdx, dzdy;
  float s, dsdx, dsdy, t, dtdx, dtdy, q, dqdx, dqdy;
  uint32_t u, dudx, dudy, v, dvdx, dvdy;
};

// A fragment entering the pixel pipeline.
struct GsFrag {
  uint32_t rgba;
  uint32_t z;  // already clamped to 32 bits
  int u, v;    // texture coordinates, 1/16 texel of level 0
  float q;
};

const GsDrawEnv& GsEnvGet();   // rebuilt when registers changed
void GsKickVertex(bool kick);  // an XYZ2/XYZF2 (kick) or XYZ3/XYZF3 write

// Fragment of a setup at pixel (x, y).
void GsSetupFrag(const GsDrawEnv& e, const GsSetup& s, int x, int y, GsFrag* f);
inline uint32_t GsClampZ(int64_t z16, uint32_t zmax) {
  int64_t z = z16 >> 16;
  return z < 0 ? 0 : z > int64_t(zmax) ? zmax : uint32_t(z);
}
// The whole pixel pipeline for one fragment (textures, tests, blending,
// masks, writes) through the format rows: the reference.
void GsRefPixel(const GsDrawEnv& e, int x, int y, const GsFrag& f);
bool GsAlphaPass(int atst, uint32_t a, uint32_t aref);

struct GsTri {
  int x[3], y[3];  // window coordinates, 1/16 pixel, area > 0 (clockwise)
};
// The pages of the frame and of the depth buffer (when tested or written)
// under a primitive's rectangle [x0, x1] x [y0, y1], worked out when
// first asked for (GsWritesExact).
struct GsWrites {
  int x0, y0, x1, y1;
  bool exact;
  GsPageSet frame, depth;
};
const GsWrites& GsWritesExact(const GsDrawEnv& e, GsWrites* w);

// Rasterisers. Rectangles are [x0, x1) x [y0, y1) in pixels, inside the scissor.
void GsRefTriangle(const GsDrawEnv& e, const GsTri& t, const GsSetup& s);
void GsRefSprite(const GsDrawEnv& e, int x0, int y0, int x1, int y1, const GsSetup& s);
// The fast path; false when the primitive needs the reference path.
bool GsFastTriangle(const GsDrawEnv& e, const GsTri& t, const GsSetup& s, GsWrites* w);
bool GsFastSprite(const GsDrawEnv& e, int x0, int y0, int x1, int y1, const GsSetup& s,
                  GsWrites* w);
void GsFastReset();  // drops decoded textures

// Display (gsdisplay.cpp)
void GsCsrRaise(int bit);  // SIGNAL (0) or FINISH (1): sets CSR and interrupts unless masked

// ===================================================================
// The worker thread (gsthread.cpp)
// ===================================================================
// Runs a general register write or host-to-local data where the GS draws
// (the public GsWriteReg and GsWriteImage queue them or call these).
void GsExecReg(int reg, uint64_t value);
void GsXferWriteImage(const void* data, int bytes);
// True while writes go through the queue to the worker (threads > 1).
extern bool g_gsQueued;
void GsQueuePushReg(int reg, uint64_t value);
void GsQueuePushImage(const void* data, int bytes);
void GsSyncWait();
// Waits until the worker has run everything queued: before anything
// reads or writes local memory or registers from outside the worker.
inline void GsSync() {
  if (g_gsQueued) GsSyncWait();
}
void GsThreadsInit();  // the thread count from ZE_GS_THREADS unless one was set
