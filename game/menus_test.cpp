#include "game.h"
#include "game_test.h"
#include "standins.h"
#include "platform_test.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// Every field shown while the hook is installed.
std::vector<Picture> g_swaps;
int KeepSwap(int) {
  g_swaps.push_back(Shown());
  return 0;
}

// Bands of lit rows inside x0..x1: the brightest value of each.
std::vector<int> Bands(const Picture& p, int x0 = 0, int x1 = -1) {
  if (x1 < 0) x1 = p.w;
  std::vector<int> bands;
  bool in = false;
  for (int y = 0; y < p.h; y++) {
    int m = 0;
    for (int x = x0; x < x1; x++)
      if (p.Bright(x, y) > m) m = p.Bright(x, y);
    if (m > 0 && !in) bands.push_back(0);
    if (m > 0 && m > bands.back()) bands.back() = m;
    in = m > 0;
  }
  return bands;
}

// The lines as white (the cursor's line, 255) and grey (others) runs: "WG"
// is the first line white over grey lines. A line is a band of lit rows
// (its edge rows are only partly covered by the font's glyphs), white when
// its brightest pixel is; lines of one colour make one run.
std::string Runs(const Picture& p) {
  std::string runs;
  for (const int m : Bands(p)) {
    const char c = m == 255 ? 'W' : 'G';
    if (runs.empty() || runs.back() != c) runs += c;
  }
  return runs;
}

struct Menus : testing::Test {
  void SetUp() override {
    GameTestStart();
    g_swaps.clear();
  }
  void TearDown() override {
    PlatSetSwapHook(nullptr);
    menu_current = main_debug_menu;
    menu_active = 0;
    strcpy(level_name, "hometown");
    SetPadScript(0, "-\n");
  }
  // The picture of the frame just made (the display shows it at the next
  // swap).
  static Picture Frame() {
    MainFrame();
    MainFrame();
    return Shown();
  }
  static void Entry(LevMenu& m, const char* level, const char* title, int flags) {
    LevMenuEntry& e = m.entries[m.count++];
    memset(&e, 0, sizeof e);
    strcpy(e.level, level);
    strcpy(e.title, title);
    e.flags = flags;
  }
};

}  // namespace

// Three entries: the cursor's line white, the others grey; down moves it;
// cross chooses "caves", whose WhichWasp 1 is taken; the menu is then cut
// to the normal entries, and the next select shows only those.
TEST_F(Menus, LevelSelect) {
  const int menuWas = levmenu_current;
  LevMenu saved = levmenu[1];
  levmenu_current = 1;
  levmenu[1].count = 0;
  Entry(levmenu[1], "hometown", "Home Town", 0);
  Entry(levmenu[1], "caves", "The Mines", 0x100);
  Entry(levmenu[1], "castle", "The Castle", 1);
  level_name[0] = 0;
  SetPadScript(0, "- x16\nDOWN x2\n- x6\nCROSS x2\n- x4\n");
  PlatSetSwapHook(KeepSwap);
  LevelSelect();
  PlatSetSwapHook(nullptr);
  EXPECT_STREQ(level_name, "caves");
  EXPECT_EQ(WhichWasp, 1);
  EXPECT_EQ(game_editmode, 0);
  ASSERT_GE(g_swaps.size(), 24u);
  EXPECT_EQ(Runs(g_swaps[12]), "WG") << "the first line white, the others grey";
  EXPECT_EQ(Runs(g_swaps[22]), "GWG") << "the cursor moved down";
  EXPECT_TRUE(Bands(g_swaps.back()).empty()) << "cleared frames after the choice";
  ASSERT_EQ(levmenu[1].count, 2) << "only the normal entries stay";
  EXPECT_STREQ(levmenu[1].entries[1].level, "caves");

  // After a quit the next select offers the one kind.
  fnMainQuit();
  EXPECT_EQ(level_name[0], 0);
  g_swaps.clear();
  SetPadScript(0, "- x16\nCROSS x2\n- x4\n");
  PlatSetSwapHook(KeepSwap);
  LevelSelect();
  PlatSetSwapHook(nullptr);
  EXPECT_STREQ(level_name, "hometown");
  ASSERT_GE(g_swaps.size(), 12u);
  EXPECT_EQ(Runs(g_swaps[12]), "WG");
  EXPECT_LT(Bands(g_swaps[12]).size(), 3u) << "two lines";

  // Choosing an "(Edit)" entry switches the edit mode on and keeps the edit
  // entries only.
  levmenu[1].count = 0;
  Entry(levmenu[1], "hometown", "Home Town", 0);
  Entry(levmenu[1], "castle", "The Castle", 1);
  Entry(levmenu[1], "caves", "The Mines", 1);
  level_name[0] = 0;
  SetPadScript(0, "- x16\nDOWN x2\n- x2\nCROSS x2\n- x4\n");
  LevelSelect();
  EXPECT_STREQ(level_name, "castle");
  EXPECT_EQ(game_editmode, 1);
  EXPECT_EQ(levmenu[1].count, 2);
  game_editmode = 0;

  levmenu[1].count = 0;
  level_name[0] = 0;
  EXPECT_HALT(LevelSelect(), "No Entries in levmenu and no level name defined");
  levmenu[1] = saved;
  levmenu_current = menuWas;
  WhichWasp = 0;
}

// The mode select makes its mode's menu current; the text menu prints
// nothing the frame after a change, then its rows centred, the cursor's
// white.
TEST_F(Menus, ModeSelectAndTheTextMenu) {
  level_name[0] = 0;
  SetPadScript(0, "- x4\nCROSS\n-\n");
  ModeSelect();
  EXPECT_STREQ(level_name, "newhill");
  ASSERT_NE(menu_current, main_debug_menu);
  EXPECT_EQ(menu_current[0].string, 24);
  menu_active = paused = 1;
  SetPadScript(0, "-\n");
  MainFrame();  // the change: laid out, nothing printed
  MainFrame();  // printed
  MainFrame();
  EXPECT_EQ(Runs(Shown()), "WG") << "24, 37, 40, 41, 42, 43";

  // Back to the main debug menu in the edit mode: a change again.
  game_editmode = 1;
  menu_current = main_debug_menu;
  menu = 1;
  MainFrame();
  const Picture changed = Shown();
  MainFrame();
  const Picture first = Shown();
  MainFrame();
  const Picture next = Shown();
  EXPECT_EQ(Runs(changed), "WG") << "the old menu's last frame";
  EXPECT_TRUE(Bands(first).empty()) << "nothing the frame after the change";
  EXPECT_EQ(Runs(next), "GWG") << "the cursor on the second row";

  // Cross on "Quit" (row 5).
  SetPadScript(0, "DOWN\n-\nDOWN\n-\nDOWN\n-\nDOWN\n-\nCROSS\n-\n");
  for (int i = 0; i < 10 && exitgame == 0; i++) MainFrame();
  EXPECT_EQ(exitgame, 1);
  EXPECT_EQ(menu_active, 0);
  EXPECT_EQ(level_name[0], 0);
  game_editmode = 0;
  exitgame = 0;
}

// In the normal mode the HUD's pause menu takes the main debug menu's place:
// START pauses and nothing is printed.
TEST_F(Menus, StartPausesTheNormalMode) {
  menu_current = main_debug_menu;
  SetPadScript(0, "- x2\nSTART\n- x4\n");
  for (int i = 0; i < 5; i++) MainFrame();
  EXPECT_EQ(paused, 1);
  EXPECT_EQ(menu_active, 1);
  EXPECT_TRUE(Bands(Frame()).empty());
}

TEST_F(Menus, MainDebugMenuHandlers) {
  const struct {
    int row;
    int paused, menu, editor, step;
  } cases[] = {{0, 0, 0, 0, 0}, {1, 1, 0, 0, 0}, {2, 0, 0, 0, 2}, {3, 1, 0, 1, 0}};
  for (const auto& c : cases) {
    paused = menu_active = 1;
    editor_active = 0;
    frame_step_countdown = 0;
    main_debug_menu[c.row].handler();
    EXPECT_EQ(paused, c.paused) << c.row;
    EXPECT_EQ(menu_active, c.menu) << c.row;
    EXPECT_EQ(editor_active, c.editor) << c.row;
    EXPECT_EQ(frame_step_countdown, c.step) << c.row;
  }
  // The frame step pauses again with the menu after two frames.
  editor_active = 0;
  main_debug_menu[2].handler();
  MainFrame();
  EXPECT_EQ(paused, 0);
  MainFrame();
  EXPECT_EQ(paused, 1);
  EXPECT_EQ(menu_active, 1);
  reset_level = 0;
  main_debug_menu[4].handler();  // restart: the level-reset steps at once
  EXPECT_EQ(menu_active, 0);
  EXPECT_EQ(paused, 0);
}

// "Buffer Usage" with LOW and HI in use: the table (start), then the bars.
TEST_F(Menus, BufferUsage) {
  LevConSysClose();  // the level controller gives its level buffers back
  // No start level held from an earlier restart: no level takes SUB during the frames.
  start_hold_world = start_hold_island = start_hold_level = 0;
  BuffyDesc* low = BuffyAllocate(0x100000, BUFFY_LOW, nullptr, nullptr);
  BuffyDesc* hi = BuffyAllocate(0x200000, BUFFY_HIGH, nullptr, nullptr);
  ASSERT_EQ(low->lockstate, BUFFY_LOCKED);
  ASSERT_EQ(hi->lockstate, BUFFY_LOCKED);
  strcpy(low->username, "hometown");
  low->current = low->start.get() + 0x80000;
  dbgfn_display = 1;
  dbgfn_selected = 6;
  dbgfn_name_timer = 0;
  buffy_display_bits = 3;
  const std::vector<int> table = Bands(Frame());
  EXPECT_EQ(table.size(), 8u) << "heading, LOW, SUB, HI and four totals";

  SetPadScript(0, "RIGHT\n-\n");  // bit 1 off: the bars
  const Picture p = Frame();
  EXPECT_EQ(buffy_display_bits, 1);
  const BuffyBuffer* b = bigbuffer;
  const double total = double(b->block_end.get() - b->block_start.get());
  auto xOf = [&](const char* a) { return 160 + int(double(a - b->block_start.get()) * 512 / total); };
  const int barY = (192 + 2 * 25) / 2 + 2, usedY = (192 + 3 * 25) / 2 + 2;  // field lines
  const uint32_t level = 0xa0a020, used = 0x20a0a0;  // the "Level Buffer" and "Buffer Used" colours
  EXPECT_EQ(p.at(xOf(low->start) + 2, barY) & 0xffffff, level) << "LOW's range";
  // (The graph's 512 pixels from x 160 run past the screen's right edge.)
  EXPECT_EQ(p.at(xOf(hi->start) + 2, barY) & 0xffffff, level) << "HI's range";
  EXPECT_EQ(p.at(xOf(hi->start) - 3, barY) & 0xffffff, 0u);
  EXPECT_NE(p.at(160 + 256, barY) & 0xffffff, level) << "nothing between";
  EXPECT_EQ(p.at(xOf(low->start) + 2, usedY) & 0xffffff, used) << "LOW's used part";
  EXPECT_EQ(p.at(xOf(low->current) + 2, usedY) & 0xffffff, 0u) << "ends at its current pointer";
  dbgfn_display = 0;
  buffy_display_bits = 3;
  BuffyUnlock(low);
  BuffyRelease(low);
  BuffyUnlock(hi);
  BuffyRelease(hi);
}

TEST_F(Menus, CalibrationBars) {
  dbgfn_display = 1;
  dbgfn_selected = 4;
  dbgfn_name_timer = 0;
  Picture p = Frame();
  // 16 grey bars over the screen less a 16-pixel border.
  for (int i = 0; i < 16; i++) {
    const int x = 16 + (608 * (2 * i + 1)) / 32;
    EXPECT_EQ(p.at(x, 100) & 0xffffff, uint32_t(17 * i) * 0x010101u) << i;
  }
  EXPECT_EQ(p.at(8, 100) & 0xffffff, 0u) << "the border";
  EXPECT_EQ(p.at(320, 8) & 0xffffff, 0u);
  SetPadScript(0, "RIGHT\n-\n");
  p = Frame();
  const uint32_t colours[8] = {0x000000, 0x0000ff, 0x00ff00, 0x00ffff, 0xff0000, 0xff00ff, 0xffff00, 0xffffff};
  for (int i = 0; i < 8; i++) EXPECT_EQ(p.at(16 + (608 * (2 * i + 1)) / 16, 100) & 0xffffff, colours[i]) << i;
  dbgfn_display = 0;
}

// The debug-function list wraps both ways; a change shows the name for 50
// frames before the function runs.
TEST_F(Menus, DebugFunctionsWrapAndShowTheirNames) {
  SetPadScript(0, "L1 L2\nL1 L2 SELECT\n-\n");
  MainFrame();
  MainFrame();
  MainFrame();
  EXPECT_EQ(dbgfn_display, 1);
  dbgfn_selected = 0;
  SetPadScript(0, "R2\nR2 UP\n-\n");
  MainFrame();
  MainFrame();
  EXPECT_EQ(dbgfn_selected, 6) << "up from the first wraps to the last";
  EXPECT_EQ(dbgfn_name_timer, 49);
  SetPadScript(0, "R2\nR2 DOWN\n-\n");
  MainFrame();
  MainFrame();
  EXPECT_EQ(dbgfn_selected, 0) << "down from the last wraps to the first";
  for (int i = 0; i < 49; i++) MainFrame();
  EXPECT_EQ(dbgfn_name_timer, 0);
  dbgfn_display = 0;
}

TEST_F(Menus, EditorsAndTextureViewer) {
  auto names = [] {
    std::vector<std::string> n;
    for (int i = 0; edmainRegistered(i); i++) n.push_back(edmainRegistered(i)->name);
    return n;
  };
  game_editmode = 0;
  MainRegisterEditors(app_fnt);
  const std::vector<std::string> normal = names();
  ASSERT_EQ(normal.size(), 9u);
  EXPECT_EQ(normal[0], "Glider Editor");
  EXPECT_EQ(normal[5], "Teleport Editor");
  EXPECT_EQ(normal[7], "Spline Editor");
  EXPECT_EQ(normal[8], "Texture Viewer");
  game_editmode = 1;
  MainRegisterEditors(app_fnt);
  const std::vector<std::string> edit = names();
  ASSERT_EQ(edit.size(), 9u);
  EXPECT_EQ(edit[0], "Prelight Editor");
  EXPECT_EQ(edit[6], "Light Editor");
  EXPECT_EQ(edit[8], "Texture Viewer");
  EXPECT_STREQ(edmainRegistered(8)->tag, "tv01");
  game_editmode = 0;

  const EdDesc* tv = edmainRegistered(8);
  tv_page = 0;
  tv_mode = 7;
  tv_scale = 1.0f;
  pad0->buttons = pad0->pressed = SCE_PADL1 | SCE_PADRright | SCE_PADLup;
  EXPECT_EQ(tv->process(), 0);
  EXPECT_EQ(tv_page, 0) << "never below 0";
  EXPECT_EQ(tv_mode, 0) << "the mode wraps";
  EXPECT_FLOAT_EQ(tv_scale, 1.1f);
  pad0->pressed = 0;
  pad0->buttons = SCE_PADR2;
  tv->process();
  tv->process();
  EXPECT_EQ(tv_page, 2) << "R2 held: a page a frame";
  pad0->buttons = pad0->pressed = SCE_PADstart;
  EXPECT_EQ(tv->process(), 1) << "START leaves";
  pad0->buttons = pad0->pressed = 0;
}

TEST_F(Menus, ModeMenusQuitAndStart) {
  level_name[0] = 0;
  SetPadScript(0, "- x4\nDOWN\n-\nCROSS\n-\n");
  ModeSelect();
  EXPECT_STREQ(level_name, "village");
  const int overrides = levelstate_ingame_count;
  menu_current[3].handler();  // 45: village with progress 1
  EXPECT_EQ(exitgame, 1);
  EXPECT_STREQ(level_name, "village");
  if (overrides < INGAME_LEVELSTATE_ROWS) {
    EXPECT_EQ(levelstate_ingame_count, overrides + 1);
    EXPECT_EQ(levelstate_ingame[overrides].progress, 1);
  }
  exitgame = 0;
}
