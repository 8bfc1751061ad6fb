// Scene runtime: instance animation (loop, reverse, extra frames, delay),
// wind sway, drawing and visibility bits, the budgeted cross-fade, specials
// and their attributes, the ring of extension copies, splines, texture
// animations and the animation library in a scene file.
#include "aniwrite.h"
#include "zegscn_test.h"

#include <cmath>

namespace {

// An animation of node 0 whose x translation is the frame number (keys at
// 1 and end, tangent 1).
ZEANIMDATA* LinearAnim(int end, std::vector<void*>* blocks) {
  AniDesc d;
  d.end = float(end);
  AniNode n;
  n.name = "n";
  n.flags = ZEANIMNODE_ROT | ZEANIMNODE_TRANS | ZEANIMNODE_SCALE;
  n.channels.resize(ZEANIM_SLOTS);
  n.channels[0].type = ZEANIMKEYTYPE_HERMITE;
  n.channels[0].keys = {{1, 1, 1, true}, {end, float(end), 1, true}};
  for (int s = 6; s < 9; s++) n.channels[size_t(s)].constant = 1;
  d.nodes = {n};
  std::string error;
  const std::vector<uint8_t> image = AniBuildV1(d, &error);
  EXPECT_FALSE(image.empty()) << error;
  auto* buf = static_cast<uint8_t*>(EeMalloc(image.size() + 16));
  blocks->push_back(buf);
  auto* at = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(buf) + 15) & ~uintptr_t(15));
  memcpy(at, image.data(), image.size());
  ZEANIMFILEHDR h;
  memcpy(&h, at, sizeof h);
  return ZeAnimDataFixPtrs(uint32_t(h.record), int(EeAddrOf(at) - uint32_t(h.base)));
}

struct GscnRt : Scene {
  SceneDesc desc;
  std::vector<void*> anims;
  void SetUp() override {
    Scene::SetUp();
    SceneMaterial plain;
    plain.vtxcol = 1;
    desc.materials = {plain};
    SceneObject quad;
    quad.geoms = {Square(0, 2, 0xff4080c0)};
    desc.objects = {quad, quad, quad};
    desc.anims = {LinearAnim(10, &anims)};
    for (int i = 0; i < 4; i++) {
      SceneInstance in;
      in.object = i % 3;
      in.mtx = Translation(float(i), 0, 2);
      desc.instances.push_back(in);
    }
    desc.instances[3].mtx = Translation(5, 0, 2);
    desc.specials = {{"Door_A", 3}, {"door_b", 1}, {"Lamp", 2}};
    desc.splines = {{"Track_1", {{0, 0, 0}, {10, 0, 0}}}, {"track_2", {{5, 5, 5}}}, {"Track_3", {}}, {"Other", {}}};
  }
  void TearDown() override {
    SceneDescFree(&desc);
    for (void* b : anims) EeFree(b);
    Scene::TearDown();
  }
  ZEGSCENE* Build() { return Load(Make(desc)); }
  // Instance 0 animated with these record fields.
  ZEGSCENE* Animated(float time, uint32_t flags, float extra = 0, float delay = 0) {
    desc.instances[0].animated = true;
    desc.instances[0].anim = {};
    desc.instances[0].anim.rate = 1;
    desc.instances[0].anim.time = time;
    desc.instances[0].anim.flags = flags;
    desc.instances[0].anim.extra = extra;
    desc.instances[0].anim.delay = delay;
    return Build();
  }
};

}  // namespace

TEST_F(GscnRt, TheLibraryLoadsAndPosesAtTheChosenFrame) {
  ZEGSCENE* s = Animated(4, ZEGSCNANIM_PLAYING);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->nanimlib, 1);
  ASSERT_NE(s->animlib[0].get(), nullptr);
  EXPECT_EQ(s->animlib[0]->end, 10.0f);
  ZeGScnUpdate(s, 1.0f);
  const ZEGSCNINSTANIM& a = *s->insts[0].anim;
  EXPECT_EQ(a.time, 5.0f);
  // x = frame, moved by the instance's translation (0, 0, 2).
  EXPECT_NEAR(a.mtx.m[3][0], 5.0f, 1e-4f);
  EXPECT_NEAR(a.mtx.m[3][2], 2.0f, 1e-4f);
}

TEST_F(GscnRt, LoopReverseExtraAndStop) {
  const struct {
    float time;
    uint32_t flags;
    float extra;
    float time_after, frame;
    bool playing;
  } cases[] = {
      {9.5f, ZEGSCNANIM_PLAYING | ZEGSCNANIM_LOOP, 0, 1.5f, 1.5f, true},   // 10.5 wraps to 1.5
      {9.5f, ZEGSCNANIM_PLAYING, 0, 10.0f, 10.0f, false},                  // stops at the end
      {2.0f, ZEGSCNANIM_PLAYING | ZEGSCNANIM_REVERSE, 0, 3.0f, 8.0f, true},  // frame 10 + 1 - 3
      {11.0f, ZEGSCNANIM_PLAYING, 5, 12.0f, 10.0f, true},                  // extra frames hold the last
      {14.0f, ZEGSCNANIM_PLAYING, 5, 10.0f, 10.0f, false},                 // and end at 15
      {6.0f, 0, 0, 6.0f, 6.0f, false},                                     // not playing: posed where it is
  };
  for (const auto& c : cases) {
    ZEGSCENE* s = Animated(c.time, c.flags, c.extra);
    ASSERT_NE(s, nullptr);
    ZeGScnUpdate(s, 1.0f);
    const ZEGSCNINSTANIM& a = *s->insts[0].anim;
    EXPECT_FLOAT_EQ(a.time, c.time_after) << c.time;
    EXPECT_NEAR(a.mtx.m[3][0], c.frame, 0.02f) << c.time;  // the end frame evaluates just short of it
    EXPECT_EQ((a.flags & ZEGSCNANIM_PLAYING) != 0, c.playing) << c.time;
    ZeGScnRemove(s);
    loaded.clear();
  }
}

TEST_F(GscnRt, AWaitingInstanceIsPosedAtItsFirstFrame) {
  ZEGSCENE* s = Animated(0, ZEGSCNANIM_PLAYING | ZEGSCNANIM_WAITING, 0, 30);
  ASSERT_NE(s, nullptr);
  ZEGSCNINSTANIM& a = *s->insts[0].anim;
  for (int i = 0; i < 29; i++) ZeGScnUpdate(s, 1.0f);
  EXPECT_TRUE(a.flags & ZEGSCNANIM_WAITING);
  EXPECT_EQ(a.time, 29.0f);
  EXPECT_NEAR(a.mtx.m[3][0], 1.0f, 1e-4f);  // frame 1, not another instance's frame
  ZeGScnUpdate(s, 1.5f);                    // reaches 30.5: frame 1.5
  EXPECT_FALSE(a.flags & ZEGSCNANIM_WAITING);
  EXPECT_FLOAT_EQ(a.time, 1.5f);
  EXPECT_NEAR(a.mtx.m[3][0], 1.5f, 1e-4f);
}

TEST_F(GscnRt, HiddenAndCulledInstancesDoNotAdvance) {
  ZEGSCENE* s = Animated(2, ZEGSCNANIM_PLAYING);
  ASSERT_NE(s, nullptr);
  ZEGSCNINST& in = s->insts[0];
  in.flags &= ~ZEGSCNINST_SEEN;
  ZeGScnUpdate(s, 1.0f);
  EXPECT_EQ(in.anim->time, 2.0f);
  in.flags |= ZEGSCNINST_NOCULL;
  ZeGScnUpdate(s, 1.0f);
  EXPECT_EQ(in.anim->time, 3.0f);
  in.flags &= ~ZEGSCNINST_SHOWN;
  ZeGScnUpdate(s, 1.0f);
  EXPECT_EQ(in.anim->time, 3.0f);
}

TEST_F(GscnRt, WindSwayLeavesTheSharedGeneratorAlone) {
  ZEGSCNINST a = {}, b = {};
  a.wind_amplitude = b.wind_amplitude = 30000;
  a.wind_speed = 1000;
  b.wind_speed = -1000;
  ZeRandSeed(12345);
  float ax, az, bx, bz;
  ZeGScnInstWind(&ax, &az, &a);
  ZeGScnInstWind(&bx, &bz, &b);
  EXPECT_EQ(ZeRandReadSeed(), 12345);
  // The phase is the shared generator's first number after seeding with the speed.
  ZeRandSeed(1000);
  const float phase = ZeRandFloat() * 3.142f * 2.0f;
  const float t = float(uint32_t(ZeRndrGlobalFrameCount())) * (1000.0f / 65535.0f) + phase;
  const float amp = 30000.0f / 65535.0f;
  EXPECT_NEAR(ax, amp * (std::sin(t) + 0.5f * std::sin(2.1f * t) + 0.25f * std::sin(4.2f * t)), 2e-3f);
  EXPECT_NEAR(az, amp * (std::cos(1.1f * t) + 0.5f * std::cos(2.3f * t) + 0.25f * std::cos(4.4f * t)), 2e-3f);
  EXPECT_NE(ax, bx);
}

TEST_F(GscnRt, FindSpecialsAndSplines) {
  ZEGSCENE* s = Build();
  ASSERT_NE(s, nullptr);
  ZESPECIAL h = {}, untouched = {};
  EXPECT_EQ(ZeSpecialFind(s, &h, "DOOR_a"), 1);
  EXPECT_EQ(h.obj.get(), s->specs.get());
  EXPECT_EQ(h.scene.get(), s);
  EXPECT_EQ(ZeSpecialFind(s, &untouched, "door"), 0);
  EXPECT_EQ(untouched.obj.get(), nullptr);
  ZESPECIAL many[3] = {};
  EXPECT_EQ(ZeSpecialFindMulti(s, many, "DOOR"), 2);
  EXPECT_EQ(many[1].obj.get(), s->specs + 1);
  EXPECT_EQ(many[2].obj.get(), nullptr);
  EXPECT_EQ(ZeSpecialFindMulti(s, many + 2, "none"), 0);
  EXPECT_EQ(many[2].obj.get(), nullptr);
  EXPECT_EQ(ZeSplineFind(s, "TRACK_2"), s->splines + 1);
  EXPECT_EQ(ZeSplineFind(s, "track"), nullptr);
  EXPECT_EQ(ZeSplineFind(nullptr, "track_2"), nullptr);
  ZESPLINE* found[4] = {};
  const struct {
    int n, expect;
  } subs[] = {{0, 0}, {-1, 0}, {1, 1}, {2, 2}, {4, 3}};
  for (const auto& c : subs) EXPECT_EQ(ZeSplineFindAllSub(s, "TRACK", found, c.n), c.expect) << c.n;
  EXPECT_EQ(found[2], s->splines + 2);
}

TEST_F(GscnRt, RandomSplinePoints) {
  ZEGSCENE* s = Build();
  ASSERT_NE(s, nullptr);
  ZEVEC p = {-1, -1, -1};
  EXPECT_EQ(ZeSplineGetRandomPoint(s->splines + 1, &p), 1);
  EXPECT_EQ(p.x, 5.0f);
  EXPECT_EQ(p.z, 5.0f);
  ZEVEC q = {-1, -1, -1};
  EXPECT_EQ(ZeSplineGetRandomPoint(s->splines + 2, &q), 0);
  EXPECT_EQ(q.x, -1.0f);
  srand(7);
  for (int i = 0; i < 50; i++) {
    ASSERT_EQ(ZeSplineGetRandomPoint(s->splines, &p), 1);
    EXPECT_TRUE(p.x >= 0.0f && p.x <= 10.0f && p.y == 0.0f);
  }
}

TEST_F(GscnRt, TheExtensionRingFillsAndIsReused) {
  ZEGSCENE* s = Build();
  ASSERT_NE(s, nullptr);
  ZESPECIAL src, out = {};
  ASSERT_EQ(ZeSpecialFind(s, &src, "lamp"), 1);
  EXPECT_EQ(ZeExtSpecialDuplicate(&out, &src), 0);  // no slots
  EXPECT_EQ(out.obj.get(), nullptr);
  auto* slots = static_cast<ZESPECIALOBJ*>(EeMalloc(3 * sizeof(ZESPECIALOBJ)));
  buffers.push_back(slots);
  ZeGScnAddExt(s, 3, slots);
  ZESPECIAL copies[3];
  for (auto& c : copies) EXPECT_EQ(ZeExtSpecialDuplicate(&c, &src), 1);
  EXPECT_EQ(copies[0].obj.get(), slots + 1);
  EXPECT_EQ(copies[2].obj.get(), slots + 0);
  EXPECT_EQ(slots[1].flags & 3, 3u);
  EXPECT_EQ(slots[1].inst.get(), s->insts + 2);
  ZESPECIAL full = {};
  EXPECT_EQ(ZeExtSpecialDuplicate(&full, &src), 0);
  EXPECT_EQ(full.obj.get(), nullptr);
  ZeExtSpecialDelete(&copies[1]);
  EXPECT_EQ(ZeExtSpecialDuplicate(&full, &src), 1);
  EXPECT_EQ(full.obj.get(), copies[1].obj.get());
  // A copy's own matrix counts: moving it leaves the instance.
  ZEVEC to = {9, 9, 9};
  ZeSpecialSetAttr(&full, ZESPA_POS, &to, ZESPA_END);
  ZEVEC p;
  ZeSpecialGetPos(&full, &p);
  EXPECT_EQ(p.x, 9.0f);
  EXPECT_EQ(s->insts[2].mtx.m[3][0], 2.0f);
}

TEST_F(GscnRt, SpecialAttributes) {
  ZEGSCENE* s = Build();
  ASSERT_NE(s, nullptr);
  ZESPECIAL h;
  ASSERT_EQ(ZeSpecialFind(s, &h, "door_a"), 1);  // instance 3 at (5, 0, 2)
  ZEGSCNINST& in = s->insts[3];
  ZeSpecialSetAttr(&h, ZESPA_ROT_X, 0x4000, ZESPA_END);
  EXPECT_EQ(in.mtx.m[3][0], 5.0f);
  EXPECT_EQ(in.mtx.m[3][2], 2.0f);
  EXPECT_NEAR(in.mtx.m[1][2], 1.0f, 1e-6f);
  ZeSpecialSetAttr(&h, ZESPA_VISIBLE, 0, ZESPA_END);
  EXPECT_FALSE(in.flags & ZEGSCNINST_SHOWN);
  const ZEVEC v = {1, 2, 3}, sc = {2, 2, 2};
  ZeSpecialSetAttr(&h, ZESPA_VISIBLE, 1, ZESPA_MTX_STORED, ZESPA_TRANSLATE, &v, ZESPA_SCALE, &sc, ZESPA_END);
  EXPECT_TRUE(in.flags & ZEGSCNINST_SHOWN);
  EXPECT_EQ(in.mtx.m[0][0], 2.0f);
  EXPECT_EQ(in.mtx.m[3][0], 12.0f);  // every row scaled, translation too
  ZeSpecialSetAttr(&h, ZESPA_SCALE_SET, &sc, ZESPA_POS_STORED, 99, ZESPA_POS, &v);  // 99 ends the list
  EXPECT_EQ(in.mtx.m[3][0], 5.0f);
  EXPECT_EQ(in.mtx.m[1][1], 2.0f);
  ZEMTX m;
  ZeSpecialGetMtx(&h, &m);
  EXPECT_EQ(memcmp(&m, &in.mtx, sizeof m), 0);
}

TEST_F(GscnRt, DrawingStoresVisibilityBits) {
  desc.instances[1].mtx = Translation(0, 0, -30);  // behind the camera
  desc.instances[2].flags = 0;                        // hidden
  ZEGSCENE* s = Build();
  ASSERT_NE(s, nullptr);
  for (int i = 0; i < 4; i++) s->insts[i].flags |= ZEGSCNINST_DRAWN;
  Frame([&] { ZeGScnRndr3(s); });
  EXPECT_TRUE(s->insts[0].flags & ZEGSCNINST_DRAWN);
  EXPECT_FALSE(s->insts[1].flags & ZEGSCNINST_DRAWN);
  EXPECT_TRUE(s->insts[2].flags & ZEGSCNINST_DRAWN);  // not drawn: left as it was
  ZESPECIAL h;
  ASSERT_EQ(ZeSpecialFind(s, &h, "door_b"), 1);
  const ZEMTX at = Translation(0, 0, 0);
  int r = 0;
  Frame([&] { r = ZeSpecialDrawAt(&h, &at); });
  EXPECT_NE(r, 0);
}

TEST_F(GscnRt, CrossFadesSpendTheirBudgetAndResumeInsideAnObject) {
  zegscn_generate_colourref = 1;
  // Two runs of 4 colours an object (one a geometry).
  for (SceneObject& o : desc.objects) o.geoms.push_back(Square(0, 1, 0xff102030));
  ZEGSCENE* s = Build();
  ASSERT_NE(s, nullptr);
  ASSERT_NE(s->gobjs[0]->colourref.get(), nullptr);
  // Setting the current target (0) does nothing.
  ZeGSceneSetCrossFade(s, 0, 2);
  EXPECT_EQ(s->fadeactive, 0);
  ZeGSceneSetCrossFade(s, 200, 3);  // a run at least a frame
  EXPECT_EQ(s->fadeactive, 1);
  EXPECT_EQ(s->fadestop, 0);
  ZeGSceneProcessCrossFade(s);
  EXPECT_EQ(s->fadeindex, 0);
  EXPECT_NE(s->faderesume.get(), nullptr);  // resumes inside the first object
  ZeGSceneSetCrossFade(s, 200, 50);          // the same target: nothing changes
  EXPECT_EQ(s->fadebudget, 3);
  int frames = 1;
  while (s->fadeactive && frames < 20) {
    ZeGSceneProcessCrossFade(s);
    frames++;
  }
  EXPECT_EQ(s->fadeactive, 0);
  EXPECT_EQ(s->fadeindex, 0);
  EXPECT_EQ(frames, 6);  // six runs, one a frame
  // A new target while nothing runs starts where the last fade stopped.
  ZeGSceneSetCrossFade(s, 10, 100);
  ZeGSceneProcessCrossFade(s);
  EXPECT_EQ(s->fadeactive, 0);
}

TEST_F(GscnRt, TextureAnimationsAreRegisteredAndRemoved) {
  desc.textures = {SceneTexture(16, 16), SceneTexture(16, 16, ZETEX_RGB16)};
  desc.materials[0].texture = 0;
  desc.texanims = {{"Sign", "flicker", 0, 0, {1, 0, 1}}};
  ZEGSCENE* s = Build();
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->ntexanim, 1);
  const ZETEXANIM& t = s->texanims[0];
  EXPECT_STREQ(t.name.get(), "sign");
  EXPECT_EQ(t.ntex, 3);
  EXPECT_EQ(t.texids[0], s->texids[1]);
  EXPECT_EQ(t.texids[1], s->texids[0]);
  EXPECT_EQ(t.mtl.get(), s->mtls[0].get());
  ASSERT_NE(t.env.get(), nullptr);
  EXPECT_EQ(EeAddrOf(t.env.get()) % 16, 0u);
  bool listed = false;
  for (ZETEXANIMLIST* n = ztal_first; n; n = n->next) listed |= n->chain.get() == s->texanims.get();
  EXPECT_TRUE(listed);
  ZeGScnRemove(s);
  loaded.clear();
  for (ZETEXANIMLIST* n = ztal_first; n; n = n->next) EXPECT_NE(n->chain.get(), &t);
}

TEST_F(GscnRt, AnAnimationIndexOutsideTheLibraryIsRefused) {
  desc.instances[0].animated = true;
  desc.instances[0].anim.anim = 3;
  const std::vector<uint8_t> f = Make(desc);
  Put("A.GSC", f);
  char* end;
  char* pos = Buffer(f.size() * 2 + 65536, &end);
  EXPECT_SCENE_HALT(ZeGScnRead(&pos, end, "A.GSC"), "instance 0 names animation 3 of 1");
}
