// The tagged heap: every block carries a guard header, a tail text and the
// caller's file and line, and sits on one list of live blocks. Caller
// regions and discardable buffers divert allocations into bump areas.
#include "zecore.h"

#include <cstring>

uintptr_t highallocaddr = 0;
int zemem_debugstop = 0;

namespace {

MEMBLKHEADER* g_head = nullptr;  // newest live block
int g_total = 0;                 // data bytes taken from the heap
int g_allocno = 0;
char** g_extCurrent = nullptr;   // caller region: the caller's address variable
char* g_extEnd = nullptr;
ZEMEMDISCARD* g_discard = nullptr;

const char HEADER_TEXT[] = "MEMBLKHEADER";
const char TAIL_TEXT[] = "MEMBLKTAIL01";
constexpr int HEADER_SIZE = int(sizeof(MEMBLKHEADER));
constexpr uintptr_t CONSOLE_MEMORY = 0x2000000;  // 32 MB

char* Data(MEMBLKHEADER* h) { return reinterpret_cast<char*>(h) + HEADER_SIZE; }
char* Tail(MEMBLKHEADER* h) { return Data(h) + h->size; }

// Allocation from the caller region: null when it is full. The rounded
// address is written back even then.
void* FromRegion(int size) {
  uintptr_t cur = (reinterpret_cast<uintptr_t>(*g_extCurrent) + 15) & ~uintptr_t(15);
  *g_extCurrent = reinterpret_cast<char*>(cur);
  uintptr_t end = reinterpret_cast<uintptr_t>(g_extEnd);
  // Rounding may pass the end: then nothing is left (an unsigned difference would wrap).
  if (cur > end || end - cur < uintptr_t(size)) return nullptr;
  *g_extCurrent += size;
  return reinterpret_cast<void*>(cur);
}

// Allocation from the discardable buffer; the last 16 bytes are never handed out.
void* FromDiscard(int size, int* rounded) {
  *rounded = (size + 15) & ~15;
  if (*rounded >= g_discard->remaining) return nullptr;
  char* p = g_discard->current;
  g_discard->current = p + *rounded;
  g_discard->remaining -= *rounded;
  return p;
}

void NotePeak(void* data, int size) {
  uintptr_t end = reinterpret_cast<uintptr_t>(data) + uintptr_t(size);
  if (intptr_t(end) > intptr_t(highallocaddr)) highallocaddr = end;
  // The console had 32 MB: warn when the heap reaches past that much arena.
  if (end - EE_ARENA_BASE > CONSOLE_MEMORY) ZeDebugMsg("Warning - alloc > 32MB %d @ %d", size, int(EeAddrOf(data)));
}

bool IsLive(MEMBLKHEADER* h) {
  MEMBLKHEADER* prev = h->prev;
  if (!prev) return g_head == h;
  return EeArenaContains(prev) && prev->next.get() == h;
}

}  // namespace

void* ZeMemAllocFn(int size, const char* file, int line) {
  if (size <= 0) ZeErrorProlog(file, line)("Alloc failed %d requested at : %s (%d)", size, file, line);
  if (g_extCurrent) return FromRegion(size);
  if (g_discard) {
    int rounded;
    return FromDiscard(size, &rounded);
  }
  int pathLen = int(strlen(file));
  size_t whole = size_t(size) + size_t(pathLen) + HEADER_SIZE + MEMBLKTAIL_LEN + 1;
  auto* h = static_cast<MEMBLKHEADER*>(EeMalloc(whole));
  if (!h) {
    ZeDebugMsgProlog(file, line)("Alloc failed %d requested at : %s (%d)", size, file, line);
    ZeErrorProlog(file, line)("Alloc failed %d requested at : %s (%d)", size, file, line);
  }
  memset(h, 0, whole);
  g_total += size;
  h->size = size;
  h->line = line;
  memcpy(h->guard, HEADER_TEXT, sizeof h->guard);
  memcpy(Tail(h), TAIL_TEXT, MEMBLKTAIL_LEN);
  memcpy(Tail(h) + MEMBLKTAIL_LEN, file, size_t(pathLen) + 1);
  if (zemem_debugstop && zemem_debugstop == g_allocno) {
    // A stop chosen from outside (a debugger) at this allocation.
    ZeWarningProlog(file, line)("Alloc stop at allocation %d", g_allocno);
  }
  h->allocno = g_allocno++;
  h->next = g_head;
  h->prev = nullptr;
  if (g_head) g_head->prev = h;
  g_head = h;
  char* data = Data(h);
  if (reinterpret_cast<uintptr_t>(data) & 15)
    ZeDebugMsg("Warning misaligned alloc ***************************************************");
  NotePeak(data, size);
  return data;
}

void ZeMemFreeFn(void* p, const char* file, int line) {
  if (g_extCurrent) ZeErrorProlog(file, line)("cannot free while memexternal active");
  // Anything that cannot be a block of this heap is refused before its header is read.
  if (!p || !EeArenaContains(p) || (reinterpret_cast<uintptr_t>(p) & 15)) {
    ZeDebugMsgProlog(file, line)("Invalid Free attempted at : %s (%d)", file, line);
    return;
  }
  auto* h = reinterpret_cast<MEMBLKHEADER*>(static_cast<char*>(p) - HEADER_SIZE);
  if (h->size >= 0 && EeArenaContains(Tail(h)) && memcmp(Tail(h), TAIL_TEXT, MEMBLKTAIL_LEN) != 0)
    ZeDebugMsgProlog(file, line)("Mem Block tail overwritten %s (%d)", file, line);
  if (memcmp(h->guard, HEADER_TEXT, sizeof h->guard) != 0)
    ZeDebugMsgProlog(file, line)("Mem Block header overwritten %s (%d)", file, line);
  // A block that is not on the live list was freed already: freeing it
  // again would corrupt the heap, so it is only reported.
  if (!IsLive(h)) {
    ZeDebugMsgProlog(file, line)("Attempted to free already free memory %s (%d)", file, line);
    return;
  }
  if (h->next) h->next->prev = h->prev;
  if (h->prev) h->prev->next = h->next;
  else g_head = h->next;
  g_total -= h->size;
  h->next = nullptr;
  h->prev = nullptr;
  EeFree(h);
}

void* ZeMemAlloc(int size) {
  if (g_extCurrent) return FromRegion(size);
  if (g_discard) {
    int rounded;
    void* p = FromDiscard(size, &rounded);
    if (!p) ZeError("ZeMemAlloc : Failed to alloc %d bytes!", rounded);
    return p;
  }
  g_total += size;
  void* p = EeMalloc(size_t(size > 0 ? size : 0));
  if (!p) ZeError("ZeMemAlloc : Failed to alloc %d bytes!", size);
  memset(p, 0, size_t(size > 0 ? size : 0));
  NotePeak(p, size);
  return p;
}

void ZeMemFree(void* p) { EeFree(p); }

void* ZeMemValidateFn() {
  if (!g_head) return nullptr;
  char* tail = Tail(g_head);
  if (memcmp(tail, TAIL_TEXT, MEMBLKTAIL_LEN) != 0)
    ZeDebugMsg("Mem Block tail overwritten (@%d) [%s(%d)]", int(EeAddrOf(tail)), tail + MEMBLKTAIL_LEN, g_head->line);
  return tail;
}

void ZeMemDumpFn(int minimum) {
  constexpr uint32_t DUFF = 0xFEFEFEFE;  // the fill of released pool elements
  for (MEMBLKHEADER* h = g_head; h; h = h->next) {
    if (h->size >= minimum)
      ZeDebugMsg("Mem block not released %s(%d)[CNT:%d] ->%d bytes", Tail(h) + MEMBLKTAIL_LEN, h->line,
                 h->allocno, h->size);
    if (h->next.addr == DUFF) ZeError("Next memlist pointer is duff");
    if (h->next && h->next->next.addr == DUFF) ZeError("Next but one memlist pointer is duff");
  }
  ZeDebugMsg("Total allocated memory %d", g_total);
}

void ZeMemFlushFn() {
  while (g_head) {
    MEMBLKHEADER* h = g_head;
    g_head = h->next;
    g_total -= h->size;
    h->next = nullptr;
    h->prev = nullptr;
    EeFree(h);
  }
}

uintptr_t ZeMemGetPeakAllocAddr() { return highallocaddr; }

void ZeMemSetExternal(char** current, char** end) {
  g_extCurrent = current;
  if (current && end) g_extEnd = *end;
}

ZEMEMDISCARD* ZeMemCreateDiscardable(int size) {
  ZEMEMDISCARD* saved = g_discard;
  g_discard = nullptr;
  auto* d = static_cast<ZEMEMDISCARD*>(ZeMemAllocFn(size + int(sizeof(ZEMEMDISCARD)), __FILE__, __LINE__));
  g_discard = saved;
  if (!d) return nullptr;
  d->size = size;
  d->remaining = size;
  d->current = reinterpret_cast<char*>(d + 1);
  return d;
}

ZEMEMDISCARD* ZeMemSetDiscardable(ZEMEMDISCARD* buffer) {
  ZEMEMDISCARD* old = g_discard;
  g_discard = buffer;
  return old;
}

void ZeMemFlushDiscardable(ZEMEMDISCARD* buffer) {
  if (!buffer) return;
  buffer->remaining = buffer->size;
  buffer->current = reinterpret_cast<char*>(buffer + 1);
}

void ZeMemDestroyDiscardable(ZEMEMDISCARD* buffer) { ZeMemFreeFn(buffer, __FILE__, __LINE__); }
