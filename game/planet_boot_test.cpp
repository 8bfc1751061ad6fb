// The planet world's boot path in the running game: the demo world's planet
// made current, the level controller steps to init level 4 (the surface's
// pools and files, the plate geometry and the noise image from the disc,
// all in the planet-data buffer), then 6, where each frame keeps the plates
// round the camera resident and streams their surface; back at 2 all of it
// is given back.
#include "game.h"
#include "game_test.h"
#include "globular.h"
#include "levcon.h"
#include "standins.h"
#include "platform_test.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::vector<uint8_t> DiscFile(const char* name) {
  std::ifstream f(std::string(TORVA_DISC) + "/DATA/BIN/PLANETS/TORVA/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Posts the planet level to the level controller's queue and runs frames
// until it is reached; the frames it took, -1 when it never is.
int StepTo(int level) {
  if (!lcopPostGBInitLevel(int16_t(level))) return -1;
  for (int frames = 1; frames <= 100; frames++) {
    MainFrame();
    if (levcon_curr_gbinitlevel == level) return frames;
  }
  return -1;
}

bool Inside(const void* p, const BuffyDesc* b) {
  const char* c = static_cast<const char*>(p);
  return c >= b->start.get() && c < b->end.get();
}

TEST(PlanetBoot, LevelsFourAndSixLoadAndStreamTheDemoPlanet) {
  GameTestStart();
  ASSERT_EQ(init_level, 2);
  // The registration the planet levels make for the demo world.
  LevConWorld* world = &worlds[0];
  ASSERT_STREQ(world->planet, "TorvaPlanet");
  GBLevRegisterWorld(world->planet, world->planetpath, world);
  GBLevSetCurrentWorld(world->planet);
  ASSERT_NE(g_current_planet, nullptr);
  EXPECT_STREQ(g_planet_path, "planets\\torva");

  // Level 4 without high-detail pools (the demo's planet-data buffer holds
  // the plate pools and geometry, not the tile pools): frames while the
  // buffer is taken and locked, then the data job.
  ASSERT_TRUE(lcopPostGBTextures(1));
  ASSERT_GT(StepTo(4), 0);
  EXPECT_EQ(init_level, 4);
  EXPECT_EQ(levcon_curr_gbinitlevel, 4);
  const BuffyDesc* buffer = LevConFractalBuffer();
  ASSERT_NE(buffer, nullptr);
  EXPECT_TRUE(FrSurfaceIsInit());
  const std::vector<uint8_t> heights = DiscFile("HEIGHTS.GB3"), texndx = DiscFile("TEXNDX.GB3");
  ASSERT_EQ(heights.size(), size_t(FRCUBE_PLATES) * FRPLATE_RECORD);
  ASSERT_NE(gplt_data, nullptr);
  EXPECT_TRUE(Inside(gplt_data, buffer)) << "the plate geometry lies in the planet-data buffer";
  EXPECT_EQ(memcmp(gplt_data, heights.data(), heights.size()), 0);
  ASSERT_EQ(texndx.size(), size_t(FRSURF_NDXTAB) * 2);
  for (int i = 0; i < FRSURF_NDXTAB; i++) ASSERT_EQ(ndx_tab[i], texndx[2 * i] | texndx[2 * i + 1] << 8) << i;
  EXPECT_EQ(ndx_tab[12], 0) << "the island's plate: the first record, with tiles";
  EXPECT_NE(noise_tid, 0);
  EXPECT_NE(frsurf_mtl[7], nullptr) << "the noise material";

  // The camera 300 units above the island's plate.
  const float radius = g_current_planet->radius + g_current_planet->height;
  ZEVEC above;
  ZeVecScale(&above, FrCubeGetMidpoint(12, 4), radius + 300.0f);
  g_cam_frm = g_current_planet->frame;
  ZeMtxSetIdentity(&g_cam_mtx);
  ZeMtxSetTranslation(&g_cam_mtx, &above);
  // At 4 the frames leave the plates alone.
  for (int i = 0; i < 3; i++) MainFrame();
  EXPECT_EQ(gpltcnt, 0);
  EXPECT_EQ(FrPlateFind(12, 0), nullptr);

  // Level 6 at once; the frames make the plates round the camera resident
  // and read the island plate's patch block.
  EXPECT_EQ(StepTo(6), 1);
  EXPECT_EQ(init_level, 6);
  FRPLATE* plate = nullptr;
  for (int i = 0; i < 30 && !(plate && (plate->surf & FRSURF_PATCH)); i++) {
    MainFrame();
    plate = FrPlateFind(12, 0);
  }
  EXPECT_GT(gpltcnt, 0);
  ASSERT_NE(plate, nullptr);
  ASSERT_TRUE(plate->surf & FRSURF_PATCH);
  EXPECT_TRUE(Inside(plate->patch.get(), buffer)) << "the patch block comes from the planet-data buffer's pool";
  const std::vector<uint8_t> blocks = DiscFile("TEX004.GB3");
  ASSERT_GE(blocks.size(), size_t(FRSURF_PATCHBLOCK));
  EXPECT_EQ(memcmp(plate->patch.get(), blocks.data(), sizeof(ZEFPATCH)), 0) << "record 0's patch";
  EXPECT_EQ(plate->heights.get(), reinterpret_cast<float*>(plate->patch.get() + FRSURF_HEIGHTS));

  // Back to 2: the surface is closed, its files, geometry and noise freed,
  // the planet-data buffer released.
  ASSERT_GT(StepTo(2), 0);
  EXPECT_EQ(init_level, 2);
  EXPECT_FALSE(FrSurfaceIsInit());
  EXPECT_EQ(gplt_data, nullptr);
  EXPECT_EQ(noise_tid, 0);
  EXPECT_EQ(gpltcnt, 0);
  EXPECT_EQ(LevConFractalBuffer(), nullptr);
  ASSERT_TRUE(lcopPostGBTextures(0));
  MainFrame();
  g_cam_frm = nullptr;
  g_cam_mtx = zemtx_identity;
}

}  // namespace
