#include "zecore.h"
#include "dll_testprog.h"
#include "platform_test.h"
#include "zetools.h"

#include <cstring>
#include <filesystem>
#include <string>

namespace {

constexpr int BUFFER = 256 * 1024;

struct ZeDll : testing::Test {
  std::string dir;
  char* block = nullptr;
  char* base = nullptr;  // 128-byte aligned
  long moduleSize = 0;
  void SetUp() override {
    dir = TestTempDir();
    PlatSetHostRoot(dir.c_str());
    std::filesystem::create_directories(dir + "/MODS");
    std::filesystem::copy_file(DLL_TEST_MODULE, dir + "/MODS/FX.DLL");
    moduleSize = long(std::filesystem::file_size(DLL_TEST_MODULE));
    ZeFileSetCurrentDllDirectory("MODS");
    SnSetExports(EXPORTS, 2);
    SnSetSlots(SLOTS, 3);
    ZeDllInit(nullptr);
    block = static_cast<char*>(EeMalloc(BUFFER + 128));
    base = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(block) + 127) & ~uintptr_t(127));
  }
  void TearDown() override {
    EeFree(block);
    SnSetExports(nullptr, 0);
    SnSetSlots(nullptr, 0);
    ZeFileSetCurrentDllDirectory("");
    PlatSetHostRoot(nullptr);
  }
};

}  // namespace

TEST_F(ZeDll, RecordAndImagePlacement) {
  ASSERT_LT(moduleSize, BUFFER - 0x200);
  struct Case { int at, record, image; } cases[] = {{0, 0, 0x80}, {1, 4, 0x80}, {0x38, 0x38, 0x100}};
  for (const Case& c : cases) {
    char* cursor = base + c.at;
    ZEDLL* dll = ZeDllLoad("FX.DLL", 0, &cursor, base + BUFFER);
    ASSERT_NE(dll, nullptr);
    EXPECT_EQ(reinterpret_cast<char*>(dll), base + c.record);
    EXPECT_EQ(dll->image.get(), base + c.image);
    EXPECT_EQ(dll->size, moduleSize);
    EXPECT_STREQ(dll->name, "FX.DLL");
    uintptr_t end = (reinterpret_cast<uintptr_t>(base) + uintptr_t(c.image) + uintptr_t(moduleSize) + 127) & ~uintptr_t(127);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(cursor), end) << "past the image, rounded up to 128";
    EXPECT_EQ(zedll_loaded, 1);
    ZeDllUnload(dll);
    EXPECT_EQ(zedll_loaded, 0);
  }
}

TEST_F(ZeDll, FromTheArchiveBoundCalledAndReleased) {
  std::string error;
  ASSERT_TRUE(ArcBuild(dir + "/MODS", dir + "/DLL.DAT", ArcBuildOptions{}, &error)) << error;
  ZEDAT* dat = ZeDatOpen("DLL.DAT", nullptr, nullptr);
  ASSERT_NE(dat, nullptr);
  std::filesystem::remove(dir + "/MODS/FX.DLL");  // only the archive has it now
  ZeDllInit(dat);
  char* cursor = base;
  ZEDLL* dll = ZeDllLoad("FX.DLL", 0, &cursor, base + BUFFER);
  ASSERT_NE(dll, nullptr);
  EXPECT_EQ(ZeDatSet(nullptr), nullptr) << "the previous archive is current again";
  g_noted = dll_test_global = 0;
  ASSERT_NE(g_rows[0].step, nullptr);
  EXPECT_EQ(g_rows[0].step(3), 1);
  EXPECT_EQ(g_rows[1].step(4), 2);
  EXPECT_EQ(g_rows[1].answer(), 42);
  EXPECT_EQ(g_noted, 7);
  ConsoleCaptureScope capture;
  ZeDllUnload(dll);
  EXPECT_NE(capture.text().find("Releasing DLL - FX.DLL"), std::string::npos);
  EXPECT_NE(capture.text().find("Released DLL - FX.DLL - OK"), std::string::npos);
  EXPECT_EQ(g_rows[0].step, nullptr);
  EXPECT_EQ(g_rows[1].answer, nullptr);
  ZeDllInit(nullptr);
  ZeDatClose(dat);
}

TEST_F(ZeDll, MissingFilesNamesAndSmallBuffers) {
  char* cursor = base;
  {
    ConsoleCaptureScope capture;
    EXPECT_EQ(ZeDllLoad("NONE.DLL", 0, &cursor, base + BUFFER), nullptr);
    EXPECT_NE(capture.text().find("Could not load DLL NONE.DLL"), std::string::npos);
  }
  EXPECT_EQ(cursor, base + 0x80) << "left at the load address";
  // A name starting with '@' is used unchanged.
  cursor = base;
  ZEDLL* dll = ZeDllLoad("@locMODS\\FX.DLL", 0, &cursor, base + BUFFER);
  ASSERT_NE(dll, nullptr);
  EXPECT_STREQ(dll->name, "@locMODS\\FX.DLL");
  ZeDllUnload(dll);
  // A buffer without room for the module, or not even for the record.
  cursor = base;
  EXPECT_EQ(ZeDllLoad("FX.DLL", 0, &cursor, base + 0x80 + 100), nullptr);
  cursor = base;
  EXPECT_EQ(ZeDllLoad("FX.DLL", 0, &cursor, base + 40), nullptr);
  EXPECT_EQ(ZeDllLoad(std::string(64, 'A').c_str(), 0, &cursor, base + BUFFER), nullptr) << "63 characters at most";
  EXPECT_EQ(zedll_loaded, 0);
}

TEST_F(ZeDll, LoaderErrorsAreFatal) {
  struct Case { int code; const char* text; } cases[] = {
      {1, "SNError - DLL not a DLL in f.c at 7"},     {2, "SNError - DLL bad version in f.c at 7"},
      {3, "SNError - DLL invalid in f.c at 7"},       {4, "SNError - DLL bad align in f.c at 7"},
      {5, "SNError - DLL not loaded in f.c at 7"},    {6, "SNError - DLL too many modules in f.c at 7"},
      {99, "SNError - unknown error in f.c at 7"},
  };
  for (const Case& c : cases) EXPECT_HALT(ZeDllReportError(c.code, "f.c", 7), c.text);
  ZeDllReportError(0, "f.c", 7);

  WriteHostFile(dir + "/MODS/BAD.DLL", reinterpret_cast<const uint8_t*>("not a module at all"), 19);
  char* cursor = base;
  EXPECT_HALT(ZeDllLoad("BAD.DLL", 0, &cursor, base + BUFFER), "SNError - DLL not a DLL in");
  ZEDLL fake{};
  fake.image = base;
  EXPECT_HALT(ZeDllUnload(&fake), "SNError - DLL not loaded in");
}
