// The program on the demo disc at "island3": the level's effect page loaded
// with it and started when it becomes current, the glass pass started, and
// the game's rain cycle letting a shower come and pass.
#include <fstream>
#include <string>

#include "game.h"
#include "gamelib.h"
#include "gtest/gtest.h"
#include "levcon.h"
#include "platform_test.h"

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

}  // namespace
