#include "game.h"
#include "game_test.h"
#include "gamelib.h"
#include "player.h"
#include "standins.h"
#include "platform_test.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>

// ---------------------------------------------------------------------------
// The shared start: the demo disc, a level named by --args, phase A once.

void GameTestStart() {
  static bool started = false;
  if (started) {
    // Each test starts running, unpaused, faded in, in the normal mode.
    errmsg_trap = 0;  // left by a fatal path an earlier test caught
    exitgame = 0;
    paused = menu_active = menu_subactive = editor_active = 0;
    quit_flags = 0;
    quit_delay = 0;
    intro_flag = 0;
    game_editmode = 0;
    dbgfn_display = 0;
    strcpy(level_name, "hometown");
    game_fade_mode = 3;
    game_fade_level = 0;
    SetPadScript(0, "-\n");
    // These tests read the 2-D menus and views over the whole field: the
    // hero standing in the level behind them is not drawn.
    player_draw_enabled2 = 0;
    return;
  }
  started = true;
  PlatSetDiscRoot(TORVA_DISC);
  SetPadScript(0, "-\n");
  PlatSetArgs("LEVEL hometown");
  MainResetSettings();
  MainStartUp();
  MainReplaySetUp();
  MainRestartPoint();
  GameTestStart();
}

Picture Shown() {
  Picture p;
  const uint32_t* f = DisplayField(&p.w, &p.h);
  p.px.assign(f, f + size_t(p.w) * size_t(p.h));
  return p;
}

void SetPadScript(int port, const char* text) {
  static int n;
  const std::string path = TestTempDir() + "/pad" + std::to_string(n++) + ".txt";
  std::ofstream(path) << text;
  ASSERT_TRUE(PlatPadSetSourceByName(port, ("script:" + path).c_str()));
}

namespace {

struct Frame : testing::Test {
  void SetUp() override { GameTestStart(); }
  static int FramesUntil(bool (*done)(), int limit) {
    for (int n = 1; n <= limit; n++) {
      MainFrame();
      if (done()) return n;
    }
    return -1;
  }
};

}  // namespace

TEST_F(Frame, StartUpSetTheBuiltInVectorAndTheArgs) {
  EXPECT_STREQ(level_name, "hometown");
  EXPECT_EQ(dfs_enabled, 1);
  EXPECT_EQ(levmenu[0].count, 14);
  ASSERT_NE(bigbuffer, nullptr);
  EXPECT_GT(bigbuffer->permanent_top.get(), bigbuffer->block_start.get()) << "the strings are in the permanent area";
  // The world's load puts the world top at the system top, aligned to 16.
  EXPECT_EQ(bigbuffer->world_top.get() - bigbuffer->system_top.get(),
            ((EeAddrOf(bigbuffer->system_top.get()) + 15) & ~15u) - EeAddrOf(bigbuffer->system_top.get()));
  EXPECT_STREQ(GetGameString(37), "Quit");
  EXPECT_STREQ(GetGameString(40), "Quit to the Droom") << "a '+' line";
  EXPECT_NE(general_fade_mtl, nullptr);
  EXPECT_EQ(padrec, nullptr) << "no recording buffer unless PADREC or PADPLAY asks";
  for (int i = 0; i < 256; i++) ASSERT_EQ(gamma_table[i], i) << "the start-up makes the identity gamma table";
}

// The shared pickup shapes of the demo disc ("generic\pickups.ter": a
// crate, a pot and a pad) are loaded once into the system area.
TEST_F(Frame, StartUpLoadedTheSharedPickupShapes) {
  ASSERT_NE(PickupTerr, nullptr);
  ASSERT_EQ(PickupTerr->nitems, 3);
  const float tops[] = {0.8f, 0.5f, 0.0f};
  for (int id = 0; id < 3; id++) {
    ASSERT_EQ(PickupTerr->map[id], id);
    const TerrItem& shape = PickupTerr->items.get()[id];
    EXPECT_EQ(shape.kind, 0);
    EXPECT_EQ(shape.bmax.y, tops[id]) << "shape " << id << ": bounds relative to the shape";
  }
  EXPECT_EQ(PickupTerr->map[3], -1);
  const char* set = reinterpret_cast<const char*>(PickupTerr);
  EXPECT_GE(set, bigbuffer->permanent_top.get());
  EXPECT_LT(set, bigbuffer->system_top.get());
}

// Named effects: rows as other code numbers them, resolved from the general
// page at start-up; a name no page holds stays no type.
TEST_F(Frame, NamedEffectRowsResolvedFromTheGeneralPage) {
  const struct {
    int row;
    const char* name;
  } rows[] = {{0, "Impact1"}, {24, "Break1"}, {37, "Feather"}, {40, "Dust5"}, {44, "Burn1"}, {46, "BlowerBits"},
              {60, "MBImpact1"}, {61, "MBImpact2"}, {67, "CheckPot3"}, {83, "EnergyGot"}, {86, "TheSun"},
              {87, "GoldGlow"}, {91, "EnergyPickup"}, {110, "PotFire"}, {128, "RainSplash"}, {130, "GoldCog"},
              {135, "SpiderDust"}, {214, "GliderFX1"}};
  for (const auto& r : rows) EXPECT_STREQ(GenDeb[r.row].name, r.name) << r.row;
  EXPECT_EQ(GenDeb[GENDEB_ROWS].name.get(), nullptr) << "the table's end";
  EXPECT_EQ(GenDeb[GENDEB_RAINSPLASH].type, LookupDebrisEffectPageOnly("RainSplash", 0));
  EXPECT_GE(GenDeb[GENDEB_RAINSPLASH].type, 1);
  EXPECT_EQ(GenDeb[GENDEB_RAINSPLASH].found, 1);
  EXPECT_EQ(GenDeb[0].type, -1) << "no page holds Impact1";
  EXPECT_EQ(GenDeb[0].found, 0);

  // A level's page: the rows the general page lacks come from it; a row the
  // general page holds keeps its type though the level has one of that name.
  static DebrisEffectType level[2];
  int slots[2] = {-1, -1};
  for (int i = 1, n = 0; i < DEB_TYPES && n < 2; i++)
    if (!debtab[i]) slots[n++] = i;
  ASSERT_GE(slots[1], 1);
  const char* names[2] = {"Splash1", "RainSplash"};
  for (int n = 0; n < 2; n++) {
    DebrisDefaultEffectType(&level[n]);
    strncpy(level[n].name, names[n], sizeof level[n].name);
    level[n].page = 3;
    debtab[slots[n]] = &level[n];
  }
  const int general = GenDeb[GENDEB_RAINSPLASH].type;
  InitLevelDeb(3);
  EXPECT_EQ(GenDeb[43].type, slots[0]) << "Splash1 from the level's page";
  EXPECT_EQ(GenDeb[43].found, 0);
  EXPECT_EQ(GenDeb[GENDEB_RAINSPLASH].type, general);
  for (int slot : slots) debtab[slot] = nullptr;
  InitLevelDeb(3);
  EXPECT_EQ(GenDeb[43].type, -1) << "the page is gone";
  InitGenDeb();
  EXPECT_EQ(GenDeb[GENDEB_RAINSPLASH].type, general);
}

// A quit with delay 3 takes effect on the fourth frame that sees it, then
// fades out over 32 frames.
TEST_F(Frame, QuitDelayThenFadeOut) {
  quit_flags = 1;
  quit_delay = 3;
  for (int i = 0; i < 3; i++) {
    MainFrame();
    EXPECT_EQ(exitgame, 0) << i;
  }
  MainFrame();
  EXPECT_EQ(exitgame, 1);
  EXPECT_EQ(quit_flags & 1, 0);
  EXPECT_EQ(level_name[0], 0) << "the next replay shows the level select";
  const int n = FramesUntil([] { return game_fade_level >= 255; }, 100);
  EXPECT_EQ(n, 32);
  EXPECT_EQ(game_fade_status, 5);
  MainFrame();
  EXPECT_EQ(game_fade_status, 7);
}

TEST_F(Frame, ExitCountdownOnlyWhileUnpaused) {
  exitgame = 70;
  paused = 1;
  for (int i = 0; i < 10; i++) MainFrame();
  EXPECT_EQ(exitgame, 70);
  paused = 0;
  const int n = FramesUntil([] { return exitgame == 2; }, 100);
  EXPECT_EQ(n, 68);
  MainFrame();
  EXPECT_EQ(game_fade_mode, 1) << "the fade-out starts";
  EXPECT_EQ(FramesUntil([] { return game_fade_level >= 255; }, 100), 31);
}

// The pitch of the first two channels changes only when paused changes.
TEST_F(Frame, PausePitchOnlyOnAChange) {
  SetPadScript(0, "- x3\nSTART\n- x3\nSTART\n- x3\n");
  const int before = main_pitch_changes;
  int changes[12];
  for (int i = 0; i < 12; i++) {
    MainFrame();
    changes[i] = main_pitch_changes - before;
  }
  EXPECT_EQ(changes[11], 2) << "pause and resume";
  for (int i = 1; i < 12; i++) EXPECT_LE(changes[i] - changes[i - 1], 1);
  EXPECT_EQ(paused, 0);
  SetPadScript(0, "-\n");
}

TEST_F(Frame, WorldFrozenUnlessPausedEqualsEditor) {
  const struct {
    int paused, editor, frozen, particles;
  } cases[] = {{0, 0, 0, 0}, {1, 0, 1, 1}, {0, 1, 1, 1}, {1, 1, 0, 0}};
  for (const auto& c : cases) {
    paused = c.paused;
    editor_active = c.editor;
    EXPECT_EQ(MainWorldFrozen(), c.frozen) << c.paused << c.editor;
    EXPECT_EQ(paused ^ editor_active, c.particles);
  }
}

// The editor stand-in leaves at once: the game comes back paused with the
// menu, as the editor host's leave does.
TEST_F(Frame, LeavingTheEditorPausesWithTheMenu) {
  editor_active = 1;
  MainFrame();
  EXPECT_EQ(editor_active, 0);
  EXPECT_EQ(menu_active, 1);
  EXPECT_EQ(paused, 1);
}

TEST_F(Frame, IntroHintBlinks) {
  intro_flag = 1;
  intro_hint_counter = 60;
  std::string pattern;
  for (int i = 0; i < 62; i++) {
    pattern += intro_hint_counter > 35 ? 'o' : '.';
    MainFrame();
  }
  EXPECT_EQ(pattern, std::string(25, 'o') + std::string(36, '.') + "o");
  // Drawn (centred on its y): the hint's line is lit while shown, one frame
  // later on the screen.
  intro_hint_counter = 60;
  MainFrame();
  MainFrame();
  EXPECT_GT(Shown().RowMax(0xC80 / 16 - 2), 0);
  intro_hint_counter = 20;
  MainFrame();
  MainFrame();
  EXPECT_EQ(Shown().RowMax(0xC80 / 16 - 2), 0);
  intro_flag = 0;
}

// Misses: the sixth consecutive one lets the next frame go without a
// catch-up when the drawing itself fits the field.
TEST_F(Frame, SixMissedSwaps) {
  frame_misses = 0;
  frame_catchup_time = 100;
  TBSET* t = tb_default_set;
  auto setLast = [t](int slot, int v) { t->acc[slot][t->cur[slot]] = v; };
  setLast(0, 300);
  setLast(1, 200);
  for (int i = 1; i <= 5; i++) {
    EXPECT_EQ(MainAfterSwap(0), 0);
    EXPECT_EQ(frame_misses, i);
  }
  EXPECT_EQ(MainAfterSwap(0), 1) << "slot 0 less the catch-up fits: no catch-up";
  EXPECT_EQ(frame_misses, 0);
  for (int i = 0; i < 5; i++) MainAfterSwap(0);
  setLast(1, 250);
  for (int i = 0; i < 2; i++) {
    EXPECT_EQ(MainAfterSwap(0), 0) << "the drawing alone is too slow";
    EXPECT_EQ(frame_misses, 6) << "held at 6";
  }
  EXPECT_EQ(MainAfterSwap(1), 1);
  EXPECT_EQ(frame_misses, 0);
  // A frame made late: the next frame runs the catch-up step first.
  frame_ontime = 0;
  MainFrame();
  EXPECT_GE(frame_catchup_time, 0);
}

TEST_F(Frame, EditModeQuitEndsTheProgram) {
  game_editmode = 1;
  EXPECT_HALT(MainCloseDown(), "End");
  game_editmode = 0;
}

TEST_F(Frame, StackMarkerLiesInsideTheStack) {
  static char stack[256];
  memset(stack, 0x55, sizeof stack);
  ThreadParam tp{};
  tp.func = [](void*) {};
  tp.stack = stack + 16;
  tp.stackSize = 200;
  tp.initPriority = 10;
  const int id = CreateThread(&tp);
  ASSERT_GE(id, 0);
  MainWriteStackMarker(id);
  EXPECT_STREQ(stack + 16, "bottom of stack - do not pass");
  for (int i = 0; i < 16; i++) EXPECT_EQ(uint8_t(stack[i]), 0x55) << "nothing below the stack";
  DeleteThread(id);
}

TEST_F(Frame, MaterialReadHandler) {
  ZEMTL m{};
  const struct {
    int effect, result;
  } cases[] = {{0, 0}, {1, 1}, {2, 0}, {3, 1}, {0x81, 0}};
  for (const auto& c : cases) {
    m.effect_id = uint8_t(c.effect);
    EXPECT_EQ(MainMtlReadHandler(&m), c.result) << c.effect;
  }
}

// A missing icon adds nothing to the permanent top; a missing splash
// picture skips the splash.
TEST_F(Frame, MissingIconAndSplash) {
  char* block = bigbuffer->block_start;
  // As the replay's close-down does: the planet world and the normal maps
  // go before the set-up builds them again.
  GBSetInitLevel(0, nullptr, nullptr, nullptr, nullptr);
  ZeNormalMapClose();
  MainReplaySetUp();
  MainRestartPoint();
  size_t strings = 0;
  for (const uint8_t* s : game_strings)
    if (s) strings += 2 + strlen(reinterpret_cast<const char*>(s + 1));
  EXPECT_EQ(ZeFileSize("gfx\\torva.ico"), -1);
  // The planet world follows the strings in the permanent area: built again
  // from the strings' end it ends where the set-up left the top.
  GBSetInitLevel(0, nullptr, nullptr, nullptr, nullptr);
  char* planet = block + strings;
  char* end = bigbuffer->block_end;
  GBSetInitLevel(2, &planet, &end, nullptr, nullptr);
  EXPECT_EQ(planet, bigbuffer->permanent_top.get())
      << "the strings follow the block start: the missing icon's -1 is not added";
  quit_flags = 4;
  const int swaps = DisplayPresentCount();
  MainQuitSplash();
  EXPECT_EQ(DisplayPresentCount(), swaps) << "no splash frames without the pictures";
  quit_flags = 0;
}

// Texture-animation list: names packed with their terminators, also when
// the last line has no line end (the name block has room for its
// terminator and the list's end).
TEST_F(Frame, TexAnimList) {
  const std::string dir = TestTempDir();
  PlatSetHostRoot(dir.c_str());
  ZEDAT* was = ZeDatSet(nullptr);
  ZeFileInit(ZEFILE_MEDIA_HOST);
  ZeFileSetCurrentDirectory("");
  std::ofstream(dir + "/anims.cfg", std::ios::binary) << "a.tas\nflicker.tas";
  {
    std::ifstream src(DEMO_DIR "/flicker.tas", std::ios::binary);
    std::ofstream(dir + "/flicker.tas", std::ios::binary) << src.rdbuf();
  }
  strcpy(texanimfilename, "anims.cfg");
  texanimbuffsize = 0;
  EXPECT_HALT(InitTexAnimScripts(), "Invalid TexAnimBuff size");
  texanimbuffsize = 4096;
  ConsoleCaptureScope console;
  InitTexAnimScripts();
  EXPECT_NE(console.text().find("Unable to load animated texture script \"a.tas\""), std::string::npos);
  EXPECT_EQ(console.text().find("Unable to load animated texture script \"flicker.tas\""), std::string::npos);
  EXPECT_NE(ZeTexAnimProgFind("Flicker"), nullptr) << "the last name, without a line end, is read whole";
  std::ofstream(dir + "/empty.cfg");
  strcpy(texanimfilename, "empty.cfg");
  EXPECT_HALT(InitTexAnimScripts(), "could not load texanim cfg file \"empty.cfg\"");
  // The line number counts from 0, as the parser does.
  std::ofstream(dir + "/bad.cfg") << "a.tas\n\"\"\n";
  strcpy(texanimfilename, "bad.cfg");
  EXPECT_HALT(InitTexAnimScripts(), "texanim cfg file - errm at 1!");
  std::ofstream(dir + "/bad.cfg") << "\"\"\n";
  EXPECT_HALT(InitTexAnimScripts(), "texanim cfg file - errm at 0!");
  // Each script may fill a whole block: with room for one the first is
  // read and the second, however small, does not start.
  std::ofstream(dir + "/two.cfg") << "flicker.tas\nflicker.tas\n";
  strcpy(texanimfilename, "two.cfg");
  ZeMemFreeFn(texanimbuff, __FILE__, __LINE__);
  texanimbuff = nullptr;  // made again at the new size
  texanimbuffsize = ZETEXANIM_SCRIPTBLOCK + 3;
  EXPECT_HALT(InitTexAnimScripts(), "texanimbuff of 1027 bytes is full at script \"flicker.tas\"");
  EXPECT_NE(ZeTexAnimProgFind("Flicker"), nullptr);
  texanimfilename[0] = 0;
  ZeFileInitEx(ZEFILE_MEDIA_DVD, 0, 0);
  ZeFileSetCurrentDirectory(main_current_dir);
  ZeDatSet(was);
  PlatSetHostRoot(nullptr);
}

// The start-up builds the planet world's init level 2 from the disc's loose
// "bin\cube.bin" and "bin\system.gb3"; each unpaused frame turns the planets.
TEST_F(Frame, StartUpBuildsThePlanetSystem) {
  EXPECT_EQ(init_level, 2);
  ASSERT_NE(FrameGetRoot(), nullptr);
  EXPECT_EQ(FrCubeGetNumLevels(), 5);
  ASSERT_EQ(PlanetSysGetCount(), 1);
  PLANET* p = PlanetSysGetPlanet(0);
  EXPECT_STREQ(p->name, "TorvaPlanet");
  EXPECT_FLOAT_EQ(p->radius, 11000.0f);
  ASSERT_NE(p->frame.get(), nullptr);
  for (int k = 0; k < 6; k++) EXPECT_NE(p->texture[k], 0) << "face " << k;
  const float step = 1.0f / (p->daylength * 3600.0f);
  const float before = p->dayphase;
  for (int i = 0; i < 3; i++) MainFrame();
  EXPECT_NEAR(p->dayphase, before + 3 * step, 1e-6f);
  EXPECT_FLOAT_EQ(p->frame->mtx.m[3][2], p->position.z) << "the planet's frame is set by the turn";
  paused = 1;
  const float held = p->dayphase;
  MainFrame();
  EXPECT_EQ(p->dayphase, held) << "paused: the planets stand still";
  paused = 0;
}

// The game font "fonts\rod28" comes from the disc's native texture data with
// its palette alpha: the hint's glyphs are drawn by their coverage (letters
// with gaps and soft edges), not as solid glyph boxes.
TEST_F(Frame, GameFontDrawsGlyphsByCoverage) {
  ASSERT_NE(game_fnt, nullptr);
  ASSERT_NE(game_fnt->mtl.get(), nullptr);
  EXPECT_EQ(ZeTexType(game_fnt->mtl->texture), ZETEX_PAL4);
  intro_flag = 1;
  intro_hint_counter = 60;
  MainFrame();
  MainFrame();
  const Picture p = Shown();
  intro_flag = 0;
  // The hint's band of lit rows and its lit extent.
  int y0 = 0xC80 / 16 - 2, y1 = y0;
  ASSERT_GT(p.RowMax(y0), 0);
  while (y0 > 0 && p.RowMax(y0 - 1) > 0) y0--;
  while (y1 + 1 < p.h && p.RowMax(y1 + 1) > 0) y1++;
  int x0 = p.w, x1 = -1;
  for (int y = y0; y <= y1; y++)
    for (int x = 0; x < p.w; x++)
      if (p.Bright(x, y) > 0) x0 = std::min(x0, x), x1 = std::max(x1, x);
  int lit = 0, soft = 0, full = 0;
  for (int y = y0; y <= y1; y++)
    for (int x = x0; x <= x1; x++) {
      const int b = p.Bright(x, y);
      lit += b > 0;
      soft += b > 0 && b < 200;
      full += b >= 250;
    }
  const int area = (y1 - y0 + 1) * (x1 - x0 + 1);
  EXPECT_LT(lit, area * 6 / 10) << "gaps between and inside the letters";
  EXPECT_GT(soft, lit / 10) << "soft glyph edges";
  EXPECT_GT(full, lit / 4) << "solid strokes";
}
