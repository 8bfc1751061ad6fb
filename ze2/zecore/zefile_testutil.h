// Fixtures shared by the file-layer tests: a temporary host root, a clean
// file layer before and after, files made on the host, EE memory buffers.
#pragma once

#include "zecore.h"
#include "zecore_local.h"
#include "zesound2.h"
#include "platform_test.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct FileTest : testing::Test {
  std::string dir = TestTempDir();

  void SetUp() override {
    PlatSetHostRoot(dir.c_str());
    ZeFileReset();
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    errmsg_disabled = 1;  // the layer reports every open and close
  }
  void TearDown() override {
    ZeFileReset();
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    PlatSetHostRoot(nullptr);
    PlatSetDiscRoot(nullptr);
    zefile_buffering_enabled = 0;
    zefile_validate_name = 0;
    zefile_try_packed = 1;
    zesound_enabled = 0;
    errmsg_disabled = 0;
    ZeFileSetCurrentDirectory("");
    ZeFileSetCurrentSysDirectory("sys");
    ZeFileSetCurrentDllDirectory("");
  }

  void Make(const std::string& rel, const std::string& bytes) const {
    std::filesystem::path p = dir + "/" + rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
  void Make(const std::string& rel, const std::vector<uint8_t>& bytes) const {
    Make(rel, std::string(bytes.begin(), bytes.end()));
  }
  std::string HostFile(const std::string& rel) const {
    std::ifstream f(dir + "/" + rel, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
};

// A block of EE memory, freed at the end of its scope.
struct EeBuf {
  uint8_t* p;
  size_t n;
  explicit EeBuf(size_t size, uint8_t fill = 0xcd) : p(static_cast<uint8_t*>(EeMalloc(size ? size : 1))), n(size) {
    memset(p, fill, n);
  }
  ~EeBuf() { EeFree(p); }
  EeBuf(const EeBuf&) = delete;
  EeBuf& operator=(const EeBuf&) = delete;
  std::string str(size_t len) const { return std::string(reinterpret_cast<char*>(p), len); }
};

// Deterministic bytes: some text-like, some noise.
inline std::vector<uint8_t> TestBytes(size_t n, uint32_t seed, int noisePercent = 30) {
  std::vector<uint8_t> v(n);
  static const char* const words[] = {"level ", "trigger ", "spline ", "the ", "camera ", "0.5 ", "12, ", "\r\n"};
  uint32_t s = seed * 2654435761u + 1;
  size_t i = 0;
  while (i < n) {
    s = s * 1664525u + 1013904223u;
    if (int(s >> 25) % 100 < noisePercent) {
      v[i++] = uint8_t(s >> 13);
    } else {
      for (const char* w = words[(s >> 10) % 8]; *w && i < n; w++) v[i++] = uint8_t(*w);
    }
  }
  return v;
}
