// Fixtures shared by the universe and game-flow tests: a temporary host
// root for the text files, a clean file layer, a program buffer in EE memory.
#pragma once

#include "gameflow.h"
#include "levcon.h"
#include "zecore_local.h"
#include "platform_test.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#define EXPECT_FLOW_HALT(stmt, expected) \
  do {                                   \
    EXPECT_HALT(stmt, expected);         \
    ResetFiles();                        \
  } while (0)

struct FlowTest : testing::Test {
  std::string dir = TestTempDir();
  char* buffer = nullptr;
  static constexpr int BUFFER = 64 * 1024;

  void SetUp() override {
    PlatSetHostRoot(dir.c_str());
    ZeFileReset();
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    buffer = static_cast<char*>(EeMalloc(BUFFER));
    gfc_breakpoint = -1;
    gfc_singlestep = 0;
    gfc_step = 0;
    gfc_follow = 1;
    gfc_toprow = 0;
    gameflowlog_enabled = 0;
  }
  void TearDown() override {
    ZeDatSet(nullptr);
    ZeFileReset();
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    PlatSetHostRoot(nullptr);
    EeFree(buffer);
  }

  void Make(std::string rel, const std::string& text) const {
    for (char& c : rel)
      if (c == '\\') c = '/';
    std::filesystem::path p = dir + "/" + rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
  }
  std::string HostFile(const std::string& rel) const {
    std::ifstream f(dir + "/" + rel, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }

  // After a fatal stop: the files it left open are closed.
  void ResetFiles() {
    ZeFileReset();
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  }

  // The universe read as the level controller reads it.
  void Uni(const std::string& text) {
    Make("t.uni", text);
    strcpy(levcon_uni_name, "t.uni");
    LevConSysInit();
  }

  // A program compiled with the built-in commands alone.
  GfcProgram* Compile(const std::string& text) {
    Make("t.flo", text);
    gfcInit();
    char* cursor = buffer;
    return gfcLoadProgram("t.flo", &cursor, buffer + BUFFER);
  }
};
