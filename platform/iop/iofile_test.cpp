#include "platform_test.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

void MakeFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadAll(int fd) {
  std::string s;
  char buf[256];
  for (int n; (n = sceRead(fd, buf, sizeof buf)) > 0;) s.append(buf, size_t(n));
  return s;
}

struct FileIo : testing::Test {
  std::string dir = TestTempDir();
  void TearDown() override {
    PlatSetHostRoot(nullptr);
    PlatSetDiscRoot(nullptr);
  }
};

}  // namespace

TEST_F(FileIo, PathsResolveEveryComponentWithoutRegardToCase) {
  MakeFile(dir + "/Data/Levels/a.txt", "level a");
  MakeFile(dir + "/sys/Mixed.Bin", "mixed");
  PlatSetHostRoot(dir.c_str());
  struct Case { const char* path; const char* expect; } cases[] = {
      {"host0:DATA\\LEVELS\\A.TXT", "level a"}, {"host0:data\\levels\\a.txt", "level a"},
      {"host0:\\DATA\\\\LEVELS\\A.TXT", "level a"}, {"host0:SYS\\MIXED.BIN", "mixed"},
      {"host0:Data/Levels/a.txt", "level a"}, {"host0:DATA\\LEVELS\\..\\..\\SYS\\MIXED.BIN", "mixed"},
      {"host0:DATA\\LEVELS\\B.TXT", nullptr}, {"host0:..\\outside", nullptr},
      {"host0:DATA", nullptr}, {"cdrom0:\\DATA\\LEVELS\\A.TXT;1", nullptr}, {"mc0:x", nullptr},
  };
  for (const Case& c : cases) {
    int fd = sceOpen(c.path, SCE_RDONLY);
    if (!c.expect) {
      EXPECT_LT(fd, 0) << c.path;
      continue;
    }
    ASSERT_GE(fd, 0) << c.path;
    EXPECT_EQ(ReadAll(fd), c.expect) << c.path;
    sceClose(fd);
  }
}

TEST_F(FileIo, ListingsFollowFilesMadeAfterTheyWereRead) {
  PlatSetHostRoot(dir.c_str());
  MakeFile(dir + "/one.txt", "1");
  int fd = sceOpen("host0:ONE.TXT", SCE_RDONLY);
  ASSERT_GE(fd, 0);
  sceClose(fd);
  MakeFile(dir + "/two.txt", "2");  // the cached listing does not hold it yet
  fd = sceOpen("host0:TWO.TXT", SCE_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(ReadAll(fd), "2");
  sceClose(fd);
}

TEST_F(FileIo, WritesCreateTheNameAsGivenOrReuseAnyCase) {
  MakeFile(dir + "/out/old.log", "old");
  PlatSetHostRoot(dir.c_str());
  int fd = sceOpen("host0:OUT\\NEW.LOG", SCE_WRONLY | SCE_CREAT | SCE_TRUNC);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(sceWrite(fd, "new", 3), 3);
  sceClose(fd);
  EXPECT_TRUE(std::filesystem::exists(dir + "/out/NEW.LOG"));
  fd = sceOpen("host0:OUT\\OLD.LOG", SCE_RDWR | SCE_APPEND);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(sceWrite(fd, "+", 1), 1);
  sceClose(fd);
  std::ifstream f(dir + "/out/old.log");
  std::string text;
  f >> text;
  EXPECT_EQ(text, "old+");
  EXPECT_LT(sceOpen("host0:NODIR\\X.LOG", SCE_WRONLY | SCE_CREAT), 0) << "directories are not made";
  EXPECT_LT(sceOpen("host0:OUT\\MISSING.LOG", SCE_RDWR | SCE_APPEND), 0) << "no create flag, no file";
}

TEST_F(FileIo, MemoryFilesStandInFrontOfHostFilesAndTakeWrites) {
  MakeFile(dir + "/Data/a.bin", "host a");
  PlatSetHostRoot(dir.c_str());
  PlatSetDiscRoot(dir.c_str());
  PlatHostMemFile("data/A.BIN", "memory", 6);
  // Found by any case and separator, ahead of the host file; the disc's own file stays.
  for (const char* path : {"host0:DATA\\A.BIN", "host0:Data/a.bin", "host0:\\X\\..\\DATA\\.\\A.BIN"}) {
    int fd = sceOpen(path, SCE_RDONLY);
    ASSERT_GE(fd, 0) << path;
    EXPECT_EQ(ReadAll(fd), "memory") << path;
    EXPECT_EQ(sceClose(fd), 0);
  }
  int fd = sceOpen("cdrom0:\\DATA\\A.BIN;1", SCE_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(ReadAll(fd), "host a");
  sceClose(fd);
  // Seeks as the host's: past the end allowed, before the start refused;
  // a write past the end leaves zeros; append writes at the end.
  fd = sceOpen("host0:DATA\\A.BIN", SCE_RDWR);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(sceLseek(fd, 2, SCE_SEEK_END), 8);
  EXPECT_LT(sceLseek(fd, -9, SCE_SEEK_END), 0);
  char c;
  EXPECT_EQ(sceRead(fd, &c, 1), 0);
  EXPECT_EQ(sceWrite(fd, "!", 1), 1);
  EXPECT_EQ(sceLseek(fd, 0, SCE_SEEK_SET), 0);
  EXPECT_EQ(ReadAll(fd), std::string("memory\0\0!", 9));
  sceClose(fd);
  fd = sceOpen("host0:DATA\\A.BIN", SCE_RDWR | SCE_APPEND);
  EXPECT_EQ(sceLseek(fd, 0, SCE_SEEK_SET), 0);
  EXPECT_EQ(sceWrite(fd, "+", 1), 1);
  sceClose(fd);
  size_t size = 0;
  const uint8_t* bytes = PlatHostMemFileData("DATA/A.BIN", &size);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), size), std::string("memory\0\0!+", 10));
  fd = sceOpen("host0:DATA\\A.BIN", SCE_WRONLY);
  EXPECT_LT(sceRead(fd, &c, 1), 0) << "opened for writing only";
  sceClose(fd);
  // Removed, the host file shows again.
  PlatHostMemFile("DATA\\A.BIN", nullptr, 0);
  fd = sceOpen("host0:DATA\\A.BIN", SCE_RDONLY);
  EXPECT_EQ(ReadAll(fd), "host a");
  sceClose(fd);
  // With memory writes on, a creating open makes a memory file, wherever it is,
  // and leaves the host alone; opens without the create flag still find host files.
  PlatHostMemWrites(true);
  fd = sceOpen("host0:NODIR\\NEW.LOG", SCE_WRONLY | SCE_CREAT | SCE_TRUNC);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(sceWrite(fd, "new", 3), 3);
  sceClose(fd);
  fd = sceOpen("host0:DATA\\A.BIN", SCE_WRONLY | SCE_CREAT | SCE_TRUNC);
  EXPECT_EQ(sceWrite(fd, "mem", 3), 3);
  sceClose(fd);
  PlatHostMemWrites(false);
  EXPECT_FALSE(std::filesystem::exists(dir + "/NODIR"));
  fd = sceOpen("host0:nodir/new.log", SCE_RDONLY);
  EXPECT_EQ(ReadAll(fd), "new");
  sceClose(fd);
  std::ifstream f(dir + "/Data/a.bin");
  std::string text;
  std::getline(f, text);
  EXPECT_EQ(text, "host a");
  EXPECT_EQ(PlatHostMemFileData("..\\X", &size), nullptr);
  PlatHostMemFile("NODIR/NEW.LOG", nullptr, 0);
  PlatHostMemFile("DATA/A.BIN", nullptr, 0);
  EXPECT_EQ(PlatHostMemFileData("DATA/A.BIN", &size), nullptr);
}

TEST_F(FileIo, DescriptorsRunOutAtSixteenAndBadOnesFail) {
  MakeFile(dir + "/f", "x");
  PlatSetHostRoot(dir.c_str());
  std::vector<int> fds;
  for (int i = 0; i < SCE_MAX_FILES; i++) fds.push_back(sceOpen("host0:F", SCE_RDONLY));
  EXPECT_EQ(fds.back(), SCE_MAX_FILES - 1);
  EXPECT_LT(sceOpen("host0:F", SCE_RDONLY), 0);
  for (int fd : fds) EXPECT_EQ(sceClose(fd), 0);
  char c;
  for (int bad : {-1, 0, 16, 100}) {
    EXPECT_LT(sceRead(bad, &c, 1), 0);
    EXPECT_LT(sceLseek(bad, 0, SCE_SEEK_SET), 0);
    EXPECT_LT(sceIoctl(bad, SCE_FS_EXECUTING, nullptr), 0);
  }
}

TEST_F(FileIo, InjectedFaultsFailTheNextReadsAndSeeksOnly) {
  MakeFile(dir + "/f", "abc");
  PlatSetHostRoot(dir.c_str());
  int fd = sceOpen("host0:F", SCE_RDONLY | SCE_NOWAIT);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(sceIoctl(fd, SCE_FS_EXECUTING, nullptr), 0);
  PlatFileInjectFault(PLAT_FAULT_READ, 2);
  PlatFileInjectFault(PLAT_FAULT_SEEK, 1);
  char buf[4];
  EXPECT_LT(sceRead(fd, buf, 3), 0);
  EXPECT_LT(sceRead(fd, buf, 3), 0);
  EXPECT_EQ(sceRead(fd, buf, 3), 3);
  EXPECT_LT(sceLseek(fd, 0, SCE_SEEK_SET), 0);
  EXPECT_EQ(sceLseek(fd, 0, SCE_SEEK_END), 3);
  sceClose(fd);
}

TEST_F(FileIo, TheDiscIsReadOnlyAndDropsVersionSuffixes) {
  MakeFile(dir + "/Data/x.dat", "disc");
  PlatSetDiscRoot(dir.c_str());
  int fd = sceOpen("cdrom0:\\DATA\\X.DAT;1", SCE_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(ReadAll(fd), "disc");
  sceClose(fd);
  EXPECT_LT(sceOpen("cdrom0:\\DATA\\X.DAT;1", SCE_WRONLY | SCE_CREAT | SCE_TRUNC), 0);
  EXPECT_LT(sceOpen("cdrom0:\\DATA\\NEW.DAT;1", SCE_WRONLY | SCE_CREAT), 0);
}

TEST_F(FileIo, VirtualDiscGivesEachFileItsOwnSectorsInPathOrder) {
  MakeFile(dir + "/b.bin", std::string(5000, 'b'));
  MakeFile(dir + "/A/z.bin", std::string(2048, 'z'));
  MakeFile(dir + "/a/Y.bin", "y");
  MakeFile(dir + "/empty", "");
  PlatSetDiscRoot(dir.c_str());
  sceCdlFILE az, ay, b, e;
  ASSERT_EQ(sceCdSearchFile(&az, "\\A\\Z.BIN;1"), 1);
  ASSERT_EQ(sceCdSearchFile(&ay, "\\a\\y.bin;1"), 1);
  ASSERT_EQ(sceCdSearchFile(&b, "\\B.BIN;1"), 1);
  ASSERT_EQ(sceCdSearchFile(&e, "\\EMPTY;1"), 1);
  EXPECT_EQ(sceCdSearchFile(&e, "\\MISSING;1"), 0);
  // Keys in order: A/Y.BIN, A/Z.BIN, B.BIN, EMPTY.
  EXPECT_GT(ay.lsn, 0u);
  EXPECT_EQ(az.lsn, ay.lsn + 1);
  EXPECT_EQ(b.lsn, az.lsn + 1);
  EXPECT_EQ(e.lsn, b.lsn + 3);
  EXPECT_EQ(b.size, 5000u);
  EXPECT_STREQ(b.name, "B.BIN;1");

  // Three sectors across two files: the end of Z, all of B's first two.
  std::vector<uint8_t> buf(3 * SCECdSectorSize, 0xee);
  sceCdRMode mode{255, 0, 0, 0};
  uint64_t before = PlatCdSectorsRead();
  ASSERT_EQ(sceCdRead(az.lsn, 3, buf.data(), &mode), 1);
  EXPECT_EQ(sceCdSync(0), 0);
  EXPECT_EQ(PlatCdSectorsRead() - before, 3u);
  EXPECT_EQ(buf[0], 'z');
  EXPECT_EQ(buf[2047], 'z');
  EXPECT_EQ(buf[2048], 'b');
  EXPECT_EQ(buf[3 * 2048 - 1], 'b');
  // B's last sector: 5000 - 4096 bytes, then zeros.
  ASSERT_EQ(sceCdRead(b.lsn + 2, 1, buf.data(), &mode), 1);
  EXPECT_EQ(buf[903], 'b');
  EXPECT_EQ(buf[904], 0);
  EXPECT_EQ(sceCdRead(b.lsn + 3, 1, buf.data(), &mode), 0) << "past the end of the disc";
}

TEST_F(FileIo, TheMapIsRemadeWhenTheDiscChanges) {
  std::string other = TestTempDir();
  MakeFile(dir + "/one", "1");
  MakeFile(other + "/two", "2");
  PlatSetDiscRoot(dir.c_str());
  sceCdlFILE f;
  EXPECT_EQ(sceCdSearchFile(&f, "\\ONE;1"), 1);
  uint32_t tray = 0;
  ASSERT_EQ(sceCdTrayReq(SCECdTrayOpen, &tray), 1);
  PlatSetDiscRoot(other.c_str());
  ASSERT_EQ(sceCdTrayReq(SCECdTrayCheck, &tray), 1);
  EXPECT_EQ(tray, 1u);
  ASSERT_EQ(sceCdTrayReq(SCECdTrayCheck, &tray), 1);
  EXPECT_EQ(tray, 0u);
  EXPECT_EQ(sceCdDiskReady(0), SCECdComplete);
  EXPECT_EQ(sceCdSearchFile(&f, "\\ONE;1"), 0);
  EXPECT_EQ(sceCdSearchFile(&f, "\\TWO;1"), 1);
}

TEST(Sif, RequiredModulesLoadAndOthersOnlyOnceRegistered) {
  EXPECT_GE(sceSifLoadModule("cdrom0:\\SYS250\\SIO2MAN.IRX;1", 0, nullptr), 0);
  EXPECT_GE(sceSifLoadModule("host0:sys\\padman.irx", 0, nullptr), 0);
  EXPECT_LT(sceSifLoadModule("host0:SYS\\EXTRA.IRX", 0, nullptr), 0);
  PlatSifAddModule("extra.irx");
  EXPECT_GE(sceSifLoadModule("host0:SYS\\EXTRA.IRX", 0, nullptr), 0);
  EXPECT_NE(sceSifRebootIop("cdrom0:\\SYS250\\IOPRP250.IMG;1"), 0);
  EXPECT_NE(sceSifSyncIop(), 0);
}
