#include "platform.h"
#include "dll_testprog.h"
#include "platform_test.h"

#include <dlfcn.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct Image {
  char* block = nullptr;
  char* image = nullptr;
  SnDllHeader header{};
  explicit Image(const std::string& bytes, int offset = 0) {
    block = static_cast<char*>(EeMalloc(bytes.size() + 256));
    image = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(block) + 127) & ~uintptr_t(127)) + offset;
    memcpy(image, bytes.data(), bytes.size());
    header.image = EeAddrOf(image);
    header.size = int(bytes.size());
  }
  ~Image() { EeFree(block); }
};

std::string ModuleBytes() {
  std::ifstream f(DLL_TEST_MODULE, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

struct Modules : testing::Test {
  void SetUp() override {
    snInitDllSystem(nullptr);
    SnSetExports(EXPORTS, 2);
    SnSetSlots(SLOTS, 3);
    g_rows[0] = g_rows[1] = Row{};
  }
  void TearDown() override {
    SnSetExports(nullptr, 0);
    SnSetSlots(nullptr, 0);
  }
};

}  // namespace

TEST_F(Modules, LoadBindCallUnloadReload) {
  std::string bytes = ModuleBytes();
  ASSERT_GT(bytes.size(), 1000u);
  for (int round = 0; round < 2; round++) {
    Image m(bytes);
    ASSERT_EQ(snDllLoaded(m.image, &m.header), 0);
    EXPECT_NE(m.header.loader, 0u);
    ASSERT_NE(g_rows[0].step, nullptr);
    EXPECT_EQ(g_rows[0].step, g_rows[1].step) << "one symbol, two slots";
    EXPECT_EQ(g_rows[0].answer, nullptr) << "no slot registered";
    EXPECT_EQ(g_rows[1].answer(), 42);
    g_noted = dll_test_global = 0;
    EXPECT_EQ(g_rows[0].step(5), 1) << "fresh statics in round " << round;
    EXPECT_EQ(g_rows[1].step(2), 2);
    EXPECT_EQ(g_noted, 7) << "the module called the program";
    EXPECT_EQ(dll_test_global, 7);
    void* code = reinterpret_cast<void*>(g_rows[0].step);
    EXPECT_EQ(snDllUnload(m.image), 0);
    Dl_info info;
    EXPECT_EQ(dladdr(code, &info), 0) << "the object is really unloaded";
    EXPECT_EQ(g_rows[0].step, nullptr);
    EXPECT_EQ(g_rows[1].step, nullptr);
    EXPECT_EQ(g_rows[1].answer, nullptr);
    EXPECT_EQ(snDllUnload(m.image), SN_DLL_NOT_LOADED);
  }
}

TEST_F(Modules, RefusalsCarryTheLoadersCodes) {
  std::string bytes = ModuleBytes();
  {
    Image m(bytes, 16);
    EXPECT_EQ(snDllLoaded(m.image, &m.header), SN_DLL_BAD_ALIGN);
  }
  {
    Image m("this is no module at all");
    EXPECT_EQ(snDllLoaded(m.image, &m.header), SN_DLL_NOT_DLL);
  }
  {
    std::string wrong = bytes;
    wrong[4] = 1;  // a 32-bit object
    Image m(wrong);
    EXPECT_EQ(snDllLoaded(m.image, &m.header), SN_DLL_BAD_VERSION);
  }
  {
    Image m(bytes.substr(0, 200));  // cut short
    EXPECT_EQ(snDllLoaded(m.image, &m.header), SN_DLL_INVALID);
  }
  {
    // The ELF header alone, with no sections (and none copied from nowhere).
    std::string bare = bytes.substr(0, 64);
    memset(&bare[40], 0, 8);  // e_shoff
    memset(&bare[60], 0, 2);  // e_shnum
    Image m(bare);
    EXPECT_EQ(snDllLoaded(m.image, &m.header), SN_DLL_INVALID);
  }
  {
    // Loads stop after the checks when the fuzz target asks.
    PlatDllCheckOnly(true);
    Image m(bytes);
    EXPECT_EQ(snDllLoaded(m.image, &m.header), 0);
    EXPECT_EQ(g_rows[0].step, nullptr) << "nothing bound";
    EXPECT_EQ(snDllUnload(m.image), SN_DLL_NOT_LOADED) << "nothing loaded";
    PlatDllCheckOnly(false);
  }
  {
    SnSetExports(EXPORTS, 1);  // the program's global is not exported
    Image m(bytes);
    ConsoleCaptureScope capture;
    EXPECT_EQ(snDllLoaded(m.image, &m.header), SN_DLL_INVALID);
    EXPECT_NE(capture.text().find("needs \"dll_test_global\", which the program does not export"),
              std::string::npos) << capture.text();
    EXPECT_EQ(g_rows[0].step, nullptr);
    SnSetExports(EXPORTS, 2);
  }
  std::vector<Image*> loaded;
  for (int i = 0; i < SN_DLL_MAX; i++) {
    loaded.push_back(new Image(bytes));
    ASSERT_EQ(snDllLoaded(loaded.back()->image, &loaded.back()->header), 0);
  }
  Image extra(bytes);
  EXPECT_EQ(snDllLoaded(extra.image, &extra.header), SN_DLL_TOO_MANY);
  EXPECT_EQ(snDllLoaded(loaded[0]->image, &loaded[0]->header), SN_DLL_INVALID) << "loaded already";
  for (Image* m : loaded) {
    EXPECT_EQ(snDllUnload(m->image), 0);
    delete m;
  }
}
