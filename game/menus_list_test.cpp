#include "game.h"
#include "platform_test.h"

#include <filesystem>
#include <fstream>
#include <string>

TEST(LevelList, ReadsTheLevelLinesOfTheConfig) {
  const std::string dir = TestTempDir();
  PlatSetHostRoot(dir.c_str());
  ZeFileInit(ZEFILE_MEDIA_HOST);
  ZeDatSet(nullptr);
  ZeFileSetCurrentDirectory("");
  std::filesystem::create_directories(dir + "/levelsel");
  std::ofstream(dir + "/levelsel/levels.cfg") << "; levels\nLEVEL hometown\nlevel caves\nPICTURE x\nLEVEL\nLEVEL castle\n";
  LoadLevelList();
  ASSERT_NE(level_list, nullptr);
  EXPECT_STREQ(level_list[0], "hometown");
  EXPECT_STREQ(level_list[1], "caves");
  EXPECT_STREQ(level_list[2], "castle") << "a LEVEL line without a name adds nothing";
  EXPECT_EQ(level_list[3], nullptr);
  ReleaseLevelList();
  EXPECT_EQ(level_list, nullptr);
  // A missing file gives an empty list.
  std::filesystem::remove(dir + "/levelsel/levels.cfg");
  LoadLevelList();
  ASSERT_NE(level_list, nullptr);
  EXPECT_EQ(level_list[0], nullptr);
  ReleaseLevelList();
  ReleaseLSImages();  // nothing made: nothing to destroy
  PlatSetHostRoot(nullptr);
}
