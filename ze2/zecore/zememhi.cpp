// High memory: 16-byte units from one region, a circular free list in
// address order searched next-fit from a roving pointer.
#include "zecore.h"

namespace {

struct HIGHHDR {
  EePtr<HIGHHDR> next;  // next free block (free blocks only)
  int size;             // in 16-byte units, header included
  int pad[2];
};
static_assert(sizeof(HIGHHDR) == 16);

HIGHHDR* g_rover = nullptr;  // null: nothing free
bool g_ready = false;
uintptr_t g_start = 0, g_end = 0;

}  // namespace

void ZeAllocHighInit(void* start, int size) {
  if (g_ready) ZeError("ZeAllocHighInit : Already initialised\n");
  uintptr_t s = reinterpret_cast<uintptr_t>(start);
  if (s & 15) {
    size -= 15;
    s = (s + 15) & ~uintptr_t(15);
  }
  if (size & 15) size = (size - 15) & ~15;
  ZEASSERT(size >= 32);
  g_ready = true;
  g_start = s;
  g_end = s + uintptr_t(size);
  g_rover = reinterpret_cast<HIGHHDR*>(s);
  g_rover->next = g_rover;
  g_rover->size = size / 16;
}

void* ZeAllocHigh(int bytes) {
  if (bytes <= 0) ZeError("ZeAllocHigh : request for 0 bytes of memory denied");
  if (!g_rover) return nullptr;
  int units = (bytes + 15) / 16 + 1;
  HIGHHDR* prev = g_rover;
  for (HIGHHDR* p = prev->next;; prev = p, p = p->next) {
    if (p->size >= units) {
      if (p->size == units) {
        if (p == prev) {  // the last free block is taken whole
          g_rover = nullptr;
          return p + 1;
        }
        prev->next = p->next;
      } else {
        p->size -= units;
        p += p->size;
        p->size = units;
      }
      g_rover = prev;
      return p + 1;
    }
    if (p == g_rover) return nullptr;
  }
}

void ZeFreeHigh(void* ptr) {
  if (!ptr) return;
  HIGHHDR* bp = static_cast<HIGHHDR*>(ptr) - 1;
  uintptr_t a = reinterpret_cast<uintptr_t>(bp);
  // A pointer that is not one of this region's blocks would corrupt the ring.
  ZEASSERT(g_ready && a >= g_start && a < g_end && (a & 15) == 0 && bp->size > 0 &&
           a + uintptr_t(bp->size) * 16 <= g_end);
  if (!g_rover) {
    bp->next = bp;
    g_rover = bp;
    return;
  }
  HIGHHDR* p = g_rover;
  for (; !(bp > p && bp < p->next.get()); p = p->next) {
    if (p >= p->next.get() && (bp > p || bp < p->next.get())) break;  // at the ring's wrap point
  }
  HIGHHDR* after = p->next;
  if (bp + bp->size == after) {  // join the following block
    bp->size += after->size;
    bp->next = after == p ? bp : after->next.get();
    if (after == p) {  // it was the only free block: bp takes its place
      g_rover = bp;
      return;
    }
  } else {
    bp->next = after;
  }
  if (p + p->size == bp) {  // join the preceding block
    p->size += bp->size;
    p->next = bp->next;
  } else {
    p->next = bp;
  }
  g_rover = p;
}
