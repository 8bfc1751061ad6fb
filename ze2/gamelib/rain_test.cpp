// Rain: the intensity, drops a frame, the fan round the camera, the jump
// shift, stopping and giving the key back, and pictures of the streak
// texture and of drops drawn through it on the GS model.
#include <cmath>

#include "debris_sys_test.h"

namespace {

struct Rain : Particles {
  int type = -1;
  void SetUp() override {
    Particles::SetUp();
    ZeWindQS = 4965;
  }
  void AddRainType() {
    DebrisEffectType t = TestType("FENN_RAIN", 0.6f, 0);
    t.gravity = 0.0f;
    t.draw_flag = 4;  // drawn by the rain alone
    for (DebColKey& c : t.colour) c = {c.time, 255, 255, 255};
    t.colour[7].time = 1.0f;
    t.alpha[0] = {0, 128}, t.alpha[1] = {1, 128};
    type = InstallType(t, 0);
  }
  DebrisKey& Key() { return debkeydata[ZeRainKey]; }
  DebrisParticle* Drop(int i) { return DebrisChunkParticles(Key().chunks[i / 32]) + i % 32; }
  void MoveCamera(float dx, float dy, float dz) {
    global_camera.mtx.m[3][0] += dx, global_camera.mtx.m[3][1] += dy, global_camera.mtx.m[3][2] += dz;
  }
  // The camera at p looking along dir (unit), up kept as near +y as it goes.
  void Look(ZEVEC p, ZEVEC z, ZEVEC y) {
    ZEVEC x;
    ZeVecCross(&x, &y, &z);
    ZEMTX& m = global_camera.mtx;
    m = zemtx_identity;
    m.m[0][0] = x.x, m.m[0][1] = x.y, m.m[0][2] = x.z;
    m.m[1][0] = y.x, m.m[1][1] = y.y, m.m[1][2] = y.z;
    m.m[2][0] = z.x, m.m[2][1] = z.y, m.m[2][2] = z.z;
    m.m[3][0] = p.x, m.m[3][1] = p.y, m.m[3][2] = p.z;
  }
};

TEST_F(Rain, TheIntensityIsClampedToZeroToOne) {
  const struct {
    float in, out;
  } cases[] = {{2.0f, 1.0f}, {-1.0f, 0.0f}, {0.5f, 0.5f}, {0.0f, 0.0f}, {1.0f, 1.0f}};
  for (const auto& c : cases) {
    ZeRainSetFall(c.in);
    EXPECT_EQ(ZeRainFall, c.out) << c.in;
  }
}

TEST_F(Rain, DropsAFrameByIntensity) {
  AddRainType();
  const struct {
    float fall;
    int drops;
  } cases[] = {{0.1f, 6}, {0.01f, 1}, {0.5f, 16}, {0.2f, 12}, {0.25f, 16}, {1.0f, 16}};
  for (const auto& c : cases) {
    ZeRainSetFall(c.fall);
    ZeRainProcess(0);
    ASSERT_NE(ZeRainKey, -1);
    EXPECT_EQ(Key().nchunks, 20);
    EXPECT_EQ(Key().capacity, ZERAIN_DROPS);
    EXPECT_EQ(Key().cursor, c.drops) << c.fall;
    EXPECT_EQ(FindDebrisEffectStack(&Key()), nullptr) << "the rain key is off the wheels";
    const int before = Key().cursor;
    ZeRainProcess(1);
    EXPECT_EQ(Key().cursor, before) << "paused: no drops";
    // The key is kept across frames; start the count afresh.
    Key().cursor = 0;
  }
}

TEST_F(Rain, TheCursorWrapsAfterEveryDrop) {
  AddRainType();
  ZeRainSetFall(1.0f);
  for (int f = 0; f < 40; f++) ZeRainProcess(0);  // 640 drops: every slot once
  EXPECT_EQ(Key().cursor, 640);
  for (int i = 0; i < ZERAIN_DROPS; i++) ASSERT_GT(Drop(i)->birth, 0.0f) << i;
  ZeRainProcess(0);
  EXPECT_EQ(Key().cursor, 16) << "back to the first slot";
}

// The fan of a frame's drops: the spread angle and the distance of each
// drop, recovered from its place, velocity and the camera.
void Fan(Rain& r, int drops, float* maxSpread, float* maxDist) {
  const ZEVEC P = {global_camera.mtx.m[3][0], global_camera.mtx.m[3][1], global_camera.mtx.m[3][2]};
  const int Ay = ZeCamAngy;
  const float cosA = DebCos(ZeCamAngxEx);
  *maxSpread = *maxDist = 0.0f;
  for (int i = 0; i < drops; i++) {
    const DebrisParticle* p = r.Drop(i);
    const float H = p->y - P.y, back = 2.0f * (0.75f * cosA + 0.25f);
    const float dx = p->x - P.x - p->vx * H / p->vy + back * DebSin(Ay);
    const float dz = p->z - P.z - p->vz * H / p->vy + back * DebCos(Ay);
    const float D = std::sqrt(dx * dx + dz * dz);
    const int o = int16_t(uint16_t(ZeAtan2D(dx, dz) - Ay));
    *maxDist = std::fmax(*maxDist, D);
    if (D > 0.05f) *maxSpread = std::fmax(*maxSpread, std::fabs(float(o)));
  }
}

TEST_F(Rain, TheFanByPitch) {
  AddRainType();
  const struct {
    const char* what;
    ZEVEC z, y;
    int k;
    float dist;
  } cases[] = {{"level", {0, 0, 1}, {0, 1, 0}, 1, 20.0f},
               {"level, turned", {1, 0, 0}, {0, 1, 0}, 1, 20.0f},
               {"straight down", {0, -1, 0}, {0, 0, 1}, 4, 3.2f}};
  for (const auto& c : cases) {
    Look({5, 2, -3}, c.z, c.y);
    ZeRainOld.m[0][0] = ZERAIN_NOT_TAKEN;
    ZeRainSetFall(1.0f);
    float spread = 0, dist = 0;
    for (int f = 0; f < 40; f++) ZeRainProcess(0);
    Fan(*this, ZERAIN_DROPS, &spread, &dist);
    EXPECT_LE(spread, 4096.0f * float(c.k) + 64.0f) << c.what;
    EXPECT_GT(spread, 0.9f * 4096.0f * float(c.k)) << c.what << ": the fan is used to its edges";
    EXPECT_LT(dist, c.dist) << c.what;
    EXPECT_GT(dist, 0.8f * c.dist) << c.what;
    EXPECT_EQ(Drop(0)->vy, -15.0f);
    EXPECT_FLOAT_EQ(Drop(0)->rate, 106.667f);
  }
}

TEST_F(Rain, ACameraJumpShiftsEveryDrop) {
  AddRainType();
  const struct {
    const char* what;
    ZEVEC move;
    bool turn;
    bool shifted;
  } cases[] = {{"0.9 along each axis", {0.9f, 0.9f, 0.9f}, false, false},
               {"1.1 along x", {1.1f, 0, 0}, false, true},
               {"-1.1 along y", {0, -1.1f, 0}, false, true},
               {"1.1 along z, turned a quarter", {0, 0, 1.1f}, true, true}};
  for (const auto& c : cases) {
    Look({0, 0, -10}, {0, 0, 1}, {0, 1, 0});
    ZeRainSetFall(1.0f);
    for (int f = 0; f < 40; f++) ZeRainProcess(0);
    std::vector<DebrisParticle> before(ZERAIN_DROPS);
    for (int i = 0; i < ZERAIN_DROPS; i++) before[i] = *Drop(i);
    if (c.turn) Look({0, 0, -10}, {1, 0, 0}, {0, 1, 0});
    MoveCamera(c.move.x, c.move.y, c.move.z);
    ZeRainProcess(1);  // paused: no new drops, only the shift
    ZEVEC d = c.shifted ? c.move : ZEVEC{0, 0, 0};
    if (c.turn) d.x += 3.5f, d.z -= 3.5f;
    for (int i = 0; i < ZERAIN_DROPS; i++) {
      ASSERT_NEAR(Drop(i)->x, before[i].x + d.x, 1e-4f) << c.what << " " << i;
      ASSERT_NEAR(Drop(i)->y, before[i].y + d.y, 1e-4f) << c.what << " " << i;
      ASSERT_NEAR(Drop(i)->z, before[i].z + d.z, 1e-4f) << c.what << " " << i;
    }
  }
}

TEST_F(Rain, DropsKeepPaceWithAMovingCamera) {
  AddRainType();
  ZeRainSetFall(0.01f);  // one drop a frame
  ZeRainProcess(0);
  MoveCamera(0.5f, 0, 0);
  ZeRainProcess(0);
  EXPECT_NEAR(Drop(1)->vx - Drop(0)->vx, 30.0f, 0.6f) << "0.5 a frame is 30 a second";
  EXPECT_EQ(Drop(1)->vy, -15.0f);
}

TEST_F(Rain, StoppingGivesTheKeyBack) {
  AddRainType();
  const int freeKeys = DEB_KEYS - freedebkeyptr;
  ZeRainSetFall(0.5f);
  ZeRainProcess(0);
  ASSERT_NE(ZeRainKey, -1);
  EXPECT_EQ(FreeChunks(), debrischunks - 20);
  ZeRainSetFall(0.0f);
  ZeRainProcess(0);
  EXPECT_EQ(ZeRainKey, -1);
  EXPECT_EQ(DEB_KEYS - freedebkeyptr, freeKeys) << "the key is free again";
  EXPECT_EQ(freechunkcontrolsptr, 20) << "its chunks fade out under controls";
  Frames(60);
  EXPECT_EQ(FreeChunks(), debrischunks) << "and come back";
  ZeRainProcess(0);
  EXPECT_EQ(ZeRainKey, -1) << "no rain, no key";
}

TEST_F(Rain, AKeyThatCannotReleaseItsChunksIsFreedAfter64Frames) {
  AddRainType();
  ZeRainSetFall(0.5f);
  ZeRainProcess(0);
  const int controls = freechunkcontrolsptr;
  freechunkcontrolsptr = DebControlLimit();  // no control free: the chunks stay
  ZeRainSetFall(0.0f);
  for (int f = 0; f < 64; f++) ZeRainProcess(0);
  EXPECT_NE(ZeRainKey, -1);
  EXPECT_EQ(ZeRainInactive, 64);
  const int freeKeys = DEB_KEYS - freedebkeyptr;
  ZeRainProcess(0);
  EXPECT_EQ(ZeRainKey, -1) << "freed at once on the 65th frame";
  EXPECT_EQ(ZeRainInactive, 0);
  EXPECT_EQ(DEB_KEYS - freedebkeyptr, freeKeys + 1);
  freechunkcontrolsptr = controls;
}

TEST_F(Rain, WithoutTheTypeTheKeyIsHeldEmptyAndGivenBack) {
  const int freeKeys = DEB_KEYS - freedebkeyptr;
  ZeRainSetFall(1.0f);
  for (int f = 0; f < 3; f++) ZeRainProcess(0);
  ASSERT_NE(ZeRainKey, -1);
  EXPECT_EQ(Key().nchunks, 0);
  EXPECT_EQ(DEB_KEYS - freedebkeyptr, freeKeys - 1);
  ZeRainSetFall(0.0f);
  ZeRainProcess(0);
  EXPECT_EQ(ZeRainKey, -1);
  EXPECT_EQ(DEB_KEYS - freedebkeyptr, freeKeys);
}

TEST_F(Rain, NoKeyFreeOrRainOffMakesNoDrops) {
  AddRainType();
  testrain = 0;
  ZeRainSetFall(1.0f);
  ZeRainProcess(0);
  EXPECT_EQ(ZeRainKey, -1) << "rain off";
  testrain = 1;
  const int saved = freedebkeyptr;
  freedebkeyptr = DEB_KEYS;  // every key taken
  ZeRainProcess(0);
  EXPECT_EQ(ZeRainKey, -1);
  freedebkeyptr = saved;
  ZeRainProcess(0);
  EXPECT_NE(ZeRainKey, -1);
}

TEST_F(Rain, TheAnglesOfTheCamera) {
  AddRainType();
  ZeRainSetFall(1.0f);
  const struct {
    const char* what;
    ZEVEC z, y;
    int ax, ay, axex;
  } cases[] = {{"level along +z", {0, 0, 1}, {0, 1, 0}, 0, 0, 0},
               {"level along +x", {1, 0, 0}, {0, 1, 0}, 0, 16384, 0},
               {"straight down", {0, -1, 0}, {0, 0, 1}, -16384, -32768, -16384},
               {"straight up", {0, 1, 0}, {0, 0, -1}, 16384, -32768, 16384}};
  for (const auto& c : cases) {
    Look({0, 0, 0}, c.z, c.y);
    ZeRainProcess(0);
    EXPECT_EQ(ZeCamAngx, c.ax) << c.what;
    EXPECT_EQ(int16_t(ZeCamAngy), int16_t(c.ay)) << c.what;
    EXPECT_EQ(ZeCamAngxEx, c.axex) << c.what;
  }
}

// ---- pictures ----------------------------------------------------------------

// The 64 x 32 streak texture as it lies in video memory, alpha kept.
struct Streak {
  std::vector<uint32_t> px;
  uint32_t at(int x, int y) const { return px[size_t(y * 64 + x)]; }
};
Streak GrabStreak(const char* name) {
  Streak s;
  const uint32_t tbp = uint32_t(ZeTexGetTextAddr(ZeRainTex));
  for (int y = 0; y < 32; y++)
    for (int x = 0; x < 64; x++) s.px.push_back(GsMemReadPixel(PSMCT32, tbp, 1, x, y));
  std::vector<uint32_t> shown(s.px);
  for (uint32_t& p : shown) p |= 0xff000000u;
  PngWrite((std::string(ZE_PICTURE_DIR "/") + name + ".png").c_str(), shown.data(), 64, 32);
  return s;
}

// A frame with the glass pass (and so the rain) drawn over a grey clear.
uint64_t RainFrame(ObjDraw& d) { return GlassFrame(d, 0x00404040, [] {}); }

TEST_F(Rain, PictureOfTheStreakTexture) {
  AddRainType();
  DebrisGlassInit();
  ASSERT_GT(ZeRainTex, 0);
  // Over white, a drop of alpha a leaves 255 + ((128 - 255) a >> 7) and its
  // alpha; the texture's alpha is 0 where no drop lies.
  auto drop = [](int a) {
    const uint32_t c = uint32_t(255 + ((-127 * a) >> 7));
    return uint32_t(a) << 24 | c << 16 | c << 8 | c;
  };
  // Sample rows through each drop's body (the wobble phase 0 puts drop 1 at
  // rows 3-8, 2 at 8-13, 3 at 15-21, 4 at 24-30) at column 30, inside all
  // four bodies.
  const struct {
    const char* name;
    float fall;
    int alpha[4];
  } cases[] = {{"rain_streak_03", 0.3f, {22, 0, 128, 0}}, {"rain_streak_10", 1.0f, {112, 96, 128, 96}}};
  const int rows[4] = {4, 12, 18, 27};
  for (const auto& c : cases) {
    Look({0, 0, -10}, {0, 0, 1}, {0, 1, 0});
    ZeRainSetFall(c.fall);
    ZeRainProcess(1);  // the key and its angles, no drops: nothing to show but the texture
    ZeRainWob = 0;
    RainFrame(*this);
    const Streak s = GrabStreak(c.name);
    for (int i = 0; i < 4; i++) {
      const uint32_t want = c.alpha[i] ? drop(c.alpha[i]) : 0x00ffffffu;
      EXPECT_EQ(s.at(30, rows[i]), want) << c.name << " drop " << i + 1;
    }
    EXPECT_EQ(s.at(63, 0), 0x00ffffffu) << c.name << ": cleared";
    EXPECT_EQ(s.at(0, 31), 0x00ffffffu) << c.name << ": cleared";
    // Drop 3's head: 8 texels from x 15/16, its body from there 5.5 times as long.
    EXPECT_EQ(s.at(1, 18), drop(128));
    EXPECT_EQ(s.at(52, 18), drop(128));
    EXPECT_EQ(s.at(54, 18), 0x00ffffffu);
  }
}

TEST_F(Rain, PictureOfDropsDrawnThroughTheStreaks) {
  AddRainType();
  DebrisGlassInit();
  Look({0, 0, -10}, {0, 0, 1}, {0, 1, 0});
  ZeRainSetFall(1.0f);
  ZeRainProcess(1);
  ZeRainWob = 0;
  ZeRainTwist = 0;
  // One drop two units ahead of the camera, born a tenth of a second ago and
  // still; every other slot dead.
  for (int i = 0; i < ZERAIN_DROPS; i++) *Drop(i) = {0, 0, 0, 0.0f, 0, 0, 0, 32768.0f};
  globaltime = 10.0f;
  *Drop(5) = {0, 0, -8, 9.9f, 0, 0, 0, 106.667f};
  const uint64_t frame = RainFrame(*this);
  const Picture pic = Grab(frame, 300, 92, 40, 40, "rain_drops");
  float x, y;
  Project({0, 0, -8}, zemtx_identity, &x, &y);
  // The drop's quad stands upright round its place (the fall of a level
  // camera is straight down the screen): darker streak rows over the grey,
  // nothing outside.
  // The drop's quad stands round its place along the fall on the screen:
  // down and to the right, the drops' drift. The streak rows lighten the
  // grey (white streaks); the rows between them leave it; nothing lies
  // outside the quad.
  int marked = 0, outside = 0, darker = 0;
  float top = 0, bottom = 0;
  int ntop = 0, nbottom = 0;
  for (int py = 92; py < 132; py++)
    for (int px = 300; px < 340; px++) {
      const uint32_t c = pic.at(px, py);
      if (c == 0x404040u) continue;
      marked++;
      if ((c & 0xff) < 0x40 || c != (c & 0xff) * 0x010101u) darker++;
      if (std::fabs(float(px) - x) > 8.0f || std::fabs(float(py) - y) > 10.0f) outside++;
      if (py < y - 3) top += float(px), ntop++;
      if (py > y + 3) bottom += float(px), nbottom++;
    }
  EXPECT_GT(marked, 40);
  EXPECT_EQ(outside, 0);
  EXPECT_EQ(darker, 0) << "grey streaks lighter than the clear";
  ASSERT_GT(ntop, 0);
  ASSERT_GT(nbottom, 0);
  EXPECT_GT(bottom / float(nbottom), top / float(ntop) + 3.0f) << "slanted along the drift";
  EXPECT_EQ(pic.at(301, 93), 0x404040u);
}

TEST_F(Rain, NothingIsDrawnWithoutTheStreakSurface) {
  AddRainType();
  ZeRainSetFall(1.0f);
  ZeRainProcess(0);
  ASSERT_EQ(ZeRainTex, 0);
  ZeRndrStreamLink(rndrstream_ptl);
  const uint32_t* before = rndrstream_ptl->write;
  ZeRainDraw(0);
  EXPECT_EQ(rndrstream_ptl->write.get(), before);
}

}  // namespace

namespace {

using RainStart = Rain;

TEST_F(RainStart, GlassStartedAgainKeepsItsTextures) {
  // Every level's activation starts the glass pass: the second start makes
  // nothing new.
  DebrisGlassInit();
  const ZETEXID copy = debris_glass_tid, streak = ZeRainTex;
  ZEMTL* drops = ZeRainMtl;
  DebrisGlassInit();
  EXPECT_EQ(debris_glass_tid, copy);
  EXPECT_EQ(ZeRainTex, streak);
  EXPECT_EQ(ZeRainMtl, drops);
  DebrisGlassClose();
  EXPECT_EQ(ZeRainTex, 0);
  EXPECT_EQ(ZeRainMtl, nullptr);
}

TEST_F(RainStart, CarvingThePoolsAgainForgetsTheRainKey) {
  AddRainType();
  ZeRainSetFall(1.0f);
  ZeRainProcess(0);
  ASSERT_NE(ZeRainKey, -1);
  char* cursor = pool;
  DebrisSetup(&cursor, "gfx\\particle.pnt", 304);
  EXPECT_EQ(ZeRainKey, -1) << "every key is free again: the rain must not keep one";
  EXPECT_EQ(freedebkeyptr, 0);
}

}  // namespace
