// The check program's picture in virtual time (the program runs the same
// frames the same way every time): snapshots of one frame with and without
// a feature differ exactly where the feature draws: the collision's debug
// drawing.
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform_test.h"

namespace {

struct Png {
  int w = 0, h = 0;
  std::vector<uint32_t> px;  // 0x00BBGGRR
  uint32_t at(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
};

Png Read(const std::string& path) {
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

// The frame's picture from a run of the check program with the options.
Png Snapshot(int frame, const std::string& options, const std::string& name) {
  const std::string out = TestTempDir() + "/" + name + ".png";
  const std::string cmd = std::string(TORVA_CHECK) + " --clock=virtual --display=null --frames=" +
                          std::to_string(frame + 2) + " --snapshot=" + std::to_string(frame) + ":" + out + " " +
                          options + " > /dev/null 2>&1";
  std::remove(out.c_str());
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  return Read(out);
}

// The pixels that differ.
int Compare(const Png& a, const Png& b) {
  int n = 0;
  for (int y = 0; y < a.h; y++)
    for (int x = 0; x < a.w; x++) n += a.at(x, y) != b.at(x, y);
  return n;
}

TEST(DemoWorldPicture, TheDebugDrawingShowsTheCollisionAndOnlyIt) {
  const Png plain = Snapshot(100, "--no-rain", "plain");
  const Png debug = Snapshot(100, "--no-rain --terrain-debug", "debug");
  ASSERT_EQ(plain.w, 640);
  ASSERT_EQ(debug.w, plain.w);
  ASSERT_EQ(debug.h, plain.h);
  const int lines = Compare(plain, debug);
  EXPECT_GT(lines, 200) << "the collision's lines";
  EXPECT_LT(lines, plain.w * plain.h / 8) << "lines, not a cover";
  // Without the drawing the picture is the same, run after run.
  EXPECT_EQ(Compare(plain, Snapshot(100, "--no-rain", "plain2")), 0);
}

}  // namespace
