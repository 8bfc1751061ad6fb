// The universe file: records, nesting and order, the pool's limit, buffers,
// look-ups, visibility, the current node and every fatal message.
#include "gameflow_testutil.h"

namespace {

using UniTest = FlowTest;

std::string Repeat(const std::string& line, int n) {
  std::string s;
  for (int i = 0; i < n; i++) s += line;
  return s;
}

TEST_F(UniTest, ReadsWorldsIslandsAndLevelsNewestFirst) {
  Uni("; a comment\n"
      "BeginWorld Ocean\n"
      "  GBName OceanPlanet planets\\ocean\n"
      "  GBConfig high 6815744\n"
      "  AtmosAlt 12.5\n"
      "  Path worlds\\ocean\n"
      "  BeginIsland Harbour\n"
      "    PlateID 12\n"
      "    PlatePos 0 150 -2\n"
      "    PlateAlign\n"
      "    PVS 300 1 2 3 ; remark\n"
      "    LoadTriggers harbour\n"
      "    LoScene harbourlo\n"
      "    BeginLevel Quay BUFFER SUBHIGH 3000000\n"
      "      Path levels\\quay\n"
      "      HiScene quay\n"
      "      CanSee Market sky\n"
      "      LoScene Market quay_lo\n"
      "      StartPos 1 2 3 16384.9\n"
      "    EndLevel\n"
      "    BeginLevel Market\n"
      "      BeginLevel Stall\n"
      "      EndLevel\n"
      "    EndLevel\n"
      "  EndIsland\n"
      "EndWorld\n");
  ASSERT_EQ(levcon_num_worlds, 1);
  ASSERT_EQ(levcon_num_islands, 1);
  ASSERT_EQ(levcon_num_levels, 3);
  LevConWorld& w = worlds[0];
  EXPECT_STREQ(w.info.Name, "Ocean");
  EXPECT_STREQ(w.planet, "OceanPlanet");
  EXPECT_STREQ(w.planetpath, "planets\\ocean");
  EXPECT_EQ(w.info.gbkind, 2);
  EXPECT_EQ(w.info.gbsize, 6815744);
  EXPECT_FLOAT_EQ(w.AtmosAlt, 12.5f);
  EXPECT_EQ(w.info.parent, &GlobalInfo);
  EXPECT_EQ(w.firstisland, &islands[0]);
  EXPECT_EQ(w.nislands, 1);

  LevConIsland& i = islands[0];
  EXPECT_EQ(i.PlateID, 12);
  EXPECT_FLOAT_EQ(i.PlatePos.z, -2.0f);
  EXPECT_EQ(i.PlateAlign, 1);
  EXPECT_EQ(i.npvs, 3);
  EXPECT_FLOAT_EQ(i.pvsdist, 300.0f);
  EXPECT_EQ(i.pvs[2], 3);
  EXPECT_STREQ(i.LoadTriggers, "harbour");
  EXPECT_STREQ(i.LoScene, "harbourlo");
  EXPECT_EQ(i.ltset, -1);
  EXPECT_EQ(i.firstlevel, &levels[0]);
  EXPECT_EQ(i.nlevels, 3) << "a sub-level counts among its island's levels";

  LevConLevel &quay = levels[0], &market = levels[1], &stall = levels[2];
  // Children newest first: Market before Quay.
  EXPECT_EQ(i.info.child, &market.info);
  EXPECT_EQ(market.info.next, &quay.info);
  EXPECT_EQ(quay.info.prev, &market.info);
  EXPECT_EQ(stall.info.parent, &market.info);
  EXPECT_EQ(market.info.child, &stall.info);
  EXPECT_EQ(quay.bufftype, 6);
  EXPECT_EQ(quay.buffsize, 3000000);
  EXPECT_EQ(market.bufftype, 5);
  EXPECT_EQ(market.buffsize, 0x500000);
  EXPECT_EQ(quay.setkeys[7], -1);
  EXPECT_EQ(quay.host, &market) << "host level resolved when the island ends";
  EXPECT_STREQ(quay.lopattern, "quay_lo");
  EXPECT_EQ(quay.ncansee, 1);
  EXPECT_EQ(quay.cansee[0], &market);
  EXPECT_EQ(quay.levflags, LEVCON_SEE_SKY);
  EXPECT_FLOAT_EQ(quay.StartPos.y, 2.0f);
  EXPECT_EQ(quay.startyaw, 16384);
  EXPECT_TRUE(LevConIsInfoInList(i.info.child, &stall.info));
  EXPECT_FALSE(LevConIsInfoInList(market.info.child, &quay.info));
}

TEST_F(UniTest, StringKeywordWithoutWordOrWithRemarkIsNull) {
  Uni("BeginWorld W\nPath\nName ;remark\nEndWorld\n");
  EXPECT_EQ(worlds[0].info.Path, nullptr);
  EXPECT_EQ(worlds[0].info.Name, nullptr);
}

TEST_F(UniTest, UnexpectedKeywordIsReportedAndSkipped) {
  ConsoleCaptureScope capture;
  Uni("BeginWorld W\nHiScene x\nPath p\nEndWorld\n");
  EXPECT_NE(capture.text().find("Unexpected \"HiScene\" in file t.uni at line 1"), std::string::npos);
  EXPECT_NE(capture.text().find("UNI FILE INTERPRETER ERROR"), std::string::npos);
  EXPECT_STREQ(worlds[0].info.Path, "p");
}

TEST_F(UniTest, PoolEndsAt8191NotAt8192) {
  // "W" takes 2 bytes, 40 words of 200 characters 201 each: 8042 in use.
  std::string head = "BeginWorld W\n" + Repeat("Path " + std::string(200, 'a') + "\n", 40);
  Uni(head + "Path " + std::string(148, 'b') + "\nEndWorld\n");  // new offset 8191
  EXPECT_EQ(strlen(worlds[0].info.Path), 148u);
  EXPECT_FLOW_HALT(Uni(head + "Path " + std::string(149, 'b') + "\nEndWorld\n"), "Levcon String Table Overflow at 41");
}

TEST_F(UniTest, GlobalGBConfigAndDefaults) {
  Uni("BeginWorld W\nEndWorld\n");
  EXPECT_EQ(levcon_gb_kind, 2);
  EXPECT_EQ(levcon_gb_size, 0x680000);
  EXPECT_EQ(levcon_gb_noplanet, 0);
  EXPECT_EQ(levcon_gb_nohires, 0);
  EXPECT_EQ(worlds[0].info.gbsize, -1);
  Uni("GBConfig LOW 1000 nohires other NOPLANET\nBeginWorld W\nGBConfig low 77\nEndWorld\n");
  EXPECT_EQ(levcon_gb_kind, 0);
  EXPECT_EQ(levcon_gb_size, 1000);
  EXPECT_EQ(levcon_gb_noplanet, 1);
  EXPECT_EQ(levcon_gb_nohires, 1);
  EXPECT_EQ(worlds[0].info.gbkind, 0);
  EXPECT_EQ(worlds[0].info.gbsize, 77);
}

TEST_F(UniTest, BufferKinds) {
  struct Case {
    const char* words;
    int kind, size;
  } cases[] = {{"BUFFER LOW 10", 0, 10},           {"BUFFER sub 11", 1, 11},    {"BUFFER HIGH 12", 2, 12},
               {"BUFFER ANY 13", 4, 13},           {"BUFFER MAIN 14", 5, 14},   {"BUFFER SUBHIGH 15", 6, 15},
               {"BUFFER SUBLOW 16", 7, 16},        {"BUFFER SUBAT 1048576 17", 0x100008, 17},
               {"BUFFER SUBAT 1048831 18", 0x100008, 18}, {"; remark", 5, 0x500000}};
  for (const Case& c : cases) {
    Uni(std::string("BeginWorld W\nBeginIsland I\nBeginLevel L ") + c.words + "\nEndLevel\nEndIsland\nEndWorld\n");
    EXPECT_EQ(levels[0].bufftype, c.kind) << c.words;
    EXPECT_EQ(levels[0].buffsize, c.size) << c.words;
  }
}

TEST_F(UniTest, CanSeeFlagsAndNames) {
  std::string eight = "CanSee a b c d e f g h global sky sea fractal\n";
  Uni("BeginWorld W\nBeginIsland I\nBeginLevel a\n" + eight + "EndLevel\nEndIsland\nEndWorld\n");
  EXPECT_EQ(levels[0].ncansee, 8);
  EXPECT_EQ(levels[0].levflags, LEVCON_SEE_GLOBAL | LEVCON_SEE_SKY | LEVCON_SEE_SEA);
  EXPECT_EQ(levels[0].cansee[0], &levels[0]);
  EXPECT_EQ(levels[0].cansee[1], nullptr) << "an unknown name resolves to null";
  EXPECT_FLOW_HALT(Uni("BeginWorld W\nBeginIsland I\nBeginLevel a\nCanSee a b c d e f g h global sea i\n"),
              "game.uni - too many cansee levels at 3, maximum of 8");
}

TEST_F(UniTest, FindByNamePrefersTheIsland) {
  Uni("BeginWorld Sea\nBeginIsland Harbour\nBeginLevel harbour\nEndLevel\nBeginLevel Quay\nEndLevel\nEndIsland\nEndWorld\n");
  EXPECT_EQ(LevConFindByName("HARBOUR"), &islands[0].info);
  EXPECT_EQ(LevConFindByName("quay"), &levels[1].info);
  EXPECT_EQ(LevConFindByName("nothing"), nullptr);
  EXPECT_EQ(LevConFindLevelByName("Harbour"), &levels[0]);
  EXPECT_EQ(LevConFindWorldByName("sea"), &worlds[0]);
  EXPECT_EQ(LevConFindIslandByName("quay"), nullptr);
}

TEST_F(UniTest, VisibilityIsDirectional) {
  Uni("BeginWorld W\nBeginIsland I\n"
      "BeginLevel A\nCanSee B A\nEndLevel\n"
      "BeginLevel B\nCanSee global\nEndLevel\n"
      "BeginLevel C\nEndLevel\n"
      "EndIsland\nEndWorld\n");
  LevConInfo *a = &levels[0].info, *b = &levels[1].info, *c = &levels[2].info, *w = &worlds[0].info;
  EXPECT_EQ(LevConIsVisible(a, b), 1);
  EXPECT_EQ(LevConIsVisible(b, a), 0);
  EXPECT_EQ(LevConIsVisible(a, a), 1);
  EXPECT_EQ(LevConIsVisible(c, c), 1);
  EXPECT_EQ(LevConIsVisible(b, w), 1);
  EXPECT_EQ(LevConIsVisible(b, &GlobalInfo), 1);
  EXPECT_EQ(LevConIsVisible(a, w), 0);
  EXPECT_EQ(LevConIsVisible(w, &GlobalInfo), 1);
  EXPECT_EQ(LevConIsVisible(w, a), 0);
  EXPECT_EQ(LevConIsVisible(&GlobalInfo, w), 0);
  EXPECT_EQ(LevConIsVisible(nullptr, a), 0);
  EXPECT_EQ(LevConIsVisible(a, nullptr), 0);
}

TEST_F(UniTest, CurrentNodeAccessors) {
  Uni("BeginWorld W\nPath wp\nBeginIsland I\nPath ip\nBeginLevel L\nPath lp\nEndLevel\nEndIsland\nEndWorld\n");
  char out[256] = "x";
  EXPECT_EQ(LevConGetCurrentInfo(), nullptr);
  EXPECT_EQ(LevConGetCurrentPath(out), 0);
  EXPECT_STREQ(out, "");
  current_world = &worlds[0];
  EXPECT_EQ(LevConGetCurrentName(out), 3);
  EXPECT_STREQ(out, "wp");
  current_island = &islands[0];
  current_level = &levels[0];
  EXPECT_EQ(LevConGetCurrentInfo(), &levels[0].info);
  EXPECT_EQ(LevConGetCurrentName(out), 1);
  EXPECT_STREQ(out, "lp") << "the name accessor copies the Path";
  EXPECT_EQ(LevConGetCurrentFullName(out), 1);
  EXPECT_STREQ(out, "lp\\L");
  current_level = nullptr;
  EXPECT_EQ(LevConGetCurrentPath(out), 2);
  EXPECT_STREQ(out, "ip");
  current_island = nullptr;
  current_world = nullptr;
}

TEST_F(UniTest, TexAnimFile) {
  Uni("TexAnimFile gfx\\anims.txt 20000\n");
  EXPECT_STREQ(texanimfilename, "gfx\\anims.txt");
  EXPECT_EQ(texanimbuffsize, 20000);
}

TEST_F(UniTest, FatalMessages) {
  const std::string isl = "BeginWorld W\nBeginIsland I\n";
  const std::string lev = isl + "BeginLevel L\n";
  struct Case {
    std::string text, message;
  } cases[] = {
      {Repeat("BeginWorld W\nEndWorld\n", 9), "Too many worlds defined at 16 (max 8)"},
      {"BeginWorld W\n" + Repeat("BeginIsland I\nEndIsland\n", 33), "Too many islands defined at 65 (max 32)"},
      {isl + Repeat("BeginLevel L\nEndLevel\n", 65), "Too many levels defined at 130 (max 64)"},
      {"GBConfig mid 100\n", "game.uni - Unknown buffer type 'mid' at 0 - must be either LOW or HIGH"},
      {"GBConfig high\n", "game.uni - You must supply a fractal buffer size at 0"},
      {isl + "GBConfig high 100\n", "can only set GBCONFIG globally or in a world, definitely not at line 2"},
      {lev + "GBConfig low 100\n", "can only set GBCONFIG globally or in a world, definitely not at line 3"},
      {"TexAnimFile\n", "game.uni - TexAnimFile: missing filename at 0"},
      {"\nTexAnimFile " + std::string(64, 'n') + " 10\n", "game.uni - TexAnimFile: filename exceeds 64 chars at 1"},
      {isl + "PVS 10" + Repeat(" 1", 33) + "\n", "Too many plates in PVS command at line 2"},
      {lev + "GBInitLevel 3\n", "No Longer supported - use FRACTAL command with either ACTIVE or INACTIVE"},
      {isl + "BeginLevel L BUFFER WIDE 100\n", "game.uni - Unknown level buffer type \"WIDE\" at 2"},
      // Sub-levels past the parser's tables are refused, not read in the wrong table.
      {lev + Repeat("BeginLevel S\n", 5), "game.uni - levels nested too deeply at 7"},
  };
  for (const Case& c : cases) EXPECT_FLOW_HALT(Uni(c.text), c.message);
  EXPECT_FLOW_HALT(LevConLoadUniverse("none.uni"), "Could not open none.uni");
  // The deepest nesting that fits still reads.
  Uni(lev + Repeat("BeginLevel S\n", 4) + Repeat("EndLevel\n", 5) + "EndIsland\nEndWorld\n");
  EXPECT_EQ(levcon_num_levels, 5);
  EXPECT_EQ(levels[4].info.parent, &levels[3].info);
  EXPECT_EQ(islands[0].nlevels, 5);
}

TEST_F(UniTest, CanSeeNameOverflowNamesTheWord) {
  std::string text = "BeginWorld W\n" + Repeat("Path " + std::string(200, 'a') + "\n", 40) +
                     "BeginIsland I\nBeginLevel L\nCanSee " + std::string(150, 'z') + "\n";
  EXPECT_FLOW_HALT(Uni(text), "Levcon String Table Overflow at \"zzz");
}

}  // namespace
