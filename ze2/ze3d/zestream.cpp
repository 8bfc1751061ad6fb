// zestream: render streams: the stream pool and the nine frame streams, the
// two stream buffers, the segment link protocol, the flush that links the
// streams into the frame chain, the frame kick, and material, texture,
// effect-program and z-buffer changes inside a stream.
#include "zestream_local.h"

#include <cstring>

ZERNDRSTREAM rndrstream_pool[ZERNDRSTREAM_POOL_SIZE];
int rndrstream_count = 0;
ZERNDRSTREAM* rndrstream_sorted[ZERNDRSTREAM_POOL_SIZE];

ZERNDRSTREAM* rndrstream_system = nullptr;
ZERNDRSTREAM* rndrstream_mtl_sort = nullptr;
ZERNDRSTREAM* rndrstream_faceon = nullptr;
ZERNDRSTREAM* rndrstream_3d_u = nullptr;
ZERNDRSTREAM* rndrstream_3d_l = nullptr;
ZERNDRSTREAM* rndrstream_2d = nullptr;
ZERNDRSTREAM* rndrstream_ptl = nullptr;
ZERNDRSTREAM* rndrstream_fx = nullptr;
ZERNDRSTREAM* rndrstream_ot_sort = nullptr;
ZERNDRSTREAM* rndrstream_3d = nullptr;

uint8_t* rndrstream_buffer[2] = {nullptr, nullptr};
int rndrstream_buffer_size = 0;
int rndrstream_frame_index = 0;
uint32_t rndrstream_frame_count = 0;
uint32_t* frame_base = nullptr;
uint32_t* rndrstream_free = nullptr;
uint32_t* rndrstream_start = nullptr;
uint32_t* rndrstream_end = nullptr;
uint32_t* txtrstream_start = nullptr;
uint32_t* txtrstream_end = nullptr;
uint32_t* rndrstream_fx_microcode = vu_load_fx_mpg;
int rndrstream_zb_set = 0;
alignas(16) uint32_t rndrstream_zb_packet[12];

// ---- what the streams ask of materials and textures ---------------------

namespace {

[[noreturn]] void Missing(const char* name) {
  ZeError("Render streams: %s is not available (the texture table or the materials have not started)", name);
  __builtin_unreachable();
}
int MissingMtlValid(ZEMTL*) { Missing("ZeMtlValid"); }
void* MissingMtlStateBlock(ZEMTL*) { Missing("ZeMtlGetStateBlockDma"); }
int MissingMtlZupd(ZEMTL*) { Missing("ZeMtlGetZupd"); }
ZETEXID MissingMtlTexture(ZEMTL*) { Missing("the material's texture"); }
int MissingMtlTexFlag(ZEMTL*) { Missing("the material's texture flag"); }
uint32_t MissingMtlFrameMask(ZEMTL*) { Missing("the material's frame write mask"); }
void MissingTexAccomodate(ZERNDRSTREAM*, ZETEXID, int) { Missing("ZeTexAccomodateRS"); }
uint32_t* MissingTexSet(uint32_t*, ZETEXID, int) { Missing("ZeTexSet"); }
uint64_t MissingTexGetTex0(ZETEXID, ZETEXID) { Missing("ZeTexGetTex0"); }
// Before the texture table starts its upload area ends at the top of VRAM.
int DefaultGsTop() { return 0x4000; }

constexpr ZERNDRSTREAMMTLIF MISSING_IF = {
    MissingMtlValid,  MissingMtlStateBlock, MissingMtlZupd, MissingMtlTexture,  MissingMtlTexFlag,
    MissingMtlFrameMask, MissingTexAccomodate, MissingTexSet, MissingTexGetTex0, DefaultGsTop,
};

}  // namespace

ZERNDRSTREAMMTLIF zerndrstream_mtl_if = MISSING_IF;

void ZeRndrStreamMtlIfReset() { zerndrstream_mtl_if = MISSING_IF; }

// ---- buffer space ----------------------------------------------------------

namespace {

uint8_t* BufferEnd() { return rndrstream_buffer[rndrstream_frame_index] + rndrstream_buffer_size; }

[[noreturn]] void Overflow() {
  ZeError("Stream buffer overflow - crash soon");
  __builtin_unreachable();
}

uint32_t* Align16(void* p) {
  return reinterpret_cast<uint32_t*>((reinterpret_cast<uintptr_t>(p) + 15) & ~uintptr_t(15));
}

}  // namespace

void ZeRndrStreamCheckSpace(const void* p, int bytes) {
  const uint8_t* at = static_cast<const uint8_t*>(p);
  if (bytes < 0 || at > BufferEnd() || BufferEnd() - at < bytes) Overflow();
}

uint32_t* ZeRndrStreamCopyQwords(uint32_t* p, const uint32_t* src, int qwords) {
  memcpy(p, src, size_t(qwords) * 16);
  return p + qwords * 4;
}

// ---- the pool and the frame streams --------------------------------------

namespace {

void ResetRecord(ZERNDRSTREAM* s, int full) {
  s->first = nullptr;
  s->write = nullptr;
  s->tex_first = nullptr;
  s->tex_last = nullptr;
  if (full) {
    s->vram_top = zerndrstream_mtl_if.tex_gs_top();
    s->local_mtx_id = -2;
    s->view_mtx_id = s->scissor_id = s->xyoffset_id = s->spare_id = -2;
    s->state_block = nullptr;
    s->tid = 0;
  }
}

}  // namespace

ZERNDRSTREAM* ZeRndrStreamAllocStream(uint32_t sortKey, uint32_t* program, uint32_t flags) {
  if (rndrstream_count == ZERNDRSTREAM_POOL_SIZE) return nullptr;
  ZERNDRSTREAM* s = &rndrstream_pool[rndrstream_count];
  memset(s, 0, sizeof *s);
  ResetRecord(s, 1);
  s->sort_key = sortKey;
  s->program = program;
  s->flags = flags;
  // Before the first record whose key is not above this one: among equal
  // keys the newer stream goes first.
  int at = 0;
  while (at < rndrstream_count && rndrstream_sorted[at]->sort_key > sortKey) at++;
  for (int i = rndrstream_count; i > at; i--) rndrstream_sorted[i] = rndrstream_sorted[i - 1];
  rndrstream_sorted[at] = s;
  rndrstream_count++;
  return s;
}

void ZeRndrStreamInit(int bufferSize) {
  // The link reserve must leave room for a frame.
  if (bufferSize < 2 * ZERNDRSTREAM_LINK_RESERVE)
    ZeError("ZeRndrStreamInit: a stream buffer of %d bytes is too small", bufferSize);
  // Starting again releases what the last start took.
  ZeRndrStreamClose();
  rndrstream_buffer_size = bufferSize;
  for (uint8_t*& b : rndrstream_buffer) {
    b = static_cast<uint8_t*>(ZeMemAllocFn(bufferSize, __FILE__, __LINE__));
    memset(b, 0, size_t(bufferSize));
  }
  rndrstream_system = ZeRndrStreamAllocStream(0x7fffffff, nullptr, 0);
  rndrstream_mtl_sort = ZeRndrStreamAllocStream(0x1000000, nullptr, 0x3d);
  rndrstream_faceon = ZeRndrStreamAllocStream(0x1000000, vu_load_faceon_mpg, 0x3c);
  rndrstream_3d_u = ZeRndrStreamAllocStream(0x10000000, vu_load_tricu_mpg, 0x3c);
  rndrstream_3d_l = ZeRndrStreamAllocStream(0x10000000, vu_load_tric_mpg, 0x3d);
  rndrstream_2d = ZeRndrStreamAllocStream(0x100000, nullptr, 0x10);
  rndrstream_ptl = ZeRndrStreamAllocStream(0xffffff, vu_load_ptl_mpg, 0x3c);
  rndrstream_fx = ZeRndrStreamAllocStream(0xffffff, vu_load_fx_mpg, 0x3c);
  rndrstream_ot_sort = ZeRndrStreamAllocStream(0xffffff, nullptr, 0x3d);
  rndrstream_3d = rndrstream_3d_l;
  rndrstream_fx_microcode = vu_load_fx_mpg;
  rndrstream_frame_index = 0;
  ZeRndrStreamBeginFrame();
}

void ZeRndrStreamClose() {
  for (uint8_t*& b : rndrstream_buffer) {
    if (b) ZeMemFreeFn(b, __FILE__, __LINE__);
    b = nullptr;
  }
  // Nothing may write into the buffers given back.
  rndrstream_count = 0;
  rndrstream_buffer_size = 0;
  frame_base = rndrstream_free = nullptr;
  rndrstream_start = rndrstream_end = txtrstream_start = txtrstream_end = nullptr;
}

// ---- frames ----------------------------------------------------------------

void ZeRndrStreamBeginFrame() {
  if (++rndrstream_frame_count == 0) rndrstream_frame_count = 1;  // 0 marks "none"
  rndrstream_free = Align16(rndrstream_buffer[rndrstream_frame_index]);
  frame_base = rndrstream_free;
  rndrstream_start = rndrstream_end = nullptr;
  txtrstream_start = txtrstream_end = nullptr;
  ZeRndrStreamResetStreams(1);

  // The frame's first packet: primitive attributes come from PRMODE.
  ZERNDRSTREAM* s = rndrstream_system;
  ZeRndrStreamLink(s);
  uint32_t* tag = s->write;
  uint32_t* p = vpDmaTag_CntEx(tag, VIFCODE_FLUSHA, 0);
  vtBeginDirect(tag + 3, 0);
  p = gsBeginGifPacket(p, 0, 1, 0, 0, GIF_FLG_PACKED, 1, GIF_REG_AD);
  const uint64_t ad[2] = {0, GS_PRMODECONT};
  memcpy(p, ad, 16);
  p = vpDmaTag_Close(vtCloseDirect(gsCloseGifPacket(p + 4)));
  s->write = p;
  rndrstream_free = vpDmaTag_Next(p, nullptr);

  rndrstream_zfix = 0.0f;
  ZeMtxSetIdentity(&rndrstream_zfix_mtx);
}

void ZeRndrSwapStreamBuffers() {
  rndrstream_frame_index = (rndrstream_frame_index + 1) % 2;
  ZeRndrStreamBeginFrame();
}

void* ZeStreamGetOutputBuffer(int index) { return rndrstream_buffer[index == 0 ? 0 : 1]; }

// ---- writing ---------------------------------------------------------------

void ZeRndrStreamLink(ZERNDRSTREAM* s) {
  uint32_t* free = rndrstream_free;
  // A writer may write up to the reserve after its link: fail here, before
  // it runs past the buffer.
  ZeRndrStreamCheckSpace(free, ZERNDRSTREAM_LINK_RESERVE);
  if (!s->first) s->first = free;
  else s->write.get()[1] = EeAddrOf(free);
  // A stream whose open tag ends just before free continues its segment
  // over that tag.
  if (s->write.get() != free - 4) s->write = free;
}

void* ZeRndrStreamAlloc(int quadwords) {
  if (quadwords < 0) ZeError("ZeRndrStreamAlloc: %d quadwords", quadwords);
  ZeRndrStreamCheckSpace(rndrstream_free, quadwords * 16);
  uint32_t* p = rndrstream_free;
  rndrstream_free += quadwords * 4;
  return p;
}

void ZeRndrStreamResetStreams(int full) {
  for (int i = 0; i < rndrstream_count; i++) {
    ResetRecord(&rndrstream_pool[i], full);
    rndrstream_pool[i].mtl = nullptr;
  }
  rndrstream_rt_light_addr = nullptr;
  rndrstream_rt_spec_addr = nullptr;
  rndrstream_fx_mtx_addr = nullptr;
  rndrstream_fx_microcode = vu_load_fx_mpg;
}

void ZeRndrStreamResetStream(ZERNDRSTREAM* s, int full) { ResetRecord(s, full); }

// ---- the flush -------------------------------------------------------------

namespace {

constexpr uint32_t TAG_ID_MASK = 0x70000000u;
constexpr uint32_t TAG_IRQ = 0x80000000u;

void SetId(uint32_t* tag, uint32_t id, bool keepIrq) {
  uint32_t keep = keepIrq ? (tag[0] & TAG_IRQ) : 0;
  tag[0] = (tag[0] & ~(TAG_ID_MASK | TAG_IRQ)) | id << 28 | keep;
}

}  // namespace

void ZeRndrStreamFlush() {
  if (rndrstream_free > reinterpret_cast<uint32_t*>(BufferEnd())) Overflow();
  const uint32_t* lastProgram = nullptr;
  for (int i = 0; i < rndrstream_count; i++) {
    ZERNDRSTREAM* s = rndrstream_sorted[i];
    if (!s->first) continue;
    // Streams without a program (the material stream, whose materials call
    // their own) leave the last program as it is.
    if (s->program && s->program.get() != lastProgram) {
      ZeRndrStreamCheckSpace(rndrstream_free, 32);
      uint32_t* call = rndrstream_free;
      uint32_t* p = vpDmaTag_Call(call, s->program);
      rndrstream_free = vpDmaTag_Next(p, s->first);
      s->first = call;
      lastProgram = s->program;
    }
    if (!rndrstream_start) {
      rndrstream_start = s->first;
    } else {
      rndrstream_end[1] = EeAddrOf(s->first);
      rndrstream_end[0] = (rndrstream_end[0] & 0x00ffffffu) | 0x20000000u;
    }
    rndrstream_end = s->write;
    if (s->tex_first) {
      if (!txtrstream_start) txtrstream_start = s->tex_first;
      else if (txtrstream_end) {
        txtrstream_end[1] = EeAddrOf(s->tex_first);
        SetId(txtrstream_end, DMATAG_NEXT, true);
      }
      txtrstream_end = s->tex_last;
    }
  }
  // The chain so far ends here; a later flush of the frame turns this tag
  // back into a next tag.
  if (rndrstream_end) {
    rndrstream_end[0] = (rndrstream_end[0] & 0xffffu) | uint32_t(DMAMK_STREAMFLUSHLNK) << 16 | 0x70000000u;
    rndrstream_end[2] = VIFCODE_FLUSHA;
    rndrstream_end[3] = 0;
  }
  if (txtrstream_end) SetId(txtrstream_end, DMATAG_END, true);
  ZeRndrStreamResetStreams(1);
}

// ---- the kick ----------------------------------------------------------------

void ZeRndrVu1Draw() {
  FlushCache(0);  // the DMA controller reads memory, not the cache
  if (txtrstream_start) GS_DmaWrite(txtrstream_start);
  // A frame with nothing flushed has no chain to start.
  if (rndrstream_start) VU1_DmaWrite(rndrstream_start);
  tbslotReset(nullptr, 1);
  tbslotBeginFn(nullptr, 1);
  tbslotReset(nullptr, 0);
  tbslotBeginFn(nullptr, 0);
}

void iZeRndrVu1Draw() {
  iFlushCache(0);
  if (txtrstream_start) GS_DmaWrite(txtrstream_start);
  if (rndrstream_start) VU1_DmaWrite(rndrstream_start);
}

// ---- materials, textures and effect programs ---------------------------------

int ZeRndrStreamAddMtl(ZERNDRSTREAM* s, ZEMTL* mtl) {
  if (!mtl) {
    s->mtl = nullptr;
    return 1;
  }
  const ZERNDRSTREAMMTLIF& f = zerndrstream_mtl_if;
  if (!f.mtl_valid(mtl)) return 0;
  if (s->mtl.get() == mtl) return 1;
  if (s->flags & ZERNDRSTREAM_MTL) {
    ZETEXID tex = f.mtl_texture(mtl);
    if (tex != s->tid) {
      s->tid = tex;
      f.tex_accomodate(s, tex, 0);
      s->write = f.tex_set(s->write, tex, f.mtl_tex_flag(mtl));
    }
    ZeRndrStreamCheckSpace(s->write, 16 + 48);
    uint32_t* p = vpDmaTag_Call(s->write, f.mtl_state_block(mtl));
    s->write = ZeRndrStreamAddZBState(p, f.mtl_zupd(mtl));
  }
  s->mtl = mtl;
  return 1;
}

uint64_t ZeRndrStreamAddTex(ZERNDRSTREAM* s, ZETEXID tex, int flag) {
  const ZERNDRSTREAMMTLIF& f = zerndrstream_mtl_if;
  // The stream's texture is this one now: a later material with it needs
  // no set-up of its own.
  s->tid = tex;
  f.tex_accomodate(s, tex, 0);
  s->write = f.tex_set(s->write, tex, flag);
  return f.tex_get_tex0(tex, 0);
}

void ZeRndrStreamFxMPG(int type) { ZeRndrStreamFxMPGEx(type, rndrstream_fx); }

void ZeRndrStreamFxMPGEx(int type, ZERNDRSTREAM* s) {
  uint32_t* program;
  switch (type) {
    case 1: program = vu_load_fx2_mpg; break;
    case 2: program = vu_load_fog_mpg; break;
    case 3: program = vu_load_tricu_mpg; break;
    case 4: program = vu_load_tric_mpg; break;
    case 5: program = vu_load_fx3_mpg; break;
    default: program = vu_load_fx_mpg; break;
  }
  if (program == rndrstream_fx_microcode) return;
  ZeRndrStreamCheckSpace(s->write, 16);
  s->write = vpDmaTag_Call(s->write, program);
  rndrstream_fx_microcode = program;
}

// ---- the z-buffer state --------------------------------------------------------

void ZeRndrStreamClearZBState() { rndrstream_zb_set = 0; }

void ZeRndrStreamSetZBState(int zbase, int psm, int mask) {
  // Built by hand: the open-packet pointers belong to whoever is writing.
  uint32_t* p = rndrstream_zb_packet;
  p[0] = 2 | uint32_t(DMAMK_BEGINSCENE_ZBS) << 16 | uint32_t(DMATAG_CNT) << 28;
  p[1] = 0;
  p[2] = VIFCODE_FLUSH;
  p[3] = VIFCODE_DIRECT | 2;
  const uint64_t giftag[2] = {1 | uint64_t(1) << 15 | uint64_t(GIF_FLG_PACKED) << 58 | uint64_t(1) << 60,
                              GIF_REG_AD};
  memcpy(p + 4, giftag, 16);
  const uint64_t zbuf = uint64_t((zbase >> 5) & 0x1ff) | uint64_t(psm & 0xf) << 24 | uint64_t(mask & 1) << 32;
  const uint64_t ad[2] = {zbuf, GS_ZBUF_1};
  memcpy(p + 8, ad, 16);
  rndrstream_zb_set = 1;
}

uint32_t* ZeRndrStreamAddZBState(uint32_t* p, int zwrite) {
  if (!rndrstream_zb_set) return p;
  memcpy(p, rndrstream_zb_packet, 48);
  p[9] = zwrite ? 0 : 0xffffffffu;  // the upper word of ZBUF: ZMSK
  return p + 12;
}

uint32_t* ZeRndrStreamAddZBStateNoDmaTag(uint32_t* p, int zwrite) {
  if (!rndrstream_zb_set) return p;
  memcpy(p, rndrstream_zb_packet + 4, 32);
  p[5] = zwrite ? 0 : 0xffffffffu;
  return p + 8;
}

void CheckRndrStream() {
  for (int b = 0; b < 2; b++) {
    if (!rndrstream_buffer[b]) continue;
    for (int i = 0; i < rndrstream_buffer_size; i++)
      if (rndrstream_buffer[b][i]) ZeDebugMsg(b == 0 ? "trashed stream a" : "trashed stream b");
  }
}
