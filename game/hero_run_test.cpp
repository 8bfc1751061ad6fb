// The game end to end on the hero's course (docs/course.md): the program
// started as "torva --clock=virtual --cdrom0=DISC --args=LEVEL isletown"
// with the disc's fixed random table ("data\rand.dat", zerandtab's default
// seed), then one row after another: each row feeds pad 0 a script
// (--pad0=script:FILE, the scripts in game/herorun), runs its frames with a
// swap hook that records the hero at every swap, asks for pictures with
// --snapshot=N:FILE and checks the trace and the pictures' crops.
//
// A row: its name, its pad script, its frames, an optional set-up (placing
// the hero on the course), a check of the trace, and crops. A crop is a
// rectangle of the picture shown at one of the row's frames, compared with
// the same rectangle of a reference picture: another frame of the row,
// expected the same or different, or none (the crop must show drawing).
// HERO_RUN_KEEP=DIR keeps the pictures in DIR to look at.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "game.h"
#include "gamecobs.h"
#include "levcon.h"
#include "player.h"
#include "snapshot_test.h"
#include "standins.h"

namespace {

// One swap's record of the hero.
struct HeroSwap {
  int swap;
  ZEVEC pos;
  int yaw;
  int hitpoints, hurt, flash, exit;  // his hit points, hurt and blink timers; exitgame
  float shield;                      // shieldpower
};

// The hero as the trace records him: the one place that reads him.
HeroSwap HeroRecord(int swap) {
  return {swap, Player.cob.pos, Player.cob.roty, Player.hitpoints, Player.hurt, plrflash, exitgame, float(shieldpower)};
}

std::vector<HeroSwap> g_trace;

int RecordHero(int swap) {
  g_trace.push_back(HeroRecord(swap));
  return 0;
}

enum class Ref { None, Same, Differs };

struct Crop {
  int frame;           // the row's frame (1 = its first swap)
  int x, y, w, h;      // pixels of the 640 x 224 picture
  Ref ref = Ref::None;
  int refFrame = 0;    // the reference picture's frame, for Same and Differs
  const char* what = "";
};

struct HeroRow {
  const char* name;
  const char* pad;     // a script in game/herorun
  int frames;
  void (*setup)();     // before the row's first frame; may be null
  void (*check)(const std::vector<HeroSwap>& trace);
  std::vector<Crop> crops;
};

// The program's host options, as its command line gives them.
void HostOptions(std::vector<std::string> words) {
  words.insert(words.begin(), "torva");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  int argc = int(words.size());
  PlatParseHostOptions(&argc, argv.data());
  ASSERT_EQ(argc, 1) << "an option the platform does not take";
}

struct HeroRun : testing::Test {
  static void SetUpTestSuite() {
    HostOptions({"--clock=virtual", std::string("--cdrom0=") + TORVA_DISC, "--args=LEVEL isletown",
                 std::string("--pad0=script:") + HERO_RUN_DIR + "/stand.txt"});
    MainResetSettings();
    MainStartUp();
    MainReplaySetUp();
    MainRestartPoint();
    // Faded in on the level.
    for (int f = 0; f < 40; f++) MainFrame();
  }
};

// Pixels of a crop that differ between two pictures.
int Differing(const Png& a, const Png& b, const Crop& c) {
  int n = 0;
  for (int y = c.y; y < c.y + c.h; y++)
    for (int x = c.x; x < c.x + c.w; x++) n += a.at(x, y) != b.at(x, y);
  return n;
}

// Pixels of a crop that are not the clear colour (black).
int Drawn(const Png& p, const Crop& c) {
  int n = 0;
  for (int y = c.y; y < c.y + c.h; y++)
    for (int x = c.x; x < c.x + c.w; x++) n += (p.at(x, y) & 0xffffff) != 0;
  return n;
}

std::string ShotPath(const HeroRow& row, int frame) {
  static const std::string dir = getenv("HERO_RUN_KEEP") ? getenv("HERO_RUN_KEEP") : TestTempDir();
  return dir + "/hero_" + row.name + "_" + std::to_string(frame) + ".png";
}

// One frame of the replay loop: after a death's countdown, once faded out,
// the hero starts again (LifeLost) at the loop's restart point.
void ReplayFrame() {
  MainFrame();
  if (exitgame == 2 && game_fade_level >= 255) {
    exitgame = 0;
    LifeLost();
    MainRestartPoint();
  }
}

void RunRow(const HeroRow& row) {
  SCOPED_TRACE(row.name);
  ASSERT_EQ(current_level, LevConFindLevelByName("isletown"));
  if (row.setup) row.setup();
  const int first = DisplayPresentCount() + 1;
  std::vector<int> frames;
  for (const Crop& c : row.crops) {
    frames.push_back(c.frame);
    if (c.ref != Ref::None) frames.push_back(c.refFrame);
  }
  for (int f : frames) {
    std::remove(ShotPath(row, f).c_str());
    HostOptions({"--snapshot=" + std::to_string(first + f - 1) + ":" + ShotPath(row, f)});
  }
  HostOptions({std::string("--pad0=script:") + HERO_RUN_DIR + "/" + row.pad});
  g_trace.clear();
  PlatSetSwapHook(RecordHero);
  for (int f = 0; f < row.frames; f++) ReplayFrame();
  PlatSetSwapHook(nullptr);
  ASSERT_EQ(int(g_trace.size()), row.frames) << "one record a swap";
  EXPECT_EQ(g_trace.front().swap, first);
  if (row.check) row.check(g_trace);
  for (const Crop& c : row.crops) {
    SCOPED_TRACE(testing::Message() << "crop at frame " << c.frame << ": " << c.what);
    const Png shot = Read(ShotPath(row, c.frame));
    ASSERT_EQ(shot.w, 640);
    ASSERT_LE(c.x + c.w, shot.w);
    ASSERT_LE(c.y + c.h, shot.h);
    if (c.ref == Ref::None) {
      EXPECT_GT(Drawn(shot, c), c.w * c.h * 9 / 10) << "drawn";
      continue;
    }
    const Png ref = Read(ShotPath(row, c.refFrame));
    ASSERT_EQ(ref.w, shot.w);
    if (c.ref == Ref::Same) EXPECT_EQ(Differing(shot, ref, c), 0) << "as at frame " << c.refFrame;
    else EXPECT_GT(Differing(shot, ref, c), c.w * c.h / 50) << "unlike frame " << c.refFrame;
  }
}

// ---------------------------------------------------------------------------
// The rows

// Left alone on the start deck the hero stays at the level's start, and the
// camera stands 3 behind him along his facing, 1.5 above his feet, looking
// at his head: the deck and the course beyond it drawn in 3-D below the
// black sky, the same picture from swap to swap but for the swinging pillar
// at the top left and the hero himself, drawn before the camera at the
// picture's centre, idling.
void StandCheck(const std::vector<HeroSwap>& trace) {
  const LevConLevel* level = LevConFindLevelByName("isletown");
  for (const HeroSwap& s : trace) {
    EXPECT_NEAR(s.pos.x, level->StartPos.x, 1e-4f) << s.swap;
    EXPECT_NEAR(s.pos.z, level->StartPos.z, 1e-4f) << s.swap;
  }
  ASSERT_NE(kaelcam, nullptr);
  const HeroSwap& last = trace.back();
  const float yaw = float(int16_t(last.yaw)) * (6.2831853f / 65536.0f);
  EXPECT_NEAR(CameraYaw(), yaw, 1e-5f);
  EXPECT_NEAR(kaelcam->mtx.m[3][0], last.pos.x - CAMERA_BEHIND * std::sin(yaw), 1e-4f);
  EXPECT_NEAR(kaelcam->mtx.m[3][1], last.pos.y + CAMERA_ABOVE, 1e-4f);
  EXPECT_NEAR(kaelcam->mtx.m[3][2], last.pos.z - CAMERA_BEHIND * std::cos(yaw), 1e-4f);
  // Looking at the head: the forward row points from the eye to it.
  const ZEVEC to = {last.pos.x - kaelcam->mtx.m[3][0], last.pos.y + CAMERA_HEAD - kaelcam->mtx.m[3][1],
                    last.pos.z - kaelcam->mtx.m[3][2]};
  const float len = std::sqrt(to.x * to.x + to.y * to.y + to.z * to.z);
  EXPECT_NEAR(kaelcam->mtx.m[2][0], to.x / len, 1e-4f);
  EXPECT_NEAR(kaelcam->mtx.m[2][1], to.y / len, 1e-4f);
  EXPECT_NEAR(kaelcam->mtx.m[2][2], to.z / len, 1e-4f);
}

// Back at the level's start, facing north, nothing held.
void AtStart() {
  const LevConLevel* level = LevConFindLevelByName("isletown");
  ClearMoves(1);
  SetPlayer(&level->StartPos, 0);
}

// At a point of the course with 3 hit points, the camera behind him and
// the stick's frame turned to his facing (yaw as a ZEANG, 0 north).
void At(float x, float z, int yaw = 0) {
  const ZEVEC at = {x, 0, z};
  ClearMoves(1);
  SetPlayer(&at, yaw);
  Player.hitpoints = 3;
  camang = yaw;
  ProcessCamera();
}
void AtHurtingFloor() { At(14, 13); }
void AtPullUp() { At(12, 8.5f); }
void AtHang() { At(17, 8.5f); }
void AtOpenGround() { At(17, 1); }
void AtPond() { At(18, 17, 0x4000); }
void AtKillingFloor() {
  At(17, 13);
  shieldpower = 100;  // the restart sets 300 again
}

constexpr float kDeckTop = 0.5f, kDeckEdge = 6.0f;

// Walking north at half stick the hero settles at the walk speed 0.072 x
// 40/128 a frame, keeps his line and height on the deck, and stops 0.3 short
// of its edge (within a frame's step), staying there.
void WalkCheck(const std::vector<HeroSwap>& trace) {
  constexpr float kWalk = 0.072f * 40 / 128;
  int moving = 0;
  for (size_t i = 10; i < trace.size(); i++) {
    const float dz = trace[i].pos.z - trace[i - 1].pos.z;
    EXPECT_NEAR(trace[i].pos.x, 12.0f, 1e-4f) << trace[i].swap;
    EXPECT_NEAR(trace[i].pos.y, kDeckTop, 0.002f) << trace[i].swap;
    if (dz > 0) {
      EXPECT_NEAR(dz, kWalk, 1e-4f) << trace[i].swap;
      moving++;
    }
  }
  EXPECT_GT(moving, 120);
  const float stop = trace.back().pos.z;
  EXPECT_GE(stop, kDeckEdge - 0.3f - kWalk);
  EXPECT_LE(stop, kDeckEdge - 0.3f + kWalk);
  EXPECT_EQ(trace[trace.size() - 20].pos.z, stop) << "stopped";
}

// Running north he goes over the edge and lands on the ground 0.5 below.
void RunCheck(const std::vector<HeroSwap>& trace) {
  const HeroSwap& last = trace.back();
  EXPECT_GT(last.pos.z, kDeckEdge + 2);
  EXPECT_NEAR(last.pos.y, 0.0f, 0.002f);
}

// Walking north, then the stick pushed east at running deflection: the mode
// changed, so the held direction (north) stays for the frame of the change
// and 3 more; the new one steers on the 4th frame after it.
void TurnCheck(const std::vector<HeroSwap>& trace) {
  const int change = 30;  // the first frame of the east stick, as an index
  for (int i = change; i < change + 4; i++) {
    EXPECT_LT(trace[i].pos.x - trace[i - 1].pos.x, 0.001f) << trace[i].swap;
    EXPECT_EQ(trace[i].yaw, trace[change - 1].yaw) << trace[i].swap;
  }
  EXPECT_GT(trace[change + 4].pos.x - trace[change + 3].pos.x, 0.005f);
  EXPECT_NE(trace[change + 4].yaw, trace[change - 1].yaw);
}

// The jump: 0.07 up, 0.003 less a frame (the first frame's rise already
// 0.003 short); the double jump in the air restarts the rise at 0.057; a
// third press in the air does nothing; he lands back on the deck.
void JumpCheck(const std::vector<HeroSwap>& trace) {
  auto rise = [&](size_t i) { return trace[i].pos.y - trace[i - 1].pos.y; };
  std::vector<size_t> takeoffs;
  for (size_t i = 1; i < trace.size(); i++) {
    if (rise(i) > 0.05f && rise(i) - rise(i - 1) > 0.02f) takeoffs.push_back(i);
  }
  ASSERT_EQ(takeoffs.size(), 3u) << "two jumps and one double jump";
  const size_t first = takeoffs[0], second = takeoffs[1], dbl = takeoffs[2];
  EXPECT_NEAR(rise(first), 0.07f - 0.003f, 1e-4f);
  EXPECT_NEAR(rise(second), 0.07f - 0.003f, 1e-4f);
  EXPECT_NEAR(rise(dbl), 0.057f - 0.003f, 1e-4f);
  for (size_t i = first + 1; i < first + 40; i++) EXPECT_NEAR(rise(i) - rise(i - 1), -0.003f, 1e-4f) << i;
  // After the double jump the speed only falls, the third press unheeded.
  for (size_t i = dbl + 1; i < dbl + 40; i++) EXPECT_NEAR(rise(i) - rise(i - 1), -0.003f, 1e-4f) << i;
  EXPECT_NEAR(trace[second - 1].pos.y, kDeckTop, 0.002f) << "landed between";
  EXPECT_NEAR(trace.back().pos.y, kDeckTop, 0.002f) << "landed";
}

// The first index of the trace where the hit points changed (or the size).
size_t FirstHit(const std::vector<HeroSwap>& trace) {
  size_t i = 1;
  while (i < trace.size() && trace[i].hitpoints == trace[i - 1].hitpoints) i++;
  return i;
}

// Walking onto the hurting floor: 3 hit points to 2 as he reaches it, hurt
// 30 and blinking 60, both counting down; while he blinks the floor under
// him hurts no more.
void HurtCheck(const std::vector<HeroSwap>& trace) {
  const size_t hit = FirstHit(trace);
  ASSERT_LT(hit, trace.size());
  EXPECT_EQ(hit, 42u) << "the hit at the row's 43rd frame, as the crops expect";
  EXPECT_EQ(trace[hit - 1].hitpoints, 3);
  EXPECT_GT(trace[hit].pos.z, 14.0f - PLAYER_RADIUS);
  EXPECT_EQ(trace[hit].hitpoints, 2);
  EXPECT_EQ(trace[hit].hurt, 30);
  EXPECT_EQ(trace[hit].flash, 60);
  for (size_t i = hit + 1; i < trace.size(); i++) {
    EXPECT_EQ(trace[i].hitpoints, 2) << trace[i].swap;
    EXPECT_EQ(trace[i].flash, std::max(0, 60 - int(i - hit))) << trace[i].swap;
    EXPECT_EQ(trace[i].hurt, std::max(0, 30 - int(i - hit))) << trace[i].swap;
  }
  EXPECT_GT(trace.back().pos.z, 14.5f) << "walking on over the floor";
}

// Walking onto the killing floor: no hit points left, exitgame 70 counting
// down a frame at a time (the first record already counted once) to 2; once
// faded out the replay loop restarts him (LifeLost) at the level's start
// with 3 hit points and 300 shield power.
void KillCheck(const std::vector<HeroSwap>& trace) {
  const size_t hit = FirstHit(trace);
  ASSERT_LT(hit, trace.size());
  EXPECT_EQ(trace[hit].hitpoints, -1);
  EXPECT_EQ(trace[hit].exit, 69);
  size_t i = hit + 1;
  for (; i < trace.size() && trace[i].exit > 2; i++) EXPECT_EQ(trace[i].exit, trace[i - 1].exit - 1);
  ASSERT_LT(i, trace.size());
  EXPECT_EQ(trace[i].exit, 2);
  while (i < trace.size() && trace[i].exit == 2) i++;
  ASSERT_LT(i, trace.size()) << "restarted";
  const LevConLevel* level = LevConFindLevelByName("isletown");
  EXPECT_EQ(trace[i].exit, 0);
  EXPECT_NEAR(trace[i].pos.x, level->StartPos.x, 1e-4f);
  EXPECT_NEAR(trace[i].pos.z, level->StartPos.z, 1e-4f);
  EXPECT_EQ(trace[i].yaw, 0);
  EXPECT_EQ(trace[i].hitpoints, 3);
  EXPECT_EQ(trace[i].shield, 300.0f);
  EXPECT_NEAR(trace.back().pos.y, kDeckTop, 0.002f) << "standing on the deck";
}

// Into the pond: he wades over the shelf at the walk speed, his feet on it
// (0.25 under), goes down the ramp until the water closes over him; with
// jump held he rises, at most 0.016 a frame, until his swimming height
// (0.384) is under the surface (at -0.05) and swims east along it; jump
// pressed there throws him out at 0.09 (less a frame's 0.003).
void SwimCheck(const std::vector<HeroSwap>& trace) {
  constexpr float kWater = -0.05f, kShelf = -0.25f;
  int wading = 0, swimming = 0;
  size_t i = 1;
  for (; i < trace.size(); i++) {
    const float dx = trace[i].pos.x - trace[i - 1].pos.x;
    if (std::fabs(trace[i].pos.y - kShelf) < 0.001f && trace[i].pos.x > 20.4f) {
      EXPECT_NEAR(dx, 0.072f * 40 / 128, 1e-4f) << trace[i].swap;
      wading++;
    }
    if (std::fabs(trace[i].pos.y - (kWater - PLAYER_SWIM_HEIGHT)) < 1e-4f) {
      EXPECT_GT(dx, 0.01f) << trace[i].swap;
      swimming++;
    }
    if (trace[i].pos.y - trace[i - 1].pos.y > 0.05f) break;
  }
  EXPECT_GT(wading, 20);
  EXPECT_GT(swimming, 40);
  ASSERT_LT(i, trace.size()) << "jumped out";
  EXPECT_NEAR(trace[i].pos.y - trace[i - 1].pos.y, 0.09f - 0.003f, 1e-4f);
  EXPECT_NEAR(trace[i - 1].pos.y, kWater - PLAYER_SWIM_HEIGHT, 1e-4f) << "from the surface";
  EXPECT_GT(trace.back().pos.y, kWater) << "out of the water";
}

constexpr float kLedgeTop = 1.0f, kLedgeFace = 10.0f, kHangBelow = 0.64f;

// Jumping at the pull-up ledge's face he grabs it (his feet near the ledge
// less 0.64, against the face), pulls up and hops over, and stands on top.
void ClimbCheck(const std::vector<HeroSwap>& trace) {
  size_t i = 0;
  while (i < trace.size() && !(trace[i].pos.y > 0.2f && trace[i].pos.y < kLedgeTop - kHangBelow + 0.01f &&
                               trace[i].pos.z > kLedgeFace - 0.4f && trace[i].pos.z < kLedgeFace))
    i++;
  ASSERT_LT(i, trace.size()) << "grabbed the ledge";
  while (i < trace.size() && trace[i].pos.y < kLedgeTop + 0.3f) i++;
  ASSERT_LT(i, trace.size()) << "pulled up over it";
  const HeroSwap& last = trace.back();
  EXPECT_NEAR(last.pos.y, kLedgeTop, 0.002f) << "standing on top";
  EXPECT_GT(last.pos.z, kLedgeFace + 0.3f);
}

// Jumping at the hanging ledge's face he hangs at the ledge less 0.64, 0.3
// from its face; the stick east shuffles him along it at 0.015 x 40/128 a
// frame; jump lets go of the hang point. (He falls back and grabs again.)
void HangCheck(const std::vector<HeroSwap>& trace) {
  constexpr float kHang = kLedgeTop - kHangBelow;
  const int still = 100, shuffle = 130, jump = 157;  // frames (as indices) in the script's parts
  for (int i = still - 5; i < jump; i++) {
    EXPECT_NEAR(trace[i].pos.y, kHang, 1e-4f) << trace[i].swap;
    EXPECT_NEAR(trace[i].pos.z, kLedgeFace - PLAYER_RADIUS, 0.02f) << trace[i].swap;  // easing in
  }
  EXPECT_NEAR(trace[still].pos.x, trace[still - 1].pos.x, 1e-4f) << "hanging still";
  EXPECT_NEAR(trace[shuffle].pos.x - trace[shuffle - 1].pos.x, 0.015f * 40 / 128, 2e-4f) << "shuffling east";
  EXPECT_GT(trace[jump + 4].pos.y, kHang + 0.05f) << "let go";
}

// Running, duck held: the knee-slide goes 0.16 a frame for two frames, then
// brakes by 0.003 a frame. The slam near a jump's top: 20 frames hanging still in the
// air, then 0.128 a frame down to the ground.
void FightCheck(const std::vector<HeroSwap>& trace) {
  auto dz = [&](size_t i) { return trace[i].pos.z - trace[i - 1].pos.z; };
  auto dy = [&](size_t i) { return trace[i].pos.y - trace[i - 1].pos.y; };
  size_t i = 1;
  while (i < trace.size() && dz(i) < 0.15f) i++;
  ASSERT_LT(i, trace.size()) << "slid";
  EXPECT_GE(i, 25u) << "not before duck";
  EXPECT_NEAR(dz(i), 0.16f, 1e-4f);
  EXPECT_NEAR(dz(i + 1), 0.16f, 1e-4f);
  for (size_t k = i + 2; k < i + 20; k++) EXPECT_NEAR(dz(k), dz(k - 1) - 0.003f, 1e-4f) << trace[k].swap;
  while (i < trace.size() && !(trace[i].pos.y > 0.5f && dy(i) == 0)) i++;
  ASSERT_LT(i + 21, trace.size()) << "slammed";
  for (size_t k = i; k < i + 20; k++) EXPECT_EQ(dy(k), 0.0f) << trace[k].swap;
  EXPECT_NEAR(dy(i + 20), -0.128f, 1e-4f);
  EXPECT_NEAR(trace.back().pos.y, 0.0f, 0.002f) << "down";
}

const HeroRow kRows[] = {
    {"stand", "stand.txt", 120, nullptr, StandCheck,
     {{60, 0, 176, 640, 48, Ref::None, 0, "the deck under the camera"},
      {60, 160, 100, 128, 100, Ref::Same, 120, "nothing moves on the course left of the hero"},
      {60, 352, 100, 128, 100, Ref::Same, 120, "nothing moves on the course right of the hero"},
      {60, 288, 100, 64, 84, Ref::Differs, 120, "the hero idling before the camera"},
      {60, 200, 0, 440, 24, Ref::Same, 120, "the sky right of the swinging pillar"}}},
    {"walk", "walk.txt", 200, AtStart, WalkCheck,
     {{100, 288, 100, 64, 84, Ref::Differs, 200, "the hero walking, unlike him standing at the edge"},
      {100, 160, 60, 128, 40, Ref::Differs, 200, "the course ahead closer: he moved"}}},
    {"run", "run.txt", 120, AtStart, RunCheck, {}},
    {"turn", "turn.txt", 40, AtStart, TurnCheck, {}},
    {"jump", "jump.txt", 148, AtStart, JumpCheck, {}},
    // Blinking, every third pair of frames undrawn: at frame 49 (blink 54)
    // the hero is not drawn, at 47 and 50 (56, 53) he is.
    {"hurt", "hurt.txt", 100, AtHurtingFloor, HurtCheck,
     {{49, 288, 100, 64, 84, Ref::Differs, 47, "the hero blinked out"},
      {50, 288, 100, 64, 84, Ref::Differs, 49, "the hero blinked back"}}},
    {"kill", "kill.txt", 300, AtKillingFloor, KillCheck, {}},
    {"climb", "climb.txt", 200, AtPullUp, ClimbCheck, {}},
    {"hang", "hang.txt", 199, AtHang, HangCheck,
     {{100, 288, 100, 64, 84, Ref::Differs, 20, "hanging, unlike walking"}}},
    {"fight", "fight.txt", 163, AtOpenGround, FightCheck, {}},
    {"swim", "swim.txt", 347, AtPond, SwimCheck,
     {{300, 288, 100, 64, 84, Ref::Differs, 100, "swimming, unlike wading"}}},
};

TEST_F(HeroRun, Rows) {
  for (const HeroRow& row : kRows) RunRow(row);
}

}  // namespace
