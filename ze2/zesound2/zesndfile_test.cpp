#include "zesound2_testutil.h"
#include "zecore.h"

namespace {

std::vector<uint8_t> Pattern(int size) {
  std::vector<uint8_t> v(static_cast<size_t>(size));
  for (int i = 0; i < size; i++) v[size_t(i)] = uint8_t(i * 31 + (i >> 8));
  return v;
}

struct SoundFiles : SoundClient {
  std::vector<uint8_t> big = Pattern(100000), small = Pattern(1000);
  uint8_t* raw = nullptr;
  uint8_t* buf = nullptr;  // 64-byte aligned
  void SetUp() override {
    SoundClient::SetUp();
    Write("data/big.bin", big);
    Write("data/small.bin", small);
    raw = static_cast<uint8_t*>(EeMalloc(128 * 1024 + 64));
    buf = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(raw) + 63) & ~uintptr_t(63));
    ZeSndCacheHandel = 0;
    // The file layer on the host medium, reading through the module.
    ZeFileInit(0);
    ZeFileSetCurrentDirectory("data");
    zefile_buffering_enabled = 0;
    zesound_enabled = 1;
  }
  void TearDown() override {
    for (int fd = ZESOUND_FD_FIRST; fd < ZESOUND_FD_FIRST + ZESOUND_FILES; fd++)
      if (zesound_files[fd - ZESOUND_FD_FIRST].open) ZeFileClose(fd + 1);
    zesound_enabled = 0;
    ZeFileSetCurrentDirectory("");
    EeFree(raw);
    SoundClient::TearDown();
  }
  bool Same(const uint8_t* got, const std::vector<uint8_t>& file, int at, int n) {
    return memcmp(got, file.data() + at, size_t(n)) == 0;
  }
};

}  // namespace

TEST_F(SoundFiles, SmallReadsFillTheCacheAndAreServedFromIt) {
  ZEFILE h = ZeFileOpen("small.bin", 0);
  int fd = h - 1;
  ASSERT_EQ(fd, ZESOUND_FD_FIRST);
  EXPECT_EQ(ZeFileOpenSize(h), 1000);
  uint32_t loads = SOUND_EE_TRAN_COUNT;
  EXPECT_EQ(ZeFileRead(h, buf, 100), 100);
  EXPECT_TRUE(Same(buf, small, 0, 100));
  EXPECT_EQ(SOUND_EE_TRAN_COUNT, loads + 1);
  EXPECT_EQ(ZeSndCacheHandel, fd);
  EXPECT_EQ(ZeSndCacheStartPos, 0);
  EXPECT_EQ(ZeSndCacheEndPos, 1000) << "the whole file";
  EXPECT_EQ(ZeFileRead(h, buf, 100), 100);
  EXPECT_TRUE(Same(buf, small, 100, 100));
  EXPECT_EQ(SOUND_EE_TRAN_COUNT, loads + 1) << "a hit: no transfer";
  EXPECT_EQ(ZeFileRead(h, buf + 1, 100), 100) << "unaligned: the file layer's bounce buffer";
  EXPECT_TRUE(Same(buf + 1, small, 200, 100));
  EXPECT_EQ(SOUND_EE_TRAN_COUNT, loads + 1);
  // A read ending exactly at the cache end is no hit.
  ZeFileSeek(h, 900, 0);
  EXPECT_EQ(ZeFileRead(h, buf, 100), 100);
  EXPECT_TRUE(Same(buf, small, 900, 100));
  EXPECT_EQ(SOUND_EE_TRAN_COUNT, loads + 2);
  // At the end: nothing, and no transfer.
  EXPECT_EQ(ZeFileRead(h, buf, 100), 0);
  EXPECT_EQ(SOUND_EE_TRAN_COUNT, loads + 2);
  ZeFileClose(h);
  EXPECT_EQ(ZeSndCacheHandel, 0) << "closing the cache's file empties it";
}

TEST_F(SoundFiles, LargeReadsGoStraightToTheBufferWithTheTailThroughTheCache) {
  ZEFILE h = ZeFileOpen("big.bin", 0);
  ConsoleCaptureScope console;
  memset(buf, 0xEE, 40010 + 64);
  ASSERT_NE(big[40010], 0xEE);
  uint32_t loads = SOUND_EE_TRAN_COUNT;
  EXPECT_EQ(ZeFileRead(h, buf, 40010), 40010);
  EXPECT_EQ(SOUND_EE_TRAN_COUNT, loads + 2) << "40,000 bytes directly, then the tail";
  EXPECT_TRUE(Same(buf, big, 0, 40010));
  EXPECT_NE(console.text().find("ZeFileLoadBuffer - memory was going to be damaged"), std::string::npos);
  EXPECT_EQ(ZeSndCacheStartPos, 40000);
  EXPECT_EQ(ZeSndCacheEndPos, 40010);
  EXPECT_EQ(buf[40010], 0xEE) << "nothing past the read is written";
  // Aligned whole units: one direct transfer, no tail.
  console.clear();
  ZeFileSeek(h, 64, 0);
  EXPECT_EQ(ZeFileRead(h, buf, 65536), 65536);
  EXPECT_TRUE(Same(buf, big, 64, 65536));
  EXPECT_EQ(SOUND_EE_TRAN_COUNT, loads + 3);
  EXPECT_EQ(console.text().find("damaged"), std::string::npos);
  // The last bytes of the file, from the end: fewer than asked.
  EXPECT_EQ(ZeFileSeek(h, 16, 2), 100000 - 16);
  EXPECT_EQ(ZeFileRead(h, buf, 64), 16);
  EXPECT_TRUE(Same(buf, big, 100000 - 16, 16));
}

TEST_F(SoundFiles, SeeksAreNotClampedButReadsRefuseANegativeRange) {
  int fd = ZeFileOpen("big.bin", 0) - 1;
  EXPECT_EQ(ZeSoundFSeek(fd, 0, 2), 100000);
  EXPECT_EQ(ZeSoundFSeek(fd, 16, 2), 100000 - 16);
  EXPECT_EQ(ZeSoundFSeek(fd, -100, 1), 100000 - 116);
  EXPECT_EQ(ZeSoundFSeek(fd, 200000, 0), 200000);
  EXPECT_EQ(ZeSoundFRead(fd, buf, 10), 0);
  uint32_t loads = SOUND_EE_TRAN_COUNT;
  EXPECT_EQ(ZeSoundFSeek(fd, -64, 0), -64);
  EXPECT_EQ(ZeSoundFRead(fd, buf, 128), 0);
  ZeSoundFSeek(fd, 0, 0);
  EXPECT_EQ(ZeSoundFRead(fd, buf, -5), 0);
  EXPECT_EQ(SOUND_EE_TRAN_COUNT, loads) << "nothing reached the module";
}

TEST_F(SoundFiles, EveryOpenAndTransferTakesTheNextOfSixteenIds) {
  zesound_file_id = 1037;
  ZEFILE h = ZeFileOpen("small.bin", 0);
  EXPECT_EQ(zesound_file_id, 1038);
  ZeFileRead(h, buf, 10);
  EXPECT_EQ(zesound_file_id, 1039);
  ZeFileSeek(h, 990, 0);
  ZeFileRead(h, buf, 10);
  EXPECT_EQ(zesound_file_id, 1024) << "1039 wraps to 1024";
  ZeFileSeek(h, 0, 0);
  ZeFileRead(h, buf, 10);
  EXPECT_EQ(zesound_file_id, 1025);
  EXPECT_TRUE(Same(buf, small, 0, 10)) << "a reused id reads the right file";
}

TEST_F(SoundFiles, MisuseStopsTheProgramAndAMissingFileFailsTheOpen) {
  EXPECT_EQ(ZeSoundFOpen("host0:DATA\\NONE.BIN", 0), -1);
  EXPECT_EQ(ZeFileOpen("none.bin", 0), 0);
  EXPECT_EQ(zesound_files[0].open, 0);
  int fds[16];
  for (int i = 0; i < 16; i++) ASSERT_EQ(fds[i] = ZeFileOpen("small.bin", 0) - 1, 17 + i);
  EXPECT_HALT(ZeFileOpen("small.bin", 0), "to many files open simultaneously in ZeSound");
  EXPECT_HALT(ZeSoundFRead(fds[0], buf + 4, 10), "Data MUST be 64 byte aligned for this function to work");
  ZeFileClose(fds[3] + 1);
  EXPECT_HALT(ZeSoundFRead(fds[3], buf, 10), "Attempted to Read ZeSoundFile with a closed file handel");
  EXPECT_HALT(ZeSoundFSeek(fds[3], 0, 0), "Attempted to Seek ZeSoundFile with a closed file hnadel");
  EXPECT_HALT(ZeSoundFOpenSize(fds[3]), "Attempted to FOpenSize ZeSoundFile with a closed file handel");
  EXPECT_HALT(ZeSoundFClose(fds[3]), "Attempted to close ZeSoundFile without open");
  EXPECT_HALT(ZeSoundFClose(99), "Attempted to close ZeSoundFile without open");
}

TEST_F(SoundFiles, AModuleThatStopsAnsweringIsAFatalErrorNotAnEndlessPoll) {
  SndModuleUnload();
  EXPECT_HALT(ZeSoundFOpen("host0:DATA\\SMALL.BIN", 0), "never answered");
  ASSERT_EQ(SndModuleLoad(PSOUND_NULL), 0);
}

namespace {

// The loader-thread side of a read that the main thread cuts short.
struct CutRead {
  int fd, sema, got;
  uint8_t* buf;
};

void LoaderRead(void* arg) {
  CutRead* r = static_cast<CutRead*>(arg);
  r->got = ZeFileRead(r->fd + 1, r->buf, 128 * 1024);
  SignalSema(r->sema);
  for (;;) SleepThread();
}

}  // namespace

TEST_F(SoundFiles, AReadCutShortByAStreamStopReturnsOnlyWhatArrived) {
  Write("data/huge.bin", Pattern(200000));
  std::vector<uint8_t> huge = Pattern(200000);
  ZEFILE h = ZeFileOpen("huge.bin", 0);
  int fd = h - 1;
  memset(buf, 0xEE, 128 * 1024);
  SndModuleSetLoadRate(64);  // 128 KB take eight fields
  SemaParam sp{};
  sp.maxCount = 1;
  CutRead r{fd, CreateSema(&sp), -1, buf};
  ThreadParam tp{};
  tp.func = LoaderRead;
  tp.initPriority = 1;
  tp.stackSize = 64 * 1024;
  int loader = CreateThread(&tp);
  StartThread(loader, &r);  // runs while this thread waits for the field
  KernelWaitVSync();
  ZeSoundKillAllAudio();  // leaving a level: streams 0-3 stopped, among them the reader's
  SOUND_StopStream(ZESOUND_FILE_STREAM);
  WaitSema(r.sema);
  TerminateThread(loader);
  DeleteThread(loader);
  DeleteSema(r.sema);
  EXPECT_GT(r.got, 0);
  EXPECT_LT(r.got, 128 * 1024) << "not the full length";
  EXPECT_TRUE(Same(buf, huge, 0, r.got)) << "what is returned arrived";
  EXPECT_EQ(ZeFilePos(h), r.got);
  SndModuleSetLoadRate(SND_LOAD_RATE);
  EXPECT_EQ(ZeFileRead(h, buf, 1024), 1024) << "the next read goes on from there";
  EXPECT_TRUE(Same(buf, huge, r.got, 1024));
}
