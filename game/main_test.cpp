#include "game.h"
#include "game_test.h"
#include "standins.h"
#include "platform_test.h"

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
  EXPECT_EQ(bigbuffer->world_top.get(), bigbuffer->system_top.get());
  EXPECT_STREQ(GetGameString(37), "Quit");
  EXPECT_STREQ(GetGameString(40), "Quit to the Droom") << "a '+' line";
  EXPECT_NE(general_fade_mtl, nullptr);
  EXPECT_EQ(padrec, nullptr) << "no recording buffer unless PADREC or PADPLAY asks";
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
  MainReplaySetUp();
  MainRestartPoint();
  size_t strings = 0;
  for (const uint8_t* s : game_strings)
    if (s) strings += 2 + strlen(reinterpret_cast<const char*>(s + 1));
  EXPECT_EQ(ZeFileSize("gfx\\torva.ico"), -1);
  EXPECT_EQ(size_t(bigbuffer->permanent_top.get() - block), strings)
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
  std::ofstream(dir + "/bad.cfg") << "a.tas\n\"\"\n";
  strcpy(texanimfilename, "bad.cfg");
  EXPECT_HALT(InitTexAnimScripts(), "texanim cfg file - errm at 2!");
  texanimfilename[0] = 0;
  ZeFileInitEx(ZEFILE_MEDIA_DVD, 0, 0);
  ZeFileSetCurrentDirectory(main_current_dir);
  ZeDatSet(was);
  PlatSetHostRoot(nullptr);
}
