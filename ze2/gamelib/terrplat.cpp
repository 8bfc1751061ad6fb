// Moving platforms: instances driven by their owners' matrices, the two
// phases of a frame, the spring bounce, carrying riders and pushing out
// movers that a platform moved into.
#include <cstring>

#include "terrain_local.h"
#include "ze3d.h"
#include "zeps2.h"

int PlatImpactId = -1;
ZEVEC PlatImpactNorm;
TerrPolygon PlatImpactTer;

namespace {

struct PlatCall {
  void (*fn)(void*);
  void* arg;
};
PlatCall PlatCallback[8];

bool Active(int inst) { return CurTerr && inst >= 0 && inst < TERR_PLATINSTS && CurTerr->plat[inst].live; }

// The instance of a platform-bucket item, or -1 (items left unbound at load
// keep their scene instance id as link).
int InstOfItem(int item) {
  const TerrItem* it = TerrItemAt(item);
  int k = it->link;
  if (k < 0 || k >= TERR_PLATINSTS || !CurTerr->plat[k].live || CurTerr->plat[k].item != item) return -1;
  return k;
}

int FreeInst() {
  for (int k = 0; k < TERR_PLATINSTS; k++)
    if (!CurTerr->plat[k].live) return k;
  return -1;
}

// Appends a copy of an item as a platform item driven by a new instance.
int AddInst(ZEMTX* live, const TerrItem* src, int sceneid, uint32_t flags) {
  TerrSet* set = CurTerr;
  if (!set || !live || set->nindex >= TERR_INDEX || set->nitems >= TERR_ITEMS) return -1;
  int k = FreeInst();
  if (k < 0) return -1;
  int i = set->nitems++;
  TerrItem* it = TerrItemAt(i);
  *it = *src;
  it->kind = 1;
  it->link = int16_t(k);
  it->pos = {live->m[3][0], live->m[3][1], live->m[3][2]};
  set->index[set->nindex++] = int16_t(i);
  set->buckets[TERR_PLAT_BUCKET].count++;
  PlatInst* pi = set->plat + k;
  memset(pi, 0, sizeof *pi);
  pi->live = live;
  pi->old = *live;
  pi->item = int16_t(i);
  pi->sceneid = int16_t(sceneid);
  pi->flags = flags;
  return k;
}

const TerrItem* PickupShape(int shapeid) {
  if (!PickupTerr || shapeid < 0 || shapeid >= TERR_SHAPE_IDS || PickupTerr->map[shapeid] < 0) return nullptr;
  return PickupTerr->items.get() + PickupTerr->map[shapeid];
}

}  // namespace

int PlatCodeCallback;

void TerrainPlatformOldUpdate() {
  TerrSet* set = CurTerr;
  if (!set) return;
  curPickInst = 0;
  for (int k = 0; k < set->npickplats; k++) DeletePlatinst(set->pickplats[k]);
  set->npickplats = 0;
  curSphereter = 0;
  for (auto& pi : set->plat)
    if (pi.live) pi.old = *pi.live.get();
  for (auto& t : set->track) {
    if (!t.owner) continue;
    if (t.connect > 0) t.connect--;
    if (t.wall > 0) t.wall--;
  }
}

void TerrainPlatformNewUpdate() {
  TerrSet* set = CurTerr;
  if (!set) return;
  for (int k = 0; k < PlatCodeCallback; k++) PlatCallback[k].fn(PlatCallback[k].arg);
  PlatCodeCallback = 0;
  {
    const ZEMTX* camera = &global_camera.mtx;
    const float* X = camera->m[0];
    const float* Z = camera->m[2];
    const float* c = camera->m[3];
    static const float f[4][2] = {{-1.5f, -1.5f}, {-2.5f, 4}, {2.5f, 4}, {1.5f, -1.5f}};
    float lx = 1e30f, hx = -1e30f, lz = 1e30f, hz = -1e30f;
    for (auto& p : f) {
      float x = p[0] * X[0] + p[1] * Z[0], z = p[0] * X[2] + p[1] * Z[2];
      lx = std::min(lx, x), hx = std::max(hx, x), lz = std::min(lz, z), hz = std::max(hz, z);
    }
    float* b = set->cambox;
    b[0] = c[0] + lx - 1, b[3] = c[0] + hx + 1;
    b[2] = c[2] + lz - 1, b[5] = c[2] + hz + 1;
    b[1] = c[1] - 4, b[4] = c[1] + 7;
  }
  const float* b = set->cambox;
  set->ninrange = 0;
  const TerrBucket* pb = set->buckets + TERR_PLAT_BUCKET;
  for (int q = 0; q < pb->count; q++) {
    int i = set->index[pb->first + q];
    int k = InstOfItem(i);
    if (k < 0) continue;
    PlatInst* pi = set->plat + k;
    TerrItem* it = TerrItemAt(i);
    ZEMTX* m = pi->live;
    if (pi->btimer) {
      if (pi->btimer >= 125) pi->bspeed += pi->bstrength - pi->bspeed * pi->bdamping;
      else pi->bspeed -= pi->bspeed * pi->bdamping;
      pi->bspeed -= pi->btension * pi->boffset + 0.5f * pi->btension * pi->boffset * std::fabs(pi->boffset);
      pi->boffset += pi->bspeed;
      pi->btimer--;
      m->m[3][1] += pi->boffset;
    }
    it->pos = {m->m[3][0], m->m[3][1], m->m[3][2]};
    if (pi->flags & 2) pi->btimer = 128;
    pi->flags &= ~2u;
    pi->frameword = 0;
    bool in;
    if (pi->flags & 1) {
      float rad = std::sqrt(it->radsq);
      in = it->pos.x >= b[0] - rad && it->pos.x <= b[3] + rad && it->pos.z >= b[2] - rad && it->pos.z <= b[5] + rad;
    } else {
      in = it->pos.x + it->bmin.x <= b[3] && b[0] <= it->pos.x + it->bmax.x && it->pos.z + it->bmin.z <= b[5] &&
           b[2] <= it->pos.z + it->bmax.z;
    }
    // One past the capacity marks an overflowed list: queries then use the
    // platform bucket, so that no platform near the camera is missed.
    if (in) {
      if (set->ninrange < TERR_INRANGE) set->inrange[set->ninrange++] = int16_t(i);
      else set->ninrange = TERR_INRANGE + 1;
    }
  }
  set->nnearcam = 0;
  TerrForGridItems(b, [&](int i) {
    if (set->nnearcam < TERR_NEARCAM) set->nearcam[set->nnearcam++] = int16_t(i);
    else set->nnearcam = TERR_NEARCAM + 1;
  });
}

int NewPlatInst(ZEMTX* live, int sceneid) {
  if (!CurTerr || sceneid < 0) return -1;
  int src = FindPlatInst(sceneid);
  if (src < 0) return -1;
  const PlatInst* s = CurTerr->plat + src;
  return AddInst(live, TerrItemAt(s->item), sceneid, s->flags & 1);
}

int NewPlatPickupInst(ZEMTX* live, int shapeid) {
  const TerrItem* src = PickupShape(shapeid);
  if (!src) return -1;
  return AddInst(live, src, 0, 0);
}

int AddPickupTerrRot(int shapeid, ZEMTX* live, const ZEMTX* old, int rotating) {
  if (!old && !rotating) {
    if (live) {
      ZEVEC p = {live->m[3][0], live->m[3][1], live->m[3][2]};
      AddPickupTerr(shapeid, &p);
    }
    return -1;
  }
  if (!CurTerr || !old || CurTerr->npickplats >= TERR_PICKUP_PLATS) return -1;
  const TerrItem* src = PickupShape(shapeid);
  if (!src) return -1;
  int k = AddInst(live, src, 0, rotating ? 1 : 0);
  if (k < 0) return -1;
  PlatInst* pi = CurTerr->plat + k;
  if (rotating) {
    pi->old = *old;
  } else {
    pi->old.m[3][0] = old->m[3][0], pi->old.m[3][1] = old->m[3][1], pi->old.m[3][2] = old->m[3][2];
  }
  if (CurTerr->ninrange < TERR_INRANGE) CurTerr->inrange[CurTerr->ninrange++] = pi->item;
  CurTerr->pickplats[CurTerr->npickplats++] = int16_t(k);
  return k;
}

int DeletePlatinst(int inst) {
  if (!Active(inst)) return 0;
  TerrSet* set = CurTerr;
  PlatInst* pi = set->plat + inst;
  // Instances from the file live as long as the set: moving the last item
  // into their slot could take a static item out of its bucket.
  if (pi->sceneflags) return 0;
  int f = pi->item, last = set->nitems - 1;
  TerrBucket* pb = set->buckets + TERR_PLAT_BUCKET;
  int16_t* run = set->index + pb->first;
  for (int q = 0; q < pb->count; q++)
    if (run[q] == f) {
      run[q] = run[pb->count - 1];
      pb->count--;
      set->nindex--;
      break;
    }
  if (f != last) {
    *TerrItemAt(f) = *TerrItemAt(last);
    int k = InstOfItem(last);
    if (k >= 0) set->plat[k].item = int16_t(f);
    for (int q = 0; q < pb->count; q++)
      if (run[q] == last) run[q] = int16_t(f);
  }
  TerrItemAt(last)->kind = -1;
  set->nitems--;
  pi->live = nullptr;
  return 1;
}

void UpdatePlatinst(int inst, ZEMTX* live) {
  if (CurTerr && inst >= 0 && inst < TERR_PLATINSTS) CurTerr->plat[inst].live = live;
}

void PlatOnOff(int inst, int on) {
  if (Active(inst)) TerrItemAt(CurTerr->plat[inst].item)->kind = on ? 1 : -1;
}

void PlatInstRotate(int inst, int turn) {
  if (!Active(inst)) return;
  PlatInst* pi = CurTerr->plat + inst;
  pi->flags = (pi->flags & ~1u) | (turn & 1);
}

void PlatInstBounce(int inst, float strength, float tension, float damping) {
  if (!Active(inst)) return;
  PlatInst* pi = CurTerr->plat + inst;
  if (pi->bstrength == 0.0f) pi->boffset = pi->bspeed = 0;
  pi->bstrength = strength, pi->btension = tension, pi->bdamping = damping;
}

int PlatInstGetHit(int inst) { return Active(inst) ? (CurTerr->plat[inst].flags >> 1) & 1 : 0; }

void PlatInstCenter(int inst, ZEVEC* result) {
  if (Active(inst)) *result = TerrItemAt(CurTerr->plat[inst].item)->pos;
}

int FindPlatInst(int sceneid) {
  if (!CurTerr || sceneid == -1) return -1;
  for (int k = 0; k < TERR_PLATINSTS; k++)
    if (CurTerr->plat[k].live && CurTerr->plat[k].sceneid == sceneid) return k;
  return -1;
}

int CheckForPlatInst(int sceneid) { return FindPlatInst(sceneid) >= 0; }

void TerrainPlatGetMtx(int inst, ZEMTX** old, ZEMTX** live) {
  if (!CurTerr || inst < 0 || inst >= TERR_PLATINSTS) return;
  *old = &CurTerr->plat[inst].old;
  *live = CurTerr->plat[inst].live;
}

int TerrainPlatId() { return plathitid; }
int PlatformCrush() { return PlatCrush; }

int PlatImpactInfo(ZEVEC* normal, int* surface, int* group) {
  int id = PlatImpactId;
  if (id < 0) return -1;
  *normal = PlatImpactNorm;
  *surface = PlatImpactTer.surface;
  *group = PlatImpactTer.group;
  PlatImpactId = -1;
  return id;
}

void PlatformUpdateCallback(void (*fn)(void*), void* arg) {
  if (PlatCodeCallback < 8) PlatCallback[PlatCodeCallback++] = {fn, arg};
}

void PlatformConnect(const void* owner, ZEVEC* vec, ZEVEC* vel, int inst) {
  if (!CurTerr) return;
  TerrTrack* t = ScanTerrId(owner);
  if (!t) {
    t = AllocTerrId();
    if (!t) return;
    t->owner = static_cast<uint8_t*>(const_cast<void*>(owner));
    t->flags = 0;
    t->wall = 0;
    if (vec) vec->y = 0;
    if (vel) vel->y = 0;
  }
  t->connect = 4;
  t->flags |= 1;
  t->plat = int16_t(inst);
}

void OffPlat() {}

// ------------------------------------------------------------ impacts

void StorePlatImpact() {
  TerrScanInfo* t = TerI;
  if (!t->hittype || t->hititem < 0 || t->hititem >= TERR_ITEMS || TerrItemAt(t->hititem)->kind != 1) return;
  TerrHitNormWorld(t, &PlatImpactNorm);
  PlatImpactId = TerrItemAt(t->hititem)->link;
  if (t->hitpoly) PlatImpactTer = *t->hitpoly.get();
}

int TerrainImpactPlatform() {
  TerrScanInfo* t = TerI;
  t->probepos = t->pos;
  if (!t->hittype) {
    ZeVecAdd(&t->probepos, &t->pos, &t->vec);
    return 0;
  }
  if (t->hittype & 16) return 1;
  ZeVecScaleAccum(&t->probepos, &t->vec, std::max(0.0f, t->hittime - t->backoff));
  t->probenorm = t->callnorm;
  if (t->callnorm.y >= 0.707f) t->probepos.y += 0.004f * t->callnorm.y;
  return 0;
}

namespace {

// A second work record over the main one's platform groups (or one item's
// polygons); the caller gives it back and restores TerI.
TerrScanInfo* TakeSecond(TerrScanInfo* m, const ZEVEC* start, const ZEVEC* vec) {
  TerrScanInfo* s = TerrWorkTake(start, vec, m->mode, m->r, m->ys, m->backoff, m->tol);
  s->threshold = m->threshold;
  s->ignore = m->ignore;
  s->info = m->info;
  return s;
}

// The mover's feet carried through a platform's motion since the old phase.
void CarryPoint(const PlatInst* pi, const TerrScanInfo* m, const ZEVEC* centre, ZEVEC* out) {
  ZEVEC feet = {centre->x, (centre->y - m->r) * m->ys, centre->z};
  ZEVEC local;
  ZeVecInvMtxTransform(&local, &feet, &pi->old);
  ZeVecMtxTransform(&feet, &local, pi->live);
  *out = {feet.x, feet.y * m->ysinv + m->r, feet.z};
}

// Sweeps the second record from one point toward another against its list,
// with the ridden platform's group hidden. 1 when it arrived; else the
// record's probe position and normal hold the stop.
int TerrainPlatformMoveCheck(TerrScanInfo* s, const ZEVEC* from, const ZEVEC* to, int hideitem) {
  TerrListHeader* hidden = nullptr;
  for (uint8_t* g = s->list;;) {
    auto* h = reinterpret_cast<TerrListHeader*>(g);
    if (h->count == 0) break;
    if (h->count > 0 && h->item == hideitem) {
      h->count = int16_t(-h->count);
      hidden = h;
    }
    g += 4 + 4 * (h->count < 0 ? -h->count : h->count);
  }
  s->pos = *from;
  if (to->y > from->y && to->y - from->y < 0.01f) s->pos.y = to->y;
  ZeVecSub(&s->vec, to, &s->pos);
  HitTerrain();
  if (hidden) hidden->count = int16_t(-hidden->count);
  if (!s->hittype) {
    s->probepos = *to;
    return 1;
  }
  TerrainImpactNorm();
  s->probepos = s->pos;
  if (!(s->hittype & 16)) ZeVecScaleAccum(&s->probepos, &s->vec, std::max(0.0f, s->hittime - s->backoff));
  s->probenorm = s->callnorm;
  return 0;
}

int PlatItemOfHit(const TerrScanInfo* s) {
  if (s->hititem < 0 || s->hititem >= TERR_ITEMS || TerrItemAt(s->hititem)->kind != 1) return -1;
  return TerrItemAt(s->hititem)->link;
}

void CopyPlatformGroups(TerrScanInfo* s, const uint8_t* from) {
  memcpy(s->list, from, size_t(TerrListEndOf(from) - from) + 4);
}

}  // namespace

int TerrainPlatformCarry(int passes, ZEVEC* vel) {
  TerrScanInfo* m = TerI;
  TerrListHeader h0;
  if (!m->platlist) return passes;
  memcpy(&h0, m->platlist.get(), 4);
  TerrTrack* tr = CurTrackInfo;
  if (h0.count == 0 || !tr || tr->connect == 0) return passes;
  ZEVEC target = m->pos;
  float platdy = 0;
  int ridden = -1;
  if ((tr->flags & 1) && Active(tr->plat)) {
    const PlatInst* pi = CurTerr->plat + tr->plat;
    ridden = pi->item;
    platdy = pi->live->m[3][1] - pi->old.m[3][1];
    if (pi->flags & 1) {
      CarryPoint(pi, m, &target, &target);
    } else {
      target.x += pi->live->m[3][0] - pi->old.m[3][0];
      target.y += platdy * m->ysinv;
      target.z += pi->live->m[3][2] - pi->old.m[3][2];
    }
  }
  ZEVEC pstart = {target.x, target.y + 0.2f, target.z}, pvec = {0, -0.4f, 0};
  TerrScanInfo* s = TakeSecond(m, &pstart, &pvec);
  s->backoff = 0;
  CopyPlatformGroups(s, m->platlist);
  HitTerrain();
  StorePlatImpact();
  TerrainImpactNorm();
  TerrainImpactPlatform();
  int hitplat = PlatItemOfHit(s);
  bool ok = s->hittype && !(std::fabs(s->probepos.y - target.y) > 0.05f) && s->callnorm.y >= 0.707f &&
            !(vel->y > 0.035f && vel->y > platdy + 0.025f);
  if (!ok) {
    TerrWorkGive();
    TerI = m;
    return passes;
  }
  if (hitplat >= 0) CurTerr->plat[hitplat].flags |= 2;
  target.y = s->probepos.y;
  if (ridden >= 0 && !(CurTerr->plat[tr->plat].flags & 1)) target.y += 0.0025f;
  TerrPolygon* probepoly = s->hitpoly;
  int probeitem = s->hititem;
  ZEVEC startp = m->pos, cur = m->pos;
  ZEVEC d;
  ZeVecSub(&d, &target, &startp);
  float D = ZeVecNorm(&d, &d);
  s->backoff = m->backoff;
  while (passes > 0) {
    passes--;
    if (TerrainPlatformMoveCheck(s, &cur, &target, ridden)) {
      cur = target;
      break;
    }
    cur = s->probepos;
    int hp = PlatItemOfHit(s);
    if (hp >= 0) tr->plat = int16_t(hp);
    ZEVEC n = s->probenorm;
    if (ZeVecDot(&d, &n) < -0.7f) break;
    ZEVEC moved;
    ZeVecSub(&moved, &cur, &startp);
    float travelled = ZeVecDot(&moved, &d);
    if (!(passes > 0 && travelled < D)) break;
    float k = -ZeVecDot(&n, &d) + 0.0003f;
    if (!(k > 0)) break;
    ZEVEC sl = {d.x + k * n.x, d.y + k * n.y, d.z + k * n.z};
    float ds = ZeVecDot(&d, &sl);
    if (!(ds > 0)) break;
    float tt = (D - travelled) / ds;
    if (!(tt < 0.8f)) break;
    target = {cur.x + tt * sl.x, cur.y + tt * sl.y, cur.z + tt * sl.z};
  }
  TerrWorkGive();
  TerI = m;
  m->pos = cur;
  if (probepoly) {
    TerrPolyInfo = *probepoly;
    TerrPoly = &TerrPolyInfo;
    TerrPolyObj = probeitem;
  }
  if (vel->y < 0) {
    FullDeflect(&ShadNorm, &m->vec, &m->vec);
    FullDeflect(&ShadNorm, vel, vel);
  } else {
    m->vec.y *= 0.75f;
    vel->y *= 0.75f;
  }
  if (m->info) m->info.get()[1] = 1;
  if (hitplat >= 0) {
    tr->connect = 4;
    tr->flags |= 1;
    tr->plat = int16_t(hitplat);
  }
  return passes;
}

int TerrainPlatformEmbedded(ZEVEC*, ZEVEC*, ZEVEC*) {
  TerrScanInfo* m = TerI;
  int inst = PlatItemOfHit(m);
  if (!Active(inst)) return 1;
  const PlatInst* pi = CurTerr->plat + inst;
  const ZEMTX* L = pi->live;
  bool still = L->m[3][0] == pi->old.m[3][0] && L->m[3][1] == pi->old.m[3][1] && L->m[3][2] == pi->old.m[3][2];
  if (still && (pi->flags & 1))
    for (int r = 0; r < 3; r++)
      for (int c = 0; c < 3; c++) still = still && L->m[r][c] == pi->old.m[r][c];
  if (still) return 1;
  ZEVEC v;
  if (pi->flags & 1) {
    ZEVEC carried;
    CarryPoint(pi, m, &m->pos, &carried);
    ZeVecSub(&v, &m->pos, &carried);
    ZeVecScale(&v, &v, 1.3f);
  } else {
    v = {-(L->m[3][0] - pi->old.m[3][0]) * 1.73f, -(L->m[3][1] - pi->old.m[3][1]) * m->ysinv * 1.73f,
         -(L->m[3][2] - pi->old.m[3][2]) * 1.73f};
  }
  ZeVecScaleAccum(&v, &m->hitnorm, -0.01f);
  ZEVEC start = m->pos;
  ZeVecScaleAccum(&start, &v, -0.91f);
  TerrScanInfo* s = TakeSecond(m, &start, &v);
  int savedused = ScaleTerrainUsed;
  ScaleTerrain = ScaleTerrainT2;
  ScaleTerrainUsed = 0;
  TerrListWriter w;
  TerrListBegin(&w, s->list, TERR_LIST_BYTES);
  float box[6] = {-1e30f, -1e30f, -1e30f, 1e30f, 1e30f, 1e30f};
  TerrGatherPlatform(&w, pi->item, box, 0.0f, 0, 0, 1e30f, 0);
  TerrListEnd(&w);
  WallSplCount = 0;
  TerrNoSpheres = 1;
  HitTerrain();
  TerrNoSpheres = 0;
  TerrainImpactNorm();
  int result = 0;
  if (TerrainImpactPlatform()) {
    result = 1;
  } else {
    ZEVEC np = s->probepos;
    ZEVEC ps = {np.x, np.y + 0.025f, np.z};
    bool standing = false;
    s->pos = ps;
    s->vec = {0, -0.05f, 0};
    HitTerrain();
    if (s->hittype >= 1 && s->hittype <= 15) {
      float land = ps.y - 0.05f * s->hittime + 0.001f;
      if (land >= np.y - 0.008f && (land < np.y + 0.01f || land - np.y - 0.0025f < m->hlen)) {
        np.y = land;
        standing = true;
      }
    }
    if (standing && !TerrainPlatformMoveCheck(s, &s->startpos, &np, -1)) standing = false;
    m->pos = np;
    if (standing) {
      if (m->info) m->info.get()[1] = 1;
      CurTrackInfo = nullptr;
    }
  }
  TerrWorkGive();
  TerI = m;
  // Back to the first copy buffer, whose copies the main record still uses.
  ScaleTerrain = ScaleTerrainT1;
  ScaleTerrainUsed = savedused;
  return result;
}
