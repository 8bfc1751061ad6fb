// zecvtgeo: the converter's shared state, the gamma table every packet
// colour passes through, position compression and the colour-reference
// table that records where vertex colours land in the packets.
#include "zecvtgeo_local.h"

#include <bit>
#include <cmath>
#include <cstring>

int ZeCvtPntEna = 1;
float ZeCvtMaxSpan = 32.0f;
int ZeCvtPntOn = 0;
int ZeCvtUvOn = 0;
ZEVEC ZeCvtPntSpan;
ZEVEC ZeCvtPntMid;
int nprelight_sets = 2;
int g_live_prelight = 0;
int g_vertex_count = 0;
int ambient_correction = 0;
uint8_t gamma_table[256];
int colourref_enabled = 0, colourref_offset = 0;
uint32_t* colourref_table = nullptr;
uint32_t* colourref_current = nullptr;
int zegscn_generate_colourref = 0, zegscn_generate_packetinfo = 0;
int show_strip = 0;
uint32_t* zecvtgeo_lasttag = nullptr;
int32_t faceon_dmalen[ZECVT_FACEON_SETS];
int faceon_dmalen_cnt = 0;
int info_tricount = 0, info_tristripcount = 0, info_stripcount = 0, info_pktcnt = 0, info_pktsizecnt = 0;
uint8_t* info_pktbuff = nullptr;
int32_t* info_pktdata = nullptr;

// ---- gamma ----------------------------------------------------------------

uint8_t* GenerateGammaTable(float gamma, float scale) {
  const double p = std::pow(255.0, double(gamma));
  const float k = float(double(scale) * 255.0 / p);
  for (int i = 0; i < 256; i++) {
    float v = float(double(k) * std::pow(double(i), double(gamma)));
    if (v > 255.0f) v = 255.0f;
    gamma_table[i] = uint8_t(EeFtoi(v));
  }
  return gamma_table;
}

void GammaCorrect(uint8_t* rgb) {
  // Black stays at entry 0: the ambient correction must not lift it.
  if (rgb[0] == 0 && rgb[1] == 0 && rgb[2] == 0) {
    rgb[0] = rgb[1] = rgb[2] = gamma_table[0];
    return;
  }
  for (int i = 0; i < 3; i++) {
    int c = gamma_table[rgb[i]] + ambient_correction;
    rgb[i] = uint8_t(c < 0 ? 0 : c > 255 ? 255 : c);
  }
}

uint32_t ZeCvtGammaWord(uint32_t rgba) {
  uint8_t b[4];
  memcpy(b, &rgba, 4);
  GammaCorrect(b);
  memcpy(&rgba, b, 4);
  return rgba;
}

// ---- position compression -------------------------------------------------

int ZeCvtSpanValue(float a, float b) {
  return int(std::bit_cast<uint32_t>(a) - std::bit_cast<uint32_t>(b));
}

void ZeCvtSetMaxSpan(float span) {
  ZeCvtMaxSpan = span;
  ZeCvtPntEna = span > 0.0f ? 1 : 0;
}

int ZeCvtMtlUnlit(const ZEMTL* mtl) {
  return ((mtl->attributes >> ZEMTLATTR_LIGHTING) & 3) == 2 && mtl->effect_id == 0;
}

int ZeCvtMtlVtxCol(const ZEMTL* mtl) { return (mtl->attributes >> ZEMTLATTR_VTXCOL) & 1; }

void ZeCvtCalcFastPoint(const ZEVEC* min, const ZEVEC* max, ZEMTL* mtl) {
  if (!mtl) {
    ZeCvtPntOn = 0;
    ZeCvtUvOn = 1;
  } else {
    const int uvanim = mtl->uv_anim != 0;
    const int candidate = ZeCvtMtlUnlit(mtl) && !uvanim;
    ZeCvtUvOn = uvanim || !ZeCvtPntEna;
    ZeCvtPntOn = ZeCvtPntEna ? candidate : 0;
  }
  float* span = &ZeCvtPntSpan.x;
  const float* lo = &min->x;
  const float* hi = &max->x;
  for (int i = 0; i < 3; i++) {
    span[i] = hi[i] - lo[i];
    if (span[i] >= ZeCvtMaxSpan) ZeCvtPntOn = 0;
  }
  // The span magic: the extent's exponent raised by 10, mantissa 0x8000, so
  // that S + (p - mid) keeps p's offset in the low 16 bits of the pattern.
  for (int i = 0; i < 3; i++)
    span[i] = std::bit_cast<float>((std::bit_cast<uint32_t>(span[i]) & 0x7f800000u) + 0x05008000u);
  ZeCvtPntMid.x = (min->x + max->x) * 0.5f;
  ZeCvtPntMid.y = (min->y + max->y) * 0.5f;
  ZeCvtPntMid.z = (min->z + max->z) * 0.5f;
}

int16_t ZeCvtCompress(float p, float span, float mid) {
  const float s = span + (p - mid);
  return int16_t(std::bit_cast<uint32_t>(s) - std::bit_cast<uint32_t>(span));
}

// ---- colour references ----------------------------------------------------

// Room in the table: the size functions reserve two words a vertex.
static void CheckWords(int words) {
  if (words < 1 || words > ZECVT_COLOURREF_WORDS)
    ZeError("colour references of %d words a vertex: the table holds at most %d", words, ZECVT_COLOURREF_WORDS);
}

void ZeCvtGeoBeginColourRef(void* buffer) {
  colourref_table = static_cast<uint32_t*>(buffer);
  colourref_enabled = 1;
  colourref_current = nullptr;
  colourref_offset = 0;
}

void ZeCvtGeoSetColourRefOffset(int offset) { colourref_offset = offset; }

void ZeCvtGeoStartColourRef(const void* packet, int words) {
  if (!colourref_enabled) return;
  CheckWords(words);
  if (!colourref_current)
    colourref_current = colourref_table;
  else
    colourref_current += 2 + int(colourref_current[1]) * words;
  colourref_current[1] = 0;
  colourref_current[0] = (packet ? EeAddrOf(packet) : 0) + uint32_t(colourref_offset);
}

void* ZeCvtGeoEndColourRef(int words) {
  ZeCvtGeoStartColourRef(nullptr, words);
  colourref_enabled = 0;
  return colourref_current ? colourref_current + 2 : nullptr;
}

// Each of R, G, B shifted right, alpha halved, then the gamma step.
static uint32_t RefColour(uint32_t c, int shift) {
  const uint32_t rgb = (((c & 0xff) >> shift) | (((c >> 8 & 0xff) >> shift) << 8) | (((c >> 16 & 0xff) >> shift) << 16));
  return ZeCvtGammaWord(rgb | (c >> 25) << 24);
}

void ZeCvtGeoAddColourRef(uint32_t a, uint32_t b, int shift, int index, int base, int words) {
  if (!colourref_enabled) return;
  CheckWords(words);
  uint32_t* rec = colourref_current;
  uint32_t* group = rec + 2 + rec[1] * words;
  group[0] = RefColour(a, shift);
  if (words >= 2) group[1] = RefColour(b, shift);
  if (g_live_prelight) group[words - 1] = uint32_t(base + index);
  rec[1]++;
}

void ZeCvtGeoFixup(void* table, uint32_t base, int words) {
  CheckWords(words);
  for (uint32_t* rec = static_cast<uint32_t*>(table); rec[1] != 0; rec += 2 + rec[1] * words) rec[0] += base;
}

void ZeCvtDestroyPacketInfo() {
  if (info_pktdata) ZeMemFreeTagged(info_pktdata);
}

// ---- objects --------------------------------------------------------------

extern int zecvt_pktinfo_room;

namespace {

// A geometry's first primitive list cut into calls: indexed lists in
// 6,000 indices, strips in whole strips of at most 6,000 halfwords (a
// longer single strip goes alone and meets the call-size check).
template <class F>
void ForChunks(const ZEPRIM* prim, F&& chunk) {
  const int16_t* idx = prim->idx;
  const int count = prim->count;
  if (prim->kind == ZEPRIM_IDXLIST) {
    for (int at = 0; at < count; at += ZECVT_CHUNK)
      chunk(idx + at, count - at < ZECVT_CHUNK ? count - at : ZECVT_CHUNK);
  } else if (prim->kind == ZEPRIM_IDXSTRIP) {
    for (int at = 0; at < count;) {
      int end = at;
      while (end < count) {
        const int len = idx[end];
        if (len < 0 || end + 1 + len > count)
          ZeError("strip of %d vertices runs past its %d-halfword list", len, count);
        if (end > at && end + 1 + len - at > ZECVT_CHUNK) break;
        end += 1 + len;
      }
      chunk(idx + at, end - at);
      at = end;
    }
  } else {
    ZeError("Unsupported prim type");
  }
}

int ChunkSize(const ZEPRIM* prim, const int16_t* idx, int n, ZEMTL* mtl, int* refs) {
  return prim->kind == ZEPRIM_IDXLIST ? ZeCvtSizeDmaTriCFromIdx(idx, n, mtl, refs)
                                      : ZeCvtSizeDmaTriStripCFromIdx(idx, n, mtl, refs);
}

bool Skinned(const ZEGEOM* g) { return g->skins || g->smoothskin; }

int AlphaMode(const ZEMTL* mtl) { return mtl ? int(mtl->attributes & 15) : 0; }

}  // namespace

void ZePs2CreateRenderStream(ZEGOBJ* obj) {
  info_pktsizecnt = 0;
  info_pktcnt = 0;
  ZeCvtCalcFastPoint(&obj->min, &obj->max, nullptr);
  int packets = 0, refs = 0;
  bool any = false;
  for (ZEGEOM* g = obj->geometries; g; g = g->next) {
    if (ZeCvtPntEna) ZeCvtCalcFastPoint(&obj->min, &obj->max, g->mtl);
    if (const ZEPRIM* prim = g->prims) {
      ForChunks(prim, [&](const int16_t* idx, int n) {
        int r = 0;
        packets += ChunkSize(prim, idx, n, g->mtl, &r);
        refs += r;
      });
    }
    packets += 16;
    if (!Skinned(g)) any = true;
  }
  if (!any) {
    ZeCvtPntOn = 0;
    return;
  }
  auto* block = static_cast<uint8_t*>(ZeMemAllocTagged(packets + refs));
  if (zegscn_generate_packetinfo) {
    info_pktdata = static_cast<int32_t*>(ZeMemAllocTagged(info_pktsizecnt * 8 > 0 ? info_pktsizecnt * 8 : 8));
    zecvt_pktinfo_room = info_pktsizecnt;
    info_pktbuff = block;
    info_pktsizecnt = 0;
  }
  if (zegscn_generate_colourref) {
    ZeCvtGeoBeginColourRef(block + packets);
    obj->colourref = reinterpret_cast<uint32_t*>(block + packets);
  }
  auto* cursor = reinterpret_cast<uint32_t*>(block);
  for (ZEGEOM* g = obj->geometries; g; g = g->next) {
    if (Skinned(g)) continue;
    ZeDebugMsg("mtl alpha=%d", AlphaMode(g->mtl));
    uint32_t* start = cursor;
    g->dmastream = cursor;
    info_pktbuff = reinterpret_cast<uint8_t*>(cursor);
    if (const ZEPRIM* prim = g->prims) {
      ZeDebugMsg("vtx coloured");
      if (ZeCvtPntEna) ZeCvtCalcFastPoint(&obj->min, &obj->max, g->mtl);
      ForChunks(prim, [&](const int16_t* idx, int n) {
        memset(cursor, 0, size_t(ChunkSize(prim, idx, n, g->mtl, nullptr)));
        if (prim->kind == ZEPRIM_IDXLIST)
          ZeCvtDmaTriCFromIdx(&cursor, g->vtx, g->vtxcount, nullptr, idx, n, g->mtl);
        else
          ZeCvtDmaTriStripCFromIdx(&cursor, g->vtx, g->vtxcount, nullptr, idx, n, g->mtl);
      });
    }
    cursor = vpDmaTag_Ret(cursor);
    g->dmalen = int32_t(reinterpret_cast<uint8_t*>(cursor) - reinterpret_cast<uint8_t*>(start));
  }
  if (zegscn_generate_colourref) {
    auto* end = static_cast<uint8_t*>(ZeCvtGeoEndColourRef(nprelight_sets));
    obj->tricount = int32_t(end - (block + packets));
  }
  ZeCvtPntOn = 0;
}

void ZePs2CreateFaceOn(ZEGOBJ* obj) {
  if (!obj->faceons) return;
  int packets = 0, refs = 0;
  for (ZEFACEONGEOM* f = obj->faceons; f; f = f->next) {
    for (int at = 0; at < f->count; at += ZECVT_CHUNK) {
      const int n = f->count - at < ZECVT_CHUNK ? f->count - at : ZECVT_CHUNK;
      int r = 0;
      if (f->style == 0) packets += ZeCvtSizeDmaFaceOn(nullptr, n, 0, &r);
      else if (f->style == 1) packets += ZeCvtSizeDmaFaceY(nullptr, n, 0, &r);
      refs += r;
    }
    packets += 16;
  }
  auto* block = static_cast<uint8_t*>(ZeMemAllocTagged(packets + refs + 8));
  if (zegscn_generate_colourref) {
    ZeCvtGeoBeginColourRef(block + packets);
    obj->colourref = reinterpret_cast<uint32_t*>(block + packets);
  }
  faceon_dmalen_cnt = 0;
  auto* cursor = reinterpret_cast<uint32_t*>(block);
  for (ZEFACEONGEOM* f = obj->faceons; f; f = f->next) {
    ZeDebugMsg("mtl alpha=%d", AlphaMode(f->mtl));
    uint32_t* start = cursor;
    f->dma = cursor;
    for (int at = 0; at < f->count; at += ZECVT_CHUNK) {
      const int n = f->count - at < ZECVT_CHUNK ? f->count - at : ZECVT_CHUNK;
      if (f->style == 0) ZeCvtDmaFaceOn(&cursor, f->sprites.get() + at, n, nprelight_sets, nullptr);
      else if (f->style == 1) ZeCvtDmaFaceY(&cursor, f->sprites.get() + at, n, nprelight_sets, nullptr);
      else ZeDebugMsg("unknown faceon type =%d", f->style);
    }
    cursor = vpDmaTag_Ret(cursor);
    if (faceon_dmalen_cnt >= ZECVT_FACEON_SETS) ZeError("faceon dmalen buffer overrun.");
    faceon_dmalen[faceon_dmalen_cnt++] = int32_t(reinterpret_cast<uint8_t*>(cursor) - reinterpret_cast<uint8_t*>(start));
  }
  if (zegscn_generate_colourref) {
    auto* end = static_cast<uint8_t*>(ZeCvtGeoEndColourRef(nprelight_sets));
    obj->faceoncolourrefsize = int32_t(end - (block + packets));
  }
}

void ZePs2DestroyRenderStream(ZEGOBJ* obj) {
  // The block starts at the first geometry that has packets: a skinned
  // first geometry has none, and freeing through it alone leaked the block.
  ZEGEOM* g = obj->geometries;
  while (g && !g->dmastream) g = g->next;
  if (!g) return;
  ZeMemFreeTagged(g->dmastream.get());
  for (ZEGEOM* h = obj->geometries; h; h = h->next) h->dmastream = nullptr;
}
