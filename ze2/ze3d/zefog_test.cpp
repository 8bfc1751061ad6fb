// Haze and fog: the colour arithmetic, the palettes, the dome, and fog and
// haze drawn on the GS model over a ramp of walls at known depths.
#include "zelgt_test.h"

namespace {

using Fog = Light;

TEST_F(Fog, CrossFadeColourTable) {
  struct {
    float t;
    uint32_t a, b, want;
  } cases[] = {
      {0.5f, 0x00000000, 0xff0000ff, 0x7f00007f},
      {-1.0f, 0x11223344, 0x55667788, 0x11223344},
      {1.0f, 0x11223344, 0x55667788, 0x55667788},
      {0.25f, 0xff000000, 0x00ff0000, 0xc03f0000},  // falling channels truncate toward a
  };
  for (auto& c : cases) EXPECT_EQ(CrossFadeColour(c.t, c.a, c.b), c.want) << c.t;
}

TEST_F(Fog, FogColourByDirection) {
  uint32_t tables[20];
  for (int i = 0; i < 10; i++) tables[i] = 0x80000000u | uint32_t(i * 20);            // first: red ramp
  for (int i = 0; i < 10; i++) tables[10 + i] = 0x80000000u | uint32_t(i * 20) << 16;  // second: blue ramp
  ZEMTX id;
  ZeMtxSetIdentity(&id);
  const float axis[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  const float time = 2.0f;
  fogshade_enable = 1;
  ZeLgtFogShadeAxis(axis, tables, &time, &id);
  EXPECT_EQ(ZeLgtShadeFog, 1);
  EXPECT_FLOAT_EQ(ZeLgtTAxis.x, 1.0f);
  // s = 1 (along the axis): t = 10, i = 10: both tables' entry 0; the
  // result is the first table's.
  ZEVEC d = {1, 0, 0};
  EXPECT_EQ(ZeLgtCalcFogCol(&d), tables[0]);
  // s = 0: t = 5, entry 5 of each; the second table's.
  d = {0, 0, 1};
  EXPECT_EQ(ZeLgtCalcFogCol(&d), tables[15]);
  fogshade_enable = 0;
  ZeLgtShadeFog = 0;
}

TEST_F(Fog, PlainPaletteShiftsTwoWindowStepsWithTflip) {
  ZeRndrFogCol = 0x80204060;
  int zN, zF;
  ZeLgtFogDepths(10.0f, 40.0f, &zN, &zF);
  ASSERT_GT(zN, zF);
  const ZELGTWINDOW w = ZeLgtDepthWindow(zF, zN);
  uint32_t p0[256], p1[256];
  tflip = 0;
  ZeLgtFogPalette(p0, 0, w, zN, zF);
  tflip = 1;
  ZeLgtFogPalette(p1, 0, w, zN, zF);
  int shifted = 0;
  for (int j = 2; j < 256; j++) {
    // With tflip 0 the entry stands two window steps nearer.
    const int64_t z = int64_t(w.base) + (int64_t(255 - j) << w.k);
    if (z >= zN || z <= zF) {
      continue;
    }
    const uint32_t g0 = uint32_t(std::min<int64_t>((int64_t(zN) - z + (2 << w.k)) * 65536 / (zN - zF), 0x10000));
    EXPECT_EQ(p0[j] >> 24, (0x80 * g0) >> 16) << j;
    const uint32_t g1 = uint32_t(std::min<int64_t>((int64_t(zN) - z) * 65536 / (zN - zF), 0x10000));
    EXPECT_EQ(p1[j] >> 24, (0x80 * g1) >> 16) << j;
    shifted += p0[j] != p1[j];
  }
  EXPECT_GT(shifted, 0);
  // Nearer than near: half strength; beyond far: the fog colour.
  EXPECT_EQ(p1[0], (0x204060u | 0x40u << 24)) << "entry 0 stands for the window's near end";
  // Shade fog: grey by depth; a table: its entries.
  ZeLgtShadeFog = 1;
  ZeLgtFogPalette(p1, 0, w, zN, zF);
  EXPECT_EQ(p1[0], 0x40808080u);
  ZeLgtShadeFog = 0;
  uint32_t table[256];
  for (uint32_t i = 0; i < 256; i++) table[i] = i * 0x01010101u;
  ZeLgtFogPal = table;
  ZeLgtFogPalette(p1, 0, w, zN, zF);
  EXPECT_EQ(p1[0], table[255]);
  ZeLgtFogPal = nullptr;
}

TEST_F(Fog, DomeHas32StripsOf16Vertices) {
  // The dome packet: 512 vertices in strips of 16 (k = 16), top ring up.
  ASSERT_NE(ZeLgtFogMesh, nullptr);
  EXPECT_EQ(ZeLgtFogMesh[0] >> 28 & 7, 6u) << "a ret packet";
}

// The frame: ten walls of 64 pixels at view distances d0 x 1.4^i.
struct Ramp {
  float d[10];
};
Ramp Walls(float d0) {
  Ramp r;
  for (int i = 0; i < 10; i++) r.d[i] = d0 * std::pow(1.4f, float(i));
  return r;
}

// Expected fog over a wall colour c at depth z: the palette entry of the
// wall's index blended by ((Cs - Cd) x As >> 7) + Cd.
uint32_t Fogged(uint32_t c, uint32_t e) {
  uint32_t r = 0;
  const int a = int(e >> 24);
  for (int k = 0; k < 3; k++) {
    const int d = int(c >> (8 * k) & 0xff), s = int(e >> (8 * k) & 0xff);
    r |= uint32_t(std::clamp(((s - d) * a >> 7) + d, 0, 255)) << (8 * k);
  }
  return r;
}

// Fog N over the ramp: walls inside the window take their index's entry.
// Catches: single-bit FBMSK passes and the Z24/CT32 layouts of the index
// (as the glows), and Z above the format's maximum (the copy's 0x1ffffff).
TEST_F(Fog, ModeNOverADepthRamp) {
  fog = true;
  const Ramp r = Walls(6.0f);
  ZeLightFog(10.0f, 40.0f, 0x80c08040, 0, 0);
  const uint64_t f = Frame([&] {
    for (int i = 0; i < 10; i++) Wall(64 * i, 0, 64 * (i + 1), 224, 0x00404040, DepthAt(r.d[i]));
  });
  Grab(f, 0, 100, 640, 24, "fog_mode_n");
  // tflip was 0 and is 1 during the pass: distances 10.05 and 40.05.
  int zN, zF;
  ZeLgtFogDepths(10.05f, 40.05f, &zN, &zF);
  const ZELGTWINDOW w = ZeLgtDepthWindow(zF, zN);
  uint32_t pal[256];
  ZeLgtFogPalette(pal, 0, w, zN, zF);
  for (int i = 0; i < 10; i++) {
    const int64_t z = DepthAt(r.d[i]);
    int idx = z < w.base ? 255 : z >= int64_t(w.base) + (256ll << w.k) ? 0 : 255 - int((z - w.base) >> w.k);
    EXPECT_EQ(Px(f, 64 * i + 32, 112), Fogged(0x404040, pal[idx])) << "wall " << i << " at " << r.d[i];
  }
  EXPECT_EQ(ZeLgtFogPal, nullptr);
}

// Fog G: bits 8-15 of each depth as the index, through the depth buffer's
// 16-bit view copied half a block column over. Catches: Z16 and CT16 views
// of Z24 at double height, T8H over CT32.
TEST_F(Fog, ModeGOverADepthRamp) {
  fog = true;
  const Ramp r = Walls(24.0f);
  ZeLightFogG(30.0f, 150.0f, 0x8040c080, 0, 0);
  const uint64_t f = Frame([&] {
    for (int i = 0; i < 10; i++) Wall(64 * i, 0, 64 * (i + 1), 224, 0x00404040, DepthAt(r.d[i]));
  });
  Grab(f, 0, 100, 640, 24, "fog_mode_g");
  int zN, zF;
  ZeLgtFogDepths(30.05f, 150.05f, &zN, &zF);
  zF = std::min(zF, 0x8000);
  zN = std::min(zN, 0xffff);
  const ZELGTWINDOW w = {zF & ~0xffff, 8};
  uint32_t pal[256];
  ZeLgtFogPalette(pal, 1, w, zN, zF);
  for (int i = 0; i < 10; i++) {
    const uint32_t z = DepthAt(r.d[i]);
    EXPECT_EQ(Px(f, 64 * i + 32, 112), Fogged(0x404040, pal[z >> 8 & 0xff])) << "wall " << i << " at " << r.d[i];
  }
}

// Mode N with a colour table for this frame, and with the fog dome (shade
// fog): the dome is drawn at the window's top depth with the grey-by-depth
// palette, coloured by the fog tables (all one colour here, so every
// vertex has it exactly).
TEST_F(Fog, ModeNWithATableAndWithTheDome) {
  fog = true;
  const Ramp r = Walls(6.0f);
  uint32_t table[256];
  for (uint32_t i = 0; i < 256; i++) table[i] = (255 - i) | i << 8 | 0x40u << 24;
  auto walls = [&] {
    for (int i = 0; i < 10; i++) Wall(64 * i, 0, 64 * (i + 1), 224, 0x00404040, DepthAt(r.d[i]));
  };
  ZeLightFog(10.0f, 40.0f, 0x80c08040, 0, 0);
  ZeLightFogPal(table);
  uint64_t f = Frame(walls);
  Grab(f, 0, 100, 640, 24, "fog_mode_n_table");
  int zN, zF;
  ZeLgtFogDepths(10.05f, 40.05f, &zN, &zF);
  const ZELGTWINDOW w = ZeLgtDepthWindow(zF, zN);
  auto index = [&](int i) {
    const int64_t z = DepthAt(r.d[i]);
    return z < w.base ? 255 : z >= int64_t(w.base) + (256ll << w.k) ? 0 : 255 - int((z - w.base) >> w.k);
  };
  uint32_t pal[256];
  ZeLgtFogPal = table;
  tflip = 1;
  ZeLgtFogPalette(pal, 0, w, zN, zF);
  ZeLgtFogPal = nullptr;
  for (int i = 0; i < 10; i++) EXPECT_EQ(Px(f, 64 * i + 32, 112), Fogged(0x404040, pal[index(i)])) << i;
  // The dome.
  uint32_t tables[20];
  for (uint32_t& t : tables) t = 0x80406080u;
  ZEMTX id;
  ZeMtxSetIdentity(&id);
  const float axis[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  const float time = 0.0f;
  fogshade_enable = 1;
  ZeLgtFogShadeAxis(axis, tables, &time, &id);
  tflip = 0;
  f = Frame(walls);
  fogshade_enable = 0;
  Grab(f, 0, 100, 640, 24, "fog_mode_n_dome");
  EXPECT_EQ(ZeLgtShadeFog, 0) << "one frame only";
  ZeLgtShadeFog = 1;
  ZeLgtFogPalette(pal, 0, w, zN, zF);
  ZeLgtShadeFog = 0;
  const uint32_t top = uint32_t(((int64_t(zN - 1) >> w.k) << w.k) - 1);
  for (int i = 0; i < 10; i++) {
    const uint32_t e = pal[index(i)];
    // Modulated by the dome's colour (0x80, 0x60, 0x40, alpha 0x80).
    const uint32_t m = ((e & 0xff) * 0x80 >> 7) | ((e >> 8 & 0xff) * 0x60 >> 7) << 8 |
                       ((e >> 16 & 0xff) * 0x40 >> 7) << 16 | ((e >> 24) * 0x80 >> 7) << 24;
    const uint32_t want = DepthAt(r.d[i]) <= top ? Fogged(0x404040, m) : 0x404040u;
    EXPECT_EQ(Px(f, 64 * i + 32, 112), want) << i;
  }
}

TEST_F(Fog, NearEqualFarDrawsNothingAndKeepsTheFrameSettings) {
  fog = true;
  uint32_t table[256] = {};
  ZeLightFog(10.0f, 10.0f, 0x80ffffff, 0, 0x80808080);
  ZeLightFogPal(table);
  const uint64_t f = Frame([&] { Wall(0, 0, 640, 224, 0x00404040, DepthAt(20.0f)); });
  EXPECT_EQ(Px(f, 320, 112), 0x404040u);
  EXPECT_EQ(ZeLgtFogPal, table) << "kept: the pass did not draw";
  ZeLgtFogPal = nullptr;
}

// Haze: the frame redrawn through the wobbling grid where the scene lies
// beyond the depth limit, weighted by the fog's alpha.
TEST_F(Fog, HazeWobblesOnlyBeyondTheDepthLimit) {
  fog = true;
  std::vector<uint8_t> bytes(20 + 4 * 21 * 33, 0);
  for (size_t i = 0; i < bytes.size(); i++) bytes[i] = uint8_t(i * 37 + 11);
  ZeRndrShadowInit(bytes.data());
  auto scene = [&] {
    for (int x = 0; x < 640; x += 8) {
      const uint32_t c = (x / 8) % 2 ? 0x00c0c0c0 : 0x00202020;
      Wall(x, 0, x + 8, 112, c, DepthAt(30.0f));   // top: far, inside the fog
      Wall(x, 112, x + 8, 224, c, DepthAt(5.0f));  // bottom: near
    }
  };
  auto frame = [&](uint32_t haze) {
    tflip = 0;
    ZeLightFog(10.0f, 40.0f, 0x40000000, 0, haze);
    return Frame(scene);
  };
  frame(0x80808080);  // the grid's phases move away from 0
  const uint64_t hazy = frame(0x80808080);
  Grab(hazy, 0, 0, 640, 224, "haze");
  std::vector<uint32_t> withHaze;
  for (int y = 0; y < 224; y++)
    for (int x = 0; x < 640; x++) withHaze.push_back(Px(hazy, x, y));
  const uint64_t plain = frame(0);
  // The far rows change; every pixel of the near rows (the row at the
  // boundary aside) is exactly the frame without haze.
  int changedFar = 0, changedNear = 0;
  for (int y = 0; y < 224; y++)
    for (int x = 0; x < 640; x++) {
      const bool differs = withHaze[size_t(y * 640 + x)] != Px(plain, x, y);
      if (y < 112) changedFar += differs;
      if (y > 112) changedNear += differs;
    }
  EXPECT_GT(changedFar, 0) << "the far stripes wobble";
  EXPECT_EQ(changedNear, 0) << "nearer than the depth limit: untouched";
}

// Haze over a uniform far wall: the wobbled copy of one colour is that
// colour, so every far pixel must come out the same. The fog alone turns
// the wall's C into N = (0 - C) x Af >> 7 + C, Af the fog's alpha there;
// the haze composite, its alpha that same Af from surface 12, gives (N x
// 0x40 >> 7 - N) x Af >> 7 + N over the whole far half, and the near half
// is the fogged frame's exactly. Catches: copy texels the wobbling grid
// left unwritten at the frame's edges (the top rows showed old memory), the
// composite's depth limit, and the signed blend's floor.
TEST_F(Fog, HazeOverAUniformWallIsUniform) {
  fog = true;
  std::vector<uint8_t> bytes(20 + 4 * 21 * 33, 0);
  for (size_t i = 0; i < bytes.size(); i++) bytes[i] = uint8_t(i * 37 + 11);
  ZeRndrShadowInit(bytes.data());
  auto scene = [&] {
    Wall(0, 0, 640, 112, 0x00c0c0c0, DepthAt(30.0f));
    Wall(0, 112, 640, 224, 0x00202020, DepthAt(5.0f));
  };
  auto frame = [&](uint32_t haze) {
    tflip = 0;
    ZeLightFog(10.0f, 40.0f, 0x40000000, 0, haze);
    return Frame(scene);
  };
  const uint64_t plain = frame(0);
  const int n = int(Px(plain, 320, 50) & 0xff);
  std::vector<uint32_t> near;
  for (int y = 114; y < 224; y++)
    for (int x = 0; x < 640; x++) near.push_back(Px(plain, x, y));
  // The far wall's fog alpha, from the fogged colour.
  int af = -1;
  for (int a = 0; a <= 128 && af < 0; a++)
    if (((-0xc0 * a) >> 7) + 0xc0 == n) af = a;
  ASSERT_GT(af, 0) << n;
  const int want = ((((n * 0x40) >> 7) - n) * af >> 7) + n;
  frame(0x80404040);  // the grid's phases move away from 0
  const uint64_t f = frame(0x80404040);
  Grab(f, 0, 0, 640, 224, "haze_uniform");
  int wrongFar = 0, wrongNear = 0;
  for (int y = 0; y < 224; y++)
    for (int x = 0; x < 640; x++) {
      if (y < 110) wrongFar += Px(f, x, y) != uint32_t(want) * 0x010101u;
      if (y >= 114) wrongNear += Px(f, x, y) != near[size_t((y - 114) * 640 + x)];
    }
  EXPECT_EQ(wrongFar, 0) << std::hex << Px(f, 320, 0) << " " << Px(f, 320, 50) << " want " << want;
  EXPECT_EQ(wrongNear, 0);
}

}  // namespace
