#include "zefile_testutil.h"
#include "zetools.h"

#include <cstring>
#include <map>

namespace {

using Files = FileTest;

std::string PathOf(const char* name, int mode) {
  char path[600];
  return ZeFileBuildPath(path, int(sizeof path), name, mode) ? path : "<none>";
}

std::string ReadAll(ZEFILE h) {
  std::string s;
  char buf[256];
  for (int n; (n = ZeFileRead(h, buf, sizeof buf)) > 0;) s.append(buf, size_t(n));
  return s;
}

}  // namespace

TEST_F(Files, PathsTakeThePrefixTheDirectoriesAndUpperCase) {
  ZeFileSetCurrentDirectory("data");
  ZeFileSetCurrentSysDirectory("");
  ZeFileSetCurrentDllDirectory("dll");
  struct Case { int medium; const char* name; int mode; const char* path; } cases[] = {
      {0, "levels\\a.txt", 0, "host0:DATA\\LEVELS\\A.TXT"},
      {1, "levels\\a.txt", 0, "cdrom0:\\DATA\\LEVELS\\A.TXT;1"},
      {3, "levels\\a.txt", 3, "cdrom0:\\DATA\\LEVELS\\A.TXT;1"},
      {1, "levels\\a.txt", 1, "host0:DATA\\LEVELS\\A.TXT"},  // writes go to the host
      {1, "@syspadman.irx", 2, "host0:DATA\\@SYSPADMAN.IRX"},  // no @ prefix when writing
      {0, "@sysIOPRP.IMG", 0, "host0:SYS250\\IOPRP.IMG"},
      {0, "@dll\\fx.dll", 0, "host0:DLL\\\\FX.DLL"},
      {2, "@locroot.txt", 0, "host0:ROOT.TXT"},
      {0, "@bad\\x", 0, "<none>"},
  };
  for (const Case& c : cases) {
    ZeFileInitEx(c.medium, 0, 0);
    EXPECT_EQ(PathOf(c.name, c.mode), c.path) << c.name << " medium " << c.medium;
  }
  ZeFileInitEx(0, 0, 0);
  errmsg_disabled = 0;
  ConsoleCaptureScope capture;
  EXPECT_EQ(ZeFileOpen("@xyz\\a.txt", 0), 0);
  EXPECT_NE(capture.text().find("Invalid @path for file open \"@xyz\\a.txt\""), std::string::npos);
}

TEST_F(Files, DirectoriesAndNamesAreTakenApart) {
  char buf[600];
  ZeFileSetCurrentDirectory("Data");
  ZeFileGetCurrentDirectory(buf);
  EXPECT_STREQ(buf, "Data");
  ZeFileGetCurrentPath(buf);
  EXPECT_STREQ(buf, "host0:DATA\\");
  ZeFileSetCurrentSysDirectory("");
  ZeFileGetCurrentSysPath(buf);
  EXPECT_STREQ(buf, "host0:SYS250\\");
  ZeFileInitEx(ZEFILE_MEDIA_DVD, 0, 0);
  ZeFileGetCurrentDllPath(buf);
  EXPECT_STREQ(buf, "cdrom0:\\");
  EXPECT_EQ(ZeFileGetMediaMode(), ZEFILE_MEDIA_DVD);
  ZeFileSetCurrentDirectory("");
  ZeFileGetCurrentDirectory(buf);
  EXPECT_STREQ(buf, "");

  struct Case { int (*fn)(char*, const char*); const char* in; const char* out; } cases[] = {
      {ZeFileExtractPath, "a\\b\\c.txt", "a\\b\\"},     {ZeFileExtractPath, "c.txt", ""},
      {ZeFileExtractFilename, "a\\b\\c.txt", "c.txt"},  {ZeFileExtractFilename, "c.txt", "c.txt"},
      {ZeFileExtractFile, "a.d\\b\\c.tar.gz", "c.tar"}, {ZeFileExtractFile, "a.d\\noext", "noext"},
      {ZeFileExtractExt, "a\\b\\c.txt", "txt"},         {ZeFileExtractExt, "noext", "noext"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.fn(buf, c.in), int(strlen(c.out))) << c.in;
    EXPECT_STREQ(buf, c.out) << c.in;
  }
  EXPECT_EQ(ZeFileAppendPath(buf, "dir", "x.txt"), 9);
  EXPECT_STREQ(buf, "dir\\x.txt");
  ZeFileAppendPath(buf, "dir\\", "x.txt");
  EXPECT_STREQ(buf, "dir\\x.txt");
}

TEST_F(Files, NamesAreCheckedAgainstEightThreeWhenAsked) {
  char ok1[] = "dir\\abcdefgh.extension", ok2[] = "a.b\\abcdefgh", up[] = "lower/case";
  ZeFileCheckName(ok1, 1);
  EXPECT_STREQ(ok1, "DIR\\ABCDEFGH.EXTENSION");
  ZeFileCheckName(ok2, 1);
  ZeFileCheckName(up, 0);
  EXPECT_STREQ(up, "LOWER/CASE");
  char nine[] = "dir\\abcdefghi.txt", nineNoDot[] = "abcdefghi", slash[] = "a/b";
  EXPECT_HALT(ZeFileCheckName(nine, 1), "File name must not be longer than 8.3 characters (DIR\\ABCDEFGHI.TXT)");
  EXPECT_HALT(ZeFileCheckName(nineNoDot, 1), "File name must not be longer than 8.3 characters(ABCDEFGHI)");
  EXPECT_HALT(ZeFileCheckName(slash, 1), "File names or paths must not contain '/'");
  zefile_validate_name = 1;
  Make("ABCDEFGHI.TXT", "x");
  EXPECT_HALT(ZeFileOpen("abcdefghi.txt", 0), "8.3");
}

TEST_F(Files, PlatformFilesReadSeekAndWriteTypedValues) {
  ZEFILE w = ZeFileOpen("typed.bin", 1);
  ASSERT_GE(w, 1);
  ASSERT_LE(w, 16);
  EXPECT_EQ(ZeFileOpenSize(w), 0);
  ZeFileWriteInt(w, -2);
  ZeFileWriteUnsignedInt(w, 0xdeadbeef);
  ZeFileWriteFloat(w, 1.5f);
  ZeFileWriteShort(w, -3);
  ZeFileWriteChar(w, -4);
  ZeFileWriteString(w, "str");
  EXPECT_EQ(ZeFileWriteStringV(w, "%d-%s", 7, "v"), 3);
  ZeFileClose(w);
  EXPECT_EQ(HostFile("TYPED.BIN").size(), 4u + 4 + 4 + 2 + 1 + 3 + 3);

  ZEFILE r = ZeFileOpen("Typed.Bin", 0);
  ASSERT_NE(r, 0);
  EXPECT_EQ(ZeFileOpenSize(r), 21);
  EXPECT_EQ(ZeFileStatus(r), 0);
  EXPECT_EQ(ZeFileReadInt(r), -2);
  EXPECT_EQ(ZeFileReadUnsignedInt(r), 0xdeadbeefu);
  EXPECT_EQ(ZeFileReadFloat(r), 1.5f);
  EXPECT_EQ(ZeFileReadShort(r), -3);
  EXPECT_EQ(ZeFileReadChar(r), -4);
  EXPECT_EQ(ZeFilePos(r), 15);
  EXPECT_EQ(ReadAll(r), "str7-v");
  EXPECT_EQ(ZeFileSeek(r, -2, 2), 19) << "an unbuffered platform file seeks to size + offset";
  EXPECT_EQ(ZeFileReadShort(r), int16_t('-' | 'v' << 8));
  EXPECT_EQ(ZeFileReadInt(r), 0) << "nothing left to read";
  EXPECT_LT(ZeFileWrite(r, "x", 1), 0) << "opened for reading";
  ZeFileClose(r);

  ZEFILE a = ZeFileOpen("typed.bin", 2);
  ZeFileSeek(a, 0, 2);
  ZeFileWriteChar(a, '!');
  ZeFileClose(a);
  EXPECT_EQ(HostFile("TYPED.BIN").back(), '!');
  ZEFILE nw = ZeFileOpen("typed.bin", 3);
  EXPECT_EQ(ZeFileOpenSize(nw), 22);
  ZeFileClose(nw);
  EXPECT_EQ(ZeFileOpen("missing.bin", 0), 0);
  EXPECT_EQ(ZeFileOpen("missing.bin", 2), 0) << "append does not create";
}

TEST_F(Files, ClosingZeroIsNothingAndAFailedCloseIsFatal) {
  ZeFileClose(0);
  Make("f", "x");
  ZEFILE h = ZeFileOpen("f", 0);
  ZeFileClose(h);
  EXPECT_HALT(ZeFileClose(h), "ZeFileClose - close failed, retrying");
  EXPECT_HALT(ZeFileOpen("f", 4), "assert");
  ZEFILE hs[SCE_MAX_FILES];
  for (ZEFILE& x : hs) x = ZeFileOpen("f", 0);
  EXPECT_EQ(ZeFileOpen("f", 0), 0) << "the platform has 16 descriptors";
  for (ZEFILE x : hs) ZeFileClose(x);
}

TEST_F(Files, WritesToMemoryFilesMembersAndSoundFilesAreRefused) {
  EeBuf mem(16);
  ZEFILE m = ZeMemFileOpen(mem.p, 16, 0);
  EXPECT_HALT(ZeFileWrite(m, "x", 1), "cannot write to a memory file or archive member");
  EXPECT_HALT(ZeFileWriteInt(2048, 1), "cannot write to a memory file or archive member");
  zesound_enabled = 1;
  EXPECT_HALT(ZeFileWrite(18, "x", 1), "Cannot write to a ZESOUND file");
}

TEST_F(Files, MemoryFilesStayInsideTheirBlock) {
  EeBuf mem(10);
  memcpy(mem.p, "0123456789", 10);
  ZEFILE m = ZeMemFileOpen(mem.p, 10, 0);
  ASSERT_EQ(m, ZEFILE_MEMFILE_BASE);
  EXPECT_EQ(ZeFileOpenSize(m), 10);
  EeBuf out(16, 0);
  EXPECT_EQ(ZeFileRead(m, out.p, 16), 10);
  EXPECT_EQ(out.str(10), "0123456789");
  EXPECT_EQ(ZeFileRead(m, out.p, 16), 0);
  EXPECT_EQ(ZeFileSeek(m, 0, 2), 10);
  EXPECT_EQ(ZeFileSeek(m, 3, 2), 7);
  EXPECT_EQ(ZeFileSeek(m, -2, 1), 5);
  EXPECT_EQ(ZeMemFileAddr(m), mem.p + 5);
  // Seeks outside the block stop at its ends: a read never copies from outside it.
  EXPECT_EQ(ZeFileSeek(m, -100, 1), 0);
  EXPECT_EQ(ZeFileRead(m, out.p, 3), 3);
  EXPECT_EQ(out.str(3), "012");
  EXPECT_EQ(ZeFileSeek(m, 50, 0), 10);
  EXPECT_EQ(ZeFilePos(m), 10);
  EXPECT_EQ(ZeFileSeek(m, -5, 2), 10);
  EXPECT_EQ(ZeFileRead(m, out.p, 1), 0);

  EXPECT_EQ(ZeMemFileOpen(mem.p, 0, 0), 0);
  EXPECT_EQ(ZeMemFileOpen(mem.p, 10, 1), 0);
  std::vector<ZEFILE> more;
  for (int i = 1; i < ZEFILE_MEMFILES; i++) more.push_back(ZeMemFileOpen(mem.p, 10, 0));
  EXPECT_EQ(more.back(), ZEFILE_MEMFILE_BASE + ZEFILE_MEMFILES - 1);
  EXPECT_EQ(ZeMemFileOpen(mem.p, 10, 0), 0) << "the 21st";
  ZeFileClose(m);
  EXPECT_EQ(ZeMemFileOpen(mem.p, 10, 0), m) << "the first free slot";
  ZeFileClose(m);
  EXPECT_HALT(ZeFileRead(m, out.p, 1), "bad memory file handle");
}

TEST_F(Files, BufferedReadsMatchUnbufferedOnesAcrossBlockBoundaries) {
  std::vector<uint8_t> bytes = TestBytes(5000, 1);
  Make("data.bin", bytes);
  ZEFILE plain = ZeFileOpen("data.bin", 0);
  zefile_buffering_enabled = 1;
  ZEFILE buffered = ZeFileOpen("data.bin", 0);
  ASSERT_TRUE(ZeFileRecOf(buffered)->buffered);
  struct Step { int seek; int count; } steps[] = {
      {-1, 1}, {-1, 1022}, {-1, 2}, {-1, 1500}, {3000, 7}, {1023, 1}, {1024, 1025}, {10, 3000}, {4990, 50}, {0, 5000},
  };
  for (const Step& s : steps) {
    if (s.seek >= 0) {
      EXPECT_EQ(ZeFileSeek(plain, s.seek, 0), s.seek);
      EXPECT_EQ(ZeFileSeek(buffered, s.seek, 0), s.seek);
    }
    EeBuf a(size_t(s.count), 0), b(size_t(s.count), 1);
    int na = ZeFileRead(plain, a.p, s.count), nb = ZeFileRead(buffered, b.p, s.count);
    EXPECT_EQ(na, nb) << "at " << s.seek << " count " << s.count;
    EXPECT_EQ(a.str(size_t(na)), b.str(size_t(nb)));
    EXPECT_EQ(ZeFilePos(plain), ZeFilePos(buffered));
  }
  EXPECT_EQ(ZeFileSeek(buffered, 100, 2), 4900) << "a buffered file seeks to size - offset";
  EXPECT_LT(ZeFileSeek(buffered, -1, 0), 0);
  EXPECT_EQ(ZeFilePos(buffered), 4900);
}

TEST_F(Files, AFifthBufferedFileStealsTheOldestBufferAndItsOwnerRestoresItsBlock) {
  zefile_buffering_enabled = 1;
  std::vector<std::vector<uint8_t>> contents;
  ZEFILE h[5];
  for (int i = 0; i < 5; i++) {
    contents.push_back(TestBytes(3000, uint32_t(10 + i)));
    Make("f" + std::to_string(i), contents.back());
    h[i] = ZeFileOpen(("f" + std::to_string(i)).c_str(), 0);
  }
  EeBuf out(600);
  for (int i = 0; i < 4; i++) ASSERT_EQ(ZeFileRead(h[i], out.p, 600), 600);
  ZEFILEREC* first = ZeFileRecOf(h[0]);
  ZEFILEBUF* taken = first->buf;
  ASSERT_EQ(ZeFileRead(h[4], out.p, 600), 600);
  EXPECT_EQ(first->buf.get(), nullptr) << "the least recently assigned buffer went to the fifth file";
  EXPECT_EQ(ZeFileRecOf(h[4])->buf.get(), taken);
  // The former owner takes a buffer back and restores its block 0-1023.
  ASSERT_EQ(ZeFileRead(h[0], out.p, 300), 300);
  EXPECT_EQ(memcmp(out.p, contents[0].data() + 600, 300), 0);
  ASSERT_NE(first->buf.get(), nullptr);
  EXPECT_EQ(first->bufstart, 0);
  EXPECT_EQ(memcmp(first->buf->data, contents[0].data(), 1024), 0);
  for (int i = 1; i < 5; i++) {
    ASSERT_EQ(ZeFileRead(h[i], out.p, 600), 600);
    EXPECT_EQ(memcmp(out.p, contents[size_t(i)].data() + 600, 600), 0) << i;
  }
  ZeFileClose(h[0]);
  EXPECT_EQ(first->buf.get(), nullptr);
}

TEST_F(Files, ReadFromUsesDiscSectorsWhenSizeAndPositionAllow) {
  std::vector<uint8_t> bytes = TestBytes(10000, 3);
  Make("disc/DATA/TRACK.BIN", bytes);
  Make("disc/OTHER.BIN", "o");
  PlatSetDiscRoot((dir + "/disc").c_str());
  ZeFileInitEx(ZEFILE_MEDIA_CD, 1, 0);
  ZEFILE h = ZeFileOpen("data\\track.bin", 0);
  ASSERT_NE(h, 0);
  EXPECT_GT(ZeFileRecOf(h)->sector, 0);
  EeBuf out(4096);
  uint64_t sectors = PlatCdSectorsRead();
  EXPECT_EQ(ZeFileReadFrom(h, out.p, 4096, 2048), 4096);
  EXPECT_EQ(PlatCdSectorsRead() - sectors, 2u);
  EXPECT_EQ(memcmp(out.p, bytes.data() + 2048, 4096), 0);
  EXPECT_EQ(ZeFileReadFrom(h, out.p, 100, 2048), 100);
  EXPECT_EQ(PlatCdSectorsRead() - sectors, 2u) << "seek and read";
  EXPECT_EQ(memcmp(out.p, bytes.data() + 2048, 100), 0);
  EXPECT_EQ(ZeFileReadFrom(h, out.p, 2048, 100), 2048);
  EXPECT_EQ(memcmp(out.p, bytes.data() + 100, 2048), 0);
  ZeFileClose(h);
  ZEFILE w = ZeFileOpen("written.txt", 1);
  ASSERT_NE(w, 0) << "writes on a disc medium go to the host";
  ZeFileClose(w);
  EXPECT_TRUE(std::filesystem::exists(dir + "/WRITTEN.TXT"));
}

namespace {

// A stand-in sound module serving files by path from a table.
std::map<std::string, std::vector<uint8_t>> g_soundFiles;
void SoundFind(const char* path, int* sector, int* size) {
  auto it = g_soundFiles.find(path);
  int k = 0;
  for (auto i = g_soundFiles.begin(); i != it && i != g_soundFiles.end(); ++i) k++;
  *sector = it == g_soundFiles.end() ? 0 : 100 + k;
  *size = it == g_soundFiles.end() ? 0 : int(it->second.size());
}
int SoundRead(int sector, int pos, void* dest, int count) {
  auto it = g_soundFiles.begin();
  std::advance(it, sector - 100);
  memcpy(dest, it->second.data() + pos, size_t(count));
  return count;
}
const ZESOUNDFILESERVICE g_fakeSound = {SoundFind, SoundRead};

struct SoundFiles : FileTest {
  void SetUp() override {
    FileTest::SetUp();
    g_soundFiles.clear();
    ZeSoundSetFileService(&g_fakeSound);
    zesound_enabled = 1;
  }
  void TearDown() override {
    FileTest::TearDown();
    ZeSoundSetFileService(nullptr);
  }
};

}  // namespace

TEST_F(SoundFiles, ReadOnlyFilesGoThroughTheSoundModule) {
  std::vector<uint8_t> bytes = TestBytes(3000, 4);
  g_soundFiles["host0:MUSIC\\SONG.VAG"] = bytes;
  ZEFILE h = ZeFileOpen("music\\song.vag", 0);
  ASSERT_EQ(h, 18);
  EXPECT_EQ(ZeFileOpenSize(h), 3000);
  EXPECT_EQ(ZeFileStatus(h), 0);
  // Unaligned destinations take the head through the bounce buffer.
  alignas(64) static uint8_t out[4096];
  for (int mis : {0, 1, 63}) {
    ZeFileSeek(h, 5, 0);
    memset(out, 0, sizeof out);
    EXPECT_EQ(ZeFileRead(h, out + mis, 1000), 1000) << mis;
    EXPECT_EQ(memcmp(out + mis, bytes.data() + 5, 1000), 0) << mis;
  }
  EXPECT_EQ(ZeFileRead(h, out + 1, 10), 10);
  EXPECT_EQ(ZeFilePos(h), 1015);
  EXPECT_EQ(ZeFileSeek(h, 10, 2), 2990) << "whence 2 is size - offset";
  EXPECT_EQ(ZeFileRead(h, out + 3, 100), 10);
  EXPECT_EQ(ZeFileOpen("missing", 0), 0);
  EXPECT_HALT(ZeFileWrite(h, "x", 1), "Cannot write to a ZESOUND file");
  ZEFILE w = ZeFileOpen("out.txt", 1);
  EXPECT_GE(w, 1);
  EXPECT_LE(w, 16) << "writes go to the platform";
  ZeFileClose(w);
  ZeFileClose(h);
  EXPECT_HALT(ZeSoundFRead(h - 1, out, 1), "Attempted to Read ZeSoundFile with a closed file handel");
  EXPECT_HALT(ZeSoundFRead(17, out + 1, 1), "Data MUST be 64 byte aligned");
}

TEST_F(SoundFiles, BufferedSoundFilesAndTheSixteenSlots) {
  std::vector<uint8_t> bytes = TestBytes(2500, 5);
  g_soundFiles["host0:A"] = bytes;
  zefile_buffering_enabled = 1;
  ZEFILE h = ZeFileOpen("a", 0);
  EeBuf out(2500);
  EXPECT_EQ(ZeFileRead(h, out.p + 1, 2000), 2000);
  EXPECT_EQ(memcmp(out.p + 1, bytes.data(), 2000), 0);
  ZeFileClose(h);
  std::vector<ZEFILE> all;
  for (int i = 0; i < ZESOUND_FILES; i++) all.push_back(ZeFileOpen("a", 0));
  EXPECT_EQ(all.front(), 18);
  EXPECT_EQ(all.back(), 33);
  EXPECT_HALT(ZeFileOpen("a", 0), "to many files open simultaneously in ZeSound");
}

TEST_F(Files, FailingPlatformCallsAreRetriedABoundedNumberOfTimes) {
  Make("f.bin", std::string(300, 'f'));
  zefile_try_packed = 0;
  EeBuf out(300);
  PlatFileInjectFault(PLAT_FAULT_READ, 3);
  EXPECT_EQ(ZeFileLoadBuffer("f.bin", out.p, 300), 300);
  PlatFileInjectFault(PLAT_FAULT_SEEK, 2);
  ZEFILE h = ZeFileOpen("f.bin", 0);
  EXPECT_EQ(ZeFileOpenSize(h), 300);
  PlatFileInjectFault(PLAT_FAULT_SEEK, 100);
  EXPECT_HALT(ZeFilePos(h), "ZeFilePos - seek failed");
  ZeFileClose(h);
  EXPECT_HALT(ZeFileOpen("f.bin", 0), "ZeFileOpen - size seek failed - retrying - giving up");
  PlatFileInjectFault(PLAT_FAULT_SEEK, 0);
  PlatFileInjectFault(PLAT_FAULT_READ, 100);
  EXPECT_HALT(ZeFileLoadBuffer("f.bin", out.p, 300), "read failure - retrying - giving up");
  PlatFileInjectFault(PLAT_FAULT_READ, 0);
}

TEST_F(Files, WholeFileLoadsUnpackPackedFilesAndRefuseWhatDoesNotFit) {
  std::vector<uint8_t> text = TestBytes(20000, 6, 5);
  std::vector<uint8_t> packed = RncPack(text.data(), text.size());
  Make("plain.bin", text);
  Make("packed.rnc", packed);
  EeBuf out(20000 + ZEPP_MARGIN);
  for (int tryPacked : {1, 0}) {
    zefile_try_packed = tryPacked;
    EXPECT_EQ(ZeFileLoadBuffer("plain.bin", out.p, 20000), 20000);
    EXPECT_EQ(memcmp(out.p, text.data(), text.size()), 0);
    EXPECT_EQ(ZeFileLoadBuffer("plain.bin", out.p, 19999), 0) << "does not fit: nothing loaded";
    EXPECT_EQ(ZeFileLoadBuffer("missing.bin", out.p, 20000), 0);
  }
  zefile_try_packed = 1;
  EXPECT_EQ(ZeFileLoadBuffer("packed.rnc", out.p, 20000 + 252), 20000);
  EXPECT_EQ(memcmp(out.p, text.data(), text.size()), 0);
  EXPECT_EQ(ZeFileLoadBuffer("packed.rnc", out.p, 20000 + 251), 0);
  zefile_try_packed = 0;
  EXPECT_EQ(ZeFileLoadBuffer("packed.rnc", out.p, 20000), int(packed.size())) << "read as it is";

  EXPECT_EQ(ZeFileSize("plain.bin"), 20000);
  EXPECT_EQ(ZeFileSize("missing.bin"), -1);
  EXPECT_EQ(ZeFileSize(""), -1);
  EXPECT_EQ(ZeFileSize(nullptr), -1);
  zefile_buffering_enabled = 1;
  auto* block = static_cast<uint8_t*>(ZeFileLoad("plain.bin"));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(memcmp(block, text.data(), text.size()), 0);
  ZeMemFreeFn(block, __FILE__, __LINE__);
  EXPECT_EQ(zefile_buffering_enabled, 1);
  EXPECT_EQ(ZeFileLoad("missing.bin"), nullptr);
}

TEST_F(Files, DiscStartUpRebootsSwapsAndLoadsModules) {
  Make("disc/SYS250/IOPRP250.IMG", "image");
  PlatSetDiscRoot((dir + "/disc").c_str());
  ZeFileSetCurrentSysDirectory("");
  ZeFileInitEx(ZEFILE_MEDIA_CD, 1, 1);  // the swap's state machine runs to its end
  EXPECT_EQ(ZeFileGetMediaMode(), ZEFILE_MEDIA_CD);
  EXPECT_EQ(SwapDisk(), 0) << "a new swap starts from its first step";
  while (SwapDisk() != 2) {
  }
  errmsg_disabled = 0;
  ConsoleCaptureScope capture;
  EXPECT_GE(ZeFileSifLoadModule("PADMAN.IRX", 0, nullptr), 0);
  EXPECT_NE(capture.text().find("Successfully loaded IRX Module: cdrom0:\\SYS250\\PADMAN.IRX;1"), std::string::npos);
  capture.clear();
  EXPECT_LT(ZeFileSifLoadModule("NOSUCH.IRX", 0, nullptr), 0);
  std::string text = capture.text();
  EXPECT_NE(text.find("on try 3 because;"), std::string::npos);
  EXPECT_NE(text.find("host0:/usr/local/sce/iop/modules/NOSUCH.IRX"), std::string::npos);
  EXPECT_NE(text.find("Unknown error code"), std::string::npos);
  EXPECT_EQ(fsOpen("cdrom0:\\SYS250\\IOPRP250.IMG;1", SCE_RDONLY) >= 0, true);
}
