// Block pools: fixed-size elements carved from one block, handed out and
// taken back through a free chain (last freed, first reused).
#include "zecore.h"

#include <cstring>

namespace {

int Rounded(int elsize, int mask) { return ((elsize < 4 ? 4 : elsize) + mask) & ~mask; }
int HeaderSpace(int mask) { return (16 + mask) & ~mask; }

// Flags bits 8-12 keep log2(mask + 1), so that a freed element can be checked.
constexpr int FLAG_ALIGN_SHIFT = 8;

uintptr_t FirstElement(uintptr_t start, int mask) { return (start + 16 + uintptr_t(mask)) & ~uintptr_t(mask); }

// Lays the pool out in memory of ZeMemBlkSize bytes. The elements start at
// the first aligned address at least 16 bytes in; memory not aligned to the
// mask would push them past that size, so it is refused.
ZEMEMBLK* Build(int elsize, int count, int mask, void* memory, int16_t flags) {
  ZEASSERT(count >= 0 && mask >= 0 && (mask & (mask + 1)) == 0);
  auto* pool = static_cast<ZEMEMBLK*>(memory);
  uintptr_t start = reinterpret_cast<uintptr_t>(memory);
  uintptr_t first = FirstElement(start, mask);
  ZEASSERT(first - start <= uintptr_t(HeaderSpace(mask)));
  int size = Rounded(elsize, mask);
  pool->elsize = size;
  pool->count = count;
  pool->flags = int16_t(flags | (__builtin_ctz(unsigned(mask) + 1) << FLAG_ALIGN_SHIFT));
  pool->freecount = int16_t(count);
  pool->freehead = nullptr;
  // Chain the elements in memory order.
  for (int i = count - 1; i >= 0; i--) {
    auto* e = reinterpret_cast<EePtr<void>*>(first + uintptr_t(i) * uintptr_t(size));
    *e = pool->freehead;
    pool->freehead = e;
  }
  return pool;
}

bool InPool(ZEMEMBLK* pool, void* element) {
  int mask = (1 << ((pool->flags >> FLAG_ALIGN_SHIFT) & 31)) - 1;
  uintptr_t first = FirstElement(reinterpret_cast<uintptr_t>(pool), mask);
  uintptr_t e = reinterpret_cast<uintptr_t>(element);
  return e >= first && e < first + uintptr_t(pool->count) * uintptr_t(pool->elsize) &&
         (e - first) % uintptr_t(pool->elsize) == 0;
}

}  // namespace

int ZeMemBlkSize(int elsize, int count, int mask) { return count * Rounded(elsize, mask) + HeaderSpace(mask); }

ZEMEMBLK* ZeMemBlkCreate(int elsize, int count, int mask) {
  ZEASSERT(count >= 1);
  void* mem = ZeMemAllocFn(ZeMemBlkSize(elsize, count, mask), __FILE__, __LINE__);
  if (!mem) return nullptr;
  return Build(elsize, count, mask, mem, 0);
}

ZEMEMBLK* ZeMemBlkCreateEx(int elsize, int count, int mask, void* memory) {
  return Build(elsize, count, mask, memory, 1);
}

ZEMEMBLK* ZeMemBlkCreateHigh(int elsize, int count, int mask) {
  ZEASSERT(count >= 1);
  void* mem = ZeAllocHigh(ZeMemBlkSize(elsize, count, mask));
  if (!mem) return nullptr;
  ZEASSERT((reinterpret_cast<uintptr_t>(mem) & uintptr_t(mask)) == 0);
  // Returned with ZeFreeHigh: marked as caller memory so that ZeMemBlkDestroy leaves it.
  return Build(elsize, count, mask, mem, 1);
}

void* ZeMemBlkAlloc(ZEMEMBLK* pool) {
  void* e = pool->freehead;
  if (!e) return nullptr;
  pool->freehead = *static_cast<EePtr<void>*>(e);
  memset(e, 0xFF, size_t(pool->elsize));
  pool->freecount--;
  return e;
}

void ZeMemBlkFree(ZEMEMBLK* pool, void* element) {
  // An element from elsewhere would put foreign memory on the free chain.
  ZEASSERT(element && InPool(pool, element));
  memset(element, 0xFE, size_t(pool->elsize));
  *static_cast<EePtr<void>*>(element) = pool->freehead;
  pool->freehead = element;
  pool->freecount++;
}

void ZeMemBlkDestroy(ZEMEMBLK* pool) {
  if (!(pool->flags & 1)) ZeMemFreeFn(pool, __FILE__, __LINE__);
}

int ZeMemBlkCheckFreeList(ZEMEMBLK* pool) {
  int n = 0;
  // Bounded walk: a chain longer than the pool is broken (perhaps a cycle).
  for (void* e = pool->freehead; e && n <= pool->count; e = *static_cast<EePtr<void>*>(e)) n++;
  ZEASSERT(n == pool->freecount);
  return pool->freecount;
}
