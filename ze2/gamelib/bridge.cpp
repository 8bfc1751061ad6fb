// Rope bridges: planks on two simulated rope lines, each plank a moving
// platform instance; drawn with posts and two ribbon ropes.
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "gamelib.h"
#include "dressing_local.h"
#include "zecore.h"
#include "ze3d.h"

ZeBridge* Bridges;
int ZeBridgeProc;

namespace {

ZeBridge* Pool() {
  if (!Bridges) {
    Bridges = static_cast<ZeBridge*>(EeMalloc(sizeof(ZeBridge) * BRIDGE_MAX));
    memset(Bridges, 0, sizeof(ZeBridge) * BRIDGE_MAX);
  }
  return Bridges;
}


ZEVEC Mid(const ZEVEC* pair) {
  return {(pair[0].x + pair[1].x) * 0.5f, (pair[0].y + pair[1].y) * 0.5f, (pair[0].z + pair[1].z) * 0.5f};
}

// The unit horizontal vector across a span (rope B's side), (1, 0, 0) for a
// vertical one.
ZEVEC Across(const ZEVEC& span) {
  float h = sqrtf(span.x * span.x + span.z * span.z);
  if (h <= 0) return {1, 0, 0};
  return {-span.z / h, 0, span.x / h};
}

// Rows of: pitch about z, then roll about x, in the plank's own space, then
// the heading about y.
void PlankMatrix(ZEMTX* m, int yaw, int roll, int pitch, const ZEVEC& pos) {
  ZEMTX local, turn;
  ZeMtxSetIdentity(&local);
  float cp = ZeTrigCos(pitch), sp = ZeTrigSin(pitch), cr = ZeTrigCos(roll), sr = ZeTrigSin(roll);
  // x row turned by the pitch; y and z by the roll, then the pitch.
  local.m[0][0] = cp, local.m[0][1] = sp, local.m[0][2] = 0;
  local.m[1][0] = -sp * cr, local.m[1][1] = cp * cr, local.m[1][2] = -sr;
  local.m[2][0] = -sp * sr, local.m[2][1] = cp * sr, local.m[2][2] = cr;
  ZeMtxSetRotationY(&turn, yaw);
  ZeMtxMul(m, &local, &turn);
  m->m[3][0] = pos.x, m->m[3][1] = pos.y, m->m[3][2] = pos.z, m->m[3][3] = 1;
}

int SlopeAngle(float dy, float dh) { return int16_t(ZeAtan2D(dy, dh)); }

// Places every plank on its pair of rope points.
void PlanksFollow(ZeBridge* b) {
  int n = b->nplanks;
  for (int i = 0; i < n; i++) {
    ZEVEC* pr = b->rope[i];
    ZEVEC mid = Mid(pr);
    float ax = pr[1].x - pr[0].x, az = pr[1].z - pr[0].z;
    int roll = SlopeAngle(pr[1].y - pr[0].y, sqrtf(ax * ax + az * az));
    int lo = i > 0 ? i - 1 : i, hi = i < n - 1 ? i + 1 : i;
    ZEVEC m0 = Mid(b->rope[lo]), m1 = Mid(b->rope[hi]);
    float dx = m1.x - m0.x, dz = m1.z - m0.z;
    int pitch = SlopeAngle(m1.y - m0.y, sqrtf(dx * dx + dz * dz));
    if (i == 0 || i == n - 1) {
      ZEVEC* nb = b->rope[i == 0 ? 1 : n - 2];
      mid.y = (pr[0].y + pr[1].y + nb[0].y + nb[1].y) * 0.25f;
    }
    PlankMatrix(&b->plank[i], b->yaw, roll, pitch, mid);
  }
}

void Weight(ZeBridge* b, const ZEVEC* p) {
  int n = b->nplanks;
  ZEVEC m0 = Mid(b->rope[0]), m1 = Mid(b->rope[n - 1]);
  ZEVEC span = {m1.x - m0.x, 0, m1.z - m0.z};
  float len2 = span.x * span.x + span.z * span.z;
  if (len2 <= 0) return;
  float rx = p->x - m0.x, rz = p->z - m0.z;
  float t = (rx * span.x + rz * span.z) * float(n - 1) / len2;
  t = std::fmax(0.0f, std::fmin(t, float(n - 1)));
  int s = int(t);
  float f = t - float(s);
  ZEVEC across = Across(span);
  float c = b->stability != 0 ? 2 * (rx * across.x + rz * across.z) / b->stability : 0;
  c = std::fmax(-1.0f, std::fmin(c, 1.0f));
  float wa = b->weight * b->gravity * (3 - c) / 4, wb = b->weight * b->gravity * (3 + c) / 4;
  const int pairs[2] = {s, s + 1};
  const float share[2] = {1 - f, f};
  for (int k = 0; k < 2; k++) {
    int i = pairs[k];
    if (i < 1 || i > n - 2) continue;
    b->vel[i][0].y += wa * share[k];
    b->vel[i][1].y += wb * share[k];
  }
}

void Simulate(ZeBridge* b) {
  int n = b->nplanks;
  for (int i = 1; i < n - 1; i++)
    for (int r = 0; r < 2; r++) {
      ZEVEC& v = b->vel[i][r];
      const ZEVEC& p = b->rope[i][r];
      v.x *= 1 - b->damp;
      v.z *= 1 - b->damp;
      v.y += b->gravity - v.y * b->damp;
      for (int j : {i - 1, i + 1}) {
        const ZEVEC& q = b->rope[j][r];
        float d[3] = {q.x - p.x, q.y - p.y, q.z - p.z};
        v.x += b->tension * (d[0] + std::fabs(d[0]) * d[0] / 2);
        v.y += b->tension * (d[1] + std::fabs(d[1]) * d[1] / 2);
        v.z += b->tension * (d[2] + std::fabs(d[2]) * d[2] / 2);
      }
    }
  for (int i = 1; i < n - 1; i++)
    for (int r = 0; r < 2; r++) ZeVecAdd(&b->rope[i][r], &b->rope[i][r], &b->vel[i][r]);
}

void DeletePlanks(ZeBridge* b) {
  TerrSet* was = TerrainGetCur();
  TerrainSetCur(b->terr);
  for (int i = 0; i < b->nplanks; i++)
    if (b->plankobj[i] && b->plat[i] >= 0) DeletePlatinst(b->plat[i]);
  TerrainSetCur(was);
}

}  // namespace

int ZeBridgeAlloc() {
  ZeBridge* pool = Pool();
  for (int i = 0; i < BRIDGE_MAX; i++)
    if (!pool[i].inuse) return i;
  return -1;
}

void ZeBridgeOn(int flag) { ZeBridgeProc = flag; }

int ZeBridgeLookupInstanceIndex(const ZEGSCNINST* object, const ZEGSCENE* scene) {
  if (!object || !scene || !scene->insts) return -1;
  const ZEGSCNINST* first = scene->insts;
  for (int i = 0; i < scene->ninst; i++)
    if (first + i == object) return i;
  return -1;
}

int ZeBridgeCreate(float stability, float tension, float damp, float gravity, float weight, float postoff,
                   float ropeheight, ZEGSCENE* scene, ZEGSCNINST* const* planks, ZEGSCNINST* post,
                   const ZEVEC* start, const ZEVEC* end, int yaw, int nplanks, int postint, uint32_t colour) {
  if (nplanks > BRIDGE_PLANKS) {
    ZeDebugMsg("to many sections/n");
    nplanks = BRIDGE_PLANKS;
  }
  ZEVEC span;
  ZeVecSub(&span, end, start);
  // Fewer than two planks or no span leave nothing to string the ropes on.
  if (nplanks < 2 || ZeVecDot(&span, &span) <= 0) return -1;
  int k = ZeBridgeAlloc();
  if (k < 0) return -1;
  ZeBridgeProc = 1;
  ZeBridge* b = &Bridges[k];
  memset(b, 0, sizeof *b);
  b->inuse = 1;
  b->scene = scene;
  b->terr = TerrainGetCur();
  b->stability = stability, b->tension = tension, b->damp = damp, b->gravity = gravity;
  b->weight = weight, b->postoff = postoff, b->ropeheight = ropeheight;
  b->postobj = post;
  b->postint = char(postint);
  b->colour = colour;
  b->nplanks = char(nplanks);
  b->yaw = int16_t(yaw);
  ZeVecLerp(&b->centre, start, end, 0.5f);
  float half = ZeVecMag(&span) * 0.5f;
  b->radsq = half * half + 1.0f;
  ZEVEC across = Across(span);
  for (int i = 0; i < nplanks; i++) {
    ZEVEC pos, step;
    ZeVecScale(&step, &span, float(i) / float(nplanks - 1));
    ZeVecAdd(&pos, start, &step);
    PlankMatrix(&b->plank[i], yaw, 0, 0, pos);
    b->plankobj[i] = planks ? planks[i] : nullptr;
    b->plat[i] = -1;
    if (b->plankobj[i]) {
      b->plat[i] = int16_t(NewPlatInst(&b->plank[i], ZeBridgeLookupInstanceIndex(b->plankobj[i], scene)));
      PlatInstRotate(b->plat[i], 1);
    }
    float h = stability / 2;
    b->rope[i][0] = {pos.x - across.x * h, pos.y, pos.z - across.z * h};
    b->rope[i][1] = {pos.x + across.x * h, pos.y, pos.z + across.z * h};
  }
  return k;
}

void ZeBridgeRemove(int index) {
  if (index < 0 || index >= BRIDGE_MAX || !Bridges || !Bridges[index].inuse) return;
  DeletePlanks(&Bridges[index]);
  Bridges[index].inuse = 0;
}

void ZeBridgeInit() {
  Pool();
  for (int i = 0; i < BRIDGE_MAX; i++) ZeBridgeRemove(i);
}

void ZeBridgeUpdate(const ZEVEC* player) {
  if (!ZeBridgeProc || !Bridges) return;
  float far = global_camera.farclip;
  const ZEVEC cam = {global_camera.mtx.m[3][0], global_camera.mtx.m[3][1], global_camera.mtx.m[3][2]};
  for (int k = 0; k < BRIDGE_MAX; k++) {
    ZeBridge* b = &Bridges[k];
    if (!b->inuse) continue;
    b->nearcam = ZeVecDistSqr(&cam, &b->centre, nullptr) < far * far + b->radsq;
    if (!b->nearcam || !b->visible) continue;
    if (b->touched) {
      Weight(b, player);
      b->touched--;
    }
    TerrSet* was = TerrainGetCur();
    TerrainSetCur(b->terr);
    for (int i = 0; i < b->nplanks; i++)
      if (b->plat[i] >= 0 && PlatInstGetHit(b->plat[i])) b->touched = 5;
    TerrainSetCur(was);
    if (b->touched)
      b->settle = 0;
    else if (b->settle < 0x4000)
      b->settle++;
    if (b->settle < BRIDGE_SETTLE) {
      Simulate(b);
      PlanksFollow(b);
    }
  }
}

namespace {

// Two ribbons a rope: one flat across it, one upright, 0.05 wide; each a
// strip of two vertices a point, 21 points (42 vertices) a batch, batches
// overlapping by one point. emit(vertices, count) sends one strip.
template <class Emit>
void RopeStrips(const ZEVEC* points, int count, uint32_t colour, Emit emit) {
  constexpr int kBatch = 21;
  ZEVTX v[2 * kBatch];
  for (int ribbon = 0; ribbon < 2; ribbon++)
    for (int first = 0; first < count - 1; first += kBatch - 1) {
      int n = count - first < kBatch ? count - first : kBatch;
      for (int i = 0; i < n; i++) {
        const ZEVEC& p = points[first + i];
        const ZEVEC& q = points[first + i + 1 < count ? first + i + 1 : first + i - 1];
        ZEVEC off = {0, 0.025f, 0};
        if (ribbon == 0) {
          ZEVEC a = Across({q.x - p.x, 0, q.z - p.z});
          off = {a.x * 0.025f, 0, a.z * 0.025f};
        }
        for (int s = 0; s < 2; s++) {
          ZEVTX& o = v[2 * i + s];
          float sign = s ? 1.0f : -1.0f;
          o.pos = {p.x + off.x * sign, p.y + off.y * sign, p.z + off.z * sign};
          o.normal = {0, 1, 0};
          o.colour = colour;
          o.u = float(s), o.v = 0;
        }
      }
      emit(v, 2 * n);
    }
}

}  // namespace

void ZeBridgeStreamRope(ZERNDRSTREAM* stream, const ZEVEC* points, int count, uint32_t colour) {
  RopeStrips(points, count, colour, [&](const ZEVTX* v, int n) { ZeRndrStreamTriStrip3dClip(v, n, nullptr, stream); });
}

void ZeBrdigeDrawRope(ZEMTL* mtl, const ZEVEC* a, int na, const ZEVEC* b, int nb, uint32_t colour) {
  auto emit = [&](const ZEVTX* v, int n) { ZeRndrTriStrip3dClip(v, n, nullptr, mtl); };
  RopeStrips(a, na, colour, emit);
  RopeStrips(b, nb, colour, emit);
}

void ZeBridgeDraw(ZEMTL* ropemtl) {
  if (!ZeBridgeProc || !Bridges) return;
  for (int k = 0; k < BRIDGE_MAX; k++) {
    ZeBridge* b = &Bridges[k];
    if (!b->inuse || !b->nearcam) continue;
    b->visible = 0;
    ZEVEC anchors[2][BRIDGE_PLANKS];
    int na = 0;
    ZEGOBJ* post = ZeGScnInstObject(b->scene, b->postobj);
    for (int i = 0; i < b->nplanks; i++) {
      const ZEMTX& m = b->plank[i];
      if (ZEGOBJ* g = ZeGScnInstObject(b->scene, b->plankobj[i]))
        if (ZeRndrGScnObj(g, &m)) b->visible = 1;
      if (b->postint <= 0 || i % b->postint) continue;
      for (int side = 0; side < 2; side++) {
        float o = side ? b->postoff : -b->postoff;
        ZEMTX pm = m;
        pm.m[3][0] += m.m[2][0] * o, pm.m[3][1] += m.m[2][1] * o, pm.m[3][2] += m.m[2][2] * o;
        if (post) ZeRndrGScnObj(post, &pm);
        anchors[side][na] = {pm.m[3][0] + m.m[1][0] * b->ropeheight, pm.m[3][1] + m.m[1][1] * b->ropeheight,
                             pm.m[3][2] + m.m[1][2] * b->ropeheight};
      }
      na++;
    }
    if (ropemtl && na > 1) ZeBrdigeDrawRope(ropemtl, anchors[0], na, anchors[1], na, b->colour);
  }
}
