// The hero on a small test course written through the collision writer:
// pad input, placement, hits and the shield, the animation choice, and the
// moves (walk, run, drop, jumps, falls, ledges, swimming, knee slide, slam,
// shield, hurting floors, restart), the special moves and the sea chaser.
#include <cmath>

#include "game.h"
#include "player.h"
#include "support.h"
#include "terrain_test.h"

namespace {

// A quad with its outward normal as given (the corners' order is fixed up).
TerrWritePoly Face(ZEVEC a, ZEVEC b, ZEVEC c, ZEVEC d, ZEVEC out, uint8_t surface, uint8_t group = 0) {
  TerrWritePoly p = QPoly(a, b, c, d, surface, group);
  if (p.na.x * out.x + p.na.y * out.y + p.na.z * out.z < 0) p = QPoly(a, c, b, d, surface, group);
  return p;
}
std::vector<TerrWritePoly> Box(ZEVEC lo, ZEVEC hi, uint8_t surface) {
  const float x0 = lo.x, y0 = lo.y, z0 = lo.z, x1 = hi.x, y1 = hi.y, z1 = hi.z;
  return {Face({x0, y1, z0}, {x1, y1, z0}, {x0, y1, z1}, {x1, y1, z1}, {0, 1, 0}, surface),
          Face({x0, y0, z0}, {x1, y0, z0}, {x0, y1, z0}, {x1, y1, z0}, {0, 0, -1}, surface),
          Face({x0, y0, z1}, {x1, y0, z1}, {x0, y1, z1}, {x1, y1, z1}, {0, 0, 1}, surface),
          Face({x0, y0, z0}, {x0, y0, z1}, {x0, y1, z0}, {x0, y1, z1}, {-1, 0, 0}, surface),
          Face({x1, y0, z0}, {x1, y0, z1}, {x1, y1, z0}, {x1, y1, z1}, {1, 0, 0}, surface)};
}
TerrWritePoly Flat(float x0, float z0, float x1, float z1, float y, uint8_t surface, uint8_t group = 0) {
  return Face({x0, y, z0}, {x1, y, z0}, {x0, y, z1}, {x1, y, z1}, {0, 1, 0}, surface, group);
}

// The course: a yard at y 0 (x -10..10, z -10..10) with a drop of 1.0 past
// x 10; a pull-up block 1.0 high and a hanging block in the yard; floors of
// types 9, 12 and 8 beside it; a pond 3 deep with its water surface.
std::vector<TestItem> Course() {
  return {StaticItem({}, {Flat(-10, -10, 10, 10, 0, 0)}),
          StaticItem({}, {Flat(10, -10, 30, 10, -1.0f, 0)}),
          StaticItem({}, Box({-2, 0, 4}, {2, 1.0f, 6}, 0)),
          StaticItem({}, Box({5, 0, 4}, {9, 1.0f, 6}, 1)),
          StaticItem({}, {Flat(-20, -10, -10, -5, 0, 9)}),
          StaticItem({}, {Flat(-20, -5, -10, 0, 0, 12)}),
          StaticItem({}, {Flat(-20, 0, -10, 5, 0, 8)}),
          StaticItem({}, {Flat(-10, -30, 10, -10, -3.0f, 0), Flat(-10, -30, 10, -10, 0, 0, 1)})};
}

struct Hero : TerrainTest {
  ZEPAD* pad = nullptr;
  void SetUp() override {
    TerrainTest::SetUp();
    Write("course", Course());
    ASSERT_NE(Load("course"), nullptr);
    pad = static_cast<ZEPAD*>(EeMalloc(sizeof(ZEPAD)));
    memset(pad, 0, sizeof(ZEPAD));
    pad0 = pad;
    Stick(0, 0);
    memset(static_cast<void*>(&Player), 0, sizeof(Player));
    Player.hitpoints = 3;
    Player.lives = 9;
    shieldpower = 300;
    hitpoints_override = antidote_override = 0;
    num_pickups[ANTIDOTE] = ANTIDOTE_START;
    exitgame = 0, reset_level = 0, sealevel = 0, paused = 0;
    anamode2 = dirvalid = helddir = gdir = olddir = 0;
    jpad = jpadold = jpaddb = padoff = 0;
    fired = lasertype = atlason = 0;
    nomball = 1;
    squidon = swimfollow = squidpt = 0;
    squiddist = 600;
    camang = 0;
    Place({0, 0, 0}, 0);
  }
  void TearDown() override {
    pad0 = nullptr;
    EeFree(pad);
    InPot = nullptr;
    TerrainTest::TearDown();
  }
  void Place(ZEVEC at, int yaw) {
    SetPlayer(&at, yaw);
    Player.cob.flags = 0;
    Frames(2);  // settle on the ground
  }
  // The stick pushed along a yaw (0 ahead, 0x4000 right) by a deflection.
  void Stick(int yaw, int deflection) {
    pad->raw[6] = uint8_t(127 + int(std::lround(ZeTrigSin(yaw) * float(deflection))));
    pad->raw[7] = uint8_t(127 - int(std::lround(ZeTrigCos(yaw) * float(deflection))));
    pad->raw[4] = pad->raw[5] = 127;
  }
  void Buttons(uint32_t held) {
    pad->pressed = held & ~pad->buttons;
    pad->buttons = held;
  }
  void Frame() {
    MovePlayer(0, 1);
    pad->pressed = 0;
  }
  void Frames(int n) {
    for (int i = 0; i < n; i++) Frame();
  }
  const ZEVEC& Pos() { return Player.cob.pos; }
};

}  // namespace

TEST_F(Hero, GetPadDeadZonePowerHoldPadoffAim) {
  struct Case {
    int deflection, anamode;
    float gpower;
  };
  // Deflection 40 is inside the dead zone; 101 maps to 88.7 (walk, 40/128),
  // 102 to 90.2 (run).
  for (Case c : {Case{40, 0, 0.0f}, Case{41, 2, 40 / 128.0f}, Case{101, 2, 40 / 128.0f},
                 Case{102, 3, (102 - 40) * 128.0f / 88 / 128}, Case{127, 3, (127 - 40) * 128.0f / 88 / 128}}) {
    Stick(0, c.deflection);
    GetPad();
    EXPECT_EQ(anamode, c.anamode) << c.deflection;
    EXPECT_NEAR(gpower, c.gpower, 1e-5f) << c.deflection;
  }
  // The stick's direction-pad bits.
  Stick(0x4000, 120);
  GetPad();
  GetPad();
  GetPad();
  GetPad();
  GetPad();
  EXPECT_EQ(jpad & 0xf000, PAD_RIGHT);
  // A change of mode holds the old direction until the 4th frame of the new one.
  Stick(0, 0);
  GetPad();
  Stick(0, 60);
  GetPad();
  EXPECT_EQ(gdir, 0) << "the first direction at once";
  Stick(0x4000, 60);
  for (int f = 1; f <= 4; f++) {
    GetPad();
    EXPECT_EQ(gdir, f < 4 ? 0 : 0x4000) << f;
  }
  Stick(0, 120);  // walk to run: the mode changes, the direction is held again
  for (int f = 1; f <= 5; f++) {
    GetPad();
    EXPECT_EQ(gdir, f < 5 ? 0x4000 : 0) << f;
  }
  // padoff: only the mask's buttons, no stick.
  padoff = PAD_JUMP;
  Buttons(PAD_JUMP | PAD_FIRE);
  GetPad();
  EXPECT_EQ(jpad, PAD_JUMP);
  EXPECT_EQ(jpaddb, PAD_JUMP);
  EXPECT_EQ(gpower, 0);
  EXPECT_EQ(anamode, 0);
  padoff = 0;
  // Aim: a lower shoulder button with the stick deflected.
  Buttons(PAD_L2);
  blendrot = 1;
  GetPad();
  EXPECT_EQ(anamode, 1);
  EXPECT_EQ(blendrot, 12);
}

TEST_F(Hero, SetPlayerSnapsOnlyNearTheFloor) {
  ZEVEC at = {1, 0.05f, 1};
  SetPlayer(&at, 0x1234);
  EXPECT_NEAR(Pos().y, 0.0f, 1e-4f);
  EXPECT_EQ(Player.cob.roty, 0x1234);
  at = {1, 0.5f, 1};
  SetPlayer(&at, -0x2000);
  EXPECT_EQ(Pos().y, 0.5f);
  EXPECT_EQ(Player.moveyaw, -0x2000) << "facings are int16";
  EXPECT_EQ(pushpos.x, 99999.0f);
  EXPECT_EQ(dying, 99999.0f);
  EXPECT_EQ(waterlevel, 2000000.0f);
}

TEST_F(Hero, HitKinds) {
  // Hurts: 3 to 2, 1, 0, then death at 70; within the blink a hurt is
  // ignored, but the knockback comes first.
  HitPlayer(0, 1, nullptr);
  EXPECT_EQ(Player.hitpoints, 2);
  EXPECT_EQ(Player.hurt, 30);
  EXPECT_EQ(plrflash, 60);
  EXPECT_NEAR(Player.vel.z, 2.0f / 32, 1e-5f);
  Player.vel = {0, 0, 0};
  Player.hurt = 0;
  HitPlayer(0x4000, 1, nullptr);
  EXPECT_EQ(Player.hitpoints, 2) << "blinking";
  EXPECT_NEAR(Player.vel.x, 1.0f / 32, 1e-5f) << "knocked back all the same";
  for (int hp : {1, 0}) {
    Player.hurt = 0, plrflash = 0;
    HitPlayer(-1, 1, nullptr);
    EXPECT_EQ(Player.hitpoints, hp);
  }
  Player.hurt = 0, plrflash = 0;
  HitPlayer(-1, 1, nullptr);
  EXPECT_EQ(Player.hitpoints, -1);
  EXPECT_EQ(exitgame, 70);
  EXPECT_EQ(Player.lives, 9) << "lives never count down";

  // Kind 4 dies at 190; kind 8 too; kind 9 takes its exit code from the yaw.
  struct Case {
    int kind, yaw, exit;
  };
  for (Case c : {Case{4, -1, 190}, Case{8, -1, 190}, Case{9, -2, 2}, Case{3, -1, 70}, Case{2, -1, 70}}) {
    exitgame = 0, Player.hitpoints = 0, Player.hurt = 0, plrflash = 0;
    HitPlayer(c.yaw, c.kind, nullptr);
    EXPECT_EQ(exitgame, c.exit) << c.kind;
    EXPECT_EQ(Player.hitpoints, -1) << c.kind;
  }
  // A kind outside 0-9 does nothing.
  exitgame = 0, Player.hitpoints = 3, Player.vel = {0, 0, 0};
  HitPlayer(0, 12, nullptr);
  EXPECT_EQ(Player.hitpoints, 3);
  EXPECT_EQ(Player.vel.z, 0);
  // Invulnerable: every kind is a stun.
  Player.invuln = 10;
  HitPlayer(-1, 3, nullptr);
  EXPECT_EQ(exitgame, 0);
  EXPECT_EQ(Player.hurt, -30);
  Player.invuln = 0, Player.hurt = 0;
  // hitpoints_override: knocked back and blinking, no hit point taken.
  hitpoints_override = 1;
  HitPlayer(-1, 1, nullptr);
  EXPECT_EQ(Player.hitpoints, 3);
  EXPECT_EQ(plrflash, 60);
  hitpoints_override = 0;
  // The drain acts in the hurt window -29..0, 60 frames apart.
  Player.hurt = 0, plrflash = 0, shieldpower = 100;
  HitPlayer(-1, 5, nullptr);
  EXPECT_EQ(shieldpower, 70);
  EXPECT_EQ(Player.hurt, -60);
  HitPlayer(-1, 7, nullptr);
  EXPECT_EQ(shieldpower, 70) << "outside the window";
  Player.hurt = -29;
  HitPlayer(-1, 7, nullptr);
  EXPECT_EQ(shieldpower, 40);
  // A death with no lives left restores 9 and restarts the level.
  exitgame = 0, Player.hitpoints = 0, Player.lives = 0, Player.hurt = 0, plrflash = 0;
  HitPlayer(-1, 1, nullptr);
  EXPECT_EQ(Player.lives, 9);
  EXPECT_EQ(reset_level, 1);
}

TEST_F(Hero, ShieldFrontAndBehind) {
  Player.cob.roty = 0;
  shieldstatus = 0;
  EXPECT_EQ(CheckShield(0x8000), 0);
  shieldstatus = 1;
  EXPECT_EQ(CheckShield(0x8000), 1) << "travelling toward the face: from the front";
  EXPECT_EQ(CheckShield(0x1000), 0) << "from behind";
  shieldstatus = 2;
  EXPECT_EQ(CheckShield(0x1000), 1);
  Pot pot{};
  InPot = &pot;
  EXPECT_EQ(CheckShield(0), 2);
  InPot = nullptr;
  // Stopped: the hit becomes a drain.
  shieldstatus = 1, shieldpower = 100, Player.hurt = 0;
  HitPlayerShield(0x8000, 1);
  EXPECT_EQ(Player.hitpoints, 3);
  EXPECT_EQ(shieldpower, 70);
}

TEST_F(Hero, AnimationStateToSlot) {
  struct Case {
    const char* name;
    void (*set)();
    int slot, mode;
  };
  const Case cases[] = {
      {"idle", [] {}, PA_IDLE, 0},
      {"walk", [] { anamode = 2; }, PA_WALK, 2},
      {"run", [] { anamode = 3, jog = 5, Player.fspeed = 0.1f; }, PA_RUN, 2},
      {"shield walk", [] { anamode = 2, powershield = 5; }, PA_SWALK, 2},
      {"hurt", [] { Player.hurt = 10; }, PA_HIT, 1},
      {"hurt behind", [] { Player.hurt = 10, plrhitdir = 1; }, PA_HITB, 1},
      {"duck", [] { movemode = 1; }, PA_CRIDLE, 1},
      {"duck walk", [] { movemode = 1, anamode = 2; }, PA_CWALK, 1},
      {"knee slide", [] { kneeslide = 190, Player.fspeed = 0.1f; }, PA_SLIDE, 1},
      {"slam", [] { slam = 90, slamtype = 1; }, PA_BSLAM, 1},
      {"powered slam lands", [] { slam = -10, slamtype = 2; }, PA_SLAND, 1},
      {"hang", [] { climb = -1; }, PA_LIDLE, 0},
      {"shuffle left", [] { climb = -1, jpad = PAD_LEFT; }, PA_LCRAWLL, 0},
      {"pull up", [] { climb = 40; }, PA_LGRAB, 1},
      {"swim deep", [] { movemode = 2, waterlevel = 2; }, PA_SWIM, 0},
      {"tread", [] { movemode = 2, waterlevel = 0.3f; }, PA_FLOAT, 0},
      {"dying", [] { exitgame = 50; }, PA_DIE, 1},
      {"jump up", [] { Player.grace = 0, Player.jumpstate = 1, Player.vel.y = 0.05f; }, PA_JUMPU, 1},
      {"jump down", [] { Player.grace = 0, Player.jumpstate = 3, Player.vel.y = -0.05f, jumpdouble = 2, jumptype = 1; },
       PA_JUMPD2, 1},
      {"double jump", [] { Player.grace = 0, Player.jumpstate = 1, Player.vel.y = 0.05f, jumpdouble = 2; }, PA_DJUMP, 1},
      {"wade", [] { anamode = 2, lastslow = 0.024f; }, PA_WADE, 2},
  };
  for (const Case& c : cases) {
    Place({0, 0, 0}, 0);
    anamode = 0, jog = 0, powershield = 0, shieldscale = 0, movemode = 0, kneeslide = 0, slam = 0, climb = 0;
    exitgame = 0, jpad = 0, plrhitdir = 0, jumpdouble = 0, jumptype = 0, lastslow = 0, moveidle = 1000;
    idleanim = -1, idlecount = 0, waterlevel = TERR_NO_HEIGHT;
    Player.grace = 8, Player.hurt = 0, Player.fspeed = 0, Player.vel = {0, 0, 0}, Player.jumpstate = 0;
    c.set();
    AnimPlayer();
    EXPECT_EQ(plranim, c.slot) << c.name;
    EXPECT_EQ(plranimmode, c.mode) << c.name;
  }
}

TEST_F(Hero, WalkSettlesRunsStopShortOfTheDrop) {
  Place({5, 0, 0}, 0x4000);
  Stick(0x4000, 80);  // walk toward the drop at x 10
  Frames(40);
  EXPECT_NEAR(Player.fspeed, 0.072f * 40 / 128, 1e-5f);
  Frames(400);
  EXPECT_GT(Pos().x, 9.3f);
  EXPECT_LT(Pos().x, 10.0f) << "0.3 short of the edge";
  EXPECT_NEAR(Pos().y, 0, 0.02f);
  Stick(0x4000, 127);  // a run goes over
  Frames(100);
  EXPECT_GT(Pos().x, 10.5f);
  EXPECT_LT(Pos().y, -0.9f);
}

TEST_F(Hero, JumpAndDoubleJump) {
  Buttons(PAD_JUMP);
  Frame();
  EXPECT_NEAR(Player.vel.y, 0.07f - 0.003f, 1e-6f);
  EXPECT_EQ(Player.jumpstate, 1);
  float last = Player.vel.y;
  for (int f = 0; f < 5; f++) {
    Frame();
    EXPECT_NEAR(Player.vel.y, last - 0.003f, 1e-5f);
    last = Player.vel.y;
  }
  Buttons(0);
  Frame();
  EXPECT_EQ(Player.jumpstate, 2);
  Buttons(PAD_JUMP);
  Frame();
  EXPECT_NEAR(Player.vel.y, 0.057f - 0.003f, 1e-6f) << "a second jump while rising";
  EXPECT_EQ(jumpdouble, 2);
  Buttons(0);
  Frame();
  Buttons(PAD_JUMP);
  Frame();
  EXPECT_EQ(Player.jumpstate, 3) << "one double jump";
  EXPECT_LT(Player.vel.y, 0.05f);
  Buttons(0);
  Frames(120);
  EXPECT_EQ(Player.jumpstate, 0);
  EXPECT_NEAR(Pos().y, 0, 0.02f);
  // A second jump while falling gives 0.04.
  Buttons(PAD_JUMP);
  Frame();
  Buttons(0);
  while (Player.vel.y > 0) Frame();
  Buttons(PAD_JUMP);
  Frame();
  EXPECT_NEAR(Player.vel.y, 0.04f - 0.003f, 1e-6f);
}

TEST_F(Hero, LongFallLandsHard) {
  Place({0, 40, 0}, 0);
  int frames = 0;
  while (falling != 800 && frames < 400) Frame(), frames++;
  EXPECT_EQ(falling, 800);
  EXPECT_EQ(Player.vel.y, FALL_CAP);
  while (falling == 800 && frames < 2000) Frame(), frames++;
  EXPECT_EQ(falling, -70) << "landed hard";
  EXPECT_EQ(Player.vel.x, 0);
  EXPECT_NEAR(Pos().y, 0, 0.03f);
}

TEST_F(Hero, LedgeGrabPullUpAndHang) {
  // Against the pull-up block's face (z 4), jump with the stick forward.
  Place({0, 0, 3.0f}, 0);
  Stick(0, 60);
  Frames(30);
  Buttons(PAD_JUMP);
  int f = 0;
  while (climb == 0 && f < 60) Frame(), f++;
  ASSERT_EQ(climb, 50);
  for (; climb > 38; Frame()) EXPECT_EQ(Player.vel.x, 0);
  Buttons(0);
  EXPECT_NEAR(Player.vel.y, 0.09f - 0.003f, 1e-5f) << "the hop";
  Frames(60);
  EXPECT_NEAR(Pos().y, 1.0f, 0.03f) << "on top";
  EXPECT_GT(Pos().z, 4.0f);

  // The hanging block: grab, shuffle right at 0.015 x gpower, let go on jump.
  Place({7, 0, 3.0f}, 0);
  Stick(0, 60);
  Frames(30);
  Buttons(PAD_JUMP);
  f = 0;
  while (climb == 0 && f < 60) Frame(), f++;
  ASSERT_EQ(climb, -1);
  Buttons(0);
  Stick(0x4000, 60);
  Frames(20);
  const float x0 = Pos().x;
  Frames(20);
  EXPECT_NEAR(Player.fspeed, 0.015f * 40 / 128, 1e-5f);
  EXPECT_GT(Pos().x, x0 + 0.05f);
  EXPECT_NEAR(Pos().y, 1.0f - 0.64f, 1e-4f);
  Stick(0, 0);
  Buttons(PAD_JUMP);
  Frame();
  EXPECT_EQ(climb, 0);
}

TEST_F(Hero, SwimWadeAndJumpOut) {
  Place({0, 0, -9.5f}, 0x8000);
  Stick(0x8000, 127);
  Frames(20);
  EXPECT_EQ(movemode, 0);
  // The pond's edge: the floor ends at z -10 and drops 3 under the water.
  Frames(200);
  EXPECT_EQ(movemode, 2);
  EXPECT_FLOAT_EQ(Player.height, 0.384f);
  EXPECT_EQ(waterlevel, 0.0f);
  // Rise with jump held to the surface.
  Buttons(PAD_JUMP);
  Frames(200);
  EXPECT_NEAR(Pos().y + Player.height, 0.0f, 0.02f);
}

TEST_F(Hero, KneeSlideSlamAndShield) {
  Place({-5, 0, -5}, 0);
  Stick(0, 127);
  Frames(30);
  Buttons(PAD_DUCK);
  Frame();
  EXPECT_EQ(kneeslide, 199);
  Frame();
  EXPECT_NEAR(Player.fspeed, 0.16f, 1e-5f);
  EXPECT_FLOAT_EQ(Player.height, 0.384f);
  Buttons(0);
  Stick(0, 0);
  Frames(300);

  // The slam: hangs 20 frames at the top, then falls at 0.128.
  Buttons(PAD_JUMP);
  Frames(10);
  Buttons(PAD_JUMP | PAD_ACTION);
  Frame();
  EXPECT_EQ(slam, 100);
  Buttons(0);
  const float top = Pos().y;
  for (int f = 0; f < 19; f++) Frame();
  EXPECT_NEAR(Pos().y, top, 1e-4f);
  Frame();
  Frame();
  EXPECT_FLOAT_EQ(Player.vel.y, -0.128f);
  Frames(60);
  EXPECT_EQ(slam, 0);
  EXPECT_NEAR(Pos().y, 0, 0.03f);

  // The powered shield on the action button grows to 2.0.
  Frames(10);
  Buttons(PAD_ACTION);
  Frames(30);
  EXPECT_GT(powershield, 0);
  EXPECT_FLOAT_EQ(shieldscale, 2.0f);
  Buttons(0);
  Frames(60);
  EXPECT_EQ(powershield, 0);
  EXPECT_FLOAT_EQ(shieldscale, 0.0f);
}

TEST_F(Hero, FloorsHurtKillAndRestart) {
  Place({-15, 0, -7.5f}, 0);  // floor 9
  Frame();
  EXPECT_EQ(Player.hitpoints, 2);
  EXPECT_EQ(Player.hurt, 28) << "hurt on the first frame there";
  EXPECT_EQ(plrflash, 58);
  Place({-15, 0, -2.5f}, 0);  // floor 12
  Frame();
  EXPECT_EQ(Player.hitpoints, -1);
  EXPECT_EQ(exitgame, 70);
  Frames(5);
  EXPECT_EQ(Player.hitpoints, -1) << "kept while dying";
  // The frame loop counts exitgame down; then LifeLost restarts at the start.
  playerstartpos = {1, 0, 1};
  playerstartang = 0x2000;
  Player.checkpoint = nullptr;
  shieldpower = 10;
  LifeLost();
  EXPECT_EQ(Player.hitpoints, 3);
  EXPECT_EQ(shieldpower, 300);
  EXPECT_EQ(exitgame, 0);
  EXPECT_EQ(Pos().x, 1);
  EXPECT_EQ(Player.cob.roty, 0x2000);
  EXPECT_EQ(Player.lives, 9);
}

TEST_F(Hero, PotActions) {
  Pot pot{};
  pot.pos = Pos();
  pot.type = 3;
  pot.yaw = 0x4000;
  InPot = &pot;
  potlock = 1.0f;
  // Glass pot: the glass shield, then out of the pot.
  PotPlayer[3].action = 0;
  shieldpower = 10;
  Frame();
  EXPECT_EQ(glass_enabled, 1);
  EXPECT_EQ(shieldpower, 60);
  EXPECT_EQ(InPot, nullptr);
  // Launch pot: the jump button throws the hero along the pot's z axis.
  PotPlayer[3].action = 2;
  InPot = &pot;
  ZeMtxSetIdentity(&InPotMtx);
  InPotMtx.m[2][1] = 0.6f, InPotMtx.m[2][2] = 0.8f;  // aimed up and ahead
  Frame();
  EXPECT_EQ(pot.counter, 256);
  Buttons(PAD_JUMP);
  Frame();
  EXPECT_EQ(launch, 1);
  EXPECT_EQ(LastPot, &pot);
  // Cannon pot: the action button fires at the strength's speed.
  Buttons(0);
  Place({0, 0, 0}, 0);
  PotPlayer[3] = {4, 1, 1, 0};
  InPot = &pot;
  Buttons(PAD_ACTION);
  Frame();
  EXPECT_EQ(launch, 2);
  EXPECT_EQ(Player.cob.roty, 0x4000) << "a fixed direction faces the pot's yaw";
  EXPECT_EQ(shieldpower, 0);
  PotPlayer[3] = {-1, 0, 0, 0};
  InPot = nullptr;
}

TEST_F(Hero, SeaChaserCatchesTheSwimmer) {
  sealevel = 0.5f;
  movemode = 2;
  Player.onground[0] = Player.onground[1] = 0;
  waterlevel = sealevel;
  SwimTrap();
  EXPECT_EQ(swimfollow, 1);
  EXPECT_EQ(squiddist, 600);
  EXPECT_NEAR(Squid.pos.y, sealevel - 4.0f, 1e-5f);
  // Far from the chaser the trail is laid; 600 frames later it catches.
  Player.cob.pos = {Squid.pos.x + 50, 0, Squid.pos.z};
  Player.onground[0] = Player.onground[1] = 0;
  int frames = 0;
  while (exitgame == 0 && frames < 700) {
    movemode = 2, waterlevel = sealevel;
    Player.cob.pos.x += 1.0f;  // swims away faster than it follows
    SwimTrap();
    frames++;
  }
  EXPECT_NEAR(frames, 600, 3);
  EXPECT_EQ(exitgame, 70);
  // Within 0.5 it catches at once.
  exitgame = 0, Player.hitpoints = 3, swimfollow = 2, squiddist = 300;
  Squid.pos = Player.cob.pos;
  for (ZEVEC& t : squidtrail) t = Player.cob.pos;
  SwimTrap();
  EXPECT_EQ(exitgame, 70);
  // The trail's wrap stays at least one point as the distance runs out.
  exitgame = 0, Player.hitpoints = 3, swimfollow = 2, squiddist = 5, squidpt = 0;
  movemode = 0;
  SwimTrap();
  EXPECT_EQ(squidpt, 0);
  EXPECT_EQ(squiddist, 4);
}

TEST_F(Hero, SupportHelpers) {
  EXPECT_EQ(AngDiff(0x1000, 0xf000), 0x2000);
  EXPECT_EQ(AngDiff(0xf000, 0x1000), -0x2000);
  EXPECT_EQ(AngDiff(0x8000, 0), -0x8000);
  int v = 70;
  Clamp(&v, 50);
  EXPECT_EQ(v, 50);
  float f = -3;
  ClampF(&f, 2);
  EXPECT_EQ(f, -2);
  ZEVEC out = {0, 7, 0};
  FastRotateX(0x4000, &out, 2);
  EXPECT_NEAR(out.x, 2, 1e-4f);
  EXPECT_EQ(out.y, 7);
  FastRotateXY(0, 0x4000, &out, 1);
  EXPECT_NEAR(out.z, 1, 1e-4f);
  EXPECT_NEAR(out.y, 0, 1e-4f);
  const ZEVEC delta = {3, 1, 4};
  ZEVEC vel;
  const int n = TargetShot(&delta, &vel, 0.01f, 1.0f);
  EXPECT_EQ(n, 5);
  EXPECT_NEAR(vel.x, 3.0f / 5, 1e-6f);
  EXPECT_NEAR(vel.y, 1.0f / 5 - 0.01f * 5 / 2, 1e-6f);
  memset(frames, 0, sizeof frames);
  paused = 0;
  for (int i = 0; i < 130; i++) IncFrames();
  EXPECT_EQ(frames[2], 0);
  EXPECT_EQ(frames[3], 130 % 3);
  EXPECT_EQ(frames[12], 2);
  paused = 1;
  IncFrames();
  EXPECT_EQ(frames[12], 2);
  paused = 0;
}
