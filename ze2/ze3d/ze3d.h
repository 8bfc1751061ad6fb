// ze3d: the renderer's 3-D layer: render streams and the state blocks they
// carry, textures, materials and render planes, the camera and the viewport.
//
// Every drawing routine follows one protocol on a render stream: link the
// stream for writing, bring its state up to date (frame, scissor, offset,
// state block, matrices, material), write its packets, and end with an open
// DMA next tag that a later link or flush patches.
#pragma once

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

// What the primitives ask of materials until the material module fills it:
// the default materials and a material's own stream. Rows left null mean
// "no material": primitives then draw with the stream's current state.
struct ZERNDRMTLSEAM {
  ZEMTL* (*default2d)();
  ZEMTL* (*default3d)();
  ZERNDRSTREAM* (*stream)(ZEMTL* mtl);  // the material's embedded stream
  uint32_t* (*program)(ZEMTL* mtl);     // its VU1 program chain
};
extern ZERNDRMTLSEAM zerndr_mtl_seam;

extern int tri2dz;  // depth of every vertex of ZeRndrTri2di (1)
extern int zerndr_pixel_width, zerndr_pixel_height, zerndr_pixel_p2w, zerndr_pixel_p2h;

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

// What scene control asks of textures and materials (null rows: absent).
struct ZERNDRSCENESEAM {
  void (*tex_set_rtarget)(ZERNDRSTREAM* stream, ZETEXID tex);  // ZeTexSetRenderTarget
  void (*tex_set_zbuffer)(ZERNDRSTREAM* stream, ZETEXID tex);  // ZeTexSetZBuffer
  void (*build_render_list)(uint32_t planeMask);               // ZeMtlBuildRenderList
};
extern ZERNDRSCENESEAM zerndr_scene_seam;

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
