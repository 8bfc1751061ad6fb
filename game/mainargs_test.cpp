#include "game.h"
#include "player.h"
#include "standins.h"
#include "platform_test.h"

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Args : testing::Test {
  std::string dir;
  void SetUp() override {
    MainResetSettings();
    dir = TestTempDir();
    PlatSetHostRoot(dir.c_str());
    ZeFileInit(ZEFILE_MEDIA_HOST);
    ZeDatSet(nullptr);
    ZeFileSetCurrentDirectory("");
    VehOverideMaxSpeed = VehOverideGravity = 0;
    for (int& n : checked_num_pickups) n = 0;
  }
  void TearDown() override {
    MainResetSettings();
    PlatSetHostRoot(nullptr);
  }
  static void Parse(std::vector<const char*> words) { MainParseArgs(int(words.size()), words.data()); }
  void File(const char* name, const std::string& text) { std::ofstream(dir + "/" + name) << text; }
};

}  // namespace

TEST_F(Args, BuiltInVector) {
  ConsoleCaptureScope console;
  MainParseArgs(CDROM_ARGS, cdrom_args);
  EXPECT_EQ(dfs_enabled, 1);
  EXPECT_EQ(medium_dvdrom, 1);
  EXPECT_EQ(medium_rebootiop, 1);
  EXPECT_EQ(sound_enabled, 1);
  EXPECT_EQ(medium_cdrom, 0);
  EXPECT_EQ(levmenu_current, 0);
  ASSERT_EQ(levmenu[0].count, 14);
  EXPECT_EQ(levmenu[1].count, 0);
  EXPECT_STREQ(levmenu[0].entries[0].level, "hometown");
  EXPECT_STREQ(levmenu[0].entries[0].title, "Home Town");
  const LevMenuEntry* mount = &levmenu[0].entries[12];
  EXPECT_STREQ(mount->level, "mountext");
  EXPECT_STREQ(mount->title, "The Mount Of Sighs");
  EXPECT_EQ(mount->flags, 0x100);
  EXPECT_STREQ(levmenu[0].entries[11].level, "aliennes");
  EXPECT_EQ(levmenu[0].entries[11].flags, 0);
  EXPECT_STREQ(levmenu[0].entries[13].level, "volcspd");
  EXPECT_EQ(levmenu[0].entries[13].flags, 0);
  EXPECT_EQ(WhichWasp, 0);
  EXPECT_NE(console.text().find("Command Arg 54 -> "), std::string::npos);
  EXPECT_EQ(level_name[0], 0);
  EXPECT_STREQ(main_current_dir, "data");
}

// Each row: words, then a check of what they set.
TEST_F(Args, WordsAndTheirSettings) {
  Parse({"PATH", "EDIT"});
  EXPECT_STREQ(main_current_dir, "EDIT");
  EXPECT_EQ(game_editmode, 1) << "the argument is tested against the later keyword EDIT";
  EXPECT_EQ(LEVELBUFFERSIZE, 0x1499000 - 1048576);

  MainResetSettings();
  Parse({"EDIT", "LEVELBUFFERSIZE", "5000000"});
  EXPECT_EQ(LEVELBUFFERSIZE, 5000000) << "a later size overrides the reduction";
  MainResetSettings();
  Parse({"LEVELBUFFERSIZE", "5000000", "EDIT"});
  EXPECT_EQ(LEVELBUFFERSIZE, 5000000 - 1048576);

  Parse({"PICKUPS", "7", "5"});
  for (int n : checked_num_pickups) EXPECT_EQ(n, 0);
  Parse({"PICKUPS", "2", "5000", "PICKUPS", "0", "-4"});
  EXPECT_EQ(checked_num_pickups[2], 999);
  EXPECT_EQ(checked_num_pickups[0], 0);

  Parse({"LIVES", "0", "HITPOINTS", "5000"});
  EXPECT_EQ(start_player_lives, 1);
  EXPECT_EQ(start_player_hitpoints, 999);
  Parse({"TOD", "18", "40", "GRAVITY", "3", "SPEED", "9", "VIDEOPOS", "4", "-2"});
  EXPECT_FLOAT_EQ(gb_time, 0.75f);
  EXPECT_FLOAT_EQ(gb_time_step, 40.0f);
  EXPECT_EQ(VehOverideGravity, -3);
  EXPECT_EQ(VehOverideMaxSpeed, 9) << "SPEED after GRAVITY: the second test of the pass";
  EXPECT_EQ(videopos_x, 4);
  EXPECT_EQ(videopos_y, -2);
  Parse({"ulmescud", "uni", "a.uni", "flo", "b.flo", "language", "fr", "padplay", "rec.bin"});
  EXPECT_STREQ(level_name, "testsite");
  EXPECT_EQ(VehicleDebugEnabled, 1);
  EXPECT_STREQ(levcon_uni_name, "a.uni");
  EXPECT_STREQ(gameflow_name, "b.flo");
  EXPECT_STREQ(language, "fr");
  EXPECT_EQ(pad_play, 1);
  EXPECT_STREQ(padfile, "rec.bin");
  Parse({"AVICFG", "320", "240", "30", "2", "1.5", "MIPMAP"});
  EXPECT_EQ(avi_width, 320);
  EXPECT_FLOAT_EQ(avi_gamma, 1.5f);
  EXPECT_EQ(zemtl_force_mipmap, 1);
  zemtl_force_mipmap = 0;
}

TEST_F(Args, LevelMenus) {
  ConsoleCaptureScope console;
  std::vector<const char*> words;
  for (int i = 0; i < 17; i++) {
    words.push_back("levmenu");
    words.push_back("hometown");
    words.push_back(i == 3 ? "A Title Of Thirty-Two Characters" : "Home");
  }
  words.push_back("setlevmenu");
  words.push_back("1");
  words.push_back("whichwasp");
  words.push_back("2");
  words.push_back("edlevmenu");
  words.push_back("0123456789012345678901234567890X");  // 32 characters
  words.push_back("Edit");
  Parse(words);
  EXPECT_EQ(levmenu[0].count, 16);
  EXPECT_NE(console.text().find("Too many levmenu commands"), std::string::npos);
  EXPECT_EQ(levmenu[0].entries[3].title[0], 0) << "a 32-character title is not kept";
  EXPECT_STREQ(levmenu[0].entries[3].level, "hometown");
  ASSERT_EQ(levmenu[1].count, 1) << "the entry counts all the same";
  EXPECT_EQ(levmenu[1].entries[0].level[0], 0);
  EXPECT_STREQ(levmenu[1].entries[0].title, "Edit");
  EXPECT_EQ(levmenu[1].entries[0].flags, 0x201);
  EXPECT_NE(console.text().find("is too long for a level name"), std::string::npos);
}

TEST_F(Args, MissingArgumentsStopWithTheirMessages) {
  struct Case {
    std::vector<const char*> words;
    const char* message;
  } cases[] = {
      {{"PATH"}, "missing arg"},
      {{"LEVMENU", "hometown"}, "missing arg - LEVMENU <levelname> <menuname>"},
      {{"EDLEVMENU"}, "missing arg - LEVMENU <levelname> <menuname>"},
      {{"LEVELBUFFERSIZE"}, "LEVELBUFFERSIZE - missing arg"},
      {{"RNDRBUFFERSIZE"}, "RNDRBUFFERSIZE - missing arg"},
      {{"TOD", "12"}, "TOD - missing arg <TOD time(24 hrs) duration of day (minutes)> "},
      {{"PICKUPS", "2"}, "missing arg for PICKUPS"},
      {{"LIVES"}, "missing arg for LIVES"},
      {{"HITPOINTS"}, "missing arg for HITPOINTS"},
      {{"AVICFG", "1", "2", "3", "4"}, "Missing arg - AVICFG <width> <height> <framerate> <framescale> <gamma>"},
      {{"VIDEOPOS", "1"}, "VIDEOPOS - missing arg <VIDEOPOS screen x and screen y> "},
      {{"CMDFILE"}, "missing arg"},
  };
  for (Case& c : cases) EXPECT_HALT(Parse(c.words), c.message);
  // SETLEVMENU alone is not checked.
  Parse({"SETLEVMENU"});
  EXPECT_EQ(levmenu_current, 0);
}

// Out-of-range values that would write past their tables are ignored with
// a message.
TEST_F(Args, TableOverrunsAreIgnored) {
  ConsoleCaptureScope console;
  std::vector<const char*> words;
  const char* names[7] = {"a", "b", "c", "d", "e", "f", "g"};
  for (const char* n : names) {
    words.push_back("LEVELSTATE");
    words.push_back(n);
    words.push_back("3");
  }
  words.push_back("SETLEVMENU");
  words.push_back("2");
  words.push_back("LEVMENU");
  words.push_back("x");
  words.push_back("X");
  words.push_back("SETLEVMENU");
  words.push_back("-1");
  Parse(words);
  EXPECT_EQ(levelstate_cmd_count, 6);
  EXPECT_STREQ(levelstate_cmd[5].level, "f");
  EXPECT_NE(console.text().find("LEVELSTATE g 3 ignored"), std::string::npos);
  EXPECT_EQ(levmenu_current, 0);
  EXPECT_EQ(levmenu[0].count, 1) << "the entry went to menu 0";
  EXPECT_NE(console.text().find("SETLEVMENU 2 ignored"), std::string::npos);
  EXPECT_NE(console.text().find("SETLEVMENU -1 ignored"), std::string::npos);
}

// Longer words than the settings hold are refused; the setting stays.
TEST_F(Args, LanguageAndPadFileCopiesAreBounded) {
  ConsoleCaptureScope console;
  Parse({"LANGUAGE", "0123456789abcdef", "PADREC", "0123456789012345678901234567890123456789"});
  EXPECT_STREQ(language, "uk");
  EXPECT_STREQ(padfile, "PAD.BIN");
  EXPECT_EQ(pad_record, 0);
  EXPECT_NE(console.text().find("LANGUAGE 0123456789abcdef - bad arg"), std::string::npos);
  EXPECT_NE(console.text().find("PADREC 0123456789012345678901234567890123456789 - bad arg"), std::string::npos);
  Parse({"LANGUAGE", "0123456789abcde", "PADREC", "0123456789012345678901234567890"});
  EXPECT_STREQ(language, "0123456789abcde") << "15 characters fit";
  EXPECT_STREQ(padfile, "0123456789012345678901234567890");
  EXPECT_EQ(pad_record, 1);
}

TEST_F(Args, CommandFiles) {
  // Its words take the place of the rest of the vector; its first word is
  // tested against the keywords after CMDFILE.
  File("cmd.txt", "EDIT LEVEL caves\n; a comment\nLIVES 5\n");
  Parse({"CMDFILE", "cmd.txt", "LEVEL", "dropped"});
  EXPECT_EQ(game_editmode, 1);
  EXPECT_STREQ(level_name, "caves");
  EXPECT_EQ(start_player_lives, 5);
  // Empty or missing: parsing ends there.
  File("empty.txt", "; nothing\n");
  MainResetSettings();
  Parse({"CMDFILE", "empty.txt", "LEVEL", "caves"});
  EXPECT_EQ(level_name[0], 0);
  Parse({"CMDFILE", "none.txt", "LEVEL", "caves"});
  EXPECT_EQ(level_name[0], 0);
  // A second file inside a command file is ignored, not scanned for ever.
  ConsoleCaptureScope console;
  File("loop.txt", "LEVEL castle CMDFILE loop.txt LIVES 7\n");
  Parse({"CMDFILE", "loop.txt"});
  EXPECT_STREQ(level_name, "castle");
  EXPECT_EQ(start_player_lives, 7);
  EXPECT_NE(console.text().find("CMDFILE loop.txt inside a command file ignored"), std::string::npos);
}

TEST_F(Args, InGameOverridesStopAtFive) {
  for (int i = 0; i < 6; i++) AddInGameLevelStateOverride("village", i);
  EXPECT_EQ(levelstate_ingame_count, 5);
  EXPECT_EQ(levelstate_ingame[4].progress, 4);
  // The universe stand-in holds no level: nothing is overridden.
  ConsoleCaptureScope console;
  OverrideLevelProgress();
  EXPECT_EQ(console.text().find("Overriding"), std::string::npos);
}
