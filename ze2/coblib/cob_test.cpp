// Cobs and locators: SetAnim's flags and blends, rates, limits and
// loop-back, events while playing and paused, the draw queue, locator
// requests and matrices, the shared matrices running short, joint-override
// pools, collision and debris.
#include <cmath>

#include "coblib_test.h"

namespace {

// What the callbacks saw, in order.
struct Seen {
  int locator;
  int flags;
  const void* data;
  ZEMTX mtx, mtx2;
};
Seen g_seen[256];
int g_nseen;

void Record(LOCATORINFO* info) {
  if (g_nseen < 256) g_seen[g_nseen++] = {info->locator, info->flags, info->data, info->mtx, info->mtx2};
}

constexpr int kIdle = 0, kWalk = 1, kRun = 2, kMissing = 3;
constexpr int kHandL = 0, kFootL = 2;

struct Table {
  EePtr<const char> list[16];
  COBANIMPARAM tab[4];
  COBANIMEVENT fx[8];
  COBINFO info[1];
  float speed;
};

struct Cobs : Chars {
  Table* t = nullptr;
  static COB cobs[70];

  void SetUp() override {
    Chars::SetUp();
    Animation("IDLE.ANI", 30);
    Animation("WALK.ANI", 30);
    t = static_cast<Table*>(ZeMemAlloc(sizeof(Table)));
    memset(t, 0, sizeof *t);
    const char* names[] = {"torva\\rest.ghg", "torva\\idle.ani", nullptr, "torva\\walk.ani", nullptr,
                           "torva\\walk.ani", nullptr, "torva\\walk.ani", nullptr, nullptr};
    for (int i = 0; i < 10; i++) t->list[i] = names[i];
    // rate, limit, blendin, blendout, priority, endaction (loop-back << 24 | end value), gameflags
    t->tab[kIdle] = {1.0f, 0, 0.5f, 0.25f, 0, 1 << 24 | 7, 0};
    t->tab[kWalk] = {1.0f, 0, 0.2f, 0.1f, 1, 1 << 24 | 9, 0};
    t->tab[kRun] = {-28.5f, 0, 0, 0, 2, 0, 0};
    t->tab[kMissing] = {1.0f, 0, 0, 0, 0, 0, 0};
    t->info[0] = {t->list, t->tab, 0.0f, t->fx, 0.5f, 1.0f, 0, 4.0f, 0};
    InitCobs(t->info);
    static char* global;
    char* end;
    global = OwnerBuffer(&end);
    AddCobTypeSetMemoryPointers(&global, end, nullptr, nullptr, "test");
    AddCobType(0);
    // A file that failed to load leaves its entry empty.
    InstAnimData2Destroy(cobtypes[0].anims[kMissing]);
    cobtypes[0].anims[kMissing] = nullptr;
    memset(cobs, 0, sizeof cobs);
    g_nseen = 0;
  }
  void TearDown() override {
    for (COB& c : cobs)
      if (c.type) RemoveCob(&c);
    CloseCobs();
    ZeMemFree(t);
    Chars::TearDown();
  }
  void Event(int row, int anim, float start, float end, int locator) {
    t->fx[row] = {Record, row, 0, anim, start, end, locator};
  }
  // Ticks the cob n times; the number of events served.
  int Ticks(COB* c, int n) {
    for (int i = 0; i < n; i++) {
      ProcessAnimCob(c);
      AddCob(c);
      DrawCobs(&zemtx_identity);
    }
    return g_nseen;
  }
};
COB Cobs::cobs[70];

TEST_F(Cobs, SetAnimFlagsAndBlends) {
  COB* c = &cobs[0];
  InitCob(c, 0);
  EXPECT_EQ(c->blend, 1.0f);
  EXPECT_EQ(c->layers[1], -1);
  EXPECT_EQ(SetAnim(c, kIdle, 0), 0) << "already playing";
  EXPECT_EQ(SetAnim(c, kWalk, 0), 1);
  EXPECT_EQ(c->prevanim, kIdle);
  EXPECT_FLOAT_EQ(c->blendstep, (1.0f / 60.0f) / 0.2f) << "higher priority: its blend-in";
  // During a blend: refused without force, unchanged.
  const COB before = *c;
  EXPECT_EQ(SetAnim(c, kIdle, 0), 0);
  EXPECT_EQ(memcmp(&before, c, sizeof *c), 0);
  // Forced at blend 0.3: still mostly idle, so the blend runs from idle.
  for (int i = 0; i < 4; i++) ProcessAnimCob(c);  // 4 x 1/12
  EXPECT_LT(c->blend, 0.5f);
  const float idleFrame = c->frame[1 - c->slot];
  EXPECT_EQ(SetAnim(c, kRun, SETANIM_FORCE), 1);
  EXPECT_EQ(c->prevanim, kIdle);
  EXPECT_EQ(c->frame[1 - c->slot], idleFrame);
  EXPECT_EQ(c->blend, 0.0f);
  EXPECT_EQ(c->frame[c->slot], 1.0f);
  EXPECT_EQ(c->blendstep, 1.0f) << "run's blend-in is 0: immediate";
  // Lower priority: the previous animation's blend-out.
  ProcessAnimCob(c);
  EXPECT_EQ(SetAnim(c, kWalk, 0), 1);
  EXPECT_EQ(c->blendstep, 1.0f);
  ProcessAnimCob(c);
  EXPECT_EQ(SetAnim(c, kIdle, 0), 1);
  EXPECT_FLOAT_EQ(c->blendstep, (1.0f / 60.0f) / 0.1f);
  // Restart: the same animation again from 1.0, blending from itself.
  for (int i = 0; i < 10; i++) ProcessAnimCob(c);
  EXPECT_EQ(SetAnim(c, kIdle, SETANIM_RESTART), 1);
  EXPECT_EQ(c->anim, kIdle);
  EXPECT_EQ(c->prevanim, kIdle);
  EXPECT_EQ(c->frame[c->slot], 1.0f);
  // Keep phase: the frame taken over, wrapped into the new range.
  for (int i = 0; i < 60; i++) ProcessAnimCob(c);
  c->frame[c->slot] = 45.0f;
  EXPECT_EQ(SetAnim(c, kWalk, SETANIM_KEEPPHASE), 1);
  EXPECT_FLOAT_EQ(c->frame[c->slot], 45.0f - 29.0f);
  // Indices outside 0-63 and past the type's list are refused.
  for (int bad : {-1, 4, 64, 1000}) EXPECT_EQ(SetAnim(c, bad, SETANIM_FORCE | SETANIM_RESTART), 0) << bad;
}

TEST_F(Cobs, RatesLimitsAndLoopBack) {
  struct Case {
    float rate, limit, speed, advance;
  } cases[] = {
      {-28.5f, 0, 0.1f, 1.14f},   // follows the speed: 2.85 x 24 / 60
      {-28.5f, 2, -0.1f, 0.8f},   // capped at 2, the speed's sign ignored
      {1.0f, -3, 0, 1.2f},        // raised to 3
      {1.0f, 0.5f, 0, 0.2f},      // capped at 0.5
      {-10.0f, 0, 0, 0.0f},
  };
  COB* c = &cobs[0];
  for (const Case& k : cases) {
    t->tab[kRun].rate = k.rate;
    t->tab[kRun].limit = k.limit;
    t->speed = k.speed;
    InitCob(c, 0);
    SetAnim(c, kRun, 0);
    SetRate(c, &t->speed);
    ProcessAnimCob(c);
    EXPECT_NEAR(c->frame[c->slot], 1.0f + k.advance, 1e-5f) << k.rate << " " << k.limit;
    RemoveCob(c);
  }
  // Loop-back at frame 1 of a 30-frame animation: 29.8 + 0.4 = 30.2 -> 1.2,
  // the end value on that tick only; holding at the end without loop-back.
  InitCob(c, 0);
  c->frame[c->slot] = 29.8f;
  ProcessAnimCob(c);
  EXPECT_NEAR(c->frame[c->slot], 1.2f, 1e-5f);
  EXPECT_EQ(c->endresult, 7);
  ProcessAnimCob(c);
  EXPECT_EQ(c->endresult, 0);
  t->tab[kIdle].endaction = 5;
  c->frame[c->slot] = 29.8f;
  ProcessAnimCob(c);
  EXPECT_EQ(c->frame[c->slot], 30.0f);
  EXPECT_EQ(c->endresult, 5);
  // A missing animation runs on without an end.
  EXPECT_EQ(SetAnim(c, kMissing, SETANIM_FORCE), 1);
  for (int i = 0; i < 100; i++) ProcessAnimCob(c);
  EXPECT_NEAR(c->frame[c->slot], 41.0f, 1e-3f);
  EXPECT_EQ(c->endresult, 0);
}

TEST_F(Cobs, EventsFireFromTheCurrentSlotOnly) {
  Event(0, kIdle, 1.0f, 0.0f, -1);   // once, at the loop's wrap
  Event(1, kWalk, 5.0f, 5.0f, -1);   // every tick
  Event(2, -1, 2.0f, 3.0f, kFootL);  // a window, any animation
  COB* c = &cobs[0];
  InitCob(c, 0);
  SetAnim(c, kIdle, SETANIM_RESTART);
  // Frames 1.4, 1.8, ...: not on the first tick from exactly 1.0.
  EXPECT_EQ(Ticks(c, 1), 0);
  // The window 2 <= f < 3 holds frames 2.2, 2.6 (ticks 3 and 4).
  EXPECT_EQ(Ticks(c, 4), 2);
  EXPECT_EQ(g_seen[0].data, &t->fx[2]);
  EXPECT_EQ(g_seen[0].locator, kFootL);
  // Up to the wrap (29 / 0.4 = 72.5 ticks from 1.0): one firing at it.
  g_nseen = 0;
  int wraps = 0;
  for (int i = 0; i < 80; i++) {
    const float before = c->frame[c->slot];
    Ticks(c, 1);
    if (c->frame[c->slot] < before) wraps++;
  }
  int once = 0, window = 0;
  for (int i = 0; i < g_nseen; i++) (g_seen[i].data == &t->fx[0] ? once : window)++;
  EXPECT_EQ(wraps, 1);
  EXPECT_EQ(once, 1);
  EXPECT_EQ(window, 2) << "the window again after the wrap";
  // Blending to walk: idle fading out fires nothing; walk's every-tick row fires.
  SetAnim(c, kWalk, 0);
  g_nseen = 0;
  Ticks(c, 3);
  int rows[3] = {};
  for (int i = 0; i < g_nseen; i++) rows[static_cast<const COBANIMEVENT*>(g_seen[i].data) - t->fx]++;
  EXPECT_EQ(rows[0], 0);
  EXPECT_EQ(rows[1], 3);
  EXPECT_EQ(rows[2], 1) << "walk at 2.2 is in the any-animation window";
  // Paused: the same window on every call; a one-shot whose start lay in
  // the last tick's window fires again each time.
  SetAnim(c, kIdle, SETANIM_FORCE | SETANIM_RESTART);
  Ticks(c, 2);  // 1.0 -> 1.4 -> 1.8
  c->prevframe = 0.9f;  // as after the loop's wrap to 1.2
  g_nseen = 0;
  for (int i = 0; i < 3; i++) {
    ProcessAnimCobPaused(c);
    AddCob(c);
    DrawCobs(&zemtx_identity);
  }
  EXPECT_EQ(g_nseen, 3);
}

TEST_F(Cobs, InitCobLoadsATypeNotLoadedAndDumpPosAppends) {
  CloseCobs();
  ConsoleCaptureScope console;
  errmsg_disabled = 0;
  InitCob(&cobs[0], 0);
  EXPECT_NE(console.text().find("Warning - InitCob request for uninitialised cobtype"), std::string::npos);
  EXPECT_EQ(cobtypes[0].usecount, 1);
  EXPECT_EQ(cobs[0].type.get(), &cobtypes[0]);
  EXPECT_EQ(cobs[0].flags, uint32_t(COB_ANIMATED));
  const ZEVEC a = {1, 2.5f, -3}, b = {0.25f, 0, 10};
  DumpPos(&a);
  DumpPos(&b);
  const std::vector<uint8_t> bytes = Get("PLAYER.POS");
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
            "\t{ CMD_GOTOABS, {1.00,2.50,-3.00 } },\r\n\t{ CMD_GOTOABS, {0.25,0.00,10.00 } },\r\n");
}

TEST_F(Cobs, CheckAnimFrameWaitsForATick) {
  COB* c = &cobs[0];
  InitCob(c, 0);
  SetAnim(c, kWalk, 0);
  EXPECT_EQ(CheckAnimFrame(c, kWalk, 1.0f), 0);
  EXPECT_EQ(CheckAnimFrame(c, kWalk, 1.2f), 0);
  ProcessAnimCob(c);
  EXPECT_EQ(CheckAnimFrame(c, kWalk, 1.2f), 1);
  EXPECT_EQ(CheckAnimFrame(c, kWalk, 1.0f), 0) << "prevframe < frame";
  EXPECT_EQ(CheckAnimFrame(c, kWalk, 1.5f), 0);
  EXPECT_EQ(CheckAnimFrame(c, kIdle, 1.2f), 0);
}

TEST_F(Cobs, AddCobBuildsTheMatrixAndQueuesAtMost256) {
  COB* c = &cobs[0];
  InitCob(c, 0);
  t->info[0].scale = 0;
  c->pos = {1, 2, 3};
  c->rotx = 0x1000;
  c->roty = 0x2000;
  c->rotz = 0x0800;
  AddCob(c);
  ZEMTX want, r;
  ZeMtxSetRotationY(&want, 0x2000 + 0x8000);
  ZeMtxSetRotationZ(&r, 0x0800);
  ZeMtxMul(&want, &want, &r);
  ZeMtxSetRotationX(&r, 0x1000);
  ZeMtxMul(&want, &want, &r);
  ZeMtxMul(&want, &want, &zemtx_identity);
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) EXPECT_NEAR(c->mtx.m[i][j], want.m[i][j], 1e-5f) << i << j;
  EXPECT_EQ(c->mtx.m[3][0], 1.0f);
  EXPECT_EQ(c->mtx.m[3][2], 3.0f);
  c->flags |= 2;  // the owner builds it
  c->mtx.m[3][0] = 9.0f;
  for (int i = 1; i < 300; i++) AddCob(c);
  EXPECT_EQ(c->mtx.m[3][0], 9.0f);
  EXPECT_EQ(cobpt, 256);
  EXPECT_EQ(DrawCobs(&zemtx_identity), 256);
  EXPECT_EQ(cobpt, 0);
  COB empty = {};
  AddCob(&empty);  // no type: ignored
  EXPECT_EQ(cobpt, 0);
}

// ---- locators ---------------------------------------------------------------------------------

TEST_F(Cobs, RequestsAreServedInOrderAfterPosing) {
  COB* c = &cobs[0];
  InitCob(c, 0);
  c->pos = {5, 0, 0};
  // Before any draw: identity locators, so a pure translation to the cob.
  AddCob(c);
  ZEMTX m;
  GetCobMatrix(c, kHandL, &m);
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 4; j++) EXPECT_EQ(m.m[i][j], i == j ? 1.0f : 0.0f);
  EXPECT_EQ(m.m[3][0], 5.0f);
  static int tag1, tag2;
  RequestLocator(kHandL, c, Record, &tag1);
  RequestLocator(-1, c, Record, nullptr);
  RequestLocator(kHandL, c, Record, &tag2);
  RequestLocator(200, c, Record, nullptr);  // an id the model does not have
  EXPECT_EQ(DrawCobs(&zemtx_identity), 1);
  ASSERT_EQ(g_nseen, 4);
  EXPECT_EQ(g_seen[0].data, &tag1);
  EXPECT_EQ(g_seen[2].data, &tag2);
  EXPECT_EQ(memcmp(&g_seen[0].mtx, &g_seen[2].mtx, 64), 0);
  EXPECT_EQ(memcmp(&g_seen[1].mtx, &c->mtx, 64), 0);
  EXPECT_EQ(memcmp(&g_seen[1].mtx2, &c->mtx, 64), 0);
  EXPECT_EQ(memcmp(&g_seen[3].mtx, &c->mtx, 64), 0) << "unknown id: the cob's own matrix";
  EXPECT_EQ(g_seen[0].mtx.m[0][3], 0.0f);
  EXPECT_EQ(g_seen[0].flags, 0);
  // The hand at rest: wrist of the left arm, x mirrored by the half turn.
  EXPECT_NEAR(g_seen[0].mtx.m[3][0], 5.0f - 0.1f, 1e-4f);
  EXPECT_NEAR(g_seen[0].mtx.m[3][1], 0.33333f + 0.1f + 0.1f - 0.01667f - 0.11667f, 1e-4f);
  // Moved without a draw: the old pose at the new position.
  GetCobMatrix(c, kHandL, &m);
  c->pos = {5, 0, 7};
  AddCob(c);
  ZEMTX moved;
  GetCobMatrix(c, kHandL, &moved);
  EXPECT_NEAR(moved.m[3][2] - m.m[3][2], 7.0f, 1e-5f);
  EXPECT_NEAR(moved.m[3][0], m.m[3][0], 1e-5f);
  cobpt = 0;
}

TEST_F(Cobs, TheRequestTableHolds128AndImageCobsAreStillServed) {
  COB* c = &cobs[0];
  InitCob(c, 0);
  for (int i = 0; i < 130; i++) RequestLocator(kHandL, c, Record, nullptr);
  EXPECT_EQ(locpt, 128);
  // Shown as an image: not drawn, served from its last draw.
  c->tbr = 1;
  c->tbrresult = 2;
  AddCob(c);
  EXPECT_EQ(DrawCobs(&zemtx_identity), 0);
  EXPECT_EQ(g_nseen, 128);
  EXPECT_EQ(g_seen[0].flags, LOCINFO_LASTDRAW);
  EXPECT_EQ(locpt, 0);
}

TEST_F(Cobs, RequestsOfACobNotQueuedDoNotLeakIntoTheNextFrame) {
  COB* a = &cobs[0];
  COB* b = &cobs[1];
  InitCob(a, 0);
  InitCob(b, 0);
  static int tagA, tagB;
  RequestLocator(-1, a, Record, &tagA);  // a is never queued
  DrawCobs(&zemtx_identity);
  RequestLocator(-1, b, Record, &tagB);  // takes a's old table entry
  RequestLocator(-1, a, Record, &tagA);
  AddCob(b);
  DrawCobs(&zemtx_identity);
  ASSERT_EQ(g_nseen, 1);
  EXPECT_EQ(g_seen[0].data, &tagB);
}

TEST_F(Cobs, LocatorMatricesRunningShortAndFreedTwice) {
  // Nine points each: 28 cobs take 252 of the 256 matrices, and the 29th
  // finds too few.
  constexpr int kFit = 256 / 9;
  for (int i = 0; i < kFit; i++) {
    InitCob(&cobs[i], 0);
    ASSERT_NE(cobs[i].loc, 0) << i;
  }
  EXPECT_EQ(freeloc, kFit * 9 + 1);
  ConsoleCaptureScope console;
  errmsg_disabled = 0;
  InitCob(&cobs[kFit], 0);
  EXPECT_EQ(cobs[kFit].loc, 0);
  EXPECT_NE(console.text().find("out of locator matrices"), std::string::npos);
  // A cob without matrices is still served, with its own matrix.
  RequestLocator(kHandL, &cobs[kFit], Record, nullptr);
  AddCob(&cobs[kFit]);
  DrawCobs(&zemtx_identity);
  EXPECT_EQ(g_nseen, 1);
  // Freed twice, the chains stay whole: every matrix can be taken again.
  FreeCobLocs(&cobs[3]);
  FreeCobLocs(&cobs[3]);
  EXPECT_EQ(cobs[3].loc, 0);
  for (int i = 0; i < kFit; i++) RemoveCob(&cobs[i]);
  RemoveCob(&cobs[kFit]);
  int free = 0;
  for (int i = freeloc; i >= 1 && i <= 256 && free <= 256; i = -int(locmtx[i - 1].m[0][3])) free++;
  EXPECT_EQ(free, 256);
  for (int i = 0; i < kFit; i++) {
    InitCob(&cobs[i], 0);
    ASSERT_NE(cobs[i].loc, 0) << i;
  }
}

// ---- joint overrides --------------------------------------------------------------------------

TEST_F(Cobs, JointOverridePoolsAndPersistence) {
  COB *a = &cobs[0], *b = &cobs[1], *p = &cobs[2];
  InitCob(a, 0);
  InitCob(b, 0);
  InitCob(p, 0);
  EXPECT_EQ(CobAddJointAnims(a, 64, 0), 1);
  ConsoleCaptureScope console;
  errmsg_disabled = 0;
  EXPECT_EQ(CobAddJointAnims(b, 1, 0), 0);
  EXPECT_NE(console.text().find("CobAddJointAnims:request failed, need to expand ZEJOINTANIM_POOLSIZE"), std::string::npos);
  EXPECT_EQ(b->jointanims.get(), nullptr);
  EXPECT_HALT(CobAddJointAnims(a, 1, 0), "Calling CobAddJointAnims twice for same cob.");
  a->jointanims[0].rot.x = 0.5f;
  CobJointAnimStartFrame();
  EXPECT_EQ(a->jointanims.get(), nullptr);
  EXPECT_EQ(a->njointanims, 0);
  // Persistent: the values the game last wrote, step after step.
  EXPECT_EQ(CobAddJointAnims(p, 2, 1), 1);
  p->jointanims[1].rot.y = 0.25f;
  for (int step = 0; step < 3; step++) {
    CobJointAnimStartFrame();
    ASSERT_NE(p->jointanims.get(), nullptr);
    EXPECT_EQ(p->jointanims[1].rot.y, 0.25f);
    EXPECT_EQ(p->njointanims, 2);
  }
  // A non-persistent one reads zeros at the next step.
  EXPECT_EQ(CobAddJointAnims(a, 3, 0), 1);
  EXPECT_EQ(a->jointanims[0].rot.x, 0.0f);
  // Removing a cob drops it from the list.
  RemoveCob(p);
  CobJointAnimStartFrame();
  EXPECT_EQ(p->jointanims.get(), nullptr);
  // The 65th cob of a step, even asking for none, is refused.
  for (int i = 3; i < 68; i++) InitCob(&cobs[i], 0);
  int granted = 0;
  for (int i = 3; i < 68; i++) granted += CobAddJointAnims(&cobs[i], 0, 0);
  EXPECT_EQ(granted, 64);
}

// ---- collision and debris ---------------------------------------------------------------------

TEST_F(Cobs, CollisionAgainstThePosedSpheres) {
  COB* c = &cobs[0];
  InitCob(c, 0);
  c->pos = {0, 0, 0};
  AddCob(c);
  cobpt = 0;
  struct Case {
    ZEVEC centre;
    float radius;
    int hit;
  } spheres[] = {
      {{0, 0.3333f, 0}, 0.01f, 1},        // inside the hips' sphere
      {{0, 0.3333f + 0.2f, 0}, 0.0667f, 0},  // between hips and head
      {{0, 0.7667f, 0.0f}, 0.0167f, 1},   // the head's sphere (0.0533 above the head joint)
      {{1, 0.3333f, 0}, 0.3333f, 0},
  };
  for (const Case& k : spheres) EXPECT_EQ(CobHierarchyToSphere(c, &k.centre, k.radius), k.hit) << k.centre.y;
  const ZEVEC a = {-5, 0.3333f, 0}, b = {5, 0.3333f, 0}, a2 = {-5, 0.5667f, 0}, b2 = {5, 0.5667f, 0};
  EXPECT_EQ(CobHierarchyToLine(c, &a, &b, 0.01f), 1);
  EXPECT_EQ(CobHierarchyToLine(c, &a2, &b2, 0.01f), 0);
  // Without collision data every test touches.
  EePtr<ZEHGOBJCOLL> saved = c->type->hgobj->collision;
  c->type->hgobj->collision = nullptr;
  EXPECT_EQ(CobHierarchyToSphere(c, &a, 0.0f), 1);
  c->type->hgobj->collision = saved;
}

int g_particles;
int g_byShape[512];

void CountParticle(int, const ZEVEC* p, int count, int16_t, int16_t) {
  g_particles += count;
  // Shape i is an ellipsoid of radius 0.001 at x = i / 100.
  const int i = int(std::lround(p->x * 100.0f));
  if (i >= 0 && i < 512) g_byShape[i]++;
}

TEST_F(Cobs, DebrisUsesTheFirst256VisibleShapes) {
  // A bare model: one joint, 300 ellipsoids in two shadow records, the
  // tenth hidden; its box in view of the test camera.
  auto* shapes = Block<ZESHADELLIPSE>(sizeof(ZESHADELLIPSE) * 300);
  for (int i = 0; i < 300; i++) {
    ZESHADELLIPSE& e = shapes[i];
    e.centre[0] = float(i) / 100.0f;
    e.axis1[0] = e.axis2[1] = e.axis3[2] = 0.001f;
  }
  uint32_t hidden;
  memcpy(&hidden, &shapes[10].centre[1], 4);
  hidden |= 2;
  memcpy(&shapes[10].centre[1], &hidden, 4);
  auto* recs = Block<ZEHGOBJSHADOW>(sizeof(ZEHGOBJSHADOW) * 3);
  recs[0] = {shapes, nullptr, nullptr, 200, 0, 0, 0};
  recs[1] = {shapes + 200, nullptr, nullptr, 100, 0, 0, 0};
  recs[2].joint = ZEHGOBJ_NOJOINT;
  auto* model = Block<ZEHGOBJ>(sizeof(ZEHGOBJ));
  model->shadows = recs;
  model->njoint = 1;
  model->boxmin = {-1, -1, -1};
  model->boxmax = {4, 1, 1};
  ZEMTX joints[1];
  ZeMtxSetIdentity(&joints[0]);
  cob_debris.AddVariableShotDebrisEffect = CountParticle;
  g_particles = 0;
  memset(g_byShape, 0, sizeof g_byShape);
  EXPECT_EQ(ZeHGobjRndrAddDeb(model, &zemtx_identity, joints, 5000, 3), 1);
  EXPECT_EQ(g_particles, 5000);
  EXPECT_EQ(g_byShape[10], 0) << "hidden";
  int beyond = 0, used = 0;
  for (int i = 0; i < 300; i++) (i > 256 ? beyond : used) += g_byShape[i];
  EXPECT_EQ(beyond, 0) << "only the first 256 visible shapes (0-256 without 10) take a share";
  EXPECT_GT(g_byShape[256], 0);
  // No-debris flag, out of view, no callback.
  model->noshadows = 1;
  EXPECT_EQ(ZeHGobjRndrAddDeb(model, &zemtx_identity, joints, 10, 3), 1);
  model->noshadows = 0;
  ZEMTX away = zemtx_identity;
  away.m[3][2] = -100.0f;
  EXPECT_EQ(ZeHGobjRndrAddDeb(model, &away, joints, 10, 3), 0);
  cob_debris = {};
  EXPECT_EQ(ZeHGobjRndrAddDeb(model, &zemtx_identity, joints, 10, 3), 1);
  EXPECT_EQ(g_particles, 5000);
}

}  // namespace
