// zetexset: the packets that select a texture (or a display buffer) for
// drawing, make a texture the render target or the z buffer, and apply a
// material's sampling; palette changes for one frame, made in the frame's
// stream memory.
#include "ze3d.h"
#include "zecore.h"
#include "zetex_local.h"

#include <cstring>

// ---- drawing state -------------------------------------------------------------------

namespace {

// A cnt packet of A+D writes on path 2: tag (flush, DIRECT), GIF tag.
uint32_t* OpenAd(uint32_t* p, uint32_t flush, int marker) {
  uint32_t* tag = p;
  p = vpDmaTag_CntEx(p, flush, 0);
  tag[0] |= uint32_t(marker) << 16;
  vtBeginDirect(tag + 3, 0);
  return gsBeginGifPacket(p, 0, 1, 0, 0, GIF_FLG_PACKED, 1, GIF_REG_AD);
}

uint32_t* CloseAd(uint32_t* p) { return vpDmaTag_Close(vtCloseDirect(gsCloseGifPacket(p))); }

}  // namespace

uint32_t* ZeTexSet(uint32_t* p, ZETEXID id, int context) {
  if (id == 0) return p;
  if (id < 0) {
    p = OpenAd(p, VIFCODE_FLUSH, 0);
    p = Ps2TxSetSurfaceStateData(p, id);
    return CloseAd(p);
  }
  ZETEXSLOT* s = ZeTexLiveSlot(id);
  if (!s) ZeError("Attempted to set released texture");
  p = OpenAd(p, VIFCODE_FLUSHA, DMAMK_TXTRSET);
  p = Ps2TxSetStateData(p, &s->ps2, nullptr, context);
  return CloseAd(p);
}

uint32_t* ZeTexSetPal(uint32_t* p, ZETEXID id, ZETEXID palette, int context) {
  if (id <= 0 || palette <= 0) return p;
  ZETEXSLOT* s = ZeTexLiveSlot(id);
  ZETEXSLOT* c = ZeTexLiveSlot(palette);
  if (!s || !c) ZeError("Attempted to set released texture");
  p = OpenAd(p, VIFCODE_FLUSHA, DMAMK_TXTRSET);
  p = Ps2TxSetStateData(p, &s->ps2, &c->ps2, context);
  return CloseAd(p);
}

uint32_t* ZeTexSetZBuffer(uint32_t* p, ZETEXID id) {
  ZETEXSLOT* s = ZeTexLiveSlot(id);
  if (!s) return p;
  ZeRndrStreamSetZBState(ZeTexAddr(s), s->ps2.psm, 0);
  return ZeRndrStreamAddZBState(p, 1);
}

uint32_t* ZeTexSetRenderTarget(uint32_t* p, ZETEXID id) {
  ZETEXSLOT* s = ZeTexLiveSlot(id);
  if (!s) return p;
  uint64_t frame = cur_rt;
  frame = (frame & ~uint64_t(0x1ff)) | uint64_t((ZeTexAddr(s) / 32) & 0x1ff);
  frame = (frame & ~(uint64_t(63) << 16)) | uint64_t(s->ps2.level_tbw[0] & 63) << 16;
  frame = (frame & ~(uint64_t(63) << 24)) | uint64_t(s->ps2.psm & 63) << 24;
  cur_rt = frame;
  p = OpenAd(p, VIFCODE_FLUSHA, DMAMK_BEGINSCENE_FBT);
  p = ZeTexPutAd(p, 0, GS_TEXFLUSH);
  p = ZeTexPutAd(p, frame, GS_FRAME_1);
  p = CloseAd(p);
  zerndr_pixel_width = s->tex.width;
  zerndr_pixel_height = s->tex.height;
  zerndr_pixel_p2w = s->ps2.tw;
  zerndr_pixel_p2h = s->ps2.th;
  return p;
}

uint32_t* ZeTexWriteMaterialSettings(uint32_t* p, const ZEMTL* m) {
  static constexpr uint8_t MMAG[4] = {0, 1, 1, 0};
  static constexpr uint8_t MMIN[4] = {0, 1, 5, 4};
  const int filter = int(m->attributes >> 4) & 3;
  int mxl = 0;
  if (m->texture > 0 && filter == 2) {
    ZETEXSLOT* s = ZeTexSlotOf(m->texture);
    mxl = s && s->ps2.levels > 0 ? s->ps2.levels - 1 : 0;
  }
  int l = m->mip_l, k = m->mip_k;
  if (zemtl_force_mipmap) {
    l = 0;    // sys_mm_l
    k = -69;  // sys_mm_k
  }
  const uint64_t tex1 = uint64_t(mxl & 7) << 2 | uint64_t(MMAG[filter]) << 5 | uint64_t(MMIN[filter]) << 6 |
                        uint64_t(l & 3) << 19 | uint64_t(uint32_t(k) & 0xfff) << 32;
  // Wrap mode 1 clamps; every other value repeats.
  const uint64_t wms = ((m->attributes >> 8) & 3) == 1 ? 1 : 0;
  const uint64_t wmt = ((m->attributes >> 10) & 3) == 1 ? 1 : 0;
  p = ZeTexPutAd(p, 1, GS_TEXFLUSH);
  p = ZeTexPutAd(p, tex1, m->context ? GS_TEX1_2 : GS_TEX1_1);
  return ZeTexPutAd(p, wms | wmt << 2, m->context ? GS_CLAMP_2 : GS_CLAMP_1);
}

void ZeTexSetTFXMode(ZETEXID id, int mode) {
  if (ZETEXSLOT* s = ZeTexSlotOf(id)) Ps2TxSetTFXMode(&s->ps2, uint8_t(mode));
}

void ZeTexPalChange(ZETEXID id, const uint32_t* colours) {
  if (ZETEXSLOT* s = ZeTexSlotOf(id)) ZePs2ChangeTexPal(&s->ps2, colours);
}

void ZeTexPalChangeStreamTemp(ZETEXID id, const uint32_t* colours) {
  if (ZETEXSLOT* s = ZeTexSlotOf(id)) ZePs2ChangeTexPalStreamTemp(&s->ps2, colours);
}


// ---- palettes for one frame ----------------------------------------------------

namespace {

// A copy of the palette packet in this frame's stream memory, made the
// override; null when the texture has no palette.
uint8_t* TempPalette(ZEPS2TEX* r) {
  if (!r->pal_packet) return nullptr;
  auto* copy = static_cast<uint32_t*>(ZeRndrStreamAlloc((r->pal_size + 15) / 16));
  memcpy(copy, r->pal_packet.get(), ZEPS2_PAL_HEADER);
  r->pal_override = copy;
  r->override_frame = rndrstream_frame_count;
  return reinterpret_cast<uint8_t*>(copy) + ZEPS2_PAL_HEADER;
}

}  // namespace

void ZePs2ChangeTexPalStreamTemp(ZEPS2TEX* r, const uint32_t* colours) {
  uint8_t* entries = TempPalette(r);
  if (!entries) return;
  const int n = ZeTexPalEntries(r);
  ZeTexWritePalEntries(entries, reinterpret_cast<const uint8_t*>(colours), n);
  memset(entries + n * 4, 0, ZEPS2_PAL_SPARE);
}

void ZePs2TintTexPalStreamTemp(ZEPS2TEX* r, uint32_t tint) {
  if (!r->pal_packet) return;
  const uint8_t* own = reinterpret_cast<const uint8_t*>(r->pal_packet.get()) + ZEPS2_PAL_HEADER;
  const int n = ZeTexPalEntries(r);
  uint8_t* entries = TempPalette(r);
  for (int i = 0; i < n * 4; i++) {
    unsigned t = (tint >> (8 * (i & 3))) & 0xff;
    unsigned v = unsigned(own[i]) * t / 128;
    entries[i] = uint8_t(v > 255 ? 255 : v);
  }
  memset(entries + n * 4, 0, ZEPS2_PAL_SPARE);
}

