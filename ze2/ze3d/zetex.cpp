// zetex: the texture table and video memory. Every texture lives in one
// fixed table of slots and is named by its ZETEXID (index + 1). Video memory
// holds the display and z buffers at the bottom, then permanent
// reservations, then temporary effect textures; the uploads of a frame grow
// down from the top.
#include "ze3d.h"
#include "zecore.h"
#include "zetex_local.h"

#include <cstring>

ZETEXSLOT* zetex_slots = nullptr;
int zetex_slot_count = 0;
int zetex_cursor = 0;
int zetex_alloc_cnt = 0;
int zetex_initialised = 0;
int gs_top = 0x4000, gs_ptr = 0x4000, gs_botfree = 0;
int gs_tempptr = 0;
int zetex_reserve_count = 0;
int txupload_on = 1;
int zetex_display_lod = 0;

namespace {

int g_reserve[ZETEX_MAX_RESERVE];
ZETEXSLOT* g_heapSlots = nullptr;  // ZeTexInit's table, kept for later calls

constexpr int TEXINIT_SLOTS = 1024;

// Finds a free slot from the cursor on, leaving the cursor on it; -1 when
// every slot is in use.
int FindSlot() {
  if (zetex_slot_count <= 0) return -1;
  const int start = zetex_cursor;
  while (zetex_slots[zetex_cursor].flags & ZETEXSLOT_INUSE) {
    zetex_cursor = (zetex_cursor + 1) % zetex_slot_count;
    if (zetex_cursor == start) return -1;
  }
  return zetex_cursor;
}

int RoundPage(int block) { return (block + 31) & ~31; }

// Creation shared by ZeTexCreateEx and ZeTexCreateStream; -1 on failure.
int Create(ZETEX* image, void* regionStart, void* regionEnd) {
  ZETEXSLOT* s = ZeTexTakeSlot();
  if (!s) return -1;
  if (image) s->tex = *image;
  char* cur = static_cast<char*>(regionStart);
  char* end = static_cast<char*>(regionEnd);
  const bool region = regionStart != nullptr;
  if (region) ZeMemSetExternal(&cur, &end);
  // A slot made without an image is reserved for its caller, who fills the
  // description and the platform record later: there is nothing to build
  // and no size to check yet (the record stays cleared).
  const int ok = image ? ZePs2TxCreate(&s->tex, &s->ps2) : 1;
  if (region) ZeMemSetExternal(nullptr, nullptr);
  if (!ok) {
    // Free what was built; what lives in a region is the caller's.
    if (!region) ZePs2TxDestroy(&s->ps2);
    memset(s, 0, sizeof *s);
    return -1;
  }
  s->tex.texels = nullptr;
  ZeTexCommitSlot(s, region || !image ? ZETEXSLOT_NOTOWNED : 0);
  return int(s - zetex_slots);
}

}  // namespace

ZETEXSLOT* ZeTexSlotOf(ZETEXID id) {
  if (id <= 0 || id > zetex_slot_count || !zetex_slots) return nullptr;
  return &zetex_slots[id - 1];
}

ZETEXSLOT* ZeTexLiveSlot(ZETEXID id) {
  ZETEXSLOT* s = ZeTexSlotOf(id);
  return s && (s->flags & ZETEXSLOT_INUSE) ? s : nullptr;
}

int ZeTexAddr(const ZETEXSLOT* s) {
  if (s->ps2.level_addr[0]) return s->ps2.level_addr[0];
  if (s->ps2.fixed_addr) return s->ps2.fixed_addr;
  return gs_botfree;
}

ZETEXSLOT* ZeTexTakeSlot() {
  const int i = FindSlot();
  if (i < 0) return nullptr;
  memset(&zetex_slots[i], 0, sizeof(ZETEXSLOT));
  return &zetex_slots[i];
}

void ZeTexCommitSlot(ZETEXSLOT* s, uint16_t flags) {
  s->flags = uint16_t(ZETEXSLOT_INUSE | flags);
  zetex_alloc_cnt++;
}

// ---- set-up and teardown --------------------------------------------------------

int ZeTexGetSysBuffSize(int n) { return n * int(sizeof(ZETEXSLOT)); }

int ZeTexInitEx(char** buffer, int n) {
  if (zetex_initialised) ZeTexClose();
  int first = 0;
  ps2videoGetFreeMem(&first, nullptr);
  uintptr_t p = (reinterpret_cast<uintptr_t>(*buffer) + 15) & ~uintptr_t(15);
  zetex_slots = reinterpret_cast<ZETEXSLOT*>(p);
  zetex_slot_count = n;
  memset(zetex_slots, 0, sizeof(ZETEXSLOT) * size_t(n));
  *buffer = reinterpret_cast<char*>(p) + sizeof(ZETEXSLOT) * size_t(n);
  gs_top = gs_ptr = 0x4000;
  gs_botfree = first;
  gs_tempptr = first;
  zetex_reserve_count = 0;
  zetex_cursor = 0;
  zetex_alloc_cnt = 0;
  zetex_initialised = 1;
  // The streams make textures resident and set them through these rows.
  zerndrstream_mtl_if.tex_accomodate = ZeTexAccomodateRS;
  zerndrstream_mtl_if.tex_set = ZeTexSet;
  zerndrstream_mtl_if.tex_get_tex0 = ZeTexGetTex0;
  zerndrstream_mtl_if.tex_gs_top = [] { return gs_top; };
  return 1;
}

int ZeTexInit() {
  if (!g_heapSlots) g_heapSlots = static_cast<ZETEXSLOT*>(ZeMemAlloc(ZeTexGetSysBuffSize(TEXINIT_SLOTS)));
  char* p = reinterpret_cast<char*>(g_heapSlots);
  ZeTexInitEx(&p, TEXINIT_SLOTS);
  return TEXINIT_SLOTS;
}

void ZeTexClose() {
  for (int i = 0; i < zetex_slot_count; i++)
    if (zetex_slots[i].flags & ZETEXSLOT_INUSE) ZeTexDestroy(i + 1);
  zetex_cursor = 0;
  zetex_alloc_cnt = 0;
  zetex_initialised = 0;
}

// ---- creation and destruction ---------------------------------------------------

ZETEXID ZeTexCreate(ZETEX* image) { return ZeTexCreateEx(image, nullptr, nullptr); }

ZETEXID ZeTexCreateEx(ZETEX* image, void* regionStart, void* regionEnd) {
  ZeDisableVBlank();
  const int i = Create(image, regionStart, regionEnd);
  ZeEnableVBlank();
  if (i < 0) {
    ZeError("Unable to allocate texture");
    return 0;
  }
  return i + 1;
}

ZETEXID ZeTexCreateStream(ZETEX* image) {
  const int i = Create(image, nullptr, nullptr);
  return i < 0 ? 0 : i + 1;
}

void ZeTexDestroy(ZETEXID id) {
  if (id <= 0) return;
  ZETEXSLOT* s = ZeTexSlotOf(id);
  if (!s) ZeError("ZeTexDestroy: texture id %d out of range", id);
  if (!(s->flags & ZETEXSLOT_INUSE)) {
    // Destroying twice would free the packets twice: refuse.
    ZeDebugMsg("ZeTexDestroy: texture %d already released", id);
    return;
  }
  if (!(s->flags & ZETEXSLOT_NOTOWNED)) ZePs2TxDestroy(&s->ps2);
  s->flags = uint16_t(s->flags & ~ZETEXSLOT_INUSE);
  zetex_alloc_cnt--;
}

int16_t ZeTexRef(ZETEXID id) {
  ZETEXSLOT* s = ZeTexSlotOf(id);
  return s ? ++s->refcount : 0;
}

int16_t ZeTexUnRef(ZETEXID id) {
  ZETEXSLOT* s = ZeTexSlotOf(id);
  return s ? --s->refcount : 0;
}

// ---- queries --------------------------------------------------------------------

int ZeTexType(ZETEXID id) {
  ZETEXSLOT* s = ZeTexSlotOf(id);
  return s ? s->tex.type : 0;
}

int ZeTexWidth(ZETEXID id) {
  ZETEXSLOT* s = ZeTexSlotOf(id);
  return s ? s->tex.width : 0;
}

int ZeTexHeight(ZETEXID id) {
  ZETEXSLOT* s = ZeTexSlotOf(id);
  return s ? s->tex.height : 0;
}

int ZeTexHasAlpha(ZETEXID id) {
  ZETEXSLOT* s = ZeTexSlotOf(id);
  if (!s) return 0;
  switch (s->tex.type) {
    case ZETEX_RGBA16: case ZETEX_RGBA32: case ZETEX_PAL4: case ZETEX_PAL8: case ZETEX_PAL4_SWZ: case ZETEX_PAL8_SWZ:
      return 1;
    default: return 0;
  }
}

int ZeTexGetPointers(ZETEXID id, ZETEXSLOT** slot, ZEPS2TEX** ps2) {
  ZETEXSLOT* s = ZeTexLiveSlot(id);
  if (slot) *slot = s;
  if (ps2) *ps2 = s ? &s->ps2 : nullptr;
  return s ? 1 : 0;
}

int ZeTexGetTextAddr(ZETEXID id) {
  ZETEXSLOT* s = ZeTexLiveSlot(id);
  return s ? ZeTexAddr(s) : 0;
}

uint64_t ZeTexGetTex0(ZETEXID id, ZETEXID palette) {
  ZETEXSLOT* s = ZeTexLiveSlot(id);
  if (!s) return 0;
  if (palette > 0) {
    ZETEXSLOT* p = ZeTexLiveSlot(palette);
    if (!p) return 0;
    return Ps2TxGetTex0(&s->ps2, &p->ps2);
  }
  return Ps2TxGetTex0(&s->ps2, nullptr);
}

int ZeTexGetReqSize(ZETEXID id, int level) {
  ZETEXSLOT* s = ZeTexSlotOf(id);
  if (!s) return 0;
  const int type = s->tex.type;
  if (type == ZETEX_NRMMAP_SRC || type < 0 || type >= ZETEX_TYPE_COUNT) {
    ZeError("Unknown tex type in get req size.");
    return 0;
  }
  if (type >= ZETEX_RT_T8) return int(s->ps2.level_size[0]) * 256;
  if (level < 0 || level >= ZEPS2TEX_LEVELS) return 0;
  return int(s->ps2.level_size[level]);
}

// ---- sizes ------------------------------------------------------------------------

int ZeTexPixelSize(int type) {
  switch (type) {
    case ZETEX_RGB16: case ZETEX_RGBA16: return 16;
    case ZETEX_RGB24: return 24;
    case ZETEX_RGBA32: return 32;
    case ZETEX_PAL4: return 4;
    case ZETEX_PAL8: case ZETEX_NRMMAP_SRC: return 8;
    default: return 0;
  }
}

// Rows hold whole bytes (as the bitmap reader keeps them): a 4-bit image of
// an odd width, such as a 1 x 1 one, still has a byte per row.
int ZeTexImgSize(int type, int w, int h) { return int(int64_t(h) * ((int64_t(w) * ZeTexPixelSize(type) + 7) / 8)); }

int ZeTexImgSizeMM(int type, int w, int h, int n) {
  int total = 0;
  for (int i = 0; i <= n && i < 31; i++) total += ZeTexImgSize(type, w >> i, h >> i);
  return total;
}

int ZeTexPalSize(int type) {
  if (type == ZETEX_PAL4) return 64;
  if (type == ZETEX_PAL8 || type == ZETEX_NRMMAP_SRC) return 1024;
  return 0;
}

int ZeTexAlphaBits(int type) {
  if (type == ZETEX_RGBA16) return 4;
  if (type == ZETEX_RGBA32) return 8;
  return 0;
}

// ---- video memory -------------------------------------------------------------------

int ZeTexReserve(int bytes) {
  if (zetex_reserve_count >= ZETEX_MAX_RESERVE) return 0;
  const int addr = RoundPage(gs_botfree);
  const int top = addr + (bytes + 255) / 256;
  // A reservation past the top of video memory would be overwritten by
  // the uploads: refuse it.
  if (bytes < 0 || top > gs_top) {
    ZeDebugMsg("ZeTexReserve: %d bytes do not fit in video memory", bytes);
    return 0;
  }
  g_reserve[zetex_reserve_count++] = gs_botfree;
  gs_botfree = top;
  return addr;
}

void ZeTexUnReserve() {
  if (zetex_reserve_count > 0) gs_botfree = g_reserve[--zetex_reserve_count];
}

void ZeTexAssignAddr(ZETEXID id, int addr) {
  if (ZETEXSLOT* s = ZeTexSlotOf(id)) s->ps2.fixed_addr = addr;
}

void ZeTexSetTempAddr(ZETEXID id, int addr) { ZeTexAssignAddr(id, addr); }

void ZeTexFlushTemp() { gs_tempptr = gs_botfree; }

void ZeTexAssignTempAddr(ZETEXID id) {
  ZETEXSLOT* s = ZeTexSlotOf(id);
  if (!s) return;
  gs_tempptr = RoundPage(gs_tempptr);
  s->ps2.fixed_addr = gs_tempptr;
  gs_tempptr += int(s->ps2.level_size[0]);
}

void ZeTexCloneTempAddr(ZETEXID dst, ZETEXID src) {
  ZETEXSLOT* d = ZeTexSlotOf(dst);
  ZETEXSLOT* s = ZeTexSlotOf(src);
  if (d && s) d->ps2.fixed_addr = s->ps2.fixed_addr;
}

void ZeTexCloneZbufferAddr(ZETEXID id) {
  ZETEXSLOT* s = ZeTexSlotOf(id);
  if (!s) return;
  uint64_t z;
  ZePs2GetCurrentZBuffer(&z);
  s->ps2.fixed_addr = int(z & 0x1ff) * 32;
}

uint32_t* ZeTexAccomodate(uint32_t* p, ZETEXID id, int firstlevel) {
  if (id <= 0) return p;
  ZETEXSLOT* s = ZeTexSlotOf(id);
  if (txupload_on) {
    if (!s || !(s->flags & ZETEXSLOT_INUSE)) ZeError("Attempted to accomodate released texture");
    if (s->tex.type >= ZETEX_RT_T8) return p;
    const int size = s->ps2.vram_size;
    // Larger than all free video memory, it would run into the
    // reservations and the display buffers: refuse it.
    if (size > gs_top - gs_botfree)
      ZeError("Texture %d needs %d blocks of video memory; %d are free", id, size, gs_top - gs_botfree);
    if (gs_ptr - size < gs_botfree) gs_ptr = gs_top;
    p = ZePs2TxGenUpload(p, &s->ps2, gs_ptr, firstlevel);
    gs_ptr -= size;
    return p;
  }
  if (s && (s->flags & ZETEXSLOT_INUSE) &&
      ((s->tex.type >= 0 && s->tex.type <= ZETEX_RT_T8H) || s->tex.type == ZETEX_RT_T8HB)) {
    gs_ptr = gs_top;
    p = ZePs2TxUploadPal(p, &s->ps2, gs_ptr);
  }
  return p;
}

void ZeTexAccomodateRS(ZERNDRSTREAM* stream, ZETEXID id, int firstlevel) {
  gs_ptr = int(stream->vram_top);
  stream->write = ZeTexAccomodate(stream->write, id, firstlevel);
  stream->vram_top = uint32_t(gs_ptr);
}

int zerndr_pixel_width = 640, zerndr_pixel_height = 224, zerndr_pixel_p2w = 10, zerndr_pixel_p2h = 8;
