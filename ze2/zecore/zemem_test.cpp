#include "zecore.h"
#include "platform_test.h"

#include <cstring>

namespace {
bool IsZero(const void* p, int n) {
  for (int i = 0; i < n; i++)
    if (static_cast<const uint8_t*>(p)[i]) return false;
  return true;
}
}  // namespace

TEST(ZeMem, ZeroSizeIsFatalAndOneByteIsAlignedZeroedAndGuarded) {
  EXPECT_HALT(ZeMemAllocFn(0, "f.c", 3), "Alloc failed 0 requested at : f.c (3)");
  EXPECT_HALT(ZeMemAllocFn(-5, "f.c", 4), "Alloc failed -5 requested at : f.c (4)");
  errmsg_trap = 0;
  char* p = static_cast<char*>(ZeMemAllocFn(1, "dir\\g.c", 5));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(memcmp(p + 1, "MEMBLKTAIL01dir\\g.c", 20), 0);
  auto* h = reinterpret_cast<MEMBLKHEADER*>(p - 32);
  EXPECT_EQ(h->size, 1);
  EXPECT_EQ(h->line, 5);
  EXPECT_EQ(memcmp(h->guard, "MEMBLKHEADER", 12), 0);
  EXPECT_EQ(ZeMemValidateFn(), p + 1);
  ZeMemFreeFn(p, __FILE__, __LINE__);
}

TEST(ZeMem, LiveBlocksAreListedNewestFirstAndFreedFromAnywhere) {
  ZeMemFlushFn();
  void* a = ZeMemAllocFn(100, "a.c", 1);
  void* b = ZeMemAllocFn(200, "b.c", 2);
  void* c = ZeMemAllocFn(300, "c.c", 3);
  ZeMemFreeFn(b, __FILE__, __LINE__);
  ConsoleCaptureScope capture;
  ZeMemDumpFn(150);
  std::string out = capture.text();
  EXPECT_NE(out.find("Mem block not released c.c(3)"), std::string::npos);
  EXPECT_EQ(out.find("a.c"), std::string::npos) << "below the minimum";
  EXPECT_EQ(out.find("b.c"), std::string::npos);
  EXPECT_NE(out.find("Total allocated memory 400"), std::string::npos);
  ZeMemFreeFn(a, __FILE__, __LINE__);
  ZeMemFreeFn(c, __FILE__, __LINE__);
  capture.clear();
  ZeMemDumpFn(0);
  EXPECT_NE(capture.text().find("Total allocated memory 0"), std::string::npos);
}

TEST(ZeMem, DamageIsReportedAndTheBlockStillFreed) {
  ZeMemFlushFn();
  char* p = static_cast<char*>(ZeMemAllocFn(20, "d.c", 1));
  p[20] = 'X';  // over the tail text
  ConsoleCaptureScope capture;
  ZeMemValidateFn();
  EXPECT_NE(capture.text().find("Mem Block tail overwritten (@"), std::string::npos);
  ZeMemFreeFn(p, "freer.c", 77);
  EXPECT_NE(capture.text().find("Mem Block tail overwritten freer.c (77)"), std::string::npos);
  EXPECT_EQ(ZeMemValidateFn(), nullptr) << "freed all the same";
}

TEST(ZeMem, ASecondFreeIsRefusedAndTheOnlyLiveBlockIsNotMistakenForFree) {
  ZeMemFlushFn();
  void* only = ZeMemAllocFn(64, "o.c", 1);  // both links null, yet live
  ConsoleCaptureScope capture;
  ZeMemFreeFn(only, "x.c", 10);
  EXPECT_EQ(capture.text().find("already free"), std::string::npos);
  EXPECT_EQ(ZeMemValidateFn(), nullptr);
  ZeMemFreeFn(only, "x.c", 11);
  EXPECT_NE(capture.text().find("Attempted to free already free memory x.c (11)"), std::string::npos);
  void* keep = ZeMemAllocFn(64, "k.c", 1);
  void* gone = ZeMemAllocFn(96, "g.c", 1);
  void* newest = ZeMemAllocFn(128, "n.c", 1);
  ZeMemFreeFn(gone, "x.c", 12);
  ZeMemFreeFn(gone, "x.c", 13);
  EXPECT_NE(capture.text().find("Attempted to free already free memory x.c (13)"), std::string::npos);
  ZeMemFreeFn(newest, "x.c", 14);
  EXPECT_EQ(ZeMemValidateFn(), static_cast<char*>(keep) + 64) << "the live list is intact";
  ZeMemFreeFn(nullptr, "n.c", 15);
  EXPECT_NE(capture.text().find("Invalid Free attempted at : n.c (15)"), std::string::npos);
  static char foreign[64];
  ZeMemFreeFn(foreign, "n.c", 16);
  EXPECT_NE(capture.text().find("Invalid Free attempted at : n.c (16)"), std::string::npos);
  ZeMemFreeFn(keep, "k.c", 2);
  EXPECT_EQ(ZeMemValidateFn(), nullptr);
}

TEST(ZeMem, DiscardableBufferNeverHandsOutItsLast16Bytes) {
  ZEMEMDISCARD* d = ZeMemCreateDiscardable(64);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(ZeMemSetDiscardable(d), nullptr);
  char* first = static_cast<char*>(ZeMemAllocFn(16, "d.c", 1));
  EXPECT_EQ(first, reinterpret_cast<char*>(d + 1));
  EXPECT_NE(ZeMemAllocFn(10, "d.c", 2), nullptr);  // rounded to 16
  EXPECT_NE(ZeMemAllocFn(16, "d.c", 3), nullptr);
  EXPECT_EQ(ZeMemAllocFn(16, "d.c", 4), nullptr);
  EXPECT_HALT(ZeMemAlloc(16), "ZeMemAlloc : Failed to alloc 16 bytes!");
  ZeMemFlushDiscardable(d);
  EXPECT_EQ(ZeMemAllocFn(64, "d.c", 5), nullptr);
  EXPECT_EQ(ZeMemAllocFn(48, "d.c", 6), first);
  EXPECT_EQ(ZeMemSetDiscardable(nullptr), d);
  ZeMemDestroyDiscardable(d);
  errmsg_trap = 0;
}

TEST(ZeMem, CallerRegionBumpsAndFailsCleanlyWhenRoundingPassesTheEnd) {
  static char region[256] __attribute__((aligned(16)));
  char* cur = region + 1;
  char* end = region + 100;
  ZeMemSetExternal(&cur, &end);
  EXPECT_EQ(ZeMemAllocFn(40, "r.c", 1), region + 16);
  EXPECT_EQ(cur, region + 56);
  EXPECT_EQ(ZeMemAllocFn(40, "r.c", 2), nullptr) << "64 + 40 passes the end";
  EXPECT_EQ(cur, region + 64) << "the rounded address is written back";
  EXPECT_HALT(ZeMemFreeFn(region + 16, "r.c", 3), "cannot free while memexternal active");
  // Rounding alone passes the end: an unsigned difference would wrap.
  cur = region + 97;
  EXPECT_EQ(ZeMemAllocFn(1, "r.c", 4), nullptr);
  EXPECT_EQ(ZeMemAlloc(1), nullptr);
  ZeMemSetExternal(nullptr, nullptr);
  void* heap = ZeMemAllocFn(8, "r.c", 5);
  EXPECT_TRUE(EeArenaContains(heap));
  ZeMemFreeFn(heap, "r.c", 6);
  errmsg_trap = 0;
}

TEST(ZeMem, UntaggedAllocationIsZeroedAndRaisesThePeak) {
  void* p = ZeMemAlloc(1000);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(IsZero(p, 1000));
  EXPECT_GE(ZeMemGetPeakAllocAddr(), reinterpret_cast<uintptr_t>(p) + 1000);
  ZeMemFree(p);
}

TEST(ZeMem, DumpStopsOnALinkThroughReleasedPoolMemory) {
  ZeMemFlushFn();
  void* a = ZeMemAllocFn(32, "a.c", 1);
  void* b = ZeMemAllocFn(32, "b.c", 2);
  auto* hb = reinterpret_cast<MEMBLKHEADER*>(static_cast<char*>(b) - 32);
  uint32_t saved = hb->next.addr;
  hb->next.addr = 0xFEFEFEFE;
  EXPECT_HALT(ZeMemDumpFn(0), "Next memlist pointer is duff");
  hb->next.addr = saved;
  auto* ha = reinterpret_cast<MEMBLKHEADER*>(static_cast<char*>(a) - 32);
  ha->next.addr = 0xFEFEFEFE;
  EXPECT_HALT(ZeMemDumpFn(0), "Next but one memlist pointer is duff");
  ha->next.addr = 0;
  ZeMemFlushFn();
  errmsg_trap = 0;
}

// ---- block pools ----

TEST(ZeMemBlk, ElementsComeFilledAndTheLastFreedIsReusedFirst) {
  ZEMEMBLK* pool = ZeMemBlkCreate(24, 4, 15);
  ASSERT_NE(pool, nullptr);
  EXPECT_EQ(pool->elsize, 32);
  uint8_t* e[4];
  for (auto& x : e) {
    x = static_cast<uint8_t*>(ZeMemBlkAlloc(pool));
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(x) % 16, 0u);
    for (int i = 0; i < 32; i++) EXPECT_EQ(x[i], 0xFF);
  }
  EXPECT_EQ(ZeMemBlkAlloc(pool), nullptr);
  ZeMemBlkFree(pool, e[1]);
  ZeMemBlkFree(pool, e[3]);
  EXPECT_EQ(e[1][8], 0xFE);
  EXPECT_EQ(ZeMemBlkCheckFreeList(pool), 2);
  EXPECT_EQ(ZeMemBlkAlloc(pool), e[3]);
  EXPECT_EQ(ZeMemBlkAlloc(pool), e[1]);
  static char other[32];
  EXPECT_HALT(ZeMemBlkFree(pool, other), "assert");
  EXPECT_HALT(ZeMemBlkFree(pool, e[0] + 4), "assert");
  pool->freecount = 3;
  EXPECT_HALT(ZeMemBlkCheckFreeList(pool), "assert");
  pool->freecount = 0;
  ZeMemBlkDestroy(pool);
  errmsg_trap = 0;
}

TEST(ZeMemBlk, CallerMemoryPoolsSizeAsTheyLayOut) {
  EXPECT_EQ(ZeMemBlkSize(2, 5, 0), 5 * 4 + 16);
  EXPECT_EQ(ZeMemBlkSize(20, 3, 63), 3 * 64 + 64);
  static char mem[64] __attribute__((aligned(16)));
  ZEMEMBLK* pool = ZeMemBlkCreateEx(2, 5, 0, mem);
  EXPECT_EQ(static_cast<void*>(pool), static_cast<void*>(mem));
  EXPECT_EQ(pool->flags & 1, 1);
  char* a = static_cast<char*>(ZeMemBlkAlloc(pool));
  char* b = static_cast<char*>(ZeMemBlkAlloc(pool));
  EXPECT_EQ(a, mem + 16);
  EXPECT_EQ(b - a, 4);
  ZeMemBlkDestroy(pool);  // caller memory: nothing happens
  ZEMEMBLK* empty = ZeMemBlkCreateEx(8, 0, 0, mem);
  EXPECT_EQ(ZeMemBlkAlloc(empty), nullptr);
  // Memory not aligned to a large mask would push the elements past the size.
  static char big[512] __attribute__((aligned(64)));
  EXPECT_HALT(ZeMemBlkCreateEx(20, 3, 63, big + 49), "assert");
  EXPECT_NE(ZeMemBlkCreateEx(20, 3, 63, big), nullptr);
  errmsg_trap = 0;
}

// ---- high memory (initialised once for the whole program) ----

TEST(ZeAllocHigh, NextFitFromTheEndOfTheFreeBlockAndCoalescing) {
  static char region[4096 + 16] __attribute__((aligned(16)));
  ZeAllocHighInit(region + 8, 4096);  // start rounded up, size trimmed
  EXPECT_HALT(ZeAllocHighInit(region, 4096), "ZeAllocHighInit : Already initialised");
  EXPECT_HALT(ZeAllocHigh(0), "ZeAllocHigh : request for 0 bytes of memory denied");
  // The region is now region+16 .. region+16+4064 (size 4096-15 = 4081, rounded down).
  char* one = static_cast<char*>(ZeAllocHigh(1));
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one, region + 16 + 4064 - 32 + 16) << "two units from the end";
  char* a = static_cast<char*>(ZeAllocHigh(1000));
  char* b = static_cast<char*>(ZeAllocHigh(1000));
  char* c = static_cast<char*>(ZeAllocHigh(1000));
  EXPECT_EQ(ZeAllocHigh(1000), nullptr);
  ZeFreeHigh(b);
  ZeFreeHigh(a);
  ZeFreeHigh(one);
  ZeFreeHigh(c);
  // Everything joined again: the whole region is one block.
  char* all = static_cast<char*>(ZeAllocHigh(4064 - 16));
  EXPECT_EQ(all, region + 32);
  EXPECT_EQ(ZeAllocHigh(1), nullptr);
  ZeFreeHigh(all);
  ZEMEMBLK* pool = ZeMemBlkCreateHigh(16, 4, 15);
  ASSERT_NE(pool, nullptr);
  EXPECT_NE(ZeMemBlkAlloc(pool), nullptr);
  ZeFreeHigh(pool);
  static char elsewhere[64] __attribute__((aligned(16)));
  EXPECT_HALT(ZeFreeHigh(elsewhere + 16), "assert");
  errmsg_trap = 0;
}
