#include "gfx_test.h"
#include "platform_test.h"

#include <bit>
#include <cstring>
#include <string>

namespace {

// Uploads an image of size instructions named name at instr through VIF1.
void Upload(int instr, const char* name, int size) {
  std::vector<uint32_t> w = {0, VifCode(VIF_MPG, uint32_t(instr), uint32_t(size & 0xff))};
  size_t at = w.size();
  w.resize(at + size_t(size) * 2, 0);
  Vu1Signature sig{VU1_SIG_MAGIC, uint32_t(size), {}};
  strncpy(sig.name, name, VU1_SIG_NAME - 1);
  memcpy(&w[at], &sig, sizeof sig);
  VifWrite(1, w.data(), int(w.size()));
}

void Code(uint32_t code) { VifWrite(1, &code, 1); }

struct Vu1 : testing::Test {
  void SetUp() override {
    VifReset(1);
    GifReset();
    Vu1Reset();
    memset(Vu1MicroMem(), 0, VU1_MICRO_SIZE);
    Upload(0x000, "other", 0x40);  // clears any map entries left by other tests
    Upload(0x040, "other", 0x40);
  }
};

}  // namespace

TEST_F(Vu1, TheMapFollowsSignaturesAndMscalFindsTheProgram) {
  Upload(0x300, "vu1test", 8);
  EXPECT_STREQ(Vu1ProgramAt(0x300), "vu1test");
  EXPECT_STREQ(Vu1ProgramAt(0x307), "vu1test");
  EXPECT_EQ(Vu1ProgramAt(0x308), nullptr);
  EXPECT_STREQ(Vu1ProgramAt(0x000), "other");

  // +0 kicks the packet at TOP, +4 the one at ITOP; MSCNT goes on where
  // the program stopped.
  PutAdPacket(Vu1Quad(0), GS_LABEL, 1);
  PutAdPacket(Vu1Quad(0x20), GS_LABEL, 2);
  GsCapture gs;
  Code(VifCode(VIF_ITOP, 0x20));
  Code(VifCode(VIF_MSCAL, 0x300));  // TOP is 0 (no BASE or OFFSET)
  EXPECT_EQ(gs.Values(GS_LABEL), (std::vector<uint64_t>{1}));
  float one[4] = {1, 1, 1, 1};
  memcpy(Vu1Quad(0), one, 16);
  memcpy(Vu1Quad(1), one, 16);
  Code(VifCode(VIF_MSCNT));  // +2
  EXPECT_EQ(Vu1Vf(1)[2], 2.0f);
  uint32_t v[4];
  Vu0ViewRead(0x401, v);
  EXPECT_EQ(v[2], std::bit_cast<uint32_t>(2.0f)) << "VU0 sees VU1's registers";
  Code(VifCode(VIF_MSCNT));  // +4
  EXPECT_EQ(gs.Values(GS_LABEL), (std::vector<uint64_t>{1, 2}));
}

TEST_F(Vu1, NoProgramUnknownNamesAndOverwrittenProgramsAreFatal) {
  EXPECT_HALT(Code(VifCode(VIF_MSCAL, 0x500)), "no program is loaded");
  VifReset(1);
  Upload(0x300, "nosuchprogram", 16);
  EXPECT_HALT(Code(VifCode(VIF_MSCAL, 0x305)), "no native program named \"nosuchprogram\"");
  VifReset(1);
  Upload(0x300, "vu1test", 16);
  uint32_t mpg[] = {VifCode(VIF_MPG, 0x300, 1), 0, 0};  // one instruction over the signature
  VifWrite(1, mpg, 3);
  EXPECT_EQ(Vu1ProgramAt(0x302), nullptr);
  EXPECT_HALT(Code(VifCode(VIF_MSCAL, 0x302)), "overwritten");
  VifReset(1);
  EXPECT_HALT(Upload(0x7fe, "vu1test", 8), "damaged program signature");
  VifReset(1);
}
