// zecvtskin: skinned geometries to VU1 packets drawn with palettes of at
// most 8 joint matrices (entry 0x302), and the instance chain that uploads
// each group's palette and calls its packets; the skin buffer both live in,
// and the fix-up of the instance's call tags.
#include "zecvtgeo_local.h"

#include <bit>
#include <cstring>

uint8_t* skinbuffer_base = nullptr;
int skinbuffer_size = 0;
uint8_t* skinbuffer_free = nullptr;
int skin_reuse_limit = 100;
int32_t packet_unique[ZESKN_POINTS];

namespace {

uint8_t* saved_base = nullptr;
int saved_size = 0;
uint8_t* saved_free = nullptr;
int prim_serial = 0;

// Statistics (debug only).
struct Stats {
  int tris, striptris, points, dupes, peak_weights;
  int histogram[ZESKN_PALETTE];
} stats;

// The open packet: one at a time.
struct Packet {
  uint8_t* end;                 // the buffer's end: nothing is written past it
  uint32_t* start;
  uint32_t* nloop;              // GIF tag word 0
  uint32_t* countvec;           // count vector word 0
  uint32_t* pending;            // the next run's unpack word
  int count, run, run_first;
  int w;                        // quadwords a point: 5 with colours, 4 without
  int vtxcol, shift;
  int reuse, dupes;
  int nweights[ZESKN_POINTS];
  uint32_t weights[ZESKN_POINTS][ZESKN_PALETTE];
  int edge[3];                  // the last three vertex ids added
} pkt;

void Room(const void* p, int bytes) {
  if (static_cast<const uint8_t*>(p) + bytes > pkt.end) ZeError("Warning - skin buffer has overflowed");
}

inline uint32_t* Put(uint32_t* p, uint32_t w) {
  *p = w;
  return p + 1;
}

// A DMA tag written in place (the open tag stays as it is).
uint32_t* Tag(uint32_t* p, int qwc, int id, uint32_t addr, int marker, uint32_t vif0, uint32_t vif1) {
  Room(p, 16);
  p[0] = uint32_t(qwc) | uint32_t(marker) << 16 | uint32_t(id) << 28;
  p[1] = addr;
  p[2] = vif0;
  p[3] = vif1;
  return p + 4;
}

}  // namespace

// ---- the skin buffer ------------------------------------------------------

void InitSkinning(int size) {
  skinbuffer_base = static_cast<uint8_t*>(ZeMemAllocTagged(size));
  memset(skinbuffer_base, 0, size_t(size));
  skinbuffer_free = skinbuffer_base;
  skinbuffer_size = size;
}

void ResetSkinning() { skinbuffer_free = skinbuffer_base; }

void CloseSkinning() {
  if (skinbuffer_base) ZeMemFreeTagged(skinbuffer_base);
  skinbuffer_base = skinbuffer_free = nullptr;
  skinbuffer_size = 0;
}

void ZePs2SetTempSkinBuffer(void* buffer, int size) {
  if (buffer) {
    saved_base = skinbuffer_base;
    saved_free = skinbuffer_free;
    saved_size = skinbuffer_size;
    skinbuffer_base = skinbuffer_free = static_cast<uint8_t*>(buffer);
    skinbuffer_size = size;
  } else {
    skinbuffer_base = saved_base;
    skinbuffer_free = saved_free;
    skinbuffer_size = saved_size;
  }
}

// ---- prim defs ------------------------------------------------------------

int AddMtxToPrimDef(ZEPRIMDEF* rec, int mtx) {
  // The id becomes the byte offset mtx x 64 in the joint matrices.
  if (mtx < 0 || mtx > 255) ZeError("skin matrix id %d outside 0-255", mtx);
  for (int s = 0; s < rec->npalette; s++)
    if (rec->palette[s] == mtx) return s;
  if (rec->npalette == ZESKN_PALETTE) {
    ZeDebugMsg("AddMtxToPrimDef:nummtx exceeded");
    return 0;
  }
  rec->palette[rec->npalette] = mtx;
  return rec->npalette++;
}

void ZeCvtSknAddVtxToPrimDef(ZEPRIMDEF* rec, int slot, const ZEVTX* vtx, int index, const ZEGEOM* geom) {
  rec->vtx[slot] = vtx[index];
  rec->vid[slot] = index;
  if (slot > 2) return;
  rec->nbr[slot] = -1;
  for (const ZESKIN* s = geom->skins; s; s = s->next) {
    if (index < s->first || index >= s->first + s->count) continue;
    for (int j = 0; j < s->nmtx; j++) {
      const int k = AddMtxToPrimDef(rec, s->mtxids[j]);
      rec->weight[slot][k] = s->weights[(index - s->first) * s->nmtx + j];
    }
    return;
  }
  ZeDebugMsg("Unable to determine vtx/skin relationship for vid %d", index);
}

namespace {

void ClearPrimDef(ZEPRIMDEF* rec) {
  memset(rec, 0, sizeof *rec);
  for (int& p : rec->palette) p = -1;
  for (int& n : rec->nbr) n = -1;
}

// Matrices of a palette as a 256-bit set.
struct MtxSet {
  uint64_t bits[4] = {0, 0, 0, 0};
};

MtxSet SetOf(const ZEPRIMDEF& r) {
  MtxSet m;
  for (int s = 0; s < r.npalette; s++) m.bits[r.palette[s] >> 6] |= uint64_t(1) << (r.palette[s] & 63);
  return m;
}

bool Within(const MtxSet& a, const MtxSet& b) {
  for (int i = 0; i < 4; i++)
    if (a.bits[i] & ~b.bits[i]) return false;
  return true;
}

}  // namespace

int ZeCvtSknSortPrimDefs(ZEPRIMDEF* recs, int n, ZEPRIMDEF* out) {
  // The exchange sort on an order array: the same order as swapping the
  // records themselves, without moving 396 bytes a swap.
  int* order = static_cast<int*>(ZeMemAllocTagged(n > 0 ? n * 4 : 4));
  MtxSet* sets = static_cast<MtxSet*>(ZeMemAllocTagged(n > 0 ? n * int(sizeof(MtxSet)) : 32));
  // The palette sizes ride along with the order, so the n^2 compares stay
  // in one small array.
  int* size = static_cast<int*>(ZeMemAllocTagged(n > 0 ? n * 4 : 4));
  for (int i = 0; i < n; i++) order[i] = i, size[i] = recs[i].npalette;
  for (int i = 0; i < n; i++) {
    int si = size[i];
    for (int j = i + 1; j < n; j++)
      if (size[j] > si) {
        std::swap(order[i], order[j]);
        size[j] = si;
        size[i] = si = recs[order[i]].npalette;
      }
  }
  ZeMemFreeTagged(size);
  for (int i = 0; i < n; i++) {
    sets[i] = SetOf(recs[order[i]]);
    recs[order[i]].grouped = 0;
  }
  int unsorted = 0, sorted = 0, o = 0;
  for (int i = 0; i < n; i++) unsorted += recs[i].npalette;
  for (int i = 0; i < n; i++) {
    ZEPRIMDEF& lead = recs[order[i]];
    if (lead.grouped) continue;
    const int group = o;
    lead.group = group;
    out[o++] = lead;
    sorted += lead.npalette;
    for (int j = i + 1; j < n; j++) {
      ZEPRIMDEF& r = recs[order[j]];
      if (r.grouped || r.npalette > lead.npalette || !Within(sets[j], sets[i])) continue;
      r.grouped = 1;
      r.group = group;
      ZEPRIMDEF& c = out[o++];
      c = r;
      // Re-expressed in the leader's palette.
      for (int s = 0; s < ZESKN_PALETTE; s++) c.palette[s] = -1;
      memset(c.weight, 0, sizeof c.weight);
      for (int s = 0; s < r.npalette; s++) {
        int ls = 0;
        while (lead.palette[ls] != r.palette[s]) ls++;
        for (int k = 0; k < 3; k++) c.weight[k][ls] = r.weight[k][s];
      }
      memcpy(c.palette, lead.palette, sizeof c.palette);
      c.npalette = lead.npalette;
    }
  }
  ZeDebugMsg("Total mtx: %d unsorted, %d sorted", unsorted, sorted);
  ZeMemFreeTagged(sets);
  ZeMemFreeTagged(order);
  return sorted;
}

// ---- packets --------------------------------------------------------------

int ZeCvtSknPointWeights(const ZEPRIMDEF* rec, int corner, uint32_t out[ZESKN_PALETTE]) {
  float w[ZESKN_PALETTE];
  int slot[ZESKN_PALETTE], n = 0;
  for (int s = 0; s < rec->npalette && s < ZESKN_PALETTE; s++)
    if (rec->weight[corner][s] != 0.0f) {
      w[n] = rec->weight[corner][s];
      slot[n++] = s;
    }
  // Insertion sort: larger magnitude first, equal magnitudes by descending
  // matrix id.
  for (int i = 1; i < n; i++)
    for (int j = i; j > 0; j--) {
      const float a = ZeFabs(w[j - 1]), b = ZeFabs(w[j]);
      const bool before = b > a || (b == a && rec->palette[slot[j]] > rec->palette[slot[j - 1]]);
      if (!before) break;
      std::swap(w[j - 1], w[j]);
      std::swap(slot[j - 1], slot[j]);
    }
  for (int i = 0; i < n; i++) out[i] = (std::bit_cast<uint32_t>(w[i]) & ~7u) | uint32_t(slot[i]);
  return n;
}

int PrevPktIdx(int vid) {
  if (pkt.reuse >= skin_reuse_limit || pkt.count == 0) return -1;
  for (int i = 0; i < pkt.count; i++)
    if (packet_unique[i] == vid) {
      pkt.reuse++;
      pkt.dupes++;
      return i;
    }
  return -1;
}

namespace {

uint32_t Low8(float f, int v) { return (std::bit_cast<uint32_t>(f) & ~0xffu) | uint32_t(v & 0xff); }

void BeginPkt(uint32_t** cursor, int prim, int vtxcol, int shift) {
  uint32_t* p = *cursor;
  Room(p, 40);
  pkt.start = p;
  pkt.count = pkt.run = pkt.reuse = pkt.dupes = 0;
  pkt.vtxcol = vtxcol;
  pkt.shift = shift;
  pkt.w = vtxcol ? 5 : 4;
  p = Put(p, 0x6c0180d2u);
  pkt.nloop = p;
  p = Put(p, 0x8000u);
  p = Put(p, 0x30004000u + (uint32_t(prim) << 15));
  p = Put(p, 0x512u);
  p = Put(p, 0);
  p = Put(p, 0x6d018002u);
  pkt.countvec = p;
  p = Put(p, uint32_t(prim == 4 ? 1 : 3) << 16);
  p = Put(p, 0);
  p = Put(p, vtxcol ? 0x01000305u : 0x01000204u);
  pkt.pending = p;
  *cursor = p + 1;
  for (int& e : pkt.edge) e = -1;
}

uint32_t RunUnpack() {
  return 0x6c000000u + 0x8000u + uint32_t(3 + pkt.run_first * pkt.w) +
         (uint32_t(pkt.run * (pkt.vtxcol ? 3 : 2)) << 16);
}

void AddPoint(uint32_t** cursor, const ZEPRIMDEF* rec, int corner, int flag) {
  if (corner >= 3) ZeError("point idx out of range");
  if (pkt.count >= ZESKN_POINTS) ZeError("skin packet of more than %d points", ZESKN_POINTS);
  const int vid = rec->vid[corner];
  pkt.edge[0] = pkt.edge[1];
  pkt.edge[1] = pkt.edge[2];
  pkt.edge[2] = vid;
  const int i = pkt.count;
  uint32_t* w = pkt.weights[i];
  const int nw = ZeCvtSknPointWeights(rec, corner, w);
  if (nw > stats.peak_weights) stats.peak_weights = nw;
  const int prev = PrevPktIdx(vid);
  // The point data; a repeat is overwritten by its marker just below.
  uint32_t* p = *cursor;
  Room(p, 48 + 8);
  const ZEVTX& v = rec->vtx[corner];
  p[0] = std::bit_cast<uint32_t>(v.pos.x);
  p[1] = std::bit_cast<uint32_t>(v.pos.y);
  p[2] = std::bit_cast<uint32_t>(v.pos.z);
  p[3] = Low8(v.normal.x, prev + 1);
  p[4] = Low8(v.u, 0);
  p[5] = Low8(v.v, nw < 4 ? nw : 4);
  p[6] = Low8(v.normal.y, nw > 4 ? nw - 4 : 0);
  p[7] = Low8(v.normal.z, flag);
  uint32_t* after = p + 8;
  if (pkt.vtxcol) {
    uint8_t c[4];
    memcpy(c, &v.colour, 4);
    p[8] = std::bit_cast<uint32_t>(float(c[0] >> pkt.shift));
    p[9] = std::bit_cast<uint32_t>(float(c[1] >> pkt.shift));
    p[10] = std::bit_cast<uint32_t>(float(c[2] >> pkt.shift));
    p[11] = std::bit_cast<uint32_t>(float(c[3]));
    after = p + 12;
  }
  if (prev < 0 && nw > 0) {
    if (pkt.run == 0) pkt.run_first = i;
    pkt.run++;
    pkt.nweights[i] = nw;
    packet_unique[i] = vid;
    *cursor = after;
  } else {
    // A repeat, or a point with no weight: a marker {earlier index + 1, flag}.
    uint32_t* m;
    if (pkt.run > 0) {
      *pkt.pending = RunUnpack();
      m = p;
    } else {
      m = pkt.pending;
    }
    m = Put(m, 0x61028000u + uint32_t(3 + i * pkt.w));
    m = Put(m, uint32_t(uint16_t(prev + 1)) | uint32_t(uint16_t(flag)) << 16);
    pkt.pending = m;
    *cursor = m + 1;
    pkt.nweights[i] = 0;
    packet_unique[i] = -1;
    pkt.run = 0;
  }
  pkt.count++;
  stats.points++;
}

// Offsets of the packet's own points in each morph target, for the blend
// routine at 0x0c. Returns true when any target wrote offsets.
bool BlendOffsets(uint32_t** cursor, const ZEGEOM* geom) {
  const ZEMORPH* morph = geom->morph;
  if (!morph || !geom->vtx || morph->count <= 0) return false;
  if (morph->count > 256) ZeError("%d morph targets: at most 256", morph->count);
  uint32_t* p = *cursor;
  Room(p, 8);
  p = Put(p, 0x01000101u);
  p = Put(p, 0x13000000u);
  bool any = false;
  for (int t = 0; t < morph->count; t++) {
    const ZEVEC* off = morph->offsets[t];
    if (!off) continue;
    // Header {t, n + 58} at 0x38 and the offsets' unpack to 0x39, filled
    // in once n is known.
    uint32_t* head = p;
    Room(p, 12 + pkt.count * 16 + 8);
    p += 3;
    int n = 0;
    // Only the packet's own points: slots past its count hold ids from an
    // earlier packet.
    for (int j = 0; j < pkt.count; j++) {
      const int vid = packet_unique[j];
      if (vid < 0 || vid >= geom->vtxcount) continue;
      const ZEVEC& d = off[vid];
      if (d.x == 0.0f && d.y == 0.0f && d.z == 0.0f) continue;
      p = Put(p, std::bit_cast<uint32_t>(d.x));
      p = Put(p, std::bit_cast<uint32_t>(d.y));
      p = Put(p, std::bit_cast<uint32_t>(d.z));
      p = Put(p, uint32_t(3 + j * pkt.w));
      n++;
    }
    if (n == 0) {
      p = head;
      continue;
    }
    head[0] = 0x6e010038u;
    head[1] = uint32_t(t) | uint32_t(n + 58) << 8;
    head[2] = 0x6c000039u + (uint32_t(n) << 16);
    p = Put(p, 0x1400000cu);
    p = Put(p, 0x17000000u);
    any = true;
  }
  *cursor = p;
  return any;
}

void EndPkt(uint32_t** cursor, const ZEGEOM* geom, int cont) {
  if (pkt.count == 0) {
    *cursor = pkt.start;
    return;
  }
  uint32_t* p;
  if (pkt.run > 0) {
    *pkt.pending = RunUnpack();
    p = *cursor;
    Room(p, 4);
    p = Put(p, 0x01000101u);
  } else {
    *pkt.pending = 0x01000101u;
    p = pkt.pending + 1;
  }
  *pkt.countvec = (*pkt.countvec & 0xffff0000u) | uint32_t(pkt.count * pkt.w);
  *pkt.nloop = 0x8000u + uint32_t(pkt.count);
  for (int i = 0; i < pkt.count; i++) {
    const int nw = pkt.nweights[i];
    if (nw == 0) continue;
    Room(p, 48);
    const uint32_t addr = uint32_t(3 + i * pkt.w + (pkt.w - 2));
    const uint32_t* w = pkt.weights[i];
    if (nw == 8) {
      p = Put(p, 0x6c028000u + addr);
      for (int k = 0; k < 8; k++) p = Put(p, w[k]);
      continue;
    }
    static constexpr uint32_t kUnpack[5] = {0, 0x60018000u, 0x64018000u, 0x68018000u, 0x6c018000u};
    const int first = nw < 4 ? nw : 4;
    p = Put(p, kUnpack[first] + addr);
    for (int k = 0; k < first; k++) p = Put(p, w[k]);
    if (nw > 4) {
      p = Put(p, kUnpack[nw - 4] + addr + 1);
      for (int k = 4; k < nw; k++) p = Put(p, w[k]);
    }
  }
  *cursor = p;
  const bool blended = BlendOffsets(cursor, geom);
  p = *cursor;
  Room(p, 4);
  p = Put(p, !cont || blended ? 0x14000302u : 0x17000000u);
  *cursor = p;
  ZeDebugMsg("pkt %d pts %d dupes", pkt.count, pkt.dupes);
  stats.dupes += pkt.dupes;
  pkt.count = 0;
}

// ---- strips ---------------------------------------------------------------

int Corners(const ZEPRIMDEF& r, int e, int k) { return r.vid[(e + k) % 3]; }

int LinkPrims(ZEPRIMDEF* recs, int a, int b) {
  for (int i = 0; i < 3; i++) {
    if (recs[a].nbr[i] != -1) continue;
    for (int j = 0; j < 3; j++) {
      if (recs[b].nbr[j] != -1) continue;
      const int a0 = Corners(recs[a], i, 0), a1 = Corners(recs[a], i, 1);
      const int b0 = Corners(recs[b], j, 0), b1 = Corners(recs[b], j, 1);
      if ((a0 == b0 && a1 == b1) || (a0 == b1 && a1 == b0)) {
        recs[a].nbr[i] = b;
        recs[b].nbr[j] = a;
        return 1;
      }
    }
  }
  return 0;
}

bool HasVid(const ZEPRIMDEF& r, int vid) { return r.vid[0] == vid || r.vid[1] == vid || r.vid[2] == vid; }

struct Strip {
  ZEPRIMDEF* recs;
  int first, n;      // the batch: recs[first .. first + n)
  int* flag;         // per batch record: 0 unused
  uint32_t** cursor;
};

int OpenNeighbours(const Strip& s, int r) {
  int c = 0;
  for (int e = 0; e < 3; e++) {
    const int nb = s.recs[r].nbr[e];
    if (nb >= 0 && s.flag[nb - s.first] <= 1) c++;
  }
  return c;
}

int NextStripPrim(const Strip& s, int cur, int d) {
  if (d == 1) {
    int best = -1, most = 0;
    for (int e = 0; e < 3; e++) {
      const int nb = s.recs[cur].nbr[e];
      if (nb < 0 || s.flag[nb - s.first] != 0) continue;
      const int c = OpenNeighbours(s, nb);
      if (c > most) most = c, best = nb;
    }
    return best;
  }
  for (int r = s.first; r < s.first + s.n; r++)
    if (r != cur && s.flag[r - s.first] == 0 && HasVid(s.recs[r], pkt.edge[1]) && HasVid(s.recs[r], pkt.edge[2]))
      return r;
  return -1;
}

void AddStripPrim(const Strip& s, int next, int cur, int d) {
  if (d == 1) {
    const ZEPRIMDEF& c = s.recs[cur];
    int u = 0;
    while (u < 3 && HasVid(s.recs[next], c.vid[u])) u++;
    static constexpr int kOrder[3][3] = {{0, 1, 2}, {1, 0, 2}, {2, 0, 1}};
    const int* o = kOrder[u < 3 ? u : 0];
    AddPoint(s.cursor, &c, o[0], 1);
    AddPoint(s.cursor, &c, o[1], 1);
    AddPoint(s.cursor, &c, o[2], 0);
    stats.tris++;
  }
  const ZEPRIMDEF& nx = s.recs[next];
  int corner = -1, unused = 0;
  for (int k = 0; k < 3; k++)
    if (nx.vid[k] != pkt.edge[1] && nx.vid[k] != pkt.edge[2]) {
      if (corner < 0) corner = k;
      unused++;
    }
  if (unused > 1) ZeError("more than one unused");
  if (unused == 0) ZeError("errm, all are used");
  AddPoint(s.cursor, &nx, corner, 0);
  stats.tris++;
}

void Stripify(const Strip& s) {
  for (;;) {
    for (int& e : pkt.edge) e = -1;
    int start = -1, fewest = 0;
    for (int r = s.first; r < s.first + s.n; r++) {
      if (s.flag[r - s.first] != 0) continue;
      const int c = OpenNeighbours(s, r);
      if (c > 0 && (start < 0 || c < fewest)) start = r, fewest = c;
    }
    if (start < 0) return;
    s.flag[start - s.first] = 1;
    int d = 1, cur = start;
    for (int next; (next = NextStripPrim(s, cur, d)) >= 0; cur = next) {
      AddStripPrim(s, next, cur, d);
      s.flag[next - s.first] = d + 1;
      d++;
    }
    // A start that found no partner was never sent: leave it for the
    // single triangles.
    s.flag[start - s.first] = d == 1 ? 0 : d;
    if (d == 1) return;
    ZeDebugMsg("striplen %d (ptcnt%d)", d, pkt.count);
    stats.striptris += d;
  }
}

}  // namespace

// ---- instances ------------------------------------------------------------

void ZeCvtSknBuildInstance(uint8_t** cursor, uint8_t* end, ZEGEOM* geom, ZEPRIMDEF* recs, int n) {
  pkt.end = end;
  uint8_t* base = *cursor;
  int groups = 0, slots = 0;
  for (int i = 0; i < n; i++)
    if (i == 0 || recs[i].group != recs[i - 1].group) groups++, slots += recs[i].npalette;
  uint32_t* inst = reinterpret_cast<uint32_t*>(base);
  auto* area = reinterpret_cast<uint32_t*>(base + 16 * (2 * groups + slots + 1));
  Room(area, 0);
  const int vtxcol = geom->mtl ? ZeCvtMtlVtxCol(geom->mtl) : 0;
  int packets = 0;
  for (int g0 = 0; g0 < n;) {
    int g1 = g0 + 1;
    while (g1 < n && recs[g1].group == recs[g0].group) g1++;
    const ZEPRIMDEF& lead = recs[g0];
    inst = Tag(inst, 0, DMATAG_CNT, 0, DMAMK_SKINHDR, 0x01000108u, 0);
    for (int m = 0; m < lead.npalette; m++)
      inst = Tag(inst, 4, DMATAG_REF, uint32_t(lead.palette[m]) * 64, DMAMK_SKINMTX, m == 0 ? 0x10000000u : 0,
                 0x6c040018u + uint32_t(m));
    inst = Tag(inst, 0, DMATAG_CALL, uint32_t(reinterpret_cast<uint8_t*>(area) - base), 0, 0, 0);
    uint32_t* ret = area;
    uint32_t* p = Tag(area, 0, DMATAG_RET, 0, DMAMK_SKINDATA, 0x01000101u, 0);
    for (int b0 = g0; b0 < g1; b0 += ZESKN_BATCH) {
      const int bn = g1 - b0 < ZESKN_BATCH ? g1 - b0 : ZESKN_BATCH;
      for (int i = b0; i < b0 + bn; i++)
        for (int& nb : recs[i].nbr) nb = -1;
      int shared = 0;
      for (int a = b0; a < b0 + bn; a++)
        for (int b = a + 1; b < b0 + bn; b++) shared += LinkPrims(recs, a, b);
      ZeDebugMsg("Shared edges %d in %d polys", shared, bn);
      BeginPkt(&p, 4, vtxcol, 0);
      int flag[ZESKN_BATCH] = {};
      const Strip s = {recs, b0, bn, flag, &p};
      if (shared) Stripify(s);
      int singles = 0;
      for (int i = 0; i < bn; i++) {
        if (flag[i]) continue;
        AddPoint(&p, &recs[b0 + i], 0, 1);
        AddPoint(&p, &recs[b0 + i], 1, 1);
        AddPoint(&p, &recs[b0 + i], 2, 0);
        singles++;
      }
      ZeDebugMsg("Polycnt %d", singles);
      stats.tris += singles;
      EndPkt(&p, geom, packets++ > 0);
    }
    ps2dma_dt_curr = ret;
    area = vpDmaTag_Close(p);
    Room(area, 0);
    g0 = g1;
  }
  Tag(inst, 0, DMATAG_RET, 0, 0, 0, 0);
  *cursor = reinterpret_cast<uint8_t*>(area);
}

namespace {

// Walks the instance's tags to its ret tag, moving every call's ADDR.
void MoveCalls(void* inst, uint32_t delta) {
  for (auto* t = static_cast<uint32_t*>(inst);; t += 4) {
    const uint32_t kind = t[0] >> 24;
    if (kind == 0x60) return;
    if (kind == 0x50) t[1] += delta;
  }
}

}  // namespace

void ZeCvtSknInstFix(void* inst) { MoveCalls(inst, EeAddrOf(inst)); }
void ZeCvtSknInstUnFix(void* inst) { MoveCalls(inst, 0u - EeAddrOf(inst)); }
void ZeCvtSknInstRelocate(void* inst, int delta) { MoveCalls(inst, uint32_t(delta)); }

// ---- objects --------------------------------------------------------------

namespace {

bool Skinned(const ZEGEOM* g) { return g->skins || g->smoothskin; }

int CheckIndex(const ZEGEOM* g, int v) {
  if (v < 0 || v >= g->vtxcount) ZeError("vertex index %d past the %d vertices", v, g->vtxcount);
  return v;
}

enum Form { kNorm, kSmooth, kSmoothOld };

// Fills prim defs from one geometry's first list; returns how many.
int FillPrimDefs(const ZEGEOM* g, ZEPRIMDEF* out, Form form) {
  const ZEPRIM* prim = g->prims;
  const int16_t* idx = prim->idx;
  if (!idx) ZeError("skinned geometry whose first list has no indices (kind %d)", prim->kind);
  const int per = form == kNorm ? 3 : 6;
  const int prims = prim->count / per;
  int n = 0;
  for (int t = 0; t < prims; t++) {
    const int16_t* q = idx + t * per;
    ZEPRIMDEF* r = &out[n];
    ClearPrimDef(r);
    if (form == kSmooth) {
      static constexpr int kPos[6] = {0, 3, 5, 1, 2, 4};
      for (int k = 0; k < 6; k++) ZeCvtSknAddVtxToPrimDef(r, k, g->vtx, CheckIndex(g, q[kPos[k]]), g);
      n++;
      continue;
    }
    const int c[3] = {CheckIndex(g, q[0]), CheckIndex(g, q[form == kNorm ? 1 : 3]), CheckIndex(g, q[form == kNorm ? 2 : 5])};
    for (int k = 0; k < 3; k++) {
      if (g->smoothskin) {
        r->vtx[k] = g->vtx[c[k]];
        r->vid[k] = c[k];
        r->nbr[k] = -1;
        const ZESMOOTHSKIN& s = g->smoothskin[c[k]];
        for (int j = 0; j < 3 && s.weight[j] != 0.0f; j++) r->weight[k][AddMtxToPrimDef(r, s.mtx[j])] = s.weight[j];
      } else {
        ZeCvtSknAddVtxToPrimDef(r, k, g->vtx, c[k], g);
      }
    }
    if (form == kNorm && (c[0] == c[1] || c[1] == c[2] || c[0] == c[2])) {
      ZeDebugMsg("Warning: collapsed polygon detected");
      continue;
    }
    if (form == kNorm) r->serial = prim_serial++;
    if (r->npalette < ZESKN_PALETTE) stats.histogram[r->npalette]++;
    n++;
  }
  return n;
}

void Convert(ZEGOBJ* obj, Form form) {
  if (!skinbuffer_base) ZeError("skin conversion without a skin buffer (InitSkinning)");
  memset(&stats, 0, sizeof stats);
  int totalmtx = 0, totalprims = 0, converted = 0;
  for (ZEGEOM* g = obj->geometries; g; g = g->next) {
    if (!Skinned(g) || !g->prims) continue;
    const int per = form == kNorm ? 3 : 6;
    const int prims = g->prims->count / per;
    // Work space of the geometry's own size, freed after: never the
    // renderer's frame buffers, which a frame may be using.
    auto* work = static_cast<ZEPRIMDEF*>(ZeMemAllocTagged((prims > 0 ? prims : 1) * int(sizeof(ZEPRIMDEF)) * 2));
    ZEPRIMDEF* sorted = work + (prims > 0 ? prims : 1);
    const int n = FillPrimDefs(g, work, form);
    totalmtx += ZeCvtSknSortPrimDefs(work, n, sorted);
    int peak = 0, common = 0;
    for (int s = 0; s < ZESKN_PALETTE; s++) {
      if (stats.histogram[s]) peak = s;
      if (stats.histogram[s] >= stats.histogram[common]) common = s;
    }
    ZeDebugMsg("Peak mtx-poly %d most common mtx-poly %d", peak, common);
    // 16-byte quadwords for DMA.
    uint8_t* start = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(skinbuffer_free) + 15) & ~uintptr_t(15));
    uint8_t* cursor = start;
    ZeCvtSknBuildInstance(&cursor, skinbuffer_base + skinbuffer_size, g, sorted, n);
    skinbuffer_free = cursor;
    g->skininst = reinterpret_cast<uint32_t*>(start);
    g->dmalen = int32_t(cursor - start);
    ZeCvtSknInstFix(start);
    ZeMemFreeTagged(work);
    totalprims += n;
    converted++;
  }
  if (!converted) return;
  ZeDebugMsg(form == kNorm ? "*Norm***************************************************"
             : form == kSmooth ? "*Smooth*************************************************"
                               : "*Smooth Old*********************************************");
  ZeDebugMsg("total mtx for gobj %d total prims %d IDsize %d", totalmtx, totalprims, int(sizeof(ZEPRIMDEF)));
  const int used = int(skinbuffer_free - skinbuffer_base);
  if (form == kNorm)
    ZeDebugMsg("Tris %d StripTris %d Pts %d Dupes %d Peak Weights %d Used %d bytes", stats.tris, stats.striptris,
               stats.points, stats.dupes, stats.peak_weights, used);
  else
    ZeDebugMsg("Tris %d StripTris %d Pts %d Dupes %d Used %d bytes", stats.tris, stats.striptris, stats.points,
               stats.dupes, used);
  ZeDebugMsg("********************************************************");
}

}  // namespace

void ZePs2CreateSkinNorm(ZEGOBJ* obj) { Convert(obj, kNorm); }
void ZePs2CreateSkinSmooth(ZEGOBJ* obj) { Convert(obj, kSmooth); }
void ZePs2CreateSkinSmoothOld(ZEGOBJ* obj) { Convert(obj, kSmoothOld); }

void ZePs2CreateSkin(ZEGOBJ* obj) {
  if (!skinbuffer_base) ZeError("ZePs2CreateSkin without a skin buffer (InitSkinning)");
  const ZEGEOM* g = obj->geometries;
  if (!g || !g->prims) return;
  if (g->prims->kind == ZEPRIM_IDXLIST) ZePs2CreateSkinNorm(obj);
  if (g->prims->kind == ZEPRIM_PATCH6) ZePs2CreateSkinSmooth(obj);
}

// Old-style skin records (three heap blocks held by a geometry) are made by
// nothing in this program, so there is never one to free.
void ZePs2DestroySkin(ZEGOBJ* obj) { (void)obj; }
