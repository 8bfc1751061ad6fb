// Intrusive doubly linked lists, fixed element pools with free and used
// lists, the string helpers and the quadword fill and copy.
#include "zecore.h"

#include <cstring>

// ---- lists -------------------------------------------------------------

namespace {
ZELISTNODE* N(void* p) { return static_cast<ZELISTNODE*>(p); }
}  // namespace

void ZeListAppend(ZELIST* list, void* node) {
  ZELISTNODE* n = N(node);
  n->next = nullptr;
  n->prev = list->tail;
  if (list->tail) list->tail->next = n;
  else list->head = n;
  list->tail = n;
}

void ZeListInsert(ZELIST* list, void* node) {
  ZELISTNODE* n = N(node);
  n->prev = nullptr;
  n->next = list->head;
  if (list->head) list->head->prev = n;
  else list->tail = n;
  list->head = n;
}

void ZeListInsertBefore(ZELIST* list, void* before, void* node) {
  if (!before) {
    ZeListInsert(list, node);
    return;
  }
  ZELISTNODE* b = N(before);
  ZELISTNODE* n = N(node);
  n->next = b;
  n->prev = b->prev;
  if (b->prev) b->prev->next = n;
  else list->head = n;
  b->prev = n;
}

void ZeListInsertAfter(ZELIST* list, void* after, void* node) {
  if (!after) {
    ZeListAppend(list, node);
    return;
  }
  ZELISTNODE* a = N(after);
  ZELISTNODE* n = N(node);
  n->prev = a;
  n->next = a->next;
  if (a->next) a->next->prev = n;
  else list->tail = n;
  a->next = n;
}

void ZeListRemove(ZELIST* list, void* node) {
  ZELISTNODE* n = N(node);
  if (n->next) n->next->prev = n->prev;
  else list->tail = n->prev;
  if (n->prev) n->prev->next = n->next;
  else list->head = n->next;
}

void* ZeListGetHead(ZELIST* list) { return list->head; }
void* ZeListGetTail(ZELIST* list) { return list->tail; }
void* ZeListGetNext(ZELIST* list, void* node) { return node ? N(node)->next.get() : list->head.get(); }
void* ZeListGetPrev(ZELIST* list, void* node) { return node ? N(node)->prev.get() : list->tail.get(); }

int ZeListCheck(ZELIST* list) {
  int count = 0;
  ZELISTNODE* before = nullptr;
  for (ZELISTNODE* n = list->head; n; before = n, n = n->next) {
    ZEASSERT(n->prev.get() == before);
    count++;
  }
  ZEASSERT(before == list->tail.get());
  return count;
}

// ---- element pools -----------------------------------------------------

namespace {

ZELSTNODE* NodeOf(void* element) { return reinterpret_cast<ZELSTNODE*>(static_cast<char*>(element) - 16); }
void* ElementOf(ZELSTNODE* n) { return n ? reinterpret_cast<char*>(n) + 16 : nullptr; }
ZELSTNODE* FirstNode(ZELST* pool) { return reinterpret_cast<ZELSTNODE*>(pool + 1); }

// Lays out a pool in zeroed memory: every node on the free list in memory order.
ZELST* Build(void* memory, int count, int elsize, int stride) {
  // The header keeps these in 16 bits.
  ZEASSERT(count >= 1 && count <= 0x7fff && elsize >= 0 && stride <= 0x7fff);
  auto* pool = static_cast<ZELST*>(memory);
  memset(pool, 0, sizeof *pool);
  pool->capacity = int16_t(count);
  pool->elsize = int16_t(elsize);
  pool->stride = int16_t(stride);
  ZELSTNODE* prev = nullptr;
  for (int i = 0; i < count; i++) {
    auto* n = reinterpret_cast<ZELSTNODE*>(reinterpret_cast<char*>(FirstNode(pool)) + i * stride);
    n->pool = pool;
    n->next = nullptr;
    n->prev = prev;
    n->info = uint32_t(i);
    if (prev) prev->next = n;
    else pool->freehead = n;
    prev = n;
  }
  pool->freetail = prev;
  return pool;
}

ZELSTNODE* TakeFree(ZELST* pool) {
  ZELSTNODE* n = pool->freehead;
  if (!n) return nullptr;
  pool->freehead = n->next;
  if (n->next) n->next->prev = nullptr;
  else pool->freetail = nullptr;
  n->info |= ZELST_INUSE;
  pool->used++;
  return n;
}

}  // namespace

ZELST* ZeLstCreate(int count, int elsize) {
  ZEASSERT(count >= 1);
  int bytes = count * (elsize + 16) + int(sizeof(ZELST));
  void* mem = ZeMemAllocFn(bytes, __FILE__, __LINE__);
  if (!mem) return nullptr;
  return Build(mem, count, elsize, elsize + 16);
}

ZELST* ZeLstCreateBuff(int count, int elsize, char** address, char* end, int align) {
  uintptr_t a = (reinterpret_cast<uintptr_t>(*address) + uintptr_t(align - 1)) & ~uintptr_t(align - 1);
  *address = reinterpret_cast<char*>(a);
  int stride = (elsize + 16 + align - 1) & ~(align - 1);
  uintptr_t e = reinterpret_cast<uintptr_t>(end);
  int64_t need = int64_t(count) * stride + int64_t(sizeof(ZELST));
  if (a >= e || need >= int64_t(e - a)) return nullptr;
  memset(*address, 0, size_t(need));
  ZELST* pool = Build(*address, count, elsize, stride);
  *address += need;
  return pool;
}

void ZeLstDestroy(ZELST* pool) { ZeMemFreeFn(pool, __FILE__, __LINE__); }

void* ZeLstAllocHead(ZELST* pool) {
  ZELSTNODE* n = TakeFree(pool);
  if (!n) return nullptr;
  n->prev = nullptr;
  n->next = pool->usedhead;
  if (pool->usedhead) pool->usedhead->prev = n;
  else pool->usedtail = n;
  pool->usedhead = n;
  return ElementOf(n);
}

void* ZeLstAlloc(ZELST* pool) { return ZeLstAllocHead(pool); }

void* ZeLstAllocTail(ZELST* pool) {
  ZELSTNODE* n = TakeFree(pool);
  if (!n) return nullptr;
  n->next = nullptr;
  n->prev = pool->usedtail;
  if (pool->usedtail) pool->usedtail->next = n;
  else pool->usedhead = n;
  pool->usedtail = n;
  return ElementOf(n);
}

void* ZeLstAllocBefore(void* element) {
  ZELSTNODE* at = NodeOf(element);
  ZELST* pool = at->pool;
  ZELSTNODE* n = TakeFree(pool);
  if (!n) return nullptr;
  n->next = at;
  n->prev = at->prev;
  if (at->prev) at->prev->next = n;
  else pool->usedhead = n;
  at->prev = n;
  return ElementOf(n);
}

void* ZeLstAllocAfter(void* element) {
  ZELSTNODE* at = NodeOf(element);
  ZELST* pool = at->pool;
  ZELSTNODE* n = TakeFree(pool);
  if (!n) return nullptr;
  n->prev = at;
  n->next = at->next;
  if (at->next) at->next->prev = n;
  else pool->usedtail = n;
  at->next = n;
  return ElementOf(n);
}

int ZeLstFree(void* element) {
  ZELSTNODE* n = NodeOf(element);
  ZELST* pool = n->pool;
  // Freeing an element that is not in use would link it into both lists.
  if (!(n->info & ZELST_INUSE)) {
    ZeDebugMsg("ZeLstFree : element %d is not in use", int(n->info & 0xffff));
    return pool->used;
  }
  if (n->next) n->next->prev = n->prev;
  else pool->usedtail = n->prev;
  if (n->prev) n->prev->next = n->next;
  else pool->usedhead = n->next;
  n->next = nullptr;
  n->prev = pool->freetail;
  if (pool->freetail) pool->freetail->next = n;
  else pool->freehead = n;
  pool->freetail = n;
  n->info &= ~ZELST_INUSE;
  return --pool->used;
}

void* ZeLstGetNext(ZELST* pool, void* element) {
  return ElementOf(element ? NodeOf(element)->next.get() : pool->usedhead.get());
}

void* ZeLstGetPrev(ZELST* pool, void* element) {
  return ElementOf(element ? NodeOf(element)->prev.get() : pool->usedtail.get());
}

// Nodes lie at the stride from the first, in creation order, so the index
// selects the node directly.
void* ZeLstGetByIdx(ZELST* pool, int index) {
  if (index < 0 || index >= pool->capacity) return nullptr;
  auto* n = reinterpret_cast<ZELSTNODE*>(reinterpret_cast<char*>(FirstNode(pool)) + index * pool->stride);
  return (n->info & ZELST_INUSE) ? ElementOf(n) : nullptr;
}

// ---- strings -------------------------------------------------------------

namespace {
int Fold(char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }  // ASCII only; signed bytes

char* Find(const char* hay, const char* needle, bool fold) {
  if (!*hay) return nullptr;
  for (const char* h = hay; *h; h++) {
    const char* a = h;
    const char* b = needle;
    while (*b && (fold ? Fold(*a) == Fold(*b) : *a == *b)) a++, b++;
    if (!*b) return const_cast<char*>(h);
  }
  return nullptr;
}
}  // namespace

int ZeStrCpy(char* dst, const char* src) {
  int n = 0;
  while ((dst[n] = src[n]) != 0) n++;
  return n + 1;
}

void ZeStrCat(char* dst, const char* src) { ZeStrCpy(dst + ZeStrLen(dst), src); }

int ZeStrLen(const char* s) { return int(strlen(s)); }

char* ZeStrStr(const char* haystack, const char* needle) { return Find(haystack, needle, false); }
char* ZeStrIStr(const char* haystack, const char* needle) { return Find(haystack, needle, true); }

int ZeStrICmp(const char* a, const char* b) {
  if (!a) return -1;
  if (!b) return 1;
  for (;; a++, b++) {
    int ca = Fold(*a), cb = Fold(*b);
    if (ca > cb) return 1;
    if (ca < cb) return -1;
    if (!ca) return 0;
  }
}

// ---- quadword memory -----------------------------------------------------

void ZeMemCopy128(void* dst, const void* src, int count) {
  ZEASSERT(((reinterpret_cast<uintptr_t>(dst) | reinterpret_cast<uintptr_t>(src)) & 15) == 0 && count >= 0);
  memcpy(dst, src, size_t(count) * 16);
}

void ZeMemSet128(void* dst, int value, int count) {
  ZEASSERT((reinterpret_cast<uintptr_t>(dst) & 15) == 0 && count >= 0);
  memset(dst, value & 0xff, size_t(count) * 16);
}
