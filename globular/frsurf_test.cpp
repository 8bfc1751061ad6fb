// Asynchronous reads: priorities, the loader hand-over, cancelling, the
// immediate mode, rates across a timer wrap, and reads that fail.
#include "globular.h"
#include "platform_test.h"

#include <filesystem>
#include <fstream>

namespace {

struct Async : testing::Test {
  static constexpr int SIZE = 64 * 1024;
  std::string dir = TestTempDir();
  char* buffer = nullptr;
  ZEFILE file = 0;
  uint8_t* data = nullptr;
  void SetUp() override {
    errmsg_disabled = 1;
    PlatSetHostRoot(dir.c_str());
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    std::ofstream f(dir + "/data.bin", std::ios::binary);
    for (int i = 0; i < 4096; i++) f.put(char(i * 7));
    f.close();
    file = ZeFileOpen("data.bin", 0);
    ASSERT_NE(file, 0);
    buffer = static_cast<char*>(EeMalloc(SIZE));
    char* pos = buffer;
    AsyncFileInit(&pos, buffer + SIZE);
    data = reinterpret_cast<uint8_t*>(pos);
    asyncfileload = 1;
    asyncfile_lastrate = asyncfile_maxrate = asyncfile_avgrate = 0;
    zerndr_pixel_height = 448;
  }
  void TearDown() override {
    bgload_next_gb_data = nullptr;
    bgload_pending = 0;
    asyncfileload = 1;
    ZeFileClose(file);
    EeFree(buffer);
    PlatSetHostRoot(nullptr);
    errmsg_disabled = 0;
  }
  // One frame: the main thread's step, then the loader's turn.
  ASYNCFILEREQ* Frame() {
    AsyncFileProcess();
    ASYNCFILEREQ* started = bgload_next_gb_data;
    BGLoadServeGbData();
    return started;
  }
  bool Holds(int at, int from, int n) {
    for (int i = 0; i < n; i++)
      if (data[at + i] != uint8_t((from + i) * 7)) return false;
    return true;
  }
};

TEST_F(Async, PriorityFirstThenFirstInFirstOut) {
  uint8_t done[3];
  AsyncFileRead(file, 100, data, 16, &done[0], 3);
  AsyncFileRead(file, 200, data + 16, 16, &done[1], 3);
  AsyncFileRead(file, 300, data + 32, 16, &done[2], 1);
  EXPECT_EQ(AsyncFilePending(), 3);
  EXPECT_LT(done[0], ASYNCFILE_POOL);
  EXPECT_NE(done[0], done[1]);
  std::vector<int> order;
  for (int i = 0; i < 3; i++) order.push_back(Frame()->position);
  EXPECT_EQ(order, (std::vector<int>{300, 100, 200}));
  // The last read counts until the frame after the loader finished it.
  EXPECT_EQ(AsyncFilePending(), 1);
  EXPECT_NE(done[1], 255);
  EXPECT_EQ(Frame(), nullptr);
  EXPECT_EQ(AsyncFilePending(), 0);
  EXPECT_EQ(done[0], 255);
  EXPECT_EQ(done[1], 255);
  EXPECT_EQ(done[2], 255);
  EXPECT_TRUE(Holds(0, 100, 16) && Holds(16, 200, 16) && Holds(32, 300, 16));
}

TEST_F(Async, NothingStartsWhileTheLoaderIsBusy) {
  uint8_t done;
  AsyncFileRead(file, 0, data, 8, &done, 0);
  bgload_pending = 1;
  AsyncFileProcess();
  EXPECT_EQ(bgload_next_gb_data.get(), nullptr);
  bgload_pending = 0;
  AsyncFileProcess();
  EXPECT_NE(bgload_next_gb_data.get(), nullptr);
  AsyncFileProcess();  // still in the slot: not finished
  EXPECT_NE(done, 255);
  BGLoadServeGbData();
  AsyncFileProcess();
  EXPECT_EQ(done, 255);
}

TEST_F(Async, CancelOnlyWhileQueued) {
  uint8_t a, b;
  AsyncFileRead(file, 0, data, 8, &a, 2);
  AsyncFileRead(file, 8, data + 8, 8, &b, 2);
  AsyncFileProcess();  // a in flight
  EXPECT_EQ(AsyncFileCancel(&a), 0);
  EXPECT_EQ(AsyncFileCancel(&b), 1);
  EXPECT_EQ(b, 255);
  EXPECT_EQ(AsyncFilePending(), 1);
  EXPECT_EQ(AsyncFileCancel(&b), 0);  // the byte names nothing any more
  BGLoadServeGbData();
  AsyncFileProcess();
  EXPECT_EQ(a, 255);
  EXPECT_EQ(AsyncFilePending(), 0);
  EXPECT_EQ(bgload_next_gb_data.get(), nullptr);  // the cancelled read never reached the loader
}

TEST_F(Async, ImmediateModeReadsBeforeReturning) {
  asyncfileload = 0;
  uint8_t done;
  AsyncFileRead(file, 1000, data, 64, &done, 5);
  EXPECT_EQ(done, 255);
  EXPECT_TRUE(Holds(0, 1000, 64));
  EXPECT_EQ(AsyncFilePending(), 0);
  // Without a done byte too.
  AsyncFileRead(file, 50, data, 4, nullptr, 0);
  EXPECT_TRUE(Holds(0, 50, 4));
}

TEST_F(Async, RatesAcrossATimerWrap) {
  uint8_t done;
  AsyncFileRead(file, 0, data, 2048, &done, 0);
  TimerSetCount(0, 65530);
  AsyncFileProcess();
  BGLoadServeGbData();
  TimerSetCount(0, 26);  // 32 lines later, through the wrap
  AsyncFileProcess();
  EXPECT_EQ(done, 255);
  EXPECT_EQ(asyncfile_lastrate, int(2048.0f / (32.0f / 448.0f)));
  EXPECT_EQ(asyncfile_maxrate, asyncfile_lastrate);
  EXPECT_EQ(asyncfile_avgrate, asyncfile_lastrate / 16);
}

TEST_F(Async, RequestsWithoutAFileWaitAndHoldUpTheQueue) {
  uint8_t z, b;
  AsyncFileRead(0, 0, data, 8, &z, 1);
  AsyncFileRead(file, 0, data, 8, &b, 4);
  for (int i = 0; i < 3; i++) EXPECT_EQ(Frame(), nullptr);
  EXPECT_LT(z, ASYNCFILE_POOL);  // not shown as loaded
  EXPECT_EQ(AsyncFilePending(), 2);
  AsyncFileProcessAll();  // reads what it can; the request without a file stays
  EXPECT_EQ(b, 255);
  EXPECT_LT(z, ASYNCFILE_POOL);
  EXPECT_EQ(AsyncFilePending(), 1);
  EXPECT_EQ(AsyncFileCancel(&z), 1);
}

TEST_F(Async, ShortReadsAndAFullPoolAreFatal) {
  uint8_t done;
  AsyncFileRead(file, 4000, data, 200, &done, 0);
  AsyncFileProcess();
  EXPECT_HALT(BGLoadServeGbData(), "file " + std::to_string(file) + " at 4000: 96 of 200 bytes");
  bgload_pending = 0;
  asyncfileload = 0;
  EXPECT_HALT(AsyncFileRead(file, 4090, data, 10, &done, 7), "at 4090: 6 of 10 bytes");
  asyncfileload = 1;
  char* pos = buffer;
  AsyncFileInit(&pos, buffer + SIZE);
  bgload_next_gb_data = nullptr;
  for (int i = 0; i < ASYNCFILE_POOL; i++) AsyncFileRead(file, 0, data, 1, nullptr, i & 7);
  EXPECT_HALT(AsyncFileRead(file, 0, data, 1, nullptr, 0), "assert");
  EXPECT_HALT(AsyncFileRead(file, 0, data, 1, nullptr, 8), "priority 8");
}

}  // namespace
