// zestream state blocks: the current local, view and clip matrices, the
// light, specular and effect-matrix blocks, the camera yaw, the render
// target's frame register, scissor and XY offset, each kept as a ready-made
// DMA packet and copied into a stream only when the stream has not yet
// received that version (change ids). Light, specular and effect blocks are
// copied whole into the first stream of a flush that needs them; later
// streams get a ref tag to that copy.
#include "zestream_local.h"

#include <cstring>

namespace {

constexpr uint32_t Cnt(uint32_t qwc, uint32_t marker) { return qwc | marker << 16 | uint32_t(DMATAG_CNT) << 28; }
constexpr uint32_t Ref(uint32_t qwc, uint32_t marker) { return qwc | marker << 16 | uint32_t(DMATAG_REF) << 28; }
constexpr uint32_t UnpackV4_32(uint32_t qwords, uint32_t addr) { return 0x6c000000u | qwords << 16 | addr; }
constexpr uint32_t VIF_UNPACK_MODE = 0x6d010017;  // V4-16, one quadword, to the mode word
constexpr uint32_t VIFCODE_MSCAL = 0x14000000;
constexpr uint32_t VIFCODE_MSCNT = 0x17000000;
constexpr uint32_t FACEON_ENTRY = 0x0a;
constexpr uint64_t GIFTAG_AD1 = 1 | uint64_t(1) << 15 | uint64_t(1) << 60;  // NLOOP 1, EOP, A+D
constexpr uint64_t GIFTAG_AD2 = 2 | uint64_t(1) << 15 | uint64_t(1) << 60;

// Local matrix: tag, the matrix, the mode word's unpack and four
// halfwords, MSCAL, MSCNT.
alignas(16) uint32_t g_local[7 * 4] = {Cnt(6, DMAMK_MTXLOAD), 0, 0, UnpackV4_32(4, ZEVU1_LOCAL_MTX)};
constexpr int LOCAL_MODE_WORD = 21, LOCAL_MSCAL_WORD = 23, LOCAL_MSCNT_WORD = 24;

// View and clip matrices; the scissor-clip copy differs in the clip matrix.
alignas(16) uint32_t g_view[10 * 4] = {Cnt(9, 0), 0, 0, UnpackV4_32(4, ZEVU1_VIEW_MTX),
                                      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                      0, 0, 0, UnpackV4_32(4, ZEVU1_CLIP_MTX)};
alignas(16) uint32_t g_viewScissor[10 * 4] = {Cnt(9, 0), 0, 0, UnpackV4_32(4, ZEVU1_VIEW_MTX),
                                             0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                             0, 0, 0, UnpackV4_32(4, ZEVU1_CLIP_MTX)};
constexpr int VIEW_CLIP_QW = 5;

alignas(16) uint32_t g_yaw[2 * 4] = {Cnt(1, 0), 0, 0, UnpackV4_32(1, ZEVU1_CAMERA_YAW)};

// The state blocks and their ref tags.
alignas(16) uint32_t g_lightRef[4] = {Ref(7, DMAMK_LIGHTLOAD), 0, 0, UnpackV4_32(7, ZEVU1_STATE_BLOCK)};
alignas(16) uint32_t g_spec[6 * 4] = {Cnt(5, DMAMK_SPECLOAD), 0, 0, UnpackV4_32(5, ZEVU1_STATE_BLOCK)};
alignas(16) uint32_t g_specRef[4] = {Ref(5, DMAMK_SPECLOAD), 0, 0, UnpackV4_32(5, ZEVU1_STATE_BLOCK)};
alignas(16) uint32_t g_fxMtx[5 * 4] = {Cnt(4, DMAMK_FXMTXLOAD), 0, 0, UnpackV4_32(4, ZEVU1_STATE_BLOCK)};
alignas(16) uint32_t g_fxMtxRef[4] = {Ref(4, DMAMK_FXMTXLOAD), 0, 0, UnpackV4_32(4, ZEVU1_STATE_BLOCK)};

// GS state on path 2: FRAME_1; XYOFFSET_1 and SCISSOR_1.
alignas(16) uint32_t g_frame[3 * 4] = {Cnt(2, 0), 0, VIFCODE_FLUSHA, VIFCODE_DIRECT | 2,
                                       uint32_t(GIFTAG_AD1), uint32_t(GIFTAG_AD1 >> 32), GIF_REG_AD, 0,
                                       0, 0, GS_FRAME_1, 0};
alignas(16) uint32_t g_scissor[4 * 4] = {Cnt(3, 0), 0, VIFCODE_FLUSHA, VIFCODE_DIRECT | 3,
                                         uint32_t(GIFTAG_AD2), uint32_t(GIFTAG_AD2 >> 32), GIF_REG_AD, 0,
                                         0, 0, GS_XYOFFSET_1, 0,
                                         0, 0, GS_SCISSOR_1, 0};

int g_localCounter = 0, g_viewCounter = 0, g_scissorCounter = 0, g_offsetCounter = 0;
uint64_t g_lastScissor = 0, g_lastOffset = 0;

int NextId(int* counter) { return *counter = (*counter + 1) & 0x7fff; }

float* Row(uint32_t* packet, int qw) { return reinterpret_cast<float*>(packet + qw * 4); }
void PutMtx(uint32_t* packet, int qw, const ZEMTX* m) { memcpy(packet + qw * 4, m, 64); }
void PutU64(uint32_t* p, uint64_t v) { memcpy(p, &v, 8); }

// The view as the streams receive it: with the z-fix applied.
void WriteView(const ZEMTX* view) {
  ZEMTX v = *view;
  if (rndrstream_zfix != 0.0f) ZeMtxMulH(&v, view, &rndrstream_zfix_mtx);
  PutMtx(g_view, 1, &v);
  PutMtx(g_viewScissor, 1, &v);
}

}  // namespace

int32_t rndrstream_local_mtx_id = -1;
int16_t rndrstream_view_mtx_id = -1;
int16_t rndrstream_scissor_id = 0;
int16_t rndrstream_xyoffset_id = 0;
ZEMTX rndrstream_saved_view;
float rndrstream_zfix = 0.0f;
ZEMTX rndrstream_zfix_mtx = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
uint64_t cur_rt = 0;
int rndrstream_frame_flag = 0;
uint32_t* rndrstream_rt_light_addr = nullptr;
uint32_t* rndrstream_rt_spec_addr = nullptr;
uint32_t* rndrstream_fx_mtx_addr = nullptr;
ZEVEC rndrstream_spec_dir = {0, 0, 1};
ZEVEC4 rndrstream_spec_colour = {1, 1, 1, 0};
int rndrstream_light_landscape = 0;
float rndrstream_saved_light_dirs[9];
alignas(16) uint32_t rndrstream_rt_light_buffer[8 * 4] = {Cnt(7, DMAMK_LIGHTLOAD), 0, 0,
                                                         UnpackV4_32(7, ZEVU1_STATE_BLOCK)};

// ---- current values ----------------------------------------------------------

int ZeRndrSetLocalMtx(const ZEMTX* m, int mode) {
  PutMtx(g_local, 1, m);
  g_local[LOCAL_MSCAL_WORD] = VIFCODE_MSCAL | (mode == 1 ? 0u : 2u);
  g_local[LOCAL_MSCNT_WORD] = VIFCODE_MSCNT;
  g_local[LOCAL_MODE_WORD - 1] = VIF_UNPACK_MODE;
  rndrstream_local_mtx_id = NextId(&g_localCounter);
  return 1;
}

int ZeRndrSetLocalMtxZMove(const ZEMTX* m, int mode, float distance) {
  ZeRndrSetLocalMtx(m, mode);
  float* t = Row(g_local, 4);
  const ZEVEC pos = {t[0], t[1], t[2]};
  const ZEVEC cam = {global_camera.mtx.m[3][0], global_camera.mtx.m[3][1], global_camera.mtx.m[3][2]};
  ZEVEC d;
  float len = ZeVecDist(&pos, &cam, &d);
  // At the camera position there is no line to move along: the
  // translation stays as it is.
  if (!(len > 0.0f)) return 1;
  const float k = distance / len;
  t[0] += d.x * k;
  t[1] += d.y * k;
  t[2] += d.z * k;
  return 1;
}

int ZeRndrSetViewMtx(const ZEMTX* view, const ZEMTX* clip, const ZEMTX* scissorClip) {
  rndrstream_saved_view = *view;
  WriteView(view);
  PutMtx(g_view, 1 + VIEW_CLIP_QW, clip);
  PutMtx(g_viewScissor, 1 + VIEW_CLIP_QW, scissorClip);
  rndrstream_view_mtx_id = int16_t(NextId(&g_viewCounter));
  return 1;
}

void ZeRndrSetZFix(int z) {
  if (float(z) == rndrstream_zfix) return;
  rndrstream_zfix = float(z);
  rndrstream_zfix_mtx.m[3][2] = rndrstream_zfix;
  ZEMTX v;
  ZeMtxMulH(&v, &rndrstream_saved_view, &rndrstream_zfix_mtx);
  PutMtx(g_view, 1, &v);
  PutMtx(g_viewScissor, 1, &v);
  // Before the first view there is nothing for the streams to receive.
  if (rndrstream_view_mtx_id >= 0) rndrstream_view_mtx_id = int16_t(NextId(&g_viewCounter));
}

void FaceYDirStream(ZEANG yaw) {
  const uint32_t a = uint32_t(yaw);
  const float s = ZeTrigTable[(a >> 1) & 0x7fff];
  const float c = ZeTrigTable[((a + 0x4000u) >> 1) & 0x7fff];
  const ZEVIEWPORT* vp = ZeVpGetCurrentViewport();
  float* r = Row(g_yaw, 1);
  r[0] = c;
  r[1] = float(vp->width) * (1.0f / 10240.0f);
  r[2] = -s;
  r[3] = float(vp->height) * (1.0f / 3584.0f);
}

namespace {

void SetLights(const ZEVEC* const dirs[3], const float* const colours[3], bool four) {
  float* rows = Row(rndrstream_rt_light_buffer, 1);
  for (int j = 0; j < 3; j++) {
    rows[0 * 4 + j] = dirs[j]->x;
    rows[1 * 4 + j] = dirs[j]->y;
    rows[2 * 4 + j] = dirs[j]->z;
    float* c = rows + (3 + j) * 4;
    memcpy(c, colours[j], four ? 16 : 12);
    if (!four) c[3] = j == 2 ? 1.0f : 0.0f;
  }
  rndrstream_rt_light_addr = nullptr;
  rndrstream_light_landscape = 0;
}

}  // namespace

int ZeRndrSetDirectionalLights(const ZEVEC* dir0, const ZEVEC* colour0, const ZEVEC* dir1, const ZEVEC* colour1,
                               const ZEVEC* dir2, const ZEVEC* colour2) {
  const ZEVEC* dirs[3] = {dir0, dir1, dir2};
  const float* colours[3] = {&colour0->x, &colour1->x, &colour2->x};
  SetLights(dirs, colours, false);
  return 1;
}

int ZeRndrSetDirectionalLights4(const ZEVEC* dir0, const ZEVEC4* colour0, const ZEVEC* dir1,
                                const ZEVEC4* colour1, const ZEVEC* dir2, const ZEVEC4* colour2) {
  const ZEVEC* dirs[3] = {dir0, dir1, dir2};
  const float* colours[3] = {&colour0->x, &colour1->x, &colour2->x};
  SetLights(dirs, colours, true);
  return 1;
}

int ZeRndrSetAmbientLight(const ZEVEC* colour) {
  float* r = Row(rndrstream_rt_light_buffer, 7);
  r[0] = colour->x;
  r[1] = colour->y;
  r[2] = colour->z;
  r[3] = 0.0f;
  rndrstream_rt_light_addr = nullptr;
  return 1;
}

int ZeRndrSetDirectionalLightsLandscape() {
  float* rows = Row(rndrstream_rt_light_buffer, 1);
  // Turned from the saved directions, so that a second call turns nothing.
  if (!rndrstream_light_landscape)
    for (int i = 0; i < 3; i++)
      for (int j = 0; j < 3; j++) rndrstream_saved_light_dirs[i * 3 + j] = rows[i * 4 + j];
  const auto& c = global_camera.mtx.m;
  const ZEVEC x = {c[0][0], c[0][1], c[0][2]}, y = {c[1][0], c[1][1], c[1][2]};
  const float z[3] = {c[2][0], c[2][1], c[2][2]};
  ZEVEC w;
  ZeVecCross(&w, &x, &y);
  // M = z zT + A, A antisymmetric from w: for an orthonormal camera a
  // quarter turn about the view axis.
  float M[3][3];
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) M[i][j] = z[i] * z[j];
  M[0][1] += w.z;
  M[0][2] -= w.y;
  M[1][2] += w.x;
  M[1][0] -= w.z;
  M[2][0] += w.y;
  M[2][1] -= w.x;
  for (int j = 0; j < 3; j++) {
    const float d[3] = {rndrstream_saved_light_dirs[0 * 3 + j], rndrstream_saved_light_dirs[1 * 3 + j],
                        rndrstream_saved_light_dirs[2 * 3 + j]};
    for (int i = 0; i < 3; i++) rows[i * 4 + j] = M[i][0] * d[0] + M[i][1] * d[1] + M[i][2] * d[2];
  }
  rndrstream_light_landscape = 1;
  rndrstream_rt_light_addr = nullptr;
  return 1;
}

int ZeRndrSetDirectionalLightsPortrait() {
  if (rndrstream_light_landscape) {
    float* rows = Row(rndrstream_rt_light_buffer, 1);
    for (int i = 0; i < 3; i++)
      for (int j = 0; j < 3; j++) rows[i * 4 + j] = rndrstream_saved_light_dirs[i * 3 + j];
    rndrstream_light_landscape = 0;
    rndrstream_rt_light_addr = nullptr;
  }
  return 1;
}

int ZeRndrSetSpecularLight(const ZEVEC* dir, const ZEVEC4* colour) {
  if (dir) rndrstream_spec_dir = *dir;
  if (colour) rndrstream_spec_colour = *colour;
  const ZEMTX* cam = &global_camera.mtx;
  ZEVEC l;
  ZeVecInvMtxRotate(&l, &rndrstream_spec_dir, cam);
  ZEVEC4 c = rndrstream_spec_colour;
  if (0.5f <= l.z) c.w *= (1.0f - l.z) * 2.0f;
  memcpy(Row(g_spec, 5), &c, 16);

  const ZEVEC back = {0.0f, 0.0f, -1.0f};
  ZEVEC h;
  ZeVecLerp(&h, &l, &back, 0.5f);
  ZeVecMtxRotate(&h, &h, cam);
  // A light straight along the view makes no half vector; its strength is
  // 0 there, so any axis will do: the camera's up axis.
  if (!(ZeVecMagSqr(&h) > 1e-12f)) h = {cam->m[1][0], cam->m[1][1], cam->m[1][2]};
  if (!(ZeVecMagSqr(&h) > 1e-12f)) h = {0.0f, 1.0f, 0.0f};
  ZeVecNorm(&h, &h);

  ZEMTX m;
  ZeMtxSetIdentity(&m);
  ZeMtxAlignZ(&m, &h);
  for (int j = 0; j < 3; j++) m.m[2][j] = -m.m[2][j];
  m.m[0][3] = m.m[1][3] = m.m[2][3] = 0.0f;
  m.m[3][0] = 0.5f;
  m.m[3][1] = 0.5f;
  m.m[3][2] = 0.0f;
  m.m[3][3] = 1.0f;
  PutMtx(g_spec, 1, &m);
  rndrstream_rt_spec_addr = nullptr;
  return 1;
}

int ZeRndrSetFxMtx(const ZEMTX* m) {
  PutMtx(g_fxMtx, 1, m);
  rndrstream_fx_mtx_addr = nullptr;
  return 1;
}

void ZeRndrSetXYOffset(int x, int y) {
  g_lastOffset = uint64_t(uint32_t(x)) | uint64_t(uint32_t(y)) << 32;
  PutU64(g_scissor + 8, g_lastOffset);
  rndrstream_xyoffset_id = int16_t(NextId(&g_offsetCounter));
}

void ZeRndrSetScissor(int x0, int y0, int x1, int y1) {
  g_lastScissor = uint64_t(uint16_t(x0)) | uint64_t(uint16_t(x1)) << 16 | uint64_t(uint16_t(y0)) << 32 |
                  uint64_t(uint16_t(y1)) << 48;
  PutU64(g_scissor + 12, g_lastScissor);
  rndrstream_scissor_id = int16_t(NextId(&g_scissorCounter));
}

void ZeRndrSetFrameMask(uint32_t mask, int flag) {
  cur_rt = (cur_rt & 0xffffffffu) | uint64_t(mask) << 32;
  rndrstream_frame_flag = flag;
}

uint64_t* ZeRndrStreamGetScissor() { return &g_lastScissor; }
uint64_t* ZeRndrStreamGetOffset() { return &g_lastOffset; }
int ZeRndrSetGlobalAlpha(float) { return 1; }
int ZeRndrStreamSetDirectionalLights(ZERNDRSTREAM*) { return 0; }
int ZeRndrStreamSetAmbientLight(ZERNDRSTREAM*) { return 0; }

// ---- per-stream writers ----------------------------------------------------------

void ZeRndrStreamSetMisc(ZERNDRSTREAM* s) {
  uint32_t* p = s->write;
  // Frame, scissor and offset, and the largest block.
  ZeRndrStreamCheckSpace(p, (3 + 4 + 8) * 16);
  if (s->mtl && !rndrstream_frame_flag)
    cur_rt = (cur_rt & 0xffffffffu) | uint64_t(zerndrstream_mtl_if.mtl_frame_mask(s->mtl)) << 32;
  PutU64(g_frame + 8, cur_rt);
  p = ZeRndrStreamCopyQwords(p, g_frame, 3);
  if (s->scissor_id != rndrstream_scissor_id || s->xyoffset_id != rndrstream_xyoffset_id) {
    p = ZeRndrStreamCopyQwords(p, g_scissor, 4);
    s->scissor_id = rndrstream_scissor_id;
    s->xyoffset_id = rndrstream_xyoffset_id;
  }
  uint32_t** addr;
  const uint32_t* block;
  uint32_t* ref;
  int qwords;
  switch (s->flags & 0x43) {
    case 0:
      s->write = p;
      return;
    case ZERNDRSTREAM_LIGHTS:
      addr = &rndrstream_rt_light_addr, block = rndrstream_rt_light_buffer, ref = g_lightRef, qwords = 8;
      break;
    case ZERNDRSTREAM_SPECULAR:
      addr = &rndrstream_rt_spec_addr, block = g_spec, ref = g_specRef, qwords = 6;
      break;
    case ZERNDRSTREAM_FXMTX:
      addr = &rndrstream_fx_mtx_addr, block = g_fxMtx, ref = g_fxMtxRef, qwords = 5;
      break;
    default:
      s->write = p;
      ZeError("Invalid attribute combination in stream");
      return;
  }
  if (!*addr) {
    *addr = p + 4;  // where the block's data lies in this flush segment
    p = ZeRndrStreamCopyQwords(p, block, qwords);
    ref[1] = EeAddrOf(*addr);
  } else if (s->state_block.get() != *addr) {
    p = ZeRndrStreamCopyQwords(p, ref, 1);
  }
  s->state_block = *addr;
  s->write = p;
}

int ZeRndrStreamSetLocalMtxEx(ZERNDRSTREAM* s, int kick) {
  if (rndrstream_local_mtx_id < 0 || !(s->flags & ZERNDRSTREAM_LOCAL) || s->local_mtx_id == rndrstream_local_mtx_id)
    return 0;
  uint32_t mode;
  switch (s->flags & 0x43) {
    case ZERNDRSTREAM_LIGHTS: mode = ZEVU1_MODE_LIT; break;
    case ZERNDRSTREAM_SPECULAR:
    case ZERNDRSTREAM_FXMTX: mode = ZEVU1_MODE_MATRIX; break;
    default: mode = ZEVU1_MODE_UNLIT; break;
  }
  uint32_t* p = s->write;
  ZeRndrStreamCheckSpace(p, 8 * 16);
  uint32_t* packet = p;
  p = ZeRndrStreamCopyQwords(p, g_local, 7);
  packet[LOCAL_MODE_WORD] = mode;  // halfwords x, y: the mode and 0
  packet[LOCAL_MODE_WORD + 1] = 0;
  s->local_mtx_id = rndrstream_local_mtx_id;
  if (kick) {
    p[0] = Cnt(0, 0);
    p[1] = 0;
    p[2] = VIFCODE_MSCAL | FACEON_ENTRY;
    p[3] = VIFCODE_MSCNT;
    p += 4;
  }
  s->write = p;
  return 1;
}

int ZeRndrStreamSetLocalMtx(ZERNDRSTREAM* s) { return ZeRndrStreamSetLocalMtxEx(s, 0); }

int ZeRndrStreamSetViewMtx(ZERNDRSTREAM* s) {
  if (rndrstream_view_mtx_id < 0 || !(s->flags & ZERNDRSTREAM_VIEW) || s->view_mtx_id == rndrstream_view_mtx_id)
    return 0;
  ZeRndrStreamCheckSpace(s->write, 12 * 16);
  uint32_t* p = ZeRndrStreamCopyQwords(s->write, g_view, 10);
  s->write = ZeRndrStreamCopyQwords(p, g_yaw, 2);
  s->view_mtx_id = rndrstream_view_mtx_id;
  return 1;
}

int ZeRndrStreamSetViewMtxScissorClip(ZERNDRSTREAM* s) {
  if (rndrstream_view_mtx_id < 0 || !(s->flags & ZERNDRSTREAM_VIEW)) return 0;
  ZeRndrStreamCheckSpace(s->write, 10 * 16);
  s->write = ZeRndrStreamCopyQwords(s->write, g_viewScissor, 10);
  s->view_mtx_id = -2;  // the next ZeRndrStreamSetViewMtx sends the normal packet again
  return 1;
}
