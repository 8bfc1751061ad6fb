// zecvtmesh: indexed triangle lists and strips to mesh packets for entry
// 0x300: batches of at most 42 vertices, three quadwords a vertex, flags
// that start each triangle or strip afresh, 4.12 texture words against a
// whole base, optional 16-bit positions. Builder and size function walk the
// same batch plan, so the sizes always match what is written.
#include "zecvtgeo_local.h"

#include <bit>
#include <cmath>
#include <cstring>

int zecvt_pktinfo_room = 0;

namespace {

// What a packet reads of its material.
struct MtlInfo {
  int lighting;      // 2 unlit
  int vtxcol;
  int unlit;         // lighting 2 and no effect
  float diffuse[3];
  float alpha;
};

MtlInfo ReadMtl(const ZEMTL* mtl) {
  MtlInfo m = {0, 0, 0, {0, 0, 0}, 1.0f};
  if (!mtl) return m;
  m.lighting = int(mtl->attributes >> ZEMTLATTR_LIGHTING & 3);
  m.vtxcol = ZeCvtMtlVtxCol(mtl);
  m.unlit = ZeCvtMtlUnlit(mtl);
  memcpy(m.diffuse, mtl->diffuse, sizeof m.diffuse);
  m.alpha = mtl->alpha;
  return m;
}

// One batch of the plan.
struct Batch {
  int n;
  int vtx[ZECVT_BATCH];      // vertex index of each slot
  uint16_t flags[ZECVT_BATCH];
  float base_u[ZECVT_BATCH], base_v[ZECVT_BATCH];
  uint8_t second[ZECVT_BATCH];   // 1 at the second vertex of a strip or piece (statistics)
  int long_left;             // the long strip's remaining length, for messages (0 short)
};

// Vertices of a slot, checked against the vertex count when it is known.
inline int CheckIndex(int v, int vtxcount) {
  if (v < 0 || (vtxcount >= 0 && v >= vtxcount)) ZeError("vertex index %d past the %d vertices", v, vtxcount);
  return v;
}

// Whole base of a run of vertices: floor of the smallest coordinate.
void ListBase(const ZEVTX* vtx, const int* v, int k, float* bu, float* bv) {
  float mu = vtx[v[0]].u, mv = vtx[v[0]].v;
  for (int i = 1; i < k; i++) {
    if (vtx[v[i]].u < mu) mu = vtx[v[i]].u;
    if (vtx[v[i]].v < mv) mv = vtx[v[i]].v;
  }
  *bu = ZeFloor(mu);
  *bv = ZeFloor(mv);
}

// The strip rule: floor of the smallest, moved up by 8 when the run spans
// more than 8 from it (or lies below -8), to keep 4.12 words in range.
float StripBase(float lo, float hi) {
  float b = ZeFloor(lo);
  if (ZeFabs(b - hi) > 8.0f)
    b += 8.0f;
  else if (b < -8.0f)
    b += 8.0f;
  return b;
}

void StripRunBase(const ZEVTX* vtx, const int* v, int k, float* bu, float* bv) {
  float lu = vtx[v[0]].u, hu = lu, lv = vtx[v[0]].v, hv = lv;
  for (int i = 1; i < k; i++) {
    const float u = vtx[v[i]].u, w = vtx[v[i]].v;
    if (u < lu) lu = u;
    if (u > hu) hu = u;
    if (w < lv) lv = w;
    if (w > hv) hv = w;
  }
  *bu = StripBase(lu, hu);
  *bv = StripBase(lv, hv);
}

// Walks the batches of an indexed list; vtx null: sizes only (no bases).
template <class F>
void PlanList(const int16_t* idx, int count, const ZEVTX* vtx, int vtxcount, F&& emit) {
  Batch b;
  b.long_left = 0;
  for (int start = 0; start < count; start += ZECVT_BATCH) {
    b.n = count - start < ZECVT_BATCH ? count - start : ZECVT_BATCH;
    for (int i = 0; i < b.n; i++) {
      const int k = start + i;
      b.vtx[i] = vtx ? CheckIndex(idx[k], vtxcount) : 0;
      b.flags[i] = k % 3 < 2 ? ZECVT_NOCLOSE : 0;
      b.second[i] = 0;
      if (vtx && k % 3 == 0) {
        // The triangle's base, from its vertices within the list only: a
        // short last triangle must not read indices past the count.
        int tri[3] = {0, 0, 0}, m = 0;
        for (int j = k; j < k + 3 && j < count; j++) tri[m++] = CheckIndex(idx[j], vtxcount);
        ListBase(vtx, tri, m, &b.base_u[i], &b.base_v[i]);
      } else if (vtx) {
        b.base_u[i] = b.base_u[i - 1];
        b.base_v[i] = b.base_v[i - 1];
      }
    }
    emit(b);
  }
}

int StripLength(const int16_t* idx, int pos, int count) {
  const int len = idx[pos];
  if (len < 0 || pos + 1 + len > count) ZeError("strip of %d vertices runs past its %d-halfword list", len, count);
  return len;
}

// Walks the batches of strip runs {length, indices}.
template <class F>
void PlanStrips(const int16_t* idx, int count, const ZEVTX* vtx, int vtxcount, F&& emit) {
  Batch b;
  int pos = 0;
  int long_pos = 0, long_left = 0, long_first = 0;
  auto add = [&](int k, int indexpos, int first) {
    b.vtx[b.n] = vtx ? CheckIndex(idx[indexpos], vtxcount) : 0;
    b.flags[b.n] = k < 2 ? ZECVT_NOCLOSE : 0;
    b.second[b.n] = k == 1;
    (void)first;
    b.n++;
  };
  while (pos < count || long_left > 0) {
    b.n = 0;
    b.long_left = 0;
    if (long_left == 0) {
      const int len = StripLength(idx, pos, count);
      if (len >= ZECVT_BATCH + 1) {
        long_pos = pos + 1;
        long_left = len;
        long_first = 1;
        pos += 1 + len;
      } else {
        while (pos < count) {
          const int l = StripLength(idx, pos, count);
          if (l >= ZECVT_BATCH + 1 || b.n + l > ZECVT_BATCH) break;
          const int s = b.n;
          for (int k = 0; k < l; k++) add(k, pos + 1 + k, 0);
          if (vtx && l > 0) {
            float bu, bv;
            StripRunBase(vtx, b.vtx + s, l, &bu, &bv);
            for (int k = s; k < b.n; k++) b.base_u[k] = bu, b.base_v[k] = bv;
          }
          pos += 1 + l;
        }
      }
    }
    if (long_left > 0 && b.n == 0) {
      const int piece = long_left < 40 ? long_left : 40;
      b.long_left = long_left;
      int k = 0;
      if (!long_first) {
        add(k++, long_pos - 2, 0);
        add(k++, long_pos - 1, 0);
      }
      for (int i = 0; i < piece; i++) add(k++, long_pos + i, 0);
      if (vtx) {
        float bu, bv;
        StripRunBase(vtx, b.vtx, b.n, &bu, &bv);
        for (int i = 0; i < b.n; i++) b.base_u[i] = bu, b.base_v[i] = bv;
      }
      long_pos += piece;
      long_left -= piece;
      long_first = 0;
    }
    if (b.n < 2 || b.n > ZECVT_BATCH) ZeError("invalid pkt count");
    emit(b);
  }
}

struct Layout {
  int comp;      // compressed positions
  int uvon;      // offset-mode texture unpack
  int uvonly;    // unlit: u, v only
  int vtxcol;
};

Layout CurrentLayout(const MtlInfo& m) { return {ZeCvtPntOn, ZeCvtUvOn, ZeCvtPntEna && m.unlit, m.vtxcol}; }

int HeaderBytes(const Layout& l) { return 36 + (l.comp ? 20 : 0); }

int BatchBytes(const Layout& l, int n) {
  return 24 + (l.comp ? 16 : 8) + 4 + (l.comp ? 4 + 8 * n : 16 * n) + 4 + (l.comp ? 4 : 0) + (l.uvon ? 8 : 0) +
         4 + (l.uvonly ? 4 : 8) * n + 4 + 4 * n + 8;
}

void CheckCallSize(int count) {
  const long long words = 21LL * ((count + ZECVT_BATCH - 1) / ZECVT_BATCH) + 9LL * count + 4;
  if (words * 4 > ZECVT_MAX_CNT) ZeError("vertex buffer too big %d (%d vrts)", int(words * 4), count);
}

template <class Plan>
int SizeOf(Plan&& plan, ZEMTL* mtl, int* colourrefSize, int strip) {
  const MtlInfo m = ReadMtl(mtl);
  const Layout l = CurrentLayout(m);
  int bytes = HeaderBytes(l), refs = 8;
  plan([&](const Batch& b) {
    bytes += BatchBytes(l, b.n);
    if (m.vtxcol) refs += 8 + 8 * b.n;
    info_pktsizecnt += strip;  // strip batches, for the packet-info table
  });
  if (colourrefSize) *colourrefSize = refs;
  return (bytes + 15) & ~15;
}

inline uint32_t* Put(uint32_t* p, uint32_t w) {
  *p = w;
  return p + 1;
}

inline uint32_t Pair(int16_t a, int16_t b) { return uint32_t(uint16_t(a)) | uint32_t(uint16_t(b)) << 16; }

inline int16_t Fix12(float v) { return int16_t(EeFtoi(v * 4096.0f)); }

void RangeMessages(float du, float dv, int longLeft, float bu, float bv) {
  if (du > 15.0f) ZeDebugMsg("texture U out of range > 15 (%f) [%d] <%f>", double(du), longLeft, double(bu));
  if (du < -16.0f) ZeDebugMsg("texture U out of range < -16 (%f) [%d] <%f>", double(du), longLeft, double(bu));
  if (dv > 15.0f) ZeDebugMsg("texture V out of range > 15 (%f) [%d] <%f>", double(dv), longLeft, double(bv));
  if (dv < -16.0f) ZeDebugMsg("texture V out of range < -16 (%f) [%d] <%f>", double(dv), longLeft, double(bv));
}

// One batch of a mesh packet (the open cnt tag and fan template before it).
uint32_t* WriteBatch(uint32_t* p, const Batch& b, const ZEVTX* vtx, const uint32_t* colourB, const MtlInfo& m,
                     const Layout& l, int strip) {
  const int n = b.n;
  const uint32_t nn = uint32_t(n) << 16;
  p = Put(p, 0x6c0180d2u);
  p = Put(p, 0x8000u + uint32_t(n));
  p = Put(p, 0x30024000u);
  p = Put(p, 0x00000512u);
  p = Put(p, 0);
  if (l.comp) {
    p = Put(p, 0x6c018002u);
    p = Put(p, uint32_t(3 * n));
    const ZEVEC& s = ZeCvtPntSpan;
    const ZEVEC& mid = ZeCvtPntMid;
    p = Put(p, std::bit_cast<uint32_t>(s.x - mid.x));
    p = Put(p, std::bit_cast<uint32_t>(s.y - mid.y));
    p = Put(p, std::bit_cast<uint32_t>(s.z - mid.z));
  } else {
    p = Put(p, 0x6d018002u);
    p = Put(p, uint32_t(3 * n));
    p = Put(p, 0);
  }
  p = Put(p, 0x01000103u);
  if (l.comp) {
    p = Put(p, 0x05000001u);
    p = Put(p, 0x6d008003u + nn);
  } else {
    p = Put(p, 0x6c008003u + nn);
  }
  if (strip && zegscn_generate_packetinfo) {
    if (info_pktdata && info_pktcnt < zecvt_pktinfo_room) {
      info_pktdata[2 * info_pktcnt] = int32_t(reinterpret_cast<uint8_t*>(p) - info_pktbuff);
      info_pktdata[2 * info_pktcnt + 1] = n;
    }
    info_pktcnt++;
  }
  for (int i = 0; i < n; i++) {
    const ZEVTX& v = vtx[b.vtx[i]];
    if (b.second[i]) info_stripcount++;
    else if (strip && b.flags[i] == 0) info_tristripcount++;
    if (l.comp) {
      p = Put(p, Pair(ZeCvtCompress(v.pos.x, ZeCvtPntSpan.x, ZeCvtPntMid.x),
                      ZeCvtCompress(v.pos.y, ZeCvtPntSpan.y, ZeCvtPntMid.y)));
      p = Put(p, Pair(ZeCvtCompress(v.pos.z, ZeCvtPntSpan.z, ZeCvtPntMid.z), int16_t(b.flags[i])));
    } else {
      p = Put(p, std::bit_cast<uint32_t>(v.pos.x));
      p = Put(p, std::bit_cast<uint32_t>(v.pos.y));
      p = Put(p, std::bit_cast<uint32_t>(v.pos.z));
      p = Put(p, (std::bit_cast<uint32_t>(v.normal.x) & 0xffff0000u) | b.flags[i]);
    }
  }
  if (l.comp) p = Put(p, 0x05000000u);
  if (l.uvon) p = Put(p, 0x05000001u);
  p = Put(p, (l.uvonly ? 0x65008004u : 0x6d008004u) + nn);
  for (int i = 0; i < n; i++) {
    const ZEVTX& v = vtx[b.vtx[i]];
    const float du = v.u - b.base_u[i], dv = v.v - b.base_v[i];
    if (strip) RangeMessages(du, dv, b.long_left, b.base_u[i], b.base_v[i]);
    p = Put(p, Pair(Fix12(du), Fix12(dv)));
    if (!l.uvonly) p = Put(p, Pair(Fix12(v.normal.y), Fix12(v.normal.z)));
  }
  if (l.uvon) p = Put(p, 0x05000000u);
  p = Put(p, 0x6e00c005u + nn);
  if (m.vtxcol && !show_strip) ZeCvtGeoStartColourRef(p, nprelight_sets);
  uint32_t flat = 0;
  if (show_strip) {
    flat = strip ? 0x800000ffu : 0x80ff0000u;
  } else if (!m.vtxcol) {
    const uint32_t a = uint32_t(EeFtoi(m.alpha * 127.0f)) & 0xff;
    if (m.lighting == 2) {
      flat = (uint32_t(EeFtoi(m.diffuse[0] * 255.0f)) & 0xff) | (uint32_t(EeFtoi(m.diffuse[1] * 255.0f)) & 0xff) << 8 |
             (uint32_t(EeFtoi(m.diffuse[2] * 255.0f)) & 0xff) << 16;
    }
    flat = ZeCvtGammaWord(flat | a << 24);
  }
  for (int i = 0; i < n; i++) {
    if (show_strip || !m.vtxcol) {
      p = Put(p, flat);
      continue;
    }
    const int vi = b.vtx[i];
    const uint32_t c = vtx[vi].colour;
    p = Put(p, ZeCvtGammaWord((c & 0x00ffffffu) | (c >> 25) << 24));
    ZeCvtGeoAddColourRef(c, colourB ? colourB[vi] : 0, 0, vi, g_vertex_count, nprelight_sets);
  }
  p = Put(p, 0x01000101u);
  p = Put(p, 0x14000300u);
  return p;
}

template <class Plan>
uint32_t* Build(uint32_t** cursor, Plan&& plan, const ZEVTX* vtx, const uint32_t* colourB, ZEMTL* mtl, int strip) {
  const MtlInfo m = ReadMtl(mtl);
  const Layout l = CurrentLayout(m);
  uint32_t* start = *cursor;
  uint32_t* p = vpDmaTag_Cnt(start);
  start[0] |= uint32_t(DMAMK_GOBJDATA) << 16;
  zecvtgeo_lasttag = start;
  uint32_t* tag = start;
  if (l.comp) {
    p = Put(p, 0x30000000u);
    p = Put(p, std::bit_cast<uint32_t>(ZeCvtPntSpan.x));
    p = Put(p, std::bit_cast<uint32_t>(ZeCvtPntSpan.y));
    p = Put(p, std::bit_cast<uint32_t>(ZeCvtPntSpan.z));
    p = Put(p, 0);
  }
  p = Put(p, 0x6c010056u);
  p = Put(p, 0x00008000u);
  p = Put(p, 0x3002c000u);
  p = Put(p, 0x00000512u);
  p = Put(p, 0);
  plan([&](const Batch& b) { p = WriteBatch(p, b, vtx, colourB, m, l, strip); });
  ps2dma_dt_curr = tag;
  *cursor = vpDmaTag_Close(p);
  return start;
}

}  // namespace

int ZeCvtSizeDmaTriCFromIdx(const int16_t* idx, int count, ZEMTL* mtl, int* colourrefSize) {
  CheckCallSize(count);
  return SizeOf([&](auto&& f) { PlanList(idx, count, nullptr, -1, f); }, mtl, colourrefSize, 0);
}

int ZeCvtSizeDmaTriStripCFromIdx(const int16_t* idx, int count, ZEMTL* mtl, int* colourrefSize) {
  CheckCallSize(count);
  return SizeOf([&](auto&& f) { PlanStrips(idx, count, nullptr, -1, f); }, mtl, colourrefSize, 1);
}

uint32_t* ZeCvtDmaTriCFromIdx(uint32_t** cursor, const ZEVTX* vtx, int vtxcount, const uint32_t* colourB,
                              const int16_t* idx, int count, ZEMTL* mtl) {
  CheckCallSize(count);
  info_tricount += (count + 2) / 3;
  return Build(cursor, [&](auto&& f) { PlanList(idx, count, vtx, vtxcount, f); }, vtx, colourB, mtl, 0);
}

uint32_t* ZeCvtDmaTriStripCFromIdx(uint32_t** cursor, const ZEVTX* vtx, int vtxcount, const uint32_t* colourB,
                                   const int16_t* idx, int count, ZEMTL* mtl) {
  CheckCallSize(count);
  return Build(cursor, [&](auto&& f) { PlanStrips(idx, count, vtx, vtxcount, f); }, vtx, colourB, mtl, 1);
}
