#include "zecore.h"
#include "platform_test.h"

#include <vector>

namespace {
struct Item {
  ZELISTNODE link;
  int v;
};
std::vector<int> Walk(ZELIST* l) {
  std::vector<int> out;
  for (void* n = ZeListGetNext(l, nullptr); n; n = ZeListGetNext(l, n)) out.push_back(static_cast<Item*>(n)->v);
  return out;
}
std::vector<int> WalkBack(ZELIST* l) {
  std::vector<int> out;
  for (void* n = ZeListGetPrev(l, nullptr); n; n = ZeListGetPrev(l, n)) out.insert(out.begin(), static_cast<Item*>(n)->v);
  return out;
}
}  // namespace

TEST(ZeList, LinkingKeepsBothDirectionsAndTheEnds) {
  static ZELIST l;
  static Item it[5];
  for (int i = 0; i < 5; i++) it[i].v = i;
  ZeListAppend(&l, &it[0]);
  EXPECT_EQ(ZeListGetHead(&l), &it[0]);
  EXPECT_EQ(ZeListGetTail(&l), &it[0]);
  ZeListRemove(&l, &it[0]);
  EXPECT_EQ(ZeListGetHead(&l), nullptr);
  EXPECT_EQ(ZeListGetTail(&l), nullptr);

  ZeListAppend(&l, &it[1]);
  ZeListInsert(&l, &it[0]);
  ZeListInsertAfter(&l, &it[1], &it[3]);   // after the tail: new tail
  ZeListInsertBefore(&l, &it[3], &it[2]);
  ZeListInsertBefore(&l, &it[0], &it[4]);  // before the head: new head
  EXPECT_EQ(Walk(&l), (std::vector<int>{4, 0, 1, 2, 3}));
  EXPECT_EQ(WalkBack(&l), Walk(&l));
  EXPECT_EQ(ZeListCheck(&l), 5);
  ZeListRemove(&l, &it[4]);
  ZeListRemove(&l, &it[3]);
  ZeListRemove(&l, &it[1]);
  EXPECT_EQ(Walk(&l), (std::vector<int>{0, 2}));
  EXPECT_EQ(ZeListCheck(&l), 2);
  it[2].link.prev = &it[4].link;  // broken back link
  EXPECT_HALT(ZeListCheck(&l), "assert");
  errmsg_trap = 0;
}

TEST(ZeLst, PoolOfThreeReusesFreedElementsLast) {
  ZELST* pool = ZeLstCreate(3, 20);
  ASSERT_NE(pool, nullptr);
  EXPECT_EQ(pool->stride, 36);
  void* a = ZeLstAlloc(pool);
  void* b = ZeLstAllocTail(pool);
  void* c = ZeLstAllocTail(pool);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(ZeLstAlloc(pool), nullptr);
  EXPECT_EQ(ZeLstFree(b), 2);
  EXPECT_EQ(ZeLstAllocTail(pool), b) << "the only free element";
  EXPECT_EQ(ZeLstFree(b), 2);
  EXPECT_EQ(ZeLstFree(a), 1);
  EXPECT_EQ(ZeLstAlloc(pool), b) << "freed first, reused first";
  EXPECT_EQ(ZeLstGetByIdx(pool, 0), nullptr) << "a is free";
  EXPECT_EQ(ZeLstGetByIdx(pool, 1), b);
  EXPECT_EQ(ZeLstGetByIdx(pool, 3), nullptr);
  EXPECT_EQ(ZeLstGetByIdx(pool, -1), nullptr);
  ConsoleCaptureScope capture;
  EXPECT_EQ(ZeLstFree(a), 2) << "a second free changes nothing";
  EXPECT_NE(capture.text().find("not in use"), std::string::npos);
  ZeLstDestroy(pool);
}

TEST(ZeLst, AllocBeforeAndAfterLinkBothWays) {
  ZELST* pool = ZeLstCreate(4, 8);
  int* a = static_cast<int*>(ZeLstAllocTail(pool));
  int* d = static_cast<int*>(ZeLstAllocAfter(a));   // a was the tail: d is the new tail
  int* b = static_cast<int*>(ZeLstAllocBefore(a));  // a was the head: b is the new head
  int* c = static_cast<int*>(ZeLstAllocAfter(a));
  *a = 1, *b = 0, *c = 2, *d = 3;
  std::vector<int> fwd, back;
  for (void* e = ZeLstGetNext(pool, nullptr); e; e = ZeLstGetNext(pool, e)) fwd.push_back(*static_cast<int*>(e));
  for (void* e = ZeLstGetPrev(pool, nullptr); e; e = ZeLstGetPrev(pool, e)) back.insert(back.begin(), *static_cast<int*>(e));
  EXPECT_EQ(fwd, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(back, fwd);
  EXPECT_EQ(ZeLstAllocAfter(a), nullptr);
  ZeLstDestroy(pool);
}

TEST(ZeLst, BufferPoolsAlignAndRefuseWhatDoesNotFit) {
  static char buf[400] __attribute__((aligned(64)));
  char* at = buf + 3;
  ZELST* pool = ZeLstCreateBuff(3, 20, &at, buf + 400, 64);
  ASSERT_EQ(static_cast<void*>(pool), buf + 64);
  EXPECT_EQ(pool->stride, 64);
  EXPECT_EQ(at, buf + 64 + 3 * 64 + 32);
  char* at2 = buf + 1;
  EXPECT_EQ(ZeLstCreateBuff(6, 20, &at2, buf + 400, 64), nullptr);
  EXPECT_EQ(at2, buf + 64) << "the rounded address stays written";
  char* at3 = buf + 390;
  EXPECT_EQ(ZeLstCreateBuff(1, 4, &at3, buf + 400, 64), nullptr) << "rounding passes the end";
}

TEST(ZeStr, SearchAndCompareFoldAsciiOnly) {
  const char* hello = "Hello World";
  EXPECT_EQ(ZeStrIStr(hello, "WORLD"), hello + 6);
  EXPECT_EQ(ZeStrStr(hello, "WORLD"), nullptr);
  EXPECT_EQ(ZeStrStr(hello, "o"), hello + 4);
  EXPECT_EQ(ZeStrStr(hello, ""), hello);
  EXPECT_EQ(ZeStrStr("", ""), nullptr);
  EXPECT_EQ(ZeStrIStr("", "a"), nullptr);
  struct Case { const char* a; const char* b; int r; } cases[] = {
      {"abc", "ABC", 0}, {"abc", "abd", -1}, {"abd", "abc", 1}, {"ab", "abc", -1},
      {nullptr, nullptr, -1}, {"a", nullptr, 1}, {nullptr, "a", -1}, {"\xe9", "a", -1}, {"[", "a", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(ZeStrICmp(c.a, c.b), c.r) << (c.a ? c.a : "null") << " / " << (c.b ? c.b : "null");
  char buf[32];
  EXPECT_EQ(ZeStrCpy(buf, "abc"), 4);
  ZeStrCat(buf, "de");
  EXPECT_STREQ(buf, "abcde");
  EXPECT_EQ(ZeStrLen(buf), 5);
}

TEST(ZeMem128, CopiesAndFillsExactlyTheQuadwordsAsked) {
  alignas(16) static uint8_t src[16 * 10], dst[16 * 10];
  for (int n : {0, 7, 8, 9}) {
    for (int i = 0; i < 160; i++) src[i] = uint8_t(i + 1), dst[i] = 0xAA;
    ZeMemCopy128(dst, src, n);
    for (int i = 0; i < 160; i++) ASSERT_EQ(dst[i], i < n * 16 ? src[i] : 0xAA) << n << " " << i;
    ZeMemSet128(dst, 0x1234, n);
    for (int i = 0; i < 160; i++) ASSERT_EQ(dst[i], i < n * 16 ? 0x34 : i < 16 * n ? 0 : dst[i]);
  }
  EXPECT_HALT(ZeMemCopy128(dst + 4, src, 1), "assert");
  EXPECT_HALT(ZeMemSet128(dst + 8, 0, 1), "assert");
  errmsg_trap = 0;
}
