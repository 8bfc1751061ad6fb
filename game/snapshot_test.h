// The check program's snapshots for the picture tests: a run of it to one
// frame in virtual time, and the PNG file read back as 0x00BBGGRR pixels
// (empty when it cannot be read). TORVA_CHECK names the program (tests that
// read pictures only leave it out).
#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform_test.h"

struct Png {
  int w = 0, h = 0;
  std::vector<uint32_t> px;  // 0x00BBGGRR
  uint32_t at(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
};

inline Png Read(const std::string& path) {
  Png p;
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return p;
  img.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, bytes.data(), 0, nullptr)) return p;
  p.w = int(img.width), p.h = int(img.height);
  for (size_t i = 0; i < bytes.size(); i += 4)
    p.px.push_back(uint32_t(bytes[i]) | uint32_t(bytes[i + 1]) << 8 | uint32_t(bytes[i + 2]) << 16);
  return p;
}

#ifdef TORVA_CHECK
// The frame's picture from a run of the check program with the options (its
// printed lines into *log when given).
inline Png Snapshot(int frame, const std::string& options, const std::string& name, std::string* log = nullptr) {
  const std::string out = TestTempDir() + "/" + name + ".png";
  const std::string cmd = std::string(TORVA_CHECK) + " --verbose --clock=virtual --display=null --frames=" +
                          std::to_string(frame + 2) + " --snapshot=" + std::to_string(frame) + ":" + out + " " +
                          options + " > " + out + ".log 2>&1";
  std::remove(out.c_str());
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  if (log) {
    std::ifstream in(out + ".log");
    log->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return Read(out);
}
#endif
