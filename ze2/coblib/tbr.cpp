// Time-based rendering: the page of image slots, the objects that hold
// images, the per-frame depth lists, slot assignment, image moves between
// slots, the refresh schedule and the sprites of the main pass. What reads
// the cob itself (classification and the rendering of a model into its
// slot) is in tbrcob.cpp.
#include <cstring>

#include "tbr_local.h"
#include "zeps2.h"

const float zmaxs[2] = {12.53f, 35.0f};
const float tbr_zdist[TBR_CLASSES] = {8.0f, 16.0f, 32.0f};
const int tbr_cursor_period[4] = {4, 8, 52, 36};

TBROBJ tbrobjs[TBR_OBJECTS];
TBRSLOT tbrslots[TBR_SLOTS];
TBRNODE tbr_nodes[TBR_OBJECTS];
TBRNODE* free_cobs[TBR_OBJECTS];
int free_cobs_cnt;
TBRLISTDEF listdefs[TBR_CLASSES];
TBRNODE* tbr_chain;
int dbg_tbrset, dbg_tbrrndr, dbgtop;
TBRFRAME tbr_frame;

namespace {

// Slot classes: first slot, count, side, slots per row, first page row.
struct TBRCLASSDEF {
  int first, count, side, perrow, row;
};
constexpr TBRCLASSDEF kClass[TBR_CLASSES] = {{0, 8, 64, 4, 0}, {8, 32, 32, 8, 128}, {40, 256, 16, 16, 256}};
constexpr int kCapacity[TBR_CLASSES] = {8, 32, 256};

// One slot packet: a ret tag, the quad's batch and its MSCAL, padded.
constexpr int PACKET_WORDS = 64;
alignas(16) uint32_t g_packets[TBR_SLOTS][PACKET_WORDS];

// The sprite's corners: a strip of four, upright then lying.
constexpr float kCorners[2][4][2] = {{{-1, 2}, {1, 2}, {-1, -2}, {1, -2}}, {{-2, -1}, {-2, 1}, {2, -1}, {2, 1}}};
constexpr ZECOLOUR32 kSpriteColour = 0x80878787u;  // 135, 135, 135, 128
constexpr ZECOLOUR32 kCopyColour = 0x807f7f7fu;    // 127, 127, 127, 128

int g_allocCursor;                 // round-robin start of the object search
TBRNODE* g_chainAt[TBR_OBJECTS];   // the chain by position, for the cursors

void PutCorners(uint32_t* at, int orientation) {
  for (int i = 0; i < 4; i++) {
    memcpy(&at[i * 4 + 0], &kCorners[orientation][i][0], 4);
    memcpy(&at[i * 4 + 1], &kCorners[orientation][i][1], 4);
  }
}

void BuildSlot(TBRSLOT* s, int cls, int index) {
  const TBRCLASSDEF& d = kClass[cls];
  s->cls = int16_t(cls);
  s->index = index;
  s->x = int16_t((index % d.perrow) * d.side);
  s->y = int16_t(d.row + (index / d.perrow) * d.side);
  s->w = s->h = int16_t(d.side);
  s->owner = s->claim = nullptr;
  s->orientation = 0;
  const float u0 = float(s->x) / TBR_PAGE_W, u1 = float(s->x + s->w) / TBR_PAGE_W;
  const float v0 = float(s->y) / TBR_PAGE_H, v1 = float(s->y + s->h) / TBR_PAGE_H;
  const float uv[4][2] = {{u0, v0}, {u1, v0}, {u0, v1}, {u1, v1}};
  ZEVTX v[4] = {};
  for (int i = 0; i < 4; i++) {
    v[i].pos = {kCorners[0][i][0], kCorners[0][i][1], 0.0f};
    v[i].colour = kSpriteColour;
    v[i].u = uv[i][0];
    v[i].v = uv[i][1];
  }
  uint32_t* buffer = g_packets[s - tbrslots];
  ZECLIPBATCHDESC desc{};
  int n = 0, bytes = 0;
  s->packet = static_cast<uint32_t*>(ZeRndrStream3dClipKickModStaticData(v, 4, 4, buffer, &desc, &n, &bytes));
  if (n != 1 || bytes > PACKET_WORDS * 4) ZeError("tbr slot packet of %d bytes overran its buffer", bytes);
  s->corners = desc.positions;
}

void ListRemove(TBRLISTDEF* l, TBRNODE* n) {
  (n->prev ? n->prev->next : l->head) = n->next;
  (n->next ? n->next->prev : l->tail) = n->prev;
  n->next = n->prev = nullptr;
  l->count--;
}

// In depth order: before the first node at least as deep. A list over its
// capacity gives its deepest node to the next class's list the same way.
void ListInsert(int cls, TBRNODE* n) {
  TBRLISTDEF* l = &listdefs[cls];
  TBRNODE* at = l->head;
  while (at && at->z < n->z) at = at->next;
  n->next = at;
  n->prev = at ? at->prev : l->tail;
  (n->prev ? n->prev->next : l->head) = n;
  (at ? at->prev : l->tail) = n;
  l->count++;
  if (l->count > l->capacity && cls + 1 < TBR_CLASSES) {
    TBRNODE* deepest = l->tail;
    ListRemove(l, deepest);
    ListInsert(cls + 1, deepest);
  }
}

// A slot of the pool for obj: an unclaimed one without owner at once, else
// the last whose owner is not shown, else the one whose owner is deepest and
// deeper than obj (the first of equal depths).
TBRSLOT* SearchPool(int cls, const TBROBJ* obj) {
  const TBRCLASSDEF& d = kClass[cls];
  TBRSLOT* unshown = nullptr;
  TBRSLOT* deepest = nullptr;
  for (int i = 0; i < d.count; i++) {
    TBRSLOT* s = &tbrslots[d.first + i];
    if (s->claim) continue;
    if (!s->owner) return s;
    if (!s->owner->shown) unshown = s;
    else if (s->owner->depth > obj->depth && (!deepest || s->owner->depth > deepest->owner->depth)) deepest = s;
  }
  return unshown ? unshown : deepest;
}

TBRSLOT* FirstFree(int cls) {
  const TBRCLASSDEF& d = kClass[cls];
  for (int i = 0; i < d.count; i++) {
    TBRSLOT* s = &tbrslots[d.first + i];
    if (!s->owner && !s->claim) return s;
  }
  return nullptr;
}

// One migration pass: the pool's claimed slots whose claimants now hold a
// slot of class held (-1 none).
void MigratePass(int pool, int held) {
  const TBRCLASSDEF& d = kClass[pool];
  for (int i = 0; i < d.count; i++) {
    TBRSLOT* s = &tbrslots[d.first + i];
    TBROBJ* c = s->claim;
    if (!c || c->slotclass != held) continue;
    if (!s->owner || s->owner == c) {
      MigrateImage(c, s, c->slot);
    } else if (TBRSLOT* f = FirstFree(pool)) {
      MigrateImage(c, f, c->slot);
    } else {
      // The image here goes home to its owner's own slot first.
      TBROBJ* o = s->owner;
      TBRSLOT* own = o->ownslot;
      MigrateImage(o, own, s);
      if (own->claim == o) {
        own->claim = nullptr;
        o->newslot = nullptr;
      }
      MigrateImage(c, s, c->slot);
    }
    s->claim = nullptr;
    c->newslot = nullptr;
  }
}

void ScheduleRefreshes() {
  const int n = tbr_frame.nodes;
  if (n == 0) return;
  auto advance = [n](int c) {
    const int limit = tbr_cursor_period[c] < n ? tbr_cursor_period[c] : n;
    if (++tbr_frame.cursor[c] >= limit) tbr_frame.cursor[c] = 0;
    return g_chainAt[tbr_frame.cursor[c]]->obj;
  };
  for (int c = 0; c < 4; c++) {
    TBROBJ* o = advance(c);
    if (!o->request && tbr_frame.budget > 0) {
      o->request = 1;
      tbr_frame.budget--;
    }
  }
  // The rest round-robin, until a cursor meets an image already due.
  for (int c = 0; tbr_frame.budget > 0; c = (c + 1) & 3) {
    TBROBJ* o = advance(c);
    if (o->request) break;
    o->request = 1;
    tbr_frame.budget--;
  }
}

// A+D write of the texture clamp: region clamp to the slot's rectangle.
uint32_t* RegionClamp(uint32_t* p, const TBRSLOT* s, int context) {
  uint32_t* tag = p;
  p = vpDmaTag_CntEx(p, 0, 0);
  vtBeginDirect(tag + 3, 0);
  p = gsBeginGifPacket(p, 0, 1, 0, 0, GIF_FLG_PACKED, 1, GIF_REG_AD);
  const uint64_t clamp = 2ull | 2ull << 2 | uint64_t(s->x) << 4 | uint64_t(s->x + s->w - 1) << 14 |
                         uint64_t(s->y) << 24 | uint64_t(s->y + s->h - 1) << 34;
  p[0] = uint32_t(clamp);
  p[1] = uint32_t(clamp >> 32);
  p[2] = uint32_t(context ? GS_CLAMP_2 : GS_CLAMP_1);
  p[3] = 0;
  return vpDmaTag_Close(vtCloseDirect(gsCloseGifPacket(p + 4)));
}

}  // namespace

TBROBJ* TBRObj(int handle) {
  if (handle < 1 || handle > TBR_OBJECTS) ZeError("tbr object %d out of range (1 to %d)", handle, TBR_OBJECTS);
  return &tbrobjs[handle - 1];
}

int TBRBudget(int models) {
  const int b = 6 - (3 * models) / 4;
  return b < 3 ? 3 : b;
}

void TimeBasedRenderInit() {
  for (int c = 0; c < TBR_CLASSES; c++)
    for (int i = 0; i < kClass[c].count; i++) BuildSlot(&tbrslots[kClass[c].first + i], c, i);
  for (int i = 0; i < TBR_OBJECTS; i++) {
    TBROBJ* o = &tbrobjs[i];
    *o = TBROBJ{};
    o->mtx = zemtx_identity;
    o->slotclass = -1;
    o->ownslot = &tbrslots[kClass[2].first + i];
  }
  g_allocCursor = 0;
  tbr_frame = TBRFRAME{};
  TBRDrawBegin(nullptr);
  cobrndr = 0;
}

void TBRBeginFrame(int budget) { tbr_frame.budget = budget; }

void TBRDrawBegin(ZEMTL* mtl) {
  tbr_frame.mtl = mtl;
  tbr_frame.nodes = 0;
  tbr_chain = nullptr;
  for (int c = 0; c < TBR_CLASSES; c++) listdefs[c] = {nullptr, nullptr, 0, kCapacity[c]};
  for (int i = 0; i < TBR_OBJECTS; i++) free_cobs[i] = &tbr_nodes[i];
  free_cobs_cnt = TBR_OBJECTS;
}

int TBRInsert(COB* cob, TBROBJ* obj, float x, float y, float z, float radius) {
  if (free_cobs_cnt == 0) return -1;
  TBRNODE* n = free_cobs[--free_cobs_cnt];
  *n = TBRNODE{nullptr, nullptr, cob, x, y, z, obj};
  const int cls = z < zmaxs[0] * radius ? 0 : (z < zmaxs[1] * radius ? 1 : 2);
  ListInsert(cls, n);
  return cls;
}

void TBRAssignDmaSlots(int cls) {
  // The list's own nodes only: once the lists are joined into the chain,
  // its last node leads on into the next class's.
  const TBRLISTDEF* l = &listdefs[cls];
  for (TBRNODE* n = l->head; n; n = n == l->tail ? nullptr : n->next) {
    TBROBJ* o = n->obj;
    TBRSLOT* s = nullptr;
    if (o->slot && o->slot->cls == cls && (!o->slot->claim || o->slot->claim == o)) s = o->slot;
    else if (cls == 2) s = o->ownslot;
    else {
      s = SearchPool(cls, o);
      if (!s && cls == 0) s = SearchPool(1, o);
      if (!s) s = o->ownslot;
    }
    s->claim = o;
    o->newslot = s;
  }
}

void TBRDrawEnd() {
  // One chain, class 0 first, nearest first within each class.
  TBRNODE* last = nullptr;
  int n = 0;
  for (int c = 0; c < TBR_CLASSES; c++)
    for (TBRNODE* at = listdefs[c].head; at; at = at->next) g_chainAt[n++] = at;
  for (int i = 0; i < n; i++) {
    g_chainAt[i]->prev = last;
    g_chainAt[i]->next = i + 1 < n ? g_chainAt[i + 1] : nullptr;
    last = g_chainAt[i];
  }
  tbr_chain = n ? g_chainAt[0] : nullptr;
  tbr_frame.nodes = n;

  for (int c = 0; c < TBR_CLASSES; c++) TBRAssignDmaSlots(c);
  static constexpr int kPasses[9][2] = {{2, 1}, {2, 0}, {1, 0}, {0, 1}, {1, 2}, {0, 2}, {2, -1}, {1, -1}, {0, -1}};
  for (const auto& p : kPasses) MigratePass(p[0], p[1]);
  // Slots kept by their owners were claimed but need no move.
  for (TBRSLOT& s : tbrslots) {
    if (s.claim) s.claim->newslot = nullptr;
    s.claim = nullptr;
  }
  ScheduleRefreshes();
  TBRRenderImages();
}

void MigrateImage(TBROBJ* obj, TBRSLOT* newslot, TBRSLOT* oldslot) {
  if (oldslot && oldslot != newslot) {
    oldslot->owner = nullptr;
    if (!obj->request && tbr_frame.mtl) {
      // Copy (and scale) the old picture into the new rectangle.
      ZeRndrStreamFlush();
      ZeRndrSetScissor(newslot->x, newslot->y, newslot->x + newslot->w - 1, newslot->y + newslot->h - 1);
      const float ua = float(oldslot->x) / TBR_PAGE_W, va = float(oldslot->y) / TBR_PAGE_H;
      const float ub = float(oldslot->x + oldslot->w) / TBR_PAGE_W, vb = float(oldslot->y + oldslot->h) / TBR_PAGE_H;
      ZeRndrRectUV2di(newslot->x * 16, newslot->y * 16, newslot->w * 16, newslot->h * 16, kCopyColour, tbr_frame.mtl,
                      ua, va, ub, vb);
    }
  }
  if (TBROBJ* prev = newslot->owner; prev && prev != obj) {
    prev->slot = nullptr;
    prev->slotclass = -1;
  }
  newslot->owner = obj;
  obj->slot = newslot;
  obj->slotclass = newslot->cls;
  if (obj->orientation != newslot->orientation) SetTBRDMAOrientation(newslot, obj->orientation);
}

void SetTBRDMAOrientation(TBRSLOT* slot, int orientation) {
  const int o = orientation ? 1 : 0;
  if (slot->orientation == o) return;
  PutCorners(slot->corners, o);
  slot->orientation = int16_t(o);
}

int TBRAllocObj(int orientation) {
  for (int k = 0; k < TBR_OBJECTS; k++) {
    const int i = (g_allocCursor + k) % TBR_OBJECTS;
    TBROBJ* o = &tbrobjs[i];
    if (o->inuse) continue;
    g_allocCursor = (i + 1) % TBR_OBJECTS;
    o->inuse = 1;
    o->request = 1;
    o->slot = nullptr;
    o->newslot = nullptr;
    o->slotclass = -1;
    o->orientation = int16_t(orientation ? 1 : 0);
    o->shown = o->rendered = 0;
    o->depth = 0.0f;
    return i + 1;
  }
  return 0;
}

int TimeBasedRenderAlloc(int orientation) {
  const int h = TBRAllocObj(orientation);
  if (!h) ZeDebugMsg("Unable to allocate tbr object\n");
  return h;
}

void TimeBasedRenderRelease(int handle) {
  TBROBJ* o = TBRObj(handle);
  if (o->slot && o->slot->owner == o) o->slot->owner = nullptr;
  for (TBRSLOT& s : tbrslots)
    if (s.claim == o) s.claim = nullptr;
  o->inuse = o->request = o->shown = o->rendered = 0;
  o->slot = o->newslot = nullptr;
  o->slotclass = -1;
}

void TBRPrepareSlot(TBROBJ* obj, const ZEMTX* camera, float radius) {
  const TBRSLOT* s = obj->slot;
  if (!s) ZeError("No Slot assigned!");
  ZeRndrSetScissor(s->x, s->y, s->x + s->w - 1, s->y + s->w - 1);
  ZeRndrClear(ZERNDR_CLEAR_COLOUR | ZERNDR_CLEAR_DEPTH | ZERNDR_CLEAR_NOLISTS, 0, 1.0f);
  const int cx = s->x + s->w / 2 - 1, cy = s->y + s->h / 2 - 1;
  ZeRndrSetXYOffset((PS2_VCNTR_X - cx) * 16, (PS2_VCNTR_Y - cy) * 16);
  const float k = 8.0f * tbr_drawscale * radius;
  obj->mtx = *camera;
  for (int r = 0; r < 3; r++)
    for (int c = 0; c < 3; c++) obj->mtx.m[r][c] *= k;
  obj->rendered = 1;
  dbg_tbrset++;
}

void TBRImageMtx(ZEMTX* out, const ZEMTX* cobmtx, const ZEVEC* centre, const ZEMTX* camera, const ZEVEC* v,
                 int orientation, float distance) {
  ZEMTX m = *cobmtx;
  m.m[3][0] = -centre->x;
  m.m[3][1] = -centre->y;
  m.m[3][2] = -centre->z;
  ZEMTX inv, shear = zemtx_identity, rot = *camera;
  ZeMtxInvR(&inv, camera);
  ZeMtxMul(&m, &m, &inv);
  // Carry the view ray through v onto the view axis.
  shear.m[2][0] = -v->x / v->z;
  shear.m[2][1] = -v->y / v->z;
  ZeMtxMul(&m, &m, &shear);
  if (orientation == 1) ZeMtxRotateZ(&m, -0x4000);
  rot.m[3][0] = rot.m[3][1] = rot.m[3][2] = 0.0f;
  ZeMtxMul(&m, &m, &rot);
  const ZEVEC ahead = {0.0f, 0.0f, distance};
  ZEVEC at;
  ZeVecMtxTransform(&at, &ahead, camera);
  m.m[3][0] += at.x;
  m.m[3][1] += at.y;
  m.m[3][2] += at.z;
  *out = m;
}

int TimeBasedRenderBegin(int handle, const ZEMTX* camera, const ZEMTX* objmtx, int, const ZEVEC* centre, float,
                         float radius) {
  TBROBJ* o = TBRObj(handle);
  int began = 0;
  if (o->request) {
    o->request = 0;
    TBRPrepareSlot(o, camera, radius);
    began = 1;
  }
  o->mtx.m[3][0] = objmtx->m[3][0] + centre->x;
  o->mtx.m[3][1] = objmtx->m[3][1] + centre->y;
  o->mtx.m[3][2] = objmtx->m[3][2] + centre->z;
  return began;
}

void TimeBasedRenderEnd(int handle) { TBRObj(handle)->rendered = 0; }

void DrawTimeBasedObjects(ZEMTL* mtl, int flags) {
  if (!mtl) return;
  ZERNDRSTREAM* s = &mtl->stream;
  bool linked = false;
  for (TBRNODE* n = tbr_chain; n; n = n->next) {
    TBROBJ* o = n->obj;
    if (!o->inuse) continue;  // released since the pass (its cob removed)
    if (!o->slot) ZeError("no dma - aaaargh");
    if (!o->shown) continue;
    // Each sprite within its own link's promised room; the first segment
    // also brings the stream's frame, scissor, offset and view up to date
    // (a second link before the segment's end would write over them).
    ZeRndrSetLocalMtx(&o->mtx, 1);
    ZeRndrStreamLink(s);
    if (!linked) {
      ZeRndrStreamSetMisc(s);
      ZeRndrStreamSetViewMtx(s);
      linked = true;
    }
    ZeRndrStreamSetLocalMtx(s);
    uint32_t* p = RegionClamp(s->write, o->slot, mtl->context);
    p = vpDmaTag_Call(p, o->slot->packet);
    s->write = p;
    rndrstream_free = vpDmaTag_Next(p, nullptr);
    dbg_tbrrndr++;
  }
  if (!(flags & 8)) return;
  ZeFntSet(nullptr);
  ZeFntScale(16, 16);
  ZeFntSetPen(0x80ffffffu);
  for (int i = dbgtop * 16; i < dbgtop * 16 + 128 && i < TBR_OBJECTS; i++) {
    const TBROBJ* o = &tbrobjs[i];
    if (!o->inuse || !o->shown) continue;
    const ZEVEC4 at = {o->mtx.m[3][0], o->mtx.m[3][1], o->mtx.m[3][2], 1.0f};
    ZEVEC4 sc;
    ZeCameraTransformScreenVU0(&sc, &at, 1, nullptr);
    if (!(sc.w > 0.0f)) continue;
    const int x = int(sc.x / sc.w) - (PS2_VCNTR_X - 320) * 16, y = (int(sc.y / sc.w) - (PS2_VCNTR_Y - 112) * 16) * 2;
    ZeFntPrintEx(x, y, 1, "%02x", i);
  }
}

void TBRManage() { cobrndr = 0; }

void TBRDebug(ZEMTL* mtl, int flags) {
  if (!flags) return;
  ZeFntSet(nullptr);
  ZeFntScale(16, 16);
  if (flags & 1) ZeRndrRect2di(440 * 16, 24 * 8, 180 * 16, 64 * 8, 0x60000000u, mtl);
  ZeFntSetPen(0x80ffffffu);
  ZeFntPrintEx(600 * 16, 30 * 8, 2, "Cobrndr: %d", cobrndr);
  ZeFntPrintEx(600 * 16, 50 * 8, 2, "Tbrset: %d", dbg_tbrset);
  ZeFntPrintEx(600 * 16, 70 * 8, 2, "Tbrrndr: %d", dbg_tbrrndr);
  dbg_tbrset = dbg_tbrrndr = 0;
  if (!(flags & 2)) return;
  static constexpr ZECOLOUR32 kClassColour[3] = {0x80ff0000u, 0x8000ff00u, 0x800000ffu};  // blue, green, red
  const int x0 = 40 * 16, y0 = 120 * 8, dx = 34 * 16, dy = 30 * 8;
  ZeFntSetPen(0x80ffffffu);
  for (int c = 0; c < 16; c++) ZeFntPrintEx(x0 + c * dx, y0 - dy, 0, "%02x", c);
  for (int r = 0; r < 8; r++)
    for (int c = 0; c < 16; c++) {
      const int i = (dbgtop * 16 + r * 16 + c) % TBR_OBJECTS;
      const TBROBJ* o = &tbrobjs[i];
      if (!o->inuse) continue;
      const int x = x0 + c * dx, y = y0 + r * dy;
      if (!o->slot) {
        ZeFntSetPen(0x80808080u);
        ZeFntPrintEx(x, y, 0, "??");
        continue;
      }
      ZECOLOUR32 col = kClassColour[o->slot->cls];
      if (!o->shown) col = (col & 0xff000000u) | ((col & 0x00ffffffu) >> 2 & 0x003f3f3fu);
      ZeFntSetPen(col);
      ZeFntPrintEx(x, y, 0, "%02x%s", o->slot->index & 0xff, o->rendered ? "U" : "");
    }
}

void TimeBasedRenderEnable() {}
void TimeBasedRenderDisabled() {}
