// The display: what the player sees at each swap (an SDL2 window, or
// nothing), the PNG snapshot, and the graphics library (libgraph) calls
// the system makes. Included from platform.h.
#pragma once

#include <cstdint>

#include "gs/gs.h"

// ===================================================================
// Display back ends (a run-time table; "null" for tests)
// ===================================================================
// At every swap the displayed field (640x224, alpha ignored) is read out of
// the GS, its lines doubled (640x448) and handed to the back end, which
// shows it at 4:3. The back end is opened at the first swap.

struct DisplayBackend {
  const char* name;
  bool (*open)();  // false: not available here
  void (*present)(const uint32_t* frame, int width, int height);  // 0xAABBGGRR words
  // What the window shows now, at its own size (tests); false when none.
  bool (*readBack)(uint32_t* out, int maxPixels, int* width, int* height);
  void (*close)();
};

// "auto" (a window when a display is there, else none), "sdl" or "null".
// Takes effect at the next swap. False for an unknown name.
bool DisplaySetBackend(const char* name);
const char* DisplayBackendName();  // the back end in use ("" before the first swap)
void DisplayClose();

// Called by the swap: reads out the displayed field, shows it, writes a
// requested snapshot.
void DisplayPresent();
int DisplayPresentCount();  // swaps shown since start-up

// The field read-out; tests may replace it (null: the GS, GsReadDisplay).
using DisplayReadOut = bool (*)(uint32_t* out, int maxPixels, int* width, int* height);
void DisplaySetReadOut(DisplayReadOut fn);
// The field shown now (black 640x224 before the first swap).
const uint32_t* DisplayField(int* width, int* height);
// Field lines doubled: frame must hold width x 2 x height words.
void DisplayDoubleLines(const uint32_t* field, int width, int height, uint32_t* frame);
// What the window shows (tests under a display server).
bool DisplayReadBack(uint32_t* out, int maxPixels, int* width, int* height);

// PNG snapshots of the field shown now, or at swap number swap (counted by
// DisplayPresentCount; the program's --snapshot=N:FILE). Every request is
// kept, several at one swap included; a swap below 0 or no path drops them all.
bool DisplaySnapshot(const char* path);
void DisplayRequestSnapshot(int swap, const char* path);
// 8-bit RGB PNG of 0xAABBGGRR pixels (alpha dropped). False on a write error.
bool PngWrite(const char* path, const uint32_t* pixels, int width, int height);

// ===================================================================
// libgraph
// ===================================================================

// Register fields libgraph and the system use.
struct GS_DISPFB {
  using FBP = HwField<0, 9>;
  using FBW = HwField<9, 6>;
  using PSM = HwField<15, 5>;
  using DBX = HwField<32, 11>;
  using DBY = HwField<43, 11>;
};
struct GS_DISPLAY {
  using DX = HwField<0, 12>;
  using DY = HwField<12, 11>;
  using MAGH = HwField<23, 4>;
  using MAGV = HwField<27, 2>;
  using DW = HwField<32, 12>;
  using DH = HwField<44, 11>;
};
struct GS_FRAME {
  using FBP = HwField<0, 9>;
  using FBW = HwField<16, 6>;
  using PSM = HwField<24, 6>;
  using FBMSK = HwField<32, 32>;
};
struct GS_ZBUF {
  using ZBP = HwField<0, 9>;
  using PSM = HwField<24, 4>;
  using ZMSK = HwField<32, 1>;
};
struct GS_XYOFFSET {
  using OFX = HwField<0, 16>;
  using OFY = HwField<32, 16>;
};
struct GS_SCISSOR {
  using SCAX0 = HwField<0, 11>;
  using SCAX1 = HwField<16, 11>;
  using SCAY0 = HwField<32, 11>;
  using SCAY1 = HwField<48, 11>;
};

// A display environment: the privileged registers one buffer is shown with
// (read circuit 2).
struct sceGsDispEnv {
  uint64_t pmode, smode2, dispfb, display, bgcolor;
};
// A drawing environment: A+D pairs (value, register) for one context.
struct sceGsDrawEnv1 {
  uint64_t frame1, frame1addr, zbuf1, zbuf1addr, xyoffset1, xyoffset1addr, scissor1, scissor1addr;
  uint64_t prmodecont, prmodecontaddr, colclamp, colclampaddr, dthe, dtheaddr, test1, test1addr;
};
struct sceGsDrawEnv2 {
  uint64_t frame2, frame2addr, zbuf2, zbuf2addr, xyoffset2, xyoffset2addr, scissor2, scissor2addr;
  uint64_t prmodecont, prmodecontaddr, colclamp, colclampaddr, dthe, dtheaddr, test2, test2addr;
};
// A clear of the drawing buffer (sent with the environment when asked).
struct sceGsClear {
  uint64_t testa, testaaddr, prim, primaddr, rgbaq, rgbaqaddr, xyz2a, xyz2aaddr;
  uint64_t xyz2b, xyz2baddr, testb, testbaddr;
};
// Double buffering: display environment n shows buffer n; drawing set n
// (GIF tag, both contexts, clear) draws into the other buffer.
struct alignas(16) sceGsDBuffDc {
  sceGsDispEnv disp[2];
  uint64_t pad[2];
  uint64_t giftag0[2];
  sceGsDrawEnv1 draw01;
  sceGsDrawEnv2 draw02;
  sceGsClear clear0;
  uint64_t giftag1[2];
  sceGsDrawEnv1 draw11;
  sceGsDrawEnv2 draw12;
  sceGsClear clear1;
};
struct alignas(16) sceGsStoreImage {
  uint64_t giftag[2];
  uint64_t bitbltbuf, bitbltbufaddr, trxpos, trxposaddr, trxreg, trxregaddr, finish, finishaddr;
  uint64_t trxdir, trxdiraddr;
  uint32_t bytes;  // local-to-host bytes the transfer delivers
  uint32_t pad[3];
};

enum { SCE_GS_NOINTERLACE = 0, SCE_GS_INTERLACE = 1 };
enum { SCE_GS_NTSC = 2, SCE_GS_PAL = 3 };
enum { SCE_GS_FIELD = 0, SCE_GS_FRAME = 1 };
enum { SCE_GS_ZGREATER = 3 };

// mode 0: reset the GS (memory and registers) and set the video mode.
int sceGsResetGraph(short mode, short inter, short omode, short ffmode);
void sceGsResetPath();  // VIF1, VU1 and the GIF back to their reset state
int sceGsSetDefDBuffDc(sceGsDBuffDc* db, short psm, short w, short h, short ztest, short zpsm, short clear);
// Shows display environment id and sends drawing set id to the GS (path 3).
int sceGsSwapDBuffDc(sceGsDBuffDc* db, int id);
int sceGsPutDispEnv(const sceGsDispEnv* disp);
int sceGsPutDrawEnv(const uint64_t* giftag);  // a GIF tag and its A+D data
// XYOFFSET of a drawing environment for the field: the buffer centred on
// (centerx, centery), half a line lower (8 in 12.4) when halfoff is odd.
void sceGsSetHalfOffset(sceGsDrawEnv1* draw, int centerx, int centery, int halfoff);
void sceGsSetHalfOffset2(sceGsDrawEnv2* draw, int centerx, int centery, int halfoff);
// Waits for the next vertical-blank start; the field then shown: 0 even,
// 1 odd (always 0 in virtual time). Not from an interrupt handler.
int sceGsSyncV(int mode);
// The vertical-blank-start callback (cause 2); returns the previous one.
using sceGsVCallback = int (*)(int cause);
sceGsVCallback sceGsSyncVCallback(sceGsVCallback func);
// Waits until the GS paths are idle: transfers are synchronous, so at once.
int sceGsSyncPath(int mode, uint16_t timeout);
// Local-to-host transfer of a rectangle (sbp in blocks, sbw in 64 pixels).
void sceGsSetDefStoreImage(sceGsStoreImage* sp, short sbp, short sbw, short spsm, short x, short y,
                           short w, short h);
int sceGsExecStoreImage(sceGsStoreImage* sp, void* dst);
