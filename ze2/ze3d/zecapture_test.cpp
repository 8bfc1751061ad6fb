// Timing bars and screen capture: the bars as a picture, the screen dump
// and the AVI recorder read back by standard decoders (SDL's BMP loader,
// GStreamer's AVI demuxer), the RIFF chunk stack.
#include "ze3d_test.h"
#include "zefile_testutil.h"
#include "zetex_test.h"

#include <SDL.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr int W = 640, H = 224;
constexpr uint32_t BW = W / 64;
constexpr uint32_t BUF1 = W * H / 64;  // display buffer 1, in blocks

// A picture per buffer and frame that every pixel tells apart.
uint32_t Pattern(int k, int x, int y) {
  return 0x80000000u | uint32_t((x * 7 + y * 3 + k * 101) & 0xff) | uint32_t((y * 5 + k * 13) & 0xff) << 8 |
         uint32_t((x ^ y ^ (k * 0x55)) & 0xff) << 16;
}
void Fill(uint32_t base, int k) {
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) GsMemWritePixel(PSMCT32, base, BW, x, y, Pattern(k, x, y));
}

struct Capture : FileTest {
  char* texBuf = nullptr;
  char* mtlBuf = nullptr;
  void SetUp() override {
    FileTest::SetUp();
    StartRenderer(&texBuf, &mtlBuf, 64, W, H);
    ZeFntInit();
    GenerateGammaTable(1.0f, 1.0f);
    ambient_correction = 0;
  }
  void TearDown() override {
    if (ps2video_avi_open) ScreenDumpAviEnd();
    ZeFntClose();
    StopRenderer(texBuf, mtlBuf);
    FileTest::TearDown();
  }
  void Kick() {
    ZePs2ScreenSwap(1);
    ZeRndrVu1Draw();
    KernelYield();
    ZeRndrSwapStreamBuffers();
  }
  uint32_t U32(const std::string& s, size_t at) const {
    uint32_t v;
    memcpy(&v, s.data() + at, 4);
    return v;
  }
};

// The BMP through SDL as 0xAABBGGRR words, top row first.
std::vector<uint32_t> LoadBmp(const std::string& path, int* w, int* h) {
  SDL_Surface* s = SDL_LoadBMP(path.c_str());
  if (!s) return {};
  SDL_Surface* c = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_ABGR8888, 0);
  SDL_FreeSurface(s);
  *w = c->w;
  *h = c->h;
  std::vector<uint32_t> out(size_t(c->w) * size_t(c->h));
  for (int y = 0; y < c->h; y++) memcpy(&out[size_t(y) * size_t(c->w)], static_cast<uint8_t*>(c->pixels) + y * c->pitch, size_t(c->w) * 4);
  SDL_FreeSurface(c);
  return out;
}

}  // namespace

TEST(CaptureLayout, BmpRowsArePaddedToFourBytes) {
  EXPECT_EQ(ZeBmpRowBytes(640), 1920) << "no change at 640";
  EXPECT_EQ(ZeBmpRowBytes(641), 1924);
  EXPECT_EQ(ZeBmpRowBytes(1), 4);
  EXPECT_EQ(ZeBmpRowBytes(4), 12);
}

TEST_F(Capture, BothFieldsDumpedAndReadBackPixelForPixel) {
  Fill(0, 1);
  Fill(BUF1, 2);
  // Buffer A (both fields' first line) is buffer 1 after an even swap
  // count with field 0; B, the other, gives the single-field dump.
  ps2video_swap_count = 0;
  ps2video_field = 0;
  ZePs2VideoScreenDump("scr", 1, -1, 1.0f, 1.0f);
  const std::string bytes = HostFile("SCR.BMP");
  ASSERT_EQ(bytes.size(), 54u + 860160u);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(U32(bytes, 2), 54u + 860160u);
  EXPECT_EQ(U32(bytes, 10), 54u);
  EXPECT_EQ(U32(bytes, 22), 448u);
  EXPECT_EQ(U32(bytes, 34), 860160u) << "image bytes";
  int w = 0, h = 0;
  std::vector<uint32_t> px = LoadBmp(dir + "/SCR.BMP", &w, &h);
  ASSERT_EQ(w, 640);
  ASSERT_EQ(h, 448);
  int wrong = 0;
  for (int y = 0; y < 448; y++)
    for (int x = 0; x < 640; x++) {
      // Top down: line y / 2 of B, then of A.
      const uint32_t want = Pattern((y & 1) ? 2 : 1, x, y / 2) & 0xffffff;
      wrong += (px[size_t(y) * 640 + size_t(x)] & 0xffffff) != want;
    }
  EXPECT_EQ(wrong, 0);

  // One field, with a gamma: B's lines through the gamma table.
  ZePs2VideoScreenDump("one", 0, 3, 2.0f, 1.0f);
  px = LoadBmp(dir + "/ONE3.BMP", &w, &h);
  ASSERT_EQ(h, 224);
  wrong = 0;
  for (int y = 0; y < 224; y += 7)
    for (int x = 0; x < 640; x += 3) {
      uint32_t want = Pattern(1, x, y);
      GammaCorrect(reinterpret_cast<uint8_t*>(&want));
      wrong += (px[size_t(y) * 640 + size_t(x)] & 0xffffff) != (want & 0xffffff);
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(gamma_table[128], uint8_t(EeFtoi(float(std::pow(128.0, 2.0) / 255.0))));
}

TEST_F(Capture, DumpNamesFollowOnFromTheFirstFree) {
  Make("SCR.BMP", "x");
  ZePs2VideoScreenDump("scr", 0, -1, 1.0f, 1.0f);
  ZePs2VideoScreenDump("scr", 0, -1, 1.0f, 1.0f);
  ZePs2VideoScreenDump("scr", 0, 12, 1.0f, 1.0f);
  EXPECT_EQ(HostFile("SCR.BMP"), "x");
  EXPECT_EQ(HostFile("SCR000.BMP").size(), 54u + 430080u);
  EXPECT_EQ(HostFile("SCR001.BMP").size(), 54u + 430080u);
  EXPECT_EQ(HostFile("SCR12.BMP").size(), 54u + 430080u);
  EXPECT_FALSE(std::filesystem::exists(dir + "/SCR002.BMP"));
}

TEST_F(Capture, AShortAviReadBackByGStreamer) {
  if (system("command -v gst-launch-1.0 >/dev/null 2>&1") != 0)
    FAIL() << "gst-launch-1.0 (gstreamer1.0-tools, scripts/setup.sh --test) is needed to decode the AVI";
  ps2video_swap_count = 0;  // buffer 1 is displayed
  ASSERT_EQ(ScreenDumpAviBegin("rec.avi", 648, 452, 60, 1, 1.0f, 1.0f), 1);
  EXPECT_EQ(ps2video_avi_open, 1);
  for (int k = 0; k < 5; k++) {
    Fill(BUF1, 10 + k);
    EXPECT_EQ(ScreenDumpAviFrame(), 1);
    EXPECT_EQ(ps2video_avi_phase, (k + 1) & 1) << "the swap weaves by the phase";
  }
  ScreenDumpAviEnd();
  EXPECT_EQ(ps2video_avi_open, 0);
  const std::string avi = HostFile("REC.AVI");
  ASSERT_GT(avi.size(), 2048u);
  EXPECT_EQ(avi.substr(0, 4), "RIFF");
  EXPECT_EQ(U32(avi, 4), avi.size() - 8);
  EXPECT_EQ(avi.substr(2036, 4), "LIST");
  EXPECT_EQ(avi.substr(2044, 8), "movi00db") << "the frame list starts at 2048";

  const std::string raw = dir + "/rec.rgb";
  const std::string cmd = "gst-launch-1.0 -q filesrc location=" + dir + "/REC.AVI ! avidemux ! videoconvert ! " +
                          "video/x-raw,format=RGB ! filesink location=" + raw;
  ASSERT_EQ(system(cmd.c_str()), 0) << cmd;
  std::string rgb;
  {
    FILE* f = fopen(raw.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) rgb.append(buf, n);
    fclose(f);
  }
  const size_t frame = 648 * 452 * 3;
  EXPECT_EQ(rgb.size(), 3 * frame) << "three frames: fields 0, 2 and 4 each close one";
  ASSERT_GE(rgb.size(), frame);
  // The first frame: borders of 4 pixels and 2 lines in black; lines 2y
  // from phase 1's field (none yet: black), lines 2y + 1 from field 0.
  int wrong = 0;
  for (int y = 0; y < 452; y++)
    for (int x = 0; x < 648; x++) {
      uint32_t want = 0;
      const int py = y - 2, px = x - 4;
      if (px >= 0 && px < 640 && py >= 0 && py < 448 && (py & 1)) want = Pattern(10, px, py / 2) & 0xffffff;
      const uint8_t* p = reinterpret_cast<const uint8_t*>(rgb.data()) + (size_t(y) * 648 + size_t(x)) * 3;
      wrong += (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16) != want;
    }
  EXPECT_EQ(wrong, 0);
  // The second frame weaves field 1 (even lines) with field 2 (odd lines).
  const uint8_t* f2 = reinterpret_cast<const uint8_t*>(rgb.data()) + frame;
  const uint8_t* a = f2 + (size_t(2 + 10) * 648 + 4 + 5) * 3;
  const uint8_t* b = f2 + (size_t(2 + 11) * 648 + 4 + 5) * 3;
  EXPECT_EQ(uint32_t(a[0]) | uint32_t(a[1]) << 8 | uint32_t(a[2]) << 16, Pattern(11, 5, 5) & 0xffffff);
  EXPECT_EQ(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16, Pattern(12, 5, 5) & 0xffffff);
}

TEST_F(Capture, RecorderRefusals) {
  errmsg_disabled = 0;
  ConsoleCaptureScope capture;
  EXPECT_EQ(ScreenDumpAviFrame(), 0) << "a frame without a recording";
  EXPECT_TRUE(std::filesystem::is_empty(dir)) << "nothing written";
  ScreenDumpAviEnd();
  EXPECT_NE(capture.text().find("Cannot end avi, no avi file currently open"), std::string::npos);
  struct Case {
    int w, h, rate, scale;
  } refused[] = {{639, 448, 60, 1}, {640, 447, 60, 1}, {642, 448, 60, 1}, {640, 448, 1, 1}, {640, 448, 60, 0},
                 {640, 448, 60, -2}, {640, 448, -60, 1}};
  for (const Case& c : refused) {
    capture.clear();
    EXPECT_EQ(ScreenDumpAviBegin("bad.avi", c.w, c.h, c.rate, c.scale, 1, 1), 0) << c.w << "x" << c.h << " rate "
                                                                                 << c.rate << " scale " << c.scale;
    EXPECT_NE(capture.text().find("Cannot open avi"), std::string::npos);
    EXPECT_EQ(ps2video_avi_open, 0);
  }
  EXPECT_FALSE(std::filesystem::exists(dir + "/BAD.AVI"));
  ASSERT_EQ(ScreenDumpAviBegin("one.avi", 640, 448, 50, 1, 1, 1), 1);
  capture.clear();
  EXPECT_EQ(ScreenDumpAviBegin("two.avi", 640, 448, 50, 1, 1, 1), 0);
  EXPECT_NE(capture.text().find("Cannot open new avi, already writing an AVI file"), std::string::npos);
  ScreenDumpAviEnd();
  // avih of an empty recording at 25 frames a second.
  const std::string one = HostFile("ONE.AVI");
  EXPECT_EQ(U32(one, 32), 40000u) << "microseconds a frame";
  EXPECT_EQ(U32(one, 36), 25u * 640 * 448 * 3) << "bytes a second";
  EXPECT_EQ(U32(one, 44), 0x810u);
  EXPECT_EQ(U32(one, 48), 0u) << "frames";
}

TEST_F(Capture, AFailedWriteEndsTheRecording) {
  // The recording's file is the device that is always full.
  ASSERT_EQ(symlink("/dev/full", (dir + "/FULL.AVI").c_str()), 0);
  errmsg_disabled = 0;
  ConsoleCaptureScope capture;
  EXPECT_EQ(ScreenDumpAviBegin("full.avi", 640, 448, 60, 1, 1, 1), 0);
  EXPECT_NE(capture.text().find("AVI: write failed, recording ended"), std::string::npos) << capture.text();
  EXPECT_EQ(ps2video_avi_open, 0);
  EXPECT_EQ(ScreenDumpAviFrame(), 0);
}

TEST_F(Capture, TheChunkStackHolds32) {
  ZEFILE f = ZeFileOpen("chunks.bin", 1);
  ASSERT_NE(f, 0);
  errmsg_disabled = 0;
  ConsoleCaptureScope capture;
  for (int i = 0; i < RIFF_STACK; i++) EXPECT_EQ(StartChunk(f, "LIST", i == 0 ? "AVI " : nullptr), i);
  EXPECT_EQ(StartChunk(f, "LIST", nullptr), -1) << "a 33rd push is refused";
  EXPECT_NE(capture.text().find("more than 32 open chunks"), std::string::npos);
  StartChunkLength(f, "data", "type", 4);
  ZeFileWrite(f, "abcd", 4);
  for (int i = 0; i < RIFF_STACK; i++) EXPECT_EQ(EndChunk(f), 1);
  EXPECT_EQ(EndChunk(f), 0) << "a pop of the empty stack is refused";
  EXPECT_NE(capture.text().find("no chunk open"), std::string::npos);
  ZeFileClose(f);
  const std::string b = HostFile("CHUNKS.BIN");
  ASSERT_EQ(b.size(), 4u + 32 * 8 + 16);
  EXPECT_EQ(U32(b, 4), uint32_t(b.size() - 8)) << "the outer chunk holds everything after its size";
  EXPECT_EQ(U32(b, 12 + 30 * 8 + 4), 16u) << "the innermost holds the data chunk";
  EXPECT_EQ(b.substr(b.size() - 16), std::string("data\x04\0\0\0typeabcd", 16));
}

TEST_F(Capture, TimingBarsPicture) {
  const uint32_t colours[TB_SLOTS] = {0x800000ff, 0x8000ff00, 0x80ff0000, 0x8000ffff, 0x80ff00ff, 0x80ffff00,
                                      0x80ffffff, 0x80808080, 0x80404040, 0x80004080, 0x80800040, 0x80408000,
                                      0x80008040, 0x80400080, 0x80804000, 0x80202020};
  TBSET* set = tbsetCreate(colours);
  set->acc[2][set->cur[2]] = 57;
  set->acc[5][set->cur[5]] = 123;
  set->label[5] = "load";
  set->peak[0] = 9;
  uint64_t frame;
  ZePs2GetCurrentBackBuffer(&frame);
  ZeRndrBeginScene(-1);
  ZeRndrClear(0x700, 0x00000000, 1.0f);
  tbRender(set);
  ZeRndrEndScene();
  Kick();
  const uint32_t fbp = uint32_t(frame & 0x1ff) * 32, fbw = uint32_t(frame >> 16 & 0x3f);
  std::vector<uint32_t> pic(size_t(W) * H);
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) pic[size_t(y) * W + size_t(x)] = GsMemReadPixel(PSMCT32, fbp, fbw, x, y);
  // For a person to look at: beside the test program.
  const std::string png = (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "tbrender.png").string();
  EXPECT_TRUE(PngWrite(png.c_str(), pic.data(), W, H));
  auto px = [&](int x, int y) { return pic[size_t(y) * W + size_t(x)] & 0xffffff; };
  // Slot 2: x 144..160, lines 11 to 11 + 57; slot 5: x 288..304, to 134.
  EXPECT_EQ(px(145, 60), 0xff0000u);
  EXPECT_EQ(px(145, 66), 0xff0000u);
  EXPECT_EQ(px(145, 70), 0u) << "the bar ends at its value";
  EXPECT_EQ(px(289, 132), 0xffff00u);
  EXPECT_EQ(px(289, 136), 0u);
  EXPECT_EQ(px(145, 8), 0u) << "bars start at 0.05 of the height";
  // Slot 0 has no value: no bar and no digits in its column.
  int slot0 = 0, digits2 = 0, label5 = 0;
  for (int y = 0; y < H; y++)
    for (int x = 48; x < 64; x++) slot0 += px(x, y) != 0;
  for (int y = 15; y < 45; y++)
    for (int x = 146; x < 159; x++) digits2 += px(x, y) != 0xff0000u;
  for (int y = 210; y < 224; y++)
    for (int x = 280; x < 312; x++) label5 += px(x, y) != 0;
  EXPECT_EQ(slot0, 0);
  EXPECT_GT(digits2, 10) << "digits drawn over the bar";
  EXPECT_GT(label5, 10) << "the label under slot 5";
  EXPECT_EQ(set->peak[0], 9) << "a skipped slot keeps its peak";
  EXPECT_EQ(set->peak[2], 57);
  EXPECT_EQ(set->peak[5], 123);
  EXPECT_EQ(tbslotLastValue(set, 2), 0) << "a given set is reset after drawing";
  tb_peak_reset = 1;
  tbRender(set);
  EXPECT_EQ(tb_peak_reset, 0);
  EXPECT_EQ(set->peak[2], 0);
  EXPECT_EQ(set->peak[0], 0);
  tbsetDestroy(set);
}

TEST_F(Capture, TheSwapKeepsThePeakOfTheFramesTextureUploads) {
  TestImage img(ZETEX_RGBA32, 64, 64);
  TestImage pal(ZETEX_PAL8, 16, 16);
  const ZETEXID a = ZeTexCreate(&img.tex), b = ZeTexCreate(&pal.tex);
  ZEPS2TEX* ra = TexTable::Rec(a);
  ZEPS2TEX* rb = TexTable::Rec(b);
  zerndr_tex_transfer_total = zerndr_tex_transfer_peak = 0;
  EeQwords buf(64);
  ZeTexAccomodate(buf.w, a, 0);
  ZeTexAccomodate(buf.w, b, 0);
  const int frame1 = int(ra->level_size[0] + rb->level_size[0] + rb->pal_size);
  EXPECT_EQ(zerndr_tex_transfer_total, frame1) << "level and palette packets";
  ZeRndrSwapScreen(-1);
  KernelYield();
  EXPECT_EQ(zerndr_tex_transfer_total, 0);
  EXPECT_EQ(zerndr_tex_transfer_peak, frame1);
  ZeTexAccomodate(buf.w, b, 0);
  ZeRndrSwapScreen(-1);
  KernelYield();
  EXPECT_EQ(zerndr_tex_transfer_peak, frame1) << "a smaller frame leaves the peak";
}
