// zegobj: geometry objects, their geometries, primitive lists and sprite
// sets; the system list of heap-made objects; bounds, per-triangle planes,
// the vertex-colour cross-fade and the star-field packet.
#include "ze3d.h"

#include <bit>
#include <cstring>

ZEGOBJ* zegobj_list = nullptr;
int zegobj_initialised = 0;
int zegeom_serial = 0;

// ---- creation and destruction ---------------------------------------------

void ZeGobjInit() {
  if (zegobj_initialised) ZeGobjClose();
  zegobj_initialised = 1;
  zegobj_list = nullptr;
}

void ZeGobjClose() {
  if (!zegobj_initialised) return;
  while (zegobj_list) ZeGobjDestroy(zegobj_list);
}

ZEGOBJ* ZeGobjCreate() {
  auto* obj = static_cast<ZEGOBJ*>(ZeMemAllocTagged(sizeof(ZEGOBJ)));
  memset(obj, 0, sizeof *obj);
  obj->next = zegobj_list;
  if (zegobj_list) zegobj_list->prev = obj;
  zegobj_list = obj;
  return obj;
}

void ZeGobjDestroy(ZEGOBJ* obj) {
  ZePs2DestroyRenderStream(obj);
  for (ZEGEOM* g = obj->geometries; g;) {
    ZEGEOM* next = g->next;
    if (ZEMORPH* m = g->morph) {
      if (m->offsets) ZeMemFreeTagged(m->offsets.get());
      if (m->data) ZeMemFreeTagged(m->data.get());
      if (m->values) ZeMemFreeTagged(m->values.get());
      ZeMemFreeTagged(m);
    }
    ZeGeomDestroy(g);
    g = next;
  }
  if (ZEFACEONGEOM* f = obj->faceons) {
    if (f->dma) ZeMemFreeTagged(f->dma.get());
    while (f) {
      ZEFACEONGEOM* next = f->next;
      ZeFaceOnGeomDestroy(f);
      f = next;
    }
  }
  if (zegobj_list == obj) zegobj_list = obj->next;
  if (obj->prev) obj->prev->next = obj->next;
  if (obj->next) obj->next->prev = obj->prev;
  ZeMemFreeTagged(obj);
}

namespace {

// Appends a record at the tail of a list linked through its next fields.
template <class T>
void AppendTail(EePtr<T>* link, T* node) {
  while (*link) link = &(*link)->next;
  *link = node;
}

}  // namespace

void ZeGobjAddGeom(ZEGOBJ* obj, ZEGEOM* geom) { AppendTail(&obj->geometries, geom); }
void ZeGobjAddFaceOnGeom(ZEGOBJ* obj, ZEFACEONGEOM* set) { AppendTail(&obj->faceons, set); }

ZEGEOM* ZeGeomCreate() {
  auto* g = static_cast<ZEGEOM*>(ZeMemAllocTagged(sizeof(ZEGEOM)));
  memset(g, 0, sizeof *g);
  g->serial = zegeom_serial++;
  return g;
}

ZEFACEONGEOM* ZeFaceOnGeomCreate() {
  auto* f = static_cast<ZEFACEONGEOM*>(ZeMemAllocTagged(sizeof(ZEFACEONGEOM)));
  memset(f, 0, sizeof *f);
  return f;
}

void ZeGeomDestroy(ZEGEOM* geom) {
  if (geom->vtx) ZeMemFreeTagged(geom->vtx.get());
  for (ZEPRIM* p = geom->prims; p;) {
    ZEPRIM* next = p->next;
    ZePrimDestroy(p);
    p = next;
  }
  for (ZESKIN* s = geom->skins; s;) {
    ZESKIN* next = s->next;
    if (s->weights) ZeMemFreeTagged(s->weights.get());
    if (s->mtxids) ZeMemFreeTagged(s->mtxids.get());
    ZeMemFreeTagged(s);
    s = next;
  }
  if (geom->smoothskin) ZeMemFreeTagged(geom->smoothskin.get());
  // The prelight block is the geometry's own heap block too: free it with
  // the rest rather than leave it behind.
  if (geom->prelight) ZeMemFreeTagged(geom->prelight.get());
  ZeMemFreeTagged(geom);
}

void ZeFaceOnGeomDestroy(ZEFACEONGEOM* set) {
  if (set->sprites) ZeMemFreeTagged(set->sprites.get());
  ZeMemFreeTagged(set);
}

void ZeGeomAddPrim(ZEGEOM* geom, ZEPRIM* prim) { AppendTail(&geom->prims, prim); }
void ZeGeomAddSkin(ZEGEOM* geom, ZESKIN* skin) { AppendTail(&geom->skins, skin); }

ZEPRIM* ZePrimCreate(int count, int kind) {
  auto* p = static_cast<ZEPRIM*>(ZeMemAllocTagged(sizeof(ZEPRIM)));
  memset(p, 0, sizeof *p);
  p->kind = kind;
  p->count = p->max = count;
  if (kind >= ZEPRIM_STRIP) {
    auto* idx = static_cast<int16_t*>(ZeMemAllocTagged(count * 2 > 0 ? count * 2 : 2));
    memset(idx, 0, count > 0 ? size_t(count) * 2 : 2);
    p->idx = idx;
  }
  return p;
}

void ZePrimDestroy(ZEPRIM* prim) {
  if (!prim) return;
  if (prim->idx) ZeMemFreeTagged(prim->idx.get());
  if (prim->planes) ZeMemFreeTagged(prim->planes.get());
  ZeMemFreeTagged(prim);
}

int ZeVtxStride(int kind) { return kind == 0 ? 36 : kind == 1 ? 28 : 0; }

int ZePrimStride(int kind) {
  switch (kind) {
    case ZEPRIM_IDXPAIRS: return 4;
    case ZEPRIM_IDXLIST: return 6;
    case ZEPRIM_PATCH16: return 32;
    default: return 0;
  }
}

// ---- bounds ---------------------------------------------------------------

namespace {

constexpr float kBig = std::bit_cast<float>(0x7f7fffffu);

void Widen(ZEGOBJ* obj, const ZEVEC& lo, const ZEVEC& hi) {
  if (lo.x < obj->min.x) obj->min.x = lo.x;
  if (lo.y < obj->min.y) obj->min.y = lo.y;
  if (lo.z < obj->min.z) obj->min.z = lo.z;
  if (hi.x > obj->max.x) obj->max.x = hi.x;
  if (hi.y > obj->max.y) obj->max.y = hi.y;
  if (hi.z > obj->max.z) obj->max.z = hi.z;
}

float DistSqr(const ZEVEC& a, const ZEVEC& b) {
  const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return dx * dx + dy * dy + dz * dz;
}

void StartBox(ZEGOBJ* obj) {
  obj->min = {kBig, kBig, kBig};
  obj->max = {-kBig, -kBig, -kBig};
  obj->radius2 = 0.0f;
}

void FinishFirstPass(ZEGOBJ* obj) {
  obj->radius = ZeFsqrt(obj->radius2);
  obj->centre = {(obj->min.x + obj->max.x) * 0.5f, (obj->min.y + obj->max.y) * 0.5f,
                 (obj->min.z + obj->max.z) * 0.5f};
}

// Vertex positions of a geometry, whatever its stride.
const ZEVEC& VtxPos(const ZEGEOM* g, int i, int stride) {
  return *reinterpret_cast<const ZEVEC*>(reinterpret_cast<const uint8_t*>(g->vtx.get()) + size_t(i) * stride);
}

}  // namespace

float ZeGobjCalcDims(ZEGOBJ* obj) {
  StartBox(obj);
  const ZEVEC origin = {0, 0, 0};
  for (ZEGEOM* g = obj->geometries; g; g = g->next) {
    if (!g->vtx) ZeError("ZeGobjCalcDims : Lock VB failed!");
    const int stride = ZeVtxStride(g->vtxkind);
    for (int i = 0; i < g->vtxcount; i++) {
      const ZEVEC& p = VtxPos(g, i, stride);
      Widen(obj, p, p);
      const float d = DistSqr(p, origin);
      if (d > obj->radius2) obj->radius2 = d;
    }
  }
  FinishFirstPass(obj);
  obj->centre_radius2 = 0.0f;
  for (ZEGEOM* g = obj->geometries; g; g = g->next) {
    const int stride = ZeVtxStride(g->vtxkind);
    for (int i = 0; i < g->vtxcount; i++) {
      const float d = DistSqr(VtxPos(g, i, stride), obj->centre);
      if (d > obj->centre_radius2) obj->centre_radius2 = d;
    }
  }
  obj->centre_radius = ZeFsqrt(obj->centre_radius2);
  return obj->centre_radius;
}

float ZeGobjCalcFaceOnDims(ZEGOBJ* obj) {
  StartBox(obj);
  const ZEVEC origin = {0, 0, 0};
  for (ZEFACEONGEOM* f = obj->faceons; f; f = f->next) {
    for (int i = 0; i < f->count; i++) {
      const ZEFACEON& s = f->sprites[i];
      const float e = s.width > s.height ? s.width : s.height;
      Widen(obj, {s.pos.x - e, s.pos.y - e, s.pos.z - e}, {s.pos.x + e, s.pos.y + e, s.pos.z + e});
      const float d = DistSqr(s.pos, origin);
      if (d > obj->radius2) obj->radius2 = d;
    }
  }
  FinishFirstPass(obj);
  obj->centre_radius2 = 0.0f;
  float largest = 0.0f;
  for (ZEFACEONGEOM* f = obj->faceons; f; f = f->next) {
    for (int i = 0; i < f->count; i++) {
      const ZEFACEON& s = f->sprites[i];
      const float e = s.width > s.height ? s.width : s.height;
      if (e > largest) largest = e;
      const float dx = ZeFabs(s.pos.x - obj->centre.x) + e;
      const float dy = ZeFabs(s.pos.y - obj->centre.y) + e;
      const float dz = ZeFabs(s.pos.z - obj->centre.z) + e;
      const float d = dx * dx + dy * dy + dz * dz;
      if (d > obj->centre_radius2) obj->centre_radius2 = d;
    }
  }
  obj->min = {obj->min.x - largest, obj->min.y - largest, obj->min.z - largest};
  obj->max = {obj->max.x + largest, obj->max.y + largest, obj->max.z + largest};
  obj->centre_radius = ZeFsqrt(obj->centre_radius2);
  return obj->centre_radius;
}

// ---- planes ---------------------------------------------------------------

void ZePrimCalcPlanes(ZEPRIM* prim, ZEGEOM* geom) {
  if (prim->planes) ZeError("assert");
  const int16_t* idx = prim->idx;
  const int n = prim->count;
  int planes = 0;
  switch (prim->kind) {
    // Only whole triangles: a count that is not a multiple of three must not
    // read vertices past the list.
    case ZEPRIM_LIST:
    case ZEPRIM_IDXLIST: planes = n / 3; break;
    case ZEPRIM_STRIP:
    case ZEPRIM_IDXSTRIP: planes = n > 2 ? n - 2 : 0; break;
    default: return;
  }
  auto vertex = [&](int k) -> const ZEVEC& {
    const int v = idx && prim->kind != ZEPRIM_LIST && prim->kind != ZEPRIM_STRIP ? idx[k] : k;
    if (v < 0 || v >= geom->vtxcount) ZeError("vertex index %d past the %d vertices", v, geom->vtxcount);
    return geom->vtx[v].pos;
  };
  auto* table = static_cast<ZEVEC4*>(ZeMemAllocTagged(planes > 0 ? planes * int(sizeof(ZEVEC4)) : 16));
  for (int i = 0; i < planes; i++) {
    if (prim->kind == ZEPRIM_LIST || prim->kind == ZEPRIM_IDXLIST)
      ZePlnEqn(&table[i], &vertex(3 * i), &vertex(3 * i + 1), &vertex(3 * i + 2));
    else if (i & 1)
      ZePlnEqn(&table[i], &vertex(i), &vertex(i + 2), &vertex(i + 1));
    else
      ZePlnEqn(&table[i], &vertex(i), &vertex(i + 1), &vertex(i + 2));
  }
  prim->planes = table;
}

void ZeGeomCalcPlanes(ZEGEOM* geom) {
  for (ZEPRIM* p = geom->prims; p; p = p->next) ZePrimCalcPlanes(p, geom);
}

void ZeGobjCalcPlanes(ZEGOBJ* obj) {
  for (ZEGEOM* g = obj->geometries; g; g = g->next) ZeGeomCalcPlanes(g);
}

void ZeGobjSetRenderPlane(ZEGOBJ* obj, int plane) {
  for (ZEGEOM* g = obj->geometries; g; g = g->next) {
    if (!g->mtl) continue;
    ZeMtlRemove(g->mtl);
    ZeMtlSetRenderPlane(g->mtl, plane);
  }
}

// ---- cross-fade -----------------------------------------------------------

uint32_t ZeGobjColourBlend(uint32_t a, uint32_t b, int t) {
  if (t == 0) return a;
  if (t == 255) return b;
  // Four 16-bit lanes: a byte x 255 plus a byte x t never passes 16 bits.
  uint64_t la = 0, lb = 0;
  for (int i = 0; i < 4; i++) {
    la |= uint64_t(a >> (8 * i) & 0xff) << (16 * i);
    lb |= uint64_t(b >> (8 * i) & 0xff) << (16 * i);
  }
  const uint64_t sum = la * uint64_t(255 - t) + lb * uint64_t(t);
  uint32_t out = 0;
  for (int i = 0; i < 4; i++) out |= uint32_t(sum >> (16 * i + 8) & 0xff) << (8 * i);
  return out;
}

int ZeGobjColourBlendGobj(ZECOLOURREF* run, int t, int budget, ZECOLOURREF** resume) {
  while (budget > 0 && run->count != 0) {
    const int c = run->count;
    budget -= c;
    auto* dst = static_cast<uint8_t*>(EeAddrToPtr(run->addr));
    const uint32_t* pair = reinterpret_cast<const uint32_t*>(run + 1);
    for (int i = 0; i < c; i++, dst += 4, pair += 2) {
      const uint32_t v = ZeGobjColourBlend(pair[0], pair[1], t);
      // R, G and B only: the packet's fourth byte is never written.
      dst[0] = uint8_t(v);
      dst[1] = uint8_t(v >> 8);
      dst[2] = uint8_t(v >> 16);
    }
    run = reinterpret_cast<ZECOLOURREF*>(const_cast<uint32_t*>(pair));
  }
  *resume = run;
  return budget;
}

int ZeGobjApplyCrossFade(ZEGOBJ* obj, int level, int budget, ZECOLOURREF** resume) {
  if (!obj->colourref) return budget;
  ZECOLOURREF* run = *resume && (*resume)->count != 0 ? *resume : reinterpret_cast<ZECOLOURREF*>(obj->colourref.get());
  return ZeGobjColourBlendGobj(run, level, budget, resume);
}

// ---- star field -----------------------------------------------------------

void* ZeCreateStarfield(int n, float radius) {
  if (n < 0) n = 0;
  constexpr int kBatch = 42;
  auto* block = static_cast<uint32_t*>(ZeMemAllocTagged((n + kBatch - 1) / kBatch * 728 + 16));
  if (!block) return nullptr;
  uint32_t* p = vpDmaTag_RetEx(block, 0, 0);
  for (int left = n; left > 0;) {
    const int c = left < kBatch ? left : kBatch;
    left -= c;
    *p++ = 0x6c0080d2u | uint32_t(c + 3) << 16;
    for (int k = 0; k < 2; k++) {
      p[0] = 0x8000u | uint32_t(c);
      p[1] = 0x20004000u;  // PRE, points, packed, NREG 2
      p[2] = 0x51;         // RGBAQ, XYZ2
      p[3] = 0;
      p += 4;
    }
    p[0] = uint32_t(c);
    p[1] = p[2] = p[3] = 0;
    p += 4;
    for (int i = 0; i < c; i++) {
      ZEVEC v = {0.0f, 0.0f, radius};
      ZeVecRotateX(&v, &v, ZeRand(nullptr));
      // Twice a value up to 2^31 - 2 passes the int range: double it
      // unsigned, which keeps the same bits.
      ZeVecRotateY(&v, &v, int(2u * uint32_t(ZeRand(nullptr))));
      memcpy(p, &v, 12);
      p[3] = std::bit_cast<uint32_t>(255.0f);
      p += 4;
    }
    *p++ = 0x14000300u;
  }
  vpDmaTag_Close(p);
  return block;
}
