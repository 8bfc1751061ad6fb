// A lit cube under a light set, drawn in virtual time through the GS model:
// a flicker light in front of it at two levels of its flicker, chosen by
// the smoothed search. The pictures go into the build directory.
#include "coblib.h"
#include "gamelib.h"
#include "zerndrobj_test.h"

namespace {

// A cube of side 2 whose faces are grey-white, normals outward.
std::vector<ZEVTX> Cube() {
  static const float N[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}};
  std::vector<ZEVTX> v;
  for (int f = 0; f < 6; f++) {
    const ZEVEC n = {N[f][0], N[f][1], N[f][2]};
    ZEVEC a = {n.y != 0 ? 1.0f : 0.0f, n.y != 0 ? 0.0f : 1.0f, 0};
    if (n.z == 0 && n.y == 0) a = {0, 1, 0};
    const ZEVEC b = {n.y * a.z - n.z * a.y, n.z * a.x - n.x * a.z, n.x * a.y - n.y * a.x};
    auto corner = [&](float s, float t) {
      return ZEVTX{{n.x + s * a.x + t * b.x, n.y + s * a.y + t * b.y, n.z + s * a.z + t * b.z}, n, 0x80808080u, 0, 0};
    };
    const ZEVTX q[4] = {corner(-1, -1), corner(1, -1), corner(-1, 1), corner(1, 1)};
    for (int i : {0, 1, 2, 1, 3, 2}) v.push_back(q[i]);
  }
  return v;
}

struct LitCube : ObjDraw {
  uint8_t randoms[64] = {};
  void SetUp() override {
    ObjDraw::SetUp();
    ZeTrigInit();
    InitLights();
    randtab_ptr = randoms;
  }
  void TearDown() override {
    randtab_ptr = nullptr;
    InitLights();
    PlatSetHostRoot(nullptr);
    ObjDraw::TearDown();
  }
};

}  // namespace

TEST_F(LitCube, PictureOfACubeUnderAFlickerLightAtTwoLevels) {
  PlatSetHostRoot(TestTempDir().c_str());
  // Outside ambient 32 (0.25); a flicker light 3 in front of the cube's lit
  // point, base 64, 64, 64 (score 192: sent at colour / 128), gradient 192,
  // 64, 0; it ends a falling phase at level 0 and rises 16 a frame for 8.
  std::vector<LEVLIGHT> set(LIGHTSET_RECORDS);
  for (LEVLIGHT& l : set) {
    memset(&l, 0, sizeof l);
    l.type = LEVLIGHT_FREE;
  }
  LEVLIGHT& f = set[0];
  f.type = LEVLIGHT_FLICKER;
  f.col[0] = f.col[1] = f.col[2] = 64;
  f.gradcol[0] = 192, f.gradcol[1] = 64, f.gradcol[2] = 0;
  f.radius = 10;
  f.pos = {0, 0.5f, -3};
  f.flickconst = 8, f.flickstep = 16, f.flickcount = 1;
  ASSERT_EQ(WriteLightSet("LEVEL.LGT", set.data()), 1);
  ASSERT_EQ(InsertLightSet("LEVEL.LGT"), 0);
  thesunambr = thesunambg = thesunambb = 32;

  ZEMTL* mtl = Material(0, false);
  const std::vector<ZEVTX> cube = Cube();
  uint32_t* chain = Block<uint32_t>(4096);
  MeshPacket(chain, cube, nullptr);
  ZEGOBJ* obj = OneNodeObject(Block<ZEGOBJ>(sizeof(ZEGOBJ)), Block<ZEGEOM>(sizeof(ZEGEOM)), mtl, chain, {-1, -1, -1},
                              {1, 1, 1});
  obj->tricount = 12;
  ZEMTX at;
  ZeMtxSetIdentity(&at);
  const ZEVEC pos = {0, 0, 0};
  COBLIGHTS rec;
  InitLight(&rec);
  auto draw = [&] {
    SearchLights(&global_camera.mtx, &pos, &rec, 0);
    ZeRndrGScnObj(obj, &at);
    SetDefaultLights(1);
  };
  // Level 0: the base colour, 0.5 on the front face: 128 x (0.25 + 0.5).
  ProcessFlicker(&global_camera.mtx, 0, 1, 0);
  ASSERT_EQ(Lights[2].flicklevel, 0);
  ASSERT_EQ(Lights[2].flickcount, -8);
  const Picture dim = Grab(Frame(draw), 240, 56, 160, 112, "coblight_flicker_0");
  EXPECT_EQ(dim.at(320, 112), 0x606060u);
  EXPECT_EQ(dim.at(241, 57), 0x202020u) << "the clear colour around the cube";
  // Level 128: colour 128, 64, 32: red 128 x 1.25, green 96, blue 128 x 0.5.
  for (int i = 0; i < 8; i++) ProcessFlicker(&global_camera.mtx, 0, 1, 0);
  ASSERT_EQ(Lights[2].flicklevel, 128);
  const Picture bright = Grab(Frame(draw), 240, 56, 160, 112, "coblight_flicker_128");
  EXPECT_EQ(bright.at(320, 112), 0x4060a0u);
  // The whole face changes, nothing else.
  EXPECT_EQ(dim.Count(0x606060u), bright.Count(0x4060a0u));
  EXPECT_EQ(dim.Count(0x202020u), bright.Count(0x202020u));
}
