// Clipped stream primitives and the ordering table. The primitives repack
// ZEVTX vertices into batches of at most 42 for the clipping entry of the
// stream's VU1 program (docs/vu1.md); the ordering table sorts ready-made
// triangle batches back to front, triangle by triangle within a batch and
// batch against batch through depth buckets drawn once per frame.
#include "zerndr_local.h"

float otscale = 2.0f;

namespace {

constexpr uint32_t UNPACK_FLG = 0x8000, UNPACK_USN = 0x4000;
constexpr uint32_t Unpack(uint32_t fmt, int qwords, int addr, uint32_t extra) {
  return 0x60000000u | fmt << 24 | uint32_t(qwords & 0xff) << 16 | uint32_t(addr & 0x3ff) | extra;
}
constexpr uint32_t V4_32 = 0x0c, V4_16 = 0x0d, V4_8 = 0x0e, V2_32 = 0x04;
constexpr uint32_t Stcycl(int cl, int wl) { return VIFCODE_STCYCL | uint32_t(wl) << 8 | uint32_t(cl); }

// Input buffer addresses (relative) and the fan template (absolute).
constexpr int VU_COUNT = 2, VU_POS = 3, VU_TEX = 4, VU_COL = 5, VU_TAG = 0xd2, VU_FAN = 0x56;
constexpr uint32_t ENTRY_CLIP = 0x300, ENTRY_QUAD = 0x306;

uint64_t StripTag(int n) {
  return uint64_t(n & 0x7fff) | 1ull << 15 | 1ull << 46 | uint64_t(GS_PRIM_TRISTRIP) << 47 | 3ull << 60;
}
constexpr uint64_t FAN_TAG = 1ull << 15 | 1ull << 46 | uint64_t(GS_PRIM_TRIFAN) << 47 | 3ull << 60;
constexpr uint64_t REGS_ST_RGBAQ_XYZ2 = 0x512;

uint32_t* Put64(uint32_t* p, uint64_t lo, uint64_t hi) {
  p[0] = uint32_t(lo);
  p[1] = uint32_t(lo >> 32);
  p[2] = uint32_t(hi);
  p[3] = uint32_t(hi >> 32);
  return p + 4;
}

enum Kind { K_TRI, K_STRIP, K_QUAD, K_KICKMOD, K_NONORM, K_STATIC };

uint32_t NormalWord(float nx, uint32_t mask, uint32_t flag) { return (ZeRndrFloatBits(nx) & ~mask) | flag; }

// The position word 4 of vertex i (index j in the batch) per kind.
uint32_t FlagWord(Kind kind, const ZEVTX& v, int j, int k) {
  switch (kind) {
    case K_TRI: return NormalWord(v.normal.x, 0xff, j % 3 < 2 ? 1 : 0);
    case K_STRIP: return NormalWord(v.normal.x, 0xff, j < 2 ? 1 : 0);
    case K_QUAD: return j % 4 < 2 ? 0x8000u : 0x7fffu;
    case K_NONORM: return j % k < 2 ? 0x8001u : 0u;
    default: return NormalWord(v.normal.x, 0xffff, j % k < 2 ? 0x8001u : 0u);
  }
}

int32_t Fix12(float f) { return int32_t(f * 4096.0f); }

struct BatchOut {
  uint32_t* colours;
  uint32_t* positions;
  uint32_t* texture;
};

// One batch of e vertices from v: the GIF tag and count uploads, then the
// colours, positions and texture data with write strides.
uint32_t* Batch(uint32_t* p, const ZEVTX* v, int e, Kind kind, int k, BatchOut* out) {
  *p++ = Unpack(V4_32, 1, VU_TAG, UNPACK_FLG);
  p = Put64(p, StripTag(e), REGS_ST_RGBAQ_XYZ2);
  *p++ = Unpack(V4_16, 1, VU_COUNT, UNPACK_FLG);
  *p++ = uint32_t(3 * e) & 0xffff;
  *p++ = 0;
  // Colours, every third quadword.
  *p++ = Stcycl(3, 1);
  const bool bytes = kind != K_TRI;
  *p++ = Unpack(bytes ? V4_8 : V4_32, e, VU_COL, UNPACK_FLG | UNPACK_USN);
  if (out) out->colours = p;
  for (int i = 0; i < e; i++) {
    const ZECOLOUR32 c = v[i].colour;
    if (bytes) *p++ = c;
    else p = ZeRndrPutQ(p, c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff, c >> 24);
  }
  if (kind == K_NONORM) {
    // Positions, then u and v alone.
    *p++ = Unpack(V4_32, e, VU_POS, UNPACK_FLG);
    if (out) out->positions = p;
    for (int i = 0; i < e; i++)
      p = ZeRndrPutQ(p, ZeRndrFloatBits(v[i].pos.x), ZeRndrFloatBits(v[i].pos.y), ZeRndrFloatBits(v[i].pos.z),
                     FlagWord(kind, v[i], i, k));
    *p++ = Unpack(V2_32, e, VU_TEX, UNPACK_FLG);
    if (out) out->texture = p;
    for (int i = 0; i < e; i++) {
      *p++ = uint32_t(Fix12(v[i].u));
      *p++ = uint32_t(Fix12(v[i].v));
    }
    *p++ = Stcycl(1, 1);
    return p;
  }
  if (kind == K_STATIC) {
    // Positions every third quadword, then the texture words as 16 bits.
    *p++ = Unpack(V4_32, e, VU_POS, UNPACK_FLG);
    if (out) out->positions = p;
    for (int i = 0; i < e; i++)
      p = ZeRndrPutQ(p, ZeRndrFloatBits(v[i].pos.x), ZeRndrFloatBits(v[i].pos.y), ZeRndrFloatBits(v[i].pos.z),
                     FlagWord(kind, v[i], i, k));
    *p++ = Unpack(V4_16, e, VU_TEX, UNPACK_FLG);
    if (out) out->texture = p;
    for (int i = 0; i < e; i++) {
      *p++ = (uint32_t(Fix12(v[i].u)) & 0xffff) | uint32_t(Fix12(v[i].v)) << 16;
      *p++ = (uint32_t(Fix12(v[i].normal.y)) & 0xffff) | uint32_t(Fix12(v[i].normal.z)) << 16;
    }
    *p++ = Stcycl(1, 1);
    return p;
  }
  // Position and texture quadwords, two of every three.
  *p++ = Stcycl(3, 2);
  *p++ = Unpack(V4_32, 2 * e, VU_POS, UNPACK_FLG);
  if (out) out->positions = p;
  for (int i = 0; i < e; i++) {
    const ZEVTX& x = v[i];
    p = ZeRndrPutQ(p, ZeRndrFloatBits(x.pos.x), ZeRndrFloatBits(x.pos.y), ZeRndrFloatBits(x.pos.z),
                   FlagWord(kind, x, i, k));
    if (kind == K_QUAD) p = ZeRndrPutQ(p, uint32_t(Fix12(x.u)), uint32_t(Fix12(x.v)), 0, 0);
    else
      p = ZeRndrPutQ(p, uint32_t(Fix12(x.u)), uint32_t(Fix12(x.v)), uint32_t(Fix12(x.normal.y)),
                     uint32_t(Fix12(x.normal.z)));
  }
  *p++ = Stcycl(1, 1);
  return p;
}

// Batch size at position done of count.
int BatchSize(Kind kind, int rest, int k) {
  switch (kind) {
    case K_TRI:
    case K_STRIP: return rest < ZERNDR_CLIP_BATCH ? rest : ZERNDR_CLIP_BATCH;
    case K_QUAD: return rest < 43 ? rest & ~3 : 40;
    default: {
      const int e = rest < ZERNDR_CLIP_BATCH ? rest : ZERNDR_CLIP_BATCH;
      return e - e % k;
    }
  }
}

// Writes the batches of count vertices at p, each followed by its MSCAL.
uint32_t* Batches(uint32_t* p, const ZEVTX* v, int count, Kind kind, int k, uint32_t entry,
                  ZECLIPBATCHDESC* desc, int* descIndex) {
  int done = 0;
  while (done < count) {
    const int e = BatchSize(kind, count - done, k);
    if (e <= 0) break;  // a remainder smaller than one primitive forms no batch
    BatchOut out{};
    p = Batch(p, v + done, e, kind, k, &out);
    *p++ = VIFCODE_MSCAL | entry;
    if (desc && descIndex) {
      ZECLIPBATCHDESC& d = desc[(*descIndex)++];
      d.count = e;
      d.colours = out.colours;
      d.positions = out.positions;
      d.texture = out.texture;
    }
    // A strip's next batch starts again two vertices back.
    done += kind == K_STRIP && done + e < count ? e - 2 : e;
  }
  return p;
}

void CheckK(int k) {
  if (k < 1 || k > ZERNDR_CLIP_BATCH) ZeError("clipped primitives: %d vertices per primitive (1 to 42)", k);
}

// The fan template upload opens every packet of the clip entry.
uint32_t* OpenClip(uint32_t* p, uint32_t marker) {
  uint32_t* tag = p;
  p = vpDmaTag_CntEx(p, VIFCODE_NOP, Unpack(V4_32, 1, VU_FAN, 0));
  tag[0] |= marker << 16;
  return Put64(p, FAN_TAG, REGS_ST_RGBAQ_XYZ2);
}

int StreamClip(const ZEVTX* v, int count, const ZEMTX* local, ZERNDRSTREAM* s, Kind kind, uint32_t marker) {
  ZeRndrSetLocalMtx(local ? local : &zemtx_identity, 2);
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeRndrStreamSetViewMtx(s);
  ZeRndrStreamSetLocalMtx(s);
  uint32_t* p = OpenClip(s->write, marker);
  p = Batches(p, v, count < 0 ? 0 : count, kind, 3, ENTRY_CLIP, nullptr, nullptr);
  ZeRndrEndSegment(s, vpDmaTag_Close(p));
  return 1;
}

// Caller-prepared streams: the packet is closed and the stream's write
// position moved past it.
int PreparedClip(const ZEVTX* v, int count, int k, ZERNDRSTREAM* s, Kind kind, uint32_t entry) {
  uint32_t* p = OpenClip(s->write, DMAMK_CLIPQUAD3D);
  p = Batches(p, v, count < 0 ? 0 : count, kind, k, entry, nullptr, nullptr);
  s->write = vpDmaTag_Close(p);
  return 1;
}


}  // namespace

int ZeRndrStreamTri3dClip(const ZEVTX* v, int count, const ZEMTX* local, ZERNDRSTREAM* s) {
  return StreamClip(v, count, local, s, K_TRI, DMAMK_CLIPTRI3D);
}
int ZeRndrStreamTriStrip3dClip(const ZEVTX* v, int count, const ZEMTX* local, ZERNDRSTREAM* s) {
  return StreamClip(v, count, local, s, K_STRIP, DMAMK_CLIPTRISTRIP3D);
}
int ZeRndrStreamQuad3dClip(const ZEVTX* v, int count, const void*, ZERNDRSTREAM* s) {
  return PreparedClip(v, count, 4, s, K_QUAD, ENTRY_QUAD);
}
int ZeRndrStreamQuad3dClipKickMod(const ZEVTX* v, int count, int k, ZERNDRSTREAM* s) {
  CheckK(k);
  return PreparedClip(v, count, k, s, K_KICKMOD, ENTRY_CLIP);
}
int ZeRndrStreamQuad3dClipKickModNoNorm(const ZEVTX* v, int count, int k, ZERNDRSTREAM* s) {
  CheckK(k);
  return PreparedClip(v, count, k, s, K_NONORM, ENTRY_CLIP);
}

void* ZeRndrStream3dClipKickModStaticData(const ZEVTX* v, int count, int k, void* buffer, ZECLIPBATCHDESC* desc,
                                         int* descIndex, int* packetBytes) {
  CheckK(k);
  uint32_t* start = static_cast<uint32_t*>(buffer);
  uint32_t* p = vpDmaTag_RetEx(start, VIFCODE_NOP, Stcycl(1, 1));
  start[0] |= uint32_t(DMAMK_CLIPQUAD3D) << 16;
  p = Batches(p, v, count < 0 ? 0 : count, K_STATIC, k, ENTRY_CLIP, desc, descIndex);
  *p++ = VIFCODE_FLUSHA;
  p = vpDmaTag_Close(p);
  if (packetBytes) *packetBytes = int((p - start) * 4);
  return buffer;
}

int ZeRndrTri3dClip(const ZEVTX* v, int count, const ZEMTX* local, ZEMTL* mtl) {
  return ZeRndrStreamTri3dClip(v, count, local, ZeRndrMtlStream(ZeRndrMtl3d(mtl)));
}
int ZeRndrTriStrip3dClip(const ZEVTX* v, int count, const ZEMTX* local, ZEMTL* mtl) {
  return ZeRndrStreamTriStrip3dClip(v, count, local, ZeRndrMtlStream(ZeRndrMtl3d(mtl)));
}
int ZeRndrQuad3d(...) { return 1; }

// ---- the ordering table ------------------------------------------------------

namespace {

struct OtNode {
  EePtr<OtNode> next;
  EePtr<const uint8_t> record;
};
static_assert(sizeof(OtNode) == 8);

bool g_otInit = false;
int g_buckets = 0, g_items = 0, g_itemsLeft = 0;
ZEOTITEM* g_bucket = nullptr;  // only next is used
ZEOTITEM* g_pool = nullptr;
bool g_triBucketsCleared = false;
EePtr<OtNode> g_triBucket[ZEOT_TRI_BUCKETS];
OtNode g_triNodes[ZEOT_TRI_NODES];
OtNode* g_triFree = nullptr;  // nodes are taken downwards; null: none yet
int g_triHighest = 0;
float g_triDepth[ZEOT_TRI_NODES];

// Pre-made packets: (a) a single-triangle header (not sent by these calls),
// (b) the fan template upload sent by the draw.
alignas(16) uint32_t g_otSingle[3 * 4];
alignas(16) uint32_t g_otFan[2 * 4];

int Clamp(int v, int hi) { return v < 0 ? 0 : (v > hi ? hi : v); }

void BuildPremade() {
  uint32_t* p = vpDmaTag_RefEx(g_otSingle, g_otSingle + 4, VIFCODE_NOP, Unpack(V4_32, 1, VU_TAG, UNPACK_FLG));
  g_otSingle[0] = (g_otSingle[0] & 0xffff0000u) | 2;
  p = Put64(p, StripTag(3), REGS_ST_RGBAQ_XYZ2);
  p[0] = Unpack(V4_16, 1, VU_COUNT, UNPACK_FLG);
  p[1] = 9;
  p[2] = 0;
  p[3] = VIFCODE_MSCAL | 0x30a;
  p = vpDmaTag_RefEx(g_otFan, g_otFan + 4, VIFCODE_NOP, Unpack(V4_32, 1, VU_FAN, 0));
  g_otFan[0] = (g_otFan[0] & 0xffff0000u) | 1;
  Put64(p, FAN_TAG, REGS_ST_RGBAQ_XYZ2);
}

}  // namespace

int ZeRndrOTInit(int buckets, int items) {
  // Only the first call takes effect, except that a table first opened
  // without storage gets it when a later call asks for it (start-up opens
  // it with 0 and 0 before the renderer asks for its real size).
  if (g_otInit && (g_bucket || buckets <= 0 || items <= 0)) return 1;
  BuildPremade();
  g_buckets = buckets;
  g_items = items;
  if (buckets > 0 && items > 0) {
    g_bucket = static_cast<ZEOTITEM*>(ZeMemAllocFn(buckets * int(sizeof(ZEOTITEM)), __FILE__, __LINE__));
    if (!g_bucket) ZeError("unable to allocation %d otitems", buckets);
    memset(static_cast<void*>(g_bucket), 0, size_t(buckets) * sizeof(ZEOTITEM));
    g_pool = static_cast<ZEOTITEM*>(ZeMemAllocFn(items * int(sizeof(ZEOTITEM)), __FILE__, __LINE__));
    if (!g_pool) ZeError("unable to allocation %d otitems", items);
    memset(static_cast<void*>(g_pool), 0, size_t(items) * sizeof(ZEOTITEM));
  } else {
    g_buckets = g_items = 0;
  }
  g_itemsLeft = g_items;
  g_triBucketsCleared = false;
  g_otInit = true;
  return 1;
}

void ZeRndrOTClose() {
  if (!g_otInit) return;
  g_otInit = false;
  if (g_bucket) ZeMemFreeFn(g_bucket, __FILE__, __LINE__);
  if (g_pool) ZeMemFreeFn(g_pool, __FILE__, __LINE__);
  g_bucket = g_pool = nullptr;
  g_buckets = g_items = g_itemsLeft = 0;
}

void OTTriInit() {
  for (auto& b : g_triBucket) b = nullptr;
  g_triHighest = 0;
}

int OTTriInsert(const void* record, float depth) {
  if (!g_triFree || g_triFree == g_triNodes) return 0;
  OtNode* n = --g_triFree;
  const int b = Clamp(int(depth), ZEOT_TRI_BUCKETS - 1);
  n->record = static_cast<const uint8_t*>(record);
  n->next = g_triBucket[b];
  g_triBucket[b] = n;
  if (b > g_triHighest) g_triHighest = b;
  return 1;
}

void ZeRndrOTInsertItem(ZEOTITEM* item) {
  if (!g_bucket) return;
  const int b = Clamp(int(item->depth * otscale), g_buckets - 1);
  item->next = g_bucket[b].next;
  g_bucket[b].next = item;
}

void ZeRndrOTInsertTriBatch(const ZEMTX* local, int clip, ZEMTL* mtl, const void* tris, int count) {
  if (!g_bucket || !g_pool || count > ZEOT_TRI_NODES || count < 1 || g_itemsLeft <= 0) return;
  if (!g_triBucketsCleared) {
    OTTriInit();
    g_triBucketsCleared = true;
  }
  g_triFree = g_triNodes + ZEOT_TRI_NODES;
  ZEMTX m;
  ZeMtxMulH(&m, local ? local : &zemtx_identity, ZeCameraGetViewMtx());
  const uint8_t* rec = static_cast<const uint8_t*>(tris);
  const float lowest = XFormVuTriZ(&g_triDepth[count - 1], rec + (count - 1) * ZEOT_TRI_RECORD, &m, count);
  for (int i = count - 1; i >= 0; i--) OTTriInsert(rec + i * ZEOT_TRI_RECORD, g_triDepth[i]);

  // The packet: per group of up to 14 triangles a header, the triangles'
  // reference tags back to front, and the kick; a ret tag ends it.
  const int groups = (count + 13) / 14;
  const int qwords = 4 + groups * 4 + count + 1;
  uint32_t* mtxCopy = static_cast<uint32_t*>(ZeRndrStreamAlloc(qwords));
  memcpy(mtxCopy, local ? local : &zemtx_identity, 64);
  uint32_t* packet = mtxCopy + 16;
  uint32_t* p = packet;
  int left = count, bucket = g_triHighest;
  while (left > 0) {
    const int n = left < 14 ? left : 14;
    p = vpDmaTag_CntEx(p, VIFCODE_NOP, Unpack(V4_32, 1, VU_TAG, UNPACK_FLG));
    p = Put64(p, StripTag(3 * n), REGS_ST_RGBAQ_XYZ2);
    p = ZeRndrPutQ(p, Unpack(V4_16, 1, VU_COUNT, UNPACK_FLG), uint32_t(9 * n) | 1u << 16, 0, Stcycl(1, 1));
    vpDmaTag_Close(p);
    for (int k = 0; k < n; k++) {
      while (bucket > 0 && !g_triBucket[bucket]) bucket--;
      OtNode* node = g_triBucket[bucket].get();
      g_triBucket[bucket] = node->next;
      const uint32_t* src = reinterpret_cast<const uint32_t*>(node->record.get());
      vpDmaTag_Copy(p, src);
      p[3] = (src[3] & ~0x83ffu) | uint32_t(3 + 9 * k) | UNPACK_FLG;
      p += 4;
    }
    p = vpDmaTag_CntEx(p, VIFCODE_NOP, VIFCODE_MSCAL | ENTRY_CLIP);
    vpDmaTag_Close(p);
    left -= n;
  }
  p = vpDmaTag_Ret(p);
  vpDmaTag_Close(p);
  g_triHighest = 0;

  ZEOTITEM* item = &g_pool[--g_itemsLeft];
  item->packet = packet;
  item->mtx = reinterpret_cast<ZEMTX*>(mtxCopy);
  item->mtl = mtl;
  item->depth = lowest;
  item->clip = clip;
  ZeRndrOTInsertItem(item);
}

void ZeRndrOTDraw() {
  if (!g_bucket || g_itemsLeft == g_items) return;
  ZERNDRSTREAM* s = rndrstream_ot_sort;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeRndrStreamSetViewMtx(s);
  s->write = vpDmaTag_Copy(s->write, g_otFan);
  ZEMTL* lastMtl = nullptr;
  uint32_t* lastProgram = nullptr;
  const ZEMTX* lastMtx = nullptr;
  int lastClip = -1;
  bool first = true;
  for (int b = g_buckets - 1; b >= 0; b--) {
    for (ZEOTITEM* it = g_bucket[b].next.get(); it; it = it->next.get()) {
      ZEMTL* mtl = it->mtl.get();
      if (first || mtl != lastMtl) {
        ZeRndrStreamAddMtl(s, mtl);
        uint32_t* prog = mtl ? mtl->stream.program.get() : nullptr;
        if (prog && prog != lastProgram) {
          s->write = vpDmaTag_Call(s->write, prog);
          lastProgram = prog;
        }
        lastMtl = mtl;
      }
      if (first || it->mtx.get() != lastMtx || it->clip != lastClip) {
        ZeRndrSetLocalMtx(it->mtx.get(), it->clip);
        ZeRndrStreamSetLocalMtx(s);
        lastMtx = it->mtx.get();
        lastClip = it->clip;
      }
      s->write = vpDmaTag_Call(s->write, it->packet.get());
      first = false;
    }
    g_bucket[b].next = nullptr;
  }
  rndrstream_free = vpDmaTag_Next(s->write, nullptr);
  g_itemsLeft = g_items;
}
