// The clipping overlays: a batch drawn as a strip with its flags, clipped
// triangles drawn as fans inside every plane of the clip volume, culled
// triangles dropped, lighting and the quad entry's layout.
#include "gfx_test.h"
#include "platform_test.h"

#include <cstring>

namespace {

using M4 = float[4][4];

void Load(int at, const char* name, int size) {
  std::vector<uint32_t> w(size_t(size) * 2, 0);
  Vu1Signature sig{VU1_SIG_MAGIC, uint32_t(size), {}};
  strncpy(sig.name, name, VU1_SIG_NAME - 1);
  memcpy(w.data(), &sig, sizeof sig);
  Vu1MicroWrite(at, w.data(), size);
}

void PutMtx(int qw, const M4& m) {
  for (int i = 0; i < 4; i++) memcpy(Vu1Quad(qw + i), m[i], 16);
}
void PutFloats(int qw, float x, float y, float z, float w) {
  float q[4] = {x, y, z, w};
  memcpy(Vu1Quad(qw), q, 16);
}
void PutWords(int qw, uint32_t x, uint32_t y, uint32_t z, uint32_t w) {
  uint32_t q[4] = {x, y, z, w};
  memcpy(Vu1Quad(qw), q, 16);
}
uint32_t Bits(float f) {
  uint32_t w;
  memcpy(&w, &f, 4);
  return w;
}

// Camera looking down +z; clip space: x and y inside -z..z, z inside the
// near plane 1 and the far plane 3 (zc = 2z - 3). Screen: 100 pixels per
// unit of x/z around 2048, Z 1000.
constexpr M4 IDENT = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
constexpr M4 CLIP = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 2, 1}, {0, 0, -3, 0}};
constexpr M4 SCREEN = {{1600, 0, 0, 0}, {0, 1600, 0, 0}, {32768, 32768, 1000, 1}, {0, 0, 0, 0}};
constexpr int TOP = 256;

struct V {
  float x, y, z;
  int flag;  // 1: closes no triangle
};

struct Clip : testing::Test {
  void SetUp() override {
    GifReset();
    Vu1Reset();
    memset(Vu1DataMem(), 0, VU1_MEM_SIZE);
    Load(0, "xform", 0x13f0 / 8);
    PutMtx(0, IDENT);
    PutMtx(4, SCREEN);
    PutMtx(8, CLIP);
    PutFloats(0x13, 128, 128, 128, 128);
  }
  void Latch(bool clipping, int mode = 0) {
    PutWords(23, uint32_t(mode), 0, 0, 0);
    Vu1Start(clipping ? 2 : 0, TOP, 0);
  }
  // The clip entry's layout: flag in the low byte of the normal's x.
  void Batch(const std::vector<V>& vs, const char* program = "tricu", float nz = 0.0f) {
    Load(0x300, program, 0x100);
    const int e = int(vs.size());
    PutWords(TOP + 2, uint32_t(3 * e), 0, 0, 0);
    PutGifTag(Vu1Quad(TOP + 0xd2), uint32_t(e), true, GIF_PACKED, 3, 0x512, true, 4);
    for (int i = 0; i < e; i++) {
      PutWords(TOP + 3 + 3 * i, Bits(vs[i].x), Bits(vs[i].y), Bits(vs[i].z), uint32_t(vs[i].flag));
      PutWords(TOP + 4 + 3 * i, 2048, 1024, 0, uint32_t(int32_t(nz * 4096)));
      PutWords(TOP + 5 + 3 * i, 0x80, 0x40, 0x20, 0x80);
    }
    Vu1Start(0x300, TOP, 0);
  }
};

struct Xy {
  int x, y;
};
std::vector<Xy> Points(const GsCapture& gs, int reg) {
  std::vector<Xy> out;
  for (uint64_t v : gs.Values(reg)) out.push_back({int(v & 0xffff), int((v >> 16) & 0xffff)});
  return out;
}

}  // namespace

TEST_F(Clip, InsideTriangleIsDrawnByTheStripWithItsFlags) {
  Latch(true);
  GsCapture gs;
  Batch({{0, 0, 2, 1}, {1, 0, 2, 1}, {0, 1, 2, 0}});
  // Two vertices close nothing (XYZ3), the third draws the triangle.
  ASSERT_EQ(gs.Values(GS_XYZ3).size(), 2u);
  ASSERT_EQ(gs.Values(GS_XYZ2).size(), 1u);
  const uint64_t last = gs.Values(GS_XYZ2)[0];
  EXPECT_EQ(last & 0xffff, 32768u);
  EXPECT_EQ((last >> 16) & 0xffff, 32768u + 800u);
  EXPECT_EQ(last >> 32, 1000u);
  EXPECT_EQ(Points(gs, GS_XYZ3)[1].x, 32768 + 800);
  EXPECT_EQ(gs.Values(GS_PRIM), (std::vector<uint64_t>{4})) << "no fan";
  // Unlit: vertex colour times the material colour / 128; STQ with Q = 1/w.
  EXPECT_EQ(gs.Values(GS_RGBAQ)[0] & 0xffffffffu, 0x80u | 0x40u << 8 | 0x20u << 16 | 0x80u << 24);
  float st[2];
  const uint64_t s = gs.Values(GS_ST)[0];
  memcpy(&st[0], &s, 4);
  memcpy(&st[1], reinterpret_cast<const char*>(&s) + 4, 4);
  EXPECT_FLOAT_EQ(st[0], 0.25f);
  EXPECT_FLOAT_EQ(st[1], 0.125f);
}

TEST_F(Clip, TrianglesCrossingEachPlaneAreCutToTheVolume) {
  // One triangle across each of the six planes; the fan's points all lie
  // inside the volume on screen, and the strip draws nothing.
  const struct {
    const char* plane;
    std::vector<V> tri;
  } cases[] = {
      {"x = w", {{0, 0, 2, 1}, {4, 0, 2, 1}, {0, 1, 2, 0}}},
      {"x = -w", {{0, 0, 2, 1}, {-4, 0, 2, 1}, {0, 1, 2, 0}}},
      {"y = w", {{0, 0, 2, 1}, {1, 0, 2, 1}, {0, 4, 2, 0}}},
      {"y = -w", {{0, 0, 2, 1}, {1, 0, 2, 1}, {0, -4, 2, 0}}},
      {"far", {{0, 0, 2, 1}, {0.5f, 0, 2, 1}, {0, 0.5f, 5, 0}}},
      {"near", {{0, 0, 0.5f, 1}, {0.5f, 0, 2, 1}, {0, 0.5f, 2, 0}}},
  };
  for (const auto& c : cases) {
    Latch(true);
    GsCapture gs;
    Batch(c.tri);
    EXPECT_EQ(gs.Values(GS_PRIM), (std::vector<uint64_t>{4, 5})) << c.plane;
    // Three strip vertices (none drawing), then the fan's: 4 points.
    auto pts = Points(gs, GS_XYZ2);
    ASSERT_EQ(pts.size(), 4u) << c.plane;
    for (const Xy& p : pts) {
      EXPECT_GE(p.x, 32768 - 1601) << c.plane;
      EXPECT_LE(p.x, 32768 + 1601) << c.plane;
      EXPECT_GE(p.y, 32768 - 1601) << c.plane;
      EXPECT_LE(p.y, 32768 + 1601) << c.plane;
    }
    EXPECT_EQ(Points(gs, GS_XYZ3).size(), 3u) << c.plane;
  }
  // Near plane: the cut points lie at z = 1, where screen Z is 1000 and x/z
  // of the edge from (0, 0, 0.5) to (0.5, 0, 2) is 1/6 (t = 1/3).
  Latch(true);
  GsCapture gs;
  Batch({{0, 0, 0.5f, 1}, {0.5f, 0, 2, 1}, {0, 0.5f, 2, 0}});
  auto fan = gs.Values(GS_XYZ2);
  EXPECT_EQ(fan[0] & 0xffff, uint64_t(32768 + 1600 / 6)) << "the cut of the first edge";
  EXPECT_EQ(fan[0] >> 32, 1000u);
}

TEST_F(Clip, OutsideTrianglesAreCulledAndUnclippedBatchesDrawAsTheyCome) {
  Latch(true);
  {
    GsCapture gs;
    Batch({{5, 0, 2, 1}, {6, 0, 2, 1}, {5, 1, 2, 0}});
    EXPECT_TRUE(gs.Values(GS_XYZ2).empty());
    EXPECT_EQ(gs.Values(GS_PRIM), (std::vector<uint64_t>{4}));
  }
  // Without clipping (entry 0 of the local matrix) the same triangle is
  // drawn in the strip, off to the side.
  Latch(false);
  GsCapture gs;
  Batch({{5, 0, 2, 1}, {6, 0, 2, 1}, {5, 1, 2, 0}});
  ASSERT_EQ(gs.Values(GS_XYZ2).size(), 1u);
  EXPECT_EQ(gs.Values(GS_XYZ2)[0] & 0xffff, uint64_t(32768 + 4000));
  // A strip of 5 flagged 1, 1, 0, 0, 0 draws three triangles.
  GsCapture strip;
  Batch({{0, 0, 2, 1}, {0.1f, 0, 2, 1}, {0, 0.1f, 2, 0}, {0.1f, 0.1f, 2, 0}, {0, 0.2f, 2, 0}});
  EXPECT_EQ(strip.Values(GS_XYZ2).size(), 3u);
}

TEST_F(Clip, LitProgramsTakeTheLightsAndTheMaterialColour) {
  // Light 0 along +z (toward the light) of colour 0.5, ambient 0.25; a
  // normal along +z gets 0.75 of the material colour 128 = 96.
  PutFloats(12, 0, 0, 0, 0);
  PutFloats(13, 0, 0, 0, 0);
  PutFloats(14, 1, 0, 0, 0);
  PutFloats(15, 0.5f, 0.5f, 0.5f, 0);
  PutFloats(18, 0.25f, 0.25f, 0.25f, 0);
  Latch(true, 1);
  GsCapture gs;
  Batch({{0, 0, 2, 1}, {1, 0, 2, 1}, {0, 1, 2, 0}}, "tri", 1.0f);
  EXPECT_EQ(gs.Values(GS_RGBAQ)[0] & 0xffffffffu, 96u | 96u << 8 | 96u << 16 | 128u << 24);
  // tric multiplies by the vertex colour as well: red 0x80 stays 96, green 0x40 gives 48.
  GsCapture gs2;
  Batch({{0, 0, 2, 1}, {1, 0, 2, 1}, {0, 1, 2, 0}}, "tric", 1.0f);
  EXPECT_EQ(gs2.Values(GS_RGBAQ)[0] & 0xffffffffu, 96u | 48u << 8 | 24u << 16 | 128u << 24);
  // A normal facing away takes the ambient alone.
  GsCapture gs3;
  Batch({{0, 0, 2, 1}, {1, 0, 2, 1}, {0, 1, 2, 0}}, "tri", -1.0f);
  EXPECT_EQ(gs3.Values(GS_RGBAQ)[0] & 0xff, 32u);
}

TEST_F(Clip, QuadEntryReadsWordFlagsAndFourTwelveTextureWords) {
  Latch(true);
  Load(0x300, "fx2", 0x100);
  const V quad[4] = {{0, 0, 2, 1}, {1, 0, 2, 1}, {0, 1, 2, 0}, {1, 1, 2, 0}};
  PutWords(TOP + 2, 12, 0, 0, 0);
  PutGifTag(Vu1Quad(TOP + 0xd2), 4, true, GIF_PACKED, 3, 0x512, true, 4);
  for (int i = 0; i < 4; i++) {
    PutWords(TOP + 3 + 3 * i, Bits(quad[i].x), Bits(quad[i].y), Bits(quad[i].z), quad[i].flag ? 0x8000 : 0x7fff);
    PutWords(TOP + 4 + 3 * i, 4096, 0, 0, 0);
    PutWords(TOP + 5 + 3 * i, 0x80, 0x80, 0x80, 0x80);
  }
  GsCapture gs;
  Vu1Start(0x306, TOP, 0);
  EXPECT_EQ(gs.Values(GS_XYZ2).size(), 2u) << "flags 1, 1, 0, 0: two triangles";
  float s;
  const uint64_t st = gs.Values(GS_ST)[0];
  memcpy(&s, &st, 4);
  EXPECT_FLOAT_EQ(s, 0.5f) << "u 1.0 times Q = 1/2";
  EXPECT_HALT(Vu1Start(0x308, TOP, 0), "fx2: no entry at +8");
  PutWords(TOP + 2, 3 * 43, 0, 0, 0);
  EXPECT_HALT(Vu1Start(0x306, TOP, 0), "batch of 43 vertices");
}

TEST_F(Clip, XformuvTakesItsTextureFromTheLatchedBlock) {
  // The specular block: identity rows, last row (0.5, 0.5, 0, 1); a normal
  // along x lands half a texture to the right of the centre.
  PutMtx(12, IDENT);
  PutFloats(15, 0.5f, 0.5f, 0, 1);
  Latch(false, 4);
  Load(0x300, "xformuv", 0x100);
  PutWords(TOP + 2, 9, 0, 0, 0);
  PutGifTag(Vu1Quad(TOP + 0xd2), 3, true, GIF_PACKED, 3, 0x512, true, 4);
  const V tri[3] = {{0, 0, 2, 1}, {1, 0, 2, 1}, {0, 1, 2, 0}};
  for (int i = 0; i < 3; i++) {
    PutWords(TOP + 3 + 3 * i, Bits(tri[i].x), Bits(tri[i].y), Bits(tri[i].z), (Bits(1.0f) & ~0xffu) | uint32_t(tri[i].flag));
    PutWords(TOP + 4 + 3 * i, 0, 0, 0, 0);
    PutWords(TOP + 5 + 3 * i, 0x80, 0x80, 0x80, 0x80);
  }
  GsCapture gs;
  Vu1Start(0x300, TOP, 0);
  ASSERT_EQ(gs.Values(GS_ST).size(), 3u);
  float st[2];
  const uint64_t s = gs.Values(GS_ST)[0];
  memcpy(st, &s, 8);
  // Q = 1/2 at depth 2: (1.0, 0.5) x Q.
  EXPECT_FLOAT_EQ(st[0], 0.5f);
  EXPECT_FLOAT_EQ(st[1], 0.25f);
  EXPECT_EQ(gs.Values(GS_RGBAQ)[0] & 0xffffffffu, 0x80808080u) << "shaded unlit";
}

TEST_F(Clip, DamagedBatchesOfTheOtherEntriesAreClearFatalErrors) {
  Latch(false);
  Load(0x300, "tric", 0x100);
  // A skin packet whose count quadword matches no point count.
  PutWords(TOP + 2, 41, 1, 0, 0);
  PutGifTag(Vu1Quad(TOP + 0xd2), 10, true, GIF_PACKED, 3, 0x512, true, 4);
  EXPECT_HALT(Vu1Start(0x302, TOP, 0), "does not match its 10 points");
  // A reuse marker naming its own point.
  PutWords(TOP + 2, 8, 1, 0, 0);
  PutGifTag(Vu1Quad(TOP + 0xd2), 2, true, GIF_PACKED, 3, 0x512, true, 4);
  PutWords(TOP + 3, 1, 1, 1, 1);
  EXPECT_HALT(Vu1Start(0x302, TOP, 0), "skin point 0 reuses point 0");
  // Bezier corners not three a patch; too many sprites.
  PutWords(TOP + 2, 3 * 4, 0, 0, 0);
  EXPECT_HALT(Vu1Start(0x308, TOP, 0), "4 corners");
  PutWords(TOP + 1, 3 * 21, 0, 0, 0);
  EXPECT_HALT(Vu1Start(0x304, TOP, 0), "batch of 21 sprites");
  PutWords(TOP + 1, 3 * 11, 0, 0, 0);
  EXPECT_HALT(Vu1Start(0x306, TOP, 0), "batch of 11 sprites");
  EXPECT_HALT(Vu1Start(0x30c, TOP, 0), "tric: no entry at +12");
  // The idle point is past every entry.
  GsCapture gs;
  Vu1Start(0x310, TOP, 0);
  EXPECT_TRUE(gs.writes.empty());
}

// The screen-copy programs: texture coordinates from the screen position
// through the effect block (water, triglass), moved by the vertex's wave
// (water, wateruv) or pushed along the normal (triglass), clamped to the
// copy's filled part; nrmmap kicks the palette block before its batch.
TEST_F(Clip, ScreenCopyProgramsTable) {
  Latch(false);
  // Waves at 0x1b2: vector k is (k / 100, -k / 50, 1, 0).
  for (int k = 0; k < 32; k++) PutFloats(0x1b2 + k, float(k) / 100.0f, -float(k) / 50.0f, 1.0f, 0.0f);
  // The triangle at depth 2: screen (32768, 32768), (32768 + 800, 32768),
  // (32768, 32768 + 800); waves 8, 9, 8 by cell (x + 4 z); texture (0.5,
  // 0.25); normal (0, 0, -1).
  const std::vector<V> tri = {{0, 0, 2, 1}, {1, 0, 2, 1}, {0, 1, 2, 0}};
  const float W = 640, H = 224;
  const struct {
    const char* program;
    float e[8];
    float st[3][2];
  } cases[] = {
      // S = (X - 32768 + 8 e6) e4 + e0 + wave x e2, T likewise with e7, e5, e1.
      {"water",
       {0.01f, 0.02f, 0.5f, 0, 1 / 16384.0f, 1 / 4096.0f, W, H},
       {{0.3125f + 0.01f + 0.04f, 0.4375f + 0.02f - 0.08f},
        {0.3125f + 800 / 16384.0f + 0.01f + 0.045f, 0.4375f + 0.02f - 0.09f},
        {0.3125f + 0.01f + 0.04f, 0.4375f + 800 / 4096.0f + 0.02f - 0.08f}}},
      // Past the filled part: clamped to (W - 1) / 1024 and 0.
      {"water",
       {0.5f, -1.0f, 0, 0, 1 / 16384.0f, 1 / 4096.0f, W, H},
       {{639 / 1024.0f, 0}, {639 / 1024.0f, 0}, {639 / 1024.0f, 0}}},
      // wateruv: its own (0.5, 0.25) plus the wave x e2, times Q = 1/2.
      {"wateruv",
       {0, 0, 0.5f, 0, 0, 0, 0, 0},
       {{(0.5f + 0.04f) * 0.5f, (0.25f - 0.08f) * 0.5f},
        {(0.5f + 0.045f) * 0.5f, (0.25f - 0.09f) * 0.5f},
        {(0.5f + 0.04f) * 0.5f, (0.25f - 0.08f) * 0.5f}}},
      // triglass: S = e0 + X e4 (the material build's values for 640 x 224).
      {"triglass",
       {(W * 8 - 32768) / 16384.0f, (H * 8 - 32768) / 4096.0f, 0, 0, 1 / 16384.0f, 1 / 4096.0f, 639 / 1024.0f,
        223 / 256.0f},
       {{0.3125f, 0.4375f}, {0.3125f + 800 / 16384.0f, 0.4375f}, {0.3125f, 0.4375f + 800 / 4096.0f}}},
      // Past the copy's last texel: clamped to e6 and 0.
      {"triglass",
       {0.5f, -9.0f, 0, 0, 1 / 16384.0f, 1 / 4096.0f, 639 / 1024.0f, 223 / 256.0f},
       {{639 / 1024.0f, 0}, {639 / 1024.0f, 0}, {639 / 1024.0f, 0}}},
      // Pushed one unit along the normal to depth 1: 1600 per unit.
      {"triglass",
       {(W * 8 - 32768) / 16384.0f, (H * 8 - 32768) / 4096.0f, 1, 0, 1 / 16384.0f, 1 / 4096.0f, 639 / 1024.0f,
        223 / 256.0f},
       {{0.3125f, 0.4375f}, {0.3125f + 1600 / 16384.0f, 0.4375f}, {0.3125f, 0.4375f + 1600 / 4096.0f}}},
  };
  for (const auto& c : cases) {
    PutFloats(0x14, c.e[0], c.e[1], c.e[2], c.e[3]);
    PutFloats(0x15, c.e[4], c.e[5], c.e[6], c.e[7]);
    GsCapture gs;
    Batch(tri, c.program, -1.0f);
    const std::vector<uint64_t> st = gs.Values(GS_ST);
    ASSERT_EQ(st.size(), 3u) << c.program;
    for (int i = 0; i < 3; i++) {
      float f[2];
      memcpy(f, &st[size_t(i)], 8);
      EXPECT_NEAR(f[0], c.st[i][0], 1e-6f) << c.program << " vertex " << i;
      EXPECT_NEAR(f[1], c.st[i][1], 1e-6f) << c.program << " vertex " << i;
    }
    // Screen-space coordinates go out with Q 1, the others with 1 / w.
    const float q = strcmp(c.program, "wateruv") == 0 ? 0.5f : 1.0f;
    float rq;
    const uint64_t rgbaq = gs.Values(GS_RGBAQ)[0];
    memcpy(&rq, reinterpret_cast<const char*>(&rgbaq) + 4, 4);
    EXPECT_FLOAT_EQ(rq, q) << c.program;
  }

  // nrmmap: the palette block's packet (its tag: NLOOP 1, EOP, twelve
  // registers, here twelve PRMODE writes) first, then the strip.
  PutGifTag(Vu1Quad(0x1c0), 1, true, GIF_PACKED, 12, 0xeeeeeeeeeeeeull);
  for (int i = 0; i < 12; i++) PutAd(Vu1Quad(0x1c1 + i), GS_PRMODE, 0x200u + uint32_t(i));
  {
    GsCapture gs;
    Batch(tri, "nrmmap");
    const std::vector<int> regs = gs.Regs();
    ASSERT_GE(regs.size(), 12u);
    EXPECT_EQ(regs[0], GS_PRMODE);
    EXPECT_EQ(gs.Values(GS_PRMODE).size(), 12u);
    EXPECT_EQ(gs.Values(GS_XYZ2).size(), 1u) << "then the triangle";
  }
  // No block there (another tag at 0x1c0): the batch alone.
  PutGifTag(Vu1Quad(0x1c0), 1, true, GIF_PACKED, 1, GIF_DESC_AD);
  GsCapture gs;
  Batch(tri, "nrmmap");
  EXPECT_TRUE(gs.Values(GS_PRMODE).empty());
  EXPECT_EQ(gs.Values(GS_XYZ2).size(), 1u);
}

// Their tables lie where skin points reach in buffer 0: skins (and
// sprites, whose templates they do not use) are refused.
TEST_F(Clip, ScreenCopyProgramsRefuseSkinsAndSprites) {
  Latch(false);
  for (const char* name : {"water", "wateruv", "nrmmap", "triglass"}) {
    Load(0x300, name, 0x100);
    EXPECT_HALT(Vu1Start(0x302, TOP, 0), (std::string(name) + ": skinned geometry cannot be drawn").c_str());
    EXPECT_HALT(Vu1Start(0x304, TOP, 0), (std::string(name) + ": sprites cannot be drawn").c_str());
    EXPECT_HALT(Vu1Start(0x30c, TOP, 0), (std::string(name) + ": no entry at +12").c_str());
  }
}
