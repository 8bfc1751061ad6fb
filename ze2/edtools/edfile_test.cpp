#include "edtools.h"
#include "zecore.h"
#include "platform_test.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct EdFile : testing::Test {
  std::string host, card;
  void SetUp() override {
    host = TestTempDir();
    card = TestTempDir();
    PlatSetHostRoot(host.c_str());
    PlatSetMemCardRoot(card.c_str());
    sceMcFormat(0, 0);
    sceMcSync(0, nullptr, nullptr);
  }
  void TearDown() override {
    EdFileClose();
    EdFileSetMedia(EDFILE_MEDIA_NONE);
    EdFileResetBuffers();
    PlatSetHostRoot(nullptr);
    PlatSetMemCardRoot(nullptr);
  }
  std::string HostFile(const std::string& name) { return host + "/" + name; }
  std::string CardFile(const std::string& name) { return card + "/mc0-0/" + name; }
  static long Size(const std::string& path) {
    std::error_code ec;
    auto n = std::filesystem::file_size(path, ec);
    return ec ? -1 : long(n);
  }
  static std::string Bytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
  static void Put(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), long(bytes.size()));
  }
  static std::string Pattern(int n) {
    std::string s(size_t(n), 0);
    for (int i = 0; i < n; i++) s[size_t(i)] = char(i * 7 + i / 251);
    return s;
  }
};

}  // namespace

TEST_F(EdFile, WritesGoOutAWholeBufferAtATime) {
  struct Case { int bytes; long beforeClose; } cases[] = {{4095, 0}, {4096, 4096}, {4097, 4096}, {8192, 8192}};
  for (const Case& c : cases) {
    EdFileSetMedia(EDFILE_MEDIA_HOST);
    ASSERT_EQ(EdFileOpen("OUT.DAT", 1), 1);
    std::string data = Pattern(c.bytes);
    EdFileWrite(data.data(), c.bytes);
    EXPECT_EQ(Size(HostFile("OUT.DAT")), c.beforeClose) << c.bytes;
    EXPECT_EQ(EdFileClose(), 1);
    EXPECT_EQ(edfile_media, EDFILE_MEDIA_NONE);
    EXPECT_EQ(Bytes(HostFile("OUT.DAT")), data) << c.bytes;
  }
}

TEST_F(EdFile, ValuesAcrossTheBufferBoundaries) {
  // Values of every width straddling the 4096-byte boundaries.
  EdFileSetMedia(EDFILE_MEDIA_HOST);
  ASSERT_EQ(EdFileOpen("VALUES.DAT", 1), 1);
  for (int i = 0; i < 1500; i++) {
    EdFileWriteChar(i);
    EdFileWriteShort(-i);
    EdFileWriteInt(i * 1000003);
    EdFileWriteFloat(float(i) * 0.25f);
    EdFileWriteUnsignedInt(0x80000000u + unsigned(i));
  }
  ASSERT_EQ(EdFileClose(), 1);
  EXPECT_EQ(Size(HostFile("VALUES.DAT")), 1500 * 15);

  EdFileSetMedia(EDFILE_MEDIA_HOST);
  ASSERT_EQ(EdFileOpen("VALUES.DAT", 0), 1);
  for (int i = 0; i < 1500; i++) {
    ASSERT_EQ(EdFileReadChar(), int(int8_t(i))) << i;
    ASSERT_EQ(EdFileReadShort(), -i) << i;
    ASSERT_EQ(EdFileReadInt(), i * 1000003) << i;
    ASSERT_EQ(EdFileReadFloat(), float(i) * 0.25f) << i;
    ASSERT_EQ(EdFileReadUnsignedInt(), 0x80000000u + unsigned(i)) << i;
  }
  EXPECT_EQ(EdFileClose(), 1);
}

TEST_F(EdFile, ReadsRefillAsSoonAsTheBufferIsUsedUp) {
  Put(HostFile("SHORT.DAT"), "abc");
  EdFileSetMedia(EDFILE_MEDIA_HOST);
  ASSERT_EQ(EdFileOpen("SHORT.DAT", 0), 1);
  char buf[10];
  EdFileRead(buf, 10);
  EXPECT_EQ(std::string(buf, 10), std::string("abc\0\0\0\0\0\0\0", 10)) << "the zeroed buffer";
  EXPECT_EQ(EdFileClose(), 1);

  Put(HostFile("LONG.DAT"), Pattern(5000));
  EdFileSetMedia(EDFILE_MEDIA_HOST);
  ASSERT_EQ(EdFileOpen("LONG.DAT", 0), 1);
  std::vector<char> part(4096);
  EdFileRead(part.data(), 4096);
  EXPECT_EQ(ZeFilePos(edfile_handle), 5000) << "refilled at once";
  EXPECT_EQ(edfile_buffer_pointer, 0);
  EdFileRead(part.data(), 904);
  EXPECT_EQ(std::string(part.data(), 904), Pattern(5000).substr(4096));
  EXPECT_EQ(EdFileClose(), 1);
}

// A read past the file's end is noted, in the first buffer and in a refill,
// until the next open; reading up to the end exactly is not.
TEST_F(EdFile, AReadPastTheEndIsNoted) {
  struct Case {
    int size, first, second;
    int past;
  };
  const Case cases[] = {{3, 3, 0, 0}, {3, 2, 2, 1}, {0, 0, 1, 1}, {5000, 4096, 904, 0}, {5000, 4090, 911, 1},
                        {4096, 4096, 1, 1}};
  for (const Case& c : cases) {
    Put(HostFile("F.DAT"), Pattern(c.size));
    EdFileSetMedia(EDFILE_MEDIA_HOST);
    ASSERT_EQ(EdFileOpen("F.DAT", 0), 1);
    EXPECT_EQ(edfile_past_end, 0);
    std::vector<char> buf(size_t(c.first + c.second) + 1);
    EdFileRead(buf.data(), c.first);
    EdFileRead(buf.data(), c.second);
    EXPECT_EQ(edfile_past_end, c.past) << c.size << " bytes, read " << c.first << " + " << c.second;
    EXPECT_EQ(EdFileClose(), 1);
    EXPECT_EQ(edfile_past_end, c.past) << "kept after the close";
  }
}

TEST_F(EdFile, OpenAndCloseRules) {
  EXPECT_EQ(EdFileClose(), 0) << "nothing open";
  EdFileSetMedia(EDFILE_MEDIA_NONE);
  EXPECT_EQ(EdFileOpen("A.DAT", 1), 0) << "no medium";
  EdFileSetMedia(EDFILE_MEDIA_HOST);
  EXPECT_EQ(EdFileOpen("A.DAT", 2), 0) << "no such mode";
  EXPECT_EQ(EdFileOpen("MISSING.DAT", 0), 0);
  EXPECT_EQ(edfile_handle, -1);
  ASSERT_EQ(EdFileOpen("A.DAT", 1), 1);
  EdFileWrite("12", 2);
  int handle = edfile_handle;
  EXPECT_EQ(EdFileOpen("B.DAT", 1), 0) << "one file at a time";
  EXPECT_EQ(edfile_handle, handle);
  EXPECT_EQ(edfile_buffer_pointer, 2) << "the open file is undisturbed";
  EdFileSetMedia(EDFILE_MEDIA_MEMCARD);
  EXPECT_EQ(edfile_media, EDFILE_MEDIA_HOST) << "an open file keeps its medium";
  EXPECT_EQ(EdFileClose(), 1);
  EXPECT_EQ(Bytes(HostFile("A.DAT")), "12");
}

TEST_F(EdFile, WithoutAnOpenFileOnlyTheBufferTakesPart) {
  std::string data = Pattern(10000);
  EdFileWrite(data.data(), 10000);  // must end: the buffer fills and nothing takes it
  EXPECT_EQ(edfile_buffer_pointer, EDFILE_BUFSIZE);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(edfile_buffer), 4096), data.substr(0, 4096));
  EdFileResetBuffers();
  EdFileWrite("xyz", 3);
  edfile_buffer_pointer = 0;
  std::vector<char> out(6000, 'q');
  EdFileRead(out.data(), 6000);
  EXPECT_EQ(std::string(out.data(), 3), "xyz");
  EXPECT_EQ(out[5999], 0) << "past the buffer: zeros";
  EXPECT_EQ(edfile_buffer_pointer, EDFILE_BUFSIZE);
  EdFileFillBuffer();
  EdFileFlushBuffer();
  EXPECT_EQ(edfile_buffer_pointer, EDFILE_BUFSIZE) << "no file: nothing moves";
}

TEST_F(EdFile, MemoryCardFiles) {
  std::string longer = Pattern(5000);
  EXPECT_EQ(EdFileWriteMemCard("EFFECTS.EFF", 5000, longer.data()), 1);
  EXPECT_EQ(Bytes(CardFile("EFFECTS.EFF")), longer);
  EXPECT_EQ(EdFileWriteMemCard("EFFECTS.EFF", 3, "new"), 1);
  EXPECT_EQ(Bytes(CardFile("EFFECTS.EFF")), "new") << "a shorter file keeps no tail";
  char back[8] = {};
  EXPECT_EQ(EdFileReadMemCard("EFFECTS.EFF", 3, back), 1);
  EXPECT_STREQ(back, "new");
  EXPECT_EQ(EdFileReadMemCard("MISSING.EFF", 3, back), 0);
  EXPECT_EQ(edfile_handle, -1);

  // The typed reads through the card.
  EdFileSetMedia(EDFILE_MEDIA_MEMCARD);
  ASSERT_EQ(EdFileOpen("SIGNED", 1), 1);
  EdFileWrite("\xff\xff\x80", 3);
  ASSERT_EQ(EdFileClose(), 1);
  EdFileSetMedia(EDFILE_MEDIA_MEMCARD);
  ASSERT_EQ(EdFileOpen("SIGNED", 0), 1);
  EXPECT_EQ(EdFileReadShort(), -1);
  EXPECT_EQ(EdFileReadChar(), -128);
  ASSERT_EQ(EdFileClose(), 1);

  // A refused open fails; it does not reuse the descriptor of an earlier file.
  EdFileSetMedia(EDFILE_MEDIA_MEMCARD);
  PlatMcRefuseNext(sceMcResRefused);
  EXPECT_EQ(EdFileOpen("EFFECTS.EFF", 0), 0);
  EXPECT_EQ(edfile_handle, -1);
  PlatMcPullCard(0, 0);
  EXPECT_EQ(EdFileWriteMemCard("EFFECTS.EFF", 3, "abc"), 0);
  PlatMcInsertCard(0, 0);
}

TEST_F(EdFile, TheCardCallsLeaveAnOpenHostFileAlone) {
  EdFileSetMedia(EDFILE_MEDIA_HOST);
  ASSERT_EQ(EdFileOpen("HOST.DAT", 1), 1);
  EdFileWrite("pending", 7);
  EXPECT_EQ(EdFileWriteMemCard("CARD", 4, "card"), 0);
  char back[4];
  EXPECT_EQ(EdFileReadMemCard("CARD", 4, back), 0);
  EXPECT_EQ(EdFileBackup("HOST.DAT", "COPY.DAT"), 0) << "the buffer holds pending bytes";
  EXPECT_EQ(edfile_media, EDFILE_MEDIA_HOST);
  EXPECT_EQ(EdFileClose(), 1);
  EXPECT_EQ(Bytes(HostFile("HOST.DAT")), "pending");
  EXPECT_EQ(Size(CardFile("CARD")), -1);
  EXPECT_EQ(Size(HostFile("COPY.DAT")), -1);
}

TEST_F(EdFile, Backup) {
  std::string data = Pattern(4097);
  Put(HostFile("SRC.DAT"), data);
  EXPECT_EQ(EdFileBackup("SRC.DAT", "DST.DAT"), 1);
  EXPECT_EQ(Bytes(HostFile("DST.DAT")), data);
  EXPECT_EQ(EdFileBackup("SRC.DAT", "src.dat"), 0) << "the same file";
  EXPECT_EQ(Bytes(HostFile("SRC.DAT")), data) << "and it keeps its data";
  Put(HostFile("EMPTY.DAT"), "");
  EXPECT_EQ(EdFileBackup("EMPTY.DAT", "E2.DAT"), 0);
  EXPECT_EQ(EdFileBackup("MISSING.DAT", "M2.DAT"), 0);
  EXPECT_EQ(Size(HostFile("E2.DAT")), -1) << "nothing created";
  EXPECT_EQ(Size(HostFile("M2.DAT")), -1);
}
