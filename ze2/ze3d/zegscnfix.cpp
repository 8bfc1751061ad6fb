// Scene-file block fix-ups: every table the scene names is built behind the
// image, every index and offset is checked against what it indexes, and
// every link becomes an address in place.
#include <cmath>

#include "zegscn_local.h"

namespace {

uint32_t U32At(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}

// Whether a native texture image (header, palette block, level blocks)
// lies within its s bytes.
bool NativeFits(const uint8_t* h, int s) {
  if (s < 16) return false;
  const int version = h[2] | h[3] << 8;
  if (version != 0 && version != 1) return false;
  const int type = h[12];
  const int levels = version ? (h[15] & 0x7f) : h[14];
  if (levels > ZEPS2TEX_LEVELS) return false;
  int64_t at = 16;
  if (type >= ZETEX_PAL4 && type <= 7) {
    if (at + 16 > s) return false;
    at += U32At(h + at);
  }
  const int head = version ? 20 : 16;
  for (int i = 0; i < levels; i++) {
    if (at + head > s) return false;
    at += int64_t(U32At(h + at)) + U32At(h + at + head - 4);
    if (at > s) return false;
  }
  return at <= s;
}

// ---- textures and materials ------------------------------------------------

void FixTextures(GscnRd& rd, ZEGSCENE* scene) {
  ZeDebugMsg("Reading type 2 texture set header...");
  const int n = rd.I32();
  rd.I32();
  if (n < 0) GSCN_FATAL("GSC file damaged: texture count %d", n);
  auto* ids = static_cast<ZETEXID*>(ZeGScnBufferAllocAligned(int64_t(n) * 4, 4));
  memset(ids, 0, size_t(n) * 4);
  scene->texids = ids;
  scene->ntex = 0;
  for (int i = 0; i < n; i++) {
    const int s = rd.I32();
    const int padpos = rd.Pos();
    const int p = rd.I32();
    // A pad word of 0 means the image starts 8 bytes on; any other value
    // is the distance from the end of the pad word. The image must lie in
    // the block.
    const int64_t at = int64_t(padpos) + 4 + (p ? p : 8);
    if (s < 0 || at < 0 || at + s > rd.end - rd.base)
      GSCN_FATAL("GSC file damaged: texture %d (size %d, pad %d) lies outside its block", i, s, p);
    rd.p = rd.base + at;
    uint8_t* image = rd.Take(s);
    if (!NativeFits(image, s)) GSCN_FATAL("GSC file damaged: texture %d is not a native image of %d bytes", i, s);
    const ZETEXID id = ZeTexCreateNative(image);
    if (!id) GSCN_FATAL("GSC file damaged: texture %d could not be made", i);
    ids[i] = id;
    scene->ntex = i + 1;
  }
}

void FixMaterials(GscnRd& rd, ZEGSCENE* scene) {
  ZeDebugMsg("Reading Type 2 Material set...");
  const int n = rd.I32();
  rd.I32();
  ZEMTL* recs = rd.Records<ZEMTL>(n);
  auto* table = static_cast<EePtr<ZEMTL>*>(ZeGScnBufferAllocAligned(int64_t(n) * 4, 4));
  scene->mtls = table;
  // The chain words as stored (adding a material clears its chain).
  auto chainOf = [](const ZEMTL& m) { return int32_t(m.chain.addr); };
  for (int i = 0; i < n; i++) {
    ZEMTL* m = recs + i;
    table[i] = m;
    const int t = int(m->texture);
    if (t < -1 || t >= scene->ntex) GSCN_FATAL("GSC file damaged: material %d names texture %d of %d", i, t, scene->ntex);
    m->texture = t == -1 ? 0 : scene->texids[t];
    const int32_t chain = chainOf(*m);
    if (chain == -1) m->chain.addr = 0;
    if (chain > 0 && chain <= 65535 && chain > n)
      GSCN_FATAL("GSC file damaged: material %d chains to material %d of %d", i, chain, n);
    if (chain > 65535 || chain < -1) GSCN_FATAL("GSC file damaged: material %d has chain value %d", i, chain);
    if (zegscn_mtlupdate_enabled) {
      const uint32_t keep = m->chain.addr;
      ZeDisableVBlank();
      ZeMtlAddEx(m, 0);
      m->chain.addr = keep;
      if (!ZeMtlReadEvent || ZeMtlReadEvent(m) == 0) ZeMtlUpdate(m);
      ZeEnableVBlank();
    }
    scene->nmtl = i + 1;
  }
  for (int i = 0; i < n; i++) {
    ZEMTL* m = recs + i;
    const int32_t chain = chainOf(*m);
    if (chain == -1) m->chain.addr = 0;
    else if (chain >= 1 && chain <= 65535) m->chain = recs + (chain - 1);
  }
  ZeDebugMsg("Added %d scene materials", n);
}

ZEMTL* SceneMtl(const ZEGSCENE* scene, int index, const char* what, int obj) {
  if (index < 0 || index >= scene->nmtl)
    GSCN_FATAL("GSC file damaged: %s of object %d names material %d of %d", what, obj, index, scene->nmtl);
  return scene->mtls[index];
}

// ---- objects ----------------------------------------------------------------

// The chain's next tags hold offsets from the chain's start: each becomes
// an address. Every next tag must point further on inside the chain.
void FixChain(uint8_t* data, int w, int obj) {
  if (reinterpret_cast<uintptr_t>(data) % ZEGSCN_ALIGN) ZeDebugMsg("Geom DMASTREAM not 128 byte aligned");
  int at = 0;
  while (at + 16 <= w) {
    auto* tag = reinterpret_cast<uint32_t*>(data + at);
    if ((tag[0] >> 24) != 0x20) break;
    const uint32_t off = tag[1];
    if (off % 16 || off <= uint32_t(at) || off + 16 > uint32_t(w))
      GSCN_FATAL("GSC file damaged: object %d has a packet link to %u outside its %d bytes", obj, off, w);
    tag[1] = EeAddrOf(data) + off;
    at = int(off);
  }
}

void FixTriBatch(uint8_t* data, int w, int obj) {
  const int count = int(U32At(data));
  if (w < 16 || count < 0 || (w - 16) / ZECVT_TRISTREAM_RECORD < count)
    GSCN_FATAL("GSC file damaged: object %d has %d sorter records in %d bytes", obj, count, w);
  for (int r = 0; r < count; r++) {
    uint8_t* rec = data + 16 + r * ZECVT_TRISTREAM_RECORD;
    const uint32_t a = EeAddrOf(rec) + 16;
    memcpy(rec + 4, &a, 4);
  }
}

// Colour runs: {file-relative address, count, count groups of two words},
// ended by a run of count 0, all within c bytes. The colours a run names
// must lie in the packets of its own object: the image also holds live
// records (materials in the render lists, instances) that a fade must not
// write over.
// (A fixed table: a fatal error leaves nothing of it behind.)
struct PacketSpan {
  uint32_t lo, hi;  // file-relative
};
constexpr int MAX_SPANS = 8192;
PacketSpan g_spans[MAX_SPANS];
int g_nspans = 0;

void CheckColourRuns(const uint8_t* data, int c, int obj) {
  int at = 0;
  for (;;) {
    if (at + 8 > c) GSCN_FATAL("GSC file damaged: object %d's cross-fade runs have no end", obj);
    const uint32_t addr = U32At(data + at);
    const int32_t n = int32_t(U32At(data + at + 4));
    if (n == 0) return;
    bool inside = false;
    for (int k = 0; k < g_nspans; k++)
      inside |= addr >= g_spans[k].lo && int64_t(addr) + int64_t(n) * 4 <= g_spans[k].hi;
    if (n < 0 || int64_t(n) * 8 > c - at - 8 || !inside || addr % 4)
      GSCN_FATAL("GSC file damaged: object %d's cross-fade run of %d colours at %u", obj, n, addr);
    at += 8 + n * 8;
  }
}

void SetBounds(ZEGOBJ* o) {
  const ZEVEC lo = o->min, hi = o->max;
  o->centre = {(lo.x + hi.x) * 0.5f, (lo.y + hi.y) * 0.5f, (lo.z + hi.z) * 0.5f};
  float r2 = 0.0f, c2 = 0.0f;
  for (int k = 0; k < 8; k++) {
    const ZEVEC p = {k & 1 ? hi.x : lo.x, k & 2 ? hi.y : lo.y, k & 4 ? hi.z : lo.z};
    const float d = p.x * p.x + p.y * p.y + p.z * p.z;
    const float dx = p.x - o->centre.x, dy = p.y - o->centre.y, dz = p.z - o->centre.z;
    const float e = dx * dx + dy * dy + dz * dz;
    if (d > r2) r2 = d;
    if (e > c2) c2 = e;
  }
  o->radius2 = r2;
  o->radius = std::sqrt(r2);
  o->centre_radius2 = c2;
  o->centre_radius = std::sqrt(c2);
}

void FixObjects(GscnRd& rd, ZEGSCENE* scene) {
  ZeDebugMsg("Reading Objset set...");
  const int n = rd.I32();
  const int crossfade = rd.I32();
  if (n < 0) GSCN_FATAL("GSC file damaged: object count %d", n);
  auto* table = static_cast<EePtr<ZEGOBJ>*>(ZeGScnBufferAllocAligned(int64_t(n) * 4, 4));
  memset(table, 0, size_t(n) * 4);
  scene->gobjs = table;
  for (int i = 0; i < n; i++) {
    auto* o = static_cast<ZEGOBJ*>(ZeGScnBufferAllocAligned(sizeof(ZEGOBJ), 4));
    memset(static_cast<void*>(o), 0, sizeof *o);
    table[i] = o;
    scene->ngobj = i + 1;
    g_nspans = 0;
    auto span = [&](const uint8_t* data, int bytes) {
      if (g_nspans >= MAX_SPANS) GSCN_FATAL("GSC file damaged: object %d has more than %d packet blocks", i, MAX_SPANS);
      const uint32_t lo = uint32_t(data - reinterpret_cast<uint8_t*>(GscnImage()));
      g_spans[g_nspans++] = {lo, lo + uint32_t(bytes)};
    };
    o->tag = rd.I32();
    rd.Take(12);
    o->kind = rd.I32();
    if (o->kind == ZEGOBJ_MESH) {
      const int g = rd.I32();
      memcpy(&o->base, rd.Take(12), 12);
      o->tricount = rd.I32();
      rd.Take(8);
      if (g < 0) GSCN_FATAL("GSC file damaged: object %d has %d geometries", i, g);
      auto* geoms = static_cast<ZEGEOM*>(ZeGScnBufferAllocAligned(int64_t(g) * int64_t(sizeof(ZEGEOM)), 4));
      memset(static_cast<void*>(geoms), 0, size_t(g) * sizeof(ZEGEOM));
      for (int k = 0; k < g; k++) {
        ZEGEOM* geom = geoms + k;
        rd.I32();
        const int pad = rd.I32();
        geom->mtlindex = rd.I32();
        geom->mtl = SceneMtl(scene, geom->mtlindex, "a geometry", i);
        rd.Take(pad);
        const int w = rd.I32();
        if (w < 0 || w % 16) GSCN_FATAL("invalid qwc");
        uint8_t* data = rd.Take(w);
        if (reinterpret_cast<uintptr_t>(data) % 16)
          GSCN_FATAL("GSC file damaged: object %d's packets not on a 16-byte address", i);
        if (geom->mtl->attributes & 8) {
          FixTriBatch(data, w, i);
          geom->tribatch = reinterpret_cast<uint32_t*>(data);
        } else {
          FixChain(data, w, i);
          geom->dmastream = reinterpret_cast<uint32_t*>(data);
        }
        geom->dmalen = w;
        span(data, w);
        if (k) geoms[k - 1].next = geom;
      }
      if (g) o->geometries = geoms;
    } else if (o->kind == ZEGOBJ_SPRITES || o->kind == ZEGOBJ_SIZEDSPRITES) {
      const int f = rd.I32();
      rd.Take(8);
      if (f < 0) GSCN_FATAL("GSC file damaged: object %d has %d sprite sets", i, f);
      auto* sets = static_cast<ZEFACEONGEOM*>(ZeGScnBufferAllocAligned(int64_t(f) * int64_t(sizeof(ZEFACEONGEOM)), 4));
      memset(static_cast<void*>(sets), 0, size_t(f) * sizeof(ZEFACEONGEOM));
      for (int k = 0; k < f; k++) {
        ZEFACEONGEOM* set = sets + k;
        set->mtlindex = rd.I32();
        set->mtl = SceneMtl(scene, set->mtlindex, "a sprite set", i);
        set->style = rd.I32();
        if (set->style != 0 && set->style != 1) GSCN_FATAL("Unknown faceon type");
        set->size = rd.F32();
        const int d = rd.I32();
        if (d < 0 || d % 16) GSCN_FATAL("invalid qwc");
        uint8_t* data = rd.Take(d);
        if (reinterpret_cast<uintptr_t>(data) % 16)
          GSCN_FATAL("GSC file damaged: object %d's sprites not on a 16-byte address", i);
        set->dma = reinterpret_cast<uint32_t*>(data);
        span(data, d);
        if (k) sets[k - 1].next = set;
      }
      if (f) o->faceons = sets;
    } else {
      GSCN_FATAL("Unknown geom type");
    }
    memcpy(&o->min, rd.Take(12), 12);
    memcpy(&o->max, rd.Take(12), 12);
    rd.Take(8);
    SetBounds(o);
    o->colourref = nullptr;
    o->faceoncolourrefsize = 0;
    if (crossfade == 1) {
      const int c = rd.I32();
      rd.Take(12);
      uint8_t* data = rd.Take(c);
      if (c) {
        if (c < 8 || reinterpret_cast<uintptr_t>(data) % 4)
          GSCN_FATAL("GSC file damaged: object %d's cross-fade data of %d bytes", i, c);
        CheckColourRuns(data, c, i);
        o->colourref = reinterpret_cast<uint32_t*>(data);
        ZeCvtGeoFixup(data, EeAddrOf(GscnImage()), 2);
      }
    }
  }
}

// ---- instances, names, specials, splines -----------------------------------

void FixInstances(GscnRd& rd, ZEGSCENE* scene) {
  const int n = rd.I32();
  rd.I32();
  ZEGSCNINST* insts = rd.Records<ZEGSCNINST>(n);
  scene->ninst = n;
  scene->insts = n ? insts : nullptr;
  for (int i = 0; i < n; i++) insts[i].flags |= ZEGSCNINST_SEEN;
}

void FixInstAnims(GscnRd& rd, ZEGSCENE* scene) {
  const int m = rd.I32();
  rd.I32();
  ZEGSCNINSTANIM* recs = rd.Records<ZEGSCNINSTANIM>(m);
  scene->instanims = m ? recs : nullptr;
  scene->ninstanims = m;
  int next = 0;
  for (int i = 0; i < scene->ninst; i++) {
    ZEGSCNINST& inst = scene->insts[i];
    if (!inst.anim) continue;
    if (next >= m) GSCN_FATAL("GSC file damaged: %d animation records for more animated instances", m);
    inst.anim = recs + next;
    recs[next++].mtx = inst.mtx;
  }
}

void FixIds(GscnRd& rd, ZEGSCENE* scene) {
  const int n = rd.I32();
  rd.I32();
  scene->ids = rd.Records<int16_t>(n);
  scene->nids = n;
}

void FixNames(GscnRd& rd, ZEGSCENE* scene) {
  const int size = rd.I32();
  auto* names = reinterpret_cast<char*>(rd.Take(size));
  if (size > 0 && names[size - 1] != 0) GSCN_FATAL("GSC file damaged: the name table does not end its last name");
  for (int i = 0; i < size; i++)
    if (names[i] >= 'A' && names[i] <= 'Z') names[i] = char(names[i] - 'A' + 'a');
  scene->names = size > 0 ? names : nullptr;
  scene->namesize = size;
}

}  // namespace

// A name-table offset as the name's address (checked: the table ends with
// a zero byte, so every offset inside it names a whole string).
char* GscnName(const ZEGSCENE* scene, uint32_t offset, const char* what, int index) {
  if (!scene->names || offset >= uint32_t(scene->namesize))
    GSCN_FATAL("GSC file damaged: %s %d names offset %u of a %d-byte name table", what, index, offset, scene->namesize);
  return scene->names.get() + offset;
}

// The spline records of s bytes: n headers filled, each spline's points
// copied into slots of the point size the table gives its name.
void GscnSplines(const uint8_t* data, int s, int n, ZEGSCENE* scene, ZESPLINE* headers, void* (*alloc)(int64_t)) {
  GscnRd sp{const_cast<uint8_t*>(data), const_cast<uint8_t*>(data), const_cast<uint8_t*>(data) + s, "SST0"};
  for (int i = 0; i < n; i++) {
    ZESPLINE& h = headers[i];
    uint16_t k;
    memcpy(&k, sp.Take(2), 2);
    sp.Take(2);
    const int32_t name = sp.I32();
    const uint8_t* pts = sp.Take(int64_t(k) * 12);
    if (k > ZEGSCN_MAX_SPLINE_RUN - 1) GSCN_FATAL("GSC file damaged: spline %d has %d points", i, k);
    h.count = int16_t(k);
    h.name = GscnName(scene, uint32_t(name), "spline", i);
    const int size = FindSplinePtSize(h.name);
    h.ptsize = int16_t(size);
    auto* out = static_cast<uint8_t*>(alloc(int64_t(k) * size));
    for (int p = 0; p < k; p++) memcpy(out + p * size, pts + p * 12, 12);
    h.points = out;
    scene->nspline = i + 1;
  }
}

namespace {

void FixSpecials(GscnRd& rd, ZEGSCENE* scene) {
  const int n = rd.I32();
  rd.I32();
  ZESPECIALOBJ* specs = rd.Records<ZESPECIALOBJ>(n);
  scene->nspec = n;
  scene->specs = n ? specs : nullptr;
  for (int i = 0; i < n; i++) {
    ZESPECIALOBJ& s = specs[i];
    const uint32_t inst = s.inst.addr;
    if (inst >= uint32_t(scene->ninst))
      GSCN_FATAL("GSC file damaged: special %d names instance %u of %d", i, inst, scene->ninst);
    s.inst = scene->insts + inst;
    s.mtx = s.inst->mtx;
    s.name = GscnName(scene, s.name.addr, "special", i);
    s.flags &= ~ZESPECIAL_OWNMTX;
  }
}

void FixSplines(GscnRd& rd, ZEGSCENE* scene) {
  const int n = rd.I32();
  const int s = rd.I32();
  const uint8_t* src = rd.Take(s);
  if (n < 0) GSCN_FATAL("GSC file damaged: spline count %d", n);
  auto* headers = static_cast<ZESPLINE*>(ZeGScnBufferAllocAligned(int64_t(n) * int64_t(sizeof(ZESPLINE)), 4));
  scene->splines = n ? headers : nullptr;
  scene->nspline = 0;
  char* keep = GscnAllocEnd();
  auto* data = static_cast<uint8_t*>(GscnTempAlloc(s, 4));
  memcpy(data, src, size_t(s));
  GscnSplines(data, s, n, scene, headers, [](int64_t bytes) { return ZeGScnBufferAllocAligned(bytes, 4); });
  GscnTempRelease(keep);
}

// ---- portals, prelighting, bounds ------------------------------------------

void FixPortals(GscnRd& rd, ZEGSCENE* scene) {
  ZeDebugMsg("Reading Portal set...");
  int16_t c[8];
  memcpy(c, rd.Take(16), 16);
  const int P = c[0], R = c[1], E1 = c[2], N = c[3], V = c[4], E2 = c[5];
  if (P < 0 || R < 0 || E1 < 0 || N < 0 || V < 0 || E2 < 0) GSCN_FATAL("GSC file damaged: PORT block counts");
  int16_t* list1 = rd.Records<int16_t>(E1);
  ZEVEC4* planes = reinterpret_cast<ZEVEC4*>(rd.Take(int64_t(N) * 16));
  int16_t* list2 = rd.Records<int16_t>(E2);
  ZEVEC* verts = reinterpret_cast<ZEVEC*>(rd.Take(int64_t(V) * 12));
  ZEROOM* rooms = rd.Records<ZEROOM>(R);
  ZEPORTAL* portals = rd.Records<ZEPORTAL>(P);
  for (int i = 0; i < E1; i++)
    if (list1[i] < 0 || list1[i] >= scene->ninst) GSCN_FATAL("GSC file damaged: a room lists instance %d", list1[i]);
  for (int i = 0; i < E2; i++)
    if (list2[i] < 0 || list2[i] >= P) GSCN_FATAL("GSC file damaged: a room lists portal %d", list2[i]);
  for (int r = 0; r < R; r++) {
    ZEROOM& room = rooms[r];
    const uint32_t a = room.instances.addr, b = room.planes.addr, d = room.portals.addr;
    if (room.ninstances < 0 || uint64_t(a) + uint64_t(room.ninstances) > uint64_t(E1) ||
        uint64_t(b) + room.nplanes > uint64_t(N) || uint64_t(d) + room.nportals > uint64_t(E2))
      GSCN_FATAL("GSC file damaged: room %d's lists run outside the portal set", r);
    room.instances = list1 + a;
    room.planes = planes + b;
    room.portals = list2 + d;
  }
  for (int p = 0; p < P; p++) {
    ZEPORTAL& portal = portals[p];
    const uint32_t v = portal.vertices.addr;
    if (portal.nvertices < 0 || uint64_t(v) + uint64_t(portal.nvertices) > uint64_t(V) || portal.rooma < -1 ||
        portal.rooma >= R || portal.roomb < -1 || portal.roomb >= R)
      GSCN_FATAL("GSC file damaged: portal %d's vertices or rooms lie outside the portal set", p);
    portal.vertices = verts + v;
  }
  scene->portals.nportals = P;
  scene->portals.portals = P ? portals : nullptr;
  scene->portals.nrooms = R;
  scene->portals.rooms = R ? rooms : nullptr;
  scene->portals.maxdepth = ZEPORTAL_DEFAULT_DEPTH;
}

void FixPrelight(GscnRd& rd, ZEGSCENE* scene) {
  ZeDebugMsg("Reading Live Prelighting set...");
  ZEPRELIGHTDATA& pl = scene->prelight;
  const int A = rd.I32(), B = rd.I32();
  rd.Take(8);
  if (A < 0 || B < 0) GSCN_FATAL("GSC file damaged: PLGT counts %d, %d", A, B);
  pl.nverts = A;
  pl.verts = A ? rd.Records<ZEPRELIGHTVERTEX>(A) : nullptr;
  pl.nobjects = B;
  pl.starts = B ? rd.Records<int32_t>(B) : nullptr;
  rd.I32();
  const int G = rd.I32();
  rd.Take(8);
  if (G < 0 || G > ZEPRELIGHT_MAX_SETS) GSCN_FATAL("GSC file damaged: %d light sets", G);
  pl.nsets = G;
  for (int g = 0; g < G; g++) {
    const int k = rd.I32();
    rd.Take(12);
    pl.nlights[g] = k;
    pl.lights[g] = rd.Records<ZEPRELIGHTLIGHT>(k);
  }
  const int M = rd.I32();
  rd.Take(12);
  pl.nsurfaces = M;
  pl.surfaces = rd.Records<ZEPRELIGHTSURFACE>(M);
  pl.gamma = rd.F32();
  pl.brightness = rd.F32();
  pl.ambient = rd.F32();
  for (int i = 0; i < A; i++)
    if (pl.verts[i].surface < 0 || pl.verts[i].surface >= M)
      GSCN_FATAL("GSC file damaged: prelight vertex %d names surface %d of %d", i, pl.verts[i].surface, M);
  for (int i = 0; i < B; i++)
    if (pl.starts[i] < 0 || pl.starts[i] > A || (i && pl.starts[i] < pl.starts[i - 1]))
      GSCN_FATAL("GSC file damaged: prelight object %d starts at vertex %d of %d", i, pl.starts[i], A);
}

void FixBounds(GscnRd& rd, ZEGSCENE* scene) {
  ZeDebugMsg("Reading Bounds set...");
  rd.I32();
  const int n = rd.I32();
  rd.Take(8);
  ZEPORTALSET& ps = scene->portals;
  ps.nbounds = ps.nbounds2 = n;
  ps.spheres = rd.Records<ZEVEC4>(n);
  ps.boxes = rd.Records<ZEVEC4>(int64_t(n) * 2);
}

}  // namespace

void GscnFixBlock(int id, GscnRd& rd, ZEGSCENE* scene, uint32_t* seen) {
  static const struct {
    const char* id;
    void (*fix)(GscnRd&, ZEGSCENE*);
  } table[] = {{"TST0", FixTextures},    {"TST2", FixTextures}, {"MS00", FixMaterials}, {"MS02", FixMaterials},
               {"OBJ0", FixObjects},     {"INST", FixInstances}, {"IABL", FixInstAnims}, {"INID", FixIds},
               {"NTBL", FixNames},       {"SPEC", FixSpecials}, {"SST0", FixSplines},   {"TAS0", GscnFixTexAnims},
               {"ALIB", GscnFixAnimLib}, {"PORT", FixPortals},  {"PLGT", FixPrelight},  {"BNDS", FixBounds}};
  static_assert(std::size(table) <= 32);
  for (size_t k = 0; k < std::size(table); k++) {
    const auto& t = table[k];
    if (memcmp(&id, t.id, 4) != 0) continue;
    // A second block of a kind would replace tables the first one sized
    // and registered (materials, textures): refused.
    size_t kind = 0;
    while (table[kind].fix != t.fix) kind++;
    if (*seen & (1u << kind)) GSCN_FATAL("GSC file damaged: a second %s block", t.id);
    *seen |= 1u << kind;
    rd.block = t.id;
    t.fix(rd, scene);
    return;
  }
}

// What no single block can check: instance objects, animation records and
// library indices, bounds for every instance.
void GscnCheckScene(ZEGSCENE* scene) {
  for (int i = 0; i < scene->ninst; i++) {
    const ZEGSCNINST& inst = scene->insts[i];
    if (inst.object < 0 || inst.object >= scene->ngobj)
      GSCN_FATAL("GSC file damaged: instance %d names object %d of %d", i, inst.object, scene->ngobj);
    if (!inst.anim) continue;
    const ZEGSCNINSTANIM* a = inst.anim;
    const ZEGSCNINSTANIM* first = scene->instanims;
    if (!first || a < first || a >= first + scene->ninstanims)
      GSCN_FATAL("GSC file damaged: instance %d is animated but has no animation record", i);
    if (scene->animlib && a->anim >= scene->nanimlib)
      GSCN_FATAL("GSC file damaged: instance %d names animation %d of %d", i, a->anim, scene->nanimlib);
  }
  ZEPORTALSET& ps = scene->portals;
  if (ps.nbounds && ps.nbounds < scene->ninst)
    GSCN_FATAL("GSC file damaged: %d bounds for %d instances", ps.nbounds, scene->ninst);
  ps.ninst = scene->ninst;
  ps.insts = scene->insts;
  scene->prelight.ninst = scene->ninst;
  scene->prelight.insts = scene->insts;
  scene->prelight.spheres = ps.spheres;
}
