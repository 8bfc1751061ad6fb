// Screen-copy effects: the water materials' wave packets and their cache,
// the override, normal maps from heights and the palette index order, and
// the set-up's pairing rules.
#include "zelgt_test.h"

namespace {

using ScreenCopy = Light;

ZEMTL* WaterMtl(float ev1, float ev4) {
  ZEMTL* m = ZeMtlCreate(1);
  m->effect_id = 0x85;
  m->p[0] = ev1, m->p[1] = 48.0f, m->p[2] = 1.0f, m->p[3] = ev4;
  ZeMtlUpdate(m);
  return m;
}

// Runs phase 2 of each material into a linked stream and counts what it
// wrote: new packets (cnt tags) and references (ref tags).
void Phase2(const std::vector<ZEMTL*>& mtls, int* packets, int* refs) {
  ZeRndrBeginScene(-1);
  ZERNDRSTREAM* s = rndrstream_fx;
  ZeRndrStreamLink(s);
  *packets = *refs = 0;
  for (ZEMTL* m : mtls) {
    uint32_t* before = s->write;
    ZeWaterRndrStreamCallback(m, s, 2);
    const uint32_t id = before[0] >> 28 & 7;
    (id == 3 ? *refs : *packets) += 1;
    EXPECT_TRUE(id == 1 || id == 3);
  }
  ZeRndrEndSegment(s, s->write);
  ZeRndrEndScene();
}

TEST_F(ScreenCopy, WaveCacheTable) {
  ZEMTL* a = WaterMtl(1.0f, 2.0f);
  ZEMTL* b = WaterMtl(1.0f, 2.0f);
  ZEMTL* c = WaterMtl(1.0f, 3.0f);
  int packets, refs;
  zewater_cacheon = 0;
  Phase2({a, b}, &packets, &refs);
  EXPECT_EQ(packets, 2) << "before the first reset every material writes its own";
  EXPECT_EQ(refs, 0);
  ZeWaterReset();
  Phase2({a, b, c}, &packets, &refs);
  EXPECT_EQ(packets, 2) << "equal ev1 and ev4 share one packet; a different ev4 takes its own";
  EXPECT_EQ(refs, 1);
  // More distinct settings than the cache holds: past 23 they are written
  // uncached (the table used to be overrun).
  ZeWaterReset();
  std::vector<ZEMTL*> many;
  for (int i = 0; i < 30; i++) many.push_back(WaterMtl(1.0f, 10.0f + float(i)));
  many.push_back(many[25]);
  many.push_back(many[3]);
  Phase2(many, &packets, &refs);
  EXPECT_EQ(zewater_cachecnt, ZEWATER_CACHE);
  EXPECT_EQ(packets, 31) << "the 26th's second use is written again";
  EXPECT_EQ(refs, 1) << "the 4th's second use is referenced";
}

TEST_F(ScreenCopy, WavesStandStillWithSpeedZero) {
  ZEMTL* a = WaterMtl(1.0f, 2.0f);
  float v0[128], v1[128];
  ZeWaterWaveVectors(v0, 0.1f, a, zewater_time);
  ZeWaterSpeed(0.0f);
  ZeWaterReset();
  ZeWaterWaveVectors(v1, 0.1f, a, zewater_time);
  EXPECT_EQ(memcmp(v0, v1, sizeof v0), 0);
  EXPECT_FLOAT_EQ(v0[2], 1.0f);
  ZeWaterSpeed(1.0f);
  ZeWaterReset();
  ZeWaterWaveVectors(v1, 0.1f, a, zewater_time);
  EXPECT_NE(memcmp(v0, v1, sizeof v0), 0);
}

TEST_F(ScreenCopy, OverrideKeepsWhatTwoToThe32Marks) {
  ZEMTL* a = WaterMtl(1.0f, 2.0f);
  a->effect_block.get()[2] = 99.0f;
  const float keep = 4294967296.0f;
  ZeWaterOverride(keep, keep, keep, keep);
  EXPECT_FLOAT_EQ(a->p[0], 1.0f);
  EXPECT_FLOAT_EQ(a->effect_block.get()[2], 48.0f / 48.0f / 2.0f) << "entry 2 recomputed";
  ZeWaterOverride(keep, 96.0f, keep, 4.0f);
  EXPECT_FLOAT_EQ(a->effect_block.get()[2], 96.0f / 48.0f / 4.0f);
}

TEST_F(ScreenCopy, NormalMapFromHeights) {
  // The palette order: entries 8-15 and 16-23 of every 32 trade places.
  struct {
    int n, want;
  } cases[] = {{0, 1}, {7, 7}, {8, 16}, {15, 23}, {16, 8}, {23, 15}, {24, 24}, {0x88, 0x90}, {255, 255}};
  for (auto& c : cases) EXPECT_EQ(ZeNormalMapSwizzle(c.n), c.want) << c.n;
  // A flat image: 0x88 everywhere, 0x90 after the reordering.
  auto* px = static_cast<uint8_t*>(ZeMemAlloc(16));
  auto* pal = static_cast<uint32_t*>(ZeMemAlloc(1024));
  memset(px, 0, 16);
  for (int i = 0; i < 256; i++) pal[i] = uint32_t(i);
  ZETEX img{ZETEX_NRMMAP_SRC, 4, 4, 1, px, reinterpret_cast<uint8_t*>(pal)};
  EXPECT_EQ(ZeNormalMapCreate(&img), 2);
  EXPECT_EQ(img.type, ZETEX_PAL8);
  EXPECT_EQ(img.mipcount, 2);
  for (int i = 0; i < 16; i++) EXPECT_EQ(img.texels.get()[i], 0x90) << i;
  for (int i = 16; i < 20; i++) EXPECT_EQ(img.texels.get()[i], 0);
  ZeMemFree(img.texels.get());
  // A ramp in x: the steepest slope is the largest, so sx is 15 there.
  px = static_cast<uint8_t*>(ZeMemAlloc(16));
  for (int i = 0; i < 16; i++) px[i] = uint8_t((i % 4) * 10);
  ZETEX ramp{ZETEX_NRMMAP_SRC, 4, 4, 1, px, reinterpret_cast<uint8_t*>(pal)};
  ZeNormalMapCreate(&ramp);
  EXPECT_EQ(ramp.texels.get()[0], ZeNormalMapSwizzle(8 * 16 + 15));
  ZeMemFree(ramp.texels.get());
  ZeMemFree(pal);
}

TEST_F(ScreenCopy, SetUpPairs) {
  ZeNormalMapInit();
  EXPECT_GT(temp_pal, 0);
  EXPECT_HALT(ZeNormalMapInit(), "ZeNormalMapInit called without closing first");
  ZeNormalMapClose();
  EXPECT_EQ(temp_pal, 0);
  ZeNormalMapClose();  // a debug message only
  ZeGlassInit(1);
  const ZETEXID rt = zeglass_rt;
  ZeGlassInit(1);  // ignored
  EXPECT_EQ(zeglass_rt, rt);
  ZeGlassClose();
  ZeGlassClose();
  EXPECT_EQ(zeglass_initialised, 0);
}

}  // namespace
