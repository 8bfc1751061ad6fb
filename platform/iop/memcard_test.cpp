#include "platform.h"
#include "platform_test.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct MemCard : testing::Test {
  std::string root;
  void SetUp() override {
    root = TestTempDir();
    PlatSetMemCardRoot(root.c_str());
  }
  void TearDown() override { PlatSetMemCardRoot(nullptr); }
  std::string Card(int port = 0, int slot = 0) {
    return root + "/mc" + std::to_string(port) + "-" + std::to_string(slot);
  }
  // Issues a request and waits for its result (or returns the refusal).
  static int Wait(int request, int* cmd = nullptr) {
    if (request < 0) return request;
    int result = 12345;
    EXPECT_EQ(sceMcSync(0, cmd, &result), sceMcExecFinish);
    return result;
  }
  void Format() { ASSERT_EQ(Wait(sceMcFormat(0, 0)), 0); }
  void WriteFile(const char* name, const std::string& bytes) {
    int fd = Wait(sceMcOpen(0, 0, name, SCE_WRONLY | SCE_CREAT | SCE_TRUNC));
    ASSERT_GE(fd, 0);
    ASSERT_EQ(Wait(sceMcWrite(fd, bytes.data(), int(bytes.size()))), int(bytes.size()));
    ASSERT_EQ(Wait(sceMcClose(fd)), 0);
  }
  std::string ReadFile(const char* name) {
    int fd = Wait(sceMcOpen(0, 0, name, SCE_RDONLY));
    if (fd < 0) return "<" + std::to_string(fd) + ">";
    char buf[256];
    int n = Wait(sceMcRead(fd, buf, sizeof buf));
    Wait(sceMcClose(fd));
    return std::string(buf, n > 0 ? size_t(n) : 0);
  }
};

}  // namespace

TEST_F(MemCard, InfoTellsNewCardsSameCardAndNoCard) {
  int type = -9, free = -9, format = -9;
  EXPECT_EQ(Wait(sceMcGetInfo(0, 0, &type, &free, &format)), sceMcResNoFormat) << "new, unformatted";
  EXPECT_EQ(type, sceMcTypePS2);
  EXPECT_EQ(format, 0);
  EXPECT_EQ(Wait(sceMcGetInfo(0, 0, &type, &free, &format)), 0) << "the same card";
  Format();
  EXPECT_EQ(Wait(sceMcGetInfo(0, 0, &type, &free, &format)), 0) << "formatting keeps the card";
  EXPECT_EQ(format, 1);
  EXPECT_EQ(free, MC_CAPACITY_CLUSTERS);
  WriteFile("a", std::string(1025, 'x'));
  Wait(sceMcGetInfo(0, 0, &type, &free, &format));
  EXPECT_EQ(free, MC_CAPACITY_CLUSTERS - 2) << "1025 bytes take two clusters";

  PlatMcInsertCard(0, 0);  // swapped for another card
  EXPECT_EQ(Wait(sceMcGetInfo(0, 0, &type, &free, &format)), sceMcResChangedCard);
  PlatMcPullCard(0, 0);
  EXPECT_EQ(Wait(sceMcGetInfo(0, 0, nullptr, nullptr, nullptr)), sceMcResNoCard);
  EXPECT_EQ(Wait(sceMcGetInfo(0, 1, nullptr, nullptr, nullptr)), sceMcResNoCard) << "no multitap";
  EXPECT_EQ(sceMcGetInfo(2, 0, nullptr, nullptr, nullptr), sceMcResRefused);
}

TEST_F(MemCard, FilesReadWriteSeekAndTruncate) {
  Format();
  EXPECT_EQ(Wait(sceMcOpen(0, 0, "missing", SCE_RDONLY)), sceMcResNoEntry);
  WriteFile("save", "hello world");
  EXPECT_EQ(ReadFile("save"), "hello world");

  // Create alone opens for reading and writing and keeps what is there.
  int fd = Wait(sceMcOpen(0, 0, "save", SCE_CREAT));
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Wait(sceMcWrite(fd, "HE", 2)), 2);
  EXPECT_EQ(Wait(sceMcSeek(fd, -5, SCE_SEEK_END)), 6);
  char buf[8] = {};
  EXPECT_EQ(Wait(sceMcRead(fd, buf, 8)), 5);
  EXPECT_STREQ(buf, "world");
  EXPECT_EQ(Wait(sceMcClose(fd)), 0);
  EXPECT_EQ(ReadFile("save"), "HEllo world");

  WriteFile("save", "ab");  // with truncation a shorter file keeps no tail
  EXPECT_EQ(ReadFile("save"), "ab");

  fd = Wait(sceMcOpen(0, 0, "save", SCE_RDONLY));
  EXPECT_EQ(Wait(sceMcWrite(fd, "x", 1)), sceMcResDeniedPermit) << "read-only";
  EXPECT_EQ(Wait(sceMcDelete(0, 0, "save")), sceMcResDeniedPermit) << "open files stay";
  EXPECT_EQ(Wait(sceMcClose(fd)), 0);
  EXPECT_EQ(Wait(sceMcClose(fd)), sceMcResDeniedPermit) << "closed twice";
  EXPECT_EQ(Wait(sceMcDelete(0, 0, "save")), 0);
  EXPECT_EQ(Wait(sceMcDelete(0, 0, "save")), sceMcResNoEntry);
}

TEST_F(MemCard, DirectoriesAndWildcardListings) {
  Format();
  EXPECT_EQ(Wait(sceMcChdir(0, 0, "/SAVE", nullptr)), sceMcResNoEntry);
  EXPECT_EQ(Wait(sceMcMkdir(0, 0, "/SAVE")), 0);
  EXPECT_EQ(Wait(sceMcMkdir(0, 0, "/SAVE")), sceMcResDeniedPermit);
  EXPECT_EQ(Wait(sceMcMkdir(0, 0, "/NO/SUB")), sceMcResNoEntry);
  char old[1024];
  EXPECT_EQ(Wait(sceMcChdir(0, 0, "/SAVE", old)), 0);
  EXPECT_STREQ(old, "/");
  for (const char* n : {"SAVEslot00", "SAVEslot01", "SAVEslot02", "icon.sys", "SAVE"}) WriteFile(n, n);
  EXPECT_TRUE(std::filesystem::exists(Card() + "/SAVE/icon.sys")) << "relative to the current directory";

  sceMcTblGetDir table[8];
  EXPECT_EQ(Wait(sceMcGetDir(0, 0, "/SAVE", 0, 8, table)), 1);
  EXPECT_NE(table[0].AttrFile & sceMcFileAttrSubdir, 0);
  EXPECT_EQ(Wait(sceMcGetDir(0, 0, "/SAVE/SAVE*", 0, 8, table)), 4);
  EXPECT_STREQ(reinterpret_cast<char*>(table[0].EntryName), "SAVE");
  EXPECT_EQ(table[1].FileSizeByte, 10u);
  EXPECT_EQ(Wait(sceMcGetDir(0, 0, "SAVEslot0?", 0, 2, table)), 2) << "the entry limit";
  EXPECT_STREQ(reinterpret_cast<char*>(table[1].EntryName), "SAVEslot01");
  EXPECT_EQ(Wait(sceMcGetDir(0, 0, "", 1, 2, table)), 1) << "a continued listing";
  EXPECT_STREQ(reinterpret_cast<char*>(table[0].EntryName), "SAVEslot02");
  EXPECT_EQ(Wait(sceMcGetDir(0, 0, "*.eff", 0, 8, table)), 0);
  EXPECT_EQ(Wait(sceMcGetDir(0, 0, "/NODIR/*", 0, 8, table)), sceMcResNoEntry);

  EXPECT_EQ(Wait(sceMcChdir(0, 0, "..", nullptr)), 0);
  EXPECT_EQ(Wait(sceMcDelete(0, 0, "SAVE")), sceMcResNotEmpty);
  EXPECT_EQ(Wait(sceMcUnformat(0, 0)), 0);
  EXPECT_FALSE(std::filesystem::exists(Card()));
  EXPECT_EQ(Wait(sceMcGetDir(0, 0, "*", 0, 8, table)), sceMcResNoFormat);
}

TEST_F(MemCard, PolledCommandsOneAtATime) {
  Format();
  PlatMcSetLatency(2);
  int cmd = 0, result = 0;
  EXPECT_EQ(sceMcSync(1, &cmd, &result), sceMcExecIdle);
  ASSERT_EQ(sceMcMkdir(0, 0, "/D"), 0);
  EXPECT_EQ(sceMcChdir(0, 0, "/D", nullptr), sceMcResRefused) << "one command at a time";
  EXPECT_EQ(sceMcSync(1, &cmd, &result), sceMcExecRun);
  EXPECT_EQ(sceMcSync(1, &cmd, &result), sceMcExecRun);
  EXPECT_FALSE(std::filesystem::exists(Card() + "/D")) << "the command runs when it completes";
  EXPECT_EQ(sceMcSync(1, &cmd, &result), sceMcExecFinish);
  EXPECT_EQ(cmd, sceMcFuncNoMkdir);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(std::filesystem::exists(Card() + "/D"));
  EXPECT_EQ(sceMcSync(1, &cmd, &result), sceMcExecIdle);

  // A card pulled while a command runs: the command finds no card.
  ASSERT_EQ(sceMcGetInfo(0, 0, nullptr, nullptr, nullptr), 0);
  PlatMcPullCard(0, 0);
  EXPECT_EQ(Wait(0), sceMcResNoCard);
  PlatMcSetLatency(0);
}

TEST_F(MemCard, TestHooksAndStaleDescriptors) {
  Format();
  PlatMcRefuseNext(-42);
  EXPECT_EQ(sceMcMkdir(0, 0, "/D"), -42);
  EXPECT_EQ(sceMcSync(1, nullptr, nullptr), sceMcExecIdle) << "a refused request starts nothing";
  PlatMcFailNext(sceMcResFullDevice);
  EXPECT_EQ(Wait(sceMcMkdir(0, 0, "/D")), sceMcResFullDevice);
  EXPECT_FALSE(std::filesystem::exists(Card() + "/D"));

  int fd = Wait(sceMcOpen(0, 0, "f", SCE_RDWR | SCE_CREAT));
  ASSERT_GE(fd, 0);
  PlatMcPullCard(0, 0);
  EXPECT_EQ(Wait(sceMcWrite(fd, "x", 1)), sceMcResNoCard);
  PlatMcInsertCard(0, 0);
  EXPECT_EQ(Wait(sceMcWrite(fd, "x", 1)), sceMcResDeniedPermit) << "the descriptor belonged to the old card";
  EXPECT_EQ(Wait(sceMcClose(fd)), sceMcResDeniedPermit);
  EXPECT_GE(Wait(sceMcOpen(0, 0, "f", SCE_RDONLY)), 0) << "the descriptor was released";
}
