// Scenes drawn on the GS model in virtual time: the demo scene described in
// demo/, converted, read and drawn; crops of a texture, a sprite, a
// texture flipped by its animation and the cross-fade at two levels; the
// same intermediate file read by ZeSceneLoad draws the same; a small glTF
// file goes the same way. Pictures go to the build directory
// (pictures/scene_*.png).
#include "zegscn_test.h"

#include <set>

namespace {

// The screen position (pixels) of a world point.
void Project(const ZEVEC& p, float* x, float* y) {
  const ZEMTX* m = ZeCameraGetVPCSMtx();
  const float h[4] = {p.x, p.y, p.z, 1};
  float s[4];
  for (int j = 0; j < 4; j++) s[j] = h[0] * m->m[0][j] + h[1] * m->m[1][j] + h[2] * m->m[2][j] + h[3] * m->m[3][j];
  *x = s[0] / s[3] / 16.0f - (2048 - 320);
  *y = s[1] / s[3] / 16.0f - (2048 - 112);
}

// A square facing the camera textured with a pattern, a sprite, a sign of
// two textures flipped by a program, at known places.
struct GscnPic : Scene {
  SceneDesc desc;
  void SetUp() override {
    Scene::SetUp();
    desc.textures = {SceneTexture(16, 16), SceneTexture(64, 64, ZETEX_RGB16)};
    SceneMaterial tex, plain, sign;
    tex.texture = 0;
    tex.vtxcol = plain.vtxcol = sign.vtxcol = 1;
    tex.lighting = plain.lighting = sign.lighting = 2;  // prelit: the vertex colours as they are
    sign.texture = 1;
    desc.materials = {tex, plain, sign};
    SceneObject quad, sprite, board;
    quad.geoms = {Square(0, 4, 0xffffffffu)};
    sprite.kind = ZEGOBJ_SPRITES;
    SceneSpriteSet set;
    set.material = 1;
    set.sprites = {{{0, 0, 0}, 1.5f, 1.5f, 0xff00c0ffu}};
    sprite.sets = {set};
    board.geoms = {Square(2, 3, 0xffffffffu)};
    desc.objects = {quad, sprite, board};
    const float xs[3] = {-5, 0, 5};
    for (int i = 0; i < 3; i++) {
      SceneInstance in;
      in.object = i;
      in.mtx = Translation(xs[i], 0, 6);
      desc.instances.push_back(in);
    }
  }
  void TearDown() override {
    SceneDescFree(&desc);
    Scene::TearDown();
  }
  // Pixels of a crop about a world point.
  Picture Crop(uint64_t frame, const ZEVEC& at, int half, const char* name) {
    float x, y;
    Project(at, &x, &y);
    return Grab(frame, int(x) - half, int(y) - half / 2, 2 * half, half, name);
  }
  static int Distinct(const Picture& p) { return int(std::set<uint32_t>(p.px.begin(), p.px.end()).size()); }
};

uint32_t Brightness(const Picture& p) {
  uint32_t sum = 0;
  for (uint32_t c : p.px) sum += (c & 0xff) + (c >> 8 & 0xff) + (c >> 16 & 0xff);
  return sum;
}

// (Cs - Cd) * As / 128 + Cd per colour byte: a blend mode 1 pixel.
uint32_t Blend(uint32_t cs, uint32_t cd, int as) {
  uint32_t out = 0;
  for (int sh = 0; sh < 24; sh += 8) {
    const int a = int(cs >> sh & 255), b = int(cd >> sh & 255);
    out |= uint32_t((a - b) * as / 128 + b) << sh;
  }
  return out;
}

}  // namespace

TEST_F(GscnPic, TextureSpriteAndFlippedTexture) {
  // The sign's program: two textures in turn, one a frame.
  const char* script = "scriptname Flip\nrate 1 0\ntop:\ntex 0\ntex 1\ngoto top\n";
  std::ofstream(dir + "/FLIP.TAS") << script;
  ASSERT_NE(ZeTexAnimProgReadScript(nullptr, "FLIP.TAS"), nullptr);
  desc.texanims = {{"board", "flip", 2, 0, {1, 0}}};
  ZEGSCENE* s = Load(Make(desc));
  ASSERT_NE(s, nullptr);
  const uint64_t f1 = Frame([&] { ZeGScnRndr3(s); });
  for (int i = 0; i < 3; i++) EXPECT_TRUE(s->insts[i].flags & ZEGSCNINST_DRAWN) << i;
  const Picture tex = Crop(f1, {-5, 0, 6}, 16, "scene_texture");
  EXPECT_GE(Distinct(tex), 4);  // the pattern's blocks
  const Picture spr = Crop(f1, {0, 0, 6}, 6, "scene_sprite");
  EXPECT_EQ(Distinct(spr), 1);
  const uint32_t c = spr.px[0] & 0xffffff;
  EXPECT_GT(c & 0xff, 0xc0u);   // red
  EXPECT_LT(c >> 16, 0x20u);    // no blue
  const Picture before = Crop(f1, {5, 0, 6}, 16, "scene_sign_a");
  ZeTexAnimProcess();
  const ZETEXID first = s->mtls[2]->texture;
  EXPECT_EQ(first, s->texids[1]);
  for (int i = 0; i < 4 && s->mtls[2]->texture == first; i++) ZeTexAnimProcess();
  EXPECT_EQ(s->mtls[2]->texture, s->texids[0]);
  const uint64_t f2 = Frame([&] { ZeGScnRndr3(s); });
  const Picture after = Crop(f2, {5, 0, 6}, 16, "scene_sign_b");
  const uint64_t f3 = Frame([&] { ZeGScnRndr3(s); });
  const Picture again = Crop(f3, {5, 0, 6}, 16, "scene_sign_c");
  EXPECT_EQ(after.px, again.px);  // the same texture draws the same
  for (int i = 0; i < 4 && s->mtls[2]->texture == s->texids[0]; i++) ZeTexAnimProcess();
  const uint64_t f4 = Frame([&] { ZeGScnRndr3(s); });
  const Picture flipped = Crop(f4, {5, 0, 6}, 16, "scene_sign_d");
  EXPECT_NE(after.px, flipped.px);
  (void)before;
}

TEST_F(GscnPic, TheCrossFadeAtTwoLevels) {
  zegscn_generate_colourref = 1;
  ZEGSCENE* s = Load(Make(desc));
  ASSERT_NE(s, nullptr);
  uint32_t bright[3];
  const int16_t levels[3] = {0, 128, 255};
  for (int k = 0; k < 3; k++) {
    ZeGSceneSetCrossFade(s, levels[k], 10000);
    ZeGScnUpdate(s, 1.0f);
    EXPECT_EQ(s->fadeactive, 0);
    const uint64_t f = Frame([&] { ZeGScnRndr3(s); });
    const std::string name = "scene_fade_" + std::to_string(levels[k]);
    bright[k] = Brightness(Crop(f, {-5, 0, 6}, 16, name.c_str()));
  }
  // No second prelight set: the fade goes to black.
  EXPECT_GT(bright[0], bright[1] + bright[1] / 4);
  EXPECT_GT(bright[1], bright[2]);
}

TEST_F(GscnPic, TheIntermediateReaderDrawsTheSame) {
  InitSkinning(1 << 20);
  std::string error;
  ASSERT_TRUE(SceneWriteGsc0(desc, "SAME.GS0", &error));
  ZeGScnConvertScene("SAME.GSC", "SAME.GS0");
  ZEGSCENE* s = Load(Get("SAME.GSC"));
  ASSERT_NE(s, nullptr);
  const uint64_t a = Frame([&] { ZeGScnRndr(s); });
  const Picture pa = Grab(a, 0, 0, 640, 224, "scene_same_gsc");
  ZESCENE* h = ZeSceneLoad("SAME.GS0");
  ASSERT_NE(h, nullptr);
  const uint64_t b = Frame([&] { ZeGScnRndr(h->body); });
  const Picture pb = Grab(b, 0, 0, 640, 224, "scene_same_gsc0");
  int differ = 0;
  for (size_t i = 0; i < pa.px.size(); i++) differ += pa.px[i] != pb.px[i];
  EXPECT_EQ(differ, 0);
  ZeSceneDestroy(h);
  CloseSkinning();
}

TEST_F(GscnPic, SnapshotOfTheDemoScene) {
  SceneDesc demo;
  std::string error;
  ASSERT_TRUE(SceneReadDescription(ZE_DEMO_DIR "/demo_scene.txt", &demo, &error)) << error;
  PlatSetHostRoot(dir.c_str());
  zegscn_generate_colourref = 1;
  ZEGSCENE* s = Load(Make(demo, "DEMO"));
  SceneDescFree(&demo);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->ninst, 22);  // seven in sight, six hidden dressing objects, nine of the hero's course
  ZESPECIAL rows[8];
  EXPECT_EQ(ZeSpecialFindMulti(s, rows, "pillar_row"), 3);
  ASSERT_NE(ZeSplineFind(s, "camera"), nullptr);
  // From the spline's first point, looking down +z.
  ZECAMERA* cam = ZeCameraCreate();
  cam->mtx.m[3][0] = 0, cam->mtx.m[3][1] = 3, cam->mtx.m[3][2] = -4;
  ZeCameraSet(cam);
  ZeCameraDestroy(cam);
  for (int i = 0; i < 10; i++) ZeGScnUpdate(s, 1.0f);
  const uint64_t f = Frame([&] { ZeGScnRndr3(s); });
  const Picture all = Grab(f, 0, 0, 640, 224, "scene_demo");
  EXPECT_GT(Distinct(all), 20);
  EXPECT_TRUE(s->insts[0].flags & ZEGSCNINST_DRAWN);  // the ground
  EXPECT_TRUE(s->insts[1].flags & ZEGSCNINST_DRAWN);  // the nearest pillar
}

TEST_F(GscnPic, ASmallGltfFileGoesTheSameWay) {
  // One quad of two triangles, red, 2 wide, at (0, 0, 6) through its node.
  const float pos[12] = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
  const uint16_t idx[6] = {0, 1, 2, 0, 2, 3};
  std::string bytes(reinterpret_cast<const char*>(pos), 48);
  bytes.append(reinterpret_cast<const char*>(idx), 12);
  static const char* b64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string enc;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
    if (i + 1 < bytes.size()) v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) v |= uint8_t(bytes[i + 2]);
    enc += b64[v >> 18 & 63];
    enc += b64[v >> 12 & 63];
    enc += i + 1 < bytes.size() ? b64[v >> 6 & 63] : '=';
    enc += i + 2 < bytes.size() ? b64[v & 63] : '=';
  }
  std::ofstream(dir + "/quad.gltf")
      << R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],)"
      << R"("nodes":[{"name":"Quad","mesh":0,"translation":[0,0,-6]}],)"
      << R"("meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1,"material":0}]}],)"
      << R"("materials":[{"pbrMetallicRoughness":{"baseColorFactor":[1,0,0,1]}}],)"
      << R"("buffers":[{"byteLength":60,"uri":"data:application/octet-stream;base64,)" << enc << R"("}],)"
      << R"("bufferViews":[{"buffer":0,"byteLength":48},{"buffer":0,"byteOffset":48,"byteLength":12}],)"
      << R"("accessors":[{"bufferView":0,"componentType":5126,"count":4,"type":"VEC3","min":[-1,-1,0],"max":[1,1,0]},)"
      << R"({"bufferView":1,"componentType":5123,"count":6,"type":"SCALAR"}]})";
  SceneDesc g;
  std::string error;
  ASSERT_TRUE(SceneReadGltf((dir + "/quad.gltf").c_str(), &g, &error)) << error;
  ZEGSCENE* s = Load(Make(g, "Q"));
  SceneDescFree(&g);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->ninst, 1);
  EXPECT_EQ(s->insts[0].mtx.m[3][2], 6.0f);  // z mirrored
  ZESPECIAL h;
  EXPECT_EQ(ZeSpecialFind(s, &h, "quad"), 1);
  const uint64_t f = Frame([&] { ZeGScnRndr3(s); });
  EXPECT_TRUE(s->insts[0].flags & ZEGSCNINST_DRAWN);
  const Picture p = Crop(f, {0, 0, 6}, 8, "scene_gltf");
  EXPECT_EQ(Distinct(p), 1);
  EXPECT_GT(p.px[0] & 0xff, 0xc0u);
  EXPECT_LT(p.px[0] >> 8 & 0xff, 0x10u);
}

TEST_F(GscnPic, DescriptionsWithWavefrontMeshesAndTheirErrors) {
  std::ofstream(dir + "/cube.obj") << "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 1\nvn 0 0 -1\n"
                                      "f 1/1/1 2/2/1 3/2/1 4/1/1\nf 1//1 3//1 2//1\n";
  std::ofstream(dir + "/ok.txt") << "; a mesh from a file\nmaterial m vtxcol lighting 2\nobject c mesh\n  geom m\n"
                                    "  obj cube.obj ff00ff00\nend\ninstance c 0 0 6 rotate 0 90 0 scale 2\n";
  SceneDesc d;
  std::string error;
  ASSERT_TRUE(SceneReadDescription((dir + "/ok.txt").c_str(), &d, &error)) << error;
  ASSERT_EQ(d.objects.size(), 1u);
  const SceneGeom& g = d.objects[0].geoms[0];
  EXPECT_EQ(g.vtx.size(), 7u);   // four corners with uv and normal, three with the normal only
  EXPECT_EQ(g.idx.size(), 9u);   // the quad fanned into two triangles, and one more
  EXPECT_EQ(g.vtx[0].colour, 0xff00ff00u);
  EXPECT_EQ(g.vtx[1].v, 0.0f);   // v flipped: 1 - 1
  EXPECT_NEAR(d.instances[0].mtx.m[0][2], -2.0f, 1e-5f);
  SceneDescFree(&d);
  const struct {
    const char* text;
    const char* error;
  } bad[] = {
      {"material m texture none\n", "line 1: unknown texture \"none\""},
      {"object o mesh\n  v 0 0 0 0 0 1 ff 0 0\nend\n", "line 2: geom first"},
      {"material m\nobject o mesh\n  geom m\n  tri 0 1 7\nend\n", "index out of range"},
      {"instance nothing 0 0 0\n", "unknown object \"nothing\""},
      {"animate a\n", "animate before any instance"},
      {"wibble w\n", "line 1: unknown line wibble"},
      {"texture t pattern 3 3\n", "pattern size"},
      {"special s\n", "special before any instance"},
  };
  for (const auto& c : bad) {
    std::ofstream(dir + "/bad.txt") << c.text;
    SceneDesc b;
    EXPECT_FALSE(SceneReadDescription((dir + "/bad.txt").c_str(), &b, &error)) << c.text;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    SceneDescFree(&b);
  }
  PlatSetHostRoot(dir.c_str());
}

// A blended scene material drawn as a burst instance (as the wind and fade
// groups draw the level's dressing) over the clear colour shows its blend,
// whether the file says blended or the program makes it so after the load.
TEST_F(GscnPic, ABlendedSceneMaterialDrawnAsABurstInstanceShowsItsBlend) {
  const uint32_t back = 0x202020;
  struct Case {
    const char* name;
    int fileBlend, runBlend;
  };
  const Case cases[] = {{"scene_blend_file", 1, 0}, {"scene_blend_run", 0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SceneDesc d;
    SceneMaterial opaque, blended;
    opaque.vtxcol = blended.vtxcol = 1;
    opaque.lighting = blended.lighting = 2;
    blended.blend = c.fileBlend;
    d.materials = {opaque, blended};
    SceneObject solid, glass;
    solid.geoms = {Square(0, 4, 0x80f08000u)};  // half alpha, blue f0, green 80
    glass.geoms = {Square(1, 4, 0x80f08000u)};
    d.objects = {solid, glass};
    for (int i = 0; i < 2; i++) {
      SceneInstance in;
      in.object = i;
      in.flags = 0;
      in.mtx = Translation(0, 0, 6);
      d.instances.push_back(in);
    }
    ZEGSCENE* s = Load(Make(d));
    SceneDescFree(&d);
    ASSERT_NE(s, nullptr);
    if (c.runBlend) {
      ZEMTL* m = s->mtls[1].get();
      m->attributes = (m->attributes & ~15u) | uint32_t(c.runBlend);
      ZeMtlUpdate(m);
    }
    auto burst = [&](int inst) {
      return Frame([&] {
        ASSERT_EQ(ZeRndrBurstObjBegin(s->gobjs.get()[s->insts[inst].object], nullptr), 1);
        ZEMTX m = Translation(0, 0, 6);
        EXPECT_NE(ZeRndrBurstObjAdd(&m), 0);
        ZeRndrBurstObjEnd();
      }, back);
    };
    const Picture src = Crop(burst(0), {0, 0, 6}, 8, (std::string(c.name) + "_solid").c_str());
    const Picture mix = Crop(burst(1), {0, 0, 6}, 8, c.name);
    const uint32_t cs = src.px[0] & 0xffffff;
    EXPECT_NE(cs, back);
    // (Cs - Cd) * As / 128 + Cd with the vertex alpha as the converter
    // hands it on (halved: 0x40, half way).
    const uint32_t want = Blend(cs, back, 0x40);
    for (size_t i = 0; i < mix.px.size(); i++) {
      ASSERT_EQ(src.px[i] & 0xffffff, cs) << i;
      ASSERT_EQ(mix.px[i] & 0xffffff, want) << std::hex << (mix.px[i] & 0xffffff) << " at " << std::dec << i;
    }
  }
}

// A material blended in the file follows the opaque ones in the render
// list, so it blends over the ground behind it; before the ground it would
// blend over the clear colour and the ground, depth-tested against pixels
// that wrote no depth, would cover it.
TEST_F(GscnPic, ABlendedSceneMaterialBlendsOverTheOpaqueGroundBehindIt) {
  SceneDesc d;
  SceneMaterial opaque, blended;
  opaque.vtxcol = blended.vtxcol = 1;
  opaque.lighting = blended.lighting = 2;
  blended.blend = 1;
  d.materials = {opaque, blended};
  SceneObject ground, solid, glass;
  ground.geoms = {Square(0, 10, 0x80206080u)};
  solid.geoms = {Square(0, 4, 0x80f08000u)};
  glass.geoms = {Square(1, 4, 0x80f08000u)};
  d.objects = {ground, solid, glass};
  const float zs[3] = {9, 6, 6};
  for (int i = 0; i < 3; i++) {
    SceneInstance in;
    in.object = i;
    in.flags = i == 1 ? 0u : uint32_t(ZEGSCNINST_SHOWN);
    in.mtx = Translation(0, 0, zs[i]);
    d.instances.push_back(in);
  }
  ZEGSCENE* s = Load(Make(d));
  SceneDescFree(&d);
  ASSERT_NE(s, nullptr);
  EXPECT_GT(s->mtls[1]->sort_priority, s->mtls[0]->sort_priority) << "blended after opaque";
  auto one = [&](int inst) {
    return Frame([&] {
      ZEMTX m = Translation(0, 0, zs[inst]);
      EXPECT_NE(ZeRndrGScnObj(s->gobjs.get()[inst], &m), 0);
    });
  };
  const uint32_t g = Crop(one(0), {0, 0, 6}, 8, "scene_order_ground").px[0] & 0xffffff;
  const uint32_t cs = Crop(one(1), {0, 0, 6}, 8, "scene_order_solid").px[0] & 0xffffff;
  const Picture both = Crop(Frame([&] { ZeGScnRndr3(s); }), {0, 0, 6}, 8, "scene_order_both");
  const uint32_t want = Blend(cs, g, 0x40);
  EXPECT_NE(g, cs);
  for (size_t i = 0; i < both.px.size(); i++)
    ASSERT_EQ(both.px[i] & 0xffffff, want) << std::hex << (both.px[i] & 0xffffff) << " at " << std::dec << i;
}
