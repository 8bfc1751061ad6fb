// EE memory: the arena at its fixed address, the allocator on it, the
// 4-byte address check and the float-to-int helper.
#include "platform.h"

#include <cmath>
#include <cstring>

// EE memory and the scratchpad are uninitialised sections the linker places
// at their console addresses, so the host's own heap (which begins after the
// program's highest section) can never land in them.
#if defined(__clang__)
// clang (the fuzz build) names the uninitialised sections with a pragma.
#pragma clang section bss = ".eearena"
alignas(4096) unsigned char g_eeArena[EE_ARENA_SIZE];
#pragma clang section bss = ".eespr"
alignas(4096) unsigned char g_eeScratchpad[EE_SCRATCHPAD_SIZE];
#pragma clang section bss = ""
#else
alignas(4096) __attribute__((section(".eearena,\"aw\",@nobits#"))) unsigned char g_eeArena[EE_ARENA_SIZE];
alignas(4096) __attribute__((section(".eespr,\"aw\",@nobits#"))) unsigned char g_eeScratchpad[EE_SCRATCHPAD_SIZE];
#endif

namespace {

bool g_arenaReady = false;

// Allocator: boundary-tagged blocks with segregated free lists. Every block
// starts with a 16-byte header, so payloads keep 16-byte alignment.
struct BlockHdr {
  uint32_t size;      // whole block, header included, multiple of 16
  uint32_t prevSize;  // size of the block just below (0 for the first)
  uint32_t magic;
  uint32_t pad;
};
struct FreeLinks {
  uint32_t next, prev;  // addresses of free blocks in the same bin (0: none)
};
static_assert(sizeof(BlockHdr) == 16);

constexpr uint32_t MAGIC_USED = 0xEEA110C8;
constexpr uint32_t MAGIC_FREE = 0xEEF4EE00;
constexpr uint32_t MIN_BLOCK = 32;
constexpr int NUM_BINS = 32;

uint32_t g_bins[NUM_BINS];
size_t g_freeBytes;
size_t g_stackBytes;  // host thread stacks in the arena
size_t g_peakBytes;   // the most the system held at once, stacks left out

void NotePeak() {
  const size_t held = EE_ARENA_SIZE - g_freeBytes - g_stackBytes;
  if (held > g_peakBytes) g_peakBytes = held;
}

BlockHdr* Hdr(uint32_t a) { return static_cast<BlockHdr*>(EeAddrToPtr(a)); }
FreeLinks* Links(uint32_t a) { return static_cast<FreeLinks*>(EeAddrToPtr(a + 16)); }
constexpr uint32_t kEnd = EE_ARENA_BASE + EE_ARENA_SIZE;

int BinOf(uint32_t size) {
  int b = 31 - __builtin_clz(size >> 4);
  return b < NUM_BINS ? b : NUM_BINS - 1;
}

void BinInsert(uint32_t a) {
  int b = BinOf(Hdr(a)->size);
  Links(a)->prev = 0;
  Links(a)->next = g_bins[b];
  if (g_bins[b]) Links(g_bins[b])->prev = a;
  g_bins[b] = a;
  Hdr(a)->magic = MAGIC_FREE;
  g_freeBytes += Hdr(a)->size;
}

void BinRemove(uint32_t a) {
  int b = BinOf(Hdr(a)->size);
  FreeLinks* l = Links(a);
  if (l->prev) Links(l->prev)->next = l->next; else g_bins[b] = l->next;
  if (l->next) Links(l->next)->prev = l->prev;
  g_freeBytes -= Hdr(a)->size;
}

void SetPrevSizeOfNext(uint32_t a) {
  uint32_t n = a + Hdr(a)->size;
  if (n < kEnd) Hdr(n)->prevSize = Hdr(a)->size;
}

}  // namespace

void EeArenaInit() {
  if (g_arenaReady) return;
  void* want = EeAddrToPtr(EE_ARENA_BASE);
  if (static_cast<void*>(g_eeArena) != want || static_cast<void*>(g_eeScratchpad) != EeAddrToPtr(EE_SCRATCHPAD)) {
    PlatFatal("EE memory: arena at %p and scratchpad at %p, not at %08x and %08x; link without PIE "
              "and with the sections placed (see platform/CMakeLists.txt)",
              static_cast<void*>(g_eeArena), static_cast<void*>(g_eeScratchpad), EE_ARENA_BASE, EE_SCRATCHPAD);
  }
  // Verify that both are ours and writable.
  volatile uint32_t* first = static_cast<uint32_t*>(want);
  volatile uint32_t* last = static_cast<uint32_t*>(EeAddrToPtr(kEnd - 4));
  *first = 0x5a5a5a5a;
  *last = 0xa5a5a5a5;
  if (*first != 0x5a5a5a5a || *last != 0xa5a5a5a5) PlatFatal("EE memory: arena check failed");

  memset(g_bins, 0, sizeof g_bins);
  g_freeBytes = 0;
  g_stackBytes = 0;
  g_peakBytes = 0;
  BlockHdr* h = Hdr(EE_ARENA_BASE);
  h->size = EE_ARENA_SIZE;
  h->prevSize = 0;
  BinInsert(EE_ARENA_BASE);
  g_arenaReady = true;
}

bool EeArenaContains(const void* p) {
  uintptr_t a = reinterpret_cast<uintptr_t>(p);
  return a >= EE_ARENA_BASE && a < kEnd;
}

namespace {

// Takes a block of size bytes; high: from the top of the highest free
// block that fits (thread stacks, kept away from the system's own blocks),
// else first fit from the bottom.
void* Alloc(size_t size, bool high) {
  if (!g_arenaReady) EeArenaInit();
  if (size > EE_ARENA_SIZE) return nullptr;
  uint32_t need = static_cast<uint32_t>((size + 16 + 15) & ~size_t(15));
  if (need < MIN_BLOCK) need = MIN_BLOCK;
  uint32_t found = 0;
  if (high) {
    for (int b = BinOf(need); b < NUM_BINS; b++)
      for (uint32_t a = g_bins[b]; a; a = Links(a)->next)
        if (Hdr(a)->size >= need && a > found) found = a;
  } else {
    // First fit in the request's bin, then the first block of any higher bin.
    for (uint32_t a = g_bins[BinOf(need)]; a; a = Links(a)->next) {
      if (Hdr(a)->size >= need) { found = a; break; }
    }
    for (int b = BinOf(need) + 1; !found && b < NUM_BINS; b++) found = g_bins[b];
  }
  if (!found) return nullptr;
  BinRemove(found);
  BlockHdr* h = Hdr(found);
  if (h->size - need >= MIN_BLOCK) {
    // Split: the part handed out is the bottom, or the top when high.
    const uint32_t lowSize = high ? h->size - need : need;
    const uint32_t upper = found + lowSize;
    Hdr(upper)->size = h->size - lowSize;
    Hdr(upper)->prevSize = lowSize;
    h->size = lowSize;
    SetPrevSizeOfNext(upper);
    const uint32_t rest = high ? found : upper;
    found = high ? upper : found;
    BinInsert(rest);
  }
  Hdr(found)->magic = MAGIC_USED;
  return EeAddrToPtr(found + 16);
}

uint32_t BlockSize(void* p) { return Hdr(EeAddrOf(p) - 16)->size; }

}  // namespace

void* EeMalloc(size_t size) {
  void* p = Alloc(size, false);
  if (p) NotePeak();
  return p;
}

void* EeMallocStack(size_t size) {
  void* p = Alloc(size, true);
  if (p) g_stackBytes += BlockSize(p);
  return p;
}

void EeFreeStack(void* p) {
  if (!p) return;
  if (!EeArenaContains(p) || (reinterpret_cast<uintptr_t>(p) & 15)) PlatFatal("EeFree: %p is not EE memory", p);
  g_stackBytes -= BlockSize(p);
  EeFree(p);
}

void EeFree(void* p) {
  if (!p) return;
  if (!EeArenaContains(p) || (reinterpret_cast<uintptr_t>(p) & 15)) PlatFatal("EeFree: %p is not EE memory", p);
  uint32_t a = EeAddrOf(p) - 16;
  if (Hdr(a)->magic != MAGIC_USED) PlatFatal("EeFree: %p is not a live block", p);
  // Merge with free neighbours.
  uint32_t next = a + Hdr(a)->size;
  if (next < kEnd && Hdr(next)->magic == MAGIC_FREE) {
    BinRemove(next);
    Hdr(a)->size += Hdr(next)->size;
    Hdr(next)->magic = 0;
  }
  if (Hdr(a)->prevSize) {
    uint32_t prev = a - Hdr(a)->prevSize;
    if (Hdr(prev)->magic == MAGIC_FREE) {
      BinRemove(prev);
      Hdr(prev)->size += Hdr(a)->size;
      Hdr(a)->magic = 0;
      a = prev;
    }
  }
  SetPrevSizeOfNext(a);
  BinInsert(a);
}

size_t EeArenaBytesFree() { return g_freeBytes; }

size_t EeArenaPeakBytes() { return g_peakBytes; }

uint32_t EeAddrOf(const void* p) {
  uintptr_t a = reinterpret_cast<uintptr_t>(p);
  if (a > 0xffffffffu) PlatFatal("address %p does not fit in 32 bits (not EE memory)", p);
  return static_cast<uint32_t>(a);
}

int32_t EeFtoi(float f) {
  if (std::isnan(f)) return std::signbit(f) ? INT32_MIN : INT32_MAX;
  if (f >= 2147483648.0f) return INT32_MAX;
  if (f < -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(f);
}
