// The check program's picture in virtual time (the program runs the same
// frames the same way every time): snapshots of one frame with and without
// a feature differ exactly where the feature draws: the collision's debug
// drawing; the world alone (--world): the character and its marker where
// they project, the rain in the sky; the dressing round the character: the
// grass parting, the stones solid near it, the bridge sagging under it.
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

// Where the program printed the bridge's plank nearest the character
// (screen pixels as above) and its height, for the frame.
struct Plank {
  int index = -1, x = -1, y = -1;
  float height = 0;
};
Plank PlankOnScreen(const std::string& log, int frame) {
  Plank p;
  const std::string key = "demoworld: frame " + std::to_string(frame) + " on screen:";
  const size_t at = log.find(key);
  float x, y;
  if (at == std::string::npos ||
      std::sscanf(log.c_str() + at + key.size(), " plank %d at (%f, %f), height %f", &p.index, &x, &y, &p.height) != 4)
    return p;
  p.x = int((x - 32768.0f) / 16.0f) + 320, p.y = int((y - 32768.0f) / 16.0f) + 112;
  return p;
}

// The character walks through the tuft of grass: with it there the blades
// round its feet bend away; the grass untouched stands in the wind alone.
// Only the grass changes (the character hidden in both).
TEST(DemoWorldPicture, TheGrassPartsRoundTheCharacter) {
  constexpr int kFrame = 50;
  std::string log;
  Snapshot(kFrame, "--world --no-rain", "grass_torva", &log);
  const ScreenPoints at = OnScreen(log, kFrame);
  ASSERT_GE(at.torva_x, 0) << log;
  const Png parted = Snapshot(kFrame, "--world --no-rain --no-torva", "grass_parted");
  const Png still = Snapshot(kFrame, "--world --no-rain --no-torva --untouched", "grass_still");
  ASSERT_EQ(parted.w, 640);
  ASSERT_EQ(still.w, parted.w);
  // The feet are below the printed middle of the body.
  const int feet_y = std::min(at.torva_y + 16, parted.h - 1);
  const int near = CompareNear(parted, still, at.torva_x, feet_y, 32);
  const int all = Compare(parted, still);
  EXPECT_GT(near, 100) << "blades bent round the feet";
  // The whole tuft feels the character (its blades swing back slowly), the
  // ones round the feet most: the change is densest there.
  const int wide = CompareNear(parted, still, at.torva_x, feet_y, 96);
  EXPECT_GT(near * 9, wide * 2) << "densest round the feet: " << near << " of " << wide << " of " << all;
  Png sky = parted, sky2 = still;
  sky.h = sky2.h = 32;
  EXPECT_EQ(Compare(sky, sky2), 0);
}

// On the bridge the plank under the character sags: it is lower than the
// same plank of the bridge untouched, in the world and on the screen, and
// the picture differs there.
TEST(DemoWorldPicture, TheBridgeSagsUnderTheCharacter) {
  constexpr int kFrame = 175;
  std::string weighed_log, free_log;
  const Png weighed = Snapshot(kFrame, "--world --no-rain --no-torva", "bridge_weighed", &weighed_log);
  const Png free = Snapshot(kFrame, "--world --no-rain --no-torva --untouched", "bridge_free", &free_log);
  const Plank on = PlankOnScreen(weighed_log, kFrame), off = PlankOnScreen(free_log, kFrame);
  ASSERT_GE(on.index, 1) << weighed_log;
  ASSERT_EQ(on.index, off.index) << "the same plank under the character";
  EXPECT_LT(on.height, off.height - 0.03f);
  EXPECT_GT(on.y, off.y) << "lower on the screen";
  ASSERT_GE(on.x, 0);
  ASSERT_LT(on.y, weighed.h);
  // The plank is one flat colour nearly as wide as the bridge: its edges
  // and the ropes beside it move, its middle stays the same colour.
  EXPECT_GT(CompareNear(weighed, free, on.x, on.y, 56), 0) << "the plank's edges moved";
}

// The fade stones by the start of the walk are solid (platform instances)
// while the character is within 2 units and not after it walked on; the
// stones untouched are never solid.
TEST(DemoWorldPicture, StonesAreSolidOnlyNearTheCharacter) {
  std::string log, free_log;
  Snapshot(60, "--world --no-rain", "stones", &log);
  Snapshot(60, "--world --no-rain --untouched", "stones_free", &free_log);
  int most = 0, last = -1, frame, n;
  for (size_t at = log.find("demoworld: frame "); at != std::string::npos; at = log.find("demoworld: frame ", at + 1))
    if (std::sscanf(log.c_str() + at, "demoworld: frame %d: %d stones solid", &frame, &n) == 2)
      most = std::max(most, n), last = n;
  EXPECT_GE(most, 2) << log;
  EXPECT_EQ(last, 0) << "none solid once the character walked on";
  EXPECT_EQ(free_log.find("stones solid"), std::string::npos) << free_log;
}

}  // namespace
