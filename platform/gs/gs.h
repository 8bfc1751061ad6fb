// The Graphics Synthesizer model: 4 MB of local memory in the documented
// page/block/column layouts, the general registers written through the GIF,
// the privileged registers, transfers and the display read-out.
#pragma once

#include <cstdint>

constexpr int GS_MEMORY_SIZE = 4 * 1024 * 1024;

// General registers (GIF A+D addresses).
enum GsReg {
  GS_PRIM = 0x00, GS_RGBAQ = 0x01, GS_ST = 0x02, GS_UV = 0x03, GS_XYZF2 = 0x04, GS_XYZ2 = 0x05,
  GS_TEX0_1 = 0x06, GS_TEX0_2 = 0x07, GS_CLAMP_1 = 0x08, GS_CLAMP_2 = 0x09, GS_FOG = 0x0a,
  GS_XYZF3 = 0x0c, GS_XYZ3 = 0x0d, GS_TEX1_1 = 0x14, GS_TEX1_2 = 0x15, GS_TEX2_1 = 0x16, GS_TEX2_2 = 0x17,
  GS_XYOFFSET_1 = 0x18, GS_XYOFFSET_2 = 0x19, GS_PRMODECONT = 0x1a, GS_PRMODE = 0x1b, GS_TEXCLUT = 0x1c,
  GS_SCANMSK = 0x22, GS_MIPTBP1_1 = 0x34, GS_MIPTBP1_2 = 0x35, GS_MIPTBP2_1 = 0x36, GS_MIPTBP2_2 = 0x37,
  GS_TEXA = 0x3b, GS_FOGCOL = 0x3d, GS_TEXFLUSH = 0x3f, GS_SCISSOR_1 = 0x40, GS_SCISSOR_2 = 0x41,
  GS_ALPHA_1 = 0x42, GS_ALPHA_2 = 0x43, GS_DIMX = 0x44, GS_DTHE = 0x45, GS_COLCLAMP = 0x46,
  GS_TEST_1 = 0x47, GS_TEST_2 = 0x48, GS_PABE = 0x49, GS_FBA_1 = 0x4a, GS_FBA_2 = 0x4b,
  GS_FRAME_1 = 0x4c, GS_FRAME_2 = 0x4d, GS_ZBUF_1 = 0x4e, GS_ZBUF_2 = 0x4f, GS_BITBLTBUF = 0x50,
  GS_TRXPOS = 0x51, GS_TRXREG = 0x52, GS_TRXDIR = 0x53, GS_HWREG = 0x54, GS_SIGNAL = 0x60,
  GS_FINISH = 0x61, GS_LABEL = 0x62, GS_REG_COUNT = 0x63,
};

// Privileged registers (EE addresses).
enum GsPriv : uint32_t {
  GS_PMODE = 0x12000000, GS_SMODE1 = 0x12000010, GS_SMODE2 = 0x12000020, GS_SRFSH = 0x12000030,
  GS_SYNCH1 = 0x12000040, GS_SYNCH2 = 0x12000050, GS_SYNCV = 0x12000060, GS_DISPFB1 = 0x12000070,
  GS_DISPLAY1 = 0x12000080, GS_DISPFB2 = 0x12000090, GS_DISPLAY2 = 0x120000a0, GS_EXTBUF = 0x120000b0,
  GS_EXTDATA = 0x120000c0, GS_EXTWRITE = 0x120000d0, GS_BGCOLOR = 0x120000e0, GS_CSR = 0x12001000,
  GS_IMR = 0x12001010, GS_BUSDIR = 0x12001040, GS_SIGLBLID = 0x12001080,
};

// Pixel storage formats.
enum GsPsm {
  PSMCT32 = 0x00, PSMCT24 = 0x01, PSMCT16 = 0x02, PSMCT16S = 0x0a, PSMT8 = 0x13, PSMT4 = 0x14,
  PSMT8H = 0x1b, PSMT4HL = 0x24, PSMT4HH = 0x2c, PSMZ32 = 0x30, PSMZ24 = 0x31, PSMZ16 = 0x32,
  PSMZ16S = 0x3a,
};

void GsReset();                           // memory and registers to power-on state
uint8_t* GsMemory();                      // the 4 MB of local memory (tests, display)

// A general register write (what the GIF delivers after PACKED/REGLIST
// decoding): drawing kicks, transfers and state all go through here.
void GsWriteReg(int reg, uint64_t value);
uint64_t GsGetReg(int reg);               // last value written
// Tests may watch every general register write (null: none).
using GsRegHook = void (*)(int reg, uint64_t value);
void GsSetRegHook(GsRegHook hook);

// Host-to-local transfer data (GIF IMAGE mode, HWREG): bytes in order, a
// multiple of 8. Local-to-host: fills up to bytes, returns bytes delivered.
void GsWriteImage(const void* data, int bytes);
int GsReadImage(void* data, int bytes);

void GsPrivWrite(uint32_t addr, uint64_t value);
uint64_t GsPrivRead(uint32_t addr);

// One pixel of local memory in a format (buffer base in blocks of 256 bytes,
// width in units of 64 pixels), in the format's own bits.
uint32_t GsMemReadPixel(int psm, uint32_t bp, uint32_t bw, int x, int y);
void GsMemWritePixel(int psm, uint32_t bp, uint32_t bw, int x, int y, uint32_t value);

// The picture read circuit `circuit` (1 or 2) shows, per DISPFB/DISPLAY,
// as 0xAABBGGRR words (alpha as stored); width and height of the display
// rectangle. Returns false when the circuit is off (PMODE).
bool GsReadDisplay(int circuit, uint32_t* out, int maxPixels, int* width, int* height);

// ---- additions beside the fixed interface ----

// The picture the merge circuit sends to the screen (PMODE: circuit 1 over
// circuit 2 or the background colour, blended by ALP or circuit 1's alpha),
// as 0x00BBGGRR words. False when both circuits are off.
bool GsReadDisplayMerged(uint32_t* out, int maxPixels, int* width, int* height);

// Who draws: the fast rasteriser (default) or the plain reference one that
// checks it. The environment variable ZE_GS_PATH=reference selects the
// reference path at GsReset.
enum GsPath { GS_PATH_FAST = 0, GS_PATH_REFERENCE = 1 };
void GsSetPath(GsPath path);
GsPath GsGetPath();

// Why a primitive was drawn by the reference rasteriser.
enum GsRefReason {
  GS_REF_CHOSEN,         // the reference path is selected (GsSetPath)
  GS_REF_POINT_LINE,     // points and lines: the reference path draws them
  GS_REF_FRAME_FORMAT,   // a frame format the fast path does not draw
  GS_REF_DEPTH_FORMAT,   // a depth format the fast path does not draw
  GS_REF_TEX_FORMAT,     // a texture code that is not a format
  GS_REF_WIDTH,          // pixels beyond the buffer's width, or rows round memory
  GS_REF_ALIAS,          // frame and depth buffer in the same pages
  GS_REF_FEEDBACK,       // a texture read from pages the primitive writes
  GS_REF_REGION,         // a region mode reaching outside the texture
  GS_REF_Q_SIGN,         // Q not positive and finite under a per-pixel LOD
  GS_REF_NO_SIMD,        // no span functions on this CPU
  GS_REF_COUNT,
};
const char* GsRefReasonName(int reason);

// Drawing threads (1 to 8). With 1 (the default) a register write draws
// before it returns. With N > 1 the GIF's writes and image data go in
// order to a worker thread that draws beside the caller, each fast
// primitive's rows split over N threads; every call here that reads or
// writes local memory or registers waits for it first. Pictures are the
// same for every N. ZE_GS_THREADS=N sets it at the first GsReset unless
// GsSetThreads did.
void GsSetThreads(int n);
int GsGetThreads();

// Drawing counters since GsReset (benchmarks and tests).
struct GsStats {
  uint64_t prims;       // primitives drawn
  uint64_t pixels;      // pixels covered (before the pixel tests)
  uint64_t fastPrims;   // primitives the fast path drew
  uint64_t fastPixels;  // pixels covered by the fast path's primitives
  uint64_t refPixels;   // pixels covered by the reference path's primitives
  // Primitives the reference path drew, and their pixels, by reason.
  uint64_t refPrims[GS_REF_COUNT];
  uint64_t refReasonPixels[GS_REF_COUNT];
};
GsStats GsGetStats();
// The counters as text lines ("gs: ..."), one per path and reason that drew
// anything; returns the length written (at most size - 1).
int GsStatsText(const GsStats& s, char* out, int size);

// After writing local memory through GsMemory() directly: forget every
// decoded texture.
void GsMemInvalidate();
