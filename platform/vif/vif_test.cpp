#include "gfx_test.h"
#include "platform_test.h"

#include <bit>
#include <initializer_list>

namespace {

constexpr uint32_t FILL = 0xdeadbeef;

struct Vif1 : testing::Test {
  void SetUp() override {
    VifReset(1);
    GifReset();
    Vu1Reset();
    uint32_t* m = reinterpret_cast<uint32_t*>(Vu1DataMem());
    for (int i = 0; i < VU1_MEM_SIZE / 4; i++) m[i] = FILL;
  }
  static void Feed(std::initializer_list<uint32_t> words) {
    std::vector<uint32_t> w(words);
    VifWrite(1, w.data(), int(w.size()));
  }
  static std::vector<uint32_t> Quad(int qw) {
    const uint32_t* q = Vu1Quad(qw);
    return {q[0], q[1], q[2], q[3]};
  }
};

using Q = std::vector<uint32_t>;

// UNPACK code: vn (0 S .. 3 V4), vl (0 32, 1 16, 2 8, 3 5), elements, address.
constexpr uint32_t Unpack(int vn, int vl, uint32_t num, uint32_t addr, bool usn = false, bool flg = false,
                          bool m = false) {
  return uint32_t(VIF_UNPACK + (m ? 0x10 : 0) + vn * 4 + vl) << 24 | (num & 0xff) << 16 | (flg ? 0x8000u : 0) |
         (usn ? 0x4000u : 0) | addr;
}

}  // namespace

TEST_F(Vif1, UnpackEveryFormatSignedAndUnsigned) {
  struct Case {
    const char* name;
    int vn, vl;
    bool usn;
    std::vector<uint32_t> data;
    Q expect;
  } cases[] = {
      {"S-32", 0, 0, false, {0x12345678}, {0x12345678, 0x12345678, 0x12345678, 0x12345678}},
      {"S-16", 0, 1, false, {0x8001}, {0xffff8001, 0xffff8001, 0xffff8001, 0xffff8001}},
      {"S-16 (U)", 0, 1, true, {0x8001}, {0x8001, 0x8001, 0x8001, 0x8001}},
      {"S-8", 0, 2, false, {0x80}, {0xffffff80, 0xffffff80, 0xffffff80, 0xffffff80}},
      {"S-8 (U)", 0, 2, true, {0x80}, {0x80, 0x80, 0x80, 0x80}},
      {"V2-32", 1, 0, false, {1, 2}, {1, 2, FILL, FILL}},
      {"V2-16", 1, 1, false, {0x7fff8000}, {0xffff8000, 0x7fff, FILL, FILL}},
      {"V2-8", 1, 2, true, {0x0000ff01}, {1, 0xff, FILL, FILL}},
      {"V3-32", 2, 0, false, {1, 2, 3}, {1, 2, 3, FILL}},
      {"V3-16", 2, 1, false, {0xfffe0001, 0x00000003}, {1, 0xfffffffe, 3, FILL}},
      {"V3-8", 2, 2, false, {0x00fe7f01}, {1, 0x7f, 0xfffffffe, FILL}},
      {"V4-32", 3, 0, false, {1, 2, 3, 4}, {1, 2, 3, 4}},
      {"V4-16", 3, 1, true, {0x00020001, 0xffff0003}, {1, 2, 3, 0xffff}},
      {"V4-8", 3, 2, false, {0x8003ff01}, {1, 0xffffffff, 3, 0xffffff80}},
      {"V4-5", 3, 3, false, {0x0000fc1f}, {0xf8, 0, 0xf8, 0x80}},
  };
  int addr = 0;
  for (const Case& c : cases) {
    std::vector<uint32_t> w = {Unpack(c.vn, c.vl, 1, uint32_t(addr), c.usn)};
    w.insert(w.end(), c.data.begin(), c.data.end());
    w.push_back(VifCode(VIF_MARK, uint32_t(addr + 1)));  // shows the data length was right
    VifWrite(1, w.data(), int(w.size()));
    EXPECT_EQ(Quad(addr), c.expect) << c.name;
    EXPECT_EQ(EeRegRead(VIF1_MARK), uint32_t(addr + 1)) << c.name;
    addr++;
  }
}

TEST_F(Vif1, ElementsSpanWordsAndCallsAndPaddingIsSkipped) {
  // Three V3-8 elements: 9 bytes in 3 words, fed one word at a time.
  uint32_t w[] = {Unpack(2, 2, 3, 10, true), 0x04030201, 0x08070605, 0x00000009, VifCode(VIF_MARK, 77)};
  for (uint32_t x : w) VifWrite(1, &x, 1);
  EXPECT_EQ(Quad(10), (Q{1, 2, 3, FILL}));
  EXPECT_EQ(Quad(11), (Q{4, 5, 6, FILL}));
  EXPECT_EQ(Quad(12), (Q{7, 8, 9, FILL}));
  EXPECT_EQ(EeRegRead(VIF1_MARK), 77u);
  EXPECT_TRUE(VifIdle(1));
}

TEST_F(Vif1, SkippingAndFillingWriteCycles) {
  // CL 4, WL 2: two quadwords written, two skipped, per cycle.
  Feed({VifCode(VIF_STCYCL, 4 | 2 << 8), Unpack(0, 0, 4, 0), 1, 2, 3, 4});
  EXPECT_EQ(Quad(0)[0], 1u);
  EXPECT_EQ(Quad(1)[0], 2u);
  EXPECT_EQ(Quad(2)[0], FILL);
  EXPECT_EQ(Quad(3)[0], FILL);
  EXPECT_EQ(Quad(4)[0], 3u);
  EXPECT_EQ(Quad(5)[0], 4u);
  // CL 1, WL 3: one quadword of data, then two of filling, per cycle; six
  // quadwords take two elements. Filling is ROW, or by the mask's row.
  Feed({VifCode(VIF_STROW), 10, 11, 12, 13, VifCode(VIF_STCOL), 20, 21, 22, 23,
        VifCode(VIF_STCYCL, 1 | 3 << 8), Unpack(3, 0, 6, 100), 1, 2, 3, 4, 5, 6, 7, 8,
        VifCode(VIF_MARK, 1)});
  EXPECT_EQ(EeRegRead(VIF1_MARK), 1u);
  EXPECT_EQ(Quad(100), (Q{1, 2, 3, 4}));
  EXPECT_EQ(Quad(101), (Q{10, 11, 12, 13}));
  EXPECT_EQ(Quad(102), (Q{10, 11, 12, 13}));
  EXPECT_EQ(Quad(103), (Q{5, 6, 7, 8}));
  EXPECT_EQ(Quad(105), (Q{10, 11, 12, 13}));
  // Row 1 all COL, row 2 all write-protected.
  Feed({VifCode(VIF_STMASK), 0xaa00 | 0xff0000, Unpack(3, 0, 3, 200, false, false, true), 1, 2, 3, 4});
  EXPECT_EQ(Quad(200), (Q{1, 2, 3, 4}));
  EXPECT_EQ(Quad(201), (Q{21, 21, 21, 21}));
  EXPECT_EQ(Quad(202), (Q{FILL, FILL, FILL, FILL}));
}

TEST_F(Vif1, OffsetAndDifferenceModesAndTheMask) {
  Feed({VifCode(VIF_STROW), 10, 20, 30, 40, VifCode(VIF_STMOD, 1), Unpack(3, 0, 1, 0), 1, 2, 3, 4});
  EXPECT_EQ(Quad(0), (Q{11, 22, 33, 44}));
  EXPECT_EQ(EeRegRead(VIF1_R0 + 0x10), 20u) << "offset mode leaves ROW";
  Feed({VifCode(VIF_STMOD, 2), Unpack(3, 0, 2, 1), 1, 1, 1, 1, 2, 2, 2, 2});
  EXPECT_EQ(Quad(1), (Q{11, 21, 31, 41}));
  EXPECT_EQ(Quad(2), (Q{13, 23, 33, 43}));
  EXPECT_EQ(EeRegRead(VIF1_R0 + 0x30), 43u) << "difference mode accumulates into ROW";
  // x data (offset by ROW in mode 1), y ROW, z COL[0], w protected.
  Feed({VifCode(VIF_STMOD, 1), VifCode(VIF_STCOL), 7, 8, 9, 10, VifCode(VIF_STMASK), 0x00000000 | 1 << 2 | 2 << 4 | 3 << 6,
        Unpack(3, 0, 1, 3, false, false, true), 5, 6, 7, 8});
  EXPECT_EQ(Quad(3), (Q{5 + 13, 23, 7, FILL}));
}

TEST_F(Vif1, DoubleBufferingFollowsBaseOffsetAndProgramStarts) {
  // vu1test (8 instructions) at the overlay address 0x300.
  uint32_t image[16] = {};
  Vu1Signature sig{VU1_SIG_MAGIC, 8, "vu1test"};
  memcpy(image, &sig, sizeof sig);
  std::vector<uint32_t> w = {0, VifCode(VIF_MPG, 0x300, 8)};
  w.insert(w.end(), image, image + 16);
  VifWrite(1, w.data(), int(w.size()));
  ASSERT_STREQ(Vu1ProgramAt(0x305), "vu1test");

  float a[4] = {1, 2, 3, 4}, b[4] = {10, 20, 30, 40};
  auto unpackAB = [&]() {
    std::vector<uint32_t> u = {Unpack(3, 0, 2, 0, false, true)};
    for (float f : a) u.push_back(std::bit_cast<uint32_t>(f));
    for (float f : b) u.push_back(std::bit_cast<uint32_t>(f));
    VifWrite(1, u.data(), int(u.size()));
  };
  Feed({VifCode(VIF_BASE, 0x100), VifCode(VIF_OFFSET, 0x180), VifCode(VIF_ITOP, 0x55)});
  EXPECT_EQ(EeRegRead(VIF1_TOPS), 0x100u);
  unpackAB();  // TOPS-relative: lands at 0x100
  EXPECT_EQ(Quad(0x100)[0], std::bit_cast<uint32_t>(1.0f));
  Feed({VifCode(VIF_MSCAL, 0x302)});  // vu1test +2: TOP+2 = TOP + TOP+1
  EXPECT_EQ(EeRegRead(VIF1_TOP), 0x100u);
  EXPECT_EQ(EeRegRead(VIF1_ITOP), 0x55u);
  EXPECT_EQ(EeRegRead(VIF1_TOPS), 0x280u) << "the other buffer";
  EXPECT_EQ(EeRegRead(VIF1_STAT) & 0x80, 0x80u) << "DBF";
  EXPECT_EQ(Quad(0x102)[3], std::bit_cast<uint32_t>(44.0f));
  EXPECT_EQ(*Vu1Vi(1), 0x100);
  unpackAB();
  EXPECT_EQ(Quad(0x280)[1], std::bit_cast<uint32_t>(2.0f));
  Feed({VifCode(VIF_MSCAL, 0x302)});
  EXPECT_EQ(Quad(0x282)[1], std::bit_cast<uint32_t>(22.0f));
  EXPECT_EQ(EeRegRead(VIF1_TOPS), 0x100u) << "and back";
  Feed({VifCode(VIF_MSCAL, 0x302), VifCode(VIF_OFFSET, 0x180)});
  EXPECT_EQ(EeRegRead(VIF1_TOPS), 0x100u) << "OFFSET clears DBF";
  EXPECT_EQ(EeRegRead(VIF1_STAT) & 0x80, 0u);
}

TEST_F(Vif1, DirectSplitAcrossWritesReachesPath2) {
  uint32_t p[8];
  PutAdPacket(p, GS_LABEL, 42);
  GsCapture gs;
  uint32_t code = VifCode(VIF_DIRECT, 2);
  VifWrite(1, &code, 1);
  VifWrite(1, p, 3);
  VifWrite(1, p + 3, 5);
  EXPECT_EQ(gs.Values(GS_LABEL), (std::vector<uint64_t>{42}));
  EXPECT_TRUE(GifPathIdle(GIF_PATH2));
}

namespace {
int g_vifIrq;
int CountVifIrq(int) { g_vifIrq++; return 0; }
}  // namespace

TEST_F(Vif1, InterruptBitRaisesTheVifInterrupt) {
  g_vifIrq = 0;
  int h = AddIntcHandler(INTC_VIF1, CountVifIrq, 0);
  EnableIntc(INTC_VIF1);
  Feed({VifCode(VIF_NOP) | 0x80000000u});
  KernelYield();
  EXPECT_EQ(g_vifIrq, 1);
  EXPECT_EQ(EeRegRead(VIF1_STAT) & 0x800, 0x800u);
  EeRegWrite(VIF1_FBRST, 8);
  EXPECT_EQ(EeRegRead(VIF1_STAT) & 0x800, 0u);
  DisableIntc(INTC_VIF1);
  RemoveIntcHandler(INTC_VIF1, h);
}

TEST_F(Vif1, UnknownCodesAndVif1CodesOnVif0AreFatal) {
  EXPECT_HALT(Feed({0x08000000}), "unknown VIF code");
  VifReset(1);
  uint32_t direct = VifCode(VIF_DIRECT, 1);
  EXPECT_HALT(VifWrite(0, &direct, 1), "VIF1-only");
  VifReset(0);
  EXPECT_HALT(Feed({Unpack(2, 3, 1, 0)}), "5-bit");
  VifReset(1);
}

TEST(Vif0, UnpacksIntoVectorUnit0Memory) {
  VifReset(0);
  uint32_t w[] = {Unpack(3, 0, 1, 0x10), 1, 2, 3, 4};
  VifWrite(0, w, 5);
  const uint32_t* q = reinterpret_cast<const uint32_t*>(Vu0DataMem() + 0x100);
  EXPECT_EQ(q[3], 4u);
  uint32_t v[4];
  Vu0ViewRead(0x10, v);
  EXPECT_EQ(v[2], 3u);
}
