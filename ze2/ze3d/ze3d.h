// ze3d: the renderer's 3-D layer: render streams and the state blocks they
// carry, textures, materials and render planes, the camera and the viewport.
//
// Every drawing routine follows one protocol on a render stream: link the
// stream for writing, bring its state up to date (frame, scissor, offset,
// state block, matrices, material), write its packets, and end with an open
// DMA next tag that a later link or flush patches.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform.h"
#include "zecore.h"
#include "zemath.h"
#include "zeps2.h"

struct ZEMTL;         // a material (zemtl)
using ZETEXID = int;  // texture table slot + 1; 0 none; -1 back, -2 z, -3 front buffer

// ===================================================================
// Render streams (zestream)
// ===================================================================
// A stream is one ordered list of drawing packets for VU1, drawn with one
// microprogram. The streams of a frame share the frame's stream buffer;
// each is a chain of segments joined by DMA next tags. A flush links them,
// highest sort key first, into the frame chain, with a DMA call of a
// stream's program in front of it wherever the program changes.

struct ZERNDRSTREAM {
  EePtr<uint32_t> first;        // first tag in the current segment chain; null while empty
  EePtr<uint32_t> write;        // the open next tag ending the last segment; null while empty
  EePtr<uint32_t> tex_first;    // the stream's texture chain (path 3); null when none
  EePtr<uint32_t> tex_last;     // its open last tag
  int32_t vram_top;             // texture upload position, GS blocks; gs_top after a reset
  EePtr<ZEMTL> mtl;             // current material (null: none)
  EePtr<uint32_t> program;      // VU1 program chain (null: none)
  uint32_t sort_key;            // link order, higher first
  int32_t local_mtx_id;         // ids of the state last written; -2 none
  int16_t view_mtx_id;
  int16_t scissor_id;
  int16_t xyoffset_id;
  int16_t spare_id;             // reset with the others, never read
  EePtr<uint32_t> state_block;  // light, specular or effect block data last given (null: none)
  uint32_t flags;               // ZERNDRSTREAM_* below
  ZETEXID tid;                  // texture last set (0: none)
};
static_assert(sizeof(ZERNDRSTREAM) == 56);
static_assert(offsetof(ZERNDRSTREAM, sort_key) == 28 && offsetof(ZERNDRSTREAM, view_mtx_id) == 36);
static_assert(offsetof(ZERNDRSTREAM, state_block) == 44 && offsetof(ZERNDRSTREAM, tid) == 52);

// What a stream takes. Of LIGHTS, SPECULAR and FXMTX at most one is set.
enum : uint32_t {
  ZERNDRSTREAM_LIGHTS = 0x01,    // the directional-light block
  ZERNDRSTREAM_SPECULAR = 0x02,  // the specular block
  ZERNDRSTREAM_VIEW = 0x04,      // the view matrix
  ZERNDRSTREAM_LOCAL = 0x08,     // the local matrix
  ZERNDRSTREAM_MTL = 0x10,       // materials: texture, GS state block, z state
  ZERNDRSTREAM_3D = 0x20,        // every 3-D and material stream; not tested
  ZERNDRSTREAM_FXMTX = 0x40,     // the effect matrix
};

constexpr int ZERNDRSTREAM_POOL_SIZE = 32;
constexpr int ZERNDRSTREAM_DEFAULT_BUFFER = 870400;
// A link promises its writer this many bytes before the end of the buffer;
// writers that need more take them with ZeRndrStreamAlloc.
constexpr int ZERNDRSTREAM_LINK_RESERVE = 32 * 1024;

extern ZERNDRSTREAM rndrstream_pool[ZERNDRSTREAM_POOL_SIZE];
extern int rndrstream_count;
extern ZERNDRSTREAM* rndrstream_sorted[ZERNDRSTREAM_POOL_SIZE];  // link order

// The nine frame streams, and the one 3-D drawing writes into now.
extern ZERNDRSTREAM* rndrstream_system;
extern ZERNDRSTREAM* rndrstream_mtl_sort;
extern ZERNDRSTREAM* rndrstream_faceon;
extern ZERNDRSTREAM* rndrstream_3d_u;
extern ZERNDRSTREAM* rndrstream_3d_l;
extern ZERNDRSTREAM* rndrstream_2d;
extern ZERNDRSTREAM* rndrstream_ptl;
extern ZERNDRSTREAM* rndrstream_fx;
extern ZERNDRSTREAM* rndrstream_ot_sort;
extern ZERNDRSTREAM* rndrstream_3d;

extern uint8_t* rndrstream_buffer[2];
extern int rndrstream_buffer_size;
extern int rndrstream_frame_index;  // the buffer being filled
// Stream frames begun since start-up (by the screen swap, the loading
// screen or the memory-card save), never 0 once the streams exist: what was
// taken from a frame's buffer belongs to that frame only.
extern uint32_t rndrstream_frame_count;
extern uint32_t* frame_base;        // start of the current frame's area
extern uint32_t* rndrstream_free;   // next free byte of the current buffer
extern uint32_t* rndrstream_start;  // the frame chain: first tag and tail tag (null until a flush)
extern uint32_t* rndrstream_end;
extern uint32_t* txtrstream_start;  // the frame's texture chain for the GIF channel
extern uint32_t* txtrstream_end;
extern uint32_t* rndrstream_fx_microcode;  // effect program last called in rndrstream_fx
extern int rndrstream_zb_set;
extern uint32_t rndrstream_zb_packet[12];  // cnt tag, GIF tag, ZBUF_1

void ZeRndrStreamInit(int bufferSize);
// Gives back both buffers and every frame stream (the renderer's close-down).
void ZeRndrStreamClose();
// Null when all 32 records are taken.
ZERNDRSTREAM* ZeRndrStreamAllocStream(uint32_t sortKey, uint32_t* program, uint32_t flags);
void ZeRndrStreamBeginFrame();
void ZeRndrSwapStreamBuffers();
void* ZeStreamGetOutputBuffer(int index);  // 0: buffer 0, any other: buffer 1
void ZeRndrStreamLink(ZERNDRSTREAM* stream);
void* ZeRndrStreamAlloc(int quadwords);
void ZeRndrStreamFlush();
void ZeRndrStreamResetStreams(int full);
void ZeRndrStreamResetStream(ZERNDRSTREAM* stream, int full);
void ZeRndrVu1Draw();
void iZeRndrVu1Draw();  // inside an interrupt handler: no timing
// 1, or 0 (nothing written) for a material that is not in use.
int ZeRndrStreamAddMtl(ZERNDRSTREAM* stream, ZEMTL* mtl);
uint64_t ZeRndrStreamAddTex(ZERNDRSTREAM* stream, ZETEXID tex, int flag);  // returns TEX0
void ZeRndrStreamFxMPG(int type);
void ZeRndrStreamFxMPGEx(int type, ZERNDRSTREAM* stream);
void ZeRndrStreamClearZBState();
void ZeRndrStreamSetZBState(int zbase, int psm, int mask);  // zbase in 256-byte blocks
// z write non-zero: depth writes on. Return the position after the copy.
uint32_t* ZeRndrStreamAddZBState(uint32_t* p, int zwrite);
uint32_t* ZeRndrStreamAddZBStateNoDmaTag(uint32_t* p, int zwrite);
void CheckRndrStream();

// What the streams ask of materials and of the texture table. The texture
// table and the materials fill their rows when they start; a row still
// unfilled is a fatal error naming the missing export.
struct ZERNDRSTREAMMTLIF {
  int (*mtl_valid)(ZEMTL* mtl);                // ZeMtlValid: -1 in use, 0 not
  void* (*mtl_state_block)(ZEMTL* mtl);        // ZeMtlGetStateBlockDma
  int (*mtl_zupd)(ZEMTL* mtl);                 // ZeMtlGetZupd: -1 writes depth, 0 not
  ZETEXID (*mtl_texture)(ZEMTL* mtl);          // the material's texture
  int (*mtl_tex_flag)(ZEMTL* mtl);             // its texture flag byte (GS context)
  uint32_t (*mtl_frame_mask)(ZEMTL* mtl);      // its frame write mask (FBMSK)
  void (*tex_accomodate)(ZERNDRSTREAM* stream, ZETEXID tex, int level);  // ZeTexAccomodateRS
  uint32_t* (*tex_set)(uint32_t* p, ZETEXID tex, int flag);              // ZeTexSet
  uint64_t (*tex_get_tex0)(ZETEXID tex, ZETEXID palette);                // ZeTexGetTex0
  int (*tex_gs_top)();                         // the texture table's gs_top
};
extern ZERNDRSTREAMMTLIF zerndrstream_mtl_if;
void ZeRndrStreamMtlIfReset();  // every row back to its "missing" handler

// ===================================================================
// Render-stream state blocks (zestream)
// ===================================================================
// VU1 data memory (quadwords): 0-3 local matrix, 4-7 view matrix, 8-11 clip
// matrix, 12-18 the stream's state block (lights 7, specular 5 or effect
// matrix 4), 19-21 the material's colour and effect block, 22 camera yaw,
// 23 mode word; 256-639 and 640-1023 the input buffers. Each value carries
// a 15-bit change id, and a stream receives a packet only when the id it
// remembers differs.

constexpr int ZEVU1_LOCAL_MTX = 0;
constexpr int ZEVU1_VIEW_MTX = 4;
constexpr int ZEVU1_CLIP_MTX = 8;
constexpr int ZEVU1_STATE_BLOCK = 12;
constexpr int ZEVU1_MTL = 0x13;
constexpr int ZEVU1_CAMERA_YAW = 22;
constexpr int ZEVU1_MODE = 23;

// Mode word x: what the stream's state block is.
enum { ZEVU1_MODE_UNLIT = 0, ZEVU1_MODE_LIT = 1, ZEVU1_MODE_MATRIX = 4 };

extern int32_t rndrstream_local_mtx_id;  // current ids; local and view -1 until first set
extern int16_t rndrstream_view_mtx_id;
extern int16_t rndrstream_scissor_id;
extern int16_t rndrstream_xyoffset_id;
extern ZEMTX rndrstream_saved_view;
extern float rndrstream_zfix;
extern ZEMTX rndrstream_zfix_mtx;
extern uint64_t cur_rt;               // FRAME_1 of the render target; upper word FBMSK
extern int rndrstream_frame_flag;     // 0: the stream's material supplies FBMSK
extern uint32_t* rndrstream_rt_light_addr;  // where each block's data lies in this flush (null: not yet)
extern uint32_t* rndrstream_rt_spec_addr;
extern uint32_t* rndrstream_fx_mtx_addr;
extern ZEVEC rndrstream_spec_dir;
extern ZEVEC4 rndrstream_spec_colour;  // r, g, b, strength
extern int rndrstream_light_landscape;
extern float rndrstream_saved_light_dirs[9];
extern uint32_t rndrstream_rt_light_buffer[8 * 4];  // tag and seven quadwords

int ZeRndrSetLocalMtx(const ZEMTX* m, int mode);  // mode 1: no clipping, else clipping
int ZeRndrSetLocalMtxZMove(const ZEMTX* m, int mode, float distance);
int ZeRndrSetViewMtx(const ZEMTX* view, const ZEMTX* clip, const ZEMTX* scissorClip);
void ZeRndrSetZFix(int z);
void FaceYDirStream(ZEANG yaw);
int ZeRndrSetDirectionalLights(const ZEVEC* dir0, const ZEVEC* colour0, const ZEVEC* dir1, const ZEVEC* colour1,
                               const ZEVEC* dir2, const ZEVEC* colour2);
int ZeRndrSetDirectionalLights4(const ZEVEC* dir0, const ZEVEC4* colour0, const ZEVEC* dir1,
                                const ZEVEC4* colour1, const ZEVEC* dir2, const ZEVEC4* colour2);
int ZeRndrSetAmbientLight(const ZEVEC* colour);
int ZeRndrSetDirectionalLightsLandscape();
int ZeRndrSetDirectionalLightsPortrait();
int ZeRndrSetSpecularLight(const ZEVEC* dir, const ZEVEC4* colour);  // either may be null: kept
int ZeRndrSetFxMtx(const ZEMTX* m);
void ZeRndrSetXYOffset(int x, int y);                   // 12.4 fixed point
void ZeRndrSetScissor(int x0, int y0, int x1, int y1);  // pixels
void ZeRndrSetFrameMask(uint32_t mask, int flag);
uint64_t* ZeRndrStreamGetScissor();
uint64_t* ZeRndrStreamGetOffset();
int ZeRndrSetGlobalAlpha(float alpha);  // does nothing
int ZeRndrStreamSetDirectionalLights(ZERNDRSTREAM* stream);  // does nothing, returns 0
int ZeRndrStreamSetAmbientLight(ZERNDRSTREAM* stream);       // does nothing, returns 0

// Per-stream writers: the stream must be linked for writing.
void ZeRndrStreamSetMisc(ZERNDRSTREAM* stream);
int ZeRndrStreamSetLocalMtxEx(ZERNDRSTREAM* stream, int kick);  // 1 when it wrote
int ZeRndrStreamSetLocalMtx(ZERNDRSTREAM* stream);
int ZeRndrStreamSetViewMtx(ZERNDRSTREAM* stream);
int ZeRndrStreamSetViewMtxScissorClip(ZERNDRSTREAM* stream);

// ===================================================================
// Texture table and video memory (zetex)
// ===================================================================
// Texture types.
enum {
  ZETEX_RGB16 = 0,      // 16-bit direct colour
  ZETEX_RGBA16 = 1,     // 16-bit direct colour with alpha
  ZETEX_RGB24 = 2,      // bytes B, G, R
  ZETEX_RGBA32 = 3,     // bytes A, B, G, R
  ZETEX_PAL4 = 4,       // 4-bit palettised, left texel in the high nibble
  ZETEX_PAL8 = 5,       // 8-bit palettised
  ZETEX_PAL4_SWZ = 6,   // 4-bit texels in the 32-bit block layout (width / 2, height / 4)
  ZETEX_PAL8_SWZ = 7,   // 8-bit texels in the 32-bit block layout (width / 2, height / 2)
  ZETEX_RT_T8 = 8,      // render targets 8-19 and 21 (formats with the platform record)
  ZETEX_RT_T8B = 9,
  ZETEX_RT_T8H = 10,
  ZETEX_RT_CT32R = 11,  // 11-13: reserved in video memory at creation
  ZETEX_RT_CT24R = 12,
  ZETEX_RT_CT16R = 13,
  ZETEX_RT_CT32 = 14,
  ZETEX_RT_CT24 = 15,
  ZETEX_RT_CT16 = 16,
  ZETEX_RT_Z32 = 17,
  ZETEX_RT_Z24 = 18,
  ZETEX_RT_Z16 = 19,
  ZETEX_NRMMAP_SRC = 20,  // 8-bit normal-map source image; never a texture
  ZETEX_RT_T8HB = 21,
  ZETEX_TYPE_COUNT = 22,
};

// An image in main memory: what the file readers return and ZeTexCreate takes.
struct ZETEX {
  int type;
  int width;                // texels
  int height;
  int mipcount;             // levels held one after another; 0 and 1 mean one (0: more may be generated)
  EePtr<uint8_t> texels;    // level 0, then each half-size level
  EePtr<uint8_t> palette;   // 16 or 256 entries of 4 bytes, or null
};
static_assert(sizeof(ZETEX) == 24);

// ===================================================================
// Bitmap and native texture files (zetexfile)
// ===================================================================
// Native texture data, little-endian (version 1 written; 0 also read):
//   header, 16 bytes: u16 width, u16 version 1, u16 height, u16 0, u32 VRAM
//     blocks, u8 type, u8 sampling PSM, u8 upload PSM, u8 levels | TCC << 7
//     (version 0: u32 width, u32 height, u32 VRAM, u8 type, u8 PSM, u8
//     levels, u8 TCC)
//   types 4-7: palette block: u32 block size (header included), u32 CLUT
//     VRAM field, u32 CLUT width, u32 CLUT format, the palette packet
//   per level: u32 block size (header included, padding not), u32 VRAM word,
//     u32 TBW, u32 DBW (absent in version 0), u32 padding p, p zero bytes,
//     the level packet; the next block follows at start + size + p
// The packets are DMA-called where they lie: the data stays in memory,
// 16-byte aligned, for the texture's lifetime.

// Null when the file is missing. Levels past the first (24-bit only) are
// point-sampled; memory from the heap or, with a buffer, from it.
ZETEX* ZeTexReadBitmap(const char* name);
ZETEX* ZeTexReadBitmapMM(const char* name, int n);
ZETEX* ZeTexReadBitmapMMEx(const char* name, int n, char** buffer, char* end);
ZETEX* ZeTexReadBitmapMem(const void* bmp);
ZETEXID ZeTexCreateNative(const void* data);  // 0: unreadable data or a full table
ZETEXID ZeTexCreateNativeEx(const void* data, int size);  // the same, every block inside size bytes
ZETEXID ZeTexReadNative(const char* name, void* buffer, int size, int* used);
int ZeTexRecoverNativeData(ZETEXID id, void* buffer, int size);
int ZeTexRecoverNativeDataEx(ZETEXID id, void* buffer, int size, int header, int palette, int levels);

// ===================================================================
// Native texture formats, upload and palettes (zetexps2, bitconv)
// ===================================================================
constexpr int ZEPS2TEX_LEVELS = 7;

// The platform side of a texture: formats, prebuilt upload packets and the
// addresses of its last upload (blocks of 256 bytes).
struct ZEPS2TEX {
  uint32_t override_frame;   // stream frame the palette override was made in (else zero)
  uint32_t reserved;
  uint16_t vram_bottom;      // lowest block of the last upload
  uint16_t vram_top;         // the block the last upload started below
  uint16_t vram_size;        // blocks of all levels plus the palette
  uint16_t upload_mark;      // bit 0 set by every upload
  uint16_t tw, th;           // log2 width and height
  EePtr<uint32_t> level_packet[ZEPS2TEX_LEVELS];  // ret-ended upload chains (null: absent)
  uint32_t level_size[ZEPS2TEX_LEVELS];           // packet bytes; render targets: entry 0 = size in blocks
  uint32_t level_vram[ZEPS2TEX_LEVELS];           // page-rounded bytes, or a small level's block offset (< 256)
  uint16_t level_addr[ZEPS2TEX_LEVELS];           // TBP0-TBP6, filled at upload
  uint16_t level_tbw[ZEPS2TEX_LEVELS];            // sampling buffer width, 64 texels
  uint16_t level_dbw[ZEPS2TEX_LEVELS];            // transfer buffer width
  uint8_t levels;            // at most 7
  uint8_t psm;               // sampling format
  uint8_t xfer_psm;          // transfer format
  uint8_t tcc;
  uint8_t texa_mode;         // 0 none, 1 TA0 = 0x80, 2 TA1 = 0x80
  uint8_t tfx;
  EePtr<uint32_t> pal_packet;     // prebuilt CLUT upload (ret-ended), or null
  EePtr<uint32_t> pal_override;   // this frame's copy, uploaded instead when set
  uint16_t cbp;              // filled at upload
  uint16_t cbw;              // non-zero exactly when there is a palette
  uint16_t cpsm;
  uint16_t clut_vram;        // blocks x 256 (0x2000)
  uint16_t pal_size;         // palette packet bytes
  uint16_t reserved2;
  int fixed_addr;            // block address used when level 0 has none
};
static_assert(sizeof(ZEPS2TEX) == 176);
static_assert(offsetof(ZEPS2TEX, level_packet) == 20 && offsetof(ZEPS2TEX, levels) == 146 &&
              offsetof(ZEPS2TEX, pal_packet) == 152 && offsetof(ZEPS2TEX, fixed_addr) == 172);

// Bytes before the entries in a palette packet, and spare bytes after them.
constexpr int ZEPS2_PAL_HEADER = 96;
constexpr int ZEPS2_PAL_SPARE = 32;
// A level packet's chunk holds at least this much before a new one starts.
constexpr int ZEPS2_CHUNK_BYTES = 512000;

extern int zetex_force_quantisation;  // "QUANTISE": true-colour images become 8-bit
extern int zemtl_force_mipmap;        // "MIPMAP": generate levels, trilinear filtering
extern int zetex_force_overbrighten;  // 32-bit alpha is not halved

// 0 when a packet could not be allocated; what was built is left for ZePs2TxDestroy.
int ZePs2TxCreate(ZETEX* image, ZEPS2TEX* record);
int ZePs2CreateRenderTarget(ZETEX* image, ZEPS2TEX* record);
int ZePs2TxDestroy(ZEPS2TEX* record);
uint32_t* ZePs2TxGenUpload(uint32_t* p, ZEPS2TEX* record, int top, int firstlevel);
uint32_t* ZePs2TxUploadPal(uint32_t* p, ZEPS2TEX* record, int top);
// A+D pairs inside the caller's open GIF tag.
uint32_t* Ps2TxSetStateData(uint32_t* p, ZEPS2TEX* record, ZEPS2TEX* palette, int context);
uint32_t* Ps2TxSetSurfaceStateData(uint32_t* p, int id);
uint64_t Ps2TxGetTex0(const ZEPS2TEX* record, const ZEPS2TEX* palette);
void Ps2TxSetTFXMode(ZEPS2TEX* record, uint8_t tfx);
// colours: 16 or 256 entries of R, G, B, A bytes.
void ZePs2ChangeTexPal(ZEPS2TEX* record, const uint32_t* colours);
void ZePs2ChangeTexPalStreamTemp(ZEPS2TEX* record, const uint32_t* colours);
void ZePs2TintTexPalStreamTemp(ZEPS2TEX* record, uint32_t tint);
int Ps2TxValToPowerOfTwo(int v);  // ceil(log2 v), 0 for v <= 1
void QuantizeTexture(ZETEX* image);
void ZeTexSwizzelBits(ZETEX* image);
int GetTexturePreLoad();
// The quantiser's result of the last call (colours 0 when it gave up).
extern uint8_t* zetex_quant_index;
extern uint32_t zetex_quant_palette[256];
extern int zetex_quant_colours;

// ---- texture table (zetex) ----
// One entry of the texture table.
struct ZETEXSLOT {
  ZETEX tex;         // the image it was made from (texels cleared once the platform data exists)
  int16_t refcount;
  uint16_t flags;    // ZETEXSLOT_INUSE, ZETEXSLOT_NOTOWNED
  ZEPS2TEX ps2;
};
static_assert(sizeof(ZETEXSLOT) == 204 && offsetof(ZETEXSLOT, ps2) == 28);
constexpr uint16_t ZETEXSLOT_INUSE = 1;
constexpr uint16_t ZETEXSLOT_NOTOWNED = 2;  // platform data lives in native data or a caller's region

constexpr int ZETEX_MAX_RESERVE = 256;

extern ZETEXSLOT* zetex_slots;
extern int zetex_slot_count;
extern int zetex_cursor;        // where the next free-slot search starts
extern int zetex_alloc_cnt;     // live textures
extern int zetex_initialised;
// Video memory in blocks of 256 bytes: reservations grow up from gs_botfree,
// uploads grow down from gs_ptr.
extern int gs_top, gs_ptr, gs_botfree;
extern int gs_tempptr;          // next temporary effect-texture address
extern int zetex_reserve_count;
extern int txupload_on;         // 0: making a texture resident uploads only its palette
extern int zetex_display_lod;
// The current render target's size and its log2 (rounded up); a texture
// made the target sets them.
extern int zerndr_pixel_width, zerndr_pixel_height, zerndr_pixel_p2w, zerndr_pixel_p2h;

int ZeTexGetSysBuffSize(int n);
int ZeTexInitEx(char** buffer, int n);
int ZeTexInit();
void ZeTexClose();

ZETEXID ZeTexCreate(ZETEX* image);
// Fatal "Unable to allocate texture" when no slot is free or the platform
// data cannot be made. A region (start, end) receives the platform data.
ZETEXID ZeTexCreateEx(ZETEX* image, void* regionStart, void* regionEnd);
ZETEXID ZeTexCreateStream(ZETEX* image);  // 0 on failure
void ZeTexDestroy(ZETEXID id);
int16_t ZeTexRef(ZETEXID id);
int16_t ZeTexUnRef(ZETEXID id);

int ZeTexType(ZETEXID id);
int ZeTexWidth(ZETEXID id);
int ZeTexHeight(ZETEXID id);
int ZeTexHasAlpha(ZETEXID id);
int ZeTexGetPointers(ZETEXID id, ZETEXSLOT** slot, ZEPS2TEX** ps2);
int ZeTexGetTextAddr(ZETEXID id);
uint64_t ZeTexGetTex0(ZETEXID id, ZETEXID palette);
int ZeTexGetReqSize(ZETEXID id, int level);

int ZeTexPixelSize(int type);
int ZeTexImgSize(int type, int w, int h);
int ZeTexImgSizeMM(int type, int w, int h, int n);
int ZeTexPalSize(int type);
int ZeTexAlphaBits(int type);

int ZeTexReserve(int bytes);  // block address, or 0 when refused
void ZeTexUnReserve();
void ZeTexAssignAddr(ZETEXID id, int addr);
void ZeTexSetTempAddr(ZETEXID id, int addr);
void ZeTexFlushTemp();
void ZeTexAssignTempAddr(ZETEXID id);
void ZeTexCloneTempAddr(ZETEXID dst, ZETEXID src);
void ZeTexCloneZbufferAddr(ZETEXID id);
uint32_t* ZeTexAccomodate(uint32_t* p, ZETEXID id, int firstlevel);
void ZeTexAccomodateRS(ZERNDRSTREAM* stream, ZETEXID id, int firstlevel);

uint32_t* ZeTexSet(uint32_t* p, ZETEXID id, int context);
uint32_t* ZeTexSetPal(uint32_t* p, ZETEXID id, ZETEXID palette, int context);
uint32_t* ZeTexSetZBuffer(uint32_t* p, ZETEXID id);
uint32_t* ZeTexSetRenderTarget(uint32_t* p, ZETEXID id);
uint32_t* ZeTexWriteMaterialSettings(uint32_t* p, const ZEMTL* material);
void ZeTexSetTFXMode(ZETEXID id, int mode);
void ZeTexPalChange(ZETEXID id, const uint32_t* colours);
void ZeTexPalChangeStreamTemp(ZETEXID id, const uint32_t* colours);
void ZeTexDisplayTexturePage(int page, int alphamode, float depth);

// ===================================================================
// Materials (zemtl)
// ===================================================================
// Everything needed to draw a batch of geometry: the prebuilt GS state
// packet (DMA-called at draw time), texture, colours, VU1 program, sort
// priority, effect, and the material's own stream for the frame's geometry.

using ZEMTLSTREAMFN = void(ZEMTL* mtl, ZERNDRSTREAM* stream, int phase);  // phase 1, 2 or 3

constexpr int ZEMTL_STATE_BLOCK = 288;

struct alignas(16) ZEMTL {
  uint32_t state[ZEMTL_STATE_BLOCK / 4];  // the GS state packet (DMA ret chain); the material's own address
  uint32_t flags;             // ZEMTL_* flags; bits 4-11 render plane; 16-31 linked use count
  ZERNDRSTREAM stream;        // the frame's geometry for this material
  EePtr<float> effect_block;  // the 8-float effect block inside the state packet
  EePtr<ZEMTL> next, prev;    // neighbours in the render-plane list
  EePtr<ZEMTL> chain;         // next material of a linked chain (a 1-based file number after ZeMtlRead)
  uint32_t attributes;        // ZEMTLATTR_* fields
  uint32_t render_flags;      // bits 0-1 AFAIL, 2 FST, 3 cut-out, 4 IIP, 5 DATE, 6 DATM
  float ambient[3];
  float diffuse[3];           // 1.0 full intensity
  float p[5];                 // effect parameters p1-p5
  float alpha;                // 1.0 opaque
  ZETEXID texture;            // 0 none
  int16_t sort_priority;      // 0x7fff unless set
  int16_t reserved;
  int16_t mip_k;              // TEX1 K in sixteenths
  uint8_t mip_l;              // TEX1 L
  uint8_t uv_anim;            // low nibble U mode, high nibble V mode
  float u_value, v_value, u_speed, v_speed;
  EePtr<ZEMTLSTREAMFN> callback;
  uint8_t context;            // GS drawing context 0 or 1
  uint8_t effect_id;          // 0 none; 0x80-0x8e effects; 1-0x7f flags for the read-event hook
  uint8_t table_index;
  uint8_t in_anim_list;
  uint32_t frame_mask;        // FBMSK while current: 0xff000000 by default
};
static_assert(sizeof(ZEMTL) == 464);
static_assert(offsetof(ZEMTL, flags) == 288 && offsetof(ZEMTL, stream) == 292 && offsetof(ZEMTL, attributes) == 364 &&
              offsetof(ZEMTL, texture) == 420 && offsetof(ZEMTL, u_value) == 432 && offsetof(ZEMTL, callback) == 448 &&
              offsetof(ZEMTL, frame_mask) == 456);

enum : uint32_t {
  ZEMTL_INUSE = 0x01,
  ZEMTL_POOL = 0x02,
  ZEMTL_HEAP = 0x04,
  ZEMTL_ZWRITE = 0x08,
  ZEMTL_PLANE_SHIFT = 4,
  ZEMTL_PLANE_MASK = 0xff0,
  ZEMTL_USE_SHIFT = 16,
};

// Attribute word fields (shift, width).
enum {
  ZEMTLATTR_BLEND = 0,       // 4 bits: 0 none, 1-9 blended
  ZEMTLATTR_FILTER = 4,      // 2 bits: nearest, linear, trilinear, nearest/linear-mipmap-nearest
  ZEMTLATTR_UVMODE = 6,      // 2 bits: 1 transformed by the xformuv program
  ZEMTLATTR_UWRAP = 8,       // 2 bits: 1 clamp
  ZEMTLATTR_VWRAP = 10,      // 2 bits
  ZEMTLATTR_MISC = 12,       // 2 bits carried from the file
  ZEMTLATTR_DEPTH = 14,      // 2 bits: test and write, test, write, neither
  ZEMTLATTR_LIGHTING = 16,   // 2 bits: prelit, xformuv, tricu, trica
  ZEMTLATTR_VTXCOL = 18,     // 1 bit
  ZEMTLATTR_FRAMEALPHA = 19, // 1 bit: frame write mask 0 when added
  ZEMTLATTR_ATST = 20,       // 3 bits
  ZEMTLATTR_AREF = 23,       // 8 bits
};
enum : uint32_t {
  ZEMTLRF_AFAIL = 0x03,
  ZEMTLRF_FST = 0x04,
  ZEMTLRF_CUTOUT = 0x08,
  ZEMTLRF_IIP = 0x10,
  ZEMTLRF_DATE = 0x20,
  ZEMTLRF_DATM = 0x40,
};

// The on-disc material record, 84 bytes little-endian, as scene and model
// files store it:
//   u32 chain (1-based material number in the file, 0 none); u32 packed
//   attributes; f32 ambient[3], diffuse[3], p1-p4, p5, alpha; s32 texture
//   (file's number, -1 none); s16 sort priority; u8 effect id; u8 table
//   index; s16 mip K (added to -90); u8 mip L (added to 0); u8 UV modes;
//   f32 U value, V value, U speed, V speed.
constexpr int ZEMTL_FILE_RECORD = 84;

constexpr int ZEMTL_PLANES = 24;

extern int16_t zemtl_sortpri_pre_glass, zemtl_sortpri_glass, zemtl_sortpri_environment, zemtl_sortpri_bump_map,
    zemtl_sortpri_fur, zemtl_sortpri_water_specular, zemtl_sortpri_specular;
extern ZEMTL* zemtl_defaultmtl3d;
extern ZEMTL* zemtl_defaultmtl2d;
extern int zemtl_lighting_disabled, zemtl_force_colour, zemtl_force_lit, zemtl_force_mtlsize;
extern ZETEXID global_default_normalmap_tid;
extern int zemtl_current_plane;
// The screen copies and stream callbacks the effects use (set by the
// screen-copy effects; zero and null until then).
extern ZETEXID zemtl_glass_tid, zemtl_water_tid;
extern ZEMTLSTREAMFN* zemtl_water_callback;
extern ZEMTLSTREAMFN* zemtl_nrmmap_callback;
extern ZEMTLSTREAMFN* zemtl_nrmmap_fixed_callback;

using ZEMTLREADEVENT = int (*)(ZEMTL* mtl);
extern ZEMTLREADEVENT ZeMtlReadEvent;

int ZeMtlGetSysBuffSize(int n);
void ZeMtlInitEx(char** buffer, int n);
void ZeMtlInit();
void ZeMtlClose();
void ZeMtlRelease();
ZEMTL* ZeMtlCreate(int n);
ZEMTL* ZeMtlCreateEx(int n, int plane);
void ZeMtlUpdate(ZEMTL* mtl);
// flags: 1 re-insert into the plane, 2 keep the state area, effect block and
// STROW values, 4 keep the sort priority.
void ZeMtlUpdateEx(ZEMTL* mtl, int flags);
ZEMTL* ZeMtlRead(ZEFILE file);
int ZeMtlWrite(ZEFILE file, const ZEMTL* mtl);
void ZeMtlDestroy(ZEMTL* mtl);
void ZeMtlAddEx(ZEMTL* mtl, int plane);
void ZeMtlAdd(ZEMTL* mtl);
int16_t ZeMtlAppendMtl(ZEMTL* mtl, ZEMTL* linked);
void ZeMtlDetachMtl(ZEMTL* mtl);
int ZeMtlValid(const ZEMTL* mtl);
void* ZeMtlGetStateBlockDma(ZEMTL* mtl);
int ZeMtlGetZupd(const ZEMTL* mtl);
ZEMTLREADEVENT ZeMtlReadEventSetHandler(ZEMTLREADEVENT hook);
ZEMTL* ZeMtlIterate(int first);

// ===================================================================
// Render planes and the render list (zemtlrl)
// ===================================================================
using ZERENDERPLANEFN = void(ZERNDRSTREAM* stream, int plane);
using ZEMTLPRIFN = void(ZERNDRSTREAM* stream, ZEMTL* mtl, int plane);

// Owned by the caller; lists are in descending priority.
struct ZERENDERPLANECALLBACK {
  EePtr<ZERENDERPLANECALLBACK> next, prev;
  uint8_t plane;
  uint8_t kind;          // 0 begin, 1 end
  int16_t priority;
  EePtr<ZERENDERPLANEFN> fn;
};
static_assert(sizeof(ZERENDERPLANECALLBACK) == 16);

// Owned by the caller; one link pair per plane; lists in ascending priority.
struct ZEMTLPRICALLBACK {
  EePtr<ZEMTLPRICALLBACK> next[ZEMTL_PLANES];
  EePtr<ZEMTLPRICALLBACK> prev[ZEMTL_PLANES];
  EePtr<ZEMTLPRIFN> fn;
  int16_t priority;
  uint16_t mask;
  int16_t compare;       // 1 above, 2 equal, else at or above
};
static_assert(offsetof(ZEMTLPRICALLBACK, fn) == 192 && offsetof(ZEMTLPRICALLBACK, compare) == 200);

constexpr int ZEMTL_ANIM_MAX = 256;

void ZeMtlInsert(ZEMTL* mtl, int plane);
void ZeMtlRemove(ZEMTL* mtl);
int ZeMtlSetCurrentRenderPlane(int plane);
void ZeMtlSetRenderPlane(ZEMTL* mtl, int plane);
void ZeMtlSetRenderPlaneOrder(int plane, int position);
void ZeMtlSetRenderPlaneBefore(int plane, int other);
void ZeMtlSetRenderPlaneAfter(int plane, int other);
void ZeMtlGetRenderPlaneDrawOrders(uint8_t* buffer, int n);
void ZeMtlGetRenderPlanesInDrawOrder(uint8_t* buffer, int n);
int ZeMtlAddPriCallBack(ZEMTLPRICALLBACK* cb, uint32_t planes);
int ZeMtlRemovePriCallBack(ZEMTLPRICALLBACK* cb);
void ZeMtlAddRenderPlaneBeginCallBack(ZERENDERPLANECALLBACK* cb, int plane);
void ZeMtlAddRenderPlaneEndCallBack(ZERENDERPLANECALLBACK* cb, int plane);
void ZeMtlRemoveRenderPlaneCallBack(ZERENDERPLANECALLBACK* cb);
void ZeMtlBuildRenderList(uint32_t planes);
void ZeMtlCheckRenderList();
void ZeMtlAnimate(float dt, uint32_t planes);
void ZeMtlCheckMtlAnimList(ZEMTL* mtl, int removing);

// ===================================================================
// Camera (zecamera)
// ===================================================================
// The one current camera and every matrix derived from it. Clip results
// shared by all drawing: 0 culled, 1 wholly inside the guard band (drawn
// without clipping), 2 visible and needing clipping.

struct ZECAMERA {
  ZEMTX mtx;        // camera to world: rows X (right), Y (up), Z (forward), position; orthonormal
  float fov;        // full vertical field of view, radians
  float aspect;     // horizontal projection scale relative to the vertical one
  float nearclip;
  float farclip;
  int32_t reserved;
  ZEVEC scale;      // factors on camera-space x, y, z after the inverse
};
static_assert(sizeof(ZECAMERA) == 96);
static_assert(offsetof(ZECAMERA, fov) == 64 && offsetof(ZECAMERA, scale) == 84);

// The reflection record: a word and a matrix kept for the caller, and the
// world-to-viewport-clip matrix of the camera it was applied with.
struct ZECAMERAREFLECT {
  int32_t word;
  int32_t pad[3];
  ZEMTX mtx[2];
};
static_assert(sizeof(ZECAMERAREFLECT) == 144);

constexpr int ZECAMERA_STACK_SIZE = 16;

extern ZECAMERA global_camera;
extern float zecamera_farclip_hack;  // the clip volumes end this much short of the far plane

ZECAMERA* ZeCameraCreate();
void ZeCameraDestroy(ZECAMERA* camera);
void ZeCameraSetEx(const ZECAMERA* camera, int keep);  // keep: only the view and the products
void ZeCameraSet(const ZECAMERA* camera);
void ZeCameraSetReflect(const ZECAMERA* camera, ZECAMERAREFLECT* record);
void ZeCameraSetAxes(const ZEVEC* v);
void ZeCameraGetAxes(ZEVEC* out);

ZECAMERA* ZeCameraGetCam();
ZEMTX* ZeCameraGetMtx();
ZEMTX* ZeCameraGetViewMtx();        // V: world to camera
ZEMTX* ZeCameraGetProjectionMtx();  // P: camera to homogeneous, depth 0..1
ZEMTX* ZeCameraGetScalingMtx();     // S: homogeneous to screen units
ZEMTX* ZeCameraGetPCMtx();          // Cv: camera to viewport clip
ZEMTX* ZeCameraGetVPCSMtx();        // V x P x S: world to screen
ZEMTX* ZeCameraGetPCSMtx();         // P x S: camera to screen
ZEMTX* ZeCameraGetVPCMtx();         // V x Cv: world to viewport clip
ZEMTX* ZeCameraGetClipPlanes();     // columns: right, left, lower, upper planes
void ZeCameraGetClipMtx(ZEMTX* outVCv, ZEMTX* outVCs);  // either may be null
void ZeCameraGet(ZECAMERA* out);
void ZeCameraGetTrans(ZEVEC* out);
void ZeCameraGetClippingRatios(float* outx, float* outy);
float ZeCameraDistSqr(const ZEVEC* p);
float ZeCameraDist(const ZEVEC* p);

void ZeCameraSetProjectionMtx(ZEMTX* out, float fov, float aspect, float nearclip, float farclip);
void ZeCameraSetVPortClipMtx(ZEMTX* out, const ZEMTX* view, const ZECAMERA* camera, int keep);
void ZeCameraSetScissorClipMtx(ZEMTX* out, const ZEMTX* view, const ZECAMERA* camera, int keep);

// Point transforms; local (may be null) is multiplied in front of the camera matrix.
void ZeCameraTransformView(ZEVEC* out, const ZEVEC* in, int n, const ZEMTX* local);
void ZeCameraTransformPerspective(ZEVEC* out, const ZEVEC* in, int n, const ZEMTX* local);
void ZeCameraTransformScreen(ZEVEC* out, const ZEVEC* in, int n, const ZEMTX* local);
void ZeCameraTransformScreenClip(ZEVEC* out, const ZEVEC* in, int n, const ZEMTX* local);
void ZeCameraTransformScissorClip(ZEVEC* out, const ZEVEC* in, int n, const ZEMTX* local);
void ZeCameraTransformScreenVU0(ZEVEC4* out, const ZEVEC4* in, int n, const ZEMTX* local);

// Outcodes (camera space): 0x01 left of, 0x02 right of, 0x04 above, 0x08
// below the view, 0x10 beyond the far plane, 0x20 before the near plane.
int ZeCameraClipTestPoints(const ZEVEC* points, int n, const ZEMTX* local);  // AND; n 0 gives -1
int ZeCameraClipTestSphere(const ZEVEC* centre, const ZEMTX* matrix, float radius);  // 1: invisible
int ZeCameraClipTestExtents(const ZEVEC* min, const ZEVEC* max, const ZEMTX* local);  // 0, 1 or 2
int ZeCameraClipTestPointVport(const ZEVEC* p);
int ZeCameraClipTestPointScissor(const ZEVEC* p);
void ZeCameraRayCast(ZEVEC* out, float sx, float sy);

// Batch tests against two loaded clip matrices. Homogeneous outcodes: bit 0
// x > |w|, 1 x < -|w|, 2 y > |w|, 3 y < -|w|, 4 z > |w|, 5 z < -|w|.
void ZeCameraInitClipTestVU0(const ZEMTX* m1, const ZEMTX* m2, const ZEMTX* local);
int ZeCameraScreenTestPointsVU0(const ZEVEC4* points, int n);   // OR << 8 | AND against m1
int ZeCameraScissorTestPointsVU0(const ZEVEC4* points, int n);  // the same against m2
int ZeCameraClipTestPointsVU0(const ZEVEC4* points, int n);     // m2 OR << 8 | m1 AND
int ZeCameraClipTestExtentsVU0(const ZEVEC* min, const ZEVEC* max);

int ZeCameraSaveState();  // new depth 1..16, or 0 when full
void ZeCameraRestoreState(int depth);
void ZeCameraClearStateBuffer();
void ZeCameraLock(int flag);
void ZeCameraUnlock();

// ===================================================================
// Viewport (zeviewport)
// ===================================================================
// The one current viewport (ZEVIEWPORT, zeps2.h) in screen units of 1/16
// pixel, its scaling matrix from homogeneous clip space to the screen and
// the factors of the camera's two clip volumes.

void ZeVpInit();
void ZeVpRestore();
void ZeVpSetPosition(float x, float y);
void ZeVpSetSize(float width, float height);
void ZeVpSetZRange(float zmin, float zmax);
void ZeVpSetCentre(float cx, float cy);
void ZeVpSetClipping(float x0, float y0, float x1, float y1);  // an empty window is fatal
ZEVIEWPORT* ZeVpUpdate();  // null when nothing changed
void ZeVpGetScalingMtx(ZEMTX* out);
ZEVIEWPORT* ZeVpGetCurrentViewport();
float ZeVpVirtualWidth(float v);
float ZeVpVirtualHeight(float v);
float ZeVpPixelWidth(float f);
float ZeVpPixelHeight(float f);

// ===================================================================
// Scene control and immediate primitives (zerndr)
// ===================================================================
// Integer 2-D coordinates and text are in 1/16 pixel from the top-left
// corner (callers thinking of a 640 x 448 screen pass x x 16 and y x 8);
// float 2-D coordinates are fractions of the current viewport. A null
// material means the default 2-D material for 2-D calls and the default
// 3-D material for 3-D calls.

using ZECOLOUR32 = uint32_t;  // bytes R, G, B, A

struct ZEVTX2D {
  float x, y;  // fractions of the viewport
  float z, q;
  ZECOLOUR32 colour;
  float u, v;
};
static_assert(sizeof(ZEVTX2D) == 28);

struct ZEVTX {
  ZEVEC pos;
  ZEVEC normal;
  ZECOLOUR32 colour;
  float u, v;
};
static_assert(sizeof(ZEVTX) == 36);

struct ZERECT {
  float x, y, width, height;  // viewport fractions
  float qscale;
  float ua, va, ub, vb;
  EePtr<ZEMTL> mtl;
};
static_assert(sizeof(ZERECT) == 40);


extern int tri2dz;  // depth of every vertex of ZeRndrTri2di (1)
// Float family: return 1.
int ZeRndrLine2d(const ZEVTX2D* v, ZEMTL* mtl);
int ZeRndrLineStrip2d(const ZEVTX2D* v, ZEMTL* mtl, int n);
int ZeRndrTri2d(const ZEVTX2D* v, ZEMTL* mtl);
int ZeRndrTriStrip2d(const ZEVTX2D* v, ZEMTL* mtl, int n);
int ZeRndrQuad2d(const ZEVTX2D* v, ZEMTL* mtl);
int ZeRndrTriStripGif(const uint32_t* gsVerts, int n, ZEMTL* mtl);  // 12 words a vertex
int ZeRndrRect(const ZERECT* rect);
// Integer family.
void ZeRndrRect2di(int x, int y, int w, int h, ZECOLOUR32 colour, ZEMTL* mtl);
void ZeRndrGradRect2di(int x, int y, int w, int h, const ZECOLOUR32* colours, ZEMTL* mtl);
void ZeRndrRectUV2di(int x, int y, int w, int h, ZECOLOUR32 colour, ZEMTL* mtl, float ua, float va, float ub,
                     float vb);
void ZeRndrRectZUV2di(int x, int y, int z, int w, int h, ZECOLOUR32 colour, ZEMTL* mtl, float ua, float va,
                      float ub, float vb);
void ZeRndrRectUVStream(ZERNDRSTREAM* stream, int x, int y, int w, int h, ZECOLOUR32 colour, int z, float ua,
                        float va, float ub, float vb);
void ZeRndrLine2di(int x0, int y0, int x1, int y1, ZECOLOUR32 colour, ZEMTL* mtl);
void ZeRndrLineRect2di(int x, int y, int w, int h, ZECOLOUR32 colour, ZEMTL* mtl);
void ZeRndrTri2di(const int* xy, const float* uv, int count, ZECOLOUR32 colour, ZEMTL* mtl);
void ZeRndrTriStrip2di(const int* xy, const float* uv, int count, ZECOLOUR32 colour, ZEMTL* mtl);
void ZeRndrLineStrip2di(const int* xy, const float* uv, int count, ZECOLOUR32 colour, ZEMTL* mtl);

// Scene control: start-up, the brackets of a scene, clears and the swap.
constexpr uint32_t ZERNDR_CLEAR_COLOUR = 0x100, ZERNDR_CLEAR_DEPTH = 0x200, ZERNDR_CLEAR_NOLISTS = 0x400;
constexpr uint32_t ZERNDR_ENDSCENE_PLANES = 0x7fffff, ZERNDR_ENDSCENE_OT = 0x1000000;


extern int zerndr_curr_rt, zerndr_curr_zt, zerndr_curr_ho;
extern int global_frame_count;
extern int zerndr_tritot_this_frame;
extern int debug_flush_vram;

void ZeRndrInitEx(int streamBufferSize);
void ZeRndrInit();
void ZeRndrClose();
void ZeRndrInitWorld();
int ZeRndrBeginScene(int rt);
int ZeRndrBeginSceneEx(int rt, int zt, int halfpixel);
void ZeRndrSetRTarget(ZERNDRSTREAM* stream, int rt);
void ZeRndrSetZBuffer(ZERNDRSTREAM* stream, int zt);
void ZeRndrSetHalfPixel(ZERNDRSTREAM* stream, int on);
void ZeRndrEndScene();
void ZeRndrEndSceneEx(uint32_t mask);
void ZeRndrFlush(uint32_t mask);
void ZeRndrClear(uint32_t flags, ZECOLOUR32 colour, float depth);
void ZeRndrClearMtl(uint32_t flags, ZECOLOUR32 colour, ZEMTL* mtl, float depth);
void ZeRndrClearMtlEx(uint32_t flags, ZECOLOUR32 colour, int z, ZEMTL* mtl, int date, int datm, uint32_t frameMask);
void ZeRndrClearMtlRect(int x, int y, int w, int h, uint32_t flags, ZECOLOUR32 colour, int z, ZEMTL* mtl, int date,
                        int datm, uint32_t frameMask);
void ZeRndrGradClear(uint32_t flags, ZECOLOUR32 top, ZECOLOUR32 bottom, float depth);
int ZeRndrSwapScreen(int rt);
int ZeRndrGlobalFrameCount();
void ZeRndrGlobalFrameCountPause(int flag);
uint64_t* ZeRndrGetFrame();
uint64_t* ZeRndrGetGsFrame();
void ZeRndrGlobalMtl(ZEMTL* mtl);
void ZeRndrFogColour(ZECOLOUR32 colour);
void ZeRndrFogDistance(float nearDist, float farDist);
void ZeRndrFogMode(int mode);
void ZeRndrStarfield();

// The ordering table (zerndrclip).
int ZeRndrOTInit(int buckets, int items);
void ZeRndrOTClose();
void ZeRndrOTDraw();
void OTTriInit();

// Clipped stream primitives (zerndrclip): batches of at most 42 vertices for
// the clipping entry of the stream's VU1 program. Counts are vertex counts.
constexpr int ZERNDR_CLIP_BATCH = 42;
int ZeRndrStreamTri3dClip(const ZEVTX* v, int count, const ZEMTX* local, ZERNDRSTREAM* stream);
int ZeRndrStreamTriStrip3dClip(const ZEVTX* v, int count, const ZEMTX* local, ZERNDRSTREAM* stream);
int ZeRndrStreamQuad3dClip(const ZEVTX* v, int count, const void* unused, ZERNDRSTREAM* stream);
int ZeRndrStreamQuad3dClipKickMod(const ZEVTX* v, int count, int k, ZERNDRSTREAM* stream);
int ZeRndrStreamQuad3dClipKickModNoNorm(const ZEVTX* v, int count, int k, ZERNDRSTREAM* stream);
// Builds the packet in buffer (ret tag first); descriptors (four words a
// batch: vertices, colour, position and texture data addresses) may be
// null. Returns buffer.
struct ZECLIPBATCHDESC {
  int32_t count;
  EePtr<uint32_t> colours, positions, texture;
};
static_assert(sizeof(ZECLIPBATCHDESC) == 16);
void* ZeRndrStream3dClipKickModStaticData(const ZEVTX* v, int count, int k, void* buffer, ZECLIPBATCHDESC* desc,
                                         int* descIndex, int* packetBytes);
int ZeRndrTri3dClip(const ZEVTX* v, int count, const ZEMTX* local, ZEMTL* mtl);
int ZeRndrTriStrip3dClip(const ZEVTX* v, int count, const ZEMTX* local, ZEMTL* mtl);
int ZeRndrQuad3d(...);

// Ordering table: one sorted batch of triangles.
struct ZEOTITEM {
  EePtr<uint32_t> packet;  // callable, ends in a ret tag
  EePtr<ZEMTX> mtx;        // copy of the batch's local matrix in stream memory
  EePtr<ZEMTL> mtl;
  EePtr<ZEOTITEM> next;
  float depth;
  int32_t clip;            // 1 fully visible, 2 needs clipping
  int32_t spare;
};
static_assert(sizeof(ZEOTITEM) == 28);
constexpr int ZEOT_TRI_BUCKETS = 4096, ZEOT_TRI_NODES = 2048, ZEOT_TRI_RECORD = 160;
extern float otscale;
// tris points at the first triangle record (a triangle block + 16).
void ZeRndrOTInsertTriBatch(const ZEMTX* local, int clip, ZEMTL* mtl, const void* tris, int count);
void ZeRndrOTInsertItem(ZEOTITEM* item);
int OTTriInsert(const void* record, float depth);

// Immediate 3-D primitives and sprites (zerndr3d): projected on the main
// processor and written as finished GS primitives.
struct ZESPRITE {
  ZEVEC pos;
  int32_t pad;
  float ua, va, ub, vb;
  float width, height;  // half extents, world units
  float sine, cosine;   // rotation in the screen plane; (0, 1) unrotated
  int32_t colour[4];    // R, G, B, A words
};
static_assert(sizeof(ZESPRITE) == 64);
constexpr int ZERNDR_DBG_LINES = 2048;
extern int LineCnt3dDbg, LineCnt2dDbg;

int ZeRndrLine3d(const ZEVTX* ends, ZEMTL* mtl, const ZEMTX* local);
void ZeRndrLine3dDbg(ZECOLOUR32 colour, float x0, float y0, float z0, float x1, float y1, float z1);
void ZeRndr3dLine(ZECOLOUR32 colour, float x0, float y0, float z0, float x1, float y1, float z1);
void ZeRndrLine2dDbg(int x0, int y0, int x1, int y1, int z, ZECOLOUR32 colour);
void ZeRndr2dLine(int x0, int y0, int x1, int y1, int z, ZECOLOUR32 colour);
void ZeRndrLine3dDbgFlush();
void ZeRndrCrossHair(const ZEVEC* centre, float size);
int ZeRndrTriStrip3d(const ZEVTX* v, int count, ZEMTL* mtl, const ZEMTX* local);
int ZeRndrFaceOn(const ZESPRITE* sprite, ZEMTL* mtl, const ZEMTX* local);
int ZeRndrOldFaceOn(const ZESPRITE* sprite, ZEMTL* mtl, const ZEMTX* local);
int ZeRndrFaceY(const ZESPRITE* sprite, ZEMTL* mtl, const ZEMTX* local);
void ZeRndrRectUV3di(int x, int y, int w, int h, ZECOLOUR32 colour, int z, float ua, float va, float ub, float vb);
void ZeRndrRectUV3diNS(int x, int y, int w, int h, ZECOLOUR32 colour, int z, float ua, float va, float ub, float vb);

// ===================================================================
// Bitmap fonts (zefont)
// ===================================================================
// Positions and widths are integers in 1/16 pixel (x) and 1/8 line (y) of
// a 640 x 448 screen; the pen is kept in GS coordinates. Text escapes
// "#n#", "#hn#", "#dn#", "#hdn#" select colour n of the colour table
// (halved, doubled).

struct ZEFNTGLYPH {
  float left, top, right, bottom;  // texture coordinates
  uint8_t width, height;           // texels
  uint16_t pad;
};
static_assert(sizeof(ZEFNTGLYPH) == 20);

struct ZEFNT {
  int32_t reserved[2];
  float fheight;       // not used here
  int32_t height;      // cell height, texels
  float fbase;         // not used here
  int32_t base;        // top of the cell to the baseline, texels
  EePtr<ZEMTL> mtl;    // set on load
  int32_t count;       // glyphs
  uint8_t map[256];    // glyph of each character code; 255 none
  ZEFNTGLYPH glyphs[1];  // count of them
};
static_assert(offsetof(ZEFNT, map) == 32 && offsetof(ZEFNT, glyphs) == 288);
constexpr int ZEFNT_HEADER = 288;
constexpr int ZEFNT_TEXT = 1024;      // formatted text, terminator included
constexpr int ZEFNT_COLOURS = 256;

extern ZEFNT* ZeFntCur;
extern ZEFNT* system_font;
extern int zefnt_upcase, no_default_font;
extern int ZeFntHeight, ZeFntBase, ZeFntPrintLength, ZeFntPrintHeight;
extern ZECOLOUR32 zefnt_colours[ZEFNT_COLOURS];
extern int zefnt_colour_count;
extern const uint8_t ariel16_fnt[2208];
extern const uint8_t ariel16_bmp[];

ZEFNT* ZeFntLoad(const char* name);
ZEFNT* ZeFntLoadPtr(const char* name, char** position, char* end);
ZEFNT* ZeFntLoadMem(const void* font, int size, const void* bmp);
void ZeFntDestroy(ZEFNT* font);
void ZeFntInit();
void ZeFntClose();
int ZeFntLoadColours(const char* name);
void ZeFntSet(ZEFNT* font);
void ZeFntScale(int sx, int sy);
void ZeFntSetPen(ZECOLOUR32 colour);
void ZeFntMoveAbs(int x, int y);
void ZeFntMoveRel(int dx, int dy);
void ZeFntPos(int* x, int* y);
int ZeFntPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
int ZeFntPrintV(const char* format, va_list args);
int ZeFntPrintLen(const char* format, ...) __attribute__((format(printf, 1, 2)));
int ZeFntPrintLenV(const char* format, va_list args);
int ZeFntPrintEx(int x, int y, int justify, const char* format, ...) __attribute__((format(printf, 4, 5)));

// The screen copy that water and glass sample (zerndr).
ZETEXID ZeRndrCopyScreenInit();
void ZeRndrCopyScreen(ZERNDRSTREAM* stream);
ZETEXID ZeRndrCopyScreenTex();
void ZeRndrCopyScreenFree();
void ZeRndrCopyScreenTerminate();
ZEFNT* ZeFntCreate(const char* bitmap, int cellHeight, int base, int key, const char* characters);
void ZeFntWrite(const char* name, ZEFNT* font);

// ===================================================================
// Geometry objects (zegobj)
// ===================================================================
// A geometry object is the drawable unit: a list of geometries (one
// material, its 36-byte vertices, primitive lists, skins, morph data) and a
// list of sprite sets, with the bounds the view test uses. Objects made by
// ZeGobjCreate sit on the system list; objects laid in a scene buffer do not.

struct ZEGEOM;
struct ZEFACEONGEOM;
struct ZEPRIM;

struct ZEGOBJ {
  EePtr<ZEGOBJ> next, prev;        // system list; null for objects in a scene buffer
  int32_t kind;                    // ZEGOBJ_MESH ... ZEGOBJ_MESHSPRITES
  EePtr<ZEGEOM> geometries;        // in file order
  EePtr<ZEFACEONGEOM> faceons;
  float radius;                    // origin to the farthest point
  float radius2;
  ZEVEC min, max;                  // object-space box
  ZEVEC centre;                    // of the box
  float centre_radius;             // sphere about centre
  float centre_radius2;
  int32_t tag;                     // first word of the file record, carried
  EePtr<ZEGOBJ> chain;             // next object of a chain, or null
  ZEVEC base;                      // carried, not interpreted
  // Model images hold the first ZEGOBJ_IMAGE_BYTES only.
  EePtr<uint32_t> colourref;       // cross-fade data (ZECOLOURREF runs), or null
  int32_t tricount;                // triangles drawn; colour-reference table bytes right after building
  int32_t faceoncolourrefsize;     // sprite colour-reference bytes, or 0
};
static_assert(sizeof(ZEGOBJ) == 104);
static_assert(offsetof(ZEGOBJ, kind) == 8 && offsetof(ZEGOBJ, geometries) == 12 && offsetof(ZEGOBJ, faceons) == 16 &&
              offsetof(ZEGOBJ, radius) == 20 && offsetof(ZEGOBJ, min) == 28 && offsetof(ZEGOBJ, max) == 40 &&
              offsetof(ZEGOBJ, centre) == 52 && offsetof(ZEGOBJ, centre_radius) == 64 &&
              offsetof(ZEGOBJ, tag) == 72 && offsetof(ZEGOBJ, chain) == 76 && offsetof(ZEGOBJ, base) == 80 &&
              offsetof(ZEGOBJ, colourref) == 92 && offsetof(ZEGOBJ, tricount) == 96 &&
              offsetof(ZEGOBJ, faceoncolourrefsize) == 100);
constexpr int ZEGOBJ_IMAGE_BYTES = 92;

enum { ZEGOBJ_MESH = 0, ZEGOBJ_SPRITES = 1, ZEGOBJ_SIZEDSPRITES = 2, ZEGOBJ_MESHSPRITES = 3 };

// Skin record: w matrices weigh each of count vertices from first on.
struct ZESKIN {
  EePtr<ZESKIN> next;
  int32_t first;             // first vertex covered
  int32_t count;             // vertices covered
  int32_t nmtx;              // matrices per vertex, w
  EePtr<int32_t> mtxids;     // w matrix ids
  EePtr<float> weights;      // w weights per vertex, vertex by vertex
};
static_assert(sizeof(ZESKIN) == 24);

// Per-vertex skin data: weights end at the first 0.0.
struct ZESMOOTHSKIN {
  float weight[3];
  uint8_t mtx[3];            // matrix id of weight k
  uint8_t pad;
};
static_assert(sizeof(ZESMOOTHSKIN) == 16);

// Morph targets: offsets[t] is null or vtxcount ZEVEC offsets in data.
struct ZEMORPH {
  int32_t count;
  EePtr<EePtr<ZEVEC>> offsets;
  EePtr<int32_t> values;     // one per target, from the file
  EePtr<uint8_t> data;
};
static_assert(sizeof(ZEMORPH) == 16);

struct ZEGEOM {
  EePtr<ZEGEOM> next;
  EePtr<ZEMTL> mtl;
  EePtr<uint32_t> dmastream;       // packet chain (ret-ended)
  EePtr<uint32_t> skininst;        // skin instance chain, or null
  EePtr<uint32_t> tribatch;        // word 0: count of 160-byte records from +16
  int32_t mtlindex;
  int32_t vtxkind;                 // 0: 36-byte vertices, 1: 28-byte
  int32_t vtxcount, vtxmax;
  EePtr<ZEVTX> vtx;
  EePtr<ZEPRIM> prims;
  EePtr<ZESKIN> skins;
  EePtr<ZESMOOTHSKIN> smoothskin;  // one per vertex, or null
  EePtr<uint8_t> prelight;         // nprelight records of 12 bytes
  int32_t nprelight;
  int32_t dmalen;                  // bytes of the packet block or the skin instance
  EePtr<ZEMORPH> morph;
  int32_t serial;
};
static_assert(sizeof(ZEGEOM) == 72);
static_assert(offsetof(ZEGEOM, dmastream) == 8 && offsetof(ZEGEOM, vtx) == 36 && offsetof(ZEGEOM, prims) == 40 &&
              offsetof(ZEGEOM, dmalen) == 60 && offsetof(ZEGEOM, serial) == 68);

// A sprite: colour bytes B, G, R, A.
struct ZEFACEON {
  ZEVEC pos;
  float width, height;
  uint32_t colour;
};
static_assert(sizeof(ZEFACEON) == 24);

struct ZEFACEONGEOM {
  EePtr<ZEFACEONGEOM> next;
  EePtr<ZEMTL> mtl;
  int32_t mtlindex;
  int32_t style;                   // 0 face-on, 1 face-Y
  EePtr<ZEFACEON> sprites;
  int32_t count;
  float size;                      // object kinds 2 and 3, else 0
  EePtr<uint32_t> dma;             // the object's sprite block starts at the first set's
};
static_assert(sizeof(ZEFACEONGEOM) == 32 && offsetof(ZEFACEONGEOM, dma) == 28);

enum {
  ZEPRIM_LIST = 2,           // vertices in order, three a triangle
  ZEPRIM_STRIP = 3,          // vertices in order
  ZEPRIM_IDXPAIRS = 4,
  ZEPRIM_IDXLIST = 5,
  ZEPRIM_IDXSTRIP = 6,       // runs of {length, indices}
  ZEPRIM_PATCH16 = 7,
  ZEPRIM_PATCH6 = 8,         // corners at 0, 3, 5; edge points 1, 2, 4
};

struct ZEPRIM {
  EePtr<ZEPRIM> next;
  int32_t kind;              // ZEPRIM_*
  int32_t count;             // vertices or indices
  int32_t max;
  EePtr<int16_t> idx;        // kinds 3 and up
  EePtr<ZEVEC4> planes;      // one a triangle, or null
};
static_assert(sizeof(ZEPRIM) == 24);

// Cross-fade and colour-reference run: c groups of words follow, each
// colour bytes R, G, B, A; a run with count 0 ends the table.
struct ZECOLOURREF {
  uint32_t addr;             // first colour in the packets, 4 bytes apart
  int32_t count;
};
static_assert(sizeof(ZECOLOURREF) == 8);

extern ZEGOBJ* zegobj_list;        // newest first
extern int zegobj_initialised;
extern int zegeom_serial;

void ZeGobjInit();
void ZeGobjClose();
ZEGOBJ* ZeGobjCreate();
void ZeGobjDestroy(ZEGOBJ* obj);
void ZeGobjAddGeom(ZEGOBJ* obj, ZEGEOM* geom);
void ZeGobjAddFaceOnGeom(ZEGOBJ* obj, ZEFACEONGEOM* set);
ZEGEOM* ZeGeomCreate();
ZEFACEONGEOM* ZeFaceOnGeomCreate();
void ZeGeomDestroy(ZEGEOM* geom);
void ZeFaceOnGeomDestroy(ZEFACEONGEOM* set);
void ZeGeomAddPrim(ZEGEOM* geom, ZEPRIM* prim);
void ZeGeomAddSkin(ZEGEOM* geom, ZESKIN* skin);
ZEPRIM* ZePrimCreate(int count, int kind);
void ZePrimDestroy(ZEPRIM* prim);  // null allowed
int ZeVtxStride(int kind);
int ZePrimStride(int kind);
float ZeGobjCalcDims(ZEGOBJ* obj);  // returns centre_radius
float ZeGobjCalcFaceOnDims(ZEGOBJ* obj);
void ZeGobjCalcPlanes(ZEGOBJ* obj);
void ZeGeomCalcPlanes(ZEGEOM* geom);
void ZePrimCalcPlanes(ZEPRIM* prim, ZEGEOM* geom);  // a second call on one list is fatal
void ZeGobjSetRenderPlane(ZEGOBJ* obj, int plane);
// level 0..255; returns the budget left (below 0 when a run overran it).
int ZeGobjApplyCrossFade(ZEGOBJ* obj, int level, int budget, ZECOLOURREF** resume);
uint32_t ZeGobjColourBlend(uint32_t a, uint32_t b, int t);
int ZeGobjColourBlendGobj(ZECOLOURREF* run, int t, int budget, ZECOLOURREF** resume);
// A closed ret-tag packet of n stars for the star-field program; null when
// the heap has no room. Free with ZeMemFreeFn.
void* ZeCreateStarfield(int n, float radius);

// ===================================================================
// Geometry to render-stream packets (zecvtgeo)
// ===================================================================
// Meshes, sprites, Bezier triangles and sorter records become VU1 packets
// once, at load. Builders write at a cursor (advanced past what they wrote)
// and return the packet start; each size function returns exactly what its
// builder writes, rounded to 16. One conversion at a time: the state is
// global. docs/vu1.md gives where each packet lands.

constexpr int ZECVT_BATCH = 42;          // mesh vertices a batch
constexpr int ZECVT_CHUNK = 6000;        // indices (halfwords) a call
constexpr int ZECVT_FACEON_BATCH = 20;
constexpr int ZECVT_FACEY_BATCH = 10;
constexpr int ZECVT_BEZ_BATCH = 9;       // corners (three patches)
constexpr int ZECVT_TRISTREAM_RECORD = 160;
constexpr int ZECVT_FACEON_SETS = 256;
constexpr uint16_t ZECVT_NOCLOSE = 0x8001;  // vertex flag: closes no triangle
constexpr uint32_t ZECVT_MAX_CNT = 0xfffff;

extern int ZeCvtPntEna;
extern float ZeCvtMaxSpan;
extern int ZeCvtPntOn;
extern int ZeCvtUvOn;
extern ZEVEC ZeCvtPntSpan;       // span magic per axis (bit patterns)
extern ZEVEC ZeCvtPntMid;
extern int nprelight_sets;       // words a vertex in colour references (at most 2)
extern int g_live_prelight;
extern int g_vertex_count;
extern int ambient_correction;
extern uint8_t gamma_table[256];
extern int colourref_enabled, colourref_offset;
extern uint32_t* colourref_table;
extern uint32_t* colourref_current;
extern int zegscn_generate_colourref, zegscn_generate_packetinfo;
extern int show_strip;
extern uint32_t* zecvtgeo_lasttag;
extern int32_t faceon_dmalen[ZECVT_FACEON_SETS];
extern int faceon_dmalen_cnt;
extern int info_tricount, info_tristripcount, info_stripcount, info_pktcnt, info_pktsizecnt;
extern uint8_t* info_pktbuff;
extern int32_t* info_pktdata;    // pairs {position-data offset, vertex count}

void ZePs2CreateRenderStream(ZEGOBJ* obj);
void ZePs2CreateFaceOn(ZEGOBJ* obj);
void ZePs2DestroyRenderStream(ZEGOBJ* obj);
// vtxcount: indices at or past it are a fatal error (-1: unchecked).
// colourB: null or one colour a vertex index.
uint32_t* ZeCvtDmaTriCFromIdx(uint32_t** cursor, const ZEVTX* vtx, int vtxcount, const uint32_t* colourB,
                              const int16_t* idx, int count, ZEMTL* mtl);
// idx: strip runs {length, indices}; count: halfwords, lengths included.
uint32_t* ZeCvtDmaTriStripCFromIdx(uint32_t** cursor, const ZEVTX* vtx, int vtxcount, const uint32_t* colourB,
                                   const int16_t* idx, int count, ZEMTL* mtl);
// colourrefSize (may be null) receives the colour-reference bytes.
int ZeCvtSizeDmaTriCFromIdx(const int16_t* idx, int count, ZEMTL* mtl, int* colourrefSize);
int ZeCvtSizeDmaTriStripCFromIdx(const int16_t* idx, int count, ZEMTL* mtl, int* colourrefSize);
uint32_t* ZeCvtDmaFaceOn(uint32_t** cursor, const ZEFACEON* sprites, int count, int words, const uint32_t* colourB);
uint32_t* ZeCvtDmaFaceY(uint32_t** cursor, const ZEFACEON* sprites, int count, int words, const uint32_t* colourB);
int ZeCvtSizeDmaFaceOn(const ZEFACEON* unused, int count, int unused2, int* colourrefSize);
int ZeCvtSizeDmaFaceY(const ZEFACEON* unused, int count, int unused2, int* colourrefSize);
uint32_t* ZeCvtDmaBezTriCFromIdx(uint32_t** cursor, const ZEVTX* vtx, const int16_t* idx, int corners);
int ZeCvtSizeDmaBezTriCFromIdx(const int16_t* unused, int corners);
// 160-byte sorter records; return the triangle count.
int ZeCvtTriStreamCFromIdx(uint32_t** cursor, const ZEVTX* vtx, const int16_t* idx, int count, ZEMTL* mtl);
int ZeCvtTriStripStreamCFromIdx(uint32_t** cursor, const ZEVTX* vtx, const int16_t* idx, int count, ZEMTL* mtl);
void ZeCvtCalcFastPoint(const ZEVEC* min, const ZEVEC* max, ZEMTL* mtl);  // mtl may be null
void ZeCvtSetMaxSpan(float span);
int ZeCvtSpanValue(float a, float b);  // bits(a) - bits(b)
void ZeCvtGeoBeginColourRef(void* buffer);
void ZeCvtGeoSetColourRefOffset(int offset);
void* ZeCvtGeoEndColourRef(int words);  // returns the address after the end record
void ZeCvtGeoStartColourRef(const void* packet, int words);
void ZeCvtGeoAddColourRef(uint32_t a, uint32_t b, int shift, int index, int base, int words);
void ZeCvtGeoFixup(void* table, uint32_t base, int words);
void ZeCvtDestroyPacketInfo();
// The gamma table shared with prelighting and the screen dump: all zeros
// until the first call, so the program calls GenerateGammaTable(1, 1) first.
uint8_t* GenerateGammaTable(float gamma, float scale);
void GammaCorrect(uint8_t* rgb);  // bytes R, G, B in place; black takes entry 0 only

// ===================================================================
// Skins to render-stream packets (zecvtskin)
// ===================================================================
// A skinned geometry becomes packets of at most 14 triangles drawn with a
// palette of at most 8 joint matrices, and an instance chain that uploads
// each group's palette and calls its packets. Both live in the skin buffer,
// which must be set up (InitSkinning or ZePs2SetTempSkinBuffer) first.

constexpr int ZESKN_PALETTE = 8;
constexpr int ZESKN_BATCH = 14;          // triangles a packet
constexpr int ZESKN_POINTS = 42;

extern uint8_t* skinbuffer_base;
extern int skinbuffer_size;
extern uint8_t* skinbuffer_free;
extern int skin_reuse_limit;             // reuse lookups a packet (100)
extern int32_t packet_unique[ZESKN_POINTS];

void InitSkinning(int size);
void ResetSkinning();
void CloseSkinning();
void ZePs2SetTempSkinBuffer(void* buffer, int size);  // null restores the saved buffer
void ZePs2CreateSkin(ZEGOBJ* obj);
void ZePs2CreateSkinNorm(ZEGOBJ* obj);
void ZePs2CreateSkinSmooth(ZEGOBJ* obj);
void ZePs2CreateSkinSmoothOld(ZEGOBJ* obj);
void ZePs2DestroySkin(ZEGOBJ* obj);
void ZeCvtSknInstFix(void* inst);
void ZeCvtSknInstUnFix(void* inst);
void ZeCvtSknInstRelocate(void* inst, int delta);
int PrevPktIdx(int vid);  // -1: not found or over the reuse limit

// ===================================================================
// Portal visibility (zeportal)
// ===================================================================
// Indoor scenes are convex rooms joined by portals. Once a frame the pass
// finds the camera's room, walks out through the portals narrowing the
// view frustum at each, and marks every instance seen through the chain.
// The frusta stay in the arena until the next ZePortalInit, so particles
// can ask whether a sphere in a room is visible.

struct ZEGSCNINSTANIM;

// A placed instance of a scene object, as the scene file stores it (used in
// place; the scene loader and runtime own it, see "Scenes" below).
struct ZEGSCNINST {
  ZEMTX mtx;               // world matrix
  int32_t object;          // index into the scene's object table
  uint32_t flags;          // ZEGSCNINST_* below
  EePtr<ZEGSCNINSTANIM> anim;  // instance animation record; null when none
  int16_t wind_amplitude;  // 0: no sway
  int16_t wind_speed;      // also the seed of the sway phase
};
static_assert(sizeof(ZEGSCNINST) == 80);
static_assert(offsetof(ZEGSCNINST, object) == 64 && offsetof(ZEGSCNINST, flags) == 68);
static_assert(offsetof(ZEGSCNINST, anim) == 72 && offsetof(ZEGSCNINST, wind_speed) == 78);

enum : uint32_t {
  ZEGSCNINST_SHOWN = 0x01,   // drawn and animated at all
  ZEGSCNINST_DRAWN = 0x02,   // drawn in the last frame (written by drawing)
  ZEGSCNINST_SEEN = 0x04,    // seen through the portals this frame (written by the pass)
  ZEGSCNINST_NOCULL = 0x08,  // drawn even when not seen
  ZEGSCNINST_ALWAYS = 0x20,  // seen without a test
};

struct ZEPORTAL {
  ZEVEC4 plane;           // plane of the polygon (normal, distance)
  EePtr<ZEVEC> vertices;  // corners, in order around the polygon
  int16_t nvertices;
  int16_t rooma, roomb;   // the two rooms it joins
  int8_t key;             // group key for ZePortalSetActive
  uint8_t pad;
  uint32_t flags;         // bit 0 active, bit 1 set by ZePortalResetActive; the pass ignores them
};
static_assert(sizeof(ZEPORTAL) == 32);
static_assert(offsetof(ZEPORTAL, vertices) == 16 && offsetof(ZEPORTAL, nvertices) == 20);
static_assert(offsetof(ZEPORTAL, rooma) == 22 && offsetof(ZEPORTAL, roomb) == 24);
static_assert(offsetof(ZEPORTAL, key) == 26 && offsetof(ZEPORTAL, flags) == 28);

// A convex room: a point is inside when its distance to every plane is 0
// or below (planes face outwards); a room without planes holds every point.
struct ZEROOM {
  EePtr<int16_t> instances;  // indices into the instance array
  EePtr<ZEVEC4> planes;
  EePtr<int16_t> portals;    // indices into the portal array
  int16_t ninstances;
  uint8_t nplanes;
  uint8_t nportals;
};
static_assert(sizeof(ZEROOM) == 16);
static_assert(offsetof(ZEROOM, portals) == 8 && offsetof(ZEROOM, ninstances) == 12);
static_assert(offsetof(ZEROOM, nplanes) == 14 && offsetof(ZEROOM, nportals) == 15);

// A view frustum of the pass. Up to 8 planes are packed as the columns of
// two matrices (plane k in column k mod 4 of matrix k / 4) so that one
// product gives four distances; unused columns hold the camera plane.
struct ZEFRUSTUM {
  ZEMTX packed[2];
  EePtr<ZEVEC4> planes;  // the whole plane list, world space, normals inwards
  ZEVEC rmin, rmax;      // extent in viewport clip space (x, y in -1..1)
  int16_t nplanes;
  int16_t room;          // room seen through it; -2 for the camera's own view
};
static_assert(sizeof(ZEFRUSTUM) == 160);
static_assert(offsetof(ZEFRUSTUM, planes) == 128 && offsetof(ZEFRUSTUM, rmin) == 132);
static_assert(offsetof(ZEFRUSTUM, nplanes) == 156 && offsetof(ZEFRUSTUM, room) == 158);

constexpr int ZEPORTAL_MAX_FRUSTRA = 16;  // list size; the 16th frustum of a pass is fatal
// The arena holds the 15 frusta a pass may have with 8 planes each.
constexpr int ZEPORTAL_ARENA_SIZE = 15 * (160 + 16 * 8);
static_assert(ZEPORTAL_ARENA_SIZE == 4320);
constexpr int ZEPORTAL_DEFAULT_DEPTH = 256;

// The portal set of a scene: the fields the pass reads and writes, in the
// scene record's order. The scene loader fills it; until then callers
// build it by hand.
struct ZEPORTALSET {
  int32_t ninst;
  EePtr<ZEGSCNINST> insts;
  int32_t nportals;
  EePtr<ZEPORTAL> portals;
  int32_t nrooms;
  EePtr<ZEROOM> rooms;
  EePtr<ZEFRUSTUM> frustra[ZEPORTAL_MAX_FRUSTRA];  // frusta of the current pass
  int32_t nfrustra;
  int32_t camroom;    // the camera's room in the last pass; -1 none
  int32_t maxdepth;   // recursion limit (256 after loading)
  int32_t nbounds;    // bounding spheres, one per instance
  int32_t nbounds2;   // bounding boxes (the same count); the pass runs only when non-zero
  EePtr<ZEVEC4> spheres;  // centre and radius per instance
  EePtr<ZEVEC4> boxes;    // minimum, maximum per instance
};
static_assert(sizeof(ZEPORTALSET) == 116);

void ZePortalInit();
int ZePortalEnabled(int flag);  // returns the previous switch
// 1 when the pass ran; 0 when the set has no portals, rooms or bounds, the
// switch is off (every instance is then marked seen) or the camera is in
// no room (none is).
int ZePortalVisibility(ZEPORTALSET* scene);
int ZePortalWhichRoom(const ZEPORTALSET* scene, const ZEVEC* point);  // -1 none
int ZeRoomContainsPoint(const ZEROOM* room, const ZEVEC* point);
int ZePortalClipTest(const ZEPORTALSET* scene, const ZEVEC* centre, int room, float radius);  // 0, 1 or 2
int ZePortalRoomClipTest(const ZEPORTALSET* scene, int room);
void ZePortalMaxDepth(ZEPORTALSET* scene, int depth);
void ZePortalResetActive(ZEPORTALSET* scene);
void ZePortalSetActive(ZEPORTALSET* scene, int key, int flag);
ZEFRUSTUM* ZeFrustrumAllocate(int n);
void ZeFrustrumEnd();
// 0 outside, 1 inside, 2 crossing: a sphere (centre, radius) against the
// 8 packed planes, and a box against n planes.
int ZePortalClipVU0(const ZEVEC4* sphere, const ZEMTX* packed);
int ZePortalBoxClipVU0(const ZEVEC4* planes, const ZEVEC4* min, const ZEVEC4* max, int n);

// ===================================================================
// Prelighting and fractal noise (zeprelit, zefnoise)
// ===================================================================
// Vertex colours computed ahead of time from light sets, surfaces and
// fractal noise, relit live while a designer edits one light. Colours are
// 0..255 until they are packed through the gamma table.

struct ZECOLOUR3 {
  float r, g, b;
};
static_assert(sizeof(ZECOLOUR3) == 12);

// Also the record of the scene files' light sets and of the "LIFE" block.
struct ZEPRELIGHTLIGHT {
  ZEVEC direction;   // towards the light (directional)
  float intensity;
  ZEVEC position;    // point lights
  int32_t type;      // ZEPRELIGHT_* below; others contribute nothing
  ZECOLOUR3 colour;
  uint8_t falloff;   // point lights: 1 linear, 2 quadratic, 3 cubic, other none
  uint8_t reserved[3];
};
static_assert(sizeof(ZEPRELIGHTLIGHT) == 48);
static_assert(offsetof(ZEPRELIGHTLIGHT, position) == 16 && offsetof(ZEPRELIGHTLIGHT, type) == 28);
static_assert(offsetof(ZEPRELIGHTLIGHT, colour) == 32 && offsetof(ZEPRELIGHTLIGHT, falloff) == 44);

enum { ZEPRELIGHT_DIRECTIONAL = 0, ZEPRELIGHT_POINT = 1, ZEPRELIGHT_AMBIENT = 3 };

struct ZEPRELIGHTSURFACE {
  ZECOLOUR3 ambient;       // multiplies the colour of ambient lights
  float diffuse;
  ZECOLOUR3 base;
  int32_t flags;           // ZEPRELIGHTSURF_* below
  ZECOLOUR3 specular;
  float specular_power;    // the exponent is power * 10
  ZECOLOUR3 ambient_add;   // added to every vertex's sum
  float cnoise_amount;
  ZECOLOUR3 low;           // blended in where the colour noise is negative
  float cnoise_freq;
  ZECOLOUR3 high;          // where it is positive
  float bnoise_amount;
  float bnoise_freq;
  int16_t cnoise_octaves;
  int16_t bnoise_octaves;
  uint8_t reserved[8];
};
static_assert(sizeof(ZEPRELIGHTSURFACE) == 112);
static_assert(offsetof(ZEPRELIGHTSURFACE, flags) == 28 && offsetof(ZEPRELIGHTSURFACE, specular_power) == 44);
static_assert(offsetof(ZEPRELIGHTSURFACE, cnoise_amount) == 60 && offsetof(ZEPRELIGHTSURFACE, cnoise_freq) == 76);
static_assert(offsetof(ZEPRELIGHTSURFACE, bnoise_freq) == 96 && offsetof(ZEPRELIGHTSURFACE, cnoise_octaves) == 100);

enum : int32_t {
  ZEPRELIGHTSURF_SPECULAR = 1,
  ZEPRELIGHTSURF_HALVE = 2,
  ZEPRELIGHTSURF_NOISE = 4,
};

struct ZEPRELIGHTVERTEX {
  ZEVEC position;
  ZECOLOUR32 colour;  // authored: red byte 0 ... alpha byte 3
  ZEVEC normal;
  int16_t surface;    // index into the surface table
  int16_t pad;
};
static_assert(sizeof(ZEPRELIGHTVERTEX) == 32);
static_assert(offsetof(ZEPRELIGHTVERTEX, normal) == 16 && offsetof(ZEPRELIGHTVERTEX, surface) == 28);

// A geometry object's chain of colour blocks: {colour array, vertex count
// n, n entries of stride vertex indices}, one after another until a null
// array or a zero count.
struct ZEPRELIGHTCOLOURBLOCK {
  EePtr<ZECOLOUR32> colours;
  int32_t count;
  // int32_t indices[count * stride] follow
};
static_assert(sizeof(ZEPRELIGHTCOLOURBLOCK) == 8);

constexpr int ZEPRELIGHT_MAX_SETS = 4;
constexpr int ZEPRELIGHT_MAX_LIGHTS = 1024;  // the light list of one instance
constexpr float ZEPRELIGHT_RANGE = 1000.0f;

// A scene's prelight data: what the scene record holds for the lighting.
struct ZEPRELIGHTDATA {
  int32_t nverts;
  EePtr<ZEPRELIGHTVERTEX> verts;
  int32_t nobjects;
  EePtr<int32_t> starts;       // object g owns vertices starts[g] .. starts[g + 1] - 1
  EePtr<EePtr<ZEPRELIGHTCOLOURBLOCK>> blocks;  // per object: first colour block, null when unlit
  int32_t nlights[ZEPRELIGHT_MAX_SETS];
  EePtr<ZEPRELIGHTLIGHT> lights[ZEPRELIGHT_MAX_SETS];
  int32_t nsets;
  int32_t nsurfaces;
  EePtr<ZEPRELIGHTSURFACE> surfaces;
  float gamma, brightness, ambient;
  int32_t ninst;
  EePtr<ZEGSCNINST> insts;
  EePtr<ZEVEC4> spheres;       // per instance: centre and radius
};

struct ZEPRELIGHTSCENE {
  EePtr<ZECOLOUR3> total;      // per vertex: all lights (all but the edited one while editing)
  EePtr<ZECOLOUR3> edit;       // per vertex: the edited light alone
  EePtr<ZEPRELIGHTDATA> scene;
  int32_t stride;              // index entries per vertex in the colour blocks
  int32_t light;               // edited light; -1 none
  int32_t set;
  float gamma, brightness, ambient;
};
static_assert(sizeof(ZEPRELIGHTSCENE) == 36);

extern const uint8_t zeprelit_permtab[256];
extern float zefnoise_value[256];     // value-noise lattice (FNoiseInit type 0)
extern ZEVEC zefnoise_gradient[256];  // gradient-noise lattice (type 1)

void ZePrelightSceneBegin(ZEPRELIGHTSCENE* state, ZEPRELIGHTDATA* scene, int stride, int set);
void ZePrelightSceneEnd(ZEPRELIGHTSCENE* state);
int ZePrelightSceneNumLights(const ZEPRELIGHTDATA* scene, int set);
ZEPRELIGHTLIGHT* ZePrelightSceneGetLight(const ZEPRELIGHTDATA* scene, int light, int set);
ZEPRELIGHTLIGHT* ZePrelightSceneBeginEditLight(ZEPRELIGHTSCENE* state, int light);
int ZePrelightSceneUpdateLight(ZEPRELIGHTSCENE* state);  // -1 when no light is edited
int ZePrelightSceneEndEditLight(ZEPRELIGHTSCENE* state);  // -1 when no light is edited
void ZePrelightSceneUpdate(ZEPRELIGHTSCENE* state);
void ZePrelightSceneSetGammaBrightAmbient(ZEPRELIGHTSCENE* state, float gamma, float brightness, float ambient);
void ZePrelightSceneGetGammaBrightAmbient(const ZEPRELIGHTSCENE* state, float* gamma, float* brightness,
                                          float* ambient);
void ZePrelightSceneSave(const ZEPRELIGHTSCENE* state, ZEFILE file);  // the "LIFE" block
void ZePrelightSceneToBuffer(const ZEPRELIGHTDATA* scene, int count, const ZEPRELIGHTLIGHT* lights, int capacity,
                             ZECOLOUR3* buffer, int stride, int set);
void ZePrelightSceneDoLighting(const ZEPRELIGHTSCENE* state, int withedit);
void prelight(ZECOLOUR3* out, const ZEPRELIGHTLIGHT* light, const ZEVEC* position, const ZEVEC* normal,
              const ZEMTX* matrix, const ZEPRELIGHTSURFACE* surface);
int lightVertex(int count, const ZEPRELIGHTLIGHT* const* lights, const ZEPRELIGHTVERTEX* vertex,
                const ZEMTX* matrix, const ZEPRELIGHTSURFACE* surface, ZECOLOUR3* out);
ZECOLOUR32 ZeColour3To32(const ZECOLOUR3* colour, int alpha, int shift);

// Fractal noise: type 0 value noise (Catmull-Rom through a lattice of
// values), type 1 gradient noise. Init returns 1 when it rebuilt the table.
int FNoiseInit(int type, int seed);  // seed 0: draw on from the generator's state
float FNoise(int type, const ZEVEC* point);
float CubeRoot(float x);

// ===================================================================
// Homogeneous triangle clipper (zeclip)
// ===================================================================
// Clips a triangle in clip space against the near plane and the four side
// planes (never the far one) on the main processor.

struct ZECLIPPOINT {
  ZEVEC4 attr[3];  // interpolated with the position's t (screen position, uv, colour...)
  ZEVEC4 pos;      // clip-space x, y, z, w
};
static_assert(sizeof(ZECLIPPOINT) == 64);
constexpr int ZECLIP_MAX_POINTS = 8;

// The clipped polygon's point count (0 when the triangle is rejected);
// its points are at ClipDrawPoints() until the next call.
int ClipDrawTriangle(const ZECLIPPOINT* p0, const ZECLIPPOINT* p1, const ZECLIPPOINT* p2);
const ZECLIPPOINT* ClipDrawPoints();

// ===================================================================
// Timing bars and screen capture (zetbar, zecapture)
// ===================================================================
// Debugging aids: a timing set drawn as bars with numbers; the displayed
// picture written as a 24-bit BMP through the gamma table; successive
// frames recorded as an uncompressed AVI. Files go through the file layer.

extern int tb_peak_reset;  // set: the next tbRender clears every slot's peak

// Draws every slot whose last value is not 0; a given set is reset slot by
// slot afterwards, null draws the default set without resetting it.
void tbRender(TBSET* set);

// both: both fields woven (2 x PS2_REZ_H lines); index < 0 picks the first
// free of "name.bmp", "name000.bmp", "name001.bmp" ...
void ZePs2VideoScreenDump(const char* name, int both, int index, float gamma, float brightness);

// Rows of a 24-bit BMP: 3 bytes a pixel, padded to a multiple of 4.
constexpr int ZeBmpRowBytes(int width) { return (width * 3 + 3) & ~3; }

constexpr int AVI_INDEX_ENTRIES = 72000;  // 288,000 bytes: one offset a frame
constexpr int AVI_MOVI_START = 2048;      // frame list position (the JUNK pads to it)
// 1 when the file was opened. Refused (0, with a debug message): a second
// recording, a frame smaller than the picture (PS2_REZ_W x 2 PS2_REZ_H) or
// a width that is not a multiple of 4 (the rows would need padding), a
// rate below 2, a scale below 1.
int ScreenDumpAviBegin(const char* name, int width, int height, int rate, int scale, float gamma,
                       float brightness);
// 1 when a field was taken; 0 with no recording open or at the frame
// limit. A failed write ends the recording (debug message, 0).
int ScreenDumpAviFrame();
void ScreenDumpAviEnd();

// RIFF chunks: an id and a 32-bit size filled in when the chunk is closed.
constexpr int RIFF_STACK = 32;
int StartChunk(ZEFILE file, const char* id, const char* type);  // the entry pushed; -1 refused when full
void StartChunkLength(ZEFILE file, const char* id, const char* type, int length);  // nothing pushed
int EndChunk(ZEFILE file);  // 1; 0 refused when nothing is open

// The frame's texture uploads in bytes (streams' level and palette
// packets); the swap keeps the peak and clears the total.
extern int zerndr_tex_transfer_total, zerndr_tex_transfer_peak;

// ===================================================================
// Object drawing (zerndrobj)
// ===================================================================
// Converted geometry drawn by DMA calls of its chains in the streams of its
// materials (one call a geometry and material pass), after a view test and
// the local matrix; skins copy their instance chains re-pointed at this
// draw's joint matrices; bursts draw many instances of one object under one
// call tag; particle groups and effect jobs feed the particle and effect
// programs (docs/vu1.md, "ptl" and "fx").

using ZEBURSTFN = void(ZERNDRSTREAM* stream, const ZEMTX* m, int word);

constexpr int max_burst_objs = 128;

// The burst open now (obj null: none).
struct ZERNDRBURST {
  ZEGOBJ* obj;
  ZEBURSTFN* callback;
  ZEMTX* mtx_base;      // instance matrices
  ZEMTX* mtx_write;
  int32_t* word_base;   // instance words: the local-matrix mode
  int32_t* word_write;
  int count;
  bool builtin;         // the buffers are the built-in ones (max_burst_objs)
};
extern ZERNDRBURST zerndr_burst;

// Material substitution (null: none): every geometry's material, or by the
// material's table-index byte (index 0 or a null entry keeps it).
extern ZEMTL* zerndr_forced_mtl;
extern EePtr<ZEMTL>* zerndr_forced_mtl_table;  // 256 entries
// The joint-matrix block of this draw's skin (stream memory); ref records of
// skin instances are re-pointed by adding it.
extern ZEMTX* zerndr_skinpalette;
// The start-up packet that clears the blend weights (no blend shapes).
extern uint32_t zerndr_skin_reset_packet[8];

// Debug: only geometries of this material; only the skin geometry of this
// index (-1 all); leading skin records left out; records copied for the
// material last drawn; the particle record used by every group; grass in
// mode 1; grass adds a start at 0x30c; particle types 4 and 5 use 0x310.
extern ZEMTL* geom_mtl_dbg;
extern int skinskipix;
extern int skindebug_skip_data_cnt;
extern int skindebug_packet_cnt;
extern void* testforcepart;
extern int testclipspeed;
extern int debuggrass;
extern int debugpart;

int ZeRndrGScnObj(ZEGOBJ* gobj, const ZEMTX* m);  // 0 culled, 1 inside, 2 clipped
int ZeRndrGScnObjStream(ZEGOBJ* gobj, const ZEMTX* m, ZERNDRSTREAM* stream);
int ZeRndrGobj(ZEGOBJ* gobj, const ZEMTX* m);  // with its linked objects: 0, 1 or 2 over all
int ZeRndrGobjStream(ZEGOBJ* gobj, const ZEMTX* m, ZERNDRSTREAM* stream);
// clip: the caller's view-test result (0 draws nothing); joints and
// jointMtx are not read; blend: a weight packet or null.
int ZeRndrGobjSkin(ZEGOBJ* skin, const ZEMTX* m, int joints, const ZEMTX* jointMtx, void* blend, int clip);

int ZeRndrBurstObjBegin(ZEGOBJ* gobj, ZEBURSTFN* callback);
int ZeRndrBurstObjBeginEx(ZEGOBJ* gobj, ZEBURSTFN* callback, ZEMTX* mtxBuffer, int32_t* wordBuffer);
int ZeRndrBurstObjAdd(const ZEMTX* m);      // the clip result; 0 (culled) adds nothing
int ZeRndrBurstObjAddNoClip(const ZEMTX* m);
int ZeRndrBurstObjAddOn(const ZEMTX* m);
void ZeRndrBurstObjEnd();
void ZeRndrBurstObjEndNoClip();
void ZeRndrBurstObjEndCnt(int n);
void ZeRndrBurstObjEndCntNoClip(int n);
void ZeRndrBurstGrass(void* chain, const ZEVEC* v, ZEANG angle, ZEANG step, float amplitude);

// A particle chunk (CreateDmaParticleSet): the packet's ret tag and GIF tag,
// 32 particles of 32 bytes, MSCNT. A glass chunk holds 12.
struct DebrisParticle {
  float x, y, z;      // in the effect's frame
  float birth;        // seconds on the particle clock
  float vx, vy, vz;   // per second
  float rate;         // envelope steps a second (64 / life)
};
static_assert(sizeof(DebrisParticle) == 32);
constexpr int ZEPTL_CHUNK_BYTES = 1072, ZEPTL_GLASS_BYTES = 432, ZEPTL_TYPE_BYTES = 2176;

// The per-type renderer block (CreateDmaPartEffectList): the group header
// (words 7-10 written by each group) and the type block uploaded to VU1
// 0x3b-0xbf, then the start code.
struct DebrisDmaTypeInfo {
  uint32_t header_tag[4];   // ret; FLUSH, UNPACK 2 -> 0x3b
  uint32_t header[8];       // -> 0x3b, 0x3c: word 7 time, 8 b / 16384, 9 c / 4096, 10 cut-off
  uint32_t block_tag[4];    // ret; FLUSH, UNPACK 131 -> 0x3d
  float gravity;            // 0x3d
  uint32_t spare[3];
  int32_t corners[8];       // 0x3e-0x3f: (umin, vmin), (umax, vmin), (umin, vmax), (umax, vmax), 16 x texels
  struct Step {
    float corner[6];        // corner offsets; colour R, G, B, A in the low bytes of the first four
    uint32_t spare[2];
  } steps[64];              // 0x40-0xbf, one a sixty-fourth of the life
  uint32_t start[4];        // MSCAL of the type's entry (word 540), NOPs
};
static_assert(sizeof(DebrisDmaTypeInfo) == ZEPTL_TYPE_BYTES);
static_assert(offsetof(DebrisDmaTypeInfo, gravity) == 64 && offsetof(DebrisDmaTypeInfo, steps) == 112 &&
              offsetof(DebrisDmaTypeInfo, start) == 540 * 4);

void ZeRndrParticleGroup(void* chain, void* record, ZEMTL* mtl, const ZEMTX* m, int type, float a, float b, float c,
                         float d);
void PartDebugHeader(void* record, int type);
void* CreateDmaParticleSet(void* buffer, int* size);
void* CreateDmaParticleSetGlass(void* buffer, int* size);
void* CreateDmaPartEffectList(void* buffer, int* size);
void LinkDmaParticalSets(void** packets, int n);

// Effect jobs: sprite-set records (n entries of the arrays are read).
struct ZEFXSPRITESET {
  int32_t word0, word1, n;
  float f3, f4, f5, f6;     // words 3-6
  int32_t base[16];         // depth of each sprite
  uint32_t colour[16];      // bytes R, G, B, A
  float a[12][16];          // A1 .. A12
};
static_assert(sizeof(ZEFXSPRITESET) == 924);
struct ZEFXSPRITE2SET {
  int32_t word0, word1, n;
  float f3, f4, f5, f6;
  int32_t base[8];
  uint32_t colour[8];
  float a[24][8];           // A0 .. A23
};
static_assert(sizeof(ZEFXSPRITE2SET) == 860);

void ZeRndrFxCode(int code, const void* data, void* extra, ZEMTL* mtl);
void* ZeRndrFxSpriteSet(int code, const ZEFXSPRITESET* set);
void* ZeRndrFxSprite2Set(int code, const ZEFXSPRITE2SET* set);
void* ZeRndrFxBlueAndGreenData(int code, const void* data);
void* ZeRndrFxBlueOrGreenData(int code, const void* data);

void* ZeRndrCreateBlendShapeDeformerWeightsArray(int n);

// ===================================================================
// Light unit: effect surfaces, spot glows and lights (zelgtfx, zelgtspot)
// ===================================================================
// Screen-space light effects drawn after the scene. The unit works on
// reduced copies 256 pixels wide of the frame and depth buffer, in surfaces
// that alias the same video memory in several GS formats: one byte of a
// 24-bit depth read as an 8-bit index, mapped through a palette to colour
// and alpha. ZeLgtSurf[k] samples surface ZeLgtHSurf[k] (0 and 19: none).

constexpr int ZELGT_SURFACES = 27;
constexpr int ZELGT_LIGHT_MATS = 24;  // 0-15 8-bit views W x H, 16-23 W x 4H
constexpr int ZELGT_SPOTS = 16;
constexpr int ZELGT_SPOTS_DRAWN = 10;  // glows drawn a frame
constexpr int ZELGT_LIGHTS = 8;
constexpr uint32_t ZELGT_NO_FADE = 0x80808080u;

extern ZETEXID ZeLgtHSurf[ZELGT_SURFACES];
extern ZEMTL* ZeLgtSurf[ZELGT_SURFACES];
extern ZETEXID ZeLgtHLightMat[ZELGT_LIGHT_MATS];
extern ZEMTL* ZeLgtLightMat[ZELGT_LIGHT_MATS];
extern ZETEXID ZeLgtHFogMat[3];
extern ZEMTL* ZeLgtFogMat[3];  // made, not drawn
extern ZEMTL *ZeLightZMat, *ZeLightZBufMat, *ZeLgtBackBuff, *ZeLgtBackAlphaBuff, *ZeLightAddMat, *ZeLightAddMat2,
    *ZeLgtGreyMat, *ZeLgtGreyNZMat;

// One spot glow (ZeLightSpots).
struct ZELGTSPOT {
  ZEVEC pos;               // world position, copied from the key at each call
  float size;              // glow radius
  uint32_t colour;         // R bits 0-7 ... A bits 24-31; alpha is the strength
  int32_t mode;            // 0 brightening, 1 whole-screen, 2 additive
  float scale;             // horizontal stretch of the ellipse (1.0)
  uint16_t intensity;      // 0..0x4000
  uint16_t fadeout;        // subtracted each frame the glow is not refreshed
  uint16_t last_intensity;
  uint16_t last_active;
  uint8_t base_alpha;      // always 0
  uint8_t spare;
  uint8_t active;
  uint8_t refreshed;
  EePtr<ZEVEC> key;        // the caller's position pointer
};
static_assert(sizeof(ZELGTSPOT) == 44);
extern ZELGTSPOT ZeLightSpots[ZELGT_SPOTS];
extern uint32_t ZeLgtFadeSpot, ZeLgtOldFadeSpot;
extern uint16_t ZeLgtSeed;  // jitter seed, 12345 at start
extern uint32_t ZeLgtCount111, ZeLgtCount371;  // the unit's two frame counters
// Highest set bit of b (0 for 0).
constexpr std::array<uint8_t, 256> ZeRndrTopBitTable() {
  std::array<uint8_t, 256> t{};
  for (int b = 2; b < 256; b++) t[size_t(b)] = uint8_t(t[size_t(b / 2)] + 1);
  return t;
}
inline constexpr std::array<uint8_t, 256> ZeRndrTopBit = ZeRndrTopBitTable();

// A directional light of the pool.
struct ZELIGHT {
  float colour[3];
  ZEMTX mtx;               // orientation: the light shines along -z of it
  int32_t index;           // 0-7
  int32_t inuse;
  int32_t spare[2];
};
extern ZELIGHT ZeLightPool[ZELGT_LIGHTS];

// The static packets ZeLightInit builds (DMA ret packets of REGLIST sprites).
extern uint32_t *ZeLgtFxSetCall, *ZeLgtFxFogCop, *ZeLgtFxFogClr;
extern uint32_t* ZeLgtBuff;  // write position in the unit's packet memory

void ZeLightMatInit();
void ZeLightInit();
void ZeLightClose();  // does nothing
void ZeLightReset();          // haze and fog state (empty until they exist)
void ZeLgtCreateFogMesh();
void ZeLightFxSetup();
void ZeLightProcessSpot(int paused);
void ZeLightAddSpot(ZEVEC* pos, uint32_t colour, int mode, int fadein, int fadeout, float size);
void ZeLightSpotFadeSet(uint32_t colour);
void ZeLgtCheckSpots();
int ZeLgtRand();  // the seed after its step

ZELIGHT* ZeLightCreate();  // null when all 8 are in use
void ZeLightDestroy(ZELIGHT* light);
ZELIGHT* ZeLightGetLight(int i);
void ZeLightUpdate(ZELIGHT* light);

// GS packet operations: into rndrstream_3d or the given stream.
void ZeLigthSetModeMask(ZETEXID tex, int zpsm, uint32_t framemask, int zmask);
void ZeLigthSetModeMaskRS(ZERNDRSTREAM* stream, ZETEXID tex, int zpsm, uint32_t framemask, int zmask);
void ZeLgtRectUV3di(float s0, float t0, int x, int y, int w, int h, uint32_t colour, uint32_t z, float s1, float t1);
uint32_t* ZeLgtRect3di(uint32_t* p, int x, int y, int w, int h, uint32_t colour);
uint32_t* ZeLgtSetSpriteMode(uint32_t* p, uint32_t colour);
uint32_t* ZeLightSprDmaOpen(uint32_t tagbits);
uint32_t* ZeLightQuadDmaOpen(uint32_t tagbits);
void ZeLightSprMake(float s0, float t0, int x, int y, int w, int h, uint32_t colour, uint32_t z, float s1, float t1);
void ZeLightQuadMake(float s0, float t0, int x, int y, int w, int h, uint32_t colour, uint32_t z, float s1, float t1);
void ZeLightSprDmaClose();

// The glow's arithmetic, exposed for its tests. The depth window of a glow
// from back depth zb to front depth zf: the window holds base to
// base + (255 << k). A lower depth below 0 counts as 0.
struct ZELGTWINDOW {
  int base, k;
};
ZELGTWINDOW ZeLgtDepthWindow(int zb, int zf);
// Entry j stands for depth base + ((255 - j) << k); a and b the projection's
// depth terms (view distance d = a / (Z - b)); back the glow's back
// distance; strength A' (0..255).
void ZeLgtGlowPalette(uint32_t* pal, ZELGTWINDOW w, float a, float b, float back, float size, uint32_t rgb,
                      int strength);

// ===================================================================
// Shadows (zeshadow)
// ===================================================================
// Drawn objects leave their shadow shapes in the store with the shadow
// light of the moment; the shadow pass extrudes them by VU1 (fx2, fx3:
// docs/vu1.md) into surface 2 of the light unit, counting in its colour and
// marking each group's alpha bits, and darkens the frame through it inside
// the shadow box.

struct ZESPLINE;  // a scene's named point list (Scenes, below)
struct ZEGSCENE;

// Shadow shapes (the hierarchical objects' data, sent to VU1 unchanged).
struct ZESHADELLIPSE {
  float centre[3], axis1[3], axis2[3], axis3[3];  // bit 1 of word 1: hidden
};
struct ZESHADCYL {
  uint32_t words[16];  // centre, axes as an ellipsoid; bit 0 of word 0: capped; bit 1 of word 1: hidden
};
struct ZESHADPOLY {
  float plane[3];
  int32_t count;       // vertices (3-14)
};
struct ZESHADVTX {
  float x, y, z;
  int32_t w;           // the first vertex's: the polygon count
};
struct ZESHADMESH {
  EePtr<ZESHADPOLY> polygons;
  EePtr<ZESHADVTX> vertices;  // each polygon's vertices in turn
};
static_assert(sizeof(ZESHADELLIPSE) == 48 && sizeof(ZESHADCYL) == 64 && sizeof(ZESHADPOLY) == 16 &&
              sizeof(ZESHADVTX) == 16 && sizeof(ZESHADMESH) == 8);

constexpr int ZESHAD_STORE = 256;
struct ZESHADSTORE {
  ZEMTX matrix;                     // world matrix of the shape set
  EePtr<ZESHADELLIPSE> ellipsoids;
  EePtr<ZESHADCYL> cylinders;
  EePtr<ZESHADMESH> mesh;
  ZEVEC light;                      // x >= 65536: overhead, y the floor height
  int32_t alpha;                    // 0-255
  float fade, fadefar;
  uint8_t nellipsoids, ncylinders, meshflag, group;
};
static_assert(sizeof(ZESHADSTORE) == 112 && offsetof(ZESHADSTORE, light) == 76 && offsetof(ZESHADSTORE, group) == 103);
extern ZESHADSTORE shadstore[ZESHAD_STORE];
extern int shadstorecnt;
extern uint32_t shadidcounter;
extern ZEVEC curlight;
extern uint32_t curlightcol;
extern float curlightfade, curlightfadefar;
extern ZEVEC lightfan[9];
extern uint32_t *ZRCylCapData, *ZRCylData, *ZRFanData;
extern ZESPLINE* ZeRndrShadMasks[32];
extern int ZeRndrShadMaskCount;
extern ZEVEC ZeRndrShadBox[2];  // min, max: x and y in 1/16 pixel of the frame

struct ZESHADQUAD {
  ZEVEC pos;
  float size;                     // half size
  uint16_t alpha, xang, yang, zang;
};
static_assert(sizeof(ZESHADQUAD) == 24);
constexpr int ZESHAD_QUADS = 128;
extern ZESHADQUAD ZeRndrShadPolDat[ZESHAD_QUADS];
extern int ZeRndrShadowCnt;

// Distortion grids: 33 rows of 21 {u phase, v phase, u speed, v speed}.
constexpr int ZEGRID_ROWS = 33, ZEGRID_COLS = 21;
extern uint16_t watertab[ZEGRID_ROWS * ZEGRID_COLS][4];
extern uint16_t Hazetab[ZEGRID_ROWS * ZEGRID_COLS][4];

extern int zerndr_shadowson, testswitch, testdebug;
extern uint32_t* zerndr_lightfan;
extern int ZeRndrShadFanBuff;

void ZeRndrShadowStartUp();  // ZeRndrInitEx: the templates, the default light, an empty quad queue
void ZeRndrShadowInit(const uint8_t* randombytes);
uint32_t* ZeRndrCylCapMakeData();
uint32_t* ZeRndrCylMakeData();
ZESHADSTORE* ZeRndrAddShadowCylinder(ZESHADCYL* records, const ZEMTX* m, int count);
ZESHADSTORE* ZeRndrAddShadowEllips(ZESHADELLIPSE* records, const ZEMTX* m, int count);
ZESHADSTORE* ZeRndrAddShadowMesh(ZESHADMESH* mesh, const ZEMTX* m, int flag);
void ZeRndrShadowDirCol(const ZEVEC* dir, uint32_t colour, float fade, float fadefar);
void ZeRndrShadowOnOff(int on);
void ZeRndrSplineSearch(ZEGSCENE* scene);  // adds the scene's "stencil" splines
// Takes a removed scene's splines out of the list (its buffer may go).
void ZeRndrSplineForget(const ZEGSCENE* scene);
void ZeRndrShadowStencil(int paused, const ZEVEC* player);
void ZeRndrShadow(int paused);
void ZeRndrShadowStack();
void ZeRndrShadowCylinderCap(float height, const ZEMTX* m, ZESHADCYL* records, int count, const ZEVEC* light);
void ZeRndrShadowEllipse(float height, const ZEMTX* m, ZESHADELLIPSE* records, int count, const ZEVEC* light);
void ZeRndrShadowPols(float height, const ZEMTX* m, ZESHADPOLY* polygons, ZESHADVTX* vertices, const ZEVEC* light);
uint32_t* ZeRndrShadowLightFanAddr(ZEVEC* light, uint32_t* addr);
uint32_t* ZeRndrShadowLightFan();
void ZeRndrAddShadow(ZEVEC* pos, int alpha, int xang, int yang, int zang, float size);
void ZeRndrStreamQuadShad(ZERNDRSTREAM* stream);
void ZeRndrCalcRandEllipsePos(ZEVEC4* out, const ZEMTX* m, const ZESHADELLIPSE* e);
void ZeRndrCalcRandCylinderPos(ZEVEC4* out, const ZEMTX* m, const ZESHADCYL* c);
void DeRotateVectorAngles(const ZEVEC* v, float* xangle, float* yangle);
void RotateCyl(float xangle, float yangle, ZEVEC* v);
void ZeRndrAnglesZX(ZEVEC* v, ZEVEC* angles);
float GlobalCam3DNClip(const ZEVEC* a, const ZEVEC* b, const ZEVEC* c);
// The near-camera bend of a group's light (directional mode): light' and
// alpha for a group at squared distance dist2 from the camera whose Z axis
// is camz; 0 when the group is off.
int ZeRndrShadowBend(ZEVEC* light, int* alpha, float dist2, const ZEVEC* camz);

// ===================================================================
// Light unit: haze and fog (zefog)
// ===================================================================
// Depth fog: each pixel's depth becomes a palette index (mode N: inside a
// depth window found as for spot glows; mode G: bits 8-15 of the depth), the
// palette holds the fog by depth, and the result is blended over the frame,
// optionally shaded by the fog dome (program `fog`) and blurred. Heat haze
// redraws the frame through the wobbling Hazetab grid.

struct ZELGTHAZEPOLY {
  ZEVEC pos;
  float width, height;
};
constexpr int ZELGT_HAZE_POLYS = 32;
extern uint32_t HazeColour;  // alpha on: full-screen haze
extern float Hazeampx, Hazeampy;
extern ZELGTHAZEPOLY ZeLgtPolyHazeData[ZELGT_HAZE_POLYS];
extern int ZeLightHazePolyCnt;
extern ZEMTL* ZeLightHazePolymtl;
extern float ZeLightHazePolyus[4], ZeLightHazePolyvs[4];
extern float ZeRndrFogNear, ZeRndrFogFar;
extern uint32_t ZeRndrFogCol, ZeRndrFogBlur, ZeRndrFogClear;
extern int ZeLgtFogDrawModeN;
extern const uint32_t* ZeLgtFogPal;  // 256 colours, this frame only
extern int ZeLgtShadeFog;            // the fog dome, this frame only
extern int fogshade_enable;
extern const uint32_t* ZeLgtFogColTab;  // two tables of 10 colours
extern float ZeLgtFogAxis[3][4];
extern ZEVEC4 ZeLgtTAxis;
extern const ZEMTX* ZeLgtFogMtx;
extern float ZeLgtTime;
extern uint16_t ZeLgtUpTime;
extern int tflip, testfogspeed;
extern uint32_t* ZeLgtFogMesh;
constexpr int ZELGT_FOG_MESH_BYTES = 16384;

void ZeLightFogDraw(int paused);
void ZeLightFog(float near, float far, uint32_t colour, int blur, uint32_t hazecolour);
void ZeLightFogG(float near, float far, uint32_t colour, int blur, uint32_t hazecolour);
void ZeLightFogPal(const uint32_t* table);
void ZeLightFogClear(uint32_t value);
void ZeLgtFogShadeAxis(const float* axis, const uint32_t* tables, const float* time, const ZEMTX* mtx);
void ZeLightAddHazePoly(const ZEVEC* pos, float width, float height);
void ZeLigthSetPolyHazeMat(ZEMTL* mtl, const float* u, const float* v);
uint32_t CrossFadeColour(float t, uint32_t a, uint32_t b);
uint32_t ZeLgtCalcFogCol(const ZEVEC* dir);
void ZeLgtShowMesh();
void ZeLightHaze(uint32_t depthlimit, int paused);
void ZeLightPolyHaze(int paused);
void ZeLgtColFogDraw();
// The fog's depth values of the near and far distances (nearer is larger).
void ZeLgtFogDepths(float near, float far, int* zN, int* zF);
// The fog palette: mode G (entry j stands for (j << 8) + 0xff above zF's
// 64K block) or N (base + ((255 - j) << k)), from the fog colour, table,
// shade flag and tflip of the moment.
void ZeLgtFogPalette(uint32_t* pal, int modeG, ZELGTWINDOW w, int zN, int zF);

// ===================================================================
// Light unit: lasers, flares and the effects pass (zelaser)
// ===================================================================
// Queued each frame by game code and drawn once by ZeRndrFx, which then runs
// the shadow, glow, fog and water passes. All share the effects material
// and its texture rectangle (ZeLgtSetArcMat).

struct ZELGTLASER {
  ZEVEC start, end;
  float width;
  float texlen;       // world length of one texture repeat
  float jitter;
  float startratio;   // start width / width
  float taperlen;
  uint8_t kind;
  uint8_t fade;       // alpha falls to 0 toward the end
  uint8_t spare[2];
  uint32_t colour;
  int32_t seed;       // 16-bit; 0: none yet
};
struct ZELGTARCLASER {
  ZEVEC start, end, bulge;
  float width, texlen, jitter, height;
  uint8_t kind;
  uint8_t spare[3];
  uint32_t colour;
  int32_t seed;
};
struct ZELGTLASERSPR {
  ZEVEC pos;
  float width, halfheight;
  uint32_t colour, current;
  int16_t life, initlife, angle, row;  // row: frame x 16 + 0x80
};
struct ZELGTFLARE {
  ZEVEC pos;
  float width, width2, height, height2;
  uint32_t glowcolour;
  uint32_t colour;    // 0: glow only
  int32_t depthid;    // -1 projected; 0..0x7ffffff the depth; above: a full-screen glow at the low 24 bits
};
static_assert(sizeof(ZELGTLASER) == 56 && sizeof(ZELGTARCLASER) == 64 && sizeof(ZELGTLASERSPR) == 36 &&
              sizeof(ZELGTFLARE) == 40);
constexpr int ZELGT_LASERS = 64, ZELGT_ARCLASERS = 16, ZELGT_LASERSPRS = 64, ZELGT_FLARES = 16;
extern ZELGTLASER ZeLgtLaserData[ZELGT_LASERS];
extern int ZeLgtLaserCnt, ZeLgtLaserOldCnt;
extern ZELGTARCLASER ZeLgtArcLaserData[ZELGT_ARCLASERS];
extern int ZeLgtArcLaserCnt, ZeLgtArcLaserOldCnt;
extern ZELGTLASERSPR ZeLgtLaserSprData[ZELGT_LASERSPRS];
extern ZELGTFLARE ZeLgtFlareData[ZELGT_FLARES];
extern int ZeLgtFlareCnt, ZeLgtFlareOldCnt;
extern ZEMTL* ZeLgtArcMtl;
extern float ZeLgtArcU0, ZeLgtArcV0, ZeLgtArcU1, ZeLgtArcV1;
extern int ZeLgtArcLaserFrame;
extern int testflare, testflarefulldepth, testflarefullx, testflarefullytop, testflarefully;

void ZeLgtSetArcMat(ZEMTL* mtl, float left, float top, float right, float bottom);
void ZeLgtLaser(int kind, const ZEVEC* start, const ZEVEC* vector, uint32_t colour, float width, float texlen,
                float jitter, float startwidth, float taperlen);
void ZeLgtLaserFade(int kind, const ZEVEC* start, const ZEVEC* vector, uint32_t colour, float width, float texlen,
                    float jitter, float startwidth, float taperlen);
void ZeLgtArcLaser(int kind, const ZEVEC* start, const ZEVEC* end, const ZEVEC* bulge, float width, float texlen,
                   float jitter, float height, uint32_t colour);
void ZeLgtLaserSprite(const ZEVEC* pos, int angle, uint32_t colour, int life, float width, float height, int frame);
void ZeLgtFlareEx(const ZEVEC* pos, uint32_t glowcolour, uint32_t colour, int id, float size, float size2);
void ZeLgtFlare(const ZEVEC* pos, uint32_t glowcolour, uint32_t colour, float size, float size2);
void ZeLgtFlareXY(const ZEVEC* pos, uint32_t glowcolour, uint32_t colour, float width, float height, float width2,
                  float height2);
void ZeRndrFx(int paused, const ZEVEC* player);
void ZeLgtFlareDraw(int paused);
void ZeLgtFlareDrawFull(int paused);
void ZeLgtLaserDraw(int paused);
void ZeLgtLaserSprDraw(int paused);
void ZeLgtArcLaserDraw(int paused);
int ZeLgtLaserStep(int seed);  // (seed x 9421 + 1) AND 0xffff
// The pieces a beam of world length len is cut into (texture length
// texlen): their fraction of the beam (1 for one piece).
float ZeLgtLaserPiece(float texlen, float len);

// ===================================================================
// Water surface, ripples, trails and footprints (zewater)
// ===================================================================
// The water-level pass (camera at or below the level: the frame redrawn
// through a wobbling 10 x 14 grid into surface 9 and laid back tinted), and
// small queued effects drawn by the effect program's quad entry.

extern float ZeRndrWaterLevel, OldZeRndrWaterLevel, ZeRndrHackWaterLevel;  // -10000: no water
extern ZECOLOUR32 ZeRndrWaterTint;
extern float waveampx, waveampy;

struct ZERNDRWATERRIP {
  ZEVEC pos;
  float startradius, endradius, radius;
  ZECOLOUR32 colour, current;
  int16_t remaining;  // 0: free
  int16_t duration;
};
static_assert(sizeof(ZERNDRWATERRIP) == 36);
constexpr int ZERNDR_RIPPLES = 32;
extern ZERNDRWATERRIP ZeRndrWaterRipDat[ZERNDR_RIPPLES];
extern int ZeRndrWaterRipCnt;

struct ZERNDRSHADEDPOL {
  ZEVEC corners[4];
  ZECOLOUR32 colourA, colourB;  // first two corners, last two
};
constexpr int ZERNDR_SHADED = 32;
extern ZERNDRSHADEDPOL ShadedPol[ZERNDR_SHADED];
extern int ZeRndrShadedCnt, ZeRndrOldShadedCnt;

struct ZERNDRFOOT {
  ZEVEC corners[4];
  int16_t alpha;
  int8_t life;    // 16 fresh, 15..1 fading, 0 or less free
  int8_t image;   // first of its four texture coordinates
  ZECOLOUR32 colour;
};
static_assert(sizeof(ZERNDRFOOT) == 56);
constexpr int ZERNDR_FOOTPRINTS = 64;
extern ZERNDRFOOT ZeRndrFootData[ZERNDR_FOOTPRINTS];
extern int ZeRndrFootFree;
extern ZECOLOUR32 testfootcol;

// A trail ring entry: A.x of -10000 marks a gap.
struct ZERNDRTRAIL {
  ZEVEC a, b;
  ZECOLOUR32 colour;
  int32_t spare;
};
static_assert(sizeof(ZERNDRTRAIL) == 32);

void ZeRndrWaterStartUp();  // ZeRndrInitEx: every ripple free
void ZeRndrWaterWorld();    // ZeRndrInitWorld: every footprint free
void ZeRndrWaterLevelTint(float level, ZECOLOUR32 tint);
void ZeRndrWater(int paused);
// The water line's screen rows (GS units) for the camera and level: 0 when
// the pass draws nothing.
int ZeRndrWaterLine(float level, float* y1, float* y2);
void ZeRndrAddWaterRipple(ZEVEC* pos, int frames, ZECOLOUR32 colour, float startradius, float endradius);
void ZeRndrWaterRippleUpdate(int frames);
void ZeRndrWaterRip(ZEMTL* mtl);
void ZeRndrStreamQuadWRip(ZERNDRSTREAM* stream, const int* indices);
void ZeRndrAddShadedPol(const ZEVEC* corners, ZECOLOUR32 colourA, ZECOLOUR32 colourB);
void ZeRndrDrawShadedPols(int repeat);
void ZeRndrStreamShadedData(ZERNDRSTREAM* stream);
void ZeRndrAddFootPrint(int yaw, int alpha, const ZEVEC* pos, const ZEVEC* normal, int image, ZECOLOUR32 colour,
                        float halfwidth, float halflength);
void ZeRndrFootPrints(ZEMTL* mtl, const float* utable, const float* vtable);
void ZeRndrTrail(int head, const ZERNDRTRAIL* ring, int size);
void ZeRndrSphere(float radius, const ZEVEC* centre, ZECOLOUR32 colour, float yscale);
// The quad packets of the effect program's quad entry: per vertex a
// position, its flag (0x8000: closes no triangle), u and v in 1/16 texel,
// and its colour.
struct ZERNDRQUADVTX {
  ZEVEC pos;
  uint32_t flag;
  int32_t u, v;
  ZECOLOUR32 colour;
};
void ZeRndrStreamQuads(ZERNDRSTREAM* stream, const ZERNDRQUADVTX* v, int n, uint32_t vif0);

// ===================================================================
// Animation data and curves (zeanim)
// ===================================================================
// Time is a float frame counted from 1, cut into 32-frame chunks: chunk c
// covers frames [32c + 1, 32c + 33), slot k of a chunk is its frame
// 32c + 1 + k. A chunk's key mask holds one bit per slot (bit k = slot k,
// read as a little-endian word); the keys around a time are found by
// counting mask bits. Every chunk has a key at slot 0, and every frame that
// can be evaluated has a following key. Rotations are radians; every
// matrix built from animation data is mirrored in z.

constexpr float ZEANIM_FLTMAX = 3.40282347e38f;  // a slot's constant when a curve drives it
constexpr int ZEANIM_SLOTS = 9;                  // tx ty tz, rx ry rz, sx sy sz

// Node flags (old curve sets and the new format's node-flag bytes).
enum : int {
  ZEANIMNODE_ROT = 0x01,         // slots 3-5 are used
  ZEANIMNODE_TRANS = 0x02,       // translation is animated
  ZEANIMNODE_SCALE = 0x08,       // slots 6-8 are used
  ZEANIMNODE_CANCELSCALE = 0x10, // post-scaled by the reciprocal of the parent's scale
  ZEANIMNODE_ORIENT = 0x20,      // rotation times the joint's orientation
  ZEANIMNODE_ROOTSCALE = 0x40,   // new format: a root hands scale 1 to its children
};

// New-format key types.
enum : int {
  ZEANIMKEYTYPE_NONE = 0,     // the word is the constant
  ZEANIMKEYTYPE_HERMITE = 1,  // ZEANIMKEY2
  ZEANIMKEYTYPE_PACKED = 2,   // float tangent scale, float value scale, then ZEANIMKEYPACKED
  ZEANIMKEYTYPE_STEP = 3,     // ZEANIMKEYSTEP
  ZEANIMKEYTYPE_BOOLEAN = 4,  // no keys: the mask word holds the values
};

struct ZEANIMTIME {
  float frame;     // clamped frame
  float tchunk;    // frame - 32 * chunk, in [1, 33)
  int chunk;
  uint32_t keymask;  // bits 0 to (slot mod 8) set
  uint32_t maskbyte; // slot / 8
  int slot;          // 0..31
};
static_assert(sizeof(ZEANIMTIME) == 24);

// Old format.
struct ZEANIMKEY {
  float time;     // absolute frame
  float invint;   // 1 / (next key's time - this key's time)
  float tangent;  // value change per frame
  float value;
};
static_assert(sizeof(ZEANIMKEY) == 16);

struct ZEANIMCURVE {
  uint8_t mask[4];        // slots 8b..8b+7 in byte b
  EePtr<ZEANIMKEY> keys;
  int nkeys;
  int flags;              // bit 0: step (hold the previous key's value)
};
static_assert(sizeof(ZEANIMCURVE) == 16 && offsetof(ZEANIMCURVE, keys) == 4 && offsetof(ZEANIMCURVE, flags) == 12);

struct ZEANIMCURVESET {
  int flags;                          // ZEANIMNODE_*
  EePtr<float> consts;                // one per slot; FLT_MAX where a curve drives the slot
  EePtr<EePtr<ZEANIMCURVE>> curves;   // one per slot, null where constant
  int8_t nslots;                      // 9 for transforms; weight animations: the weights
  int8_t pad[3];
};
static_assert(sizeof(ZEANIMCURVESET) == 16 && offsetof(ZEANIMCURVESET, nslots) == 12);

struct ZEANIMCHUNK {
  int nnodes;
  int nlinked;                          // curves linked by the stream reader
  EePtr<EePtr<ZEANIMCURVESET>> sets;    // nnodes entries, null: no set
  EePtr<ZEANIMKEY> keyblock;            // after a stream read: the chunk's keys, else null
  EePtr<ZEANIMCURVE> curveblock;        // after a stream read: the chunk's curves, else null
};
static_assert(sizeof(ZEANIMCHUNK) == 20 && offsetof(ZEANIMCHUNK, sets) == 8 && offsetof(ZEANIMCHUNK, curveblock) == 16);

struct ZEANIMDATA {
  float end;                           // end frame
  EePtr<char> names;                   // node-name bytes or null, carried unchanged
  int nchunks;
  EePtr<EePtr<ZEANIMCHUNK>> chunks;    // behind the record when made by ZeAnimDataCreate
};
static_assert(sizeof(ZEANIMDATA) == 16 && offsetof(ZEANIMDATA, chunks) == 12);

// New format (one relocatable image).
struct ZEANIMDATA2 {
  float end;
  int16_t nnodes;
  int16_t ncurves;                // words per node: 9, or the weights of a layer
  int16_t nchunks;
  int16_t pad;
  EePtr<uint32_t> words;          // nnodes * ncurves: a constant float or a ZEANIMCURVE2 pointer
  EePtr<int8_t> keytypes;         // one per word
  EePtr<uint8_t> nodeflags;       // one per node
};
static_assert(sizeof(ZEANIMDATA2) == 24 && offsetof(ZEANIMDATA2, words) == 12 && offsetof(ZEANIMDATA2, nodeflags) == 20);

struct ZEANIMCURVE2 {
  EePtr<uint32_t> masks;      // one key mask per chunk
  EePtr<uint16_t> firstkeys;  // per chunk: index of its first key in the key data
  EePtr<void> keydata;
};
static_assert(sizeof(ZEANIMCURVE2) == 12);

struct ZEANIMKEY2 {  // Hermite: value before tangent
  float time, invint, value, tangent;
};
static_assert(sizeof(ZEANIMKEY2) == 16);
struct ZEANIMKEYPACKED {
  int16_t value;    // times the value scale
  int8_t tangent;   // times the tangent scale
  uint8_t frame;    // the key's frame - 1
};
static_assert(sizeof(ZEANIMKEYPACKED) == 4);
struct ZEANIMKEYSTEP {
  float value;
  int unused;
};
static_assert(sizeof(ZEANIMKEYSTEP) == 8);

// ".ani" image header (versions 1 and 2), then the records wherever the
// saving tool put them; pointers are addresses in the saver's space (0 null).
//   v1 after loading: base = load address - saved base; record = the ZEANIMDATA
//   v2 after loading: version = image size; base = the image's own address
struct ZEANIMFILEHDR {
  int version;
  int base;
  int record;
};
static_assert(sizeof(ZEANIMFILEHDR) == 12);

// Stream form (ZeAnimDataRead/Write), little-endian, unpadded:
//   int N, N name bytes; float end; int chunks; per chunk: int nodes M,
//   int keys K, K x ZEANIMKEY, int curves L, L x 16-byte curve records
//   (mask, 4 ignored bytes, int keys, int flags), then per node u8 slots n
//   (0: no set) and, when n > 0, int flags and n floats.
// Tagged forms: curve = int tag (0 none), int keys, int mask, keys x 16
//   bytes, int flags; set = int tag, int flags, 9 floats, 9 curves; key =
//   4 floats.

extern uint8_t bitCountTable[256];  // bits set in each byte value; built before any code runs
extern int bitCountTableBuilt;

void buildBitCountTable();
ZEANIMDATA* ZeAnimDataRead(ZEFILE file);
void ZeAnimDataWrite(ZEFILE file, const ZEANIMDATA* anim);
// Loaders: the image at *position rounded up to 16, *position advanced
// past it. Missing, too large, damaged or of the other version: fatal.
ZEANIMDATA* ZeAnimDataLoadBuff(const char* name, char** position, char* end);
ZEANIMDATA2* ZeAnimData2LoadBuffEx(const char* name, char** position, char* end, char** image);
ZEANIMDATA2* ZeAnimData2LoadBuff(const char* name, char** position, char* end);
ZEANIMDATA2* ZeAnimData2Relocate(char** image, char** position);
ZEANIMDATA* ZeAnimDataFixPtrs(uint32_t record, int delta);
ZEANIMDATA2* ZeAnimData2FixPtrs(uint32_t record, int delta);
int ZeAnimDataFindVersion(const char* name);  // 0 empty, -1 cannot be opened
void ZeAnimDataLoad(const char* name);        // obsolete: fatal
void ZeAnimCurveWrite(ZEFILE file, const ZEANIMCURVE* curve);
ZEANIMCURVE* ZeAnimCurveRead(ZEFILE file);
void ZeAnimCurveSetWrite(ZEFILE file, const ZEANIMCURVESET* set);
void ZeAnimKeyWrite(ZEFILE file, const ZEANIMKEY* key);
int ZeAnimKeyRead(ZEFILE file, ZEANIMKEY* key);

ZEANIMDATA* ZeAnimDataCreate(int nchunks);
ZEANIMCHUNK* ZeAnimDataChunkCreate(int nnodes);
ZEANIMCURVESET* ZeAnimCurveSetCreate(int nslots);
ZEANIMCURVE* ZeAnimCurveCreate(int nkeys);
void ZeAnimDataDestroy(ZEANIMDATA* anim);
void ZeAnimDataChunkDestroy(ZEANIMCHUNK* chunk);
void ZeAnimCurveSetDestroy(ZEANIMCURVESET* set, int freecurves);
void ZeAnimCurveDestroy(ZEANIMCURVE* curve);
void ZeAnimCurveScale(ZEANIMCURVE* curve, float a, float b);

void ZeAnimDataCalcTime(const ZEANIMDATA* anim, ZEANIMTIME* time, float frame);
void ZeAnimData2CalcTime(const ZEANIMDATA2* anim, ZEANIMTIME* time, float frame);
float ZeAnimCurveCalcVal2(const ZEANIMCURVE* curve, const ZEANIMTIME* time);
float ZeAnimCurve2CalcValEx(const uint32_t* word, const ZEANIMTIME* time, int keytype);

// ===================================================================
// Animated matrices and joints (zeanim)
// ===================================================================

struct alignas(16) ZEJOINT {
  ZEMTX orient;       // 3x3 part multiplies rotations of nodes with ZEANIMNODE_ORIENT
  ZEVEC pivot;        // with flag 8: M becomes T(pivot) M T(-pivot)
  EePtr<char> name;   // or null
  uint8_t parent;     // 255: root; parents precede children
  uint8_t flags;      // ZEJOINT_PIVOT
};
constexpr int ZEJOINT_PIVOT = 8;
static_assert(offsetof(ZEJOINT, pivot) == 64 && offsetof(ZEJOINT, name) == 76 && offsetof(ZEJOINT, flags) == 81);

struct ZEJOINTANIM {
  ZEVEC rot;          // radians added to the joint's rotation
  ZEVEC trans;        // added to its translation
  ZEVEC scale;        // added to its scale
  int16_t max[3];     // angle limits (ZEANG)
  int16_t min[3];
  uint8_t joint;      // id in the model's joint map
  uint8_t flags;      // ZEJOINTANIM_*
  uint8_t pad[2];
};
static_assert(sizeof(ZEJOINTANIM) == 52 && offsetof(ZEJOINTANIM, max) == 36 && offsetof(ZEJOINTANIM, joint) == 48);
enum : int {
  ZEJOINTANIM_ROT = 0x01, ZEJOINTANIM_TRANS = 0x02, ZEJOINTANIM_SCALE = 0x04,
  ZEJOINTANIM_CLAMPX = 0x08, ZEJOINTANIM_CLAMPY = 0x10, ZEJOINTANIM_CLAMPZ = 0x20,
};

void ZeAnimCurveSetApplyToMatrix(const ZEANIMCURVESET* set, const ZEANIMTIME* time, ZEMTX* out);
void ZeAnimCurve2SetApplyToMatrix(const uint32_t* words, const int8_t* keytypes, int flags, const ZEANIMTIME* time,
                                  ZEMTX* out);
void ZeAnimCurveSetApplyToJoint2(const ZEANIMCURVESET* set, const ZEANIMTIME* time, const ZEJOINT* joint,
                                 ZEVEC* outscale, const ZEVEC* parentscale, ZEMTX* out, const ZEJOINTANIM* ovr);
void ZeAnimCurve2SetApplyToJoint(const uint32_t* words, const int8_t* keytypes, int8_t flags, const ZEANIMTIME* time,
                                 const ZEJOINT* joint, ZEVEC* outscale, const ZEVEC* parentscale, ZEMTX* out,
                                 const ZEJOINTANIM* ovr);
void ZeAnimCurveSetApplyToJointBasic(const ZEANIMCURVESET* set, const ZEANIMTIME* time, const ZEJOINT* joint,
                                     ZEVEC* outscale, const ZEVEC* parentscale, ZEMTX* out, const ZEJOINTANIM* ovr);
void ZeAnimCurveSetApplyBlendToJoint2(const ZEANIMCURVESET* a, const ZEANIMTIME* ta, const ZEANIMCURVESET* b,
                                      const ZEANIMTIME* tb, const ZEJOINT* joint, ZEVEC* outscale,
                                      const ZEVEC* parentscale, ZEMTX* out, float blend, const ZEJOINTANIM* ovr);
void ZeAnimCurve2SetApplyBlendToJoint2(const uint32_t* wa, const int8_t* ka, int fa, const ZEANIMTIME* ta,
                                       const uint32_t* wb, const int8_t* kb, int fb, const ZEANIMTIME* tb, float blend,
                                       const ZEJOINT* joint, ZEVEC* outscale, const ZEVEC* parentscale, ZEMTX* out,
                                       const ZEJOINTANIM* ovr);

// ===================================================================
// Texture-animation scripts and programs (zetexanm)
// ===================================================================
// A program of 16-bit code words switches a material's texture among a
// list. The record is also the file form (little-endian): the 440-byte
// header, codelen code words, and 4 bytes (written as zeros).

constexpr int ZETEXANIM_SIGNALS = 32;
constexpr int ZETEXANIM_XDEFS = 32;
constexpr int ZETEXANIM_HEADER = 440;
constexpr int ZETEXANIM_SCRIPTBLOCK = 1024;                                   // a script's program
constexpr int ZETEXANIM_MAXCODE = (ZETEXANIM_SCRIPTBLOCK - ZETEXANIM_HEADER) / 2;  // 292 words
constexpr int ZETEXANIM_LABELS = 64;
constexpr int ZETEXANIM_GLOBALS = 256;
constexpr int ZETEXANIM_LABELLEN = 20;

enum : int {
  ZTA_TEX = 0, ZTA_TEXADJ = 1, ZTA_WAIT = 2, ZTA_RATE = 5, ZTA_GOTO = 7, ZTA_GOSUB = 8, ZTA_BTEX = 9,
  ZTA_RET = 10, ZTA_REPEAT = 11, ZTA_REPEND = 12, ZTA_UNTILTEX = 13, ZTA_END = 14, ZTA_XREF = 15,
};

struct ZETEXANIMPROG {
  EePtr<ZETEXANIMPROG> next, prev;  // the program list
  char name[32];
  int32_t on[ZETEXANIM_SIGNALS];    // handler offsets, -1 none
  int32_t off[ZETEXANIM_SIGNALS];
  uint32_t onmask, offmask;
  int16_t xdefid[ZETEXANIM_XDEFS];  // global label ids
  int16_t xdefoff[ZETEXANIM_XDEFS]; // their code offsets
  int32_t xdefcount;
  int16_t codelen;                  // code words
  int16_t flags;                    // bit 0: heap record
  int16_t code[2];                  // codelen words
};
static_assert(sizeof(ZETEXANIMPROG) == 444);
static_assert(offsetof(ZETEXANIMPROG, on) == 40 && offsetof(ZETEXANIMPROG, off) == 168 &&
              offsetof(ZETEXANIMPROG, onmask) == 296 && offsetof(ZETEXANIMPROG, xdefid) == 304 &&
              offsetof(ZETEXANIMPROG, xdefoff) == 368 && offsetof(ZETEXANIMPROG, xdefcount) == 432 &&
              offsetof(ZETEXANIMPROG, codelen) == 436 && offsetof(ZETEXANIMPROG, code) == ZETEXANIM_HEADER);

// The code words, codelen of them (the record declares two).
inline int16_t* ZeTexAnimCode(ZETEXANIMPROG* p) {
  return reinterpret_cast<int16_t*>(reinterpret_cast<char*>(p) + ZETEXANIM_HEADER);
}
inline const int16_t* ZeTexAnimCode(const ZETEXANIMPROG* p) {
  return reinterpret_cast<const int16_t*>(reinterpret_cast<const char*>(p) + ZETEXANIM_HEADER);
}

extern ZETEXANIMPROG* ztap_current;
extern ZETEXANIMPROG* ztap_first;

ZETEXANIMPROG* ZeTexAnimProgReadScript(char** cursor, const char* name);  // null: cannot be opened
void ZeTexAnimProgAssembleEnd(ZETEXANIMPROG* prog);
ZETEXANIMPROG* ZeTexAnimProgCreate(char** cursor, int capacity, const char* name);
void ZeTexAnimProgInit(ZETEXANIMPROG* prog);
int ZeTexAnimProgWrite(const char* name, const ZETEXANIMPROG* prog);  // 1 written, 0 failed
// Null when the file cannot be opened or is not a whole program.
ZETEXANIMPROG* ZeTexAnimProgRead(char** cursor, const char* name);
ZETEXANIMPROG* ZeTexAnimProgFind(const char* name);
void ZeTexAnimProgDestroy(ZETEXANIMPROG* prog);
void ZeTexAnimProgRelease();
void ZeTexAnimProgSysInit();

// ===================================================================
// Texture-animation processor (zetexanm)
// ===================================================================
// One environment per animated material, one pass per frame. Only tex,
// texadj, wait and end end a pass; a pass also ends (with a debug message)
// on an unknown opcode, a pc outside the code, or ZETEXANIM_BUDGET
// instructions without an ending one.

constexpr int ZETEXANIM_DEPTH = 16;
constexpr int ZETEXANIM_NODES = 64;
constexpr int ZETEXANIM_BUDGET = 1024;

struct ZETEXANIMENV {
  EePtr<ZETEXANIMPROG> prog;  // null: disabled
  int32_t pc;
  int32_t repcount[ZETEXANIM_DEPTH];
  int32_t repstart[ZETEXANIM_DEPTH];
  int32_t repdepth;
  int32_t callstack[ZETEXANIM_DEPTH];
  int32_t calldepth;
  int32_t rate, raterand, wait;
  EePtr<ZEMTL> mtl;
  EePtr<int16_t> texids;
  int32_t curtex;
  int32_t flags;              // bit 0: heap record
  int32_t ntex;               // entries in texids (-1: not known)
};

struct ZETEXANIM {
  EePtr<ZETEXANIM> next, prev;  // the chain
  EePtr<int16_t> texids;
  int16_t ntex;
  int16_t flags;                // bit 0: heap record
  EePtr<ZEMTL> mtl;
  EePtr<ZETEXANIMENV> env;
  EePtr<char> name;
  EePtr<char> progname;
};

struct ZETEXANIMLIST {
  EePtr<ZETEXANIM> chain;
  EePtr<ZETEXANIMLIST> next, prev;
};

extern ZETEXANIMLIST ztalsysbuff[ZETEXANIM_NODES];
extern ZETEXANIMLIST* ztal_free;
extern ZETEXANIMLIST* ztal_first;
extern uint32_t ztsig_state, ztsig_on, ztsig_off;

// texids has ntex entries (-1: unknown, not checked).
ZETEXANIMENV* ZeTexAnimEnvCreate(char** cursor, ZEMTL* mtl, int16_t* texids, ZETEXANIMPROG* prog, int ntex = -1);
void ZeTexAnimEnvDestroy(ZETEXANIMENV* env);
void ZeTexAnimEnvReset(ZETEXANIMENV* env);
void ZeTexAnimEnvProc(ZETEXANIMENV* env);
ZETEXANIM* ZeTexAnimCreate(char** cursor, ZETEXANIMPROG* prog, ZEMTL* mtl, const int16_t* texids, int count);
void ZeTexAnimDestroy(ZETEXANIM* anim);
ZETEXANIM* ZeTexAnimFind(ZETEXANIM* chain, const char* name);
void ZeTexAnimAddList(ZETEXANIM* chain);
void ZeTexAnimRemoveList(ZETEXANIM* chain);
void ZeTexAnimProcess();
void ZeTexAnimProcessList(ZETEXANIM* chain);
void ZeTexAnimResetList(ZETEXANIM* chain);
void ZeTexAnimRestart();
void ZeTexAnimSetSignals(uint32_t value);

// ===================================================================
// Fractal patch height fields (zefpatch)
// ===================================================================
// A bicubic Hermite height function over a bilinear quadrilateral: corner 0
// at parameters (0, 0), 1 at (1, 0), 2 at (0, 1), 3 at (1, 1). Splitting
// halves the parameter range and adds noise looked up by the low byte of
// each vertex's interpolated seed, so shared edges displace alike.

// Height matrix: rows v = 0 value, v = 0 tangent, v = 1 tangent, v = 1
// value; columns u = 0 tangent, u = 0 value, u = 1 tangent, u = 1 value.
struct alignas(16) ZEFPATCH {
  float h[4][4];
  ZEVEC4 base[4];       // corner points, w 1
  ZEVEC4 attr[4];       // u, v, a third value, seed
  ZEVEC4 disp[4];       // one unit of height at each corner, w 0
  ZETEXID tex[2];       // run time: the first and second pass
  EePtr<ZEMTL> mtl[2];  // run time
};
static_assert(sizeof(ZEFPATCH) == 272 && offsetof(ZEFPATCH, base) == 64 && offsetof(ZEFPATCH, attr) == 128 &&
              offsetof(ZEFPATCH, disp) == 192 && offsetof(ZEFPATCH, tex) == 256 && offsetof(ZEFPATCH, mtl) == 264);

// One grid point of a patch's 9 x 9 height-field buffer.
struct ZEFPATCHHF {
  ZEVEC4 base, disp, attr;
};
static_assert(sizeof(ZEFPATCHHF) == 48);

constexpr int ZEFPATCH_GRID = 9;           // points a side
constexpr int ZEFPATCH_HEIGHTS = 243;      // floats of a height table: h, dh/du, dh/dv planes of 81
constexpr int ZEFPATCH_NOISE = 256;        // entries of four floats

void ZeFPatchSplit(const ZEFPATCH* patch, ZEFPATCH* out, float scale);  // out: four children
void ZeFPatchSplitCorners(const ZEVEC4* in, ZEVEC4* c0, ZEVEC4* c1, ZEVEC4* c2, ZEVEC4* c3);
void ZeFPatchTesselateGrid(int levels, const ZEFPATCH* patch, ZEFPATCH** out, float positionScale,
                           float displacement, float factor);
void ZeFPatchTesselateSphere(int levels, const ZEFPATCH* patch, ZEFPATCH** out, float radius);
void ZeFPatchSphereRecurse(int levels, const ZEFPATCH* patch, ZEFPATCH** out, float radius, float heightScale);
ZEFPATCH* ZeFPatchGenerateWorld(int levels, int* count, int radius);  // tagged heap
void ZeFPatchMakeHeightFieldBuffer(const ZEFPATCH* patch, ZEFPATCHHF* buffer);
void ZeFPatchHeightFieldCentre(int a, int b, int c, int d, int centre);
void ZeFPatchHeightFieldIndex(const ZEFPATCH* patch, const float* heights, int cell, ZEFPATCH* out);
void ZeFPatchHeightFieldIndexSlow(const ZEFPATCH* patch, const float* heights, int cell, ZEFPATCH* out);
void ZeFPatchHeightFieldIndexFast(const ZEFPATCH* patch, const float* heights, int cell, ZEFPATCH* out);
void getPoint(ZEVEC* out, const ZEFPATCH* patch, float s, float t, float h);
float ZeFPatchCollide(const ZEFPATCH* patch, int levels, float* uslope, float* vslope, int slopeLevel, float s,
                      float t, float scale);
void ZeFPatchShadowCastGetUVs(const ZEFPATCH* patch, const ZEVEC* point, float* s, float* t, ZEVEC* tu, ZEVEC* tv);
void ZeFPatchShadowCast(const ZEFPATCH* patch, const ZEVEC* point, ZEVEC* out, float* height, int levels,
                        ZEVEC* normal, int slopeLevel, float scale, float slopeScale);
void ZeFPatchShadowCastUV(const ZEFPATCH* patch, const ZEVEC* tu, const ZEVEC* tv, ZEVEC* out, ZEVEC* normal,
                          float* height, int levels, int slopeLevel, float s, float t, float scale, float slopeScale);
void ZeFPatchLightTexture(ZETEX* image, int size, const ZEVEC* light, float range, float scale, float ambient);
float ZeFPatchLightPoint(const ZEVEC* light, float scale, float ambient, float uslope, float vslope);
void ZeFPatchUpdateLight();
// The noise table (made on first need; the renderer uploads it whole).
const ZEVEC4* ZeFPatchGetNoise();

// ===================================================================
// Scenes (zegscn, zegscnrt, zegscncvt, zescene)
// ===================================================================
// A scene file (".gsc") is read whole into the caller's buffer at a
// 128-byte address and fixed up in place: textures, materials, objects with
// their packets, instances, specials, splines, names, texture animations,
// the animation library, portals, prelighting and bounds. The intermediate
// form (block "GSC0") holds plain data; the converter turns it into a scene
// file and ZeSceneLoad reads it into heap objects. Every damaged scene file
// is a fatal error that names what is wrong.

struct ZEANIMDATA;
struct ZETEXANIM;
struct ZEGSCENE;

// An instance's animation state, used in place.
struct alignas(16) ZEGSCNINSTANIM {
  ZEMTX mtx;          // what is drawn
  float rate;         // animation frames a time unit
  float delay;        // start delay in frames
  float extra;        // frames the last frame is held
  float time;         // current frame (frames count from 1)
  uint32_t flags;     // ZEGSCNANIM_* below
  uint32_t reserved[2];
  uint8_t anim;       // index into the scene's animation library
  uint8_t reserved2[3];
};
static_assert(sizeof(ZEGSCNINSTANIM) == 96);
static_assert(offsetof(ZEGSCNINSTANIM, rate) == 64 && offsetof(ZEGSCNINSTANIM, time) == 76 &&
              offsetof(ZEGSCNINSTANIM, flags) == 80 && offsetof(ZEGSCNINSTANIM, anim) == 92);

enum : uint32_t {
  ZEGSCNANIM_PLAYING = 0x01,
  ZEGSCNANIM_REVERSE = 0x02,
  ZEGSCNANIM_WAITING = 0x04,
  ZEGSCNANIM_LOOP = 0x08,
};

// A named special object, used in place (also an extension slot).
struct alignas(16) ZESPECIALOBJ {
  ZEMTX mtx;                 // its own matrix
  EePtr<ZEGSCNINST> inst;    // the file holds an index
  EePtr<char> name;          // the file holds a name-table offset
  uint32_t flags;            // ZESPECIAL_* below
  uint32_t reserved;
};
static_assert(sizeof(ZESPECIALOBJ) == 80);
static_assert(offsetof(ZESPECIALOBJ, inst) == 64 && offsetof(ZESPECIALOBJ, name) == 68 &&
              offsetof(ZESPECIALOBJ, flags) == 72);

enum : uint32_t {
  ZESPECIAL_OWNMTX = 0x01,  // its own matrix counts (extension slots: in use)
  ZESPECIAL_SHOWN = 0x02,   // extension specials
  ZESPECIAL_DRAWN = 0x04,
};

// A handle game code keeps: the scene and the special.
struct ZESPECIAL {
  EePtr<ZEGSCENE> scene;
  EePtr<ZESPECIALOBJ> obj;
};
static_assert(sizeof(ZESPECIAL) == 8);

struct ZESPLINE {
  int16_t count;           // points
  int16_t ptsize;          // bytes a point (12 unless the point-size table says otherwise)
  EePtr<char> name;
  EePtr<uint8_t> points;   // point i at i * ptsize; its first 12 bytes the position
};
static_assert(sizeof(ZESPLINE) == 12);

// The spline point-size table: rows ended by a null text.
struct ZESPLINEPTSIZE {
  const char* text;
  int32_t size;
};

// The texture-animation record of the TAS0 block (32 bytes): next, prev,
// frame list, int16 frame count, int16 flags, material, environment, name,
// program name; in the file the links are indices and offsets.
constexpr int ZEGSCN_TEXANIM_RECORD = 32;
static_assert(sizeof(ZETEXANIM) == ZEGSCN_TEXANIM_RECORD);
static_assert(offsetof(ZETEXANIM, texids) == 8 && offsetof(ZETEXANIM, ntex) == 12 && offsetof(ZETEXANIM, mtl) == 16 &&
              offsetof(ZETEXANIM, env) == 20 && offsetof(ZETEXANIM, name) == 24 && offsetof(ZETEXANIM, progname) == 28);

// The loaded scene record (in the caller's buffer, or on the heap when
// ZeSceneLoad made it).
struct ZEGSCENE {
  EePtr<ZETEXID> texids;
  int32_t ntex;
  EePtr<EePtr<ZEMTL>> mtls;
  int32_t nmtl;
  int32_t ngobj;
  EePtr<EePtr<ZEGOBJ>> gobjs;
  int32_t ninst;
  EePtr<ZEGSCNINST> insts;
  int32_t nspec;
  EePtr<ZESPECIALOBJ> specs;
  EePtr<uint8_t> splinedata;       // the intermediate reader's raw spline data
  int32_t nspline;
  EePtr<ZESPLINE> splines;
  EePtr<char> names;               // lower-cased at load
  int32_t nexts;
  EePtr<ZESPECIALOBJ> exts;
  int32_t extcursor;
  EePtr<ZEGSCNINSTANIM> instanims;
  EePtr<EePtr<ZEANIMDATA>> animlib;
  int32_t nids;
  EePtr<int16_t> ids;
  int16_t fadelevel, fadebudget;
  int32_t fadeindex, fadestop;
  EePtr<ZECOLOURREF> faderesume;
  int32_t fadeactive;
  int32_t ntexanim;
  EePtr<ZETEXANIM> texanims;
  EePtr<int16_t> frames;           // the intermediate reader's frame list
  ZEPORTALSET portals;             // from PORT; bounds from BNDS
  ZEPRELIGHTDATA prelight;         // from PLGT
  int32_t nanimlib;                // slots of the animation library
  int32_t ninstanims;              // instance animation records
  int32_t namesize;                // bytes of the name table
  int32_t nframes;                 // entries of the texture-animation frame list
};

// The intermediate reader's working record.
struct ZESCENE {
  int32_t ntex;
  EePtr<int16_t> texids;
  int32_t nmtl;
  EePtr<EePtr<ZEMTL>> mtls;
  int32_t ngobj;
  EePtr<EePtr<ZEGOBJ>> gobjs;
  EePtr<ZEGSCENE> body;
};

constexpr int ZEGSCN_VERSION = 6;
constexpr int ZEGSCN_ALIGN = 128;           // packets and images in a scene file
constexpr int ZEGSCN_MTL_RECORD = 464;      // a material image
constexpr int ZEGSCN_MAX_CHAIN = 6000;      // indices of one packet batch
constexpr int ZEGSCN_WORKBUFF = 4194308;    // the converter's packet buffer
constexpr int ZEGSCN_MAX_PACKETS = 4194303; // bytes of packets a geometry or sprite set
constexpr int ZEGSCN_COLOURREF_BUFF = 1048576;
constexpr int ZEGSCN_STEP_ROUND = 65536;    // staggered reads are multiples of it
constexpr int ZEGSCN_MAX_SPLINE_RUN = 32768;

// ZeSpecialSetAttr codes; each is followed by its value when it takes one:
// an int, a const ZEMTX*, a const ZEVEC* or a ZEANG (int). 22 ends the list.
enum {
  ZESPA_VISIBLE = 0,       // int
  ZESPA_MTX_STORED = 1,
  ZESPA_MTX = 2,           // matrix
  ZESPA_MTX_PRE = 3,       // given x instance
  ZESPA_MTX_POST = 4,      // instance x given
  ZESPA_POS_STORED = 5,
  ZESPA_POS = 6,           // vector
  ZESPA_TRANSLATE = 7,     // vector, parent space
  ZESPA_POS_LOCAL = 8,     // vector
  ZESPA_TRANSLATE_LOCAL = 9,
  ZESPA_AXES_STORED = 10,
  ZESPA_ROT_X = 11, ZESPA_ROT_Y = 12, ZESPA_ROT_Z = 13,  // angle
  ZESPA_ROTATE_X = 14, ZESPA_ROTATE_Y = 15, ZESPA_ROTATE_Z = 16,
  ZESPA_PREROTATE_X = 17, ZESPA_PREROTATE_Y = 18, ZESPA_PREROTATE_Z = 19,
  ZESPA_SCALE_SET = 20,    // vector
  ZESPA_SCALE = 21,        // vector
  ZESPA_END = 22,
};

extern int zegscn_mtlupdate_enabled;   // 1: scene materials are registered at load
extern float global_windscale, global_windspeed;
extern int gscn_showsplines;
extern int gscn_dbg;

// Scene files (zegscn).
ZEGSCENE* ZeGScnRead(char** position, char* end, const char* name);
int ZeGScnLoad(char** position, char* end, const char* name);
int ZeGScnStaggeredLoad(char** position, char* end, const char* name, int step);
ZEGSCENE* ZeGScnLoadFix();
ZEGSCENE* ZeGScnDuplicate(const ZEGSCENE* scene, char** position);
void ZeGScnSetTmpWkspc(char* start, char* end);
void DbgBlkType(int id);

// Scene runtime (zegscnrt).
void ZeGScnUpdate(ZEGSCENE* scene, float dt);
void ZeGScnRndr3(ZEGSCENE* scene);
void ZeGScnRndr2(ZEGSCENE* scene, float dt);
void ZeGScnRndr(ZEGSCENE* scene);
void ZeGScnInstWind(float* x, float* z, const ZEGSCNINST* inst);
void ZeGScnDrawSplines(ZEGSCENE* scene);
void ZeGSceneSetCrossFade(ZEGSCENE* scene, int16_t level, int16_t budget);
void ZeGSceneProcessCrossFade(ZEGSCENE* scene);
int ZeSpecialFind(ZEGSCENE* scene, ZESPECIAL* handle, const char* name);
int ZeSpecialFindMulti(ZEGSCENE* scene, ZESPECIAL* handles, const char* text);
void ZeSpecialGetMtx(const ZESPECIAL* handle, ZEMTX* out);
void ZeSpecialGetPos(const ZESPECIAL* handle, ZEVEC* out);
int ZeSpecialDrawAt(const ZESPECIAL* handle, const ZEMTX* mtx);
void ZeSpecialSetAttr(const ZESPECIAL* handle, ...);
void ZeSpecialList(const ZEGSCENE* scene);
void ZeGScnAddExt(ZEGSCENE* scene, int n, ZESPECIALOBJ* slots);
int ZeExtSpecialDuplicate(ZESPECIAL* out, const ZESPECIAL* source);
void ZeExtSpecialDelete(const ZESPECIAL* handle);
ZESPLINE* ZeSplineFind(ZEGSCENE* scene, const char* name);
int ZeSplineFindAllSub(ZEGSCENE* scene, const char* text, ZESPLINE** out, int n);
int ZeSplineGetRandomPoint(const ZESPLINE* spline, ZEVEC* out);  // 0: no points, out untouched
void ZeSplineList(const ZEGSCENE* scene);
int FindSplinePtSize(const char* name);
void ZeGScnSetCfg(const ZESPLINEPTSIZE* table);
void ZeGScnRemove(ZEGSCENE* scene);
void ZeGScnTranslate(ZEGSCENE* scene, const ZEVEC* v);
void ZeSceneReAssignTexAnims(ZETEXANIM* records, int n);
void ZeGScnMtlUpdate();

// The matrix an instance is drawn (and collided) with in place of its own:
// its animation's, or null.
inline ZEMTX* ZeGScnInstOverride(const ZEGSCNINST* inst) { return inst->anim ? &inst->anim->mtx : nullptr; }

// Scene converter (zegscncvt): GSC0 (or the old ZE20 form) to a scene file.
int ZeGScnConvertScene(const char* out, const char* in);

// Intermediate scene files (zescene).
void ReadZeIFFTextureSet(ZEFILE file, ZESCENE* scene);
void ReadZeIFFMaterialSet(ZEFILE file, ZESCENE* scene);
void ZeSceneMtlUpdate(ZESCENE* scene);
ZEGOBJ* ReadZeIFFGeom(ZEFILE file, EePtr<ZEMTL>* mtls, int nmtl = -1);
void ReadZeIFFGobjSet(ZEFILE file, ZESCENE* scene);
int ReadZeIFFInstSet(ZEFILE file, ZEGSCNINST** insts, ZEGSCNINSTANIM** anims);
char* ReadZeIFFNameTable(ZEFILE file, int* size);
void ReadZeIFFTexAnimSet(ZEFILE file, ZEGSCENE* scene, const int16_t* texids);
void ReadZeIFFSplineSet(ZEFILE file, ZEGSCENE* scene);
void ReadZeIFFUnknown(ZEFILE file, int id);
ZESCENE* ZeSceneLoad(const char* name);
void ZeSceneDestroy(ZESCENE* scene);
void ZeGSceneDestroy(ZEGSCENE* scene);

// ===================================================================
// Screen-copy effects: water, normal maps and glass (zenrmmap)
// ===================================================================
// Material stream callbacks: water materials' wave vectors (a packet a
// frame for each (ev1, ev4), shared by DMA reference), normal maps' palette
// drawn by the GS into a reserved CLUT block, glass's screen copy.

constexpr int ZEWATER_CACHE = 23;
struct ZEWATERCACHE {
  uint32_t* packet;  // the 32 wave vectors
  float ev1, ev4;
};
extern ZETEXID zewater_rt;
extern float zewater_speed, zewater_time;
extern int zewater_cacheon, zewater_cachecnt;
extern ZEWATERCACHE zewater_cache[ZEWATER_CACHE];
void ZeWaterInit();
void ZeWaterRender();
void ZeWaterSpeed(float s);
void ZeWaterReset();
void ZeWaterTerminate();
void ZeWaterOverride(float ev1, float ev2, float ev3, float ev4);
void ZeWaterRndrStreamCallback(ZEMTL* mtl, ZERNDRSTREAM* stream, int phase);
// The 32 wave vectors (x', y', 1.0, a_x) for a material at this time.
void ZeWaterWaveVectors(float* out, float scale, const ZEMTL* mtl, float time);

extern ZETEXID temp_pal;
extern int temp_pal_addr, zenormalmap_initialised;
void ZeNormalMapInit();
void ZeNormalMapClose();
void ZeNormalMapSetEnvUV(float u, float v);
int ZeNormalMapCreate(ZETEX* image);  // 2
uint8_t ZeNormalMapSwizzle(int n);    // the index for palette pixel n
void ZeNormalMapCallback(ZEMTL* mtl, ZERNDRSTREAM* stream, int phase);
void ZeNormalMapFixedPaletteCallback(ZEMTL* mtl, ZERNDRSTREAM* stream, int phase);

extern ZETEXID zeglass_rt;
extern int zeglass_initialised;
void ZeGlassInit(int planes);
void ZeGlassClose();
void ZeGlassCopyScreen(ZERNDRSTREAM* stream, ZEMTL* mtl, int plane);

// Hierarchical objects and model memory images (zehgobj)
// ===================================================================
// A jointed model: joints (ZEJOINT, above) with rest and skin offset
// matrices, geometry hung on the joints in layers, a skin per layer,
// points of interest, shadow volumes and collision spheres on joints.
// Heap objects come from model files (outer block "HGOF"); the game loads
// memory images (".ghg") that hold the same records at offsets.

struct ZETEXANIM;

constexpr int ZEHGOBJ_TAG_HEAP = 0, ZEHGOBJ_TAG_IMAGE = 1, ZEHGOBJ_TAG_MASK = 3;
constexpr int ZEHGOBJ_NOJOINT = 255;  // a root's parent; a map entry with no joint

struct alignas(16) ZEPOI {
  ZEMTX mtx;          // relative to its joint
  EePtr<char> name;   // or null
  uint8_t joint;
};
static_assert(sizeof(ZEPOI) == 80 && offsetof(ZEPOI, name) == 64 && offsetof(ZEPOI, joint) == 68);
static_assert(sizeof(ZEJOINT) == 96 && offsetof(ZEJOINT, parent) == 80);

struct ZEHGOBJLAYER {
  EePtr<char> name;
  EePtr<EePtr<ZEGOBJ>> objects;   // joint count entries, or null
  EePtr<ZEGOBJ> skin;
  EePtr<EePtr<ZEGOBJ>> objects2;
  EePtr<ZEGOBJ> skin2;
};
static_assert(sizeof(ZEHGOBJLAYER) == 20 && offsetof(ZEHGOBJLAYER, skin2) == 16);

// Shadow records: the renderer's shadow shapes on a joint.
struct ZEHGOBJSHADOW {
  EePtr<ZESHADELLIPSE> ellipsoids;
  EePtr<ZESHADCYL> cylinders;
  EePtr<ZESHADMESH> meshes;
  uint8_t nellipsoid, ncylinder, nmesh;
  uint8_t joint;                       // 255 ends the array
};
static_assert(sizeof(ZEHGOBJSHADOW) == 16 && offsetof(ZEHGOBJSHADOW, nellipsoid) == 12 &&
              offsetof(ZEHGOBJSHADOW, joint) == 15);
constexpr int ZEHGOBJ_ELLIPSOID = 48, ZEHGOBJ_CYLINDER = 64, ZEHGOBJ_MESHREC = 16;

// Collision data, one block; offsets count from their own field in files
// and from the image start in memory images, and are pointers once loaded.
struct ZEHGOBJCOLLSPHERE {
  ZEVEC centre;       // joint space
  float radius;
  uint8_t joint;
  uint8_t pad[3];
};
static_assert(sizeof(ZEHGOBJCOLLSPHERE) == 20 && offsetof(ZEHGOBJCOLLSPHERE, joint) == 16);
struct ZEHGOBJCOLLENTRY {
  uint32_t type;      // ZEHGOBJCOLL_SPHERE is the only type tested
  EePtr<ZEHGOBJCOLLSPHERE> shape;
};
static_assert(sizeof(ZEHGOBJCOLLENTRY) == 8);
struct ZEHGOBJCOLL {
  uint32_t count;
  EePtr<ZEHGOBJCOLLENTRY> entries;
};
static_assert(sizeof(ZEHGOBJCOLL) == 8);
constexpr uint32_t ZEHGOBJCOLL_SPHERE = 1;

struct ZEHGOBJ {
  EePtr<ZETEXID> texids;
  int32_t ntex;
  EePtr<EePtr<ZEMTL>> mtls;
  int32_t nmtl;
  uint32_t imagetag;                  // ZEHGOBJ_TAG_*; above bit 1: the debug duplicate
  EePtr<ZEJOINT> joints;
  EePtr<ZEMTX> restmtx;               // relative to the parent joint
  EePtr<ZEMTX> skinmtx;               // skin offsets
  EePtr<uint8_t> jointmap;            // id -> index, 255 none
  EePtr<ZEHGOBJLAYER> layers;
  EePtr<ZEPOI> points;
  EePtr<uint8_t> pointmap;            // id -> index, 255 none
  EePtr<char> names;
  int32_t namesize;
  float extra;                        // carried, not read
  EePtr<ZEHGOBJSHADOW> shadows;       // ended by joint 255, or null
  float sphere_radius;
  float sphere_height;                // centre up the object's y axis
  ZEVEC boxmin, boxmax;
  float cyl_base, cyl_height, cyl_radius;
  EePtr<ZEHGOBJCOLL> collision;
  int32_t ntexanim;
  EePtr<ZETEXANIM> texanims;
  EePtr<void> texanimframes;
  uint8_t njoint, jointmapsize, nlayer, npoint, pointmapsize;
  uint8_t noshadows;
  uint8_t shared;                     // 1: textures, materials and names are a scene's (cut scenes)
  uint8_t pad;
  EePtr<char> imagestart, imageend;   // memory images only
};
static_assert(offsetof(ZEHGOBJ, imagetag) == 16 && offsetof(ZEHGOBJ, names) == 48 && offsetof(ZEHGOBJ, shadows) == 60 &&
              offsetof(ZEHGOBJ, boxmin) == 72 && offsetof(ZEHGOBJ, collision) == 108 &&
              offsetof(ZEHGOBJ, njoint) == 124 && offsetof(ZEHGOBJ, imagestart) == 132 && sizeof(ZEHGOBJ) == 140);

// The memory image's header; offsets from the image start, 0 = absent.
struct ZEGHGHEADER {
  int32_t size;                       // the file's length
  int32_t version;                    // ZEGHG_VERSION
  int32_t ntex, textable;
  int32_t nmtl, mtltable;
  int32_t njoint, joints, restmtx, skinmtx;
  int32_t jointmapsize, jointmap;
  int32_t names, namesize;
  int32_t pointmapsize, pointmap;
  int32_t npoint, points;
  int32_t nlayer, layers;
  int32_t shadows;
  float sphere_radius, sphere_height;
  ZEVEC boxmin, boxmax;
  float cyl_base, cyl_height, cyl_radius;
  int32_t collision;
  float extra;
  int32_t ntexanim, texanims;
};
static_assert(sizeof(ZEGHGHEADER) == 144 && offsetof(ZEGHGHEADER, shadows) == 80 && offsetof(ZEGHGHEADER, boxmin) == 92 &&
              offsetof(ZEGHGHEADER, cyl_base) == 116 && offsetof(ZEGHGHEADER, collision) == 128 &&
              offsetof(ZEGHGHEADER, texanims) == 140);
constexpr int ZEGHG_VERSION = 0;
// Image pieces: a geometry stub, and the words of a material record the
// image rewrites (the state packet before them is cleared).
struct ZEGHGGEOM {
  int32_t next, mtl, packets, skininst;
};
static_assert(sizeof(ZEGHGGEOM) == 16);
constexpr int ZEGHG_MTL_STATE = 288, ZEGHG_MTL_NEXT = 352, ZEGHG_MTL_PREV = 356, ZEGHG_MTL_CHAIN = 360,
              ZEGHG_MTL_TEXTURE = 420, ZEGHG_MTL_WORD448 = 448, ZEGHG_MTL_BYTES = 464;
constexpr int ZEGHG_FACEON_BYTES = 32, ZEGHG_TEXANIM_BYTES = 32;

// Non-zero while drawn objects queue their shadow volumes.
extern int shadplayer;

extern ZEMTX hgobj_rndrmtx[256];
extern ZEMTX hgobj_animmtx[256];
extern int checkchecksum;             // 0 or more: images are compared with their duplicates
// 1 while objects of a memory image are drawn: object drawing then reads
// only the image's pieces (no triangle count, batches or geometry length).
extern int zerndr_image_gobjs;

// Model files and queries (zehgobj).
ZEHGOBJ* ZeHGobjLoad(const char* name);
ZEHGOBJ* ZeHGobjReadForCutScene(ZEFILE file, const ZEGSCENE* scene);
void ReadZeIFFHGobj(ZEFILE file, ZEHGOBJ* obj);
void ReadZeIFFCollision(ZEFILE file, ZEHGOBJ* obj);
int ZeHGobjDestroy(ZEHGOBJ* obj);
void ZeHGobjDestroyHeap(ZEHGOBJ* obj);
void ZeHGobjJointMtx(const ZEHGOBJ* obj, int id, const ZEMTX* objmtx, const ZEMTX* joints, ZEMTX* out);
int ZeHGobjJointMtxWithCheck(const ZEHGOBJ* obj, int id, const ZEMTX* objmtx, const ZEMTX* joints, ZEMTX* out);
void ZeHGobjPOIMtx(const ZEHGOBJ* obj, int id, const ZEMTX* objmtx, const ZEMTX* joints, ZEMTX* out);
void ZeHGobjPOIMtxFromIX(const ZEHGOBJ* obj, int index, const ZEMTX* objmtx, const ZEMTX* joints, ZEMTX* out);
int ZeHGobjPOIMtxWithCheck(const ZEHGOBJ* obj, int id, const ZEMTX* objmtx, const ZEMTX* joints, ZEMTX* out);
ZEPOI* ZeHGobjGetPOI(const ZEHGOBJ* obj, int id);
int ZeHGobjBoundingSphereToSphere(const ZEHGOBJ* obj, const ZEMTX* objmtx, const ZEVEC* centre, float radius);
int ZeHGobjBoundingBoxToSphere(const ZEHGOBJ* obj, const ZEMTX* objmtx, const ZEVEC* centre, float radius);
int ZeHGobjBoundingCylinderToSphere(const ZEHGOBJ* obj, const ZEMTX* objmtx, const ZEVEC* centre, float radius);
int ZeHGobjBoundingSphereToLine(const ZEHGOBJ* obj, const ZEMTX* objmtx, const ZEVEC* a, const ZEVEC* b, float radius);
int ZeHGobjBoundingBoxToLine(const ZEHGOBJ* obj, const ZEMTX* objmtx, const ZEVEC* a, const ZEVEC* b, float growth);
int ZeHGobjCollideSphere(const ZEHGOBJ* obj, const ZEMTX* objmtx, const ZEMTX* joints, const ZEVEC* centre,
                         ZEVEC* outcentre, float radius);

// Model memory images (zehgobjimg).
ZEHGOBJ* ZeGHGRead(const char* name, char** position, char* end);
ZEHGOBJ* ZeGHGRelocate(ZEHGOBJ* obj, char** position);
void ZeGHGWrite(const ZEHGOBJ* obj, const char* name, int worksize);
char* ZeGHGWriteGobj(char* image, char* write, const ZEHGOBJ* obj, ZEGOBJ* chain, int32_t* offset);
void ZeGHGFixupGobj(char* image, ZEGOBJ* chain, const ZEHGOBJ* obj);
void ZeGHGRelocateGobj(char* newstart, char* oldstart, ZEGOBJ* chain);
void HGobjHiDupe(ZEHGOBJ* obj);
int HGobjFindChange(const ZEHGOBJ* obj, int tolerance);  // 1 when a difference was reported

// Posing and drawing (zehgobjrndr).
void ZeHGobjEval(const ZEHGOBJ* obj, int novr, const ZEJOINTANIM* ovr, ZEMTX* out);
void ZeHGobjEvalX(const ZEHGOBJ* obj, const ZEMTX* mtx, const int16_t* ids, int n, ZEMTX* out);
void ZeHGobjEvalAnim(const ZEHGOBJ* obj, const ZEANIMDATA* anim, int novr, const ZEJOINTANIM* ovr, ZEMTX* out,
                     float frame);
void ZeHGobjEvalAnim2(const ZEHGOBJ* obj, const ZEANIMDATA2* anim, int novr, const ZEJOINTANIM* ovr, ZEMTX* out,
                      float frame);
void ZeHGobjEvalAnimBlend(const ZEHGOBJ* obj, const ZEANIMDATA* a, const ZEANIMDATA* b, int novr,
                          const ZEJOINTANIM* ovr, ZEMTX* out, float fa, float fb, float blend);
void ZeHGobjEvalAnimBlend2(const ZEHGOBJ* obj, const ZEANIMDATA2* a, const ZEANIMDATA2* b, int novr,
                           const ZEJOINTANIM* ovr, ZEMTX* out, float fa, float fb, float blend);
void** ZeHGobjEvalDwa(int n, const int16_t* layers, const ZEANIMDATA* anim, float frame);
void** ZeHGobjEvalDwa2(int n, const int16_t* layers, const ZEANIMDATA2* anim, float frame);
void** ZeHGobjEvalDwaBlend(int n, const int16_t* layers, const ZEANIMDATA* a, const ZEANIMDATA* b, float fa,
                           float fb, float blend);
void** ZeHGobjEvalDwaBlend2(int n, const int16_t* layers, const ZEANIMDATA2* a, const ZEANIMDATA2* b, float fa,
                            float fb, float blend);
int ZeHGobjRndrMtxDwa(ZEHGOBJ* obj, const ZEMTX* objmtx, int n, const int16_t* layers, const ZEMTX* joints,
                      void** weights);
int ZeHGobjRndrMtx(ZEHGOBJ* obj, const ZEMTX* objmtx, int n, const int16_t* layers, const ZEMTX* joints);
int ZeHGobjRndr(ZEHGOBJ* obj, const ZEMTX* objmtx, int n, const int16_t* layers);
int ZeHGobjRndrAnim(ZEHGOBJ* obj, const ZEMTX* objmtx, int layer, const ZEANIMDATA* anim, const ZEANIMDATA* wanim,
                    float frame, float wframe);
int ZeHGobjRndrAnimBlend(ZEHGOBJ* obj, const ZEMTX* objmtx, int layer, const ZEANIMDATA* a, const ZEANIMDATA* b,
                         float fa, float fb, float blend);
