// The foreground load on the demo disc behind the loading screen: held for
// 10 fields with the wobbling "loading" in its box, then the fade over 100
// fields, dark from its start; the level current afterwards.
#include "game.h"
#include "game_test.h"
#include "levcon.h"
#include "standins.h"
#include "zeps2.h"
#include "platform_test.h"

#include <vector>

namespace {

// What one field showed: the loading-screen state when it was caught and
// the box around its bright pixels (x1 < x0 when none).
struct Field {
  int fade;
  int x0 = 1 << 20, x1 = -1, y0 = 1 << 20, y1 = -1;
  int brightest = 0;
};
std::vector<Field> g_fields;

// Runs first at each vertical-blank start, so it sees the field the
// loading screen swapped in at the one before. The loader is held idle for
// the first 10 fields (as a slow disc would keep it).
void Watch() {
  if (g_fields.size() == 10) levcon_frame_delay = 0;
  const Picture p = Shown();
  Field f{levcon_loading_fade};
  for (int y = 0; y < p.h; y++)
    for (int x = 0; x < p.w; x++) {
      const int b = p.Bright(x, y);
      f.brightest = std::max(f.brightest, b);
      if (b <= 100) continue;
      f.x0 = std::min(f.x0, x), f.x1 = std::max(f.x1, x);
      f.y0 = std::min(f.y0, y), f.y1 = std::max(f.y1, y);
    }
  g_fields.push_back(f);
}
ZEVBLANKHANDLER g_watch = {nullptr, nullptr, Watch, 0};

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

TEST(LoadingScreen, LoadingWobblesInItsBoxThenTheFadeIsDark) {
  GameTestStart();
  ASSERT_EQ(multithreaded, 1);
  g_fields.clear();
  ZeIntAddVBlankS(&g_watch);
  Restart("isletown", 1);
  ZeIntRemVBlankS(&g_watch);
  ASSERT_NE(current_level, nullptr);
  EXPECT_STREQ(current_level->info.Name, "isletown");
  EXPECT_EQ(levcon_loading_fade, 0);
  ASSERT_GE(g_fields.size(), 110u) << "10 fields of loading, then 100 of fade";
  // Fields 2-10 show "loading" (the first shows what came before): white,
  // inside the box (y 3180/16 and one font line down, 1850/16 wide about
  // the centre), nothing else lit.
  int lastMid = 0;
  for (size_t i = 2; i < 10; i++) {
    SCOPED_TRACE(i);
    const Field& f = g_fields[i];
    EXPECT_EQ(f.fade, -1);
    EXPECT_EQ(f.brightest, 255);
    EXPECT_GE(f.x0, 320 - 1850 / 32);
    EXPECT_LE(f.x1, 320 + 1850 / 32);
    EXPECT_GE(f.y0, 3180 / 16);
    EXPECT_LE(f.y1, 223);
    EXPECT_GE(f.x1 - f.x0, 60) << "the whole word";
    // The wobble: the centre swings right from 320 by up to 10 pixels.
    const int mid = (f.x0 + f.x1) / 2;
    EXPECT_GE(mid, 319);
    EXPECT_LE(mid, 331);
    EXPECT_GE(mid, lastMid);
    lastMid = mid;
  }
  EXPECT_GE(g_fields[9].x0 - g_fields[2].x0, 5) << "the text moved";
  // Once the fade has begun the text is gone and the field is dark.
  for (size_t i = 0; i < g_fields.size(); i++) {
    if (g_fields[i].fade < 0 || g_fields[i].fade > 98) continue;
    EXPECT_LE(g_fields[i].brightest, 16) << i;
  }
  Restart("hometown", 0);
  EXPECT_STREQ(current_level->info.Name, "hometown");
}
