// zemtl: materials. The record and its pool, the default materials, the
// on-disc material record, and the rebuild of a material's prebuilt GS state
// packet, VU1 program and sort priority.
#include "ze3d.h"
#include "zecore.h"
#include "zemtl_local.h"

#include <cstring>

int16_t zemtl_sortpri_pre_glass = 1024;
int16_t zemtl_sortpri_glass = 1039;
int16_t zemtl_sortpri_environment = 1536;
int16_t zemtl_sortpri_bump_map = 1664;
int16_t zemtl_sortpri_fur = 1664;
int16_t zemtl_sortpri_water_specular = 1920;
int16_t zemtl_sortpri_specular = 2048;
ZEMTL* zemtl_defaultmtl3d = nullptr;
ZEMTL* zemtl_defaultmtl2d = nullptr;
int zemtl_lighting_disabled = 0, zemtl_force_colour = 0, zemtl_force_lit = 0, zemtl_force_mtlsize = 0;
ZETEXID global_default_normalmap_tid = -1;
int zemtl_current_plane = 0;
ZETEXID zemtl_glass_tid = 0, zemtl_water_tid = 0;
ZEMTLSTREAMFN* zemtl_water_callback = nullptr;
ZEMTLSTREAMFN* zemtl_nrmmap_callback = nullptr;
ZEMTLSTREAMFN* zemtl_nrmmap_fixed_callback = nullptr;
ZEMTLREADEVENT ZeMtlReadEvent = nullptr;

namespace {

ZEMTL* g_pool = nullptr;
int g_poolSize = 0;
int g_poolCursor = 0;
int g_initialised = 0;

int DefaultReadEvent(ZEMTL*) { return 0; }

constexpr uint32_t VIFCODE_NOP = 0x00000000;
constexpr uint32_t VIFCODE_FLUSHE = 0x10000000;
constexpr uint32_t VIFCODE_STCYCL = 0x01000000;
constexpr uint32_t VIFCODE_UNPACK_V4_32 = 0x6c000000;
constexpr uint32_t VIFCODE_STROW = 0x30000000;

// GS ALPHA values of the blend modes 0-9.
constexpr uint8_t BLEND_ALPHA[10] = {0x44, 0x44, 0x48, 0x42, 0x49, 0x46, 0x89, 0x88, 0x0a, 0x54};

uint32_t Field(uint32_t v, int shift, int width) { return (v >> shift) & ((1u << width) - 1); }
uint32_t SetField(uint32_t v, int shift, int width, uint32_t x) {
  const uint32_t m = ((1u << width) - 1) << shift;
  return (v & ~m) | ((x << shift) & m);
}

// A material from the pool (every slot examined, the cursor's own last) or
// the heap; null when the pool has none free.
ZEMTL* Take() {
  if (g_poolSize == 0) {
    auto* m = static_cast<ZEMTL*>(ZeMemAlloc(int(sizeof(ZEMTL))));
    memset(m, 0, sizeof *m);
    m->flags = ZEMTL_INUSE | ZEMTL_HEAP;
    return m;
  }
  for (int k = 1; k <= g_poolSize; k++) {
    const int i = (g_poolCursor + k) % g_poolSize;
    if (!(g_pool[i].flags & ZEMTL_INUSE)) {
      memset(&g_pool[i], 0, sizeof(ZEMTL));
      g_pool[i].flags = ZEMTL_INUSE | ZEMTL_POOL;
      g_poolCursor = i;
      return &g_pool[i];
    }
  }
  return nullptr;
}

// Smallest power of two at or above v.
int Pow2(int v) {
  int p = 1;
  while (p < v && p < (1 << 30)) p <<= 1;
  return p;
}

void WriteStateBlock(ZEMTL* m, int keepValues) {
  // Values kept from the previous block (flag 2): the effect block and the
  // STROW offsets that the animation writes between rebuilds.
  float effect[8] = {};
  uint32_t strow[2] = {};
  if (keepValues && m->effect_block) {
    memcpy(effect, m->effect_block.get(), sizeof effect);
    memcpy(strow, ZeMtlStrowData(m), sizeof strow);
  }
  uint32_t* p = m->state;
  uint32_t* tag = p;
  p += 4;
  p = ZeTexPutGifTag(p, 0, 1, GIF_FLG_PACKED, 1, GIF_REG_AD);
  uint32_t* gif = p - 4;
  const uint32_t a = m->attributes, rf = m->render_flags;
  const int ctx = m->context ? 1 : 0;
  const uint32_t blend = Field(a, ZEMTLATTR_BLEND, 4);
  const uint32_t depth = Field(a, ZEMTLATTR_DEPTH, 2);
  // The context bit follows the material, so that a material writing the
  // second context's registers also draws with them.
  const uint64_t prmode = uint64_t((rf & ZEMTLRF_IIP) ? 1 : 0) << 3 | uint64_t(m->texture ? 1 : 0) << 4 |
                          uint64_t(blend ? 1 : 0) << 6 | uint64_t((rf & ZEMTLRF_FST) ? 1 : 0) << 8 | uint64_t(ctx) << 9;
  p = ZeTexPutAd(p, prmode, GS_PRMODE);
  p = ZeTexPutAd(p, blend <= 9 ? BLEND_ALPHA[blend] : 0x44, GS_ALPHA_1 + ctx);
  uint64_t zbuf;
  ZePs2GetCurrentZBuffer(&zbuf);
  zbuf &= 0xffffffffull;
  if (depth == 1 || depth == 3) zbuf |= uint64_t(1) << 32;
  p = ZeTexPutAd(p, zbuf, GS_ZBUF_1 + ctx);
  const uint64_t test = uint64_t(blend ? 1 : 0) | uint64_t(Field(a, ZEMTLATTR_ATST, 3)) << 1 |
                        uint64_t(Field(a, ZEMTLATTR_AREF, 8)) << 4 | uint64_t(rf & ZEMTLRF_AFAIL) << 12 |
                        uint64_t((rf & ZEMTLRF_DATE) ? 1 : 0) << 14 | uint64_t((rf & ZEMTLRF_DATM) ? 1 : 0) << 15 |
                        uint64_t(1) << 16 | uint64_t(depth <= 1 ? 2 : 1) << 17;  // GEQUAL, or ALWAYS
  p = ZeTexPutAd(p, test, GS_TEST_1 + ctx);
  if (m->texture) p = ZeTexWriteMaterialSettings(p, m);
  const int adCount = int(p - gif) / 4 - 1;
  ZeTexPutGifTag(gif, adCount, 1, GIF_FLG_PACKED, 1, GIF_REG_AD);
  const int direct = adCount + 1;

  // VU1 data: the colour and the effect block to quadword 0x13, then the
  // texture-coordinate offsets in the row register. The DIRECT data ends on
  // a quadword boundary; two NOPs open the next quadword so that STCYCL and
  // UNPACK close it and the unpacked data starts on a quadword: the effect
  // block, which animation and the water effects rewrite in place, stays
  // two aligned quadwords.
  *p++ = VIFCODE_NOP;
  *p++ = VIFCODE_NOP;
  *p++ = VIFCODE_STCYCL | 0x0101;
  *p++ = VIFCODE_UNPACK_V4_32 | 3 << 16 | ZEVU1_MTL;
  float colour[4] = {m->diffuse[0] * 128.0f, m->diffuse[1] * 128.0f, m->diffuse[2] * 128.0f, m->alpha * 128.0f};
  memcpy(p, colour, 16);
  p += 4;
  m->effect_block = reinterpret_cast<float*>(p);
  memcpy(p, effect, sizeof effect);
  p += 8;
  *p++ = VIFCODE_STROW;
  p[0] = strow[0];
  p[1] = strow[1];
  p[2] = p[3] = 0;
  p += 4;
  while ((p - m->state) & 3) *p++ = 0;
  const int bytes = int(p - m->state) * 4;
  if (bytes > ZEMTL_STATE_BLOCK - 1) ZeError("assert");
  ZeTexPutTag(tag, bytes / 16 - 1, DMATAG_RET, nullptr, VIFCODE_FLUSHE, VIFCODE_DIRECT | uint32_t(direct), DMAMK_MTL);
}

// The program and stream flags of the lighting mode (attribute bit 18 picks
// vertex colours for prelit materials).
void ChooseProgram(ZEMTL* m) {
  const uint32_t a = m->attributes;
  switch (Field(a, ZEMTLATTR_LIGHTING, 2)) {
    case 0:
      m->stream.program = Field(a, ZEMTLATTR_VTXCOL, 1) ? vu_load_tric_mpg : vu_load_tri_mpg;
      m->stream.flags = 0x3d;
      break;
    case 1:
      m->stream.program = vu_load_xformuv_mpg;
      m->stream.flags = 0x3e;
      break;
    case 2:
      m->stream.program = vu_load_tricu_mpg;
      m->stream.flags = 0x3c;
      break;
    default:
      m->stream.program = vu_load_trica_mpg;
      m->stream.flags = 0x3d;
      break;
  }
  if (Field(a, ZEMTLATTR_UVMODE, 2) == 1) {
    m->stream.program = vu_load_xformuv_mpg;
    m->stream.flags = 0x7c;
  }
}

// The effect's program, texture and callback; returns the sort priority it
// chooses, or the material's own.
int ApplyEffect(ZEMTL* m) {
  switch (m->effect_id) {
    case 0x81: return zemtl_sortpri_specular;
    case 0x82:
      m->stream.program = vu_load_triglass_mpg;
      m->stream.flags = 0x7c;
      m->texture = zemtl_glass_tid;
      m->attributes = SetField(m->attributes, ZEMTLATTR_UVMODE, 2, 1);
      m->attributes = SetField(m->attributes, ZEMTLATTR_UWRAP, 2, 1);
      m->attributes = SetField(m->attributes, ZEMTLATTR_VWRAP, 2, 1);
      m->attributes = SetField(m->attributes, ZEMTLATTR_ATST, 3, 1);
      m->attributes = SetField(m->attributes, ZEMTLATTR_DEPTH, 2, 0);
      m->attributes = SetField(m->attributes, ZEMTLATTR_VTXCOL, 1, 1);
      return zemtl_sortpri_glass;
    case 0x83:
      m->stream.program = vu_load_xformuv_mpg;
      m->stream.flags = 0x7c;
      return zemtl_sortpri_environment;
    case 0x84:
      m->texture = zemtl_water_tid;
      [[fallthrough]];
    case 0x85:
      m->stream.program = vu_load_water_mpg;
      m->callback = zemtl_water_callback;
      return zemtl_sortpri_water_specular;
    case 0x86:
      m->stream.program = vu_load_wateruv_mpg;
      m->callback = zemtl_water_callback;
      return zemtl_sortpri_water_specular;
    case 0x87: return zemtl_sortpri_bump_map;
    case 0x88: return zemtl_sortpri_fur;
    case 0x8a:
      m->stream.program = vu_load_nrmmap_mpg;
      m->callback = zemtl_nrmmap_callback;
      if (!m->texture && global_default_normalmap_tid != -1) m->texture = global_default_normalmap_tid;
      return m->sort_priority;
    case 0x8c:
      m->stream.program = vu_load_patchsphere_mpg;
      return m->sort_priority;
    case 0x8d:
      m->stream.program = vu_load_tricu_mpg;
      m->callback = zemtl_nrmmap_fixed_callback;
      if (!m->texture && global_default_normalmap_tid != -1) m->texture = global_default_normalmap_tid;
      return m->sort_priority;
    case 0x8e:
      m->stream.program = vu_load_wateruv_mpg;
      m->callback = zemtl_water_callback;
      return m->sort_priority;
    default: return m->sort_priority;
  }
}

void WriteEffectValues(ZEMTL* m) {
  float* e = m->effect_block;
  const float W = float(PS2_REZ_W), H = float(PS2_REZ_H);
  const float pw = float(Pow2(PS2_REZ_W)), ph = float(Pow2(PS2_REZ_H));
  switch (m->effect_id) {
    case 0x82:
      e[0] = (W * 0.5f * 16.0f - 32768.0f) / (pw * 16.0f);
      e[1] = (H * 0.5f * 16.0f - 32768.0f) / (ph * 16.0f);
      e[2] = m->p[0];
      e[3] = 0.0f;
      e[4] = 1.0f / (pw * 16.0f);
      e[5] = 1.0f / (ph * 16.0f);
      e[6] = (W - 1.0f) / pw;
      e[7] = (H - 1.0f) / ph;
      break;
    case 0x84:
    case 0x85:
      e[2] = m->p[1] / 48.0f / m->p[3];
      e[3] = 0.0f;
      e[4] = 1.0f / (pw * 16.0f);
      e[5] = 1.0f / (ph * 16.0f);
      e[6] = W;
      e[7] = H;
      break;
    case 0x86:
    case 0x8e: e[2] = m->p[2] / m->p[3]; break;
    case 0x8b:
      e[6] = m->p[0];
      e[7] = 0.25f;
      break;
    default: break;
  }
}

void MakeDefaults() {
  zemtl_defaultmtl3d = ZeMtlCreate(1);
  ZEMTL* m = zemtl_defaultmtl3d;
  m->attributes = SetField(SetField(m->attributes, ZEMTLATTR_BLEND, 4, 0), ZEMTLATTR_DEPTH, 2, 0);
  m->diffuse[0] = m->diffuse[1] = m->diffuse[2] = 0.5f;
  m->alpha = 1.0f;
  m->mip_l = 0;
  m->mip_k = -100;
  ZeMtlUpdate(m);
  zemtl_defaultmtl2d = ZeMtlCreate(1);
  m = zemtl_defaultmtl2d;
  m->attributes = SetField(SetField(m->attributes, ZEMTLATTR_BLEND, 4, 0), ZEMTLATTR_DEPTH, 2, 3);
  m->attributes |= 1u << 13;
  m->diffuse[0] = m->diffuse[1] = m->diffuse[2] = 0.5f;
  m->alpha = 1.0f;
  ZeMtlUpdate(m);
}

// The rows the streams read materials through.
int IfValid(ZEMTL* m) { return ZeMtlValid(m); }
void* IfStateBlock(ZEMTL* m) { return ZeMtlGetStateBlockDma(m); }
int IfZupd(ZEMTL* m) { return ZeMtlGetZupd(m); }
ZETEXID IfTexture(ZEMTL* m) { return m->texture; }
int IfTexFlag(ZEMTL* m) { return m->context; }
uint32_t IfFrameMask(ZEMTL* m) { return m->frame_mask; }

}  // namespace

uint32_t* ZeMtlStrowData(ZEMTL* m) { return reinterpret_cast<uint32_t*>(m->effect_block.get()) + 9; }

// ---- set-up ----------------------------------------------------------------

int ZeMtlGetSysBuffSize(int n) { return n * int(sizeof(ZEMTL)); }

void ZeMtlInit() {
  if (g_initialised) ZeMtlClose();
  ZeMtlPlanesInit();
  g_pool = nullptr;
  g_poolSize = 0;
  g_poolCursor = 0;
  ZeMtlReadEvent = DefaultReadEvent;
  zerndrstream_mtl_if.mtl_valid = IfValid;
  zerndrstream_mtl_if.mtl_state_block = IfStateBlock;
  zerndrstream_mtl_if.mtl_zupd = IfZupd;
  zerndrstream_mtl_if.mtl_texture = IfTexture;
  zerndrstream_mtl_if.mtl_tex_flag = IfTexFlag;
  zerndrstream_mtl_if.mtl_frame_mask = IfFrameMask;
  g_initialised = 1;
  MakeDefaults();
}

void ZeMtlInitEx(char** buffer, int n) {
  ZeMtlInit();
  // The defaults move into the pool: the heap ones go.
  ZeMtlDestroy(zemtl_defaultmtl3d);
  ZeMtlDestroy(zemtl_defaultmtl2d);
  uintptr_t p = (reinterpret_cast<uintptr_t>(*buffer) + 15) & ~uintptr_t(15);
  g_pool = reinterpret_cast<ZEMTL*>(p);
  g_poolSize = n;
  memset(g_pool, 0, sizeof(ZEMTL) * size_t(n));
  for (int i = 0; i < n; i++) g_pool[i].flags = ZEMTL_POOL;
  g_poolCursor = 0;
  *buffer = reinterpret_cast<char*>(p + sizeof(ZEMTL) * size_t(n));
  MakeDefaults();
}

void ZeMtlClose() {
  if (!g_initialised) return;
  ZeMtlRelease();
  // Nothing is left behind, the defaults included.
  ZeMtlDestroy(zemtl_defaultmtl3d);
  ZeMtlDestroy(zemtl_defaultmtl2d);
  zemtl_defaultmtl3d = zemtl_defaultmtl2d = nullptr;
  g_initialised = 0;
  ZeMtlAnimListClear();
}

void ZeMtlRelease() {
  if (g_poolSize == 0) {
    for (int plane = 0; plane < ZEMTL_PLANES; plane++)
      while (ZEMTL* m = ZeMtlPlaneHead(plane)) ZeMtlDestroy(m);
  } else {
    for (int i = 0; i < g_poolSize; i++) g_pool[i].flags &= ~uint32_t(ZEMTL_INUSE);
    ZeMtlPlanesEmpty();
  }
  ZeMtlAnimListClear();
  MakeDefaults();
}

// ---- creation ----------------------------------------------------------------

ZEMTL* ZeMtlCreate(int n) { return ZeMtlCreateEx(n, zemtl_current_plane); }

ZEMTL* ZeMtlCreateEx(int n, int plane) {
  ZEMTL* m = nullptr;
  for (int i = 0; i < n; i++) {
    m = Take();
    if (!m) {
      ZeError("Unable to allocate material");
      return nullptr;
    }
    m->alpha = 1.0f;
    m->mip_l = 0;
    m->u_value = m->v_value = m->u_speed = 0.0f;
    m->v_speed = 1.0f;
    m->stream.mtl = m;
    m->render_flags = 3 | ZEMTLRF_IIP;
    m->mip_k = -90;
    m->sort_priority = 0x7fff;
    uint32_t a = m->attributes;
    a = SetField(a, ZEMTLATTR_FILTER, 2, 1);
    a = SetField(a, ZEMTLATTR_ATST, 3, 5);
    a = SetField(a, ZEMTLATTR_AREF, 8, 0x7f);
    a = SetField(a, ZEMTLATTR_FRAMEALPHA, 1, 0);
    m->attributes = a;
    m->frame_mask = 0xff000000u;
    m->stream.flags = 0x3d;
    ZeRndrStreamResetStream(&m->stream, 1);
    ZeMtlInsert(m, plane);
    m->chain = nullptr;
    m->effect_id = 0;
    m->table_index = 0;
  }
  return m;
}

void ZeMtlUpdate(ZEMTL* m) { ZeMtlUpdateEx(m, 1); }

void ZeMtlUpdateEx(ZEMTL* m, int flags) {
  ZeDisableVBlank();
  if (!(flags & 2)) {
    memset(m->state, 0, sizeof m->state);
    m->effect_block = nullptr;
  }
  const uint32_t depth = Field(m->attributes, ZEMTLATTR_DEPTH, 2);
  if (depth == 0 || depth == 2) m->flags |= ZEMTL_ZWRITE;
  else m->flags &= ~uint32_t(ZEMTL_ZWRITE);
  ChooseProgram(m);
  const int pri = ApplyEffect(m);
  if (!(flags & 4)) m->sort_priority = int16_t(pri);
  if (zemtl_lighting_disabled) m->attributes = SetField(m->attributes, ZEMTLATTR_LIGHTING, 2, 2);
  if (zemtl_force_colour) m->attributes |= 1u << ZEMTLATTR_VTXCOL;
  if (zemtl_force_lit) m->attributes = SetField(m->attributes, ZEMTLATTR_LIGHTING, 2, 0);
  WriteStateBlock(m, flags & 2);
  WriteEffectValues(m);
  if (!(flags & 1)) {
    ZeMtlCheckMtlAnimList(m, 0);
    ZeEnableVBlank();
    return;
  }
  ZeMtlRemove(m);
  ZeEnableVBlank();
  ZeMtlInsert(m, int(Field(m->flags, ZEMTL_PLANE_SHIFT, 8)));
}

// ---- the file record -------------------------------------------------------------

namespace {

float F32(const uint8_t* p) {
  float f;
  memcpy(&f, p, 4);
  return f;
}
uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
int16_t S16(const uint8_t* p) { return int16_t(p[0] | p[1] << 8); }

}  // namespace

ZEMTL* ZeMtlRead(ZEFILE file) {
  ZEMTL* m = ZeMtlCreate(1);
  if (zemtl_force_mtlsize) {
    // The raw record as ZeMtlWrite writes it, bounded by the record: the
    // links that keep it in its plane are the live material's.
    const ZEMTL keep = *m;
    const int n = zemtl_force_mtlsize < int(sizeof(ZEMTL)) ? zemtl_force_mtlsize : int(sizeof(ZEMTL));
    if (ZeFileRead(file, m, n) != n) ZeError("ZeMtlRead: short material record");
    if (zemtl_force_mtlsize > n) ZeFileSeek(file, zemtl_force_mtlsize - n, SCE_SEEK_CUR);
    m->flags = keep.flags;
    m->next = keep.next;
    m->prev = keep.prev;
    m->chain = nullptr;
    m->effect_block = nullptr;
    m->stream = keep.stream;
    m->in_anim_list = 0;
  } else {
    uint8_t r[ZEMTL_FILE_RECORD];
    if (ZeFileRead(file, r, ZEMTL_FILE_RECORD) != ZEMTL_FILE_RECORD) ZeError("ZeMtlRead: short material record");
    m->chain.addr = U32(r);  // a material number in the file; the loaders make it a pointer
    const uint32_t pk = U32(r + 4);
    uint32_t a = m->attributes;
    a = SetField(a, ZEMTLATTR_BLEND, 4, Field(pk, 0, 2));
    a = SetField(a, ZEMTLATTR_FILTER, 2, Field(pk, 2, 2));
    a = SetField(a, ZEMTLATTR_UVMODE, 2, 0);
    a = SetField(a, ZEMTLATTR_UWRAP, 2, Field(pk, 6, 2));
    a = SetField(a, ZEMTLATTR_VWRAP, 2, Field(pk, 8, 2));
    a = SetField(a, ZEMTLATTR_MISC, 2, Field(pk, 10, 2));
    a = SetField(a, ZEMTLATTR_DEPTH, 2, Field(pk, 12, 2));
    a = SetField(a, ZEMTLATTR_LIGHTING, 2, Field(pk, 14, 2));
    a = SetField(a, ZEMTLATTR_VTXCOL, 1, Field(pk, 16, 1));
    a = SetField(a, ZEMTLATTR_FRAMEALPHA, 1, Field(pk, 17, 1));
    a = SetField(a, ZEMTLATTR_ATST, 3, Field(pk, 18, 3));
    a = SetField(a, ZEMTLATTR_AREF, 8, Field(pk, 21, 8));
    m->attributes = a;
    m->render_flags = (m->render_flags & ~(ZEMTLRF_AFAIL | ZEMTLRF_FST)) | Field(pk, 29, 2) | Field(pk, 31, 1) << 2;
    for (int i = 0; i < 3; i++) {
      m->ambient[i] = F32(r + 8 + 4 * i);
      m->diffuse[i] = F32(r + 20 + 4 * i);
    }
    for (int i = 0; i < 5; i++) m->p[i] = F32(r + 32 + 4 * i);
    m->alpha = F32(r + 52);
    m->texture = int(U32(r + 56));
    m->sort_priority = S16(r + 60);
    m->effect_id = r[62];
    m->table_index = r[63];
    m->mip_k = int16_t(-90 + S16(r + 64));
    m->mip_l = uint8_t(0 + r[66]);
    m->uv_anim = r[67];
    m->u_value = F32(r + 68);
    m->v_value = F32(r + 72);
    m->u_speed = F32(r + 76);
    m->v_speed = F32(r + 80);
    const uint32_t blend = Field(a, ZEMTLATTR_BLEND, 4);
    if (blend && Field(a, ZEMTLATTR_ATST, 3) == 5 && Field(a, ZEMTLATTR_AREF, 8) == 255) {
      m->render_flags |= ZEMTLRF_CUTOUT;
      m->attributes = SetField(m->attributes, ZEMTLATTR_AREF, 8, 0x7f);
    }
    m->render_flags |= ZEMTLRF_IIP;
    if ((m->render_flags & ZEMTLRF_AFAIL) == 1) m->render_flags |= 3;
  }
  if (zemtl_lighting_disabled) m->attributes = SetField(m->attributes, ZEMTLATTR_LIGHTING, 2, 2);
  // Blended materials follow opaque ones of the same priority; the highest
  // priority stays as it is rather than wrapping round to the lowest, which
  // would draw the material before everything behind it.
  if (Field(m->attributes, ZEMTLATTR_BLEND, 4) && m->sort_priority < INT16_MAX)
    m->sort_priority = int16_t(m->sort_priority + 1);
  if (zemtl_force_mipmap) m->attributes = SetField(m->attributes, ZEMTLATTR_FILTER, 2, 2);
  if (m->texture != -1)
    for (float& d : m->diffuse) d *= 0.5f;
  ZeDebugMsg("mtlsize=%d vtx:%d lit:%d", int(sizeof(ZEMTL)), int(Field(m->attributes, ZEMTLATTR_VTXCOL, 1)),
             int(Field(m->attributes, ZEMTLATTR_LIGHTING, 2)));
  return m;
}

int ZeMtlWrite(ZEFILE file, const ZEMTL* m) {
  ZeFileWrite(file, m, int(sizeof(ZEMTL)));
  return int(sizeof(ZEMTL));
}

// ---- release, registration and links -------------------------------------------------

void ZeMtlDestroy(ZEMTL* m) {
  if (!m) return;
  if (m->texture > 0) ZeTexUnRef(m->texture);
  ZeMtlRemove(m);
  if (!(m->flags & ZEMTL_POOL)) {
    m->flags &= ~uint32_t(ZEMTL_INUSE);
    if (m->flags & ZEMTL_HEAP) ZeMemFree(m);
    return;
  }
  if (!(m->flags & ZEMTL_INUSE)) ZeDebugMsg("Attempted to release a material that is already free");
  m->flags &= ~uint32_t(ZEMTL_INUSE);
}

void ZeMtlAddEx(ZEMTL* m, int plane) {
  m->chain = nullptr;
  m->effect_block = nullptr;
  m->next = m->prev = nullptr;
  m->flags = (m->flags | ZEMTL_INUSE) & ~uint32_t(ZEMTL_POOL | ZEMTL_HEAP) & 0xffffu;
  m->frame_mask = Field(m->attributes, ZEMTLATTR_FRAMEALPHA, 1) ? 0 : 0xff000000u;
  m->stream.mtl = m;
  ZeRndrStreamResetStream(&m->stream, 1);
  ZeMtlInsert(m, plane);
}

void ZeMtlAdd(ZEMTL* m) { ZeMtlAddEx(m, zemtl_current_plane); }

int16_t ZeMtlAppendMtl(ZEMTL* m, ZEMTL* linked) {
  if (m) {
    ZEMTL* last = m;
    while (last->chain) last = last->chain;
    last->chain = linked;
  }
  const uint32_t uses = (linked->flags >> ZEMTL_USE_SHIFT) + 1;
  linked->flags = (linked->flags & 0xffffu) | uses << ZEMTL_USE_SHIFT;
  return int16_t(uses);
}

void ZeMtlDetachMtl(ZEMTL* m) {
  ZEMTL* next = m->chain;
  if (!next) return;
  m->chain = next->chain;
  next->chain = nullptr;
  const uint32_t uses = next->flags >> ZEMTL_USE_SHIFT;
  if (uses) next->flags = (next->flags & 0xffffu) | (uses - 1) << ZEMTL_USE_SHIFT;
  if (uses <= 1) ZeMtlDestroy(next);
}

int ZeMtlValid(const ZEMTL* m) { return m && (m->flags & ZEMTL_INUSE) ? -1 : 0; }
void* ZeMtlGetStateBlockDma(ZEMTL* m) { return m; }
int ZeMtlGetZupd(const ZEMTL* m) { return (m->flags & ZEMTL_ZWRITE) ? -1 : 0; }

ZEMTLREADEVENT ZeMtlReadEventSetHandler(ZEMTLREADEVENT hook) {
  ZEMTLREADEVENT old = ZeMtlReadEvent;
  ZeMtlReadEvent = hook ? hook : DefaultReadEvent;
  return old;
}
