// Scene control, clipped stream primitives and the ordering table: the
// packets they write and what reaches the GS.
#include "ze3d_test.h"

#include <cstring>

namespace {

struct Scene : testing::Test {
  void SetUp() override {
    StartRenderer(&texBuf, &mtlBuf, 64);
    ZeFntInit();
    ZECAMERA* cam = ZeCameraCreate();
    cam->mtx.m[3][2] = -10.0f;
    ZeCameraSet(cam);
    ZeCameraDestroy(cam);
  }
  void TearDown() override {
    ZeFntClose();
    StopRenderer(texBuf, mtlBuf);
  }
  char* texBuf = nullptr;
  char* mtlBuf = nullptr;
 public:
  void Kick() {
    ZePs2ScreenSwap(1);
    ZeRndrVu1Draw();
    KernelYield();
    ZeRndrSwapStreamBuffers();
  }
};

struct Strip {
  int x0, x1;
};
std::vector<Strip> Strips(const GsCapture& gs) {
  std::vector<Strip> out;
  auto xyz = gs.Values(GS_XYZ2);
  for (size_t i = 0; i + 1 < xyz.size(); i += 2) out.push_back({int(xyz[i] & 0xffff), int(xyz[i + 1] & 0xffff)});
  return out;
}

// The batches of a clip packet: per MSCAL, the vertex count and the flag
// words of the positions.
struct BatchSeen {
  int vertices;
  std::vector<uint32_t> flags;
  uint32_t entry;
};
std::vector<BatchSeen> ParseClip(const uint32_t* tag) {
  std::vector<BatchSeen> out;
  const int qwc = int(tag[0] & 0xffff);
  const uint32_t* w = tag + 4;
  const uint32_t* end = tag + 4 + qwc * 4;
  BatchSeen cur{};
  int cl = 1, wl = 1;
  w += 4;  // the fan template's data (its UNPACK is in the tag)
  while (w < end) {
    const uint32_t code = *w++;
    const uint32_t cmd = code >> 24;
    if ((cmd & 0x60) == 0x60) {
      const int num = int((code >> 16) & 0xff), vn = int((cmd >> 2) & 3), vl = int(cmd & 3);
      const int bits = (32 >> vl) * (vn + 1);
      const int words = (num * bits + 31) / 32;
      const int addr = int(code & 0x3ff);
      if (addr == 2) cur.vertices = int(w[0] & 0xffff) / 3;
      if (addr == 3 && vl == 0 && vn == 3) {
        const int step = cl == 3 && wl == 2 ? 8 : 4;
        for (int i = 0; i < cur.vertices; i++) cur.flags.push_back(w[i * step + 3]);
      }
      w += words;
    } else if (cmd == 0x01) {
      cl = int(code & 0xff);
      wl = int((code >> 8) & 0xff);
    } else if (cmd == 0x14) {
      cur.entry = code & 0xffff;
      out.push_back(cur);
      cur = {};
    }
  }
  return out;
}

std::vector<ZEVTX> Verts(int n) {
  std::vector<ZEVTX> v(static_cast<size_t>(n));
  for (int i = 0; i < n; i++) v[size_t(i)] = {{float(i % 3) * 0.1f, float(i % 2) * 0.1f, 0}, {0, 0, -1}, 0x80808080, 0, 0};
  return v;
}

}  // namespace

TEST_F(Scene, BeginSceneSetsOffsetScissorAndFrameMask) {
  zerndr_half_offset = 8;
  ZeRndrBeginScene(-1);
  EXPECT_EQ(*ZeRndrStreamGetOffset(), uint64_t(27648) | uint64_t(30976 + 8) << 32);
  EXPECT_EQ(*ZeRndrStreamGetScissor(), uint64_t(639) << 16 | uint64_t(223) << 48);
  EXPECT_EQ(cur_rt >> 32, 0xff000000u);
  ZeRndrBeginScene(-3);
  EXPECT_EQ(*ZeRndrStreamGetOffset() >> 32, 30976u) << "no half pixel off the back buffer";
  EXPECT_EQ(zerndr_curr_rt, -3);
  zerndr_half_offset = 0;
  EXPECT_HALT(ZeRndrStarfield(), "unsupported guff");
}

TEST_F(Scene, ClearsWriteStripsOfSpritesWithTheirTests) {
  ZeRndrBeginScene(-1);
  ZeRndrClear(0x100, 0x80402010, 0.5f);
  ZeRndrEndSceneEx(0);
  GsCapture gs;
  Kick();
  // Colour only: alpha test NEVER keeping the frame; depth test ALWAYS.
  EXPECT_EQ(gs.Values(GS_TEST_1).back(), 1u | 1u << 12 | 1u << 16 | 1u << 17);
  auto strips = Strips(gs);
  ASSERT_EQ(strips.size(), 10u) << "640 pixels in strips of 64";
  EXPECT_EQ(strips[0].x0, 27648);
  EXPECT_EQ(strips[0].x1, 27648 + 1024);
  EXPECT_EQ(strips[9].x1, 27648 + 640 * 16);
  EXPECT_EQ(gs.Values(GS_XYZ2)[0] >> 32, 4194303u) << "z of depth 0.5";
  EXPECT_EQ(gs.Values(GS_RGBAQ)[0] & 0xffffffff, 0x80402010u);

  // Both flags or neither: colour and depth, no alpha test.
  ZeRndrBeginScene(-1);
  ZeRndrClear(0x700, 0, 1.0f);
  ZeRndrEndSceneEx(0);
  GsCapture gs2;
  Kick();
  EXPECT_EQ(gs2.Values(GS_TEST_1).back(), 1u << 16 | 1u << 17);
  EXPECT_EQ(gs2.Values(GS_XYZ2)[0] >> 32, 0u) << "depth 1 clears to 0";
}

TEST_F(Scene, MaterialRectangleClearsStartTheirStripsOnMultiplesOf1024) {
  const struct {
    int x, w;
    std::vector<Strip> want;
  } cases[] = {
      {28000, 1000, {{28000, 28672}, {28672, 29000}}},
      {27648, 2048, {{27648, 28672}, {28672, 29696}}},
      {27000, 1000, {{27648, 28000}}},
  };
  for (const auto& c : cases) {
    ZeRndrBeginScene(-1);
    ZeRndrClearMtlRect(c.x, 31000, c.w, 160, 0x300, 0, 0, nullptr, 1, 0, 0);
    ZeRndrEndScene();
    GsCapture gs;
    Kick();
    auto got = Strips(gs);
    ASSERT_EQ(got.size(), c.want.size()) << c.x;
    for (size_t i = 0; i < got.size(); i++) {
      EXPECT_EQ(got[i].x0, c.want[i].x0) << c.x;
      EXPECT_EQ(got[i].x1, c.want[i].x1) << c.x;
    }
    EXPECT_EQ(gs.Values(GS_TEST_1).back() & (1u << 14), 1u << 14) << "destination alpha test from date";
  }
}

TEST_F(Scene, GradientClearAndTheSwapCountsFrames) {
  ZeRndrBeginScene(-1);
  ZeRndrGradClear(0x400, 0x0000ff, 0xff0000, 1.0f);
  ZeRndrEndSceneEx(0);
  GsCapture gs;
  const int before = ZeRndrGlobalFrameCount();
  ZeRndrSwapScreen(-1);
  KernelYield();
  EXPECT_EQ(ZeRndrGlobalFrameCount(), before + 1);
  EXPECT_EQ(gs.Values(GS_PRMODE).back(), 8u);
  auto rgba = gs.Values(GS_RGBAQ);
  ASSERT_EQ(rgba.size(), 4u);
  EXPECT_EQ(rgba[0] & 0xffffffff, 0x800000ffu);
  EXPECT_EQ(rgba[3] & 0xffffffff, 0x80ff0000u);
  ZeRndrGlobalFrameCountPause(1);
  ZeRndrSwapScreen(-1);
  KernelYield();
  EXPECT_EQ(ZeRndrGlobalFrameCount(), before + 1) << "paused";
  ZeRndrGlobalFrameCountPause(0);
}

// A scene drawn before in the same frame (a texture page's slot) leaves a
// small scissor and a shifted offset in the GS; the next scene's gradient
// clear still fills the whole viewport.
TEST_F(Scene, AGradientClearFillsTheViewportAfterAScissoredScene) {
  uint64_t frame;
  ZePs2GetCurrentBackBuffer(&frame);
  const uint32_t fbp = uint32_t(frame & 0x1ff) * 32, fbw = uint32_t(frame >> 16 & 0x3f);
  ZeRndrBeginScene(-1);
  ZeRndrSetScissor(8, 8, 15, 15);
  ZeRndrSetXYOffset((PS2_VCNTR_X - 12) * 16, (PS2_VCNTR_Y - 12) * 16);
  ZeRndrClear(0x700, 0x00ff00, 1.0f);
  ZeRndrEndScene();
  ZeRndrBeginScene(-1);
  ZeRndrGradClear(0x700, 0x0000ff, 0x0000ff, 1.0f);
  ZeRndrEndScene();
  Kick();
  const int w = int(ZePs2GetRenderWidth()), h = int(ZePs2GetRenderHeight());
  const int at[][2] = {{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}, {w / 2, h / 2}, {12, 12}};
  for (const auto& p : at)
    EXPECT_EQ(GsMemReadPixel(PSMCT32, fbp, fbw, p[0], p[1]) & 0xffffff, 0x0000ffu) << p[0] << ", " << p[1];
}

TEST_F(Scene, ClippedPrimitivesSplitIntoBatches) {
  auto v = Verts(50);
  const struct {
    const char* what;
    int which, count, k;
    std::vector<int> sizes;
  } cases[] = {
      {"tri 45", 0, 45, 3, {42, 3}},     {"strip 50", 1, 50, 0, {42, 10}}, {"quad 44", 2, 44, 4, {40, 4}},
      {"quad 40", 2, 40, 4, {40}},       {"kickmod 4", 3, 44, 4, {40, 4}}, {"kickmod 3", 3, 45, 3, {42, 3}},
      {"nonorm 3", 4, 45, 3, {42, 3}},
  };
  for (const auto& c : cases) {
    ZERNDRSTREAM* s = rndrstream_3d_u;
    ZeRndrStreamLink(s);
    uint32_t* before = nullptr;
    switch (c.which) {
      case 0:
      case 1: {
        uint32_t* start = s->write;
        if (c.which == 0) ZeRndrStreamTri3dClip(v.data(), c.count, nullptr, s);
        else ZeRndrStreamTriStrip3dClip(v.data(), c.count, nullptr, s);
        // The packet is the cnt tag with the primitive's marker.
        for (uint32_t* t = start; t < s->write.get();) {
          const bool cnt = (t[0] >> 28 & 7) == uint32_t(DMATAG_CNT);
          if (cnt && ((t[0] >> 16) & 0xff) == (c.which == 0 ? 17u : 19u)) before = t;
          t += cnt ? 4 + int(t[0] & 0xffff) * 4 : 4;
        }
        break;
      }
      default:
        before = s->write;
        if (c.which == 2) ZeRndrStreamQuad3dClip(v.data(), c.count, nullptr, s);
        else if (c.which == 3) ZeRndrStreamQuad3dClipKickMod(v.data(), c.count, c.k, s);
        else ZeRndrStreamQuad3dClipKickModNoNorm(v.data(), c.count, c.k, s);
        rndrstream_free = vpDmaTag_Next(s->write, nullptr);
    }
    ASSERT_NE(before, nullptr) << c.what;
    auto batches = ParseClip(before);
    ASSERT_EQ(batches.size(), c.sizes.size()) << c.what;
    for (size_t i = 0; i < batches.size(); i++) EXPECT_EQ(batches[i].vertices, c.sizes[i]) << c.what << " " << i;
    if (c.which == 0) {
      // Flags restart at every batch: 1, 1, 0 by index in the low byte.
      EXPECT_EQ(batches[1].flags[0] & 0xff, 1u);
      EXPECT_EQ(batches[1].flags[2] & 0xff, 0u);
      EXPECT_EQ(batches[0].entry, 0x300u);
    }
    if (c.which == 1) {
      EXPECT_EQ(batches[1].flags[0] & 0xff, 1u);
      EXPECT_EQ(batches[1].flags[1] & 0xff, 1u);
      EXPECT_EQ(batches[1].flags[2] & 0xff, 0u);
    }
    if (c.which == 2) {
      EXPECT_EQ(batches[0].entry, 0x306u);
      EXPECT_EQ(batches[0].flags[1], 0x8000u);
      EXPECT_EQ(batches[0].flags[2], 0x7fffu);
    }
  }
  EXPECT_HALT(ZeRndrStreamQuad3dClipKickMod(v.data(), 3, 0, rndrstream_3d_u), "0 vertices per primitive");
}

TEST_F(Scene, ATriangleThroughTheNearPlaneIsClippedOnTheWayToTheGs) {
  // 10 units ahead, one corner behind the camera.
  std::vector<ZEVTX> v = {
      {{-1, -1, 0}, {0, 0, -1}, 0x80808080, 0, 0},
      {{1, -1, 0}, {0, 0, -1}, 0x80808080, 1, 0},
      {{0, 1, -12}, {0, 0, -1}, 0x80808080, 0, 1},
  };
  ZeRndrBeginScene(-1);
  ZeRndrStreamTri3dClip(v.data(), 3, nullptr, rndrstream_3d_u);
  ZeRndrEndSceneEx(0);
  GsCapture gs;
  Kick();
  auto prims = gs.Values(GS_PRIM);
  ASSERT_FALSE(prims.empty());
  EXPECT_EQ(prims.back(), 5u) << "drawn as a fan";
  const ZEVIEWPORT* vp = ZeVpGetCurrentViewport();
  for (uint64_t p : gs.Values(GS_XYZ2)) {
    const int x = int(p & 0xffff);
    EXPECT_GT(x, vp->x - 2 * vp->width);
    EXPECT_LT(x, vp->x + 3 * vp->width);
  }
  EXPECT_GE(gs.Values(GS_XYZ2).size(), 4u);
}

TEST_F(Scene, CloseReleasesTheRenderersOwnBlocks) {
  // The heap's list at the program's exit names only what was not given
  // back: the stream buffers and the ordering table are the renderer's.
  auto held = [] {
    ConsoleCaptureScope console;
    ZeMemDumpFn(0);
    return console.text();
  };
  const std::string open = held();
  EXPECT_NE(open.find("zestream.cpp"), std::string::npos) << open;
  EXPECT_NE(open.find("zerndrclip.cpp"), std::string::npos) << open;
  ZeRndrClose();
  const std::string closed = held();
  EXPECT_EQ(closed.find("zestream.cpp"), std::string::npos) << closed;
  EXPECT_EQ(closed.find("zerndrclip.cpp"), std::string::npos) << closed;
  EXPECT_EQ(rndrstream_buffer[0], nullptr);
  EXPECT_EQ(rndrstream_buffer[1], nullptr);
  ZeRndrClose();  // twice is harmless

  // It starts again and draws a frame.
  ZeRndrInitEx(ZERNDRSTREAM_DEFAULT_BUFFER);
  ASSERT_TRUE(rndrstream_buffer[0] && rndrstream_buffer[1]);
  EXPECT_EQ(rndrstream_count, 9);
  ZeRndrStreamFlush();
  EXPECT_EQ(ReadChain(rndrstream_start).back(), "end");
  Kick();
}

TEST_F(Scene, OrderingTableSortsBatchesAndIsMadeWhenAskedFor) {
  // Start-up opens the table with 0 and 0 first: the renderer's own request
  // must still give it storage.
  ZeRndrOTClose();
  ZeRndrOTInit(0, 0);
  ZeRndrOTInit(4096, 1024);
  // Two batches of one triangle each: records of a ref tag and nine quadwords.
  EeQwords mem(2 * 10 + 2);
  uint8_t* rec = reinterpret_cast<uint8_t*>(mem.w);
  for (int t = 0; t < 2; t++) {
    uint32_t* r = reinterpret_cast<uint32_t*>(rec + t * ZEOT_TRI_RECORD);
    vpDmaTag_RefEx(r, r + 4, 0, 0x6c098000u | 3);
    r[0] = (r[0] & 0xffff0000u) | 9;
    for (int k = 0; k < 3; k++) {
      float* pos = reinterpret_cast<float*>(r + 4 + k * 12);
      pos[0] = float(k) * 0.5f;
      pos[1] = float(k == 2);
      pos[2] = t == 0 ? 0.0f : 20.0f;
      uint32_t* col = r + 4 + k * 12 + 8;
      col[0] = col[1] = col[2] = col[3] = 0x80;
    }
  }
  ZeRndrBeginScene(-1);
  ZeRndrOTInsertTriBatch(nullptr, 2, nullptr, rec, 1);
  ZeRndrOTInsertTriBatch(nullptr, 2, nullptr, rec + ZEOT_TRI_RECORD, 1);
  ZeRndrOTInsertTriBatch(nullptr, 2, nullptr, rec, 2049);  // too many: dropped
  ZeRndrEndSceneEx(ZERNDR_ENDSCENE_OT);
  GsCapture gs;
  Kick();
  // Far batch first: two triangles, each drawn by the strip's third vertex.
  auto xyz = gs.Values(GS_XYZ2);
  ASSERT_EQ(xyz.size(), 2u);
  EXPECT_LT(xyz[0] >> 32, xyz[1] >> 32) << "the far triangle (smaller z) first";
}

TEST_F(Scene, LinesAreCutAtTheNearPlaneAndCulledBeyondOnePlane) {
  ZeRndrBeginScene(-1);
  ZEVTX behind[2] = {{{0, 0, -20}, {}, 0x80ffffff, 0, 0}, {{1, 0, -30}, {}, 0x80ffffff, 0, 0}};
  EXPECT_EQ(ZeRndrLine3d(behind, nullptr, nullptr), 0);
  ZEVTX through[2] = {{{0, 0, 0}, {}, 0x80ffffff, 0, 0}, {{0, 0, -20}, {}, 0x80ffffff, 0, 0}};
  EXPECT_EQ(ZeRndrLine3d(through, nullptr, nullptr), 1);
  for (int i = 0; i < ZERNDR_DBG_LINES + 1; i++) ZeRndrLine3dDbg(0x80ffffff, 0, 0, 0, 1, 0, 0);
  EXPECT_EQ(LineCnt3dDbg, ZERNDR_DBG_LINES) << "the 2049th line is dropped";
  ZeRndrLine3dDbgFlush();
  EXPECT_EQ(LineCnt3dDbg, 0);
  ZeRndrEndSceneEx(0);
  GsCapture gs;
  Kick();
  auto xyz = gs.Values(GS_XYZ2);
  ASSERT_EQ(xyz.size(), 2u + 2u * ZERNDR_DBG_LINES);
  // The inside end unchanged; the other cut at the near plane: same x and y
  // on the view axis, the depth of the near plane.
  const ZEVIEWPORT* vp = ZeVpGetCurrentViewport();
  EXPECT_EQ(int(xyz[1] & 0xffff), vp->x + vp->width / 2);
  EXPECT_NEAR(double(xyz[1] >> 32), double(vp->zmin), 64.0) << "near plane depth";
}

TEST_F(Scene, FaceOnSpritesKeepOneCornerOrderWhenRotated) {
  ZESPRITE sp = {};
  sp.pos = {0, 0, 0};
  sp.ua = 0, sp.va = 0, sp.ub = 1, sp.vb = 1;
  sp.width = sp.height = 1;
  sp.cosine = 1;
  sp.colour[0] = sp.colour[1] = sp.colour[2] = sp.colour[3] = 0x80;
  std::vector<uint64_t> plain, turned;
  for (int pass = 0; pass < 2; pass++) {
    ZeRndrBeginScene(-1);
    sp.cosine = pass == 0 ? 1.0f : 0.999999f;
    ZeRndrFaceOn(&sp, nullptr, nullptr);
    ZeRndrEndScene();
    GsCapture gs;
    Kick();
    (pass == 0 ? plain : turned) = gs.Values(GS_XYZ2);
  }
  ASSERT_EQ(plain.size(), 4u);
  ASSERT_EQ(turned.size(), 4u);
  for (size_t i = 0; i < 4; i++) {
    EXPECT_NEAR(double(plain[i] & 0xffff), double(turned[i] & 0xffff), 2.0) << i;
    EXPECT_NEAR(double((plain[i] >> 16) & 0xffff), double((turned[i] >> 16) & 0xffff), 2.0) << i << ": not mirrored";
  }
}

TEST_F(Scene, DepthRectanglesWriteSixRegistersIntoTheCurrentStream) {
  rndrstream_3d = rndrstream_3d_u;
  ZeRndrStreamLink(rndrstream_3d);
  uint32_t* before = rndrstream_3d->write;
  ZeRndrRectUV3diNS(0, 0, 16, 16, 0x80808080, 5, 0, 0, 1, 1);
  EXPECT_EQ(rndrstream_3d->write.get() - before, 12) << "six doublewords, no tag";
}

namespace {

// Prints text and returns the GS writes of the frame.
struct Printed {
  std::vector<uint64_t> rgba, xyz;
};
Printed PrintFrame(Scene* t, const char* text) {
  ZeRndrBeginScene(-1);
  ZeFntPrint("%s", text);
  ZeRndrEndSceneEx(0);
  GsCapture gs;
  t->Kick();
  return {gs.Values(GS_RGBAQ), gs.Values(GS_XYZ2)};
}
int Adv(char c) {
  const ZEFNTGLYPH& g = ZeFntCur->glyphs[ZeFntCur->map[uint8_t(c)]];
  return (g.width - 1) * 16;
}

}  // namespace

TEST_F(Scene, TextMeasuresLinesAndPlacesThePen) {
  ZeFntSet(nullptr);
  ZeFntScale(16, 16);
  EXPECT_EQ(ZeFntHeight, 128) << "16 texels at scale 16";
  const int w = Adv('d') + Adv('e') + Adv('f') + Adv('g') + Adv('h');
  EXPECT_EQ(ZeFntPrintLen("abc\ndefgh"), w);
  EXPECT_EQ(ZeFntPrintHeight, 2 * ZeFntHeight);
  EXPECT_EQ(ZeFntPrintLen("defgh\nabc"), w);
  EXPECT_EQ(ZeFntPrintLen("de\tfgh"), w) << "a tab adds no width";
  EXPECT_EQ(ZeFntPrintLen("#12#defgh"), w) << "an escape counts nothing";
  ZeFntScale(32, 16);
  EXPECT_EQ(ZeFntPrintLen("d"), Adv('d') * 2);
  ZeFntScale(16, 16);

  ZeFntMoveAbs(1600, 800);
  int x, y;
  ZeFntPos(&x, &y);
  EXPECT_EQ(x, 1600);
  EXPECT_EQ(y, 800 - ZeFntBase);
  // Right-justified text ends at x; centred text is centred on it.
  ZeRndrBeginScene(-1);
  ZeFntPrintEx(4000, 800, 1, "abc");
  ZeFntPos(&x, &y);
  EXPECT_EQ(x, 4000);
  ZeFntPrintEx(4000, 800, 2, "abcd");
  ZeFntPos(&x, &y);
  EXPECT_EQ(x, 4000 - (ZeFntPrintLength >> 1) + ZeFntPrintLength);
  ZeRndrEndSceneEx(0);
  Kick();

  // A carriage return starts the next line at the call's start x.
  ZeFntMoveAbs(1600, 800);
  Printed p = PrintFrame(this, "ab\rc");
  ASSERT_EQ(p.xyz.size(), 6u);
  EXPECT_EQ(p.xyz[4] & 0xffff, p.xyz[0] & 0xffff);
  EXPECT_EQ((p.xyz[4] >> 16 & 0xffff) - (p.xyz[0] >> 16 & 0xffff), uint64_t(ZeFntHeight));
}

TEST_F(Scene, TextColourEscapes) {
  ZeFntSet(nullptr);
  ZeFntScale(16, 16);
  const ZECOLOUR32 cols[3] = {0x80000010u, 0x80204060u, 0x80808080u};
  for (int i = 0; i < 3; i++) zefnt_colours[i] = cols[i];
  zefnt_colour_count = 3;
  const struct {
    const char* text;
    int glyphs;
    std::vector<uint64_t> colours;  // RGBAQ words written, in order
  } cases[] = {
      {"AB#2#CD", 4, {0x80808080, 0x80808080}},
      {"#h1#X", 1, {0x80808080, 0x40102030}},
      {"#hd1#X", 1, {0x80808080, 0x80204060}},
      {"#dh1#X", 6, {0x80808080}},
      {"#9#X", 1, {0x80808080}},
      {"##X", 1, {0x80808080, 0x80000010}},
      {"100# done", 9, {0x80808080}},
  };
  for (const auto& c : cases) {
    ZeFntSetPen(0x80808080);
    ZeFntMoveAbs(0, 800);
    Printed p = PrintFrame(this, c.text);
    EXPECT_EQ(int(p.xyz.size()), 2 * c.glyphs) << c.text;
    std::vector<uint64_t> got;
    for (uint64_t v : p.rgba) got.push_back(v & 0xffffffff);
    EXPECT_EQ(got, c.colours) << c.text;
  }
  zefnt_colour_count = 0;
  ZeFntSetPen(0x80808080);
  Printed none = PrintFrame(this, "##X");
  EXPECT_EQ(none.xyz.size(), 2u) << "no colours: only X";
}

TEST_F(Scene, DamagedFontsLongTextAndLongColourFilesAreSafe) {
  // A map entry past the glyph count is no glyph: nothing drawn, glyph 0's advance.
  std::vector<uint8_t> bad(ariel16_fnt, ariel16_fnt + sizeof ariel16_fnt);
  bad[32 + 'A'] = 200;
  ZEFNT* f = ZeFntLoadMem(bad.data(), int(bad.size()), ariel16_bmp);
  ZeFntSet(f);
  ZeFntMoveAbs(0, 800);
  Printed p = PrintFrame(this, "A");
  EXPECT_TRUE(p.xyz.empty());
  EXPECT_EQ(ZeFntPrintLength, (f->glyphs[0].width - 1) * 16);
  ZeFntSet(nullptr);
  ZeFntDestroy(f);
  // A record shorter than its glyph count says: the clear error.
  EXPECT_HALT(ZeFntLoadMem(ariel16_fnt, 300, ariel16_bmp), "unable to create memfont");

  // Text longer than the buffer is cut, never overrun.
  std::string longText(3000, 'i');
  ZeRndrBeginScene(-1);
  ZeFntMoveAbs(0, 800);
  ZeFntPrint("%s", longText.c_str());
  EXPECT_EQ(ZeFntPrintLength, (ZEFNT_TEXT - 1) * Adv('i'));
  EXPECT_EQ(ZeFntPrintLen("%s", longText.c_str()), (ZEFNT_TEXT - 1) * Adv('i'));
  ZeRndrEndSceneEx(0);
  Kick();

  // A colour file of 300 lines: the first 256 are taken, the rest ignored.
  ZEFILE h = ZeFileOpen("fnttest.col", 1);
  ASSERT_NE(h, 0);
  for (int i = 0; i < 300; i++) {
    char line[64];
    const int n = snprintf(line, sizeof line, "col %d 2 3 128\n", i);
    ZeFileWrite(h, line, n);
  }
  ZeFileClose(h);
  EXPECT_EQ(ZeFntLoadColours("fnttest"), 1);
  EXPECT_EQ(zefnt_colour_count, 256);
  EXPECT_EQ(zefnt_colours[255], 255u | 2u << 8 | 3u << 16 | 128u << 24);
  EXPECT_EQ(ZeFntLoadColours("nosuchfile"), 0);
  zefnt_colour_count = 0;
}

TEST_F(Scene, PictureOfAClearAndAClippedLitStrip) {
  // Drawn by the GS model: the clear colour everywhere but where a lit
  // strip crossing the near plane covers the centre of the screen.
  ZEMTL* lit = ZeMtlCreate(1);
  lit->attributes |= 1u << ZEMTLATTR_VTXCOL;
  lit->diffuse[0] = lit->diffuse[1] = lit->diffuse[2] = 1.0f;
  ZeMtlUpdate(lit);
  const ZEVEC dir = {0, 0, -1}, white = {1, 1, 1}, none = {0, 0, 0}, amb = {0, 0, 0};
  ZeRndrSetDirectionalLights(&dir, &white, &dir, &none, &dir, &none);
  ZeRndrSetAmbientLight(&amb);
  std::vector<ZEVTX> strip = {
      {{-4, -2, 0}, {0, 0, -1}, 0x80808080, 0, 0},
      {{4, -2, 0}, {0, 0, -1}, 0x80808080, 1, 0},
      {{-4, -1, -20}, {0, 0, -1}, 0x80808080, 0, 1},
      {{4, -1, -20}, {0, 0, -1}, 0x80808080, 1, 1},
  };
  uint64_t frame;
  ZePs2GetCurrentBackBuffer(&frame);
  ZeRndrBeginScene(-1);
  ZeRndrClear(0x700, 0x00204080, 1.0f);
  ZeRndrTriStrip3dClip(strip.data(), 4, nullptr, lit);
  ZeRndrEndScene();
  Kick();
  const uint32_t fbp = uint32_t(frame & 0x1ff) * 32, fbw = uint32_t(frame >> 16 & 0x3f);
  EXPECT_EQ(GsMemReadPixel(PSMCT32, fbp, fbw, 2, 2) & 0xffffff, 0x204080u) << "cleared";
  // A floor below the camera, from 10 ahead to behind it: the bottom of the
  // screen is covered, the top is not.
  const uint32_t bottom = GsMemReadPixel(PSMCT32, fbp, fbw, 320, 220) & 0xffffff;
  EXPECT_NE(bottom, 0x204080u) << "the strip covers the bottom";
  EXPECT_GT(bottom & 0xff, 0x40u) << "lit by the light facing it";
  EXPECT_EQ(GsMemReadPixel(PSMCT32, fbp, fbw, 320, 10) & 0xffffff, 0x204080u);
  ZeMtlDestroy(lit);
}

TEST_F(Scene, TheScreenIsCopiedOncePerFrameUntilFreed) {
  EXPECT_EQ(ZeRndrCopyScreenTex(), -1);
  ZERNDRSTREAM* s = rndrstream_fx;
  ZeRndrCopyScreen(s);  // before the copy exists: nothing
  const ZETEXID tex = ZeRndrCopyScreenInit();
  ASSERT_GT(tex, 0);
  EXPECT_EQ(ZeRndrCopyScreenInit(), tex);
  ZeRndrBeginScene(-1);
  ZeRndrStreamLink(s);
  uint32_t* w0 = s->write;
  ZeRndrCopyScreen(s);
  uint32_t* w1 = s->write;
  EXPECT_GT(w1, w0);
  EXPECT_EQ(zerndr_curr_rt, -1) << "the target is restored";
  ZeRndrCopyScreen(s);
  EXPECT_EQ(s->write.get(), w1) << "once a frame";
  ZeRndrCopyScreenFree();
  ZeRndrCopyScreen(s);
  EXPECT_GT(s->write.get(), w1) << "again after the free";
  rndrstream_free = vpDmaTag_Next(s->write, nullptr);
  ZeRndrEndScene();
  Kick();
  ZeRndrCopyScreenTerminate();
  EXPECT_EQ(ZeRndrCopyScreenTex(), -1);
}

namespace {

// An 8-bit (or 4-bit) BMP file of w x h texels from a texel function.
void WriteBmp(const char* name, int w, int h, int bits, int (*texel)(int x, int y)) {
  const int row = ((w * bits + 31) / 32) * 4, pal = (1 << bits) * 4, off = 54 + pal;
  std::vector<uint8_t> b(size_t(off + row * h), 0);
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; i++) b[size_t(at + i)] = uint8_t(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, uint32_t(b.size()));
  put32(10, uint32_t(off));
  put32(14, 40);
  put32(18, uint32_t(w));
  put32(22, uint32_t(h));
  b[26] = 1;
  b[28] = uint8_t(bits);
  put32(46, uint32_t(1 << bits));
  for (int i = 0; i < (1 << bits); i++) b[size_t(54 + i * 4)] = b[size_t(55 + i * 4)] = b[size_t(56 + i * 4)] = uint8_t(i * 40);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      uint8_t& d = b[size_t(off + (h - 1 - y) * row + x * bits / 8)];
      if (bits == 8) d = uint8_t(texel(x, y));
      else d |= uint8_t(texel(x, y) << (x & 1 ? 0 : 4));
    }
  ZEFILE f = ZeFileOpen(name, 1);
  ZeFileWrite(f, b.data(), int(b.size()));
  ZeFileClose(f);
}

}  // namespace

TEST_F(Scene, FontsAreCutFromBitmapsAndWrittenBack) {
  // Two bands of 8 lines: A at columns 1-2 and B at 4-6 in the first, C at
  // 0-3 in the second; index 0 is the key.
  WriteBmp("fntsrc.bmp", 16, 16, 8, [](int x, int y) {
    if (y < 8) return (x >= 1 && x <= 2) || (x >= 4 && x <= 6) ? 1 : 0;
    return x <= 3 ? 2 : 0;
  });
  ZEFNT* f = ZeFntCreate("fntsrc.bmp", 8, 6, 0, "A BC");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->count, 4);
  EXPECT_EQ(f->map['A'], 0);
  EXPECT_EQ(f->map['C'], 3);
  EXPECT_EQ(f->glyphs[0].width, 2);
  EXPECT_EQ(f->glyphs[0].left, 1.0f / 16);
  EXPECT_EQ(f->glyphs[1].width, 2) << "a space is a quarter of the cell";
  EXPECT_EQ(f->glyphs[2].width, 3);
  EXPECT_EQ(f->glyphs[2].left, 4.0f / 16);
  EXPECT_EQ(f->glyphs[3].top, 0.5f) << "C is found on the next band";
  EXPECT_EQ(f->glyphs[3].width, 4);
  // Written and read back into a buffer: lower case falls back to upper case.
  ZeFntWrite("fntout", f);
  char* const buf = static_cast<char*>(ZeMemAlloc(64 * 1024));
  char* const bufEnd = buf + 64 * 1024;
  char* pos = buf;
  ZEFNT* back = ZeFntLoadPtr("fntout", &pos, bufEnd);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->count, 4);
  EXPECT_EQ(back->map['a'], 0);
  EXPECT_GT(pos, buf);
  ZeTexDestroy(back->mtl->texture);
  ZeMtlDestroy(back->mtl.get());
  ZeFntDestroy(f);
  char* pos2 = buf;
  EXPECT_EQ(ZeFntLoadPtr("nosuchfont", &pos2, bufEnd), nullptr);
  EXPECT_EQ(pos2, buf) << "the position is restored";
  ZeMemFree(buf);

  WriteBmp("fnt4.bmp", 16, 8, 4, [](int, int) { return 1; });
  EXPECT_HALT(ZeFntCreate("fnt4.bmp", 8, 6, 0, "A"), "Can only create fonts from 8 bit palettized");
  EXPECT_HALT(ZeFntCreate("fntsrc.bmp", 8, 6, 0, "ABCD"), "Off end of map guvnor");
}

TEST_F(Scene, PictureOf2dPrimitivesAndColouredText) {
  zefnt_colours[0] = 0x80ffffffu;
  zefnt_colours[1] = 0x800000ffu;  // red
  zefnt_colour_count = 2;
  uint64_t frame;
  ZePs2GetCurrentBackBuffer(&frame);
  ZeRndrBeginScene(-1);
  ZeRndrClear(0x700, 0x00000000, 1.0f);
  // Integer family: a green square at the top-left corner, 4 x 4 pixels.
  ZeRndrRect2di(0, 0, 4 * 16, 8 * 4, 0x8000ff00u, nullptr);
  // Float family: a blue quad over the right half of the viewport's bottom line band.
  const ZEVTX2D q[4] = {{0.5f, 0.9f, 0, 1, 0x80ff0000u, 0, 0}, {1.0f, 0.9f, 0, 1, 0x80ff0000u, 0, 0},
                        {0.5f, 1.0f, 0, 1, 0x80ff0000u, 0, 0}, {1.0f, 1.0f, 0, 1, 0x80ff0000u, 0, 0}};
  ZeRndrQuad2d(q, nullptr);
  // Red text at scale 32 (glyphs 2 texels a pixel) in the middle.
  ZeFntSet(nullptr);
  ZeFntScale(32, 32);
  ZeFntSetPen(0x80ffffffu);
  ZeFntMoveAbs(200 * 16, 200 * 8);
  ZeFntPrint("#1#HHH");
  ZeRndrEndScene();
  Kick();
  const uint32_t fbp = uint32_t(frame & 0x1ff) * 32, fbw = uint32_t(frame >> 16 & 0x3f);
  auto px = [&](int x, int y) { return GsMemReadPixel(PSMCT32, fbp, fbw, x, y) & 0xffffff; };
  EXPECT_EQ(px(0, 0), 0x00ff00u);
  EXPECT_EQ(px(3, 1), 0x00ff00u);
  EXPECT_EQ(px(5, 1), 0u) << "the square ends at 4 pixels";
  EXPECT_EQ(px(600, 220), 0xff0000u) << "the quad";
  EXPECT_EQ(px(100, 220), 0u);
  int red = 0, other = 0;
  for (int y = 80; y < 120; y++)
    for (int x = 190; x < 300; x++) {
      const uint32_t c = px(x, y);
      if (c == 0) continue;
      if ((c & 0xff) > 0x80 && (c >> 8) == 0) red++;
      else other++;
    }
  EXPECT_GT(red, 20) << "the text is drawn in colour 1";
  EXPECT_EQ(other, 0);
  zefnt_colour_count = 0;
  ZeFntScale(16, 16);
}
