// zetexps2: the platform side of textures. An image becomes a GS pixel
// format, one prebuilt upload packet per mip level and a prebuilt palette
// packet; making a texture resident DMA-calls them after a small packet that
// sets the destination. Also render-target textures, the GS texture
// registers that select a texture, and palette changes.
#include "ze3d.h"
#include "zecore.h"
#include "zetex_local.h"

#include <cstring>

int zetex_force_quantisation = 0;
int zemtl_force_mipmap = 0;
int zetex_force_overbrighten = 0;

// ---- formats ---------------------------------------------------------------

const ZETEXFMT zetex_fmt[8] = {
    // psm      xfer     vram src tcc texa pagew pageh pal
    {PSMCT16, PSMCT16, 16, 16, 1, 1, 64, 64, 0},
    {PSMCT16, PSMCT16, 16, 16, 1, 1, 64, 64, 0},
    {PSMCT24, PSMCT24, 32, 24, 0, 1, 64, 32, 0},
    {PSMCT32, PSMCT32, 32, 32, 1, 0, 64, 32, 0},
    {PSMT4, PSMT4, 4, 4, 1, 0, 128, 128, 16},
    {PSMT8, PSMT8, 8, 8, 1, 0, 128, 64, 256},
    {PSMT4, PSMCT32, 32, 32, 1, 0, 64, 32, 16},
    {PSMT8, PSMCT32, 32, 32, 1, 0, 64, 32, 256},
};

namespace {

// Render-target formats (types 8-19 and 21).
struct RTFMT {
  uint8_t psm, tcc, texa, pagew, bytes, ramp, reserve;
};
constexpr RTFMT RT_NONE = {0, 0, 0, 0, 0, 0, 0};
constexpr RTFMT RT_FMT[ZETEX_TYPE_COUNT] = {
    RT_NONE, RT_NONE, RT_NONE, RT_NONE, RT_NONE, RT_NONE, RT_NONE, RT_NONE,
    {PSMT8, 1, 0, 128, 2, 1, 0},   {PSMT8, 1, 0, 128, 2, 1, 0},   {PSMT8H, 1, 0, 64, 2, 1, 0},
    {PSMCT32, 1, 0, 64, 4, 0, 1},  {PSMCT24, 0, 1, 64, 4, 0, 1},  {PSMCT16, 1, 2, 64, 2, 0, 1},
    {PSMCT32, 1, 0, 64, 4, 0, 0},  {PSMCT24, 0, 1, 64, 4, 0, 0},  {PSMCT16, 1, 2, 64, 2, 0, 0},
    {PSMZ32, 1, 0, 64, 4, 0, 0},   {PSMZ24, 0, 1, 64, 4, 0, 0},   {PSMZ16, 1, 2, 64, 2, 0, 0},
    RT_NONE,                       {PSMT8H, 1, 0, 64, 2, 1, 0},
};

// Block offsets of 8-texel-wide PSMT4 levels by height / 8.
constexpr uint8_t T4_NARROW_OFFSET[16] = {10, 11, 14, 15, 26, 27, 30, 31, 42, 43, 46, 47, 58, 59, 62, 63};

constexpr int PAGE_BYTES = 8192;
constexpr int CLUT_VRAM = 0x2000;

int RoundUp(int v, int unit) { return (v + unit - 1) / unit * unit; }

// The block offset a small level takes inside the last page of the level
// before it, or -1 when it has pages of its own. 16-bit formats have no
// such offsets: their levels always take their own pages.
int SmallLevelOffset(int psm, int w, int h) {
  switch (psm) {
    case PSMCT32:
    case PSMCT24:
      if (w == 8) return 20;
      if (w == 16) return 16;
      return -1;
    case PSMT8:
      if (w == 8) return 21;
      if (w == 16) return 20;
      if (w == 32) return 16;
      return -1;
    case PSMT4: {
      if (w == 16) return 10;
      if (w == 32) return 8;
      if (w != 8) return -1;
      int e = h / 8 < 1 ? 1 : h / 8;
      // Taller narrow levels are past the offset table: own pages.
      return e < 16 ? T4_NARROW_OFFSET[e] : -1;
    }
    default: return -1;
  }
}

// One source texel of an image of the given type (bits per texel `bits`),
// as its raw bits. Rows hold whole bytes (ZeTexImgSize): a 4-bit texel
// comes from the high nibble for even x, also in rows of an odd width.
uint32_t ReadTexel(const uint8_t* level, int bits, int width, int x, int y) {
  if (bits == 4) {
    uint8_t b = level[size_t(y) * size_t((width + 1) / 2) + size_t(x / 2)];
    return (x & 1) ? (b & 15u) : (b >> 4);
  }
  int n = bits / 8;
  const uint8_t* s = level + (size_t(y) * size_t(width) + size_t(x)) * size_t(n);
  uint32_t v = 0;
  for (int i = 0; i < n; i++) v |= uint32_t(s[i]) << (8 * i);
  return v;
}

// Writes the row of level texels converted to what the GS takes: 24-bit
// B, G, R as R, G, B; 32-bit A, B, G, R as R, G, B, A / 2; 4-bit texels
// left in the low nibble. The GS takes the rectangle's texels as one run
// with no padding between rows, so a 4-bit row of an odd width ends in the
// low half of a byte whose high half starts the next row: `nibble` is the
// texel count written so far, and d stays on a byte that is half full.
uint8_t* WriteRow(uint8_t* d, const ZETEX* img, const uint8_t* src, int srcw, int step, int y, int w, int64_t nibble) {
  const int type = img->type;
  const int bits = zetex_fmt[type].srcbits;
  for (int x = 0; x < w; x++) {
    uint32_t v = ReadTexel(src, bits, srcw, x * step, y * step);
    switch (type) {
      case ZETEX_RGB24:
        *d++ = uint8_t(v >> 16);
        *d++ = uint8_t(v >> 8);
        *d++ = uint8_t(v);
        break;
      case ZETEX_RGBA32: {
        uint8_t a = uint8_t(v);
        *d++ = uint8_t(v >> 24);
        *d++ = uint8_t(v >> 16);
        *d++ = uint8_t(v >> 8);
        *d++ = zetex_force_overbrighten ? a : uint8_t(a >> 1);
        break;
      }
      case ZETEX_PAL4:
        if ((nibble + x) & 1) *d++ |= uint8_t(v << 4);
        else *d = uint8_t(v);
        break;
      default:
        for (int i = 0; i < bits / 8; i++) *d++ = uint8_t(v >> (8 * i));
        break;
    }
  }
  return d;
}

}  // namespace

// ---- packet words -------------------------------------------------------------

uint32_t* ZeTexPutTag(uint32_t* p, int qwc, int id, const void* addr, uint32_t vif0, uint32_t vif1, int marker) {
  p[0] = uint32_t(qwc & 0xffff) | uint32_t(marker & 0xff) << 16 | uint32_t(id) << 28;
  p[1] = addr ? EeAddrOf(addr) : 0;
  p[2] = vif0;
  p[3] = vif1;
  return p + 4;
}

uint32_t* ZeTexPutGifTag(uint32_t* p, int nloop, int eop, int flg, int nreg, uint64_t regs) {
  uint64_t tag = uint64_t(nloop & 0x7fff) | uint64_t(eop & 1) << 15 | uint64_t(flg & 3) << 58 | uint64_t(nreg & 15) << 60;
  memcpy(p, &tag, 8);
  memcpy(p + 2, &regs, 8);
  return p + 4;
}

uint32_t* ZeTexPutAd(uint32_t* p, uint64_t value, int reg) {
  uint64_t r = uint64_t(reg);
  memcpy(p, &value, 8);
  memcpy(p + 2, &r, 8);
  return p + 4;
}

// ---- building -----------------------------------------------------------------

namespace {

enum { LEVEL_REFUSED = 0, LEVEL_BUILT = 1, LEVEL_NOMEM = -1 };

// Builds the upload packet of the next level (Algorithms of the level
// builder): a run of cnt chunks of GS data on path 2, the last one a ret.
int BuildLevel(const ZETEX* img, ZEPS2TEX* r) {
  const int L = r->levels;
  if (img->width <= 0 || img->height <= 0 || L >= ZEPS2TEX_LEVELS) return LEVEL_REFUSED;
  const int w = img->width >> L, h = img->height >> L;
  // Level 0 is the picture itself, whatever its size: refusing it would
  // leave a small texture sampling whatever lies in video memory. Further
  // levels stop at 8 texels, the narrowest a small level's block offset
  // places.
  if (L > 0 && (w < 8 || h < 8)) return LEVEL_REFUSED;
  const ZETEXFMT& f = zetex_fmt[img->type];

  // The source of the level: its own texels, or level 0 point-sampled.
  const uint8_t* src = img->texels;
  int srcw = w, step = 1;
  if (img->mipcount != 0) {
    for (int i = 0; i < L; i++) src += ZeTexLevelBytes(img->type, img->width >> i, img->height >> i);
  } else {
    srcw = img->width;
    step = 1 << L;
  }

  const int tbw = RoundUp(w, f.pagew) / 64;
  int vram = RoundUp(tbw * 64 * (h > f.pageh ? h : f.pageh) * f.vrambits / 8, PAGE_BYTES);
  const int bytes = ZeTexLevelBytes(img->type, w, h);
  const int body = RoundUp(bytes, 16);
  const int size = body + 144 + 32 * ((body + 144 + ZEPS2_CHUNK_BYTES - 1) / ZEPS2_CHUNK_BYTES);
  auto* pkt = static_cast<uint32_t*>(ZeMemAlloc(size));
  if (!pkt) return LEVEL_NOMEM;
  ZeDebugMsg("w:%d h:%d ps:%d mmlev:%d", w, h, f.srcbits, L);

  // Chunks: tag (NOP, DIRECT), [A+D transfer set-up], IMAGE tag, texels.
  uint32_t* tag = pkt;
  uint32_t* p = pkt + 4;
  p = ZeTexPutGifTag(p, 3, 0, GIF_FLG_PACKED, 1, GIF_REG_AD);
  p = ZeTexPutAd(p, 0, GS_TRXPOS);
  p = ZeTexPutAd(p, uint64_t(w) | uint64_t(h) << 32, GS_TRXREG);
  p = ZeTexPutAd(p, 0, GS_TRXDIR);
  uint32_t* image = p;
  p += 4;
  uint8_t* d = reinterpret_cast<uint8_t*>(p);
  uint8_t* chunkData = d;

  auto closeChunk = [&](int id) {
    // Whole quadwords of texels; the tail of the last row is zero-filled.
    while (reinterpret_cast<uintptr_t>(d) & 15) *d++ = 0;
    int qw = int((d - chunkData) / 16);
    ZeTexPutGifTag(image, qw, 1, GIF_FLG_IMAGE, 0, 0);
    int qwc = int((reinterpret_cast<uint32_t*>(d) - tag) / 4) - 1;
    ZeTexPutTag(tag, qwc, id, nullptr, 0, VIFCODE_DIRECT | uint32_t(qwc), 0);
  };

  for (int y = 0; y < h; y++) {
    // A chunk never ends inside a byte (a 4-bit row of an odd width may
    // start in the middle of one).
    const bool wholeByte = img->type != ZETEX_PAL4 || (int64_t(y) * w & 1) == 0;
    if (wholeByte && d - chunkData >= ZEPS2_CHUNK_BYTES && (reinterpret_cast<uintptr_t>(d) & 15) == 0) {
      ZeDebugMsg("PKT Size: %d", int(d - chunkData));
      closeChunk(DMATAG_CNT);
      tag = reinterpret_cast<uint32_t*>(d);
      image = tag + 4;
      d = reinterpret_cast<uint8_t*>(tag + 8);
      chunkData = d;
    }
    if (img->type == ZETEX_PAL4_SWZ || img->type == ZETEX_PAL8_SWZ) {
      // Already in the 32-bit block layout: copied as words.
      memcpy(d, src + size_t(y) * size_t(srcw) * 4, size_t(w) * 4);
      d += w * 4;
    } else {
      d = WriteRow(d, img, src, srcw, step, y, w, int64_t(y) * w);
    }
  }
  if (img->type == ZETEX_PAL4 && (int64_t(w) * h & 1)) d++;  // the last texel fills a low nibble only
  closeChunk(DMATAG_RET);

  r->level_packet[L] = pkt;
  r->level_size[L] = uint32_t(size);
  r->level_tbw[L] = uint16_t(tbw);
  r->level_dbw[L] = uint16_t(tbw);
  // Small levels share the last page of the level before them.
  int offset = L > 0 ? SmallLevelOffset(f.xfer_psm, w, h) : -1;
  if (offset >= 0) {
    r->level_vram[L] = uint32_t(offset);
  } else {
    r->level_vram[L] = uint32_t(vram);
    r->vram_size = uint16_t(r->vram_size + vram / 256);
  }
  // Pre-rearranged levels are sampled as the 4- or 8-bit image they hold.
  if (img->type == ZETEX_PAL4_SWZ) r->level_tbw[L] = uint16_t(RoundUp(2 * w, 128) / 64);
  if (img->type == ZETEX_PAL8_SWZ) r->level_tbw[L] = uint16_t(RoundUp(2 * w, 128) / 64);
  r->levels = uint8_t(L + 1);
  return LEVEL_BUILT;
}

// The CLUT upload: 16 entries as an 8 x 2 image, 256 as 16 x 16 in CSM1
// order. Null when it cannot be allocated.
uint32_t* BuildPalette(ZEPS2TEX* r, const uint8_t* colours, int entries) {
  const int bytes = entries * 4;
  const int size = bytes + ZEPS2_PAL_HEADER + ZEPS2_PAL_SPARE;
  auto* pkt = static_cast<uint32_t*>(ZeMemAlloc(size));
  if (!pkt) return nullptr;
  const int cw = entries == 16 ? 8 : 16, ch = entries == 16 ? 2 : 16;
  const int qwc = (ZEPS2_PAL_HEADER - 16 + bytes) / 16;
  uint32_t* p = ZeTexPutTag(pkt, qwc, DMATAG_RET, nullptr, 0, VIFCODE_DIRECT | uint32_t(qwc), 0);
  p = ZeTexPutGifTag(p, 3, 0, GIF_FLG_PACKED, 1, GIF_REG_AD);
  p = ZeTexPutAd(p, 0, GS_TRXPOS);
  p = ZeTexPutAd(p, uint64_t(cw) | uint64_t(ch) << 32, GS_TRXREG);
  p = ZeTexPutAd(p, 0, GS_TRXDIR);
  p = ZeTexPutGifTag(p, bytes / 16, 1, GIF_FLG_IMAGE, 0, 0);
  ZeTexWritePalEntries(reinterpret_cast<uint8_t*>(p), colours, entries);
  memset(reinterpret_cast<uint8_t*>(p) + bytes, 0, ZEPS2_PAL_SPARE);
  r->pal_packet = pkt;
  r->pal_size = uint16_t(size);
  r->clut_vram = CLUT_VRAM;
  r->cbw = uint16_t((cw + 63) / 64);
  r->cpsm = PSMCT32;
  r->vram_size = uint16_t(r->vram_size + CLUT_VRAM / 256);
  return pkt;
}

}  // namespace

int ZeTexLevelBytes(int type, int w, int h) {
  if (type < 0 || type > ZETEX_PAL8_SWZ) return 0;
  return int(int64_t(h) * ((int64_t(w) * zetex_fmt[type].srcbits + 7) / 8));
}

void ZeTexWritePalEntries(uint8_t* dst, const uint8_t* colours, int entries) {
  if (entries != 256) {
    memcpy(dst, colours, size_t(entries) * 4);
    return;
  }
  // CSM1: in every group of 32 entries, 8-15 and 16-23 change places.
  for (int i = 0; i < 256; i++) {
    int j = (i & ~0x18) | ((i & 0x08) << 1) | ((i & 0x10) >> 1);
    memcpy(dst + j * 4, colours + i * 4, 4);
  }
}

int Ps2TxValToPowerOfTwo(int v) {
  int n = 0;
  while (n < 31 && (1 << n) < v) n++;
  return n;
}

int ZePs2TxCreate(ZETEX* image, ZEPS2TEX* r) {
  if (image->type >= ZETEX_RT_T8 && image->type != ZETEX_NRMMAP_SRC && image->type < ZETEX_TYPE_COUNT)
    return ZePs2CreateRenderTarget(image, r);
  if (image->type < 0 || image->type >= ZETEX_RT_T8) {
    ZeError("unsupported texture format");
    return 0;
  }
  memset(r, 0, sizeof *r);
  ZETEX quantised;
  const ZETEX* img = image;
  if (zetex_force_quantisation) {
    QuantizeTexture(image);
    if (zetex_quant_colours) {
      image->type = ZETEX_PAL8;
      quantised = *image;
      quantised.texels = zetex_quant_index;
      quantised.palette = reinterpret_cast<uint8_t*>(zetex_quant_palette);
      img = &quantised;
      ZeDebugMsg("Quantized - %d colours", zetex_quant_colours);
    }
  }
  const ZETEXFMT& f = zetex_fmt[img->type];
  r->tw = uint16_t(Ps2TxValToPowerOfTwo(img->width));
  r->th = uint16_t(Ps2TxValToPowerOfTwo(img->height));
  if (img->width != 1 << r->tw)
    ZeDebugMsg("\r\n*********************************************\r\nTexture width MUST be a power of two, not %d"
               "\r\n*********************************************",
               img->width);
  if (img->height != 1 << r->th)
    ZeDebugMsg("\r\n*********************************************\r\nTexture height MUST be a power of two, not %d"
               "\r\n*********************************************",
               img->height);
  r->psm = f.psm;
  r->xfer_psm = f.xfer_psm;
  r->tcc = f.tcc;
  r->texa_mode = f.texa;

  if (img->texels) {
    int built = BuildLevel(img, r);
    const bool preSwizzled = img->type == ZETEX_PAL4_SWZ || img->type == ZETEX_PAL8_SWZ;
    if (built == LEVEL_BUILT && img->mipcount > 1) {
      while (built == LEVEL_BUILT && r->levels < img->mipcount) built = BuildLevel(img, r);
    } else if (built == LEVEL_BUILT && img->mipcount == 0 && zemtl_force_mipmap && !preSwizzled) {
      // Rearranged texels cannot be point-sampled: no generated levels for them.
      while (built == LEVEL_BUILT) built = BuildLevel(img, r);
    }
    // A texture missing a level would be drawn wrong: report the failure
    // (the caller frees what was built, unless it lives in a region).
    if (built == LEVEL_NOMEM) return 0;
  }
  if (f.palentries) {
    if (!img->palette) {
      ZeDebugMsg("Palettised texture without a palette");
    } else if (!BuildPalette(r, img->palette, f.palentries)) {
      return 0;
    }
  }
  // Pre-rearranged images describe the 4- or 8-bit image they hold.
  if (image->type == ZETEX_PAL4_SWZ) {
    image->width *= 2;
    image->height *= 4;
    r->tw = uint16_t(r->tw + 1);
    r->th = uint16_t(r->th + 2);
  } else if (image->type == ZETEX_PAL8_SWZ) {
    image->width *= 2;
    image->height *= 2;
    r->tw = uint16_t(r->tw + 1);
    r->th = uint16_t(r->th + 1);
  }
  return 1;
}

int ZePs2CreateRenderTarget(ZETEX* image, ZEPS2TEX* r) {
  memset(r, 0, sizeof *r);
  const int type = image->type;
  if (type < ZETEX_RT_T8 || type >= ZETEX_TYPE_COUNT || RT_FMT[type].bytes == 0) {
    ZeError("unsupported rendertarget type");
    return 0;
  }
  const RTFMT& f = RT_FMT[type];
  r->tw = uint16_t(Ps2TxValToPowerOfTwo(image->width));
  r->th = uint16_t(Ps2TxValToPowerOfTwo(image->height));
  r->psm = r->xfer_psm = f.psm;
  r->tcc = f.tcc;
  r->texa_mode = f.texa;
  if (f.ramp) {
    // Index i reads as green i: an 8-bit view of a buffer shows one byte of it.
    alignas(16) static uint32_t ramp[256];
    for (int i = 0; i < 256; i++) ramp[i] = uint32_t(i) << 8;
    if (!BuildPalette(r, reinterpret_cast<const uint8_t*>(ramp), 256)) return 0;
  }
  const int size = RoundUp(image->width * image->height * f.bytes, 16);
  if (f.reserve) {
    int addr = ZeTexReserve(size);
    // No room in video memory (or no reservation left): no target.
    if (addr == 0) return 0;
    r->level_addr[0] = uint16_t(addr);
  }
  r->level_tbw[0] = r->level_dbw[0] = uint16_t(RoundUp(image->width, f.pagew) / 64);
  r->level_size[0] = uint32_t((size + 255) / 256);
  return 1;
}

int ZePs2TxDestroy(ZEPS2TEX* r) {
  for (int i = 0; i < r->levels && i < ZEPS2TEX_LEVELS; i++) {
    if (r->level_packet[i]) ZeMemFree(r->level_packet[i]);
    r->level_packet[i] = nullptr;
  }
  if (r->pal_packet) ZeMemFree(r->pal_packet);
  r->pal_packet = nullptr;
  r->pal_override = nullptr;
  return 0;
}

// ---- upload ----------------------------------------------------------------------

namespace {

// The palette the next upload sends: this frame's override when there is one.
uint32_t* CurrentPalette(ZEPS2TEX* r) {
  if (r->pal_override && r->override_frame == rndrstream_frame_count) return r->pal_override;
  // An override belongs to the stream frame it was made in (its memory is
  // that frame's stream buffer): later frames send the texture's own
  // palette, also when the buffers were swapped without a screen swap.
  r->pal_override = nullptr;
  r->override_frame = 0;
  return r->pal_packet;
}

uint32_t* PlacePalette(uint32_t* p, ZEPS2TEX* r, int* top, int marker) {
  *top -= r->clut_vram / 256;
  r->cbp = uint16_t(*top);
  uint32_t* tag = p;
  p = ZeTexPutGifTag(p + 4, 2, 1, GIF_FLG_PACKED, 1, GIF_REG_AD);
  p = ZeTexPutAd(p, 1, GS_TEXFLUSH);
  p = ZeTexPutAd(p, uint64_t(r->cbp) << 32 | uint64_t(r->cbw) << 48 | uint64_t(r->cpsm) << 56, GS_BITBLTBUF);
  ZeTexPutTag(tag, 3, DMATAG_CNT, nullptr, 0, VIFCODE_DIRECT | 3, marker);
  zerndr_tex_transfer_total += r->pal_size;
  return ZeTexPutTag(p, 0, DMATAG_CALL, CurrentPalette(r), 0, 0, 0);
}

}  // namespace

uint32_t* ZePs2TxGenUpload(uint32_t* p, ZEPS2TEX* r, int top, int firstlevel) {
  r->vram_top = uint16_t(top);
  r->upload_mark |= 1;
  if (r->cbw && r->pal_packet) p = PlacePalette(p, r, &top, DMAMK_TXTRLOAD);
  bool placed = false;
  for (int i = 0; i < r->levels; i++) {
    if (!r->level_packet[i]) continue;
    const uint32_t word = r->level_vram[i];
    if (!placed || word >= 256) {
      // A level with pages of its own.
      if (word / 256 == 0) ZeError("assert");
      top -= int(word / 256);
      r->level_addr[i] = uint16_t(top);
      placed = true;
    } else {
      // A small level inside the last page placed.
      r->level_addr[i] = uint16_t(top + int(word));
    }
    if (r->levels == 1 || i >= firstlevel) {
      uint32_t* tag = p;
      p = ZeTexPutGifTag(p + 4, 2, 1, GIF_FLG_PACKED, 1, GIF_REG_AD);
      p = ZeTexPutAd(p, 1, GS_TEXFLUSH);
      p = ZeTexPutAd(p, uint64_t(r->level_dbw[i]) << 16 | uint64_t(r->xfer_psm) << 24 | uint64_t(r->level_addr[i]) << 32 |
                            uint64_t(r->level_dbw[i]) << 48 | uint64_t(r->xfer_psm) << 56,
                     GS_BITBLTBUF);
      ZeTexPutTag(tag, 3, DMATAG_CNT, nullptr, 0, VIFCODE_DIRECT | 3, 0);
      p = ZeTexPutTag(p, 0, DMATAG_CALL, r->level_packet[i], 0, 0, 0);
      zerndr_tex_transfer_total += int(r->level_size[i]);
    }
  }
  r->vram_bottom = uint16_t(top);
  if (r->vram_top - top < r->vram_size) ZeError("assert");
  return p;
}

uint32_t* ZePs2TxUploadPal(uint32_t* p, ZEPS2TEX* r, int top) {
  r->vram_top = uint16_t(top);
  if (r->cbw && r->pal_packet) p = PlacePalette(p, r, &top, 0);
  r->vram_bottom = uint16_t(top);
  return p;
}

// ---- drawing state -------------------------------------------------------------------

namespace {

int Level0Addr(const ZEPS2TEX* r) {
  if (r->level_addr[0]) return r->level_addr[0];
  if (r->fixed_addr) return r->fixed_addr;
  return gs_botfree;
}

}  // namespace

uint32_t* Ps2TxSetStateData(uint32_t* p, ZEPS2TEX* r, ZEPS2TEX* pal, int context) {
  const ZEPS2TEX* c = pal ? pal : r;
  uint64_t cld = 0;
  if (c->cbw) {
    p = ZeTexPutAd(p, uint64_t(c->cbw), GS_TEXCLUT);
    cld = context ? 4 : 2;
  }
  p = ZeTexPutAd(p, 1, GS_TEXFLUSH);
  uint64_t tex0 = uint64_t(Level0Addr(r) & 0x3fff) | uint64_t(r->level_tbw[0] & 63) << 14 | uint64_t(r->psm & 63) << 20 |
                  uint64_t(r->tw & 15) << 26 | uint64_t(r->th & 15) << 30 | uint64_t(r->tcc & 1) << 34 |
                  uint64_t(r->tfx & 3) << 35 | uint64_t(c->cbp & 0x3fff) << 37 | uint64_t(c->cpsm & 15) << 51 | cld << 61;
  p = ZeTexPutAd(p, tex0, context ? GS_TEX0_2 : GS_TEX0_1);
  if (r->texa_mode == 1) p = ZeTexPutAd(p, 0x80, GS_TEXA);
  else if (r->texa_mode == 2) p = ZeTexPutAd(p, uint64_t(0x80) << 32, GS_TEXA);
  if (r->levels >= 2) {
    uint64_t m = 0;
    for (int i = 1; i <= 3; i++)
      m |= (uint64_t(r->level_addr[i] & 0x3fff) | uint64_t(r->level_tbw[i] & 63) << 14) << (20 * (i - 1));
    p = ZeTexPutAd(p, m, context ? GS_MIPTBP1_2 : GS_MIPTBP1_1);
  }
  if (r->levels >= 5) {
    uint64_t m = 0;
    for (int i = 4; i <= 6; i++)
      m |= (uint64_t(r->level_addr[i] & 0x3fff) | uint64_t(r->level_tbw[i] & 63) << 14) << (20 * (i - 4));
    p = ZeTexPutAd(p, m, context ? GS_MIPTBP2_2 : GS_MIPTBP2_1);
  }
  return p;
}

uint32_t* Ps2TxSetSurfaceStateData(uint32_t* p, int id) {
  uint64_t buf;
  int psm;
  if (id == -1) {
    ZePs2GetCurrentBackBuffer(&buf);
    psm = PSMCT24;
  } else if (id == -2) {
    ZePs2GetCurrentZBuffer(&buf);
    psm = int((buf >> 24) & 15) | 0x30;
  } else if (id == -3) {
    ZePs2GetCurrentFrontBuffer(&buf);
    psm = int((buf >> 24) & 63);
  } else {
    return p;
  }
  const uint64_t tbp = (buf & 0x1ff) * 32;
  const uint64_t tcc = psm == PSMCT32 ? 1 : 0;
  uint64_t tex0 = tbp | uint64_t(PS2_REZ_W / 64) << 14 | uint64_t(psm) << 20 |
                  uint64_t(Ps2TxValToPowerOfTwo(PS2_REZ_W)) << 26 | uint64_t(Ps2TxValToPowerOfTwo(PS2_REZ_H)) << 30 |
                  tcc << 34;
  p = ZeTexPutAd(p, 1, GS_TEXFLUSH);
  p = ZeTexPutAd(p, tex0, GS_TEX0_1);
  return ZeTexPutAd(p, 0x80, GS_TEXA);
}

uint64_t Ps2TxGetTex0(const ZEPS2TEX* r, const ZEPS2TEX* pal) {
  const ZEPS2TEX* c = pal ? pal : r;
  const uint64_t cld = r->pal_packet ? 2 : 0;
  return uint64_t(r->level_addr[0] & 0x3fff) | uint64_t(r->level_tbw[0] & 63) << 14 | uint64_t(r->psm & 63) << 20 |
         uint64_t(r->tw & 15) << 26 | uint64_t(r->th & 15) << 30 | uint64_t(r->tcc & 1) << 34 |
         uint64_t(c->cbp & 0x3fff) << 37 | uint64_t(c->cpsm & 15) << 51 | cld << 61;
}

void Ps2TxSetTFXMode(ZEPS2TEX* r, uint8_t tfx) { r->tfx = tfx; }

// ---- palettes --------------------------------------------------------------------------

int ZeTexPalEntries(const ZEPS2TEX* r) { return r->psm == PSMT4 ? 16 : 256; }

void ZePs2ChangeTexPal(ZEPS2TEX* r, const uint32_t* colours) {
  if (!r->pal_packet) return;
  uint8_t* entries = reinterpret_cast<uint8_t*>(r->pal_packet.get()) + ZEPS2_PAL_HEADER;
  ZeTexWritePalEntries(entries, reinterpret_cast<const uint8_t*>(colours), ZeTexPalEntries(r));
}

int GetTexturePreLoad() {
  ZeError("dont call this");
  return 0;
}
