#include "zecore.h"
#include "zeps2.h"
#include "platform_test.h"

#include <fstream>
#include <sstream>

namespace {

struct ZeError_ : testing::Test {
  void TearDown() override {
    errmsg_trap = 0;
    errmsg_to_file = 0;
    errmsg_disabled = 0;
    errmsg_to_console = 1;
  }
};

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

int CounterOf(const std::string& line) { return std::stoi(line.substr(0, 5)); }

}  // namespace

TEST_F(ZeError_, CallSiteIsReportedByItsLastPathComponent) {
  struct Case { const char* path; const char* shown; } cases[] = {
      {"ze2\\zecore\\zefile.c", "zefile.c"}, {"/src/ze2/zecore/zemem.cpp", "zemem.cpp"},
      {"plain.c", "plain.c"}, {"mixed/dir\\last.c", "last.c"},
  };
  for (const Case& c : cases) {
    ConsoleCaptureScope capture;
    ZeDebugMsgProlog(c.path, 42)("hello");
    std::string out = capture.text();
    EXPECT_NE(out.find(std::string(" ZeDebugMsg - ") + c.shown + "(42) : hello\r\n"), std::string::npos) << out;
  }
}

TEST_F(ZeError_, TheTwoDebugKindsCountSeparatelyAndDisabledCountsNothing) {
  ConsoleCaptureScope capture;
  ZeDebugMsg("one");
  std::string first = capture.text();
  capture.clear();
  ZeDebugMsgTTY(0, "tty");
  std::string tty = capture.text();
  capture.clear();
  errmsg_disabled = 1;
  ZeDebugMsg("dropped");
  ZeDebugMsgTTY(0, "dropped");
  EXPECT_EQ(capture.text(), "");
  errmsg_disabled = 0;
  ZeDebugMsg("two");
  std::string second = capture.text();
  EXPECT_EQ(CounterOf(second), CounterOf(first) + 1);
  EXPECT_NE(tty.find(" ZeDebugMsgTTY - "), std::string::npos);
  EXPECT_EQ(second.substr(5, 15), " ZeDebugMsg - z");
}

TEST_F(ZeError_, LogFileIsCreatedThenAppended) {
  std::string dir = TestTempDir();
  PlatSetHostRoot(dir.c_str());
  ConsoleCaptureScope capture;
  ZeDebugMsg("start channels");  // the first message of a run empties the log
  errmsg_to_file = 1;
  ZeDebugMsg("first %d", 1);
  ZeDebugMsg("second");
  std::string log = ReadFile(dir + "/ZE2.ERR");
  EXPECT_NE(log.find("first 1\r\n"), std::string::npos);
  EXPECT_LT(log.find("first 1"), log.find("second"));
  EXPECT_EQ(capture.text().find("first"), std::string::npos) << "the file replaces the console";
  {
    std::ofstream f(dir + "/ZE2.ERR", std::ios::app);
    f << "kept\n";
  }
  ZeDebugMsgTTY(5, "third");
  log = ReadFile(dir + "/ZE2.ERR");
  EXPECT_LT(log.find("kept\n"), log.find("third"));
  PlatSetHostRoot(nullptr);
}

TEST_F(ZeError_, MessagesAreCutToTheirBuffersAndPrintedAsPlainText) {
  ConsoleCaptureScope capture;
  std::string huge(5000, 'x');
  ZeDebugMsg("%s", huge.c_str());
  std::string line = capture.text();
  EXPECT_EQ(line.size(), 1023u);
  EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
  capture.clear();
  ttyPrintf(0, "%s", huge.c_str());
  EXPECT_EQ(capture.text().size(), size_t(ZETTY_MAXTEXT));
  capture.clear();
  ZeDebugMsg("%s", "100%d %s");
  EXPECT_NE(capture.text().find(": 100%d %s\r\n"), std::string::npos);
  std::string out;
  EXPECT_TRUE(RunExpectingHalt([&] { ZeError("%s", huge.c_str()); }, &out));
  EXPECT_NE(out.find(std::string(4095, 'x') + "\n"), std::string::npos);
  EXPECT_EQ(out.find(std::string(4096, 'x')), std::string::npos);
}

TEST_F(ZeError_, OutOfRangeChannelsSendOnChannelZero) {
  for (int ch : {12, -1, 0}) {
    ConsoleCaptureScope capture;
    ttyPrintf(ch, "on %d\n", ch);
    EXPECT_EQ(capture.text(), "on " + std::to_string(ch) + "\n");
  }
  ConsoleCaptureScope capture;
  ttyPrintf(3, "three\n");
  EXPECT_EQ(capture.text(), "tty3: three\n");
}

TEST_F(ZeError_, FatalErrorsWarningsAndAssertsStopAndSetTheTrap) {
  EXPECT_HALT(ZeErrorProlog("a\\b.c", 7)("bad %d", 3), "ZeError - b.c(7) : bad 3\n");
  EXPECT_EQ(errmsg_trap, 2);
  errmsg_trap = 0;
  EXPECT_HALT(ZeWarningProlog("w.c", 8)("careful"), "ZeWarning - w.c(8) : careful\n");
  EXPECT_EQ(errmsg_trap, 0);
  EXPECT_HALT(ZeAssertMsg("mod\\x.c", 9, "n > 0"), "ZeAssert - mod\\x.c(9) : assert(n > 0) failed!");
  EXPECT_EQ(errmsg_trap, 1);
  errmsg_to_console = 0;
  std::string out;
  EXPECT_TRUE(RunExpectingHalt([] { ZeError("quiet"); }, &out));
  EXPECT_EQ(out, "");
  EXPECT_EQ(errmsg_trap, 3);
}

TEST_F(ZeError_, ErrorCheckRaisesWhatTheTrapHolds) {
  ZeErrorCheck("Main Thread");  // nothing trapped: returns
  errmsg_trap = 1;
  EXPECT_HALT(ZeErrorCheck("Main Thread"), "ASSERT trapped - Main Thread");
  errmsg_trap = 3;
  EXPECT_HALT(ZeErrorCheck("Main Thread"), "ZeError trapped - Main Thread");
}

namespace {
int g_loaderLine;
void FailingLoader(void*) {
  g_loaderLine = __LINE__ + 1;
  ZeError("cannot read level");
}
}  // namespace

TEST_F(ZeError_, FatalErrorInTheLoaderThreadIsRaisedAgainByTheMainThread) {
  ConsoleCaptureScope capture;
  ThreadParam tp{};
  tp.func = FailingLoader;
  tp.initPriority = 1;
  tp.stackSize = 64 * 1024;
  StartThread(CreateThread(&tp), nullptr);
  KernelWaitVSync();  // the loader runs, fails and is parked
  EXPECT_NE(capture.text().find("ZeError - zeerror_test.cpp(" + std::to_string(g_loaderLine) +
                                ") : cannot read level"), std::string::npos);
  EXPECT_HALT(ZeErrorCheck("Main Thread"), "ZeError trapped - Main Thread");
}

TEST_F(ZeError_, DebugMessagesHoldTheVerticalBlankEnd) {
  static int seenHold = -1;
  vblanke_installed = 1;
  int id = AddIntcHandler(INTC_VBLANK_E, [](int) { seenHold = vblanke_hold; return 0; }, 0);
  EnableIntc(INTC_VBLANK_E);
  std::string dir = TestTempDir();
  PlatSetHostRoot(dir.c_str());
  errmsg_to_file = 1;
  IntcRaise(INTC_VBLANK_E);
  ZeDebugMsg("while pending");  // the log write is a safe point; delivery waits for the release
  EXPECT_EQ(seenHold, 0) << "delivered at the release, after the hold was dropped";
  EXPECT_EQ(vblanke_hold, 0);
  PlatSetHostRoot(nullptr);
  DisableIntc(INTC_VBLANK_E);
  RemoveIntcHandler(INTC_VBLANK_E, id);
  vblanke_installed = 0;
}
