#include "game.h"
#include "game_test.h"
#include "standins.h"
#include "platform_test.h"

#include <cstring>

namespace {

struct Menus : testing::Test {
  void SetUp() override {
    GameTestStart();
    errmsg_trap = 0;  // left by a fatal path an earlier test caught
    exitgame = 0;
    paused = menu_active = menu_subactive = editor_active = 0;
    game_editmode = 0;
    game_fade_mode = 3;
    game_fade_level = 0;
    dbgfn_display = 0;
    SetPadScript(0, "-\n");
  }
  // The picture of the next frame.
  static Picture Frame() {
    MainFrame();
    MainFrame();
    return Shown();
  }
};

}  // namespace

TEST_F(Menus, CalibrationBars) {
  dbgfn_display = 1;
  dbgfn_selected = 4;
  dbgfn_name_timer = 0;
  Picture p = Frame();
  for (int y = 0; y < p.h; y += 8) printf("row %d: %d %08x\n", y, p.RowMax(y), p.at(320, y));
}
