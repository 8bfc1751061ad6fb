// Run under a display server (CTest runs it through xvfb-run): the SDL
// window shows the displayed field, lines doubled, in a 4:3 picture.
#include "gfx_test.h"
#include "platform_test.h"

namespace {

constexpr int W = 640, H = 224;

uint32_t TileColour(int tx, int ty) { return 0x80000000u | uint32_t(tx * 6) | uint32_t(ty * 9) << 8 | uint32_t((tx + ty) * 3) << 16; }

std::vector<uint32_t> g_field;
bool Tiles(uint32_t* out, int maxPixels, int* w, int* h) {
  memcpy(out, g_field.data(), g_field.size() * 4);
  *w = W;
  *h = H;
  return true;
}

// Compares the window with a field at the centre of every 16x8 tile of the
// field: each field line is two frame lines, and the 640x448 frame fills
// the largest 4:3 rectangle of the window.
void ExpectWindowShows(const uint32_t* field, int fw, int fh) {
  std::vector<uint32_t> win(2048 * 2048);
  int ww = 0, wh = 0;
  ASSERT_TRUE(DisplayReadBack(win.data(), int(win.size()), &ww, &wh));
  ASSERT_EQ(ww, 640);
  ASSERT_EQ(wh, 480) << "a 4:3 window";
  int bad = 0;
  for (int ty = 0; ty < fh / 8; ty++) {
    for (int tx = 0; tx < fw / 16; tx++) {
      int fx = tx * 16 + 8, fy = ty * 8 + 4;
      int wx = fx * ww / fw;
      int wy = (2 * fy + 1) * wh / (2 * fh);
      uint32_t want = field[fy * fw + fx] & 0xffffff;
      uint32_t got = win[size_t(wy) * size_t(ww) + size_t(wx)] & 0xffffff;
      if (got != want && bad++ < 5) ADD_FAILURE() << "tile " << tx << "," << ty << ": window " << std::hex << got << " field " << want;
    }
  }
  EXPECT_EQ(bad, 0);
}

}  // namespace

TEST(DisplayWindow, TheWindowShowsTheDisplayedField) {
  ASSERT_TRUE(DisplaySetBackend("sdl"));
  g_field.assign(W * H, 0);
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) g_field[size_t(y) * W + size_t(x)] = TileColour(x / 16, y / 8);
  DisplaySetReadOut(Tiles);
  DisplayPresent();
  ASSERT_STREQ(DisplayBackendName(), "sdl");
  ExpectWindowShows(g_field.data(), W, H);

  // Through the GS: a pattern in the front buffer, shown on circuit 2. The
  // window shows what the GS reads out (black while the circuit shows
  // nothing).
  DisplaySetReadOut(nullptr);
  sceGsResetGraph(0, SCE_GS_INTERLACE, SCE_GS_NTSC, SCE_GS_FRAME);
  alignas(16) static sceGsDBuffDc db;
  sceGsSetDefDBuffDc(&db, PSMCT32, W, H, SCE_GS_ZGREATER, PSMZ24, 0);
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) GsMemWritePixel(PSMCT32, 0, W / 64, x, y, TileColour(x / 16 + 3, y / 8));
  sceGsSwapDBuffDc(&db, 0);
  std::vector<uint32_t> shown(W * H, 0);
  int w = W, h = H;
  if (!GsReadDisplay(2, shown.data(), int(shown.size()), &w, &h)) {
    w = W;
    h = H;
  }
  ExpectWindowShows(shown.data(), w, h);
  DisplaySetBackend("null");
}
