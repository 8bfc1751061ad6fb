// The check program's picture in virtual time (the program runs the same
// frames the same way every time): snapshots of one frame with and without
// a feature differ exactly where the feature draws: the collision's debug
// drawing; the world alone (--world): the character and its marker where
// they project, the rain in the sky.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <cstdlib>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform_test.h"
#include "snapshot_test.h"

namespace {

// The frame's picture from a run of the check program with the options
// (its printed lines into *log when given).
Png Snapshot(int frame, const std::string& options, const std::string& name, std::string* log = nullptr) {
  const std::string out = TestTempDir() + "/" + name + ".png";
  const std::string cmd = std::string(TORVA_CHECK) + " --clock=virtual --display=null --frames=" +
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

// The pixels that differ inside the square of half-side r round (x, y).
int CompareNear(const Png& a, const Png& b, int x, int y, int r) {
  int n = 0;
  for (int j = std::max(0, y - r); j <= std::min(a.h - 1, y + r); j++)
    for (int i = std::max(0, x - r); i <= std::min(a.w - 1, x + r); i++) n += a.at(i, j) != b.at(i, j);
  return n;
}

struct ScreenPoints {
  int torva_x = -1, torva_y = -1, hand_x = -1, hand_y = -1;
};

// The character's and its hand's screen pixels the program printed for the
// frame (the view's units: 16 a pixel, the screen's centre at 32768).
ScreenPoints OnScreen(const std::string& log, int frame) {
  ScreenPoints p;
  const std::string key = "democob: frame " + std::to_string(frame) + " on screen:";
  const size_t at = log.find(key);
  float tx, ty, hx, hy;
  if (at == std::string::npos ||
      std::sscanf(log.c_str() + at + key.size(), " torva at (%f, %f), hand at (%f, %f)", &tx, &ty, &hx, &hy) != 4)
    return p;
  const auto px = [](float v, int centre) { return int((v - 32768.0f) / 16.0f) + centre; };
  p.torva_x = px(tx, 320), p.torva_y = px(ty, 112), p.hand_x = px(hx, 320), p.hand_y = px(hy, 112);
  return p;
}

TEST(DemoWorldPicture, TheCharacterAndItsMarkerShowWhereTheyProject) {
  for (const int frame : {100, 150}) {
    SCOPED_TRACE(frame);
    std::string log;
    const Png world = Snapshot(frame, "--world --no-rain", "world", &log);
    const ScreenPoints at = OnScreen(log, frame);
    ASSERT_GE(at.torva_x, 0) << log;
    ASSERT_LT(at.torva_x, world.w);
    ASSERT_LT(at.torva_y, world.h);
    // The character: its body round its projected middle.
    const Png bare = Snapshot(frame, "--world --no-rain --no-torva", "bare");
    ASSERT_EQ(bare.w, world.w);
    EXPECT_GT(CompareNear(world, bare, at.torva_x, at.torva_y, 12), 40) << "the character's crop";
    // The marker: at the hand and nowhere else.
    const Png nomark = Snapshot(frame, "--world --no-rain --no-marker", "nomark");
    const int marker = Compare(world, nomark);
    EXPECT_GT(marker, 10);
    EXPECT_GT(CompareNear(world, nomark, at.hand_x, at.hand_y, 4), 0) << "the marker's centre at the hand";
    EXPECT_EQ(CompareNear(world, nomark, at.hand_x, at.hand_y, 32), marker) << "the marker round the hand only";
  }
}

TEST(DemoWorldPicture, RainShowsInTheSky) {
  const Png wet = Snapshot(650, "--world", "wet");
  const Png dry = Snapshot(650, "--world --no-rain", "dry");
  ASSERT_EQ(wet.w, 640);
  ASSERT_EQ(dry.w, wet.w);
  // The top rows are sky behind the scene.
  Png wetSky = wet, drySky = dry;
  wetSky.h = drySky.h = 32;
  const int streaks = Compare(wetSky, drySky);
  EXPECT_GT(streaks, 200) << "streaks in the sky";
  EXPECT_LT(streaks, 640 * 32 / 2) << "streaks, not a cover";
  // A dry world is the same frame after frame's run.
  EXPECT_EQ(Compare(dry, Snapshot(650, "--world --no-rain", "dry2")), 0);
}

}  // namespace
