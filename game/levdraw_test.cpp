// The foreground load on the demo disc behind the loading screen: held for
// 10 fields, then the fade over 100 fields, dark at its end; the level
// current afterwards.
#include "game.h"
#include "game_test.h"
#include "levcon.h"
#include "standins.h"
#include "zeps2.h"
#include "platform_test.h"

namespace {

Picture g_late;
int g_fields;

// The loader is held idle for the first 10 fields (as a slow disc would
// keep it), so the screen shows "loading" meanwhile.
void Watch() {
  g_fields++;
  // A field late in the fade.
  if (g_fields == 10) levcon_frame_delay = 0;
  if (levcon_loading_fade >= 0 && levcon_loading_fade <= 5 && g_late.px.empty()) g_late = Shown();
}
ZEVBLANKHANDLER g_watch = {nullptr, nullptr, Watch, 0};

// The brightest pixel of rows y0..y1 between x0 and x1.
int CropMax(const Picture& p, int x0, int x1, int y0, int y1) {
  int m = 0;
  for (int y = y0; y <= y1 && y < p.h; y++)
    for (int x = x0; x <= x1 && x < p.w; x++) m = std::max(m, p.Bright(x, y));
  return m;
}

// A new replay's controller and its foreground load; hold keeps the loader
// idle until Watch lets it go.
void Restart(const char* level, int hold) {
  LevConSysClose();
  LevConSysInit();
  levcon_frame_delay = hold;
  LevConSetName(level, 0, 0);
  BGLoadInhibit(1, 1);
  LevConSaveStartInfo();
  BGLoadInhibit(0, 0);
}

}  // namespace

TEST(LoadingScreen, LoadingThenFadeWhileTheLevelLoads) {
  GameTestStart();
  ASSERT_EQ(multithreaded, 1);
  g_fields = 0;
  g_late = Picture();
  ZeIntAddVBlankS(&g_watch);
  Restart("isletown", 1);
  ZeIntRemVBlankS(&g_watch);
  ASSERT_NE(current_level, nullptr);
  EXPECT_STREQ(current_level->info.Name, "isletown");
  EXPECT_EQ(levcon_loading_fade, 0);
  EXPECT_GE(g_fields, 110) << "10 fields of loading, then 100 of fade";
  ASSERT_FALSE(g_late.px.empty());
  // Late in the fade the screen is dark.
  EXPECT_LT(CropMax(g_late, 0, g_late.w - 1, 0, g_late.h - 1), 40);
  Restart("hometown", 0);
  EXPECT_STREQ(current_level->info.Name, "hometown");
}
