// Portal visibility: finds the camera's room, walks out through the
// portals narrowing the view frustum at each, and marks the instances seen
// through the chain. Owns the frustum arena, reset once a frame.
#include <cmath>

#include "ze3d.h"

namespace {

alignas(16) uint8_t frustum_arena[ZEPORTAL_ARENA_SIZE];
uint8_t* arena_top = frustum_arena;
uint8_t* const arena_end = frustum_arena + ZEPORTAL_ARENA_SIZE;

int portal_switch = 1;
ZEPORTALSET* cur_set;  // whose frustum list ZeFrustrumAllocate appends to

// The pass's camera: inverse of the view matrix, its position and the
// plane through it facing forward.
ZEMTX cam_mtx;
ZEVEC cam_pos;
ZEVEC4 cam_plane;

float PlaneDist(const ZEVEC4& p, const ZEVEC& v) { return p.x * v.x + p.y * v.y + p.z * v.z + p.w; }

// A damaged set must not index outside its arrays.
void CheckIndex(int index, int count, const char* what) {
  if (index < 0 || index >= count) ZeError("Portal set: %s %d out of range (%d).", what, index, count);
}

const ZEROOM& Room(const ZEPORTALSET* s, int r) {
  CheckIndex(r, s->nrooms, "room");
  return s->rooms[r];
}

const ZEPORTAL& Portal(const ZEPORTALSET* s, int p) {
  CheckIndex(p, s->nportals, "portal");
  const ZEPORTAL& portal = s->portals[p];
  if (portal.nvertices < 3 || !portal.vertices) ZeError("Portal set: portal %d has no polygon.", p);
  return portal;
}

void Pack(ZEFRUSTUM* f) {
  for (int k = 0; k < 8; k++) {
    const ZEVEC4& p = k < f->nplanes ? f->planes[k] : cam_plane;
    ZEMTX& m = f->packed[k / 4];
    m.m[0][k % 4] = p.x;
    m.m[1][k % 4] = p.y;
    m.m[2][k % 4] = p.z;
    m.m[3][k % 4] = p.w;
  }
}

// A world-space plane through the camera from a camera-space normal.
ZEVEC4 CameraPlane(float x, float y, float z) {
  const float inv = 1.0f / std::sqrt(x * x + y * y + z * z);
  ZEVEC n = {x * inv, y * inv, z * inv}, w;
  ZeVecMtxRotate(&w, &n, &cam_mtx);
  return {w.x, w.y, w.z, -ZeVecDot(&w, &cam_pos)};
}

ZEFRUSTUM* RectFrustum(float x0, float y0, float x1, float y1, int room) {
  float tx, t;
  ZeCameraGetClippingRatios(&tx, &t);
  ZEFRUSTUM* f = ZeFrustrumAllocate(4);
  f->planes[0] = CameraPlane(-1.0f, 0.0f, tx * x1);   // right
  f->planes[1] = CameraPlane(1.0f, 0.0f, -tx * x0);   // left
  f->planes[2] = CameraPlane(0.0f, 1.0f, -t * y0);    // bottom
  f->planes[3] = CameraPlane(0.0f, -1.0f, t * y1);    // top
  f->rmin = {x0, y0, 0.0f};
  f->rmax = {x1, y1, 0.0f};
  f->room = int16_t(room);
  Pack(f);
  return f;
}

// The corners' extent in viewport clip space, clamped to -1..1.
void ClipRect(const ZEPORTAL& portal, ZEVEC* mn, ZEVEC* mx) {
  const ZEMTX* vpc = ZeCameraGetVPCMtx();
  *mn = {1.0f, 1.0f, 0.0f};
  *mx = {-1.0f, -1.0f, 0.0f};
  for (int i = 0; i < portal.nvertices; i++) {
    ZEVEC c;
    ZeVecMtxTransformH(&c, &portal.vertices[i], vpc);
    mn->x = std::fmin(mn->x, c.x);
    mn->y = std::fmin(mn->y, c.y);
    mx->x = std::fmax(mx->x, c.x);
    mx->y = std::fmax(mx->y, c.y);
  }
  mn->x = std::fmax(mn->x, -1.0f);
  mn->y = std::fmax(mn->y, -1.0f);
  mx->x = std::fmin(mx->x, 1.0f);
  mx->y = std::fmin(mx->y, 1.0f);
}

// One plane per edge through the eye, facing into the opening.
ZEFRUSTUM* PortalFrustum(const ZEPORTAL& portal, int room) {
  const int n = portal.nvertices;
  ZEFRUSTUM* f = ZeFrustrumAllocate(n);
  const bool behind = PlaneDist(portal.plane, cam_pos) < 0.0f;
  for (int i = 0; i < n; i++) {
    ZEVEC a, b, c;
    ZeVecSub(&a, &cam_pos, &portal.vertices[i]);
    ZeVecSub(&b, &cam_pos, &portal.vertices[(i + 1) % n]);
    ZeVecCross(&c, &a, &b);
    ZeVecNorm(&c, &c);
    const float d = ZeVecDot(&c, &cam_pos);
    f->planes[i] = behind ? ZEVEC4{c.x, c.y, c.z, -d} : ZEVEC4{-c.x, -c.y, -c.z, d};
  }
  ClipRect(portal, &f->rmin, &f->rmax);
  f->room = int16_t(room);
  Pack(f);
  return f;
}

// 0 every corner behind one plane, 1 every corner on or in front of every
// plane, 2 otherwise.
int ClassifyPortal(const ZEPORTAL& portal, const ZEFRUSTUM* f) {
  bool all_in = true;
  for (int k = 0; k < f->nplanes; k++) {
    int behind = 0;
    for (int i = 0; i < portal.nvertices; i++)
      if (PlaneDist(f->planes[k], portal.vertices[i]) < 0.0f) behind++;
    if (behind == portal.nvertices) return 0;
    if (behind) all_in = false;
  }
  return all_in ? 1 : 2;
}

// A partly visible portal: 0 nothing seen, 4 the polygon crosses the camera
// plane, 1 with the narrowed frustum in *out.
int Narrow(const ZEPORTAL& portal, const ZEFRUSTUM* f, int room, ZEFRUSTUM** out) {
  int front = 0;
  for (int i = 0; i < portal.nvertices; i++)
    if (PlaneDist(cam_plane, portal.vertices[i]) > 0.0f) front++;
  if (front == 0) return 0;
  if (front < portal.nvertices) return 4;
  ZEVEC mn, mx;
  ClipRect(portal, &mn, &mx);
  const float x0 = std::fmax(mn.x, f->rmin.x), y0 = std::fmax(mn.y, f->rmin.y);
  const float x1 = std::fmin(mx.x, f->rmax.x), y1 = std::fmin(mx.y, f->rmax.y);
  if (x0 >= x1 || y0 >= y1) return 0;  // touching boxes count as empty
  *out = RectFrustum(x0, y0, x1, y1, room);
  return 1;
}

int SphereTest(const ZEVEC4* sphere, const ZEFRUSTUM* f) { return ZePortalClipVU0(sphere, f->packed); }

void MarkInstance(ZEPORTALSET* s, int index, const ZEFRUSTUM* f, bool camroom) {
  CheckIndex(index, s->ninst, "instance");
  ZEGSCNINST& inst = s->insts[index];
  if (camroom) {
    inst.flags |= ZEGSCNINST_SEEN;
    return;
  }
  if (inst.flags & ZEGSCNINST_SEEN) return;
  if (inst.anim || (inst.flags & ZEGSCNINST_ALWAYS)) {
    inst.flags |= ZEGSCNINST_SEEN;
    return;
  }
  CheckIndex(index, s->nbounds, "instance bounds");
  const int r = SphereTest(&s->spheres[index], f);
  if (r == 1 || (r == 2 && ZePortalBoxClipVU0(f->planes, &s->boxes[index * 2], &s->boxes[index * 2 + 1],
                                               f->nplanes) != 0))
    inst.flags |= ZEGSCNINST_SEEN;
}

void Walk(ZEPORTALSET* s, int room, ZEFRUSTUM* f, int from, int depth) {
  const ZEROOM& r = Room(s, room);
  for (int i = 0; i < r.ninstances; i++) MarkInstance(s, r.instances[i], f, room == s->camroom);
  if (depth >= s->maxdepth) return;
  for (int i = 0; i < r.nportals; i++) {
    const ZEPORTAL& portal = Portal(s, r.portals[i]);
    const int next = portal.rooma == room ? portal.roomb : portal.rooma;
    if (next == from) continue;
    CheckIndex(next, s->nrooms, "room");
    switch (ClassifyPortal(portal, f)) {
      case 1:
        Walk(s, next, PortalFrustum(portal, next), room, depth + 1);
        break;
      case 2: {
        ZEFRUSTUM* narrowed = nullptr;
        const int n = Narrow(portal, f, next, &narrowed);
        if (n == 1) {
          Walk(s, next, narrowed, room, depth + 1);
        } else if (n == 4) {
          // The polygon crosses the camera plane: the view through it is
          // the current one, handed on under the next room's name.
          f->room = int16_t(next);
          Walk(s, next, f, room, depth + 1);
        }
        break;
      }
      default:
        break;
    }
  }
}

}  // namespace

void ZePortalInit() {
  arena_top = frustum_arena;
  cur_set = nullptr;  // a list becomes current again with the next pass
}

int ZePortalEnabled(int flag) {
  const int old = portal_switch;
  portal_switch = flag;
  return old;
}

int ZePortalVisibility(ZEPORTALSET* scene) {
  tbslotBeginExFn(nullptr, 3, "portals");
  int result = 0;
  if (!portal_switch)
    for (int i = 0; i < scene->ninst; i++) scene->insts[i].flags |= ZEGSCNINST_SEEN;
  if (portal_switch && scene->nportals > 0 && scene->nrooms > 0 && scene->nbounds2 > 0) {
    cur_set = scene;
    scene->nfrustra = 0;
    for (int i = 0; i < scene->ninst; i++) scene->insts[i].flags &= ~ZEGSCNINST_SEEN;
    ZeMtxInv(&cam_mtx, ZeCameraGetViewMtx());
    cam_pos = {cam_mtx.m[3][0], cam_mtx.m[3][1], cam_mtx.m[3][2]};
    scene->camroom = ZePortalWhichRoom(scene, &cam_pos);
    if (scene->camroom >= 0) {
      const ZEVEC fwd = {cam_mtx.m[2][0], cam_mtx.m[2][1], cam_mtx.m[2][2]};
      cam_plane = {fwd.x, fwd.y, fwd.z, -ZeVecDot(&fwd, &cam_pos)};
      ZEFRUSTUM* root = RectFrustum(-1.0f, -1.0f, 1.0f, 1.0f, -2);
      Walk(scene, scene->camroom, root, -1, 0);
      result = 1;
    }
  }
  tbslotEndFn(nullptr, 3);
  return result;
}

int ZeRoomContainsPoint(const ZEROOM* room, const ZEVEC* point) {
  for (int i = 0; i < room->nplanes; i++)
    if (PlaneDist(room->planes[i], *point) > 0.0f) return 0;
  return 1;
}

int ZePortalWhichRoom(const ZEPORTALSET* scene, const ZEVEC* point) {
  int found[2], n = 0;
  for (int r = 0; r < scene->nrooms && n < 2; r++)
    if (ZeRoomContainsPoint(&scene->rooms[r], point)) found[n++] = r;
  if (n == 0) return -1;
  if (n == 1) return found[0];
  // Overlapping rooms: the portal they share decides by its plane.
  const ZEROOM& a = scene->rooms[found[0]];
  const ZEROOM& b = scene->rooms[found[1]];
  for (int i = 0; i < a.nportals; i++)
    for (int j = 0; j < b.nportals; j++)
      if (a.portals[i] == b.portals[j]) {
        const ZEPORTAL& p = Portal(scene, a.portals[i]);
        return PlaneDist(p.plane, *point) < 0.0f ? p.rooma : p.roomb;
      }
  return -1;
}

int ZePortalClipTest(const ZEPORTALSET* scene, const ZEVEC* centre, int room, float radius) {
  if (scene->nportals <= 0 || room == scene->camroom) return 1;
  const ZEVEC4 sphere = {centre->x, centre->y, centre->z, radius};
  for (int i = 0; i < scene->nfrustra; i++) {
    const ZEFRUSTUM* f = scene->frustra[i];
    if (f->room != room) continue;
    if (const int r = SphereTest(&sphere, f)) return r;
  }
  return 0;
}

int ZePortalRoomClipTest(const ZEPORTALSET* scene, int room) {
  if (!scene || scene->nportals <= 0) return 1;
  for (int i = 0; i < scene->nfrustra; i++)
    if (scene->frustra[i]->room == room) return 1;
  return 0;
}

void ZePortalMaxDepth(ZEPORTALSET* scene, int depth) { scene->maxdepth = depth; }

void ZePortalResetActive(ZEPORTALSET* scene) {
  for (int i = 0; i < scene->nportals; i++) scene->portals[i].flags |= 3;
}

void ZePortalSetActive(ZEPORTALSET* scene, int key, int flag) {
  for (int i = 0; i < scene->nportals; i++) {
    ZEPORTAL& p = scene->portals[i];
    if (p.key != key) continue;
    if (flag)
      p.flags |= 1;
    else
      p.flags = 0;
  }
}

ZEFRUSTUM* ZeFrustrumAllocate(int n) {
  if (cur_set && cur_set->nfrustra >= ZEPORTAL_MAX_FRUSTRA - 1) ZeError("Portal max frustra exceeded.");
  const int size = int(sizeof(ZEFRUSTUM)) + 16 * n;
  if (n < 0 || size > arena_end - arena_top) ZeError("Portal frustrum stack overflow.");
  ZEFRUSTUM* f = reinterpret_cast<ZEFRUSTUM*>(arena_top);
  arena_top += size;
  f->planes = reinterpret_cast<ZEVEC4*>(f + 1);
  f->nplanes = int16_t(n);
  f->room = -2;
  if (cur_set) cur_set->frustra[cur_set->nfrustra++] = f;
  return f;
}

void ZeFrustrumEnd() {
  if (arena_top != frustum_arena) ZeError("Error freeing frustrum memory.");
}

int ZePortalClipVU0(const ZEVEC4* sphere, const ZEMTX* packed) {
  // The vector unit's sticky sign flag: set by any e + r below 0 (outside),
  // and, on a second product, by any e - r below 0 (crossing).
  bool outside = false, crossing = false;
  for (int m = 0; m < 2; m++)
    for (int k = 0; k < 4; k++) {
      const ZEMTX& p = packed[m];
      const float e = sphere->x * p.m[0][k] + sphere->y * p.m[1][k] + sphere->z * p.m[2][k] + p.m[3][k];
      if (std::signbit(e + sphere->w)) outside = true;
      if (std::signbit(e - sphere->w)) crossing = true;
    }
  if (outside) return 0;
  return crossing ? 2 : 1;
}

int ZePortalBoxClipVU0(const ZEVEC4* planes, const ZEVEC4* min, const ZEVEC4* max, int n) {
  int result = 1;
  for (int k = 0; k < n; k++) {
    const ZEVEC4& p = planes[k];
    int below = 0;
    bool all_above = true;
    for (int c = 0; c < 8; c++) {
      const ZEVEC v = {(c & 1) ? max->x : min->x, (c & 2) ? max->y : min->y, (c & 4) ? max->z : min->z};
      const float d = PlaneDist(p, v);
      if (d < 0.0f) below++;
      if (!(d > 0.0f)) all_above = false;
    }
    if (below == 8) return 0;
    if (!all_above) result = 2;
  }
  return result;
}
