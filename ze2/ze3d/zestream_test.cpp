#include "ze3d_test.h"

#include <cstring>

namespace {

using Seq = std::vector<std::string>;
constexpr const char* SETUP = "8001";  // the frame set-up packet's GIF tag: NLOOP 1, EOP

struct Streams : testing::Test {
  void SetUp() override {
    ZeRndrStreamMtlIfReset();
    ZeRndrStreamClearZBState();
    ZeRndrStreamInit(ZERNDRSTREAM_DEFAULT_BUFFER);
  }
};

// Fakes of the materials and the texture table: a material is a word
// holding its texture id; each fake records what it was asked.
std::string g_calls;
alignas(16) uint32_t g_stateBlock[4];
int FakeValid(ZEMTL* m) { return *reinterpret_cast<int*>(m) >= 0 ? -1 : 0; }
void* FakeStateBlock(ZEMTL*) { return g_stateBlock; }
int FakeZupd(ZEMTL*) { return -1; }
ZETEXID FakeTexture(ZEMTL* m) { return *reinterpret_cast<int*>(m); }
int FakeTexFlag(ZEMTL*) { return 1; }
void FakeAccomodate(ZERNDRSTREAM*, ZETEXID tex, int level) { g_calls += "res" + std::to_string(tex) + "." + std::to_string(level) + " "; }
uint32_t* FakeTexSet(uint32_t* p, ZETEXID tex, int flag) {
  g_calls += "set" + std::to_string(tex) + "." + std::to_string(flag) + " ";
  p[0] = 0x1000000u | 1;  // a cnt tag and one quadword holding the id
  p[1] = p[2] = p[3] = 0;
  p[4] = 0x7e000000u | uint32_t(tex);
  p[5] = p[6] = p[7] = 0;
  return p + 8;
}
uint64_t FakeTex0(ZETEXID tex, ZETEXID) { return 0x1000u + uint64_t(tex); }

}  // namespace

TEST_F(Streams, FrameStreamsLinkInKeyOrderAndThePoolHolds32) {
  const ZERNDRSTREAM* expect[] = {rndrstream_system, rndrstream_3d_l, rndrstream_3d_u, rndrstream_faceon,
                                  rndrstream_mtl_sort, rndrstream_ot_sort, rndrstream_fx, rndrstream_ptl,
                                  rndrstream_2d};
  ASSERT_EQ(rndrstream_count, 9);
  for (int i = 0; i < 9; i++) EXPECT_EQ(rndrstream_sorted[i], expect[i]) << i;
  EXPECT_EQ(rndrstream_3d_l->program.get(), vu_load_tric_mpg);
  EXPECT_EQ(rndrstream_3d_l->flags, 0x3du);
  EXPECT_EQ(rndrstream_3d_u->local_mtx_id, -2);
  EXPECT_EQ(rndrstream_3d_u->vram_top, 0x4000) << "the top of VRAM until the texture table starts";
  for (int i = 9; i < 32; i++) EXPECT_NE(ZeRndrStreamAllocStream(5, nullptr, 0), nullptr);
  EXPECT_EQ(ZeRndrStreamAllocStream(5, nullptr, 0), nullptr);
  EXPECT_EQ(rndrstream_sorted[9], &rndrstream_pool[31]) << "among equal keys the newest goes first";
}

TEST_F(Streams, ASystemOnlyFlushIsTheSetUpPacketAndAFlushaEndTag) {
  ZeRndrStreamFlush();
  EXPECT_EQ(ReadChain(rndrstream_start), (Seq{SETUP, "end"}));
  EXPECT_EQ(rndrstream_end[0] >> 16, 0x700du) << "end tag, marker STREAMFLUSHLNK";
  EXPECT_EQ(rndrstream_end[2], VIFCODE_FLUSHA);
  EXPECT_EQ(rndrstream_end[3], 0u);
  // The set-up packet: FLUSHA, DIRECT of two quadwords, PRMODECONT = 0.
  const uint32_t* s = rndrstream_start;
  EXPECT_EQ(s[0], 0x10000002u);
  EXPECT_EQ(s[2], VIFCODE_FLUSHA);
  EXPECT_EQ(s[3], VIFCODE_DIRECT | 2);
  EXPECT_EQ(s[8], 0u);
  EXPECT_EQ(s[10], uint32_t(GS_PRMODECONT));
}

TEST_F(Streams, ConsecutiveWritesShareASegmentAndOthersArePatchedIn) {
  uint32_t* a = WritePacket(rndrstream_3d_l, 0xa1);
  uint32_t* b = WritePacket(rndrstream_3d_l, 0xa2);
  EXPECT_EQ(b, a + 8) << "the second packet overwrites the open tag: one segment";
  WritePacket(rndrstream_2d, 0x2d1);
  uint32_t* openTag = rndrstream_3d_l->write;
  uint32_t* c = WritePacket(rndrstream_3d_l, 0xa3);
  EXPECT_EQ(openTag[1], EeAddrOf(c)) << "the old segment jumps to the new one";
  EXPECT_EQ(rndrstream_3d_l->first.get(), a);
  ZeRndrStreamFlush();
  EXPECT_EQ(ReadChain(rndrstream_start), (Seq{SETUP, "call:tric", "a1", "a2", "a3", "2d1", "end"}));
  EXPECT_EQ(rndrstream_3d_l->first.get(), nullptr) << "streams are empty after a flush";
}

TEST_F(Streams, SegmentsJumpOverAllocatedDataAndStayInTheirFramesBuffer) {
  WritePacket(rndrstream_2d, 0x2d1);
  uint32_t* openTag = rndrstream_2d->write;
  auto* data = static_cast<uint32_t*>(ZeRndrStreamAlloc(3));
  EXPECT_EQ(data, openTag + 4);
  data[0] = 0xdead;  // referenced by packets, never read as a tag
  uint32_t* next = WritePacket(rndrstream_2d, 0x2d2);
  EXPECT_EQ(next, data + 12) << "a new segment after the data";
  EXPECT_EQ(openTag[1], EeAddrOf(next));
  ZeRndrStreamFlush();
  EXPECT_EQ(ReadChain(rndrstream_start), (Seq{SETUP, "2d1", "2d2", "end"}));

  // The next frame's segments lie in the other buffer only.
  ZeRndrSwapStreamBuffers();
  uint32_t* a = WritePacket(rndrstream_2d, 0x2d3);
  const uint8_t* b1 = rndrstream_buffer[1];
  EXPECT_GE(reinterpret_cast<uint8_t*>(a), b1);
  EXPECT_LT(reinterpret_cast<uint8_t*>(a), b1 + rndrstream_buffer_size);
  ZeRndrStreamFlush();
  EXPECT_EQ(ReadChain(rndrstream_start), (Seq{SETUP, "2d3", "end"}));
}

TEST_F(Streams, ProgramsAreCalledOnlyWhereTheyChange) {
  ZERNDRSTREAM* alsoUnlit = ZeRndrStreamAllocStream(0x10000000 - 1, vu_load_tricu_mpg, 0x3c);
  WritePacket(rndrstream_ptl, 0x71);
  WritePacket(alsoUnlit, 0x33);
  WritePacket(rndrstream_fx, 0xf1);
  WritePacket(rndrstream_3d_u, 0x32);
  WritePacket(rndrstream_mtl_sort, 0x40);  // no program: the last one stays
  WritePacket(rndrstream_3d_l, 0x31);
  WritePacket(rndrstream_faceon, 0xfa);
  ZeRndrStreamFlush();
  EXPECT_EQ(ReadChain(rndrstream_start),
            (Seq{SETUP, "call:tric", "31", "call:tricu", "32", "33", "call:faceon", "fa", "40", "call:fx", "f1",
                 "call:ptl", "71", "end"}));
}

TEST_F(Streams, ASecondFlushExtendsTheFrameChain) {
  WritePacket(rndrstream_2d, 0x2d1);
  ZeRndrStreamFlush();
  uint32_t* firstEnd = rndrstream_end;
  WritePacket(rndrstream_3d_l, 0xa1);
  WritePacket(rndrstream_2d, 0x2d2);
  ZeRndrStreamFlush();
  EXPECT_EQ(firstEnd[0] >> 24, 0x20u) << "the first flush's end tag is a next tag now";
  EXPECT_EQ(ReadChain(rndrstream_start), (Seq{SETUP, "2d1", "call:tric", "a1", "2d2", "end"}));
}

TEST_F(Streams, EffectProgramsAreCalledWhenTheyChange) {
  ZeRndrStreamLink(rndrstream_fx);
  uint32_t* start = rndrstream_fx->write;
  ZeRndrStreamFxMPG(7);
  EXPECT_EQ(rndrstream_fx->write.get(), start) << "type 7 is the effect program, already current";
  ZeRndrStreamFxMPG(1);
  ZeRndrStreamFxMPG(1);
  ZeRndrStreamFxMPG(9);
  EXPECT_EQ(rndrstream_fx->write.get(), start + 8) << "two calls";
  EXPECT_STREQ(ProgramName(start[1]), "fx2");
  EXPECT_STREQ(ProgramName(start[5]), "fx");
  EXPECT_EQ(start[0] >> 28, uint32_t(DMATAG_CALL));
}

TEST_F(Streams, ZBufferStateIsCopiedOnlyWhileSet) {
  EeQwords b(4);
  EXPECT_EQ(ZeRndrStreamAddZBState(b.w, 1), b.w);
  ZeRndrStreamSetZBState(0x1180, PSMZ24, 1);
  EXPECT_EQ(rndrstream_zb_packet[0], 0x100c0002u) << "cnt, marker BEGINSCENE ZBS";
  uint64_t zbuf;
  memcpy(&zbuf, rndrstream_zb_packet + 8, 8);
  EXPECT_EQ(zbuf, 0x8cu | uint64_t(1) << 24 | uint64_t(1) << 32);
  struct Case {
    int zwrite;
    uint32_t upper;
  } cases[] = {{1, 0}, {-1, 0}, {0, 0xffffffffu}};
  for (const Case& c : cases) {
    EXPECT_EQ(ZeRndrStreamAddZBState(b.w, c.zwrite), b.w + 12);
    EXPECT_EQ(b.w[9], c.upper) << c.zwrite;
    EXPECT_EQ(b.w[10], uint32_t(GS_ZBUF_1));
    EXPECT_EQ(ZeRndrStreamAddZBStateNoDmaTag(b.w, c.zwrite), b.w + 8);
    EXPECT_EQ(b.w[5], c.upper) << c.zwrite;
  }
  ZeRndrStreamClearZBState();
  EXPECT_EQ(ZeRndrStreamAddZBState(b.w, 1), b.w);
}

TEST_F(Streams, MaterialsSetTheirTextureStateBlockAndDepthWrites) {
  alignas(16) static int tex5[4] = {5}, tex5b[4] = {5}, freed[4] = {-1};
  auto* m1 = reinterpret_cast<ZEMTL*>(tex5);
  auto* m2 = reinterpret_cast<ZEMTL*>(tex5b);
  EXPECT_HALT(ZeRndrStreamAddMtl(rndrstream_3d_l, m1), "ZeMtlValid is not available");

  zerndrstream_mtl_if = {FakeValid,   FakeStateBlock, FakeZupd, FakeTexture, FakeTexFlag,
                         [](ZEMTL*) { return 0u; }, FakeAccomodate, FakeTexSet, FakeTex0, [] { return 0x3000; }};
  g_calls.clear();
  ZeRndrStreamSetZBState(0x1180, PSMZ24, 0);
  ZeRndrStreamLink(rndrstream_3d_l);
  uint32_t* p = rndrstream_3d_l->write;
  EXPECT_EQ(ZeRndrStreamAddMtl(rndrstream_3d_l, reinterpret_cast<ZEMTL*>(freed)), 0);
  EXPECT_EQ(rndrstream_3d_l->write.get(), p);
  EXPECT_EQ(ZeRndrStreamAddMtl(rndrstream_3d_l, m1), 1);
  EXPECT_EQ(g_calls, "res5.0 set5.1 ");
  EXPECT_EQ(p[4], 0x7e000005u);
  EXPECT_EQ(p[8] >> 28, uint32_t(DMATAG_CALL));
  EXPECT_EQ(p[9], EeAddrOf(g_stateBlock));
  EXPECT_EQ(p[12 + 9], 0u) << "the material writes depth: ZMSK clear";
  EXPECT_EQ(rndrstream_3d_l->write.get(), p + 8 + 4 + 12);
  // The same material again writes nothing; another one with the same
  // texture writes only its state.
  EXPECT_EQ(ZeRndrStreamAddMtl(rndrstream_3d_l, m1), 1);
  EXPECT_EQ(rndrstream_3d_l->write.get(), p + 24);
  EXPECT_EQ(ZeRndrStreamAddMtl(rndrstream_3d_l, m2), 1);
  EXPECT_EQ(rndrstream_3d_l->write.get(), p + 24 + 16);
  EXPECT_EQ(g_calls, "res5.0 set5.1 ");
  // A stream that takes no materials only makes it current.
  ZeRndrStreamLink(rndrstream_system);
  uint32_t* q = rndrstream_system->write;
  EXPECT_EQ(ZeRndrStreamAddMtl(rndrstream_system, m1), 1);
  EXPECT_EQ(rndrstream_system->write.get(), q);
  EXPECT_EQ(rndrstream_system->mtl.get(), m1);
  EXPECT_EQ(ZeRndrStreamAddMtl(rndrstream_system, nullptr), 1);
  EXPECT_EQ(rndrstream_system->mtl.get(), nullptr);
  // A texture set directly becomes the stream's texture.
  ZeRndrStreamLink(rndrstream_3d_u);
  EXPECT_EQ(ZeRndrStreamAddTex(rndrstream_3d_u, 9, 0), 0x1009u);
  EXPECT_EQ(rndrstream_3d_u->tid, 9);
  ZeRndrStreamFlush();
  EXPECT_EQ(rndrstream_3d_u->vram_top, 0x3000);
  ZeRndrStreamMtlIfReset();
  ZeRndrStreamClearZBState();
}

TEST_F(Streams, OverflowFailsBeforeAnythingIsWritten) {
  const int left = int(reinterpret_cast<uint8_t*>(rndrstream_buffer[0]) + rndrstream_buffer_size -
                       reinterpret_cast<uint8_t*>(rndrstream_free));
  uint32_t* before = rndrstream_free;
  EXPECT_HALT(ZeRndrStreamAlloc(left / 16 + 1), "Stream buffer overflow - crash soon");
  EXPECT_EQ(rndrstream_free, before);
  // Memory up to the link reserve can still be taken; then a link fails.
  ZeRndrStreamAlloc((left - ZERNDRSTREAM_LINK_RESERVE) / 16);
  WritePacket(rndrstream_2d, 0x2d);
  uint32_t* end = rndrstream_free;
  EXPECT_HALT(WritePacket(rndrstream_3d_l, 0x3d), "Stream buffer overflow - crash soon");
  EXPECT_EQ(rndrstream_3d_l->first.get(), nullptr) << "nothing linked";
  EXPECT_EQ(rndrstream_free, end);
  EXPECT_HALT(ZeRndrStreamInit(1000), "too small");
}

TEST_F(Streams, FramesAlternateBuffersAndTheIdleBufferIsLentOut) {
  EXPECT_EQ(frame_base, reinterpret_cast<uint32_t*>(rndrstream_buffer[0]));
  EXPECT_EQ(ZeStreamGetOutputBuffer(0), rndrstream_buffer[0]);
  EXPECT_EQ(ZeStreamGetOutputBuffer(7), rndrstream_buffer[1]);
  ZeRndrSwapStreamBuffers();
  EXPECT_EQ(rndrstream_frame_index, 1);
  EXPECT_EQ(frame_base, reinterpret_cast<uint32_t*>(rndrstream_buffer[1]));
  EXPECT_EQ(rndrstream_start, nullptr);
  ZeRndrStreamFlush();
  EXPECT_EQ(ReadChain(rndrstream_start), (Seq{SETUP, "end"}));
  ZeRndrSwapStreamBuffers();
  EXPECT_EQ(frame_base, reinterpret_cast<uint32_t*>(rndrstream_buffer[0]));
}
