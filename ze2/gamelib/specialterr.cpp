// Special terrain: spheres, boxes and upright cylinders from the crash data
// of a level's collision file, attached to scene instances; and the debug
// line drawing of terrain and special terrain.
#include <cstring>

#include "terrain_local.h"
#include "ze3d.h"

SpecialTerrainData* current_sterrdata;
int sterr_drawbounds = 1;
int sterr_selected = -1;
void (*TerrDebugLine)(uint32_t colour, const ZEVEC* a, const ZEVEC* b) = [](uint32_t c, const ZEVEC* a,
                                                                            const ZEVEC* b) {
  ZeRndrLine3dDbg(c, a->x, a->y, a->z, b->x, b->y, b->z);
};

namespace {

constexpr int kShapeSize[4] = {0, 24, 96, 28};

struct EntryHead {
  uint32_t instance;
  int16_t nshapes;
  uint16_t flags;
  float radius;
  uint32_t size;
};
static_assert(sizeof(EntryHead) == 16);

EntryHead Head(const uint8_t* e) {
  EntryHead h;
  memcpy(&h, e, sizeof h);
  return h;
}

}  // namespace

const char* CrashDataCheck(const uint8_t* data, int size) {
  if (size < 4) return "crash data header past its section";
  uint32_t n;
  memcpy(&n, data, 4);
  uint32_t at = 4;
  for (uint32_t i = 0; i < n; i++) {
    if (uint64_t(at) + sizeof(EntryHead) > uint64_t(size)) return "crash entries run past their section";
    EntryHead h = Head(data + at);
    if (h.size < sizeof(EntryHead) || h.size % 4 || uint64_t(at) + h.size > uint64_t(size))
      return "bad crash entry size";
    if (h.nshapes < 0) return "negative crash shape count";
    uint32_t s = sizeof(EntryHead);
    for (int k = 0; k < h.nshapes; k++) {
      if (s + 8 > h.size) return "crash shapes run past their entry";
      uint32_t type;
      memcpy(&type, data + at + s, 4);
      if (type == 0) return "crash shape of type 0";
      uint32_t len = type < 4 ? uint32_t(kShapeSize[type]) : 8;
      if (s + len > h.size) return "crash shapes run past their entry";
      s += len;
    }
    at += h.size;
  }
  return nullptr;
}

SpecialTerrainData* CreateSpecialTerrainData(ZEGSCENE* scene, uint8_t** bufpos, uint8_t* bufend) {
  uint8_t* cd = CrashDataPtr();
  if (!scene || scene->ninst <= 0 || !cd) return nullptr;
  auto* d = reinterpret_cast<SpecialTerrainData*>((uintptr_t(*bufpos) + 15) & ~uintptr_t(15));
  auto* arr = reinterpret_cast<EePtr<uint8_t>*>(d + 1);
  // Checked before anything is written: the record must fit the buffer.
  if (reinterpret_cast<uint8_t*>(arr + scene->ninst) > bufend)
    ZeError("CreateSpecialTerrainData: the level buffer is full");
  memset(d, 0, sizeof *d);
  memset(arr, 0, sizeof(*arr) * size_t(scene->ninst));
  d->crash = cd;
  d->scene = scene;
  d->entries = arr;
  uint32_t n;
  memcpy(&n, cd, 4);
  uint8_t* e = cd + 4;
  for (uint32_t i = 0; i < n; i++) {
    EntryHead h = Head(e);
    if (h.instance >= uint32_t(scene->ninst))
      ZeError("CreateSpecialTerrainInstanceArray: invalid instance ix in special terrain object");
    arr[h.instance] = e;
    e += h.size;
  }
  *bufpos = reinterpret_cast<uint8_t*>(arr + scene->ninst);
  return d;
}

void SpecialTerrainSetCur(SpecialTerrainData* data) { current_sterrdata = data; }
SpecialTerrainData* SpecialTerrainGetCur() { return current_sterrdata; }

int SpecialTerrainInstanceCollideCheck(const ZEVEC* p, const uint8_t* entry, const ZEMTX* M, ZEVEC* normal,
                                       uint32_t* value, float r) {
  EntryHead h = Head(entry);
  ZEVEC t = {M->m[3][0], M->m[3][1], M->m[3][2]};
  float br = h.radius + r;
  if (ZeVecDistSqr(p, &t, nullptr) > br * br) return 0;
  ZEMTX inv;
  ZEVEC pl = *p, ext = {r, r, r};
  if (h.flags & 1) {
    ZeMtxInvH(&inv, M);
    ZeVecMtxTransform(&pl, p, &inv);
    ZEVEC e;
    ZeVecMtxRotate(&e, &ext, &inv);
    ext = {std::fabs(e.x), std::fabs(e.y), std::fabs(e.z)};
  }
  const uint8_t* s = entry + sizeof(EntryHead);
  for (int k = 0; k < h.nshapes; k++) {
    uint32_t type, val;
    memcpy(&type, s, 4);
    memcpy(&val, s + 4, 4);
    const uint8_t* data = s + 8;
    int kind = 0;
    ZEVEC n = {0, 1, 0};
    if (type == 1) {
      float f[4];
      memcpy(f, data, 16);
      ZEVEC c = {f[0], f[1], f[2]}, w;
      ZeVecMtxTransform(&w, &c, M);
      float rr = f[3] + r;
      if (ZeVecDistSqr(p, &w, &n) < rr * rr) {
        ZeVecNorm(&n, &n);
        kind = 1;
      }
    } else if (type == 2) {
      ZEMTX bm;
      float mn[3], mx[3];
      memcpy(&bm, data, 64);
      memcpy(mn, data + 64, 12);
      memcpy(mx, data + 76, 12);
      ZEVEC q, e;
      ZeVecMtxTransform(&q, &pl, &bm);
      ZeVecMtxRotate(&e, &ext, &bm);
      float qe[3] = {std::fabs(e.x), std::fabs(e.y), std::fabs(e.z)};
      float qp[3] = {q.x, q.y, q.z};
      bool in = true;
      for (int a = 0; a < 3; a++) in = in && qp[a] + qe[a] >= mn[a] && qp[a] - qe[a] <= mx[a];
      if (in) {
        float nb[3];
        for (int a = 0; a < 3; a++) {
          bool hi = qp[a] + qe[a] > mx[a], lo = qp[a] - qe[a] < mn[a];
          nb[a] = hi == lo ? 0.0f : hi ? 1.0f : -1.0f;
        }
        ZEVEC bn = {nb[0], nb[1], nb[2]};
        if (bn.x == 0 && bn.y == 0 && bn.z == 0) {
          ZEVEC c = {q.x - (mn[0] + mx[0]) / 2, q.y - (mn[1] + mx[1]) / 2, q.z - (mn[2] + mx[2]) / 2};
          // At the exact centre there is no direction: the box's up axis.
          bn = c.x == 0 && c.y == 0 && c.z == 0 ? ZEVEC{0, 1, 0} : c;
        }
        ZeVecNorm(&bn, &bn);
        ZEMTX binv;
        ZeMtxInvRSS(&binv, &bm);
        ZeVecMtxRotate(&bn, &bn, &binv);
        ZeVecMtxRotate(&n, &bn, M);
        ZeVecNorm(&n, &n);
        kind = 2;
      }
    } else if (type == 3) {
      float f[5];
      memcpy(f, data, 20);
      ZEVEC c = {f[0], f[1], f[2]}, w;
      ZeVecMtxTransform(&w, &c, M);
      float dx = p->x - w.x, dz = p->z - w.z, rr = f[4] + r;
      if (p->y >= w.y - r && p->y <= w.y + f[3] + r && dx * dx + dz * dz < rr * rr) {
        n = {dx, 0, dz};
        ZeVecNorm(&n, &n);
        kind = 1;
      }
    } else if (type == 0) {
      ZeError("SpecialTerrainInstanceCollideCheck: bad special terrain type <%d>", int(type));
    } else {
      return 0;
    }
    if (kind) {
      if (normal) *normal = n;
      if (value) *value = val;
      return kind;
    }
    s += kShapeSize[type];
  }
  return 0;
}

int SpecialTerrainCollideCheck(const ZEVEC* p, ZEVEC* normal, uint32_t* value, float r) {
  SpecialTerrainData* d = current_sterrdata;
  if (!d) return 0;
  uint32_t n;
  memcpy(&n, d->crash.get(), 4);
  const uint8_t* e = d->crash.get() + 4;
  for (uint32_t i = 0; i < n; i++) {
    EntryHead h = Head(e);
    const ZEGSCNINST* si = d->scene->insts.get() + h.instance;
    if ((si->flags & 5) == 5) {
      const ZEMTX* m = ZeGScnInstOverride(si) ? ZeGScnInstOverride(si) : &si->mtx;
      if (int k = SpecialTerrainInstanceCollideCheck(p, e, m, normal, value, r)) return k;
    }
    e += h.size;
  }
  return 0;
}

// ------------------------------------------------------------ debug drawing

namespace {

void Line(uint32_t c, const ZEVEC& a, const ZEVEC& b) { TerrDebugLine(c, &a, &b); }

void PolyLines(const TerrPolygon* p, const ZEVEC& at, const ZEMTX* rot, uint32_t c, bool normals) {
  ZEVEC v[4];
  int nv = TerrIsQuad(p) ? 4 : 3;
  for (int k = 0; k < nv; k++) {
    ZEVEC q = p->v[k];
    if (rot) ZeVecMtxRotate(&q, &p->v[k], rot);
    ZeVecAdd(&v[k], &q, &at);
  }
  Line(c, v[0], v[1]);
  Line(c, v[1], v[2]);
  Line(c, v[2], v[0]);
  if (nv == 4) Line(c, v[1], v[3]), Line(c, v[3], v[2]);
  if (normals) {
    ZEVEC n = p->na, m = {(v[0].x + v[1].x + v[2].x) / 3, (v[0].y + v[1].y + v[2].y) / 3, (v[0].z + v[1].z + v[2].z) / 3};
    if (rot) ZeVecMtxRotate(&n, &p->na, rot);
    ZEVEC e = m;
    ZeVecScaleAccum(&e, &n, 0.1f);
    Line(c, m, e);
  }
}

uint32_t PolyColour(const TerrPolygon* p) {
  if (p->flags & 0x80) return 0x800000ffu;  // crush: red
  if (p->group) return 0x80ff8000u;         // grouped: blue
  return (p->steep & 3) ? 0x8000c0ffu : 0x8000ff00u;  // steep orange, floor green
}

template <class F>
void EachPoly(const TerrItem* it, F f) {
  for (const uint8_t* g = it->groups;;) {
    auto* h = reinterpret_cast<const TerrGroupHeader*>(g);
    if (h->first < 0) return;
    auto* p = reinterpret_cast<const TerrPolygon*>(g + sizeof(TerrGroupHeader));
    for (int k = 0; k < h->count; k++) f(p + k);
    g += sizeof(TerrGroupHeader) + h->count * sizeof(TerrPolygon);
  }
}

const PlatInst* PlatOfItem(int item) {
  if (!CurTerr || item < 0 || item >= TERR_ITEMS) return nullptr;
  const TerrItem* it = TerrItemAt(item);
  if (it->link < 0 || it->link >= TERR_PLATINSTS) return nullptr;
  const PlatInst* pi = CurTerr->plat + it->link;
  return pi->live && pi->item == item ? pi : nullptr;
}

}  // namespace

void TerrDrawSitu(const TerrPolygon* poly, const ZEVEC* pos) { PolyLines(poly, *pos, nullptr, 0x80ffffffu, false); }

void TerrDraw(const TerrPolygon* poly, int item) {
  if (CurTerr && item >= 0 && item < TERR_SLOTS) TerrDrawSitu(poly, &TerrItemAt(item)->pos);
}

void TerrDrawPlatCol(const TerrPolygon* poly, int item, uint32_t colour) {
  const PlatInst* pi = PlatOfItem(item);
  if (!pi || (pi->sceneflags && !(*pi->sceneflags.get() & 1))) return;
  PolyLines(poly, TerrItemAt(item)->pos, (pi->flags & 1) ? pi->live.get() : nullptr, colour, true);
}

void TerrDrawPlat(const TerrPolygon* poly, int item) { TerrDrawPlatCol(poly, item, PolyColour(poly)); }

void DrawMSitu(int item) {
  if (!CurTerr || item < 0 || item >= TERR_SLOTS) return;
  const TerrItem* it = TerrItemAt(item);
  if (it->kind == -1 || !it->groups) return;
  EachPoly(it, [&](const TerrPolygon* p) { PolyLines(p, it->pos, nullptr, PolyColour(p), false); });
}

void DrawPlatform(int inst) {
  if (!CurTerr || inst < 0 || inst >= TERR_PLATINSTS || !CurTerr->plat[inst].live) return;
  int item = CurTerr->plat[inst].item;
  EachPoly(TerrItemAt(item), [&](const TerrPolygon* p) { TerrDrawPlat(p, item); });
}

void DrawHitTerrain() {
  if (!CurTerr || !TerI) return;
  for (const uint8_t* g = TerI->list;;) {
    TerrListHeader h;
    memcpy(&h, g, 4);
    if (h.count == 0) return;
    int n = h.count < 0 ? -h.count : h.count;
    for (int k = 0; h.count > 0 && k < n; k++) {
      EePtr<TerrPolygon> p;
      memcpy(&p, g + 4 + 4 * k, 4);
      PolyLines(p, TerrItemAt(h.item)->pos, nullptr, PolyColour(p), false);
    }
    g += 4 + 4 * n;
  }
}

void DrawWallSpline() {
  for (int k = 0; k + 1 < WallSplCount; k += 2) {
    ZEVEC a = *WallSplList[k], b = *WallSplList[k + 1];
    a.y = b.y = 0;
    Line(0x80808080u, a, b);
  }
}

void TerrShowCamTerr() {
  if (!CurTerr) return;
  ZEVEC o = {0, 0, 0}, v = {0, 0, 0};
  TerrWorkTake(&o, &v, 0, 0.5f, 1.0f, 0.01f, 1e-5f);
  ScanTerrain(1, 0, 0);
  TerrWorkGive();
}

void SphereDraw(const ZEVEC* c, float r, float yscale) {
  for (int ring = 0; ring < 8; ring++) {
    int lat = -0x3000 + ring * 0x6000 / 7;
    float sy = ZeTrigSin(lat), cy = ZeTrigCos(lat);
    ZEVEC prev{};
    for (int s = 0; s <= 32; s++) {
      int a = s * 0x800;
      float sa = ZeTrigSin(a), ca = ZeTrigCos(a);
      ZEVEC p = {c->x + r * cy * sa, c->y + r * sy * yscale, c->z + r * cy * ca};
      if (s) Line(0x80ffff00u, prev, p);
      prev = p;
    }
  }
}

void SpecialTerrainTestRender() {
  SpecialTerrainData* d = current_sterrdata;
  if (!d) return;
  uint32_t n;
  memcpy(&n, d->crash.get(), 4);
  const uint8_t* e = d->crash.get() + 4;
  for (uint32_t i = 0; i < n; i++, e += Head(e).size) {
    if (sterr_selected >= 0 && uint32_t(sterr_selected) != i) continue;
    EntryHead h = Head(e);
    const ZEGSCNINST* si = d->scene->insts.get() + h.instance;
    const ZEMTX* M = ZeGScnInstOverride(si) ? ZeGScnInstOverride(si) : &si->mtx;
    ZEVEC t = {M->m[3][0], M->m[3][1], M->m[3][2]};
    if (sterr_drawbounds) {
      float b = h.radius;
      for (int k = 0; k < 12; k++) {
        static const int ed[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                      {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
        auto corner = [&](int c) {
          return ZEVEC{t.x + (c & 1 ? b : -b), t.y + (c & 2 ? b : -b), t.z + (c & 4 ? b : -b)};
        };
        Line(0x80404040u, corner(ed[k][0]), corner(ed[k][1]));
      }
    }
    const uint8_t* s = e + sizeof(EntryHead);
    for (int k = 0; k < h.nshapes; k++) {
      uint32_t type;
      memcpy(&type, s, 4);
      if (type < 1 || type > 3) break;
      const uint8_t* data = s + 8;
      if (type == 2) {
        ZEMTX bm, binv, full;
        float mn[3], mx[3];
        memcpy(&bm, data, 64);
        memcpy(mn, data + 64, 12);
        memcpy(mx, data + 76, 12);
        ZeMtxInvRSSH(&binv, &bm);
        ZeMtxMul(&full, &binv, M);
        static const int ed[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                      {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
        for (auto& eg : ed) {
          ZEVEC a, b;
          auto corner = [&](int c, ZEVEC* out) {
            ZEVEC q = {c & 1 ? mx[0] : mn[0], c & 2 ? mx[1] : mn[1], c & 4 ? mx[2] : mn[2]};
            ZeVecMtxTransform(out, &q, &full);
          };
          corner(eg[0], &a), corner(eg[1], &b);
          Line(0x80ff00ffu, a, b);
        }
      } else {
        float f[5];
        memcpy(f, data, type == 1 ? 16 : 20);
        ZEVEC c = {f[0], f[1], f[2]}, w;
        ZeVecMtxTransform(&w, &c, M);
        float rad = type == 1 ? f[3] : f[4];
        float top = type == 1 ? 0 : f[3];
        // A star through the centre and a ring (a ring at each end for a
        // cylinder).
        for (int a = 0; a < 3; a++) {
          ZEVEC p = w, q = w;
          (&p.x)[a] -= rad, (&q.x)[a] += rad;
          Line(0x80ffff00u, p, q);
        }
        for (int ringy = 0; ringy <= (type == 3 ? 1 : 0); ringy++) {
          ZEVEC prev{};
          for (int sgm = 0; sgm <= 16; sgm++) {
            int a = sgm * 0x1000;
            ZEVEC p = {w.x + rad * ZeTrigSin(a), w.y + top * float(ringy),
                       w.z + rad * ZeTrigCos(a)};
            if (sgm) Line(0x80ffff00u, prev, p);
            prev = p;
          }
        }
      }
      s += kShapeSize[type];
    }
  }
}
