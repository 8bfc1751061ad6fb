#include "platform_test.h"

#include <cmath>
#include <limits>
#include <vector>

TEST(EeMemory, ArenaHoldsStacksAndAllocations) {
  int local = 0;
  EXPECT_TRUE(EeArenaContains(&local)) << "engine threads run on EE memory stacks";
  void* p = EeMalloc(100);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(EeArenaContains(p));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
  EeFree(p);
}

TEST(EeMemory, FreedNeighboursMergeSoTheSpaceIsWholeAgain) {
  size_t before = EeArenaBytesFree();
  std::vector<void*> blocks;
  for (int i = 0; i < 64; i++) blocks.push_back(EeMalloc(1000 + i * 37));
  for (size_t i = 0; i < blocks.size(); i += 2) EeFree(blocks[i]);
  for (size_t i = 1; i < blocks.size(); i += 2) EeFree(blocks[i]);
  EXPECT_EQ(EeArenaBytesFree(), before);
  // A block as large as everything freed fits again.
  void* big = EeMalloc(before / 2);
  EXPECT_NE(big, nullptr);
  EeFree(big);
  EXPECT_EQ(EeMalloc(size_t(EE_ARENA_SIZE) + 1), nullptr);
}

// Thread stacks come from the arena's top, so the system's own blocks start
// at its bottom as on the console, and the peak leaves them out.
TEST(EeMemory, StacksLieAtTheTopAndStayOutOfThePeak) {
  int local = 0;
  EXPECT_GT(reinterpret_cast<uintptr_t>(&local), uintptr_t(EE_ARENA_BASE) + EE_ARENA_SIZE / 2);
  const size_t free0 = EeArenaBytesFree();
  const size_t peak0 = EeArenaPeakBytes();
  void* stack = EeMallocStack(48 << 20);
  ASSERT_NE(stack, nullptr);
  void* block = EeMalloc(1000);
  ASSERT_NE(block, nullptr);
  EXPECT_GT(uintptr_t(stack), uintptr_t(block));
  EXPECT_LT(EeArenaPeakBytes(), peak0 + 2048) << "a stack is not held memory";
  EeFree(block);
  EeFreeStack(stack);
  EXPECT_EQ(EeArenaBytesFree(), free0);
  void* big = EeMalloc(48 << 20);
  ASSERT_NE(big, nullptr);
  EXPECT_GE(EeArenaPeakBytes(), size_t(48 << 20));
  EeFree(big);
  EXPECT_EQ(EeArenaBytesFree(), free0);
}

TEST(EeMemory, FreeingForeignOrDeadMemoryIsFatal) {
  void* p = EeMalloc(64);
  EeFree(p);
  EXPECT_HALT(EeFree(p), "not a live block");
  static char outside[32];
  EXPECT_HALT(EeFree(outside), "not EE memory");
}

TEST(EePtr, StoresFourBytesAndRefusesHighAddresses) {
  struct Rec {
    EePtr<int> p;
    int v;
  };
  static_assert(sizeof(Rec) == 8);
  int* x = static_cast<int*>(EeMalloc(sizeof(int)));
  Rec r{};
  r.p = x;
  *r.p = 7;
  EXPECT_EQ(*x, 7);
  EXPECT_EQ(static_cast<int*>(r.p), x);
  r.p = nullptr;
  EXPECT_FALSE(r.p);
  EeFree(x);
  int* high = reinterpret_cast<int*>(uintptr_t(0x7f0000001000ull));
  EXPECT_HALT(EePtr<int>{high}, "does not fit in 32 bits");
}

TEST(EeFtoi, TruncatesAndSaturates) {
  struct Case { float in; int32_t out; } cases[] = {
      {1.9f, 1}, {-1.9f, -1}, {0.0f, 0}, {-0.0f, 0}, {2147483520.0f, 2147483520},
      {2147483648.0f, INT32_MAX}, {1e20f, INT32_MAX}, {-2147483648.0f, INT32_MIN}, {-1e20f, INT32_MIN},
      {std::numeric_limits<float>::infinity(), INT32_MAX}, {-std::numeric_limits<float>::infinity(), INT32_MIN},
      {std::nanf(""), INT32_MAX}, {-std::nanf(""), INT32_MIN},
  };
  for (const Case& c : cases) EXPECT_EQ(EeFtoi(c.in), c.out) << c.in;
}

TEST(EeAlias, UncachedAddressesNameTheSameByte) {
  EXPECT_EQ(EeStripAlias(0x28001000u), 0x08001000u);
  EXPECT_EQ(EeStripAlias(0x08001000u), 0x08001000u);
  EXPECT_EQ(EeStripAlias(EE_SCRATCHPAD + 16), EE_SCRATCHPAD + 16);
}
