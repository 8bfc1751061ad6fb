#include "gfx_test.h"
#include "gs.h"
#include "platform_test.h"

#include <cstdio>
#include <string>
#include <vector>

#include "display/png.h"

namespace {

// A PNG read back through libpng: the pixels as 0x00BBGGRR (alpha, always
// opaque in a snapshot, dropped), or fails the test.
std::vector<uint32_t> ReadPng(const std::string& path, int* w, int* h) {
  std::vector<uint32_t> px;
  std::string error;
  EXPECT_TRUE(PngRead(path.c_str(), 4096, &px, w, h, &error)) << path << ": " << error;
  for (uint32_t& p : px) {
    EXPECT_EQ(p >> 24, 0xffu) << "an RGB file";
    p &= 0xffffff;
  }
  return px;
}

long FileSize(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return -1;
  fseek(f, 0, SEEK_END);
  long n = ftell(f);
  fclose(f);
  return n;
}

std::vector<uint32_t> g_fake;
int g_fakeW, g_fakeH;
bool FakeReadOut(uint32_t* out, int maxPixels, int* w, int* h) {
  if (g_fakeW * g_fakeH > maxPixels) return false;
  memcpy(out, g_fake.data(), g_fake.size() * 4);
  *w = g_fakeW;
  *h = g_fakeH;
  return true;
}
bool NoReadOut(uint32_t*, int, int*, int*) { return false; }

uint32_t Pattern(int x, int y) { return uint32_t(x * 7 + y * 131) * 0x01030507u; }

}  // namespace

TEST(Png, WritesCompressedFilesThatDecodeToTheSamePixels) {
  int w = 300, h = 100;
  std::vector<uint32_t> px;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) px.push_back(Pattern(x, y));
  std::string path = TestTempDir() + "/p.png";
  ASSERT_TRUE(PngWrite(path.c_str(), px.data(), w, h));
  int rw = 0, rh = 0;
  std::vector<uint32_t> back = ReadPng(path, &rw, &rh);
  EXPECT_EQ(rw, w);
  EXPECT_EQ(rh, h);
  ASSERT_EQ(back.size(), px.size());
  for (size_t i = 0; i < px.size(); i++) ASSERT_EQ(back[i], px[i] & 0xffffff) << "pixel " << i;
  EXPECT_LT(FileSize(path), long(w) * h * 3 / 4) << "compressed";
  EXPECT_FALSE(PngWrite("/nonexistent-dir/x.png", px.data(), w, h));

  // What cannot be read says why.
  std::string error;
  EXPECT_FALSE(PngRead("/nonexistent-dir/x.png", 4096, &px, &rw, &rh, &error));
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_FALSE(PngRead(path.c_str(), 299, &px, &rw, &rh, &error)) << "wider than allowed";
  EXPECT_NE(error.find("size"), std::string::npos) << error;
  FILE* f = fopen(path.c_str(), "r+b");
  ASSERT_NE(f, nullptr);
  fseek(f, 100, SEEK_SET);
  fputs("damaged", f);
  fclose(f);
  error.clear();
  EXPECT_FALSE(PngRead(path.c_str(), 4096, &px, &rw, &rh, &error));
  EXPECT_FALSE(error.empty());
}

TEST(Display, PresentShowsTheReadOutAndSnapshotsTheRequestedSwap) {
  g_fakeW = 640;
  g_fakeH = 224;
  g_fake.clear();
  for (int y = 0; y < g_fakeH; y++)
    for (int x = 0; x < g_fakeW; x++) g_fake.push_back(Pattern(x, y));
  DisplaySetReadOut(FakeReadOut);
  std::string path = TestTempDir() + "/swap.png";
  DisplayRequestSnapshot(DisplayPresentCount() + 2, path.c_str());
  DisplayPresent();
  EXPECT_EQ(fopen(path.c_str(), "rb"), nullptr) << "not at the first swap";
  g_fake[5] = 0x12345678;
  DisplayPresent();
  EXPECT_STREQ(DisplayBackendName(), "null");
  int w, h;
  const uint32_t* field = DisplayField(&w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 224);
  EXPECT_EQ(memcmp(field, g_fake.data(), g_fake.size() * 4), 0);
  std::vector<uint32_t> snap = ReadPng(path, &w, &h);
  ASSERT_EQ(snap.size(), g_fake.size());
  for (size_t i = 0; i < snap.size(); i++) ASSERT_EQ(snap[i], g_fake[i] & 0xffffff) << "pixel " << i;
  EXPECT_EQ(snap[5], 0x345678u) << "alpha dropped";
  EXPECT_LT(FileSize(path), 640L * 224 * 3 / 4) << "compressed";
  // A circuit that shows nothing gives black.
  DisplaySetReadOut(NoReadOut);
  DisplayPresent();
  field = DisplayField(&w, &h);
  EXPECT_EQ(field[5], 0u);
  DisplaySetReadOut(nullptr);
  DisplayRequestSnapshot(-1, nullptr);
}

TEST(Display, LinesAreDoubled) {
  uint32_t field[6] = {1, 2, 3, 4, 5, 6};
  uint32_t frame[12];
  DisplayDoubleLines(field, 3, 2, frame);
  uint32_t expect[12] = {1, 2, 3, 1, 2, 3, 4, 5, 6, 4, 5, 6};
  EXPECT_EQ(memcmp(frame, expect, sizeof frame), 0);
  EXPECT_FALSE(DisplaySetBackend("vga"));
}

TEST(LibGraph, DoubleBufferEnvironmentsAndTheHalfOffset) {
  sceGsResetGraph(0, SCE_GS_INTERLACE, SCE_GS_NTSC, SCE_GS_FRAME);
  alignas(16) static sceGsDBuffDc db;
  sceGsSetDefDBuffDc(&db, PSMCT32, 640, 224, SCE_GS_ZGREATER, PSMZ24, 0);
  EXPECT_EQ(GS_DISPFB::FBP::get(db.disp[0].dispfb), 0u);
  EXPECT_EQ(GS_DISPFB::FBP::get(db.disp[1].dispfb), 70u);
  EXPECT_EQ(GS_FRAME::FBP::get(db.draw01.frame1), 70u) << "set 0 draws the buffer display 0 does not show";
  EXPECT_EQ(GS_FRAME::FBP::get(db.draw11.frame1), 0u);
  EXPECT_EQ(GS_FRAME::FBW::get(db.draw11.frame1), 10u);
  EXPECT_EQ(GS_ZBUF::ZBP::get(db.draw01.zbuf1), 140u);
  EXPECT_EQ(GS_DISPLAY::DW::get(db.disp[0].display), 2559u);
  EXPECT_EQ(GS_DISPLAY::DH::get(db.disp[0].display), 223u);
  EXPECT_EQ(db.draw01.xyoffset1, uint64_t(1728 * 16) | uint64_t(1936 * 16) << 32);
  sceGsSetHalfOffset(&db.draw11, 2048, 2048, 1);
  sceGsSetHalfOffset2(&db.draw12, 2048, 2048, 1);
  EXPECT_EQ(GS_XYOFFSET::OFY::get(db.draw11.xyoffset1), 1936u * 16 + 8);
  EXPECT_EQ(GS_XYOFFSET::OFY::get(db.draw12.xyoffset2), 1936u * 16 + 8);
  GsCapture gs;
  sceGsSwapDBuffDc(&db, 1);
  EXPECT_EQ(GsPrivRead(GS_DISPFB2), db.disp[1].dispfb);
  EXPECT_EQ(gs.Values(GS_FRAME_1), (std::vector<uint64_t>{db.draw11.frame1}));
  EXPECT_EQ(gs.Values(GS_XYOFFSET_2), (std::vector<uint64_t>{db.draw12.xyoffset2}));
  EXPECT_EQ(gs.writes.size(), 16u);
  EXPECT_TRUE(GifPathIdle(GIF_PATH3));

  alignas(16) static sceGsStoreImage si;
  sceGsSetDefStoreImage(&si, 70 * 32, 10, PSMCT24, 0, 0, 640, 224);
  EXPECT_EQ(si.bytes, 640u * 224 * 3);
  gs.writes.clear();
  static uint8_t dst[640 * 224 * 3];
  sceGsExecStoreImage(&si, dst);
  EXPECT_EQ(gs.Regs(), (std::vector<int>{GS_BITBLTBUF, GS_TRXPOS, GS_TRXREG, GS_FINISH, GS_TRXDIR}));
  EXPECT_EQ(gs.Values(GS_TRXDIR)[0], 1u);
}

TEST(Display, EverySnapshotOptionIsKept) {
  // Two at one swap and one at another, given as the program's options.
  const std::string dir = TestTempDir();
  const int now = DisplayPresentCount();
  std::string opts[] = {"--snapshot=" + std::to_string(now + 1) + ":" + dir + "/first.png",
                        "--snapshot=" + std::to_string(now + 2) + ":" + dir + "/second.png",
                        "--snapshot=" + std::to_string(now + 2) + ":" + dir + "/again.png"};
  char prog[] = "prog", other[] = "--fail-in-loader";
  char* argv[] = {prog, opts[0].data(), other, opts[1].data(), opts[2].data(), nullptr};
  int argc = 5;
  PlatParseHostOptions(&argc, argv);
  ASSERT_EQ(argc, 2);
  EXPECT_STREQ(argv[1], "--fail-in-loader");
  auto exists = [&](const char* name) {
    FILE* f = fopen((dir + "/" + name).c_str(), "rb");
    if (f) fclose(f);
    return f != nullptr;
  };
  DisplayPresent();
  EXPECT_TRUE(exists("first.png"));
  EXPECT_FALSE(exists("second.png")) << "not before its swap";
  DisplayPresent();
  EXPECT_TRUE(exists("second.png"));
  EXPECT_TRUE(exists("again.png")) << "two snapshots of one swap";

  // A swap that is not a number from 1, or no file, is refused.
  for (const char* bad : {"--snapshot=x:a.png", "--snapshot=3", "--snapshot=3:", "--snapshot=:a.png",
                          "--snapshot=-1:a.png", "--snapshot=2x:a.png", "--snapshot=0:a.png", "--snapshot= 3:a.png",
                          "--snapshot=99999999999:a.png"}) {
    std::string arg = bad;
    char* args[] = {prog, arg.data(), nullptr};
    int n = 2;
    EXPECT_HALT(PlatParseHostOptions(&n, args), "--snapshot takes SWAP:FILE");
  }
  DisplayRequestSnapshot(-1, nullptr);
}

// Run control: --args words, --frames and the swap hook, which sees every
// swap's number and may end the run.
TEST(Display, RunControlOptionsAndTheSwapHook) {
  char prog[] = "prog", args[] = "--args=LEVEL  hometown\tEDIT", frames[] = "--frames=0", other[] = "x";
  char* argv[] = {prog, args, frames, other, nullptr};
  int argc = 4;
  PlatParseHostOptions(&argc, argv);
  ASSERT_EQ(argc, 2);
  const char* const* words = nullptr;
  ASSERT_EQ(PlatArgWords(&words), 3);
  EXPECT_STREQ(words[0], "LEVEL");
  EXPECT_STREQ(words[1], "hometown");
  EXPECT_STREQ(words[2], "EDIT");
  EXPECT_EQ(PlatFrameLimit(), 0);
  PlatSetArgs(nullptr);
  EXPECT_EQ(PlatArgWords(&words), 0);

  static std::vector<int> seen;
  seen.clear();
  PlatSetSwapHook([](int swap) {
    seen.push_back(swap);
    return 0;
  });
  const int now = DisplayPresentCount();
  DisplayPresent();
  DisplayPresent();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], now + 1);
  EXPECT_EQ(seen[1], now + 2);
  PlatSetSwapHook([](int) { return 1; });
  EXPECT_HALT(DisplayPresent(), "");
  PlatSetSwapHook(nullptr);
  // The limit ends the run after its swap, not before.
  PlatSetFrameLimit(DisplayPresentCount() + 2);
  DisplayPresent();
  EXPECT_HALT(DisplayPresent(), "");
  PlatSetFrameLimit(0);
  char bad[] = "--frames=x";
  char* argv2[] = {prog, bad, nullptr};
  int argc2 = 2;
  EXPECT_HALT(PlatParseHostOptions(&argc2, argv2), "--frames takes a number of swaps");
}

// --gs-threads takes 1 to 8 GS drawing threads, and nothing else.
TEST(Display, GsThreadsOption) {
  const int before = GsGetThreads();
  char prog[] = "prog", three[] = "--gs-threads=3";
  char* argv[] = {prog, three, nullptr};
  int argc = 2;
  PlatParseHostOptions(&argc, argv);
  EXPECT_EQ(argc, 1);
  EXPECT_EQ(GsGetThreads(), 3);
  for (const char* bad : {"--gs-threads=0", "--gs-threads=9", "--gs-threads=", "--gs-threads=2x"}) {
    char arg[32];
    snprintf(arg, sizeof arg, "%s", bad);
    char* argv2[] = {prog, arg, nullptr};
    int argc2 = 2;
    SCOPED_TRACE(bad);
    EXPECT_HALT(PlatParseHostOptions(&argc2, argv2), "--gs-threads takes a number from 1 to 8");
  }
  GsSetThreads(before);
}
