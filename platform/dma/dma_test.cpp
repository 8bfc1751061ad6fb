#include "gfx_test.h"
#include "platform_test.h"

namespace {

// Every packet of these chains is one VIF DIRECT of an A+D write of LABEL
// with the packet's number, so the order of LABEL writes is the order in
// which the controller sent the packets.
constexpr uint32_t DIRECT2 = VifCode(VIF_DIRECT, 2);

void Packet(uint32_t* p, int n) { PutAdPacket(p, GS_LABEL, uint64_t(n)); }

// A tag that carries its own packet (cnt, next, call, ret, end).
void Own(EeQwords& b, int at, uint32_t id, uint32_t addr, int n, bool irq = false, uint32_t marker = 0) {
  PutTag(b.qw(at), 2, id, addr, 0, DIRECT2, irq, marker);
  Packet(b.qw(at + 1), n);
}
// A tag whose packet lies at data (ref, refs, refe).
void Ref(EeQwords& b, int at, uint32_t id, int data, int n) {
  PutTag(b.qw(at), 2, id, b.addr(data), 0, DIRECT2);
  Packet(b.qw(data), n);
}

std::vector<uint64_t> RunVif1(uint32_t tadr, uint32_t chcr = 0x1c5) {
  GsCapture gs;
  EeRegWrite(D1_QWC, 0);
  EeRegWrite(D1_TADR, tadr);
  EeRegWrite(D_STAT, 2);
  EeRegWrite(D1_CHCR, chcr);
  return gs.Values(GS_LABEL);
}

int g_dmaEnds;
int CountEnd(int) { g_dmaEnds++; return 0; }

struct Dma : testing::Test {
  void SetUp() override {
    DmaReset();
    VifReset(1);
    GifReset();
  }
};

using Seq = std::vector<uint64_t>;

}  // namespace

TEST_F(Dma, EveryTagKindWithTagTransferAndAStackOfTwo) {
  EeQwords b(80);
  Own(b, 0, DMA_CNT, 0, 1);
  Own(b, 3, DMA_CALL, b.addr(30), 2);
  Own(b, 30, DMA_CALL, b.addr(40), 3);  // two levels deep
  Own(b, 40, DMA_RET, 0, 4);            // back to 33
  Own(b, 33, DMA_RET, 0, 5);            // back to 6
  Ref(b, 6, DMA_REF, 60, 6);
  Ref(b, 7, DMA_REFS, 63, 7);
  Own(b, 8, DMA_NEXT, b.addr(50), 8);
  Ref(b, 50, DMA_REFE, 66, 9);          // ends the chain
  Own(b, 51, DMA_CNT, 0, 99);
  EXPECT_EQ(RunVif1(b.addr(0)), (Seq{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  uint32_t chcr = EeRegRead(D1_CHCR);
  EXPECT_EQ(DMA_CHCR::STR::get(chcr), 0u);
  EXPECT_EQ(DMA_CHCR::ASP::get(chcr), 0u);
  EXPECT_EQ(chcr >> 16, b.qw(50)[0] >> 16) << "CHCR keeps the last tag's upper half";
  EXPECT_EQ(EeRegRead(D1_TADR), b.addr(51));
  EXPECT_EQ(EeRegRead(D1_MADR), b.addr(68));
  EXPECT_EQ(EeRegRead(D1_QWC), 0u);
  EXPECT_EQ(EeRegRead(D_STAT) & 2, 2u);
  EeRegWrite(D_STAT, 2);
  EXPECT_EQ(EeRegRead(D_STAT) & 2, 0u) << "a 1 clears the channel's bit";
}

TEST_F(Dma, EndAndRetOnAnEmptyStackEndAfterTheirData) {
  EeQwords b(20);
  Own(b, 0, DMA_CNT, 0, 1);
  Own(b, 3, DMA_END, 0, 2);
  Own(b, 6, DMA_CNT, 0, 3);
  EXPECT_EQ(RunVif1(b.addr(0)), (Seq{1, 2}));
  EXPECT_EQ(EeRegRead(D1_MADR), b.addr(6));
  Own(b, 10, DMA_RET, 0, 4);
  Own(b, 13, DMA_CNT, 0, 5);
  EXPECT_EQ(RunVif1(b.addr(10)), (Seq{4}));
}

TEST_F(Dma, ThirdNestedCallIsFatal) {
  EeQwords b(20);
  PutTag(b.qw(0), 0, DMA_CALL, b.addr(1));
  PutTag(b.qw(1), 0, DMA_CALL, b.addr(2));
  PutTag(b.qw(2), 0, DMA_CALL, b.addr(3));
  PutTag(b.qw(3), 0, DMA_END, 0);
  EXPECT_HALT(RunVif1(b.addr(0)), "call stack full");
}

TEST_F(Dma, TagInterruptStopsTheChannelAndAStartGoesOn) {
  EeQwords b(20);
  Own(b, 0, DMA_CNT, 0, 1, true, 24);
  Own(b, 3, DMA_CNT, 0, 2);
  Own(b, 6, DMA_END, 0, 3);
  int h = AddDmacHandler(DMAC_VIF1, CountEnd, 0);
  EnableDmac(DMAC_VIF1);  // delivers what earlier tests left pending
  g_dmaEnds = 0;
  EXPECT_EQ(RunVif1(b.addr(0)), (Seq{1}));
  EXPECT_EQ((EeRegRead(D1_CHCR) >> 16) & 0xff, 24u) << "the marker of the stopping tag";
  EXPECT_EQ(EeRegRead(D1_TADR), b.addr(3));
  EXPECT_EQ(EeRegRead(D1_MADR), b.addr(3)) << "the quadword before MADR is the tag just sent";
  EXPECT_EQ(g_dmaEnds, 0) << "delivered at the next safe point";
  KernelYield();
  EXPECT_EQ(g_dmaEnds, 1);
  {
    GsCapture gs;
    EeRegWrite(D1_CHCR, EeRegRead(D1_CHCR) | 0x100);
    EXPECT_EQ(gs.Values(GS_LABEL), (Seq{2, 3}));
  }
  KernelYield();
  EXPECT_EQ(g_dmaEnds, 2);
  // Without TIE the IRQ bit does not stop the channel.
  EXPECT_EQ(RunVif1(b.addr(0), 0x145), (Seq{1, 2, 3}));
  DisableDmac(DMAC_VIF1);
  RemoveDmacHandler(DMAC_VIF1, h);
}

TEST_F(Dma, SuspendedControllerStartsTheChannelWhenReleased) {
  EeQwords b(8);
  Own(b, 0, DMA_END, 0, 7);
  GsCapture gs;
  EeRegWrite(D_ENABLEW, D_ENABLE_SUSPEND);
  EeRegWrite(D1_TADR, b.addr(0));
  EeRegWrite(D1_CHCR, 0x1c5);
  EXPECT_TRUE(gs.writes.empty());
  EXPECT_EQ(EeRegRead(D1_CHCR) & 0x100, 0x100u) << "busy while held";
  EXPECT_EQ(EeRegRead(D_ENABLER), D_ENABLE_SUSPEND);
  EeRegWrite(D_ENABLEW, 0);
  EXPECT_EQ(gs.Values(GS_LABEL), (Seq{7}));
  EXPECT_EQ(EeRegRead(D1_CHCR) & 0x100, 0u);
}

TEST_F(Dma, NormalTransfersToVif1GifAndTheScratchpad) {
  EeQwords b(16);
  GsCapture gs;
  // VIF1 block: a DIRECT code and its packet, padded with NOPs.
  b.qw(0)[3] = DIRECT2;
  Packet(b.qw(1), 5);
  EeRegWrite(D1_QWC, 3);
  EeRegWrite(D1_MADR, b.addr(0));
  EeRegWrite(D1_CHCR, 0x141);
  // GIF block: the packet itself.
  Packet(b.qw(4), 6);
  EeRegWrite(D2_QWC, 2);
  EeRegWrite(D2_MADR, b.addr(4));
  EeRegWrite(D2_CHCR, 0x101);
  EXPECT_EQ(gs.Values(GS_LABEL), (Seq{5, 6}));
  EXPECT_EQ(EeRegRead(D2_MADR), b.addr(6));
  EXPECT_EQ(EeRegRead(D2_QWC), 0u);

  for (int i = 0; i < 8; i++) b.qw(8)[i] = 0x1000 + uint32_t(i);
  EeRegWrite(D9_QWC, 2);
  EeRegWrite(D9_MADR, b.addr(8));
  EeRegWrite(D9_SADR, 0x30);
  EeRegWrite(D9_CHCR, 0x101);
  const uint32_t* spr = static_cast<const uint32_t*>(EeAddrToPtr(EE_SCRATCHPAD + 0x30));
  EXPECT_EQ(spr[0], 0x1000u);
  EXPECT_EQ(spr[7], 0x1007u);
  EeRegWrite(D8_QWC, 1);
  EeRegWrite(D8_MADR, b.addr(12));
  EeRegWrite(D8_SADR, 0x40);
  EeRegWrite(D8_CHCR, 0x100);
  EXPECT_EQ(b.qw(12)[3], 0x1007u);
  EXPECT_EQ(EeRegRead(D8_SADR), 0x50u);
}

TEST_F(Dma, BrokenChainsAreFatal) {
  EeQwords b(4);
  PutTag(b.qw(0), 1, DMA_REF, 0x1000);  // low memory: not EE memory
  EXPECT_HALT(RunVif1(b.addr(0)), "outside EE memory");
  DmaReset();
  PutTag(b.qw(0), 0, DMA_NEXT, b.addr(0));  // a loop
  EXPECT_HALT(RunVif1(b.addr(0)), "has not ended");
  DmaReset();
  EXPECT_HALT(RunVif1(b.addr(0) + 4), "not quadword aligned");
  DmaReset();
}

TEST_F(Dma, ChainsInStaticDataAndTheUncachedAlias) {
  alignas(16) static uint32_t chain[12];
  PutTag(chain, 2, DMA_END, 0, 0, DIRECT2);
  Packet(chain + 4, 3);
  EXPECT_EQ(RunVif1(EeAddrOf(chain) | EE_UNCACHED_BIT), (Seq{3}));
}

TEST(DmaRegisters, TimersGoThroughTheKernelClock) {
  EeRegWrite(T1_MODE, 0x83);
  EXPECT_EQ(EeRegRead(T1_MODE), 0x83u);
  EeRegWrite(T1_COUNT, 100);
  KernelWaitVSync();
  EXPECT_EQ(EeRegRead(T1_COUNT), TimerGetCount(1));
  EXPECT_NE(EeRegRead(T1_COUNT), 100u);
  EXPECT_HALT(EeRegWrite(0x10004000, 1), "not modelled");
}
