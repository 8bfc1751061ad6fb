// zemtlrl: the 24 render planes and their draw order, the callbacks hooked
// before and after planes and at sort priorities, the render list that
// splices every material drawn this frame into the material-sort stream,
// and the animation of material texture coordinates.
#include "ze3d.h"
#include "zecore.h"
#include "zemtl_local.h"

#include <cmath>
#include <cstring>

namespace {

struct Plane {
  ZEMTL* head;
  float clock;
  ZERENDERPLANECALLBACK* begin;
  ZERENDERPLANECALLBACK* end;
  ZEMTLPRICALLBACK* pri;
};

Plane g_planes[ZEMTL_PLANES];
uint8_t g_planeAt[ZEMTL_PLANES];  // the plane at each draw position
uint8_t g_posOf[ZEMTL_PLANES];    // the draw position of each plane
ZEMTL* g_anim[ZEMTL_ANIM_MAX];
int g_animCount = 0;
// ZeMtlIterate's place.
int g_iterPlane = 0;
ZEMTL* g_iterMtl = nullptr;

int PlaneOf(const ZEMTL* m) { return int((m->flags & ZEMTL_PLANE_MASK) >> ZEMTL_PLANE_SHIFT); }

int64_t Key(const ZEMTL* m) { return int64_t(m->sort_priority) * 65536 + (m->texture > 0 ? m->texture : 0); }

void CheckPlane(int plane, const char* what) {
  if (plane < 0 || plane >= ZEMTL_PLANES) ZeError("%s - Renderplane %d out of range", what, plane);
}

}  // namespace

void ZeMtlPlanesInit() {
  memset(g_planes, 0, sizeof g_planes);
  for (int i = 0; i < ZEMTL_PLANES; i++) g_planeAt[i] = g_posOf[i] = uint8_t(i);
  g_animCount = 0;
}

void ZeMtlPlanesEmpty() {
  for (Plane& p : g_planes) p.head = nullptr;
}

ZEMTL* ZeMtlPlaneHead(int plane) { return g_planes[plane].head; }

void ZeMtlAnimListClear() {
  for (int i = 0; i < g_animCount; i++) g_anim[i]->in_anim_list = 0;
  g_animCount = 0;
}

// ---- plane lists ----------------------------------------------------------------

void ZeMtlInsert(ZEMTL* m, int plane) {
  if (plane < 0 || plane >= ZEMTL_PLANES) ZeError("ZeMtlInsert - Renderplane out of range");
  ZeDisableVBlank();
  m->flags = (m->flags & ~uint32_t(ZEMTL_PLANE_MASK)) | uint32_t(plane) << ZEMTL_PLANE_SHIFT;
  // Ascending key; before the existing materials of an equal key.
  const int64_t key = Key(m);
  ZEMTL* prev = nullptr;
  ZEMTL* at = g_planes[plane].head;
  while (at && Key(at) < key) {
    prev = at;
    at = at->next;
  }
  m->prev = prev;
  m->next = at;
  if (at) at->prev = m;
  if (prev) prev->next = m;
  else g_planes[plane].head = m;
  ZeMtlCheckMtlAnimList(m, 0);
  ZeEnableVBlank();
}

void ZeMtlRemove(ZEMTL* m) {
  ZeDisableVBlank();
  Plane& p = g_planes[PlaneOf(m) % ZEMTL_PLANES];
  if (!m->prev && p.head != m) {
    ZeDebugMsg("Warning - attempted to remove material that was not already in system list");
  } else {
    if (m->prev) m->prev->next = m->next;
    else p.head = m->next;
    if (m->next) m->next->prev = m->prev;
  }
  if (g_iterMtl == m) g_iterMtl = m->next;
  m->next = m->prev = nullptr;
  ZeMtlCheckMtlAnimList(m, 1);
  ZeEnableVBlank();
}

int ZeMtlSetCurrentRenderPlane(int plane) {
  if (plane < 0 || plane >= ZEMTL_PLANES) ZeError("ZeMtlSetCurrentRenderPlane out of range");
  const int old = zemtl_current_plane;
  zemtl_current_plane = plane;
  return old;
}

void ZeMtlSetRenderPlane(ZEMTL* m, int plane) {
  CheckPlane(plane, "ZeMtlSetRenderPlane");
  ZeMtlInsert(m, plane);
}

// ---- draw order ------------------------------------------------------------------

void ZeMtlSetRenderPlaneOrder(int plane, int n) {
  CheckPlane(plane, "ZeMtlSetRenderPlaneOrder");
  if (n < 0 || n >= ZEMTL_PLANES)
    ZeError("neworder of %d exceeds maximum renderplane position of %d", n, ZEMTL_PLANES - 1);
  const int p = g_posOf[plane];
  if (p < n) {
    for (int i = p; i < n; i++) g_planeAt[i] = g_planeAt[i + 1];
  } else if (p > n) {
    for (int i = p; i > n; i--) g_planeAt[i] = g_planeAt[i - 1];
  }
  g_planeAt[n] = uint8_t(plane);
  for (int i = 0; i < ZEMTL_PLANES; i++) g_posOf[g_planeAt[i]] = uint8_t(i);
}

void ZeMtlSetRenderPlaneBefore(int a, int b) {
  CheckPlane(a, "ZeMtlSetRenderPlaneBefore");
  CheckPlane(b, "ZeMtlSetRenderPlaneBefore");
  if (a == b) ZeError("Cannot set renderplane %d before itself", a);
  const int pa = g_posOf[a], pb = g_posOf[b];
  if (pa + 1 == pb) return;
  ZeMtlSetRenderPlaneOrder(a, pa < pb ? pb - 1 : pb);
}

void ZeMtlSetRenderPlaneAfter(int a, int b) {
  CheckPlane(a, "ZeMtlSetRenderPlaneAfter");
  CheckPlane(b, "ZeMtlSetRenderPlaneAfter");
  if (a == b) ZeError("Cannot set renderplane %d after itself", a);
  const int pa = g_posOf[a], pb = g_posOf[b];
  if (pb + 1 == pa) return;
  ZeMtlSetRenderPlaneOrder(a, pa < pb ? pb : pb + 1);
}

void ZeMtlGetRenderPlaneDrawOrders(uint8_t* buffer, int n) {
  memcpy(buffer, g_posOf, size_t(n < ZEMTL_PLANES ? (n > 0 ? n : 0) : ZEMTL_PLANES));
}

void ZeMtlGetRenderPlanesInDrawOrder(uint8_t* buffer, int n) {
  memcpy(buffer, g_planeAt, size_t(n < ZEMTL_PLANES ? (n > 0 ? n : 0) : ZEMTL_PLANES));
}

// ---- callbacks ---------------------------------------------------------------------

int ZeMtlAddPriCallBack(ZEMTLPRICALLBACK* cb, uint32_t planes) {
  int count = 0;
  for (int plane = 0; plane < ZEMTL_PLANES; plane++) {
    if (!(planes & (1u << plane))) continue;
    // Ascending priority; before the existing callbacks of an equal one.
    ZEMTLPRICALLBACK* prev = nullptr;
    ZEMTLPRICALLBACK* at = g_planes[plane].pri;
    while (at && at->priority < cb->priority) {
      prev = at;
      at = at->next[plane];
    }
    cb->prev[plane] = prev;
    cb->next[plane] = at;
    if (at) at->prev[plane] = cb;
    if (prev) prev->next[plane] = cb;
    else g_planes[plane].pri = cb;
    count++;
  }
  return count;
}

int ZeMtlRemovePriCallBack(ZEMTLPRICALLBACK* cb) {
  int count = 0;
  for (int plane = 0; plane < ZEMTL_PLANES; plane++) {
    const bool listed = cb->prev[plane] || g_planes[plane].pri == cb;
    if (!listed) continue;
    if (cb->prev[plane]) cb->prev[plane]->next[plane] = cb->next[plane];
    else g_planes[plane].pri = cb->next[plane];
    if (cb->next[plane]) cb->next[plane]->prev[plane] = cb->prev[plane];
    cb->next[plane] = cb->prev[plane] = nullptr;
    count++;
  }
  return count;
}

namespace {

void AddPlaneCallBack(ZERENDERPLANECALLBACK* cb, int plane, int kind) {
  CheckPlane(plane, kind ? "ZeMtlAddRenderPlaneEndCallBack" : "ZeMtlAddRenderPlaneBeginCallBack");
  cb->plane = uint8_t(plane);
  cb->kind = uint8_t(kind);
  ZERENDERPLANECALLBACK*& head = kind ? g_planes[plane].end : g_planes[plane].begin;
  // Descending priority; before the existing callbacks of an equal one.
  ZERENDERPLANECALLBACK* prev = nullptr;
  ZERENDERPLANECALLBACK* at = head;
  while (at && at->priority > cb->priority) {
    prev = at;
    at = at->next;
  }
  cb->prev = prev;
  cb->next = at;
  if (at) at->prev = cb;
  if (prev) prev->next = cb;
  else head = cb;
}

}  // namespace

void ZeMtlAddRenderPlaneBeginCallBack(ZERENDERPLANECALLBACK* cb, int plane) { AddPlaneCallBack(cb, plane, 0); }
void ZeMtlAddRenderPlaneEndCallBack(ZERENDERPLANECALLBACK* cb, int plane) { AddPlaneCallBack(cb, plane, 1); }

void ZeMtlRemoveRenderPlaneCallBack(ZERENDERPLANECALLBACK* cb) {
  CheckPlane(cb->plane, "ZeMtlRemoveRenderPlaneCallBack");
  ZERENDERPLANECALLBACK*& head = cb->kind ? g_planes[cb->plane].end : g_planes[cb->plane].begin;
  if (cb->prev) cb->prev->next = cb->next;
  else if (head == cb) head = cb->next;
  if (cb->next) cb->next->prev = cb->prev;
  cb->next = cb->prev = nullptr;
}

// ---- the render list -------------------------------------------------------------------

namespace {

// Callbacks may write into the stream by its protocol (link, write, end on
// an open next tag) or take stream memory: the list stops on an open tag
// before each call and links again after it.
void Pause(ZERNDRSTREAM* s) {
  uint32_t* tag = s->write;
  rndrstream_free = vpDmaTag_Next(tag, nullptr);
  s->write = tag;
}

void Resume(ZERNDRSTREAM* s) { ZeRndrStreamLink(s); }

bool Allows(const ZEMTLPRICALLBACK* cb, int key) {
  if (cb->compare == 1) return key > cb->priority;
  if (cb->compare == 2) return key == cb->priority;
  return true;
}

}  // namespace

void ZeMtlBuildRenderList(uint32_t planes) {
  ZERNDRSTREAM* s = rndrstream_mtl_sort;
  ZeRndrStreamLink(s);
  s->tid = 0;
  s->mtl = nullptr;
  const uint32_t* lastProgram = nullptr;
  uint32_t positions = 0;
  for (int plane = 0; plane < ZEMTL_PLANES; plane++)
    if (planes & (1u << plane)) positions |= 1u << g_posOf[plane];

  for (int pos = 0; pos < ZEMTL_PLANES; pos++) {
    if (!(positions & (1u << pos))) continue;
    const int plane = g_planeAt[pos];
    Plane& pl = g_planes[plane];
    for (ZERENDERPLANECALLBACK* cb = pl.begin; cb; cb = cb->next) {
      Pause(s);
      cb->fn.get()(s, plane);
      Resume(s);
    }
    ZEMTLPRICALLBACK* cursor = pl.pri;
    for (ZEMTL* m = pl.head; m; m = m->next) {
      ZERNDRSTREAM* ms = &m->stream;
      if (ms->first && ms->write != ms->first) {
        if (cursor) {
          const int key = int16_t(uint16_t(m->sort_priority) & cursor->mask);
          while (cursor && cursor->priority <= key) {
            if (Allows(cursor, key)) {
              Pause(s);
              cursor->fn.get()(s, m, plane);
              Resume(s);
            }
            cursor = cursor->next[plane];
          }
        }
        ZEMTLSTREAMFN* fn = m->callback;
        if (fn) {
          Pause(s);
          fn(m, s, 1);
          Resume(s);
        }
        if (m->texture != s->tid) {
          ZeTexAccomodateRS(s, m->texture, 0);
          s->write = ZeTexSet(s->write, m->texture, m->context);
          s->tid = m->texture;
        }
        if (ms->program && ms->program.get() != lastProgram) {
          s->write = vpDmaTag_Call(s->write, ms->program);
          lastProgram = ms->program;
        }
        uint32_t* p = vpDmaTag_Call(s->write, m->state);
        s->write = ZeRndrStreamAddZBState(p, ZeMtlGetZupd(m));
        s->mtl = m;
        if (fn) {
          Pause(s);
          fn(m, s, 2);
          Resume(s);
        }
        // Into the material's chain and back: its open tag continues here.
        uint32_t* back = vpDmaTag_Next(s->write, ms->first);
        ms->write.get()[1] = EeAddrOf(back);
        s->write = back;
        if (fn) {
          Pause(s);
          fn(m, s, 3);
          Resume(s);
        }
        ZeRndrStreamResetStream(ms, 1);
      }
      ms->first = nullptr;
      ms->write = nullptr;
    }
    for (ZERENDERPLANECALLBACK* cb = pl.end; cb; cb = cb->next) {
      Pause(s);
      cb->fn.get()(s, plane);
      Resume(s);
    }
  }
  Pause(s);
  s->mtl = nullptr;
  s->tid = 0;
}

void ZeMtlCheckRenderList() {
  for (Plane& p : g_planes)
    for (ZEMTL* m = p.head; m; m = m->next)
      if (m->stream.first) ZeDebugMsg("Material %08x has not been flushed at end of frame", EeAddrOf(m));
}

ZEMTL* ZeMtlIterate(int first) {
  if (first) {
    g_iterPlane = 0;
    g_iterMtl = nullptr;
  } else if (g_iterMtl) {
    g_iterMtl = g_iterMtl->next;
    if (g_iterMtl) return g_iterMtl;
    g_iterPlane++;
  }
  while (g_iterPlane < ZEMTL_PLANES && !g_planes[g_iterPlane].head) g_iterPlane++;
  if (g_iterPlane >= ZEMTL_PLANES) return g_iterMtl = nullptr;
  return g_iterMtl = g_planes[g_iterPlane].head;
}

// ---- animation -------------------------------------------------------------------------

void ZeMtlCheckMtlAnimList(ZEMTL* m, int removing) {
  const int u = m->uv_anim & 15, v = m->uv_anim >> 4;
  const bool animated = !removing && ((u >= 1 && u <= 4) || (v >= 1 && v <= 4));
  if (animated) {
    if (!m->in_anim_list && g_animCount < ZEMTL_ANIM_MAX) g_anim[g_animCount++] = m;
    m->in_anim_list = 1;
    return;
  }
  if (!m->in_anim_list) return;
  // A material flagged while the list was full is not in it.
  for (int i = 0; i < g_animCount; i++)
    if (g_anim[i] == m) {
      g_anim[i] = g_anim[--g_animCount];
      break;
    }
  m->in_anim_list = 0;
}

namespace {

// The offset of one coordinate by its mode; false for modes that change nothing.
bool Offset(int mode, float* value, float speed, float dt, double t, float* out) {
  switch (mode) {
    case 1: *out = *value; return true;
    case 2:
      *value += speed * dt;
      *value -= std::floor(*value);
      *out = *value;
      return true;
    case 3:
    case 4: {
      // The angle is taken within one turn, so that it never overflows
      // however long the clock has run.
      double turns = std::fmod(t * double(speed), 1.0);
      if (turns < 0) turns += 1.0;
      int a = int(turns * 65536.0) & 0xffff;
      if (mode == 4) a += 0x4000;
      *out = *value * ZeTrigTable[(a >> 1) & 0x7fff];
      return true;
    }
    default: return false;
  }
}

}  // namespace

void ZeMtlAnimate(float dt, uint32_t planes) {
  double t = 0.0;
  for (int plane = 0; plane < ZEMTL_PLANES; plane++) {
    if (!(planes & (1u << plane))) continue;
    g_planes[plane].clock += dt;
    t = g_planes[plane].clock;
  }
  for (int i = 0; i < g_animCount; i++) {
    ZEMTL* m = g_anim[i];
    if (!m->effect_block) continue;
    float off;
    uint32_t* row = ZeMtlStrowData(m);
    if (Offset(m->uv_anim & 15, &m->u_value, m->u_speed, dt, t, &off)) {
      m->effect_block.get()[0] = off;
      row[0] = uint32_t(EeFtoi(off * 4096.0f));
    }
    if (Offset(m->uv_anim >> 4, &m->v_value, m->v_speed, dt, t, &off)) {
      m->effect_block.get()[1] = off;
      row[1] = uint32_t(EeFtoi(off * 4096.0f));
    }
  }
}
