#include "zeps2.h"
#include "zecore.h"
#include "platform_test.h"

#include <fstream>
#include <sstream>
#include <string>

namespace {

struct McCalls : testing::Test {
  std::string root;
  void SetUp() override {
    root = TestTempDir();
    PlatSetMemCardRoot(root.c_str());
    ASSERT_EQ(sceMcFormat(0, 0), 0);
    ASSERT_EQ(sceMcSync(0, nullptr, nullptr), sceMcExecFinish);
  }
  void TearDown() override { PlatSetMemCardRoot(nullptr); }
  std::string HostBytes(const char* name) {
    std::ifstream f(root + "/mc0-0/" + name, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
};

}  // namespace

TEST_F(McCalls, TypedValuesRoundTripLittleEndian) {
  int fd = ZeMcOpen(0, 0, "VALUES", SCE_WRONLY | SCE_CREAT | SCE_TRUNC, 0);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(ZeMcWriteShort(fd, 0x12345, 0), 2);
  EXPECT_EQ(ZeMcWriteChar(fd, 0x1ff, 0), 1);
  EXPECT_EQ(ZeMcWriteInt(fd, -2, 0), 4);
  EXPECT_EQ(ZeMcWriteUnsignedInt(fd, 0xdeadbeefu, 0), 4);
  EXPECT_EQ(ZeMcWriteFloat(fd, 1.5f, 0), 4);
  EXPECT_EQ(ZeMcWrite(fd, "\x80\xff\xff", 3, 0), 3);
  EXPECT_EQ(ZeMcClose(fd, 0), 0);
  EXPECT_EQ(HostBytes("VALUES").substr(0, 3), std::string("\x45\x23\xff", 3));

  fd = ZeMcOpen(0, 0, "VALUES", SCE_RDONLY, 0);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(ZeMcReadShort(fd), 0x2345);
  EXPECT_EQ(ZeMcReadChar(fd), -1);
  EXPECT_EQ(ZeMcReadInt(fd), -2);
  EXPECT_EQ(ZeMcReadUnsignedInt(fd), 0xdeadbeefu);
  EXPECT_EQ(ZeMcReadFloat(fd), 1.5f);
  EXPECT_EQ(ZeMcReadChar(fd), -128);
  EXPECT_EQ(ZeMcReadShort(fd), -1);
  EXPECT_EQ(ZeMcReadInt(fd), 0) << "a failed (short) read gives 0";
  EXPECT_EQ(ZeMcSeek(fd, 2, SCE_SEEK_SET, 0), 2);
  EXPECT_EQ(ZeMcReadChar(fd), -1);
  EXPECT_EQ(ZeMcClose(fd, 0), 0);
  EXPECT_EQ(ZeMcDelete(0, 0, "VALUES", 0), 0);
  EXPECT_EQ(ZeMcDelete(0, 0, "VALUES", 0), sceMcResNoEntry);
}

TEST_F(McCalls, UnwaitedCallsAndRefusals) {
  PlatMcSetLatency(1);
  int fd = ZeMcOpen(0, 0, "ASYNC", SCE_RDWR | SCE_CREAT, 1);
  EXPECT_EQ(fd, 0) << "the request's own value";
  int cmd, result;
  EXPECT_EQ(sceMcSync(1, &cmd, &result), sceMcExecRun);
  EXPECT_EQ(sceMcSync(1, &cmd, &result), sceMcExecFinish);
  ASSERT_GE(result, 0);
  fd = result;
  // The typed write's bytes go with the request.
  EXPECT_EQ(ZeMcWriteInt(fd, 0x11223344, 1), 0);
  EXPECT_EQ(ZeMcWriteInt(fd, 5, 0), sceMcResRefused) << "one command at a time, refused at once";
  EXPECT_EQ(sceMcSync(0, &cmd, &result), sceMcExecFinish);
  EXPECT_EQ(result, 4);
  PlatMcSetLatency(0);
  EXPECT_EQ(ZeMcClose(fd, 0), 0);
  EXPECT_EQ(HostBytes("ASYNC"), std::string("\x44\x33\x22\x11", 4));

  PlatMcRefuseNext(-77);
  EXPECT_EQ(ZeMcOpen(0, 0, "ASYNC", SCE_RDONLY, 0), -77) << "a waited call returns the refusal";
  PlatMcPullCard(0, 0);
  EXPECT_EQ(ZeMcOpen(0, 0, "ASYNC", SCE_RDONLY, 0), sceMcResNoCard);
}

namespace {

// The position of each line in text, in order; -1 for a line that is missing
// or out of order.
bool InOrder(const std::string& text, std::initializer_list<const char*> lines) {
  size_t at = 0;
  for (const char* l : lines) {
    at = text.find(l, at);
    if (at == std::string::npos) return false;
  }
  return true;
}

struct IopStartUp : testing::Test {
  void SetUp() override {
    ps2iop_started = 0;
    PlatIopReset();
  }
  void TearDown() override {
    PlatIopReset();
    ps2iop_started = 1;
  }
};

}  // namespace

TEST_F(IopStartUp, ModulesLoadOnceInOrderAndSoundIsOptional) {
  PlatIopSetSoundEnabled(false);
  ConsoleCaptureScope capture;
  ZePs2InitIOP();
  std::string text = capture.text();
  EXPECT_TRUE(InOrder(text, {"Loaded module sio2man\n", "Loaded module padman\n", "Loaded module mcman\n",
                             "Loaded module mcserv\n", "Loaded module libsd\n", "Loaded module sdrdrv\n",
                             "Can't load module zesound - sound services will be denied\n",
                             "sceMcInit result 0\n"}))
      << text;
  EXPECT_EQ(text.find("Loaded module zesound2"), std::string::npos);
  EXPECT_EQ(zesound_irx_loaded, 0);
  capture.clear();
  ZePs2InitIOP();
  EXPECT_EQ(capture.text(), "") << "a second call does nothing";

  ps2iop_started = 0;
  PlatIopSetSoundEnabled(true);
  ZePs2InitIOP();
  EXPECT_NE(capture.text().find("Loaded module zesound2\n"), std::string::npos);
  EXPECT_EQ(zesound_irx_loaded, 1);
  EXPECT_TRUE(PlatIopModuleLoaded("zesound2.irx"));
}

TEST_F(IopStartUp, AMissingRequiredModuleEndsTheProgramWithAFailure) {
  PlatIopFailModule("MCMAN.IRX", SIF_ERR_BIND);
  std::string text;
  EXPECT_TRUE(RunExpectingHalt([] { ZePs2InitIOP(); }, &text));
  EXPECT_TRUE(InOrder(text, {"Loaded module padman\n", "Can't load module mcman\n"})) << text;
  EXPECT_EQ(text.find("Loaded module mcman"), std::string::npos);
  EXPECT_EQ(text.find("mcserv"), std::string::npos) << "nothing after it loads";

  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ps2iop_started = 0;
  EXPECT_EXIT(ZePs2InitIOP(), testing::ExitedWithCode(1), "");
}
