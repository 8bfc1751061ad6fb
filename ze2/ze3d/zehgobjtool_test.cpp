// Models made with the model tool's library: the demo model's round trip
// (description, model file, heap object, image, relocated copy) drawing one
// picture; deformer weights found by list position; drawing without stream
// memory; the direct rest-pose form; the tool's refusals and its glTF
// reader; the fast posing path against its plain form.
#include <fstream>
#include <random>

#include "gltfutil.h"
#include "modelwrite.h"
#include "zehgobj_test.h"
#include "zehgobjrndr_plain.h"

namespace {

ModelJoint Joint(const std::string& name, int parent, ZEVEC offset) {
  ModelJoint j;
  j.name = name;
  j.parent = parent;
  j.offset = offset;
  return j;
}

struct Tool : HgoAnims {
  void TearDown() override {
    shadstorecnt = 0;
    HgoAnims::TearDown();
  }
  ZEHGOBJ* Model(ModelDesc& d, const char* name = "T.HGO") {
    std::string error;
    PlatSetHostRoot(dir.c_str());
    EXPECT_TRUE(ModelWriteHgof(d, name, &error)) << error;
    ModelDescFree(&d);
    ZEHGOBJ* o = ZeHGobjLoad(name);
    if (o) objs.push_back(o);
    return o;
  }
  ZEHGOBJ* Demo() {
    ModelDesc d;
    std::string error;
    EXPECT_TRUE(ModelReadDescription(ZE_DEMO_DIR "/demo_model.txt", &d, &error)) << error;
    return Model(d, "DEMO.HGO");
  }
  // The demo model bending: chest turned about z, head nodding.
  ZEANIMDATA2* Bend() {
    AniDesc d;
    d.end = 8;
    for (int j = 0; j < 6; j++) {
      AniNode n;
      n.flags = ZEANIMNODE_ROT | ZEANIMNODE_TRANS;
      n.channels.resize(ZEANIM_SLOTS);
      for (int s = 6; s < 9; s++) n.channels[size_t(s)].constant = 1;
      const float off[6][3] = {{0, 1, 0}, {0, 0.5f, 0}, {0, 0.45f, 0}, {0.35f, 0.35f, 0}, {-0.35f, 0.35f, 0}, {0, -0.95f, 0}};
      for (int c = 0; c < 3; c++) n.channels[size_t(c)].constant = off[j][c];
      if (j == 1) n.channels[5].constant = 0.5f;
      if (j == 2) n.channels[3].constant = 0.4f;
      d.nodes.push_back(n);
    }
    return Anim2(d, "BEND.ANI");
  }
  // One morph weight for layer 0.
  ZEANIMDATA2* Weight(float w) {
    AniDesc d;
    d.end = 2;
    d.curves = 1;
    AniNode n;
    n.channels.resize(1);
    n.channels[0].constant = w;
    d.nodes = {n};
    return Anim2(d, "WEIGHT.ANI");
  }
  Picture Draw(ZEHGOBJ* o, const ZEMTX* joints, int n, const int16_t* layers, const int16_t* wlist, int wn,
               const ZEANIMDATA2* wanim, const char* name) {
    const ZEMTX at = Translation(0, -1.5f, -5);
    const uint64_t f = Frame([&] {
      void** w = wanim ? ZeHGobjEvalDwa2(wn, wlist, wanim, 1) : nullptr;
      ZeHGobjRndrMtxDwa(o, &at, n, layers, joints, w);
    });
    return Grab(f, 224, 16, 192, 192, name);
  }
};

TEST_F(Tool, TheDemoModelDrawsTheSameFromHeapImageAndRelocatedCopy) {
  ZEHGOBJ* heap = Demo();
  ASSERT_NE(heap, nullptr);
  ASSERT_EQ(heap->njoint, 6);
  ASSERT_NE(heap->layers[0].skin.get(), nullptr);
  ZeGHGWrite(heap, "DEMO.GHG", 1 << 20);
  char* end;
  char* start = Buffer(1 << 20, &end);
  char* pos = start;
  ZEHGOBJ* img = ZeGHGRead("DEMO.GHG", &pos, end);
  ASSERT_NE(img, nullptr);
  char* end2;
  char* pos2 = Buffer(1 << 20, &end2);
  ZEHGOBJ* moved = ZeGHGRelocate(img, &pos2);
  objs.push_back(moved);
  ZEANIMDATA2* bend = Bend();
  ASSERT_NE(bend, nullptr);
  ZEMTX rest[6], posed[6];
  ZeHGobjEval(heap, 0, nullptr, rest);
  ZeHGobjEvalAnim2(heap, bend, 0, nullptr, posed, 1);
  const Picture a = Draw(heap, rest, 1, nullptr, nullptr, 0, nullptr, "hgo_demo_rest");
  const Picture b = Draw(heap, posed, 1, nullptr, nullptr, 0, nullptr, "hgo_demo_posed");
  EXPECT_LT(a.Count(0x202020), int(a.px.size()) - 1000);
  EXPECT_NE(a.px, b.px);
  EXPECT_EQ(Draw(img, rest, 1, nullptr, nullptr, 0, nullptr, "hgo_demo_rest_image").px, a.px);
  EXPECT_EQ(Draw(img, posed, 1, nullptr, nullptr, 0, nullptr, "hgo_demo_posed_image").px, b.px);
  ZeHGobjDestroy(img);
  memset(start, 0xcd, size_t(end - start));
  EXPECT_EQ(Draw(moved, rest, 1, nullptr, nullptr, 0, nullptr, "hgo_demo_rest_moved").px, a.px);
  EXPECT_EQ(Draw(moved, posed, 1, nullptr, nullptr, 0, nullptr, "hgo_demo_posed_moved").px, b.px);
}

TEST_F(Tool, WeightArraysAreFoundByTheirListPosition) {
  ZEHGOBJ* o = Demo();
  ASSERT_NE(o, nullptr);
  ZEANIMDATA2* w = Weight(1.0f);
  ZEMTX rest[6];
  ZeHGobjEval(o, 0, nullptr, rest);
  const int16_t zero[1] = {0}, late[2] = {-1, 0};
  const Picture none = Draw(o, rest, 1, zero, nullptr, 0, nullptr, "hgo_weights_none");
  const Picture first = Draw(o, rest, 1, zero, zero, 1, w, "hgo_weights_first");
  const Picture second = Draw(o, rest, 2, late, late, 2, w, "hgo_weights_second");
  EXPECT_NE(first.px, none.px);  // the morph target moved the chest's edge
  EXPECT_EQ(second.px, first.px);
}

TEST_F(Tool, WithoutStreamMemoryTheSkinsAreLeftOut) {
  // A skin only: rigid objects need stream memory of their own.
  HgoModel m = HgoTwoJoints();
  m.layers = {-1};
  m.skin = true;
  ZEHGOBJ* o = LoadModel(HgoFile(HgoInner(m)), "SKIN.HGO");
  ASSERT_NE(o, nullptr);
  ZEMTX rest[2];
  ZeHGobjEval(o, 0, nullptr, rest);
  const ZEMTX at = Translation(0, -1, -5);
  const int16_t zero[1] = {0};
  ZeRndrBeginScene(-1);
  uint32_t* saved = rndrstream_free;
  const uint8_t* end = rndrstream_buffer[rndrstream_frame_index] + rndrstream_buffer_size;
  // Less than the two joints' palette (8 quadwords) left.
  ZeRndrStreamAlloc(int((end - reinterpret_cast<uint8_t*>(rndrstream_free)) / 16) - 7);
  zerndr_skinpalette = nullptr;
  EXPECT_EQ(ZeHGobjRndrMtx(o, &at, 1, nullptr, rest), 0);
  EXPECT_EQ(zerndr_skinpalette, nullptr);
  // Nothing left: no weight arrays.
  ZeRndrStreamAlloc(7);
  EXPECT_EQ(ZeHGobjEvalDwa2(1, zero, Weight(1.0f), 1), nullptr);
  rndrstream_free = saved;
  ZeRndrEndScene();
  ZeRndrSwapStreamBuffers();
}

TEST_F(Tool, TheDirectFormWithoutAnAnimationDrawsTheRestPose) {
  ZEHGOBJ* o = Demo();
  const ZEMTX at = Translation(0, -1.5f, -5);
  const uint64_t f1 = Frame([&] { ZeHGobjRndrAnim(o, &at, 0, nullptr, nullptr, 1, 1); });
  const Picture a = Grab(f1, 224, 16, 192, 192, "hgo_direct_rest");
  const uint64_t f2 = Frame([&] { ZeHGobjRndr(o, &at, 1, nullptr); });
  const Picture b = Grab(f2, 224, 16, 192, 192, "hgo_rndr_rest");
  EXPECT_EQ(a.px, b.px);
  EXPECT_LT(a.Count(0x202020), int(a.px.size()) - 1000);
}

TEST_F(Tool, SkinTrianglesOfMoreThanEightJointsAreRefused) {
  for (int joints : {8, 9}) {
    ModelDesc d;
    d.scene.materials.push_back(SceneMaterial{});
    for (int j = 0; j < 9; j++) d.joints.push_back(Joint("j" + std::to_string(j), j ? 0 : 255, {0, 0, 0}));
    ModelSkin s;
    for (int v = 0; v < 3; v++) {
      ZEVTX x = {};
      x.pos = {float(v), float(v == 2), 0};
      s.vtx.push_back(x);
      ModelSkinVertex w;
      for (int k = 0; k < 3; k++) {
        const int j = v * 3 + k;
        if (j >= joints) break;
        w.joint[w.n] = j, w.weight[w.n++] = 0.3f;
      }
      s.weights.push_back(w);
    }
    s.idx = {0, 1, 2};
    d.skins.push_back(s);
    std::string error;
    EXPECT_EQ(ModelCheck(d, &error), joints == 8) << joints;
    if (joints == 9) {
      EXPECT_NE(error.find("at most 8"), std::string::npos) << error;
    }
  }
}

TEST_F(Tool, TheFastPosingPathMatchesItsPlainForm) {
  for (unsigned seed : {1u, 2u, 3u}) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    ModelDesc d;
    d.scene.materials.push_back(SceneMaterial{});
    const int J = 30;
    for (int j = 0; j < J; j++) {
      const int parent = j ? int(gen() % unsigned(j)) : 255;
      const ZEVEC off = {u(gen), u(gen), u(gen)};
      d.joints.push_back(Joint("j" + std::to_string(j), (j && gen() % 5 == 0) ? 255 : parent, off));
    }
    ZEHGOBJ* o = Model(d, "RND.HGO");
    ASSERT_NE(o, nullptr);
    ZEANIMDATA2* anim[2];
    for (int k = 0; k < 2; k++) {
      AniDesc a;
      a.end = 20;
      for (int j = 0; j < J; j++) {
        AniNode n;
        n.flags = int(gen() % 0x20) | ZEANIMNODE_ROT | (j == 0 ? ZEANIMNODE_ROOTSCALE : 0);
        n.channels.resize(ZEANIM_SLOTS);
        for (int s = 0; s < 9; s++) {
          n.channels[size_t(s)].constant = s >= 6 ? 1 + 0.3f * u(gen) : u(gen);
          if (gen() % 2) {
            n.channels[size_t(s)].type = ZEANIMKEYTYPE_HERMITE;
            for (int f = 1; f <= 20; f += 5) n.channels[size_t(s)].keys.push_back({f, u(gen), 0, false});
          }
        }
        a.nodes.push_back(n);
      }
      anim[k] = Anim2(a, k ? "RB.ANI" : "RA.ANI");
      ASSERT_NE(anim[k], nullptr);
    }
    for (int i = 0; i < 20; i++) {
      const float fa = 1 + 19 * (u(gen) + 1) / 2, fb = 1 + 19 * (u(gen) + 1) / 2, t = (u(gen) + 1) / 2;
      ZEMTX fast[J], plain[J];
      ZeHGobjEvalAnimBlend2(o, anim[0], anim[1], 0, nullptr, fast, fa, fb, t);
      HgoEvalBlend2Plain(o, anim[0], anim[1], plain, fa, fb, t);
      for (int j = 0; j < J; j++)
        for (int r = 0; r < 4; r++)
          for (int c = 0; c < 4; c++)
            ASSERT_NEAR(fast[j].m[r][c], plain[j].m[r][c], 1e-4f * (1 + std::fabs(plain[j].m[r][c])))
                << seed << " joint " << j;
    }
  }
}

// A glTF skin of two joints, a triangle and one animation turning the
// second joint, written with its buffer inline.
TEST_F(Tool, AGltfSkinBecomesJointsSkinRecordsAndAnAnimation) {
  std::vector<uint8_t> buf;
  auto f32 = [&](float v) { buf.insert(buf.end(), reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 4); };
  const float pos[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  for (float v : pos) f32(v);                           // 0: positions, 36 bytes
  const uint8_t jnt[12] = {0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0};
  buf.insert(buf.end(), jnt, jnt + 12);                 // 36: joints, 12 bytes
  const float wts[12] = {1, 0, 0, 0, 1, 0, 0, 0, 0.5f, 0.5f, 0, 0};
  for (float v : wts) f32(v);                           // 48: weights, 48 bytes
  const float ibm[32] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -1, 0, 0, 1};
  for (float v : ibm) f32(v);                           // 96: inverse bind matrices, 128 bytes
  const float times[2] = {0, 1};
  for (float v : times) f32(v);                         // 224: times, 8 bytes
  const float rot[8] = {0, 0, 0, 1, 0, 0, 0.7071068f, 0.7071068f};
  for (float v : rot) f32(v);                           // 232: rotations, 32 bytes
  const std::string json = R"({"asset":{"version":"2.0"},
"buffers":[{"byteLength":)" + std::to_string(buf.size()) + R"(,"uri":"data:application/octet-stream;base64,)" + gltfutil::Base64(std::string(buf.begin(), buf.end())) + R"("}],
"bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":36},{"buffer":0,"byteOffset":36,"byteLength":12},
 {"buffer":0,"byteOffset":48,"byteLength":48},{"buffer":0,"byteOffset":96,"byteLength":128},
 {"buffer":0,"byteOffset":224,"byteLength":8},{"buffer":0,"byteOffset":232,"byteLength":32}],
"accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]},
 {"bufferView":1,"componentType":5121,"count":3,"type":"VEC4"},
 {"bufferView":2,"componentType":5126,"count":3,"type":"VEC4"},
 {"bufferView":3,"componentType":5126,"count":2,"type":"MAT4"},
 {"bufferView":4,"componentType":5126,"count":2,"type":"SCALAR","min":[0],"max":[1]},
 {"bufferView":5,"componentType":5126,"count":2,"type":"VEC4"}],
"meshes":[{"name":"body","primitives":[{"attributes":{"POSITION":0,"JOINTS_0":1,"WEIGHTS_0":2}}]}],
"nodes":[{"name":"skinned","mesh":0,"skin":0},{"name":"root","children":[2]},{"name":"tip","translation":[1,0,0]}],
"skins":[{"joints":[1,2],"inverseBindMatrices":3}],
"animations":[{"name":"turn","samplers":[{"input":4,"output":5}],"channels":[{"sampler":0,"target":{"node":2,"path":"rotation"}}]}],
"scenes":[{"nodes":[0,1]}],"scene":0})";
  std::ofstream(dir + "/skin.gltf") << json;
  ModelDesc d;
  std::string error;
  ASSERT_TRUE(ModelReadGltf((dir + "/skin.gltf").c_str(), &d, &error)) << error;
  ASSERT_EQ(d.joints.size(), 2u);
  EXPECT_EQ(d.joints[0].name, "root");
  EXPECT_EQ(d.joints[0].parent, 255);
  EXPECT_EQ(d.joints[1].parent, 0);
  EXPECT_EQ(d.joints[1].rest.m[3][0], 1.0f);
  EXPECT_EQ(d.joints[1].skin.m[3][0], -1.0f);
  ASSERT_EQ(d.skins.size(), 1u);
  EXPECT_EQ(d.skins[0].weights[2].n, 2);
  EXPECT_EQ(d.skins[0].weights[1].joint[0], 1);
  ASSERT_EQ(d.anims.size(), 1u);
  EXPECT_EQ(d.animnames[0], "turn");
  Put("TURN.ANI", d.anims[0]);
  ZEANIMDATA2* anim = ZeAnimData2LoadBuff("TURN.ANI", &abuf, aend);
  ASSERT_NE(anim, nullptr);
  EXPECT_EQ(anim->nnodes, 2);
  ZEHGOBJ* o = Model(d, "GLTF.HGO");
  ASSERT_NE(o, nullptr);
  ASSERT_NE(o->layers[0].skin.get(), nullptr);
  // The last frame: the tip turned a quarter about z, still one along x.
  ZEMTX joints[2];
  ZeHGobjEvalAnim2(o, anim, 0, nullptr, joints, anim->end);
  EXPECT_NEAR(joints[1].m[3][0], 1.0f, 1e-4f);
  EXPECT_NEAR(std::fabs(joints[1].m[0][1]), 1.0f, 1e-3f);
}

}  // namespace

namespace {

TEST_F(Tool, TextureAnimationsTravelThroughTheImageAndItsRelocation) {
  std::ofstream(dir + "/anim.txt") << "texture a pattern 16 16\ntexture b pattern 8 8\nmaterial m vtxcol texture a\n"
                                      "texanim blink m flicker b a b\njoint root - 0 0 0\nbox root m 1 1 1\n";
  ModelDesc d;
  std::string error;
  ASSERT_TRUE(ModelReadDescription((dir + "/anim.txt").c_str(), &d, &error)) << error;
  ZEHGOBJ* heap = Model(d, "ANIM.HGO");
  ASSERT_NE(heap, nullptr);
  ASSERT_EQ(heap->ntexanim, 1);
  ZeGHGWrite(heap, "ANIM.GHG", 1 << 20);
  char* end;
  char* start = Buffer(1 << 20, &end);
  char* pos = start;
  ZEHGOBJ* img = ZeGHGRead("ANIM.GHG", &pos, end);
  ASSERT_NE(img, nullptr);
  ASSERT_EQ(img->ntexanim, 1);
  const ZETEXANIM& a = img->texanims[0];
  EXPECT_STREQ(a.name.get(), "blink");
  EXPECT_STREQ(a.progname.get(), "flicker");
  EXPECT_EQ(a.mtl.get(), img->mtls[0].get());
  ASSERT_EQ(a.ntex, 3);
  EXPECT_EQ(a.texids[0], img->texids[1]);
  EXPECT_EQ(a.texids[1], img->texids[0]);
  EXPECT_EQ(img->mtls[0]->texture, img->texids[0]);
  char* end2;
  char* pos2 = Buffer(1 << 20, &end2);
  ZEHGOBJ* moved = ZeGHGRelocate(img, &pos2);
  objs.push_back(moved);
  ZeHGobjDestroy(img);
  memset(start, 0xcd, size_t(end - start));
  const ZETEXANIM& m = moved->texanims[0];
  EXPECT_STREQ(m.name.get(), "blink");
  EXPECT_EQ(m.mtl.get(), moved->mtls[0].get());
  EXPECT_EQ(m.texids[0], moved->texids[1]);
  EXPECT_EQ(m.texids[2], moved->texids[1]);
  EXPECT_EQ(moved->mtls[0]->texture, moved->texids[0]);
  EXPECT_NE(moved->texids[0], 0);
}

}  // namespace
