// The foreground load on the demo disc behind the loading screen: held for
// 10 fields with the wobbling "loading" in its box, then the fade over 100
// fields, dark from its start; the level current afterwards. The levels'
// files through the loader: collision, pages, the low-detail stand-ins, an
// abandoned load, and the removers of the dump.
#include "game.h"
#include "game_test.h"
#include "levcon.h"
#include "standins.h"
#include "zeps2.h"
#include "platform_test.h"

#include <sstream>
#include <string>
#include <vector>

namespace {

// What one field showed inside the loading screen's box (1850/16 pixels
// wide about the centre, from y 3180/16 one font line down; what lies
// around it is whatever the screen held before): the loading-screen state
// when it was caught and the box around the bright pixels (x1 < x0 when
// none).
struct Field {
  int fade;
  int x0 = 1 << 20, x1 = -1, y0 = 1 << 20, y1 = -1;
  int brightest = 0;
};
std::vector<Field> g_fields;
constexpr int kBoxX0 = (0x2800 - 1850) / 2 / 16 + 1, kBoxX1 = (0x2800 + 1850) / 2 / 16 - 1, kBoxY0 = 3180 / 16 + 1;

// Runs first at each vertical-blank start, so it sees the field the
// loading screen swapped in at the one before. The loader is held idle for
// the first 10 fields (as a slow disc would keep it).
void Watch() {
  if (g_fields.size() == 10) levcon_frame_delay = 0;
  const Picture p = Shown();
  Field f{levcon_loading_fade};
  const int boxY1 = (3180 + ZeFntHeight) / 16 - 1;  // the font as the screen set it
  for (int y = kBoxY0; y <= boxY1 && y < p.h; y++)
    for (int x = kBoxX0; x <= kBoxX1; x++) {
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
  // Fields 2-10 show "loading" in the box: white, the whole word, its
  // centre swinging right from 320 by up to 10 pixels.
  int lastMid = 0;
  for (size_t i = 2; i < 10; i++) {
    SCOPED_TRACE(i);
    const Field& f = g_fields[i];
    EXPECT_EQ(f.fade, -1);
    EXPECT_EQ(f.brightest, 255);
    EXPECT_GE(f.x1 - f.x0, 60) << "the whole word";
    EXPECT_GE(f.x0, kBoxX0 + 10);
    EXPECT_LE(f.x1, kBoxX1 - 5);
    EXPECT_GE(f.y1 - f.y0, 8);
    const int mid = (f.x0 + f.x1) / 2;
    EXPECT_GE(mid, 319);
    EXPECT_LE(mid, 331);
    EXPECT_GE(mid, lastMid);
    lastMid = mid;
  }
  EXPECT_GE(g_fields[9].x0 - g_fields[2].x0, 5) << "the text moved";
  // Once the fade has begun the text is gone and the box is dark.
  for (size_t i = 0; i < g_fields.size(); i++) {
    if (g_fields[i].fade < 0 || g_fields[i].fade > 98) continue;
    EXPECT_LE(g_fields[i].brightest, 16) << i;
  }
  Restart("hometown", 0);
  EXPECT_STREQ(current_level->info.Name, "hometown");
}

namespace {

// The instances of scene's specials whose names hold text: 1 each shown.
std::string SpecialsShown(const ZEGSCENE* scene, const char* text) {
  std::string out;
  for (int i = 0; i < scene->nspec; i++)
    if (ZeStrIStr(scene->specs[i].name, text)) out += (scene->specs[i].inst->flags & ZEGSCNINST_SHOWN) ? '1' : '0';
  return out;
}

void ShowAndStep(int frames) {
  for (int i = 0; i < frames; i++) MainFrame();
}

}  // namespace

// isletown and demo2 carry a scene, collision, an effect page, a grass page
// and a bridge page: the load fills their keys, the activation makes the
// collision current, demo2 shown hides the pillars that stand for it in
// isletown's scene, and the dump gives every page back.
TEST(LevelFiles, LoadedStartedShownAndRemoved) {
  GameTestStart();
  Restart("isletown", 0);
  LevConLevel* town = current_level;
  ASSERT_NE(town, nullptr);
  ASSERT_STREQ(town->info.Name, "isletown");
  ASSERT_NE(town->scene, nullptr);
  ASSERT_NE(town->terrain, nullptr);
  EXPECT_EQ(TerrainGetCur(), town->terrain) << "the current level's collision is current";
  const int fx = town->setkeys[LEVCON_KEY_PARTICLE], grass = town->setkeys[LEVCON_KEY_GRASS],
            bridges = town->setkeys[LEVCON_KEY_BRIDGE];
  ASSERT_GE(fx, 1) << "a level's effect page is never the general page 0";
  ASSERT_GE(grass, 0);
  ASSERT_GE(bridges, 0);
  EXPECT_EQ(edpp_page_used[fx], 1);
  EXPECT_EQ(edgra_page_used[grass], 1);
  EXPECT_EQ(edbri_page_used[bridges], 1);
  for (int k : {LEVCON_KEY_CREATURE, LEVCON_KEY_POT, LEVCON_KEY_PICKUP, LEVCON_KEY_SPLINE})
    EXPECT_EQ(town->setkeys[k], -1) << "systems not built load nothing";
  auto* d = static_cast<BuffyDesc*>(town->buffer);
  EXPECT_LE(d->current.get(), d->end.get());
  COBMEMCONTEXT context;
  AddCobGetMemoryContext(&context);
  EXPECT_EQ(context.position.get(), nullptr) << "no type context left naming the loader's own variable";
  EXPECT_EQ(SpecialsShown(town->scene, "pillar"), "111");
  auto* sea = static_cast<ZESPECIAL*>(town->seashape);
  ASSERT_NE(sea, nullptr) << "the sea shape's special, found in the scene";
  EXPECT_STREQ(sea->obj.get()->name.get(), "sign");
  EXPECT_GE(reinterpret_cast<char*>(sea), d->start.get());
  EXPECT_LT(reinterpret_cast<char*>(sea), d->current.get()) << "its handle in the level's buffer";

  // The start is inside demo2's PRELOAD and VIEW bounds.
  LevConLevel* demo2 = LevConFindLevelByName("demo2");
  for (int i = 0; i < 200 && !demo2->visible; i++) ShowAndStep(1);
  ASSERT_EQ(demo2->visible, 1);
  ASSERT_NE(demo2->terrain, nullptr);
  EXPECT_NE(demo2->setkeys[LEVCON_KEY_PARTICLE], fx) << "each level its own page";
  EXPECT_EQ(SpecialsShown(town->scene, "pillar"), "000") << "demo2's stand-ins hidden while it shows";
  EXPECT_EQ(demo2->nlospecials, 3);
  LevConShowLevel(demo2, 0);
  EXPECT_EQ(SpecialsShown(town->scene, "pillar"), "111");
  char* cursor = static_cast<BuffyDesc*>(demo2->buffer)->current;
  LevConShowLevel(demo2, 1);
  EXPECT_EQ(static_cast<BuffyDesc*>(demo2->buffer)->current.get(), cursor) << "the array is taken once";

  // The dump hands every page back and clears the keys.
  levcon_edit = 2;  // the choice stays still
  const int fx2 = demo2->setkeys[LEVCON_KEY_PARTICLE];
  void* const townTerrain = town->terrain;
  LevConDumpLevel(demo2);
  LevConDumpLevel(town);
  EXPECT_EQ(edpp_page_used[fx], 0);
  EXPECT_EQ(edpp_page_used[fx2], 0);
  EXPECT_EQ(edgra_page_used[grass], 0);
  EXPECT_EQ(edbri_page_used[bridges], 0);
  for (int k : town->setkeys) EXPECT_EQ(k, -1);
  EXPECT_EQ(town->terrain, nullptr);
  EXPECT_NE(TerrainGetCur(), townTerrain) << "no level, no collision";

  // An abandoned load stops after the collision: the level is marked
  // loaded all the same, with none of the later sets.
  for (int i = 0; i < 3; i++) LevConProcess();  // the dumped buffers go back
  auto* b = BuffyAllocate(demo2->buffsize, demo2->bufftype, LevConLevelBufferNotify, demo2);
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(b->lockstate, BUFFY_LOCKED);
  demo2->buffer = b;
  BGLoadAbortPendingLevelLoad();
  testing::internal::CaptureStdout();
  BGLoadLevel(demo2, 0);
  const std::string out = testing::internal::GetCapturedStdout();
  bgload_level_abort = 0;
  EXPECT_NE(out.find("BGLoadLevel - Aborted"), std::string::npos) << out;
  EXPECT_EQ(out.find("sucessfully"), std::string::npos) << out;
  EXPECT_EQ(demo2->info.loaded, 1);
  EXPECT_NE(demo2->scene, nullptr);
  EXPECT_NE(demo2->terrain, nullptr);
  for (int k : demo2->setkeys) EXPECT_EQ(k, -1);
  LevConDumpLevel(demo2);
  levcon_edit = 0;
  Restart("hometown", 0);
  EXPECT_STREQ(current_level->info.Name, "hometown");
}
