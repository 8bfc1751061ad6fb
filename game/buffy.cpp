// The level buffer: one block taken at start-up. Its low end holds the
// permanent, system and world areas, rebuilt by every replay; above the
// world top up to three sub-buffers (LOW, SUB, HI) are lent to levels and
// conflicts whole and given back whole.
#include "game.h"

#include <cstring>

BuffyBuffer* bigbuffer = nullptr;
int buffy_display_bits = 3;

namespace {

BuffyBuffer g_buffer;
const char* const kSlotName[3] = {"LOW", "SUB", "HI"};

uint64_t Addr(const char* p) { return uint64_t(reinterpret_cast<uintptr_t>(p)); }
bool InUse(const BuffyDesc& d) { return d.lockstate != BUFFY_FREE; }
// A SUBAT request's offset from the world top: the type's bits from 8 up,
// in place (the universe stores the offset with its low 8 bits cleared).
uint64_t SubAtOffset(const BuffyDesc* d) { return d->placement & ~0xFFu; }

}  // namespace

void BuffyInit() {
  char* block = static_cast<char*>(ZeMemAllocFn(LEVELBUFFERSIZE, __FILE__, __LINE__));
  if (!block) ZeError("Unable to create level buffer");
  bigbuffer = &g_buffer;
  bigbuffer->block_start = block;
  bigbuffer->block_end = block + LEVELBUFFERSIZE;
  BuffyReset();
}

void BuffyClose() {
  if (!bigbuffer) return;
  ZeMemFreeFn(bigbuffer->block_start, __FILE__, __LINE__);
  bigbuffer = nullptr;
}

void BuffyReset() {
  BuffyBuffer* b = bigbuffer;
  b->permanent_top = b->system_top = b->world_top = b->block_start.get();
  for (int i = 0; i < 3; i++) {
    b->desc[i] = BuffyDesc{};
    b->desc[i].index = i;
  }
}

int BuffyFindSlot(int type) {
  const BuffyDesc* d = bigbuffer->desc;
  int t = type & 0xF;
  if (t == BUFFY_SUBHIGH || t == BUFFY_SUBLOW || t == BUFFY_SUBAT) t = BUFFY_SUB;
  switch (t) {
    case BUFFY_LOW:
    case BUFFY_SUB:
    case BUFFY_HIGH:
      return d[t].lockstate != BUFFY_LOCKED ? t : -1;
    case BUFFY_ANY:
      for (int i = 0; i < 3; i++)
        if (d[i].lockstate == BUFFY_FREE) return i;
      for (int i = 0; i < 3; i++)
        if (d[i].lockstate == BUFFY_UNLOCKED) return i;
      return -1;
    case BUFFY_MAIN:
      return d[0].lockstate != BUFFY_LOCKED ? 0 : -1;
    default:
      return -1;
  }
}

// Where the descriptor's request would lie. Addresses and sizes are compared
// in 64 bits so that no size can wrap a bound.
int BuffyValidateRequest(BuffyDesc* desc, char** start, char** current, char** end, int* available, int ignoreSub) {
  const BuffyBuffer* b = bigbuffer;
  const BuffyDesc& low = b->desc[0];
  const BuffyDesc& sub = b->desc[1];
  const BuffyDesc& hi = b->desc[2];
  uint64_t floor = Addr(b->world_top), top = Addr(b->block_end);
  const uint64_t size = desc->size;
  uint64_t s = 0;
  bool fits = false;
  switch (desc->index) {
    case 0:
      if (InUse(hi)) top = Addr(hi.start);
      if (!ignoreSub && InUse(sub)) top = Addr(sub.start);
      s = floor;
      fits = s + size <= top;
      break;
    case 2:
      if (InUse(low)) floor = Addr(low.end);
      if (!ignoreSub && InUse(sub)) floor = Addr(sub.end);
      s = top - size;
      fits = top >= size && s >= floor;
      break;
    default: {
      if (InUse(low)) floor = Addr(low.end);
      if (InUse(hi)) top = Addr(hi.start);
      int place = int(desc->placement & 0xF);
      if (place == 0) {
        if (!InUse(low)) place = 1;
        else if (!InUse(hi)) place = 2;
        else place = hi.size <= low.size ? 2 : 1;
      }
      if (place == 1) {
        s = top - size;
        fits = top >= size && s >= floor;
      } else if (place == 2) {
        s = floor;
        fits = s + size <= top;
      } else {
        s = Addr(b->world_top) + SubAtOffset(desc);
        fits = s >= floor && s + size <= top;
      }
      break;
    }
  }
  const uint64_t gap = top > floor ? top - floor : 0;
  if (available) *available = gap > 0x7fffffff ? 0x7fffffff : int(gap);
  if (fits) {
    char* p = reinterpret_cast<char*>(uintptr_t(s));
    if (start) *start = p;
    if (current) *current = p;
    if (end) *end = p + size;
  }
  return fits ? 1 : 0;
}

BuffyDesc* BuffyAllocate(int size, int type, BuffyCallback callback, void* data) {
  const int slot = BuffyFindSlot(type);
  if (slot < 0) return nullptr;
  BuffyDesc* d = &bigbuffer->desc[slot];
  d->pending_callback = callback;
  d->pending_data = data;
  // Rounded in 64 bits: a size near the top of the range must not wrap to a
  // small one.
  const uint64_t rounded = (uint64_t(uint32_t(size)) + 127) & ~uint64_t(127);
  d->size = rounded > 0xffffff80u ? 0xffffff80u : uint32_t(rounded);
  d->flags = uint32_t(type) & 0xF0;
  const int t = type & 0xF;
  if (slot == BUFFY_SUB)
    d->placement = t == BUFFY_SUBHIGH ? 1 : t == BUFFY_SUBLOW ? 2 : t == BUFFY_SUBAT ? (uint32_t(type) & ~0xFFu) | 3 : 0;
  if (d->lockstate == BUFFY_FREE) {
    BuffyLock(d);
  } else if (d->lockstate == BUFFY_UNLOCKED) {
    if (d->callback) d->callback.get()(d, 0, d->data);
  } else {
    ZeError("BuffyAllocate - It's all gone horribly wrong");
  }
  return d;
}

int BuffyLock(BuffyDesc* d) {
  if (d->lockstate != BUFFY_FREE) ZeError("BuffyLock - buffer not free");
  char *s, *c, *e;
  int avail = 0;
  if (BuffyValidateRequest(d, &s, &c, &e, &avail, 0)) {
    d->start = s;
    d->end = e;
    d->current = c;
    d->flags &= ~uint32_t(BUFFY_STEAL);
    d->lockstate = BUFFY_LOCKED;
    d->lockcount++;
    d->callback = d->pending_callback;
    d->data = d->pending_data;
    d->pending_callback = nullptr;
    d->pending_data = nullptr;
    if (d->callback) d->callback.get()(d, 1, d->data);
    return 2;
  }
  BuffyDesc& sub = bigbuffer->desc[1];
  if (d->index != 1 && (d->flags & BUFFY_STEAL) && sub.lockstate == BUFFY_UNLOCKED &&
      BuffyValidateRequest(d, nullptr, nullptr, nullptr, nullptr, 1)) {
    d->flags &= ~uint32_t(BUFFY_STEAL);  // one steal per request
    ZeDebugMsg("Insufficient space for level buffer %d - attempting to steal sub buffer", d->index);
    if (BuffyAllocate(0, BUFFY_SUB, BuffyStealCallback, d)) return 1;
  }
  // A request larger than the whole area above the world top would wait for
  // ever (and the foreground load with it): stop with the owner's name.
  const uint64_t room = Addr(bigbuffer->block_end) - Addr(bigbuffer->world_top);
  const uint64_t need = uint64_t(d->size) + (d->index == 1 && (d->placement & 0xF) == 3 ? SubAtOffset(d) : 0);
  if (need > room)
    ZeError("BuffyLock - request of %u bytes for buffer %s (owner data %p) can never fit in %u bytes", unsigned(d->size),
            kSlotName[d->index], d->pending_data.get(), unsigned(room));
  ZeDebugMsg("BuffyLock - insufficent buffer space for requested size (req %d, avail %d - need another %d)", int(d->size),
             avail, int(d->size) - avail);
  return 0;
}

int BuffyUnlock(BuffyDesc* d) {
  if (d->lockstate == BUFFY_LOCKED) d->lockstate = BUFFY_UNLOCKED;
  return d->lockcount;
}

void BuffyRelock(BuffyDesc* d, int key) {
  if (d->lockstate != BUFFY_UNLOCKED) {
    ZeDebugMsg("BuffyRelock - Buffer is not unlocked");
    return;
  }
  if (d->lockcount != key) ZeError("BuffyRelock - Buffer has been externally locked and cannot be relocked");
  d->lockstate = BUFFY_LOCKED;
}

void BuffyRelease(BuffyDesc* d) {
  if (d->lockstate != BUFFY_UNLOCKED) ZeError("BuffyRelease - Buffer is not unlocked");
  if (d->end.get() > d->start.get()) memset(d->start, 0xFE, size_t(d->end.get() - d->start.get()));
  d->lockstate = BUFFY_FREE;
  d->callback = nullptr;
  d->data = nullptr;
  memset(d->username, 0, sizeof d->username);
  if (d->pending_callback) BuffyLock(d);
}

void BuffyStealCallback(BuffyDesc* d, int event, void* waiting) {
  if (event == 0) {
    ZeDebugMsg("(%d) Release Notification for buffer %d owned by Steal code", zevideo_global_vbcnt, d->index);
    return;
  }
  BuffyUnlock(d);
  BuffyRelease(d);
  ZeDebugMsg("Successfully stolen sub buffer, attempting to lock primary buffer");
  BuffyLock(static_cast<BuffyDesc*>(waiting));
}

// ---------------------------------------------------------------------------
// The usage display: a bar graph of the block, or a table of the three
// sub-buffers. Left and right (newly pressed) flip the two display bits.

namespace {

constexpr int buffgleft = 160, buffgtop = 192, buffgwidth = 512, buffgheight = 200;  // pixels
constexpr uint32_t kBlockColour = 0x80202020, kPermColour = 0x80a02020, kSysColour = 0x8020a020,
                   kWorldColour = 0x802020a0, kLevelColour = 0x80a0a020, kUsedColour = 0x8020a0a0,
                   kFreeColour = 0x80606060;

// A range of the block as a bar: pixels across the graph's width.
void DrawRange(const char* from, const char* to, int y, int h, uint32_t colour) {
  const BuffyBuffer* b = bigbuffer;
  const uint64_t total = Addr(b->block_end) - Addr(b->block_start);
  if (total == 0 || to <= from) return;
  const int x0 = int((Addr(from) - Addr(b->block_start)) * buffgwidth / total);
  const int x1 = int((Addr(to) - Addr(b->block_start)) * buffgwidth / total);
  ZeRndrRect2di((buffgleft + x0) * 16, y * 8, (x1 - x0 > 0 ? x1 - x0 : 1) * 16, h * 8, colour, nullptr);
}

void DrawTable() {
  const BuffyBuffer* b = bigbuffer;
  static const int kX[6] = {90, 150, 250, 350, 450, 550};
  ZeFntSet(nullptr);
  ZeFntScale(16, 16);
  int y = 64;
  ZeFntSetPen(0x80ffffff);
  const char* heads[6] = {"ID", "Start", "End", (buffy_display_bits & 1) ? "Used" : "Free", "Size", "User"};
  for (int c = 0; c < 6; c++) ZeFntPrintEx(kX[c] * 16, y * 8, 0, "%s", heads[c]);
  for (int i = 0; i < 3; i++) {
    const BuffyDesc& d = b->desc[i];
    y += 24;
    ZeFntSetPen(d.lockstate == BUFFY_UNLOCKED ? 0x80606060 : 0x80ffffff);
    ZeFntPrintEx(kX[0] * 16, y * 8, 0, "%s", kSlotName[i]);
    if (d.lockstate == BUFFY_FREE) {
      for (int c = 1; c < 6; c++) ZeFntPrintEx(kX[c] * 16, y * 8, 0, "--------");
      continue;
    }
    const int used = int(d.current.get() - d.start.get()), size = int(d.end.get() - d.start.get());
    ZeFntPrintEx(kX[1] * 16, y * 8, 0, "%08x", unsigned(Addr(d.start)));
    ZeFntPrintEx(kX[2] * 16, y * 8, 0, "%08x", unsigned(Addr(d.end)));
    ZeFntPrintEx(kX[3] * 16, y * 8, 0, "%d", (buffy_display_bits & 1) ? used : size - used);
    ZeFntPrintEx(kX[4] * 16, y * 8, 0, "%d", size);
    ZeFntPrintEx(kX[5] * 16, y * 8, 0, "%s", d.username);
  }
  y += 40;
  ZeFntSetPen(0x80ffffff);
  const int total = int(Addr(b->block_end) - Addr(b->block_start));
  const int reserved = int(Addr(b->world_top) - Addr(b->block_start));
  const struct {
    const char* label;
    int value;
  } rows[4] = {{"Level Buffer Size", total},
               {"Level Buffer Reserved", reserved},
               {"Level Buffer Avail", total - reserved},
               {"peakallocaddr", int(ZeMemGetPeakAllocAddr())}};
  for (const auto& r : rows) {
    ZeFntPrintEx(kX[0] * 16, y * 8, 0, "%s", r.label);
    ZeFntPrintEx(kX[3] * 16, y * 8, 0, "= %08d", r.value);
    y += 20;
  }
}

}  // namespace

void BuffyDrawKeyItem(int x, int y, uint32_t colour, const char* label) {
  ZeRndrRect2di(x * 16, y * 8, 12 * 16, 12 * 8, colour, nullptr);
  ZeFntPrintEx((x + 18) * 16, y * 8, 0, "%s", label);
}

void BuffyDisplayUsage() {
  if (!bigbuffer) return;
  if (pad0) {
    if (pad0->pressed & SCE_PADLleft) buffy_display_bits ^= 1;
    if (pad0->pressed & SCE_PADLright) buffy_display_bits ^= 2;
  }
  if (buffy_display_bits & 2) {
    DrawTable();
    return;
  }
  const BuffyBuffer* b = bigbuffer;
  const int row = buffgheight / 8;
  DrawRange(b->block_start, b->block_end, buffgtop, row, kBlockColour);
  DrawRange(b->block_start, b->permanent_top, buffgtop + row, row, kPermColour);
  DrawRange(b->permanent_top, b->system_top, buffgtop + row, row, kSysColour);
  DrawRange(b->system_top, b->world_top, buffgtop + row, row, kWorldColour);
  for (const BuffyDesc& d : b->desc) {
    if (d.lockstate == BUFFY_FREE) continue;
    DrawRange(d.start, d.end, buffgtop + 2 * row, row, kLevelColour);
    DrawRange(d.start, d.current, buffgtop + 3 * row, row, kUsedColour);
  }
  ZeFntSet(nullptr);
  ZeFntScale(12, 12);
  ZeFntSetPen(0x80ffffff);
  const int ky = buffgtop + buffgheight - 2 * row;
  BuffyDrawKeyItem(buffgleft, ky, kPermColour, "Permanent Fractal");
  BuffyDrawKeyItem(buffgleft + 180, ky, kSysColour, "System");
  BuffyDrawKeyItem(buffgleft + 300, ky, kWorldColour, "World");
  BuffyDrawKeyItem(buffgleft, ky + 20, kLevelColour, "Level Buffer");
  BuffyDrawKeyItem(buffgleft + 180, ky + 20, kUsedColour, "Buffer Used");
  BuffyDrawKeyItem(buffgleft + 300, ky + 20, kFreeColour, "Buffer Free");
}
