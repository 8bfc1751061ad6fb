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
};

// The hero as the trace records him: the one place that reads him.
HeroSwap HeroRecord(int swap) { return {swap, Player.cob.pos, Player.cob.roty}; }

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
  for (int f = 0; f < row.frames; f++) MainFrame();
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
// black sky, the same picture from swap to swap (but for the swinging
// pillar at the top left).
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

const HeroRow kRows[] = {
    {"stand", "stand.txt", 120, nullptr, StandCheck,
     {{60, 0, 176, 640, 48, Ref::None, 0, "the deck under the camera"},
      {60, 160, 120, 320, 100, Ref::Same, 120, "nothing moves on the course ahead"},
      {60, 200, 0, 440, 24, Ref::Same, 120, "the sky right of the swinging pillar"}}},
};

TEST_F(HeroRun, Rows) {
  for (const HeroRow& row : kRows) RunRow(row);
}

}  // namespace
