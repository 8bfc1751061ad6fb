// zeps2: the console layer of the engine: DMA packets and channels, video,
// interrupts, timing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform.h"

// ===================================================================
// DMA tags and packet building (ps2dma)
// ===================================================================
// Writers take a write position (a multiple of 4 bytes; DMA tags on 16)
// and return the position after what they wrote. A DMA tag, a VIF DIRECT
// code and a GIF tag may each be open once; closes run innermost first.

// Packet-kind markers in byte 2 of a DMA tag (26 and above read as 0).
enum ZEDMAMARKER {
  DMAMK_UNKNOWN = 0, DMAMK_MTL = 1, DMAMK_TXTRSET = 2, DMAMK_TXTRLOAD = 3, DMAMK_GEOMCALL = 4,
  DMAMK_GOBJDATA = 5, DMAMK_SKINDATA = 6, DMAMK_SKINHDR = 7, DMAMK_SKINMTX = 8, DMAMK_BEGINSCENE_FB = 9,
  DMAMK_BEGINSCENE_FBT = 10, DMAMK_BEGINSCENE_ZB = 11, DMAMK_BEGINSCENE_ZBS = 12, DMAMK_STREAMFLUSHLNK = 13,
  DMAMK_TEXTPRINT = 14, DMAMK_CLEARSCREEN = 15, DMAMK_GRADCLEARSCREEN = 16, DMAMK_CLIPTRI3D = 17,
  DMAMK_CLIPQUAD3D = 18, DMAMK_CLIPTRISTRIP3D = 19, DMAMK_MTXLOAD = 20, DMAMK_LIGHTLOAD = 21,
  DMAMK_FXMTXLOAD = 22, DMAMK_SPECLOAD = 23, DMAMK_FREE = 24, DMAMK_TXTREND = 25, DMAMK_COUNT = 26,
};
extern const char* const ps2dma_marker_name[DMAMK_COUNT];
extern const uint8_t ps2dma_marker_skip[DMAMK_COUNT];

// DMA tag kinds (ID, byte 3 bits 4-6).
enum { DMATAG_REFE = 0, DMATAG_CNT = 1, DMATAG_NEXT = 2, DMATAG_REF = 3, DMATAG_REFS = 4,
       DMATAG_CALL = 5, DMATAG_RET = 6, DMATAG_END = 7 };

// VIF codes the packets carry.
constexpr uint32_t VIFCODE_FLUSH = 0x11000000;
constexpr uint32_t VIFCODE_FLUSHA = 0x13000000;
constexpr uint32_t VIFCODE_DIRECT = 0x50000000;
// GIF tag FLG and the A+D register descriptor.
enum { GIF_FLG_PACKED = 0, GIF_FLG_REGLIST = 1, GIF_FLG_IMAGE = 2, GIF_FLG_DISABLE = 3 };
constexpr int GIF_REG_AD = 14;

// The open packets (start null, never cleared).
extern uint32_t* ps2dma_dt_curr;  // DMA tag closed by vpDmaTag_Close
extern uint32_t* ps2dma_gt_curr;  // GIF tag closed by gsCloseGifPacket
extern uint32_t* ps2dma_vt_curr;  // VIF DIRECT code closed by vtCloseDirect

struct ZEAPISTATE {
  EePtr<uint32_t> vt;  // open VIF DIRECT code
  EePtr<uint32_t> dt;  // open DMA tag
  EePtr<uint32_t> gt;  // open GIF tag
};
static_assert(sizeof(ZEAPISTATE) == 12);

uint32_t* vpDmaTag_Cnt(uint32_t* p);
uint32_t* vpDmaTag_CntEx(uint32_t* p, uint32_t vif0, uint32_t vif1);
uint32_t* vpDmaTag_Next(uint32_t* p, const void* addr);
uint32_t* vpDmaTag_NextEx(uint32_t* p, const void* addr, uint32_t vif0, uint32_t vif1);
uint32_t* vpDmaTag_Ref(uint32_t* p, const void* addr);
uint32_t* vpDmaTag_RefEx(uint32_t* p, const void* addr, uint32_t vif0, uint32_t vif1);
uint32_t* vpDmaTag_Call(uint32_t* p, const void* addr);
uint32_t* vpDmaTag_CallEx(uint32_t* p, const void* addr, uint32_t vif0, uint32_t vif1);
uint32_t* vpDmaTag_Ret(uint32_t* p);
uint32_t* vpDmaTag_RetEx(uint32_t* p, uint32_t vif0, uint32_t vif1);
uint32_t* vpDmaTag_End(uint32_t* p);
uint32_t* vpDmaTag_EndEx(uint32_t* p, uint32_t vif0, uint32_t vif1);
// id goes to bits 28-31: 8-15 also set IRQ. Does not open the tag.
uint32_t* vpDmaTag_Set(uint32_t* p, int qwc, int id, const void* addr);
uint32_t* vpDmaTag_Copy(uint32_t* p, const uint32_t* src);
uint32_t* vpDmaTag_RepointCopy(uint32_t* p, const uint32_t* src, const void* addr);
uint32_t* vpDmaTag_ChangeCopy(uint32_t* p, const uint32_t* src, uint32_t tag, const void* addr);
// Pads to a quadword with VIF NOPs and stores the QWC of the open tag.
uint32_t* vpDmaTag_Close(uint32_t* end);
uint32_t* vtBeginDirect(uint32_t* p, int irq);
uint32_t* vtCloseDirect(uint32_t* end);
// nreg register descriptors follow (ints).
uint32_t* gsBeginGifPacket(uint32_t* p, int nloop, int eop, int pre, int prim, int flg, int nreg, ...);
// NLOOP from the data length by FLG; NREG 0 counts as 16 registers.
uint32_t* gsCloseGifPacket(uint32_t* end);
uint32_t* vpVifAlign128(uint32_t* p);
uint32_t* vpVifAlign64(uint32_t* p);
uint32_t* VifTagDummy(uint32_t* p);
void ZeThreadPreserveAPIState(ZEAPISTATE* state);
void ZeThreadRestoreAPIState(const ZEAPISTATE* state);

// ===================================================================
// DMA channels, scratchpad and chain inspection (ps2dma)
// ===================================================================

extern int vu1_dma_status;  // 1 from a VIF1 chain start until its DMA-end interrupt
extern int gs_dma_status;   // the same for the GIF channel

// Each start waits for its channel, starts it and returns.
void VU1_DmaWrite(const void* chain);
void GS_DmaWrite(const void* chain);
void VU0_DmaWrite(const void* chain);
void VU1_DmaWriteN(const void* addr, int qwc);
void GS_DmaWriteN(const void* addr, int qwc);
void SPR_DmaWriteN(const void* spr, const void* mem, int qwc);  // memory to scratchpad
void SPR_DmaReadN(void* mem, const void* spr, int qwc);         // scratchpad to memory
int VU1_DmaGetStatus();  // fatal "bad status" when the flag is idle but the channel is not
int GS_DmaGetStatus();
int VU0_DmaGetStatus();
int VU1_DmaGetStatusI();
int GS_DmaGetWriteStatus();
int SPR_DmaGetWriteStatus();
int SPR_DmaGetReadStatus();

// The scratchpad stack: each block is followed by a back-link word.
// Running past the scratchpad, or releasing an empty stack, is fatal.
extern uint8_t* ps2dma_scratch_top;
void ZeScratchReset();
void* ZeScratchAlloc32(int size);
void* ZeScratchAlloc64(int size);
void* ZeScratchAlloc128(int size);
void ZeScratchRelease();

// Chain inspection: debug_dma_level 0 prints nothing, above 0 a line per
// tag and VIF code, 5 the first DIRECT quadwords, 7 and above GIF packets.
extern int debug_dma_level;
using ZETAGDECODER = const uint32_t* (*)(const uint32_t* tag, const char* indent);
void TagWalk(const void* chain, ZETAGDECODER decoder);
const uint32_t* VifTagWalk(const uint32_t* tag, const char* indent);
uint64_t CrcChain(const void* chain, int uncached);

// ===================================================================
// Video mode, display buffers and screen swap (ps2video, vu1man)
// ===================================================================

// The one current viewport (owned by the viewport module; the video layer
// fills its defaults). Screen units are 1/16 pixel.
struct ZEVIEWPORT {
  int x, y;             // top-left corner
  int width, height;
  float zmin, zmax;     // depth written at the near and far end
  float centrex, centrey;
  float clipx0, clipy0, clipx1, clipy1;
  float vpclipx, vpclipy;        // viewport-clip factors
  float guardx, guardy;          // guard-band factors
};
static_assert(sizeof(ZEVIEWPORT) == 64);

extern int PS2_REZ_W, PS2_REZ_H;      // render size in pixels
extern int PS2_VCNTR_X, PS2_VCNTR_Y;  // GS coordinates of the screen centre (2048)
extern int ps2_video_fmt, ps2_zb_fmt, ps2_video_size;
extern int zevideo_global_framerate, zevideo_progressive_scan;
extern sceGsDBuffDc ps2video_display_cfg;
extern int ps2video_swap_count;    // its lowest bit selects the buffer set
extern int ps2video_field;         // field parity of the half-pixel offset
extern int ps2video_frame_lines;   // horizontal blanks from the last swap to this one
struct PS2VIDEOPOS {
  int dx, dy;
};
extern PS2VIDEOPOS ps2video_display_base[2];  // DISPLAY positions as the library set them
extern int ps2video_in_interrupt;  // 1 while a vertical-blank handler runs
extern int ps2video_auto_swap;
extern int zerndr_half_offset;     // 0 or 8 (1/16 pixel), for the field being drawn
// Set by the AVI recorder while it records: the swap takes its field from it.
extern int ps2video_avi_open, ps2video_avi_phase;

void ZePs2Init();
// Fatal for a mode outside 0-7.
void ZePs2InitVideo(int width, int height, int psm, int zpsm, int mode);
// 1 when the half-pixel offset was applied (or no swap asked), 0 when the
// frame missed its field or the mode is progressive.
int ZePs2ScreenSwap(int swap);
void ZePs2FlushVRam(int r, int g, int b);
float ZePs2GetRenderWidth();
float ZePs2GetRenderHeight();
float ZePs2GetRenderXCentre();
float ZePs2GetRenderYCentre();
float ZePs2GetRenderRange();
void ZePs2GetViewport(ZEVIEWPORT* viewport);
void ZePs2GetCurrentBackBuffer(uint64_t* out);
void ZePs2GetCurrentFrontBuffer(uint64_t* out);
void ZePs2GetCurrentZBuffer(uint64_t* out);
uint32_t* ZePs2CopyCurrentBackBuffer(uint32_t* p);   // an A+D pair; p + 4 words
uint32_t* ZePs2CopyCurrentFrontBuffer(uint32_t* p);
uint32_t* ZePs2CopyCurrentZBuffer(uint32_t* p);
void ps2videoGetFreeMem(int* firstblock, int* freebytes);  // either may be null
void ZePs2VideoSetPos(int dx, int dy);
void ZePs2VideoSetDisplayAddr(int fbp, int fbw, int same);
void ZePs2EnableAutoScreenSwap();
void ZePs2DisableAutoScreenSwap();
// Reads back a rectangle of a display buffer as 24-bit pixels; allocates
// w x h x 4 bytes from the tagged heap when buffer is null.
void* ZePs2GrabScreen(void* buffer, int other, int x, int y, int w, int h);
void ZePs2InitVU();
void VU1_LoadXD();
void VU1_DisplayFRegs();
void VU1_DisplaySRegs();

// VU1 microprogram chains (vu1man): a DMA ret tag whose data uploads the
// program with MPG (its image begins with the signature of docs/vu1.md)
// and sets BASE 0x100 and OFFSET 0x180. A DMA call of one loads it.
struct VU1PROGRAM {
  const char* name;   // the native program's name in the signature
  int start, end;     // micro memory, bytes
  uint32_t* chain;
};
extern const VU1PROGRAM vu1_program_table[];
extern const int vu1_program_table_count;
extern uint32_t vu_load_xform_mpg[];
extern uint32_t vu_load_tric_mpg[];
// Quadwords of a program chain covering micro memory start..end (bytes).
constexpr int Vu1ProgramChainQwords(int start, int end) {
  int instrs = (end - start) / 8;
  int chunks = (instrs + 255) / 256;
  int words = instrs * 2 + 2 * (chunks - 1) + 2;  // data, NOP + MPG per later chunk, BASE and OFFSET
  return 1 + (words + 3) / 4;
}

// ===================================================================
// Interrupt handlers and vertical-blank lists (ps2video)
// ===================================================================
// Nested holds on the two vertical-blank interrupts, the engine's only
// critical section: each interrupt has its own count and only the
// outermost release unmasks it.

struct ZEVBLANKHANDLER {
  EePtr<ZEVBLANKHANDLER> next;  // null at the end
  EePtr<ZEVBLANKHANDLER> prev;  // null at the head
  EePtr<void()> fn;
  int32_t priority;             // lists are in ascending priority
};
static_assert(sizeof(ZEVBLANKHANDLER) == 16);

extern ZEVBLANKHANDLER* vblanke_list;
extern ZEVBLANKHANDLER* vblanks_list;
extern int vblanke_installed, vblanks_installed, handlers_installed;
extern int vblanke_hold, vblanks_hold;
extern int zevideo_global_vbcnt, zevideo_in_vb;
// Path-3 synchronisation between the frame chain and a texture chain.
extern int vif1_waiting, gif_waiting, gif_countdown, gif_countdown_reload;
// Texture uploads travel on the GIF channel (owned by the texture table).
extern int zetex_use_path3;

void ZeIntAddAllHandlers();
void ZeIntRemoveAllHandlers();
void ZeDisableVBlankE();
void ZeEnableVBlankE();
void ZeDisableVBlankS();
void ZeEnableVBlankS();
void ZeDisableVBlank();
void ZeEnableVBlank();
void ZeIntAddVBlankE(ZEVBLANKHANDLER* handler);
void ZeIntAddVBlankS(ZEVBLANKHANDLER* handler);
void ZeIntRemVBlankE(ZEVBLANKHANDLER* handler);
void ZeIntRemVBlankS(ZEVBLANKHANDLER* handler);

// ===================================================================
// Timing sets and the user timer (ps2video)
// ===================================================================

constexpr int TB_SLOTS = 16;

struct TBSET {
  int acc[TB_SLOTS][2];          // [cur]: last finished value; [cur ^ 1]: running sum
  int begin[TB_SLOTS];           // timer 1 count at the last begin
  int peak[TB_SLOTS];            // highest shown value since the last peak reset
  uint32_t colour[TB_SLOTS];     // bar colour
  int cur[TB_SLOTS];             // 0 or 1
  EePtr<const char> label[TB_SLOTS];  // shown under the bar (null: none)
};
static_assert(sizeof(TBSET) == 112 * 4);

extern const uint32_t tb_default_colours[TB_SLOTS];
extern TBSET* tb_default_set;
extern int idisplaybackgroundtiming;
extern int ps2video_last_swap;  // timer 1 count at the last screen swap

TBSET* tbsetCreate(const uint32_t* colours);
void tbsetDestroy(TBSET* set);
void tbInit();
void tbslotBeginFn(TBSET* set, int slot);
void tbslotBeginExFn(TBSET* set, int slot, const char* label);
int tbslotEndFn(TBSET* set, int slot);
void tbslotReset(TBSET* set, int slot);
int tbslotLastValue(TBSET* set, int slot);

void timeUserReset();
int timeUserRead();
int GetElapsedTime();

// ===================================================================
// I/O-processor start-up and memory-card calls (ps2iop)
// ===================================================================
// ZePs2InitIOP loads the I/O processor's modules once, in order: a required
// one that fails ends the program (non-zero status) after its message; the
// sound module may fail (sound is then off). Then it starts the memory-card,
// pad, I/O-processor heap and remote sound libraries.

extern int zesound_irx_loaded;  // 1 when the engine's sound module loaded
extern int ps2iop_started;      // set by the first ZePs2InitIOP
void ZePs2InitIOP();

// Memory-card calls:
// Each issues one memory-card request. async 0 waits for it and returns its
// final result; otherwise the request's own return value comes back at once
// and the caller collects the completion (sceMcSync). A request the library
// refuses returns its refusal either way. Negative results are failures; a
// waited open returns the descriptor. Values are little-endian.

int ZeMcOpen(int port, int slot, const char* name, int mode, int async);
int ZeMcRead(int fd, void* buffer, int size, int async);
int ZeMcWrite(int fd, const void* buffer, int size, int async);
int ZeMcClose(int fd, int async);
int ZeMcDelete(int port, int slot, const char* name, int async);
int ZeMcSeek(int fd, int offset, int origin, int async);
int ZeMcWriteFloat(int fd, float value, int async);
int ZeMcWriteInt(int fd, int value, int async);
int ZeMcWriteUnsignedInt(int fd, unsigned value, int async);
int ZeMcWriteShort(int fd, int value, int async);  // the low 16 bits
int ZeMcWriteChar(int fd, int value, int async);   // the low 8 bits
// Typed reads always wait; a failed read gives 0.
float ZeMcReadFloat(int fd);
int ZeMcReadInt(int fd);
unsigned ZeMcReadUnsignedInt(int fd);
int ZeMcReadShort(int fd);  // sign-extended from 16 bits
int ZeMcReadChar(int fd);   // sign-extended from 8 bits

// ===================================================================
// Pads and pad recording (ps2ctl)
// ===================================================================
// One ZEPAD per opened port and slot, read once a frame by ZePs2ReadPad,
// whose state machine brings an analog pad into analog mode with aligned
// motors and pressures. The pad on port 0 may be recorded into a caller's
// buffer or played back from it ("PAD.BIN": see docs/pad-recording.md).

enum : uint32_t {
  ZEPAD_ANALOG = 1,    // analog mode, motors aligned: sticks read, motors may be driven
  ZEPAD_PRESSURE = 2,  // pressure mode on
  ZEPAD_VALID = 4,     // this read produced data
  ZEPAD_STICKMAP = 8,  // integer sticks pass through DeadZoneValue
};
constexpr int ZEPAD_AREA = 1280;     // holds the pad library's DMA buffer at its first 64-byte boundary
constexpr int ZEPAD_RAW_BYTES = 32;  // of which the report's 20 are used

struct ZEPAD {
  unsigned char padarea[ZEPAD_AREA];
  int port;
  int slot;
  int state;               // set-up state 0-9 (9 ready)
  int termid;              // 4 digital, 7 analog
  int lx, ly, rx, ry;      // centred sticks: x right positive, y up positive
  float flx, fly;          // scaled left stick with dead zone, about -1..1
  float lscalex, lscaley;  // default 1.0
  float ldzx, ldzy;        // default 0.1
  float frx, fry;
  float rscalex, rscaley;
  float rdzx, rdzy;
  uint8_t actdirect[6];    // 0 small motor (0/1), 1 big motor speed (0-255)
  uint8_t actalign[6];     // {0, 1, 0xff, 0xff, 0xff, 0xff}
  uint32_t buttons;        // held (set bit = held), SCE_PAD* bits
  uint32_t prevbuttons;
  uint32_t pressed;        // went down at this read
  uint32_t released;       // went up at this read
  uint32_t flags;          // ZEPAD_*
  uint8_t raw[ZEPAD_RAW_BYTES];  // the pad library's report
};
static_assert(offsetof(ZEPAD, port) == 1280 && offsetof(ZEPAD, lx) == 1296 && offsetof(ZEPAD, flx) == 1312);
static_assert(offsetof(ZEPAD, rdzy) == 1356 && offsetof(ZEPAD, actdirect) == 1360);
static_assert(offsetof(ZEPAD, buttons) == 1372 && offsetof(ZEPAD, flags) == 1388 && offsetof(ZEPAD, raw) == 1392);
static_assert(sizeof(ZEPAD) == 1424);

// The recording buffer: this header, then 20-byte frames (frame i at byte 16 + 20 i).
struct ZEPADREC {
  int32_t frame;  // current frame
  int32_t mode;   // 0 off, 1 record, 2 play
  int32_t count;  // frames in the recording
  int32_t limit;  // buffer frames - 2
};
static_assert(sizeof(ZEPADREC) == 16);
constexpr int ZEPADREC_FRAME = 20;

extern ZEPADREC* PadRecInfo;     // the attached buffer, null when none
extern int PadDemoEnd;           // 1 once a play-back ended
extern int PadDemoEndButtons;    // a live press of any ends a play-back (initially 0xffff)

ZEPAD* ZePs2OpenPad(int port, int slot);  // null when the port cannot be opened
void ZePs2ClosePad(ZEPAD* pad);
// The per-frame read: -1 when the record holds valid data this frame, else
// 0 (callers test for non-zero).
int ZePs2ReadPad(ZEPAD* pad);
int ZePs2PadSetMotors(ZEPAD* pad, int small, int big);
int ZePs2ApplyDeadZone(int raw, int dz);
int DeadZoneValue(int v);
void InitPadPlayRecord(const char* name, int mode, int frames, void* buffer);
void SavePadRecord(const char* name);
int PadRecPtr();
void PadPlayOff();
void ZeSetPadDemoEndButtons(int mask);
int ZePs2PadDemoEnd();
