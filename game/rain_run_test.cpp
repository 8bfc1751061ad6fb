// The program on the demo disc at "island3": the level's effect page loaded
// with it and started when it becomes current, the glass pass started, the
// game's rain cycle letting a shower come and pass, and the rain's splashes
// on the ground.
#include <cmath>
#include <fstream>
#include <map>
#include <string>

#include "game.h"
#include "gamelib.h"
#include "gtest/gtest.h"
#include "levcon.h"
#include "platform_test.h"
#include "player.h"
#include "standins.h"

namespace {

struct RainRun : testing::Test {
  static void SetUpTestSuite() {
    PlatSetDiscRoot(TORVA_DISC);
    const std::string pad = TestTempDir() + "/pad.txt";
    std::ofstream(pad) << "-\n";
    ASSERT_TRUE(PlatPadSetSourceByName(0, ("script:" + pad).c_str()));
    PlatSetArgs("LEVEL island3");
    MainResetSettings();
    MainStartUp();
    MainReplaySetUp();
    MainRestartPoint();
  }
};

TEST_F(RainRun, TheLevelsEffectsRunAndAShowerComesAndPasses) {
  for (int f = 0; f < 60; f++) MainFrame();
  LevConLevel* level = LevConFindLevelByName("island3");
  ASSERT_NE(level, nullptr);
  ASSERT_EQ(current_level, level);
  EXPECT_EQ(debris_glass_ready, 1) << "started with the level";
  const int page = level->setkeys[1];
  ASSERT_GE(page, 1) << "the level's effect page";
  int running = 0;
  for (const PlacedEmitter& e : edpp_ptls) running += e.page == page && e.key >= 0 && e.key < DEB_KEYS;
  EXPECT_EQ(running, 3) << "fountain, sparks and smoke";
  EXPECT_GT(debris_generated_total, 60);
  EXPECT_GE(LookupDebrisEffectPage("FENN_RAIN", 0), 1) << "the general page";
  EXPECT_EQ(ZeRainKey, -1) << "dry at first";

  // A dry spell of 2048 frames or more, the fog rising, then the rain.
  int start = -1, stop = -1, most = 0;
  float heaviest = 0.0f;
  for (int f = 60; f < 9000 && stop < 0; f++) {
    MainFrame();
    if (ZeRainKey != -1) {
      if (start < 0) start = f;
      most = std::max(most, int(debkeydata[ZeRainKey].nchunks));
      heaviest = std::max(heaviest, ZeRainFall);
    } else if (start >= 0) {
      stop = f;
    }
  }
  EXPECT_GT(start, 2048);
  EXPECT_GT(stop, start + 1024) << "a wet spell of 1024 frames or more";
  EXPECT_EQ(most, 20) << "640 drops";
  EXPECT_GT(heaviest, 0.5f);
  EXPECT_EQ(running, 3);
}

// A steady shower: every unpaused frame makes two splash effects of the
// general page's "RainSplash" near the hero, each on the ground under its
// point (up to 5 above his feet), or at the sea level off the ground; a
// paused frame makes none.
TEST_F(RainRun, SplashesLandOnTheGroundAndStopWhilePaused) {
  for (int f = 0; f < 60 && !current_level; f++) MainFrame();
  ASSERT_EQ(current_level, LevConFindLevelByName("island3"));
  const int type = GenDeb[GENDEB_RAINSPLASH].type;
  EXPECT_STREQ(GenDeb[GENDEB_RAINSPLASH].name, "RainSplash");
  ASSERT_GE(type, 1);
  EXPECT_EQ(type, LookupDebrisEffectPageOnly("RainSplash", 0)) << "found in the general page";
  EXPECT_EQ(GenDeb[GENDEB_RAINSPLASH].found, 1);

  // Wet and held there: fog and rain at the shower's values, no turn of the cycle.
  SeekFog = CurFog = 0.25f;
  SeekRain = CurRain = 0.2f;
  RainTimer = 1 << 20;
  raintog = 0;
  // The hero stands on the ground at the origin (the level starts him in the air).
  const ZEVEC origin = {0, 0, 0};
  SetPlayer(&origin, 0);
  std::map<int, ZEVEC> live;  // splash keys after the last frame, with their points
  auto splashes = [&] {
    std::map<int, ZEVEC> now;
    for (int i = 0; i < DEB_KEYS; i++)
      if (debkeydata[i].type == type) now[i] = debkeydata[i].pos;
    return now;
  };
  auto moved = [](const ZEVEC& a, const ZEVEC& b) { return a.x != b.x || a.y != b.y || a.z != b.z; };
  int made = 0, onGround = 0, atSea = 0, emitting = 0;
  for (int f = 0; f < 60; f++) {
    MainFrame();
    for (const auto& [key, at] : splashes()) {
      auto was = live.find(key);
      if (was != live.end() && !moved(was->second, at)) continue;
      made++;
      emitting += debkeydata[key].nchunks > 0;
      // Two ahead along the camera's yaw, and up to 3 aside on each axis.
      const float yaw = CameraYaw();
      EXPECT_LE(std::abs(at.x - Player.cob.pos.x - 2 * std::sin(yaw)), 3.0f);
      EXPECT_LE(std::abs(at.z - Player.cob.pos.z - 2 * std::cos(yaw)), 3.0f);
      const ZEVEC column = {at.x, Player.cob.pos.y, at.z};
      const float ground = NewShadow(&column, 0, 0.0f, 5.0f);
      if (ground >= TERR_NO_HEIGHT) {
        EXPECT_EQ(at.y, 17.0f) << "the sea level at island3, off the ground at " << at.x << ", " << at.z;
        atSea++;
      } else {
        EXPECT_EQ(at.y, ground) << "on the ground at " << at.x << ", " << at.z;
        onGround++;
      }
    }
    live = splashes();
  }
  EXPECT_EQ(made, 120) << "two a frame";
  EXPECT_EQ(emitting, made) << "each splash emits at once";
  EXPECT_GT(onGround, 60);
  EXPECT_GT(atSea, 0) << "points past the ground's edge";
  EXPECT_GT(live.size(), 0u);

  // Paused: the splashes left stand still and no new one comes.
  paused = 1;
  const std::map<int, ZEVEC> before = splashes();
  for (int f = 0; f < 30; f++) MainFrame();
  const std::map<int, ZEVEC> after = splashes();
  EXPECT_EQ(after.size(), before.size());
  for (const auto& [key, at] : after) {
    auto was = before.find(key);
    ASSERT_NE(was, before.end()) << "a splash made while paused";
    EXPECT_FALSE(moved(was->second, at));
  }
  paused = 0;
  SeekFog = CurFog = SeekRain = CurRain = 0.0f;
}

}  // namespace
