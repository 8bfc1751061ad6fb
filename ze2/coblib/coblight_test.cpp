// Light sets: sets by key (short, damaged and oversized files, a full
// table, a held set), the active list's range and fade, flicker phases, the
// inside and outside blends, the scores and colours of both searches, the
// smoothed slots, the shadow and the defaults.
#include "coblib.h"
#include "gamelib.h"
#include "platform_test.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct LightSets : testing::Test {
  std::string dir;
  uint8_t randoms[64] = {};
  ZEMTX cam;
  void SetUp() override {
    dir = TestTempDir();
    PlatSetHostRoot(dir.c_str());
    ZeTrigInit();
    InitLights();
    randtab_ptr = randoms;
    thesun = {0, 0, 0};
    thesuncolr = thesuncolg = thesuncolb = 0;
    thesunambr = thesunambg = thesunambb = 0;
    ZeMtxSetIdentity(&cam);
  }
  void TearDown() override {
    randtab_ptr = nullptr;
    InitLights();
    PlatSetHostRoot(nullptr);
  }
  static LEVLIGHT Light(int type, ZEVEC pos, float radius, uint8_t r, uint8_t g, uint8_t b) {
    LEVLIGHT l;
    memset(&l, 0, sizeof l);
    l.type = int8_t(type);
    l.pos = pos;
    l.radius = radius;
    l.col[0] = l.basecol[0] = r, l.col[1] = l.basecol[1] = g, l.col[2] = l.basecol[2] = b;
    return l;
  }
  // A set file through the engine's writer: the lights given, the rest free.
  void Write(const char* name, const std::vector<LEVLIGHT>& lights) {
    std::vector<LEVLIGHT> recs(LIGHTSET_RECORDS);
    for (LEVLIGHT& r : recs) {
      memset(&r, 0, sizeof r);
      r.type = LEVLIGHT_FREE;
    }
    for (size_t i = 0; i < lights.size(); i++) recs[i] = lights[i];
    ASSERT_EQ(WriteLightSet(name, recs.data()), 1);
  }
  // A file of raw bytes.
  void Bytes(const char* name, const void* data, int size) {
    ZEFILE f = ZeFileOpen(name, 1);
    ASSERT_NE(f, 0);
    ASSERT_EQ(ZeFileWrite(f, data, size), size);
    ZeFileClose(f);
  }
  int Count(int key) {
    int n = 0;
    for (int i = 2; i < LIGHTS_MAX; i++) n += Lights[i].type != LEVLIGHT_FREE && Lights[i].key == key;
    return n;
  }
  bool Listed(int index) {
    for (int i = 0; i < alightcount; i++)
      if (ActiveLightsNum[i] == index) return true;
    return false;
  }
  // A frame takes at most four random bytes; the table is rewound as the
  // game's frame does.
  void Frame(int paused = 0, int outdoors = 1, int editor = 0) {
    if (randtab_ptr > randoms + 32) randtab_ptr = randoms;
    ProcessFlicker(&cam, paused, outdoors, editor);
  }
};

// What the searches handed to the renderer.
struct Sent {
  ZEVEC dir[3], col[3], amb;
};
Sent RendererLights() {
  const float* r = reinterpret_cast<const float*>(rndrstream_rt_light_buffer) + 4;
  Sent s;
  for (int j = 0; j < 3; j++) {
    s.dir[j] = {r[0 * 4 + j], r[1 * 4 + j], r[2 * 4 + j]};
    s.col[j] = {r[(3 + j) * 4 + 0], r[(3 + j) * 4 + 1], r[(3 + j) * 4 + 2]};
  }
  s.amb = {r[24], r[25], r[26]};
  return s;
}

void ExpectVec(const ZEVEC& a, const ZEVEC& b, const char* what, float tol = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, tol) << what;
  EXPECT_NEAR(a.y, b.y, tol) << what;
  EXPECT_NEAR(a.z, b.z, tol) << what;
}

}  // namespace

TEST_F(LightSets, InitialStateAndTheDefaults) {
  for (const LEVLIGHT& l : Lights) ASSERT_EQ(l.type, LEVLIGHT_FREE);
  EXPECT_EQ(lightkey, 0);
  EXPECT_EQ(lighttrap, -1);
  EXPECT_EQ(alightcount, 0);
  EXPECT_EQ(coblights.slot[0], -1);
  EXPECT_EQ(coblights.shadowlight, -1);
  EXPECT_EQ(coblights.amblight, -1);
  EXPECT_EQ(coblights.shadowbright, 12);
  ExpectVec(coblights.shadowdir, {0, -1, 0}, "shadow straight down");
  // With colours: the second default light is white along (1, 0.5, 0);
  // without, every light black.
  SetDefaultLights(1);
  Sent s = RendererLights();
  ExpectVec(s.dir[1], {1, 0.5f, 0}, "dir 1");
  ExpectVec(s.col[1], {1, 1, 1}, "white");
  ExpectVec(s.col[0], {0, 0, 0}, "black");
  SetDefaultLights(0);
  s = RendererLights();
  ExpectVec(s.col[1], {0, 0, 0}, "blank");
}

TEST_F(LightSets, InsertPlacesLightsUnderAKeyAndRemoveFreesThem) {
  LEVLIGHT flick = Light(LEVLIGHT_FLICKER, {1, 2, 3}, 5, 10, 20, 30);
  flick.basecol[0] = flick.basecol[1] = flick.basecol[2] = 0;
  Write("A.LGT", {Light(LEVLIGHT_POINT, {0, 0, 0}, 4, 1, 2, 3), Light(LEVLIGHT_DIRECTIONAL, {0, -1, 0}, 0, 50, 60, 70),
                  Light(LEVLIGHT_GLOBAL_AMBIENT, {}, 0, 9, 8, 7), flick, Light(LEVLIGHT_NEGATIVE, {}, 2, 1, 1, 1)});
  EXPECT_EQ(InsertLightSet("A.LGT"), 0);
  EXPECT_EQ(lightkey, 1);
  EXPECT_EQ(Lights[2].type, LEVLIGHT_POINT);
  EXPECT_EQ(Lights[3].type, LEVLIGHT_FLICKER) << "the directional and global ambient lights are not stored";
  EXPECT_EQ(Lights[3].basecol[2], 30) << "a flicker light's colour becomes its base";
  EXPECT_EQ(Lights[4].type, LEVLIGHT_NEGATIVE);
  EXPECT_EQ(Count(0), 3);
  EXPECT_EQ(DirBlend1.col[0], 50);
  EXPECT_EQ(AmbBlend1.col[0], 9);
  EXPECT_FLOAT_EQ(dirblend, 0.00001f) << "no inside light yet: taken over at the next update";
  // A second set fills the next free entries; removing the first leaves it.
  Write("B.LGT", {Light(LEVLIGHT_POINT, {}, 1, 1, 1, 1), Light(LEVLIGHT_POINT, {}, 1, 1, 1, 1)});
  EXPECT_EQ(RemoveLightSet(0), 0);
  EXPECT_EQ(InsertLightSet("B.LGT"), 1);
  EXPECT_EQ(Lights[2].key, 1);
  EXPECT_EQ(Lights[3].key, 1);
  EXPECT_EQ(Lights[4].type, LEVLIGHT_FREE);
  // The key counter keeps 15 bits.
  lightkey = 0x7fff;
  EXPECT_EQ(InsertLightSet("B.LGT"), 0x7fff);
  EXPECT_EQ(lightkey, 0);
}

TEST_F(LightSets, BadFilesGiveNoSetAndNeverReplayTheLastOne) {
  std::vector<LEVLIGHT> five(5, Light(LEVLIGHT_POINT, {}, 1, 1, 1, 1));
  Write("FIVE.LGT", five);
  ASSERT_EQ(InsertLightSet("FIVE.LGT"), 0);
  LEVLIGHT one = Light(LEVLIGHT_POINT, {}, 1, 2, 2, 2);
  std::vector<uint8_t> big(LIGHTSET_BYTES + 400, 0xff);
  std::vector<LEVLIGHT> full(LIGHTSET_RECORDS, Light(LEVLIGHT_LOCAL_AMBIENT, {}, 1, 1, 1, 1));
  memcpy(big.data(), full.data(), LIGHTSET_BYTES);
  Bytes("BIG.LGT", big.data(), int(big.size()));
  Bytes("EMPTY.LGT", "", 0);
  Bytes("HALF.LGT", &one, 20);
  uint8_t oneandhalf[60];
  memcpy(oneandhalf, &one, 40);
  memcpy(oneandhalf + 40, &one, 20);
  Bytes("SHORT.LGT", oneandhalf, 60);
  LEVLIGHT odd = Light(42, {}, 1, 1, 1, 1);
  Bytes("ODD.LGT", &odd, 40);
  struct Case {
    const char* name;
    int lights;  // inserted under the new key; -1: refused
  } cases[] = {
      {"NONE.LGT", -1},   // missing
      {"EMPTY.LGT", -1},  // no bytes
      {"HALF.LGT", -1},   // no whole record
      {"SHORT.LGT", 1},   // one whole record: the five of FIVE.LGT stay out
      {"ODD.LGT", 0},     // an unknown type is no light
      {"BIG.LGT", 256},   // only the first 256 records are read
  };
  for (const Case& c : cases) {
    const int before = lightkey;
    const int key = InsertLightSet(c.name);
    if (c.lights < 0) {
      EXPECT_EQ(key, -1) << c.name;
      EXPECT_EQ(lightkey, before) << c.name << ": nothing changes";
      continue;
    }
    EXPECT_EQ(key, before) << c.name;
    EXPECT_EQ(Count(key), c.lights) << c.name;
    RemoveLightSet(key);
  }
}

TEST_F(LightSets, ASetThatDoesNotFitStopsAtTheFullTable) {
  std::vector<LEVLIGHT> full(LIGHTSET_RECORDS, Light(LEVLIGHT_POINT, {}, 1, 1, 1, 1));
  Write("FULL.LGT", full);
  EXPECT_EQ(InsertLightSet("FULL.LGT"), 0);
  EXPECT_EQ(InsertLightSet("FULL.LGT"), 1);
  EXPECT_EQ(Count(0), 256);
  EXPECT_EQ(Count(1), 510 - 256) << "the rest of the table, no more";
  EXPECT_EQ(InsertLightSet("FULL.LGT"), 2);
  EXPECT_EQ(Count(2), 0);
  EXPECT_EQ(Lights[0].type, LEVLIGHT_FREE) << "the global entries are untouched";
  EXPECT_EQ(Lights[1].type, LEVLIGHT_FREE);
  RemoveLightSet(0);
  EXPECT_EQ(InsertLightSet("FULL.LGT"), 3);
  EXPECT_EQ(Count(3), 256) << "room again after a removal";
}

TEST_F(LightSets, AHeldSetLeavesTheActiveListAndBlocksInsertAndRemove) {
  Write("A.LGT", {Light(LEVLIGHT_POINT, {1, 0, 0}, 4, 100, 100, 100)});
  ASSERT_EQ(InsertLightSet("A.LGT"), 0);
  Frame();
  EXPECT_TRUE(Listed(2));
  EXPECT_EQ(DisableLightSet(0), 0);
  EXPECT_EQ(DisableLightSet(0), -1) << "one set at a time";
  EXPECT_EQ(InsertLightSet("A.LGT"), -1);
  EXPECT_EQ(RemoveLightSet(0), -1);
  Frame();
  EXPECT_FALSE(Listed(2));
  EXPECT_EQ(EnableLightSet(), 0);
  EXPECT_EQ(EnableLightSet(), -1);
  EXPECT_EQ(lightkey, 1);
  Frame();
  EXPECT_TRUE(Listed(2));
}

TEST_F(LightSets, ActiveListRangeAndFade) {
  // Lights along x from the camera at the origin: base colour 200, 100, 51.
  struct Case {
    float distance;
    int editor;
    bool listed;
    uint8_t r, g, b;
  } cases[] = {
      {17, 0, true, 200, 100, 51},  // inside 18: unfaded
      {18, 0, true, 200, 100, 51},  // at 18: not beyond
      {19, 0, true, 100, 50, 25},   // fade (20 - 19) x 0.5
      {19.5f, 0, true, 50, 25, 12},
      {20, 0, false, 0, 0, 0},      // not closer than 20
      {19, 1, true, 200, 100, 51},  // the editor sees no fade
  };
  for (const Case& c : cases) {
    InitLights();
    Write("A.LGT", {Light(LEVLIGHT_POINT, {c.distance, 0, 0}, 4, 200, 100, 51)});
    ASSERT_EQ(InsertLightSet("A.LGT"), 0);
    Frame(0, 1, c.editor);
    EXPECT_EQ(Listed(2), c.listed) << c.distance;
    EXPECT_TRUE(Listed(0) && Listed(1)) << "the global entries always come first";
    EXPECT_EQ(ActiveLightsNum[0], 0);
    EXPECT_EQ(ActiveLightsNum[1], 1);
    if (!c.listed) continue;
    EXPECT_EQ(Lights[2].col[0], c.r) << c.distance;
    EXPECT_EQ(Lights[2].col[1], c.g) << c.distance;
    EXPECT_EQ(Lights[2].col[2], c.b) << c.distance;
  }
  // More than 64 near lights: the list stops at 64.
  InitLights();
  Write("MANY.LGT", std::vector<LEVLIGHT>(100, Light(LEVLIGHT_POINT, {1, 0, 0}, 4, 1, 1, 1)));
  ASSERT_EQ(InsertLightSet("MANY.LGT"), 0);
  Frame();
  EXPECT_EQ(alightcount, ACTIVELIGHTS_MAX);
}

TEST_F(LightSets, FlickerPhases) {
  // One frame of a flicker light: base 100, 200, 0 toward gradient 200,
  // 100, 255. randoms[0..1] feed the wobble; [2] the phase length, [3] the
  // direction bit.
  struct Case {
    int16_t count;
    uint8_t level, step, fconst, frand, rlen, rbit;
    int16_t wantcount;
    uint8_t wantlevel;
  } cases[] = {
      {-3, 100, 10, 5, 0, 0, 0, -2, 110},     // rising
      {3, 100, 10, 5, 0, 0, 0, 2, 90},        // falling
      {-1, 250, 10, 5, 128, 128, 0, 69, 255},  // rises to 255: a falling phase of 5 + 128 x 128 / 256
      {1, 5, 10, 5, 128, 255, 1, -132, 0},     // falls to 0: a rising phase of 5 + 255 x 128 / 256
      {0, 255, 0, 7, 0, 0, 1, 7, 255},        // at 255 always falling, whatever the bit
      {0, 0, 0, 7, 0, 0, 0, -7, 0},           // at 0 always rising
      {-1, 100, 10, 4, 0, 0, 1, -4, 110},     // in between: bit 0 set rises
      {-1, 100, 10, 4, 0, 0, 2, 4, 110},      // clear falls
  };
  for (const Case& c : cases) {
    InitLights();
    LEVLIGHT l = Light(LEVLIGHT_FLICKER_SHADOW, {1, 0, 0}, 4, 100, 200, 0);
    l.gradcol[0] = 200, l.gradcol[1] = 100, l.gradcol[2] = 255;
    l.flickcount = c.count, l.flicklevel = c.level, l.flickstep = c.step;
    l.flickconst = c.fconst, l.flickrand = c.frand;
    Write("F.LGT", {l});
    ASSERT_EQ(InsertLightSet("F.LGT"), 0);
    randtab_ptr = randoms;
    randoms[2] = c.rlen, randoms[3] = c.rbit;
    Frame();
    EXPECT_EQ(Lights[2].flickcount, c.wantcount) << c.count << " " << int(c.level);
    EXPECT_EQ(Lights[2].flicklevel, c.wantlevel) << c.count << " " << int(c.level);
    const int L = c.wantlevel;
    EXPECT_EQ(Lights[2].col[0], 100 + 100 * L / 256);
    EXPECT_EQ(Lights[2].col[1], 200 - 100 * L / 256) << "toward a darker gradient, rounded toward zero";
    EXPECT_EQ(Lights[2].col[2], 255 * L / 256);
  }
  // Paused, the light stands still; the editor runs it anyway.
  Frame(1, 1, 0);
  EXPECT_EQ(Lights[2].flickcount, 4);
  Frame(1, 1, 1);
  EXPECT_EQ(Lights[2].flickcount, 3);
}

TEST_F(LightSets, FlickerWithoutARandomTable) {
  randtab_ptr = nullptr;
  LEVLIGHT l = Light(LEVLIGHT_FLICKER, {1, 0, 0}, 4, 10, 10, 10);
  l.flickconst = 3, l.flickrand = 200, l.flickcount = 1, l.flicklevel = 0, l.flickstep = 1;
  Write("F.LGT", {l});
  ASSERT_EQ(InsertLightSet("F.LGT"), 0);
  Frame();
  EXPECT_EQ(Lights[2].flickcount, -3) << "random bytes read as 0";
}

TEST_F(LightSets, GlobalEntriesBlendOutsideAndInsideLight) {
  thesun = {0, -1, 0};
  thesuncolr = 200, thesuncolg = 100, thesuncolb = 0;
  thesunambr = thesunambg = thesunambb = 40;
  Frame();
  EXPECT_EQ(Lights[0].type, LEVLIGHT_GLOBAL_AMBIENT);
  EXPECT_EQ(Lights[0].col[0], 40);
  EXPECT_EQ(Lights[1].type, LEVLIGHT_DIRECTIONAL);
  EXPECT_EQ(Lights[1].col[0], 200);
  ExpectVec(defamb, {40 / 128.0f, 40 / 128.0f, 40 / 128.0f}, "default ambient follows entry 0");
  ExpectVec(defdirs[0], {0, 1, 0}, "default direction: the sun's reversed");
  // The level's inside lights, taken over at once (no previous ones).
  Write("IN.LGT", {Light(LEVLIGHT_DIRECTIONAL, {1, 0, 0}, 0, 0, 100, 200), Light(LEVLIGHT_GLOBAL_AMBIENT, {}, 0, 80, 80, 80)});
  ASSERT_EQ(InsertLightSet("IN.LGT"), 0);
  Frame();
  EXPECT_EQ(DirInside.type, LEVLIGHT_DIRECTIONAL);
  EXPECT_EQ(DirInside.col[2], 200);
  EXPECT_FLOAT_EQ(DirInside.radius, 100000.0f);
  EXPECT_EQ(Lights[1].col[0], 200) << "outdoors: still the sun";
  // Indoors for 50 frames: halfway (0.01 a frame).
  for (int i = 0; i < 50; i++) Frame(0, 0);
  EXPECT_NEAR(outlightblend, 0.5f, 1e-4f);
  EXPECT_NEAR(Lights[1].col[0], 100, 1);
  EXPECT_NEAR(Lights[1].col[2], 100, 1);
  EXPECT_NEAR(Lights[0].col[0], 60, 1);
  for (int i = 0; i < 60; i++) Frame(0, 0);
  EXPECT_EQ(outlightblend, 1.0f);
  EXPECT_EQ(Lights[1].col[0], 0);
  EXPECT_EQ(Lights[1].col[1], 100);
  EXPECT_EQ(Lights[1].col[2], 200);
  ExpectVec(Lights[1].pos, {1, 0, 0}, "inside direction");
  EXPECT_EQ(Lights[0].col[0], 80);
  // A second set's inside light fades in over 20 frames.
  Write("IN2.LGT", {Light(LEVLIGHT_DIRECTIONAL, {0, 0, 1}, 0, 200, 100, 0)});
  ASSERT_EQ(InsertLightSet("IN2.LGT"), 1);
  EXPECT_FLOAT_EQ(dirblend, 1.0f);
  for (int i = 0; i < 10; i++) Frame(0, 0);
  EXPECT_NEAR(Lights[1].col[0], 100, 1);
  EXPECT_NEAR(Lights[1].col[2], 100, 1);
  for (int i = 0; i < 10; i++) Frame(0, 0);
  EXPECT_EQ(Lights[1].col[0], 200);
  EXPECT_EQ(Lights[1].col[2], 0);
  // The editor keeps the global entries as they are.
  thesunambr = 0;
  for (int i = 0; i < 100; i++) Frame(0, 1, 1);
  EXPECT_EQ(Lights[0].col[0], 80);
}

TEST_F(LightSets, ScoresAndColoursOfTheBasicSearch) {
  // A point light of radius 10 and base 128, 128, 128 at the origin; the
  // object stands on y = -0.5 so that its lit point (y + 0.5) is on the axis.
  struct Case {
    float x;          // object along x
    uint8_t colour;   // the colour handed, x 128
  } cases[] = {
      {4, 128},     // score 384: scale capped at 1/128
      {9.5f, 64},   // score 96: 96 / 24576 of the colour
      {10, 0},      // out of reach: no light
  };
  Write("P.LGT", {Light(LEVLIGHT_POINT, {0, 0, 0}, 10, 128, 128, 128)});
  ASSERT_EQ(InsertLightSet("P.LGT"), 0);
  thesunambr = 32, thesunambg = 16, thesunambb = 0;
  Frame();
  for (const Case& c : cases) {
    const ZEVEC pos = {c.x, -0.5f, 0};
    LIGHTSAMPLE s;
    SearchLightsBasic(&cam, &pos, &s);
    EXPECT_EQ(s.cols[0][0], c.colour) << c.x;
    EXPECT_EQ(s.amb[0], 32) << "the global ambient";
    EXPECT_EQ(s.amb[1], 16);
    SearchLightsBasic(&cam, &pos, nullptr);
    const Sent r = RendererLights();
    EXPECT_FLOAT_EQ(r.col[0].x, float(c.colour) / 128.0f) << c.x;
    if (c.colour) ExpectVec(r.dir[0], {-1, 0, 0}, "toward the light");
    ExpectVec(r.amb, {0.25f, 0.125f, 0}, "ambient");
  }
  // None near: three black lights and the global ambient.
  const ZEVEC far = {0, 0, 15};
  SearchLightsBasic(&cam, &far, nullptr);
  const Sent r = RendererLights();
  for (int j = 0; j < 3; j++) ExpectVec(r.col[j], {0, 0, 0}, "black");
  ExpectVec(r.amb, {0.25f, 0.125f, 0}, "global ambient");
}

TEST_F(LightSets, BeyondTwentyFourUnitsTheDefaultsWhateverIsNear) {
  // A light 19 from the camera reaches the object 6 beyond it.
  Write("P.LGT", {Light(LEVLIGHT_POINT, {19, 0, 0}, 10, 128, 128, 128)});
  ASSERT_EQ(InsertLightSet("P.LGT"), 0);
  thesun = {0, -1, 0};
  thesuncolr = thesuncolg = thesuncolb = 64;
  thesunambr = 16;
  Frame();
  ASSERT_TRUE(Listed(2));
  const ZEVEC pos = {25, 0, 0};
  SearchLightsBasic(&cam, &pos, nullptr);
  Sent r = RendererLights();
  ExpectVec(r.dir[0], {0, 1, 0}, "the default direction");
  ExpectVec(r.col[0], {0.5f, 0.5f, 0.5f}, "the sun's colour");
  ExpectVec(r.col[1], {0, 0, 0}, "black");
  ExpectVec(r.amb, {0.125f, 0, 0}, "default ambient");
  COBLIGHTS rec;
  InitLight(&rec);
  ZeRndrSetAmbientLight(&zevec_zero);
  SearchLights(&cam, &pos, &rec, 0);
  r = RendererLights();
  ExpectVec(r.amb, {0.125f, 0, 0}, "the smoothed search too");
  EXPECT_EQ(rec.slot[0], -1) << "and it remembers nothing";
  // A sample is given the defaults rather than left as it was.
  LIGHTSAMPLE s;
  memset(&s, 0xee, sizeof s);
  SearchLightsBasic(&cam, &pos, &s);
  EXPECT_EQ(s.cols[0][0], 64);
  EXPECT_EQ(s.cols[1][0], 0);
  EXPECT_EQ(s.amb[0], 16);
  ExpectVec(s.dirs[0], {0, 1, 0}, "sample direction");
}

TEST_F(LightSets, PlacesSortedByScoreAndTheAmbientMix) {
  // Radii large enough that score = the colour sum.
  Write("S.LGT", {Light(LEVLIGHT_POINT, {0, 2, 0}, 50, 10, 10, 10),           // 30
                  Light(LEVLIGHT_FLICKER, {2, 0, 0}, 50, 20, 20, 20),         // 60
                  Light(LEVLIGHT_POINT_SHADOW, {0, 0, 2}, 50, 20, 20, 20),    // 60, after the flicker
                  Light(LEVLIGHT_FLICKER_SHADOW, {-2, 0, 0}, 50, 30, 30, 30), // 90
                  Light(LEVLIGHT_NEGATIVE, {0, 0, -2}, 50, 90, 90, 90),       // never chosen
                  Light(LEVLIGHT_LOCAL_AMBIENT, {0, -4, 0}, 8, 64, 0, 0),      // the nearer ambient
                  Light(LEVLIGHT_LOCAL_AMBIENT, {0, 5, 0}, 50, 0, 64, 0)});
  ASSERT_EQ(InsertLightSet("S.LGT"), 0);
  thesunambb = 128;
  Frame();
  const ZEVEC pos = {0, -0.5f, 0};
  LIGHTSAMPLE s;
  SearchLightsBasic(&cam, &pos, &s);
  ExpectVec(s.dirs[0], {-1, 0, 0}, "90 first");
  ExpectVec(s.dirs[1], {1, 0, 0}, "then the first of the equal scores");
  ExpectVec(s.dirs[2], {0, 0, 1}, "then the second");
  // The ambient at d = 4, r = 8: global x 1/2 + local x 1/2.
  EXPECT_EQ(s.amb[0], 32);
  EXPECT_EQ(s.amb[1], 0);
  EXPECT_EQ(s.amb[2], 64);
  // The specular light is the best shadow light: toward (-2, 0, 0).
  ZeRndrSetSpecularLight(&zevec_zero, nullptr);
  SearchLightsBasic(&cam, &pos, nullptr);
  ExpectVec(rndrstream_spec_dir, {-1, 0, 0}, "specular");
}

TEST_F(LightSets, SlotsKeepTheirLightsAndFadeOverTwentyDraws) {
  Write("A.LGT", {Light(LEVLIGHT_POINT, {2, 0, 0}, 50, 40, 40, 40), Light(LEVLIGHT_POINT, {0, 0, 2}, 50, 20, 20, 20)});
  ASSERT_EQ(InsertLightSet("A.LGT"), 0);
  Frame();
  const ZEVEC pos = {0, -0.5f, 0};
  COBLIGHTS rec;
  InitLight(&rec);
  SearchLights(&cam, &pos, &rec, 0);
  EXPECT_EQ(rec.slot[0], 2);
  EXPECT_EQ(rec.slot[1], 3);
  EXPECT_EQ(rec.slotfade[0], 0) << "a slot that held nothing does not fade";
  // A stronger light arrives: both keep their slots, it takes the third.
  Write("B.LGT", {Light(LEVLIGHT_POINT, {-2, 0, 0}, 50, 60, 60, 60)});
  ASSERT_EQ(InsertLightSet("B.LGT"), 1);
  Frame();
  SearchLights(&cam, &pos, &rec, 0);
  EXPECT_EQ(rec.slot[0], 2);
  EXPECT_EQ(rec.slot[1], 3);
  EXPECT_EQ(rec.slot[2], 4);
  EXPECT_EQ(rec.slotfade[2], 0);
  // The first set goes: its slots are forgotten (not faded from freed
  // entries); a new light then takes slot 0 from nothing.
  RemoveLightSet(0);
  Frame();
  SearchLights(&cam, &pos, &rec, 0);
  EXPECT_EQ(rec.slot[0], -1);
  EXPECT_EQ(rec.slot[2], 4);
  // The same change with the old light still there but weaker than the
  // new one: it leaves the slot for the new light, and the slot fades.
  InitLights();
  Write("E.LGT", {Light(LEVLIGHT_POINT, {-2, 0, 0}, 50, 60, 60, 60), Light(LEVLIGHT_POINT, {0, 0, -2}, 50, 90, 90, 90),
                  Light(LEVLIGHT_POINT, {2, 0, 0}, 50, 80, 80, 80), Light(LEVLIGHT_POINT, {0, 0, 2}, 50, 70, 70, 70)});
  ASSERT_EQ(InsertLightSet("E.LGT"), 0);
  Lights[3].type = Lights[4].type = Lights[5].type = LEVLIGHT_NEGATIVE;  // only the first for now
  Frame();
  InitLight(&rec);
  SearchLights(&cam, &pos, &rec, 0);
  ASSERT_EQ(rec.slot[0], 2);
  // Three stronger lights push the first one out of the three places.
  Lights[3].type = Lights[4].type = Lights[5].type = LEVLIGHT_POINT;
  Frame();
  // From the old look (score 180: 180 / 24576 of its colour) to the new
  // (score 270: capped at 1/128).
  const float oldc = 60.0f * 180 / 24576, newc = 90.0f / 128;
  for (int draw = 1; draw <= 21; draw++) {
    SearchLights(&cam, &pos, &rec, 0);
    const Sent r = RendererLights();
    const int counter = draw >= 20 ? 0 : 100 - 5 * draw;
    const float t = float(counter) / 100.0f;
    // Slot 0 now holds the strongest new light, (0, 0, -1), fading from (-1, 0, 0).
    EXPECT_EQ(rec.slot[0], 3) << draw;
    EXPECT_EQ(rec.slotfade[0], counter) << draw;
    ExpectVec(r.dir[0], {0 - (0 - -1.0f) * t, 0, -1 - (-1 - 0.0f) * t}, "direction fades", 1e-5f);
    const float c = newc - (newc - oldc) * t;
    ExpectVec(r.col[0], {c, c, c}, "colour fades", 1e-6f);
  }
}

TEST_F(LightSets, ShadowStrengthTiltsTowardStraightDown) {
  // A point-with-shadow light 4 units along x, radius 10: score = base sum.
  struct Case {
    uint8_t base;  // strength = 3 x base / 6
  } cases[] = {
      {40},  // strength 20: untilted
      {32},  // 16: untilted
      {24},  // 12: t = 0.5
      {18},  // 9: t = 0.875, still tilted
      {14},  // 7: straight down
  };
  for (const Case& c : cases) {
    InitLights();
    Write("S.LGT", {Light(LEVLIGHT_POINT_SHADOW, {4, 0, 0}, 10, c.base, c.base, c.base)});
    ASSERT_EQ(InsertLightSet("S.LGT"), 0);
    Frame();
    const ZEVEC pos = {0, -0.5f, 0};
    COBLIGHTS rec;
    InitLight(&rec);
    SearchLights(&cam, &pos, &rec, 0);
    ExpectVec(rec.shadowdir, {0, -1, 0}, "the shadow follows one call late");
    SearchLights(&cam, &pos, &rec, 0);
    EXPECT_EQ(rec.shadowlight, 2);
    const float strength = float(c.base) * 3 / 6;
    EXPECT_FLOAT_EQ(rec.shadowscore, strength);
    ZEVEC want = {-1, 0, 0};  // from the light to the object
    if (strength < 8) {
      want = {0, -1, 0};
    } else if (strength < 16) {
      const float t = (16 - strength) / 8;
      want = {-(1 - t), -t, 0};
    }
    ExpectVec(rec.shadowdir, want, "shadow");
    ExpectVec(rndrstream_spec_dir, {-want.x, want.y, -want.z}, "specular: x and z reversed");
    EXPECT_EQ(rec.shadowbright, 12);
    ZEVEC dir;
    EXPECT_EQ(CobLightsShadow(&rec, &dir), 12);
    ExpectVec(dir, want, "what the cob drawing reads");
  }
}
