#include "zeps2.h"
#include "zecore.h"
#include "gfx_test.h"
#include "platform_test.h"

#include <string>

namespace {

using Words = std::vector<uint32_t>;
Words Q(const uint32_t* p) { return {p[0], p[1], p[2], p[3]}; }

}  // namespace

TEST(DmaTags, EveryWriterWritesOneQuadword) {
  EeQwords b(4);
  uint32_t* p = b.qw(0);
  const void* a = b.qw(2);
  const uint32_t A = b.addr(2);
  struct Case {
    const char* name;
    uint32_t* (*write)(uint32_t*, const void*);
    Words expect;
    bool opens;
  } cases[] = {
      {"Cnt", [](uint32_t* q, const void*) { return vpDmaTag_Cnt(q); }, {0x10000000, 0, 0, 0}, true},
      {"CntEx", [](uint32_t* q, const void*) { return vpDmaTag_CntEx(q, 5, 6); }, {0x10000000, 0, 5, 6}, true},
      {"Next", [](uint32_t* q, const void* x) { return vpDmaTag_Next(q, x); }, {0x20000000, A, 0, 0}, true},
      {"NextEx", [](uint32_t* q, const void* x) { return vpDmaTag_NextEx(q, x, 1, 2); }, {0x20000000, A, 1, 2}, true},
      {"Ref", [](uint32_t* q, const void* x) { return vpDmaTag_Ref(q, x); }, {0x30000000, A, 0, 0}, true},
      {"RefEx", [](uint32_t* q, const void* x) { return vpDmaTag_RefEx(q, x, 3, 4); }, {0x30000000, A, 3, 4}, true},
      {"Call", [](uint32_t* q, const void* x) { return vpDmaTag_Call(q, x); }, {0x50000000, A, 0, 0}, true},
      {"CallEx", [](uint32_t* q, const void* x) { return vpDmaTag_CallEx(q, x, 7, 8); }, {0x50000000, A, 7, 8}, true},
      {"Ret", [](uint32_t* q, const void*) { return vpDmaTag_Ret(q); }, {0x60000000, 0, 0, 0}, true},
      {"RetEx", [](uint32_t* q, const void*) { return vpDmaTag_RetEx(q, 1, 9); }, {0x60000000, 0, 1, 9}, true},
      {"End", [](uint32_t* q, const void*) { return vpDmaTag_End(q); }, {0x70000000, 0, 0, 0}, true},
      {"EndEx", [](uint32_t* q, const void*) { return vpDmaTag_EndEx(q, 2, 3); }, {0x70000000, 0, 2, 3}, true},
      {"Set", [](uint32_t* q, const void* x) { return vpDmaTag_Set(q, 0x12345, 13, x); }, {0xd0002345, A, 0, 0}, false},
  };
  for (const Case& c : cases) {
    ps2dma_dt_curr = nullptr;
    EXPECT_EQ(c.write(p, a), p + 4) << c.name;
    EXPECT_EQ(Q(p), c.expect) << c.name;
    EXPECT_EQ(ps2dma_dt_curr, c.opens ? p : nullptr) << c.name;
  }
  uint32_t src[4] = {0x31110005, 0x1234, 0xaa, 0xbb};
  vpDmaTag_Copy(p, src);
  EXPECT_EQ(Q(p), (Words{0x31110005, 0x1234, 0xaa, 0xbb}));
  vpDmaTag_RepointCopy(p, src, a);
  EXPECT_EQ(Q(p), (Words{0x31110005, A, 0xaa, 0xbb}));
  vpDmaTag_ChangeCopy(p, src, 0x70000001, a);
  EXPECT_EQ(Q(p), (Words{0x70000001, A, 0xaa, 0xbb}));
}

TEST(DmaTags, ClosePadsToAQuadwordAndKeepsTheMarker) {
  EeQwords b(8);
  for (int words = 0; words < 8; words++) {
    memset(b.w, 0xff, 8 * 16);
    uint32_t* p = vpDmaTag_Cnt(b.qw(0));
    reinterpret_cast<uint8_t*>(b.qw(0))[2] = DMAMK_CLEARSCREEN;
    for (int i = 0; i < words; i++) *p++ = 0x01010101;
    uint32_t* end = vpDmaTag_Close(p);
    int qwc = (words + 3) / 4;
    EXPECT_EQ(end, b.qw(1 + qwc)) << words;
    for (uint32_t* z = p; z < end; z++) EXPECT_EQ(*z, 0u) << "padding is VIF NOPs";
    EXPECT_EQ(b.qw(0)[0], 0x100f0000u | uint32_t(qwc)) << words;
  }
  ps2dma_dt_curr = nullptr;
}

TEST(DmaTags, GifTagsCloseByTheirMode) {
  EeQwords b(40);
  struct Case {
    int flg, nreg, dataQwords;
    uint32_t nloop;
  } cases[] = {
      {GIF_FLG_PACKED, 2, 5, 2},     // rounded down
      {GIF_FLG_PACKED, 0, 32, 2},    // NREG 0 is sixteen registers
      {GIF_FLG_REGLIST, 3, 3, 2},    // six doublewords
      {GIF_FLG_IMAGE, 0, 7, 7},
  };
  for (const Case& c : cases) {
    uint32_t* d = gsBeginGifPacket(b.qw(0), 0, 1, 1, 6, c.flg, c.nreg, GIF_REG_AD, 1, 1);
    EXPECT_EQ(d, b.qw(1));
    gsCloseGifPacket(d + c.dataQwords * 4);
    uint64_t tag;
    memcpy(&tag, b.qw(0), 8);
    EXPECT_EQ(tag & 0x7fff, c.nloop) << "flg " << c.flg << " nreg " << c.nreg;
    EXPECT_EQ((tag >> 15) & 1, 1u) << "EOP kept";
    EXPECT_EQ((tag >> 47) & 0x7ff, 6u) << "PRIM kept";
  }
  gsBeginGifPacket(b.qw(0), 3, 0, 0, 0, GIF_FLG_DISABLE, 0, 14);
  uint32_t before[4];
  memcpy(before, b.qw(0), 16);
  gsCloseGifPacket(b.qw(9));
  EXPECT_EQ(memcmp(before, b.qw(0), 16), 0) << "FLG 3 is left as it is";
  EXPECT_EQ(before[2], 0u) << "REGS 0 for nreg 0";
  EXPECT_EQ(before[1] >> 28, 0u);
}

TEST(DmaTags, DirectCodesAndSavedOpenPackets) {
  EeQwords b(8);
  uint32_t* p = vpDmaTag_CntEx(b.qw(0), VIFCODE_FLUSHA, 0);
  EXPECT_EQ(vtBeginDirect(b.qw(0) + 3, 1), b.qw(1));
  EXPECT_EQ(b.qw(0)[3], 0xd0000000u);
  vtCloseDirect(p + 12);
  EXPECT_EQ(b.qw(0)[3], 0xd0000003u);
  vtBeginDirect(b.qw(0) + 3, 0);
  EXPECT_EQ(b.qw(0)[3], VIFCODE_DIRECT);

  ZEAPISTATE saved;
  ps2dma_gt_curr = nullptr;
  ZeThreadPreserveAPIState(&saved);
  ps2dma_dt_curr = ps2dma_vt_curr = ps2dma_gt_curr = b.qw(5);
  ZeThreadRestoreAPIState(&saved);
  EXPECT_EQ(ps2dma_dt_curr, b.qw(0));
  EXPECT_EQ(ps2dma_vt_curr, b.qw(0) + 3);
  EXPECT_EQ(ps2dma_gt_curr, nullptr);

  uint32_t* q = b.qw(6) + 1;
  EXPECT_EQ(vpVifAlign64(q), b.qw(6) + 2);
  EXPECT_EQ(vpVifAlign128(q), b.qw(7));
  EXPECT_EQ(VifTagDummy(q), q);
}

// ---- the scratchpad stack ----

TEST(Scratchpad, BlocksCarryBackLinksAndOverflowIsFatal) {
  ZeScratchReset();
  EXPECT_EQ(EeAddrOf(ZeScratchAlloc32(10)), 0x70000000u);
  EXPECT_EQ(EeAddrOf(ZeScratchAlloc32(10)), 0x70000010u);
  ZeScratchRelease();
  ZeScratchRelease();
  EXPECT_EQ(EeAddrOf(ps2dma_scratch_top), 0x70000000u);
  ZeScratchAlloc32(0);  // top 0x70000004
  EXPECT_EQ(EeAddrOf(ZeScratchAlloc64(1)), 0x70000008u);
  ZeScratchAlloc32(0);  // top 0x70000014
  EXPECT_EQ(EeAddrOf(ZeScratchAlloc128(1)), 0x70000020u);
  ZeScratchReset();
  void* all = ZeScratchAlloc128(EE_SCRATCHPAD_SIZE - 4);
  EXPECT_EQ(EeAddrOf(all), 0x70000000u);
  EXPECT_HALT(ZeScratchAlloc32(0), "Scratchpad stack overflow");
  ZeScratchRelease();
  EXPECT_HALT(ZeScratchRelease(), "underflow");
  EXPECT_HALT(ZeScratchAlloc32(-4), "overflow");
}

// ---- chain inspection ----

namespace {
std::vector<uint32_t> g_decoded;
const uint32_t* Record(const uint32_t* tag, const char*) {
  g_decoded.push_back(EeAddrOf(tag));
  return tag + 4;
}
}  // namespace

TEST(TagWalk, FollowsTheChainAndSkipsMarkedPacketsAndWhatTheyCall) {
  EeQwords b(32);
  PutTag(b.qw(0), 1, DMATAG_CNT, 0);
  PutTag(b.qw(2), 0, DMATAG_CALL, b.addr(10), 0, 0, false, DMAMK_GEOMCALL);  // skipped
  PutTag(b.qw(3), 0, DMATAG_CALL, b.addr(20));
  PutTag(b.qw(4), 0, DMATAG_REF, b.addr(30), 0, 0, true);  // an IRQ tag is reported, not fatal
  PutTag(b.qw(5), 0, DMATAG_REFE, b.addr(30));             // ends the chain
  PutTag(b.qw(6), 0, DMATAG_END, 0);
  PutTag(b.qw(10), 0, DMATAG_RET, 0);  // inside a skipped call
  PutTag(b.qw(20), 0, DMATAG_RET, 0);
  g_decoded.clear();
  debug_dma_level = 0;
  {
    ConsoleCaptureScope con;
    TagWalk(b.w, Record);
    EXPECT_EQ(con.text(), "") << "level 0 prints nothing";
  }
  EXPECT_EQ(g_decoded, (std::vector<uint32_t>{b.addr(0), b.addr(3), b.addr(20), b.addr(4), b.addr(5)}));

  debug_dma_level = 1;
  ConsoleCaptureScope con;
  TagWalk(b.w, Record);
  debug_dma_level = 0;
  std::string t = con.text();
  char line[128];
  snprintf(line, sizeof line, "%08d TAG CALL: QWC 0 NEXT %08d MK 4 (GEOMCALL)<suppressed>", b.addr(2), b.addr(10));
  EXPECT_NE(t.find(line), std::string::npos) << t;
  snprintf(line, sizeof line, "    %08d TAG RET : QWC 0 NEXT 00000000 MK 0 (unknown)", b.addr(20));
  EXPECT_NE(t.find(line), std::string::npos) << "indented inside the call";
  EXPECT_NE(t.find("TAG IRQ"), std::string::npos);
  EXPECT_EQ(t.find("TAG END"), std::string::npos) << "refe ended the walk";
  con.clear();
  TagWalk(nullptr, Record);
  EXPECT_NE(con.text().find("Duff frame pointer"), std::string::npos);
}

TEST(TagWalk, StackLimitsAndBrokenChains) {
  EeQwords b(8);
  PutTag(b.qw(0), 0, DMATAG_CALL, b.addr(1));
  PutTag(b.qw(1), 0, DMATAG_CALL, b.addr(2));
  PutTag(b.qw(2), 0, DMATAG_CALL, b.addr(3));
  PutTag(b.qw(3), 0, DMATAG_RET, 0);
  {
    ConsoleCaptureScope con;
    TagWalk(b.w, Record);
    EXPECT_NE(con.text().find("***** Stack overflow ******"), std::string::npos);
    con.clear();
    TagWalk(b.qw(3), Record);
    EXPECT_NE(con.text().find("***** Stack underflow ******"), std::string::npos);
  }
  PutTag(b.qw(0), 0, DMATAG_NEXT, b.addr(1) + 4);
  EXPECT_HALT(TagWalk(b.w, Record), "** Misaligned DMATAG **");
  PutTag(b.qw(0), 0, DMATAG_NEXT, 0x1000);
  EXPECT_HALT(TagWalk(b.w, Record), "outside EE memory");
}

TEST(VifTagWalk, DecodesCodesToTheEndOfThePacket) {
  EeQwords b(8);
  // cnt with FLUSHA and DIRECT 1, one quadword of data; then UNPACK V3-8 x3
  // (one word and three words of data) and STMASK in the next packet.
  PutTag(b.qw(0), 1, DMATAG_CNT, 0, VIFCODE_FLUSHA, VIFCODE_DIRECT | 1);
  PutTag(b.qw(2), 1, DMATAG_CNT, 0, 0, 0x6a03c010);
  b.qw(3)[3] = 0x20000000;  // STMASK's mask word follows in the next packet
  debug_dma_level = 1;
  ConsoleCaptureScope con;
  EXPECT_EQ(VifTagWalk(b.qw(0), ""), b.qw(2));
  EXPECT_NE(con.text().find("VT FLUSHA"), std::string::npos);
  EXPECT_NE(con.text().find("VT DIRECT 1"), std::string::npos);
  debug_dma_level = 0;
  EXPECT_HALT(VifTagWalk(b.qw(2), ""), "VIF code decoded length does not match dmatag length");
  PutTag(b.qw(2), 1, DMATAG_CNT, 0, 0, 0x6a03c010);
  b.qw(3)[3] = 0;
  EXPECT_EQ(VifTagWalk(b.qw(2), ""), b.qw(4));
  {
    debug_dma_level = 1;
    ConsoleCaptureScope con2;
    VifTagWalk(b.qw(2), "");
    EXPECT_NE(con2.text().find("VT UNPACKR(U) V3-8 3 to 16"), std::string::npos) << con2.text();
    debug_dma_level = 0;
  }
  PutTag(b.qw(4), 0, DMATAG_CNT, 0, 0x08000000, 0);
  EXPECT_HALT(VifTagWalk(b.qw(4), ""), "Unknown Viftag");
}

TEST(CrcChain, SumsTagsAndTheirDataAlongTheChain) {
  EeQwords b(16);
  PutTag(b.qw(0), 1, DMATAG_CNT, 0, 1, 2);
  b.qw(1)[0] = 100;
  PutTag(b.qw(2), 0, DMATAG_CALL, b.addr(8));
  PutTag(b.qw(3), 1, DMATAG_REF, b.addr(6));
  PutTag(b.qw(4), 0, DMATAG_END, 0);
  b.qw(6)[2] = 7;
  PutTag(b.qw(8), 0, DMATAG_RET, 0);
  uint64_t sum = 0;
  for (int q : {0, 1, 2, 3, 6, 4, 8})
    for (int i = 0; i < 2; i++) {
      uint64_t v;
      memcpy(&v, b.qw(q) + 2 * i, 8);
      sum += v;
    }
  EXPECT_EQ(CrcChain(b.w, 0), sum);
  EXPECT_EQ(CrcChain(b.w, 1), sum);
}
